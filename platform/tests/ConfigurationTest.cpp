#include <QFile>
#include <QSettings>
#include <gtest/gtest.h>

#include "platform/Configuration.h"
#include "tests/support/TestEnvironment.h"

namespace zop {
namespace {

class ConfigurationTest : public testing::Test {
protected:
    void SetUp() override { QFile::remove(Configuration().FilePath()); }
    void TearDown() override { QFile::remove(Configuration().FilePath()); }

    static void Store(const QByteArray& fileText)
    {
        QFile file(Configuration().FilePath());
        ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
        file.write(fileText);
    }
    static QByteArray StoredText()
    {
        QFile file(Configuration().FilePath());
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    }
};

TEST_F(ConfigurationTest, LivesInTheTestsOwnConfigurationFolder)
{
    EXPECT_EQ(Configuration().FilePath().toStdString(), test::ConfigHome() + "/Tracelet ZOP5.ini");
}

TEST_F(ConfigurationTest, NoStoredValueGivesSmoothAndWritesSmooth)
{
    Configuration configuration;
    EXPECT_EQ(configuration.ReadViewMode(), TraceMode::Smooth);
    configuration.WriteViewMode(configuration.ReadViewMode());
    EXPECT_TRUE(StoredText().contains("[Configuration]\nViewMode=Smooth")) << StoredText().toStdString();
}

TEST_F(ConfigurationTest, DotInAnyLetterCaseAndUnknownValues)
{
    const std::pair<const char*, TraceMode> cases[] = {
        { "dot", TraceMode::Dot },
        { "DOT", TraceMode::Dot },
        { "dOt", TraceMode::Dot },
        { "Bar", TraceMode::Bar },
        { "bar", TraceMode::Bar },
        { "Smooth", TraceMode::Smooth },
        { "Lines", TraceMode::Smooth },
        { "", TraceMode::Smooth },
        { "1", TraceMode::Smooth },
        { "\"Dot \"", TraceMode::Smooth },
        { "Dot, Bar", TraceMode::Smooth },
    };
    int n = 0;
    for (const auto& [stored, expected] : cases) {
        // QSettings caches a file by its size and time within the process; a
        // comment of another length makes each case a new file to it.
        Store(QByteArray("[Configuration]\nViewMode=") + stored + "\n;" + QByteArray(100 * ++n, 'x') + "\n");
        EXPECT_EQ(Configuration().ReadViewMode(), expected) << stored;
    }
}

TEST_F(ConfigurationTest, GarbageFileGivesSmooth)
{
    Store(QByteArray("\x00\xff\xfe[[[=\n\x01ViewMode", 16));
    EXPECT_EQ(Configuration().ReadViewMode(), TraceMode::Smooth);
}

TEST_F(ConfigurationTest, WritesEachModeUnderItsName)
{
    for (TraceMode mode : { TraceMode::Dot, TraceMode::Bar, TraceMode::Smooth }) {
        Configuration().WriteViewMode(mode);
        EXPECT_EQ(Configuration().ReadViewMode(), mode);
        QSettings raw(Configuration().FilePath(), QSettings::IniFormat);
        EXPECT_EQ(raw.value("Configuration/ViewMode").toString().toStdString(), ViewModeName(mode));
    }
}

} // namespace
} // namespace zop
