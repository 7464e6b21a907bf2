// The vocabulary tables of the user and learning dictionaries: one record per stored word
// (C_TailoVocT) and the pool of three ordered tables that hold them (C_CandiPool):
//   keys2words  one toned key          -> words of one syllable
//   karr2vocs   two or more toned keys -> words of several syllables
//   hant2tailo  Han word               -> its Tai-lo readings
// plus the usage purges that trim a table to a size limit.
//
// Not responsible for: locking (the owning dictionary holds its recursive mutex around every
// call), the file form of the tables, or telling anyone about a change.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <map>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "engine/dict/usage_stamp.h"
#include "qiv/move_only_function.h"

namespace kov {

// One vocabulary record. A record is identified within its table entry by (type, word).
template <class CatT, class WeightT>
struct C_TailoVocT {
    std::string word;        // Han text for 'H', Tai-lo text for 'T'; never empty once stored
    std::vector<CatT> cats;  // system category indexes, given order, changed only by merging
    WeightT weight = 0;      // only ever raised by a refresh
    char type = 0;           // 'H' Han word, 'T' Tai-lo word
    C_UsageStamp stamp =
        C_UsageStamp::fresh();  // count as the owner keeps it; time of last refresh
};

using C_TailoVoc = C_TailoVocT<unsigned char, float>;

// Result of the add operations: failed with a readable text, or done.
struct C_VocTableError {
    std::string text;
    bool failed = false;
};

class C_CandiPool {
public:
    using Key = std::string;
    using KeyArray = std::vector<std::string>;
    using Vocs = std::vector<C_TailoVoc>;

    // True when category a lies under category b; set by the owner from the category table.
    std::function<bool(uint8_t, uint8_t)> catUnder;
    std::map<std::string, std::vector<std::string>> hant2tailo;
    std::map<Key, Vocs> keys2words;
    std::map<KeyArray, Vocs> karr2vocs;

    // Adds the word under one toned key (lower-cased here), or refreshes the record that is
    // already there. Refuses an empty word, a key that is not one toned syllable, and texts
    // holding a NUL (they could not be stored in the file).
    C_VocTableError add_keys_to_word(const std::string& key, char type, const std::string& word,
                                     float weight, std::span<const uint8_t> cats, uint32_t count);
    // The same for a word of two or more keys, each "[a-z]+\d".
    C_VocTableError add_karray_to_voc(const KeyArray& keys, char type, const std::string& word,
                                      float weight, std::span<const uint8_t> cats, uint32_t count);
    // Appends a reading of a Han word unless it is there already. False when refused: an empty
    // word or reading, or one holding a NUL (the file form could not keep it).
    bool add_hant2tailo(const std::string& hant, const std::string& tailo);

    bool erase_hant2tailo(const std::string& hant, const std::string& tailo);
    bool erase_keys_word(const Key& key, char type, const std::string& word);
    bool erase_karray_voc(const KeyArray& keys, char type, const std::string& word);

    // 0 count lowered, 1 record removed (it had count 0; the entry stays), 2 no such record.
    int disapprove_keys_word(const Key& key, char type, const std::string& word);
    int disapprove_karray_voc(const KeyArray& keys, char type, const std::string& word);

    // Calls visit with each reading of the Han word, in list order; it must not change the pool.
    void visit_tailos_of_hant(std::string_view hant,
                              const std_move_only_function<void(std::string_view)>& visit) const;

    // Trim a table to about limit entries by usage score; return the number of records removed.
    size_t purge_vocs(size_t limit);
    size_t purge_words(size_t limit);

    // Number of records in keys2words and karr2vocs together.
    size_t vocCount() const;
    bool emptyOfVocs() const { return keys2words.empty() && karr2vocs.empty(); }

private:
    bool mergeCats_(std::vector<uint8_t>& stored, std::span<const uint8_t> given) const;
    void addOrRefresh_(Vocs& vocs, char type, const std::string& word, float weight,
                       std::span<const uint8_t> cats, uint32_t count);
};

}  // namespace kov
