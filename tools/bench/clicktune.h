#ifndef CLICKTUNE_H
#define CLICKTUNE_H

#include <QString>

// The music that tovek2-bench --av-sync plays: a 1-kHz click every half second from 525 ms on,
// each as long as its place in a cycle of sixteen (10 to 160 ms, 8 s of music), so that a
// click heard tells which one it is, even where a back end drops seconds of the opening's sound.
namespace ClickTune {

constexpr int kFirstClickMs = 525;
constexpr int kClickIntervalMs = 500;
constexpr int kCycle = 16;

// Writes the tune, seconds long, as an MP3 file with sox; sox's complaint, or an empty string.
QString write(const QString &path, double seconds);
// Where the click with index starts in the music, in ms of the decoded sound.
int clickMs(int index);
// The place in the cycle of a click as long as lengthMs; -1 where no click is that long.
int placeOfLength(double lengthMs);

} // namespace ClickTune

#endif
