#include "tools/COrvaneDemoEffect.h"

#include "engine/core/NiObjectStream.h"
#include "engine/render/NiDX9Renderer.h"
#include "engine/render/NiDX9RendererLibrary.h"
#include "engine/scene/NiAlphaProperty.h"
#include "engine/scene/NiGeometry.h"
#include "engine/scene/NiNode.h"
#include "engine/shaders/effect/NiD3DXEffectFile.h"
#include "engine/shaders/effect/NiD3DXEffectShaderLib.h"
#include "engine/shaders/framework/NiD3DShaderFactory.h"
#include "framework/COrvaneShaderFactory.h"
#include "framework/COrvaneSystem.h"
#include "tests/tools/DemoTestSupport.h"
#include "tools/COrvaneDemoData.h"
#include "tools/COrvaneDemoScene.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

namespace
{
gfx::IDirect3D9* CreateNullTop(std::uint32_t uiVersion)
{
    return gfx::Direct3DCreate9(uiVersion, gfx::BackendKind::Null);
}

// The demo data with a renderer on the `null` device, as the game has one
// when its shader start-up runs.
class COrvaneDemoEffectTest : public demotest::EngineFolderTest
{
protected:
    COrvaneDemoEffectTest() : EngineFolderTest("effect", {.m_bRenderImage = true, .m_bRender = true}) {}
    void SetUp() override
    {
        EngineFolderTest::SetUp();
        m_kPrevious = std::filesystem::current_path();
        COrvaneShaderFactory::Set(nullptr);
        NiD3DShaderFactory::Create();
        NiDX9RendererLibraryStartup();
        NiDX9Renderer::SetDirect3DCreateFunction(&CreateNullTop);
        ASSERT_EQ(NiDX9Renderer::LoadD3D9(), 0);
        m_spRenderer = NiDX9Renderer::Create(64, 48, 0, nullptr, nullptr, 0, NiDX9Renderer::DEVDESC_PURE,
                                             NiDX9Renderer::FBFMT_UNKNOWN, 0, NiDX9Renderer::PRESENT_INTERVAL_ONE,
                                             NiDX9Renderer::SWAPEFFECT_DEFAULT, NiDX9Renderer::FBMODE_DEFAULT);
        ASSERT_NE(m_spRenderer, nullptr);
    }
    void TearDown() override
    {
        if (NiD3DShaderFactory::GetD3DShaderFactory() != nullptr)
            NiD3DShaderFactory::GetD3DShaderFactory()->RemoveAllLibraries();
        NiD3DXEffectShaderLib::ReleaseEffectFileList();
        NiD3DXEffectFactory::Shutdown();
        m_spRenderer = nullptr;
        NiDX9RendererLibraryReset();
        NiDX9Renderer::ResetStatics();
        NiRenderer::ClearRenderer();
        NiD3DShaderFactory::Destroy();
        std::error_code kError;
        std::filesystem::current_path(m_kPrevious, kError);
        EngineFolderTest::TearDown();
    }

    std::filesystem::path m_kPrevious;
    NiDX9RendererPtr m_spRenderer;
};
} // namespace

// The shader start-up in the demo data now finds an effect file: the effect
// library loads, its one technique compiled on the device, and it validates
// there (fixed-function states only).
TEST_F(COrvaneDemoEffectTest, TheEffectLibraryLoadsTheDemoEffect)
{
    ASSERT_TRUE(BuildDemoData(m_kFolder.string()));
    std::filesystem::current_path(m_kFolder);

    COrvaneSystem kSystem;
    kSystem.CreateShaderSetup();
    testing::internal::CaptureStderr();
    EXPECT_TRUE(kSystem.LoadShaders());
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "");

    auto* pkLibrary = static_cast<NiD3DXEffectShaderLib*>(
        NiD3DShaderFactory::GetD3DShaderFactory()->FindLibrary("NiD3DXEffectShaderLib"));
    ASSERT_NE(pkLibrary, nullptr);
    ASSERT_EQ(pkLibrary->GetFileCount(), 1u);
    NiD3DXEffectFile* pkFile = pkLibrary->GetFileOfTechnique(DEMO_EFFECT_NAME);
    ASSERT_NE(pkFile, nullptr);
    EXPECT_NE(std::string(pkFile->GetName()).find(DEMO_EFFECT_FILE), std::string::npos);
    ASSERT_TRUE(pkFile->IsCreatedWithDevice());
    ASSERT_NE(pkFile->GetTechnique(DEMO_EFFECT_NAME, 0), nullptr);
    void* pvEffect = nullptr;
    ASSERT_EQ(pkFile->GetEffect()->QueryInterface(gfx::IID_ID3DXEffect, &pvEffect), gfx::D3D_OK);
    auto* pkEffect = static_cast<gfx::ID3DXEffect*>(pvEffect);
    EXPECT_EQ(pkEffect->ValidateTechnique(pkEffect->GetTechniqueByName(DEMO_EFFECT_NAME)), gfx::D3D_OK)
        << pkEffect->ValidationError();
    // One pass setting the pane's blend and its stage from the tint.
    gfx::D3DXTECHNIQUE_DESC kTechnique;
    ASSERT_EQ(pkEffect->GetTechniqueDesc(pkEffect->GetTechniqueByName(DEMO_EFFECT_NAME), &kTechnique), gfx::D3D_OK);
    EXPECT_EQ(kTechnique.Passes, 1u);
    // The program technique validates too: the device runs its programs.
    EXPECT_EQ(pkEffect->ValidateTechnique(pkEffect->GetTechniqueByName(DEMO_PROGRAM_EFFECT_NAME)), gfx::D3D_OK)
        << pkEffect->ValidationError();
    ASSERT_NE(pkFile->GetTechnique(DEMO_PROGRAM_EFFECT_NAME, 0), nullptr);
    pkEffect->Release();
}

// The demo scene has one geometry drawn by the effect: the pane, blended.
TEST_F(COrvaneDemoEffectTest, TheDemoSceneNamesTheEffectOnce)
{
    NiRefPtr<NiNode> spScene = demo_scene::Build();
    std::vector<NiGeometry*> kUsers;
    std::function<void(NiAVObject*)> Walk = [&](NiAVObject* pkObject) {
        if (auto* pkGeometry = NiDynamicCast<NiGeometry>(pkObject))
            if (pkGeometry->GetShader() != nullptr && pkGeometry->GetShader()->GetName() != nullptr &&
                std::string(pkGeometry->GetShader()->GetName()) == DEMO_EFFECT_NAME)
                kUsers.push_back(pkGeometry);
        if (auto* pkNode = NiDynamicCast<NiNode>(pkObject))
            for (std::uint32_t ui = 0; ui < pkNode->GetChildCount(); ++ui)
                if (pkNode->GetAt(ui) != nullptr)
                    Walk(pkNode->GetAt(ui));
    };
    Walk(spScene);
    ASSERT_EQ(kUsers.size(), 1u);
    const NiVec3 kCentre = kUsers[0]->GetWorldBound().m_kCenter;
    EXPECT_NEAR(kCentre.x, DEMO_GLASS_CENTRE.x, 1e-5f);
    EXPECT_NEAR(kCentre.y, DEMO_GLASS_CENTRE.y, 1e-5f);
    const auto* pkAlpha = NiDynamicCast<NiAlphaProperty>(kUsers[0]->GetProperty(NiProperty::ALPHA));
    ASSERT_NE(pkAlpha, nullptr);
    EXPECT_TRUE(pkAlpha->GetAlphaBlending());
}
