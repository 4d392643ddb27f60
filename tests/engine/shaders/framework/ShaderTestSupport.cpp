#include "tests/engine/shaders/framework/ShaderTestSupport.h"

#include "engine/core/NiMainLibrary.h"
#include "engine/core/NiObjectStream.h"
#include "engine/render/NiDX9RendererLibrary.h"
#include "engine/render/NiRenderLibrary.h"
#include "engine/render/image/NiRenderImageLibrary.h"
#include "engine/scene/NiCamera.h"
#include "engine/scene/NiPropertySet.h"
#include "engine/scene/NiVertexColorProperty.h"
#include "engine/scene/NiSceneLibrary.h"
#include "tests/platform/gfx/GfxTestUtil.h"

#include <cstdio>
#include <cstdlib>

namespace shader_test
{
NiImplementTypeInfo(TestShader, NiD3DShaderInterface)

NiSourceTexturePtr MakeTexture(std::uint32_t uiSide, std::uint32_t uiColor, bool bMipmapped)
{
    std::uint32_t uiLevels = 1;
    NiPixelDataPtr spImage = new NiPixelData(uiSide, uiSide, NiPixelFormat::RGBA32, uiLevels);
    for (std::uint32_t uiLevel = 0; uiLevel < uiLevels; ++uiLevel)
    {
        std::uint8_t* puc = spImage->GetPixels(uiLevel);
        for (std::uint32_t ui = 0; ui + 3 < spImage->GetSizeInBytes(uiLevel); ui += 4)
        {
            // RGBA32 keeps red first.
            puc[ui + 0] = static_cast<std::uint8_t>(uiColor >> 16);
            puc[ui + 1] = static_cast<std::uint8_t>(uiColor >> 8);
            puc[ui + 2] = static_cast<std::uint8_t>(uiColor);
            puc[ui + 3] = static_cast<std::uint8_t>(uiColor >> 24);
        }
    }
    NiTexture::FormatPrefs kPrefs;
    kPrefs.m_ePixelLayout = NiTexture::FormatPrefs::TRUE_COLOR_32;
    kPrefs.m_eMipMapped = bMipmapped ? NiTexture::FormatPrefs::YES : NiTexture::FormatPrefs::NO;
    return NiSourceTexture::CreateFromPixelData(spImage, kPrefs);
}

std::vector<Report> ShaderTest::ms_kReports;
int ShaderTest::ms_iReportResult = 0;

namespace
{
gfx::IDirect3D9* CreateNullTop(std::uint32_t uiVersion)
{
    return gfx::Direct3DCreate9(uiVersion, gfx::BackendKind::Null);
}

gfx::IDirect3D9* CreateGlTop(std::uint32_t uiVersion)
{
    return gfx::Direct3DCreate9(uiVersion, gfx::BackendKind::Gl);
}
} // namespace

void ShaderTest::SetUp()
{
    NiMainLibrary::Reset();
    NiSceneLibraryRegister();
    NiRenderLibraryRegister();
    NiRenderImageLibraryRegister();
    NiMainLibrary::Init();
    NiPropertySet::ResetDefaults();
    NiDX9Renderer::ResetStatics();
    NiRenderer::ClearRenderer();
    NiDX9RendererLibraryReset();
    NiDX9RendererLibraryStartup();
    NiD3DShaderFactory::ResetUnnamedCounter();
    ms_kReports.clear();
    ms_iReportResult = 0;
    NiShaderFactory::SetErrorCallback(+[](const char* pcText, std::uint32_t uiCode, bool) {
        ms_kReports.push_back({pcText, uiCode});
        return ms_iReportResult;
    });
    m_uiLive = NiRefObject::GetTotalObjectCount();
}

void ShaderTest::TearDown()
{
    m_spRenderer = nullptr;
    NiDX9RendererLibraryReset();
    NiDX9Renderer::ResetStatics();
    NiRenderer::ClearRenderer();
    NiPropertySet::ResetDefaults();
    NiMainLibrary::Reset();
    NiObjectStream::StaticShutdown();
}

void ShaderTest::CreateRenderer(gfx::BackendKind eKind, std::int32_t iFBMode, std::uint32_t uiDeviceDesc)
{
    gfxtest::UseDriverFor(eKind);
    NiDX9Renderer::SetDirect3DCreateFunction(eKind == gfx::BackendKind::Gl ? &CreateGlTop : &CreateNullTop);
    if (NiDX9Renderer::LoadD3D9() != 0)
    {
        if (eKind == gfx::BackendKind::Gl && gfxtest::CallerDriver() == "dummy")
            GTEST_SKIP() << "SDL_VIDEODRIVER=dummy offers no OpenGL";
        FAIL() << "no device top object";
    }
    m_spRenderer = NiDX9Renderer::Create(64, 48, 0, nullptr, nullptr, 0, uiDeviceDesc,
                                         NiDX9Renderer::FBFMT_UNKNOWN, 0, NiDX9Renderer::PRESENT_INTERVAL_ONE,
                                         NiDX9Renderer::SWAPEFFECT_DEFAULT, iFBMode);
    ASSERT_NE(m_spRenderer, nullptr) << NiDX9Renderer::GetLastErrorString();
}

std::vector<Report> ShaderTest::TakeReports()
{
    std::vector<Report> kReports;
    kReports.swap(ms_kReports);
    return kReports;
}

std::vector<std::string> ShaderTest::TakeErrorTexts()
{
    std::vector<std::string> kTexts;
    for (const Report& kReport : TakeReports())
    {
        EXPECT_EQ(kReport.m_uiCode, 1u);
        kTexts.push_back(kReport.m_kText);
    }
    return kTexts;
}
std::string MakeTempFolder(const char* pcPrefix)
{
    std::string kTemplate = std::string("/tmp/") + pcPrefix + "-XXXXXX";
    return mkdtemp(kTemplate.data()) != nullptr ? kTemplate : std::string();
}

void WriteFile(const std::string& kPath, const void* pvBytes, std::size_t uiSize)
{
    std::FILE* pkFile = std::fopen(kPath.c_str(), "wb");
    ASSERT_NE(pkFile, nullptr) << kPath;
    std::fwrite(pvBytes, 1, uiSize, pkFile);
    std::fclose(pkFile);
}

void AttachUnlitVertexColors(NiAVObject& kObject)
{
    NiRefPtr<NiVertexColorProperty> spColors = new NiVertexColorProperty;
    spColors->SetSourceMode(NiVertexColorProperty::SOURCE_EMISSIVE);
    spColors->SetLightingMode(NiVertexColorProperty::LIGHTING_E);
    kObject.AttachProperty(spColors);
}

bool DrawOrthographic(NiRenderer& kRenderer, NiGeometry& kObject, const NiColorRGBA& kBackground)
{
    NiViewFrustum kFrustum;
    kFrustum.Set(-1.0f, 1.0f, 1.0f, -1.0f, 1.0f, 10.0f, true);
    kRenderer.SetCameraData(NiVec3(0, 0, 5), NiVec3(0, 0, -1), NiVec3(0, 1, 0), NiVec3(1, 0, 0), kFrustum,
                            NiRect<float>(0.0f, 1.0f, 1.0f, 0.0f));
    kRenderer.SetBackgroundColor(kBackground);
    if (!kRenderer.BeginScene())
        return false;
    kRenderer.ClearBuffer(nullptr, NiRenderer::CLEAR_BACKBUFFER | NiRenderer::CLEAR_ZBUFFER);
    kObject.RenderImmediate(&kRenderer);
    kRenderer.EndScene();
    return true;
}

std::string ShaderTest::TakeFirstErrorText()
{
    const std::vector<std::string> kTexts = TakeErrorTexts();
    return kTexts.empty() ? std::string() : kTexts.front();
}
} // namespace shader_test
