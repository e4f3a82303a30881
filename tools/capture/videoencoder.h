#ifndef VIDEOENCODER_H
#define VIDEOENCODER_H

#include <QProcess>
#include <QSize>
#include <QString>
#include <QTemporaryFile>

#include <functional>
#include <memory>

class PipeWriter;

// The ffmpeg program as the capture's encoder: raw frames go in through a pipe, the music
// comes from its file, and an MP4 with H.264 video and AAC sound comes out. Frames are
// written to the pipe on a thread of their own, so the next frame is drawn while ffmpeg
// takes the last one; frames are taken as FrameRenderer reads them back, bottom row first
// and four bytes a pixel B, G, R, unused.
class VideoEncoder
{
public:
    // On a machine with few cores the encoder shares them with the software renderer, so
    // the fastest preset keeps the capture near the renderer's pace; at crf 17 its frames are
    // closer to the rendered ones (by PSNR and SSIM) than medium's at crf 18, in bigger files.
    static constexpr const char *kDefaultPreset = "ultrafast";
    static constexpr int kDefaultCrf = 17;
    static constexpr int kMaxCrf = 51;

    struct Settings
    {
        QSize frameSize;
        int fps = 0;
        // Without music the video has no sound track.
        QString musicPath;
        double musicStartSeconds = 0;
        double durationSeconds = 0;
        // Without a path the video is encoded and thrown away, as for timing it.
        QString outputPath;
        QString preset = QLatin1String(kDefaultPreset);
        int crf = kDefaultCrf;
    };

    // Waits on the encoder give up as soon as stopRequested says so.
    explicit VideoEncoder(std::function<bool()> stopRequested);
    ~VideoEncoder();
    VideoEncoder(const VideoEncoder &) = delete;
    VideoEncoder &operator=(const VideoEncoder &) = delete;

    static bool isInstalled();
    static QString notInstalledMessage();
    // Why frames of size cannot be encoded, or an empty string.
    static QString checkSize(const QSize &size);
    // x264's presets, fastest first.
    static const QStringList &presets();
    bool start(const Settings &settings);
    // Hands over one frame, which fill writes into the buffer it is given; waits first while
    // earlier frames still fill the queue to the encoder.
    bool writeFrame(const std::function<void(uchar *)> &fill);
    // Ends the input and waits for the encoder to complete the file.
    bool finish();
    QString errorString() const { return error; }

private:
    static QStringList arguments(const Settings &settings);
    bool waitUntil(const std::function<bool()> &done);
    bool waitForExit();
    bool failWithEncoderMessage();
    bool stopNow();
    void stop();

    std::function<bool()> stopRequested;
    QProcess process;
    // ffmpeg's messages, in a file so that no pipe of them can fill up and stall it.
    QTemporaryFile messages;
    std::unique_ptr<PipeWriter> writer;
    int frameBytes = 0;
    QString error;
};

#endif
