// The database source: the server's policy, saving, and the events of user-dictionary changes
// made on the loop's thread and on others.
#include <gtest/gtest.h>

#include <filesystem>
#include <thread>

#include "engine/Kelvaro/db_source.h"
#include "engine/Kelvaro/server_loop.h"
#include "engine/dict/user_db.h"
#include "tests/server/session_harness.h"
#include "fixtures/user_db_fixture.h"

namespace kov::test {
namespace {

using nlohmann::json;
namespace fs = std::filesystem;

bool addWord(I_DBSource& source, const std::string& key, const std::string& word) {
    return source.userDB().addKeysToWord(key, 'T', word, 0.0f, {}, 0);
}

TEST(DBSource, PolicyLimits) {
    const I_LearnPolicy& policy = serverPolicy();
    EXPECT_EQ(policy.karrThreshold(), 3u);
    const std::vector<std::pair<int, uint64_t>> limits = {
        {MAX_RULES, 1000}, {MAX_VOCS, 500}, {MAX_WORDS, 100}, {RIPE_RULE_COUNT, 4},
        {RIPE_VOC_COUNT, 3}, {RIPE_WORD_COUNT, 3}, {6, 0}, {-1, 0}, {255, 0},
    };
    for (const auto& [kind, limit] : limits)
        EXPECT_EQ(policy.getLimit(static_cast<E_LearnLimit>(kind)), limit) << kind;
    policy.log(1, "dropped");
}

TEST(DBSource, SaveAllWritesOnlyWhatChanged) {
    C_SessionHarness h;
    const fs::path file = h.userFolder() / "user-db.tab";
    EXPECT_EQ(h.source().saveAll(), 0u);
    EXPECT_FALSE(fs::exists(file));
    ASSERT_TRUE(addWord(h.source(), "ka1", "ka"));
    EXPECT_EQ(h.source().saveAll(), 1u);
    EXPECT_TRUE(fs::exists(file));
    EXPECT_EQ(h.source().saveAll(), 0u);
}

TEST(DBSource, EndingSavesTheUserDictionaryAndTheNextOneLoadsIt) {
    C_SystemDictFixture system("");
    C_TempFolder folder;
    {
        auto source = makeDBSource(*system.m_db, folder.path());
        ASSERT_TRUE(addWord(*source, "ka1", "ka"));
    }
    ASSERT_TRUE(fs::exists(folder.path() / "user-db.tab"));
    auto source = makeDBSource(*system.m_db, folder.path());
    EXPECT_TRUE(source->userDB().findUserVoc({"ka1"}, 'T', "ka", [](const C_TailoVoc&) {}));
    EXPECT_EQ(source->saveAll(), 0u);
}

// A rule element of an unknown kind is damage like any other: the server starts with what the
// file holds before it, and the file is kept aside before anything is saved over it.
TEST(DBSource, UnknownRuleKindInTheUserFileIsDamageNotAThrow) {
    C_SystemDictFixture system("");
    C_TempFolder folder;
    C_UserDbFixture f = sampleUserDb();
    f.rules = {ruleRecord(0, 0, {std::string(1, '\x03')})};
    folder.write("user-db.tab", f.bytes());
    std::unique_ptr<I_DBSource> source;
    ASSERT_NO_THROW(source = makeDBSource(*system.m_db, folder.path()));
    EXPECT_EQ(source->userDB().error().kind, qiv::E_FileError::DAMAGED);
    ASSERT_TRUE(addWord(*source, "ka1", "ka"));
    source.reset();
    EXPECT_TRUE(fs::exists(folder.path() / "user-db.tab.bad"));
}

TEST(DBSource, ChangeOnAnotherThreadReachesTheSessionsThroughTheLoop) {
    C_SessionHarness h;
    auto& client = h.connect();
    client.open("no-ime");
    std::thread([&h] { addWord(h.source(), "ka1", "ka"); }).join();
    EXPECT_EQ(client.receive(1), std::vector<json>({{{"event", "user-db-changed"}, {"kind", VOC_ADDED}}}));
    std::thread([&h] { h.source().userDB().eraseWord("ka1", 'T', "ka"); }).join();
    EXPECT_EQ(client.receive(1), std::vector<json>({{{"event", "user-db-changed"}, {"kind", VOC_ERASED}}}));
}

TEST(DBSource, ChangeWhileTheServerStopsIsDropped) {
    C_SessionHarness h;
    auto& client = h.connect();
    client.open("no-ime");
    EXPECT_TRUE(stopServerLoop());
    std::thread([&h] { addWord(h.source(), "ka1", "ka"); }).join();
    EXPECT_FALSE(postToServerLoop([] {}));
    h.loop().restart();
    EXPECT_TRUE(client.silent());
}

}  // namespace
}  // namespace kov::test
