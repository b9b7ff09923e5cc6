#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace Pinrova::Social {

// A fast reader for the plain XML the position service writes: elements without attributes,
// text, the five predefined entities and character references, CDATA, comments and processing
// instructions. Anything else (attributes, a DOCTYPE, carriage returns, non-ASCII names) and
// anything not well-formed reads as Unsupported, and the caller hands the document to a full
// XML reader, which decides. So a document this scanner accepts reads the same as there.
class PlainXmlScanner
{
public:
    enum Token { StartElement, EndElement, Text, EndOfDocument, Unsupported };

    explicit PlainXmlScanner(std::string_view utf8);

    Token next();
    // The element's name for StartElement and EndElement.
    std::string_view name() const { return currentName; }
    // A piece of an element's text, entities resolved, for Text.
    std::string_view text() const { return currentText; }

private:
    Token markup();
    Token textRun();
    bool readName(std::string_view &name);
    bool skipProcessingInstruction();

    std::string_view document;
    std::size_t pos = 0;
    std::size_t contentStart = 0; // after a byte-order mark
    std::vector<std::string_view> open;
    bool rootDone = false;
    bool pendingEnd = false; // a self-closing element still owes its end
    std::string_view currentName;
    std::string_view currentText;
    std::string entityText;
};

} // namespace Pinrova::Social
