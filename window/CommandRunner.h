#pragma once
// How the window runs its commands, without Qt: every command under the
// general error report, the work put off while another command's question
// was open, and the close question. The Qt window runs its menu commands,
// field edits, port events and closing through one CommandRunner; tests run
// it without a window or a port.
#include <functional>

#include "document/UserInterface.h"

namespace zop {

class CommandRunner {
public:
    // `ui` shows the general error report.
    explicit CommandRunner(UserInterface& ui);
    CommandRunner(const CommandRunner&) = delete;
    CommandRunner& operator=(const CommandRunner&) = delete;

    // Work put off while a command was running (a waveform received while a
    // question was open). It runs when the outermost command has ended, as a
    // command of its own (its own question may be open meanwhile), and says
    // whether it changed the document.
    std::function<bool()> Deferred;
    // Runs after every command, nested ones included: the window mirrors
    // the state into its widgets.
    std::function<void()> Finished;

    // Runs `action` as a command: a failure nothing below handled reaches the
    // general error report (one message box with the error's text) and the
    // program goes on.
    void Run(const std::function<void()>& action);
    // True while a command runs: its question or dialog may be open, and
    // events delivered by that dialog's loop arrive inside it.
    bool Running() const { return m_depth > 0; }

    // A port event, delivered by whichever event loop runs (a question's
    // loop too): runs `action` as a command and remembers whether another
    // command was running when the event arrived.
    void RunPortEvent(const std::function<void()>& action);
    // Whether another command was running when the current port event
    // arrived: a transfer completing then waits for Deferred.
    bool OtherCommandRunning() const { return m_otherCommandRunning; }

    // The close question: `question` (run as a command) says whether the
    // window may close. A waveform shown by the deferred work while the
    // question was open keeps the window open: the user sees it and closes
    // again.
    bool CloseQuery(const std::function<bool()>& question);

private:
    UserInterface& m_ui;
    int m_depth = 0;
    bool m_otherCommandRunning = false;
    bool m_deferredChanged = false;
};

} // namespace zop
