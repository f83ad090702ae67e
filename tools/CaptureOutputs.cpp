#include "tools/CaptureOutputs.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <ctime>
#include <dirent.h>
#include <stdexcept>
#include <sys/stat.h>
#include <unistd.h>

#include "tools/ToolOptions.h"

namespace zop {

namespace {

// The number of "zop5-NNNN.zop" (four or more digits), or nothing.
std::optional<unsigned long> FileNumber(const std::string& name)
{
    if (!name.starts_with("zop5-") || !name.ends_with(".zop") || name.size() < 13 || name.size() > 24)
        return std::nullopt;
    const std::string digits = name.substr(5, name.size() - 9);
    if (!std::all_of(digits.begin(), digits.end(), [](char c) { return c >= '0' && c <= '9'; }))
        return std::nullopt;
    return std::stoul(digits);
}

std::string CsvField(const std::string& text)
{
    if (text.find_first_of(",\"\r\n") == std::string::npos)
        return text;
    std::string quoted = "\"";
    for (const char c : text)
        quoted += c == '"' ? std::string("\"\"") : std::string(1, c);
    return quoted + "\"";
}

// A number as JSON writes it, empty where JSON writes null.
std::string CsvNumber(const std::optional<long double>& value)
{
    const std::string json = JsonNumber(value);
    return json == "null" ? "" : json;
}

} // namespace

NumberedFiles::NumberedFiles(std::string folder)
    : m_folder(std::move(folder))
{
    const auto files = Existing();
    if (!files.empty())
        m_next = files.back().first + 1;
}

std::vector<std::pair<unsigned long, std::string>> NumberedFiles::Existing() const
{
    std::vector<std::pair<unsigned long, std::string>> files;
    if (DIR* dir = opendir(m_folder.c_str())) {
        while (const dirent* entry = readdir(dir))
            if (const auto number = FileNumber(entry->d_name))
                files.emplace_back(*number, m_folder + "/" + entry->d_name);
        closedir(dir);
    }
    std::sort(files.begin(), files.end());
    return files;
}

std::string NumberedFiles::Next()
{
    for (;; ++m_next) {
        char name[40];
        std::snprintf(name, sizeof name, "zop5-%04lu.zop", m_next);
        const std::string path = m_folder + "/" + name;
        struct stat info { };
        if (lstat(path.c_str(), &info) != 0)
            return path;
    }
}

std::vector<std::string> NumberedFiles::Rotate(size_t keep) const
{
    std::vector<std::string> removed;
    auto files = Existing();
    for (size_t i = 0; i + keep < files.size(); ++i)
        if (unlink(files[i].second.c_str()) == 0)
            removed.push_back(files[i].second);
    return removed;
}

std::string IsoTimeNow()
{
    const std::time_t now = std::time(nullptr);
    std::tm local {};
    localtime_r(&now, &local);
    char text[40];
    std::strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%S%z", &local);
    std::string iso = text;
    // +0100 as +01:00
    if (iso.size() >= 5)
        iso.insert(iso.size() - 2, ":");
    return iso;
}

CaptureLog::CaptureLog(const std::string& path)
    : m_path(path)
{
    if (path == "-") {
        m_file = stdout;
    } else {
        m_file = std::fopen(path.c_str(), "ae");
        if (!m_file)
            throw std::runtime_error("cannot write the log " + path + ": " + std::strerror(errno));
    }
    // A log continued by a later capture keeps its one header row.
    struct stat info { };
    if (m_file == stdout || (fstat(fileno(m_file), &info) == 0 && (info.st_size == 0 || !S_ISREG(info.st_mode)))) {
        std::fputs("time,file,time_div,volts_div,dc_volts,peak_to_peak_volts,rms_volts,db_value\n", m_file);
        std::fflush(m_file);
    }
}

CaptureLog::~CaptureLog()
{
    if (m_file && m_file != stdout)
        std::fclose(m_file);
}

void CaptureLog::Write(const CaptureRecord& record)
{
    const std::string row = CsvField(record.Received) + "," + CsvField(record.File) + "," + CsvField(record.TimeDiv)
        + "," + CsvField(record.VoltsDiv) + "," + CsvNumber(record.Numbers.DcVolts) + ","
        + CsvNumber(record.Numbers.PeakToPeakVolts) + "," + CsvNumber(record.Numbers.RmsVolts) + ","
        + CsvNumber(record.Numbers.Db) + "\n";
    if (std::fputs(row.c_str(), m_file) < 0 || std::fflush(m_file) != 0)
        throw std::runtime_error("cannot write the log " + m_path + ": " + std::strerror(errno));
}

std::string CaptureJsonLine(const std::string& measureJson, const CaptureRecord& record)
{
    std::string json = measureJson.substr(0, measureJson.rfind('}'));
    json += ",\"received\":" + JsonString(record.Received) + ",\"samples\":[";
    for (size_t i = 0; i < record.Samples.size(); ++i)
        json += (i ? "," : "") + std::to_string(record.Samples[i]);
    return json + "]}";
}

} // namespace zop
