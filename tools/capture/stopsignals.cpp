#include "stopsignals.h"

#include <csignal>
#include <initializer_list>

namespace {

volatile std::sig_atomic_t stopSignal = 0;

void remember(int signal)
{
    stopSignal = signal;
}

} // namespace

namespace StopSignals {

void install()
{
    struct sigaction action = {};
    action.sa_handler = remember;
    sigemptyset(&action.sa_mask);
    // Restarted calls keep the frame being written whole; the flag is read between frames.
    action.sa_flags = SA_RESTART;
    for (int signal : {SIGINT, SIGTERM, SIGHUP})
        sigaction(signal, &action, nullptr);
}

int caught()
{
    return stopSignal;
}

} // namespace StopSignals
