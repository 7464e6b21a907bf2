#pragma once
// The lookups that every dictionary layer answers the same way, written once over entry
// sources: the exact key, the one-syllable key with or without its tone (prefix), the wildcard
// pattern, and the island lookup that joins them with the key-array walk (karr_walk.h). The
// system dictionary and each user layer only say how their tables are read (I_KeyEntries for
// the keys, I_KarrEntries for the key arrays) and which source types they give; so the layers
// cannot answer the same keys differently.
//
// Visitors: a visitor that returns bool returns true to go on and false to stop the visit; a
// visitor that cannot stop a visit returns void. Not responsible for: reading files, locking
// (the caller holds whatever its tables need), or merging the layers' answers (C_CompoUnit::add).

#include <cstddef>
#include <cstdint>
#include <functional>
#include <span>
#include <string>
#include <string_view>

#include "engine/dict/candidate.h"
#include "engine/dict/isle.h"
#include "engine/dict/karr_walk.h"
#include "engine/dict/tailo_db.h"
#include "engine/dict/wildcard_matcher.h"

namespace kov {

// One entry of a key table during a scan: its key and its records.
class I_KeyEntry {
public:
    virtual std::string_view key() const = 0;
    // Calls visit once per record, in stored order.
    virtual void visitRecords(const FC_VocRecordVisitor& visit) const = 0;

protected:
    ~I_KeyEntry() = default;
};
// Returns true to go on to the next entry, false to stop the scan.
using FC_KeyEntryVisitor = std::function<bool(const I_KeyEntry&)>;

// A table of keys (one syllable key each, or exact keys) sorted in key order: bytes compared
// unsigned, a prefix first.
class I_KeyEntries {
public:
    virtual ~I_KeyEntries() = default;
    // Calls visit for the entries whose key is not less than from, in key order, until it
    // returns false or the table ends.
    virtual void scanKeys(std::string_view from, const FC_KeyEntryVisitor& visit) const = 0;
    // No key is longer than this (a bound a table may know; longer keys are never looked up).
    virtual size_t longestKey() const { return SIZE_MAX; }
};

// The source types a layer gives its candidates (E_SourceType), and how it joins readings.
struct C_LayerSources {
    E_SourceType m_exact = ST_SYS_EXACT;       // exact keys
    E_SourceType m_inexact = ST_SYS_WILDCARD;  // wildcard keys, inexact key-array words
    E_SourceType m_prefix = ST_SYS_PREFIX;     // toned and toneless syllable keys, exact walks
    // A reading that two records or layers report is kept once per candidate, or as often as
    // reported (the user layers keep the repeats: each layer's reading counts).
    bool m_dropRepeatedReadings = true;
};

// How the records of a found entry become candidates.
struct C_RecordAdd {
    size_t m_span = 0;
    uint16_t m_count = 0;
    bool m_capital = false;  // readings capitalised (the unit's key was typed upper case)
    E_SourceType m_source = ST_RAW_KEY;
    bool m_dropRepeatedReadings = true;
};

// Adds one candidate per record of entry whose readings pass filter (an empty one passes all);
// true when the unit changed. Throws std::runtime_error "Span units too large: <span>" for a
// span above 65535.
bool addEntryRecords(C_CompoUnit& unit, const I_KeyEntry& entry, const C_RecordAdd& how,
                     const FC_ReadingFilter& filter);

// The words filed under exactly key: count 0, span the key's length.
void addExactKeyWords(const I_KeyEntries& entries, const C_LayerSources& sources, C_CompoUnit& unit,
                      std::string_view key, bool capital);

// The one-syllable words of a key: a key ending in a tone digit is looked up exactly; one
// ending in "0" takes the keys equal to it but for any tone digit there; one without a tone
// takes the keys that go on with one tone digit. Count 1, the unit's capital.
void addPrefixWords(const I_KeyEntries& entries, const C_LayerSources& sources, C_CompoUnit& unit,
                    std::string_view key);

// The one-syllable words of the keys that start with prefix and that matcher (the items of a
// wildcard island from one item on, the later ones optional) takes whole but for at most one
// tone digit. A word that the match took g items of spans spans[g - 1]: spans[j] is the
// distance from the first item's start to the start of item j + 1, and the last one to the
// island's end. Count 1, the unit's capital; true when the unit changed.
bool addWildcardWords(const I_KeyEntries& entries, const C_LayerSources& sources, C_CompoUnit& unit,
                      std::span<const size_t> spans, std::string_view prefix,
                      const C_WildcardMatcher& matcher);

// A layer's two tables as the island lookups read them.
class I_LayerTables {
public:
    virtual ~I_LayerTables() = default;
    virtual const I_KeyEntries& syllableKeys() const = 0;
    // The key-array walk of the layer's table from item `item` of the island (0 for the other
    // kinds), offering its words to sink.
    virtual void walkKarr(const C_VisitConsts& consts, const C_StdIsle& isle, size_t item,
                          E_KarrMode mode, const FC_CandidateSink& sink) const = 0;
};

// Adds to the units every word of the layer that the island's keys spell: the key-array words
// that end on a word boundary, the syllable's words (not for a lone n), and per item of a
// wildcard island its walk and its prefix or wildcard words. layer names the layer for
// C_VisitConsts::firstItemLookup. Throws std::runtime_error "Null cu at <pos>" and
// "Null cu_final at <pos>" for a missing unit, std::logic_error "Unknown isle extension id
// <kind>".
void addIslandVocs(const I_LayerTables& tables, const C_LayerSources& sources, const void* layer,
                   const C_VisitConsts& consts, const C_StdIsle& isle, const FC_UnitAt& unitAt);

// The layer's key-array words that go on beyond the island's keys, each as one related choice.
void addRelatedChoices(const I_LayerTables& tables, const C_VisitConsts& consts,
                       const C_StdIsle& isle, const FC_RelatedSink& sink);

}  // namespace kov
