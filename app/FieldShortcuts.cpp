#include "app/FieldShortcuts.h"

#include <QAction>
#include <QKeyEvent>
#include <QKeySequence>
#include <QMenu>
#include <QWidget>

namespace zop {

FieldShortcuts::FieldShortcuts(QWidget* commands, std::initializer_list<QWidget*> fields)
    : QObject(commands)
    , m_commands(commands)
{
    for (QWidget* field : fields)
        field->installEventFilter(this);
}

QAction* FieldShortcuts::CommandFor(const QKeySequence& keys) const
{
    if (!m_commands)
        return nullptr;
    for (QAction* action : m_commands->findChildren<QAction*>()) {
        for (const QKeySequence& shortcut : action->shortcuts())
            if (shortcut.matches(keys) == QKeySequence::ExactMatch)
                return action;
    }
    return nullptr;
}

bool FieldShortcuts::eventFilter(QObject* watched, QEvent* event)
{
    // Before a key press goes to the focused field, the field is asked
    // whether it takes the key over the shortcuts; a line edit says yes to
    // its edit keys. Keeping that question from it, unanswered, lets the
    // shortcut run.
    if (event->type() == QEvent::ShortcutOverride) {
        const auto* key = static_cast<QKeyEvent*>(event);
        if (QAction* command = CommandFor(QKeySequence(key->keyCombination()))) {
            // The command's state is brought up to date as opening its menu
            // does: Paste may still show enabled for a clipboard on which the
            // field itself has since put a text.
            for (QObject* holder : command->associatedObjects())
                if (auto* menu = qobject_cast<QMenu*>(holder))
                    emit menu->aboutToShow();
            if (command->isEnabled() && command->isVisible()) {
                event->ignore();
                return true;
            }
        }
    }
    return QObject::eventFilter(watched, event);
}

} // namespace zop
