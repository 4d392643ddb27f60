// Volatile geometry packed every frame: 200 geometries of 500 vertices
// (positions, normals, colours, two texture sets) through the dynamic buffer
// group and the vertex-buffer manager onto the gl device, each drawn as one
// point so its bytes reach OpenGL; against a plain loop that interleaves the
// same bytes itself into one GL buffer orphaned each frame and draws the same
// points. Both sides end a frame with glFinish. The ratio packer/plain (goal:
// at most 1.5) is the median of interleaved pairs.

#include "bench/BenchGlBaseline.h"
#include "bench/BenchSupport.h"
#include "engine/render/NiDX9GeometryBufferGroup.h"
#include "engine/render/NiDX9VertexBufferManager.h"
#include "engine/render/NiDX9VertexBufferPool.h"
#include "engine/scene/NiTriShape.h"
#include "platform/gfx/Gfx.h"

#include <SDL2/SDL.h>
#include <benchmark/benchmark.h>
#include <epoxy/gl.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

namespace
{
constexpr int kGeometries = 200;
constexpr int kVertices = 500;
constexpr std::uint32_t kStride = 12 + 12 + 4 + 16;

NiTriShapeData* MakeData(int iSeed)
{
    auto* pkVerts = new NiVec3[kVertices];
    auto* pkNormals = new NiVec3[kVertices];
    auto* pkColors = new NiColorRGBA[kVertices];
    auto* pkTex = new NiVec2[kVertices * 2];
    for (int i = 0; i < kVertices; ++i)
    {
        const float f = float(i + iSeed);
        pkVerts[i] = NiVec3(std::sin(f) * 0.9f, std::cos(f) * 0.9f, 0.5f);
        pkNormals[i] = NiVec3(0.0f, 0.0f, 1.0f);
        pkColors[i] = NiColorRGBA(float(i % 7) / 7.0f, 0.5f, float(i % 3) / 3.0f, 1.0f);
        pkTex[i] = NiVec2(f, -f);
        pkTex[kVertices + i] = NiVec2(-f, f);
    }
    return new NiTriShapeData(kVertices, pkVerts, pkNormals, pkColors, pkTex, 2, 0, 0, nullptr);
}

// ---- packer side ----
struct PackerSide
{
    gfx::IDirect3D9* d3d = nullptr;
    gfx::IDirect3DDevice9* device = nullptr;
    NiDX9VertexBufferManagerPtr spManager;
    NiDX9GeometryBufferGroup* pkGroup = nullptr;
    std::vector<NiRefPtr<NiTriShapeData>> kData;

    bool Open()
    {
        d3d = gfx::Direct3DCreate9(gfx::D3D_SDK_VERSION, gfx::BackendKind::Gl);
        if (!d3d)
            return false;
        gfx::D3DPRESENT_PARAMETERS p;
        p.BackBufferWidth = 64;
        p.BackBufferHeight = 64;
        p.BackBufferFormat = gfx::D3DFMT_X8R8G8B8;
        p.BackBufferCount = 1;
        p.SwapEffect = gfx::D3DSWAPEFFECT_DISCARD;
        p.Windowed = 1;
        p.PresentationInterval = gfx::D3DPRESENT_INTERVAL_IMMEDIATE;
        if (d3d->CreateDevice(0, gfx::D3DDEVTYPE_HAL, nullptr, gfx::D3DCREATE_HARDWARE_VERTEXPROCESSING, &p,
                              &device) != gfx::D3D_OK)
            return false;
        device->SetRenderState(gfx::D3DRS_LIGHTING, 0);
        spManager = new NiDX9VertexBufferManager(device);
        pkGroup = NiDX9GeometryBufferGroup::Create(2, 0);
        pkGroup->SetDevice(device);
        for (int g = 0; g < kGeometries; ++g)
        {
            kData.emplace_back(MakeData(g));
            pkGroup->CreateGeometryData(kData.back(), nullptr, nullptr, 0);
        }
        return true;
    }
    ~PackerSide()
    {
        for (auto& sp : kData)
            pkGroup->ReleaseGeometryData(sp);
        kData.clear();
        delete pkGroup;
        NiDX9VertexBufferPool::FreeChunkPool();
        spManager = nullptr;
        if (device)
            device->Release();
        if (d3d)
            d3d->Release();
    }
};

// ---- plain side ----
constexpr const char* kVs = R"(#version 330 core
layout(location = 0) in vec3 aPos;
layout(location = 1) in vec4 aColor;
out vec4 vColor;
void main() { gl_Position = vec4(aPos, 1.0); vColor = aColor; }
)";
constexpr const char* kFs = R"(#version 330 core
in vec4 vColor;
out vec4 oColor;
void main() { oColor = vColor; }
)";

struct PlainSide
{
    BenchGlWindow gl;
    GLuint program = 0, vao = 0, vbo = 0;
    std::vector<NiRefPtr<NiTriShapeData>> kData;
    std::vector<std::uint8_t> kScratch = std::vector<std::uint8_t>(kVertices * kStride);

    bool Open()
    {
        if (!gl.Open(64, 64))
            return false;
        program = BenchGlProgram(kVs, kFs);
        glGenVertexArrays(1, &vao);
        glBindVertexArray(vao);
        glGenBuffers(1, &vbo);
        glBindBuffer(GL_ARRAY_BUFFER, vbo);
        glBufferData(GL_ARRAY_BUFFER, GLsizeiptr(kGeometries) * kVertices * kStride, nullptr, GL_DYNAMIC_DRAW);
        glEnableVertexAttribArray(0);
        glVertexAttribPointer(0, 3, GL_FLOAT, GL_FALSE, kStride, nullptr);
        glEnableVertexAttribArray(1);
        glVertexAttribPointer(1, GL_BGRA, GL_UNSIGNED_BYTE, GL_TRUE, kStride, reinterpret_cast<void*>(24));
        glUseProgram(program);
        for (int g = 0; g < kGeometries; ++g)
            kData.emplace_back(MakeData(g));
        return true;
    }
    void MakeCurrent() { gl.MakeCurrent(); }
    ~PlainSide()
    {
        if (gl.m_pkContext)
        {
            MakeCurrent();
            glDeleteBuffers(1, &vbo);
            glDeleteVertexArrays(1, &vao);
            glDeleteProgram(program);
        }
    }
};

PackerSide* g_packer = nullptr;
PlainSide* g_plain = nullptr;

void PackerFrame()
{
    gfx::IDirect3DDevice9* d = g_packer->device;
    d->BeginScene();
    for (auto& sp : g_packer->kData)
    {
        auto* pkRecord = static_cast<NiDX9GeometryBufferData*>(sp->GetRendererData());
        NiDX9VertexBufferRange* pkRange =
            g_packer->spManager->PackGeometry(sp, nullptr, 0xFFF, pkRecord->GetStream(0), nullptr);
        if (!pkRange)
            continue;
        d->SetFVF(pkRecord->m_uiFVF);
        d->SetStreamSource(0, pkRange->m_pkVB, 0, pkRecord->GetStride(0));
        d->DrawPrimitive(gfx::D3DPT_POINTLIST, pkRecord->m_uiBaseVertexIndex, 1);
    }
    d->EndScene();
    glFinish(); // the device's context is current after its draws
}

void PlainFrame()
{
    g_plain->MakeCurrent();
    glBindBuffer(GL_ARRAY_BUFFER, g_plain->vbo);
    glBufferData(GL_ARRAY_BUFFER, GLsizeiptr(kGeometries) * kVertices * kStride, nullptr, GL_DYNAMIC_DRAW);
    std::uint8_t* pucBase = g_plain->kScratch.data();
    for (int g = 0; g < kGeometries; ++g)
    {
        const NiTriShapeData* pk = g_plain->kData[g];
        const NiVec3* pkV = pk->GetVertices();
        const NiVec3* pkN = pk->GetNormals();
        const NiColorRGBA* pkC = pk->GetColors();
        const NiVec2* pkT = pk->GetTextures();
        for (int i = 0; i < kVertices; ++i)
        {
            std::uint8_t* puc = pucBase + std::size_t(i) * kStride;
            std::memcpy(puc, &pkV[i], 12);
            std::memcpy(puc + 12, &pkN[i], 12);
            const std::uint32_t uiColor = (std::uint32_t(std::nearbyint(pkC[i].a * 255.0f)) << 24) |
                                          (std::uint32_t(std::nearbyint(pkC[i].r * 255.0f)) << 16) |
                                          (std::uint32_t(std::nearbyint(pkC[i].g * 255.0f)) << 8) |
                                          std::uint32_t(std::nearbyint(pkC[i].b * 255.0f));
            std::memcpy(puc + 24, &uiColor, 4);
            std::memcpy(puc + 28, &pkT[i], 8);
            std::memcpy(puc + 36, &pkT[kVertices + i], 8);
        }
        glBufferSubData(GL_ARRAY_BUFFER, GLintptr(g) * kVertices * kStride, kVertices * kStride, pucBase);
        glDrawArrays(GL_POINTS, g * kVertices, 1);
    }
    glFinish();
}

void BM_PackerFrame(benchmark::State& state)
{
    for (auto _ : state)
        PackerFrame();
    state.SetItemsProcessed(state.iterations() * kGeometries);
}

void BM_PlainFrame(benchmark::State& state)
{
    for (auto _ : state)
        PlainFrame();
    state.SetItemsProcessed(state.iterations() * kGeometries);
}

BENCHMARK(BM_PackerFrame)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_PlainFrame)->Unit(benchmark::kMicrosecond);
} // namespace

int main(int argc, char** argv)
{
    if (!std::getenv("SDL_VIDEODRIVER"))
        setenv("SDL_VIDEODRIVER", "offscreen", 1);
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 1;
    PlainSide plain;
    PackerSide packer;
    if (!plain.Open() || !packer.Open())
    {
        std::printf("bench_geometry_packing: skipped, no OpenGL 3.3 core context (SDL_VIDEODRIVER=%s)\n",
                    std::getenv("SDL_VIDEODRIVER"));
        return 0;
    }
    g_plain = &plain;
    g_packer = &packer;
    benchmark::RunSpecifiedBenchmarks();
    std::fflush(stdout);
    std::printf("\n");
    PrintPairRatio("packer/plain: 200 volatile geometries of 500 vertices per frame",
                   MeasurePairs(21, 0.05, PackerFrame, PlainFrame), 1.5);
    benchmark::Shutdown();
    return 0;
}
