#ifndef MAINWINDOW_H
#define MAINWINDOW_H

#include <QMainWindow>

class CarriedClock;
class DemoPane;
class IdleInhibitor;
class MainWindowForm;

namespace Phonon {
class AudioOutput;
class MediaObject;
class MediaSource;
class SeekSlider;
} // namespace Phonon

// The player: plays "desert.mp3" and turns every position report into one frame of the
// show, with frames carried between reports that come coarsely; closes itself when the show
// is over.
class MainWindow : public QMainWindow
{
    Q_OBJECT

public:
    explicit MainWindow(QWidget *parent = nullptr);
    ~MainWindow() override;

public slots:
    void on_pushButton_pressed();
    void on_pushButton_2_pressed();
    void tick(qint64 time);
    void finished();

protected:
    void changeEvent(QEvent *event) override;

private:
    void forgetMusicLength();
    // Esc and Q end the show, Space pauses and resumes it.
    void addShowKeys();
    // Draws the frame of clock at once.
    void drawFrame(qint64 clock);

    MainWindowForm *ui;
    Phonon::MediaSource *mediaSource;
    Phonon::MediaObject *mediaObject;
    Phonon::AudioOutput *audioOutput;
    Phonon::SeekSlider *seekSlider;
    DemoPane *demoPane;
    CarriedClock *carriedClock;
    IdleInhibitor *idleInhibitor;
};

#endif
