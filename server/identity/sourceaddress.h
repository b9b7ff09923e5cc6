#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace Pinrova::Server::Identity {

// The address a request came from: the peer's, or, when the peer is one of the trusted
// proxies, the right-most address of X-Forwarded-For that is not itself a trusted proxy (what
// HAProxy appended). A header from anyone else, or one that does not parse, is ignored.
class SourceAddress
{
public:
    // Nothing when an entry is not an IPv4 or IPv6 address.
    static bool parseList(std::string_view commaSeparated, std::vector<std::string> *addresses);

    explicit SourceAddress(std::vector<std::string> trustedProxies = {});

    std::string of(std::string_view peer, std::string_view forwardedFor) const;

private:
    bool trusted(std::string_view address) const;

    std::vector<std::string> proxies; // in the form the peer address is given in
};

} // namespace Pinrova::Server::Identity
