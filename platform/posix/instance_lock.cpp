#include "platform/instance_lock.h"

#include <cerrno>
#include <filesystem>
#include <string>

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include "platform/posix/runtime_folder.h"

namespace kov::platform {

C_InstanceLock::~C_InstanceLock() {
    if (m_handle >= 0)
        ::close(static_cast<int>(m_handle));
}

C_InstanceLock::E_Result C_InstanceLock::acquire(std::string_view name) {
    if (name.empty() || name.find('/') != std::string_view::npos ||
        name.find('\0') != std::string_view::npos)
        return FAILED;
    std::filesystem::path folder;
    std::string error;
    if (!posix::runtimeFolder(folder, error))
        return FAILED;
    const std::filesystem::path file = folder / (std::string(name) + ".lock");
    int fd;
    do {
        fd = ::open(file.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600);
    } while (fd < 0 && errno == EINTR);
    if (fd < 0)
        return FAILED;
    int rc;
    do {
        rc = ::flock(fd, LOCK_EX | LOCK_NB);
    } while (rc != 0 && errno == EINTR);
    if (rc != 0) {
        const int err = errno;
        ::close(fd);
        return err == EWOULDBLOCK ? HELD_ELSEWHERE : FAILED;
    }
    m_handle = fd;
    return ACQUIRED;
}

}  // namespace kov::platform
