#ifndef AVSYNCFIGURES_H
#define AVSYNCFIGURES_H

#include "playbackprobe.h"
#include "timingsamples.h"

class HeardClicks;

// How far the picture is from the sound: for each frame from the first click heard on, its
// demo clock less the music heard when it was shown, over the opening (the first 2 s from that
// click) and over the rest; the same of each position the back end reported after the opening,
// as it arrived, which tells the picture's own share; and the longest gaps between frames.
class AvSyncFigures
{
public:
    AvSyncFigures(const PlaybackProbe &probe, const HeardClicks &clicks);

    const TimingSamples &openingOffsets() const { return opening; }
    const TimingSamples &laterOffsets() const { return later; }
    const TimingSamples &laterReportOffsets() const { return laterReports; }
    double longestGapMs() const { return longestGap; }
    // Of the gaps that end more than a second after the first click heard: before the sound
    // is heard, the picture holds the music's start.
    double longestLaterGapMs() const { return longestLaterGap; }

private:
    using Stamps = QVector<PlaybackProbe::Stamp>;

    static void measureOffsets(const Stamps &stamps, const HeardClicks &clicks,
                               TimingSamples *opening, TimingSamples *later);
    void measureGaps(const Stamps &frames, const HeardClicks &clicks);

    TimingSamples opening;
    TimingSamples later;
    TimingSamples laterReports;
    double longestGap = 0;
    double longestLaterGap = 0;
};

#endif
