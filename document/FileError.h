#pragma once
// Failures of the document's file operations. The text is what the user sees
// in the program's general error report: the platform's own message for the
// failed call ("Permission denied", "No space left on device"). Texts are
// UTF-8, like every exception text of the program.
#include <stdexcept>
#include <string>

namespace zop {

// A file that could not be created, written, flushed or put in place.
class FileError : public std::runtime_error {
public:
    FileError(int errorNumber, const std::string& text)
        : std::runtime_error(text)
        , m_errorNumber(errorNumber)
    {
    }
    // The errno value behind the failure.
    int ErrorNumber() const { return m_errorNumber; }

private:
    int m_errorNumber;
};

// Builds a FileError from an errno value with the platform's message.
FileError FileErrorFromErrno(int errorNumber);

// A command that this build cannot carry out (a picture writer that is not
// part of it). Shown by the general error report like any other failure.
class NotAvailableError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

} // namespace zop
