#pragma once
// Related choices: after the last word of the input line, the dictionary words whose reading
// goes on from that word's reading (the longer words it begins). The input line fills the cache
// once per composition from the islands where its last word starts; the front end reads the
// choices as lists per list type ('H' Han, 'M' mixed, 'T' Tai-lo) and may insert one, which this
// class turns into the keys to type and the candidates each unit is to be nailed to.
//
// Not here: when the line asks for related choices and how an inserted choice lands on it
// (input_line.h), and the dictionary walk that finds the words (I_RelatedWords).

#include <cstddef>
#include <cstdint>
#include <list>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "engine/compose/mode_status.h"
#include "engine/dict/candidate.h"
#include "engine/dict/isle.h"
#include "engine/dict/tailo_db.h"
#include "qiv/move_only_function.h"

namespace kov {

// One related word: one candidate per unit it will cover (the first continues the last word),
// the keys the dictionary delivered with it (the untyped rest of its key array), the position
// delivered with it, and the reading of the first candidate it stands for.
struct C_RelatedRecord {
    std::vector<C_SemiCandidate> m_candidates;
    std::string m_keyText;
    size_t m_pos = 0;
    uint16_t m_readingIndex = 0;
    bool m_readingFlag = false;  // the record stands for reading m_readingIndex alone
};

// One entry of a list shown to the user.
struct C_RelatedEntry {
    uint16_t m_record = 0;   // index into the cache
    uint16_t m_reading = 0;  // reading index, for a reading entry
    bool m_isReading = false;
    std::string m_text;  // what the entry shows: the part of the word after the last word
};

// Where an inserted related word's candidates go: an absolute position of the input line and
// the candidate the unit there is to be nailed to.
struct C_RelatedPair {
    size_t m_pos = 0;
    C_SemiCandidate m_candidate;
};

// Takes the keys to type and the pairs of an inserted related word.
using FC_ApplyRelated =
    std_move_only_function<void(std::string_view keys, std::span<const C_RelatedPair> pairs)>;

class C_RelatedChoices {
public:
    static constexpr size_t kMaxRecords = 65535;

    C_RelatedChoices(const I_RelatedWords& db, const I_ModeStatus& modeStatus);
    ~C_RelatedChoices();

    C_RelatedChoices(const C_RelatedChoices&) = delete;
    C_RelatedChoices& operator=(const C_RelatedChoices&) = delete;

    // Asks the dictionaries, once per filling, for the words that go on from last over the
    // islands, and keeps those whose reading continues last's reading by exactly the keys the
    // dictionary delivered (and, for a last word without chosen reading, whose text continues
    // its text). position is the caret. Throws std::runtime_error "Too many related choices: <n>"
    // (leaving the cache empty) for more records than kMaxRecords.
    void initCache(const C_VisitConsts& consts, std::span<const C_IslePtr> isles,
                   const C_SemiCandidate& last, size_t position);
    // The list of a list type, built on first use and kept until the cache is emptied; null
    // while the cache is empty. Throws std::logic_error from skipWords for a reading shorter
    // than its candidate's count.
    const std::vector<C_RelatedEntry>* listOf(char type);
    // Hands the keys and pairs of entry index of the type's list to callback (owned copies: the
    // callback may empty this cache). False when there is no such entry. Throws
    // std::runtime_error `tailo2tonedKeys("<r>") returns error <n> with offending tailo "<s>"`
    // for a reading that is no Tai-lo, std::bad_function_call for an empty callback.
    bool apply(char type, size_t index, const FC_ApplyRelated& callback);
    // Empties the cache and the lists.
    void clear() noexcept;

    size_t recordCount() const noexcept { return m_cache.size(); }

    // The rest of a Tai-lo text after its first n words, from the separator after the n-th word
    // on; the whole text for n = 0. Throws std::logic_error `Tailo "<t>" is no more than <n>
    // words (1/2)` when fewer than n words stand in it, "(2/2)" when nothing follows the n-th.
    static std::string skipWords(const std::string& tailo, size_t n);
    // The order of a list: true when a goes first (see the .cpp for the keys). Throws
    // std::out_of_range for an entry whose record is not in the cache.
    bool lessEntry(const C_RelatedEntry& a, const C_RelatedEntry& b) const;

private:
    struct C_List;  // the entries of one list type (related_choices.cpp)

    void addRecord_(C_RelatedRecord record);

    const I_RelatedWords& m_db;
    const I_ModeStatus& m_modeStatus;
    std::vector<C_RelatedRecord> m_cache;
    std::list<C_List> m_lists;
    std::string m_lastText;  // the last word's text; list texts of Han words follow it
    size_t m_position = 0;
    bool m_filled = false;  // the dictionaries were asked since the last clear
};

}  // namespace kov
