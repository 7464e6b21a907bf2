// The user-layer dictionaries' files: the input holds "user-db.tab", "learn-db.tab" and a
// typing script (fuzz_support.h's parts). Both load over the harnesses' system dictionary
// whatever their bytes; the vocabulary is listed in every order and searched, the script types
// over the stack and its committed lines are learnt, a word is added, both are saved and loaded
// again: the reloaded user dictionary lists what the saved one listed.

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <stdexcept>
#include <string>
#include <string_view>
#include <tuple>
#include <vector>

#include "engine/compose/input_line.h"
#include "engine/dict/user_db.h"
#include "fixtures/temp_folder.h"
#include "fuzz/fuzz_support.h"
#include "fuzz/input_script.h"

namespace {

using namespace kov;

using T_Listed = std::tuple<std::string, char, std::string, std::vector<unsigned char>, uint32_t,
                            std::vector<std::string>>;

// Every record of the search in the order of orders; throws like visitUserVocs.
std::vector<T_Listed> listing(const C_UserTailoDB& db, std::string_view search,
                              std::span<const C_UserVocOrder> orders) {
    std::vector<T_Listed> out;
    db.visitUserVocs(
        search, orders, 0, db.countUserVocs(search),
        [&out](const C_Bikey& key, const C_TailoVoc& voc, const std::vector<std::string>& tailos) {
            uint32_t weightBits = 0;
            std::memcpy(&weightBits, &voc.weight, sizeof weightBits);
            out.emplace_back(bikeyText(key), voc.type, voc.word, voc.cats, weightBits, tailos);
        });
    return out;
}

void print(const char* what, const std::vector<T_Listed>& list) {
    for (const auto& [key, type, word, cats, weightBits, tailos] : list) {
        std::fprintf(stderr, "%s %s %c %s cats %zu weight %08x", what, key.c_str(), type,
                     word.c_str(), cats.size(), static_cast<unsigned>(weightBits));
        for (const std::string& t : tailos)
            std::fprintf(stderr, " %s", t.c_str());
        std::fprintf(stderr, "\n");
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static const test::C_TempFolder folder;
    // Each input starts from its own two files: no copies of damaged files kept by an earlier one.
    for (const auto& entry : std::filesystem::directory_iterator(folder.path()))
        std::filesystem::remove_all(entry.path());
    const auto parts = fuzz::splitParts(data, size, 3);
    folder.write("user-db.tab", parts[0]);
    folder.write("learn-db.tab", parts[1]);

    std::vector<T_Listed> saved;
    {
        const auto source = fuzz::dictChain(folder.path());
        C_UserTailoDB& user = source->userDB();
        for (uint32_t type = 0; type <= 6; ++type)
            for (const bool descending : {false, true}) {
                const C_UserVocOrder orders[] = {{type, descending}, {ORDER_BY_KEYS, false}};
                (void)listing(user, "", orders);
            }
        for (const char* search : {"t", "ta", "\u53f0", "K"})
            (void)listing(user, search, {});
        user.findUserVoc({"tai5", "uan5"}, 'H', test::TAI + test::UAN, [](const C_TailoVoc&) {});
        {
            C_InputLine line(source->tailoDB());
            line.setLearner(source->learner());
            fuzz::runLineScript(line, parts[2]);
        }
        source->runQueuedJobs();
        const uint8_t cats[] = {1};
        (void)user.addUserVoc(test::HO + test::PAK, "h\u00f3-pak", {'H', test::HO + test::PAK}, 2,
                              cats, 1);
        if ((source->saveAll() & I_DBSource::SAVED_USER_DB) == 0)
            return 0;  // a file that could not be read is never written over
        saved = listing(user, "", {});
    }
    const auto reloaded = fuzz::dictChain(folder.path());
    if (const auto again = listing(reloaded->userDB(), "", {}); again != saved) {
        print("saved", saved);
        print("reloaded", again);
        std::abort();  // the save lost or changed a word
    }
    return 0;
}
