#include "platform/hlslhelper/HlslHelperWorker.h"

#include "platform/gfxutil/hlsl/GfxUtilHlslGuard.h"
#include "platform/gfxutil/hlsl/GfxUtilHlslTranslateJob.h"
#include "platform/hlslhelper/HlslHelperHeap.h"
#include "platform/hlslhelper/HlslHelperIo.h"
#include "platform/hlslhelper/HlslHelperProbes.h"
#include "platform/hlslhelper/HlslHelperProtocol.h"

#include <algorithm>
#include <cerrno>
#include <cstring>

#include <pthread.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <unistd.h>

namespace gfx::helper {
namespace {

// The stack the jobs run on: glslang and SPIRV-Cross's GLSL writer recurse
// once or twice per block of a chain of statements, a few kilobytes a time,
// so a source of thousands of `if`s or loops in a row needs tens of
// megabytes. Reserved, not committed: only what a job's depth touches
// becomes memory (and counts against its cap). Under a limit on address
// space that leaves no room for it, the largest that fits.
constexpr std::size_t kStackBytes[] = {std::size_t(1) << 30, std::size_t(256) << 20, std::size_t(64) << 20};
// The unmapped guard below it, which a recursion past the stack meets.
constexpr std::size_t kStackGuardBytes = std::size_t(1) << 20;

// The next job's header and request; false when the host closed its end
// or sent what no host of this build sends.
bool ReadJob(int fd, WorkerJobHeader& h, std::vector<std::uint8_t>& request) {
    // Most requests come whole in the first read.
    static std::uint8_t chunk[65536];
    std::size_t got = 0;
    while (got < sizeof h) {
        const ssize_t n = ::read(fd, chunk + got, sizeof chunk - got);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        got += static_cast<std::size_t>(n);
    }
    std::memcpy(&h, chunk, sizeof h);
    if (h.protocol != kHelperProtocol || h.size > kMaxRequestBytes || got - sizeof h > h.size) return false;
    request.resize(h.size);
    const std::size_t first = got - sizeof h;
    if (first > 0) std::memcpy(request.data(), chunk + sizeof h, first);
    return ReadAll(fd, request.data() + first, request.size() - first);
}

// The loop, on the jobs' stack. Where the host is gone mid-job (killed,
// with this worker's death signal still on its way), the job's own processor
// time still ends it: the soft limit on it is set past the job's budget, and
// moves only when it falls short of that or lies far past it.
void* Serve(void*) {
    WarmHlslTranslation();
    // Nothing is opened from here on: a job works on bytes in memory, so no
    // handler left anywhere (a sanitizer's report, a crash file) can write.
    const rlimit noFiles{rlim_t(kHelperReplyFd) + 1, rlim_t(kHelperReplyFd) + 1};
    (void)::setrlimit(RLIMIT_NOFILE, &noFiles);
    const WorkerHello hello{kHelperProtocol, std::uint32_t(sizeof(WorkerJobHeader))};
    if (!WriteAll(kHelperReplyFd, &hello, sizeof hello)) ::_exit(0);
    rlimit cpu{};
    const bool limitKnown = ::getrlimit(RLIMIT_CPU, &cpu) == 0;
    rlim_t softSet = 0;
    for (;;) {
        WorkerJobHeader h;
        std::vector<std::uint8_t> request;
        if (!ReadJob(kHelperJobFd, h, request)) ::_exit(h.protocol == kHelperProtocol ? 0 : kHelperNotRun);
        if (limitKnown) {
            // Whole seconds rounded up, then two more: the host, which
            // ends a job at its budget, has that long to see it first (a
            // job ended here reads as a worker that stopped).
            const rlim_t soft = rlim_t((std::max<std::int64_t>(h.workerTime, 0) +
                                        std::max<std::int64_t>(h.timeLeft, 0) + 999999999) /
                                       1000000000) +
                                2;
            if (softSet < soft || softSet > soft + 2) {
                cpu.rlim_cur = cpu.rlim_max == RLIM_INFINITY ? soft : std::min(soft, cpu.rlim_max);
                if (::setrlimit(RLIMIT_CPU, &cpu) == 0) softSet = soft;
            }
        }
        HlslCompileLimits limits;
        limits.time = std::chrono::duration_cast<std::chrono::milliseconds>(
            std::chrono::nanoseconds(std::max<std::int64_t>(h.timeLeft, 0)));
        limits.childBytes = h.childBytes;
        limits.expandedBytes = h.expandedBytes;
        limits.includes = h.includes;
        std::vector<std::uint8_t> reply;
        {
            const HlslCompileScope scope(limits);
            const auto job = static_cast<WorkerJob>(h.job);
            reply = job == WorkerJob::Translate ? TranslateHlslRequest(request) : RunProbe(job, request);
        }
        // Its size first, in the same piece.
        const std::uint64_t size = reply.size();
        reply.insert(reply.begin(), reinterpret_cast<const std::uint8_t*>(&size),
                     reinterpret_cast<const std::uint8_t*>(&size) + sizeof size);
        if (!WriteAll(kHelperReplyFd, reply.data(), reply.size())) ::_exit(0);
    }
}

} // namespace

void ServeCompileJobs() {
    // The process is on one thread: the heap is switched before any other.
    (void)UseHlslWorkerHeap();
    for (const std::size_t bytes : kStackBytes) {
        pthread_attr_t attributes;
        if (::pthread_attr_init(&attributes) != 0) break;
        pthread_t thread;
        const bool made = ::pthread_attr_setstacksize(&attributes, bytes) == 0 &&
                          ::pthread_attr_setguardsize(&attributes, kStackGuardBytes) == 0 &&
                          ::pthread_create(&thread, &attributes, &Serve, nullptr) == 0;
        (void)::pthread_attr_destroy(&attributes);
        if (made) {
            (void)::pthread_join(thread, nullptr);
            ::_exit(0);
        }
    }
    // No thread at all: the main thread's own stack.
    (void)Serve(nullptr);
    ::_exit(0);
}

} // namespace gfx::helper
