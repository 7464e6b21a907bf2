// The per-user names: pipe name and its handshake value, lock name, per-user folder, program path.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "engine/Kelvaro/client_server_common.h"
#include "platform/user_account.h"
#include "tests/support/scoped_env.h"

namespace kov::test {
namespace {

namespace fs = std::filesystem;

// The hash over UTF-16 units, written out for the test.
uint32_t hashOfUnits(std::u16string_view units) {
    uint32_t h = 0;
    for (char16_t u : units)
        h = h * 31u + u;
    return h;
}

TEST(ClientServerCommon, HandshakeValueIsTheHashOfThePipeNameInUtf16Units) {
    struct S_Case {
        std::string name;
        uint32_t hash;
    };
    const std::vector<S_Case> cases = {
        {"\\\\.\\pipe\\Kelvaro_anna", 1683898405u},
        {"\\\\.\\pipe\\Kelvaro_user", 1684498768u},
        {"", 0u},
        {"a", 97u},
        {"\\\\.\\pipe\\Kelvaro_J\xc3\xbcrgen", hashOfUnits(u"\\\\.\\pipe\\Kelvaro_J\u00fcrgen")},
        // A character beyond the basic plane counts as its two surrogates.
        {"\\\\.\\pipe\\Kelvaro_\xf0\x9d\x84\x9e",
         hashOfUnits(u"\\\\.\\pipe\\Kelvaro_\xd834\xdd1e")},
    };
    for (const auto& c : cases)
        EXPECT_EQ(pipeNameHash(c.name), c.hash) << c.name;
}

TEST(ClientServerCommon, PipeAndLockNamesFollowTheUserName) {
    std::string user;
    platform::S_CallError error;
    ASSERT_TRUE(platform::currentUserName(user, error)) << error.call;
    EXPECT_FALSE(user.empty());
    EXPECT_EQ(getPipeName(), "\\\\.\\pipe\\Kelvaro_" + user);
    EXPECT_EQ(getMutexName(), "KelvaroMutex-" + user);
}

TEST(ClientServerCommon, ProgramPathIsThisProgram) {
    const fs::path exe = getServerExePath();
    ASSERT_FALSE(exe.empty());
    EXPECT_TRUE(exe.is_absolute());
    EXPECT_TRUE(fs::exists(exe));
    // This test program: one per test file natively, one per folder in the Windows builds.
    const std::string name = exe.filename().string();
#ifdef _WIN32
    EXPECT_EQ(name, "server_tests.exe");
#else
    EXPECT_NE(name.find("client_server_common_test"), std::string::npos) << name;
#endif
}

#ifndef _WIN32
TEST(ClientServerCommon, UserFolderIsTheConfigHomeOrHomeConfig) {
    struct S_Case {
        std::optional<std::string_view> configHome;
        std::optional<std::string_view> home;
        fs::path folder;
    };
    const std::vector<S_Case> cases = {
        {"/cfg", "/home/x", "/cfg/Dravenhall/Orlathe"},
        {"relative", "/home/x", "/home/x/.config/Dravenhall/Orlathe"},
        {"", "/home/x", "/home/x/.config/Dravenhall/Orlathe"},
        {std::nullopt, "/home/y", "/home/y/.config/Dravenhall/Orlathe"},
    };
    for (const auto& c : cases) {
        C_ScopedEnv config("XDG_CONFIG_HOME", c.configHome);
        C_ScopedEnv home("HOME", c.home);
        EXPECT_EQ(getUserFolderPath(), c.folder) << c.folder;
    }
    // Without HOME the password database tells the home folder.
    C_ScopedEnv config("XDG_CONFIG_HOME", std::nullopt);
    C_ScopedEnv home("HOME", std::nullopt);
    const fs::path folder = getUserFolderPath();
    EXPECT_TRUE(folder.is_absolute());
    EXPECT_EQ(folder.filename(), "Orlathe");
    EXPECT_EQ(folder.parent_path().parent_path().filename(), ".config");
}
#else
TEST(ClientServerCommon, UserFolderIsInTheRoamingApplicationData) {
    const fs::path folder = getUserFolderPath();
    EXPECT_TRUE(folder.is_absolute());
    EXPECT_EQ(folder.filename(), "Orlathe");
    EXPECT_EQ(folder.parent_path().filename(), "Dravenhall");
}
#endif

}  // namespace
}  // namespace kov::test
