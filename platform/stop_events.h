// The requests from outside to stop the server. Windows: console control events, taken by a
// handler installed with SetConsoleCtrlHandler on the thread Windows gives it. POSIX: SIGINT,
// SIGTERM, SIGHUP and SIGQUIT, blocked in every thread and taken by one thread that waits for
// them; SIGPIPE is ignored, so a vanished client cannot end the server.
//
// Not responsible for: what stopping means (the server's handler decides and answers).
#pragma once

#include <functional>

namespace kov::platform {

// The events, numbered as the Windows console events. POSIX maps SIGINT to INTERRUPT, SIGQUIT
// to BREAK, SIGHUP to CLOSE and SIGTERM to SHUTDOWN.
enum class E_StopEvent : unsigned {
    INTERRUPT = 0,  // CTRL_C_EVENT
    BREAK = 1,      // CTRL_BREAK_EVENT
    CLOSE = 2,      // CTRL_CLOSE_EVENT
    LOGOFF = 5,     // CTRL_LOGOFF_EVENT
    SHUTDOWN = 6,   // CTRL_SHUTDOWN_EVENT
};

// Takes the event (or another Windows code) and answers whether it was handled (Windows: the
// handler's result; POSIX: ignored).
using FC_StopHandler = std::function<bool(unsigned event)>;

// Call first in main, before any other thread exists, so that every thread inherits the mask
// (POSIX: blocks the four signals and ignores SIGPIPE; Windows: nothing). Events that come
// before watchStopEvents wait for it.
void prepareStopEvents();

// Hands every later event to handler, on a thread of its own. Call once.
void watchStopEvents(FC_StopHandler handler);

}  // namespace kov::platform
