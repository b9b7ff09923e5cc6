#include "streetgrid.h"

#include <cmath>

namespace Pinrova::Sandbox {

namespace {
constexpr double MetresPerDegree = 111320.0; // along a meridian, close enough for a demo
}

double StreetGrid::metresPerLatitudeStep()
{
    return LatitudeStep * MetresPerDegree;
}

double StreetGrid::metresPerLongitudeStep(double latitude)
{
    return LongitudeStep * MetresPerDegree * std::cos(latitude * 3.141592653589793 / 180.0);
}

} // namespace Pinrova::Sandbox
