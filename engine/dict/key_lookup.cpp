#include "engine/dict/key_lookup.h"

#include <algorithm>
#include <optional>
#include <stdexcept>
#include <unordered_map>
#include <utility>
#include <variant>
#include <vector>

#include "engine/text/key_pattern.h"
#include "engine/text/sounds.h"
#include "engine/text/tailo.h"

namespace kov {

namespace {

// What the filter says of each distinct reading, asked once a reading: the records of one key
// mostly share their readings. The first few verdicts are searched in a list; a key of many
// records (a user's own words under one key) goes over to a hash table, so that a reading
// never costs a search through every reading seen before it.
class C_ReadingVerdicts {
public:
    explicit C_ReadingVerdicts(const FC_ReadingFilter& filter) : m_filter(filter) {}

    bool admits(const std::string& reading) {
        if (m_many.empty()) {
            for (const auto& [r, ok] : m_few)
                if (r == reading)
                    return ok;
        } else if (auto it = m_many.find(reading); it != m_many.end()) {
            return it->second;
        }
        const bool ok = m_filter(reading);
        if (!m_many.empty()) {
            m_many.emplace(reading, ok);
        } else if (m_few.size() < kFew) {
            m_few.emplace_back(reading, ok);
        } else {
            for (auto& [r, v] : m_few)
                m_many.emplace(std::move(r), v);
            m_few.clear();
            m_many.emplace(reading, ok);
        }
        return ok;
    }

private:
    static constexpr size_t kFew = 16;
    const FC_ReadingFilter& m_filter;
    std::vector<std::pair<std::string, bool>> m_few;
    std::unordered_map<std::string, bool> m_many;
};

// The unit's typed key is an upper-case letter: its readings are shown capitalised.
bool isCapitalKey(char key) { return key >= 'A' && key <= 'Z'; }

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

// Keys from a scan's start that still begin with prefix: those less than prefix followed by
// the byte 0x7F.
bool withinPrefix(std::string_view key, std::string_view prefix) {
    return key.starts_with(prefix) &&
           (key.size() == prefix.size() || static_cast<unsigned char>(key[prefix.size()]) < 0x7F);
}

}  // namespace

bool addEntryRecords(C_CompoUnit& unit, const I_KeyEntry& entry, const C_RecordAdd& how,
                     const FC_ReadingFilter& filter) {
    if (how.m_span > 65535)
        throw std::runtime_error("Span units too large: " + std::to_string(how.m_span));
    bool changed = false;
    C_ReadingVerdicts verdicts(filter);
    entry.visitRecords([&](const C_VocRecord& rec) {
        std::vector<std::string> kept;
        for (const std::string& reading : rec.m_readings) {
            if (filter && !verdicts.admits(reading))
                continue;
            std::string r = how.m_capital ? capitalTailo(reading) : reading;
            if (!how.m_dropRepeatedReadings || std::find(kept.begin(), kept.end(), r) == kept.end())
                kept.push_back(std::move(r));
        }
        if (kept.empty())
            return;
        if (unit.add(makeVocCandidate(rec.m_text, std::move(kept), how.m_span, how.m_count,
                                      rec.m_weight, rec.m_cats, how.m_source)))
            changed = true;
    });
    return changed;
}

namespace {

// Adds the records of the entry equal to key.
void addEqualKey(const I_KeyEntries& entries, std::string_view key, const C_RecordAdd& how,
                 const FC_ReadingFilter& filter, C_CompoUnit& unit) {
    entries.scanKeys(key, [&](const I_KeyEntry& e) {
        if (e.key() == key)
            addEntryRecords(unit, e, how, filter);
        return false;
    });
}

}  // namespace

void addExactKeyWords(const I_KeyEntries& entries, const C_LayerSources& sources, C_CompoUnit& unit,
                      std::string_view key, bool capital) {
    addEqualKey(entries, key,
                {key.size(), 0, capital, sources.m_exact, sources.m_dropRepeatedReadings}, {},
                unit);
}

void addPrefixWords(const I_KeyEntries& entries, const C_LayerSources& sources, C_CompoUnit& unit,
                    std::string_view key) {
    if (key.empty() || key.size() > entries.longestKey())
        return;
    const size_t n = key.size();
    const C_RecordAdd how{n, 1, isCapitalKey(unit.key()), sources.m_prefix,
                          sources.m_dropRepeatedReadings};
    const char last = key.back();
    if (isToneDigit(last)) {
        addEqualKey(entries, key, how, createTailoWordMatcher(key, true), unit);
        return;
    }
    // "0" stands for any tone digit: the entry must end right there. Without a tone the entry
    // must go on with one. Entries that share the keys but go on otherwise sort among the hits
    // ("ka1x" lies between "ka1" and "ka2"), so they are passed over, not a reason to stop.
    const bool exactTone = last == '0';
    const FC_ReadingFilter matcher = createTailoWordMatcher(key, exactTone);
    entries.scanKeys(key, [&](const I_KeyEntry& e) {
        const std::string_view k = e.key();
        if (!matchKeyPattern(key, k, n))
            return false;
        const char ch = n < k.size() ? k[n] : '\0';
        if (exactTone ? ch == '\0' : isToneDigit(ch))
            addEntryRecords(unit, e, how, matcher);
        return true;
    });
}

bool addWildcardWords(const I_KeyEntries& entries, const C_LayerSources& sources, C_CompoUnit& unit,
                      std::span<const size_t> spans, std::string_view prefix,
                      const C_WildcardMatcher& matcher) {
    if (prefix.size() > entries.longestKey())
        return false;
    const bool capital = isCapitalKey(unit.key());
    bool changed = false;
    entries.scanKeys(prefix, [&](const I_KeyEntry& e) {
        const std::string_view key = e.key();
        if (!withinPrefix(key, prefix))
            return false;
        const auto m = wildcardFits(key, matcher);
        if (!m || m->groups == 0 || m->groups > spans.size())
            return true;
        const size_t g = m->groups;
        // A reading is taken when it is one syllable whose key the pattern matches the same way.
        const FC_ReadingFilter filter = [&matcher, g](std::string_view reading) {
            const C_TonedKeysResult r = tailo2tonedKeys(reading);
            const auto* keys = std::get_if<std::vector<std::string>>(&r);
            if (!keys || keys->size() != 1)
                return false;
            const auto km = matcher.matchPrefix(keys->front());
            return km && km->groups == g;
        };
        const C_RecordAdd how{spans[g - 1], 1, capital, sources.m_inexact,
                              sources.m_dropRepeatedReadings};
        if (addEntryRecords(unit, e, how, filter))
            changed = true;
        return true;
    });
    return changed;
}

void addIslandVocs(const I_LayerTables& tables, const C_LayerSources& sources, const void* layer,
                   const C_VisitConsts& consts, const C_StdIsle& isle, const FC_UnitAt& unitAt) {
    C_CompoUnit* unit = unitAt(isle.m_start);
    if (!unit)
        throw std::runtime_error("Null cu at " + std::to_string(isle.m_start));
    // A wildcard island walks from each item below, the first one included.
    if (isle.kind() != ISLE_WILDCARD)
        tables.walkKarr(consts, isle, 0, KARR_ISLAND_VOCS,
                        [&](const C_Candidate& c, std::string_view) {
                            if (isKeyBoundary(consts, isle.m_start + c.m_span))
                                unit->add(c);
                        });
    switch (isle.kind()) {
        case ISLE_PLAIN:
            return;
        case ISLE_SYLLABLE:
            if (!isle.syllable()->m_loneN)
                addPrefixWords(tables.syllableKeys(), sources, *unit,
                               typedKeys(consts, isle.m_start, isle.end()));
            return;
        case ISLE_WILDCARD:
            break;
        default:
            throw std::logic_error("Unknown isle extension id " +
                                   std::to_string(static_cast<unsigned>(isle.kind())));
    }
    const std::span<const C_IsleItem> items = isle.items();
    std::vector<size_t> spans;
    for (size_t i = 0; i < items.size(); ++i) {
        const size_t p = isle.m_start + items[i].m_start;
        C_CompoUnit* u = unitAt(p);
        if (!u)
            throw std::runtime_error("Null cu_final at " + std::to_string(p));
        if (!consts.firstItemLookup(layer, p, isle.end()))
            break;
        tables.walkKarr(consts, isle, i, KARR_ISLAND_VOCS,
                        [&](const C_Candidate& c, std::string_view) {
                            if (isKeyBoundary(consts, p + c.m_span))
                                u->add(c);
                        });
        const std::optional<size_t> gap = isle.gapAfterItem(i);
        if (!gap) {
            addPrefixWords(tables.syllableKeys(), sources, *u, typedKeys(consts, p, isle.end()));
            continue;
        }
        // The literal keys of the item, up to the gap, narrow the keys to those that start with
        // them; the item must match and each later one may, a word covering the items it took.
        spans.clear();
        for (size_t j = i + 1; j < items.size(); ++j)
            spans.push_back(items[j].m_start - items[i].m_start);
        spans.push_back(isle.m_length - items[i].m_start);
        addWildcardWords(tables.syllableKeys(), sources, *u, spans,
                         typedKeys(consts, p, isle.m_start + *gap),
                         C_WildcardMatcher(items, i, items.size(), true));
    }
}

void addRelatedChoices(const I_LayerTables& tables, const C_VisitConsts& consts,
                       const C_StdIsle& isle, const FC_RelatedSink& sink) {
    tables.walkKarr(consts, isle, 0, KARR_RELATED,
                    [&](const C_Candidate& c, std::string_view text) {
                        const C_SemiCandidate semi = c.semi();
                        sink(0, std::span<const C_SemiCandidate>(&semi, 1), text);
                    });
}

}  // namespace kov
