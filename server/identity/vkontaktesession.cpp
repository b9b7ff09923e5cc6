#include "identity/vkontaktesession.h"

#include "identity/base64url.h"
#include "identity/jsonfields.h"

#include <openssl/crypto.h>
#include <openssl/evp.h>

#include <charconv>

namespace Pinrova::Server::Identity {

namespace {

std::string md5Hex(std::string_view bytes)
{
    unsigned char digest[EVP_MAX_MD_SIZE];
    unsigned int size = 0;
    if (EVP_Digest(bytes.data(), bytes.size(), digest, &size, EVP_md5(), nullptr) != 1)
        return {};
    static constexpr char Hex[] = "0123456789abcdef";
    std::string out;
    for (unsigned int i = 0; i < size; ++i) {
        out += Hex[digest[i] >> 4];
        out += Hex[digest[i] & 15];
    }
    return out;
}

} // namespace

Verdict checkVkontakteSession(std::string_view encodedSession, std::string_view claimedId,
    std::string_view appSecret, std::int64_t nowSeconds)
{
    const auto json = fromBase64Url(encodedSession);
    if (!json)
        return Verdict::refuse("the VKontakte session is not base64url");
    const auto session = readJsonFields(*json);
    if (!session)
        return Verdict::refuse("the VKontakte session is not a JSON object");
    const auto field = [&](const char *name) -> const std::string * {
        const auto it = session->find(name);
        return it == session->end() ? nullptr : &it->second;
    };
    const std::string *expire = field("expire");
    const std::string *mid = field("mid");
    const std::string *secret = field("secret");
    const std::string *sid = field("sid");
    const std::string *sig = field("sig");
    if (!expire || !mid || !secret || !sid || !sig)
        return Verdict::refuse("the VKontakte session lacks expire, mid, secret, sid or sig");

    const std::string expected = md5Hex("expire=" + *expire + "mid=" + *mid + "secret=" + *secret
        + "sid=" + *sid + std::string(appSecret));
    // Compared in constant time, so the answer's timing tells nothing of the right signature.
    if (expected.empty() || sig->size() != expected.size()
        || CRYPTO_memcmp(sig->data(), expected.data(), expected.size()) != 0)
        return Verdict::refuse("the VKontakte session's signature is wrong");

    std::int64_t expiresAt = 0;
    const char *end = expire->data() + expire->size();
    const auto [ptr, ec] = std::from_chars(expire->data(), end, expiresAt);
    if (expire->empty() || ec != std::errc() || ptr != end || expiresAt < 0)
        return Verdict::refuse("the VKontakte session's expire is not a time");
    if (expiresAt != 0 && expiresAt <= nowSeconds)
        return Verdict::refuse("the VKontakte session has expired");
    if (*mid != claimedId)
        return Verdict::refuse("the VKontakte session is not the id's");
    return Verdict::accept();
}

} // namespace Pinrova::Server::Identity
