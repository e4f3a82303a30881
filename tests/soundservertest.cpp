// The real player with a desktop's sound server: PulseAudio, or PipeWire with its PulseAudio
// service, each started on a private runtime folder with a null sink. The player's stream must
// reach the server with real sound while the picture keeps moving, through the media back end
// the player chooses, or the one the user names.
#include "phononbackends.h"
#include "playerrun.h"
#include "privatesession.h"
#include "testmedia.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QtTest>

#include <cmath>

namespace {

constexpr int kRecordMs = 3000;
const QString kSink = QStringLiteral("tovek2-test");

// A sound server of the kind a desktop runs, in a session of its own.
class SoundServer
{
public:
    explicit SoundServer(bool pipeWire)
    {
        // WirePlumber, PipeWire's session manager, leaves without a session bus; each server
        // waits for the socket of the one before it, as its clients give up at once.
        const auto socket = [this](const QString &name) {
            return [this, name] { return QFile::exists(session.path(name)); };
        };
        started =
            session.startBus() &&
            (pipeWire ? session.start(QStringLiteral("pipewire"), {},
                                      socket(QStringLiteral("pipewire-0"))) &&
                            session.start(QStringLiteral("wireplumber"), {}) &&
                            session.start(QStringLiteral("pipewire-pulse"), {})
                      : session.start(QStringLiteral("pulseaudio"),
                                      {QStringLiteral("-n"), QStringLiteral("--daemonize=no"),
                                       QStringLiteral("--exit-idle-time=-1"),
                                       QStringLiteral("--load=module-native-protocol-unix")}));
    }

    // Waits for the server to answer, then makes a null sink its default output.
    bool prepare()
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

    // What pactl prints for the arguments; a null array when it fails.
    QByteArray pactl(const QStringList &arguments) const
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

    // The loudest of the 16-bit samples the null sink plays over the next milliseconds.
    int loudestSampleOver(int milliseconds) const
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

    PrivateSession session;

private:
    bool started = false;
};

} // namespace

class SoundServerTest : public QObject
{
    Q_OBJECT

private slots:
    void showIsHeardAndSeen_data();
    void showIsHeardAndSeen();
};

void SoundServerTest::showIsHeardAndSeen_data()
{
    QTest::addColumn<bool>("pipeWire");
    QTest::addColumn<bool>("userChooses");
    QTest::addColumn<QString>("expectedPlugin");

    // With Qt 5 both back ends are installed, as on a KDE desktop: the player picks
    // GStreamer's, unless the user names VLC's. Phonon for Qt 6 has VLC's only.
    const QString players = PhononBackEnds::installed(QStringLiteral(TOVEK2_PLAYERS_BACKEND));
    QTest::newRow("PulseAudio") << false << false << players;
    QTest::newRow("PipeWire") << true << false << players;
    QTest::newRow("PipeWire, VLC chosen")
        << true << true << PhononBackEnds::installed(QStringLiteral("phonon_vlc"));
}

void SoundServerTest::showIsHeardAndSeen()
{
    QFETCH(bool, pipeWire);
    QFETCH(bool, userChooses);
    QFETCH(QString, expectedPlugin);
    QVERIFY2(!expectedPlugin.isEmpty(), "the back end is not installed");
#ifdef TOVEK2_SANITIZED
    // VLC's back end, and Phonon's objects for it, are not freed before the process ends.
    if (userChooses)
        QSKIP("VLC's back end leaks at exit, which the leak checker would count against us");
#endif

    SoundServer server(pipeWire);
    QVERIFY2(server.prepare(), "the sound server did not come up");
    QTemporaryDir data;
    QVERIFY(TestMedia::writeMovingShow(data.path()));

    X11Session x11;
    QProcessEnvironment environment = server.session.environment;
    // The test's screen is the desktop's.
    for (const char *name : {"DISPLAY", "QT_QPA_PLATFORM"})
        environment.insert(QString::fromLatin1(name), qEnvironmentVariable(name));
    environment.remove(QStringLiteral("PHONON_BACKEND"));
    if (userChooses)
        environment.insert(QStringLiteral("PHONON_BACKEND"), QFileInfo(expectedPlugin).baseName());
    PlayerRun player(data.path(), environment);
    VERIFY_NO_PROBLEM(player.showsFullScreen(x11));

    // The player's own stream, named by its process id, plays into the server.
    const QByteArray ownStream = QByteArrayLiteral("application.process.id = \"") +
                                 QByteArray::number(player.process().processId());
    QTRY_VERIFY_WITH_TIMEOUT(
        server.pactl({QStringLiteral("list"), QStringLiteral("sink-inputs")}).contains(ownStream),
        PrivateSession::kStartTimeoutMs);
    QCOMPARE(PhononBackEnds::loadedBy(player.process().processId()), QStringList{expectedPlugin});

    const QImage before = x11.grabScreen();
    const int loudest = server.loudestSampleOver(kRecordMs);
    QVERIFY2(loudest > 1000,
             qPrintable(QStringLiteral("the loudest sample heard was %1").arg(loudest)));
    QVERIFY2(x11.grabScreen() != before, "the picture stood still while the music played");

    VERIFY_NO_PROBLEM(player.closes(x11));
}

QTEST_MAIN(SoundServerTest)
#include "soundservertest.moc"
