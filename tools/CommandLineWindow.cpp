#include "tools/CommandLineWindow.h"

#include <cstring>

#include "waveform/Cp1252.h"

namespace zop {

Answer CommandLineUserInterface::Message(BoxKind kind, const std::string& text, BoxButtons buttons)
{
    if (buttons == BoxButtons::Ok) {
        Messages.push_back(text);
        return Answer::Ok;
    }
    // The only yes/no question of a save is whether to overwrite the file
    // the command line named; a save question before replacing a document
    // does not arise on the command line and is answered no.
    if (buttons == BoxButtons::YesNo && kind == BoxKind::Warning)
        return Answer::Yes;
    return Answer::No;
}

std::optional<FileDialogResult> CommandLineUserInterface::OpenFileDialog(const FileDialogRequest&)
{
    return FileDialogResult { NextFileName, NextFilterIndex };
}

std::optional<FileDialogResult> CommandLineUserInterface::SaveFileDialog(const FileDialogRequest&)
{
    return FileDialogResult { NextFileName, NextFilterIndex };
}

CommandLineWindow::CommandLineWindow(
    TraceMode mode, TracePicture* picture, PictureFiles* pictures, DateTimeSource* clock)
    : Model(WindowDevices { Ui, picture, clock, pictures, nullptr, nullptr, nullptr, mode })
{
}

bool CommandLineWindow::Open(const std::string& path)
{
    const size_t before = Ui.Messages.size();
    Ui.NextFileName = path;
    Ui.NextFilterIndex = 1;
    DocumentCommands& document = Model.Document();
    document.OpenItemClick();
    if (Ui.Messages.size() > before && document.OpenUnreadable() != 0)
        Ui.Messages.back() += " (" + Utf8ToCp1252(std::strerror(document.OpenUnreadable())) + ")";
    return Ui.Messages.size() == before && Model.Form().WaveformShown() && Model.Record().FileName == path;
}

void CommandLineWindow::SelectProbe(int32_t factor)
{
    Model.Click(factor == 10 ? Cmd::Probex10Item : Cmd::Probex1Item);
}

void CommandLineWindow::PlaceCursors(int first, int second)
{
    const int x1 = 4 * first + 2;
    const int x2 = 4 * second + 2;
    Model.PictureMouse({ TraceMouse::Down, MouseButton::Left, ssLeft, x1, 0 });
    if (x2 != x1)
        Model.PictureMouse({ TraceMouse::Move, MouseButton::Left, ssLeft, x2, 0 });
    Model.PictureMouse({ TraceMouse::Up, MouseButton::Left, 0, x2, 0 });
}

void CommandLineWindow::SaveAs(const std::string& path, int filterIndex)
{
    Ui.NextFileName = path;
    Ui.NextFilterIndex = filterIndex;
    Model.Document().SaveasItemClick();
}

} // namespace zop
