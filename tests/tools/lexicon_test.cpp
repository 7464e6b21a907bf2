// The lexicon reader of the dictionary compiler: "/" alternatives inside a reading, stray
// hyphens, the characters the lexicon writes for plain Tai-lo, and the words a row yields.

#include "tools/dictc/lexicon.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

namespace kov::dictc {
namespace {

using T_Readings = std::vector<std::string>;

TEST(Lexicon, SlashOffersAlternativeSyllablesOfTheSameLength) {
    struct C_Case {
        const char* reading;
        std::optional<size_t> chars;
        T_Readings expected;
    };
    const C_Case cases[] = {
        // The last syllable has another spelling (not the whole reading "gú").
        {"kóng Tâi-gí/gú", 3, {"kóng Tâi-gí", "kóng Tâi-gú"}},
        // The first syllable has another spelling; the rest is shared.
        {"sué/sé-kiat-tsing", 3, {"sué-kiat-tsing", "sé-kiat-tsing"}},
        {"guán/gún ē-hiáu liām", 4, {"guán ē-hiáu liām", "gún ē-hiáu liām"}},
        // Two whole words.
        {"Tâi-gí/Tâi-gú", 2, {"Tâi-gí", "Tâi-gú"}},
        {"Tâi-gí/Tâi-gú", std::nullopt, {"Tâi-gí", "Tâi-gú"}},
        // Three spellings of one syllable, and two independent syllables.
        {"ling/ni/lin-pân", 2, {"ling-pân", "ni-pân", "lin-pân"}},
        {"tshê/tshuê-ke/kue-àn-lōo",
         4,
         {"tshê-ke-àn-lōo", "tshê-kue-àn-lōo", "tshuê-ke-àn-lōo", "tshuê-kue-àn-lōo"}},
        {"tē-thâu tshenn/tshinn-soo", 4, {"tē-thâu tshenn-soo", "tē-thâu tshinn-soo"}},
        // Alternatives that do not sound alike, or a reading of another length: only the whole
        // readings as long as the Han word stay; a stray hyphen at the end goes.
        {"kài-hué-tsháu/kài-hé-", 3, {"kài-hué-tsháu"}},
        {"sī siánn-lâng/sī siáng", 3, {"sī siánn-lâng"}},
        {"phàng-kiàn/phàng-kìnn/phah-m̄-kìnn", 3, {"phah-m̄-kìnn"}},
        // No slash: the reading itself, without stray hyphens.
        {"-tsiâ-", 1, {"tsiâ"}},
        {"tsiâ", std::nullopt, {"tsiâ"}},
        // Nothing fits.
        {"tsiâ/", 1, {}},
        {"kah/ka", 3, {}},
    };
    for (const C_Case& c : cases) {
        SCOPED_TRACE(c.reading);
        EXPECT_EQ(expandAlternatives(c.reading, c.chars), c.expected);
    }
}

TEST(Lexicon, NormalisesTheLexiconsOwnSpellings) {
    struct C_Case {
        const char* in;
        const char* out;
    };
    const C_Case cases[] = {
        {"Ta\xCC\x82i-gi\xCC\x81", "Tâi-gí"},                     // combining marks
        {"s\xC4\xB1\xCC\x8Dt", "si̍t"},                            // dotless i under a mark
        {"Ts\xC3\xB4ng\xE2\x80\x91ki\xC3\xA0nn", "Tsông-kiànn"},  // non-breaking hyphen
        {"tshinn-k\xC3\xB4ng  \xE2\x80\x8B", "tshinn-kông"},      // zero-width space
        {"o\xCD\x98-\xC3\xA1", "oo-á"},                           // o with the dot above right
        {"pi\xE2\x81\xBF", "pinn"},                               // superscript n
    };
    for (const C_Case& c : cases)
        EXPECT_EQ(normaliseReading(c.in), c.out) << c.in;
}

TEST(Lexicon, RowsYieldWordsWithTheirHanForms) {
    const std::string csv =
        "\"id\",\"KipUnicode\",\"HanLoTaibunKip\"\n"
        "\"1\",\"kóng Tâi-gí/gú\",\"講台語\"\n"         // a phrase with an alternative syllable
        "\"2\",\"tsin tsē / tsin tsuē\",\"真濟\"\n"     // whole readings, one Han form
        "\"3\",\"lān-moo/ tsi-moo\",\"甲毛/乙毛\"\n"    // whole readings, one Han form each
        "\"4\",\"kài-hué-tsháu/kài-hé-\",\"戒火草\"\n"  // an alternative that does not fit
        "\"5\",\"a/b/c\",\"x/y\"\n";                    // form counts differ: skipped
    std::vector<C_Report> reports;
    const auto words = readLexicon(csv, "lex.csv", reports);
    std::vector<std::string> got;
    for (const C_LexiconWord& w : words)
        got.push_back(w.m_han + "|" + w.m_reading);
    EXPECT_EQ(got,
              (std::vector<std::string>{"講|kóng", "台語|Tâi-gí", "講|kóng", "台語|Tâi-gú",
                                        "真|tsin", "濟|tsē", "真|tsin", "濟|tsuē", "甲毛|lān-moo",
                                        "乙毛|tsi-moo", "戒火草|kài-hué-tsháu"}));
    ASSERT_EQ(reports.size(), 1u);
    EXPECT_EQ(reports[0].line, 6u);
    EXPECT_EQ(words.front().m_keys, (std::vector<std::string>{"kong2"}));
}

TEST(Lexicon, AHanFormWhoseDescriptionLacksOperandsSkipsItsRow) {
    // U+2FF0 takes two operands: alone, or with one, the form has no whole character; one such
    // form among whole readings skips the whole row.
    const std::string csv =
        "\"id\",\"KipUnicode\",\"HanLoTaibunKip\"\n"
        "\"1\",\"tsa\",\"\xE2\xBF\xB0\"\n"
        "\"2\",\"tsa\",\"\xE2\xBF\xB0\xE6\x9C\xA8\"\n"
        "\"3\",\"lîm/ tsa\",\"\xE2\xBF\xB0\xE6\x9C\xA8\xE6\x9C\xA8/\xE2\xBF\xB0\"\n"
        "\"4\",\"lîm\",\"\xE2\xBF\xB0\xE6\x9C\xA8\xE6\x9C\xA8\"\n";  // a whole character
    std::vector<C_Report> reports;
    std::vector<C_LexiconWord> words;
    ASSERT_NO_THROW(words = readLexicon(csv, "lex.csv", reports));
    ASSERT_EQ(words.size(), 1u);
    EXPECT_EQ(words[0].m_han, "\xE2\xBF\xB0\xE6\x9C\xA8\xE6\x9C\xA8");
    EXPECT_EQ(words[0].m_reading, "lîm");
    std::vector<size_t> lines;
    for (const C_Report& r : reports) {
        lines.push_back(r.line);
        EXPECT_NE(r.message.find("description character without its operands"), std::string::npos)
            << r.message;
    }
    EXPECT_EQ(lines, (std::vector<size_t>{2, 3, 4}));
}

}  // namespace
}  // namespace kov::dictc
