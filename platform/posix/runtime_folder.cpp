#include "platform/posix/runtime_folder.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>

#include <sys/stat.h>
#include <unistd.h>

namespace kov::platform::posix {

namespace {

std::filesystem::path defaultFolder() {
    std::filesystem::path base = "/tmp";
    const char* tmp = std::getenv("TMPDIR");
    if (tmp && tmp[0] == '/')
        base = tmp;
    return base / ("kelvaro-" + std::to_string(::geteuid()));
}

bool checkFolder(const std::filesystem::path& folder, std::string& error) {
    struct stat st {};
    if (::lstat(folder.c_str(), &st) != 0) {
        error = "runtime folder " + folder.string() + ": " + std::strerror(errno);
        return false;
    }
    if (!S_ISDIR(st.st_mode)) {
        error = "runtime folder " + folder.string() + " is not a folder";
        return false;
    }
    if (st.st_uid != ::geteuid()) {
        error = "runtime folder " + folder.string() + " belongs to another user";
        return false;
    }
    if ((st.st_mode & 077) != 0) {
        error = "runtime folder " + folder.string() + " is open to other users";
        return false;
    }
    return true;
}

}  // namespace

bool runtimeFolder(std::filesystem::path& out, std::string& error) {
    const char* xdg = std::getenv("XDG_RUNTIME_DIR");
    if (xdg && xdg[0] == '/') {
        out = xdg;
        return checkFolder(out, error);
    }
    out = defaultFolder();
    if (::mkdir(out.c_str(), 0700) != 0 && errno != EEXIST) {
        error = "runtime folder " + out.string() + ": " + std::strerror(errno);
        return false;
    }
    return checkFolder(out, error);
}

}  // namespace kov::platform::posix
