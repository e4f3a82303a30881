#ifndef IDLESTANDIN_H
#define IDLESTANDIN_H

#include <QDBusConnection>
#include <QDBusContext>
#include <QDBusObjectPath>
#include <QObject>
#include <QVariantMap>

// Stands in for the desktop's idle inhibition on a session bus, as the desktop portal (GNOME)
// or the freedesktop screen saver service (KDE) offers it, and counts the holds on it: one
// while a player plays.
class IdleStandIn : public QObject, protected QDBusContext
{
    Q_OBJECT

public:
    static const QString kPortal;
    static const QString kScreenSaver;

    // Offers service on bus; an empty service offers nothing.
    IdleStandIn(const QString &service, const QDBusConnection &bus = QDBusConnection::sessionBus());
    ~IdleStandIn() override;

    bool isRegistered() const { return registered; }
    int holds() const { return held; }
    // Waits for the holds to come to count; false when they do not within timeoutMs.
    bool waitForHolds(int count, int timeoutMs);

public slots:
    // The portal's: a hold is a request object, which lets go when it is closed.
    QDBusObjectPath Inhibit(const QString &window, uint flags, const QVariantMap &options);
    Q_SCRIPTABLE void Close();
    // The screen saver service's: a hold is a cookie.
    uint Inhibit(const QString &application, const QString &reason);
    void UnInhibit(uint cookie);

private:
    const QString service;
    QDBusConnection bus;
    bool registered = false;
    int held = 0;
    int made = 0;
};

#endif
