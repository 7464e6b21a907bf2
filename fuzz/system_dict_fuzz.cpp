// The system dictionary's files: the input holds "cats.tab" and "tailo.tab" (fuzz_support.h's
// parts). Both load from a folder whatever their bytes, the category table answers for every
// category, and an input line types a script of keys, wildcards, Han lookups and related
// choices over the dictionary; the dictionary's own lookups run for keys of every section.

#include <cstdint>
#include <string>
#include <string_view>

#include "engine/compose/input_line.h"
#include "engine/dict/system_dict.h"
#include "engine/dict/tailo_cats.h"
#include "fixtures/capture_policy.h"
#include "fixtures/temp_folder.h"
#include "fuzz/fuzz_support.h"
#include "fuzz/input_script.h"

namespace {

// Typing that reaches every lookup of the sample words: toned and toneless syllables, key
// arrays, exact keys, wildcards, capitals, candidate lists, nails and related choices.
constexpr std::string_view kScript =
    "tai5uan5lang5{=\x01;\x00,/\ntai0pak{}(=\x02.\nKa1 t?i*k*|ho2,;\x01$<<[[!/";

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using namespace kov;
    static const test::C_TempFolder folder;
    static const test::C_CapturePolicy& policy = *new test::C_CapturePolicy;
    const auto parts = fuzz::splitParts(data, size, 2);
    const auto catsFile = folder.write("cats.tab", parts[0]);
    const auto tailoFile = folder.write("tailo.tab", parts[1]);

    const C_TailoCats cats(catsFile);
    for (unsigned c = 0; c < 256; ++c) {
        (void)cats.catName(static_cast<uint8_t>(c));
        (void)cats.isCatUnder(static_cast<uint8_t>(c), cats.parentCat(static_cast<uint8_t>(c)));
    }
    const C_TailoDB db(tailoFile, cats, policy);
    for (size_t section = 0; section < 3; ++section)
        for (const char* key : {"tai5", "ka1", "Ka1", "tai5-uan5", "tai5-uan5-lang5", ""})
            db.visitKeyVocs(section, key, [](const auto&...) {});
    for (const std::string& han :
         {test::TAI, test::TAI + test::UAN, test::TAI_THAU, test::HO + test::PAK})
        db.voc2tailos(han, [](std::string_view) {});
    const uint8_t someCats[] = {0, 1, 2, 3, 255};
    db.visitCatRules(someCats, [](const auto&...) {});
    db.visitWordRules(test::TAI + test::UAN, {"tai5", "uan5"}, [](const auto&...) {});

    C_InputLine line(db);
    fuzz::runLineScript(line, kScript);
    return 0;
}
