#include "engine/dict/candidate.h"

#include <algorithm>
#include <cstdint>
#include <exception>
#include <functional>
#include <string_view>
#include <utility>

#include "engine/text/code_points.h"

namespace kov {

namespace {

// Width for the tie-break, of a candidate and of a related choice alike: the first reading's
// bytes and the text's character units. A text whose description characters lack operands
// counts no units instead of failing the ranking.
size_t tieWidth(const std::vector<std::string>& readings, std::string_view text) noexcept {
    return (readings.empty() ? 0 : readings.front().size()) + countIDCOrZero(text);
}

size_t widthOf(const C_Candidate& c) noexcept { return tieWidth(c.m_readings, c.m_text); }

// Rule 3 of the ranking (sources that differ). Returns 1 when a goes first, -1 when b does,
// 0 when the rule does not decide.
int compareSources(const C_Candidate& a, const C_Candidate& b, bool doctrine) noexcept {
    if (a.m_source == b.m_source)
        return 0;
    const bool aHigher = a.m_source > b.m_source;
    if (!doctrine)
        return aHigher ? 1 : -1;
    const C_Candidate& h = aHigher ? a : b;
    const C_Candidate& l = aHigher ? b : a;
    bool highFirst;
    if (h.m_count == l.m_count || h.m_count > 1)
        highFirst = true;
    else if (h.m_count == 1)
        highFirst =
            (h.m_source == ST_SYS_PREFIX || h.m_source == ST_USER_PREFIX) && h.score() >= 80.0;
    else
        return 0;  // the higher source matched over no syllable: the score decides
    return highFirst == aHigher ? 1 : -1;
}

// The ranking with the widths given, so that a sort computes each width once.
bool lessWith(const C_Candidate& a, size_t widthA, const C_Candidate& b, size_t widthB,
              bool doctrine) noexcept {
    if (a.m_rank != b.m_rank)
        return a.m_rank < b.m_rank;
    if (a.m_span != b.m_span)
        return a.m_span > b.m_span;
    if (const int s = compareSources(a, b, doctrine))
        return s > 0;
    const double sa = a.score(), sb = b.score();
    if (sa > sb)
        return true;
    if (sa < sb)
        return false;
    if (!(sa == sb))
        return false;  // unordered (a NaN): a after b
    if (a.m_count != b.m_count) {
        if (a.m_count == 0)
            return true;
        if (b.m_count == 0)
            return false;
        return a.m_count > b.m_count;
    }
    return widthA > widthB;
}

// Stable merge sort of indexes. The ranking is not a strict weak order in every case (a cycle
// through rule 3, NaN scores), so this sort touches only indexes it owns, whatever the
// comparator answers.
template <class Less>
void stableSortIndexes(std::vector<size_t>& idx, Less less) {
    const size_t n = idx.size();
    thread_local std::vector<size_t> tmp;
    tmp.resize(n);
    for (size_t width = 1; width < n; width *= 2) {
        for (size_t lo = 0; lo < n; lo += 2 * width) {
            const size_t mid = std::min(lo + width, n), hi = std::min(lo + 2 * width, n);
            size_t i = lo, j = mid, k = lo;
            while (i < mid && j < hi)
                tmp[k++] = less(idx[j], idx[i]) ? idx[j++] : idx[i++];
            while (i < mid)
                tmp[k++] = idx[i++];
            while (j < hi)
                tmp[k++] = idx[j++];
        }
        idx.swap(tmp);
    }
}

}  // namespace

bool C_Candidate::operator==(const C_Candidate& other) const noexcept {
    if (m_span != other.m_span || m_text != other.m_text)
        return false;
    return !m_text.empty() || m_readings == other.m_readings;
}

std::string C_Candidate::key() const {
    std::string k;
    k += char(m_span & 0xFF);
    k += char(m_span >> 8);
    k += m_text;
    k += '\0';
    if (m_text.empty())
        for (const std::string& r : m_readings) {
            k += r;
            k += '\0';
        }
    return k;
}

size_t C_SemiCandidate::width() const noexcept { return tieWidth(m_readings, m_text); }

C_SemiCandidate C_Candidate::semi() const {
    return C_SemiCandidate{m_text, m_readings, m_chosenReading, m_span, m_count, m_weight};
}

bool C_Candidate::merge(C_Candidate& existing, const C_Candidate& added) {
    bool changed = false;
    if (added.m_rank < existing.m_rank) {
        existing.m_rank = added.m_rank;
        changed = true;
    }
    if (added.m_source > existing.m_source) {
        existing.m_source = added.m_source;
        existing.m_weight = added.m_weight;
        changed = true;
    } else if (added.m_source == existing.m_source && added.m_weight > existing.m_weight) {
        existing.m_weight = added.m_weight;
        changed = true;
    }
    for (uint8_t cat : added.m_cats)
        if (std::find(existing.m_cats.begin(), existing.m_cats.end(), cat) ==
            existing.m_cats.end()) {
            existing.m_cats.push_back(cat);
            changed = true;
        }
    for (const std::string& r : added.m_readings)
        if (std::find(existing.m_readings.begin(), existing.m_readings.end(), r) ==
            existing.m_readings.end()) {
            existing.m_readings.push_back(r);
            changed = true;
        }
    return changed;
}

bool C_Candidate::less(const C_Candidate& a, const C_Candidate& b, bool doctrine) {
    return lessWith(a, widthOf(a), b, widthOf(b), doctrine);
}

size_t C_Candidate::width() const noexcept { return widthOf(*this); }

bool C_CompoUnit::noSourcedCandidate() const {
    return m_candidates.empty() || m_candidates.front().m_source == ST_RAW_KEY;
}

void C_CompoUnit::visitCandidates(std_move_only_function<bool(C_Candidate&)>&& f) {
    for (C_Candidate& c : m_candidates)
        if (!f(c))
            return;
}

bool C_CompoUnit::add(const C_Candidate& c) {
    for (size_t i = 0; i < m_candidates.size(); ++i) {
        C_Candidate& existing = m_candidates[i];
        if (existing == c) {
            if (!C_Candidate::merge(existing, c))
                return false;
            // A sealed candidate no longer holds what the dictionaries gave.
            if (m_addOrder[i] < m_sealCount)
                m_sealed = false;
            m_sorted = false;
            return true;
        }
    }
    m_candidates.push_back(c);
    m_addOrder.push_back(uint32_t(m_addOrder.size()));
    m_sorted = false;
    return true;
}

void C_CompoUnit::clear() noexcept {
    m_candidates.clear();
    m_addOrder.clear();
    m_pristineOrder.clear();
    m_sealed = false;
    m_sealCount = 0;
    m_sorted = true;
}

void C_CompoUnit::sealLookup(size_t pos, C_LookupReach reach, uint64_t basis) {
    m_sealed = false;
    m_sealCount = 0;
    m_pristineOrder.clear();
    for (const C_Candidate& c : m_candidates)
        if (c.m_rank != RANK_ORDINARY || c.m_bonus != 0.0 || c.m_chosenReading != C_ChosenReading{})
            return;
    for (size_t i = 0; i < m_addOrder.size(); ++i)
        m_addOrder[i] = uint32_t(i);
    m_sealPos = pos;
    m_sealReach = reach;
    m_sealBasis = basis;
    m_sealCount = uint32_t(m_candidates.size());
    m_sealed = true;
}

bool C_CompoUnit::restoreLookup(size_t pos, C_LookupReach limit, uint64_t basis,
                                uint64_t newBasis) {
    if (!m_sealed || m_sealPos != pos || m_sealBasis != basis ||
        m_sealReach.m_keys > limit.m_keys || m_sealReach.m_isles > limit.m_isles)
        return false;
    m_sealBasis = newBasis;
    const size_t n = m_sealCount;
    // Candidates added after the seal go; the sealed ones return to the order they were added
    // in, with the rank, bonus and chosen reading a lookup gives.
    bool inOrder = true;
    for (size_t i = 0; i < m_candidates.size() && inOrder; ++i)
        inOrder = m_addOrder[i] == i;
    if (inOrder) {
        m_candidates.resize(n);
    } else {
        std::vector<C_Candidate> sealed(n);
        for (size_t i = 0; i < m_candidates.size(); ++i)
            if (m_addOrder[i] < n)
                sealed[m_addOrder[i]] = std::move(m_candidates[i]);
        m_candidates.swap(sealed);
    }
    m_addOrder.resize(n);
    for (size_t i = 0; i < n; ++i) {
        C_Candidate& c = m_candidates[i];
        m_addOrder[i] = uint32_t(i);
        c.m_rank = RANK_ORDINARY;
        c.m_bonus = 0.0;
        c.m_chosenReading = C_ChosenReading{};
    }
    // As after clear() and the adds of a lookup.
    m_sorted = n == 0;
    return true;
}

C_Candidate* C_CompoUnit::at(size_t index) noexcept {
    return index < m_candidates.size() ? &m_candidates[index] : nullptr;
}

const C_Candidate* C_CompoUnit::at(size_t index) const noexcept {
    return index < m_candidates.size() ? &m_candidates[index] : nullptr;
}

bool C_CompoUnit::pristineInAddOrder_() const noexcept {
    if (!m_sealed || m_candidates.size() != m_sealCount)
        return false;
    for (size_t i = 0; i < m_candidates.size(); ++i) {
        const C_Candidate& c = m_candidates[i];
        if (m_addOrder[i] != i || c.m_rank != RANK_ORDINARY || c.m_bonus != 0.0)
            return false;
    }
    return true;
}

void C_CompoUnit::sort() {
    if (m_sorted)
        return;
    const size_t n = m_candidates.size();
    if (n > 1) {
        // The buffers of the sort stay with the thread, so that sorting allocates nothing.
        thread_local std::vector<size_t> order, widths;
        order.resize(n);
        const bool pristine = pristineInAddOrder_();
        if (pristine && m_pristineOrder.size() == n && m_pristineDoctrine == m_doctrine) {
            // The same candidates with the same values in the same order as at the last sort
            // of the sealed lookup: the same result.
            std::copy(m_pristineOrder.begin(), m_pristineOrder.end(), order.begin());
        } else {
            widths.resize(n);
            for (size_t i = 0; i < n; ++i) {
                widths[i] = widthOf(m_candidates[i]);
                order[i] = i;
            }
            const bool doctrine = m_doctrine;
            stableSortIndexes(order, [&](size_t a, size_t b) {
                return lessWith(m_candidates[a], widths[a], m_candidates[b], widths[b], doctrine);
            });
            if (pristine) {
                m_pristineOrder.assign(order.begin(), order.end());
                m_pristineDoctrine = m_doctrine;
            }
        }
        permute_(order);
    }
    m_sorted = true;
}

void C_CompoUnit::permute_(const std::vector<size_t>& order) {
    // Slot k takes the candidate at order[k]: each cycle of the permutation is followed once,
    // moving every candidate once.
    const size_t n = order.size();
    thread_local std::vector<char> placed;
    thread_local std::vector<uint32_t> addOrder;
    placed.assign(n, 0);
    addOrder.resize(n);
    for (size_t k = 0; k < n; ++k)
        addOrder[k] = m_addOrder[order[k]];
    for (size_t k = 0; k < n; ++k) {
        if (placed[k] || order[k] == k)
            continue;
        C_Candidate held = std::move(m_candidates[k]);
        size_t j = k;
        for (;;) {
            placed[j] = 1;
            const size_t from = order[j];
            if (from == k) {
                m_candidates[j] = std::move(held);
                break;
            }
            m_candidates[j] = std::move(m_candidates[from]);
            j = from;
        }
    }
    std::copy(addOrder.begin(), addOrder.end(), m_addOrder.begin());
}

std::ptrdiff_t C_CompoUnit::offsetOf(const C_Candidate* c) const noexcept {
    const auto base = reinterpret_cast<std::intptr_t>(m_candidates.data());
    const auto at = reinterpret_cast<std::intptr_t>(c);
    const auto size = std::intptr_t(sizeof(C_Candidate));
    const std::intptr_t diff = at - base;
    // Rounded down, so that a pointer just before the first candidate is not taken for it.
    return std::ptrdiff_t(diff >= 0 ? diff / size : -((-diff + size - 1) / size));
}

void C_CompoUnit::setDoctrine(bool doctrine) noexcept {
    if (m_doctrine != doctrine) {
        m_doctrine = doctrine;
        m_sorted = false;
    }
}

}  // namespace kov
