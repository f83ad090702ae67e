#include "tests/support/TestEnvironment.h"

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <stdexcept>
#include <vector>

namespace zop::test {

TempDir::TempDir()
{
    std::string pattern = (std::filesystem::temp_directory_path() / "zop5-test-XXXXXX").string();
    std::vector<char> buffer(pattern.begin(), pattern.end());
    buffer.push_back('\0');
    if (!mkdtemp(buffer.data()))
        throw std::runtime_error("mkdtemp failed");
    m_path = buffer.data();
}

TempDir::~TempDir()
{
    std::error_code ignored;
    std::filesystem::remove_all(m_path, ignored);
}

std::string ReadBytes(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

std::vector<uint8_t> ReadByteVector(const std::string& path)
{
    const std::string bytes = ReadBytes(path);
    return std::vector<uint8_t>(bytes.begin(), bytes.end());
}

void WriteBytes(const std::string& path, const std::string& bytes)
{
    std::ofstream(path, std::ios::binary) << bytes;
}

FileSizeLimit::FileSizeLimit(rlim_t bytes)
{
    if (getrlimit(RLIMIT_FSIZE, &m_saved) != 0)
        return;
    m_oldHandler = std::signal(SIGXFSZ, SIG_IGN);
    rlimit small = m_saved;
    small.rlim_cur = bytes;
    m_active = setrlimit(RLIMIT_FSIZE, &small) == 0;
    if (!m_active)
        std::signal(SIGXFSZ, m_oldHandler);
}

void FileSizeLimit::Lift()
{
    if (!m_active)
        return;
    setrlimit(RLIMIT_FSIZE, &m_saved);
    std::signal(SIGXFSZ, m_oldHandler);
    m_active = false;
}

std::vector<std::string> FolderEntries(const std::string& folder)
{
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(folder))
        names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

void PrepareTestEnvironment()
{
    static TempDir config;
    setenv("XDG_CONFIG_HOME", config.Path().c_str(), 1);
    for (int n = 1; n <= 4; ++n) {
        const std::string name = "ZOP5_COM" + std::to_string(n);
        setenv(name.c_str(), "", 1);
    }
    static TempDir runtime; // created with mode 0700, as the session folder must be
    if (!std::getenv("XDG_RUNTIME_DIR"))
        setenv("XDG_RUNTIME_DIR", runtime.Path().c_str(), 1);
    if (!std::getenv("QT_QPA_PLATFORM"))
        setenv("QT_QPA_PLATFORM", "offscreen", 1);
}

std::string ConfigHome()
{
    const char* value = std::getenv("XDG_CONFIG_HOME");
    return value ? value : "";
}

} // namespace zop::test
