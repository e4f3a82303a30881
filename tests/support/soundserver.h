#ifndef SOUNDSERVER_H
#define SOUNDSERVER_H

#include "privatesession.h"

#include <QByteArray>
#include <QStringList>

// A sound server of the kind a desktop runs, in a session of its own: PulseAudio, or PipeWire
// with its PulseAudio service, with a null sink as its default output.
class SoundServer
{
public:
    explicit SoundServer(bool pipeWire);

    // Waits for the server to answer, then makes a null sink its default output.
    bool prepare();
    // What pactl prints for the arguments; a null array when it fails.
    QByteArray pactl(const QStringList &arguments) const;
    // The session's environment with the test's own screen, for a program that plays on it.
    QProcessEnvironment onTheScreen() const;
    // The loudest of the 16-bit samples the null sink plays over the next milliseconds.
    int loudestSampleOver(int milliseconds) const;

    PrivateSession session;

private:
    bool started = false;
};

#endif
