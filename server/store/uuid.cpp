#include "store/uuid.h"

#include "base/textcoding.h"

#include <cstring>

namespace Pinrova::Server {

namespace {

constexpr std::size_t BracedLength = 38;

bool isDashPosition(std::size_t i)
{
    return i == 9 || i == 14 || i == 19 || i == 24;
}

} // namespace

std::optional<Uuid> Uuid::fromBraced(std::string_view text)
{
    if (text.size() != BracedLength || text.front() != '{' || text.back() != '}')
        return std::nullopt;
    Uuid uuid;
    std::size_t byte = 0;
    for (std::size_t i = 1; i + 1 < BracedLength;) {
        if (isDashPosition(i)) {
            if (text[i] != '-')
                return std::nullopt;
            ++i;
            continue;
        }
        const int hi = hexDigitValue(text[i]);
        const int lo = hexDigitValue(text[i + 1]);
        if (hi < 0 || lo < 0 || isDashPosition(i + 1))
            return std::nullopt;
        uuid.bytes[byte++] = static_cast<std::uint8_t>(hi * 16 + lo);
        i += 2;
    }
    return uuid;
}

std::string Uuid::toBraced() const
{
    const char *digits = LowerHexDigits;
    std::string text;
    text.reserve(BracedLength);
    text.push_back('{');
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        if (i == 4 || i == 6 || i == 8 || i == 10)
            text.push_back('-');
        text.push_back(digits[bytes[i] >> 4]);
        text.push_back(digits[bytes[i] & 0xf]);
    }
    text.push_back('}');
    return text;
}

std::string Uuid::toHex() const
{
    std::string text;
    text.reserve(2 * bytes.size());
    for (const auto byte : bytes) {
        text.push_back(LowerHexDigits[byte >> 4]);
        text.push_back(LowerHexDigits[byte & 0xf]);
    }
    return text;
}

bool Uuid::isNull() const
{
    for (auto b : bytes) {
        if (b != 0)
            return false;
    }
    return true;
}

std::size_t UuidHash::operator()(const Uuid &uuid) const
{
    // Installation ids are random, so any eight of their bytes are already a good hash.
    std::uint64_t a;
    std::uint64_t b;
    std::memcpy(&a, uuid.bytes.data(), 8);
    std::memcpy(&b, uuid.bytes.data() + 8, 8);
    return static_cast<std::size_t>(a ^ (b * 0x9e3779b97f4a7c15ULL));
}

} // namespace Pinrova::Server
