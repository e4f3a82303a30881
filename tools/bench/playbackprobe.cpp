#include "playbackprobe.h"
#include "carriedclock.h"
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
    auto *carried = window->findChild<CarriedClock *>();
    if (!media || !demoPane || !carried)
        return;
    pane = demoPane;
    carriedClock = carried;
    backEndName = backEndOf(media);
    clock.start();
    // Reports reach the window from a timer or from another thread as a queued call; either
    // way the event that carries one is the last of those kinds delivered before it.
    QCoreApplication::instance()->installEventFilter(this);
    connect(media, SIGNAL(tick(qint64)), this, SLOT(reportDrawn(qint64)));
    connect(carriedClock, SIGNAL(frameDue(qint64)), this, SLOT(carriedFrameDrawn()));
}

// The span runs from the first report's frame to the last one's: what fell between them counts,
// the first report's frame not.
double PlaybackProbe::reportRate() const
{
    return perSecond(reports() - 1);
}

double PlaybackProbe::newPositionRate() const
{
    return perSecond(reported.count() - 1);
}

double PlaybackProbe::carriedRate() const
{
    return perSecond(carriedInSpan);
}

double PlaybackProbe::pictureRate() const
{
    return perSecond(picturesInSpan - 1);
}

double PlaybackProbe::perSecond(int count) const
{
    const double seconds = (lastReportNs - firstReportNs) / 1e9;
    return seconds > 0 ? count / seconds : 0;
}

QString PlaybackProbe::backEndOf(const QObject *media)
{
    // The back end's own media object is the front end's child, of a class named like
    // Phonon::Gstreamer::MediaObject or Phonon::VLC::MediaObject.
    const QObjectList children = media->children();
    const QStringList names = children.isEmpty()
                                  ? QStringList()
                                  : QString::fromLatin1(children.first()->metaObject()->className())
                                        .split(QStringLiteral("::"));
    return names.size() == 3 ? names.at(1) : QStringLiteral("no");
}

bool PlaybackProbe::eventFilter(QObject *watched, QEvent *event)
{
    if (event->type() == QEvent::Timer || event->type() == QEvent::MetaCall) {
        deliveryStartNs = clock.nsecsElapsed();
        deliveryStart = std::chrono::steady_clock::now();
    }
    return QObject::eventFilter(watched, event);
}

void PlaybackProbe::reportDrawn(qint64 position)
{
    if (reported.isEmpty() || reported.last().clock != int(position))
        reported.append({int(position), deliveryStart});
    // Where frames are carried, a report behind the carried clock draws none.
    if (carriedClock->drawsReportFrame())
        frameDrawn();
    const qint64 now = clock.nsecsElapsed();
    latencies.add((now - deliveryStartNs) / 1e6);
    if (firstReportNs < 0)
        firstReportNs = now;
    lastReportNs = now;
    carriedInSpan = carriedFrames;
    picturesInSpan = pictures;
}

void PlaybackProbe::carriedFrameDrawn()
{
    frameDrawn();
    ++carriedFrames;
}

void PlaybackProbe::frameDrawn()
{
    pane->makeCurrent();
    glFinish();
    drawn.append({pane->demoClock(), std::chrono::steady_clock::now()});
    if (pictures == 0 || pane->demoClock() != lastClock)
        ++pictures;
    lastClock = pane->demoClock();
}
