#include "privatesession.h"

#include <QDeadlineTimer>
#include <QFile>
#include <QProcess>
#include <QTest>

namespace {
constexpr int kPollMs = 50;
constexpr int kStopTimeoutMs = 5000;
} // namespace

PrivateSession::PrivateSession() : environment(QProcessEnvironment::systemEnvironment())
{
    QFile::setPermissions(runtime.path(), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    environment.insert(QStringLiteral("XDG_RUNTIME_DIR"), runtime.path());
    // Cookies, caches and settings go to a home of its own.
    environment.insert(QStringLiteral("HOME"), runtime.path());
    // Nothing of the session the test runs in reaches this one.
    for (const char *name :
         {"DISPLAY", "WAYLAND_DISPLAY", "XAUTHORITY", "QT_QPA_PLATFORM",
          "QT_WAYLAND_DISABLE_WINDOWDECORATION", "PULSE_SERVER", "DBUS_SESSION_BUS_ADDRESS"})
        environment.remove(QString::fromLatin1(name));
}

PrivateSession::~PrivateSession()
{
    QDBusConnection::disconnectFromBus(runtime.path());
    // A server may depend on the ones started before it: they stop the other way round.
    for (auto server = servers.rbegin(); server != servers.rend(); ++server) {
        QProcess *process = server->get();
        process->terminate();
        if (!process->waitForFinished(kStopTimeoutMs))
            process->kill();
        process->waitForFinished();
    }
}

QString PrivateSession::path(const QString &name) const
{
    return runtime.filePath(name);
}

bool PrivateSession::start(const QString &program, const QStringList &arguments,
                           const std::function<bool()> &ready)
{
    return start(program, arguments, environment, ready);
}

bool PrivateSession::start(const QString &program, const QStringList &arguments,
                           const QProcessEnvironment &environment,
                           const std::function<bool()> &ready)
{
    servers.emplace_back(new QProcess);
    QProcess *server = servers.back().get();
    server->setProcessEnvironment(environment);
    server->setWorkingDirectory(runtime.path());
    server->start(program, arguments);
    if (!server->waitForStarted()) {
        printed += program.toLocal8Bit() + ": " + server->errorString().toLocal8Bit() + '\n';
        return false;
    }
    return !ready || waitFor(ready);
}

bool PrivateSession::startBus()
{
    const QString bus = QStringLiteral("unix:path=") + path(QStringLiteral("bus"));
    environment.insert(QStringLiteral("DBUS_SESSION_BUS_ADDRESS"), bus);
    return start(QStringLiteral("dbus-daemon"),
                 {QStringLiteral("--session"), QStringLiteral("--nofork"),
                  QStringLiteral("--address=") + bus},
                 [this] { return QFile::exists(path(QStringLiteral("bus"))); });
}

QDBusConnection PrivateSession::bus() const
{
    // Named after the session, so that a later session's connection is not taken for this one.
    return QDBusConnection::connectToBus(
        environment.value(QStringLiteral("DBUS_SESSION_BUS_ADDRESS")), runtime.path());
}

bool PrivateSession::startScreen(const QSize &size, QString *display)
{
    // Xvfb picks a free display and names it on its standard output once it takes clients.
    QProcess *screen = nullptr;
    const bool started =
        start(QStringLiteral("Xvfb"),
              {QStringLiteral("-displayfd"), QStringLiteral("1"), QStringLiteral("-screen"),
               QStringLiteral("0"), QStringLiteral("%1x%2x24").arg(size.width()).arg(size.height()),
               QStringLiteral("-nolisten"), QStringLiteral("tcp")},
              [&] {
                  screen = servers.back().get();
                  return screen->canReadLine();
              });
    if (!started)
        return false;
    *display = QLatin1Char(':') + QString::fromLatin1(screen->readLine()).trimmed();
    return display->size() > 1;
}

bool PrivateSession::waitFor(const std::function<bool()> &ready, int timeoutMs)
{
    for (QDeadlineTimer deadline(timeoutMs); !deadline.hasExpired(); QTest::qWait(kPollMs)) {
        for (const auto &server : servers) {
            if (server->state() == QProcess::NotRunning) {
                printed += server->program().toLocal8Bit() + " ended\n";
                return false;
            }
        }
        if (ready())
            return true;
    }
    return false;
}

QByteArray PrivateSession::log()
{
    for (const auto &server : servers)
        printed += server->readAllStandardOutput() + server->readAllStandardError();
    return printed;
}
