#pragma once

namespace Pinrova::Sandbox {

// The make-believe street network of the generated map: straight streets along every multiple
// of LatitudeStep and of LongitudeStep, the whole world over. Near Saint Petersburg both
// spacings come to about 167 m, a city block. The crowd walks along the same streets that the
// tiles draw, so people are seen on the streets.
struct StreetGrid
{
    static constexpr double LatitudeStep = 0.0015;
    static constexpr double LongitudeStep = 0.003;

    // Metres along one block in each direction at a latitude.
    static double metresPerLatitudeStep();
    static double metresPerLongitudeStep(double latitude);
};

} // namespace Pinrova::Sandbox
