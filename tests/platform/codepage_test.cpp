#include "platform/codepage.h"

#include <gtest/gtest.h>

#include <string>

#include "tests/support/byte_string.h"

using kov::test::bytes;

// Samples on which the Windows conversion and our own stand-ins agree.
TEST(DecodeCodePage, AcceptsValidTextsOfEachPage) {
    struct S_Case {
        unsigned codePage;
        std::string input;
        std::u32string expected;
    } cases[] = {
        {65001, "", U""},
        {65001, "ab", U"ab"},
        {65001, bytes({0xC3, 0xA9, 0xE4, 0xB8, 0xAD, 0xF0, 0x9F, 0x98, 0x80}),
         U"\u00E9\u4E2D\U0001F600"},
        {65001, bytes({0xF4, 0x8F, 0xBF, 0xBF}), U"\U0010FFFF"},
        {65001, bytes({0xEF, 0xBB, 0xBF, 'a'}), U"\uFEFFa"},
        // The default code page is Windows-1252 here and under wine; its undefined bytes
        // become the C1 control of the same value.
        {0, bytes({'a', 0x80, 0x81, 0x8D, 0x9F, 0xE9, 0xFF}),
         U"a\u20AC\u0081\u008D\u0178\u00E9\u00FF"},
        {1252, bytes({0x92, 0x9C}), U"\u2019\u0153"},
        {932, bytes({0x93, 0xFA, 0x96, 0x7B, 'x'}), U"\u65E5\u672Cx"},
        {936, bytes({0xD6, 0xD0, 0xCE, 0xC4}), U"\u4E2D\u6587"},
        {949, bytes({0xC7, 0xD1, 0xB1, 0xDB}), U"\uD55C\uAE00"},
        {950, bytes({0xA4, 0xA4, 0xA4, 0xE5}), U"\u4E2D\u6587"},
    };
    for (const auto& c : cases) {
        std::u32string out = U">";
        EXPECT_TRUE(kov::platform::decodeCodePage(c.codePage, c.input, out)) << c.codePage;
        EXPECT_EQ(out, U">" + c.expected) << c.codePage;
    }
}

TEST(DecodeCodePage, RefusesInvalidCharactersAndLeavesTheOutputAlone) {
    struct S_Case {
        const char* name;
        unsigned codePage;
        std::string input;
    } cases[] = {
        {"truncated", 65001, bytes({'a', 0xE4, 0xB8})},
        {"overlong", 65001, bytes({0xC0, 0x80})},
        {"overlong three bytes", 65001, bytes({0xE0, 0x80, 0xAF})},
        {"surrogate", 65001, bytes({0xED, 0xA0, 0x80})},
        {"above U+10FFFF", 65001, bytes({0xF4, 0x90, 0x80, 0x80})},
        {"stray continuation", 65001, bytes({'a', 0x80})},
        {"bad continuation", 65001, bytes({0xE4, 0x41, 0xAD})},
        {"lead F8", 65001, bytes({0xF8, 0x88, 0x80, 0x80, 0x80})},
        {"lone lead byte", 932, bytes({'a', 0x93})},
        {"no stock page", 951, bytes({'a'})},
        {"UTF-7 with the strict flag", 65000, bytes({'a'})},
    };
    for (const auto& c : cases) {
        std::u32string out = U"keep";
        EXPECT_FALSE(kov::platform::decodeCodePage(c.codePage, c.input, out)) << c.name;
        EXPECT_EQ(out, U"keep") << c.name;
    }
}
