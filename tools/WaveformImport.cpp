#include "tools/WaveformImport.h"

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <nlohmann/json.hpp>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

#include "waveform/Cp1252.h"

namespace zop {

namespace {

constexpr int32_t LowestReading = 0;
constexpr int32_t HighestReading = 255;
// Numbers in our CSV carry ten significant digits.
constexpr double CsvPrecision = 1e-8;

class Descriptor {
public:
    explicit Descriptor(int fd)
        : m_fd(fd)
    {
    }
    ~Descriptor()
    {
        if (m_fd >= 0)
            close(m_fd);
    }
    Descriptor(const Descriptor&) = delete;
    Descriptor& operator=(const Descriptor&) = delete;
    int Get() const { return m_fd; }

private:
    int m_fd;
};

std::string Cp1252Text(const std::string& utf8, const char* field)
{
    const std::string text = Utf8ToCp1252(utf8);
    if (Cp1252ToUtf8(text) != utf8)
        throw ImportError(std::string(field) + ": a character has no place in a waveform file's code page");
    return text;
}

int32_t Reading(const nlohmann::json& value, const std::string& field)
{
    if (!value.is_number_integer() || value.get<int64_t>() < LowestReading || value.get<int64_t>() > HighestReading)
        throw ImportError(field + ": expected a whole number 0..255");
    return static_cast<int32_t>(value.get<int64_t>());
}

// The lines of the table without their ends.
std::vector<std::string_view> TableLines(std::string_view text)
{
    std::vector<std::string_view> lines;
    while (!text.empty()) {
        const size_t end = text.find('\n');
        std::string_view line = text.substr(0, end);
        if (!line.empty() && line.back() == '\r')
            line.remove_suffix(1);
        lines.push_back(line);
        text = end == std::string_view::npos ? std::string_view() : text.substr(end + 1);
    }
    while (!lines.empty() && lines.back().empty())
        lines.pop_back();
    return lines;
}

std::optional<double> Decimal(std::string_view cell)
{
    const std::string text(cell);
    if (text.empty() || text.find_first_not_of("0123456789+-.eE") != std::string::npos)
        return std::nullopt;
    char* end = nullptr;
    const double value = std::strtod(text.c_str(), &end);
    if (end != text.c_str() + text.size() || !std::isfinite(value))
        return std::nullopt;
    return value;
}

bool Close(double a, double b)
{
    return std::abs(a - b) <= CsvPrecision * std::max(std::abs(a), std::abs(b));
}

struct TableRow {
    int32_t Raw;
    double Seconds;
    std::optional<double> Volts;
};

std::vector<TableRow> ParseTable(std::string_view text)
{
    const std::vector<std::string_view> lines = TableLines(text);
    if (lines.empty() || lines[0] != "index,time_s,raw,volts")
        throw ImportError("not a sample table: the first line must be index,time_s,raw,volts");
    if (lines.size() != SampleCount + 1)
        throw ImportError("a sample table has 96 rows; this one has " + std::to_string(lines.size() - 1));
    std::vector<TableRow> rows;
    for (int i = 0; i < SampleCount; ++i) {
        const std::string_view line = lines[static_cast<size_t>(i) + 1];
        std::vector<std::string_view> cells;
        for (size_t start = 0;;) {
            const size_t comma = line.find(',', start);
            cells.push_back(line.substr(start, comma == std::string_view::npos ? comma : comma - start));
            if (comma == std::string_view::npos)
                break;
            start = comma + 1;
        }
        const std::string where = "row " + std::to_string(i + 2);
        if (cells.size() != 4)
            throw ImportError(where + ": expected four cells");
        const std::optional<double> index = Decimal(cells[0]);
        const std::optional<double> seconds = Decimal(cells[1]);
        const std::optional<double> raw = Decimal(cells[2]);
        if (!index || *index != i)
            throw ImportError(where + ": expected index " + std::to_string(i));
        if (!seconds)
            throw ImportError(where + ": the time is not a number");
        if (!raw || *raw != std::floor(*raw) || *raw < LowestReading || *raw > HighestReading)
            throw ImportError(where + ": the raw value must be a whole number 0..255");
        std::optional<double> volts;
        if (!cells[3].empty() && !(volts = Decimal(cells[3])))
            throw ImportError(where + ": the volts are not a number");
        rows.push_back({ static_cast<int32_t>(*raw), *seconds, volts });
    }
    return rows;
}

int32_t TimeBaseOf(const std::vector<TableRow>& rows)
{
    const double step = rows.back().Seconds / (SampleCount - 1);
    for (int32_t index = 1; index <= TimeBaseRows; ++index) {
        const TimeBaseRow& row = TimeRow(index);
        const double seconds = static_cast<double>(row.SamplePeriod / row.PrefixDivisor);
        if (!Close(step, seconds))
            continue;
        for (size_t i = 0; i < rows.size(); ++i)
            if (!Close(rows[i].Seconds, static_cast<double>(i) * seconds))
                throw ImportError("row " + std::to_string(i + 2) + ": the time does not follow the sample period");
        return index;
    }
    throw ImportError("the time column names no time base of the instrument");
}

double VoltsPerCountOf(const VoltMatch& range)
{
    const VoltScale scale = VoltsPerCount(range.Index, range.ProbeFactor);
    return static_cast<double>(scale.VoltsPerCount) * (scale.Prefix == "m" ? 1e-3 : 1.0);
}

// The range whose volts per count match, the x1 column first as a file's
// label resolves.
std::optional<VoltMatch> RangeOf(double voltsPerCount)
{
    for (const int32_t probe : { 1, 10 })
        for (int32_t index = 1; index <= SensitivityRows; ++index)
            if (Close(VoltsPerCountOf({ index, probe }), voltsPerCount))
                return VoltMatch { index, probe };
    return std::nullopt;
}

} // namespace

std::string ReadExportedFile(const std::string& path, size_t limit)
{
    const Descriptor file(open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC));
    if (file.Get() < 0)
        throw ImportError(std::strerror(errno));
    struct stat info { };
    if (fstat(file.Get(), &info) != 0 || !S_ISREG(info.st_mode))
        throw ImportError("not a regular file");
    if (static_cast<size_t>(info.st_size) > limit)
        throw ImportError("larger than any exported waveform");
    std::string bytes;
    char block[65536];
    for (;;) {
        const ssize_t got = read(file.Get(), block, sizeof block);
        if (got < 0 && errno == EINTR)
            continue;
        if (got < 0)
            throw ImportError(std::strerror(errno));
        if (got == 0)
            return bytes;
        bytes.append(block, static_cast<size_t>(got));
        if (bytes.size() > limit)
            throw ImportError("larger than any exported waveform");
    }
}

WaveformFileContents ReadWaveformJson(std::string_view utf8)
{
    nlohmann::json document;
    try {
        document = nlohmann::json::parse(utf8);
    } catch (const nlohmann::json::exception& error) {
        // A syntax error, and also a number too large for any type.
        throw ImportError(std::string("not JSON: ") + error.what());
    }
    if (!document.is_object() || document.value("format", nlohmann::json()) != "zop5-waveform")
        throw ImportError("not a waveform exported by zop5-tool (its \"format\" is not \"zop5-waveform\")");
    const nlohmann::json version = document.value("version", nlohmann::json());
    if (!version.is_number_integer() || version.get<int64_t>() < 1)
        throw ImportError("\"version\": expected a whole number");
    if (version.get<int64_t>() > 1)
        throw ImportError("written by a newer zop5-tool (version " + version.dump() + ")");

    const auto text = [&](const char* field, bool required) {
        const auto found = document.find(field);
        if (found == document.end() && !required)
            return std::string();
        if (found == document.end() || !found->is_string())
            throw ImportError(std::string("\"") + field + "\": expected a text");
        return Cp1252Text(found->get<std::string>(), field);
    };
    WaveformFileContents contents;
    contents.Description = text("description", false);
    contents.Date = text("date", false);
    contents.Time = text("time", false);
    contents.TimeLabel = text("time_div", true);
    if (!FindTimeIndex(contents.TimeLabel))
        throw ImportError("\"time_div\": not a time/div label of the instrument");
    const std::optional<VoltMatch> range = FindVoltIndex(text("volts_div", true));
    if (!range)
        throw ImportError("\"volts_div\": not a volts/div label of the instrument");
    contents.VoltsLabel = VoltsLabel(range->Index, range->ProbeFactor);
    contents.ZeroRef = Reading(document.value("zero_ref", nlohmann::json()), "\"zero_ref\"");
    const nlohmann::json samples = document.value("samples", nlohmann::json());
    if (!samples.is_array() || samples.size() != SampleCount)
        throw ImportError("\"samples\": expected a list of 96 readings");
    for (size_t i = 0; i < contents.Samples.size(); ++i)
        contents.Samples[i] = Reading(samples[i], "\"samples\" " + std::to_string(i));
    return contents;
}

WaveformFileContents ReadSampleTable(std::string_view text, const SampleTableHints& hints)
{
    const std::vector<TableRow> rows = ParseTable(text);
    WaveformFileContents contents;
    for (size_t i = 0; i < rows.size(); ++i)
        contents.Samples[i] = rows[i].Raw;
    contents.TimeLabel = TimeLabel(TimeBaseOf(rows));

    // On-scale readings with their volts; the two farthest apart fix the
    // volts per count best.
    std::vector<const TableRow*> known;
    for (const TableRow& row : rows)
        if (row.Volts && row.Raw != LowestReading && row.Raw != HighestReading)
            known.push_back(&row);
    const auto [low, high] = std::minmax_element(
        known.begin(), known.end(), [](const TableRow* a, const TableRow* b) { return a->Raw < b->Raw; });
    std::optional<VoltMatch> range = hints.Range;
    if (!range && !known.empty() && (*low)->Raw != (*high)->Raw) {
        range = RangeOf((*(*high)->Volts - *(*low)->Volts) / ((*high)->Raw - (*low)->Raw));
        if (!range)
            throw ImportError("the volts column names no range of the instrument");
    }
    if (!range)
        throw ImportError("the table does not tell the range: give --volts-div");
    const double perCount = VoltsPerCountOf(*range);
    contents.VoltsLabel = VoltsLabel(range->Index, range->ProbeFactor);

    std::optional<int32_t> zeroRef = hints.ZeroRef;
    if (!zeroRef && !known.empty()) {
        const double zero = known.front()->Raw - *known.front()->Volts / perCount;
        if (std::abs(zero - std::round(zero)) > 1e-3 || std::round(zero) < LowestReading
            || std::round(zero) > HighestReading)
            throw ImportError("the volts column names no zero reference 0..255 at " + contents.VoltsLabel);
        zeroRef = static_cast<int32_t>(std::round(zero));
    }
    if (!zeroRef)
        throw ImportError("the table does not tell the zero reference: give --zero-ref");
    contents.ZeroRef = *zeroRef;
    for (size_t i = 0; i < rows.size(); ++i) {
        const TableRow& row = rows[i];
        if (row.Volts && row.Raw != LowestReading && row.Raw != HighestReading
            && std::abs(*row.Volts - (row.Raw - *zeroRef) * perCount) > CsvPrecision * 1e3 * perCount)
            throw ImportError("row " + std::to_string(i + 2) + ": the volts do not follow from the raw value at "
                + contents.VoltsLabel + " and zero reference " + std::to_string(*zeroRef));
    }
    return contents;
}

} // namespace zop
