#pragma once
// The bundled lexicon as the tests read it: each CSV line of data/itaigi-lexicon.csv split
// into its fields.

#include <string>
#include <string_view>
#include <vector>

namespace kov::test {

// The lexicon file of the source tree.
std::string lexiconPath();

// One line of the lexicon: as written (without its line end) and split into fields.
struct C_LexiconRow {
    std::string m_line;
    std::vector<std::string> m_fields;
};

// Every line of the lexicon, the header first, without the byte order mark of the file and
// without the "\r" of a line end. Empty when the file cannot be opened.
std::vector<C_LexiconRow> readLexiconRows();

// The fields of one CSV line: commas separate fields, a double-quoted part may hold commas,
// and "" inside quotes stands for one quote.
std::vector<std::string> parseCsvLine(std::string_view line);

}  // namespace kov::test
