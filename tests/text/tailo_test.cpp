#include "engine/text/tailo.h"

#include <regex>
#include <stdexcept>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "fixtures/tailo_regex.h"
#include "tests/support/printers.h"

namespace kov {
namespace {

using Keys = std::vector<std::string>;
using test::kInitialRegex;
using test::kRimeToneRegex;
using test::kSyllableRegex;
using test::kWildcardQueryRegex;

TEST(TailoTest, ToneTablesHaveSevenLettersForMarkedTones) {
    ASSERT_EQ(kToneLettersLower.size(), 9u);
    ASSERT_EQ(kToneLettersUpper.size(), 9u);
    for (size_t t = 0; t < 9; ++t) {
        const size_t want = (t == 0 || t == 3) ? 0 : 7;
        EXPECT_EQ(kToneLettersLower[t].size(), want) << t;
        EXPECT_EQ(kToneLettersUpper[t].size(), want) << t;
    }
}

TEST(TailoTest, ToLowerAsciiChangesOnlyAsciiCapitals) {
    EXPECT_EQ(toLowerAscii("TsiANN5-\u00C2Z"), "tsiann5-\u00C2z");
    EXPECT_EQ(toLowerAscii(""), "");
}

TEST(TailoTest, EqualsIgnoringAsciiCaseFoldsOnlyAsciiCapitals) {
    struct S_Case {
        std::string_view a, b;
        bool equal;
    } cases[] = {
        {"", "", true},
        {"TsiANN5", "tsiann5", true},
        {"t\u00C2i", "T\u00C2I", true},
        {"t\u00E2i", "t\u00C2i", false},  // a capital outside ASCII stays a different byte
        {"tsi", "tsia", false},
        {"a[", "A{", false},  // '[' and '{' lie next to the letters, not on them
        {"@", "`", false},
        {std::string_view("a\0", 2), std::string_view("A\0", 2), true},
    };
    for (const S_Case& c : cases) {
        EXPECT_EQ(equalsIgnoringAsciiCase(c.a, c.b), c.equal) << c.a << " / " << c.b;
        EXPECT_EQ(equalsIgnoringAsciiCase(c.b, c.a), c.equal) << c.b << " / " << c.a;
    }
}

TEST(TailoTest, SplitGivesTheNonEmptyRunsBetweenDelimiters) {
    struct S_Case {
        std::string text, delimiters;
        Keys runs;
    } cases[] = {
        {"T\u00e2i-u\u00e2n", "-", {"T\u00e2i", "u\u00e2n"}},
        {"--a--b--", "-", {"a", "b"}},
        {"a, b.c;d:e?f!g(h)i j",
         std::string(kTailoSeparators),
         {"a", "b", "c", "d", "e", "f", "g", "h", "i", "j"}},
        {"a\tb", std::string(kTailoSeparators), {"a\tb"}},
        {"", "-", {}},
        {"---", "-", {}},
        {"abc", "", {"abc"}},
    };
    for (const auto& c : cases)
        EXPECT_EQ(split(c.text, c.delimiters), c.runs) << c.text;
}

TEST(TailoTest, VisitSplitWithoutVisitorThrows) {
    EXPECT_THROW(visitSplit("a-b", "-", nullptr), std::bad_function_call);
}

TEST(TailoTest, PlaceToneMark) {
    EXPECT_EQ(placeToneMark("tsa", 2, 1), "ts\u00e1");
    EXPECT_EQ(placeToneMark("TSA", 2, 1), "TS\u00c1");
    EXPECT_EQ(placeToneMark("ng", 0, 7), "n\u030dg");
    EXPECT_EQ(placeToneMark("tsa", 0, 1), "");     // t cannot carry a mark
    EXPECT_EQ(placeToneMark("tsa", 0, 0), "tsa");  // tone 1: unchanged
    EXPECT_EQ(placeToneMark("tsa", 1, 3), "tsa");  // tone 4: unchanged
    EXPECT_THROW(placeToneMark("tsa", 3, 1), std::out_of_range);
    EXPECT_THROW(placeToneMark("", 0, 0), std::out_of_range);
    EXPECT_THROW(placeToneMark("tsa", 2, 9), std::out_of_range);
}

TEST(TailoTest, TonedKeyToTailoPutsTheMarkByVowelOrder) {
    struct S_Case {
        std::string key, tailo;
    } cases[] = {
        {"tsiann5", "tsi\u00e2nn"},
        {"a1", "a"},
        {"a4", "a"},
        {"tsit4", "tsit"},
        {"ng1", "ng"},
        {"hoo5", "h\u00f4o"},     // oo: the first o
        {"hooh8", "ho\u030doh"},  // tone 8 follows the same order
        {"aih8", "a\u030dih"},
        {"kiau2", "ki\u00e1u"},  // a before i and u
        {"kere5", "ker\u00ea"},  // ere: the last e
        {"e7", "\u0113"},
        {"kiu3", "ki\u00f9"},  // i then u: the u
        {"kui3", "ku\u00ec"},  // u then i: the i
        {"bue7", "bu\u0113"},
        {"hong5", "h\u00f4ng"},
        {"sip8", "si\u030dp"},
        {"tsha9", "tsha\u030b"},
        {"o9", "\u0151"},
        {"m2", "\u1e3f"},
        {"hm7", "hm\u0304"},
        {"mh8", "m\u030dh"},
        {"ng5", "n\u0302g"},  // no vowel: the last letter that takes a mark
        {"ngh8", "n\u030dgh"},
        {"nng7", "nn\u0304g"},
        {"ng6", "\u0148g"},
        {"Tsiann5", "Tsi\u00e2nn"},  // capitals take the capital mark
        {"TSIANN5", "TSI\u00c2NN"},
        {"OO2", "\u00d3O"},
        {"A3", "\u00c0"},
        {"NG3", "\u01f8G"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(tonedKey2tailo(c.key), c.tailo) << c.key;
}

TEST(TailoTest, TonedKeyToTailoErrors) {
    struct S_Case {
        std::string key, message;
    } cases[] = {
        {"tsa0", "Unknown tone 0'0'"},   {"tsax", "Unknown tone 72'x'"},
        {"tsa", "Unknown tone 49'a'"},   {"", "Invalid word keys \"\""},
        {"8", "Invalid word keys \"\""}, {"tsh5", "Invalid word keys \"tsh\""},
    };
    for (const auto& c : cases) {
        try {
            tonedKey2tailo(c.key);
            ADD_FAILURE() << c.key << " did not throw";
        } catch (const std::runtime_error& e) {
            EXPECT_EQ(std::string(e.what()), c.message) << c.key;
        }
    }
}

TEST(TailoTest, UntoneSyllableConvertsTheFirstMarkOfOneTable) {
    EXPECT_EQ(untoneSyllable("tsi\u00e2nn", false), "tsiann5");
    EXPECT_EQ(untoneSyllable("TSI\u00c2NN", true), "TSIaNN5");  // the plain letter is lower case
    EXPECT_EQ(untoneSyllable("TSI\u00c2NN", false), std::nullopt);
    EXPECT_EQ(untoneSyllable("tsiann", false), std::nullopt);
    EXPECT_EQ(untoneSyllable("si\u030dp", false), "sip8");           // digit at the end
    EXPECT_EQ(untoneSyllable("t\u00e0\u00e1", false), "t\u00e0a2");  // tone order, one mark only
}

TEST(TailoTest, TailoToTonedKeys) {
    struct S_Case {
        std::string tailo;
        Keys keys;
    } cases[] = {
        {"", {}},
        {" - ,.;:?!() ", {}},
        {"T\u00e2i-u\u00e2n", {"tai5", "uan5"}},
        {"TSI\u00c2NN", {"tsiann5"}},  // upper table
        {"\u00c2", {"a5"}},
        {"A\u030dh", {"ah8"}},
        {"l\u00ed h\u00f3, l\u00e1n--l\u00e2ng!", {"li2", "ho2", "lan2", "lang5"}},
        {"tsit", {"tsit4"}},
        {"TSIT", {"tsit4"}},
        {"At", {"at4"}},
        {"ta", {"ta1"}},
        {"ah", {"ah4"}},
        {"mh", {"mh4"}},
        {"ngh", {"ngh4"}},  // the g of "ngh" and the r of "rh"
        {"khngh-khngh-ki\u00f2", {"khngh4", "khngh4", "kio3"}},
        {"torh", {"torh4"}},
        {"TORH", {"torh4"}},
        {"hm", {"hm1"}},
        {"ng", {"ng1"}},
        {"tsiann5", {"tsiann5"}},  // a typed tone digit stays
        {"kir7", {"kir7"}},
        {"h\u00f4o-hooh8", {"hoo5", "hooh8"}},
    };
    for (const auto& c : cases) {
        const auto r = tailo2tonedKeys(c.tailo);
        ASSERT_EQ(r.index(), 0u) << c.tailo << ": " << std::get<1>(r).syllable;
        EXPECT_EQ(std::get<0>(r), c.keys) << c.tailo;
    }
}

TEST(TailoTest, TailoToTonedKeysErrors) {
    struct S_Case {
        std::string tailo;
        std::string syllable;
        int code;
    } cases[] = {
        {"h", "h1", 2},                     // no rime
        {"tsa0", "tsa0", 2},                // tone digit 0
        {"kin-H", "H1", 2},                 // the syllable before lower-casing
        {"t\u00e0\u00e1", "t\u00e0a2", 2},  // two marks: the second stays
        {"t\u00c1\u00e0", "t\u00c1a3", 2},  // marks of both tables
        {"t\u00e2i5", "tai55", 2},          // a mark and a digit
        {"tsiannnnnnnnnnnnnnnnn", "tsiannnnnnnnnnnnnnnnn1", 2},
        {"tsit \u4e2d", "\u4e2d", 1},           // not Latin, no mark
        {"a\u0301", "a\u0301", 1},              // decomposed acute is no table entry
        {"\u0131\u030dt", "\u0131\u030dt", 1},  // dotless i
    };
    for (const auto& c : cases) {
        const auto r = tailo2tonedKeys(c.tailo);
        ASSERT_EQ(r.index(), 1u) << c.tailo;
        EXPECT_EQ(std::get<1>(r).syllable, c.syllable) << c.tailo;
        EXPECT_EQ(std::get<1>(r).code, c.code) << c.tailo;
    }
}

TEST(TailoTest, EveryTableLetterRoundTrips) {
    // Each marked letter, read back, gives its plain letter and tone, whatever its case; the
    // nasals stand in the syllables hm and hng.
    const std::string letters = "aeioumn";
    for (size_t t = 0; t < 9; ++t) {
        for (size_t i = 0; i < kToneLettersLower[t].size(); ++i) {
            const char letter = letters[i];
            const std::string before = letter == 'm' || letter == 'n' ? "h" : "";
            const std::string after = letter == 'n' ? "g" : "";
            const std::string key = before + letter + after + std::to_string(t + 1);
            const std::string lower = before + kToneLettersLower[t][i] + after;
            const std::string upper = toLowerAscii(before) + kToneLettersUpper[t][i] + after;
            EXPECT_EQ(tailo2tonedKeys(lower), C_TonedKeysResult(Keys{key})) << key;
            EXPECT_EQ(tailo2tonedKeys(upper), C_TonedKeysResult(Keys{key})) << key;
            EXPECT_EQ(tonedKey2tailo(key), lower) << key;
        }
    }
}

TEST(TailoTest, SyllableRegexes) {
    auto full = [](const std::regex& re, const char* s) { return std::regex_match(s, re); };
    for (const char* s : {"iann5", "ng1", "mh4", "m2", "ere5", "uainnh8", "ir7"})
        EXPECT_TRUE(full(kRimeToneRegex, s)) << s;
    for (const char* s : {"iann", "x1", "tsa5", "a"})
        EXPECT_FALSE(full(kRimeToneRegex, s)) << s;

    for (const char* s : {"ts?a", "ts?", "tsa*", "a?", "ts*a*ng5", "k?"})
        EXPECT_TRUE(full(kWildcardQueryRegex, s)) << s;
    for (const char* s : {"?a", "*", "tsa", "ts?a5x"})
        EXPECT_FALSE(full(kWildcardQueryRegex, s)) << s;

    std::smatch m;
    const std::string tsiann = "tsiann5";
    ASSERT_TRUE(std::regex_match(tsiann, m, kSyllableRegex));
    EXPECT_EQ(m[1].str(), "ts");
    EXPECT_EQ(m[2].str(), "iann");
    const std::string ngh = "ngh";
    ASSERT_TRUE(std::regex_match(ngh, m, kSyllableRegex));
    EXPECT_FALSE(m[1].matched);
    EXPECT_EQ(m[2].str(), "ngh");

    for (const char* s : {"tsh", "ts", "ng", "k", "ph"})
        EXPECT_TRUE(full(kInitialRegex, s)) << s;
    for (const char* s : {"tsa", "a", "x", ""})
        EXPECT_FALSE(full(kInitialRegex, s)) << s;
}

}  // namespace
}  // namespace kov
