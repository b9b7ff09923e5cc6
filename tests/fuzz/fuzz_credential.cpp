// What a Register's Authorization header and its picture addresses reach, and what the Graph
// API answers: the credential parsers of the position service.
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "identity/base64url.h"
#include "identity/facebookverifier.h"
#include "identity/picturehosts.h"
#include "identity/sessionkey.h"
#include "identity/sourceaddress.h"
#include "identity/vkontaktesession.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    using namespace Pinrova::Server::Identity;
    const std::string_view bytes(reinterpret_cast<const char *>(data), size);
    (void)bearerKey(bytes);
    (void)fromBase64Url(bytes);
    // The bytes as the session's JSON, and as the base64url text a client sends.
    (void)checkVkontakteSession(toBase64Url(bytes), "77", "secret", 1700000000);
    (void)checkVkontakteSession(bytes, "77", "secret", 1700000000);
    (void)debugTokenVerdict(bytes, "1234", "42", 1700000000);
    static const PictureHosts hosts = PictureHosts::defaults();
    (void)hosts.admits("facebook", bytes);
    PictureHosts option;
    (void)option.set(bytes);
    static const SourceAddress source({"127.0.0.1", "::1"});
    (void)source.of("127.0.0.1", bytes);
    return 0;
}
