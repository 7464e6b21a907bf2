#include "engine/compose/rule_runner.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <deque>
#include <map>
#include <stdexcept>
#include <string_view>
#include <utility>

#include "engine/text/tailo.h"

namespace kov {
namespace {

// One step of a match: the unit at a position, the nodes reached from it, and the candidates
// it matched with their weights (the first record of a candidate stays).
struct C_MatchNode {
    size_t m_pos = 0;
    I_CompoUnit* m_unit = nullptr;
    std::map<size_t, C_MatchNode*> m_children;
    std::map<C_Candidate*, double> m_records;
};

// A weight recorded for candidate x of the unit at pos by rule element `index`.
struct C_PendingMatch {
    size_t m_pos;
    C_Candidate* m_candidate;
    size_t m_index;
    float m_weight;
};

using C_Frontier = std::map<size_t, C_MatchNode*>;

bool anyKeyIs(const std::vector<std::string>& keys, std::string_view reading) {
    for (const std::string& key : keys) {
        if (equalsIgnoringAsciiCase(key, reading))
            return true;
    }
    return false;
}

bool wordFits(const C_WordPat& pat, const C_Candidate& x) {
    if (pat.count != 0 && pat.count != x.m_count)
        return false;
    if (!pat.text.empty() && pat.text != x.m_text)
        return false;
    if (pat.keys.empty())
        return true;
    if (x.m_rank == RANK_NAILED && x.m_chosenReading.m_set) {
        // The user chose this reading; a chosen index outside the readings matches no key.
        size_t chosen = x.m_chosenReading.m_index;
        return chosen < x.m_readings.size() && anyKeyIs(pat.keys, x.m_readings[chosen]);
    }
    for (const std::string& reading : x.m_readings) {
        if (anyKeyIs(pat.keys, reading))
            return true;
    }
    return false;
}

bool categoryFits(const C_CatPat& pat, const C_Candidate& x, const I_TailoCats& cats) {
    if (pat.min != 0 || pat.max != 0) {
        if (x.m_readings.empty())
            return false;
        if (pat.min != 0 && x.m_count < pat.min)
            return false;
        if (pat.max != 0 && x.m_count > pat.max)
            return false;
    }
    for (uint8_t cat : x.m_cats) {
        if (cats.isCatUnder(cat, pat.cat))
            return true;
    }
    return false;
}

// Does candidate x fill a word or category element?
bool fits(const C_RuleElem& elem, const C_Candidate& x, const I_TailoCats& cats) {
    if (const auto* word = std::get_if<C_WordPat>(&elem.pattern))
        return wordFits(*word, x);
    if (const auto* cat = std::get_if<C_CatPat>(&elem.pattern))
        return categoryFits(*cat, x, cats);
    return false;
}

// The shortest candidate a backward word or category element looks at: 2 for a word with keys
// whose count is not 1 and for a category whose count must be above 1, else 1.
size_t leastSpan(const C_RuleElem& elem) {
    if (const auto* word = std::get_if<C_WordPat>(&elem.pattern))
        return !word->keys.empty() && word->count != 1 ? 2 : 1;
    if (const auto* cat = std::get_if<C_CatPat>(&elem.pattern))
        return cat->min > 1 ? 2 : 1;
    return 1;
}

std::string decimal(size_t n) { return std::to_string(n); }

// printf's "%+.3g", written the same way on every platform.
std::string signedG3(double value) {
    char buf[64];
    auto [end, ec] = std::to_chars(buf, buf + sizeof buf, value, std::chars_format::general, 3);
    std::string out = std::signbit(value) ? "" : "+";
    if (ec == std::errc())
        out.append(buf, end);
    return out;
}

}  // namespace

C_RuleRunner::C_RuleRunner(const I_TailoCats& cats, C_InputLineSnapshot& snapshot, size_t end)
    : m_unitAt([&snapshot](size_t pos) -> I_CompoUnit* { return snapshot.unitAt(pos); }),
      m_cats(cats),
      m_snapshot(snapshot),
      m_end(end) {}

size_t C_RuleRunner::nextUnit(size_t pos) const {
    for (size_t q = pos; q < m_end && q < m_snapshot.m_elements.size(); ++q) {
        if (m_snapshot.unitAt(q))
            return q;
    }
    return std::max(pos, m_end);
}

size_t C_RuleRunner::prevUnit(size_t pos) const {
    size_t q = pos;
    while (q > 0 && !m_snapshot.unitAt(q - 1))
        --q;
    return q;
}

size_t C_RuleRunner::maxSpan() {
    if (m_maxSpan == 0) {
        m_maxSpan = 1;
        for (size_t pos = 0; pos < m_snapshot.m_elements.size(); ++pos) {
            if (I_CompoUnit* unit = m_unitAt(pos)) {
                unit->visitCandidates([this](C_Candidate& x) {
                    m_maxSpan = std::max<size_t>(m_maxSpan, x.m_span);
                    return true;
                });
            }
        }
    }
    return m_maxSpan;
}

bool C_RuleRunner::run(size_t start, C_Candidate& c, const std::vector<C_RuleElem>& rule,
                       size_t anchor, C_RuleMatches* matches) {
    if (anchor >= rule.size())
        return false;
    I_CompoUnit* startUnit = m_unitAt(start);
    if (!startUnit)
        return false;

    std::deque<C_MatchNode> nodes;  // stable addresses for the lattice
    std::vector<C_PendingMatch> pending;
    auto newNode = [&](size_t pos) {
        nodes.push_back({pos, m_unitAt(pos), {}, {}});
        return &nodes.back();
    };
    auto childAt = [&](C_MatchNode* parent, size_t pos) {
        auto [it, fresh] = parent->m_children.try_emplace(pos, nullptr);
        if (fresh)
            it->second = newNode(pos);
        return std::pair{it, fresh};
    };
    auto gapAt = [&](size_t pos) {
        I_CompoUnit* unit = m_unitAt(pos);
        return !unit || unit->noSourcedCandidate();
    };
    auto record = [&](C_MatchNode* node, C_Candidate& x, size_t index, float weight) {
        if (weight != 0.0f && node->m_records.try_emplace(&x, weight).second)
            pending.push_back({node->m_pos, &x, index, weight});
    };

    C_MatchNode* root = newNode(start);
    const C_RuleElem& anchorElem = rule[anchor];
    if (anchorElem.pattern.index() == RULE_WORD && anchorElem.weight != 0.0f)
        root->m_records.try_emplace(&c, anchorElem.weight);

    // Forward: every element first skips the no-cross marks at its position.
    C_Frontier frontier{{start + c.m_span, root}};
    for (size_t i = anchor + 1; i < rule.size(); ++i) {
        const C_RuleElem& elem = rule[i];
        C_Frontier next;
        for (auto [pos, node] : frontier) {
            size_t p = nextUnit(pos);
            auto [slot, fresh] = childAt(node, p);
            C_MatchNode* child = slot->second;
            bool matched = false;
            switch (elem.pattern.index()) {
                case RULE_GAP:
                    if (gapAt(p)) {
                        next.try_emplace(p + 1, child);
                        matched = true;
                    }
                    break;
                case RULE_WORD:
                case RULE_CAT:
                    // Nothing at or past the end is looked at: units after the caret are stale.
                    if (p < m_end && child->m_unit) {
                        child->m_unit->visitCandidates([&](C_Candidate& x) {
                            if (fits(elem, x, m_cats)) {
                                matched = true;
                                next.try_emplace(p + x.m_span, child);
                                record(child, x, i, elem.weight);
                            }
                            return true;
                        });
                    }
                    break;
                default:
                    throw std::logic_error("Unknown pattern type(1/2): " +
                                           decimal(elem.pattern.index()));
            }
            if (fresh && !matched)
                node->m_children.erase(slot);
        }
        if (next.empty())
            return false;
        frontier = std::move(next);
    }

    // Backward: the frontier holds the positions where the element before must end.
    C_MatchNode* root2 = newNode(start);
    frontier = C_Frontier{{prevUnit(start), root2}};
    for (size_t i = anchor; i-- > 0;) {
        const C_RuleElem& elem = rule[i];
        C_Frontier next;
        bool beforeLine = false;
        switch (elem.pattern.index()) {
            case RULE_GAP:
                for (auto [pos, node] : frontier) {
                    if (pos == 0) {
                        beforeLine = true;  // the gap lies before the line
                        continue;
                    }
                    size_t q = pos - 1;
                    if (gapAt(q))
                        next.try_emplace(q, childAt(node, q).first->second);
                }
                break;
            case RULE_WORD:
            case RULE_CAT: {
                // Scan down from the last frontier position, stopping at the first position
                // without a unit; nothing is found when the frontier is empty or too near the
                // start of the line. Below the first frontier position less the longest span no
                // candidate can end in the frontier, so the scan stops there too.
                size_t m = leastSpan(elem);
                if (frontier.empty() || frontier.rbegin()->first < m)
                    break;
                const size_t first = frontier.begin()->first;
                const size_t lowest = first > maxSpan() ? first - maxSpan() : 0;
                for (size_t q = frontier.rbegin()->first - m + 1; q-- > lowest;) {
                    I_CompoUnit* unit = m_unitAt(q);
                    if (!unit)
                        break;
                    unit->visitCandidates([&](C_Candidate& x) {
                        if (!fits(elem, x, m_cats))
                            return true;
                        auto ends = frontier.find(q + x.m_span);
                        if (ends == frontier.end())
                            return true;
                        C_MatchNode* child = childAt(ends->second, q).first->second;
                        next.try_emplace(q, child);
                        record(child, x, i, elem.weight);
                        return true;
                    });
                }
                break;
            }
            default:
                throw std::logic_error("Unknown pattern type(2/2): " +
                                       decimal(elem.pattern.index()));
        }
        // A gap before the line ends the backward match: it succeeds only as the first element.
        if (next.empty() && !(beforeLine && i == 0))
            return false;
        frontier = std::move(next);
    }

    if (!matches)
        return true;

    // Each candidate keeps the weight of largest magnitude over both lattices, in preorder
    // (forward root first, children by position); the first met wins on equal magnitudes.
    std::map<C_Candidate*, double> weights;
    std::vector<size_t> recordedAt;
    std::vector<C_MatchNode*> stack{root2, root};
    while (!stack.empty()) {
        C_MatchNode* node = stack.back();
        stack.pop_back();
        for (auto [x, w] : node->m_records) {
            auto [it, fresh] = weights.try_emplace(x, w);
            if (!fresh && std::fabs(w) > std::fabs(it->second))
                it->second = w;
        }
        // Only the snapshot's own units are re-sorted, not a substitute the lookup offers.
        if (!node->m_records.empty() && node->m_unit &&
            node->m_unit == m_snapshot.unitAt(node->m_pos))
            recordedAt.push_back(node->m_pos);
        for (auto child = node->m_children.rbegin(); child != node->m_children.rend(); ++child)
            stack.push_back(child->second);
    }
    for (auto [x, w] : weights)
        x->m_bonus += w;
    for (size_t pos : recordedAt)
        m_snapshot.unitAt(pos)->markUnsorted();

    if (!pending.empty()) {
        const std::string key = ruleKey(rule);
        for (const C_PendingMatch& m : pending)
            (*matches)[C_CandidateURL{m.m_pos, m.m_candidate->key()}]
                      [C_RuleElemURL{key, m.m_index}] += m.m_weight;
    }
    return true;
}

std::string dumpRules(const std::vector<C_RuleElem>& rule, const I_TailoCats& cats) {
    std::string out;
    for (const C_RuleElem& elem : rule) {
        if (!out.empty())
            out += '/';
        if (std::get_if<C_GapPat>(&elem.pattern)) {
            out += '#';
        } else if (const auto* word = std::get_if<C_WordPat>(&elem.pattern)) {
            out += word->text;
            out += '[';
            out += decimal(word->count);
            out += ']';
            if (word->keys.size() == 1) {
                out += word->keys.front();
            } else {
                out += '{';
                for (size_t k = 0; k < word->keys.size(); ++k) {
                    if (k)
                        out += ',';
                    out += word->keys[k];
                }
                out += '}';
            }
        } else if (const auto* cat = std::get_if<C_CatPat>(&elem.pattern)) {
            out += cats.catName(cat->cat);
            if (cat->min != 0 || cat->max != 0) {
                out += '[';
                if (cat->min != 0)
                    out += decimal(cat->min);
                out += ',';
                if (cat->max != 0)
                    out += decimal(cat->max);
                out += ']';
            }
        } else {
            out += "?(" + decimal(elem.pattern.index()) + ")";
        }
        if (elem.weight != 0.0f) {
            out += ':';
            out += signedG3(elem.weight);
        }
    }
    return out;
}

}  // namespace kov
