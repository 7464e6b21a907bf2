#include "qiv/seh_translator.h"

#include <atomic>
#include <cstdint>
#include <cstdlib>

#include "platform/fault_handler.h"

namespace qiv {
namespace {

// A busy-waiting lock over one 32-bit word: taken by exchanging 1 in, released by storing 0.
class C_SpinLockGuard {
public:
    explicit C_SpinLockGuard(std::atomic<std::uint32_t>& word) : m_word(word) {
        while (m_word.exchange(1, std::memory_order_acquire) != 0) {
        }
    }
    ~C_SpinLockGuard() { m_word.store(0, std::memory_order_release); }
    C_SpinLockGuard(const C_SpinLockGuard&) = delete;
    C_SpinLockGuard& operator=(const C_SpinLockGuard&) = delete;

private:
    std::atomic<std::uint32_t>& m_word;
};

std::atomic<std::uint32_t> g_slotLock{0};
std::atomic<bool> g_slotsAllocated{false};

// Appends text to a fixed buffer; everything here runs inside the fault handler, so nothing
// allocates.
struct S_TextSink {
    char* m_buf;
    std::size_t m_cap;
    std::size_t m_len = 0;

    void put(char c) {
        if (m_len < m_cap)
            m_buf[m_len] = c;
        ++m_len;
    }
    void put(const char* s) {
        while (*s)
            put(*s++);
    }
    void putHex(std::uintmax_t v) {
        char digits[2 * sizeof v];
        int n = 0;
        do {
            digits[n++] = "0123456789abcdef"[v & 0xF];
            v >>= 4;
        } while (v != 0);
        while (n > 0)
            put(digits[--n]);
    }
    void putPointer(const void* p) {
        put("0x");
        putHex(reinterpret_cast<std::uintptr_t>(p));
    }
};

std::size_t formatSehRecord(const kov::platform::S_FaultRecord& r, char* buf,
                            std::size_t cap) noexcept {
    S_TextSink sink{buf, cap};
    sink.put("XException(" __DATE__ ")#54 `anonymous-namespace'::usrSEH: code 0x");
    sink.putHex(r.code);
    sink.put(", flags 0x");
    sink.putHex(r.flags);
    sink.put(", extra ");
    sink.putPointer(r.chained);
    sink.put(", ip ");
    sink.putPointer(r.address);
    sink.put(", arg#");
    sink.putHex(r.paramCount);
    return sink.m_len < cap ? sink.m_len : cap;
}

}  // namespace

void freeSehTls() {
    C_SpinLockGuard lock(g_slotLock);
    if (!g_slotsAllocated.load(std::memory_order_relaxed))
        return;
    kov::platform::freeFaultSlots();
    g_slotsAllocated.store(false, std::memory_order_release);
}

void installSehTranslator(bool chainPrevious) {
    if (!g_slotsAllocated.load(std::memory_order_acquire)) {
        C_SpinLockGuard lock(g_slotLock);
        if (!g_slotsAllocated.load(std::memory_order_relaxed)) {
            if (!kov::platform::allocFaultSlots())
                return;  // no storage for the flags: faults end the process the usual way
            static const bool s_atExit = (std::atexit([] { freeSehTls(); }), true);
            (void)s_atExit;
            // One handler for the whole process; the earlier one is remembered once, so a
            // second thread never chains the handler to itself.
            kov::platform::installFaultHandler(&formatSehRecord);
            g_slotsAllocated.store(true, std::memory_order_release);
        }
    }
    kov::platform::setThreadFaultFlags(kov::platform::kFaultReport |
                                       (chainPrevious ? kov::platform::kFaultChainPrevious : 0));
}

bool sehTranslatorInstalled() {
    return (kov::platform::threadFaultFlags() & kov::platform::kFaultReport) != 0;
}

bool sehTranslatorChains() {
    return (kov::platform::threadFaultFlags() & kov::platform::kFaultChainPrevious) != 0;
}

std::string formatSehText(unsigned code, unsigned flags, const void* extra, const void* ip,
                          unsigned paramCount) {
    kov::platform::S_FaultRecord record;
    record.code = code;
    record.flags = flags;
    record.chained = extra;
    record.address = ip;
    record.paramCount = paramCount;
    char buf[512];
    const std::size_t n = formatSehRecord(record, buf, sizeof buf);
    return std::string(buf, n);
}

}  // namespace qiv
