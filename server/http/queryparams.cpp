#include "http/queryparams.h"

#include "base/limits.h"
#include "base/textcoding.h"

namespace Pinrova::Server {

std::optional<QueryParams> QueryParams::parse(std::string_view query, std::string *error)
{
    QueryParams params;
    while (!query.empty()) {
        const auto amp = query.find('&');
        const std::string_view pair = query.substr(0, amp);
        query = amp == std::string_view::npos ? std::string_view() : query.substr(amp + 1);
        if (pair.empty())
            continue;
        if (params.pairs.size() == Limits::MaxQueryPairs) {
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
