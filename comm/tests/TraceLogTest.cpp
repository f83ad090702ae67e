// The trace and event log of a port and their dump files, byte for byte.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "comm/Allocation.h"
#include "comm/Clock.h"
#include "comm/ErrorCodes.h"
#include "comm/PortLayer.h"
#include "comm/PortTable.h"
#include "comm/TraceLog.h"
#include "comm/tests/FakeDevice.h"
#include "tests/support/TestEnvironment.h"

namespace zop {
namespace {

using test::FillInputRing;

const std::string LogHeading = "Time      Type      SubType       Data  OtherData\r\n"
                               "----      ----      -------       ----  ---------\r\n";
const std::string Indent(40, ' ');

class TraceLog : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_EQ(OpenPort(&m_port, 4, "COM1", 9600, 0, 8, 1, 4096, 4096), 0);
        m_file = m_dir.File("VSK.TRC");
    }
    void TearDown() override
    {
        FailAllocationAfter(-1);
        ClosePort(m_port);
    }

    // Bytes arrive and the component takes them one by one.
    void ReceiveAndTake(const std::string& bytes)
    {
        m_layer.Arrive(bytes);
        FillInputRing(*LookupPort(m_port));
        for (std::size_t i = 0; i < bytes.size(); ++i) {
            std::uint8_t byte = 0;
            ASSERT_EQ(GetChar(m_port, &byte), 0);
        }
    }

    static std::string Contents(const std::string& path)
    {
        std::ifstream in(path, std::ios::binary);
        std::ostringstream text;
        text << in.rdbuf();
        return text.str();
    }

    std::int32_t Log(std::uint8_t type, std::uint8_t subtype, std::uint16_t data, const std::string& bytes = {})
    {
        return AddLogEntry(m_port, type, subtype, data, reinterpret_cast<const std::uint8_t*>(bytes.data()),
            static_cast<std::uint16_t>(bytes.size()));
    }

    ManualClock m_clock;
    ScopedProcessClock m_useClock { m_clock };
    test::FakeDeviceLayer m_layer;
    test::TempDir m_dir;
    PortHandle m_port = 0;
    std::string m_file;
};

TEST_F(TraceLog, ATraceKeepsItsNewestEntriesOldestFirst)
{
    ASSERT_EQ(InitTracing(m_port, 4), 0);
    ReceiveAndTake("ABCDEF");
    EXPECT_EQ(DumpTrace(m_port, m_file.c_str(), false), 0);
    EXPECT_EQ(Contents(m_file), "Receive: \r\nCDEF");
}

TEST_F(TraceLog, UnprintableBytesAreBracketedInHexOrDecimal)
{
    const std::string bytes = std::string(" \rA~", 4) + '\x7F' + '\xB5' + '\0';
    ASSERT_EQ(InitTracing(m_port, 100), 0);
    ReceiveAndTake(bytes);
    EXPECT_EQ(DumpTrace(m_port, m_file.c_str(), true), 0);
    EXPECT_EQ(Contents(m_file), "Receive: \r\n[20][0D]A~[7F][B5][00]");
    ASSERT_EQ(InitTracing(m_port, 100), 0);
    ReceiveAndTake(bytes);
    EXPECT_EQ(DumpTrace(m_port, m_file.c_str(), false), 0);
    EXPECT_EQ(Contents(m_file), "Receive: \r\n [13]A~[127][181][0]");
}

TEST_F(TraceLog, LinesBreakAfterSeventyEightColumns)
{
    ASSERT_EQ(InitTracing(m_port, 1000), 0);
    ReceiveAndTake(std::string(100, 'A'));
    EXPECT_EQ(DumpTrace(m_port, m_file.c_str(), false), 0);
    EXPECT_EQ(Contents(m_file), "Receive: \r\n" + std::string(78, 'A') + "\r\n" + std::string(22, 'A'));

    // A bracketed byte that would pass column 78 starts the next line; one
    // that ends exactly at 78 does not.
    ASSERT_EQ(InitTracing(m_port, 1000), 0);
    ReceiveAndTake(std::string(74, 'B') + "\r" + std::string(75, 'C') + "\r");
    EXPECT_EQ(DumpTrace(m_port, m_file.c_str(), false), 0);
    EXPECT_EQ(
        Contents(m_file), "Receive: \r\n" + std::string(74, 'B') + "[13]\r\n" + std::string(75, 'C') + "\r\n[13]");
}

TEST_F(TraceLog, EachChangeOfKindStartsABlock)
{
    ASSERT_EQ(InitTracing(m_port, 100), 0);
    ReceiveAndTake("ab");
    EXPECT_EQ(AddTraceEntry(m_port, 'T', 'x'), 0);
    EXPECT_EQ(AddTraceEntry(m_port, 'Z', 1), 0);
    ReceiveAndTake("c");
    EXPECT_EQ(DumpTrace(m_port, m_file.c_str(), false), 0);
    EXPECT_EQ(
        Contents(m_file), "Receive: \r\nab\r\n\r\nTransmit: \r\nx\r\n\r\nSpecial-Z: \r\n[1]\r\n\r\nReceive: \r\nc");
}

TEST_F(TraceLog, OnlyTakenBytesAreTraced)
{
    ASSERT_EQ(InitTracing(m_port, 100), 0);
    std::uint8_t byte = 0;
    EXPECT_EQ(GetChar(m_port, &byte), ErrBufferIsEmpty);
    m_layer.Arrive("xy");
    FillInputRing(*LookupPort(m_port));
    EXPECT_EQ(PeekCharAt(m_port, &byte, 2), 0);
    EXPECT_EQ(DumpTrace(m_port, m_file.c_str(), false), 0);
    EXPECT_FALSE(std::filesystem::exists(m_file)) << "nothing recorded: no file";
}

TEST_F(TraceLog, DumpingEndsTheTrace)
{
    ASSERT_EQ(InitTracing(m_port, 100), 0);
    ReceiveAndTake("one");
    EXPECT_EQ(DumpTrace(m_port, m_file.c_str(), false), 0);
    // The buffer is gone: nothing is recorded and starting again needs Init.
    EXPECT_EQ(StartTracing(m_port), 0);
    ReceiveAndTake("two");
    std::filesystem::remove(m_file);
    EXPECT_EQ(DumpTrace(m_port, m_file.c_str(), false), 0);
    EXPECT_FALSE(std::filesystem::exists(m_file));
}

TEST_F(TraceLog, PausingClearingAndRestarting)
{
    ASSERT_EQ(InitTracing(m_port, 100), 0);
    ReceiveAndTake("ab");
    EXPECT_EQ(StopTracing(m_port), 0);
    ReceiveAndTake("cd");
    EXPECT_EQ(StartTracing(m_port), 0);
    ReceiveAndTake("ef");
    EXPECT_EQ(DumpTrace(m_port, m_file.c_str(), false), 0);
    EXPECT_EQ(Contents(m_file), "Receive: \r\nabef");

    ASSERT_EQ(InitTracing(m_port, 100), 0);
    ReceiveAndTake("gh");
    EXPECT_EQ(ClearTracing(m_port), 0);
    ReceiveAndTake("i");
    ASSERT_EQ(InitTracing(m_port, 3), 0) << "a present buffer is emptied and keeps its size";
    ReceiveAndTake("jklmn");
    EXPECT_EQ(DumpTrace(m_port, m_file.c_str(), false), 0);
    EXPECT_EQ(Contents(m_file), "Receive: \r\njklmn");

    ASSERT_EQ(InitTracing(m_port, 100), 0);
    ReceiveAndTake("zz");
    EXPECT_EQ(AbortTracing(m_port), 0);
    std::filesystem::remove(m_file);
    EXPECT_EQ(DumpTrace(m_port, m_file.c_str(), false), 0);
    EXPECT_FALSE(std::filesystem::exists(m_file));
}

TEST_F(TraceLog, TraceSizeLimits)
{
    EXPECT_EQ(InitTracing(m_port, 32761), ErrBadArgument);
    EXPECT_EQ(InitTracing(m_port, 0), ErrBadArgument);
    EXPECT_EQ(InitTracing(m_port, 32760), 0);
    EXPECT_EQ(AbortTracing(m_port), 0);
    FailAllocationAfter(0);
    EXPECT_EQ(InitTracing(m_port, 10), ErrOutOfMemory);
    FailAllocationAfter(-1);
    ReceiveAndTake("q");
    EXPECT_EQ(DumpTrace(m_port, m_file.c_str(), false), 0);
    EXPECT_FALSE(std::filesystem::exists(m_file));
}

TEST_F(TraceLog, AppendCreatesThenAppendsAndDumpOverwrites)
{
    ASSERT_EQ(InitTracing(m_port, 100), 0);
    ReceiveAndTake("1");
    EXPECT_EQ(AppendTrace(m_port, m_file.c_str(), false), 0);
    EXPECT_EQ(Contents(m_file), "Receive: \r\n1");
    ASSERT_EQ(InitTracing(m_port, 100), 0);
    ReceiveAndTake("2");
    EXPECT_EQ(AppendTrace(m_port, m_file.c_str(), false), 0);
    EXPECT_EQ(Contents(m_file), "Receive: \r\n1Receive: \r\n2");
    ASSERT_EQ(InitTracing(m_port, 100), 0);
    ReceiveAndTake("3");
    EXPECT_EQ(DumpTrace(m_port, m_file.c_str(), false), 0);
    EXPECT_EQ(Contents(m_file), "Receive: \r\n3");
}

TEST_F(TraceLog, AFileThatCannotBeWrittenGivesItsErrorAndFreesTheTrace)
{
    ASSERT_EQ(InitTracing(m_port, 100), 0);
    ReceiveAndTake("x");
    EXPECT_EQ(AppendTrace(m_port, m_dir.Path().c_str(), false), -5) << "a folder";
    const std::string missing = m_dir.File("no/such/folder.trc");
    ASSERT_EQ(InitTracing(m_port, 100), 0);
    ReceiveAndTake("x");
    EXPECT_EQ(DumpTrace(m_port, missing.c_str(), false), -2);
    EXPECT_EQ(DumpTrace(m_port, m_file.c_str(), false), 0) << "the trace is gone";
    EXPECT_FALSE(std::filesystem::exists(m_file));
    if (std::filesystem::exists("/dev/full")) {
        ASSERT_EQ(InitTracing(m_port, 100), 0);
        ReceiveAndTake("x");
        EXPECT_EQ(DumpTrace(m_port, "/dev/full", false), -101) << "disk full";
    }
}

TEST_F(TraceLog, LogLinesShowTimeNamesDataAndBytes)
{
    ASSERT_EQ(InitEventLogging(m_port, 1000), 0);
    m_clock.Advance(std::chrono::milliseconds(5));
    EXPECT_EQ(Log(LogTrigger, LogAvail, 3), 0);
    m_clock.Advance(std::chrono::milliseconds(1230));
    EXPECT_EQ(Log(LogTrigger, LogData, 0x2A), 0);
    EXPECT_EQ(Log(LogDispatch, LogReadCom, 4, std::string("Hi \r", 4)), 0);
    EXPECT_EQ(Log(9, 99, 0xBEEF), 0) << "types without names";
    m_clock.Advance(std::chrono::milliseconds(123456789));
    EXPECT_EQ(Log(LogThread, LogWake, 0), 0);
    EXPECT_EQ(DumpEventLog(m_port, m_file.c_str(), false), 0);
    EXPECT_EQ(Contents(m_file),
        LogHeading
            + "00000005  trigger   avail         0003  \r\n"
              "00001235  trigger   data          002A  \r\n"
              "00001235  dispatch  readcom       0004  Hi [13]\r\n"
              "00001235                          BEEF  \r\n"
              "123458024  thread    wake          0000  \r\n");
}

TEST_F(TraceLog, LogBytesWrapUnderTheirColumn)
{
    ASSERT_EQ(InitEventLogging(m_port, 1000), 0);
    std::string bytes;
    for (int i = 0; i < 40; ++i)
        bytes += static_cast<char>('a' + i % 26);
    EXPECT_EQ(Log(LogDispatch, LogReadCom, 40, bytes), 0);
    EXPECT_EQ(Log(LogDispatch, LogReadCom, 10, std::string(10, ' ')), 0);
    EXPECT_EQ(DumpEventLog(m_port, m_file.c_str(), true), 0);
    const std::string prefix = "00000000  dispatch  readcom       ";
    EXPECT_EQ(Contents(m_file),
        LogHeading + prefix + "0028  " + bytes.substr(0, 37) + "\r\n" + Indent + bytes.substr(37) + "\r\n" + prefix
            + "000A  [20][20][20][20][20][20][20][20][20]\r\n" + Indent + "[20]\r\n");
}

TEST_F(TraceLog, ModemStatusRecordsNameTheirBits)
{
    ASSERT_EQ(InitEventLogging(m_port, 1000), 0);
    EXPECT_EQ(Log(LogDispatch, LogModemStatus, 0x31), 0);
    EXPECT_EQ(Log(LogDispatch, LogModemStatus, 0xCE), 0);
    EXPECT_EQ(DumpEventLog(m_port, m_file.c_str(), false), 0);
    EXPECT_EQ(Contents(m_file),
        LogHeading + "00000000  dispatch  modem status  0031  \r\n" + Indent + "DCTS CTS DSR \r\n"
            + "00000000  dispatch  modem status  00CE  \r\n" + Indent + "DDSR TERI DDCD RI DCD \r\n");
}

TEST_F(TraceLog, AFullLogDropsWholeOldRecords)
{
    ASSERT_EQ(InitEventLogging(m_port, 100), 0);
    EXPECT_EQ(Log(LogDispatch, LogReadCom, 1, std::string(40, 'a')), 0);
    EXPECT_EQ(Log(LogDispatch, LogReadCom, 2, std::string(40, 'b')), 0);
    EXPECT_EQ(Log(LogDispatch, LogReadCom, 3, std::string(40, 'c')), 0);
    EXPECT_EQ(DumpEventLog(m_port, m_file.c_str(), false), 0);
    EXPECT_EQ(Contents(m_file),
        LogHeading + "00000000  dispatch  readcom       0003  " + std::string(37, 'c') + "\r\n" + Indent + "ccc\r\n");

    // Three records of 32 bytes leave 4 free; a header-only record drops the oldest.
    ASSERT_EQ(InitEventLogging(m_port, 100), 0);
    EXPECT_EQ(Log(LogTrigger, LogAvail, 1, std::string(20, 'x')), 0);
    EXPECT_EQ(Log(LogTrigger, LogAvail, 2, std::string(20, 'y')), 0);
    EXPECT_EQ(Log(LogTrigger, LogAvail, 3, std::string(20, 'z')), 0);
    EXPECT_EQ(Log(LogTrigger, LogData, 4), 0);
    EXPECT_EQ(DumpEventLog(m_port, m_file.c_str(), false), 0);
    EXPECT_EQ(Contents(m_file),
        LogHeading + "00000000  trigger   avail         0002  " + std::string(20, 'y') + "\r\n"
            + "00000000  trigger   avail         0003  " + std::string(20, 'z') + "\r\n"
            + "00000000  trigger   data          0004  \r\n");
}

TEST_F(TraceLog, ARecordLargerThanTheLogIsRefusedWhole)
{
    ASSERT_EQ(InitEventLogging(m_port, 52), 0);
    EXPECT_EQ(Log(LogTrigger, LogAvail, 1, std::string(10, 'k')), 0);
    EXPECT_EQ(Log(LogDispatch, LogReadCom, 2, std::string(41, 'L')), 0);
    EXPECT_EQ(DumpEventLog(m_port, m_file.c_str(), false), 0);
    EXPECT_EQ(Contents(m_file), LogHeading + "00000000  trigger   avail         0001  kkkkkkkkkk\r\n")
        << "neither a header without its bytes nor a lost older record";
    ASSERT_EQ(InitEventLogging(m_port, 52), 0);
    EXPECT_EQ(Log(LogDispatch, LogReadCom, 2, std::string(40, 'F')), 0);
    EXPECT_EQ(DumpEventLog(m_port, m_file.c_str(), false), 0);
    EXPECT_EQ(Contents(m_file),
        LogHeading + "00000000  dispatch  readcom       0002  " + std::string(37, 'F') + "\r\n" + Indent + "FFF\r\n")
        << "a record of exactly the log's size fits";
}

TEST_F(TraceLog, ARecordOfTheLargestReadFitsTheScratchBuffer)
{
    ASSERT_EQ(InitEventLogging(m_port, 65520), 0);
    EXPECT_EQ(Log(LogDispatch, LogReadCom, 8192, std::string(8192, 'q')), 0);
    EXPECT_EQ(Log(LogDispatch, LogReadCom, 8192, std::string(8192, 'z')), 0);
    EXPECT_EQ(DumpEventLog(m_port, m_file.c_str(), false), 0);
    const std::string text = Contents(m_file);
    EXPECT_EQ(std::count(text.begin(), text.end(), 'q'), 8192);
    EXPECT_EQ(std::count(text.begin(), text.end(), 'z'), 8192);
}

TEST_F(TraceLog, ReadsFromTheDeviceAreLogged)
{
    ASSERT_EQ(InitEventLogging(m_port, 1000), 0);
    m_clock.Advance(std::chrono::milliseconds(7));
    m_layer.Arrive("ok\r");
    EXPECT_EQ(FillInputRing(*LookupPort(m_port)), 3);
    EXPECT_EQ(DumpEventLog(m_port, m_file.c_str(), true), 0);
    EXPECT_EQ(Contents(m_file), LogHeading + "00000007  dispatch  readcom       0003  ok[0D]\r\n");
}

TEST_F(TraceLog, EmptyLogsWriteNoFileAndLogsEndWithTheirDump)
{
    EXPECT_EQ(DumpEventLog(m_port, m_file.c_str(), false), 0);
    ASSERT_EQ(InitEventLogging(m_port, 200), 0);
    EXPECT_EQ(DumpEventLog(m_port, m_file.c_str(), false), 0);
    EXPECT_FALSE(std::filesystem::exists(m_file));
    EXPECT_EQ(Log(LogTrigger, LogAvail, 1), 0) << "no buffer any more: nothing stored";
    EXPECT_EQ(DumpEventLog(m_port, m_file.c_str(), false), 0);
    EXPECT_FALSE(std::filesystem::exists(m_file));

    ASSERT_EQ(InitEventLogging(m_port, 200), 0);
    EXPECT_EQ(Log(LogTrigger, LogAvail, 1), 0);
    EXPECT_EQ(ClearEventLog(m_port), 0);
    EXPECT_EQ(DumpEventLog(m_port, m_file.c_str(), false), 0);
    EXPECT_FALSE(std::filesystem::exists(m_file));
}

TEST_F(TraceLog, LogAppendAndLoggingState)
{
    ASSERT_EQ(InitEventLogging(m_port, 200), 0);
    EXPECT_EQ(LookupPort(m_port)->LogOn.load(), 1);
    EXPECT_EQ(StopEventLogging(m_port), 0);
    EXPECT_EQ(LookupPort(m_port)->LogOn.load(), 0);
    EXPECT_EQ(InitEventLogging(m_port, 200), 0);
    EXPECT_EQ(LookupPort(m_port)->LogOn.load(), 0) << "emptying a present log leaves its switch alone";
    EXPECT_EQ(StartEventLogging(m_port), 0);
    EXPECT_EQ(Log(LogTrigger, LogAvail, 1), 0);
    EXPECT_EQ(AppendEventLog(m_port, m_file.c_str(), false), 0);
    ASSERT_EQ(InitEventLogging(m_port, 200), 0);
    EXPECT_EQ(Log(LogTrigger, LogAvail, 2), 0);
    EXPECT_EQ(AppendEventLog(m_port, m_file.c_str(), false), 0);
    EXPECT_EQ(Contents(m_file),
        LogHeading + "00000000  trigger   avail         0001  \r\n" + LogHeading
            + "00000000  trigger   avail         0002  \r\n");
    EXPECT_EQ(AbortEventLogging(m_port), 0);
}

TEST_F(TraceLog, NoHalfCreatedLogIsLeftWhenMemoryRunsOut)
{
    for (int allowed = 0; allowed < 2; ++allowed) {
        FailAllocationAfter(allowed);
        EXPECT_EQ(InitEventLogging(m_port, 200), ErrOutOfMemory) << allowed;
        FailAllocationAfter(-1);
        EXPECT_FALSE(LookupPort(m_port)->LogBuffer);
        EXPECT_FALSE(LookupPort(m_port)->LogScratch);
        EXPECT_EQ(LookupPort(m_port)->LogOn.load(), 0);
    }
}

TEST_F(TraceLog, InvalidHandles)
{
    for (PortHandle bad : { PortHandle(0), PortHandle(51), PortHandle(40) }) {
        EXPECT_EQ(InitTracing(bad, 10), ErrBadHandle);
        EXPECT_EQ(DumpTrace(bad, m_file.c_str(), false), ErrBadHandle);
        EXPECT_EQ(AddTraceEntry(bad, 'R', 1), ErrBadHandle);
        EXPECT_EQ(InitEventLogging(bad, 100), ErrBadHandle);
        EXPECT_EQ(AddLogEntry(bad, 1, 1, 0, nullptr, 0), ErrBadHandle);
        EXPECT_EQ(AppendEventLog(bad, m_file.c_str(), false), ErrBadHandle);
    }
}

} // namespace
} // namespace zop
