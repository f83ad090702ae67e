// Port probing and choice with the real port component on pseudo-terminals:
// COMn mapped through ZOP5_COMn to a terminal the test holds, or to nothing.
#include <gtest/gtest.h>

#include <chrono>
#include <memory>
#include <string>

#include "comm/MessageWindow.h"
#include "link/ComponentPort.h"
#include "tests/support/Instrument.h"
#include "tests/support/InstrumentTransfers.h"
#include "tests/support/LinkWindowParts.h"
#include "waveform/InstrumentLines.h"

namespace zop {
namespace {

using namespace std::chrono_literals;
using test::Instrument; // a pseudo-terminal standing for the instrument's cable on COMn

// The window's state with the link over the real component.
struct Window : test::LinkWindowParts {
    Window()
    {
        ApplyWindowPortSettings(Component);
        Component.OnTriggerAvail = [this](TVskCustomComPort&, uint16_t count) { Link.VskComPort1TriggerAvail(count); };
        Component.OnTriggerData = [this](TVskCustomComPort&, uint16_t handle) {
            ++LineEnds;
            Link.VskComPort1TriggerData(handle);
        };
    }

    // Hands the dispatcher's messages to this thread until `done` or 10 s.
    template <class Done> bool PumpUntil(Done&& done)
    {
        const auto end = std::chrono::steady_clock::now() + 10s;
        while (!done()) {
            if (std::chrono::steady_clock::now() > end)
                return false;
            WaitForMessages(20ms);
            PumpMessages();
        }
        return true;
    }
    // Pumps for a moment to collect what is still on its way.
    void Settle()
    {
        const auto end = std::chrono::steady_clock::now() + 200ms;
        while (std::chrono::steady_clock::now() < end) {
            WaitForMessages(20ms);
            PumpMessages();
        }
    }

    TVskComPort Component;
    ComponentPort Port { Component };
    int LineEnds = 0;
    LinkCommands Link { LinkParts(), Port, Documents, {}, Clock };
};

std::string TransferBytes(int32_t first)
{
    return EncodeTransfer(test::RampWaveform(first, 2, 12, 3, 100), LineForm::B, LineEnding::Cr);
}

TEST(ComponentPort, TheWindowsLineSettings)
{
    TVskComPort component;
    ApplyWindowPortSettings(component);
    EXPECT_EQ(component.Baud(), 9600);
    EXPECT_EQ(component.Parity(), pNone);
    EXPECT_EQ(component.DataBits(), 8);
    EXPECT_EQ(component.StopBits(), 1);
    EXPECT_EQ(component.InSize(), 4096);
    EXPECT_EQ(component.OutSize(), 4096);
    EXPECT_EQ(component.SWFlowOptions(), swfReceive);
    EXPECT_EQ(component.BufferFull(), 3686);
    EXPECT_EQ(component.BufferResume(), 409);
    EXPECT_TRUE(component.DTR() && component.RTS());
    EXPECT_FALSE(component.AutoOpen());
    EXPECT_FALSE(component.UseEventWord());
    EXPECT_EQ(component.TriggerLength(), 1);
    EXPECT_EQ(component.TapiMode(), tmNone);
    EXPECT_EQ(component.ComNumber(), 2);
    EXPECT_FALSE(component.Open());
}

TEST(ComponentPort, OnlyCom3UsableGivesCom3EnabledAndChecked)
{
    Instrument com3(3);
    Instrument::Map(2, "/nonexistent/ttyUSB9"); // a path that does not exist
    Window window;
    window.Link.ProbePorts();
    EXPECT_FALSE(window.Form[Cmd::Com1Item].Enabled);
    EXPECT_FALSE(window.Form[Cmd::Com2Item].Enabled);
    EXPECT_TRUE(window.Form[Cmd::Com3Item].Enabled);
    EXPECT_TRUE(window.Form[Cmd::Com3Item].Checked);
    EXPECT_FALSE(window.Form[Cmd::Com4Item].Enabled);
    EXPECT_TRUE(window.Component.Open());
    EXPECT_EQ(window.Component.ComNumber(), 3);
    EXPECT_TRUE(window.Ui.Messages.empty());
    Instrument::Map(2, "");

    // A transfer arrives through the component's events.
    ASSERT_TRUE(com3.Send(TransferBytes(0)));
    ASSERT_TRUE(window.PumpUntil([&] { return window.Record.TimeIndex == 12; }));
    EXPECT_EQ(window.Record.VoltIndex, 3);
    EXPECT_EQ(window.Record.ZeroRef, 100);
    EXPECT_EQ(window.Record.Samples[95], 190);
    EXPECT_EQ(window.Form.SettingsPanel[0], "10ms/div");
    EXPECT_TRUE(window.Component.Open()); // opened again after completion
}

TEST(ComponentPort, NoPortAtAllGivesTheMessageAndOpensNothing)
{
    Window window;
    window.Link.ProbePorts();
    ASSERT_EQ(window.Ui.Messages.size(), 1u);
    EXPECT_EQ(window.Ui.Messages[0].Text, NoFreePortMessage);
    for (int n = 1; n <= 4; ++n)
        EXPECT_FALSE(window.Form[ComItem(n)].Enabled);
    EXPECT_FALSE(window.Component.Open());
    EXPECT_EQ(window.Port.FindDataTrigger("\r", false), 0);

    // A port comes back: opening the port menu probes again and opens it.
    Instrument com2(2);
    window.Link.ComMenuClick();
    EXPECT_TRUE(window.Form[Cmd::Com2Item].Checked);
    EXPECT_TRUE(window.Component.Open());
    EXPECT_EQ(window.Component.ComNumber(), 2);
    EXPECT_EQ(window.Ui.Messages.size(), 1u);
    ASSERT_TRUE(com2.Send("  1us/Sample\r"));
    ASSERT_TRUE(window.PumpUntil([&] { return window.Transfer.TimeSeen; }));
}

TEST(ComponentPort, ChoosingTheCheckedPortDoesNothingAndAMissingOneSaysSo)
{
    Instrument com1(1);
    Window window;
    window.Link.ProbePorts();
    const uint16_t handle = window.Transfer.DataTriggerHandle;
    ASSERT_NE(handle, 0);
    window.Link.Com1ItemClick();
    EXPECT_TRUE(window.Form[Cmd::Com1Item].Checked);
    EXPECT_EQ(window.Transfer.DataTriggerHandle, handle);
    EXPECT_TRUE(window.Ui.Messages.empty());

    window.Link.Com4ItemClick();
    ASSERT_EQ(window.Ui.Messages.size(), 1u);
    EXPECT_EQ(window.Ui.Messages[0].Text, "Unable to open Com4!");
    for (int n = 1; n <= 4; ++n)
        EXPECT_FALSE(window.Form[ComItem(n)].Checked);
}

TEST(ComponentPort, TwentyFivePortChangesLeaveOneLineEndTriggerAndThePortReceiving)
{
    Instrument com1(1);
    Instrument com2(2);
    Window window;
    window.Link.ProbePorts();
    const uint16_t handle = window.Transfer.DataTriggerHandle;
    for (int change = 0; change < 25; ++change)
        window.Link.SelectPort(change % 2 == 0 ? 2 : 1);
    window.Link.ProbePorts(); // a re-probe does not add one either
    EXPECT_TRUE(window.Ui.Messages.empty());
    EXPECT_TRUE(window.Form[Cmd::Com1Item].Checked);
    EXPECT_EQ(window.Transfer.DataTriggerHandle, handle);
    EXPECT_EQ(window.Port.FindDataTrigger("\r", false), handle);

    // One line end is delivered once, and a whole transfer is applied.
    ASSERT_TRUE(com1.Send("  1us/Sample\r"));
    ASSERT_TRUE(window.PumpUntil([&] { return window.LineEnds >= 1; }));
    window.Settle();
    EXPECT_EQ(window.LineEnds, 1);
    ASSERT_TRUE(com1.Send(TransferBytes(7)));
    ASSERT_TRUE(window.PumpUntil([&] { return window.Record.VoltIndex == 3; }));
    EXPECT_EQ(window.Record.Samples[0], 7);
    // The port still has room for the triggers of others.
    for (int i = 0; i < 19; ++i)
        EXPECT_NE(window.Component.AddDataTrigger("x" + std::to_string(i), false), 0);
}

} // namespace
} // namespace zop
