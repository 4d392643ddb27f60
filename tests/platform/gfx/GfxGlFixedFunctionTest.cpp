// The gl back end's fixed-function emulation read back pixel by pixel:
// lights, vertex fog, texture sampling, the stage operations and two-sided
// stencil, each against the published formula computed here (+-1 per channel).
#include "tests/platform/gfx/GfxBackendFixture.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

using namespace gfx;
using gfxtest::Ref;

namespace {

constexpr std::uint32_t kBlack = 0xFF000000u, kRed = 0xFFFF0000u, kGreen = 0xFF00FF00u, kBlue = 0xFF0000FFu;

// Position, normal: lit geometry in camera space.
struct LitVertex {
    float x, y, z, nx, ny, nz;
};
constexpr std::uint32_t kLitFvf = D3DFVF_XYZ | D3DFVF_NORMAL;
struct ColorVertex {
    float x, y, z;
    std::uint32_t color;
};
struct TexVertex {
    float x, y, z, rhw;
    std::uint32_t color;
    float u, v;
};
constexpr std::uint32_t kTexFvf = D3DFVF_XYZRHW | D3DFVF_DIFFUSE | D3DFVF_TEX1;

int Channel(std::uint32_t c, int shift) { return int((c >> shift) & 0xFF); }

D3DMATRIX Identity() {
    D3DMATRIX m{};
    m.m[0][0] = m.m[1][1] = m.m[2][2] = m.m[3][3] = 1.0f;
    return m;
}

// Each runs twice, like the other read-back tests: into the window and into
// a framebuffer object.
class GfxGlFixedFunction : public gfxtest::GlReadBackTest {
protected:
    void SetUp() override {
        GlReadBackTest::SetUp();
        if (Stopped()) return;
        ASSERT_NO_FATAL_FAILURE(CreateDevice(gfxtest::Windowed(16, 16)));
        device->SetRenderState(D3DRS_CULLMODE, D3DCULL_NONE);
        Clear();
    }
    void Clear(std::uint32_t color = kBlack) {
        ASSERT_EQ(device->Clear(0, nullptr, D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER | D3DCLEAR_STENCIL, color, 1.0f, 0),
                  D3D_OK);
    }

    std::uint32_t At(int x, int y) {
        const auto px = ReadBack();
        return px.empty() ? 0 : px[std::size_t(y) * 16 + x];
    }
    // Compares a pixel with expected channels 0..255, one step either way.
    void ExpectPixel(int x, int y, double r, double g, double b) {
        const std::uint32_t p = At(x, y);
        EXPECT_NEAR(Channel(p, 16), r, 1.01) << "red";
        EXPECT_NEAR(Channel(p, 8), g, 1.01) << "green";
        EXPECT_NEAR(Channel(p, 0), b, 1.01) << "blue";
    }

    // The quad (-1, -1)-(1, 1) at camera depth z covers the whole target
    // under identity transforms; each corner gets its own normal.
    void LitQuad(float z, const std::function<std::array<float, 3>(float, float, float)>& normal) {
        LitVertex v[4];
        const float corners[4][2] = {{-1, 1}, {1, 1}, {-1, -1}, {1, -1}};
        for (int i = 0; i < 4; ++i) {
            const auto n = normal(corners[i][0], corners[i][1], z);
            v[i] = {corners[i][0], corners[i][1], z, n[0], n[1], n[2]};
        }
        device->SetFVF(kLitFvf);
        ASSERT_EQ(device->DrawPrimitiveUP(D3DPT_TRIANGLESTRIP, 2, v, sizeof(LitVertex)), D3D_OK);
    }
    void FacingQuad(float z = 0.5f) {
        LitQuad(z, [](float, float, float) { return std::array<float, 3>{0.0f, 0.0f, -1.0f}; });
    }
    // A quad whose normals all point at a light at p: every corner lies at
    // the same distance from it, so the lighting is the same everywhere.
    void QuadFacing(const std::array<float, 3>& p, float z = 0.5f) {
        LitQuad(z, [&](float x, float y, float zz) {
            const float d[3] = {p[0] - x, p[1] - y, p[2] - zz};
            const float len = std::sqrt(d[0] * d[0] + d[1] * d[1] + d[2] * d[2]);
            return std::array<float, 3>{d[0] / len, d[1] / len, d[2] / len};
        });
    }

    void Lit(const D3DMATERIAL9& material) {
        device->SetRenderState(D3DRS_LIGHTING, 1);
        device->SetRenderState(D3DRS_AMBIENT, 0);
        device->SetMaterial(&material);
    }
    static D3DMATERIAL9 White() {
        D3DMATERIAL9 m;
        m.Diffuse = D3DCOLORVALUE{1.0f, 1.0f, 1.0f, 1.0f};
        return m;
    }
    void SetLight(std::uint32_t index, const D3DLIGHT9& light) {
        ASSERT_EQ(device->SetLight(index, &light), D3D_OK);
        ASSERT_EQ(device->LightEnable(index, 1), D3D_OK);
    }

    // A texture of the given size and levels, each level filled by fill(level, x, y).
    // The caller holds the reference: Ref<IDirect3DTexture9> t(Texture(...)).
    IDirect3DTexture9* Texture(std::uint32_t w, std::uint32_t h, std::uint32_t levels,
                                   const std::function<std::uint32_t(std::uint32_t, std::uint32_t, std::uint32_t)>& fill,
                                   D3DFORMAT format = D3DFMT_A8R8G8B8) {
        IDirect3DTexture9* t = nullptr;
        EXPECT_EQ(device->CreateTexture(w, h, levels, 0, format, D3DPOOL_MANAGED, &t, nullptr), D3D_OK);
        if (!t) return t;
        for (std::uint32_t level = 0; level < levels; ++level) {
            D3DLOCKED_RECT lr;
            EXPECT_EQ(t->LockRect(level, &lr, nullptr, 0), D3D_OK);
            const std::uint32_t lw = std::max(1u, w >> level), lh = std::max(1u, h >> level);
            for (std::uint32_t y = 0; y < lh; ++y)
                for (std::uint32_t x = 0; x < lw; ++x)
                    reinterpret_cast<std::uint32_t*>(static_cast<std::uint8_t*>(lr.pBits) + y * lr.Pitch)[x] =
                        fill(level, x, y);
            t->UnlockRect(level);
        }
        return t;
    }
    // A pre-transformed quad over pixels [x0, x1) x [y0, y1), texture
    // coordinates u0..u1, v0..v1 from corner to corner.
    void TexQuad(float x0, float y0, float x1, float y1, float u0, float v0, float u1, float v1,
                 std::uint32_t color = 0xFFFFFFFFu) {
        const TexVertex v[4] = {{x0 - 0.5f, y0 - 0.5f, 0.5f, 1, color, u0, v0},
                                {x1 - 0.5f, y0 - 0.5f, 0.5f, 1, color, u1, v0},
                                {x0 - 0.5f, y1 - 0.5f, 0.5f, 1, color, u0, v1},
                                {x1 - 0.5f, y1 - 0.5f, 0.5f, 1, color, u1, v1}};
        device->SetFVF(kTexFvf);
        ASSERT_EQ(device->DrawPrimitiveUP(D3DPT_TRIANGLESTRIP, 2, v, sizeof(TexVertex)), D3D_OK);
    }
    void PointSampling(std::uint32_t stage = 0) {
        device->SetSamplerState(stage, D3DSAMP_MAGFILTER, D3DTEXF_POINT);
        device->SetSamplerState(stage, D3DSAMP_MINFILTER, D3DTEXF_POINT);
        device->SetSamplerState(stage, D3DSAMP_MIPFILTER, D3DTEXF_NONE);
    }
};

INSTANTIATE_TEST_SUITE_P(, GfxGlFixedFunction, ::testing::Bool(), gfxtest::GlReadBackParamName);

// ---- lights --------------------------------------------------------------------------------------

TEST_P(GfxGlFixedFunction, DirectionalLightOnAFacingQuad) {
    Lit(White());
    D3DLIGHT9 light;
    light.Type = D3DLIGHT_DIRECTIONAL;
    light.Diffuse = D3DCOLORVALUE{1.0f, 0.6f, 0.2f, 0.0f};
    light.Direction = D3DVECTOR{0.0f, 0.0f, 1.0f};
    SetLight(0, light);
    FacingQuad();
    ExpectPixel(8, 8, 255, 153, 51);
    // Light from behind the surface adds nothing: max(N.L, 0).
    light.Direction = D3DVECTOR{0.0f, 0.0f, -1.0f};
    SetLight(0, light);
    Clear();
    FacingQuad();
    ExpectPixel(8, 8, 0, 0, 0);
    // Emissive plus material ambient times (global ambient + the light's ambient).
    D3DMATERIAL9 m = White();
    m.Emissive = D3DCOLORVALUE{0.1f, 0.0f, 0.0f, 1.0f};
    m.Ambient = D3DCOLORVALUE{0.0f, 1.0f, 0.5f, 1.0f};
    Lit(m);
    device->SetRenderState(D3DRS_AMBIENT, 0xFF404040u);
    light.Ambient = D3DCOLORVALUE{0.25f, 0.25f, 0.25f, 0.0f};
    SetLight(0, light);
    Clear();
    FacingQuad();
    const double ga = 0x40 / 255.0;
    ExpectPixel(8, 8, 0.1 * 255, (ga + 0.25) * 255, 0.5 * (ga + 0.25) * 255);
}

TEST_P(GfxGlFixedFunction, PointLightAttenuationAndRange) {
    Lit(White());
    const std::array<float, 3> pos{0.0f, 0.0f, -1.5f};
    D3DLIGHT9 light;
    light.Type = D3DLIGHT_POINT;
    light.Diffuse = D3DCOLORVALUE{1.0f, 1.0f, 1.0f, 0.0f};
    light.Position = D3DVECTOR{pos[0], pos[1], pos[2]};
    light.Attenuation0 = 0.25f;
    light.Attenuation1 = 0.5f;
    light.Attenuation2 = 0.125f;
    light.Range = 10.0f;
    SetLight(3, light);
    QuadFacing(pos);
    const double d = std::sqrt(1.0 + 1.0 + 4.0);
    const double atten = 1.0 / (0.25 + 0.5 * d + 0.125 * d * d);
    ExpectPixel(8, 8, 255 * atten, 255 * atten, 255 * atten);
    // Beyond the range: nothing.
    light.Range = 2.0f;
    SetLight(3, light);
    Clear();
    QuadFacing(pos);
    ExpectPixel(8, 8, 0, 0, 0);
}

TEST_P(GfxGlFixedFunction, SpotLightInsidePenumbraOutside) {
    Lit(White());
    const std::array<float, 3> pos{0.0f, 0.0f, -1.5f};
    D3DLIGHT9 light;
    light.Type = D3DLIGHT_SPOT;
    light.Diffuse = D3DCOLORVALUE{1.0f, 1.0f, 1.0f, 0.0f};
    light.Position = D3DVECTOR{pos[0], pos[1], pos[2]};
    light.Direction = D3DVECTOR{0.0f, 0.0f, 1.0f};
    light.Attenuation0 = 1.0f;
    light.Range = 100.0f;
    light.Falloff = 2.0f;
    // Every corner sees the axis at rho = 2 / sqrt(6).
    const double rho = 2.0 / std::sqrt(6.0);
    const double pi = 3.14159265358979323846;
    struct Case {
        double theta, phi, expected;
    };
    const double cosT = std::cos(40.0 * pi / 360.0), cosP = std::cos(100.0 * pi / 360.0);
    const Case cases[] = {
        {pi / 2, pi / 2, 1.0},                                     // inside the inner cone
        {pi / 4, pi / 3, 0.0},                                     // outside the outer cone
        {40.0 * pi / 180, 100.0 * pi / 180, std::pow((rho - cosP) / (cosT - cosP), 2.0)}, // between
        {pi / 3, pi / 3, 0.0},                                     // equal cones: no division by zero
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.theta);
        light.Theta = float(c.theta);
        light.Phi = float(c.phi);
        SetLight(1, light);
        Clear();
        QuadFacing(pos);
        ExpectPixel(8, 8, 255 * c.expected, 255 * c.expected, 255 * c.expected);
    }
}

TEST_P(GfxGlFixedFunction, SpecularPowerAndLocalViewer) {
    D3DMATERIAL9 m;
    m.Specular = D3DCOLORVALUE{1.0f, 0.5f, 1.0f, 1.0f};
    m.Power = 10.0f;
    Lit(m);
    device->SetRenderState(D3DRS_SPECULARENABLE, 1);
    device->SetRenderState(D3DRS_LOCALVIEWER, 0);
    D3DLIGHT9 light;
    light.Type = D3DLIGHT_DIRECTIONAL;
    light.Specular = D3DCOLORVALUE{1.0f, 1.0f, 0.0f, 0.0f};
    const float s = std::sqrt(0.5f);
    light.Direction = D3DVECTOR{0.0f, -s, s};
    SetLight(0, light);
    FacingQuad();
    // H halfway between the view axis and L: N.H = cos 22.5 degrees.
    const double nh = std::cos(3.14159265358979323846 / 8.0);
    ExpectPixel(8, 8, 255 * std::pow(nh, 10.0), 127.5 * std::pow(nh, 10.0), 0);
    m.Power = 1.0f;
    Lit(m);
    Clear();
    FacingQuad();
    ExpectPixel(8, 8, 255 * nh, 127.5 * nh, 0);
    // Without SPECULARENABLE the specular colour is neither made nor added.
    device->SetRenderState(D3DRS_SPECULARENABLE, 0);
    Clear();
    FacingQuad();
    ExpectPixel(8, 8, 0, 0, 0);

    // A local viewer takes H towards the vertex's own eye direction.
    device->SetRenderState(D3DRS_SPECULARENABLE, 1);
    light.Direction = D3DVECTOR{0.0f, 0.0f, 1.0f};
    SetLight(0, light);
    m.Power = 4.0f;
    Lit(m);
    Clear();
    FacingQuad();
    ExpectPixel(8, 8, 255, 127.5, 0); // the view axis is L itself: N.H = 1
    device->SetRenderState(D3DRS_LOCALVIEWER, 1);
    Clear();
    FacingQuad();
    // Corners at (+-1, +-1, 0.5): E + L = (-+1, -+1, -0.5) / 1.5 + (0, 0, -1).
    const double ex = 1.0 / 1.5, ez = 0.5 / 1.5 + 1.0;
    const double lnh = std::pow(ez / std::sqrt(2 * ex * ex + ez * ez), 4.0);
    ExpectPixel(8, 8, 255 * lnh, 127.5 * lnh, 0);
}

TEST_P(GfxGlFixedFunction, NormalsRenormalisedOnlyWhenAsked) {
    Lit(White());
    D3DLIGHT9 light;
    light.Type = D3DLIGHT_DIRECTIONAL;
    light.Diffuse = D3DCOLORVALUE{1.0f, 1.0f, 1.0f, 0.0f};
    light.Direction = D3DVECTOR{0.0f, 0.0f, 1.0f};
    SetLight(0, light);
    // World scale 2: a quad of half size lands on the same pixels, its normals at half length.
    D3DMATRIX world = Identity();
    world.m[0][0] = world.m[1][1] = world.m[2][2] = 2.0f;
    device->SetTransform(D3DTS_WORLD, &world);
    const LitVertex v[4] = {{-0.5f, 0.5f, 0.25f, 0, 0, -1}, {0.5f, 0.5f, 0.25f, 0, 0, -1},
                            {-0.5f, -0.5f, 0.25f, 0, 0, -1}, {0.5f, -0.5f, 0.25f, 0, 0, -1}};
    device->SetFVF(kLitFvf);
    device->SetRenderState(D3DRS_NORMALIZENORMALS, 0);
    ASSERT_EQ(device->DrawPrimitiveUP(D3DPT_TRIANGLESTRIP, 2, v, sizeof(LitVertex)), D3D_OK);
    ExpectPixel(8, 8, 127.5, 127.5, 127.5);
    device->SetRenderState(D3DRS_NORMALIZENORMALS, 1);
    ASSERT_EQ(device->DrawPrimitiveUP(D3DPT_TRIANGLESTRIP, 2, v, sizeof(LitVertex)), D3D_OK);
    ExpectPixel(8, 8, 255, 255, 255);
    // Without a normal, N = 0: only the ambient and emissive terms remain.
    const ColorVertex c[4] = {{-1, 1, 0.5f, kGreen}, {1, 1, 0.5f, kGreen}, {-1, -1, 0.5f, kGreen}, {1, -1, 0.5f, kGreen}};
    world = Identity();
    device->SetTransform(D3DTS_WORLD, &world);
    device->SetFVF(D3DFVF_XYZ | D3DFVF_DIFFUSE);
    device->SetRenderState(D3DRS_DIFFUSEMATERIALSOURCE, D3DMCS_MATERIAL);
    ASSERT_EQ(device->DrawPrimitiveUP(D3DPT_TRIANGLESTRIP, 2, c, sizeof(ColorVertex)), D3D_OK);
    ExpectPixel(8, 8, 0, 0, 0);
}

// ---- vertex blending ----------------------------------------------------------------------------

// Position, three blend weights, normal.
struct BlendVertex {
    float x, y, z, w0, w1, w2, nx, ny, nz;
};
constexpr std::uint32_t kBlendFvf = D3DFVF_XYZB3 | D3DFVF_NORMAL;

D3DMATRIX Translation(float x, float y, float z) {
    D3DMATRIX m = Identity();
    m.m[3][0] = x, m.m[3][1] = y, m.m[3][2] = z;
    return m;
}

TEST_P(GfxGlFixedFunction, VertexBlendWeighsWorldMatricesTheLastTakingTheRest) {
    // A green square of half a quarter of the target, moved by world matrices
    // 0-3 into one of the four quarters each.
    device->SetRenderState(D3DRS_LIGHTING, 0);
    device->SetRenderState(D3DRS_TEXTUREFACTOR, kGreen);
    device->SetTextureStageState(0, D3DTSS_COLOROP, D3DTOP_SELECTARG1);
    device->SetTextureStageState(0, D3DTSS_COLORARG1, D3DTA_TFACTOR);
    const float t[4][2] = {{-0.5f, 0.5f}, {0.5f, 0.5f}, {-0.5f, -0.5f}, {0.5f, -0.5f}};
    for (std::uint32_t i = 0; i < 4; ++i) {
        const D3DMATRIX m = Translation(t[i][0], t[i][1], 0.0f);
        ASSERT_EQ(device->SetTransform(D3DTS_WORLD + i, &m), D3D_OK);
    }
    struct Case {
        std::uint32_t blend;
        float w0, w1, w2;
        int x, y; // the pixel that turns green
    };
    // Quarters: world 0 top left (4, 4), 1 top right (12, 4), 2 bottom left (4, 12), 3 bottom right (12, 12).
    const Case cases[] = {
        {0, 0.0f, 1.0f, 1.0f, 4, 4},     // off: world 0 alone, whatever the weights
        {1, 0.0f, 0.7f, 0.7f, 12, 4},    // one weight: 0 for world 0, 1 - 0 for world 1
        {2, 0.0f, 0.0f, 0.9f, 4, 12},    // two weights: the rest to world 2
        {3, 0.0f, 0.0f, 0.0f, 12, 12},   // three: world 3 takes 1 - 0
        {3, 1.0f, 0.0f, 0.0f, 4, 4},     // world 0 alone, world 3 gets 0
        {2, 0.5f, 0.5f, 0.0f, 8, 4},     // halfway between worlds 0 and 1: top middle
        {3, 0.0f, 0.5f, 0.0f, 12, 8},    // halfway between worlds 1 and 3: right middle
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << "VERTEXBLEND " << c.blend << " weights " << c.w0 << " " << c.w1 << " "
                                        << c.w2);
        Clear();
        device->SetRenderState(D3DRS_VERTEXBLEND, c.blend);
        const float h = 0.25f;
        const BlendVertex v[4] = {{-h, h, 0.5f, c.w0, c.w1, c.w2, 0, 0, -1},
                                  {h, h, 0.5f, c.w0, c.w1, c.w2, 0, 0, -1},
                                  {-h, -h, 0.5f, c.w0, c.w1, c.w2, 0, 0, -1},
                                  {h, -h, 0.5f, c.w0, c.w1, c.w2, 0, 0, -1}};
        device->SetFVF(kBlendFvf);
        ASSERT_EQ(device->DrawPrimitiveUP(D3DPT_TRIANGLESTRIP, 2, v, sizeof(BlendVertex)), D3D_OK);
        const auto px = ReadBack();
        ASSERT_EQ(px.size(), 256u);
        int green = 0;
        for (std::uint32_t p : px) green += (p & 0xFFFFFFu) == (kGreen & 0xFFFFFFu);
        EXPECT_EQ(green, 16); // the square, 4 x 4 pixels, whole
        EXPECT_EQ(At(c.x, c.y) & 0xFFFFFFu, kGreen & 0xFFFFFFu);
    }
}

TEST_P(GfxGlFixedFunction, VertexBlendBlendsNormalsAlike) {
    // World 1 halves depth: positions stay on the same pixels, normals through
    // its inverse transpose double in length. Without renormalising, the lit
    // value shows the blended normal's length.
    Lit(White());
    D3DLIGHT9 light;
    light.Type = D3DLIGHT_DIRECTIONAL;
    light.Diffuse = D3DCOLORVALUE{0.4f, 0.4f, 0.4f, 0.0f};
    light.Direction = D3DVECTOR{0.0f, 0.0f, 1.0f};
    SetLight(0, light);
    device->SetRenderState(D3DRS_NORMALIZENORMALS, 0);
    D3DMATRIX half = Identity();
    half.m[2][2] = 0.5f;
    device->SetTransform(D3DTS_WORLD, &half);
    const D3DMATRIX identity = Identity();
    device->SetTransform(D3DTS_WORLD1, &identity);
    device->SetFVF(kBlendFvf);
    const auto quad = [&](float w0) {
        const BlendVertex v[4] = {{-1, 1, 0.5f, w0, 0, 0, 0, 0, -1},
                                  {1, 1, 0.5f, w0, 0, 0, 0, 0, -1},
                                  {-1, -1, 0.5f, w0, 0, 0, 0, 0, -1},
                                  {1, -1, 0.5f, w0, 0, 0, 0, 0, -1}};
        ASSERT_EQ(device->DrawPrimitiveUP(D3DPT_TRIANGLESTRIP, 2, v, sizeof(BlendVertex)), D3D_OK);
    };
    device->SetRenderState(D3DRS_VERTEXBLEND, 1);
    // All on world 1 (identity): length 1.
    quad(0.0f);
    ExpectPixel(8, 8, 0.4 * 255, 0.4 * 255, 0.4 * 255);
    // All on world 0: length 2.
    Clear();
    quad(1.0f);
    ExpectPixel(8, 8, 0.8 * 255, 0.8 * 255, 0.8 * 255);
    // Half and half: 0.5 x 2 + 0.5 x 1 = 1.5.
    Clear();
    quad(0.5f);
    ExpectPixel(8, 8, 0.6 * 255, 0.6 * 255, 0.6 * 255);
    // Blending off: world 0 alone, whatever the weight says.
    device->SetRenderState(D3DRS_VERTEXBLEND, 0);
    Clear();
    quad(0.0f);
    ExpectPixel(8, 8, 0.8 * 255, 0.8 * 255, 0.8 * 255);
}

// ---- fog -----------------------------------------------------------------------------------------

class GfxGlFog : public GfxGlFixedFunction {
protected:
    // A red quad at camera depth 12 (x, y +-1), seen through a projection that keeps it on screen.
    void RedQuadAt12() {
        D3DMATRIX proj = Identity();
        proj.m[2][2] = 1.0f / 24.0f;
        device->SetTransform(D3DTS_PROJECTION, &proj);
        device->SetRenderState(D3DRS_LIGHTING, 0);
        device->SetRenderState(D3DRS_FOGENABLE, 1);
        device->SetRenderState(D3DRS_FOGCOLOR, 0xFF0000FFu);
        const ColorVertex v[4] = {{-1, 1, 12, kRed}, {1, 1, 12, kRed}, {-1, -1, 12, kRed}, {1, -1, 12, kRed}};
        device->SetFVF(D3DFVF_XYZ | D3DFVF_DIFFUSE);
        ASSERT_EQ(device->DrawPrimitiveUP(D3DPT_TRIANGLESTRIP, 2, v, sizeof(ColorVertex)), D3D_OK);
    }
    void Fog(std::uint32_t mode, float start, float end, float density) {
        device->SetRenderState(D3DRS_FOGVERTEXMODE, mode);
        device->SetRenderState(D3DRS_FOGSTART, std::bit_cast<std::uint32_t>(start));
        device->SetRenderState(D3DRS_FOGEND, std::bit_cast<std::uint32_t>(end));
        device->SetRenderState(D3DRS_FOGDENSITY, std::bit_cast<std::uint32_t>(density));
    }
    void ExpectFog(double f) { ExpectPixel(8, 8, 255 * f, 0, 255 * (1 - f)); }
};
INSTANTIATE_TEST_SUITE_P(, GfxGlFog, ::testing::Bool(), gfxtest::GlReadBackParamName);

TEST_P(GfxGlFog, LinearExpAndExp2) {
    Fog(D3DFOG_LINEAR, 10.0f, 20.0f, 0.05f);
    RedQuadAt12();
    ExpectPixel(8, 8, 204, 0, 51);
    Fog(D3DFOG_EXP, 10.0f, 20.0f, 0.05f);
    RedQuadAt12();
    ExpectFog(std::exp(-0.6));
    Fog(D3DFOG_EXP2, 10.0f, 20.0f, 0.05f);
    RedQuadAt12();
    ExpectFog(std::exp(-0.36));
    // Range fog: the distance to the eye, sqrt(146) at every corner.
    device->SetRenderState(D3DRS_RANGEFOGENABLE, 1);
    Fog(D3DFOG_LINEAR, 10.0f, 20.0f, 0.05f);
    RedQuadAt12();
    ExpectFog((20.0 - std::sqrt(146.0)) / 10.0);
    device->SetRenderState(D3DRS_RANGEFOGENABLE, 0);
    // The factor is clamped: entirely fogged beyond the end.
    Fog(D3DFOG_LINEAR, 2.0f, 6.0f, 0.05f);
    RedQuadAt12();
    ExpectFog(0.0);
    // No vertex fog mode: no fog.
    Fog(D3DFOG_NONE, 10.0f, 20.0f, 0.05f);
    RedQuadAt12();
    ExpectFog(1.0);
}

TEST_P(GfxGlFog, EqualStartAndEndNeverGiveNaN) {
    Fog(D3DFOG_LINEAR, 15.0f, 15.0f, 1.0f);
    RedQuadAt12();
    ExpectFog(1.0); // in front of the plane
    Fog(D3DFOG_LINEAR, 10.0f, 10.0f, 1.0f);
    RedQuadAt12();
    ExpectFog(0.0); // behind it
}

TEST_P(GfxGlFog, PretransformedVerticesTakeTheSpecularAlpha) {
    device->SetRenderState(D3DRS_FOGENABLE, 1);
    device->SetRenderState(D3DRS_FOGCOLOR, 0xFF0000FFu);
    struct V {
        float x, y, z, rhw;
        std::uint32_t diffuse, specular;
    };
    const V v[4] = {{-0.5f, -0.5f, 0.5f, 1, kRed, 0x40000000u}, {15.5f, -0.5f, 0.5f, 1, kRed, 0x40000000u},
                    {-0.5f, 15.5f, 0.5f, 1, kRed, 0x40000000u}, {15.5f, 15.5f, 0.5f, 1, kRed, 0x40000000u}};
    device->SetFVF(D3DFVF_XYZRHW | D3DFVF_DIFFUSE | D3DFVF_SPECULAR);
    ASSERT_EQ(device->DrawPrimitiveUP(D3DPT_TRIANGLESTRIP, 2, v, sizeof(V)), D3D_OK);
    ExpectFog(0x40 / 255.0);
    // Without a specular colour the factor is 1: no fog.
    TexQuad(0, 0, 16, 16, 0, 0, 1, 1, kRed);
    ExpectFog(1.0);
}

} // namespace

namespace {

// ---- textures ------------------------------------------------------------------------------------

std::uint32_t TexelColor(std::uint32_t x, std::uint32_t y) { return 0xFF000000u | (x * 0x40u + 0x20u) << 16 | (y * 0x40u + 0x10u) << 8 | 0x80u; }

TEST_P(GfxGlFixedFunction, PointFilteredTextureTexelForTexel) {
    Ref<IDirect3DTexture9> t(Texture(4, 4, 1, [](std::uint32_t, std::uint32_t x, std::uint32_t y) { return TexelColor(x, y); }));
    device->SetTexture(0, t.get());
    PointSampling();
    TexQuad(0, 0, 4, 4, 0, 0, 1, 1);
    const auto px = ReadBack();
    for (std::uint32_t y = 0; y < 4; ++y)
        for (std::uint32_t x = 0; x < 4; ++x) EXPECT_EQ(px[y * 16 + x], TexelColor(x, y)) << x << "," << y;
    EXPECT_EQ(px[4 * 16 + 4], kBlack);
    // A lock uploads the texture again.
    D3DLOCKED_RECT lr;
    ASSERT_EQ(t->LockRect(0, &lr, nullptr, 0), D3D_OK);
    *static_cast<std::uint32_t*>(lr.pBits) = kGreen;
    t->UnlockRect(0);
    TexQuad(0, 0, 4, 4, 0, 0, 1, 1);
    EXPECT_EQ(At(0, 0), kGreen);
    // Sixteen-bit texels in their own layout.
    IDirect3DTexture9* raw = nullptr;
    ASSERT_EQ(device->CreateTexture(4, 4, 1, 0, D3DFMT_R5G6B5, D3DPOOL_MANAGED, &raw, nullptr), D3D_OK);
    Ref<IDirect3DTexture9> r565(raw);
    ASSERT_EQ(r565->LockRect(0, &lr, nullptr, 0), D3D_OK);
    for (int y = 0; y < 4; ++y)
        for (int x = 0; x < 4; ++x)
            reinterpret_cast<std::uint16_t*>(static_cast<std::uint8_t*>(lr.pBits) + y * lr.Pitch)[x] = 0x07E0;
    r565->UnlockRect(0);
    device->SetTexture(0, r565.get());
    TexQuad(0, 0, 4, 4, 0, 0, 1, 1);
    EXPECT_EQ(At(1, 1), kGreen);
}

// Eight-bit texels go up byte for byte and are reordered when sampled:
// red and blue stay in place, an X format's alpha byte is never read.
TEST_P(GfxGlFixedFunction, EightBitTexturesKeepRedAndBlueAndXFormatsAreOpaque) {
    device->SetRenderState(D3DRS_ALPHABLENDENABLE, 1);
    device->SetRenderState(D3DRS_SRCBLEND, D3DBLEND_SRCALPHA);
    device->SetRenderState(D3DRS_DESTBLEND, D3DBLEND_INVSRCALPHA);
    PointSampling();
    Clear(kBlue);
    // Alpha byte 0: drawn as it stands only if read as 1.
    Ref<IDirect3DTexture9> x(Texture(2, 1, 1, [](std::uint32_t, std::uint32_t u, std::uint32_t) {
        return u == 0 ? 0x00FF2010u : 0x00102030u;
    }, D3DFMT_X8R8G8B8));
    device->SetTexture(0, x.get());
    TexQuad(0, 0, 2, 1, 0, 0, 1, 1);
    EXPECT_EQ(At(0, 0), 0xFFFF2010u);
    EXPECT_EQ(At(1, 0), 0xFF102030u);
    // Half-transparent red over blue.
    Ref<IDirect3DTexture9> a(Texture(1, 1, 1, [](std::uint32_t, std::uint32_t, std::uint32_t) { return 0x80FF0000u; }));
    device->SetTexture(0, a.get());
    TexQuad(0, 1, 1, 2, 0, 0, 1, 1);
    ExpectPixel(0, 1, 128, 0, 127);
}

// A texture let go leaves its GL storage for the next of the same shape,
// which uploads into it: the new texels are drawn, never the old ones.
TEST_P(GfxGlFixedFunction, ATextureOfTheSameShapeReusesTheStorageOfOneLetGo) {
    PointSampling();
    auto drawn = [&](IDirect3DTexture9* t) {
        device->SetTexture(0, t);
        TexQuad(0, 0, 4, 4, 0, 0, 1, 1);
        device->SetTexture(0, nullptr);
        return At(1, 1);
    };
    auto solid = [&](std::uint32_t color) {
        return Texture(4, 4, 3, [color](std::uint32_t, std::uint32_t, std::uint32_t) { return color; });
    };
    IDirect3DTexture9* first = solid(kRed);
    ASSERT_EQ(drawn(first), kRed);
    const std::uint32_t firstName = first->backend.name;
    ASSERT_NE(firstName, 0u);
    first->Release();
    Ref<IDirect3DTexture9> second(solid(kGreen));
    EXPECT_EQ(drawn(second.get()), kGreen);
    EXPECT_EQ(second->backend.name, firstName);
    // Another shape makes storage of its own; a lock uploads again in place.
    Ref<IDirect3DTexture9> other(Texture(4, 4, 1, [](std::uint32_t, std::uint32_t, std::uint32_t) { return kBlue; }));
    EXPECT_EQ(drawn(other.get()), kBlue);
    EXPECT_NE(other->backend.name, firstName);
    D3DLOCKED_RECT lr;
    ASSERT_EQ(second->LockRect(0, &lr, nullptr, 0), D3D_OK);
    for (int y = 0; y < 4; ++y)
        for (int x = 0; x < 4; ++x)
            reinterpret_cast<std::uint32_t*>(static_cast<std::uint8_t*>(lr.pBits) + y * lr.Pitch)[x] = kBlue;
    second->UnlockRect(0);
    EXPECT_EQ(drawn(second.get()), kBlue);

    // Block-compressed levels go into kept storage too (where GL takes them).
    auto block = [&](std::uint16_t color) {
        IDirect3DTexture9* t = nullptr;
        if (FAILED(device->CreateTexture(4, 4, 1, 0, D3DFMT_DXT1, D3DPOOL_MANAGED, &t, nullptr))) return t;
        D3DLOCKED_RECT locked;
        EXPECT_EQ(t->LockRect(0, &locked, nullptr, 0), D3D_OK);
        const std::uint8_t bytes[8] = {std::uint8_t(color), std::uint8_t(color >> 8), std::uint8_t(color),
                                       std::uint8_t(color >> 8), 0, 0, 0, 0};
        std::memcpy(locked.pBits, bytes, sizeof bytes);
        t->UnlockRect(0);
        return t;
    };
    IDirect3DTexture9* red = block(0xF800);
    if (!red) return;
    EXPECT_EQ(drawn(red), kRed);
    const std::uint32_t blockName = red->backend.name;
    red->Release();
    Ref<IDirect3DTexture9> green(block(0x07E0));
    EXPECT_EQ(drawn(green.get()), kGreen);
    EXPECT_EQ(green->backend.name, blockName);
}

TEST_P(GfxGlFixedFunction, AddressModesWrapClampMirror) {
    Ref<IDirect3DTexture9> t(Texture(4, 1, 1, [](std::uint32_t, std::uint32_t x, std::uint32_t) { return TexelColor(x, 0); }));
    device->SetTexture(0, t.get());
    PointSampling();
    struct Case {
        std::uint32_t mode;
        std::array<std::uint32_t, 8> texel;
    };
    const Case cases[] = {{D3DTADDRESS_WRAP, {0, 1, 2, 3, 0, 1, 2, 3}},
                          {D3DTADDRESS_CLAMP, {0, 1, 2, 3, 3, 3, 3, 3}},
                          {D3DTADDRESS_MIRROR, {0, 1, 2, 3, 3, 2, 1, 0}}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.mode);
        device->SetSamplerState(0, D3DSAMP_ADDRESSU, c.mode);
        TexQuad(0, 0, 8, 1, 0, 0.5f, 2, 0.5f);
        const auto px = ReadBack();
        for (int x = 0; x < 8; ++x) EXPECT_EQ(px[std::size_t(x)], TexelColor(c.texel[std::size_t(x)], 0)) << x;
    }
    // Mirrored once: the mirror image about 0, then clamped.
    device->SetSamplerState(0, D3DSAMP_ADDRESSU, D3DTADDRESS_MIRRORONCE);
    TexQuad(0, 0, 8, 1, -1, 0.5f, 1, 0.5f);
    const auto px = ReadBack();
    const std::uint32_t once[8] = {3, 2, 1, 0, 0, 1, 2, 3};
    for (int x = 0; x < 8; ++x) EXPECT_EQ(px[std::size_t(x)], TexelColor(once[x], 0)) << x;
}

TEST_P(GfxGlFixedFunction, LinearMagnificationBlendsNeighbours) {
    Ref<IDirect3DTexture9> t(Texture(2, 1, 1, [](std::uint32_t, std::uint32_t x, std::uint32_t) { return x ? 0xFFFFFFFFu : kBlack; }));
    device->SetTexture(0, t.get());
    device->SetSamplerState(0, D3DSAMP_ADDRESSU, D3DTADDRESS_CLAMP);
    device->SetSamplerState(0, D3DSAMP_MAGFILTER, D3DTEXF_LINEAR);
    TexQuad(0, 0, 8, 1, 0, 0.5f, 1, 0.5f);
    // Pixel 3 samples u = 3.5 / 8, 0.375 of the way from texel 0's centre to texel 1's.
    ExpectPixel(3, 0, 0.375 * 255, 0.375 * 255, 0.375 * 255);
    ExpectPixel(0, 0, 0, 0, 0);
    device->SetSamplerState(0, D3DSAMP_MAGFILTER, D3DTEXF_POINT);
    TexQuad(0, 0, 8, 1, 0, 0.5f, 1, 0.5f);
    ExpectPixel(3, 0, 0, 0, 0);
}

TEST_P(GfxGlFixedFunction, MipLevelChosenByFootprintAndLimits) {
    const std::uint32_t colors[3] = {kRed, kGreen, kBlue};
    Ref<IDirect3DTexture9> t(Texture(4, 4, 3, [&](std::uint32_t level, std::uint32_t, std::uint32_t) { return colors[level]; }));
    device->SetTexture(0, t.get());
    PointSampling();
    // Four texels over two pixels: level 1, with point mip filtering.
    device->SetSamplerState(0, D3DSAMP_MIPFILTER, D3DTEXF_POINT);
    TexQuad(0, 0, 2, 2, 0, 0, 1, 1);
    EXPECT_EQ(At(0, 0), kGreen);
    TexQuad(0, 0, 1, 1, 0, 0, 1, 1);
    EXPECT_EQ(At(0, 0), kBlue);
    TexQuad(0, 0, 4, 4, 0, 0, 1, 1);
    EXPECT_EQ(At(0, 0), kRed);
    // No mip filter: always the top level.
    device->SetSamplerState(0, D3DSAMP_MIPFILTER, D3DTEXF_NONE);
    TexQuad(0, 0, 1, 1, 0, 0, 1, 1);
    EXPECT_EQ(At(0, 0), kRed);
    // The largest level allowed, and a bias towards smaller levels.
    device->SetSamplerState(0, D3DSAMP_MIPFILTER, D3DTEXF_POINT);
    device->SetSamplerState(0, D3DSAMP_MAXMIPLEVEL, 2);
    TexQuad(0, 0, 4, 4, 0, 0, 1, 1);
    EXPECT_EQ(At(0, 0), kBlue);
    device->SetSamplerState(0, D3DSAMP_MAXMIPLEVEL, 0);
    device->SetSamplerState(0, D3DSAMP_MIPMAPLODBIAS, std::bit_cast<std::uint32_t>(1.0f));
    TexQuad(0, 0, 4, 4, 0, 0, 1, 1);
    EXPECT_EQ(At(0, 0), kGreen);
    // Linear mip filtering halfway between levels 0 and 1 mixes them.
    device->SetSamplerState(0, D3DSAMP_MIPMAPLODBIAS, std::bit_cast<std::uint32_t>(0.5f));
    device->SetSamplerState(0, D3DSAMP_MIPFILTER, D3DTEXF_LINEAR);
    TexQuad(0, 0, 4, 4, 0, 0, 1, 1);
    ExpectPixel(0, 0, 127.5, 127.5, 0);
}

TEST_P(GfxGlFixedFunction, CubeTextureFaceByDirection) {
    Ref<IDirect3DCubeTexture9> cube;
    ASSERT_EQ(device->CreateCubeTexture(1, 1, 0, D3DFMT_X8R8G8B8, D3DPOOL_MANAGED, &cube, nullptr), D3D_OK);
    const std::uint32_t faces[6] = {0xFF110000u, 0xFF220000u, 0xFF003300u, 0xFF004400u, 0xFF000055u, 0xFF000066u};
    for (std::uint32_t f = 0; f < 6; ++f) {
        D3DLOCKED_RECT lr;
        ASSERT_EQ(cube->LockRect(f, 0, &lr, nullptr, 0), D3D_OK);
        *static_cast<std::uint32_t*>(lr.pBits) = faces[f];
        cube->UnlockRect(f, 0);
    }
    device->SetTexture(0, cube.get());
    device->SetTextureStageState(0, D3DTSS_COLOROP, D3DTOP_SELECTARG1);
    struct V {
        float x, y, z, rhw;
        float u, v, w;
    };
    const float dirs[6][3] = {{1, 0.2f, 0.1f}, {-1, 0.1f, 0.2f}, {0.2f, 1, 0.1f}, {0.1f, -1, 0.2f}, {0.1f, 0.2f, 1}, {0.2f, 0.1f, -1}};
    device->SetFVF(D3DFVF_XYZRHW | D3DFVF_TEX1 | (D3DFVF_TEXTUREFORMAT3 << 16));
    for (int f = 0; f < 6; ++f) {
        SCOPED_TRACE(f);
        const V v[3] = {{-0.5f, -0.5f, 0.5f, 1, dirs[f][0], dirs[f][1], dirs[f][2]},
                        {3.5f, -0.5f, 0.5f, 1, dirs[f][0], dirs[f][1], dirs[f][2]},
                        {-0.5f, 3.5f, 0.5f, 1, dirs[f][0], dirs[f][1], dirs[f][2]}};
        ASSERT_EQ(device->DrawPrimitiveUP(D3DPT_TRIANGLELIST, 1, v, sizeof(V)), D3D_OK);
        EXPECT_EQ(At(0, 0), faces[f]);
    }
}

TEST_P(GfxGlFixedFunction, TextureTransformTranslatesTwoFloatSetsByRowTwo) {
    Ref<IDirect3DTexture9> t(Texture(4, 1, 1, [](std::uint32_t, std::uint32_t x, std::uint32_t) { return TexelColor(x, 0); }));
    device->SetTexture(0, t.get());
    PointSampling();
    // Transforms apply to transformed vertices only: a camera-space quad over pixels 0..7 of row 0.
    D3DMATRIX proj = Identity();
    device->SetTransform(D3DTS_PROJECTION, &proj);
    D3DMATRIX tm = Identity();
    tm.m[2][0] = 0.25f; // (u, v, 1, 0): row 2 carries the translation
    device->SetTransform(D3DTS_TEXTURE0, &tm);
    device->SetRenderState(D3DRS_LIGHTING, 0);
    struct V {
        float x, y, z;
        float u, v;
    };
    const V v[4] = {{-1, 1, 0.5f, 0, 0}, {0, 1, 0.5f, 1, 0}, {-1, 0.75f, 0.5f, 0, 1}, {0, 0.75f, 0.5f, 1, 1}};
    device->SetFVF(D3DFVF_XYZ | D3DFVF_TEX1);
    device->SetTextureStageState(0, D3DTSS_TEXTURETRANSFORMFLAGS, D3DTTFF_COUNT2);
    ASSERT_EQ(device->DrawPrimitiveUP(D3DPT_TRIANGLESTRIP, 2, v, sizeof(V)), D3D_OK);
    auto px = ReadBack();
    for (std::uint32_t x = 0; x < 8; ++x) EXPECT_EQ(px[x], TexelColor((x / 2 + 1) % 4, 0)) << x;
    device->SetTextureStageState(0, D3DTSS_TEXTURETRANSFORMFLAGS, D3DTTFF_DISABLE);
    ASSERT_EQ(device->DrawPrimitiveUP(D3DPT_TRIANGLESTRIP, 2, v, sizeof(V)), D3D_OK);
    px = ReadBack();
    for (std::uint32_t x = 0; x < 8; ++x) EXPECT_EQ(px[x], TexelColor(x / 2, 0)) << x;
}

TEST_P(GfxGlFixedFunction, CameraSpaceCoordinatesSelectCubeFaces) {
    Ref<IDirect3DCubeTexture9> cube;
    ASSERT_EQ(device->CreateCubeTexture(1, 1, 0, D3DFMT_X8R8G8B8, D3DPOOL_MANAGED, &cube, nullptr), D3D_OK);
    const std::uint32_t faces[6] = {0xFF110000u, 0xFF220000u, 0xFF003300u, 0xFF004400u, 0xFF000055u, 0xFF000066u};
    for (std::uint32_t f = 0; f < 6; ++f) {
        D3DLOCKED_RECT lr;
        ASSERT_EQ(cube->LockRect(f, 0, &lr, nullptr, 0), D3D_OK);
        *static_cast<std::uint32_t*>(lr.pBits) = faces[f];
        cube->UnlockRect(f, 0);
    }
    device->SetTexture(0, cube.get());
    device->SetTextureStageState(0, D3DTSS_COLOROP, D3DTOP_SELECTARG1);
    device->SetRenderState(D3DRS_LIGHTING, 0);
    device->SetRenderState(D3DRS_LOCALVIEWER, 0);
    const auto normal = [](float, float, float) { return std::array<float, 3>{0.6f, 0.0f, -0.8f}; };
    // The normal leans mostly towards -z; its reflection of the view axis towards +x.
    device->SetTextureStageState(0, D3DTSS_TEXCOORDINDEX, D3DTSS_TCI_CAMERASPACENORMAL);
    LitQuad(0.5f, normal);
    EXPECT_EQ(At(8, 8), faces[5]);
    device->SetTextureStageState(0, D3DTSS_TEXCOORDINDEX, D3DTSS_TCI_CAMERASPACEREFLECTIONVECTOR);
    LitQuad(0.5f, normal);
    EXPECT_EQ(At(8, 8), faces[0]);
    // Camera-space positions of a quad at depth 0.5 near the axis point along +z.
    device->SetTextureStageState(0, D3DTSS_TEXCOORDINDEX, D3DTSS_TCI_CAMERASPACEPOSITION);
    LitQuad(0.5f, normal);
    EXPECT_EQ(At(8, 8), faces[4]);
}

// ---- stage operations ------------------------------------------------------------------------------

struct Rgba {
    double r, g, b, a;
};
Rgba Unpack(std::uint32_t c) {
    return {Channel(c, 16) / 255.0, Channel(c, 8) / 255.0, Channel(c, 0) / 255.0, Channel(c, 24) / 255.0};
}

// The published formula of a colour operation on one channel.
double Formula(std::uint32_t op, double a0, double a1, double a2, double a1a, double da, double ta, double fa, double ca) {
    switch (op) {
    case D3DTOP_ADDSIGNED2X: return 2.0 * (a1 + a2 - 0.5);
    case D3DTOP_ADDSMOOTH: return a1 + a2 - a1 * a2;
    case D3DTOP_BLENDDIFFUSEALPHA: return a1 * da + a2 * (1 - da);
    case D3DTOP_BLENDTEXTUREALPHA: return a1 * ta + a2 * (1 - ta);
    case D3DTOP_BLENDFACTORALPHA: return a1 * fa + a2 * (1 - fa);
    case D3DTOP_BLENDTEXTUREALPHAPM: return a1 + a2 * (1 - ta);
    case D3DTOP_BLENDCURRENTALPHA: return a1 * ca + a2 * (1 - ca);
    case D3DTOP_MODULATEALPHA_ADDCOLOR: return a1 + a1a * a2;
    case D3DTOP_MODULATECOLOR_ADDALPHA: return a1 * a2 + a1a;
    case D3DTOP_MODULATEINVALPHA_ADDCOLOR: return (1 - a1a) * a2 + a1;
    case D3DTOP_MODULATEINVCOLOR_ADDALPHA: return (1 - a1) * a2 + a1a;
    case D3DTOP_MULTIPLYADD: return a0 + a1 * a2;
    case D3DTOP_LERP: return a0 * a1 + (1 - a0) * a2;
    default: return 0.0;
    }
}

TEST_P(GfxGlFixedFunction, EveryStageOperationByItsFormula) {
    const std::uint32_t texel = 0x804CC020u, diffuse = 0x40C060A0u, factor = 0x603090F0u;
    Ref<IDirect3DTexture9> t(Texture(2, 2, 1, [&](std::uint32_t, std::uint32_t, std::uint32_t) { return texel; }));
    device->SetTexture(0, t.get());
    PointSampling();
    device->SetRenderState(D3DRS_TEXTUREFACTOR, factor);
    device->SetTextureStageState(0, D3DTSS_COLORARG0, D3DTA_TFACTOR);
    device->SetTextureStageState(0, D3DTSS_COLORARG1, D3DTA_TEXTURE);
    device->SetTextureStageState(0, D3DTSS_COLORARG2, D3DTA_DIFFUSE);
    const Rgba T = Unpack(texel), D = Unpack(diffuse), F = Unpack(factor);
    const std::uint32_t ops[] = {D3DTOP_ADDSIGNED2X,
                                 D3DTOP_ADDSMOOTH,
                                 D3DTOP_BLENDDIFFUSEALPHA,
                                 D3DTOP_BLENDTEXTUREALPHA,
                                 D3DTOP_BLENDFACTORALPHA,
                                 D3DTOP_BLENDTEXTUREALPHAPM,
                                 D3DTOP_BLENDCURRENTALPHA,
                                 D3DTOP_MODULATEALPHA_ADDCOLOR,
                                 D3DTOP_MODULATECOLOR_ADDALPHA,
                                 D3DTOP_MODULATEINVALPHA_ADDCOLOR,
                                 D3DTOP_MODULATEINVCOLOR_ADDALPHA,
                                 D3DTOP_MULTIPLYADD,
                                 D3DTOP_LERP};
    for (std::uint32_t op : ops) {
        SCOPED_TRACE(op);
        device->SetTextureStageState(0, D3DTSS_COLOROP, op);
        TexQuad(0, 0, 4, 4, 0, 0, 1, 1, diffuse);
        auto f = [&](double a0, double a1, double a2) {
            // Current at stage 0 is the diffuse colour.
            return std::clamp(Formula(op, a0, a1, a2, T.a, D.a, T.a, F.a, D.a), 0.0, 1.0) * 255.0;
        };
        ExpectPixel(1, 1, f(F.r, T.r, D.r), f(F.g, T.g, D.g), f(F.b, T.b, D.b));
    }
    // The dot product of the signed colours, on every channel.
    device->SetTextureStageState(0, D3DTSS_COLOROP, D3DTOP_DOTPRODUCT3);
    TexQuad(0, 0, 4, 4, 0, 0, 1, 1, diffuse);
    const double dot =
        std::clamp(4.0 * ((T.r - 0.5) * (D.r - 0.5) + (T.g - 0.5) * (D.g - 0.5) + (T.b - 0.5) * (D.b - 0.5)), 0.0, 1.0);
    ExpectPixel(1, 1, 255 * dot, 255 * dot, 255 * dot);
    // Argument modifiers: the complement and the alpha replicated.
    device->SetTextureStageState(0, D3DTSS_COLOROP, D3DTOP_SELECTARG1);
    device->SetTextureStageState(0, D3DTSS_COLORARG1, D3DTA_TEXTURE | D3DTA_COMPLEMENT);
    TexQuad(0, 0, 4, 4, 0, 0, 1, 1, diffuse);
    ExpectPixel(1, 1, 255 - 0x4C, 255 - 0xC0, 255 - 0x20);
    device->SetTextureStageState(0, D3DTSS_COLORARG1, D3DTA_TEXTURE | D3DTA_ALPHAREPLICATE);
    TexQuad(0, 0, 4, 4, 0, 0, 1, 1, diffuse);
    ExpectPixel(1, 1, 0x80, 0x80, 0x80);
}

TEST_P(GfxGlFixedFunction, TempRegisterAndResultArgument) {
    const std::uint32_t texel = 0xFF808080u, diffuse = 0xFF40C0FFu;
    Ref<IDirect3DTexture9> t(Texture(2, 2, 1, [&](std::uint32_t, std::uint32_t, std::uint32_t) { return texel; }));
    device->SetTexture(0, t.get());
    PointSampling();
    // Stage 0: the texture into TEMP. Stage 1: the diffuse colour. Stage 2: current x temp.
    device->SetTextureStageState(0, D3DTSS_COLOROP, D3DTOP_SELECTARG1);
    device->SetTextureStageState(0, D3DTSS_COLORARG1, D3DTA_TEXTURE);
    device->SetTextureStageState(0, D3DTSS_RESULTARG, D3DTA_TEMP);
    device->SetTextureStageState(1, D3DTSS_COLOROP, D3DTOP_SELECTARG1);
    device->SetTextureStageState(1, D3DTSS_COLORARG1, D3DTA_DIFFUSE);
    device->SetTextureStageState(1, D3DTSS_ALPHAOP, D3DTOP_SELECTARG1);
    device->SetTextureStageState(1, D3DTSS_ALPHAARG1, D3DTA_DIFFUSE);
    device->SetTextureStageState(2, D3DTSS_COLOROP, D3DTOP_MODULATE);
    device->SetTextureStageState(2, D3DTSS_COLORARG1, D3DTA_CURRENT);
    device->SetTextureStageState(2, D3DTSS_COLORARG2, D3DTA_TEMP);
    device->SetTextureStageState(2, D3DTSS_ALPHAOP, D3DTOP_SELECTARG1);
    device->SetTextureStageState(2, D3DTSS_ALPHAARG1, D3DTA_CURRENT);
    TexQuad(0, 0, 4, 4, 0, 0, 1, 1, diffuse);
    const double k = 0x80 / 255.0;
    ExpectPixel(1, 1, 0x40 * k, 0xC0 * k, 0xFF * k);
    // Without the temp result, stage 1 overwrote the texture: plain diffuse squared by temp 0.
    device->SetTextureStageState(0, D3DTSS_RESULTARG, D3DTA_CURRENT);
    TexQuad(0, 0, 4, 4, 0, 0, 1, 1, diffuse);
    ExpectPixel(1, 1, 0, 0, 0);
}

TEST_P(GfxGlFixedFunction, SecondStageSamplesItsOwnTextureAndCoordinates) {
    Ref<IDirect3DTexture9> red(Texture(2, 2, 1, [](std::uint32_t, std::uint32_t, std::uint32_t) { return 0xFF800000u; }));
    Ref<IDirect3DTexture9> blue(Texture(4, 1, 1, [](std::uint32_t, std::uint32_t x, std::uint32_t) { return x < 2 ? 0xFF0000FFu : kBlack; }));
    device->SetTexture(0, red.get());
    device->SetTexture(1, blue.get());
    PointSampling(0);
    PointSampling(1);
    device->SetTextureStageState(0, D3DTSS_COLOROP, D3DTOP_SELECTARG1);
    device->SetTextureStageState(1, D3DTSS_COLOROP, D3DTOP_ADD);
    device->SetTextureStageState(1, D3DTSS_COLORARG1, D3DTA_TEXTURE);
    device->SetTextureStageState(1, D3DTSS_COLORARG2, D3DTA_CURRENT);
    device->SetTextureStageState(1, D3DTSS_TEXCOORDINDEX, 1);
    struct V {
        float x, y, z, rhw;
        float u0, v0, u1, v1;
    };
    const V v[4] = {{-0.5f, -0.5f, 0.5f, 1, 0, 0, 0, 0}, {3.5f, -0.5f, 0.5f, 1, 1, 0, 1, 0},
                    {-0.5f, 3.5f, 0.5f, 1, 0, 1, 0, 1}, {3.5f, 3.5f, 0.5f, 1, 1, 1, 1, 1}};
    device->SetFVF(D3DFVF_XYZRHW | D3DFVF_TEX2);
    ASSERT_EQ(device->DrawPrimitiveUP(D3DPT_TRIANGLESTRIP, 2, v, sizeof(V)), D3D_OK);
    EXPECT_EQ(At(0, 0), 0xFF8000FFu);
    EXPECT_EQ(At(3, 0), 0xFF800000u);
}

// ---- stencil -------------------------------------------------------------------------------------

TEST_P(GfxGlFixedFunction, TwoSidedStencilTestsEachWindingByItsOwnStates) {
    device->SetRenderState(D3DRS_STENCILENABLE, 1);
    device->SetRenderState(D3DRS_STENCILFUNC, D3DCMP_NEVER);
    device->SetRenderState(D3DRS_CCW_STENCILFUNC, D3DCMP_ALWAYS);
    device->SetRenderState(D3DRS_CCW_STENCILPASS, D3DSTENCILOP_REPLACE);
    device->SetRenderState(D3DRS_STENCILREF, 7);
    struct V {
        float x, y, z, rhw;
        std::uint32_t color;
    };
    // Clockwise on screen on the left, counter-clockwise on the right.
    const V cw[3] = {{0, 0, 0.5f, 1, kRed}, {8, 0, 0.5f, 1, kRed}, {0, 8, 0.5f, 1, kRed}};
    const V ccw[3] = {{8, 0, 0.5f, 1, kGreen}, {8, 8, 0.5f, 1, kGreen}, {16, 0, 0.5f, 1, kGreen}};
    device->SetFVF(D3DFVF_XYZRHW | D3DFVF_DIFFUSE);
    auto draw = [&] {
        ASSERT_EQ(device->DrawPrimitiveUP(D3DPT_TRIANGLELIST, 1, cw, sizeof(V)), D3D_OK);
        ASSERT_EQ(device->DrawPrimitiveUP(D3DPT_TRIANGLELIST, 1, ccw, sizeof(V)), D3D_OK);
    };
    // One-sided: both windings take the NEVER of the plain states.
    draw();
    EXPECT_EQ(At(2, 2), kBlack);
    EXPECT_EQ(At(12, 2), kBlack);
    device->SetRenderState(D3DRS_TWOSIDEDSTENCILMODE, 1);
    draw();
    EXPECT_EQ(At(2, 2), kBlack);
    EXPECT_EQ(At(12, 2), kGreen);
    // The counter-clockwise pass wrote the reference: a later EQUAL 7 test passes there only.
    device->SetRenderState(D3DRS_TWOSIDEDSTENCILMODE, 0);
    device->SetRenderState(D3DRS_STENCILFUNC, D3DCMP_EQUAL);
    const V all[3] = {{0, 0, 0.4f, 1, kBlue}, {32, 0, 0.4f, 1, kBlue}, {0, 32, 0.4f, 1, kBlue}};
    ASSERT_EQ(device->DrawPrimitiveUP(D3DPT_TRIANGLELIST, 1, all, sizeof(V)), D3D_OK);
    EXPECT_EQ(At(12, 2), kBlue);
    EXPECT_EQ(At(2, 2), kBlack);
}

// ---- state carried from draw to draw -------------------------------------------------------------

// A target drawn into for the first time gets its storage at that draw, on the
// texture unit the previous draw left active: the stage's texture must still be
// the one sampled there, not the new target itself.
TEST_P(GfxGlFixedFunction, ANewTargetSamplesTheStageTextureNotItself) {
    Ref<IDirect3DTexture9> t(Texture(4, 4, 1, [](std::uint32_t, std::uint32_t, std::uint32_t) { return kGreen; }));
    device->SetTexture(0, t.get());
    PointSampling();
    TexQuad(0, 0, 4, 4, 0, 0, 1, 1);
    EXPECT_EQ(At(1, 1), kGreen);
    Ref<IDirect3DTexture9> target;
    ASSERT_EQ(device->CreateTexture(8, 8, 1, D3DUSAGE_RENDERTARGET, D3DFMT_A8R8G8B8, D3DPOOL_DEFAULT, &target, nullptr),
              D3D_OK);
    Ref<IDirect3DSurface9> level, back;
    ASSERT_EQ(target->GetSurfaceLevel(0, &level), D3D_OK);
    ASSERT_EQ(device->GetRenderTarget(0, &back), D3D_OK);
    ASSERT_EQ(device->SetRenderTarget(0, level.get()), D3D_OK);
    device->SetRenderState(D3DRS_ZENABLE, D3DZB_FALSE);
    TexQuad(0, 0, 4, 4, 0, 0, 1, 1);
    Ref<IDirect3DSurface9> copy;
    ASSERT_EQ(device->CreateOffscreenPlainSurface(8, 8, D3DFMT_A8R8G8B8, D3DPOOL_SYSTEMMEM, &copy, nullptr), D3D_OK);
    ASSERT_EQ(device->GetRenderTargetData(level.get(), copy.get()), D3D_OK);
    D3DLOCKED_RECT lr;
    ASSERT_EQ(copy->LockRect(&lr, nullptr, D3DLOCK_READONLY), D3D_OK);
    const auto* row1 = reinterpret_cast<const std::uint32_t*>(static_cast<const std::uint8_t*>(lr.pBits) + lr.Pitch);
    EXPECT_EQ(row1[1], kGreen);
    EXPECT_EQ(row1[5], 0u); // outside the quad: the target's first bytes
    copy->UnlockRect();
    ASSERT_EQ(device->SetRenderTarget(0, back.get()), D3D_OK);
}

// Draws repeat what did not change since the draw before; a clear in between
// (which sets masks and scissor of its own) and a draw of another layout must
// not leave the next draw with their states.
TEST_P(GfxGlFixedFunction, RepeatedStatesHoldAcrossClearsAndLayouts) {
    device->SetRenderState(D3DRS_ZENABLE, D3DZB_FALSE);
    struct Plain {
        float x, y, z, rhw;
    };
    struct Coloured {
        float x, y, z, rhw;
        std::uint32_t color;
    };
    const Plain plain[4] = {{-0.5f, -0.5f, 0.5f, 1}, {15.5f, -0.5f, 0.5f, 1}, {-0.5f, 15.5f, 0.5f, 1}, {15.5f, 15.5f, 0.5f, 1}};
    const Coloured red[4] = {{-0.5f, -0.5f, 0.5f, 1, kRed}, {15.5f, -0.5f, 0.5f, 1, kRed},
                             {-0.5f, 15.5f, 0.5f, 1, kRed}, {15.5f, 15.5f, 0.5f, 1, kRed}};
    auto drawPlain = [&] {
        device->SetFVF(D3DFVF_XYZRHW);
        ASSERT_EQ(device->DrawPrimitiveUP(D3DPT_TRIANGLESTRIP, 2, plain, sizeof(Plain)), D3D_OK);
    };
    // Without a vertex colour the diffuse colour is white, before and after a coloured draw.
    drawPlain();
    EXPECT_EQ(At(3, 3), 0xFFFFFFFFu);
    device->SetFVF(D3DFVF_XYZRHW | D3DFVF_DIFFUSE);
    ASSERT_EQ(device->DrawPrimitiveUP(D3DPT_TRIANGLESTRIP, 2, red, sizeof(Coloured)), D3D_OK);
    EXPECT_EQ(At(3, 3), kRed);
    drawPlain();
    EXPECT_EQ(At(3, 3), 0xFFFFFFFFu);
    // Red channel only, over a blue clear: the clear writes every channel, the draws after it red only.
    device->SetRenderState(D3DRS_COLORWRITEENABLE, D3DCOLORWRITEENABLE_RED);
    Clear(kBlue);
    drawPlain();
    EXPECT_EQ(At(3, 3), 0xFFFF00FFu);
    Clear(kBlue);
    EXPECT_EQ(At(3, 3), kBlue);
    drawPlain();
    EXPECT_EQ(At(3, 3), 0xFFFF00FFu);
    // A clear of a rectangle scissors itself; the next draw covers the whole target again.
    device->SetRenderState(D3DRS_COLORWRITEENABLE, 0xF);
    drawPlain();
    Clear(kBlack);
    const D3DRECT corner{0, 0, 2, 2};
    ASSERT_EQ(device->Clear(1, &corner, D3DCLEAR_TARGET, kGreen, 1.0f, 0), D3D_OK);
    EXPECT_EQ(At(1, 1), kGreen);
    EXPECT_EQ(At(12, 12), kBlack);
    drawPlain();
    EXPECT_EQ(At(1, 1), 0xFFFFFFFFu);
    EXPECT_EQ(At(12, 12), 0xFFFFFFFFu);
}

// Draws of one layout pass the program's choice and its rarer inputs on
// between them; each change below, alone between two draws, must show in the
// second one.
TEST_P(GfxGlFixedFunction, EveryChangeBetweenDrawsOfOneLayoutShowsInTheNextDraw) {
    Lit(White());
    D3DLIGHT9 light;
    light.Type = D3DLIGHT_DIRECTIONAL;
    light.Diffuse = D3DCOLORVALUE{1.0f, 0.6f, 0.2f, 0.0f};
    light.Direction = D3DVECTOR{0.0f, 0.0f, 1.0f};
    SetLight(0, light);
    FacingQuad();
    ExpectPixel(8, 8, 255, 153, 51);
    D3DMATERIAL9 m = White();
    m.Diffuse = D3DCOLORVALUE{0.5f, 1.0f, 1.0f, 1.0f};
    device->SetMaterial(&m);
    FacingQuad();
    ExpectPixel(8, 8, 128, 153, 51);
    light.Diffuse = D3DCOLORVALUE{1.0f, 1.0f, 1.0f, 0.0f};
    ASSERT_EQ(device->SetLight(0, &light), D3D_OK);
    FacingQuad();
    ExpectPixel(8, 8, 128, 255, 255);
    m.Ambient = D3DCOLORVALUE{1.0f, 1.0f, 1.0f, 1.0f};
    m.Diffuse = D3DCOLORVALUE{0.0f, 0.0f, 0.0f, 1.0f};
    device->SetMaterial(&m);
    device->SetRenderState(D3DRS_AMBIENT, 0xFF404040u);
    FacingQuad();
    ExpectPixel(8, 8, 64, 64, 64);
    device->SetRenderState(D3DRS_AMBIENT, 0xFF808080u);
    FacingQuad();
    ExpectPixel(8, 8, 128, 128, 128);
    ASSERT_EQ(device->LightEnable(0, 0), D3D_OK);
    device->SetRenderState(D3DRS_AMBIENT, 0xFF202020u);
    FacingQuad();
    ExpectPixel(8, 8, 32, 32, 32);
    // The stage takes the texture factor; then only the factor changes.
    device->SetTextureStageState(0, D3DTSS_COLOROP, D3DTOP_SELECTARG1);
    device->SetTextureStageState(0, D3DTSS_COLORARG1, D3DTA_TFACTOR);
    device->SetRenderState(D3DRS_TEXTUREFACTOR, 0xFF0000FFu);
    FacingQuad();
    EXPECT_EQ(At(8, 8), kBlue);
    device->SetRenderState(D3DRS_TEXTUREFACTOR, 0xFF00FF00u);
    FacingQuad();
    EXPECT_EQ(At(8, 8), kGreen);
    // A viewport over the left half.
    Clear();
    D3DVIEWPORT9 half{0, 0, 8, 16, 0.0f, 1.0f};
    ASSERT_EQ(device->SetViewport(&half), D3D_OK);
    FacingQuad();
    EXPECT_EQ(At(4, 8), kGreen);
    EXPECT_EQ(At(12, 8), kBlack);

    // Unlit, textured: red texels left, green right, along u.
    D3DVIEWPORT9 whole{0, 0, 16, 16, 0.0f, 1.0f};
    ASSERT_EQ(device->SetViewport(&whole), D3D_OK);
    device->SetRenderState(D3DRS_LIGHTING, 0);
    device->SetTextureStageState(0, D3DTSS_COLOROP, D3DTOP_MODULATE);
    device->SetTextureStageState(0, D3DTSS_COLORARG1, D3DTA_TEXTURE);
    device->SetTextureStageState(0, D3DTSS_COLORARG2, D3DTA_DIFFUSE);
    Ref<IDirect3DTexture9> t(Texture(2, 1, 1, [](std::uint32_t, std::uint32_t x, std::uint32_t) { return x == 0 ? kRed : kGreen; }));
    device->SetTexture(0, t.get());
    PointSampling();
    device->SetTextureStageState(0, D3DTSS_TEXTURETRANSFORMFLAGS, D3DTTFF_COUNT2);
    struct V {
        float x, y, z;
        float u, v;
    };
    const V v[4] = {{-1, 1, 0.5f, 0, 0}, {1, 1, 0.5f, 1, 0}, {-1, -1, 0.5f, 0, 1}, {1, -1, 0.5f, 1, 1}};
    auto draw = [&] {
        device->SetFVF(D3DFVF_XYZ | D3DFVF_TEX1);
        ASSERT_EQ(device->DrawPrimitiveUP(D3DPT_TRIANGLESTRIP, 2, v, sizeof(V)), D3D_OK);
    };
    draw();
    EXPECT_EQ(At(4, 8), kRed);
    EXPECT_EQ(At(12, 8), kGreen);
    D3DMATRIX tm = Identity();
    tm.m[2][0] = 0.5f;
    device->SetTransform(D3DTS_TEXTURE0, &tm);
    draw();
    EXPECT_EQ(At(4, 8), kGreen);
    // No texture bound: the stage passes the white diffuse colour on.
    device->SetTexture(0, nullptr);
    draw();
    EXPECT_EQ(At(4, 8), 0xFFFFFFFFu);
    device->SetTexture(0, t.get());
    draw();
    EXPECT_EQ(At(4, 8), kGreen);
}

} // namespace
