// Each frame of the show must issue exactly the OpenGL calls the show's tables give, in
// order and with every argument. The still renderer draws the frame under apitrace; the
// expected calls are worked out independently from the tables.
#include "callplayer.h"
#include "expectedframe.h"
#include "framerenderer.h"
#include "frametrace.h"
#include "testmedia.h"

#include <QDir>
#include <QHash>
#include <QOpenGLFramebufferObject>
#include <QTemporaryDir>
#include <QtTest>

#include <GL/gl.h>

#include <climits>

namespace {

const QSize kFrameSize(320, 240);

QString describeMismatch(const QVector<GlCall> &actual, const QVector<GlCall> &expected, int at)
{
    const auto show = [](const QVector<GlCall> &calls, int index) {
        return index < calls.size() ? calls.at(index).toString() : QStringLiteral("(no call)");
    };
    return QStringLiteral("call %1 of %2 (expected %3): got %4, expected %5")
        .arg(at)
        .arg(actual.size())
        .arg(expected.size())
        .arg(show(actual, at), show(expected, at));
}

struct Difference
{
    int pixels;
    int largest; // the largest difference of one channel, in levels
};

Difference compare(const QImage &a, const QImage &b)
{
    Difference difference = {0, 0};
    for (int y = 0; y < a.height(); ++y) {
        for (int x = 0; x < a.width(); ++x) {
            const QRgb p = a.pixel(x, y);
            const QRgb q = b.pixel(x, y);
            const int largest = qMax(qAbs(qRed(p) - qRed(q)),
                                     qMax(qAbs(qGreen(p) - qGreen(q)), qAbs(qBlue(p) - qBlue(q))));
            difference.pixels += largest > 0;
            difference.largest = qMax(difference.largest, largest);
        }
    }
    return difference;
}

QString describe(const Difference &difference)
{
    return QStringLiteral("%1 pixels differ, by up to %2 levels")
        .arg(difference.pixels)
        .arg(difference.largest);
}

// The calls of the frame after its opening (which ends by switching texturing on).
int bodyStart(const QVector<GlCall> &frame)
{
    for (int i = 0; i < frame.size(); ++i) {
        if (frame.at(i).name == QLatin1String("glEnable") &&
            frame.at(i).args == QStringList{QStringLiteral("GL_TEXTURE_2D")})
            return i + 1;
    }
    return -1;
}

// Plays calls in the renderer's context into a framebuffer like the renderer's own, with the
// pane's texture, projection and viewport in place.
QImage played(FrameRenderer &renderer, const QVector<GlCall> &calls)
{
    DemoPane &pane = renderer.pane();
    pane.makeCurrent();
    GLint texture = 0;
    glGetIntegerv(GL_TEXTURE_BINDING_2D, &texture);
    QOpenGLFramebufferObjectFormat format;
    format.setAttachment(QOpenGLFramebufferObject::CombinedDepthStencil);
    format.setSamples(pane.format().samples() > 0 ? pane.format().samples() : 4);
    QOpenGLFramebufferObject target(pane.size(), format);
    QOpenGLFramebufferObject resolved(pane.size());
    glBindTexture(GL_TEXTURE_2D, GLuint(texture));
    target.bind();
    QString error;
    const bool ok = CallPlayer::play(calls, &error);
    target.release();
    QOpenGLFramebufferObject::blitFramebuffer(&resolved, &target);
    // Colour only, as the screen shows it: the alpha the scenes leave is no part of the picture.
    const QImage frame = resolved.toImage();
    const QImage image = QImage(frame.constBits(), frame.width(), frame.height(),
                                frame.bytesPerLine(), QImage::Format_RGB32)
                             .copy();
    glBindTexture(GL_TEXTURE_2D, GLuint(texture));
    if (!ok)
        qWarning("%s", qPrintable(error));
    return ok ? image : QImage();
}

} // namespace

class SceneStreamTest : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void dumpLinesParse_data();
    void dumpLinesParse();
    void frameIsCutFromHousekeeping();
    void frameIssuesTheShowsCalls_data();
    void frameIssuesTheShowsCalls();
    void waveHeightsAtItsStart();
    void tumblingSpinAtItsLastFrame();
    void swarmArrangementIsFixed();
    void tumblingSwarmStartsWithTheSwarmsPicture();

private:
    // The frame the still tool draws, with the desktop scale factor given, if any.
    const QVector<GlCall> &frameAt(int clock, const QSize &size = kFrameSize,
                                   const QByteArray &scaleFactor = QByteArray());

    QTemporaryDir folder;
    QHash<QString, QVector<GlCall>> frames;
};

void SceneStreamTest::initTestCase()
{
    QVERIFY(folder.isValid());
    QVERIFY(TestMedia::ringedDisc(QColor(40, 200, 90, 200), QColor(250, 60, 20, 0), QPointF(30, 34),
                                  30, 28)
                .save(folder.filePath(QStringLiteral("round.png")), "PNG"));
}

const QVector<GlCall> &SceneStreamTest::frameAt(int clock, const QSize &size,
                                                const QByteArray &scaleFactor)
{
    const QString key = QStringLiteral("%1@%2x%3*%4")
                            .arg(clock)
                            .arg(size.width())
                            .arg(size.height())
                            .arg(QString::fromLatin1(scaleFactor));
    if (!frames.contains(key)) {
        QVector<GlCall> frame;
        QString error;
        // The tool inherits the scale factor from this process's environment.
        if (!scaleFactor.isEmpty())
            qputenv("QT_SCALE_FACTOR", scaleFactor);
        if (!FrameTrace::record(folder.path(), clock, size, &frame, &error))
            qWarning("recording the frame at %d failed: %s", clock, qPrintable(error));
        qunsetenv("QT_SCALE_FACTOR");
        frames.insert(key, frame);
    }
    return frames[key];
}

void SceneStreamTest::dumpLinesParse_data()
{
    QTest::addColumn<QString>("line");
    QTest::addColumn<QString>("name");
    QTest::addColumn<QStringList>("args");

    QTest::newRow("floats") << "1203 glVertex3f(x = -13, y = -12, z = -8.015779)"
                            << "glVertex3f" << QStringList{"-13", "-12", "-8.015779"};
    QTest::newRow("no arguments") << "77 glEnd()"
                                  << "glEnd" << QStringList{};
    QTest::newRow("mask") << "9 glClear(mask = GL_DEPTH_BUFFER_BIT | GL_COLOR_BUFFER_BIT)"
                          << "glClear" << QStringList{"GL_DEPTH_BUFFER_BIT | GL_COLOR_BUFFER_BIT"};
    QTest::newRow("result and nesting")
        << "5 glXChooseFBConfig(dpy = 0x1, attribList = {GLX_LEVEL, 0}, nitems = &2) = {0x5, 0x6}"
        << "glXChooseFBConfig" << QStringList{"0x1", "{GLX_LEVEL, 0}", "&2"};
    QTest::newRow("string with comma and parenthesis")
        << "8 glStringMarkerGREMEDY(len = 4, string = \"a, (b\")"
        << "glStringMarkerGREMEDY" << QStringList{"4", "\"a, (b\""};
    QTest::newRow("fake call") << "40 glViewport(x = 0, y = 0, width = 100, height = 100) // fake"
                               << "glViewport" << QStringList{"0", "0", "100", "100"};
}

void SceneStreamTest::dumpLinesParse()
{
    QFETCH(QString, line);
    QFETCH(QString, name);
    QFETCH(QStringList, args);
    GlCall call;
    QVERIFY(FrameTrace::parseLine(line, &call));
    QCOMPARE(call.name, name);
    QCOMPARE(call.args, args);
    QCOMPARE(call.numbers.size(), args.size());

    QVERIFY(!FrameTrace::parseLine(QStringLiteral("// process.name = \"x\""), &call));
    QVERIFY(!FrameTrace::parseLine(QStringLiteral("12 glVertex3f(x = 1, y = 2"), &call));
}

void SceneStreamTest::frameIsCutFromHousekeeping()
{
    const auto call = [](const char *name) { return GlCall{QLatin1String(name), {}, {}}; };
    const QVector<GlCall> setUp = {call("glGenTextures"),  call("glBindTexture"),
                                   call("glTexImage2D"),   call("glViewport"),
                                   call("glXMakeCurrent"), call("glBindFramebuffer")};
    const QVector<GlCall> drawing = {call("glClearColor"), call("glClear"), call("glClearColor"),
                                     call("glScissor"), call("glEnd")};
    const QVector<GlCall> readBack = {call("glXMakeCurrent"), call("glBindFramebuffer"),
                                      call("glReadPixels"), call("glDeleteTextures")};
    QVector<GlCall> frame;
    QString error;
    QVERIFY2(FrameTrace::cutFrame(setUp + drawing + readBack, &frame, &error), qPrintable(error));
    QCOMPARE(frame, drawing);
    QVERIFY(FrameTrace::cutFrame(setUp + drawing, &frame, &error));
    QCOMPARE(frame, drawing);

    const QVector<GlCall> secondFrame =
        readBack + QVector<GlCall>{call("glXMakeCurrent")} + drawing;
    QVERIFY(!FrameTrace::cutFrame(setUp + drawing + secondFrame, &frame, &error));
    QVERIFY(error.contains(QLatin1String("more than one")));
    QVERIFY(
        !FrameTrace::cutFrame(setUp + QVector<GlCall>{call("glFlush")} + drawing, &frame, &error));
    QVERIFY(!FrameTrace::cutFrame(setUp + readBack, &frame, &error));
}

void SceneStreamTest::frameIssuesTheShowsCalls_data()
{
    QTest::addColumn<int>("clock");
    QTest::addColumn<QSize>("size");
    QTest::addColumn<QByteArray>("scaleFactor");

    const int clocks[] = {0,     5000,  9899,  9900,  15000, 19999, 20000, 22000, 24999,  25000,
                          30000, 39999, 40000, 50000, 58999, 59000, 65000, -5,    INT_MAX};
    for (int clock : clocks)
        QTest::addRow("%d ms", clock) << clock << kFrameSize << QByteArray();
    // Clocks at which a time angle worked out in float arithmetic, rather than as a double
    // product narrowed once, prints differently.
    for (int clock : {107, 11622, 20107, 59102})
        QTest::addRow("%d ms, narrowing", clock) << clock << kFrameSize << QByteArray();
    // The band's rows follow the pane's height.
    QTest::newRow("5000 ms, 1920x1080") << 5000 << QSize(1920, 1080) << QByteArray();
    QTest::newRow("65000 ms, 1920x1080") << 65000 << QSize(1920, 1080) << QByteArray();
    QTest::newRow("0 ms, one row") << 0 << QSize(64, 1) << QByteArray();
    // The tool's sizes are pixels whatever scale factor the desktop sets.
    QTest::newRow("5000 ms, 1920x1080, scale 2") << 5000 << QSize(1920, 1080) << QByteArray("2");
    QTest::newRow("65000 ms, 1280x720, scale 1.5")
        << 65000 << QSize(1280, 720) << QByteArray("1.5");
}

void SceneStreamTest::frameIssuesTheShowsCalls()
{
    QFETCH(int, clock);
    QFETCH(QSize, size);
    QFETCH(QByteArray, scaleFactor);
    const QVector<GlCall> &actual = frameAt(clock, size, scaleFactor);
    QVERIFY2(!actual.isEmpty(), "no frame recorded");
    const QVector<GlCall> expected = ExpectedFrame::calls(clock, size);
    for (int i = 0; i < qMax(actual.size(), expected.size()); ++i) {
        if (i >= actual.size() || i >= expected.size() || actual.at(i) != expected.at(i))
            QFAIL(qPrintable(ExpectedFrame::sceneName(clock) + QStringLiteral(": ") +
                             describeMismatch(actual, expected, i)));
    }
}

void SceneStreamTest::waveHeightsAtItsStart()
{
    QVector<double> heights;
    for (const GlCall &call : frameAt(25000)) {
        if (call.name == QLatin1String("glVertex3f"))
            heights.append(call.numbers.at(2));
    }
    QCOMPARE(heights.size(), 625 * 4);
    // Tile (0, 0) comes first and tile (24, 24) last; all four corners share the height.
    for (int corner = 0; corner < 4; ++corner) {
        QVERIFY2(qAbs(heights.at(corner) - -8.0158) < 5e-5,
                 qPrintable(QString::number(heights.at(corner))));
        const double last = heights.at(heights.size() - 4 + corner);
        QVERIFY2(qAbs(last - -4.6574) < 5e-5, qPrintable(QString::number(last)));
    }
}

void SceneStreamTest::tumblingSpinAtItsLastFrame()
{
    int spins = 0;
    for (const GlCall &call : frameAt(24999)) {
        if (call.name != QLatin1String("glRotatef") ||
            call.args.mid(1) != QStringList{"1", "1", "1"})
            continue;
        ++spins;
        QVERIFY2(qAbs(call.numbers.at(0) - 399.92) < 1e-3, qPrintable(call.toString()));
    }
    QCOMPARE(spins, 700);
}

void SceneStreamTest::swarmArrangementIsFixed()
{
    const QVector<GlCall> &first = frameAt(9900);
    const QVector<GlCall> &last = frameAt(19999);
    QVERIFY(bodyStart(first) > 0);
    QCOMPARE(first.mid(bodyStart(first)), last.mid(bodyStart(last)));
    QVERIFY(first.mid(0, bodyStart(first)) != last.mid(0, bodyStart(last)));
}

// The swarm's picture at 20000 ms cannot come from the player, which shows the tumbling swarm
// from then on. Both scenes open alike and the swarm's drawing does not depend on the clock,
// so its picture at 20000 ms is the tumbling swarm's opening at 20000 ms followed by the
// swarm's recorded drawing. Both recordings are played back in the pane's own context.
void SceneStreamTest::tumblingSwarmStartsWithTheSwarmsPicture()
{
    const QVector<GlCall> &tumbling = frameAt(20000);
    const QVector<GlCall> &swarm = frameAt(19999);
    const int tumblingBody = bodyStart(tumbling);
    const int swarmBody = bodyStart(swarm);
    QVERIFY(tumblingBody > 0 && swarmBody == tumblingBody);
    // The openings differ in the time turns only.
    int differences = 0;
    for (int i = 0; i < swarmBody; ++i) {
        if (swarm.at(i) == tumbling.at(i))
            continue;
        ++differences;
        QCOMPARE(swarm.at(i).name, QStringLiteral("glRotatef"));
        QCOMPARE(swarm.at(i).args.mid(1), tumbling.at(i).args.mid(1));
    }
    QCOMPARE(differences, 3);
    const QVector<GlCall> swarmAtStart = tumbling.mid(0, tumblingBody) + swarm.mid(swarmBody);

    const QString previous = QDir::currentPath();
    QVERIFY(QDir::setCurrent(folder.path()));
    FrameRenderer renderer(kFrameSize);
    QDir::setCurrent(previous);
    QVERIFY(renderer.isReady());
    const QImage rendered = renderer.render(20000);
    const QImage tumblingPlayed = played(renderer, tumbling);
    const QImage swarmPlayed = played(renderer, swarmAtStart);
    QVERIFY(!tumblingPlayed.isNull() && !swarmPlayed.isNull());
    // Playing the recording reproduces the renderer's own picture, so the comparison below
    // compares what the scenes draw.
    QCOMPARE(tumblingPlayed, rendered);
    // The spin's offset reaches the same corners through other float roundings, which may
    // move a colour by one level on a few pixels; a frame one millisecond earlier, turned by
    // under a tenth of a degree, already differs far more.
    const auto alike = [](const QImage &a, const QImage &b) {
        const Difference difference = compare(a, b);
        return difference.largest <= 1 && difference.pixels <= a.width() * a.height() / 1000;
    };
    QVERIFY2(alike(swarmPlayed, tumblingPlayed),
             qPrintable(describe(compare(swarmPlayed, tumblingPlayed))));
    QVERIFY(!alike(played(renderer, swarm), tumblingPlayed));
}

QTEST_MAIN(SceneStreamTest)
#include "scenestreamtest.moc"
