// The single-instance lock: one holder at a time, free again once the holder lets go.
#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <memory>
#include <string>

#include "platform/instance_lock.h"
#include "tests/support/scoped_env.h"
#include "fixtures/temp_folder.h"

namespace kov::test {
namespace {

TEST(InstanceLock, OneHolderAtATime) {
    C_TempFolder runtime;
    std::filesystem::permissions(runtime.path(), std::filesystem::perms::owner_all,
                                 std::filesystem::perm_options::replace);
    C_ScopedEnv env("XDG_RUNTIME_DIR", runtime.path().string());
    const std::string name =
        "KelvaroMutex-lock-test-" +
        std::to_string(std::chrono::steady_clock::now().time_since_epoch().count());

    auto first = std::make_unique<platform::C_InstanceLock>();
    EXPECT_EQ(first->acquire(name), platform::C_InstanceLock::ACQUIRED);
    platform::C_InstanceLock second;
    EXPECT_EQ(second.acquire(name), platform::C_InstanceLock::HELD_ELSEWHERE);
    first.reset();
    platform::C_InstanceLock third;
    EXPECT_EQ(third.acquire(name), platform::C_InstanceLock::ACQUIRED);

    platform::C_InstanceLock other;
    EXPECT_EQ(other.acquire(name + "-other"), platform::C_InstanceLock::ACQUIRED);
#ifndef _WIN32
    platform::C_InstanceLock bad;
    EXPECT_EQ(bad.acquire("a/b"), platform::C_InstanceLock::FAILED);
#endif
}

}  // namespace
}  // namespace kov::test
