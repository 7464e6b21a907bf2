// The counting steps of a learning job: words of the user layers that the user keeps
// committing are approved until they ripen and move to the user dictionary; words the user
// passed over are disapproved; rules that keep matching ripen and move too; Tai-lo spelled from
// the keys is learned as words. The caller holds the dictionary lock throughout.

#include <set>
#include <string>
#include <vector>

#include "engine/compose/learn_db.h"
#include "engine/compose/learn_words.h"
#include "engine/compose/rule_runner.h"

namespace kov {

namespace {

std::string joinKeys(const std::vector<std::string>& keys) {
    std::string out;
    for (const std::string& k : keys) {
        if (!out.empty())
            out += '-';
        out += k;
    }
    return out;
}

C_CandiPool::Vocs* findVocs(C_CandiPool& pool, const std::vector<std::string>& keys) {
    if (keys.size() == 1) {
        const auto e = pool.keys2words.find(keys.front());
        return e == pool.keys2words.end() ? nullptr : &e->second;
    }
    const auto e = pool.karr2vocs.find(keys);
    return e == pool.karr2vocs.end() ? nullptr : &e->second;
}

C_TailoVoc* findVoc(C_CandiPool& pool, const std::vector<std::string>& keys, char type,
                    const std::string& text) {
    C_CandiPool::Vocs* vocs = findVocs(pool, keys);
    if (!vocs)
        return nullptr;
    for (C_TailoVoc& v : *vocs)
        if (v.type == type && v.word == text)
            return &v;
    return nullptr;
}

// The characters that part the words of a Tai-lo text.
constexpr std::string_view kTailoSeparators = "- ,.;:?!()";

bool holdsWord(std::string_view reading) {
    return reading.find_first_not_of(kTailoSeparators) != std::string_view::npos;
}

// The reading a committed word is written with: the chosen one, else the first.
const std::string* writtenReading(const C_Candidate& c) {
    if (const std::string* chosen = chosenReading(c))
        return chosen;
    return c.m_readings.empty() ? nullptr : &c.m_readings.front();
}

bool isRawHyphen(const C_Candidate& c) { return c.m_source == ST_RAW_KEY && c.m_text == "-"; }

}  // namespace

void C_LearnTailoDB::approveVocs(const std::vector<C_Winner>& winners) {
    for (const C_Winner& w : winners) {
        const C_Candidate* c = w.m_candidate;
        if (!c || c->m_source < ST_USER_EXACT)
            continue;
        const auto nonTailo = [this](const std::string& reading, const char* which) {
            log_(1, "Non-Tailo \"" + reading + "\" calling approveVoc_() " + which);
        };
        if (const std::string* chosen = chosenReading(*c)) {
            if (const auto keys = tonedKeysOf(*chosen))
                approveVoc_(*keys, 'T', *chosen);
            else
                nonTailo(*chosen, "1/3");
        } else if (!c->m_text.empty()) {
            std::set<std::vector<std::string>> arrays;
            for (const std::string& reading : c->m_readings) {
                if (auto keys = tonedKeysOf(reading))
                    arrays.insert(std::move(*keys));
                else
                    nonTailo(reading, "2/3");
            }
            for (const std::vector<std::string>& keys : arrays)
                approveVoc_(keys, 'H', c->m_text);
        } else {
            for (const std::string& reading : c->m_readings) {
                if (const auto keys = tonedKeysOf(reading))
                    approveVoc_(*keys, 'T', reading);
                else
                    nonTailo(reading, "3/3");
            }
        }
    }
}

void C_LearnTailoDB::approveVoc_(const std::vector<std::string>& keys, char type,
                                 const std::string& text) {
    C_TailoVoc* voc = findVoc(m_candiPool, keys, type, text);
    if (!voc)
        return;
    if (voc->stamp.count != UINT32_MAX)
        ++voc->stamp.count;
    voc->stamp.time = nowSeconds();
    markDirty_();
    const bool oneKey = keys.size() == 1;
    const uint64_t ripe = m_policy->getLimit(oneKey ? RIPE_WORD_COUNT : RIPE_VOC_COUNT);
    if (voc->stamp.count < ripe)
        return;

    const std::string what = "/" + text + " with type " + std::string(1, type);
    if (oneKey) {
        if (!m_upper.addKeysToWord(keys.front(), type, text, voc->weight, voc->cats, 0)) {
            log_(1, "Failed to upgrade ripe keys to word: " + keys.front() + what);
            return;
        }
    } else {
        // The user dictionary's listeners may have run meanwhile; look the record up again.
        voc = findVoc(m_candiPool, keys, type, text);
        if (!voc) {
            log_(1, "Failed to find ripe karray to voc: " + joinKeys(keys) + what);
            return;
        }
        if (!m_upper.addKarrToVoc(keys, type, text, voc->weight, voc->cats, 0)) {
            log_(1, "Failed to upgrade ripe karray to voc: " + joinKeys(keys) + what);
            return;
        }
    }
    if (type == 'H') {
        // The readings of this word under the promoted keys go along; others stay here.
        std::vector<std::string> moving;
        m_candiPool.visit_tailos_of_hant(text, [&](std::string_view reading) {
            if (tonedKeysOf(reading) == keys)
                moving.emplace_back(reading);
        });
        for (const std::string& reading : moving) {
            m_upper.addHantTailo(text, reading);
            m_candiPool.erase_hant2tailo(text, reading);
        }
    }
    if (oneKey)
        m_candiPool.erase_keys_word(keys.front(), type, text);
    else
        m_candiPool.erase_karray_voc(keys, type, text);
    markDirty_();
}

void C_LearnTailoDB::disapproveVocs_(const C_InputLineSnapshot& job) {
    std::vector<const C_Candidate*> committed(job.m_elements.size(), nullptr);
    for (const C_Winner& w : job.m_winners)
        if (w.m_start < committed.size())
            committed[w.m_start] = w.m_candidate;
    for (size_t pos = 0; pos < job.m_elements.size(); ++pos) {
        const C_CompoUnit* unit = job.unitAt(pos);
        if (!unit)
            continue;
        for (const C_Candidate& c : unit->candidates()) {
            if (c.m_source < ST_USER_EXACT || &c == committed[pos])
                continue;
            if (!c.m_text.empty()) {
                std::set<std::vector<std::string>> arrays;
                for (const std::string& reading : c.m_readings) {
                    if (auto keys = tonedKeysOf(reading))
                        arrays.insert(std::move(*keys));
                    else
                        log_(1, "Non-Tailo \"" + reading + "\" calling disapproveVoc_() 1/2");
                }
                for (const std::vector<std::string>& keys : arrays)
                    disapproveVoc_(keys, 'H', c.m_text);
            } else {
                for (const std::string& reading : c.m_readings) {
                    if (const auto keys = tonedKeysOf(reading))
                        disapproveVoc_(*keys, 'T', reading);
                    else
                        log_(1, "Non-Tailo \"" + reading + "\" calling disapproveVoc_() 2/2");
                }
            }
        }
    }
}

void C_LearnTailoDB::disapproveVoc_(const std::vector<std::string>& keys, char type,
                                    const std::string& text) {
    const int r = keys.size() == 1 ? m_candiPool.disapprove_keys_word(keys.front(), type, text)
                                   : m_candiPool.disapprove_karray_voc(keys, type, text);
    if (r != 2)
        markDirty_();
}

void C_LearnTailoDB::ripenRules_(const C_RuleMatches& matches) {
    std::set<std::string> keys;
    for (const auto& [candidate, elements] : matches)
        for (const auto& [element, weight] : elements)
            keys.insert(element.m_ruleKey);
    const uint64_t ripe = m_policy->getLimit(RIPE_RULE_COUNT);
    for (const std::string& key : keys) {
        const uint32_t count = m_rules.countHit(key);
        if (count == 0)
            continue;
        markDirty_();
        if (count < ripe)
            continue;
        const C_UsageStamp stamp = m_rules.find(key)->stamp;
        C_RulePtr rule = m_rules.takeRule(key);
        if (!rule) {
            log_(1,
                 "Failed to erase ripe rule from the DB: " + dumpRules(parseRulePats(key), cats()));
            continue;
        }
        if (!m_upper.addRule(rule)) {
            // Kept with its count, to be offered again at its next hit.
            m_rules.insertRule(rule, stamp);
            log_(1, "Failed to add ripe rule to the upper DB: " + dumpRules(*rule, cats()));
        }
    }
}

void C_LearnTailoDB::learnAdhocTailos_(const std::vector<C_Winner>& winners) {
    // Consecutive Tai-lo words, with "-" keys between them, form a run that is learned as one
    // text when it holds two readings or more.
    std::vector<const C_Candidate*> run;
    const auto closeRun = [&] {
        while (!run.empty() && run.back()->m_source == ST_RAW_KEY)
            run.pop_back();
        std::string text;
        size_t readings = 0;
        for (const C_Candidate* c : run) {
            const std::string* reading = isRawHyphen(*c) ? nullptr : writtenReading(*c);
            const std::string piece = reading ? *reading : c->m_text;
            // Words side by side are parted by "-", as the keys would be.
            if (!text.empty() && !piece.empty() &&
                kTailoSeparators.find(text.back()) == std::string_view::npos &&
                kTailoSeparators.find(piece.front()) == std::string_view::npos)
                text += '-';
            text += piece;
            if (reading)
                ++readings;
        }
        run.clear();
        if (readings >= 2)
            learnAdhocTailo(text);
    };
    const auto checkAdhocTailo = [&](const C_Candidate* c) {
        if (!c) {
            closeRun();
            return;
        }
        if (isRawHyphen(*c)) {
            if (!run.empty())
                run.push_back(c);
            return;
        }
        if (!c->m_text.empty() && !chosenReading(*c)) {
            closeRun();
            return;
        }
        const std::string* reading = writtenReading(*c);
        if (!reading || !holdsWord(*reading)) {
            closeRun();
            return;
        }
        run.push_back(c);
    };
    for (const C_Winner& w : winners) {
        const C_Candidate* c = w.m_candidate;
        if (c && c->m_source == ST_SPELLED && !c->m_readings.empty())
            learnAdhocTailo(c->m_readings.front());
        checkAdhocTailo(c);
    }
    checkAdhocTailo(nullptr);
}

void C_LearnTailoDB::learnAdhocTailo(const std::string& tailo) {
    const auto keys = tonedKeysOf(tailo);
    if (!keys) {
        log_(1, "Non-Tailo \"" + tailo +
                    "\" calling m_candiPool.add_keys_to_word() or m_candiPool.add_karray_to_voc() "
                    "for ADHOC_TAILO");
        return;
    }
    const C_VocTableError e =
        keys->size() == 1 ? m_candiPool.add_keys_to_word(keys->front(), 'T', tailo, 0.0f, {}, 0)
                          : m_candiPool.add_karray_to_voc(*keys, 'T', tailo, 0.0f, {}, 0);
    if (e.failed)
        log_(1, "Ad-hoc tailo \"" + tailo + "\" failed to add as user voc:" + e.text);
    else
        markLearned_();
}

}  // namespace kov
