#include "engine/dict/rule.h"

#include <algorithm>
#include <set>
#include <stdexcept>
#include <utility>

#include "engine/dict/tailo_db.h"
#include "qiv/byte_cursor.h"

namespace kov {

namespace {

[[noreturn]] void throwUnknownKind(size_t kind) {
    throw std::logic_error("Unknown C_RulePat index: " + std::to_string(kind));
}

[[noreturn]] void throwTruncatedKey(size_t pos) {
    throw std::logic_error("Truncated rule key at byte " + std::to_string(pos));
}

bool storableText(const std::string& s) { return s.find('\0') == std::string::npos; }

// The walk up the category tree stops after this many parent steps: a longer chain can only
// come from a parent cycle in a damaged table.
constexpr int kMaxCatSteps = 255;

}  // namespace

std::string ruleKey(const C_Rule& rule) {
    std::string key;
    for (const C_RuleElem& e : rule) {
        const size_t kind = e.pattern.index();
        switch (kind) {
            case RULE_GAP:
                qiv::putU8(key, RULE_GAP);
                break;
            case RULE_WORD: {
                const auto& w = std::get<C_WordPat>(e.pattern);
                qiv::putU8(key, RULE_WORD);
                qiv::putU16(key, w.count);
                qiv::putCString(key, w.text);
                for (const std::string& k : w.keys)
                    qiv::putCString(key, k);
                qiv::putU8(key, 0);
                break;
            }
            case RULE_CAT: {
                const auto& c = std::get<C_CatPat>(e.pattern);
                qiv::putU8(key, RULE_CAT);
                qiv::putU8(key, c.cat);
                qiv::putU16(key, c.min);
                qiv::putU16(key, c.max);
                break;
            }
            default:
                throwUnknownKind(kind);
        }
    }
    return key;
}

C_Rule parseRulePats(const std::string& key) {
    C_Rule rule;
    qiv::C_ByteCursor in(key);
    while (!in.atEnd()) {
        const uint8_t kind = *in.u8();
        switch (kind) {
            case RULE_GAP:
                rule.push_back(C_RuleElem{C_GapPat{}, 0});
                break;
            case RULE_WORD: {
                C_WordPat w;
                const auto count = in.u16();
                const auto text = in.cString();
                if (!count || !text)
                    throwTruncatedKey(in.pos());
                w.count = *count;
                w.text = std::string(*text);
                for (;;) {
                    const auto k = in.cString();
                    if (!k)
                        throwTruncatedKey(in.pos());
                    if (k->empty())
                        break;
                    w.keys.emplace_back(*k);
                }
                rule.push_back(C_RuleElem{std::move(w), 0});
                break;
            }
            case RULE_CAT: {
                C_CatPat c;
                if (!in.readU8(c.cat) || !in.readU16(c.min) || !in.readU16(c.max))
                    throwTruncatedKey(in.pos());
                rule.push_back(C_RuleElem{c, 0});
                break;
            }
            default:
                throwUnknownKind(kind);
        }
    }
    return rule;
}

bool isStorableRule(const C_Rule& rule) {
    for (const C_RuleElem& e : rule) {
        if (const auto* w = std::get_if<C_WordPat>(&e.pattern)) {
            if (!storableText(w->text))
                return false;
            for (const std::string& k : w->keys)
                if (k.empty() || !storableText(k))
                    return false;
        }
    }
    return true;
}

// An index entry: the rule (weakly: the table owns it) and the element it is filed under.
struct C_RuleTable::C_IndexRef {
    std::weak_ptr<C_Rule> rule;
    size_t elem = 0;
};

C_RuleTable::C_RuleTable(const I_TailoCats& cats) : m_cats(&cats) {}
C_RuleTable::~C_RuleTable() = default;
C_RuleTable::C_RuleTable(const C_RuleTable&) = default;
C_RuleTable& C_RuleTable::operator=(const C_RuleTable&) = default;
C_RuleTable::C_RuleTable(C_RuleTable&&) noexcept = default;
C_RuleTable& C_RuleTable::operator=(C_RuleTable&&) noexcept = default;

bool C_RuleTable::addRule(C_RulePtr rule) {
    if (!rule || !isStorableRule(*rule))
        return false;
    std::string key = ruleKey(*rule);
    const auto it = m_rules.find(key);
    if (it == m_rules.end())
        return indexAndStore_(key, std::move(rule), C_UsageStamp::fresh());

    // Same key, same patterns: merge by adding the weights into the stored rule.
    C_Rule& stored = *it->second.rule;
    bool anyAdded = false;
    bool allZero = true;
    for (size_t i = 0; i < rule->size() && i < stored.size(); ++i) {
        const float added = (*rule)[i].weight;
        stored[i].weight += added;
        anyAdded = anyAdded || !(added == 0);  // a NaN counts as added
        allZero = allZero && stored[i].weight == 0;
    }
    if (allZero)
        eraseRule(it);  // the opposite weights cancel the rule
    else if (anyAdded)
        it->second.stamp = C_UsageStamp::fresh();
    return true;
}

bool C_RuleTable::insertRule(C_RulePtr rule, C_UsageStamp stamp) {
    if (!rule || !isStorableRule(*rule))
        return false;
    std::string key = ruleKey(*rule);
    if (m_rules.count(key))
        return false;
    return indexAndStore_(key, std::move(rule), stamp);
}

bool C_RuleTable::indexAndStore_(const std::string& key, C_RulePtr rule, C_UsageStamp stamp) {
    if (!indexRule(rule))
        return false;
    m_rules.emplace(key, C_Entry{std::move(rule), stamp});
    return true;
}

bool C_RuleTable::indexRule(const C_RulePtr& rule) {
    if (!rule || rule->empty())
        return false;
    const C_Rule& r = *rule;
    for (size_t i = 0; i < r.size(); ++i) {
        if (const auto* w = std::get_if<C_WordPat>(&r[i].pattern)) {
            auto& byKey = m_wordIndex[w->text];
            if (w->keys.empty())
                byKey[""].push_back(C_IndexRef{rule, i});
            else
                for (const std::string& k : w->keys)
                    byKey[k].push_back(C_IndexRef{rule, i});
            return true;
        }
    }
    for (size_t i = 0; i < r.size(); ++i) {
        if (const auto* c = std::get_if<C_CatPat>(&r[i].pattern)) {
            m_catIndex[c->cat].push_back(C_IndexRef{rule, i});
            return true;
        }
    }
    return false;  // gaps only: nothing to find it by
}

bool C_RuleTable::unfile_(C_Refs& refs, const C_Rule* rule) {
    for (auto it = refs.begin(); it != refs.end();) {
        const C_RulePtr live = it->rule.lock();
        if (!live) {
            it = refs.erase(it);
            continue;
        }
        if (live.get() == rule) {
            refs.erase(it);
            return true;
        }
        ++it;
    }
    return false;
}

void C_RuleTable::eraseRule(C_Rules::iterator entry) {
    const C_RulePtr keep = entry->second.rule;  // alive until its index entries are gone
    const C_Rule* rule = keep.get();
    bool found = false;
    if (rule) {
        for (const C_RuleElem& e : *rule) {
            const auto* w = std::get_if<C_WordPat>(&e.pattern);
            if (!w)
                continue;
            const auto text = m_wordIndex.find(w->text);
            if (text == m_wordIndex.end())
                continue;
            std::vector<std::string> keys{""};
            keys.insert(keys.end(), w->keys.begin(), w->keys.end());
            for (const std::string& k : keys) {
                const auto refs = text->second.find(k);
                if (refs == text->second.end())
                    continue;
                found = unfile_(refs->second, rule) || found;
                if (refs->second.empty())
                    text->second.erase(refs);
            }
            if (text->second.empty())
                m_wordIndex.erase(text);
            if (found)
                break;
        }
        if (!found) {
            for (const C_RuleElem& e : *rule) {
                const auto* c = std::get_if<C_CatPat>(&e.pattern);
                if (!c)
                    continue;
                const auto refs = m_catIndex.find(c->cat);
                if (refs == m_catIndex.end())
                    continue;
                found = unfile_(refs->second, rule);
                if (refs->second.empty())
                    m_catIndex.erase(refs);
                if (found)
                    break;
            }
        }
    }
    m_rules.erase(entry);
}

uint32_t C_RuleTable::countHit(const std::string& key) {
    const auto it = m_rules.find(key);
    if (it == m_rules.end())
        return 0;
    C_UsageStamp& s = it->second.stamp;
    if (s.count != UINT32_MAX)
        ++s.count;
    s.time = nowSeconds();
    return s.count;
}

C_RulePtr C_RuleTable::takeRule(const std::string& key) {
    const auto it = m_rules.find(key);
    if (it == m_rules.end())
        return {};
    C_RulePtr rule = it->second.rule;
    eraseRule(it);
    return rule;
}

const C_RuleTable::C_Entry* C_RuleTable::find(const std::string& key) const {
    const auto it = m_rules.find(key);
    return it == m_rules.end() ? nullptr : &it->second;
}

namespace {

using C_Hits = std::set<std::pair<C_RulePtr, size_t>>;

template <class Refs>
void collectLive(const Refs& refs, C_Hits& hits) {
    for (const auto& ref : refs)
        if (C_RulePtr r = ref.rule.lock())
            hits.emplace(std::move(r), ref.elem);
}

void visitHits(const C_Hits& hits, const FC_RuleVisitor& visit) {
    for (const auto& [rule, elem] : hits)
        visit(*rule, elem);
}

}  // namespace

void C_RuleTable::visitWordRules(const std::string& text, const std::vector<std::string>& keys,
                                 const FC_RuleVisitor& visit) const {
    const auto byKey = m_wordIndex.find(text);
    if (byKey == m_wordIndex.end())
        return;
    C_Hits hits;
    if (const auto refs = byKey->second.find(std::string()); refs != byKey->second.end())
        collectLive(refs->second, hits);
    for (const std::string& k : keys) {
        if (k.empty())
            continue;  // already collected
        if (const auto refs = byKey->second.find(k); refs != byKey->second.end())
            collectLive(refs->second, hits);
    }
    visitHits(hits, visit);
}

void C_RuleTable::visitCatRules(std::span<const uint8_t> cats, const FC_RuleVisitor& visit) const {
    C_Hits hits;
    std::set<uint8_t> seen;  // a category reached twice adds nothing new
    for (const uint8_t first : cats) {
        uint8_t c = first;
        for (int step = 0; c != 0 && step <= kMaxCatSteps; ++step) {
            if (!seen.insert(c).second)
                break;  // its ancestors were collected already
            if (const auto refs = m_catIndex.find(c); refs != m_catIndex.end())
                collectLive(refs->second, hits);
            c = m_cats->parentCat(c);
        }
    }
    visitHits(hits, visit);
}

size_t C_RuleTable::purge(size_t limit) {
    if (m_rules.size() <= limit)
        return 0;
    std::vector<std::pair<uint32_t, C_Rules::iterator>> byScore;
    byScore.reserve(m_rules.size());
    for (auto it = m_rules.begin(); it != m_rules.end(); ++it) {
        const C_UsageStamp& s = it->second.stamp;
        // Each hit is worth ten minutes of recency; the sum wraps in 32 bits.
        byScore.emplace_back(static_cast<uint32_t>(s.count * 600u + s.time), it);
    }
    // Map order is key order, so a stable sort breaks ties by key.
    std::stable_sort(byScore.begin(), byScore.end(),
                     [](const auto& a, const auto& b) { return a.first < b.first; });
    const size_t drop = m_rules.size() - limit;
    for (size_t i = 0; i < drop; ++i)
        eraseRule(byScore[i].second);
    return drop;
}

}  // namespace kov
