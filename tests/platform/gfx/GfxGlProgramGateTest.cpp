// A large program is compiled, linked and drawn by a check process of its
// own before the gl device makes it: one the driver takes too long on, or
// dies on, is refused with the reason and the caller lives; one it takes is
// made and draws right; small programs are made without a check. A check
// process that dies, hangs or cannot be made is a clean refusal.
//
// The hostile programs are made by a caller: this test program run again
// from its start (a fork of a process that has used GL may not use GL), with
// the driver's on-disk cache off, so what is timed is the driver's own work.
// Its times are compared with a small program's made and drawn by another
// caller in the same run, never with a fixed time.
#include "platform/gfx/GfxGlProgramGate.h"
#include "platform/gfx/GfxShaderContainer.h"
#include "tests/platform/gfx/GfxProgramFixture.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include <fcntl.h>
#include <poll.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

using namespace gfx;

namespace {

using Clock = std::chrono::steady_clock;

constexpr const char* kCallerVariable = "ORVANE_GATE_TEST_CALLER";
constexpr const char* kAnswerMark = "GATE-ANSWER ";

// ---- programs ----

std::vector<std::uint8_t> Compiled(const std::string& source, const char* profile, std::string* errors = nullptr) {
    ID3DXBuffer* code = nullptr;
    ID3DXBuffer* messages = nullptr;
    const HRESULT hr = D3DXCompileShader(source.data(), std::uint32_t(source.size()), "main", profile, 0, &code,
                                         &messages, nullptr);
    std::vector<std::uint8_t> bytes;
    if (messages) {
        if (errors) *errors = static_cast<const char*>(messages->GetBufferPointer());
        messages->Release();
    }
    if (hr == D3D_OK && code) {
        const auto* p = static_cast<const std::uint8_t*>(code->GetBufferPointer());
        bytes.assign(p, p + code->GetBufferSize());
    }
    if (code) code->Release();
    return bytes;
}

// The compiled program of `float f;` read beside the input's red, its main
// written again as `body`: GLSL in the form the compiler writes (the uniform
// uPsC[0].x, the input hIn0, the output hOut0), at a size the compile itself
// may refuse by now.
std::vector<std::uint8_t> WithBody(const std::string& body) {
    const std::vector<std::uint8_t> code =
        Compiled("float f;\nfloat4 main(float4 c : COLOR0) : COLOR { return float4(c.x + f, 0, 0, 1); }\n", "ps_3_0");
    ShaderContainer c;
    if (code.empty() || !ReadShaderContainer(code.data(), code.size(), c)) {
        ADD_FAILURE() << "the template does not compile";
        return {};
    }
    const std::size_t at = c.glsl.find("void main()\n{\n");
    const std::size_t end = c.glsl.rfind('}');
    if (at == std::string::npos || end == std::string::npos || end < at) {
        ADD_FAILURE() << "no main in\n" << c.glsl;
        return {};
    }
    c.glsl.replace(at, end + 1 - at, "void main()\n{\n    float s = hIn0.x;\n" + body +
                                         "    hOut0 = vec4(s, 0.0, 0.0, 1.0);\n}");
    return WriteShaderContainer(c);
}

std::string Lines(const std::string& line, int count) {
    std::string s;
    for (int i = 0; i < count; ++i) s += "    " + line + "\n";
    return s;
}

// `s = sin(s * f + 0.5);` on a uniform, `count` times (the driver's time on
// it is far past its size's; 5,000 crash it).
std::vector<std::uint8_t> SinChain(int count) { return WithBody(Lines("s = sin(s * uPsC[0].x + 0.5);", count)); }

// `s = s * f + 0.5;` on a uniform, `count` times.
std::vector<std::uint8_t> MulAddChain(int count) { return WithBody(Lines("s = s * uPsC[0].x + 0.5;", count)); }

// `s = s + f;` on a uniform, `count` times: large, and quick for the driver.
// With f = 1/(2 count) the red is the input's plus a half.
std::vector<std::uint8_t> AddChain(int count) { return WithBody(Lines("s = s + uPsC[0].x;", count)); }

// `depth` loops of two passes, each in the one before: small text, and work
// the driver multiplies out.
std::string NestedLoops(int depth) {
    std::string s = "float4 main(float4 c : COLOR0) : COLOR {\n    float s = 0;\n";
    for (int i = 0; i < depth; ++i) s += "    for (int i" + std::to_string(i) + " = 0; i" + std::to_string(i) + " < 2; i" + std::to_string(i) + "++) {\n";
    s += "    s += c.x;\n";
    for (int i = 0; i < depth; ++i) s += "    }\n";
    return s + "    return float4(s, 0, 0, 1);\n}\n";
}

// A `switch` of `count` cases on the input's red.
std::string Switch(int count) {
    std::string s = "float4 main(float4 c : COLOR0) : COLOR {\n    int k = (int)(c.x * 1000);\n    float s = 0;\n"
                    "    switch (k) {\n";
    for (int i = 0; i < count; ++i)
        s += "    case " + std::to_string(i) + ": s = " + std::to_string(i) + ".0 / 1000.0; break;\n";
    return s + "    }\n    return float4(s, 0, 0, 1);\n}\n";
}

// ---- the caller ----

// The result a caller gives for a source the compile refused.
constexpr long kRefusedByCompile = -2;

struct CallerAnswer {
    bool lived = false; // ended of itself, its answer given
    int status = 0;
    std::string output; // its standard error: the device's reasons
    HRESULT hr = E_FAIL;
    double create = 0, draw = 0, took = 0;
    int red = -1;
    std::uint32_t checks = 0;
};

// Runs scenario `name` in a caller; one still running at `giveUp` is killed.
CallerAnswer RunCaller(const std::string& name, Clock::duration giveUp) {
    CallerAnswer answer;
    std::vector<std::string> variables;
    for (char** e = environ; *e; ++e)
        if (std::strncmp(*e, "MESA_SHADER_CACHE_DISABLE=", 26) != 0 && std::strncmp(*e, kCallerVariable, std::strlen(kCallerVariable)) != 0 &&
            std::strncmp(*e, "SDL_VIDEODRIVER=", 16) != 0)
            variables.emplace_back(*e);
    variables.push_back("MESA_SHADER_CACHE_DISABLE=true");
    // The caller's own choice of driver, else the gl tests' offscreen: what
    // this process's environment holds now is whatever test ran last (a null
    // test's dummy offers no OpenGL).
    variables.push_back("SDL_VIDEODRIVER=" +
                        (gfxtest::CallerDriver().empty() ? std::string("offscreen") : gfxtest::CallerDriver()));
    variables.push_back(std::string(kCallerVariable) + "=" + name);
    std::vector<char*> envp;
    for (std::string& v : variables) envp.push_back(v.data());
    envp.push_back(nullptr);
    std::string filter = "--gtest_filter=GfxGlProgramGateCaller.DISABLED_Run/*";
    std::string disabled = "--gtest_also_run_disabled_tests";
    std::string self = "gate-caller";
    char* argv[] = {self.data(), filter.data(), disabled.data(), nullptr};
    int fds[2];
    if (::pipe2(fds, O_CLOEXEC) != 0) return answer;
    const int null = ::open("/dev/null", O_RDWR | O_CLOEXEC);
    const auto started = Clock::now();
    const pid_t pid = ::fork();
    if (pid == 0) {
        if (::dup2(null, 0) != 0 || ::dup2(null, 1) != 1 || ::dup2(fds[1], 2) != 2) ::_exit(127);
        ::execve("/proc/self/exe", argv, envp.data());
        ::_exit(127);
    }
    ::close(fds[1]);
    ::close(null);
    if (pid < 0) {
        ::close(fds[0]);
        return answer;
    }
    bool ended = false;
    while (!ended) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(started + giveUp - Clock::now());
        if (left.count() <= 0) break;
        pollfd p{fds[0], POLLIN, 0};
        if (::poll(&p, 1, int(left.count())) <= 0) continue;
        char chunk[4096];
        const ssize_t n = ::read(fds[0], chunk, sizeof chunk);
        if (n <= 0) ended = true;
        else answer.output.append(chunk, std::size_t(n));
    }
    ::close(fds[0]);
    if (!ended) ::kill(pid, SIGKILL);
    (void)::waitpid(pid, &answer.status, 0);
    answer.took = std::chrono::duration<double>(Clock::now() - started).count();
    const std::size_t at = answer.output.find(kAnswerMark);
    unsigned checks = 0;
    long hr = 0;
    answer.lived = ended && WIFEXITED(answer.status) && WEXITSTATUS(answer.status) == 0 && at != std::string::npos &&
                   std::sscanf(answer.output.c_str() + at + std::strlen(kAnswerMark), "%ld %lf %lf %d %u", &hr,
                               &answer.create, &answer.draw, &answer.red, &checks) == 5;
    answer.hr = HRESULT(hr);
    answer.checks = checks;
    return answer;
}

// The caller's own work: a 16 x 16 device, the program made (timed), the
// quad drawn through it and its centre read (timed). The answer on standard
// error: result, seconds to make, seconds to draw, red, check processes run.
class GfxGlProgramGateCaller : public gfxtest::GlProgramTest {};

TEST_P(GfxGlProgramGateCaller, DISABLED_Run) {
    if (Stopped()) return;
    const char* scenario = std::getenv(kCallerVariable);
    ASSERT_NE(scenario, nullptr);
    const std::string name = scenario;
    std::vector<std::uint8_t> code;
    float f = 0;
    if (name == "small") code = Compiled("float4 main(float4 c : COLOR0) : COLOR { return c; }\n", "ps_3_0");
    else if (name.rfind("sin", 0) == 0) code = SinChain(std::atoi(name.c_str() + 3));
    else if (name.rfind("muladd", 0) == 0) code = MulAddChain(std::atoi(name.c_str() + 6));
    else if (name == "nested20") code = Compiled(NestedLoops(20), "ps_3_0");
    else if (name == "switch1000") code = Compiled(Switch(1000), "ps_1_4");
    else if (name.rfind("add", 0) == 0) {
        const int count = std::atoi(name.c_str() + 3);
        code = AddChain(count);
        f = 0.5f / float(count);
    }
    if (code.empty()) {
        // Refused by the compile itself by now: nothing reaches the device.
        std::fprintf(stderr, "%s%ld 0 0 -1 0\n", kAnswerMark, long(kRefusedByCompile));
        return;
    }
    ASSERT_FALSE(code.empty()) << name;
    IDirect3DVertexShader9* pass = Vertex(gfxtest::kPassVertex);
    ASSERT_NE(pass, nullptr);
    const auto start = Clock::now();
    IDirect3DPixelShader9* ps = nullptr;
    const HRESULT hr = device->CreatePixelShader(reinterpret_cast<const std::uint32_t*>(code.data()),
                                                 std::uint32_t(code.size()), &ps);
    const auto made = Clock::now();
    int red = -1;
    if (ps) {
        m_pixelShaders.push_back(ps);
        SetPsConstant(0, f, f, f, f);
        Clear();
        EXPECT_EQ(device->SetVertexShader(pass), D3D_OK);
        EXPECT_EQ(device->SetPixelShader(ps), D3D_OK);
        DrawQuad(0xFF404040u);
        red = gfxtest::ChannelOf(At(8, 8), 16);
    }
    const auto drawn = Clock::now();
    std::fprintf(stderr, "%s%ld %.3f %.3f %d %u\n", kAnswerMark, long(hr),
                 std::chrono::duration<double>(made - start).count(), std::chrono::duration<double>(drawn - made).count(),
                 red, GlProgramGateRunsForTests());
}
INSTANTIATE_TEST_SUITE_P(, GfxGlProgramGateCaller, ::testing::Values(true), gfxtest::GlReadBackParamName);

// ---- the tests ----

// The compile's own budget, the bound on making a program and on drawing it.
constexpr std::chrono::milliseconds kBudget{20000};
// The check process's backstop on the clock: five times its 10 s of
// processor time.
constexpr double kCheckClockSeconds = 50.0;

TEST(GfxGlProgramGateTest, HostileProgramsAreRefusedAndTheCallerLives) {
    // The small program's caller, the slowest of two (the first pays for the
    // driver's start on a cold machine).
    double smallMade = 0, smallDrawn = 0, smallTook = 0;
    for (int i = 0; i < 2; ++i) {
        const CallerAnswer small = RunCaller("small", 10 * kBudget);
        ASSERT_TRUE(small.lived) << "status " << small.status << "\n" << small.output;
        ASSERT_EQ(small.hr, D3D_OK) << small.output;
        EXPECT_EQ(small.red, 64);
        EXPECT_EQ(small.checks, 0u) << "a small program was checked";
        smallMade = std::max(smallMade, small.create);
        smallDrawn = std::max(smallDrawn, small.draw);
        smallTook = std::max(smallTook, small.took);
    }
    const double budget = std::chrono::duration<double>(kBudget).count();
    for (const char* name : {"sin5000", "sin2000", "muladd5000", "nested20", "switch1000"}) {
        SCOPED_TRACE(name);
        const CallerAnswer saw = RunCaller(name, 10 * kBudget);
        ASSERT_TRUE(saw.lived) << "the caller died: status " << saw.status << "\n" << saw.output;
        const std::size_t reason = saw.output.find("cannot be run: ");
        std::printf("%s: result %ld, made in %.2f s, drawn in %.2f s (a small program: %.2f s, %.2f s)%s%s\n", name,
                    long(saw.hr), saw.create, saw.draw, smallMade, smallDrawn, reason == std::string::npos ? "" : ": ",
                    reason == std::string::npos ? ""
                                                : saw.output.substr(reason, saw.output.find('\n', reason) - reason).c_str());
        if (long(saw.hr) == kRefusedByCompile) continue; // the compile's own bound
        EXPECT_EQ(saw.checks, 1u);
        // Neither the making nor the first draw holds the caller past what
        // the clocks allow: the budget of processor time, and the check's
        // backstop on the clock (on two busy cores ten seconds of the
        // driver's work took 23 s), with room for a small program's making
        // and drawing.
        const double clock = budget + kCheckClockSeconds;
        EXPECT_LT(saw.create, clock + 10 * smallMade);
        EXPECT_LT(saw.draw, clock + 10 * smallDrawn);
        if (saw.hr != D3D_OK) {
            EXPECT_NE(saw.output.find("cannot be run: "), std::string::npos) << saw.output;
            EXPECT_NE(saw.output.find("check process"), std::string::npos) << saw.output;
        }
    }
}

TEST(GfxGlProgramGateTest, ALargeProgramTheDriverTakesIsCheckedThenDrawsRight) {
    const CallerAnswer saw = RunCaller("add1500", 10 * kBudget);
    ASSERT_TRUE(saw.lived) << "status " << saw.status << "\n" << saw.output;
    ASSERT_EQ(saw.hr, D3D_OK) << saw.output;
    EXPECT_EQ(saw.checks, 1u);
    // 0x40 in, a half added in 1,500 steps.
    EXPECT_NEAR(saw.red, 64 + 128, 2);
}

// In this process: the check's verdicts, its faults and its partners.
class GfxGlProgramGateDeviceTest : public gfxtest::GlProgramTest {
protected:
    void TearDown() override {
        SetGlProgramGateForTests({});
        gfxtest::GlProgramTest::TearDown();
    }
    // Makes the compiled program; its result and what standard error heard.
    HRESULT Make(const std::vector<std::uint8_t>& code, std::string& said, IDirect3DPixelShader9** out = nullptr) {
        testing::internal::CaptureStderr();
        IDirect3DPixelShader9* ps = nullptr;
        const HRESULT hr = device->CreatePixelShader(reinterpret_cast<const std::uint32_t*>(code.data()),
                                                     std::uint32_t(code.size()), &ps);
        said = testing::internal::GetCapturedStderr();
        if (ps) m_pixelShaders.push_back(ps);
        if (out) *out = ps;
        return hr;
    }
};
INSTANTIATE_TEST_SUITE_P(, GfxGlProgramGateDeviceTest, ::testing::Values(true), gfxtest::GlReadBackParamName);

TEST_P(GfxGlProgramGateDeviceTest, AProgramIsCheckedOnceAndSmallOnesNever) {
    if (Stopped()) return;
    const std::uint32_t before = GlProgramGateRunsForTests();
    std::string said;
    EXPECT_EQ(Make(Compiled("float4 main(float4 c : COLOR0) : COLOR { return c * 0.5; }\n", "ps_3_0"), said), D3D_OK);
    EXPECT_EQ(GlProgramGateRunsForTests(), before);
    const std::vector<std::uint8_t> large = AddChain(1500);
    EXPECT_EQ(Make(large, said), D3D_OK) << said;
    EXPECT_EQ(GlProgramGateRunsForTests(), before + 1);
    // Made again (another device would, or an effect's pass): the verdict is kept.
    EXPECT_EQ(Make(large, said), D3D_OK) << said;
    EXPECT_EQ(GlProgramGateRunsForTests(), before + 1);
}

TEST_P(GfxGlProgramGateDeviceTest, EveryStageOfAPairPassesWithItsPartnerAndDraws) {
    if (Stopped()) return;
    GlProgramGateForTests gate;
    gate.everyProgram = true;
    SetGlProgramGateForTests(gate);
    const std::uint32_t before = GlProgramGateRunsForTests();
    // An assembled pair and a compiled pair: each half checked beside its
    // trivial partner, then drawn together.
    DrawWith(gfxtest::kPassVertex, "ps_2_0\ndcl v0\nmov r0, v0\nmov oC0, r0\n", 0xFF20A040u);
    ExpectPixel(8, 8, 0x20, 0xA0, 0x40, "assembled");
    EXPECT_EQ(GlProgramGateRunsForTests(), before + 2);
    const std::vector<std::uint8_t> vsCode = Compiled(
        "struct O { float4 p : POSITION; float4 c : COLOR0; };\n"
        "O main(float4 p : POSITION, float4 c : COLOR0) { O o; o.p = p; o.c = c.bgra; return o; }\n",
        "vs_3_0");
    const std::vector<std::uint8_t> psCode =
        Compiled("float4 main(float4 c : COLOR0) : COLOR { return c; }\n", "ps_3_0");
    IDirect3DVertexShader9* vs = nullptr;
    ASSERT_EQ(device->CreateVertexShader(reinterpret_cast<const std::uint32_t*>(vsCode.data()),
                                         std::uint32_t(vsCode.size()), &vs),
              D3D_OK);
    m_vertexShaders.push_back(vs);
    std::string said;
    IDirect3DPixelShader9* ps = nullptr;
    ASSERT_EQ(Make(psCode, said, &ps), D3D_OK) << said;
    EXPECT_EQ(GlProgramGateRunsForTests(), before + 4);
    Clear();
    ASSERT_EQ(device->SetVertexShader(vs), D3D_OK);
    ASSERT_EQ(device->SetPixelShader(ps), D3D_OK);
    DrawQuad(0xFF20A040u);
    ExpectPixel(8, 8, 0x40, 0xA0, 0x20, "compiled");
}

TEST_P(GfxGlProgramGateDeviceTest, ACheckThatDiesHangsOrCannotBeMadeRefuses) {
    if (Stopped()) return;
    struct Case {
        GlProgramGateForTests::Helper helper;
        const char* reason;
        // The budget: a check that must fail by crashing or by the clock
        // gets one its start (the whole test program loaded again, slow
        // under the sanitizers on a loaded machine) cannot use up.
        std::uint32_t milliseconds;
    };
    const Case cases[] = {
        {GlProgramGateForTests::Helper::Crashes, "the check process died of SIGSEGV", 5000},
        {GlProgramGateForTests::Helper::Spins, "the driver took more than 0.50 s of processor time", 500},
        {GlProgramGateForTests::Helper::Hangs, "the driver took more than 5 x 2.00 s on the clock", 2000},
        {GlProgramGateForTests::Helper::NotMade, "no process could be made to check it", 500},
    };
    int program = 0;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.reason);
        GlProgramGateForTests gate;
        gate.helper = c.helper;
        gate.everyProgram = true;
        gate.milliseconds = c.milliseconds;
        SetGlProgramGateForTests(gate);
        std::string said;
        const std::vector<std::uint8_t> code = Compiled(
            "float4 main(float4 c : COLOR0) : COLOR { return c * " + std::to_string(++program) + ".5; }\n", "ps_3_0");
        const std::uint32_t refused = GlProgramGateRefusalsForTests();
        EXPECT_EQ(Make(code, said), D3DERR_INVALIDCALL);
        EXPECT_EQ(GlProgramGateRefusalsForTests(), refused + 1);
        EXPECT_NE(said.find("gfx: a compiled pixel program cannot be run: "), std::string::npos) << said;
        EXPECT_NE(said.find(c.reason), std::string::npos) << said;
    }
    // The device goes on: a program checked for real is made and draws.
    SetGlProgramGateForTests({});
    DrawWith(gfxtest::kPassVertex, "ps_2_0\ndcl v0\nmov r0, v0\nmov oC0, r0\n", 0xFF6080A0u);
    ExpectPixel(8, 8, 0x60, 0x80, 0xA0);
}

TEST_P(GfxGlProgramGateDeviceTest, TheDriversRefusalInTheCheckIsItsReason) {
    if (Stopped()) return;
    // A program the driver refuses to link beside its partner reaches the
    // check first, and its log is the refusal.
    GlProgramGateForTests gate;
    gate.everyProgram = true;
    SetGlProgramGateForTests(gate);
    std::vector<std::uint8_t> code = Compiled("float4 main(float4 c : COLOR0) : COLOR { return c * 3.25; }\n", "ps_3_0");
    ShaderContainer c;
    ASSERT_TRUE(ReadShaderContainer(code.data(), code.size(), c));
    const std::size_t main = c.glsl.find("void main()");
    ASSERT_NE(main, std::string::npos);
    c.glsl.insert(main, "float orvaneUndefined();\nfloat orvaneCalls() { return orvaneUndefined(); }\n");
    const std::size_t body = c.glsl.find('{', c.glsl.find("void main()")) + 1;
    c.glsl.insert(body, "\n    if (orvaneCalls() > 2.0) discard;\n");
    std::string said;
    EXPECT_EQ(Make(WriteShaderContainer(c), said), D3DERR_INVALIDCALL);
    EXPECT_NE(said.find("the driver refused it in a check process: "), std::string::npos) << said;
}

TEST(GfxGlProgramGateEstimateTest, LoopDepthCountsNestedLoopBlocksOnly) {
    EXPECT_EQ(GlslLoopDepth("void f() { if (a) { b(); } }"), 0);
    EXPECT_EQ(GlslLoopDepth("void f() { for (int i = 0; i < 2; i++) { if (a) { b(); } } }"), 1);
    EXPECT_EQ(GlslLoopDepth("void f() { for (;;) { while (x) { do { y(); } while (z); } } }"), 3);
    // Loops side by side, and the `while` closing a `do` opening nothing.
    EXPECT_EQ(GlslLoopDepth("void f() { do { a(); } while (b); { c(); } for (;;) { d(); } }"), 1);
    // Names holding the words are not loops.
    EXPECT_EQ(GlslLoopDepth("void f() { float fore = 1.0; { float dow = fore; } }"), 0);
}

TEST(GfxGlProgramGateEstimateTest, CostlyCallsAreCountedByName) {
    EXPECT_EQ(GlslCostlyCalls("s = sin(s) + cos (t) * pow(a, b) + exp2(x) + log2(y);"), 5);
    // Names that only begin like them, and the names without a call.
    EXPECT_EQ(GlslCostlyCalls("float sine = sinh2(x) + expf(y) + sin; vec4 cos1 = powr(z);"), 0);
    EXPECT_EQ(GlslCostlyCalls(""), 0);
}

} // namespace
