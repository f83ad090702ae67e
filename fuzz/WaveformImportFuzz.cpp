// The readers of our exported JSON and CSV (zop5-tool convert) fed arbitrary
// text: the first byte chooses the reader (even: JSON, odd: CSV, with the
// range and zero reference hints taken from its upper bits). What a reader
// accepts must make a waveform file that the file reader accepts with the
// same labels, zero reference and samples, and that writes back to the same
// bytes.
#include <string>
#include <string_view>

#include "document/WaveformFile.h"
#include "fuzz/FuzzCheck.h"
#include "tools/WaveformImport.h"
#include "waveform/ScaleTables.h"

namespace {

using namespace zop;

int FuzzWaveformImport(const uint8_t* data, size_t size)
{
    if (size == 0)
        return 0;
    const uint8_t choice = data[0];
    const std::string_view text(reinterpret_cast<const char*>(data) + 1, size - 1);
    WaveformFileContents contents;
    try {
        if (choice % 2 == 0) {
            contents = ReadWaveformJson(text);
        } else {
            SampleTableHints hints;
            if (choice & 2)
                hints.Range = VoltMatch { 1 + (choice >> 4) % SensitivityRows, (choice & 8) ? 10 : 1 };
            if (choice & 4)
                hints.ZeroRef = choice;
            contents = ReadSampleTable(text, hints);
        }
    } catch (const ImportError&) {
        return 0;
    }

    FUZZ_CHECK(contents.ZeroRef >= 0 && contents.ZeroRef <= 255);
    for (const int32_t sample : contents.Samples)
        FUZZ_CHECK(sample >= 0 && sample <= 255);
    const auto time = FindTimeIndex(contents.TimeLabel);
    const auto volts = FindVoltIndex(contents.VoltsLabel);
    FUZZ_CHECK(time && volts);
    FUZZ_CHECK(contents.VoltsLabel == VoltsLabel(volts->Index, volts->ProbeFactor));

    const std::string written = FormatWaveformFile(contents);
    IncomingImage image;
    FUZZ_CHECK(ReadWaveformData(written, image));
    FUZZ_CHECK(image.Samples == contents.Samples);
    FUZZ_CHECK(image.ZeroRef == contents.ZeroRef);
    FUZZ_CHECK(image.TimeIndex == time->Index && image.VoltIndex == volts->Index);
    WaveformFileContents again;
    again.Description = image.Description;
    again.Date = image.Date;
    again.Time = image.Time;
    again.TimeLabel = image.TimeLabel;
    again.VoltsLabel = image.VoltsLabel;
    again.ZeroRef = image.ZeroRef;
    again.Samples = image.Samples;
    FUZZ_CHECK(FormatWaveformFile(again) == written);
    return 0;
}

} // namespace

FUZZ_TARGET("waveform_import", FuzzWaveformImport)
