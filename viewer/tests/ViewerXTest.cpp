// The viewer on an X server of its own (Xvfb), seen as a user and a screen
// reader see it: two captures listed in the legend and the table through
// their accessible names, a hidden capture gone from the screen, a capture
// written into a followed folder shown within a second, and the window
// redrawn at 1600 x 1000.
#include <gtest/gtest.h>

#include <QAccessible>
#include <QApplication>
#include <QElapsedTimer>
#include <QImage>
#include <QPixmap>
#include <QScreen>
#include <QTableWidget>
#include <QTest>
#include <memory>

#include "tests/support/TestEnvironment.h"
#include "tests/support/XSession.h"
#include "viewer/PlotWidget.h"
#include "viewer/ViewerWindow.h"
#include "viewer/tests/CaptureFixtures.h"

namespace zop::viewer {
namespace {

void WriteCapture(const std::string& path, double periods, int amplitude)
{
    test::WriteCaptureFile(path, test::SineCapture(9, 5, 1, periods, amplitude), "X test");
}

// The accessible names below an interface, with the interface of each.
void CollectNames(
    QAccessibleInterface* node, std::vector<std::pair<QString, QAccessibleInterface*>>& names, int depth = 0)
{
    if (!node || depth > 12)
        return;
    names.emplace_back(node->text(QAccessible::Name), node);
    for (int i = 0; i < node->childCount(); ++i)
        CollectNames(node->child(i), names, depth + 1);
}

QAccessibleInterface* Named(QWidget* top, const QString& name)
{
    std::vector<std::pair<QString, QAccessibleInterface*>> names;
    CollectNames(QAccessible::queryAccessibleInterface(top), names);
    for (const auto& [text, node] : names)
        if (text == name)
            return node;
    return nullptr;
}

QStringList ChildNames(QAccessibleInterface* node)
{
    std::vector<std::pair<QString, QAccessibleInterface*>> names;
    CollectNames(node, names);
    QStringList texts;
    for (const auto& [text, child] : names)
        texts << text;
    return texts;
}

// What the X server shows of the window.
QImage OnScreen(QWidget& window)
{
    return QGuiApplication::primaryScreen()->grabWindow(window.winId()).toImage();
}

int PixelsOfColour(const QImage& image, QRect area, QColor colour)
{
    int count = 0;
    for (int y = area.top(); y <= area.bottom() && y < image.height(); ++y)
        for (int x = area.left(); x <= area.right() && x < image.width(); ++x) {
            const QColor pixel = image.pixelColor(x, y);
            count += std::abs(pixel.red() - colour.red()) + std::abs(pixel.green() - colour.green())
                        + std::abs(pixel.blue() - colour.blue())
                    < 40
                ? 1
                : 0;
        }
    return count;
}

class ViewerOnX : public testing::Test {
public:
    static void SetUpTestSuite()
    {
        if (!zop::test::XToolsPresent())
            return;
        s_server = std::make_unique<zop::test::XServer>("1920x1200x24");
        if (s_server->Display().empty())
            return;
        s_server->Use();
        static int argc = 1;
        static char name[] = "viewer_x_tests";
        static char* argv[] = { name, nullptr };
        s_app = std::make_unique<QApplication>(argc, argv);
    }
    static void TearDownTestSuite()
    {
        s_app.reset();
        s_server.reset();
    }
    void SetUp() override
    {
        if (!s_app)
            GTEST_SKIP() << "needs Xvfb";
    }

protected:
    static std::unique_ptr<zop::test::XServer> s_server;
    static std::unique_ptr<QApplication> s_app;
};

std::unique_ptr<zop::test::XServer> ViewerOnX::s_server;
std::unique_ptr<QApplication> ViewerOnX::s_app;

TEST_F(ViewerOnX, ListsHidesFollowsAndResizesAsAUserSeesIt)
{
    zop::test::TempDir folder;
    WriteCapture(folder.File("first.zop"), 3, 100);
    WriteCapture(folder.File("second.zop"), 1, 60);
    ViewerWindow window;
    window.SetThemeChoice(ThemeChoice::Light);
    ASSERT_TRUE(window
                    .OpenFiles({ QString::fromStdString(folder.File("first.zop")),
                        QString::fromStdString(folder.File("second.zop")) })
                    .isEmpty());
    window.resize(1200, 800);
    window.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
    QTest::qWait(300);

    // Legend and table list both captures by their accessible names.
    QAccessibleInterface* legend = Named(&window, "Captures");
    QAccessibleInterface* table = Named(&window, "Measurements");
    ASSERT_TRUE(legend);
    ASSERT_TRUE(table);
    EXPECT_TRUE(ChildNames(legend).contains("first.zop, shown, reference"));
    EXPECT_TRUE(ChildNames(legend).contains("second.zop, shown"));
    EXPECT_TRUE(ChildNames(table).contains("first.zop (reference)"));
    EXPECT_TRUE(ChildNames(table).contains("second.zop"));
    // Every control the user reaches has a name.
    for (QWidget* widget : window.findChildren<QWidget*>()) {
        if (widget->isVisible() && widget->focusPolicy() != Qt::NoFocus && !widget->isWindow()
            && !widget->inherits("QScrollBar") && !widget->objectName().startsWith("qt_")) {
            EXPECT_FALSE(QAccessible::queryAccessibleInterface(widget)->text(QAccessible::Name).isEmpty())
                << widget->metaObject()->className() << " " << widget->objectName().toStdString();
        }
    }

    // Hiding the second capture through its check box takes its curve off the screen.
    const QRect plot(window.Plot()->mapTo(&window, QPoint(0, 0)), window.Plot()->size());
    const QColor second = CaptureColour(1, Theme::Light);
    ASSERT_GT(PixelsOfColour(OnScreen(window), plot, second), 100);
    // As a keyboard user does: to the second row's check box, then Space.
    window.Legend()->setFocus();
    window.Legend()->setCurrentCell(1, 0);
    QTest::keyClick(window.Legend(), Qt::Key_Space);
    ASSERT_TRUE(QTest::qWaitFor([&] { return !window.Captures()[1].Shown; }, 2000));
    ASSERT_TRUE(QTest::qWaitFor([&] { return PixelsOfColour(OnScreen(window), plot, second) == 0; }, 2000));
    EXPECT_GT(PixelsOfColour(OnScreen(window), plot, CaptureColour(0, Theme::Light)), 100);

    // A capture written into the followed folder is on the screen within a second.
    ASSERT_TRUE(window.Follow(QString::fromStdString(folder.Path())));
    QElapsedTimer clock;
    clock.start();
    WriteCapture(folder.File("zop5-0001.zop"), 5, 110);
    const QColor third = CaptureColour(2, Theme::Light);
    ASSERT_TRUE(QTest::qWaitFor([&] { return PixelsOfColour(OnScreen(window), plot, third) > 100; }, 3000));
    EXPECT_LT(clock.elapsed(), 1000);
    EXPECT_EQ(window.Legend()->rowCount(), 3);

    // At 1600 x 1000 the window is drawn anew at that size: the trace reaches its new right part.
    const int framesBefore = window.Plot()->FramesPainted();
    window.resize(1600, 1000);
    ASSERT_TRUE(QTest::qWaitFor([&] { return OnScreen(window).size() == QSize(1600, 1000); }, 3000));
    ASSERT_TRUE(QTest::qWaitFor([&] { return window.Plot()->FramesPainted() > framesBefore; }, 3000));
    QTest::qWait(200);
    const QRect grown(window.Plot()->mapTo(&window, QPoint(0, 0)), window.Plot()->size());
    EXPECT_GT(grown.width(), plot.width() + 300);
    const QRect newPart(plot.right() + 50, grown.top(), grown.right() - plot.right() - 60, grown.height());
    EXPECT_GT(PixelsOfColour(OnScreen(window), newPart, third), 20);
}

} // namespace
} // namespace zop::viewer
