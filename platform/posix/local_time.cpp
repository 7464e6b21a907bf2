#include "platform/local_time.h"

#include <time.h>

namespace kov::platform {

std::optional<std::tm> localCalendarTime(std::int64_t secondsSinceEpoch) {
    const time_t t = static_cast<time_t>(secondsSinceEpoch);
    if (static_cast<std::int64_t>(t) != secondsSinceEpoch)
        return std::nullopt;
    // localtime_r need not read the zone again by itself.
    ::tzset();
    std::tm out{};
    if (!::localtime_r(&t, &out))
        return std::nullopt;
    return out;
}

}  // namespace kov::platform
