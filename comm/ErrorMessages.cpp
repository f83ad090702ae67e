// The message texts of the serial library, stored under their resource
// numbers (see ErrorMessageId for how a code finds its number).
#include <algorithm>
#include <array>
#include <cstdint>
#include <string>

#include "comm/VskException.h"

namespace zop {
namespace {

struct StoredText {
    std::int32_t Id;
    const char* Text;
};

constexpr StoredText Texts[] = {
    // Operating-system and file errors
    { 11002, "File not found" },
    { 11003, "Path not found" },
    { 11004, "Too many open files" },
    { 11005, "File access denied" },
    { 11006, "Invalid file handle" },
    { 11008, "Insufficient memory" },
    { 11015, "Invalid drive" },
    { 11018, "No more files" },
    // General
    { 11101, "Bad handle passed to com function" },
    { 11102, "Bad argument passed to function" },
    { 11103, "Got quit message" },
    { 11104, "Terminal buffer greater than 65521" },
    { 11105, "ComPort component not assigned" },
    { 11106, "Internal error processing INI database" },
    { 11107, "Modem component not assigned" },
    { 11108, "Phonebook component not assigned" },
    // Opening a port
    { 11201, "Specified comport does not exist (ie_BadId)" },
    { 11202, "ie_Baudrate - unsupported baud rate" },
    { 11203, "ie_Bytesize - invalid byte size" },
    { 11204, "ie_Default - error in default parameters" },
    { 11205, "Specified comport is already in use (ie_Hardware)" },
    { 11206, "ie_Memory - unable to allocate queues" },
    { 11207, "ie_NOpen - device not open" },
    { 11208, "ie_Open - device already open" },
    { 11209, "No more handles, can't open port" },
    { 11210, "No timers available" },
    { 11211, "The ComNumber property of the TVskComPort has not been set" },
    // Serial input and output
    { 11301, "No device layer specified" },
    { 11302, "Function not supported by driver" },
    { 11303, "EnableCommNotification failed" },
    { 11304, "Failed to put entire block" },
    { 11305, "Failed to get entire block" },
    { 11306, "Output buffer too small for block" },
    { 11307, "Buffer is empty" },
    { 11308, "Tracing not enabled" },
    { 11309, "Logging not enabled" },
    // Modem
    { 11401, "StartModem has not been called" },
    { 11402, "Modem is busy elsewhere" },
    { 11403, "Modem is not currently dialing" },
    { 11404, "Dialer is not dialing" },
    { 11405, "Dialer is already dialing" },
    // Triggers
    { 11501, "No more trigger slots" },
    { 11502, "Data trigger too long" },
    { 11503, "Bad trigger handle" },
    // Protocols
    { 11606, "Fatal time out" },
    { 11608, "Too many errors during protocol" },
    { 11609, "Block sequence error in Xmodem" },
    // Database
    { 11701, "INI key too long" },
    { 11702, "INI data too large" },
    { 11703, "Internal error processing INI database" },
    { 11704, "Error writing INI database" },
    { 11705, "Error reading INI database" },
    { 11706, "Internal error processing INI database" },
    { 11707, "Record already exists" },
    { 11708, "Record not found" },
    { 11710, "Maximum database records (999) reached" },
    { 11711, "Database is empty" },
    { 11712, "Internal error processing INI database" },
    { 11713, "Bad field list" },
    { 11714, "Bad field for index" },
    // Fax
    { 11801, "File is not an OQX file" },
    { 11802, "Unsupported graphics format" },
    { 11803, "Conversion aborted" },
    { 11804, "Unpacking aborted" },
    { 11805, "Unable to create bitmap" },
    { 11870, "Incompatible fax machine" },
    { 11871, "Unexpected modem result" },
    { 11872, "Fax training error" },
    { 11873, "Fax initialisation error" },
    { 11874, "Fax line busy" },
    { 11875, "Voice call answered" },
    { 11876, "Data call answered" },
    { 11877, "No dial tone" },
    { 11878, "No carrier" },
    { 11879, "Fax session error" },
    { 11880, "Fax page error" },
    // File and device errors 100..162
    { 11900, "Attempt to read beyond end of file" },
    { 11901, "Disk is full" },
    { 11902, "File/device not assigned" },
    { 11903, "File/device not open" },
    { 11904, "File/device not open for input" },
    { 11905, "File/device not open for output" },
    { 11950, "Disk is write-protected" },
    { 11951, "Unknown disk unit" },
    { 11952, "Drive is not ready" },
    { 11953, "Unknown command" },
    { 11954, "Data error" },
    { 11955, "Bad request structure length" },
    { 11956, "Seek error" },
    { 11957, "Unknown media type" },
    { 11958, "Disk sector not found" },
    { 11959, "Printer is out of paper" },
    { 11960, "Device write error" },
    { 11961, "Device read error" },
    { 11962, "General failure" },
// Telephony
#define ZOP_TAPI_TEXT(code, Name, text) { -(code), text },
    ZOP_TAPI_CODES(ZOP_TAPI_TEXT)
#undef ZOP_TAPI_TEXT
        { 13934, "Unexpected TAPI error" },
};

constexpr bool SortedById()
{
    for (std::size_t i = 1; i < std::size(Texts); ++i)
        if (Texts[i - 1].Id >= Texts[i].Id)
            return false;
    return true;
}
static_assert(SortedById(), "message texts must be sorted by resource number");

} // namespace

std::string LoadMessageText(std::int32_t resourceId)
{
    const auto* end = std::end(Texts);
    const auto* found = std::lower_bound(
        std::begin(Texts), end, resourceId, [](const StoredText& t, std::int32_t id) { return t.Id < id; });
    if (found == end || found->Id != resourceId)
        return {};
    return found->Text;
}

} // namespace zop
