// The clock carried between position reports, fed report sequences on a made-up time line:
// each row is what a media back end and the pane do, step by step, and what the clock says.
#include "carriedclock.h"

#include <QtTest>

namespace {

enum class Action
{
    Play,
    Pause,
    // A position report that draws its frame; expected is the clock of its frame.
    Report,
    // A report behind the carried clock, which leaves its frame, of the expected clock, to the
    // carried frames.
    LateReport,
    // A frame is finished; expected is 1 when a carried frame follows, 0 when none does.
    FrameFinished,
    // A carried frame; expected is its clock.
    Carry
};

struct Step
{
    qint64 at;
    Action action;
    qint64 position;
    qint64 expected;
};

using Steps = QVector<Step>;

Step report(qint64 at, qint64 position, qint64 clock)
{
    return {at, Action::Report, position, clock};
}

Step lateReport(qint64 at, qint64 position, qint64 clock)
{
    return {at, Action::LateReport, position, clock};
}

Step frameFinished(qint64 at, bool carries)
{
    return {at, Action::FrameFinished, 0, carries};
}

Step carry(qint64 at, qint64 clock)
{
    return {at, Action::Carry, 0, clock};
}

// Playing from the time base on with four reports a second, a new position each, and frames
// of 10 ms: from the third report on the clock is carried.
Steps coarseReports(qint64 base, qint64 from)
{
    Steps steps = {{base, Action::Play, 0, 0}};
    for (int i = 0; i < 4; ++i) {
        steps << report(base + 250 * i, from + 250 * i, from + 250 * i);
        steps << frameFinished(base + 250 * i + 10, i > 1);
    }
    return steps;
}

} // namespace

Q_DECLARE_METATYPE(Steps)

class CarriedClockTest : public QObject
{
    Q_OBJECT

private slots:
    void followsTheRules_data();
    void followsTheRules();
};

void CarriedClockTest::followsTheRules_data()
{
    QTest::addColumn<Steps>("steps");
    // The four coarse reports end at 750 ms, at time 760.
    const Steps coarse = coarseReports(0, 0);

    QTest::newRow("carried between reports") << coarse + Steps{carry(770, 770), carry(900, 900)};
    QTest::newRow("a report ahead moves it at once")
        << coarse + Steps{carry(770, 770), frameFinished(780, true), report(790, 900, 900)};
    QTest::newRow("a report behind it neither holds it nor draws")
        << coarse + Steps{carry(900, 900), lateReport(920, 880, 920), carry(940, 940),
                          carry(1100, 1100), carry(1500, 1380)};
    QTest::newRow("a repeated report keeps its first time")
        << coarse + Steps{carry(900, 900), lateReport(905, 750, 905), carry(950, 950)};
    QTest::newRow("a seek back moves it back at once")
        << coarseReports(0, 5000) +
               Steps{carry(900, 5900), report(910, 1000, 1000), carry(920, 1010)};
    // Frames that grow slow until reports no longer come more coarsely: what was carried is
    // not taken back.
    QTest::newRow("carried, then slow frames")
        << coarse + Steps{carry(1000, 1000),       frameFinished(1490, true),
                          carry(1500, 1250),       frameFinished(1990, false),
                          carry(2000, 1250),       frameFinished(2490, false),
                          carry(2500, 1250),       frameFinished(2990, false),
                          report(3000, 900, 1250), report(3010, 1251, 1251)};
    QTest::newRow("a restart moves it back at once")
        << coarseReports(0, 30000) + Steps{carry(900, 30900), report(910, 0, 0)};
    QTest::newRow("no further than two report intervals past the latest report")
        << coarse + Steps{carry(1100, 1100), carry(1400, 1250),        frameFinished(1410, false),
                          carry(5000, 1250), report(5010, 1250, 1250), report(5020, 1500, 1500)};
    QTest::newRow("held at its limit, it goes on from there with the next report")
        << coarse + Steps{carry(1400, 1250), frameFinished(1410, false),
                          lateReport(1500, 1000, 1250), carry(1510, 1260)};
    QTest::newRow("the interval has a cap")
        << Steps{{0, Action::Play, 0, 0},    report(0, 0, 0),
                 frameFinished(10, false),   report(2000, 2000, 2000),
                 frameFinished(2010, false), report(4000, 4000, 4000),
                 frameFinished(4010, true),  carry(4400, 4400),
                 carry(5000, 4500)};
    QTest::newRow("paused, it holds")
        << coarse + Steps{carry(800, 800), {805, Action::Pause, 0, 0}, frameFinished(810, false),
                          carry(900, 800), report(950, 800, 800),      frameFinished(960, false)};
    QTest::newRow("resumed, it moves on from the paused position")
        << coarse + Steps{carry(800, 800),
                          {805, Action::Pause, 0, 0},
                          {5000, Action::Play, 0, 0},
                          carry(5000, 800),
                          carry(5080, 880)};
    QTest::newRow("carried frames stop short of the show's end")
        << coarseReports(0, 74500) + Steps{carry(990, 75490), frameFinished(1000, true),
                                           carry(1010, 75499), frameFinished(1020, false),
                                           report(1030, 75500, 75500)};
    // Reports for every frame, as GStreamer's back end gives them: each frame shows the
    // reported position, back or forth, and nothing is carried.
    QTest::newRow("fine reports") << Steps{
        {0, Action::Play, 0, 0},  report(0, 0, 0),    frameFinished(10, false), report(11, 11, 11),
        frameFinished(21, false), report(22, 22, 22), frameFinished(32, false), report(33, 33, 33),
        frameFinished(43, false), report(44, 30, 30), frameFinished(54, false)};
    QTest::newRow("two reports are too few to judge")
        << Steps{{0, Action::Play, 0, 0}, report(0, 0, 0),           frameFinished(10, false),
                 report(250, 250, 250),   frameFinished(260, false), carry(600, 250)};
}

void CarriedClockTest::followsTheRules()
{
    QFETCH(Steps, steps);
    qint64 now = 0;
    CarriedClock clock(nullptr, [&now] { return now; });
    for (int index = 0; index < steps.size(); ++index) {
        const Step &step = steps.at(index);
        now = step.at;
        const auto says = [index](qint64 actual, qint64 expected) {
            return actual == expected ? QByteArray()
                                      : QStringLiteral("step %1 gives %2, expected %3")
                                            .arg(index)
                                            .arg(actual)
                                            .arg(expected)
                                            .toUtf8();
        };
        QByteArray wrong;
        switch (step.action) {
        case Action::Play:
            clock.setPlaying(true);
            break;
        case Action::Pause:
            clock.setPlaying(false);
            break;
        case Action::Report:
        case Action::LateReport: {
            const bool late = step.action == Action::LateReport;
            wrong = says(clock.report(step.position), step.expected);
            if (clock.drawsReportFrame() == late || (late && !clock.carries()))
                wrong = QByteArray::number(index) + (late ? " draws a late report's frame"
                                                          : " leaves the report's frame undrawn");
            break;
        }
        case Action::FrameFinished:
            clock.frameFinished();
            wrong = says(clock.carries(), step.expected);
            break;
        case Action::Carry:
            wrong = says(clock.carry(), step.expected);
            break;
        }
        QVERIFY2(wrong.isEmpty(), wrong.constData());
    }
}

QTEST_GUILESS_MAIN(CarriedClockTest)
#include "carriedclocktest.moc"
