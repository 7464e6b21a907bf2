#include "tools/dictc/corpus.h"

#include "engine/text/syllable_match.h"
#include "engine/text/tailo.h"
#include "tools/dictc/text_pieces.h"

namespace kov::dictc {

namespace {

// The next line of text from at (advanced past its line end), without "\r"; false at the end.
bool nextLine(std::string_view text, size_t& at, std::string_view& line) {
    if (at >= text.size())
        return false;
    size_t end = text.find('\n', at);
    if (end == std::string_view::npos)
        end = text.size();
    line = text.substr(at, end - at);
    if (!line.empty() && line.back() == '\r')
        line.remove_suffix(1);
    at = end + 1;
    return true;
}

bool isAsciiLetter(char c) noexcept { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }
bool isAsciiDigit(char c) noexcept { return c >= '0' && c <= '9'; }

std::vector<std::string_view> splitWords(std::string_view line) {
    std::vector<std::string_view> out;
    size_t at = 0;
    while (at < line.size()) {
        size_t end = line.find(' ', at);
        if (end == std::string_view::npos)
            end = line.size();
        if (end > at)
            out.push_back(line.substr(at, end - at));
        at = end + 1;
    }
    return out;
}

}  // namespace

namespace {

uint32_t lineHash(std::string_view line) noexcept {
    uint32_t h = 2166136261u;
    for (unsigned char c : line) {
        h ^= c;
        h *= 16777619u;
    }
    return h;
}

}  // namespace

bool isHeldOut(std::string_view tailoLine) noexcept {
    return lineHash(tailoLine) % kHeldOutShare == 0;
}

bool isTuning(std::string_view tailoLine) noexcept {
    const uint32_t h = lineHash(tailoLine);
    return h % kHeldOutShare != 0 && (h / kHeldOutShare) % kHeldOutShare == 0;
}

bool inCorpusPart(E_CorpusPart part, std::string_view tailoLine) noexcept {
    switch (part) {
        case E_CorpusPart::ALL:
            return true;
        case E_CorpusPart::TRAINING:
            return !isHeldOut(tailoLine);
        case E_CorpusPart::HELD_OUT:
            return isHeldOut(tailoLine);
        case E_CorpusPart::TUNING:
            return isTuning(tailoLine);
        case E_CorpusPart::TRAINING_WITHOUT_TUNING:
            return !isHeldOut(tailoLine) && !isTuning(tailoLine);
    }
    return false;
}

E_CorpusWordKind classifyCorpusWord(std::string_view tailo, std::vector<std::string>& keys) {
    keys.clear();
    bool letters = false, digits = false;
    for (char c : tailo) {
        letters = letters || isAsciiLetter(c);
        digits = digits || isAsciiDigit(c);
    }
    if (!letters && !digits)
        return E_CorpusWordKind::PUNCTUATION;
    bool syllables = !tailo.empty();
    size_t at = 0;
    while (syllables && at <= tailo.size()) {
        size_t end = tailo.find('-', at);
        if (end == std::string_view::npos)
            end = tailo.size();
        const std::string key = toLowerAscii(tailo.substr(at, end - at));
        // A name's first letter may be a capital; the key itself is lower case.
        syllables = isTonedSyllable(key);
        if (syllables)
            keys.push_back(key);
        at = end + 1;
    }
    if (syllables)
        return E_CorpusWordKind::SYLLABLES;
    keys.clear();
    bool onlyLetters = true;
    for (char c : tailo)
        onlyLetters = onlyLetters && (isAsciiLetter(c) || c == '-' || c == '.' || c == '\'');
    return onlyLetters ? E_CorpusWordKind::FOREIGN : E_CorpusWordKind::OTHER;
}

size_t readCorpus(std::string_view hanText, std::string_view tailoText, E_CorpusPart part,
                  const std_move_only_function<void(const C_CorpusSentence&)>& visit,
                  C_CorpusSkips* skips) {
    hanText = stripBom(hanText);
    tailoText = stripBom(tailoText);
    size_t hanAt = 0, tailoAt = 0, lineNo = 0, visited = 0;
    C_CorpusSentence s;
    for (;;) {
        std::string_view han, tailo;
        const bool hasHan = nextLine(hanText, hanAt, han);
        const bool hasTailo = nextLine(tailoText, tailoAt, tailo);
        if (!hasHan && !hasTailo)
            break;
        ++lineNo;
        if (hasHan != hasTailo) {
            if (skips && !(hasHan ? han : tailo).empty())
                ++skips->m_unpaired;
            continue;
        }
        if (han.empty() && tailo.empty())
            continue;
        const auto hanWords = splitWords(han);
        const auto tailoWords = splitWords(tailo);
        if (hanWords.size() != tailoWords.size() || hanWords.empty()) {
            if (skips)
                skips->m_misaligned.push_back(lineNo);
            continue;
        }
        if (!inCorpusPart(part, tailo))
            continue;
        s.m_line = lineNo;
        s.m_hanLine = han;
        s.m_tailoLine = tailo;
        s.m_words.resize(hanWords.size());
        for (size_t i = 0; i < hanWords.size(); ++i) {
            C_CorpusWord& w = s.m_words[i];
            w.m_han = hanWords[i];
            w.m_tailo = tailoWords[i];
            w.m_kind = classifyCorpusWord(w.m_tailo, w.m_keys);
        }
        visit(s);
        ++visited;
    }
    return visited;
}

}  // namespace kov::dictc
