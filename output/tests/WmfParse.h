#pragma once
// A minimal reader of the metafiles our writer produces, written from the
// file format alone, for checking headers, record sizes and object use.
#include <cstdint>
#include <string>
#include <vector>

namespace zop::test {

struct WmfRecord {
    uint16_t Function = 0;
    std::vector<int16_t> Params;
};

struct ParsedWmf {
    uint32_t Key = 0;
    int16_t Left = 0, Top = 0, Right = 0, Bottom = 0;
    uint16_t Inch = 0;
    uint16_t Checksum = 0;
    uint16_t ComputedChecksum = 0;
    uint16_t Type = 0, HeaderWords = 0, Version = 0;
    uint32_t SizeWords = 0;
    uint16_t NoObjects = 0;
    uint32_t MaxRecord = 0;
    std::vector<WmfRecord> Records; // the end record included
    std::string Error; // empty when the file is well formed
};

ParsedWmf ParseWmf(const std::vector<uint8_t>& bytes);

} // namespace zop::test
