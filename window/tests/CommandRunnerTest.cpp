#include <gtest/gtest.h>

#include <stdexcept>
#include <string>
#include <vector>

#include "tests/support/ScriptedUserInterface.h"
#include "window/CommandRunner.h"

namespace zop {
namespace {

// A runner wired as the window wires it to the link: a completed transfer
// is shown at once, unless another command was running when its port event
// arrived; then it waits for the deferred work.
struct Window {
    test::ScriptedUserInterface Ui;
    CommandRunner Runner { Ui };
    bool TransferWaiting = false;
    std::vector<std::string> Shown;
    int Mirrored = 0;

    Window()
    {
        Runner.Finished = [this] { ++Mirrored; };
        Runner.Deferred = [this] {
            if (!TransferWaiting)
                return false;
            TransferWaiting = false;
            Shown.push_back("transfer");
            return true;
        };
    }

    // The port's line end that completes a transfer.
    void TransferCompletes()
    {
        Runner.RunPortEvent([this] {
            if (Runner.OtherCommandRunning())
                TransferWaiting = true;
            else
                Shown.push_back("transfer");
        });
    }
};

TEST(CommandRunner, ATransferCompletingDuringAnotherCommandsQuestionWaitsForItsEnd)
{
    struct Case {
        const char* Name;
        bool DuringQuestion;
        std::vector<std::string> ShownInside; // when the other command goes on
        std::vector<std::string> ShownAfter;
    };
    for (const Case& c : std::initializer_list<Case> {
             { "no command running", false, {}, { "transfer" } },
             { "while a question is open", true, { "save question" }, { "save question", "transfer" } },
         }) {
        Window window;
        if (c.DuringQuestion) {
            window.Runner.Run([&] {
                // The question's event loop delivers the port's event.
                window.TransferCompletes();
                EXPECT_TRUE(window.TransferWaiting) << c.Name;
                window.Shown.push_back("save question");
                EXPECT_EQ(window.Shown, c.ShownInside) << c.Name;
            });
        } else {
            window.TransferCompletes();
        }
        EXPECT_EQ(window.Shown, c.ShownAfter) << c.Name;
        EXPECT_FALSE(window.TransferWaiting) << c.Name;
        EXPECT_FALSE(window.Runner.Running()) << c.Name;
    }
}

TEST(CommandRunner, NestedCommandsRunTheDeferredWorkOnceAtTheOutermostEnd)
{
    Window window;
    int deferredRuns = 0;
    window.Runner.Deferred = [&] {
        ++deferredRuns;
        EXPECT_TRUE(window.Runner.Running()) << "the deferred work runs as a command";
        return false;
    };
    window.Runner.Run([&] {
        window.Runner.Run([&] { EXPECT_TRUE(window.Runner.Running()); });
        EXPECT_EQ(deferredRuns, 0);
    });
    EXPECT_EQ(deferredRuns, 1);
    EXPECT_EQ(window.Mirrored, 2) << "the window mirrors after every command";
}

TEST(CommandRunner, TheCloseQuestionKeepsTheWindowForAWaveformShownMeanwhile)
{
    struct Case {
        const char* Name;
        bool Answer; // the close question's answer
        bool TransferDuringQuestion;
        bool Closes;
    };
    for (const Case& c : std::initializer_list<Case> {
             { "may close", true, false, true },
             { "refused", false, false, false },
             { "a waveform arrived meanwhile", true, true, false },
         }) {
        Window window;
        const bool closes = window.Runner.CloseQuery([&] {
            if (c.TransferDuringQuestion)
                window.TransferCompletes();
            return c.Answer;
        });
        EXPECT_EQ(closes, c.Closes) << c.Name;
        EXPECT_EQ(window.Shown.size(), c.TransferDuringQuestion ? 1u : 0u) << c.Name;
    }
    // Only what arrived during this close question counts.
    Window window;
    window.Runner.Run([&] { window.TransferCompletes(); });
    EXPECT_TRUE(window.Runner.CloseQuery([] { return true; }));
}

TEST(CommandRunner, AFailingCommandIsReportedOnceAndTheProgramGoesOn)
{
    Window window;
    window.Runner.Run([] { throw std::runtime_error("Cannot create file /x.zop"); });
    ASSERT_EQ(window.Ui.Messages.size(), 1u);
    EXPECT_EQ(window.Ui.Messages[0].Kind, BoxKind::Error);
    EXPECT_EQ(window.Ui.Messages[0].Text, "Cannot create file /x.zop");
    EXPECT_FALSE(window.Runner.Running());
    EXPECT_EQ(window.Mirrored, 1);
    window.TransferCompletes();
    EXPECT_EQ(window.Shown, std::vector<std::string> { "transfer" });
}

} // namespace
} // namespace zop
