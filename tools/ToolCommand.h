#pragma once
// The subcommands of zop5-tool. Each command lives in its own file and takes
// the command line from its own name on (argv[0] is the command's name).
#include <exception>
#include <string_view>

namespace zop {

struct ToolCommand {
    std::string_view Name;
    std::string_view Summary;
    int (*Run)(int argc, char** argv);
};

// Exit codes shared by the commands.
constexpr int ExitOk = 0;
constexpr int ExitFailure = 1;
constexpr int ExitUsage = 2;

// How every command reports that the memory ran out.
inline constexpr char OutOfMemoryText[] = "out of memory";

// The text a failure is reported with: OutOfMemoryText when an allocation
// failed (the exception's own text says nothing to a user), else the
// exception's text.
const char* FailureText(const std::exception& error);

int SimulateCommand(int argc, char** argv);
int MeasureCommand(int argc, char** argv);
int ExportCommand(int argc, char** argv);
int CaptureCommand(int argc, char** argv);
int PortsCommand(int argc, char** argv);
int SpectrumCommand(int argc, char** argv);
int ConvertCommand(int argc, char** argv);

} // namespace zop
