#include "platform/gfxutil/hlsl/GfxUtilHlslWorkers.h"

#include "platform/gfxutil/hlsl/GfxUtilHlslBudget.h"
#include "platform/hlslhelper/HlslHelperIo.h"
#include "platform/hlslhelper/HlslHelperLaunch.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <condition_variable>
#include <csignal>
#include <cstring>
#include <mutex>

#include <fcntl.h>
#include <pthread.h>
#include <sys/socket.h>
#include <sys/time.h>
#include <sys/wait.h>
#include <unistd.h>

namespace gfx {
namespace {

using helper::WorkerHello;
using helper::WorkerJobHeader;

// A worker serves no more jobs than this, and none once it has grown by
// more than this since it began to serve (a deep job's stack stays resident).
constexpr std::uint32_t kJobsPerWorker = 4096;
constexpr std::int64_t kWorkerGrowth = std::int64_t(256) << 20;
// Workers kept waiting for a job; more that end a job at once are ended.
constexpr std::size_t kIdleWorkers = 4;
// The stack of the thread that starts workers: it only waits and spawns.
constexpr std::size_t kStarterStackBytes = std::size_t(256) << 10;

struct Worker {
    pid_t pid = -1;
    // This process's ends: jobs go out on one, replies come back on the
    // other. A reader of a Unix socket wakes whenever what the other end
    // sent of its own is read, so with one socket each side would wake the
    // other, asleep for its reply or its next job, for nothing at every job.
    int jobFd = -1;
    int fd = -1;
    int statm = -1;              // its /proc statm file, read at each look
    bool greeted = false;        // its hello read: it is ready
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

// A job's header and request, as they are sent: in one piece, so that a
// small job is one system call each way.
std::vector<std::uint8_t> JobBytes(const WorkerJobHeader& h, const std::vector<std::uint8_t>& request) {
    std::vector<std::uint8_t> bytes(sizeof h + request.size());
    std::memcpy(bytes.data(), &h, sizeof h);
    if (!request.empty()) std::memcpy(bytes.data() + sizeof h, request.data(), request.size());
    return bytes;
}

// A new worker: its sockets made (above standard error, close-on-exec) and
// the helper started on them; pid -1 with the reason in `why` otherwise.
Worker Start(std::string& why) {
    Worker w;
    int ends[2], jobEnds[2];
    if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, ends) != 0) {
        why = std::string("no socket for the HLSL compiler's worker: ") + std::strerror(errno);
        return w;
    }
    if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, jobEnds) != 0) {
        why = std::string("no socket for the HLSL compiler's worker: ") + std::strerror(errno);
        ::close(ends[0]);
        ::close(ends[1]);
        return w;
    }
    int fds[4] = {ends[0], ends[1], jobEnds[0], jobEnds[1]};
    bool placed = true;
    for (int& fd : fds) placed = (fd = helper::AboveStandardDescriptors(fd)) >= 0 && placed;
    const auto closeAll = [&] {
        for (const int fd : fds)
            if (fd >= 0) ::close(fd);
    };
    if (!placed) {
        why = std::string("no descriptor for the HLSL compiler's worker: ") + std::strerror(errno);
        closeAll();
        return w;
    }
    const helper::StartedHelper started = helper::StartHelper(helper::kWorkerRole, fds[3], fds[1]);
    ::close(fds[1]);
    ::close(fds[3]);
    fds[1] = fds[3] = -1;
    if (started.pid < 0) {
        why = started.why;
        closeAll();
        return w;
    }
    // This process's reads of a reply wake at each watch.
    const timeval watch{0, kHlslWatchMilliseconds * 1000};
    if (::setsockopt(fds[0], SOL_SOCKET, SO_RCVTIMEO, &watch, sizeof watch) != 0) {
        why = std::string("the HLSL compiler's worker could not be watched: ") + std::strerror(errno);
        closeAll();
        ::kill(started.pid, SIGKILL);
        while (::waitpid(started.pid, nullptr, 0) < 0 && errno == EINTR) {
        }
        return w;
    }
    w.pid = started.pid;
    w.fd = fds[0];
    w.jobFd = fds[2];
    const std::string statm = "/proc/" + std::to_string(w.pid) + "/statm";
    w.statm = helper::AboveStandardDescriptors(::open(statm.c_str(), O_RDONLY | O_CLOEXEC));
    w.clockKnown = ::clock_getcpuclockid(w.pid, &w.clock) == 0;
    return w;
}

// The thread workers are started from, one a process: a worker's death
// signal comes when the thread that started it ends, so they are started
// by one that ends with the process.
class WorkerStarter {
public:
    // A new worker; false, with the reason, when none could be started.
    bool Make(Worker& w, std::string& why) {
        std::unique_lock<std::mutex> lock(m_lock);
        if (!m_started && !Begin()) {
            why = "no thread could be made to start the HLSL compiler's worker";
            return false;
        }
        Order order;
        m_orders.push_back(&order);
        m_asked.notify_all();
        m_done.wait(lock, [&] { return order.done; });
        w = order.worker;
        why = order.why;
        return w.pid > 0;
    }

private:
    struct Order {
        Worker worker;
        std::string why;
        bool done = false;
    };

    bool Begin() {
        pthread_attr_t attributes;
        if (::pthread_attr_init(&attributes) != 0) return false;
        pthread_t thread;
        const bool made = ::pthread_attr_setstacksize(&attributes, kStarterStackBytes) == 0 &&
                          ::pthread_attr_setdetachstate(&attributes, PTHREAD_CREATE_DETACHED) == 0 &&
                          ::pthread_create(&thread, &attributes, &WorkerStarter::Run, this) == 0;
        (void)::pthread_attr_destroy(&attributes);
        m_started = made;
        return made;
    }

    static void* Run(void* arg) {
        auto& starter = *static_cast<WorkerStarter*>(arg);
        std::unique_lock<std::mutex> lock(starter.m_lock);
        for (;;) {
            starter.m_asked.wait(lock, [&] { return !starter.m_orders.empty(); });
            Order& order = *starter.m_orders.back();
            starter.m_orders.pop_back();
            order.worker = Start(order.why);
            order.done = true;
            starter.m_done.notify_all();
        }
    }

    std::mutex m_lock;
    std::condition_variable m_asked, m_done;
    std::vector<Order*> m_orders;
    bool m_started = false;
};

// The workers waiting for a job, and the starter, of the process they belong
// to. A process forked from this one (a host's own child) has neither: the
// fork waits until no thread holds the list, and the child drops its copy
// (the workers are its parent's) and makes its own starter.
struct Workers {
    std::mutex lock;
    pid_t of = 0;
    std::vector<Worker> idle;
    WorkerStarter* starter = nullptr;
    std::atomic<std::uint64_t> made{0};
    std::atomic<std::int64_t> time{0}; // nanoseconds
};

Workers& TheWorkers();

void ForgetParentsWorkers(Workers& all) {
    for (const Worker& inherited : all.idle)
        for (const int fd : {inherited.fd, inherited.jobFd, inherited.statm})
            if (fd >= 0) ::close(fd);
    all.idle.clear();
    // The parent's starter (its thread, its lock's state) is not here.
    all.starter = new WorkerStarter;
    all.of = ::getpid();
    all.time = 0;
}

Workers& TheWorkers() {
    // Never destroyed: the starter's thread may outlive every static.
    static Workers* const workers = [] {
        auto* made = new Workers;
        made->starter = new WorkerStarter;
        made->of = ::getpid();
        (void)::pthread_atfork([] { TheWorkers().lock.lock(); }, [] { TheWorkers().lock.unlock(); },
                               [] {
                                   Workers& mine = TheWorkers();
                                   ForgetParentsWorkers(mine);
                                   mine.lock.unlock();
                               });
        return made;
    }();
    return *workers;
}

void EndWorker(Worker& w) {
    // Once waited for, its time is among this process's children's.
    TheWorkers().time -= w.jobsTime;
    for (const int fd : {w.fd, w.jobFd, w.statm})
        if (fd >= 0) ::close(fd);
    if (w.pid > 0) {
        ::kill(w.pid, SIGKILL);
        while (::waitpid(w.pid, nullptr, 0) < 0 && errno == EINTR) {
        }
    }
    w = Worker{};
}

// An idle worker of this process, else a new one.
bool TakeWorker(Worker& w, std::string& why) {
    Workers& all = TheWorkers();
    WorkerStarter* starter = nullptr;
    {
        const std::lock_guard<std::mutex> lock(all.lock);
        if (all.of != ::getpid()) ForgetParentsWorkers(all);
        if (!all.idle.empty()) {
            w = all.idle.back();
            all.idle.pop_back();
            return true;
        }
        starter = all.starter;
    }
    if (!starter->Make(w, why)) return false;
    ++all.made;
    return true;
}

void GiveBack(Worker& w) {
    Workers& all = TheWorkers();
    // Its memory is read again once it has worked a watch's time since the
    // last reading: less work than that cannot have grown it by much (pages
    // are touched one at a time), and the reading costs three system calls.
    if (w.lastBytes < 0 || w.timeSinceBytes >= std::int64_t(kHlslWatchMilliseconds) * 1000000) {
        w.lastBytes = HlslAnonymousBytes(w.statm);
        w.timeSinceBytes = 0;
    }
    const std::int64_t bytes = w.lastBytes;
    if (w.bornBytes < 0) w.bornBytes = bytes;
    const bool spent = ++w.jobs >= kJobsPerWorker || bytes < 0 || bytes - w.bornBytes > kWorkerGrowth;
    if (!spent) {
        const std::lock_guard<std::mutex> lock(all.lock);
        if (all.of == ::getpid() && all.idle.size() < kIdleWorkers) {
            all.idle.push_back(w);
            return;
        }
    }
    EndWorker(w);
}

// A new worker's hello, once its tables are built; false, with the reason,
// when it ends, is of another build or does not greet by the scope's
// backstop. Its start is no compile's work: its time is not counted.
bool AwaitHello(Worker& w, const HlslCompileScope& scope, std::string& why) {
    WorkerHello hello{};
    std::size_t got = 0;
    auto* bytes = reinterpret_cast<std::uint8_t*>(&hello);
    while (got < sizeof hello) {
        if (std::chrono::steady_clock::now() >= scope.Deadline()) {
            why = "the HLSL compiler's worker did not start in time";
            return false;
        }
        const ssize_t n = ::read(w.fd, bytes + got, sizeof hello - got);
        if (n < 0 && (errno == EINTR || errno == EAGAIN || errno == EWOULDBLOCK)) continue;
        if (n <= 0) {
            why = "the HLSL compiler's worker ended as it started";
            return false;
        }
        got += std::size_t(n);
    }
    if (hello.protocol != helper::kHelperProtocol || hello.headerBytes != sizeof(WorkerJobHeader)) {
        why = "the HLSL compiler's helper program is of another build";
        return false;
    }
    w.greeted = true;
    return true;
}

// One job on worker `w`, which it ends unless the job came back whole.
// `sent`: whether the request reached it (a worker that died idle does not
// take it).
HlslChildOutcome RunOnWorker(Worker& w, helper::WorkerJob job, const std::vector<std::uint8_t>& request,
                             const HlslCompileScope& scope, std::vector<std::uint8_t>& reply, bool& sent,
                             std::string& why) {
    sent = false;
    reply.clear();
    if (!w.greeted && !AwaitHello(w, scope, why)) {
        EndWorker(w);
        return HlslChildOutcome::NoChild;
    }
    // A worker that served a job before waits as its last reading found it,
    // at most a watch's work ago: what it grew since counts in this job.
    std::int64_t base = w.lastBytes;
    if (base < 0) base = HlslAnonymousBytes(w.statm);
    const std::int64_t clockBase = w.lastTime >= 0 ? w.lastTime : w.clockKnown ? HlslClockNanoseconds(w.clock) : -1;
    if (clockBase < 0) {
        EndWorker(w);
        return HlslChildOutcome::Stopped;
    }
    WorkerJobHeader h;
    h.job = static_cast<std::uint32_t>(job);
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
    sent = helper::WriteAll(w.jobFd, JobBytes(h, request).data(), sizeof h + request.size());
    std::int64_t spent = 0;
    HlslChildOutcome outcome = sent ? WatchWorkerReply(w.fd, w.pid, w.statm, base, scope, reply, clockBase, &spent)
                                    : HlslChildOutcome::Stopped;
    // Its time now that it waits again (or as last read of one that died).
    if (const std::int64_t now = HlslClockNanoseconds(w.clock); now >= clockBase) {
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

HlslChildOutcome RunHlslWorkerJob(helper::WorkerJob job, const std::vector<std::uint8_t>& request,
                                  const HlslCompileScope& scope, std::vector<std::uint8_t>& reply, std::string* why) {
    reply.clear();
    std::string reason;
    // A worker may have died between jobs (and one that had served others
    // may carry a fault of theirs): the job goes once more to a new one.
    for (int attempt = 0; attempt < 2; ++attempt) {
        if (scope.Expired()) return HlslChildOutcome::TooLong;
        Worker w;
        if (!TakeWorker(w, reason)) {
            if (why) *why = reason;
            return HlslChildOutcome::NoChild;
        }
        const bool fresh = w.jobs == 0;
        bool sent = false;
        const HlslChildOutcome outcome = RunOnWorker(w, job, request, scope, reply, sent, reason);
        if (outcome == HlslChildOutcome::NoChild && why) *why = reason;
        if (outcome != HlslChildOutcome::Stopped || (sent && fresh)) return outcome;
    }
    return HlslChildOutcome::Stopped;
}

std::uint64_t HlslWorkersMade() { return TheWorkers().made.load(); }

std::chrono::nanoseconds HlslWorkerTime() { return std::chrono::nanoseconds(TheWorkers().time.load()); }

} // namespace gfx
