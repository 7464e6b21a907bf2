#include "platform/debug_output.h"

#include <cerrno>

#include <unistd.h>

namespace kov::platform {
namespace {

void writeAll(int fd, const char* data, std::size_t size) noexcept {
    while (size > 0) {
        const ssize_t n = ::write(fd, data, size);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            return;
        }
        data += n;
        size -= static_cast<std::size_t>(n);
    }
}

}  // namespace

void errorOutput(std::string_view line) noexcept {
    // One write for line and break where it fits, so that lines of two threads do not mix.
    char buf[1024];
    if (line.size() < sizeof buf) {
        for (std::size_t i = 0; i < line.size(); ++i)
            buf[i] = line[i];
        buf[line.size()] = '\n';
        writeAll(STDERR_FILENO, buf, line.size() + 1);
        return;
    }
    writeAll(STDERR_FILENO, line.data(), line.size());
    writeAll(STDERR_FILENO, "\n", 1);
}

void debugOutput(std::string_view line) noexcept { errorOutput(line); }

bool debugOutputIsStandardError() noexcept { return true; }

}  // namespace kov::platform
