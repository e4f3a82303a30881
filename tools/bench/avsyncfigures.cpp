#include "avsyncfigures.h"
#include "heardclicks.h"

#include <algorithm>

namespace {

using Clock = std::chrono::steady_clock;
using Milliseconds = std::chrono::duration<double, std::milli>;

constexpr Milliseconds kOpening(2000);
constexpr Milliseconds kFirstSecond(1000);

} // namespace

AvSyncFigures::AvSyncFigures(const QVector<PlaybackProbe::Frame> &frames, const HeardClicks &clicks)
{
    measureOffsets(frames, clicks);
    measureGaps(frames);
}

void AvSyncFigures::measureOffsets(const QVector<PlaybackProbe::Frame> &frames,
                                   const HeardClicks &clicks)
{
    if (clicks.clicks().isEmpty())
        return;
    const Clock::time_point openingEnd =
        clicks.clicks().first().heard + std::chrono::duration_cast<Clock::duration>(kOpening);
    for (const PlaybackProbe::Frame &frame : frames) {
        double heardMs = 0;
        if (!clicks.musicMsAt(frame.shown, &heardMs))
            continue;
        (frame.shown < openingEnd ? opening : later).add(frame.clock - heardMs);
    }
}

void AvSyncFigures::measureGaps(const QVector<PlaybackProbe::Frame> &frames)
{
    if (frames.isEmpty())
        return;
    const Clock::time_point firstSecondEnd =
        frames.first().shown + std::chrono::duration_cast<Clock::duration>(kFirstSecond);
    for (int index = 1; index < frames.size(); ++index) {
        const double gap = Milliseconds(frames[index].shown - frames[index - 1].shown).count();
        longestGap = std::max(longestGap, gap);
        if (frames[index].shown > firstSecondEnd)
            longestLaterGap = std::max(longestLaterGap, gap);
    }
}
