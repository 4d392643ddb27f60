#pragma once
// What bounds one high-level compile: its deadline and caps (the
// preprocessor's, GfxUtilPreprocess.h, among them), and the stack its passes
// run on in this process. The work on the program (the HLSL front end, then
// SPIR-V to GLSL) runs in a worker, a helper program of its own
// (GfxUtilHlslWorkers.h), held to the same budget (GfxUtilHlslBudget.h).
// Sources come from data files, so a hostile one must end in a refusal
// within the time and memory given, in this process and in the worker.

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
    // of the front end in its worker, so that whether a source compiles
    // does not depend on how busy the machine is. A compile also ends once
    // kHlslWallTimesProcessorTime times this has passed on the clock: the
    // backstop for a worker that does not run at all (stopped, starved).
    std::chrono::milliseconds time{20000};
    // The worker's resident anonymous memory (what it allocates, not the
    // pages of files it maps) beyond what it held when the job began (a
    // limit on address space would fail every allocation of a sanitized
    // build, which reserves terabytes of shadow).
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
// compile is carried to (RunOnHlslStack) and of the workers that ran its
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
    // The processor time the compile has taken so far (its workers' once
    // they answered), and what its budget has left of it.
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
    // The processor time of a worker that ran part of the compile, once it answered.
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
    // What ended (workers' jobs, carried threads), and the thread the compile
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

// What came of a job given a worker (GfxUtilHlslWorkers.h).
enum class HlslChildOutcome : std::uint8_t {
    Replied,     // the worker ran the job and its reply came back whole
    Stopped,     // the worker died or sent no whole reply
    TooLong,     // ended at the scope's deadline
    OutOfMemory, // ended past the scope's memory cap
    NoChild,     // no worker could be had: nothing ran
};

// The refusal of a compile that could not be bounded, in its words.
inline constexpr const char* kHlslNoProcess = "no process could be made for the HLSL compiler";
inline constexpr const char* kHlslNoThread = "no thread could be made for the HLSL compiler";

// The stack a compile's passes run on in this process, whatever the stack of
// its caller's thread: the passes and the effect reader recurse with the
// source's nesting (the front end and the GLSL writer, which recurse far
// deeper, run in the worker on a stack of its own). Reserved, not
// committed: only what the work's depth touches becomes memory; small
// enough that a host under a limit on its address space still has room.
inline constexpr std::size_t kHlslStackBytes = std::size_t(64) << 20;
// The unmapped guard below it, which a recursion past the stack meets.
inline constexpr std::size_t kHlslStackGuardBytes = std::size_t(1) << 20;

// Runs `work` on a thread of its own whose stack is kHlslStackBytes, with
// kHlslStackGuardBytes of guard below it, and waits for it to end; false,
// with nothing run, when no such thread can be made. The caller's innermost
// scope goes with it (`carry`), that thread's processor time counted in it.
[[nodiscard]] bool RunOnHlslStack(const std::function<void()>& work, bool carry = true);
// Whether this thread runs on such a stack.
[[nodiscard]] bool OnHlslStack();

} // namespace gfx
