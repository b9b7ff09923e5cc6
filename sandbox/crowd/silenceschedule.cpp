#include "silenceschedule.h"

#include <algorithm>
#include <cmath>

namespace Pinrova::Sandbox {

SilenceSchedule::SilenceSchedule(double share, double silenceSeconds)
    : share(std::clamp(share, 0.0, 1.0))
    , silence(std::max(silenceSeconds, 0.0))
{ }

bool SilenceSchedule::takesBreaks(int person) const
{
    // Person i is one of them when the running count floor((i + 1) * share) steps up at i.
    return std::floor((person + 1) * share + 1e-9) > std::floor(person * share + 1e-9);
}

bool SilenceSchedule::isSilent(int person, int crowdSize, double elapsedSeconds) const
{
    if (silence <= 0 || !takesBreaks(person))
        return false;
    const int breakers = std::max(1, static_cast<int>(std::floor(crowdSize * share + 1e-9)));
    const int rank = static_cast<int>(std::floor(person * share + 1e-9)); // among the breakers
    const double active = silence / 2;
    const double period = active + silence;
    const double phase = std::fmod(elapsedSeconds + period * rank / breakers, period);
    return phase >= active;
}

} // namespace Pinrova::Sandbox
