#ifndef TIMELINE_H
#define TIMELINE_H

// When each scene of the show starts, in ms of demo clock; a scene runs until the next one
// starts, and the show ends at kShowEndMs.
namespace Timeline {
constexpr int kSwarmStartMs = 9900;
constexpr int kTumblingSwarmStartMs = 20000;
constexpr int kWaveStartMs = 25000;
constexpr int kGridStartMs = 40000;
constexpr int kRingStartMs = 59000;
constexpr long long kShowEndMs = 75500;
} // namespace Timeline

#endif
