// The query side of a user-layer dictionary: every I_TailoDB operation asks the lower
// dictionary first (outside the lock) and then adds what the layer's own tables hold (under
// the lock). voc2tailos is the one exception: own readings first, then the lower ones.
#include <stdexcept>

#include "engine/dict/karr_walk.h"
#include "engine/dict/key_lookup.h"
#include "engine/dict/user_db_layer.h"
#include "engine/text/key_pattern.h"
#include "qiv/utf8.h"

namespace kov {

namespace {

void checkVocType(char type) {
    if (type != 'H' && type != 'T')
        throw std::runtime_error("Unknown phrase mapped type: '" +
                                 qiv::escapeCodePoint(static_cast<unsigned char>(type)) + "'");
}

// The records of a row: 'T' its word, 'H' the layer's readings of the Han word (its own, then
// every lower layer's).
void visitOwnRecords(const C_CandiPool::Vocs& vocs, const I_TailoDB& layer,
                     const FC_VocRecordVisitor& visit) {
    for (const C_TailoVoc& v : vocs) {
        checkVocType(v.type);
        std::vector<std::string> readings;
        if (v.type == 'T')
            readings.push_back(v.word);
        else
            layer.voc2tailos(v.word, [&](std::string_view r) { readings.emplace_back(r); });
        C_VocRecord rec;
        if (v.type == 'H')
            rec.m_text = v.word;
        rec.m_readings = readings;
        rec.m_cats = v.cats;
        rec.m_weight = v.weight;
        visit(rec);
    }
}

// The layer's karr2vocs as the key-array walk reads it: rows in map order, each key array seen
// as its "-"-joined text (the map's element-by-element order agrees with that text order
// because "-" sorts below every key character). Joined texts are made only for the rows the
// walk touches. Lives for one walk, under the layer's lock.
class C_OwnKarrEntries : public I_KarrEntries {
public:
    using Rows = std::map<C_CandiPool::KeyArray, C_CandiPool::Vocs>;

    // The rows [first, last) of the table, a run that holds every row the walk can reach.
    C_OwnKarrEntries(Rows::const_iterator first, Rows::const_iterator last, const I_TailoDB& layer)
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
        visitOwnRecords(m_rows[i]->second, m_layer, visit);
    }

private:
    const I_TailoDB& m_layer;
    std::vector<const std::pair<const C_CandiPool::KeyArray, C_CandiPool::Vocs>*> m_rows;
    mutable std::map<size_t, std::string> m_joined;
};

// The layer's keys2words as the key lookups scan it.
class C_OwnKeyEntries final : public I_KeyEntries {
public:
    C_OwnKeyEntries(const std::map<std::string, C_CandiPool::Vocs>& table, const I_TailoDB& layer)
        : m_table(table), m_layer(layer) {}

    void scanKeys(std::string_view from, const FC_KeyEntryVisitor& visit) const override {
        C_Entry entry(m_layer);
        for (auto row = m_table.lower_bound(std::string(from)); row != m_table.end(); ++row) {
            entry.m_row = &*row;
            if (!visit(entry))
                return;
        }
    }

private:
    class C_Entry final : public I_KeyEntry {
    public:
        explicit C_Entry(const I_TailoDB& layer) : m_layer(layer) {}
        std::string_view key() const override { return m_row->first; }
        void visitRecords(const FC_VocRecordVisitor& visit) const override {
            visitOwnRecords(m_row->second, m_layer, visit);
        }
        const std::pair<const std::string, C_CandiPool::Vocs>* m_row = nullptr;

    private:
        const I_TailoDB& m_layer;
    };

    const std::map<std::string, C_CandiPool::Vocs>& m_table;
    const I_TailoDB& m_layer;
};

// A user layer's source types; a reading that the layers report more than once is kept as
// often, each layer's reading counting.
constexpr C_LayerSources kUserSources{ST_USER_EXACT, ST_USER_WILDCARD, ST_USER_PREFIX, false};

}  // namespace

const I_TailoCats& C_UserTailoMixin::cats() const { return m_lower.cats(); }

const I_TailoPolicy& C_UserTailoMixin::logger() const { return m_lower.logger(); }

void C_UserTailoMixin::ownReadings_(std::string_view hanWord, const FC_ReadingSink& reading) const {
    const C_TablesLock lock(*this);
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

// The layer's own tables as the island lookups read them; used under the layer's lock.
class C_UserTailoMixin::C_OwnTables final : public I_LayerTables {
public:
    explicit C_OwnTables(const C_UserTailoMixin& layer)
        : m_layer(layer), m_keys(layer.m_candiPool.keys2words, layer) {}
    const I_KeyEntries& syllableKeys() const override { return m_keys; }
    void walkKarr(const C_VisitConsts& consts, const C_StdIsle& isle, size_t item, E_KarrMode mode,
                  const FC_CandidateSink& sink) const override {
        const auto& table = m_layer.m_candiPool.karr2vocs;
        if (table.empty())
            return;
        // A plain or syllable island is matched from its first typed key, a letter that every
        // word the walk can find begins with: the rows of other first letters are left out.
        auto first = table.begin(), last = table.end();
        const char key = consts.keyAt(isle.m_start);
        if (isle.kind() != ISLE_WILDCARD && key >= 'a' && key <= 'z') {
            first = table.lower_bound(C_CandiPool::KeyArray{std::string(1, key)});
            last = table.lower_bound(
                C_CandiPool::KeyArray{std::string(1, static_cast<char>(key + 1))});
        }
        if (first == last)
            return;
        const C_OwnKarrEntries entries(first, last, m_layer);
        C_StdKarrVocsRecurseConsts rc(consts, isle, sink, mode, m_layer.logger().karrThreshold(),
                                      kUserSources.m_inexact, kUserSources.m_prefix);
        // The walk's memos name the rows by their place in the whole table, as long as it
        // stays the same.
        if (first == table.begin() && last == table.end()) {
            rc.m_memoKey = &table;
            rc.m_memoRevision = m_layer.m_revision.load(std::memory_order_relaxed);
        }
        walkKarrVocs(entries, rc, item);
    }

private:
    const C_UserTailoMixin& m_layer;
    const C_OwnKeyEntries m_keys;
};

void C_UserTailoMixin::addKeyVocs(C_CompoUnit& unit, std::string_view key, bool capital) const {
    m_lower.addKeyVocs(unit, key, capital);
    const C_TablesLock lock(*this);
    addExactKeyWords(C_OwnKeyEntries(m_candiPool.keys2words, *this), kUserSources, unit, key,
                     capital);
}

void C_UserTailoMixin::getIslandVocs(const C_VisitConsts& consts, const C_StdIsle& isle,
                                     const FC_UnitAt& unitAt) const {
    m_lower.getIslandVocs(consts, isle, unitAt);
    const C_TablesLock lock(*this);
    addIslandVocs(C_OwnTables(*this), kUserSources, this, consts, isle, unitAt);
}

void C_UserTailoMixin::getRelatedChoices(const C_VisitConsts& consts, const C_StdIsle& isle,
                                         const FC_RelatedSink& sink) const {
    m_lower.getRelatedChoices(consts, isle, sink);
    const C_TablesLock lock(*this);
    addRelatedChoices(C_OwnTables(*this), consts, isle, sink);
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
    const C_TablesLock lock(*this);
    m_rules.visitCatRules(cats, visit);
}

void C_UserTailoMixin::visitWordRules(const std::string& text, const std::vector<std::string>& keys,
                                      const FC_RuleVisitor& visit) const {
    m_lower.visitWordRules(text, keys, visit);
    const C_TablesLock lock(*this);
    m_rules.visitWordRules(text, keys, visit);
}

}  // namespace kov
