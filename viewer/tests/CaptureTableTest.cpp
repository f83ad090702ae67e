// Captures read from files, the capture set's reference and persistence, and
// the measurement table's texts, differences and CSV.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <fstream>

#include "document/WaveformFile.h"
#include "tests/support/TestEnvironment.h"
#include "viewer/CaptureSet.h"
#include "viewer/MeasurementTable.h"
#include "viewer/tests/CaptureFixtures.h"

namespace zop::viewer {
namespace {

void WriteFile(const std::string& path, const std::string& bytes)
{
    std::ofstream(path, std::ios::binary) << bytes;
}

TEST(Capture, AFileGivesItsTextsInUtf8AndItsScales)
{
    zop::test::TempDir folder;
    WaveformFileContents contents;
    contents.Description = "Caf\xE9 supply ripple";
    contents.Date = "07/12/2026";
    contents.Time = "16:31:12";
    contents.TimeLabel = "2\xB5S/DIV"; // kept as written
    contents.VoltsLabel = "1v/div"; // the table's own text
    contents.ZeroRef = 100;
    contents.Samples.fill(150);
    WriteFile(folder.File("Trace.ZOP"), FormatWaveformFile(contents));

    const auto capture = CaptureFromFile(folder.File("Trace.ZOP"));
    ASSERT_TRUE(capture);
    EXPECT_EQ(capture->Name, "Trace.ZOP");
    EXPECT_EQ(capture->Description, "Caf\u00E9 supply ripple");
    EXPECT_EQ(capture->TimeLabel, "2\u00B5S/DIV");
    EXPECT_EQ(capture->VoltsLabel, "1V/div");
    EXPECT_EQ(capture->ProbeFactor, 1);
    EXPECT_NEAR(capture->SampleVolts(0), 50 * 0.031496, 1e-12);
    EXPECT_NEAR(capture->SampleInterval(), 0.2e-6, 1e-18);

    // What the window refuses, the viewer refuses.
    contents.ZeroRef = 256;
    WriteFile(folder.File("bad.zop"), FormatWaveformFile(contents));
    EXPECT_FALSE(CaptureFromFile(folder.File("bad.zop")));
    EXPECT_FALSE(CaptureFromFile(folder.File("missing.zop")));
    EXPECT_FALSE(CaptureFromFile(folder.Path()));
}

TEST(Capture, OurJsonAndCsvExportsOpenAsTheSameCapture)
{
    zop::test::TempDir folder;
    const Capture sine = test::SineCapture(9, 5, 1, 3, 100);
    std::string json = "{\"format\": \"zop5-waveform\", \"version\": 1, \"description\": \"Caf\u00e9\", "
                       "\"date\": \"\", \"time\": \"\", \"time_div\": \"1ms/div\", \"volts_div\": \"0.1V/div\", "
                       "\"zero_ref\": 127, \"samples\": [";
    std::string csv = "index,time_s,raw,volts\r\n";
    for (int i = 0; i < SampleCount; ++i) {
        json += (i ? "," : "") + std::to_string(sine.Samples[size_t(i)]);
        char row[96];
        std::snprintf(
            row, sizeof row, "%d,%.9g,%d,%.9g\r\n", i, i * 1e-4, sine.Samples[size_t(i)], sine.SampleVolts(i));
        csv += row;
    }
    json += "]}";
    WriteFile(folder.File("export.JSON"), json);
    WriteFile(folder.File("export.csv"), csv);
    for (const char* name : { "export.JSON", "export.csv" }) {
        const auto capture = CaptureFromFile(folder.File(name));
        ASSERT_TRUE(capture) << name;
        EXPECT_EQ(capture->Samples, sine.Samples) << name;
        EXPECT_EQ(capture->TimeIndex, 9) << name;
        EXPECT_EQ(capture->VoltIndex, 5) << name;
        EXPECT_EQ(capture->ZeroRef, 127) << name;
    }
    EXPECT_EQ(CaptureFromFile(folder.File("export.JSON"))->Description, "Caf\u00E9");
    // Not ours: refused, whatever its extension claims.
    WriteFile(folder.File("other.json"), "{\"format\": \"something else\"}");
    WriteFile(folder.File("other.csv"), "a,b\r\n1,2\r\n");
    EXPECT_FALSE(CaptureFromFile(folder.File("other.json")));
    EXPECT_FALSE(CaptureFromFile(folder.File("other.csv")));
}

TEST(CaptureSet, ReferenceAndSelectionFollowRemovals)
{
    CaptureSet set;
    for (const char* name : { "a", "b", "c" })
        set.Add(test::SineCapture(9, 5, 1, 3, 100, 127, name));
    EXPECT_EQ(set.Reference(), 0u);
    set.SetReference(2);
    set.SetSelected(1);
    set.Remove(0); // those after it move up
    EXPECT_EQ(set.Reference(), 1u);
    EXPECT_EQ(set.Selected(), 0u);
    set.Remove(1); // the reference itself: the capture now in its place, or the last
    EXPECT_EQ(set.Reference(), 0u);
    set.SetShown(0, false);
    EXPECT_TRUE(set.ShownCaptures().empty());
    set.Remove(0);
    EXPECT_FALSE(set.Reference());
    EXPECT_FALSE(set.Selected());
    set.Remove(5); // nothing there: nothing happens
}

TEST(CaptureSet, AFollowedFolderKeepsItsLastCapturesOverlaid)
{
    CaptureSet set;
    set.SetPersistence(3);
    set.Add(test::SineCapture(9, 5, 1, 3, 100, 127, "opened"));
    for (int n = 1; n <= 5; ++n)
        set.Add(test::SineCapture(9, 5, 1, 3, 100, 127, "f" + std::to_string(n)), true);
    ASSERT_EQ(set.Size(), 4u); // the opened capture stays, the three newest followed ones
    EXPECT_EQ(set[0].Data.Name, "opened");
    EXPECT_EQ(set[1].Data.Name, "f3");
    EXPECT_EQ(set[3].Data.Name, "f5");
    EXPECT_EQ(set.Selected(), 3u); // the newest arrival
    EXPECT_EQ(set.FollowedAge(1), 2u);
    EXPECT_EQ(set.FollowedAge(3), 0u);
    EXPECT_FALSE(set.FollowedAge(0));
    // Each keeps its colour while others come and go.
    EXPECT_EQ(set[3].ColourIndex, 5u);
    set.SetPersistence(0); // at least one stays
    EXPECT_EQ(set.Size(), 2u);
    EXPECT_EQ(set[1].Data.Name, "f5");
}

TEST(MeasurementTable, QuantitiesReadWithTheirPrefix)
{
    struct Case {
        std::optional<double> value;
        Unit unit;
        const char* text;
        const char* difference;
    };
    for (const Case& c :
        { Case { 0.0015748, Unit::Volts, "1.57 mV", "+1.57 mV" }, Case { 0.9997, Unit::Volts, "1 V", "+1 V" },
            Case { 500, Unit::Hertz, "500 Hz", "+500 Hz" }, Case { 2e-4, Unit::Seconds, "200 \u00B5s", "+200 \u00B5s" },
            Case { -1234.5, Unit::Hertz, "-1.23 kHz", "-1.23 kHz" }, Case { 0.484, Unit::Share, "48.4%", "+48.4%" },
            Case { -3.21, Unit::Decibels, "-3.21 dB", "-3.21 dB" }, Case { 0, Unit::Volts, "0 V", "0 V" },
            Case { 1.414, Unit::Ratio, "1.41", "+1.41" }, Case { std::nullopt, Unit::Volts, "-", "-" } }) {
        EXPECT_EQ(FormatQuantity(c.value, c.unit, '.'), c.text);
        EXPECT_EQ(FormatDifference(c.value, c.unit, '.'), c.difference);
    }
    EXPECT_EQ(FormatQuantity(0.0015748, Unit::Volts, ','), "1,57 mV");
}

TEST(MeasurementTable, RowsReadAsTheWindowAndDifferToTheReference)
{
    const Capture small = test::SineCapture(9, 5, 1, 3, 50, 127, "small.zop");
    const Capture large = test::SineCapture(9, 5, 1, 3, 100, 127, "large.zop");
    const std::vector<Cell> a = MeasureCapture(small, '.');
    const std::vector<Cell> b = MeasureCapture(large, '.');
    ASSERT_EQ(a.size(), TableQuantities().size());
    EXPECT_EQ(a[0].Text, "1ms/div");
    EXPECT_EQ(a[1].Text, "0.1V/div");
    EXPECT_EQ(b[3].Text, "630mVpp"); // 200 counts of 3.1496 mV
    EXPECT_NEAR(*b[3].Value, 0.62992, 1e-9);
    EXPECT_NEAR(*Difference(b[3], a[3]), 100 * 3.1496e-3, 1e-9);
    EXPECT_NEAR(*Difference(b[5], a[5]), 20 * std::log10(2.0), 0.1); // twice the amplitude: about 6 dB
    // The analysis follows: three periods in 9.6 ms, the same frequency for both.
    const auto frequency
        = static_cast<size_t>(std::find_if(TableQuantities().begin(), TableQuantities().end(), [](const Quantity& q) {
              return q.Key == "frequency_hz";
          }) - TableQuantities().begin());
    EXPECT_EQ(b[frequency].Text, "313 Hz");
    EXPECT_NEAR(*Difference(b[frequency], a[frequency]), 0, 1);

    // A clipped capture measures nothing and differs by nothing.
    SampleArray samples = large.Samples;
    samples[7] = 255;
    const Capture clipped = MakeCapture(samples, large.ZeroRef, large.TimeIndex, large.VoltIndex, large.ProbeFactor);
    const std::vector<Cell> c = MeasureCapture(clipped, '.');
    EXPECT_EQ(c[2].Text, "...mVdc");
    EXPECT_FALSE(c[2].Value);
    EXPECT_FALSE(Difference(c[2], a[2]));
    EXPECT_EQ(c[5].Text, "... dB");
    EXPECT_FALSE(c[frequency + 2].Value); // no duty cycle: the clipping hides the top of the span
    EXPECT_EQ(c[frequency + 2].Text, "-");
}

TEST(MeasurementTable, CsvHoldsValuesAndDifferencesInPlainUnits)
{
    const Capture reference = test::SineCapture(9, 5, 1, 3, 50, 127, "ref.zop");
    Capture other = test::SineCapture(9, 5, 1, 3, 100, 127, "other, \"2\".zop");
    other.Description = "line\nbreak";
    const std::vector<TableRow> rows { { reference.Name, "", "", "", MeasureCapture(reference, ',') },
        { other.Name, other.Description, "d", "t", MeasureCapture(other, ',') } };
    const std::string csv = TableCsv(rows, 0);
    EXPECT_EQ(csv.substr(0, csv.find("\r\n")),
        "file,description,date,time,reference,time_per_div,volts_per_div,dc_volts,dc_volts_difference,"
        "peak_to_peak_volts,peak_to_peak_volts_difference,rms_volts,rms_volts_difference,db,db_difference,"
        "min_volts,min_volts_difference,max_volts,max_volts_difference,mean_volts,mean_volts_difference,"
        "ac_rms_volts,ac_rms_volts_difference,frequency_hz,frequency_hz_difference,period_seconds,"
        "period_seconds_difference,duty_cycle,duty_cycle_difference,positive_width_seconds,"
        "positive_width_seconds_difference,negative_width_seconds,negative_width_seconds_difference,"
        "rise_seconds,rise_seconds_difference,fall_seconds,fall_seconds_difference,crest_factor,"
        "crest_factor_difference");
    // Quoted where needed; numbers with a point whatever the display separator.
    EXPECT_NE(csv.find("\r\n\"other, \"\"2\"\".zop\",\"line\nbreak\",d,t,no,1ms/div,0.1V/div,"), std::string::npos);
    EXPECT_NE(csv.find(",0.62992,0.31496,"), std::string::npos);
    EXPECT_NE(csv.find("ref.zop,,,,yes,1ms/div,0.1V/div,0,0,0.31496,0,"), std::string::npos);
    // Without a reference the difference columns stay empty.
    EXPECT_NE(TableCsv(rows, std::nullopt).find(",0.62992,,"), std::string::npos);
}

} // namespace
} // namespace zop::viewer
