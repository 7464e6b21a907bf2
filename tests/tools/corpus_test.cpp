// The news corpus reader: the kinds of words, the fixed split into the sentences the dictionary
// is built from and those held out, and lines that do not pair up.

#include "tools/dictc/corpus.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace kov::dictc {
namespace {

TEST(Corpus, WordsAreSortedByWhatTheirTailoIs) {
    struct C_Case {
        const char* tailo;
        E_CorpusWordKind kind;
        std::vector<std::string> keys;
    };
    const C_Case cases[] = {
        {"tsong2-thong2", E_CorpusWordKind::SYLLABLES, {"tsong2", "thong2"}},
        {"Tshi5-ha7-lian5", E_CorpusWordKind::SYLLABLES, {"tshi5", "ha7", "lian5"}},
        {"kinn1", E_CorpusWordKind::SYLLABLES, {"kinn1"}},
        {"\xEF\xBC\x8C", E_CorpusWordKind::PUNCTUATION, {}},  // full-width comma
        {"(", E_CorpusWordKind::PUNCTUATION, {}},
        {"Obama", E_CorpusWordKind::FOREIGN, {}},
        {"New-York", E_CorpusWordKind::FOREIGN, {}},
        {"Renho7", E_CorpusWordKind::OTHER, {}},      // a digit, but no syllable
        {"kau3-0ah4", E_CorpusWordKind::OTHER, {}},   // neutral-tone mark
        {"1oo7-1too1", E_CorpusWordKind::OTHER, {}},  // loanword marks
        {"sam1-c", E_CorpusWordKind::OTHER, {}},
    };
    for (const C_Case& c : cases) {
        std::vector<std::string> keys{"left over"};
        EXPECT_EQ(classifyCorpusWord(c.tailo, keys), c.kind) << c.tailo;
        EXPECT_EQ(keys, c.keys) << c.tailo;
    }
}

TEST(Corpus, SplitByTheHashOfTheTailoLineStaysFixed) {
    // FNV-1a of the line: these values pin the split, so that the quality report always
    // measures the same sentences.
    EXPECT_TRUE(isHeldOut("a"));
    EXPECT_TRUE(isHeldOut("ka3"));
    EXPECT_FALSE(isHeldOut("ka1"));
    EXPECT_FALSE(isHeldOut("tsong2-thong2 kong2"));
    // The tuning sentences are a tenth of the others, never held-out ones.
    EXPECT_TRUE(isTuning("ka7"));
    EXPECT_FALSE(isTuning("ka1"));
    EXPECT_FALSE(isTuning("ka3"));
    EXPECT_FALSE(isTuning("a"));
}

TEST(Corpus, ReadsAlignedSentencesOfOnePart) {
    const std::string han = "\xEF\xBB\xBF總統 講\r\n甲\n\n一 二\n丙\n丁\n";
    const std::string tailo = "tsong2-thong2 kong2\r\nka3\n\nit4\nka1\nka7\nextra\n";
    struct C_Case {
        E_CorpusPart part;
        std::vector<size_t> lines;
    };
    const C_Case cases[] = {
        {E_CorpusPart::ALL, {1, 2, 5, 6}},
        {E_CorpusPart::TRAINING, {1, 5, 6}},
        {E_CorpusPart::HELD_OUT, {2}},
        {E_CorpusPart::TUNING, {6}},
        {E_CorpusPart::TRAINING_WITHOUT_TUNING, {1, 5}},
    };
    for (const C_Case& c : cases) {
        std::vector<size_t> lines;
        std::vector<std::string> words;
        C_CorpusSkips skips;
        const size_t n = readCorpus(
            han, tailo, c.part,
            [&](const C_CorpusSentence& s) {
                lines.push_back(s.m_line);
                for (const C_CorpusWord& w : s.m_words)
                    words.push_back(std::string(w.m_han) + "=" + std::string(w.m_tailo));
            },
            &skips);
        EXPECT_EQ(n, lines.size());
        EXPECT_EQ(lines, c.lines) << int(c.part);
        EXPECT_EQ(skips.m_misaligned, (std::vector<size_t>{4}));  // two words against one
        EXPECT_EQ(skips.m_unpaired, 1u);                          // "extra" has no Han line
        if (c.part == E_CorpusPart::TRAINING) {
            EXPECT_EQ(words, (std::vector<std::string>{"總統=tsong2-thong2", "講=kong2", "丙=ka1",
                                                       "丁=ka7"}));
        }
    }
}

}  // namespace
}  // namespace kov::dictc
