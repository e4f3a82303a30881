#ifndef FRAMEPLAN_H
#define FRAMEPLAN_H

#include <QtGlobal>

// Which frames of the show a video at a given rate holds: frame k of the whole show is drawn
// at demo clock round(k * 1000 / fps) ms, and a range keeps the frames whose clocks fall in
// [fromMs, toMs). Frames are counted from the first one kept.
class FramePlan
{
public:
    FramePlan(int fps, int fromMs, int toMs);

    int frameCount() const { return count; }
    int clockOf(int frame) const;
    // Where the first kept frame lies in the show, in seconds: where the music starts.
    double startSeconds() const;
    double durationSeconds() const;

private:
    static qint64 showClock(qint64 showFrame, int fps);
    static qint64 firstFrameFrom(int ms, int fps);

    int fps;
    qint64 firstFrame;
    int count;
};

#endif
