// The learning dictionary's thread and queue: jobs in arrival order, a trim once the queue is
// empty, jobs that throw, shutdown with jobs queued and with a job in hand, and the erasors.
// Ordering is made by latches and waitIdle; their timeouts only guard against a hang.

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <stdexcept>
#include <string>
#include <vector>

#include "qiv/exception_text.h"
#include "tests/compose/job_fixture.h"

namespace kov::test {
namespace {

using namespace std::chrono_literals;
using ::testing::ElementsAre;

constexpr auto kGuard = 10s;

// A job told apart by the number of its elements.
std::unique_ptr<C_InputLineSnapshot> job(size_t id) {
    auto snap = std::make_unique<C_InputLineSnapshot>();
    snap->m_elements = lineElements(std::string(id, 'k'));
    return snap;
}

// A one-way gate between threads.
class C_Latch {
public:
    void open() {
        {
            std::lock_guard lock(m_mutex);
            m_open = true;
        }
        m_signal.notify_all();
    }
    bool wait() {
        std::unique_lock lock(m_mutex);
        return m_signal.wait_for(lock, kGuard, [this] { return m_open; });
    }

private:
    std::mutex m_mutex;
    std::condition_variable m_signal;
    bool m_open = false;
};

// What the processor saw, in order, guarded for the two threads.
class C_Seen {
public:
    void add(size_t id) {
        std::lock_guard lock(m_mutex);
        m_ids.push_back(id);
    }
    std::vector<size_t> ids() const {
        std::lock_guard lock(m_mutex);
        return m_ids;
    }

private:
    mutable std::mutex m_mutex;
    std::vector<size_t> m_ids;
};

// The job of a line of one unit per word, which the engine composes as the user did.
std::unique_ptr<C_InputLineSnapshot> agreeingJob(const std::vector<C_Candidate>& words) {
    C_TestLine line(std::string(words.size(), 'k'));
    for (size_t i = 0; i < words.size(); ++i)
        line.add(i, words[i]);
    return std::make_unique<C_InputLineSnapshot>(commit(line));
}

class LearnDb : public ::testing::Test {
protected:
    // A learning dictionary over m_setup's user dictionary whose thread runs process.
    std::unique_ptr<C_TestLearnDB> open(C_TestLearnDB::FC_JobProcessor process) {
        m_setup.m_learn.reset();
        return std::make_unique<C_TestLearnDB>(m_setup.learnFile(), m_setup.user(),
                                               m_setup.policy(), true, std::move(process));
    }
    std::vector<std::string> texts() const {
        std::vector<std::string> out;
        for (const C_LogLine& l : m_setup.m_sys.m_policy.lines())
            out.push_back(l.m_text);
        return out;
    }

    C_LearnSetup m_setup;
};

TEST_F(LearnDb, JobsAreTakenInArrivalOrderAndANullJobIsIgnored) {
    C_Seen seen;
    auto db = open([&](C_InputLineSnapshot& s) { seen.add(s.m_elements.size()); });
    std::unique_ptr<C_InputLineSnapshot> none;
    db->enqueue(none);
    EXPECT_EQ(db->queuedJobs(), 0u);
    for (size_t id : {3, 1, 2}) {
        auto j = job(id);
        db->enqueue(j);
        EXPECT_EQ(j, nullptr);
    }
    ASSERT_TRUE(db->waitIdle(kGuard));
    EXPECT_THAT(seen.ids(), ElementsAre(3, 1, 2));
    db.reset();
    const auto lines = texts();
    const auto enter = std::find(lines.begin(), lines.end(), "Enter learning thread");
    const auto leave = std::find(lines.begin(), lines.end(), "Leave learning thread");
    EXPECT_LT(enter, leave);
    EXPECT_NE(leave, lines.end());
}

TEST_F(LearnDb, DestroyingAnIdleDictionaryEndsTheThreadTrimsAndSavesWhatChanged) {
    m_setup.policy().setLimit(MAX_WORDS, 0);
    auto db = open({});
    // A spelled word is learned: the table changes and a trim is due.
    auto j = agreeingJob({withReadings(cand("", 1, 0, ST_SPELLED, 1), {"tsi\u00e2nn"})});
    db->enqueue(j);
    ASSERT_TRUE(db->waitIdle(kGuard));
    EXPECT_TRUE(m_setup.policy().contains("Purged 1 words from learning DB", 3));
    EXPECT_TRUE(db->dirty());
    db.reset();
    EXPECT_TRUE(m_setup.policy().contains("Leave learning thread", 4));
    EXPECT_FALSE(m_setup.policy().contains("jobs in queue"));
    EXPECT_TRUE(std::filesystem::exists(m_setup.learnFile()));
    EXPECT_FALSE(m_setup.policy().contains("Failed"));
}

TEST_F(LearnDb, ShutdownFinishesTheJobInHandAndDropsTheQueueHoweverLong) {
    for (size_t queued : {3u, 10000u}) {
        m_setup.policy().clear();
        C_Latch inHand;
        C_Seen seen;
        C_TestLearnDB* self = nullptr;
        auto db = open([&](C_InputLineSnapshot& s) {
            seen.add(s.m_elements.size());
            inHand.open();
            // Finish only once the shutdown has begun.
            EXPECT_TRUE(self->waitStopRequested(kGuard));
        });
        self = db.get();
        auto first = job(1);
        db->enqueue(first);
        ASSERT_TRUE(inHand.wait());
        for (size_t i = 0; i < queued; ++i) {
            auto j = job(2);
            db->enqueue(j);
        }
        db.reset();
        EXPECT_THAT(seen.ids(), ElementsAre(1)) << queued;
        const auto stopped = m_setup.policy().find("Learning thread is stopped with ");
        ASSERT_TRUE(stopped) << queued;
        EXPECT_EQ(stopped->m_text,
                  "Learning thread is stopped with " + std::to_string(queued) + " jobs in queue");
        EXPECT_EQ(stopped->m_level, 2);
    }
}

TEST_F(LearnDb, TheJobInHandPromotesIntoTheUserDictionaryBeforeItIsSaved) {
    C_Latch inHand;
    C_TestLearnDB* self = nullptr;
    auto db = open([&](C_InputLineSnapshot& s) {
        inHand.open();
        EXPECT_TRUE(self->waitStopRequested(kGuard));
        self->learnJob(s);
    });
    self = db.get();
    {
        // A word at two approvals: the job approves it a third time and promotes it while the
        // learning dictionary is being destroyed.
        const auto lock = db->lockTables();
        db->pool().keys2words["tsiann5"].push_back(C_TailoVoc{"tsi\u00e2nn", {}, 1, 'T', {2, 100}});
    }
    auto j = agreeingJob({withReadings(cand("", 1, 1, ST_USER_EXACT, 1), {"tsi\u00e2nn"})});
    db->enqueue(j);
    ASSERT_TRUE(inHand.wait());
    db.reset();
    m_setup.m_user.reset();

    ASSERT_TRUE(std::filesystem::exists(m_setup.learnFile()));
    C_UserTailoDB user(m_setup.userFile(), *m_setup.m_sys.m_db);
    EXPECT_TRUE(user.findUserVoc({"tsiann5"}, 'T', "tsi\u00e2nn", [](const C_TailoVoc&) {}));
    C_TestLearnDB learn(m_setup.learnFile(), user, m_setup.policy());
    EXPECT_TRUE(learn.loaded());
    EXPECT_EQ(wordsAt(learn.lockTables().candiPool(), "tsiann5"), "");
}

TEST_F(LearnDb, AJobThatThrowsIsDroppedAndTheThreadGoesOn) {
    C_Seen seen;
    auto db = open([&](C_InputLineSnapshot& s) {
        seen.add(s.m_elements.size());
        if (s.m_elements.size() == 1)
            throw std::runtime_error("bad job");
        if (s.m_elements.size() == 2)
            throw 42;  // not a standard exception
    });
    for (size_t id : {1, 2, 3}) {
        auto j = job(id);
        db->enqueue(j);
    }
    ASSERT_TRUE(db->waitIdle(kGuard));
    EXPECT_THAT(seen.ids(), ElementsAre(1, 2, 3));
    const std::runtime_error bad("bad job");
    EXPECT_TRUE(m_setup.policy().contains(
        "Caught & revive the learning thread:" + qiv::exceptionText(bad), 1));
    EXPECT_TRUE(
        m_setup.policy().contains("Caught & revive the learning thread:unknown exception", 1));
}

TEST_F(LearnDb, ATrimDueWhileJobsAreQueuedRunsOnceTheQueueIsEmpty) {
    m_setup.policy().setLimit(MAX_WORDS, 1);
    C_Latch release;
    C_TestLearnDB* self = nullptr;
    auto db = open([&](C_InputLineSnapshot& s) {
        if (s.m_elements.size() == 1) {
            EXPECT_TRUE(release.wait());
        }
        self->learnJob(s);
        m_setup.policy().log(4, "job " + std::to_string(s.m_elements.size()));
    });
    self = db.get();
    // Jobs of one, two and three spelled words: each learns new words, so a trim is due.
    const char* readings[] = {"a", "ba", "pa"};
    for (size_t id = 1; id <= 3; ++id) {
        std::vector<C_Candidate> words;
        for (size_t k = 0; k < id; ++k)
            words.push_back(withReadings(cand("", 1, 0, ST_SPELLED, 1), {readings[k]}));
        auto j = agreeingJob(words);
        db->enqueue(j);
    }
    release.open();
    ASSERT_TRUE(db->waitIdle(kGuard));
    std::vector<std::string> order;
    for (const std::string& t : texts())
        if (t.rfind("job ", 0) == 0 || t.rfind("Purged", 0) == 0)
            order.push_back(t);
    EXPECT_THAT(order, ElementsAre("job 1", "job 2", "job 3", "Purged 2 words from learning DB"));
}

TEST_F(LearnDb, ErasorsRemoveEntriesAndMarkTheTablesOnlyWhenSomethingWent) {
    C_TestLearnDB& db = m_setup.learn();
    db.pool().keys2words["a1"].push_back(C_TailoVoc{"a", {}, 0, 'T', {0, 1}});
    db.pool().karr2vocs[{"a1", "a1"}].push_back(C_TailoVoc{"A", {}, 0, 'H', {0, 1}});
    db.pool().hant2tailo["A"] = {"a-a"};
    ASSERT_FALSE(db.dirty());

    EXPECT_FALSE(db.eraseWord("a1", 'H', "a"));
    EXPECT_FALSE(db.eraseVoc({"a1", "a2"}, 'H', "A"));
    EXPECT_FALSE(db.eraseHantTailo("A", "a"));
    EXPECT_FALSE(db.dirty());

    EXPECT_TRUE(db.eraseWord("a1", 'T', "a"));
    EXPECT_TRUE(db.dirty());
    EXPECT_TRUE(db.eraseVoc({"a1", "a1"}, 'H', "A"));
    EXPECT_TRUE(db.eraseHantTailo("A", "a-a"));
    EXPECT_TRUE(db.lockTables().candiPool().keys2words.empty());
    EXPECT_TRUE(db.lockTables().candiPool().karr2vocs.empty());
    EXPECT_TRUE(db.lockTables().candiPool().hant2tailo.empty());

    // Through the vocabulary command's path.
    db.pool().keys2words["a1"].push_back(C_TailoVoc{"a", {}, 0, 'T', {0, 1}});
    C_HantTailoAttr attr;
    ASSERT_EQ(classifyHantTailo("", "a", attr), UVE_OK);
    EXPECT_EQ(db.eraseUserVoc("", "a", attr), UVE_OK);
    EXPECT_EQ(db.eraseUserVoc("", "a", attr), UVE_REFUSED);
}

}  // namespace
}  // namespace kov::test
