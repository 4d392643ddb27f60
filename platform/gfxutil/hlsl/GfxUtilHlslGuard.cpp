#include "platform/gfxutil/hlsl/GfxUtilHlslGuard.h"

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <string>

#include <fcntl.h>
#include <poll.h>
#include <pthread.h>
#include <sys/prctl.h>
#include <sys/resource.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

// Present in sanitized builds only.
extern "C" void __sanitizer_set_death_callback(void (*callback)()) __attribute__((weak));

namespace gfx {
namespace {

// The sanitizers take a thread started in a child badly: ThreadSanitizer
// ends a child that starts one after the fork of a process with several,
// and AddressSanitizer's allocator, whose locks a fork does not take, may
// be held by another thread of the caller for ever in the child, where a
// new thread needs it. There the child's work runs on the stack the fork
// gave it.
#if defined(__SANITIZE_THREAD__) || defined(__SANITIZE_ADDRESS__)
constexpr bool kThreadInChild = false;
#elif defined(__has_feature)
#if __has_feature(thread_sanitizer) || __has_feature(address_sanitizer)
constexpr bool kThreadInChild = false;
#else
constexpr bool kThreadInChild = true;
#endif
#else
constexpr bool kThreadInChild = true;
#endif

// How often the caller looks at the child's memory while it waits.
constexpr int kWatchMilliseconds = 10;
// The child's status when it cannot run or reply.
constexpr int kChildFailed = 1;

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

// The resident anonymous bytes of a process (its heap and stacks, not the
// pages of files and libraries it maps) from /proc; -1 when unknown.
std::int64_t AnonymousBytes(const char* statm) {
    const int fd = ::open(statm, O_RDONLY | O_CLOEXEC);
    if (fd < 0) return -1;
    char text[128];
    const ssize_t n = ::read(fd, text, sizeof text - 1);
    ::close(fd);
    if (n <= 0) return -1;
    text[n] = '\0';
    unsigned long long size = 0, resident = 0, shared = 0;
    if (std::sscanf(text, "%llu %llu %llu", &size, &resident, &shared) != 3 || shared > resident) return -1;
    return static_cast<std::int64_t>((resident - shared) * static_cast<std::uint64_t>(::sysconf(_SC_PAGESIZE)));
}

// Everything the child writes, read until it closes its end, its time is up
// or its memory passes the cap. `base`: the caller's anonymous bytes just
// before the fork, which the child shares and so counts as its own too.
HlslChildOutcome ReadReply(int fd, pid_t child, std::int64_t base, const HlslCompileScope& scope,
                           std::vector<std::uint8_t>& out) {
    const std::string statm = "/proc/" + std::to_string(child) + "/statm";
    // The child's anonymous pages are what it allocates: the pages of a file
    // the caller maps come to the child only as it touches them, so a base
    // that counted them (the caller's whole resident size) would let the
    // child grow by that much more. Its own first sample is a base too,
    // should it have started with less than the caller had.
    bool sampled = false;
    const auto cap = static_cast<std::int64_t>(std::min<std::uint64_t>(scope.Limits().childBytes, INT64_MAX / 2));
    std::uint8_t chunk[16384];
    for (;;) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(scope.Deadline() -
                                                                                 std::chrono::steady_clock::now());
        if (left.count() <= 0) return HlslChildOutcome::TooLong;
        if (const std::int64_t anonymous = AnonymousBytes(statm.c_str()); anonymous >= 0) {
            if (!sampled && (base < 0 || anonymous < base)) base = anonymous;
            sampled = true;
            if (anonymous - base > cap) return HlslChildOutcome::OutOfMemory;
        }
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

[[noreturn]] void DieQuietly() { ::_exit(kChildFailed); }

void* RunStackWork(void* work) {
    (*static_cast<const std::function<void()>*>(work))();
    return nullptr;
}

// What the child does before it runs the front end: the descriptors of this
// process go (see below), and a fault of the front end ends it quietly. It is
// a copy of the caller without an exec, so the caller's handlers would run
// in it: a sanitizer's report, or under the fuzzer a crash file and the run's
// statistics, all for a fault the caller turns into a refusal anyway. The
// reply's end becomes descriptor 3; its number, or -1 when that fails.
int BecomeQuietChild(int replyEnd) {
    struct sigaction fault {};
    fault.sa_handler = SIG_DFL;
    sigemptyset(&fault.sa_mask);
    for (const int signal : {SIGSEGV, SIGBUS, SIGFPE, SIGILL, SIGABRT, SIGTRAP, SIGSYS, SIGXCPU, SIGXFSZ})
        (void)::sigaction(signal, &fault, nullptr);
    // A sanitizer that finds a fault without a signal (a bad free) reports
    // and then calls this before it dies: the fuzzer's callback, which
    // writes the crash file, is replaced.
    if (__sanitizer_set_death_callback) __sanitizer_set_death_callback(&DieQuietly);
    const rlimit noCore{0, 0};
    (void)::setrlimit(RLIMIT_CORE, &noCore);
    // The fork copied every descriptor of the caller, among them the pipes of
    // compiles under way on other threads: a child holding another
    // compile's write end keeps that compile's reader waiting for an end of
    // file until this child ends. Only the reply's end stays; standard input
    // and output go to /dev/null, so nothing the front end or a handler
    // prints reaches the caller's output or a file opened in their place.
    constexpr int kReplyFd = 3;
    if (replyEnd != kReplyFd && ::dup2(replyEnd, kReplyFd) != kReplyFd) return -1;
    const int null = ::open("/dev/null", O_RDWR);
    for (int fd = 0; fd < kReplyFd; ++fd) {
        if (null < 0) (void)::close(fd);
        else if (null != fd) (void)::dup2(null, fd);
    }
    if (::syscall(SYS_close_range, kReplyFd + 1, ~0u, 0) != 0) {
        // A kernel before close_range: every number up to the limit.
        rlimit files{};
        const rlim_t last = ::getrlimit(RLIMIT_NOFILE, &files) == 0 && files.rlim_cur != RLIM_INFINITY
                                ? std::min<rlim_t>(files.rlim_cur, 1u << 20)
                                : 1u << 16;
        for (rlim_t fd = kReplyFd + 1; fd < last; ++fd) (void)::close(static_cast<int>(fd));
    }
    // And none is made from here on: the child works on text in memory, so
    // no handler left anywhere can write a file (a crash file, a report).
    const rlimit noFiles{kReplyFd + 1, kReplyFd + 1};
    (void)::setrlimit(RLIMIT_NOFILE, &noFiles);
    return kReplyFd;
}

} // namespace

HlslCompileScope::HlslCompileScope(const HlslCompileLimits& limits)
    : m_limits(limits), m_deadline(std::chrono::steady_clock::now() + limits.time), m_outer(t_scope) {
    if (m_outer) {
        // The outer deadline whole, later or sooner than this scope's own: a
        // caller that gives a compile more time than its default (a test
        // counting steps on a slow build) gets it.
        m_deadline = m_outer->m_deadline;
        const HlslCompileLimits& o = m_outer->m_limits;
        m_limits.time = o.time;
        m_limits.childBytes = std::min(m_limits.childBytes, o.childBytes);
        m_limits.includes = std::min(m_limits.includes, o.includes);
        m_limits.expandedBytes = std::min(m_limits.expandedBytes, o.expandedBytes);
    }
    t_scope = this;
}

HlslCompileScope::~HlslCompileScope() { t_scope = m_outer; }

const HlslCompileScope* HlslCompileScope::Current() { return t_scope; }

std::uint64_t SourceFileByteCap() {
    const HlslCompileScope* scope = HlslCompileScope::Current();
    return scope ? scope->Limits().expandedBytes : HlslCompileLimits{}.expandedBytes;
}

bool ReadIncludeText(std::FILE* file, std::uint64_t limit, std::string& text) {
    char chunk[4096];
    std::size_t got = 0;
    while ((got = std::fread(chunk, 1, sizeof chunk, file)) > 0) {
        if (text.size() + got > limit) return false;
        text.append(chunk, got);
    }
    return !std::ferror(file);
}

bool RunOnHlslStack(const std::function<void()>& work) {
    // The C library maps the stack, with its guard below, as the sanitizers
    // expect of a thread's stack, and unmaps it at the join. The guard is a
    // megabyte: a frame of a few kilobytes past the stack's end still lands
    // in it, not in whatever is mapped below.
    pthread_attr_t attributes;
    if (::pthread_attr_init(&attributes) != 0) return false;
    pthread_t thread;
    const bool made = ::pthread_attr_setstacksize(&attributes, kHlslStackBytes) == 0 &&
                      ::pthread_attr_setguardsize(&attributes, kHlslStackGuardBytes) == 0 &&
                      ::pthread_create(&thread, &attributes, &RunStackWork,
                                       const_cast<void*>(static_cast<const void*>(&work))) == 0;
    (void)::pthread_attr_destroy(&attributes);
    if (made) (void)::pthread_join(thread, nullptr);
    return made;
}

// glslang stops the process on some sources it should refuse (a null
// dereference on a return of an undeclared name in a conditional, found by
// fuzz_effect), and it and SPIRV-Cross's GLSL writer recurse as deep as a
// source's chain of blocks is long; sources come from data files. The work
// on a program runs in a child process, and a child that dies, hangs or
// grows without end is a failed compile.
HlslChildOutcome RunHlslChild(const std::function<std::vector<std::uint8_t>()>& work, const HlslCompileScope& scope,
                              std::vector<std::uint8_t>& reply) {
    reply.clear();
    if (scope.Expired()) return HlslChildOutcome::TooLong;
    int fds[2];
    if (::pipe2(fds, O_CLOEXEC) != 0) return HlslChildOutcome::NoChild;
    // The anonymous pages the child shares with this process when it starts
    // count as resident in both: only its growth past them is its own.
    const std::int64_t base = AnonymousBytes("/proc/self/statm");
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
        if (::prctl(PR_SET_PDEATHSIG, SIGKILL) != 0 || ::getppid() != parent) ::_exit(kChildFailed);
        const int replyFd = BecomeQuietChild(fds[1]);
        if (replyFd < 0) ::_exit(kChildFailed);
        // On a stack of its own: the caller's thread may have a small one.
        std::vector<std::uint8_t> bytes;
        if (!kThreadInChild || !RunOnHlslStack([&] { bytes = work(); })) bytes = work();
        // Nothing of the parent's is shut down here.
        ::_exit(WriteAll(replyFd, bytes.data(), bytes.size()) ? 0 : kChildFailed);
    }
    ::close(fds[1]);
    HlslChildOutcome outcome = ReadReply(fds[0], child, base, scope, reply);
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
