#include "platform/fault_handler.h"

#include <atomic>
#include <csignal>
#include <cstdlib>

#include <signal.h>
#include <ucontext.h>

#include "platform/debug_output.h"

namespace kov::platform {
namespace {

constexpr int kSignals[] = {SIGSEGV, SIGBUS, SIGFPE, SIGILL};
constexpr int kSignalCount = sizeof kSignals / sizeof kSignals[0];

std::atomic<bool> g_slotsAllocated{false};
std::atomic<bool> g_installed{false};
std::atomic<FaultFormatter> g_formatter{nullptr};
struct sigaction g_previous[kSignalCount];

thread_local unsigned t_flags = 0;

// The alternate stack a reporting thread runs its fault handler on; given back when the
// thread ends.
struct S_AltStack {
    void* m_memory = nullptr;
    ~S_AltStack() {
        if (!m_memory)
            return;
        stack_t current{};
        if (sigaltstack(nullptr, &current) == 0 && current.ss_sp == m_memory) {
            stack_t off{};
            off.ss_flags = SS_DISABLE;
            sigaltstack(&off, nullptr);
        }
        std::free(m_memory);
    }
};
thread_local S_AltStack t_altStack;

constexpr std::size_t kAltStackSize = 64 * 1024;

void ensureAltStack() noexcept {
    stack_t current{};
    if (sigaltstack(nullptr, &current) != 0 || !(current.ss_flags & SS_DISABLE))
        return;  // one is in place already (ours or the runtime's)
    void* memory = std::malloc(kAltStackSize);
    if (!memory)
        return;
    stack_t ss{};
    ss.ss_sp = memory;
    ss.ss_size = kAltStackSize;
    if (sigaltstack(&ss, nullptr) != 0) {
        std::free(memory);
        return;
    }
    std::free(t_altStack.m_memory);
    t_altStack.m_memory = memory;
}

int signalIndex(int sig) {
    for (int i = 0; i < kSignalCount; ++i)
        if (kSignals[i] == sig)
            return i;
    return -1;
}

// The Windows exception code that describes the signal best.
std::uint32_t faultCode(int sig, int code) {
    switch (sig) {
        case SIGFPE:
            switch (code) {
                case FPE_INTDIV:
                    return 0xC0000094u;  // integer divide by zero
                case FPE_INTOVF:
                    return 0xC0000095u;  // integer overflow
                case FPE_FLTDIV:
                    return 0xC000008Eu;
                case FPE_FLTOVF:
                    return 0xC0000091u;
                case FPE_FLTUND:
                    return 0xC0000093u;
                case FPE_FLTRES:
                    return 0xC000008Fu;
                default:
                    return 0xC0000090u;  // invalid floating-point operation
            }
        case SIGILL:
            return 0xC000001Du;  // illegal instruction
        default:
            return 0xC0000005u;  // access violation
    }
}

const void* faultingInstruction(int sig, const siginfo_t* info, const void* context) {
    if (context) {
        const auto* uc = static_cast<const ucontext_t*>(context);
#if defined(__x86_64__)
        return reinterpret_cast<const void*>(uc->uc_mcontext.gregs[REG_RIP]);
#elif defined(__i386__)
        return reinterpret_cast<const void*>(uc->uc_mcontext.gregs[REG_EIP]);
#elif defined(__aarch64__)
        return reinterpret_cast<const void*>(uc->uc_mcontext.pc);
#else
        (void)uc;
#endif
    }
    // For these signals the system gives the instruction address itself.
    if (info && (sig == SIGFPE || sig == SIGILL))
        return info->si_addr;
    return nullptr;
}

void reraiseWith(int sig, const struct sigaction& action) {
    sigaction(sig, &action, nullptr);
    // Blocked until the handler returns; a real fault also repeats when the instruction runs
    // again, and meets the same action.
    raise(sig);
}

void onFault(int sig, siginfo_t* info, void* context) {
    const int index = signalIndex(sig);
    if (index < 0)
        return;
    const unsigned flags = g_slotsAllocated.load(std::memory_order_acquire) ? t_flags : 0;
    if (!(flags & kFaultReport)) {
        reraiseWith(sig, g_previous[index]);
        return;
    }
    if (flags & kFaultChainPrevious) {
        const struct sigaction& prev = g_previous[index];
        if (prev.sa_flags & SA_SIGINFO) {
            if (prev.sa_sigaction)
                prev.sa_sigaction(sig, info, context);
        } else if (prev.sa_handler != SIG_DFL && prev.sa_handler != SIG_IGN &&
                   prev.sa_handler != nullptr) {
            prev.sa_handler(sig);
        }
    }
    S_FaultRecord record;
    record.code = faultCode(sig, info ? info->si_code : 0);
    record.flags = 0;
    record.chained = nullptr;
    record.address = faultingInstruction(sig, info, context);
    record.paramCount = record.code == 0xC0000005u ? 2 : 0;
    if (FaultFormatter formatter = g_formatter.load(std::memory_order_acquire)) {
        char text[512];
        std::size_t n = formatter(record, text, sizeof text);
        if (n > sizeof text)
            n = sizeof text;
        debugOutput(std::string_view(text, n));
    }
    struct sigaction dfl {};
    dfl.sa_handler = SIG_DFL;
    sigemptyset(&dfl.sa_mask);
    reraiseWith(sig, dfl);
}

}  // namespace

bool allocFaultSlots() noexcept {
    g_slotsAllocated.store(true, std::memory_order_release);
    return true;
}

void freeFaultSlots() noexcept { g_slotsAllocated.store(false, std::memory_order_release); }

unsigned threadFaultFlags() noexcept {
    return g_slotsAllocated.load(std::memory_order_acquire) ? t_flags : 0;
}

void setThreadFaultFlags(unsigned flags) noexcept {
    if (!g_slotsAllocated.load(std::memory_order_acquire))
        return;
    t_flags = flags;
    if (flags & kFaultReport)
        ensureAltStack();
}

void installFaultHandler(FaultFormatter formatter) noexcept {
    g_formatter.store(formatter, std::memory_order_release);
    if (g_installed.exchange(true))
        return;
    struct sigaction sa {};
    sa.sa_sigaction = &onFault;
    sa.sa_flags = SA_SIGINFO | SA_ONSTACK;
    sigemptyset(&sa.sa_mask);
    for (int i = 0; i < kSignalCount; ++i)
        sigaction(kSignals[i], &sa, &g_previous[i]);
}

}  // namespace kov::platform
