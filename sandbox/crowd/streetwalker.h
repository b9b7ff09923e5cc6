#pragma once

#include <QRandomGenerator>

namespace Pinrova::Sandbox {

struct GeoPoint
{
    double lat = 0;
    double lon = 0;
};

// A pedestrian on the street grid: walks along streets at a steady pace, at each crossing
// mostly keeps going, sometimes turns, and once farther than the radius from home takes only
// turns that lead back. Deterministic for a given seed.
class StreetWalker
{
public:
    StreetWalker(GeoPoint home, double radiusMetres, double metresPerSecond, quint32 seed);

    void walk(double seconds);
    GeoPoint position() const;
    double metresFromHome() const;

private:
    struct Node
    {
        long row = 0; // multiples of the grid's latitude step
        long column = 0; // multiples of its longitude step
    };

    GeoPoint place(Node node) const;
    double metresFromHome(GeoPoint point) const;
    double blockLength() const;
    Node nextNode();

    GeoPoint home;
    double radius;
    double pace;
    QRandomGenerator random;
    Node from;
    Node to;
    double along = 0; // metres from `from` toward `to`
};

} // namespace Pinrova::Sandbox
