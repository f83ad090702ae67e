// Faults of the instrument's line through the real window: the instrument
// vanishing in the middle of a transfer, and the window's thread not taking
// the port's messages for longer than the dispatcher waits.
#include <QAction>
#include <QMenu>
#include <atomic>
#include <gtest/gtest.h>
#include <poll.h>
#include <thread>

#include "comm/Clock.h"
#include "comm/MessageWindow.h"

#include "link/InstrumentLines.h"
#include "tests/reliability/Instrument.h"
#include "tests/reliability/LinkedWindow.h"

namespace zop {
namespace {

using namespace std::chrono;

InstrumentWaveform Ramp(int offset)
{
    InstrumentWaveform waveform;
    waveform.TimeIndex = 9;
    waveform.VoltIndex = 5;
    for (int i = 0; i < SampleCount; ++i)
        waveform.Samples[static_cast<size_t>(i)] = (i * 2 + offset) % 256;
    return waveform;
}

// Sends a whole transfer and runs the window until it is shown.
bool Transfer(test::LinkedWindow& window, test::Instrument& instrument, const InstrumentWaveform& waveform)
{
    const int before = window.Redraws();
    if (!instrument.Send(EncodeTransfer(waveform, LineForm::A, LineEnding::CrLf)))
        return false;
    return window.RunUntil([&] { return window.Redraws() > before; }, seconds(10))
        && window.Form().Record().Samples == waveform.Samples;
}

TEST(LinkFaultTest, InstrumentVanishesMidTransferAndThePortMenuFindsItAgain)
{
    auto instrument = std::make_unique<test::Instrument>();
    test::MapPorts(instrument->DevicePath());
    test::LinkedWindow window;
    ASSERT_TRUE(window.Form().Action(Cmd::Com1Item)->isChecked()) << testing::PrintToString(window.Ui().Messages);
    ASSERT_TRUE(Transfer(window, *instrument, Ramp(0)));

    // Half a transfer, then the cable is pulled.
    const std::string bytes = EncodeTransfer(Ramp(1), LineForm::A, LineEnding::CrLf);
    ASSERT_TRUE(instrument->Send(bytes.substr(0, bytes.size() / 2)));
    window.RunFor(milliseconds(100));
    instrument->Vanish();
    window.RunFor(milliseconds(300));

    // The program goes on: at most one message, the shown waveform kept.
    EXPECT_LE(window.Ui().Messages.size(), 1u) << testing::PrintToString(window.Ui().Messages);
    EXPECT_EQ(window.Form().Record().Samples, Ramp(0).Samples);
    const size_t messages = window.Ui().Messages.size();

    // A device is back; opening the port menu finds it.
    instrument = std::make_unique<test::Instrument>();
    test::MapPorts(instrument->DevicePath());
    emit window.Form().Menu(4)->aboutToShow();
    window.RunFor(milliseconds(50));
    EXPECT_TRUE(window.Form().Action(Cmd::Com1Item)->isChecked());
    EXPECT_TRUE(Transfer(window, *instrument, Ramp(2))) << testing::PrintToString(window.Ui().Messages);
    EXPECT_EQ(window.Ui().Messages.size(), messages) << testing::PrintToString(window.Ui().Messages);
}

// Whether a message of the port waits for this thread, within `limit` of real time.
bool MessageWaits(std::chrono::milliseconds limit)
{
    pollfd wake { MessageWakeDescriptor(), POLLIN, 0 };
    return poll(&wake, 1, static_cast<int>(limit.count())) > 0;
}

// The window's thread stops taking the port's messages (a long modal loop
// elsewhere, a slow handler): each message is given up after the dispatcher's
// 1000 ms, never handed over late, the port goes on receiving, and closing the
// window meanwhile does not hang. Time runs on a manual clock.
TEST(LinkFaultTest, AReceiverThatDoesNotAnswerForMoreThanASecond)
{
    ManualClock clock;
    ScopedProcessClock useClock(clock);
    test::Instrument instrument;
    test::MapPorts(instrument.DevicePath());
    auto window = std::make_unique<test::LinkedWindow>();
    ASSERT_TRUE(window->Form().Action(Cmd::Com1Item)->isChecked()) << testing::PrintToString(window->Ui().Messages);
    ASSERT_TRUE(Transfer(*window, instrument, Ramp(0)));

    TVskComPort& port = window->Link().VskComPort1();
    int availEvents = 0;
    int dataEvents = 0;
    port.OnTriggerAvail = [&, forward = port.OnTriggerAvail](TVskCustomComPort& sender, std::uint16_t count) {
        ++availEvents;
        forward(sender, count);
    };
    port.OnTriggerData = [&, forward = port.OnTriggerData](TVskCustomComPort& sender, std::uint16_t handle) {
        ++dataEvents;
        forward(sender, handle);
    };

    // A line arrives while the window's thread is busy: its messages wait,
    // and each is given up once a second has passed.
    ASSERT_TRUE(instrument.Send("Range(254)= 0.8V\r"));
    int givenUp = 0;
    while (MessageWaits(std::chrono::milliseconds(givenUp == 0 ? 5000 : 200))) {
        clock.Advance(std::chrono::milliseconds(1001));
        // The dispatcher withdraws the message and may send the next one.
        for (int i = 0; i < 200 && MessageWaits(std::chrono::milliseconds(0)); ++i)
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        ++givenUp;
        ASSERT_LT(givenUp, 10) << "the dispatcher keeps sending";
    }
    EXPECT_GE(givenUp, 1);
    // Nothing given up is handed over late.
    PumpMessages();
    window->RunFor(std::chrono::milliseconds(50));
    EXPECT_EQ(availEvents, 0);
    EXPECT_EQ(dataEvents, 0);

    // The port goes on: the next transfer arrives whole.
    ASSERT_TRUE(Transfer(*window, instrument, Ramp(5))) << testing::PrintToString(window->Ui().Messages);
    EXPECT_GT(availEvents, 0);

    // Closing while a message waits: the close ends within the dispatcher's
    // bounded waits (time runs fast meanwhile).
    ASSERT_TRUE(instrument.Send("Range(254)= 0.8V\r"));
    ASSERT_TRUE(MessageWaits(std::chrono::milliseconds(5000)));
    std::atomic<bool> closed { false };
    std::thread ticker([&] {
        while (!closed) {
            clock.Advance(std::chrono::milliseconds(20));
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
    });
    const auto start = std::chrono::steady_clock::now();
    window.reset();
    closed = true;
    ticker.join();
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(10));
}

} // namespace
} // namespace zop
