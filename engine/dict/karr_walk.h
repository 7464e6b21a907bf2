#pragma once
// The key-array walk: finds the words of a sorted key-array table whose syllables, one after
// another, fit a run of typed islands (each syllable typed in full, by its initial alone, or as
// a wildcard pattern). It serves the island lookups (words that end within the typed keys) and
// the related choices (words that go on beyond them). The walk is written once over an entry
// source (I_KarrEntries), so the system dictionary's section C and a user layer's key-array
// table are walked by the same code. Not responsible for cutting islands or ranking.

#include <cstddef>
#include <cstdint>
#include <map>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <tuple>
#include <vector>

#include "engine/dict/candidate.h"
#include "engine/dict/isle.h"
#include "engine/dict/tailo_db.h"
#include "engine/dict/wildcard_matcher.h"

namespace kov {

// One stored record of a key-array entry as the walk reads it.
using C_KarrRecord = C_VocRecord;
using FC_KarrRecordVisitor = FC_VocRecordVisitor;

// The key order of the tables below: bytes compared unsigned, a prefix first (the order of
// std::string_view's operator<, written out because keys are short and mostly differ early).
inline bool karrKeyLess(std::string_view a, std::string_view b) noexcept {
    const size_t n = a.size() < b.size() ? a.size() : b.size();
    for (size_t j = 0; j < n; ++j)
        if (a[j] != b[j])
            return static_cast<unsigned char>(a[j]) < static_cast<unsigned char>(b[j]);
    return a.size() < b.size();
}

// The words that begin with one syllable an initial typed alone may stand for, and go on past
// it: entries [m_first, m_last) share that syllable and its hyphens (m_afterRun keys); bit
// c - 'a' of m_nextLetters is set when one of them goes on with the letter c.
struct C_KarrInitialBlock {
    size_t m_first = 0;
    size_t m_last = 0;
    size_t m_afterRun = 0;
    uint32_t m_nextLetters = 0;
};
using C_KarrInitialBlocks = std::vector<C_KarrInitialBlock>;

// A table of key arrays ("-"-joined syllable keys) sorted in key order (bytes unsigned, a prefix
// first), each with its vocabulary records.
class I_KarrEntries {
public:
    virtual ~I_KarrEntries() = default;
    virtual size_t karrCount() const = 0;
    // The key array of entry i (i below karrCount()).
    virtual std::string_view karrKey(size_t i) const = 0;
    // The first entry in [first, last) whose key is not less than key; last when none.
    virtual size_t karrLowerBound(size_t first, size_t last, std::string_view key) const;
    // The end of the block that entry i opens or belongs to among [i, last): the first entry
    // whose key is not less than the first length keys of entry i's key followed by '\x7F'.
    // The walk asks it for each word it follows to the next syllable; a table may answer from a
    // precomputed index.
    virtual size_t karrBlockEnd(size_t i, size_t last, size_t length) const;
    // The first entry in [i, last) whose key is not less than the first length keys of entry
    // i's key followed by next, where [i, last) lies in the block of those keys (see above).
    virtual size_t karrNextLowerBound(size_t i, size_t last, size_t length, char next) const;
    // Calls visit once per record of entry i, in stored order.
    virtual void visitKarrRecords(size_t i, const FC_KarrRecordVisitor& visit) const = 0;
    // The blocks of the whole table that the initial's keys begin (findInitialBlocks), when the
    // table keeps them (a table that never changes may); null when it does not, and the walk
    // then goes through the entries one by one.
    virtual const C_KarrInitialBlocks* initialBlocks(std::string_view initial) const;
};

// The blocks of the whole table whose words begin with a syllable that initial (the keys of a
// plain island) stands for, and go on past that syllable; in table order.
C_KarrInitialBlocks findInitialBlocks(const I_KarrEntries& entries, std::string_view initial);

enum E_KarrMode : uint8_t {
    KARR_ISLAND_VOCS = 0,  // words that end within the typed keys
    KARR_RELATED = 1,      // words that go on beyond the typed keys, with their untyped keys
};

// The walk's constant context.
class C_StdKarrVocsRecurseConsts {
public:
    C_StdKarrVocsRecurseConsts(const C_VisitConsts& consts, const C_StdIsle& isle,
                               FC_CandidateSink sink, E_KarrMode mode, size_t threshold,
                               E_SourceType inexactSource = ST_SYS_WILDCARD,
                               E_SourceType exactSource = ST_SYS_PREFIX);

    // The reading checked against the key positions, with the typed capitals carried into it;
    // nullopt when it does not fit them.
    std::optional<std::string> matchTailo(std::string_view tailo,
                                          std::span<const C_IlKeyPos> positions) const;
    // Upper-cases the first letter of each position whose first key was typed upper case.
    void syncTailoCapitals(std::string& tailo, std::span<const C_IlKeyPos> positions) const;

    const C_VisitConsts& m_consts;
    const C_StdIsle& m_isle;  // the island the walk started from
    FC_CandidateSink m_sink;
    E_KarrMode m_mode;
    size_t m_threshold;  // the policy's karrThreshold()
    E_SourceType m_inexactSource;
    E_SourceType m_exactSource;
    // Names the table for what the walk keeps in the visit's memos (see C_VisitConsts::memo),
    // with the table's revision; null when nothing is to be kept.
    const void* m_memoKey = nullptr;
    uint64_t m_memoRevision = 0;

private:
    const C_WildcardMatcher& itemsMatcher_(const C_StdIsle& isle, size_t from, size_t to) const;
    mutable std::map<std::tuple<const C_StdIsle*, size_t, size_t>, C_WildcardMatcher>
        m_matcherCache;
};

// A dictionary word as a candidate: rank ordinary, no bonus, categories without repeats. Throws
// std::runtime_error "Span units too large: <span>" for a span above 65535.
C_Candidate makeVocCandidate(std::string_view text, std::vector<std::string> readings, size_t span,
                             size_t count, float weight, std::span<const uint8_t> cats,
                             E_SourceType source);

// Typed keys [from, to) of the visit, cut at the end of the key string.
std::string_view typedKeys(const C_VisitConsts& consts, size_t from, size_t to);

// The walk's top call: from the island's key offset 0 (kinds 0 and 1) or its item `item`
// (kind 2), over the whole table.
void walkKarrVocs(const I_KarrEntries& entries, const C_StdKarrVocsRecurseConsts& rc,
                  size_t item = 0);

// One level of the walk over the entries [first, last) whose key starts with prefix (the text
// matched by the earlier positions). inexactSoFar tells that an earlier syllable of the word was
// matched inexactly (by its initial, a wildcard, a vowel standing for the syllable, a lone n): a
// word is an exact find only when every one of its syllables was typed in full. Throws
// std::logic_error "Empty word_poses" and "Unknown exts index <kind>".
void getKarrVocs(const I_KarrEntries& entries, const C_StdKarrVocsRecurseConsts& rc, size_t first,
                 size_t last, std::span<const C_IlKeyPos> positions, std::string_view prefix,
                 bool inexactSoFar, bool abbreviation);

}  // namespace kov
