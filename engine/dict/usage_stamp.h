// The usage stamp that ages rules and vocabulary records, and the clock that stamps them.
#pragma once

#include <cstdint>
#include <optional>

namespace kov {

// Seconds since 1970-01-01 00:00 UTC from the system clock, truncated to 32 bits; or the
// pinned value while a test has pinned the clock.
uint32_t nowSeconds();

// Pins the clock that nowSeconds reads (nullopt releases it). For tests; thread-safe.
void setNowForTest(std::optional<uint32_t> seconds);

struct C_UsageStamp {
    uint32_t count = 0;
    uint32_t time = 0;

    // Count 0, time now: the stamp of a rule or record that has just been added.
    static C_UsageStamp fresh() { return C_UsageStamp{0, nowSeconds()}; }

    bool operator==(const C_UsageStamp&) const = default;
};

}  // namespace kov
