#include "comm/VkPort.h"

#include "comm/ErrorCodes.h"
#include "comm/PortLayer.h"
#include "comm/PosixLayer.h"
#include "comm/TraceLog.h"
#include "comm/Triggers.h"
#include "comm/VskException.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <exception>

namespace zop {

std::array<TVskCustomComPort*, MaxComponentHandle + 1> ComPortTable {};

namespace {

constexpr std::uint16_t OptionMsrShadow = 1;
constexpr std::uint16_t OptionEventWord = 4;
constexpr std::uint16_t MaxTraceSize = 32760;
constexpr std::uint16_t MaxLogSize = 65520;
constexpr size_t MaxShortString = 255;
// A user window is told synchronously; it runs on this thread in practice.
constexpr std::chrono::milliseconds UserMessageTimeout { 60000 };

std::uint16_t SwFlowBits(TSWFlowOptions options)
{
    switch (options) {
    case swfReceive:
        return SwFlowReceive;
    case swfTransmit:
        return SwFlowTransmit;
    case swfBoth:
        return SwFlowReceive | SwFlowTransmit;
    case swfNone:
        break;
    }
    return 0;
}

std::string ShortString(const std::string& value)
{
    return value.substr(0, MaxShortString);
}

} // namespace

std::intptr_t VskComWindowProc(WindowHandle window, std::uint32_t msg, std::uintptr_t wParam, std::intptr_t lParam)
{
    const auto port = static_cast<std::uint16_t>((static_cast<std::uint32_t>(lParam) >> 16) & 0xFFFF);
    if (port < 1 || port > MaxComponentHandle || !ComPortTable[port])
        return DefWindowProc(window, msg, wParam, lParam);
    TVskCustomComPort& cp = *ComPortTable[port];
    const auto first = static_cast<std::uint16_t>(wParam);
    const auto low = static_cast<std::uint16_t>(lParam & 0xFFFF);
    try {
        cp.NotifyTrigger(static_cast<std::uint16_t>(msg), first, msg == TriggerAvailMsg ? first : low);
        switch (msg) {
        case TriggerAvailMsg:
            cp.NotifyTriggerAvail(first);
            break;
        case TriggerDataMsg:
            cp.NotifyTriggerData(first);
            break;
        case TriggerTimerMsg:
            cp.NotifyTriggerTimer(first);
            break;
        case TriggerStatusMsg:
            cp.NotifyTriggerStatus(first);
            switch (GetStatusTriggerKind(port, first)) {
            case 1:
                cp.NotifyModemStatus();
                break;
            case 2: {
                const auto error = static_cast<std::uint16_t>(GetLineError(port));
                cp.NotifyLineError(error, CheckLineBreak(port) != 0);
                break;
            }
            case 3:
                cp.NotifyOutbuffFree();
                break;
            case 4:
                cp.NotifyOutbuffUsed();
                break;
            case 5:
                cp.NotifyOutSent();
                break;
            default:
                break;
            }
            break;
        default:
            return DefWindowProc(window, msg, wParam, lParam);
        }
    } catch (...) {
        // Failures of event handlers end here; the port stays open.
        return 0;
    }
    return 0;
}

TVskCustomComPort::TVskCustomComPort(TComponent* owner)
    : TComponent(owner)
{
}

TVskCustomComPort::~TVskCustomComPort()
{
    if (m_open || m_openAtLayer) {
        try {
            CloseComPort();
        } catch (...) {
            // A failing trace or log dump must not keep the port from closing.
        }
    }
    UserList.clear();
}

std::int32_t TVskCustomComPort::Check(std::int32_t code) const
{
    return CheckException(*this, code);
}

void TVskCustomComPort::EnsureOpen()
{
    if (m_autoOpen && !m_open && !Designing() && !Loading())
        SetOpen(true);
}

// ---- open and close ----

void TVskCustomComPort::SetOpen(bool value)
{
    if (value == m_open)
        return;
    if (Designing() || Loading()) {
        m_open = value;
        if (value)
            OpenPending = true;
        return;
    }
    if (!value)
        CloseComPort();
    else if (m_tapiMode == tmOn)
        OpenComPortKeepLine();
    else
        OpenComPort();
}

void TVskCustomComPort::Loaded()
{
    TComponent::Loaded();
    if (Designing())
        return;
    if (OpenPending)
        m_open = true;
    if (m_open) {
        OpenPending = false;
        m_open = false; // OpenComPort sets it once the port is really open
        OpenComPort();
    }
}

void TVskCustomComPort::OpenComPort()
{
    if (m_comNumber == 0)
        throw ENoPortSelected(ErrNoPortSelected);
    OpenAtLayer(false);
}

void TVskCustomComPort::OpenComPortKeepLine()
{
    OpenAtLayer(true);
}

void TVskCustomComPort::OpenAtLayer(bool keepLine)
{
    switch (m_deviceLayer) {
    case dlWin32:
        InstallPosixLayer();
        break;
    case dlOther:
        if (m_installer) {
            m_installer();
            break;
        }
        [[fallthrough]];
    default:
        throw ENullApi(ErrNullApi);
    }

    char name[32];
    std::snprintf(name, sizeof name, "\\\\.\\COM%d", m_comNumber);
    PortHandle handle = 0;
    std::int32_t result = keepLine
        ? OpenPortOnHandle(&handle, m_dispatcherMode, name, m_baud, m_parity, static_cast<std::int16_t>(m_dataBits),
            static_cast<std::int16_t>(m_stopBits), m_inSize, m_outSize, m_keepLineDevice)
        : OpenPort(&handle, m_dispatcherMode, name, m_baud, m_parity, static_cast<std::int16_t>(m_dataBits),
            static_cast<std::int16_t>(m_stopBits), m_inSize, m_outSize);
    if (result == ErrAccessDenied)
        result = ErrAlreadyOpen;
    else if (result == ErrFileNotFound || result == ErrPathNotFound)
        result = ErrBadId;
    if (result != 0 || handle < 1 || handle > MaxComponentHandle) {
        if (result == 0 && handle != 0)
            ClosePort(handle);
        Check(result);
        return;
    }

    m_handle = handle;
    m_openAtLayer = true;
    try {
        ApplyAllSettings();
    } catch (...) {
        // The port never became usable: leave it closed, as a failed open does.
        ForceApply = false;
        ClosePort(m_handle);
        m_openAtLayer = false;
        m_handle = 0;
        throw;
    }

    if (keepLine) {
        std::int32_t baud = 0;
        std::int16_t parity = 0;
        std::int16_t dataBits = 0;
        std::int16_t stopBits = 0;
        if (GetLine(m_handle, &baud, &parity, &dataBits, &stopBits) >= 0) {
            m_baud = baud;
            m_parity = static_cast<TParity>(std::clamp<std::int16_t>(parity, pNone, pSpace));
            m_dataBits = static_cast<std::uint16_t>(dataBits);
            m_stopBits = static_cast<std::uint16_t>(stopBits);
        }
    }

    m_open = true;
    ComPortTable[m_handle] = this;
    m_window = CreateMessageWindow(VskComWindowProc);
    Check(RegisterTriggerHandler(m_handle, m_window, nullptr, true));
    if (TriggersSaved) {
        TriggersSaved = false;
        Check(RestoreTriggers(m_handle, &m_triggerSnapshot));
    }
    PortOpened();
}

void TVskCustomComPort::ApplyAllSettings()
{
    ForceApply = true;
    SetTracing(m_tracing);
    SetLogging(m_logging);
    SetHWFlowOptions(m_hwFlow);
    SetSWFlowOptions(m_swFlow);
    SetXOnChar(m_xonChar);
    SetXOffChar(m_xoffChar);
    SetTriggerLength(m_triggerLength);
    SetDTR(m_dtr);
    if (m_deviceLayer != dlFossil)
        SetRTS(m_rts);
    SetUseMSRShadow(m_useMsrShadow);
    SetConsumeOnRead(m_consumeOnRead);
    SetUseEventWord(m_useEventWord);
    SetCommNotificationLevel(m_commNotificationLevel);
    ForceApply = false;
}

void TVskCustomComPort::CloseComPort()
{
    std::exception_ptr failure;
    if (m_openAtLayer) {
        try {
            PortClosing();
        } catch (...) {
            failure = std::current_exception();
        }
        // Writing an active trace or log may fail; the port closes anyway.
        try {
            SetTracing(tlDump);
        } catch (...) {
            if (!failure)
                failure = std::current_exception();
        }
        try {
            SetLogging(tlDump);
        } catch (...) {
            if (!failure)
                failure = std::current_exception();
        }
        if (SaveTriggers(m_handle, &m_triggerSnapshot) == 0)
            TriggersSaved = true;
        DeregisterTriggerHandler(m_handle, m_window, nullptr);
        DestroyMessageWindow(m_window);
        m_window = 0;
        ClosePort(m_handle);
        ComPortTable[m_handle] = nullptr;
        m_openAtLayer = false;
        m_handle = 0;
    }
    m_open = false;
    if (failure)
        std::rethrow_exception(failure);
}

void TVskCustomComPort::TellUsers(bool opening)
{
    const std::vector<PortUser> users = UserList;
    for (auto it = users.rbegin(); it != users.rend(); ++it) {
        if (it->Window != 0)
            SendMessageTimeout(it->Window, opening ? PortUserOpenMsg : PortUserCloseMsg, 0, 0, UserMessageTimeout);
        else if (it->Procedure)
            it->Procedure(it->Data, *this, opening);
    }
}

void TVskCustomComPort::PortOpened()
{
    TellUsers(true);
    if (OnPortOpen)
        OnPortOpen(*this);
}

void TVskCustomComPort::PortClosing()
{
    TellUsers(false);
    if (OnPortClose)
        OnPortClose(*this);
}

void TVskCustomComPort::AddPortUser(WindowHandle window)
{
    UserList.push_back({ window, nullptr, nullptr });
}

void TVskCustomComPort::AddPortUser(TPortUserProc procedure, void* data)
{
    UserList.push_back({ 0, procedure, data });
}

void TVskCustomComPort::RemovePortUser(WindowHandle window)
{
    std::erase_if(UserList, [&](const PortUser& user) { return user.Window == window; });
}

void TVskCustomComPort::RemovePortUser(TPortUserProc procedure, void* data)
{
    std::erase_if(UserList, [&](const PortUser& user) { return user.Procedure == procedure && user.Data == data; });
}

void TVskCustomComPort::Assign(const TComponent& source)
{
    const auto* other = dynamic_cast<const TVskCustomComPort*>(&source);
    if (!other) {
        TComponent::Assign(source);
        return;
    }
    if (other == this)
        return;
    if (m_open)
        CloseComPort();
    UserList = other->UserList;
    m_deviceLayer = other->m_deviceLayer;
    m_comNumber = other->m_comNumber;
    m_baud = other->m_baud;
    m_parity = other->m_parity;
    m_dataBits = other->m_dataBits;
    m_stopBits = other->m_stopBits;
    m_inSize = other->m_inSize;
    m_outSize = other->m_outSize;
    m_autoOpen = other->m_autoOpen;
    m_dispatcherMode = other->m_dispatcherMode;
    m_dtr = other->m_dtr;
    m_rts = other->m_rts;
    m_hwFlow = other->m_hwFlow;
    m_swFlow = other->m_swFlow;
    m_xonChar = other->m_xonChar;
    m_xoffChar = other->m_xoffChar;
    m_bufferFull = other->m_bufferFull;
    m_bufferResume = other->m_bufferResume;
    // A closed copy keeps only the states it can store while closed.
    m_tracing = other->m_tracing == tlOn ? tlOn : tlOff;
    m_traceSize = other->m_traceSize;
    m_traceName = other->m_traceName;
    m_traceHex = other->m_traceHex;
    m_logging = other->m_logging == tlOn ? tlOn : tlOff;
    m_logSize = other->m_logSize;
    m_logName = other->m_logName;
    m_logHex = other->m_logHex;
    m_useMsrShadow = other->m_useMsrShadow;
    m_useEventWord = other->m_useEventWord;
    m_triggerLength = other->m_triggerLength;
    m_commNotificationLevel = other->m_commNotificationLevel;
    m_tapiMode = other->m_tapiMode;
    m_consumeOnRead = other->m_consumeOnRead;
    OnTrigger = other->OnTrigger;
    OnTriggerAvail = other->OnTriggerAvail;
    OnTriggerData = other->OnTriggerData;
    OnTriggerStatus = other->OnTriggerStatus;
    OnTriggerTimer = other->OnTriggerTimer;
    OnPortOpen = other->OnPortOpen;
    OnPortClose = other->OnPortClose;
    if (other->m_openAtLayer && SaveTriggers(other->m_handle, &m_triggerSnapshot) == 0)
        TriggersSaved = true;
}

// ---- operations ----

std::uint16_t TVskCustomComPort::AddDataTrigger(const std::string& data, bool ignoreCase)
{
    EnsureOpen();
    const std::string bytes = ShortString(data);
    const std::int32_t result = zop::AddDataTrigger(m_handle, reinterpret_cast<const std::uint8_t*>(bytes.data()),
        ignoreCase, static_cast<std::uint16_t>(bytes.size()));
    return static_cast<std::uint16_t>(Check(result));
}

std::uint16_t TVskCustomComPort::FindDataTrigger(const std::string& data, bool ignoreCase) const
{
    const auto* bytes = reinterpret_cast<const std::uint8_t*>(data.data());
    const auto length = static_cast<std::uint16_t>(std::min(data.size(), MaxShortString));
    if (m_openAtLayer) {
        TriggerSnapshot current;
        if (SaveTriggers(m_handle, &current) != 0)
            return 0;
        return zop::FindDataTrigger(current, bytes, ignoreCase, length);
    }
    return TriggersSaved ? zop::FindDataTrigger(m_triggerSnapshot, bytes, ignoreCase, length) : 0;
}

bool TVskCustomComPort::DeviceLost() const
{
    return m_openAtLayer && PortDeviceLost(m_handle);
}

char TVskCustomComPort::GetChar()
{
    EnsureOpen();
    std::uint8_t byte = 0;
    const std::int32_t result = zop::GetChar(m_handle, &byte);
    if (result < 0) {
        Check(result);
        return 0;
    }
    return static_cast<char>(byte);
}

// ---- notify operations ----

void TVskCustomComPort::NotifyTrigger(std::uint16_t msg, std::uint16_t triggerHandle, std::uint16_t data)
{
    if (OnTrigger)
        OnTrigger(*this, msg, triggerHandle, data);
}

void TVskCustomComPort::NotifyTriggerAvail(std::uint16_t count)
{
    if (OnTriggerAvail)
        OnTriggerAvail(*this, count);
}

void TVskCustomComPort::NotifyTriggerData(std::uint16_t triggerHandle)
{
    if (OnTriggerData)
        OnTriggerData(*this, triggerHandle);
}

void TVskCustomComPort::NotifyTriggerStatus(std::uint16_t triggerHandle)
{
    if (OnTriggerStatus)
        OnTriggerStatus(*this, triggerHandle);
}

void TVskCustomComPort::NotifyTriggerTimer(std::uint16_t triggerHandle)
{
    if (OnTriggerTimer)
        OnTriggerTimer(*this, triggerHandle);
}

void TVskCustomComPort::NotifyLineError(std::uint16_t error, bool lineBreak)
{
    if (OnTriggerLineError)
        OnTriggerLineError(*this, error, lineBreak);
}

void TVskCustomComPort::NotifyModemStatus()
{
    if (OnTriggerModemStatus)
        OnTriggerModemStatus(*this);
}

void TVskCustomComPort::NotifyOutbuffFree()
{
    if (OnTriggerOutbuffFree)
        OnTriggerOutbuffFree(*this);
}

void TVskCustomComPort::NotifyOutbuffUsed()
{
    if (OnTriggerOutbuffUsed)
        OnTriggerOutbuffUsed(*this);
}

void TVskCustomComPort::NotifyOutSent()
{
    if (OnTriggerOutSent)
        OnTriggerOutSent(*this);
}

void TVskCustomComPort::NotifyWaitChar(char c)
{
    if (OnWaitChar)
        OnWaitChar(*this, c);
}

void TVskCustomComPort::ProcessCommunications()
{
    // The port layer has nothing to do here: the dispatcher threads do the work.
}

// ---- property setters ----

void TVskCustomComPort::SetDeviceLayer(TDeviceLayer value)
{
    if (!m_openAtLayer)
        m_deviceLayer = value;
}

void TVskCustomComPort::SetDispatcherMode(TDispatcherMode value)
{
    if (!m_openAtLayer)
        m_dispatcherMode = value;
}

void TVskCustomComPort::SetComNumber(std::uint16_t value)
{
    if (value == m_comNumber)
        return;
    if (!m_open) {
        m_comNumber = value;
        return;
    }
    // Move the open port, with its triggers and trace and log states.
    TriggerSnapshot snapshot;
    const bool saved = m_openAtLayer && SaveTriggers(m_handle, &snapshot) == 0;
    const TTraceLogState tracing = m_tracing;
    const TTraceLogState logging = m_logging;
    CloseComPort();
    m_comNumber = value;
    SetTracing(tracing);
    SetLogging(logging);
    SetOpen(true);
    if (saved && m_openAtLayer)
        Check(RestoreTriggers(m_handle, &snapshot));
}

void TVskCustomComPort::SetBaud(std::int32_t value)
{
    if (value == m_baud)
        return;
    m_baud = value;
    if (m_openAtLayer)
        Check(SetLine(
            m_handle, m_baud, m_parity, static_cast<std::int16_t>(m_dataBits), static_cast<std::int16_t>(m_stopBits)));
}

void TVskCustomComPort::SetParity(TParity value)
{
    if (value == m_parity)
        return;
    m_parity = value;
    if (m_openAtLayer)
        Check(SetLine(
            m_handle, m_baud, m_parity, static_cast<std::int16_t>(m_dataBits), static_cast<std::int16_t>(m_stopBits)));
}

void TVskCustomComPort::SetDataBits(std::uint16_t value)
{
    if (value == m_dataBits)
        return;
    m_dataBits = value;
    if (m_openAtLayer)
        Check(SetLine(
            m_handle, m_baud, m_parity, static_cast<std::int16_t>(m_dataBits), static_cast<std::int16_t>(m_stopBits)));
}

void TVskCustomComPort::SetStopBits(std::uint16_t value)
{
    if (value == m_stopBits)
        return;
    m_stopBits = value;
    if (m_openAtLayer)
        Check(SetLine(
            m_handle, m_baud, m_parity, static_cast<std::int16_t>(m_dataBits), static_cast<std::int16_t>(m_stopBits)));
}

void TVskCustomComPort::SetInSize(std::uint16_t value)
{
    if (value == m_inSize)
        return;
    m_inSize = value;
    if (m_openAtLayer)
        Check(SetupQueues(m_handle, m_inSize, m_outSize));
}

void TVskCustomComPort::SetOutSize(std::uint16_t value)
{
    if (value == m_outSize)
        return;
    m_outSize = value;
    if (m_openAtLayer)
        Check(SetupQueues(m_handle, m_inSize, m_outSize));
}

void TVskCustomComPort::SetDTR(bool value)
{
    if (value == m_dtr && !ForceApply)
        return;
    m_dtr = value;
    if (m_openAtLayer)
        Check(zop::SetDTR(m_handle, value));
}

void TVskCustomComPort::SetRTS(bool value)
{
    if (value == m_rts && !ForceApply)
        return;
    m_rts = value;
    if (m_openAtLayer)
        Check(zop::SetRTS(m_handle, value));
}

void TVskCustomComPort::SetHWFlowOptions(THWFlowOptionSet value)
{
    if (value == m_hwFlow && !ForceApply)
        return;
    if (!value.Empty()) {
        if (m_bufferFull == 0 || m_bufferFull > m_inSize)
            m_bufferFull = static_cast<std::uint16_t>(m_inSize * 9 / 10);
        if (m_bufferResume == 0 || m_bufferResume > m_bufferFull)
            m_bufferResume = static_cast<std::uint16_t>(m_inSize / 10);
    }
    std::int32_t result = 0;
    if (m_openAtLayer)
        result
            = value.Empty() ? ClearHWFlow(m_handle) : SetHWFlow(m_handle, m_bufferFull, m_bufferResume, value.Bits());
    m_hwFlow = value;
    Check(result);
}

void TVskCustomComPort::SetSWFlowOptions(TSWFlowOptions value)
{
    if (value == m_swFlow && !ForceApply)
        return;
    const std::uint16_t bits = SwFlowBits(value);
    if (bits != 0) {
        if (m_bufferFull == 0 || m_bufferFull > m_inSize)
            m_bufferFull = static_cast<std::uint16_t>(m_inSize * 3 / 4);
        if (m_bufferResume == 0 || m_bufferResume > m_bufferFull)
            m_bufferResume = static_cast<std::uint16_t>(m_inSize / 4);
    }
    std::int32_t result = 0;
    if (m_openAtLayer)
        result = bits == 0 ? ClearSWFlow(m_handle) : SetSWFlow(m_handle, m_bufferFull, m_bufferResume, bits);
    m_swFlow = value;
    Check(result);
}

void TVskCustomComPort::SetXOnChar(char value)
{
    if (value == m_xonChar && !ForceApply)
        return;
    m_xonChar = value;
    if (m_openAtLayer)
        Check(SetFlowChars(m_handle, static_cast<std::uint8_t>(m_xonChar), static_cast<std::uint8_t>(m_xoffChar)));
}

void TVskCustomComPort::SetXOffChar(char value)
{
    if (value == m_xoffChar && !ForceApply)
        return;
    m_xoffChar = value;
    if (m_openAtLayer)
        Check(SetFlowChars(m_handle, static_cast<std::uint8_t>(m_xonChar), static_cast<std::uint8_t>(m_xoffChar)));
}

void TVskCustomComPort::ApplyFlowSettings()
{
    const bool force = ForceApply;
    ForceApply = true;
    try {
        SetHWFlowOptions(m_hwFlow);
        SetSWFlowOptions(m_swFlow);
    } catch (...) {
        ForceApply = force;
        throw;
    }
    ForceApply = force;
}

void TVskCustomComPort::SetBufferFull(std::uint16_t value)
{
    if (value == m_bufferFull && !ForceApply)
        return;
    m_bufferFull = value > m_inSize ? static_cast<std::uint16_t>(value * 9 / 10) : value;
    ApplyFlowSettings();
}

void TVskCustomComPort::SetBufferResume(std::uint16_t value)
{
    if (value == m_bufferResume && !ForceApply)
        return;
    m_bufferResume = value > m_bufferFull ? static_cast<std::uint16_t>(m_bufferFull / 10) : value;
    ApplyFlowSettings();
}

void TVskCustomComPort::SetTracing(TTraceLogState value)
{
    SetTraceLogState(false, value);
}

void TVskCustomComPort::SetLogging(TTraceLogState value)
{
    SetTraceLogState(true, value);
}

// Tracing and Logging follow one table; `log` picks the event log's
// operations and properties instead of the trace's.
void TVskCustomComPort::SetTraceLogState(bool log, TTraceLogState value)
{
    TTraceLogState& state = log ? m_logging : m_tracing;
    if (value == state && !ForceApply)
        return;
    if (!m_openAtLayer) {
        state = value == tlOn ? tlOn : tlOff;
        return;
    }
    const bool active = state == tlOn || state == tlPause;
    const std::string& name = log ? m_logName : m_traceName;
    const bool hex = log ? m_logHex : m_traceHex;
    std::int32_t result = 0;
    switch (value) {
    case tlOff:
        if (active) {
            result = log ? AbortEventLogging(m_handle) : AbortTracing(m_handle);
            state = tlOff;
        }
        break;
    case tlOn:
        if (state == tlPause)
            result = log ? StartEventLogging(m_handle) : StartTracing(m_handle);
        else
            result = log ? InitEventLogging(m_handle, m_logSize) : InitTracing(m_handle, m_traceSize);
        state = tlOn;
        break;
    case tlDump:
    case tlAppend:
        if (active) {
            result = log ? StartEventLogging(m_handle) : StartTracing(m_handle);
            const std::int32_t written = value == tlDump
                ? (log ? DumpEventLog(m_handle, name.c_str(), hex) : DumpTrace(m_handle, name.c_str(), hex))
                : (log ? AppendEventLog(m_handle, name.c_str(), hex) : AppendTrace(m_handle, name.c_str(), hex));
            if (result >= 0)
                result = written;
            state = tlOff;
        }
        break;
    case tlClear:
        if (active)
            result = log ? ClearEventLog(m_handle) : ClearTracing(m_handle);
        break;
    case tlPause:
        if (state == tlOn) {
            result = log ? StopEventLogging(m_handle) : StopTracing(m_handle);
            state = tlPause;
        }
        break;
    }
    Check(result);
}

void TVskCustomComPort::SetTraceSize(std::uint16_t value)
{
    value = std::min(value, MaxTraceSize);
    if (value == m_traceSize)
        return;
    m_traceSize = value;
    if (!m_openAtLayer)
        return;
    if (m_tracing == tlOn) {
        AbortTracing(m_handle);
        Check(InitTracing(m_handle, m_traceSize));
    } else if (m_tracing == tlPause) {
        m_tracing = tlOff;
        Check(AbortTracing(m_handle));
    }
}

void TVskCustomComPort::SetLogSize(std::uint16_t value)
{
    value = std::min(value, MaxLogSize);
    if (value == m_logSize)
        return;
    m_logSize = value;
    if (!m_openAtLayer)
        return;
    if (m_logging == tlOn) {
        AbortEventLogging(m_handle);
        Check(InitEventLogging(m_handle, m_logSize));
    } else if (m_logging == tlPause) {
        m_logging = tlOff;
        Check(AbortEventLogging(m_handle));
    }
}

void TVskCustomComPort::SetTraceName(const std::string& value)
{
    m_traceName = ShortString(value);
}

void TVskCustomComPort::SetLogName(const std::string& value)
{
    m_logName = ShortString(value);
}

void TVskCustomComPort::ApplyPortOption(std::uint16_t bit, bool on)
{
    if (m_openAtLayer)
        Check(on ? SetPortOptions(m_handle, bit) : ClearPortOptions(m_handle, bit));
}

void TVskCustomComPort::SetUseMSRShadow(bool value)
{
    if (value == m_useMsrShadow && !ForceApply)
        return;
    m_useMsrShadow = value;
    ApplyPortOption(OptionMsrShadow, value);
}

void TVskCustomComPort::SetUseEventWord(bool value)
{
    if (value == m_useEventWord && !ForceApply)
        return;
    m_useEventWord = value;
    ApplyPortOption(OptionEventWord, value);
}

void TVskCustomComPort::SetConsumeOnRead(bool value)
{
    if (value == m_consumeOnRead && !ForceApply)
        return;
    m_consumeOnRead = value;
    ApplyPortOption(OptionConsumeOnRead, value);
}

void TVskCustomComPort::SetTriggerLength(std::uint16_t value)
{
    if (value == m_triggerLength && !ForceApply)
        return;
    m_triggerLength = value;
    if (m_openAtLayer)
        Check(zop::SetTriggerLength(m_handle, value));
}

void TVskCustomComPort::SetCommNotificationLevel(std::uint16_t value)
{
    // Stored only: the port layer has nothing to apply for it.
    m_commNotificationLevel = value;
}

} // namespace zop
