#pragma once

#include <map>
#include <optional>
#include <string>
#include <string_view>

namespace Pinrova::Server::Identity {

// The scalar members of one JSON object, each as its text: a string unescaped, a number or
// true/false as written. Nested objects and arrays are left out.
using JsonFields = std::map<std::string, std::string, std::less<>>;

// The members of the document's top-level object (member empty) or of the object under that
// member of it. Nothing when the text is not JSON, is larger than 64 KiB or nests deeper than
// a handful of levels (both answers and sessions are flat; the bound keeps a hostile one from
// exhausting the parser's stack), or when there is no such object.
std::optional<JsonFields> readJsonFields(std::string_view json, std::string_view member = {});

} // namespace Pinrova::Server::Identity
