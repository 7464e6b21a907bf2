// Learning from one committed line. The engine composes the job's units again by itself (the
// naive snapshot: the same units and bonuses, the user's nails forgotten); where its winners
// differ from the committed ones, the first differing closure gets rules that lift the user's
// words and lower the engine's, or the user's words go into the candidate pool. Every learned
// weight is applied to the naive snapshot at once, so that each generation sees the effect of
// the last, until the two agree or the generation limit is reached. Then come the counting
// steps (learn_vocs.cpp).

#include <algorithm>
#include <charconv>
#include <cmath>
#include <functional>
#include <limits>
#include <set>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

#include "engine/compose/learn_db.h"
#include "engine/compose/learn_words.h"
#include "engine/compose/rule_runner.h"

namespace kov {

namespace {

constexpr int kMaxGenerations = 20;
constexpr double kNoWeight = std::numeric_limits<double>::quiet_NaN();
// A joined word keeps at most this many readings, the first in sorted order.
constexpr size_t kMaxJoinedReadings = 64;

std::string decimal(size_t n) { return std::to_string(n); }

// printf's "%f": fixed notation with six decimals.
std::string fixed6(double value) {
    char buf[512];
    const auto [end, ec] = std::to_chars(buf, buf + sizeof buf, value, std::chars_format::fixed, 6);
    return ec == std::errc() ? std::string(buf, end) : std::string();
}

std::string textOf(const C_Candidate* c) { return c ? c->m_text : std::string("<null>"); }

size_t winnerEnd(const C_Winner& w) {
    return w.m_start + (w.m_candidate ? w.m_candidate->m_span : 1);
}

bool equalWinners(const C_Winner& a, const C_Winner& b) {
    if (a.m_start != b.m_start)
        return false;
    if (!a.m_candidate || !b.m_candidate)
        return !a.m_candidate && !b.m_candidate;
    return *a.m_candidate == *b.m_candidate;
}

size_t closureLength(const C_Closure& record) {
    size_t n = 0;
    for (const C_Candidate* c : record.m_candidates)
        n += c ? c->m_span : 1;
    return n;
}

// A unit as the learner's rule runner sees it: only the winner that starts at its position.
class C_FakeCU final : public I_CompoUnit {
public:
    bool noSourcedCandidate() const override {
        return !m_present || (m_candidate && m_candidate->m_source == ST_RAW_KEY);
    }
    void visitCandidates(std_move_only_function<bool(C_Candidate&)>&& f) override {
        if (m_present && m_candidate)
            f(*m_candidate);
    }

    C_Candidate* m_candidate = nullptr;  // not owned; null where no winner starts
    bool m_present = true;               // false where the element is a no-cross mark
};

// A rule runner over a snapshot whose units offer only its winners, so that a rule is tested
// against the words of the line rather than against every candidate.
class C_RuleRunnerForWinner final : public C_RuleRunner {
public:
    C_RuleRunnerForWinner(const I_TailoCats& cats, C_InputLineSnapshot& snapshot)
        : C_RuleRunner(cats, snapshot, snapshot.m_elements.size()),
          m_units(snapshot.m_elements.size()) {
        for (size_t pos = 0; pos < m_units.size(); ++pos)
            m_units[pos].m_present = snapshot.unitAt(pos) != nullptr;
        for (const C_Winner& w : snapshot.m_winners)
            if (w.m_start < m_units.size())
                m_units[w.m_start].m_candidate = w.m_candidate;
        m_unitAt = [this](size_t pos) -> I_CompoUnit* {
            return pos < m_units.size() && m_units[pos].m_present ? &m_units[pos] : nullptr;
        };
    }
    ~C_RuleRunnerForWinner() override { m_unitAt = nullptr; }

private:
    std::vector<C_FakeCU> m_units;
};

// The winners of a snapshot that start in [start, start + length): their candidates, their
// index range in the winners, the smallest start and the largest end among them (SIZE_MAX and
// 0 when there are none).
struct C_ClosureRange {
    std::vector<C_Candidate*> m_candidates;
    size_t m_begin = 0;
    size_t m_end = 0;
    size_t m_minStart = SIZE_MAX;
    size_t m_maxEnd = 0;

    size_t size() const { return m_end - m_begin; }
};

C_ClosureRange getClosure(const C_InputLineSnapshot& snapshot, size_t start, size_t length) {
    C_ClosureRange out;
    const std::vector<C_Winner>& winners = snapshot.m_winners;
    size_t i = 0;
    while (i < winners.size() && winners[i].m_start < start)
        ++i;
    out.m_begin = out.m_end = i;
    for (; i < winners.size() && winners[i].m_start < start + length; ++i) {
        out.m_candidates.push_back(winners[i].m_candidate);
        out.m_minStart = std::min(out.m_minStart, winners[i].m_start);
        out.m_maxEnd = std::max(out.m_maxEnd, winnerEnd(winners[i]));
        out.m_end = i + 1;
    }
    return out;
}

// The index of the winner that starts at pos within [begin, end), counted from begin; -1 when
// none does.
int findWinnerIndex(const std::vector<C_Winner>& winners, size_t begin, size_t end, size_t pos) {
    for (size_t i = begin; i < end && i < winners.size(); ++i)
        if (winners[i].m_start == pos)
            return int(i - begin);
    return -1;
}

// Mean source level of a closure as the comparison of closures counts it; a raw key makes it
// count as below the user level.
size_t meanSourceLevel(const std::vector<C_Candidate*>& candidates) {
    size_t weighted = 0, spans = 0;
    for (const C_Candidate* c : candidates) {
        if (!c || c->m_source == ST_RAW_KEY)
            return 0;
        weighted += size_t(c->m_source) * c->m_span;
        spans += c->m_span;
    }
    return spans ? weighted / spans : 0;
}

using FC_ApplyWeight = std::function<void(size_t pos, C_Candidate& candidate, float weight)>;

// One closure that receives rules: the rule matches of the job, the winners of its snapshot, the
// closure's range in them, a runner over that snapshot, and where a learned weight goes in the
// naive snapshot.
struct C_LearnContext {
    C_RuleMatches& m_matches;
    std::vector<C_Winner>& m_winners;
    size_t m_begin = 0;
    size_t m_end = 0;
    C_RuleRunner& m_runner;
    FC_ApplyWeight m_apply;
};

// Points a winner at another candidate for as long as it lives.
class C_SlotSwap {
public:
    C_SlotSwap(C_Winner& slot, C_Candidate* candidate) : m_slot(slot), m_saved(slot.m_candidate) {
        slot.m_candidate = candidate;
    }
    ~C_SlotSwap() { m_slot.m_candidate = m_saved; }
    C_SlotSwap(const C_SlotSwap&) = delete;
    C_SlotSwap& operator=(const C_SlotSwap&) = delete;

private:
    C_Winner& m_slot;
    C_Candidate* m_saved;
};

}  // namespace

class C_LearnTailoDB::C_JobLearning {
public:
    C_JobLearning(C_LearnTailoDB& db, C_InputLineSnapshot& job)
        : m_db(db), m_job(job), m_naive(job.m_elements, job.m_mode) {}

    void run();

private:
    enum class E_Step { LEARNED, WALK_ON };
    struct C_Walk {
        bool m_learned = false;
        bool m_mismatch = false;
        size_t m_naiveLeft = 0;
        size_t m_jobLeft = 0;
    };

    C_Walk walk_();
    E_Step sameUnit_(C_LearnContext& a, size_t k, const C_ClosureRange& n, size_t i0, size_t j0);
    void poolClosure_(const C_ClosureRange& q);
    void joinWords_(const C_ClosureRange& n);
    // Adds the candidate's readings to the candidate pool; true when the pool took any.
    bool poolCandidate_(const C_Candidate& c);

    void learnWeight(C_LearnContext& ctx, size_t index, double w, double learned);
    double learnToPR100(C_LearnContext& ctx);
    void addLearnedRule(C_LearnContext& ctx, size_t index, double weight);
    void appendRuleWithCandi(C_Rule& elements, const C_Candidate& candidate);
    // A winner as a rule element: its word; a gap for a no-cross mark and beyond the line.
    void appendWinner(C_Rule& elements, const std::vector<C_Winner>& winners, ptrdiff_t index);

    FC_ApplyWeight mapToNaive_();
    FC_ApplyWeight addToCandidate_();
    void log_(int level, const std::string& text) const { m_db.log_(level, text); }

    C_LearnTailoDB& m_db;
    C_InputLineSnapshot& m_job;
    C_InputLineSnapshot m_naive;
    int m_generation = 0;
};

void C_LearnTailoDB::learnJob(C_InputLineSnapshot& job) { C_JobLearning(*this, job).run(); }

void C_LearnTailoDB::C_JobLearning::run() {
    bool agreed = false;
    for (m_generation = 1;; ++m_generation) {
        if (m_generation > kMaxGenerations) {
            log_(1, "Taking " + decimal(size_t(m_generation)) +
                        " generations  to learn is way too much");
            break;
        }
        m_naive.findWinners(m_naive.m_elements.size());
        const C_Walk walk = walk_();
        if (walk.m_learned)
            continue;
        if (walk.m_mismatch)
            break;
        bool extra = false;
        if (walk.m_naiveLeft < m_naive.m_winners.size()) {
            log_(1, "Naive input line has extra trailing winners");
            extra = true;
        }
        if (walk.m_jobLeft < m_job.m_winners.size()) {
            log_(1, "Snapshot input line has extra trailing winners");
            extra = true;
        }
        agreed = !extra && m_generation == 1;
        break;
    }
    const auto lock = m_db.lockTables_();
    if (agreed) {
        m_db.approveVocs(m_job.m_winners);
        m_db.ripenRules_(m_job.m_ruleMatches);
    }
    m_db.learnAdhocTailos_(m_job.m_winners);
    m_db.disapproveVocs_(m_job);
}

C_LearnTailoDB::C_JobLearning::C_Walk C_LearnTailoDB::C_JobLearning::walk_() {
    std::vector<C_Winner>& naive = m_naive.m_winners;
    std::vector<C_Winner>& committed = m_job.m_winners;
    C_Walk walk;
    size_t i = 0, j = 0;
    const auto done = [&] {
        walk.m_naiveLeft = i;
        walk.m_jobLeft = j;
        return walk;
    };
    while (i < naive.size() && j < committed.size()) {
        if (equalWinners(naive[i], committed[j])) {
            ++i;
            ++j;
            continue;
        }
        walk.m_mismatch = true;
        // The walk goes on from past the closure; the winners at the mismatch are kept.
        const size_t i0 = i, j0 = j;
        const size_t p = naive[i0].m_start;
        const std::string t = textOf(naive[i0].m_candidate);

        const C_Closure* record = nullptr;
        size_t s = 0, l = 0;
        for (size_t r = m_naive.m_closures.size(); r-- > 0;) {
            const C_Closure& candidate = m_naive.m_closures[r];
            if (candidate.m_start > p)
                continue;
            s = candidate.m_start;
            l = closureLength(candidate);
            const size_t e = s + l;
            i = i0;
            do
                ++i;
            while (i < naive.size() && naive[i].m_start < e);
            j = j0;
            do
                ++j;
            while (j < committed.size() && committed[j].m_start < e);
            if (winnerEnd(naive[i0]) > e) {
                log_(1, "Different winners found but not entirely located within naive closure");
                continue;
            }
            record = &candidate;
            break;
        }
        if (!record) {
            log_(1, "No closure found for naive winner at " + decimal(p) + " with candidate " + t);
            return done();
        }
        const size_t e = s + l;
        const std::string at = decimal(s) + "+" + decimal(l);

        const C_ClosureRange q = getClosure(m_job, s, l);
        if (q.m_minStart != s || q.m_maxEnd != e)
            log_(2, "Snapshot closure at " + at + " has wrong span: [" + decimal(q.m_minStart) +
                        ", " + decimal(q.m_maxEnd) + ")");
        const C_CompareResult r =
            C_InputLineSnapshot::compareClosures(record->m_candidates, q.m_candidates, false);
        if (r.m_order < 0) {
            if (m_generation == 1)
                log_(1, "Snapshot closure(expected composition) at " + at +
                            " is already stronger than naive's at " + decimal(p) +
                            " with candidate " + t);
            else
                log_(4, "Snapshot closure at " + at + " is stronger than naive's at " + decimal(p) +
                            " with candidate " + t + " after " + decimal(size_t(m_generation - 1)) +
                            " generations");
            continue;
        }
        if (j0 < q.m_begin || j0 >= q.m_end)
            throw std::logic_error("Snapshot winner at " + decimal(p) +
                                   " not found in its closure");
        const size_t k = j0 - q.m_begin;
        C_RuleRunnerForWinner jobRunner(m_db.cats(), m_job);
        C_LearnContext a{m_job.m_ruleMatches, committed,    q.m_begin, q.m_end,
                         jobRunner,           mapToNaive_()};

        if (r.m_order == 0) {
            learnWeight(a, k, 1.0, kNoWeight);
            walk.m_learned = true;
            return done();
        }
        const C_ClosureRange n = getClosure(m_naive, s, l);
        E_Step step = E_Step::LEARNED;
        switch (r.m_category) {
            case CMP_STRENGTH: {
                const double sa = C_InputLineSnapshot::scoreSequence(n.m_candidates);
                const double sb = C_InputLineSnapshot::scoreSequence(q.m_candidates);
                const double learned = learnToPR100(a);
                if (sa - sb > 0)
                    learnWeight(a, k, sa - sb + 1.0, learned);
                break;
            }
            case CMP_SINGLE: {
                // One word of the engine's against several of the user's: a word of a user layer
                // is lowered below zero, where it no longer wins for being single; otherwise the
                // user's words are raised to full strength.
                const C_Candidate* single = n.size() == 1 ? n.m_candidates.front() : nullptr;
                if (single && single->m_source >= ST_USER_EXACT) {
                    C_RuleRunnerForWinner naiveRunner(m_db.cats(), m_naive);
                    C_LearnContext b{m_job.m_ruleMatches, naive, n.m_begin, n.m_end, naiveRunner,
                                     addToCandidate_()};
                    learnWeight(b, 0, -single->score() - 1.0, kNoWeight);
                } else {
                    learnToPR100(a);
                }
                break;
            }
            case CMP_SCORE: {
                const C_Winner& ni = naive[i0];
                const C_Winner& cj = committed[j0];
                const bool sameUnit = ni.m_start == cj.m_start && ni.m_candidate &&
                                      cj.m_candidate &&
                                      ni.m_candidate->m_span == cj.m_candidate->m_span;
                if (sameUnit) {
                    step = sameUnit_(a, k, n, i0, j0);
                    break;
                }
                const int m = findWinnerIndex(naive, n.m_begin, n.m_end, p);
                if (m < 0)
                    throw std::logic_error("Naive winner at " + decimal(p) +
                                           " not found in its closure");
                C_RuleRunnerForWinner naiveRunner(m_db.cats(), m_naive);
                C_LearnContext b{m_job.m_ruleMatches, naive, n.m_begin, n.m_end, naiveRunner,
                                 addToCandidate_()};
                const double w = (r.m_d + 1.0) * 0.5;
                learnWeight(a, k, w, kNoWeight);
                learnWeight(b, size_t(m), -w, kNoWeight);
                break;
            }
            case CMP_SOURCE_LEVEL: {
                if (meanSourceLevel(n.m_candidates) < ST_USER_EXACT) {
                    poolClosure_(q);
                    break;
                }
                const bool allStrong =
                    std::all_of(n.m_candidates.begin(), n.m_candidates.end(),
                                [](const C_Candidate* c) { return c && c->m_weight >= 100.0f; });
                if (allStrong) {
                    log_(4, "(TBD) CC_SRCLEVEL, all PR100");
                    break;
                }
                const auto hasReadings = [](const C_Candidate* c) {
                    return c && !c->m_readings.empty();
                };
                const bool allHan = std::all_of(
                    n.m_candidates.begin(), n.m_candidates.end(),
                    [&](const C_Candidate* c) { return hasReadings(c) && !c->m_text.empty(); });
                const bool allTailo = std::all_of(
                    n.m_candidates.begin(), n.m_candidates.end(),
                    [&](const C_Candidate* c) { return hasReadings(c) && c->m_text.empty(); });
                if (n.size() >= 2 && (allHan || allTailo))
                    joinWords_(n);
                else
                    poolClosure_(q);
                break;
            }
            default:
                log_(1, "Unknown compare category " + std::to_string(r.m_category) +
                            " for closure at " + decimal(s) + " spanned " + decimal(l) + " with " +
                            decimal(n.size()) + " winners for naive winner at " + decimal(p) +
                            " with candidate " + t);
                step = E_Step::WALK_ON;
                break;
        }
        if (step == E_Step::LEARNED) {
            walk.m_learned = true;
            return done();
        }
    }
    return done();
}

// The engine's word and the user's share a unit: the user's word is lifted just above the
// words ranked before it (to the middle of them when it scores nothing at all), and those
// words are lowered by as much. Only the words of the same span count: a longer or shorter
// word of the unit lost to the engine's word in the comparison of closures, not in the unit.
C_LearnTailoDB::C_JobLearning::E_Step C_LearnTailoDB::C_JobLearning::sameUnit_(
    C_LearnContext& a, size_t k, const C_ClosureRange& n, size_t i0, size_t j0) {
    const size_t p = m_naive.m_winners[i0].m_start;
    C_CompoUnit* unit = m_naive.unitAt(p);
    if (!unit)
        throw std::runtime_error("Fail to get snapshot compo unit at " + decimal(p));
    const C_Candidate& committed = *m_job.m_winners[j0].m_candidate;
    std::vector<C_Candidate*> u;
    for (C_Candidate& c : unit->candidates())
        if (c.m_span == committed.m_span)
            u.push_back(&c);
    size_t q = 0;
    while (q < u.size() && !(*u[q] == committed))
        ++q;
    if (q == u.size())
        throw std::runtime_error("Fail to find snapshot candidate in naive compo unit at " +
                                 decimal(p));
    if (q == 0)
        throw std::logic_error("Snapshot candidate is already the top in naive compo unit at " +
                               decimal(p));

    size_t t = 0;
    if (committed.score() <= 0.0) {
        t = q / 2;
        const double middle = u[q / 2]->score();
        while (t > 0 && u[t - 1]->score() == middle)
            --t;
    }
    const double s = u[q]->score();
    if (unit->doctrine() && u[q]->m_count == 1 && s < 80.0) {
        size_t first = t;
        while (first < q && u[first]->m_count <= 1)
            ++first;
        if (first == t && first < q) {
            learnWeight(a, k, 80.0 - s, kNoWeight);
            return E_Step::WALK_ON;
        }
    }
    const double g = u[t]->score() - s;
    if (g < 0)
        throw std::logic_error("Negative weight lost computed for naive candidate at " +
                               decimal(p));
    learnWeight(a, k, (g + 1.0) * 0.5, kNoWeight);

    const int m = findWinnerIndex(m_naive.m_winners, n.m_begin, n.m_end, p);
    if (m < 0)
        throw std::logic_error("Naive winner at " + decimal(p) + " not found in its closure");
    C_RuleRunnerForWinner naiveRunner(m_db.cats(), m_naive);
    C_LearnContext b{m_job.m_ruleMatches, m_naive.m_winners, n.m_begin, n.m_end,
                     naiveRunner,         addToCandidate_()};
    for (size_t v = t; v < q; ++v) {
        const double d = u[v]->score() - s;
        if (d <= 0)
            continue;
        C_SlotSwap swap(m_naive.m_winners[n.m_begin + size_t(m)], u[v]);
        learnWeight(b, size_t(m), -(d + 1.0) * 0.5, kNoWeight);
    }
    return t == 0 ? E_Step::LEARNED : E_Step::WALK_ON;
}

// The user's words of a lower source level than the engine's: each becomes a word of the
// learning dictionary, and the naive unit gets it at that level.
void C_LearnTailoDB::C_JobLearning::poolClosure_(const C_ClosureRange& q) {
    for (size_t idx = q.m_begin; idx < q.m_end; ++idx) {
        const C_Winner& w = m_job.m_winners[idx];
        C_Candidate* c = w.m_candidate;
        if (!c || c->m_source >= ST_USER_EXACT)
            continue;
        if (C_CompoUnit* unit = m_naive.unitAt(w.m_start)) {
            c->m_source = E_SourceType(c->m_source + 3);
            C_Candidate copy = *c;
            copy.m_rank = RANK_ORDINARY;
            unit->add(copy);
        }
        const auto lock = m_db.lockTables_();
        if (poolCandidate_(*c))
            m_db.markLearned_();
    }
}

bool C_LearnTailoDB::C_JobLearning::poolCandidate_(const C_Candidate& c) {
    C_CandiPool& pool = m_db.m_candiPool;
    bool added = false;
    const auto add = [&](const std::vector<std::string>& keys, char type, const std::string& word) {
        const C_VocTableError e =
            keys.size() == 1
                ? pool.add_keys_to_word(keys.front(), type, word, c.m_weight, c.m_cats, 0)
                : pool.add_karray_to_voc(keys, type, word, c.m_weight, c.m_cats, 0);
        added = added || !e.failed;
    };
    const auto nonTailo = [&](const std::string& reading, const char* which) {
        log_(1,
             "Non-Tailo \"" + reading +
                 "\" calling m_candiPool.add_keys_to_word() or m_candiPool.add_karray_to_voc() " +
                 which);
    };
    if (const std::string* chosen = chosenReading(c)) {
        if (const auto keys = tonedKeysOf(*chosen))
            add(*keys, 'T', *chosen);
        else
            nonTailo(*chosen, "1/2");
        return added;
    }
    for (const std::string& reading : c.m_readings) {
        const auto keys = tonedKeysOf(reading);
        if (!keys) {
            nonTailo(reading, "2/2");
            continue;
        }
        if (c.m_text.empty()) {
            add(*keys, 'T', reading);
        } else {
            added = pool.add_hant2tailo(c.m_text, reading) || added;
            add(*keys, 'H', c.m_text);
        }
    }
    return added;
}

// Several words of a user layer that the engine prefers to the user's: they are learned
// together as one word of the learning dictionary.
void C_LearnTailoDB::C_JobLearning::joinWords_(const C_ClosureRange& n) {
    C_Candidate joined;
    std::vector<std::vector<std::string>> readings;
    uint8_t source = UINT8_MAX;
    uint32_t span = 0, count = 0;
    for (const C_Candidate* c : n.m_candidates) {
        joined.m_text += c->m_text;
        readings.push_back(c->m_readings);
        span += c->m_span;
        count += c->m_count;
        source = std::min<uint8_t>(source, c->m_source);
    }
    bool cut = false;
    joined.m_readings = joinReadings(readings, kMaxJoinedReadings, cut);
    if (cut)
        log_(2, "Joined word \"" + joined.m_text + "\" keeps the first " +
                    decimal(kMaxJoinedReadings) + " of its readings");
    joined.m_span = uint16_t(std::min<uint32_t>(span, UINT16_MAX));
    joined.m_count = uint16_t(std::min<uint32_t>(count, UINT16_MAX));
    joined.m_source = E_SourceType(source < ST_USER_EXACT ? source + 3 : source);
    joined.m_rank = RANK_ORDINARY;
    if (C_CompoUnit* unit = m_naive.unitAt(m_naive.m_winners[n.m_begin].m_start))
        unit->add(joined);

    const auto lock = m_db.lockTables_();
    const bool han = !joined.m_text.empty();
    for (const std::string& reading : joined.m_readings) {
        const std::optional<std::vector<std::string>> keys = tonedKeysOf(reading);
        if (!keys) {
            log_(1, "Non-Tailo \"" + reading + "\" calling m_candiPool.add_karray_to_voc() " +
                        (han ? "2/2" : "1/2"));
            continue;
        }
        if (han)
            m_db.m_candiPool.add_hant2tailo(joined.m_text, reading);
        const C_VocTableError e = m_db.m_candiPool.add_karray_to_voc(
            *keys, han ? 'H' : 'T', han ? joined.m_text : reading, joined.m_weight, {}, 0);
        if (!e.failed)
            m_db.markLearned_();
    }
}

void C_LearnTailoDB::C_JobLearning::learnWeight(C_LearnContext& ctx, size_t index, double w,
                                                double learned) {
    const size_t n = ctx.m_end - ctx.m_begin;
    if (n == 0 || index >= n)
        throw std::logic_error("No rule to learn");
    const double scaled = n != 1 ? w * std::pow(double(n), 0.4) : w;
    const size_t first = ctx.m_winners[ctx.m_begin].m_start;
    const size_t end = winnerEnd(ctx.m_winners[ctx.m_end - 1]);
    double total = scaled * double(end - first);
    if (!std::isnan(learned)) {
        if (w * learned < 0)
            throw std::logic_error("Conflict weight signs");
        if (total > 0 && learned >= total)
            return;
        total -= learned;
    }
    const C_Candidate* target = ctx.m_winners[ctx.m_begin + index].m_candidate;
    if (!target)
        throw std::logic_error("No rule to learn");
    addLearnedRule(ctx, index, total / double(target->m_span));
}

double C_LearnTailoDB::C_JobLearning::learnToPR100(C_LearnContext& ctx) {
    double total = 0;
    for (size_t v = ctx.m_begin; v < ctx.m_end; ++v) {
        const C_Candidate* c = ctx.m_winners[v].m_candidate;
        if (!c)
            continue;
        const double gap = 100.0 - c->score();
        if (gap > 0) {
            const double span = c->m_span;
            addLearnedRule(ctx, v - ctx.m_begin, gap);
            total += span * gap;
        }
    }
    return total != 0 ? total : kNoWeight;
}

void C_LearnTailoDB::C_JobLearning::appendWinner(C_Rule& elements,
                                                 const std::vector<C_Winner>& winners,
                                                 ptrdiff_t index) {
    if (index < 0 || size_t(index) >= winners.size() || !winners[size_t(index)].m_candidate)
        elements.push_back(C_RuleElem{C_GapPat{}, 0});
    else
        appendRuleWithCandi(elements, *winners[size_t(index)].m_candidate);
}

void C_LearnTailoDB::C_JobLearning::appendRuleWithCandi(C_Rule& elements,
                                                        const C_Candidate& candidate) {
    C_WordPat word;
    word.count = candidate.m_count;
    if (const std::string* chosen = chosenReading(candidate)) {
        word.keys.push_back(*chosen);
    } else {
        word.text = candidate.m_text;
        std::set<std::string> known;
        // Asked past the learning dictionary's own override, which counts the session's
        // queries: the learner is not the session.
        if (!candidate.m_text.empty())
            m_db.C_UserTailoMixin::voc2tailos(
                candidate.m_text, [&](std::string_view reading) { known.emplace(reading); });
        const std::set<std::string> own(candidate.m_readings.begin(), candidate.m_readings.end());
        if (own != known)
            word.keys = candidate.m_readings;
    }
    elements.emplace_back().pattern.emplace<C_WordPat>(std::move(word));
}

namespace {

// The neighbours of winner g as the rule runner reaches them: past the no-cross marks on either
// side; -1 before the line, winners.size() past it.
ptrdiff_t wordBefore(const std::vector<C_Winner>& winners, ptrdiff_t g) {
    ptrdiff_t i = g - 1;
    while (i >= 0 && !winners[size_t(i)].m_candidate)
        --i;
    return i;
}

ptrdiff_t wordAfter(const std::vector<C_Winner>& winners, ptrdiff_t g) {
    ptrdiff_t i = g + 1;
    while (size_t(i) < winners.size() && !winners[size_t(i)].m_candidate)
        ++i;
    return std::min(i, ptrdiff_t(winners.size()));
}

// The winner indices that the first and the last element of a rule took when it matched with
// its anchor at winner g: forward each element takes the next word past the no-cross marks;
// backward the first element takes the word before the marks and each further one the winner
// just before (a mark only for a gap). -1 stands before the line, winners.size() past it.
std::pair<ptrdiff_t, ptrdiff_t> ruleWinnerSpan(const std::vector<C_Winner>& winners, size_t g,
                                               size_t ruleSize, size_t anchor) {
    ptrdiff_t last = ptrdiff_t(g);
    for (size_t i = anchor + 1; i < ruleSize && size_t(last) < winners.size(); ++i)
        last = wordAfter(winners, last);
    ptrdiff_t first = ptrdiff_t(g);
    for (size_t i = anchor; i-- > 0 && first >= 0;)
        first = i + 1 == anchor ? wordBefore(winners, first) : first - 1;
    return {std::max(first, ptrdiff_t(-1)), last};
}

bool isGap(const C_RuleElem& e) { return e.pattern.index() == RULE_GAP; }

}  // namespace

void C_LearnTailoDB::C_JobLearning::addLearnedRule(C_LearnContext& ctx, size_t index,
                                                   double weight) {
    const size_t g = ctx.m_begin + index;
    C_Winner& target = ctx.m_winners.at(g);
    C_Candidate* candidate = target.m_candidate;
    if (!candidate)
        throw std::logic_error("No rule to learn");
    const C_CandidateURL url{target.m_start, candidate->key()};

    std::vector<std::pair<C_Rule, size_t>> rules;
    std::set<std::string> keys;
    const auto collect = [&](C_Rule rule, size_t anchor) {
        if (keys.insert(ruleKey(rule)).second)
            rules.emplace_back(std::move(rule), anchor);
    };

    bool matched = false;
    if (const auto recorded = ctx.m_matches.find(url); recorded != ctx.m_matches.end()) {
        const std::map<C_RuleElemURL, float> elements = recorded->second;
        for (const auto& [element, recordedWeight] : elements) {
            C_Rule rule = parseRulePats(element.m_ruleKey);
            const size_t anchor = element.m_index;
            if (anchor >= rule.size() ||
                !ctx.m_runner.run(target.m_start, *candidate, rule, anchor, nullptr))
                continue;
            matched = true;
            collect(rule, anchor);
            if (double(recordedWeight) * weight < 0) {
                // The rule pulls the other way: a longer rule tells this context apart.
                const auto [first, last] = ruleWinnerSpan(ctx.m_winners, g, rule.size(), anchor);
                if (!isGap(rule.front())) {
                    // Before the target itself the runner passes over marks; before an element
                    // further back a mark is only a gap.
                    C_Rule longer;
                    appendWinner(longer, ctx.m_winners,
                                 anchor == 0 ? wordBefore(ctx.m_winners, first) : first - 1);
                    longer.insert(longer.end(), rule.begin(), rule.end());
                    collect(std::move(longer), anchor + 1);
                }
                if (!isGap(rule.back())) {
                    C_Rule longer = rule;
                    appendWinner(longer, ctx.m_winners, wordAfter(ctx.m_winners, last));
                    collect(std::move(longer), anchor);
                }
            }
        }
    }
    if (!matched) {
        // The words beside the target, as the runner will meet them: a no-cross mark between
        // is passed over, and only the ends of the line give a gap.
        C_Rule before;
        appendWinner(before, ctx.m_winners, wordBefore(ctx.m_winners, ptrdiff_t(g)));
        appendRuleWithCandi(before, *candidate);
        collect(std::move(before), 1);
        C_Rule after;
        appendRuleWithCandi(after, *candidate);
        appendWinner(after, ctx.m_winners, wordAfter(ctx.m_winners, ptrdiff_t(g)));
        collect(std::move(after), 0);
    }
    if (rules.empty())
        throw std::logic_error("No rule to learn");

    const float share = float(weight / double(rules.size()));
    for (auto& [rule, anchor] : rules) {
        rule[anchor].weight = share;
        const std::string key = ruleKey(rule);
        ctx.m_matches[url][C_RuleElemURL{key, anchor}] += share;
        ctx.m_apply(target.m_start, *candidate, share);
        const auto lock = m_db.lockTables_();
        const size_t before = m_db.m_rules.size();
        if (m_db.m_rules.addRule(std::make_shared<C_Rule>(rule))) {
            m_db.markDirty_();
            if (m_db.m_rules.size() > before)
                m_db.m_purgePending = true;
        } else {
            log_(1, "Fail to add rule: " + key + "/" + decimal(anchor) + ":" + fixed6(share));
        }
    }
}

FC_ApplyWeight C_LearnTailoDB::C_JobLearning::mapToNaive_() {
    return [this](size_t pos, C_Candidate& candidate, float weight) {
        C_CompoUnit* unit = m_naive.unitAt(pos);
        if (!unit) {
            log_(1, "Fail to map naive compo unit at " + decimal(pos));
            return;
        }
        for (C_Candidate& c : unit->candidates()) {
            if (c == candidate) {
                c.m_bonus += weight;
                unit->markUnsorted();
                return;
            }
        }
        log_(1, "Fail to map naive candidate at " + decimal(pos));
    };
}

FC_ApplyWeight C_LearnTailoDB::C_JobLearning::addToCandidate_() {
    return [this](size_t pos, C_Candidate& candidate, float weight) {
        candidate.m_bonus += weight;
        if (C_CompoUnit* unit = m_naive.unitAt(pos))
            unit->markUnsorted();
    };
}

}  // namespace kov
