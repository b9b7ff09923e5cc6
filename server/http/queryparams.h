#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace Pinrova::Server {

// The decoded key/value pairs of one request's query string.
class QueryParams
{
public:
    // Splits on "&" and the first "=" of each pair, then percent-decodes key and value. "+" is
    // kept as "+": the app builds its URLs with QUrl, which does not use form encoding. Fails
    // (with a one-line reason) on a malformed escape, a repeated key or too many pairs.
    static std::optional<QueryParams> parse(std::string_view query, std::string *error);

    // The value of key, or nullptr when the key is absent.
    const std::string *find(std::string_view key) const;

private:
    std::vector<std::pair<std::string, std::string>> pairs;
};

} // namespace Pinrova::Server
