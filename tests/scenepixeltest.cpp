// What the scenes put on screen, rendered by the player's own pane offscreen: with an opaque
// white picture every pixel's colour follows from the geometry, which the test works out by
// casting rays.
#include "expectedframe.h"
#include "framemodel.h"
#include "framerenderer.h"
#include "testmedia.h"

#include <QDir>
#include <QProcess>
#include <QTemporaryDir>
#include <QtMath>
#include <QtTest>

#include <cmath>
#include <map>
#include <memory>
#include <optional>

namespace {

const QSize kFrameSize(320, 240);
const double kTanHalfView = std::tan(qDegreesToRadians(22.5));

struct Vector
{
    double x, y, z;
};

// Turns v by degrees about the x, y or z axis, counter-clockwise seen from the axis's tip.
Vector turned(const Vector &v, char axis, double degrees)
{
    const double c = std::cos(qDegreesToRadians(degrees));
    const double s = std::sin(qDegreesToRadians(degrees));
    switch (axis) {
    case 'x':
        return {v.x, c * v.y - s * v.z, s * v.y + c * v.z};
    case 'y':
        return {c * v.x + s * v.z, v.y, -s * v.x + c * v.z};
    default:
        return {c * v.x - s * v.y, s * v.x + c * v.y, v.z};
    }
}

// The crossed planes' model: the planes z = 0, x = 0 and y = 0, each 2 by 2 around the
// origin, seen through T(0, 0, -3) Rx(0.05 t) Ry(0.07 t) Rz(0.08 t) S(0.5). Each of the eight
// octants between them is lined with one colour.
class CrossedPlanes
{
public:
    explicit CrossedPlanes(int t) : ax(float(t * 0.05)), ay(float(t * 0.07)), az(float(t * 0.08)) {}

    // The colour facing the eye along the ray through window point (x, y), if a plane is hit.
    std::optional<QRgb> colourAlong(double x, double y, const QSize &size) const
    {
        const double aspect = double(size.width()) / size.height();
        const Vector eyeRay = {(2 * x / size.width() - 1) * aspect * kTanHalfView,
                               (2 * y / size.height() - 1) * kTanHalfView, -1};
        const Vector eye = toPlanes({0, 0, 3}); // the eye sits 3 units before the planes
        const Vector ray = toPlanes(eyeRay);
        double nearest = qInf();
        std::optional<QRgb> colour;
        for (int axis = 0; axis < 3; ++axis) {
            const double o[3] = {eye.x, eye.y, eye.z};
            const double d[3] = {ray.x, ray.y, ray.z};
            if (d[axis] == 0)
                continue;
            const double along = -o[axis] / d[axis];
            double p[3];
            for (int k = 0; k < 3; ++k)
                p[k] = o[k] + along * d[k];
            p[axis] = o[axis]; // the octant on the eye's side of this plane
            const bool inside =
                std::abs(p[(axis + 1) % 3]) <= 1 && std::abs(p[(axis + 2) % 3]) <= 1;
            if (along > 0 && along < nearest && inside) {
                nearest = along;
                colour = octantColour(p[0] > 0, p[1] > 0, p[2] > 0);
            }
        }
        return colour;
    }

private:
    // Undoes the turns and the scale; the camera's translation is left to the caller.
    Vector toPlanes(Vector v) const
    {
        v = turned(turned(turned(v, 'x', -ax), 'y', -ay), 'z', -az);
        return {v.x / 0.5, v.y / 0.5, v.z / 0.5};
    }

    static QRgb octantColour(bool px, bool py, bool pz)
    {
        struct Octant
        {
            bool x, y, z;
            float r, g, b;
        };
        static const Octant octants[] = {
            {true, true, true, 1, 0.6f, 0},         {true, true, false, 0, 0.8f, 1},
            {false, true, true, 0.8f, 0.4f, 0.4f},  {false, true, false, 1, 0.8f, 0},
            {false, false, true, 0.2f, 0.6f, 0.4f}, {false, false, false, 1, 0.4f, 0.2f},
            {true, false, true, 0.2f, 0.4f, 0.8f},  {true, false, false, 0.2f, 0.8f, 0.2f},
        };
        for (const Octant &o : octants) {
            if (o.x == px && o.y == py && o.z == pz)
                return TestMedia::storedColour(o.r, o.g, o.b);
        }
        return 0;
    }

    float ax, ay, az;
};

// The image row of window row y.
int imageRow(int windowRow, const QSize &size)
{
    return size.height() - 1 - windowRow;
}

} // namespace

class ScenePixelTest : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase();
    void crossedPlanesShowSquareFrontsAtStart_data();
    void crossedPlanesShowSquareFrontsAtStart();
    void crossedPlanesLineOctantsWithTheirColours_data();
    void crossedPlanesLineOctantsWithTheirColours();
    void scenesShowWhatTheirCallsDraw_data();
    void scenesShowWhatTheirCallsDraw();
    void bandRowsFollowTheHeight_data();
    void bandRowsFollowTheHeight();
    void framesInSequenceMatchSeparateRuns();

private:
    FrameRenderer &renderer(const QSize &size);

    QTemporaryDir folder;
    QString previousFolder;
    std::map<std::pair<int, int>, std::unique_ptr<FrameRenderer>> renderers;
};

void ScenePixelTest::initTestCase()
{
    QVERIFY(folder.isValid());
    QVERIFY(TestMedia::writeUniformPicture(folder.filePath(QStringLiteral("round.png")),
                                           qRgba(255, 255, 255, 255)));
    // The pane reads round.png from the current folder.
    previousFolder = QDir::currentPath();
    QVERIFY(QDir::setCurrent(folder.path()));
}

void ScenePixelTest::cleanupTestCase()
{
    renderers.clear();
    QDir::setCurrent(previousFolder);
}

FrameRenderer &ScenePixelTest::renderer(const QSize &size)
{
    std::unique_ptr<FrameRenderer> &slot = renderers[{size.width(), size.height()}];
    if (!slot)
        slot = std::make_unique<FrameRenderer>(size);
    return *slot;
}

void ScenePixelTest::crossedPlanesShowSquareFrontsAtStart_data()
{
    QTest::addColumn<double>("x");
    QTest::addColumn<double>("y");
    QTest::addColumn<QColor>("front");

    // Unturned, squares 1 to 4 lie in the plane facing the eye; the centre of each sits half
    // a unit out, a quarter after the scale.
    QTest::newRow("square 1") << 0.25 << 0.25 << QColor::fromRgbF(1, 0.6, 0);
    QTest::newRow("square 2") << -0.25 << 0.25 << QColor::fromRgbF(0.8, 0.4, 0.4);
    QTest::newRow("square 3") << -0.25 << -0.25 << QColor::fromRgbF(0.2, 0.6, 0.4);
    QTest::newRow("square 4") << 0.25 << -0.25 << QColor::fromRgbF(0.2, 0.4, 0.8);
}

void ScenePixelTest::crossedPlanesShowSquareFrontsAtStart()
{
    QFETCH(double, x);
    QFETCH(double, y);
    QFETCH(QColor, front);
    FrameRenderer &frames = renderer(kFrameSize);
    QVERIFY(frames.isReady());
    const QImage frame = frames.render(0);

    // Three units in front of the eye, through a 45 degree field of view.
    const double aspect = double(kFrameSize.width()) / kFrameSize.height();
    const double ndcX = x / 3 / (kTanHalfView * aspect);
    const double ndcY = y / 3 / kTanHalfView;
    const int column = int((ndcX + 1) / 2 * kFrameSize.width());
    const int row = imageRow(int((ndcY + 1) / 2 * kFrameSize.height()), kFrameSize);
    const QRgb expected = TestMedia::storedColour(front.redF(), front.greenF(), front.blueF());
    const QRgb actual = frame.pixel(column, row);
    QVERIFY2(TestMedia::closeColours(actual, expected),
             qPrintable(QStringLiteral("(%1, %2): %3, expected %4")
                            .arg(column)
                            .arg(row)
                            .arg(TestMedia::describe(actual), TestMedia::describe(expected))));
}

void ScenePixelTest::crossedPlanesLineOctantsWithTheirColours_data()
{
    QTest::addColumn<int>("clock");
    for (int clock : {0, 1234, 3600, 5000, 7777, 9899, -5})
        QTest::addRow("%d ms", clock) << clock;
}

void ScenePixelTest::crossedPlanesLineOctantsWithTheirColours()
{
    QFETCH(int, clock);
    FrameRenderer &frames = renderer(kFrameSize);
    QVERIFY(frames.isReady());
    const QImage frame = frames.render(clock);
    const CrossedPlanes planes(clock);
    const FrameModel background(ExpectedFrame::calls(clock, kFrameSize), kFrameSize);
    const QRgb bandColour = TestMedia::storedColour(0, 0, 0.3f);

    int compared = 0;
    QSet<QRgb> seen;
    QStringList wrong;
    for (int y = 2; y < kFrameSize.height(); y += 5) {
        for (int x = 2; x < kFrameSize.width(); x += 5) {
            const double wx = x + 0.5, wy = kFrameSize.height() - 1 - y + 0.5;
            const std::optional<QRgb> centre = planes.colourAlong(wx, wy, kFrameSize);
            bool certain = true;
            for (double dx : {-0.45, 0.45})
                for (double dy : {-0.45, 0.45})
                    certain = certain && planes.colourAlong(wx + dx, wy + dy, kFrameSize) == centre;
            if (!certain)
                continue;
            const QRgb expected = centre                 ? *centre
                                  : background.inBand(y) ? bandColour
                                                         : qRgb(0, 0, 0);
            if (centre)
                seen.insert(*centre);
            ++compared;
            if (!TestMedia::closeColours(frame.pixel(x, y), expected))
                wrong.append(QStringLiteral("(%1, %2) %3, expected %4")
                                 .arg(x)
                                 .arg(y)
                                 .arg(TestMedia::describe(frame.pixel(x, y)),
                                      TestMedia::describe(expected)));
        }
    }
    QVERIFY2(wrong.isEmpty(),
             qPrintable(QString::number(wrong.size()) + QStringLiteral(" pixels wrong: ") +
                        wrong.mid(0, 5).join(QLatin1String("; "))));
    QVERIFY(compared > 2000);
    QVERIFY2(seen.size() >= 3, "too few octants in view to tell them apart");
}

void ScenePixelTest::scenesShowWhatTheirCallsDraw_data()
{
    QTest::addColumn<int>("clock");
    // Clocks at which the scene's geometry reaches the black bars, where it must show.
    QTest::addColumn<bool>("coversBars");

    QTest::newRow("crossed planes") << 2500 << false;
    QTest::newRow("swarm") << 9900 << false;
    QTest::newRow("swarm later") << 17000 << false;
    QTest::newRow("tumbling swarm") << 20000 << false;
    QTest::newRow("tumbling swarm later") << 23456 << false;
    QTest::newRow("wave") << 25000 << true;
    QTest::newRow("wave later") << 33333 << true;
    QTest::newRow("grid") << 40000 << false;
    QTest::newRow("grid later") << 52000 << false;
    QTest::newRow("ring") << 59000 << false;
    QTest::newRow("ring later") << 60500 << true;
    QTest::newRow("ring later still") << 74000 << true;
    QTest::newRow("ring at the end") << 75499 << false;
}

void ScenePixelTest::scenesShowWhatTheirCallsDraw()
{
    QFETCH(int, clock);
    QFETCH(bool, coversBars);
    FrameRenderer &frames = renderer(kFrameSize);
    QVERIFY(frames.isReady());
    const QImage frame = frames.render(clock);
    const FrameModel model(ExpectedFrame::calls(clock, kFrameSize), kFrameSize);

    int compared = 0, coveredInBars = 0;
    QStringList wrong;
    for (int y = 0; y < kFrameSize.height(); ++y) {
        // The bars are looked at more closely: what reaches them is a scene's edge.
        const int step = model.inBand(y) ? 6 : 2;
        if (y % step != 0)
            continue;
        for (int x = 0; x < kFrameSize.width(); x += step) {
            const FrameModel::Pixel expected = model.pixel(x, y);
            if (!expected.certain)
                continue;
            ++compared;
            const QRgb actual = frame.pixel(x, y);
            // The renderer's 8-bit blending may round a level away from the model's.
            if (!TestMedia::closeColours(actual, expected.colour, 2)) {
                wrong.append(
                    QStringLiteral("(%1, %2) %3, expected %4 from %5 layers")
                        .arg(x)
                        .arg(y)
                        .arg(TestMedia::describe(actual), TestMedia::describe(expected.colour))
                        .arg(expected.layers));
            }
            if (!model.inBand(y) && expected.layers > 0 && qGray(actual) > 20)
                ++coveredInBars;
        }
    }
    QVERIFY2(wrong.isEmpty(),
             qPrintable(QString::number(wrong.size()) + QStringLiteral(" of ") +
                        QString::number(compared) + QStringLiteral(" pixels wrong: ") +
                        wrong.mid(0, 5).join(QLatin1String("; "))));
    QVERIFY(compared > 1000);
    if (coversBars)
        QVERIFY2(coveredInBars > 10, qPrintable(QString::number(coveredInBars)));
}

void ScenePixelTest::bandRowsFollowTheHeight_data()
{
    QTest::addColumn<int>("clock");
    QTest::addColumn<QSize>("size");
    QTest::addColumn<int>("bottom");
    QTest::addColumn<int>("rows");
    QTest::addColumn<QColor>("band");

    const QColor crossedPlanes = QColor::fromRgbF(0, 0, 0.3);
    const QColor ring = QColor::fromRgbF(1, 0.6, 0);
    QTest::newRow("shared band, 1080 high")
        << 5000 << QSize(1920, 1080) << 179 << 719 << crossedPlanes;
    QTest::newRow("ring band, 1080 high") << 65000 << QSize(1920, 1080) << 108 << 864 << ring;
    QTest::newRow("shared band, 600 high")
        << 5000 << QSize(1000, 600) << 99 << 399 << crossedPlanes;
    QTest::newRow("ring band, 600 high") << 65000 << QSize(1000, 600) << 60 << 480 << ring;
    QTest::newRow("ring band from its first frame")
        << 59000 << QSize(1000, 600) << 60 << 480 << ring;
    QTest::newRow("one row high") << 0 << QSize(64, 1) << 0 << 0 << crossedPlanes;
}

// Down the leftmost column, where no geometry reaches, the rows show the band exactly.
void ScenePixelTest::bandRowsFollowTheHeight()
{
    QFETCH(int, clock);
    QFETCH(QSize, size);
    QFETCH(int, bottom);
    QFETCH(int, rows);
    QFETCH(QColor, band);
    FrameRenderer &frames = renderer(size);
    QVERIFY(frames.isReady());
    const QImage frame = frames.render(clock);
    const FrameModel model(ExpectedFrame::calls(clock, size), size);
    const QRgb bandColour = TestMedia::storedColour(band.redF(), band.greenF(), band.blueF());
    for (int windowRow = 0; windowRow < size.height(); ++windowRow) {
        const int y = imageRow(windowRow, size);
        const FrameModel::Pixel free = model.pixel(0, y);
        QVERIFY2(free.certain && free.layers == 0, "geometry reaches the leftmost column");
        const bool inBand = windowRow >= bottom && windowRow < bottom + rows;
        const QRgb expected = inBand ? bandColour : qRgb(0, 0, 0);
        QVERIFY2(TestMedia::closeColours(frame.pixel(0, y), expected),
                 qPrintable(QStringLiteral("row %1 from the bottom: %2, expected %3")
                                .arg(windowRow)
                                .arg(TestMedia::describe(frame.pixel(0, y)),
                                     TestMedia::describe(expected))));
    }
}

// Frames drawn one after another in one context equal frames drawn each in a fresh process:
// no scene depends on what the one before left behind.
void ScenePixelTest::framesInSequenceMatchSeparateRuns()
{
    QTemporaryDir pictures;
    QVERIFY(pictures.isValid());
    QVERIFY(TestMedia::ringedDisc(QColor(200, 40, 160, 180), QColor(20, 90, 250, 0),
                                  QPointF(34, 30), 30, 26)
                .save(pictures.filePath(QStringLiteral("round.png")), "PNG"));
    QVERIFY(QDir::setCurrent(pictures.path()));
    FrameRenderer sequence(kFrameSize);
    QVERIFY(QDir::setCurrent(folder.path()));
    QVERIFY(sequence.isReady());

    // Each scene follows one that leaves other switches behind.
    const int clocks[] = {65000, 0, 30000, 15000, 50000, 22000, 61000, 5000, 45000, 36000};
    for (int clock : clocks) {
        const QImage inSequence = sequence.render(clock);
        const QString file = pictures.filePath(QStringLiteral("alone-%1.png").arg(clock));
        QProcess still;
        still.setWorkingDirectory(pictures.path());
        still.start(QStringLiteral(TOVEK2_STILL),
                    {QStringLiteral("--clock"), QString::number(clock), QStringLiteral("--size"),
                     QStringLiteral("%1x%2").arg(kFrameSize.width()).arg(kFrameSize.height()),
                     QStringLiteral("--output"), file});
        QVERIFY(still.waitForFinished(60000));
        QCOMPARE(still.exitCode(), 0);
        const QImage alone(file);
        QVERIFY(!alone.isNull());
        QVERIFY2(alone.convertToFormat(QImage::Format_RGB32) == inSequence,
                 qPrintable(QStringLiteral("frame at %1 ms").arg(clock)));
    }
}

QTEST_MAIN(ScenePixelTest)
#include "scenepixeltest.moc"
