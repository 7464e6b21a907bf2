#include "engine/text/sounds.h"

#include <algorithm>

namespace kov {

namespace {

constexpr std::string_view kInitials[] = {"ph", "p", "b", "m", "th", "tsh", "ts", "t", "ng",
                                          "n",  "l", "s", "j", "kh", "k",   "g",  "h"};
constexpr std::string_view kVowelGroups[] = {"ai", "au", "a",  "ere", "ee",  "e",  "ie", "iau",
                                             "ia", "ioo", "io", "iu", "i",   "oi", "oo", "o",
                                             "uai", "ua", "uee", "ue", "ui", "u"};
constexpr std::string_view kCodas[] = {"ng", "nnh", "nn", "n",  "m",  "p", "t",
                                       "k",  "h",   "rh", "rm", "rn", "r"};
constexpr std::string_view kSyllabicNasals[] = {"mh", "m", "ngh", "ng"};

// The letters that occur in rimes, numbered from 1 in kLetterIndex; 0 for every other byte.
constexpr std::string_view kRimeLetters = "aeioumngptkhr";
constexpr std::string_view kRimeLetterClass = "[aeioumngptkhr]";
static_assert(kRimeLetterClass.substr(1, kRimeLetters.size()) == kRimeLetters);

constexpr std::string_view kMarkLettersLower = "aeioumn";
constexpr std::string_view kMarkLettersUpper = "AEIOUMN";

// The finals of a checked syllable and the letters that may stand before them.
constexpr std::string_view kCheckedFinals = "ptkh";
constexpr std::string_view kCheckedBeforeFinal = "aeioumngr";

constexpr bool occursIn(std::string_view letters, char c) {
    return c != '\0' && letters.find(c) != std::string_view::npos;
}

constexpr std::array<uint8_t, 256> makeLetterIndex() {
    std::array<uint8_t, 256> index{};
    for (size_t i = 0; i < kRimeLetters.size(); ++i)
        index[static_cast<unsigned char>(kRimeLetters[i])] = static_cast<uint8_t>(i + 1);
    return index;
}
constexpr std::array<uint8_t, 256> kLetterIndex = makeLetterIndex();

// Whether each byte begins some rime: the first letters of the vowel groups and the nasals.
constexpr std::array<bool, 256> makeRimeStarts() {
    std::array<bool, 256> starts{};
    for (std::string_view v : kVowelGroups)
        starts[static_cast<unsigned char>(v[0])] = true;
    for (std::string_view n : kSyllabicNasals)
        starts[static_cast<unsigned char>(n[0])] = true;
    return starts;
}
constexpr std::array<bool, 256> kRimeStarts = makeRimeStarts();

constexpr size_t longestRimeOfTables() {
    size_t longest = 0, longestCoda = 0;
    for (std::string_view c : kCodas)
        longestCoda = std::max(longestCoda, c.size());
    for (std::string_view v : kVowelGroups)
        longest = std::max(longest, v.size() + longestCoda);
    for (std::string_view n : kSyllabicNasals)
        longest = std::max(longest, n.size());
    return longest;
}
static_assert(longestRimeOfTables() == kLongestRime);
static_assert(kRimeStarts['a'] && kRimeStarts['m'] && kRimeStarts['n'] && !kRimeStarts['g']);

// The initials beginning with each byte, as indices into kInitials in table order.
struct C_InitialsByFirst {
    std::array<std::array<uint8_t, 4>, 256> m_index{};
    std::array<uint8_t, 256> m_count{};
    bool m_overflow = false;
};
constexpr C_InitialsByFirst makeInitialsByFirst() {
    C_InitialsByFirst by;
    for (size_t i = 0; i < std::size(kInitials); ++i) {
        const auto first = static_cast<unsigned char>(kInitials[i][0]);
        if (by.m_count[first] == by.m_index[first].size()) {
            by.m_overflow = true;
            continue;
        }
        by.m_index[first][by.m_count[first]++] = static_cast<uint8_t>(i);
    }
    return by;
}
constexpr C_InitialsByFirst kInitialsByFirst = makeInitialsByFirst();
static_assert(!kInitialsByFirst.m_overflow);

// The rimes: a vowel group with an optional coda, or a syllabic nasal. The set is finite and
// small, so it is held as a trie built at compile time; a rime is recognised in one walk.
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

char lowerAscii(char c) noexcept { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

}  // namespace

bool isRimeLetter(char c) noexcept { return kLetterIndex[static_cast<unsigned char>(c)] != 0; }

std::string_view rimeLetterClass() noexcept { return kRimeLetterClass; }

bool beginsRime(char c) noexcept { return kRimeStarts[static_cast<unsigned char>(c)]; }

C_InitialLengths initialsAt(std::string_view keys) noexcept {
    C_InitialLengths found;
    if (keys.empty())
        return found;
    const auto first = static_cast<unsigned char>(keys[0]);
    for (size_t k = 0; k < kInitialsByFirst.m_count[first]; ++k) {
        const std::string_view initial = kInitials[kInitialsByFirst.m_index[first][k]];
        if (keys.starts_with(initial) && found.m_count < found.m_lengths.size())
            found.m_lengths[found.m_count++] = static_cast<uint8_t>(initial.size());
    }
    return found;
}

bool isRime(std::string_view s) noexcept { return kRimeTrie.accepts(s); }

size_t leadingRimeLength(std::string_view s) noexcept {
    if (s.empty() || !kRimeStarts[static_cast<unsigned char>(s[0])])
        return 0;
    for (std::string_view v : kVowelGroups) {
        if (!s.starts_with(v))
            continue;
        const std::string_view rest = s.substr(v.size());
        for (std::string_view c : kCodas)
            if (rest.starts_with(c))
                return v.size() + c.size();
        return v.size();
    }
    for (std::string_view n : kSyllabicNasals)
        if (s.starts_with(n))
            return n.size();
    return 0;
}

bool isCheckedSyllable(std::string_view letters) noexcept {
    const size_t n = letters.size();
    return n >= 2 && occursIn(kCheckedFinals, lowerAscii(letters[n - 1])) &&
           occursIn(kCheckedBeforeFinal, lowerAscii(letters[n - 2]));
}

std::string_view toneMarkLetters(bool upper) noexcept { return upper ? kMarkLettersUpper : kMarkLettersLower; }

const std::vector<std::vector<std::string>> kToneLettersLower = {
    {},
    {"\u00E1", "\u00E9", "\u00ED", "\u00F3", "\u00FA", "\u1E3F", "\u0144"},
    {"\u00E0", "\u00E8", "\u00EC", "\u00F2", "\u00F9", "m\u0300", "\u01F9"},
    {},
    {"\u00E2", "\u00EA", "\u00EE", "\u00F4", "\u00FB", "m\u0302", "n\u0302"},
    {"\u01CE", "\u011B", "\u01D0", "\u01D2", "\u01D4", "m\u030C", "\u0148"},
    {"\u0101", "\u0113", "\u012B", "\u014D", "\u016B", "m\u0304", "n\u0304"},
    {"a\u030D", "e\u030D", "i\u030D", "o\u030D", "u\u030D", "m\u030D", "n\u030D"},
    {"a\u030B", "e\u030B", "i\u030B", "\u0151", "\u0171", "m\u030B", "n\u030B"},
};

const std::vector<std::vector<std::string>> kToneLettersUpper = {
    {},
    {"\u00C1", "\u00C9", "\u00CD", "\u00D3", "\u00DA", "\u1E3E", "\u0143"},
    {"\u00C0", "\u00C8", "\u00CC", "\u00D2", "\u00D9", "M\u0300", "\u01F8"},
    {},
    {"\u00C2", "\u00CA", "\u00CE", "\u00D4", "\u00DB", "M\u0302", "N\u0302"},
    {"\u01CD", "\u011A", "\u01CF", "\u01D1", "\u01D3", "M\u030C", "\u0147"},
    {"\u0100", "\u0112", "\u012A", "\u014C", "\u016A", "M\u0304", "N\u0304"},
    {"A\u030D", "E\u030D", "I\u030D", "O\u030D", "U\u030D", "M\u030D", "N\u030D"},
    {"A\u030B", "E\u030B", "I\u030B", "\u0150", "\u0170", "M\u030B", "N\u030B"},
};

}  // namespace kov
