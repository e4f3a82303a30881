#include "frameplan.h"

FramePlan::FramePlan(int fps, int fromMs, int toMs)
    : fps(fps), firstFrame(firstFrameFrom(fromMs, fps)),
      count(static_cast<int>(qMax<qint64>(0, firstFrameFrom(toMs, fps) - firstFrame)))
{}

int FramePlan::clockOf(int frame) const
{
    return static_cast<int>(showClock(firstFrame + frame, fps));
}

double FramePlan::startSeconds() const
{
    return static_cast<double>(firstFrame) / fps;
}

double FramePlan::durationSeconds() const
{
    return static_cast<double>(count) / fps;
}

qint64 FramePlan::showClock(qint64 showFrame, int fps)
{
    // Rounds half up, in whole numbers so no frame drifts.
    return (2000 * showFrame + fps) / (2 * qint64(fps));
}

qint64 FramePlan::firstFrameFrom(int ms, int fps)
{
    // The exact quotient is at most one frame early; walk up to the first clock at or past ms.
    qint64 frame = qMax<qint64>(0, qint64(ms) * fps / 1000 - 1);
    while (showClock(frame, fps) < ms)
        ++frame;
    return frame;
}
