#pragma once
// The dictionary compiler: turns word lists into a system dictionary ("tailo.tab") and its
// category table ("cats.tab"). Three inputs are read:
//  - the lexicon CSV (tools/dictc/lexicon.h): each word is filed as its Han form and as its
//    Tai-lo spelling;
//  - the news corpus (tools/dictc/corpus.h, the sentences that are not held out): every word
//    with Han text is filed with its number of occurrences, a word the Han line writes in
//    Tai-lo as a Tai-lo word, each Han character with the syllable it is read as in the
//    words whose characters and syllables line up (a "character reading"), and two
//    neighbouring Han words often seen together as one word;
//  - a plain tab-separated list: word, Tai-lo reading, categories, weight (one word a line;
//    empty lines and lines starting with "#" are skipped; categories are names separated by
//    ",", a name "noun/place" is the category place under noun).
// Bad rows are reported with their line number and skipped; what is written is always a file
// the engine reads as meant.
//
// A word of several syllables is filed under its key array in section C (full keys, keys without
// tone digits and initials all reach it through the key-array walk), a word of one syllable under
// its toned key in section A (the island lookups find it there by full keys, keys without tone
// digit and wildcards; in section C the walk would only offer it a second time, and every record
// there costs each walk through its syllable). The lexicon's words and the words of fixed weight
// are also filed under their keys without separators in section B, the exact typed forms; the
// corpus's words and characters are not: composition asks section B only for keys without a tone
// digit, which no such form matches, so they would only lengthen the start-up. A Han word's
// readings go to section D, the most frequent first.
//
// Weights. A word of the tab-separated list keeps the weight it is given. The lexicon's and the
// corpus's words are weighed by their counts when the files are built (C_WeightScale; the
// reasons are in data/README.md): the weight grows with the logarithm of the count, so that a
// frequent word ranks before a rare one of the same keys; every word weighs well above zero, so
// that fewer, longer words score better than the pieces they could be cut into (a closure of n
// candidates keeps n^-0.4 of their mean score); a Tai-lo spelling ranks below the Han forms of
// the same keys unless the corpus writes the word in Tai-lo.

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
// [floor, ceiling], with the constants of the word's kind. The values were chosen by typing
// corpus sentences that the dictionary was not built from (data/README.md).
struct C_WeightScale {
    // Words of two or more syllables, whatever their length; a lexicon word the corpus never has
    // weighs wordBase (a count of 0).
    double m_wordBase = 75.0;
    double m_wordPerLog = 2.0;
    // One-syllable words seen alone: count = occurrences as a word + charShare * occurrences as
    // a character reading.
    double m_oneBase = 77.0;
    double m_onePerLog = 3.0;
    double m_charShare = 0.05;
    // One-syllable words never seen alone (characters of words, lexicon words without a
    // count): count = occurrences as a character reading.
    double m_charBase = 80.0;
    double m_charPerLog = 1.0;
    // How far a Tai-lo spelling stays below the best Han form of the same keys.
    int m_tailoBelow = 5;
    // Weights stay below 100: a closure whose every word scores 100 or more would beat any other
    // outright, whatever the scores.
    int m_floor = 1;
    int m_ceiling = 99;
    // A corpus word that is not in the lexicon is filed when it was seen at least this often.
    uint32_t m_minWordCount = 1;
    // A corpus word that is not in the lexicon and is made of words that are filed themselves
    // (as 臺北的 of 臺北 and 的) is filed only when it was seen more often than this.
    uint32_t m_maxComposedCount = 0;
    // A character reading counts when it was seen at least this often; a syllable's characters
    // are kept up to this many (the most frequent).
    uint32_t m_minCharReading = 2;
    size_t m_charsPerSyllable = 4;
    // Two neighbouring Han words of the corpus seen together at least this often (0: never)
    // are filed as one word of their joined keys, weighed by that count, when they have at most
    // pairMaxSyllables syllables together.
    uint32_t m_minPairCount = 8;
    size_t m_pairMaxSyllables = 4;
};

// What was read from the corpus.
struct C_CorpusSummary {
    size_t m_sentences = 0;
    size_t m_words = 0;       // words filed (Han words and Tai-lo words)
    size_t m_otherWords = 0;  // punctuation, foreign names and words of other scripts, not filed
    C_CorpusSkips m_skips;
};

class C_DictCompiler {
public:
    // Reads a whole input. Returns the number of words filed.
    size_t addLexiconCsv(std::string_view text, std::string_view source);
    size_t addTsv(std::string_view text, std::string_view source);
    // Counts the words and character readings of one part of the corpus (tools/dictc/corpus.h).
    C_CorpusSummary addCorpus(std::string_view hanText, std::string_view tailoText,
                              std::string_view source, E_CorpusPart part = E_CorpusPart::TRAINING);

    // Files one word with a fixed weight. word empty, or itself Tai-lo, makes a Tai-lo record of
    // the reading. REFUSED with the reason for a word that cannot be filed.
    qiv::C_FileError addWord(std::string_view word, std::string_view reading,
                             const std::vector<uint8_t>& cats, int weight);

    // The category number of a path such as "noun/place", created on first use; 0 when the
    // table is full (254 categories).
    uint8_t category(std::string_view path);

    void setWeightScale(const C_WeightScale& scale) { m_scale = scale; }
    const C_WeightScale& weightScale() const { return m_scale; }

    const std::vector<C_Report>& reports() const { return m_reports; }
    const C_CatsWriter& categories() const { return m_cats; }
    // Words filed so far (a word weighed by counts once per key array).
    size_t wordCount() const { return m_words.size() + m_fixedWords; }
    // The words of fixed weight (addWord, addTsv) as filed so far.
    const C_TailoWriter& fixedWords() const { return m_writer; }

    // The system dictionary with every word weighed (the weights follow the counts read so far).
    C_TailoWriter build() const;
    // The category table and its hash (the hash the dictionary is tied to).
    std::string catsBytes() const;
    uint32_t catsHash() const;

    // Writes both files: each is written aside ("<name>.tmp") first, and the old files are
    // replaced only once both are complete; when the second cannot replace its old file, the
    // first is put back, so that a failure leaves the old pair. REFUSED for a dictionary too
    // large for the format; else as writeDictionaryPair.
    qiv::C_FileError writeFiles(const std::filesystem::path& tailoTab,
                                const std::filesystem::path& catsTab) const;

private:
    // A word weighed by its counts: (type 'H' or 'T', word, key array joined by "-").
    using T_WordKey = std::tuple<char, std::string, std::string>;
    struct C_Counted {
        std::vector<std::string> m_keys;
        // Its spellings: the lexicon's (capitals of names included) when the lexicon has the
        // word, else the one spelled from the corpus's keys.
        std::vector<std::string> m_readings;
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
    // Neighbouring Han words: (joined text, joined key array) -> their keys and occurrences.
    std::map<std::pair<std::string, std::string>, std::pair<std::vector<std::string>, uint32_t>>
        m_pairs;
    C_WeightScale m_scale;
    C_CatsWriter m_cats;
    std::vector<C_Report> m_reports;
};

// Writes a dictionary and its category table as C_DictCompiler::writeFiles does: both aside
// first, then the old files replaced, the old category table put back when the dictionary cannot
// replace its old file. NONE, else WRITE with the failure (and, when the old category table
// could not be put back, why), or UNREADABLE when the old category table could not be tested
// or read (then nothing is replaced).
qiv::C_FileError writeDictionaryPair(const std::filesystem::path& tailoTab,
                                     std::string_view tailoBytes,
                                     const std::filesystem::path& catsTab,
                                     std::string_view catsBytes);

}  // namespace kov::dictc
