#include "idleinhibitor.h"

#include <QCoreApplication>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusObjectPath>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QGuiApplication>
#include <QVariantMap>

#include <X11/Xlib.h>
#include <X11/extensions/scrnsaver.h>

namespace {

const QString kPortalService = QStringLiteral("org.freedesktop.portal.Desktop");
const QString kScreenSaverService = QStringLiteral("org.freedesktop.ScreenSaver");
// What the portal holds off: the session going idle.
constexpr uint kPortalInhibitIdle = 8;
// Letting go at the end waits this long at most for the desktop to hear it.
constexpr int kReleaseTimeoutMs = 1000;

QString reason()
{
    return QCoreApplication::translate("IdleInhibitor", "Playing the show");
}

} // namespace

IdleInhibitor::IdleInhibitor(QObject *parent) : QObject(parent) {}

IdleInhibitor::~IdleInhibitor()
{
    wanted = false;
    release(true);
}

void IdleInhibitor::setInhibited(bool inhibited)
{
    wanted = inhibited;
    // A request on its way settles itself when its answer comes.
    if (asking)
        return;
    if (wanted && hold == Hold::Nothing)
        askPortal();
    else if (!wanted)
        release(false);
}

template <typename Reply> void IdleInhibitor::ask(const QDBusMessage &request, Reply reply)
{
    asking = true;
    auto *watcher =
        new QDBusPendingCallWatcher(QDBusConnection::sessionBus().asyncCall(request), this);
    connect(watcher, &QDBusPendingCallWatcher::finished, this,
            [this, reply](QDBusPendingCallWatcher *answered) {
                asking = false;
                reply(answered);
                answered->deleteLater();
            });
}

void IdleInhibitor::askPortal()
{
    QDBusMessage inhibit = QDBusMessage::createMethodCall(
        kPortalService, QStringLiteral("/org/freedesktop/portal/desktop"),
        QStringLiteral("org.freedesktop.portal.Inhibit"), QStringLiteral("Inhibit"));
    inhibit << QString() << kPortalInhibitIdle << QVariantMap{{QStringLiteral("reason"), reason()}};
    ask(inhibit, [this](QDBusPendingCallWatcher *answered) {
        const QDBusPendingReply<QDBusObjectPath> request = *answered;
        if (request.isError())
            return askScreenSaver();
        portalRequest = request.value().path();
        held(Hold::Portal);
    });
}

void IdleInhibitor::askScreenSaver()
{
    QDBusMessage inhibit = QDBusMessage::createMethodCall(
        kScreenSaverService, QStringLiteral("/org/freedesktop/ScreenSaver"), kScreenSaverService,
        QStringLiteral("Inhibit"));
    inhibit << QCoreApplication::applicationName() << reason();
    ask(inhibit, [this](QDBusPendingCallWatcher *answered) {
        const QDBusPendingReply<uint> cookie = *answered;
        if (cookie.isError())
            return suspendX11ScreenSaver();
        screenSaverCookie = cookie.value();
        held(Hold::ScreenSaver);
    });
}

void IdleInhibitor::suspendX11ScreenSaver()
{
    // Only where the player draws on an X server; a suspension lasts as long as the connection
    // that asked for it.
    if (!wanted || QGuiApplication::platformName() != QLatin1String("xcb"))
        return;
    x11 = XOpenDisplay(nullptr);
    int event = 0;
    int error = 0;
    if (x11 && XScreenSaverQueryExtension(x11, &event, &error)) {
        XScreenSaverSuspend(x11, True);
        XFlush(x11);
        held(Hold::X11);
    } else if (x11) {
        XCloseDisplay(x11);
        x11 = nullptr;
    }
}

void IdleInhibitor::held(Hold kind)
{
    hold = kind;
    if (!wanted)
        release(false);
}

void IdleInhibitor::release(bool waitForTheDesktop)
{
    QDBusMessage letGo;
    switch (hold) {
    case Hold::Nothing:
        return;
    case Hold::Portal:
        letGo = QDBusMessage::createMethodCall(kPortalService, portalRequest,
                                               QStringLiteral("org.freedesktop.portal.Request"),
                                               QStringLiteral("Close"));
        break;
    case Hold::ScreenSaver:
        letGo = QDBusMessage::createMethodCall(kScreenSaverService,
                                               QStringLiteral("/org/freedesktop/ScreenSaver"),
                                               kScreenSaverService, QStringLiteral("UnInhibit"));
        letGo << screenSaverCookie;
        break;
    case Hold::X11:
        XScreenSaverSuspend(x11, False);
        XCloseDisplay(x11);
        x11 = nullptr;
        break;
    }
    hold = Hold::Nothing;
    if (letGo.type() == QDBusMessage::InvalidMessage)
        return;
    // At the end the process may be gone before a message queued for sending is sent.
    if (waitForTheDesktop)
        QDBusConnection::sessionBus().call(letGo, QDBus::Block, kReleaseTimeoutMs);
    else
        QDBusConnection::sessionBus().asyncCall(letGo);
}
