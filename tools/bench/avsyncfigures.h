#ifndef AVSYNCFIGURES_H
#define AVSYNCFIGURES_H

#include "playbackprobe.h"
#include "timingsamples.h"

class HeardClicks;

// How far the picture is from the sound: for each frame from the first click heard on, its
// demo clock less the music heard when it was shown, over the opening (the first 2 s from that
// click) and over the rest; and the longest gaps between frames, the opening's stalls apart.
class AvSyncFigures
{
public:
    AvSyncFigures(const QVector<PlaybackProbe::Frame> &frames, const HeardClicks &clicks);

    const TimingSamples &openingOffsets() const { return opening; }
    const TimingSamples &laterOffsets() const { return later; }
    double longestGapMs() const { return longestGap; }
    // Of the gaps that end after the first second from the first frame.
    double longestLaterGapMs() const { return longestLaterGap; }

private:
    void measureOffsets(const QVector<PlaybackProbe::Frame> &frames, const HeardClicks &clicks);
    void measureGaps(const QVector<PlaybackProbe::Frame> &frames);

    TimingSamples opening;
    TimingSamples later;
    double longestGap = 0;
    double longestLaterGap = 0;
};

#endif
