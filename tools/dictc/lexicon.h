#pragma once
// The lexicon CSV as the dictionary compiler reads it: quoted CSV with a header row, UTF-8 with
// or without a byte-order mark; the Tai-lo of column "KipUnicode" is the reading, the Han-Lo
// text of column "HanLoTaibunKip" the word.
//
// A reading cell may hold alternatives separated by "/":
//  - a "/" with a blank beside it separates whole readings ("tsin tsē / tsin tsuē"); the Han
//    cell then holds one form for all or one form per reading;
//  - a "/" without blanks offers another spelling of the syllables just before it, written out
//    as the same number of syllables just after it: "kóng Tâi-gí/gú" is "kóng Tâi-gí" and
//    "kóng Tâi-gú", "sué/sé-kiat-tsing" is "sué-kiat-tsing" and "sé-kiat-tsing",
//    "Tâi-gí/Tâi-gú" is two whole words. How many syllables an alternative takes is read from
//    the number of Han characters (every reading of the cell must have as many syllables); the
//    alternatives must sound alike, syllable by syllable (the same initial or the same first
//    rime letter). A cell that fits no such reading is taken as whole readings, of which those
//    with as many syllables as the Han word has characters are kept.
// A phrase of several words (blank-separated) is entered word by word, its Han text cut into the
// words' characters when they line up. Stray hyphens at either end of a reading are dropped.

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace kov::dictc {

struct C_Report {
    std::string source;  // file name as given
    size_t line = 0;     // 1-based line where the row starts
    std::string message;
    std::string text() const;  // "<source>:<line>: <message>"
};

// One word of the lexicon: its Han form (empty when the row has none, or it does not line up
// with the syllables of a phrase), its Tai-lo reading and the reading's toned keys.
struct C_LexiconWord {
    std::string m_han;
    std::string m_reading;
    std::vector<std::string> m_keys;
    size_t m_line = 0;
};

// Splits CSV text into rows of fields (RFC 4180 quoting; CR LF or LF line ends). lineOfRow
// gets the 1-based line where each row starts. A quote left open reports false.
bool parseCsv(std::string_view text, std::vector<std::vector<std::string>>& rows,
              std::vector<size_t>& lineOfRow);

// A reading as the tone tables spell it: a letter and a combining mark become the precomposed
// letter where one exists; the dotless U+0131 becomes i, "o" with U+0358 becomes "oo", a
// superscript n "nn", the non-breaking hyphens U+2010 and U+2011 a plain "-", an ideographic
// space a plain one; zero-width spaces go; blanks at either end are trimmed.
std::string normaliseReading(std::string_view reading);

// "" and the toned keys of a reading, or why it is no Tai-lo (a neutral-tone "--" included).
std::string readingKeys(std::string_view reading, std::vector<std::string>& keys);

// True when text is Tai-lo (it converts to at least one toned key).
bool isTailoText(std::string_view text);

// The readings one whole reading with "/" alternatives stands for (see above); syllables is the
// number of characters of the Han word, when it has one. Empty when no reading fits.
std::vector<std::string> expandAlternatives(std::string_view reading,
                                            std::optional<size_t> syllables);

// The words of the lexicon, in row order. Rows that cannot be read are reported and skipped.
std::vector<C_LexiconWord> readLexicon(std::string_view text, std::string_view source,
                                       std::vector<C_Report>& reports);

}  // namespace kov::dictc
