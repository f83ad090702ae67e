#pragma once
// A UserInterface for tests: answers come from a script, and every message
// and dialog shown is recorded. An unexpected question fails the test
// instead of blocking on a modal dialog.
#include <gtest/gtest.h>

#include <deque>
#include <functional>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "document/UserInterface.h"

namespace zop::test {

struct ShownMessage {
    BoxKind Kind;
    std::string Text;
    BoxButtons Buttons;
};

class ScriptedUserInterface : public UserInterface {
public:
    // Queue the answers in the order the questions will come.
    std::deque<Answer> Answers;
    // nullopt entries stand for a cancelled dialog.
    std::deque<std::optional<FileDialogResult>> OpenResults;
    std::deque<std::optional<FileDialogResult>> SaveResults;

    std::vector<ShownMessage> Messages;
    std::vector<FileDialogRequest> OpenRequests;
    std::vector<FileDialogRequest> SaveRequests;
    int Restores = 0;
    int CloseRequests = 0;

    // Runs once, while the next question is open: what the question box's
    // event loop would deliver meanwhile.
    std::function<void()> DuringQuestion;
    // Whether a question was asked while DuringQuestion ran.
    bool NestedQuestion = false;

    Answer Message(BoxKind kind, const std::string& text, BoxButtons buttons) override
    {
        if (m_questionOpen)
            NestedQuestion = true;
        if (buttons != BoxButtons::Ok && DuringQuestion) {
            m_questionOpen = true;
            std::exchange(DuringQuestion, nullptr)();
            m_questionOpen = false;
        }
        Messages.push_back({ kind, text, buttons });
        if (buttons == BoxButtons::Ok)
            return Answer::Ok;
        if (Answers.empty()) {
            ADD_FAILURE() << "unexpected question: " << text;
            return buttons == BoxButtons::YesNoCancel ? Answer::Cancel : Answer::No;
        }
        const Answer answer = Answers.front();
        Answers.pop_front();
        return answer;
    }

    std::optional<FileDialogResult> OpenFileDialog(const FileDialogRequest& request) override
    {
        OpenRequests.push_back(request);
        return Next(OpenResults, "open");
    }

    std::optional<FileDialogResult> SaveFileDialog(const FileDialogRequest& request) override
    {
        SaveRequests.push_back(request);
        return Next(SaveResults, "save");
    }

    void RestoreAndRaise() override { ++Restores; }
    void CloseWindow() override { ++CloseRequests; }

    // The texts of every message shown, in order.
    std::vector<std::string> Texts() const
    {
        std::vector<std::string> texts;
        for (const ShownMessage& m : Messages)
            texts.push_back(m.Text);
        return texts;
    }

private:
    bool m_questionOpen = false;

    static std::optional<FileDialogResult> Next(std::deque<std::optional<FileDialogResult>>& queue, const char* what)
    {
        if (queue.empty()) {
            ADD_FAILURE() << "unexpected " << what << " dialog";
            return std::nullopt;
        }
        auto result = queue.front();
        queue.pop_front();
        return result;
    }
};

} // namespace zop::test
