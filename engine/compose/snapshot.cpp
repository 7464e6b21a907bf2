#include "engine/compose/snapshot.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <optional>
#include <stdexcept>
#include <string_view>
#include <utility>

#include "qiv/utf8.h"

namespace kov {
namespace {

std::string decimal(size_t n) { return std::to_string(n); }

std::string decimal(std::ptrdiff_t n) { return std::to_string(n); }

// Deep copy of one element; a null unit slot stays null.
C_LineElement copyElement(const C_LineElement& element) {
    switch (element.index()) {
        case 0:
            return std::monostate{};
        case 1: {
            const auto& unit = std::get<1>(element);
            if (!unit)
                return std::unique_ptr<C_CompoUnit>();
            return std::make_unique<C_CompoUnit>(*unit);
        }
        default:
            // Only a variant left valueless by an exception gets here.
            throw std::logic_error("Unknown variant id " + decimal(element.index()));
    }
}

// The candidate of copy that stands where c stands in orig; null for a null c or a position
// outside the copied elements.
C_Candidate* remapCandidate(const C_InputLineSnapshot& orig, const C_InputLineSnapshot& copy,
                            size_t pos, const C_Candidate* c) {
    if (!c || pos >= copy.m_elements.size())
        return nullptr;
    const C_CompoUnit* from = orig.unitAt(pos);
    C_CompoUnit* to = copy.unitAt(pos);
    std::ptrdiff_t index = from ? from->offsetOf(c) : -1;
    if (!from || !to || index < 0 || size_t(index) >= from->size() || size_t(index) >= to->size())
        throw std::logic_error("Invalid candidate index " + decimal(index) + " for winner at " +
                               decimal(pos));
    return to->at(size_t(index));
}

// Closures hold candidates only; a null (the entry of a no-cross mark) is a caller's slip that
// would otherwise be dereferenced.
void checkCandidates(std::span<C_Candidate* const> closure) {
    for (const C_Candidate* c : closure) {
        if (!c)
            throw std::logic_error("Null candidate in closure");
    }
}

// Level of a closure for the source rule: 0 when it holds a raw key, else the integer part of
// its span-weighted mean source. An empty closure has level 0.
int64_t sourceLevel(std::span<C_Candidate* const> closure) {
    uint64_t weighted = 0, spans = 0;
    for (const C_Candidate* c : closure) {
        if (c->m_source == ST_RAW_KEY)
            return 0;
        weighted += uint64_t(c->m_source) * c->m_span;
        spans += c->m_span;
    }
    return spans ? int64_t(weighted / spans) : 0;
}

// Every score at least 100.0; an empty closure is strong.
bool isStrong(std::span<C_Candidate* const> closure) {
    return std::all_of(closure.begin(), closure.end(),
                       [](const C_Candidate* c) { return c->score() >= 100.0; });
}

struct C_Path {
    std::vector<C_Candidate*> m_candidates;
    size_t m_span = 0;   // total span
    bool m_open = true;  // may still be extended
};

// One closure search in progress: its start, its paths, and the path waiting for the closure
// from its end.
struct C_ClosureFrame {
    size_t m_from = 0;
    bool m_nested = false;
    bool m_nailedOnly = false;  // the nailed path alone: extended once, then finished
    std::vector<C_Path> m_paths;
    size_t m_waiting = SIZE_MAX;
};

}  // namespace

C_InputLineSnapshot::C_InputLineSnapshot(std::span<const C_LineElement> elements, E_CompoMode mode)
    : m_mode(mode) {
    m_elements.reserve(elements.size());
    bool anyMark = false;
    for (const C_LineElement& element : elements) {
        m_elements.push_back(copyElement(element));
        anyMark = anyMark || element.index() == 0;
    }
    for (size_t pos = 0; pos < m_elements.size(); ++pos) {
        C_CompoUnit* unit = unitAt(pos);
        if (!unit)
            continue;
        for (C_Candidate& c : unit->candidates()) {
            c.m_rank = RANK_ORDINARY;
            if (!anyMark || c.m_span <= 1)
                continue;
            for (size_t m = pos + 1; m < pos + c.m_span && m < m_elements.size(); ++m) {
                if (m_elements[m].index() == 0) {
                    c.m_rank = RANK_CROSSING;
                    break;
                }
            }
        }
        unit->markUnsorted();
    }
}

C_InputLineSnapshot::C_InputLineSnapshot(const C_InputLineSnapshot& other)
    : m_ruleMatches(other.m_ruleMatches), m_mode(other.m_mode) {
    size_t end = other.m_elements.size();
    if (!other.m_winners.empty()) {
        const C_Winner& last = other.m_winners.back();
        end = std::min(end, last.m_start + (last.m_candidate ? last.m_candidate->m_span : 1));
    }
    m_elements.reserve(end);
    for (size_t pos = 0; pos < end; ++pos)
        m_elements.push_back(copyElement(other.m_elements[pos]));

    m_winners.reserve(other.m_winners.size());
    for (const C_Winner& w : other.m_winners)
        m_winners.push_back({w.m_start, remapCandidate(other, *this, w.m_start, w.m_candidate)});

    m_closures.reserve(other.m_closures.size());
    for (const C_Closure& k : other.m_closures) {
        C_Closure copy{k.m_start, {}};
        copy.m_candidates.reserve(k.m_candidates.size());
        size_t pos = k.m_start;
        for (const C_Candidate* c : k.m_candidates) {
            copy.m_candidates.push_back(remapCandidate(other, *this, pos, c));
            pos += c ? c->m_span : 1;
        }
        m_closures.push_back(std::move(copy));
    }
}

C_CompoUnit* C_InputLineSnapshot::unitAt(size_t pos) const noexcept {
    if (pos >= m_elements.size())
        return nullptr;
    const auto* unit = std::get_if<1>(&m_elements[pos]);
    return unit ? unit->get() : nullptr;
}

void C_InputLineSnapshot::findWinners(size_t end) {
    end = std::min(end, m_elements.size());
    m_winners.clear();
    m_closures.clear();
    C_ClosureMemo memo;
    size_t pos = 0;
    while (pos < end) {
        std::vector<C_Candidate*> closure = findClosure(pos, end, memo, false);
        if (closure.empty()) {
            m_winners.push_back({pos, nullptr});
            ++pos;
            continue;
        }
        size_t p = pos;
        for (C_Candidate* c : closure) {
            m_winners.push_back({p, c});
            p += c->m_span;
        }
        m_closures.push_back({pos, std::move(closure)});
        pos = p;
    }
}

// The best closure from `from` toward `to`: the paths start with the best candidate of each
// span; the shortest path is extended by the best closure from its end until paths of equal
// total span can be compared, and the loser of each comparison is dropped. Extensions nest as
// deep as the line is long, so they run on a stack of frames rather than on the call stack.
std::vector<C_Candidate*> C_InputLineSnapshot::findClosure(size_t from, size_t to,
                                                           C_ClosureMemo& memo, bool nested) {
    constexpr size_t kNone = SIZE_MAX;
    std::vector<C_ClosureFrame> frames;
    std::vector<C_Candidate*> result;  // the closure found last

    // Starts a search from `at`. True when it needs a frame; otherwise result holds its closure.
    auto enter = [&](size_t at, bool nest) {
        if (auto hit = memo.find(at); hit != memo.end()) {
            result = hit->second;
            return false;
        }
        C_CompoUnit* unit = unitAt(at);
        if (!unit) {
            result.clear();
            return false;
        }
        unit->sort();

        std::vector<C_Path> paths;
        std::optional<size_t> nailed;
        for (C_Candidate& c : unit->candidates()) {
            if (c.m_rank == RANK_CROSSING)
                break;
            // A path never reaches past `to`.
            if (c.m_span == 0 || at + c.m_span > to)
                continue;
            bool seen = std::any_of(paths.begin(), paths.end(), [&](const C_Path& p) {
                return p.m_candidates.front()->m_span == c.m_span;
            });
            if (seen)
                continue;
            paths.push_back({{&c}, c.m_span, true});
            if (c.m_rank == RANK_NAILED)
                nailed = paths.size() - 1;
        }

        if (paths.empty()) {
            // The raw candidate ranks before the crossing ones; a candidate too long for the
            // range may still rank before it, so it is looked up rather than taken first.
            const C_Candidate raw = rawCandidate(*unit, m_mode);
            unit->add(raw);
            unit->sort();
            result.clear();
            for (C_Candidate& c : unit->candidates()) {
                if (c == raw) {
                    result.push_back(&c);
                    break;
                }
            }
            return false;
        }
        if (paths.size() == 1) {
            memo[at] = paths.front().m_candidates;
            result = std::move(paths.front().m_candidates);
            return false;
        }
        C_ClosureFrame frame;
        frame.m_from = at;
        frame.m_nested = nest;
        if (nailed) {
            // The nailed path alone remains: it is extended once, then the search finishes.
            frame.m_nailedOnly = true;
            frame.m_paths.push_back(std::move(paths[*nailed]));
        } else {
            frame.m_paths = std::move(paths);
        }
        frames.push_back(std::move(frame));
        return true;
    };

    // Asks for the extension of path i of frame fi: false when the path ends at or past `to`
    // (it is closed); true when the extension was asked for (frame fi waits for it; frames
    // may have grown).
    auto askExtension = [&](size_t fi, size_t i) {
        C_ClosureFrame& f = frames[fi];
        C_Path& path = f.m_paths[i];
        const size_t end = f.m_from + path.m_span;
        if (end >= to) {
            path.m_open = false;
            return false;
        }
        f.m_waiting = i;
        enter(end, true);
        return true;
    };

    // Appends the extension in result to the waiting path. A path that ends at a no-cross mark
    // (only a nailed word can end there while other paths remain) stays as it is: the winner
    // search steps over the mark by itself.
    auto takeExtension = [&](C_ClosureFrame& f) {
        C_Path& path = f.m_paths[f.m_waiting];
        const size_t end = f.m_from + path.m_span;
        f.m_waiting = kNone;
        if (result.empty()) {
            if (end < m_elements.size() && m_elements[end].index() == 0) {
                path.m_open = false;
                return;
            }
            throw std::logic_error("No closure found for " + decimal(end));
        }
        for (C_Candidate* c : result) {
            path.m_candidates.push_back(c);
            path.m_span += c->m_span;
        }
    };

    // Compares path pi with the other paths (of equal total span only, unless every path is
    // closed): a challenger that is not worse replaces it, a worse one is dropped.
    auto compare = [&](C_ClosureFrame& f, size_t pi, bool equalSpansOnly) {
        std::vector<C_Path>& paths = f.m_paths;
        for (size_t qi = 0; qi < paths.size();) {
            if (qi == pi || (equalSpansOnly && paths[qi].m_span != paths[pi].m_span)) {
                ++qi;
                continue;
            }
            C_CompareResult r =
                compareClosures(paths[qi].m_candidates, paths[pi].m_candidates, f.m_nested);
            if (r.m_order >= 0) {
                paths.erase(paths.begin() + std::ptrdiff_t(pi));
                return;
            }
            paths.erase(paths.begin() + std::ptrdiff_t(qi));
            if (qi < pi)
                --pi;
        }
    };

    auto finish = [&] {
        C_ClosureFrame& f = frames.back();
        memo[f.m_from] = f.m_paths.front().m_candidates;
        result = std::move(f.m_paths.front().m_candidates);
        frames.pop_back();
    };

    if (!enter(from, nested))
        return result;
    while (!frames.empty()) {
        const size_t fi = frames.size() - 1;
        C_ClosureFrame& f = frames.back();
        if (f.m_waiting != kNone) {
            const size_t pi = f.m_waiting;
            takeExtension(f);
            if (f.m_nailedOnly)
                finish();
            else
                compare(f, pi, true);
            continue;
        }
        if (f.m_nailedOnly) {
            if (!askExtension(fi, 0))
                finish();
            continue;
        }
        if (f.m_paths.size() < 2) {
            finish();
            continue;
        }
        // The shortest open path, the first collected among equals; when every path is closed
        // (the total spans are then distinct, which consistent units never give), the first
        // is compared with all others.
        size_t pi = kNone;
        for (size_t i = 0; i < f.m_paths.size(); ++i) {
            if (f.m_paths[i].m_open && (pi == kNone || f.m_paths[i].m_span < f.m_paths[pi].m_span))
                pi = i;
        }
        if (pi == kNone)
            compare(f, 0, false);
        else if (!askExtension(fi, pi))
            compare(frames[fi], pi, true);
    }
    return result;
}

C_CompareResult C_InputLineSnapshot::compareClosures(std::span<C_Candidate* const> a,
                                                     std::span<C_Candidate* const> b, bool nested) {
    checkCandidates(a);
    checkCandidates(b);
    const bool singleA = a.size() == 1, singleB = b.size() == 1;
    if (singleA == singleB) {
        int64_t la = sourceLevel(a), lb = sourceLevel(b);
        if (la != lb)
            return {la < lb ? -1 : 1, CMP_SOURCE_LEVEL, 0.0};
    }
    const bool strongA = isStrong(a), strongB = isStrong(b);
    if (strongA != strongB)
        return {strongA ? 1 : -1, CMP_STRENGTH, 0.0};
    if (!strongA && !nested) {
        if (singleA && !singleB && a.front()->score() >= 0.0)
            return {1, CMP_SINGLE, 0.0};
        if (singleB && !singleA && b.front()->score() >= 0.0)
            return {-1, CMP_SINGLE, 0.0};
    }
    double d = scoreSequence(a) - scoreSequence(b);
    return {d < 0.0 ? -1 : d > 0.0 ? 1 : 0, CMP_SCORE, d};
}

double C_InputLineSnapshot::scoreSequence(std::span<C_Candidate* const> sequence) {
    checkCandidates(sequence);
    double sum = 0.0;
    uint64_t spans = 0;
    for (const C_Candidate* c : sequence) {
        sum += c->score() * double(c->m_span);
        spans += c->m_span;
    }
    if (spans == 0)
        return 0.0;
    double s = sum / double(spans);
    if (sequence.size() != 1)
        s *= std::pow(double(sequence.size()), -0.4);
    return s;
}

char32_t fullWidthSymbol(char key) noexcept {
    switch (key) {
        case '~':
            return U'\uFF5E';
        case '!':
            return U'\uFF01';
        case '@':
            return U'\uFF20';
        case '#':
            return U'\uFF03';
        case '$':
            return U'\uFF04';
        case '%':
            return U'\uFF05';
        case '^':
            return U'\uFE3F';
        case '&':
            return U'\uFF06';
        case '*':
            return U'\uFF0A';
        case '(':
            return U'\uFF08';
        case ')':
            return U'\uFF09';
        case '=':
            return U'\uFF1D';
        case '[':
            return U'\u300C';
        case ']':
            return U'\u300D';
        case '\\':
            return U'\uFF3C';
        case ';':
            return U'\uFF1B';
        case '\'':
            return U'\u3001';
        case ',':
            return U'\uFF0C';
        case '.':
            return U'\u3002';
        case '/':
            return U'\uFF0F';
        case '_':
            return U'\uFF3F';
        case '+':
            return U'\uFF0B';
        case '{':
            return U'\u300E';
        case '}':
            return U'\u300F';
        case '|':
            return U'\uFF5C';
        case ':':
            return U'\uFF1A';
        case '"':
            return U'\uFF02';  // the full-width quotation mark
        case '<':
            return U'\u300A';
        case '>':
            return U'\u300B';
        case '?':
            return U'\uFF1F';
        default:
            return 0;
    }
}

std::string rawKeyText(char key, bool fullShape, bool rawKeyOnly, E_CompoMode mode) {
    if (fullShape) {
        unsigned cp = 0;
        if (rawKeyOnly)
            cp = key == ' ' ? 0x3000u : unsigned(static_cast<unsigned char>(key)) + 0xFEE0u;
        else if (mode != CM_TAILO)
            cp = fullWidthSymbol(key);
        if (cp)
            return std::string(qiv::u32toutf8(cp));
    }
    return std::string(1, key);
}

C_Candidate rawCandidate(const C_CompoUnit& unit, E_CompoMode mode) {
    C_Candidate c;
    c.m_text = rawKeyText(unit.key(), unit.fullShape(), unit.rawKeyOnly(), mode);
    c.m_span = 1;
    c.m_count = 0;
    c.m_weight = 0.0f;
    c.m_source = ST_RAW_KEY;
    c.m_rank = RANK_ORDINARY;
    return c;
}

}  // namespace kov
