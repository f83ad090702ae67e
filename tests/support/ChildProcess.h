#pragma once
// Runs a program as a user would, for tests that check built programs from
// the outside: arguments, environment, standard input, and what it prints and
// returns. Standard output and standard error are read together so a chatty
// child never blocks on a full pipe.
#include <chrono>
#include <map>
#include <optional>
#include <string>
#include <sys/types.h>
#include <vector>

namespace zop::test {

struct ChildOptions {
    // Variables to set (a value) or to remove (nullopt); the rest of this
    // process's environment is passed on.
    std::map<std::string, std::optional<std::string>> Environment;
    std::string Input; // written to standard input, which is then closed
    std::string WorkingDirectory; // empty: this process's
};

struct ChildResult {
    int ExitCode = -1; // -1 when the child ended by a signal
    int Signal = 0;
    bool TimedOut = false; // killed by the guard time of Finish
    std::string Out;
    std::string Err;
};

class ChildProcess {
public:
    // Starts argv[0] (looked up in PATH when it holds no slash). Throws
    // std::runtime_error when the program cannot be started.
    ChildProcess(const std::vector<std::string>& argv, const ChildOptions& options = {});
    ~ChildProcess(); // kills a child still running
    ChildProcess(const ChildProcess&) = delete;
    ChildProcess& operator=(const ChildProcess&) = delete;

    pid_t Pid() const { return m_pid; }

    // Reads until standard output holds a complete line and returns it
    // without its line end; nullopt when the output ended or `guard` passed.
    std::optional<std::string> ReadLine(std::chrono::milliseconds guard);
    // Waits until standard error contains `text`; false when it ended first
    // or `guard` passed.
    bool WaitForError(const std::string& text, std::chrono::milliseconds guard);

    void Signal(int signal);
    // Collects the rest of the output and the exit status. A child still
    // running after `guard` is killed and reported as timed out; the guard
    // only keeps a broken test from hanging.
    ChildResult Finish(std::chrono::milliseconds guard = std::chrono::seconds(60));

private:
    // Moves available output into the buffers, waiting up to `wait`; false
    // once both pipes are closed.
    bool Pump(std::chrono::milliseconds wait);

    pid_t m_pid = -1;
    int m_out = -1;
    int m_err = -1;
    std::string m_outBuffer;
    std::string m_errBuffer;
    size_t m_outTaken = 0;
    std::optional<ChildResult> m_result;
};

// Start, feed, collect.
ChildResult RunChild(const std::vector<std::string>& argv, const ChildOptions& options = {},
    std::chrono::milliseconds guard = std::chrono::seconds(60));

} // namespace zop::test
