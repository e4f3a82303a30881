#include "avsyncfigures.h"
#include "heardclicks.h"

#include <algorithm>

namespace {

using Clock = std::chrono::steady_clock;
using Milliseconds = std::chrono::duration<double, std::milli>;

constexpr Milliseconds kOpening(2000);
constexpr Milliseconds kFirstSecond(1000);

Clock::time_point afterFirstClick(const HeardClicks &clicks, Milliseconds span)
{
    return clicks.clicks().first().heard + std::chrono::duration_cast<Clock::duration>(span);
}

} // namespace

AvSyncFigures::AvSyncFigures(const PlaybackProbe &probe, const HeardClicks &clicks)
{
    if (clicks.clicks().isEmpty())
        return;
    measureOffsets(probe.frames(), clicks, &opening, &later);
    TimingSamples openingReports;
    measureOffsets(probe.positions(), clicks, &openingReports, &laterReports);
    measureGaps(probe.frames(), clicks);
}

void AvSyncFigures::measureOffsets(const Stamps &stamps, const HeardClicks &clicks,
                                   TimingSamples *opening, TimingSamples *later)
{
    const Clock::time_point openingEnd = afterFirstClick(clicks, kOpening);
    for (const PlaybackProbe::Stamp &stamp : stamps) {
        double heardMs = 0;
        if (!clicks.musicMsAt(stamp.at, &heardMs))
            continue;
        (stamp.at < openingEnd ? opening : later)->add(stamp.clock - heardMs);
    }
}

void AvSyncFigures::measureGaps(const Stamps &frames, const HeardClicks &clicks)
{
    const Clock::time_point firstSecondEnd = afterFirstClick(clicks, kFirstSecond);
    for (int index = 1; index < frames.size(); ++index) {
        const double gap = Milliseconds(frames[index].at - frames[index - 1].at).count();
        longestGap = std::max(longestGap, gap);
        if (frames[index].at > firstSecondEnd)
            longestLaterGap = std::max(longestLaterGap, gap);
    }
}
