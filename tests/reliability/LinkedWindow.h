#pragma once
// The window program as main() builds it, with its serial port on COM1
// mapped to a test's pseudo-terminal (test::MapPorts), every question
// answered No and every message recorded, and a fixed clock.
#include <chrono>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "document/UserInterface.h"
#include "tests/support/WindowUnderTest.h"

namespace zop::test {

class AnswerNo final : public UserInterface {
public:
    Answer Message(BoxKind, const std::string& text, BoxButtons buttons) override
    {
        if (buttons == BoxButtons::Ok)
            Messages.push_back(text);
        else
            ++Questions;
        return buttons == BoxButtons::Ok ? Answer::Ok : Answer::No;
    }
    std::optional<FileDialogResult> OpenFileDialog(const FileDialogRequest&) override { return std::nullopt; }
    std::optional<FileDialogResult> SaveFileDialog(const FileDialogRequest&) override { return std::nullopt; }
    void RestoreAndRaise() override { }
    void CloseWindow() override { }

    std::vector<std::string> Messages; // messages with an OK button, in order
    int Questions = 0; // questions, each answered No
};

class LinkedWindow {
public:
    // Builds the window and probes the ports, as start-up does.
    LinkedWindow();

    TZop5Form& Form() { return m_window.Form(); }
    WindowModel& Model() { return m_window.Model(); }
    AnswerNo& Ui() { return m_ui; }
    // How often a received waveform was drawn, and when last.
    int Redraws() const { return m_redraws; }
    std::chrono::steady_clock::time_point LastRedraw() const { return m_lastRedraw; }

    // Runs the window's event loop until `done` holds or `limit` passes;
    // returns whether `done` held.
    bool RunUntil(const std::function<bool()>& done, std::chrono::milliseconds limit = std::chrono::seconds(20))
    {
        return RunEventsUntil(done, limit);
    }
    // Runs the event loop for a while.
    void RunFor(std::chrono::milliseconds span) { RunEventsFor(span); }
    // Tears the program down as closing the window does.
    void Close() { m_window.Close(); }

private:
    AnswerNo m_ui;
    int m_redraws = 0;
    std::chrono::steady_clock::time_point m_lastRedraw;
    WindowUnderTest m_window { m_ui };
};

} // namespace zop::test
