#include "plainxmlscanner.h"

#include <QString>
#include <QXmlStreamReader>

namespace Pinrova::Social {

namespace {

// No colon: the full reader refuses one at a name's start or end, doubled, or in an
// instruction's target, and the service's names have none.
bool isNameStart(char c)
{
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || c == '_';
}

bool isNameChar(char c)
{
    return isNameStart(c) || (c >= '0' && c <= '9') || c == '-' || c == '.';
}

bool isSpace(char c)
{
    return c == ' ' || c == '\t' || c == '\n';
}

// False for bytes the full reader rejects or rewrites: control characters (carriage returns
// among them, which it would normalise) and the non-characters U+FFFE and U+FFFF.
bool isPlainChar(std::string_view text, std::size_t at)
{
    const unsigned char c = static_cast<unsigned char>(text[at]);
    if (c < 0x20)
        return isSpace(char(c));
    if (c == 0xEF && text.substr(at + 1, 1) == "\xBF")
        return text.substr(at + 2, 1) != "\xBE" && text.substr(at + 2, 1) != "\xBF";
    return true;
}

bool isXmlChar(unsigned long code)
{
    return code == 0x9 || code == 0xA || (code >= 0x20 && code <= 0xD7FF)
        || (code >= 0xE000 && code <= 0xFFFD) || (code >= 0x10000 && code <= 0x10FFFF);
}

void appendUtf8(std::string &out, unsigned long code)
{
    if (code < 0x80) {
        out += char(code);
    } else if (code < 0x800) {
        out += char(0xC0 | (code >> 6));
        out += char(0x80 | (code & 0x3F));
    } else if (code < 0x10000) {
        out += char(0xE0 | (code >> 12));
        out += char(0x80 | ((code >> 6) & 0x3F));
        out += char(0x80 | (code & 0x3F));
    } else {
        out += char(0xF0 | (code >> 18));
        out += char(0x80 | ((code >> 12) & 0x3F));
        out += char(0x80 | ((code >> 6) & 0x3F));
        out += char(0x80 | (code & 0x3F));
    }
}

// The text of an entity reference ("amp", "#38", "#x26"); false for anything else.
bool resolveEntity(std::string_view entity, std::string &out)
{
    out.clear();
    if (entity == "amp")
        out = "&";
    else if (entity == "lt")
        out = "<";
    else if (entity == "gt")
        out = ">";
    else if (entity == "quot")
        out = "\"";
    else if (entity == "apos")
        out = "'";
    if (!out.empty())
        return true;
    if (entity.size() < 2 || entity[0] != '#')
        return false;
    const bool hex = entity[1] == 'x';
    const std::string_view digits = entity.substr(hex ? 2 : 1);
    if (digits.empty() || digits.size() > 8)
        return false;
    unsigned long code = 0;
    for (char c : digits) {
        int value;
        if (c >= '0' && c <= '9')
            value = c - '0';
        else if (hex && c >= 'a' && c <= 'f')
            value = c - 'a' + 10;
        else if (hex && c >= 'A' && c <= 'F')
            value = c - 'A' + 10;
        else
            return false;
        code = code * (hex ? 16 : 10) + static_cast<unsigned long>(value);
    }
    // A referenced carriage return (kept, unlike a literal one) is left to the full reader.
    if (code == 0xD || !isXmlChar(code))
        return false;
    appendUtf8(out, code);
    return true;
}

} // namespace

PlainXmlScanner::PlainXmlScanner(std::string_view utf8)
    : document(utf8)
{
    if (document.substr(0, 3) == "\xEF\xBB\xBF")
        pos = contentStart = 3;
}

PlainXmlScanner::Token PlainXmlScanner::next()
{
    if (pendingEnd) {
        pendingEnd = false;
        currentName = open.back();
        open.pop_back();
        rootDone = open.empty();
        return EndElement;
    }
    for (;;) {
        if (pos >= document.size())
            return rootDone ? EndOfDocument : Unsupported;
        // An empty Text is markup or white space that gave nothing: read on.
        const Token token = document[pos] == '<' ? markup() : textRun();
        if (token != Text || !currentText.empty())
            return token;
    }
}

// Reads the markup at pos; a comment or processing instruction gives an empty Text.
PlainXmlScanner::Token PlainXmlScanner::markup()
{
    const std::string_view rest = document.substr(pos);
    if (rest.substr(0, 4) == "<!--") {
        const std::size_t end = document.find("--", pos + 4);
        if (end == std::string_view::npos || document.substr(end, 3) != "-->")
            return Unsupported;
        // The full reader refuses a control character or a non-character in a comment too.
        for (std::size_t at = pos + 4; at < end; ++at) {
            if (!isPlainChar(document, at))
                return Unsupported;
        }
        pos = end + 3;
        currentText = {};
        return Text;
    }
    if (rest.substr(0, 9) == "<![CDATA[") {
        const std::size_t end = document.find("]]>", pos + 9);
        if (open.empty() || end == std::string_view::npos)
            return Unsupported;
        currentText = document.substr(pos + 9, end - pos - 9);
        for (std::size_t at = 0; at < currentText.size(); ++at) {
            if (!isPlainChar(currentText, at))
                return Unsupported;
        }
        pos = end + 3;
        return Text;
    }
    if (rest.substr(0, 2) == "<!")
        return Unsupported;
    if (rest.substr(0, 2) == "<?") {
        if (!skipProcessingInstruction())
            return Unsupported;
        currentText = {};
        return Text;
    }
    if (rest.substr(0, 2) == "</") {
        pos += 2;
        std::string_view name;
        if (!readName(name))
            return Unsupported;
        while (pos < document.size() && isSpace(document[pos]))
            ++pos;
        if (pos >= document.size() || document[pos] != '>' || open.empty() || open.back() != name)
            return Unsupported;
        ++pos;
        open.pop_back();
        rootDone = open.empty();
        currentName = name;
        return EndElement;
    }

    if (rootDone)
        return Unsupported;
    ++pos;
    std::string_view name;
    if (!readName(name))
        return Unsupported;
    while (pos < document.size() && isSpace(document[pos]))
        ++pos;
    if (document.substr(pos, 2) == "/>") {
        pos += 2;
        pendingEnd = true;
    } else if (pos < document.size() && document[pos] == '>') {
        ++pos;
    } else {
        return Unsupported; // attributes among them
    }
    open.push_back(name);
    currentName = name;
    return StartElement;
}

bool PlainXmlScanner::readName(std::string_view &name)
{
    const std::size_t start = pos;
    if (pos >= document.size() || !isNameStart(document[pos]))
        return false;
    while (pos < document.size() && isNameChar(document[pos]))
        ++pos;
    name = document.substr(start, pos - start);
    return true;
}

bool PlainXmlScanner::skipProcessingInstruction()
{
    const std::size_t end = document.find("?>", pos + 2);
    if (end == std::string_view::npos)
        return false;
    const std::string_view body = document.substr(pos + 2, end - pos - 2);
    const std::size_t targetLength = body.find_first_of(" \t\n");
    const std::string_view target = body.substr(0, targetLength);
    const bool isDeclaration = target.size() == 3 && (target[0] | 0x20) == 'x'
        && (target[1] | 0x20) == 'm' && (target[2] | 0x20) == 'l';
    if (isDeclaration) {
        // Only first in the document, and then as the full reader would take it.
        if (pos != contentStart)
            return false;
        const std::string_view declaration = document.substr(pos, end + 2 - pos);
        QXmlStreamReader check(
            QString::fromUtf8(declaration.data(), int(declaration.size())) + "<a/>");
        while (!check.atEnd())
            check.readNext();
        if (check.hasError())
            return false;
    } else {
        std::size_t at = 0;
        if (target.empty() || !isNameStart(target[0]))
            return false;
        while (at < target.size() && isNameChar(target[at]))
            ++at;
        if (at != target.size())
            return false;
        // The full reader refuses a control character anywhere in the instruction.
        for (std::size_t i = 0; i < body.size(); ++i) {
            if (!isPlainChar(body, i))
                return false;
        }
    }
    pos = end + 2;
    return true;
}

PlainXmlScanner::Token PlainXmlScanner::textRun()
{
    if (document[pos] == '&') {
        const std::size_t end = document.find(';', pos + 1);
        if (open.empty() || end == std::string_view::npos || end - pos > 12
            || !resolveEntity(document.substr(pos + 1, end - pos - 1), entityText))
            return Unsupported;
        pos = end + 1;
        currentText = entityText;
        return Text;
    }
    const std::size_t start = pos;
    while (pos < document.size()) {
        const unsigned char c = static_cast<unsigned char>(document[pos]);
        if (c == '<' || c == '&')
            break;
        if (!isPlainChar(document, pos) || (c == ']' && document.substr(pos, 3) == "]]>"))
            return Unsupported;
        if (open.empty() && !isSpace(char(c)))
            return Unsupported;
        ++pos;
    }
    currentText = open.empty() ? std::string_view() : document.substr(start, pos - start);
    return Text;
}

} // namespace Pinrova::Social
