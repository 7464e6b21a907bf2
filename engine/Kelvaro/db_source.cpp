#include "engine/Kelvaro/db_source.h"

#include <array>
#include <mutex>
#include <string>

#include <nlohmann/json.hpp>

#include "engine/Kelvaro/server_loop.h"
#include "engine/Kelvaro/session.h"
#include "engine/compose/learn_db.h"
#include "engine/dict/user_db.h"

namespace kov {

namespace {

class C_MyPolicy final : public I_LearnPolicy {
public:
    void log(int, std::string_view) const override {}
    size_t karrThreshold() const override { return 3; }
    uint64_t getLimit(E_LearnLimit kind) const override {
        std::lock_guard lock(m_mutex);
        const int k = static_cast<int>(kind);
        return k >= 0 && k < LEARN_LIMIT_COUNT ? m_limits[static_cast<size_t>(k)] : 0;
    }

private:
    mutable std::mutex m_mutex;
    const std::array<uint64_t, LEARN_LIMIT_COUNT> m_limits{1000, 500, 100, 4, 3, 3};
};

const C_MyPolicy g_myPolicy;

// The id of the database source's listener in the user dictionary, its only listener.
constexpr uint64_t kListenerId = 1;

void onUserDbChange(E_UserTailoChange kind) {
    nlohmann::json event = {{"event", "user-db-changed"}, {"kind", static_cast<int>(kind)}};
    runOnServerLoop([text = event.dump()] { broadcastToSessions(text); });
}

// The learning dictionary with its thread started or not.
class C_ChainLearnDB final : public C_LearnTailoDB {
public:
    C_ChainLearnDB(const std::filesystem::path& dbFile, I_UserTailoDB& upper,
                   const I_LearnPolicy& policy, E_LearningThread thread)
        : C_LearnTailoDB(dbFile, upper, policy,
                         C_ThreadOptions{thread == E_LearningThread::START, {}}),
          m_thread(thread) {}

    size_t runQueuedJobs() {
        return m_thread == E_LearningThread::NONE ? C_LearnTailoDB::runQueuedJobs() : 0;
    }

private:
    const E_LearningThread m_thread;
};

std::filesystem::path inFolder(const std::filesystem::path& folder, const char* name) {
    return folder.empty() ? folder : folder / name;
}

}  // namespace

// The chain every input line searches: learning dictionary -> user dictionary -> system
// dictionary. Members are destroyed in reverse order: the learning dictionary (its thread
// stopped and joined, then saved) before the user dictionary (saved).
class C_DictChain::C_Dicts {
public:
    C_Dicts(const I_TailoDB& sysDB, const std::filesystem::path& userFolder,
            const I_LearnPolicy& policy, E_LearningThread thread)
        : m_userDB(inFolder(userFolder, "user-db.tab"), sysDB),
          m_learnDB(inFolder(userFolder, "learn-db.tab"), m_userDB, policy, thread) {}

    C_UserTailoDB m_userDB;
    C_ChainLearnDB m_learnDB;
};

C_DictChain::C_DictChain(const I_TailoDB& sysDB, const std::filesystem::path& userFolder,
                         const I_LearnPolicy& policy, E_LearningThread thread)
    : m_dicts(std::make_unique<C_Dicts>(sysDB, userFolder, policy, thread)) {
    m_dicts->m_userDB.addListener(kListenerId,
                                  [](E_UserTailoChange kind) { onUserDbChange(kind); });
}

// Unsubscribes first: what the learning thread still promotes while it stops raises no event.
C_DictChain::~C_DictChain() { m_dicts->m_userDB.removeListener(kListenerId); }

const I_TailoDB& C_DictChain::tailoDB() { return m_dicts->m_learnDB; }
C_UserTailoDB& C_DictChain::userDB() { return m_dicts->m_userDB; }
const I_Learner* C_DictChain::learner() { return &m_dicts->m_learnDB; }

unsigned C_DictChain::saveAll() {
    unsigned written = 0;
    if (m_dicts->m_userDB.save())
        written |= SAVED_USER_DB;
    if (m_dicts->m_learnDB.save())
        written |= SAVED_LEARN_DB;
    return written;
}

size_t C_DictChain::runQueuedJobs() { return m_dicts->m_learnDB.runQueuedJobs(); }

std::unique_ptr<I_DBSource> makeDBSource(const I_TailoDB& sysDB,
                                         const std::filesystem::path& userFolder) {
    return std::make_unique<C_DictChain>(sysDB, userFolder, g_myPolicy, E_LearningThread::START);
}

const I_LearnPolicy& serverPolicy() { return g_myPolicy; }

}  // namespace kov
