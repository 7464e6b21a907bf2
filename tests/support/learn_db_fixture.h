#pragma once
// Test helpers for the learning dictionary: a subclass that opens its seams (learning a job and
// trimming on the calling thread, a job processor for the thread, its tables), and a stack of a
// system dictionary written per test, a user dictionary and a learning dictionary in one
// temporary folder, with the server's limits.

#include <filesystem>
#include <memory>
#include <string>
#include <string_view>

#include "engine/compose/learn_db.h"
#include "tests/support/user_db_fixture.h"

namespace kov::test {

class C_TestLearnDB : public C_LearnTailoDB {
public:
    using C_LearnTailoDB::FC_JobProcessor;

    // Without a thread unless startThread: jobs then wait for runQueuedJobs. A processor
    // replaces learning the job; it must not reach into this object's test-side state.
    C_TestLearnDB(const std::filesystem::path& dbFile, I_UserTailoDB& upper,
                  const I_LearnPolicy& policy, bool startThread = false,
                  FC_JobProcessor process = {})
        : C_LearnTailoDB(dbFile, upper, policy, C_ThreadOptions{startThread, std::move(process)}) {}

    using C_LearnTailoDB::learnJob;
    using C_LearnTailoDB::lockTables_;
    using C_LearnTailoDB::purge;
    using C_LearnTailoDB::purgePending;
    using C_LearnTailoDB::runQueuedJobs;
    using C_LearnTailoDB::waitStopRequested;

    // The tables, to plant and read records directly (hold mutex() when a thread runs).
    C_CandiPool& pool() { return m_candiPool; }
    C_RuleTable& rules() { return m_rules; }
};

// A user dictionary that can be told to refuse what the learner promotes.
class C_RefusingUserDB : public C_TestUserDB {
public:
    using C_TestUserDB::C_TestUserDB;

    bool addRule(C_RulePtr rule) override {
        return !m_refuseRules && C_TestUserDB::addRule(std::move(rule));
    }
    bool addKeysToWord(const std::string& key, char type, const std::string& word, float weight,
                       std::span<const uint8_t> cats, uint32_t count) override {
        return !m_refuseWords && C_TestUserDB::addKeysToWord(key, type, word, weight, cats, count);
    }
    bool addKarrToVoc(const std::vector<std::string>& keys, char type, const std::string& word,
                      float weight, std::span<const uint8_t> cats, uint32_t count) override {
        return !m_refuseWords && C_TestUserDB::addKarrToVoc(keys, type, word, weight, cats, count);
    }

    bool m_refuseRules = false;
    bool m_refuseWords = false;
};

// System, user and learning dictionary over "tailo.tab" bytes (empty: an empty dictionary), with
// "user-db.tab" and "learn-db.tab" in the system dictionary's folder. The policy is the system
// dictionary's, with the server's limits until a test changes them.
class C_LearnSetup {
public:
    explicit C_LearnSetup(std::string_view tailoBytes = {}, bool startThread = false);
    ~C_LearnSetup();

    // Destroys the learning and then the user dictionary (each saves when changed) and opens
    // both again from their files.
    void reopen();
    void close();

    std::filesystem::path userFile() const { return m_sys.m_folder.path() / "user-db.tab"; }
    std::filesystem::path learnFile() const { return m_sys.m_folder.path() / "learn-db.tab"; }
    C_CapturePolicy& policy() { return m_sys.m_policy; }
    C_RefusingUserDB& user() { return *m_user; }
    C_TestLearnDB& learn() { return *m_learn; }

    C_SystemDictFixture m_sys;
    std::unique_ptr<C_RefusingUserDB> m_user;
    std::unique_ptr<C_TestLearnDB> m_learn;

private:
    bool m_startThread;
};

}  // namespace kov::test
