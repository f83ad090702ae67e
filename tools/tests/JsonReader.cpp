#include "tools/tests/JsonReader.h"

#include <cstdlib>

namespace zop::test {
namespace {

class Reader {
public:
    explicit Reader(const std::string& text)
        : m_text(text)
    {
    }

    Json Document()
    {
        Json value = Value();
        Space();
        if (m_at != m_text.size())
            Fail("text after the value");
        return value;
    }

private:
    [[noreturn]] void Fail(const std::string& what) const
    {
        throw std::runtime_error(what + " at offset " + std::to_string(m_at) + " of: " + m_text.substr(0, 200));
    }
    void Space()
    {
        while (m_at < m_text.size()
            && (m_text[m_at] == ' ' || m_text[m_at] == '\t' || m_text[m_at] == '\n' || m_text[m_at] == '\r'))
            ++m_at;
    }
    bool Take(char c)
    {
        Space();
        if (m_at < m_text.size() && m_text[m_at] == c) {
            ++m_at;
            return true;
        }
        return false;
    }
    void Expect(char c)
    {
        if (!Take(c))
            Fail(std::string("'") + c + "' expected");
    }
    bool Word(const char* word)
    {
        const std::string w = word;
        if (m_text.compare(m_at, w.size(), w) != 0)
            return false;
        m_at += w.size();
        return true;
    }
    std::string String()
    {
        Expect('"');
        std::string out;
        for (;;) {
            if (m_at >= m_text.size())
                Fail("unterminated string");
            const char c = m_text[m_at++];
            if (c == '"')
                return out;
            if (static_cast<unsigned char>(c) < 0x20)
                Fail("raw control character in a string");
            if (c != '\\') {
                out += c;
                continue;
            }
            if (m_at >= m_text.size())
                Fail("unterminated escape");
            const char e = m_text[m_at++];
            switch (e) {
            case '"':
            case '\\':
            case '/':
                out += e;
                break;
            case 'b':
                out += '\b';
                break;
            case 'f':
                out += '\f';
                break;
            case 'n':
                out += '\n';
                break;
            case 'r':
                out += '\r';
                break;
            case 't':
                out += '\t';
                break;
            case 'u': {
                if (m_at + 4 > m_text.size())
                    Fail("short \\u escape");
                char* end = nullptr;
                const std::string hex = m_text.substr(m_at, 4);
                const long code = std::strtol(hex.c_str(), &end, 16);
                if (end != hex.c_str() + 4)
                    Fail("bad \\u escape");
                m_at += 4;
                if (code < 0x80) {
                    out += static_cast<char>(code);
                } else if (code < 0x800) {
                    out += static_cast<char>(0xC0 | (code >> 6));
                    out += static_cast<char>(0x80 | (code & 0x3F));
                } else {
                    out += static_cast<char>(0xE0 | (code >> 12));
                    out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
                    out += static_cast<char>(0x80 | (code & 0x3F));
                }
                break;
            }
            default:
                Fail("unknown escape");
            }
        }
    }
    Json Value()
    {
        Space();
        if (m_at >= m_text.size())
            Fail("value expected");
        const char c = m_text[m_at];
        if (c == '{') {
            ++m_at;
            Json::Object members;
            if (Take('}'))
                return { members };
            do {
                Space();
                std::string key = String();
                Expect(':');
                if (!members.emplace(key, Value()).second)
                    Fail("repeated key " + key);
            } while (Take(','));
            Expect('}');
            return { members };
        }
        if (c == '[') {
            ++m_at;
            Json::Array items;
            if (Take(']'))
                return { items };
            do
                items.push_back(Value());
            while (Take(','));
            Expect(']');
            return { items };
        }
        if (c == '"')
            return { String() };
        if (Word("null"))
            return { nullptr };
        if (Word("true"))
            return { true };
        if (Word("false"))
            return { false };
        // A number as JSON writes it: -?digits[.digits][e[+-]digits].
        const size_t start = m_at;
        if (m_text[m_at] == '-')
            ++m_at;
        const auto digits = [&] {
            const size_t from = m_at;
            while (m_at < m_text.size() && m_text[m_at] >= '0' && m_text[m_at] <= '9')
                ++m_at;
            if (m_at == from)
                Fail("digit expected");
        };
        digits();
        if (m_at < m_text.size() && m_text[m_at] == '.') {
            ++m_at;
            digits();
        }
        if (m_at < m_text.size() && (m_text[m_at] == 'e' || m_text[m_at] == 'E')) {
            ++m_at;
            if (m_at < m_text.size() && (m_text[m_at] == '+' || m_text[m_at] == '-'))
                ++m_at;
            digits();
        }
        return { std::strtod(m_text.substr(start, m_at - start).c_str(), nullptr) };
    }

    const std::string& m_text;
    size_t m_at = 0;
};

} // namespace

Json ParseJson(const std::string& text)
{
    return Reader(text).Document();
}

} // namespace zop::test
