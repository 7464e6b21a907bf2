#include "engine/text/key_pattern.h"

#include <stdexcept>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "engine/text/tailo.h"

namespace kov {
namespace {

using namespace std::string_view_literals;

TEST(KeyPatternTest, MatchKeyPattern) {
    struct S_Case {
        std::string_view pattern, key;
        size_t n;
        bool match;
    } cases[] = {
        {"ts?0", "tsa5", 4, true},
        {"ts?0", "tsa0", 4, false},    // 0 stands for 1 to 9 only
        {"ts?0", "tsa", 4, false},     // past the key's end there is no tone digit
        {"ts?", "ts", 3, false},       // ? needs a character
        {"ts?", "ts\0a"sv, 3, false},  // ... that is not NUL
        {"tsa", "TSA5", 3, true},      // the key is lower-cased
        {"TSA", "tsa5", 3, false},     // the pattern is not
        {"tsa", "tsi5", 2, true},      // only n characters count
        {"", "", 0, true},
        {"tsa", "tse", 3, false},
        {"ts", "ts", 3, true},  // both past their end: NUL against NUL
    };
    for (const auto& c : cases)
        EXPECT_EQ(matchKeyPattern(c.pattern, c.key, c.n), c.match) << c.pattern << " " << c.key;
}

TEST(KeyPatternTest, TailoWordMatcher) {
    struct S_Case {
        std::string pattern;
        bool exact;
        std::string word;
        bool match;
    } cases[] = {
        {"tsa", false, "ts\u00e1", true},  // tsa2: the pattern plus a tone
        {"tsa", false, "tsa", true},       // tsa1
        {"tsa", false, "TS\u00c1", true},
        {"tsa", false, "ts\u00e1-\u00e1", false},  // two syllables
        {"tsa", false, "tsat", false},             // tsat4: one character too many
        {"tsa", false, "\u4e2d", false},           // not Tai-lo
        {"tsa", false, "h", false},                // no valid syllable
        {"tsa", true, "tsa", false},               // exact: the tone is part of the pattern
        {"tsa0", true, "ts\u00e1", true},
        {"tsa2", true, "ts\u00e0", false},
        {"ts?0", true, "ts\u00ea", true},
        {"ts?", false, "ts\u00ea", true},
        {"ts?", false, "tsiann", false},
    };
    for (const auto& c : cases) {
        auto matcher = createTailoWordMatcher(c.pattern, c.exact);
        EXPECT_EQ(matcher(c.word), c.match) << c.pattern << (c.exact ? " exact " : " ") << c.word;
    }
}

TEST(KeyPatternTest, CapitalTailoCapitalisesTheFirstCodePointOnly) {
    struct S_Case {
        std::string tailo, capital;
    } cases[] = {
        {"\u0101", "\u0100"},
        {"tsi\u00e2nn", "Tsi\u00e2nn"},
        {"\u00e2i-\u00e1", "\u00c2i-\u00e1"},
        {"\u01f9g", "\u01f8g"},
        {"\u1e3f", "\u1e3e"},
        {"a\u030dh", "A\u030dh"},
        {"Tsi\u00e2nn", "Tsi\u00e2nn"},
        {"1a", "1a"},
        {"\u4e2d\u6587", "\u4e2d\u6587"},
        {"", ""},
        {"\xFF"
         "ab\xC3",
         "Ab"},  // malformed bytes are dropped
    };
    for (const auto& c : cases)
        EXPECT_EQ(capitalTailo(c.tailo), c.capital) << c.tailo;
}

TEST(KeyPatternTest, CapitalTablesPairEveryMarkedLetterOfTheToneTables) {
    // Every tone-marked letter, precomposed or combined, capitalises to the upper table's entry.
    size_t precomposed = 0;
    for (size_t t = 0; t < 9; ++t) {
        for (size_t i = 0; i < kToneLettersLower[t].size(); ++i) {
            EXPECT_EQ(capitalTailo(kToneLettersLower[t][i]), kToneLettersUpper[t][i])
                << t << " " << i;
            precomposed += kToneLettersLower[t][i].size() > 1 &&
                           static_cast<unsigned char>(kToneLettersLower[t][i][0]) >= 0x80;
        }
    }
    EXPECT_EQ(precomposed, 31u);
    EXPECT_EQ(kCapitalLower[31], 0);
    EXPECT_EQ(kCapitalUpper[31], 0);
    EXPECT_EQ(capitalCodePoint(0x10000 + 0x00E1), 0x10000u + 0x00E1);  // never narrowed
}

TEST(KeyPatternTest, PushUniqueAndJoinKeys) {
    std::vector<std::string> v;
    for (const char* s : {"a1", "b2", "a1", "A1", "b2"})
        pushUnique(v, s);
    EXPECT_EQ(v, (std::vector<std::string>{"a1", "b2", "A1"}));
    EXPECT_EQ(joinKeys(v), "a1-b2-A1");
    EXPECT_EQ(joinKeys(std::vector<std::string>{"tsiann5"}), "tsiann5");
    EXPECT_EQ(joinKeys({}), "");
}

TEST(KeyPatternTest, BikeyText) {
    const std::string key = "tsiann5";
    const std::vector<std::string> keys = {"tai5", "uan5"};
    EXPECT_EQ(bikeyText(&key), "tsiann5");
    EXPECT_EQ(bikeyText(&keys), "tai5-uan5");
    EXPECT_THROW(bikeyText(static_cast<const std::string*>(nullptr)), std::logic_error);
    EXPECT_THROW(bikeyText(static_cast<const std::vector<std::string>*>(nullptr)),
                 std::logic_error);
}

}  // namespace
}  // namespace kov
