// The query side of a user-layer dictionary: every I_TailoDB operation asks the lower
// dictionary first (outside the lock) and then adds what the layer's own tables hold (under
// the lock). voc2tailos is the one exception: own readings first, then the lower ones.
#include <stdexcept>

#include "engine/dict/karr_walk.h"
#include "engine/dict/user_db_layer.h"
#include "engine/text/key_pattern.h"
#include "engine/text/tailo.h"
#include "qiv/utf8.h"

namespace kov {

namespace {

void checkVocType(char type) {
    if (type != 'H' && type != 'T')
        throw std::runtime_error("Unknown phrase mapped type: '" +
                                 qiv::escapeCodePoint(static_cast<unsigned char>(type)) + "'");
}

// The unit's typed key is an upper-case letter: its readings are shown capitalised.
bool isCapitalKey(char key) {
    return key >= 'A' && key <= 'Z';
}

// A match of the wildcard items over a key, leaving at most one tone digit after it.
std::optional<C_WildcardMatcher::C_Match> wildcardFits(std::string_view key,
                                                       const C_WildcardMatcher& matcher) {
    const auto m = matcher.matchPrefix(key);
    if (!m)
        return std::nullopt;
    const size_t rest = key.size() - m->length;
    if (rest == 0 || (rest == 1 && isDigitKey(key[m->length])))
        return m;
    return std::nullopt;
}

// The layer's karr2vocs as the key-array walk reads it: rows in map order, each key array seen
// as its "-"-joined text (the map's element-by-element order agrees with that text order
// because "-" sorts below every key character). Joined texts are made only for the rows the
// walk touches. Lives for one walk, under the layer's lock.
class C_OwnKarrEntries : public I_KarrEntries {
public:
    using Rows = std::map<C_CandiPool::KeyArray, C_CandiPool::Vocs>;

    // The rows [first, last) of the table, a run that holds every row the walk can reach.
    C_OwnKarrEntries(Rows::const_iterator first, Rows::const_iterator last,
                     const I_TailoDB& layer)
        : m_layer(layer) {
        for (auto row = first; row != last; ++row)
            m_rows.push_back(&*row);
    }

    size_t karrCount() const override { return m_rows.size(); }

    std::string_view karrKey(size_t i) const override {
        auto [it, added] = m_joined.try_emplace(i);
        if (added)
            it->second = joinKeys(m_rows[i]->first);
        return it->second;
    }

    void visitKarrRecords(size_t i, const FC_KarrRecordVisitor& visit) const override {
        for (const C_TailoVoc& v : m_rows[i]->second) {
            checkVocType(v.type);
            std::vector<std::string> readings;
            if (v.type == 'T')
                readings.push_back(v.word);
            else
                m_layer.voc2tailos(v.word, [&](std::string_view r) { readings.emplace_back(r); });
            C_KarrRecord rec;
            if (v.type == 'H')
                rec.m_text = v.word;
            rec.m_readings = readings;
            rec.m_cats = v.cats;
            rec.m_weight = v.weight;
            visit(rec);
        }
    }

private:
    const I_TailoDB& m_layer;
    std::vector<const std::pair<const C_CandiPool::KeyArray, C_CandiPool::Vocs>*> m_rows;
    mutable std::map<size_t, std::string> m_joined;
};

}  // namespace

void C_UserTailoMixin::walkOwnKarr_(const C_VisitConsts& consts, const C_StdIsle& isle,
                                    size_t itemIndex, int mode,
                                    const FC_CandidateSink& sink) const {
    const auto& table = m_candiPool.karr2vocs;
    if (table.empty())
        return;
    // A plain or syllable island is matched from its first typed key, a letter that every word
    // the walk can find begins with: the rows of other first letters are left out of the walk.
    auto first = table.begin(), last = table.end();
    const char key = consts.keyAt(isle.m_start);
    if (isle.kind() != ISLE_WILDCARD && key >= 'a' && key <= 'z') {
        first = table.lower_bound(C_CandiPool::KeyArray{std::string(1, key)});
        last = table.lower_bound(C_CandiPool::KeyArray{std::string(1, static_cast<char>(key + 1))});
    }
    if (first == last)
        return;
    const C_OwnKarrEntries entries(first, last, *this);
    C_StdKarrVocsRecurseConsts rc(consts, isle, sink, static_cast<E_KarrMode>(mode),
                                  logger().karrThreshold(), ST_USER_WILDCARD, ST_USER_PREFIX);
    // The walk's memos name the rows by their place in the whole table, as long as it stays
    // the same.
    if (first == table.begin() && last == table.end()) {
        rc.m_memoKey = &table;
        rc.m_memoRevision = m_revision.load(std::memory_order_relaxed);
    }
    walkKarrVocs(entries, rc, itemIndex);
}

const I_TailoCats& C_UserTailoMixin::cats() const {
    return m_lower.cats();
}

const I_TailoPolicy& C_UserTailoMixin::logger() const {
    return m_lower.logger();
}

void C_UserTailoMixin::ownReadings_(std::string_view hanWord,
                                    const FC_ReadingSink& reading) const {
    std::lock_guard lock(m_lock);
    const auto e = m_candiPool.hant2tailo.find(std::string(hanWord));
    if (e == m_candiPool.hant2tailo.end())
        return;
    for (const std::string& r : e->second)
        reading(r);
}

void C_UserTailoMixin::voc2tailos(std::string_view hanWord, const FC_ReadingSink& reading) const {
    ownReadings_(hanWord, reading);
    m_lower.voc2tailos(hanWord, reading);
}

bool C_UserTailoMixin::addOwnVocList_(C_CompoUnit& unit, const C_CandiPool::Vocs& vocs,
                                      size_t spanUnits, uint16_t count, bool capital,
                                      E_SourceType source, const FC_ReadingFilter& filter) const {
    bool changed = false;
    for (const C_TailoVoc& v : vocs) {
        checkVocType(v.type);
        std::vector<std::string> readings;
        auto take = [&](std::string_view r) {
            if (filter && !filter(r))
                return;
            readings.push_back(capital ? capitalTailo(r) : std::string(r));
        };
        if (v.type == 'T')
            take(v.word);
        else
            voc2tailos(v.word, take);  // own readings, then every lower layer's; repeats kept
        if (readings.empty())
            continue;
        const std::string_view text = v.type == 'H' ? std::string_view(v.word) : std::string_view();
        if (unit.add(makeVocCandidate(text, std::move(readings), spanUnits, count, v.weight, v.cats,
                                      source)))
            changed = true;
    }
    return changed;
}

void C_UserTailoMixin::addKeyVocs(C_CompoUnit& unit, std::string_view key, bool capital) const {
    m_lower.addKeyVocs(unit, key, capital);
    std::lock_guard lock(m_lock);
    const auto e = m_candiPool.keys2words.find(std::string(key));
    if (e != m_candiPool.keys2words.end())
        addOwnVocList_(unit, e->second, key.size(), 0, capital, ST_USER_EXACT, {});
}

void C_UserTailoMixin::addOwnPrefixWords_(C_CompoUnit& unit, std::string_view keyView,
                                          bool capital) const {
    const std::string key(keyView);
    const size_t n = key.size();
    if (n == 0)
        return;
    const auto& table = m_candiPool.keys2words;
    const char last = key.back();
    if (isToneDigit(last)) {
        const auto e = table.find(key);
        if (e != table.end())
            addOwnVocList_(unit, e->second, n, 1, capital, ST_USER_PREFIX,
                           createTailoWordMatcher(key, true));
        return;
    }
    const bool exactTone = last == '0';
    // Entries that share the pattern but fail the tone test are passed over, not taken as the
    // end of the scan: with a "0" key, "ka1" followed by more text sorts before "ka2".
    for (auto e = table.lower_bound(key); e != table.end(); ++e) {
        const std::string& entry = e->first;
        if (!matchKeyPattern(key, entry, n))
            break;
        const bool fits = exactTone ? entry.size() == n : entry.size() > n && isToneDigit(entry[n]);
        if (!fits)
            continue;
        addOwnVocList_(unit, e->second, n, 1, capital, ST_USER_PREFIX,
                       createTailoWordMatcher(key, exactTone));
    }
}

bool C_UserTailoMixin::addOwnWildcardWords_(C_CompoUnit& unit, std::span<const size_t> spans,
                                            const std::string& prefix,
                                            const C_WildcardMatcher& matcher, bool capital) const {
    const auto& table = m_candiPool.keys2words;
    const auto first = table.lower_bound(prefix);
    const auto last = table.lower_bound(prefix + '\x7F');
    bool changed = false;
    for (auto e = first; e != last && e != table.end(); ++e) {
        const auto m = wildcardFits(e->first, matcher);
        if (!m)
            continue;
        const size_t g = m->groups;
        if (g - 1 >= spans.size())
            continue;
        // A reading is taken when it is one syllable whose key the pattern matches the same way.
        FC_ReadingFilter filter = [&matcher, g](std::string_view reading) {
            const C_TonedKeysResult r = tailo2tonedKeys(reading);
            const auto* keys = std::get_if<std::vector<std::string>>(&r);
            if (!keys || keys->size() != 1)
                return false;
            const auto km = matcher.matchPrefix(keys->front());
            return km && km->groups == g;
        };
        if (addOwnVocList_(unit, e->second, spans[g - 1], 1, capital, ST_USER_WILDCARD, filter))
            changed = true;
    }
    return changed;
}

void C_UserTailoMixin::getIslandVocs(const C_VisitConsts& consts, const C_StdIsle& isle,
                                     const FC_UnitAt& unitAt) const {
    m_lower.getIslandVocs(consts, isle, unitAt);
    std::lock_guard lock(m_lock);

    C_CompoUnit* unit = unitAt(isle.m_start);
    if (!unit)
        throw std::runtime_error("Null cu at " + std::to_string(isle.m_start));
    // A wildcard island walks from each item below, the first one included.
    if (isle.kind() != ISLE_WILDCARD)
        walkOwnKarr_(consts, isle, 0, 0, [&](const C_Candidate& c, std::string_view) {
            if (!isKeyBoundary(consts, isle.m_start + c.m_span))
                return false;
            return unit->add(c);
        });

    const bool capital = isCapitalKey(unit->key());
    switch (isle.kind()) {
    case ISLE_PLAIN:
        return;
    case ISLE_SYLLABLE:
        if (!isle.syllable()->m_loneN)
            addOwnPrefixWords_(*unit, typedKeys(consts, isle.m_start, isle.end()), capital);
        return;
    case ISLE_WILDCARD:
        break;
    default:
        throw std::logic_error("Unknown isle extension id " +
                               std::to_string(static_cast<unsigned>(isle.kind())));
    }

    const std::span<const C_IsleItem> items = isle.items();
    for (size_t i = 0; i < items.size(); ++i) {
        const size_t p = isle.m_start + items[i].m_start;
        C_CompoUnit* u = unitAt(p);
        if (!u)
            throw std::runtime_error("Null cu_final at " + std::to_string(p));
        if (!consts.firstItemLookup(this, p, isle.end()))
            break;
        walkOwnKarr_(consts, isle, i, 0, [&](const C_Candidate& c, std::string_view) {
            if (!isKeyBoundary(consts, p + c.m_span))
                return false;
            return u->add(c);
        });
        const bool cap = isCapitalKey(u->key());
        const std::optional<size_t> gap = isle.gapAfterItem(i);
        if (!gap) {
            addOwnPrefixWords_(*u, typedKeys(consts, p, isle.end()), cap);
            continue;
        }
        std::vector<size_t> spans;
        for (size_t j = i + 1; j < items.size(); ++j)
            spans.push_back(items[j].m_start - items[i].m_start);
        spans.push_back(isle.m_length - items[i].m_start);
        const std::string prefix(typedKeys(consts, p, isle.m_start + *gap));
        addOwnWildcardWords_(*u, spans, prefix, C_WildcardMatcher(items, i, items.size(), true), cap);
    }
}

void C_UserTailoMixin::getRelatedChoices(const C_VisitConsts& consts, const C_StdIsle& isle,
                                         const FC_RelatedSink& sink) const {
    m_lower.getRelatedChoices(consts, isle, sink);
    std::lock_guard lock(m_lock);
    walkOwnKarr_(consts, isle, 0, 1, [&](const C_Candidate& c, std::string_view text) {
        const C_SemiCandidate semi = c.semi();
        sink(0, std::span<const C_SemiCandidate>(&semi, 1), text);
        return true;
    });
}

std::optional<uint64_t> C_UserTailoMixin::vocRevision() const {
    const std::optional<uint64_t> lower = vocRevisionOf(m_lower);
    if (!lower)
        return std::nullopt;
    return *lower + m_revision.load(std::memory_order_relaxed);
}

void C_UserTailoMixin::visitCatRules(std::span<const uint8_t> cats,
                                     const FC_RuleVisitor& visit) const {
    m_lower.visitCatRules(cats, visit);
    std::lock_guard lock(m_lock);
    m_rules.visitCatRules(cats, visit);
}

void C_UserTailoMixin::visitWordRules(const std::string& text,
                                      const std::vector<std::string>& keys,
                                      const FC_RuleVisitor& visit) const {
    m_lower.visitWordRules(text, keys, visit);
    std::lock_guard lock(m_lock);
    m_rules.visitWordRules(text, keys, visit);
}

}  // namespace kov
