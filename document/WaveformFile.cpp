#include "document/WaveformFile.h"

#include <cerrno>
#include <fcntl.h>
#include <optional>
#include <stdexcept>
#include <type_traits>
#include <vector>
#include <sys/stat.h>
#include <unistd.h>

#include "document/FilePaths.h"
#include "document/SafeFile.h"
#include "waveform/Cp1252.h"
#include "waveform/ScaleTables.h"

namespace zop {

namespace {

constexpr int EndOfData = -1;
constexpr char SubstituteByte = 0x1A; // ends the data wherever it stands

void AppendTextLine(std::string& out, std::string_view text)
{
    for (char c : text)
        out += (c == '\r' || c == SubstituteByte) ? ' ' : c;
    out += "\r\n";
}

void AppendNumberLine(std::string& out, int32_t value)
{
    out += std::to_string(value);
    out += "\r\n";
}

// A read failure below the line reader; ends the reading with "refused".
struct ReadFailure {
    int ErrorNumber;
};

class ByteSource {
public:
    virtual ~ByteSource() = default;
    // The next byte 0..255, or EndOfData.
    virtual int Next() = 0;
};

class MemorySource final : public ByteSource {
public:
    explicit MemorySource(std::string_view bytes)
        : m_bytes(bytes)
    {
    }
    int Next() override
    {
        if (m_position >= m_bytes.size())
            return EndOfData;
        return static_cast<unsigned char>(m_bytes[m_position++]);
    }

private:
    std::string_view m_bytes;
    size_t m_position = 0;
};

class FileSource final : public ByteSource {
public:
    explicit FileSource(int fd)
        : m_fd(fd)
        , m_buffer(65536)
    {
    }
    int Next() override
    {
        if (m_position == m_filled) {
            ssize_t got;
            do
                got = read(m_fd, m_buffer.data(), m_buffer.size());
            while (got < 0 && errno == EINTR);
            if (got < 0)
                throw ReadFailure { errno };
            if (got == 0)
                return EndOfData;
            m_filled = static_cast<size_t>(got);
            m_position = 0;
        }
        return static_cast<unsigned char>(m_buffer[m_position++]);
    }

private:
    int m_fd;
    std::vector<char> m_buffer;
    size_t m_position = 0;
    size_t m_filled = 0;
};

// A line is everything up to the next CR; an LF right after that CR belongs
// to the line end. 0x1A or the end of the file ends the data, and every line
// after that reads as empty.
class LineReader {
public:
    explicit LineReader(ByteSource& source)
        : m_source(source)
    {
    }

    // Calls onByte(char) for each byte of the next line. An onByte that
    // returns false stops the reading there; the reader is then done with.
    template <class OnByte> void Read(OnByte&& onByte)
    {
        if (m_ended)
            return;
        for (;;) {
            const int c = Take();
            if (c == EndOfData || c == SubstituteByte) {
                m_ended = true;
                return;
            }
            if (c == '\r') {
                const int next = Take();
                if (next != '\n')
                    m_pushedBack = next;
                return;
            }
            if constexpr (std::is_same_v<decltype(onByte(char {})), bool>) {
                if (!onByte(static_cast<char>(c))) {
                    m_ended = true;
                    return;
                }
            } else {
                onByte(static_cast<char>(c));
            }
        }
    }

    // A text line: read whole, kept up to WaveformTextLimit bytes.
    std::string ReadText()
    {
        std::string line;
        Read([&](char c) {
            if (line.size() < WaveformTextLimit)
                line += c;
        });
        return line;
    }

    // A line compared with short fixed texts (the signature, the labels):
    // nullopt as soon as it grows longer than `longest`. Such a file is
    // refused whatever follows, so the rest of it is never read: a first line
    // of gigabytes costs no more than a short one.
    std::optional<std::string> ReadShort(size_t longest)
    {
        std::string line;
        bool tooLong = false;
        Read([&](char c) {
            if (line.size() == longest)
                tooLong = true;
            else
                line += c;
            return !tooLong;
        });
        if (tooLong)
            return std::nullopt;
        return line;
    }

    // The integer rule: leading blanks, then an optional sign and decimal
    // digits, or "$" and hexadecimal digits, up to the end of the line.
    // nullopt is a conversion error (an empty line included).
    std::optional<int32_t> ReadInteger()
    {
        enum class State { Blanks, Sign, Decimal, Dollar, Hex, Bad };
        State state = State::Blanks;
        bool negative = false;
        int64_t value = 0;
        Read([&](char c) {
            const auto digit = [](char d, int base) -> int {
                if (d >= '0' && d <= '9')
                    return d - '0';
                if (base == 16 && d >= 'a' && d <= 'f')
                    return d - 'a' + 10;
                if (base == 16 && d >= 'A' && d <= 'F')
                    return d - 'A' + 10;
                return -1;
            };
            const auto accumulate = [&](int d, int base) {
                value = value * base + d;
                if (value > int64_t { 1 } << 31) // beyond what 32 bits hold, with either sign
                    state = State::Bad;
            };
            switch (state) {
            case State::Blanks:
                if (c == ' ')
                    return;
                if (c == '+' || c == '-') {
                    negative = c == '-';
                    state = State::Sign;
                    return;
                }
                if (c == '$') {
                    state = State::Dollar;
                    return;
                }
                [[fallthrough]];
            case State::Sign:
            case State::Decimal:
                if (const int d = digit(c, 10); d >= 0) {
                    state = State::Decimal;
                    accumulate(d, 10);
                } else {
                    state = State::Bad;
                }
                return;
            case State::Dollar:
            case State::Hex:
                if (const int d = digit(c, 16); d >= 0) {
                    state = State::Hex;
                    accumulate(d, 16);
                } else {
                    state = State::Bad;
                }
                return;
            case State::Bad:
                return;
            }
        });
        if (state != State::Decimal && state != State::Hex)
            return std::nullopt;
        if (negative)
            value = -value;
        if (value > INT32_MAX || value < INT32_MIN)
            return std::nullopt;
        return static_cast<int32_t>(value);
    }

private:
    int Take()
    {
        if (m_pushedBack != NothingPushedBack) {
            const int c = m_pushedBack;
            m_pushedBack = NothingPushedBack;
            return c;
        }
        return m_source.Next();
    }

    ByteSource& m_source;
    // A plain sentinel rather than std::optional: GCC 12 at -O2 mistakes the
    // optional's payload for uninitialised here.
    static constexpr int NothingPushedBack = -2;
    int m_pushedBack = NothingPushedBack;
    bool m_ended = false;
};

// Longer than every time and volts label: a longer label line matches none.
constexpr size_t LongestLabel = 16;

bool InByteRange(int32_t value)
{
    return value >= 0 && value <= 255;
}

// The reader's checks, line by line. A failed check makes the result false
// and reading goes on; a conversion error ends it at once.
bool ReadLines(ByteSource& source, IncomingImage& incoming)
{
    LineReader lines(source);
    bool acceptable = true;

    const std::optional<std::string> signature = lines.ReadShort(WaveformSignature.size());
    if (!signature || UpperAscii(*signature) != UpperAscii(WaveformSignature))
        return false;

    incoming.Description = lines.ReadText();
    incoming.Date = lines.ReadText();
    incoming.Time = lines.ReadText();

    const std::optional<std::string> timeLabel = lines.ReadShort(LongestLabel);
    if (!timeLabel)
        return false;
    incoming.TimeLabel = *timeLabel; // shown as read, letter case kept
    const std::optional<TimeMatch> time = FindTimeIndex(*timeLabel);
    if (time)
        incoming.TimeIndex = time->Index;
    else
        acceptable = false;

    const std::optional<std::string> voltsLabel = lines.ReadShort(LongestLabel);
    if (!voltsLabel)
        return false;
    const std::optional<VoltMatch> volts = FindVoltIndex(*voltsLabel);
    if (volts) {
        incoming.VoltIndex = volts->Index;
        incoming.ProbeFactor = volts->ProbeFactor;
        incoming.VoltsLabel = std::string(VoltsLabel(volts->Index, volts->ProbeFactor));
    } else {
        acceptable = false;
    }

    const std::optional<int32_t> zero = lines.ReadInteger();
    if (!zero)
        return false;
    incoming.ZeroRef = *zero;
    if (!InByteRange(*zero))
        acceptable = false;

    lines.Read([](char) {}); // line 8: its content means nothing

    for (int32_t& sample : incoming.Samples) {
        const std::optional<int32_t> value = lines.ReadInteger();
        if (!value)
            return false;
        sample = *value;
        if (!InByteRange(*value))
            acceptable = false;
    }

    incoming.IncomingCursors = CursorPositions {};
    return acceptable;
}

class FileHandle {
public:
    explicit FileHandle(int fd)
        : m_fd(fd)
    {
    }
    ~FileHandle()
    {
        if (m_fd >= 0)
            close(m_fd);
    }
    FileHandle(const FileHandle&) = delete;
    FileHandle& operator=(const FileHandle&) = delete;
    int Get() const { return m_fd; }

private:
    int m_fd;
};

} // namespace

WaveformFileContents DocumentContents(const FormState& form, const WaveformRecord& record)
{
    WaveformFileContents contents;
    contents.Description = form.Description.Text();
    contents.Date = form.DateField.Text();
    contents.Time = form.TimeField.Text();
    contents.TimeLabel = form.SettingsPanel[TimeDivPanel];
    contents.VoltsLabel = form.SettingsPanel[VoltsDivPanel];
    contents.ZeroRef = record.ZeroRef;
    contents.Samples = record.Samples;
    return contents;
}

std::string FormatWaveformFile(const WaveformFileContents& contents)
{
    std::string out;
    out.reserve(600 + contents.Description.size() + contents.Date.size() + contents.Time.size());
    AppendTextLine(out, WaveformSignature);
    AppendTextLine(out, contents.Description);
    AppendTextLine(out, contents.Date);
    AppendTextLine(out, contents.Time);
    AppendTextLine(out, contents.TimeLabel);
    AppendTextLine(out, contents.VoltsLabel);
    AppendNumberLine(out, contents.ZeroRef);
    AppendTextLine(out, "");
    for (int32_t sample : contents.Samples)
        AppendNumberLine(out, sample);
    return out;
}

void WriteWaveformFile(const std::string& path, const FormState& form, WaveformRecord& record, DocumentFlags& flags)
{
    WriteFileReplacing(path, FormatWaveformFile(DocumentContents(form, record)));
    record.ProbeFactor = form.ProbeMenuFactor();
    flags.ProbeChanged = false;
    flags.Modified = false;
}

bool ReadWaveformData(std::string_view bytes, IncomingImage& incoming)
{
    MemorySource source(bytes);
    return ReadLines(source, incoming);
}

bool LoadWaveformFile(const std::string& path, IncomingImage& incoming, int* unreadable)
{
    int ignored = 0;
    int& error = unreadable ? *unreadable : ignored;
    error = 0;
    if (UpperAscii(FileExtension(path)) != ".ZOP")
        return false;
    // Opened without waiting so that a pipe given a waveform's name cannot
    // hang the window; only regular files are read.
    FileHandle file(open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC));
    if (file.Get() < 0) {
        error = errno;
        return false;
    }
    struct stat info { };
    if (fstat(file.Get(), &info) != 0) {
        error = errno;
        return false;
    }
    if (S_ISDIR(info.st_mode))
        error = EISDIR;
    if (!S_ISREG(info.st_mode))
        return false;
    try {
        FileSource source(file.Get());
        return ReadLines(source, incoming);
    } catch (const ReadFailure& failure) {
        error = failure.ErrorNumber;
        return false;
    }
}

} // namespace zop
