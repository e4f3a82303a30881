// The real player given damaged, missing, oversized and unreadable files under the names it
// loads: it must keep running and drawing, fall back where it has a fallback, and still exit
// with status 0 when the window manager closes its window.
#include "pcxfile.h"
#include "playerrun.h"
#include "testmedia.h"

#include <QBuffer>
#include <QDir>
#include <QProcess>
#include <QRandomGenerator>
#include <QtTest>

#include <sys/stat.h>
#include <unistd.h>

namespace {

// After the first frame: long enough for the player to trip over a hostile file.
constexpr int kSettleMs = 1500;
constexpr int kRedrawGapMs = 700;
// Longer than the show, so that the music plays throughout.
constexpr int kTuneSeconds = 80;
// Root reads any file whatever its mode; without these capabilities mode 000 holds for it too.
const QString kDropFileAccess = QStringLiteral("--bounding-set=-dac_override,-dac_read_search");

enum class Entry
{
    File,
    Directory,
    UnreadableFile,
    Fifo
};
// What the pictures' texture must look like on screen: the opaque red placeholder, a picture
// of its own, or whatever Qt's reading makes of a damaged file.
enum class Look
{
    Placeholder,
    Picture,
    AsQtReadsIt
};

} // namespace

Q_DECLARE_METATYPE(Entry)
Q_DECLARE_METATYPE(Look)

namespace {

QByteArray pngBytes(const QImage &picture)
{
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    picture.save(&buffer, "PNG");
    return bytes;
}

// Opaque noise: it does not compress, so the file is long enough to cut anywhere.
QByteArray noisePng()
{
    QImage picture(128, 128, QImage::Format_RGB32);
    QRandomGenerator random(7);
    for (int y = 0; y < picture.height(); ++y)
        for (int x = 0; x < picture.width(); ++x)
            picture.setPixel(x, y, random.generate() | 0xFF000000u);
    return pngBytes(picture);
}

QByteArray whitePng()
{
    QImage picture(16, 16, QImage::Format_ARGB32);
    picture.fill(0xFFFFFFFF);
    return pngBytes(picture);
}

quint32 crc32(const QByteArray &bytes)
{
    quint32 crc = 0xFFFFFFFFu;
    for (const char byte : bytes) {
        crc ^= quint8(byte);
        for (int bit = 0; bit < 8; ++bit)
            crc = (crc >> 1) ^ (0xEDB88320u & (0u - (crc & 1u)));
    }
    return ~crc;
}

QByteArray bigEndian32(quint32 value)
{
    QByteArray bytes(4, '\0');
    for (int i = 0; i < 4; ++i)
        bytes[i] = char(value >> (24 - 8 * i));
    return bytes;
}

// A well-formed PNG whose header chunk claims the given size, followed by the few bytes of a
// 16 x 16 picture.
QByteArray pngClaiming(quint32 width, quint32 height)
{
    QByteArray bytes = whitePng();
    const int ihdrData = 16;
    const QByteArray size = bigEndian32(width) + bigEndian32(height);
    bytes.replace(ihdrData, 8, size);
    const QByteArray typeAndData = bytes.mid(ihdrData - 4, 4 + 13);
    bytes.replace(ihdrData + 13, 4, bigEndian32(crc32(typeAndData)));
    return bytes;
}

// A paletted file claiming the largest accepted picture with two bytes of pixel data; every
// colour but the transparent one is white.
QByteArray hugePcxWithoutData()
{
    PcxFile file;
    file.setSize(8192, 8192);
    file.setData(QByteArray("\xC2\x01", 2));
    file.setPalette(QVector<QRgb>(255, 0xFFFFFFFFu));
    return file.bytes();
}

QByteArray randomBytes(int count)
{
    QByteArray bytes(count, '\0');
    QRandomGenerator random(11);
    for (char &byte : bytes)
        byte = char(random.bounded(256));
    return bytes;
}

bool makeEntry(const QString &path, Entry entry, const QByteArray &content)
{
    if (entry == Entry::Directory)
        return QDir().mkpath(path);
    if (entry == Entry::Fifo)
        return mkfifo(QFile::encodeName(path).constData(), 0600) == 0;
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(content) != content.size())
        return false;
    file.close();
    return entry == Entry::File || file.setPermissions(QFileDevice::Permissions());
}

// What a file-access-less run as root starts its program through: setpriv without the
// capabilities that let root read any file.
QStringList launcher(bool withoutFileAccess)
{
    if (!withoutFileAccess || geteuid() != 0)
        return {};
    return {QStringLiteral("setpriv"), kDropFileAccess, QStringLiteral("--")};
}

// True when a player started without file access could read the file.
bool readableWithoutFileAccess(const QString &path)
{
    QStringList arguments = launcher(true)
                            << QStringLiteral("head") << QStringLiteral("-c1") << path;
    const QString program = arguments.takeFirst();
    return QProcess::execute(program, arguments) == 0;
}

struct PixelCounts
{
    int reddish = 0;
    int greenish = 0;
};

// The middle of the screen, where the crossed planes turn.
PixelCounts countPlanePixels(const QImage &screen)
{
    PixelCounts counts;
    const QRect middle(screen.width() / 2 - 400, screen.height() / 2 - 400, 800, 800);
    for (int y = middle.top(); y <= middle.bottom(); ++y) {
        for (int x = middle.left(); x <= middle.right(); ++x) {
            const QRgb pixel = screen.pixel(x, y);
            counts.reddish += qRed(pixel) > 128 && qGreen(pixel) < 10;
            counts.greenish += qGreen(pixel) > 40;
        }
    }
    return counts;
}

QString colourAt(const QImage &screen, const QPoint &point)
{
    return TestMedia::describe(screen.pixel(point));
}

} // namespace

class HostileFilesTest : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void survivesHostilePicture_data();
    void survivesHostilePicture();
    void survivesHostileMusic_data();
    void survivesHostileMusic();

private:
    // Waits for the player's full-screen window and its first frame, which shows the first
    // scene's band, then gives it kSettleMs and checks that it still runs; screen gets what the
    // screen showed at that first frame.
    void settle(PlayerRun &player, QImage *screen);

    X11Session x11;
    QTemporaryDir media;
};

void HostileFilesTest::initTestCase()
{
    QVERIFY(x11.isOpen());
    QVERIFY(media.isValid());
    QVERIFY(TestMedia::writeTune(media.filePath(QStringLiteral("desert.mp3")), kTuneSeconds));
}

void HostileFilesTest::settle(PlayerRun &player, QImage *screen)
{
    VERIFY_NO_PROBLEM(player.showsFullScreen(x11));
    // The first scene's band, with the black bar above it. A busy machine (or a picture that
    // takes long to decode) may keep the player from drawing its first frame for a while, and
    // the music plays on meanwhile: the screen is taken as the band first shows.
    const QPoint inBand(2, x11.screenSize().height() / 2);
    const QRgb band = TestMedia::storedColour(0, 0, 0.3f);
    QTRY_VERIFY2_WITH_TIMEOUT(
        TestMedia::closeColours((*screen = x11.grabScreen()).pixel(inBand), band),
        qPrintable(QStringLiteral("band shows ") + colourAt(*screen, inBand)),
        PlayerRun::kWindowTimeoutMs);
    QCOMPARE(screen->pixel(2, 2), qRgb(0, 0, 0));
    QTest::qWait(kSettleMs);
    QVERIFY2(player.isRunning(), qPrintable(player.state()));
}

void HostileFilesTest::survivesHostilePicture_data()
{
    QTest::addColumn<Entry>("entry");
    QTest::addColumn<QByteArray>("content");
    QTest::addColumn<Look>("look");

    const QByteArray noise = noisePng();
    const int size = int(noise.size());
    for (const int length : {16, 60, size / 2, size - 12})
        QTest::addRow("png cut to %d of %d bytes", length, size)
            << Entry::File << noise.left(length) << Look::AsQtReadsIt;
    QTest::newRow("zero bytes") << Entry::File << QByteArray() << Look::Placeholder;
    QTest::newRow("directory") << Entry::Directory << QByteArray() << Look::Placeholder;
    QTest::newRow("named pipe") << Entry::Fifo << QByteArray() << Look::Placeholder;
    QTest::newRow("unreadable") << Entry::UnreadableFile << whitePng() << Look::Placeholder;
    QTest::newRow("png claiming 100000 x 100000")
        << Entry::File << pngClaiming(100000, 100000) << Look::Placeholder;
    const QByteArray hugeJpeg = TestMedia::jpegClaiming(65000, 65000);
    QVERIFY2(!hugeJpeg.isEmpty(), "Qt wrote no baseline JPEG");
    QTest::newRow("jpeg claiming 65000 x 65000") << Entry::File << hugeJpeg << Look::Placeholder;
    QTest::newRow("paletted 8192 x 8192, two data bytes")
        << Entry::File << hugePcxWithoutData() << Look::Picture;
}

void HostileFilesTest::survivesHostilePicture()
{
    QFETCH(Entry, entry);
    QFETCH(QByteArray, content);
    QFETCH(Look, look);
    QTemporaryDir folder;
    const QString picture = folder.filePath(QStringLiteral("round.png"));
    QVERIFY(makeEntry(picture, entry, content));
    QVERIFY(QFile::copy(media.filePath(QStringLiteral("desert.mp3")),
                        folder.filePath(QStringLiteral("desert.mp3"))));
    const bool withoutFileAccess = entry == Entry::UnreadableFile;
    if (withoutFileAccess)
        QVERIFY2(!readableWithoutFileAccess(picture), "the picture is readable all the same");
    // Qt reads first; a file it cannot read that is not a paletted picture gives the
    // placeholder.
    if (look == Look::AsQtReadsIt)
        look = QImage::fromData(content).isNull() ? Look::Placeholder : Look::Picture;

    PlayerRun player(folder.path(), QProcessEnvironment::systemEnvironment(),
                     launcher(withoutFileAccess));
    QImage screen;
    settle(player, &screen);
    if (QTest::currentTestFailed())
        return;
    const PixelCounts counts = countPlanePixels(screen);
    if (look == Look::Placeholder) {
        // Every tile colour times opaque red keeps only its red part.
        QVERIFY2(counts.reddish > 0, "no red tile on the screen");
        QCOMPARE(counts.greenish, 0);
    } else {
        QVERIFY2(counts.greenish > 0, "no tile of the picture on the screen");
    }

    // The music is playing, so the planes keep turning.
    QTRY_VERIFY2_WITH_TIMEOUT(x11.grabScreen() != screen, "the picture stands still",
                              PlayerRun::kWindowTimeoutMs);
    VERIFY_NO_PROBLEM(player.closes(x11));
}

void HostileFilesTest::survivesHostileMusic_data()
{
    QTest::addColumn<Entry>("entry");
    QTest::addColumn<QByteArray>("content");
    QTest::addColumn<bool>("unplayable");

    QTest::newRow("zero bytes") << Entry::File << QByteArray() << true;
    QTest::newRow("directory") << Entry::Directory << QByteArray() << true;
    QTest::newRow("named pipe") << Entry::Fifo << QByteArray() << true;
    // VLC's back end, the player's with Qt 6, plays a picture as a still video, with reports.
    QTest::newRow("png renamed") << Entry::File << whitePng()
                                 << (QLatin1String(TOVEK2_PLAYERS_BACKEND) != "phonon_vlc");
    // Noise may hold what a decoder takes for frames, so nothing is said about reports.
    QTest::newRow("random bytes") << Entry::File << randomBytes(65536) << false;
}

void HostileFilesTest::survivesHostileMusic()
{
    QFETCH(Entry, entry);
    QFETCH(QByteArray, content);
    QFETCH(bool, unplayable);
    QTemporaryDir folder;
    QVERIFY(makeEntry(folder.filePath(QStringLiteral("desert.mp3")), entry, content));
    QVERIFY(makeEntry(folder.filePath(QStringLiteral("round.png")), Entry::File, whitePng()));

    PlayerRun player(folder.path());
    QImage screen;
    settle(player, &screen);
    if (QTest::currentTestFailed())
        return;

    if (unplayable) {
        // No report comes, so the planes stay unturned, as at clock 0: each quarter of the
        // plane facing the camera shows its front colour, and nothing redraws differently.
        const QPoint centre(screen.width() / 2, screen.height() / 2);
        const struct
        {
            QPoint offset;
            float red, green, blue;
        } quarters[] = {{{100, -100}, 1, 0.6f, 0},
                        {{-100, -100}, 0.8f, 0.4f, 0.4f},
                        {{-100, 100}, 0.2f, 0.6f, 0.4f},
                        {{100, 100}, 0.2f, 0.4f, 0.8f}};
        for (const auto &quarter : quarters) {
            const QPoint at = centre + quarter.offset;
            const QRgb expected = TestMedia::storedColour(quarter.red, quarter.green, quarter.blue);
            QVERIFY2(TestMedia::closeColours(screen.pixel(at), expected),
                     qPrintable(QStringLiteral("quarter at %1,%2 shows %3, expected %4")
                                    .arg(at.x())
                                    .arg(at.y())
                                    .arg(colourAt(screen, at), TestMedia::describe(expected))));
        }
        QTest::qWait(kRedrawGapMs);
        QVERIFY2(x11.grabScreen() == screen, "the picture moved without position reports");
    }
    VERIFY_NO_PROBLEM(player.closes(x11));
}

QTEST_MAIN(HostileFilesTest)
#include "hostilefilestest.moc"
