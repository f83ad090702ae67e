#include "window/CommandRunner.h"

#include "document/DocumentCommands.h"

namespace zop {

CommandRunner::CommandRunner(UserInterface& ui)
    : m_ui(ui)
{
}

void CommandRunner::Run(const std::function<void()>& action)
{
    ++m_depth;
    RunCommand(m_ui, action); // the general error report
    --m_depth;
    if (m_depth == 0 && Deferred) {
        bool changed = false;
        ++m_depth; // its own question may be open
        RunCommand(m_ui, [&] { changed = Deferred(); });
        --m_depth;
        m_deferredChanged = m_deferredChanged || changed;
    }
    if (Finished)
        Finished();
}

void CommandRunner::RunPortEvent(const std::function<void()>& action)
{
    m_otherCommandRunning = Running();
    Run(action);
}

bool CommandRunner::CloseQuery(const std::function<bool()>& question)
{
    bool canClose = false;
    m_deferredChanged = false;
    Run([&] { canClose = question(); });
    return canClose && !m_deferredChanged;
}

} // namespace zop
