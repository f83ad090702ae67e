#include "comm/TraceLog.h"

#include <cerrno>
#include <cstdio>
#include <string>
#include <sys/stat.h>

#include "comm/Allocation.h"
#include "comm/ErrorCodes.h"
#include "comm/PortTable.h"
#include "comm/PosixLayer.h"
#include "comm/Clock.h"

namespace zop {
namespace {

// Dump files are DOS text files, as the tools that read them expect.
constexpr const char* LineEnd = "\r\n";
const std::string Indent(40, ' ');

const char* const TypeNames[] = { "no event", "dispatch", "trigger", "error", "thread" };
const char* const SubtypeNames[] = { "", "readcom", "writecom", "line status", "modem status", "avail", "timer", "data",
    "status", "start", "exit", "sleep", "wake" };
const char* const ModemBitNames[] = { "DCTS ", "DDSR ", "TERI ", "DDCD ", "CTS ", "DSR ", "RI ", "DCD " };

// A byte as the dumps show it: printable characters as themselves, others
// as their value in brackets (a space too in hex mode, so that it shows).
std::string FormatByte(std::uint8_t byte, bool hex)
{
    if (byte < (hex ? 33 : 32) || byte > 126) {
        char text[8];
        std::snprintf(text, sizeof text, hex ? "[%02X]" : "[%u]", byte);
        return text;
    }
    return std::string(1, static_cast<char>(byte));
}

std::string Padded(const char* text, std::size_t width)
{
    std::string out(text);
    if (out.size() < width)
        out.append(width - out.size(), ' ');
    return out;
}

// A text file written through a 512-byte buffer; remembers the first error.
class DumpFile {
public:
    // Appends when asked to and a file of that name exists that is not a
    // folder; otherwise creates or truncates.
    DumpFile(const char* name, DumpMode mode)
    {
        struct stat info { };
        const bool append = mode == DumpMode::Append && name && stat(name, &info) == 0 && !S_ISDIR(info.st_mode);
        m_file = name ? std::fopen(name, append ? "ab" : "wb") : nullptr;
        if (!m_file) {
            m_error = name ? TranslateErrno(errno) : 2;
            return;
        }
        std::setvbuf(m_file, m_buffer, _IOFBF, sizeof m_buffer);
    }
    ~DumpFile() { Close(); }
    DumpFile(const DumpFile&) = delete;
    DumpFile& operator=(const DumpFile&) = delete;

    bool IsOpen() const { return m_file != nullptr; }

    void Put(const std::string& text)
    {
        if (m_file && m_error == 0 && std::fwrite(text.data(), 1, text.size(), m_file) != text.size())
            m_error = TranslateErrno(errno);
    }

    // 0, or the negated error of the first failure (writing or closing).
    std::int32_t Close()
    {
        if (m_file) {
            if (std::fclose(m_file) != 0 && m_error == 0)
                m_error = TranslateErrno(errno);
            m_file = nullptr;
        }
        return -m_error;
    }

private:
    std::FILE* m_file = nullptr;
    char m_buffer[512];
    std::int32_t m_error = 0;
};

void FreeTrace(PortRecord& record)
{
    record.TraceOn = 0;
    record.TraceBuffer.reset();
    record.TraceIndex = 0;
    record.TraceSize = 0;
    record.TraceWrapped = 0;
}

void FreeLog(PortRecord& record)
{
    record.LogOn = 0;
    record.LogBuffer.reset();
    record.LogScratch.reset();
    record.LogHead = 0;
    record.LogTail = 0;
    record.LogFree = 0;
    record.LogSize = 0;
    record.LogScratchSize = 0;
}

// Ring access of the log, wrapping at its end.
void LogRead(PortRecord& record, std::uint8_t* out, std::uint16_t count)
{
    for (std::uint16_t i = 0; i < count; ++i) {
        out[i] = record.LogBuffer[record.LogTail];
        record.LogTail = static_cast<std::uint16_t>(record.LogTail + 1 == record.LogSize ? 0 : record.LogTail + 1);
    }
    record.LogFree = static_cast<std::uint16_t>(record.LogFree + count);
}

void LogWrite(PortRecord& record, const std::uint8_t* bytes, std::uint16_t count)
{
    for (std::uint16_t i = 0; i < count; ++i) {
        record.LogBuffer[record.LogHead] = bytes[i];
        record.LogHead = static_cast<std::uint16_t>(record.LogHead + 1 == record.LogSize ? 0 : record.LogHead + 1);
    }
    record.LogFree = static_cast<std::uint16_t>(record.LogFree - count);
}

struct LogHeader {
    std::uint8_t Type = 0;
    std::uint8_t Subtype = 0;
    std::uint32_t Time = 0;
    std::uint16_t Data = 0;
    std::uint16_t Length = 0;
};

bool LogEmpty(const PortRecord& record)
{
    return record.LogFree == record.LogSize;
}

// Takes the oldest record off the log, its bytes into the scratch buffer.
// False when the log is empty or its contents make no sense.
bool TakeOldest(PortRecord& record, LogHeader& header)
{
    if (LogEmpty(record) || record.LogSize - record.LogFree < LogHeaderSize)
        return false;
    std::uint8_t raw[LogHeaderSize];
    LogRead(record, raw, LogHeaderSize);
    header.Type = raw[0];
    header.Subtype = raw[1];
    header.Time
        = static_cast<std::uint32_t>(raw[4] | raw[5] << 8 | raw[6] << 16 | static_cast<std::uint32_t>(raw[7]) << 24);
    header.Data = static_cast<std::uint16_t>(raw[8] | raw[9] << 8);
    header.Length = static_cast<std::uint16_t>(raw[10] | raw[11] << 8);
    if (header.Length > record.LogSize - record.LogFree || header.Length > record.LogScratchSize)
        return false;
    LogRead(record, record.LogScratch.get(), header.Length);
    return true;
}

std::int32_t WithPort(PortHandle port, auto&& action)
{
    PortRecord* record = LookupPort(port);
    if (!record)
        return ErrBadHandle;
    std::lock_guard lock(record->Lock);
    return action(*record);
}

std::int32_t WriteTrace(PortHandle port, const char* fileName, bool hex, DumpMode mode)
{
    return WithPort(port, [&](PortRecord& record) -> std::int32_t {
        if (!record.TraceBuffer)
            return 0;
        record.TraceOn = 0;
        if (!record.TraceWrapped && record.TraceIndex == 0) {
            FreeTrace(record);
            return 0;
        }
        DumpFile file(fileName, mode);
        if (!file.IsOpen()) {
            FreeTrace(record);
            return file.Close();
        }
        const std::uint16_t count = record.TraceWrapped ? record.TraceSize : record.TraceIndex;
        const std::uint16_t first = record.TraceWrapped ? record.TraceIndex : 0;
        int column = 0;
        std::uint8_t previousKind = 0;
        for (std::uint16_t i = 0; i < count; ++i) {
            const std::uint16_t entry = static_cast<std::uint16_t>((first + i) % record.TraceSize);
            const std::uint8_t kind = record.TraceBuffer[2 * entry];
            const std::uint8_t byte = record.TraceBuffer[2 * entry + 1];
            if (i == 0 || kind != previousKind) {
                if (i != 0)
                    file.Put(std::string(LineEnd) + LineEnd);
                if (kind == 'R')
                    file.Put("Receive: ");
                else if (kind == 'T')
                    file.Put("Transmit: ");
                else
                    file.Put(std::string("Special-") + static_cast<char>(kind) + ": ");
                file.Put(LineEnd);
                column = 0;
                previousKind = kind;
            }
            const std::string text = FormatByte(byte, hex);
            const int width = static_cast<int>(text.size());
            column += width;
            if (column > 78) {
                file.Put(LineEnd);
                column = width;
            }
            file.Put(text);
        }
        const std::int32_t result = file.Close();
        FreeTrace(record);
        return result;
    });
}

std::int32_t WriteLog(PortHandle port, const char* fileName, bool hex, DumpMode mode)
{
    return WithPort(port, [&](PortRecord& record) -> std::int32_t {
        if (!record.LogBuffer || LogEmpty(record)) {
            FreeLog(record);
            return 0;
        }
        record.LogOn = 0;
        DumpFile file(fileName, mode);
        if (!file.IsOpen()) {
            FreeLog(record);
            return file.Close();
        }
        file.Put(std::string("Time      Type      SubType       Data  OtherData") + LineEnd);
        file.Put(std::string("----      ----      -------       ----  ---------") + LineEnd);
        LogHeader header;
        while (TakeOldest(record, header)) {
            char start[64];
            std::snprintf(start, sizeof start, "%08u", static_cast<unsigned>(header.Time));
            std::string line = start;
            line += "  " + Padded(header.Type < std::size(TypeNames) ? TypeNames[header.Type] : "", 8);
            line += "  " + Padded(header.Subtype < std::size(SubtypeNames) ? SubtypeNames[header.Subtype] : "", 12);
            std::snprintf(start, sizeof start, "  %04X  ", header.Data);
            line += start;
            int column = 41;
            for (std::uint16_t i = 0; i < header.Length; ++i) {
                const std::string text = FormatByte(record.LogScratch[i], hex);
                const int width = static_cast<int>(text.size());
                column += width;
                if (column >= 79) {
                    line += LineEnd + Indent;
                    column = 41 + width;
                }
                line += text;
            }
            line += LineEnd;
            if (header.Subtype == LogModemStatus) {
                line += Indent;
                for (int bit = 0; bit < 8; ++bit)
                    if (header.Data & (1u << bit))
                        line += ModemBitNames[bit];
                line += LineEnd;
            }
            file.Put(line);
        }
        const std::int32_t result = file.Close();
        FreeLog(record);
        return result;
    });
}

} // namespace

void RecordTraceEntry(PortRecord& record, char kind, std::uint8_t byte)
{
    if (!record.TraceBuffer || record.TraceSize == 0)
        return;
    record.TraceBuffer[2 * record.TraceIndex] = static_cast<std::uint8_t>(kind);
    record.TraceBuffer[2 * record.TraceIndex + 1] = byte;
    if (++record.TraceIndex >= record.TraceSize) {
        record.TraceIndex = 0;
        record.TraceWrapped = 1;
    }
}

void RecordLogEntry(PortRecord& record, std::uint8_t type, std::uint8_t subtype, std::uint16_t data,
    const std::uint8_t* bytes, std::uint16_t length)
{
    std::lock_guard lock(record.Lock);
    if (!record.LogBuffer)
        return;
    if (!bytes)
        length = 0;
    // The data recorded never exceeds what the scratch buffer can take back.
    if (length > record.LogScratchSize)
        length = record.LogScratchSize;
    const std::uint32_t total = LogHeaderSize + static_cast<std::uint32_t>(length);
    // A record larger than the whole log is refused whole: a header without
    // its bytes would leave the ring unreadable.
    if (total > record.LogSize)
        return;
    LogHeader dropped;
    while (record.LogFree < total && TakeOldest(record, dropped)) { }
    if (record.LogFree < total)
        return;
    const std::uint32_t time = (Clock::Process().TickCount() - record.OpenTime) & 0x7FFFFFFFu;
    const std::uint8_t raw[LogHeaderSize] = {
        type,
        subtype,
        0,
        0,
        static_cast<std::uint8_t>(time),
        static_cast<std::uint8_t>(time >> 8),
        static_cast<std::uint8_t>(time >> 16),
        static_cast<std::uint8_t>(time >> 24),
        static_cast<std::uint8_t>(data),
        static_cast<std::uint8_t>(data >> 8),
        static_cast<std::uint8_t>(length),
        static_cast<std::uint8_t>(length >> 8),
    };
    LogWrite(record, raw, LogHeaderSize);
    if (length > 0)
        LogWrite(record, bytes, length);
}

std::int32_t InitTracing(PortHandle port, std::uint16_t size)
{
    return WithPort(port, [size](PortRecord& record) -> std::int32_t {
        if (record.TraceBuffer) {
            record.TraceIndex = 0;
            record.TraceWrapped = 0;
            record.TraceOn = 1;
            return 0;
        }
        // A trace without entries would have nowhere to store the first one.
        if (size > MaxTraceEntries || size == 0)
            return ErrBadArgument;
        record.TraceBuffer = TryAllocateBytes(2u * size);
        if (!record.TraceBuffer)
            return ErrOutOfMemory;
        record.TraceSize = size;
        record.TraceIndex = 0;
        record.TraceWrapped = 0;
        record.TraceOn = 1;
        return 0;
    });
}

std::int32_t ClearTracing(PortHandle port)
{
    return WithPort(port, [](PortRecord& record) {
        record.TraceIndex = 0;
        record.TraceWrapped = 0;
        return 0;
    });
}

std::int32_t AbortTracing(PortHandle port)
{
    return WithPort(port, [](PortRecord& record) {
        FreeTrace(record);
        return 0;
    });
}

std::int32_t StartTracing(PortHandle port)
{
    return WithPort(port, [](PortRecord& record) {
        if (record.TraceBuffer)
            record.TraceOn = 1;
        return 0;
    });
}

std::int32_t StopTracing(PortHandle port)
{
    return WithPort(port, [](PortRecord& record) {
        record.TraceOn = 0;
        return 0;
    });
}

std::int32_t AddTraceEntry(PortHandle port, char kind, std::uint8_t byte)
{
    return WithPort(port, [kind, byte](PortRecord& record) {
        RecordTraceEntry(record, kind, byte);
        return 0;
    });
}

std::int32_t DumpTrace(PortHandle port, const char* fileName, bool hex)
{
    return WriteTrace(port, fileName, hex, DumpMode::Overwrite);
}

std::int32_t AppendTrace(PortHandle port, const char* fileName, bool hex)
{
    return WriteTrace(port, fileName, hex, DumpMode::Append);
}

std::int32_t InitEventLogging(PortHandle port, std::uint16_t size)
{
    return WithPort(port, [size](PortRecord& record) -> std::int32_t {
        if (record.LogBuffer) {
            record.LogHead = 0;
            record.LogTail = 0;
            record.LogFree = record.LogSize;
            return 0;
        }
        // Room for the bytes of the largest record the dispatcher writes:
        // one read of the whole input ring.
        const std::uint16_t scratchSize
            = std::max<std::uint16_t>(std::max(record.InSize, record.OutSize), InputRingSize);
        record.LogBuffer = TryAllocateBytes(size);
        record.LogScratch = TryAllocateBytes(scratchSize);
        if (!record.LogBuffer || !record.LogScratch) {
            FreeLog(record);
            return ErrOutOfMemory;
        }
        record.LogScratchSize = scratchSize;
        record.LogSize = size;
        record.LogHead = 0;
        record.LogTail = 0;
        record.LogFree = size;
        record.LogOn = 1;
        return 0;
    });
}

std::int32_t ClearEventLog(PortHandle port)
{
    return WithPort(port, [](PortRecord& record) {
        record.LogHead = 0;
        record.LogTail = 0;
        record.LogFree = record.LogSize;
        return 0;
    });
}

std::int32_t AbortEventLogging(PortHandle port)
{
    return WithPort(port, [](PortRecord& record) {
        FreeLog(record);
        return 0;
    });
}

std::int32_t StartEventLogging(PortHandle port)
{
    return WithPort(port, [](PortRecord& record) {
        if (record.LogBuffer)
            record.LogOn = 1;
        return 0;
    });
}

std::int32_t StopEventLogging(PortHandle port)
{
    return WithPort(port, [](PortRecord& record) {
        record.LogOn = 0;
        return 0;
    });
}

std::int32_t AddLogEntry(PortHandle port, std::uint8_t type, std::uint8_t subtype, std::uint16_t data,
    const std::uint8_t* bytes, std::uint16_t length)
{
    return WithPort(port, [&](PortRecord& record) {
        RecordLogEntry(record, type, subtype, data, bytes, length);
        return 0;
    });
}

std::int32_t DumpEventLog(PortHandle port, const char* fileName, bool hex)
{
    return WriteLog(port, fileName, hex, DumpMode::Overwrite);
}

std::int32_t AppendEventLog(PortHandle port, const char* fileName, bool hex)
{
    return WriteLog(port, fileName, hex, DumpMode::Append);
}

} // namespace zop
