// The user's runtime folder, where the pipe's socket and the single-instance lock file live:
// $XDG_RUNTIME_DIR when it is an absolute path, else "kelvaro-<uid>" in the temporary folder
// ($TMPDIR or /tmp), made with mode 0700 when missing. Either way the folder must be a real
// folder (not a link), owned by the effective user and closed to group and others; anything
// else could let another user place or watch our files, so it is refused.
#pragma once

#include <filesystem>
#include <string>

namespace kov::platform::posix {

// The checked folder; false with a readable text in error when it is missing and cannot be
// made, or fails a check.
bool runtimeFolder(std::filesystem::path& out, std::string& error);

}  // namespace kov::platform::posix
