#include "heardclicks.h"
#include "clicktune.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>

namespace {

// A click is a sine: a gap longer than its half period ends it.
constexpr int kQuietToEndMs = 5;
// Loud is a quarter of the loudest sample, and never mere noise.
constexpr int kLoudShare = 4;
constexpr int kQuietestClick = 1000;
// The tune's clicks have at least 340 ms of silence around them; a click that the sound's
// stalls or drops cut into pieces has less.
constexpr int kQuietAroundMs = 100;
// Two clicks heard agree when the time between them is within this many intervals of what the
// clicks between them take: the sound may stall a while, but not by a click.
constexpr double kAgreement = 0.75;

} // namespace

HeardClicks::HeardClicks(const SinkRecording &recording) : rate(recording.rate())
{
    const QVector<Candidate> candidates = candidatesAmong(findBursts(recording));
    const Candidate *previous = nullptr;
    int previousIndex = 0;
    for (int at = 0; at < candidates.size(); ++at) {
        // A click cut short by the back end can be as long as another one: a click heard agrees
        // with the one heard before or after it.
        const Candidate &candidate = candidates[at];
        const bool agreed = (at > 0 && agree(candidates[at - 1], candidate)) ||
                            (at + 1 < candidates.size() && agree(candidate, candidates[at + 1]));
        // The recording starts before the music, and no back end drops 8 s of its opening: the
        // first click heard is one of the first cycle.
        const int index =
            previous ? previousIndex + clicksBetween(*previous, candidate) : candidate.place;
        if (!agreed || (previous && index <= previousIndex))
            continue;
        heard.append({recording.heardAt(candidate.start), ClickTune::clickMs(index)});
        previous = &candidate;
        previousIndex = index;
    }
}

QVector<HeardClicks::Burst> HeardClicks::findBursts(const SinkRecording &recording)
{
    const QVector<qint16> &samples = recording.samples();
    int loudest = 0;
    for (qint16 sample : samples)
        loudest = std::max(loudest, std::abs(int(sample)));
    const int loud = std::max(loudest / kLoudShare, kQuietestClick);
    const qint64 quietToEnd = qint64(recording.rate()) * kQuietToEndMs / 1000;
    QVector<Burst> bursts;
    for (qint64 index = 0; index < samples.size(); ++index) {
        if (std::abs(int(samples[index])) < loud)
            continue;
        if (bursts.isEmpty() || index - bursts.last().end > quietToEnd)
            bursts.append({index, index});
        bursts.last().end = index;
    }
    return bursts;
}

QVector<HeardClicks::Candidate> HeardClicks::candidatesAmong(const QVector<Burst> &bursts) const
{
    const qint64 quietAround = qint64(rate) * kQuietAroundMs / 1000;
    QVector<Candidate> candidates;
    for (int at = 0; at < bursts.size(); ++at) {
        const Burst &burst = bursts[at];
        const bool quietBefore = at == 0 || burst.start - bursts[at - 1].end >= quietAround;
        const bool quietAfter =
            at + 1 == bursts.size() || bursts[at + 1].start - burst.end >= quietAround;
        const int place = ClickTune::placeOfLength((burst.end - burst.start) * 1000.0 / rate);
        if (quietBefore && quietAfter && place >= 0)
            candidates.append({burst.start, place});
    }
    return candidates;
}

int HeardClicks::clicksBetween(const Candidate &earlier, const Candidate &later) const
{
    const int placesOn = (later.place - earlier.place + ClickTune::kCycle) % ClickTune::kCycle;
    const double cycles = (intervalsBetween(earlier, later) - placesOn) / ClickTune::kCycle;
    return placesOn + ClickTune::kCycle * int(std::lround(cycles));
}

bool HeardClicks::agree(const Candidate &earlier, const Candidate &later) const
{
    const int clicks = clicksBetween(earlier, later);
    return clicks > 0 && std::abs(intervalsBetween(earlier, later) - clicks) <= kAgreement;
}

double HeardClicks::intervalsBetween(const Candidate &earlier, const Candidate &later) const
{
    return (later.start - earlier.start) * 1000.0 / rate / ClickTune::kClickIntervalMs;
}

bool HeardClicks::musicMsAt(Clock::time_point at, double *musicMs) const
{
    const auto after =
        std::upper_bound(heard.begin(), heard.end(), at,
                         [](Clock::time_point t, const Click &click) { return t < click.heard; });
    if (after == heard.begin() || after == heard.end())
        return false;
    const Click &before = *(after - 1);
    const double span =
        std::chrono::duration<double, std::milli>(after->heard - before.heard).count();
    const double into = std::chrono::duration<double, std::milli>(at - before.heard).count();
    *musicMs = before.musicMs + (after->musicMs - before.musicMs) * into / span;
    return true;
}
