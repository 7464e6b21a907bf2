// The system's statistical test of whether a byte sequence looks like UTF-16 text.
//
// Not responsible for: byte-order marks handled by the caller, or decoding.
#pragma once

#include <string_view>

namespace kov::platform {

// Test flags, in the Windows numbering (the low four bits test little-endian UTF-16, the next
// four the same tests on byte-swapped units).
inline constexpr unsigned kUnicodeStatistics = 0x2;  // mostly units up to 0xFF
inline constexpr unsigned kUnicodeControls = 0x4;    // CR, LF, TAB, blank or U+3000
inline constexpr unsigned kUnicodeSignature = 0x8;   // starts with U+FEFF
inline constexpr unsigned kUnicodeMask = 0x0F;
inline constexpr unsigned kReverseUnicodeControls = 0x40;
inline constexpr unsigned kReverseUnicodeSignature = 0x80;
inline constexpr unsigned kReverseUnicodeMask = 0xF0;

// Runs the tests named in `tests` over bytes and returns those that hold (always a subset of
// `tests`). On Windows this is IsTextUnicode; elsewhere our own tests over at most the first
// 256 units, ignoring one trailing zero byte: statistics (more than half of the units at most
// 0xFF), controls and signature, and the reversed controls and signature.
unsigned textUnicodeTests(std::string_view bytes, unsigned tests);

}  // namespace kov::platform
