#pragma once
// The bundled dictionary of the build ("dict/tailo.tab" and "dict/cats.tab", compiled from the
// lexicon by the kov_default_dict target) with the toned keys of the lexicon's words, for the
// benchmarks that time real words.

#include <memory>
#include <string>
#include <vector>

#include "engine/dict/system_dict.h"
#include "engine/dict/tailo_cats.h"
#include "tests/support/capture_policy.h"

namespace kov::test {

struct C_BundledDict {
    // Throws std::runtime_error when the build has no bundled dictionary.
    C_BundledDict();

    C_CapturePolicy policy;
    std::unique_ptr<C_TailoCats> cats;
    std::unique_ptr<C_TailoDB> db;
    // The syllable keys of each lexicon word whose syllables all carry tone digits, in lexicon
    // order.
    std::vector<std::vector<std::string>> words;
};

// The one bundled dictionary of the process, loaded on first use.
const C_BundledDict& bundledDict();

}  // namespace kov::test
