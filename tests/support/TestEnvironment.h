#pragma once
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

// The names a folder holds, sorted: a temporary file left behind shows here.
std::vector<std::string> FolderEntries(const std::string& folder);

// Gives this process a configuration folder of its own (removed at exit) and
// maps COM1..COM4 to "no device"; a test that needs a port maps it itself.
void PrepareTestEnvironment();

// The configuration folder this test process was given (XDG_CONFIG_HOME).
std::string ConfigHome();

} // namespace zop::test
