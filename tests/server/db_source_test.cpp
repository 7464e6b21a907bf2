// The database source: the server's policy, the dictionary chain and its learner, saving, and
// the events of user-dictionary changes made on the loop's thread and on others (the learning
// thread's promotions among them).
#include <gtest/gtest.h>

#include <asio/io_context.hpp>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <thread>

#include "engine/Kelvaro/db_source.h"
#include "engine/Kelvaro/server_loop.h"
#include "engine/compose/input_line.h"
#include "engine/compose/learn_db.h"
#include "engine/dict/user_db.h"
#include "tests/server/session_harness.h"
#include "tests/server/test_commands.h"
#include "fixtures/user_db_fixture.h"

namespace kov::test {
namespace {

using nlohmann::json;
namespace fs = std::filesystem;

bool addWord(I_DBSource& source, const std::string& key, const std::string& word) {
    return source.userDB().addKeysToWord(key, 'T', word, 0.0f, {}, 0);
}

const C_LearnTailoDB& learnDB(I_DBSource& source) {
    const auto* learner = dynamic_cast<const C_LearnTailoDB*>(source.learner());
    if (!learner)
        throw std::logic_error("the learner is not the learning dictionary");
    return *learner;
}

// Types keys on a line of the source's chain and commits them, as a user would; returns once
// the learning thread has learned the line.
void commit(I_DBSource& source, std::string_view keys) {
    C_InputLine line(source.tailoDB());
    line.setLearner(source.learner());
    for (char key : keys)
        line.insertKey(key);
    while (line.popFront() > 0) {
    }
    line.clear();
    ASSERT_TRUE(learnDB(source).waitIdle(std::chrono::seconds(10)));
}

// Keys no dictionary knows are spelled; the learner counts the word each time it is committed
// and, at the third approval after it was first learned, moves it into the user dictionary.
constexpr int kCommitsToPromote = 4;
const std::string kUnknownKeys = "bo5";
const std::string kUnknownWord = "b\u00f4";

std::string readFile(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

bool inUserDB(I_DBSource& source, const std::string& key, const std::string& word) {
    return source.userDB().findUserVoc({key}, 'T', word, [](const C_TailoVoc&) {});
}

TEST(DBSource, PolicyLimits) {
    const I_LearnPolicy& policy = serverPolicy();
    EXPECT_EQ(policy.karrThreshold(), 3u);
    const std::vector<std::pair<int, uint64_t>> limits = {
        {MAX_RULES, 1000},
        {MAX_VOCS, 500},
        {MAX_WORDS, 100},
        {RIPE_RULE_COUNT, 4},
        {RIPE_VOC_COUNT, 3},
        {RIPE_WORD_COUNT, 3},
        {6, 0},
        {-1, 0},
        {255, 0},
    };
    for (const auto& [kind, limit] : limits)
        EXPECT_EQ(policy.getLimit(static_cast<E_LearnLimit>(kind)), limit) << kind;
    policy.log(1, "dropped");
}

TEST(DBSource, TheChainStartsAtTheLearningDictionaryWhichIsTheLearner) {
    C_SystemDictFixture system("");
    C_TempFolder folder;
    auto source = makeDBSource(*system.m_db, folder.path());
    ASSERT_NE(source->learner(), nullptr);
    EXPECT_EQ(&source->tailoDB(), static_cast<const I_TailoDB*>(&learnDB(*source)));
    // What the user dictionary holds is found through the chain.
    const std::string ka = "\u5bb6";
    source->userDB().addHantTailo(ka, "ka");
    ASSERT_TRUE(source->userDB().addKeysToWord("ka1", 'H', ka, 1.0f, {}, 0));
    C_InputLine line(source->tailoDB());
    line.setIslandDoctrine(true);
    for (char key : std::string_view("ka1"))
        line.insertKey(key);
    bool offered = false;
    line.getCandidatesAtNailPos(
        'M', 0, line.getCandidateCountAtNailPos('M'), [&](size_t, const C_VocCandidate& v) {
            offered |= v.m_text == ka && v.m_source >= ST_USER_EXACT;  // from a user layer
        });
    EXPECT_TRUE(offered);
}

TEST(DBSource, SaveAllWritesOnlyWhatChangedUserFileFirst) {
    C_SessionHarness h;
    const fs::path userFile = h.userFolder() / "user-db.tab";
    const fs::path learnFile = h.userFolder() / "learn-db.tab";
    EXPECT_EQ(h.source().saveAll(), 0u);
    EXPECT_FALSE(fs::exists(userFile));
    ASSERT_TRUE(addWord(h.source(), "ka1", "ka"));
    EXPECT_EQ(h.source().saveAll(), I_DBSource::SAVED_USER_DB);
    EXPECT_TRUE(fs::exists(userFile));
    EXPECT_EQ(h.source().saveAll(), 0u);

    commit(h.source(), kUnknownKeys);
    EXPECT_EQ(h.source().saveAll(), I_DBSource::SAVED_LEARN_DB);
    EXPECT_TRUE(fs::exists(learnFile));
    EXPECT_EQ(h.source().saveAll(), 0u);

    commit(h.source(), kUnknownKeys);
    ASSERT_TRUE(addWord(h.source(), "ka2", "ka"));
    EXPECT_EQ(h.source().saveAll(), I_DBSource::SAVED_USER_DB | I_DBSource::SAVED_LEARN_DB);
}

TEST(DBSource, EndingSavesBothDictionariesAndTheNextOneLoadsThem) {
    C_SystemDictFixture system("");
    C_TempFolder folder;
    {
        auto source = makeDBSource(*system.m_db, folder.path());
        ASSERT_TRUE(addWord(*source, "ka1", "ka"));
        commit(*source, kUnknownKeys);
    }
    ASSERT_TRUE(fs::exists(folder.path() / "user-db.tab"));
    ASSERT_TRUE(fs::exists(folder.path() / "learn-db.tab"));
    auto source = makeDBSource(*system.m_db, folder.path());
    EXPECT_TRUE(inUserDB(*source, "ka1", "ka"));
    EXPECT_EQ(learnDB(*source).lockTables().candiPool().keys2words.count(kUnknownKeys), 1u);
    EXPECT_EQ(source->saveAll(), 0u);
}

TEST(DBSource, DamagedFilesLoadWhatTheyCanAndAreKeptBeforeTheyAreSavedOver) {
    // A rule element of a kind no version writes: the load stops there, the server goes on.
    C_UserDbFixture f = sampleUserDb();
    f.rules = {ruleRecord(0, 0, {std::string(1, '\x03')})};
    for (const char* name : {"user-db.tab", "learn-db.tab"}) {
        SCOPED_TRACE(name);
        C_SystemDictFixture system("");
        C_TempFolder folder;
        folder.write(name, f.bytes());
        auto source = makeDBSource(*system.m_db, folder.path());
        const bool user = std::string_view(name) == "user-db.tab";
        EXPECT_FALSE(user ? source->userDB().loaded() : learnDB(*source).loaded());
        EXPECT_NE((user ? source->userDB().error() : learnDB(*source).error())
                      .text.find("unknown element kind 3"),
                  std::string::npos);
        if (user)
            ASSERT_TRUE(addWord(*source, "ka1", "ka"));
        else
            commit(*source, kUnknownKeys);
        EXPECT_EQ(source->saveAll(), user ? I_DBSource::SAVED_USER_DB : I_DBSource::SAVED_LEARN_DB);
        EXPECT_EQ(readFile(folder.path() / (std::string(name) + ".bad")), f.bytes());
    }
}

TEST(DBSource, ChangeOnAnotherThreadReachesTheSessionsThroughTheLoop) {
    C_SessionHarness h;
    auto& client = h.connect();
    client.open("no-ime");
    std::thread([&h] { addWord(h.source(), "ka1", "ka"); }).join();
    EXPECT_EQ(client.receive(1),
              std::vector<json>({{{"event", "user-db-changed"}, {"kind", VOC_ADDED}}}));
    std::thread([&h] { h.source().userDB().eraseWord("ka1", 'T', "ka"); }).join();
    EXPECT_EQ(client.receive(1),
              std::vector<json>({{{"event", "user-db-changed"}, {"kind", VOC_ERASED}}}));
}

TEST(DBSource, PromotionByTheLearningThreadReachesEveryOpenSession) {
    C_SessionHarness::S_Options options;
    options.tables = &serverTablesWithTestCommands();
    C_SessionHarness h(options);
    auto& typist = h.connect();
    auto& other = h.connect();
    auto& unopened = h.connect();
    ASSERT_EQ(typist.open("ime")["ok"], true);
    ASSERT_EQ(other.open("no-ime")["ok"], true);
    for (int i = 0; i < kCommitsToPromote; ++i) {
        // Each line is learned on the learning thread before the next is typed, so that the
        // next composition shows the word learned.
        // The committing session hears the line popped before the reply.
        const auto frames = typist.exchange(command("test-commit", {{"keys", kUnknownKeys}}));
        ASSERT_EQ(frames.size(), 2u);
        EXPECT_EQ(frames.front()["event"], "pop-front");
        EXPECT_EQ(frames.back()["ok"], true);
        if (i + 1 < kCommitsToPromote) {
            EXPECT_EQ(typist.request(command("test-learned"))["result"], true);
        }
    }
    const json event = {{"event", "user-db-changed"}, {"kind", VOC_ADDED}};
    EXPECT_EQ(typist.receive(1, 10s), std::vector<json>{event});
    EXPECT_EQ(other.receive(1, 10s), std::vector<json>{event});
    EXPECT_TRUE(unopened.silent());
    EXPECT_TRUE(inUserDB(h.source(), kUnknownKeys, kUnknownWord));
    EXPECT_EQ(typist.request(command("test-learned")), json({{"ok", true}, {"result", true}}));
    EXPECT_TRUE(typist.silent());
}

TEST(DBSource, PromotionAfterTheLoopIsGoneIsDroppedSafely) {
    C_SystemDictFixture system("");
    C_TempFolder folder;
    auto source = makeDBSource(*system.m_db, folder.path());
    {
        asio::io_context loop;
        attachServerLoop(loop);
        EXPECT_TRUE(stopServerLoop());
        detachServerLoop(loop);
    }
    for (int i = 0; i < kCommitsToPromote; ++i)
        commit(*source, kUnknownKeys);
    EXPECT_TRUE(inUserDB(*source, kUnknownKeys, kUnknownWord));
    EXPECT_FALSE(postToServerLoop([] {}));
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
