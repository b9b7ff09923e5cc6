#include "identity/sourceaddress.h"

#include <boost/asio/ip/address.hpp>

#include <algorithm>

namespace Pinrova::Server::Identity {

namespace {

std::string_view trimmed(std::string_view text)
{
    while (!text.empty() && (text.front() == ' ' || text.front() == '\t'))
        text.remove_prefix(1);
    while (!text.empty() && (text.back() == ' ' || text.back() == '\t'))
        text.remove_suffix(1);
    return text;
}

// The address in its canonical text, so "::ffff:10.0.0.1" style spellings compare alike;
// empty when it is none.
std::string canonical(std::string_view text)
{
    boost::system::error_code ec;
    auto address = boost::asio::ip::make_address(std::string(trimmed(text)), ec);
    if (ec)
        return {};
    if (address.is_v6() && address.to_v6().is_v4_mapped())
        address = boost::asio::ip::make_address_v4(boost::asio::ip::v4_mapped, address.to_v6());
    return address.to_string();
}

} // namespace

bool SourceAddress::parseList(std::string_view commaSeparated, std::vector<std::string> *addresses)
{
    std::vector<std::string> parsed;
    std::size_t start = 0;
    for (;;) {
        const auto comma = commaSeparated.find(',', start);
        const std::string address = canonical(commaSeparated.substr(start, comma - start));
        if (address.empty())
            return false;
        parsed.push_back(address);
        if (comma == std::string_view::npos)
            break;
        start = comma + 1;
    }
    addresses->insert(addresses->end(), parsed.begin(), parsed.end());
    return true;
}

SourceAddress::SourceAddress(std::vector<std::string> trustedProxies)
    : proxies(std::move(trustedProxies))
{ }

bool SourceAddress::trusted(std::string_view address) const
{
    return std::find(proxies.begin(), proxies.end(), address) != proxies.end();
}

std::string SourceAddress::of(std::string_view peer, std::string_view forwardedFor) const
{
    if (proxies.empty() || forwardedFor.empty())
        return std::string(peer);
    const std::string from = canonical(peer);
    if (!trusted(from))
        return std::string(peer);
    // Right to left: each hop appends the address it saw; only our own proxies are believed.
    std::string_view rest = forwardedFor;
    for (int hops = 0; !rest.empty() && hops < 32; ++hops) {
        const auto comma = rest.rfind(',');
        const std::string_view last
            = comma == std::string_view::npos ? rest : rest.substr(comma + 1);
        const std::string address = canonical(last);
        if (address.empty())
            return from;
        if (!trusted(address))
            return address;
        if (comma == std::string_view::npos)
            break;
        rest = rest.substr(0, comma);
    }
    return from;
}

} // namespace Pinrova::Server::Identity
