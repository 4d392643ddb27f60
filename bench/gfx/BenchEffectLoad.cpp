// Loading effect files whose size is in their count of passes, parameters
// or annotations: the load's time per pass, per parameter and per
// annotation must not grow with the count (a search per parameter through
// all the others once made a file of 100,000 parameters take a minute, and
// one per annotation through the block's others 100,000 annotations miss
// the load's deadline). Each goal line sets the time per
// unit of a file ten times larger against the smaller file's, as interleaved
// pairs: one load of the large file, then ten of the small.

#include "bench/BenchSupport.h"
#include "platform/gfx/Gfx.h"
#include "platform/gfxutil/GfxUtilEffect.h"

#include <cstdio>
#include <cstdlib>
#include <string>

namespace {

// Passes that all run one program: the program is compiled once, so the
// time is the reading and the passes' own.
std::string SharedProgramPasses(int passes) {
    std::string text = "float4 Tint;\nfloat4 main() : COLOR { return Tint; }\ntechnique T {\n";
    for (int i = 0; i < passes; ++i)
        text += " pass P" + std::to_string(i) + " { PixelShader = compile ps_2_0 main(); ZEnable = false; }\n";
    return text + "}\n";
}

std::string ManyParameters(int count) {
    std::string text;
    for (int i = 0; i < count; ++i) text += "float4 g" + std::to_string(i) + ";\n";
    return text;
}

// One parameter carrying all the annotations: one block, each name new.
std::string ManyAnnotations(int count) {
    std::string text = "float4 Tint <\n";
    for (int i = 0; i < count; ++i) text += " float a" + std::to_string(i) + " = 1;\n";
    return text + ">;\n";
}

// The null device: the load's own work, not a driver's.
class NullDevice {
public:
    NullDevice() {
        m_d3d = gfx::Direct3DCreate9(gfx::D3D_SDK_VERSION, gfx::BackendKind::Null);
        gfx::D3DPRESENT_PARAMETERS p;
        p.BackBufferWidth = 64;
        p.BackBufferHeight = 64;
        p.BackBufferFormat = gfx::D3DFMT_X8R8G8B8;
        p.BackBufferCount = 1;
        p.SwapEffect = gfx::D3DSWAPEFFECT_DISCARD;
        p.Windowed = 1;
        if (m_d3d && m_d3d->CreateDevice(0, gfx::D3DDEVTYPE_HAL, nullptr, gfx::D3DCREATE_HARDWARE_VERTEXPROCESSING, &p,
                                         &m_device) != gfx::D3D_OK)
            m_device = nullptr;
    }
    ~NullDevice() {
        if (m_device) m_device->Release();
        if (m_d3d) m_d3d->Release();
    }
    NullDevice(const NullDevice&) = delete;
    NullDevice& operator=(const NullDevice&) = delete;
    [[nodiscard]] gfx::IDirect3DDevice9* Get() const { return m_device; }

private:
    gfx::IDirect3D9* m_d3d = nullptr;
    gfx::IDirect3DDevice9* m_device = nullptr;
};

// One whole load and release; false when the effect did not load.
bool Load(gfx::IDirect3DDevice9* device, const std::string& text) {
    gfx::ID3DXEffect* fx = nullptr;
    gfx::ID3DXBuffer* errors = nullptr;
    const gfx::HRESULT hr = gfx::D3DXCreateEffect(device, text.data(), std::uint32_t(text.size()), nullptr, nullptr, 0,
                                                  nullptr, &fx, &errors);
    if (errors) errors->Release();
    if (fx) fx->Release();
    return gfx::SUCCEEDED(hr);
}

void RunLoads(benchmark::State& state, const std::string& text, const char* perWhat) {
    const NullDevice device;
    if (!device.Get()) {
        state.SkipWithError("no device");
        return;
    }
    for (auto _ : state)
        if (!Load(device.Get(), text)) {
            state.SkipWithError("the effect did not load");
            return;
        }
    state.counters[perWhat] = benchmark::Counter(double(state.iterations()) * double(state.range(0)),
                                                 benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
}

void BM_EffectManyPasses(benchmark::State& state) {
    RunLoads(state, SharedProgramPasses(int(state.range(0))), "per_pass");
}
BENCHMARK(BM_EffectManyPasses)->Arg(1000)->Arg(10000)->Unit(benchmark::kMillisecond);

void BM_EffectManyParameters(benchmark::State& state) {
    RunLoads(state, ManyParameters(int(state.range(0))), "per_parameter");
}
BENCHMARK(BM_EffectManyParameters)->Arg(10000)->Arg(100000)->Unit(benchmark::kMillisecond);

void BM_EffectManyAnnotations(benchmark::State& state) {
    RunLoads(state, ManyAnnotations(int(state.range(0))), "per_annotation");
}
BENCHMARK(BM_EffectManyAnnotations)->Arg(10000)->Arg(100000)->Unit(benchmark::kMillisecond);

// Time per unit of the file of 10 x `count` units / of the file of `count`.
void PrintScaling(const char* measure, const std::string& small, const std::string& large, int pairs,
                  gfx::IDirect3DDevice9* device) {
    const PairRatio ratio = MeasurePairs(
        pairs, 0.0, [&] { (void)Load(device, large); },
        [&] {
            for (int i = 0; i < 10; ++i) (void)Load(device, small);
        });
    PrintPairRatio(measure, ratio, 2.0);
}

} // namespace

int main(int argc, char** argv) {
    setenv("SDL_VIDEODRIVER", "dummy", 0); // the null device draws nothing; 0: keep the caller's choice
    const bool smoke = IsSmokeRun(argc, argv);
    const bool passes = IsWanted(argc, argv, "BM_EffectManyPasses");
    const bool parameters = IsWanted(argc, argv, "BM_EffectManyParameters");
    const bool annotations = IsWanted(argc, argv, "BM_EffectManyAnnotations");
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    benchmark::RunSpecifiedBenchmarks();
    std::fflush(stdout);
    const NullDevice device;
    if (!device.Get()) {
        std::printf("\nno device: no goal lines\n");
        benchmark::Shutdown();
        return 0;
    }
    // A smoke run checks the lines are made, on files a tenth the size.
    const int scale = smoke ? 10 : 1;
    const int pairs = smoke ? 3 : 15;
    std::printf("\n");
    if (passes)
        PrintScaling("load time per pass, 10,000 passes sharing one program / 1,000", SharedProgramPasses(1000 / scale),
                     SharedProgramPasses(10000 / scale), pairs, device.Get());
    if (parameters)
        PrintScaling("load time per parameter, 100,000 parameters / 10,000", ManyParameters(10000 / scale),
                     ManyParameters(100000 / scale), pairs, device.Get());
    if (annotations)
        PrintScaling("load time per annotation, 100,000 annotations / 10,000", ManyAnnotations(10000 / scale),
                     ManyAnnotations(100000 / scale), pairs, device.Get());
    benchmark::Shutdown();
    return 0;
}
