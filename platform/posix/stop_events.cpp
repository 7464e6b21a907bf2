#include "platform/stop_events.h"

#include <csignal>
#include <thread>

#include <pthread.h>

namespace kov::platform {

namespace {

sigset_t stopSignals() {
    sigset_t set;
    sigemptyset(&set);
    sigaddset(&set, SIGINT);
    sigaddset(&set, SIGTERM);
    sigaddset(&set, SIGHUP);
    sigaddset(&set, SIGQUIT);
    return set;
}

E_StopEvent eventOf(int signal) {
    switch (signal) {
        case SIGINT:
            return E_StopEvent::INTERRUPT;
        case SIGQUIT:
            return E_StopEvent::BREAK;
        case SIGHUP:
            return E_StopEvent::CLOSE;
        default:
            return E_StopEvent::SHUTDOWN;
    }
}

}  // namespace

void prepareStopEvents() {
    const sigset_t set = stopSignals();
    ::pthread_sigmask(SIG_BLOCK, &set, nullptr);
    std::signal(SIGPIPE, SIG_IGN);
}

void watchStopEvents(FC_StopHandler handler) {
    // Detached: the process ends while it waits for the next signal.
    std::thread([handler = std::move(handler)] {
        const sigset_t set = stopSignals();
        for (;;) {
            int signal = 0;
            if (::sigwait(&set, &signal) != 0)
                continue;
            handler(static_cast<unsigned>(eventOf(signal)));
        }
    }).detach();
}

}  // namespace kov::platform
