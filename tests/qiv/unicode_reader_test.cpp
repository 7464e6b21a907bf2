#include "qiv/unicode_reader.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <random>
#include <stdexcept>
#include <string>
#include <vector>

#include "tests/support/byte_string.h"

namespace {

using kov::test::bytes;

// The text decoded whole, or the error code of the reader.
struct S_Result {
    std::string utf8;
    int error = 0;
    unsigned codePage = 0;
};

S_Result readAll(const std::string& input, unsigned codePage = 0) {
    qiv::C_UnicodeReader reader(std::span<const char>(input.data(), input.size()), codePage);
    S_Result r;
    try {
        r.utf8 = qiv::toUtf8(reader);
    } catch (const std::runtime_error&) {
    }
    r.error = reader.error();
    r.codePage = reader.codePage();
    return r;
}

const std::string kHan = bytes({0xE4, 0xB8, 0xAD});         // U+4E2D
const std::string kGrin = bytes({0xF0, 0x9F, 0x98, 0x80});  // U+1F600
const std::string kEAcute = bytes({0xC3, 0xA9});            // U+00E9

}  // namespace

TEST(UnicodeReader, DecodesMarkedAndUnmarkedTexts) {
    struct S_Case {
        const char* name;
        std::string input;
        std::string expected;
        unsigned codePage;  // as the reader reports it afterwards
    } cases[] = {
        {"empty", "", "", 0},
        {"one ASCII byte", "A", "A", 0},
        {"UTF-8 mark", bytes({0xEF, 0xBB, 0xBF}) + "a" + kHan, "a" + kHan, 65001},
        {"UTF-8 mark alone", bytes({0xEF, 0xBB, 0xBF}), "", 65001},
        {"UTF-16LE mark", bytes({0xFF, 0xFE, 'H', 0, 'i', 0}), "Hi", 0},
        {"UTF-16BE mark", bytes({0xFE, 0xFF, 0x4E, 0x2D}), kHan, 0},
        {"UTF-16LE pair", bytes({0xFF, 0xFE, 0x3D, 0xD8, 0x00, 0xDE}), kGrin, 0},
        {"UTF-16BE pair", bytes({0xFE, 0xFF, 0xD8, 0x3D, 0xDE, 0x00}), kGrin, 0},
        {"UTF-32LE mark", bytes({0xFF, 0xFE, 0, 0, 0x00, 0xF6, 0x01, 0}), kGrin, 0},
        {"UTF-32BE mark", bytes({0, 0, 0xFE, 0xFF, 0, 0, 0, 'A'}), "A", 0},
        {"plain ASCII", "hello world", "hello world", 65001},
        {"ASCII with controls", "a\tb\r\nc\n", "a\tb\r\nc\n", 65001},
        {"unmarked UTF-8", kHan + "x" + kEAcute, kHan + "x" + kEAcute, 65001},
        {"unmarked UTF-32LE", bytes({'H', 0, 0, 0, 'i', 0, 0, 0}), "Hi", 0},
        {"unmarked UTF-32BE", bytes({0, 0, 0, 'H', 0, 0, 0x4E, 0x2D}), "H" + kHan, 0},
        // Latin UTF-16 whose length is a multiple of 4 is no UTF-32 text: its words lie
        // beyond U+10FFFF.
        {"unmarked UTF-16LE, 4n bytes", bytes({'H', 0, 'i', 0, '\r', 0, '\n', 0}), "Hi\r\n", 0},
        {"unmarked UTF-16BE", bytes({0, 'H', 0, 'i', 0, ' ', 0, 'y', 0, 'o'}), "Hi yo", 0},
        // Not UTF-8, so the default code page (Windows-1252 here and under wine) takes it.
        {"unmarked 1252", bytes({'c', 'a', 'f', 0xE9, 0x80}),
         "caf" + kEAcute + bytes({0xE2, 0x82, 0xAC}), 0},
    };
    for (const auto& c : cases) {
        const S_Result r = readAll(c.input);
        EXPECT_EQ(r.error, 0) << c.name;
        EXPECT_EQ(r.utf8, c.expected) << c.name;
        EXPECT_EQ(r.codePage, c.codePage) << c.name;
    }
}

TEST(UnicodeReader, ReportsBrokenTextsWithTheirErrorCode) {
    struct S_Case {
        const char* name;
        std::string input;
        unsigned codePage;
        int error;
        std::string decodedBefore;  // what next() yields before the error
    } cases[] = {
        {"one byte above ASCII", bytes({0xE9}), 0, qiv::kTruncatedText, ""},
        {"UTF-16 odd byte", bytes({0xFF, 0xFE, 'a', 0, 'b'}), 0, qiv::kTruncatedText, "a"},
        {"UTF-16 high surrogate at end", bytes({0xFF, 0xFE, 'a', 0, 0x3D, 0xD8}), 0,
         qiv::kTruncatedText, "a"},
        {"UTF-16 high surrogate and one byte", bytes({0xFF, 0xFE, 0x3D, 0xD8, 0x00}), 0,
         qiv::kTruncatedText, ""},
        {"UTF-16 high surrogate without low", bytes({0xFF, 0xFE, 0x3D, 0xD8, 'A', 0}), 0,
         qiv::kUnpairedSurrogate, ""},
        {"UTF-16 lone low surrogate", bytes({0xFE, 0xFF, 0, 'a', 0xDE, 0x00}), 0,
         qiv::kUnpairedSurrogate, "a"},
        {"UTF-32 truncated", bytes({0xFF, 0xFE, 0, 0, 'a', 0, 0, 0, 'b', 0}), 0,
         qiv::kTruncatedText, "a"},
        // No surrogate or value beyond U+10FFFF leaves the reader: UTF-8 has no form for them.
        {"UTF-32LE surrogate", bytes({0xFF, 0xFE, 0, 0, 'a', 0, 0, 0, 0x00, 0xD8, 0, 0}), 0,
         qiv::kInvalidCodePoint, "a"},
        {"UTF-32BE beyond U+10FFFF", bytes({0, 0, 0xFE, 0xFF, 0, 0x11, 0, 0}), 0,
         qiv::kInvalidCodePoint, ""},
        {"UTF-32LE 5-byte value", bytes({0xFF, 0xFE, 0, 0, 0, 0, 0, 0x04}), 0,
         qiv::kInvalidCodePoint, ""},
        {"UTF-8 mark, then invalid", bytes({0xEF, 0xBB, 0xBF, 'a', '\n', 0xC0, 0x80}), 0,
         qiv::kCodePageFailed, "a\n"},
        {"given UTF-8, invalid", bytes({'a', 0xE4, 0xB8}), 65001, qiv::kCodePageFailed, "a"},
        {"given 951", bytes({'x', 0xA4, 0xA4}), 951, qiv::kCodePageFailed, "x"},
        {"given UTF-7", bytes({0xE9, 'a'}), 65000, qiv::kCodePageFailed, ""},
    };
    for (const auto& c : cases) {
        qiv::C_UnicodeReader reader(std::span<const char>(c.input.data(), c.input.size()),
                                    c.codePage);
        std::string before;
        while (auto cp = reader.next())
            before += static_cast<char>(*cp);
        EXPECT_EQ(reader.error(), c.error) << c.name;
        EXPECT_EQ(before, c.decodedBefore) << c.name;
        EXPECT_FALSE(reader.next()) << c.name;  // stays finished
    }
}

TEST(UnicodeReader, ToUtf8ThrowsWithTheErrorCode) {
    const std::string lowSurrogate = bytes({0xFF, 0xFE, 0x00, 0xDC});
    qiv::C_UnicodeReader reader(std::span<const char>(lowSurrogate.data(), lowSurrogate.size()));
    try {
        qiv::toUtf8(reader);
        FAIL() << "no throw";
    } catch (const std::runtime_error& e) {
        EXPECT_STREQ(e.what(), "UTF-8 conversion error -1");
    }

    const std::string truncated = bytes({0xFF, 0xFE, 0x3D, 0xD8});
    qiv::C_UnicodeReader reader2(std::span<const char>(truncated.data(), truncated.size()));
    try {
        qiv::toUtf8(reader2);
        FAIL() << "no throw";
    } catch (const std::runtime_error& e) {
        EXPECT_STREQ(e.what(), "UTF-8 conversion error -2");
    }

    // A marked UTF-32 word that UTF-8 cannot hold at all: the reader stops there.
    const std::string huge = bytes({0xFF, 0xFE, 0, 0, 0, 0, 0, 0x80});
    qiv::C_UnicodeReader reader3(std::span<const char>(huge.data(), huge.size()));
    try {
        qiv::toUtf8(reader3);
        FAIL() << "no throw";
    } catch (const std::runtime_error& e) {
        EXPECT_STREQ(e.what(), "UTF-8 conversion error -4");
    }
}

TEST(UnicodeReader, GivenCodePageDecodesTextsWithoutMark) {
    struct S_Case {
        unsigned codePage;
        std::string input;
        std::string expected;
    } cases[] = {
        {65001, std::string("a") + kHan + std::string("\nb") + kEAcute,
         std::string("a") + kHan + std::string("\nb") + kEAcute},
        {1252, bytes({0xE9}), kEAcute},  // a single byte of a single-byte page is a character
        {1252, bytes({'a', 0xE9, '\n', 0x80}),
         std::string("a") + kEAcute + std::string("\n") + bytes({0xE2, 0x82, 0xAC})},
        {932, bytes({'J', 0x93, 0xFA, 0x96, 0x7B}),
         std::string("J") + bytes({0xE6, 0x97, 0xA5, 0xE6, 0x9C, 0xAC})},
        {936, bytes({0xD6, 0xD0, 0xCE, 0xC4}), kHan + bytes({0xE6, 0x96, 0x87})},
        {949, bytes({0xC7, 0xD1}), bytes({0xED, 0x95, 0x9C})},
        {950, bytes({0xA4, 0xA4}), kHan},
        // A byte-order mark wins over the given code page.
        {932, bytes({0xEF, 0xBB, 0xBF}) + kHan, kHan},
    };
    for (const auto& c : cases) {
        const S_Result r = readAll(c.input, c.codePage);
        EXPECT_EQ(r.error, 0) << c.codePage;
        EXPECT_EQ(r.utf8, c.expected) << c.codePage;
    }
}

// The detection sample is 1000 bytes long. A character that its end cuts in two must not make
// valid UTF-8 fail its trial (and be read as the default code page).
TEST(UnicodeReader, CharacterCutBySampleEndStaysUtf8) {
    struct S_Case {
        std::size_t prefix;
        std::string character;
    } cases[] = {
        {999, kHan},   // the cut leaves E4 in the sample
        {998, kHan},   // E4 B8 in the sample
        {997, kHan},   // the character ends the sample exactly
        {997, kGrin},  // F0 9F 98 in the sample
        {999, kEAcute},
    };
    for (const auto& c : cases) {
        const std::string text = std::string(c.prefix, 'a') + c.character + "x";
        const S_Result r = readAll(text);
        EXPECT_EQ(r.error, 0) << c.prefix;
        EXPECT_EQ(r.codePage, 65001u) << c.prefix;
        EXPECT_EQ(r.utf8, text) << c.prefix;
    }
}

TEST(UnicodeReader, LongTextsAreReadChunkByChunk) {
    std::string text;
    for (int i = 0; i < 400; ++i)
        text += "tsi" + kHan + "\n";
    EXPECT_EQ(readAll(text).utf8, text);
    EXPECT_EQ(readAll(bytes({0xEF, 0xBB, 0xBF}) + text).utf8, text);

    std::string utf16 = bytes({0xFF, 0xFE});
    std::string expected;
    for (int i = 0; i < 700; ++i) {
        utf16 += bytes({0x2D, 0x4E, 0x3D, 0xD8, 0x00, 0xDE});
        expected += kHan + kGrin;
    }
    EXPECT_EQ(readAll(utf16).utf8, expected);
}

TEST(UnicodeReader, ReadsFromAnyByteSource) {
    const std::string text = "a" + kHan;
    std::size_t pos = 0;
    qiv::C_UnicodeReader reader([&]() -> std::optional<char> {
        if (pos == text.size())
            return std::nullopt;
        return text[pos++];
    });
    EXPECT_EQ(reader.next(), std::optional<std::uint32_t>('a'));
    EXPECT_EQ(reader.next(), std::optional<std::uint32_t>(0x4E2D));
    EXPECT_EQ(reader.next(), std::nullopt);
    EXPECT_EQ(reader.error(), 0);

    qiv::C_UnicodeReader none{qiv::C_UnicodeReader::ByteSource()};
    EXPECT_EQ(qiv::toUtf8(none), "");
}

TEST(UnicodeReader, TriesTheCodePagesInTheirOrder) {
    const auto pages = qiv::C_UnicodeReader::detectionCodePages();
    EXPECT_EQ(std::vector<unsigned>(pages.begin(), pages.end()),
              (std::vector<unsigned>{65001, 0, 932, 936, 949, 950, 951, 65000}));
}

// Hostile input: every outcome is a text or an error code, never a read outside the bytes
// (the sanitizer build checks the reads).
TEST(UnicodeReader, RandomBytesNeverEscapeTheirBuffer) {
    std::mt19937 rng(12345);
    const std::string marks[] = {"",
                                 bytes({0xFF, 0xFE}),
                                 bytes({0xFE, 0xFF}),
                                 bytes({0xFF, 0xFE, 0, 0}),
                                 bytes({0, 0, 0xFE, 0xFF}),
                                 bytes({0xEF, 0xBB, 0xBF})};
    const unsigned pages[] = {0, 65001, 932};
    for (int round = 0; round < 600; ++round) {
        std::string input = marks[round % 6];
        const std::size_t len = rng() % (round % 10 == 0 ? 2100 : 40);
        for (std::size_t i = 0; i < len; ++i)
            input += static_cast<char>(round % 3 == 0 ? (rng() % 4 == 0 ? 0 : rng()) : rng());
        qiv::C_UnicodeReader reader(std::span<const char>(input.data(), input.size()),
                                    pages[round % 3]);
        try {
            const std::string out = qiv::toUtf8(reader);
            EXPECT_EQ(reader.error(), 0);
        } catch (const std::runtime_error& e) {
            EXPECT_EQ(std::string(e.what()).rfind("UTF-8 conversion error -", 0), 0u) << e.what();
        }
    }
}
