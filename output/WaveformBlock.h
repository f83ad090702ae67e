#pragma once
// The private clipboard block through which running copies of the program
// exchange a waveform: 720 bytes of little-endian 32-bit words.
//
//   words 0..95    samples
//   word  96       time index (1..22)
//   word  97       volts index (1..12)
//   word  98       zero reference
//   word  99       probe factor (1 or 10), the probe menu at copy time
//   words 100..103 cursors X1, Y1, X2, Y2 (-1 when not placed)
//   word  104 on   description, date and time: one word per character (the
//                  Windows-1252 byte in the low byte), each text ended by a
//                  word 0; the rest of the block is zero.
//
// The texts pass through 42-byte buffers on both sides, so each holds at most
// 41 characters, and the three with their end words share 76 words.
#include <array>
#include <cstdint>
#include <optional>
#include <span>
#include <string>

#include "waveform/WaveformRecord.h"

namespace zop {

inline constexpr char WaveformFormatName[] = "zop_WaveForm";
inline constexpr size_t WaveformBlockSize = 720;
inline constexpr size_t BlockTextOffset = 416;
inline constexpr size_t BlockTextBuffer = 42; // a text and its terminating zero
inline constexpr size_t BlockMaxTextLength = BlockTextBuffer - 1;
inline constexpr size_t BlockTextRoom = (WaveformBlockSize - BlockTextOffset) / 4 - 3; // characters

using WaveformBlock = std::array<uint8_t, WaveformBlockSize>;

struct BlockContent {
    SampleArray Samples {};
    int32_t TimeIndex = 1;
    int32_t VoltIndex = 1;
    int32_t ZeroRef = 127;
    int32_t ProbeFactor = 1; // the probe menu's factor when copying
    CursorPositions Cursors;
    std::string Description;
    std::string Date;
    std::string Time;
};

// Fills a zero block field by field. A text stops at its first zero byte and
// is cut to 41 characters; when the three texts still do not fit, the time
// and then the date are shortened so the block never overflows.
WaveformBlock EncodeWaveformBlock(const BlockContent& content);

// Reads a block into an incoming image, labels looked up in the scale tables.
// Refuses (nullopt) anything this program never writes and that could lead
// outside the block or the tables: a block shorter than 720 bytes, a time
// index outside 1..22, a volts index outside 1..12, a probe factor other than
// 1 or 10, samples or zero reference outside 0..255, a cross x outside
// -1..383 or y outside -1..255 (y is 255 on a sample of 0), a text longer
// than 41 characters or without its end word.
std::optional<IncomingImage> DecodeWaveformBlock(std::span<const uint8_t> block);

} // namespace zop
