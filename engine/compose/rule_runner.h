#pragma once
// Runs one weighted rule around one candidate: does the whole rule fit the units before and
// after the candidate, and which candidates fill its elements? When it fits, the weights of the
// elements go into the bonuses of the candidates that filled them and are recorded in the
// snapshot's rule matches (the learner reads them). Finding the rules filed under a candidate
// is the dictionaries' job; composition and the learner call run for each one.

#include <cstddef>
#include <string>
#include <vector>

#include "engine/compose/snapshot.h"
#include "engine/dict/candidate.h"
#include "engine/dict/rule.h"
#include "engine/dict/tailo_db.h"
#include "qiv/move_only_function.h"

namespace kov {

class C_RuleRunner {
public:
    // The runner looks at the snapshot's elements; end bounds the search forward (the caret).
    // The category table and the snapshot outlive the runner. Runs may change bonuses, but no
    // candidate may be added to the units while the runner is in use.
    C_RuleRunner(const I_TailoCats& cats, C_InputLineSnapshot& snapshot, size_t end);
    virtual ~C_RuleRunner() = default;
    C_RuleRunner(const C_RuleRunner&) = delete;
    C_RuleRunner& operator=(const C_RuleRunner&) = delete;

    // True when every element of the rule finds a match, with candidate c (of the unit at
    // start) filling element `anchor`. Only with a non-null matches map are the weights added
    // to the bonuses of the matched candidates (the largest magnitude per candidate), their
    // units marked unsorted and the matches recorded. Throws std::logic_error
    // "Unknown pattern type(1/2): <kind>" (forward) or "(2/2)" (backward) for an element of
    // no known kind.
    bool run(size_t start, C_Candidate& c, const std::vector<C_RuleElem>& rule, size_t anchor,
             C_RuleMatches* matches);

protected:
    // The unit at a position, or null (a no-cross mark, a position past the elements). The
    // learner replaces it with one that offers only the committed winner of each position.
    std_move_only_function<I_CompoUnit*(size_t)> m_unitAt;

private:
    // First position at or after pos that holds a unit; the end when there is none.
    size_t nextUnit(size_t pos) const;
    // pos moved back over the no-cross marks just before it.
    size_t prevUnit(size_t pos) const;
    // The longest span of a candidate the unit lookup offers, found on first use.
    size_t maxSpan();

    const I_TailoCats& m_cats;
    C_InputLineSnapshot& m_snapshot;
    size_t m_end;
    size_t m_maxSpan = 0;
};

// The one-line text of a rule for log messages: elements joined by "/", a gap "#", a word
// "text[count]key" or "text[count]{k1,k2}", a category its name with "[min,max]" when bounded,
// an unknown kind "?(kind)"; a non-zero weight follows as ":%+.3g".
std::string dumpRules(const std::vector<C_RuleElem>& rule, const I_TailoCats& cats);

}  // namespace kov
