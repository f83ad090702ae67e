#pragma once
// The questions, messages and dialogs that command handlers put to the user,
// and the few things they ask of the window itself. The Qt window implements
// this with message boxes and file dialogs; tests script the answers, so no
// test ever waits on a modal dialog.
//
// Texts are Windows-1252 bytes; file names are native path bytes.
#include <optional>
#include <string>
#include <vector>

namespace zop {

enum class BoxKind { Plain, Information, Warning, Error, Confirmation };
enum class BoxButtons { Ok, YesNo, YesNoCancel };
enum class Answer { Ok, Yes, No, Cancel };

// One entry of a file dialog's filter list: "Waveform file (*.zop)" and "*.ZOP".
struct FileFilter {
    std::string Description;
    std::string Pattern;
};

struct FileDialogRequest {
    std::string Title; // empty: the platform's default title
    std::vector<FileFilter> Filters;
    int FilterIndex = 1; // 1-based, as chosen last time
    std::string FileName; // preset name
    std::string DefaultExtension; // "*.ZOP"
};

struct FileDialogResult {
    std::string FileName;
    int FilterIndex = 1;
};

class UserInterface {
public:
    virtual ~UserInterface() = default;

    // A message box with the program's caption; returns the button pressed.
    virtual Answer Message(BoxKind kind, const std::string& text, BoxButtons buttons) = 0;
    // nullopt when the user cancelled.
    virtual std::optional<FileDialogResult> OpenFileDialog(const FileDialogRequest& request) = 0;
    virtual std::optional<FileDialogResult> SaveFileDialog(const FileDialogRequest& request) = 0;

    // Restores a minimised window and brings it to the front.
    virtual void RestoreAndRaise() = 0;
    // Asks the window to close; the window then runs its close question.
    virtual void CloseWindow() = 0;
};

} // namespace zop
