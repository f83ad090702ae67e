// Faults of the instrument's line through the real window: the instrument
// vanishing in the middle of a transfer, and the window's thread not taking
// the port's messages for longer than the dispatcher waits.
#include <QAction>
#include <QMenu>
#include <atomic>
#include <gtest/gtest.h>
#include <poll.h>
#include <thread>
#include <unistd.h>

#include "comm/Clock.h"
#include "comm/Dispatcher.h"
#include "comm/MessageWindow.h"

#include "tests/reliability/Instrument.h"
#include "tests/reliability/LinkedWindow.h"
#include "tests/support/TestEnvironment.h"
#include "waveform/InstrumentLines.h"

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

// The instrument vanishes (its end of the line closed) in the middle of a
// transfer: the program goes on with at most one message and the shown
// waveform kept, and the port menu moves to the port where the instrument is
// now, closing the dead one without hanging.
TEST(LinkFaultTest, InstrumentVanishesMidTransfer)
{
    auto instrument = std::make_unique<test::Instrument>();
    test::Instrument elsewhere;
    test::MapPorts(instrument->DevicePath(), elsewhere.DevicePath());
    test::LinkedWindow window;
    ASSERT_TRUE(window.Form().Action(Cmd::Com1Item)->isChecked()) << testing::PrintToString(window.Ui().Messages);
    ASSERT_TRUE(window.Form().Action(Cmd::Com2Item)->isEnabled());
    ASSERT_TRUE(Transfer(window, *instrument, Ramp(0)));

    // Half a transfer, then the cable is pulled.
    const std::string bytes = EncodeTransfer(Ramp(1), LineForm::A, LineEnding::CrLf);
    ASSERT_TRUE(instrument->Send(bytes.substr(0, bytes.size() / 2)));
    window.RunFor(milliseconds(100));
    instrument->Vanish();
    window.RunFor(milliseconds(300));
    emit window.Form().Menu(4)->aboutToShow();
    window.RunFor(milliseconds(50));

    EXPECT_LE(window.Ui().Messages.size(), 1u) << testing::PrintToString(window.Ui().Messages);
    EXPECT_EQ(window.Form().Record().Samples, Ramp(0).Samples);
    const size_t messages = window.Ui().Messages.size();

    // The instrument is plugged in on COM2: choosing it there works.
    window.Form().Action(Cmd::Com2Item)->trigger();
    EXPECT_TRUE(window.Form().Action(Cmd::Com2Item)->isChecked()) << testing::PrintToString(window.Ui().Messages);
    EXPECT_FALSE(window.Form().Action(Cmd::Com1Item)->isChecked());
    EXPECT_TRUE(Transfer(window, elsewhere, Ramp(2))) << testing::PrintToString(window.Ui().Messages);
    EXPECT_EQ(window.Ui().Messages.size(), messages) << testing::PrintToString(window.Ui().Messages);
    instrument.reset();
}

// The instrument's adapter is unplugged and plugged in again: the port menu
// lets go of the dead port, says once that no port is left, and when the menu
// opens after the adapter is back (same name, a new device behind it) the
// port opens again and the next transfer arrives.
TEST(LinkFaultTest, PortMenuFindsTheInstrumentAgainWhenItIsBack)
{
    test::TempDir dir;
    const std::string com1 = dir.File("ttyUSB0"); // the name stays, the device behind it changes
    auto instrument = std::make_unique<test::Instrument>();
    ASSERT_EQ(symlink(instrument->DevicePath().c_str(), com1.c_str()), 0);
    test::MapPorts(com1);
    test::LinkedWindow window;
    ASSERT_TRUE(window.Form().Action(Cmd::Com1Item)->isChecked()) << testing::PrintToString(window.Ui().Messages);
    ASSERT_TRUE(Transfer(window, *instrument, Ramp(0)));

    instrument->Vanish();
    ASSERT_TRUE(window.RunUntil([&] { return window.Model().Component()->DeviceLost(); }, seconds(10)));
    emit window.Form().Menu(4)->aboutToShow();
    window.RunFor(milliseconds(50));
    EXPECT_EQ(window.Ui().Messages.size(), 1u) << testing::PrintToString(window.Ui().Messages);
    EXPECT_FALSE(window.Form().Action(Cmd::Com1Item)->isEnabled());
    EXPECT_FALSE(window.Model().Component()->Open());

    auto plugged = std::make_unique<test::Instrument>();
    ASSERT_EQ(unlink(com1.c_str()), 0);
    ASSERT_EQ(symlink(plugged->DevicePath().c_str(), com1.c_str()), 0);
    emit window.Form().Menu(4)->aboutToShow();
    window.RunFor(milliseconds(50));
    EXPECT_TRUE(window.Form().Action(Cmd::Com1Item)->isChecked()) << testing::PrintToString(window.Ui().Messages);
    EXPECT_TRUE(Transfer(window, *plugged, Ramp(3))) << testing::PrintToString(window.Ui().Messages);
    EXPECT_EQ(window.Ui().Messages.size(), 1u);
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

    TVskComPort& port = *window->Model().Component();
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
    const std::string line = "Range(254)= 0.8V\r";
    DispatcherProgress progress;
    ASSERT_TRUE(GetDispatcherProgress(port.Handle(), &progress));
    const std::uint64_t expected = progress.BytesRead + line.size();
    ASSERT_TRUE(instrument.Send(line));
    const auto dispatcherIdle = [&] {
        return GetDispatcherProgress(port.Handle(), &progress) && progress.BytesRead == expected && !progress.Busy;
    };
    ASSERT_TRUE(MessageWaits(std::chrono::milliseconds(5000)));
    int givenUp = 0;
    while (!dispatcherIdle()) {
        ASSERT_LT(givenUp, 10) << "the dispatcher does not go on";
        clock.Advance(std::chrono::milliseconds(1001));
        ++givenUp;
        for (int i = 0; i < 500 && !dispatcherIdle() && progress.Busy; ++i)
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        // Between two batches (a line read in two parts) the dispatcher is
        // neither busy nor idle for a moment; time moved on then would be
        // spent before its next wait starts.
        for (int i = 0; i < 2000 && !dispatcherIdle() && !progress.Busy; ++i)
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    EXPECT_GE(givenUp, 1);
    // Nothing given up is handed over late.
    PumpMessages();
    window->RunFor(std::chrono::milliseconds(50));
    EXPECT_EQ(availEvents, 0);
    EXPECT_EQ(dataEvents, 0);

    // The port goes on: the next transfer arrives whole, the given-up line
    // end still ending the line that was waiting.
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
