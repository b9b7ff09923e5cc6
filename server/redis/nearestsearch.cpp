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

void NearestSearch::start(
    RedisCluster &cluster, RadiusHints &hints, const NearestQuery &query, Done done)
{
    std::shared_ptr<NearestSearch> search(
        new NearestSearch(cluster, hints, query, std::move(done)));
    const auto direct = tilesOf(search->viewBox, MaxDirectTiles);
    if (!direct.empty()) {
        search->tiles = direct;
        search->round();
    } else {
        search->readDirectory();
    }
}

NearestSearch::NearestSearch(
    RedisCluster &cluster, RadiusHints &hints, const NearestQuery &query, Done done)
    : cluster(cluster)
    , hints(hints)
    , query(query)
    , view(query.view)
    , viewBox(boxOf(view))
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
    const auto regions = regionsOf(viewBox);
    auto self = shared_from_this();
    auto occupied = std::make_shared<std::set<Tile>>();
    waiting = regions.size();
    for (const auto &region : regions) {
        cluster.call(Keys::region(region), {"SMEMBERS", Keys::region(region)},
            [self, occupied](CallResult result) {
                if (!result.ok() || result.reply.kind != RedisReply::Kind::Array)
                    self->failed = true;
                else {
                    for (const auto &element : result.reply.elements) {
                        bool ok = false;
                        const Tile tile = Tile::fromName(element.text, &ok);
                        if (ok && self->viewBox.intersects(boxOf(tile)))
                            occupied->insert(tile);
                    }
                }
                if (--self->waiting > 0)
                    return;
                if (self->failed)
                    return self->fail();
                self->tiles.assign(occupied->begin(), occupied->end());
                self->round();
            });
    }
}

void NearestSearch::round()
{
    ++rounds;
    found.clear();
    limitedKm = radiusKm;
    const LatLonBox reach = circleBox(view.lat, view.lon, radiusKm);
    std::vector<Tile> asked;
    for (const auto &tile : tiles) {
        if (reach.intersects(boxOf(tile)))
            asked.push_back(tile);
    }
    if (asked.empty())
        return roundOver();
    const std::string centreLon = geoNumber(view.lon);
    const std::string centreLat = geoNumber(geoLatitude(view.lat));
    const std::string radius = geoNumber(radiusKm);
    const std::string count = std::to_string(perTile);
    auto self = shared_from_this();
    waiting = asked.size();
    // Plain commands rather than a script: Redis spends several times longer per person in
    // Lua's calls than in GEOSEARCH and HMGET themselves.
    for (const Tile &tile : asked) {
        cluster.call(Keys::geo(tile),
            {"GEOSEARCH", Keys::geo(tile), "FROMLONLAT", centreLon, centreLat, "BYRADIUS", radius,
                "km", "ASC", "COUNT", count, "WITHDIST"},
            [self, tile](CallResult hits) { self->onHits(tile, hits); });
    }
}

void NearestSearch::onHits(const Tile &tile, const CallResult &hits)
{
    if (!hits.ok() || hits.reply.kind != RedisReply::Kind::Array) {
        failed = true;
        return tileDone();
    }
    const auto &elements = hits.reply.elements;
    // COUNT cut the answer: the tile is complete only up to its farthest person.
    if (elements.size() >= perTile && !elements.empty() && elements.back().elements.size() >= 2)
        limitedKm = std::min(limitedKm, std::atof(elements.back().elements[1].text.c_str()));
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
    if (!enough && rounds < MaxRounds) {
        if (truncated)
            perTile *= 4; // people just outside the view crowd the circle: look deeper
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
    if (enough)
        hints[hintKey] = radiusKm;
    NearestAnswer answer;
    const std::size_t count = std::min(ranked.size(), query.limit);
    answer.people.reserve(count);
    for (std::size_t i = 0; i < count; ++i)
        answer.people.push_back(std::move(ranked[i]->person));
    auto finished = std::move(done);
    if (query.crowds)
        return CrowdCount::start(cluster, view, tiles, std::move(answer), std::move(finished));
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
