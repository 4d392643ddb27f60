// The device against plain OpenGL doing the same work in a same-size window:
// (1) clear + present frames, (2) a 10,000-triangle XYZ|DIFFUSE list from a
// managed vertex buffer against a VBO drawn with a minimal program and
// glDrawArrays. Both sides end every iteration with glFinish. The run ends
// with the two ratios device/plain (goal: at most 1.2), each the median of
// interleaved pairs (device frames, plain frames, device frames, ...), so
// a busy moment of the shared machine (llvmpipe draws on the same cores)
// falls on both sides of a pair alike.

#include "bench/BenchGlBaseline.h"
#include "bench/BenchSupport.h"
#include "platform/gfx/Gfx.h"

#include <SDL2/SDL.h>
#include <benchmark/benchmark.h>
#include <epoxy/gl.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <string>
#include <vector>

namespace {

constexpr int kWidth = 640, kHeight = 480;
constexpr int kTriangles = 10000;

struct Vertex {
    float x, y, z;
    std::uint32_t color;
};

// Small triangles spread over the screen in clip space (identity transforms).
std::vector<Vertex> MakeTriangles() {
    std::vector<Vertex> v;
    v.reserve(kTriangles * 3);
    const int columns = 100;
    for (int i = 0; i < kTriangles; ++i) {
        const float cx = -0.98f + 1.96f * float(i % columns) / columns;
        const float cy = -0.98f + 1.96f * float(i / columns) / (kTriangles / columns);
        const std::uint32_t c = 0xFF000000u | (std::uint32_t(i * 2654435761u) & 0xFFFFFFu);
        // Clockwise on screen (y up in clip space: this order runs clockwise).
        v.push_back({cx, cy, 0.5f, c});
        v.push_back({cx + 0.015f, cy - 0.015f, 0.5f, c});
        v.push_back({cx, cy - 0.015f, 0.5f, c});
    }
    return v;
}

// ---- device side ----------------------------------------------------------------
struct DeviceSide {
    gfx::IDirect3D9* d3d = nullptr;
    gfx::IDirect3DDevice9* device = nullptr;
    gfx::IDirect3DVertexBuffer9* vb = nullptr;

    bool Open() {
        d3d = gfx::Direct3DCreate9(gfx::D3D_SDK_VERSION, gfx::BackendKind::Gl);
        if (!d3d) return false;
        gfx::D3DPRESENT_PARAMETERS p;
        p.BackBufferWidth = kWidth;
        p.BackBufferHeight = kHeight;
        p.BackBufferFormat = gfx::D3DFMT_X8R8G8B8;
        p.BackBufferCount = 1;
        p.SwapEffect = gfx::D3DSWAPEFFECT_DISCARD;
        p.Windowed = 1;
        p.EnableAutoDepthStencil = 1;
        p.AutoDepthStencilFormat = gfx::D3DFMT_D24S8;
        p.PresentationInterval = gfx::D3DPRESENT_INTERVAL_IMMEDIATE;
        if (d3d->CreateDevice(0, gfx::D3DDEVTYPE_HAL, nullptr, gfx::D3DCREATE_HARDWARE_VERTEXPROCESSING, &p, &device) !=
            gfx::D3D_OK)
            return false;
        const std::vector<Vertex> tris = MakeTriangles();
        const std::uint32_t bytes = std::uint32_t(tris.size() * sizeof(Vertex));
        const std::uint32_t fvf = gfx::D3DFVF_XYZ | gfx::D3DFVF_DIFFUSE;
        if (device->CreateVertexBuffer(bytes, gfx::D3DUSAGE_WRITEONLY, fvf, gfx::D3DPOOL_MANAGED, &vb, nullptr) != gfx::D3D_OK)
            return false;
        void* data = nullptr;
        vb->Lock(0, 0, &data, 0);
        std::memcpy(data, tris.data(), bytes);
        vb->Unlock();
        device->SetRenderState(gfx::D3DRS_LIGHTING, 0);
        device->SetFVF(fvf);
        device->SetStreamSource(0, vb, 0, sizeof(Vertex));
        return true;
    }
    ~DeviceSide() {
        if (vb) vb->Release();
        if (device) device->Release();
        if (d3d) d3d->Release();
    }
};

// ---- plain GL side ----------------------------------------------------------------
constexpr const char* kPlainVs = R"(#version 330 core
layout(location = 0) in vec3 aPos;
layout(location = 1) in vec4 aColor;
out vec4 vColor;
void main() { gl_Position = vec4(aPos, 1.0); vColor = aColor; }
)";
constexpr const char* kPlainFs = R"(#version 330 core
in vec4 vColor;
out vec4 oColor;
void main() { oColor = vColor; }
)";

struct PlainSide {
    BenchGlWindow gl;
    GLuint program = 0, vao = 0, vbo = 0;

    bool Open() {
        // The same pixel format as the device's window.
        if (!gl.Open(kWidth, kHeight)) return false;
        program = BenchGlProgram(kPlainVs, kPlainFs);
        glGenVertexArrays(1, &vao);
        glBindVertexArray(vao);
        const std::vector<Vertex> tris = MakeTriangles();
        glGenBuffers(1, &vbo);
        glBindBuffer(GL_ARRAY_BUFFER, vbo);
        glBufferData(GL_ARRAY_BUFFER, GLsizeiptr(tris.size() * sizeof(Vertex)), tris.data(), GL_STATIC_DRAW);
        glEnableVertexAttribArray(0);
        glVertexAttribPointer(0, 3, GL_FLOAT, GL_FALSE, sizeof(Vertex), nullptr);
        glEnableVertexAttribArray(1);
        glVertexAttribPointer(1, GL_BGRA, GL_UNSIGNED_BYTE, GL_TRUE, sizeof(Vertex), reinterpret_cast<void*>(12));
        glUseProgram(program);
        glEnable(GL_DEPTH_TEST);
        glDepthFunc(GL_LEQUAL);
        return true;
    }
    // The context keeps the program, vertex array and depth state bound.
    void MakeCurrent() { gl.MakeCurrent(); }
    ~PlainSide() {
        if (gl.m_pkContext) {
            MakeCurrent();
            glDeleteBuffers(1, &vbo);
            glDeleteVertexArrays(1, &vao);
            glDeleteProgram(program);
        }
    }
};

DeviceSide* g_device = nullptr;
PlainSide* g_plain = nullptr;

// One frame of each kind, each side; the device makes its own context
// current on every call, the plain side here.
void DeviceClearPresent() {
    gfx::IDirect3DDevice9* d = g_device->device;
    d->Clear(0, nullptr, gfx::D3DCLEAR_TARGET | gfx::D3DCLEAR_ZBUFFER, 0xFF336699u, 1.0f, 0);
    d->Present(nullptr, nullptr, nullptr, nullptr);
    glFinish(); // the device's context is current after Present
}

void PlainClearSwap() {
    g_plain->MakeCurrent();
    glClearColor(0.2f, 0.4f, 0.6f, 1.0f);
    glClearDepth(1.0);
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    SDL_GL_SwapWindow(g_plain->gl.m_pkWindow);
    glFinish();
}

void DeviceTriangles() {
    gfx::IDirect3DDevice9* d = g_device->device;
    d->Clear(0, nullptr, gfx::D3DCLEAR_TARGET | gfx::D3DCLEAR_ZBUFFER, 0xFF000000u, 1.0f, 0);
    d->BeginScene();
    d->DrawPrimitive(gfx::D3DPT_TRIANGLELIST, 0, kTriangles);
    d->EndScene();
    glFinish();
}

void PlainTriangles() {
    g_plain->MakeCurrent();
    glClearColor(0.0f, 0.0f, 0.0f, 1.0f);
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    glDrawArrays(GL_TRIANGLES, 0, kTriangles * 3);
    glFinish();
}

void BM_DeviceClearPresent(benchmark::State& state) {
    for (auto _ : state) DeviceClearPresent();
}

void BM_PlainClearSwap(benchmark::State& state) {
    for (auto _ : state) PlainClearSwap();
}

void BM_DeviceTriangles(benchmark::State& state) {
    for (auto _ : state) DeviceTriangles();
    state.SetItemsProcessed(state.iterations() * kTriangles);
}

void BM_PlainTriangles(benchmark::State& state) {
    for (auto _ : state) PlainTriangles();
    state.SetItemsProcessed(state.iterations() * kTriangles);
}

// The timings for reading; the ratios come from the pairs below.
BENCHMARK(BM_DeviceClearPresent)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_PlainClearSwap)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_DeviceTriangles)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_PlainTriangles)->Unit(benchmark::kMicrosecond);

} // namespace

int main(int argc, char** argv) {
    if (!std::getenv("SDL_VIDEODRIVER")) setenv("SDL_VIDEODRIVER", "offscreen", 1);
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    PlainSide plain;
    DeviceSide device;
    if (!plain.Open() || !device.Open()) {
        // Nothing to compare without OpenGL (SDL_VIDEODRIVER=dummy): say so, not fail the run.
        std::printf("bench_gfx_device: skipped, no OpenGL 3.3 core context (SDL_VIDEODRIVER=%s)\n",
                    std::getenv("SDL_VIDEODRIVER"));
        return 0;
    }
    g_plain = &plain;
    g_device = &device;
    benchmark::RunSpecifiedBenchmarks();
    std::fflush(stdout);
    std::printf("\n");
    PrintPairRatio("device clear+present / plain OpenGL", MeasurePairs(31, 0.1, DeviceClearPresent, PlainClearSwap),
                   1.2);
    PrintPairRatio("device 10,000 triangles / plain OpenGL", MeasurePairs(31, 0.1, DeviceTriangles, PlainTriangles),
                   1.2);
    benchmark::Shutdown();
    return 0;
}
