// The Tai-lo converters over any text: syllables to toned keys and back, tone marks placed and
// taken off, the hand-written syllable checks against the regular expressions they stand for,
// key patterns, capitals, case folding and ideographic description sequences.

#include <cstdint>
#include <cstdlib>
#include <regex>
#include <stdexcept>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

#include "engine/text/case_folded_string.h"
#include "engine/text/code_points.h"
#include "engine/text/key_pattern.h"
#include "engine/text/syllable_match.h"
#include "engine/text/tailo.h"
#include "fixtures/tailo_regex.h"

namespace {

using namespace kov;
using namespace kov::test;

bool fullMatch(std::string_view text, const std::regex& re) {
    return std::regex_match(text.begin(), text.end(), re);
}

// The checks without a regular expression give exactly its answers.
void compareWithRegexes(std::string_view keys) {
    if (isTonedSyllable(keys) != fullMatch(keys, tonedSyllableRegex()) ||
        isRimeTone(keys) != fullMatch(keys, kRimeToneRegex) ||
        isInitial(keys) != fullMatch(keys, kInitialRegex) ||
        isWildcardQuery(keys) != fullMatch(keys, kWildcardQueryRegex))
        std::abort();
    std::match_results<std::string_view::const_iterator> m;
    const bool matched = std::regex_match(keys.begin(), keys.end(), m, kSyllableRegex);
    const auto parts = matchSyllable(keys);
    if (matched != parts.has_value())
        std::abort();
    if (parts && (static_cast<size_t>(m.length(1)) != parts->m_initialLength ||
                  static_cast<size_t>(m.length(2)) != parts->m_rimeLength))
        std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);

    // The regular expressions recurse per character: they only see key-sized pieces.
    if (size <= 24)
        compareWithRegexes(text);
    else
        (void)isTonedSyllable(text), (void)isWildcardQuery(text), (void)matchSyllable(text);

    const C_TonedKeysResult keys = tailo2tonedKeys(text);
    if (const auto* list = std::get_if<std::vector<std::string>>(&keys)) {
        for (const std::string& key : *list) {
            // Every toned key spells as Tai-lo, and a spelling with a tone mark reads back as
            // the key (tones 1 and 4 have no mark: their syllable ending tells them apart).
            const std::string spelled = tonedKey2tailo(key);
            if (key.back() == '1' || key.back() == '4')
                continue;
            const C_TonedKeysResult back = tailo2tonedKeys(spelled);
            const auto* again = std::get_if<std::vector<std::string>>(&back);
            if (!again || again->size() != 1 || again->front() != key)
                std::abort();
        }
    }
    try {
        (void)tonedKey2tailo(std::string(text));
    } catch (const std::runtime_error&) {
    }
    for (const bool upper : {false, true})
        (void)untoneSyllable(std::string(text), upper);
    if (size > 1) {
        const size_t pos = data[0] % size;
        const size_t tone = data[size - 1] % 9;
        (void)placeToneMark(std::string(text), pos, tone);
    }
    (void)split(text, kTailoSeparators);

    // Key patterns and matchers, the first half of the input against the second.
    const std::string_view pattern = text.substr(0, size / 2), key = text.substr(size / 2);
    (void)matchKeyPattern(pattern, key, std::max(pattern.size(), key.size()));
    for (const bool exact : {false, true})
        (void)createTailoWordMatcher(pattern, exact)(key);

    (void)capitalTailo(text);
    const C_CaseFoldedString folded(text), half(pattern);
    (void)folded.compare(half);
    (void)folded.find(half);
    (void)folded.startsWith(half, half.size());
    (void)countIDCOrZero(text);
    (void)dumpUnicodes(text);
    return 0;
}
