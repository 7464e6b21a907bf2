// The user dictionary shared by two threads, as the session thread and the learning thread
// share it: one edits (and saves), the other queries and lists. Run under ThreadSanitizer.
#include <gtest/gtest.h>

#include <atomic>
#include <string>
#include <thread>
#include <vector>

#include "engine/dict/user_db.h"
#include "fixtures/user_db_fixture.h"

namespace kov::test {
namespace {

std::string systemTailo() {
    C_TailoFixture f;
    f.a = {{"tai5", {hRec("台")}}};
    f.c = {{"tai5-uan5", {hRec("台灣", 2)}}};
    f.d = {{"台", {"tâi"}}, {"台灣", {"tâi-uân"}}};
    return f.bytes();
}

TEST(UserDbThreads, OneThreadEditsWhileAnotherQueries) {
    C_UserDbSetup setup(std::nullopt, systemTailo());
    C_UserTailoDB& db = setup.open();
    std::atomic<size_t> changes{0};
    db.addListener(1, [&](E_UserTailoChange) { ++changes; });

    constexpr int kRounds = 200;
    std::atomic<bool> done{false};
    std::thread editor([&] {
        const char* hans[] = {"台", "臺", "抬"};
        for (int i = 0; i < kRounds; ++i) {
            const std::string han = hans[i % 3];
            C_HantTailoAttr attr;
            ASSERT_EQ(classifyHantTailo(han, "tâi", attr), UVE_OK);
            EXPECT_EQ(db.addUserVoc(han, "tâi", attr, float(i), {}, 0), UVE_OK);
            ASSERT_EQ(classifyHantTailo(han + "灣", "Tâi-uân", attr), UVE_OK);
            EXPECT_EQ(db.addUserVoc(han + "灣", "Tâi-uân", attr, 1, {}, 0), UVE_OK);
            auto rule = std::make_shared<C_Rule>();
            rule->push_back(C_RuleElem{C_WordPat{han, {}, 1}, 0.5f});
            db.addRule(rule);
            if (i % 2) {
                EXPECT_EQ(db.updateUserVoc(han, "tâi", han, "tāi"), UVE_OK);
            }
            if (i % 3 == 0)
                db.eraseUserVoc(han + "灣", "Tâi-uân", attr);
            if (i % 50 == 0)
                db.save();
        }
        done = true;
    });
    std::thread reader([&] {
        size_t seen = 0;
        // At least one pass: under load the editor may be done before this thread starts.
        do {
            C_TypedLine line("tai5uan5");
            const auto first = line.syllable(0, 4, true);
            line.syllable(4, 4, false);
            db.getIslandVocs(line.consts(), *first, line.unitAt());
            C_CompoUnit unit('t');
            db.addKeyVocs(unit, "tai5", false);
            db.voc2tailos("台灣", [&](std::string_view) { ++seen; });
            db.visitWordRules("台", {}, [&](const std::vector<C_RuleElem>&, size_t) { ++seen; });
            const std::vector<C_UserVocOrder> orders{{ORDER_BY_WEIGHT, true}};
            db.visitUserVocs("tâi", orders, 0, 10,
                             [&](const C_Bikey&, const C_TailoVoc&,
                                 const std::vector<std::string>&) { ++seen; });
            seen += db.countUserVocs("");
        } while (!done);
        EXPECT_GT(seen, 0u);
    });
    editor.join();
    reader.join();
    EXPECT_GT(changes.load(), size_t(kRounds));
    EXPECT_TRUE(db.save());
    const size_t count = db.countUserVocs("");
    C_UserTailoDB& reread = setup.open();
    EXPECT_TRUE(reread.loaded()) << reread.error().text;
    EXPECT_EQ(reread.countUserVocs(""), count);
}

}  // namespace
}  // namespace kov::test
