#pragma once
// What an unattended capture leaves besides the waveform files: numbered
// file names that keep the order of reception, at most N of them, a CSV log
// with one row per transfer and JSON lines for other programs.
#include <array>
#include <cstdio>
#include <optional>
#include <string>
#include <vector>

#include "tools/MeasurementLine.h"

namespace zop {

// The files zop5-0001.zop, zop5-0002.zop, ... of one folder.
class NumberedFiles {
public:
    // Numbering goes on after the highest number already in `folder`, so the
    // names sort in the order of reception.
    explicit NumberedFiles(std::string folder);

    // The path of the next file, not taken yet.
    std::string Next();
    // Removes the oldest numbered files until at most `keep` are left; the
    // paths removed. Other files of the folder are never touched.
    std::vector<std::string> Rotate(size_t keep) const;

private:
    // The numbered files of the folder, oldest first.
    std::vector<std::pair<unsigned long, std::string>> Existing() const;

    std::string m_folder;
    unsigned long m_next = 1;
};

// One received transfer as the outputs report it.
struct CaptureRecord {
    std::string Received; // ISO 8601 local time with its zone offset
    std::string File;
    std::string TimeDiv; // the window's labels, UTF-8
    std::string VoltsDiv;
    MeasuredNumbers Numbers;
    std::array<int32_t, 96> Samples {};
};

// "2026-12-07T16:50:01+01:00" of now.
std::string IsoTimeNow();

// A CSV log, one row per transfer, each written and flushed as it arrives.
// A new or empty file starts with the header row; an existing log is
// appended to. "-" is standard output.
class CaptureLog {
public:
    explicit CaptureLog(const std::string& path); // throws std::runtime_error
    ~CaptureLog();
    CaptureLog(const CaptureLog&) = delete;
    CaptureLog& operator=(const CaptureLog&) = delete;

    void Write(const CaptureRecord& record); // throws std::runtime_error

private:
    std::string m_path;
    std::FILE* m_file = nullptr;
};

// `measureJson` (the object `zop5-tool measure --json` prints for the file)
// with the reception time and the 96 samples added.
std::string CaptureJsonLine(const std::string& measureJson, const CaptureRecord& record);

} // namespace zop
