#include "api/textrules.h"
#include "base/textcoding.h"

#include <cctype>
#include <cstdint>

namespace Pinrova::Server {

bool isXmlSafeUtf8(std::string_view text)
{
    std::size_t i = 0;
    while (i < text.size()) {
        const auto lead = static_cast<unsigned char>(text[i]);
        if (lead < 0x80) {
            if (lead < 0x20 || lead == 0x7f)
                return false;
            ++i;
            continue;
        }
        std::size_t length;
        std::uint32_t code;
        if ((lead & 0xe0) == 0xc0) {
            length = 2;
            code = lead & 0x1f;
        } else if ((lead & 0xf0) == 0xe0) {
            length = 3;
            code = lead & 0x0f;
        } else if ((lead & 0xf8) == 0xf0) {
            length = 4;
            code = lead & 0x07;
        } else {
            return false;
        }
        if (i + length > text.size())
            return false;
        for (std::size_t k = 1; k < length; ++k) {
            const auto next = static_cast<unsigned char>(text[i + k]);
            if ((next & 0xc0) != 0x80)
                return false;
            code = (code << 6) | (next & 0x3f);
        }
        static const std::uint32_t smallest[] = {0, 0, 0x80, 0x800, 0x10000};
        if (code < smallest[length] || code > 0x10ffff || (code >= 0xd800 && code <= 0xdfff)
            || code == 0xfffe || code == 0xffff)
            return false;
        i += length;
    }
    return true;
}

void replaceControlCharacters(std::string &text)
{
    for (char &c : text) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte < 0x20 || byte == 0x7f)
            c = ' ';
    }
}

void cutAtCodePoint(std::string &text, std::size_t maxBytes)
{
    if (text.size() <= maxBytes)
        return;
    std::size_t end = maxBytes;
    // Back over continuation bytes to the lead byte of the code point that does not fit.
    while (end > 0 && (static_cast<unsigned char>(text[end]) & 0xc0) == 0x80)
        --end;
    text.resize(end);
}

bool isWebAddress(std::string_view text)
{
    std::size_t start;
    if (startsWithIgnoringCase(text, "http://"))
        start = 7;
    else if (startsWithIgnoringCase(text, "https://"))
        start = 8;
    else
        return false;
    if (text.size() == start)
        return false;
    // Spaces are allowed: the app sends its picture addresses in QUrl's plain form, which
    // writes "%20" as a space.
    for (char c : text) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte < 0x20 || byte == 0x7f)
            return false;
    }
    return isXmlSafeUtf8(text);
}

} // namespace Pinrova::Server
