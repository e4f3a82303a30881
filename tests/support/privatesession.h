#ifndef PRIVATESESSION_H
#define PRIVATESESSION_H

#include <QByteArray>
#include <QDBusConnection>
#include <QProcessEnvironment>
#include <QSize>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>

#include <functional>
#include <memory>
#include <vector>

class QProcess;

// A desktop session of a test's own: a runtime folder that is also its home, the environment its
// programs share, and its servers, started one after another, each waited for, and stopped in
// the reverse order by process id when the session goes.
class PrivateSession
{
public:
    static constexpr int kStartTimeoutMs = 20000;

    PrivateSession();
    ~PrivateSession();
    PrivateSession(const PrivateSession &) = delete;
    PrivateSession &operator=(const PrivateSession &) = delete;

    QString path(const QString &name) const;
    // Starts a server of the session with the session's environment, or with environment, and
    // waits until ready() holds; false when it does not in time or a server has ended.
    bool start(const QString &program, const QStringList &arguments,
               const std::function<bool()> &ready = {});
    bool start(const QString &program, const QStringList &arguments,
               const QProcessEnvironment &environment, const std::function<bool()> &ready = {});
    // A session bus, which the environment then names, and the test's own connection to it.
    bool startBus();
    QDBusConnection bus() const;
    // A virtual X screen of the size; its display (":N") goes to display.
    bool startScreen(const QSize &size, QString *display);
    // Waits until ready() holds while every server runs; false otherwise.
    bool waitFor(const std::function<bool()> &ready, int timeoutMs = kStartTimeoutMs);
    // Everything the servers printed.
    QByteArray log();

    QProcessEnvironment environment;

private:
    QTemporaryDir runtime;
    std::vector<std::unique_ptr<QProcess>> servers;
    QByteArray printed;
};

#endif
