#include "engine/dict/isle.h"

#include <algorithm>
#include <stdexcept>
#include <string>

#include "engine/text/sounds.h"

namespace kov {

namespace {

// Keys that can continue a syllable, and the wildcards: a word may not end before them.
bool continuesSyllable(char c) noexcept {
    constexpr std::string_view kContinuing = "abeghijklmnopstu?*";
    return kContinuing.find(c) != std::string_view::npos;
}

}  // namespace

C_IsleWildcard::C_IsleWildcard(std::vector<C_IsleItem> items) {
    auto table = std::make_shared<C_Table>();
    const size_t n = items.size();
    table->m_nextWildcard.resize(n);
    table->m_nextStar.resize(n);
    uint32_t wildcard = uint32_t(n), star = uint32_t(n);
    for (size_t i = n; i-- > 0;) {
        // A wildcard key leaves a character class or the digit class in the piece.
        if (items[i].m_piece.find_first_of("[\\") != std::string::npos)
            wildcard = uint32_t(i);
        if (items[i].m_hasStar)
            star = uint32_t(i);
        table->m_nextWildcard[i] = wildcard;
        table->m_nextStar[i] = star;
    }
    table->m_items = std::move(items);
    m_count = n;
    m_table = std::move(table);
}

C_IsleWildcard::C_IsleWildcard(const C_IsleWildcard& whole, size_t count)
    : m_table(whole.m_table), m_count(std::min(count, whole.m_count)) {}

std::span<const C_IsleItem> C_IsleWildcard::items() const noexcept {
    if (!m_table)
        return {};
    return std::span<const C_IsleItem>(m_table->m_items).first(m_count);
}

std::span<const C_IsleItem> C_IsleWildcard::sharedItems() const noexcept {
    if (!m_table)
        return {};
    return m_table->m_items;
}

size_t C_IsleWildcard::nextWildcardItem(size_t i) const noexcept {
    if (i >= m_count)
        return m_count;
    return std::min<size_t>(m_table->m_nextWildcard[i], m_count);
}

bool C_IsleWildcard::starFrom(size_t i) const noexcept {
    return i < m_count && m_table->m_nextStar[i] < m_count;
}

bool C_IsleWildcard::operator==(const C_IsleWildcard& other) const noexcept {
    const std::span<const C_IsleItem> a = items(), b = other.items();
    return std::equal(a.begin(), a.end(), b.begin(), b.end());
}

std::span<const C_IsleItem> C_StdIsle::items() const noexcept {
    if (const C_IsleWildcard* w = wildcard())
        return w->items();
    return {};
}

std::optional<size_t> C_StdIsle::gapAfterItem(size_t i) const {
    const std::span<const C_IsleItem> all = items();
    if (i >= all.size())
        throw std::out_of_range("Island item " + std::to_string(i) + " of " +
                                std::to_string(all.size()));
    // The literal keys run on through every item without a wildcard (each ends where the next
    // begins) and stop at the first wildcard of an item.
    const size_t j = wildcard()->nextWildcardItem(i);
    if (j < all.size())
        return all[j].m_literalEnd;
    return std::nullopt;
}

std::shared_ptr<C_StdIsle> C_StdIsle::makePlain(size_t start, size_t length) {
    return std::make_shared<C_StdIsle>(C_StdIsle{start, length, std::monostate{}});
}

std::shared_ptr<C_StdIsle> C_StdIsle::makeSyllable(size_t start, size_t length,
                                                   C_IsleSyllable syllable) {
    return std::make_shared<C_StdIsle>(C_StdIsle{start, length, syllable});
}

std::shared_ptr<C_StdIsle> C_StdIsle::makeWildcard(size_t start, std::string_view keys) {
    return std::make_shared<C_StdIsle>(
        C_StdIsle{start, keys.size(), C_IsleWildcard(buildWildcardItems(keys))});
}

std::shared_ptr<C_StdIsle> C_StdIsle::makeWildcardPrefix(const C_StdIsle& whole, size_t length,
                                                         std::string_view keys) {
    const C_IsleWildcard* w = whole.wildcard();
    if (!w || length > whole.m_length || length > keys.size())
        throw std::logic_error("Wildcard prefix of length " + std::to_string(length) +
                               " outside its island");
    // The items of the first length keys are whole's items that start before length, when
    // an item of whole starts right there (or whole ends there); else the last one is cut.
    const std::span<const C_IsleItem> all = w->items();
    const auto cut =
        std::lower_bound(all.begin(), all.end(), length,
                         [](const C_IsleItem& item, size_t at) { return item.m_start < at; });
    if (length == whole.m_length || (cut != all.end() && cut->m_start == length))
        return std::make_shared<C_StdIsle>(
            C_StdIsle{whole.m_start, length, C_IsleWildcard(*w, size_t(cut - all.begin()))});
    return makeWildcard(whole.m_start, keys.substr(0, length));
}

std::vector<C_IsleItem> buildWildcardItems(std::string_view keys) {
    if (keys.size() > 0xFFFF)
        throw std::length_error("Wildcard island too long: " + std::to_string(keys.size()));
    std::vector<C_IsleItem> items;
    if (keys.empty())
        return items;
    C_IsleItem item;
    bool literalEndFixed = false;
    for (size_t j = 0; j < keys.size(); ++j) {
        const char k = keys[j];
        const auto pos = uint16_t(j);
        if (k >= 'a' && k <= 'z' && k != 'r' && !item.m_piece.empty()) {
            if (!literalEndFixed)
                item.m_literalEnd = pos;
            items.push_back(std::move(item));
            item = C_IsleItem{};
            item.m_start = pos;
            literalEndFixed = false;
        }
        const bool wildcard = k == '?' || k == '*' || k == '0';
        if (wildcard && !literalEndFixed) {
            item.m_literalEnd = pos;
            literalEndFixed = true;
        }
        switch (k) {
            case '?':
                item.m_piece += rimeLetterClass();
                break;
            case '*':
                item.m_piece += rimeLetterClass();
                item.m_piece += '+';
                item.m_hasStar = true;
                break;
            case '0':
                item.m_piece += "\\d";
                break;
            default:
                item.m_piece += k;
        }
    }
    if (!literalEndFixed)
        item.m_literalEnd = uint16_t(keys.size());
    items.push_back(std::move(item));
    return items;
}

std::span<const C_IslePtr> C_VisitConsts::islesAt(size_t pos) const noexcept {
    noteIsleRead(pos);
    if (pos < m_islesByStart.size())
        return m_islesByStart[pos];
    return {};
}

bool C_VisitConsts::isCapital(size_t pos) const noexcept {
    noteRead(pos);
    return std::binary_search(m_capitals.begin(), m_capitals.end(), pos);
}

size_t C_VisitConsts::skipHyphenRun(size_t pos) const noexcept {
    noteRead(pos);
    const auto it = std::lower_bound(
        m_hyphenRuns.begin(), m_hyphenRuns.end(), pos,
        [](const std::pair<size_t, size_t>& run, size_t p) { return run.first < p; });
    if (it != m_hyphenRuns.end() && it->first == pos)
        return it->second;
    return pos;
}

char C_VisitConsts::keyAt(size_t pos) const noexcept {
    noteRead(pos);
    return pos < std::min(m_length, m_keys.size()) ? m_keys[pos] : '\0';
}

bool C_VisitConsts::firstItemLookup(const void* layer, size_t from, size_t to) const {
    C_LayerLookups* lookups = nullptr;
    for (C_LayerLookups& l : m_lookups)
        if (l.m_layer == layer)
            lookups = &l;
    if (!lookups) {
        lookups = &m_lookups.emplace_back();
        lookups->m_layer = layer;
    }
    std::vector<std::vector<uint64_t>>& byEnd = lookups->m_byEnd;
    if (to >= byEnd.size())
        byEnd.resize(to + 1);
    std::vector<uint64_t>& starts = byEnd[to];
    if (from / 64 >= starts.size())
        starts.resize(from / 64 + 1, 0);
    const uint64_t bit = uint64_t(1) << (from % 64);
    if (starts[from / 64] & bit)
        return false;
    starts[from / 64] |= bit;
    return true;
}

size_t C_VisitConsts::C_MemoHash::operator()(const C_MemoKey& key) const noexcept {
    size_t h = std::hash<const void*>()(key.m_owner) ^ (std::hash<const void*>()(key.m_what) * 31);
    for (size_t v : key.m_values)
        h = h * 1000003 ^ v;
    return h;
}

C_VisitConsts::C_Memo* C_VisitConsts::memo(const C_MemoKey& key) const {
    const auto it = m_memos.find(key);
    return it == m_memos.end() ? nullptr : it->second.get();
}

C_VisitConsts::C_Memo& C_VisitConsts::keepMemo(const C_MemoKey& key,
                                               std::unique_ptr<C_Memo> memo) const {
    std::unique_ptr<C_Memo>& slot = m_memos[key];
    slot = std::move(memo);
    return *slot;
}

size_t ilKeyStart(const C_IlKeyPos& pos) {
    if (!pos.m_isle)
        throw std::logic_error("Key position without island");
    if (const C_IsleWildcard* w = pos.m_isle->wildcard()) {
        const std::span<const C_IsleItem> items = w->items();
        if (pos.m_index >= items.size())
            throw std::out_of_range("Island item " + std::to_string(pos.m_index) + " of " +
                                    std::to_string(items.size()));
        return items[pos.m_index].m_start;
    }
    return pos.m_index;
}

bool isKeyBoundary(const C_VisitConsts& consts, size_t i) noexcept {
    if (!consts.m_doctrine)
        return true;
    // The answer looks at the keys up to i, and at where the keys end.
    consts.noteRead(i);
    const size_t n = std::min(consts.m_length, consts.m_keys.size());
    if (i >= n)
        return true;
    const char c = consts.m_keys[i];
    if (continuesSyllable(c))
        return false;
    size_t digits = 0;
    for (size_t j = i; j > 0 && digits < 2 && isDigitKey(consts.m_keys[j - 1]); --j)
        ++digits;
    return digits <= 1 && (!isDigitKey(c) || digits == 1);
}

}  // namespace kov
