#pragma once
// A compile's budget as the host holds a worker to it while it waits for the
// worker's reply (GfxUtilHlslGuard.cpp): the compile's processor time with
// the worker's, the clock's backstop and the worker's growth in memory.
// Private to this library.

#include "platform/gfxutil/hlsl/GfxUtilHlslGuard.h"

#include <cstdint>
#include <vector>

#include <sys/types.h>
#include <time.h>

namespace gfx {

// How often the host looks at a worker's time and memory while it waits.
inline constexpr int kHlslWatchMilliseconds = 10;

// A processor-time clock's reading in nanoseconds; -1 when it cannot be read
// (a thread that ended, a process that ended).
[[nodiscard]] std::int64_t HlslClockNanoseconds(clockid_t clock);

// The resident anonymous bytes of a process (its heap and stacks, not the
// pages of files and libraries it maps) from its statm file, kept open (read
// again from its start at each look); -1 when unknown.
[[nodiscard]] std::int64_t HlslAnonymousBytes(int statm);

// The worker `child`'s reply on `fd` (its size first, then its bytes), read
// until it is whole, the compile's processor time with the worker's passes
// its budget (or the clock its backstop), or the worker's anonymous bytes
// (read from `statm`) pass `base` by the scope's memory cap. `fd` waits a watch at most for each
// read (its receive timeout). `clockBase`: the worker's processor time when
// the job began; `lastTime` gets the job's as last read. The worker is first
// given one watch's time to answer before it is looked at: most jobs end
// sooner, and each look is several system calls.
[[nodiscard]] HlslChildOutcome WatchWorkerReply(int fd, pid_t child, int statm, std::int64_t base,
                                                const HlslCompileScope& scope,
                                                std::vector<std::uint8_t>& out, std::int64_t clockBase,
                                                std::int64_t* lastTime);

} // namespace gfx
