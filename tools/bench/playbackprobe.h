#ifndef PLAYBACKPROBE_H
#define PLAYBACKPROBE_H

#include "timingsamples.h"

#include <QElapsedTimer>
#include <QObject>

class DemoPane;
class QMainWindow;

// Watches a playing player window from outside: counts the position reports its media object
// delivers and times each from the moment the event loop began delivering it to the moment
// its frame is finished. The window keeps its own connections and works as ever; the probe's
// connection runs after the window's slot, so a report's frame is drawn when it looks.
class PlaybackProbe : public QObject
{
    Q_OBJECT

public:
    // False in isAttached() when the window has no media object or pane to watch.
    explicit PlaybackProbe(QMainWindow *window);

    bool isAttached() const { return pane != nullptr; }
    int reports() const { return latencies.count(); }
    // Reports per second from the first report to the last.
    double reportRate() const;
    const TimingSamples &reportToFrame() const { return latencies; }

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private slots:
    void frameDrawn();

private:
    DemoPane *pane = nullptr;
    QElapsedTimer clock;
    qint64 deliveryStartNs = 0;
    qint64 firstReportNs = -1;
    qint64 lastReportNs = -1;
    TimingSamples latencies;
};

#endif
