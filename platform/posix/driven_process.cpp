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

C_DrivenProcess::~C_DrivenProcess() {
    closeFd(m_stdin);
    closeFd(m_stdout);
    if (m_pid > 0 && !m_exit) {
        ::kill(static_cast<pid_t>(m_pid), SIGKILL);
        int status = 0;
        ::waitpid(static_cast<pid_t>(m_pid), &status, 0);
    }
}

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
    m_pid = pid;
    m_stdin = in[1];
    m_stdout = out[0];
    return true;
}

bool C_DrivenProcess::writeStdin(std::string_view bytes) {
    if (m_stdin < 0)
        return false;
    while (!bytes.empty()) {
        const ssize_t n = ::write(m_stdin, bytes.data(), bytes.size());
        if (n < 0) {
            if (errno == EINTR)
                continue;
            return false;
        }
        bytes.remove_prefix(static_cast<size_t>(n));
    }
    return true;
}

void C_DrivenProcess::closeStdin() { closeFd(m_stdin); }

bool C_DrivenProcess::fillOut_(std::chrono::milliseconds timeout) {
    if (m_stdout < 0 || m_stdoutEnded)
        return false;
    pollfd p{m_stdout, POLLIN, 0};
    const int rc = ::poll(&p, 1, static_cast<int>(timeout.count()));
    if (rc <= 0)
        return false;
    char buf[4096];
    const ssize_t n = ::read(m_stdout, buf, sizeof buf);
    if (n <= 0) {
        if (n < 0 && errno == EINTR)
            return true;
        m_stdoutEnded = true;
        return false;
    }
    m_outBuffer.append(buf, static_cast<size_t>(n));
    return true;
}

std::optional<std::string> C_DrivenProcess::readLine(std::chrono::milliseconds timeout) {
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    for (;;) {
        const size_t nl = m_outBuffer.find('\n');
        if (nl != std::string::npos) {
            std::string line = m_outBuffer.substr(0, nl);
            m_outBuffer.erase(0, nl + 1);
            if (!line.empty() && line.back() == '\r')
                line.pop_back();
            return line;
        }
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            deadline - std::chrono::steady_clock::now());
        if (left.count() < 0 || m_stdoutEnded)
            return std::nullopt;
        fillOut_(left);
    }
}

bool C_DrivenProcess::waitStdoutEnd(std::chrono::milliseconds timeout) {
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    while (!m_stdoutEnded) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            deadline - std::chrono::steady_clock::now());
        if (left.count() < 0 || m_stdout < 0)
            return m_stdoutEnded;
        fillOut_(left);
    }
    return true;
}

bool C_DrivenProcess::signal_(int sig) {
    return m_pid > 0 && !m_exit && ::kill(static_cast<pid_t>(m_pid), sig) == 0;
}

bool C_DrivenProcess::interrupt() { return signal_(SIGINT); }
bool C_DrivenProcess::terminate() { return signal_(SIGTERM); }
bool C_DrivenProcess::kill() { return signal_(SIGKILL); }

std::optional<int> C_DrivenProcess::wait(std::chrono::milliseconds timeout) {
    if (m_exit || m_pid <= 0)
        return m_exit;
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    for (;;) {
        int status = 0;
        const pid_t rc = ::waitpid(static_cast<pid_t>(m_pid), &status, WNOHANG);
        if (rc == static_cast<pid_t>(m_pid)) {
            m_exit = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
            return m_exit;
        }
        if (rc < 0 && errno != EINTR)
            return std::nullopt;
        if (std::chrono::steady_clock::now() >= deadline)
            return std::nullopt;
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
}

std::optional<std::uint64_t> C_DrivenProcess::residentBytes() const {
    if (m_pid <= 0)
        return std::nullopt;
    std::ifstream status("/proc/" + std::to_string(m_pid) + "/status");
    std::string line;
    while (std::getline(status, line)) {
        if (line.rfind("VmRSS:", 0) == 0)
            return std::stoull(line.substr(6)) * 1024;  // "VmRSS:   1234 kB"
    }
    return std::nullopt;
}

}  // namespace kov::platform
