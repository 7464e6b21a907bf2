#pragma once
// Learning jobs built by hand: a line of units with candidates, committed with the user's nails,
// and the learning dictionary's rules and words as short texts.

#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "engine/compose/rule_runner.h"
#include "tests/compose/snapshot_fixture.h"
#include "fixtures/learn_db_fixture.h"

namespace kov::test {

// The job a line hands over once the user nailed the candidates at (position, text): the line's
// winners over all its units with those nails, copied as the input line copies itself.
inline C_InputLineSnapshot commit(C_TestLine& line,
                                  const std::vector<std::pair<size_t, std::string>>& nails = {}) {
    for (const auto& [pos, text] : nails) {
        C_Candidate* c = line.find(pos, text);
        if (!c) {
            ADD_FAILURE() << "no candidate " << text << " at " << pos;
            continue;
        }
        c->m_rank = RANK_NAILED;
        line.unit(pos).markUnsorted();
    }
    line.snap().findWinners(line.size());
    return C_InputLineSnapshot(line.snap());
}

// The rules of a table as dumpRules writes them, in key order.
inline std::vector<std::string> ruleTexts(const C_RuleTable& table) {
    std::vector<std::string> out;
    for (const auto& [key, entry] : table.rules())
        out.push_back(dumpRules(*entry.rule, table.cats()));
    return out;
}

// The records of a table entry as "type:word#count" joined by blanks; "" when there is none.
inline std::string vocsText(const C_CandiPool::Vocs* vocs) {
    std::string out;
    if (!vocs)
        return out;
    for (const C_TailoVoc& v : *vocs) {
        if (!out.empty())
            out += ' ';
        out += std::string(1, v.type) + ":" + v.word + "#" + std::to_string(v.stamp.count);
    }
    return out;
}

inline std::string wordsAt(const C_CandiPool& pool, const std::string& key) {
    const auto e = pool.keys2words.find(key);
    return vocsText(e == pool.keys2words.end() ? nullptr : &e->second);
}

inline std::string vocsAt(const C_CandiPool& pool, const std::vector<std::string>& keys) {
    const auto e = pool.karr2vocs.find(keys);
    return vocsText(e == pool.karr2vocs.end() ? nullptr : &e->second);
}

}  // namespace kov::test
