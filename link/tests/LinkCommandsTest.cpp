#include <gtest/gtest.h>

#include <deque>
#include <set>
#include <stdexcept>
#include <string>
#include <vector>

#include "link/LinkCommands.h"
#include "tests/support/FakeLinkPort.h"
#include "tests/support/InstrumentTransfers.h"
#include "tests/support/LinkWindowParts.h"
#include "waveform/InstrumentLines.h"

namespace zop {
namespace {

// The window's state with the document and link commands over it.
struct Window : test::LinkWindowParts {
    Window() { Clock.Time = "09:15:00"; }

    test::FakeLinkPort Port;
    std::vector<std::string> DisplayCalls;
    bool FailRedraw = false;
    LinkCommands Link { LinkParts(), Port, Documents, Hooks(), Clock };

    DisplayHooks Hooks()
    {
        return { [this] {
                    DisplayCalls.push_back("measure x" + std::to_string(Form.ProbeMenuFactor()) + " factor "
                        + std::to_string(Record.ProbeFactor) + " v" + std::to_string(Record.VoltIndex)
                        + (Port.Open() ? " open" : " closed"));
                },
            [this] {
                if (FailRedraw)
                    throw std::runtime_error("no picture");
                DisplayCalls.push_back("redraw " + std::to_string(Record.Samples[0]));
            },
            {} };
    }

    // The port announces the bytes before each line end, then the line end to
    // every line-end trigger armed. A closed port receives nothing.
    void Receive(std::string_view bytes)
    {
        test::Receive(
            Port, bytes, [this](uint16_t n) { Link.VskComPort1TriggerAvail(n); },
            [this](uint16_t handle) { Link.VskComPort1TriggerData(handle); });
    }
    void StartWithPort(std::set<uint16_t> usable)
    {
        Port.Usable = std::move(usable);
        Link.ProbePorts();
    }
    bool ComChecked(int n) const { return Form[ComItem(n)].Checked; }
    bool ComEnabled(int n) const { return Form[ComItem(n)].Enabled; }
};

InstrumentWaveform Sample(int32_t first)
{
    return test::RampWaveform(first);
}

std::string Transfer(int32_t first, LineForm form = LineForm::A)
{
    return test::RampTransfer(first, form);
}

TEST(TransferCompletion, AReceivedTransferBecomesTheNewUntitledDocument)
{
    Window window;
    window.StartWithPort({ 1 });
    window.Record.FileName = "/tmp/old.zop";
    window.Form.Caption = "Tracelet - old.zop";
    window.Form.ViewMode = TraceMode::Bar;
    window.Form[Cmd::BarBtn].Checked = false; // released by hand
    window.Port.Log.clear();

    window.Receive(Transfer(131));

    EXPECT_TRUE(window.Ui.Messages.empty()); // a saved document is not asked about
    EXPECT_EQ(window.Port.Log, (std::vector<std::string> { "close 1", "open 1" }));
    EXPECT_EQ(window.Ui.Restores, 1);
    EXPECT_EQ(window.Record.FileName, "");
    EXPECT_EQ(window.Form.Caption, "Tracelet - [Untitled]");
    EXPECT_EQ(window.Record.TimeIndex, 3);
    EXPECT_EQ(window.Record.VoltIndex, 5);
    EXPECT_EQ(window.Record.ZeroRef, 120);
    EXPECT_EQ(window.Record.Samples, Sample(131).Samples);
    EXPECT_EQ(window.Record.ProbeFactor, 1);
    EXPECT_EQ(window.Form.SettingsPanel[0], "10\xB5s/div");
    EXPECT_EQ(window.Form.SettingsPanel[1], "0.1V/div");
    EXPECT_EQ(window.DisplayCalls, (std::vector<std::string> { "measure x1 factor 1 v5 closed", "redraw 131" }));
    for (const Cmd command : { Cmd::SaveItem, Cmd::SaveasItem, Cmd::PrintItem, Cmd::CutItem, Cmd::CopyItem,
             Cmd::DotItem, Cmd::BarItem, Cmd::SmoothItem, Cmd::SaveBtn, Cmd::PrintBtn, Cmd::CutBtn, Cmd::CopyBtn,
             Cmd::DotBtn, Cmd::BarBtn, Cmd::SmoothBtn })
        EXPECT_TRUE(window.Form[command].Enabled) << CommandName(command);
    EXPECT_TRUE(window.Form[Cmd::BarBtn].Checked);
    EXPECT_FALSE(window.Form[Cmd::SmoothBtn].Checked);
    EXPECT_TRUE(window.Form.Description.Enabled && window.Form.DateField.Enabled && window.Form.TimeField.Enabled);
    EXPECT_EQ(window.Form.Description.Text(), "");
    EXPECT_EQ(window.Form.DateField.Text(), "07-12-2026");
    EXPECT_EQ(window.Form.TimeField.Text(), "09:15:00");
    // Filling the date and time marked the new document modified.
    EXPECT_TRUE(window.Flags.Modified);
    EXPECT_FALSE(window.Transfer.TimeSeen || window.Transfer.VoltsSeen || window.Transfer.ZeroSeen
        || window.Transfer.TransferComplete);
    EXPECT_TRUE(window.Port.Open());
}

TEST(TransferCompletion, TheProbeAtTheVoltsLineNamesTheLabelAndTheProbeAtTheEndTheFactor)
{
    Window window;
    window.StartWithPort({ 1 });
    window.Form.ShowProbe(10);
    const std::string bytes = Transfer(0);
    const size_t samples = bytes.find("00000");
    window.Receive(bytes.substr(0, samples));
    window.Form.ShowProbe(1); // switched while the samples arrive
    window.Receive(bytes.substr(samples));
    EXPECT_EQ(window.Form.SettingsPanel[1], "1V/div");
    EXPECT_EQ(window.Record.ProbeFactor, 1);
    EXPECT_FALSE(window.Flags.ProbeChanged);
    EXPECT_EQ(window.DisplayCalls.front(), "measure x1 factor 1 v5 closed");
}

TEST(TransferCompletion, ACancelledQuestionKeepsTheWaveformPendingUntilTheNextLine)
{
    Window window;
    window.StartWithPort({ 2 });
    window.Receive(Transfer(10));
    ASSERT_TRUE(window.Flags.Modified);
    window.Port.Log.clear();

    window.Ui.Answers = { Answer::Cancel };
    window.Receive(Transfer(50));
    ASSERT_EQ(window.Ui.Messages.size(), 1u);
    EXPECT_EQ(window.Ui.Messages[0].Text, "New waveform received!\n\r\rSave changes to file ?");
    EXPECT_EQ(window.Ui.Messages[0].Buttons, BoxButtons::YesNoCancel);
    EXPECT_EQ(window.Record.Samples[0], 10); // nothing applied
    EXPECT_TRUE(window.Transfer.AllFlagsSet());
    EXPECT_EQ(window.Port.Log, (std::vector<std::string> { "close 2", "open 2" }));

    // A newer transfer is not parsed; its first line brings the question back.
    window.Ui.Answers = { Answer::Cancel, Answer::No };
    window.Receive(Transfer(90, LineForm::B).substr(0, 40));
    EXPECT_EQ(window.Ui.Messages.size(), 3u);
    EXPECT_EQ(window.Record.Samples[0], 50); // the pending waveform, not the newer one
    EXPECT_FALSE(window.Transfer.TransferComplete);
    EXPECT_TRUE(window.Port.Open());
    // Outside a transfer the question has its usual wording.
    window.Flags.Modified = true;
    window.Ui.Answers = { Answer::Cancel };
    EXPECT_FALSE(window.Documents.ConfirmSave());
    EXPECT_EQ(window.Ui.Messages.back().Text, "Save changes to file ?");
}

// Another command's question is open (its event loop delivers the port's
// events): a transfer that completes meanwhile waits for that command to end
// instead of asking its own question inside the other one.
TEST(TransferCompletion, ATransferCompletedWhileTheWindowIsBusyWaitsForTheCommandToEnd)
{
    Window window;
    window.StartWithPort({ 1 });
    window.Receive(Transfer(10));
    ASSERT_EQ(window.Record.Samples[0], 10);
    bool busy = true;
    window.Link.SetDocumentBusy([&] { return busy; });
    window.Port.Log.clear();

    window.Receive(Transfer(60));
    EXPECT_TRUE(window.Ui.Messages.empty());
    EXPECT_EQ(window.Record.Samples[0], 10);
    EXPECT_TRUE(window.Transfer.AllFlagsSet());
    EXPECT_TRUE(window.Link.CompletionDeferred());
    EXPECT_TRUE(window.Port.Log.empty()); // the port stays open meanwhile
    // Lines of a newer transfer are not parsed while one waits.
    window.Receive(Transfer(70).substr(0, 40));
    EXPECT_TRUE(window.Ui.Messages.empty());

    busy = false;
    window.Ui.Answers = { Answer::Cancel };
    EXPECT_TRUE(window.Link.CompleteDeferredTransfer());
    ASSERT_EQ(window.Ui.Messages.size(), 1u);
    EXPECT_EQ(window.Ui.Messages[0].Text, "New waveform received!\n\r\rSave changes to file ?");
    EXPECT_EQ(window.Record.Samples[0], 10);
    // Cancelled: pending as usual, brought back by the next line, not by
    // the end of the next command.
    EXPECT_FALSE(window.Link.CompleteDeferredTransfer());
    EXPECT_EQ(window.Ui.Messages.size(), 1u);
    window.Ui.Answers = { Answer::No };
    window.Receive("x\r");
    EXPECT_EQ(window.Record.Samples[0], 60);
    EXPECT_FALSE(window.Transfer.AllFlagsSet());
    EXPECT_EQ(window.Port.Log, (std::vector<std::string> { "close 1", "open 1", "close 1", "open 1" }));
    EXPECT_FALSE(window.Link.CompleteDeferredTransfer());
}

TEST(TransferCompletion, AFailedReopenWarnsAndDisablesThePortsCommand)
{
    Window window;
    window.StartWithPort({ 3 });
    window.Port.OpensLeft = 0; // the device went away while the port was closed
    window.Receive(Transfer(0));
    EXPECT_EQ(window.Record.Samples[95], 95); // applied all the same
    ASSERT_EQ(window.Ui.Messages.size(), 1u);
    EXPECT_EQ(window.Ui.Messages[0].Text, "Unable to re-open communication port!");
    EXPECT_EQ(window.Ui.Messages[0].Kind, BoxKind::Warning);
    EXPECT_EQ(window.Ui.Messages[0].Buttons, BoxButtons::Ok);
    EXPECT_FALSE(window.ComChecked(3));
    EXPECT_FALSE(window.ComEnabled(3));
    EXPECT_FALSE(window.Port.Open());

    // With every command disabled, opening the port menu probes again.
    window.Port.OpensLeft = 1000;
    window.Link.ComMenuClick();
    EXPECT_TRUE(window.ComChecked(3));
    EXPECT_TRUE(window.Port.Open());
    EXPECT_EQ(window.Port.LineEndTriggers(), 1);
}

TEST(TransferCompletion, AFailureDuringCompletionRestartsTheTransferAndReopens)
{
    Window window;
    window.StartWithPort({ 1 });
    window.FailRedraw = true;
    window.Receive(Transfer(0));
    EXPECT_TRUE(window.Ui.Messages.empty());
    EXPECT_FALSE(window.Transfer.TimeSeen || window.Transfer.TransferComplete);
    EXPECT_TRUE(window.Transfer.LineBuffer.empty());
    EXPECT_TRUE(window.Port.Open());
    // The next transfer is received normally.
    window.FailRedraw = false;
    window.Flags.Modified = false;
    window.Receive(Transfer(7));
    EXPECT_EQ(window.Record.Samples[0], 7);
}

TEST(TransferCompletion, BytesUpToAFailedTakeAreKept)
{
    Window window;
    window.StartWithPort({ 1 });
    window.Port.Input = { ' ', ' ', '1', 'u' };
    window.Link.VskComPort1TriggerAvail(10); // only four bytes are there
    EXPECT_EQ(window.Transfer.LineBuffer, "  1u");
    window.Receive("s/Sample\r");
    EXPECT_EQ(window.Transfer.PendingTimeIndex, 3);
    // Another trigger's line end leaves the line alone.
    window.Port.Input = { 'a' };
    window.Link.VskComPort1TriggerAvail(1);
    window.Link.VskComPort1TriggerData(static_cast<uint16_t>(window.Transfer.DataTriggerHandle + 1));
    EXPECT_EQ(window.Transfer.LineBuffer, "a");
}

// The window's thread was busy and the line end's event was given up: the
// line end then arrives only as a byte, in front of the next line. It still
// ends its line, and the transfer goes through.
TEST(TransferCompletion, ALineEndWhoseEventWasGivenUpStillEndsItsLine)
{
    Window window;
    window.StartWithPort({ 1 });
    const std::string bytes = Transfer(40);
    const size_t firstEnd = bytes.find('\r');
    const size_t secondEnd = bytes.find('\r', firstEnd + 1);
    // The time-base line is announced and taken; its line-end event never comes.
    window.Port.Input.insert(window.Port.Input.end(), bytes.begin(), bytes.begin() + firstEnd);
    window.Link.VskComPort1TriggerAvail(static_cast<uint16_t>(firstEnd));
    // The next announcement starts with that line end.
    window.Port.Input.insert(window.Port.Input.end(), bytes.begin() + firstEnd, bytes.begin() + secondEnd);
    window.Link.VskComPort1TriggerAvail(static_cast<uint16_t>(secondEnd - firstEnd));
    EXPECT_TRUE(window.Transfer.TimeSeen);
    window.Receive(bytes.substr(secondEnd));
    EXPECT_EQ(window.Record.Samples, Sample(40).Samples);
    EXPECT_EQ(window.Record.TimeIndex, 3);
    EXPECT_EQ(window.DisplayCalls.back(), "redraw 40");
}

TEST(PortSelection, TheFirstUsablePortIsOpenedAndTheOthersDisabled)
{
    Window window;
    window.StartWithPort({ 3 });
    EXPECT_FALSE(window.ComEnabled(1));
    EXPECT_FALSE(window.ComEnabled(2));
    EXPECT_TRUE(window.ComEnabled(3));
    EXPECT_FALSE(window.ComEnabled(4));
    EXPECT_TRUE(window.ComChecked(3));
    EXPECT_FALSE(window.ComChecked(1) || window.ComChecked(2) || window.ComChecked(4));
    EXPECT_EQ(window.Port.ComNumber(), 3);
    EXPECT_TRUE(window.Port.Open());
    EXPECT_EQ(window.Port.Triggers, (std::vector<std::string> { "\r" }));
    EXPECT_EQ(window.Transfer.DataTriggerHandle, 2);
    EXPECT_TRUE(window.Ui.Messages.empty());

    Window two;
    two.StartWithPort({ 2, 4 });
    EXPECT_TRUE(two.ComChecked(2));
    EXPECT_TRUE(two.ComEnabled(4));
    EXPECT_FALSE(two.ComChecked(4));
}

TEST(PortSelection, NoUsablePortGivesTheThreeParagraphMessage)
{
    Window window;
    window.StartWithPort({});
    ASSERT_EQ(window.Ui.Messages.size(), 1u);
    EXPECT_EQ(window.Ui.Messages[0].Text,
        "No free communication port available!\n\r\rYou can only view waveform files!\n\r\r"
        "If you want to download waveforms from the Tracelet\n\rinstall another ComPort or close an application "
        "using a serial port.");
    EXPECT_EQ(window.Ui.Messages[0].Kind, BoxKind::Warning);
    for (int n = 1; n <= 4; ++n)
        EXPECT_FALSE(window.ComEnabled(n) || window.ComChecked(n));
    EXPECT_FALSE(window.Port.Open());
    EXPECT_TRUE(window.Port.Triggers.empty());

    // The port menu probes again only while every command is disabled.
    window.Port.Usable = { 4 };
    window.Link.ComMenuClick();
    EXPECT_TRUE(window.ComChecked(4));
    EXPECT_TRUE(window.Port.Open());
    window.Port.Usable = { 1, 4 };
    window.Link.ComMenuClick();
    EXPECT_FALSE(window.ComEnabled(1));
    EXPECT_EQ(window.Ui.Messages.size(), 1u);
}

TEST(PortSelection, AVanishedInstrumentIsLookedForAgainWhenThePortMenuOpens)
{
    Window window;
    window.StartWithPort({ 1, 2 });
    ASSERT_TRUE(window.ComChecked(1));
    window.Link.ComMenuClick(); // nothing lost: the menu just opens
    EXPECT_EQ(window.Port.Log.back(), "open 1");

    // The instrument's adapter is pulled; only COM2 still opens.
    window.Port.Lost = true;
    window.Port.Usable = { 2 };
    window.Link.ComMenuClick();
    EXPECT_FALSE(window.ComEnabled(1) || window.ComChecked(1));
    EXPECT_TRUE(window.ComChecked(2));
    EXPECT_TRUE(window.Port.Open());
    EXPECT_EQ(window.Port.ComNumber(), 2);
    EXPECT_TRUE(window.Ui.Messages.empty());

    // Nothing left at all: one message, every command off.
    window.Port.Lost = true;
    window.Port.Usable = {};
    window.Link.ComMenuClick();
    ASSERT_EQ(window.Ui.Messages.size(), 1u);
    EXPECT_FALSE(window.Port.Open());
    for (int n = 1; n <= 4; ++n)
        EXPECT_FALSE(window.ComEnabled(n) || window.ComChecked(n));

    // The adapter is back: the next opening of the menu finds it.
    window.Port.Lost = false;
    window.Port.Usable = { 1 };
    window.Link.ComMenuClick();
    EXPECT_TRUE(window.ComChecked(1));
    EXPECT_TRUE(window.Port.Open());
    EXPECT_EQ(window.Port.LineEndTriggers(), 1);
    EXPECT_EQ(window.Ui.Messages.size(), 1u);
}

TEST(PortSelection, APortThatFailsAfterItsProbeLeavesEverythingUnchecked)
{
    Window window;
    window.Port.OpensLeft = 1; // the probe's open works, the next does not
    window.StartWithPort({ 2 });
    ASSERT_EQ(window.Ui.Messages.size(), 1u);
    EXPECT_EQ(window.Ui.Messages[0].Text, "Unable to open communication port!");
    EXPECT_TRUE(window.ComEnabled(2));
    for (int n = 1; n <= 4; ++n)
        EXPECT_FALSE(window.ComChecked(n));
    EXPECT_TRUE(window.Port.Triggers.empty());
    // A transfer then produces nothing.
    window.Receive(Transfer(0));
    EXPECT_EQ(window.Record.VoltIndex, 0);
}

TEST(PortSelection, ChoosingAPort)
{
    Window window;
    window.StartWithPort({ 1, 2 });
    window.Port.Log.clear();
    window.Link.Com1ItemClick(); // already checked: nothing
    EXPECT_TRUE(window.Port.Log.empty());
    EXPECT_EQ(window.Port.Triggers.size(), 1u);

    window.Link.Com2ItemClick();
    EXPECT_EQ(window.Port.Log, (std::vector<std::string> { "close 1", "open 2" }));
    EXPECT_TRUE(window.ComChecked(2));
    EXPECT_FALSE(window.ComChecked(1));
    EXPECT_EQ(window.Port.ComNumber(), 2);

    // A port that does not open: its message, its command unchecked, its
    // enabled state unchanged, nothing checked.
    window.Link.Com4ItemClick();
    ASSERT_EQ(window.Ui.Messages.size(), 1u);
    EXPECT_EQ(window.Ui.Messages[0].Text, "Unable to open Com4!");
    EXPECT_EQ(window.Ui.Messages[0].Kind, BoxKind::Warning);
    EXPECT_FALSE(window.ComEnabled(4));
    for (int n = 1; n <= 4; ++n)
        EXPECT_FALSE(window.ComChecked(n));
    EXPECT_FALSE(window.Port.Open());
    window.Link.Com3ItemClick();
    EXPECT_EQ(window.Ui.Messages.back().Text, "Unable to open Com3!");
    window.Link.Com1ItemClick();
    EXPECT_TRUE(window.ComChecked(1));
    EXPECT_TRUE(window.Port.Open());
}

TEST(PortSelection, ManyPortChangesKeepOneLineEndTriggerThatStillDelivers)
{
    Window window;
    window.StartWithPort({ 1, 2 });
    const uint16_t handle = window.Transfer.DataTriggerHandle;
    for (int change = 0; change < 25; ++change)
        window.Link.SelectPort(change % 2 == 0 ? 2 : 1);
    for (int probe = 0; probe < 5; ++probe)
        window.Link.ProbePorts();
    EXPECT_TRUE(window.Ui.Messages.empty());
    EXPECT_EQ(window.Port.LineEndTriggers(), 1);
    EXPECT_EQ(window.Transfer.DataTriggerHandle, handle);
    EXPECT_TRUE(window.Port.Open());
    window.Receive(Transfer(0));
    EXPECT_EQ(window.Record.VoltIndex, 5);
}

TEST(PortSelection, AFullTriggerTableFailsTheChoiceButKeepsTheOldTrigger)
{
    Window window;
    window.Port.Usable = { 1, 2 };
    for (int i = 0; i < 20; ++i) // armed by someone else
        window.Port.AddDataTrigger("x" + std::to_string(i), false);
    window.Link.ProbePorts();
    EXPECT_EQ(window.Ui.Messages.at(0).Text, "Unable to open communication port!");
    EXPECT_TRUE(window.Port.Open()); // opened on COM1, but no line end armed
    EXPECT_EQ(window.Transfer.DataTriggerHandle, 0);

    window.Port.Triggers[19] = "\r"; // now one is there: it is used, not added
    window.Link.SelectPort(2);
    EXPECT_EQ(window.Ui.Messages.size(), 1u);
    EXPECT_EQ(window.Transfer.DataTriggerHandle, 21);
    EXPECT_TRUE(window.ComChecked(2));

    window.Port.Triggers[19] = "y";
    window.Link.SelectPort(1);
    EXPECT_EQ(window.Ui.Messages.back().Text, "Unable to open Com1!");
    EXPECT_FALSE(window.ComChecked(1));
    EXPECT_EQ(window.Port.ComNumber(), 1); // the port moved all the same
    EXPECT_TRUE(window.Port.Open());
    EXPECT_EQ(window.Transfer.DataTriggerHandle, 21);
}

} // namespace
} // namespace zop
