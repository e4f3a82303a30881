#ifndef PLAYBACKPROBE_H
#define PLAYBACKPROBE_H

#include "timingsamples.h"

#include <QElapsedTimer>
#include <QObject>
#include <QVector>

#include <chrono>

class CarriedClock;
class DemoPane;
class QMainWindow;

// Watches a playing player window from outside: counts the position reports its media object
// delivers, the frames carried between them and the different pictures among all frames, and
// times each report from the moment the event loop began delivering it to the moment its frame
// is finished, and notes each frame drawn. The window keeps its own connections and works as ever;
// the probe's connections run after the window's, so a frame is drawn when it looks.
class PlaybackProbe : public QObject
{
    Q_OBJECT

public:
    // A demo clock and a moment: a frame drawn and when it was finished and on its way to the
    // screen, or a new position reported and when it arrived.
    struct Stamp
    {
        int clock;
        std::chrono::steady_clock::time_point at;
    };

    // False in isAttached() when the window has no media object or pane to watch.
    explicit PlaybackProbe(QMainWindow *window);

    bool isAttached() const { return pane != nullptr; }
    int reports() const { return latencies.count(); }
    // Reports per second from the first report to the last.
    double reportRate() const;
    // Reports of a position other than the one before, per second over the same span. A back
    // end may report one position again when playback falls behind for a moment.
    double newPositionRate() const;
    // Frames carried between reports, per second over the same span.
    double carriedRate() const;
    // Frames whose clock differs from the frame's before, per second over the same span. A
    // back end that repeats its reports draws fewer.
    double pictureRate() const;
    // The Phonon back end that plays, as its objects name it ("Gstreamer", "VLC").
    QString backEnd() const { return backEndName; }
    const TimingSamples &reportToFrame() const { return latencies; }
    const QVector<Stamp> &frames() const { return drawn; }
    // Each position reported, as it first arrived.
    const QVector<Stamp> &positions() const { return reported; }

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private slots:
    void reportDrawn(qint64 position);
    void carriedFrameDrawn();

private:
    void frameDrawn();
    double perSecond(int count) const;
    static QString backEndOf(const QObject *media);

    DemoPane *pane = nullptr;
    CarriedClock *carriedClock = nullptr;
    QString backEndName;
    QElapsedTimer clock;
    qint64 deliveryStartNs = 0;
    std::chrono::steady_clock::time_point deliveryStart;
    qint64 firstReportNs = -1;
    qint64 lastReportNs = -1;
    int lastClock = 0;
    int carriedFrames = 0;
    int pictures = 0;
    // The counts as the latest report left them.
    int carriedInSpan = 0;
    int picturesInSpan = 0;
    TimingSamples latencies;
    QVector<Stamp> drawn;
    QVector<Stamp> reported;
};

#endif
