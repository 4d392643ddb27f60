// The device's vertex and pixel programs against hand-written GLSL in plain
// OpenGL:
// - 1,000 textured, lit boxes at 1024 x 768, each drawn through an assembly
//   vertex program (offset, view-projection, N.L lighting) and pixel program
//   (texture x light), one constant and a texture per draw; beside it the
//   same in GLSL, a uniform and a texture per draw (goal <= 1.3);
// - 10,000 draws of a small triangle switching among four program pairs and
//   uploading four vertex constants each; beside it glUseProgram and
//   glUniform4fv (goal <= 1.5).
// The first frames are compared by read-back at every box's centre (+-1).

#include "bench/render/BenchSceneDrawPrograms.h"

#include "bench/BenchGlBaseline.h"
#include "bench/BenchSupport.h"
#include "platform/gfx/Gfx.h"
#include "platform/gfxutil/GfxUtilShader.h"

#include <epoxy/gl.h>

#include <array>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

namespace
{
constexpr int BOXES = 1000;
constexpr int WIDTH = 1024, HEIGHT = 768;
constexpr int TEXTURES = 8;
constexpr int SIDE = 64;
constexpr float SPACING = 2.0f;
constexpr float AMBIENT = 0.3f, SUN = 0.6f;
constexpr int SWITCH_DRAWS = 10000;
constexpr int PAIRS = 4;

struct Vertex
{
    float x, y, z, nx, ny, nz, u, v;
};

void Box(std::vector<Vertex>& kVerts, std::vector<std::uint16_t>& kIndices)
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
            kVerts.push_back({float(c[0]) - 0.5f, float(c[1]) - 0.5f, float(c[2]), N[f][0], N[f][1], N[f][2],
                              UV[v][0], UV[v][1]});
        }
        for (int i : {0, 1, 2, 0, 2, 3})
            kIndices.push_back(static_cast<std::uint16_t>(4 * f + i));
    }
}

std::array<std::uint8_t, 3> Colour(int t)
{
    return {static_cast<std::uint8_t>(60 + 25 * t), static_cast<std::uint8_t>(220 - 20 * t),
            static_cast<std::uint8_t>(100 + 15 * (t % 4))};
}

// The grid, the camera height and the view-projection as row vectors (D3D's
// order, depth 0..1) and as GL's column-major matrix of the same numbers.
struct Scene
{
    int m_iColumns = 0, m_iRows = 0;
    float m_fCameraZ = 0.0f;
    std::array<float, 16> m_afViewProj{}; // row-vector: p x M
    Scene()
    {
        m_iColumns = int(std::ceil(std::sqrt(double(BOXES) * WIDTH / HEIGHT)));
        m_iRows = (BOXES + m_iColumns - 1) / m_iColumns;
        const float fHalfHeight = 0.5f * float(HEIGHT) / float(WIDTH);
        m_fCameraZ = 1.0f + std::max(0.5f * float(m_iColumns) * SPACING / 0.5f,
                                     0.5f * float(m_iRows) * SPACING / fHalfHeight);
        const float fNear = 1.0f, fFar = m_fCameraZ + 10.0f;
        // View: translate by -camera z and look down -z (z_view = cam - z); projection 0..1 depth.
        const float a = fFar / (fFar - fNear), b = -fNear * fFar / (fFar - fNear);
        // x' = x / 0.5, y' = y / h, depth' = a (cam - z) + b, w = cam - z.
        m_afViewProj = {1.0f / 0.5f, 0, 0, 0, 0, 1.0f / fHalfHeight, 0, 0, 0, 0, -a, -1, 0, 0,
                        a * m_fCameraZ + b, m_fCameraZ};
    }
    std::array<float, 3> Position(int i) const
    {
        const int c = i % m_iColumns, r = i / m_iColumns;
        return {(float(c) - 0.5f * float(m_iColumns - 1)) * SPACING, (float(r) - 0.5f * float(m_iRows - 1)) * SPACING,
                0.0f};
    }
};

std::vector<std::uint32_t> Assemble(const char* pcText)
{
    gfx::ID3DXBuffer* pkCode = nullptr;
    gfx::ID3DXBuffer* pkErrors = nullptr;
    std::vector<std::uint32_t> kWords;
    if (gfx::SUCCEEDED(gfx::D3DXAssembleShader(pcText, std::uint32_t(std::strlen(pcText)), 0, &pkCode, &pkErrors)))
    {
        const auto* p = static_cast<const std::uint32_t*>(pkCode->GetBufferPointer());
        kWords.assign(p, p + pkCode->GetBufferSize() / 4);
        pkCode->Release();
    }
    if (pkErrors)
        pkErrors->Release();
    return kWords;
}

// The box programs: c0-c3 the view-projection's columns, c4 the box's
// offset, c5 the direction to the light, c7 ambient and sun.
constexpr const char* BOX_VERTEX = "vs_2_0\n"
                                   "dcl_position v0\ndcl_normal v1\ndcl_texcoord v2\n"
                                   "def c6, 0.0f, 1.0f, 0.0f, 0.0f\n"
                                   "add r0, v0, c4\nmov r0.w, c6.y\nm4x4 oPos, r0, c0\n"
                                   "dp3 r1.x, v1, c5\nmax r1.x, r1.x, c6.x\nmad r1, r1.x, c7.y, c7.x\n"
                                   "min oD0, r1, c6.y\nmov oT0, v2\n";
constexpr const char* BOX_PIXEL = "ps_2_0\ndcl t0.xy\ndcl v0\ndcl_2d s0\ndef c0, 0, 0, 0, 1\n"
                                  "texld r0, t0, s0\nmul r0, r0, v0\nmov r0.w, c0.w\nmov oC0, r0\n";

// ---- the device's side ----
struct DeviceSide
{
    gfx::IDirect3D9* m_pkD3D = nullptr;
    gfx::IDirect3DDevice9* m_pkDevice = nullptr;
    gfx::IDirect3DVertexBuffer9* m_pkVB = nullptr;
    gfx::IDirect3DIndexBuffer9* m_pkIB = nullptr;
    gfx::IDirect3DVertexDeclaration9* m_pkDecl = nullptr;
    std::vector<gfx::IDirect3DTexture9*> m_kTextures;
    gfx::IDirect3DVertexShader9* m_pkVS = nullptr;
    gfx::IDirect3DPixelShader9* m_pkPS = nullptr;
    std::vector<gfx::IDirect3DVertexShader9*> m_kSwitchVS;
    std::vector<gfx::IDirect3DPixelShader9*> m_kSwitchPS;
    Scene m_kScene;

    ~DeviceSide()
    {
        for (auto* p : m_kTextures)
            p->Release();
        for (auto* p : m_kSwitchVS)
            p->Release();
        for (auto* p : m_kSwitchPS)
            p->Release();
        for (gfx::Unknown* p : std::initializer_list<gfx::Unknown*>{m_pkVB, m_pkIB, m_pkDecl, m_pkVS, m_pkPS})
            if (p)
                p->Release();
        if (m_pkDevice)
            m_pkDevice->Release();
        if (m_pkD3D)
            m_pkD3D->Release();
    }

    bool Open()
    {
        m_pkD3D = gfx::Direct3DCreate9(gfx::D3D_SDK_VERSION, gfx::BackendKind::Gl);
        if (!m_pkD3D)
            return false;
        gfx::D3DPRESENT_PARAMETERS kParams;
        kParams.BackBufferWidth = WIDTH;
        kParams.BackBufferHeight = HEIGHT;
        kParams.BackBufferFormat = gfx::D3DFMT_X8R8G8B8;
        kParams.BackBufferCount = 1;
        kParams.SwapEffect = gfx::D3DSWAPEFFECT_DISCARD;
        kParams.Windowed = 1;
        kParams.EnableAutoDepthStencil = 1;
        kParams.AutoDepthStencilFormat = gfx::D3DFMT_D24S8;
        kParams.Flags = gfx::D3DPRESENTFLAG_LOCKABLE_BACKBUFFER;
        kParams.PresentationInterval = gfx::D3DPRESENT_INTERVAL_IMMEDIATE;
        if (gfx::FAILED(m_pkD3D->CreateDevice(0, gfx::D3DDEVTYPE_HAL, nullptr, gfx::D3DCREATE_HARDWARE_VERTEXPROCESSING,
                                              &kParams, &m_pkDevice)))
            return false;
        std::vector<Vertex> kVerts;
        std::vector<std::uint16_t> kIndices;
        Box(kVerts, kIndices);
        void* p = nullptr;
        if (gfx::FAILED(m_pkDevice->CreateVertexBuffer(std::uint32_t(kVerts.size() * sizeof(Vertex)), 0, 0,
                                                        gfx::D3DPOOL_MANAGED, &m_pkVB, nullptr)) ||
            gfx::FAILED(m_pkDevice->CreateIndexBuffer(std::uint32_t(kIndices.size() * 2), 0, gfx::D3DFMT_INDEX16,
                                                       gfx::D3DPOOL_MANAGED, &m_pkIB, nullptr)))
            return false;
        m_pkVB->Lock(0, 0, &p, 0);
        std::memcpy(p, kVerts.data(), kVerts.size() * sizeof(Vertex));
        m_pkVB->Unlock();
        m_pkIB->Lock(0, 0, &p, 0);
        std::memcpy(p, kIndices.data(), kIndices.size() * 2);
        m_pkIB->Unlock();
        const gfx::D3DVERTEXELEMENT9 akElements[] = {
            {0, 0, gfx::D3DDECLTYPE_FLOAT3, gfx::D3DDECLMETHOD_DEFAULT, gfx::D3DDECLUSAGE_POSITION, 0},
            {0, 12, gfx::D3DDECLTYPE_FLOAT3, gfx::D3DDECLMETHOD_DEFAULT, gfx::D3DDECLUSAGE_NORMAL, 0},
            {0, 24, gfx::D3DDECLTYPE_FLOAT2, gfx::D3DDECLMETHOD_DEFAULT, gfx::D3DDECLUSAGE_TEXCOORD, 0},
            gfx::D3DDECL_END(),
        };
        if (gfx::FAILED(m_pkDevice->CreateVertexDeclaration(akElements, &m_pkDecl)))
            return false;
        for (int t = 0; t < TEXTURES; ++t)
        {
            gfx::IDirect3DTexture9* pkTexture = nullptr;
            if (gfx::FAILED(m_pkDevice->CreateTexture(SIDE, SIDE, 1, 0, gfx::D3DFMT_A8R8G8B8, gfx::D3DPOOL_MANAGED,
                                                       &pkTexture, nullptr)))
                return false;
            gfx::D3DLOCKED_RECT kLocked;
            pkTexture->LockRect(0, &kLocked, nullptr, 0);
            const auto c = Colour(t);
            const std::uint32_t uiTexel = 0xFF000000u | (std::uint32_t(c[0]) << 16) | (std::uint32_t(c[1]) << 8) | c[2];
            for (int y = 0; y < SIDE; ++y)
                for (int x = 0; x < SIDE; ++x)
                    std::memcpy(static_cast<std::uint8_t*>(kLocked.pBits) + y * kLocked.Pitch + 4 * x, &uiTexel, 4);
            pkTexture->UnlockRect(0);
            m_kTextures.push_back(pkTexture);
        }
        const auto kVS = Assemble(BOX_VERTEX);
        const auto kPS = Assemble(BOX_PIXEL);
        if (kVS.empty() || kPS.empty() ||
            gfx::FAILED(m_pkDevice->CreateVertexShader(kVS.data(), std::uint32_t(kVS.size() * 4), &m_pkVS)) ||
            gfx::FAILED(m_pkDevice->CreatePixelShader(kPS.data(), std::uint32_t(kPS.size() * 4), &m_pkPS)))
            return false;
        // Four pairs that differ in one definition each.
        for (int i = 0; i < PAIRS; ++i)
        {
            const std::string kV = "vs_2_0\ndcl_position v0\ndef c9, " + std::to_string(0.1 * (i + 1)) +
                                   ", 0, 0, 0\nm4x4 r0, v0, c0\nadd oPos, r0, c9\nmov oD0, c4\n";
            const std::string kP = "ps_2_0\ndcl v0\ndef c1, 0, " + std::to_string(0.2 * i) +
                                   ", 0, 0\nadd oC0, v0, c1\n";
            const auto kVw = Assemble(kV.c_str());
            const auto kPw = Assemble(kP.c_str());
            gfx::IDirect3DVertexShader9* pkV = nullptr;
            gfx::IDirect3DPixelShader9* pkP = nullptr;
            if (kVw.empty() || kPw.empty() ||
                gfx::FAILED(m_pkDevice->CreateVertexShader(kVw.data(), std::uint32_t(kVw.size() * 4), &pkV)) ||
                gfx::FAILED(m_pkDevice->CreatePixelShader(kPw.data(), std::uint32_t(kPw.size() * 4), &pkP)))
                return false;
            m_kSwitchVS.push_back(pkV);
            m_kSwitchPS.push_back(pkP);
        }
        m_pkDevice->SetRenderState(gfx::D3DRS_LIGHTING, 0);
        return true;
    }

    void Frame(bool bPresent = true)
    {
        gfx::IDirect3DDevice9* d = m_pkDevice;
        d->Clear(0, nullptr, gfx::D3DCLEAR_TARGET | gfx::D3DCLEAR_ZBUFFER, 0xFF000000u, 1.0f, 0);
        d->BeginScene();
        d->SetRenderState(gfx::D3DRS_CULLMODE, gfx::D3DCULL_NONE);
        d->SetVertexDeclaration(m_pkDecl);
        d->SetStreamSource(0, m_pkVB, 0, sizeof(Vertex));
        d->SetIndices(m_pkIB);
        d->SetVertexShader(m_pkVS);
        d->SetPixelShader(m_pkPS);
        // m4x4 dots the position with each register: the matrix's columns.
        float afColumns[16];
        for (int r = 0; r < 4; ++r)
            for (int c = 0; c < 4; ++c)
                afColumns[c * 4 + r] = m_kScene.m_afViewProj[std::size_t(r * 4 + c)];
        d->SetVertexShaderConstantF(0, afColumns, 4);
        const float afLight[4] = {0, 0, 1, 0};
        const float afTerms[4] = {AMBIENT, SUN, 0, 0};
        d->SetVertexShaderConstantF(5, afLight, 1);
        d->SetVertexShaderConstantF(7, afTerms, 1);
        for (int i = 0; i < BOXES; ++i)
        {
            const auto p = m_kScene.Position(i);
            const float afOffset[4] = {p[0], p[1], p[2], 0};
            d->SetVertexShaderConstantF(4, afOffset, 1);
            d->SetTexture(0, m_kTextures[std::size_t(i % TEXTURES)]);
            d->DrawIndexedPrimitive(gfx::D3DPT_TRIANGLELIST, 0, 0, 24, 0, 12);
        }
        d->EndScene();
        if (bPresent)
            d->Present(nullptr, nullptr, nullptr, nullptr);
        glFinish();
    }

    // Program switches with four constants each.
    void Switches()
    {
        gfx::IDirect3DDevice9* d = m_pkDevice;
        static const float TRIANGLE[9] = {-0.01f, -0.01f, 0.5f, 0.01f, -0.01f, 0.5f, 0.0f, 0.01f, 0.5f};
        d->SetFVF(gfx::D3DFVF_XYZ);
        d->SetRenderState(gfx::D3DRS_CULLMODE, gfx::D3DCULL_NONE);
        d->BeginScene();
        float afConstants[16] = {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1};
        for (int i = 0; i < SWITCH_DRAWS; ++i)
        {
            d->SetVertexShader(m_kSwitchVS[std::size_t(i % PAIRS)]);
            d->SetPixelShader(m_kSwitchPS[std::size_t(i % PAIRS)]);
            afConstants[12] = float(i % 100) * 0.01f - 0.5f;
            afConstants[13] = float(i / 100 % 100) * 0.01f - 0.5f;
            d->SetVertexShaderConstantF(0, afConstants, 4);
            d->DrawPrimitiveUP(gfx::D3DPT_TRIANGLELIST, 1, TRIANGLE, 12);
        }
        d->EndScene();
        glFinish();
    }

    // 0xRRGGBB at (x, y) of the back buffer.
    std::vector<std::uint32_t> Pixels()
    {
        std::vector<std::uint32_t> kOut;
        gfx::IDirect3DSurface9* pkBack = nullptr;
        if (gfx::FAILED(m_pkDevice->GetBackBuffer(0, 0, gfx::D3DBACKBUFFER_TYPE_MONO, &pkBack)))
            return kOut;
        gfx::D3DLOCKED_RECT kLocked;
        if (gfx::SUCCEEDED(pkBack->LockRect(&kLocked, nullptr, gfx::D3DLOCK_READONLY)))
        {
            for (int y = 0; y < HEIGHT; ++y)
                for (int x = 0; x < WIDTH; ++x)
                {
                    std::uint32_t c = 0;
                    std::memcpy(&c, static_cast<const std::uint8_t*>(kLocked.pBits) + y * kLocked.Pitch + 4 * x, 4);
                    kOut.push_back(c & 0xFFFFFFu);
                }
            pkBack->UnlockRect();
        }
        pkBack->Release();
        return kOut;
    }
};

// ---- plain OpenGL with hand-written GLSL ----
constexpr const char* PLAIN_VERTEX = R"(#version 330 core
layout(location = 0) in vec3 aPos;
layout(location = 1) in vec3 aNormal;
layout(location = 2) in vec2 aUV;
uniform mat4 uViewProj;
uniform vec3 uOffset;
uniform vec4 uLight;
out vec3 vLit;
out vec2 vUV;
void main() {
    vec4 c = uViewProj * vec4(aPos + uOffset, 1.0);
    // D3D depth 0..1 to GL's -1..1; pixel centres on whole coordinates as the device puts them.
    gl_Position = vec4(c.x + c.w / 1024.0, c.y - c.w / 768.0, 2.0 * c.z - c.w, c.w);
    float nl = max(dot(aNormal, vec3(0.0, 0.0, 1.0)), 0.0);
    vLit = vec3(min(uLight.x + uLight.y * nl, 1.0));
    vUV = aUV;
}
)";
constexpr const char* PLAIN_FRAGMENT = R"(#version 330 core
in vec3 vLit;
in vec2 vUV;
uniform sampler2D uTexture;
out vec4 oColour;
void main() { oColour = vec4(vLit * texture(uTexture, vUV).rgb, 1.0); }
)";
constexpr const char* SWITCH_FRAGMENT = R"(#version 330 core
uniform vec4 uTint;
out vec4 oColour;
void main() { oColour = uTint; }
)";

struct PlainSide
{
    BenchGlWindow m_kWindow;
    GLuint m_uiProgram = 0, m_uiVao = 0, m_auiBuffers[2] = {0, 0}, m_uiSwitchVao = 0, m_uiSwitchBuffer = 0;
    GLint m_iViewProj = -1, m_iOffset = -1, m_iLight = -1;
    std::vector<GLuint> m_kTextures, m_kSwitchPrograms;
    std::vector<GLint> m_kSwitchMatrix;
    Scene m_kScene;

    ~PlainSide()
    {
        if (!m_kWindow.m_pkContext)
            return;
        m_kWindow.MakeCurrent();
        glDeleteVertexArrays(1, &m_uiVao);
        glDeleteVertexArrays(1, &m_uiSwitchVao);
        glDeleteBuffers(2, m_auiBuffers);
        glDeleteBuffers(1, &m_uiSwitchBuffer);
        glDeleteTextures(GLsizei(m_kTextures.size()), m_kTextures.data());
        glDeleteProgram(m_uiProgram);
        for (GLuint p : m_kSwitchPrograms)
            glDeleteProgram(p);
    }

    bool Open()
    {
        if (!m_kWindow.Open(WIDTH, HEIGHT))
            return false;
        m_uiProgram = BenchGlProgram(PLAIN_VERTEX, PLAIN_FRAGMENT);
        if (!m_uiProgram)
            return false;
        m_iViewProj = glGetUniformLocation(m_uiProgram, "uViewProj");
        m_iOffset = glGetUniformLocation(m_uiProgram, "uOffset");
        m_iLight = glGetUniformLocation(m_uiProgram, "uLight");
        std::vector<Vertex> kVerts;
        std::vector<std::uint16_t> kIndices;
        Box(kVerts, kIndices);
        glGenVertexArrays(1, &m_uiVao);
        glGenBuffers(2, m_auiBuffers);
        glBindVertexArray(m_uiVao);
        glBindBuffer(GL_ARRAY_BUFFER, m_auiBuffers[0]);
        glBufferData(GL_ARRAY_BUFFER, GLsizeiptr(kVerts.size() * sizeof(Vertex)), kVerts.data(), GL_STATIC_DRAW);
        glBindBuffer(GL_ELEMENT_ARRAY_BUFFER, m_auiBuffers[1]);
        glBufferData(GL_ELEMENT_ARRAY_BUFFER, GLsizeiptr(kIndices.size() * 2), kIndices.data(), GL_STATIC_DRAW);
        for (GLuint a = 0; a < 3; ++a)
            glEnableVertexAttribArray(a);
        glVertexAttribPointer(0, 3, GL_FLOAT, GL_FALSE, sizeof(Vertex), nullptr);
        glVertexAttribPointer(1, 3, GL_FLOAT, GL_FALSE, sizeof(Vertex), reinterpret_cast<void*>(12));
        glVertexAttribPointer(2, 2, GL_FLOAT, GL_FALSE, sizeof(Vertex), reinterpret_cast<void*>(24));
        for (int t = 0; t < TEXTURES; ++t)
        {
            const auto c = Colour(t);
            std::vector<std::uint8_t> kPixels;
            for (int i = 0; i < SIDE * SIDE; ++i)
                kPixels.insert(kPixels.end(), {c[0], c[1], c[2], 255});
            GLuint uiTexture = 0;
            glGenTextures(1, &uiTexture);
            glBindTexture(GL_TEXTURE_2D, uiTexture);
            glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA8, SIDE, SIDE, 0, GL_RGBA, GL_UNSIGNED_BYTE, kPixels.data());
            glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_NEAREST);
            glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_NEAREST);
            m_kTextures.push_back(uiTexture);
        }
        for (int i = 0; i < PAIRS; ++i)
        {
            const std::string kV = "#version 330 core\nlayout(location = 0) in vec3 aPos;\nuniform mat4 uM;\n"
                                   "void main() { gl_Position = uM * vec4(aPos, 1.0) + vec4(" +
                                   std::to_string(0.1 * (i + 1)) + ", 0.0, 0.0, 0.0); }\n";
            const GLuint p = BenchGlProgram(kV.c_str(), SWITCH_FRAGMENT);
            if (!p)
                return false;
            m_kSwitchPrograms.push_back(p);
            m_kSwitchMatrix.push_back(glGetUniformLocation(p, "uM"));
        }
        static const float TRIANGLE[9] = {-0.01f, -0.01f, 0.5f, 0.01f, -0.01f, 0.5f, 0.0f, 0.01f, 0.5f};
        glGenVertexArrays(1, &m_uiSwitchVao);
        glGenBuffers(1, &m_uiSwitchBuffer);
        glBindVertexArray(m_uiSwitchVao);
        glBindBuffer(GL_ARRAY_BUFFER, m_uiSwitchBuffer);
        glBufferData(GL_ARRAY_BUFFER, sizeof TRIANGLE, TRIANGLE, GL_STATIC_DRAW);
        glEnableVertexAttribArray(0);
        glVertexAttribPointer(0, 3, GL_FLOAT, GL_FALSE, 12, nullptr);
        glBindVertexArray(0);
        return true;
    }

    void Frame()
    {
        m_kWindow.MakeCurrent();
        glViewport(0, 0, WIDTH, HEIGHT);
        glEnable(GL_DEPTH_TEST);
        glDepthFunc(GL_LEQUAL);
        glDisable(GL_CULL_FACE);
        glClearColor(0, 0, 0, 1);
        glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
        glUseProgram(m_uiProgram);
        // The row-vector matrix read as GLSL's column-major one is its transpose: the same product.
        glUniformMatrix4fv(m_iViewProj, 1, GL_FALSE, m_kScene.m_afViewProj.data());
        glUniform4f(m_iLight, AMBIENT, SUN, 0, 0);
        glBindVertexArray(m_uiVao);
        glActiveTexture(GL_TEXTURE0);
        for (int i = 0; i < BOXES; ++i)
        {
            const auto p = m_kScene.Position(i);
            glBindTexture(GL_TEXTURE_2D, m_kTextures[std::size_t(i % TEXTURES)]);
            glUniform3f(m_iOffset, p[0], p[1], p[2]);
            glDrawElements(GL_TRIANGLES, 36, GL_UNSIGNED_SHORT, nullptr);
        }
        SDL_GL_SwapWindow(m_kWindow.m_pkWindow);
        glFinish();
    }

    void Switches()
    {
        m_kWindow.MakeCurrent();
        glBindVertexArray(m_uiSwitchVao);
        float afConstants[16] = {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1};
        for (int i = 0; i < SWITCH_DRAWS; ++i)
        {
            const std::size_t k = std::size_t(i % PAIRS);
            glUseProgram(m_kSwitchPrograms[k]);
            afConstants[12] = float(i % 100) * 0.01f - 0.5f;
            afConstants[13] = float(i / 100 % 100) * 0.01f - 0.5f;
            glUniformMatrix4fv(m_kSwitchMatrix[k], 1, GL_FALSE, afConstants);
            glDrawArrays(GL_TRIANGLES, 0, 3);
        }
        glFinish();
    }
};
} // namespace

bool RunProgramDrawBenchmarks(bool bSmoke)
{
    PlainSide kPlain;
    DeviceSide kDevice;
    if (!kPlain.Open() || !kDevice.Open())
        return false;
    // First frames at every box's centre: the programs as the hand-written GLSL.
    kDevice.Frame(false);
    const std::vector<std::uint32_t> kDevicePixels = kDevice.Pixels();
    kPlain.Frame();
    kPlain.m_kWindow.MakeCurrent();
    std::vector<std::uint8_t> kPlainPixels(std::size_t(WIDTH) * HEIGHT * 4);
    glReadBuffer(GL_FRONT);
    glReadPixels(0, 0, WIDTH, HEIGHT, GL_RGBA, GL_UNSIGNED_BYTE, kPlainPixels.data());
    int iCompared = 0, iDifferent = 0;
    const Scene& k = kDevice.m_kScene;
    for (int i = 0; i < BOXES && !kDevicePixels.empty(); ++i)
    {
        const auto p = k.Position(i);
        const float fDepth = k.m_fCameraZ - 1.0f;
        const float fNdcX = p[0] / (fDepth * 0.5f), fNdcY = p[1] / (fDepth * 0.5f * float(HEIGHT) / float(WIDTH));
        const int x = int(std::lround((fNdcX + 1.0f) * 0.5f * WIDTH)), y = int(std::lround((1.0f - fNdcY) * 0.5f * HEIGHT));
        if (x < 0 || y < 0 || x >= WIDTH || y >= HEIGHT)
            continue;
        ++iCompared;
        const std::uint32_t d = kDevicePixels[std::size_t(y) * WIDTH + std::size_t(x)];
        const std::uint8_t* pp = kPlainPixels.data() + (std::size_t(HEIGHT - 1 - y) * WIDTH + std::size_t(x)) * 4;
        if (std::abs(int((d >> 16) & 0xFF) - pp[0]) > 1 || std::abs(int((d >> 8) & 0xFF) - pp[1]) > 1 ||
            std::abs(int(d & 0xFF) - pp[2]) > 1)
            ++iDifferent;
    }
    std::printf("programs: first frames compared at %d box centres, %d differ by more than 1\n", iCompared,
                iDifferent);
    const int iPairs = bSmoke ? 3 : 15;
    const double dSide = bSmoke ? 0.02 : 0.3;
    PrintPairRatio("scene of 1,000 textured boxes through a vertex and pixel program / the same scene in plain "
                   "OpenGL with hand-written GLSL",
                   MeasurePairs(iPairs, dSide, [&] { kDevice.Frame(); }, [&] { kPlain.Frame(); }), 1.3);
    PrintPairRatio("program switch + constant upload, 10,000 draws / plain GL",
                   MeasurePairs(iPairs, dSide, [&] { kDevice.Switches(); }, [&] { kPlain.Switches(); }), 1.5);
    return true;
}
