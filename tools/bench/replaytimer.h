#ifndef REPLAYTIMER_H
#define REPLAYTIMER_H

#include <QSize>
#include <QString>

// Times a scene's GL calls without this program's code around them: this benchmark records
// itself drawing the one scene with apitrace, then glretrace replays the recording with and
// without the scene's timed frames; the difference is what those frames' calls cost.
class ReplayTimer
{
public:
    ReplayTimer(const QSize &size, int frames);

    static bool isAvailable();
    // Mean ms a frame of the scene's timed frames as replayed; 0 when recording or replay
    // failed, and errorString() says why.
    double meanFrameMs(const QString &scene);
    QString errorString() const { return error; }

private:
    bool record(const QString &scene, const QString &trace);
    double replaySeconds(const QString &trace);
    bool run(const QString &program, const QStringList &arguments, QByteArray *output);

    QSize size;
    int frames;
    QString error;
};

#endif
