#pragma once
// A strict reader of JSON text for the tests of the tool's JSON output: any
// text that is not exactly one JSON value (raw control characters, trailing
// commas, unknown escapes, text after the value) is refused.
#include <map>
#include <memory>
#include <stdexcept>
#include <string>
#include <variant>
#include <vector>

namespace zop::test {

struct Json {
    using Array = std::vector<Json>;
    using Object = std::map<std::string, Json>;
    std::variant<std::nullptr_t, bool, double, std::string, Array, Object> Value;

    bool IsNull() const { return std::holds_alternative<std::nullptr_t>(Value); }
    bool Bool() const { return std::get<bool>(Value); }
    double Number() const { return std::get<double>(Value); }
    const std::string& String() const { return std::get<std::string>(Value); }
    const Array& Items() const { return std::get<Array>(Value); }
    const Object& Members() const { return std::get<Object>(Value); }
    // The member `key` of an object; throws when absent.
    const Json& operator[](const std::string& key) const { return Members().at(key); }
    bool operator==(const Json&) const = default;
};

// Throws std::runtime_error naming the place of the first fault.
Json ParseJson(const std::string& text);

} // namespace zop::test
