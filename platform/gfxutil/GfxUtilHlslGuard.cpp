#include "platform/gfxutil/GfxUtilHlslGuard.h"

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <string>

#include <fcntl.h>
#include <poll.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

namespace gfx {
namespace {

// How often the caller looks at the child's memory while it waits.
constexpr int kWatchMilliseconds = 10;

thread_local const HlslCompileScope* t_scope = nullptr;

bool WriteAll(int fd, const void* data, std::size_t size) {
    const auto* p = static_cast<const std::uint8_t*>(data);
    while (size > 0) {
        const ssize_t n = ::write(fd, p, size);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        p += n;
        size -= static_cast<std::size_t>(n);
    }
    return true;
}

// The resident bytes of a process from /proc; 0 when unknown.
std::uint64_t ResidentBytes(const char* statm) {
    const int fd = ::open(statm, O_RDONLY | O_CLOEXEC);
    if (fd < 0) return 0;
    char text[128];
    const ssize_t n = ::read(fd, text, sizeof text - 1);
    ::close(fd);
    if (n <= 0) return 0;
    text[n] = '\0';
    unsigned long long size = 0, resident = 0;
    if (std::sscanf(text, "%llu %llu", &size, &resident) != 2) return 0;
    return resident * static_cast<std::uint64_t>(::sysconf(_SC_PAGESIZE));
}

// Everything the child writes, read until it closes its end, its time is up
// or its memory passes the cap.
HlslChildOutcome ReadReply(int fd, pid_t child, std::uint64_t shared, const HlslCompileScope& scope,
                           std::vector<std::uint8_t>& out) {
    const std::string statm = "/proc/" + std::to_string(child) + "/statm";
    std::uint8_t chunk[16384];
    for (;;) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(scope.Deadline() -
                                                                                 std::chrono::steady_clock::now());
        if (left.count() <= 0) return HlslChildOutcome::TooLong;
        const std::uint64_t resident = ResidentBytes(statm.c_str());
        if (resident > shared && resident - shared > scope.Limits().childBytes) return HlslChildOutcome::OutOfMemory;
        pollfd p{fd, POLLIN, 0};
        const int ready = ::poll(&p, 1, static_cast<int>(std::min<std::int64_t>(left.count(), kWatchMilliseconds)));
        if (ready < 0 && errno != EINTR) return HlslChildOutcome::Stopped;
        if (ready <= 0) continue;
        const ssize_t n = ::read(fd, chunk, sizeof chunk);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return HlslChildOutcome::Replied;
        out.insert(out.end(), chunk, chunk + n);
    }
}

} // namespace

HlslCompileScope::HlslCompileScope(const HlslCompileLimits& limits)
    : m_limits(limits), m_deadline(std::chrono::steady_clock::now() + limits.time), m_outer(t_scope) {
    if (m_outer) {
        m_deadline = std::min(m_deadline, m_outer->m_deadline);
        const HlslCompileLimits& o = m_outer->m_limits;
        m_limits.time = std::min(m_limits.time, o.time);
        m_limits.childBytes = std::min(m_limits.childBytes, o.childBytes);
        m_limits.includes = std::min(m_limits.includes, o.includes);
        m_limits.expandedBytes = std::min(m_limits.expandedBytes, o.expandedBytes);
    }
    t_scope = this;
}

HlslCompileScope::~HlslCompileScope() { t_scope = m_outer; }

const HlslCompileScope* HlslCompileScope::Current() { return t_scope; }

bool ReadIncludeText(std::FILE* file, std::uint64_t limit, std::string& text) {
    char chunk[4096];
    std::size_t got = 0;
    while ((got = std::fread(chunk, 1, sizeof chunk, file)) > 0) {
        if (text.size() + got > limit) return false;
        text.append(chunk, got);
    }
    return !std::ferror(file);
}

// glslang stops the process on some sources it should refuse (a null
// dereference on a return of an undeclared name in a conditional, found by
// fuzz_effect), and sources come from data files: glslang runs in a child
// process, and a child that dies, hangs or grows without end is a failed
// compile. Only glslang: this system's own code stays in the process, where a
// fault still shows.
HlslChildOutcome RunHlslChild(const std::function<std::vector<std::uint8_t>()>& work, const HlslCompileScope& scope,
                              std::vector<std::uint8_t>& reply) {
    reply.clear();
    if (scope.Expired()) return HlslChildOutcome::TooLong;
    int fds[2];
    if (::pipe2(fds, O_CLOEXEC) != 0) return HlslChildOutcome::NoChild;
    // What the child shares with this process when it starts counts as
    // resident in both: only its growth past that is its own.
    const std::uint64_t shared = ResidentBytes("/proc/self/statm");
    const pid_t parent = ::getpid();
    const pid_t child = ::fork();
    if (child < 0) {
        ::close(fds[0]);
        ::close(fds[1]);
        return HlslChildOutcome::NoChild;
    }
    if (child == 0) {
        // Ends when the thread that made it does: a caller killed mid-compile
        // leaves no compiler behind. The caller may have gone before the
        // signal was asked for; then it never comes.
        if (::prctl(PR_SET_PDEATHSIG, SIGKILL) != 0 || ::getppid() != parent) ::_exit(1);
        ::close(fds[0]);
        const std::vector<std::uint8_t> bytes = work();
        ::_exit(WriteAll(fds[1], bytes.data(), bytes.size()) ? 0 : 1); // nothing of the parent's is shut down here
    }
    ::close(fds[1]);
    HlslChildOutcome outcome = ReadReply(fds[0], child, shared, scope, reply);
    ::close(fds[0]);
    if (outcome != HlslChildOutcome::Replied) ::kill(child, SIGKILL);
    int status = 0;
    while (::waitpid(child, &status, 0) < 0 && errno == EINTR) {
    }
    if (outcome == HlslChildOutcome::Replied && (!WIFEXITED(status) || WEXITSTATUS(status) != 0))
        outcome = HlslChildOutcome::Stopped;
    return outcome;
}

} // namespace gfx
