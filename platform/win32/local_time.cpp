#include "platform/local_time.h"

#include <time.h>

namespace kov::platform {

std::optional<std::tm> localCalendarTime(std::int64_t secondsSinceEpoch) {
    // The C runtime reads the zone (TZ, else the system's) only when asked.
    _tzset();
    const __time64_t t = secondsSinceEpoch;
    std::tm out{};
    if (_localtime64_s(&out, &t) != 0)
        return std::nullopt;
    return out;
}

}  // namespace kov::platform
