#include "engine/compose/learn_words.h"

#include <algorithm>
#include <set>
#include <variant>

#include "engine/text/tailo.h"

namespace kov {

std::optional<std::vector<std::string>> tonedKeysOf(std::string_view reading) {
    C_TonedKeysResult r = tailo2tonedKeys(reading);
    auto* keys = std::get_if<std::vector<std::string>>(&r);
    if (!keys || keys->empty())
        return std::nullopt;
    return std::move(*keys);
}

const std::string* chosenReading(const C_Candidate& candidate) {
    if (candidate.m_rank != RANK_NAILED || !candidate.m_chosenReading.m_set)
        return nullptr;
    const size_t index = candidate.m_chosenReading.m_index;
    return index < candidate.m_readings.size() ? &candidate.m_readings[index] : nullptr;
}

std::vector<std::string> joinReadings(const std::vector<std::vector<std::string>>& readings,
                                      size_t most, bool& cut) {
    cut = false;
    std::set<std::string> kept;
    if (readings.empty() || most == 0)
        return {};
    // Each word's readings in sorted order, so that the walk meets small texts early; a prefix
    // greater than the greatest text kept can only lead to greater texts, and is not followed
    // once `most` texts are kept.
    std::vector<std::vector<std::string>> sorted;
    for (const auto& r : readings) {
        std::set<std::string> distinct(r.begin(), r.end());
        if (distinct.empty())
            return {};
        sorted.emplace_back(distinct.begin(), distinct.end());
    }
    struct C_Frame {
        size_t m_word;
        size_t m_next;
        size_t m_length;  // of the prefix before this word's reading
    };
    std::string prefix;
    std::vector<C_Frame> stack{{0, 0, 0}};
    while (!stack.empty()) {
        C_Frame& f = stack.back();
        if (f.m_next == sorted[f.m_word].size()) {
            stack.pop_back();
            continue;
        }
        prefix.resize(f.m_length);
        if (f.m_word > 0)
            prefix += '-';
        prefix += sorted[f.m_word][f.m_next++];
        if (kept.size() == most && prefix > *kept.rbegin()) {
            cut = true;
            continue;
        }
        if (f.m_word + 1 < sorted.size()) {
            stack.push_back({f.m_word + 1, 0, prefix.size()});
            continue;
        }
        if (kept.insert(prefix).second && kept.size() > most) {
            kept.erase(std::prev(kept.end()));
            cut = true;
        }
    }
    return {kept.begin(), kept.end()};
}

}  // namespace kov
