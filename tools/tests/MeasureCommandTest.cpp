// zop5-tool measure, run as a user runs it, on files whose texts follow from
// the measurement rules.
#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <cmath>
#include <filesystem>

#include "tests/support/TestEnvironment.h"
#include "tools/tests/ToolRunner.h"

namespace zop::test {
namespace {

using Json = nlohmann::json;

SampleArray Constant(int32_t value)
{
    SampleArray samples;
    samples.fill(value);
    return samples;
}

class Measure : public testing::Test {
protected:
    std::string Write(const std::string& name, const WaveformText& waveform)
    {
        const std::string path = m_dir.File(name);
        WriteBytes(path, WaveformFileBytes(waveform));
        return path;
    }
    TempDir m_dir;
};

TEST_F(Measure, FlatLineAtTheZeroReferenceReadsZeroAndNoDecibels)
{
    WaveformText flat;
    flat.Samples = Constant(127);
    flat.ZeroRef = 127;
    flat.VoltsLabel = "0.1V/div"; // x1, row 5
    const ChildResult result = RunTool({ "measure", Write("flat.zop", flat) });
    EXPECT_EQ(result.ExitCode, 0) << result.Err;
    EXPECT_EQ(result.Err, "");
    EXPECT_EQ(result.Out, "1ms/div\t0.1V/div\t0mVdc\t0mVpp\t0mVrms\t... dB\n");
}

TEST_F(Measure, OffScaleSampleGivesNoNumbersInTheUnitOfTheProbe)
{
    WaveformText clipped;
    clipped.Samples = Constant(120);
    clipped.Samples[40] = 255;
    for (const char* label : { "5mV/div", "10mV/div", "20mV/div", "50mV/div", "0.1V/div" }) {
        clipped.VoltsLabel = label;
        const ChildResult result = RunTool({ "measure", Write("clipped.zop", clipped) });
        EXPECT_EQ(SplitTabs(Lines(result.Out).at(0)),
            (std::vector<std::string> { "1ms/div", label, "...mVdc", "...mVpp", "...mVrms", "... dB" }));
    }
    // Row 3 with the x10 probe is in volts.
    clipped.VoltsLabel = "20mV/div";
    const ChildResult x10 = RunTool({ "measure", "--probe", "x10", Write("clipped.zop", clipped) });
    EXPECT_EQ(x10.Out, "1ms/div\t0.2V/div\t...Vdc\t...Vpp\t...Vrms\t... dB\n");

    // Sample 0 is off-scale too.
    clipped.Samples[40] = 0;
    const ChildResult zero = RunTool({ "measure", Write("clipped.zop", clipped) });
    EXPECT_EQ(SplitTabs(zero.Out).at(2), "...mVdc");
}

TEST_F(Measure, LargestDcLevelSwitchesToScientificNotation)
{
    WaveformText high;
    high.Samples = Constant(254);
    high.ZeroRef = 0;
    high.VoltsLabel = "20V/div"; // x1 row 12; x10 gives 254 x 6.29921 V
    const ChildResult result = RunTool({ "measure", "--probe", "x10", Write("high.zop", high) });
    EXPECT_EQ(result.ExitCode, 0);
    const std::vector<std::string> fields = SplitTabs(Lines(result.Out).at(0));
    EXPECT_EQ(fields.at(1), "200V/div");
    EXPECT_EQ(fields.at(2), "1.6E3Vdc");
    EXPECT_EQ(fields.at(3), "0Vpp");
}

TEST_F(Measure, CursorReadoutFollowsTheTimeBase)
{
    struct Case {
        const char* TimeLabel;
        const char* Columns;
        const char* Dt;
        const char* F;
    };
    for (const Case& c : {
             Case { "1ms/div", "10,30", "dt=2ms", "f=500Hz" },
             Case { "2\xB5s/div", "0,1", "dt=0.2\xC2\xB5s", "f=5MHz" }, // printed in UTF-8
             Case { "20s/div", "0,95", "dt=190s", "f=5.26mHz" },
             Case { "1ms/div", "30,10", "dt=2ms", "f=500Hz" }, // right to left
             Case { "1ms/div", "7,7", "dt=0ms", "f=...Hz" }, // a click without a drag
         }) {
        WaveformText waveform;
        waveform.TimeLabel = c.TimeLabel;
        waveform.Samples = Constant(100);
        const ChildResult result = RunTool({ "measure", "--cursors", c.Columns, Write("t.zop", waveform) });
        ASSERT_EQ(result.ExitCode, 0) << result.Err;
        const std::vector<std::string> fields = SplitTabs(Lines(result.Out).at(0));
        ASSERT_EQ(fields.size(), 9u) << result.Out;
        EXPECT_EQ(fields[6], "dV=0mV") << c.Columns;
        EXPECT_EQ(fields[7], c.Dt) << c.Columns;
        EXPECT_EQ(fields[8], c.F) << c.Columns;
    }
}

TEST_F(Measure, ProbeRescalesTheVoltageDifferenceButNotTheTime)
{
    WaveformText waveform;
    waveform.Samples = Constant(120);
    waveform.Samples[10] = 100;
    waveform.Samples[30] = 150;
    waveform.VoltsLabel = "0.1V/div";
    const std::string path = Write("crosses.zop", waveform);

    const ChildResult x1 = RunTool({ "measure", "--cursors", "10,30", path });
    const std::vector<std::string> one = SplitTabs(Lines(x1.Out).at(0));
    EXPECT_EQ(one.at(6), "dV=157mV"); // 50 counts x 3.1496 mV
    const ChildResult x10 = RunTool({ "measure", "--probe", "x10", "--cursors", "10,30", path });
    const std::vector<std::string> ten = SplitTabs(Lines(x10.Out).at(0));
    EXPECT_EQ(ten.at(1), "1V/div");
    EXPECT_EQ(ten.at(6), "dV=1.57V");
    EXPECT_EQ(ten.at(7), one.at(7));
    EXPECT_EQ(ten.at(8), one.at(8));

    // A cross on an off-scale sample has no voltage difference.
    waveform.Samples[30] = 255;
    const ChildResult off = RunTool({ "measure", "--cursors", "10,30", Write("off.zop", waveform) });
    EXPECT_EQ(SplitTabs(Lines(off.Out).at(0)).at(6), "dV=...mV");
}

TEST_F(Measure, RefusedFileIsReportedAndTheOthersAreStillMeasured)
{
    WaveformText good;
    good.Samples = Constant(127);
    const std::string first = Write("first.zop", good);
    WaveformText bad = good;
    bad.ZeroRef = 256;
    const std::string refused = Write("refused.zop", bad);
    const std::string wrongExtension = m_dir.File("good.txt");
    WriteBytes(wrongExtension, WaveformFileBytes(good));
    const std::string missing = m_dir.File("missing.zop");
    const std::string folder = m_dir.File("folder.zop");
    std::filesystem::create_directory(folder);
    const std::string last = Write("LAST.ZOP", good);

    const ChildResult result = RunTool({ "measure", "--names", first, refused, wrongExtension, missing, folder, last });
    EXPECT_EQ(result.ExitCode, 1);
    const std::vector<std::string> lines = Lines(result.Out);
    ASSERT_EQ(lines.size(), 2u) << result.Out;
    EXPECT_EQ(SplitTabs(lines[0]).at(0), first);
    EXPECT_EQ(SplitTabs(lines[1]).at(0), last);
    const std::vector<std::string> errors = Lines(result.Err);
    ASSERT_EQ(errors.size(), 4u) << result.Err;
    EXPECT_EQ(errors[0], refused + ": Incorrect file type");
    EXPECT_EQ(errors[1], wrongExtension + ": Incorrect file type");
    // A file that cannot be read at all says why.
    EXPECT_EQ(errors[2], missing + ": Incorrect file type (No such file or directory)");
    EXPECT_EQ(errors[3], folder + ": Incorrect file type (Is a directory)");
}

TEST_F(Measure, TextsArePrintedAsReadInUtf8)
{
    WaveformText waveform;
    waveform.TimeLabel = "2\xB5S/DIV"; // capitals kept as read
    waveform.VoltsLabel = "1v/div"; // shown as the table writes it
    waveform.Samples = Constant(130);
    const ChildResult result = RunTool({ "measure", Write("caps.zop", waveform) });
    EXPECT_EQ(result.ExitCode, 0) << result.Err;
    EXPECT_EQ(SplitTabs(result.Out).at(0), "2\xC2\xB5S/DIV");
    EXPECT_EQ(SplitTabs(result.Out).at(1), "1V/div");
}

TEST_F(Measure, JsonCarriesTheTextsAndTheNumbers)
{
    WaveformText waveform;
    waveform.Description = "quote \" and tab \t inside";
    waveform.VoltsLabel = "0.1V/div";
    waveform.ZeroRef = 100;
    for (int i = 0; i < SampleCount; ++i)
        waveform.Samples[static_cast<size_t>(i)] = i % 2 ? 150 : 110; // mean 130, +-20 counts
    const std::string path = Write("square.zop", waveform);
    const ChildResult result = RunTool({ "measure", "--json", "--cursors", "0,1", path });
    ASSERT_EQ(result.ExitCode, 0) << result.Err;
    ASSERT_EQ(Lines(result.Out).size(), 1u);
    const Json json = Json::parse(Lines(result.Out)[0]);

    EXPECT_EQ(json["file"].get<std::string>(), path);
    EXPECT_EQ(json["description"].get<std::string>(), waveform.Description);
    EXPECT_EQ(json["time"].get<std::string>(), "10:15:00");
    EXPECT_EQ(json["volts_div"].get<std::string>(), "0.1V/div");
    EXPECT_EQ(json["dc"].get<std::string>(), "94.5mVdc"); // 30 counts x 3.1496 mV
    EXPECT_EQ(json["dv"].get<std::string>(), "dV=126mV");
    EXPECT_FALSE(json["clipped"].get<bool>());
    EXPECT_NEAR(json["dc_volts"].get<double>(), 30 * 0.0031496, 1e-9);
    EXPECT_NEAR(json["peak_to_peak_volts"].get<double>(), 40 * 0.0031496, 1e-9);
    EXPECT_NEAR(json["rms_volts"].get<double>(), 20 * 0.0031496, 1e-9);
    EXPECT_NEAR(json["db_value"].get<double>(), 20 * std::log10(20 * 0.0031496 / 0.775), 1e-6);
    EXPECT_NEAR(json["dv_volts"].get<double>(), 40 * 0.0031496, 1e-9);
    EXPECT_NEAR(json["dt_seconds"].get<double>(), 0.0001, 1e-12);
    EXPECT_NEAR(json["f_hertz"].get<double>(), 10000, 1e-6);

    // Clipped: texts without numbers.
    waveform.Samples[5] = 0;
    const ChildResult clipped = RunTool({ "measure", "--json", Write("clipped.zop", waveform) });
    const Json off = Json::parse(Lines(clipped.Out).at(0));
    EXPECT_TRUE(off["clipped"].get<bool>());
    EXPECT_TRUE(off["dc_volts"].is_null());
    EXPECT_TRUE(off["db_value"].is_null());
    EXPECT_FALSE(off.contains("dv")) << "no cursors asked for";
}

TEST_F(Measure, UsageErrorsExitWithTwo)
{
    WaveformText waveform;
    const std::string path = Write("w.zop", waveform);
    for (const std::vector<std::string>& args : std::vector<std::vector<std::string>> {
             { "measure" },
             { "measure", "--probe", "x5", path },
             { "measure", "--probe" },
             { "measure", "--cursors", "10", path },
             { "measure", "--cursors", "10,96", path },
             { "measure", "--cursors", "-1,3", path },
             { "measure", "--cursors", "a,b", path },
             { "measure", "--bogus", path },
             { "frobnicate" },
             {},
         }) {
        const ChildResult result = RunTool(args);
        EXPECT_EQ(result.ExitCode, 2) << testing::PrintToString(args);
        EXPECT_EQ(result.Out, "") << testing::PrintToString(args);
        EXPECT_NE(result.Err, "") << testing::PrintToString(args);
    }
    const ChildResult help = RunTool({ "measure", "--help" });
    EXPECT_EQ(help.ExitCode, 0);
    EXPECT_NE(help.Out.find("Usage: zop5-tool measure"), std::string::npos);
}

} // namespace
} // namespace zop::test
