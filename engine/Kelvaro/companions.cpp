#include "engine/Kelvaro/companions.h"

#include <charconv>
#include <chrono>
#include <exception>
#include <mutex>
#include <stop_token>
#include <thread>
#include <utility>

#include "engine/Kelvaro/request_readers.h"
#include "engine/dict/mapped_file.h"
#include "platform/process.h"

namespace kov {

// One companion program: the running program, if any, and the waiter thread of its last
// start. The waiter lets go of the program under the mutex as its last act, so a slot whose
// program is gone has a waiter that has finished (or is just returning).
class C_CompanionSlot {
public:
    C_CompanionSlot() = default;
    C_CompanionSlot(const C_CompanionSlot&) = delete;
    C_CompanionSlot& operator=(const C_CompanionSlot&) = delete;
    // The waiter uses m_process: it is stopped and joined before the members go.
    ~C_CompanionSlot() {
        if (m_waiter.joinable()) {
            m_waiter.request_stop();
            m_waiter.join();
        }
    }

    mutable std::mutex m_mutex;
    std::jthread m_waiter;
    platform::C_ChildProcess m_process;  // guarded by m_mutex; the waiter only waits on it
};

namespace {

constexpr std::chrono::milliseconds kExitPollInterval{100};

// Configuration texts are JSON strings, so UTF-8.
std::filesystem::path pathFromUtf8(const std::string& text) {
    return std::filesystem::path(std::u8string(text.begin(), text.end()));
}

std::string launchError(uint32_t code, const std::filesystem::path& program) {
    char digits[16];
    const auto end = std::to_chars(digits, digits + sizeof digits, code).ptr;
    return "Launch error " + std::string(digits, end) + " on path \"" + pathText(program) + "\"";
}

// The waiter thread of one start: polls the program every 100 ms until it ends or a stop is
// requested. Only a program that ended with exit code 0 has its callback posted to the event
// loop; in every case the slot lets go of the program at the end.
void waitCompanionExit(std::stop_token stop, C_CompanionSlot& slot, FC_CompanionExit onExit,
                       const FC_PostToLoop& post) {
    bool ended = false;
    std::optional<uint32_t> exitCode;
    while (!stop.stop_requested()) {
        const platform::E_WaitResult r = slot.m_process.waitForExit(kExitPollInterval, exitCode);
        if (r == platform::E_WaitResult::TIMEOUT)
            continue;
        ended = r == platform::E_WaitResult::EXITED;
        break;
    }
    if (ended && exitCode == 0u && onExit && !stop.stop_requested()) {
        try {
            post(std::move(onExit));
        } catch (const std::exception&) {
            // A loop that cannot take the callback any more simply misses it.
        }
    }
    std::lock_guard<std::mutex> lock(slot.m_mutex);
    slot.m_process.close();
}

}  // namespace

std::string_view companionConfigKey(E_Companion which) {
    switch (which) {
        case COMPANION_PREFERENCES:
            return "preferences";
        case COMPANION_ABOUT:
            return "about";
        case COMPANION_EDIT_USER_DICT:
            return "edit-user-dict";
        case COMPANION_CHECK_RELEASE:
            return "check-release";
        case COMPANION_COUNT:
            break;
    }
    return {};
}

C_CompanionLauncher::C_CompanionLauncher(FC_PostToLoop post) : m_post(std::move(post)) {
    for (auto& slot : m_slots)
        slot = std::make_unique<C_CompanionSlot>();
}

C_CompanionLauncher::~C_CompanionLauncher() {
    for (auto& slot : m_slots)
        slot.reset();
}

void C_CompanionLauncher::launch(E_Companion which, const nlohmann::json* config,
                                 const std::filesystem::path& serverExePath, nlohmann::json& reply,
                                 FC_CompanionExit onExit,
                                 std::optional<std::string_view> arguments) {
    C_CompanionSlot& slot = *m_slots.at(which);
    std::lock_guard<std::mutex> lock(slot.m_mutex);
    if (slot.m_process.started()) {
        // It runs: never a second one, only its window raised.
        if (slot.m_process.bringToFront() == platform::E_FrontResult::NO_PROCESS_ID)
            return setError(reply, "Failed to get process ID");
        reply["ok"] = true;
        return;
    }
    // A configuration that is not an object, or holds no string under the key, names none.
    const std::optional<std::string> configured =
        config ? getOptString(*config, companionConfigKey(which)) : std::nullopt;
    if (!configured)
        return setError(reply, "Missed configuration");
    if (serverExePath.empty())
        return setError(reply, "Fail to get server path");
    const std::filesystem::path program = serverExePath.parent_path() / pathFromUtf8(*configured);
    if (const uint32_t error = slot.m_process.start(program, arguments); error != 0)
        return setError(reply, launchError(error, program));
    try {
        // The previous waiter has finished: it let go of the program as its last act.
        slot.m_waiter =
            std::jthread(waitCompanionExit, std::ref(slot), std::move(onExit), std::cref(m_post));
    } catch (...) {
        slot.m_process.close();  // no waiter: let it go rather than hold it for ever
        throw;
    }
    reply["ok"] = true;
}

bool C_CompanionLauncher::isRunning(E_Companion which) const {
    const C_CompanionSlot& slot = *m_slots.at(which);
    std::lock_guard<std::mutex> lock(slot.m_mutex);
    return slot.m_process.started();
}

std::string prefsChangedEvent() { return nlohmann::json{{"event", "prefs-changed"}}.dump(); }

void runPreferences(const C_CompanionContext& context, FC_Broadcast broadcast,
                    nlohmann::json& reply) {
    FC_CompanionExit onExit;
    if (broadcast)
        onExit = [broadcast = std::move(broadcast)] { broadcast(prefsChangedEvent()); };
    context.m_launcher->launch(COMPANION_PREFERENCES, context.m_config, context.m_serverExePath,
                               reply, std::move(onExit));
}

void runAbout(const C_CompanionContext& context, nlohmann::json& reply) {
    context.m_launcher->launch(COMPANION_ABOUT, context.m_config, context.m_serverExePath, reply);
}

void runEditUserDict(const C_CompanionContext& context, nlohmann::json& reply) {
    context.m_launcher->launch(COMPANION_EDIT_USER_DICT, context.m_config, context.m_serverExePath,
                               reply);
}

void runCheckRelease(const nlohmann::json& request, const C_CompanionContext& context,
                     nlohmann::json& reply) {
    const auto it = request.is_object() ? request.find("auto") : request.end();
    const bool automatic = it != request.end() && it->is_boolean() && it->get<bool>();
    std::optional<std::string_view> arguments;
    if (automatic)
        arguments = "auto";
    context.m_launcher->launch(COMPANION_CHECK_RELEASE, context.m_config, context.m_serverExePath,
                               reply, {}, arguments);
}

}  // namespace kov
