#pragma once
// The window model driven from the command line: the model's questions are
// answered as a command-line program answers them, and the few window
// actions a command needs (Open, the probe menu, placing the crosses, Save
// As) are the window's own commands, so every text the tool prints is the
// one the window would show.
#include <optional>
#include <string>
#include <vector>

#include "document/UserInterface.h"
#include "window/WindowModel.h"

namespace zop {

// The file dialogs return the names given on the command line, an overwrite
// question is answered yes (the command line named the file), a save
// question no. Messages are kept for the caller to print.
class CommandLineUserInterface final : public UserInterface {
public:
    Answer Message(BoxKind kind, const std::string& text, BoxButtons buttons) override;
    std::optional<FileDialogResult> OpenFileDialog(const FileDialogRequest& request) override;
    std::optional<FileDialogResult> SaveFileDialog(const FileDialogRequest& request) override;
    void RestoreAndRaise() override { }
    void CloseWindow() override { }

    // What the next file dialog returns.
    std::string NextFileName;
    int NextFilterIndex = 1;
    // Error and warning texts shown so far (Windows-1252).
    std::vector<std::string> Messages;
};

class CommandLineWindow {
public:
    // `picture` receives the trace drawing (without one it is discarded),
    // `pictures` writes Save As's bitmap and metafile (without one they are
    // refused), `clock` dates a received waveform (without one the C
    // library's formats are used).
    explicit CommandLineWindow(TraceMode mode = TraceMode::Smooth, TracePicture* picture = nullptr,
        PictureFiles* pictures = nullptr, DateTimeSource* clock = nullptr);

    // The Open command on `path`. False when the file was refused; the
    // window's message ("Incorrect file type") is then in Ui.Messages, for a
    // file that could not be read at all with the system's reason after it.
    bool Open(const std::string& path);
    // The probe menu: 1 or 10.
    void SelectProbe(int32_t factor);
    // A press with the left button at sample column `first` and a release at
    // column `second` (0..95).
    void PlaceCursors(int first, int second);
    // Save As with the given type (1 waveform, 2 bitmap, 3 metafile) to
    // `path`. Failures throw with the text the window would show.
    void SaveAs(const std::string& path, int filterIndex);

    CommandLineUserInterface Ui;
    WindowModel Model;
};

} // namespace zop
