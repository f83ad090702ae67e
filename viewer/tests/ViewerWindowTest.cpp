// The window's parts without a display: the folder follower, the legend's
// check boxes and reference, the cursor readout, and the exported files.
#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QFile>
#include <QImage>
#include <QLabel>
#include <QSignalSpy>
#include <QTableWidget>
#include <QTest>
#include <fstream>

#include "tests/support/TestEnvironment.h"
#include "viewer/DesktopTheme.h"
#include "viewer/FolderFollower.h"
#include "viewer/PlotWidget.h"
#include "viewer/ViewerWindow.h"
#include "viewer/tests/CaptureFixtures.h"

namespace zop::viewer {
namespace {

void WriteSine(const std::string& path, int amplitude, const std::string& description = "sine")
{
    test::WriteCaptureFile(path, test::SineCapture(9, 5, 1, 3, amplitude), description);
}

QStringList Arrivals(QSignalSpy& spy)
{
    QStringList names;
    for (const QList<QVariant>& call : spy)
        names << call.at(0).toString().section('/', -1);
    return names;
}

TEST(FolderFollower, AnnouncesCapturesThatAppearOrChangeButNotThoseAlreadyThere)
{
    zop::test::TempDir folder;
    WriteSine(folder.File("old.zop"), 50);
    FolderFollower follower;
    QSignalSpy spy(&follower, &FolderFollower::CaptureArrived);
    ASSERT_TRUE(follower.Follow(QString::fromStdString(folder.Path())));

    WriteSine(folder.File("new.ZOP"), 60);
    std::ofstream(folder.File("notes.txt")) << "not a capture";
    std::ofstream(folder.File(".hidden.zop")) << "being written";
    ASSERT_TRUE(QTest::qWaitFor([&] { return spy.count() >= 1; }, 3000));
    QTest::qWait(700); // one slow look more: nothing else is announced
    EXPECT_EQ(Arrivals(spy), QStringList { "new.ZOP" });

    WriteSine(folder.File("old.zop"), 70); // written again: a new capture
    ASSERT_TRUE(QTest::qWaitFor([&] { return spy.count() >= 2; }, 3000));
    EXPECT_EQ(Arrivals(spy).last(), "old.zop");

    follower.Stop();
    WriteSine(folder.File("after.zop"), 80);
    QTest::qWait(700);
    EXPECT_EQ(spy.count(), 2);
    EXPECT_FALSE(follower.Follow(QString::fromStdString(folder.File("notes.txt"))));
}

TEST(DesktopTheme, DarkWhenTheDesktopsPaletteOrGtkThemeSaysSo)
{
    struct Case {
        Theme palette;
        const char* gtkTheme;
        Theme expected;
    };
    for (const Case& c : { Case { Theme::Light, "", Theme::Light }, Case { Theme::Dark, "", Theme::Dark },
             Case { Theme::Light, "Adwaita:dark", Theme::Dark }, Case { Theme::Light, "Adwaita", Theme::Light } })
        EXPECT_EQ(ThemeFromPalette(ThemePalette(c.palette), c.gtkTheme), c.expected) << c.gtkTheme;
}

struct WindowWithTwo : testing::Test {
    void SetUp() override
    {
        WriteSine(folder.File("first.zop"), 100, "First");
        WriteSine(folder.File("second.zop"), 50, "Second");
        std::ofstream(folder.File("broken.zop")) << "Zop5 V1.0\r\n";
        refused = window.OpenFiles({ Path("first.zop"), Path("second.zop"), Path("broken.zop") });
        window.resize(1000, 700);
        window.show();
    }
    QString Path(const std::string& name) const { return QString::fromStdString(folder.File(name)); }
    zop::test::TempDir folder;
    ViewerWindow window;
    QStringList refused;
};

TEST_F(WindowWithTwo, TheLegendShowsHidesAndChoosesTheReference)
{
    EXPECT_EQ(refused, QStringList { Path("broken.zop") });
    ASSERT_EQ(window.Legend()->rowCount(), 2);
    EXPECT_EQ(window.Legend()->item(0, 0)->data(Qt::AccessibleTextRole).toString(), "first.zop, shown, reference");
    EXPECT_EQ(window.Table()->item(1, 0)->text(), "second.zop");

    window.Legend()->item(1, 0)->setCheckState(Qt::Unchecked); // as a click on its box does
    ASSERT_TRUE(QTest::qWaitFor([&] { return !window.Captures()[1].Shown; }, 1000));
    EXPECT_EQ(window.Plot()->CurrentScene().Traces.size(), 1u);
    EXPECT_EQ(window.Legend()->item(1, 0)->data(Qt::AccessibleTextRole).toString(), "second.zop, hidden");

    window.Legend()->item(1, 1)->setCheckState(Qt::Checked);
    ASSERT_TRUE(QTest::qWaitFor([&] { return window.Captures().Reference() == 1u; }, 1000));
    EXPECT_EQ(window.Table()->item(1, 0)->text(), "second.zop (reference)");
    // Unticking the reference keeps it: there is always one.
    window.Legend()->item(1, 1)->setCheckState(Qt::Unchecked);
    QTest::qWait(50);
    EXPECT_EQ(window.Captures().Reference(), 1u);
    EXPECT_EQ(window.Legend()->item(1, 1)->checkState(), Qt::Checked);
    // The other row now reads its difference to the new reference.
    EXPECT_TRUE(window.Table()->item(0, 4)->text().contains("(+315 mV)"))
        << window.Table()->item(0, 4)->text().toStdString();
}

TEST_F(WindowWithTwo, CursorsReadTheirDifferences)
{
    window.Plot()->SetCursor(false, CursorPoint { 1e-3, 0.1 });
    EXPECT_TRUE(window.CursorReadout()->text().startsWith("Cursor A at 1 ms, 100 mV"));
    window.Plot()->SetCursor(true, CursorPoint { 3e-3, -0.05 });
    EXPECT_EQ(window.CursorReadout()->text(), "dt = +2 ms    1/dt = 500 Hz    dV = -150 mV");
    window.Plot()->SetCursor(true, CursorPoint { 1e-3, 0.1 });
    EXPECT_EQ(window.CursorReadout()->text(), "dt = 0 s    1/dt = -    dV = 0 V");
}

TEST_F(WindowWithTwo, TheViewAndTheTableExportWhole)
{
    window.ExportViewTo(Path("view.png"));
    const QImage png(Path("view.png"));
    const qreal ratio = window.Plot()->devicePixelRatioF();
    EXPECT_EQ(png.size(), window.Plot()->size() * ratio);

    window.ExportViewTo(Path("view.svg"));
    QFile svg(Path("view.svg"));
    ASSERT_TRUE(svg.open(QIODevice::ReadOnly));
    const QByteArray drawing = svg.readAll();
    EXPECT_TRUE(drawing.contains("<title>First</title>")); // the reference's description
    EXPECT_TRUE(drawing.contains("second.zop")); // the legend drawn into the picture

    window.ExportViewTo(Path("view.PDF"));
    QFile pdf(Path("view.PDF"));
    ASSERT_TRUE(pdf.open(QIODevice::ReadOnly));
    EXPECT_TRUE(pdf.readAll().startsWith("%PDF-"));

    window.ExportTableTo(Path("table.csv"));
    QFile csv(Path("table.csv"));
    ASSERT_TRUE(csv.open(QIODevice::ReadOnly));
    const QList<QByteArray> lines = csv.readAll().split('\n');
    EXPECT_TRUE(lines[1].startsWith("first.zop,First,07/12/2026,17:00:00,yes,"));

    // Nowhere to write: an error, and no file left behind.
    EXPECT_THROW(window.ExportViewTo(Path("missing/view.png")), std::runtime_error);
    EXPECT_THROW(window.ExportViewTo(Path("view.bmp")), std::runtime_error);
    EXPECT_FALSE(QFile::exists(Path("view.bmp")));
}

TEST_F(WindowWithTwo, EveryCommandHasAKeyOrAMenuAndTheThemeSwitches)
{
    window.SetThemeChoice(ThemeChoice::Light);
    QAction* toggle = window.findChild<QAction*>("SwitchThemeCommand");
    ASSERT_TRUE(toggle);
    toggle->trigger();
    EXPECT_EQ(window.CurrentTheme(), Theme::Dark);
    EXPECT_EQ(window.Plot()->grab().toImage().pixelColor(3, 3), ThemeColours(Theme::Dark).Background);
    EXPECT_EQ(QApplication::palette().color(QPalette::Base), ThemePalette(Theme::Dark).color(QPalette::Base));
    toggle->trigger();
    EXPECT_EQ(window.CurrentTheme(), Theme::Light);
    // Every command of the window is named and reachable by a key, apart from
    // the three theme choices, which the switch and the menu reach.
    for (QAction* action : window.findChildren<QAction*>()) {
        if (!action->objectName().endsWith("Command") || action->objectName().startsWith("Theme"))
            continue;
        EXPECT_FALSE(action->shortcut().isEmpty()) << action->objectName().toStdString();
        EXPECT_FALSE(action->text().isEmpty()) << action->objectName().toStdString();
    }
}

TEST_F(WindowWithTwo, ZoomKeysAndResetKeepTheHomeWindow)
{
    const ViewWindow home = window.Plot()->Window();
    window.Plot()->ZoomTime(2);
    window.Plot()->ZoomVolts(2);
    EXPECT_NEAR(window.Plot()->Window().Time.Span(), home.Time.Span() / 2, 1e-12);
    EXPECT_TRUE(window.Plot()->Zoomed());
    // A capture arriving while zoomed leaves the zoom alone.
    window.OpenFiles({ Path("first.zop") });
    EXPECT_NEAR(window.Plot()->Window().Volts.Span(), home.Volts.Span() / 2, 1e-12);
    window.Plot()->ResetZoom();
    EXPECT_EQ(window.Plot()->Window(), home);
    EXPECT_FALSE(window.Plot()->Zoomed());
}

} // namespace
} // namespace zop::viewer
