#include "streetwalker.h"

#include <algorithm>
#include <cmath>

#include "tiles/streetgrid.h"

namespace Pinrova::Sandbox {

namespace {
constexpr double Pi = 3.141592653589793;
constexpr double MetresPerDegree = 111320.0;
} // namespace

StreetWalker::StreetWalker(GeoPoint home, double radiusMetres, double metresPerSecond, quint32 seed)
    : home(home)
    , radius(radiusMetres)
    , pace(metresPerSecond)
    , random(seed)
{
    // Start somewhere well inside the area, uniformly over the disc.
    const double angle = random.generateDouble() * 2 * Pi;
    const double distance = 0.7 * radius * std::sqrt(random.generateDouble());
    const double lat = home.lat + distance * std::sin(angle) / MetresPerDegree;
    const double lon
        = home.lon + distance * std::cos(angle) / (MetresPerDegree * std::cos(home.lat * Pi / 180));
    from = {
        std::lround(lat / StreetGrid::LatitudeStep), std::lround(lon / StreetGrid::LongitudeStep)};
    to = from;
    switch (random.bounded(4)) {
    case 0:
        ++to.row;
        break;
    case 1:
        --to.row;
        break;
    case 2:
        ++to.column;
        break;
    default:
        --to.column;
        break;
    }
    along = random.generateDouble() * blockLength();
}

GeoPoint StreetWalker::place(Node node) const
{
    return {node.row * StreetGrid::LatitudeStep, node.column * StreetGrid::LongitudeStep};
}

double StreetWalker::metresFromHome(GeoPoint point) const
{
    const double north = (point.lat - home.lat) * MetresPerDegree;
    const double east = (point.lon - home.lon) * MetresPerDegree * std::cos(home.lat * Pi / 180);
    return std::hypot(north, east);
}

double StreetWalker::metresFromHome() const
{
    return metresFromHome(position());
}

double StreetWalker::blockLength() const
{
    return from.row != to.row ? StreetGrid::metresPerLatitudeStep()
                              : StreetGrid::metresPerLongitudeStep(place(from).lat);
}

GeoPoint StreetWalker::position() const
{
    const GeoPoint a = place(from);
    const GeoPoint b = place(to);
    const double t = std::clamp(along / blockLength(), 0.0, 1.0);
    return {a.lat + (b.lat - a.lat) * t, a.lon + (b.lon - a.lon) * t};
}

StreetWalker::Node StreetWalker::nextNode()
{
    const long dRow = to.row - from.row;
    const long dColumn = to.column - from.column;
    struct Choice
    {
        Node node;
        double weight;
    };
    Choice choices[] = {
        {{to.row + dRow, to.column + dColumn}, 5}, // straight on
        {{to.row + dColumn, to.column - dRow}, 2}, // one turn
        {{to.row - dColumn, to.column + dRow}, 2}, // the other
        {from, 0.2}, // back
    };
    const double here = metresFromHome(place(to));
    if (here > radius) {
        for (Choice &choice : choices) {
            if (metresFromHome(place(choice.node)) >= here)
                choice.weight = 0;
        }
    }
    double total = 0;
    for (const Choice &choice : choices)
        total += choice.weight;
    double pick = random.generateDouble() * total;
    for (const Choice &choice : choices) {
        if (choice.weight > 0 && (pick -= choice.weight) <= 0)
            return choice.node;
    }
    return from;
}

void StreetWalker::walk(double seconds)
{
    // A stalled timer must not send anyone across the city in one step.
    double remaining = std::clamp(seconds, 0.0, 60.0) * pace;
    while (remaining > 0) {
        const double left = blockLength() - along;
        if (remaining < left) {
            along += remaining;
            return;
        }
        remaining -= left;
        const Node next = nextNode();
        from = to;
        to = next;
        along = 0;
    }
}

} // namespace Pinrova::Sandbox
