#pragma once
// Whole reads and writes on the descriptors a host and its helpers share.

#include <cstddef>

namespace gfx::helper {

// Writes all `size` bytes, across interruptions and short writes. On a
// socket the write never raises SIGPIPE: a peer that ended is a false
// return, whatever the writer's signal handling.
[[nodiscard]] bool WriteAll(int fd, const void* data, std::size_t size);

// Reads exactly `size` bytes; false at an error or at the end of the stream
// before them.
[[nodiscard]] bool ReadAll(int fd, void* data, std::size_t size);

} // namespace gfx::helper
