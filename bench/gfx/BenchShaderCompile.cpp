// Compiling high-level programs through glslang and SPIRV-Cross against
// assembling programs of the same work with the project's own assembler
// (for information: the two do very different amounts of work), against
// glslang's own parse of the same text in this process, and an effect of
// many passes against as many compiles of one; and what the gl device's
// driver compiles for a program pair made and drawn.

#include "bench/BenchSupport.h"
#include "platform/gfx/Gfx.h"
#include "platform/gfxutil/hlsl/GfxUtilHlslWorkers.h"
#include "platform/gfxutil/GfxUtilEffect.h"
#include "platform/gfxutil/GfxUtilShader.h"

#include <glslang/Public/ResourceLimits.h>
#include <glslang/Public/ShaderLang.h>
#include <glslang/SPIRV/GlslangToSpv.h>
#include <spirv_cross_c.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include <sys/wait.h>
#include <unistd.h>

namespace {

constexpr const char* kHlsl = R"(
float4x4 WorldViewProj;
float4 Tint : register(c4);
struct VOut { float4 pos : POSITION; float4 col : COLOR0; float2 uv : TEXCOORD0; };
VOut main(float4 pos : POSITION, float4 col : COLOR0, float2 uv : TEXCOORD0) {
    VOut o;
    o.pos = mul(pos, WorldViewProj);
    o.col = col * Tint;
    o.uv = uv;
    return o;
}
)";

constexpr const char* kAssembly = "vs_2_0\ndcl_position v0\ndcl_color v1\ndcl_texcoord v2\n"
                                  "m4x4 oPos, v0, c0\nmul oD0, v1, c4\nmov oT0.xy, v2\n";

void CompileOne() {
    gfx::ID3DXBuffer* code = nullptr;
    if (gfx::SUCCEEDED(gfx::D3DXCompileShader(kHlsl, std::uint32_t(std::strlen(kHlsl)), "main", "vs_2_0", 0, &code,
                                              nullptr, nullptr)))
        code->Release();
}

void AssembleOne() {
    gfx::ID3DXBuffer* code = nullptr;
    if (gfx::SUCCEEDED(gfx::D3DXAssembleShader(kAssembly, std::uint32_t(std::strlen(kAssembly)), 0, &code, nullptr)))
        code->Release();
}

// glslang's parse of the same text to SPIR-V, with the options the compile
// gives it, in this process, its tables built by the parse before: the
// front end's own cost, which the compile's (its passes, the bounded child,
// the optimiser, the GLSL writer) is set against. `legalise`: with the
// SPIR-V optimiser's passes glslang runs on what it makes of HLSL unless
// told not to, as the compile runs them.
bool GlslangParseOne(bool legalise, std::vector<std::uint32_t>* made) {
    glslang::TShader shader(EShLangVertex);
    const char* text = kHlsl;
    const int length = int(std::strlen(kHlsl));
    const char* names[] = {"memory"};
    shader.setStringsWithLengthsAndNames(&text, &length, names, 1);
    shader.setEntryPoint("main");
    shader.setSourceEntryPoint("main");
    shader.setEnvInput(glslang::EShSourceHlsl, EShLangVertex, glslang::EShClientOpenGL, 100);
    shader.setEnvClient(glslang::EShClientOpenGL, glslang::EShTargetOpenGL_450);
    shader.setEnvTarget(glslang::EShTargetSpv, glslang::EShTargetSpv_1_0);
    shader.setEnvTargetHlslFunctionality1();
    shader.setHlslIoMapping(true);
    shader.setAutoMapBindings(true);
    shader.setAutoMapLocations(true);
    const auto messages = EShMessages(EShMsgReadHlsl | EShMsgHlslDX9Compatible | EShMsgSpvRules | EShMsgHlslLegalization);
    if (!shader.parse(GetDefaultResources(), 110, false, messages)) return false;
    glslang::TProgram program;
    program.addShader(&shader);
    if (!program.link(messages) || !program.mapIO()) return false;
    std::vector<std::uint32_t> spirv;
    glslang::SpvOptions options;
    options.disableOptimizer = !legalise;
    glslang::GlslangToSpv(*program.getIntermediate(EShLangVertex), spirv, &options);
    if (made) *made = std::move(spirv);
    return made ? !made->empty() : !spirv.empty();
}
bool GlslangParseOne() { return GlslangParseOne(false, nullptr); }

// What the front end alone makes of the program: glslang's SPIR-V with its
// legalisation, then SPIRV-Cross's GLSL of that, each as the compile runs
// it. The floor under the compile, with none of its own work.
bool FrontEndOne() {
    std::vector<std::uint32_t> spirv;
    if (!GlslangParseOne(true, &spirv)) return false;
    spvc_context context = nullptr;
    if (spvc_context_create(&context) != SPVC_SUCCESS) return false;
    spvc_parsed_ir ir = nullptr;
    spvc_compiler compiler = nullptr;
    spvc_compiler_options options = nullptr;
    const char* glsl = nullptr;
    const bool made =
        spvc_context_parse_spirv(context, spirv.data(), spirv.size(), &ir) == SPVC_SUCCESS &&
        spvc_context_create_compiler(context, SPVC_BACKEND_GLSL, ir, SPVC_CAPTURE_MODE_TAKE_OWNERSHIP, &compiler) ==
            SPVC_SUCCESS &&
        spvc_compiler_create_compiler_options(compiler, &options) == SPVC_SUCCESS &&
        spvc_compiler_options_set_uint(options, SPVC_COMPILER_OPTION_GLSL_VERSION, 330) == SPVC_SUCCESS &&
        spvc_compiler_options_set_bool(options, SPVC_COMPILER_OPTION_GLSL_ES, SPVC_FALSE) == SPVC_SUCCESS &&
        spvc_compiler_options_set_bool(options, SPVC_COMPILER_OPTION_GLSL_EMIT_UNIFORM_BUFFER_AS_PLAIN_UNIFORMS,
                                       SPVC_TRUE) == SPVC_SUCCESS &&
        spvc_compiler_install_compiler_options(compiler, options) == SPVC_SUCCESS &&
        spvc_compiler_compile(compiler, &glsl) == SPVC_SUCCESS && glsl && *glsl;
    spvc_context_destroy(context);
    return made;
}

// An effect of `passes` one-line passes, each its own constant, and the
// program one of them compiles.
std::string ManyPassEffect(int passes) {
    std::string fx = "float4 Shade(uniform float k) : COLOR0 { return float4(k, 0.5, 0.25, 1); }\ntechnique T {\n";
    for (int n = 0; n < passes; ++n)
        fx += "  pass P" + std::to_string(n) + " { PixelShader = compile ps_2_0 Shade(" + std::to_string(n) +
              " / 400.0); }\n";
    return fx + "}\n";
}
constexpr const char* kShade = "float4 Shade(uniform float k) : COLOR0 { return float4(k, 0.5, 0.25, 1); }\n";

bool LoadEffect(const std::string& fx) {
    gfx::ID3DXEffectCompiler* compiler = nullptr;
    const bool ok = gfx::SUCCEEDED(gfx::D3DXCreateEffectCompiler(fx.data(), std::uint32_t(fx.size()), nullptr, nullptr,
                                                                 0, &compiler, nullptr));
    if (compiler) compiler->Release();
    return ok;
}

void CompileShade() {
    gfx::ID3DXBuffer* code = nullptr;
    if (gfx::SUCCEEDED(gfx::D3DXCompileShader(kShade, std::uint32_t(std::strlen(kShade)), "Shade", "ps_2_0", 0, &code,
                                              nullptr, nullptr)))
        code->Release();
}

void BM_CompileHlsl(benchmark::State& state) {
    for (auto _ : state) CompileOne();
}
BENCHMARK(BM_CompileHlsl)->Unit(benchmark::kMicrosecond);

// The text passes the compile runs in the calling process, over 2 MB sources
// of the shapes that once took them minutes (an entry's name and '('
// repeated; a uniform parameter read a million times; loops' heads
// repeated). glslang's child is held to almost no memory, so it ends at once
// and the time is the passes'.
std::string HostileSource(int shape) {
    static const char* const kParts[][2] = {{"", "main("},
                                            {"float4 main(uniform float4 u) : COLOR { return u", "+u"},
                                            {"float4 main() : COLOR { ", "for("}};
    std::string s = kParts[shape][0];
    while (s.size() < (2u << 20)) s += kParts[shape][1];
    return s;
}

void BM_HlslPassesOnHostileSource(benchmark::State& state) {
    const std::string source = HostileSource(int(state.range(0)));
    gfx::HlslCompileLimits limits;
    limits.childBytes = 1;
    for (auto _ : state) {
        const gfx::HlslCompileScope scope(limits);
        gfx::ID3DXBuffer* errors = nullptr;
        (void)gfx::D3DXCompileShader(source.data(), std::uint32_t(source.size()), "main",
                                     state.range(0) == 2 ? "ps_3_0" : "ps_2_0", 0, nullptr, &errors, nullptr);
        if (errors) errors->Release();
    }
    state.SetBytesProcessed(std::int64_t(state.iterations()) * std::int64_t(source.size()));
}
BENCHMARK(BM_HlslPassesOnHostileSource)->DenseRange(0, 2)->Unit(benchmark::kMillisecond)->Iterations(3);

void BM_AssembleProgram(benchmark::State& state) {
    for (auto _ : state) AssembleOne();
}
BENCHMARK(BM_AssembleProgram)->Unit(benchmark::kMicrosecond);

// A new vertex and pixel program pair made on the gl device (the driver
// compiles each stage as the program is made) and drawn once (the pair links
// the stages kept from their creation). Reports the driver's compiles per
// pair: 2, one a stage, is the goal; 4 would be each stage compiled twice.
void BM_ProgramPairMadeAndDrawn(benchmark::State& state) {
    gfx::IDirect3D9* d3d = gfx::Direct3DCreate9(gfx::D3D_SDK_VERSION, gfx::BackendKind::Gl);
    gfx::IDirect3DDevice9* device = nullptr;
    gfx::D3DPRESENT_PARAMETERS p;
    p.BackBufferWidth = 64;
    p.BackBufferHeight = 64;
    p.BackBufferFormat = gfx::D3DFMT_X8R8G8B8;
    p.BackBufferCount = 1;
    p.SwapEffect = gfx::D3DSWAPEFFECT_DISCARD;
    p.Windowed = 1;
    if (!d3d || d3d->CreateDevice(0, gfx::D3DDEVTYPE_HAL, nullptr, gfx::D3DCREATE_HARDWARE_VERTEXPROCESSING, &p,
                                  &device) != gfx::D3D_OK) {
        if (d3d) d3d->Release();
        state.SkipWithError("no OpenGL");
        return;
    }
    struct Vertex {
        float x, y, z;
        std::uint32_t color;
    };
    const Vertex triangle[3] = {{-1, -1, 0.5f, 0xFFFFFFFFu}, {1, -1, 0.5f, 0xFFFFFFFFu}, {-1, 1, 0.5f, 0xFFFFFFFFu}};
    device->SetFVF(gfx::D3DFVF_XYZ | gfx::D3DFVF_DIFFUSE);
    const std::uint32_t compilesBefore = gfx::GlShaderCompilesForTests();
    std::uint32_t pairs = 0;
    auto assemble = [](const std::string& text, std::vector<std::uint32_t>& words) {
        gfx::ID3DXBuffer* code = nullptr;
        words.clear();
        if (gfx::FAILED(gfx::D3DXAssembleShader(text.data(), std::uint32_t(text.size()), 0, &code, nullptr))) return;
        const auto* w = static_cast<const std::uint32_t*>(code->GetBufferPointer());
        words.assign(w, w + code->GetBufferSize() / 4);
        code->Release();
    };
    std::vector<std::uint32_t> vsWords, psWords;
    for (auto _ : state) {
        // A constant of its own makes each pair new to the driver.
        state.PauseTiming();
        const std::string n = std::to_string(double(pairs) / 1e6);
        assemble("vs_2_0\ndcl_position v0\ndcl_color v1\ndef c0, " + n + ", 0, 0, 0\nmov oPos, v0\nadd oD0, v1, c0\n",
                 vsWords);
        assemble("ps_2_0\ndcl v0\ndef c0, " + n + ", 0, 0, 0\nadd oC0, v0, c0\n", psWords);
        state.ResumeTiming();
        gfx::IDirect3DVertexShader9* vs = nullptr;
        gfx::IDirect3DPixelShader9* ps = nullptr;
        device->CreateVertexShader(vsWords.data(), std::uint32_t(vsWords.size() * 4), &vs);
        device->CreatePixelShader(psWords.data(), std::uint32_t(psWords.size() * 4), &ps);
        device->SetVertexShader(vs);
        device->SetPixelShader(ps);
        device->DrawPrimitiveUP(gfx::D3DPT_TRIANGLELIST, 1, triangle, sizeof(Vertex));
        device->SetVertexShader(nullptr);
        device->SetPixelShader(nullptr);
        if (vs) vs->Release();
        if (ps) ps->Release();
        ++pairs;
    }
    state.counters["compiles_per_pair"] =
        pairs ? double(gfx::GlShaderCompilesForTests() - compilesBefore) / double(pairs) : 0.0;
    device->Release();
    d3d->Release();
}
BENCHMARK(BM_ProgramPairMadeAndDrawn)->Unit(benchmark::kMicrosecond);

// The first compile of a process that has compiled nothing (its worker
// started, its tables built, then the program compiled) and the one after
// it, on the clock, in milliseconds: each measured in a child forked before
// this process compiled anything, the median of `runs`.
struct FirstCompile {
    double first = 0, second = 0;
};

FirstCompile FirstCompileInAFreshProcess(int runs) {
    std::vector<double> firsts, seconds;
    for (int run = 0; run < runs; ++run) {
        int ends[2];
        if (::pipe(ends) != 0) break;
        const pid_t child = ::fork();
        if (child == 0) {
            ::close(ends[0]);
            double times[2] = {0, 0};
            for (double& t : times) {
                const auto started = std::chrono::steady_clock::now();
                CompileOne();
                t = std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - started).count();
            }
            ::_exit(::write(ends[1], times, sizeof times) == sizeof times ? 0 : 1);
        }
        ::close(ends[1]);
        double times[2] = {0, 0};
        const bool read = child > 0 && ::read(ends[0], times, sizeof times) == sizeof times;
        ::close(ends[0]);
        if (child > 0) (void)::waitpid(child, nullptr, 0);
        if (!read) break;
        firsts.push_back(times[0]);
        seconds.push_back(times[1]);
    }
    FirstCompile f;
    if (firsts.empty()) return f;
    std::sort(firsts.begin(), firsts.end());
    std::sort(seconds.begin(), seconds.end());
    f.first = firsts[firsts.size() / 2];
    f.second = seconds[seconds.size() / 2];
    return f;
}

} // namespace

int main(int argc, char** argv) {
    const bool smoke = IsSmokeRun(argc, argv);
    // Before anything of this process compiles: its children start fresh.
    const FirstCompile first = FirstCompileInAFreshProcess(smoke ? 1 : 5);
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    benchmark::RunSpecifiedBenchmarks();
    std::fflush(stdout);
    // A compile's front end runs in a warm worker, which lives on between
    // compiles: its time is the compile's.
    CountHelperSeconds([] { return 1e-9 * double(gfx::HlslWorkerTime().count()); });
    // Ten programs per unit on each side, one unit a side: compiling is some
    // hundred times slower than assembling, so a side sized by the baseline
    // would hold minutes of compiles.
    const PairRatio ratio = MeasurePairs(
        smoke ? 3 : 15, 1e-9, [] { for (int i = 0; i < 10; ++i) CompileOne(); },
        [] { for (int i = 0; i < 10; ++i) AssembleOne(); });
    std::printf("\ncompile small HLSL programs / as many assembly programs assembled = %.1f "
                "(for information; pairs %d, range %.1f to %.1f)\n",
                ratio.m_dMedian, ratio.m_iPairs, ratio.m_dLow, ratio.m_dHigh);
    // The small program's whole compile against glslang's parse of it, both
    // ten a unit.
    glslang::InitializeProcess();
    if (!GlslangParseOne()) std::printf("glslang refused the small program\n");
    const PairRatio front = MeasurePairs(
        smoke ? 3 : 15, 0.0, [] { for (int i = 0; i < 10; ++i) CompileOne(); },
        [] { for (int i = 0; i < 10; ++i) (void)GlslangParseOne(); });
    PrintPairRatio("compile of the small program / glslang's parse of it to SPIR-V (warm tables)", front, 5.0);
    std::printf("  the small program's compile: %.2f ms of processor time (aim: under 10 ms); glslang's parse: %.2f ms\n",
                front.m_dSystemUnit * 100.0, front.m_dBaselineUnit * 100.0);
    // Where the compile's time goes: the front end's own work on the
    // program (legalisation and GLSL included) against the parse alone, and
    // the compile against that front end, whose difference is the compile's
    // own (its passes, the worker, the constant table).
    if (!FrontEndOne()) std::printf("the front end refused the small program\n");
    const PairRatio floor = MeasurePairs(
        smoke ? 3 : 15, 0.0, [] { for (int i = 0; i < 10; ++i) (void)FrontEndOne(); },
        [] { for (int i = 0; i < 10; ++i) (void)GlslangParseOne(); });
    std::printf("the front end's own work: glslang's SPIR-V with its legalisation and SPIRV-Cross's GLSL / glslang's "
                "parse = %.2f (for information: the floor under the ratio above)\n",
                floor.m_dMedian);
    const PairRatio own = MeasurePairs(
        smoke ? 3 : 15, 0.0, [] { for (int i = 0; i < 10; ++i) CompileOne(); },
        [] { for (int i = 0; i < 10; ++i) (void)FrontEndOne(); });
    std::printf("compile of the small program / the front end's own work on it = %.2f (for information); the front "
                "end: %.2f ms\n",
                own.m_dMedian, own.m_dBaselineUnit * 100.0);
    // 200 passes in one effect against 200 compiles of the one pass's program.
    const int passes = smoke ? 20 : 200;
    const std::string effect = ManyPassEffect(passes);
    if (!LoadEffect(effect)) std::printf("the effect of %d passes did not load\n", passes);
    const PairRatio many = MeasurePairs(
        smoke ? 3 : 15, 0.0, [&] { (void)LoadEffect(effect); },
        [&] { for (int i = 0; i < passes; ++i) CompileShade(); });
    char measure[128];
    std::snprintf(measure, sizeof measure, "an effect of %d one-line passes / %d compiles of one such pass", passes,
                  passes);
    PrintPairRatio(measure, many, 1.5);
    std::printf("  the effect of %d passes: %.2f s of processor time (aim for 200: under 2 s); %d compiles: %.2f s\n",
                passes, many.m_dSystemUnit, passes, many.m_dBaselineUnit);
    // The load is linear in passes: one effect of 5,000 passes against as
    // many passes in effects of 200, each side once a round, in turns; a
    // load of seconds a side is timed in a few rounds rather than in pairs.
    const int largePasses = smoke ? 100 : 5000;
    const std::string large = ManyPassEffect(largePasses);
    const int smallLoads = largePasses / passes;
    std::vector<double> perPass, largeSeconds, smallSeconds;
    bool loaded = true;
    for (int round = 0; round < (smoke ? 1 : 3); ++round) {
        double largeTime = 0, smallTime = 0;
        for (int side = 0; side < 2; ++side) {
            const double start = ProcessorSecondsSoFar();
            if ((side + round) % 2 == 0) {
                loaded = LoadEffect(large) && loaded;
                largeTime = ProcessorSecondsSoFar() - start;
            } else {
                for (int i = 0; i < smallLoads; ++i) (void)LoadEffect(effect);
                smallTime = ProcessorSecondsSoFar() - start;
            }
        }
        perPass.push_back(largeTime / smallTime);
        largeSeconds.push_back(largeTime);
        smallSeconds.push_back(smallTime);
    }
    if (!loaded) std::printf("the effect of %d passes did not load\n", largePasses);
    const auto median = [](std::vector<double> v) {
        std::sort(v.begin(), v.end());
        return v[v.size() / 2];
    };
    std::printf("an effect of %d one-line passes / %d effects of %d such passes = %.2f (goal <= 1.3; rounds %zu, "
                "range %.2f to %.2f)\n",
                largePasses, smallLoads, passes, median(perPass), perPass.size(),
                *std::min_element(perPass.begin(), perPass.end()), *std::max_element(perPass.begin(), perPass.end()));
    std::printf("  a pass of the effect of %d: %.3f ms of processor time; of the effects of %d: %.3f ms\n", largePasses,
                1e3 * median(largeSeconds) / largePasses, passes, 1e3 * median(smallSeconds) / largePasses);
    std::printf("the first compile of the small program in a fresh process, its worker's start included: %.1f ms on "
                "the clock (for information; the compile after it: %.1f ms)\n",
                first.first, first.second);
    benchmark::Shutdown();
    return 0;
}
