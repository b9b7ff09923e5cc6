#pragma once

#include "redis/tilegeometry.h"
#include "store/peoplestore.h"

#include <map>
#include <tuple>
#include <memory>

namespace Pinrova::Server::Redis {

class RedisCluster;
struct CallResult;
struct RedisStoreConfig;

// One GetUsers over the cluster: the bounded, expanding search. Each round asks every occupied
// tile the view touches within radius r for its nearest people (GEOSEARCH … BYRADIUS r … ASC
// COUNT n); the round is enough once the limit-th nearest in the view lies provably inside r,
// else r grows with the density found. r starts small, so a dense city costs a small radius
// and an empty ocean a few cheap rounds; a view with more tiles than MaxDirectTiles reads the
// directory of occupied tiles first. Lives on the cluster's thread, owned by itself until done.
class NearestSearch : public std::enable_shared_from_this<NearestSearch>
{
public:
    using Done = std::function<void(NearestAnswer)>;

    // The radius that last sufficed for a view centred in a tile at a zoom: a cache this
    // process may lose, which saves the rounds a dense city would otherwise cost each query.
    using RadiusHints = std::map<std::tuple<int, int, int>, double>;

    static void start(RedisCluster &cluster, RadiusHints &hints, const RedisStoreConfig &config,
        const NearestQuery &query, Done done);

    // Views touching at most this many tiles ask them all without the directory.
    static constexpr std::size_t MaxDirectTiles = 16;
    // Rounds before the answer so far is given: from 300 m to the whole world takes 8.
    static constexpr int MaxRounds = 16;
    // A tile's COUNT grows at most to this many times the limit.
    static constexpr std::size_t MaxPerTile = 16;

private:
    NearestSearch(RedisCluster &cluster, RadiusHints &hints, const RedisStoreConfig &config,
        const NearestQuery &query, Done done);

    struct Found
    {
        ListedPerson person;
        double distanceSquared = 0;
        std::string member;
    };

    // GEOSEARCH's box around the centre: it holds everyone in the view within radiusKm.
    struct SearchBox
    {
        bool bounded = false; // else the circle, which the view does not narrow
        double halfWidthKm = 0;
        double halfHeightKm = 0;
    };
    SearchBox searchBox(double fromLat) const;
    // One GEOSEARCH of a round in each tile it may concern: a box (or the circle when
    // halfWidthKm is 0) around a centre offsetKm from the view's.
    struct Piece
    {
        double lat = 0;
        double lon = 0;
        double halfWidthKm = 0;
        double halfHeightKm = 0;
        double offsetKm = 0;
        double nearKm = 0; // no one it keeps is nearer the view's centre
        LatLonBox bounds; // the latitudes and longitudes it may keep
    };
    std::vector<Piece> piecesOf(double fromLat, double fromLon, const SearchBox &box) const;

    void readDirectory();
    void round();
    void onHits(const Tile &tile, const CallResult &hits, double offsetKm, double nearKm);
    void onPeople(const std::vector<std::string> &members, const CallResult &coordinates,
        const CallResult &profiles);
    void tileDone();
    void roundOver();
    void fail();

    RedisCluster &cluster;
    RadiusHints &hints;
    const RedisStoreConfig &config;
    const NearestQuery query;
    const MapView view;
    const LatLonBox viewBox;
    const LatLonBox countBox; // the crowd cells', when asked for
    Done done;
    std::vector<Tile> tiles; // occupied (or possibly occupied) tiles inside the view
    std::vector<Tile> countTiles; // the same inside countBox
    double radiusKm = 0;
    std::tuple<int, int, int> hintKey;
    double coverKm = 0; // a radius that holds the whole view
    std::size_t perTile = 0; // COUNT of each tile's GEOSEARCH
    const double slackKm; // how far Redis's distances may be from the exact ones
    int rounds = 0;
    std::size_t waiting = 0;
    bool failed = false;
    // The smallest distance up to which a tile cut by COUNT answered everyone.
    double limitedKm = 0;
    std::map<std::string, Found> found; // by person key
};

} // namespace Pinrova::Server::Redis
