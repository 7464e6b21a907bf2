#include "engine/compose/related_choices.h"

#include <algorithm>
#include <stdexcept>
#include <unordered_set>
#include <utility>
#include <variant>

#include "engine/text/case_folded_string.h"
#include "engine/text/tailo.h"

namespace kov {

namespace {

// Candidates are the same when span and text agree, and for two Tai-lo-only candidates the
// readings too (as C_Candidate compares).
bool sameCandidate(const C_SemiCandidate& a, const C_SemiCandidate& b) {
    if (a.m_span != b.m_span || a.m_text != b.m_text)
        return false;
    return !a.m_text.empty() || a.m_readings == b.m_readings;
}

bool sameWord(const C_RelatedRecord& a, const C_RelatedRecord& b) {
    if (a.m_pos != b.m_pos || a.m_readingFlag != b.m_readingFlag ||
        a.m_readingIndex != b.m_readingIndex || a.m_keyText != b.m_keyText ||
        a.m_candidates.size() != b.m_candidates.size())
        return false;
    for (size_t i = 0; i < a.m_candidates.size(); ++i)
        if (!sameCandidate(a.m_candidates[i], b.m_candidates[i]))
            return false;
    return true;
}

// The reading a candidate stands for: its chosen one, else its first; empty when it has none.
const std::string& standingReading(const C_SemiCandidate& c) {
    static const std::string none;
    const size_t index = c.m_chosenReading.m_set ? c.m_chosenReading.m_index : 0;
    return index < c.m_readings.size() ? c.m_readings[index] : none;
}

std::vector<std::string> tonedKeysOf(const std::string& reading) {
    C_TonedKeysResult keys = tailo2tonedKeys(reading);
    if (const auto* error = std::get_if<C_TonedKeysError>(&keys))
        throw std::runtime_error("tailo2tonedKeys(\"" + reading + "\") returns error " +
                                 std::to_string(error->code) + " with offending tailo \"" +
                                 error->syllable + "\"");
    return std::get<std::vector<std::string>>(std::move(keys));
}

std::string joinedKeys(const std::vector<std::string>& keys, std::string_view separator) {
    std::string out;
    for (const std::string& k : keys) {
        if (!out.empty())
            out += separator;
        out += k;
    }
    return out;
}

}  // namespace

struct C_RelatedChoices::C_List {
    std::vector<C_RelatedEntry> m_entries;
    char m_type = 0;
};

C_RelatedChoices::C_RelatedChoices(const I_RelatedWords& db, const I_ModeStatus& modeStatus)
    : m_db(db), m_modeStatus(modeStatus) {}

C_RelatedChoices::~C_RelatedChoices() = default;

void C_RelatedChoices::clear() noexcept {
    m_cache.clear();
    m_lists.clear();
    m_lastText.clear();
    m_position = 0;
    m_filled = false;
}

void C_RelatedChoices::addRecord_(C_RelatedRecord record) {
    for (const C_RelatedRecord& kept : m_cache)
        if (sameWord(kept, record))
            return;
    if (m_cache.size() >= kMaxRecords)
        throw std::runtime_error("Too many related choices: " + std::to_string(m_cache.size() + 1));
    m_cache.push_back(std::move(record));
}

void C_RelatedChoices::initCache(const C_VisitConsts& consts, std::span<const C_IslePtr> isles,
                                 const C_SemiCandidate& last, size_t position) {
    if (m_filled)
        return;
    const size_t lastIndex = last.m_chosenReading.m_set ? last.m_chosenReading.m_index : 0;
    // A last word without the reading to continue has no related words.
    const bool hasReading = lastIndex < last.m_readings.size();
    const std::string& lastReading = hasReading ? last.m_readings[lastIndex] : last.m_text;
    const C_CaseFoldedString folded(lastReading);
    const bool testText = !last.m_chosenReading.m_set && !last.m_text.empty();

    // Reading j of a related word continues the last reading: longer, beginning with it (letter
    // case aside), and, when the dictionary delivered keys, going on by exactly those keys.
    const auto continues = [&](const std::string& reading, std::string_view keyText,
                               bool testKeys) {
        if (reading.size() <= lastReading.size() ||
            !C_CaseFoldedString(reading).startsWith(folded, folded.size()))
            return false;
        if (!testKeys)
            return true;
        const C_TonedKeysResult rest =
            tailo2tonedKeys(std::string_view(reading).substr(lastReading.size()));
        const auto* keys = std::get_if<std::vector<std::string>>(&rest);
        return keys && joinedKeys(*keys, "-") == keyText;
    };
    const FC_RelatedSink sink = [&](size_t p, std::span<const C_SemiCandidate> words,
                                    std::string_view keyText) {
        // Only words that go on from the last word can be inserted after it: a word delivered
        // without keys would have to start at the caret.
        if (!hasReading || words.empty() || keyText.empty())
            return;
        const C_SemiCandidate& first = words.front();
        if (testText && (first.m_text.size() <= last.m_text.size() ||
                         !std::string_view(first.m_text).starts_with(last.m_text)))
            return;
        const auto record = [&](size_t j) {
            addRecord_(C_RelatedRecord{std::vector<C_SemiCandidate>(words.begin(), words.end()),
                                       std::string(keyText), p, uint16_t(j), true});
        };
        if (first.m_chosenReading.m_set) {
            const size_t j = first.m_chosenReading.m_index;
            if (j < first.m_readings.size() && continues(first.m_readings[j], keyText, false))
                record(j);
            return;
        }
        for (size_t j = 0; j < first.m_readings.size() && j < kMaxRecords; ++j)
            if (continues(first.m_readings[j], keyText, true))
                record(j);
    };
    try {
        for (const C_IslePtr& isle : isles)
            if (isle)
                m_db.getRelatedChoices(consts, *isle, sink);
    } catch (...) {
        clear();
        throw;
    }
    m_lists.clear();
    m_lastText = last.m_text;
    m_position = position;
    m_filled = true;
}

const std::vector<C_RelatedEntry>* C_RelatedChoices::listOf(char type) {
    if (m_cache.empty())
        return nullptr;
    for (C_List& list : m_lists)
        if (list.m_type == type)
            return &list.m_entries;

    C_List list;
    list.m_type = type;
    std::unordered_set<std::string> shown;
    const auto add = [&](size_t record, size_t reading, bool isReading, std::string text) {
        if (shown.insert(text).second)
            list.m_entries.push_back(
                C_RelatedEntry{uint16_t(record), uint16_t(reading), isReading, std::move(text)});
    };
    const bool hant = m_modeStatus.wantsHant(type);
    const bool tailo = m_modeStatus.wantsTailo(type);
    for (size_t i = 0; i < m_cache.size(); ++i) {
        const C_RelatedRecord& record = m_cache[i];
        const C_SemiCandidate& c = record.m_candidates.front();
        // The Han text shows what follows the last word's text; a text that does not go on
        // from it (possible when the last word was nailed to a reading) gives no Han entry.
        if (hant && !c.m_text.empty() && c.m_text.size() > m_lastText.size() &&
            std::string_view(c.m_text).starts_with(m_lastText))
            add(i, 0, false, c.m_text.substr(m_lastText.size()));
        if (!tailo && !c.m_text.empty())
            continue;
        if (record.m_readingFlag) {
            if (record.m_readingIndex < c.m_readings.size())
                add(i, record.m_readingIndex, true,
                    skipWords(c.m_readings[record.m_readingIndex], c.m_count));
            continue;
        }
        if (c.m_readings.size() >= 0xFFFF)
            throw std::runtime_error("Tailo count(" + std::to_string(c.m_readings.size()) +
                                     ") exceeds storage limit");
        for (size_t j = 0; j < c.m_readings.size(); ++j)
            add(i, j, true, skipWords(c.m_readings[j], c.m_count));
    }
    std::stable_sort(
        list.m_entries.begin(), list.m_entries.end(),
        [this](const C_RelatedEntry& a, const C_RelatedEntry& b) { return lessEntry(a, b); });
    m_lists.push_back(std::move(list));
    return &m_lists.back().m_entries;
}

bool C_RelatedChoices::apply(char type, size_t index, const FC_ApplyRelated& callback) {
    const std::vector<C_RelatedEntry>* list = listOf(type);
    if (!list || index >= list->size())
        return false;
    const C_RelatedEntry& entry = (*list)[index];
    const C_RelatedRecord& record = m_cache.at(entry.m_record);

    // Built as copies: the callback composes the line, which empties this cache.
    std::string keys;
    std::vector<C_RelatedPair> pairs;
    size_t next = 0;
    if (!record.m_keyText.empty()) {
        // The first candidate takes the last word's place and reaches over the keys to type.
        C_SemiCandidate c = record.m_candidates.front();
        const size_t pos = m_position - c.m_span;
        c.m_span = uint16_t(c.m_span + record.m_keyText.size());
        c.m_chosenReading = C_ChosenReading{entry.m_reading, entry.m_isReading};
        if (type == COMPO_TAILO && !entry.m_isReading)
            c.m_chosenReading = C_ChosenReading{0, true};
        if (c.m_count != 0)
            c.m_count = uint16_t(tonedKeysOf(standingReading(c)).size());
        keys += record.m_keyText;
        pairs.push_back(C_RelatedPair{pos, std::move(c)});
        next = 1;
    }
    for (size_t k = next; k < record.m_candidates.size(); ++k) {
        C_SemiCandidate c = record.m_candidates[k];
        const std::vector<std::string> toned = tonedKeysOf(standingReading(c));
        const std::string typed = joinedKeys(toned, "");
        c.m_count = uint16_t(toned.size());
        c.m_span = uint16_t(typed.size());
        pairs.push_back(C_RelatedPair{m_position + keys.size(), std::move(c)});
        keys += typed;
    }
    callback(keys, pairs);
    return true;
}

std::string C_RelatedChoices::skipWords(const std::string& tailo, size_t n) {
    if (n == 0)
        return tailo;
    const auto shortText = [&](const char* which) {
        return std::logic_error("Tailo \"" + tailo + "\" is no more than " + std::to_string(n) +
                                " words (" + which + ")");
    };
    size_t pos = 0;
    for (size_t i = 0; i < n; ++i) {
        const size_t word = tailo.find_first_not_of(kTailoSeparators, pos);
        if (word == std::string::npos)
            throw shortText("1/2");
        pos = tailo.find_first_of(kTailoSeparators, word);
        if (pos == std::string::npos) {
            if (i + 1 == n)
                throw shortText("2/2");
            pos = tailo.size();
        }
    }
    return tailo.substr(pos);
}

// The list order: the word that reaches furthest first; then, candidate by candidate, the
// higher weight, the longer span, the count (none first, else the higher), the greater width;
// then the word of more candidates; then a record of one reading before one of all readings,
// and the lower reading first.
bool C_RelatedChoices::lessEntry(const C_RelatedEntry& a, const C_RelatedEntry& b) const {
    const C_RelatedRecord& ra = m_cache.at(a.m_record);
    const C_RelatedRecord& rb = m_cache.at(b.m_record);
    const auto reach = [](const C_RelatedRecord& r) {
        return r.m_pos +
               (r.m_keyText.empty() || r.m_candidates.empty() ? 0 : r.m_candidates.front().m_span);
    };
    const size_t sa = reach(ra), sb = reach(rb);
    if (sa != sb)
        return sa > sb;
    const size_t common = std::min(ra.m_candidates.size(), rb.m_candidates.size());
    for (size_t k = 0; k < common; ++k) {
        const C_SemiCandidate& x = ra.m_candidates[k];
        const C_SemiCandidate& y = rb.m_candidates[k];
        if (x.m_weight > y.m_weight)
            return true;
        if (x.m_weight < y.m_weight)
            return false;
        if (x.m_span != y.m_span)
            return x.m_span > y.m_span;
        if (x.m_count != y.m_count) {
            if (x.m_count == 0)
                return true;
            if (y.m_count == 0)
                return false;
            return x.m_count > y.m_count;
        }
        const size_t wx = x.width(), wy = y.width();
        if (wx != wy)
            return wx > wy;
    }
    if (ra.m_candidates.size() != rb.m_candidates.size())
        return ra.m_candidates.size() > rb.m_candidates.size();
    if (ra.m_readingFlag != rb.m_readingFlag)
        return ra.m_readingFlag;
    if (ra.m_readingFlag && ra.m_readingIndex != rb.m_readingIndex)
        return ra.m_readingIndex < rb.m_readingIndex;
    return false;
}

}  // namespace kov
