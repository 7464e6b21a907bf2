#pragma once
// The sound inventory of Tai-lo as it is typed: the initials, the rimes (a vowel group with an
// optional coda, or a syllabic nasal), the letters a wildcard stands for, the letters that carry
// tone marks and their marked forms, the digit keys and the checked-syllable test. Every check of
// keys against syllable shapes (syllable_match.h, the island cut, the dictionary walks) asks these
// queries; the tables themselves live in sounds.cpp.
//
// The orders below are the orders of the alternations of the syllable regular expressions
// (fixtures/tailo_regex.h): initials "ph|p|b|m|th|tsh|ts|t|ng|n|l|s|j|kh|k|g|h", vowel groups
// "ai|au|a|ere|ee|e|ie|iau|ia|ioo|io|iu|i|oi|oo|o|uai|ua|uee|ue|ui|u", codas
// "ng|nnh|nn|n|m|p|t|k|h|rh|rm|rn|r", syllabic nasals "mh|m|ngh|ng". Where several choices fit,
// the queries give the one such an expression takes.
//
// No allocation and no state but the tone-mark tables; the rest is constant-initialised, so every
// query is safe from any thread, also during start-up.

#include <array>
#include <bit>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace kov {

// A digit key, 0 to 9: a tone digit, or the 0 of a query that asks for any tone.
inline bool isDigitKey(char c) noexcept { return c >= '0' && c <= '9'; }
// A tone digit, 1 to 9.
inline bool isToneDigit(char c) noexcept { return c >= '1' && c <= '9'; }

// A letter that occurs in rimes ("aeioumngptkhr"): what a wildcard "?" or "*" stands for.
extern const std::array<bool, 256> kIsRimeLetter;  // by byte; constant-initialised
inline bool isRimeLetter(char c) noexcept { return kIsRimeLetter[static_cast<unsigned char>(c)]; }
// Whether every key of s is a rime letter (true for "").
bool allRimeLetters(std::string_view s) noexcept;
// The same letters as a regular-expression class, "[aeioumngptkhr]", as wildcard pieces write it.
std::string_view rimeLetterClass() noexcept;
// A letter that can begin a rime: a vowel, "m" or "n".
bool beginsRime(char c) noexcept;

// The initials that begin keys, as their lengths. Where several begin the same keys ("tsh", "ts",
// "t" in "tsha") the alternation of initials takes the longer first, so the lengths are visited
// longest first, which is the order of the alternation.
class C_InitialLengths {
public:
    class C_Iterator {
    public:
        constexpr explicit C_Iterator(uint8_t bits) : m_bits(bits) {}
        constexpr uint8_t operator*() const {
            return static_cast<uint8_t>(std::bit_width(m_bits) - 1);
        }
        constexpr C_Iterator& operator++() {
            m_bits = static_cast<uint8_t>(m_bits & ~(1u << (std::bit_width(m_bits) - 1)));
            return *this;
        }
        constexpr bool operator==(const C_Iterator&) const = default;

    private:
        uint8_t m_bits;
    };

    constexpr void add(size_t length) { m_bits = static_cast<uint8_t>(m_bits | (1u << length)); }
    constexpr bool empty() const { return m_bits == 0; }
    // Whether an initial of this length begins the keys.
    constexpr bool has(size_t length) const { return length < 8 && ((m_bits >> length) & 1u) != 0; }
    constexpr C_Iterator begin() const { return C_Iterator(m_bits); }
    constexpr C_Iterator end() const { return C_Iterator(0); }

private:
    uint8_t m_bits = 0;  // bit n: an initial of n keys
};
C_InitialLengths initialsAt(std::string_view keys) noexcept;

// The length of the longest rime ("uainnh").
inline constexpr size_t kLongestRime = 6;

// Whether s is a rime as a whole: a vowel group with an optional coda, or a syllabic nasal.
bool isRime(std::string_view s) noexcept;
// The length of the rime that begins s as the alternation takes it: the first vowel group that
// begins s with the first coda that follows it (or none), else the first syllabic nasal; 0 when
// none fits.
size_t leadingRimeLength(std::string_view s) noexcept;

// Whether an unmarked syllable's letters (any letter case) close as a checked syllable, which
// takes tone 4: a final p, t, k or h after a vowel, "m" or "n", or after the "g" of "ngh" or the
// "r" of "rh".
bool isCheckedSyllable(std::string_view letters) noexcept;

// The letters that carry tone marks, "aeioumn" (upper: "AEIOUMN"), in the order of the entries of
// each row of the tone-mark tables.
std::string_view toneMarkLetters(bool upper) noexcept;

// Tone marks: index tone - 1; each non-empty row has 7 entries for toneMarkLetters(false)
// (upper table: toneMarkLetters(true)), each a precomposed letter or the letter and a combining
// mark. Tones 1 and 4 are written without a mark and have empty rows.
extern const std::vector<std::vector<std::string>> kToneLettersLower;
extern const std::vector<std::vector<std::string>> kToneLettersUpper;

}  // namespace kov
