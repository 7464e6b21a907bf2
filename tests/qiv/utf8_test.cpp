#include "qiv/utf8.h"

#include <gtest/gtest.h>

#include <stdexcept>
#include <string>
#include <thread>

#include "platform/codepage.h"
#include "tests/support/byte_string.h"

using kov::test::bytes;

TEST(EncodeUtf8, WritesOneToFourBytesAtEachLengthBoundary) {
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
        {0xD7FF, bytes({0xED, 0x9F, 0xBF})},
        {0xE000, bytes({0xEE, 0x80, 0x80})},
        {0xFFFF, bytes({0xEF, 0xBF, 0xBF})},
        {0x10000, bytes({0xF0, 0x90, 0x80, 0x80})},
        {0x10FFFF, bytes({0xF4, 0x8F, 0xBF, 0xBF})},
    };
    for (const auto& c : cases) {
        char buf[8] = {};
        const int n = qiv::encodeUtf8(c.cp, buf);
        EXPECT_EQ(std::string(buf, n > 0 ? n : 0), c.expected) << std::hex << c.cp;
        EXPECT_EQ(qiv::u32toutf8(c.cp), c.expected) << std::hex << c.cp;
    }
}

TEST(EncodeUtf8, RefusesWhatValidUtf8CannotHold) {
    struct {
        unsigned cp;
        const char* text;
    } const cases[] = {
        {0xD800, "u32toutf8(u+d800) returns -1"},
        {0xDFFF, "u32toutf8(u+dfff) returns -1"},
        {0x110000, "u32toutf8(u+110000) returns -1"},
        {0x1FFFFF, "u32toutf8(u+1fffff) returns -1"},
        {0x7FFFFFFF, "u32toutf8(u+7fffffff) returns -1"},
        {0x80000000u, "u32toutf8(u+80000000) returns -1"},
        {0xFFFFFFFFu, "u32toutf8(u+ffffffff) returns -1"},
    };
    for (const auto& c : cases) {
        char buf[8] = {'x'};
        EXPECT_EQ(qiv::encodeUtf8(c.cp, buf), -1) << std::hex << c.cp;
        EXPECT_EQ(buf[0], 'x');  // nothing written
        try {
            qiv::u32toutf8(c.cp);
            ADD_FAILURE() << "no throw for " << std::hex << c.cp;
        } catch (const std::runtime_error& e) {
            EXPECT_STREQ(e.what(), c.text);
        }
    }
}

// Every value the encoder takes comes out as well-formed UTF-8 of the shortest length, which
// the strict decoder of the platform reads back as the same value.
TEST(EncodeUtf8, EveryScalarValueGivesWellFormedUtf8) {
    std::string all;
    std::u32string want;
    for (unsigned cp = 0; cp < 0x110000; ++cp) {
        char buf[4];
        const int n = qiv::encodeUtf8(cp, buf);
        if (!qiv::isScalarValue(cp)) {
            ASSERT_EQ(n, -1) << std::hex << cp;
            continue;
        }
        ASSERT_EQ(n, cp < 0x80 ? 1 : cp < 0x800 ? 2 : cp < 0x10000 ? 3 : 4) << std::hex << cp;
        all.append(buf, static_cast<size_t>(n));
        want.push_back(static_cast<char32_t>(cp));
    }
    std::u32string decoded;
    ASSERT_TRUE(kov::platform::decodeCodePage(65001, all, decoded));
    EXPECT_TRUE(decoded == want);
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
