// Composition of an input line: the key string, the islands of the mode, the dictionaries'
// candidates with their fallbacks, the user's nails, the no-cross ranks, the rules and the
// winners.

#include <algorithm>
#include <charconv>
#include <map>
#include <optional>
#include <span>
#include <string>
#include <stdexcept>
#include <utility>

#include "engine/compose/input_line.h"
#include "engine/compose/input_line_parts.h"
#include "engine/compose/islands.h"
#include "engine/compose/rule_runner.h"
#include "engine/text/tailo.h"

namespace kov {

namespace {

std::string decimal(unsigned long long value) {
    char buf[24];
    const auto [end, ec] = std::to_chars(buf, buf + sizeof buf, value);
    return std::string(buf, end);
}

bool isUpper(char c) noexcept { return c >= 'A' && c <= 'Z'; }

char toLower(char c) noexcept { return isUpper(c) ? char(c - 'A' + 'a') : c; }

// A Tai-lo reading spelled from tone-numbered keys (the keys as typed, capitals kept).
C_Candidate spelledCandidate(std::string keys, size_t span) {
    C_Candidate c;
    c.m_readings.push_back(tonedKey2tailo(std::move(keys)));
    c.m_span = uint16_t(span);
    c.m_count = 1;
    c.m_source = ST_SPELLED;
    return c;
}

}  // namespace

void C_InputLine::dropCaches_() {
    m_candiCache.clear();
    m_related.clear();
}

void C_InputLine::dropComposition_() {
    m_winners.clear();
    m_closures.clear();
    m_nailPos = 0;
    dropCaches_();
}

C_VisitConsts C_InputLine::visitConsts_() const {
    C_VisitConsts consts;
    consts.m_keys = m_keys;
    consts.m_capitals = m_capitals;
    consts.m_islesByStart = m_islesByStart;
    consts.m_length = m_keys.size();
    consts.m_hyphenRuns.assign(m_hyphenRuns.begin(), m_hyphenRuns.end());
    consts.m_doctrine = m_islandDoctrine;
    return consts;
}

void C_InputLine::compose() {
    const size_t n = m_caret;
    if (!m_dirty) {
        if (n == 0)
            dropComposition_();
        return;
    }

    // The nails survive the composition by value: the winners point into candidates that are
    // about to be cleared, so they go before anything else changes.
    std::vector<std::pair<size_t, C_Candidate>> nails;
    for (const C_Winner& w : m_winners)
        if (w.m_candidate && w.m_candidate->m_rank == RANK_NAILED)
            nails.emplace_back(w.m_start, *w.m_candidate);
    // What the last composition looked its words up by, to tell which units an edit reached.
    C_LookupBasis previous;
    previous.m_keys = std::move(m_keys);
    previous.m_capitals = std::move(m_capitals);
    previous.m_hyphenRuns = m_hyphenRuns;
    m_keys.clear();
    m_capitals.clear();
    ++m_composition;
    m_dirty = false;
    dropComposition_();

    try {
        // Units marked for recomposition are emptied (or get their kept words back) once the
        // islands show how far the edit reached.
        size_t recomposeEnd = 0;
        for (size_t i = 0; i < n; ++i) {
            const C_LineElement& e = m_elements[i];
            if (e.index() == 0) {
                m_keys += '\t';
                continue;
            }
            C_CompoUnit* unit = e.index() == 1 ? std::get<1>(e).get() : nullptr;
            if (!unit)
                throw std::logic_error("Unknown variant id: " + decimal(e.index()));
            if (unit->state() == UNIT_RECOMPOSE)
                recomposeEnd = i + 1;
            if (unit->rawKeyOnly()) {
                m_keys += '\a';
            } else {
                m_keys += toLower(unit->key());
                if (isUpper(unit->key()))
                    m_capitals.push_back(i);
            }
        }
        if (n == 0) {
            m_islesByStart.clear();
            m_hyphenRuns.clear();
            m_cutLog = {};
            return;
        }
        // Units marked for re-checking keep their candidates and are only ranked again; a line
        // with nothing to recompose (an edit of flags or marks only) still gets its islands,
        // nails, ranks, rules and winners again, over the elements as they now stand. Only the
        // positions up to the recompose end ask the dictionaries.
        composeByMode_(recomposeEnd, std::move(previous));
        reapplyNails_(nails, n);
        rankNoCrosses_(n);
        runRules_(n);
        findWinners(n);
        settle_(n);
    } catch (...) {
        // Left dirty, with the units' states as they were: the next query tries again.
        m_cutLog = {};
        m_winners.clear();
        m_closures.clear();
        m_dirty = true;
        throw;
    }
}

void C_InputLine::composeByMode_(size_t recomposeEnd, C_LookupBasis previous) {
    if (m_mode != CM_STD) {
        // No islands, and no lookup to keep.
        m_islesByStart.assign(m_keys.size(), {});
        m_hyphenRuns.clear();
        m_cutLog = {};
        keepLookups_(recomposeEnd, C_LookupReach{});
    }
    switch (m_mode) {
        case CM_STD: {
            // The cut starts where the keys begin to differ from the last cut's.
            C_StdIslands cut{std::move(m_islesByStart), std::move(m_hyphenRuns),
                             std::move(m_cutLog)};
            m_cutLog = {};
            previous.m_islesFrom =
                recutStdIslands(m_keys, previous.m_keys, cut, previous.m_isleTail);
            m_islesByStart = std::move(cut.m_islesByStart);
            m_hyphenRuns = std::move(cut.m_hyphenRuns);
            m_cutLog = std::move(cut.m_log);

            const std::optional<uint64_t> revision = vocRevisionOf(m_db);
            const bool sameWords =
                revision && revision == m_vocRevision && m_islandDoctrine == m_lookupDoctrine;
            m_vocRevision = revision;
            m_lookupDoctrine = m_islandDoctrine;
            const std::vector<bool> kept =
                keepLookups_(recomposeEnd, sameWords ? unchangedEnd_(previous) : C_LookupReach{});
            visitIsles_(visitConsts_(), recomposeEnd, kept);
            return;
        }
        case CM_EZ:
            return;
        case CM_TAILO:
            for (const auto& [q, length] : cutTailoIslands(m_keys))
                if (C_CompoUnit* unit = unitAt(q))
                    unit->add(spelledCandidate(keysOf(q, length), length));
            return;
    }
    throw std::runtime_error("Unknown composition mode " + decimal(unsigned(m_mode)));
}

namespace {

bool sameIsles(const C_IsleList& a, const C_IsleList& b) noexcept {
    if (a.size() != b.size())
        return false;
    for (size_t i = 0; i < a.size(); ++i) {
        const C_StdIsle& x = *a[i];
        const C_StdIsle& y = *b[i];
        if (&x != &y && (x.m_start != y.m_start || x.m_length != y.m_length || x.m_ext != y.m_ext))
            return false;
    }
    return true;
}

// The first position at which two ascending sequences differ (one holds it, the other not);
// npos when they are equal.
template <typename It, typename Start>
size_t firstDifference(It a, It aEnd, It b, It bEnd, Start start) {
    for (; a != aEnd && b != bEnd; ++a, ++b)
        if (!(*a == *b))
            return std::min(start(*a), start(*b));
    if (a != aEnd)
        return start(*a);
    if (b != bEnd)
        return start(*b);
    return std::string::npos;
}

}  // namespace

C_LookupReach C_InputLine::unchangedEnd_(const C_LookupBasis& previous) const {
    const size_t common = std::min(previous.m_keys.size(), m_keys.size());
    size_t keys = common;
    for (size_t p = 0; p < common; ++p)
        if (previous.m_keys[p] != m_keys[p]) {
            keys = p;
            break;
        }
    keys = std::min(keys, firstDifference(previous.m_capitals.begin(), previous.m_capitals.end(),
                                          m_capitals.begin(), m_capitals.end(),
                                          [](size_t pos) { return pos; }));
    keys =
        std::min(keys, firstDifference(previous.m_hyphenRuns.begin(), previous.m_hyphenRuns.end(),
                                       m_hyphenRuns.begin(), m_hyphenRuns.end(),
                                       [](const auto& run) { return run.first; }));
    // The lists below m_islesFrom are the same lists; from there on they are compared.
    const size_t listed = std::min(common, m_islesByStart.size());
    size_t isles = listed;
    for (size_t p = previous.m_islesFrom; p < listed; ++p) {
        const size_t k = p - previous.m_islesFrom;
        if (k >= previous.m_isleTail.size() ||
            !sameIsles(previous.m_isleTail[k], m_islesByStart[p])) {
            isles = p;
            break;
        }
    }
    return C_LookupReach{keys, isles};
}

std::vector<bool> C_InputLine::keepLookups_(size_t end, C_LookupReach unchanged) {
    std::vector<bool> kept(end, false);
    for (size_t p = 0; p < end; ++p) {
        C_CompoUnit* unit = unitAt(p);
        if (!unit || unit->state() != UNIT_RECOMPOSE)
            continue;
        if (unit->restoreLookup(p, unchanged, m_composition - 1, m_composition))
            kept[p] = true;
        else
            unit->clear();
    }
    return kept;
}

namespace {

// The wildcard islands of one item table (they share a start, and each holds the table's first
// items): which of the items' units need a lookup, and how far the islands' lookups read, so
// that neither costs a walk over every item of every island.
struct C_TableVisits {
    size_t m_start = 0;
    std::span<const C_IsleItem> m_items;  // the whole table's
    size_t m_firstNeeded = 0;             // the first item whose unit needs a lookup
    std::vector<std::pair<size_t, C_LookupReach>> m_reaches;  // per island: its items, its reach
};

}  // namespace

void C_InputLine::visitIsles_(const C_VisitConsts& consts, size_t end,
                              const std::vector<bool>& kept) {
    const auto keeps = [&](size_t pos) { return pos < kept.size() && kept[pos]; };
    // A lookup that a unit needs may also offer words to a unit that kept its own: those go to
    // m_discard.
    const FC_UnitAt unitAtPos = [&](size_t pos) { return keeps(pos) ? &m_discard : unitAt(pos); };
    // Per unit, how far its lookups read; each reads at least its key and its island list.
    std::vector<C_LookupReach> reach(end);
    for (size_t p = 0; p < end; ++p)
        reach[p] = C_LookupReach{p + 1, p + 1};
    const auto noteReach = [&](size_t pos, size_t keys, size_t isles) {
        if (pos < end) {
            reach[pos].m_keys = std::max(reach[pos].m_keys, keys);
            reach[pos].m_isles = std::max(reach[pos].m_isles, isles);
        }
    };
    std::map<const void*, C_TableVisits> tables;

    for (size_t p = 0; p < end && p < m_islesByStart.size(); ++p) {
        for (const C_IslePtr& isle : m_islesByStart[p]) {
            // The lookup of an island offers words to its start and, for a wildcard pattern,
            // to the start of each item.
            const C_IsleWildcard* w = isle->wildcard();
            C_TableVisits* table = nullptr;
            bool needed = !keeps(p);
            if (w) {
                auto [it, added] = tables.try_emplace(w->sharedId());
                table = &it->second;
                if (added) {
                    table->m_start = p;
                    table->m_items = w->sharedItems();
                    while (table->m_firstNeeded < table->m_items.size() &&
                           keeps(p + table->m_items[table->m_firstNeeded].m_start))
                        ++table->m_firstNeeded;
                }
                needed = needed || table->m_firstNeeded < w->items().size();
            }
            if (!needed)
                continue;
            consts.resetReadEnd();
            visitDAG_(consts, *isle, unitAtPos);
            m_discard.clear();
            noteReach(p, consts.readEnd(), consts.isleReadEnd());
            if (table)
                table->m_reaches.emplace_back(
                    w->items().size(), C_LookupReach{consts.readEnd(), consts.isleReadEnd()});
        }
    }
    // Each item's unit read as far as the furthest of the islands that hold the item.
    for (auto& [id, table] : tables) {
        std::sort(table.m_reaches.begin(), table.m_reaches.end(),
                  [](const auto& a, const auto& b) { return a.first > b.first; });
        C_LookupReach furthest;
        size_t r = 0;
        for (size_t i = table.m_items.size(); i-- > 0;) {
            for (; r < table.m_reaches.size() && table.m_reaches[r].first > i; ++r) {
                furthest.m_keys = std::max(furthest.m_keys, table.m_reaches[r].second.m_keys);
                furthest.m_isles = std::max(furthest.m_isles, table.m_reaches[r].second.m_isles);
            }
            if (r > 0)
                noteReach(table.m_start + table.m_items[i].m_start, furthest.m_keys,
                          furthest.m_isles);
        }
    }

    for (size_t p = 0; p < end && p < m_islesByStart.size(); ++p) {
        C_CompoUnit* unit = unitAt(p);
        if (!unit || keeps(p))
            continue;
        if (unit->empty()) {
            // A tone-numbered syllable that no dictionary offered is spelled from its keys.
            for (const C_IslePtr& isle : m_islesByStart[p]) {
                const C_IsleSyllable* syl = isle->syllable();
                if (syl && syl->m_toneDigit && *syl->m_toneDigit != '0') {
                    unit->add(spelledCandidate(keysOf(p, isle->m_length), isle->m_length));
                    noteReach(p, isle->end(), 0);
                    break;
                }
            }
        }
        // No lookup offers words to this unit any more: what it holds now is its lookup.
        if (unit->state() == UNIT_RECOMPOSE)
            unit->sealLookup(p, reach[p], m_composition);
        else
            unit->unseal();
    }
}

void C_InputLine::visitDAG_(const C_VisitConsts& consts, const C_StdIsle& isle,
                            const FC_UnitAt& unitAt) {
    m_db.getIslandVocs(consts, isle, unitAt);

    const size_t after = consts.skipHyphenRun(isle.end());
    consts.noteIsleRead(after);
    const bool closes = after >= m_keys.size() || m_islesByStart[after].empty();
    if (!closes)
        return;
    const C_IsleSyllable* syl = isle.syllable();
    const bool exactKey = isle.kind() == ISLE_PLAIN || (syl && !syl->m_toneDigit);
    if (!exactKey)
        return;
    C_CompoUnit* unit = unitAt(isle.m_start);
    if (!unit)
        return;
    consts.noteRead(isle.end() - 1);
    m_db.addKeyVocs(*unit, std::string_view(m_keys).substr(isle.m_start, isle.m_length),
                    consts.isCapital(isle.m_start));
    if (isUpper(unit->key())) {
        // Capitalised keys may stand for themselves, as a name would.
        C_Candidate typed;
        typed.m_text = keysOf(isle.m_start, isle.m_length);
        typed.m_readings.push_back(typed.m_text);
        typed.m_span = uint16_t(isle.m_length);
        unit->add(typed);
    }
}

void C_InputLine::reapplyNails_(const std::vector<std::pair<size_t, C_Candidate>>& nails,
                                size_t end) {
    for (const auto& [pos, kept] : nails) {
        C_CompoUnit* unit = unitAt(pos);
        // A nail that would reach past the caret no longer fits the composed range.
        if (!unit || pos + kept.m_span > end)
            continue;
        bool found = false;
        for (C_Candidate& c : unit->candidates()) {
            if (c == kept) {
                c.m_rank = RANK_NAILED;
                c.m_chosenReading = kept.m_chosenReading;
                found = true;
                break;
            }
        }
        if (found) {
            unit->markUnsorted();
        } else {
            C_Candidate again = kept;
            again.m_bonus = 0.0;
            unit->add(again);
        }
    }
}

void C_InputLine::rankNoCrosses_(size_t end) {
    std::vector<size_t> marks;
    bool anyMark = false;
    for (size_t i = 0; i < m_elements.size(); ++i) {
        if (isMark_(i)) {
            anyMark = true;
            if (i < end)
                marks.push_back(i);
        }
    }
    if (!anyMark)
        return;
    for (size_t p = 0; p < end; ++p) {
        C_CompoUnit* unit = unitAt(p);
        if (!unit)
            continue;
        bool changed = false;
        for (C_Candidate& c : unit->candidates()) {
            if (c.m_rank == RANK_NAILED)
                continue;
            const auto inside = std::find_if(marks.begin(), marks.end(),
                                             [&](size_t m) { return p < m && m < p + c.m_span; });
            const E_CandidateRank rank =
                c.m_span > 1 && inside != marks.end() ? RANK_CROSSING : RANK_ORDINARY;
            if (c.m_rank != rank) {
                c.m_rank = rank;
                changed = true;
            }
        }
        if (changed)
            unit->markUnsorted();
    }
}

void C_InputLine::runRules_(size_t end) {
    for (size_t p = 0; p < end; ++p) {
        C_CompoUnit* unit = unitAt(p);
        if (!unit)
            continue;
        bool changed = false;
        for (C_Candidate& c : unit->candidates()) {
            if (c.m_bonus != 0.0) {
                c.m_bonus = 0.0;
                changed = true;
            }
        }
        if (changed)
            unit->markUnsorted();
    }
    m_ruleMatches.clear();
    C_RuleRunner runner(m_db.cats(), *this, end);
    size_t pos = 0;
    C_Candidate* current = nullptr;
    const FC_RuleVisitor run = [&](const std::vector<C_RuleElem>& rule, size_t anchor) {
        runner.run(pos, *current, rule, anchor, &m_ruleMatches);
    };
    for (pos = 0; pos < end; ++pos) {
        C_CompoUnit* unit = unitAt(pos);
        if (!unit)
            continue;
        // The runner changes bonuses only, never the unit's candidates, so indices stay valid.
        for (size_t j = 0; j < unit->size(); ++j) {
            current = unit->at(j);
            if (current->m_rank == RANK_CROSSING)
                continue;
            m_db.visitWordRules(current->m_text, current->m_readings, run);
            m_db.visitCatRules(current->m_cats, run);
        }
    }
}

void C_InputLine::findNailPos_(size_t end) {
    m_nailPos = end;
    m_severalOpen = false;
    for (const C_Winner& w : m_winners) {
        if (w.m_candidate && w.m_candidate->m_rank != RANK_NAILED) {
            m_nailPos = w.m_start;
            m_severalOpen = w.m_start + w.m_candidate->m_span < end;
            break;
        }
    }
}

void C_InputLine::settle_(size_t end) {
    findNailPos_(end);
    for (size_t p = 0; p < end; ++p)
        if (C_CompoUnit* unit = unitAt(p))
            unit->setState(UNIT_SETTLED);
    dropCaches_();
}

void C_InputLine::dropLookupBasis_(size_t span) {
    m_keys.erase(0, std::min(span, m_keys.size()));
    std::erase_if(m_capitals, [&](size_t pos) { return pos < span; });
    for (size_t& pos : m_capitals)
        pos -= span;
    // The islands carry their starts, so the remaining keys are cut again (no lookup).
    if (m_mode == CM_STD) {
        C_StdIslands cut = cutStdIslands(m_keys);
        m_islesByStart = std::move(cut.m_islesByStart);
        m_hyphenRuns = std::move(cut.m_hyphenRuns);
        m_cutLog = std::move(cut.m_log);
    } else {
        m_islesByStart.assign(m_keys.size(), {});
        m_hyphenRuns.clear();
        m_cutLog = {};
    }
    // The units' words were looked up over keys that are gone: the next composition asks the
    // dictionaries again rather than keep them.
    for (size_t p = 0; p < m_elements.size(); ++p)
        if (C_CompoUnit* unit = unitAt(p))
            unit->unseal();
}

}  // namespace kov
