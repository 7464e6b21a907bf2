#include "engine/compose/input_line.h"
#include "engine/compose/input_line_parts.h"

#include <algorithm>
#include <charconv>
#include <stdexcept>
#include <utility>

#include "qiv/utf8.h"

namespace kov {

namespace {

std::string decimal(long long value) {
    char buf[24];
    const auto [end, ec] = std::to_chars(buf, buf + sizeof buf, value);
    return std::string(buf, end);
}

}  // namespace

C_InputLine::C_InputLine(const I_TailoDB& db)
    : m_db(db),
      m_learner(dynamic_cast<const I_Learner*>(&db)),
      m_related(db, static_cast<const I_ModeStatus&>(*this)) {}

C_InputLine::~C_InputLine() = default;

// --- Structural edits ---

bool C_InputLine::isMark_(size_t pos) const noexcept {
    return pos < m_elements.size() && m_elements[pos].index() == 0;
}

void C_InputLine::checkRoom_() const {
    if (m_elements.size() >= kMaxElements)
        throw std::runtime_error("Input line limit reached: " + decimal(kMaxElements));
}

void C_InputLine::insertElement_(size_t pos, C_LineElement element) {
    m_elements.insert(m_elements.begin() + std::ptrdiff_t(pos), std::move(element));
    for (C_Winner& w : m_winners)
        if (w.m_start >= pos)
            ++w.m_start;
    if (m_nailPos > pos)
        ++m_nailPos;
    m_closures.clear();
    m_dirty = true;
}

void C_InputLine::eraseElements_(size_t from, size_t to) {
    removeElements_(from, to);
    m_dirty = true;
}

void C_InputLine::removeElements_(size_t from, size_t to) {
    const size_t n = to - from;
    std::erase_if(m_winners,
                  [&](const C_Winner& w) { return w.m_start >= from && w.m_start < to; });
    for (C_Winner& w : m_winners)
        if (w.m_start >= to)
            w.m_start -= n;
    if (m_nailPos >= to)
        m_nailPos -= n;
    else if (m_nailPos > from)
        m_nailPos = from;
    m_closures.clear();
    m_elements.erase(m_elements.begin() + std::ptrdiff_t(from),
                     m_elements.begin() + std::ptrdiff_t(to));
}

void C_InputLine::markBack_() {
    for (size_t i = m_caret; i-- > 0;) {
        const C_LineElement& e = m_elements[i];
        if (e.index() == 0)
            continue;
        C_CompoUnit* unit = unitAt(i);
        if (!unit)
            break;
        // A unit already marked stops the walk; the line needs composing all the same, since
        // a composition over a shorter caret may have left it marked with the line clean.
        m_dirty = true;
        if (unit->state() >= UNIT_RECOMPOSE)
            break;
        unit->setState(UNIT_RECOMPOSE);
    }
}

void C_InputLine::retreatNail_() {
    if (m_caret < m_nailPos) {
        auto last = m_winners.end();
        for (auto it = m_winners.begin(); it != m_winners.end() && it->m_start <= m_caret; ++it)
            last = it;
        if (last == m_winners.end())
            throw std::logic_error("No winner or first winner is not at HOME position");
        m_nailPos = last->m_start;
        if (last->m_candidate) {
            last->m_candidate->m_rank = RANK_ORDINARY;
            if (C_CompoUnit* unit = unitAt(last->m_start))
                unit->markUnsorted();
        }
    }
    markBack_();
}

void C_InputLine::eraseAtCaret_() {
    markBack_();
    eraseElements_(m_caret, m_caret + 1);
    size_t a = m_caret;
    while (a > 0 && isMark_(a - 1))
        --a;
    size_t b = m_caret;
    while (b < m_elements.size() && isMark_(b))
        ++b;
    if (b > a) {
        eraseElements_(a, b);
        m_caret = a;
    }
}

// --- Keys and marks ---

void C_InputLine::insertKey(char key) {
    while (m_limitReached && m_limitReached()) {
        if (popFront() == 0)
            break;
    }
    checkRoom_();
    auto unit = std::make_unique<C_CompoUnit>(key, false, m_rawKeyOnly, m_fullShapeSymbols);
    if (unit->doctrine() != m_islandDoctrine)
        unit->setDoctrine(m_islandDoctrine);
    insertElement_(m_caret, std::move(unit));
    ++m_caret;
    markBack_();
}

bool C_InputLine::removeKey(int direction) {
    if (direction == DIR_FORWARD) {
        if (m_caret == m_elements.size())
            return false;
        while (isMark_(m_caret)) {
            ++m_caret;
            m_dirty = true;
            if (m_caret == m_elements.size())
                return false;
        }
        eraseAtCaret_();
        return true;
    }
    if (direction != DIR_BACKWARD)
        throw std::logic_error("Unknown director: " + decimal(direction));
    if (m_caret == 0)
        return false;
    while (isMark_(m_caret - 1)) {
        --m_caret;
        m_dirty = true;
        // Only marks are passed: the nail position follows the caret, so that it never stands
        // past the caret and the winners before it.
        m_nailPos = std::min(m_nailPos, m_caret);
        if (m_caret == 0)
            return false;
    }
    const auto ending = std::find_if(m_winners.begin(), m_winners.end(), [&](const C_Winner& w) {
        return w.m_candidate && w.m_start + w.m_candidate->m_span == m_caret;
    });
    if (ending == m_winners.end() || ending->m_candidate->m_rank != RANK_NAILED) {
        --m_caret;
        eraseAtCaret_();
        return true;
    }
    ending->m_candidate->m_rank = RANK_ORDINARY;
    if (C_CompoUnit* unit = unitAt(ending->m_start))
        unit->markUnsorted();
    markBack_();
    return true;
}

void C_InputLine::toggleNoCross() {
    if (m_caret == m_elements.size() || !isMark_(m_caret)) {
        checkRoom_();
        insertElement_(m_caret, C_LineElement{});
        ++m_caret;
    } else {
        eraseElements_(m_caret, m_caret + 1);
    }
    markBack_();
}

void C_InputLine::clear() {
    composeAndLearn();
    m_elements.clear();
    m_ruleMatches.clear();
    m_lastWordClass.reset();
    m_caret = 0;
    dropComposition_();
    m_keys.clear();
    m_capitals.clear();
    m_islesByStart.clear();
    m_hyphenRuns.clear();
    m_cutLog = {};
    m_severalOpen = false;
    m_dirty = false;
}

// --- Caret ---
//
// Every move of the caret leaves the line dirty: the winners cover [0, caret), so a new caret
// needs them again even when no unit before it was marked (only no-cross marks lie there).

bool C_InputLine::moveBack() {
    if (m_caret == 0)
        return false;
    do
        --m_caret;
    while (m_caret > 0 && isMark_(m_caret));
    m_dirty = true;
    retreatNail_();
    return true;
}

bool C_InputLine::moveForward() {
    if (m_caret == m_elements.size())
        return false;
    do
        ++m_caret;
    while (m_caret < m_elements.size() && isMark_(m_caret - 1));
    m_dirty = true;
    markBack_();
    return true;
}

void C_InputLine::moveHome() {
    if (m_caret == 0)
        return;
    m_caret = 0;
    dropComposition_();
    m_dirty = true;
}

void C_InputLine::moveEnd() { moveTo(m_elements.size()); }

bool C_InputLine::moveTo(size_t pos) {
    if (pos > m_elements.size())
        return false;
    if (pos == m_caret)
        return true;
    m_dirty = true;
    if (pos > m_caret) {
        m_caret = pos;
        markBack_();
    } else {
        m_caret = pos;
        retreatNail_();
    }
    return true;
}

// --- Flags ---

void C_InputLine::syncUnits_() {
    for (size_t i = 0; i < m_caret; ++i) {
        C_CompoUnit* unit = unitAt(i);
        if (!unit)
            continue;
        if (unit->doctrine() != m_islandDoctrine)
            unit->setDoctrine(m_islandDoctrine);
        if (unit->state() < UNIT_RECOMPOSE) {
            unit->setState(UNIT_RECOMPOSE);
            m_dirty = true;
        }
    }
}

void C_InputLine::setIslandDoctrine(bool on) {
    if (on == m_islandDoctrine)
        return;
    m_islandDoctrine = on;
    syncUnits_();
}

void C_InputLine::syncIslandDoctrine() { syncUnits_(); }

bool C_InputLine::toggleSpuriousSpaces() {
    if (m_spuriousSpaces)
        m_lastWordClass.reset();
    m_spuriousSpaces = !m_spuriousSpaces;
    m_dirty = true;
    return m_spuriousSpaces;
}

bool C_InputLine::toggleFullShapeSymbols() {
    m_fullShapeSymbols = !m_fullShapeSymbols;
    return m_fullShapeSymbols;
}

bool C_InputLine::toggleRawKeyOnly() {
    m_rawKeyOnly = !m_rawKeyOnly;
    return m_rawKeyOnly;
}

E_CompoMode C_InputLine::toggleCompositionMode() {
    const E_CompoMode next = m_mode == CM_TAILO ? CM_STD : CM_TAILO;
    if (m_mode != CM_TAILO && m_nailPos > 0) {
        composeAndLearn();
        m_ruleMatches.clear();
    }
    m_mode = next;
    syncUnits_();
    return next;
}

void C_InputLine::setLimitReached(std_move_only_function<bool()> limitReached) {
    m_limitReached = std::move(limitReached);
}

void C_InputLine::setOnPopFront(std_move_only_function<void(const C_VocCandidate&)> onPopFront) {
    m_onPopFront = std::move(onPopFront);
}

// --- Queries ---

size_t C_InputLine::nailPosition() {
    compose();
    return m_nailPos;
}

bool C_InputLine::doneNailing() {
    if (m_caret != m_elements.size())
        return false;
    compose();
    return m_nailPos == m_elements.size();
}

const std::vector<C_Winner>& C_InputLine::winners() {
    compose();
    return m_winners;
}

void C_InputLine::getNoCrosses(const std_move_only_function<void(size_t)>& visit) const {
    for (size_t i = 0; i < m_elements.size(); ++i)
        if (isMark_(i))
            visit(i);
}

void C_InputLine::getKeySections(
    std::span<const size_t> positions,
    const std_move_only_function<void(std::string_view)>& visit) const {
    std::vector<size_t> cuts(positions.begin(), positions.end());
    std::sort(cuts.begin(), cuts.end());
    size_t prev = 0;
    std::string section;
    auto keysBetween = [&](size_t from, size_t to) {
        section.clear();
        for (size_t i = from; i < std::min(to, m_elements.size()); ++i)
            if (const C_CompoUnit* unit = unitAt(i))
                section += unit->key();
    };
    for (size_t p : cuts) {
        keysBetween(prev, p);
        visit(section);
        prev = p;
    }
    keysBetween(prev, m_elements.size());
    visit(section);
}

std::string C_InputLine::keysOf(size_t from, size_t count) const {
    std::string keys;
    for (size_t i = from; i < from + count && i < m_elements.size(); ++i)
        if (const C_CompoUnit* unit = unitAt(i))
            keys += unit->key();
    return keys;
}

bool C_InputLine::wantsHant(char listMode) const { return m_mode != CM_TAILO && listMode != 'T'; }

bool C_InputLine::wantsTailo(char listMode) const { return m_mode == CM_TAILO || listMode != 'H'; }

// --- Hand-over to the learner ---

bool C_InputLine::learnable_() const noexcept {
    return m_learner && m_caret > 0 && m_mode != CM_TAILO;
}

void C_InputLine::learn() {
    if (!learnable_())
        return;
    auto job =
        std::make_unique<C_InputLineSnapshot>(static_cast<const C_InputLineSnapshot&>(*this));
    m_learner->enqueue(job);
}

void C_InputLine::composeAndLearn() {
    if (!learnable_())
        return;
    compose();
    learn();
}

size_t C_InputLine::popFront() {
    size_t span = 0;
    getConfirmedCandidates(
        [&](size_t, const C_VocCandidate& view) {
            span += view.m_span;
            switch (view.m_mode) {
                case COMPO_SEGMENT:
                    return true;
                case COMPO_HANT:
                case COMPO_KEY:
                case COMPO_TAILO:
                    if (m_onPopFront)
                        m_onPopFront(view);
                    // Spaces and other made-up views go with the word after them.
                    return view.m_virtual;
                default:
                    throw std::logic_error("Unknown voc mode '" +
                                           qiv::escapeCodePoint((unsigned char)view.m_mode) + "'");
            }
        },
        true);
    if (span == 0)
        return 0;
    // The learner sees the line with the popped words in it.
    learn();

    removeElements_(0, span);
    C_RuleMatches kept;
    for (auto& [url, matches] : m_ruleMatches)
        if (url.m_pos >= span)
            kept.emplace(C_CandidateURL{url.m_pos - span, url.m_key}, std::move(matches));
    m_ruleMatches = std::move(kept);
    dropCaches_();
    m_caret = m_caret > span ? m_caret - span : 0;
    // The remaining winners stay as they were; the nail position is the first of them that is
    // not nailed (a popped word need not have been nailed).
    findNailPos_(m_caret);
    dropLookupBasis_(span);
    return span;
}

}  // namespace kov
