#include "comm/VskException.h"

namespace zop {

EVSKException::EVSKException(std::int32_t code)
    : Exception(LoadMessageText(ErrorMessageId(code)))
    , ErrorCode(code)
{
}

EVSKException::EVSKException(const std::string& message)
    : Exception(message)
    , ErrorCode(0)
{
}

std::int32_t ErrorMessageId(std::int32_t code)
{
    // The absolute value taken as an unsigned 16-bit number.
    const std::uint32_t magnitude = code < 0 ? 0u - static_cast<std::uint32_t>(code) : static_cast<std::uint32_t>(code);
    const std::int32_t a = static_cast<std::int32_t>(magnitude & 0xFFFFu);
    // The telephony component's own codes keep their number too: the plain
    // rule would send them to 13228..13233, where no text is stored.
    if ((a >= 13800 && a <= 13900) || (a >= 13928 && a <= 13934))
        return a;
    if (a >= 100 && a <= 199)
        return a + 11800;
    return a % 1000 + a / 1000 * 100 + 11000;
}

// Codes listed with their class.
#define ZOP_LISTED_CODES(X)                                                                                            \
    X(-1001, EBadHandle)                                                                                               \
    X(-1002, EBadArgument)                                                                                             \
    X(-1003, EGotQuitMsg)                                                                                              \
    X(-1004, EBufferTooBig)                                                                                            \
    X(-1005, EPortNotAssigned)                                                                                         \
    X(-1006, EInternal)                                                                                                \
    X(-1007, EModemNotAssigned)                                                                                        \
    X(-1008, EPhonebookNotAssigned)                                                                                    \
    X(-2001, EBadId)                                                                                                   \
    X(-2002, EBaudRate)                                                                                                \
    X(-2003, EByteSize)                                                                                                \
    X(-2004, EDefault)                                                                                                 \
    X(-2005, EHardware)                                                                                                \
    X(-2006, EMemory)                                                                                                  \
    X(-2007, ECommNotOpen)                                                                                             \
    X(-2008, EAlreadyOpen)                                                                                             \
    X(-2009, ENoHandles)                                                                                               \
    X(-2010, ENoTimers)                                                                                                \
    X(-2011, ENoPortSelected)                                                                                          \
    X(-3001, ENullApi)                                                                                                 \
    X(-3002, ENotSupported)                                                                                            \
    X(-3003, ERegisterHandlerFailed)                                                                                   \
    X(-3004, EPutBlockFail)                                                                                            \
    X(-3005, EGetBlockFail)                                                                                            \
    X(-3006, EOutputBufferTooSmall)                                                                                    \
    X(-3007, EBufferIsEmpty)                                                                                           \
    X(-3008, ETracingNotEnabled)                                                                                       \
    X(-3009, ELoggingNotEnabled)                                                                                       \
    X(-4001, EModemNotStarted)                                                                                         \
    X(-4002, EModemBusy)                                                                                               \
    X(-4003, EModemNotDialing)                                                                                         \
    X(-4004, ENotDialing)                                                                                              \
    X(-4005, EAlreadyDialing)                                                                                          \
    X(-5001, ENoMoreTriggers)                                                                                          \
    X(-5002, ETriggerTooLong)                                                                                          \
    X(-5003, EBadTriggerHandle)                                                                                        \
    X(-6006, EProtocol)                                                                                                \
    X(-6008, EProtocol)                                                                                                \
    X(-6009, EProtocol)                                                                                                \
    X(-7001, EKeyTooLong)                                                                                              \
    X(-7002, EDataTooLarge)                                                                                            \
    X(-7003, EInternal)                                                                                                \
    X(-7004, EIniWrite)                                                                                                \
    X(-7005, EIniRead)                                                                                                 \
    X(-7006, EInternal)                                                                                                \
    X(-7007, ERecordExists)                                                                                            \
    X(-7008, ERecordNotFound)                                                                                          \
    X(-7010, EDatabaseFull)                                                                                            \
    X(-7011, EDatabaseEmpty)                                                                                           \
    X(-7012, EInternal)                                                                                                \
    X(-7013, EBadFieldList)                                                                                            \
    X(-7014, EBadFieldForIndex)                                                                                        \
    X(-8001, EFaxBadFormat)                                                                                            \
    X(-8002, EBadGraphicsFormat)                                                                                       \
    X(-8003, EConvertAbort)                                                                                            \
    X(-8004, EUnpackAbort)                                                                                             \
    X(-8005, ECantMakeBitmap)                                                                                          \
    X(-8070, EFaxBadMachine)                                                                                           \
    X(-8071, EFaxBadModemResult)                                                                                       \
    X(-8072, EFaxTrainError)                                                                                           \
    X(-8073, EFaxInitError)                                                                                            \
    X(-8074, EFaxBusy)                                                                                                 \
    X(-8075, EFaxVoiceCall)                                                                                            \
    X(-8076, EFaxDataCall)                                                                                             \
    X(-8077, EFaxNoDialTone)                                                                                           \
    X(-8078, EFaxNoCarrier)                                                                                            \
    X(-8079, EFaxSessionError)                                                                                         \
    X(-8080, EFaxPageError)

void RaiseForCode(std::int32_t code)
{
    switch (code) {
#define ZOP_RAISE_LISTED(value, Name)                                                                                  \
    case value:                                                                                                        \
        throw Name(code);
        ZOP_LISTED_CODES(ZOP_RAISE_LISTED)
#undef ZOP_RAISE_LISTED
#define ZOP_RAISE_TAPI(value, Name, text)                                                                              \
    case value:                                                                                                        \
        throw Name(code);
        ZOP_TAPI_CODES(ZOP_RAISE_TAPI)
#undef ZOP_RAISE_TAPI
    default:
        break;
    }
    if (code >= -162 && code <= -2) {
        std::string message = LoadMessageText(ErrorMessageId(code));
        if (code == -8)
            throw EOutOfMemory(std::move(message));
        throw EInOutError(std::move(message), -code);
    }
    throw EVSKException("VSK exception");
}

std::int32_t CheckException(const TComponent& component, std::int32_t code)
{
    return CheckException(component.Loading(), code);
}

std::int32_t CheckException(bool componentLoading, std::int32_t code)
{
    if (code >= 0 || componentLoading)
        return code;
    RaiseForCode(code);
}

} // namespace zop
