#include <gtest/gtest.h>

#include "waveform/WaveformRecord.h"

namespace zop {
namespace {

TEST(WaveformRecord, ResetGivesTheStateBeforeAnyWaveform)
{
    WaveformRecord record;
    DocumentFlags flags;
    CursorPositions cursors { 10, 20, 30, 40 };
    record.Samples.fill(200);
    record.ZeroRef = 3;
    record.VoltIndex = 7;
    record.TimeIndex = 9;
    record.ProbeFactor = 10;
    record.FileName = "/tmp/a.zop";
    flags = { true, true, true };

    ResetRecord(record, flags, cursors);

    for (int32_t sample : record.Samples)
        EXPECT_EQ(sample, 0);
    EXPECT_EQ(record.ZeroRef, 127);
    EXPECT_EQ(record.VoltIndex, 0);
    EXPECT_EQ(record.TimeIndex, 1);
    EXPECT_EQ(record.ProbeFactor, 1);
    EXPECT_TRUE(record.FileName.empty());
    EXPECT_FALSE(flags.Modified);
    EXPECT_FALSE(flags.ProbeChanged);
    EXPECT_FALSE(flags.Unsaved());
    EXPECT_EQ(cursors, CursorPositions {});
    EXPECT_EQ(cursors.X1, -1);
    EXPECT_EQ(cursors.Y2, -1);
}

TEST(WaveformRecord, ClearKeepsScaleAndZeroButTakesTheProbeMenu)
{
    WaveformRecord record;
    DocumentFlags flags { false, true, true };
    CursorPositions cursors { 10, 20, 30, 40 };
    record.Samples.fill(99);
    record.ZeroRef = 42;
    record.VoltIndex = 5;
    record.TimeIndex = 12;
    record.ProbeFactor = 1;
    record.FileName = "x.zop";

    ClearRecord(record, flags, cursors, 10);

    EXPECT_EQ(record.Samples[0], 0);
    EXPECT_EQ(record.Samples[95], 0);
    EXPECT_EQ(record.ZeroRef, 42);
    EXPECT_EQ(record.VoltIndex, 5);
    EXPECT_EQ(record.TimeIndex, 12);
    EXPECT_EQ(record.ProbeFactor, 10);
    EXPECT_TRUE(record.FileName.empty());
    EXPECT_FALSE(flags.Unsaved());
    EXPECT_EQ(cursors, CursorPositions {});
}

TEST(WaveformRecord, EitherFlagMakesTheDocumentUnsaved)
{
    EXPECT_FALSE((DocumentFlags { true, false, false }).Unsaved()); // clipping is no edit
    EXPECT_TRUE((DocumentFlags { false, true, false }).Unsaved());
    EXPECT_TRUE((DocumentFlags { false, false, true }).Unsaved());
}

} // namespace
} // namespace zop
