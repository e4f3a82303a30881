// The main window in process: start-up state, position reports, the button slots, the end
// of the music and language changes, with and without real playback.
#include "mainwindow.h"
#include "carriedclock.h"
#include "demopane.h"
#include "testmedia.h"
#include "workingfolder.h"
#include "x11session.h"

#include <QDir>
#include <QEvent>
#include <QFrame>
#include <QLabel>
#include <QPushButton>
#include <QtTest>
#include <phonon/AudioOutput>
#include <phonon/MediaObject>
#include <phonon/SeekSlider>

#include <GL/gl.h>

namespace {

constexpr int kPlaybackTimeoutMs = 20000;

QLabel *positionLabel(MainWindow &window)
{
    return window.findChild<QLabel *>(QStringLiteral("label"));
}

DemoPane *paneOf(MainWindow &window)
{
    return window.findChild<DemoPane *>();
}

Phonon::MediaObject *mediaOf(MainWindow &window)
{
    return window.findChild<Phonon::MediaObject *>();
}

} // namespace

class MainWindowTest : public QObject
{
    Q_OBJECT

private slots:
    void startsFullScreenWithOnlyTheDemo();
    void reportClosesOnlyFromTheShowEnd_data();
    void reportClosesOnlyFromTheShowEnd();
    void reportDrawsItsFrameAtOnce();
    void endOfMusicSaysDone_data();
    void endOfMusicSaysDone();
    void languageChangeResetsTexts();
    void playbackDrivesTheClock();
    void playStopAndFullscreenButtons();
    void seekingBackShowsTheEarlierScene();
};

void MainWindowTest::startsFullScreenWithOnlyTheDemo()
{
    WorkingFolder folder;
    MainWindow window;
    QVERIFY(window.isVisible());
    QVERIFY(window.isFullScreen());
    QCOMPARE(window.windowTitle(), QStringLiteral("Tovek2"));
    QVERIFY(!window.findChild<QFrame *>(QStringLiteral("frame_2"))->isVisible());
    QCOMPARE(positionLabel(window)->text(), QStringLiteral("0"));

    DemoPane *pane = paneOf(window);
    QVERIFY(pane);
    QCOMPARE(pane->demoClock(), 0);
    QCOMPARE(pane->parent()->objectName(), QStringLiteral("frame"));
    auto *slider = window.findChild<Phonon::SeekSlider *>();
    QVERIFY(slider);
    QCOMPARE(slider->parent()->objectName(), QStringLiteral("widget"));
    QCOMPARE(slider->mediaObject(), mediaOf(window));

    Phonon::MediaObject *media = mediaOf(window);
    QCOMPARE(media->tickInterval(), qint32(1));
    QCOMPARE(media->currentSource().fileName(), folder.path(QStringLiteral("desert.mp3")));
    QCOMPARE(window.findChild<Phonon::AudioOutput *>()->category(), Phonon::MusicCategory);

    // The demo covers the whole window once the window manager has made it full screen.
    VERIFY_NO_PROBLEM(X11Session::exposureProblem(&window));
    QTRY_COMPARE(pane->size(), window.size());
    // Four samples a pixel. The pane's format says what it asked of the window system, which
    // may have none to give (Debian 13's Xvfb).
    pane->makeCurrent();
    GLint samples = 0;
    glGetIntegerv(GL_SAMPLES, &samples);
    QCOMPARE(qMax(int(samples), pane->format().samples()), 4);
}

void MainWindowTest::reportClosesOnlyFromTheShowEnd_data()
{
    QTest::addColumn<qint64>("position");
    QTest::addColumn<bool>("closes");
    QTest::addColumn<QString>("label");
    QTest::addColumn<int>("clock");
    QTest::newRow("start") << qint64(0) << false << "0" << 0;
    QTest::newRow("last open report") << qint64(75499) << false << "75499" << 75499;
    QTest::newRow("show end") << qint64(75500) << true << "75500" << 75500;
    QTest::newRow("past the end") << qint64(90000) << true << "90000" << 90000;
    QTest::newRow("negative") << qint64(-42) << false << "-42" << -42;
    QTest::newRow("very negative")
        << qint64(-5000000000LL) << false << "-5000000000" << int(-5000000000LL + 2 * 4294967296LL);
    QTest::newRow("past 2^32") << qint64(4294967301LL) << true << "4294967301" << 5;
    QTest::newRow("low bits negative") << qint64(4294967295LL) << true << "4294967295" << -1;
}

void MainWindowTest::reportClosesOnlyFromTheShowEnd()
{
    QFETCH(qint64, position);
    QFETCH(bool, closes);
    QFETCH(QString, label);
    QFETCH(int, clock);
    WorkingFolder folder;
    MainWindow window;
    VERIFY_NO_PROBLEM(X11Session::exposureProblem(&window));
    window.tick(position);
    QCOMPARE(window.isVisible(), !closes);
    QCOMPARE(positionLabel(window)->text(), label);
    QCOMPARE(paneOf(window)->demoClock(), clock);
}

void MainWindowTest::reportDrawsItsFrameAtOnce()
{
    WorkingFolder folder;
    // A fully transparent picture leaves only the letterbox band in each frame.
    QVERIFY(TestMedia::writeUniformPicture(folder.path(QStringLiteral("round.png")), 0x00000000));
    MainWindow window;
    VERIFY_NO_PROBLEM(X11Session::exposureProblem(&window));
    DemoPane *pane = paneOf(window);
    QTRY_COMPARE(pane->size(), window.size());
    const QPoint inBand(1, pane->height() / 2);

    // No event is processed between the report and the read-back: the frame is drawn inside
    // the report.
    window.tick(30000);
    QRgb seen = pane->grabFrameBuffer().pixel(inBand);
    QVERIFY2(TestMedia::closeColours(seen, TestMedia::storedColour(0.7f, 0.5f, 0.1f)),
             qPrintable(TestMedia::describe(seen)));
    window.tick(45000);
    seen = pane->grabFrameBuffer().pixel(inBand);
    QVERIFY2(TestMedia::closeColours(seen, TestMedia::storedColour(0, 0.7f, 1)),
             qPrintable(TestMedia::describe(seen)));

    // A frame carried between reports is drawn at once too, even while a Wayland compositor slow
    // to answer a frame has the pane called unmapped; the label keeps the report.
    pane->setAttribute(Qt::WA_Mapped, false);
    emit window.findChild<CarriedClock *>()->frameDue(60000);
    seen = pane->grabFrameBuffer().pixel(inBand);
    QVERIFY2(TestMedia::closeColours(seen, TestMedia::storedColour(1, 0.6f, 0)),
             qPrintable(TestMedia::describe(seen)));
    QCOMPARE(positionLabel(window)->text(), QStringLiteral("45000"));
}

void MainWindowTest::endOfMusicSaysDone_data()
{
    QTest::addColumn<int>("tuneSeconds");
    QTest::addColumn<bool>("closes");
    QTest::newRow("no music") << 0 << false;
    QTest::newRow("music shorter than the show") << 20 << false;
    // The music's end lies past the show's, wherever the last report fell.
    QTest::newRow("music that holds the show") << 80 << true;
}

void MainWindowTest::endOfMusicSaysDone()
{
    QFETCH(int, tuneSeconds);
    QFETCH(bool, closes);
    WorkingFolder folder;
    if (tuneSeconds > 0)
        QVERIFY(TestMedia::writeTune(folder.path(QStringLiteral("desert.mp3")), tuneSeconds));
    MainWindow window;
    if (tuneSeconds > 0)
        QTRY_VERIFY_WITH_TIMEOUT(mediaOf(window)->totalTime() > 0, kPlaybackTimeoutMs);
    window.tick(12345);
    window.finished();
    QCOMPARE(positionLabel(window)->text(), QStringLiteral("done"));
    QCOMPARE(window.isVisible(), !closes);
    QCOMPARE(paneOf(window)->demoClock(), 12345);
}

void MainWindowTest::languageChangeResetsTexts()
{
    WorkingFolder folder;
    MainWindow window;
    window.tick(1234);
    QEvent stateChange(QEvent::WindowStateChange);
    QCoreApplication::sendEvent(&window, &stateChange);
    QCOMPARE(positionLabel(window)->text(), QStringLiteral("1234"));

    window.finished();
    QEvent languageChange(QEvent::LanguageChange);
    QCoreApplication::sendEvent(&window, &languageChange);
    QCOMPARE(positionLabel(window)->text(), QStringLiteral("0"));
    QCOMPARE(window.windowTitle(), QStringLiteral("Tovek2"));
    QCOMPARE(window.findChild<QPushButton *>(QStringLiteral("pushButton"))->text(),
             QStringLiteral("Play/Stop"));
    QCOMPARE(window.findChild<QPushButton *>(QStringLiteral("pushButton_2"))->text(),
             QStringLiteral("Fullscreen"));
}

void MainWindowTest::playbackDrivesTheClock()
{
    WorkingFolder folder;
    QVERIFY(TestMedia::writeTune(folder.path(QStringLiteral("desert.mp3")), 20));
    MainWindow window;
    DemoPane *pane = paneOf(window);
    QTRY_VERIFY_WITH_TIMEOUT(pane->demoClock() > 500, kPlaybackTimeoutMs);
    const int first = pane->demoClock();
    QTRY_VERIFY_WITH_TIMEOUT(pane->demoClock() > first + 500, kPlaybackTimeoutMs);
    // The label shows the latest report; the picture shows it too, or a clock carried on from
    // it by at most half a second where reports come coarsely.
    const int reported = positionLabel(window)->text().toInt();
    QVERIFY2(
        pane->demoClock() >= reported && pane->demoClock() <= reported + 500,
        qPrintable(QStringLiteral("report %1, picture %2").arg(reported).arg(pane->demoClock())));
}

void MainWindowTest::playStopAndFullscreenButtons()
{
    WorkingFolder folder;
    QVERIFY(TestMedia::writeTune(folder.path(QStringLiteral("desert.mp3")), 20));
    MainWindow window;
    Phonon::MediaObject *media = mediaOf(window);
    QTRY_COMPARE_WITH_TIMEOUT(media->state(), Phonon::PlayingState, kPlaybackTimeoutMs);

    qRegisterMetaType<Phonon::State>();
    QSignalSpy states(media, &Phonon::MediaObject::stateChanged);
    window.on_pushButton_pressed();
    // state() turns to paused in the back end before the pause reaches this thread, and a
    // report sent before it may still be on its way; the stateChanged signal comes after it.
    QTRY_VERIFY_WITH_TIMEOUT(
        [&] {
            for (const QList<QVariant> &change : states)
                if (change.first().value<Phonon::State>() == Phonon::PausedState)
                    return true;
            return false;
        }(),
        kPlaybackTimeoutMs);
    QCoreApplication::sendPostedEvents();
    // Paused, the reports stop and the clock stays.
    const int pausedAt = paneOf(window)->demoClock();
    QTest::qWait(500);
    QCOMPARE(paneOf(window)->demoClock(), pausedAt);

    window.on_pushButton_pressed();
    QTRY_COMPARE_WITH_TIMEOUT(media->state(), Phonon::PlayingState, kPlaybackTimeoutMs);

    window.on_pushButton_pressed();
    QTRY_COMPARE_WITH_TIMEOUT(media->state(), Phonon::PausedState, kPlaybackTimeoutMs);
    window.on_pushButton_2_pressed();
    QTRY_COMPARE_WITH_TIMEOUT(media->state(), Phonon::PlayingState, kPlaybackTimeoutMs);
    QVERIFY(window.isFullScreen());
    QVERIFY(!window.findChild<QFrame *>(QStringLiteral("frame_2"))->isVisible());
}

void MainWindowTest::seekingBackShowsTheEarlierScene()
{
    WorkingFolder folder;
    QVERIFY(TestMedia::writeTune(folder.path(QStringLiteral("desert.mp3")), 40));
    MainWindow window;
    Phonon::MediaObject *media = mediaOf(window);
    DemoPane *pane = paneOf(window);
    QTRY_COMPARE_WITH_TIMEOUT(media->state(), Phonon::PlayingState, kPlaybackTimeoutMs);
    QTRY_VERIFY_WITH_TIMEOUT(media->isSeekable(), kPlaybackTimeoutMs);

    media->seek(30000);
    // Reports half a second past the position say the seek has settled: VLC's back end drops a
    // seek made while it still buffers for the last one. The label, unlike the pane's clock, is
    // never carried ahead of the reports.
    QTRY_VERIFY_WITH_TIMEOUT(positionLabel(window)->text().toInt() > 30500, kPlaybackTimeoutMs);
    media->seek(2000);
    // On a busy machine VLC's back end may still report positions from before the seek after
    // it, keep the latest as a floor and report nothing until the music passes it again; a
    // second seek, once the music plays on from the new position, lets the reports through.
    QTRY_VERIFY_WITH_TIMEOUT(media->currentTime() > 2200 && media->currentTime() < 9900,
                             kPlaybackTimeoutMs);
    media->seek(media->currentTime());
    QTRY_VERIFY_WITH_TIMEOUT(pane->demoClock() < 9900, kPlaybackTimeoutMs);
}

QTEST_MAIN(MainWindowTest)
#include "mainwindowtest.moc"
