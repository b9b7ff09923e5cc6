#include "queryparams.h"

namespace Pinrova::Server {

namespace {

// The app sends at most seven keys; a handful more leaves room for stray ones such as a
// picture address's own "type" parameter without letting a request allocate without bound.
constexpr std::size_t MaxPairs = 32;

int hexValue(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

} // namespace

bool percentDecode(std::string_view text, std::string &out)
{
    out.clear();
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] != '%') {
            out.push_back(text[i]);
            continue;
        }
        if (i + 2 >= text.size())
            return false;
        const int hi = hexValue(text[i + 1]);
        const int lo = hexValue(text[i + 2]);
        if (hi < 0 || lo < 0)
            return false;
        out.push_back(static_cast<char>(hi * 16 + lo));
        i += 2;
    }
    return true;
}

std::optional<QueryParams> QueryParams::parse(std::string_view query, std::string *error)
{
    QueryParams params;
    while (!query.empty()) {
        const auto amp = query.find('&');
        const std::string_view pair = query.substr(0, amp);
        query = amp == std::string_view::npos ? std::string_view() : query.substr(amp + 1);
        if (pair.empty())
            continue;
        if (params.pairs.size() == MaxPairs) {
            *error = "too many query parameters";
            return std::nullopt;
        }
        const auto eq = pair.find('=');
        std::string key;
        std::string value;
        if (!percentDecode(pair.substr(0, eq), key)
            || (eq != std::string_view::npos && !percentDecode(pair.substr(eq + 1), value))) {
            *error = "malformed percent-encoding in the query";
            return std::nullopt;
        }
        if (params.find(key)) {
            *error = "a query parameter is given twice";
            return std::nullopt;
        }
        params.pairs.emplace_back(std::move(key), std::move(value));
    }
    return params;
}

const std::string *QueryParams::find(std::string_view key) const
{
    for (const auto &[k, v] : pairs) {
        if (k == key)
            return &v;
    }
    return nullptr;
}

} // namespace Pinrova::Server
