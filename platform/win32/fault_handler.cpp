#include "platform/fault_handler.h"

#include <atomic>
#include <cstdint>

#include <windows.h>

#include "platform/debug_output.h"

namespace kov::platform {
namespace {

std::atomic<DWORD> g_flagSlot{TLS_OUT_OF_INDEXES};
std::atomic<bool> g_installed{false};
std::atomic<FaultFormatter> g_formatter{nullptr};
LPTOP_LEVEL_EXCEPTION_FILTER g_previous = nullptr;

// The process's unhandled-exception filter. A C++ exception cannot be thrown out of a filter,
// so a fault on a reporting thread is written out and the process ends with the fault's code.
LONG WINAPI usrSEH(EXCEPTION_POINTERS* pointers) {
    const unsigned flags = threadFaultFlags();
    if (!(flags & kFaultReport))
        return EXCEPTION_CONTINUE_SEARCH;
    if ((flags & kFaultChainPrevious) && g_previous) {
        const LONG verdict = g_previous(pointers);
        if (verdict != EXCEPTION_CONTINUE_SEARCH)
            return verdict;  // the earlier filter dealt with it (or asked to continue)
    }
    if (!pointers || !pointers->ExceptionRecord)
        return EXCEPTION_CONTINUE_SEARCH;
    const EXCEPTION_RECORD& er = *pointers->ExceptionRecord;
    S_FaultRecord record;
    record.code = static_cast<std::uint32_t>(er.ExceptionCode);
    record.flags = static_cast<std::uint32_t>(er.ExceptionFlags);
    record.chained = er.ExceptionRecord;
    record.address = er.ExceptionAddress;
    record.paramCount = static_cast<std::uint32_t>(er.NumberParameters);
    if (FaultFormatter formatter = g_formatter.load(std::memory_order_acquire)) {
        char text[512];
        std::size_t n = formatter(record, text, sizeof text);
        if (n > sizeof text)
            n = sizeof text;
        const std::string_view line(text, n);
        debugOutput(line);
        errorOutput(line);
    }
    return EXCEPTION_EXECUTE_HANDLER;
}

}  // namespace

bool allocFaultSlots() noexcept {
    if (g_flagSlot.load(std::memory_order_acquire) != TLS_OUT_OF_INDEXES)
        return true;
    const DWORD slot = TlsAlloc();
    if (slot == TLS_OUT_OF_INDEXES)
        return false;
    g_flagSlot.store(slot, std::memory_order_release);
    return true;
}

void freeFaultSlots() noexcept {
    const DWORD slot = g_flagSlot.exchange(TLS_OUT_OF_INDEXES, std::memory_order_acq_rel);
    if (slot != TLS_OUT_OF_INDEXES)
        TlsFree(slot);
}

unsigned threadFaultFlags() noexcept {
    const DWORD slot = g_flagSlot.load(std::memory_order_acquire);
    if (slot == TLS_OUT_OF_INDEXES)
        return 0;
    return static_cast<unsigned>(reinterpret_cast<std::uintptr_t>(TlsGetValue(slot)));
}

void setThreadFaultFlags(unsigned flags) noexcept {
    const DWORD slot = g_flagSlot.load(std::memory_order_acquire);
    if (slot != TLS_OUT_OF_INDEXES)
        TlsSetValue(slot, reinterpret_cast<LPVOID>(static_cast<std::uintptr_t>(flags)));
}

void installFaultHandler(FaultFormatter formatter) noexcept {
    g_formatter.store(formatter, std::memory_order_release);
    if (g_installed.exchange(true))
        return;
    g_previous = SetUnhandledExceptionFilter(&usrSEH);
    if (g_previous == &usrSEH)
        g_previous = nullptr;  // never chain to ourselves
}

}  // namespace kov::platform
