#include "output/WaveformBlock.h"

#include <algorithm>

#include "waveform/ScaleTables.h"

namespace zop {

namespace {

constexpr size_t WordCount = WaveformBlockSize / 4;
constexpr size_t TextWord = BlockTextOffset / 4;
// The crosses sit on a sample: x on a column of the 384-pixel picture, y on
// row 255 - value, which is 255 for a cross on a sample of 0.
constexpr int32_t CrossXLimit = 383;
constexpr int32_t CrossYLimit = 255;

void PutWord(WaveformBlock& block, size_t word, int32_t value)
{
    const auto v = static_cast<uint32_t>(value);
    for (size_t i = 0; i < 4; ++i) {
        block[word * 4 + i] = static_cast<uint8_t>(v >> (8 * i));
    }
}

int32_t GetWord(std::span<const uint8_t> block, size_t word)
{
    uint32_t v = 0;
    for (size_t i = 0; i < 4; ++i) {
        v |= static_cast<uint32_t>(block[word * 4 + i]) << (8 * i);
    }
    return static_cast<int32_t>(v);
}

// The text as a zero-terminated 41-character buffer holds it.
std::string_view BufferText(std::string_view text)
{
    text = text.substr(0, text.find('\0'));
    return text.substr(0, BlockMaxTextLength);
}

bool InByteRange(int32_t value)
{
    return value >= 0 && value <= 255;
}

bool ValidCursor(int32_t position, int32_t limit)
{
    return position >= -1 && position <= limit;
}

} // namespace

WaveformBlock EncodeWaveformBlock(const BlockContent& content)
{
    WaveformBlock block {};
    for (size_t i = 0; i < SampleCount; ++i) {
        PutWord(block, i, content.Samples[i]);
    }
    PutWord(block, 96, content.TimeIndex);
    PutWord(block, 97, content.VoltIndex);
    PutWord(block, 98, content.ZeroRef);
    PutWord(block, 99, content.ProbeFactor);
    PutWord(block, 100, content.Cursors.X1);
    PutWord(block, 101, content.Cursors.Y1);
    PutWord(block, 102, content.Cursors.X2);
    PutWord(block, 103, content.Cursors.Y2);

    std::array<std::string_view, 3> texts { BufferText(content.Description), BufferText(content.Date),
        BufferText(content.Time) };
    // Shorten from the last text backwards until all fit.
    size_t total = texts[0].size() + texts[1].size() + texts[2].size();
    for (size_t t = texts.size(); t-- > 0 && total > BlockTextRoom;) {
        const size_t cut = std::min(texts[t].size(), total - BlockTextRoom);
        texts[t] = texts[t].substr(0, texts[t].size() - cut);
        total -= cut;
    }
    size_t word = TextWord;
    for (std::string_view text : texts) {
        for (unsigned char c : text) {
            PutWord(block, word++, c);
        }
        PutWord(block, word++, 0);
    }
    return block;
}

std::optional<IncomingImage> DecodeWaveformBlock(std::span<const uint8_t> block)
{
    if (block.size() < WaveformBlockSize) {
        return std::nullopt;
    }
    IncomingImage image;
    for (size_t i = 0; i < SampleCount; ++i) {
        image.Samples[i] = GetWord(block, i);
        if (!InByteRange(image.Samples[i])) {
            return std::nullopt;
        }
    }
    image.TimeIndex = GetWord(block, 96);
    image.VoltIndex = GetWord(block, 97);
    image.ZeroRef = GetWord(block, 98);
    image.ProbeFactor = GetWord(block, 99);
    image.IncomingCursors = { GetWord(block, 100), GetWord(block, 101), GetWord(block, 102), GetWord(block, 103) };
    if (!ValidTimeIndex(image.TimeIndex) || !ValidVoltIndex(image.VoltIndex) || !InByteRange(image.ZeroRef)
        || !ValidProbeFactor(image.ProbeFactor)) {
        return std::nullopt;
    }
    const CursorPositions& c = image.IncomingCursors;
    if (!ValidCursor(c.X1, CrossXLimit) || !ValidCursor(c.Y1, CrossYLimit) || !ValidCursor(c.X2, CrossXLimit)
        || !ValidCursor(c.Y2, CrossYLimit)) {
        return std::nullopt;
    }
    image.TimeLabel = std::string(TimeLabel(image.TimeIndex));
    image.VoltsLabel = std::string(VoltsLabel(image.VoltIndex, image.ProbeFactor));

    size_t word = TextWord;
    for (std::string* text : { &image.Description, &image.Date, &image.Time }) {
        std::string buffer;
        for (;;) {
            if (word >= WordCount) {
                return std::nullopt; // no end word inside the block
            }
            const int32_t value = GetWord(block, word++);
            if (value == 0) {
                break;
            }
            if (buffer.size() == BlockMaxTextLength) {
                return std::nullopt; // longer than the receiving buffer
            }
            buffer.push_back(static_cast<char>(value & 0xFF));
        }
        // As the buffer is read: up to its first zero byte.
        *text = buffer.substr(0, buffer.find('\0'));
    }
    return image;
}

} // namespace zop
