#include "tests/reliability/LinkedWindow.h"

namespace zop::test {

LinkedWindow::LinkedWindow()
{
    // Counts each received waveform as its drawing ends.
    Model().TransferShown = [this] {
        ++m_redraws;
        m_lastRedraw = std::chrono::steady_clock::now();
    };
    m_window.ProbePorts();
}

} // namespace zop::test
