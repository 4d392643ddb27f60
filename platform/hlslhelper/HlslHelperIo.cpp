#include "platform/hlslhelper/HlslHelperIo.h"

#include <cerrno>
#include <cstdint>

#include <sys/socket.h>
#include <unistd.h>

namespace gfx::helper {

bool WriteAll(int fd, const void* data, std::size_t size) {
    const auto* p = static_cast<const std::uint8_t*>(data);
    bool socket = true;
    while (size > 0) {
        ssize_t n = socket ? ::send(fd, p, size, MSG_NOSIGNAL) : ::write(fd, p, size);
        if (n < 0 && socket && errno == ENOTSOCK) {
            socket = false; // a file or a pipe: no peer to end under it here
            continue;
        }
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        p += n;
        size -= static_cast<std::size_t>(n);
    }
    return true;
}

bool ReadAll(int fd, void* data, std::size_t size) {
    auto* p = static_cast<std::uint8_t*>(data);
    while (size > 0) {
        const ssize_t n = ::read(fd, p, size);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        p += n;
        size -= static_cast<std::size_t>(n);
    }
    return true;
}

} // namespace gfx::helper
