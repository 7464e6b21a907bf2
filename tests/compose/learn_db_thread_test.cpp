// The dictionary chain shared by the session thread and the learning thread, as in the server:
// the session types and commits lines (each commit a job) and queries the dictionaries while
// the learner learns, approves and promotes into the user dictionary, whose listener runs on the
// learning thread. Run under ThreadSanitizer.

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <string>

#include "engine/compose/input_line.h"
#include "tests/compose/line_fixture.h"
#include "fixtures/learn_db_fixture.h"

namespace kov::test {
namespace {

using namespace std::chrono_literals;

std::string systemTailo() {
    C_TailoFixture f;
    f.a = {{"ho2", {hRec("\u597d", 5)}}};
    f.d = {{"\u597d", {"h\u00f3"}}};
    return f.bytes();
}

TEST(LearnDbThreads, TheSessionCommitsAndQueriesWhileTheLearnerPromotes) {
    C_LearnSetup setup(systemTailo(), true);
    C_TestLearnDB& learn = setup.learn();
    C_RefusingUserDB& user = setup.user();
    std::atomic<size_t> changes{0};
    user.addListener(1, [&](E_UserTailoChange) { ++changes; });

    C_InputLine line(learn);
    const char* lines[] = {"tsiann5ho2", "ho2tsiann5", "lang5tsiann5", "tsiann5"};
    size_t queried = 0;
    const auto commitRound = [&](size_t round) {
        type(line, lines[round % 4]);
        queried += line.winners().size();
        line.clear();
        queried += user.countUserVocs("");
        learn.voc2tailos("\u597d", [&](std::string_view) { ++queried; });
    };
    for (size_t round = 0; round < 80; ++round)
        commitRound(round);
    ASSERT_TRUE(learn.waitIdle(10s));
    // However the two threads interleaved, three more commits of each line after the learner
    // caught up ripen what it learned from them.
    for (size_t round = 0; round < 12; ++round) {
        commitRound(round);
        ASSERT_TRUE(learn.waitIdle(10s));
    }
    EXPECT_GT(queried, 0u);
    EXPECT_GT(changes.load(), 0u);
    EXPECT_TRUE(user.findUserVoc({"tsiann5"}, 'T', "tsi\u00e2nn", [](const C_TailoVoc&) {}));
    {
        const auto lock = learn.lockTables();
        EXPECT_EQ(lock.candiPool().keys2words.count("tsiann5"), 0u);
    }
    EXPECT_FALSE(setup.policy().contains("Caught & revive"));
}

}  // namespace
}  // namespace kov::test
