// The vocabulary listing of the user dictionary: a search cache per folded search text (the
// matching records in table order) and, inside it, one sorted copy per distinct order list.
// Every change notification drops all caches; items point into the tables.
#include <algorithm>
#include <cmath>
#include <list>
#include <map>
#include <memory>
#include <numeric>
#include <stdexcept>
#include <variant>

#include "engine/dict/user_db.h"
#include "engine/dict/user_db_readings.h"
#include "engine/text/code_points.h"
#include "engine/text/tailo.h"

namespace kov {

namespace {

// Bounds on what the listing keeps between changes: the searches of an editing session, and the
// sort orders of one search. Past them the oldest are dropped (and rebuilt when asked again).
constexpr size_t kMaxSearchCaches = 32;
constexpr size_t kMaxSortedCopies = 8;

int sign(int v) { return (v > 0) - (v < 0); }

template <class T>
int threeWay(const T& a, const T& b) {
    return (b < a) - (a < b);
}

size_t keyCount(const C_Bikey& key) {
    if (const auto* k = std::get_if<const std::vector<std::string>*>(&key))
        return (*k)->size();
    if (std::holds_alternative<const std::string*>(key))
        return 1;
    throw std::logic_error("UNKNOWN bikey type: -1");  // only a valueless variant gets here
}

// Weights in ascending order with NaN after every number (and equal to NaN), so that the
// order stays a strict weak order for the stable sort; descending keeps NaN last too.
int compareWeights(float a, float b) {
    const bool na = std::isnan(a), nb = std::isnan(b);
    if (na || nb)
        return static_cast<int>(na) - static_cast<int>(nb);
    return a < b ? -1 : a > b ? 1 : 0;
}

// One matching record of a search, pointing into the tables.
struct C_VocItem {
    C_Bikey key;                      // the keys2words key or the karr2vocs key array
    const C_TailoVoc* voc = nullptr;  // the record
    std::vector<std::string> tailos;  // 'H': its readings whose keys equal the key
    C_CaseFoldedString word;          // the folded word
    C_CaseFoldedString tailo;         // the folded first reading; empty without readings
};

// The items of one search text, and one sorted copy per distinct order list.
class C_SearchCache {
public:
    std::vector<C_VocItem> items;
    std::list<std::pair<std::vector<C_UserVocOrder>, std::vector<C_VocItem>>> sorted;

    // The items sorted by the chain of orders (stable; table order among equals). Throws
    // std::logic_error "Unknown order type: <n>" for a type above 6 when two or more items
    // are to be sorted; nothing is cached then.
    const std::vector<C_VocItem>& getSortedCache(std::span<const C_UserVocOrder> orders);
};

// The per-item values that the comparisons need, computed once per sort, not per comparison.
struct C_SortKeys {
    std::vector<std::string> keyText;
    std::vector<size_t> keyCount;
    std::vector<size_t> wordLength;
};

const C_CaseFoldedString& tailoSortText(const C_VocItem& item) {
    // A Tai-lo record has no readings of its own: its word is its Tai-lo.
    return item.voc->type == 'T' ? item.word : item.tailo;
}

const std::vector<C_VocItem>& C_SearchCache::getSortedCache(
    std::span<const C_UserVocOrder> orders) {
    for (const auto& [sortedBy, copy] : sorted)
        if (std::equal(sortedBy.begin(), sortedBy.end(), orders.begin(), orders.end()))
            return copy;

    std::vector<size_t> order(items.size());
    std::iota(order.begin(), order.end(), size_t{0});
    if (!orders.empty() && items.size() >= 2) {
        for (const C_UserVocOrder& o : orders)
            if (o.type > kLastUserVocOrder)
                throw std::logic_error("Unknown order type: " + std::to_string(o.type));

        C_SortKeys keys;
        auto uses = [&](uint32_t type) {
            return std::any_of(orders.begin(), orders.end(),
                               [type](const C_UserVocOrder& o) { return o.type == type; });
        };
        if (uses(ORDER_BY_KEYS))
            for (const C_VocItem& it : items)
                keys.keyText.push_back(bikeyText(it.key));
        if (uses(ORDER_BY_KEY_COUNT))
            for (const C_VocItem& it : items)
                keys.keyCount.push_back(keyCount(it.key));
        if (uses(ORDER_BY_WORD_LENGTH))
            for (const C_VocItem& it : items)
                keys.wordLength.push_back(countIDCOrZero(it.voc->word));

        auto compare = [&](uint32_t type, size_t a, size_t b) -> int {
            const C_VocItem& x = items[a];
            const C_VocItem& y = items[b];
            switch (type) {
                case ORDER_BY_KEYS:
                    return sign(keys.keyText[a].compare(keys.keyText[b]));
                case ORDER_BY_KEY_COUNT:
                    return threeWay(keys.keyCount[a], keys.keyCount[b]);
                case ORDER_BY_WORD:
                    return sign(x.word.compare(y.word));
                case ORDER_BY_WORD_LENGTH:
                    return threeWay(keys.wordLength[a], keys.wordLength[b]);
                case ORDER_BY_TAILO:
                    return sign(tailoSortText(x).compare(tailoSortText(y)));
                case ORDER_BY_WEIGHT:
                    return compareWeights(x.voc->weight, y.voc->weight);
                default:  // ORDER_BY_TIME, compared as the unsigned stamps they are
                    return threeWay(x.voc->stamp.time, y.voc->stamp.time);
            }
        };
        std::stable_sort(order.begin(), order.end(), [&](size_t a, size_t b) {
            for (const C_UserVocOrder& o : orders) {
                const int c = compare(o.type, a, b);
                if (c == 0)
                    continue;
                // A NaN weight stays after every number in both directions.
                if (o.type == ORDER_BY_WEIGHT &&
                    std::isnan(items[a].voc->weight) != std::isnan(items[b].voc->weight))
                    return c < 0;
                return (o.descending ? -c : c) < 0;
            }
            return false;
        });
    }

    std::vector<C_VocItem> copy;
    copy.reserve(items.size());
    for (const size_t i : order)
        copy.push_back(items[i]);
    if (sorted.size() >= kMaxSortedCopies)
        sorted.pop_front();
    sorted.emplace_back(std::vector<C_UserVocOrder>(orders.begin(), orders.end()), std::move(copy));
    return sorted.back().second;
}

}  // namespace

struct C_UserTailoDB::C_Listing {
    std::map<C_CaseFoldedString, C_SearchCache> m_searchCaches;
};

std::shared_ptr<C_UserTailoDB::C_Listing> C_UserTailoDB::newListing_() {
    return std::make_shared<C_Listing>();
}

void C_UserTailoDB::dropSearchCaches_() const { m_listing->m_searchCaches.clear(); }

namespace {

// The search cache of a folded search text, built on first use; the caller holds the lock
// for as long as it uses the cache.
C_SearchCache& getSearchCache(std::map<C_CaseFoldedString, C_SearchCache>& caches,
                              const C_CandiPool& pool, const C_CaseFoldedString& search) {
    const auto found = caches.find(search);
    if (found != caches.end())
        return found->second;

    C_SearchCache cache;
    C_ReadingKeys readingKeys;
    auto consider = [&](const C_Bikey& key, const C_TailoVoc& voc) {
        C_VocItem item{key, &voc, {}, C_CaseFoldedString(voc.word), C_CaseFoldedString()};
        bool match = search.empty() || item.word.find(search) != std::string::npos;
        if (voc.type == 'H') {
            const auto readings = pool.hant2tailo.find(voc.word);
            if (readings != pool.hant2tailo.end()) {
                for (const std::string& r : readings->second)
                    if (readingKeys.spells(r, key))
                        item.tailos.push_back(r);
            }
        }
        if (!item.tailos.empty())
            item.tailo = C_CaseFoldedString(item.tailos.front());
        for (size_t i = 0; !match && i < item.tailos.size(); ++i)
            match = (i == 0 ? item.tailo : C_CaseFoldedString(item.tailos[i])).find(search) !=
                    std::string::npos;
        if (match)
            cache.items.push_back(std::move(item));
    };
    for (const auto& [key, vocs] : pool.keys2words)
        for (const C_TailoVoc& v : vocs)
            consider(C_Bikey(&key), v);
    for (const auto& [keys, vocs] : pool.karr2vocs)
        for (const C_TailoVoc& v : vocs)
            consider(C_Bikey(&keys), v);
    if (caches.size() >= kMaxSearchCaches)
        caches.clear();
    return caches.emplace(search, std::move(cache)).first->second;
}

}  // namespace

size_t C_UserTailoDB::countUserVocs(std::string_view search) const {
    const C_CaseFoldedString folded(search);
    const C_TablesLock lock(*this);
    return getSearchCache(m_listing->m_searchCaches, m_candiPool, folded).items.size();
}

void C_UserTailoDB::visitUserVocs(std::string_view search, std::span<const C_UserVocOrder> orders,
                                  size_t index, size_t count, FC_UserVocListVisitor visit) const {
    if (!visit)
        throw std::bad_function_call();
    const C_CaseFoldedString folded(search);
    const C_TablesLock lock(*this);
    const std::vector<C_VocItem>& list =
        getSearchCache(m_listing->m_searchCaches, m_candiPool, folded).getSortedCache(orders);
    // The page is copied out before the first call: a visitor may edit the dictionary, which
    // drops the caches and frees or moves the records that the items point at.
    struct C_PageItem {
        std::string key;
        std::vector<std::string> keys;
        bool isArray = false;
        C_TailoVoc voc;
        std::vector<std::string> tailos;
    };
    std::vector<C_PageItem> page;
    if (index < list.size())
        page.reserve(std::min(count, list.size() - index));
    // Counted by calls, so that a count near SIZE_MAX cannot wrap the end position.
    for (size_t pos = index, calls = 0; pos < list.size() && calls < count; ++pos, ++calls) {
        const C_VocItem& item = list[pos];
        C_PageItem& copy = page.emplace_back();
        if (const auto* k = std::get_if<const std::vector<std::string>*>(&item.key)) {
            copy.keys = **k;
            copy.isArray = true;
        } else {
            copy.key = *std::get<const std::string*>(item.key);
        }
        copy.voc = *item.voc;
        copy.tailos = item.tailos;
    }
    for (const C_PageItem& item : page) {
        const C_Bikey key = item.isArray ? C_Bikey(&item.keys) : C_Bikey(&item.key);
        visit(key, item.voc, item.tailos);
    }
}

}  // namespace kov
