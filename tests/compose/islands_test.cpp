#include "engine/compose/islands.h"

#include <gtest/gtest.h>

#include <random>
#include <regex>
#include <string>
#include <vector>

#include "fixtures/tailo_regex.h"

namespace kov {
namespace {

// "len/kind" per island of one start, in list order; a syllable shows its tone digit, "i" for
// has-initial and "n" for lone n; a wildcard its item count after "#".
std::string describeStart(const C_StdIslands& cut, size_t start) {
    std::string out;
    for (const C_IslePtr& isle : cut.m_islesByStart.at(start)) {
        if (!out.empty())
            out += ' ';
        EXPECT_EQ(isle->m_start, start);
        out += std::to_string(isle->m_length) + "/" + std::to_string(int(isle->kind()));
        if (const C_IsleSyllable* syl = isle->syllable()) {
            if (syl->m_toneDigit)
                out += *syl->m_toneDigit;
            if (syl->m_hasInitial)
                out += 'i';
            if (syl->m_loneN)
                out += 'n';
        }
        if (isle->kind() == ISLE_WILDCARD) {
            out += '#';
            out += std::to_string(isle->items().size());
        }
    }
    return out;
}

// "start: islands | start: islands ..." over the starts that hold any island.
std::string describe(const C_StdIslands& cut) {
    std::string out;
    for (size_t p = 0; p < cut.m_islesByStart.size(); ++p) {
        if (cut.m_islesByStart[p].empty())
            continue;
        if (!out.empty())
            out += " | ";
        out += std::to_string(p) + ": " + describeStart(cut, p);
    }
    return out;
}

struct IsleCase {
    const char* keys;
    const char* islands;
};

TEST(StdIslands, CutsSyllablesInitialsAndWildcards) {
    const IsleCase cases[] = {
        // Syllable with its initial and toneless prefixes, then the later starts.
        {"tsiann",
         "0: 2/0 5/1i 4/1i 3/1i 6/1i | 2: 3/1 2/1 1/1 4/1 | 3: 2/1 1/1 3/1 | "
         "4: 1/1n 1/0 | 5: 1/1n 1/0"},
        // A toned syllable has no prefixes: only its initial's end is visited.
        {"tsiann5", "0: 2/0 7/15i | 2: 5/15"},
        // ng is a syllable and an initial.
        {"ng", "0: 2/0 2/1"},
        // A lone n before a key that cannot start a rime.
        {"nb", "0: 1/1n 1/0 | 1: 1/0"},
        // A lone initial of three keys gives its shorter initials too.
        {"tsh", "0: 2/0 1/0 3/0 | 1: 1/0 | 2: 1/0"},
        // Wildcard: the initial before the second item, the pattern before the a, the whole.
        {"ts?a", "0: 1/0 3/2#2 4/2#3 | 1: 2/2#1 3/2#2 | 3: 1/1"},
        // Digits and symbols are skipped.
        {"a1.b", "0: 2/11 | 3: 1/0"},
        {"", ""},
        {"xyz", ""},
    };
    for (const IsleCase& c : cases)
        EXPECT_EQ(describe(cutStdIslands(c.keys)), c.islands) << "keys " << c.keys;
}

TEST(StdIslands, RecordsHyphenRunsAndWildcardIslandsPastTheMatch) {
    const C_StdIslands cut = cutStdIslands("a--ts?ab");
    EXPECT_EQ(cut.m_hyphenRuns, (std::map<size_t, size_t>{{1, 3}}));
    // ts?a is both the match and the pattern ending before the b: listed once.
    EXPECT_EQ(describeStart(cut, 3), "1/0 3/2#2 4/2#3");
    // A skipped prefix that is not only hyphens is no run.
    EXPECT_TRUE(cutStdIslands("a-.b").m_hyphenRuns.empty());
    EXPECT_EQ(cutStdIslands("-a").m_hyphenRuns, (std::map<size_t, size_t>{{0, 1}}));
}

TEST(StdIslands, AddIsleDropsTheSameLengthAndKind) {
    std::vector<C_IsleList> lists(2);
    EXPECT_TRUE(addIsle(lists, C_StdIsle::makePlain(1, 1)));
    EXPECT_FALSE(addIsle(lists, C_StdIsle::makePlain(1, 1)));
    EXPECT_TRUE(addIsle(lists, C_StdIsle::makeSyllable(1, 1, {})));
    EXPECT_TRUE(addIsle(lists, C_StdIsle::makePlain(1, 2)));
    EXPECT_EQ(lists[1].size(), 3u);
}

// The windowed search must find exactly what a search of the whole rest finds.
TEST(StdIslands, WindowedSearchAgreesWithAPlainSearch) {
    const std::regex& reference = test::stdIslePatternRegex();
    const std::string alphabet = "aeioumngptkhrsbjlqx?*0159-\t\a.";
    std::mt19937 rng(20240611);
    for (int round = 0; round < 1000; ++round) {
        std::string keys(rng() % 14, ' ');
        for (char& k : keys)
            k = alphabet[rng() % alphabet.size()];
        for (size_t from = 0; from <= keys.size(); ++from) {
            std::smatch m;
            const std::string rest = keys.substr(from);
            const bool found = std::regex_search(rest, m, reference);
            const std::optional<C_StdMatch> got = searchStdPattern(keys, from);
            ASSERT_EQ(found, got.has_value()) << keys << " from " << from;
            if (!found)
                continue;
            ASSERT_EQ(from + size_t(m.position(0)), got->m_start) << keys << " from " << from;
            ASSERT_EQ(size_t(m.length(0)), got->m_length) << keys << " from " << from;
            for (int g = 1; g < 7; ++g) {
                ASSERT_EQ(m[g].matched, got->m_matched[g]) << keys << " group " << g;
                ASSERT_EQ(m[g].str(), std::string(got->m_groups[g])) << keys << " group " << g;
            }
        }
    }
}

// A wildcard pattern holds at most kLongestWildcardIsland keys: the match is cut there, the
// patterns ending before later letters stop there, and a start further before the wildcard
// gets syllables and initials only.
TEST(StdIslands, WildcardIslandsAreBoundedInLength) {
    const size_t bound = kLongestWildcardIsland;
    for (const std::string& keys :
         {std::string(40, 'm') + "?" + std::string(40, 'm'),
          std::string(5, 'm') + "*" + std::string(60, 'a'), std::string(50, 'k') + "?"}) {
        SCOPED_TRACE(keys);
        const size_t w = keys.find_first_of("?*");
        const C_StdIslands cut = cutStdIslands(keys);
        size_t longest = 0;
        for (size_t p = 0; p < cut.m_islesByStart.size(); ++p)
            for (const C_IslePtr& isle : cut.m_islesByStart[p]) {
                if (isle->kind() != ISLE_WILDCARD)
                    continue;
                EXPECT_LE(isle->m_length, bound);
                EXPECT_LT(w - p, bound) << "a pattern from " << p;
                EXPECT_GT(isle->end(), w);
                longest = std::max(longest, isle->m_length);
            }
        EXPECT_EQ(longest, std::min(bound, keys.size() - (w + 1 > bound ? w + 1 - bound : 0)));
    }
}

TEST(StdIslands, LongRunsOfOneKeyDoNotExhaustTheStack) {
    for (char k : {'a', 'r', 'n', '?'}) {
        const std::string keys(1024, k);
        const C_StdIslands cut = cutStdIslands(keys);
        EXPECT_EQ(cut.m_islesByStart.size(), keys.size());
    }
}

// The full description of a cut, hyphen runs included.
std::string describeAll(const C_StdIslands& cut) {
    std::string out = describe(cut);
    for (const auto& [from, to] : cut.m_hyphenRuns) {
        out += " -";
        out += std::to_string(from);
        out += '>';
        out += std::to_string(to);
    }
    return out;
}

// A cut made again over the last cut of keys that begin alike equals a cut from scratch, island
// objects of the unchanged beginning kept, through random edits anywhere in the keys.
TEST(StdIslands, CuttingAgainEqualsCuttingAfresh) {
    const std::string alphabet = "tsiannhoo5kong2a-?*0\tmngbe1";
    std::mt19937 rng(11);
    std::string keys;
    C_StdIslands cut = cutStdIslands(keys);
    size_t reused = 0;
    for (int step = 0; step < 4000; ++step) {
        const std::string before = keys;
        const unsigned op = rng() % 10;
        if (keys.size() > 40 || op == 0)
            keys.erase(rng() % (keys.size() + 1) / 2);
        else if (op < 6 || keys.empty())
            keys += alphabet[rng() % alphabet.size()];
        else if (op < 8)
            keys.pop_back();
        else
            keys[rng() % keys.size()] = alphabet[rng() % alphabet.size()];
        std::vector<C_IsleList> replaced;
        const std::vector<C_IsleList> lists = cut.m_islesByStart;
        const size_t from = recutStdIslands(keys, before, cut, replaced);
        const C_StdIslands fresh = cutStdIslands(keys);
        ASSERT_EQ(describeAll(cut), describeAll(fresh))
            << "\"" << before << "\" -> \"" << keys << "\"";
        // The lists below the returned position are the very lists of the last cut; the
        // replaced ones are those of the last cut from there on.
        for (size_t p = 0; p < from; ++p)
            ASSERT_EQ(cut.m_islesByStart[p], lists[p]) << keys << " at " << p;
        ASSERT_EQ(replaced.size(), lists.size() - std::min(from, lists.size()));
        for (size_t k = 0; k < replaced.size(); ++k)
            ASSERT_EQ(replaced[k], lists[from + k]) << keys << " at " << from + k;
        reused += from > 0;
    }
    EXPECT_GT(reused, 1000u);
}

TEST(TailoIslands, FindsToneNumberedRimesOneAfterAnother) {
    using Found = std::vector<std::pair<size_t, size_t>>;
    EXPECT_EQ(cutTailoIslands("a1b"), (Found{{0, 2}}));
    // Initials are not part of a rime: t and s stay outside.
    EXPECT_EQ(cutTailoIslands("tsia2"), (Found{{2, 3}}));
    EXPECT_EQ(cutTailoIslands("tsiann5ho2"), (Found{{2, 5}, {8, 2}}));
    // Tone 0 and a missing digit make no rime.
    EXPECT_EQ(cutTailoIslands("a0ng"), Found{});
    EXPECT_EQ(cutTailoIslands("ng7\tm3"), (Found{{0, 3}, {4, 2}}));
    EXPECT_EQ(cutTailoIslands(""), Found{});
}

}  // namespace
}  // namespace kov
