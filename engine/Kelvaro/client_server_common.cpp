#include "engine/Kelvaro/client_server_common.h"

#include <charconv>
#include <stdexcept>

#include "engine/text/code_points.h"
#include "platform/debug_output.h"
#include "platform/user_account.h"

namespace kov {

namespace {

std::string numberText(std::int64_t n) {
    char digits[24];
    const auto [end, ec] = std::to_chars(digits, digits + sizeof digits, n);
    return std::string(digits, end);
}

// Where a failure was found: "ClientServerCommon(<build date>)#<line> <function>: ".
std::string sourceLocation(int line, std::string_view function) {
    return "ClientServerCommon(" __DATE__ ")#" + numberText(line) + " " + std::string(function) +
           ": ";
}

[[noreturn]] void fail(const platform::S_CallError& error, int line, std::string_view function) {
    const std::string code = numberText(error.code);
    platform::debugOutput("[E] " + std::string(error.call) + " error: " + code);
    throw std::runtime_error(sourceLocation(line, function) + error.call + " error " + code);
}

}  // namespace

std::filesystem::path getUserFolderPath() {
    std::filesystem::path folder;
    platform::S_CallError error;
    if (!platform::roamingDataFolder(folder, error))
        fail(error, __LINE__, "getUserFolderPath");
    return folder / "Dravenhall" / "Orlathe";
}

std::filesystem::path getServerExePath() { return platform::currentProgramPath(); }

std::string getPipeName() {
    std::string user;
    platform::S_CallError error;
    if (!platform::currentUserName(user, error))
        fail(error, __LINE__, "getPipeName");
    return std::string(kPipeNamePrefix) + user;
}

std::optional<std::string> getMutexName() {
    std::string user;
    platform::S_CallError error;
    if (!platform::currentUserName(user, error))
        return std::nullopt;
    return std::string(kMutexNamePrefix) + user;
}

std::uint32_t pipeNameHash(std::string_view pipeNameUtf8) {
    std::uint32_t h = 0;
    const auto add = [&h](unsigned unit) { h = h * 31u + unit; };
    size_t pos = 0;
    unsigned cp = 0;
    while (nextCodePoint(pipeNameUtf8, pos, cp)) {
        if (cp >= 0x10000 && cp <= 0x10FFFF) {
            add(0xD800 + ((cp - 0x10000) >> 10));
            add(0xDC00 + ((cp - 0x10000) & 0x3FF));
        } else {
            add(cp & 0xFFFF);
        }
    }
    return h;
}

}  // namespace kov
