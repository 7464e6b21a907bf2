#include "platform/user_account.h"

#include <cerrno>
#include <cstdlib>
#include <vector>

#include <pwd.h>
#include <unistd.h>

namespace kov::platform {

namespace {

// The password database entry of the effective user; false with errno (ENOENT when there is
// no entry) in error.
bool passwordEntry(std::string* name, std::string* home, S_CallError& error) {
    long size = ::sysconf(_SC_GETPW_R_SIZE_MAX);
    std::vector<char> buffer(size > 0 ? static_cast<size_t>(size) : 4096);
    for (;;) {
        passwd entry{};
        passwd* found = nullptr;
        const int rc = ::getpwuid_r(::geteuid(), &entry, buffer.data(), buffer.size(), &found);
        if (rc == ERANGE && buffer.size() < (1u << 20)) {
            buffer.resize(buffer.size() * 2);
            continue;
        }
        if (rc != 0 || !found) {
            error = {"getpwuid_r", rc != 0 ? rc : ENOENT};
            return false;
        }
        if (name)
            *name = found->pw_name ? found->pw_name : "";
        if (home)
            *home = found->pw_dir ? found->pw_dir : "";
        return true;
    }
}

}  // namespace

bool currentUserName(std::string& out, S_CallError& error) {
    if (!passwordEntry(&out, nullptr, error))
        return false;
    if (out.empty()) {
        error = {"getpwuid_r", ENOENT};
        return false;
    }
    return true;
}

bool roamingDataFolder(std::filesystem::path& out, S_CallError& error) {
    const char* config = std::getenv("XDG_CONFIG_HOME");
    if (config && config[0] == '/') {
        out = config;
        return true;
    }
    std::string home;
    if (const char* env = std::getenv("HOME"); env && env[0] != '\0')
        home = env;
    else if (!passwordEntry(nullptr, &home, error))
        return false;
    if (home.empty()) {
        error = {"getpwuid_r", ENOENT};
        return false;
    }
    out = std::filesystem::path(home) / ".config";
    return true;
}

std::filesystem::path currentProgramPath() {
    std::error_code ec;
    auto path = std::filesystem::read_symlink("/proc/self/exe", ec);
    return ec ? std::filesystem::path() : path;
}

std::filesystem::path pathFromArgument(std::string_view argument) {
    return std::filesystem::path(std::string(argument));
}

}  // namespace kov::platform
