#include "engine/shaders/framework/NiD3DDefaultShader.h"

#include "engine/render/image/NiImageFileConverter.h"
#include "engine/scene/NiFogProperty.h"
#include "engine/scene/NiStencilProperty.h"
#include "engine/scene/NiEffectSet.h"
#include "engine/scene/NiTextureEffect.h"
#include "engine/scene/NiTexturingProperty.h"
#include "engine/scene/NiVertexColorProperty.h"
#include "engine/shaders/framework/NiD3DTextureStage.h"
#include "tests/engine/shaders/framework/ShaderDriver.h"
#include "tests/engine/shaders/framework/ShaderTestSupport.h"

#include <algorithm>

// The default shader's passes drawn on the `gl` device and read back.
namespace shader_test
{
namespace
{
using namespace gfx;

int Channel(std::uint32_t uiPixel, int iShift)
{
    return static_cast<int>((uiPixel >> iShift) & 0xFF);
}

class NiD3DDefaultShaderDrawTest : public ShaderTest
{
protected:
    void SetUp() override
    {
        ShaderTest::SetUp();
        // Pixel data reaches the device through the current converter.
        NiImageConverter::SetCurrent(new NiImageFileConverter);
        CreateRenderer(gfx::BackendKind::Gl, NiDX9Renderer::FBMODE_LOCKABLE);
        if (m_spRenderer == nullptr)
            return;
        m_pkDevice = m_spRenderer->GetD3DDevice();
        m_spTexturing = new NiTexturingProperty;
        m_spState = new NiPropertySet;
        m_spState->SetProperty(m_spTexturing);
        // Vertex colours as they are: no lights.
        NiRefPtr<NiVertexColorProperty> spVertexColor = new NiVertexColorProperty;
        spVertexColor->SetSourceMode(NiVertexColorProperty::SOURCE_EMISSIVE);
        spVertexColor->SetLightingMode(NiVertexColorProperty::LIGHTING_E);
        m_spState->SetProperty(spVertexColor);
        // Both faces drawn.
        NiRefPtr<NiStencilProperty> spStencil = new NiStencilProperty;
        spStencil->SetDrawMode(NiStencilProperty::DRAW_BOTH);
        m_spState->SetProperty(spStencil);
    }
    void TearDown() override
    {
        m_spQuad.reset();
        m_spState = nullptr;
        m_spTexturing = nullptr;
        m_kTextures.clear();
        ShaderTest::TearDown();
        NiImageConverter::ReleaseCurrent();
    }
    // A quad over the whole target in one vertex colour, drawn through the
    // default shader with identity transforms.
    // `fDepth` > 0: at that eye depth, seen through a perspective projection
    // (near 1, far 11) that the quad fills.
    void DrawQuad(std::uint32_t uiVertexColor, const NiEffectSet* pkEffects = nullptr, float fDepth = 0.0f)
    {
        const float e = fDepth > 0.0f ? fDepth : 1.0f, z = fDepth > 0.0f ? fDepth : 0.5f;
        m_spQuad = std::make_unique<QuadBuffers>(
            m_pkDevice, std::vector<QuadVertex>{{-e, -e, z, uiVertexColor, 0, 1},
                                                {-e, e, z, uiVertexColor, 0, 0},
                                                {e, -e, z, uiVertexColor, 1, 1},
                                                {e, e, z, uiVertexColor, 1, 0}});
        NiD3DDefaultShader* pkShader = m_spRenderer->GetDefaultShader();
        ASSERT_NE(pkShader, nullptr);
        NiD3DRenderState* pkCache = m_spRenderer->GetRenderState();
        ASSERT_TRUE(m_spRenderer->BeginScene());
        ASSERT_EQ(m_pkDevice->Clear(0, nullptr, D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER, 0xFF000000u, 1.0f, 0), D3D_OK);
        pkCache->SetRenderState(D3DRS_CULLMODE, D3DCULL_NONE);
        const D3DMATRIX kIdentity = m_spRenderer->GetD3DIdentity();
        m_pkDevice->SetTransform(D3DTS_VIEW, &kIdentity);
        D3DMATRIX kProjection = kIdentity;
        if (fDepth > 0.0f)
        {
            kProjection.m[2][2] = 11.0f / 10.0f;
            kProjection.m[2][3] = 1.0f;
            kProjection.m[3][2] = -11.0f / 10.0f;
            kProjection.m[3][3] = 0.0f;
        }
        m_pkDevice->SetTransform(D3DTS_PROJECTION, &kProjection);
        EXPECT_GE(DrawBatch(*pkShader, m_pkDevice, nullptr, m_spQuad->Get(), m_spState, pkEffects), 1u);
        m_spRenderer->EndScene();
    }
    NiTextureMap* SetMap(std::uint32_t uiSlot, std::uint32_t uiColor)
    {
        m_kTextures.push_back(MakeTexture(2, uiColor));
        auto* pkMap = new NiTextureMap(m_kTextures.back());
        pkMap->SetFilterMode(NiTextureMap::FILTER_NEAREST);
        m_spTexturing->SetMap(uiSlot, pkMap);
        return pkMap;
    }
    // The centre pixel of the back buffer as 0x00RRGGBB.
    std::uint32_t CentrePixel() { return PixelAt(-1); }
    // Pixel x of the back buffer's middle row (-1: its middle), as 0x00RRGGBB.
    std::uint32_t PixelAt(int iX)
    {
        IDirect3DSurface9* pkBack = nullptr;
        EXPECT_EQ(m_pkDevice->GetBackBuffer(0, 0, D3DBACKBUFFER_TYPE_MONO, &pkBack), D3D_OK);
        if (pkBack == nullptr)
            return 0;
        std::uint32_t uiPixel = 0;
        D3DLOCKED_RECT kLocked{};
        const bool bLocked = pkBack->LockRect(&kLocked, nullptr, D3DLOCK_READONLY) == D3D_OK;
        EXPECT_TRUE(bLocked) << "the back buffer cannot be read";
        if (bLocked)
        {
            const std::uint32_t y = pkBack->Height() / 2;
            const std::uint32_t x = iX < 0 ? pkBack->Width() / 2 : static_cast<std::uint32_t>(iX);
            uiPixel = reinterpret_cast<const std::uint32_t*>(static_cast<const std::uint8_t*>(kLocked.pBits) +
                                                             y * kLocked.Pitch)[x] & 0xFFFFFFu;
            pkBack->UnlockRect();
        }
        pkBack->Release();
        return uiPixel;
    }
    void ExpectPixel(std::uint32_t uiActual, std::uint32_t uiExpected)
    {
        for (int iShift : {0, 8, 16})
            EXPECT_NEAR(Channel(uiActual, iShift), Channel(uiExpected, iShift), 1)
                << std::hex << uiActual << " vs " << uiExpected;
    }

    gfx::IDirect3DDevice9* m_pkDevice = nullptr;
    NiRefPtr<NiTexturingProperty> m_spTexturing;
    NiPropertySetPtr m_spState;
    std::unique_ptr<QuadBuffers> m_spQuad;
    std::vector<NiSourceTexturePtr> m_kTextures;
};
} // namespace

TEST_F(NiD3DDefaultShaderDrawTest, ATexturedQuadModulatesTheVertexColour)
{
    if (m_spRenderer == nullptr)
        return;
    SetMap(NiTexturingProperty::BASE_INDEX, 0xFF80FF40);
    DrawQuad(0xFF8080FF);
    // (0x80, 0xFF, 0x40) x (0x80, 0x80, 0xFF) / 255.
    ExpectPixel(CentrePixel(), 0x408040);
}

TEST_F(NiD3DDefaultShaderDrawTest, ADarkMapDarkensTheBaseInASecondPass)
{
    if (m_spRenderer == nullptr)
        return;
    NiD3DPass::SetMaxTextureBlendStages(2);
    NiD3DPass::SetMaxSimultaneousTextures(2);
    m_spTexturing->SetApplyMode(0);
    SetMap(NiTexturingProperty::BASE_INDEX, 0xFFFFFF80);
    SetMap(NiTexturingProperty::DARK_INDEX, 0xFF808080);
    SetMap(NiTexturingProperty::DETAIL_INDEX, 0xFF808080);
    DrawQuad(0xFFFFFFFF);
    NiD3DDefaultShader* pkShader = m_spRenderer->GetDefaultShader();
    ASSERT_EQ(pkShader->GetPassCount(), 2u);
    // Dark (0x80) first; then base x 2 x detail (0x80): base again, times
    // the frame (ZERO, SRCCOLOR): 0x80 x base.
    ExpectPixel(CentrePixel(), 0x808040);
}

TEST_F(NiD3DDefaultShaderDrawTest, TheFogPassAddsTheFogColour)
{
    if (m_spRenderer == nullptr)
        return;
    NiD3DPass::SetMaxTextureBlendStages(2);
    NiD3DPass::SetMaxSimultaneousTextures(2);
    m_spTexturing->SetApplyMode(0);
    SetMap(NiTexturingProperty::BASE_INDEX, 0xFF808080);
    SetMap(NiTexturingProperty::DARK_INDEX, 0xFFFFFFFF);
    SetMap(NiTexturingProperty::DETAIL_INDEX, 0xFF808080);
    DrawQuad(0xFFFFFFFF);
    // 0x80 (base) x 0xFF (dark), then x 2 x 0x80 (detail): 128 x 256 / 255.
    const std::uint32_t uiClear = CentrePixel();
    ExpectPixel(uiClear, 0x818181);

    NiRefPtr<NiFogProperty> spFog = new NiFogProperty;
    spFog->SetFog(true);
    spFog->SetFogColor(NiColorRGB(0.0f, 0.0f, 1.0f));
    m_spState->SetProperty(spFog);
    DrawQuad(0xFFFFFFFF);
    NiD3DDefaultShader* pkShader = m_spRenderer->GetDefaultShader();
    ASSERT_EQ(pkShader->GetPassCount(), 3u);
    const std::uint32_t uiFogged = CentrePixel();
    // The passes are fogged towards black, keeping the share f of the
    // colour (red and green: f x clear), and the last one adds the fog
    // colour's (1 - f): blue = f x clear + 255 x (1 - f). The tolerance
    // carries red's rounding through 255 / clear.
    const int iClear = Channel(uiClear, 16);
    const int iRed = Channel(uiFogged, 16);
    EXPECT_EQ(Channel(uiFogged, 8), iRed);
    EXPECT_LT(iRed, iClear - 8) << "no fog applied";
    EXPECT_GT(iRed, 8) << "fogged through";
    const double dKept = static_cast<double>(iRed) / std::max(1, iClear);
    EXPECT_NEAR(Channel(uiFogged, 0), iRed + 255.0 * (1.0 - dKept), 2.0) << std::hex << uiFogged;
}

TEST_F(NiD3DDefaultShaderDrawTest, AProjectedLightIsDividedByItsThirdCoordinate)
{
    if (m_spRenderer == nullptr)
        return;
    // The light's texture: columns red, green, blue, white.
    NiPixelDataPtr spImage = new NiPixelData(4, 4, NiPixelFormat::RGBA32, 1);
    static constexpr std::uint32_t auiColumn[4] = {0xFF0000, 0x00FF00, 0x0000FF, 0xFFFFFF};
    std::uint8_t* puc = spImage->GetPixels(0);
    for (std::uint32_t ui = 0; ui < 16; ++ui)
    {
        const std::uint32_t uiColor = auiColumn[ui % 4];
        puc[4 * ui + 0] = static_cast<std::uint8_t>(uiColor >> 16);
        puc[4 * ui + 1] = static_cast<std::uint8_t>(uiColor >> 8);
        puc[4 * ui + 2] = static_cast<std::uint8_t>(uiColor);
        puc[4 * ui + 3] = 0xFF;
    }
    NiTexture::FormatPrefs kPrefs;
    kPrefs.m_ePixelLayout = NiTexture::FormatPrefs::TRUE_COLOR_32;
    kPrefs.m_eMipMapped = NiTexture::FormatPrefs::NO;
    m_kTextures.push_back(NiSourceTexture::CreateFromPixelData(spImage, kPrefs));

    // The camera looks along world x with z to its right: a camera-space
    // point (x, y, z) lies at world (z, y, x). The projection gives
    // (x + 1, 0.75 + x / 4, 1.5 + x / 2) at the quad's x: divided, u runs
    // 0 to 1 across the quad and v stays 0.5.
    NiRefPtr<NiTextureEffect> spLight = new NiTextureEffect;
    spLight->SetTextureType(NiTextureEffect::PROJECTED_LIGHT);
    spLight->SetTextureCoordGen(NiTextureEffect::WORLD_PERSPECTIVE);
    spLight->SetTextureFilter(NiTextureMap::FILTER_NEAREST);
    spLight->SetTextureClamp(NiTextureMap::CLAMP_S_CLAMP_T);
    spLight->SetEffectTexture(m_kTextures.back());
    spLight->SetModelProjectionMatrix(NiMatrix3x3(0, 0, 1, 0, 0, 0.25f, 0, 0, 0.5f));
    spLight->SetModelProjectionTranslation(NiVec3(1.0f, 0.75f, 1.5f));
    spLight->UpdateWorldData();
    NiRefPtr<NiEffectSet> spEffects = new NiEffectSet;
    spEffects->AddEffect(spLight);
    ASSERT_EQ(NiDX9Renderer::GetProjectedTextureFlags(), D3DTTFF_COUNT3 | D3DTTFF_PROJECTED);

    DrawQuad(0xFFFFFFFF, spEffects);
    // Pixel 32 of 64 (x 0.016): u 0.67, column 2; undivided it would be
    // 1.02, clamped to column 3. Pixel 8 (x -0.73): u 0.23, column 0;
    // undivided 0.27, column 1.
    ExpectPixel(PixelAt(32), 0x0000FF);
    ExpectPixel(PixelAt(8), 0xFF0000);
    ExpectPixel(PixelAt(60), 0xFFFFFF);
}

TEST_F(NiD3DDefaultShaderDrawTest, DepthFogIsDrawnPerPixelAndRangeFogPerVertex)
{
    if (m_spRenderer == nullptr)
        return;
    // Near 1, far 11, depth 0.5: fog from 6 to 11. The quad at eye depth 8.5
    // keeps half its colour by depth; its corners lie sqrt(3) x 8.5 = 14.7
    // away, beyond the end, so by range it is all fog.
    m_spRenderer->GetRenderState()->SetCameraNearAndFar(1.0f, 11.0f);
    NiRefPtr<NiFogProperty> spFog = new NiFogProperty;
    spFog->SetFog(true);
    spFog->SetDepth(0.5f);
    spFog->SetFogColor(NiColorRGB(0.0f, 0.0f, 1.0f));
    m_spState->SetProperty(spFog);
    DrawQuad(0xFFFFFFFF, nullptr, 8.5f);
    EXPECT_EQ(m_spRenderer->GetRenderState()->GetRenderState(D3DRS_FOGTABLEMODE), std::uint32_t(D3DFOG_LINEAR));
    ExpectPixel(CentrePixel(), 0x8080FF);
    spFog->SetFogFunction(NiFogProperty::FOG_RANGE_SQ);
    DrawQuad(0xFFFFFFFF, nullptr, 8.5f);
    EXPECT_EQ(m_spRenderer->GetRenderState()->GetRenderState(D3DRS_FOGTABLEMODE), std::uint32_t(D3DFOG_NONE));
    ExpectPixel(CentrePixel(), 0x0000FF);
}
} // namespace shader_test
