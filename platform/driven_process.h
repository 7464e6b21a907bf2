// A program started by another one and driven through its standard streams: the program
// tests and the benchmarks start the server and the pipe client this way, feed them lines,
// read their output with time limits, send them stop signals and collect their exit codes.
//
// POSIX only: the tests that need it run on the Linux build (they drive the Windows programs
// through wine from there). On Windows start() fails with a text saying so.
//
// Not responsible for: the companion programs of the server (platform/process.h starts those:
// they need no streams or signals).
#pragma once

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace kov::platform {

class C_DrivenProcess {
public:
    struct S_Options {
        std::vector<std::string> argv;  // argv[0] is the program's path
        // Variables set on top of this process's environment.
        std::vector<std::pair<std::string, std::string>> env;
        std::vector<std::string> unsetEnv;  // removed from the inherited environment
        std::filesystem::path cwd;          // empty: this process's folder
        bool pipeStdin = false;             // else /dev/null
        bool pipeStdout = false;            // else inherited
        std::filesystem::path stderrFile;   // empty: inherited
    };

    C_DrivenProcess();
    // Kills a child still running and reaps it.
    ~C_DrivenProcess();
    C_DrivenProcess(const C_DrivenProcess&) = delete;
    C_DrivenProcess& operator=(const C_DrivenProcess&) = delete;

    bool start(const S_Options& options, std::string& error);
    bool running() const;
    long long pid() const;  // -1 before a start

    // Writes all of bytes to the child's standard input; false when it is closed.
    bool writeStdin(std::string_view bytes);
    void closeStdin();
    // The next line of standard output (without its line break, CR included), waiting at most
    // timeout; nullopt at the end of the output or on time-out.
    std::optional<std::string> readLine(std::chrono::milliseconds timeout);
    // True when standard output reached its end within timeout (lines still unread are kept).
    bool waitStdoutEnd(std::chrono::milliseconds timeout);

    // POSIX signals: interrupt = SIGINT, terminate = SIGTERM, kill = SIGKILL.
    bool interrupt();
    bool terminate();
    bool kill();
    // The exit code once the child ended within timeout (128 + signal when a signal ended it).
    std::optional<int> wait(std::chrono::milliseconds timeout);
    // The child's resident memory in bytes (Linux: VmRSS of /proc/<pid>/status).
    std::optional<std::uint64_t> residentBytes() const;

private:
    struct C_State;  // the child and its streams (posix/ and win32/driven_process.cpp)
    std::unique_ptr<C_State> m_state;
};

}  // namespace kov::platform
