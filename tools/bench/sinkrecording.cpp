#include "sinkrecording.h"

#include <algorithm>

namespace {
// Each note is off by the scheduling of the thread that took it: the median of this many
// notes around a sample times it, and follows the sink should it skip or stall.
constexpr int kNotesAround = 25;
} // namespace

void SinkRecording::append(const qint16 *samples, int count)
{
    sound.append(QVector<qint16>(samples, samples + count));
}

void SinkRecording::notePlaying(double sample, Clock::time_point at)
{
    notes.append({sample, at});
}

SinkRecording::Clock::time_point SinkRecording::heardAt(double sample) const
{
    if (notes.isEmpty())
        return Clock::time_point();
    const auto nearest =
        std::lower_bound(notes.begin(), notes.end(), sample,
                         [](const Note &note, double s) { return note.sample < s; });
    const auto from = nearest - std::min<qint64>(kNotesAround, nearest - notes.begin());
    const auto to = nearest + std::min<qint64>(kNotesAround, notes.end() - nearest);
    // Where each note puts the recording's first sample, in ns of the clock.
    QVector<double> starts;
    for (auto note = from; note != to; ++note) {
        starts.append(double(note->at.time_since_epoch().count()) -
                      note->sample * 1e9 / sampleRate);
    }
    const auto middle = starts.begin() + starts.size() / 2;
    std::nth_element(starts.begin(), middle, starts.end());
    const double heardNs = *middle + sample * 1e9 / sampleRate;
    return Clock::time_point(std::chrono::duration_cast<Clock::duration>(
        std::chrono::duration<double, std::nano>(heardNs)));
}
