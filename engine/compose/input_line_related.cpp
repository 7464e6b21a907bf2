// Related choices on the input line: when they exist, how the line hands its last word to the
// related-choice cache, and how an inserted choice becomes typed keys and nailed units.

#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

#include "engine/compose/input_line.h"
#include "engine/compose/input_line_parts.h"

namespace kov {

void C_InputLine::useRelatedWords(std_move_only_function<void()> action) {
    if (m_caret == 0 || m_caret != m_elements.size() || m_mode == CM_TAILO)
        return;
    compose();
    if (m_winners.empty())
        return;
    const C_Winner& last = m_winners.back();
    // Raw keys and keys spelled out have no related words.
    if (!last.m_candidate || last.m_candidate->m_source < ST_SYS_EXACT ||
        last.m_candidate->m_source > ST_USER_PREFIX)
        return;
    const std::span<const C_IslePtr> isles =
        last.m_start < m_islesByStart.size()
            ? std::span<const C_IslePtr>(m_islesByStart[last.m_start])
            : std::span<const C_IslePtr>();
    m_related.initCache(visitConsts_(), isles, last.m_candidate->semi(), m_caret);
    action();
}

size_t C_InputLine::getCountOfRelatedChoices(char type) {
    size_t count = 0;
    useRelatedWords([&] {
        if (const std::vector<C_RelatedEntry>* list = m_related.listOf(type))
            count = list->size();
    });
    return count;
}

bool C_InputLine::getRelatedChoices(
    char type, size_t index, size_t count,
    const std_move_only_function<void(std::string_view, char)>& visit) {
    bool listed = false;
    useRelatedWords([&] {
        const std::vector<C_RelatedEntry>* list = m_related.listOf(type);
        if (!list)
            return;
        listed = true;
        for (; index < list->size() && count > 0; ++index, --count) {
            const C_RelatedEntry& entry = (*list)[index];
            visit(entry.m_text, entry.m_isReading ? COMPO_TAILO : COMPO_HANT);
        }
    });
    return listed;
}

bool C_InputLine::insertRelatedChoice(char type, size_t index) {
    if (m_dirty)
        return false;
    useRelatedWords([&] {
        m_related.apply(type, index,
                        [&](std::string_view keys, std::span<const C_RelatedPair> pairs) {
                            applyRelatedChoice_(type, keys, pairs);
                        });
    });
    return m_dirty;
}

void C_InputLine::applyRelatedChoice_(char type, std::string_view keys,
                                      std::span<const C_RelatedPair> pairs) {
    // The word's keys must fit before anything changes: a word cut off by the line's limit
    // would leave stray keys behind.
    if (m_elements.size() + keys.size() > kMaxElements)
        throw std::runtime_error("Input line limit reached: " + std::to_string(kMaxElements));

    // The open words before the related word are nailed as the lists offer them first. A nail
    // that fails ends the insertion; so does one that does not move the nail position on (it
    // would loop).
    while (getCandidateCountAtNailPos(type) != 0) {
        const size_t before = m_nailPos;
        if (!nailCandidate(type, 0))
            return;
        compose();
        if (m_nailPos <= before)
            return;
    }

    if (pairs.empty() || m_winners.empty() || !m_winners.back().m_candidate ||
        m_winners.back().m_start != pairs.front().m_pos)
        throw std::runtime_error("Last winner is not at expected position");
    // The last word is released: the related word replaces it, reaching over the keys typed now.
    C_Winner& last = m_winners.back();
    last.m_candidate->m_rank = RANK_ORDINARY;
    if (C_CompoUnit* unit = unitAt(last.m_start))
        unit->markUnsorted();

    // Typing may pop words off the front when the line is longer than the front end's limit:
    // the pairs move with the keys, and those whose keys left the line are dropped.
    const size_t caretBefore = m_caret;
    for (char key : keys)
        insertKey(key);
    const size_t popped = caretBefore + keys.size() - m_caret;
    std::vector<C_RelatedPair> placed;
    for (const C_RelatedPair& pair : pairs)
        if (pair.m_pos >= popped)
            placed.push_back(C_RelatedPair{pair.m_pos - popped, pair.m_candidate});
    compose();

    std::vector<std::pair<size_t, size_t>> ranges;
    for (const C_RelatedPair& pair : placed)
        ranges.emplace_back(pair.m_pos, pair.m_pos + pair.m_candidate.m_span);
    invalidateOverlaps(ranges);
    for (const C_RelatedPair& pair : placed) {
        C_CompoUnit* unit = unitAt(pair.m_pos);
        if (!unit)
            throw std::runtime_error("Fail to nail the related choice at position " +
                                     std::to_string(pair.m_pos));
        unit->visitCandidates([&](C_Candidate& c) {
            if (!matchRelatedCandidate_(type, c, pair.m_candidate))
                return true;
            if (unit->state() < UNIT_RECHECK)
                unit->setState(UNIT_RECHECK);
            unit->markUnsorted();
            return false;
        });
    }
    m_dirty = true;
}

bool C_InputLine::matchRelatedCandidate_(char type, C_Candidate& c,
                                         const C_SemiCandidate& s) const {
    if (c.m_span != s.m_span || c.m_text != s.m_text)
        return false;
    const auto byReading = [&] {
        const size_t index = s.m_chosenReading.m_set ? s.m_chosenReading.m_index : 0;
        if (index >= s.m_readings.size())
            return false;
        for (size_t j = 0; j < c.m_readings.size(); ++j) {
            if (c.m_readings[j] == s.m_readings[index]) {
                c.m_chosenReading = C_ChosenReading{uint16_t(j), true};
                c.m_rank = RANK_NAILED;
                return true;
            }
        }
        return false;
    };
    switch (type) {
        case COMPO_HANT:
            break;
        case 'M':
            if (c.m_text.empty() || s.m_chosenReading.m_set)
                return byReading();
            break;
        case COMPO_TAILO:
            return byReading();
        default:
            m_db.logger().log(1, std::string("Unexpected candidate mode ") + type +
                                     " to insert the related choice");
            break;
    }
    c.m_rank = RANK_NAILED;
    return true;
}

}  // namespace kov
