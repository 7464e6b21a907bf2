// The companion programs: a preferences editor, an about box, a user-dictionary editor and a
// release checker, separate programs named in the server's configuration. On the front end's
// command the server starts one, or, while it runs, brings its window to the front; a waiter
// thread per running companion notices when it ends and, when it ended with exit code 0, hands
// the companion's completion callback to the event loop.
//
// The launcher does not know the event loop: it is given a function that posts a callable to
// the loop and refuses once the loop is gone, so a waiter that outlives the loop never touches
// it. The command functions at the end turn a request into the members of its reply; the
// session only registers them.
//
// Not responsible for: the sessions, broadcasting events, or what the companions do.
#pragma once

#include <array>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include <nlohmann/json.hpp>

#include "qiv/move_only_function.h"

namespace kov {

enum E_Companion : uint8_t {
    COMPANION_PREFERENCES,
    COMPANION_ABOUT,
    COMPANION_EDIT_USER_DICT,
    COMPANION_CHECK_RELEASE,
    COMPANION_COUNT
};

// The configuration key that names the companion's program: "preferences", "about",
// "edit-user-dict" or "check-release".
std::string_view companionConfigKey(E_Companion which);

// Runs on the event loop after its companion ended with exit code 0.
using FC_CompanionExit = std_move_only_function<void()>;

// Hands a callable to the event loop, where it runs later. Returns false, and drops the
// callable without running it, once the loop is stopped or gone. Called from the waiter
// threads at any time, so it must be safe to call from any thread.
using FC_PostToLoop = std_move_only_function<bool(FC_CompanionExit) const>;

class C_CompanionSlot;

// The four companion slots. Each slot holds at most one running program and the waiter thread
// of its last start.
class C_CompanionLauncher {
public:
    explicit C_CompanionLauncher(FC_PostToLoop post);
    // Asks every waiter to stop and joins it (within about 100 ms). A companion that still
    // runs is left running; its callback never runs.
    ~C_CompanionLauncher();
    C_CompanionLauncher(const C_CompanionLauncher&) = delete;
    C_CompanionLauncher& operator=(const C_CompanionLauncher&) = delete;

    // Starts the companion, or brings it to the front when it runs, and writes "ok" (and
    // "error" on failure) into reply. config is the server's configuration (null or not an
    // object: "Missed configuration"); the program is the configured path, taken relative to
    // the folder of serverExePath (empty: "Fail to get server path"). A failed start answers
    // "Launch error <code> on path \"<program>\"". onExit may be empty; arguments, when
    // given, go on the program's command line (platform/process.h).
    void launch(E_Companion which, const nlohmann::json* config,
                const std::filesystem::path& serverExePath, nlohmann::json& reply,
                FC_CompanionExit onExit = {}, std::optional<std::string_view> arguments = {});

    // True while the companion's slot holds a program (started and not yet seen to end).
    bool isRunning(E_Companion which) const;

private:
    FC_PostToLoop m_post;  // declared before the slots, so it outlives their waiters
    std::array<std::unique_ptr<C_CompanionSlot>, COMPANION_COUNT> m_slots;
};

// What the companion commands need from the server.
struct C_CompanionContext {
    const nlohmann::json* m_config = nullptr;  // the server's configuration, null when none
    std::filesystem::path m_serverExePath;     // the server program's path, empty when unknown
    C_CompanionLauncher* m_launcher = nullptr;
};

// The text of the "prefs-changed" event: {"event":"prefs-changed"}.
std::string prefsChangedEvent();

// Sends an event text to every open session; runs on the event loop.
using FC_Broadcast = std_move_only_function<void(const std::string& eventText)>;

// "run-preferences": the preferences editor; when it ends with exit code 0,
// broadcast(prefsChangedEvent()) runs on the event loop.
void runPreferences(const C_CompanionContext& context, FC_Broadcast broadcast,
                    nlohmann::json& reply);
// "about" and "edit-user-dict".
void runAbout(const C_CompanionContext& context, nlohmann::json& reply);
void runEditUserDict(const C_CompanionContext& context, nlohmann::json& reply);
// "check-release": the release checker, with the argument "auto" exactly when the request's
// "auto" is the boolean true.
void runCheckRelease(const nlohmann::json& request, const C_CompanionContext& context,
                     nlohmann::json& reply);

}  // namespace kov
