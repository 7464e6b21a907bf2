#include "engine/Kelvaro/companion_commands.h"

#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <utility>

#include "engine/Kelvaro/command_table.h"
#include "engine/Kelvaro/server_loop.h"
#include "engine/Kelvaro/session.h"
#include "engine/Kelvaro/settings_file.h"

namespace kov {

namespace {

using nlohmann::json;

// The services lent by the scope of the run; touched on the event loop's thread only.
std::optional<C_CompanionServices> g_services;

const C_CompanionServices& services() {
    if (!g_services)
        throw std::logic_error("Companion programs and settings are not set up");
    return *g_services;
}

C_CompanionContext companionContext(const C_Session& session) {
    const C_CompanionServices& s = services();
    if (!s.m_launcher)
        throw std::logic_error("Companion programs are not set up");
    const json& config = session.config();
    return C_CompanionContext{config.is_null() ? nullptr : &config, s.m_serverExePath,
                              s.m_launcher};
}

std::filesystem::path userFolder() {
    const C_CompanionServices& s = services();
    if (!s.m_userFolder)
        throw std::logic_error("The per-user folder is not set up");
    return s.m_userFolder();
}

void preferences(C_Session& session, const json&, json& reply) {
    runPreferences(
        companionContext(session), [](const std::string& event) { broadcastToSessions(event); },
        reply);
}

void about(C_Session& session, const json&, json& reply) {
    runAbout(companionContext(session), reply);
}

void editUserDict(C_Session& session, const json&, json& reply) {
    runEditUserDict(companionContext(session), reply);
}

void checkRelease(C_Session& session, const json& request, json& reply) {
    runCheckRelease(request, companionContext(session), reply);
}

void getPreferences(C_Session&, const json&, json& reply) {
    kov::getPreferences(userFolder(), reply);
}

void notifyReleaseChecked(C_Session&, const json& request, json& reply) {
    kov::notifyReleaseChecked(request, userFolder(), reply);
}

}  // namespace

C_CompanionServicesScope::C_CompanionServicesScope(C_CompanionServices services) {
    if (g_services)
        throw std::logic_error("Companion services lent twice");
    g_services = std::move(services);
}

C_CompanionServicesScope::~C_CompanionServicesScope() { g_services.reset(); }

FC_PostToLoop serverLoopPoster() {
    return [](FC_CompanionExit done) {
        // The loop takes copyable work; the callback is move-only.
        auto shared = std::make_shared<FC_CompanionExit>(std::move(done));
        return postToServerLoop([shared] { (*shared)(); });
    };
}

void registerCompanionCommands(C_CommandTables& tables) {
    tables.add(C_CommandTables::SESSION, "run-preferences", preferences);
    tables.add(C_CommandTables::SESSION, "about", about);
    tables.add(C_CommandTables::SESSION, "edit-user-dict", editUserDict);
    tables.add(C_CommandTables::SESSION, "check-release", checkRelease);
    tables.add(C_CommandTables::SESSION, "get-preferences", getPreferences);
    tables.add(C_CommandTables::SESSION, "notify-release-checked", notifyReleaseChecked);
}

}  // namespace kov
