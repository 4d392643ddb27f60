// One-triangle draws through the renderer's state cache on the gl device,
// against the same draws in plain OpenGL with one precompiled program per
// state set. Each frame draws 10,000 triangles cycling through 8 state sets
// (a light, one or two textured stages, fog, blending); both sides end the
// frame with glFinish. The run ends with the ratio cache/plain (goal: at most 1.5), the median of
// interleaved pairs of frames.

#include "bench/BenchGlBaseline.h"
#include "bench/BenchSupport.h"
#include "engine/render/NiDX9Renderer.h"
#include "platform/gfx/Gfx.h"

#include <SDL2/SDL.h>
#include <benchmark/benchmark.h>
#include <epoxy/gl.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace {

constexpr int kWidth = 640, kHeight = 480;
constexpr int kDraws = 10000;
constexpr int kSets = 8;

struct Vertex {
    float x, y, z;
    float nx, ny, nz;
    std::uint32_t color;
    float u, v;
};
constexpr std::uint32_t kFvf = gfx::D3DFVF_XYZ | gfx::D3DFVF_NORMAL | gfx::D3DFVF_DIFFUSE | gfx::D3DFVF_TEX1;

// What each state set turns on.
struct StateSet {
    bool lit;
    int textures; // 0, 1 or 2 stages
    bool fog;
    bool blend;
};
constexpr StateSet kStateSets[kSets] = {
    {true, 0, false, false}, {false, 1, false, false}, {true, 1, false, false}, {false, 2, false, false},
    {false, 0, true, false}, {true, 1, true, false},   {false, 1, false, true}, {true, 2, false, true},
};

// Small triangles over the screen in clip space (identity transforms), facing the camera.
std::vector<Vertex> MakeTriangles() {
    std::vector<Vertex> v;
    v.reserve(kDraws * 3);
    const int columns = 100;
    for (int i = 0; i < kDraws; ++i) {
        const float cx = -0.98f + 1.96f * float(i % columns) / columns;
        const float cy = -0.98f + 1.96f * float(i / columns) / (kDraws / columns);
        const std::uint32_t c = 0xC0000000u | (std::uint32_t(i * 2654435761u) & 0xFFFFFFu);
        v.push_back({cx, cy, 0.5f, 0, 0, -1, c, 0, 0});
        v.push_back({cx + 0.015f, cy - 0.015f, 0.5f, 0, 0, -1, c, 1, 1});
        v.push_back({cx, cy - 0.015f, 0.5f, 0, 0, -1, c, 0, 1});
    }
    return v;
}

std::vector<std::uint32_t> TexturePixels(std::uint32_t seed) {
    std::vector<std::uint32_t> p(64 * 64);
    for (std::size_t i = 0; i < p.size(); ++i) p[i] = 0xFF000000u | std::uint32_t((i * 97 + seed) * 2654435761u >> 8);
    return p;
}

// ---- through the cache ---------------------------------------------------------------
struct CacheSide {
    NiDX9RendererPtr renderer;
    gfx::IDirect3DVertexBuffer9* vb = nullptr;
    gfx::IDirect3DTexture9* textures[2] = {};

    bool Open() {
        renderer = NiDX9Renderer::Create(kWidth, kHeight, 0, nullptr, nullptr, 0, NiDX9Renderer::DEVDESC_PURE, 0, 0,
                                         NiDX9Renderer::PRESENT_INTERVAL_IMMEDIATE);
        if (!renderer) return false;
        gfx::IDirect3DDevice9* d = renderer->GetD3DDevice();
        const std::vector<Vertex> tris = MakeTriangles();
        const std::uint32_t bytes = std::uint32_t(tris.size() * sizeof(Vertex));
        if (d->CreateVertexBuffer(bytes, gfx::D3DUSAGE_WRITEONLY, kFvf, gfx::D3DPOOL_MANAGED, &vb, nullptr) != gfx::D3D_OK)
            return false;
        void* data = nullptr;
        vb->Lock(0, 0, &data, 0);
        std::memcpy(data, tris.data(), bytes);
        vb->Unlock();
        for (int t = 0; t < 2; ++t) {
            if (d->CreateTexture(64, 64, 1, 0, gfx::D3DFMT_A8R8G8B8, gfx::D3DPOOL_MANAGED, &textures[t], nullptr) !=
                gfx::D3D_OK)
                return false;
            gfx::D3DLOCKED_RECT lr;
            textures[t]->LockRect(0, &lr, nullptr, 0);
            const std::vector<std::uint32_t> p = TexturePixels(std::uint32_t(t));
            for (int y = 0; y < 64; ++y) std::memcpy(static_cast<std::uint8_t*>(lr.pBits) + y * lr.Pitch, &p[std::size_t(y) * 64], 256);
            textures[t]->UnlockRect(0);
        }
        gfx::D3DLIGHT9 light;
        light.Type = gfx::D3DLIGHT_DIRECTIONAL;
        light.Diffuse = gfx::D3DCOLORVALUE{1.0f, 0.8f, 0.6f, 0.0f};
        light.Direction = gfx::D3DVECTOR{0.3f, -0.3f, 0.9f};
        d->SetLight(0, &light);
        d->LightEnable(0, 1);
        gfx::D3DMATERIAL9 m;
        m.Diffuse = gfx::D3DCOLORVALUE{1.0f, 1.0f, 1.0f, 1.0f};
        m.Ambient = gfx::D3DCOLORVALUE{0.2f, 0.2f, 0.2f, 1.0f};
        d->SetMaterial(&m);
        NiDX9RenderState* s = renderer->GetRenderState();
        s->ResetToDefaults();
        s->SetRenderState(gfx::D3DRS_CULLMODE, gfx::D3DCULL_NONE);
        s->SetRenderState(gfx::D3DRS_ZFUNC, gfx::D3DCMP_LESSEQUAL);
        s->SetRenderState(gfx::D3DRS_AMBIENT, 0xFF202020u);
        s->SetRenderState(gfx::D3DRS_FOGCOLOR, 0xFF8090A0u);
        const float start = 0.2f, end = 1.0f;
        std::uint32_t bits;
        std::memcpy(&bits, &start, 4);
        s->SetRenderState(gfx::D3DRS_FOGSTART, bits);
        std::memcpy(&bits, &end, 4);
        s->SetRenderState(gfx::D3DRS_FOGEND, bits);
        s->SetFVF(kFvf);
        d->SetStreamSource(0, vb, 0, sizeof(Vertex));
        return true;
    }

    // The state set as drawing code sets it: every state through the cache.
    void Apply(const StateSet& set) {
        NiDX9RenderState* s = renderer->GetRenderState();
        s->SetRenderState(gfx::D3DRS_LIGHTING, set.lit);
        s->SetRenderState(gfx::D3DRS_FOGENABLE, set.fog);
        s->SetRenderState(gfx::D3DRS_ALPHABLENDENABLE, set.blend);
        s->SetRenderState(gfx::D3DRS_SRCBLEND, gfx::D3DBLEND_SRCALPHA);
        s->SetRenderState(gfx::D3DRS_DESTBLEND, gfx::D3DBLEND_INVSRCALPHA);
        for (std::uint32_t stage = 0; stage < 3; ++stage) {
            const bool on = int(stage) < set.textures;
            s->SetTexture(stage, on ? textures[stage] : nullptr);
            s->SetTextureStageState(stage, gfx::D3DTSS_COLOROP,
                                    !on ? (stage == 0 ? gfx::D3DTOP_SELECTARG2 : gfx::D3DTOP_DISABLE)
                                        : (stage == 0 ? gfx::D3DTOP_MODULATE : gfx::D3DTOP_ADD));
            s->SetTextureStageState(stage, gfx::D3DTSS_COLORARG1, gfx::D3DTA_TEXTURE);
            s->SetTextureStageState(stage, gfx::D3DTSS_COLORARG2, stage == 0 ? gfx::D3DTA_DIFFUSE : gfx::D3DTA_CURRENT);
            s->SetTextureStageState(stage, gfx::D3DTSS_ALPHAOP,
                                    stage == 0 || on ? gfx::D3DTOP_SELECTARG2 : gfx::D3DTOP_DISABLE);
            s->SetTextureStageState(stage, gfx::D3DTSS_ALPHAARG2, stage == 0 ? gfx::D3DTA_DIFFUSE : gfx::D3DTA_CURRENT);
            if (on) {
                s->SetSamplerState(stage, 4, gfx::D3DTEXF_LINEAR); // magnification
                s->SetSamplerState(stage, 5, gfx::D3DTEXF_LINEAR); // minification
            }
        }
    }

    ~CacheSide() {
        for (gfx::IDirect3DTexture9* t : textures)
            if (t) t->Release();
        if (vb) vb->Release();
        renderer = nullptr;
    }
};

// ---- plain GL: one program per state set ------------------------------------------------
std::string PlainVs(const StateSet& s) {
    std::string src = "#version 330 core\n";
    src += s.lit ? "const bool kLit = true;\n" : "const bool kLit = false;\n";
    src += R"(layout(location = 0) in vec3 aPos;
layout(location = 1) in vec3 aNormal;
layout(location = 2) in vec4 aColor;
layout(location = 3) in vec2 aTex;
uniform vec3 uLightDir; uniform vec3 uLightDiffuse; uniform vec3 uAmbient;
out vec4 vColor; out vec2 vTex; out float vFog;
void main() {
    gl_Position = vec4(aPos, 1.0);
    vColor = aColor;
    if (kLit) vColor = vec4(clamp(uAmbient + uLightDiffuse * max(dot(aNormal, -uLightDir), 0.0), 0.0, 1.0), 1.0);
    vTex = aTex;
    vFog = clamp((1.0 - aPos.z) / 0.8, 0.0, 1.0);
}
)";
    return src;
}

std::string PlainFs(const StateSet& s) {
    std::string src = "#version 330 core\n";
    src += "const int kTextures = " + std::to_string(s.textures) + ";\n";
    src += s.fog ? "const bool kFog = true;\n" : "const bool kFog = false;\n";
    src += R"(in vec4 vColor; in vec2 vTex; in float vFog;
uniform sampler2D uTex0; uniform sampler2D uTex1; uniform vec3 uFogColor;
out vec4 oColor;
void main() {
    vec4 c = vColor;
    if (kTextures >= 1) c = vec4(texture(uTex0, vTex).rgb * c.rgb, c.a);
    if (kTextures >= 2) c = vec4(clamp(c.rgb + texture(uTex1, vTex).rgb, 0.0, 1.0), c.a);
    if (kFog) c.rgb = mix(uFogColor, c.rgb, vFog);
    oColor = c;
}
)";
    return src;
}

struct PlainSide {
    BenchGlWindow gl;
    GLuint programs[kSets] = {};
    GLuint vao = 0, vbo = 0, textures[2] = {};

    bool Open() {
        if (!gl.Open(kWidth, kHeight)) return false;
        for (int i = 0; i < kSets; ++i) {
            const GLuint p = BenchGlProgram(PlainVs(kStateSets[i]).c_str(), PlainFs(kStateSets[i]).c_str());
            if (!p) return false;
            glUseProgram(p);
            glUniform3f(glGetUniformLocation(p, "uLightDir"), 0.3f, -0.3f, 0.9f);
            glUniform3f(glGetUniformLocation(p, "uLightDiffuse"), 1.0f, 0.8f, 0.6f);
            glUniform3f(glGetUniformLocation(p, "uAmbient"), 0.2f * 0x20 / 255.0f, 0.2f * 0x20 / 255.0f,
                        0.2f * 0x20 / 255.0f);
            glUniform3f(glGetUniformLocation(p, "uFogColor"), 0x80 / 255.0f, 0x90 / 255.0f, 0xA0 / 255.0f);
            glUniform1i(glGetUniformLocation(p, "uTex0"), 0);
            glUniform1i(glGetUniformLocation(p, "uTex1"), 1);
            programs[i] = p;
        }
        glGenVertexArrays(1, &vao);
        glBindVertexArray(vao);
        const std::vector<Vertex> tris = MakeTriangles();
        glGenBuffers(1, &vbo);
        glBindBuffer(GL_ARRAY_BUFFER, vbo);
        glBufferData(GL_ARRAY_BUFFER, GLsizeiptr(tris.size() * sizeof(Vertex)), tris.data(), GL_STATIC_DRAW);
        glEnableVertexAttribArray(0);
        glVertexAttribPointer(0, 3, GL_FLOAT, GL_FALSE, sizeof(Vertex), nullptr);
        glEnableVertexAttribArray(1);
        glVertexAttribPointer(1, 3, GL_FLOAT, GL_FALSE, sizeof(Vertex), reinterpret_cast<void*>(12));
        glEnableVertexAttribArray(2);
        glVertexAttribPointer(2, GL_BGRA, GL_UNSIGNED_BYTE, GL_TRUE, sizeof(Vertex), reinterpret_cast<void*>(24));
        glEnableVertexAttribArray(3);
        glVertexAttribPointer(3, 2, GL_FLOAT, GL_FALSE, sizeof(Vertex), reinterpret_cast<void*>(28));
        glGenTextures(2, textures);
        for (int t = 0; t < 2; ++t) {
            glActiveTexture(GL_TEXTURE0 + GLenum(t));
            glBindTexture(GL_TEXTURE_2D, textures[t]);
            const std::vector<std::uint32_t> p = TexturePixels(std::uint32_t(t));
            glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA8, 64, 64, 0, GL_BGRA, GL_UNSIGNED_BYTE, p.data());
            glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_LINEAR);
            glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_LINEAR);
        }
        glEnable(GL_DEPTH_TEST);
        glDepthFunc(GL_LEQUAL);
        glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
        return true;
    }
    void MakeCurrent() { SDL_GL_MakeCurrent(gl.m_pkWindow, gl.m_pkContext); }
    ~PlainSide() {
        if (gl.m_pkContext) {
            MakeCurrent();
            glDeleteTextures(2, textures);
            glDeleteBuffers(1, &vbo);
            glDeleteVertexArrays(1, &vao);
            for (GLuint p : programs) glDeleteProgram(p);
        }
    }
};

CacheSide* g_cache = nullptr;
PlainSide* g_plain = nullptr;

void CacheFrame() {
    gfx::IDirect3DDevice9* d = g_cache->renderer->GetD3DDevice();
    d->Clear(0, nullptr, gfx::D3DCLEAR_TARGET | gfx::D3DCLEAR_ZBUFFER, 0xFF000000u, 1.0f, 0);
    d->BeginScene();
    for (int i = 0; i < kDraws; ++i) {
        g_cache->Apply(kStateSets[i % kSets]);
        d->DrawPrimitive(gfx::D3DPT_TRIANGLELIST, std::uint32_t(i * 3), 1);
    }
    d->EndScene();
    glFinish(); // the device's context is current after its draws
}

void PlainFrame() {
    g_plain->MakeCurrent();
    glBindVertexArray(g_plain->vao);
    glClearColor(0.0f, 0.0f, 0.0f, 1.0f);
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    for (int i = 0; i < kDraws; ++i) {
        const StateSet& s = kStateSets[i % kSets];
        glUseProgram(g_plain->programs[i % kSets]);
        if (s.blend) glEnable(GL_BLEND);
        else glDisable(GL_BLEND);
        glDrawArrays(GL_TRIANGLES, i * 3, 3);
    }
    glFinish();
}

void BM_CacheStateSets(benchmark::State& state) {
    for (auto _ : state) CacheFrame();
    state.SetItemsProcessed(state.iterations() * kDraws);
}

void BM_PlainStateSets(benchmark::State& state) {
    for (auto _ : state) PlainFrame();
    state.SetItemsProcessed(state.iterations() * kDraws);
}

BENCHMARK(BM_CacheStateSets)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_PlainStateSets)->Unit(benchmark::kMillisecond);

} // namespace

int main(int argc, char** argv) {
    if (!std::getenv("SDL_VIDEODRIVER")) setenv("SDL_VIDEODRIVER", "offscreen", 1);
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    PlainSide plain;
    CacheSide cache;
    NiDX9Renderer::SetDirect3DCreateFunction(
        [](std::uint32_t version) { return gfx::Direct3DCreate9(version, gfx::BackendKind::Gl); });
    if (!plain.Open() || !cache.Open()) {
        std::printf("bench_render_state: skipped, no OpenGL 3.3 core context (SDL_VIDEODRIVER=%s)\n",
                    std::getenv("SDL_VIDEODRIVER"));
        return 0;
    }
    g_plain = &plain;
    g_cache = &cache;
    benchmark::RunSpecifiedBenchmarks();
    std::fflush(stdout);
    std::printf("\n");
    PrintPairRatio("10000 draws in 8 state sets cache/plain", MeasurePairs(31, 0.05, CacheFrame, PlainFrame), 1.5);
    benchmark::Shutdown();
    return 0;
}
