#pragma once

#include <chrono>
#include <cstddef>
#include <functional>
#include <memory>
#include <optional>
#include <string>

namespace Pinrova::Http {
class HttpServer;
}

namespace Pinrova::Sandbox {

struct TileIndex;
class TileCache;

// Where tile images come from. Called on the HTTP server's thread; nothing means "no such tile".
using TileSource = std::function<std::optional<std::string>(const TileIndex &)>;

// Serves "/{z}/{x}/{y}.png" on a server as a tile server does: the image with headers that let
// the application's disk cache keep it, 404 for any other path or index. Tiles pass through a
// bounded in-memory cache, so the map's repeated requests cost one lookup.
class TileService
{
public:
    struct Options
    {
        std::size_t cacheBytes = 64u << 20;
        std::chrono::seconds maxAge {7 * 24 * 3600};
    };

    // Takes over the server's fallback route; the route holds the source and the cache, so it
    // stays valid for as long as the server keeps it.
    TileService(Http::HttpServer &server, TileSource source, Options options);
    ~TileService();
    TileService(const TileService &) = delete;
    TileService &operator=(const TileService &) = delete;

    const TileCache &cache() const;

private:
    struct State;
    std::shared_ptr<State> state;
};

// The Content-Type of an encoded image from its first bytes (PNG, JPEG, WebP).
std::string imageContentType(const std::string &bytes);

// An HTTP date ("Tue, 15 Nov 1994 08:12:31 GMT"), independent of the process locale.
std::string httpDate(std::chrono::system_clock::time_point when);

} // namespace Pinrova::Sandbox
