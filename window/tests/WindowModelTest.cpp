// The window model without Qt, a window or a process: what the window as a
// whole does with the commands, the fields and the port's events.
#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "tests/support/FakeLinkPort.h"
#include "tests/support/InstrumentTransfers.h"
#include "tests/support/ScriptedUserInterface.h"
#include "window/WindowModel.h"

namespace zop {
namespace {

// A model over a fake port on which COM1 opens.
struct Window {
    explicit Window(TraceMode mode = TraceMode::Smooth)
        : Model(WindowDevices { Ui, nullptr, nullptr, nullptr, nullptr, nullptr, &Port, mode })
    {
        Port.Usable = { 1 };
        Model.Changed = [this] { ++Changes; };
    }
    void Receive(std::string_view bytes)
    {
        test::Receive(
            Port, bytes, [this](uint16_t n) { Model.PortBytesAvailable(n); },
            [this](uint16_t handle) { Model.PortLineEnd(handle); });
    }
    // A received waveform on show, unsaved as every received one is.
    void ShowReceived(int32_t first)
    {
        Model.Start({});
        Receive(test::RampTransfer(first));
        ASSERT_EQ(Model.Record().Samples[0], first);
        ASSERT_TRUE(Model.Flags().Unsaved());
    }

    test::ScriptedUserInterface Ui; // DuringQuestion: what a question's event loop delivers
    test::FakeLinkPort Port;
    WindowModel Model;
    int Changes = 0;
};

const std::string SaveQuestion = "Save changes to file ?";
const std::string NewWaveformQuestion = "New waveform received!\n\r\rSave changes to file ?";

// A transfer that completes while another command's question is open waits
// until that command has ended: it never asks inside the other question, and
// the other command never goes on with a document it did not see.
TEST(WindowModel, ATransferCompletedDuringAnotherCommandsQuestionIsShownAfterIt)
{
    struct Case {
        const char* Name;
        std::function<void(WindowModel&)> Command;
        std::vector<Answer> Answers;
        std::vector<std::string> Questions; // in order
        bool ShownAfterwards; // the second transfer ends up on show
    };
    const std::vector<Case> cases = {
        { "no other command", nullptr, { Answer::No }, { NewWaveformQuestion }, true },
        { "New, answered No", [](WindowModel& m) { m.Click(Cmd::NewItem); }, { Answer::No }, { SaveQuestion }, true },
        { "New by its button, cancelled", [](WindowModel& m) { m.Click(Cmd::NewBtn); }, { Answer::Cancel, Answer::No },
            { SaveQuestion, NewWaveformQuestion }, true },
        { "New cancelled, then the transfer's question cancelled too", [](WindowModel& m) { m.Click(Cmd::NewItem); },
            { Answer::Cancel, Answer::Cancel }, { SaveQuestion, NewWaveformQuestion }, false },
        { "Open cancelled", [](WindowModel& m) { m.Click(Cmd::OpenItem); }, { Answer::Cancel, Answer::No },
            { SaveQuestion, NewWaveformQuestion }, true },
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.Name);
        Window w;
        w.ShowReceived(10);
        w.Ui.Messages.clear();
        w.Ui.Answers.assign(c.Answers.begin(), c.Answers.end());
        bool completedInside = false;
        if (c.Command) {
            w.Ui.DuringQuestion = [&] {
                w.Receive(test::RampTransfer(60));
                completedInside = w.Model.Record().Samples[0] == 60;
            };
            c.Command(w.Model);
        } else {
            w.Receive(test::RampTransfer(60));
        }
        EXPECT_FALSE(completedInside) << "shown inside the other command's question";
        EXPECT_FALSE(w.Ui.NestedQuestion) << "a question asked inside the other one";
        EXPECT_EQ(w.Ui.Texts(), c.Questions);
        EXPECT_EQ(w.Model.Record().Samples[0] == 60, c.ShownAfterwards);
        EXPECT_FALSE(w.Model.Runner().Running());
        EXPECT_TRUE(w.Ui.Answers.empty());
        EXPECT_TRUE(w.Port.Open()) << "the port listens again";
    }
}

// The close question: a waveform that arrived while it was open keeps the
// window open, so that the user sees it; the next close asks about it.
TEST(WindowModel, AWaveformArrivingDuringTheCloseQuestionKeepsTheWindowOpen)
{
    Window w;
    w.ShowReceived(10);
    w.Ui.Messages.clear();
    // Not saved on closing; the new waveform then asks about the old one.
    w.Ui.Answers = { Answer::No, Answer::No };
    w.Ui.DuringQuestion = [&] { w.Receive(test::RampTransfer(60)); };
    EXPECT_FALSE(w.Model.CloseQuery());
    EXPECT_EQ(w.Model.Record().Samples[0], 60);

    w.Ui.Answers = { Answer::Cancel };
    EXPECT_FALSE(w.Model.CloseQuery());
    w.Ui.Answers = { Answer::No };
    EXPECT_TRUE(w.Model.CloseQuery());
    EXPECT_EQ(
        w.Ui.Texts(), (std::vector<std::string> { SaveQuestion, NewWaveformQuestion, SaveQuestion, SaveQuestion }));
}

// The window as it comes up, in each drawing mode the configuration may
// hold, and with or without a port to listen on.
TEST(WindowModel, StartUpState)
{
    for (TraceMode mode : { TraceMode::Dot, TraceMode::Bar, TraceMode::Smooth }) {
        for (bool portPresent : { true, false }) {
            SCOPED_TRACE(std::string(ViewModeName(mode)) + (portPresent ? ", COM1 present" : ", no port"));
            Window w(mode);
            if (!portPresent)
                w.Port.Usable.clear();
            w.Model.Start({});
            const FormState& form = w.Model.Form();
            EXPECT_EQ(form.Caption, "Tracelet - [Untitled]");
            EXPECT_FALSE(form.WaveformShown());
            for (Cmd c : { Cmd::SaveItem, Cmd::SaveasItem, Cmd::PrintItem, Cmd::CutItem, Cmd::CopyItem, Cmd::PasteItem,
                     Cmd::SaveBtn, Cmd::CopyBtn, Cmd::PasteBtn, Cmd::DotItem, Cmd::BarBtn })
                EXPECT_FALSE(form[c].Enabled) << CommandName(c);
            for (Cmd c : { Cmd::NewItem, Cmd::OpenItem, Cmd::ExitItem, Cmd::Probex1Item, Cmd::Probex10Btn })
                EXPECT_TRUE(form[c].Enabled) << CommandName(c);
            EXPECT_TRUE(form[Cmd::DotItem].Checked == (mode == TraceMode::Dot)
                && form[Cmd::DotBtn].Checked == (mode == TraceMode::Dot));
            EXPECT_TRUE(form[Cmd::BarItem].Checked == (mode == TraceMode::Bar)
                && form[Cmd::BarBtn].Checked == (mode == TraceMode::Bar));
            EXPECT_EQ(form.ProbeMenuFactor(), 1);
            EXPECT_TRUE(form[Cmd::Probex1Item].Checked && form[Cmd::Probex1Btn].Checked);
            EXPECT_FALSE(form.Description.Enabled || form.DateField.Enabled || form.TimeField.Enabled);
            EXPECT_EQ(w.Model.Record().ProbeFactor, 1);
            EXPECT_FALSE(w.Model.Flags().Unsaved());
            EXPECT_EQ(w.Model.CheckedPort(), portPresent ? 1 : 0);
            EXPECT_EQ(w.Ui.Messages.size(), portPresent ? 0u : 1u);
            EXPECT_GT(w.Changes, 0) << "the window is told to mirror the state";
        }
    }
}

// Typing a different text into any of the three fields marks the document
// modified; the same text does not.
TEST(WindowModel, TypingInAFieldMarksTheDocumentModified)
{
    struct Case {
        const char* Name;
        void (WindowModel::*Typed)(std::string);
        EditField FormState::*Field;
    };
    for (const Case& c : { Case { "Description", &WindowModel::DescriptionTyped, &FormState::Description },
             Case { "Date", &WindowModel::DateTyped, &FormState::DateField },
             Case { "Time", &WindowModel::TimeTyped, &FormState::TimeField } }) {
        SCOPED_TRACE(c.Name);
        Window w;
        w.ShowReceived(10);
        w.Model.Flags().Modified = false;
        (w.Model.*c.Typed)((w.Model.Form().*c.Field).Text());
        EXPECT_FALSE(w.Model.Flags().Modified);
        (w.Model.*c.Typed)("typed");
        EXPECT_TRUE(w.Model.Flags().Modified);
        EXPECT_EQ((w.Model.Form().*c.Field).Text(), "typed");
    }
}

// Every tool button runs its menu item's command, and the commands' states
// follow what is shown.
TEST(WindowModel, ButtonsRunTheirItemsCommands)
{
    struct Case {
        Cmd Button;
        Cmd Item;
        std::function<std::string(Window&)> Effect;
    };
    const auto mode = [](Window& w) { return std::string(ViewModeName(w.Model.Form().ViewMode)); };
    const auto probe = [](Window& w) { return std::to_string(w.Model.Form().ProbeMenuFactor()); };
    const auto dialogs = [](Window& w) {
        return std::to_string(w.Ui.OpenRequests.size()) + " open, " + std::to_string(w.Ui.SaveRequests.size())
            + " save, shown " + std::to_string(w.Model.Form().WaveformShown());
    };
    const auto messages = [](Window& w) { return testing::PrintToString(w.Ui.Texts()); };
    const std::vector<Case> cases = {
        { Cmd::DotBtn, Cmd::DotItem, mode },
        { Cmd::BarBtn, Cmd::BarItem, mode },
        { Cmd::Probex10Btn, Cmd::Probex10Item, probe },
        { Cmd::OpenBtn, Cmd::OpenItem, dialogs },
        { Cmd::SaveBtn, Cmd::SaveItem, dialogs },
        { Cmd::NewBtn, Cmd::NewItem, dialogs },
        // Without a clipboard the clipboard refuses.
        { Cmd::CopyBtn, Cmd::CopyItem, messages },
        { Cmd::CutBtn, Cmd::CutItem, messages },
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(CommandName(c.Button)));
        std::string effects[2];
        for (int i = 0; i < 2; ++i) {
            Window w;
            w.ShowReceived(10);
            w.Ui.Messages.clear();
            w.Model.Flags().Modified = w.Model.Flags().ProbeChanged = false;
            w.Ui.OpenResults = { std::nullopt };
            w.Ui.SaveResults = { std::nullopt };
            const std::string before = c.Effect(w);
            w.Model.Click(i == 0 ? c.Button : c.Item);
            effects[i] = c.Effect(w);
            EXPECT_NE(effects[i], before) << "the command did something";
            EXPECT_TRUE(w.Model.Form()[c.Item].Checked == w.Model.Form()[c.Button].Checked);
            EXPECT_EQ(w.Model.Form()[c.Item].Enabled, w.Model.Form()[c.Button].Enabled);
        }
        EXPECT_EQ(effects[0], effects[1]);
    }
}

} // namespace
} // namespace zop
