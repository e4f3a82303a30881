#include "playbackprobe.h"
#include "demopane.h"

#include <QCoreApplication>
#include <QEvent>
#include <QMainWindow>
#include <phonon/MediaObject>

#include <GL/gl.h>

PlaybackProbe::PlaybackProbe(QMainWindow *window) : QObject(window)
{
    auto *media = window->findChild<Phonon::MediaObject *>();
    auto *demoPane = window->findChild<DemoPane *>();
    if (!media || !demoPane)
        return;
    pane = demoPane;
    clock.start();
    // Reports reach the window from a timer or from another thread as a queued call; either
    // way the event that carries one is the last of those kinds delivered before it.
    QCoreApplication::instance()->installEventFilter(this);
    connect(media, SIGNAL(tick(qint64)), this, SLOT(frameDrawn()));
}

double PlaybackProbe::reportRate() const
{
    const double seconds = (lastReportNs - firstReportNs) / 1e9;
    return seconds > 0 ? (reports() - 1) / seconds : 0;
}

bool PlaybackProbe::eventFilter(QObject *watched, QEvent *event)
{
    if (event->type() == QEvent::Timer || event->type() == QEvent::MetaCall)
        deliveryStartNs = clock.nsecsElapsed();
    return QObject::eventFilter(watched, event);
}

void PlaybackProbe::frameDrawn()
{
    pane->makeCurrent();
    glFinish();
    const qint64 now = clock.nsecsElapsed();
    latencies.add((now - deliveryStartNs) / 1e6);
    if (firstReportNs < 0)
        firstReportNs = now;
    lastReportNs = now;
}
