#include "redis/nearestsearch.h"

#include "redis/client/rediscluster.h"
#include "redis/crowdcount.h"
#include "redis/storekeys.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <set>

namespace Pinrova::Server::Redis {

namespace {

// The first radius, whatever the zoom: Redis answers a few hundred metres over a million
// members of one geo set quickly and a few km slowly, so the radius grows from what the
// people found so far say about the density, never from the view's size alone.
constexpr double FirstRadiusKm = 0.3;
// Growth per round: from the density found (the area holding limit people, with a margin),
// at least doubled and at most eightfold; eightfold when nobody was found.
constexpr double MinGrowth = 2;
constexpr double MaxGrowth = 8;
// Redis files positions as 52-bit geohashes (within about a metre), so distances it measures
// may differ from the exact ones by that much; views reaching past MaxGeoLat, where people are
// filed up to 130 m from where the map draws them, allow more.
constexpr double GeohashSlackKm = 0.002;
constexpr double EdgeSlackKm = 0.2;

} // namespace

void NearestSearch::start(RedisCluster &cluster, RadiusHints &hints, const RedisStoreConfig &config,
    const NearestQuery &query, Done done)
{
    std::shared_ptr<NearestSearch> search(
        new NearestSearch(cluster, hints, config, query, std::move(done)));
    const auto direct = tilesOf(search->viewBox, MaxDirectTiles);
    const auto directCount
        = query.crowds ? tilesOf(search->countBox, MaxDirectTiles) : std::vector<Tile>();
    if (!direct.empty() && (!query.crowds || !directCount.empty())) {
        search->tiles = direct;
        search->countTiles = directCount;
        search->round();
    } else {
        search->readDirectory();
    }
}

NearestSearch::NearestSearch(RedisCluster &cluster, RadiusHints &hints,
    const RedisStoreConfig &config, const NearestQuery &query, Done done)
    : cluster(cluster)
    , hints(hints)
    , config(config)
    , query(query)
    , view(query.view)
    , viewBox(boxOf(view))
    , countBox(query.crowds ? CrowdCount::boxOfCells(view) : viewBox)
    , done(std::move(done))
    , perTile(query.limit)
    , slackKm(
          viewBox.north > MaxGeoLat || viewBox.south < -MaxGeoLat ? EdgeSlackKm : GeohashSlackKm)
{
    coverKm = groundUpperBoundKm(
                  view, view.halfWidth * view.halfWidth + view.halfHeight * view.halfHeight)
        + slackKm;
    const Tile centre = Tile::of(view.lat, view.lon);
    hintKey = {centre.x, centre.y, view.zoom};
    const auto hint = hints.find(hintKey);
    radiusKm = std::min(coverKm, hint != hints.end() ? hint->second : FirstRadiusKm);
}

void NearestSearch::readDirectory()
{
    // The crowd cells may reach beyond the view, so their box (which holds the view's)
    // decides the regions asked.
    const auto regions = regionsOf(countBox);
    auto self = shared_from_this();
    auto occupied = std::make_shared<std::set<Tile>>();
    auto counted = std::make_shared<std::set<Tile>>();
    waiting = regions.size();
    for (const auto &region : regions) {
        cluster.call(Keys::region(region), {"SMEMBERS", Keys::region(region)},
            [self, occupied, counted](CallResult result) {
                if (!result.ok() || result.reply.kind != RedisReply::Kind::Array)
                    self->failed = true;
                else {
                    for (const auto &element : result.reply.elements) {
                        bool ok = false;
                        const Tile tile = Tile::fromName(element.text, &ok);
                        if (ok && self->viewBox.intersects(boxOf(tile)))
                            occupied->insert(tile);
                        if (ok && self->query.crowds && self->countBox.intersects(boxOf(tile)))
                            counted->insert(tile);
                    }
                }
                if (--self->waiting > 0)
                    return;
                if (self->failed)
                    return self->fail();
                self->tiles.assign(occupied->begin(), occupied->end());
                self->countTiles.assign(counted->begin(), counted->end());
                self->round();
            });
    }
}

void NearestSearch::round()
{
    ++rounds;
    found.clear();
    limitedKm = radiusKm;
    // The circle is drawn around the point GEOSEARCH searches from, which is filed like any
    // member: a centre beyond Mercator's edge searches from the edge.
    const double fromLat = geoLatitude(view.lat);
    const double fromLon = geoLongitude(view.lon);
    const LatLonBox reach = circleBox(fromLat, fromLon, radiusKm);
    std::vector<Tile> asked;
    for (const auto &tile : tiles) {
        if (reach.intersects(boxOf(tile)))
            asked.push_back(tile);
    }
    if (asked.empty())
        return roundOver();
    const std::string radius = geoNumber(radiusKm);
    const std::string count = std::to_string(perTile);
    const auto pieces = piecesOf(fromLat, fromLon, searchBox(fromLat));
    struct Ask
    {
        Tile tile;
        const Piece *piece;
    };
    std::vector<Ask> asks;
    for (const Tile &tile : asked) {
        const LatLonBox bounds = boxOf(tile);
        for (const Piece &piece : pieces) {
            if (piece.bounds.intersects(bounds))
                asks.push_back({tile, &piece});
        }
    }
    if (asks.empty())
        return roundOver();
    auto self = shared_from_this();
    waiting = asks.size();
    // Plain commands rather than a script: Redis spends several times longer per person in
    // Lua's calls than in GEOSEARCH and HMGET themselves.
    for (const Ask &ask : asks) {
        const Piece &piece = *ask.piece;
        std::vector<std::string> search {"GEOSEARCH", Keys::geo(ask.tile), "FROMLONLAT",
            geoNumber(piece.lon), geoNumber(piece.lat)};
        if (piece.halfWidthKm > 0)
            search.insert(search.end(),
                {"BYBOX", geoNumber(2 * piece.halfWidthKm), geoNumber(2 * piece.halfHeightKm),
                    "km"});
        else
            search.insert(search.end(), {"BYRADIUS", radius, "km"});
        search.insert(search.end(), {"ASC", "COUNT", count, "WITHDIST"});
        const Tile tile = ask.tile;
        const double offsetKm = piece.offsetKm;
        const double nearKm = piece.nearKm;
        cluster.call(
            Keys::geo(tile), std::move(search), [self, tile, offsetKm, nearKm](CallResult hits) {
                self->onHits(tile, hits, offsetKm, nearKm);
            });
    }
}

std::vector<NearestSearch::Piece> NearestSearch::piecesOf(
    double fromLat, double fromLon, const SearchBox &box) const
{
    // GEOSEARCH's cost is the members of the geohash cells around its shape, and the cells
    // grow with the shape's longer side: a long narrow box would scan a whole city to find
    // the few people of a one-pixel column. Such a box is asked as pieces no longer than
    // MaxAspect times their width, from their own centres, so the cells stay small.
    constexpr double Pi = 3.141592653589793;
    constexpr double Degree = Pi / 180;
    constexpr double MaxAspect = 4;
    constexpr std::size_t MaxPieces = 128;
    const LatLonBox whole = viewBox;
    std::vector<Piece> pieces;
    Piece single;
    single.lat = fromLat;
    single.lon = fromLon;
    single.bounds = whole;
    if (!box.bounded)
        return {single}; // the circle
    single.halfWidthKm = box.halfWidthKm;
    single.halfHeightKm = box.halfHeightKm;
    const double halfWidth = box.halfWidthKm;
    const double halfHeight = box.halfHeightKm;
    const auto count = [](double longer, double shorter) {
        return static_cast<std::size_t>(
            std::min<double>(MaxPieces, std::ceil(longer / (MaxAspect * std::max(shorter, 1e-6)))));
    };
    if (halfHeight > MaxAspect * halfWidth) {
        // Along the meridian: each piece keeps the box's width about the same longitude.
        const std::size_t n = count(halfHeight, halfWidth);
        const double step = 2 * halfHeight / static_cast<double>(n);
        for (std::size_t i = 0; i < n; ++i) {
            const double lowKm = -halfHeight + step * static_cast<double>(i);
            double south = fromLat + lowKm / EarthRadiusKm / Degree;
            double north = fromLat + (lowKm + step) / EarthRadiusKm / Degree;
            // Members lie within ±MaxGeoLat, and so must GEOSEARCH's centre.
            if (south > MaxGeoLat || north < -MaxGeoLat)
                continue;
            south = std::max(south, -MaxGeoLat);
            north = std::min(north, MaxGeoLat);
            Piece piece = single;
            piece.lat = (south + north) / 2;
            piece.halfHeightKm = (north - south) / 2 * Degree * EarthRadiusKm + slackKm;
            piece.offsetKm = std::abs(piece.lat - fromLat) * Degree * EarthRadiusKm;
            // Everyone it keeps lies within its latitudes, so at least this far along the
            // meridian (and so the sphere) from the view's centre.
            piece.nearKm = std::max(0.0, piece.offsetKm - piece.halfHeightKm);
            piece.bounds.south = std::max(whole.south, south - slackKm / EarthRadiusKm / Degree);
            piece.bounds.north = std::min(whole.north, north + slackKm / EarthRadiusKm / Degree);
            pieces.push_back(piece);
        }
        return pieces;
    }
    if (halfWidth > MaxAspect * halfHeight) {
        // Along the parallel: the box reaches farthest in longitude at its latitude nearest a
        // pole; each piece spans an equal share of that, and its width is that share's
        // length along the parallel nearest the equator, where it is longest.
        const double south = std::max(-MaxGeoLat, fromLat - halfHeight / EarthRadiusKm / Degree);
        const double north = std::min(MaxGeoLat, fromLat + halfHeight / EarthRadiusKm / Degree);
        const double poleward = std::max(std::abs(south), std::abs(north)) * Degree;
        const double equatorward
            = (south <= 0 && north >= 0 ? 0 : std::min(std::abs(south), std::abs(north))) * Degree;
        const double reach = std::sin(halfWidth / (2 * EarthRadiusKm)) / std::cos(poleward);
        if (reach >= 1)
            return {single};
        const double halfLon = 2 * std::asin(reach); // radians each side of the centre
        const std::size_t n = count(halfWidth, halfHeight);
        const double share = 2 * halfLon / static_cast<double>(n);
        for (std::size_t i = 0; i < n; ++i) {
            const double offset = -halfLon + share * (static_cast<double>(i) + 0.5);
            Piece piece = single;
            piece.lon = geoLongitude(fromLon + offset / Degree);
            piece.halfWidthKm = 2 * EarthRadiusKm
                    * std::asin(std::min(1.0, std::cos(equatorward) * std::sin(share / 4)))
                + slackKm;
            piece.offsetKm = 2 * EarthRadiusKm
                * std::asin(
                    std::min(1.0, std::cos(fromLat * Degree) * std::sin(std::abs(offset) / 2)));
            // Everyone it keeps is at least this much longitude from the view's centre (its
            // width reaches farthest in longitude at its poleward edge), and so (haversine) at
            // least this far along the sphere.
            const double reachLon
                = std::sin(piece.halfWidthKm / (2 * EarthRadiusKm)) / std::cos(poleward);
            const double apart
                = reachLon >= 1 ? 0.0 : std::max(0.0, std::abs(offset) - 2 * std::asin(reachLon));
            piece.nearKm = std::max(0.0,
                2 * EarthRadiusKm
                        * std::asin(std::sqrt(std::cos(fromLat * Degree) * std::cos(poleward))
                            * std::sin(apart / 2))
                    - slackKm);
            // Tiles are asked by the piece's share of longitude: what it keeps beyond its share
            // lies in a neighbour's share as well, and is asked for there.
            const double slack = slackKm / (EarthRadiusKm * std::cos(poleward)) / Degree;
            const double west = piece.lon - share / 2 / Degree - slack;
            const double east = piece.lon + share / 2 / Degree + slack;
            if (east - west < 360) {
                piece.bounds.west = geoLongitude(west);
                piece.bounds.east = geoLongitude(east);
            }
            pieces.push_back(piece);
        }
        return pieces;
    }
    return {single};
}

NearestSearch::SearchBox NearestSearch::searchBox(double fromLat) const
{
    // GEOSEARCH BYBOX keeps a member when its latitude is within half the height of the
    // centre's (along the meridian) and its longitude within half the width (along the
    // member's own parallel). Everyone in the view within radiusKm must be kept: a member
    // within r along the sphere is within r along the meridian, and along its parallel within
    // 2R·asin(k·sin(r/2R)), k² being the largest cos(member's lat) / cos(centre's lat) (from
    // the haversine). The view bounds both the same way, so a narrow view asks a narrow box
    // instead of a circle full of people beside it.
    constexpr double Pi = 3.141592653589793;
    constexpr double Degree = Pi / 180;
    const auto nearestEquator = [](double south, double north) {
        return south <= 0 && north >= 0 ? 0.0 : std::min(std::abs(south), std::abs(north));
    };
    const double centre = fromLat * Degree;
    const double angle = radiusKm / EarthRadiusKm;
    const double k2 = std::max(1.0,
        std::cos(std::min(Pi / 2, nearestEquator(centre - angle, centre + angle)))
            / std::cos(centre));
    const double spread = std::sqrt(k2) * std::sin(std::min(Pi, angle) / 2);
    double halfWidth = spread < 1 ? 2 * EarthRadiusKm * std::asin(spread) : HUGE_VAL;
    double halfHeight = radiusKm;

    const double south = std::max(viewBox.south, -MaxGeoLat) * Degree;
    const double north = std::min(viewBox.north, MaxGeoLat) * Degree;
    halfHeight = std::min(halfHeight, EarthRadiusKm * std::max(north - centre, centre - south));
    if (!viewBox.wholeLongitude()) {
        const double halfLon = std::min(Pi, view.halfWidth * 2 * Pi);
        halfWidth = std::min(halfWidth,
            2 * EarthRadiusKm
                * std::asin(
                    std::min(1.0, std::cos(nearestEquator(south, north)) * std::sin(halfLon / 2))));
    }
    SearchBox box;
    box.bounded = std::isfinite(halfWidth);
    box.halfWidthKm = halfWidth + slackKm;
    box.halfHeightKm = std::max(0.0, halfHeight) + slackKm;
    return box;
}

void NearestSearch::onHits(const Tile &tile, const CallResult &hits, double offsetKm, double nearKm)
{
    if (!hits.ok() || hits.reply.kind != RedisReply::Kind::Array) {
        failed = true;
        return tileDone();
    }
    const auto &elements = hits.reply.elements;
    // COUNT cut the answer: the tile is complete only up to its farthest person.
    if (elements.size() >= perTile && !elements.empty() && elements.back().elements.size() >= 2)
        // Distances are from the piece's centre: the ones left out are at least that far less
        // the piece's offset from the view's centre, and no nearer than the piece itself.
        limitedKm = std::min(limitedKm,
            std::max(nearKm, std::atof(elements.back().elements[1].text.c_str()) - offsetKm));
    if (elements.empty())
        return tileDone();
    auto members = std::make_shared<std::vector<std::string>>();
    members->reserve(elements.size());
    for (const auto &hit : elements) {
        if (!hit.elements.empty())
            members->push_back(hit.elements[0].text);
    }
    std::vector<std::string> coordinates {"HMGET", Keys::coordinates(tile)};
    std::vector<std::string> profiles {"HMGET", Keys::profiles(tile)};
    coordinates.insert(coordinates.end(), members->begin(), members->end());
    profiles.insert(profiles.end(), members->begin(), members->end());
    auto self = shared_from_this();
    auto first = std::make_shared<CallResult>();
    auto pending = std::make_shared<int>(2);
    const auto both = [self, members, first, pending](CallResult result, bool isCoordinates) {
        if (--*pending > 0) {
            *first = std::move(result);
            first->reply.integer = isCoordinates;
            return;
        }
        const bool firstIsCoordinates = first->reply.integer == 1;
        self->onPeople(
            *members, firstIsCoordinates ? *first : result, firstIsCoordinates ? result : *first);
    };
    cluster.call(Keys::coordinates(tile), std::move(coordinates),
        [both](CallResult result) { both(std::move(result), true); });
    cluster.call(Keys::profiles(tile), std::move(profiles),
        [both](CallResult result) { both(std::move(result), false); });
}

void NearestSearch::onPeople(const std::vector<std::string> &members, const CallResult &coordinates,
    const CallResult &profiles)
{
    const auto &places = coordinates.reply.elements;
    const auto &fragments = profiles.reply.elements;
    if (!coordinates.ok() || !profiles.ok() || places.size() != members.size()
        || fragments.size() != members.size()) {
        failed = true;
        return tileDone();
    }
    for (std::size_t i = 0; i < members.size(); ++i) {
        // A person just moving in may have no profile here yet; one moving out, no place.
        if (places[i].kind != RedisReply::Kind::String
            || fragments[i].kind != RedisReply::Kind::String)
            continue;
        double lat = 0;
        double lon = 0;
        long long seen = 0;
        if (std::sscanf(places[i].text.c_str(), "%lf %lf %lld", &lat, &lon, &seen) != 3)
            continue;
        const WorldPoint point = toWorld(lat, lon);
        if (!view.contains(point) || seen < query.seenSinceMs)
            continue;
        Found entry;
        entry.person.lat = lat;
        entry.person.lon = lon;
        entry.person.seenMs = seen;
        entry.person.profile = std::make_shared<const std::string>(fragments[i].text);
        entry.distanceSquared = view.distanceSquared(point);
        entry.member = members[i];
        // A person briefly filed in two tiles (a move racing another) counts once, newest.
        auto [it, added] = found.try_emplace(members[i], entry);
        if (!added && it->second.person.seenMs < seen)
            it->second = std::move(entry);
    }
    tileDone();
}

void NearestSearch::tileDone()
{
    if (--waiting == 0)
        roundOver();
}

void NearestSearch::roundOver()
{
    if (failed)
        return fail();
    std::vector<Found *> ranked;
    ranked.reserve(found.size());
    for (auto &[member, entry] : found)
        ranked.push_back(&entry);
    std::sort(ranked.begin(), ranked.end(), [](const Found *a, const Found *b) {
        return a->distanceSquared != b->distanceSquared ? a->distanceSquared < b->distanceSquared
                                                        : a->member < b->member;
    });
    const bool truncated = limitedKm < radiusKm;
    // Everyone in the view within limitedKm (less the geohash's error) has been seen.
    const double sureKm = limitedKm - slackKm;
    bool enough = false;
    double neededKm = 0;
    if (ranked.size() >= query.limit) {
        neededKm = groundUpperBoundKm(view, ranked[query.limit - 1]->distanceSquared);
        enough = neededKm <= sureKm;
    } else {
        enough = !truncated && radiusKm >= coverKm;
    }
    // A COUNT already as deep as one list may make Redis look gives the answer so far.
    const bool deeper = truncated && perTile < MaxPerTile * query.limit;
    if (!enough && rounds < MaxRounds && (deeper || !truncated)) {
        if (deeper)
            perTile *= 4; // people just outside the view crowd the box: look deeper
        else if (ranked.size() >= query.limit)
            radiusKm = std::min(coverKm, neededKm + 2 * slackKm);
        else {
            const double growth = ranked.empty()
                ? MaxGrowth
                : std::clamp(1.3 * std::sqrt(static_cast<double>(query.limit) / ranked.size()),
                    MinGrowth, MaxGrowth);
            radiusKm = radiusKm * growth;
            // Close to the whole view: the whole view, so no round is spent just short of it.
            radiusKm = radiusKm * 2 >= coverKm ? coverKm : radiusKm;
        }
        return round();
    }
    // A long narrow view needs a far larger radius than the usual views of its tile and zoom,
    // which its radius would make start far too wide: it leaves the hint to them.
    const bool usualShape
        = view.halfWidth <= 4 * view.halfHeight && view.halfHeight <= 4 * view.halfWidth;
    if (enough && usualShape)
        hints[hintKey] = radiusKm;
    NearestAnswer answer;
    const std::size_t count = std::min(ranked.size(), query.limit);
    answer.people.reserve(count);
    for (std::size_t i = 0; i < count; ++i)
        answer.people.push_back(std::move(ranked[i]->person));
    auto finished = std::move(done);
    if (query.crowds)
        return CrowdCount::start(
            cluster, config, view, countTiles, std::move(answer), std::move(finished));
    finished(std::move(answer));
}

void NearestSearch::fail()
{
    NearestAnswer answer;
    answer.status = StoreStatus::Unavailable;
    auto finished = std::move(done);
    if (finished)
        finished(std::move(answer));
}

} // namespace Pinrova::Server::Redis
