#include "identity/sessionkey.h"
#include "base/textcoding.h"

#include "identity/base64url.h"

#include <openssl/rand.h>
#include <openssl/sha.h>

#include <cctype>

namespace Pinrova::Server::Identity {

namespace {

bool isBase64UrlCharacter(char c)
{
    return std::isalnum(static_cast<unsigned char>(c)) || c == '-' || c == '_';
}

} // namespace

std::string mintSessionKey()
{
    unsigned char bytes[SessionKeyBytes];
    if (RAND_bytes(bytes, sizeof bytes) != 1)
        return {};
    return toBase64Url(std::string_view(reinterpret_cast<const char *>(bytes), sizeof bytes));
}

Sha256 sha256(std::string_view bytes)
{
    Sha256 digest {};
    SHA256(reinterpret_cast<const unsigned char *>(bytes.data()), bytes.size(), digest.data());
    return digest;
}

std::optional<std::string_view> bearerKey(std::string_view authorization)
{
    constexpr std::string_view Scheme = "bearer ";
    if (!startsWithIgnoringCase(authorization, Scheme))
        return std::nullopt;
    const std::string_view key = authorization.substr(Scheme.size());
    if (key.size() != SessionKeyLength)
        return std::nullopt;
    for (const char c : key) {
        if (!isBase64UrlCharacter(c))
            return std::nullopt;
    }
    return key;
}

} // namespace Pinrova::Server::Identity
