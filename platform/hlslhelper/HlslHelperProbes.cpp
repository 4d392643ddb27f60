#include "platform/hlslhelper/HlslHelperProbes.h"

#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <thread>

#include <unistd.h>

namespace gfx::helper {
namespace {

template <class T>
bool Field(const std::vector<std::uint8_t>& request, std::size_t at, T& value) {
    if (request.size() < at + sizeof value) return false;
    std::memcpy(&value, request.data() + at, sizeof value);
    return true;
}

template <class T>
std::vector<std::uint8_t> Bytes(const T& value) {
    std::vector<std::uint8_t> out(sizeof value);
    std::memcpy(out.data(), &value, sizeof value);
    return out;
}

// Each call keeps kProbeFrameBytes of its own frame until the deeper ones
// return: the stack it needs grows by that much a call. Never moved to an
// address sanitizer's heap of frames, so that the real stack is what grows.
__attribute__((noinline, no_sanitize_address)) std::uint32_t Deep(std::uint32_t depth) {
    volatile std::uint8_t frame[kProbeFrameBytes];
    // A byte at an offset the compiler cannot know: the whole array stays
    // one frame (one at known offsets alone may be cut to those bytes).
    const std::size_t far = kProbeFrameBytes / 2 + depth % (kProbeFrameBytes / 2);
    frame[0] = std::uint8_t(depth);
    frame[far] = 1;
    if (depth == 0) return frame[0];
    frame[1] = std::uint8_t(Deep(depth - 1));
    return std::uint32_t(frame[0]) + frame[1] + frame[far] - 1;
}

// By number, without a descriptor of its own: none may be opened.
std::vector<std::uint8_t> Descriptors() {
    std::string list;
    char target[512];
    for (int fd = 0; fd < 1024; ++fd) {
        const std::string link = "/proc/self/fd/" + std::to_string(fd);
        const ssize_t n = ::readlink(link.c_str(), target, sizeof target);
        if (n > 0) list += std::to_string(fd) + " " + std::string(target, std::size_t(n)) + "\n";
    }
    return {list.begin(), list.end()};
}

} // namespace

std::vector<std::uint8_t> RunProbe(WorkerJob job, const std::vector<std::uint8_t>& request) {
    switch (job) {
    case WorkerJob::ProbeEcho: return request;
    case WorkerJob::ProbeDescriptors: return Descriptors();
    case WorkerJob::ProbeSleep:
        for (;;) ::pause();
    case WorkerJob::ProbeSpin:
        for (std::uint64_t n = 0;; ++n) asm volatile("" : "+r"(n));
    case WorkerJob::ProbeGrow: {
        std::uint64_t mebibytes = 0, pause = 0;
        if (!Field(request, 0, mebibytes) || !Field(request, 8, pause)) return {};
        constexpr std::size_t kMiB = std::size_t(1) << 20;
        std::vector<std::unique_ptr<char[]>> blocks;
        for (std::uint64_t i = 0; i < mebibytes; ++i) {
            blocks.push_back(std::make_unique<char[]>(kMiB));
            std::memset(blocks.back().get(), 1, kMiB);
            if (pause > 0) std::this_thread::sleep_for(std::chrono::milliseconds(pause));
        }
        return Bytes(std::uint64_t(blocks.size()));
    }
    case WorkerJob::ProbeFault: {
        std::uint8_t kind = 0;
        if (!Field(request, 0, kind)) return {};
        if (kind == 0) ::raise(SIGSEGV);
        if (kind == 1) std::abort();
        if (kind == 2) {
            char* volatile block = static_cast<char*>(std::malloc(16));
            std::free(block);
            std::free(block);
        }
        __builtin_trap();
    }
    case WorkerJob::ProbeRecurse: {
        std::uint32_t depth = 0;
        if (!Field(request, 0, depth)) return {};
        return Bytes(Deep(depth));
    }
    case WorkerJob::ProbeOpenFile: {
        const std::string path(request.begin(), request.end());
        std::FILE* file = std::fopen(path.c_str(), "w");
        if (file) std::fclose(file);
        return std::vector<std::uint8_t>(1, file ? 1 : 0);
    }
    default: return {};
    }
}

} // namespace gfx::helper
