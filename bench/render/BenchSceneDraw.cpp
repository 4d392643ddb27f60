// A generated scene of N textured boxes (12 triangles each, 8 textures of
// 64 x 64, one directional light, static data) drawn by the renderer, frame
// by frame: camera, begin, clear, all drawn, end, present, glFinish. Beside
// it a plain OpenGL loop draws the same triangles: a buffer per object, one
// GLSL program with the same lighting and modulation, a texture bind and a
// matrix per draw, glFinish. The first frames are compared by read-back at
// every box's centre (+-1). Prints both frame times and renderer / plain for
// N = 1,000 at 1024 x 768 (goal <= 1.3) and N = 10,000 at 1920 x 1080.
// Then the same 1,000 boxes drawn through an effect file's HLSL technique
// (compiled vertex and pixel programs doing the same lighting and texture
// modulation, the transform and base map bound per draw by the effect
// shader) against the same plain loop (goal <= 1.3).
// Profiled (callgrind, software GL on one thread, a frame of 1,000 boxes):
// the renderer's and the device's own work was 9.25 M instructions through
// the effect, then 6.2 M and now 4.4 M (default shader 4.7 M, the plain
// loop none); the driver's work is about the same on both sides. On one
// thread a steady effect frame and a plain one cost the same, 103.3 M
// instructions: the compiled programs are cheaper than the plain loop's by
// what the renderer adds. With the rasteriser's threads on many cores the
// plain side's frame shrinks and that one-thread work weighs more: 1.1-1.2
// on two cores, 1.22-1.29 on eight when the machine is quiet, up to 1.45
// on a busy or slower one.

#include "bench/BenchGlBaseline.h"
#include "bench/BenchSupport.h"
#include "bench/render/BenchSceneDrawPrograms.h"
#include "engine/core/NiMainLibrary.h"
#include "engine/render/NiDX9Renderer.h"
#include "engine/render/NiDX9RendererLibrary.h"
#include "engine/render/NiRenderLibrary.h"
#include "engine/render/NiSourceTexture.h"
#include "engine/render/image/NiImageFileConverter.h"
#include "engine/render/image/NiRenderImageLibrary.h"
#include "engine/scene/NiCamera.h"
#include "engine/scene/NiLight.h"
#include "engine/scene/NiMaterialProperty.h"
#include "engine/scene/NiNode.h"
#include "engine/scene/NiSceneGraphLibrary.h"
#include "engine/scene/NiSceneLibrary.h"
#include "engine/scene/NiTexturingProperty.h"
#include "engine/scene/NiTriShape.h"
#include "engine/shaders/effect/NiD3DXEffectFile.h"
#include "engine/shaders/effect/NiD3DXEffectShaderLib.h"
#include "engine/shaders/framework/NiD3DShaderFactory.h"
#include "engine/shaders/framework/NiShaderFactory.h"

#include <benchmark/benchmark.h>
#include <epoxy/gl.h>

#include <array>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <vector>

#include <unistd.h>

namespace
{
constexpr int TEXTURES = 8;
constexpr int TEXTURE_SIDE = 64;
constexpr float SPACING = 2.0f;
constexpr float BOX = 1.0f;
constexpr float AMBIENT = 0.3f;
constexpr float SUN = 0.6f; // straight down: N.L = 1 on the tops

// 24 vertices (position, normal, uv) and 36 indices of a unit box.
struct Vertex
{
    float x, y, z, nx, ny, nz, u, v;
};
void BoxGeometry(std::vector<Vertex>& kVerts, std::vector<std::uint16_t>& kIndices)
{
    static const int FACES[6][4][3] = {
        {{0, 0, 0}, {0, 1, 0}, {1, 1, 0}, {1, 0, 0}}, {{0, 0, 1}, {1, 0, 1}, {1, 1, 1}, {0, 1, 1}},
        {{0, 0, 0}, {1, 0, 0}, {1, 0, 1}, {0, 0, 1}}, {{0, 1, 0}, {0, 1, 1}, {1, 1, 1}, {1, 1, 0}},
        {{0, 0, 0}, {0, 0, 1}, {0, 1, 1}, {0, 1, 0}}, {{1, 0, 0}, {1, 1, 0}, {1, 1, 1}, {1, 0, 1}},
    };
    static const float N[6][3] = {{0, 0, -1}, {0, 0, 1}, {0, -1, 0}, {0, 1, 0}, {-1, 0, 0}, {1, 0, 0}};
    static const float UV[4][2] = {{0, 0}, {1, 0}, {1, 1}, {0, 1}};
    for (int f = 0; f < 6; ++f)
    {
        for (int v = 0; v < 4; ++v)
        {
            const int* c = FACES[f][v];
            kVerts.push_back({(float(c[0]) - 0.5f) * BOX, (float(c[1]) - 0.5f) * BOX, float(c[2]) * BOX, N[f][0],
                              N[f][1], N[f][2], UV[v][0], UV[v][1]});
        }
        const auto b = static_cast<std::uint16_t>(4 * f);
        for (std::uint16_t i : {0, 1, 2, 0, 2, 3})
            kIndices.push_back(static_cast<std::uint16_t>(b + i));
    }
}

// Texel colour of texture t: a flat colour, different for each.
std::array<std::uint8_t, 3> TextureColour(int t)
{
    return {static_cast<std::uint8_t>(60 + 25 * t), static_cast<std::uint8_t>(220 - 20 * t),
            static_cast<std::uint8_t>(100 + 15 * (t % 4))};
}

struct Layout
{
    int m_iColumns = 0;
    int m_iRows = 0;
    float m_fCameraZ = 0.0f;
    NiVec3 Position(int i) const
    {
        const int c = i % m_iColumns, r = i / m_iColumns;
        return NiVec3((float(c) - 0.5f * float(m_iColumns - 1)) * SPACING,
                      (float(r) - 0.5f * float(m_iRows - 1)) * SPACING, 0.0f);
    }
};

Layout MakeLayout(int iCount, int iWidth, int iHeight)
{
    Layout k;
    k.m_iColumns = int(std::ceil(std::sqrt(double(iCount) * iWidth / iHeight)));
    k.m_iRows = (iCount + k.m_iColumns - 1) / k.m_iColumns;
    // Frustum half extents 0.5 x (0.5 h / w) at unit distance: the grid fills the view.
    const float fHalfWidth = 0.5f * float(k.m_iColumns) * SPACING;
    const float fHalfHeight = 0.5f * float(k.m_iRows) * SPACING;
    k.m_fCameraZ = BOX + std::max(fHalfWidth / 0.5f, fHalfHeight / (0.5f * float(iHeight) / float(iWidth)));
    return k;
}

// The effect the HLSL side draws with: the plain side's lighting and
// modulation, written as an effect author would.
constexpr const char* EFFECT = R"(float4x4 WorldViewProj : WORLDVIEWPROJECTION;
static const float Ambient = 0.3;
static const float Sun = 0.6;
texture BaseMap < string NTM = "base"; >;
sampler2D BaseSampler = sampler_state { Texture = <BaseMap>; MinFilter = Linear; MagFilter = Linear; MipFilter = None; };
struct VOut { float4 pos : POSITION; float2 uv : TEXCOORD0; float4 lit : COLOR0; };
VOut VS(float4 pos : POSITION, float3 normal : NORMAL, float2 uv : TEXCOORD0)
{
    VOut o;
    o.pos = mul(pos, WorldViewProj);
    o.uv = uv;
    o.lit = float4(saturate(Ambient + Sun * max(dot(normal, float3(0, 0, 1)), 0)).xxx, 1);
    return o;
}
float4 PS(float2 uv : TEXCOORD0, float4 lit : COLOR0) : COLOR
{
    return float4(lit.rgb * tex2D(BaseSampler, uv).rgb, 1);
}
technique BenchBoxes { pass P { VertexShader = compile vs_2_0 VS(); PixelShader = compile ps_2_0 PS(); } }
)";

// ---- the renderer's side ----
struct RendererSide
{
    ~RendererSide()
    {
        m_kBoxes.clear();
        m_spRoot = nullptr;
        if (m_bEffect)
        {
            if (NiD3DShaderFactory* pkFactory = NiD3DShaderFactory::GetD3DShaderFactory())
                pkFactory->RemoveAllLibraries();
            NiD3DXEffectShaderLib::ReleaseEffectFileList();
            NiD3DXEffectFactory::Shutdown();
            std::filesystem::remove_all(m_kEffectFolder);
        }
        m_spRenderer = nullptr;
    }

    // Every box through the effect's technique; false when it gives none.
    bool UseEffect()
    {
        m_kEffectFolder = std::filesystem::temp_directory_path() / ("bench_effect_" + std::to_string(::getpid()));
        std::filesystem::create_directories(m_kEffectFolder);
        std::ofstream(m_kEffectFolder / "boxes.fx") << EFFECT;
        m_bEffect = true;
        const std::string kFolder = m_kEffectFolder.string();
        const char* apcFolders[] = {kFolder.c_str()};
        NiD3DXEffectShaderLib* pkLibrary = NiD3DXEffectShaderLib::Create(m_spRenderer, 1, apcFolders, false);
        NiD3DShaderFactory* pkFactory = NiD3DShaderFactory::GetD3DShaderFactory();
        if (pkLibrary == nullptr || pkFactory == nullptr)
            return false;
        pkFactory->InsertLibrary(pkLibrary);
        for (NiTriShape* pkBox : m_kBoxes)
            if (!NiShaderFactory::AttachShaderByNameToGeometry(pkBox, "BenchBoxes", 0))
                return false;
        return true;
    }

    bool m_bEffect = false;
    std::filesystem::path m_kEffectFolder;
    NiDX9RendererPtr m_spRenderer;
    NiRefPtr<NiNode> m_spRoot;
    std::vector<NiTriShape*> m_kBoxes; // the root holds them
    NiViewFrustum m_kFrustum;
    Layout m_kLayout;
    int m_iWidth = 0, m_iHeight = 0;

    bool Open(int iCount, int iWidth, int iHeight)
    {
        m_iWidth = iWidth, m_iHeight = iHeight;
        m_spRenderer = NiDX9Renderer::Create(std::uint32_t(iWidth), std::uint32_t(iHeight), 0, nullptr, nullptr, 0,
                                             NiDX9Renderer::DEVDESC_PURE, 0, 0,
                                             NiDX9Renderer::PRESENT_INTERVAL_IMMEDIATE,
                                             NiDX9Renderer::SWAPEFFECT_DEFAULT, NiDX9Renderer::FBMODE_LOCKABLE, 1, 0);
        if (m_spRenderer == nullptr)
            return false;
        m_spRenderer->SetBackgroundColor(NiColorRGBA(0.0f, 0.0f, 0.0f, 1.0f));
        m_kLayout = MakeLayout(iCount, iWidth, iHeight);
        const float fHalfHeight = 0.5f * float(iHeight) / float(iWidth);
        m_kFrustum.Set(-0.5f, 0.5f, fHalfHeight, -fHalfHeight, 1.0f, m_kLayout.m_fCameraZ + 10.0f, false);

        std::vector<Vertex> kVerts;
        std::vector<std::uint16_t> kIndices;
        BoxGeometry(kVerts, kIndices);
        std::vector<NiRefPtr<NiTexturingProperty>> kTexturing;
        for (int t = 0; t < TEXTURES; ++t)
        {
            NiRefPtr<NiPixelData> spPixels = new NiPixelData(TEXTURE_SIDE, TEXTURE_SIDE, NiPixelFormat::RGBA32);
            const auto c = TextureColour(t);
            std::uint8_t* puc = spPixels->GetPixels();
            for (int i = 0; i < TEXTURE_SIDE * TEXTURE_SIDE; ++i)
                puc[4 * i] = c[0], puc[4 * i + 1] = c[1], puc[4 * i + 2] = c[2], puc[4 * i + 3] = 255;
            kTexturing.push_back(new NiTexturingProperty(spPixels));
        }
        NiRefPtr<NiMaterialProperty> spMaterial = new NiMaterialProperty;
        spMaterial->SetDiffuseColor(NiColorRGB{1.0f, 1.0f, 1.0f});
        spMaterial->SetAmbientColor(NiColorRGB{1.0f, 1.0f, 1.0f});
        m_spRoot = new NiNode;
        auto* pkSun = new NiDirectionalLight;
        NiMatrix3x3 kDown;
        kDown.SetColumns(NiVec3(0, 0, -1), NiVec3(0, 1, 0), NiVec3(1, 0, 0));
        pkSun->SetRotate(kDown);
        pkSun->SetDiffuseColor(NiColorRGB{SUN, SUN, SUN});
        pkSun->SetAmbientColor(NiColorRGB{0, 0, 0});
        m_spRoot->AttachChild(pkSun);
        m_spRoot->AttachEffect(pkSun);
        auto* pkSky = new NiAmbientLight;
        pkSky->SetAmbientColor(NiColorRGB{AMBIENT, AMBIENT, AMBIENT});
        pkSky->SetDiffuseColor(NiColorRGB{0, 0, 0});
        m_spRoot->AttachChild(pkSky);
        m_spRoot->AttachEffect(pkSky);
        for (int i = 0; i < iCount; ++i)
        {
            auto* pkVerts = new NiVec3[24];
            auto* pkNormals = new NiVec3[24];
            auto* pkUV = new NiVec2[24];
            for (int v = 0; v < 24; ++v)
            {
                pkVerts[v] = NiVec3(kVerts[v].x, kVerts[v].y, kVerts[v].z);
                pkNormals[v] = NiVec3(kVerts[v].nx, kVerts[v].ny, kVerts[v].nz);
                pkUV[v] = NiVec2(kVerts[v].u, kVerts[v].v);
            }
            auto* pusTris = new std::uint16_t[36];
            std::copy(kIndices.begin(), kIndices.end(), pusTris);
            auto* pkBox = new NiTriShape(24, pkVerts, pkNormals, nullptr, pkUV, 1, 0, 12, pusTris);
            pkBox->GetModelData()->SetConsistency(NiGeometryData::STATIC);
            pkBox->SetTranslate(m_kLayout.Position(i));
            pkBox->AttachProperty(spMaterial);
            pkBox->AttachProperty(kTexturing[std::size_t(i % TEXTURES)]);
            m_spRoot->AttachChild(pkBox);
            m_kBoxes.push_back(pkBox);
        }
        m_spRoot->Update(0.0f);
        m_spRoot->UpdateProperties();
        m_spRoot->UpdateEffects();
        return true;
    }

    void Frame()
    {
        m_spRenderer->SetCameraData(NiVec3(0, 0, m_kLayout.m_fCameraZ), NiVec3(0, 0, -1), NiVec3(0, 1, 0),
                                    NiVec3(1, 0, 0), m_kFrustum, NiRect<float>(0.0f, 1.0f, 1.0f, 0.0f));
        m_spRenderer->BeginScene();
        m_spRenderer->ClearBuffer(nullptr, NiRenderer::CLEAR_BACKBUFFER | NiRenderer::CLEAR_ZBUFFER);
        for (NiTriShape* pkBox : m_kBoxes)
            pkBox->RenderImmediate(m_spRenderer);
        m_spRenderer->EndScene();
        m_spRenderer->DisplayFrame();
        glFinish();
    }
};

// ---- the plain side ----
constexpr const char* VERTEX = R"(#version 330 core
layout(location = 0) in vec3 aPos;
layout(location = 1) in vec3 aNormal;
layout(location = 2) in vec2 aUV;
uniform mat4 uViewProj;
uniform vec3 uOffset;
uniform vec2 uLight; // ambient, sun
out vec3 vLit;
out vec2 vUV;
void main() {
    gl_Position = uViewProj * vec4(aPos + uOffset, 1.0);
    float nl = max(dot(aNormal, vec3(0.0, 0.0, 1.0)), 0.0);
    vLit = vec3(clamp(uLight.x + uLight.y * nl, 0.0, 1.0));
    vUV = aUV;
}
)";
constexpr const char* FRAGMENT = R"(#version 330 core
in vec3 vLit;
in vec2 vUV;
uniform sampler2D uTexture;
out vec4 oColour;
void main() { oColour = vec4(vLit * texture(uTexture, vUV).rgb, 1.0); }
)";

struct PlainSide
{
    BenchGlWindow m_kWindow;
    GLuint m_uiProgram = 0;
    GLint m_iViewProj = -1, m_iOffset = -1, m_iLight = -1;
    std::vector<GLuint> m_kVaos, m_kBuffers, m_kTextures;
    std::vector<NiVec3> m_kOffsets;
    Layout m_kLayout;
    int m_iWidth = 0, m_iHeight = 0;
    std::array<float, 16> m_afViewProj{};

    ~PlainSide()
    {
        if (m_kWindow.m_pkContext == nullptr)
            return;
        m_kWindow.MakeCurrent();
        glDeleteVertexArrays(GLsizei(m_kVaos.size()), m_kVaos.data());
        glDeleteBuffers(GLsizei(m_kBuffers.size()), m_kBuffers.data());
        glDeleteTextures(GLsizei(m_kTextures.size()), m_kTextures.data());
        glDeleteProgram(m_uiProgram);
    }

    bool Open(int iCount, int iWidth, int iHeight)
    {
        m_iWidth = iWidth, m_iHeight = iHeight;
        if (!m_kWindow.Open(iWidth, iHeight))
            return false;
        m_uiProgram = BenchGlProgram(VERTEX, FRAGMENT);
        if (m_uiProgram == 0)
            return false;
        m_iViewProj = glGetUniformLocation(m_uiProgram, "uViewProj");
        m_iOffset = glGetUniformLocation(m_uiProgram, "uOffset");
        m_iLight = glGetUniformLocation(m_uiProgram, "uLight");
        m_kLayout = MakeLayout(iCount, iWidth, iHeight);
        // Looking down -z from the camera height; x right, y up; near 1, far as the renderer's.
        const float fNear = 1.0f, fFar = m_kLayout.m_fCameraZ + 10.0f;
        const float fHalfH = 0.5f * float(iHeight) / float(iWidth);
        const float z = m_kLayout.m_fCameraZ;
        // Column-major: x' = x / 0.5, y' = y / fHalfH, depth over (z_cam - z).
        m_afViewProj = {1.0f / 0.5f, 0, 0, 0, 0, 1.0f / fHalfH, 0, 0, 0, 0, -(fFar + fNear) / (fFar - fNear), -1,
                        0, 0, 0, 0};
        // The camera at (0, 0, z): view translates by -z first.
        m_afViewProj[14] = -(fFar + fNear) / (fFar - fNear) * -z - 2.0f * fFar * fNear / (fFar - fNear);
        m_afViewProj[15] = z;

        std::vector<Vertex> kVerts;
        std::vector<std::uint16_t> kIndices;
        BoxGeometry(kVerts, kIndices);
        for (int t = 0; t < TEXTURES; ++t)
        {
            const auto c = TextureColour(t);
            std::vector<std::uint8_t> kPixels;
            for (int i = 0; i < TEXTURE_SIDE * TEXTURE_SIDE; ++i)
                kPixels.insert(kPixels.end(), {c[0], c[1], c[2], 255});
            GLuint uiTexture = 0;
            glGenTextures(1, &uiTexture);
            glBindTexture(GL_TEXTURE_2D, uiTexture);
            glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA8, TEXTURE_SIDE, TEXTURE_SIDE, 0, GL_RGBA, GL_UNSIGNED_BYTE,
                         kPixels.data());
            glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_LINEAR);
            glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_LINEAR);
            m_kTextures.push_back(uiTexture);
        }
        for (int i = 0; i < iCount; ++i)
        {
            GLuint uiVao = 0, auiBuffers[2] = {0, 0};
            glGenVertexArrays(1, &uiVao);
            glGenBuffers(2, auiBuffers);
            glBindVertexArray(uiVao);
            glBindBuffer(GL_ARRAY_BUFFER, auiBuffers[0]);
            glBufferData(GL_ARRAY_BUFFER, GLsizeiptr(kVerts.size() * sizeof(Vertex)), kVerts.data(), GL_STATIC_DRAW);
            glBindBuffer(GL_ELEMENT_ARRAY_BUFFER, auiBuffers[1]);
            glBufferData(GL_ELEMENT_ARRAY_BUFFER, GLsizeiptr(kIndices.size() * 2), kIndices.data(), GL_STATIC_DRAW);
            glEnableVertexAttribArray(0);
            glVertexAttribPointer(0, 3, GL_FLOAT, GL_FALSE, sizeof(Vertex), nullptr);
            glEnableVertexAttribArray(1);
            glVertexAttribPointer(1, 3, GL_FLOAT, GL_FALSE, sizeof(Vertex), reinterpret_cast<void*>(12));
            glEnableVertexAttribArray(2);
            glVertexAttribPointer(2, 2, GL_FLOAT, GL_FALSE, sizeof(Vertex), reinterpret_cast<void*>(24));
            m_kVaos.push_back(uiVao);
            m_kBuffers.insert(m_kBuffers.end(), auiBuffers, auiBuffers + 2);
            m_kOffsets.push_back(m_kLayout.Position(i));
        }
        glBindVertexArray(0);
        return true;
    }

    void Frame()
    {
        m_kWindow.MakeCurrent();
        glViewport(0, 0, m_iWidth, m_iHeight);
        glEnable(GL_DEPTH_TEST);
        glEnable(GL_CULL_FACE);
        glClearColor(0, 0, 0, 1);
        glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
        glUseProgram(m_uiProgram);
        glUniformMatrix4fv(m_iViewProj, 1, GL_FALSE, m_afViewProj.data());
        glUniform2f(m_iLight, AMBIENT, SUN);
        glActiveTexture(GL_TEXTURE0);
        for (std::size_t i = 0; i < m_kVaos.size(); ++i)
        {
            glBindVertexArray(m_kVaos[i]);
            glBindTexture(GL_TEXTURE_2D, m_kTextures[i % TEXTURES]);
            glUniform3f(m_iOffset, m_kOffsets[i].x, m_kOffsets[i].y, m_kOffsets[i].z);
            glDrawElements(GL_TRIANGLES, 36, GL_UNSIGNED_SHORT, nullptr);
        }
        SDL_GL_SwapWindow(m_kWindow.m_pkWindow);
        glFinish();
    }
};

// Both first frames read back at every box's centre.
int CompareFirstFrames(RendererSide& kRenderer, PlainSide& kPlain)
{
    kRenderer.Frame();
    NiRefPtr<NiPixelData> spImage = kRenderer.m_spRenderer->CaptureBackBuffer(nullptr);
    kPlain.Frame();
    kPlain.m_kWindow.MakeCurrent();
    std::vector<std::uint8_t> kPlainPixels(std::size_t(kPlain.m_iWidth) * kPlain.m_iHeight * 4);
    glReadBuffer(GL_FRONT);
    glReadPixels(0, 0, kPlain.m_iWidth, kPlain.m_iHeight, GL_RGBA, GL_UNSIGNED_BYTE, kPlainPixels.data());
    if (spImage == nullptr)
        return -1;
    int iDifferent = 0;
    const std::uint8_t* pucR = spImage->GetPixels();
    const Layout& k = kRenderer.m_kLayout;
    for (int i = 0; i < k.m_iColumns * k.m_iRows; ++i)
    {
        const NiVec3 p = k.Position(i);
        const float fDepth = k.m_fCameraZ - BOX;
        const float fNdcX = p.x / (fDepth * 0.5f);
        const float fNdcY = p.y / (fDepth * 0.5f * float(kRenderer.m_iHeight) / float(kRenderer.m_iWidth));
        const int x = int(std::lround((fNdcX + 1.0f) * 0.5f * float(kRenderer.m_iWidth)));
        const int y = int(std::lround((1.0f - fNdcY) * 0.5f * float(kRenderer.m_iHeight)));
        if (x < 0 || y < 0 || x >= kRenderer.m_iWidth || y >= kRenderer.m_iHeight)
            continue;
        const std::uint8_t* pr = pucR + (std::size_t(y) * kRenderer.m_iWidth + x) * 4;
        const std::uint8_t* pp =
            kPlainPixels.data() + (std::size_t(kPlain.m_iHeight - 1 - y) * kPlain.m_iWidth + x) * 4;
        if (std::abs(pr[2] - pp[0]) > 1 || std::abs(pr[1] - pp[1]) > 1 || std::abs(pr[0] - pp[2]) > 1)
            ++iDifferent;
    }
    return iDifferent;
}

double FrameMs(const std::function<void()>& fnFrame, int iFrames)
{
    fnFrame(); // warm
    const auto kStart = std::chrono::steady_clock::now();
    for (int i = 0; i < iFrames; ++i)
        fnFrame();
    const auto kEnd = std::chrono::steady_clock::now();
    return std::chrono::duration<double, std::milli>(kEnd - kStart).count() / iFrames;
}

RendererSide* g_pkRenderer = nullptr;
PlainSide* g_pkPlain = nullptr;

void BM_RendererFrame1000(benchmark::State& kState)
{
    for (auto _ : kState)
        g_pkRenderer->Frame();
}
void BM_PlainFrame1000(benchmark::State& kState)
{
    for (auto _ : kState)
        g_pkPlain->Frame();
}
BENCHMARK(BM_RendererFrame1000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_PlainFrame1000)->Unit(benchmark::kMillisecond);

bool Run(int iCount, int iWidth, int iHeight, bool bGoogleBench)
{
    PlainSide kPlain;
    RendererSide kRenderer;
    if (!kPlain.Open(iCount, iWidth, iHeight) || !kRenderer.Open(iCount, iWidth, iHeight))
        return false;
    const int iDifferent = CompareFirstFrames(kRenderer, kPlain);
    std::printf("N = %d at %d x %d: first frames compared at %d box centres, %d differ by more than 1\n", iCount,
                iWidth, iHeight, kRenderer.m_kLayout.m_iColumns * kRenderer.m_kLayout.m_iRows, iDifferent);
    if (bGoogleBench)
    {
        g_pkRenderer = &kRenderer;
        g_pkPlain = &kPlain;
        benchmark::RunSpecifiedBenchmarks();
        std::fflush(stdout);
        std::printf("\n");
        PrintPairRatio("scene of 1,000 textured boxes at 1024 x 768: renderer / plain",
                       MeasurePairs(15, 0.3, [&] { kRenderer.Frame(); }, [&] { kPlain.Frame(); }), 1.3);
        g_pkRenderer = nullptr;
        g_pkPlain = nullptr;
    }
    else
    {
        const int iFrames = 5;
        const double dRenderer = FrameMs([&] { kRenderer.Frame(); }, iFrames);
        const double dPlain = FrameMs([&] { kPlain.Frame(); }, iFrames);
        std::printf("N = %d at %d x %d: renderer %.2f ms, plain OpenGL %.2f ms a frame, renderer / plain = %.2f\n",
                    iCount, iWidth, iHeight, dRenderer, dPlain, dRenderer / dPlain);
    }
    return true;
}
// The boxes through an HLSL effect technique against the plain loop.
bool RunEffect(bool bSmoke)
{
    PlainSide kPlain;
    RendererSide kRenderer;
    if (!kPlain.Open(1000, 1024, 768) || !kRenderer.Open(1000, 1024, 768))
        return false;
    if (!kRenderer.UseEffect())
    {
        std::printf("HLSL technique: the effect gave no shader\n");
        return false;
    }
    const int iDifferent = CompareFirstFrames(kRenderer, kPlain);
    std::printf("HLSL technique, N = 1000 at 1024 x 768: first frames compared at %d box centres, %d differ by more "
                "than 1\n",
                kRenderer.m_kLayout.m_iColumns * kRenderer.m_kLayout.m_iRows, iDifferent);
    PrintPairRatio("scene of 1,000 textured boxes through an HLSL technique / plain OpenGL",
                   MeasurePairs(bSmoke ? 3 : 15, bSmoke ? 0.02 : 0.3, [&] { kRenderer.Frame(); },
                                [&] { kPlain.Frame(); }),
                   1.3);
    return true;
}
} // namespace

int main(int argc, char** argv)
{
    if (std::getenv("SDL_VIDEODRIVER") == nullptr)
        setenv("SDL_VIDEODRIVER", "offscreen", 1);
    const bool bSmoke = IsSmokeRun(argc, argv);
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 1;
    NiMainLibrary::Reset();
    NiSceneLibraryRegister();
    NiSceneGraphRegister();
    NiRenderLibraryRegister();
    NiRenderImageLibraryRegister();
    NiMainLibrary::Init();
    NiDX9RendererLibraryStartup();
    NiImageConverter::SetCurrent(new NiImageFileConverter);
    if (!Run(1000, 1024, 768, true))
    {
        std::printf("bench_scene_draw: skipped, no OpenGL 3.3 core context (SDL_VIDEODRIVER=%s)\n",
                    std::getenv("SDL_VIDEODRIVER"));
        return 0;
    }
    (void)Run(10000, 1920, 1080, false);
    (void)RunProgramDrawBenchmarks(bSmoke);
    (void)RunEffect(bSmoke);
    benchmark::Shutdown();
    NiImageConverter::ReleaseCurrent();
    NiDX9RendererLibraryReset();
    NiMainLibrary::Reset();
    return 0;
}
