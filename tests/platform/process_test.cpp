// Starting a program and watching it end, with the stand-in companion program.

#include "platform/process.h"

#include <gtest/gtest.h>

#include <chrono>
#include <optional>

#include "tests/support/fake_companion.h"

namespace kov::platform {
namespace {

using namespace std::chrono_literals;

// Waits in 100 ms steps, as the companion waiters do, until the program ends.
E_WaitResult waitForEnd(const C_ChildProcess& child, std::optional<uint32_t>& exitCode) {
    const auto deadline = std::chrono::steady_clock::now() + test::kProcessTimeout;
    E_WaitResult r;
    do
        r = child.waitForExit(100ms, exitCode);
    while (r == E_WaitResult::TIMEOUT && std::chrono::steady_clock::now() < deadline);
    return r;
}

TEST(ChildProcess, GivesTheExitCodeOfAProgramThatEnded) {
    KOV_SKIP_UNLESS_PROGRAM_STARTS_RUN();
    test::C_FakeCompanion fake;
    for (const uint32_t code : {0u, 1u, 42u}) {
        fake.exitWith(static_cast<int>(code));
        C_ChildProcess child;
        ASSERT_EQ(child.start(test::C_FakeCompanion::program(), std::nullopt), 0u);
        EXPECT_TRUE(child.started());
        std::optional<uint32_t> exitCode;
        EXPECT_EQ(waitForEnd(child, exitCode), E_WaitResult::EXITED);
        EXPECT_EQ(exitCode, code);
    }
}

TEST(ChildProcess, PassesItsArgumentsAfterTheProgram) {
    KOV_SKIP_UNLESS_PROGRAM_STARTS_RUN();
    test::C_FakeCompanion fake;
    C_ChildProcess plain;
    ASSERT_EQ(plain.start(test::C_FakeCompanion::program(), std::nullopt), 0u);
    std::optional<uint32_t> exitCode;
    ASSERT_EQ(waitForEnd(plain, exitCode), E_WaitResult::EXITED);
    C_ChildProcess withAuto;
    ASSERT_EQ(withAuto.start(test::C_FakeCompanion::program(), "auto"), 0u);
    ASSERT_EQ(waitForEnd(withAuto, exitCode), E_WaitResult::EXITED);
    EXPECT_EQ(fake.log(), (std::vector<std::string>{"start", "end 0", "start auto", "end 0"}));
}

TEST(ChildProcess, ARunningProgramTimesOutAndCanBeRaised) {
    KOV_SKIP_UNLESS_PROGRAM_STARTS_RUN();
    test::C_FakeCompanion fake;
    fake.holdUntilReleased();
    C_ChildProcess child;
    ASSERT_EQ(child.start(test::C_FakeCompanion::program(), std::nullopt), 0u);
    ASSERT_TRUE(fake.waitForStarts(1));
    std::optional<uint32_t> exitCode = 5;
    EXPECT_EQ(child.waitForExit(0ms, exitCode), E_WaitResult::TIMEOUT);
    EXPECT_EQ(exitCode, std::nullopt);
    // No window: nothing is raised, and that is no error (on POSIX there never is a window).
    EXPECT_EQ(child.bringToFront(), E_FrontResult::DONE);
    fake.release();
    EXPECT_EQ(waitForEnd(child, exitCode), E_WaitResult::EXITED);
    EXPECT_EQ(exitCode, 0u);
}

TEST(ChildProcess, AMissingProgramGivesTheSystemsCode) {
    test::C_TempFolder dir;
    C_ChildProcess child;
    // ENOENT and ERROR_FILE_NOT_FOUND are both 2.
    EXPECT_EQ(child.start(dir.path() / "no-such-program.exe", std::nullopt), 2u);
    EXPECT_FALSE(child.started());
    std::optional<uint32_t> exitCode;
    EXPECT_EQ(child.waitForExit(0ms, exitCode), E_WaitResult::FAILED);
}

TEST(ChildProcess, APathWithANulIsRefusedNotCut) {
    test::C_FakeCompanion fake;
    std::string path = test::C_FakeCompanion::program().string();
    path += std::string("\0x", 2);
    C_ChildProcess child;
#ifdef _WIN32
    EXPECT_EQ(child.start(path, std::nullopt), 123u);  // ERROR_INVALID_NAME
#else
    EXPECT_EQ(child.start(path, std::nullopt), 22u);  // EINVAL
#endif
    EXPECT_FALSE(child.started());
    EXPECT_EQ(fake.starts(), 0u);
}

TEST(ChildProcess, WithoutAProgramThereIsNothingToWaitForOrRaise) {
    C_ChildProcess none;
    std::optional<uint32_t> exitCode;
    EXPECT_EQ(none.waitForExit(0ms, exitCode), E_WaitResult::FAILED);
#ifdef _WIN32
    EXPECT_EQ(none.bringToFront(), E_FrontResult::NO_PROCESS_ID);
#else
    EXPECT_EQ(none.bringToFront(), E_FrontResult::DONE);
#endif
}

#ifndef _WIN32
// On POSIX the wait reaps the child: once it reported the end, the child is gone for good
// (no zombie is left), and a child ended by a signal has no exit code.
TEST(ChildProcess, APosixChildIsReapedAndASignalGivesNoCode) {
    KOV_SKIP_UNLESS_PROGRAM_STARTS_RUN();
    test::C_FakeCompanion fake;
    for (const char* how : {"", "abort", "kill"}) {
        fake.crashWith(how);
        C_ChildProcess child;
        ASSERT_EQ(child.start(test::C_FakeCompanion::program(), std::nullopt), 0u);
        std::optional<uint32_t> exitCode;
        ASSERT_EQ(waitForEnd(child, exitCode), E_WaitResult::EXITED) << how;
        EXPECT_EQ(exitCode.has_value(), *how == '\0') << how;
        EXPECT_EQ(child.waitForExit(0ms, exitCode), E_WaitResult::FAILED) << how;
    }
}
#endif

}  // namespace
}  // namespace kov::platform
