#include "tests/support/ChildProcess.h"

#include <cerrno>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <spawn.h>
#include <stdexcept>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace zop::test {

namespace {

using Clock = std::chrono::steady_clock;

std::vector<std::string> ChildEnvironment(const ChildOptions& options)
{
    std::vector<std::string> result;
    for (char** entry = environ; *entry; ++entry) {
        const std::string text = *entry;
        const std::string name = text.substr(0, text.find('='));
        if (!options.Environment.contains(name))
            result.push_back(text);
    }
    for (const auto& [name, value] : options.Environment)
        if (value)
            result.push_back(name + "=" + *value);
    return result;
}

std::vector<char*> Pointers(std::vector<std::string>& texts)
{
    std::vector<char*> result;
    for (std::string& text : texts)
        result.push_back(text.data());
    result.push_back(nullptr);
    return result;
}

void CloseFd(int& fd)
{
    if (fd >= 0)
        close(fd);
    fd = -1;
}

} // namespace

ChildProcess::ChildProcess(const std::vector<std::string>& argv, const ChildOptions& options)
{
    if (argv.empty())
        throw std::invalid_argument("no program to run");
    int in[2], out[2], err[2];
    if (pipe2(in, O_CLOEXEC) != 0 || pipe2(out, O_CLOEXEC) != 0 || pipe2(err, O_CLOEXEC) != 0)
        throw std::runtime_error("pipe failed");

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, in[0], 0);
    posix_spawn_file_actions_adddup2(&actions, out[1], 1);
    posix_spawn_file_actions_adddup2(&actions, err[1], 2);
    if (!options.WorkingDirectory.empty())
        posix_spawn_file_actions_addchdir_np(&actions, options.WorkingDirectory.c_str());

    std::vector<std::string> args = argv;
    std::vector<std::string> env = ChildEnvironment(options);
    std::vector<char*> argPointers = Pointers(args);
    std::vector<char*> envPointers = Pointers(env);
    const int failed = posix_spawnp(&m_pid, args[0].c_str(), &actions, nullptr, argPointers.data(), envPointers.data());
    posix_spawn_file_actions_destroy(&actions);
    close(in[0]);
    close(out[1]);
    close(err[1]);
    if (failed) {
        close(in[1]);
        close(out[0]);
        close(err[0]);
        throw std::runtime_error("cannot start " + argv[0] + ": " + std::strerror(failed));
    }
    m_out = out[0];
    m_err = err[0];
    fcntl(m_out, F_SETFL, O_NONBLOCK);
    fcntl(m_err, F_SETFL, O_NONBLOCK);

    // The input is small; a child that does not read it gets EPIPE, which
    // must not end this process.
    std::signal(SIGPIPE, SIG_IGN);
    size_t written = 0;
    while (written < options.Input.size()) {
        const ssize_t n = write(in[1], options.Input.data() + written, options.Input.size() - written);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            break;
        written += static_cast<size_t>(n);
    }
    close(in[1]);
}

ChildProcess::~ChildProcess()
{
    if (!m_result && m_pid > 0) {
        kill(m_pid, SIGKILL);
        waitpid(m_pid, nullptr, 0);
    }
    CloseFd(m_out);
    CloseFd(m_err);
}

bool ChildProcess::Pump(std::chrono::milliseconds wait)
{
    pollfd fds[2];
    nfds_t count = 0;
    if (m_out >= 0)
        fds[count++] = { m_out, POLLIN, 0 };
    if (m_err >= 0)
        fds[count++] = { m_err, POLLIN, 0 };
    if (count == 0)
        return false;
    if (poll(fds, count, static_cast<int>(wait.count())) <= 0)
        return true;
    for (nfds_t i = 0; i < count; ++i) {
        if (!fds[i].revents)
            continue;
        int& fd = fds[i].fd == m_out ? m_out : m_err;
        std::string& buffer = fds[i].fd == m_out ? m_outBuffer : m_errBuffer;
        char block[65536];
        const ssize_t n = read(fd, block, sizeof block);
        if (n > 0)
            buffer.append(block, static_cast<size_t>(n));
        else if (n == 0 || (errno != EAGAIN && errno != EINTR))
            CloseFd(fd);
    }
    return true;
}

std::optional<std::string> ChildProcess::ReadLine(std::chrono::milliseconds guard)
{
    const auto end = Clock::now() + guard;
    for (;;) {
        const size_t newline = m_outBuffer.find('\n', m_outTaken);
        if (newline != std::string::npos) {
            std::string line = m_outBuffer.substr(m_outTaken, newline - m_outTaken);
            m_outTaken = newline + 1;
            return line;
        }
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(end - Clock::now());
        if (left.count() <= 0 || m_out < 0 || !Pump(std::min(left, std::chrono::milliseconds(100))))
            return std::nullopt;
    }
}

bool ChildProcess::WaitForError(const std::string& text, std::chrono::milliseconds guard)
{
    const auto end = Clock::now() + guard;
    while (m_errBuffer.find(text) == std::string::npos) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(end - Clock::now());
        if (left.count() <= 0 || m_err < 0 || !Pump(std::min(left, std::chrono::milliseconds(100))))
            return false;
    }
    return true;
}

void ChildProcess::Signal(int signal)
{
    if (!m_result && m_pid > 0)
        kill(m_pid, signal);
}

ChildResult ChildProcess::Finish(std::chrono::milliseconds guard)
{
    if (m_result)
        return *m_result;
    ChildResult result;
    const auto end = Clock::now() + guard;
    int status = 0;
    for (;;) {
        const pid_t done = waitpid(m_pid, &status, WNOHANG);
        if (done == m_pid)
            break;
        if (Clock::now() >= end) {
            kill(m_pid, SIGKILL);
            waitpid(m_pid, &status, 0);
            result.TimedOut = true;
            break;
        }
        if (!Pump(std::chrono::milliseconds(20)))
            poll(nullptr, 0, 20);
    }
    // What the child wrote before it ended; a grandchild that keeps the pipes
    // open must not hold this up.
    for (;;) {
        const size_t before = m_outBuffer.size() + m_errBuffer.size();
        if (!Pump(std::chrono::milliseconds(0)) || m_outBuffer.size() + m_errBuffer.size() == before)
            break;
    }
    CloseFd(m_out);
    CloseFd(m_err);
    if (WIFEXITED(status))
        result.ExitCode = WEXITSTATUS(status);
    else if (WIFSIGNALED(status))
        result.Signal = WTERMSIG(status);
    result.Out = m_outBuffer.substr(m_outTaken);
    result.Err = m_errBuffer;
    m_result = result;
    return result;
}

ChildResult RunChild(const std::vector<std::string>& argv, const ChildOptions& options, std::chrono::milliseconds guard)
{
    ChildProcess child(argv, options);
    return child.Finish(guard);
}

} // namespace zop::test
