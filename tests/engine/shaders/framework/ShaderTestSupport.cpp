#include "tests/engine/shaders/framework/ShaderTestSupport.h"

#include "engine/core/NiMainLibrary.h"
#include "engine/core/NiObjectStream.h"
#include "engine/render/NiDX9RendererLibrary.h"
#include "engine/scene/NiPropertySet.h"
#include "engine/scene/NiSceneLibrary.h"
#include "tests/platform/gfx/GfxTestUtil.h"

namespace shader_test
{
NiImplementTypeInfo(TestShader, NiD3DShaderInterface)

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
}

void ShaderTest::CreateRenderer(gfx::BackendKind eKind)
{
    gfxtest::UseDriverFor(eKind);
    NiDX9Renderer::SetDirect3DCreateFunction(eKind == gfx::BackendKind::Gl ? &CreateGlTop : &CreateNullTop);
    if (NiDX9Renderer::LoadD3D9() != 0)
    {
        if (eKind == gfx::BackendKind::Gl && gfxtest::CallerDriver() == "dummy")
            GTEST_SKIP() << "SDL_VIDEODRIVER=dummy offers no OpenGL";
        FAIL() << "no device top object";
    }
    m_spRenderer = NiDX9Renderer::Create(64, 48, 0, nullptr, nullptr);
    ASSERT_NE(m_spRenderer, nullptr) << NiDX9Renderer::GetLastErrorString();
}

std::vector<Report> ShaderTest::TakeReports()
{
    std::vector<Report> kReports;
    kReports.swap(ms_kReports);
    return kReports;
}
} // namespace shader_test
