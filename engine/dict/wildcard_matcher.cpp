#include "engine/dict/wildcard_matcher.h"

#include <algorithm>
#include <stdexcept>

#include "engine/text/sounds.h"

namespace kov {

namespace {

// The elements of a piece as buildWildcardItems writes it (into out's storage).
std::string elementsOf(std::string_view piece, std::string out = {}) {
    out.clear();
    for (size_t i = 0; i < piece.size();) {
        if (piece.substr(i, rimeLetterClass().size()) == rimeLetterClass()) {
            i += rimeLetterClass().size();
            if (i < piece.size() && piece[i] == '+') {
                out += '*';
                ++i;
            } else {
                out += '?';
            }
        } else if (piece.substr(i, 2) == "\\d") {
            out += '0';
            i += 2;
        } else if ((piece[i] >= 'a' && piece[i] <= 'z') || (piece[i] >= '1' && piece[i] <= '9')) {
            out += piece[i++];
        } else {
            throw std::logic_error("Unknown wildcard piece: " + std::string(piece));
        }
    }
    return out;
}

bool fitsOne(char element, char c) {
    switch (element) {
        case '?':
            return isRimeLetter(c);
        case '0':
            return isDigitKey(c);
        default:
            return element == c;
    }
}

// The first end of elems[i..] from pos, a star taking the most letters first. Positions that
// failed are noted in failed (a position's outcome never depends on how it was reached), so
// that many stars cannot make the search exponential.
std::optional<size_t> firstEnd(std::string_view elems, size_t i, std::string_view text, size_t pos,
                               std::vector<bool>& failed, size_t& seen) {
    for (; i < elems.size(); ++i) {
        const char e = elems[i];
        if (e == '*') {
            const size_t slot = i * (text.size() + 1) + pos;
            if (!failed.empty() && failed[slot])
                return std::nullopt;
            size_t run = 0;
            while (pos + run < text.size() && isRimeLetter(text[pos + run]))
                ++run;
            seen = std::max(seen, pos + run + 1);  // the letter run and what ends it
            for (size_t len = run; len >= 1; --len)
                if (auto end = firstEnd(elems, i + 1, text, pos + len, failed, seen))
                    return end;
            if (!failed.empty())
                failed[slot] = true;
            return std::nullopt;
        }
        seen = std::max(seen, pos + 1);  // past the end: the end itself was seen
        if (pos >= text.size() || !fitsOne(e, text[pos]))
            return std::nullopt;
        ++pos;
    }
    return pos;
}

std::optional<size_t> firstEnd(std::string_view elems, std::string_view text, size_t pos,
                               size_t& seen) {
    std::vector<bool> failed;  // needed only where a star can be retried: after another star
    if (std::count(elems.begin(), elems.end(), '*') > 1)
        failed.assign((elems.size() + 1) * (text.size() + 1), false);
    return firstEnd(elems, 0, text, pos, failed, seen);
}

// Every end of elems from each position of from: the positions reachable by any choice.
std::vector<bool> allEnds(std::string_view elems, std::string_view text,
                          const std::vector<bool>& from) {
    std::vector<bool> at = from;
    for (const char e : elems) {
        std::vector<bool> next(text.size() + 1, false);
        for (size_t p = 0; p < text.size(); ++p) {
            if (!at[p])
                continue;
            if (e == '*') {
                for (size_t q = p; q < text.size() && isRimeLetter(text[q]); ++q)
                    next[q + 1] = true;
            } else if (fitsOne(e, text[p])) {
                next[p + 1] = true;
            }
        }
        at = std::move(next);
    }
    return at;
}

}  // namespace

C_WildcardMatcher::C_WildcardMatcher(std::span<const C_IsleItem> items, size_t from, size_t to,
                                     bool nested)
    : m_nested(nested) {
    to = std::min(to, items.size());
    from = std::min(from, to);
    m_span = items.subspan(from, to - from);
    // All items required: one list of elements, made once. Nested: each item's elements are
    // read when a match reaches it, which is seldom past the first few.
    if (!nested && !m_span.empty()) {
        m_flat.emplace();
        for (const C_IsleItem& item : m_span)
            *m_flat += elementsOf(item.m_piece);
    } else if (!m_span.empty()) {
        m_firstElements = elementsOf(m_span.front().m_piece);  // every match reads it
    }
}

std::optional<C_WildcardMatcher::C_Match> C_WildcardMatcher::matchPrefix(std::string_view text,
                                                                         size_t* seenOut) const {
    size_t ignored = 0;
    size_t& seen = seenOut ? *seenOut : ignored;
    seen = 0;
    if (m_span.empty())
        return C_Match{0, 1};
    if (m_flat) {
        const std::optional<size_t> end = firstEnd(*m_flat, text, 0, seen);
        if (!end)
            return std::nullopt;
        return C_Match{*end, 1};
    }
    const std::optional<size_t> first = firstEnd(m_firstElements, text, 0, seen);
    if (!first)
        return std::nullopt;
    C_Match m{*first, 1};
    // The elements of one later item at a time, in a buffer of the thread that outlives the
    // calls.
    thread_local std::string elems;
    for (size_t j = 1; j < m_span.size(); ++j) {
        elems = elementsOf(m_span[j].m_piece, std::move(elems));
        const std::optional<size_t> end = firstEnd(elems, text, m.length, seen);
        if (!end)
            break;
        m.length = *end;
        ++m.groups;
    }
    return m;
}

bool C_WildcardMatcher::matchWhole(std::string_view text) const {
    std::vector<std::string> items;
    if (m_flat)
        items.push_back(*m_flat);
    else
        for (const C_IsleItem& item : m_span)
            items.push_back(elementsOf(item.m_piece));
    const size_t n = text.size();
    const auto accepts = [&](const std::vector<bool>& at) {
        return at[n] || (n > 0 && at[n - 1] && isDigitKey(text[n - 1]));
    };
    std::vector<bool> at(n + 1, false);
    at[0] = true;
    if (items.empty())
        return accepts(at);
    for (size_t j = 0; j < items.size(); ++j) {
        at = allEnds(items[j], text, at);
        if (std::none_of(at.begin(), at.end(), [](bool b) { return b; }))
            return false;
        // Not nested, every item is part of one whole; nested, the rest may be left out here.
        if ((m_nested || j + 1 == items.size()) && accepts(at))
            return true;
    }
    return false;
}

}  // namespace kov
