#include "engine/dict/isle.h"

#include <algorithm>
#include <stdexcept>
#include <string>

namespace kov {

namespace {

bool isDigit(char c) noexcept {
    return c >= '0' && c <= '9';
}

// Keys that can continue a syllable, and the wildcards: a word may not end before them.
bool continuesSyllable(char c) noexcept {
    constexpr std::string_view kContinuing = "abeghijklmnopstu?*";
    return kContinuing.find(c) != std::string_view::npos;
}

}  // namespace

std::span<const C_IsleItem> C_StdIsle::items() const noexcept {
    if (const C_IsleWildcard* w = wildcard())
        return w->m_items;
    return {};
}

std::optional<size_t> C_StdIsle::gapAfterItem(size_t i) const {
    const std::span<const C_IsleItem> all = items();
    if (i >= all.size())
        throw std::out_of_range("Island item " + std::to_string(i) + " of " +
                                std::to_string(all.size()));
    size_t e = all[i].m_literalEnd;
    for (size_t j = i + 1; j < all.size(); ++j) {
        if (all[j].m_start > e)
            return e;
        e = all[j].m_literalEnd;
    }
    if (e < m_length)
        return e;
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
    return std::make_shared<C_StdIsle>(C_StdIsle{start, keys.size(), buildWildcardItems(keys)});
}

C_IsleWildcard buildWildcardItems(std::string_view keys) {
    if (keys.size() > 0xFFFF)
        throw std::length_error("Wildcard island too long: " + std::to_string(keys.size()));
    C_IsleWildcard w;
    if (keys.empty())
        return w;
    C_IsleItem item;
    bool literalEndFixed = false;
    for (size_t j = 0; j < keys.size(); ++j) {
        const char k = keys[j];
        const auto pos = uint16_t(j);
        if (k >= 'a' && k <= 'z' && k != 'r' && !item.m_piece.empty()) {
            if (!literalEndFixed)
                item.m_literalEnd = pos;
            w.m_items.push_back(std::move(item));
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
            item.m_piece += "[aeioumngptkhr]";
            break;
        case '*':
            item.m_piece += "[aeioumngptkhr]+";
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
    w.m_items.push_back(std::move(item));
    return w;
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

size_t ilKeyStart(const C_IlKeyPos& pos) {
    if (!pos.m_isle)
        throw std::logic_error("Key position without island");
    if (const C_IsleWildcard* w = pos.m_isle->wildcard())
        return w->m_items.at(pos.m_index).m_start;
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
    for (size_t j = i; j > 0 && digits < 2 && isDigit(consts.m_keys[j - 1]); --j)
        ++digits;
    return digits <= 1 && (!isDigit(c) || digits == 1);
}

}  // namespace kov
