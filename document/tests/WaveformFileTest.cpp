#include <gtest/gtest.h>

#include <fstream>
#include <random>
#include <sys/stat.h>

#include "document/WaveformFile.h"
#include "tests/support/TestEnvironment.h"
#include "waveform/ScaleTables.h"

namespace zop {
namespace {

// The 104 lines of an acceptable file; tests change single lines.
std::vector<std::string> ValidLines()
{
    std::vector<std::string> lines
        = { "Zop5 V1.0", "Mains ripple", "07-12-2026", "08:30:12", "1ms/div", "1V/div", "127", "" };
    for (int i = 0; i < SampleCount; ++i)
        lines.push_back(std::to_string((i * 7) % 256));
    return lines;
}

std::string Join(const std::vector<std::string>& lines, std::string_view end = "\r\n")
{
    std::string bytes;
    for (const std::string& line : lines)
        bytes += line + std::string(end);
    return bytes;
}

bool Read(const std::string& bytes, IncomingImage& incoming)
{
    return ReadWaveformData(bytes, incoming);
}

bool ReadWithLine(size_t lineNumber, const std::string& text, IncomingImage* out = nullptr)
{
    std::vector<std::string> lines = ValidLines();
    lines[lineNumber - 1] = text;
    IncomingImage incoming;
    const bool ok = Read(Join(lines), incoming);
    if (out)
        *out = incoming;
    return ok;
}

using test::ReadBytes;
using test::WriteBytes;

TEST(WaveformFileReader, AcceptsAWellFormedFile)
{
    IncomingImage incoming;
    incoming.IncomingCursors = { 1, 2, 3, 4 };
    ASSERT_TRUE(Read(Join(ValidLines()), incoming));
    EXPECT_EQ(incoming.Description, "Mains ripple");
    EXPECT_EQ(incoming.Date, "07-12-2026");
    EXPECT_EQ(incoming.Time, "08:30:12");
    EXPECT_EQ(incoming.TimeLabel, "1ms/div");
    EXPECT_EQ(incoming.TimeIndex, 9);
    EXPECT_EQ(incoming.VoltsLabel, "1V/div");
    EXPECT_EQ(incoming.VoltIndex, 8);
    EXPECT_EQ(incoming.ProbeFactor, 1);
    EXPECT_EQ(incoming.ZeroRef, 127);
    EXPECT_EQ(incoming.Samples[0], 0);
    EXPECT_EQ(incoming.Samples[95], (95 * 7) % 256);
    EXPECT_EQ(incoming.IncomingCursors, CursorPositions {}) << "a loaded waveform has no crosses placed";
}

TEST(WaveformFileReader, SignatureAndLabelsIgnoreAsciiLetterCase)
{
    IncomingImage incoming;
    EXPECT_TRUE(ReadWithLine(1, "zop5 v1.0"));
    EXPECT_FALSE(ReadWithLine(1, "Zop5 V1.0 "));
    EXPECT_FALSE(ReadWithLine(1, "Zop5 V1.1"));

    // The time label is shown as read; the micro sign (0xB5) is no letter.
    ASSERT_TRUE(ReadWithLine(5, "2\xB5S/DIV", &incoming));
    EXPECT_EQ(incoming.TimeIndex, 1);
    EXPECT_EQ(incoming.TimeLabel, "2\xB5S/DIV");
    EXPECT_FALSE(ReadWithLine(5, "2\xC2\xB5s/div")) << "the UTF-8 form of the label is not the label";
    EXPECT_FALSE(ReadWithLine(5, "20s/div ")) << "a trailing blank matches nothing";
    ASSERT_TRUE(ReadWithLine(5, "20S/DIV", &incoming));
    EXPECT_EQ(incoming.TimeIndex, 22);

    // The volts label is replaced by the table's own text.
    ASSERT_TRUE(ReadWithLine(6, "1v/DIV", &incoming));
    EXPECT_EQ(incoming.VoltsLabel, "1V/div");
    EXPECT_EQ(incoming.VoltIndex, 8);
    EXPECT_EQ(incoming.ProbeFactor, 1);
    EXPECT_FALSE(ReadWithLine(6, "3V/div"));
}

TEST(WaveformFileReader, VoltsLabelsInBothColumnsResolveToProbeX1)
{
    const std::vector<std::pair<std::string, int>> shared = { { "50mV/div", 4 }, { "0.1V/div", 5 }, { "0.2V/div", 6 },
        { "1V/div", 8 }, { "2V/div", 9 }, { "4V/div", 10 }, { "20V/div", 12 } };
    for (const auto& [label, x1Row] : shared) {
        IncomingImage incoming;
        ASSERT_TRUE(ReadWithLine(6, label, &incoming)) << label;
        EXPECT_EQ(incoming.VoltIndex, x1Row) << label;
        EXPECT_EQ(incoming.ProbeFactor, 1) << label;
    }
    const std::vector<std::pair<std::string, int>> x10Only
        = { { "0.5V/div", 4 }, { "10V/div", 8 }, { "40V/div", 10 }, { "80V/div", 11 }, { "200V/div", 12 } };
    for (const auto& [label, row] : x10Only) {
        IncomingImage incoming;
        ASSERT_TRUE(ReadWithLine(6, label, &incoming)) << label;
        EXPECT_EQ(incoming.VoltIndex, row) << label;
        EXPECT_EQ(incoming.ProbeFactor, 10) << label;
        EXPECT_EQ(incoming.VoltsLabel, label);
    }
}

TEST(WaveformFileReader, NumbersFollowTheIntegerRule)
{
    IncomingImage incoming;
    ASSERT_TRUE(ReadWithLine(9, "$FF", &incoming));
    EXPECT_EQ(incoming.Samples[0], 255);
    ASSERT_TRUE(ReadWithLine(9, "$0a", &incoming));
    EXPECT_EQ(incoming.Samples[0], 10);
    ASSERT_TRUE(ReadWithLine(7, "   +12", &incoming));
    EXPECT_EQ(incoming.ZeroRef, 12);
    ASSERT_TRUE(ReadWithLine(10, "000000000000000000000000000042", &incoming));
    EXPECT_EQ(incoming.Samples[1], 42);
    ASSERT_TRUE(ReadWithLine(104, "-0", &incoming));
    EXPECT_EQ(incoming.Samples[95], 0);

    for (const char* bad : { "12a", "", " ", "12 ", "- 5", "+", "-", "$", "$G", "0x10", "1.0", "\t5", "+$5",
             "99999999999999999999", "4294967296" })
        EXPECT_FALSE(ReadWithLine(50, bad)) << "sample line '" << bad << "'";
}

TEST(WaveformFileReader, ValuesOutsideEightBitsAreRefused)
{
    EXPECT_FALSE(ReadWithLine(7, "256"));
    EXPECT_FALSE(ReadWithLine(7, "-1"));
    EXPECT_FALSE(ReadWithLine(9, "-1"));
    EXPECT_FALSE(ReadWithLine(104, "256"));
    EXPECT_FALSE(ReadWithLine(104, "$100"));
    EXPECT_TRUE(ReadWithLine(7, "0"));
    EXPECT_TRUE(ReadWithLine(7, "255"));

    // A failed check does not stop the reading: the rest is still taken in.
    IncomingImage incoming;
    EXPECT_FALSE(ReadWithLine(7, "300", &incoming));
    EXPECT_EQ(incoming.ZeroRef, 300);
    EXPECT_EQ(incoming.Samples[95], (95 * 7) % 256);
}

TEST(WaveformFileReader, LineEndsAndTheEndOfTheData)
{
    IncomingImage incoming;
    EXPECT_FALSE(Read(Join(ValidLines(), "\n"), incoming)) << "LF alone does not end a line";
    EXPECT_TRUE(Read(Join(ValidLines(), "\r"), incoming)) << "CR alone does";

    std::vector<std::string> lines = ValidLines();
    lines[7] = "anything at all";
    lines.push_back("line 105");
    lines.push_back("garbage \x1A more");
    EXPECT_TRUE(Read(Join(lines), incoming)) << "line 8 and lines after 104 are ignored";

    lines = ValidLines();
    lines.pop_back();
    EXPECT_FALSE(Read(Join(lines), incoming)) << "103 lines";

    std::string noFinalLineEnd = Join(ValidLines());
    noFinalLineEnd.resize(noFinalLineEnd.size() - 2);
    EXPECT_TRUE(Read(noFinalLineEnd, incoming)) << "the end of the file ends line 104";

    std::string stopped = Join(ValidLines());
    stopped.insert(stopped.find("\r\n127\r\n"), "\x1A");
    EXPECT_FALSE(Read(stopped, incoming)) << "0x1A in the middle ends the data";

    std::string afterData = Join(ValidLines()) + "\x1A";
    EXPECT_TRUE(Read(afterData, incoming));

    lines = ValidLines();
    lines[1] = "a\nb"; // an LF that does not follow a CR stays in the line
    ASSERT_TRUE(Read(Join(lines), incoming));
    EXPECT_EQ(incoming.Description, "a\nb");

    EXPECT_FALSE(Read("", incoming));
}

TEST(WaveformFileReader, LongLinesAreReadWhole)
{
    IncomingImage incoming;
    const std::string longText(200000, 'x');
    ASSERT_TRUE(ReadWithLine(2, longText, &incoming));
    EXPECT_EQ(incoming.Description, longText);
    EXPECT_FALSE(ReadWithLine(1, "Zop5 V1.0" + std::string(100000, ' ')));
    EXPECT_FALSE(ReadWithLine(5, "1ms/div" + std::string(100, '\0')));
    EXPECT_TRUE(ReadWithLine(9, std::string(100000, ' ') + "17", &incoming));
    EXPECT_EQ(incoming.Samples[0], 17);

    // An outsized text is cut where the program stops keeping it; the
    // lines after it are read as usual.
    std::vector<std::string> lines = ValidLines();
    lines[2] = std::string(WaveformTextLimit, 'd') + "tail";
    ASSERT_TRUE(Read(Join(lines), incoming));
    EXPECT_EQ(incoming.Date, std::string(WaveformTextLimit, 'd'));
    EXPECT_EQ(incoming.Time, "08:30:12");
    EXPECT_EQ(incoming.TimeIndex, 9);
}

TEST(WaveformFileLoader, TheExtensionIsTestedBeforeTheFileIsOpened)
{
    test::TempDir dir;
    const std::string body = Join(ValidLines());
    IncomingImage incoming;
    for (const char* name : { "TRACE.ZOP", "trace.zop", "Trace.ZoP", "a.b.zop" }) {
        WriteBytes(dir.File(name), body);
        EXPECT_TRUE(LoadWaveformFile(dir.File(name), incoming)) << name;
    }
    for (const char* name : { "trace.txt", "trace.zop.txt", "trace", "trace.zo", "trace.zopx" }) {
        WriteBytes(dir.File(name), body);
        EXPECT_FALSE(LoadWaveformFile(dir.File(name), incoming)) << name;
    }
    // The folder's dot is no extension of the file.
    ASSERT_EQ(mkdir(dir.File("folder.zop").c_str(), 0755), 0);
    WriteBytes(dir.File("folder.zop/trace"), body);
    EXPECT_FALSE(LoadWaveformFile(dir.File("folder.zop/trace"), incoming));

    // A pipe with a waveform's name would be read only after its extension
    // passed; then it is refused without waiting for a writer.
    ASSERT_EQ(mkfifo(dir.File("pipe.txt").c_str(), 0600), 0);
    EXPECT_FALSE(LoadWaveformFile(dir.File("pipe.txt"), incoming));
    ASSERT_EQ(mkfifo(dir.File("pipe.zop").c_str(), 0600), 0);
    EXPECT_FALSE(LoadWaveformFile(dir.File("pipe.zop"), incoming));
}

TEST(WaveformFileLoader, FilesThatCannotBeReadAreRefused)
{
    test::TempDir dir;
    IncomingImage incoming;
    EXPECT_FALSE(LoadWaveformFile(dir.File("missing.zop"), incoming));
    EXPECT_FALSE(LoadWaveformFile(dir.File("missing/trace.zop"), incoming));
    ASSERT_EQ(mkdir(dir.File("dir.zop").c_str(), 0755), 0);
    EXPECT_FALSE(LoadWaveformFile(dir.File("dir.zop"), incoming));
    EXPECT_FALSE(LoadWaveformFile("", incoming));
}

FormState DocumentForm(int32_t timeIndex, int32_t voltIndex, int32_t probe)
{
    FormState form;
    form.ShowProbe(probe);
    form.Description.SetText("Probe \xB5-test \xE9t\xE9"); // Windows-1252 bytes
    form.DateField.SetText("7.12.2026");
    form.TimeField.SetText("23:59:59");
    form.SettingsPanel[0] = std::string(TimeLabel(timeIndex));
    form.SettingsPanel[1] = std::string(VoltsLabel(voltIndex, probe));
    return form;
}

TEST(WaveformFileRoundTrip, EveryLabelPairWithBothProbesReadsBackIdentical)
{
    std::mt19937 random(5);
    std::uniform_int_distribution<int32_t> byte(0, 255);
    for (int32_t t = 1; t <= TimeBaseRows; ++t)
        for (int32_t v = 1; v <= SensitivityRows; ++v)
            for (int32_t probe : { 1, 10 }) {
                SCOPED_TRACE(
                    "time " + std::to_string(t) + " volts " + std::to_string(v) + " x" + std::to_string(probe));
                const FormState form = DocumentForm(t, v, probe);
                WaveformRecord record;
                record.ZeroRef = byte(random);
                for (int32_t& s : record.Samples)
                    s = byte(random);
                record.Samples[t % SampleCount] = 0;
                record.Samples[(t + 1) % SampleCount] = 255;

                IncomingImage incoming;
                ASSERT_TRUE(ReadWaveformData(FormatWaveformFile(DocumentContents(form, record)), incoming));
                EXPECT_EQ(incoming.Samples, record.Samples);
                EXPECT_EQ(incoming.ZeroRef, record.ZeroRef);
                EXPECT_EQ(incoming.Description, form.Description.Text());
                EXPECT_EQ(incoming.Date, "7.12.2026");
                EXPECT_EQ(incoming.Time, "23:59:59");
                EXPECT_EQ(incoming.TimeLabel, form.SettingsPanel[0]);
                EXPECT_EQ(incoming.TimeIndex, t);
                EXPECT_EQ(incoming.VoltsLabel, form.SettingsPanel[1]) << "the volts per division stay the same";
                // The probe is not stored: a x10 label that also stands in the
                // x1 column comes back as x1, at that column's row.
                const auto x1Row = FindVoltIndex(VoltsLabel(v, probe));
                ASSERT_TRUE(x1Row);
                EXPECT_EQ(incoming.VoltIndex, x1Row->Index);
                EXPECT_EQ(incoming.ProbeFactor, x1Row->ProbeFactor);
                if (probe == 1 || x1Row->ProbeFactor == 10) {
                    EXPECT_EQ(incoming.VoltIndex, v);
                }
            }
}

TEST(WaveformFileWriter, WritesTheLayoutByteForByte)
{
    test::TempDir dir;
    FormState form = DocumentForm(1, 5, 10);
    form.Description.SetText("");
    WaveformRecord record;
    record.ZeroRef = 0;
    for (int i = 0; i < SampleCount; ++i)
        record.Samples[i] = 255 - i;
    record.ProbeFactor = 1;
    DocumentFlags flags;
    flags.Modified = flags.ProbeChanged = true;

    WriteWaveformFile(dir.File("t.zop"), form, record, flags);

    std::string expected = "Zop5 V1.0\r\n\r\n7.12.2026\r\n23:59:59\r\n2\xB5s/div\r\n1V/div\r\n0\r\n\r\n";
    for (int i = 0; i < SampleCount; ++i)
        expected += std::to_string(255 - i) + "\r\n";
    EXPECT_EQ(ReadBytes(dir.File("t.zop")), expected);
    EXPECT_EQ(record.ProbeFactor, 10) << "the probe menu's factor is the saved one";
    EXPECT_FALSE(flags.Modified);
    EXPECT_FALSE(flags.ProbeChanged);

    // Saved with x10 and read back: "1V/div" is the x1 label of row 8.
    IncomingImage incoming;
    ASSERT_TRUE(LoadWaveformFile(dir.File("t.zop"), incoming));
    EXPECT_EQ(incoming.VoltIndex, 8);
    EXPECT_EQ(incoming.ProbeFactor, 1);
}

TEST(WaveformFileWriter, TextsThatWouldBreakTheLinesAreWrittenWithBlanks)
{
    WaveformFileContents contents;
    contents.Description = "one\rtwo\x1A"
                           "three";
    contents.TimeLabel = "1ms/div";
    contents.VoltsLabel = "1V/div";
    IncomingImage incoming;
    ASSERT_TRUE(ReadWaveformData(FormatWaveformFile(contents), incoming));
    EXPECT_EQ(incoming.Description, "one two three");
}

} // namespace
} // namespace zop
