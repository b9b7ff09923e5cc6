#include "api/userlistxml.h"

#include "api/networknames.h"
#include "api/wirerequests.h"

#include <charconv>

namespace Pinrova::Server {

namespace {

void appendElement(std::string &out, std::string_view name, std::string_view text)
{
    out += '<';
    out += name;
    out += '>';
    UserListXml::appendEscaped(out, text);
    out += "</";
    out += name;
    out += '>';
}

// Shortest text that reads back as the same double, "." as decimal point whatever the locale.
void appendNumber(std::string &out, double value)
{
    char buffer[32];
    const auto result = std::to_chars(buffer, buffer + sizeof buffer, value);
    out.append(buffer, result.ptr);
}

std::string_view sexName(int sex)
{
    switch (sex) {
    case 1:
        return "Male";
    case 2:
        return "Female";
    default:
        return "Unknown";
    }
}

} // namespace

UserListXml::UserListXml(std::string &out)
    : out(out)
{ }

std::optional<std::string> UserListXml::renderProfile(const PersonRecord &person)
{
    if (!isAcceptablePerson(person))
        return std::nullopt;
    return profileFragment(person);
}

std::string UserListXml::profileFragment(const PersonRecord &profile)
{
    std::string fragment;
    fragment.reserve(160 + profile.name.size() + profile.smallPicture.size()
        + profile.mediumPicture.size() + profile.id.size());
    appendElement(fragment, "Name", profile.name);
    appendElement(fragment, "Sex", sexName(profile.sex));
    appendElement(fragment, "SmallPicture", profile.smallPicture);
    appendElement(fragment, "MediumPicture", profile.mediumPicture);
    fragment += "<UserIds><UserId>";
    appendElement(fragment, "Id", profile.id);
    appendElement(fragment, "NetworkType", networkWireName(profile.network));
    fragment += "</UserId></UserIds>";
    return fragment;
}

void UserListXml::begin()
{
    out += "<?xml version=\"1.0\" encoding=\"utf-8\"?>\n<ArrayOfUser>";
}

void UserListXml::addUser(double lat, double lon, bool online, std::string_view profileFragment)
{
    out += "<User><Lat>";
    appendNumber(out, lat);
    out += "</Lat><Lon>";
    appendNumber(out, lon);
    out += "</Lon><Online>";
    out += online ? "true" : "false";
    out += "</Online>";
    out += profileFragment;
    out += "</User>";
}

void UserListXml::addCrowd(double lat, double lon, std::size_t count)
{
    out += "<Crowd><Lat>";
    appendNumber(out, lat);
    out += "</Lat><Lon>";
    appendNumber(out, lon);
    out += "</Lon><Count>";
    char buffer[24];
    const auto result = std::to_chars(buffer, buffer + sizeof buffer, count);
    out.append(buffer, result.ptr);
    out += "</Count></Crowd>";
}

void UserListXml::end()
{
    out += "</ArrayOfUser>\n";
}

void UserListXml::appendEscaped(std::string &out, std::string_view text)
{
    for (char c : text) {
        switch (c) {
        case '&':
            out += "&amp;";
            break;
        case '<':
            out += "&lt;";
            break;
        case '>':
            out += "&gt;";
            break;
        case '"':
            out += "&quot;";
            break;
        case '\'':
            out += "&apos;";
            break;
        default:
            out += c;
        }
    }
}

} // namespace Pinrova::Server
