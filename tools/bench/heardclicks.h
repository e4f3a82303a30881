#ifndef HEARDCLICKS_H
#define HEARDCLICKS_H

#include "sinkrecording.h"

#include <QVector>

// The clicks of the click tune found in a recording of the sink: when each was heard and where
// it lies in the music. Between two clicks heard, the music is taken to have played evenly.
class HeardClicks
{
public:
    using Clock = SinkRecording::Clock;

    struct Click
    {
        Clock::time_point heard;
        int musicMs;
    };

    explicit HeardClicks(const SinkRecording &recording);

    const QVector<Click> &clicks() const { return heard; }
    // The music heard at that moment, in ms; false before the first click heard or after the
    // last.
    bool musicMsAt(Clock::time_point at, double *musicMs) const;

private:
    // A stretch of the recording loud enough for a click, in samples.
    struct Burst
    {
        qint64 start;
        qint64 end;
    };
    // A burst as long as a click of the tune, with its place in the cycle.
    struct Candidate
    {
        qint64 start;
        int place;
    };

    static QVector<Burst> findBursts(const SinkRecording &recording);
    QVector<Candidate> candidatesAmong(const QVector<Burst> &bursts) const;
    // How many clicks on from earlier later is: as many as their places say, and as many whole
    // cycles more as the time between them asks for.
    int clicksBetween(const Candidate &earlier, const Candidate &later) const;
    // Whether the time between two candidates is as long as the clicks between them take.
    bool agree(const Candidate &earlier, const Candidate &later) const;
    double intervalsBetween(const Candidate &earlier, const Candidate &later) const;

    int rate;
    QVector<Click> heard;
};

#endif
