#pragma once
// The news corpus the default dictionary counts its words over: two aligned files, one sentence
// a line, line N of the Han file the same sentence as line N of the Tai-lo file, the words
// separated by single spaces in both. A word's Tai-lo is its syllables joined by "-", every
// syllable with its tone digit ("tsong2-thong2"); punctuation and foreign names stand as
// written in both files.
//
// The corpus is split once, by a hash of each sentence's Tai-lo line, into the part the
// dictionary is built from and the part kept for the quality report (bench/dict_quality.cpp),
// so that the report measures sentences the dictionary has never seen. Both sides call
// isHeldOut, so the split cannot drift between them.

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "qiv/move_only_function.h"

namespace kov::dictc {

// One sentence in this many is held out of the dictionary.
inline constexpr uint32_t kHeldOutShare = 10;

// True for the sentences kept for the quality report: those whose Tai-lo line (without its line
// end) hashes (FNV-1a, 32 bits) to a multiple of kHeldOutShare.
bool isHeldOut(std::string_view tailoLine) noexcept;

// True for the sentences of the training part kept for choosing the compiler's constants: one
// in kHeldOutShare of those not held out (the hash divided by kHeldOutShare is again a multiple
// of it). The weights are tuned by building from the training part without these and typing
// them, so that the held-out part stays unseen by the tuning as well.
bool isTuning(std::string_view tailoLine) noexcept;

enum class E_CorpusPart : uint8_t {
    ALL = 0,
    TRAINING = 1,  // the sentences that are not held out
    HELD_OUT = 2,
    TUNING = 3,                   // the tuning sentences of the training part
    TRAINING_WITHOUT_TUNING = 4,  // the training part less its tuning sentences
};

// Whether a sentence, by its Tai-lo line, belongs to the part.
bool inCorpusPart(E_CorpusPart part, std::string_view tailoLine) noexcept;

// What a corpus word is, by its Tai-lo.
enum class E_CorpusWordKind : uint8_t {
    SYLLABLES = 0,    // toned syllables, m_keys holds them
    PUNCTUATION = 1,  // no letter and no digit (",", "。", "「", ...)
    FOREIGN = 2,      // letters alone: a foreign name or abbreviation written as it is ("Obama")
    OTHER = 3,        // anything else: loanword marks, neutral-tone prefixes, mixed scripts
};

struct C_CorpusWord {
    std::string_view m_han;    // as the Han line writes it
    std::string_view m_tailo;  // as the Tai-lo line writes it
    E_CorpusWordKind m_kind = E_CorpusWordKind::OTHER;
    std::vector<std::string> m_keys;  // the toned keys, lower case, when SYLLABLES
};

struct C_CorpusSentence {
    size_t m_line = 0;  // 1-based line number in both files
    std::string_view m_hanLine;
    std::string_view m_tailoLine;
    std::vector<C_CorpusWord> m_words;
};

// Why corpus lines were passed over (lines whose two sides hold different numbers of words, or
// one side ends before the other).
struct C_CorpusSkips {
    std::vector<size_t> m_misaligned;  // line numbers
    size_t m_unpaired = 0;             // lines of the longer file without a partner
};

// The kind and keys of one corpus word by its Tai-lo.
E_CorpusWordKind classifyCorpusWord(std::string_view tailo, std::vector<std::string>& keys);

// Calls visit for each aligned sentence of the part, in file order; empty lines are passed over.
// Both texts may begin with a UTF-8 byte-order mark and end their lines with LF or CR LF.
// Returns the number of sentences visited.
size_t readCorpus(std::string_view hanText, std::string_view tailoText, E_CorpusPart part,
                  const std_move_only_function<void(const C_CorpusSentence&)>& visit,
                  C_CorpusSkips* skips = nullptr);

}  // namespace kov::dictc
