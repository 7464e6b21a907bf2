#include "engine/dict/wildcard_matcher.h"

#include <gtest/gtest.h>

#include <random>
#include <regex>
#include <string>
#include <vector>

namespace kov {
namespace {

using C_Match = C_WildcardMatcher::C_Match;
using C_RegexMatch = std::match_results<std::string_view::const_iterator>;

// The regular expressions the matcher stands for, built from the items' pieces.
std::string concatenated(std::span<const C_IsleItem> items, size_t from) {
    std::string pattern = "^";
    for (size_t j = from; j < items.size(); ++j)
        pattern += items[j].m_piece;
    return pattern;
}

std::string nested(std::span<const C_IsleItem> items, size_t from, size_t to, bool capturing) {
    const std::string open = capturing ? "(" : "(?:";
    std::string inner;
    for (size_t j = to; j-- > from + 1;)
        inner = inner.empty() ? items[j].m_piece : items[j].m_piece + open + inner + ")?";
    std::string pattern = "^";
    if (from < to)
        pattern += items[from].m_piece;
    if (!inner.empty())
        pattern += open + inner + ")?";
    return pattern;
}

std::optional<C_Match> regexPrefix(const std::regex& re, std::string_view text) {
    C_RegexMatch m;
    if (!std::regex_search(text.begin(), text.end(), m, re))
        return std::nullopt;
    size_t g = 1;
    while (g < m.size() && m[g].matched)
        ++g;
    return C_Match{size_t(m.length(0)), g};
}

TEST(WildcardMatcher, ExamplesOfEachElement) {
    const std::vector<C_IsleItem> w = buildWildcardItems("k?i*a0");  // items k?, i*, a0
    ASSERT_EQ(w.size(), 3u);
    const C_WildcardMatcher nestedAll(w, 0, 3, true);
    EXPECT_EQ(nestedAll.matchPrefix("kat"), (C_Match{2, 1}));
    EXPECT_EQ(nestedAll.matchPrefix("kaio5"), (C_Match{4, 2}));
    // The star takes all the letters it can, and the last item then finds none.
    EXPECT_EQ(nestedAll.matchPrefix("kaioa5"), (C_Match{5, 2}));
    EXPECT_EQ(nestedAll.matchPrefix("ta"), std::nullopt);
    const C_WildcardMatcher all(w, 0, 3, false);
    EXPECT_EQ(all.matchPrefix("kaioa5"), (C_Match{6, 1}));  // the star gives a letter back
    EXPECT_EQ(all.matchPrefix("kaio5"), std::nullopt);
    EXPECT_TRUE(nestedAll.matchWhole("ka"));
    EXPECT_TRUE(nestedAll.matchWhole("ka3"));
    EXPECT_TRUE(nestedAll.matchWhole("kaioa5"));
    EXPECT_FALSE(nestedAll.matchWhole("kai-"));
    EXPECT_TRUE(C_WildcardMatcher(w, 3, 3, true).matchWhole("7"));  // no item: a digit at most
    EXPECT_FALSE(C_WildcardMatcher(w, 3, 3, true).matchWhole("a"));
}

// The matcher against the regular expressions it replaces, over random islands and keys.
TEST(WildcardMatcher, AgreesWithTheRegularExpressions) {
    std::mt19937 rng(20261210);
    const std::string patternKeys = "kmtsaoingr?*0?*25";
    const std::string textKeys = "kmtsaoingrh-25";
    auto pick = [&](const std::string& from, size_t n) {
        std::string s;
        for (size_t i = 0; i < n; ++i)
            s += from[rng() % from.size()];
        return s;
    };
    size_t matched = 0;
    for (int island = 0; island < 300; ++island) {
        std::string keys = pick("kmtsaoing", 1) + pick(patternKeys, 1 + rng() % 7);
        const std::vector<C_IsleItem> w = buildWildcardItems(keys);
        const auto items = std::span<const C_IsleItem>(w);
        for (size_t from = 0; from < items.size(); ++from) {
            const std::regex all(concatenated(items, from), std::regex::ECMAScript);
            const std::regex nest(nested(items, from, items.size(), true), std::regex::ECMAScript);
            const size_t to = from + rng() % (items.size() - from + 1);
            const std::regex whole(nested(items, from, to, false) + "\\d?",
                                   std::regex::ECMAScript | std::regex::nosubs);
            const C_WildcardMatcher mAll(items, from, items.size(), false);
            const C_WildcardMatcher mNest(items, from, items.size(), true);
            const C_WildcardMatcher mWhole(items, from, to, true);
            for (int t = 0; t < 40; ++t) {
                const std::string text = pick(textKeys, rng() % 10);
                SCOPED_TRACE(keys + " from " + std::to_string(from) + " to " + std::to_string(to) +
                             " over \"" + text + "\"");
                const auto a = regexPrefix(all, text);
                ASSERT_EQ(mAll.matchPrefix(text).has_value(), a.has_value());
                if (a) {
                    EXPECT_EQ(mAll.matchPrefix(text)->length, a->length);
                }
                const auto n = regexPrefix(nest, text);
                size_t seen = 0;
                EXPECT_EQ(mNest.matchPrefix(text, &seen), n);
                // Any text that shares what the matcher looked at gets the same answer.
                if (seen <= text.size()) {
                    const std::string other = text.substr(0, seen) + pick(textKeys, rng() % 4);
                    EXPECT_EQ(mNest.matchPrefix(other), n) << "seen " << seen << " other " << other;
                }
                EXPECT_EQ(mWhole.matchWhole(text), std::regex_match(text, whole));
                matched += n.has_value();
            }
        }
    }
    EXPECT_GT(matched, 500u);  // the random keys do match often enough to compare
}

}  // namespace
}  // namespace kov
