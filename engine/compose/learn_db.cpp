// The learning dictionary's job queue, its thread, its erasors, the trim and the shutdown.

#include "engine/compose/learn_db.h"

#include <atomic>
#include <condition_variable>
#include <deque>
#include <exception>
#include <mutex>
#include <thread>
#include <utility>

#include "qiv/exception_text.h"

namespace kov {

namespace {

const char* const kReviveText = "Caught & revive the learning thread:";

}  // namespace

namespace {

int64_t steadyNanoseconds() {
    return std::chrono::duration_cast<std::chrono::nanoseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

// The learning thread leaves the dictionary lock to the session until the session has asked
// nothing for this long, and waits at most this long.
constexpr auto kSessionQuiet = std::chrono::milliseconds(1);
constexpr auto kMostDeferred = std::chrono::milliseconds(50);

}  // namespace

// The queue of committed lines and the thread that learns them, with what the thread and the
// session tell each other.
struct C_LearnTailoDB::C_JobQueue {
    std::mutex m_lock;                 // guards the queue and the two flags
    std::condition_variable m_signal;  // a job, a trim or the stop is due
    std::condition_variable m_idleSignal;
    std::thread m_thread;
    std::deque<std::unique_ptr<C_InputLineSnapshot>> m_queue;
    bool m_stop = false;                        // under m_lock
    bool m_idle = false;                        // under m_lock: the thread waits with nothing to do
    std::atomic<uint32_t> m_sessionQueries{0};  // session queries under way
    std::atomic<int64_t> m_lastSessionQuery{0};  // when the last one ended (steady ns)
};

class C_LearnTailoDB::C_SessionQuery {
public:
    explicit C_SessionQuery(const C_LearnTailoDB& db) : m_db(db) {
        m_db.m_jobs->m_sessionQueries.fetch_add(1, std::memory_order_acq_rel);
    }
    ~C_SessionQuery() {
        m_db.m_jobs->m_lastSessionQuery.store(steadyNanoseconds(), std::memory_order_relaxed);
        m_db.m_jobs->m_sessionQueries.fetch_sub(1, std::memory_order_acq_rel);
    }
    C_SessionQuery(const C_SessionQuery&) = delete;
    C_SessionQuery& operator=(const C_SessionQuery&) = delete;

private:
    const C_LearnTailoDB& m_db;
};

C_UserTailoMixin::C_TablesLock C_LearnTailoDB::lockTables_() const {
    // A mutex lets the thread that just released it take it again before a waiting thread has
    // woken up, so a learner going from one learning step to the next would keep a typing
    // session waiting through all of them, and each wait costs a wake-up. The learning thread
    // therefore takes the lock between the session's compositions: once the session has been
    // quiet for a moment, or after waiting long enough. Other threads (a test driving the
    // learner, the destructor) take it at once.
    if (std::this_thread::get_id() == m_jobs->m_thread.get_id()) {
        const auto start = std::chrono::steady_clock::now();
        for (;;) {
            std::chrono::nanoseconds wait = kSessionQuiet;
            if (m_jobs->m_sessionQueries.load(std::memory_order_acquire) == 0) {
                const std::chrono::nanoseconds since(
                    steadyNanoseconds() -
                    m_jobs->m_lastSessionQuery.load(std::memory_order_relaxed));
                if (since >= kSessionQuiet)
                    break;
                wait = kSessionQuiet - since;
            }
            if (std::chrono::steady_clock::now() - start >= kMostDeferred)
                break;
            std::this_thread::sleep_for(wait);
        }
    }
    return C_TablesLock(*this);
}

void C_LearnTailoDB::getRelatedChoices(const C_VisitConsts& consts, const C_StdIsle& isle,
                                       const FC_RelatedSink& sink) const {
    C_SessionQuery query(*this);
    C_UserTailoMixin::getRelatedChoices(consts, isle, sink);
}

void C_LearnTailoDB::getIslandVocs(const C_VisitConsts& consts, const C_StdIsle& isle,
                                   const FC_UnitAt& unitAt) const {
    C_SessionQuery query(*this);
    C_UserTailoMixin::getIslandVocs(consts, isle, unitAt);
}

void C_LearnTailoDB::addKeyVocs(C_CompoUnit& unit, std::string_view key, bool capital) const {
    C_SessionQuery query(*this);
    C_UserTailoMixin::addKeyVocs(unit, key, capital);
}

void C_LearnTailoDB::visitCatRules(std::span<const uint8_t> cats,
                                   const FC_RuleVisitor& visit) const {
    C_SessionQuery query(*this);
    C_UserTailoMixin::visitCatRules(cats, visit);
}

void C_LearnTailoDB::visitWordRules(const std::string& text, const std::vector<std::string>& keys,
                                    const FC_RuleVisitor& visit) const {
    C_SessionQuery query(*this);
    C_UserTailoMixin::visitWordRules(text, keys, visit);
}

void C_LearnTailoDB::voc2tailos(std::string_view hanWord, const FC_ReadingSink& reading) const {
    C_SessionQuery query(*this);
    C_UserTailoMixin::voc2tailos(hanWord, reading);
}

C_LearnTailoDB::C_LearnTailoDB(const std::filesystem::path& dbFile, I_UserTailoDB& upper,
                               const I_LearnPolicy& policy)
    : C_LearnTailoDB(dbFile, upper, policy, C_ThreadOptions{}) {}

C_LearnTailoDB::C_LearnTailoDB(const std::filesystem::path& dbFile, I_UserTailoDB& upper,
                               const I_LearnPolicy& policy, C_ThreadOptions options)
    : C_UserTailoMixin(dbFile, upper),
      m_upper(upper),
      m_policy(&policy),
      m_jobs(std::make_unique<C_JobQueue>()),
      m_process(std::move(options.m_process)) {
    if (options.m_startThread)
        m_jobs->m_thread = std::thread([this] { learningThread(); });
}

C_LearnTailoDB::~C_LearnTailoDB() {
    if (m_jobs->m_thread.joinable()) {
        {
            std::lock_guard lock(m_jobs->m_lock);
            m_jobs->m_stop = true;
        }
        m_jobs->m_signal.notify_all();
        // No dictionary lock is held here: the job in hand may still promote into the user
        // dictionary, which takes this dictionary's lock and then the user dictionary's.
        m_jobs->m_thread.join();
    }
    std::deque<std::unique_ptr<C_InputLineSnapshot>> dropped;
    {
        std::unique_lock lock(m_jobs->m_lock);
        if (!m_jobs->m_queue.empty()) {
            dropped.swap(m_jobs->m_queue);
            lock.unlock();
            try {
                log_(2, "Learning thread is stopped with " + std::to_string(dropped.size()) +
                            " jobs in queue");
            } catch (...) {
            }
            purgeQuietly_();
        } else {
            purgeQuietly_();
        }
    }
    // The jobs left go unlearned here; the mixin saves the file when the tables changed.
}

void C_LearnTailoDB::enqueue(std::unique_ptr<C_InputLineSnapshot>& job) const {
    if (!job)
        return;
    {
        std::lock_guard lock(m_jobs->m_lock);
        m_jobs->m_queue.push_back(std::move(job));
    }
    m_jobs->m_signal.notify_one();
}

void C_LearnTailoDB::log_(int level, const std::string& text) const { m_policy->log(level, text); }

void C_LearnTailoDB::learningThread() {
    try {
        log_(4, "Enter learning thread");
    } catch (...) {
    }
    for (;;) {
        std::unique_ptr<C_InputLineSnapshot> job;
        try {
            std::unique_lock lock(m_jobs->m_lock);
            const auto ready = [this] {
                return m_purgePending || !m_jobs->m_queue.empty() || m_jobs->m_stop;
            };
            if (!ready()) {
                m_jobs->m_idle = true;
                m_jobs->m_idleSignal.notify_all();
                m_jobs->m_signal.wait(lock, ready);
                m_jobs->m_idle = false;
            }
            // Jobs still queued when the stop comes stay for the destructor to drop.
            if (m_jobs->m_stop)
                break;
            if (!m_jobs->m_queue.empty()) {
                job = std::move(m_jobs->m_queue.front());
                m_jobs->m_queue.pop_front();
            }
        } catch (const std::exception& e) {
            // Waiting failed: nothing was taken; try again.
            try {
                log_(1, kReviveText + qiv::exceptionText(e));
            } catch (...) {
            }
            continue;
        }
        runPass_(std::move(job));
    }
    {
        std::lock_guard lock(m_jobs->m_lock);
        m_jobs->m_idle = true;
    }
    m_jobs->m_idleSignal.notify_all();
    try {
        log_(4, "Leave learning thread");
    } catch (...) {
    }
}

void C_LearnTailoDB::runPass_(std::unique_ptr<C_InputLineSnapshot> job) {
    try {
        if (!job)
            purge();
        else if (m_process)
            m_process(*job);
        else
            learnJob(*job);
        job.reset();
    } catch (const std::exception& e) {
        // The job is dropped; what it stored before the throw stays.
        job.reset();
        try {
            log_(1, kReviveText + qiv::exceptionText(e));
        } catch (...) {
        }
    } catch (...) {
        job.reset();
        try {
            log_(1, std::string(kReviveText) + "unknown exception");
        } catch (...) {
        }
    }
}

size_t C_LearnTailoDB::runQueuedJobs() {
    size_t n = 0;
    for (;;) {
        std::unique_ptr<C_InputLineSnapshot> job;
        {
            std::lock_guard lock(m_jobs->m_lock);
            if (m_jobs->m_queue.empty())
                break;
            job = std::move(m_jobs->m_queue.front());
            m_jobs->m_queue.pop_front();
        }
        runPass_(std::move(job));
        ++n;
    }
    if (m_purgePending)
        runPass_(nullptr);
    return n;
}

bool C_LearnTailoDB::waitIdle(std::chrono::milliseconds timeout) const {
    std::unique_lock lock(m_jobs->m_lock);
    if (!m_jobs->m_thread.joinable())
        return m_jobs->m_queue.empty();
    return m_jobs->m_idleSignal.wait_for(
        lock, timeout, [this] { return m_jobs->m_idle && m_jobs->m_queue.empty(); });
}

size_t C_LearnTailoDB::queuedJobs() const {
    std::lock_guard lock(m_jobs->m_lock);
    return m_jobs->m_queue.size();
}

bool C_LearnTailoDB::waitStopRequested(std::chrono::milliseconds timeout) const {
    std::unique_lock lock(m_jobs->m_lock);
    return m_jobs->m_signal.wait_for(lock, timeout, [this] { return m_jobs->m_stop; });
}

bool C_LearnTailoDB::eraseHantTailo(const std::string& hant, const std::string& tailo) {
    const C_TablesLock lock(*this);
    const bool done = m_candiPool.erase_hant2tailo(hant, tailo);
    if (done)
        markDirty_();
    return done;
}

bool C_LearnTailoDB::eraseWord(const std::string& key, char type, const std::string& word) {
    const C_TablesLock lock(*this);
    const bool done = m_candiPool.erase_keys_word(key, type, word);
    if (done)
        markDirty_();
    return done;
}

bool C_LearnTailoDB::eraseVoc(const std::vector<std::string>& keys, char type,
                              const std::string& word) {
    const C_TablesLock lock(*this);
    const bool done = m_candiPool.erase_karray_voc(keys, type, word);
    if (done)
        markDirty_();
    return done;
}

void C_LearnTailoDB::purge() {
    if (!m_purgePending)
        return;
    const auto lock = lockTables_();
    m_purgePending = false;
    const auto trimmed = [this](size_t n, const char* what) {
        if (n == 0)
            return;
        markDirty_();
        log_(3, "Purged " + std::to_string(n) + " " + what + " from learning DB");
    };
    trimmed(m_rules.purge(size_t(m_policy->getLimit(MAX_RULES))), "rules");
    trimmed(m_candiPool.purge_vocs(size_t(m_policy->getLimit(MAX_VOCS))), "vocs");
    trimmed(m_candiPool.purge_words(size_t(m_policy->getLimit(MAX_WORDS))), "words");
}

void C_LearnTailoDB::purgeQuietly_() noexcept {
    try {
        purge();
    } catch (const std::exception& e) {
        try {
            log_(1, "Failed to purge learning DB: " + qiv::exceptionText(e));
        } catch (...) {
        }
    } catch (...) {
    }
}

}  // namespace kov
