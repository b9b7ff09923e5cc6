#include "api/wirerequests.h"

#include "api/networknames.h"
#include "api/textrules.h"
#include "http/queryparams.h"

#include <charconv>
#include <cmath>

namespace Pinrova::Server {

namespace {

// Collects the first failure; later checks are skipped once one has failed.
class Checker
{
public:
    explicit Checker(const QueryParams &query)
        : query(query)
    { }

    const std::string *required(const char *key)
    {
        if (failed())
            return nullptr;
        const std::string *value = query.find(key);
        if (!value)
            fail(std::string("missing ") + key);
        return value;
    }

    void fail(std::string reason)
    {
        if (!failed())
            error = std::move(reason);
    }

    bool failed() const { return !error.empty(); }

    Uuid uid()
    {
        const std::string *text = required("uid");
        if (!text)
            return {};
        const auto parsed = Uuid::fromBraced(*text);
        if (!parsed)
            fail("uid is not a braced UUID");
        else if (parsed->isNull())
            // The app sends the null id only when it has none; every such installation would
            // share one registration.
            fail("uid is the null UUID");
        return parsed.value_or(Uuid());
    }

    double coordinate(const char *key, double limit)
    {
        const std::string *text = required(key);
        if (!text)
            return 0;
        double value = 0;
        const char *end = text->data() + text->size();
        const auto [ptr, ec] = std::from_chars(text->data(), end, value);
        if (text->empty() || ec != std::errc() || ptr != end || !std::isfinite(value)) {
            fail(std::string(key) + " is not a number");
            return 0;
        }
        if (value < -limit || value > limit)
            fail(std::string(key) + " is out of range");
        return value;
    }

    int integer(const char *key, int low, int high)
    {
        const std::string *text = required(key);
        return text ? integerIn(*text, key, low, high) : 0;
    }

    // An absent key gives fallback; a present one follows the rules of integer().
    int optionalInteger(const char *key, int low, int high, int fallback)
    {
        if (failed())
            return fallback;
        const std::string *text = query.find(key);
        return text ? integerIn(*text, key, low, high) : fallback;
    }

    int integerIn(const std::string &text, const char *key, int low, int high)
    {
        int value = 0;
        const char *end = text.data() + text.size();
        const auto [ptr, ec] = std::from_chars(text.data(), end, value);
        if (text.empty() || ec != std::errc() || ptr != end) {
            fail(std::string(key) + " is not an integer");
            return 0;
        }
        if (value < low || value > high)
            fail(std::string(key) + " is out of range");
        return value;
    }

    std::string text(const char *key, std::size_t maxBytes, bool mayBeEmpty)
    {
        const std::string *value = required(key);
        if (!value)
            return {};
        if (!mayBeEmpty && value->empty())
            fail(std::string(key) + " is empty");
        else if (value->size() > maxBytes)
            fail(std::string(key) + " is longer than " + std::to_string(maxBytes) + " bytes");
        else if (!isXmlSafeUtf8(*value))
            fail(std::string(key) + " is not valid UTF-8 text");
        return *value;
    }

    // A display name as a profile can hold it: control characters become spaces and a name
    // over maxBytes is cut, since refusing the Register would leave the person unlisted for
    // good. Text that is not UTF-8 is still refused: no profile page gives that.
    std::string displayName(const char *key, std::size_t maxBytes)
    {
        const std::string *given = required(key);
        if (!given)
            return {};
        std::string value = *given;
        replaceControlCharacters(value);
        if (!isXmlSafeUtf8(value)) {
            fail(std::string(key) + " is not valid UTF-8 text");
            return {};
        }
        cutAtCodePoint(value, maxBytes);
        return value;
    }

    std::string picture(const char *key)
    {
        std::string value = text(key, Limits::MaxPictureBytes, true);
        if (!failed() && !value.empty() && !isWebAddress(value))
            fail(std::string(key) + " is not an http or https address");
        return value;
    }

    std::string error;

private:
    const QueryParams &query;
};

template<typename T> Parsed<T> finish(Checker &check, T request)
{
    if (check.failed())
        return {std::nullopt, check.error};
    return {std::move(request), {}};
}

} // namespace

Parsed<RegisterRequest> parseRegister(const QueryParams &query)
{
    Checker check(query);
    RegisterRequest request;
    request.uid = check.uid();
    if (const std::string *network = check.required("network")) {
        if (const auto value = networkFromWireName(*network))
            request.network = *value;
        else
            check.fail("network is not a known network name");
    }
    request.id = check.text("id", Limits::MaxIdBytes, false);
    request.name = check.displayName("name", Limits::MaxNameBytes);
    request.smallPicture = check.picture("smallPic");
    request.mediumPicture = check.picture("mediumPic");
    request.sex = check.integer("sex", 0, 2);
    return finish(check, std::move(request));
}

Parsed<SetPosRequest> parseSetPos(const QueryParams &query)
{
    Checker check(query);
    SetPosRequest request;
    request.uid = check.uid();
    request.lat = check.coordinate("lat", 90);
    request.lon = check.coordinate("lon", 180);
    return finish(check, request);
}

Parsed<GetUsersRequest> parseGetUsers(const QueryParams &query)
{
    Checker check(query);
    GetUsersRequest request;
    request.lat = check.coordinate("lat", 90);
    request.lon = check.coordinate("lon", 180);
    request.zoom = check.integer("zoomlevel", 0, Limits::MaxZoom);
    request.width
        = check.optionalInteger("width", 1, Limits::MaxViewPixels, Limits::DefaultViewWidth);
    request.height
        = check.optionalInteger("height", 1, Limits::MaxViewPixels, Limits::DefaultViewHeight);
    request.crowds = check.optionalInteger("crowds", 0, 1, 0) == 1;
    return finish(check, request);
}

bool isAcceptablePerson(const PersonRecord &person)
{
    return person.network >= 0 && person.network < NetworkCount && person.sex >= 0
        && person.sex <= 2 && !person.id.empty() && person.id.size() <= Limits::MaxIdBytes
        && person.name.size() <= Limits::MaxNameBytes && isXmlSafeUtf8(person.id)
        && isXmlSafeUtf8(person.name)
        && (person.smallPicture.empty() || isWebAddress(person.smallPicture))
        && (person.mediumPicture.empty() || isWebAddress(person.mediumPicture))
        && person.smallPicture.size() <= Limits::MaxPictureBytes
        && person.mediumPicture.size() <= Limits::MaxPictureBytes;
}

} // namespace Pinrova::Server
