#pragma once
// The menu commands' shortcuts and the window's text fields. A focused line
// edit claims its standard edit keys (Ctrl+X, Ctrl+C, Ctrl+V) before any
// shortcut sees them, and while a waveform is shown the focus sits in a
// field: Cut, Copy and Paste would never run from the keyboard exactly when
// they apply. This filter hands a key that is the shortcut of an enabled
// menu command to that command, its state first brought up to date as
// opening its menu does. With the command disabled the field keeps the key
// as before; the fields' other edit keys (Ctrl+Insert, Shift+Delete,
// Shift+Insert) and their context menus stay theirs.
#include <QObject>
#include <QPointer>
#include <initializer_list>

class QAction;
class QKeySequence;
class QWidget;

namespace zop {

class FieldShortcuts : public QObject {
    Q_OBJECT
public:
    // Watches `fields`. The commands are the actions below `commands` (the
    // window's menu bar), looked up at each key, so that their shortcuts are
    // always the current ones. Owned by `commands`.
    FieldShortcuts(QWidget* commands, std::initializer_list<QWidget*> fields);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    // The command whose shortcut is exactly `keys`, if any.
    QAction* CommandFor(const QKeySequence& keys) const;

    QPointer<QWidget> m_commands;
};

} // namespace zop
