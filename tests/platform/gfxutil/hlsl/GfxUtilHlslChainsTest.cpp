// Sources of thousands of blocks in a row (`if`s, loops), through both ways
// a game loads programs: the compile and an effect's pass. Whatever the
// source, the caller of the compile lives and has its answer within the
// compile's deadline; what compiles is made and drawn on gl. Each call runs
// in a child of the test standing for the game, so a fault in it fails the
// test instead of ending the test program.
#include "tests/platform/gfxutil/HlslHostileSources.h"
#include "tests/platform/gfxutil/HlslTestSupport.h"

#include "platform/gfx/Gfx.h"
#include "platform/gfx/GfxGlProgramGate.h"
#include "platform/gfxutil/GfxUtilEffect.h"
#include "platform/gfxutil/hlsl/GfxUtilHlslGuard.h"
#include "platform/gfxutil/GfxUtilShader.h"
#include "tests/platform/gfx/GfxProgramFixture.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <csignal>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include <fcntl.h>
#include <poll.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

using namespace gfx;

namespace {

using Clock = std::chrono::steady_clock;

// What a caller sends back: the call's result, the technique's validation,
// then the sizes of the code and of the errors, then both.
struct Answer {
    HRESULT hr = E_FAIL;
    bool valid = false; // compiled, or the effect's technique validates
    std::vector<std::uint8_t> code;
    std::string errors;
};

// The caller's answer, seen from the test.
struct CallerSaw : Answer {
    bool lived = false; // ended of itself, its whole answer sent
    int status = 0;     // as waitpid gave it
    Clock::duration took{};
};

bool WriteAll(int fd, const std::uint8_t* p, std::size_t size) {
    while (size > 0) {
        const ssize_t n = ::write(fd, p, size);
        if (n <= 0) return false;
        p += n;
        size -= std::size_t(n);
    }
    return true;
}

// A child of the test standing for the caller of a compile, running.
struct Caller {
    pid_t pid = -1;
    int fd = -1; // the read end of its answer
    Clock::time_point started;
};

// Starts `call` in a child of the test, the caller of the compile.
Caller StartCaller(const std::function<Answer()>& call) {
    Caller c;
    int fds[2];
    if (::pipe2(fds, O_CLOEXEC) != 0) {
        ADD_FAILURE() << "no pipe";
        return c;
    }
    c.started = Clock::now();
    c.pid = ::fork();
    if (c.pid < 0) {
        ::close(fds[0]);
        ::close(fds[1]);
        ADD_FAILURE() << "no child";
        return c;
    }
    if (c.pid == 0) {
        ::close(fds[0]);
        const Answer a = call();
        const std::int32_t head[4] = {std::int32_t(a.hr), a.valid ? 1 : 0, std::int32_t(a.code.size()),
                                      std::int32_t(a.errors.size())};
        std::vector<std::uint8_t> bytes(sizeof head);
        std::memcpy(bytes.data(), head, sizeof head);
        bytes.insert(bytes.end(), a.code.begin(), a.code.end());
        bytes.insert(bytes.end(), a.errors.begin(), a.errors.end());
        ::_exit(WriteAll(fds[1], bytes.data(), bytes.size()) ? 0 : 2);
    }
    ::close(fds[1]);
    c.fd = fds[0];
    return c;
}

// The caller's answer once it ends. One still running at `giveUp` after
// its start is ended and counts as dead: only a compile that never comes
// back is held that long.
CallerSaw AwaitCaller(Caller& c, Clock::duration giveUp) {
    CallerSaw saw;
    if (c.pid < 0) return saw;
    std::vector<std::uint8_t> reply;
    std::uint8_t chunk[16384];
    bool ended = false;
    while (!ended) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(c.started + giveUp - Clock::now());
        if (left.count() <= 0) break;
        pollfd p{c.fd, POLLIN, 0};
        if (::poll(&p, 1, int(left.count())) <= 0) continue;
        const ssize_t n = ::read(c.fd, chunk, sizeof chunk);
        if (n <= 0) ended = true;
        else reply.insert(reply.end(), chunk, chunk + n);
    }
    ::close(c.fd);
    if (!ended) ::kill(c.pid, SIGKILL);
    (void)::waitpid(c.pid, &saw.status, 0);
    saw.took = Clock::now() - c.started;
    c = Caller{};
    std::int32_t head[4] = {};
    if (reply.size() >= sizeof head) std::memcpy(head, reply.data(), sizeof head);
    saw.lived = ended && WIFEXITED(saw.status) && WEXITSTATUS(saw.status) == 0 && reply.size() >= sizeof head &&
                head[2] >= 0 && head[3] >= 0 && sizeof head + std::size_t(head[2]) + std::size_t(head[3]) == reply.size();
    if (!saw.lived) return saw;
    saw.hr = HRESULT(head[0]);
    saw.valid = head[1] == 1;
    saw.code.assign(reply.begin() + sizeof head, reply.begin() + std::ptrdiff_t(sizeof head + std::size_t(head[2])));
    saw.errors.assign(reply.begin() + std::ptrdiff_t(sizeof head + std::size_t(head[2])), reply.end());
    return saw;
}

CallerSaw InACaller(const std::function<Answer()>& call, Clock::duration giveUp) {
    Caller c = StartCaller(call);
    return AwaitCaller(c, giveUp);
}

std::string Text(ID3DXBuffer* b) {
    std::string s = b ? std::string(static_cast<const char*>(b->GetBufferPointer()), b->GetBufferSize()) : "";
    while (!s.empty() && s.back() == '\0') s.pop_back();
    if (b) b->Release();
    return s;
}

Answer CompileCall(const std::string& source, const char* profile = "ps_3_0") {
    Answer a;
    ID3DXBuffer* code = nullptr;
    ID3DXBuffer* errors = nullptr;
    a.hr = D3DXCompileShader(source.data(), std::uint32_t(source.size()), "main", profile, 0, &code, &errors,
                             nullptr);
    if (code) {
        const auto* p = static_cast<const std::uint8_t*>(code->GetBufferPointer());
        a.code.assign(p, p + code->GetBufferSize());
        code->Release();
    }
    a.errors = Text(errors);
    a.valid = a.hr == D3D_OK;
    return a;
}

// The program as the one pass of an effect's one technique.
std::string AsEffect(const std::string& program, const std::string& profile = "ps_3_0") {
    return program + "technique T { pass P { PixelShader = compile " + profile + " Ps(); } }\n";
}

// D3DXCreateEffect on `device`, or on a device of the null back end made
// here (the caller's child touches no gl); the effect stays in `out` when
// asked for.
Answer CreateEffectCall(const std::string& fx, IDirect3DDevice9* device = nullptr, ID3DXEffect** out = nullptr) {
    Answer a;
    IDirect3D9* d3d = nullptr;
    if (!device) {
        d3d = Direct3DCreate9(D3D_SDK_VERSION, BackendKind::Null);
        D3DPRESENT_PARAMETERS params = gfxtest::Windowed(16, 16);
        if (!d3d || d3d->CreateDevice(0, D3DDEVTYPE_HAL, nullptr, D3DCREATE_HARDWARE_VERTEXPROCESSING, &params,
                                      &device) != D3D_OK) {
            a.errors = "no device of the null back end";
            return a;
        }
    }
    ID3DXEffect* effect = nullptr;
    ID3DXBuffer* errors = nullptr;
    a.hr = D3DXCreateEffect(device, fx.data(), std::uint32_t(fx.size()), nullptr, nullptr, 0, nullptr, &effect,
                            &errors);
    a.errors = Text(errors);
    if (effect) {
        a.valid = effect->ValidateTechnique("T") == D3D_OK;
        if (!a.valid) a.errors += effect->ValidationError();
        if (out) *out = effect;
        else effect->Release();
    }
    if (d3d) {
        device->Release();
        d3d->Release();
    }
    return a;
}

struct Chain {
    const char* name;
    bool loops;
    int count;
};
// Either side of where the GLSL writer outgrew the caller's 8 MB stack, and
// far past it. The longest chains within the slots still take the GLSL
// writer deep.
const Chain kChains[] = {
    {"340 ifs", false, 340},   {"1600 ifs", false, 1600}, {"1800 ifs", false, 1800}, {"10000 ifs", false, 10000},
    {"200 loops", true, 200},  {"800 loops", true, 800},  {"900 loops", true, 900},   {"10000 loops", true, 10000},
};

class GfxUtilHlslChainsTest : public gfxtest::GlProgramTest {
protected:
    void SetUp() override {
        // The driver's on-disk cache off, before the device starts: what is
        // timed below is the driver's own work on each program.
        setenv("MESA_SHADER_CACHE_DISABLE", "true", 1);
        gfxtest::GlProgramTest::SetUp();
    }

    // Seconds to make a compiled pixel program and draw the quad with it
    // behind `pass`, its pixels read back: red 128, green and blue `gb`.
    double MakeAndDraw(IDirect3DVertexShader9* pass, const std::vector<std::uint8_t>& code, double gb) {
        const auto start = std::chrono::steady_clock::now();
        IDirect3DPixelShader9* ps = nullptr;
        EXPECT_EQ(device->CreatePixelShader(reinterpret_cast<const std::uint32_t*>(code.data()),
                                            std::uint32_t(code.size()), &ps),
                  D3D_OK);
        if (!ps) return 0;
        m_pixelShaders.push_back(ps);
        Clear();
        EXPECT_EQ(device->SetVertexShader(pass), D3D_OK);
        EXPECT_EQ(device->SetPixelShader(ps), D3D_OK);
        DrawQuad(0xFF808080u);
        ExpectPixel(8, 8, 128, gb, gb, "every block run");
        return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    }

    // A compiled program made and drawn (every block run: red 128, no
    // green or blue) within 50 times a small program's making and drawing;
    // where the gl back end's check ran on it (a program large for the
    // driver, which shader model 3's slots let compile), within what that
    // check allows on the clock, for the check and as much again for each
    // of the driver's own compile and first draw; or refused by the check,
    // never made.
    void ExpectMadePromptly(IDirect3DVertexShader9* pass, const std::vector<std::uint8_t>& code, double smallDrawn) {
        const std::uint32_t runs = GlProgramGateRunsForTests(), refusals = GlProgramGateRefusalsForTests();
        const auto start = std::chrono::steady_clock::now();
        IDirect3DPixelShader9* ps = nullptr;
        const HRESULT made = device->CreatePixelShader(reinterpret_cast<const std::uint32_t*>(code.data()),
                                                       std::uint32_t(code.size()), &ps);
        const bool checked = GlProgramGateRunsForTests() > runs;
        if (made != D3D_OK) {
            EXPECT_TRUE(checked && GlProgramGateRefusalsForTests() > refusals) << "refused, not by the check";
            return;
        }
        m_pixelShaders.push_back(ps);
        Clear();
        EXPECT_EQ(device->SetVertexShader(pass), D3D_OK);
        EXPECT_EQ(device->SetPixelShader(ps), D3D_OK);
        DrawQuad(0xFF808080u);
        ExpectPixel(8, 8, 128, 0, 0, "every block run");
        const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        const double checkBound =
            3.0 * kGlGateWallTimesProcessorTime * std::chrono::duration<double>(kGlGateTime).count();
        EXPECT_LT(seconds, checked ? checkBound : 50 * smallDrawn);
    }
};
INSTANTIATE_TEST_SUITE_P(, GfxUtilHlslChainsTest, ::testing::Values(true), gfxtest::GlReadBackParamName);

} // namespace

// Every chain through D3DXCompileShader and as a pass of D3DXCreateEffect.
// The bound on the answer is the compile's backstop on the clock (its budget
// is processor time, which a loaded machine stretches) and room for the calls
// around it: twenty times what a small program's call took in the same
// run, so a slow or sanitized build gets the room it needs.
TEST_P(GfxUtilHlslChainsTest, TheCallerLivesAndWhatCompilesDraws) {
    if (Stopped()) return;
    const auto deadline = HlslCompileLimits{}.time;
    const std::string small = "float4 main(float4 c : COLOR0) : COLOR { return c; }\n";
    const CallerSaw unitCompile = InACaller([&] { return CompileCall(small); }, 10 * deadline);
    const CallerSaw unitEffect =
        InACaller([&] { return CreateEffectCall(AsEffect("float4 Ps(float4 c : COLOR0) : COLOR { return c; }\n")); },
                  10 * deadline);
    ASSERT_TRUE(unitCompile.lived && unitCompile.valid) << unitCompile.errors;
    ASSERT_TRUE(unitEffect.lived && unitEffect.valid) << unitEffect.errors;
    IDirect3DVertexShader9* pass = Vertex(gfxtest::kPassVertex);
    ASSERT_NE(pass, nullptr);
    // A chain the compile takes is made and drawn within a bounded multiple
    // of a small program's making and drawing, the slowest of a few (the
    // driver's first program pays for its start), each program a new one so
    // that the driver compiles each.
    (void)MakeAndDraw(pass, unitCompile.code, 128);
    double smallDrawn = 0;
    for (int i = 0; i < 3; ++i) {
        const Answer other =
            CompileCall("float4 main(float4 c : COLOR0) : COLOR { return c + 0.00" + std::to_string(i + 1) + "; }\n");
        ASSERT_TRUE(other.valid) << other.errors;
        smallDrawn = std::max(smallDrawn, MakeAndDraw(pass, other.code, 128));
    }
    int drawn = 0;
    for (const Chain& chain : kChains) {
        // Both ways at once: a chain that runs to the deadline takes it once.
        const std::string compiled = gfx::test::BlocksInARow(chain.loops, chain.count);
        const std::string program = gfx::test::BlocksInARow(chain.loops, chain.count, "Ps");
        Caller callers[2] = {StartCaller([&] { return CompileCall(compiled); }),
                             StartCaller([&] { return CreateEffectCall(AsEffect(program)); })};
        CallerSaw answers[2] = {AwaitCaller(callers[0], 10 * deadline), AwaitCaller(callers[1], 10 * deadline)};
        for (const bool effect : {false, true}) {
            SCOPED_TRACE(std::string(chain.name) + (effect ? " in an effect" : " compiled"));
            const CallerSaw& saw = answers[effect ? 1 : 0];
            ASSERT_TRUE(saw.lived) << "the caller died: status " << saw.status;
            // The budget is processor time: on the clock, its backstop.
            EXPECT_LT(saw.took, kHlslWallTimesProcessorTime * deadline + 20 * (effect ? unitEffect.took : unitCompile.took));
            if (!saw.valid) {
                // Refused, with its reason: the deadline at the source's
                // first line, or the profile's slots at the entry point;
                // the effect's beside its own.
                const bool deadline = saw.errors.find(effect ? "the HLSL compiler" : "memory(1,1): error: the HLSL compiler") !=
                                      std::string::npos;
                const bool slots = saw.errors.find("instruction slots, more than") != std::string::npos;
                EXPECT_TRUE(deadline || slots) << saw.errors;
                continue;
            }
            // Taken: the program is made and draws the red it was given.
            if (!effect) {
                ExpectMadePromptly(pass, saw.code, smallDrawn);
                ++drawn;
                continue;
            }
            Clear();
            ASSERT_EQ(device->SetVertexShader(pass), D3D_OK);
            {
                // The caller lived through it: made again here, on gl.
                ID3DXEffect* fx = nullptr;
                const Answer made = CreateEffectCall(AsEffect(program), device, &fx);
                ASSERT_TRUE(fx && made.valid) << made.errors;
                std::uint32_t passes = 0;
                ASSERT_EQ(fx->Begin(&passes, D3DXFX_DONOTSAVESTATE), D3D_OK);
                ASSERT_EQ(fx->BeginPass(0), D3D_OK);
                DrawQuad(0xFF808080u);
                EXPECT_EQ(fx->EndPass(), D3D_OK);
                EXPECT_EQ(fx->End(), D3D_OK);
                fx->Release();
            }
            ExpectPixel(8, 8, 128, 0, 0, "every block run");
            ++drawn;
        }
    }
    // The neighbours the front end has always taken still compile.
    EXPECT_GE(drawn, 4);
}

namespace {

// A shape that passed the instruction slots, the nesting or the float
// registers unseen, or its neighbour within them (no reason).
struct Shape {
    const char* name;
    const char* profile;
    std::function<std::string(const std::string&)> program; // of its entry point
    const char* reason;                                       // what its refusal says, null where it compiles
};

std::vector<Shape> ShapesPastTheLimits() {
    using namespace gfx::test;
    return {
        {"5000 sin() of a uniform", "ps_2_b",
         [](const std::string& e) { return UniformChain("s = sin(s * f + 0.5);", 5000, e); }, "instruction slots"},
        {"2000 sin() of a uniform", "ps_2_b",
         [](const std::string& e) { return UniformChain("s = sin(s * f + 0.5);", 2000, e); }, "instruction slots"},
        {"5000 products of a uniform", "ps_2_b",
         [](const std::string& e) { return UniformChain("s = s * f + 0.5;", 5000, e); }, "instruction slots"},
        {"10000 any() and all() of a uniform", "ps_2_b",
         [](const std::string& e) { return UniformChain("s += any(f) + all(f);", 10000, e); }, "instruction slots"},
        {"1000 cases at 1.1", "ps_1_1", [](const std::string& e) { return SwitchOfCases(1000, e); },
         "instruction slots"},
        {"1000 cases at 1.4", "ps_1_4", [](const std::string& e) { return SwitchOfCases(1000, e); },
         "instruction slots"},
        {"20 loops nested", "ps_3_0", [](const std::string& e) { return NestedLoops(20, 2, e); }, "loops nested 20"},
        {"8 loops nested", "ps_3_0", [](const std::string& e) { return NestedLoops(8, 2, e); }, "loops nested 8"},
        {"elements picked in 30 passes", "ps_2_b", [](const std::string& e) { return PickedInLoops(30, 30, e); },
         "instruction slots"},
        {"a thousand float4s read at the last", "ps_3_0",
         [](const std::string& e) { return ReadsConstants("float4 c[1000];", "c[999].x", e); },
         "float constant registers"},
        {"a struct of arrays of structs of 1056 registers", "ps_3_0",
         [](const std::string& e) {
             return "struct In { float4 v[32]; float4 w; };\n" +
                    ReadsConstants("struct S { In n[32]; }; S s;", "s.n[31].w.x", e);
         },
         "float constant registers"},
        {"100 sin() of a uniform", "ps_3_0",
         [](const std::string& e) { return UniformChain("s = sin(s * f + 0.5);", 100, e); }, nullptr},
        {"4 loops nested", "ps_3_0", [](const std::string& e) { return NestedLoops(4, 2, e); }, nullptr},
        {"the 224 float constants", "ps_3_0",
         [](const std::string& e) { return ReadsConstants("float4 c[224];", "c[223].x", e); }, nullptr},
    };
}

} // namespace

// Work on uniforms alone, shader model 1's switch, loops nested past the
// profile, elements picked in each pass of an unrolled loop and constants
// past the registers, through both ways a game loads programs, each in a
// caller of its own: the caller lives, each shape is refused with its
// reason, and the neighbours within the limits are made and drawn within
// a bounded multiple of a small program, with the driver's cache off.
TEST_P(GfxUtilHlslChainsTest, WorkLoopsAndConstantsPastTheLimitsAreRefusedInALivingCaller) {
    if (Stopped()) return;
    const auto deadline = HlslCompileLimits{}.time;
    IDirect3DVertexShader9* pass = Vertex(gfxtest::kPassVertex);
    ASSERT_NE(pass, nullptr);
    const Answer first = CompileCall("float4 main(float4 c : COLOR0) : COLOR { return c; }\n");
    ASSERT_TRUE(first.valid) << first.errors;
    (void)MakeAndDraw(pass, first.code, 128);
    double smallDrawn = 0;
    for (int i = 0; i < 3; ++i) {
        const Answer other =
            CompileCall("float4 main(float4 c : COLOR0) : COLOR { return c + 0.00" + std::to_string(i + 1) + "; }\n");
        ASSERT_TRUE(other.valid) << other.errors;
        smallDrawn = std::max(smallDrawn, MakeAndDraw(pass, other.code, 128));
    }
    for (const Shape& shape : ShapesPastTheLimits()) {
        const std::string compiled = shape.program("main"), program = shape.program("Ps");
        Caller callers[2] = {StartCaller([&] { return CompileCall(compiled, shape.profile); }),
                             StartCaller([&] { return CreateEffectCall(AsEffect(program, shape.profile)); })};
        CallerSaw answers[2] = {AwaitCaller(callers[0], 10 * deadline), AwaitCaller(callers[1], 10 * deadline)};
        for (const bool effect : {false, true}) {
            SCOPED_TRACE(std::string(shape.name) + (effect ? " in an effect" : " compiled"));
            const CallerSaw& saw = answers[effect ? 1 : 0];
            ASSERT_TRUE(saw.lived) << "the caller died: status " << saw.status;
            if (shape.reason) {
                // Its reason, or the compile's deadline where a busy
                // machine reaches that first.
                EXPECT_FALSE(saw.valid);
                EXPECT_TRUE(saw.errors.find(shape.reason) != std::string::npos ||
                            saw.errors.find("the HLSL compiler took too long") != std::string::npos)
                    << saw.errors;
                continue;
            }
            ASSERT_TRUE(saw.valid) << saw.errors;
            if (!effect) {
                EXPECT_LT(MakeAndDraw(pass, saw.code, 0), 50 * smallDrawn);
                continue;
            }
            Clear();
            ASSERT_EQ(device->SetVertexShader(pass), D3D_OK);
            ID3DXEffect* fx = nullptr;
            const auto start = std::chrono::steady_clock::now();
            const Answer made = CreateEffectCall(AsEffect(program, shape.profile), device, &fx);
            ASSERT_TRUE(fx && made.valid) << made.errors;
            std::uint32_t passes = 0;
            ASSERT_EQ(fx->Begin(&passes, D3DXFX_DONOTSAVESTATE), D3D_OK);
            ASSERT_EQ(fx->BeginPass(0), D3D_OK);
            DrawQuad(0xFF808080u);
            EXPECT_EQ(fx->EndPass(), D3D_OK);
            EXPECT_EQ(fx->End(), D3D_OK);
            fx->Release();
            ExpectPixel(8, 8, 128, 0, 0, "the shape run");
            // The effect's own compile is in this time: its deadline aside.
            const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
            EXPECT_LT(seconds, 50 * smallDrawn + std::chrono::duration<double>(deadline).count());
        }
    }
}

// Takes every descriptor number up to a limit, so none is left for the
// pipe of the compile's child: false where a pipe can still be made.
bool LeaveNoDescriptor() {
    int highest = 2;
    for (int fd = 0; fd < 65536; ++fd)
        if (::fcntl(fd, F_GETFD) >= 0) highest = fd;
    const rlimit files{rlim_t(highest + 1), rlim_t(highest + 1)};
    if (::setrlimit(RLIMIT_NOFILE, &files) != 0) return false;
    while (::open("/dev/null", O_RDONLY) >= 0) {
    }
    int probe[2];
    return ::pipe(probe) != 0;
}

// A game's loading thread may have a small stack: the compile's work runs on
// one of its own, so the chains compile from a thread of 256 KB as from the
// main one; and where no child can be made (no descriptor left for its
// pipe) nothing would bound the work, so the compile is refused with that
// reason, and the caller lives.
TEST(GfxUtilHlslChainsStackTest, ChainsCompileFromAThreadOfASmallStack) {
    for (const bool childless : {false, true}) {
        for (const bool loops : {false, true}) {
            SCOPED_TRACE(std::string(loops ? "loops" : "ifs") + (childless ? " without a child" : ""));
            const CallerSaw saw = InACaller(
                [&] {
                    Answer a;
                    if (childless && !LeaveNoDescriptor()) {
                        a.errors = "a pipe could still be made";
                        return a;
                    }
                    gfx::test::OnASmallStack(256 * 1024,
                                             [&] { a = CompileCall(gfx::test::BlocksInARow(loops, loops ? 200 : 340)); });
                    return a;
                },
                10 * HlslCompileLimits{}.time);
            ASSERT_TRUE(saw.lived) << "the caller died: status " << saw.status;
            if (childless) {
                EXPECT_EQ(saw.hr, E_FAIL);
                EXPECT_NE(saw.errors.find(kHlslNoProcess), std::string::npos) << saw.errors;
                continue;
            }
            EXPECT_EQ(saw.hr, D3D_OK) << saw.errors;
            EXPECT_FALSE(saw.code.empty());
        }
    }
}
