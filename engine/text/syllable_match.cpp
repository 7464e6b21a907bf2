#include "engine/text/syllable_match.h"

#include <cstdint>

#include "engine/text/sounds.h"

namespace kov {

namespace {

// Whether letters (an initial or none, then a rime) form a syllable, trying every initial.
bool isInitialAndRime(std::string_view letters) noexcept {
    if (isRime(letters))
        return true;
    for (uint8_t length : initialsAt(letters))
        if (isRime(letters.substr(length)))
            return true;
    return false;
}

bool isWildcard(char c) noexcept { return c == '?' || c == '*'; }

bool allRimeLetters(std::string_view s) noexcept {
    for (char c : s)
        if (!isRimeLetter(c))
            return false;
    return true;
}

}  // namespace

bool isTonedSyllable(std::string_view keys) noexcept {
    return keys.size() >= 2 && isToneDigit(keys.back()) && isInitialAndRime(keys.substr(0, keys.size() - 1));
}

bool isRimeTone(std::string_view keys) noexcept {
    return keys.size() >= 2 && isDigitKey(keys.back()) && isRime(keys.substr(0, keys.size() - 1));
}

bool isInitial(std::string_view keys) noexcept {
    for (uint8_t length : initialsAt(keys))
        if (length == keys.size())
            return true;
    return false;
}

// The query shape is: a head (an initial, or letters with an optional initial before them),
// then a run of wildcards, then any mix of letters and wildcards, then an optional digit. No
// part but the last takes a digit, and the head takes no wildcard, so the first wildcard ends
// the head.
bool isWildcardQuery(std::string_view keys) noexcept {
    if (!keys.empty() && isDigitKey(keys.back()))
        keys.remove_suffix(1);
    size_t w = 0;
    while (w < keys.size() && !isWildcard(keys[w]))
        ++w;
    if (w == 0 || w == keys.size())
        return false;
    for (char c : keys.substr(w))
        if (!isWildcard(c) && !isRimeLetter(c))
            return false;
    const std::string_view head = keys.substr(0, w);
    if (allRimeLetters(head))
        return true;
    for (uint8_t length : initialsAt(head))
        if (allRimeLetters(head.substr(length)))
            return true;
    return false;
}

std::optional<C_SyllableParts> matchSyllable(std::string_view keys) noexcept {
    C_SyllableParts parts;
    std::string_view letters = keys;
    if (!letters.empty() && isDigitKey(letters.back())) {
        letters.remove_suffix(1);
        parts.m_hasDigit = true;
    }
    // The regex tries each initial before none, in the order of its alternation; the first
    // that leaves a rime is the one its groups report.
    for (uint8_t length : initialsAt(letters)) {
        if (isRime(letters.substr(length))) {
            parts.m_initialLength = length;
            parts.m_rimeLength = letters.size() - length;
            return parts;
        }
    }
    if (!isRime(letters))
        return std::nullopt;
    parts.m_rimeLength = letters.size();
    return parts;
}

}  // namespace kov
