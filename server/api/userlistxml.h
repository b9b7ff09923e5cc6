#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

namespace Pinrova::Server {

struct PersonRecord;

// Writes the GetUsers answer: <ArrayOfUser> with one <User> per person (then any <Crowd>), the
// element names the app reads, no namespaces, every text escaped. A person's profile part does not
// change between answers, so it is built once at registration and copied into each answer.
class UserListXml
{
public:
    explicit UserListXml(std::string &out);

    // Sex, name, pictures and the one network identity of the person, already escaped.
    static std::string profileFragment(const PersonRecord &profile);
    // The stores' ProfileRenderer: the fragment, or nothing for a person no Register could
    // have carried.
    static std::optional<std::string> renderProfile(const PersonRecord &person);

    void begin();
    void addUser(double lat, double lon, bool online, std::string_view profileFragment);
    // After the users: one crowd cell, <Crowd><Lat/><Lon/><Count/></Crowd>. The app's
    // designed reader takes only User children, so it skips these.
    void addCrowd(double lat, double lon, std::size_t count);
    void end();

    static void appendEscaped(std::string &out, std::string_view text);

private:
    std::string &out;
};

} // namespace Pinrova::Server
