#pragma once
// The dictionary interfaces: what every dictionary (system, user, learning) offers the rest of
// the engine, the category table, the policy that gives dictionaries and learner their log sink
// and limits, and the callback shapes shared by the dictionary implementations.
//
// Dictionaries are stacked: a layer answers a query by passing it to the layer below first and
// then adding its own hits; cats() and logger() are those of the bottom layer.

#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "engine/dict/candidate.h"
#include "engine/dict/isle.h"
#include "qiv/move_only_function.h"

namespace kov {

struct C_RuleElem;  // one element of a weighted rule (engine/dict/rule.h)

// The category table. Category 0 is none, and the parent of a top-level category.
class I_TailoCats {
public:
    virtual ~I_TailoCats() = default;
    // The category's name; empty for 0 and for a number not in the table.
    virtual std::string_view catName(uint8_t cat) const = 0;
    // The parent category; 0 for 0, for a top-level category and for a number not in the table.
    virtual uint8_t parentCat(uint8_t cat) const = 0;
    // True when cat equals ancestor or ancestor is reached by following parentCat (through this
    // interface) from cat; false when 0 is reached first, or after 255 steps (a parent cycle).
    virtual bool isCatUnder(uint8_t cat, uint8_t ancestor) const;
};

// Log sink and the key-array threshold, as the dictionaries use them.
class I_TailoPolicy {
public:
    virtual ~I_TailoPolicy() = default;
    // Levels: 1 failure or skipped step, 2 inconsistency passed over, 3 information, 4 detail.
    virtual void log(int level, std::string_view text) const = 0;
    // Distinct islands that a word reached only through abbreviated syllables must span before
    // the key-array walk offers it.
    virtual size_t karrThreshold() const = 0;
};

// The six limits of the learning dictionary.
enum E_LearnLimit : int {
    MAX_RULES = 0,        // the most rules it keeps
    MAX_VOCS = 1,         // the most key arrays of its table of words of several keys
    MAX_WORDS = 2,        // the most keys of its table of one-key words
    RIPE_RULE_COUNT = 3,  // hit count at which a learned rule ripens
    RIPE_VOC_COUNT = 4,   // approval count at which a word of several keys ripens
    RIPE_WORD_COUNT = 5,  // approval count at which a word of one key ripens
};
inline constexpr int LEARN_LIMIT_COUNT = 6;

class I_LearnPolicy : public I_TailoPolicy {
public:
    virtual uint64_t getLimit(E_LearnLimit kind) const = 0;
};

// Callback shapes of the dictionary interface. A visitor that returns bool returns true to go
// on and false to stop the visit; a visitor that cannot stop a visit returns void.
// Related-choice sink: (position, the related word's candidates, the keys delivered with it).
using FC_RelatedSink =
    std::function<void(size_t, std::span<const C_SemiCandidate>, std::string_view)>;
// The composition unit at an absolute key position; null when there is none.
using FC_UnitAt = std::function<C_CompoUnit*(size_t)>;
// A rule (its elements) and the index of the element the visited candidate fills.
using FC_RuleVisitor = std::function<void(const std::vector<C_RuleElem>&, size_t)>;
// One Tai-lo reading (hyphen-joined syllables with tone marks).
using FC_ReadingSink = std::function<void(std::string_view)>;

// Callback shapes shared inside the dictionary implementations.
// One record of a stored vocabulary list: Han text (empty for a Tai-lo-only record), readings,
// categories, signed weight.
using FC_VocListVisitor =
    std::function<void(std::string_view hanText, std::span<std::string_view> readings,
                       std::span<const uint8_t> cats, char weight)>;
// One stored vocabulary record as the lookups read it (key_lookup.h, karr_walk.h).
struct C_VocRecord {
    std::string_view m_text;                  // Han text; empty for a Tai-lo record
    std::span<const std::string> m_readings;  // the word itself for a Tai-lo record
    std::span<const uint8_t> m_cats;
    float m_weight = 0.0f;
};
using FC_VocRecordVisitor = std::function<void(const C_VocRecord&)>;
// Admits a reading; an empty filter admits everything (a filter, not a visitor: its answer is
// whether the reading is kept).
using FC_ReadingFilter = std_move_only_function<bool(std::string_view reading)>;
// Takes a finished candidate of the key-array walk and the key text delivered with it; the walk
// goes on whatever the sink does with it.
using FC_CandidateSink = std::function<void(const C_Candidate&, std::string_view keyText)>;

class I_RelatedWords {
public:
    virtual ~I_RelatedWords() = default;
    // Walks the key-array words over the island's key positions and calls sink once per word
    // found: position 0, exactly one candidate, and the text the walk yields with it.
    virtual void getRelatedChoices(const C_VisitConsts& consts, const C_StdIsle& isle,
                                   const FC_RelatedSink& sink) const = 0;
};

// A dictionary. Every operation is const and may run on the session thread and the learning
// thread at once.
class I_TailoDB : public I_RelatedWords {
public:
    // The category table the stack was built over.
    virtual const I_TailoCats& cats() const = 0;
    // Adds to the units every word the island's keys can spell (through C_CompoUnit::add).
    virtual void getIslandVocs(const C_VisitConsts& consts, const C_StdIsle& isle,
                               const FC_UnitAt& unitAt) const = 0;
    // Adds every word filed under exactly this key; capital upper-cases each reading's first
    // letter.
    virtual void addKeyVocs(C_CompoUnit& unit, std::string_view key, bool capital) const = 0;
    // Visits each rule filed under any of the categories or their ancestors, once per layer.
    virtual void visitCatRules(std::span<const uint8_t> cats,
                               const FC_RuleVisitor& visit) const = 0;
    // Visits each rule filed under the text with an empty key or with any of the keys.
    virtual void visitWordRules(const std::string& text, const std::vector<std::string>& keys,
                                const FC_RuleVisitor& visit) const = 0;
    // Where the dictionary logs.
    virtual const I_TailoPolicy& logger() const = 0;
    // Calls reading once per Tai-lo reading of a Han word; a layer reports its own readings
    // before those of the layer below.
    virtual void voc2tailos(std::string_view hanWord, const FC_ReadingSink& reading) const = 0;
};

// A dictionary that can tell whether its words changed. Composition keeps the words it looked
// up for the units an edit cannot reach only while the revision of the whole stack stays the
// same; a stack that cannot tell (no revision) is asked again for every unit.
class I_VocRevision {
public:
    virtual ~I_VocRevision() = default;
    // A number that changes whenever a word, reading or key of this layer or of a layer below
    // changes; nullopt when some layer below cannot tell.
    virtual std::optional<uint64_t> vocRevision() const = 0;
};

// The revision of a dictionary stack, nullopt when its top cannot tell.
std::optional<uint64_t> vocRevisionOf(const I_TailoDB& db);

}  // namespace kov
