#include "idlestandin.h"

#include <QDBusMessage>
#include <QTest>

namespace {
// What the portal holds off for a player: the session going idle.
constexpr uint kPortalInhibitIdle = 8;
} // namespace

const QString IdleStandIn::kPortal = QStringLiteral("org.freedesktop.portal.Desktop");
const QString IdleStandIn::kScreenSaver = QStringLiteral("org.freedesktop.ScreenSaver");

IdleStandIn::IdleStandIn(const QString &service, const QDBusConnection &bus)
    : service(service), bus(bus)
{
    if (service == kPortal)
        this->bus.registerObject(QStringLiteral("/org/freedesktop/portal/desktop"),
                                 QStringLiteral("org.freedesktop.portal.Inhibit"), this,
                                 QDBusConnection::ExportAllSlots);
    else if (service == kScreenSaver)
        this->bus.registerObject(QStringLiteral("/org/freedesktop/ScreenSaver"), kScreenSaver, this,
                                 QDBusConnection::ExportAllSlots);
    registered = service.isEmpty() || this->bus.registerService(service);
}

IdleStandIn::~IdleStandIn()
{
    if (!service.isEmpty())
        bus.unregisterService(service);
}

bool IdleStandIn::waitForHolds(int count, int timeoutMs)
{
    return QTest::qWaitFor([&] { return held == count; }, timeoutMs);
}

QDBusObjectPath IdleStandIn::Inhibit(const QString &, uint flags, const QVariantMap &)
{
    const QString request =
        QStringLiteral("/org/freedesktop/portal/desktop/request/tovek2/%1").arg(++made);
    if (flags == kPortalInhibitIdle &&
        bus.registerObject(request, QStringLiteral("org.freedesktop.portal.Request"), this,
                           QDBusConnection::ExportScriptableSlots))
        ++held;
    return QDBusObjectPath(request);
}

void IdleStandIn::Close()
{
    bus.unregisterObject(message().path());
    --held;
}

uint IdleStandIn::Inhibit(const QString &, const QString &)
{
    ++held;
    return ++made;
}

void IdleStandIn::UnInhibit(uint)
{
    --held;
}
