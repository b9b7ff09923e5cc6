#pragma once

#include <mutex>
#include <optional>
#include <string>

struct sqlite3;
struct sqlite3_stmt;

namespace Pinrova::Sandbox {

struct TileIndex;

// Raster tiles from an MBTiles file (SQLite, table "tiles", rows counted from the south as in
// TMS). Opened read-only; lookups are serialised, so any thread may call tile().
class MbTilesReader
{
public:
    MbTilesReader() = default;
    ~MbTilesReader();
    MbTilesReader(const MbTilesReader &) = delete;
    MbTilesReader &operator=(const MbTilesReader &) = delete;

    // False with a reason in error() when the file cannot be read as raster MBTiles.
    bool open(const std::string &path);
    const std::string &error() const { return failure; }

    // The stored image of an OpenStreetMap-numbered tile, nothing when the file has none.
    std::optional<std::string> tile(const TileIndex &index) const;

private:
    void close();

    sqlite3 *database = nullptr;
    sqlite3_stmt *lookup = nullptr;
    mutable std::mutex mutex;
    std::string failure;
};

} // namespace Pinrova::Sandbox
