#ifndef SINKRECORDING_H
#define SINKRECORDING_H

#include <QVector>

#include <chrono>

// The sound a sink played, mono, and when it was heard: the recorder notes now and then which
// sample the sink plays at that moment, and any sample's moment is worked out from the notes
// around it.
class SinkRecording
{
public:
    using Clock = std::chrono::steady_clock;

    explicit SinkRecording(int rate = 0) : sampleRate(rate) {}

    int rate() const { return sampleRate; }
    const QVector<qint16> &samples() const { return sound; }
    void append(const qint16 *samples, int count);
    // The sink plays sample (of this recording, fractions allowed) at that moment.
    void notePlaying(double sample, Clock::time_point at);
    // When sample was heard; the recording's start where nothing was noted.
    Clock::time_point heardAt(double sample) const;

private:
    struct Note
    {
        double sample;
        Clock::time_point at;
    };

    int sampleRate;
    QVector<qint16> sound;
    QVector<Note> notes;
};

#endif
