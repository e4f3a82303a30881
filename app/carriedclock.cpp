#include "carriedclock.h"
#include "timeline.h"

#include <QElapsedTimer>
#include <QTimer>

#include <algorithm>
#include <memory>

namespace {

// How many of the latest report intervals and frame times the measurements go by.
constexpr int kRemembered = 8;
// Intervals measured before the reports are judged: two, the first of which may pay for
// start-up. A back end that reports coarsely does so from its first reports on (VLC's every
// quarter of a second), and its frames are carried from its third report.
constexpr int kIntervalsToJudge = 2;
// Reports at least this frequent already change the picture at every refresh of a screen.
constexpr qint64 kFinestCoarseIntervalMs = 17;
// Carrying pays where a report interval holds two frames or more.
constexpr qint64 kFramesPerCoarseInterval = 2;
// After a report's frame the next carried frame waits this long: a back end that reports
// whenever the event loop is free (GStreamer's) reports within it, and that report, not a
// carried frame, draws the next picture. Otherwise a carried frame would slip in before each
// report, make the intervals two frames long and keep the carrying going by itself.
constexpr qint64 kReportGraceMs = 3;
// A back end silent for longer than this has stalled, whatever its pace.
constexpr qint64 kLongestCarryMs = 500;
// Carried frames stop short of the show's end: only a report, or the music's end, ends it.
constexpr qint64 kLastCarriedMs = Timeline::kShowEndMs - 1;

void remember(QVector<qint64> &values, qint64 value)
{
    if (values.size() == kRemembered)
        values.removeFirst();
    values.append(value);
}

qint64 median(QVector<qint64> values)
{
    const auto middle = values.begin() + values.size() / 2;
    std::nth_element(values.begin(), middle, values.end());
    return *middle;
}

CarriedClock::TimeSource elapsedTimer()
{
    auto timer = std::make_shared<QElapsedTimer>();
    timer->start();
    return [timer] { return timer->elapsed(); };
}

} // namespace

CarriedClock::CarriedClock(QObject *parent, TimeSource now)
    : QObject(parent), now(now ? std::move(now) : elapsedTimer()), nextFrame(new QTimer(this))
{
    // The next carried frame is asked for as soon as the event loop is free, so frames come
    // as fast as they can be drawn, or at the screen's refresh where the driver waits for it.
    nextFrame->setSingleShot(true);
    connect(nextFrame, &QTimer::timeout, this, [this] { emit frameDue(carry()); });
}

qint64 CarriedClock::report(qint64 position)
{
    const qint64 at = now();
    // Once carried past the latest report, the clock is up to one limit ahead of the reports,
    // and a lagging report may come as late again; anything further back is a seek or a
    // restart. Never carried, it follows the reports back and forth.
    const quint64 tolerated = shown > latestPosition ? quint64(2 * kLongestCarryMs) : 0;
    const bool stepsBack =
        reported && position < shown && quint64(shown) - quint64(position) > tolerated;
    // Where frames are carried, a report behind the carried clock (a repeat, or one that waited
    // behind a frame) neither takes it back nor brings a picture of its own: its frame is left
    // to the carried frames, so that reports never queue up behind frames drawn for them.
    const qint64 carried = carriedTo(at);
    const bool behind =
        reported && !stepsBack && playing && reportsAreCoarse() && position < carried;
    if (!reported || position != latestPosition) {
        if (measuringFromLatest && playing)
            remember(reportIntervals, at - latestArrival);
        latestPosition = position;
        latestArrival = at;
        measuringFromLatest = playing;
        // Behind it, a new position lets the clock go on from where it stands: held at its
        // limit while the reports stood still, it would otherwise leap ahead by the whole wait.
        carriedFrom = behind ? carried : position;
        carriedSince = at;
    }
    const qint64 clock =
        !reported || stepsBack ? position : std::max({shown, position, carriedTo(at)});
    reported = true;
    drawsReport = !behind;
    if (drawsReport) {
        shown = clock;
        frameStart = at;
        reportsFrame = true;
    } else {
        // The picture stays what it was until a carried frame shows the clock: counted as
        // shown already, it would stand still while the clock ran on undrawn.
        scheduleNextFrame(at);
    }
    return clock;
}

void CarriedClock::setPlaying(bool nowPlaying)
{
    if (nowPlaying && !playing) {
        // The music resumes where the picture stopped; the pause is no playback.
        carriedFrom = shown;
        carriedSince = now();
    } else if (!nowPlaying) {
        nextFrame->stop();
        measuringFromLatest = false;
    }
    playing = nowPlaying;
}

void CarriedClock::frameFinished()
{
    const qint64 at = now();
    remember(frameTimes, at - frameStart);
    scheduleNextFrame(at);
}

void CarriedClock::scheduleNextFrame(qint64 at)
{
    if (!playing || !reportsAreCoarse() || shown >= ceiling()) {
        nextFrame->stop();
        return;
    }
    // A frame already asked for keeps its time: reports that come every millisecond, one
    // position again and again (GStreamer's as PulseAudio starts), would put it off for good.
    if (nextFrame->isActive())
        return;
    // After a lagging report the carried clock catches up with the picture before it moves it.
    const qint64 catchingUp = shown + 1 - carriedTo(at);
    nextFrame->start(int(std::max({catchingUp, reportsFrame ? kReportGraceMs : 0, qint64(0)})));
}

bool CarriedClock::carries() const
{
    return nextFrame->isActive();
}

qint64 CarriedClock::carry()
{
    const qint64 at = now();
    frameStart = at;
    reportsFrame = false;
    shown = std::max(shown, carriedTo(at));
    return shown;
}

bool CarriedClock::reportsAreCoarse() const
{
    if (reportIntervals.size() < kIntervalsToJudge || frameTimes.isEmpty())
        return false;
    const qint64 interval = median(reportIntervals);
    return interval >= kFinestCoarseIntervalMs &&
           interval >= kFramesPerCoarseInterval * median(frameTimes);
}

qint64 CarriedClock::carryLimit() const
{
    if (reportIntervals.isEmpty())
        return 0;
    // A report may come late by as much again as the reports' usual interval (VLC's back end
    // now and then leaves 380 ms between reports a quarter of a second apart): the picture
    // moves on meanwhile, rather than stand still until the report comes.
    const qint64 longest = *std::max_element(reportIntervals.begin(), reportIntervals.end());
    return std::min(std::max(longest, 2 * median(reportIntervals)), kLongestCarryMs);
}

qint64 CarriedClock::ceiling() const
{
    if (latestPosition >= kLastCarriedMs)
        return latestPosition;
    return std::min(latestPosition + carryLimit(), kLastCarriedMs);
}

qint64 CarriedClock::carriedTo(qint64 now) const
{
    if (!playing || !reportsAreCoarse() || carriedFrom >= ceiling())
        return carriedFrom;
    return std::min(carriedFrom + std::max<qint64>(0, now - carriedSince), ceiling());
}
