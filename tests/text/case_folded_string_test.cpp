#include "engine/text/case_folded_string.h"

#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "engine/text/tailo.h"

namespace kov {
namespace {

int sign(int v) { return (v > 0) - (v < 0); }

TEST(CaseFoldedStringTest, FoldKeys) {
    struct S_Case {
        std::string text;
        std::vector<uint8_t> keys;
    } cases[] = {
        {"azAZ", {1, 26, 0x81, 0x9A}},
        {"\u00e1\u00c1", {27, 0x80 | 27}},  // first entry of the fold table
        {"\u0171\u0170", {57, 0x80 | 57}},  // last entry
        {"\u01f9\u0148", {27 + 12, 27 + 23}},
        {"a\u030d", {1, 0}},  // a combining mark is no letter
        {"-1 \u4e2d\u00e4", {0, 0, 0, 0, 0}},
        {"t\xFF\xC3\xA2i", {20, 27 + 13, 9}},  // malformed bytes are dropped
    };
    for (const auto& c : cases)
        EXPECT_EQ(C_CaseFoldedString(c.text).foldKeys(), c.keys) << c.text;
}

TEST(CaseFoldedStringTest, EveryMarkedLetterOfTheToneTablesFoldsWithItsCapital) {
    size_t letters = 0;
    for (size_t t = 0; t < 9; ++t) {
        for (size_t i = 0; i < kToneLettersLower[t].size(); ++i) {
            const C_CaseFoldedString lower(kToneLettersLower[t][i]), upper(kToneLettersUpper[t][i]);
            EXPECT_EQ(lower.compare(upper), 0) << t << " " << i;
            if (lower.size() == 1) {
                ++letters;
                EXPECT_GE(lower.foldKeys()[0], 27) << t << " " << i;
                EXPECT_EQ(upper.foldKeys()[0], lower.foldKeys()[0] | 0x80) << t << " " << i;
            }
        }
    }
    EXPECT_EQ(letters, 31u);
}

TEST(CaseFoldedStringTest, CompareIgnoresCaseButNotTones) {
    struct S_Case {
        std::string a, b;
        int sign;
    } cases[] = {
        {"T\u00e2i", "t\u00e2i", 0},
        {"T\u00c2I", "t\u00e2i", 0},
        {"tai", "t\u00e2i", -1},       // plain letters before marked ones
        {"t\u00e1i", "t\u00e0i", -1},  // marked letters by fold-table order: acute first
        {"\u01ce", "\u0101", -1},      // caron before macron
        {"b", "\u00e1", -1},
        {"1a", "a", -1},  // non-letters before letters
        {"-", "a", -1},
        {"a", "ab", -1},  // a proper prefix first
        {"", "", 0},
        {"", "a", -1},
        {"\u4e2d", "\u6587", -1},  // non-letters by code point
        {"\u6587", "\u4e2d", 1},
        {"\U0001F600", "\u4e2d", 1},
        {"a\u030d", "a", 1},
        {"A\u030d", "a\u030d", 0},
    };
    for (const auto& c : cases) {
        const C_CaseFoldedString a(c.a), b(c.b);
        EXPECT_EQ(sign(a.compare(b)), c.sign) << c.a << " / " << c.b;
        EXPECT_EQ(sign(b.compare(a)), -c.sign) << c.b << " / " << c.a;
        EXPECT_EQ(a < b, c.sign < 0) << c.a << " / " << c.b;
    }
}

TEST(CaseFoldedStringTest, StartsWith) {
    struct S_Case {
        std::string text, prefix;
        size_t n;
        bool starts;
    } cases[] = {
        {"T\u00c2I-u\u00e2n", "t\u00e2i", 3, true},
        {"tai-uan", "t\u00e2i", 3, false},
        {"tai", "tax", 2, true},
        {"tai", "", 0, true},
        {"tai", "taiuan", 4, false},  // n beyond this string
        {"taiuan", "tai", 4, false},  // n beyond the prefix
        {"\u4e2d\u6587", "\u4e2d", 1, true},
    };
    for (const auto& c : cases)
        EXPECT_EQ(C_CaseFoldedString(c.text).startsWith(C_CaseFoldedString(c.prefix), c.n),
                  c.starts)
            << c.text << " / " << c.prefix << " " << c.n;
}

TEST(CaseFoldedStringTest, Find) {
    struct S_Case {
        std::string haystack, needle;
        size_t pos;
    } cases[] = {
        {"t\u00e2i", "\u00c2I", 1},
        {"t\u00e2i", "", 0},
        {"", "", std::string::npos},
        {"", "a", std::string::npos},
        {"ab", "abc", std::string::npos},
        {"abcab", "CA", 2},
        {"abcab", "b", 1},
        {"a\u00e1a", "\u00c1", 1},
        {"aaa", "\u00e1", std::string::npos},
        {"x\u4e2dy", "\u4e2dY", 1},
        {"abcabd", "abd", 3},
        {"abcab", "abx", std::string::npos},  // never runs past the end
    };
    for (const auto& c : cases)
        EXPECT_EQ(C_CaseFoldedString(c.haystack).find(C_CaseFoldedString(c.needle)), c.pos)
            << c.haystack << " / " << c.needle;
}

}  // namespace
}  // namespace kov
