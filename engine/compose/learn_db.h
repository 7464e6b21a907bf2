#pragma once
// The learning dictionary ("learn-db.tab") and the one learning thread of the process.
//
// It is the top of the dictionary chain: input lines search it, and a query passes through it
// to the user dictionary and from there to the system dictionary. Committed lines arrive as
// jobs through I_Learner::enqueue; the learning thread takes them one at a time, lets the engine
// compose the same units again by itself, compares that with what the user committed, learns
// weighted rules and words where they differ, counts the words and rules the user keeps using,
// and hands those that ripen to the user dictionary. When idle it trims its tables to the
// policy's limits. Destroying it finishes the job in hand, drops the rest of the queue, trims
// the tables and saves the file when it changed.
//
// Locks: the queue lock (learn_db.cpp) guards the queue and the stop flag and is held only to wait,
// push and pop; the dictionary lock (lockTables(), lockTables_()) guards the tables and is held
// around each change of them; it may be held while the user dictionary's lock is taken
// (promotions), never the reverse. The queue lock is never taken under a dictionary lock.
//
// Not responsible for: composing lines (C_InputLine), what the user dictionary does with a
// promotion (its listeners), or when the files are saved besides shutdown.

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "engine/compose/learner.h"
#include "engine/compose/snapshot.h"
#include "engine/dict/user_db.h"
#include "engine/dict/user_db_layer.h"

namespace kov {

class C_LearnTailoDB : public C_UserTailoMixin, public I_Learner, public I_UserTailoDbErasor {
public:
    // Loads dbFile (see C_UserTailoMixin) over the user dictionary, which also receives the
    // promotions, and starts the learning thread. policy gives the log sink and the six limits.
    // Throws std::system_error when the thread cannot be started.
    C_LearnTailoDB(const std::filesystem::path& dbFile, I_UserTailoDB& upper,
                   const I_LearnPolicy& policy);
    ~C_LearnTailoDB() override;

    // Takes the job (the pointer is empty afterwards) to the back of the queue and wakes the
    // thread; a null job is ignored. Never waits for learning; the queue has no bound.
    void enqueue(std::unique_ptr<C_InputLineSnapshot>& job) const override;

    // I_TailoDB, as the mixin answers. The learning thread takes the dictionary lock only while
    // none of these runs and the session has been quiet for a moment, so that typing does not
    // wait behind a run of learning steps.
    void getRelatedChoices(const C_VisitConsts& consts, const C_StdIsle& isle,
                           const FC_RelatedSink& sink) const override;
    void getIslandVocs(const C_VisitConsts& consts, const C_StdIsle& isle,
                       const FC_UnitAt& unitAt) const override;
    void addKeyVocs(C_CompoUnit& unit, std::string_view key, bool capital) const override;
    void visitCatRules(std::span<const uint8_t> cats, const FC_RuleVisitor& visit) const override;
    void visitWordRules(const std::string& text, const std::vector<std::string>& keys,
                        const FC_RuleVisitor& visit) const override;
    void voc2tailos(std::string_view hanWord, const FC_ReadingSink& reading) const override;

    // Remove an entry of the learning tables; true when one was removed. No listener is told.
    bool eraseHantTailo(const std::string& hant, const std::string& tailo) override;
    bool eraseWord(const std::string& key, char type, const std::string& word) override;
    bool eraseVoc(const std::vector<std::string>& keys, char type,
                  const std::string& word) override;

    // Waits until the queue is empty and the thread has nothing in hand (no job, no pending
    // trim); false when that did not happen within timeout. Without a thread: whether the
    // queue is empty.
    bool waitIdle(std::chrono::milliseconds timeout) const;
    // The number of jobs waiting in the queue.
    size_t queuedJobs() const;

protected:
    // What the thread does with each job; by default it learns it.
    using FC_JobProcessor = std::function<void(C_InputLineSnapshot&)>;
    struct C_ThreadOptions {
        bool m_startThread = true;  // false: jobs wait until runQueuedJobs is called
        FC_JobProcessor m_process;  // empty: learnJob
    };
    C_LearnTailoDB(const std::filesystem::path& dbFile, I_UserTailoDB& upper,
                   const I_LearnPolicy& policy, C_ThreadOptions options);

    // Learns one committed line: the rules and words where the engine's own composition differs
    // from it, then the counting steps. Throws std::logic_error and std::runtime_error on
    // inconsistent jobs (the thread logs them and drops the job).
    void learnJob(C_InputLineSnapshot& job);
    // Trims the tables to the policy's limits when something was added since the last trim.
    void purge();
    // Without a thread: takes the queued jobs one by one and does with each what the thread
    // would (exceptions caught and logged), then trims; the number of jobs taken.
    size_t runQueuedJobs();
    // True once the destructor asked the thread to stop; waits up to timeout for that.
    bool waitStopRequested(std::chrono::milliseconds timeout) const;

    // The dictionary lock as the learning side takes it; on the learning thread, first leaving
    // the session's queries their turn. Never called with the lock already held.
    C_TablesLock lockTables_() const;

    const I_LearnPolicy& policy() const { return *m_policy; }
    bool purgePending() const { return m_purgePending; }

private:
    class C_JobLearning;  // one job's generations (learn_job.cpp)

    class C_SessionQuery;  // counts a query of the session thread while it runs

    void learningThread();
    // One job (or, for null, the trim) as the thread runs it: exceptions logged, never thrown.
    void runPass_(std::unique_ptr<C_InputLineSnapshot> job);
    void purgeQuietly_() noexcept;
    void log_(int level, const std::string& text) const;

    // The counting steps (learn_vocs.cpp); the caller holds the dictionary lock.
    void approveVocs(const std::vector<C_Winner>& winners);
    void approveVoc_(const std::vector<std::string>& keys, char type, const std::string& text);
    void disapproveVocs_(const C_InputLineSnapshot& job);
    void disapproveVoc_(const std::vector<std::string>& keys, char type, const std::string& text);
    void ripenRules_(const C_RuleMatches& matches);
    void learnAdhocTailos_(const std::vector<C_Winner>& winners);
    void learnAdhocTailo(const std::string& tailo);
    // Marks the tables changed and a trim due.
    void markLearned_() {
        markDirty_();
        m_purgePending = true;
    }

    I_UserTailoDB& m_upper;
    const I_LearnPolicy* m_policy;
    bool m_purgePending = false;  // the learning thread's own (the destructor's after the join)
    struct C_JobQueue;            // the job queue and the learning thread (learn_db.cpp)
    const std::unique_ptr<C_JobQueue> m_jobs;
    FC_JobProcessor m_process;
};

}  // namespace kov
