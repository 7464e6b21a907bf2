// The bundled default dictionary (compiled from the lexicon by the build): a sample of the
// lexicon's one-word rows is found by full toned keys and by keys without tone digits.

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "engine/dict/system_dict.h"
#include "engine/dict/tailo_cats.h"
#include "engine/text/tailo.h"
#include "fixtures/capture_policy.h"
#include "fixtures/tailo_fixture.h"
#include "fixtures/lexicon_rows.h"

namespace kov {
namespace {

using test::E_KeyTyping;
using test::typeIslands;

bool holds(const std::vector<C_Candidate>& cands, std::string_view text, std::string_view reading) {
    return std::any_of(cands.begin(), cands.end(), [&](const C_Candidate& c) {
        return c.m_text == text &&
               std::find(c.m_readings.begin(), c.m_readings.end(), reading) != c.m_readings.end();
    });
}

TEST(BundledDict, SampleOfTheLexiconIsFoundByFullAndTonelessKeys) {
    const std::filesystem::path dir = std::filesystem::path(KOV_BINARY_DIR) / "dict";
    if (!std::filesystem::exists(dir / "tailo.tab") || !std::filesystem::exists(dir / "cats.tab"))
        GTEST_SKIP() << "no bundled dictionary in " << dir.string()
                     << " (cross builds do not compile it)";
    C_TailoCats cats(dir / "cats.tab");
    test::C_CapturePolicy policy;
    C_TailoDB db(dir / "tailo.tab", cats, policy);
    ASSERT_TRUE(db.loaded()) << db.error().text;
    EXPECT_GT(db.karrCount(), 10000u);

    const std::vector<test::C_LexiconRow> rows = test::readLexiconRows();
    ASSERT_GT(rows.size(), 15000u);
    // Every 53rd row whose reading and Han text are one word each (no "/" alternatives, no
    // spaces, no "--" neutral tone) of at most six syllables.
    size_t tried = 0;
    for (size_t r = 1; r < rows.size(); r += 53) {
        const std::vector<std::string>& fields = rows[r].m_fields;
        if (fields.size() < 7)
            continue;
        const std::string& kip = fields[3];
        const std::string& han = fields[6];
        if (kip.empty() || han.empty() || kip.find_first_of("/ ") != std::string::npos ||
            kip.find("--") != std::string::npos || han.find_first_of("/ ") != std::string::npos)
            continue;
        const auto res = tailo2tonedKeys(kip);
        if (res.index() != 0 || std::get<0>(res).size() > 6)
            continue;
        const std::vector<std::string>& keys = std::get<0>(res);
        // A Han cell that is itself Tai-lo is stored as a Tai-lo word (no Han text).
        const std::string text = tailo2tonedKeys(han).index() == 0 ? "" : han;
        SCOPED_TRACE("line " + std::to_string(r + 1) + ": " + kip + " " + han);
        ++tried;
        EXPECT_TRUE(holds(typeIslands(db, keys, E_KeyTyping::FULL), text, kip));
        EXPECT_TRUE(holds(typeIslands(db, keys, E_KeyTyping::TONELESS), text, kip));
    }
    EXPECT_GT(tried, 150u);
}

}  // namespace
}  // namespace kov
