// The sound inventory and the syllable shape checks over it (syllable_match.h), side by side so
// that the per-keystroke checks walk the tables without a call per step.
#include "engine/text/sounds.h"

#include "engine/text/syllable_match.h"

#include <algorithm>
#include <utility>

namespace kov {

namespace {

constexpr std::string_view kInitials[] = {"ph", "p", "b", "m", "th", "tsh", "ts", "t", "ng",
                                          "n",  "l", "s", "j", "kh", "k",   "g",  "h"};
constexpr std::string_view kVowelGroups[] = {"ai",  "au",  "a",   "ere", "ee", "e",  "ie", "iau",
                                             "ia",  "ioo", "io",  "iu",  "i",  "oi", "oo", "o",
                                             "uai", "ua",  "uee", "ue",  "ui", "u"};
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

constexpr std::array<bool, 256> makeRimeLetterTable() {
    std::array<bool, 256> table{};
    for (char c : kRimeLetters)
        table[static_cast<unsigned char>(c)] = true;
    return table;
}

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

// The initials that begin keys, by table: every initial of kInitials that keys start with, in
// table order.
constexpr C_InitialLengths initialsByTable(std::string_view keys) {
    C_InitialLengths found;
    for (std::string_view initial : kInitials)
        if (keys.starts_with(initial))
            found.add(initial.size());
    return found;
}

// The same answer by a switch on the first key, which is what the per-keystroke checks call;
// checked against the table below for every string of up to four keys that matters.
constexpr C_InitialLengths initialsBySwitch(std::string_view keys) {
    C_InitialLengths found;
    if (keys.empty())
        return found;
    auto next = [&](size_t i) { return i < keys.size() ? keys[i] : '\0'; };
    auto add = [&](size_t length) { found.add(length); };
    switch (keys[0]) {
        case 'p':
        case 'k':
            if (next(1) == 'h')
                add(2);
            add(1);
            break;
        case 't':
            if (next(1) == 'h')
                add(2);
            if (next(1) == 's' && next(2) == 'h')
                add(3);
            if (next(1) == 's')
                add(2);
            add(1);
            break;
        case 'n':
            if (next(1) == 'g')
                add(2);
            add(1);
            break;
        case 'b':
        case 'm':
        case 'l':
        case 's':
        case 'j':
        case 'g':
        case 'h':
            add(1);
            break;
        default:
            break;
    }
    return found;
}

// The same lengths in the same order.
constexpr bool sameInitials(const C_InitialLengths& a, const C_InitialLengths& b) {
    auto i = a.begin(), j = b.begin();
    for (; i != a.end() && j != b.end(); ++i, ++j)
        if (*i != *j)
            return false;
    return i == a.end() && j == b.end();
}

// The lengths of the initials that begin keys, in the order the table lists them.
constexpr bool tableOrderIsLongestFirst(std::string_view keys) {
    size_t last = SIZE_MAX;
    for (std::string_view initial : kInitials) {
        if (!keys.starts_with(initial))
            continue;
        if (initial.size() >= last)
            return false;
        last = initial.size();
    }
    return true;
}

// Every string of up to three keys of the letters of the initials and one other letter, that
// begins with the letter first. Checked one first letter at a time, so that each check stays
// within the compilers' limits of steps for one constant evaluation.
constexpr std::string_view kSwitchCheckLetters = "pbmthsnglkjax";
constexpr bool switchFollowsTable(size_t first) {
    constexpr std::string_view letters = kSwitchCheckLetters;
    char buf[3] = {letters[first]};
    for (size_t length = 1; length <= 3; ++length) {
        size_t total = 1;
        for (size_t i = 1; i < length; ++i)
            total *= letters.size();
        for (size_t n = 0; n < total; ++n) {
            size_t rest = n;
            for (size_t i = 1; i < length; ++i) {
                buf[i] = letters[rest % letters.size()];
                rest /= letters.size();
            }
            const std::string_view keys(buf, length);
            if (!tableOrderIsLongestFirst(keys) ||
                !sameInitials(initialsByTable(keys), initialsBySwitch(keys)))
                return false;
        }
    }
    return true;
}
template <size_t First>
struct C_SwitchCheck {
    static_assert(switchFollowsTable(First),
                  "initialsBySwitch must give the initials of kInitials");
    static constexpr bool ok = true;
};
template <size_t... First>
constexpr bool switchChecked(std::index_sequence<First...>) {
    return (C_SwitchCheck<First>::ok && ...);
}
static_assert(switchChecked(std::make_index_sequence<kSwitchCheckLetters.size()>()));

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

char lowerAscii(char c) noexcept {
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

}  // namespace

constexpr std::array<bool, 256> kIsRimeLetter = makeRimeLetterTable();

bool allRimeLetters(std::string_view s) noexcept {
    for (char c : s)
        if (!isRimeLetter(c))
            return false;
    return true;
}

std::string_view rimeLetterClass() noexcept { return kRimeLetterClass; }

bool beginsRime(char c) noexcept { return kRimeStarts[static_cast<unsigned char>(c)]; }

C_InitialLengths initialsAt(std::string_view keys) noexcept { return initialsBySwitch(keys); }

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

std::string_view toneMarkLetters(bool upper) noexcept {
    return upper ? kMarkLettersUpper : kMarkLettersLower;
}

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

namespace {

// Whether letters (an initial or none, then a rime) form a syllable, trying every initial.
bool isInitialAndRime(std::string_view letters) noexcept {
    if (isRime(letters))
        return true;
    for (uint8_t length : initialsBySwitch(letters))
        if (isRime(letters.substr(length)))
            return true;
    return false;
}

bool isWildcard(char c) noexcept { return c == '?' || c == '*'; }

}  // namespace

bool isTonedSyllable(std::string_view keys) noexcept {
    return keys.size() >= 2 && isToneDigit(keys.back()) &&
           isInitialAndRime(keys.substr(0, keys.size() - 1));
}

bool isRimeTone(std::string_view keys) noexcept {
    return keys.size() >= 2 && isDigitKey(keys.back()) && isRime(keys.substr(0, keys.size() - 1));
}

bool isInitial(std::string_view keys) noexcept { return initialsBySwitch(keys).has(keys.size()); }

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
    for (uint8_t length : initialsBySwitch(head))
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
    for (uint8_t length : initialsBySwitch(letters)) {
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
