#include "tests/support/WindowUnderTest.h"

#include <QAction>
#include <QCoreApplication>
#include <QEvent>
#include <QEventLoop>
#include <QFile>
#include <QTimer>
#include <QToolButton>
#include <utility>

#include "platform/Configuration.h"
#include "tests/support/Instrument.h"

namespace zop::test {

void WindowTest::SetUp()
{
    QFile::remove(Configuration().FilePath());
}

void WindowTest::TearDown()
{
    QFile::remove(Configuration().FilePath());
}

WindowUnderTest::WindowUnderTest()
    : WindowUnderTest(Ui)
{
}

WindowUnderTest::WindowUnderTest(UserInterface& ui)
    : m_form(std::make_unique<TZop5Form>(ui, &Clock))
{
}

WindowUnderTest::~WindowUnderTest()
{
    Close();
}

void WindowUnderTest::Close()
{
    m_form.reset();
}

void WindowUnderTest::ProbePorts()
{
    m_form->RunCommand([this] { Model().Link().ProbePorts(); });
}

bool WindowUnderTest::PasteEnabled()
{
    const bool item = m_form->Action(Cmd::PasteItem)->isEnabled();
    EXPECT_EQ(item, m_form->Button(Cmd::PasteBtn)->isEnabled()) << "item and button differ";
    return item;
}

void WindowUnderTest::Activation()
{
    QEvent change(QEvent::ActivationChange);
    QCoreApplication::sendEvent(m_form.get(), &change);
}

void ShowSaved(TZop5Form& form, const std::string& name, IncomingImage image)
{
    form.RunCommand([&] {
        form.Model().Incoming() = std::move(image);
        form.Model().Document().ApplyIncoming(name);
    });
}

void ShowReceived(TZop5Form& form, IncomingImage image)
{
    WindowModel& model = form.Model();
    form.RunCommand([&] {
        model.Document().ShowWaveform(
            ReceivedWaveform(std::move(image), model.Clock(), model.Form().ProbeMenuFactor()));
    });
}

void MapPorts(const std::string& com1, const std::string& com2)
{
    Instrument::Map(1, com1);
    Instrument::Map(2, com2);
    Instrument::Map(3, "");
    Instrument::Map(4, "");
}

bool RunEventsUntil(const std::function<bool()>& done, std::chrono::milliseconds limit)
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

void RunEventsFor(std::chrono::milliseconds span)
{
    const auto end = std::chrono::steady_clock::now() + span;
    RunEventsUntil([&] { return std::chrono::steady_clock::now() >= end; }, span + std::chrono::seconds(1));
}

} // namespace zop::test
