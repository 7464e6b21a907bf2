// The input line's candidate lists at the nail position, the whole-line candidates, nailing, and
// the walk over the committed words with its made-up spaces and folded hyphen runs.

#include <algorithm>
#include <optional>
#include <stdexcept>
#include <string>
#include <unordered_set>
#include <utility>

#include "engine/compose/input_line.h"
#include "engine/compose/input_line_parts.h"
#include "qiv/utf8.h"

namespace kov {

namespace {

// Word classes of the spacing rule (bit values). A Han or Tai-lo word is 1 or 2; the class of a
// raw text comes from its bytes.
enum E_WordClass : uint32_t {
    WC_HANT = 1,
    WC_TAILO = 2,
    WC_LONG_RAW = 4,  // raw text of other than one byte
    WC_OTHER = 8,     // any other single byte
    WC_PUNCT = 16,    // one of "!,.:;?"
    WC_LETTER = 32,
    WC_DIGIT = 64,
    WC_BLANK = 128,
    WC_HYPHEN = 256,
};

uint32_t rawClass(std::string_view text) noexcept {
    if (text.size() != 1)
        return WC_LONG_RAW;
    const char c = text.front();
    if (std::string_view("!,.:;?").find(c) != std::string_view::npos)
        return WC_PUNCT;
    if ((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'))
        return WC_LETTER;
    if (c >= '0' && c <= '9')
        return WC_DIGIT;
    if (c == ' ')
        return WC_BLANK;
    if (c == '-')
        return WC_HYPHEN;
    return WC_OTHER;
}

// The classes before which a space follows a word of class previous (none after 8, 128, 256).
uint32_t spaceBefore(uint32_t previous) noexcept {
    switch (previous) {
        case WC_HANT:
            return WC_TAILO | WC_LETTER | WC_DIGIT;
        case WC_TAILO:
        case WC_PUNCT:
            return WC_HANT | WC_TAILO | WC_LONG_RAW | WC_LETTER | WC_DIGIT;
        case WC_LONG_RAW:
            return WC_TAILO;
        case WC_LETTER:
            return WC_HANT | WC_TAILO | WC_LONG_RAW;
        case WC_DIGIT:
            return WC_HANT | WC_TAILO | WC_LONG_RAW | WC_LETTER;
        default:
            return 0;
    }
}

C_VocCandidate spaceView() {
    C_VocCandidate v;
    v.m_text = " ";
    v.m_mode = COMPO_KEY;
    v.m_virtual = true;
    return v;
}

C_VocCandidate segmentView() {
    C_VocCandidate v;
    v.m_span = 1;
    v.m_mode = COMPO_SEGMENT;
    return v;
}

// The view of a candidate with the fields every view copies.
C_VocCandidate candidateView(const C_Candidate& c) {
    C_VocCandidate v;
    v.m_cats = c.m_cats;
    v.m_span = c.m_span;
    v.m_words = c.m_count;
    v.m_source = c.m_source;
    v.m_weight = c.score();
    return v;
}

// A list reference: element index, candidate index, reading index, reading flag.
struct C_ListRef {
    uint16_t m_element = 0;
    uint16_t m_candidate = 0;
    uint16_t m_reading = 0;
    bool m_isReading = false;
};

uint64_t packRef(size_t element, size_t candidate, size_t reading, bool isReading) noexcept {
    return uint64_t(uint16_t(element)) | uint64_t(uint16_t(candidate)) << 16 |
           uint64_t(uint16_t(reading)) << 32 | uint64_t(isReading ? 1 : 0) << 48;
}

C_ListRef unpackRef(uint64_t ref) noexcept {
    return C_ListRef{uint16_t(ref), uint16_t(ref >> 16), uint16_t(ref >> 32),
                     ((ref >> 48) & 0xFF) != 0};
}

std::string storageLimit(const char* what, size_t count) {
    return std::string(what) + "(" + std::to_string(count) + ") exceeds storage limit";
}

}  // namespace

// --- The committed words ---

void C_InputLine::getConfirmedCandidates(
    const std_move_only_function<bool(size_t, const C_VocCandidate&)>& visit, bool popping) {
    compose();
    walkConfirmed_(visit, popping);
}

void C_InputLine::walkConfirmed_(
    const std_move_only_function<bool(size_t, const C_VocCandidate&)>& visit, bool popping) {
    std::optional<uint32_t> previous = m_lastWordClass;
    // Hyphens after a Han word wait: a Han word after one or two of them joins them into one
    // hidden view, anything else lets them out one by one.
    std::vector<std::pair<size_t, C_VocCandidate>> pending;
    bool goOn = true;
    const auto emit = [&](size_t pos, const C_VocCandidate& view) {
        goOn = visit(pos, view);
        return goOn;
    };
    const auto emitPending = [&] {
        for (const auto& [pos, view] : pending)
            if (!emit(pos, view))
                break;
        pending.clear();
        return goOn;
    };
    const auto walk = [&] {
        for (const C_Winner& w : m_winners) {
            if (!w.m_candidate) {
                const size_t kind =
                    w.m_start < m_elements.size() ? m_elements[w.m_start].index() : 2;
                if (kind == 1)
                    throw std::logic_error("COMPO_KEY with no winner at " +
                                           std::to_string(w.m_start));
                if (kind != 0)
                    throw std::logic_error("Unknown variant id " + std::to_string(kind) + " at " +
                                           std::to_string(w.m_start));
                if (!emitPending() || !emit(w.m_start, segmentView()))
                    return;
                continue;
            }
            const C_Candidate& c = *w.m_candidate;
            C_VocCandidate view = candidateView(c);
            uint32_t wordClass;
            const C_ChosenReading chosen = c.m_chosenReading;
            if (c.m_rank == RANK_NAILED && chosen.m_set && chosen.m_index < c.m_readings.size()) {
                view.m_text = c.m_readings[chosen.m_index];
                view.m_mode = COMPO_TAILO;
                wordClass = WC_TAILO;
            } else if (c.m_rank == RANK_NAILED || m_mode != CM_TAILO) {
                view.m_text = c.m_text;
                view.m_readings = c.m_readings;
                if (c.m_source == ST_RAW_KEY) {
                    view.m_mode = COMPO_KEY;
                    wordClass = rawClass(c.m_text);
                } else if (!c.m_text.empty()) {
                    view.m_mode = COMPO_HANT;
                    wordClass = WC_HANT;
                } else {
                    view.m_mode = COMPO_TAILO;
                    wordClass = WC_TAILO;
                }
            } else {
                view.m_mode = COMPO_TAILO;
                if (c.m_text.empty()) {
                    view.m_text = c.m_readings.empty() ? std::string() : c.m_readings.front();
                    wordClass = WC_TAILO;
                } else {
                    view.m_text = c.m_text;
                    wordClass = rawClass(c.m_text);
                }
            }

            const std::optional<uint32_t> before = previous;
            if (m_spuriousSpaces) {
                if (previous && (spaceBefore(*previous) & wordClass) &&
                    !emit(w.m_start, spaceView()))
                    return;
                previous = wordClass;
            }
            if (pending.empty()) {
                if (before == WC_HANT && wordClass == WC_HYPHEN) {
                    pending.emplace_back(w.m_start, std::move(view));
                    continue;
                }
            } else if (wordClass == WC_HYPHEN) {
                pending.emplace_back(w.m_start, std::move(view));
                continue;
            } else if (wordClass == WC_HANT && pending.size() <= 2) {
                auto [pos, joined] = std::move(pending.front());
                joined.m_text.assign(pending.size(), '-');
                joined.m_span = 0;
                for (const auto& held : pending)
                    joined.m_span = uint16_t(joined.m_span + held.second.m_span);
                joined.m_hidden = true;
                pending.clear();
                if (!emit(pos, joined))
                    return;
            } else if (!emitPending()) {
                return;
            }
            if (!emit(w.m_start, view))
                return;
        }
        if (emitPending() && m_spuriousSpaces && previous == WC_PUNCT)
            emit(m_caret, spaceView());
    };
    walk();
    if (popping && m_spuriousSpaces)
        m_lastWordClass = previous;
}

// --- Candidate lists ---

const C_InputLine::C_CandiList* C_InputLine::getCandidateCache(size_t viewPos, char mode) {
    if (viewPos >= m_caret || (mode != COMPO_HANT && mode != 'M' && mode != COMPO_TAILO))
        return nullptr;
    const auto cached = m_candiCache.find(viewPos);
    if (cached != m_candiCache.end())
        for (const C_CandiList& list : cached->second)
            if (list.m_mode == mode)
                return &list;

    // Built apart and put into the cache when complete, so that nothing the building calls can
    // see a half-made list.
    C_CandiList list;
    list.m_mode = mode;
    if (const C_CompoUnit* unit = unitAt(viewPos)) {
        const std::span<const C_Candidate> candidates = unit->candidates();
        if (candidates.size() >= 0xFFFF)
            throw std::runtime_error(storageLimit("Candidate count", candidates.size()));
        const bool hant = wantsHant(mode);
        const bool tailo = wantsTailo(mode);
        // In the unit's order, each candidate's readings before its text; a text or reading
        // listed already is not listed again.
        std::unordered_set<std::string_view> texts, readings;
        for (size_t j = 0; j < candidates.size(); ++j) {
            const C_Candidate& c = candidates[j];
            if (tailo || c.m_text.empty()) {
                if (c.m_readings.size() >= 0xFFFF)
                    throw std::runtime_error(storageLimit("Tailo count", c.m_readings.size()));
                for (size_t k = 0; k < c.m_readings.size(); ++k)
                    if (readings.insert(c.m_readings[k]).second)
                        list.m_refs.push_back(packRef(viewPos, j, k, true));
            }
            if (hant && !c.m_text.empty() && texts.insert(c.m_text).second)
                list.m_refs.push_back(packRef(viewPos, j, 0, false));
        }
    }
    if (m_severalOpen)
        addWholeLineCandidates_(list, viewPos);
    std::list<C_CandiList>& lists = m_candiCache[viewPos];
    lists.push_back(std::move(list));
    return &lists.back();
}

void C_InputLine::addWholeLineCandidates_(C_CandiList& list, size_t viewPos) {
    std::vector<C_VocCandidate> views;
    walkConfirmed_(
        [&](size_t pos, const C_VocCandidate& view) {
            if (pos + view.m_span > viewPos &&
                !(view.m_mode == COMPO_SEGMENT && view.m_source != ST_RAW_KEY))
                views.push_back(view);
            return true;
        },
        false);
    if (views.size() < 2)
        return;
    size_t span = 0, words = 0;
    for (const C_VocCandidate& v : views) {
        span += v.m_span;
        words += v.m_words;
    }
    // The Tai-lo spelling of the rest of the line: raw texts as they are, words by their first
    // reading (or their text), a blank between two words.
    std::string tailo;
    bool afterWord = false;
    for (const C_VocCandidate& v : views) {
        if (v.m_source == ST_RAW_KEY) {
            tailo += v.m_text;
            afterWord = false;
            continue;
        }
        if (afterWord)
            tailo += ' ';
        tailo += v.m_readings.empty() ? v.m_text : v.m_readings.front();
        afterWord = true;
    }
    const auto wholeLine = [&](std::string text, std::vector<std::string> readings, char mode) {
        C_VocCandidate v;
        v.m_text = std::move(text);
        v.m_readings = std::move(readings);
        v.m_span = uint16_t(span);
        v.m_words = uint16_t(words);
        v.m_mode = mode;
        v.m_virtual = true;
        return v;
    };
    if (wantsTailo(list.m_mode) && !tailo.empty()) {
        list.m_own.push_back(
            C_CandiList::C_Own{wholeLine(tailo, {}, COMPO_TAILO), [](C_Candidate& c) {
                                   if (!c.m_readings.empty())
                                       c.m_chosenReading = C_ChosenReading{0, true};
                               }});
    }
    if (wantsHant(list.m_mode)) {
        // Han words as written, Tai-lo-only words by their reading, hidden hyphen runs left out.
        std::string hant;
        for (const C_VocCandidate& v : views) {
            if (v.m_source == ST_RAW_KEY) {
                if (!v.m_hidden)
                    hant += v.m_text;
            } else {
                hant += !v.m_text.empty() || v.m_readings.empty() ? v.m_text : v.m_readings.front();
            }
        }
        if (!hant.empty())
            list.m_own.push_back(C_CandiList::C_Own{
                wholeLine(std::move(hant), {tailo}, COMPO_HANT), [](C_Candidate& c) {
                    c.m_chosenReading = c.m_text.empty() && !c.m_readings.empty()
                                            ? C_ChosenReading{0, true}
                                            : C_ChosenReading{};
                }});
    }
}

size_t C_InputLine::getCandidateCountAtNailPos(char mode) {
    compose();
    const C_CandiList* list = getCandidateCache(m_nailPos, mode);
    if (!list)
        return 0;
    if (m_mode == CM_TAILO)
        return list->size() ? 1 : 0;
    return list->size();
}

bool C_InputLine::getCandidatesAtNailPos(
    char mode, size_t index, size_t count,
    const std_move_only_function<void(size_t, const C_VocCandidate&)>& visit) {
    compose();
    const C_CandiList* list = getCandidateCache(m_nailPos, mode);
    if (!list)
        return false;
    const size_t own = list->m_own.size();
    bool emitted = false;
    for (; index < own && count > 0; ++index, --count) {
        visit(m_nailPos, list->m_own[index].m_view);
        emitted = true;
    }
    if (m_mode == CM_TAILO) {
        // The one candidate shown: the first whole-line candidate, else the first entry.
        if (emitted || index != own)
            return true;
        count = std::min<size_t>(count, 1);
    }
    if (count == 0 || index < own)
        return true;
    for (size_t r = index - own; r < list->m_refs.size() && count > 0; ++r, --count) {
        const C_ListRef ref = unpackRef(list->m_refs[r]);
        const C_CompoUnit* unit = unitAt(ref.m_element);
        const C_Candidate* c = unit ? unit->at(ref.m_candidate) : nullptr;
        if (!c)
            throw std::runtime_error("Null compo unit at " + std::to_string(ref.m_element));
        C_VocCandidate view = candidateView(*c);
        if (ref.m_isReading) {
            if (ref.m_reading < c->m_readings.size())
                view.m_text = c->m_readings[ref.m_reading];
            view.m_mode = COMPO_TAILO;
        } else {
            view.m_text = c->m_text;
            view.m_readings = c->m_readings;
            view.m_mode = COMPO_HANT;
        }
        visit(ref.m_element, view);
    }
    return true;
}

// --- Nailing ---

void C_InputLine::invalidateOverlaps(std::span<const std::pair<size_t, size_t>> ranges) {
    for (size_t p = 0; p < m_caret; ++p) {
        C_CompoUnit* unit = unitAt(p);
        if (!unit)
            continue;
        const bool overlaps = std::any_of(
            unit->candidates().begin(), unit->candidates().end(), [&](const C_Candidate& c) {
                return c.m_rank != RANK_CROSSING &&
                       std::any_of(ranges.begin(), ranges.end(), [&](const auto& range) {
                           return range.first < p + c.m_span && p < range.second;
                       });
            });
        if (!overlaps)
            continue;
        if (unit->state() < UNIT_RECHECK)
            unit->setState(UNIT_RECHECK);
        unit->markUnsorted();
    }
}

bool C_InputLine::nailCandidate(char mode, size_t index) {
    const auto refuse = [&](const std::string& why) {
        m_db.logger().log(2, why);
        return false;
    };
    if (m_dirty)
        return refuse("Nail candidate when dirty");
    compose();
    const std::string at = std::to_string(m_nailPos);
    const auto cached = m_candiCache.find(m_nailPos);
    if (cached == m_candiCache.end())
        return refuse("Nail candidate without cache at view pos " + at);
    const auto list = std::find_if(cached->second.begin(), cached->second.end(),
                                   [&](const C_CandiList& l) { return l.m_mode == mode; });
    if (list == cached->second.end())
        return refuse("Nail candidate without mode '" + qiv::escapeCodePoint((unsigned char)mode) +
                      "' at view pos " + at);

    if (index < list->m_own.size()) {
        // A whole-line candidate nails every word from the nail position on, as it stands.
        std::vector<std::pair<size_t, size_t>> ranges;
        std::vector<C_Candidate*> words;
        for (const C_Winner& w : m_winners) {
            if (w.m_candidate && w.m_start + w.m_candidate->m_span > m_nailPos) {
                ranges.emplace_back(w.m_start, w.m_start + w.m_candidate->m_span);
                words.push_back(w.m_candidate);
            }
        }
        if (words.empty())
            return true;
        invalidateOverlaps(ranges);
        const auto& nail = list->m_own[index].m_nail;
        for (C_Candidate* c : words) {
            if (c->m_rank == RANK_NAILED)
                continue;
            c->m_rank = RANK_NAILED;
            nail(*c);
        }
        m_dirty = true;
        return true;
    }

    const size_t r = index - list->m_own.size();
    if (r >= list->m_refs.size())
        return refuse("Nail candidate index " + std::to_string(r) + " out of range at view pos " +
                      at);
    const C_ListRef ref = unpackRef(list->m_refs[r]);
    C_CompoUnit* unit = unitAt(ref.m_element);
    if (!unit)
        return refuse("Nail candidate to non-compo unit at " + std::to_string(ref.m_element));
    C_Candidate* c = unit->at(ref.m_candidate);
    if (!c)
        return refuse("Nail candidate to non-candidate at " + std::to_string(ref.m_element) + "/" +
                      std::to_string(ref.m_candidate));
    const std::pair<size_t, size_t> range{ref.m_element, ref.m_element + c->m_span};
    invalidateOverlaps(std::span(&range, 1));
    c->m_chosenReading =
        C_ChosenReading{ref.m_isReading ? ref.m_reading : uint16_t(0), ref.m_isReading};
    c->m_rank = RANK_NAILED;
    unit->markUnsorted();
    m_dirty = true;
    return true;
}

}  // namespace kov
