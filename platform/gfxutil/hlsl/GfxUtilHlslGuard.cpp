#include "platform/gfxutil/hlsl/GfxUtilHlslGuard.h"
#include "platform/gfxutil/hlsl/GfxUtilHlslBudget.h"

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <string>

#include <linux/futex.h>
#include <pthread.h>
#include <sys/mman.h>
#include <sys/syscall.h>
#include <unistd.h>

namespace gfx {
namespace {

thread_local const HlslCompileScope* t_scope = nullptr;
// Whether this thread runs on a stack of RunOnHlslStack's.
thread_local bool t_onHlslStack = false;

// This process's id: asked each time, so that a process forked from this
// one (a host's own child) counts its own threads, never its parent's.
pid_t ThisProcess() { return ::getpid(); }

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

std::int64_t ClockNanoseconds(clockid_t clock) { return HlslClockNanoseconds(clock); }

// This thread's processor-time clock.
bool ThisThreadsClock(clockid_t& clock) { return ::pthread_getcpuclockid(::pthread_self(), &clock) == 0; }

} // namespace

std::int64_t HlslClockNanoseconds(clockid_t clock) {
    timespec t{};
    if (::clock_gettime(clock, &t) != 0) return -1;
    return std::int64_t(t.tv_sec) * 1000000000 + t.tv_nsec;
}

std::int64_t HlslAnonymousBytes(int statm) {
    if (statm < 0) return -1;
    char text[128];
    const ssize_t n = ::pread(statm, text, sizeof text - 1, 0);
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

HlslChildOutcome WatchWorkerReply(int fd, pid_t child, int statm, std::int64_t base, const HlslCompileScope& scope,
                                  std::vector<std::uint8_t>& out, std::int64_t clockBase, std::int64_t* lastTime) {
    clockid_t childClock{};
    bool clockKnown = false, clockAsked = false;
    std::int64_t childTime = 0;
    std::int64_t unused = 0;
    std::int64_t& timeRead = lastTime ? *lastTime : unused;
    const std::int64_t budget = std::chrono::nanoseconds(scope.Limits().time).count();
    // This thread only waits from here on: its share is read once, at the
    // first look (a worker's job mostly ends before it).
    std::int64_t spentHere = -1;
    bool look = false;
    // The worker's anonymous pages are what it allocates, nothing of this
    // process's. Its own first sample is a base too, should it have given
    // back pages since `base` was read.
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
                // A worker that ended reads as it last did.
                if (const std::int64_t now = ClockNanoseconds(childClock); now >= 0) childTime = now - clockBase;
                timeRead = childTime;
            }
            if (spentHere < 0) spentHere = scope.Spent().count();
            if (spentHere + childTime >= budget) return HlslChildOutcome::TooLong;
            if (const std::int64_t anonymous = HlslAnonymousBytes(statm); anonymous >= 0) {
                if (!sampled && (base < 0 || anonymous < base)) base = anonymous;
                sampled = true;
                if (anonymous - base > cap) return HlslChildOutcome::OutOfMemory;
            }
        }
        look = true;
        // A worker's socket waits a watch at most for each read (its receive
        // timeout): one call a piece of the reply.
        const std::size_t had = out.size();
        out.resize(had + kChunk);
        const ssize_t n = ::read(fd, out.data() + had, kChunk);
        out.resize(had + std::size_t(std::max<ssize_t>(n, 0)));
        if (n < 0 && (errno == EINTR || errno == EAGAIN || errno == EWOULDBLOCK)) continue;
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

namespace {

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
// thread holds the list, so that a child (a host's own) finds it
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
    // What ended is read before the whole, so that a worker's time added in
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

} // namespace gfx
