#include "tests/reliability/LinkedWindow.h"

#include <QEventLoop>
#include <QTimer>
#include <cstdlib>

namespace zop::test {

void MapPorts(const std::string& com1, const std::string& com2)
{
    setenv("ZOP5_COM1", com1.c_str(), 1);
    setenv("ZOP5_COM2", com2.c_str(), 1);
    for (const char* name : { "ZOP5_COM3", "ZOP5_COM4" })
        setenv(name, "", 1);
}

LinkedWindow::LinkedWindow()
{
    m_form = std::make_unique<TZop5Form>(m_ui, &m_clock);
    // Counts each received waveform as its drawing ends.
    m_form->Model().TransferShown = [this] {
        ++m_redraws;
        m_lastRedraw = std::chrono::steady_clock::now();
    };
    m_form->RunCommand([this] { m_form->Model().Link().ProbePorts(); });
}

LinkedWindow::~LinkedWindow()
{
    Close();
}

void LinkedWindow::Close()
{
    m_form.reset();
}

bool LinkedWindow::RunUntil(const std::function<bool()>& done, std::chrono::milliseconds limit)
{
    const auto deadline = std::chrono::steady_clock::now() + limit;
    // A short timer keeps the loop from sleeping past the deadline.
    QTimer tick;
    tick.start(5);
    while (!done()) {
        if (std::chrono::steady_clock::now() >= deadline)
            return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents);
    }
    return true;
}

void LinkedWindow::RunFor(std::chrono::milliseconds span)
{
    const auto end = std::chrono::steady_clock::now() + span;
    RunUntil([&] { return std::chrono::steady_clock::now() >= end; }, span + std::chrono::seconds(1));
}

} // namespace zop::test
