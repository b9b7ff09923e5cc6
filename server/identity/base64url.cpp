#include "identity/base64url.h"

#include <array>

namespace Pinrova::Server::Identity {

namespace {

constexpr char Alphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789-_";

int valueOf(char c)
{
    if (c >= 'A' && c <= 'Z')
        return c - 'A';
    if (c >= 'a' && c <= 'z')
        return c - 'a' + 26;
    if (c >= '0' && c <= '9')
        return c - '0' + 52;
    if (c == '-')
        return 62;
    if (c == '_')
        return 63;
    return -1;
}

} // namespace

std::string toBase64Url(std::string_view bytes)
{
    std::string out;
    out.reserve((bytes.size() * 4 + 2) / 3);
    std::size_t i = 0;
    for (; i + 2 < bytes.size(); i += 3) {
        const unsigned n = static_cast<unsigned char>(bytes[i]) << 16
            | static_cast<unsigned char>(bytes[i + 1]) << 8
            | static_cast<unsigned char>(bytes[i + 2]);
        out += Alphabet[n >> 18 & 63];
        out += Alphabet[n >> 12 & 63];
        out += Alphabet[n >> 6 & 63];
        out += Alphabet[n & 63];
    }
    const std::size_t left = bytes.size() - i;
    if (left > 0) {
        unsigned n = static_cast<unsigned char>(bytes[i]) << 16;
        if (left == 2)
            n |= static_cast<unsigned char>(bytes[i + 1]) << 8;
        out += Alphabet[n >> 18 & 63];
        out += Alphabet[n >> 12 & 63];
        if (left == 2)
            out += Alphabet[n >> 6 & 63];
    }
    return out;
}

std::optional<std::string> fromBase64Url(std::string_view text)
{
    if (text.size() % 4 == 1)
        return std::nullopt;
    std::string out;
    out.reserve(text.size() * 3 / 4);
    unsigned bits = 0;
    int count = 0;
    for (const char c : text) {
        const int value = valueOf(c);
        if (value < 0)
            return std::nullopt;
        bits = bits << 6 | static_cast<unsigned>(value);
        count += 6;
        if (count >= 8) {
            count -= 8;
            out += static_cast<char>(bits >> count & 0xff);
        }
    }
    return out;
}

} // namespace Pinrova::Server::Identity
