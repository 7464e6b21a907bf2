#include "platform/driven_process.h"

#include <cerrno>
#include <csignal>
#include <cstring>
#include <fstream>
#include <set>
#include <thread>

#include <fcntl.h>
#include <poll.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace kov::platform {

namespace {

void closeFd(int& fd) {
    if (fd >= 0)
        ::close(fd);
    fd = -1;
}

// Name=value strings: this process's environment without the removed and overridden names,
// then the overrides.
std::vector<std::string> childEnvironment(const C_DrivenProcess::S_Options& options) {
    std::set<std::string> drop(options.unsetEnv.begin(), options.unsetEnv.end());
    for (const auto& [name, value] : options.env)
        drop.insert(name);
    std::vector<std::string> out;
    for (char** e = environ; e && *e; ++e) {
        const std::string entry(*e);
        const size_t eq = entry.find('=');
        if (!drop.count(entry.substr(0, eq)))
            out.push_back(entry);
    }
    for (const auto& [name, value] : options.env)
        out.push_back(name + "=" + value);
    return out;
}

}  // namespace

struct C_DrivenProcess::C_State {
    pid_t pid = -1;
    int stdinFd = -1;   // the write end of the child's standard input, when piped
    int stdoutFd = -1;  // the read end of its standard output, when piped
    bool stdoutEnded = false;
    std::string outBuffer;  // output read and not yet taken as lines
    std::optional<int> exit;

    bool running() const { return pid > 0 && !exit; }
    // Reads what the child wrote within timeout into outBuffer; false when nothing came.
    bool fillOut(std::chrono::milliseconds timeout);
    bool signal(int sig) const { return running() && ::kill(pid, sig) == 0; }
};

C_DrivenProcess::C_DrivenProcess() : m_state(std::make_unique<C_State>()) {}

C_DrivenProcess::~C_DrivenProcess() {
    C_State& s = *m_state;
    closeFd(s.stdinFd);
    closeFd(s.stdoutFd);
    if (s.running()) {
        ::kill(s.pid, SIGKILL);
        int status = 0;
        ::waitpid(s.pid, &status, 0);
    }
}

bool C_DrivenProcess::running() const { return m_state->running(); }

long long C_DrivenProcess::pid() const { return m_state->pid; }

bool C_DrivenProcess::start(const S_Options& options, std::string& error) {
    if (options.argv.empty()) {
        error = "no program";
        return false;
    }
    int in[2] = {-1, -1}, out[2] = {-1, -1};
    if ((options.pipeStdin && ::pipe2(in, O_CLOEXEC) != 0) ||
        (options.pipeStdout && ::pipe2(out, O_CLOEXEC) != 0)) {
        error = std::string("pipe: ") + std::strerror(errno);
        closeFd(in[0]), closeFd(in[1]), closeFd(out[0]), closeFd(out[1]);
        return false;
    }
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    if (options.pipeStdin)
        posix_spawn_file_actions_adddup2(&actions, in[0], 0);
    else
        posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    if (options.pipeStdout)
        posix_spawn_file_actions_adddup2(&actions, out[1], 1);
    if (!options.stderrFile.empty())
        posix_spawn_file_actions_addopen(&actions, 2, options.stderrFile.c_str(),
                                         O_WRONLY | O_CREAT | O_APPEND, 0644);
    if (!options.cwd.empty())
        posix_spawn_file_actions_addchdir_np(&actions, options.cwd.c_str());

    // The child starts with no signal blocked and default dispositions, whatever this
    // process (a server test, or a server that blocks its stop signals) has set.
    posix_spawnattr_t attr;
    posix_spawnattr_init(&attr);
    sigset_t none, defaults;
    sigemptyset(&none);
    sigemptyset(&defaults);
    for (int s : {SIGINT, SIGTERM, SIGHUP, SIGQUIT, SIGPIPE})
        sigaddset(&defaults, s);
    posix_spawnattr_setsigmask(&attr, &none);
    posix_spawnattr_setsigdefault(&attr, &defaults);
    posix_spawnattr_setflags(&attr, POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF);

    std::vector<std::string> args = options.argv;
    std::vector<char*> argv;
    for (auto& a : args)
        argv.push_back(a.data());
    argv.push_back(nullptr);
    std::vector<std::string> env = childEnvironment(options);
    std::vector<char*> envp;
    for (auto& e : env)
        envp.push_back(e.data());
    envp.push_back(nullptr);

    pid_t pid = -1;
    const int rc = ::posix_spawn(&pid, argv[0], &actions, &attr, argv.data(), envp.data());
    posix_spawn_file_actions_destroy(&actions);
    posix_spawnattr_destroy(&attr);
    closeFd(in[0]);
    closeFd(out[1]);
    if (rc != 0) {
        error = "posix_spawn " + options.argv[0] + ": " + std::strerror(rc);
        closeFd(in[1]);
        closeFd(out[0]);
        return false;
    }
    m_state->pid = pid;
    m_state->stdinFd = in[1];
    m_state->stdoutFd = out[0];
    return true;
}

bool C_DrivenProcess::writeStdin(std::string_view bytes) {
    const int fd = m_state->stdinFd;
    if (fd < 0)
        return false;
    while (!bytes.empty()) {
        const ssize_t n = ::write(fd, bytes.data(), bytes.size());
        if (n < 0) {
            if (errno == EINTR)
                continue;
            return false;
        }
        bytes.remove_prefix(static_cast<size_t>(n));
    }
    return true;
}

void C_DrivenProcess::closeStdin() { closeFd(m_state->stdinFd); }

bool C_DrivenProcess::C_State::fillOut(std::chrono::milliseconds timeout) {
    if (stdoutFd < 0 || stdoutEnded)
        return false;
    pollfd p{stdoutFd, POLLIN, 0};
    const int rc = ::poll(&p, 1, static_cast<int>(timeout.count()));
    if (rc <= 0)
        return false;
    char buf[4096];
    const ssize_t n = ::read(stdoutFd, buf, sizeof buf);
    if (n <= 0) {
        if (n < 0 && errno == EINTR)
            return true;
        stdoutEnded = true;
        return false;
    }
    outBuffer.append(buf, static_cast<size_t>(n));
    return true;
}

std::optional<std::string> C_DrivenProcess::readLine(std::chrono::milliseconds timeout) {
    C_State& s = *m_state;
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    for (;;) {
        const size_t nl = s.outBuffer.find('\n');
        if (nl != std::string::npos) {
            std::string line = s.outBuffer.substr(0, nl);
            s.outBuffer.erase(0, nl + 1);
            if (!line.empty() && line.back() == '\r')
                line.pop_back();
            return line;
        }
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            deadline - std::chrono::steady_clock::now());
        if (left.count() < 0 || s.stdoutEnded)
            return std::nullopt;
        s.fillOut(left);
    }
}

bool C_DrivenProcess::waitStdoutEnd(std::chrono::milliseconds timeout) {
    C_State& s = *m_state;
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    while (!s.stdoutEnded) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            deadline - std::chrono::steady_clock::now());
        if (left.count() < 0 || s.stdoutFd < 0)
            return s.stdoutEnded;
        s.fillOut(left);
    }
    return true;
}

bool C_DrivenProcess::interrupt() { return m_state->signal(SIGINT); }
bool C_DrivenProcess::terminate() { return m_state->signal(SIGTERM); }
bool C_DrivenProcess::kill() { return m_state->signal(SIGKILL); }

std::optional<int> C_DrivenProcess::wait(std::chrono::milliseconds timeout) {
    C_State& s = *m_state;
    if (s.exit || s.pid <= 0)
        return s.exit;
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    for (;;) {
        int status = 0;
        const pid_t rc = ::waitpid(s.pid, &status, WNOHANG);
        if (rc == s.pid) {
            s.exit = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
            return s.exit;
        }
        if (rc < 0 && errno != EINTR)
            return std::nullopt;
        if (std::chrono::steady_clock::now() >= deadline)
            return std::nullopt;
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
}

std::optional<std::uint64_t> C_DrivenProcess::residentBytes() const {
    if (m_state->pid <= 0)
        return std::nullopt;
    std::ifstream status("/proc/" + std::to_string(m_state->pid) + "/status");
    std::string line;
    while (std::getline(status, line)) {
        if (line.rfind("VmRSS:", 0) == 0)
            return std::stoull(line.substr(6)) * 1024;  // "VmRSS:   1234 kB"
    }
    return std::nullopt;
}

}  // namespace kov::platform
