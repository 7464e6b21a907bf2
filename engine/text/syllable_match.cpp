#include "engine/text/syllable_match.h"

#include <array>
#include <cstdint>

namespace kov {

namespace {

// The rimes: a vowel group with an optional coda, or a syllabic nasal. The set is finite and
// small, so it is held as a trie built at compile time; a rime is recognised in one walk.
constexpr std::string_view kVowelGroups[] = {"ai", "au", "a",  "ere", "ee",  "e",  "ie", "iau",
                                             "ia", "ioo", "io", "iu", "i",   "oi", "oo", "o",
                                             "uai", "ua", "uee", "ue", "ui", "u"};
constexpr std::string_view kCodas[] = {"ng", "nnh", "nn", "n", "m", "p", "t", "k", "h", "rh", "rm", "rn", "r"};
constexpr std::string_view kSyllabicNasals[] = {"mh", "m", "ngh", "ng"};

// The letters that occur in rimes, numbered from 1; 0 for every other byte.
constexpr std::string_view kRimeLetters = "aeiounghmptkr";

constexpr std::array<uint8_t, 256> makeLetterIndex() {
    std::array<uint8_t, 256> index{};
    for (size_t i = 0; i < kRimeLetters.size(); ++i)
        index[static_cast<unsigned char>(kRimeLetters[i])] = static_cast<uint8_t>(i + 1);
    return index;
}
constexpr std::array<uint8_t, 256> kLetterIndex = makeLetterIndex();

template <size_t N>
struct C_RimeTrie {
    // Node 0 is the root; a child index 0 means "no child" (the root is nobody's child).
    std::array<std::array<uint16_t, kRimeLetters.size()>, N> m_next{};
    std::array<bool, N> m_accept{};
    size_t m_count = 1;
    bool m_overflow = false;

    constexpr void add(std::string_view head, std::string_view tail) {
        size_t node = 0;
        for (std::string_view part : {head, tail}) {
            for (char c : part) {
                const size_t letter = kLetterIndex[static_cast<unsigned char>(c)] - 1u;
                if (m_next[node][letter] == 0) {
                    if (m_count == N) {
                        m_overflow = true;
                        return;
                    }
                    m_next[node][letter] = static_cast<uint16_t>(m_count++);
                }
                node = m_next[node][letter];
            }
        }
        m_accept[node] = true;
    }

    constexpr bool accepts(std::string_view s) const noexcept {
        size_t node = 0;
        for (char c : s) {
            const uint8_t letter = kLetterIndex[static_cast<unsigned char>(c)];
            if (letter == 0)
                return false;
            node = m_next[node][letter - 1u];
            if (node == 0)
                return false;
        }
        return m_accept[node];
    }
};

template <size_t N>
constexpr C_RimeTrie<N> buildRimeTrie() {
    C_RimeTrie<N> trie;
    for (std::string_view v : kVowelGroups) {
        trie.add(v, {});
        for (std::string_view c : kCodas)
            trie.add(v, c);
    }
    for (std::string_view n : kSyllabicNasals)
        trie.add(n, {});
    return trie;
}

constexpr size_t kRimeTrieNodes = buildRimeTrie<1024>().m_count;
static_assert(!buildRimeTrie<1024>().m_overflow);
constexpr C_RimeTrie<kRimeTrieNodes> kRimeTrie = buildRimeTrie<kRimeTrieNodes>();
static_assert(!kRimeTrie.m_overflow);

bool isRime(std::string_view s) noexcept { return kRimeTrie.accepts(s); }

bool isDigit(char c) noexcept { return c >= '0' && c <= '9'; }
bool isToneDigit(char c) noexcept { return c >= '1' && c <= '9'; }

// The lengths of the initials that begin keys, in the order of the initial alternation
// "ph|p|b|m|th|tsh|ts|t|ng|n|l|s|j|kh|k|g|h" (initials sharing a first letter are adjacent
// there, so this order is the order in which a regex tries them). Returns how many.
size_t initialsAt(std::string_view keys, std::array<uint8_t, 3>& lengths) noexcept {
    if (keys.empty())
        return 0;
    auto next = [&](size_t i) { return i < keys.size() ? keys[i] : '\0'; };
    size_t n = 0;
    switch (keys[0]) {
    case 'p':
    case 'k':
        if (next(1) == 'h')
            lengths[n++] = 2;
        lengths[n++] = 1;
        break;
    case 't':
        if (next(1) == 'h')
            lengths[n++] = 2;
        if (next(1) == 's' && next(2) == 'h')
            lengths[n++] = 3;
        if (next(1) == 's')
            lengths[n++] = 2;
        lengths[n++] = 1;
        break;
    case 'n':
        if (next(1) == 'g')
            lengths[n++] = 2;
        lengths[n++] = 1;
        break;
    case 'b':
    case 'm':
    case 'l':
    case 's':
    case 'j':
    case 'g':
    case 'h':
        lengths[n++] = 1;
        break;
    default:
        break;
    }
    return n;
}

// Whether letters (an initial or none, then a rime) form a syllable, trying every initial.
bool isInitialAndRime(std::string_view letters) noexcept {
    if (isRime(letters))
        return true;
    std::array<uint8_t, 3> lengths{};
    const size_t n = initialsAt(letters, lengths);
    for (size_t i = 0; i < n; ++i)
        if (isRime(letters.substr(lengths[i])))
            return true;
    return false;
}

bool isQueryLetter(char c) noexcept {
    return std::string_view("aeioumngptkhr").find(c) != std::string_view::npos;
}
bool isWildcard(char c) noexcept { return c == '?' || c == '*'; }

bool allQueryLetters(std::string_view s) noexcept {
    for (char c : s)
        if (!isQueryLetter(c))
            return false;
    return true;
}

}  // namespace

bool isTonedSyllable(std::string_view keys) noexcept {
    return keys.size() >= 2 && isToneDigit(keys.back()) && isInitialAndRime(keys.substr(0, keys.size() - 1));
}

bool isRimeTone(std::string_view keys) noexcept {
    return keys.size() >= 2 && isDigit(keys.back()) && isRime(keys.substr(0, keys.size() - 1));
}

bool isInitial(std::string_view keys) noexcept {
    std::array<uint8_t, 3> lengths{};
    const size_t n = initialsAt(keys, lengths);
    for (size_t i = 0; i < n; ++i)
        if (lengths[i] == keys.size())
            return true;
    return false;
}

// The query shape is: a head (an initial, or letters with an optional initial before them),
// then a run of wildcards, then any mix of letters and wildcards, then an optional digit. No
// part but the last takes a digit, and the head takes no wildcard, so the first wildcard ends
// the head.
bool isWildcardQuery(std::string_view keys) noexcept {
    if (!keys.empty() && isDigit(keys.back()))
        keys.remove_suffix(1);
    size_t w = 0;
    while (w < keys.size() && !isWildcard(keys[w]))
        ++w;
    if (w == 0 || w == keys.size())
        return false;
    for (char c : keys.substr(w))
        if (!isWildcard(c) && !isQueryLetter(c))
            return false;
    const std::string_view head = keys.substr(0, w);
    if (allQueryLetters(head))
        return true;
    std::array<uint8_t, 3> lengths{};
    const size_t n = initialsAt(head, lengths);
    for (size_t i = 0; i < n; ++i)
        if (allQueryLetters(head.substr(lengths[i])))
            return true;
    return false;
}

std::optional<C_SyllableParts> matchSyllable(std::string_view keys) noexcept {
    C_SyllableParts parts;
    std::string_view letters = keys;
    if (!letters.empty() && isDigit(letters.back())) {
        letters.remove_suffix(1);
        parts.m_hasDigit = true;
    }
    // The regex tries each initial before none, in the order of its alternation; the first
    // that leaves a rime is the one its groups report.
    std::array<uint8_t, 3> lengths{};
    const size_t n = initialsAt(letters, lengths);
    for (size_t i = 0; i < n; ++i) {
        if (isRime(letters.substr(lengths[i]))) {
            parts.m_initialLength = lengths[i];
            parts.m_rimeLength = letters.size() - lengths[i];
            return parts;
        }
    }
    if (!isRime(letters))
        return std::nullopt;
    parts.m_rimeLength = letters.size();
    return parts;
}

}  // namespace kov
