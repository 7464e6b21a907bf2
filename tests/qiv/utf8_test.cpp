#include "qiv/utf8.h"

#include <gtest/gtest.h>

#include <stdexcept>
#include <string>
#include <thread>

#include "tests/support/byte_string.h"

using kov::test::bytes;

TEST(EncodeUtf8, WritesOneToSixBytesAtEachLengthBoundary) {
    struct S_Case {
        unsigned cp;
        std::string expected;
    } cases[] = {
        {0x0, bytes({0x00})},
        {0x7F, bytes({0x7F})},
        {0x80, bytes({0xC2, 0x80})},
        {0x7FF, bytes({0xDF, 0xBF})},
        {0x800, bytes({0xE0, 0xA0, 0x80})},
        {0x4E2D, bytes({0xE4, 0xB8, 0xAD})},
        {0xD800, bytes({0xED, 0xA0, 0x80})},  // surrogates are not checked
        {0xFFFF, bytes({0xEF, 0xBF, 0xBF})},
        {0x10000, bytes({0xF0, 0x90, 0x80, 0x80})},
        {0x10FFFF, bytes({0xF4, 0x8F, 0xBF, 0xBF})},
        {0x1FFFFF, bytes({0xF7, 0xBF, 0xBF, 0xBF})},
        {0x200000, bytes({0xF8, 0x88, 0x80, 0x80, 0x80})},
        {0x3FFFFFF, bytes({0xFB, 0xBF, 0xBF, 0xBF, 0xBF})},
        {0x4000000, bytes({0xFC, 0x84, 0x80, 0x80, 0x80, 0x80})},
        {0x7FFFFFFF, bytes({0xFD, 0xBF, 0xBF, 0xBF, 0xBF, 0xBF})},
    };
    for (const auto& c : cases) {
        char buf[8] = {};
        const int n = qiv::encodeUtf8(c.cp, buf);
        EXPECT_EQ(std::string(buf, n > 0 ? n : 0), c.expected) << std::hex << c.cp;
        EXPECT_EQ(qiv::u32toutf8(c.cp), c.expected) << std::hex << c.cp;
    }
}

TEST(EncodeUtf8, RefusesCodePointsFromTwoToTheThirtyFirst) {
    char buf[8] = {};
    EXPECT_EQ(qiv::encodeUtf8(0x80000000u, buf), -1);
    EXPECT_EQ(qiv::encodeUtf8(0xFFFFFFFFu, buf), -1);
    try {
        qiv::u32toutf8(0x80000000u);
        FAIL() << "no throw";
    } catch (const std::runtime_error& e) {
        EXPECT_STREQ(e.what(), "u32toutf8(u+80000000) returns -1");
    }
}

TEST(U32ToUtf8, ViewIsPerThreadAndOverwrittenByTheNextCall) {
    std::string_view first = qiv::u32toutf8(0x4E2D);
    EXPECT_EQ(first, bytes({0xE4, 0xB8, 0xAD}));
    std::string other;
    std::thread t([&] { other = std::string(qiv::u32toutf8(0x41)); });
    t.join();
    EXPECT_EQ(other, "A");
    EXPECT_EQ(first, bytes({0xE4, 0xB8, 0xAD}));  // another thread's call leaves ours alone
    std::string_view second = qiv::u32toutf8(0x20AC);
    EXPECT_EQ(first.data(), second.data());
}

TEST(EscapeCodePoint, WritesReadableForms) {
    struct S_Case {
        unsigned cp;
        std::string expected;
    } cases[] = {
        {'a', "a"},
        {' ', " "},
        {'~', "~"},
        {'\\', "\\\\"},
        {'\'', "\\'"},
        {'"', "\\\""},
        {7, "\\a"},
        {8, "\\b"},
        {9, "\\t"},
        {10, "\\n"},
        {11, "\\v"},
        {12, "\\f"},
        {13, "\\r"},
        {0, "\\x00"},
        {6, "\\x06"},
        {14, "\\x0e"},
        {0x1F, "\\x1f"},
        {0x7F, "\\x7f"},
        {0xE9, "\\xe9"},
        {0xFF, "\\xff"},
        {0x100, bytes({0xC4, 0x80})},
        {0x4E2D, bytes({0xE4, 0xB8, 0xAD})},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(qiv::escapeCodePoint(c.cp), c.expected) << c.cp;
        std::string out = "<";
        qiv::appendEscapedCodePoint(c.cp, out);
        EXPECT_EQ(out, "<" + c.expected);
    }
}

TEST(AppendHexByte, WritesTwoLowerCaseDigits) {
    std::string s;
    qiv::appendHexByte(s, 0x0A);
    qiv::appendHexByte(s, 0xFF);
    qiv::appendHexByte(s, 0x1C3);  // only the low 8 bits
    EXPECT_EQ(s, "0affc3");
}
