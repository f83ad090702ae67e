#pragma once
// The exception base of the serial library and the two runtime errors it
// raises beside its own family: file/operating-system errors and memory
// exhaustion.
#include <cstdint>
#include <exception>
#include <string>

namespace zop {

// Message text plus a help context, like the toolkit's base exception.
class Exception : public std::exception {
public:
    explicit Exception(std::string message, std::int32_t helpContext = 0)
        : m_message(std::move(message))
        , m_helpContext(helpContext)
    {
    }
    const char* what() const noexcept override { return m_message.c_str(); }
    const std::string& Message() const noexcept { return m_message; }
    std::int32_t HelpContext() const noexcept { return m_helpContext; }

private:
    std::string m_message;
    std::int32_t m_helpContext;
};

// A file or device error; ErrorCode holds the positive operating-system number.
class EInOutError : public Exception {
public:
    EInOutError(std::string message, std::int32_t errorCode)
        : Exception(std::move(message))
        , ErrorCode(errorCode)
    {
    }
    std::int32_t ErrorCode;
};

class EOutOfMemory : public Exception {
public:
    using Exception::Exception;
};

} // namespace zop
