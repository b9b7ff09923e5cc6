#pragma once

#include <string_view>

namespace Pinrova::Server {

// True for valid UTF-8 that an XML 1.0 document can carry: no control characters (they have
// no escape in XML 1.0, so one such name would make the app reject the whole user list), no
// surrogates, no overlong forms, no U+FFFE or U+FFFF.
bool isXmlSafeUtf8(std::string_view text);

// An absolute http or https address without control characters.
bool isWebAddress(std::string_view text);

} // namespace Pinrova::Server
