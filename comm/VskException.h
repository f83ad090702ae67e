#pragma once
// The exception family of the serial library. The port layer reports
// failures as negative codes; CheckException turns them into these classes.
// Handlers can catch one group (EOpenComm, ETrigger, ...) or the whole family.
#include <cstdint>
#include <string>

#include "comm/Component.h"
#include "comm/Exception.h"

namespace zop {

class EVSKException : public Exception {
public:
    // Raised for a code: the message is the text stored under ErrorMessageId(code).
    explicit EVSKException(std::int32_t code);
    // Raised with a plain message: ErrorCode is 0.
    explicit EVSKException(const std::string& message);
    explicit EVSKException(const char* message)
        : EVSKException(std::string(message))
    {
    }

    std::int32_t ErrorCode;
};

#define ZOP_VSK_CLASS(Name, Parent)                                                                                    \
    class Name : public Parent {                                                                                       \
    public:                                                                                                            \
        using Parent::Parent;                                                                                          \
    };

// Groups
ZOP_VSK_CLASS(EGeneral, EVSKException)
ZOP_VSK_CLASS(EOpenComm, EVSKException)
ZOP_VSK_CLASS(ESerialIO, EVSKException)
ZOP_VSK_CLASS(EModem, EVSKException)
ZOP_VSK_CLASS(ETrigger, EVSKException)
ZOP_VSK_CLASS(EProtocol, EVSKException)
ZOP_VSK_CLASS(EINI, EVSKException)
ZOP_VSK_CLASS(EFax, EVSKException)
ZOP_VSK_CLASS(ETapi, EVSKException)

// General
ZOP_VSK_CLASS(EBadHandle, EGeneral)
ZOP_VSK_CLASS(EBadArgument, EGeneral)
ZOP_VSK_CLASS(EGotQuitMsg, EGeneral)
ZOP_VSK_CLASS(EBufferTooBig, EGeneral)
ZOP_VSK_CLASS(EPortNotAssigned, EGeneral)
ZOP_VSK_CLASS(EInternal, EGeneral)
ZOP_VSK_CLASS(EModemNotAssigned, EGeneral)
ZOP_VSK_CLASS(EPhonebookNotAssigned, EGeneral)

// Opening a port
ZOP_VSK_CLASS(EBadId, EOpenComm)
ZOP_VSK_CLASS(EBaudRate, EOpenComm)
ZOP_VSK_CLASS(EByteSize, EOpenComm)
ZOP_VSK_CLASS(EDefault, EOpenComm)
ZOP_VSK_CLASS(EHardware, EOpenComm)
ZOP_VSK_CLASS(EMemory, EOpenComm)
ZOP_VSK_CLASS(ECommNotOpen, EOpenComm)
ZOP_VSK_CLASS(EAlreadyOpen, EOpenComm)
ZOP_VSK_CLASS(ENoHandles, EOpenComm)
ZOP_VSK_CLASS(ENoTimers, EOpenComm)
ZOP_VSK_CLASS(ENoPortSelected, EOpenComm)

// Serial input and output
ZOP_VSK_CLASS(ENullApi, ESerialIO)
ZOP_VSK_CLASS(ENotSupported, ESerialIO)
ZOP_VSK_CLASS(ERegisterHandlerFailed, ESerialIO)
ZOP_VSK_CLASS(EPutBlockFail, ESerialIO)
ZOP_VSK_CLASS(EGetBlockFail, ESerialIO)
ZOP_VSK_CLASS(EOutputBufferTooSmall, ESerialIO)
ZOP_VSK_CLASS(EBufferIsEmpty, ESerialIO)
ZOP_VSK_CLASS(ETracingNotEnabled, ESerialIO)
ZOP_VSK_CLASS(ELoggingNotEnabled, ESerialIO)

// Modem
ZOP_VSK_CLASS(EModemNotStarted, EModem)
ZOP_VSK_CLASS(EModemBusy, EModem)
ZOP_VSK_CLASS(EModemNotDialing, EModem)
ZOP_VSK_CLASS(EAlreadyDialing, EModem)
ZOP_VSK_CLASS(ENotDialing, EModem)

// Triggers
ZOP_VSK_CLASS(ENoMoreTriggers, ETrigger)
ZOP_VSK_CLASS(ETriggerTooLong, ETrigger)
ZOP_VSK_CLASS(EBadTriggerHandle, ETrigger)

// Database
ZOP_VSK_CLASS(EKeyTooLong, EINI)
ZOP_VSK_CLASS(EDataTooLarge, EINI)
ZOP_VSK_CLASS(EIniWrite, EINI)
ZOP_VSK_CLASS(EIniRead, EINI)
ZOP_VSK_CLASS(ERecordExists, EINI)
ZOP_VSK_CLASS(ERecordNotFound, EINI)
ZOP_VSK_CLASS(EDatabaseFull, EINI)
ZOP_VSK_CLASS(EDatabaseEmpty, EINI)
ZOP_VSK_CLASS(EBadFieldList, EINI)
ZOP_VSK_CLASS(EBadFieldForIndex, EINI)

// Fax
ZOP_VSK_CLASS(EFaxBadFormat, EFax)
ZOP_VSK_CLASS(EBadGraphicsFormat, EFax)
ZOP_VSK_CLASS(EConvertAbort, EFax)
ZOP_VSK_CLASS(EUnpackAbort, EFax)
ZOP_VSK_CLASS(ECantMakeBitmap, EFax)
ZOP_VSK_CLASS(EFaxBadMachine, EFax)
ZOP_VSK_CLASS(EFaxBadModemResult, EFax)
ZOP_VSK_CLASS(EFaxTrainError, EFax)
ZOP_VSK_CLASS(EFaxInitError, EFax)
ZOP_VSK_CLASS(EFaxBusy, EFax)
ZOP_VSK_CLASS(EFaxVoiceCall, EFax)
ZOP_VSK_CLASS(EFaxDataCall, EFax)
ZOP_VSK_CLASS(EFaxNoDialTone, EFax)
ZOP_VSK_CLASS(EFaxNoCarrier, EFax)
ZOP_VSK_CLASS(EFaxSessionError, EFax)
ZOP_VSK_CLASS(EFaxPageError, EFax)

// Telephony: code, class, message text (stored under the code's resource number)
#define ZOP_TAPI_CODES(X)                                                                                              \
    X(-13801, ETapiAllocated, "already allocated")                                                                     \
    X(-13802, ETapiBadDeviceID, "bad device ID")                                                                       \
    X(-13803, ETapiBearerModeUnavail, "bearer mode unavailable")                                                       \
    X(-13805, ETapiCallUnavail, "call unavailable")                                                                    \
    X(-13806, ETapiCompletionOverrun, "completion overrun")                                                            \
    X(-13807, ETapiConferenceFull, "conference full")                                                                  \
    X(-13808, ETapiDialBilling, "dial billing")                                                                        \
    X(-13809, ETapiDialDialtone, "dial dialtone")                                                                      \
    X(-13810, ETapiDialPrompt, "dial prompt")                                                                          \
    X(-13811, ETapiDialQuiet, "dial quiet")                                                                            \
    X(-13812, ETapiIncompatibleApiVersion, "incompatible API version")                                                 \
    X(-13813, ETapiIncompatibleExtVersion, "incompatible extension version")                                           \
    X(-13814, ETapiIniFileCorrupt, "INI file corrupt")                                                                 \
    X(-13815, ETapiInUse, "in use")                                                                                    \
    X(-13816, ETapiInvalAddress, "invalid address")                                                                    \
    X(-13817, ETapiInvalAddressID, "invalid address ID")                                                               \
    X(-13818, ETapiInvalAddressMode, "invalid address mode")                                                           \
    X(-13819, ETapiInvalAddressState, "invalid address state")                                                         \
    X(-13820, ETapiInvalAppHandle, "invalid app handle")                                                               \
    X(-13821, ETapiInvalAppName, "invalid app name")                                                                   \
    X(-13822, ETapiInvalBearerMode, "invalid bearer mode")                                                             \
    X(-13823, ETapiInvalCallComplMode, "invalid call completion mode")                                                 \
    X(-13824, ETapiInvalCallHandle, "invalid call handle")                                                             \
    X(-13825, ETapiInvalCallParams, "invalid call params")                                                             \
    X(-13826, ETapiInvalCallPrivilege, "invalid call privilege")                                                       \
    X(-13827, ETapiInvalCallSelect, "invalid call select")                                                             \
    X(-13828, ETapiInvalCallState, "invalid call state")                                                               \
    X(-13829, ETapiInvalCallStatelist, "invalid call state list")                                                      \
    X(-13830, ETapiInvalCard, "invalid card")                                                                          \
    X(-13831, ETapiInvalCompletionID, "invalid completion ID")                                                         \
    X(-13832, ETapiInvalConfCallHandle, "invalid conference call handle")                                              \
    X(-13833, ETapiInvalConsultCallHandle, "invalid consult call handle")                                              \
    X(-13834, ETapiInvalCountryCode, "invalid country code")                                                           \
    X(-13835, ETapiInvalDeviceClass, "invalid device class")                                                           \
    X(-13836, ETapiInvalDeviceHandle, "invalid device handle")                                                         \
    X(-13837, ETapiInvalDialParams, "invalid dial params")                                                             \
    X(-13838, ETapiInvalDigitList, "invalid digit list")                                                               \
    X(-13839, ETapiInvalDigitMode, "invalid digit mode")                                                               \
    X(-13840, ETapiInvalDigits, "invalid digits")                                                                      \
    X(-13841, ETapiInvalExtVersion, "invalid extension version")                                                       \
    X(-13842, ETapiInvalGroupID, "invalid group ID")                                                                   \
    X(-13843, ETapiInvalLineHandle, "invalid line handle")                                                             \
    X(-13844, ETapiInvalLineState, "invalid line state")                                                               \
    X(-13845, ETapiInvalLocation, "invalid location")                                                                  \
    X(-13846, ETapiInvalMediaList, "invalid media list")                                                               \
    X(-13847, ETapiInvalMediaMode, "invalid media mode")                                                               \
    X(-13848, ETapiInvalMessageID, "invalid message ID")                                                               \
    X(-13850, ETapiInvalParam, "invalid param")                                                                        \
    X(-13851, ETapiInvalParkID, "invalid park ID")                                                                     \
    X(-13852, ETapiInvalParkMode, "invalid park mode")                                                                 \
    X(-13853, ETapiInvalPointer, "invalid pointer")                                                                    \
    X(-13854, ETapiInvalPrivSelect, "invalid privilege select")                                                        \
    X(-13855, ETapiInvalRate, "invalid rate")                                                                          \
    X(-13856, ETapiInvalRequestMode, "invalid request mode")                                                           \
    X(-13857, ETapiInvalTerminalID, "invalid terminal ID")                                                             \
    X(-13858, ETapiInvalTerminalMode, "invalid terminal mode")                                                         \
    X(-13859, ETapiInvalTimeout, "invalid timeout")                                                                    \
    X(-13860, ETapiInvalTone, "invalid tone")                                                                          \
    X(-13861, ETapiInvalToneList, "invalid tone list")                                                                 \
    X(-13862, ETapiInvalToneMode, "invalid tone mode")                                                                 \
    X(-13863, ETapiInvalTransferMode, "invalid transfer mode")                                                         \
    X(-13864, ETapiLineMapperFailed, "line mapper failed")                                                             \
    X(-13865, ETapiNoConference, "no conference")                                                                      \
    X(-13866, ETapiNoDevice, "no device")                                                                              \
    X(-13867, ETapiNoDriver, "no driver")                                                                              \
    X(-13868, ETapiNoMem, "no memory")                                                                                 \
    X(-13869, ETapiNoRequest, "no request")                                                                            \
    X(-13870, ETapiNotOwner, "not owner")                                                                              \
    X(-13871, ETapiNotRegistered, "not registered")                                                                    \
    X(-13872, ETapiOperationFailed, "operation failed")                                                                \
    X(-13873, ETapiOperationUnavail, "operation unavailable")                                                          \
    X(-13874, ETapiRateUnavail, "rate unavailable")                                                                    \
    X(-13875, ETapiResourceUnavail, "resource unavailable")                                                            \
    X(-13876, ETapiRequestOverrun, "request overrun")                                                                  \
    X(-13877, ETapiStructureTooSmall, "structure too small")                                                           \
    X(-13878, ETapiTargetNotFound, "target not found")                                                                 \
    X(-13879, ETapiTargetSelf, "target self")                                                                          \
    X(-13880, ETapiUninitialized, "uninitialized")                                                                     \
    X(-13881, ETapiUserUserInfoTooBig, "user user info too big")                                                       \
    X(-13882, ETapiReinit, "reinitialise")                                                                             \
    X(-13883, ETapiAddressBlocked, "address blocked")                                                                  \
    X(-13884, ETapiBillingRejected, "billing rejected")                                                                \
    X(-13885, ETapiInvalFeature, "invalid feature")                                                                    \
    X(-13886, ETapiNoMultipleInstance, "no multiple instance")                                                         \
    X(-13928, ETapiBusy, "TAPI already open, dialing or answering")                                                    \
    X(-13929, ETapiNotSet, "TapiMode not set in TVskComPort")                                                          \
    X(-13930, ETapiNoSelect, "No TAPI device selected")                                                                \
    X(-13931, ETapiLoadFail, "Failed to find/load TAPI.DLL")                                                           \
    X(-13932, ETapiGetAddrFail, "Failed to get TAPI address")                                                          \
    X(-13933, ETapi16Disabled, "TAPI disabled for 16-bit environments")

#define ZOP_TAPI_DECLARE(code, Name, text) ZOP_VSK_CLASS(Name, ETapi)
ZOP_TAPI_CODES(ZOP_TAPI_DECLARE)
#undef ZOP_TAPI_DECLARE

// The string resource number of the message for a code.
std::int32_t ErrorMessageId(std::int32_t code);

// The message text stored under a resource number; empty when none is stored.
std::string LoadMessageText(std::int32_t resourceId);

// Returns code unchanged when it is 0 or positive, or while the calling
// component is being loaded from its stored form; otherwise raises the
// exception that belongs to the code and does not return.
std::int32_t CheckException(const TComponent& component, std::int32_t code);
// The same with the component's loading state given directly.
std::int32_t CheckException(bool componentLoading, std::int32_t code);

// Raises the exception that belongs to a negative code (no loading check).
[[noreturn]] void RaiseForCode(std::int32_t code);

} // namespace zop
