#include <QCoreApplication>
#include <QElapsedTimer>
#include <gtest/gtest.h>
#include <memory>

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

TEST(SingleInstance, CopiesOfOtherExecutablesAreStrangers)
{
    // The default name carries the user and the executable's path.
    EXPECT_TRUE(SingleInstance::DefaultName().startsWith("TZop5Form-"));
    EXPECT_NE(SingleInstance::DefaultName(), UniqueName("x"));
}

} // namespace
} // namespace zop
