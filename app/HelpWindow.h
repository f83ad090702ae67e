#pragma once
// The program's user guide in a window of its own: opened at its contents,
// with a search field that marks every place a word occurs and steps
// through them.
#include <QWidget>

class QLabel;
class QLineEdit;
class QTextBrowser;

namespace zop {

class HelpWindow : public QWidget {
    Q_OBJECT
public:
    explicit HelpWindow(QWidget* parent = nullptr);

    // Shows the window at the guide's contents and brings it forward.
    void ShowContents();
    // Marks every place `text` occurs (ignoring letter case) and moves to the
    // first one after the current place, wrapping at the end. Returns how
    // many places there are.
    int Search(const QString& text);

    QTextBrowser* Browser() const { return m_browser; }
    QLineEdit* SearchField() const { return m_search; }

private:
    QTextBrowser* m_browser;
    QLineEdit* m_search;
    QLabel* m_found;
};

} // namespace zop
