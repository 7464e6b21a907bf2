#pragma once
// Hand-written checks of typed keys against the Tai-lo syllable shapes. Each gives exactly the
// answer of a full match of its regular expression (fixtures/tailo_regex.h, which the tests hold
// these to), without building or running one, so that the per-keystroke walks can test every
// syllable they meet. No allocation, no state; safe to call from any thread (also during
// start-up: the tables are constant-initialised). They are implemented in sounds.cpp, beside the
// sound inventory they read.

#include <cstddef>
#include <optional>
#include <string_view>

namespace kov {

// Initial (optional), rime or syllabic nasal, tone digit 1 to 9: a toned key such as "tsiann5"
// (full match of tonedSyllableRegex()).
bool isTonedSyllable(std::string_view keys) noexcept;

// Rime or syllabic nasal followed by one digit 0 to 9: the part of a key after its initial
// (full match of kRimeToneRegex).
bool isRimeTone(std::string_view keys) noexcept;

// An initial alone, such as "tsh" (full match of kInitialRegex).
bool isInitial(std::string_view keys) noexcept;

// Keys holding the wildcards "?" or "*" in the shape of a query (full match of
// kWildcardQueryRegex).
bool isWildcardQuery(std::string_view keys) noexcept;

// The parts of a syllable with an optional digit 0 to 9, as a full match of kSyllableRegex
// takes them: the initial is keys[0, m_initialLength) (length 0 when group 1 takes no part),
// the rime or syllabic nasal follows for m_rimeLength keys (group 2), then the digit if any.
struct C_SyllableParts {
    size_t m_initialLength = 0;
    size_t m_rimeLength = 0;
    bool m_hasDigit = false;
    friend bool operator==(const C_SyllableParts&, const C_SyllableParts&) = default;
};
std::optional<C_SyllableParts> matchSyllable(std::string_view keys) noexcept;

}  // namespace kov
