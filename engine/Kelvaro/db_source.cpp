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

// The chain every input line searches: learning dictionary -> user dictionary -> system
// dictionary. Members are destroyed in reverse order: the learning dictionary (its thread
// stopped and joined, then saved) before the user dictionary (saved), so the learner never
// promotes into a destroyed user dictionary.
class C_DBSource final : public I_DBSource {
public:
    C_DBSource(const I_TailoDB& sysDB, const std::filesystem::path& userFolder)
        : m_userDB(userFolder / "user-db.tab", sysDB),
          m_learnDB(userFolder / "learn-db.tab", m_userDB, g_myPolicy) {
        m_userDB.addListener(kListenerId, [](E_UserTailoChange kind) { onUserDbChange(kind); });
    }
    // Unsubscribes first: what the learning thread still promotes while it stops raises no
    // event.
    ~C_DBSource() override { m_userDB.removeListener(kListenerId); }

    const I_TailoDB& tailoDB() override { return m_learnDB; }
    C_UserTailoDB& userDB() override { return m_userDB; }
    const I_Learner* learner() override { return &m_learnDB; }
    unsigned saveAll() override {
        unsigned written = 0;
        if (m_userDB.save())
            written |= SAVED_USER_DB;
        if (m_learnDB.save())
            written |= SAVED_LEARN_DB;
        return written;
    }

private:
    C_UserTailoDB m_userDB;
    C_LearnTailoDB m_learnDB;
};

}  // namespace

std::unique_ptr<I_DBSource> makeDBSource(const I_TailoDB& sysDB,
                                         const std::filesystem::path& userFolder) {
    return std::make_unique<C_DBSource>(sysDB, userFolder);
}

const I_LearnPolicy& serverPolicy() { return g_myPolicy; }

}  // namespace kov
