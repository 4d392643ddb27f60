#include "platform/gfxutil/hlsl/GfxUtilHlslGuard.h"
#include "platform/gfxutil/hlsl/GfxUtilHlslWorkerHeap.h"

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <condition_variable>
#include <mutex>
#include <string>

#include <fcntl.h>
#include <linux/futex.h>
#include <poll.h>
#include <pthread.h>
#include <sys/mman.h>
#include <sys/prctl.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/syscall.h>
#include <sys/time.h>
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
// Whether this thread runs on a stack of RunOnHlslStack's.
thread_local bool t_onHlslStack = false;

// This process's id, kept here rather than asked of the kernel at every
// look at a compile's time: set before main and again in every child a fork
// makes (a fork runs the handler whichever thread calls it).
std::atomic<pid_t> g_process{0};
void AfterForkInChild() { g_process.store(::getpid(), std::memory_order_relaxed); }
const bool g_processKnown = [] {
    g_process.store(::getpid(), std::memory_order_relaxed);
    return ::pthread_atfork(nullptr, nullptr, &AfterForkInChild) == 0;
}();
pid_t ThisProcess() {
    // Without the handler a child would keep its parent's id.
    return g_processKnown ? g_process.load(std::memory_order_relaxed) : ::getpid();
}

// The last reading of a compile's processor time on this thread: reading
// it is a system call, and between readings it grows by no more than the
// clock times the threads counted (the scope's own and the one it is
// carried to), so a look well within the budget needs no reading.
struct TimeLook {
    std::uint64_t scope = 0; // the root scope's serial number
    std::int64_t threadsTime = 0;
    std::chrono::steady_clock::time_point at;
};
thread_local TimeLook t_look;
constexpr int kThreadsCounted = 2;
std::atomic<std::uint64_t> g_scopeSerial{0};

// A processor-time clock's reading in nanoseconds; -1 when it cannot be read
// (a thread that ended, a clock of another process).
std::int64_t ClockNanoseconds(clockid_t clock) {
    timespec t{};
    if (::clock_gettime(clock, &t) != 0) return -1;
    return std::int64_t(t.tv_sec) * 1000000000 + t.tv_nsec;
}

// This thread's processor-time clock.
bool ThisThreadsClock(clockid_t& clock) { return ::pthread_getcpuclockid(::pthread_self(), &clock) == 0; }

// `socket`: sent without the signal a closed socket raises, so that a
// worker that died between jobs is a failed send, not the end of the caller.
bool WriteAll(int fd, const void* data, std::size_t size, bool socket = false) {
    const auto* p = static_cast<const std::uint8_t*>(data);
    while (size > 0) {
        const ssize_t n = socket ? ::send(fd, p, size, MSG_NOSIGNAL) : ::write(fd, p, size);
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
    // Its first three numbers: size, resident, shared (in pages).
    unsigned long long fields[3] = {0, 0, 0};
    const char* at = text;
    for (unsigned long long& field : fields) {
        char* end = nullptr;
        field = std::strtoull(at, &end, 10);
        if (end == at) return -1;
        at = end;
    }
    const unsigned long long resident = fields[1], shared = fields[2];
    if (shared > resident) return -1;
    return static_cast<std::int64_t>((resident - shared) * static_cast<std::uint64_t>(::sysconf(_SC_PAGESIZE)));
}

// Everything the child writes, read until it closes its end, the compile's
// processor time with the child's passes its budget (or the clock its
// backstop) or its memory passes the cap. `base`: the caller's anonymous
// bytes just before the fork, which the child shares and so counts as its
// own too. Little of it on the stack: the caller's thread may have a small one.
// A worker's reply is framed (its size first, see ReadFramed): it is whole
// at that size, not at an end of file; `clockBase` is the worker's
// processor time when its job began, and `childTime` the job's as last read.
// A worker is first given one watch's time to answer before it is looked
// at: most jobs end sooner, and each look is several system calls.
HlslChildOutcome ReadReply(int fd, pid_t child, std::int64_t base, const HlslCompileScope& scope,
                           std::vector<std::uint8_t>& out, bool framed = false, std::int64_t clockBase = 0,
                           std::int64_t* lastTime = nullptr) {
    clockid_t childClock{};
    bool clockKnown = false, clockAsked = false;
    std::int64_t childTime = 0;
    std::int64_t unused = 0;
    std::int64_t& timeRead = lastTime ? *lastTime : unused;
    const std::int64_t budget = std::chrono::nanoseconds(scope.Limits().time).count();
    // This thread only waits from here on: its share is read once, at the
    // first look (a worker's job mostly ends before it).
    std::int64_t spentHere = -1;
    bool look = !framed;
    const std::string statm = "/proc/" + std::to_string(child) + "/statm";
    // The child's anonymous pages are what it allocates: the pages of a file
    // the caller maps come to the child only as it touches them, so a base
    // that counted them (the caller's whole resident size) would let the
    // child grow by that much more. Its own first sample is a base too,
    // should it have started with less than the caller had.
    bool sampled = false;
    const auto cap = static_cast<std::int64_t>(std::min<std::uint64_t>(scope.Limits().childBytes, INT64_MAX / 2));
    constexpr std::size_t kChunk = 16384;
    for (;;) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(scope.Deadline() -
                                                                                 std::chrono::steady_clock::now());
        if (left.count() <= 0) return HlslChildOutcome::TooLong;
        if (look) {
            if (!clockAsked) {
                clockAsked = true;
                clockKnown = ::clock_getcpuclockid(child, &childClock) == 0;
            }
            if (clockKnown) {
                // A child that ended reads as it last did; its whole time
                // comes from its reaping.
                if (const std::int64_t now = ClockNanoseconds(childClock); now >= 0) childTime = now - clockBase;
                timeRead = childTime;
            }
            if (spentHere < 0) spentHere = scope.Spent().count();
            if (spentHere + childTime >= budget) return HlslChildOutcome::TooLong;
            if (const std::int64_t anonymous = AnonymousBytes(statm.c_str()); anonymous >= 0) {
                if (!sampled && (base < 0 || anonymous < base)) base = anonymous;
                sampled = true;
                if (anonymous - base > cap) return HlslChildOutcome::OutOfMemory;
            }
        }
        look = true;
        if (!framed) {
            pollfd p{fd, POLLIN, 0};
            const int ready =
                ::poll(&p, 1, static_cast<int>(std::min<std::int64_t>(left.count(), kWatchMilliseconds)));
            if (ready < 0 && errno != EINTR) return HlslChildOutcome::Stopped;
            if (ready <= 0) continue;
        }
        // A worker's socket waits a watch at most for each read (its receive
        // timeout): one call a piece of the reply.
        const std::size_t had = out.size();
        out.resize(had + kChunk);
        const ssize_t n = ::read(fd, out.data() + had, kChunk);
        out.resize(had + std::size_t(std::max<ssize_t>(n, 0)));
        if (n < 0 && (errno == EINTR || (framed && (errno == EAGAIN || errno == EWOULDBLOCK)))) continue;
        if (!framed && n <= 0) return HlslChildOutcome::Replied;
        if (n <= 0) return HlslChildOutcome::Stopped; // a worker ended mid-reply
        std::uint64_t size = 0;
        if (out.size() >= sizeof size) {
            std::memcpy(&size, out.data(), sizeof size);
            if (size > out.size() - sizeof size) continue;
            if (size < out.size() - sizeof size) return HlslChildOutcome::Stopped;
            out.erase(out.begin(), out.begin() + std::ptrdiff_t(sizeof size));
            return HlslChildOutcome::Replied;
        }
    }
}

[[noreturn]] void DieQuietly() { ::_exit(kChildFailed); }

// What a thread of RunOnHlslStack runs: its work, within the scope carried.
struct StackWork {
    const std::function<void()>& work;
    const HlslCompileScope* scope;
};

} // namespace

// The compile's scope on the thread it is carried to, that thread's
// processor time counted in it while it runs and added once it ends.
struct HlslScopeCarry {
    const HlslCompileScope* root = nullptr;
    explicit HlslScopeCarry(const HlslCompileScope* scope) {
        t_scope = scope;
        if (!scope) return;
        const HlslCompileScope* r = scope->m_root;
        clockid_t clock{};
        if (r->m_carried.load() || r->m_pid != ThisProcess() || !ThisThreadsClock(clock)) return;
        const std::int64_t start = ClockNanoseconds(clock);
        if (start < 0) return;
        r->m_carriedClock = clock;
        r->m_carriedStart = start;
        r->m_carried.store(true);
        root = r;
    }
    ~HlslScopeCarry() {
        if (root) {
            const std::int64_t end = ClockNanoseconds(root->m_carriedClock);
            root->m_carried.store(false);
            if (end > root->m_carriedStart) root->m_ended += end - root->m_carriedStart;
        }
        t_scope = nullptr;
    }
    HlslScopeCarry(const HlslScopeCarry&) = delete;
    HlslScopeCarry& operator=(const HlslScopeCarry&) = delete;
};

namespace {

// A thread on a stack of kHlslStackBytes that runs one piece of work at a
// time and waits for the next between them: a thread made for each compile
// cost more system calls (its stack mapped, guarded and unmapped, its
// start and end) than the compile's own work on it. Never destroyed: an
// idle one waits until the process ends, one told to stop ends by itself.
class StackRunner {
public:
    // A new runner; nullptr when no thread can be made.
    static StackRunner* Make() {
        auto* runner = new StackRunner;
        // The C library maps the stack, with its guard below, as the
        // sanitizers expect of a thread's stack. The guard is a megabyte: a
        // frame of a few kilobytes past the stack's end still lands in it,
        // not in whatever is mapped below.
        pthread_attr_t attributes;
        bool made = ::pthread_attr_init(&attributes) == 0;
        if (made) {
            pthread_t thread;
            made = ::pthread_attr_setstacksize(&attributes, kHlslStackBytes) == 0 &&
                   ::pthread_attr_setguardsize(&attributes, kHlslStackGuardBytes) == 0 &&
                   ::pthread_attr_setdetachstate(&attributes, PTHREAD_CREATE_DETACHED) == 0 &&
                   ::pthread_create(&thread, &attributes, &StackRunner::Main, runner) == 0;
            (void)::pthread_attr_destroy(&attributes);
        }
        if (made) return runner;
        delete runner;
        return nullptr;
    }

    // `work` run on this runner's thread; returns once it ended.
    void Run(const StackWork& work) {
        m_work = &work;
        Post(kPosted);
        AwaitOtherThan(kPosted);
    }

    // The runner ends once it next waits; no work may be given it after.
    void Stop() { Post(kStop); }

private:
    StackRunner() = default;

    // The hand-over: one word, each side waking the other once (a mutex and
    // condition pair took three system calls a side).
    enum : std::uint32_t { kIdle, kPosted, kDone, kStop };

    void Post(std::uint32_t state) {
        m_state.store(state, std::memory_order_release);
        (void)::syscall(SYS_futex, reinterpret_cast<std::uint32_t*>(&m_state), FUTEX_WAKE_PRIVATE, 1, nullptr, nullptr, 0);
    }

    // The state once it is none of `a` and `b`.
    std::uint32_t AwaitOtherThan(std::uint32_t a, std::uint32_t b = kIdle) {
        for (;;) {
            const std::uint32_t now = m_state.load(std::memory_order_acquire);
            if (now != a && now != b) return now;
            (void)::syscall(SYS_futex, reinterpret_cast<std::uint32_t*>(&m_state), FUTEX_WAIT_PRIVATE, now, nullptr,
                            nullptr, 0);
        }
    }

    static void* Main(void* arg) {
        auto& runner = *static_cast<StackRunner*>(arg);
        t_onHlslStack = true;
        std::uint8_t* low = nullptr;
        std::size_t size = 0;
        pthread_attr_t attributes;
        if (::pthread_getattr_np(::pthread_self(), &attributes) == 0) {
            void* address = nullptr;
            if (::pthread_attr_getstack(&attributes, &address, &size) != 0) size = 0;
            low = static_cast<std::uint8_t*>(address);
            (void)::pthread_attr_destroy(&attributes);
        }
        for (std::uint32_t works = 0;; ++works) {
            if (runner.AwaitOtherThan(kDone) == kStop) break;
            const StackWork& w = *runner.m_work;
            const auto start = std::chrono::steady_clock::now();
            {
                const HlslScopeCarry carry(w.scope);
                w.work();
            }
            // Work of a few milliseconds cannot have gone deep (each page of
            // stack is a fault of its own); the depths of the rest, and now
            // and then of all, are given back.
            if (std::chrono::steady_clock::now() - start >= kDeepWork || works % kWorksBetweenReleases == 0)
                ReleaseDepths(low, size);
            runner.m_work = nullptr;
            runner.Post(kDone);
        }
        delete &runner;
        return nullptr;
    }

    static constexpr std::chrono::milliseconds kDeepWork{10};
    static constexpr std::uint32_t kWorksBetweenReleases = 64;

    // The pages of the stack below this frame given back: a source that
    // recursed deep left them resident, and the thread lives on.
    static void ReleaseDepths(std::uint8_t* low, std::size_t size) {
        if (!low || size == 0) return;
        const std::uintptr_t page = std::uintptr_t(::sysconf(_SC_PAGESIZE));
        std::uint8_t here = 0;
        // What this function's callees may still touch stays.
        const std::uintptr_t end = (reinterpret_cast<std::uintptr_t>(&here) - (64u << 10)) & ~(page - 1);
        const auto start = reinterpret_cast<std::uintptr_t>(low);
        if (end > start && end <= start + size)
            (void)::madvise(low, end - start, MADV_DONTNEED);
    }

    std::atomic<std::uint32_t> m_state{kIdle};
    const StackWork* m_work = nullptr;
};
static_assert(sizeof(std::atomic<std::uint32_t>) == sizeof(std::uint32_t));

// The runners of this process waiting for work: a process forked from this
// one has none of their threads, and makes its own. A fork waits until no
// thread holds the list, so that a child (a compile's, a test's) finds it
// free.
struct StackRunners {
    std::mutex lock;
    pid_t of = 0;
    std::vector<StackRunner*> idle;
};
constexpr std::size_t kIdleRunners = 4;

StackRunners& TheStackRunners() {
    // Never destroyed: its runners may outlive every static.
    static StackRunners* const runners = [] {
        auto* made = new StackRunners;
        (void)::pthread_atfork([] { TheStackRunners().lock.lock(); }, [] { TheStackRunners().lock.unlock(); },
                               [] {
                                   StackRunners& mine = TheStackRunners();
                                   mine.idle.clear();
                                   mine.of = ::getpid();
                                   mine.lock.unlock();
                               });
        return made;
    }();
    return *runners;
}

// What the child does before it runs the front end: the descriptors of this
// process go (see below), and a fault of the front end ends it quietly. It is
// a copy of the caller without an exec, so the caller's handlers would run
// in it: a sanitizer's report, or under the fuzzer a crash file and the run's
// statistics, all for a fault the caller turns into a refusal anyway. The
// reply's end becomes descriptor 3 and a job's end, where there is one, 4;
// the reply's number, or -1 when that fails.
constexpr int kReplyFd = 3;
constexpr int kJobFd = 4;
int BecomeQuietChild(int replyEnd, int jobEnd = -1) {
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
    // file until this child ends. Only the reply's end (and a worker's job
    // end) stays; standard input and output go to /dev/null, so nothing the
    // front end or a handler prints reaches the caller's output or a file
    // opened in their place. The job's end moves out of the reply's way
    // first.
    if (jobEnd == kReplyFd && (jobEnd = ::fcntl(jobEnd, F_DUPFD_CLOEXEC, kJobFd + 1)) < 0) return -1;
    if (replyEnd != kReplyFd && ::dup2(replyEnd, kReplyFd) != kReplyFd) return -1;
    if (jobEnd >= 0 && jobEnd != kJobFd && ::dup2(jobEnd, kJobFd) != kJobFd) return -1;
    const int kept = jobEnd >= 0 ? kJobFd : kReplyFd;
    const int null = ::open("/dev/null", O_RDWR);
    for (int fd = 0; fd < kReplyFd; ++fd) {
        if (null < 0) (void)::close(fd);
        else if (null != fd) (void)::dup2(null, fd);
    }
    if (::syscall(SYS_close_range, kept + 1, ~0u, 0) != 0) {
        // A kernel before close_range: every number up to the limit.
        rlimit files{};
        const rlim_t last = ::getrlimit(RLIMIT_NOFILE, &files) == 0 && files.rlim_cur != RLIM_INFINITY
                                ? std::min<rlim_t>(files.rlim_cur, 1u << 20)
                                : 1u << 16;
        for (rlim_t fd = kept + 1; fd < last; ++fd) (void)::close(static_cast<int>(fd));
    }
    // And none is made from here on: the child works on text in memory, so
    // no handler left anywhere can write a file (a crash file, a report).
    const rlimit noFiles{rlim_t(kept) + 1, rlim_t(kept) + 1};
    (void)::setrlimit(RLIMIT_NOFILE, &noFiles);
    return kReplyFd;
}

} // namespace

HlslCompileScope::HlslCompileScope(const HlslCompileLimits& limits)
    : m_limits(limits), m_deadline(std::chrono::steady_clock::now() + kHlslWallTimesProcessorTime * limits.time),
      m_outer(t_scope) {
    if (m_outer) {
        m_root = m_outer->m_root;
        // The outer deadline whole, later or sooner than this scope's own: a
        // caller that gives a compile more time than its default (a test
        // counting steps on a slow build) gets it.
        m_deadline = m_outer->m_deadline;
        const HlslCompileLimits& o = m_outer->m_limits;
        m_limits.time = o.time;
        m_limits.childBytes = std::min(m_limits.childBytes, o.childBytes);
        m_limits.includes = std::min(m_limits.includes, o.includes);
        m_limits.expandedBytes = std::min(m_limits.expandedBytes, o.expandedBytes);
    } else {
        m_pid = ThisProcess();
        m_serial = ++g_scopeSerial;
        // The reading is this thread's first look: nothing spent by a
        // moment just before it.
        const auto before = std::chrono::steady_clock::now();
        m_clockKnown = ThisThreadsClock(m_clock);
        if (m_clockKnown) m_clockStart = ClockNanoseconds(m_clock);
        m_clockKnown = m_clockKnown && m_clockStart >= 0;
        if (m_clockKnown) t_look = TimeLook{m_serial, 0, before};
    }
    t_scope = this;
}

HlslCompileScope::~HlslCompileScope() { t_scope = m_outer; }

std::chrono::nanoseconds HlslCompileScope::Spent() const {
    const HlslCompileScope& r = *m_root;
    // In a child forked mid-compile the clocks are the caller's threads',
    // which it cannot read: there the caller counts, and the backstop holds.
    if (r.m_pid != ThisProcess()) return std::chrono::nanoseconds(0);
    std::int64_t spent = r.m_ended.load();
    if (r.m_clockKnown) {
        if (const std::int64_t now = ClockNanoseconds(r.m_clock); now > r.m_clockStart) spent += now - r.m_clockStart;
    }
    if (r.m_carried.load()) {
        if (const std::int64_t now = ClockNanoseconds(r.m_carriedClock); now > r.m_carriedStart)
            spent += now - r.m_carriedStart;
    }
    return std::chrono::nanoseconds(spent);
}

std::chrono::nanoseconds HlslCompileScope::Left() const {
    const std::chrono::nanoseconds left = std::chrono::nanoseconds(m_limits.time) - Spent();
    return std::max(left, std::chrono::nanoseconds(0));
}

bool HlslCompileScope::Expired() const {
    const auto now = std::chrono::steady_clock::now();
    return now >= m_deadline || SpentAtLeast(m_limits.time, now);
}

bool HlslCompileScope::SpentAtLeast(std::chrono::nanoseconds mark) const {
    return SpentAtLeast(mark, std::chrono::steady_clock::now());
}

bool HlslCompileScope::SpentAtLeast(std::chrono::nanoseconds mark, std::chrono::steady_clock::time_point now) const {
    const HlslCompileScope& r = *m_root;
    const std::int64_t budget = mark.count();
    TimeLook& look = t_look;
    if (look.scope == r.m_serial && r.m_pid == ThisProcess()) {
        const std::int64_t since = std::chrono::nanoseconds(now - look.at).count();
        if (r.m_ended.load() + look.threadsTime + kThreadsCounted * since < budget) return false;
    }
    // What ended is read before the whole, so that a child's time added in
    // between counts twice rather than not at all.
    const std::int64_t ended = r.m_ended.load();
    const std::int64_t spent = Spent().count();
    look = TimeLook{r.m_serial, std::max<std::int64_t>(spent - ended, 0), now};
    return spent >= budget;
}

std::chrono::nanoseconds HlslCompileScope::SpentAtMost() const {
    const HlslCompileScope& r = *m_root;
    const auto now = std::chrono::steady_clock::now();
    const TimeLook& look = t_look;
    if (look.scope == r.m_serial && r.m_pid == ThisProcess())
        return std::chrono::nanoseconds(r.m_ended.load() + look.threadsTime +
                                        kThreadsCounted * std::chrono::nanoseconds(now - look.at).count());
    const std::int64_t ended = r.m_ended.load();
    const std::int64_t spent = Spent().count();
    t_look = TimeLook{r.m_serial, std::max<std::int64_t>(spent - ended, 0), now};
    return std::chrono::nanoseconds(spent);
}

void HlslCompileScope::AddSpent(std::chrono::nanoseconds time) const {
    if (time.count() > 0) m_root->m_ended += time.count();
}

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

bool OnHlslStack() { return t_onHlslStack; }

bool RunOnHlslStack(const std::function<void()>& work, bool carry) {
    StackRunners& all = TheStackRunners();
    StackRunner* runner = nullptr;
    {
        const std::lock_guard<std::mutex> lock(all.lock);
        if (all.of != ThisProcess()) {
            all.idle.clear(); // another process's, whose threads are not here
            all.of = ThisProcess();
        }
        if (!all.idle.empty()) {
            runner = all.idle.back();
            all.idle.pop_back();
        }
    }
    if (!runner) runner = StackRunner::Make();
    if (!runner) return false;
    const StackWork stackWork{work, carry ? t_scope : nullptr};
    runner->Run(stackWork);
    {
        const std::lock_guard<std::mutex> lock(all.lock);
        if (all.of == ThisProcess() && all.idle.size() < kIdleRunners) {
            all.idle.push_back(runner);
            return true;
        }
    }
    runner->Stop();
    return true;
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
        // Named for what it is, in a list of processes or a profile.
        (void)::prctl(PR_SET_NAME, "hlsl-compiler", 0, 0, 0);
        const int replyFd = BecomeQuietChild(fds[1]);
        if (replyFd < 0) ::_exit(kChildFailed);
        // On a stack of its own: the caller's thread may have a small one.
        // A compile runs on one already, which the fork copied.
        std::vector<std::uint8_t> bytes;
        if (t_onHlslStack || !kThreadInChild || !RunOnHlslStack([&] { bytes = work(); })) bytes = work();
        // Nothing of the parent's is shut down here.
        ::_exit(WriteAll(replyFd, bytes.data(), bytes.size()) ? 0 : kChildFailed);
    }
    ::close(fds[1]);
    HlslChildOutcome outcome = ReadReply(fds[0], child, base, scope, reply);
    ::close(fds[0]);
    if (outcome != HlslChildOutcome::Replied) ::kill(child, SIGKILL);
    int status = 0;
    rusage usage{};
    while (::wait4(child, &status, 0, &usage) < 0 && errno == EINTR) {
    }
    // The child's processor time is the compile's.
    scope.AddSpent(std::chrono::seconds(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
                   std::chrono::microseconds(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec));
    if (outcome == HlslChildOutcome::Replied && (!WIFEXITED(status) || WEXITSTATUS(status) != 0))
        outcome = HlslChildOutcome::Stopped;
    return outcome;
}

} // namespace gfx

// ---- warm workers ---------------------------------------------------------------------------------

namespace gfx {
namespace {

// What the caller sends before a job's request: the job, the scope the
// worker runs it in, and the request's size.
struct JobHeader {
    std::uint64_t job = 0;
    std::int64_t timeLeft = 0; // nanoseconds of processor time
    std::int64_t workerTime = 0; // the worker's processor time so far, as the caller read it
    std::uint64_t childBytes = 0, expandedBytes = 0;
    std::uint32_t includes = 0;
    std::uint64_t size = 0;
};

// A request no compile makes: the text is capped far below it.
constexpr std::uint64_t kMaxRequestBytes = std::uint64_t(1) << 31;
// A worker serves no more jobs than this, and none once it has grown by
// more than this since it was made (a deep job's stack stays resident).
constexpr std::uint32_t kJobsPerWorker = 4096;
constexpr std::int64_t kWorkerGrowth = std::int64_t(256) << 20;
// Workers kept waiting for a job; more that end a job at once are ended.
constexpr std::size_t kIdleWorkers = 4;

struct Worker {
    pid_t pid = -1;
    // The caller's ends: jobs go out on one, replies come back on the other.
    // A reader of a Unix socket wakes whenever what the other end sent of its
    // own is read, so with one socket each side would wake the other, asleep
    // for its reply or its next job, for nothing at every job.
    int jobFd = -1;
    int fd = -1;
    std::int64_t bornBytes = -1; // anonymous bytes once it began to serve
    std::uint32_t jobs = 0;
    // Its processor-time clock, and what it and its anonymous bytes read
    // at the end of its last job (it waits between jobs: they hold until
    // the next); -1 before its first.
    clockid_t clock{};
    bool clockKnown = false;
    std::int64_t lastTime = -1, lastBytes = -1;
    std::int64_t timeSinceBytes = 0; // its processor time since lastBytes was read
    std::int64_t jobsTime = 0;       // counted in HlslWorkerTime while it lives
};

bool ReadExactly(int fd, void* data, std::size_t size) {
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

bool SendAll(int fd, const void* data, std::size_t size) { return WriteAll(fd, data, size, true); }

// A job's header and request, as the caller sends them: in one piece, so
// that a small job is one system call each way.
std::vector<std::uint8_t> JobBytes(const JobHeader& h, const std::vector<std::uint8_t>& request) {
    std::vector<std::uint8_t> bytes(sizeof h + request.size());
    std::memcpy(bytes.data(), &h, sizeof h);
    if (!request.empty()) std::memcpy(bytes.data() + sizeof h, request.data(), request.size());
    return bytes;
}

// The next job's header and request; false when the caller closed its end
// or sent what no caller sends.
bool ReadJob(int fd, JobHeader& h, std::vector<std::uint8_t>& request) {
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
    if (h.size > kMaxRequestBytes || got - sizeof h > h.size) return false;
    request.resize(h.size);
    const std::size_t first = got - sizeof h;
    if (first > 0) std::memcpy(request.data(), chunk + sizeof h, first);
    return ReadExactly(fd, request.data() + first, request.size() - first);
}

// The worker's life: a job at a time until the caller closes its end. The
// caller watches each job; where the caller is gone (killed mid-job with
// the thread that made this one still about to end), the job's own
// processor time still ends it: its soft limit is set past the job's budget.
// The limit moves only when it falls short of that or lies far past it.
[[noreturn]] void Serve(int jobFd, int fd) {
    rlimit cpu{};
    const bool limitKnown = ::getrlimit(RLIMIT_CPU, &cpu) == 0;
    rlim_t softSet = 0;
    for (;;) {
        JobHeader h;
        std::vector<std::uint8_t> request;
        if (!ReadJob(jobFd, h, request)) ::_exit(h.size > kMaxRequestBytes ? kChildFailed : 0);
        if (limitKnown) {
            // Whole seconds rounded up, then two more: the caller, which
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
            // The job's scope is outermost here whatever the thread that
            // made the worker was doing.
            t_scope = nullptr;
            const HlslCompileScope scope(limits);
            const auto job = reinterpret_cast<HlslWorkerJob>(static_cast<std::uintptr_t>(h.job));
            reply = job(request);
        }
        // Its size first, in the same piece.
        const std::uint64_t size = reply.size();
        reply.insert(reply.begin(), reinterpret_cast<const std::uint8_t*>(&size),
                     reinterpret_cast<const std::uint8_t*>(&size) + sizeof size);
        if (!SendAll(fd, reply.data(), reply.size())) ::_exit(0);
    }
}

// The thread workers are made from, one a process: a worker's death signal
// comes when the thread that made it ends, so they are made by one that
// ends with the process. Its stack is RunOnHlslStack's, which each worker
// then runs its jobs on.
class WorkerMaker {
public:
    // A new worker; false when no process (or no thread to make one) could
    // be made.
    bool Make(Worker& w) {
        std::unique_lock<std::mutex> lock(m_lock);
        if (!m_started && !Start()) return false;
        Order order;
        m_orders.push_back(&order);
        m_asked.notify_all();
        m_done.wait(lock, [&] { return order.done; });
        w = order.worker;
        return w.pid > 0;
    }

private:
    struct Order {
        Worker worker;
        bool done = false;
    };

    bool Start() {
        pthread_attr_t attributes;
        if (::pthread_attr_init(&attributes) != 0) return false;
        pthread_t thread;
        const bool made = ::pthread_attr_setstacksize(&attributes, kHlslStackBytes) == 0 &&
                          ::pthread_attr_setguardsize(&attributes, kHlslStackGuardBytes) == 0 &&
                          ::pthread_attr_setdetachstate(&attributes, PTHREAD_CREATE_DETACHED) == 0 &&
                          ::pthread_create(&thread, &attributes, &WorkerMaker::Run, this) == 0;
        (void)::pthread_attr_destroy(&attributes);
        m_started = made;
        return made;
    }

    static void* Run(void* arg) {
        auto& maker = *static_cast<WorkerMaker*>(arg);
        t_onHlslStack = true;
        std::unique_lock<std::mutex> lock(maker.m_lock);
        for (;;) {
            maker.m_asked.wait(lock, [&] { return !maker.m_orders.empty(); });
            Order& order = *maker.m_orders.back();
            maker.m_orders.pop_back();
            order.worker = Fork();
            order.done = true;
            maker.m_done.notify_all();
        }
    }

    static Worker Fork() {
        Worker w;
        int ends[2], jobEnds[2];
        if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, ends) != 0) return w;
        if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, jobEnds) != 0) {
            ::close(ends[0]);
            ::close(ends[1]);
            return w;
        }
        const pid_t parent = ::getpid();
        const pid_t child = ::fork();
        if (child < 0) {
            for (const int fd : {ends[0], ends[1], jobEnds[0], jobEnds[1]}) ::close(fd);
            return w;
        }
        if (child == 0) {
            if (::prctl(PR_SET_PDEATHSIG, SIGKILL) != 0 || ::getppid() != parent) ::_exit(kChildFailed);
            (void)::prctl(PR_SET_NAME, "hlsl-compiler", 0, 0, 0);
            const int fd = BecomeQuietChild(ends[1], jobEnds[1]);
            if (fd < 0) ::_exit(kChildFailed);
            // What the parent left allocated goes back to the C library.
            (void)UseHlslWorkerHeap();
            Serve(kJobFd, fd);
        }
        ::close(ends[1]);
        ::close(jobEnds[1]);
        // The caller's reads of a reply wake at each watch.
        const timeval watch{0, kWatchMilliseconds * 1000};
        if (::setsockopt(ends[0], SOL_SOCKET, SO_RCVTIMEO, &watch, sizeof watch) != 0) {
            ::close(ends[0]);
            ::close(jobEnds[0]);
            ::kill(child, SIGKILL);
            while (::waitpid(child, nullptr, 0) < 0 && errno == EINTR) {
            }
            return w;
        }
        w.pid = child;
        w.jobFd = jobEnds[0];
        w.fd = ends[0];
        w.clockKnown = ::clock_getcpuclockid(child, &w.clock) == 0;
        return w;
    }

    std::mutex m_lock;
    std::condition_variable m_asked, m_done;
    std::vector<Order*> m_orders;
    bool m_started = false;
};

// The workers waiting for a job, and the maker, of the process they belong
// to: a process forked from this one (a test's caller, a child) has neither
// (the maker's thread did not come with it) and makes its own.
struct Workers {
    std::mutex lock;
    pid_t of = 0;
    std::vector<Worker> idle;
    WorkerMaker* maker = nullptr;
    std::atomic<std::uint64_t> made{0};
    std::atomic<std::int64_t> time{0}; // nanoseconds
};

Workers& TheWorkers() {
    // Never destroyed: the maker's thread may outlive every static.
    static Workers* const workers = new Workers;
    return *workers;
}

void EndWorker(Worker& w) {
    // Once waited for, its time is among this process's children's.
    TheWorkers().time -= w.jobsTime;
    if (w.fd >= 0) ::close(w.fd);
    if (w.jobFd >= 0) ::close(w.jobFd);
    if (w.pid > 0) {
        ::kill(w.pid, SIGKILL);
        while (::waitpid(w.pid, nullptr, 0) < 0 && errno == EINTR) {
        }
    }
    w = Worker{};
}

// An idle worker of this process, else a new one.
bool TakeWorker(Worker& w) {
    Workers& all = TheWorkers();
    WorkerMaker* maker = nullptr;
    {
        const std::lock_guard<std::mutex> lock(all.lock);
        if (all.of != ThisProcess()) {
            // Copies of another process's: its descriptors only are ours.
            for (const Worker& inherited : all.idle) {
                ::close(inherited.fd);
                ::close(inherited.jobFd);
            }
            all.idle.clear();
            all.maker = new WorkerMaker; // the other's (its thread) is not here
            all.of = ThisProcess();
        }
        if (!all.idle.empty()) {
            w = all.idle.back();
            all.idle.pop_back();
            return true;
        }
        maker = all.maker;
    }
    if (!maker->Make(w)) return false;
    ++all.made;
    return true;
}

void GiveBack(Worker& w) {
    Workers& all = TheWorkers();
    // Its memory is read again once it has worked a watch's time since the
    // last reading: less work than that cannot have grown it by much (pages
    // are touched one at a time), and the reading costs three system calls.
    if (w.lastBytes < 0 || w.timeSinceBytes >= std::int64_t(kWatchMilliseconds) * 1000000) {
        const std::string statm = "/proc/" + std::to_string(w.pid) + "/statm";
        w.lastBytes = AnonymousBytes(statm.c_str());
        w.timeSinceBytes = 0;
    }
    const std::int64_t bytes = w.lastBytes;
    if (w.bornBytes < 0) w.bornBytes = bytes;
    const bool spent = ++w.jobs >= kJobsPerWorker || bytes < 0 || bytes - w.bornBytes > kWorkerGrowth;
    if (!spent) {
        const std::lock_guard<std::mutex> lock(all.lock);
        if (all.of == ThisProcess() && all.idle.size() < kIdleWorkers) {
            all.idle.push_back(w);
            return;
        }
    }
    EndWorker(w);
}

// One job on worker `w`, which it ends unless the job came back whole.
// `sent`: whether the request reached it (a worker that died idle does not
// take it).
HlslChildOutcome RunOnWorker(Worker& w, HlslWorkerJob job, const std::vector<std::uint8_t>& request,
                             const HlslCompileScope& scope, std::vector<std::uint8_t>& reply, bool& sent) {
    sent = false;
    reply.clear();
    // A worker that served a job before waits as its last reading found it,
    // at most a watch's work ago: what it grew since counts in this job.
    std::int64_t base = w.lastBytes;
    if (base < 0) {
        const std::string statm = "/proc/" + std::to_string(w.pid) + "/statm";
        base = AnonymousBytes(statm.c_str());
    }
    const std::int64_t clockBase = w.lastTime >= 0 ? w.lastTime : w.clockKnown ? ClockNanoseconds(w.clock) : -1;
    if (clockBase < 0) {
        EndWorker(w);
        return HlslChildOutcome::Stopped;
    }
    JobHeader h;
    h.job = static_cast<std::uint64_t>(reinterpret_cast<std::uintptr_t>(job));
    // What it may take is never more than the clocks leave.
    h.timeLeft = std::max<std::int64_t>(
        std::chrono::nanoseconds(scope.Limits().time).count() - scope.SpentAtMost().count(), 0);
    h.workerTime = clockBase;
    h.childBytes = scope.Limits().childBytes;
    h.expandedBytes = scope.Limits().expandedBytes;
    h.includes = scope.Limits().includes;
    h.size = request.size();
    // A job that did not reach it whole was not taken: the worker ends
    // without an answer either way.
    sent = SendAll(w.jobFd, JobBytes(h, request).data(), sizeof h + request.size());
    std::int64_t spent = 0;
    HlslChildOutcome outcome = sent ? ReadReply(w.fd, w.pid, base, scope, reply, true, clockBase, &spent)
                                    : HlslChildOutcome::Stopped;
    // Its time now that it waits again (or as last read of one that died).
    if (const std::int64_t now = ClockNanoseconds(w.clock); now >= clockBase) {
        spent = now - clockBase;
        w.lastTime = now;
    }
    spent = std::max<std::int64_t>(spent, 0);
    scope.AddSpent(std::chrono::nanoseconds(spent));
    TheWorkers().time += spent;
    w.jobsTime += spent;
    w.timeSinceBytes += spent;
    if (outcome == HlslChildOutcome::Replied) GiveBack(w);
    else EndWorker(w);
    return outcome;
}

} // namespace

HlslChildOutcome RunHlslWorkerJob(HlslWorkerJob job, const std::vector<std::uint8_t>& request,
                                  const HlslCompileScope& scope, std::vector<std::uint8_t>& reply) {
    reply.clear();
    // A worker may have died between jobs (and one that had served others
    // may carry a fault of theirs): the job goes once more to a new one.
    for (int attempt = 0; attempt < 2; ++attempt) {
        if (scope.Expired()) return HlslChildOutcome::TooLong;
        Worker w;
        if (!TakeWorker(w)) return HlslChildOutcome::NoChild;
        const bool fresh = w.jobs == 0;
        bool sent = false;
        const HlslChildOutcome outcome = RunOnWorker(w, job, request, scope, reply, sent);
        if (outcome != HlslChildOutcome::Stopped || (sent && fresh)) return outcome;
    }
    return HlslChildOutcome::Stopped;
}

std::uint64_t HlslWorkersMade() { return TheWorkers().made.load(); }

std::chrono::nanoseconds HlslWorkerTime() { return std::chrono::nanoseconds(TheWorkers().time.load()); }

} // namespace gfx
