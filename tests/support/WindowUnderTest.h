#pragma once
// The real window under the offscreen platform as main() builds it, with a
// scripted user interface (or a suite's own) and a fixed clock, and what the
// window suites do with it: put a waveform on show through the model's own
// show paths, activate the window, read Paste's state, run the event loop.
#include <gtest/gtest.h>

#include <chrono>
#include <functional>
#include <memory>
#include <string>
#include <utility>

#include "app/TZop5Form.h"
#include "tests/support/FixedClock.h"
#include "tests/support/ScriptedUserInterface.h"
#include "tests/support/WaveformFiles.h"
#include "tests/support/WindowParts.h"

namespace zop::test {

// A window suite's fixture: no configuration file before or after each test
// (the window reads and writes its settings there), a scripted user
// interface and a fixed clock for the windows the tests make.
class WindowTest : public testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;

    ScriptedUserInterface ui;
    FixedClock clock;
};

// `image` shown in `form` as the saved document `name`, as opening that file
// shows it.
void ShowSaved(TZop5Form& form, const std::string& name, IncomingImage image = WindowParts::ClockLine());
// `image` shown in `form` as a completed transfer shows it (untitled, dated
// by the window's clock, crosses kept, unsaved).
void ShowReceived(TZop5Form& form, IncomingImage image);

class WindowUnderTest {
public:
    // The window answering from `Ui`.
    WindowUnderTest();
    // The window answering from a suite's own user interface.
    explicit WindowUnderTest(UserInterface& ui);
    ~WindowUnderTest();
    WindowUnderTest(const WindowUnderTest&) = delete;
    WindowUnderTest& operator=(const WindowUnderTest&) = delete;

    ScriptedUserInterface Ui;
    FixedClock Clock;

    TZop5Form& Form() { return *m_form; }
    WindowModel& Model() { return m_form->Model(); }

    // Finds and opens a serial port, as start-up does.
    void ProbePorts();
    // Whether Paste is enabled; its menu item and its button must agree.
    bool PasteEnabled();
    // The window activated or deactivated, as the window system says it.
    void Activation();
    // `image` shown as the saved document `name`, or as a completed transfer.
    void ShowSaved(const std::string& name, IncomingImage image = WindowParts::ClockLine())
    {
        test::ShowSaved(*m_form, name, std::move(image));
    }
    void ShowReceived(IncomingImage image) { test::ShowReceived(*m_form, std::move(image)); }
    // Tears the window down as closing it does.
    void Close();

private:
    std::unique_ptr<TZop5Form> m_form;
};

// Maps COM1 to `com1` and COM2 to `com2` (empty: no device); COM3 and COM4
// have no device.
void MapPorts(const std::string& com1, const std::string& com2 = "");

// Runs the event loop until `done` holds or `limit` passes; returns whether
// `done` held.
bool RunEventsUntil(const std::function<bool()>& done, std::chrono::milliseconds limit = std::chrono::seconds(20));
// Runs the event loop for a while.
void RunEventsFor(std::chrono::milliseconds span);

} // namespace zop::test
