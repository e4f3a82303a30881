#ifndef VIDEOENCODER_H
#define VIDEOENCODER_H

#include <QProcess>
#include <QSize>
#include <QString>

#include <functional>

class QImage;

// The ffmpeg program as the capture's encoder: raw frames go in through a pipe, the music
// comes from its file, and an MP4 with H.264 video and AAC sound comes out.
class VideoEncoder
{
public:
    struct Settings
    {
        QSize frameSize;
        int fps = 0;
        QString musicPath;
        double musicStartSeconds = 0;
        double durationSeconds = 0;
        QString outputPath;
    };

    // Waits on the encoder give up as soon as stopRequested says so.
    explicit VideoEncoder(std::function<bool()> stopRequested);
    ~VideoEncoder();
    VideoEncoder(const VideoEncoder &) = delete;
    VideoEncoder &operator=(const VideoEncoder &) = delete;

    static bool isInstalled();
    bool start(const Settings &settings);
    bool writeFrame(const QImage &frame);
    // Ends the input and waits for the encoder to complete the file.
    bool finish();
    QString errorString() const { return error; }

private:
    static QStringList arguments(const Settings &settings);
    bool waitWhileRunning(const std::function<bool()> &busy);
    bool failWithEncoderMessage();
    void stop();

    std::function<bool()> stopRequested;
    QProcess process;
    QString error;
};

#endif
