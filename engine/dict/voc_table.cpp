#include "engine/dict/voc_table.h"

#include <algorithm>

#include "engine/text/code_points.h"
#include "engine/text/syllable_match.h"
#include "engine/text/tailo.h"

namespace kov {

namespace {

// One key of a key array: letters a-z, then one digit ("[a-z]+\d" in full).
bool isArrayKey(std::string_view key) {
    if (key.size() < 2 || key.back() < '0' || key.back() > '9')
        return false;
    for (size_t i = 0; i + 1 < key.size(); ++i)
        if (key[i] < 'a' || key[i] > 'z')
            return false;
    return true;
}

bool holdsNul(std::string_view s) { return s.find('\0') != std::string_view::npos; }

C_VocTableError failure(std::string text) { return C_VocTableError{std::move(text), true}; }

template <class Vocs>
auto findVoc(Vocs& vocs, char type, const std::string& word) {
    return std::find_if(vocs.begin(), vocs.end(),
                        [&](const C_TailoVoc& v) { return v.type == type && v.word == word; });
}

template <class Table, class K>
bool eraseVoc(Table& table, const K& key, char type, const std::string& word) {
    const auto e = table.find(key);
    if (e == table.end())
        return false;
    const auto v = findVoc(e->second, type, word);
    if (v == e->second.end())
        return false;
    e->second.erase(v);
    if (e->second.empty())
        table.erase(e);
    return true;
}

template <class Table, class K>
int disapproveVoc(Table& table, const K& key, char type, const std::string& word) {
    const auto e = table.find(key);
    if (e == table.end())
        return 2;
    const auto v = findVoc(e->second, type, word);
    if (v == e->second.end())
        return 2;
    if (v->stamp.count == 0) {
        e->second.erase(v);
        return 1;
    }
    --v->stamp.count;
    v->stamp.time = nowSeconds();
    return 0;
}

// Usage purge shared by both tables: score = count * 600 + time (wrapping u32); the
// (entries - limit) lowest-scored records go, ties falling on the record met first in table
// order. Entries whose lists are already empty (left by disapproval) are dropped first, so
// that they do not count against the limit and cost real records.
template <class Table>
size_t purgeTable(Table& table, size_t limit) {
    std::erase_if(table, [](const auto& entry) { return entry.second.empty(); });
    if (table.size() <= limit)
        return 0;

    using Iter = typename Table::iterator;
    std::multimap<uint32_t, std::pair<Iter, size_t>> byScore;
    for (auto e = table.begin(); e != table.end(); ++e) {
        for (size_t i = 0; i < e->second.size(); ++i) {
            const C_UsageStamp& s = e->second[i].stamp;
            const uint32_t score = static_cast<uint32_t>(s.count * 600u + s.time);
            byScore.emplace(score, std::make_pair(e, i));  // equal scores go after
        }
    }

    size_t toRemove = std::min(table.size() - limit, byScore.size());
    // Chosen positions grouped by entry, in table order.
    std::map<typename Table::key_type, std::vector<size_t>, typename Table::key_compare> chosen;
    for (auto it = byScore.begin(); toRemove > 0; ++it, --toRemove)
        chosen[it->second.first->first].push_back(it->second.second);

    size_t removed = 0;
    for (auto& [key, positions] : chosen) {
        const auto e = table.find(key);
        std::sort(positions.begin(), positions.end(), std::greater<size_t>());
        for (const size_t pos : positions)
            e->second.erase(e->second.begin() + static_cast<std::ptrdiff_t>(pos));
        removed += positions.size();
        if (e->second.empty())
            table.erase(e);
    }
    return removed;
}

}  // namespace

bool C_CandiPool::mergeCats_(std::vector<uint8_t>& stored, std::span<const uint8_t> given) const {
    bool changed = false;
    for (const uint8_t c : given) {
        // Category 0 means none; stored, it would end the record's category list in the file.
        if (c == 0 || std::find(stored.begin(), stored.end(), c) != stored.end())
            continue;
        bool related = false;
        for (uint8_t& e : stored) {
            if (catUnder && catUnder(c, e)) {
                e = c;  // the narrower category takes the place of the broader one
                changed = true;
                related = true;
                break;
            }
            if (catUnder && catUnder(e, c)) {
                related = true;  // a narrower category is already there
                break;
            }
        }
        if (!related) {
            stored.push_back(c);
            changed = true;
        }
    }
    return changed;
}

void C_CandiPool::addOrRefresh_(Vocs& vocs, char type, const std::string& word, float weight,
                                std::span<const uint8_t> cats, uint32_t count) {
    const auto v = findVoc(vocs, type, word);
    if (v == vocs.end()) {
        C_TailoVoc voc;
        voc.word = word;
        for (const uint8_t c : cats)
            if (c != 0)
                voc.cats.push_back(c);
        voc.weight = weight;
        voc.type = type;
        voc.stamp.count = count;
        voc.stamp.time = nowSeconds();
        vocs.push_back(std::move(voc));
        return;
    }
    bool changed = false;
    if (weight > v->weight) {  // a NaN never raises
        v->weight = weight;
        changed = true;
    }
    if (mergeCats_(v->cats, cats))
        changed = true;
    if (v->stamp.count < count || changed) {
        v->stamp.count = 0;
        v->stamp.time = nowSeconds();
    }
}

C_VocTableError C_CandiPool::add_keys_to_word(const std::string& key, char type,
                                              const std::string& word, float weight,
                                              std::span<const uint8_t> cats, uint32_t count) {
    if (word.empty())
        return failure("Empty word");
    if (holdsNul(word))
        return failure("Word holds a NUL");
    const std::string lower = toLowerAscii(key);
    if (!isTonedSyllable(lower))
        return failure("Invalid tailo keys: \"" + lower + "\"");
    addOrRefresh_(keys2words[lower], type, word, weight, cats, count);
    return {};
}

C_VocTableError C_CandiPool::add_karray_to_voc(const KeyArray& keys, char type,
                                               const std::string& word, float weight,
                                               std::span<const uint8_t> cats, uint32_t count) {
    if (word.empty())
        return failure("Empty voc");
    if (holdsNul(word))
        return failure("Voc holds a NUL");
    for (const std::string& k : keys)
        if (!isArrayKey(k))
            return failure("Not toned keys: \"" + k + "\" or \"" + dumpUnicodes(k) + "\"");
    // A key array is stored joined by "-" and split again on load; fewer than two keys
    // would make the file unreadable from that row on.
    if (keys.size() < 2)
        return failure(std::string("Too few keys: ").append(std::to_string(keys.size())));
    addOrRefresh_(karr2vocs[keys], type, word, weight, cats, count);
    return {};
}

bool C_CandiPool::add_hant2tailo(const std::string& hant, const std::string& tailo) {
    // An empty reading is the row end mark of the file, and a NUL ends a string there.
    if (hant.empty() || tailo.empty() || holdsNul(hant) || holdsNul(tailo))
        return false;
    auto& readings = hant2tailo[hant];
    if (std::find(readings.begin(), readings.end(), tailo) == readings.end())
        readings.push_back(tailo);
    return true;
}

bool C_CandiPool::erase_hant2tailo(const std::string& hant, const std::string& tailo) {
    const auto e = hant2tailo.find(hant);
    if (e == hant2tailo.end())
        return false;
    const auto r = std::find(e->second.begin(), e->second.end(), tailo);
    if (r == e->second.end())
        return false;
    e->second.erase(r);
    if (e->second.empty())
        hant2tailo.erase(e);
    return true;
}

bool C_CandiPool::erase_keys_word(const Key& key, char type, const std::string& word) {
    return eraseVoc(keys2words, key, type, word);
}

bool C_CandiPool::erase_karray_voc(const KeyArray& keys, char type, const std::string& word) {
    return eraseVoc(karr2vocs, keys, type, word);
}

int C_CandiPool::disapprove_keys_word(const Key& key, char type, const std::string& word) {
    return disapproveVoc(keys2words, key, type, word);
}

int C_CandiPool::disapprove_karray_voc(const KeyArray& keys, char type, const std::string& word) {
    return disapproveVoc(karr2vocs, keys, type, word);
}

void C_CandiPool::visit_tailos_of_hant(
    std::string_view hant, const std_move_only_function<void(std::string_view)>& visit) const {
    const auto e = hant2tailo.find(std::string(hant));
    if (e == hant2tailo.end())
        return;
    for (const std::string& r : e->second)
        visit(r);
}

size_t C_CandiPool::purge_vocs(size_t limit) { return purgeTable(karr2vocs, limit); }

size_t C_CandiPool::purge_words(size_t limit) { return purgeTable(keys2words, limit); }

size_t C_CandiPool::vocCount() const {
    size_t n = 0;
    for (const auto& [key, vocs] : keys2words)
        n += vocs.size();
    for (const auto& [keys, vocs] : karr2vocs)
        n += vocs.size();
    return n;
}

}  // namespace kov
