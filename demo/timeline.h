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

// The scenes in the show's order, as the tools name them: a short key for options and a name
// for reports, with the clocks each runs from and until.
struct Scene
{
    const char *key;
    const char *name;
    int startMs;
    int endMs;
};

inline constexpr Scene kScenes[] = {
    {"planes", "crossed planes", 0, kSwarmStartMs},
    {"swarm", "swarm", kSwarmStartMs, kTumblingSwarmStartMs},
    {"tumbling", "tumbling swarm", kTumblingSwarmStartMs, kWaveStartMs},
    {"wave", "wave", kWaveStartMs, kGridStartMs},
    {"grid", "grid", kGridStartMs, kRingStartMs},
    {"ring", "ring", kRingStartMs, int(kShowEndMs)},
};
} // namespace Timeline

#endif
