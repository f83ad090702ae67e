#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "document/DocumentCommands.h"
#include "document/FileError.h"
#include "document/WaveformFile.h"
#include "tests/support/TestEnvironment.h"
#include "tests/support/WaveformFiles.h"
#include "tests/support/WindowParts.h"
#include "waveform/ScaleTables.h"

namespace zop {
namespace {

namespace fs = std::filesystem;

using test::ReadBytes;

// Writes a marker file so that a test sees what was written where.
class RecordingPictures final : public PictureFiles {
public:
    std::vector<std::string> Written;
    void WriteBitmap(const std::string& path) override { Write(path, "BM"); }
    void WriteMetafile(const std::string& path) override { Write(path, "WMF"); }

private:
    void Write(const std::string& path, const char* kind)
    {
        Written.push_back(path);
        std::ofstream(path, std::ios::binary) << kind;
    }
};

// The main window's state with the document commands over it, and a folder
// for its files.
struct Window : test::WindowParts {
    RecordingPictures Pictures;
    std::vector<std::string> DisplayCalls;
    bool TransferComplete = false;
    test::TempDir Dir;
    DocumentCommands Commands { Parts(), Hooks(), Pictures, Clock };

    Window() { Commands.SetTransferFlag(TransferComplete); }

    DisplayHooks Hooks()
    {
        return { [this] {
                    DisplayCalls.push_back(
                        "measure x" + std::to_string(Form.ProbeMenuFactor()) + " v" + std::to_string(Record.VoltIndex));
                    Form.SettingsPanel[2] = "2.5Vdc";
                },
            [this] {
                DisplayCalls.push_back(
                    "redraw " + std::to_string(Record.Samples[0]) + " cursor " + std::to_string(Cursors.X1));
            },
            [this] { DisplayCalls.push_back("graticule"); } };
    }

    std::string File(const std::string& name) const { return Dir.File(name); }

    // A waveform file on disk, as the program writes them.
    std::string MakeFile(const std::string& name, const std::string& voltsLabel = "1V/div", int32_t first = 10)
    {
        WaveformFileContents contents;
        contents.Description = "from " + name;
        contents.Date = "01-02-2026";
        contents.Time = "11:12:13";
        contents.TimeLabel = "1ms/div";
        contents.VoltsLabel = voltsLabel;
        contents.ZeroRef = 100;
        contents.Samples.fill(50);
        contents.Samples[0] = first;
        return test::WriteWaveformFile(File(name), contents);
    }

    // The state after a completed transfer: untitled, fields set to now.
    void Receive()
    {
        IncomingImage image;
        image.TimeIndex = 10;
        image.VoltIndex = 9;
        image.ZeroRef = 120;
        image.Samples.fill(130);
        image.TimeLabel = "2ms/div";
        image.VoltsLabel = std::string(VoltsLabel(9, Form.ProbeMenuFactor()));
        ShowReceived(Commands, image);
    }

    // A titled, saved document shown from a file.
    void Show(const std::string& name, const std::string& voltsLabel = "1V/div")
    {
        Commands.OpenStartupFile(MakeFile(name, voltsLabel));
        ASSERT_EQ(Record.FileName, File(name));
        ASSERT_FALSE(Flags.Unsaved());
    }

    std::string LastMessage() const { return Ui.Messages.empty() ? "" : Ui.Messages.back().Text; }
};

FileDialogResult Chosen(const std::string& path, int filterIndex = 1)
{
    return FileDialogResult { path, filterIndex };
}

TEST(SaveQuestion, WordingsAndTheExtensionItSetsFirst)
{
    Window w;
    w.Show("trace.zop");
    w.Record.FileName = w.File("trace.bmp");
    w.Flags.Modified = true;
    w.Ui.Answers = { Answer::Cancel };
    EXPECT_FALSE(w.Commands.ConfirmSave());
    ASSERT_EQ(w.Ui.Messages.size(), 1u);
    EXPECT_EQ(w.Ui.Messages[0].Kind, BoxKind::Confirmation);
    EXPECT_EQ(w.Ui.Messages[0].Buttons, BoxButtons::YesNoCancel);
    EXPECT_EQ(w.Ui.Messages[0].Text, "Save changes to file " + w.File("trace.zop") + "?");
    EXPECT_EQ(w.Record.FileName, w.File("trace.zop")) << "the name takes .zop even when cancelled";
    w.Record.FileName = w.File("noextension");
    w.Ui.Answers = { Answer::No };
    EXPECT_TRUE(w.Commands.ConfirmSave());
    EXPECT_EQ(w.Record.FileName, w.File("noextension.zop"));

    // After a transfer whose predecessor was untitled.
    Window r;
    r.Receive();
    r.TransferComplete = true;
    r.Ui.Answers = { Answer::No };
    EXPECT_TRUE(r.Commands.ConfirmSave());
    EXPECT_EQ(r.LastMessage(), "New waveform received!\n\r\rSave changes to file ?");
}

TEST(SaveQuestion, AfterACancelledSaveAsTheNameIsEmpty)
{
    Window w;
    w.Show("trace.zop");
    w.Form.Description.SetText("edited");
    w.Ui.SaveResults = { std::nullopt };
    EXPECT_FALSE(w.Commands.SaveasItemClick());
    EXPECT_TRUE(w.Record.FileName.empty());
    EXPECT_EQ(w.Form.Caption, "Tracelet - trace.zop") << "a cancelled Save As keeps the caption";

    // The next Save opens Save As again; cancelled too, the close asks with "?" alone.
    w.Ui.SaveResults = { std::nullopt };
    EXPECT_FALSE(w.Commands.SaveItemClick());
    EXPECT_EQ(w.Ui.SaveRequests.size(), 2u);
    w.Ui.Answers = { Answer::Cancel };
    EXPECT_FALSE(w.Commands.FormCloseQuery());
    EXPECT_EQ(w.LastMessage(), "Save changes to file ?");
}

TEST(SaveQuestion, YesOnAnUntitledDocumentThenCancelStopsTheCaller)
{
    // New
    Window w;
    w.Receive();
    w.Ui.Answers = { Answer::Yes };
    w.Ui.SaveResults = { std::nullopt };
    w.Commands.NewItemClick();
    EXPECT_TRUE(w.Form.WaveformShown());
    EXPECT_EQ(w.Form.DateField.Text(), "07-12-2026");
    EXPECT_EQ(w.Record.Samples[0], 130);
    EXPECT_TRUE(w.Flags.Modified);
    EXPECT_EQ(w.Ui.SaveRequests.at(0).FileName, ".zop") << "an untitled document presets just the extension";

    // Close
    w.Ui.Answers = { Answer::Yes };
    w.Ui.SaveResults = { std::nullopt };
    EXPECT_FALSE(w.Commands.FormCloseQuery());

    // Drop
    const std::string other = w.MakeFile("other.zop", "1V/div", 77);
    w.Ui.Answers = { Answer::Yes };
    w.Ui.SaveResults = { std::nullopt };
    w.Commands.DropFiles({ other });
    EXPECT_EQ(w.Record.Samples[0], 130);

    // Open: the question comes first and the open dialog is not shown.
    w.Ui.Answers = { Answer::Yes };
    w.Ui.SaveResults = { std::nullopt };
    w.Commands.OpenItemClick();
    EXPECT_TRUE(w.Ui.OpenRequests.empty());
    EXPECT_EQ(w.Record.Samples[0], 130);
    EXPECT_TRUE(w.Ui.Answers.empty() && w.Ui.OpenResults.empty() && w.Ui.SaveResults.empty());
}

TEST(NewCommand, CancelKeepsEverythingNoClearsTheDocument)
{
    Window w;
    w.Show("trace.zop");
    w.Form.ShowProbe(10);
    w.Flags.ProbeChanged = true;
    w.Cursors = { 10, 20, 30, 40 };
    w.Form.StatusBar = { "hint", "dV=1V", "dt=2ms", "f=500Hz" };
    w.Form.SetPasteAvailable(true);
    const FormState before = w.Form;

    w.Ui.Answers = { Answer::Cancel };
    w.Commands.NewItemClick();
    EXPECT_EQ(w.Form.Caption, before.Caption);
    EXPECT_TRUE(w.Form.WaveformShown());
    EXPECT_TRUE(w.Form.Description.Enabled);
    EXPECT_EQ(w.Form.Description.Text(), "from trace.zop");
    EXPECT_EQ(w.Record.FileName, w.File("trace.zop"));
    EXPECT_TRUE(w.Flags.ProbeChanged);
    EXPECT_EQ(w.Cursors, (CursorPositions { 10, 20, 30, 40 }));

    w.Ui.Answers = { Answer::No };
    w.Commands.NewItemClick();
    EXPECT_EQ(w.Form.Caption, "Tracelet - [Untiteld]");
    EXPECT_TRUE(w.Record.FileName.empty());
    EXPECT_FALSE(w.Form.WaveformShown());
    for (Cmd c : { Cmd::SaveasItem, Cmd::PrintItem, Cmd::CutItem, Cmd::CopyItem, Cmd::DotItem, Cmd::SmoothBtn })
        EXPECT_FALSE(w.Form[c].Enabled) << CommandName(c);
    EXPECT_TRUE(w.Form[Cmd::PasteItem].Enabled && w.Form[Cmd::PasteBtn].Enabled) << "Paste follows the clipboard";
    for (const EditField* field : { &w.Form.Description, &w.Form.DateField, &w.Form.TimeField }) {
        EXPECT_FALSE(field->Enabled);
        EXPECT_TRUE(field->Text().empty());
    }
    for (const std::string& panel : w.Form.SettingsPanel)
        EXPECT_TRUE(panel.empty());
    EXPECT_EQ(w.Form.StatusBar[0], "hint");
    EXPECT_TRUE(w.Form.StatusBar[1].empty() && w.Form.StatusBar[2].empty() && w.Form.StatusBar[3].empty());
    EXPECT_EQ(w.DisplayCalls.back(), "graticule");
    EXPECT_FALSE(w.Flags.Modified) << "emptying the fields does not leave the document modified";
    EXPECT_FALSE(w.Flags.ProbeChanged);
    EXPECT_EQ(w.Record.ProbeFactor, 10) << "the probe menu's factor";
    EXPECT_EQ(w.Cursors, CursorPositions {});
    EXPECT_EQ(w.Record.Samples, SampleArray {});
    EXPECT_EQ(w.Record.ZeroRef, 100) << "New keeps the zero reference and both indices";
    EXPECT_EQ(w.Record.VoltIndex, 8);
    EXPECT_EQ(w.Record.TimeIndex, 9);

    // A saved document is cleared without a question.
    w.Commands.NewItemClick();
    EXPECT_EQ(w.Ui.Messages.size(), 2u);
}

TEST(NewCommand, YesSavesATitledDocumentFirst)
{
    Window w;
    w.Show("trace.zop");
    w.Form.Description.SetText("changed before New");
    w.Ui.Answers = { Answer::Yes };
    w.Commands.NewItemClick();
    IncomingImage saved;
    ASSERT_TRUE(LoadWaveformFile(w.File("trace.zop"), saved));
    EXPECT_EQ(saved.Description, "changed before New");
    EXPECT_FALSE(w.Form.WaveformShown());
    EXPECT_TRUE(w.Ui.SaveRequests.empty());
}

TEST(OpenCommand, AsksFirstThenReadsThenApplies)
{
    Window w;
    w.Receive();
    const std::string file = w.MakeFile("scope.ZOP", "1V/div", 33);

    // Yes saves even though the open dialog is then cancelled.
    w.Ui.Answers = { Answer::Yes };
    w.Ui.SaveResults = { Chosen(w.File("received")) };
    w.Ui.OpenResults = { std::nullopt };
    w.Commands.OpenItemClick();
    EXPECT_TRUE(fs::exists(w.File("received.zop")));
    EXPECT_EQ(w.Record.Samples[0], 130);
    ASSERT_EQ(w.Ui.OpenRequests.size(), 1u);
    const FileDialogRequest& request = w.Ui.OpenRequests[0];
    EXPECT_EQ(request.Title, "Opens a waveform file");
    ASSERT_EQ(request.Filters.size(), 1u);
    EXPECT_EQ(request.Filters[0].Description, "Waveform file (*.zop)");
    EXPECT_EQ(request.Filters[0].Pattern, "*.ZOP");
    EXPECT_EQ(request.DefaultExtension, "*.ZOP");

    // Saved now: no question.
    w.Ui.OpenResults = { Chosen(file) };
    w.Commands.OpenItemClick();
    EXPECT_EQ(w.Ui.Messages.size(), 1u);
    EXPECT_EQ(w.Record.Samples[0], 33);
    EXPECT_EQ(w.Record.FileName, file);
    EXPECT_EQ(w.Form.Caption, "Tracelet - scope.ZOP");
    EXPECT_FALSE(w.Flags.Unsaved());

    // Cancel: no dialog at all.
    w.Form.Description.SetText("edit");
    w.Ui.Answers = { Answer::Cancel };
    w.Commands.OpenItemClick();
    EXPECT_EQ(w.Ui.OpenRequests.size(), 2u);
    EXPECT_TRUE(w.Flags.Modified);
}

TEST(OpenCommand, RefusedFilesShowIncorrectFileTypeAndKeepTheDocument)
{
    Window w;
    w.Show("good.zop");
    w.Form.Description.SetText("edited");
    std::ofstream(w.File("bad.zop"), std::ios::binary) << "Zop5 V1.0\r\nshort\r\n";
    std::ofstream(w.File("good.txt"), std::ios::binary) << ReadBytes(w.File("good.zop"));
    for (const std::string& path : { w.File("bad.zop"), w.File("missing.zop"), w.File("good.txt") }) {
        w.Ui.Answers = { Answer::No };
        w.Ui.OpenResults = { Chosen(path) };
        w.Commands.OpenItemClick();
        EXPECT_EQ(w.Ui.Messages.back().Kind, BoxKind::Error) << path;
        EXPECT_EQ(w.Ui.Messages.back().Buttons, BoxButtons::Ok);
        EXPECT_EQ(w.LastMessage(), "Incorrect file type") << path;
        EXPECT_EQ(w.Record.FileName, w.File("good.zop"));
        EXPECT_EQ(w.Form.Description.Text(), "edited");
        EXPECT_TRUE(w.Flags.Modified);
    }
}

TEST(ApplyIncoming, AFileWithProbeX10IsShownSaved)
{
    Window w;
    w.Form.ShowViewMode(TraceMode::Bar);
    w.Form[Cmd::BarBtn].Checked = false;
    w.Commands.OpenStartupFile(w.MakeFile("ten.zop", "0.5V/div", 44));
    EXPECT_TRUE(w.Form[Cmd::Probex10Item].Checked);
    EXPECT_TRUE(w.Form[Cmd::Probex10Btn].Checked);
    EXPECT_FALSE(w.Form[Cmd::Probex1Item].Checked || w.Form[Cmd::Probex1Btn].Checked);
    EXPECT_EQ(w.Record.ProbeFactor, 10);
    EXPECT_FALSE(w.Flags.Modified);
    EXPECT_FALSE(w.Flags.ProbeChanged);
    EXPECT_TRUE(w.Form[Cmd::BarBtn].Checked) << "the drawing mode's button is shown pressed";
    EXPECT_TRUE(w.Form.WaveformShown());
    EXPECT_TRUE(w.Form.TimeField.Enabled);
    EXPECT_EQ(w.Form.SettingsPanel[0], "1ms/div");
    EXPECT_EQ(w.Form.SettingsPanel[1], "0.5V/div");
    EXPECT_EQ(w.Form.SettingsPanel[2], "2.5Vdc");
    // Measurements run on the new record under the new probe, the trace is
    // drawn with the incoming crosses.
    EXPECT_EQ(w.DisplayCalls, (std::vector<std::string> { "measure x10 v4", "redraw 44 cursor -1" }));
    EXPECT_TRUE(w.Ui.Messages.empty());

    w.Incoming.IncomingCursors = { 5, 6, 7, 8 };
    w.Incoming.ProbeFactor = 1;
    w.Commands.ApplyIncoming("");
    EXPECT_EQ(w.Form.Caption, "Tracelet - [Untiteld]");
    EXPECT_TRUE(w.Record.FileName.empty());
    EXPECT_EQ(w.Cursors, (CursorPositions { 5, 6, 7, 8 }));
    EXPECT_EQ(w.DisplayCalls.back(), "redraw 44 cursor 5");
    EXPECT_TRUE(w.Form[Cmd::Probex1Btn].Checked);
}

TEST(StartupFile, ARefusedFileIsIgnoredSilently)
{
    Window w;
    w.Commands.OpenStartupFile("");
    w.Commands.OpenStartupFile(w.File("missing.zop"));
    std::ofstream(w.File("bad.zop")) << "nothing";
    w.Commands.OpenStartupFile(w.File("bad.zop"));
    EXPECT_EQ(w.Form.Caption, "Tracelet - [Untitled]");
    EXPECT_FALSE(w.Form.WaveformShown());
    EXPECT_TRUE(w.Ui.Messages.empty());
    EXPECT_TRUE(w.DisplayCalls.empty());
}

TEST(DroppedFiles, OnlyOneAcceptableFileIsTaken)
{
    Window w;
    w.Show("shown.zop");
    w.Form.Description.SetText("edited");
    const std::string a = w.MakeFile("a.zop", "1V/div", 1);
    const std::string b = w.MakeFile("b.zop", "1V/div", 2);
    std::ofstream(w.File("a.txt"), std::ios::binary) << ReadBytes(a);

    w.Commands.DropFiles({ a, b });
    w.Commands.DropFiles({});
    w.Commands.DropFiles({ w.File("a.txt") });
    EXPECT_TRUE(w.Ui.Messages.empty());
    EXPECT_EQ(w.Ui.Restores, 0);
    EXPECT_EQ(w.Record.FileName, w.File("shown.zop"));

    w.Ui.Answers = { Answer::Cancel };
    w.Commands.DropFiles({ a });
    EXPECT_EQ(w.Ui.Restores, 1) << "the window comes forward before the question";
    EXPECT_EQ(w.Form.Description.Text(), "edited");

    w.Ui.Answers = { Answer::No };
    w.Commands.DropFiles({ a });
    EXPECT_EQ(w.Record.FileName, a);
    EXPECT_EQ(w.Form.Caption, "Tracelet - a.zop");
    EXPECT_EQ(w.Record.Samples[0], 1);

    w.Commands.DropFiles({ b }); // saved now: no question
    EXPECT_EQ(w.Record.Samples[0], 2);
    EXPECT_EQ(w.Ui.Messages.size(), 2u);
}

TEST(SaveAs, BitmapTypeThenSaveWritesTheWaveformWithoutAsking)
{
    Window w;
    w.Show("trace.zop");
    w.Form.ShowProbe(10);
    w.Flags.ProbeChanged = true;
    w.Form.Description.SetText("edited");

    w.Ui.SaveResults = { Chosen(w.File("TRACE.zop"), 2) };
    EXPECT_TRUE(w.Commands.SaveasItemClick());
    EXPECT_EQ(w.Pictures.Written, std::vector<std::string> { w.File("TRACE.bmp") });
    EXPECT_EQ(w.Record.FileName, w.File("TRACE.bmp"));
    EXPECT_EQ(w.Form.Caption, "Tracelet - trace.zop") << "a picture leaves the caption";
    EXPECT_FALSE(w.Flags.Unsaved());
    EXPECT_EQ(w.Record.ProbeFactor, 10);
    EXPECT_EQ(w.Commands.SaveFilterIndex(), 2);

    std::ofstream(w.File("TRACE.zop")) << "an older file";
    EXPECT_TRUE(w.Commands.SaveItemClick());
    EXPECT_TRUE(w.Ui.Messages.empty()) << "Save never asks about an existing file";
    EXPECT_EQ(w.Record.FileName, w.File("TRACE.zop"));
    IncomingImage saved;
    ASSERT_TRUE(LoadWaveformFile(w.File("TRACE.zop"), saved));
    EXPECT_EQ(saved.Description, "edited");
    EXPECT_EQ(w.Form.Caption, "Tracelet - trace.zop");

    // The dialog remembers the bitmap type and presets the name with its extension.
    w.Ui.SaveResults = { Chosen(w.File("other.wmf"), 3) };
    EXPECT_TRUE(w.Commands.SaveasItemClick());
    ASSERT_EQ(w.Ui.SaveRequests.size(), 2u);
    EXPECT_EQ(w.Ui.SaveRequests[1].FilterIndex, 2);
    EXPECT_EQ(w.Ui.SaveRequests[1].FileName, w.File("TRACE.bmp"));
    EXPECT_EQ(w.Pictures.Written.back(), w.File("other.wmf"));
    const FileDialogRequest& request = w.Ui.SaveRequests[0];
    EXPECT_TRUE(request.Title.empty());
    ASSERT_EQ(request.Filters.size(), 3u);
    EXPECT_EQ(request.Filters[0].Description, "WaveForm file (*.zop)");
    EXPECT_EQ(request.Filters[1].Description, "Windows Bitmap (*.bmp)");
    EXPECT_EQ(request.Filters[2].Pattern, "*.wmf");
    EXPECT_EQ(request.DefaultExtension, "*.ZOP");
}

TEST(SaveAs, WaveformTypeReplacesTheTypedExtensionAndAsksBeforeOverwriting)
{
    Window w;
    w.Receive();
    w.Ui.SaveResults = { Chosen(w.File("capture.txt"), 1) };
    EXPECT_TRUE(w.Commands.SaveasItemClick());
    EXPECT_TRUE(fs::exists(w.File("capture.zop")));
    EXPECT_FALSE(fs::exists(w.File("capture.txt")));
    EXPECT_EQ(w.Form.Caption, "Tracelet - capture.zop");
    EXPECT_FALSE(w.Flags.Unsaved());

    // Refused: nothing written, the document untitled, the caption kept.
    w.Form.Description.SetText("second version");
    w.Ui.SaveResults = { Chosen(w.File("capture.zop"), 1) };
    w.Ui.Answers = { Answer::No };
    EXPECT_FALSE(w.Commands.SaveasItemClick());
    EXPECT_EQ(w.Ui.Messages.back().Text, "File exist. Overwrite it?");
    EXPECT_EQ(w.Ui.Messages.back().Kind, BoxKind::Warning);
    EXPECT_EQ(w.Ui.Messages.back().Buttons, BoxButtons::YesNo);
    EXPECT_TRUE(w.Record.FileName.empty());
    EXPECT_EQ(w.Form.Caption, "Tracelet - capture.zop");
    IncomingImage saved;
    ASSERT_TRUE(LoadWaveformFile(w.File("capture.zop"), saved));
    EXPECT_EQ(saved.Description, "");
    EXPECT_TRUE(w.Flags.Modified);

    w.Ui.SaveResults = { Chosen(w.File("capture.zop"), 1) };
    w.Ui.Answers = { Answer::Yes };
    EXPECT_TRUE(w.Commands.SaveasItemClick());
    ASSERT_TRUE(LoadWaveformFile(w.File("capture.zop"), saved));
    EXPECT_EQ(saved.Description, "second version");
}

TEST(GeneralErrorReport, FailedSavesShowThePlatformMessageAndChangeNothing)
{
    Window w;
    w.Show("trace.zop");
    w.Form.Description.SetText("unsaved words");
    fs::remove(w.File("trace.zop"));
    fs::create_directory(w.File("trace.zop")); // a folder now stands in the file's place

    EXPECT_FALSE(RunCommand(w.Ui, [&] { w.Commands.SaveItemClick(); }));
    EXPECT_EQ(w.Ui.Messages.back().Kind, BoxKind::Error);
    EXPECT_EQ(w.LastMessage(), "Is a directory");
    EXPECT_TRUE(w.Flags.Modified);
    EXPECT_EQ(w.Record.FileName, w.File("trace.zop"));

    // In Save As the new name is kept after a failed write.
    w.Ui.SaveResults = { Chosen(w.File("gone/new.zop"), 1) };
    EXPECT_FALSE(RunCommand(w.Ui, [&] { w.Commands.SaveasItemClick(); }));
    EXPECT_EQ(w.LastMessage(), "No such file or directory");
    EXPECT_EQ(w.Record.FileName, w.File("gone/new.zop"));
    EXPECT_EQ(w.Form.Caption, "Tracelet - trace.zop");

    // A save that fails inside the question is reported there, once, and the
    // command that asked stops as after Cancel.
    w.Ui.Answers = { Answer::Yes };
    size_t shown = w.Ui.Messages.size();
    EXPECT_TRUE(RunCommand(w.Ui, [&] { w.Commands.NewItemClick(); }));
    ASSERT_EQ(w.Ui.Messages.size(), shown + 2);
    EXPECT_EQ(w.Ui.Messages[shown].Text, "Save changes to file " + w.File("gone/new.zop") + "?");
    EXPECT_EQ(w.Ui.Messages.back().Kind, BoxKind::Error);
    EXPECT_EQ(w.LastMessage(), "No such file or directory");
    EXPECT_TRUE(w.Form.WaveformShown());
    EXPECT_EQ(w.Form.Description.Text(), "unsaved words");
    EXPECT_TRUE(w.Flags.Modified);

    // The window stays open.
    bool canClose = true;
    w.Ui.Answers = { Answer::Yes };
    shown = w.Ui.Messages.size();
    EXPECT_TRUE(RunCommand(w.Ui, [&] { canClose = w.Commands.FormCloseQuery(); }));
    EXPECT_FALSE(canClose);
    EXPECT_EQ(w.Ui.Messages.size(), shown + 2);

    // Every other caller (a completed transfer, a paste) sees false, never a
    // failure it would take for its own.
    w.Ui.Answers = { Answer::Yes };
    bool mayGoOn = true;
    EXPECT_NO_THROW(mayGoOn = w.Commands.ConfirmSave());
    EXPECT_FALSE(mayGoOn);
    EXPECT_EQ(w.LastMessage(), "No such file or directory");
    EXPECT_TRUE(w.Ui.Answers.empty() && w.Ui.OpenResults.empty() && w.Ui.SaveResults.empty());
}

TEST(GeneralErrorReport, PictureTypesWithoutAWriterDoNotPretend)
{
    Window w;
    NoPictureFiles none;
    w.Commands.SetPictureFiles(none);
    w.Receive();
    w.Ui.SaveResults = { Chosen(w.File("trace.bmp"), 2), Chosen(w.File("trace.wmf"), 3) };
    EXPECT_FALSE(RunCommand(w.Ui, [&] { w.Commands.SaveasItemClick(); }));
    EXPECT_NE(w.LastMessage().find("not available"), std::string::npos);
    EXPECT_FALSE(RunCommand(w.Ui, [&] { w.Commands.SaveasItemClick(); }));
    EXPECT_NE(w.LastMessage().find("metafile"), std::string::npos);
    EXPECT_TRUE(w.Flags.Modified);
    EXPECT_FALSE(fs::exists(w.File("trace.bmp")));

    EXPECT_TRUE(RunCommand(w.Ui, [] {}));
    EXPECT_FALSE(RunCommand(w.Ui, [] { throw 42; }));
    EXPECT_EQ(w.LastMessage(), "Unknown error");
    EXPECT_FALSE(RunCommand(w.Ui, [] { throw std::runtime_error("caf\xC3\xA9"); }));
    EXPECT_EQ(w.LastMessage(), "caf\xE9") << "shown as Windows-1252";
}

TEST(CloseQuery, AsksOnlyWhenUnsaved)
{
    Window w;
    EXPECT_TRUE(w.Commands.FormCloseQuery());
    w.Receive();
    EXPECT_TRUE(w.Flags.Modified) << "setting the date and time after a transfer marks the document";
    w.Ui.Answers = { Answer::Cancel, Answer::No };
    EXPECT_FALSE(w.Commands.FormCloseQuery());
    EXPECT_TRUE(w.Commands.FormCloseQuery());
    w.Commands.ExitItemClick();
    EXPECT_EQ(w.Ui.CloseRequests, 1);

    Window p;
    p.Show("trace.zop");
    p.Flags.ProbeChanged = true;
    p.Ui.Answers = { Answer::Yes };
    EXPECT_TRUE(p.Commands.FormCloseQuery());
    EXPECT_FALSE(p.Flags.Unsaved());
}

TEST(FieldCommands, DoubleClicksAndChangeHandlers)
{
    Window w;
    w.Commands.DateFieldDblClick();
    w.Commands.TimeFieldDblClick();
    EXPECT_TRUE(w.Form.DateField.Text().empty()) << "disabled fields take no date";
    EXPECT_FALSE(w.Flags.Modified);

    w.Show("trace.zop");
    w.Clock.Date = "01-02-2026"; // the day the file was made
    w.Commands.DateFieldDblClick();
    EXPECT_FALSE(w.Flags.Modified) << "the same date changes nothing";
    w.Clock.Time = "11:12:14";
    w.Commands.TimeFieldDblClick();
    EXPECT_EQ(w.Form.TimeField.Text(), "11:12:14");
    EXPECT_TRUE(w.Flags.Modified);

    for (EditField* field : { &w.Form.Description, &w.Form.DateField, &w.Form.TimeField }) {
        w.Flags.Modified = false;
        field->SetText(field->Text() + "x");
        EXPECT_TRUE(w.Flags.Modified);
    }

    w.Commands.FormActivate(true);
    EXPECT_TRUE(w.Form[Cmd::PasteItem].Enabled && w.Form[Cmd::PasteBtn].Enabled);
    w.Commands.FormActivate(false);
    EXPECT_FALSE(w.Form[Cmd::PasteItem].Enabled || w.Form[Cmd::PasteBtn].Enabled);
}

} // namespace
} // namespace zop
