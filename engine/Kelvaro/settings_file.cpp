#include "engine/Kelvaro/settings_file.h"

#include <charconv>
#include <cstdint>
#include <fstream>
#include <optional>
#include <string>
#include <utility>

#include "engine/Kelvaro/request_readers.h"
#include "engine/dict/replacing_write.h"
#include "platform/codepage.h"
#include "qiv/file_error.h"

namespace kov {

namespace {

namespace fs = std::filesystem;

constexpr std::string_view kReleaseDayMember = "last-check-release-day";
constexpr unsigned kUtf8CodePage = 65001;

std::string decimal(std::size_t n) {
    char digits[24];
    const auto end = std::to_chars(digits, digits + sizeof digits, n).ptr;
    return std::string(digits, end);
}

// Thrown by the parser callback when the text nests deeper than the limit.
struct S_TooDeep {};

// The settings file as read: absent, or present with its object, or present with the error
// whose text the reply gives (UNREADABLE, or DAMAGED for bytes that hold no usable object).
struct S_SettingsRead {
    bool m_present = false;
    nlohmann::json m_object;
    qiv::C_FileError m_error;
};

// Reads at most limit bytes of file into bytes; false when it cannot be opened or read.
bool readAtMost(const fs::path& file, std::size_t limit, std::string& bytes) {
    std::ifstream in(file, std::ios::binary);
    if (!in.is_open())
        return false;
    bytes.resize(limit);
    in.read(bytes.data(), static_cast<std::streamsize>(limit));
    if (in.bad())
        return false;
    bytes.resize(static_cast<std::size_t>(in.gcount()));
    return true;
}

S_SettingsRead readSettingsFile(const fs::path& file) {
    using qiv::E_FileError;
    S_SettingsRead r;
    const auto malformed = [&r](std::string text) {
        r.m_error = {E_FileError::DAMAGED, std::move(text)};
    };
    if (!fs::exists(file))  // a failing test throws filesystem_error
        return r;
    r.m_present = true;
    std::string bytes;
    // Anything but a plain file (a folder, a pipe that would block) is not read.
    if (!fs::is_regular_file(file) || !readAtMost(file, kMaxSettingsFileSize + 1, bytes)) {
        r.m_error = {E_FileError::UNREADABLE, "Failed to read preferences"};
        return r;
    }
    if (bytes.size() > kMaxSettingsFileSize) {
        malformed("Malformed preferences: larger than " + decimal(kMaxSettingsFileSize) + " bytes");
        return r;
    }
    std::u32string codePoints;
    if (!platform::decodeCodePage(kUtf8CodePage, bytes, codePoints)) {
        malformed("Malformed preferences: not UTF-8 text");
        return r;
    }
    codePoints = {};
    // A leading byte-order mark, as the server itself writes, is skipped by the parser. The
    // depth is bounded because every later walk of the value (copy, dump) recurses.
    const auto boundDepth = [](int depth, nlohmann::json::parse_event_t event, nlohmann::json&) {
        if ((event == nlohmann::json::parse_event_t::object_start ||
             event == nlohmann::json::parse_event_t::array_start) &&
            depth >= kMaxSettingsDepth)
            throw S_TooDeep{};
        return true;
    };
    try {
        r.m_object = nlohmann::json::parse(bytes, boundDepth);
    } catch (const S_TooDeep&) {
        malformed("Malformed preferences: nested deeper than " + decimal(kMaxSettingsDepth) +
                  " levels");
        return r;
    }
    if (!r.m_object.is_object())
        malformed("Malformed preferences");
    return r;
}

}  // namespace

std::string settingsFileBytes(const nlohmann::json& object) {
    const std::string dump = object.dump(4);
    std::string bytes = "\xEF\xBB\xBF";
    bytes.reserve(bytes.size() + dump.size() + dump.size() / 8);
    // Written as a Windows text file: every line break is CR LF, on every system.
    for (const char c : dump) {
        if (c == '\n')
            bytes += '\r';
        bytes += c;
    }
    return bytes;
}

void getPreferences(const fs::path& userFolder, nlohmann::json& reply) {
    S_SettingsRead read = readSettingsFile(userFolder / kSettingsFileName);
    if (!read.m_present)
        return setError(reply, "Missing preferences");
    if (!read.m_error.ok())
        return setError(reply, std::move(read.m_error.text));
    reply["ok"] = true;
    reply["result"] = std::move(read.m_object);
}

void notifyReleaseChecked(const nlohmann::json& request, const fs::path& userFolder,
                          nlohmann::json& reply) {
    // Signed or unsigned, the low 32 bits are the day, read as a signed number.
    const std::optional<int32_t> day = optionalNumber<int32_t>(request, kReleaseDayMember);
    if (!day)
        return setError(reply, "Missing last-check-release-day");

    const fs::path file = userFolder / kSettingsFileName;
    S_SettingsRead read = readSettingsFile(file);
    if (!read.m_error.ok())
        return setError(reply, std::move(read.m_error.text));
    nlohmann::json object = read.m_present ? std::move(read.m_object) : nlohmann::json::object();
    object[std::string(kReleaseDayMember)] = *day;
    if (!writeFileReplacing(file, settingsFileBytes(object)).ok())
        return setError(reply, "Failed to write preferences");
    reply["ok"] = true;
}

void dropUnfinishedSettingsSave(const fs::path& userFolder) {
    removeSideFile(userFolder / kSettingsFileName);
}

}  // namespace kov
