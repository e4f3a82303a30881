// The real player with a desktop's sound server: PulseAudio, or PipeWire with its PulseAudio
// service, each started on a private runtime folder with a null sink. The player's stream must
// reach the server with real sound while the picture keeps moving, through the media back end
// the player chooses, or the one the user names.
#include "testmedia.h"
#include "x11session.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QtTest>

#include <cmath>

namespace {

constexpr int kStartTimeoutMs = 20000;
constexpr int kRecordMs = 3000;
const QString kSink = QStringLiteral("tovek2-test");

// A sound server of the kind a desktop runs, reachable only through its own runtime folder.
class SoundServer
{
public:
    explicit SoundServer(bool pipeWire)
    {
        runtime.setAutoRemove(true);
        QFile::setPermissions(runtime.path(),
                              QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        environment = QProcessEnvironment::systemEnvironment();
        environment.insert(QStringLiteral("XDG_RUNTIME_DIR"), runtime.path());
        // Cookies and state go to a home of its own.
        environment.insert(QStringLiteral("HOME"), runtime.path());
        environment.remove(QStringLiteral("PULSE_SERVER"));
        // WirePlumber, PipeWire's session manager, leaves without a session bus.
        const QString bus = QStringLiteral("unix:path=") + runtime.filePath(QStringLiteral("bus"));
        environment.insert(QStringLiteral("DBUS_SESSION_BUS_ADDRESS"), bus);
        // Each waits for the socket of the one before it: its clients give up at once.
        start(QStringLiteral("dbus-daemon"),
              {QStringLiteral("--session"), QStringLiteral("--nofork"),
               QStringLiteral("--address=") + bus},
              QStringLiteral("bus"));
        if (pipeWire) {
            start(QStringLiteral("pipewire"), {}, QStringLiteral("pipewire-0"));
            start(QStringLiteral("wireplumber"), {});
            start(QStringLiteral("pipewire-pulse"), {});
        } else {
            start(QStringLiteral("pulseaudio"),
                  {QStringLiteral("-n"), QStringLiteral("--daemonize=no"),
                   QStringLiteral("--exit-idle-time=-1"),
                   QStringLiteral("--load=module-native-protocol-unix")});
        }
    }
    ~SoundServer()
    {
        // The last started depends on the ones before it: stop them the other way round.
        for (auto it = processes.rbegin(); it != processes.rend(); ++it) {
            QProcess *process = it->get();
            process->terminate();
            if (!process->waitForFinished(5000))
                process->kill();
            process->waitForFinished();
        }
    }

    // Waits for the server to answer, then makes a null sink its default output.
    bool prepare()
    {
        if (!waitUntil({QStringLiteral("info")}))
            return false;
        return !pactl({QStringLiteral("load-module"), QStringLiteral("module-null-sink"),
                       QStringLiteral("sink_name=") + kSink})
                    .isNull() &&
               waitUntil({QStringLiteral("set-default-sink"), kSink});
    }

    // What pactl prints for the arguments; a null array when it fails.
    QByteArray pactl(const QStringList &arguments) const
    {
        QProcess client;
        client.setProcessEnvironment(environment);
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
        recorder.setProcessEnvironment(environment);
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

    QProcessEnvironment environment;

private:
    // Repeats the pactl command until it succeeds, while every process of the server runs.
    bool waitUntil(const QStringList &arguments) const
    {
        for (QDeadlineTimer deadline(kStartTimeoutMs); !deadline.hasExpired(); QTest::qWait(200)) {
            for (const auto &process : processes) {
                if (process->state() == QProcess::NotRunning)
                    return false;
            }
            if (!pactl(arguments).isNull())
                return true;
        }
        return false;
    }

    // Starts a program of the server and, when it listens on a socket in the runtime folder,
    // waits for that socket.
    void start(const QString &program, const QStringList &arguments,
               const QString &socket = QString())
    {
        processes.emplace_back(new QProcess);
        QProcess *process = processes.back().get();
        process->setProcessEnvironment(environment);
        process->setWorkingDirectory(runtime.path());
        process->setProcessChannelMode(QProcess::MergedChannels);
        process->start(program, arguments);
        process->waitForStarted();
        for (QDeadlineTimer deadline(kStartTimeoutMs);
             !socket.isEmpty() && !QFile::exists(runtime.filePath(socket)) &&
             process->state() == QProcess::Running && !deadline.hasExpired();)
            QTest::qWait(50);
    }

    QTemporaryDir runtime;
    std::vector<std::unique_ptr<QProcess>> processes;
};

// The file of the installed Phonon back-end plugin whose name starts with prefix, in the
// plugin folder of this build's Qt: VLC's is phonon_vlc.so on Debian 12, phonon_vlc_qt5.so
// and phonon_vlc_qt6.so on Debian 13.
QString installedBackEnd(const QString &prefix)
{
    for (const QString &path : QCoreApplication::libraryPaths()) {
        const QDir plugins(path + QStringLiteral("/" TOVEK2_PHONON_PLUGINS));
        const QStringList files = plugins.entryList({prefix + QStringLiteral("*.so")}, QDir::Files);
        if (!files.isEmpty())
            return files.first();
    }
    return QString();
}

// The Phonon back-end plugins a running process has loaded.
QStringList backEndsLoadedBy(qint64 pid)
{
    QFile maps(QStringLiteral("/proc/%1/maps").arg(pid));
    if (!maps.open(QIODevice::ReadOnly))
        return {};
    QStringList loaded;
    for (const QByteArray &line : maps.readAll().split('\n')) {
        const QString plugin = QFileInfo(QString::fromLocal8Bit(line.trimmed())).fileName();
        if (plugin.startsWith(QLatin1String("phonon_")) && !loaded.contains(plugin))
            loaded << plugin;
    }
    return loaded;
}

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
    QTest::newRow("PulseAudio") << false << false << installedBackEnd(TOVEK2_PLAYERS_BACKEND);
    QTest::newRow("PipeWire") << true << false << installedBackEnd(TOVEK2_PLAYERS_BACKEND);
    QTest::newRow("PipeWire, VLC chosen") << true << true << installedBackEnd("phonon_vlc");
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
    QVERIFY(TestMedia::writeTune(data.filePath(QStringLiteral("desert.mp3")), 20));
    // A picture that shows, so that the turning planes change the screen from frame to frame.
    QVERIFY(TestMedia::ringedDisc(QColor(40, 200, 90, 220), QColor(250, 60, 20, 0), QPointF(32, 32),
                                  30, 30)
                .save(data.filePath(QStringLiteral("round.png"))));

    X11Session x11;
    QVERIFY(x11.isOpen());
    QProcess player;
    QProcessEnvironment environment = server.environment;
    environment.remove(QStringLiteral("PHONON_BACKEND"));
    if (userChooses)
        environment.insert(QStringLiteral("PHONON_BACKEND"), QFileInfo(expectedPlugin).baseName());
    player.setProcessEnvironment(environment);
    player.setWorkingDirectory(data.path());
    player.setProcessChannelMode(QProcess::ForwardedChannels);
    player.start(QStringLiteral(TOVEK2_PLAYER), QStringList());
    QVERIFY(player.waitForStarted());
    const X11Session::WindowId window =
        x11.waitForWindow(QStringLiteral("Tovek2"), kStartTimeoutMs);
    QVERIFY(window);

    // The player's own stream, named by its process id, plays into the server.
    const QByteArray ownStream =
        QByteArrayLiteral("application.process.id = \"") + QByteArray::number(player.processId());
    QTRY_VERIFY_WITH_TIMEOUT(
        server.pactl({QStringLiteral("list"), QStringLiteral("sink-inputs")}).contains(ownStream),
        kStartTimeoutMs);
    QCOMPARE(backEndsLoadedBy(player.processId()), QStringList{expectedPlugin});

    const QImage before = x11.grabScreen();
    const int loudest = server.loudestSampleOver(kRecordMs);
    QVERIFY2(loudest > 1000,
             qPrintable(QStringLiteral("the loudest sample heard was %1").arg(loudest)));
    QVERIFY2(x11.grabScreen() != before, "the picture stood still while the music played");

    x11.requestClose(window);
    QVERIFY(player.waitForFinished(10000));
    QCOMPARE(player.exitStatus(), QProcess::NormalExit);
    QCOMPARE(player.exitCode(), 0);
}

QTEST_MAIN(SoundServerTest)
#include "soundservertest.moc"
