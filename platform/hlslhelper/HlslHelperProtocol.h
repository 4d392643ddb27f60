#pragma once
// What the host and the helper program (orvane-hlsl-helper) say to each
// other. The helper is started by exec, never forked from the host: it holds
// nothing of the host's but the two descriptors it is given, runs none of the
// host's handlers, and its memory is its own.
//
// The helper has two roles, named by its first argument:
//   worker   - a compile worker: glslang's tables built once at its start,
//              then one job at a time read from kHelperJobFd and answered on
//              kHelperReplyFd until the host closes its end;
//   gl-check - the gl back end's check of one program pair: the request read
//              from kHelperJobFd (a memory file), the verdict written to
//              kHelperReplyFd, then the end.
// Its second argument is the host's process id: a helper whose parent is
// another (the host gone before the helper started) ends at once.
//
// The bytes are those of one build (its byte order, its structures), so each
// side says which protocol it speaks first: a helper of another build is
// refused by name, never misread.

#include <cstddef>
#include <cstdint>

namespace gfx::helper {

// The program's file name, beside the game's binary.
inline constexpr const char* kHelperProgramName = "orvane-hlsl-helper";
// An environment variable that names the helper's path outright (a build
// tree's tools, a packaged game that keeps it elsewhere).
inline constexpr const char* kHelperPathVariable = "ORVANE_HLSL_HELPER";

inline constexpr const char* kWorkerRole = "worker";
inline constexpr const char* kGlCheckRole = "gl-check";

// Its two descriptors: what it reads, and what it writes. Standard input,
// output and error are /dev/null.
inline constexpr int kHelperJobFd = 3;
inline constexpr int kHelperReplyFd = 4;

// The helper's status when it could not run its role (its exec failed, its
// descriptors were missing, its parent was gone).
inline constexpr int kHelperNotRun = 127;

// Bumped whenever a structure below changes.
inline constexpr std::uint32_t kHelperProtocol = 0x4F480001; // "OH", version 1

// ---- worker ----

// What a worker sends once it is ready (its tables built): its protocol,
// and the size of a job's header as it reads it.
struct WorkerHello {
    std::uint32_t protocol = kHelperProtocol;
    std::uint32_t headerBytes = 0;
};

// What a job is.
enum class WorkerJob : std::uint32_t {
    // A compile's translation: its request and reply are the compile's own
    // (GfxUtilHlslTranslateJob.h).
    Translate = 1,
    // Probes of the worker's bounds, for the tests that hold them; each
    // request and reply is described at HlslHelperProbes.h.
    ProbeEcho = 100,
    ProbeDescriptors,
    ProbeSleep,
    ProbeSpin,
    ProbeGrow,
    ProbeFault,
    ProbeRecurse,
    ProbeOpenFile,
};

// What the host sends before a job's request: the job, the scope the worker
// runs it in, and the request's size. A reply is its size (8 bytes) and its
// bytes.
struct WorkerJobHeader {
    std::uint32_t protocol = kHelperProtocol;
    std::uint32_t job = 0;
    std::int64_t timeLeft = 0;   // nanoseconds of processor time
    std::int64_t workerTime = 0; // the worker's processor time so far, as the host read it
    std::uint64_t childBytes = 0, expandedBytes = 0;
    std::uint32_t includes = 0;
    std::uint32_t reserved = 0;
    std::uint64_t size = 0;
};

// A request no compile makes: the text is capped far below it.
inline constexpr std::uint64_t kMaxRequestBytes = std::uint64_t(1) << 31;

// ---- gl check ----

// The request's header in the memory file: magic, what the check is asked
// to do (GlCheckMode), the sizes of the vertex and fragment texts, then both.
inline constexpr std::uint32_t kGlCheckMagic = 0x4B434847; // "GHCK"
enum class GlCheckMode : std::uint32_t {
    Check = 0,
    // A test's check that crashes, hangs asleep or computes for ever.
    Crashes = 1,
    Hangs = 2,
    Spins = 3,
};
// The verdict's first byte, then the driver's log.
inline constexpr char kGlCheckOk = 'O', kGlCheckFailed = 'F', kGlCheckNoContext = 'C';
// The driver's log a verdict carries, at most.
inline constexpr std::size_t kGlCheckVerdictBytes = 16 * 1024;

} // namespace gfx::helper
