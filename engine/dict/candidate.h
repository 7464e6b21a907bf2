#pragma once
// Candidates and composition units.
//
// A composition unit (C_CompoUnit) is one typed key of the input line; it owns the candidates
// (C_Candidate) that start at its position. The dictionaries add candidates to units, composition
// adds fallbacks, the winner search reads them in ranking order, the rule runner adds bonuses.
// This header fixes the two records, how an added candidate merges with an equal one, and the
// ranking order. It knows nothing of islands, rules or the input line.

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "qiv/move_only_function.h"

namespace kov {

// Where a candidate comes from. The user-layer values are the system values plus 3.
enum E_SourceType : uint8_t {
    ST_RAW_KEY = 0,       // the typed key itself
    ST_SPELLED = 1,       // Tai-lo spelled from tone-numbered typed keys
    ST_SYS_EXACT = 2,     // exact key in the system dictionary
    ST_SYS_WILDCARD = 3,  // wildcard key, or inexact key-array find, in the system dictionary
    ST_SYS_PREFIX = 4,    // toneless key prefix, or exact key-array find, in the system dictionary
    ST_USER_EXACT = 5,    // the same three in a user layer (user or learning dictionary)
    ST_USER_WILDCARD = 6,
    ST_USER_PREFIX = 7,
};

// The user-layer source that stands for a system source (2..4 -> 5..7).
constexpr E_SourceType userSource(E_SourceType sys) noexcept {
    return E_SourceType(uint8_t(sys) + 3);
}

// A candidate's rank: nailed by the user, ordinary, or crossing a no-cross mark (never chosen).
enum E_CandidateRank : uint8_t {
    RANK_NAILED = 0,
    RANK_ORDINARY = 1,
    RANK_CROSSING = 2,
};

// Composition mode of an input line and of a snapshot, reported as "STD", "EZ" and "TAILO".
enum E_CompoMode : uint8_t {
    CM_STD = 0,    // syllables, initials and wildcard patterns
    CM_EZ = 1,     // no dictionary lookup
    CM_TAILO = 2,  // tone-numbered syllables
};

// Mode characters of a word handed to consumers: Han, Tai-lo, raw key, segment (a no-cross mark).
inline constexpr char COMPO_HANT = 'H';
inline constexpr char COMPO_TAILO = 'T';
inline constexpr char COMPO_KEY = 'K';
inline constexpr char COMPO_SEGMENT = 9;

// The reading chosen by the user when the candidate was nailed: an index into the readings.
struct C_ChosenReading {
    uint16_t m_index = 0;
    bool m_set = false;

    bool operator==(const C_ChosenReading&) const = default;
};

// The leading fields of a candidate, as related choices carry them.
struct C_SemiCandidate {
    std::string m_text;
    std::vector<std::string> m_readings;
    C_ChosenReading m_chosenReading;
    uint16_t m_span = 1;   // typed key positions covered
    uint16_t m_count = 0;  // syllables the candidate stands for
    float m_weight = 0.0f;

    // The width that breaks the last tie, as C_Candidate::width() gives it.
    size_t width() const noexcept;
};

// One candidate word or phrase starting at its unit. A plain record; fill it field by field
// (gcc 12 warns about designated initialisers that leave fields out).
struct C_Candidate {
    std::string m_text;                   // UTF-8 as shown; empty for a reading-only candidate
    std::vector<std::string> m_readings;  // Tai-lo readings, in the order they were added
    C_ChosenReading m_chosenReading;
    uint16_t m_span = 1;          // key positions covered, starting at the unit
    uint16_t m_count = 0;         // syllable positions matched over (see the adders)
    float m_weight = 0.0f;        // dictionary weight
    std::vector<uint8_t> m_cats;  // categories, without repeats
    double m_bonus = 0.0;         // sum of the weights of the rules matched last time
    E_SourceType m_source = ST_RAW_KEY;
    E_CandidateRank m_rank = RANK_ORDINARY;

    // Weight widened to double plus bonus: every comparison of scores uses this sum.
    double score() const noexcept { return double(m_weight) + m_bonus; }

    // Same span and byte-equal texts; when both texts are empty the readings must be equal too.
    bool operator==(const C_Candidate& other) const noexcept;

    // Bytes that identify the candidate within its unit: the span as two bytes (low first), the
    // text and a NUL; when the text is empty, each reading followed by a NUL after that.
    std::string key() const;

    // The leading fields, as related choices carry them.
    C_SemiCandidate semi() const;

    // Folds added into existing (an equal candidate): the lower rank; a higher source brings its
    // weight, an equal source a greater weight; new cats and readings are appended in order.
    // Returns true when existing changed.
    static bool merge(C_Candidate& existing, const C_Candidate& added);

    // Ranking order under the island-doctrine flag: true when a goes before b.
    static bool less(const C_Candidate& a, const C_Candidate& b, bool doctrine);

    // The width that breaks the last ranking tie: the byte length of the first reading plus
    // the number of ideographic description sequences of the text.
    size_t width() const noexcept;
};

// How far the lookup of a unit's words read: one past the furthest key position whose key,
// capital or hyphen run it read, and one past the furthest island list.
struct C_LookupReach {
    size_t m_keys = 0;
    size_t m_isles = 0;
};

// How the rule runner and the learner see a unit. The learner has a second implementation
// holding one fixed candidate.
class I_CompoUnit {
public:
    virtual ~I_CompoUnit() = default;

    // True when the unit has no candidates or its first one (as they stand) is a raw key.
    virtual bool noSourcedCandidate() const = 0;

    // Calls f on each candidate as they stand, stopping after the first call that returns false;
    // f may change the candidate in place. An empty f throws std::bad_function_call when there
    // is a candidate to visit.
    virtual void visitCandidates(std_move_only_function<bool(C_Candidate&)>&& f) = 0;
};

// State of a unit between compositions.
enum E_UnitState : uint8_t {
    UNIT_SETTLED = 0,
    UNIT_RECHECK = 1,    // candidates kept, ranked again
    UNIT_RECOMPOSE = 2,  // candidates dropped and looked up again
};

// The candidates of one key position. Candidates are pairwise different under operator==.
// Anyone who changes what the order depends on (rank, bonus, weight) through candidates() or
// visitCandidates() calls markUnsorted().
class C_CompoUnit final : public I_CompoUnit {
public:
    C_CompoUnit() = default;
    explicit C_CompoUnit(char key, bool doctrine = false, bool rawKeyOnly = false,
                         bool fullShape = false) noexcept
        : m_key(key), m_doctrine(doctrine), m_rawKeyOnly(rawKeyOnly), m_fullShape(fullShape) {}

    bool noSourcedCandidate() const override;
    void visitCandidates(std_move_only_function<bool(C_Candidate&)>&& f) override;

    // Adds c, or merges it into an equal candidate; true when the unit changed.
    bool add(const C_Candidate& c);
    // Removes every candidate; the empty unit counts as sorted.
    void clear() noexcept;
    // The candidate at index; null past the end.
    C_Candidate* at(size_t index) noexcept;
    const C_Candidate* at(size_t index) const noexcept;
    // Stable-sorts the candidates by C_Candidate::less under the unit's doctrine flag, when not
    // sorted already.
    void sort();

    size_t size() const noexcept { return m_candidates.size(); }
    bool empty() const noexcept { return m_candidates.empty(); }
    std::span<C_Candidate> candidates() noexcept { return m_candidates; }
    std::span<const C_Candidate> candidates() const noexcept { return m_candidates; }
    // Offset of c from the first candidate, in candidates (negative or >= size() when c does not
    // point into this unit); computed on addresses, valid for any pointer.
    std::ptrdiff_t offsetOf(const C_Candidate* c) const noexcept;

    // --- The dictionaries' words, kept between compositions ---
    //
    // Composition seals a unit right after the dictionaries filled it: the candidates it holds
    // then, in the order they were added. Later steps change only ranks, bonuses and chosen
    // readings, sort the unit and add fallbacks, so restoreLookup() can bring the unit back to
    // the sealed state, exactly as a new lookup would leave it, without asking the dictionaries.
    // pos is the unit's key position at the lookup; reach bounds what the lookup read; basis
    // names the keys and islands it read them from (the composition's number). Sealing fails
    // (and nothing is kept) when a candidate already carries a rank, bonus or chosen reading of
    // its own.
    void sealLookup(size_t pos, C_LookupReach reach, uint64_t basis);
    // Back to the sealed candidates, when the unit was sealed at pos over basis with a lookup
    // that read no key at or past limit.m_keys and no island list at or past limit.m_isles, and
    // nothing merged into a sealed candidate since; the seal then stands for newBasis. False
    // (the unit unchanged) otherwise.
    bool restoreLookup(size_t pos, C_LookupReach limit, uint64_t basis, uint64_t newBasis);
    void unseal() noexcept { m_sealed = false; }
    bool sealed() const noexcept { return m_sealed; }

    char key() const noexcept { return m_key; }
    void setKey(char key) noexcept { m_key = key; }
    bool isSorted() const noexcept { return m_sorted; }
    void markUnsorted() noexcept { m_sorted = false; }
    bool doctrine() const noexcept { return m_doctrine; }
    // Changing the flag changes the order, so the unit becomes unsorted.
    void setDoctrine(bool doctrine) noexcept;
    E_UnitState state() const noexcept { return m_state; }
    void setState(E_UnitState state) noexcept { m_state = state; }
    bool rawKeyOnly() const noexcept { return m_rawKeyOnly; }
    void setRawKeyOnly(bool on) noexcept { m_rawKeyOnly = on; }
    bool fullShape() const noexcept { return m_fullShape; }
    void setFullShape(bool on) noexcept { m_fullShape = on; }

private:
    std::vector<C_Candidate> m_candidates;
    // True when the unit holds its sealed candidates in the order they were added, each with
    // the rank and bonus a lookup gives.
    bool pristineInAddOrder_() const noexcept;
    // Reorders the candidates: slot k takes the one at order[k].
    void permute_(const std::vector<size_t>& order);

    // Per candidate, its place in the order of adding; those at and above m_sealCount came
    // after the seal.
    std::vector<uint32_t> m_addOrder;
    // How the sealed candidates sort (add order per slot) while they hold the rank and bonus a
    // lookup gives: composition sorts the same words again and again. Empty when not known.
    std::vector<size_t> m_pristineOrder;
    bool m_pristineDoctrine = false;
    size_t m_sealPos = 0;
    C_LookupReach m_sealReach;
    uint64_t m_sealBasis = 0;
    uint32_t m_sealCount = 0;
    bool m_sealed = false;
    char m_key = 0;  // as typed, case kept
    bool m_sorted = true;
    bool m_doctrine = false;  // island-doctrine flag handed to the comparator
    E_UnitState m_state = UNIT_SETTLED;
    bool m_rawKeyOnly = false;  // the key is not composed, it stands for itself
    bool m_fullShape = false;   // a raw symbol key is shown full-width
};

}  // namespace kov
