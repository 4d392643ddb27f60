// What a compile may not be made to do by its files and by other compiles:
// read a file that is no file (a FIFO, a device, /dev/stdin) or one past the
// size cap, hand its descriptors to another compile's worker, count pages of
// the caller's mapped files as its worker's allowance, or let the worker's
// fault leave reports and crash files behind. Calls that could block run
// under a watchdog.
#include "tests/platform/gfxutil/HlslHostileSources.h"
#include "tests/platform/gfxutil/HlslTestSupport.h"
#include "tests/platform/gfxutil/TempFolder.h"
#include "platform/gfxutil/hlsl/GfxUtilHlslGuard.h"
#include "platform/gfxutil/hlsl/GfxUtilHlslWorkers.h"

#include "platform/gfx/Gfx.h"
#include "platform/gfxutil/GfxUtilEffect.h"
#include "platform/gfxutil/GfxUtilShader.h"
#include "tests/platform/gfx/GfxBackendFixture.h"
#include "tests/support/SanitizedBuild.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <memory>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include <fcntl.h>
#include <sched.h>
#include <sys/mman.h>
#include <sys/prctl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

using namespace gfx;
using gfx::test::CompileOutcome;
using gfx::test::ExpectRefused;
using gfx::test::Finish;
using gfx::test::TempFolder;


namespace {

using Clock = std::chrono::steady_clock;

constexpr const char* kGood = "float4 main(float4 c : COLOR0) : COLOR { return c * 2; }\n";

// The name of the call under way, for the watchdog's message.
const char* g_watched = "";

[[noreturn]] void Blocked(int) {
    const char text[] = "watchdog: a call blocked: ";
    (void)!::write(2, text, sizeof(text) - 1);
    (void)!::write(2, g_watched, std::strlen(g_watched));
    (void)!::write(2, "\n", 1);
    std::_Exit(3);
}

// Runs `call` with an alarm set: a call still running after 30 s ends the
// program (a blocked open cannot be taken back), failing the run.
void WithinDeadline(const char* what, const std::function<void()>& call) {
    g_watched = what;
    struct sigaction watchdog {};
    watchdog.sa_handler = &Blocked;
    sigemptyset(&watchdog.sa_mask);
    struct sigaction before {};
    ASSERT_EQ(::sigaction(SIGALRM, &watchdog, &before), 0);
    ::alarm(30);
    call();
    ::alarm(0);
    ::sigaction(SIGALRM, &before, nullptr);
}

CompileOutcome Compile(const std::string& source) {
    ID3DXBuffer* code = nullptr;
    ID3DXBuffer* errors = nullptr;
    const HRESULT hr = D3DXCompileShader(source.data(), std::uint32_t(source.size()), "main", "ps_2_0", 0, &code,
                                         &errors, nullptr);
    if (code) code->Release();
    return Finish(hr, nullptr, errors);
}

// Under the watchdog, in a scope of `limits`.
CompileOutcome CompileFile(const std::string& path, const HlslCompileLimits& limits = {}) {
    CompileOutcome r;
    WithinDeadline(path.c_str(), [&] {
        const HlslCompileScope scope(limits);
        ID3DXBuffer* code = nullptr;
        ID3DXBuffer* errors = nullptr;
        const HRESULT hr = D3DXCompileShaderFromFile(path.c_str(), "main", "ps_2_0", 0, &code, &errors, nullptr);
        if (code) code->Release();
        r = Finish(hr, nullptr, errors);
    });
    return r;
}

CompileOutcome ReadEffectFile(const std::string& path, const HlslCompileLimits& limits = {}) {
    CompileOutcome r;
    WithinDeadline(path.c_str(), [&] {
        const HlslCompileScope scope(limits);
        ID3DXEffectCompiler* compiler = nullptr;
        ID3DXBuffer* errors = nullptr;
        const HRESULT hr = D3DXCreateEffectCompilerFromFileA(path.c_str(), nullptr, nullptr, 0, &compiler, &errors);
        if (compiler) compiler->Release();
        r = Finish(hr, nullptr, errors);
    });
    return r;
}

// A worker's descriptors (the ProbeDescriptors job's reply) by number.
std::map<int, std::string> ParseDescriptors(const std::vector<std::uint8_t>& reply) {
    std::map<int, std::string> fds;
    std::istringstream in(std::string(reply.begin(), reply.end()));
    int fd = -1;
    std::string target;
    while (in >> fd >> target) fds[fd] = target;
    return fds;
}

// Standard input, output and error on /dev/null and the worker's two sockets
// (jobs in, replies out), two ends not one: nothing else.
void ExpectOnlyItsTwoSockets(const std::vector<std::uint8_t>& reply) {
    const std::map<int, std::string> fds = ParseDescriptors(reply);
    ASSERT_EQ(fds.size(), 5u) << std::string(reply.begin(), reply.end());
    for (int fd = 0; fd < 3; ++fd) {
        ASSERT_EQ(fds.count(fd), 1u);
        EXPECT_EQ(fds.at(fd), "/dev/null") << fd;
    }
    ASSERT_EQ(fds.count(3), 1u);
    ASSERT_EQ(fds.count(4), 1u);
    EXPECT_EQ(fds.at(3).rfind("socket:[", 0), 0u) << fds.at(3);
    EXPECT_EQ(fds.at(4).rfind("socket:[", 0), 0u) << fds.at(4);
    EXPECT_NE(fds.at(3), fds.at(4));
}

// Standard error into a file while it lives, so what a worker might print
// can be read back.
class CapturedErrors {
public:
    explicit CapturedErrors(const std::string& path) : m_path(path) {
        std::fflush(stderr);
        m_saved = ::dup(2);
        const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
        if (fd >= 0) {
            ::dup2(fd, 2);
            ::close(fd);
        }
    }
    ~CapturedErrors() { Restore(); }
    CapturedErrors(const CapturedErrors&) = delete;
    CapturedErrors& operator=(const CapturedErrors&) = delete;
    std::string Text() {
        Restore();
        std::ifstream in(m_path, std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(in), {});
    }

private:
    void Restore() {
        if (m_saved >= 0) {
            std::fflush(stderr);
            ::dup2(m_saved, 2);
            ::close(m_saved);
            m_saved = -1;
        }
    }
    std::string m_path;
    int m_saved = -1;
};

// A source that stops the front end in its child (a null dereference in
// glslang's uniform block growth), found by fuzz_hlsl: ps_2_0's byte first.
const std::string kStoppingInput = std::string("\x03", 1) +
    "#pragma pfloat4ack_matrix(row_maj-or)\nfloat3x3 Turn;\nsampler s;\n"
    "float4 main(float2 uv : TEXCOORD0) : COLOR s return tex2Dproj(s, float4(mul(float3loat2 uv : TEXCOORD0) : "
    "COLOR { return tex2Dproj(s, float4(mul(f(halfuv, 1), Turn), 1)); }\n";

} // namespace

// ---- special files -------------------------------------------------------------------------------

// An include that names a FIFO (no writer: opening it to read would wait
// for one) or /dev/stdin (a pipe that never sends), or a main file that is a
// FIFO or a link to /dev/zero (which never ends): each refused at once,
// naming the file, in a compile and in an effect alike.
TEST(GfxUtilHlslChildTest, FilesThatAreNoFilesAreRefusedAtOnce) {
    TempFolder folder("gfxutil-child");
    ASSERT_FALSE(folder.Path().empty());
    const std::string fifo = folder.Fifo("pipe.fxh");
    const std::string source = folder.Write("main.hlsl", std::string("// one\n#include \"pipe.fxh\"\n") + kGood);
    const std::string effect = folder.Write("main.fx", "// one\n#include \"pipe.fxh\"\nfloat4 Tint;\n");
    ExpectRefused(CompileFile(source), "main.hlsl(2,1): error: include file '" + fifo + "' is not a regular file");
    ExpectRefused(ReadEffectFile(effect), "main.fx(2): include file '" + fifo + "' is not a regular file");

    // /dev/stdin on a pipe nothing is written to.
    int ends[2];
    ASSERT_EQ(::pipe(ends), 0);
    const int savedInput = ::dup(0);
    ASSERT_GE(savedInput, 0);
    ASSERT_EQ(::dup2(ends[0], 0), 0);
    const std::string stdinSource =
        folder.Write("stdin.hlsl", std::string("#include \"/dev/stdin\"\n") + kGood);
    const CompileOutcome fromStdin = CompileFile(stdinSource);
    ASSERT_EQ(::dup2(savedInput, 0), 0);
    ::close(savedInput);
    ::close(ends[0]);
    ::close(ends[1]);
    ExpectRefused(fromStdin, "stdin.hlsl(1,1): error: include file '/dev/stdin' is not a regular file");

    const std::string mainFifo = folder.Fifo("main-pipe.hlsl");
    ExpectRefused(CompileFile(mainFifo), "'" + mainFifo + "' is not a regular file");
    ExpectRefused(ReadEffectFile(mainFifo), mainFifo + "(0): '" + mainFifo + "' is not a regular file");
    const std::string zero = folder.At("zero.fx");
    ASSERT_EQ(::symlink("/dev/zero", zero.c_str()), 0);
    ExpectRefused(CompileFile(zero), "'" + zero + "' is not a regular file");
    ExpectRefused(ReadEffectFile(zero), "'" + zero + "' is not a regular file");
}

// The device's effect call reads its file the same way.
class GfxUtilHlslChildDeviceTest : public gfxtest::BackendTest {};
INSTANTIATE_TEST_SUITE_P(, GfxUtilHlslChildDeviceTest, ::testing::Values(gfx::BackendKind::Null),
                         gfxtest::BackendParamName);

TEST_P(GfxUtilHlslChildDeviceTest, AnEffectFileThatIsAFifoIsRefused) {
    Create();
    TempFolder folder("gfxutil-child");
    const std::string fifo = folder.Fifo("effect.fx");
    CompileOutcome r;
    WithinDeadline("an effect from a FIFO", [&] {
        ID3DXEffect* fx = nullptr;
        ID3DXBuffer* errors = nullptr;
        const HRESULT hr = D3DXCreateEffectFromFileA(device, fifo.c_str(), nullptr, nullptr, 0, nullptr, &fx, &errors);
        if (fx) fx->Release();
        r = Finish(hr, nullptr, errors);
    });
    ExpectRefused(r, "'" + fifo + "' is not a regular file");
}

// A main file larger than the text of a compile may be is refused before it
// is read; one of exactly that size is read.
TEST(GfxUtilHlslChildTest, AMainFilePastTheSizeCapIsRefused) {
    TempFolder folder("gfxutil-child");
    HlslCompileLimits limits;
    limits.expandedBytes = 4096;
    std::string text = kGood;
    text += "//" + std::string(4096 - text.size() - 3, 'x') + "\n";
    ASSERT_EQ(text.size(), 4096u);
    const std::string fits = folder.Write("fits.hlsl", text);
    const CompileOutcome read = CompileFile(fits, limits);
    EXPECT_EQ(read.hr, D3D_OK) << read.errors;
    const std::string over = folder.Write("over.hlsl", text + "\n");
    ExpectRefused(CompileFile(over, limits), over + "(1,1): error: the source passes 4096 bytes");
    ExpectRefused(ReadEffectFile(over, limits), "'" + over + "' is larger than 4096 bytes");
}

// ---- descriptors ---------------------------------------------------------------------------------

// A worker holds /dev/null for standard input, output and error and its two
// sockets, nothing of this process: not a descriptor the test opened
// (inheritable or not), nor the sockets of another compile's worker at work
// meanwhile.
TEST(GfxUtilHlslChildThreadsTest, AWorkerHoldsNoDescriptorOfAnotherCompile) {
    int other[2];
    ASSERT_EQ(::pipe(other), 0);
    int closing[2];
    ASSERT_EQ(::pipe2(closing, O_CLOEXEC), 0);
    const std::uint64_t made = HlslWorkersMade();
    std::thread hanging([&] {
        // A job that waits takes no processor time: it hangs until the
        // clock's backstop.
        HlslCompileLimits limits;
        limits.time = std::chrono::milliseconds(600);
        const HlslCompileScope scope(limits);
        std::vector<std::uint8_t> reply;
        EXPECT_EQ(RunHlslWorkerJob(helper::WorkerJob::ProbeSleep, {}, scope, reply), HlslChildOutcome::TooLong);
    });
    // Once the other compile's worker is at work, a new one is started
    // beside it.
    for (const auto until = Clock::now() + std::chrono::seconds(2); HlslWorkersMade() == made && Clock::now() < until;)
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    const HlslCompileScope scope;
    std::vector<std::uint8_t> reply;
    const HlslChildOutcome outcome = RunHlslWorkerJob(helper::WorkerJob::ProbeDescriptors, {}, scope, reply);
    hanging.join();
    ASSERT_EQ(outcome, HlslChildOutcome::Replied);
    ExpectOnlyItsTwoSockets(reply);
    for (int fd : {other[0], other[1], closing[0], closing[1]}) ::close(fd);
}

// A warm worker holds the same from the job that started it to the next it
// serves.
TEST(GfxUtilHlslChildTest, AWorkerHoldsNoDescriptorButItsTwoSockets) {
    ASSERT_EQ(Compile("float4 main() : COLOR { return 1; }").hr, D3D_OK);
    int other[2];
    ASSERT_EQ(::pipe(other), 0);
    std::map<int, std::string> first;
    for (int round = 0; round < 2; ++round) {
        const std::uint64_t made = HlslWorkersMade();
        const HlslCompileScope scope;
        std::vector<std::uint8_t> reply;
        ASSERT_EQ(RunHlslWorkerJob(helper::WorkerJob::ProbeDescriptors, {}, scope, reply), HlslChildOutcome::Replied);
        ExpectOnlyItsTwoSockets(reply);
        const std::map<int, std::string> fds = ParseDescriptors(reply);
        if (round == 0) {
            first = fds;
        } else if (HlslWorkersMade() == made) {
            EXPECT_EQ(fds, first) << "the worker that served again";
        }
    }
    for (int fd : other) ::close(fd);
}

// Workers that reply at once on several threads beside workers that hang
// until their deadline: a hanging worker started while another compile's
// sockets were open would keep that compile waiting past its own deadline.
TEST(GfxUtilHlslChildThreadsTest, QuickJobsOnThreadsBesideHangingOnesAllReply) {
    std::atomic<bool> stop{false};
    std::atomic<int> replied{0};
    std::atomic<int> failed{0};
    std::vector<std::thread> threads;
    for (int t = 0; t < 3; ++t) {
        threads.emplace_back([&] {
            HlslCompileLimits limits;
            limits.time = std::chrono::seconds(3);
            std::vector<std::uint8_t> reply;
            while (!stop) {
                const HlslCompileScope scope(limits);
                if (RunHlslWorkerJob(helper::WorkerJob::ProbeEcho, {}, scope, reply) == HlslChildOutcome::Replied)
                    ++replied;
                else ++failed;
            }
        });
    }
    std::vector<std::thread> hangers;
    for (int h = 0; h < 8; ++h) {
        hangers.emplace_back([h] {
            std::this_thread::sleep_for(std::chrono::milliseconds(100 * h));
            // A job that waits takes no processor time: it hangs until the
            // clock's backstop, five seconds.
            HlslCompileLimits limits;
            limits.time = std::chrono::seconds(1);
            const HlslCompileScope scope(limits);
            std::vector<std::uint8_t> reply;
            EXPECT_EQ(RunHlslWorkerJob(helper::WorkerJob::ProbeSleep, {}, scope, reply), HlslChildOutcome::TooLong);
        });
    }
    for (std::thread& h : hangers) h.join();
    stop = true;
    for (std::thread& t : threads) t.join();
    EXPECT_GT(replied.load(), 0);
    EXPECT_EQ(failed.load(), 0) << "of " << replied.load() + failed.load();
}

// Real compiles on threads beside a source that runs until its deadline:
// each good one compiles.
TEST(GfxUtilHlslChildThreadsTest, GoodCompilesBesideAHangingSourceCompile) {
    // Past the preprocessor (whose macros could not grow without end): the
    // front end inlines its calls on and on in little memory.
    const std::string slow = gfx::test::DoublingFunctions(1, 40);
    std::thread hanging([&] {
        HlslCompileLimits limits;
        limits.time = std::chrono::seconds(4);
        const HlslCompileScope scope(limits);
        ExpectRefused(Compile(slow), "the HLSL compiler took too long on this source");
    });
    // One thread, started once the hanging compile is past its own passes:
    // a fork while another thread is in the sanitizer's allocator can leave
    // the child waiting (above).
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    int good = 0;
    for (const auto until = Clock::now() + std::chrono::seconds(3); Clock::now() < until; ++good) {
        HlslCompileLimits limits;
        limits.time = std::chrono::seconds(10);
        const HlslCompileScope scope(limits);
        const CompileOutcome r = Compile(kGood);
        ASSERT_EQ(r.hr, D3D_OK) << r.errors;
    }
    hanging.join();
    EXPECT_GT(good, 0);
}

// ---- memory --------------------------------------------------------------------------------------

// The cap measures what the worker allocates. Pages of a file this process
// maps count in its resident size, never in the worker's: a worker that
// grows by less than the cap answers while this process holds four caps of
// mapped pages, and one that grows on ends at the cap.
TEST(GfxUtilHlslChildTest, TheMemoryCapMeasuresTheWorkersOwnGrowth) {
    constexpr std::size_t kMiB = std::size_t(1) << 20;
    constexpr std::size_t kCap = 64 * kMiB;
    constexpr std::size_t kMapped = 4 * kCap;
    TempFolder folder("gfxutil-child");
    const std::string path = folder.At("mapped.bin");
    {
        std::ofstream out(path, std::ios::binary);
        const std::string block(kMiB, 'm');
        for (std::size_t i = 0; i < kMapped / kMiB; ++i) out << block;
    }
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    ASSERT_GE(fd, 0);
    void* mapped = ::mmap(nullptr, kMapped, PROT_READ, MAP_PRIVATE, fd, 0);
    ::close(fd);
    ASSERT_NE(mapped, MAP_FAILED);
    // Touched: resident in this process.
    std::uint64_t sum = 0;
    for (std::size_t at = 0; at < kMapped; at += 4096) sum += static_cast<const volatile std::uint8_t*>(mapped)[at];
    EXPECT_EQ(sum, std::uint64_t('m') * (kMapped / 4096));

    HlslCompileLimits limits;
    limits.childBytes = kCap;
    const auto grow = [&](std::uint64_t mebibytes, std::uint64_t pause, std::vector<std::uint8_t>& reply) {
        const HlslCompileScope scope(limits);
        std::vector<std::uint8_t> request(16);
        std::memcpy(request.data(), &mebibytes, 8);
        std::memcpy(request.data() + 8, &pause, 8);
        return RunHlslWorkerJob(helper::WorkerJob::ProbeGrow, request, scope, reply);
    };
    std::vector<std::uint8_t> reply;
    // ThreadSanitizer's shadow of what the worker touches is resident
    // beside it, several times its size.
    const std::uint64_t within = kCap / kMiB / (ORVANE_THREAD_SANITIZER ? 16 : 2);
    ASSERT_EQ(grow(within, 0, reply), HlslChildOutcome::Replied);
    ASSERT_EQ(reply.size(), 8u);
    std::uint64_t grown = 0;
    std::memcpy(&grown, reply.data(), 8);
    EXPECT_EQ(grown, within);
    EXPECT_EQ(grow(1024, 2, reply), HlslChildOutcome::OutOfMemory);
    // A source the front end grows on without end meets the same cap.
    ExpectRefused(Compile(gfx::test::DoublingFunctions(4000, 30)), "the HLSL compiler ran out of memory on this source");
    ::munmap(mapped, kMapped);
}

// ---- the child's faults --------------------------------------------------------------------------

// A worker that faults ends without a word: no sanitizer report on standard
// error, whether the fault is a signal, an abort or a sanitizer's own
// finding, and it can open no file to write one.
TEST(GfxUtilHlslChildTest, AFaultInTheWorkerEndsItQuietly) {
    TempFolder folder("gfxutil-child");
    const std::string written = folder.At("written-by-worker");
    // ThreadSanitizer's allocator takes a block freed twice without a word:
    // a trap is this build's fault of another kind.
    const std::uint8_t freedTwice = ORVANE_THREAD_SANITIZER ? 3 : 2;
    const std::vector<std::pair<helper::WorkerJob, std::vector<std::uint8_t>>> faults = {
        {helper::WorkerJob::ProbeFault, {0}},
        {helper::WorkerJob::ProbeFault, {1}},
        {helper::WorkerJob::ProbeFault, {freedTwice}},
        {helper::WorkerJob::ProbeOpenFile, std::vector<std::uint8_t>(written.begin(), written.end())},
    };
    CapturedErrors captured(folder.At("stderr.txt"));
    std::vector<HlslChildOutcome> outcomes;
    std::vector<std::uint8_t> lastReply;
    for (const auto& [job, request] : faults) {
        const HlslCompileScope scope;
        outcomes.push_back(RunHlslWorkerJob(job, request, scope, lastReply));
    }
    const std::string printed = captured.Text();
    ASSERT_EQ(outcomes.size(), 4u);
    EXPECT_EQ(outcomes[0], HlslChildOutcome::Stopped);
    EXPECT_EQ(outcomes[1], HlslChildOutcome::Stopped);
    EXPECT_EQ(outcomes[2], HlslChildOutcome::Stopped);
    EXPECT_EQ(outcomes[3], HlslChildOutcome::Replied);
    EXPECT_EQ(lastReply, std::vector<std::uint8_t>(1, 0)) << "the worker opened a file";
    EXPECT_FALSE(std::filesystem::exists(written));
    EXPECT_EQ(printed, "");
}

// The input the fuzzer found is refused in the process, and the fuzz target
// run on it as a corpus writes no crash file and reports no error: a file in
// the findings folder is always a finding of this system's own.
TEST(GfxUtilHlslChildTest, TheFuzzTargetLeavesNoFindingForAStoppedChild) {
    const CompileOutcome r = Compile(kStoppingInput.substr(1));
    ExpectRefused(r, "the HLSL compiler stopped on this source");
#ifndef ORVANE_FUZZ_HLSL
    GTEST_SKIP() << "this configuration builds no fuzz targets";
#else
    TempFolder folder("gfxutil-child");
    ASSERT_TRUE(std::filesystem::create_directory(folder.At("corpus")));
    ASSERT_TRUE(std::filesystem::create_directory(folder.At("findings")));
    (void)folder.Write("corpus/stopping", kStoppingInput);
    const std::string log = folder.At("fuzz.log");
    const std::string command = std::string("'") + ORVANE_FUZZ_HLSL + "' -runs=0 -print_final_stats=1 -artifact_prefix='" +
                                folder.At("findings/") + "' '" + folder.At("corpus") + "' >'" + log + "' 2>&1";
    int status = -1;
    WithinDeadline("the fuzz target", [&] { status = std::system(command.c_str()); });
    std::ifstream in(log, std::ios::binary);
    const std::string text{std::istreambuf_iterator<char>(in), {}};
    ASSERT_TRUE(WIFEXITED(status)) << text;
    EXPECT_EQ(WEXITSTATUS(status), 0) << text;
    EXPECT_EQ(text.find("ERROR:"), std::string::npos) << text;
    EXPECT_EQ(text.find("crash-"), std::string::npos) << text;
    // The run's statistics come once, from the run itself.
    std::size_t stats = 0;
    for (std::size_t at = text.find("stat::number_of_executed_units"); at != std::string::npos;
         at = text.find("stat::number_of_executed_units", at + 1))
        ++stats;
    EXPECT_EQ(stats, 1u) << text;
    EXPECT_TRUE(std::filesystem::is_empty(folder.At("findings")));
#endif
}

// ---- the caller: its stack, its processes, its core ---------------------------------------------

namespace {

// The shapes that once went deep in the caller or in the front end: 255
// nested initialiser braces, a static initialiser of 64 parentheses,
// 1,800 `if`s in a row (at ps_1_4), structs each holding the one before,
// and an ordinary program.
struct CallerShape {
    const char* name;
    const char* profile;
    std::string source;
};

std::vector<CallerShape> CallerShapes() {
    std::vector<CallerShape> shapes;
    std::string braces = "static const float kNested[1] = ";
    for (int i = 0; i < 255; ++i) braces += "{";
    braces += "0.5";
    for (int i = 0; i < 255; ++i) braces += "}";
    shapes.push_back({"braces", "ps_2_0",
                      braces + ";\nfloat4 main(float4 c : COLOR0) : COLOR { return c * kNested[0]; }\n"});
    std::string parentheses = "static const float kGrouped = ";
    for (int i = 0; i < 64; ++i) parentheses += "(";
    parentheses += "0.5";
    for (int i = 0; i < 64; ++i) parentheses += ")";
    shapes.push_back({"parentheses", "ps_2_0",
                      parentheses + ";\nfloat4 main(float4 c : COLOR0) : COLOR { return c * kGrouped; }\n"});
    shapes.push_back({"ifs", "ps_1_4", gfx::test::BlocksInARow(false, 1800)});
    std::string structs = "struct S0 { float4 v; };\n";
    for (int i = 1; i < 400; ++i)
        structs += "struct S" + std::to_string(i) + " { S" + std::to_string(i - 1) + " v; };\n";
    shapes.push_back({"structs", "ps_2_0", structs + "float4 main(float4 c : COLOR0) : COLOR { S399 s = (S399)0; "
                                                     "return c + s.v.v.v.v; }\n"});
    shapes.push_back({"small", "ps_2_0", kGood});
    return shapes;
}

// The shape as an effect whose one pass compiles its `main`.
std::string AsEffect(const CallerShape& shape) {
    return shape.source + "technique T { pass P { PixelShader = compile " + shape.profile + " main(); } }\n";
}

// What a compile of the shape gave, as program and as effect: each a code or
// a refusal with its reason, never nothing.
struct ShapeResults {
    CompileOutcome program, effect;
};

ShapeResults CompileShape(const CallerShape& shape) {
    ShapeResults r;
    ID3DXBuffer* code = nullptr;
    ID3DXBuffer* errors = nullptr;
    HRESULT hr = D3DXCompileShader(shape.source.data(), std::uint32_t(shape.source.size()), "main", shape.profile, 0,
                                   &code, &errors, nullptr);
    r.program = Finish(hr, code, errors);
    const std::string fx = AsEffect(shape);
    ID3DXEffectCompiler* compiler = nullptr;
    errors = nullptr;
    hr = D3DXCreateEffectCompiler(fx.data(), std::uint32_t(fx.size()), nullptr, nullptr, 0, &compiler, &errors);
    if (compiler) compiler->Release();
    r.effect = Finish(hr, nullptr, errors);
    return r;
}

// A result or a refusal that says why; 0 when so, else 1.
int Answered(const CompileOutcome& r) { return r.hr == D3D_OK || (FAILED(r.hr) && !r.errors.empty()) ? 0 : 1; }

// Computes for ever.
[[noreturn]] void Spin() {
    for (std::uint64_t n = 0;; ++n) asm volatile("" : "+r"(n));
}

// Runs `body` in a forked child and gives its exit status, or 128 + its signal.
int InAChild(const std::function<int()>& body) {
    std::fflush(nullptr);
    const pid_t child = ::fork();
    if (child == 0) std::_Exit(body());
    int status = 0;
    if (child < 0 || ::waitpid(child, &status, 0) != child) return -1;
    return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}

} // namespace

// A game's thread of 64 KiB compiles every shape, as program and as effect,
// and lives: each ends in code or in a refusal with its reason. The caller is
// a forked child, so that a caller killed fails the test rather than ending it.
TEST(GfxUtilHlslCallerTest, ACallerOnA64KiBThreadSurvivesEveryShape) {
    for (const CallerShape& shape : CallerShapes()) {
        SCOPED_TRACE(shape.name);
        const int status = InAChild([&] {
            int failed = 0;
            gfx::test::OnASmallStack(64 * 1024, [&] {
                const ShapeResults r = CompileShape(shape);
                failed = Answered(r.program) + Answered(r.effect);
            });
            return failed == 0 ? 0 : 2;
        });
        EXPECT_EQ(status, 0) << "2: a compile neither compiled nor said why; 128 + a signal: the caller died";
    }
    // And on the 64 KiB thread of this process, the small program compiles.
    CompileOutcome small;
    gfx::test::OnASmallStack(64 * 1024, [&] { small = Compile(kGood); });
    EXPECT_EQ(small.hr, D3D_OK) << small.errors;
}

// Where no process (and so no thread) can be made, as for an unprivileged
// user at RLIMIT_NPROC 1 (a container's pids.max), a compile is refused with
// the reason, in the caller, which lives: nothing runs unbounded.
TEST(GfxUtilHlslCallerTest, WithNoProcessToBeMadeACompileIsRefusedWithTheReason) {
    constexpr int kSkip = 77;
    std::vector<CallerShape> shapes = CallerShapes();
    // And the shapes that ran for minutes unbounded in the caller: 10,000
    // `if`s, 10,000 structs each holding the one before.
    shapes.push_back({"10,000 ifs", "ps_3_0", gfx::test::BlocksInARow(false, 10000)});
    std::string structs = "struct S0 { float4 v; };\n";
    for (int i = 1; i < 10000; ++i)
        structs += "struct S" + std::to_string(i) + " { S" + std::to_string(i - 1) + " v; };\n";
    shapes.push_back({"10,000 structs", "ps_2_0",
                      structs + "float4 main(float4 c : COLOR0) : COLOR { S9999 s = (S9999)0; return c; }\n"});
    const int status = InAChild([&] {
        // The limit does not hold for the super-user: nobody compiles.
        if (::geteuid() == 0 && (::setgid(65534) != 0 || ::setuid(65534) != 0)) return kSkip;
        const rlimit one{1, 1};
        if (::setrlimit(RLIMIT_NPROC, &one) != 0) return kSkip;
        // The limit must hold: a process made anyway means no test here.
        const pid_t probe = ::fork();
        if (probe == 0) std::_Exit(0);
        if (probe > 0) {
            (void)::waitpid(probe, nullptr, 0);
            return kSkip;
        }
        int wrong = 0;
        for (const CallerShape& shape : shapes) {
            const ShapeResults r = CompileShape(shape);
            for (const CompileOutcome* o : {&r.program, &r.effect}) {
                const bool refused = FAILED(o->hr) && (o->errors.find(kHlslNoThread) != std::string::npos ||
                                                       o->errors.find(kHlslNoProcess) != std::string::npos);
                if (!refused) {
                    std::fprintf(stderr, "%s: hr %08x, %s\n", shape.name, unsigned(o->hr), o->errors.c_str());
                    ++wrong;
                }
            }
        }
        return wrong == 0 ? 0 : 1;
    });
    if (status == kSkip) GTEST_SKIP() << "this machine lets the test make processes at RLIMIT_NPROC 1";
    EXPECT_EQ(status, 0) << "1: a compile was not refused with the reason; 128 + a signal: the caller died";
}

// The budget is processor time: a child that uses none (stopped, starved)
// ends at the clock's backstop, kHlslWallTimesProcessorTime times the
// budget; one that computes ends once its time passes the budget, which the
// scope then counts.
TEST(GfxUtilHlslCallerTest, TheBudgetCountsTheChildsProcessorTimeTheClockIsTheBackstop) {
    HlslCompileLimits limits;
    limits.time = std::chrono::milliseconds(200);
    std::vector<std::uint8_t> reply;
    {
        // Before the scope: its backstop counts from the scope's start.
        const auto started = Clock::now();
        const HlslCompileScope scope(limits);
        EXPECT_EQ(RunHlslWorkerJob(helper::WorkerJob::ProbeSleep, {}, scope, reply), HlslChildOutcome::TooLong);
        EXPECT_GE(Clock::now() - started, kHlslWallTimesProcessorTime * limits.time);
        EXPECT_LT(scope.Spent(), limits.time) << "a waiting worker's time is the clock's, not the processor's";
    }
    {
        const HlslCompileScope scope(limits);
        EXPECT_EQ(RunHlslWorkerJob(helper::WorkerJob::ProbeSpin, {}, scope, reply), HlslChildOutcome::TooLong);
        EXPECT_GE(scope.Spent(), limits.time) << "the worker's processor time counts in the compile's";
        EXPECT_TRUE(scope.Expired());
    }
}

namespace {

// An effect of `passes` one-line passes, each its own constant.
std::string ManyPassEffect(int passes) {
    std::string fx = "float4 Shade(uniform float k) : COLOR0 { return float4(k, 0.5, 0.25, 1); }\ntechnique T {\n";
    for (int n = 0; n < passes; ++n)
        fx += "  pass P" + std::to_string(n) + " { PixelShader = compile ps_2_0 Shade(" + std::to_string(n) +
              " / 400.0); }\n";
    return fx + "}\n";
}

// The effect read within `limits`: what it says, and its processor time.
struct EffectLoad {
    HRESULT hr = E_FAIL;
    std::string errors;
    std::uint32_t passes = 0;
    std::chrono::nanoseconds spent{0};
};

EffectLoad LoadEffect(const std::string& fx, const HlslCompileLimits& limits) {
    EffectLoad load;
    const HlslCompileScope scope(limits);
    ID3DXEffectCompiler* compiler = nullptr;
    ID3DXBuffer* errors = nullptr;
    load.hr = D3DXCreateEffectCompiler(fx.data(), std::uint32_t(fx.size()), nullptr, nullptr, 0, &compiler, &errors);
    if (compiler) {
        D3DXTECHNIQUE_DESC desc{};
        if (compiler->GetTechniqueDesc(compiler->GetTechnique(0), &desc) == D3D_OK) load.passes = desc.Passes;
        compiler->Release();
    }
    load.errors = Finish(load.hr, nullptr, errors).errors;
    load.spent = scope.Spent();
    return load;
}

} // namespace

// A many-pass effect gives, on a core that other processes keep busy, what
// it gives alone. Its budget is three times the processor time it took
// alone, so that on a core shared four ways the clock passes the budget
// well before the load ends: only a budget of processor time keeps the
// result.
TEST(GfxUtilHlslCallerTest, AManyPassEffectLoadsOnABusyCoreAsItDoesAlone) {
    cpu_set_t mine;
    ASSERT_EQ(::sched_getaffinity(0, sizeof mine, &mine), 0);
    int core = -1;
    for (int c = 0; c < CPU_SETSIZE && core < 0; ++c)
        if (CPU_ISSET(c, &mine)) core = c;
    ASSERT_GE(core, 0);
    cpu_set_t one;
    CPU_ZERO(&one);
    CPU_SET(core, &one);
    // This thread on the one core, and with it the compile's thread and
    // children, which inherit it.
    ASSERT_EQ(::sched_setaffinity(0, sizeof one, &one), 0);
    const std::string fx = ManyPassEffect(40);
    HlslCompileLimits limits;
    const EffectLoad alone = LoadEffect(fx, limits);
    ASSERT_EQ(alone.hr, D3D_OK) << alone.errors;
    EXPECT_EQ(alone.passes, 40u);
    // Room for what the busy core adds to the load's own processor time
    // (caches, a worker started anew): seen past three times on two busy
    // cores.
    limits.time = std::max(std::chrono::milliseconds(250),
                           6 * std::chrono::duration_cast<std::chrono::milliseconds>(alone.spent));
    std::vector<pid_t> busy;
    for (int i = 0; i < 3; ++i) {
        const pid_t p = ::fork();
        if (p == 0) {
            (void)::prctl(PR_SET_PDEATHSIG, SIGKILL);
            Spin();
        }
        ASSERT_GT(p, 0);
        busy.push_back(p);
    }
    const auto started = Clock::now();
    const EffectLoad loaded = LoadEffect(fx, limits);
    const auto took = Clock::now() - started;
    for (const pid_t p : busy) {
        ::kill(p, SIGKILL);
        (void)::waitpid(p, nullptr, 0);
    }
    ASSERT_EQ(::sched_setaffinity(0, sizeof mine, &mine), 0);
    EXPECT_EQ(loaded.hr, alone.hr) << loaded.errors;
    EXPECT_EQ(loaded.errors, alone.errors);
    EXPECT_EQ(loaded.passes, alone.passes);
    // For the record: the load was slowed past its budget on the clock
    // (what a clock's deadline would have refused), not how long it took.
    RecordProperty("busy_over_budget", took > limits.time ? "yes" : "no");
}
