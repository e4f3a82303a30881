// Position reports reaching the window's tick slot through a signal, as the media object sends
// them, in bursts that jump backwards, forwards, below zero and past 2^32: the pane ends on
// the last report's clock and scene, and only a report from 75500 ms on closes the window.
#include "demopane.h"
#include "mainwindow.h"
#include "testmedia.h"
#include "timeline.h"
#include "workingfolder.h"
#include "x11session.h"

#include <QDir>
#include <QLabel>
#include <QRandomGenerator>
#include <QtTest>

#include <limits>

namespace {

constexpr qint64 kShowEndMs = 75500;
constexpr qint64 k2To32 = qint64(1) << 32;

struct Band
{
    float red, green, blue;
};

// The band colour of each scene, in the show's order.
const Band kBands[] = {{0, 0, 0.3f},       {0.3f, 0.4f, 1}, {0.3f, 0.4f, 1},
                       {0.7f, 0.5f, 0.1f}, {0, 0.7f, 1},    {1, 0.6f, 0}};

// Below zero the show stays on its first scene.
QRgb bandColourAt(int clock)
{
    int scene = 0;
    while (scene + 1 < int(std::size(Timeline::kScenes)) &&
           clock >= Timeline::kScenes[scene + 1].startMs)
        ++scene;
    const Band &band = kBands[scene];
    return TestMedia::storedColour(band.red, band.green, band.blue);
}

} // namespace

// Stands in for the media object: its signal carries the position as tick(qint64) does.
class ReportSource : public QObject
{
    Q_OBJECT

signals:
    void report(qint64 position);
};

class ReportBurstTest : public QObject
{
    Q_OBJECT

private slots:
    void paneEndsOnTheLastReport_data();
    void paneEndsOnTheLastReport();
};

void ReportBurstTest::paneEndsOnTheLastReport_data()
{
    QTest::addColumn<QVector<qint64>>("burst");
    QTest::addColumn<int>("clock");
    QTest::addColumn<bool>("closes");
    QTest::addColumn<bool>("queued");

    // A hundred and more reports in random order, the last inside the grid scene.
    QVector<qint64> shuffled;
    QRandomGenerator random(5);
    for (int i = 0; i < 120; ++i)
        shuffled.append(random.bounded(-100000, 75500));
    shuffled.append(45000);

    const struct
    {
        const char *name;
        QVector<qint64> burst;
        int clock;
        bool closes;
    } rows[] = {
        {"backwards", {50000, 40000, 39999, 25000, 20000, 9900, 100}, 100, false},
        {"forwards by leaps", {0, 9900, 20000, 25000, 40000, 59000, 75499}, 75499, false},
        {"to negative", {30000, -1, -9900, -2147483648LL}, std::numeric_limits<int>::min(), false},
        {"negative with the ring's low bits", {10000, -k2To32 + 60000}, 60000, false},
        {"past 2^32", {10000, k2To32 + 30000}, 30000, true},
        {"2^32 - 1", {20000, k2To32 - 1}, -1, true},
        {"2^31", {2147483648LL}, std::numeric_limits<int>::min(), true},
        {"show end, then back", {kShowEndMs, 1000}, 1000, true},
        {"last open report", {kShowEndMs - 1}, 75499, false},
        {"64-bit extremes",
         {std::numeric_limits<qint64>::max(), std::numeric_limits<qint64>::min()},
         0,
         true},
        {"shuffled", shuffled, 45000, false},
    };
    for (const auto &row : rows) {
        QTest::addRow("%s, delivered at once", row.name)
            << row.burst << row.clock << row.closes << false;
        QTest::addRow("%s, queued", row.name) << row.burst << row.clock << row.closes << true;
    }
}

void ReportBurstTest::paneEndsOnTheLastReport()
{
    QFETCH(QVector<qint64>, burst);
    QFETCH(int, clock);
    QFETCH(bool, closes);
    QFETCH(bool, queued);

    // No music, hence no reports but the test's own; a transparent picture leaves only the band.
    WorkingFolder folder;
    QVERIFY(TestMedia::writeShow(folder.path(), 0));
    X11Session x11;
    QVERIFY(x11.isOpen());
    MainWindow window;
    VERIFY_NO_PROBLEM(X11Session::exposureProblem(&window));
    auto *pane = window.findChild<DemoPane *>();
    QVERIFY(pane);
    QTRY_COMPARE(pane->size(), window.size());
    ReportSource source;
    QVERIFY(QObject::connect(&source, SIGNAL(report(qint64)), &window, SLOT(tick(qint64)),
                             queued ? Qt::QueuedConnection : Qt::AutoConnection));

    bool closed = false;
    for (const qint64 position : burst) {
        emit source.report(position);
        if (queued)
            continue;
        // Delivered at once: the window goes with the first report from the show's end on.
        closed = closed || position >= kShowEndMs;
        QCOMPARE(window.isVisible(), !closed);
    }
    if (queued) {
        QVERIFY(window.isVisible());
        QCoreApplication::sendPostedEvents(&window, QEvent::MetaCall);
    }

    QCOMPARE(window.isVisible(), !closes);
    QCOMPARE(pane->demoClock(), clock);
    QCOMPARE(window.findChild<QLabel *>(QStringLiteral("label"))->text(),
             QString::number(burst.last()));
    if (closes)
        return;

    // Wherever and however large the window manager has made the window, the row at half the
    // pane's height lies in every scene's band.
    QVERIFY(window.internalWinId());
    const auto shownInBand = [&x11, &window, pane] {
        const QPoint shown = x11.geometry(window.internalWinId()).topLeft();
        return x11.grabScreen().pixel(shown + pane->mapTo(&window, QPoint(2, pane->height() / 2)));
    };
    const QRgb expected = bandColourAt(clock);
    QTRY_VERIFY2(
        TestMedia::closeColours(shownInBand(), expected),
        qPrintable(QStringLiteral("band shows %1, expected %2")
                       .arg(TestMedia::describe(shownInBand()), TestMedia::describe(expected))));
}

QTEST_MAIN(ReportBurstTest)
#include "reportburststest.moc"
