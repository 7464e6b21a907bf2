#include "engine/compose/islands.h"

#include <algorithm>
#include <set>
#include <cstdint>
#include <stdexcept>
#include <string>

#include "engine/text/sounds.h"
#include "engine/text/syllable_match.h"

namespace kov {

namespace {

// The STD island pattern, matched by hand at the start of a window of keys. As a regular
// expression (ECMAScript, tried at the window's start) it reads, with I the initials, R the
// letters [aeioumngptkhr], V the vowel groups and C the codas, in the orders of the sound
// inventory (engine/text/sounds.h):
//   (?:(I)?R+|(I))([?*])+(?:R+[?*]+)*R*\d?  |  (I)?(V C?|mh|m|ngh|ng)\d?  |  (I)
// Groups: 1 initial before a wildcard, 2 lone initial before a wildcard, 3 wildcard character,
// 4 initial of a syllable, 5 rime of a syllable, 6 lone initial. The alternatives and the
// choices within them are taken in the order a backtracking engine tries them, so the match and
// its groups are the ones that engine reports (tests/compose/std_pattern_test.cpp compares the
// two on random and real keys).
bool isLower(char c) noexcept { return c >= 'a' && c <= 'z'; }

bool isWildcard(char c) noexcept { return c == '?' || c == '*'; }

// Every STD match is made of lower-case letters and wildcards, with at most one digit at its
// end; so a match that starts at p lies within the window this returns, and searching the
// window alone gives the same match as searching the rest of the keys. Bounding the window
// keeps the match's work to the run of keys around p.
size_t windowEnd(std::string_view keys, size_t p) noexcept {
    size_t e = p;
    while (e < keys.size() && (isLower(keys[e]) || isWildcard(keys[e])))
        ++e;
    if (e < keys.size() && isDigitKey(keys[e]))
        ++e;
    return e;
}

// The syllable payload of keys that match kSyllableRegex as a whole, if they do.
std::optional<C_IsleSyllable> syllableOf(std::string_view keys) {
    const std::optional<C_SyllableParts> parts = matchSyllable(keys);
    if (!parts)
        return std::nullopt;
    C_IsleSyllable syl;
    if (!keys.empty() && isDigitKey(keys.back()))
        syl.m_toneDigit = keys.back();
    syl.m_hasInitial = parts->m_initialLength > 0;
    return syl;
}

// The state of a cut while it runs: the islands, the work set and the log of the steps.
struct C_Cutter {
    C_StdIslands& out;
    std::set<size_t> work;

    void add(C_IslePtr isle) {
        const size_t start = isle->m_start;
        if (addIsle(out.m_islesByStart, std::move(isle)))
            out.m_log.m_isleStarts.push_back(start);
    }
    void addPlain(size_t start, size_t length) { add(C_StdIsle::makePlain(start, length)); }
    void addWork(size_t pos) {
        work.insert(pos);
        out.m_log.m_workAdded.push_back(pos);
    }
};

std::string unknownKindText(const C_StdMatch& m) {
    std::string text = "Unknown island kind for [";
    for (int g = 0; g < 7; ++g) {
        if (g > 0)
            text += ", ";
        text += m.m_groups[g];
    }
    text += "]";
    return text;
}

// Where the first run of wildcards of a wildcard match M ends, and one past the last key of the
// letters that follow it (the patterns of addWildcardIsles end before each of those letters).
std::pair<size_t, size_t> wildcardLetters(std::string_view keys, size_t start) {
    size_t k = start;
    while (k < keys.size() && !isWildcard(keys[k]))
        ++k;
    while (k < keys.size() && isWildcard(keys[k]))
        ++k;
    size_t end = k;
    while (end < keys.size() && isLower(keys[end]))
        ++end;
    return {k, end};
}

// A wildcard island over the keys of the wildcard match M and of the patterns addWildcardIsles
// makes from it, whichever reaches further: their items are built once, over the longest.
std::shared_ptr<C_StdIsle> wildcardWhole(std::string_view keys, size_t start, size_t length) {
    const auto [letters, lettersEnd] = wildcardLetters(keys, start);
    // The last pattern ends before the last of the letters, or at the longest pattern.
    const size_t longest =
        std::min(std::max(start + length, lettersEnd > letters ? lettersEnd - 1 : 0),
                 start + kLongestWildcardIsland);
    return C_StdIsle::makeWildcard(start, keys.substr(start, longest - start));
}

// The islands a wildcard match M makes besides M: the syllable or initial before each later
// item, and the patterns that end before each letter after the first wildcard run.
void addWildcardIsles(std::string_view keys, const C_StdIsle& m, const C_StdIsle& whole,
                      C_Cutter& cut) {
    const std::string_view mKeys = keys.substr(m.m_start, m.m_length);
    size_t w = 0;
    while (w < mKeys.size() && !isWildcard(mKeys[w]))
        ++w;
    const std::span<const C_IsleItem> items = m.items();
    for (size_t i = 1; i < items.size() && items[i].m_start < w; ++i) {
        const size_t itemStart = items[i].m_start;
        if (!isWildcardQuery(mKeys.substr(itemStart)))
            break;
        const std::string_view before = mKeys.substr(0, itemStart);
        if (std::optional<C_IsleSyllable> syl = syllableOf(before))
            cut.add(C_StdIsle::makeSyllable(m.m_start, itemStart, *syl));
        else if (isInitial(before))
            cut.addPlain(m.m_start, itemStart);
        else
            break;
        cut.addWork(m.m_start + itemStart);
    }
    const auto [letters, lettersEnd] = wildcardLetters(keys, m.m_start);
    const size_t lastEnd = std::min(lettersEnd, m.m_start + kLongestWildcardIsland + 1);
    for (size_t k = letters; k < lastEnd; ++k) {
        cut.add(C_StdIsle::makeWildcardPrefix(whole, k - m.m_start, keys.substr(m.m_start)));
        cut.addWork(k);
    }
}

// The islands a syllable match M makes besides M: its copy as an initial, its initial, and its
// toneless prefixes that are syllables too.
void addSyllableIsles(std::string_view keys, const C_StdIsle& m, size_t initialLength,
                      C_Cutter& cut) {
    const std::string_view mKeys = keys.substr(m.m_start, m.m_length);
    if (isInitial(mKeys))
        cut.addPlain(m.m_start, m.m_length);
    if (initialLength > 0) {
        cut.addPlain(m.m_start, initialLength);
        cut.addWork(m.m_start + initialLength);
    }
    const C_IsleSyllable& syl = *m.syllable();
    if (syl.m_toneDigit)
        return;
    for (size_t len = m.m_length - 1; len > initialLength; --len) {
        const std::string_view prefix = mKeys.substr(0, len);
        if (!matchSyllable(prefix))
            break;
        cut.add(C_StdIsle::makeSyllable(m.m_start, len, syl));
        if (isInitial(prefix))
            cut.addPlain(m.m_start, len);
        cut.addWork(m.m_start + len);
    }
}

// The islands a lone initial M makes besides M: the lone-n syllable, and its shorter initials.
void addInitialIsles(std::string_view keys, const C_StdIsle& m, C_Cutter& cut) {
    const std::string_view mKeys = keys.substr(m.m_start, m.m_length);
    if (mKeys.front() == 'n') {
        C_IsleSyllable loneN;
        loneN.m_loneN = true;
        cut.add(C_StdIsle::makeSyllable(m.m_start, 1, loneN));
        cut.addWork(m.m_start + 1);
    }
    for (size_t len = m.m_length - 1; len >= 1; --len) {
        if (!isInitial(mKeys.substr(0, len)))
            break;
        cut.addPlain(m.m_start, len);
        cut.addWork(m.m_start + len);
    }
}

// The STD pattern matched at the start of window s (keys[p, windowEnd)); positions of the
// groups are offsets into s.
std::optional<C_StdMatch> matchStdPattern(std::string_view keys, size_t p, std::string_view s) {
    C_StdMatch found;
    found.m_start = p;
    const auto group = [&](int g, size_t at, size_t length) {
        found.m_matched[g] = true;
        found.m_groups[g] = keys.substr(p + at, length);
    };
    const auto finish = [&](size_t length) {
        found.m_length = length;
        group(0, 0, length);
        return found;
    };
    const size_t n = s.size();

    // A wildcard pattern: the letters before the first wildcard must be an initial with rime
    // letters, rime letters alone, or an initial alone; after it nothing can fail. The first
    // wildcard must lie within the longest pattern, and the match is cut to it.
    size_t w = 0;
    while (w < n && isLower(s[w]))
        ++w;
    if (w > 0 && w < n && w < kLongestWildcardIsland && isWildcard(s[w])) {
        const std::string_view letters = s.substr(0, w);
        const C_InitialLengths initials = initialsAt(letters);
        bool fits = false;
        for (uint8_t i : initials) {
            if (letters.size() > i && allRimeLetters(letters.substr(i))) {
                group(1, 0, i);
                fits = true;
                break;
            }
        }
        if (!fits && allRimeLetters(letters))
            fits = true;
        if (!fits) {
            for (uint8_t i : initials) {
                if (letters.size() == i) {
                    group(2, 0, i);
                    fits = true;
                    break;
                }
            }
        }
        if (fits) {
            size_t k = w;
            while (k < n && isWildcard(s[k]))
                ++k;
            group(3, std::min(k, kLongestWildcardIsland) - 1, 1);
            for (;;) {
                size_t r = k;
                while (r < n && isRimeLetter(s[r]))
                    ++r;
                if (r == k || r == n || !isWildcard(s[r])) {
                    k = r;
                    break;
                }
                k = r;
                while (k < n && isWildcard(s[k]))
                    ++k;
            }
            if (k < n && isDigitKey(s[k]))
                ++k;
            return finish(std::min(k, kLongestWildcardIsland));
        }
    }

    // A syllable: the first initial after which a rime fits, else a rime alone.
    const C_InitialLengths initials = initialsAt(s);
    for (uint8_t i : initials) {
        if (const size_t r = leadingRimeLength(s.substr(i))) {
            group(4, 0, i);
            group(5, i, r);
            size_t k = i + r;
            if (k < n && isDigitKey(s[k]))
                ++k;
            return finish(k);
        }
    }
    if (const size_t r = leadingRimeLength(s)) {
        group(5, 0, r);
        size_t k = r;
        if (k < n && isDigitKey(s[k]))
            ++k;
        return finish(k);
    }

    // A lone initial.
    if (!initials.empty()) {
        group(6, 0, *initials.begin());
        return finish(*initials.begin());
    }
    return std::nullopt;
}

}  // namespace

bool addIsle(std::vector<C_IsleList>& islesByStart, C_IslePtr isle) {
    C_IsleList& list = islesByStart.at(isle->m_start);
    for (const C_IslePtr& other : list)
        if (other->sameAs(*isle))
            return false;
    list.push_back(std::move(isle));
    return true;
}

std::optional<C_StdMatch> searchStdPattern(std::string_view keys, size_t from) {
    for (size_t p = from; p < keys.size(); ++p) {
        if (!isLower(keys[p]))
            continue;
        const size_t e = windowEnd(keys, p);
        if (std::optional<C_StdMatch> found = matchStdPattern(keys, p, keys.substr(p, e - p)))
            return found;
    }
    return std::nullopt;
}

namespace {

// Takes work positions until the work set is empty, the end of the keys is reached or no match
// is left, logging every step.
void runCut(std::string_view keys, C_Cutter& cut) {
    C_StdCutLog& log = cut.out.m_log;
    while (!cut.work.empty()) {
        const size_t s = *cut.work.begin();
        cut.work.erase(cut.work.begin());
        log.m_steps.push_back({s, SIZE_MAX, log.m_isleStarts.size(), log.m_workAdded.size()});
        if (s >= keys.size())
            break;
        const std::optional<C_StdMatch> found = searchStdPattern(keys, s);
        if (!found)
            break;
        const C_StdMatch& m = *found;
        // The search read the keys from s through the window of the match: its run of letters
        // and wildcards and the key that ends it (when the run reaches the end of the keys,
        // what it found depends on that end).
        size_t e = m.m_start;
        while (e < keys.size() && (isLower(keys[e]) || isWildcard(keys[e])))
            ++e;
        log.m_steps.back().m_readEnd = e < keys.size() ? e + 1 : SIZE_MAX;
        if (m.m_start > s &&
            keys.substr(s, m.m_start - s).find_first_not_of('-') == std::string_view::npos)
            cut.out.m_hyphenRuns[s] = m.m_start;
        const std::string_view mKeys = keys.substr(m.m_start, m.m_length);

        std::shared_ptr<C_StdIsle> isle;
        if (m.m_matched[3]) {
            const auto whole = wildcardWhole(keys, m.m_start, m.m_length);
            isle = C_StdIsle::makeWildcardPrefix(*whole, m.m_length, keys.substr(m.m_start));
            addWildcardIsles(keys, *isle, *whole, cut);
        } else if (m.m_matched[5]) {
            C_IsleSyllable syl;
            if (isDigitKey(mKeys.back()))
                syl.m_toneDigit = mKeys.back();
            syl.m_hasInitial = m.m_matched[4];
            isle = C_StdIsle::makeSyllable(m.m_start, m.m_length, syl);
            addSyllableIsles(keys, *isle, m.m_matched[4] ? m.m_groups[4].size() : 0, cut);
        } else if (m.m_matched[6]) {
            isle = C_StdIsle::makePlain(m.m_start, m.m_length);
            addInitialIsles(keys, *isle, cut);
        } else {
            throw std::logic_error(unknownKindText(m));
        }
        cut.addWork(isle->end());
        cut.add(std::move(isle));
    }
}

}  // namespace

C_StdIslands cutStdIslands(std::string_view keys) {
    C_StdIslands out;
    out.m_islesByStart.resize(keys.size());
    C_Cutter cut{out, {}};
    cut.addWork(0);
    runCut(keys, cut);
    return out;
}

size_t recutStdIslands(std::string_view keys, std::string_view previousKeys, C_StdIslands& cut,
                       std::vector<C_IsleList>& replaced) {
    C_StdCutLog& log = cut.m_log;
    size_t common = 0;
    while (common < keys.size() && common < previousKeys.size() &&
           keys[common] == previousKeys[common])
        ++common;
    // The first step that read a key the two do not share, or met the end of the keys.
    size_t j = 0;
    while (j < log.m_steps.size() && log.m_steps[j].m_readEnd <= common)
        ++j;
    if (log.m_steps.empty() || j == 0 || j == log.m_steps.size() ||
        cut.m_islesByStart.size() != previousKeys.size()) {
        replaced = std::move(cut.m_islesByStart);
        cut = cutStdIslands(keys);
        return 0;
    }
    // The lists from the step's position on are replaced; the steps before it only added
    // islands below the keys they read, so the lists below it stay whole.
    const C_StdCutLog::C_Step step = log.m_steps[j];
    std::vector<C_IsleList>& lists = cut.m_islesByStart;
    replaced.assign(lists.begin() + std::ptrdiff_t(step.m_start), lists.end());
    for (size_t k = log.m_isleStarts.size(); k-- > step.m_isles;)
        lists[log.m_isleStarts[k]].pop_back();
    lists.resize(keys.size());
    cut.m_hyphenRuns.erase(cut.m_hyphenRuns.lower_bound(step.m_start), cut.m_hyphenRuns.end());
    C_Cutter cutter{cut, {}};
    for (size_t k = 0; k < step.m_work; ++k)
        if (log.m_workAdded[k] >= step.m_start)
            cutter.work.insert(log.m_workAdded[k]);
    log.m_steps.resize(j);
    log.m_isleStarts.resize(step.m_isles);
    log.m_workAdded.resize(step.m_work);
    runCut(keys, cutter);
    return step.m_start;
}

std::vector<std::pair<size_t, size_t>> cutTailoIslands(std::string_view keys) {
    // A tone-numbered rime is letters only and ends at a tone digit, so it is the tail of the run
    // of letters before a tone digit. The leftmost match of the search is the longest such tail
    // that is a rime; the next search starts after the digit.
    std::vector<std::pair<size_t, size_t>> found;
    size_t from = 0;
    for (size_t d = 0; d < keys.size(); ++d) {
        if (!isToneDigit(keys[d]))
            continue;
        size_t runStart = d;
        while (runStart > from && d - runStart < kLongestRime && isLower(keys[runStart - 1]))
            --runStart;
        for (size_t p = runStart; p < d; ++p) {
            if (isRime(keys.substr(p, d - p))) {
                found.emplace_back(p, d + 1 - p);
                from = d + 1;
                break;
            }
        }
    }
    return found;
}

}  // namespace kov
