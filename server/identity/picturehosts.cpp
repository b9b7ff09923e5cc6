#include "identity/picturehosts.h"

#include <cctype>

namespace Pinrova::Server::Identity {

namespace {

std::string lower(std::string_view text)
{
    std::string out(text);
    for (char &c : out)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return out;
}

bool isHostName(std::string_view host)
{
    if (host.empty() || host.front() == '.' || host.back() == '.')
        return false;
    for (const char c : host) {
        if (!std::isalnum(static_cast<unsigned char>(c)) && c != '-' && c != '.')
            return false;
    }
    return true;
}

} // namespace

PictureHosts PictureHosts::defaults()
{
    PictureHosts hosts;
    // The app's Facebook pictures are Graph API addresses that redirect to the CDN.
    hosts.set("facebook=graph.facebook.com,fbcdn.net,fbsbx.com");
    hosts.set("vkontakte=userapi.com,vk.com,vk.me,vkuserphoto.ru");
    return hosts;
}

bool PictureHosts::set(std::string_view option)
{
    const auto eq = option.find('=');
    if (eq == std::string_view::npos)
        return false;
    const std::string network = lower(option.substr(0, eq));
    if (network != "facebook" && network != "vkontakte")
        return false;
    std::vector<Entry> entries;
    std::string_view rest = option.substr(eq + 1);
    while (!rest.empty()) {
        const auto comma = rest.find(',');
        std::string item = lower(rest.substr(0, comma));
        rest = comma == std::string_view::npos ? std::string_view() : rest.substr(comma + 1);
        Entry entry {"https", item};
        if (const auto at = item.find("://"); at != std::string::npos) {
            entry.scheme = item.substr(0, at);
            entry.host = item.substr(at + 3);
            if (entry.scheme != "http" && entry.scheme != "https")
                return false;
        }
        if (!isHostName(entry.host))
            return false;
        entries.push_back(std::move(entry));
    }
    lists[network] = std::move(entries);
    return true;
}

bool PictureHosts::admits(std::string_view network, std::string_view url) const
{
    const auto list = lists.find(network);
    if (list == lists.end())
        return false;
    const auto at = url.find("://");
    if (at == std::string_view::npos)
        return false;
    const std::string scheme = lower(url.substr(0, at));
    std::string_view authority = url.substr(at + 3);
    authority = authority.substr(0, authority.find_first_of("/?#"));
    // A user name before "@" would let "graph.facebook.com@evil.example" pass a naive check.
    if (authority.find('@') != std::string_view::npos)
        return false;
    const std::string host = lower(authority.substr(0,
        authority.rfind(':') == std::string_view::npos
                || authority.find(']') != std::string_view::npos
            ? authority.size()
            : authority.rfind(':')));
    for (const Entry &entry : list->second) {
        if (entry.scheme != scheme)
            continue;
        if (host == entry.host)
            return true;
        if (host.size() > entry.host.size()
            && host.compare(host.size() - entry.host.size(), entry.host.size(), entry.host) == 0
            && host[host.size() - entry.host.size() - 1] == '.')
            return true;
    }
    return false;
}

std::string PictureHosts::describe(std::string_view network) const
{
    std::string out(network);
    out += '=';
    const auto list = lists.find(network);
    if (list == lists.end())
        return out;
    bool first = true;
    for (const Entry &entry : list->second) {
        if (!first)
            out += ',';
        first = false;
        out += entry.scheme == "https" ? entry.host : entry.scheme + "://" + entry.host;
    }
    return out;
}

} // namespace Pinrova::Server::Identity
