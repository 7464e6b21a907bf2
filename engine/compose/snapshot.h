#pragma once
// The composed state of an input line: its elements, the winners chosen over them, the closures
// the winner search found on the way, the rule matches and the composition mode.
//
// The input line is built on a snapshot and composition fills it; a copy is the job the line
// hands to the learner, and the learner builds a naive snapshot from the same elements to see
// what the engine chooses without the user's nails. This header holds the record, its two
// copies, the winner search, the closure comparison and score, and a unit's raw candidate. It
// does not cut islands, ask dictionaries or run rules (see rule_runner.h).

#include <cstddef>
#include <cstdint>
#include <map>
#include <memory>
#include <span>
#include <string>
#include <variant>
#include <vector>

#include "engine/dict/candidate.h"

namespace kov {

// One element per typed key position: a no-cross mark (alternative 0) or an owned unit
// (alternative 1). Units are held by pointer so that units and their candidate buffers stay
// where they are when elements are inserted or erased around them.
using C_LineElement = std::variant<std::monostate, std::unique_ptr<C_CompoUnit>>;

// One chosen word: the unit position and the candidate in that unit; the candidate is null
// exactly where the position holds no unit (a no-cross mark).
struct C_Winner {
    size_t m_start = 0;
    C_Candidate* m_candidate = nullptr;

    bool operator==(const C_Winner&) const = default;
};

// The best closure the winner search found from one position, in key order.
struct C_Closure {
    size_t m_start = 0;
    std::vector<C_Candidate*> m_candidates;
};

// Identity of a candidate in the rule matches: its unit position and C_Candidate::key, ordered
// by position, then key bytes.
struct C_CandidateURL {
    size_t m_pos = 0;
    std::string m_key;

    auto operator<=>(const C_CandidateURL&) const = default;
};

// Identity of one element of one rule: the rule's packed key (ruleKey) and the element index,
// ordered by index first, then key bytes.
struct C_RuleElemURL {
    std::string m_ruleKey;
    size_t m_index = 0;

    bool operator==(const C_RuleElemURL&) const = default;
    bool operator<(const C_RuleElemURL& other) const noexcept {
        if (m_index != other.m_index)
            return m_index < other.m_index;
        return m_ruleKey < other.m_ruleKey;
    }
};

// Per candidate and rule element, the sum of the weights the rule runner recorded.
using C_RuleMatches = std::map<C_CandidateURL, std::map<C_RuleElemURL, float>>;

// Which rule of compareClosures decided.
enum E_CompareCategory : int32_t {
    CMP_SOURCE_LEVEL = 0,
    CMP_STRENGTH = 1,
    CMP_SINGLE = 2,
    CMP_SCORE = 3,
};

// Result of compareClosures: order > 0 when the first closure is better, < 0 when the second
// is, 0 on a tie; d is the score difference when the scores decided, else 0.0.
struct C_CompareResult {
    int32_t m_order = 0;
    int32_t m_category = CMP_SCORE;
    double m_d = 0.0;
};

class C_InputLineSnapshot {
public:
    C_InputLineSnapshot() = default;
    // The naive snapshot: deep copies of the elements with every nail forgotten (rank 1) and
    // every unit unsorted; when a no-cross mark is present, rank 2 for each candidate with a
    // mark strictly inside it. Winners, closures and rule matches start empty.
    C_InputLineSnapshot(std::span<const C_LineElement> elements, E_CompoMode mode);
    // The learner's job: the rule matches, the mode, and deep copies of the elements up to the
    // end of the last winner (all of them when there is none), with winners and closures pointing
    // into the copies. Throws std::logic_error "Invalid candidate index <i> for winner at <p>"
    // for a winner or closure candidate outside its unit, "Unknown variant id <i>" for an element
    // that is neither a mark nor a unit.
    C_InputLineSnapshot(const C_InputLineSnapshot& other);
    C_InputLineSnapshot& operator=(const C_InputLineSnapshot&) = delete;
    C_InputLineSnapshot(C_InputLineSnapshot&&) noexcept = default;
    C_InputLineSnapshot& operator=(C_InputLineSnapshot&&) noexcept = default;
    ~C_InputLineSnapshot() = default;

    // Rebuilds winners and closures over [0, end), end cut to the elements. Sorts the units it
    // reads and gives a unit without a usable candidate its raw candidate. Throws
    // std::logic_error "No closure found for <p>" when a path cannot be extended past p.
    void findWinners(size_t end);

    // Compares closure a with closure b (see E_CompareCategory for the deciding rules); nested
    // is true inside the extension of a path, where a single word no longer beats several.
    // Throws std::logic_error "Null candidate in closure" for a null pointer (here and in
    // scoreSequence).
    static C_CompareResult compareClosures(std::span<C_Candidate* const> a,
                                           std::span<C_Candidate* const> b, bool nested);
    // Closure score: the span-weighted mean score, times n^-0.4 for n != 1 candidates; 0.0 for
    // an empty sequence.
    static double scoreSequence(std::span<C_Candidate* const> sequence);

    // The unit at pos; null for a no-cross mark or a position past the elements.
    C_CompoUnit* unitAt(size_t pos) const noexcept;

    std::vector<C_LineElement> m_elements;
    std::vector<C_Winner> m_winners;    // ascending starts, covering [0, end) after findWinners
    std::vector<C_Closure> m_closures;  // one per closure step of the last winner search
    C_RuleMatches m_ruleMatches;
    E_CompoMode m_mode = CM_STD;

private:
    using C_ClosureMemo = std::map<size_t, std::vector<C_Candidate*>>;
    std::vector<C_Candidate*> findClosure(size_t from, size_t to, C_ClosureMemo& memo, bool nested);
};

// The text a raw key stands for: the key itself; with full shape, the full-width form of a
// symbol key (outside TAILO mode), or of any printable key when raw key only is set too.
std::string rawKeyText(char key, bool fullShape, bool rawKeyOnly, E_CompoMode mode);

// A unit's raw candidate: rawKeyText of its key, span 1, count 0, weight 0, source 0, rank 1.
C_Candidate rawCandidate(const C_CompoUnit& unit, E_CompoMode mode);

// The full-width (CJK) code point of a symbol key, 0 for a key outside the table.
char32_t fullWidthSymbol(char key) noexcept;

}  // namespace kov
