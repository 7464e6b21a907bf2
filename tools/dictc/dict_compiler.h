#pragma once
// The dictionary compiler: turns word lists into a system dictionary ("tailo.tab") and its
// category table ("cats.tab"). Two inputs are read:
//  - the lexicon CSV (quoted CSV with a header row, UTF-8 with or without a byte-order mark):
//    the Tai-lo of column "KipUnicode" is the reading, the Han-Lo text of column
//    "HanLoTaibunKip" the word; a cell may hold several forms separated by "/", and a phrase
//    of several space-separated words is entered word by word;
//  - a plain tab-separated list: word, Tai-lo reading, categories, weight (one word a line;
//    empty lines and lines starting with "#" are skipped; categories are names separated by
//    ",", a name "noun/place" is the category place under noun).
// Bad rows are reported with their line number and skipped; what is written is always a file
// the engine reads as meant.
//
// Every word is filed under its key array in section C (full keys, keys without tone digits
// and initials all reach it through the key-array walk), under its keys without separators in
// section B, and, when it has one syllable, under its toned key in section A. A Han word's
// reading goes to section D. A lexicon word is filed twice: as its Han form and, one weight
// lower, as its Tai-lo spelling.

#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

#include "engine/dict/cats_writer.h"
#include "engine/dict/tailo_writer.h"

namespace kov::dictc {

struct C_Report {
    std::string source;  // file name as given
    size_t line = 0;     // 1-based line where the row starts
    std::string message;
    std::string text() const;  // "<source>:<line>: <message>"
};

class C_DictCompiler {
public:
    // Reads a whole input. Returns the number of words filed.
    size_t addLexiconCsv(std::string_view text, std::string_view source);
    size_t addTsv(std::string_view text, std::string_view source);

    // Files one word. word empty, or itself Tai-lo, makes a Tai-lo record of the reading.
    // Returns "" or why the word was refused.
    std::string addWord(std::string_view word, std::string_view reading, const std::vector<uint8_t>& cats,
                        int weight);

    // The category number of a path such as "noun/place", created on first use; 0 when the
    // table is full (254 categories).
    uint8_t category(std::string_view path);

    const std::vector<C_Report>& reports() const { return m_reports; }
    const C_TailoWriter& writer() const { return m_writer; }
    const C_CatsWriter& categories() const { return m_cats; }

    // The category table and its hash (the hash the dictionary is tied to).
    std::string catsBytes() const;
    uint32_t catsHash() const;
    std::string tailoBytes() const;

    // Writes both files (each through a temporary file and a rename). Returns "" or the failure.
    std::string writeFiles(const std::filesystem::path& tailoTab, const std::filesystem::path& catsTab) const;

private:
    void report_(std::string_view source, size_t line, std::string message);
    size_t addForms_(std::string_view words, std::string_view han, std::string_view source, size_t line);

    C_TailoWriter m_writer;
    C_CatsWriter m_cats;
    std::vector<C_Report> m_reports;
};

// Splits CSV text into rows of fields (RFC 4180 quoting; CR LF or LF line ends). lineOfRow
// gets the 1-based line where each row starts. A quote left open reports false.
bool parseCsv(std::string_view text, std::vector<std::vector<std::string>>& rows, std::vector<size_t>& lineOfRow);

}  // namespace kov::dictc
