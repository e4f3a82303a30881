// The pane's timeline and letterbox band, seen in rendered pixels: with a fully transparent
// picture every scene leaves only its band, so a frame's colours tell which scene drew it.
#include "demopane.h"
#include "framerenderer.h"
#include "testmedia.h"
#include "workingfolder.h"

#include <QDir>
#include <QtTest>

#include <GL/gl.h>
#include <GL/glu.h>

#include <cmath>

namespace {

struct Band
{
    float red, green, blue;
};
const Band kCrossedPlanesBand = {0, 0, 0.3f};
const Band kSwarmBand = {0.3f, 0.4f, 1};
const Band kWaveBand = {0.7f, 0.5f, 0.1f};
const Band kGridBand = {0, 0.7f, 1};
const Band kRingBand = {1, 0.6f, 0};

QRgb stored(const Band &band)
{
    return TestMedia::storedColour(band.red, band.green, band.blue);
}

// A pane whose resize handler the test can call with any size.
class ResizablePane : public DemoPane
{
public:
    using DemoPane::resizeGL;
};

} // namespace

Q_DECLARE_METATYPE(Band)

class TimelineTest : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();

    void clockSelectsScene_data();
    void clockSelectsScene();
    void bandRowsFollowThePaneHeight_data();
    void bandRowsFollowThePaneHeight();
    void onePixelHighPaneShowsNoBand();
    void resizeSetsViewportAndPerspective();
    void emptyPaneKeepsAFiniteProjection();

private:
    WorkingFolder folder;
};

void TimelineTest::initTestCase()
{
    QVERIFY(TestMedia::writeShow(folder.path(), 0));
}

void TimelineTest::clockSelectsScene_data()
{
    QTest::addColumn<int>("clock");
    QTest::addColumn<Band>("band");
    QTest::newRow("most negative") << int(INT_MIN) << kCrossedPlanesBand;
    QTest::newRow("negative") << -1 << kCrossedPlanesBand;
    QTest::newRow("start") << 0 << kCrossedPlanesBand;
    QTest::newRow("9899") << 9899 << kCrossedPlanesBand;
    QTest::newRow("9900") << 9900 << kSwarmBand;
    QTest::newRow("19999") << 19999 << kSwarmBand;
    // The swarm hands over to its tumbling copy at 20000 with the same band; the call stream
    // test tells those two apart.
    QTest::newRow("24999") << 24999 << kSwarmBand;
    QTest::newRow("25000") << 25000 << kWaveBand;
    QTest::newRow("39999") << 39999 << kWaveBand;
    QTest::newRow("40000") << 40000 << kGridBand;
    QTest::newRow("58999") << 58999 << kGridBand;
    QTest::newRow("59000") << 59000 << kRingBand;
    QTest::newRow("show end") << 75500 << kRingBand;
    QTest::newRow("huge") << int(INT_MAX) << kRingBand;
}

void TimelineTest::clockSelectsScene()
{
    QFETCH(int, clock);
    QFETCH(Band, band);
    FrameRenderer renderer(QSize(64, 48));
    QVERIFY(renderer.isReady());
    const QImage frame = renderer.render(clock);
    const QRgb seen = frame.pixel(0, frame.height() / 2);
    QVERIFY2(TestMedia::closeColours(seen, stored(band)),
             qPrintable(QStringLiteral("saw %1, expected %2")
                            .arg(TestMedia::describe(seen), TestMedia::describe(stored(band)))));
    QCOMPARE(frame.pixel(0, 0), qRgb(0, 0, 0));
    QCOMPARE(frame.pixel(frame.width() - 1, frame.height() - 1), qRgb(0, 0, 0));
}

void TimelineTest::bandRowsFollowThePaneHeight_data()
{
    QTest::addColumn<int>("height");
    QTest::addColumn<int>("clock");
    QTest::addColumn<Band>("band");
    QTest::addColumn<int>("firstRow");
    QTest::addColumn<int>("rows");
    QTest::newRow("1080 crossed planes") << 1080 << 0 << kCrossedPlanesBand << 179 << 719;
    QTest::newRow("1080 swarm") << 1080 << 15000 << kSwarmBand << 179 << 719;
    QTest::newRow("1080 wave") << 1080 << 30000 << kWaveBand << 179 << 719;
    QTest::newRow("1080 grid") << 1080 << 50000 << kGridBand << 179 << 719;
    QTest::newRow("1080 ring") << 1080 << 65000 << kRingBand << 108 << 864;
    QTest::newRow("600 crossed planes") << 600 << 0 << kCrossedPlanesBand << 99 << 399;
    QTest::newRow("600 tumbling swarm") << 600 << 22000 << kSwarmBand << 99 << 399;
    QTest::newRow("600 ring") << 600 << 59000 << kRingBand << 60 << 480;
}

void TimelineTest::bandRowsFollowThePaneHeight()
{
    QFETCH(int, height);
    QFETCH(int, clock);
    QFETCH(Band, band);
    QFETCH(int, firstRow);
    QFETCH(int, rows);
    FrameRenderer renderer(QSize(16, height));
    QVERIFY(renderer.isReady());
    const QPair<int, int> seen = TestMedia::bandRows(renderer.render(clock), 0, stored(band));
    QCOMPARE(seen.first, firstRow);
    QCOMPARE(seen.second, rows);
}

void TimelineTest::onePixelHighPaneShowsNoBand()
{
    FrameRenderer renderer(QSize(16, 1));
    QVERIFY(renderer.isReady());
    for (int clock : {0, 15000, 30000, 50000, 65000})
        QCOMPARE(renderer.render(clock).pixel(0, 0), qRgb(0, 0, 0));
}

void TimelineTest::resizeSetsViewportAndPerspective()
{
    FrameRenderer renderer(QSize(800, 600));
    QVERIFY(renderer.isReady());
    renderer.render(0);
    renderer.pane().makeCurrent();

    GLint viewport[4] = {};
    glGetIntegerv(GL_VIEWPORT, viewport);
    QCOMPARE(QList<int>({viewport[0], viewport[1], viewport[2], viewport[3]}),
             QList<int>({0, 0, 800, 600}));
    GLint mode = 0;
    glGetIntegerv(GL_MATRIX_MODE, &mode);
    QCOMPARE(mode, GLint(GL_MODELVIEW));

    // 45 degrees vertically, aspect 800/600, near 0.01 and far 100, column by column.
    const double f = 1.0 / std::tan(22.5 * M_PI / 180.0);
    const double aspect = 800.0 / 600.0;
    const double expected[16] = {f / aspect,
                                 0,
                                 0,
                                 0,
                                 0,
                                 f,
                                 0,
                                 0,
                                 0,
                                 0,
                                 (100 + 0.01) / (0.01 - 100),
                                 -1,
                                 0,
                                 0,
                                 2 * 100 * 0.01 / (0.01 - 100),
                                 0};
    GLfloat projection[16] = {};
    glGetFloatv(GL_PROJECTION_MATRIX, projection);
    for (int i = 0; i < 16; ++i)
        QVERIFY2(std::fabs(projection[i] - expected[i]) < 1e-5,
                 qPrintable(QStringLiteral("element %1: %2, expected %3")
                                .arg(i)
                                .arg(projection[i])
                                .arg(expected[i])));
}

void TimelineTest::emptyPaneKeepsAFiniteProjection()
{
    ResizablePane pane;
    pane.setAttribute(Qt::WA_DontShowOnScreen);
    pane.resize(64, 64);
    pane.show();
    QVERIFY(pane.isValid());
    pane.makeCurrent();
    pane.resizeGL(800, 0);

    GLint viewport[4] = {};
    glGetIntegerv(GL_VIEWPORT, viewport);
    QCOMPARE(viewport[3], 0);
    GLfloat projection[16] = {};
    glGetFloatv(GL_PROJECTION_MATRIX, projection);
    for (GLfloat element : projection)
        QVERIFY(std::isfinite(element));
    // Counted as one row high: the aspect is 800.
    QVERIFY(std::fabs(projection[5] / projection[0] - 800.0) < 1e-2);
}

QTEST_MAIN(TimelineTest)
#include "timelinetest.moc"
