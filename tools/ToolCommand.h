#pragma once
// The subcommands of zop5-tool. Each command lives in its own file and takes
// the command line from its own name on (argv[0] is the command's name).
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

int SimulateCommand(int argc, char** argv);
int MeasureCommand(int argc, char** argv);
int ExportCommand(int argc, char** argv);
int CaptureCommand(int argc, char** argv);
int PortsCommand(int argc, char** argv);
int SpectrumCommand(int argc, char** argv);
int ConvertCommand(int argc, char** argv);

} // namespace zop
