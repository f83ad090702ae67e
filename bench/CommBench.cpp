// Speed of the serial library's dispatcher on a pseudo-terminal pair, each
// measured against a plain poll()+read() loop on the same kind of pair:
//   Throughput: bytes per second through a data trigger on 0x0D (lines of 80
//     or 4096 bytes) with a receiver on another thread taking every announced
//     byte, one by one with GetChar or in blocks; and with a procedure
//     receiver on the dispatcher thread (no message window).
//   Latency: from writing 0x0D on the master to the data handler running on
//     the owner thread; the plain loop wakes on the byte and hands it to
//     another thread once. Counters give the median and the 99th percentile.
//   Idle CPU: share of one core an idle open port uses over 10 s.
#include "comm/DeviceProcs.h"
#include "comm/MessageWindow.h"
#include "comm/PortLayer.h"
#include "comm/PosixLayer.h"
#include "comm/Triggers.h"

#include <benchmark/benchmark.h>

#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <sys/eventfd.h>
#include <termios.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

class Pty {
public:
    Pty()
    {
        char name[256] = {};
        if (openpty(&m_master, &m_slave, name, nullptr, nullptr) != 0)
            throw std::runtime_error("openpty failed");
        m_path = name;
        termios raw {};
        tcgetattr(m_slave, &raw);
        cfmakeraw(&raw);
        tcsetattr(m_slave, TCSANOW, &raw);
        fcntl(m_master, F_SETFL, fcntl(m_master, F_GETFL) | O_NONBLOCK);
    }
    ~Pty()
    {
        close(m_master);
        close(m_slave);
    }
    Pty(const Pty&) = delete;
    Pty& operator=(const Pty&) = delete;

    int Master() const { return m_master; }
    int Slave() const { return m_slave; }
    const std::string& Path() const { return m_path; }

    // Writes everything, waiting for room in the terminal's buffer.
    void WriteAll(const char* bytes, std::size_t size) const
    {
        std::size_t done = 0;
        while (done < size) {
            const ssize_t n = write(m_master, bytes + done, size - done);
            if (n > 0) {
                done += static_cast<std::size_t>(n);
            } else {
                pollfd out { m_master, POLLOUT, 0 };
                poll(&out, 1, 10);
            }
        }
    }

private:
    int m_master = -1;
    int m_slave = -1;
    std::string m_path;
};

// Lines of printable bytes, each ended by 0x0D.
std::string MakeStream(std::size_t size, std::size_t lineLength)
{
    std::string stream(size, 'x');
    for (std::size_t i = 0; i < size; ++i)
        stream[i] = (i + 1) % lineLength == 0 ? '\r' : static_cast<char>('0' + i % 10);
    return stream;
}

constexpr std::size_t StreamSize = 1 << 20;

// Blocks (without spinning, which would take a core from the threads
// measured) until the counter reaches `count`.
void WaitFor(const std::atomic<std::uint64_t>& counter, std::uint64_t count)
{
    for (std::uint64_t now = counter.load(); now < count; now = counter.load())
        counter.wait(now);
}

// ---- throughput ----

void PlainLoopThroughput(benchmark::State& state)
{
    Pty pty;
    const std::string stream = MakeStream(StreamSize, static_cast<std::size_t>(state.range(0)));
    std::atomic<std::uint64_t> received { 0 };
    std::atomic<bool> stop { false };
    std::thread reader([&] {
        std::vector<char> buffer(8192);
        pollfd in { pty.Slave(), POLLIN, 0 };
        while (!stop) {
            if (poll(&in, 1, 20) <= 0)
                continue;
            const ssize_t n = read(pty.Slave(), buffer.data(), buffer.size());
            if (n > 0) {
                received += static_cast<std::uint64_t>(n);
                received.notify_all();
            }
        }
    });
    std::uint64_t sent = 0;
    for (auto _ : state) {
        pty.WriteAll(stream.data(), stream.size());
        sent += stream.size();
        WaitFor(received, sent);
    }
    stop = true;
    reader.join();
    state.SetBytesProcessed(static_cast<std::int64_t>(sent));
}

// The receiver: a thread that owns a message window and takes every
// announced byte, as the window program's handler does.
enum class Taking { ByteByByte, InBlocks };

class ReceiverThread {
public:
    explicit ReceiverThread(zop::PortHandle port, Taking taking = Taking::ByteByByte)
        : m_port(port)
        , m_taking(taking)
        , m_thread([this] { Run(); })
    {
        while (!m_ready)
            std::this_thread::yield();
    }
    ~ReceiverThread()
    {
        m_stop = true;
        m_thread.join();
    }
    ReceiverThread(const ReceiverThread&) = delete;
    ReceiverThread& operator=(const ReceiverThread&) = delete;

    zop::WindowHandle Window() const { return m_window; }
    void WaitForTaken(std::uint64_t count) const { WaitFor(m_taken, count); }

private:
    void Run()
    {
        m_window = zop::CreateMessageWindow(
            [this](zop::WindowHandle, std::uint32_t msg, std::uintptr_t wParam, std::intptr_t) -> std::intptr_t {
                if (msg == zop::TriggerAvailMsg) {
                    std::uint64_t taken = 0;
                    if (m_taking == Taking::InBlocks) {
                        std::uint8_t block[8192];
                        const std::int32_t got = zop::GetBlock(
                            m_port, block, static_cast<std::int32_t>(std::min<std::uintptr_t>(wParam, sizeof block)));
                        taken = got > 0 ? static_cast<std::uint64_t>(got) : 0;
                    } else {
                        std::uint8_t byte = 0;
                        for (std::uintptr_t i = 0; i < wParam; ++i)
                            taken += zop::GetChar(m_port, &byte) == 0;
                    }
                    m_taken += taken;
                    m_taken.notify_all();
                }
                return 0;
            });
        m_ready = true;
        pollfd wake { zop::MessageWakeDescriptor(), POLLIN, 0 };
        while (!m_stop) {
            poll(&wake, 1, 20);
            zop::PumpMessages();
        }
        zop::DestroyMessageWindow(m_window);
    }

    zop::PortHandle m_port;
    Taking m_taking;
    std::atomic<zop::WindowHandle> m_window { 0 };
    std::atomic<bool> m_ready { false };
    std::atomic<bool> m_stop { false };
    std::atomic<std::uint64_t> m_taken { 0 };
    std::thread m_thread;
};

zop::PortHandle OpenBenchPort(const Pty& pty)
{
    zop::InstallPosixLayer();
    zop::PortHandle port = 0;
    if (zop::OpenPort(&port, 4, pty.Path().c_str(), 115200, 0, 8, 1, 4096, 4096) != 0)
        throw std::runtime_error("the port did not open");
    zop::ClearPortOptions(port, zop::OptionConsumeOnRead);
    zop::SetTriggerLength(port, 1);
    const std::uint8_t cr = '\r';
    zop::AddDataTrigger(port, &cr, false, 1);
    return port;
}

void DispatcherThroughput(benchmark::State& state)
{
    Pty pty;
    const std::string stream = MakeStream(StreamSize, static_cast<std::size_t>(state.range(0)));
    const zop::PortHandle port = OpenBenchPort(pty);
    std::uint64_t sent = 0;
    {
        ReceiverThread receiver(port, state.range(1) ? Taking::InBlocks : Taking::ByteByByte);
        zop::RegisterTriggerHandler(port, receiver.Window(), nullptr, false);
        for (auto _ : state) {
            pty.WriteAll(stream.data(), stream.size());
            sent += stream.size();
            receiver.WaitForTaken(sent);
        }
        zop::DeregisterTriggerHandler(port, receiver.Window(), nullptr);
        zop::ClosePort(port);
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(sent));
}

std::atomic<std::uint64_t> g_procTaken { 0 };
zop::PortHandle g_procPort = 0;
void TakeAll(zop::WindowHandle, std::uint32_t msg, std::uint32_t wParam, std::int32_t)
{
    if (msg == zop::TriggerAvailMsg) {
        std::uint8_t byte = 0;
        for (std::uint32_t i = 0; i < wParam; ++i)
            g_procTaken += zop::GetChar(g_procPort, &byte) == 0;
        g_procTaken.notify_all();
    }
}

void DispatcherThroughputProcedure(benchmark::State& state)
{
    Pty pty;
    const std::string stream = MakeStream(StreamSize, static_cast<std::size_t>(state.range(0)));
    const zop::PortHandle port = OpenBenchPort(pty);
    g_procPort = port;
    g_procTaken = 0;
    zop::RegisterTriggerHandler(port, 0, TakeAll, false);
    std::uint64_t sent = 0;
    for (auto _ : state) {
        pty.WriteAll(stream.data(), stream.size());
        sent += stream.size();
        WaitFor(g_procTaken, sent);
    }
    zop::ClosePort(port);
    state.SetBytesProcessed(static_cast<std::int64_t>(sent));
}
BENCHMARK(DispatcherThroughputProcedure)->Arg(80)->Arg(4096)->UseRealTime()->Unit(benchmark::kMillisecond);

// ---- latency ----

void ReportLatencies(benchmark::State& state, std::vector<double>& microseconds)
{
    if (microseconds.empty())
        return;
    std::sort(microseconds.begin(), microseconds.end());
    state.counters["median_us"] = microseconds[microseconds.size() / 2];
    state.counters["p99_us"] = microseconds[microseconds.size() * 99 / 100];
}

void PlainLoopLatency(benchmark::State& state)
{
    Pty pty;
    const int handOff = eventfd(0, EFD_CLOEXEC);
    std::atomic<bool> stop { false };
    std::thread reader([&] {
        char buffer[64];
        pollfd in { pty.Slave(), POLLIN, 0 };
        while (!stop) {
            if (poll(&in, 1, 20) <= 0)
                continue;
            if (read(pty.Slave(), buffer, sizeof buffer) > 0) {
                const std::uint64_t one = 1;
                [[maybe_unused]] const ssize_t ignored = write(handOff, &one, sizeof one);
            }
        }
    });
    std::vector<double> samples;
    pollfd handed { handOff, POLLIN, 0 };
    for (auto _ : state) {
        const auto start = Clock::now();
        pty.WriteAll("\r", 1);
        while (poll(&handed, 1, 1000) != 1) { }
        std::uint64_t value = 0;
        [[maybe_unused]] const ssize_t ignored = read(handOff, &value, sizeof value);
        const auto end = Clock::now();
        samples.push_back(std::chrono::duration<double, std::micro>(end - start).count());
        state.SetIterationTime(std::chrono::duration<double>(end - start).count());
    }
    stop = true;
    reader.join();
    close(handOff);
    ReportLatencies(state, samples);
}

void DispatcherLatency(benchmark::State& state)
{
    Pty pty;
    const zop::PortHandle port = OpenBenchPort(pty);
    zop::SetTriggerLength(port, 0);
    Clock::time_point handled;
    bool ran = false;
    const zop::WindowHandle window = zop::CreateMessageWindow(
        [&](zop::WindowHandle, std::uint32_t msg, std::uintptr_t, std::intptr_t) -> std::intptr_t {
            if (msg == zop::TriggerDataMsg) {
                handled = Clock::now();
                ran = true;
                std::uint8_t byte = 0;
                zop::GetChar(port, &byte);
            }
            return 0;
        });
    zop::RegisterTriggerHandler(port, window, nullptr, false);
    std::vector<double> samples;
    pollfd wake { zop::MessageWakeDescriptor(), POLLIN, 0 };
    for (auto _ : state) {
        ran = false;
        const auto start = Clock::now();
        pty.WriteAll("\r", 1);
        while (!ran) {
            poll(&wake, 1, 1000);
            zop::PumpMessages();
        }
        samples.push_back(std::chrono::duration<double, std::micro>(handled - start).count());
        state.SetIterationTime(std::chrono::duration<double>(handled - start).count());
    }
    zop::ClosePort(port);
    zop::DestroyMessageWindow(window);
    ReportLatencies(state, samples);
}

// ---- idle CPU ----

double ProcessCpuSeconds()
{
    timespec now {};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &now);
    return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) / 1e9;
}

void MeasureIdle(benchmark::State& state, const std::function<void()>& start, const std::function<void()>& end)
{
    const auto period = std::chrono::seconds(state.range(0));
    for (auto _ : state) {
        start();
        const double cpu = ProcessCpuSeconds();
        const auto wall = Clock::now();
        std::this_thread::sleep_for(period);
        const double used = ProcessCpuSeconds() - cpu;
        const double elapsed = std::chrono::duration<double>(Clock::now() - wall).count();
        end();
        state.counters["cpu_percent_of_core"] = 100.0 * used / elapsed;
        state.SetIterationTime(elapsed);
    }
}

void PlainLoopIdleCpu(benchmark::State& state)
{
    Pty pty;
    std::atomic<bool> stop { false };
    std::thread reader;
    MeasureIdle(
        state,
        [&] {
            reader = std::thread([&] {
                char buffer[64];
                pollfd in { pty.Slave(), POLLIN, 0 };
                while (!stop) {
                    if (poll(&in, 1, 50) > 0) {
                        const ssize_t got = read(pty.Slave(), buffer, sizeof buffer);
                        static_cast<void>(got);
                    }
                }
            });
        },
        [&] {
            stop = true;
            reader.join();
        });
}

void DispatcherIdleCpu(benchmark::State& state)
{
    Pty pty;
    zop::PortHandle port = 0;
    MeasureIdle(
        state, [&] { port = OpenBenchPort(pty); }, [&] { zop::ClosePort(port); });
}

} // namespace

BENCHMARK(PlainLoopThroughput)->Arg(80)->Arg(4096)->UseRealTime()->Unit(benchmark::kMillisecond);
// Second argument: 0 takes the announced bytes with GetChar, 1 with GetBlock.
BENCHMARK(DispatcherThroughput)
    ->Args({ 80, 0 })
    ->Args({ 4096, 0 })
    ->Args({ 80, 1 })
    ->Args({ 4096, 1 })
    ->UseRealTime()
    ->Unit(benchmark::kMillisecond);
BENCHMARK(PlainLoopLatency)->UseManualTime()->Iterations(2000)->Unit(benchmark::kMicrosecond);
BENCHMARK(DispatcherLatency)->UseManualTime()->Iterations(2000)->Unit(benchmark::kMicrosecond);
BENCHMARK(PlainLoopIdleCpu)->Arg(10)->Iterations(1)->UseManualTime()->Unit(benchmark::kSecond);
BENCHMARK(DispatcherIdleCpu)->Arg(10)->Iterations(1)->UseManualTime()->Unit(benchmark::kSecond);

BENCHMARK_MAIN();
