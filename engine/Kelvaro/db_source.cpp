#include "engine/Kelvaro/db_source.h"

#include <array>
#include <mutex>
#include <string>

#include <nlohmann/json.hpp>

#include "engine/Kelvaro/server_loop.h"
#include "engine/Kelvaro/session.h"
#include "engine/compose/learner.h"
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

class C_DBSource final : public I_DBSource {
public:
    C_DBSource(const I_TailoDB& sysDB, const std::filesystem::path& userFolder)
        : m_sysDB(sysDB), m_userDB(userFolder / "user-db.tab", sysDB) {
        // The learning dictionary ("learn-db.tab", with m_userDB as its upper dictionary and
        // g_myPolicy as its policy) stands between the input lines and m_userDB once it is
        // built; until then the chain starts at the user dictionary and nothing learns.
        m_userDB.addListener(kListenerId, [](E_UserTailoChange kind) { onUserDbChange(kind); });
    }
    ~C_DBSource() override { m_userDB.removeListener(kListenerId); }

    const I_TailoDB& tailoDB() override { return m_userDB; }
    C_UserTailoDB& userDB() override { return m_userDB; }
    const I_Learner* learner() override { return nullptr; }
    unsigned saveAll() override {
        unsigned written = 0;
        if (m_userDB.save())
            written |= 1;
        return written;
    }

private:
    const I_TailoDB& m_sysDB;
    C_UserTailoDB m_userDB;
};

}  // namespace

std::unique_ptr<I_DBSource> makeDBSource(const I_TailoDB& sysDB,
                                         const std::filesystem::path& userFolder) {
    return std::make_unique<C_DBSource>(sysDB, userFolder);
}

const I_LearnPolicy& serverPolicy() { return g_myPolicy; }

}  // namespace kov
