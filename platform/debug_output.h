// Diagnostic lines for a developer watching the server: the debugger output of Windows, one
// line on standard error elsewhere. Also a plain standard-error line for reports that must be
// seen in a console as well.
//
// Both functions are safe to call from a fault handler: on POSIX they only call write(2) (the
// text is written as given, plus one line break), and they never throw.
#pragma once

#include <string_view>

namespace kov::platform {

// Windows: OutputDebugStringW of the UTF-8 line. POSIX: the line and "\n" on standard error.
void debugOutput(std::string_view line) noexcept;

// The line and a line break on standard error, on both systems.
void errorOutput(std::string_view line) noexcept;

// True where debugOutput already writes to standard error, so a report meant for both places
// is written once.
bool debugOutputIsStandardError() noexcept;

}  // namespace kov::platform
