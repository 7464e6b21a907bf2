// The calendar time of a moment in the machine's local time zone, for texts shown to the user
// (when a vocabulary record was last used). The zone is looked up again on every call, so a
// change of the machine's zone (or of the TZ environment variable) shows at once.
//
// Not responsible for: formatting the time (the caller does, with strftime).
#pragma once

#include <cstdint>
#include <ctime>
#include <optional>

namespace kov::platform {

// The local calendar time of secondsSinceEpoch (seconds since 1970-01-01 00:00 UTC); nothing
// when the system cannot convert it. Windows: _localtime64_s; POSIX: localtime_r.
std::optional<std::tm> localCalendarTime(std::int64_t secondsSinceEpoch);

}  // namespace kov::platform
