#ifndef CARRIEDCLOCK_H
#define CARRIEDCLOCK_H

#include <QObject>
#include <QVector>

#include <functional>

class QTimer;

// The demo clock between position reports. Some media back ends report the playback position
// far more coarsely than frames can be drawn (VLC's about every quarter of a second, each
// position twice); between their reports the clock is carried forward from the latest one by
// a monotonic timer, one frame after another. Where reports come at least as often as frames,
// nothing is carried: each report's frame shows the reported position.
class CarriedClock : public QObject
{
    Q_OBJECT

public:
    // Milliseconds of a monotonic clock.
    using TimeSource = std::function<qint64()>;

    // Without a time source the clock reads a QElapsedTimer.
    explicit CarriedClock(QObject *parent = nullptr, TimeSource now = TimeSource());

    // A position report: returns the clock its frame shows.
    qint64 report(qint64 position);
    // Whether the latest report's frame is to be drawn: every report's where frames come one a
    // report; where frames are carried, only that of a report ahead of the carried clock.
    bool drawsReportFrame() const { return drawsReport; }
    // Nothing is carried while the media is not playing.
    void setPlaying(bool playing);
    // The frame of the clock last handed out is finished: schedules a carried frame when the
    // clock has somewhere to go before the next report.
    void frameFinished();
    // A carried frame is scheduled.
    bool carries() const;
    // The clock of a carried frame drawn now.
    qint64 carry();

signals:
    // Time for a carried frame: draw clock, then call frameFinished().
    void frameDue(qint64 clock);

private:
    // Reports come so much more coarsely than frames that carrying the clock pays.
    bool reportsAreCoarse() const;
    // How far past the latest report the clock may be carried: the longest report interval
    // or two usual ones.
    qint64 carryLimit() const;
    // The clock can be carried up to here before the next report.
    qint64 ceiling() const;
    // The clock carried forward to now, held within its limits.
    qint64 carriedTo(qint64 now) const;
    // Asks for a carried frame when the clock has somewhere to go before the next report.
    void scheduleNextFrame(qint64 now);

    TimeSource now;
    QTimer *nextFrame;
    bool playing = false;
    bool reported = false;
    // The clock of the latest frame handed out.
    qint64 shown = 0;
    // The latest position reported, and when it first came; a repeat keeps its first time.
    qint64 latestPosition = 0;
    qint64 latestArrival = 0;
    // Whether the latest arrival can start a measured report interval.
    bool measuringFromLatest = false;
    // Where the clock is carried from, and since when: the latest report, or the picture at a
    // pause.
    qint64 carriedFrom = 0;
    qint64 carriedSince = 0;
    qint64 frameStart = 0;
    // Whether the frame drawn last was a report's, and whether the latest report draws one.
    bool reportsFrame = false;
    bool drawsReport = true;
    QVector<qint64> reportIntervals;
    QVector<qint64> frameTimes;
};

#endif
