#include "mainwindow.h"
#include "carriedclock.h"
#include "demopane.h"
#include "idleinhibitor.h"
#include "mainwindowform.h"
#include "pointerhider.h"
#include "timeline.h"

#include <QAction>
#include <QEvent>
#include <QFileInfo>
#include <QFrame>
#include <QLabel>
#include <QLayout>
#include <QUrl>
#include <phonon/AudioOutput>
#include <phonon/MediaObject>
#include <phonon/MediaSource>
#include <phonon/Path>
#include <phonon/SeekSlider>

namespace {
// Ask the media layer for its finest report rate: every report draws one frame.
constexpr int kTickIntervalMs = 1;

// Phonon's GStreamer back end reports the position about every millisecond, so every frame
// the machine can draw shows a new picture. Other back ends report far more coarsely (VLC's
// every quarter of a second, each report twice) and turn the show into a slideshow, yet Phonon
// ranks VLC's first. It loads the back end named in PHONON_BACKEND first where that one is
// installed, and keeps to its own order where it is not; a name the user put there is kept.
void preferGStreamerBackEnd()
{
    if (qEnvironmentVariableIsEmpty("PHONON_BACKEND"))
        qputenv("PHONON_BACKEND", "phonon_gstreamer");
}
} // namespace

MainWindow::MainWindow(QWidget *parent)
    : QMainWindow(parent), ui(new MainWindowForm), mediaSource(nullptr), mediaObject(nullptr),
      audioOutput(nullptr), seekSlider(nullptr), demoPane(nullptr), carriedClock(nullptr),
      idleInhibitor(nullptr)
{
    ui->setup(this);

    demoPane = new DemoPane(nullptr);
    // The pane's window is made at once, at a new window's default 640x480, and its first GL
    // buffer takes that size before the layout's size reaches the window system. That first
    // frame is larger than a scaled screen, and mutter, which can place the full-screen window
    // by it, then leaves the whole show shifted up. One pixel is never larger than a screen.
    demoPane->resize(1, 1);
    ui->frame->layout()->addWidget(demoPane);

    // Phonon chooses its back end when the first media object is made.
    preferGStreamerBackEnd();

    // The music is the bare name resolved against the working directory, as a local file.
    // Something there that is not a file gets an empty source: the media layer opens the name
    // on this thread, and a named pipe would block the window until something writes to it.
    const QFileInfo music(QStringLiteral("desert.mp3"));
    mediaSource = music.exists() && !music.isFile()
                      ? new Phonon::MediaSource()
                      : new Phonon::MediaSource(QUrl::fromLocalFile(music.absoluteFilePath()));
    audioOutput = new Phonon::AudioOutput(Phonon::MusicCategory, this);
    mediaObject = new Phonon::MediaObject(this);
    seekSlider = new Phonon::SeekSlider(this);
    seekSlider->setMediaObject(mediaObject);

    connect(mediaObject, SIGNAL(tick(qint64)), this, SLOT(tick(qint64)));
    connect(mediaObject, SIGNAL(finished()), this, SLOT(finished()));
    carriedClock = new CarriedClock(this);
    connect(
        mediaObject, &Phonon::MediaObject::stateChanged, carriedClock,
        [this](Phonon::State state) { carriedClock->setPlaying(state == Phonon::PlayingState); });
    connect(carriedClock, &CarriedClock::frameDue, this, &MainWindow::drawFrame);
    // The screen stays awake while the music plays, and while it buffers: VLC's back end passes
    // from playing through buffering as the music starts, and a hold let go there would let a
    // screen saver that is already due start at once.
    idleInhibitor = new IdleInhibitor(this);
    connect(mediaObject, &Phonon::MediaObject::stateChanged, idleInhibitor,
            [this](Phonon::State state) {
                idleInhibitor->setInhibited(state == Phonon::PlayingState ||
                                            state == Phonon::BufferingState);
            });
    Phonon::createPath(mediaObject, audioOutput);
    mediaObject->setTickInterval(kTickIntervalMs);
    mediaObject->setCurrentSource(*mediaSource);
    ui->widget->layout()->addWidget(seekSlider);

    addShowKeys();
    new PointerHider(demoPane);

    mediaObject->play();
    ui->frame_2->setVisible(false);
    showFullScreen();
}

MainWindow::~MainWindow()
{
    // Whatever the media object still reports from here on must not reach the form's
    // widgets, which go first.
    mediaObject->disconnect(this);
    delete carriedClock;
    // Before the process ends, the desktop hears that it may go idle again.
    delete idleInhibitor;
    forgetMusicLength();
    mediaObject->stop();
    delete ui;
    delete mediaSource;
    delete mediaObject;
    delete audioOutput;
    delete seekSlider;
    delete demoPane;
}

// Phonon's GStreamer back end, when its decoder reaches the end of the file, waits on the
// decoder's thread for up to the rest of the music for this thread to queue a next file.
// Tearing the pipeline down can be what brings the decoder there, and this thread then waits
// for the decoder in turn: the process would hang for the rest of the music. The back end does
// not wait for music whose length it does not know, so it is told the length is unknown.
void MainWindow::forgetMusicLength()
{
    for (QObject *backend : mediaObject->children()) {
        if (backend->metaObject()->indexOfSlot("handleDurationChange(qint64)") >= 0)
            QMetaObject::invokeMethod(backend, "handleDurationChange", Q_ARG(qint64, 0));
    }
}

void MainWindow::addShowKeys()
{
    // A full-screen show has no controls to reach: the keys every player has stand in for them.
    auto *endShow = new QAction(tr("End the show"), this);
    endShow->setShortcuts({QKeySequence(Qt::Key_Escape), QKeySequence(Qt::Key_Q)});
    connect(endShow, &QAction::triggered, this, &QWidget::close);
    addAction(endShow);
    auto *playStop = new QAction(tr("Play/Stop"), this);
    playStop->setShortcut(QKeySequence(Qt::Key_Space));
    connect(playStop, &QAction::triggered, this, &MainWindow::on_pushButton_pressed);
    addAction(playStop);
}

void MainWindow::on_pushButton_pressed()
{
    if (mediaObject->state() == Phonon::PlayingState)
        mediaObject->pause();
    else
        mediaObject->play();
}

void MainWindow::on_pushButton_2_pressed()
{
    mediaObject->play();
    ui->frame_2->setVisible(false);
    showFullScreen();
}

void MainWindow::tick(qint64 time)
{
    // The last report still updates the label and draws its frame.
    if (time >= Timeline::kShowEndMs)
        close();
    ui->label->setText(tr("%1").arg(time, 0, 10, QLatin1Char(' ')));
    const qint64 clock = carriedClock->report(time);
    if (carriedClock->drawsReportFrame())
        drawFrame(clock);
}

void MainWindow::drawFrame(qint64 clock)
{
    // The pane's clock holds the position's low 32 bits.
    demoPane->setClock(static_cast<int>(static_cast<quint32>(clock)));
    demoPane->updateGL();
    carriedClock->frameFinished();
}

void MainWindow::finished()
{
    ui->label->setText(tr("done"));
    // Music that holds the whole show has played past the show's end even when no report
    // said so: a back end with no sound device to pace it (VLC's) lets its reports fall
    // seconds behind and ends the music before they reach the end. Without this the window
    // would stay on its last frame, with no controls, for good.
    if (mediaObject->totalTime() >= Timeline::kShowEndMs)
        close();
}

void MainWindow::changeEvent(QEvent *event)
{
    QMainWindow::changeEvent(event);
    if (event->type() == QEvent::LanguageChange)
        ui->retranslate(this);
}
