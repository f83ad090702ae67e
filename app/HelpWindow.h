#pragma once
// The program's user guide in a window of its own: opened at its contents,
// with a search field that marks every place a word occurs and steps
// through them.
#include <QUrl>
#include <QWidget>

class QLabel;
class QLineEdit;
class QTextBrowser;

namespace zop {

class HelpWindow : public QWidget {
    Q_OBJECT
public:
    // `guide`: the guide's file; the one built into the program by default.
    explicit HelpWindow(QWidget* parent = nullptr, QString guide = BuiltInGuide());

    static QString BuiltInGuide() { return QStringLiteral(":/help/guide.html"); }

    // Shows the window at the guide's contents and brings it forward. A guide
    // that cannot be read throws an error that names it and says why.
    void ShowContents();
    // Marks every place `text` occurs (ignoring letter case) and moves to the
    // first one after the current place, wrapping at the end. Returns how
    // many places there are.
    int Search(const QString& text);

    QTextBrowser* Browser() const { return m_browser; }
    QLineEdit* SearchField() const { return m_search; }

private:
    QUrl GuideUrl() const;

    QString m_guide;
    QTextBrowser* m_browser;
    QLineEdit* m_search;
    QLabel* m_found;
};

} // namespace zop
