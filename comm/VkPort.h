#pragma once
// The serial port component: the object through which a program uses one
// serial port. It keeps the port's settings as properties, opens and closes
// the port through the port layer, applies a changed setting to an open port
// at once, keeps the port's triggers across a close and reopen, and turns the
// trigger messages of the port's dispatcher into events that run on the
// thread that opened the port (which must pump its messages, see
// comm/MessageWindow.h). Negative results of the port layer are raised as
// exceptions through CheckException.
//
// TVskCustomComPort holds all state and behaviour; TVskComPort only makes the
// properties public. Everything here belongs to the owner thread.
#include <array>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "comm/Component.h"
#include "comm/DeviceProcs.h"
#include "comm/MessageWindow.h"
#include "comm/PortRecord.h"
#include "comm/TriggerTables.h"

namespace zop {

enum TDeviceLayer : std::uint8_t { dlNone, dlComm, dlFossil, dlWin32, dlOther };
enum TParity : std::uint8_t { pNone, pOdd, pEven, pMark, pSpace };
enum TDispatcherMode : std::uint8_t { dNone, dTimer, dCommEvents, dAuto, dWin32 };
enum THWFlowOptions : std::uint8_t { hwfUseDTR, hwfUseRTS, hwfRequireDSR, hwfRequireCTS };
enum TSWFlowOptions : std::uint8_t { swfNone, swfReceive, swfTransmit, swfBoth };
enum TTraceLogState : std::uint8_t { tlOff, tlOn, tlDump, tlAppend, tlClear, tlPause };
enum TTapiMode : std::uint8_t { tmNone, tmAuto, tmOn, tmOff };

// A set of THWFlowOptions; bit n stands for the option of value n, which
// makes the bits those of the port layer's flow options (1, 2, 4, 8).
class THWFlowOptionSet {
public:
    constexpr THWFlowOptionSet() = default;
    constexpr THWFlowOptionSet(std::initializer_list<THWFlowOptions> options)
    {
        for (THWFlowOptions option : options)
            m_bits = static_cast<std::uint8_t>(m_bits | (1u << option));
    }
    constexpr bool Contains(THWFlowOptions option) const { return (m_bits >> option) & 1u; }
    constexpr bool Empty() const { return m_bits == 0; }
    constexpr std::uint8_t Bits() const { return m_bits; }
    constexpr bool operator==(const THWFlowOptionSet&) const = default;

private:
    std::uint8_t m_bits = 0;
};

// Messages a registered user window receives when the port opens or closes.
inline constexpr std::uint32_t PortUserOpenMsg = 0x7E08;
inline constexpr std::uint32_t PortUserCloseMsg = 0x7E09;

// The highest port handle the component accepts.
inline constexpr int MaxComponentHandle = 100;

class TVskCustomComPort;

using TTriggerEvent
    = std::function<void(TVskCustomComPort& cp, std::uint16_t msg, std::uint16_t triggerHandle, std::uint16_t data)>;
using TTriggerAvailEvent = std::function<void(TVskCustomComPort& cp, std::uint16_t count)>;
using TTriggerDataEvent = std::function<void(TVskCustomComPort& cp, std::uint16_t triggerHandle)>;
using TTriggerStatusEvent = std::function<void(TVskCustomComPort& cp, std::uint16_t triggerHandle)>;
using TTriggerTimerEvent = std::function<void(TVskCustomComPort& cp, std::uint16_t triggerHandle)>;
using TTriggerLineErrorEvent = std::function<void(TVskCustomComPort& cp, std::uint16_t error, bool lineBreak)>;
using TNotifyEvent = std::function<void(TComponent& sender)>;
using TWaitCharEVent = std::function<void(TVskCustomComPort& cp, char c)>;
// A port user procedure: (its own data, the component, opening).
using TPortUserProc = void (*)(void* data, TVskCustomComPort& cp, bool opening);
// Installs a device layer for DeviceLayer dlOther.
using TDeviceLayerInstaller = void (*)();

// The component that owns each port handle 1..100 (empty when none). Read
// and written on the owner thread only.
extern std::array<TVskCustomComPort*, MaxComponentHandle + 1> ComPortTable;

// The procedure of every component's notification window: finds the
// component of the port handle in the high word of lParam and raises its
// events; messages for a handle without a component go to DefWindowProc.
std::intptr_t VskComWindowProc(WindowHandle window, std::uint32_t msg, std::uintptr_t wParam, std::intptr_t lParam);

class TVskCustomComPort : public TComponent {
public:
    explicit TVskCustomComPort(TComponent* owner = nullptr);
    ~TVskCustomComPort() override;

    void Assign(const TComponent& source) override;
    void Loaded() override;

    // Arms a data trigger on the bytes of data (at most 255; the dispatcher
    // takes at most 21) and returns its handle.
    std::uint16_t AddDataTrigger(const std::string& data, bool ignoreCase);
    // The handle of an armed data trigger with exactly these bytes and case
    // rule, on the open port or among the triggers kept from the last close;
    // 0 when there is none. Lets a caller arm a trigger only once.
    std::uint16_t FindDataTrigger(const std::string& data, bool ignoreCase) const;
    // True while the port is open on a device that has vanished since.
    bool DeviceLost() const;
    // Takes one received byte.
    char GetChar();

    // The open port's handle, 0 while closed.
    PortHandle Handle() const { return m_handle; }
    WindowHandle NotificationWindow() const { return m_window; }

    // Port users, told of every open and close (not published).
    void AddPortUser(WindowHandle window);
    void AddPortUser(TPortUserProc procedure, void* data);
    void RemovePortUser(WindowHandle window);
    void RemovePortUser(TPortUserProc procedure, void* data);
    std::function<void(TVskCustomComPort&)> OnPortOpen;
    std::function<void(TVskCustomComPort&)> OnPortClose;

    // The consume-on-read option (port option 2): bytes taken during a
    // trigger message are consumed at once instead of read ahead.
    bool ConsumeOnRead() const { return m_consumeOnRead; }
    void SetConsumeOnRead(bool value);
    // The installer used for DeviceLayer dlOther.
    void SetDeviceLayerInstaller(TDeviceLayerInstaller installer) { m_installer = installer; }
    // The device handle opened elsewhere that OpenComPortKeepLine adopts.
    void SetKeepLineDevice(DeviceHandle device) { m_keepLineDevice = device; }

    // Notify operations: each raises its event when assigned.
    virtual void NotifyTrigger(std::uint16_t msg, std::uint16_t triggerHandle, std::uint16_t data);
    virtual void NotifyTriggerAvail(std::uint16_t count);
    virtual void NotifyTriggerData(std::uint16_t triggerHandle);
    virtual void NotifyTriggerStatus(std::uint16_t triggerHandle);
    virtual void NotifyTriggerTimer(std::uint16_t triggerHandle);
    virtual void NotifyLineError(std::uint16_t error, bool lineBreak);
    virtual void NotifyModemStatus();
    virtual void NotifyOutbuffFree();
    virtual void NotifyOutbuffUsed();
    virtual void NotifyOutSent();
    virtual void NotifyWaitChar(char c);
    virtual void ProcessCommunications();

protected:
    virtual void PortOpened();
    virtual void PortClosing();
    virtual void OpenComPort();
    virtual void OpenComPortKeepLine();
    virtual void CloseComPort();

    // Properties (published by TVskComPort).
    std::int32_t Tag() const { return m_tag; }
    void SetTag(std::int32_t value) { m_tag = value; }
    TDeviceLayer DeviceLayer() const { return m_deviceLayer; }
    void SetDeviceLayer(TDeviceLayer value);
    std::uint16_t ComNumber() const { return m_comNumber; }
    void SetComNumber(std::uint16_t value);
    std::int32_t Baud() const { return m_baud; }
    void SetBaud(std::int32_t value);
    TParity Parity() const { return m_parity; }
    void SetParity(TParity value);
    std::uint16_t DataBits() const { return m_dataBits; }
    void SetDataBits(std::uint16_t value);
    std::uint16_t StopBits() const { return m_stopBits; }
    void SetStopBits(std::uint16_t value);
    std::uint16_t InSize() const { return m_inSize; }
    void SetInSize(std::uint16_t value);
    std::uint16_t OutSize() const { return m_outSize; }
    void SetOutSize(std::uint16_t value);
    bool AutoOpen() const { return m_autoOpen; }
    void SetAutoOpen(bool value) { m_autoOpen = value; }
    TDispatcherMode DispatcherMode() const { return m_dispatcherMode; }
    void SetDispatcherMode(TDispatcherMode value);
    bool Open() const { return m_open; }
    void SetOpen(bool value);
    bool DTR() const { return m_dtr; }
    void SetDTR(bool value);
    bool RTS() const { return m_rts; }
    void SetRTS(bool value);
    THWFlowOptionSet HWFlowOptions() const { return m_hwFlow; }
    void SetHWFlowOptions(THWFlowOptionSet value);
    TSWFlowOptions SWFlowOptions() const { return m_swFlow; }
    void SetSWFlowOptions(TSWFlowOptions value);
    char XOnChar() const { return m_xonChar; }
    void SetXOnChar(char value);
    char XOffChar() const { return m_xoffChar; }
    void SetXOffChar(char value);
    std::uint16_t BufferFull() const { return m_bufferFull; }
    void SetBufferFull(std::uint16_t value);
    std::uint16_t BufferResume() const { return m_bufferResume; }
    void SetBufferResume(std::uint16_t value);
    TTraceLogState Tracing() const { return m_tracing; }
    void SetTracing(TTraceLogState value);
    std::uint16_t TraceSize() const { return m_traceSize; }
    void SetTraceSize(std::uint16_t value);
    const std::string& TraceName() const { return m_traceName; }
    void SetTraceName(const std::string& value);
    bool TraceHex() const { return m_traceHex; }
    void SetTraceHex(bool value) { m_traceHex = value; }
    TTraceLogState Logging() const { return m_logging; }
    void SetLogging(TTraceLogState value);
    std::uint16_t LogSize() const { return m_logSize; }
    void SetLogSize(std::uint16_t value);
    const std::string& LogName() const { return m_logName; }
    void SetLogName(const std::string& value);
    bool LogHex() const { return m_logHex; }
    void SetLogHex(bool value) { m_logHex = value; }
    bool UseMSRShadow() const { return m_useMsrShadow; }
    void SetUseMSRShadow(bool value);
    bool UseEventWord() const { return m_useEventWord; }
    void SetUseEventWord(bool value);
    std::uint16_t TriggerLength() const { return m_triggerLength; }
    void SetTriggerLength(std::uint16_t value);
    std::uint16_t CommNotificationLevel() const { return m_commNotificationLevel; }
    void SetCommNotificationLevel(std::uint16_t value);
    TTapiMode TapiMode() const { return m_tapiMode; }
    void SetTapiMode(TTapiMode value) { m_tapiMode = value; }

public:
    // Events (published by TVskComPort; public fields here as well).
    TTriggerEvent OnTrigger;
    TTriggerAvailEvent OnTriggerAvail;
    TTriggerDataEvent OnTriggerData;
    TTriggerStatusEvent OnTriggerStatus;
    TTriggerTimerEvent OnTriggerTimer;
    TTriggerLineErrorEvent OnTriggerLineError;
    TNotifyEvent OnTriggerModemStatus;
    TNotifyEvent OnTriggerOutbuffFree;
    TNotifyEvent OnTriggerOutbuffUsed;
    TNotifyEvent OnTriggerOutSent;
    TWaitCharEVent OnWaitChar;

private:
    struct PortUser {
        WindowHandle Window = 0;
        TPortUserProc Procedure = nullptr;
        void* Data = nullptr;
    };

    std::int32_t Check(std::int32_t code) const;
    // Opens the port first when AutoOpen asks for it.
    void EnsureOpen();
    void OpenAtLayer(bool keepLine);
    void ApplyAllSettings();
    void ApplyPortOption(std::uint16_t bit, bool on);
    void ApplyFlowSettings();
    void TellUsers(bool opening);
    void SetTraceLogState(bool log, TTraceLogState value);

    std::int32_t m_tag = 0;
    TDeviceLayer m_deviceLayer = dlWin32;
    std::uint16_t m_comNumber = 0;
    std::int32_t m_baud = 19200;
    TParity m_parity = pNone;
    std::uint16_t m_dataBits = 8;
    std::uint16_t m_stopBits = 1;
    std::uint16_t m_inSize = 4096;
    std::uint16_t m_outSize = 4096;
    bool m_autoOpen = true;
    TDispatcherMode m_dispatcherMode = dWin32;
    bool m_open = false;
    bool m_dtr = true;
    bool m_rts = true;
    THWFlowOptionSet m_hwFlow;
    TSWFlowOptions m_swFlow = swfNone;
    char m_xonChar = 17;
    char m_xoffChar = 19;
    std::uint16_t m_bufferFull = 0;
    std::uint16_t m_bufferResume = 0;
    TTraceLogState m_tracing = tlOff;
    std::uint16_t m_traceSize = 10000;
    std::string m_traceName = "VSK.TRC";
    bool m_traceHex = true;
    TTraceLogState m_logging = tlOff;
    std::uint16_t m_logSize = 10000;
    std::string m_logName = "VSK.LOG";
    bool m_logHex = true;
    bool m_useMsrShadow = true;
    bool m_useEventWord = true;
    std::uint16_t m_triggerLength = 1;
    std::uint16_t m_commNotificationLevel = 10;
    TTapiMode m_tapiMode = tmAuto;

    PortHandle m_handle = 0;
    bool m_openAtLayer = false;
    bool ForceApply = false;
    bool OpenPending = false;
    bool TriggersSaved = false;
    TriggerSnapshot m_triggerSnapshot {};
    WindowHandle m_window = 0;
    std::vector<PortUser> UserList;
    bool m_consumeOnRead = false;
    TDeviceLayerInstaller m_installer = nullptr;
    DeviceHandle m_keepLineDevice = -1;
};

// Publishes the properties of TVskCustomComPort.
class TVskComPort : public TVskCustomComPort {
public:
    using TVskCustomComPort::TVskCustomComPort;

    using TVskCustomComPort::AutoOpen;
    using TVskCustomComPort::Baud;
    using TVskCustomComPort::BufferFull;
    using TVskCustomComPort::BufferResume;
    using TVskCustomComPort::CommNotificationLevel;
    using TVskCustomComPort::ComNumber;
    using TVskCustomComPort::DataBits;
    using TVskCustomComPort::DeviceLayer;
    using TVskCustomComPort::DispatcherMode;
    using TVskCustomComPort::DTR;
    using TVskCustomComPort::HWFlowOptions;
    using TVskCustomComPort::InSize;
    using TVskCustomComPort::Logging;
    using TVskCustomComPort::LogHex;
    using TVskCustomComPort::LogName;
    using TVskCustomComPort::LogSize;
    using TVskCustomComPort::Open;
    using TVskCustomComPort::OutSize;
    using TVskCustomComPort::Parity;
    using TVskCustomComPort::RTS;
    using TVskCustomComPort::SetAutoOpen;
    using TVskCustomComPort::SetBaud;
    using TVskCustomComPort::SetBufferFull;
    using TVskCustomComPort::SetBufferResume;
    using TVskCustomComPort::SetCommNotificationLevel;
    using TVskCustomComPort::SetComNumber;
    using TVskCustomComPort::SetDataBits;
    using TVskCustomComPort::SetDeviceLayer;
    using TVskCustomComPort::SetDispatcherMode;
    using TVskCustomComPort::SetDTR;
    using TVskCustomComPort::SetHWFlowOptions;
    using TVskCustomComPort::SetInSize;
    using TVskCustomComPort::SetLogging;
    using TVskCustomComPort::SetLogHex;
    using TVskCustomComPort::SetLogName;
    using TVskCustomComPort::SetLogSize;
    using TVskCustomComPort::SetOpen;
    using TVskCustomComPort::SetOutSize;
    using TVskCustomComPort::SetParity;
    using TVskCustomComPort::SetRTS;
    using TVskCustomComPort::SetStopBits;
    using TVskCustomComPort::SetSWFlowOptions;
    using TVskCustomComPort::SetTag;
    using TVskCustomComPort::SetTapiMode;
    using TVskCustomComPort::SetTraceHex;
    using TVskCustomComPort::SetTraceName;
    using TVskCustomComPort::SetTraceSize;
    using TVskCustomComPort::SetTracing;
    using TVskCustomComPort::SetTriggerLength;
    using TVskCustomComPort::SetUseEventWord;
    using TVskCustomComPort::SetUseMSRShadow;
    using TVskCustomComPort::SetXOffChar;
    using TVskCustomComPort::SetXOnChar;
    using TVskCustomComPort::StopBits;
    using TVskCustomComPort::SWFlowOptions;
    using TVskCustomComPort::Tag;
    using TVskCustomComPort::TapiMode;
    using TVskCustomComPort::TraceHex;
    using TVskCustomComPort::TraceName;
    using TVskCustomComPort::TraceSize;
    using TVskCustomComPort::Tracing;
    using TVskCustomComPort::TriggerLength;
    using TVskCustomComPort::UseEventWord;
    using TVskCustomComPort::UseMSRShadow;
    using TVskCustomComPort::XOffChar;
    using TVskCustomComPort::XOnChar;
};

} // namespace zop
