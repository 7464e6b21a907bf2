// Starting another program and watching it end: the companion programs of the server (the
// preferences editor, the about box, the user-dictionary editor, the release checker) are
// separate programs that the server starts, waits for on a thread of its own, and brings to
// the front when they are asked for again while they run.
//
// Windows: CreateProcessW, WaitForSingleObject, GetExitCodeProcess, and the top-level window
// of the process brought to the foreground. POSIX: posix_spawn with a clean signal mask and
// default signal dispositions, waitpid polled without blocking; there is no window to raise.
//
// Not responsible for: which program is started, slots and waiter threads, or what happens
// when a program ends (the server's companion launcher decides that).
#pragma once

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <string_view>

namespace kov::platform {

enum class E_WaitResult {
    EXITED,   // the program has ended (and, on POSIX, has been reaped)
    TIMEOUT,  // still running after the time given
    FAILED,   // the system cannot wait for it (no process, or the wait itself failed)
};

enum class E_FrontResult {
    DONE,           // raised its window, found none to raise, or nothing to do on this system
    NO_PROCESS_ID,  // the process id of the running program could not be had
};

// One started program. Move-only; destroying or closing it lets go of the program without
// ending it (a program still running goes on running).
class C_ChildProcess {
public:
    C_ChildProcess() = default;
    C_ChildProcess(C_ChildProcess&& other) noexcept : m_process(other.m_process) {
        other.m_process = 0;
    }
    C_ChildProcess& operator=(C_ChildProcess&& other) noexcept {
        if (this != &other) {
            close();
            m_process = other.m_process;
            other.m_process = 0;
        }
        return *this;
    }
    C_ChildProcess(const C_ChildProcess&) = delete;
    C_ChildProcess& operator=(const C_ChildProcess&) = delete;
    ~C_ChildProcess() { close(); }

    // Starts program with the server's environment and current folder. arguments, when given,
    // is the text after the program on its command line: on Windows the command line is the
    // program path between double quotes, a blank and arguments; on POSIX arguments is the one
    // argument after the program path. Without arguments Windows gets no command line and
    // POSIX the program path alone. Returns 0 on success, else the system's error code
    // (GetLastError, or the errno of the failed spawn); a program already held is let go first.
    uint32_t start(const std::filesystem::path& program, std::optional<std::string_view> arguments);

    // True from a successful start until close().
    bool started() const { return m_process != 0; }

    // Waits at most timeout for the program to end. EXITED gives its exit code in exitCode, or
    // nothing when it was ended by a signal (POSIX) or the code cannot be read (Windows).
    // Changes nothing in this object, so one thread may wait while another raises the window.
    // On POSIX the wait is a non-blocking waitpid, a sleep of timeout and a second waitpid.
    E_WaitResult waitForExit(std::chrono::milliseconds timeout,
                             std::optional<uint32_t>& exitCode) const;

    // Brings the program's first visible top-level window with a title to the foreground
    // (Windows); a no-op that reports DONE elsewhere.
    E_FrontResult bringToFront() const;

    // Lets go of the program: closes the process handle (Windows) or forgets the child id.
    void close() noexcept;

private:
    // The process handle (Windows) or the child's process id (POSIX); 0 when none is held.
    std::uintptr_t m_process = 0;
};

}  // namespace kov::platform
