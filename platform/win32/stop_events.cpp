#include "platform/stop_events.h"

#include <utility>

#include <windows.h>

namespace kov::platform {

namespace {

FC_StopHandler& storedHandler() {
    static FC_StopHandler handler;
    return handler;
}

BOOL WINAPI consoleHandler(DWORD event) {
    const FC_StopHandler& handler = storedHandler();
    return handler && handler(static_cast<unsigned>(event)) ? TRUE : FALSE;
}

}  // namespace

void prepareStopEvents() {}

void watchStopEvents(FC_StopHandler handler) {
    storedHandler() = std::move(handler);
    ::SetConsoleCtrlHandler(consoleHandler, TRUE);
}

}  // namespace kov::platform
