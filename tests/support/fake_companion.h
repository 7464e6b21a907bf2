#pragma once
// Driving the stand-in companion program (tests/support/fake_companion): its behaviour is set
// through the environment variables that the programs this process starts inherit, and what
// it did is read back from its log.

#include <chrono>
#include <cstddef>
#include <filesystem>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "fixtures/temp_folder.h"

namespace kov::test {

// Long enough for a program start under an emulator; only a failing test waits this long.
inline constexpr std::chrono::seconds kProcessTimeout{240};

// Calls done() every 10 ms until it returns true (true) or timeout passes (false).
bool waitUntil(const std::function<bool()>& done,
               std::chrono::milliseconds timeout = kProcessTimeout);

class C_FakeCompanion {
public:
    // Programs started from now on log into a fresh folder and exit with code 0 at once.
    C_FakeCompanion();
    // Clears the environment variables again.
    ~C_FakeCompanion();
    C_FakeCompanion(const C_FakeCompanion&) = delete;
    C_FakeCompanion& operator=(const C_FakeCompanion&) = delete;

    // The stand-in program's path.
    static std::filesystem::path program();

    // For the programs started from now on: the exit code; a crash ("abort" or "kill") instead
    // of exiting ("" for none); waiting until release() before ending.
    void exitWith(int code);
    void crashWith(std::string_view how);
    void holdUntilReleased();
    void release();

    // The log lines of every program started so far ("start[ <arguments>]", "end <code>").
    std::vector<std::string> log() const;
    // The number of "start" and "end" lines.
    std::size_t starts() const;
    std::size_t ends() const;
    // Waits until the log holds at least that many starts (or ends).
    bool waitForStarts(std::size_t n) const;
    bool waitForEnds(std::size_t n) const;

    const std::filesystem::path& folder() const { return m_folder.path(); }

private:
    C_TempFolder m_folder;
    std::filesystem::path m_log;
    std::filesystem::path m_release;
    int m_holds = 0;  // how many hold/release rounds were set up
};

// Sets (or, with an empty value, removes) an environment variable of this process.
void setEnvironment(const char* name, const std::string& value);

// Whether the cases that start programs run here: always, except in the 32-bit Windows build,
// where they run only when the environment variable KOV_TEST_32BIT_PROGRAM_STARTS is set. On a
// kernel that cannot run 32-bit programs the test script runs that build under an emulator,
// where every program start takes about a minute and 32-bit wine crashes or hangs around its
// child processes; the 64-bit build runs the same cases through the same code.
bool programStartsRun();
// Prints that the current case does not run here, and why.
void sayProgramStartsDoNotRun();

}  // namespace kov::test

// Ends the current test early when it may not start programs here, saying why on standard
// output. (Not GTEST_SKIP: a skipped test crashes the 32-bit Windows test programs under the
// emulator.)
#define KOV_SKIP_UNLESS_PROGRAM_STARTS_RUN()     \
    if (!::kov::test::programStartsRun()) {      \
        ::kov::test::sayProgramStartsDoNotRun(); \
        return;                                  \
    }

namespace kov::test {}  // namespace kov::test
