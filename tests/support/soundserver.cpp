#include "soundserver.h"

#include <QFile>
#include <QProcess>
#include <QTest>

#include <cmath>

namespace {
const QString kSink = QStringLiteral("tovek2-test");
} // namespace

SoundServer::SoundServer(bool pipeWire)
{
    // WirePlumber, PipeWire's session manager, leaves without a session bus; each server
    // waits for the socket of the one before it, as its clients give up at once.
    const auto socket = [this](const QString &name) {
        return [this, name] { return QFile::exists(session.path(name)); };
    };
    started = session.startBus() &&
              (pipeWire ? session.start(QStringLiteral("pipewire"), {},
                                        socket(QStringLiteral("pipewire-0"))) &&
                              session.start(QStringLiteral("wireplumber"), {}) &&
                              session.start(QStringLiteral("pipewire-pulse"), {})
                        : session.start(QStringLiteral("pulseaudio"),
                                        {QStringLiteral("-n"), QStringLiteral("--daemonize=no"),
                                         QStringLiteral("--exit-idle-time=-1"),
                                         QStringLiteral("--load=module-native-protocol-unix")}));
}

bool SoundServer::prepare()
{
    const auto succeeds = [this](const QStringList &arguments) {
        return session.waitFor([&] { return !pactl(arguments).isNull(); });
    };
    return started && succeeds({QStringLiteral("info")}) &&
           !pactl({QStringLiteral("load-module"), QStringLiteral("module-null-sink"),
                   QStringLiteral("sink_name=") + kSink})
                .isNull() &&
           succeeds({QStringLiteral("set-default-sink"), kSink});
}

QProcessEnvironment SoundServer::onTheScreen() const
{
    QProcessEnvironment environment = session.environment;
    for (const char *name : {"DISPLAY", "QT_QPA_PLATFORM"})
        environment.insert(QString::fromLatin1(name), qEnvironmentVariable(name));
    return environment;
}

QByteArray SoundServer::pactl(const QStringList &arguments) const
{
    QProcess client;
    client.setProcessEnvironment(session.environment);
    client.start(QStringLiteral("pactl"), arguments);
    if (!client.waitForFinished(10000) || client.exitStatus() != QProcess::NormalExit ||
        client.exitCode() != 0)
        return QByteArray();
    const QByteArray output = client.readAllStandardOutput();
    return output.isNull() ? QByteArray("") : output;
}

int SoundServer::loudestSampleOver(int milliseconds) const
{
    QProcess recorder;
    recorder.setProcessEnvironment(session.environment);
    recorder.start(QStringLiteral("parec"),
                   {QStringLiteral("--device=") + kSink + QStringLiteral(".monitor"),
                    QStringLiteral("--raw"), QStringLiteral("--format=s16le"),
                    QStringLiteral("--channels=1"), QStringLiteral("--rate=44100")});
    if (!recorder.waitForStarted())
        return -1;
    QTest::qWait(milliseconds);
    recorder.terminate();
    recorder.waitForFinished();
    const QByteArray sound = recorder.readAllStandardOutput();
    int loudest = 0;
    for (int i = 0; i + 1 < sound.size(); i += 2) {
        const qint16 sample = qint16(quint8(sound[i]) | (quint8(sound[i + 1]) << 8));
        loudest = qMax(loudest, std::abs(int(sample)));
    }
    return sound.size() < 2 ? -1 : loudest;
}
