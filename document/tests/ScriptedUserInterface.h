#pragma once
// A UserInterface whose answers a test scripts in advance. Every question and
// dialog is recorded; one that was not scripted fails the test and is
// answered with Cancel, so a test never waits on a dialog.
#include <deque>
#include <gtest/gtest.h>
#include <optional>
#include <string>
#include <vector>

#include "document/UserInterface.h"

namespace zop::test {

class ScriptedUserInterface : public UserInterface {
public:
    struct Shown {
        BoxKind Kind;
        std::string Text;
        BoxButtons Buttons;
    };

    // Answers to message boxes, in order.
    std::deque<Answer> Answers;
    // Results of the open and save dialogs, in order; nullopt is Cancel.
    std::deque<std::optional<FileDialogResult>> OpenResults;
    std::deque<std::optional<FileDialogResult>> SaveResults;

    std::vector<Shown> Messages;
    std::vector<FileDialogRequest> OpenRequests;
    std::vector<FileDialogRequest> SaveRequests;
    int Restores = 0;
    int CloseRequests = 0;

    Answer Message(BoxKind kind, const std::string& text, BoxButtons buttons) override
    {
        Messages.push_back({ kind, text, buttons });
        if (buttons == BoxButtons::Ok)
            return Answer::Ok;
        if (Answers.empty()) {
            ADD_FAILURE() << "unscripted question: " << text;
            return Answer::Cancel;
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

    // Everything scripted was used.
    bool Exhausted() const { return Answers.empty() && OpenResults.empty() && SaveResults.empty(); }

private:
    static std::optional<FileDialogResult> Next(std::deque<std::optional<FileDialogResult>>& results, const char* which)
    {
        if (results.empty()) {
            ADD_FAILURE() << "unscripted " << which << " dialog";
            return std::nullopt;
        }
        auto result = results.front();
        results.pop_front();
        return result;
    }
};

} // namespace zop::test
