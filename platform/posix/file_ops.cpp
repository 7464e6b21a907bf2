// POSIX backend of the durable file writes: open/write/fsync/close and rename, then an fsync
// of the folder so that the new directory entry is on the disk too.
#include "platform/file_ops.h"

#include <cerrno>
#include <cstring>

#include <fcntl.h>
#include <unistd.h>

namespace kov::platform {

namespace {

std::string systemText(int err) { return std::string(std::strerror(err)); }

}  // namespace

C_OutFile::~C_OutFile() {
    if (m_file != kNoFile)
        ::close(static_cast<int>(m_file));
}

bool C_OutFile::fail_(std::string_view what) {
    m_error = std::string(what) + ": " + systemText(errno);
    return false;
}

bool C_OutFile::open(const std::filesystem::path& path) {
    if (m_file != kNoFile && !close())
        return false;
    m_error.clear();
    int fd;
    do {
        fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
    } while (fd < 0 && errno == EINTR);
    if (fd < 0)
        return fail_("open");
    m_file = fd;
    return true;
}

bool C_OutFile::isOpen() const { return m_file != kNoFile; }

bool C_OutFile::write(std::string_view bytes) {
    if (m_file == kNoFile) {
        m_error = "write: file not open";
        return false;
    }
    const char* p = bytes.data();
    size_t left = bytes.size();
    while (left > 0) {
        const ssize_t n = ::write(static_cast<int>(m_file), p, left);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            return fail_("write");
        }
        if (n == 0) {
            m_error = "write: no progress";
            return false;
        }
        p += n;
        left -= static_cast<size_t>(n);
    }
    return true;
}

bool C_OutFile::flushToDisk() {
    if (m_file == kNoFile) {
        m_error = "fsync: file not open";
        return false;
    }
    if (::fsync(static_cast<int>(m_file)) != 0)
        return fail_("fsync");
    return true;
}

bool C_OutFile::close() {
    if (m_file == kNoFile)
        return true;
    const int fd = static_cast<int>(m_file);
    m_file = kNoFile;
    if (::close(fd) != 0 && errno != EINTR)
        return fail_("close");
    return true;
}

bool replaceFile(const std::filesystem::path& from, const std::filesystem::path& to,
                 std::string& error) {
    if (::rename(from.c_str(), to.c_str()) != 0) {
        error = "rename: " + systemText(errno);
        return false;
    }
    // The rename is done; flushing the folder only makes it durable, so its failure is not
    // a failure of the replacement.
    std::filesystem::path dir = to.parent_path();
    if (dir.empty())
        dir = ".";
    const int fd = ::open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd >= 0) {
        ::fsync(fd);
        ::close(fd);
    }
    return true;
}

}  // namespace kov::platform
