#pragma once
// What bounds one high-level compile: its deadline and caps (the
// preprocessor's, GfxUtilPreprocess.h, among them), the child process the
// compile's work on the program runs in (the HLSL front end, then SPIR-V to
// GLSL), and the stack that work runs on.
// Sources come from data files, so a hostile one must end in a refusal
// within the time and memory given, in this process and in the child.

#include <atomic>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <functional>
#include <string>
#include <vector>

#include <time.h>

namespace gfx {

struct HlslCompileLimits {
    // One compile's processor time: its passes in this process and every run
    // of the front end in its children, so that whether a source compiles
    // does not depend on how busy the machine is. A compile also ends once
    // kHlslWallTimesProcessorTime times this has passed on the clock: the
    // backstop for a child that does not run at all (stopped, starved).
    std::chrono::milliseconds time{20000};
    // The child's resident anonymous memory (what it allocates, not the
    // pages of files it maps) beyond what it shared with this process when
    // it started (a limit on address space would fail every allocation of a
    // sanitized build, which reserves terabytes of shadow).
    std::uint64_t childBytes = std::uint64_t(1) << 30;
    // #include lines expanded, and the bytes of the source with its
    // included files, and again with its macros expanded.
    std::uint32_t includes = 256;
    std::uint64_t expandedBytes = std::uint64_t(4) << 20;
};

inline constexpr int kHlslWallTimesProcessorTime = 5;

// One compile's bounds on this thread while it lives. A compile started
// within another (the passes of one effect) keeps the outer budget and the
// lower of each cap: one budget covers them all. The processor time counted
// is that of the thread that made the outermost scope, of the thread the
// compile is carried to (RunOnHlslStack) and of the children that ran its
// front end.
class HlslCompileScope {
public:
    explicit HlslCompileScope(const HlslCompileLimits& limits = {});
    ~HlslCompileScope();
    HlslCompileScope(const HlslCompileScope&) = delete;
    HlslCompileScope& operator=(const HlslCompileScope&) = delete;

    // The innermost scope on this thread; nullptr outside every one.
    [[nodiscard]] static const HlslCompileScope* Current();
    [[nodiscard]] const HlslCompileLimits& Limits() const { return m_limits; }
    // The wall-clock backstop.
    [[nodiscard]] std::chrono::steady_clock::time_point Deadline() const { return m_deadline; }
    // The processor time the compile has taken so far (its children's once
    // they ended), and what its budget has left of it.
    [[nodiscard]] std::chrono::nanoseconds Spent() const;
    [[nodiscard]] std::chrono::nanoseconds Left() const;
    // Past the processor time, or past the backstop.
    [[nodiscard]] bool Expired() const;
    // Whether Spent() has reached `mark`: the same answer, mostly without
    // reading the clocks (see TimeLook).
    [[nodiscard]] bool SpentAtLeast(std::chrono::nanoseconds mark) const;
    // No less than Spent(), mostly without reading the clocks: what the
    // last reading on this thread said, and every thread counted as busy
    // since. For shares of the budget, where a little more counted spent
    // only leaves a little less.
    [[nodiscard]] std::chrono::nanoseconds SpentAtMost() const;
    // The processor time of a child that ran part of the compile, once it ended.
    void AddSpent(std::chrono::nanoseconds time) const;

private:
    friend struct HlslScopeCarry;
    [[nodiscard]] bool SpentAtLeast(std::chrono::nanoseconds mark, std::chrono::steady_clock::time_point now) const;
    HlslCompileLimits m_limits;
    std::chrono::steady_clock::time_point m_deadline;
    const HlslCompileScope* m_outer = nullptr;
    // The outermost scope, which keeps the count; this one when outermost.
    const HlslCompileScope* m_root = this;
    // The process and thread that made it, and that thread's processor time then.
    int m_pid = 0;
    std::uint64_t m_serial = 0; // unique among the process's root scopes
    clockid_t m_clock{};
    std::int64_t m_clockStart = 0;
    bool m_clockKnown = false;
    // What ended (children, carried threads), and the thread the compile
    // is carried to while it runs there.
    mutable std::atomic<std::int64_t> m_ended{0};
    mutable std::atomic<bool> m_carried{false};
    mutable clockid_t m_carriedClock{};
    mutable std::int64_t m_carriedStart = 0;
};

// The most bytes a source or effect file may have: the text with its
// includes may have no more (the current scope's cap, else the default's),
// so a larger file is refused before it is read whole.
[[nodiscard]] std::uint64_t SourceFileByteCap();

// The rest of `file` appended to `text` while `text` stays within `limit`
// bytes; false (the file read no further) past it or on a read error.
[[nodiscard]] bool ReadIncludeText(std::FILE* file, std::uint64_t limit, std::string& text);

enum class HlslChildOutcome : std::uint8_t {
    Replied,     // the child ran `work` and its reply came back whole
    Stopped,     // the child died or sent no whole reply
    TooLong,     // ended at the scope's deadline
    OutOfMemory, // ended past the scope's memory cap
    NoChild,     // no child could be made: nothing ran
};

// The refusal of a compile that could not be bounded, in its words.
inline constexpr const char* kHlslNoProcess = "no process could be made for the HLSL compiler";
inline constexpr const char* kHlslNoThread = "no thread could be made for the HLSL compiler";

// Runs `work` in a child process, on the stack of RunOnHlslStack (in a
// sanitized build on the stack the fork gave it: the sanitizers take no
// thread started there well), and returns what it made in `reply`. The child ends with the thread that made
// it. It holds no descriptor of this process but its reply's pipe (standard
// input and output on /dev/null), may open none, and dies of a fault without
// a report, a core or a crash file: a fault of `work` is a Stopped outcome,
// nothing more.
[[nodiscard]] HlslChildOutcome RunHlslChild(const std::function<std::vector<std::uint8_t>()>& work,
                                            const HlslCompileScope& scope, std::vector<std::uint8_t>& reply);

// A job a warm worker runs: what it is asked to what it answers. A plain
// function: a worker is a copy of this process, where its address means
// the same.
using HlslWorkerJob = std::vector<std::uint8_t> (*)(const std::vector<std::uint8_t>& request);

// Runs `job` on `request` in a worker process and returns its answer in
// `reply`, bounded as RunHlslChild bounds its child: the scope's processor
// time (the worker's own, counted in the scope), its backstop and its
// memory cap (the worker's growth during the job), a fault a Stopped
// outcome. Unlike a child, a worker that answered serves the next job, of
// any thread: what a child pays at every compile (the fork's copy of this
// process's page tables, its faults on every page it touches, its exit) a
// worker paid once. One that failed is ended; a job whose worker had served
// others and stopped runs once more in a new one, so that no fault left by
// an earlier job decides a later one. A worker is made from a thread of its
// own that lives as long as this process (a worker ends with it, as a child
// ends with the thread that made it), on a stack of RunOnHlslStack's size,
// and holds nothing of this process but its socket; it runs each job within
// a scope of the caller's caps and of the time the caller has left.
[[nodiscard]] HlslChildOutcome RunHlslWorkerJob(HlslWorkerJob job, const std::vector<std::uint8_t>& request,
                                                const HlslCompileScope& scope, std::vector<std::uint8_t>& reply);
// The workers this process has made so far, for tests that see them reused.
[[nodiscard]] std::uint64_t HlslWorkersMade();
// The processor time the workers that serve still have taken over their
// jobs so far: a worker is not waited for while it serves, so its time is
// not among this process's children's until it ends (then it is, and no
// longer counted here).
[[nodiscard]] std::chrono::nanoseconds HlslWorkerTime();

// The stack a compile's work runs on, whatever the stack of its caller's
// thread: glslang and SPIRV-Cross's GLSL writer recurse once or twice per
// block of a chain of statements, a few kilobytes a time, so a source of
// thousands of `if`s or loops in a row needs tens of megabytes. Reserved,
// not committed: only what the work's depth touches becomes memory (and in
// the child counts against its cap).
inline constexpr std::size_t kHlslStackBytes = std::size_t(1) << 30;
// The unmapped guard below it, which a recursion past the stack meets.
inline constexpr std::size_t kHlslStackGuardBytes = std::size_t(1) << 20;

// Runs `work` on a thread of its own whose stack is kHlslStackBytes, with
// kHlslStackGuardBytes of guard below it, and waits for it to end; false,
// with nothing run, when no such thread can be made. The caller's innermost
// scope goes with it (`carry`), that thread's processor time counted in it.
[[nodiscard]] bool RunOnHlslStack(const std::function<void()>& work, bool carry = true);
// Whether this thread runs on such a stack (a child forked from one does too).
[[nodiscard]] bool OnHlslStack();

} // namespace gfx
