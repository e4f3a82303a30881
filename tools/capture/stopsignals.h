#ifndef STOPSIGNALS_H
#define STOPSIGNALS_H

// Turns Ctrl-C, a terminal hang-up and a polite kill into a request the capture checks
// between frames, so it can stop its encoder and clean up instead of dying mid-write.
namespace StopSignals {

void install();
// The signal that asked to stop, or 0 while none has.
int caught();

} // namespace StopSignals

#endif
