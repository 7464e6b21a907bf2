#pragma once
// Matching typed keys against dictionary words, capitals in the shown Tai-lo, and key-array
// strings. The checks that need the islands of a composition live with the island types.

#include <cstddef>
#include <span>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

#include "qiv/move_only_function.h"

namespace kov {

// Tone-marked lower-case letters and their capitals at the same index (0-terminated).
inline constexpr char16_t kCapitalLower[32] = {
    0x00E1, 0x00E0, 0x00E2, 0x01CE, 0x0101, 0x00E9, 0x00E8, 0x00EA, 0x011B, 0x0113, 0x00ED,
    0x00EC, 0x00EE, 0x01D0, 0x012B, 0x00F3, 0x00F2, 0x00F4, 0x01D2, 0x014D, 0x0151, 0x00FA,
    0x00F9, 0x00FB, 0x01D4, 0x016B, 0x0171, 0x1E3F, 0x0144, 0x01F9, 0x0148, 0};
inline constexpr char16_t kCapitalUpper[32] = {
    0x00C1, 0x00C0, 0x00C2, 0x01CD, 0x0100, 0x00C9, 0x00C8, 0x00CA, 0x011A, 0x0112, 0x00CD,
    0x00CC, 0x00CE, 0x01CF, 0x012A, 0x00D3, 0x00D2, 0x00D4, 0x01D1, 0x014C, 0x0150, 0x00DA,
    0x00D9, 0x00DB, 0x01D3, 0x016A, 0x0170, 0x1E3E, 0x0143, 0x01F8, 0x0147, 0};

// Compares the first n characters of a key pattern with a toned key: pattern "0" takes any
// tone digit 1 to 9, "?" any character but NUL, anything else must equal the lower-cased key
// character. Positions past the end of either text count as NUL.
bool matchKeyPattern(std::string_view pattern, std::string_view key, size_t n);

// A test of one-syllable Tai-lo words against keyPattern: exact, the word's key matches the
// whole pattern; not exact, the pattern plus any tone digit. The callable keeps a view of
// keyPattern, which must outlive it.
std_move_only_function<bool(std::string_view)> createTailoWordMatcher(std::string_view keyPattern,
                                                                      bool exact);

// The capital of a code point: a-z to A-Z, a tone-marked letter through the capital tables,
// anything else unchanged.
unsigned capitalCodePoint(unsigned codePoint);

// tailo with its first code point capitalised; malformed UTF-8 bytes are dropped.
std::string capitalTailo(std::string_view tailo);

// Appends s unless an equal string is already in v.
void pushUnique(std::vector<std::string>& v, const std::string& s);

// The keys joined with "-".
std::string joinKeys(std::span<const std::string> keys);

// Names an entry of the user dictionary's tables: one key, or a key array.
using C_Bikey = std::variant<const std::string*, const std::vector<std::string>*>;

// The key, or the key array joined with "-". Throws std::logic_error "UNKNOWN bikey type: "
// and the alternative's index (-1 for none) for a bikey without a value, and "Null bikey" for
// a null pointer.
std::string bikeyText(const C_Bikey& bikey);

}  // namespace kov
