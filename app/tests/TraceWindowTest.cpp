#include <QAction>
#include <QApplication>
#include <QLabel>
#include <QMouseEvent>
#include <QToolButton>
#include <cmath>
#include <gtest/gtest.h>

#include "app/TZop5Form.h"
#include "display/FormatGeneral3.h"
#include "document/WaveformFile.h"
#include "tests/support/TestEnvironment.h"
#include "tests/support/WindowUnderTest.h"
#include "waveform/ScaleTables.h"

namespace zop {
namespace {

class TraceWindowTest : public test::WindowTest {
protected:
    // Puts a sine wave on show as a completed transfer does.
    static void ShowWaveform(TZop5Form& form)
    {
        IncomingImage image;
        for (int i = 0; i < SampleCount; ++i)
            image.Samples[static_cast<size_t>(i)] = 128 + static_cast<int>(100 * std::sin(i / 6.0));
        image.TimeIndex = 9;
        image.VoltIndex = 5;
        image.ZeroRef = 127;
        image.TimeLabel = std::string(TimeLabel(9));
        image.VoltsLabel = std::string(VoltsLabel(5, 1));
        test::ShowReceived(form, image);
    }

    static void Send(QWidget* widget, QEvent::Type type, int x, Qt::MouseButton button, Qt::MouseButtons held,
        Qt::KeyboardModifiers keys = Qt::NoModifier)
    {
        const QPointF local(x, 40);
        QMouseEvent event(type, local, widget->mapToGlobal(local), button, held, keys);
        QApplication::sendEvent(widget, &event);
    }
};

TEST_F(TraceWindowTest, PressDragReleaseOnThePictureEndsLikeAFreshRedraw)
{
    TZop5Form form(ui, &clock);
    ShowWaveform(form);
    QWidget* picture = form.Picture();
    const QImage blank = form.Image1().copy();

    Send(picture, QEvent::MouseButtonPress, 41, Qt::LeftButton, Qt::LeftButton);
    EXPECT_EQ(form.StatusBarLabel(2)->text(), "dt=0ms");
    for (int x = 45; x <= 200; x += 5)
        Send(picture, QEvent::MouseMove, x, Qt::NoButton, Qt::LeftButton);
    Send(picture, QEvent::MouseMove, 500, Qt::NoButton, Qt::LeftButton); // past the right edge
    Send(picture, QEvent::MouseMove, 121, Qt::NoButton, Qt::LeftButton);
    EXPECT_FALSE(form.CursorsAtRest());
    Send(picture, QEvent::MouseButtonRelease, 121, Qt::LeftButton, Qt::NoButton);
    EXPECT_TRUE(form.CursorsAtRest());

    EXPECT_EQ(form.Cursors().X1, 42);
    EXPECT_EQ(form.Cursors().X2, 122);
    EXPECT_EQ(form.StatusBarLabel(2)->text(), "dt=2ms");
    EXPECT_EQ(form.StatusBarLabel(3)->text(), "f=500Hz");
    EXPECT_TRUE(form.StatusBarLabel(1)->text().startsWith("dV="));
    const QImage dragged = form.Image1().copy();
    EXPECT_NE(dragged, blank);
    form.Model().View().RedrawTrace();
    EXPECT_EQ(form.Image1(), dragged);
    // The window's blank picture is the graticule every redraw starts from.
    EXPECT_EQ(form.Image2().convertToFormat(QImage::Format_RGB32), MakeGraticulePicture());
}

TEST_F(TraceWindowTest, RightButtonAndCtrlDragLeaveThePictureAlone)
{
    TZop5Form form(ui, &clock);
    ShowWaveform(form);
    QWidget* picture = form.Picture();
    const QImage before = form.Image1().copy();
    Send(picture, QEvent::MouseButtonPress, 41, Qt::RightButton, Qt::RightButton);
    Send(picture, QEvent::MouseButtonRelease, 41, Qt::RightButton, Qt::NoButton);
    Send(picture, QEvent::MouseMove, 80, Qt::NoButton, Qt::LeftButton, Qt::ControlModifier);
    EXPECT_EQ(form.Image1(), before);
    EXPECT_EQ(form.Cursors(), CursorPositions {});
}

// A panel shows its whole text when the width the label itself asks for
// (text, margins, indent and frame) is no more than it has.
void ExpectShownWhole(QLabel* panel)
{
    EXPECT_LE(panel->sizeHint().width(), panel->width()) << panel->text().toStdString();
}

TEST_F(TraceWindowTest, LongestReadoutsAreShownWholeInTheirPanels)
{
    TZop5Form form(ui, &clock);
    // Among the widest texts the measurements and the readout produce.
    form.State().SettingsPanel = { "0.2ms/div", "0.5V/div", "-0.0189Vdc", "-1.59E3Vdc", "0.00891Vrms", "-0.000789 dB" };
    form.State().StatusBar = { "", "dV=0.0504V", "dV=0.945mV", "dV=1.59E3V" };
    form.SyncFromState();
    const int windowPixels = form.font().pixelSize();
    for (int panel = 2; panel < 6; ++panel)
        ExpectShownWhole(form.SettingsPanelLabel(panel));
    EXPECT_EQ(form.SettingsPanelLabel(2)->font().pixelSize(), windowPixels); // fits as it is
    EXPECT_LT(form.SettingsPanelLabel(5)->font().pixelSize(), windowPixels);
    for (int panel = 1; panel < 4; ++panel)
        ExpectShownWhole(form.StatusBarLabel(panel));
    // Texts that fit keep the window's size, also after a long one.
    form.State().SettingsPanel[5] = "-19.9 dB";
    form.State().StatusBar[1] = "dV=157mV";
    form.SyncFromState();
    EXPECT_EQ(form.SettingsPanelLabel(5)->font().pixelSize(), windowPixels);
    EXPECT_EQ(form.StatusBarLabel(1)->font().pixelSize(), windowPixels);
    EXPECT_EQ(form.SettingsPanelLabel(0)->font().pixelSize(), windowPixels);
}

TEST_F(TraceWindowTest, ViewAndProbeCommandsThroughMenusAndButtons)
{
    TZop5Form form(ui, &clock);
    form.Click(Cmd::SmoothItem);
    ShowWaveform(form);
    const QImage smooth = form.Image1().copy();

    form.Action(Cmd::DotItem)->trigger();
    EXPECT_EQ(form.State().ViewMode, TraceMode::Dot);
    EXPECT_TRUE(form.Button(Cmd::DotBtn)->isChecked());
    EXPECT_FALSE(form.Button(Cmd::SmoothBtn)->isChecked());
    EXPECT_NE(form.Image1(), smooth);
    form.Button(Cmd::SmoothBtn)->click();
    EXPECT_TRUE(form.Action(Cmd::SmoothItem)->isChecked());
    EXPECT_EQ(form.Image1(), smooth);

    const QString dc = form.SettingsPanelLabel(2)->text();
    form.Button(Cmd::Probex10Btn)->click();
    EXPECT_TRUE(form.Action(Cmd::Probex10Item)->isChecked());
    EXPECT_FALSE(form.Button(Cmd::Probex1Btn)->isChecked());
    EXPECT_EQ(form.SettingsPanelLabel(1)->text(), "1V/div");
    EXPECT_NE(form.SettingsPanelLabel(2)->text(), dc);
    EXPECT_TRUE(form.Flags().ProbeChanged);
    EXPECT_EQ(form.Image1(), smooth); // the probe does not touch the picture
    form.Action(Cmd::Probex1Item)->trigger();
    EXPECT_EQ(form.SettingsPanelLabel(2)->text(), dc);
    EXPECT_FALSE(form.Flags().ProbeChanged);

    // Screenshots of the window in each mode, for a look by eye.
    if (const char* dir = std::getenv("ZOP5_SAVE_PICTURES")) {
        form.show();
        QWidget* picture = form.Picture();
        Send(picture, QEvent::MouseButtonPress, 90, Qt::LeftButton, Qt::LeftButton);
        Send(picture, QEvent::MouseMove, 250, Qt::NoButton, Qt::LeftButton);
        Send(picture, QEvent::MouseButtonRelease, 250, Qt::LeftButton, Qt::NoButton);
        for (Cmd mode : { Cmd::DotBtn, Cmd::BarBtn, Cmd::SmoothBtn }) {
            form.Button(mode)->click();
            QApplication::processEvents();
            form.grab().save(QString::fromUtf8(dir) + "/window-" + QString::number(static_cast<int>(mode)) + ".png");
        }
    }
}

TEST_F(TraceWindowTest, OpenedFileIsMeasuredAndDrawnAndNewBlanksThePicture)
{
    TZop5Form form(ui, &clock);
    test::TempDir dir;
    WaveformFileContents contents;
    contents.Description = "square";
    contents.Date = "01-02-2026";
    contents.Time = "11:12:13";
    contents.TimeLabel = "1ms/div";
    contents.VoltsLabel = "1V/div";
    contents.ZeroRef = 127;
    for (int i = 0; i < SampleCount; ++i)
        contents.Samples[static_cast<size_t>(i)] = i % 20 < 10 ? 100 : 150;
    ui.OpenResults = { FileDialogResult { test::WriteWaveformFile(dir.File("square.zop"), contents), 1 } };
    form.Action(Cmd::OpenItem)->trigger();

    // Numbers use the user's decimal separator.
    const QString point(QChar::fromLatin1(DecimalSeparator()));
    EXPECT_EQ(form.SettingsPanelLabel(3)->text(), "1" + point + "57Vpp"); // 50 counts x 31.496 mV
    EXPECT_EQ(form.SettingsPanelLabel(4)->text(), "0" + point + "787Vrms");
    EXPECT_NE(form.Image1(), form.Image2());
    QWidget* picture = form.Picture();
    Send(picture, QEvent::MouseButtonPress, 0, Qt::LeftButton, Qt::LeftButton);
    Send(picture, QEvent::MouseButtonRelease, 40, Qt::LeftButton, Qt::NoButton);
    EXPECT_EQ(form.StatusBarLabel(1)->text(), "dV=1" + point + "57V");
    EXPECT_EQ(form.StatusBarLabel(3)->text(), "f=1kHz");

    form.Action(Cmd::NewItem)->trigger();
    EXPECT_EQ(form.Image1(), form.Image2());
    EXPECT_EQ(form.StatusBarLabel(1)->text(), "");
    EXPECT_EQ(form.Cursors(), CursorPositions {});
}

} // namespace
} // namespace zop
