#pragma once
// The compile's workers: helper programs (platform/hlslhelper) started by
// exec, each serving job after job, reused while they stay sound. A job is
// held to the compile's budget (GfxUtilHlslBudget.h) while this process
// waits for its reply.

#include "platform/gfxutil/hlsl/GfxUtilHlslGuard.h"
#include "platform/hlslhelper/HlslHelperProtocol.h"

#include <chrono>
#include <cstdint>
#include <string>
#include <vector>

namespace gfx {

// Runs `job` on `request` in a worker and returns its answer in `reply`,
// bounded by the scope: its processor time (the worker's own, counted in
// the scope), its backstop and its memory cap (the worker's growth during
// the job), a fault a Stopped outcome. A worker that answered serves the
// next job, of any thread; one that failed is ended; a job whose worker had
// served others and stopped runs once more in a new one, so that no fault
// left by an earlier job decides a later one. NoChild, with the reason in
// `why`, where no worker could be had (the helper program not found, no
// process or thread to be made).
[[nodiscard]] HlslChildOutcome RunHlslWorkerJob(helper::WorkerJob job, const std::vector<std::uint8_t>& request,
                                                const HlslCompileScope& scope, std::vector<std::uint8_t>& reply,
                                                std::string* why = nullptr);
// The workers this process has started so far, for tests that see them reused.
[[nodiscard]] std::uint64_t HlslWorkersMade();
// The processor time the workers that serve still have taken over their
// jobs so far: a worker is not waited for while it serves, so its time is
// not among this process's children's until it ends (then it is, and no
// longer counted here).
[[nodiscard]] std::chrono::nanoseconds HlslWorkerTime();

} // namespace gfx
