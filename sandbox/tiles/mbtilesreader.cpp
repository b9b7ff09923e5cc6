#include "mbtilesreader.h"

#include <sqlite3.h>

#include "tileindex.h"

namespace Pinrova::Sandbox {

MbTilesReader::~MbTilesReader()
{
    close();
}

void MbTilesReader::close()
{
    sqlite3_finalize(lookup);
    lookup = nullptr;
    sqlite3_close(database);
    database = nullptr;
}

bool MbTilesReader::open(const std::string &path)
{
    close();
    if (sqlite3_open_v2(path.c_str(), &database, SQLITE_OPEN_READONLY, nullptr) != SQLITE_OK) {
        failure = path + ": " + sqlite3_errmsg(database);
        close();
        return false;
    }
    // Vector tiles ("pbf") are no images; the application can only show raster tiles.
    sqlite3_stmt *format = nullptr;
    if (sqlite3_prepare_v2(
            database, "SELECT value FROM metadata WHERE name = 'format'", -1, &format, nullptr)
        == SQLITE_OK) {
        if (sqlite3_step(format) == SQLITE_ROW) {
            const auto *text = reinterpret_cast<const char *>(sqlite3_column_text(format, 0));
            if (text && std::string(text) == "pbf") {
                failure = path + ": holds vector tiles (format pbf); raster tiles are needed";
                sqlite3_finalize(format);
                close();
                return false;
            }
        }
    }
    sqlite3_finalize(format);
    if (sqlite3_prepare_v2(database,
            "SELECT tile_data FROM tiles WHERE zoom_level = ? AND tile_column = ? AND tile_row = ?",
            -1, &lookup, nullptr)
        != SQLITE_OK) {
        failure = path + ": not an MBTiles file (" + sqlite3_errmsg(database) + ")";
        close();
        return false;
    }
    failure.clear();
    return true;
}

std::optional<std::string> MbTilesReader::tile(const TileIndex &index) const
{
    std::lock_guard lock(mutex);
    if (!lookup)
        return std::nullopt;
    // TMS numbers rows from the south.
    const int tmsRow = (1 << index.zoom) - 1 - index.row;
    sqlite3_reset(lookup);
    sqlite3_bind_int(lookup, 1, index.zoom);
    sqlite3_bind_int(lookup, 2, index.column);
    sqlite3_bind_int(lookup, 3, tmsRow);
    std::optional<std::string> data;
    if (sqlite3_step(lookup) == SQLITE_ROW) {
        const auto *bytes = static_cast<const char *>(sqlite3_column_blob(lookup, 0));
        const int size = sqlite3_column_bytes(lookup, 0);
        if (bytes && size > 0)
            data = std::string(bytes, static_cast<std::size_t>(size));
    }
    sqlite3_reset(lookup);
    return data;
}

} // namespace Pinrova::Sandbox
