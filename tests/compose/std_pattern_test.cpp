// The hand-written search of the STD island pattern against the regular expression it stands
// for (its wildcard alternative bounded to the longest wildcard island): same match (start,
// length) and same groups, matched or not and their texts, from every start position of every
// short key string, of random key strings and of the lexicon's keys typed as they are and with
// letters turned into wildcards. The same for the TAILO cut.

#include "engine/compose/islands.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <optional>
#include <random>
#include <regex>
#include <string>
#include <vector>

#include "fixtures/lexicon_rows.h"
#include "fixtures/tailo_regex.h"

namespace kov {
namespace {

// A match as the reference search reports it: start, length, and each group's text and whether
// it took part.
struct C_RefMatch {
    size_t start = 0, length = 0;
    std::string groups[7];
    bool matched[7] = {};
};

// The search of the pattern's regular expression, with its wildcard alternative bounded as the
// cut bounds it: at each start in turn, a wildcard match whose first wildcard lies
// kLongestWildcardIsland keys or more from the start is not taken there (the other alternatives
// are tried at that start), and a longer one is cut to kLongestWildcardIsland keys.
std::optional<C_RefMatch> referenceSearch(const std::string& keys, size_t from) {
    using std::regex_constants::match_continuous;
    for (size_t q = from; q < keys.size(); ++q) {
        const auto at = keys.cbegin() + std::ptrdiff_t(q);
        std::smatch m;
        if (!std::regex_search(at, keys.cend(), m, test::stdIslePatternRegex(), match_continuous))
            continue;
        C_RefMatch r;
        r.start = q;
        if (m[3].matched) {
            const std::string text = m.str(0);
            const size_t w = text.find_first_of("?*");
            if (w >= kLongestWildcardIsland) {
                if (!std::regex_search(at, keys.cend(), m,
                                       test::stdIslePatternRegexWithoutWildcards(),
                                       match_continuous))
                    continue;
            } else {
                size_t runEnd = w;
                while (runEnd < text.size() && (text[runEnd] == '?' || text[runEnd] == '*'))
                    ++runEnd;
                r.length = std::min(text.size(), kLongestWildcardIsland);
                for (int g = 0; g < 7; ++g) {
                    r.matched[g] = m[g].matched;
                    r.groups[g] = m[g].str();
                }
                r.groups[0] = text.substr(0, r.length);
                r.groups[3] = text.substr(std::min(runEnd, kLongestWildcardIsland) - 1, 1);
                return r;
            }
        }
        r.length = size_t(m.length(0));
        for (int g = 0; g < 7; ++g) {
            r.matched[g] = m[g].matched;
            r.groups[g] = m[g].str();
        }
        return r;
    }
    return std::nullopt;
}

// Compares the two searches from every start of keys; false (with a message) on the first
// difference.
::testing::AssertionResult agreesEverywhere(const std::string& keys) {
    for (size_t from = 0; from <= keys.size(); ++from) {
        const std::optional<C_RefMatch> m = referenceSearch(keys, from);
        const std::optional<C_StdMatch> got = searchStdPattern(keys, from);
        const std::string where = "keys \"" + keys + "\" from " + std::to_string(from);
        if (m.has_value() != got.has_value())
            return ::testing::AssertionFailure() << where << ": found " << m.has_value();
        if (!m)
            continue;
        if (m->start != got->m_start || m->length != got->m_length)
            return ::testing::AssertionFailure()
                   << where << ": match " << m->start << "+" << m->length << ", by hand "
                   << got->m_start << "+" << got->m_length;
        for (int g = 0; g < 7; ++g) {
            if (m->matched[g] != got->m_matched[g] || m->groups[g] != std::string(got->m_groups[g]))
                return ::testing::AssertionFailure()
                       << where << ": group " << g << " \"" << m->groups[g] << "\" ("
                       << m->matched[g] << "), by hand \"" << got->m_groups[g] << "\" ("
                       << got->m_matched[g] << ")";
        }
    }
    return ::testing::AssertionSuccess();
}

TEST(StdPattern, EqualsTheRegexOnEveryShortKeyString) {
    // Up to three keys: the letters of initials and rimes, two that are neither, both
    // wildcards, a digit and a hyphen; four keys of the letters where the orders of the
    // alternatives matter most.
    const std::string alphabet = "aeiouhmngptkrsb?*5-";
    const std::string narrow = "aeiumngh?5";
    std::string keys;
    size_t checked = 0;
    const auto visit = [&](auto&& self, size_t length) -> void {
        ASSERT_TRUE(agreesEverywhere(keys));
        ++checked;
        if (length == 4 || (length == 3 && keys.find_first_not_of(narrow) != std::string::npos))
            return;
        for (char c : length < 3 ? alphabet : narrow) {
            keys.push_back(c);
            self(self, length + 1);
            keys.pop_back();
            if (HasFatalFailure())
                return;
        }
    };
    visit(visit, 0);
    EXPECT_GT(checked, 12000u);
}

TEST(StdPattern, EqualsTheRegexOnRandomKeyStrings) {
    // Weighted towards the letters that make syllables, so that long matches occur.
    const std::string alphabet = "aaeeiioouunnggmmhhptkrtsbjl??**0159-\t\a.";
    std::mt19937 rng(20261210);
    for (int round = 0; round < 2000; ++round) {
        std::string keys(1 + rng() % 40, ' ');
        for (char& k : keys)
            k = alphabet[rng() % alphabet.size()];
        ASSERT_TRUE(agreesEverywhere(keys));
    }
}

TEST(StdPattern, EqualsTheRegexOnTheLexiconKeys) {
    const std::vector<test::C_LexiconRow> rows = test::readLexiconRows();
    ASSERT_GT(rows.size(), 1u) << test::lexiconPath();
    std::mt19937 rng(7);
    size_t checked = 0;
    // Every sixth row keeps the test short under the sanitizers.
    for (size_t r = 1; r < rows.size(); r += 6) {
        const std::vector<std::string>& fields = rows[r].m_fields;
        // "PojInput" and "KipInput": keys with tone digits and hyphens.
        for (size_t col : {2u, 4u}) {
            if (col >= fields.size())
                continue;
            std::string keys;
            for (char c : fields[col])
                keys += c >= 'A' && c <= 'Z' ? char(c - 'A' + 'a') : c;
            ASSERT_TRUE(agreesEverywhere(keys));
            // The same keys typed without hyphens, some letters as wildcards, some tones as "0".
            std::string typed;
            for (char c : keys) {
                const unsigned roll = rng() % 16;
                if (c == '-')
                    continue;
                if (c >= 'a' && c <= 'z' && roll == 0)
                    typed += '?';
                else if (c >= 'a' && c <= 'z' && roll == 1)
                    typed += '*';
                else if (c >= '1' && c <= '9' && roll < 3)
                    typed += '0';
                else
                    typed += c;
            }
            ASSERT_TRUE(agreesEverywhere(typed));
            checked += 2;
        }
    }
    EXPECT_GT(checked, 2500u);
}

// The TAILO cut by hand against the searches of its regular expression, one after another.
::testing::AssertionResult tailoCutAgrees(const std::string& keys) {
    std::vector<std::pair<size_t, size_t>> want;
    for (auto it = keys.cbegin(); it != keys.cend();) {
        std::smatch m;
        if (!std::regex_search(it, keys.cend(), m, test::tailoIslePatternRegex()))
            break;
        want.emplace_back(size_t(m[0].first - keys.cbegin()), size_t(m.length(0)));
        it = m[0].second;
    }
    const std::vector<std::pair<size_t, size_t>> got = cutTailoIslands(keys);
    if (got == want)
        return ::testing::AssertionSuccess();
    auto text = [](const std::vector<std::pair<size_t, size_t>>& found) {
        std::string s;
        for (const auto& [start, length] : found)
            s += " " + std::to_string(start) + "+" + std::to_string(length);
        return s;
    };
    return ::testing::AssertionFailure()
           << "keys \"" << keys << "\": regex" << text(want) << ", by hand" << text(got);
}

TEST(TailoPattern, EqualsTheRegexOnRandomAndLexiconKeys) {
    // Every string of up to four keys of letters where rimes, their ends and the digits meet.
    const std::string narrow = "aiunghm15";
    std::string keys;
    const auto visit = [&](auto&& self, size_t length) -> void {
        ASSERT_TRUE(tailoCutAgrees(keys));
        if (length == 4)
            return;
        for (char c : narrow) {
            keys.push_back(c);
            self(self, length + 1);
            keys.pop_back();
            if (HasFatalFailure())
                return;
        }
    };
    visit(visit, 0);

    // Random strings weighted towards rime letters and digits, with capitals, initials and
    // keys that are neither.
    const std::string alphabet = "aaeeiioouunnggmmhhptkrrtsbjlAN?*01599-\t.";
    std::mt19937 rng(20261211);
    for (int round = 0; round < 3000; ++round) {
        std::string random(1 + rng() % 48, ' ');
        for (char& k : random)
            k = alphabet[rng() % alphabet.size()];
        ASSERT_TRUE(tailoCutAgrees(random));
    }

    // The lexicon's keys with tone digits, as written and typed without hyphens.
    const std::vector<test::C_LexiconRow> rows = test::readLexiconRows();
    ASSERT_GT(rows.size(), 1u) << test::lexiconPath();
    size_t checked = 0;
    for (size_t r = 1; r < rows.size(); r += 3) {
        const std::vector<std::string>& fields = rows[r].m_fields;
        for (size_t col : {2u, 4u}) {
            if (col >= fields.size())
                continue;
            std::string typed;
            for (char c : fields[col])
                if (c != '-')
                    typed += c;
            ASSERT_TRUE(tailoCutAgrees(fields[col]));
            ASSERT_TRUE(tailoCutAgrees(typed));
            checked += 2;
        }
    }
    EXPECT_GT(checked, 5000u);
}

}  // namespace
}  // namespace kov
