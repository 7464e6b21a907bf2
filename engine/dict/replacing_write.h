#pragma once
// Saving a whole file by writing it aside and then replacing it: the bytes go to the side file
// "<path>.tmp", are pushed to the disk and closed, and only then does the side file replace
// path (platform/file_ops.h), so that path always holds either the old file or the complete
// new one. A save that fails after opening its side file removes it again.
//
// Not responsible for: what is written, or how a failure is reported to the user.

#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>

#include "platform/file_ops.h"
#include "qiv/file_error.h"
#include "qiv/move_only_function.h"

namespace kov {

// The step at which a replacing write failed.
enum E_ReplaceStep : uint8_t { RS_NONE, RS_OPEN, RS_WRITE, RS_REPLACE };

struct C_ReplaceResult {
    E_ReplaceStep m_failedStep = RS_NONE;
    std::string m_error;  // the system's text of the failure, when it gave one
    std::filesystem::path m_sideFile;

    bool ok() const { return m_failedStep == RS_NONE; }
};

// Fills the opened side file; false when a write failed (out.error() tells why, if it knows).
using FC_SideFileWriter = std_move_only_function<bool(platform::C_OutFile& out)>;

// Writes the side file of path through write, makes it durable and replaces path with it.
C_ReplaceResult writeReplacing(const std::filesystem::path& path, FC_SideFileWriter write);

// The two halves of writeReplacing, for saves of several files that must change together:
// every side file is written first, and the targets are replaced only once all of them are.
// writeSideFile leaves path alone; replaceWithSideFile moves the side file over path. Each
// removes the side file when it fails; removeSideFile drops one that is no longer wanted.
C_ReplaceResult writeSideFile(const std::filesystem::path& path, FC_SideFileWriter write);
C_ReplaceResult replaceWithSideFile(const std::filesystem::path& path);
void removeSideFile(const std::filesystem::path& path);

// The error of a replacing write, as writeFileReplacing gives it: NONE for success, else WRITE
// "Failed to open \"<side file>\" for writing", "Failed to write \"<side file>\"" or
// "Failed to rename \"<side file>\" to \"<path>\"".
qiv::C_FileError replaceFailure(const C_ReplaceResult& result, const std::filesystem::path& path);

// writeReplacing of bytes; the failure as replaceFailure tells it.
qiv::C_FileError writeFileReplacing(const std::filesystem::path& path, std::string_view bytes);

}  // namespace kov
