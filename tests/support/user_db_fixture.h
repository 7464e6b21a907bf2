#pragma once
// Test helpers for the user-layer dictionaries: "user-db.tab" bytes written field by field from
// a description (on their own, not through the dictionary's save, so that load and save can be
// checked against them), rule records made by hand (so that bad kinds, missing end marks and
// cuts can be made), and a user dictionary over a small system dictionary in a temporary folder.
#include <cstdint>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "engine/dict/user_db.h"
#include "fixtures/tailo_fixture.h"

namespace kov::test {

struct C_UserDbFixture {
    struct C_Rec {
        char type = 'T';
        uint32_t count = 0;
        uint32_t time = 0;
        float weight = 0;
        std::string word;
        std::vector<uint8_t> cats;  // file category indexes
    };
    struct C_Row {
        std::string key;  // one key, or for karr2vocs the keys joined by "-"
        std::vector<C_Rec> recs;
    };
    struct C_HanRow {
        std::string han;
        std::vector<std::string> readings;
    };

    uint32_t mark = 0x0100FEFF;
    // Stored instead of the counts of the lists below, when set.
    std::optional<uint32_t> ncats, nWords, nVocs, nHant, nRules;
    std::vector<std::string> cats;  // file category i + 1 at [i]
    std::vector<C_Row> words;       // keys2words rows, in file order
    std::vector<C_Row> vocs;        // karr2vocs rows, in file order
    std::vector<C_HanRow> hant;     // hant2tailo rows, in file order
    std::vector<std::string> rules; // rule records (see ruleRecord)

    std::string bytes() const;
    // Offset of the first keys2words row (just after the category names).
    size_t rowsAt() const;
};

// Rule record pieces: a word element (kind 1; weight written when not 0), a category element
// (kind 2), a gap (kind 0), and a record of elements with its stamp and end mark.
std::string wordElem(std::string_view text, std::vector<std::string> keys, uint16_t count,
                     float weight);
std::string catElem(uint8_t cat, uint16_t min, uint16_t max, float weight);
std::string gapElem();
std::string ruleRecord(uint32_t count, uint32_t time, std::vector<std::string> elems,
                       bool endMark = true);

// The names of the sample category table ("noun", "place", "city"): the file lists them so.
std::vector<std::string> sampleCatNames();
// A small user dictionary file: one-key words (a 'T' under "ka1" and an 'H' "甲" under "kah4"),
// a two-key Han word "台灣" under "tai5-uan5" with its reading "Tâi-uân", a 'T' word of two
// keys, and one word rule.
C_UserDbFixture sampleUserDb();

// A user dictionary whose tables a test may change directly (to plant what the editing
// operations would refuse).
class C_TestUserDB : public C_UserTailoDB {
public:
    using C_UserTailoDB::C_UserTailoDB;
    C_CandiPool& pool() { return m_candiPool; }
};

// A user dictionary over a system dictionary (from tailoBytes, or an empty one) in a temporary
// folder, with the file "user-db.tab" (written from fileBytes when given, else absent).
class C_UserDbSetup {
public:
    explicit C_UserDbSetup(std::optional<std::string> fileBytes = std::nullopt,
                           std::string_view tailoBytes = {});
    ~C_UserDbSetup();

    std::filesystem::path file() const;
    // Reads the dictionary file (empty when absent).
    std::string fileBytes() const;
    std::string readFile(const std::filesystem::path& path) const;
    // (Re)opens the user dictionary over the file; the previous one is destroyed first (and
    // saves when dirty).
    C_TestUserDB& open();
    void close() { m_db.reset(); }

    C_SystemDictFixture m_sys;
    std::unique_ptr<C_TestUserDB> m_db;
};

}  // namespace kov::test
