#pragma once

#include <map>
#include <string>
#include <string_view>
#include <vector>

namespace Pinrova::Server::Identity {

// The hosts each network serves its pictures from. An entry is "HOST" (https only) or
// "http://HOST" / "https://HOST"; it admits that host and every host under it ("fbcdn.net"
// admits "scontent.xx.fbcdn.net"), on any port.
class PictureHosts
{
public:
    // The networks' own picture hosts.
    static PictureHosts defaults();

    // Replaces the list of one network ("facebook" or "vkontakte") from "NETWORK=ENTRY[,…]";
    // false when it does not have that form.
    bool set(std::string_view option);

    // True when url's scheme and host are on network's list.
    bool admits(std::string_view network, std::string_view url) const;

    // The option's spelling of network's list, for --help.
    std::string describe(std::string_view network) const;

private:
    struct Entry
    {
        std::string scheme;
        std::string host;
    };
    std::map<std::string, std::vector<Entry>, std::less<>> lists;
};

} // namespace Pinrova::Server::Identity
