#include "engine/dict/usage_stamp.h"

#include <atomic>
#include <chrono>

namespace kov {

namespace {
// Bit 32 set: pinned, low 32 bits the pinned value.
std::atomic<uint64_t> g_pinnedNow{0};
constexpr uint64_t kPinned = uint64_t{1} << 32;
}  // namespace

uint32_t nowSeconds() {
    const uint64_t pinned = g_pinnedNow.load(std::memory_order_relaxed);
    if (pinned & kPinned)
        return static_cast<uint32_t>(pinned);
    const auto since = std::chrono::system_clock::now().time_since_epoch();
    return static_cast<uint32_t>(std::chrono::duration_cast<std::chrono::seconds>(since).count());
}

void setNowForTest(std::optional<uint32_t> seconds) {
    g_pinnedNow.store(seconds ? (kPinned | *seconds) : 0, std::memory_order_relaxed);
}

}  // namespace kov
