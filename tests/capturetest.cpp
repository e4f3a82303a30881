// The video capture: which clocks its frames are drawn at, a real short capture checked with
// ffprobe, ffmpeg's decoder and tovek2-still, on the desktop's display or a screen of the
// tools' own, its progress line, and every way it can fail or be stopped without leaving a
// video or a screen behind.
#include "frameplan.h"
#include "testmedia.h"
#include "toolrun.h"
#include "videoencoder.h"

#include <QDir>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QPainter>
#include <QRadialGradient>
#include <QtTest>

#include <csignal>
#include <cstdlib>

namespace {

constexpr int kToolTimeoutMs = 120000;

ToolRun runIn(const QString &folder, const QString &program, const QStringList &arguments,
              const QProcessEnvironment &environment = QProcessEnvironment::systemEnvironment())
{
    return ToolRun::of(program, arguments, folder, kToolTimeoutMs, environment);
}

ToolRun capture(const QString &folder, const QStringList &arguments,
                const QProcessEnvironment &environment = QProcessEnvironment::systemEnvironment())
{
    return runIn(folder, QStringLiteral(TOVEK2_CAPTURE), arguments, environment);
}

// A picture with detail everywhere, so frames a few ms apart differ visibly.
bool writeTexturePicture(const QString &path)
{
    QImage picture(128, 128, QImage::Format_ARGB32);
    picture.fill(Qt::transparent);
    QPainter painter(&picture);
    QRadialGradient gradient(QPointF(64, 64), 64);
    gradient.setColorAt(0, QColor(255, 255, 255));
    gradient.setColorAt(0.5, QColor(255, 60, 0));
    gradient.setColorAt(1, QColor(0, 80, 255, 40));
    painter.setBrush(gradient);
    painter.setPen(QPen(Qt::green, 6));
    painter.drawEllipse(QPointF(64, 64), 60, 60);
    painter.drawLine(0, 64, 128, 64);
    painter.end();
    return picture.save(path, "PNG");
}

// Silence for silentSeconds, then a tone: the tone's start shows where the sound track begins.
bool writeSilenceThenTone(const QString &path, double silentSeconds, double toneSeconds)
{
    const ToolRun sox =
        runIn(QDir::tempPath(), QStringLiteral("sox"),
              {QStringLiteral("-n"), QStringLiteral("-r"), QStringLiteral("44100"),
               QStringLiteral("-c"), QStringLiteral("2"), path, QStringLiteral("synth"),
               QString::number(toneSeconds), QStringLiteral("sine"), QStringLiteral("440"),
               QStringLiteral("pad"), QString::number(silentSeconds)});
    return sox.exitStatus == QProcess::NormalExit && sox.exitCode == 0;
}

// Seconds from the start of the file's sound to the first loud sample, as ffmpeg decodes it.
double firstSoundSeconds(const QString &path)
{
    constexpr int kRate = 8000;
    const ToolRun decoded =
        runIn(QDir::tempPath(), QStringLiteral("ffmpeg"),
              {QStringLiteral("-v"), QStringLiteral("error"), QStringLiteral("-i"), path,
               QStringLiteral("-map"), QStringLiteral("0:a:0"), QStringLiteral("-ac"),
               QStringLiteral("1"), QStringLiteral("-ar"), QString::number(kRate),
               QStringLiteral("-f"), QStringLiteral("s16le"), QStringLiteral("-")});
    const auto *samples = reinterpret_cast<const qint16 *>(decoded.output.constData());
    const int count = decoded.output.size() / int(sizeof(qint16));
    for (int i = 0; i < count; ++i) {
        if (std::abs(samples[i]) > 1000)
            return double(i) / kRate;
    }
    return -1;
}

QJsonObject probe(const QString &path)
{
    const ToolRun ffprobe =
        runIn(QDir::tempPath(), QStringLiteral("ffprobe"),
              {QStringLiteral("-v"), QStringLiteral("error"), QStringLiteral("-show_entries"),
               QStringLiteral("stream=codec_type,codec_name,width,height,pix_fmt,r_frame_rate,"
                              "nb_frames:format=duration,format_name"),
               QStringLiteral("-of"), QStringLiteral("json"), path});
    return QJsonDocument::fromJson(ffprobe.output).object();
}

QJsonObject streamOfType(const QJsonObject &probed, const QString &type)
{
    for (const QJsonValue stream : probed.value(QStringLiteral("streams")).toArray()) {
        if (stream.toObject().value(QStringLiteral("codec_type")).toString() == type)
            return stream.toObject();
    }
    return QJsonObject();
}

QImage decodedFrame(const QString &video, int frame, const QString &picture)
{
    runIn(QDir::tempPath(), QStringLiteral("ffmpeg"),
          {QStringLiteral("-v"), QStringLiteral("error"), QStringLiteral("-y"),
           QStringLiteral("-i"), video, QStringLiteral("-vf"),
           QStringLiteral("select=eq(n\\,%1)").arg(frame), QStringLiteral("-frames:v"),
           QStringLiteral("1"), picture});
    return QImage(picture);
}

// Mean difference of the colour channels over the whole picture, from 0 to 255.
double meanDifference(const QImage &first, const QImage &second)
{
    if (first.size() != second.size() || first.isNull())
        return 255;
    const QImage a = first.convertToFormat(QImage::Format_RGB32);
    const QImage b = second.convertToFormat(QImage::Format_RGB32);
    qint64 sum = 0;
    for (int y = 0; y < a.height(); ++y) {
        const auto *rowA = reinterpret_cast<const QRgb *>(a.constScanLine(y));
        const auto *rowB = reinterpret_cast<const QRgb *>(b.constScanLine(y));
        for (int x = 0; x < a.width(); ++x) {
            sum += std::abs(qRed(rowA[x]) - qRed(rowB[x])) +
                   std::abs(qGreen(rowA[x]) - qGreen(rowB[x])) +
                   std::abs(qBlue(rowA[x]) - qBlue(rowB[x]));
        }
    }
    return double(sum) / (3.0 * a.width() * a.height());
}

QRgb averageColour(const QImage &picture)
{
    const QImage pixels32 = picture.convertToFormat(QImage::Format_RGB32);
    qint64 red = 0, green = 0, blue = 0;
    for (int y = 0; y < pixels32.height(); ++y) {
        for (int x = 0; x < pixels32.width(); ++x) {
            const QRgb pixel = pixels32.pixel(x, y);
            red += qRed(pixel);
            green += qGreen(pixel);
            blue += qBlue(pixel);
        }
    }
    const qint64 pixels = qMax(1, pixels32.width() * pixels32.height());
    return qRgb(int(red / pixels), int(green / pixels), int(blue / pixels));
}

QStringList entriesOf(const QString &folder)
{
    return QDir(folder).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot,
                                  QDir::Name);
}

QStringList linesOf(const QByteArray &text)
{
    return QString::fromLocal8Bit(text).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
}

QByteArray contentsOf(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

bool writeFile(const QString &path, const QByteArray &contents,
               QFile::Permissions permissions = QFile::ReadOwner | QFile::WriteOwner)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(contents) == contents.size() &&
           file.setPermissions(permissions);
}

// Stand-ins for ffmpeg: each takes some frames, writes to the file it was given last and
// then dies.
const QByteArray kFailingEncoder = "#!/bin/sh\n"
                                   "for last; do :; done\n"
                                   "echo partial > \"$last\"\n"
                                   "head -c 20000 > /dev/null\n"
                                   "echo 'encoder: no space left on device' >&2\n"
                                   "exit 1\n";
const QByteArray kCrashingEncoder = "#!/bin/sh\n"
                                    "for last; do :; done\n"
                                    "echo partial > \"$last\"\n"
                                    "head -c 20000 > /dev/null\n"
                                    "kill -9 $$\n";

// Processes whose command line names the folder or that run in it: an encoder or a virtual
// screen outliving its tool would.
QStringList processesUsing(const QString &folder)
{
    QStringList found;
    const QString canonical = QDir(folder).canonicalPath();
    const QByteArray needle = QFile::encodeName(folder);
    for (const QString &pid : QDir(QStringLiteral("/proc")).entryList(QDir::Dirs)) {
        if (pid.toInt() <= 0 || pid.toInt() == QCoreApplication::applicationPid())
            continue;
        const QByteArray commandLine =
            contentsOf(QStringLiteral("/proc/%1/cmdline").arg(pid)).replace('\0', ' ');
        const QString workingFolder =
            QFileInfo(QStringLiteral("/proc/%1/cwd").arg(pid)).symLinkTarget();
        if (commandLine.contains(needle) || workingFolder == canonical)
            found << pid + QLatin1Char(' ') + QString::fromLocal8Bit(commandLine);
    }
    return found;
}

// The environment of a box reached over SSH or of a container: no display of any kind.
QProcessEnvironment withoutDisplay(QProcessEnvironment environment)
{
    environment.remove(QStringLiteral("DISPLAY"));
    environment.remove(QStringLiteral("WAYLAND_DISPLAY"));
    return environment;
}

// x264's motion estimation depth for each preset, as it writes it among its settings into
// the stream.
int submeOf(const QString &preset)
{
    return QList<int>{0, 1, 2, 4, 6, 7, 8, 9, 10}.value(VideoEncoder::presets().indexOf(preset));
}

// An x264 setting from the settings it writes into the stream, or an empty string.
QString encoderSetting(const QString &video, const QString &name)
{
    const QRegularExpression pattern(QStringLiteral(" %1=([0-9.]+)").arg(name));
    // Read past the stream's zero bytes, where fromLatin1(QByteArray) would stop.
    const QByteArray stream = contentsOf(video);
    return pattern.match(QString::fromLatin1(stream.constData(), stream.size())).captured(1);
}

QString quoted(const QString &text)
{
    return QLatin1Char('\'') + text + QLatin1Char('\'');
}

} // namespace

class CaptureTest : public QObject
{
    Q_OBJECT

private slots:
    void framesFollowTheShowClock_data();
    void framesFollowTheShowClock();
    void capturesARangeWithItsMusic_data();
    void capturesARangeWithItsMusic();
    void showsProgressOnlyOnATerminal();
    void failsWithoutLeavingAVideo_data();
    void failsWithoutLeavingAVideo();
    void stopsCleanlyOnSignals_data();
    void stopsCleanlyOnSignals();
};

void CaptureTest::framesFollowTheShowClock_data()
{
    QTest::addColumn<int>("fps");
    QTest::addColumn<int>("fromMs");
    QTest::addColumn<int>("toMs");
    QTest::addColumn<int>("frames");
    QTest::addColumn<int>("firstClock");
    QTest::addColumn<int>("lastClock");
    QTest::addColumn<double>("startSeconds");

    // 4529 * 1000 / 60 = 75483.3; frame 4530 falls exactly on the show's end.
    QTest::newRow("whole show at 60") << 60 << 0 << 75500 << 4530 << 0 << 75483 << 0.0;
    // 297 * 100 / 3 = 9900 exactly, then 9933.3 and 9966.7; 10000 is left out.
    QTest::newRow("thirds round to nearest") << 30 << 9900 << 10000 << 3 << 9900 << 9967 << 9.9;
    // 1000 / 16 = 62.5 rounds up to 63.
    QTest::newRow("half rounds up") << 16 << 60 << 70 << 1 << 63 << 63 << 0.0625;
    // 1 / 7 s = 142.9 ms, 6 / 7 s = 857.1 ms.
    QTest::newRow("sevenths") << 7 << 0 << 1000 << 7 << 0 << 857 << 0.0;
    QTest::newRow("start between frames") << 60 << 1 << 18 << 1 << 17 << 17 << 1.0 / 60;
    QTest::newRow("end is left out") << 24 << 125 << 126 << 1 << 125 << 125 << 0.125;
    QTest::newRow("no frame in range") << 60 << 1 << 17 << 0 << 0 << 0 << 0.0;
}

void CaptureTest::framesFollowTheShowClock()
{
    QFETCH(int, fps);
    QFETCH(int, fromMs);
    QFETCH(int, toMs);
    QFETCH(int, frames);
    QFETCH(int, firstClock);
    QFETCH(int, lastClock);
    QFETCH(double, startSeconds);

    const FramePlan plan(fps, fromMs, toMs);
    QCOMPARE(plan.frameCount(), frames);
    QCOMPARE(plan.durationSeconds(), double(frames) / fps);
    if (frames == 0)
        return;
    QCOMPARE(plan.clockOf(0), firstClock);
    QCOMPARE(plan.clockOf(frames - 1), lastClock);
    QCOMPARE(plan.startSeconds(), startSeconds);
}

void CaptureTest::capturesARangeWithItsMusic_data()
{
    QTest::addColumn<bool>("onDesktop");
    QTest::addColumn<QStringList>("encoding");
    QTest::addColumn<QString>("preset");
    QTest::addColumn<int>("crf");

    QTest::newRow("default encoding on the desktop")
        << true << QStringList() << QString::fromLatin1(VideoEncoder::kDefaultPreset)
        << VideoEncoder::kDefaultCrf;
    QTest::newRow("chosen encoding without a display")
        << false
        << QStringList{QStringLiteral("--preset"), QStringLiteral("ultrafast"),
                       QStringLiteral("--crf"), QStringLiteral("24")}
        << QStringLiteral("ultrafast") << 24;
}

void CaptureTest::capturesARangeWithItsMusic()
{
    QFETCH(bool, onDesktop);
    QFETCH(QStringList, encoding);
    QFETCH(QString, preset);
    QFETCH(int, crf);

    const QProcessEnvironment environment =
        onDesktop ? QProcessEnvironment::systemEnvironment()
                  : withoutDisplay(QProcessEnvironment::systemEnvironment());
    QTemporaryDir folder;
    QVERIFY(writeTexturePicture(folder.filePath(QStringLiteral("round.png"))));
    const QString music = folder.filePath(QStringLiteral("desert.mp3"));
    QVERIFY(writeSilenceThenTone(music, 20, 3));
    QStringList inputs = entriesOf(folder.path());

    // At 20 fps, frames 390 to 409 of the show: clocks 19500 to 20450 in steps of 50 ms,
    // across the change from the swarm to the tumbling swarm at 20000 ms.
    const ToolRun outcome = capture(
        folder.path(),
        QStringList{QStringLiteral("--size"), QStringLiteral("320x240"), QStringLiteral("--fps"),
                    QStringLiteral("20"), QStringLiteral("--from"), QStringLiteral("19500"),
                    QStringLiteral("--to"), QStringLiteral("20500"), QStringLiteral("--output"),
                    QStringLiteral("clip.mp4")}
            << encoding,
        environment);
    QCOMPARE(outcome.exitStatus, QProcess::NormalExit);
    QVERIFY2(outcome.exitCode == 0, outcome.errors.constData());
    QVERIFY2(outcome.errors.isEmpty(), outcome.errors.constData());
    QStringList expected = inputs << QStringLiteral("clip.mp4");
    expected.sort();
    QCOMPARE(entriesOf(folder.path()), expected);
    const QString video = folder.filePath(QStringLiteral("clip.mp4"));

    const QJsonObject probed = probe(video);
    QVERIFY(probed.value(QStringLiteral("format"))
                .toObject()
                .value(QStringLiteral("format_name"))
                .toString()
                .contains(QLatin1String("mp4")));
    QCOMPARE(probed.value(QStringLiteral("format"))
                 .toObject()
                 .value(QStringLiteral("duration"))
                 .toString()
                 .toDouble(),
             1.0);
    const QJsonObject picture = streamOfType(probed, QStringLiteral("video"));
    QCOMPARE(picture.value(QStringLiteral("codec_name")).toString(), QStringLiteral("h264"));
    QCOMPARE(picture.value(QStringLiteral("pix_fmt")).toString(), QStringLiteral("yuv420p"));
    QCOMPARE(picture.value(QStringLiteral("width")).toInt(), 320);
    QCOMPARE(picture.value(QStringLiteral("height")).toInt(), 240);
    QCOMPARE(picture.value(QStringLiteral("r_frame_rate")).toString(), QStringLiteral("20/1"));
    QCOMPARE(picture.value(QStringLiteral("nb_frames")).toString(), QStringLiteral("20"));
    const QJsonObject sound = streamOfType(probed, QStringLiteral("audio"));
    QCOMPARE(sound.value(QStringLiteral("codec_name")).toString(), QStringLiteral("aac"));
    QCOMPARE(encoderSetting(video, QStringLiteral("subme")).toInt(), submeOf(preset));
    QCOMPARE(encoderSetting(video, QStringLiteral("crf")).toDouble(), double(crf));

    // The sound track starts where the first frame lies in the show, 19.5 s into the music.
    const double toneInMusic = firstSoundSeconds(music);
    QVERIFY(toneInMusic > 19.5);
    QVERIFY(qAbs(firstSoundSeconds(video) - (toneInMusic - 19.5)) < 0.01);

    // Frame 14 was drawn at 20200 ms: of the stills around it, it matches that one best and
    // closely, allowing for lossy coding.
    const ToolRun stills =
        runIn(folder.path(), QStringLiteral(TOVEK2_STILL),
              {QStringLiteral("--size"), QStringLiteral("320x240"), QStringLiteral("--clock"),
               QStringLiteral("20150"), QStringLiteral("--clock"), QStringLiteral("20200"),
               QStringLiteral("--clock"), QStringLiteral("20250"), QStringLiteral("--output"),
               QStringLiteral("still-%1.png")},
              environment);
    QCOMPARE(stills.exitCode, 0);
    QCOMPARE(processesUsing(folder.path()), QStringList());
    const QImage decoded = decodedFrame(video, 14, folder.filePath(QStringLiteral("f14.png")));
    const auto still = [&](int clock) {
        return QImage(folder.filePath(QStringLiteral("still-%1.png").arg(clock)));
    };
    const double atClock = meanDifference(decoded, still(20200));
    const double before = meanDifference(decoded, still(20150));
    const double after = meanDifference(decoded, still(20250));
    const QByteArray differences = QByteArray::number(before) + ' ' + QByteArray::number(atClock) +
                                   ' ' + QByteArray::number(after);
    QVERIFY2(atClock < 10 && atClock < before && atClock < after, differences.constData());
    // Sharp edges lose colour to the coding, but the picture as a whole keeps its colours.
    QVERIFY2(TestMedia::closeColours(averageColour(decoded), averageColour(still(20200)), 3),
             qPrintable(TestMedia::describe(averageColour(decoded)) + QLatin1Char(' ') +
                        TestMedia::describe(averageColour(still(20200)))));
}

void CaptureTest::showsProgressOnlyOnATerminal()
{
    QTemporaryDir folder;
    QVERIFY(TestMedia::writeTune(folder.filePath(QStringLiteral("desert.mp3")), 2));
    const QString command = quoted(QStringLiteral(TOVEK2_CAPTURE)) +
                            QStringLiteral(" --size 64x48 --fps 10 --from 0 --to 1000");
    // script gives the capture a terminal of its own.
    const ToolRun onTerminal =
        runIn(folder.path(), QStringLiteral("script"),
              {QStringLiteral("-q"), QStringLiteral("-e"), QStringLiteral("-c"),
               command + QStringLiteral(" --output terminal.mp4"), QStringLiteral("/dev/null")});
    QCOMPARE(onTerminal.exitCode, 0);
    QVERIFY2(onTerminal.output.contains("10/10 frames  100.0%"), onTerminal.output.constData());
    QVERIFY(onTerminal.output.contains("left"));

    const ToolRun piped = runIn(folder.path(), QStringLiteral("sh"),
                                {QStringLiteral("-c"), command + QStringLiteral(" 2>&1")});
    QCOMPARE(piped.exitCode, 0);
    QCOMPARE(piped.output, QByteArray());
    QVERIFY(QFile::exists(folder.filePath(QStringLiteral("show.mp4"))));
}

void CaptureTest::failsWithoutLeavingAVideo_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<QString>("setup");
    QTest::addColumn<QString>("message");

    const QStringList output = {QStringLiteral("--output"), QStringLiteral("clip.mp4")};
    const auto with = [&](QStringList arguments) { return arguments << output; };
    QTest::newRow("size without x") << with({QStringLiteral("--size"), QStringLiteral("640")})
                                    << QString() << QStringLiteral("bad size");
    QTest::newRow("zero size") << with({QStringLiteral("--size"), QStringLiteral("0x48")})
                               << QString() << QStringLiteral("bad size");
    QTest::newRow("odd size") << with({QStringLiteral("--size"), QStringLiteral("65x48")})
                              << QString() << QStringLiteral("even");
    QTest::newRow("zero rate") << with({QStringLiteral("--fps"), QStringLiteral("0")}) << QString()
                               << QStringLiteral("bad rate");
    QTest::newRow("rate not a number") << with({QStringLiteral("--fps"), QStringLiteral("6o")})
                                       << QString() << QStringLiteral("bad rate");
    QTest::newRow("rate too high") << with({QStringLiteral("--fps"), QStringLiteral("1000")})
                                   << QString() << QStringLiteral("bad rate");
    QTest::newRow("empty range") << with({QStringLiteral("--from"), QStringLiteral("500"),
                                          QStringLiteral("--to"), QStringLiteral("500")})
                                 << QString() << QStringLiteral("bad range");
    QTest::newRow("range past the show") << with({QStringLiteral("--from"), QStringLiteral("75000"),
                                                  QStringLiteral("--to"), QStringLiteral("76000")})
                                         << QString() << QStringLiteral("bad range");
    QTest::newRow("negative start") << with({QStringLiteral("--from"), QStringLiteral("-100")})
                                    << QString() << QStringLiteral("bad range");
    QTest::newRow("range without a frame")
        << with({QStringLiteral("--fps"), QStringLiteral("10"), QStringLiteral("--from"),
                 QStringLiteral("1"), QStringLiteral("--to"), QStringLiteral("99")})
        << QString() << QStringLiteral("no frame");
    QTest::newRow("unknown preset") << with({QStringLiteral("--preset"), QStringLiteral("turbo")})
                                    << QString() << QStringLiteral("bad preset 'turbo'");
    QTest::newRow("crf too high") << with({QStringLiteral("--crf"), QStringLiteral("52")})
                                  << QString() << QStringLiteral("bad crf '52'");
    QTest::newRow("crf not a whole number")
        << with({QStringLiteral("--crf"), QStringLiteral("17.5")}) << QString()
        << QStringLiteral("bad crf");
    QTest::newRow("no music") << output << QStringLiteral("no music")
                              << QStringLiteral("desert.mp3");
    QTest::newRow("music unreadable by the encoder")
        << output << QStringLiteral("bad music") << QStringLiteral("ffmpeg failed");
    QTest::newRow("output is a folder")
        << QStringList{QStringLiteral("--output"), QStringLiteral("sub")} << QString()
        << QStringLiteral("folder");
    QTest::newRow("output folder missing")
        << QStringList{QStringLiteral("--output"), QStringLiteral("absent/clip.mp4")} << QString()
        << QStringLiteral("No such file");
    QTest::newRow("no ffmpeg") << output << QStringLiteral("no ffmpeg")
                               << QStringLiteral("ffmpeg not found");
    QTest::newRow("no display and no Xvfb")
        << output << QStringLiteral("no Xvfb")
        << QStringLiteral("no display and no Xvfb to start one: install the Debian package xvfb");
    QTest::newRow("encoder fails")
        << output << QStringLiteral("failing ffmpeg") << QStringLiteral("no space left on device");
    QTest::newRow("encoder crashes")
        << output << QStringLiteral("crashing ffmpeg") << QStringLiteral("ffmpeg crashed");
}

void CaptureTest::failsWithoutLeavingAVideo()
{
    QFETCH(QStringList, arguments);
    QFETCH(QString, setup);
    QFETCH(QString, message);

    QTemporaryDir folder;
    QVERIFY(QDir(folder.path()).mkdir(QStringLiteral("sub")));
    const QByteArray older = "an older video that must survive";
    QVERIFY(writeFile(folder.filePath(QStringLiteral("clip.mp4")), older));
    const QString music = folder.filePath(QStringLiteral("desert.mp3"));
    if (setup == QLatin1String("bad music"))
        QVERIFY(writeFile(music, QByteArray(4096, '\x5a')));
    else if (setup != QLatin1String("no music"))
        QVERIFY(TestMedia::writeTune(music, 2));

    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    const QString tools = folder.filePath(QStringLiteral("bin"));
    QVERIFY(QDir().mkpath(tools));
    const QFile::Permissions executable = QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner;
    if (setup == QLatin1String("failing ffmpeg"))
        QVERIFY(writeFile(tools + QStringLiteral("/ffmpeg"), kFailingEncoder, executable));
    if (setup == QLatin1String("crashing ffmpeg"))
        QVERIFY(writeFile(tools + QStringLiteral("/ffmpeg"), kCrashingEncoder, executable));
    if (setup == QLatin1String("no Xvfb")) {
        QVERIFY(QFile::link(QStandardPaths::findExecutable(QStringLiteral("ffmpeg")),
                            tools + QStringLiteral("/ffmpeg")));
        environment = withoutDisplay(environment);
    }
    if (setup == QLatin1String("no ffmpeg") || setup == QLatin1String("no Xvfb"))
        environment.insert(QStringLiteral("PATH"), tools);
    else
        environment.insert(QStringLiteral("PATH"),
                           tools + QLatin1Char(':') + environment.value(QStringLiteral("PATH")));
    const QStringList before = entriesOf(folder.path());

    const ToolRun outcome = capture(folder.path(),
                                    QStringList{QStringLiteral("--size"), QStringLiteral("64x48"),
                                                QStringLiteral("--to"), QStringLiteral("2000")}
                                        << arguments,
                                    environment);
    QCOMPARE(outcome.exitStatus, QProcess::NormalExit);
    QCOMPARE(outcome.exitCode, setup == QLatin1String("no Xvfb") ? 2 : 1);
    const QStringList lines = linesOf(outcome.errors);
    QCOMPARE(lines.size(), 1);
    QVERIFY2(lines.first().startsWith(QLatin1String("tovek2-capture: ")), qPrintable(lines[0]));
    QVERIFY2(lines.first().contains(message), qPrintable(lines.first()));

    QCOMPARE(entriesOf(folder.path()), before);
    QCOMPARE(contentsOf(folder.filePath(QStringLiteral("clip.mp4"))), older);
    QCOMPARE(entriesOf(folder.filePath(QStringLiteral("sub"))), QStringList());
}

void CaptureTest::stopsCleanlyOnSignals_data()
{
    QTest::addColumn<int>("signal");
    QTest::addColumn<bool>("onDesktop");
    QTest::newRow("Ctrl-C") << int(SIGINT) << true;
    QTest::newRow("kill") << int(SIGTERM) << true;
    QTest::newRow("terminal closed") << int(SIGHUP) << true;
    QTest::newRow("Ctrl-C without a display") << int(SIGINT) << false;
}

void CaptureTest::stopsCleanlyOnSignals()
{
    QFETCH(int, signal);
    QFETCH(bool, onDesktop);

    QTemporaryDir folder;
    QVERIFY(TestMedia::writeTune(folder.filePath(QStringLiteral("desert.mp3")), 76));
    const QStringList before = entriesOf(folder.path());

    QProcess process;
    process.setWorkingDirectory(folder.path());
    if (!onDesktop)
        process.setProcessEnvironment(withoutDisplay(QProcessEnvironment::systemEnvironment()));
    process.start(QStringLiteral(TOVEK2_CAPTURE),
                  {QStringLiteral("--size"), QStringLiteral("640x480")});
    QVERIFY(process.waitForStarted());
    // Stopped once the encoder has written some of the video under the partial name.
    const auto partialSize = [&] {
        for (const QFileInfo &entry :
             QDir(folder.path()).entryInfoList(QDir::Files | QDir::Hidden)) {
            if (entry.fileName().endsWith(QLatin1String(".part")))
                return entry.size();
        }
        return qint64(-1);
    };
    QTRY_VERIFY_WITH_TIMEOUT(partialSize() > 0, kToolTimeoutMs);
    QCOMPARE(process.state(), QProcess::Running);
    QCOMPARE(::kill(pid_t(process.processId()), signal), 0);
    QVERIFY(process.waitForFinished(kToolTimeoutMs));

    QCOMPARE(process.exitStatus(), QProcess::NormalExit);
    QCOMPARE(process.exitCode(), 128 + signal);
    const QStringList lines = linesOf(process.readAllStandardError());
    QCOMPARE(lines.size(), 1);
    QVERIFY2(lines.first().contains(QStringLiteral("signal %1").arg(signal)),
             qPrintable(lines.first()));
    QCOMPARE(entriesOf(folder.path()), before);
    QCOMPARE(processesUsing(folder.path()), QStringList());
}

QTEST_MAIN(CaptureTest)
#include "capturetest.moc"
