// Who runs the server and where its files go: the signed-in user's name, the folder for the
// user's roaming application data, the path of the running program, and the conversion of the
// program's narrow command-line arguments to paths.
//
// Windows: GetUserNameW, SHGetKnownFolderPath(FOLDERID_RoamingAppData), GetModuleFileNameW,
// the file-system code page. POSIX: the password database entry of the effective user,
// $XDG_CONFIG_HOME when absolute else $HOME/.config (home from the password database when HOME
// is unset), the link /proc/self/exe, the argument's bytes as they are.
//
// Not responsible for: the folder and file names below these (the server's naming rules).
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>

namespace kov::platform {

// A failed system call: its name and the code it reported (Windows: an HRESULT as a signed
// number, or a GetLastError code; POSIX: errno, or ENOENT when there is no answer at all).
struct S_CallError {
    const char* call = "";
    std::int64_t code = 0;
};

// The user's name in UTF-8; false with the failed call in error.
bool currentUserName(std::string& out, S_CallError& error);

// The folder of the user's roaming application data (not created here); false with the failed
// call in error.
bool roamingDataFolder(std::filesystem::path& out, S_CallError& error);

// The full path of the running program; empty when it cannot be had (Windows: nor when longer
// than 259 characters).
std::filesystem::path currentProgramPath();

// A command-line argument as the program received it, as a path (Windows: in the code page
// the file functions use).
std::filesystem::path pathFromArgument(std::string_view argument);

}  // namespace kov::platform
