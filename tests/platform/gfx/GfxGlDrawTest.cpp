#include "tests/platform/gfx/GfxBackendFixture.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <string>
#include <utility>
#include <vector>

using namespace gfx;
using gfxtest::Ref;

namespace {

struct RhwVertex {
    float x, y, z, rhw;
    std::uint32_t color;
};
struct XyzVertex {
    float x, y, z;
    std::uint32_t color;
};
constexpr std::uint32_t kRhwFvf = D3DFVF_XYZRHW | D3DFVF_DIFFUSE;
constexpr std::uint32_t kXyzFvf = D3DFVF_XYZ | D3DFVF_DIFFUSE;
constexpr std::uint32_t kBlack = 0xFF000000u, kRed = 0xFFFF0000u, kGreen = 0xFF00FF00u, kBlue = 0xFF0000FFu;

class GfxGlDraw : public gfxtest::GlReadBackTest {
protected:
    void SetUp() override {
        GlReadBackTest::SetUp();
        if (Stopped()) return;
        Create(gfxtest::Windowed(16, 16));
    }
    void Create(D3DPRESENT_PARAMETERS p) {
        ASSERT_NO_FATAL_FAILURE(CreateDevice(p));
        device->SetRenderState(D3DRS_LIGHTING, 0);
        ASSERT_EQ(device->Clear(0, nullptr, D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER, kBlack, 1.0f, 0), D3D_OK);
    }

    std::uint32_t At(const std::vector<std::uint32_t>& px, int x, int y) const { return px[std::size_t(y) * 16 + x]; }

    void Quad(float x0, float y0, float x1, float y1, float z, std::uint32_t color) {
        // Clockwise on screen: drawn under the default CULLMODE (CCW).
        const RhwVertex v[6] = {{x0, y0, z, 1, color}, {x1, y0, z, 1, color}, {x0, y1, z, 1, color},
                                {x1, y0, z, 1, color}, {x1, y1, z, 1, color}, {x0, y1, z, 1, color}};
        device->SetFVF(kRhwFvf);
        ASSERT_EQ(device->DrawPrimitiveUP(D3DPT_TRIANGLELIST, 2, v, sizeof(RhwVertex)), D3D_OK);
    }

    // Which pixels of the 16x16 target hold a colour.
    std::vector<bool> Covered(const std::vector<std::uint32_t>& px, std::uint32_t color) const {
        std::vector<bool> out;
        for (std::uint32_t p : px) out.push_back(p == color);
        return out;
    }
};

INSTANTIATE_TEST_SUITE_P(, GfxGlDraw, ::testing::Bool(), gfxtest::GlReadBackParamName);

TEST_P(GfxGlDraw, RectangleClear) {
    const D3DRECT rects[2] = {{2, 1, 5, 3}, {10, 10, 20, 20}};
    ASSERT_EQ(device->Clear(2, rects, D3DCLEAR_TARGET, kRed, 1.0f, 0), D3D_OK);
    const auto px = ReadBack();
    ASSERT_EQ(px.size(), 256u);
    for (int y = 0; y < 16; ++y)
        for (int x = 0; x < 16; ++x) {
            const bool inside = (x >= 2 && x < 5 && y >= 1 && y < 3) || (x >= 10 && y >= 10);
            EXPECT_EQ(At(px, x, y), inside ? kRed : kBlack) << x << "," << y;
        }
}

TEST_P(GfxGlDraw, ClearStaysInsideTheViewport) {
    D3DVIEWPORT9 vp{4, 4, 4, 4, 0.0f, 1.0f};
    device->SetViewport(&vp);
    ASSERT_EQ(device->Clear(0, nullptr, D3DCLEAR_TARGET, kGreen, 1.0f, 0), D3D_OK);
    const auto px = ReadBack();
    EXPECT_EQ(At(px, 4, 4), kGreen);
    EXPECT_EQ(At(px, 7, 7), kGreen);
    EXPECT_EQ(At(px, 3, 4), kBlack);
    EXPECT_EQ(At(px, 8, 7), kBlack);
}

TEST_P(GfxGlDraw, PretransformedQuadsCoverExactlyTheirPixels) {
    for (const float o : {-0.5f, 0.0f}) {
        SCOPED_TRACE(o);
        device->Clear(0, nullptr, D3DCLEAR_TARGET, kBlack, 1.0f, 0);
        device->BeginScene();
        Quad(o, o, 4.0f + o, 4.0f + o, 0.5f, kRed);
        device->EndScene();
        const auto px = ReadBack();
        for (int y = 0; y < 6; ++y)
            for (int x = 0; x < 6; ++x) EXPECT_EQ(At(px, x, y), (x < 4 && y < 4) ? kRed : kBlack) << x << "," << y;
    }
}

TEST_P(GfxGlDraw, CounterClockwiseCulledByDefaultDrawnWithCullNone) {
    const RhwVertex ccw[3] = {{0, 0, 0.5f, 1, kGreen}, {0, 8, 0.5f, 1, kGreen}, {8, 0, 0.5f, 1, kGreen}};
    device->SetFVF(kRhwFvf);
    ASSERT_EQ(device->DrawPrimitiveUP(D3DPT_TRIANGLELIST, 1, ccw, sizeof(RhwVertex)), D3D_OK);
    EXPECT_EQ(At(ReadBack(), 1, 1), kBlack);
    device->SetRenderState(D3DRS_CULLMODE, D3DCULL_NONE);
    ASSERT_EQ(device->DrawPrimitiveUP(D3DPT_TRIANGLELIST, 1, ccw, sizeof(RhwVertex)), D3D_OK);
    EXPECT_EQ(At(ReadBack(), 1, 1), kGreen);
    // CULLMODE CW drops the clockwise ones.
    device->Clear(0, nullptr, D3DCLEAR_TARGET, kBlack, 1.0f, 0);
    device->SetRenderState(D3DRS_CULLMODE, D3DCULL_CW);
    Quad(0, 0, 8, 8, 0.5f, kRed);
    EXPECT_EQ(At(ReadBack(), 1, 1), kBlack);
}

TEST_P(GfxGlDraw, NearerTriangleWinsUnderLessEqual) {
    Quad(0, 0, 8, 8, 0.3f, kGreen);
    Quad(0, 0, 8, 8, 0.7f, kRed); // behind: rejected
    auto px = ReadBack();
    EXPECT_EQ(At(px, 2, 2), kGreen);
    Quad(0, 0, 8, 8, 0.3f, kBlue); // equal depth passes LESSEQUAL
    px = ReadBack();
    EXPECT_EQ(At(px, 2, 2), kBlue);
    device->SetRenderState(D3DRS_ZFUNC, D3DCMP_LESS);
    Quad(0, 0, 8, 8, 0.3f, kRed);
    EXPECT_EQ(At(ReadBack(), 2, 2), kBlue);
    device->SetRenderState(D3DRS_ZENABLE, D3DZB_FALSE);
    Quad(0, 0, 8, 8, 0.9f, kRed);
    EXPECT_EQ(At(ReadBack(), 2, 2), kRed);
}

TEST_P(GfxGlDraw, ZWriteDisabledLeavesDepth) {
    device->SetRenderState(D3DRS_ZWRITEENABLE, 0);
    Quad(0, 0, 8, 8, 0.2f, kGreen);
    device->SetRenderState(D3DRS_ZWRITEENABLE, 1);
    Quad(0, 0, 8, 8, 0.5f, kRed);
    EXPECT_EQ(At(ReadBack(), 2, 2), kRed);
}

// Row vectors: clip = v x world x view x projection; screen x = X + (1 + x/w) W/2, y = Y + (1 - y/w) H/2.
TEST_P(GfxGlDraw, TransformedVerticesLandWhereRowVectorMathsSays) {
    D3DMATRIX world{}, view{}, proj{};
    world.m[0][0] = world.m[1][1] = world.m[2][2] = world.m[3][3] = 1.0f;
    world.m[3][0] = 0.5f; // translate x by 0.5
    world.m[3][2] = 1.0f; // and z by 1
    // View: 90 degrees about z, (1, 0, 0) -> (0, 1, 0).
    view.m[0][1] = 1.0f;
    view.m[1][0] = -1.0f;
    view.m[2][2] = view.m[3][3] = 1.0f;
    // Projection: w = z, z' = 0.5 z.
    proj.m[0][0] = proj.m[1][1] = 1.0f;
    proj.m[2][2] = 0.5f;
    proj.m[2][3] = 1.0f;
    device->SetTransform(D3DTS_WORLD, &world);
    device->SetTransform(D3DTS_VIEW, &view);
    device->SetTransform(D3DTS_PROJECTION, &proj);
    device->SetRenderState(D3DRS_CULLMODE, D3DCULL_NONE);
    const XyzVertex tri[3] = {{0.1f, 0.1f, 1.0f, kGreen}, {0.4f, 0.1f, 1.0f, kGreen}, {0.1f, 0.4f, 1.0f, kGreen}};
    device->SetFVF(kXyzFvf);
    ASSERT_EQ(device->DrawPrimitiveUP(D3DPT_TRIANGLELIST, 1, tri, sizeof(XyzVertex)), D3D_OK);

    // The same maths on the CPU.
    float minX = 1e9f, minY = 1e9f, maxX = -1e9f, maxY = -1e9f, cx = 0, cy = 0;
    for (const XyzVertex& v : tri) {
        const float p[4] = {v.x, v.y, v.z, 1.0f};
        float a[4] = {}, b[4] = {}, c[4] = {};
        for (int j = 0; j < 4; ++j)
            for (int k = 0; k < 4; ++k) a[j] += p[k] * world.m[k][j];
        for (int j = 0; j < 4; ++j)
            for (int k = 0; k < 4; ++k) b[j] += a[k] * view.m[k][j];
        for (int j = 0; j < 4; ++j)
            for (int k = 0; k < 4; ++k) c[j] += b[k] * proj.m[k][j];
        const float sx = (1.0f + c[0] / c[3]) * 8.0f, sy = (1.0f - c[1] / c[3]) * 8.0f;
        minX = std::min(minX, sx), maxX = std::max(maxX, sx), minY = std::min(minY, sy), maxY = std::max(maxY, sy);
        cx += sx / 3.0f;
        cy += sy / 3.0f;
    }
    const auto px = ReadBack();
    EXPECT_EQ(At(px, int(std::lround(cx)), int(std::lround(cy))), kGreen) << cx << "," << cy;
    int covered = 0;
    for (int y = 0; y < 16; ++y)
        for (int x = 0; x < 16; ++x) {
            if (At(px, x, y) != kGreen) continue;
            ++covered;
            EXPECT_GE(x, std::floor(minX) - 0) << x << "," << y;
            EXPECT_LE(x, std::ceil(maxX)) << x << "," << y;
            EXPECT_GE(y, std::floor(minY)) << x << "," << y;
            EXPECT_LE(y, std::ceil(maxY)) << x << "," << y;
        }
    EXPECT_GT(covered, 0);
}

TEST_P(GfxGlDraw, ViewportMinMaxZScaleDepth) {
    // Depth 0.5 in a viewport of z 0..0.2 lands at 0.1: nearer than a quad at 0.15.
    Quad(0, 0, 8, 8, 0.15f, kRed);
    D3DVIEWPORT9 vp{0, 0, 16, 16, 0.0f, 0.2f};
    device->SetViewport(&vp);
    D3DMATRIX id{};
    id.m[0][0] = id.m[1][1] = id.m[2][2] = id.m[3][3] = 1.0f;
    device->SetTransform(D3DTS_PROJECTION, &id);
    device->SetRenderState(D3DRS_CULLMODE, D3DCULL_NONE);
    const XyzVertex tri[3] = {{-1, 1, 0.5f, kGreen}, {1, 1, 0.5f, kGreen}, {-1, -1, 0.5f, kGreen}};
    device->SetFVF(kXyzFvf);
    ASSERT_EQ(device->DrawPrimitiveUP(D3DPT_TRIANGLELIST, 1, tri, sizeof(XyzVertex)), D3D_OK);
    EXPECT_EQ(At(ReadBack(), 1, 1), kGreen);
}

TEST_P(GfxGlDraw, LightingWithoutLightsGivesEmissivePlusAmbient) {
    device->SetRenderState(D3DRS_LIGHTING, 1);
    device->SetRenderState(D3DRS_AMBIENT, 0xFF0000FFu);
    D3DMATERIAL9 m;
    m.Emissive = D3DCOLORVALUE{0.25f, 0.0f, 0.0f, 1.0f};
    m.Ambient = D3DCOLORVALUE{0.0f, 1.0f, 0.5f, 1.0f};
    m.Diffuse = D3DCOLORVALUE{0.0f, 0.0f, 0.0f, 1.0f};
    device->SetMaterial(&m);
    device->SetRenderState(D3DRS_CULLMODE, D3DCULL_NONE);
    const XyzVertex tri[3] = {{-1, 1, 0.5f, kGreen}, {1, 1, 0.5f, kGreen}, {-1, -1, 0.5f, kGreen}};
    device->SetFVF(kXyzFvf);
    ASSERT_EQ(device->DrawPrimitiveUP(D3DPT_TRIANGLELIST, 1, tri, sizeof(XyzVertex)), D3D_OK);
    const std::uint32_t p = At(ReadBack(), 1, 1);
    EXPECT_NEAR(double((p >> 16) & 0xFF), 64.0, 1.0); // emissive red
    EXPECT_EQ((p >> 8) & 0xFF, 0u);                    // ambient green x global 0
    EXPECT_NEAR(double(p & 0xFF), 128.0, 1.0);         // ambient 0.5 x global blue 1
    // The ambient source can be the vertex colour.
    device->SetRenderState(D3DRS_AMBIENTMATERIALSOURCE, D3DMCS_COLOR1);
    device->SetRenderState(D3DRS_AMBIENT, 0xFF00FF00u);
    ASSERT_EQ(device->DrawPrimitiveUP(D3DPT_TRIANGLELIST, 1, tri, sizeof(XyzVertex)), D3D_OK);
    EXPECT_EQ(At(ReadBack(), 1, 1) & 0x00FFFFu, 0x00FF00u);
}

TEST_P(GfxGlDraw, FlatShadingTakesTheFirstVertex) {
    const RhwVertex tri[3] = {{0, 0, 0.5f, 1, kRed}, {16, 0, 0.5f, 1, kGreen}, {0, 16, 0.5f, 1, kBlue}};
    device->SetFVF(kRhwFvf);
    device->SetRenderState(D3DRS_SHADEMODE, D3DSHADE_FLAT);
    ASSERT_EQ(device->DrawPrimitiveUP(D3DPT_TRIANGLELIST, 1, tri, sizeof(RhwVertex)), D3D_OK);
    auto px = ReadBack();
    EXPECT_EQ(At(px, 6, 6), kRed);
    EXPECT_EQ(At(px, 1, 12), kRed);
    device->SetRenderState(D3DRS_SHADEMODE, D3DSHADE_GOURAUD);
    ASSERT_EQ(device->DrawPrimitiveUP(D3DPT_TRIANGLELIST, 1, tri, sizeof(RhwVertex)), D3D_OK);
    px = ReadBack();
    EXPECT_NE(At(px, 1, 12), kRed); // mostly blue there
    EXPECT_GT(At(px, 1, 12) & 0xFF, 0x80u);
}

TEST_P(GfxGlDraw, IndexedListWithBaseVertexFromManagedBuffers) {
    Ref<IDirect3DVertexBuffer9> vb;
    ASSERT_EQ(device->CreateVertexBuffer(6 * sizeof(RhwVertex), D3DUSAGE_WRITEONLY, kRhwFvf, D3DPOOL_MANAGED, &vb, nullptr), D3D_OK);
    Ref<IDirect3DIndexBuffer9> ib;
    ASSERT_EQ(device->CreateIndexBuffer(6, D3DUSAGE_WRITEONLY, D3DFMT_INDEX16, D3DPOOL_MANAGED, &ib, nullptr), D3D_OK);
    const RhwVertex verts[6] = {{0, 0, 0.5f, 1, kRed},   {8, 0, 0.5f, 1, kRed},   {0, 8, 0.5f, 1, kRed},
                                {8, 8, 0.5f, 1, kGreen}, {16, 8, 0.5f, 1, kGreen}, {8, 16, 0.5f, 1, kGreen}};
    void* p = nullptr;
    ASSERT_EQ(vb->Lock(0, 0, &p, 0), D3D_OK);
    std::memcpy(p, verts, sizeof verts);
    vb->Unlock();
    const std::uint16_t idx[3] = {0, 1, 2};
    ASSERT_EQ(ib->Lock(0, 0, &p, 0), D3D_OK);
    std::memcpy(p, idx, sizeof idx);
    ib->Unlock();
    device->SetFVF(kRhwFvf);
    device->SetStreamSource(0, vb.get(), 0, sizeof(RhwVertex));
    device->SetIndices(ib.get());
    ASSERT_EQ(device->DrawIndexedPrimitive(D3DPT_TRIANGLELIST, 3, 0, 3, 0, 1), D3D_OK);
    auto px = ReadBack();
    EXPECT_EQ(At(px, 9, 9), kGreen);
    EXPECT_EQ(At(px, 1, 1), kBlack);
    // A later lock reaches the drawing: the first triangle turns blue.
    ASSERT_EQ(vb->Lock(0, 3 * sizeof(RhwVertex), &p, 0), D3D_OK);
    for (int i = 0; i < 3; ++i) static_cast<RhwVertex*>(p)[i].color = kBlue;
    vb->Unlock();
    ASSERT_EQ(device->DrawPrimitive(D3DPT_TRIANGLELIST, 0, 1), D3D_OK);
    EXPECT_EQ(At(ReadBack(), 1, 1), kBlue);
}

// Each buffer keeps the attributes it was last drawn with: drawing several in
// turn, letting them go (while their attributes are in use and while another
// buffer's are) and making new ones, every draw reads its own buffer by the
// layout it is drawn with.
TEST_P(GfxGlDraw, EachBufferDrawsItsOwnVerticesAcrossReleasesAndLayouts) {
    auto buffer = [&](std::uint32_t color, float right) {
        IDirect3DVertexBuffer9* vb = nullptr;
        EXPECT_EQ(device->CreateVertexBuffer(6 * sizeof(RhwVertex), D3DUSAGE_WRITEONLY, kRhwFvf, D3DPOOL_MANAGED, &vb,
                                             nullptr),
                  D3D_OK);
        if (!vb) return vb;
        const RhwVertex v[6] = {{0, 0, 0.5f, 1, color},     {right, 0, 0.5f, 1, color},  {0, 16, 0.5f, 1, color},
                                {right, 0, 0.5f, 1, color}, {right, 16, 0.5f, 1, color}, {0, 16, 0.5f, 1, color}};
        void* p = nullptr;
        EXPECT_EQ(vb->Lock(0, 0, &p, 0), D3D_OK);
        std::memcpy(p, v, sizeof v);
        vb->Unlock();
        return vb;
    };
    auto draw = [&](IDirect3DVertexBuffer9* vb, std::uint32_t fvf, std::uint32_t stride) {
        device->SetFVF(fvf);
        device->SetStreamSource(0, vb, 0, stride);
        ASSERT_EQ(device->DrawPrimitive(D3DPT_TRIANGLELIST, 0, 2), D3D_OK);
    };
    device->SetRenderState(D3DRS_ZENABLE, D3DZB_FALSE);
    IDirect3DVertexBuffer9* red = buffer(kRed, 16);
    Ref<IDirect3DVertexBuffer9> green(buffer(kGreen, 8));
    ASSERT_TRUE(red && green);
    draw(red, kRhwFvf, sizeof(RhwVertex));
    draw(green.get(), kRhwFvf, sizeof(RhwVertex));
    auto px = ReadBack();
    EXPECT_EQ(At(px, 2, 2), kGreen);
    EXPECT_EQ(At(px, 12, 2), kRed);
    draw(red, kRhwFvf, sizeof(RhwVertex));
    EXPECT_EQ(At(ReadBack(), 2, 2), kRed);
    device->SetStreamSource(0, nullptr, 0, 0);
    EXPECT_EQ(red->Release(), 0u);
    const std::uint32_t colors[4] = {kBlue, kRed, 0xFFFFFF00u, 0xFF00FFFFu};
    for (int i = 0; i < 4; ++i) {
        Ref<IDirect3DVertexBuffer9> next(buffer(colors[i], 16));
        ASSERT_TRUE(next);
        draw(next.get(), kRhwFvf, sizeof(RhwVertex));
        px = ReadBack();
        EXPECT_EQ(At(px, 2, 2), colors[i]) << i;
        EXPECT_EQ(At(px, 12, 2), colors[i]) << i;
        device->SetStreamSource(0, nullptr, 0, 0);
        // Let go after a draw from another buffer, and right after its own.
        if (i % 2 == 0)
        {
            ASSERT_NO_FATAL_FAILURE(Quad(0, 0, 16, 16, 0.5f, kBlack));
        }
    }
    ASSERT_NO_FATAL_FAILURE(Quad(0, 0, 16, 16, 0.5f, kBlack));
    // The green buffer read without its colours: white, over the left half only.
    draw(green.get(), D3DFVF_XYZRHW, sizeof(RhwVertex));
    px = ReadBack();
    EXPECT_EQ(At(px, 2, 2), 0xFFFFFFFFu);
    EXPECT_EQ(At(px, 12, 2), kBlack);
}

TEST_P(GfxGlDraw, DefaultStageWithoutTextureYieldsTheVertexColour) {
    // Alpha blending shows the vertex alpha survived stage 0's SELECTARG1(TEXTURE).
    device->SetRenderState(D3DRS_ALPHABLENDENABLE, 1);
    device->SetRenderState(D3DRS_SRCBLEND, D3DBLEND_SRCALPHA);
    device->SetRenderState(D3DRS_DESTBLEND, D3DBLEND_INVSRCALPHA);
    Quad(0, 0, 8, 8, 0.5f, 0x80FF0000u);
    const std::uint32_t p = At(ReadBack(), 2, 2);
    EXPECT_NEAR(double((p >> 16) & 0xFF), 128.0, 2.0);
    device->SetRenderState(D3DRS_ALPHABLENDENABLE, 0);
    Quad(0, 0, 8, 8, 0.5f, 0x80FF0000u);
    EXPECT_EQ(At(ReadBack(), 2, 2), kRed);
}

TEST_P(GfxGlDraw, SixteenBitTargetDrawsInItsLayout) {
    device->Release();
    device = nullptr;
    Create(gfxtest::Windowed(8, 8, D3DFMT_R5G6B5));
    Quad(0, 0, 4, 4, 0.5f, kGreen);
    Ref<IDirect3DSurface9> back;
    device->GetBackBuffer(0, 0, D3DBACKBUFFER_TYPE_MONO, &back);
    D3DLOCKED_RECT lr;
    ASSERT_EQ(back->LockRect(&lr, nullptr, D3DLOCK_READONLY), D3D_OK);
    const auto* row = static_cast<const std::uint16_t*>(lr.pBits);
    EXPECT_EQ(row[0], 0x07E0);
    EXPECT_EQ(row[5], 0x0000);
    back->UnlockRect();
}

} // namespace

namespace {

TEST_P(GfxGlDraw, LockedWritesReachTheBackBuffer) {
    Ref<IDirect3DSurface9> back;
    ASSERT_EQ(device->GetBackBuffer(0, 0, D3DBACKBUFFER_TYPE_MONO, &back), D3D_OK);
    D3DLOCKED_RECT lr;
    ASSERT_EQ(back->LockRect(&lr, nullptr, 0), D3D_OK);
    reinterpret_cast<std::uint32_t*>(static_cast<std::uint8_t*>(lr.pBits) + 2 * lr.Pitch)[3] = kBlue;
    ASSERT_EQ(back->UnlockRect(), D3D_OK);
    Quad(8, 8, 12, 12, 0.5f, kGreen); // drawing afterwards keeps the written pixel
    const auto px = ReadBack();
    EXPECT_EQ(At(px, 3, 2), kBlue);
    EXPECT_EQ(At(px, 2, 2), kBlack);
    EXPECT_EQ(At(px, 9, 9), kGreen);
}

} // namespace

namespace {

std::uint32_t Channel(std::uint32_t c, int shift) { return (c >> shift) & 0xFF; }

// Expected 8-bit blend result of one channel: source s, destination d, alphas sa, da (0..1).
double BlendFactor(std::uint32_t f, double s, double sa, double d, double da) {
    switch (f) {
    case D3DBLEND_ZERO: return 0;
    case D3DBLEND_ONE: return 1;
    case D3DBLEND_SRCCOLOR: return s;
    case D3DBLEND_INVSRCCOLOR: return 1 - s;
    case D3DBLEND_SRCALPHA: return sa;
    case D3DBLEND_INVSRCALPHA: return 1 - sa;
    case D3DBLEND_DESTALPHA: return da;
    case D3DBLEND_INVDESTALPHA: return 1 - da;
    case D3DBLEND_DESTCOLOR: return d;
    case D3DBLEND_INVDESTCOLOR: return 1 - d;
    case D3DBLEND_SRCALPHASAT: return std::min(sa, 1 - da);
    default: return 0;
    }
}

TEST_P(GfxGlDraw, BlendFactorsAndOperations) {
    const std::uint32_t dest = 0xFF204060u, src = 0x80C08040u;
    struct Case {
        std::uint32_t src, dst, op;
    };
    std::vector<Case> cases;
    for (std::uint32_t f = D3DBLEND_ZERO; f <= D3DBLEND_SRCALPHASAT; ++f) cases.push_back({f, D3DBLEND_ZERO, D3DBLENDOP_ADD});
    for (std::uint32_t f = D3DBLEND_ZERO; f <= D3DBLEND_INVDESTCOLOR; ++f) cases.push_back({D3DBLEND_ONE, f, D3DBLENDOP_ADD});
    for (std::uint32_t op = D3DBLENDOP_ADD; op <= D3DBLENDOP_MAX; ++op) cases.push_back({D3DBLEND_ONE, D3DBLEND_ONE, op});
    cases.push_back({D3DBLEND_SRCALPHA, D3DBLEND_INVSRCALPHA, D3DBLENDOP_ADD});
    device->SetRenderState(D3DRS_ALPHABLENDENABLE, 1);
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << "src " << c.src << " dst " << c.dst << " op " << c.op);
        device->Clear(0, nullptr, D3DCLEAR_TARGET, dest, 1.0f, 0);
        device->SetRenderState(D3DRS_SRCBLEND, c.src);
        device->SetRenderState(D3DRS_DESTBLEND, c.dst);
        device->SetRenderState(D3DRS_BLENDOP, c.op);
        Quad(0, 0, 4, 4, 0.5f, src);
        const std::uint32_t got = At(ReadBack(), 1, 1);
        const double sa = 128.0 / 255.0, da = 1.0;
        for (int shift : {16, 8, 0}) {
            const double s = Channel(src, shift) / 255.0, d = Channel(dest, shift) / 255.0;
            const double a = s * BlendFactor(c.src, s, sa, d, da), b = d * BlendFactor(c.dst, s, sa, d, da);
            double r = a + b;
            if (c.op == D3DBLENDOP_SUBTRACT) r = a - b;
            if (c.op == D3DBLENDOP_REVSUBTRACT) r = b - a;
            if (c.op == D3DBLENDOP_MIN) r = std::min(s, d);
            if (c.op == D3DBLENDOP_MAX) r = std::max(s, d);
            EXPECT_NEAR(double(Channel(got, shift)), std::clamp(r, 0.0, 1.0) * 255.0, 2.0) << "channel " << shift;
        }
    }
    // Destination alpha of an X8R8G8B8 target stays 1 after a draw wrote alpha.
    device->SetRenderState(D3DRS_SRCBLEND, D3DBLEND_ONE);
    device->SetRenderState(D3DRS_DESTBLEND, D3DBLEND_ZERO);
    Quad(0, 0, 4, 4, 0.5f, 0x00000000u);
    device->SetRenderState(D3DRS_SRCBLEND, D3DBLEND_DESTALPHA);
    Quad(0, 0, 4, 4, 0.5f, 0xFFFF0000u);
    EXPECT_EQ(At(ReadBack(), 1, 1), kRed);
    // The combined factors: source alpha for both, and its inverse.
    device->Clear(0, nullptr, D3DCLEAR_TARGET, dest, 1.0f, 0);
    device->SetRenderState(D3DRS_BLENDOP, D3DBLENDOP_ADD);
    device->SetRenderState(D3DRS_SRCBLEND, D3DBLEND_BOTHINVSRCALPHA);
    Quad(0, 0, 4, 4, 0.5f, 0x40FF0000u); // 0.75 x source red + 0.25 x destination red
    EXPECT_NEAR(double(Channel(At(ReadBack(), 1, 1), 16)), 0.75 * 255 + 0.25 * 0x20, 2.0);
}

TEST_P(GfxGlDraw, AlphaTestComparesWithTheReference) {
    device->SetRenderState(D3DRS_ALPHATESTENABLE, 1);
    device->SetRenderState(D3DRS_ALPHAREF, 0x80);
    for (std::uint32_t func = D3DCMP_NEVER; func <= D3DCMP_ALWAYS; ++func) {
        for (std::uint32_t alpha : {0x7Fu, 0x80u, 0x81u}) {
            SCOPED_TRACE(testing::Message() << "func " << func << " alpha " << alpha);
            device->Clear(0, nullptr, D3DCLEAR_TARGET, kBlack, 1.0f, 0);
            device->SetRenderState(D3DRS_ALPHAFUNC, func);
            Quad(0, 0, 4, 4, 0.5f, (alpha << 24) | 0x00FF00u);
            const bool pass = func == D3DCMP_ALWAYS || (func == D3DCMP_LESS && alpha < 0x80) ||
                              (func == D3DCMP_EQUAL && alpha == 0x80) || (func == D3DCMP_LESSEQUAL && alpha <= 0x80) ||
                              (func == D3DCMP_GREATER && alpha > 0x80) || (func == D3DCMP_NOTEQUAL && alpha != 0x80) ||
                              (func == D3DCMP_GREATEREQUAL && alpha >= 0x80);
            EXPECT_EQ(At(ReadBack(), 1, 1), pass ? kGreen : kBlack);
        }
    }
}

TEST_P(GfxGlDraw, ColorWriteEnableMasksChannels) {
    device->SetRenderState(D3DRS_COLORWRITEENABLE, D3DCOLORWRITEENABLE_RED | D3DCOLORWRITEENABLE_BLUE);
    Quad(0, 0, 4, 4, 0.5f, 0xFFFFFFFFu);
    EXPECT_EQ(At(ReadBack(), 1, 1), 0xFFFF00FFu);
}

TEST_P(GfxGlDraw, StencilOperationsAndComparison) {
    struct Case {
        std::uint32_t op, expected;
    };
    const Case cases[] = {{D3DSTENCILOP_KEEP, 1},    {D3DSTENCILOP_ZERO, 0}, {D3DSTENCILOP_REPLACE, 5},
                          {D3DSTENCILOP_INCRSAT, 2}, {D3DSTENCILOP_DECRSAT, 0}, {D3DSTENCILOP_INVERT, 0xFE},
                          {D3DSTENCILOP_INCR, 2},    {D3DSTENCILOP_DECR, 0}};
    device->SetRenderState(D3DRS_STENCILENABLE, 1);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.op);
        device->Clear(0, nullptr, D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER | D3DCLEAR_STENCIL, kBlack, 1.0f, 1);
        device->SetRenderState(D3DRS_STENCILFUNC, D3DCMP_ALWAYS);
        device->SetRenderState(D3DRS_STENCILREF, 5);
        device->SetRenderState(D3DRS_STENCILPASS, c.op);
        Quad(0, 0, 4, 4, 0.5f, kRed);
        // Only where the stencil now holds the expected value does green land.
        device->SetRenderState(D3DRS_STENCILPASS, D3DSTENCILOP_KEEP);
        device->SetRenderState(D3DRS_STENCILFUNC, D3DCMP_EQUAL);
        device->SetRenderState(D3DRS_STENCILREF, c.expected);
        Quad(0, 0, 8, 8, 0.4f, kGreen);
        const auto px = ReadBack();
        EXPECT_EQ(At(px, 1, 1), kGreen);
        // Outside the first quad the stencil kept 1.
        EXPECT_EQ(At(px, 6, 6), c.expected == 1 ? kGreen : kBlack);
    }
}

} // namespace

namespace {

TEST_P(GfxGlDraw, ScissorRectangleLimitsDrawingAndClears) {
    const RECT scissor{2, 3, 6, 5};
    ASSERT_EQ(device->SetScissorRect(&scissor), D3D_OK);
    device->SetRenderState(D3DRS_SCISSORTESTENABLE, 1);
    Quad(0, 0, 8, 8, 0.5f, kRed);
    auto px = ReadBack();
    for (int y = 0; y < 8; ++y)
        for (int x = 0; x < 8; ++x)
            EXPECT_EQ(At(px, x, y), (x >= 2 && x < 6 && y >= 3 && y < 5) ? kRed : kBlack) << x << "," << y;
    ASSERT_EQ(device->Clear(0, nullptr, D3DCLEAR_TARGET, kGreen, 1.0f, 0), D3D_OK);
    px = ReadBack();
    EXPECT_EQ(At(px, 2, 3), kGreen);
    EXPECT_EQ(At(px, 1, 3), kBlack);
    device->SetRenderState(D3DRS_SCISSORTESTENABLE, 0);
    Quad(0, 0, 8, 8, 0.5f, kBlue);
    EXPECT_EQ(At(ReadBack(), 0, 0), kBlue);
}

} // namespace

namespace {

TEST_P(GfxGlDraw, DeclarationsStripsFansAndUserIndices) {
    const D3DVERTEXELEMENT9 elements[] = {
        {0, 0, D3DDECLTYPE_FLOAT4, D3DDECLMETHOD_DEFAULT, D3DDECLUSAGE_POSITIONT, 0},
        {0, 16, D3DDECLTYPE_D3DCOLOR, D3DDECLMETHOD_DEFAULT, D3DDECLUSAGE_COLOR, 0},
        D3DDECL_END(),
    };
    Ref<IDirect3DVertexDeclaration9> decl;
    ASSERT_EQ(device->CreateVertexDeclaration(elements, &decl), D3D_OK);
    ASSERT_EQ(device->SetVertexDeclaration(decl.get()), D3D_OK);
    // A strip: (0,0) (4,0) (0,4) (4,4) covers the square 0-3.
    const RhwVertex strip[4] = {{0, 0, 0.5f, 1, kRed}, {4, 0, 0.5f, 1, kRed}, {0, 4, 0.5f, 1, kRed}, {4, 4, 0.5f, 1, kRed}};
    device->SetRenderState(D3DRS_CULLMODE, D3DCULL_NONE);
    ASSERT_EQ(device->DrawPrimitiveUP(D3DPT_TRIANGLESTRIP, 2, strip, sizeof(RhwVertex)), D3D_OK);
    auto px = ReadBack();
    EXPECT_EQ(At(px, 0, 0), kRed);
    EXPECT_EQ(At(px, 3, 3), kRed);
    EXPECT_EQ(At(px, 4, 4), kBlack);
    // A fan through 32-bit user indices, offset by the minimum index.
    const RhwVertex fan[5] = {{0, 0, 0, 1, 0},          {8, 8, 0.5f, 1, kGreen}, {12, 8, 0.5f, 1, kGreen},
                              {12, 12, 0.5f, 1, kGreen}, {8, 12, 0.5f, 1, kGreen}};
    const std::uint32_t idx[4] = {1, 2, 3, 4};
    ASSERT_EQ(device->DrawIndexedPrimitiveUP(D3DPT_TRIANGLEFAN, 1, 4, 2, idx, D3DFMT_INDEX32, fan, sizeof(RhwVertex)),
              D3D_OK);
    px = ReadBack();
    EXPECT_EQ(At(px, 9, 9), kGreen);
    EXPECT_EQ(At(px, 11, 11), kGreen);
    EXPECT_EQ(At(px, 12, 12), kBlack);
    EXPECT_EQ(At(px, 1, 1), kRed);
}

TEST_P(GfxGlDraw, StreamOffsetAndDynamicAppends) {
    Ref<IDirect3DVertexBuffer9> vb;
    ASSERT_EQ(device->CreateVertexBuffer(12 * sizeof(RhwVertex), D3DUSAGE_DYNAMIC | D3DUSAGE_WRITEONLY, 0,
                                         D3DPOOL_DEFAULT, &vb, nullptr),
              D3D_OK);
    device->SetFVF(kRhwFvf);
    void* p = nullptr;
    // First batch with DISCARD, second appended with NOOVERWRITE, drawn through a stream offset.
    const RhwVertex a[6] = {{0, 0, 0.5f, 1, kRed}, {4, 0, 0.5f, 1, kRed}, {0, 4, 0.5f, 1, kRed},
                            {4, 0, 0.5f, 1, kRed}, {4, 4, 0.5f, 1, kRed}, {0, 4, 0.5f, 1, kRed}};
    ASSERT_EQ(vb->Lock(0, sizeof a, &p, D3DLOCK_DISCARD), D3D_OK);
    std::memcpy(p, a, sizeof a);
    vb->Unlock();
    device->SetStreamSource(0, vb.get(), 0, sizeof(RhwVertex));
    ASSERT_EQ(device->DrawPrimitive(D3DPT_TRIANGLELIST, 0, 2), D3D_OK);
    RhwVertex b[6];
    for (int i = 0; i < 6; ++i) b[i] = {a[i].x + 8, a[i].y + 8, 0.5f, 1, kBlue};
    ASSERT_EQ(vb->Lock(sizeof a, sizeof b, &p, D3DLOCK_NOOVERWRITE), D3D_OK);
    std::memcpy(p, b, sizeof b);
    vb->Unlock();
    device->SetStreamSource(0, vb.get(), sizeof a, sizeof(RhwVertex));
    ASSERT_EQ(device->DrawPrimitive(D3DPT_TRIANGLELIST, 0, 2), D3D_OK);
    const auto px = ReadBack();
    EXPECT_EQ(At(px, 1, 1), kRed);
    EXPECT_EQ(At(px, 9, 9), kBlue);
    vb.reset(); // a default-pool buffer must go before a Reset
    device->SetStreamSource(0, nullptr, 0, 0);
}

} // namespace

namespace {

TEST_P(GfxGlDraw, RenderTargetTextureDrawsAndReadsBack) {
    Ref<IDirect3DTexture9> target;
    ASSERT_EQ(device->CreateTexture(8, 8, 1, D3DUSAGE_RENDERTARGET, D3DFMT_A8R8G8B8, D3DPOOL_DEFAULT, &target, nullptr),
              D3D_OK);
    Ref<IDirect3DSurface9> level;
    ASSERT_EQ(target->GetSurfaceLevel(0, &level), D3D_OK);
    Ref<IDirect3DSurface9> back;
    ASSERT_EQ(device->GetRenderTarget(0, &back), D3D_OK);
    ASSERT_EQ(device->SetRenderTarget(0, level.get()), D3D_OK);
    D3DVIEWPORT9 vp;
    device->GetViewport(&vp);
    EXPECT_EQ(vp.Width, 8u); // a new target 0 brings its own viewport
    ASSERT_EQ(device->Clear(0, nullptr, D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER, kBlue, 1.0f, 0), D3D_OK);
    Quad(0, 0, 2, 2, 0.5f, kRed);
    Ref<IDirect3DSurface9> copy;
    ASSERT_EQ(device->CreateOffscreenPlainSurface(8, 8, D3DFMT_A8R8G8B8, D3DPOOL_SYSTEMMEM, &copy, nullptr), D3D_OK);
    ASSERT_EQ(device->GetRenderTargetData(level.get(), copy.get()), D3D_OK);
    D3DLOCKED_RECT lr;
    ASSERT_EQ(copy->LockRect(&lr, nullptr, D3DLOCK_READONLY), D3D_OK);
    const auto* row0 = static_cast<const std::uint32_t*>(lr.pBits);
    EXPECT_EQ(row0[1], kRed);
    EXPECT_EQ(row0[2], kBlue);
    EXPECT_EQ(reinterpret_cast<const std::uint32_t*>(static_cast<const std::uint8_t*>(lr.pBits) + 7 * lr.Pitch)[7], kBlue);
    copy->UnlockRect();
    // The back buffer was not touched, and is the target again.
    ASSERT_EQ(device->SetRenderTarget(0, back.get()), D3D_OK);
    EXPECT_EQ(At(ReadBack(), 1, 1), kBlack);
    // A system-memory image of the back buffer's format lands in it (a blit).
    const POINT at{5, 6};
    EXPECT_EQ(device->UpdateSurface(copy.get(), nullptr, back.get(), &at), D3DERR_INVALIDCALL); // format differs
    Ref<IDirect3DSurface9> image;
    ASSERT_EQ(device->CreateOffscreenPlainSurface(4, 4, D3DFMT_X8R8G8B8, D3DPOOL_SYSTEMMEM, &image, nullptr), D3D_OK);
    ASSERT_EQ(image->LockRect(&lr, nullptr, 0), D3D_OK);
    for (int y = 0; y < 4; ++y)
        for (int x = 0; x < 4; ++x)
            reinterpret_cast<std::uint32_t*>(static_cast<std::uint8_t*>(lr.pBits) + y * lr.Pitch)[x] = kRed;
    image->UnlockRect();
    const POINT corner{14, 14};
    EXPECT_EQ(device->UpdateSurface(image.get(), nullptr, back.get(), &corner), D3DERR_INVALIDCALL); // past the edge
    const RECT part{0, 0, 2, 2};
    ASSERT_EQ(device->UpdateSurface(image.get(), &part, back.get(), &at), D3D_OK);
    const auto px = ReadBack();
    EXPECT_EQ(At(px, 5, 6), kRed);
    EXPECT_EQ(At(px, 6, 7), kRed);
    EXPECT_EQ(At(px, 7, 7), kBlack);
    EXPECT_EQ(At(px, 4, 6), kBlack);
    level.reset();
    target.reset();
}

// A failure inside the back end comes back from the draw, and its text reaches
// standard error once for each kind, not once a frame.
TEST_P(GfxGlDraw, BackEndFailuresAreReportedOncePerKind) {
    auto count = [](const std::string& text, const std::string& part) {
        std::size_t n = 0;
        for (std::size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) ++n;
        return n;
    };
    const RhwVertex v[3] = {{0, 0, 0.5f, 1, kRed}, {8, 0, 0.5f, 1, kRed}, {0, 8, 0.5f, 1, kRed}};
    device->SetFVF(kRhwFvf);
    for (const auto& [fault, kind] : {std::pair{BackendFault::CompileError, "compile failed"},
                                      std::pair{BackendFault::LinkError, "link failed"}}) {
        SCOPED_TRACE(kind);
        device->InjectBackendFault(fault);
        ::testing::internal::CaptureStderr();
        EXPECT_EQ(device->DrawPrimitiveUP(D3DPT_TRIANGLELIST, 1, v, sizeof(RhwVertex)), D3DERR_DRIVERINTERNALERROR);
        EXPECT_EQ(device->DrawPrimitiveUP(D3DPT_TRIANGLELIST, 1, v, sizeof(RhwVertex)), D3DERR_DRIVERINTERNALERROR);
        const std::string text = ::testing::internal::GetCapturedStderr();
        EXPECT_EQ(count(text, "gfx gl: a generated program failed"), 1u) << text;
        EXPECT_EQ(count(text, kind), 1u) << text;
        EXPECT_EQ(At(ReadBack(), 2, 2), kBlack);
    }
    device->InjectBackendFault(BackendFault::None);
    ::testing::internal::CaptureStderr();
    EXPECT_EQ(device->DrawPrimitiveUP(D3DPT_TRIANGLELIST, 1, v, sizeof(RhwVertex)), D3D_OK);
    EXPECT_EQ(::testing::internal::GetCapturedStderr(), "");
    EXPECT_EQ(At(ReadBack(), 2, 2), kRed);

    // A GL error after a draw: the draw that left it fails, the next one works.
    device->InjectBackendFault(BackendFault::GlErrorOnDraw);
    ::testing::internal::CaptureStderr();
    EXPECT_EQ(device->DrawPrimitiveUP(D3DPT_TRIANGLELIST, 1, v, sizeof(RhwVertex)), D3DERR_DRIVERINTERNALERROR);
    EXPECT_EQ(device->DrawPrimitiveUP(D3DPT_TRIANGLELIST, 1, v, sizeof(RhwVertex)), D3D_OK);
    device->InjectBackendFault(BackendFault::GlErrorOnDraw);
    EXPECT_EQ(device->DrawPrimitiveUP(D3DPT_TRIANGLELIST, 1, v, sizeof(RhwVertex)), D3DERR_DRIVERINTERNALERROR);
    const std::string text = ::testing::internal::GetCapturedStderr();
    EXPECT_EQ(count(text, "gfx gl: OpenGL error 0x0500 after a draw"), 1u) << text;
}

} // namespace

// Only a device drawing into an os window can see that window go first: the
// variant without one has nothing to lose, so it is not instantiated at all.
class GfxGlDrawOnOsWindow : public GfxGlDraw {};
INSTANTIATE_TEST_SUITE_P(, GfxGlDrawOnOsWindow, ::testing::Values(true), [](const ::testing::TestParamInfo<bool>&) {
    return std::string("FramebufferObject");
});

// The game destroys its window before the renderer lets the device go; the
// device must then skip its GL clean-up instead of calling GL with no context.
TEST_P(GfxGlDrawOnOsWindow, DeviceOutlivingItsWindowReleasesCleanly) {
    ASSERT_NE(window, nullptr);
    Quad(0, 0, 8, 8, 0.5f, 0xFF00FF00u);
    Ref<IDirect3DVertexBuffer9> vb;
    ASSERT_EQ(device->CreateVertexBuffer(64, D3DUSAGE_WRITEONLY, 0, D3DPOOL_MANAGED, &vb, nullptr), D3D_OK);
    ASSERT_EQ(device->Present(nullptr, nullptr, nullptr, nullptr), D3D_OK);

    os::DestroyWindow(window->handle);
    window->handle = nullptr;

    EXPECT_NE(device->Present(nullptr, nullptr, nullptr, nullptr), D3D_OK);
    EXPECT_EQ(device->Clear(0, nullptr, D3DCLEAR_TARGET, kBlack, 1.0f, 0), D3D_OK);
    vb.reset();
    EXPECT_EQ(device->Release(), 0u);
    device = nullptr;
}

// A window's rows come top-down whether the driver writes them so or the
// device turns them over itself, for the whole target and for a part of
// odd height (whose middle row stays where it is).
TEST_P(GfxGlDraw, WindowReadsComeTopDownWithOrWithoutTheDriversHelp) {
    const D3DRECT red = {2, 1, 5, 3}, blue = {10, 9, 16, 16};
    ASSERT_EQ(device->Clear(1, &red, D3DCLEAR_TARGET, kRed, 1.0f, 0), D3D_OK);
    ASSERT_EQ(device->Clear(1, &blue, D3DCLEAR_TARGET, kBlue, 1.0f, 0), D3D_OK);
    const auto Expected = [&](int x, int y) {
        if (x >= 2 && x < 5 && y >= 1 && y < 3) return kRed;
        if (x >= 10 && y >= 9) return kBlue;
        return kBlack;
    };
    for (const int mode : {-1, 0}) {
        SetGlReadRowsTurnedForTests(mode);
        const auto px = ReadBack();
        ASSERT_EQ(px.size(), 256u);
        for (int y = 0; y < 16; ++y)
            for (int x = 0; x < 16; ++x) EXPECT_EQ(At(px, x, y), Expected(x, y)) << x << "," << y << " mode " << mode;

        Ref<IDirect3DSurface9> back;
        ASSERT_EQ(device->GetBackBuffer(0, 0, D3DBACKBUFFER_TYPE_MONO, &back), D3D_OK);
        const RECT part = {1, 2, 12, 13}; // 11 x 11
        D3DLOCKED_RECT lr;
        ASSERT_EQ(back->LockRect(&lr, &part, D3DLOCK_READONLY), D3D_OK);
        for (int y = part.top; y < part.bottom; ++y)
            for (int x = part.left; x < part.right; ++x) {
                const auto* row = reinterpret_cast<const std::uint32_t*>(static_cast<const std::uint8_t*>(lr.pBits) +
                                                                         std::size_t(y - part.top) * lr.Pitch);
                EXPECT_EQ(row[x - part.left] | 0xFF000000u, Expected(x, y)) << x << "," << y << " mode " << mode;
            }
        back->UnlockRect();
    }
    SetGlReadRowsTurnedForTests(-1);
}
