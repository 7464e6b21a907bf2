// The user dictionary: the one dictionary that people edit, through the vocabulary commands
// and through promotions from the learning dictionary. This header holds the two editing
// interfaces, the result codes of an edit, the kinds of change told to listeners, and
// C_UserTailoDB with its change listeners, its search caches and its sorted listing.
//
// Not responsible for: queries that compose candidates and the file (C_UserTailoMixin), what a
// listener does with a change (the database source), or the JSON form of a listing.
#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <list>
#include <map>
#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "engine/dict/rule.h"
#include "engine/dict/tailo_db.h"
#include "engine/dict/user_db_layer.h"
#include "engine/dict/voc_table.h"
#include "engine/text/case_folded_string.h"
#include "engine/text/key_pattern.h"
#include "qiv/move_only_function.h"

namespace kov {

// Result of a vocabulary edit.
enum E_UserVocError : int {
    UVE_OK = 0,
    UVE_HANT_IS_TAILO = 1,  // the Han text is itself Tai-lo (it converts to toned keys)
    UVE_NO_SYLLABLE = 2,    // the Tai-lo text yields no syllable key
    UVE_REFUSED = 3,        // the table refused the key or word, or there was no such record
    UVE_NOT_FOUND = 4,      // updateUserVoc found no record for the old pair
    UVE_BAD_WEIGHT = 5,     // the weight is NaN or infinite
    UVE_NON_ASCII = 6,      // a syllable without tone mark holds a character outside ASCII
    UVE_BAD_SYLLABLE = 7,   // a syllable is no toned syllable
    UVE_TAILO_ERROR = 8,    // another Tai-lo-to-keys error
    UVE_EXCEPTION = 9,      // an exception was caught and logged
};

// Kind of a change of the user dictionary, passed to every listener.
enum E_UserTailoChange : int {
    HANT2TAILO_ADDED = 0,
    HANT2TAILO_ERASED = 1,
    VOC_ADDED = 2,
    VOC_ERASED = 3,
    RULE_ADDED = 4,
};

// Under which type and word a (Han text, Tai-lo text) pair is stored.
struct C_HantTailoAttr {
    char type = 0;     // 'H' a Han word, 'T' a Tai-lo word
    std::string text;  // the Han text for 'H', the Tai-lo text for 'T'
};

// 'H' with the Han text when hant is given and differs (ASCII case aside) from tailo, else 'T'
// with the Tai-lo text; UVE_HANT_IS_TAILO when the Han text converts to toned keys itself.
E_UserVocError classifyHantTailo(const std::string& hant, const std::string& tailo,
                                 C_HantTailoAttr& out);

using FC_OneKey = std_move_only_function<bool(const std::string&)>;
using FC_KeyArray = std_move_only_function<bool(const std::vector<std::string>&)>;

// Erasing entries of a user-layer dictionary (the user and the learning dictionary).
class I_UserTailoDbErasor : public virtual I_TailoDB {
public:
    virtual bool eraseHantTailo(const std::string& hant, const std::string& tailo) = 0;
    virtual bool eraseWord(const std::string& key, char type, const std::string& word) = 0;
    virtual bool eraseVoc(const std::vector<std::string>& keys, char type,
                          const std::string& word) = 0;

    // Erases the record of the pair (one key: eraseWord, several: eraseVoc) and, for a Han
    // word, its reading. Called by the vocabulary commands on either dictionary.
    E_UserVocError eraseUserVoc(const std::string& hant, const std::string& tailo,
                                const C_HantTailoAttr& attr);

protected:
    // Converts tailo to toned keys and hands one key to oneKey, several to keyArray; their
    // false answer gives UVE_REFUSED. Conversion errors are logged at level 1.
    E_UserVocError withTailoKeys(std::string_view tailo, FC_OneKey oneKey,
                                 FC_KeyArray keyArray) const;
};

using FC_UserVocVisitor = std_move_only_function<void(const C_TailoVoc&)>;
using FC_UserVocListVisitor = std_move_only_function<void(const C_Bikey& key, const C_TailoVoc& voc,
                                                          const std::vector<std::string>& tailos)>;

// Sort key of the vocabulary listing.
enum E_UserVocOrderBy : uint32_t {
    ORDER_BY_KEYS = 0,         // key text, bytes
    ORDER_BY_KEY_COUNT = 1,    // number of keys
    ORDER_BY_WORD = 2,         // folded word
    ORDER_BY_WORD_LENGTH = 3,  // ideographic description units of the word (0 if ill-formed)
    ORDER_BY_TAILO = 4,        // folded first reading ('T' records: their own word)
    ORDER_BY_WEIGHT = 5,       // weight; NaN after every number
    ORDER_BY_TIME = 6,         // time stamp
};
// The highest order type; a type above it is unknown.
inline constexpr uint32_t kLastUserVocOrder = ORDER_BY_TIME;

struct C_UserVocOrder {
    uint32_t type = ORDER_BY_KEYS;  // E_UserVocOrderBy
    bool descending = false;
    bool operator==(const C_UserVocOrder&) const = default;
};

class I_UserTailoDB : public I_UserTailoDbErasor {
public:
    virtual void addHantTailo(const std::string& hant, const std::string& tailo) = 0;
    virtual bool addKarrToVoc(const std::vector<std::string>& keys, char type,
                              const std::string& word, float weight, std::span<const uint8_t> cats,
                              uint32_t count) = 0;
    virtual bool addKeysToWord(const std::string& key, char type, const std::string& word,
                               float weight, std::span<const uint8_t> cats, uint32_t count) = 0;
    virtual bool addRule(C_RulePtr rule) = 0;
    // The record (type, word) under the keys (one key: keys2words, several: karr2vocs).
    virtual bool findUserVoc(const std::vector<std::string>& keys, char type,
                             const std::string& word, FC_UserVocVisitor visit) const = 0;
    // The number of records that match the search text.
    virtual size_t countUserVocs(std::string_view search) const = 0;
    // Calls visit for the matching records at positions index, index + 1, ... of the list
    // sorted by orders, while positions remain and fewer than count calls were made.
    virtual void visitUserVocs(std::string_view search, std::span<const C_UserVocOrder> orders,
                               size_t index, size_t count, FC_UserVocListVisitor visit) const = 0;

    // Adds the pair: its record under its keys and, for a Han word, the reading.
    E_UserVocError addUserVoc(const std::string& hant, const std::string& tailo,
                              const C_HantTailoAttr& attr, float weight,
                              std::span<const uint8_t> cats, uint32_t count);
    // Replaces the old pair by the new one, keeping weight, categories and count. Refuses a
    // new pair that cannot be stored before anything changes.
    E_UserVocError updateUserVoc(const std::string& hantOld, const std::string& tailoOld,
                                 const std::string& hantNew, const std::string& tailoNew);

protected:
    // Runs an edit made of several table operations as one step: the dictionary's lock is
    // held across it. The default just runs it.
    virtual E_UserVocError runAsOneEdit_(std_move_only_function<E_UserVocError()> edit);
    // Puts back a record that an update erased when the new pair could not be added. The
    // default adds it again through addKeysToWord / addKarrToVoc.
    virtual void restoreUserVoc_(const std::vector<std::string>& keys, const C_TailoVoc& voc);
};

class C_UserTailoDB : public C_UserTailoMixin, public I_UserTailoDB {
public:
    using FC_Listener = std_move_only_function<void(E_UserTailoChange)>;

    C_UserTailoDB(const std::filesystem::path& dbFile, const I_TailoDB& sysDb);
    ~C_UserTailoDB() override;

    bool eraseHantTailo(const std::string& hant, const std::string& tailo) override;
    bool eraseWord(const std::string& key, char type, const std::string& word) override;
    bool eraseVoc(const std::vector<std::string>& keys, char type,
                  const std::string& word) override;
    void addHantTailo(const std::string& hant, const std::string& tailo) override;
    bool addKarrToVoc(const std::vector<std::string>& keys, char type, const std::string& word,
                      float weight, std::span<const uint8_t> cats, uint32_t count) override;
    bool addKeysToWord(const std::string& key, char type, const std::string& word, float weight,
                       std::span<const uint8_t> cats, uint32_t count) override;
    bool addRule(C_RulePtr rule) override;
    bool findUserVoc(const std::vector<std::string>& keys, char type, const std::string& word,
                     FC_UserVocVisitor visit) const override;
    size_t countUserVocs(std::string_view search) const override;
    void visitUserVocs(std::string_view search, std::span<const C_UserVocOrder> orders,
                       size_t index, size_t count, FC_UserVocListVisitor visit) const override;

    // Empties keys2words, karr2vocs and hant2tailo (the rules stay), then tells the listeners
    // VOC_ERASED and HANT2TAILO_ERASED, in that order, for the tables that held anything.
    void clearUserVocs();

    // Listeners are called in registration order, on the changing thread, under the lock of
    // lockTables().
    void addListener(uint64_t id, FC_Listener listener);
    bool removeListener(uint64_t id);

protected:
    E_UserVocError runAsOneEdit_(std_move_only_function<E_UserVocError()> edit) override;
    // Puts the record back with its old stamp.
    void restoreUserVoc_(const std::vector<std::string>& keys, const C_TailoVoc& voc) override;

private:
    // Marks the dictionary dirty, drops the search caches and tells every listener.
    void notifyChange_(E_UserTailoChange kind);
    // Notifies an add that the table took; logs the refusal text of one it did not.
    bool addVoc_(const C_VocTableError& result, std::string_view what);

    // The listing's search caches (user_db_search.cpp): the matching records of each search
    // text, pointing into the tables, with their sorted copies. Made there, and held by a
    // shared_ptr only for the deleter it binds there: the destructor (user_db_edit.cpp) never
    // sees the struct. Nothing else holds it.
    struct C_Listing;
    static std::shared_ptr<C_Listing> newListing_();
    // Drops every search cache; the caller holds the lock.
    void dropSearchCaches_() const;

    struct C_Listener;  // an id and its callable (user_db_edit.cpp)
    std::list<C_Listener> m_listeners;
    const std::shared_ptr<C_Listing> m_listing;
};

}  // namespace kov
