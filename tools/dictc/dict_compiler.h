#pragma once
// The dictionary compiler: turns word lists into a system dictionary ("tailo.tab") and its
// category table ("cats.tab"). Three inputs are read:
//  - the lexicon CSV (tools/dictc/lexicon.h): each word is filed as its Han form and as its
//    Tai-lo spelling;
//  - the news corpus (tools/dictc/corpus.h, the sentences that are not held out): every word
//    with Han text is filed with its number of occurrences, a word the Han line writes in
//    Tai-lo as a Tai-lo word, and each Han character with the syllable it is read as in the
//    words whose characters and syllables line up (a "character reading");
//  - a plain tab-separated list: word, Tai-lo reading, categories, weight (one word a line;
//    empty lines and lines starting with "#" are skipped; categories are names separated by
//    ",", a name "noun/place" is the category place under noun).
// Bad rows are reported with their line number and skipped; what is written is always a file
// the engine reads as meant.
//
// Every word is filed under its key array in section C (full keys, keys without tone digits
// and initials all reach it through the key-array walk), under its keys without separators in
// section B, and, when it has one syllable, under its toned key in section A. A Han word's
// readings go to section D, the most frequent first.
//
// Weights. A word of the tab-separated list keeps the weight it is given. The lexicon's and the
// corpus's words are weighed by their counts when the files are built (C_WeightScale; the
// reasons are in data/README.md): the weight grows with the logarithm of the count, so that a
// frequent word ranks before a rare one of the same keys; every word weighs well above zero, so
// that a whole word scores better than the pieces it could be cut into (a closure of n
// candidates keeps n^-0.4 of their mean score); a one-syllable word that stands alone in the
// corpus weighs at least 80, the score at which a one-syllable word typed in full ranks before
// a longer word read from the same keys taken as initials; characters seen only inside words
// weigh less than any word. A Tai-lo spelling ranks below the Han forms of the same keys unless
// the corpus writes the word in Tai-lo.

#include <cstdint>
#include <filesystem>
#include <map>
#include <string>
#include <string_view>
#include <tuple>
#include <vector>

#include "engine/dict/cats_writer.h"
#include "engine/dict/tailo_writer.h"
#include "tools/dictc/corpus.h"
#include "tools/dictc/lexicon.h"

namespace kov::dictc {

// How counts become weights: base + perLog * ln(1 + count), rounded and kept within
// [floor, ceiling], with the constants of the word's kind.
struct C_WeightScale {
    // Words of two or more syllables; a lexicon word the corpus never has starts from lexiconBase.
    double m_wordBase = 40.0;
    double m_wordPerLog = 8.0;
    double m_lexiconBase = 40.0;
    // One-syllable words: count = occurrences as a word + charShare * character readings.
    double m_oneBase = 80.0;
    double m_onePerLog = 3.0;
    double m_charShare = 0.05;
    // One-syllable words never seen alone (characters of words, lexicon words without a count).
    double m_charBase = 30.0;
    double m_charPerLog = 4.0;
    // How far a Tai-lo spelling stays below the best Han form of the same keys.
    int m_tailoBelow = 5;
    int m_floor = 1;
    int m_ceiling = 99;
    // A character reading counts when it was seen at least this often; a syllable's characters
    // are kept up to this many (the most frequent).
    uint32_t m_minCharReading = 2;
    size_t m_charsPerSyllable = 12;
};

// What was read from the corpus.
struct C_CorpusSummary {
    size_t m_sentences = 0;
    size_t m_words = 0;        // words filed (Han words and Tai-lo words)
    size_t m_otherWords = 0;   // punctuation, foreign names and words of other scripts, not filed
    C_CorpusSkips m_skips;
};

class C_DictCompiler {
public:
    // Reads a whole input. Returns the number of words filed.
    size_t addLexiconCsv(std::string_view text, std::string_view source);
    size_t addTsv(std::string_view text, std::string_view source);
    // Counts the words and character readings of one part of the corpus (tools/dictc/corpus.h).
    C_CorpusSummary addCorpus(std::string_view hanText, std::string_view tailoText, std::string_view source,
                              E_CorpusPart part = E_CorpusPart::TRAINING);

    // Files one word with a fixed weight. word empty, or itself Tai-lo, makes a Tai-lo record of
    // the reading. Returns "" or why the word was refused.
    std::string addWord(std::string_view word, std::string_view reading, const std::vector<uint8_t>& cats,
                        int weight);

    // The category number of a path such as "noun/place", created on first use; 0 when the
    // table is full (254 categories).
    uint8_t category(std::string_view path);

    void setWeightScale(const C_WeightScale& scale) { m_scale = scale; }
    const C_WeightScale& weightScale() const { return m_scale; }

    const std::vector<C_Report>& reports() const { return m_reports; }
    const C_CatsWriter& categories() const { return m_cats; }
    // Words filed so far (the same word under the same keys counts once).
    size_t wordCount() const { return m_words.size() + m_fixedWords; }

    // The system dictionary with every word weighed (the weights follow the counts read so far).
    C_TailoWriter build() const;
    // The category table and its hash (the hash the dictionary is tied to).
    std::string catsBytes() const;
    uint32_t catsHash() const;
    std::string tailoBytes() const;

    // Writes both files: each is written aside ("<name>.tmp") first, and the old files are
    // replaced only once both are complete; when the second cannot replace its old file, the
    // first is put back, so that a failure leaves the old pair. Returns "" or the failure.
    std::string writeFiles(const std::filesystem::path& tailoTab, const std::filesystem::path& catsTab) const;

private:
    // A word weighed by its counts: (type 'H' or 'T', word, key array joined by "-").
    using T_WordKey = std::tuple<char, std::string, std::string>;
    struct C_Counted {
        std::vector<std::string> m_keys;
        std::string m_reading;
        uint32_t m_count = 0;      // occurrences as a word in the corpus
        uint32_t m_charCount = 0;  // occurrences as a character reading (one-syllable Han words)
        bool m_lexicon = false;
    };

    void report_(std::string_view source, size_t line, std::string message);
    C_Counted& counted_(char type, const std::string& word, const std::vector<std::string>& keys,
                        const std::string& reading);
    int weightOf_(const T_WordKey& key, const C_Counted& w) const;

    C_TailoWriter m_writer;  // the words of fixed weight
    size_t m_fixedWords = 0;
    std::map<T_WordKey, C_Counted> m_words;
    // Character readings: (character, toned key) -> occurrences.
    std::map<std::pair<std::string, std::string>, uint32_t> m_charReadings;
    C_WeightScale m_scale;
    C_CatsWriter m_cats;
    std::vector<C_Report> m_reports;
};

// Writes a dictionary and its category table as C_DictCompiler::writeFiles does: both aside
// first, then the old files replaced, the old category table put back when the dictionary cannot
// replace its old file. Returns "" or the failure.
std::string writeDictionaryPair(const std::filesystem::path& tailoTab, std::string_view tailoBytes,
                                const std::filesystem::path& catsTab, std::string_view catsBytes);

}  // namespace kov::dictc
