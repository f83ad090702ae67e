#pragma once
// The questions and dialogs of the commands as Qt message boxes and file
// dialogs. Message texts are shown as plain text, never as markup.
#include <QPointer>
#include <QWidget>

#include "document/UserInterface.h"

namespace zop {

class TZop5Form;

class QtUserInterface : public UserInterface {
public:
    // Boxes and dialogs open over `window` once it is set.
    void SetWindow(TZop5Form* window) { m_window = window; }

    Answer Message(BoxKind kind, const std::string& text, BoxButtons buttons) override;
    std::optional<FileDialogResult> OpenFileDialog(const FileDialogRequest& request) override;
    std::optional<FileDialogResult> SaveFileDialog(const FileDialogRequest& request) override;
    void RestoreAndRaise() override;
    void CloseWindow() override;

private:
    std::optional<FileDialogResult> FileDialog(const FileDialogRequest& request, bool save);
    QPointer<TZop5Form> m_window;
};

} // namespace zop
