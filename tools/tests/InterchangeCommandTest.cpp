// zop5-tool's analysis and interchange commands, run as a user runs them:
// measure --extended, spectrum, export to JSON and sigrok sessions, convert.
// JSON is read by a parser that is not ours, sessions by sigrok-cli.
#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <nlohmann/json.hpp>
#include <random>
#include <sys/stat.h>

#include "tests/support/TestEnvironment.h"
#include "tools/SignalGenerator.h"
#include "tools/tests/ToolRunner.h"
#include "waveform/ScaleTables.h"

namespace zop::test {
namespace {

using Json = nlohmann::json;

// The simulator's waveform as the window would save it.
WaveformText Generated(SignalShape shape, double frequency, double amplitude, std::optional<int32_t> voltIndex = {})
{
    SignalSettings settings;
    settings.Shape = shape;
    settings.Frequency = frequency;
    settings.Amplitude = amplitude;
    settings.VoltIndex = voltIndex;
    std::mt19937 random(1);
    const InstrumentWaveform waveform = GenerateWaveform(settings, random);
    WaveformText text;
    text.TimeLabel = std::string(TimeLabel(waveform.TimeIndex));
    text.VoltsLabel = std::string(VoltsLabel(waveform.VoltIndex, 1));
    text.ZeroRef = waveform.ZeroRef;
    text.Samples = waveform.Samples;
    return text;
}

WaveformText Flat(int32_t reading)
{
    WaveformText text;
    text.Samples.fill(reading);
    return text;
}

Json ParseJson(const std::string& text)
{
    try {
        return Json::parse(text);
    } catch (const Json::exception& error) {
        ADD_FAILURE() << error.what() << " in " << text;
        return Json();
    }
}

double Volts(const WaveformText& waveform, size_t i, int32_t probe = 1)
{
    const auto range = FindVoltIndex(waveform.VoltsLabel);
    const VoltScale scale = VoltsPerCount(range->Index, probe);
    return static_cast<double>((waveform.Samples[i] - waveform.ZeroRef) * scale.VoltsPerCount)
        * (scale.Prefix == "m" ? 1e-3 : 1.0);
}

class Interchange : public testing::Test {
protected:
    std::string Write(const WaveformText& waveform, const std::string& name = "wave.zop")
    {
        const std::string path = m_folder.File(name);
        WriteBytes(path, WaveformFileBytes(waveform));
        return path;
    }
    std::string File(const std::string& name) const { return m_folder.File(name); }

    // Runs the tool and expects it to succeed.
    std::string Run(const std::vector<std::string>& args)
    {
        const ChildResult result = RunTool(args);
        EXPECT_EQ(result.ExitCode, 0) << result.Err;
        return result.Out;
    }

private:
    TempDir m_folder;
};

// The twelve analysis columns follow the six texts (and the cursor texts).
TEST_F(Interchange, MeasureExtendedAddsTheAnalysisAsTextAndJson)
{
    struct Case {
        const char* Name;
        WaveformText Waveform;
        std::optional<double> Frequency;
        bool MeanShown;
    };
    const Case cases[] = {
        { "sine", Generated(SignalShape::Sine, 1000, 0.5), 1000.0, true },
        { "square", Generated(SignalShape::Square, 250, 2.0), 250.0, true },
        { "flat", Flat(180), {}, true },
        { "clipped sine", Generated(SignalShape::Sine, 1000, 3.0, 7), 1000.0, false },
        { "noise", Generated(SignalShape::Noise, 1000, 1.0), {}, true },
    };
    for (const Case& c : cases) {
        const std::string path = Write(c.Waveform);
        const std::vector<std::string> columns = SplitTabs(Lines(Run({ "measure", "--extended", path }))[0]);
        ASSERT_EQ(columns.size(), 6u + 12u) << c.Name;
        EXPECT_EQ(columns[6 + 4] == "-", !c.Frequency) << c.Name << ": " << columns[10];
        EXPECT_EQ(columns[6 + 2] == "-", !c.MeanShown) << c.Name;

        const Json line = ParseJson(Run({ "measure", "--extended", "--json", path }));
        for (const char* name : { "min_volts", "max_volts", "mean_volts", "ac_rms_volts", "frequency_hz",
                 "period_seconds", "duty_cycle", "rise_seconds", "fall_seconds", "crest_factor" })
            ASSERT_TRUE(line.contains(name)) << c.Name << " " << name;
        if (c.Frequency) {
            ASSERT_TRUE(line["frequency_hz"].is_number()) << c.Name;
            EXPECT_NEAR(line["frequency_hz"].get<double>(), *c.Frequency, 0.01 * *c.Frequency) << c.Name;
            EXPECT_NEAR(line["period_seconds"].get<double>() * line["frequency_hz"].get<double>(), 1.0, 1e-6);
        } else {
            EXPECT_TRUE(line["frequency_hz"].is_null()) << c.Name;
        }
        EXPECT_EQ(line["mean_volts"].is_null(), !c.MeanShown) << c.Name;
        EXPECT_EQ(line["crest_factor"].is_null(), !c.MeanShown || c.Name == std::string("flat")) << c.Name;
    }
    // With the cursor texts, the analysis comes after them.
    const std::string sine = Write(Generated(SignalShape::Sine, 1000, 0.5));
    const std::vector<std::string> columns
        = SplitTabs(Lines(Run({ "measure", "--cursors", "10,30", "--extended", sine }))[0]);
    ASSERT_EQ(columns.size(), 6u + 3u + 12u);
    EXPECT_EQ(columns[6].substr(0, 3), "dV=");
    EXPECT_EQ(columns[9 + 4], "1kHz");
}

TEST_F(Interchange, SpectrumPrintsDominantFrequencyLevelThdAndEveryBin)
{
    const std::string sine = Write(Generated(SignalShape::Sine, 1000, 0.5), "sine.zop");
    const std::string clipped = Write(Generated(SignalShape::Sine, 1000, 3.0, 7), "clipped.zop");
    const std::string refused = Write(Flat(100), "refused.txt");
    const double bin = 1.0 / (96 * 50e-6); // the simulator's time base for 1 kHz

    const ChildResult text = RunTool({ "spectrum", sine, refused, clipped });
    EXPECT_EQ(text.ExitCode, 1);
    EXPECT_NE(text.Err.find("Incorrect file type"), std::string::npos) << text.Err;
    const std::vector<std::string> lines = Lines(text.Out);
    ASSERT_EQ(lines.size(), 2u);
    const std::vector<std::string> sineFields = SplitTabs(lines[0]);
    ASSERT_EQ(sineFields.size(), 4u);
    EXPECT_EQ(sineFields[0], sine);
    EXPECT_EQ(SplitTabs(lines[1]), (std::vector<std::string> { clipped, "-", "-", "-" }));

    for (const char* window : { "hann", "rect" }) {
        const std::vector<std::string> objects
            = Lines(Run({ "spectrum", "--json", "--window", window, sine, clipped }));
        ASSERT_EQ(objects.size(), 2u);
        const Json s = ParseJson(objects[0]);
        EXPECT_EQ(s["window"], window);
        // The rectangular window leaks on 4.8 periods: its peak is coarser.
        EXPECT_NEAR(s["dominant_frequency_hz"].get<double>(), 1000, (window == std::string("hann") ? 0.1 : 0.5) * bin)
            << window;
        EXPECT_NEAR(s["dominant_dbv"].get<double>(), 20 * std::log10(0.5 / std::sqrt(2.0)), 1.5) << window;
        ASSERT_EQ(s["bins"].size(), 49u);
        for (size_t k = 0; k < 49; ++k) {
            ASSERT_EQ(s["bins"][k].size(), 2u);
            EXPECT_NEAR(s["bins"][k][0].get<double>(), k * bin, 1e-6 * bin);
        }
        const Json none = ParseJson(objects[1]);
        EXPECT_TRUE(none["dominant_frequency_hz"].is_null() && none["thd_percent"].is_null());
        EXPECT_TRUE(none["bins"].empty());
    }
    EXPECT_LT(ParseJson(Run({ "spectrum", "--json", sine }))["thd_percent"].get<double>(), 5.0);

    const std::vector<std::string> csv = Lines(Run({ "spectrum", "--csv", sine, clipped }));
    ASSERT_EQ(csv.size(), 1u + 49u + 1u);
    EXPECT_EQ(csv[0], "file,hz,dbv,dominant_frequency_hz,dominant_dbv,thd_percent");
    EXPECT_EQ(csv[1].substr(0, sine.size() + 3), sine + ",0,");
    EXPECT_EQ(csv[50], clipped + ",,,,,");

    EXPECT_EQ(RunTool({ "spectrum", "--window", "flat", sine }).ExitCode, 2);
    EXPECT_EQ(RunTool({ "spectrum" }).ExitCode, 2);
}

TEST_F(Interchange, JsonExportHoldsTheWholeWaveform)
{
    WaveformText waveform = Generated(SignalShape::Sine, 1000, 3.0, 7); // clipped at both ends
    waveform.Description = "caf\xE9 \x80 test";
    const std::string path = Write(waveform);
    Run({ "export", "--cursors", "10,30", path, File("out.json") });
    const Json json = ParseJson(ReadBytes(File("out.json")));

    EXPECT_EQ(json["format"], "zop5-waveform");
    EXPECT_EQ(json["version"], 1);
    EXPECT_EQ(json["description"], "caf\u00E9 \u20AC test");
    EXPECT_EQ(json["date"], waveform.Date);
    EXPECT_EQ(json["time"], waveform.Time);
    EXPECT_EQ(json["time_div"], "0.5ms/div");
    EXPECT_EQ(json["volts_div"], waveform.VoltsLabel);
    EXPECT_EQ(json["time_index"], 8);
    EXPECT_EQ(json["volt_index"], 7);
    EXPECT_EQ(json["probe"], 1);
    EXPECT_EQ(json["zero_ref"], waveform.ZeroRef);
    EXPECT_DOUBLE_EQ(json["sample_seconds"].get<double>(), 50e-6);
    ASSERT_EQ(json["samples"].size(), 96u);
    ASSERT_EQ(json["volts"].size(), 96u);
    int offScale = 0;
    for (size_t i = 0; i < 96; ++i) {
        EXPECT_EQ(json["samples"][i], waveform.Samples[i]);
        if (waveform.Samples[i] == 0 || waveform.Samples[i] == 255) {
            ++offScale;
            EXPECT_TRUE(json["volts"][i].is_null()) << i;
        } else {
            EXPECT_NEAR(json["volts"][i].get<double>(), Volts(waveform, i), 1e-9) << i;
        }
    }
    EXPECT_GT(offScale, 0);

    const Json measured = ParseJson(Run({ "measure", "--json", "--cursors", "10,30", path }));
    for (const char* text : { "dc", "peak_to_peak", "rms", "db", "dv", "dt", "f" })
        EXPECT_EQ(json["measurements"][text], measured[text]) << text;
    EXPECT_EQ(json["measurements"]["clipped"], true);
    EXPECT_TRUE(json["analysis"]["mean_volts"].is_null());
    EXPECT_NEAR(json["analysis"]["frequency_hz"].get<double>(), 1000, 10);
    EXPECT_TRUE(json["spectrum"]["bins"].empty());
}

// A waveform file exported to JSON and converted back is the file Save
// writes for it: the time label as read, the volts label in the table's
// spelling for the probe shown.
TEST_F(Interchange, JsonRoundTripGivesWhatSaveWrites)
{
    struct Case {
        const char* Name;
        WaveformText Waveform;
        std::vector<std::string> ExportOptions;
        std::string SavedVoltsLabel;
    };
    WaveformText texts = Generated(SignalShape::Triangle, 300, 1.0);
    texts.Description = "\xB5-range probe, caf\xE9 \x81\x8D\x8F\x90\x9D \"quoted\" \\ tab\there";
    texts.Date = "";
    texts.TimeLabel = "2\xB5S/DIV"; // kept as read
    WaveformText lowerCase = Generated(SignalShape::Square, 50, 0.2);
    lowerCase.VoltsLabel = "0.1v/div";
    WaveformText x10Only = Flat(254);
    x10Only.VoltsLabel = "0.5V/div";
    x10Only.ZeroRef = 0;
    const Case cases[] = {
        { "texts", texts, {}, texts.VoltsLabel },
        { "volts label case", lowerCase, {}, "0.1V/div" },
        { "x10-only label", x10Only, {}, "0.5V/div" },
        { "probe switched to x10", Generated(SignalShape::Sine, 1000, 0.5), { "--probe", "x10" }, "" },
        { "empty", Flat(0), {}, "0.1V/div" },
    };
    for (const Case& c : cases) {
        const std::string path = Write(c.Waveform);
        std::vector<std::string> args { "export" };
        args.insert(args.end(), c.ExportOptions.begin(), c.ExportOptions.end());
        args.insert(args.end(), { path, File("out.json") });
        Run(args);
        Run({ "convert", File("out.json"), File("back.zop") });
        WaveformText saved = c.Waveform;
        saved.VoltsLabel = c.SavedVoltsLabel.empty()
            ? std::string(VoltsLabel(FindVoltIndex(c.Waveform.VoltsLabel)->Index, 10))
            : c.SavedVoltsLabel;
        EXPECT_EQ(ReadBytes(File("back.zop")), WaveformFileBytes(saved)) << c.Name;
    }
}

float LittleFloat(const std::string& bytes, size_t at)
{
    uint32_t bits = 0;
    for (int i = 3; i >= 0; --i)
        bits = bits << 8 | static_cast<uint8_t>(bytes.at(at + static_cast<size_t>(i)));
    return std::bit_cast<float>(bits);
}

// sigrok-cli reads the session: its sample rate, 96 samples, and (through
// its float WAV output) every value as the float of the volts we hold, an
// off-scale sample at the range's end.
TEST_F(Interchange, SigrokSessionsAreReadBackBySigrokCli)
{
    struct Case {
        const char* Name;
        WaveformText Waveform;
        std::vector<std::string> Options;
        int32_t Probe;
        uint64_t Rate;
    };
    WaveformText fast = Generated(SignalShape::Sine, 1e6, 0.05);
    WaveformText slow = Generated(SignalShape::Triangle, 0.05, 5.0);
    slow.TimeLabel = "10s/div";
    const Case cases[] = {
        { "2us/div", fast, {}, 1, 5000000 },
        { "10s/div", slow, {}, 1, 1 },
        { "clipped, x10", Generated(SignalShape::Square, 1000, 3.0, 7), { "--probe", "x10" }, 10, 20000 },
    };
    for (const Case& c : cases) {
        ASSERT_EQ(c.Waveform.TimeLabel.back(), 'v') << c.Name; // a label of the table
        const std::string path = Write(c.Waveform);
        std::vector<std::string> args { "export" };
        args.insert(args.end(), c.Options.begin(), c.Options.end());
        args.insert(args.end(), { path, File("out.sr") });
        Run(args);

        const ChildResult show = RunChild({ "sigrok-cli", "-i", File("out.sr"), "--show" });
        ASSERT_EQ(show.ExitCode, 0) << show.Err;
        EXPECT_NE(show.Out.find("Samplerate: " + std::to_string(c.Rate) + "\n"), std::string::npos)
            << c.Name << show.Out;
        EXPECT_NE(show.Out.find("Analog sample count: 96\n"), std::string::npos) << c.Name << show.Out;

        const ChildResult wav = RunChild({ "sigrok-cli", "-i", File("out.sr"), "-O", "wav", "-o", File("out.wav") });
        ASSERT_EQ(wav.ExitCode, 0) << wav.Err;
        const std::string bytes = ReadBytes(File("out.wav"));
        const size_t data = bytes.find("data");
        ASSERT_NE(data, std::string::npos);
        ASSERT_EQ(bytes.size() - (data + 8), 96u * 4u) << c.Name;
        for (size_t i = 0; i < 96; ++i)
            EXPECT_EQ(LittleFloat(bytes, data + 8 + 4 * i), static_cast<float>(Volts(c.Waveform, i, c.Probe)))
                << c.Name << " " << i;
    }

    // Two seconds a sample is below the whole hertz a session can hold.
    WaveformText slowest = Flat(100);
    slowest.TimeLabel = "20s/div";
    const ChildResult refused = RunTool({ "export", Write(slowest), File("slow.sr") });
    EXPECT_EQ(refused.ExitCode, 1);
    EXPECT_NE(refused.Err.find("1 Hz"), std::string::npos) << refused.Err;
    struct stat info { };
    EXPECT_NE(stat(File("slow.sr").c_str(), &info), 0);
}

// The CSV table holds no texts; the time base comes from its time column,
// the range and zero reference from its volts column, or from options where
// the volts cannot tell them.
TEST_F(Interchange, CsvConvertsBackWithTheRangeItsVoltsName)
{
    struct Case {
        const char* Name;
        WaveformText Waveform;
        std::vector<std::string> ExportOptions;
        std::vector<std::string> ConvertOptions;
        std::string SavedVoltsLabel;
    };
    WaveformText x10 = Generated(SignalShape::Sine, 440, 0.2);
    WaveformText flat = Flat(90);
    flat.VoltsLabel = "20V/div";
    flat.ZeroRef = 30;
    const Case cases[] = {
        { "sine", Generated(SignalShape::Sine, 5000, 1.0), {}, {}, "" },
        { "texts given", Generated(SignalShape::Triangle, 20, 0.01), {},
            { "--description", "caf\u00E9", "--date", "1/2/2027", "--time", "08:00:00" }, "" },
        { "x10", x10, { "--probe", "x10" }, {}, std::string(VoltsLabel(FindVoltIndex(x10.VoltsLabel)->Index, 10)) },
        { "flat, range given", flat, {}, { "--volts-div", "20V/div", "--zero-ref", "30" }, "" },
        { "clipped", Generated(SignalShape::Sine, 1000, 3.0, 7), {}, {}, "" },
    };
    for (const Case& c : cases) {
        const std::string path = Write(c.Waveform);
        std::vector<std::string> exportArgs { "export" };
        exportArgs.insert(exportArgs.end(), c.ExportOptions.begin(), c.ExportOptions.end());
        exportArgs.insert(exportArgs.end(), { path, File("out.csv") });
        Run(exportArgs);
        std::vector<std::string> convertArgs { "convert" };
        convertArgs.insert(convertArgs.end(), c.ConvertOptions.begin(), c.ConvertOptions.end());
        convertArgs.insert(convertArgs.end(), { File("out.csv"), File("back.zop") });
        Run(convertArgs);

        WaveformText saved = c.Waveform;
        saved.Description = saved.Date = saved.Time = "";
        if (c.ConvertOptions.size() == 6) {
            saved.Description = "caf\xE9";
            saved.Date = "1/2/2027";
            saved.Time = "08:00:00";
        }
        if (!c.SavedVoltsLabel.empty())
            saved.VoltsLabel = c.SavedVoltsLabel;
        EXPECT_EQ(ReadBytes(File("back.zop")), WaveformFileBytes(saved)) << c.Name;
    }

    // A flat line's volts fix neither the range nor, off zero, the zero reference.
    Run({ "export", Write(flat), File("flat.csv") });
    const ChildResult unknown = RunTool({ "convert", File("flat.csv"), File("flat.zop") });
    EXPECT_EQ(unknown.ExitCode, 1);
    EXPECT_NE(unknown.Err.find("--volts-div"), std::string::npos) << unknown.Err;
}

// What convert refuses, with the reason on standard error, and never a
// waveform file from it.
TEST_F(Interchange, ConvertRefusesWhatIsNotAnExportedWaveform)
{
    Run({ "export", Write(Generated(SignalShape::Sine, 1000, 0.5)), File("good.json") });
    const Json good = ParseJson(ReadBytes(File("good.json")));
    const auto edited = [&](const std::function<void(Json&)>& edit) {
        Json copy = good;
        edit(copy);
        return copy.dump();
    };
    struct Case {
        const char* Name;
        std::string Bytes;
        const char* Reason;
    };
    const Case cases[] = {
        { "not JSON", "{\"format\": ", "not JSON" },
        { "a number beyond any type", "{\"format\": 8e4444}", "not JSON" },
        { "another format", edited([](Json& j) { j["format"] = "other"; }), "zop5-waveform" },
        { "newer version", edited([](Json& j) { j["version"] = 2; }), "newer" },
        { "unknown time label", edited([](Json& j) { j["time_div"] = "3ms/div"; }), "time_div" },
        { "unknown volts label", edited([](Json& j) { j["volts_div"] = "3V/div"; }), "volts_div" },
        { "zero reference 256", edited([](Json& j) { j["zero_ref"] = 256; }), "zero_ref" },
        { "sample -1", edited([](Json& j) { j["samples"][5] = -1; }), "samples" },
        { "sample 12.5", edited([](Json& j) { j["samples"][5] = 12.5; }), "samples" },
        { "95 samples", edited([](Json& j) { j["samples"].erase(0); }), "96" },
        { "text outside the code page", edited([](Json& j) { j["description"] = "\u4E2D"; }), "code page" },
        { "CSV of another table", "a,b,c\n", "index,time_s,raw,volts" },
    };
    for (const Case& c : cases) {
        const std::string in = File(c.Name[0] == 'C' ? "in.csv" : "in.json");
        WriteBytes(in, c.Bytes);
        const ChildResult result = RunTool({ "convert", in, File("out.zop") });
        EXPECT_EQ(result.ExitCode, 1) << c.Name;
        EXPECT_NE(result.Err.find(c.Reason), std::string::npos) << c.Name << ": " << result.Err;
        struct stat info { };
        EXPECT_NE(stat(File("out.zop").c_str(), &info), 0) << c.Name;
    }
    // A FIFO is refused without waiting for a writer.
    ASSERT_EQ(mkfifo(File("pipe.json").c_str(), 0600), 0);
    EXPECT_EQ(RunTool({ "convert", File("pipe.json"), File("out.zop") }).ExitCode, 1);

    EXPECT_EQ(RunTool({ "convert", File("good.json"), File("out.txt") }).ExitCode, 2);
    EXPECT_EQ(RunTool({ "convert", File("good.zop"), File("out.zop") }).ExitCode, 2);
    EXPECT_EQ(RunTool({ "convert", "--zero-ref", "300", File("good.json"), File("out.zop") }).ExitCode, 2);
}

} // namespace
} // namespace zop::test
