// Durable file writing: the few operations a "write aside, then replace" save needs from the
// operating system. A save writes its bytes into a file of its own, pushes them to the disk
// with flushToDisk, closes it, and only then replaces the target with replaceFile, so that at
// every moment the target is either the old file or the complete new one.
//
// Not responsible for: what is written, naming the side file, or deciding when to save.
#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>

namespace kov::platform {

// A file opened for writing from its start (created, or emptied when it exists). Every
// operation reports failure by returning false and keeps a readable text in error().
class C_OutFile {
public:
    C_OutFile() = default;
    C_OutFile(const C_OutFile&) = delete;
    C_OutFile& operator=(const C_OutFile&) = delete;
    ~C_OutFile();  // closes without flushing to disk

    bool open(const std::filesystem::path& path);
    bool isOpen() const;
    // Writes all bytes or fails; a short write of the system counts as a failure.
    bool write(std::string_view bytes);
    // Makes the written bytes durable (fsync / FlushFileBuffers).
    bool flushToDisk();
    // Closes the file; a failure to close is reported (on some systems it is the write error).
    bool close();

    const std::string& error() const { return m_error; }

private:
    bool fail_(std::string_view what);

    // The open file as the system names it (a descriptor or a handle); kNoFile when closed.
    static constexpr std::intptr_t kNoFile = -1;
    std::intptr_t m_file = kNoFile;
    std::string m_error;
};

// Renames from over to, replacing to when it exists, in one step that leaves either the old or
// the new file under the name to (rename / MoveFileExW with REPLACE_EXISTING|WRITE_THROUGH).
// On POSIX the folder of to is flushed afterwards so that the rename itself survives a crash.
bool replaceFile(const std::filesystem::path& from, const std::filesystem::path& to,
                 std::string& error);

}  // namespace kov::platform
