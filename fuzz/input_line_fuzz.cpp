// Sequences of input-line edits and queries (input_script.h) over the harnesses' small
// dictionary with a user and a learning dictionary on top, the learner's jobs run after the
// script. Each input starts from empty user and learning dictionaries. The input is the script.

#include <cstdint>
#include <string_view>

#include "engine/compose/input_line.h"
#include "fuzz/fuzz_support.h"
#include "fuzz/input_script.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using namespace kov;
    const auto source = fuzz::dictChain();
    {
        C_InputLine line(source->tailoDB());
        line.setLearner(source->learner());
        fuzz::runLineScript(line, std::string_view(reinterpret_cast<const char*>(data), size));
    }
    source->runQueuedJobs();
    return 0;
}
