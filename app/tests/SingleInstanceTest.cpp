#include <QCoreApplication>
#include <QElapsedTimer>
#include <gtest/gtest.h>
#include <memory>
#include <vector>

#include "app/SingleInstance.h"

namespace zop {
namespace {

QString UniqueName(const char* what)
{
    return QStringLiteral("zop5-test-%1-%2").arg(QCoreApplication::applicationPid()).arg(what);
}

TEST(SingleInstance, NoRunningCopyMeansNoRestore)
{
    SingleInstance second(UniqueName("alone"));
    EXPECT_FALSE(second.RequestRestore(200));
}

TEST(SingleInstance, RunningCopyReceivesTheRestoreRequest)
{
    const QString name = UniqueName("pair");
    SingleInstance first(name);
    ASSERT_TRUE(first.Listen());
    int restores = 0;
    QObject::connect(&first, &SingleInstance::RestoreRequested, [&] { ++restores; });

    SingleInstance second(name);
    EXPECT_TRUE(second.RequestRestore());
    EXPECT_FALSE(second.Listen()); // the first copy keeps the name

    QElapsedTimer timer;
    timer.start();
    while (restores == 0 && timer.elapsed() < 5000)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
    EXPECT_EQ(restores, 1);
}

TEST(SingleInstance, TheNameIsFreedWhenTheFirstCopyEnds)
{
    const QString name = UniqueName("freed");
    {
        SingleInstance first(name);
        ASSERT_TRUE(first.Listen());
    }
    SingleInstance later(name);
    EXPECT_FALSE(later.RequestRestore(200));
    EXPECT_TRUE(later.Listen());
}

TEST(SingleInstance, ASecondCopyAnswersOnceTheFirstHasEnded)
{
    const QString name = UniqueName("takeover");
    auto first = std::make_unique<SingleInstance>(name);
    ASSERT_TRUE(first->Listen());
    SingleInstance second(name);
    second.SetListenRetryInterval(10);
    EXPECT_FALSE(second.Listen());
    first.reset();

    QElapsedTimer timer;
    timer.start();
    while (!second.Listening() && timer.elapsed() < 5000)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    ASSERT_TRUE(second.Listening());
    int restores = 0;
    QObject::connect(&second, &SingleInstance::RestoreRequested, [&] { ++restores; });
    SingleInstance third(name);
    EXPECT_TRUE(third.RequestRestore());
    while (restores == 0 && timer.elapsed() < 10000)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    EXPECT_EQ(restores, 1);
}

TEST(SingleInstance, CopiesOnOneDisplayShareAKeyAndOthersDoNot)
{
    struct Case {
        const char *Platform, *XDisplay, *WaylandDisplay, *RuntimeDir, *Key;
    };
    const Case cases[] = {
        // One local X server, however it is spelt.
        { "xcb", ":1", "", "", "x11::1" },
        { "xcb", ":1.0", "", "", "x11::1" },
        { "xcb", ":1.2", "", "", "x11::1" },
        { "xcb", "unix:1", "", "", "x11::1" },
        { "xcb", "unix:1.0", "", "", "x11::1" },
        // Another server, a server reached through the network (a forwarded
        // session's included), and spellings left as they are.
        { "xcb", ":10", "", "", "x11::10" },
        { "xcb", "localhost:10.0", "", "", "x11:localhost:10" },
        { "xcb", "scope-lab:0", "", "", "x11:scope-lab:0" },
        { "xcb", "host::0", "", "", "x11:host::0" },
        { "xcb", "/tmp/launch-x/org.x:0", "", "", "x11:/tmp/launch-x/org.x:0" },
        { "xcb", ":99999999999999999999999", "", "", "x11::99999999999999999999999" },
        { "xcb", "", "", "", "x11:" },
        // The X display is not looked at under Wayland, nor Wayland under X.
        { "xcb", ":1", "wayland-0", "/run/user/1000", "x11::1" },
        { "wayland", ":1", "wayland-1", "/run/user/1000", "wayland:/run/user/1000/wayland-1" },
        { "wayland", "", "", "/run/user/1000", "wayland:/run/user/1000/wayland-0" },
        { "wayland", "", "wayland-0", "/run/user/1000/", "wayland:/run/user/1000/wayland-0" },
        { "wayland", "", "/tmp/compositor", "/run/user/1000", "wayland:/tmp/compositor" },
        { "wayland-egl", "", "wayland-0", "/run/user/1001", "wayland:/run/user/1001/wayland-0" },
        { "wayland", "", "wayland-0", "", "wayland:wayland-0" },
        // Other window systems have a key of their own.
        { "offscreen", ":1", "wayland-0", "/run/user/1000", "offscreen" },
        { "eglfs", "", "", "", "eglfs" },
    };
    for (const Case& c : cases)
        EXPECT_EQ(SingleInstance::DisplayKey(c.Platform, c.XDisplay, c.WaylandDisplay, c.RuntimeDir), c.Key)
            << c.Platform << " " << c.XDisplay << " " << c.WaylandDisplay << " " << c.RuntimeDir;
}

TEST(SingleInstance, TheDisplayOptionIsReadFromTheCommandLine)
{
    struct Case {
        std::vector<const char*> Args;
        const char* Display;
    };
    const Case cases[] = {
        { { "zop5" }, "" }, { { "zop5", "f.zop" }, "" }, { { "zop5", "-display", ":2", "f.zop" }, ":2" },
        { { "zop5", "--display", "unix:3.0" }, "unix:3.0" }, { { "zop5", "-display" }, "" }, // no value: no display
    };
    for (const Case& c : cases) {
        std::vector<char*> argv;
        for (const char* a : c.Args)
            argv.push_back(const_cast<char*>(a));
        EXPECT_EQ(SingleInstance::XDisplayOption(static_cast<int>(argv.size()), argv.data()), c.Display);
    }
}

} // namespace
} // namespace zop
