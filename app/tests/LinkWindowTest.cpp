// End to end: the instrument simulator on a pseudo-terminal mapped to COM1
// sends transfers at full speed into the real window under the offscreen
// platform.
#include <QAction>
#include <QApplication>
#include <QLabel>
#include <QLineEdit>
#include <QToolButton>
#include <chrono>
#include <csignal>
#include <gtest/gtest.h>

#include "display/FormatGeneral3.h"
#include "display/Measurements.h"
#include "tests/support/ChildProcess.h"
#include "tests/support/WindowUnderTest.h"
#include "tools/SignalGenerator.h"
#include "waveform/ScaleTables.h"

namespace zop {
namespace {

using namespace std::chrono_literals;

// Maps the pseudo-terminal the simulator names on its first line as COM1;
// the other ports have no device.
void MapAsCom1(test::ChildProcess& simulator)
{
    const std::optional<std::string> path = simulator.ReadLine(10s);
    ASSERT_TRUE(path.has_value());
    test::MapPorts(*path);
}

// Stops the simulator, which must end cleanly.
void ExpectCleanEnd(test::ChildProcess& simulator)
{
    simulator.Signal(SIGTERM);
    const test::ChildResult result = simulator.Finish(10s);
    EXPECT_EQ(result.ExitCode, 0) << result.Err;
}

// The window with its ports probed, its clock at 10:20:30.
struct WiredWindow : test::WindowUnderTest {
    explicit WiredWindow(UserInterface& ui)
        : WindowUnderTest(ui)
    {
        Clock.Time = "10:20:30";
        ProbePorts();
    }
};

QString Text(std::string_view cp1252)
{
    return QString::fromUtf8(Cp1252ToUtf8(cp1252).c_str());
}

TEST(LinkWindow, ASimulatedTransferArrivesInTheWindowAndASecondOneAsksFirst)
{
    // A square wave of +-1 V at 1 kHz, 0.5 ms/div, 1 V/div.
    const std::vector<std::string> signal = { "--signal", "square", "--frequency", "1k", "--amplitude", "1", "--offset",
        "0.25", "--time-base", "0.5ms/div", "--range", "1V/div", "--zero-ref", "110" };
    std::vector<std::string> argv = { ZOP5_TOOL_PATH, "simulate", "--pty", "--full-speed", "--hold", "--quiet",
        "--form", "B", "--line-end", "crlf" };
    argv.insert(argv.end(), signal.begin(), signal.end());
    test::ChildProcess simulator(argv);
    ASSERT_NO_FATAL_FAILURE(MapAsCom1(simulator));

    SignalSettings expectedSignal;
    expectedSignal.Shape = SignalShape::Square;
    expectedSignal.Offset = 0.25;
    expectedSignal.TimeIndex = 8;
    expectedSignal.VoltIndex = 8;
    expectedSignal.ZeroRef = 110;
    std::mt19937 unused;
    const InstrumentWaveform sent = GenerateWaveform(expectedSignal, unused);

    test::ScriptedUserInterface ui;
    WiredWindow window(ui);
    TZop5Form& form = window.Form();
    WindowModel& link = window.Model();
    EXPECT_TRUE(form.Action(Cmd::Com1Item)->isChecked());
    EXPECT_FALSE(form.Action(Cmd::Com2Item)->isEnabled());

    ASSERT_TRUE(test::RunEventsUntil([&] { return form.Record().VoltIndex != 0; }));
    EXPECT_TRUE(ui.Messages.empty());
    EXPECT_EQ(form.Record().TimeIndex, 8);
    EXPECT_EQ(form.Record().VoltIndex, 8);
    EXPECT_EQ(form.Record().ZeroRef, 110);
    EXPECT_EQ(form.Record().Samples, sent.Samples);
    EXPECT_EQ(form.Record().ProbeFactor, 1);
    EXPECT_EQ(form.Record().FileName, "");
    EXPECT_EQ(form.windowTitle(), "Tracelet - [Untitled]");
    EXPECT_EQ(form.SettingsPanelLabel(0)->text(), "0.5ms/div");
    EXPECT_EQ(form.SettingsPanelLabel(1)->text(), "1V/div");

    // The four measurements of exactly this waveform.
    WaveformRecord expected;
    expected.Samples = sent.Samples;
    expected.ZeroRef = 110;
    expected.VoltIndex = 8;
    expected.TimeIndex = 8;
    DocumentFlags flags;
    const MeasurementTexts texts = Measure(expected, flags, 1, DecimalSeparator());
    EXPECT_EQ(form.SettingsPanelLabel(2)->text(), Text(texts.Dc));
    EXPECT_EQ(form.SettingsPanelLabel(3)->text(), Text(texts.PeakToPeak));
    EXPECT_EQ(form.SettingsPanelLabel(4)->text(), Text(texts.Rms));
    EXPECT_EQ(form.SettingsPanelLabel(5)->text(), Text(texts.Db));
    // 40 counts above and 24 below the zero reference: 64 x 0.031496 V.
    EXPECT_EQ(form.SettingsPanelLabel(3)->text().toStdString(), std::string("2") + DecimalSeparator() + "02Vpp");

    EXPECT_TRUE(form.DescriptionEdit()->isEnabled());
    EXPECT_EQ(form.DescriptionEdit()->text(), "");
    EXPECT_TRUE(form.DateEdit()->isEnabled());
    EXPECT_EQ(form.DateEdit()->text(), "07-12-2026");
    EXPECT_TRUE(form.TimeEdit()->isEnabled());
    EXPECT_EQ(form.TimeEdit()->text(), "10:20:30");
    for (const Cmd item : { Cmd::SaveItem, Cmd::SaveasItem, Cmd::PrintItem, Cmd::CutItem, Cmd::CopyItem, Cmd::DotItem,
             Cmd::BarItem, Cmd::SmoothItem })
        EXPECT_TRUE(form.Action(item)->isEnabled()) << CommandName(item);
    for (const Cmd button :
        { Cmd::SaveBtn, Cmd::PrintBtn, Cmd::CutBtn, Cmd::CopyBtn, Cmd::DotBtn, Cmd::BarBtn, Cmd::SmoothBtn })
        EXPECT_TRUE(form.Button(button)->isEnabled()) << CommandName(button);
    EXPECT_TRUE(form.Button(Cmd::SmoothBtn)->isChecked());
    EXPECT_TRUE(form.Flags().Modified); // the date and time were filled in
    EXPECT_TRUE(form.Action(Cmd::Com1Item)->isChecked());

    // A second transfer while the document is unsaved asks first.
    ui.Answers = { Answer::Cancel };
    simulator.Signal(SIGUSR1);
    ASSERT_TRUE(test::RunEventsUntil([&] { return !ui.Messages.empty(); }));
    EXPECT_EQ(ui.Messages[0].Text, "New waveform received!\n\r\rSave changes to file ?");
    EXPECT_EQ(ui.Messages[0].Buttons, BoxButtons::YesNoCancel);
    EXPECT_TRUE(link.Transfer().TransferComplete); // pending until the next line

    ExpectCleanEnd(simulator);
}

TEST(LinkWindow, AWaveformArrivingWhileTheCloseQuestionIsOpenIsShownNotLost)
{
    test::ChildProcess simulator({ ZOP5_TOOL_PATH, "simulate", "--pty", "--full-speed", "--hold", "--quiet" });
    ASSERT_NO_FATAL_FAILURE(MapAsCom1(simulator));

    test::ScriptedUserInterface ui;
    WiredWindow window(ui);
    TZop5Form& form = window.Form();
    WindowModel& link = window.Model();
    form.show();
    ASSERT_TRUE(test::RunEventsUntil([&] { return form.Record().VoltIndex != 0; }));
    const SampleArray received = form.Record().Samples;
    form.Record().Samples.fill(1); // tells the next waveform from this one
    ASSERT_TRUE(form.Flags().Modified);

    // The user asks to close; while the question is open the instrument
    // sends again.
    // The first question waits while the window's event loop runs, as a
    // real question box's loop does.
    ui.DuringQuestion = [&] {
        simulator.Signal(SIGUSR1);
        EXPECT_TRUE(test::RunEventsUntil([&] { return link.Transfer().AllFlagsSet(); }));
        QApplication::processEvents();
    };
    ui.Answers = { Answer::No, Answer::No };
    EXPECT_FALSE(form.close());

    EXPECT_FALSE(ui.NestedQuestion);
    EXPECT_EQ(ui.Texts(),
        (std::vector<std::string> { "Save changes to file ?", "New waveform received!\n\r\rSave changes to file ?" }));
    EXPECT_TRUE(form.isVisible());
    EXPECT_EQ(form.Record().Samples, received);
    EXPECT_FALSE(link.Transfer().AllFlagsSet());
    EXPECT_TRUE((*link.Component()).Open());

    ExpectCleanEnd(simulator);
}

} // namespace
} // namespace zop
