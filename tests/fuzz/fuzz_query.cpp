// A request's query string as the position service receives it: decoding, then the checks of
// all three requests, whose accepted values must hold to the service's bounds.
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "http/queryparams.h"
#include "api/textrules.h"
#include "api/wirerequests.h"

using namespace Pinrova::Server;

namespace {

void check(bool holds)
{
    if (!holds)
        std::abort();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    const std::string_view query(reinterpret_cast<const char *>(data), size);
    std::string error;
    const auto params = QueryParams::parse(query, &error);
    if (!params) {
        check(!error.empty());
        return 0;
    }

    const auto registration = parseRegister(*params);
    check(registration.request.has_value() == registration.error.empty());
    if (const auto &r = registration.request) {
        check(!r->uid.isNull() && Uuid::fromBraced(r->uid.toBraced()) == r->uid);
        check(!r->id.empty() && r->id.size() <= Limits::MaxIdBytes && isXmlSafeUtf8(r->id));
        check(r->name.size() <= Limits::MaxNameBytes && isXmlSafeUtf8(r->name));
        check(r->smallPicture.empty() || isWebAddress(r->smallPicture));
        check(r->mediumPicture.empty() || isWebAddress(r->mediumPicture));
        check(r->sex >= 0 && r->sex <= 2);
    }

    const auto position = parseSetPos(*params);
    check(position.request.has_value() == position.error.empty());
    if (const auto &p = position.request) {
        check(!p->uid.isNull());
        check(std::isfinite(p->lat) && std::abs(p->lat) <= 90);
        check(std::isfinite(p->lon) && std::abs(p->lon) <= 180);
    }

    const auto area = parseGetUsers(*params);
    check(area.request.has_value() == area.error.empty());
    if (const auto &a = area.request) {
        check(std::isfinite(a->lat) && std::abs(a->lat) <= 90);
        check(std::isfinite(a->lon) && std::abs(a->lon) <= 180);
        check(a->zoom >= 0 && a->zoom <= Limits::MaxZoom);
    }
    return 0;
}
