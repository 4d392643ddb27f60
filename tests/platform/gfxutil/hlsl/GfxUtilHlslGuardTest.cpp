// The bounds of a high-level compile, each against a small hostile source:
// the child's memory, the preprocessor's caps, the one deadline, the
// child's end with its caller, and the stack its work runs on.
#include "tests/platform/gfxutil/HlslHostileSources.h"
#include "tests/platform/gfxutil/HlslTestSupport.h"
#include "tests/platform/gfxutil/TempFolder.h"
#include "platform/gfxutil/hlsl/GfxUtilHlslGuard.h"
#include "platform/gfxutil/hlsl/GfxUtilHlslWorkers.h"
#include "platform/hlslhelper/HlslHelperProbes.h"

#include "platform/gfx/Gfx.h"
#include "platform/gfxutil/GfxUtilEffect.h"
#include "platform/gfxutil/GfxUtilShader.h"
#include "tests/support/SanitizedBuild.h"

#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <filesystem>
#include <fstream>
#include <cstring>
#include <functional>
#include <latch>
#include <sstream>
#include <string>
#include <thread>

#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

using namespace gfx;
using gfx::test::CompileOutcome;
using gfx::test::ExpectRefused;
using gfx::test::Finish;
using gfx::test::OnASmallStack;
using gfx::test::TempFolder;

namespace {

using gfx::test::DoublingFunctions;
using gfx::test::DoublingMacros;
using Clock = std::chrono::steady_clock;

// Recurses `depth` times, each call keeping 8 KB of its own frame until the
// deeper ones return: the stack it needs grows by that much a call. The sum
// of what each frame held, so nothing can be left out.
constexpr std::size_t kDeepFrame = 8192;
__attribute__((noinline)) std::uint32_t Deep(std::uint32_t depth) {
    volatile std::uint8_t frame[kDeepFrame];
    frame[0] = std::uint8_t(depth);
    if (depth == 0) return frame[0];
    frame[1] = std::uint8_t(Deep(depth - 1));
    return std::uint32_t(frame[0]) + frame[1];
}

// The sum Deep gives, worked out without recursion.
std::uint32_t DeepSum(std::uint32_t depth) {
    std::uint32_t sum = 0;
    for (std::uint32_t d = 1; d <= depth; ++d) sum = std::uint8_t(d) + std::uint8_t(sum);
    return sum;
}

// A long first body: memory grows fast.
std::string DoublingSource() { return DoublingFunctions(4000, 30); }

// A short first body: the front end runs on in little memory.
std::string SlowSource() { return DoublingFunctions(1, 40); }

CompileOutcome Compile(const std::string& source, const char* name = nullptr) {
    ID3DXBuffer* code = nullptr;
    ID3DXBuffer* errors = nullptr;
    const HRESULT hr = D3DXCompileShader(source.data(), std::uint32_t(source.size()), "main", "ps_2_0", 0, &code,
                                         &errors, nullptr, nullptr, name);
    return Finish(hr, code, errors);
}

// One small program compiled through the front end's child: the unit a
// test's bound on its own time is scaled by, so a slow or sanitized build
// gets the room it needs.
Clock::duration OneCompileTook() {
    const auto started = Clock::now();
    (void)Compile("float4 main(float4 c : COLOR0) : COLOR { return c; }\n");
    return Clock::now() - started;
}

CompileOutcome CompileFile(const std::string& path) {
    ID3DXBuffer* code = nullptr;
    ID3DXBuffer* errors = nullptr;
    const HRESULT hr = D3DXCompileShaderFromFile(path.c_str(), "main", "ps_2_0", 0, &code, &errors, nullptr);
    return Finish(hr, code, errors);
}

CompileOutcome ReadEffectFile(const std::string& path) {
    ID3DXEffectCompiler* compiler = nullptr;
    ID3DXBuffer* errors = nullptr;
    const HRESULT hr = D3DXCreateEffectCompilerFromFileA(path.c_str(), nullptr, nullptr, 0, &compiler, &errors);
    if (compiler) compiler->Release();
    return Finish(hr, nullptr, errors);
}

// Files each including the next `fanOut` times: `depth` files expand to
// fanOut^depth copies of the last.
void WriteFanOut(const TempFolder& folder, int depth, int fanOut) {
    for (int i = 0; i < depth; ++i) {
        std::string text = "// level " + std::to_string(i) + "\n";
        for (int k = 0; k < fanOut; ++k) text += "#include \"f" + std::to_string(i + 1) + ".fxh\"\n";
        (void)folder.Write("f" + std::to_string(i) + ".fxh", text);
    }
    (void)folder.Write("f" + std::to_string(depth) + ".fxh", "// " + std::string(1000, 'x') + "\n");
}

} // namespace

// A source that grows the front end without end is refused once its child
// passes the memory cap, which a sanitized build measures the same way.
TEST(GfxUtilHlslGuardTest, TheChildsMemoryIsCapped) {
    HlslCompileLimits limits;
    limits.childBytes = 96u << 20;
    const HlslCompileScope scope(limits);
    ExpectRefused(Compile(DoublingSource(), "double.hlsl"),
                  "double.hlsl(1,1): error: the HLSL compiler ran out of memory on this source");
    EXPECT_FALSE(scope.Expired()) << "the memory cap, not the time, ended it";
    // The cap leaves an ordinary source alone.
    EXPECT_EQ(Compile("float4 main(float4 c : COLOR0) : COLOR { return c * 2; }").hr, D3D_OK);
}

// Macros that double, in the program or in a condition, are refused by the
// preprocessor at the line that uses them, before the front end runs, in a
// compile and in an effect alike.
TEST(GfxUtilHlslGuardTest, MacrosThatDoubleAreRefusedWhereTheyAreUsed) {
    const Clock::duration unit = OneCompileTook();
    const auto started = Clock::now();
    const std::string main = "float4 main(float4 c : COLOR0) : COLOR { return c; }\n";
    ExpectRefused(Compile(DoublingMacros("c", true, 40) + "float4 main(float4 c : COLOR0) : COLOR { return A40; }\n",
                          "double.hlsl"),
                  "double.hlsl(42,1): error: macro expansion too long");
    ExpectRefused(Compile(DoublingMacros("1", false, 48) + "#if A48\n#endif\n" + main, "slow.hlsl"),
                  "slow.hlsl(50,1): error: macro expansion too long");
    ID3DXEffectCompiler* compiler = nullptr;
    ID3DXBuffer* errors = nullptr;
    const std::string fx = DoublingMacros("1", false, 48) + "#if A48\n#endif\nfloat4 Tint;\n";
    EXPECT_EQ(D3DXCreateEffectCompiler(fx.data(), std::uint32_t(fx.size()), nullptr, nullptr, 0, &compiler, &errors),
              E_FAIL);
    ASSERT_NE(errors, nullptr);
    EXPECT_EQ(std::string(static_cast<const char*>(errors->GetBufferPointer())),
              "memory(50): macro expansion too long\n");
    errors->Release();
    // Refused by their steps, not run out: a few compiles' time, where the
    // texts written out would take hours.
    EXPECT_LT(Clock::now() - started, 10 * unit + std::chrono::milliseconds(500));
}

// Includes that include each other several times over are refused at the
// include past the cap, in a compile and in an effect alike, with that
// include's file and line.
TEST(GfxUtilHlslGuardTest, IncludeExpansionIsCapped) {
    TempFolder folder("gfxutil-guard");
    ASSERT_FALSE(folder.Path().empty());
    WriteFanOut(folder, 13, 4);
    const std::string main = folder.Write(
        "main.hlsl", "// fan\n#include \"f0.fxh\"\nfloat4 main(float4 c : COLOR0) : COLOR { return c; }\n");
    const std::string effect = folder.Write("main.fx", "// fan\n#include \"f0.fxh\"\nfloat4 Tint;\n");
    {
        // The count: depth first, the 257th include is the first of the
        // next to last level's second file.
        ExpectRefused(CompileFile(main), "f12.fxh(2,1): error: more than 256 includes");
        ExpectRefused(ReadEffectFile(effect), "f12.fxh(2): more than 256 includes");
    }
    {
        // The bytes: the files on the way down take 1.3 KB, and the last
        // level's are 1 KB each: its fourth is one too many.
        HlslCompileLimits limits;
        limits.expandedBytes = 5000;
        const HlslCompileScope scope(limits);
        ExpectRefused(CompileFile(main), "f12.fxh(5,1): error: the source with its includes passes 5000 bytes");
        ExpectRefused(ReadEffectFile(effect), "f12.fxh(5): the text with its includes passes 5000 bytes");
    }
    // Within the caps the same files still expand.
    WriteFanOut(folder, 3, 4);
    EXPECT_EQ(CompileFile(main).hr, D3D_OK);
    EXPECT_EQ(ReadEffectFile(effect).hr, D3D_OK);
}

// Every run of the front end within one compile, and the compiles of one
// effect's passes, end by one deadline: a slow source takes the time there
// is, and what comes after it in the same scope is refused without running.
TEST(GfxUtilHlslGuardTest, OneDeadlineCoversEveryRun) {
    const Clock::duration unit = OneCompileTook();
    HlslCompileLimits limits;
    limits.time = std::chrono::milliseconds(1500);
    const auto started = Clock::now();
    const HlslCompileScope scope(limits);
    ExpectRefused(Compile(SlowSource(), "slow.hlsl"),
                  "slow.hlsl(1,1): error: the HLSL compiler took too long on this source");
    EXPECT_TRUE(scope.Expired());
    ExpectRefused(Compile("float4 main(float4 c : COLOR0) : COLOR { return c; }", "after.hlsl"),
                  "after.hlsl(1,1): error: the HLSL compiler took too long");
    const std::string fx = "float4 PsA(float4 c : COLOR0) : COLOR { return c; }\n"
                           "float4 PsB(float4 c : COLOR0) : COLOR { return c * 2; }\n"
                           "technique T { pass A { PixelShader = compile ps_2_0 PsA(); }\n"
                           "              pass B { PixelShader = compile ps_2_0 PsB(); } }\n";
    ID3DXEffectCompiler* compiler = nullptr;
    ID3DXBuffer* errors = nullptr;
    (void)D3DXCreateEffectCompiler(fx.data(), std::uint32_t(fx.size()), nullptr, nullptr, 0, &compiler, &errors);
    ASSERT_NE(errors, nullptr);
    const std::string text = static_cast<const char*>(errors->GetBufferPointer());
    std::size_t late = 0;
    for (std::size_t at = text.find("took too long"); at != std::string::npos; at = text.find("took too long", at + 1))
        ++late;
    // Past the deadline the effect is not read on: it fails with the reason.
    EXPECT_GE(late, 1u) << text;
    errors->Release();
    EXPECT_EQ(compiler, nullptr);
    if (compiler) compiler->Release();
    // The budget and a few compiles' time past it, in processor time: the
    // refused ones ran nothing. On the clock, within its backstop.
    EXPECT_LT(scope.Spent(), limits.time + 10 * unit + std::chrono::milliseconds(500));
    EXPECT_LT(Clock::now() - started, kHlslWallTimesProcessorTime * limits.time + 10 * unit);
}

// A compile's own scope within a caller's keeps the caller's deadline, later
// or sooner than its default, and the lower of each cap.
TEST(GfxUtilHlslGuardTest, AnInnerScopeKeepsTheOuterDeadline) {
    for (const auto time : {std::chrono::milliseconds(std::chrono::minutes(10)), std::chrono::milliseconds(50)}) {
        HlslCompileLimits outerLimits;
        outerLimits.time = time;
        outerLimits.includes = 8;
        const HlslCompileScope outer(outerLimits);
        HlslCompileLimits innerLimits;
        innerLimits.childBytes = 4096;
        const HlslCompileScope inner(innerLimits);
        EXPECT_EQ(inner.Deadline(), outer.Deadline());
        EXPECT_EQ(inner.Limits().time, time);
        EXPECT_EQ(inner.Limits().includes, 8u);
        EXPECT_EQ(inner.Limits().childBytes, 4096u);
        EXPECT_EQ(HlslCompileScope::Current(), &inner);
    }
    EXPECT_EQ(HlslCompileScope::Current(), nullptr);
}

// The processor time process `pid` has taken, in clock ticks; -1 once it
// is gone.
long TicksOf(pid_t pid) {
    std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
    const std::string line((std::istreambuf_iterator<char>(stat)), std::istreambuf_iterator<char>());
    // The name in parentheses may hold spaces: the fields count from its end.
    const std::size_t end = line.rfind(')');
    if (end == std::string::npos) return -1;
    std::istringstream fields(line.substr(end + 2));
    std::string field;
    long ticks = 0;
    for (int i = 3; i <= 15 && fields >> field; ++i)
        if (i >= 14) ticks += std::atol(field.c_str()); // utime, stime
    return ticks;
}

// A caller killed in the middle of a compile takes the compiler's child with
// it.
TEST(GfxUtilHlslGuardTest, TheChildEndsWithItsCaller) {
    // Orphans come to this process, where their end can be seen.
    ASSERT_EQ(::prctl(PR_SET_CHILD_SUBREAPER, 1), 0);
    const pid_t caller = ::fork();
    ASSERT_GE(caller, 0);
    if (caller == 0) {
        (void)Compile(SlowSource());
        ::_exit(0);
    }
    // The caller's child, once it has one: made by the thread the compile
    // runs on, whichever of the caller's it is.
    pid_t child = 0;
    const std::string tasks = "/proc/" + std::to_string(caller) + "/task";
    for (const auto until = Clock::now() + std::chrono::seconds(20); child == 0 && Clock::now() < until;) {
        std::error_code error;
        for (const auto& task : std::filesystem::directory_iterator(tasks, error)) {
            std::ifstream(task.path() / "children") >> child;
            if (child != 0) break;
        }
        if (child == 0) std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    // Killed once the child is at work on the source: a worker killed before
    // its job came may see its caller's end of the socket close before the
    // signal and end by itself, which says nothing of a compile under way.
    const long ticksPerSecond = ::sysconf(_SC_CLK_TCK);
    for (const auto until = Clock::now() + std::chrono::seconds(20);
         child > 0 && TicksOf(child) >= 0 && TicksOf(child) < ticksPerSecond / 4 && Clock::now() < until;)
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    ::kill(caller, SIGKILL);
    int status = 0;
    ASSERT_EQ(::waitpid(caller, &status, 0), caller);
    ASSERT_GT(child, 0) << "the caller made no child";
    pid_t ended = 0;
    for (const auto until = Clock::now() + std::chrono::seconds(10); ended == 0 && Clock::now() < until;) {
        ended = ::waitpid(child, &status, WNOHANG);
        if (ended == 0) std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    if (ended == 0) {
        ::kill(child, SIGKILL);
        (void)::waitpid(child, &status, 0);
    }
    (void)::prctl(PR_SET_CHILD_SUBREAPER, 0);
    EXPECT_EQ(ended, child) << "the child outlived its caller";
    // Killed with its caller in the middle of its work.
    EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGKILL) << "status " << status;
}

// The compile's passes run on a stack of their own, from a thread of 256 KB:
// 16 MB of frames, twice the usual main thread's stack. The worker's job
// runs on a far larger one of its own: 128 MB of frames.
TEST(GfxUtilHlslGuardTest, TheWorkRunsOnAStackOfItsOwn) {
    constexpr std::uint32_t kDepth = 2 * 1024; // frames of 8 KB and more
    static_assert(kDepth * kDeepFrame * 2 < kHlslStackBytes);
    OnASmallStack(256 * 1024, [&] {
        std::uint32_t sum = 0;
        EXPECT_TRUE(RunOnHlslStack([&] { sum = Deep(kDepth); }));
        EXPECT_EQ(sum, DeepSum(kDepth)) << "the recursion ran whole";
        constexpr std::uint32_t kWorkerDepth = 16 * 1024;
        const HlslCompileScope scope;
        std::vector<std::uint8_t> reply;
        std::vector<std::uint8_t> request(4);
        std::memcpy(request.data(), &kWorkerDepth, 4);
        EXPECT_EQ(RunHlslWorkerJob(helper::WorkerJob::ProbeRecurse, request, scope, reply),
                  HlslChildOutcome::Replied);
        ASSERT_EQ(reply.size(), 4u);
        std::uint32_t fromWorker = 0;
        std::memcpy(&fromWorker, reply.data(), 4);
        EXPECT_EQ(fromWorker, helper::ProbeRecurseSum(kWorkerDepth));
    });
}

// The thread with the large stack serves one piece of work after another,
// so a compile does not pay for a thread of its own; work running at once
// gets a thread each; and what a deep recursion touched of the stack is
// given back when it ends, not kept for the life of the thread.
TEST(GfxUtilHlslGuardTest, TheStacksThreadServesWorkAfterWorkAndKeepsNoDepth) {
    std::thread::id first, second;
    ASSERT_TRUE(RunOnHlslStack([&] { first = std::this_thread::get_id(); }));
    ASSERT_TRUE(RunOnHlslStack([&] { second = std::this_thread::get_id(); }));
    EXPECT_EQ(first, second);
    EXPECT_NE(first, std::this_thread::get_id());

    // Each piece waits for the other: on one shared thread neither would end.
    std::latch both(2);
    std::thread::id ids[2];
    std::thread other([&] {
        EXPECT_TRUE(RunOnHlslStack([&] {
            ids[1] = std::this_thread::get_id();
            both.arrive_and_wait();
        }));
    });
    EXPECT_TRUE(RunOnHlslStack([&] { ids[0] = std::this_thread::get_id(); both.arrive_and_wait(); }));
    other.join();
    EXPECT_NE(ids[0], ids[1]);

    // 16 MB of frames, then the resident anonymous memory again.
    constexpr std::uint32_t kDepth = 2 * 1024;
    const auto anonymous = [] {
        std::ifstream statm("/proc/self/statm");
        std::uint64_t size = 0, resident = 0, shared = 0;
        statm >> size >> resident >> shared;
        return std::int64_t(resident - shared) * std::int64_t(::sysconf(_SC_PAGESIZE));
    };
    // Work that lasts gives back its depths: that left by any work before
    // is given back first, then the recursion's.
    const auto lasting = [] { std::this_thread::sleep_for(std::chrono::milliseconds(20)); };
    ASSERT_TRUE(RunOnHlslStack(lasting));
    const std::int64_t before = anonymous();
    std::uint32_t sum = 0;
    std::int64_t during = 0;
    ASSERT_TRUE(RunOnHlslStack([&] {
        sum = Deep(kDepth);
        during = anonymous();
        lasting();
    }));
    EXPECT_EQ(sum, DeepSum(kDepth));
    EXPECT_GT(during - before, std::int64_t(kDepth) * std::int64_t(kDeepFrame) / 2)
        << "the recursion's frames were resident";
    // A sanitized build keeps the shadow of what the frames touched, an
    // eighth of it.
    EXPECT_LT(anonymous() - before, std::int64_t(kDepth) * std::int64_t(kDeepFrame) / 4)
        << "the stack's depths were given back";

    // A child forked from this process has none of its threads, and makes
    // its own. A sanitized build starts no thread in a child.
    if (ORVANE_SANITIZED_BUILD) return;
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        std::thread::id inChild;
        const bool ran = RunOnHlslStack([&] { inChild = std::this_thread::get_id(); });
        ::_exit(ran && inChild != std::this_thread::get_id() ? 0 : 1);
    }
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
}

// A compile's time is read from the clocks only now and then (see
// HlslCompileScope::SpentAtLeast), yet its budget is never reported spent
// before it is: on the scope's own thread, and on the thread it is carried
// to, whose time counts too.
TEST(GfxUtilHlslGuardTest, TheBudgetIsNeverSpentSoonerThanTheClocksSay) {
    HlslCompileLimits limits;
    limits.time = std::chrono::milliseconds(40);
    {
        const HlslCompileScope scope(limits);
        EXPECT_FALSE(scope.SpentAtLeast(limits.time));
        // Its bound from above, from the scope's first reading on: never
        // below what the clocks say next.
        for (int look = 0; look < 1000; ++look) {
            const std::chrono::nanoseconds most = scope.SpentAtMost();
            // The thread's processor clock and the steady clock are kept apart
            // by the kernel: on a busy virtual machine the first has been seen
            // tens of microseconds ahead of the second. A millisecond past a
            // budget of seconds is none.
            EXPECT_GE(most, scope.Spent() - std::chrono::milliseconds(1)) << look;
        }
        while (!scope.Expired()) {
        }
        EXPECT_GE(scope.Spent(), limits.time);
        EXPECT_GE(scope.SpentAtMost(), limits.time);
    }
    {
        const HlslCompileScope scope(limits);
        std::chrono::nanoseconds seen{0}, most{0};
        ASSERT_TRUE(RunOnHlslStack([&] {
            const HlslCompileScope* carried = HlslCompileScope::Current();
            ASSERT_NE(carried, nullptr);
            while (!carried->SpentAtLeast(limits.time / 2)) {
            }
            most = carried->SpentAtMost();
            seen = carried->Spent();
        }));
        EXPECT_GE(seen, limits.time / 2);
        EXPECT_GE(most, limits.time / 2);
        // The carried thread's time stays counted once it ended.
        EXPECT_GE(scope.Spent(), limits.time / 2);
    }
}

// A recursion past even the worker's stack (a gibibyte) faults on the page
// below it: a Stopped outcome, and nothing written past the stack.
TEST(GfxUtilHlslGuardTest, ARecursionPastTheStackStopsTheWorkerOnly) {
    // Room in memory for the whole stack: the fault comes before the cap.
    HlslCompileLimits limits;
    limits.childBytes = std::uint64_t(2) << 30;
    const HlslCompileScope scope(limits);
    const std::uint32_t depth = std::uint32_t((std::size_t(1) << 30) / helper::kProbeFrameBytes) + 1024;
    std::vector<std::uint8_t> request(4);
    std::memcpy(request.data(), &depth, 4);
    std::vector<std::uint8_t> reply;
    EXPECT_EQ(RunHlslWorkerJob(helper::WorkerJob::ProbeRecurse, request, scope, reply), HlslChildOutcome::Stopped)
        << reply.size() << " bytes came back";
    // The next job finds a sound worker.
    const HlslCompileScope next;
    EXPECT_EQ(RunHlslWorkerJob(helper::WorkerJob::ProbeEcho, {1, 2, 3}, next, reply), HlslChildOutcome::Replied);
    EXPECT_EQ(reply, (std::vector<std::uint8_t>{1, 2, 3}));
}

namespace {

// The pids of this process's compiler workers, read through /proc.
std::vector<pid_t> CompilerWorkers() {
    std::vector<pid_t> found;
    std::error_code error;
    for (const auto& task : std::filesystem::directory_iterator("/proc/self/task", error)) {
        std::ifstream children(task.path() / "children");
        for (pid_t p = 0; children >> p;) {
            std::string name;
            std::ifstream(std::filesystem::path("/proc") / std::to_string(p) / "comm") >> name;
            if (name == "hlsl-compiler") found.push_back(p);
        }
    }
    return found;
}

} // namespace

// Compiles one after another are served by a worker made once; a worker
// killed while it waits costs the next compile nothing but a new worker,
// and that compile compiles.
TEST(GfxUtilHlslGuardTest, AWorkerServesCompileAfterCompileAndOneKilledIsReplaced) {
    const std::string source = "float4 Tint;\nfloat4 main(float4 c : COLOR0) : COLOR { return c * Tint; }\n";
    const CompileOutcome first = Compile(source);
    ASSERT_EQ(first.hr, D3D_OK) << first.errors;
    const std::uint64_t made = HlslWorkersMade();
    for (int i = 0; i < 5; ++i) {
        const CompileOutcome again = Compile(source);
        ASSERT_EQ(again.hr, D3D_OK) << again.errors;
    }
    EXPECT_EQ(HlslWorkersMade(), made) << "each compile made a worker of its own";
    const std::vector<pid_t> workers = CompilerWorkers();
    ASSERT_FALSE(workers.empty()) << "no worker waits for the next compile";
    for (const pid_t p : workers) ::kill(p, SIGKILL);
    // Reaped as the next compile finds its worker gone.
    const CompileOutcome afterKill = Compile(source);
    ASSERT_EQ(afterKill.hr, D3D_OK) << afterKill.errors;
    EXPECT_GT(HlslWorkersMade(), made);
    // A refusal in the worker leaves it serving: the next compile needs no new one.
    const CompileOutcome refused = Compile("float4 main() : COLOR { return undeclared; }\n");
    EXPECT_NE(refused.hr, D3D_OK);
    EXPECT_NE(refused.errors.find("undeclared"), std::string::npos) << refused.errors;
    const std::uint64_t afterRefusal = HlslWorkersMade();
    EXPECT_EQ(Compile(source).hr, D3D_OK);
    EXPECT_EQ(HlslWorkersMade(), afterRefusal);
}
