#include "engine/dict/karr_walk.h"

#include <algorithm>
#include <stdexcept>
#include <variant>
#include <vector>

#include "engine/text/code_points.h"
#include "engine/text/syllable_match.h"
#include "engine/text/key_pattern.h"
#include "engine/text/tailo.h"
#include "qiv/utf8.h"

namespace kov {

namespace {

// The rime-and-tone test of a syllable's part after its initial: the letters before the first
// digit must spell a rime (a vowel group with an optional coda, or a syllabic nasal) and a digit
// must follow. Returns the matched length. A rime holds letters only, so it is the whole run of
// letters, and the test is a full match of kRimeToneRegex over that run and its digit.
std::optional<size_t> rimeToneLength(std::string_view s) {
    size_t n = 0;
    while (n < s.size() && s[n] >= 'a' && s[n] <= 'z')
        ++n;
    if (n == 0 || n >= s.size() || !isDigitKey(s[n]) || !isRimeTone(s.substr(0, n + 1)))
        return std::nullopt;
    return n + 1;
}

// The first entry in [first, last) whose key is not less than key, found by probing forward from
// first in doubling steps before the binary search: the blocks the walk passes over (entries that
// share a refused or followed syllable) are mostly a few entries long, so this stays near first.
size_t lowerBoundFrom(const I_KarrEntries& entries, size_t first, size_t last,
                      std::string_view key) {
    size_t lo = first;
    for (size_t step = 1;; step *= 2) {
        const size_t hi = last - lo > step ? lo + step : last;
        if (hi == last || !karrKeyLess(entries.karrKey(hi - 1), key))
            return entries.karrLowerBound(lo, hi, key);
        lo = hi;
    }
}

bool isSeparator(unsigned cp) {
    return cp < 0x80 && kTailoSeparators.find(char(cp)) != std::string_view::npos;
}

// A text joined from pieces, kept on the stack when short (as most prefixes and bounds of a
// walk are), else on the heap. The pieces must not lie in the text itself.
class C_ShortText {
public:
    C_ShortText() = default;
    C_ShortText(const C_ShortText&) = delete;
    C_ShortText& operator=(const C_ShortText&) = delete;

    std::string_view set(std::string_view a, std::string_view b) {
        const size_t n = a.size() + b.size();
        char* out = m_inline;
        if (n > sizeof m_inline) {
            m_heap.resize(n);
            out = m_heap.data();
        }
        std::copy(a.begin(), a.end(), out);
        std::copy(b.begin(), b.end(), out + a.size());
        m_view = std::string_view(out, n);
        return m_view;
    }
    std::string_view view() const { return m_view; }

private:
    char m_inline[64];
    std::string m_heap;
    std::string_view m_view;
};

// An initial typed alone (the entry's first `typed` keys) fits an entry that goes on with a rime
// and a tone digit: the end of that syllable in the entry. On a refusal, decided is the length of
// the entry's leading text that refused it (every entry sharing that text is refused alike), or
// 0 when that is not known.
std::optional<size_t> initialFit(size_t typed, std::string_view entry, size_t& decided) {
    decided = 0;
    const std::string_view rest = entry.substr(std::min(typed, entry.size()));
    if (!rest.empty() && rest[0] >= 'a' && rest[0] <= 'z' && !beginsRime(rest[0])) {
        // Every rime begins with a vowel, "m" or "n": whatever follows, a letter that cannot
        // begin one refuses the entry and every entry that shares it ("t" before "sa1",
        // "sai2", ... of the "ts" words).
        decided = typed + 1;
        return std::nullopt;
    }
    const auto len = rimeToneLength(rest);
    if (!len) {
        // The test reads the run of letters and the character after it.
        const size_t letters =
            std::find_if(rest.begin(), rest.end(), [](char c) { return c < 'a' || c > 'z'; }) -
            rest.begin();
        if (letters < rest.size())
            decided = typed + letters + 1;
        return std::nullopt;
    }
    return typed + *len;
}

// The typed piece of a level over item k of a wildcard island: the item's literal keys up to the
// gap after it, or its first key when the literal keys reach the island's end.
std::string_view wildcardTyped(const C_VisitConsts& vc, const C_StdIsle& isle, size_t k) {
    const auto items = isle.items();
    const size_t keyStart = isle.m_start + items[k].m_start;
    const auto gap = isle.gapAfterItem(k);
    return gap ? typedKeys(vc, keyStart, isle.m_start + std::max<size_t>(*gap, items[k].m_start))
               : typedKeys(vc, keyStart, keyStart + 1);
}

// What matching one position against an entry yields.
struct C_Fit {
    size_t matchedEnd = 0;  // end of the entry text that the position matched
    bool inexact = false;
    bool abbreviation = false;
    size_t candidateEnd = 0;  // key position where the candidate ends (kind 2 only)
};

// The part of a level that depends only on the last position: the typed piece and how an entry
// is tested against it.
class C_LevelMatcher {
public:
    C_LevelMatcher(const C_StdKarrVocsRecurseConsts& rc, const C_IlKeyPos& pos,
                   std::string_view prefix, bool inexactSoFar, bool abbreviation)
        : m_rc(rc),
          m_isle(*pos.m_isle),
          m_prefixSize(prefix.size()),
          m_inexactSoFar(inexactSoFar),
          m_abbreviation(abbreviation) {
        const C_VisitConsts& vc = rc.m_consts;
        const size_t keyStart = m_isle.m_start + ilKeyStart(pos);
        switch (m_isle.kind()) {
            case ISLE_PLAIN:
            case ISLE_SYLLABLE:
                m_typed = typedKeys(vc, keyStart, m_isle.end());
                break;
            case ISLE_WILDCARD: {
                const auto items = m_isle.items();
                const size_t k = pos.m_index;
                m_typed = wildcardTyped(vc, m_isle, k);
                // Later items nest as optional ones, so the match tells how many of them it took.
                m_matcher.emplace(items, k, items.size(), true);
                m_item = k;
                m_itemKeyStart = keyStart;
                m_hasStar = m_isle.wildcard()->starFrom(k);
                break;
            }
            default:
                throw std::logic_error("Unknown exts index " +
                                       std::to_string(size_t(m_isle.kind())));
        }
        m_newPrefix.set(prefix, m_typed);
    }

    std::string_view newPrefix() const { return m_newPrefix.view(); }

    // On a refusal, decided is the length of the entry's leading text that refused it (every
    // entry sharing that text is refused alike), or 0 when that is not known.
    std::optional<C_Fit> fit(std::string_view entry, size_t& decided) const {
        decided = 0;
        C_Fit f;
        f.abbreviation = m_abbreviation;
        switch (m_isle.kind()) {
            case ISLE_PLAIN: {
                const std::optional<size_t> end =
                    initialFit(m_newPrefix.view().size(), entry, decided);
                if (!end)
                    return std::nullopt;
                f.matchedEnd = *end;
                f.inexact = true;
                return f;
            }
            case ISLE_SYLLABLE: {
                const C_IsleSyllable& syl = *m_isle.syllable();
                const size_t n = m_newPrefix.view().size();
                const char ch = n < entry.size() ? entry[n] : '\0';
                f.matchedEnd = n;
                if (!syl.m_toneDigit && !syl.m_hasInitial && m_typed.size() == 1) {
                    // A lone vowel-like key may stand for a whole syllable.
                    if (ch == '\0' || isToneDigit(ch))
                        f.abbreviation = false;
                    else
                        f.inexact = true;
                } else {
                    if (ch != '\0' &&
                        std::string_view(" -123456789").find(ch) == std::string_view::npos) {
                        decided = n + 1;
                        return std::nullopt;
                    }
                    f.abbreviation = false;
                }
                f.inexact = f.inexact || m_inexactSoFar || syl.m_loneN;
                return f;
            }
            case ISLE_WILDCARD:
            default: {
                const std::string_view rest = entry.substr(std::min(m_prefixSize, entry.size()));
                size_t seen = 0;
                const std::optional<C_WildcardMatcher::C_Match> m =
                    m_matcher->matchPrefix(rest, &seen);
                // A refusal holds for every entry that shares the text the matcher looked at.
                if (!m) {
                    decided = m_prefixSize + seen;
                    return std::nullopt;
                }
                const size_t len = m->length;
                const char after = len < rest.size() ? rest[len] : '\0';
                if (after != '\0' &&
                    std::string_view("-123456789").find(after) == std::string_view::npos) {
                    decided = m_prefixSize + std::max(seen, len + 1);
                    return std::nullopt;
                }
                const size_t g = m->groups;
                f.matchedEnd = m_prefixSize + len;
                f.inexact = true;
                f.candidateEnd = candidateEnd(g);
                if (m_hasStar && g < itemCount()) {
                    // A star may have eaten the keys of the items whose groups took no part: the
                    // typed keys from the first such item to the island's end must then fit the
                    // entry's characters that end where the match ends (its tone digit included).
                    std::string tail(typedKeys(m_rc.m_consts, f.candidateEnd, m_isle.end()));
                    if (tail.empty() || !isDigitKey(tail.back()))
                        tail += '0';
                    size_t end = len + (isDigitKey(after) ? 1 : 0);
                    if (tail.size() > end)
                        return std::nullopt;
                    if (!matchKeyPattern(tail, rest.substr(end - tail.size(), tail.size()),
                                         tail.size()))
                        return std::nullopt;
                    f.candidateEnd = m_isle.end();
                }
                return f;
            }
        }
    }

    // Wildcard islands: the items from the position's item to the island's end, whether one of
    // them holds a "*", and the key position where a candidate ends when the match took g of
    // them: the start of the first item it did not take, or the island's end.
    size_t itemCount() const { return m_isle.items().size() - m_item; }
    bool hasStar() const { return m_hasStar; }
    size_t candidateEnd(size_t g) const {
        const auto items = m_isle.items();
        return g < itemCount()
                   ? m_itemKeyStart + (items[m_item + g].m_start - items[m_item].m_start)
                   : m_isle.end();
    }
    bool abbreviation() const { return m_abbreviation; }

private:
    const C_StdKarrVocsRecurseConsts& m_rc;
    const C_StdIsle& m_isle;
    size_t m_prefixSize;
    bool m_inexactSoFar;  // an earlier syllable of the word was matched inexactly
    bool m_abbreviation;
    std::string_view m_typed;
    C_ShortText m_newPrefix;
    std::optional<C_WildcardMatcher> m_matcher;  // wildcard islands only
    size_t m_item = 0;
    size_t m_itemKeyStart = 0;
    bool m_hasStar = false;
};

// Offers entry i as a finished word: its readings checked against the positions.
void offer(const I_KarrEntries& entries, const C_StdKarrVocsRecurseConsts& rc, size_t i,
           std::span<const C_IlKeyPos> positions, const C_Fit& fit, std::string_view keyText) {
    const C_IlKeyPos& firstPos = positions.front();
    const size_t firstKey = firstPos.m_isle->m_start + ilKeyStart(firstPos);
    const C_StdIsle& lastIsle = *positions.back().m_isle;
    const size_t end = lastIsle.kind() == ISLE_WILDCARD ? fit.candidateEnd : lastIsle.end();
    const size_t span = end > firstKey ? end - firstKey : 0;
    // The records of one word mostly share their readings (a Han word and its Tai-lo spelling):
    // each distinct reading is checked once.
    std::vector<std::pair<std::string, std::optional<std::string>>> checked;
    entries.visitKarrRecords(i, [&](const C_KarrRecord& rec) {
        std::vector<std::string> kept;
        for (const std::string& r : rec.m_readings) {
            auto it = std::find_if(checked.begin(), checked.end(),
                                   [&](const auto& c) { return c.first == r; });
            if (it == checked.end())
                it = checked.insert(checked.end(), {r, rc.matchTailo(r, positions)});
            const auto& synced = it->second;
            if (synced && std::find(kept.begin(), kept.end(), *synced) == kept.end())
                kept.push_back(*synced);
        }
        if (kept.empty())
            return;
        rc.m_sink(
            makeVocCandidate(rec.m_text, std::move(kept), span, positions.size(), rec.m_weight,
                             rec.m_cats, fit.inexact ? rc.m_inexactSource : rc.m_exactSource),
            keyText);
    });
}

// Whether some word of a block goes on with a letter after its hyphens, found once per letter.
struct C_GoesOnLetters {
    uint32_t m_known = 0;
    uint32_t m_goesOn = 0;
};

// An entry that fits a level over a wildcard island: its item and as many of the items after it
// as the match took.
struct C_WildcardFit {
    size_t m_entry = 0;
    size_t m_groups = 0;  // the item and the later items the match took
    size_t m_length = 0;  // the entry text up to where the match ended
    mutable C_GoesOnLetters m_letters;
};

// The entries of a range that fit a level over a wildcard island, worked out once per visit for
// all the islands of one item table. Those islands have the same items up to where the shorter
// ends, and the items after the level's first are optional. So an entry fits an island exactly
// when it fits the longest one with a match that took no more items than that island holds:
// where an island's items end, the longest one's match would go on with the first key of the
// next item, a letter, which no entry may hold right after a match. One scan of the entries,
// with the longest island's items, answers every island of the table.
class C_WildcardScan final : public C_VisitConsts::C_Memo {
public:
    uint64_t m_revision = 0;
    std::string m_newPrefix;
    std::vector<C_WildcardFit> m_fits;
    size_t m_fewestGroups = SIZE_MAX;  // the fewest items a fit took
};

// The scan of the entries [first, last) that share prefix, for item k of the islands of the
// table of w, whose level's prefix is newPrefix; null when the walk keeps no memos.
const C_WildcardScan* wildcardScan(const I_KarrEntries& entries,
                                   const C_StdKarrVocsRecurseConsts& rc, const C_IsleWildcard& w,
                                   size_t k, size_t first, size_t last, std::string_view prefix,
                                   std::string_view newPrefix) {
    if (!rc.m_memoKey)
        return nullptr;
    const C_VisitConsts::C_MemoKey key{
        rc.m_memoKey, w.sharedId(), {k, first, last, prefix.size(), newPrefix.size()}};
    if (const auto* scan = dynamic_cast<const C_WildcardScan*>(rc.m_consts.memo(key));
        scan && scan->m_revision == rc.m_memoRevision && scan->m_newPrefix == newPrefix)
        return scan;
    auto scan = std::make_unique<C_WildcardScan>();
    scan->m_revision = rc.m_memoRevision;
    scan->m_newPrefix = newPrefix;
    const std::span<const C_IsleItem> items = w.sharedItems();
    const C_WildcardMatcher matcher(items, k, items.size(), true);
    C_ShortText bound;
    for (size_t i = entries.karrLowerBound(first, last, newPrefix); i < last; ++i) {
        const std::string_view key = entries.karrKey(i);
        if (!matchKeyPattern(newPrefix, key, newPrefix.size()))
            break;
        const std::string_view rest = key.substr(std::min(prefix.size(), key.size()));
        size_t seen = 0;
        size_t decided = 0;
        const std::optional<C_WildcardMatcher::C_Match> m = matcher.matchPrefix(rest, &seen);
        if (!m) {
            decided = prefix.size() + seen;
        } else if (const char after = m->length < rest.size() ? rest[m->length] : '\0';
                   after != '\0' &&
                   std::string_view("-123456789").find(after) == std::string_view::npos) {
            decided = prefix.size() + std::max(seen, m->length + 1);
        } else {
            C_WildcardFit& fit = scan->m_fits.emplace_back();
            fit.m_entry = i;
            fit.m_groups = m->groups;
            fit.m_length = prefix.size() + m->length;
            scan->m_fewestGroups = std::min(scan->m_fewestGroups, m->groups);
            // The entries that share the text up to the hyphens after the match fit alike.
            const size_t dash = key.find('-', fit.m_length);
            if (dash != std::string_view::npos) {
                const size_t afterRun = std::min(key.find_first_not_of('-', dash), key.size());
                const size_t blockEnd = entries.karrBlockEnd(i, last, afterRun);
                if (blockEnd > i)
                    i = blockEnd - 1;
            }
            continue;
        }
        // Pass over the entries that share the text that refused this one.
        if (decided && decided <= key.size()) {
            const size_t skipTo =
                lowerBoundFrom(entries, i + 1, last, bound.set(key.substr(0, decided), "\x7F"));
            if (skipTo > i + 1)
                i = skipTo - 1;
        }
    }
    return &static_cast<const C_WildcardScan&>(rc.m_consts.keepMemo(key, std::move(scan)));
}

size_t distinctIsles(std::span<const C_IlKeyPos> positions) {
    size_t count = 0;
    for (size_t k = 0; k < positions.size(); ++k) {
        bool seen = false;
        for (size_t j = 0; j < k && !seen; ++j)
            seen = positions[j].m_isle == positions[k].m_isle;
        if (!seen)
            ++count;
    }
    return count;
}

}  // namespace

C_Candidate makeVocCandidate(std::string_view text, std::vector<std::string> readings, size_t span,
                             size_t count, float weight, std::span<const uint8_t> cats,
                             E_SourceType source) {
    if (span > 65535)
        throw std::runtime_error("Span units too large: " + std::to_string(span));
    C_Candidate c;
    c.m_text = std::string(text);
    c.m_readings = std::move(readings);
    c.m_span = uint16_t(span);
    c.m_count = uint16_t(std::min<size_t>(count, 0xFFFF));
    c.m_weight = weight;
    for (uint8_t cat : cats)
        if (std::find(c.m_cats.begin(), c.m_cats.end(), cat) == c.m_cats.end())
            c.m_cats.push_back(cat);
    c.m_bonus = 0.0;
    c.m_source = source;
    c.m_rank = RANK_ORDINARY;
    return c;
}

std::string_view typedKeys(const C_VisitConsts& consts, size_t from, size_t to) {
    consts.noteRead(to > from ? to - 1 : from);
    const size_t n = std::min(consts.m_length, consts.m_keys.size());
    if (from >= n || to <= from)
        return {};
    return consts.m_keys.substr(from, std::min(to, n) - from);
}

size_t I_KarrEntries::karrLowerBound(size_t first, size_t last, std::string_view key) const {
    while (first < last) {
        const size_t mid = first + (last - first) / 2;
        if (karrKeyLess(karrKey(mid), key))
            first = mid + 1;
        else
            last = mid;
    }
    return first;
}

size_t I_KarrEntries::karrBlockEnd(size_t i, size_t last, size_t length) const {
    C_ShortText bound;
    return lowerBoundFrom(*this, i, last, bound.set(karrKey(i).substr(0, length), "\x7F"));
}

const C_KarrInitialBlocks* I_KarrEntries::initialBlocks(std::string_view) const { return nullptr; }

C_KarrInitialBlocks findInitialBlocks(const I_KarrEntries& entries, std::string_view initial) {
    // The entries as the walk's first level goes through them for a plain island.
    C_KarrInitialBlocks blocks;
    const size_t last = entries.karrCount();
    C_ShortText bound;
    for (size_t i = entries.karrLowerBound(0, last, initial); i < last; ++i) {
        const std::string_view key = entries.karrKey(i);
        if (!matchKeyPattern(initial, key, initial.size()))
            break;
        size_t decided;
        const std::optional<size_t> end = initialFit(initial.size(), key, decided);
        if (!end) {
            if (decided && decided <= key.size()) {
                const size_t skipTo =
                    lowerBoundFrom(entries, i + 1, last, bound.set(key.substr(0, decided), "\x7F"));
                if (skipTo > i + 1)
                    i = skipTo - 1;
            }
            continue;
        }
        const size_t dash = key.find('-', std::min(*end, key.size()));
        if (dash == std::string_view::npos)
            continue;
        C_KarrInitialBlock block;
        block.m_first = i;
        block.m_afterRun = std::min(key.find_first_not_of('-', dash), key.size());
        block.m_last = entries.karrBlockEnd(i, last, block.m_afterRun);
        for (size_t j = i; j < block.m_last; ++j) {
            const std::string_view k = entries.karrKey(j);
            if (block.m_afterRun < k.size() && k[block.m_afterRun] >= 'a' &&
                k[block.m_afterRun] <= 'z')
                block.m_nextLetters |= uint32_t(1) << (k[block.m_afterRun] - 'a');
        }
        blocks.push_back(block);
        if (block.m_last > i)
            i = block.m_last - 1;
    }
    return blocks;
}

size_t I_KarrEntries::karrNextLowerBound(size_t i, size_t last, size_t length, char next) const {
    C_ShortText bound;
    return karrLowerBound(i, last,
                          bound.set(karrKey(i).substr(0, length), std::string_view(&next, 1)));
}

C_StdKarrVocsRecurseConsts::C_StdKarrVocsRecurseConsts(const C_VisitConsts& consts,
                                                       const C_StdIsle& isle, FC_CandidateSink sink,
                                                       E_KarrMode mode, size_t threshold,
                                                       E_SourceType inexactSource,
                                                       E_SourceType exactSource)
    : m_consts(consts),
      m_isle(isle),
      m_sink(std::move(sink)),
      m_mode(mode),
      m_threshold(threshold),
      m_inexactSource(inexactSource),
      m_exactSource(exactSource) {}

// The reading check of a wildcard position: the items as the entry test nests them (later
// items optional), then an optional tone digit, since every syllable key ends in one and a
// pattern typed without one would otherwise refuse every reading.
const C_WildcardMatcher& C_StdKarrVocsRecurseConsts::itemsMatcher_(const C_StdIsle& isle,
                                                                   size_t from, size_t to) const {
    const auto key = std::make_tuple(&isle, from, to);
    auto it = m_matcherCache.find(key);
    if (it != m_matcherCache.end())
        return it->second;
    return m_matcherCache.emplace(key, C_WildcardMatcher(isle.items(), from, to, true))
        .first->second;
}

std::optional<std::string> C_StdKarrVocsRecurseConsts::matchTailo(
    std::string_view tailo, std::span<const C_IlKeyPos> positions) const {
    auto res = tailo2tonedKeys(tailo);
    if (res.index() != 0)
        return std::nullopt;
    const std::vector<std::string>& syllables = std::get<0>(res);
    if (syllables.empty())
        return std::nullopt;
    size_t c = 0;
    for (size_t p = 0; p < positions.size(); ++p) {
        const C_IlKeyPos& pos = positions[p];
        if (c >= syllables.size() || pos.m_count > syllables.size() - c)
            return std::nullopt;
        const C_StdIsle& isle = *pos.m_isle;
        const bool nextOnSame = p + 1 < positions.size() && positions[p + 1].m_isle == pos.m_isle;
        if (isle.kind() == ISLE_WILDCARD) {
            std::string joined = syllables[c];
            for (size_t s = c + 1; s < c + pos.m_count; ++s)
                joined += "-" + syllables[s];
            const size_t to = nextOnSame ? positions[p + 1].m_index : isle.items().size();
            if (!itemsMatcher_(isle, pos.m_index, to).matchWhole(joined))
                return std::nullopt;
        } else {
            const size_t from = isle.m_start + pos.m_index;
            const size_t to =
                isle.m_start + (nextOnSame ? positions[p + 1].m_index : isle.m_length);
            const std::string_view piece = typedKeys(m_consts, from, to);
            const std::string& syl = syllables[c];
            if (piece.size() > syl.size() || !matchKeyPattern(piece, syl, piece.size()))
                return std::nullopt;
            if (isle.kind() == ISLE_PLAIN) {
                const std::string_view rest = std::string_view(syl).substr(piece.size());
                if (rimeToneLength(rest) != rest.size())
                    return std::nullopt;
            }
        }
        c += pos.m_count;
    }
    std::string out(tailo);
    syncTailoCapitals(out, positions);
    return out;
}

void C_StdKarrVocsRecurseConsts::syncTailoCapitals(std::string& tailo,
                                                   std::span<const C_IlKeyPos> positions) const {
    if (m_consts.m_capitals.empty() || tailo.empty() || positions.empty())
        return;
    const size_t lead = tailo.find_first_not_of('-');
    if (lead == std::string::npos)
        return;
    std::vector<bool> marked(positions.size());
    bool any = false;
    for (size_t k = 0; k < positions.size(); ++k) {
        marked[k] = m_consts.isCapital(positions[k].m_isle->m_start + ilKeyStart(positions[k]));
        any = any || marked[k];
    }
    if (!any)
        return;
    std::string out = tailo.substr(0, lead);
    out.reserve(tailo.size());
    size_t k = 0;
    size_t countdown = positions[0].m_count;
    bool start = true;
    bool inSeparators = false;
    char buf[8];
    visitCodePoints(std::string_view(tailo).substr(lead), [&](unsigned cp) {
        if (k < positions.size()) {
            if (isSeparator(cp)) {
                if (!inSeparators) {
                    inSeparators = true;
                    if (countdown > 0)
                        --countdown;
                    if (countdown == 0 && ++k < positions.size()) {
                        countdown = positions[k].m_count;
                        start = true;
                    }
                }
            } else {
                inSeparators = false;
                if (start) {
                    start = false;
                    if (marked[k])
                        cp = capitalCodePoint(cp);
                }
            }
        }
        const int n = qiv::encodeUtf8(cp, buf);
        if (n > 0)
            out.append(buf, size_t(n));
        return true;
    });
    tailo = std::move(out);
}

void walkKarrVocs(const I_KarrEntries& entries, const C_StdKarrVocsRecurseConsts& rc, size_t item) {
    const C_IlKeyPos top{&rc.m_isle, item, 1};
    getKarrVocs(entries, rc, 0, entries.karrCount(), std::span<const C_IlKeyPos>(&top, 1), {},
                false, true);
}

void getKarrVocs(const I_KarrEntries& entries, const C_StdKarrVocsRecurseConsts& rc, size_t first,
                 size_t last, std::span<const C_IlKeyPos> positions, std::string_view prefix,
                 bool inexactSoFar, bool abbreviation) {
    if (positions.empty())
        throw std::logic_error("Empty word_poses");
    const size_t islandCount = distinctIsles(positions);
    const C_LevelMatcher level(rc, positions.back(), prefix, inexactSoFar, abbreviation);
    const std::string_view newPrefix = level.newPrefix();
    const C_VisitConsts& vc = rc.m_consts;
    const size_t keyEnd = std::min(vc.m_length, vc.m_keys.size());

    // The positions of the next level: these and one more. Most words have few syllables, so
    // short walks keep them on the stack.
    constexpr size_t kInlineDepth = 8;
    C_IlKeyPos inlineNext[kInlineDepth];
    std::vector<C_IlKeyPos> heapNext;
    std::span<C_IlKeyPos> next;
    if (positions.size() < kInlineDepth) {
        next = std::span<C_IlKeyPos>(inlineNext, positions.size() + 1);
    } else {
        heapNext.resize(positions.size() + 1);
        next = heapNext;
    }
    std::copy(positions.begin(), positions.end(), next.begin());
    // Where the next level starts, and its first key, are the same for every entry of this
    // one; they are read when the first entry goes on to a next syllable, so that a level whose
    // words all end here reads no key past them.
    size_t nextPos = 0;
    char nextKey = '\0';
    bool nextRead = false;
    const auto readNext = [&] {
        if (nextRead)
            return;
        nextPos = vc.skipHyphenRun(positions.back().m_isle->end());
        nextKey = vc.keyAt(nextPos);
        nextRead = true;
    };
    // The bounds searched for below: a text of the entry followed by '\x7F', built in one buffer.
    C_ShortText keyed;

    // The words of the block [blockFirst, blockLast) go on past their hyphens (afterRun keys,
    // nextPrefix): the next level walks them over each island at the next position. Every
    // island there spells its first key literally when that key is a letter (a wildcard
    // pattern's first item starts with it too), so no level finds anything unless some entry of
    // the block goes on with that key: then the islands are not even looked at. A plain or
    // syllable island's search may start at the first such entry.
    const auto goOn = [&](size_t blockFirst, size_t blockLast, size_t afterRun,
                          std::string_view nextPrefix, bool abbreviated, bool inexactSoFar,
                          C_GoesOnLetters* letters) {
        std::optional<size_t> withKey;
        if (nextKey >= 'a' && nextKey <= 'z') {
            const uint32_t bit = uint32_t(1) << (nextKey - 'a');
            if (letters && (letters->m_known & bit) && !(letters->m_goesOn & bit)) {
                withKey = blockLast;
            } else {
                keyed.set(nextPrefix, std::string_view(&nextKey, 1));
                const size_t k =
                    entries.karrNextLowerBound(blockFirst, blockLast, afterRun, nextKey);
                withKey =
                    k < blockLast && entries.karrKey(k).starts_with(keyed.view()) ? k : blockLast;
                if (letters) {
                    letters->m_known |= bit;
                    if (withKey != blockLast)
                        letters->m_goesOn |= bit;
                }
            }
        }
        // The wildcard islands there mostly share an item table: once its scan of the block is
        // known, an island that holds fewer items than any fit took finds nothing (its level
        // reads its typed piece, and nothing more).
        const void* scannedTable = nullptr;
        const C_WildcardScan* scanned = nullptr;
        for (const C_IslePtr& isle :
             withKey == blockLast ? std::span<const C_IslePtr>() : vc.islesAt(nextPos)) {
            size_t from = blockFirst;
            if (isle->kind() != ISLE_WILDCARD && withKey)
                from = *withKey;
            if (const C_IsleWildcard* w = isle->wildcard();
                w && scanned && w->sharedId() == scannedTable && !w->starFrom(0) &&
                scanned->m_fewestGroups > w->items().size() &&
                std::string_view(scanned->m_newPrefix).substr(nextPrefix.size()) ==
                    wildcardTyped(vc, *isle, 0))
                continue;
            next.back() = C_IlKeyPos{isle.get(), 0, 1};
            getKarrVocs(entries, rc, from, blockLast, std::span<const C_IlKeyPos>(next), nextPrefix,
                        inexactSoFar, abbreviated);
            if (const C_IsleWildcard* w = isle->wildcard(); w && w->sharedId() != scannedTable) {
                scannedTable = w->sharedId();
                keyed.set(nextPrefix, wildcardTyped(vc, *isle, 0));
                scanned =
                    wildcardScan(entries, rc, *w, 0, from, blockLast, nextPrefix, keyed.view());
            }
        }
    };

    // An initial typed alone at the top of the walk offers none of the one-syllable words it
    // meets (they stay below the threshold): it only leads on to the next islands, through the
    // blocks that the table may keep for it.
    const C_StdIsle& top = *positions.back().m_isle;
    if (positions.size() == 1 && prefix.empty() && top.kind() == ISLE_PLAIN && abbreviation &&
        rc.m_mode == KARR_ISLAND_VOCS && rc.m_threshold > islandCount && first == 0 &&
        last == entries.karrCount()) {
        if (const C_KarrInitialBlocks* blocks = entries.initialBlocks(newPrefix)) {
            for (const C_KarrInitialBlock& block : *blocks) {
                readNext();
                if (nextPos >= keyEnd)
                    return;
                if (nextKey >= 'a' && nextKey <= 'z' &&
                    !(block.m_nextLetters & (uint32_t(1) << (nextKey - 'a'))))
                    continue;
                goOn(block.m_first, block.m_last, block.m_afterRun,
                     entries.karrKey(block.m_first).substr(0, block.m_afterRun), abbreviation, true,
                     nullptr);
            }
            return;
        }
    }
    // An entry that fits this level: its word ends here and is offered, or it goes on and the
    // next level walks the entries that share its text up to and including its hyphens (they
    // all fit here alike, so this level passes over them). Returns the last entry taken.
    const auto take = [&](size_t i, std::string_view key, const C_Fit& fit,
                          C_GoesOnLetters* letters) {
        const size_t dash = key.find('-', std::min(fit.matchedEnd, key.size()));
        if (dash == std::string_view::npos) {
            if (rc.m_mode == KARR_ISLAND_VOCS &&
                (!fit.abbreviation || islandCount >= rc.m_threshold))
                offer(entries, rc, i, positions, fit, {});
            return i;
        }
        const size_t afterRun = std::min(key.find_first_not_of('-', dash), key.size());
        const std::string_view nextPrefix = key.substr(0, afterRun);
        const size_t nextLast = entries.karrBlockEnd(i, last, afterRun);
        // The next syllable starts where this one's typed keys end. Over a wildcard island that
        // is the island's end, so the word goes on only when the match took every item up to
        // it: otherwise the keys of the items it did not take would lie inside the word
        // unspelled.
        if (top.kind() == ISLE_WILDCARD && fit.candidateEnd != top.end())
            return nextLast > i ? nextLast - 1 : i;
        readNext();
        if (nextPos >= keyEnd) {
            if (rc.m_mode == KARR_RELATED)
                for (size_t j = i; j < nextLast; ++j) {
                    const std::string_view k2 = entries.karrKey(j);
                    offer(entries, rc, j, positions, fit, k2.substr(std::min(afterRun, k2.size())));
                }
        } else {
            goOn(i, nextLast, afterRun, nextPrefix, fit.abbreviation, fit.inexact, letters);
        }
        return nextLast > i ? nextLast - 1 : i;
    };

    // A level over a wildcard island: the entries that fit were found once for every island of
    // its item table.
    if (top.kind() == ISLE_WILDCARD && !level.hasStar()) {
        if (const C_WildcardScan* scan =
                wildcardScan(entries, rc, *top.wildcard(), positions.back().m_index, first, last,
                             prefix, newPrefix)) {
            for (const C_WildcardFit& f : scan->m_fits) {
                if (f.m_groups > level.itemCount())
                    continue;
                C_Fit fit;
                fit.matchedEnd = f.m_length;
                fit.inexact = true;
                fit.abbreviation = level.abbreviation();
                fit.candidateEnd = level.candidateEnd(f.m_groups);
                take(f.m_entry, entries.karrKey(f.m_entry), fit, &f.m_letters);
            }
            return;
        }
    }

    C_ShortText bound;
    const auto textBound = [&bound](std::string_view text) { return bound.set(text, "\x7F"); };
    for (size_t i = entries.karrLowerBound(first, last, newPrefix); i < last; ++i) {
        const std::string_view key = entries.karrKey(i);
        if (!matchKeyPattern(newPrefix, key, newPrefix.size()))
            break;
        size_t decided;
        const auto fit = level.fit(key, decided);
        if (!fit) {
            // Pass over the entries that share the text that refused this one.
            if (decided && decided <= key.size()) {
                const size_t skipTo =
                    lowerBoundFrom(entries, i + 1, last, textBound(key.substr(0, decided)));
                if (skipTo > i + 1)
                    i = skipTo - 1;
            }
            continue;
        }
        i = take(i, key, *fit, nullptr);
    }
}

}  // namespace kov
