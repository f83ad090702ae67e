#include <gtest/gtest.h>

#include <stdexcept>

#include "output/OutputCommands.h"
#include "tests/support/WindowParts.h"
#include "waveform/ScaleTables.h"

namespace zop {
namespace {

// A clipboard shared by every window of a test, as the system's is.
class FakeClipboard final : public WaveformClipboard {
public:
    std::optional<std::vector<uint8_t>> Block;
    std::optional<SheetContent> Picture;
    bool Refuse = false;
    int Empties = 0;

    bool HoldsWaveform() override { return Block.has_value(); }
    std::optional<std::vector<uint8_t>> ReadWaveform() override { return Block; }
    void Place(const SheetContent& sheet, const WaveformBlock* block) override
    {
        if (Refuse)
            throw std::runtime_error("clipboard is busy");
        Picture = sheet;
        Block.reset();
        if (block)
            Block = std::vector<uint8_t>(block->begin(), block->end());
    }
    void Empty() override
    {
        ++Empties;
        Block.reset();
        Picture.reset();
    }
    // Another program takes the clipboard over.
    void TakenByOtherProgram()
    {
        Block.reset();
        Picture.reset();
    }
};

class FakePrinter final : public PagePrinter {
public:
    bool Confirm = true;
    int Dialogs = 0;
    std::vector<SheetContent> Pages;
    bool ChoosePrinter() override
    {
        ++Dialogs;
        return Confirm;
    }
    void PrintSheet(const SheetContent& sheet) override { Pages.push_back(sheet); }
};

struct Window : test::WindowParts {
    explicit Window(FakeClipboard& clipboard)
        : Clipboard(clipboard)
    {
    }
    FakeClipboard& Clipboard;
    NoPictureFiles Pictures;
    FakePrinter Printer;
    int Redraws = 0;
    DocumentCommands Document { Parts(), { {}, [this] { ++Redraws; }, {} }, Pictures, Clock };
    OutputCommands Output { Parts(), Document, Clipboard, Printer };

    // A received waveform as the window shows it, saved.
    void ShowWaveform() { ShowSaved(Document, "/tmp/clock.zop"); }
};

class Clipboard : public testing::Test {
protected:
    FakeClipboard clipboard;
    Window source { clipboard };
    Window target { clipboard };
};

TEST_F(Clipboard, CopyAndPasteMoveTheWaveformBetweenWindows)
{
    source.ShowWaveform();
    source.Output.CopyItemClick();
    ASSERT_TRUE(clipboard.Block);
    ASSERT_TRUE(clipboard.Picture);
    EXPECT_EQ(clipboard.Picture->Description, "Clock line");
    EXPECT_TRUE(source.Form[Cmd::PasteItem].Enabled);
    EXPECT_TRUE(source.Form[Cmd::PasteBtn].Enabled);

    target.Output.EditMenuClick();
    EXPECT_TRUE(target.Form[Cmd::PasteItem].Enabled);
    target.Output.PasteItemClick();
    EXPECT_TRUE(target.Ui.Messages.empty());
    EXPECT_EQ(target.Record.Samples, source.Record.Samples);
    EXPECT_EQ(target.Record.TimeIndex, 7);
    EXPECT_EQ(target.Record.VoltIndex, 4);
    EXPECT_EQ(target.Record.ZeroRef, 120);
    EXPECT_EQ(target.Form.Description.Text(), "Clock line");
    EXPECT_EQ(target.Form.DateField.Text(), "06-12-2026");
    EXPECT_EQ(target.Form.TimeField.Text(), "17:00:00");
    EXPECT_EQ(target.Form.SettingsPanel[0], TimeLabel(7));
    EXPECT_EQ(target.Form.SettingsPanel[1], VoltsLabel(4, 1));
    // Pasted crosses survive; the paste is untitled and counts as unsaved.
    EXPECT_EQ(target.Cursors, (CursorPositions { 40, 100, 120, -1 }));
    EXPECT_EQ(target.Record.FileName, "");
    EXPECT_EQ(target.Form.Caption, "Tracelet - [Untiteld]");
    EXPECT_TRUE(target.Flags.Modified);
    EXPECT_TRUE(target.Form.WaveformShown());
    EXPECT_GE(target.Redraws, 1);
}

TEST_F(Clipboard, TenTimesProbeAtCopyTimeArrivesAsTenTimesProbe)
{
    source.ShowWaveform(); // saved with the x1 probe
    source.Form.ShowProbe(10); // the user switched to x10 since
    source.Output.CopyItemClick();
    target.Output.PasteItemClick();
    EXPECT_EQ(target.Record.ProbeFactor, 10);
    EXPECT_TRUE(target.Form[Cmd::Probex10Item].Checked);
    EXPECT_FALSE(target.Form[Cmd::Probex1Item].Checked);
    EXPECT_EQ(target.Form.SettingsPanel[1], VoltsLabel(4, 10));
}

TEST_F(Clipboard, PasteOverUnsavedDocumentAsksFirstAndCancelKeepsIt)
{
    source.ShowWaveform();
    source.Output.CopyItemClick();
    target.ShowWaveform();
    target.Form.Description.SetText("edited"); // unsaved now
    target.Ui.Answers.push_back(Answer::Cancel);
    target.Output.PasteItemClick();
    ASSERT_EQ(target.Ui.Messages.size(), 1u);
    EXPECT_EQ(target.Ui.Messages[0].Buttons, BoxButtons::YesNoCancel);
    EXPECT_EQ(target.Form.Description.Text(), "edited");
    EXPECT_EQ(target.Record.FileName, "/tmp/clock.zop");
    EXPECT_TRUE(target.Flags.Modified);

    target.Ui.Answers.push_back(Answer::No);
    target.Output.PasteItemClick();
    EXPECT_EQ(target.Form.Description.Text(), "Clock line");
    EXPECT_EQ(target.Record.FileName, "");
}

TEST_F(Clipboard, SaveThatFailsBeforePastingIsReportedAsItselfAndKeepsTheDocument)
{
    source.ShowWaveform();
    source.Output.CopyItemClick();
    target.ShowWaveform();
    const std::string unwritable = "/nonexistent-folder/clock.zop";
    target.Record.FileName = unwritable;
    target.Form.Description.SetText("edited"); // unsaved now
    target.Ui.Answers.push_back(Answer::Yes); // save first, which fails
    target.Output.PasteItemClick();
    // The question, then the save's own failure; the clipboard is not blamed.
    ASSERT_EQ(target.Ui.Messages.size(), 2u);
    EXPECT_EQ(target.Ui.Messages[0].Buttons, BoxButtons::YesNoCancel);
    EXPECT_NE(target.Ui.Messages[1].Text, "Incorrect Clipboard contents");
    EXPECT_EQ(target.Form.Description.Text(), "edited");
    EXPECT_EQ(target.Record.FileName, unwritable);
    EXPECT_TRUE(target.Flags.Modified);
}

TEST_F(Clipboard, PasteWithoutBlockReportsAndMarksUnsaved)
{
    target.ShowWaveform();
    EXPECT_FALSE(target.Flags.Unsaved());
    // Paste was enabled, then another program took the clipboard over.
    source.ShowWaveform();
    source.Output.CopyItemClick();
    target.Output.UpdatePasteAvailability();
    clipboard.TakenByOtherProgram();
    target.Output.PasteItemClick();
    ASSERT_EQ(target.Ui.Texts(), (std::vector<std::string> { "Incorrect Clipboard contents" }));
    EXPECT_EQ(target.Ui.Messages[0].Kind, BoxKind::Error);
    EXPECT_EQ(target.Form.Description.Text(), "Clock line");
    EXPECT_TRUE(target.Flags.Modified);
}

TEST_F(Clipboard, MalformedBlocksAreRefusedWithoutTouchingTheDocument)
{
    target.ShowWaveform();
    const SampleArray before = target.Record.Samples;
    source.ShowWaveform();
    source.Output.CopyItemClick();
    const std::vector<uint8_t> good = *clipboard.Block;

    std::vector<std::vector<uint8_t>> bad;
    bad.emplace_back(good.begin(), good.begin() + 700); // short
    bad.push_back(good);
    bad.back()[384] = 23; // time index outside the table
    bad.push_back(good);
    bad.back()[388] = 0; // volts index 0
    bad.push_back(good);
    bad.back()[396] = 2; // probe factor 2
    bad.push_back(good);
    bad.back()[1] = 1; // sample 0 is 256
    for (const auto& block : bad) {
        clipboard.Block = block;
        target.Ui.Messages.clear();
        target.Flags.Modified = false;
        target.Output.PasteItemClick();
        EXPECT_EQ(target.Ui.Texts(), (std::vector<std::string> { "Incorrect Clipboard contents" }));
        EXPECT_EQ(target.Record.Samples, before);
        EXPECT_TRUE(target.Flags.Modified);
    }
}

TEST_F(Clipboard, FailedPasteIntoAnEmptyWindowLeavesNothingToSave)
{
    clipboard.Block = std::vector<uint8_t>(16, 0xFF); // another program's data
    target.Output.PasteItemClick();
    EXPECT_EQ(target.Ui.Texts(), (std::vector<std::string> { "Incorrect Clipboard contents" }));
    EXPECT_FALSE(target.Form.WaveformShown());
    EXPECT_FALSE(target.Flags.Unsaved());
    // Closing asks nothing: there is no waveform to save.
    target.Ui.Messages.clear();
    EXPECT_TRUE(target.Document.FormCloseQuery());
    EXPECT_TRUE(target.Ui.Messages.empty());
}

TEST_F(Clipboard, CrossOnASampleOfZeroTravelsWithTheWaveform)
{
    source.ShowWaveform();
    source.Record.Samples[10] = 0;
    source.Record.Samples[20] = 255;
    // Crosses on the off-scale samples: rows 255 and 0.
    source.Cursors = { 42, 255, 82, 0 };
    source.Output.CopyItemClick();
    target.Output.PasteItemClick();
    EXPECT_TRUE(target.Ui.Messages.empty());
    EXPECT_EQ(target.Cursors, (CursorPositions { 42, 255, 82, 0 }));
    EXPECT_EQ(target.Record.Samples, source.Record.Samples);
}

TEST_F(Clipboard, RefusingClipboardGivesClipErrorAndDisablesPaste)
{
    source.ShowWaveform();
    source.Output.UpdatePasteAvailability();
    clipboard.Block = std::vector<uint8_t>(720, 0);
    source.Output.UpdatePasteAvailability();
    EXPECT_TRUE(source.Form[Cmd::PasteItem].Enabled);
    clipboard.Refuse = true;
    source.Output.CopyItemClick();
    ASSERT_EQ(source.Ui.Texts(), (std::vector<std::string> { "clip error" }));
    EXPECT_EQ(source.Ui.Messages[0].Kind, BoxKind::Plain);
    EXPECT_FALSE(source.Form[Cmd::PasteItem].Enabled);
    EXPECT_FALSE(source.Form[Cmd::PasteBtn].Enabled);
    EXPECT_EQ(clipboard.Empties, 1);
    EXPECT_FALSE(clipboard.Block);
}

TEST_F(Clipboard, PasteAvailabilityFollowsTheClipboard)
{
    target.Output.UpdatePasteAvailability();
    EXPECT_FALSE(target.Form[Cmd::PasteItem].Enabled);
    EXPECT_FALSE(target.Form[Cmd::PasteBtn].Enabled);
    source.ShowWaveform();
    source.Output.CopyItemClick();
    target.Output.EditMenuClick();
    EXPECT_TRUE(target.Form[Cmd::PasteItem].Enabled);
    EXPECT_TRUE(target.Form[Cmd::PasteBtn].Enabled);
    clipboard.TakenByOtherProgram();
    target.Output.UpdatePasteAvailability();
    EXPECT_FALSE(target.Form[Cmd::PasteItem].Enabled);
}

TEST_F(Clipboard, CutCopiesThenClearsAndCancelKeepsTheDocument)
{
    source.ShowWaveform();
    source.Output.CutItemClick(); // saved: no question
    EXPECT_TRUE(clipboard.Block);
    EXPECT_FALSE(source.Form.WaveformShown());
    EXPECT_EQ(source.Form.Caption, "Tracelet - [Untiteld]");

    Window other { clipboard };
    other.ShowWaveform();
    other.Form.Description.SetText("changed");
    other.Ui.Answers.push_back(Answer::Cancel);
    clipboard.Block.reset();
    other.Output.CutItemClick();
    EXPECT_TRUE(clipboard.Block) << "the copy stays on the clipboard";
    EXPECT_TRUE(other.Form.WaveformShown());
    EXPECT_EQ(other.Form.Description.Text(), "changed");
    EXPECT_EQ(other.Ui.Messages.size(), 1u);
}

TEST_F(Clipboard, LongTextsFromAFileAreCutWhenCopied)
{
    source.Incoming = {};
    source.Incoming.TimeIndex = 1;
    source.Incoming.VoltIndex = 1;
    source.Incoming.Description = std::string(70, 'd');
    source.Incoming.Date = std::string(50, '1');
    source.Incoming.Time = std::string(20, '2');
    source.Document.ApplyIncoming("/tmp/long.zop");
    source.Output.CopyItemClick();
    target.Output.PasteItemClick();
    EXPECT_EQ(target.Form.Description.Text(), std::string(41, 'd'));
    EXPECT_EQ(target.Form.DateField.Text(), std::string(32, '1'));
    EXPECT_EQ(target.Form.TimeField.Text(), "");
}

TEST(Printing, CancelledDialogPrintsNothingAndConfirmedOnePrintsTheWindow)
{
    FakeClipboard clipboard;
    Window window { clipboard };
    window.ShowWaveform();
    window.Form.ViewMode = TraceMode::Bar;
    window.Form.StatusBar[2] = "dT 2ms";
    window.Printer.Confirm = false;
    window.Output.PrintItemClick();
    EXPECT_EQ(window.Printer.Dialogs, 1);
    EXPECT_TRUE(window.Printer.Pages.empty());
    window.Printer.Confirm = true;
    window.Output.PrintItemClick();
    ASSERT_EQ(window.Printer.Pages.size(), 1u);
    const SheetContent& page = window.Printer.Pages[0];
    EXPECT_EQ(page.Description, "Clock line");
    EXPECT_EQ(page.Mode, TraceMode::Bar);
    EXPECT_EQ(page.CursorReadouts[1], "dT 2ms");
    EXPECT_EQ(page.Cursors, window.Cursors);
    EXPECT_EQ(page.Record.Samples, window.Record.Samples);
    EXPECT_EQ(page.SettingsPanel[0], TimeLabel(7));
}

} // namespace
} // namespace zop
