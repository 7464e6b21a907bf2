// The names that tie one signed-in user to one server, computed by rules the front end shares:
// the per-user data folder (dictionaries and the front end's settings file), the pipe name
// (where front ends connect) with its handshake value, and the name of the single-instance lock.
#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

namespace kov {

// The logical pipe name before the user name (on POSIX only its last part, "Kelvaro_", names
// the socket).
inline constexpr std::string_view kPipeNamePrefix = "\\\\.\\pipe\\Kelvaro_";
inline constexpr std::string_view kMutexNamePrefix = "KelvaroMutex-";

// The roaming application-data folder / "Dravenhall" / "Orlathe" (not created here). When the
// system cannot tell the folder, writes "[E] <call> error: <code>" to the debugger output and
// throws std::runtime_error "ClientServerCommon(<date>)#<line> getUserFolderPath: <call> error
// <code>".
std::filesystem::path getUserFolderPath();

// The running program's full path; empty when it cannot be had.
std::filesystem::path getServerExePath();

// kPipeNamePrefix followed by the user name, in UTF-8. Fails like getUserFolderPath
// ("getPipeName", the user-name call).
std::string getPipeName();

// kMutexNamePrefix followed by the user name; nullopt (and no message) without a user name.
std::optional<std::string> getMutexName();

// The handshake value of a pipe name: h = h * 31 + c over its UTF-16 code units, from 0,
// modulo 2^32.
std::uint32_t pipeNameHash(std::string_view pipeNameUtf8);

}  // namespace kov
