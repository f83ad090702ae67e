// The clipboard block decoder fed arbitrary bytes, as another program may put
// anything under the format's name. Whatever it accepts must stay inside the
// tables and the picture, and must survive a copy and paste unchanged:
// encoding the decoded waveform and decoding that block gives it back, and
// the new block encodes to itself.
#include <span>

#include "fuzz/FuzzCheck.h"
#include "output/WaveformBlock.h"
#include "waveform/ScaleTables.h"

namespace {

using namespace zop;

bool SameImage(const IncomingImage& a, const IncomingImage& b)
{
    return a.Description == b.Description && a.Date == b.Date && a.Time == b.Time && a.TimeLabel == b.TimeLabel
        && a.VoltsLabel == b.VoltsLabel && a.ZeroRef == b.ZeroRef && a.ProbeFactor == b.ProbeFactor
        && a.VoltIndex == b.VoltIndex && a.TimeIndex == b.TimeIndex && a.Samples == b.Samples
        && a.IncomingCursors == b.IncomingCursors;
}

BlockContent ContentOf(const IncomingImage& image)
{
    BlockContent content;
    content.Samples = image.Samples;
    content.TimeIndex = image.TimeIndex;
    content.VoltIndex = image.VoltIndex;
    content.ZeroRef = image.ZeroRef;
    content.ProbeFactor = image.ProbeFactor;
    content.Cursors = image.IncomingCursors;
    content.Description = image.Description;
    content.Date = image.Date;
    content.Time = image.Time;
    return content;
}

bool CursorInPicture(int32_t position, int32_t size)
{
    return position >= -1 && position < size;
}

int FuzzWaveformBlock(const uint8_t* data, size_t size)
{
    const auto decoded = DecodeWaveformBlock(std::span<const uint8_t>(data, size));
    if (size < WaveformBlockSize) {
        FUZZ_CHECK(!decoded);
        return 0;
    }
    if (!decoded)
        return 0;
    const IncomingImage& image = *decoded;
    for (int32_t sample : image.Samples)
        FUZZ_CHECK(sample >= 0 && sample <= 255);
    FUZZ_CHECK(image.ZeroRef >= 0 && image.ZeroRef <= 255);
    FUZZ_CHECK(ValidTimeIndex(image.TimeIndex) && ValidVoltIndex(image.VoltIndex));
    FUZZ_CHECK(ValidProbeFactor(image.ProbeFactor));
    FUZZ_CHECK(image.TimeLabel == TimeLabel(image.TimeIndex));
    FUZZ_CHECK(image.VoltsLabel == VoltsLabel(image.VoltIndex, image.ProbeFactor));
    const CursorPositions& c = image.IncomingCursors;
    FUZZ_CHECK(CursorInPicture(c.X1, 384) && CursorInPicture(c.X2, 384));
    FUZZ_CHECK(CursorInPicture(c.Y1, 256) && CursorInPicture(c.Y2, 256)); // 255: a cross on a sample of 0
    for (const std::string* text : { &image.Description, &image.Date, &image.Time }) {
        FUZZ_CHECK(text->size() <= BlockMaxTextLength);
        FUZZ_CHECK(text->find('\0') == std::string::npos);
    }

    const WaveformBlock block = EncodeWaveformBlock(ContentOf(image));
    const auto again = DecodeWaveformBlock(block);
    FUZZ_CHECK(again.has_value());
    FUZZ_CHECK(SameImage(image, *again));
    FUZZ_CHECK(EncodeWaveformBlock(ContentOf(*again)) == block);
    return 0;
}

} // namespace

FUZZ_TARGET("waveform_block", FuzzWaveformBlock)
