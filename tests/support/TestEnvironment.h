#pragma once
#include <sys/resource.h>

#include <csignal>
#include <cstdint>
#include <string>
#include <vector>

namespace zop::test {

// A fresh folder that is removed when the object goes away.
class TempDir {
public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;
    const std::string& Path() const { return m_path; }
    std::string File(const std::string& name) const { return m_path + "/" + name; }

private:
    std::string m_path;
};

// What a file holds, byte for byte; empty when it cannot be read.
std::string ReadBytes(const std::string& path);
std::vector<uint8_t> ReadByteVector(const std::string& path);
// Makes `path` hold exactly `bytes`.
void WriteBytes(const std::string& path, const std::string& bytes);

// While it is active, a write that would make a file of this process larger
// than `bytes` stops part-way with "File too large", as a full disk stops
// it. Lift() (or the end of its life) restores the limit and the signal.
class FileSizeLimit {
public:
    explicit FileSizeLimit(rlim_t bytes);
    ~FileSizeLimit() { Lift(); }
    FileSizeLimit(const FileSizeLimit&) = delete;
    FileSizeLimit& operator=(const FileSizeLimit&) = delete;
    bool Active() const { return m_active; }
    void Lift();

private:
    rlimit m_saved {};
    void (*m_oldHandler)(int) = SIG_DFL;
    bool m_active = false;
};

// The names a folder holds, sorted: a temporary file left behind shows here.
std::vector<std::string> FolderEntries(const std::string& folder);

// Gives this process a configuration folder of its own (removed at exit) and
// maps COM1..COM4 to "no device"; a test that needs a port maps it itself.
void PrepareTestEnvironment();

// The configuration folder this test process was given (XDG_CONFIG_HOME).
std::string ConfigHome();

} // namespace zop::test
