#pragma once

#include <string>
#include <string_view>

namespace Pinrova::Server {

// True for valid UTF-8 that an XML 1.0 document can carry: no control characters (they have
// no escape in XML 1.0, so one such name would make the app reject the whole user list), no
// surrogates, no overlong forms, no U+FFFE or U+FFFF.
bool isXmlSafeUtf8(std::string_view text);

// Control characters (U+0000…U+001F, U+007F) become spaces: in a display name they are
// mostly line breaks and tabs between words, and a space keeps both the reading and the byte
// length. Valid UTF-8 never has these bytes inside a longer sequence.
void replaceControlCharacters(std::string &text);

// Shortens valid UTF-8 to at most maxBytes without splitting a code point.
void cutAtCodePoint(std::string &text, std::size_t maxBytes);

// An absolute http or https address without control characters. Spaces are allowed: the app
// sends addresses in QUrl's plain form, and stored files hold such addresses.
bool isWebAddress(std::string_view text);

} // namespace Pinrova::Server
