// The commands of the companion programs and of the front end's settings file: "run-preferences",
// "about", "edit-user-dict" and "check-release" start a companion program (or bring it to the
// front), "get-preferences" and "notify-release-checked" read and update "Brumeli.json" in the
// per-user folder. They serve every open session; registerCompanionCommands
// (command_groups.cpp) puts them in the table. When the preferences program ends with exit
// code 0, every open session receives "prefs-changed".
//
// Start-up makes the launcher and lends it to the commands, with the server program's path and
// the per-user folder, for the run (C_CompanionServicesScope); the scope is made and ended on
// the event loop's thread while the loop does not run.
//
// Not responsible for: starting and watching the programs (C_CompanionLauncher), the file's
// form (settings_file.h), broadcasting (broadcastToSessions).
#pragma once

#include <filesystem>
#include <functional>

#include "engine/Kelvaro/companions.h"

namespace kov {

struct C_CompanionServices {
    C_CompanionLauncher* m_launcher = nullptr;
    std::filesystem::path m_serverExePath;  // empty when unknown
    // The per-user folder, looked up anew for each settings request (it may throw).
    std::function<std::filesystem::path()> m_userFolder;
};

// Lends services to the commands until it ends. One at a time.
class C_CompanionServicesScope {
public:
    explicit C_CompanionServicesScope(C_CompanionServices services);
    ~C_CompanionServicesScope();
    C_CompanionServicesScope(const C_CompanionServicesScope&) = delete;
    C_CompanionServicesScope& operator=(const C_CompanionServicesScope&) = delete;
};

// The launcher's way to the server's event loop (server_loop.h): a completion callback is
// posted there, and refused once the loop is stopped or gone.
FC_PostToLoop serverLoopPoster();

}  // namespace kov
