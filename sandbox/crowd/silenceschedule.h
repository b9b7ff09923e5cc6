#pragma once

namespace Pinrova::Sandbox {

// Which of the crowd's people are not reporting at a moment, so the map shows offline people
// too. A share of the people, spread evenly over the crowd, take turns: each reports for half
// the silence, then keeps quiet for the whole silence, their cycles staggered so that some are
// always quiet. The position service lists someone as offline once their last report is older
// than its online window, so a silence longer than that window shows them offline for the
// difference.
class SilenceSchedule
{
public:
    SilenceSchedule(double share, double silenceSeconds);

    bool takesBreaks(int person) const;
    bool isSilent(int person, int crowdSize, double elapsedSeconds) const;

private:
    double share;
    double silence;
};

} // namespace Pinrova::Sandbox
