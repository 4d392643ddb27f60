#pragma once
// Jobs that probe a worker's bounds (WorkerJob::Probe*), asked by the tests
// that hold them: each does what a hostile source could make the front end
// do (compute, sleep, grow, fault, recurse, open a file) on request.
//
//   ProbeEcho        the request back
//   ProbeDescriptors "fd target\n" for each descriptor the worker holds
//   ProbeSleep       sleeps for ever, using no processor time
//   ProbeSpin        computes for ever
//   ProbeGrow        request: MiB (u64), milliseconds between them (u64);
//                    allocates and touches that many; reply: the count (u64)
//   ProbeFault       request: one byte, 0 SIGSEGV, 1 abort, 2 a block freed
//                    twice, 3 a trap
//   ProbeRecurse     request: depth (u32); recurses with 8 KiB frames;
//                    reply: a sum over the frames (u32)
//   ProbeOpenFile    request: a path; reply: one byte, 1 when it could be
//                    created

#include "platform/hlslhelper/HlslHelperProtocol.h"

#include <cstdint>
#include <vector>

namespace gfx::helper {

// The probe's reply; an empty one for a job that is no probe.
[[nodiscard]] std::vector<std::uint8_t> RunProbe(WorkerJob job, const std::vector<std::uint8_t>& request);

// The sum ProbeRecurse gives for `depth`, worked out without recursion.
[[nodiscard]] inline std::uint32_t ProbeRecurseSum(std::uint32_t depth) {
    std::uint32_t sum = 0;
    for (std::uint32_t d = 1; d <= depth; ++d) sum = std::uint8_t(d) + std::uint8_t(sum);
    return sum;
}

// The bytes of each frame ProbeRecurse keeps.
inline constexpr std::uint32_t kProbeFrameBytes = 8192;

} // namespace gfx::helper
