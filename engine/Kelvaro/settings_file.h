// The front end's settings file "Brumeli.json" in the per-user folder: one JSON object owned by
// the front end. The server reads it whole ("get-preferences") and writes one member of it,
// "last-check-release-day" ("notify-release-checked"), rewriting the whole file as the UTF-8
// byte-order mark followed by the object indented by 4 blanks, members in ascending key order,
// CR LF line breaks and no line break at the end. The rewrite goes to a side file that then
// replaces the old one, so the file is never left half written.
//
// A file that is not a JSON object, is larger than kMaxSettingsFileSize, is not UTF-8 or nests
// deeper than kMaxSettingsDepth is answered with an error and never written over.
//
// Not responsible for: finding the per-user folder (the caller passes it), or the meaning of
// the members other than "last-check-release-day".
#pragma once

#include <cstddef>
#include <filesystem>
#include <string>
#include <string_view>

#include <nlohmann/json.hpp>

namespace kov {

inline constexpr std::string_view kSettingsFileName = "Brumeli.json";
inline constexpr std::size_t kMaxSettingsFileSize = 1024 * 1024;
inline constexpr int kMaxSettingsDepth = 64;

// The bytes of the settings file that holds object, as the server writes it.
std::string settingsFileBytes(const nlohmann::json& object);

// "get-preferences": "ok" true and the object in "result"; "ok" false with "Missing
// preferences" when there is no file, "Malformed preferences" when it holds no JSON object.
// A file that is not JSON throws nlohmann::json::parse_error, a failing existence test
// std::filesystem::filesystem_error; the session reports both.
void getPreferences(const std::filesystem::path& userFolder, nlohmann::json& reply);

// "notify-release-checked": sets "last-check-release-day" (a JSON integer, taken as its low 32
// bits, signed) in the settings file, creating it when absent and keeping every other member.
// Errors: "Missing last-check-release-day", "Malformed preferences", "Failed to write
// preferences"; exceptions as for getPreferences. The file changes only on success.
void notifyReleaseChecked(const nlohmann::json& request, const std::filesystem::path& userFolder,
                          nlohmann::json& reply);

// Removes the side file that a rewrite of the settings file cut short (the process ended
// between writing it and replacing the file) left in userFolder. The server calls it once at
// start-up, before any session can rewrite the file.
void dropUnfinishedSettingsSave(const std::filesystem::path& userFolder);

}  // namespace kov
