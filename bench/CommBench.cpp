// Receive speed of the serial library against a plain poll()+read() loop and
// the serial libraries a programmer would otherwise pick, in the same run,
// each on its own pseudo-terminal pair:
//   Throughput/<impl>/<line bytes>: a writer thread streams lines of 80 or
//     4096 bytes, each ended by 0x0D; the owner thread (the benchmark thread)
//     receives 1 MiB per iteration and counts the lines. bytes_per_second.
//   Latency/<impl>: from writing one line end on the master to the code that
//     handles it running; counters p50_us and p99_us, and fast_share,
//     fast_p50_us and slow_p50_us (see ReportLatencies).
//   Idle/<impl>: an open port without traffic for 10 s: wakeups_per_s of its
//     threads (context switches) and cpu_percent_of_core; component: no
//     receiver, window_receiver: a window of the benchmark thread receives.
// impl: plain (the loop), blocks (a trigger handler taking GetBlock),
// getchar (one GetChar per byte), procedure (a procedure receiver on the
// dispatcher thread), qserialport, asio, libserialport. The peers exist
// only here, never in the product.
//   LatencyPart/<what>: the parts a line end crosses on its way, to say
//     where each microsecond of Latency goes.
//   CountedLines/<impl>/<line bytes>: Throughput of blocks, getchar and
//     procedure doing the peers' work: no message per line end, the handler
//     counts the lines of the waiting bytes it takes.
#include "comm/DeviceProcs.h"
#include "comm/MessageWindow.h"
#include "comm/PortLayer.h"
#include "comm/PosixLayer.h"
#include "comm/SyncEvent.h"
#include "comm/Triggers.h"

#include <benchmark/benchmark.h>

#include <dirent.h>
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
#include <condition_variable>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <functional>
#include <memory>
#include <mutex>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#ifdef ZOP5_BENCH_QSERIALPORT
#include <QCoreApplication>
#include <QEventLoop>
#include <QSerialPort>
#endif
#ifdef ZOP5_BENCH_ASIO
#include <boost/asio/io_context.hpp>
#include <boost/asio/serial_port.hpp>
#endif
#ifdef ZOP5_BENCH_LIBSERIALPORT
#include <libserialport.h>
#endif

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
        StopStream();
        close(m_master);
        close(m_slave);
    }
    Pty(const Pty&) = delete;
    Pty& operator=(const Pty&) = delete;

    int Slave() const { return m_slave; }
    const std::string& Path() const { return m_path; }

    // Writes everything, waiting for room in the terminal's buffer; false
    // when `stop` was set meanwhile.
    bool WriteAll(const char* bytes, std::size_t size, const std::atomic<bool>* stop = nullptr) const
    {
        std::size_t done = 0;
        while (done < size) {
            if (stop && *stop)
                return false;
            const ssize_t n = write(m_master, bytes + done, size - done);
            if (n > 0) {
                done += static_cast<std::size_t>(n);
            } else {
                // The master is not reported writable when the terminal's
                // buffers drain into the reader's side, only when the reader
                // reads: a long wait here lets the terminal run dry and
                // measures the writer's sleep, not the receiver. 64 KiB of
                // buffer last about 0.5 ms at the rates measured here; look
                // again after 50 us.
                pollfd out { m_master, POLLOUT, 0 };
                const timespec wait { 0, 50'000 };
                ppoll(&out, 1, &wait, nullptr);
            }
        }
        return true;
    }

    // A writer thread streams `stream` over and over until StopStream.
    void StartStream(const std::string& stream)
    {
        m_stop = false;
        m_writer = std::thread([this, &stream] {
            while (WriteAll(stream.data(), stream.size(), &m_stop)) { }
        });
    }
    void StopStream()
    {
        m_stop = true;
        if (m_writer.joinable())
            m_writer.join();
    }

private:
    int m_master = -1;
    int m_slave = -1;
    std::string m_path;
    std::atomic<bool> m_stop { false };
    std::thread m_writer;
};

// Lines of printable bytes, each ended by 0x0D; a whole number of lines.
std::string MakeStream(std::size_t lineLength)
{
    const std::size_t size = std::max<std::size_t>(1, (1 << 18) / lineLength) * lineLength;
    std::string stream(size, 'x');
    for (std::size_t i = 0; i < size; ++i)
        stream[i] = (i + 1) % lineLength == 0 ? '\r' : static_cast<char>('0' + i % 10);
    return stream;
}

constexpr std::uint64_t BytesPerIteration = 1 << 20;

// What every consumer does with received bytes: counts them and the lines.
struct Tally {
    std::uint64_t Bytes = 0;
    std::uint64_t Lines = 0;
    void Add(const void* data, std::size_t size)
    {
        Bytes += size;
        const char* at = static_cast<const char*>(data);
        const char* end = at + size;
        while ((at = static_cast<const char*>(std::memchr(at, '\r', static_cast<std::size_t>(end - at))))) {
            ++Lines;
            ++at;
        }
    }
};

// A receiver under test: opened on a pseudo-terminal, then Receive runs on
// the benchmark thread until at least `bytes` more bytes have arrived;
// LineEnd sends one line end and says when its handler ran.
class Receiver {
public:
    virtual ~Receiver() = default;
    virtual void Receive(std::uint64_t bytes) = 0;
    // Sends one line end with `send` and waits until its handler has run.
    virtual Clock::time_point LineEnd(const std::function<void()>& send) = 0;
};

using ReceiverFactory = std::function<std::unique_ptr<Receiver>(const Pty&)>;

// ---- plain poll()+read() loop ----

class PlainReceiver : public Receiver {
public:
    explicit PlainReceiver(const Pty& pty)
        : m_fd(pty.Slave())
    {
    }
    void Receive(std::uint64_t bytes) override
    {
        const std::uint64_t target = m_tally.Bytes + bytes;
        char buffer[8192];
        pollfd in { m_fd, POLLIN, 0 };
        while (m_tally.Bytes < target) {
            if (poll(&in, 1, 1000) <= 0)
                continue;
            const ssize_t n = read(m_fd, buffer, sizeof buffer);
            if (n > 0)
                m_tally.Add(buffer, static_cast<std::size_t>(n));
        }
    }
    Clock::time_point LineEnd(const std::function<void()>& send) override
    {
        // The loop's thread wakes on the byte and hands it to the owner
        // thread once (an eventfd), as a program with a reading thread does.
        const std::uint64_t lines = m_tally.Lines;
        Clock::time_point handled;
        std::atomic<bool> started { false };
        std::thread reader([&] {
            started = true;
            char buffer[64];
            pollfd in { m_fd, POLLIN, 0 };
            while (m_tally.Lines == lines) {
                if (poll(&in, 1, 1000) <= 0)
                    continue;
                const ssize_t n = read(m_fd, buffer, sizeof buffer);
                if (n > 0)
                    m_tally.Add(buffer, static_cast<std::size_t>(n));
            }
            const std::uint64_t one = 1;
            [[maybe_unused]] const ssize_t ignored = write(m_handOff, &one, sizeof one);
        });
        while (!started)
            std::this_thread::yield();
        std::this_thread::sleep_for(std::chrono::microseconds(200)); // the reader waits in poll() now
        send();
        pollfd handed { m_handOff, POLLIN, 0 };
        while (poll(&handed, 1, 1000) != 1) { }
        handled = Clock::now();
        std::uint64_t value = 0;
        [[maybe_unused]] const ssize_t ignored = read(m_handOff, &value, sizeof value);
        reader.join();
        return handled;
    }
    ~PlainReceiver() override { close(m_handOff); }

private:
    int m_fd;
    int m_handOff = eventfd(0, EFD_CLOEXEC);
    Tally m_tally;
};

// ---- our component: blocks, getchar, procedure ----

// Whether the port announces each line end with its own messages (a data
// trigger on 0x0D, as the window program's port does), or only the waiting
// bytes, whose lines the handler counts itself, as the peers' handlers do.
enum class Lines { Triggered, Counted };

zop::PortHandle OpenBenchPort(const Pty& pty, Lines lines = Lines::Triggered)
{
    zop::InstallPosixLayer();
    zop::PortHandle port = 0;
    if (zop::OpenPort(&port, 4, pty.Path().c_str(), 115200, 0, 8, 1, 4096, 4096) != 0)
        throw std::runtime_error("the port did not open");
    zop::ClearPortOptions(port, zop::OptionConsumeOnRead);
    zop::SetTriggerLength(port, 1);
    const std::uint8_t cr = '\r';
    if (lines == Lines::Triggered)
        zop::AddDataTrigger(port, &cr, false, 1);
    return port;
}

enum class Taking { InBlocks, ByteByByte };

// The owner thread (the benchmark thread) has a message window whose
// handler takes every announced byte, as the window program's does.
class WindowReceiver : public Receiver {
public:
    WindowReceiver(const Pty& pty, Taking taking, Lines lines = Lines::Triggered)
        : m_port(OpenBenchPort(pty, lines))
        , m_taking(taking)
    {
        m_window = zop::CreateMessageWindow(
            [this](zop::WindowHandle, std::uint32_t msg, std::uintptr_t wParam, std::intptr_t) -> std::intptr_t {
                if (msg == zop::TriggerAvailMsg)
                    Take(static_cast<std::uint32_t>(wParam));
                else if (msg == zop::TriggerDataMsg && m_lineEnd == Clock::time_point {})
                    m_lineEnd = Clock::now(); // once per line end awaited, as the peers' handlers
                return 0;
            });
        zop::RegisterTriggerHandler(m_port, m_window, nullptr, false);
    }
    ~WindowReceiver() override
    {
        zop::ClosePort(m_port);
        zop::DestroyMessageWindow(m_window);
    }
    void Receive(std::uint64_t bytes) override
    {
        const std::uint64_t target = m_tally.Bytes + bytes;
        while (m_tally.Bytes < target)
            Pump();
    }
    Clock::time_point LineEnd(const std::function<void()>& send) override
    {
        m_lineEnd = {};
        send();
        while (m_lineEnd == Clock::time_point {})
            Pump();
        return m_lineEnd;
    }

private:
    void Pump()
    {
        pollfd wake { zop::MessageWakeDescriptor(), POLLIN, 0 };
        poll(&wake, 1, 1000);
        zop::PumpMessages();
    }
    void Take(std::uint32_t count)
    {
        std::uint8_t block[8192];
        std::uint32_t taken = 0;
        if (m_taking == Taking::InBlocks) {
            const std::int32_t got
                = zop::GetBlock(m_port, block, static_cast<std::int32_t>(std::min<std::uint32_t>(count, sizeof block)));
            taken = got > 0 ? static_cast<std::uint32_t>(got) : 0;
        } else {
            for (std::uint32_t i = 0; i < count && i < sizeof block; ++i)
                taken += zop::GetChar(m_port, &block[i]) == 0;
        }
        m_tally.Add(block, taken);
    }

    zop::PortHandle m_port;
    Taking m_taking;
    zop::WindowHandle m_window = 0;
    Tally m_tally;
    Clock::time_point m_lineEnd;
};

// A procedure receiver: runs on the dispatcher thread and takes every
// announced byte in blocks; the owner thread waits for the count.
class ProcedureReceiver : public Receiver {
public:
    explicit ProcedureReceiver(const Pty& pty, Lines lines = Lines::Triggered)
        : m_port(OpenBenchPort(pty, lines))
    {
        s_current = this;
        zop::RegisterTriggerHandler(m_port, 0, &ProcedureReceiver::Procedure, false);
    }
    ~ProcedureReceiver() override
    {
        zop::ClosePort(m_port);
        s_current = nullptr;
    }
    void Receive(std::uint64_t bytes) override
    {
        std::unique_lock lock(m_mutex);
        const std::uint64_t target = m_bytes + bytes;
        m_bytesWanted = target;
        m_arrived.wait(lock, [&] { return m_bytes >= target; });
        m_bytesWanted = 0;
    }
    Clock::time_point LineEnd(const std::function<void()>& send) override
    {
        std::unique_lock lock(m_mutex);
        m_lineEnd = {};
        m_timeLineEnd = true;
        lock.unlock();
        send();
        lock.lock();
        m_arrived.wait(lock, [&] { return m_lineEnd != Clock::time_point {}; });
        return m_lineEnd;
    }

private:
    // The procedure does the work on the dispatcher thread; the benchmark
    // thread is woken only when what it waits for has come, as the peers'
    // owner threads are woken only by their reads. (A wait woken for every
    // message kept the second processor busy, which the peers do not pay.)
    static void Procedure(zop::WindowHandle, std::uint32_t msg, std::uint32_t wParam, std::int32_t)
    {
        ProcedureReceiver& self = *s_current;
        if (msg == zop::TriggerAvailMsg) {
            std::uint8_t block[8192];
            const std::int32_t got = zop::GetBlock(
                self.m_port, block, static_cast<std::int32_t>(std::min<std::uint32_t>(wParam, sizeof block)));
            if (got > 0) {
                self.m_tally.Add(block, static_cast<std::size_t>(got));
                // Either this thread sees the count awaited, or the waiter
                // sees the bytes (both sequentially consistent).
                self.m_bytes = self.m_tally.Bytes;
                const std::uint64_t wanted = self.m_bytesWanted;
                if (wanted != 0 && self.m_tally.Bytes >= wanted) {
                    const std::lock_guard lock(self.m_mutex);
                    self.m_arrived.notify_one();
                }
            }
        } else if (msg == zop::TriggerDataMsg && self.m_timeLineEnd.load(std::memory_order_relaxed)) {
            // The time only of a line end awaited, as the peers' handlers.
            const std::lock_guard lock(self.m_mutex);
            if (self.m_timeLineEnd) {
                self.m_timeLineEnd = false;
                self.m_lineEnd = Clock::now();
                self.m_arrived.notify_one();
            }
        }
    }

    static inline ProcedureReceiver* s_current = nullptr;
    zop::PortHandle m_port;
    Tally m_tally; // dispatcher thread only
    std::mutex m_mutex;
    std::condition_variable m_arrived;
    std::atomic<std::uint64_t> m_bytes { 0 };
    std::atomic<std::uint64_t> m_bytesWanted { 0 }; // 0: nobody waits
    std::atomic<bool> m_timeLineEnd { false };
    Clock::time_point m_lineEnd; // under m_mutex
};

// ---- peers ----

#ifdef ZOP5_BENCH_QSERIALPORT
// QSerialPort on the owner thread's event loop: readAll on readyRead.
class QSerialPortReceiver : public Receiver {
public:
    explicit QSerialPortReceiver(const Pty& pty)
    {
        m_port.setPortName(QString::fromStdString(pty.Path()));
        if (!m_port.open(QIODevice::ReadOnly))
            throw std::runtime_error("QSerialPort did not open the pseudo-terminal");
        m_port.setBaudRate(115200);
        QObject::connect(&m_port, &QSerialPort::readyRead, [this] {
            const QByteArray data = m_port.readAll();
            const std::uint64_t lines = m_tally.Lines;
            m_tally.Add(data.constData(), static_cast<std::size_t>(data.size()));
            if (m_tally.Lines != lines && m_lineEnd == Clock::time_point {})
                m_lineEnd = Clock::now();
            if (m_tally.Bytes >= m_target && (m_waitingForLine ? m_lineEnd != Clock::time_point {} : true))
                m_loop.quit();
        });
    }
    void Receive(std::uint64_t bytes) override
    {
        m_target = m_tally.Bytes + bytes;
        m_waitingForLine = false;
        m_loop.exec();
    }
    Clock::time_point LineEnd(const std::function<void()>& send) override
    {
        m_lineEnd = {};
        m_target = 0;
        m_waitingForLine = true;
        send();
        m_loop.exec();
        return m_lineEnd;
    }

private:
    QSerialPort m_port;
    QEventLoop m_loop;
    Tally m_tally;
    std::uint64_t m_target = 0;
    bool m_waitingForLine = false;
    Clock::time_point m_lineEnd;
};
#endif

#ifdef ZOP5_BENCH_ASIO
// Boost.Asio's serial_port: async_read_some re-armed from its handler, the
// io_context run on the owner thread.
class AsioReceiver : public Receiver {
public:
    explicit AsioReceiver(const Pty& pty)
        : m_port(m_io, pty.Path())
    {
        m_port.set_option(boost::asio::serial_port::baud_rate(115200));
        Arm();
    }
    ~AsioReceiver() override
    {
        boost::system::error_code ignored;
        m_port.cancel(ignored);
        m_port.close(ignored);
    }
    void Receive(std::uint64_t bytes) override
    {
        const std::uint64_t target = m_tally.Bytes + bytes;
        while (m_tally.Bytes < target)
            m_io.run_one();
    }
    Clock::time_point LineEnd(const std::function<void()>& send) override
    {
        const std::uint64_t lines = m_tally.Lines;
        send();
        while (m_tally.Lines == lines)
            m_io.run_one();
        return m_lineEnd;
    }

private:
    void Arm()
    {
        m_port.async_read_some(
            boost::asio::buffer(m_buffer), [this](const boost::system::error_code& error, std::size_t size) {
                if (error)
                    return;
                const std::uint64_t lines = m_tally.Lines;
                m_tally.Add(m_buffer.data(), size);
                if (m_tally.Lines != lines)
                    m_lineEnd = Clock::now();
                Arm();
            });
    }

    boost::asio::io_context m_io;
    boost::asio::serial_port m_port;
    std::array<char, 8192> m_buffer {};
    Tally m_tally;
    Clock::time_point m_lineEnd;
};
#endif

#ifdef ZOP5_BENCH_LIBSERIALPORT
// libserialport: a blocking read of what is there, on the owner thread.
class LibSerialPortReceiver : public Receiver {
public:
    explicit LibSerialPortReceiver(const Pty& pty)
    {
        if (sp_get_port_by_name(pty.Path().c_str(), &m_port) != SP_OK)
            throw std::runtime_error(std::string("libserialport refuses the pseudo-terminal: ") + LastError());
        if (sp_open(m_port, SP_MODE_READ) != SP_OK) {
            const std::string error = LastError();
            sp_free_port(m_port);
            throw std::runtime_error("libserialport cannot open the pseudo-terminal: " + error);
        }
    }
    ~LibSerialPortReceiver() override
    {
        sp_close(m_port);
        sp_free_port(m_port);
    }
    void Receive(std::uint64_t bytes) override
    {
        const std::uint64_t target = m_tally.Bytes + bytes;
        while (m_tally.Bytes < target)
            ReadSome();
    }
    Clock::time_point LineEnd(const std::function<void()>& send) override
    {
        const std::uint64_t lines = m_tally.Lines;
        send();
        while (m_tally.Lines == lines)
            ReadSome();
        return Clock::now();
    }

private:
    static std::string LastError()
    {
        char* message = sp_last_error_message();
        const std::string text = message ? message : "unknown";
        sp_free_error_message(message);
        return text;
    }
    void ReadSome()
    {
        char buffer[8192];
        const int got = sp_blocking_read_next(m_port, buffer, sizeof buffer, 1000);
        if (got > 0)
            m_tally.Add(buffer, static_cast<std::size_t>(got));
    }

    sp_port* m_port = nullptr;
    Tally m_tally;
};
#endif

// ---- the measurements ----

// A receiver on the pseudo-terminal, or none when its library refuses it
// (the run then says why).
std::unique_ptr<Receiver> Open(benchmark::State& state, const ReceiverFactory& make, const Pty& pty)
{
    try {
        return make(pty);
    } catch (const std::exception& error) {
        state.SkipWithError(error.what());
        return nullptr;
    }
}

// The rates and percentiles are counters of their own, measured on the wall
// clock: the benchmark's own time is the owner thread's processor time, and
// its names stay as given (no time-type suffix). A round whose owner thread
// only waits (procedure) ends by its wall time instead.
void Throughput(benchmark::State& state, const ReceiverFactory& make, std::size_t lineBytes)
{
    Pty pty;
    const std::string stream = MakeStream(lineBytes);
    const std::unique_ptr<Receiver> receiver = Open(state, make, pty);
    if (!receiver)
        return;
    pty.StartStream(stream);
    receiver->Receive(BytesPerIteration); // warm up
    std::uint64_t received = 0;
    const auto start = Clock::now();
    for (auto _ : state) {
        receiver->Receive(BytesPerIteration);
        received += BytesPerIteration;
    }
    const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
    pty.StopStream();
    state.counters["bytes_per_second"] = static_cast<double>(received) / seconds;
}

// A line end crosses the terminal's kernel worker, which the kernel runs
// either on the waiting thread's processor (a few microseconds) or on the
// other one, which must first be woken (tens of microseconds on a virtual
// machine), and a run tends to stay in one of the two states. Besides the
// percentiles of all samples, each state's share and median are reported,
// so that receivers compare by their own hops, not by the kernel's choice.
constexpr double SameProcessorLimitUs = 15;

void ReportLatencies(benchmark::State& state, std::vector<double>& microseconds)
{
    if (microseconds.empty())
        return;
    std::sort(microseconds.begin(), microseconds.end());
    const std::size_t count = microseconds.size();
    state.counters["p50_us"] = microseconds[count / 2];
    state.counters["p99_us"] = microseconds[count * 99 / 100];
    const std::size_t fast = static_cast<std::size_t>(
        std::upper_bound(microseconds.begin(), microseconds.end(), SameProcessorLimitUs) - microseconds.begin());
    state.counters["fast_share"] = static_cast<double>(fast) / static_cast<double>(count);
    if (fast > 0)
        state.counters["fast_p50_us"] = microseconds[fast / 2];
    if (fast < count)
        state.counters["slow_p50_us"] = microseconds[fast + (count - fast) / 2];
}

void Latency(benchmark::State& state, const ReceiverFactory& make)
{
    Pty pty;
    const std::unique_ptr<Receiver> receiver = Open(state, make, pty);
    if (!receiver)
        return;
    std::vector<double> samples;
    for (auto _ : state) {
        Clock::time_point start;
        const auto handled = receiver->LineEnd([&] {
            start = Clock::now();
            pty.WriteAll("\r", 1);
        });
        const double seconds = std::chrono::duration<double>(handled - start).count();
        samples.push_back(seconds * 1e6);
    }
    ReportLatencies(state, samples);
}

// Context switches of this process's threads other than the calling one.
std::uint64_t OtherThreadsSwitches()
{
    std::uint64_t total = 0;
    const std::string self = std::to_string(gettid());
    DIR* tasks = opendir("/proc/self/task");
    if (!tasks)
        return 0;
    while (const dirent* entry = readdir(tasks)) {
        if (entry->d_name[0] == '.' || self == entry->d_name)
            continue;
        std::ifstream status(std::string("/proc/self/task/") + entry->d_name + "/status");
        std::string line;
        while (std::getline(status, line)) {
            unsigned long long value = 0;
            if (std::sscanf(line.c_str(), "voluntary_ctxt_switches: %llu", &value) == 1
                || std::sscanf(line.c_str(), "nonvoluntary_ctxt_switches: %llu", &value) == 1)
                total += value;
        }
    }
    closedir(tasks);
    return total;
}

double ProcessCpuSeconds()
{
    timespec now {};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &now);
    return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) / 1e9;
}

// An open port without traffic: the benchmark thread only sleeps.
void Idle(benchmark::State& state, const std::function<std::function<void()>(const Pty&)>& open)
{
    Pty pty;
    const auto period = std::chrono::seconds(state.range(0));
    for (auto _ : state) {
        const std::function<void()> close = open(pty);
        std::this_thread::sleep_for(std::chrono::milliseconds(200));
        const std::uint64_t switches = OtherThreadsSwitches();
        const double cpu = ProcessCpuSeconds();
        const auto wall = Clock::now();
        std::this_thread::sleep_for(period);
        const double used = ProcessCpuSeconds() - cpu;
        const double elapsed = std::chrono::duration<double>(Clock::now() - wall).count();
        const std::uint64_t woke = OtherThreadsSwitches() - switches;
        close();
        state.counters["cpu_percent_of_core"] = 100.0 * used / elapsed;
        state.counters["wakeups_per_s"] = static_cast<double>(woke) / elapsed;
        state.SetIterationTime(elapsed);
    }
}

// ---- parts of the latency ----

// The terminal alone: write the byte and wait for it on the same thread.
void PtyOnly(benchmark::State& state)
{
    Pty pty;
    std::vector<double> samples;
    char buffer[16];
    pollfd in { pty.Slave(), POLLIN, 0 };
    for (auto _ : state) {
        const auto start = Clock::now();
        pty.WriteAll("\r", 1);
        while (poll(&in, 1, 1000) != 1) { }
        const auto end = Clock::now();
        [[maybe_unused]] const ssize_t ignored = read(pty.Slave(), buffer, sizeof buffer);
        samples.push_back(std::chrono::duration<double, std::micro>(end - start).count());
    }
    ReportLatencies(state, samples);
}

// One wake-up of a sleeping thread by a port event (event thread to
// dispatcher thread): Set on one thread to the return of Wait on another.
void EventHandOff(benchmark::State& state)
{
    zop::SyncEvent ready;
    zop::SyncEvent answer;
    ready.Create(zop::EventReset::Auto);
    answer.Create(zop::EventReset::Auto);
    std::atomic<bool> stop { false };
    Clock::time_point woke;
    std::thread waiter([&] {
        while (!stop) {
            if (ready.Wait(20)) {
                woke = Clock::now();
                answer.Set();
            }
        }
    });
    std::vector<double> samples;
    for (auto _ : state) {
        std::this_thread::sleep_for(std::chrono::microseconds(100)); // the waiter sleeps in poll() now
        const auto start = Clock::now();
        ready.Set();
        answer.Wait(1000);
        samples.push_back(std::chrono::duration<double, std::micro>(woke - start).count());
    }
    stop = true;
    waiter.join();
    ReportLatencies(state, samples);
}

// One wake-up of a sleeping thread and its answer through the message
// windows: a send to a window of another thread, from call to return.
void MessageRoundTrip(benchmark::State& state)
{
    std::atomic<zop::WindowHandle> window { 0 };
    std::atomic<bool> stop { false };
    std::thread owner([&] {
        window = zop::CreateMessageWindow(
            [](zop::WindowHandle, std::uint32_t, std::uintptr_t, std::intptr_t) { return std::intptr_t { 0 }; });
        pollfd wake { zop::MessageWakeDescriptor(), POLLIN, 0 };
        while (!stop) {
            poll(&wake, 1, 20);
            zop::PumpMessages();
        }
        zop::DestroyMessageWindow(window);
    });
    while (window == 0)
        std::this_thread::yield();
    std::vector<double> samples;
    for (auto _ : state) {
        const auto start = Clock::now();
        zop::SendMessageTimeout(window, zop::TriggerDataMsg, 0, 0, std::chrono::milliseconds(1000));
        const auto end = Clock::now();
        samples.push_back(std::chrono::duration<double, std::micro>(end - start).count());
    }
    stop = true;
    owner.join();
    ReportLatencies(state, samples);
}

template <typename T, typename... Args> ReceiverFactory Make(Args... args)
{
    return [=](const Pty& pty) -> std::unique_ptr<Receiver> { return std::make_unique<T>(pty, args...); };
}

struct Impl {
    const char* Name;
    ReceiverFactory Factory;
};

std::vector<Impl> Impls()
{
    std::vector<Impl> impls = {
        { "plain", Make<PlainReceiver>() },
        { "blocks", Make<WindowReceiver>(Taking::InBlocks) },
        { "getchar", Make<WindowReceiver>(Taking::ByteByByte) },
        { "procedure", Make<ProcedureReceiver>() },
    };
#ifdef ZOP5_BENCH_QSERIALPORT
    impls.push_back({ "qserialport", Make<QSerialPortReceiver>() });
#endif
#ifdef ZOP5_BENCH_ASIO
    impls.push_back({ "asio", Make<AsioReceiver>() });
#endif
#ifdef ZOP5_BENCH_LIBSERIALPORT
    impls.push_back({ "libserialport", Make<LibSerialPortReceiver>() });
#endif
    return impls;
}

void Register()
{
    // Our receivers doing the peers' work: the handler takes the waiting
    // bytes and counts the lines itself, without a message per line end.
    const std::vector<Impl> counting = {
        { "blocks", Make<WindowReceiver>(Taking::InBlocks, Lines::Counted) },
        { "getchar", Make<WindowReceiver>(Taking::ByteByByte, Lines::Counted) },
        { "procedure", Make<ProcedureReceiver>(Lines::Counted) },
    };
    const auto throughput = [](const std::string& name, const ReceiverFactory& factory, int lineBytes) {
        benchmark::RegisterBenchmark(name.c_str(), [factory, lineBytes](benchmark::State& state) {
            Throughput(state, factory, static_cast<std::size_t>(lineBytes));
        })->Unit(benchmark::kMillisecond);
    };
    // Interleaved by line size, so that each size's rounds run close together.
    for (const int lineBytes : { 80, 4096 }) {
        for (const Impl& impl : Impls())
            throughput(
                "Throughput/" + std::string(impl.Name) + "/" + std::to_string(lineBytes), impl.Factory, lineBytes);
        for (const Impl& impl : counting)
            throughput(
                "CountedLines/" + std::string(impl.Name) + "/" + std::to_string(lineBytes), impl.Factory, lineBytes);
    }
    for (const Impl& impl : Impls()) {
        benchmark::RegisterBenchmark(("Latency/" + std::string(impl.Name)).c_str(),
            [factory = impl.Factory](benchmark::State& state) { Latency(state, factory); })
            ->Unit(benchmark::kMicrosecond);
    }
    benchmark::RegisterBenchmark("LatencyPart/pty_write_to_poll", PtyOnly)->Unit(benchmark::kMicrosecond);
    benchmark::RegisterBenchmark("LatencyPart/event_hand_off", EventHandOff)->Unit(benchmark::kMicrosecond);
    benchmark::RegisterBenchmark("LatencyPart/message_round_trip", MessageRoundTrip)->Unit(benchmark::kMicrosecond);
    benchmark::RegisterBenchmark("Idle/component",
        [](benchmark::State& state) {
            Idle(state, [](const Pty& pty) -> std::function<void()> {
                const zop::PortHandle port = OpenBenchPort(pty);
                return [port] { zop::ClosePort(port); };
            });
        })
        ->Arg(10)
        ->Iterations(1)
        ->UseManualTime()
        ->Unit(benchmark::kSecond);
    // As the window program's port is: a window of the benchmark thread
    // receives its messages (that thread reads received bytes itself, and
    // the dispatcher thread keeps its 50 ms tick to read what it leaves).
    benchmark::RegisterBenchmark("Idle/window_receiver",
        [](benchmark::State& state) {
            Idle(state, [](const Pty& pty) -> std::function<void()> {
                const zop::PortHandle port = OpenBenchPort(pty);
                const zop::WindowHandle window = zop::CreateMessageWindow(zop::DefWindowProc);
                zop::RegisterTriggerHandler(port, window, nullptr, false);
                return [port, window] {
                    zop::ClosePort(port);
                    zop::DestroyMessageWindow(window);
                };
            });
        })
        ->Arg(10)
        ->Iterations(1)
        ->UseManualTime()
        ->Unit(benchmark::kSecond);
}

} // namespace

int main(int argc, char** argv)
{
#ifdef ZOP5_BENCH_QSERIALPORT
    QCoreApplication application(argc, argv);
#endif
    Register();
    // Repetitions of the rows run in a random order, so that the rows one
    // run compares see the same machine: how fast a pseudo-terminal is
    // depends on which processor the kernel's worker for it lands on, which
    // changes over minutes, and rows run one after the other would measure
    // that drift as a difference between libraries.
    std::vector<char*> arguments(argv, argv + argc);
    static char interleave[] = "--benchmark_enable_random_interleaving=true";
    if (std::none_of(arguments.begin(), arguments.end(),
            [](const char* argument) { return std::strstr(argument, "random_interleaving") != nullptr; }))
        arguments.insert(arguments.begin() + (argc > 0 ? 1 : 0), interleave);
    int count = static_cast<int>(arguments.size());
    arguments.push_back(nullptr);
    argv = arguments.data();
    argc = count;
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
