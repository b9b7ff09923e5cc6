#include "tileservice.h"

#include <cstdio>
#include <ctime>

#include "httpserver.h"
#include "tilecache.h"
#include "tileindex.h"

namespace Pinrova::Sandbox {

using Http::HttpRequest;
using Http::HttpResponse;

struct TileService::State
{
    State(TileSource source, Options options)
        : source(std::move(source))
        , options(options)
        , cache(options.cacheBytes)
    { }

    HttpResponse answer(const HttpRequest &request)
    {
        if (request.method != "GET")
            return HttpResponse::error(405, "Tiles are fetched with GET")
                .withHeader("Allow", "GET");
        const std::optional<TileIndex> tile = parseTilePath(request.path);
        if (!tile)
            return HttpResponse::error(404, "No such tile");
        std::optional<std::string> bytes = cache.find(tile->key());
        if (!bytes) {
            bytes = source(*tile);
            if (!bytes)
                return HttpResponse::error(404, "No such tile");
            cache.insert(tile->key(), *bytes);
        }
        const std::string type = imageContentType(*bytes);
        return HttpResponse::ok(std::move(*bytes), type)
            .withHeader(
                "Cache-Control", "public, max-age=" + std::to_string(options.maxAge.count()))
            .withHeader("Expires", httpDate(std::chrono::system_clock::now() + options.maxAge));
    }

    TileSource source;
    const Options options;
    TileCache cache;
};

TileService::TileService(Http::HttpServer &server, TileSource source, Options options)
    : state(std::make_shared<State>(std::move(source), options))
{
    server.setFallback([s = state](const HttpRequest &request) { return s->answer(request); });
}

TileService::~TileService() = default;

const TileCache &TileService::cache() const
{
    return state->cache;
}

std::string imageContentType(const std::string &bytes)
{
    if (bytes.compare(0, 8, "\x89PNG\r\n\x1a\n") == 0)
        return "image/png";
    if (bytes.compare(0, 3, "\xff\xd8\xff") == 0)
        return "image/jpeg";
    if (bytes.size() >= 12 && bytes.compare(0, 4, "RIFF") == 0 && bytes.compare(8, 4, "WEBP") == 0)
        return "image/webp";
    return "application/octet-stream";
}

std::string httpDate(std::chrono::system_clock::time_point when)
{
    static const char *const days[] = {"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"};
    static const char *const months[]
        = {"Jan", "Feb", "Mar", "Apr", "May", "Jun", "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
    const std::time_t seconds = std::chrono::system_clock::to_time_t(when);
    std::tm utc {};
    gmtime_r(&seconds, &utc);
    char text[40];
    std::snprintf(text, sizeof text, "%s, %02d %s %04d %02d:%02d:%02d GMT", days[utc.tm_wday],
        utc.tm_mday, months[utc.tm_mon], utc.tm_year + 1900, utc.tm_hour, utc.tm_min, utc.tm_sec);
    return text;
}

} // namespace Pinrova::Sandbox
