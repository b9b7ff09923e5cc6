#include "store/uuid.h"

#include "base/textcoding.h"

#include <cstring>
#include <random>

namespace Pinrova::Server {

namespace {

constexpr std::size_t BracedLength = 38;

bool isDashPosition(std::size_t i)
{
    return i == 9 || i == 14 || i == 19 || i == 24;
}

std::uint64_t rotl(std::uint64_t x, int b)
{
    return (x << b) | (x >> (64 - b));
}

struct SipState
{
    std::uint64_t v0, v1, v2, v3;

    void round()
    {
        v0 += v1;
        v1 = rotl(v1, 13) ^ v0;
        v0 = rotl(v0, 32);
        v2 += v3;
        v3 = rotl(v3, 16) ^ v2;
        v0 += v3;
        v3 = rotl(v3, 21) ^ v0;
        v2 += v1;
        v1 = rotl(v1, 17) ^ v2;
        v2 = rotl(v2, 32);
    }

    void absorb(std::uint64_t m)
    {
        v3 ^= m;
        round();
        v0 ^= m;
    }
};

// Drawn once, on first use, from the system's random source.
const std::array<std::uint64_t, 2> &processKey()
{
    static const std::array<std::uint64_t, 2> key = [] {
        std::random_device device;
        std::array<std::uint64_t, 2> drawn {};
        for (auto &word : drawn)
            word = (std::uint64_t(device()) << 32) ^ device();
        return drawn;
    }();
    return key;
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

UuidHash::UuidHash()
    : k0(processKey()[0])
    , k1(processKey()[1])
{ }

std::size_t UuidHash::operator()(const Uuid &uuid) const
{
    std::uint64_t a;
    std::uint64_t b;
    std::memcpy(&a, uuid.bytes.data(), 8);
    std::memcpy(&b, uuid.bytes.data() + 8, 8);
    SipState s {k0 ^ 0x736f6d6570736575ULL, k1 ^ 0x646f72616e646f6dULL, k0 ^ 0x6c7967656e657261ULL,
        k1 ^ 0x7465646279746573ULL};
    s.absorb(a);
    s.absorb(b);
    s.absorb(std::uint64_t(16) << 56); // the length block of a 16-byte message
    s.v2 ^= 0xff;
    s.round();
    s.round();
    s.round();
    return static_cast<std::size_t>(s.v0 ^ s.v1 ^ s.v2 ^ s.v3);
}

} // namespace Pinrova::Server
