#pragma once

// Hex digits and percent decoding (RFC 3986), without Qt: shared by the position service and
// the sandbox's HTTP server.

#include <cctype>
#include <cstddef>
#include <string>
#include <string_view>

namespace Pinrova {

// Hex digits as this service writes them.
constexpr char LowerHexDigits[] = "0123456789abcdef";

// The value of one hex digit of either case; -1 for any other character.
constexpr int hexDigitValue(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

// What a "%" not followed by two hex digits means.
enum class MalformedEscape {
    Fail, // the text is refused
    Keep, // the "%" stands for itself, as browsers read it
};

// Percent-decodes text into out; false (out unspecified) only when a malformed escape is met
// with MalformedEscape::Fail. "+" stays "+": it means a space only in form encoding.
inline bool percentDecode(
    std::string_view text, std::string &out, MalformedEscape malformed = MalformedEscape::Fail)
{
    out.clear();
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] != '%') {
            out.push_back(text[i]);
            continue;
        }
        const int hi = i + 2 < text.size() ? hexDigitValue(text[i + 1]) : -1;
        const int lo = i + 2 < text.size() ? hexDigitValue(text[i + 2]) : -1;
        if (hi < 0 || lo < 0) {
            if (malformed == MalformedEscape::Fail)
                return false;
            out.push_back('%');
            continue;
        }
        out.push_back(static_cast<char>(hi * 16 + lo));
        i += 2;
    }
    return true;
}

// ASCII case-insensitive comparisons, for wire names and schemes that peers spell freely.
inline bool equalsIgnoringCase(std::string_view a, std::string_view b)
{
    if (a.size() != b.size())
        return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        if (std::tolower(static_cast<unsigned char>(a[i]))
            != std::tolower(static_cast<unsigned char>(b[i])))
            return false;
    }
    return true;
}

inline bool startsWithIgnoringCase(std::string_view text, std::string_view prefix)
{
    return text.size() >= prefix.size()
        && equalsIgnoringCase(text.substr(0, prefix.size()), prefix);
}

} // namespace Pinrova
