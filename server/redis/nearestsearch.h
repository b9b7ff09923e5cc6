#pragma once

#include "peoplestore.h"
#include "mapprojection.h"
#include "tilegeometry.h"

#include <map>
#include <memory>

namespace Pinrova::Server::Redis {

class RedisCluster;
struct CallResult;

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

    static void start(RedisCluster &cluster, const NearestQuery &query, Done done);

    // Views touching at most this many tiles ask them all without the directory.
    static constexpr std::size_t MaxDirectTiles = 16;
    // Rounds before the answer so far is given: from 300 m to the whole world takes 8.
    static constexpr int MaxRounds = 16;

private:
    NearestSearch(RedisCluster &cluster, const NearestQuery &query, Done done);

    struct Found
    {
        ListedPerson person;
        double distanceSquared = 0;
        std::string member;
    };

    void readDirectory();
    void round();
    void onTile(const CallResult &result);
    void roundOver();
    void fail();

    RedisCluster &cluster;
    const NearestQuery query;
    const MapView view;
    const LatLonBox viewBox;
    Done done;
    std::vector<Tile> tiles; // occupied (or possibly occupied) tiles inside the view
    double radiusKm = 0;
    double coverKm = 0; // a radius that holds the whole view
    std::size_t perTile = 0; // COUNT of each tile's GEOSEARCH
    int rounds = 0;
    std::size_t waiting = 0;
    bool failed = false;
    double limitedKm = 0; // the smallest distance a truncated tile answered up to
    std::map<std::string, Found> found; // by person key
};

} // namespace Pinrova::Server::Redis
