// zop5-tool: command-line programs built on the same libraries as the window.
#include <array>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <new>
#include <string>
#include <string_view>
#include <unistd.h>

#include "comm/IniFile.h"
#include "tools/ToolCommand.h"

namespace {

constexpr std::array Commands = {
    zop::ToolCommand {
        "simulate", "play the instrument: send waveform transfers to a serial line", zop::SimulateCommand },
    zop::ToolCommand { "measure", "print the window's measurement texts of waveform files", zop::MeasureCommand },
    zop::ToolCommand { "export", "write a waveform file as BMP, WMF, PDF, PNG, SVG, CSV, JSON or a sigrok session",
        zop::ExportCommand },
    zop::ToolCommand {
        "spectrum", "print the spectrum, dominant frequency and THD of waveform files", zop::SpectrumCommand },
    zop::ToolCommand { "convert", "turn an exported JSON or CSV file back into a waveform file", zop::ConvertCommand },
    zop::ToolCommand { "capture", "receive transfers from the instrument into waveform files", zop::CaptureCommand },
    zop::ToolCommand { "ports", "list COM1..COM4, their devices and whether each opens", zop::PortsCommand },
};

void PrintUsage(std::FILE* to)
{
    std::fprintf(to,
        "Usage: zop5-tool COMMAND [OPTIONS]\n"
        "       zop5-tool COMMAND --help    (or: zop5-tool help COMMAND)\n"
        "       zop5-tool --version\n\n"
        "Commands:\n");
    for (const zop::ToolCommand& command : Commands)
        std::fprintf(to, "  %-12.*s %.*s\n", static_cast<int>(command.Name.size()), command.Name.data(),
            static_cast<int>(command.Summary.size()), command.Summary.data());
}

// A configuration file the tool cannot take is ignored, and said so once.
void ReportIgnoredConfiguration(const std::string& path, const std::string& reason)
{
    std::fprintf(stderr, "zop5-tool: ignoring the configuration file %s: %s\n", path.c_str(), reason.c_str());
}

// The command running, for the last word on a failed allocation.
std::string_view g_commandName = "zop5-tool";

void ReportOutOfMemory()
{
    // Without memory, printf may fail too: the text is written as it stands.
    const std::string_view parts[] = { "zop5-tool ", g_commandName, ": ", zop::OutOfMemoryText, "\n" };
    for (std::string_view part : parts)
        (void)!write(STDERR_FILENO, part.data(), part.size());
}

// The window system's drawing code cannot pass a failed allocation on to
// us: it ends the program instead. That end still reports it as what it is,
// with the status of any failure. Files are written only once complete, so
// nothing half written remains.
[[noreturn]] void OnTerminate()
{
    if (const std::exception_ptr current = std::current_exception()) {
        try {
            std::rethrow_exception(current);
        } catch (const std::bad_alloc&) {
            ReportOutOfMemory();
            _exit(zop::ExitFailure);
        } catch (...) {
        }
    }
    std::abort();
}

// Runs the command `name` with its own command line (argv[0] is its name).
int RunCommand(std::string_view name, int argc, char** argv)
{
    for (const zop::ToolCommand& command : Commands) {
        if (command.Name != name)
            continue;
        g_commandName = command.Name;
        try {
            return command.Run(argc, argv);
        } catch (const std::bad_alloc&) {
            ReportOutOfMemory();
            return zop::ExitFailure;
        }
    }
    std::fprintf(stderr, "zop5-tool: unknown command '%.*s'\n\n", static_cast<int>(name.size()), name.data());
    PrintUsage(stderr);
    return zop::ExitUsage;
}

} // namespace

int main(int argc, char** argv)
{
    zop::SetConfigFileReporter(ReportIgnoredConfiguration);
    std::set_terminate(OnTerminate);
    // A file that grows beyond the user's file size limit is a write error
    // like a full disk, reported and cleaned up, not a signal that kills.
    std::signal(SIGXFSZ, SIG_IGN);
    if (argc < 2) {
        PrintUsage(stderr);
        return zop::ExitUsage;
    }
    const std::string_view name = argv[1];
    if (name == "--version" || name == "-V") {
        std::printf("zop5-tool %s\n", ZOP5_VERSION);
        return zop::ExitOk;
    }
    if (name == "help" && argc > 3) {
        std::fprintf(stderr, "zop5-tool help: expected one command\n\n");
        PrintUsage(stderr);
        return zop::ExitUsage;
    }
    if (name == "help" && argc == 3) {
        // "help COMMAND" is "COMMAND --help".
        char helpOption[] = "--help";
        char* helpLine[] = { argv[2], helpOption, nullptr };
        return RunCommand(argv[2], 2, helpLine);
    }
    if (name == "--help" || name == "-h" || name == "help") {
        PrintUsage(stdout);
        return zop::ExitOk;
    }
    return RunCommand(name, argc - 1, argv + 1);
}
