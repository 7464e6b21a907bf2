// POSIX backend of the companion programs: posix_spawn and a waitpid that never blocks.
#include "platform/process.h"

#include <cerrno>
#include <csignal>
#include <string>
#include <thread>
#include <vector>

#include <spawn.h>
#include <sys/types.h>
#include <sys/wait.h>

extern char** environ;

namespace kov::platform {

namespace {

// Spawn attributes that give the program a clean start: the server blocks its stop signals in
// every thread and ignores SIGPIPE, and both would otherwise be inherited across exec.
class C_SpawnAttributes {
public:
    C_SpawnAttributes() {
        m_ok = ::posix_spawnattr_init(&m_attr) == 0;
        if (!m_ok)
            return;
        sigset_t none;
        sigemptyset(&none);
        sigset_t defaults;
        sigemptyset(&defaults);
        for (int sig : {SIGPIPE, SIGINT, SIGTERM, SIGHUP, SIGQUIT, SIGCHLD})
            sigaddset(&defaults, sig);
        m_ok = ::posix_spawnattr_setsigmask(&m_attr, &none) == 0 &&
               ::posix_spawnattr_setsigdefault(&m_attr, &defaults) == 0 &&
               ::posix_spawnattr_setflags(&m_attr,
                                          POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF) == 0;
    }
    ~C_SpawnAttributes() { ::posix_spawnattr_destroy(&m_attr); }
    C_SpawnAttributes(const C_SpawnAttributes&) = delete;
    C_SpawnAttributes& operator=(const C_SpawnAttributes&) = delete;

    const posix_spawnattr_t* get() const { return m_ok ? &m_attr : nullptr; }

private:
    posix_spawnattr_t m_attr;
    bool m_ok = false;
};

// The ended child's status: exited with a code, or ended by a signal (no code).
std::optional<uint32_t> exitCodeOf(int status) {
    if (WIFEXITED(status))
        return static_cast<uint32_t>(WEXITSTATUS(status));
    return std::nullopt;
}

// One waitpid without blocking: EXITED (and reaped), TIMEOUT while it runs, FAILED otherwise.
E_WaitResult pollChild(pid_t pid, std::optional<uint32_t>& exitCode) {
    for (;;) {
        int status = 0;
        const pid_t r = ::waitpid(pid, &status, WNOHANG);
        if (r == pid) {
            exitCode = exitCodeOf(status);
            return E_WaitResult::EXITED;
        }
        if (r == 0)
            return E_WaitResult::TIMEOUT;
        if (errno != EINTR)
            return E_WaitResult::FAILED;
    }
}

}  // namespace

uint32_t C_ChildProcess::start(const std::filesystem::path& program,
                               std::optional<std::string_view> arguments) {
    close();
    std::string path = program.string();
    if (path.find('\0') != std::string::npos)
        return EINVAL;  // the system would see only the part before the NUL
    std::string argument = arguments ? std::string(*arguments) : std::string();
    if (argument.find('\0') != std::string::npos)
        return EINVAL;
    std::vector<char*> argv{path.data()};
    if (arguments)
        argv.push_back(argument.data());
    argv.push_back(nullptr);

    const C_SpawnAttributes attributes;
    if (!attributes.get())
        return ENOMEM;
    pid_t pid = 0;
    const int err =
        ::posix_spawn(&pid, path.c_str(), nullptr, attributes.get(), argv.data(), environ);
    if (err != 0)
        return static_cast<uint32_t>(err);
    m_process = static_cast<std::uintptr_t>(pid);
    return 0;
}

E_WaitResult C_ChildProcess::waitForExit(std::chrono::milliseconds timeout,
                                         std::optional<uint32_t>& exitCode) const {
    exitCode.reset();
    if (m_process == 0)
        return E_WaitResult::FAILED;
    const pid_t pid = static_cast<pid_t>(m_process);
    const E_WaitResult first = pollChild(pid, exitCode);
    if (first != E_WaitResult::TIMEOUT || timeout <= std::chrono::milliseconds::zero())
        return first;
    std::this_thread::sleep_for(timeout);
    return pollChild(pid, exitCode);
}

E_FrontResult C_ChildProcess::bringToFront() const { return E_FrontResult::DONE; }

void C_ChildProcess::close() noexcept { m_process = 0; }

}  // namespace kov::platform
