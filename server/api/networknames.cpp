#include "api/networknames.h"
#include "base/textcoding.h"

#include <cctype>

namespace Pinrova::Server {

namespace {

// "ondoklassniki" is the app's own spelling; keep it, since the app matches it literally.
constexpr std::string_view WireNames[NetworkCount]
    = {"facebook", "vkontakte", "twitter", "mailRu", "ondoklassniki"};

} // namespace

std::optional<int> networkFromWireName(std::string_view name)
{
    for (int i = 0; i < NetworkCount; ++i) {
        if (equalsIgnoringCase(name, WireNames[i]))
            return i;
    }
    return std::nullopt;
}

std::string_view networkWireName(int network)
{
    return WireNames[network];
}

} // namespace Pinrova::Server
