#include "output/tests/WmfParse.h"

namespace zop::test {

ParsedWmf ParseWmf(const std::vector<uint8_t>& bytes)
{
    ParsedWmf wmf;
    auto word = [&](size_t offset) { return static_cast<uint16_t>(bytes[offset] | (bytes[offset + 1] << 8)); };
    auto dword = [&](size_t offset) { return static_cast<uint32_t>(word(offset) | (word(offset + 2) << 16)); };
    if (bytes.size() < 22 + 18) {
        wmf.Error = "too short";
        return wmf;
    }
    wmf.Key = dword(0);
    wmf.Left = static_cast<int16_t>(word(6));
    wmf.Top = static_cast<int16_t>(word(8));
    wmf.Right = static_cast<int16_t>(word(10));
    wmf.Bottom = static_cast<int16_t>(word(12));
    wmf.Inch = word(14);
    wmf.Checksum = word(20);
    for (size_t i = 0; i < 20; i += 2) {
        wmf.ComputedChecksum ^= word(i);
    }
    const size_t base = 22;
    wmf.Type = word(base);
    wmf.HeaderWords = word(base + 2);
    wmf.Version = word(base + 4);
    wmf.SizeWords = dword(base + 6);
    wmf.NoObjects = word(base + 10);
    wmf.MaxRecord = dword(base + 12);
    if ((bytes.size() - base) != wmf.SizeWords * 2u) {
        wmf.Error = "size field does not match the file";
        return wmf;
    }
    size_t offset = base + wmf.HeaderWords * 2u;
    while (offset < bytes.size()) {
        if (offset + 6 > bytes.size()) {
            wmf.Error = "truncated record";
            return wmf;
        }
        const uint32_t size = dword(offset);
        if (size < 3 || offset + size * 2u > bytes.size()) {
            wmf.Error = "bad record size at " + std::to_string(offset);
            return wmf;
        }
        if (size > wmf.MaxRecord) {
            wmf.Error = "record larger than the header's maximum";
            return wmf;
        }
        WmfRecord record;
        record.Function = word(offset + 4);
        for (uint32_t i = 3; i < size; ++i) {
            record.Params.push_back(static_cast<int16_t>(word(offset + i * 2)));
        }
        wmf.Records.push_back(record);
        offset += size * 2u;
        if (record.Function == 0) {
            break;
        }
    }
    if (offset != bytes.size()) {
        wmf.Error = "data after the end record";
    } else if (wmf.Records.empty() || wmf.Records.back().Function != 0) {
        wmf.Error = "no end record";
    }
    return wmf;
}

} // namespace zop::test
