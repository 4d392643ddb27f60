// A 1024 x 1024 A8R8G8B8 DDS file of 11 levels, held in memory, made into a
// device texture by the renderer's direct road (the platform loader creates
// the managed texture and copies each level; the `gl` device uploads it when
// it is first drawn) against plain OpenGL giving the same 11 levels to
// glTexImage2D. Each side ends with glFinish and lets its texture go. The
// run ends with the ratio direct road / plain (goal: at most 1.5), the median
// of interleaved pairs.

#include "bench/BenchGlBaseline.h"
#include "bench/BenchSupport.h"
#include "platform/gfx/Gfx.h"
#include "platform/gfxutil/GfxUtilImage.h"
#include "tests/platform/gfxutil/DdsFixture.h"

#include <SDL2/SDL.h>
#include <benchmark/benchmark.h>
#include <epoxy/gl.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <vector>

namespace {

constexpr std::uint32_t kSide = 1024;
constexpr std::uint32_t kLevels = 11;

std::vector<std::uint8_t> g_file;

ddsfixture::Spec FileSpec() {
    ddsfixture::Spec spec;
    spec.width = spec.height = kSide;
    spec.levels = kLevels;
    return spec;
}

struct TexVertex {
    float x, y, z, rhw;
    float u, v;
};

// ---- device side ----------------------------------------------------------------
struct DeviceSide {
    gfx::IDirect3D9* d3d = nullptr;
    gfx::IDirect3DDevice9* device = nullptr;

    bool Open() {
        d3d = gfx::Direct3DCreate9(gfx::D3D_SDK_VERSION, gfx::BackendKind::Gl);
        if (!d3d) return false;
        gfx::D3DPRESENT_PARAMETERS p;
        p.BackBufferWidth = 64;
        p.BackBufferHeight = 64;
        p.BackBufferFormat = gfx::D3DFMT_X8R8G8B8;
        p.BackBufferCount = 1;
        p.SwapEffect = gfx::D3DSWAPEFFECT_DISCARD;
        p.Windowed = 1;
        p.PresentationInterval = gfx::D3DPRESENT_INTERVAL_IMMEDIATE;
        if (d3d->CreateDevice(0, gfx::D3DDEVTYPE_HAL, nullptr, gfx::D3DCREATE_HARDWARE_VERTEXPROCESSING, &p, &device) !=
            gfx::D3D_OK)
            return false;
        device->SetRenderState(gfx::D3DRS_LIGHTING, 0);
        device->SetRenderState(gfx::D3DRS_ZENABLE, 0);
        device->SetFVF(gfx::D3DFVF_XYZRHW | gfx::D3DFVF_TEX1);
        return true;
    }
    ~DeviceSide() {
        if (device) device->Release();
        if (d3d) d3d->Release();
    }
};

// ---- plain GL side ----------------------------------------------------------------
struct PlainSide {
    BenchGlWindow gl;
    std::vector<const std::uint8_t*> levels;

    bool Open() {
        if (!gl.Open(64, 64)) return false;
        glPixelStorei(GL_UNPACK_ALIGNMENT, 1);
        const ddsfixture::Spec spec = FileSpec();
        for (std::uint32_t level = 0; level < kLevels; ++level)
            levels.push_back(g_file.data() + ddsfixture::LevelOffset(spec, 0, level));
        return true;
    }
    void MakeCurrent() { gl.MakeCurrent(); }
};

DeviceSide* g_device = nullptr;
PlainSide* g_plain = nullptr;

// The file to a texture on the device, drawn once (a one-pixel triangle) so
// the back end uploads every level, then let go.
void DeviceDirectRoad() {
    gfx::IDirect3DDevice9* d = g_device->device;
    gfx::IDirect3DTexture9* texture = nullptr;
    if (gfx::FAILED(gfx::D3DXCreateTextureFromFileInMemory(d, g_file.data(), std::uint32_t(g_file.size()), &texture)))
        std::abort();
    const TexVertex tri[3] = {{0, 0, 0.5f, 1, 0, 0}, {1, 0, 0.5f, 1, 1, 0}, {0, 1, 0.5f, 1, 0, 1}};
    d->SetTexture(0, texture);
    d->DrawPrimitiveUP(gfx::D3DPT_TRIANGLELIST, 1, tri, sizeof(TexVertex));
    d->SetTexture(0, nullptr);
    glFinish(); // the device's context is current after the draw
    texture->Release();
}

void PlainTexImage() {
    g_plain->MakeCurrent();
    GLuint name = 0;
    glGenTextures(1, &name);
    glBindTexture(GL_TEXTURE_2D, name);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAX_LEVEL, GLint(kLevels) - 1);
    for (std::uint32_t level = 0; level < kLevels; ++level) {
        const GLsizei side = GLsizei(std::max(kSide >> level, 1u));
        glTexImage2D(GL_TEXTURE_2D, GLint(level), GL_RGBA8, side, side, 0, GL_BGRA, GL_UNSIGNED_BYTE,
                     g_plain->levels[level]);
    }
    glFinish();
    glDeleteTextures(1, &name);
}

void BM_DeviceDirectRoad(benchmark::State& state) {
    for (auto _ : state) DeviceDirectRoad();
    state.SetBytesProcessed(std::int64_t(state.iterations()) * std::int64_t(g_file.size()));
}

void BM_PlainTexImage(benchmark::State& state) {
    for (auto _ : state) PlainTexImage();
    state.SetBytesProcessed(std::int64_t(state.iterations()) * std::int64_t(g_file.size()));
}

BENCHMARK(BM_DeviceDirectRoad)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_PlainTexImage)->Unit(benchmark::kMillisecond);

} // namespace

int main(int argc, char** argv) {
    if (!std::getenv("SDL_VIDEODRIVER")) setenv("SDL_VIDEODRIVER", "offscreen", 1);
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    g_file = ddsfixture::Build(FileSpec());
    PlainSide plain;
    DeviceSide device;
    if (!plain.Open() || !device.Open()) {
        std::printf("bench_dds_texture: skipped, no OpenGL 3.3 core context (SDL_VIDEODRIVER=%s)\n",
                    std::getenv("SDL_VIDEODRIVER"));
        return 0;
    }
    g_plain = &plain;
    g_device = &device;
    benchmark::RunSpecifiedBenchmarks();
    std::fflush(stdout);
    std::printf("\n");
    // Short sides, many pairs: the uploads are bound by the memory, which
    // other work on the machine shares, so a side of a fifth of a second
    // left a few dozen pairs that each read a different moment of it.
    PrintPairRatio("DDS 1024x1024 A8R8G8B8, 11 levels, direct road to a device texture / plain glTexImage2D",
                   MeasurePairs(21, 0.02, DeviceDirectRoad, PlainTexImage), 1.5);
    benchmark::Shutdown();
    return 0;
}
