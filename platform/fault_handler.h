// The seam of the processor-fault reporter: an access violation, a division by zero or an
// illegal instruction on a thread that asked for it is reported in one line (debugger output
// and standard error) and then ends the process, instead of the process vanishing silently.
//
// Windows: an unhandled-exception filter, installed once per process with
// SetUnhandledExceptionFilter; the per-thread flags live in a TLS slot. POSIX: one sigaction
// handler for SIGSEGV, SIGBUS, SIGFPE and SIGILL, running on an alternate stack; the fault is
// described with the Windows codes (0xc0000005 access violation, 0xc0000094 integer division by
// zero, 0xc0000095 integer overflow, 0xc000001d illegal instruction, ...), then the signal is
// raised again with its default action.
//
// Not responsible for: the text of the report (the caller's formatter writes it).
#pragma once

#include <cstddef>
#include <cstdint>

namespace kov::platform {

// What the system tells about a fault, in the Windows terms on both systems.
struct S_FaultRecord {
    std::uint32_t code = 0;         // exception code
    std::uint32_t flags = 0;        // exception flags
    const void* chained = nullptr;  // chained exception record
    const void* address = nullptr;  // faulting instruction
    std::uint32_t paramCount = 0;   // number of exception parameters
};

// Writes the report line for record into buf (at most cap bytes, no NUL needed) and returns its
// length. It runs inside the fault handler: it must not allocate, lock or throw.
using FaultFormatter = std::size_t (*)(const S_FaultRecord& record, char* buf,
                                       std::size_t cap) noexcept;

// Per-thread flags: the reporter acts only on threads whose flags hold kFaultReport.
inline constexpr unsigned kFaultReport = 1;
// Consult the handler that was in place before ours first; when it handles the fault (Windows:
// a non-zero verdict) its verdict stands and nothing is reported.
inline constexpr unsigned kFaultChainPrevious = 2;

// Allocates the per-thread flag storage (a TLS slot on Windows); false when the system refuses.
bool allocFaultSlots() noexcept;
// Frees it again; the flags of every thread read as 0 afterwards.
void freeFaultSlots() noexcept;

unsigned threadFaultFlags() noexcept;
// Also gives a thread that turns reporting on an alternate signal stack where it has none, so
// that a stack overflow can still be reported (POSIX).
void setThreadFaultFlags(unsigned flags) noexcept;

// Installs the process-wide handler once, remembering the handlers it replaces; later calls
// only change the formatter. Call after allocFaultSlots.
void installFaultHandler(FaultFormatter formatter) noexcept;

}  // namespace kov::platform
