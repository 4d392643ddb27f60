// The placement marker's tints as the gl device draws them: a marker over
// the game's floor display (a white flat quad), both lit by the demo
// levels' soft ambient light alone, read back from the back buffer.
#include "engine/animation/NiAnimationLibrary.h"
#include "engine/core/NiMainLibrary.h"
#include "engine/core/NiObjectStream.h"
#include "engine/render/NiDX9Renderer.h"
#include "engine/render/NiDX9RendererLibrary.h"
#include "engine/render/NiRenderLibrary.h"
#include "engine/render/image/NiImageFileConverter.h"
#include "engine/render/image/NiRenderImageLibrary.h"
#include "engine/scene/NiCamera.h"
#include "engine/scene/NiLight.h"
#include "engine/scene/NiNode.h"
#include "engine/scene/NiSceneGraphLibrary.h"
#include "engine/scene/NiSceneLibrary.h"
#include "engine/scene/NiTriShape.h"
#include "engine/shaders/framework/NiD3DShaderFactory.h"
#include "framework/COrvaneSceneLink.h"
#include "framework/COrvaneSceneNode.h"
#include "game/shell/ui/CBuildPlacement.h"
#include "tests/game/shell/ShellGlTestSupport.h"
#include "tools/COrvaneDemoLevel.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <memory>

namespace
{
class CBuildPlacementTintTest : public testing::Test
{
protected:
    static constexpr std::uint32_t WIDTH = 64;
    static constexpr std::uint32_t HEIGHT = 48;
    static constexpr shell_gl_test::EngineParts ENGINE_PARTS{.m_bAnimation = true, .m_bShaderFactory = true};

    void SetUp() override
    {
        shell_gl_test::StartEngine(ENGINE_PARTS);
        shell_gl_test::CreateGlRenderer(WIDTH, HEIGHT, m_spRenderer);
        if (IsSkipped() || HasFatalFailure())
            return;
    }

    void TearDown() override
    {
        shell_gl_test::StopEngine(ENGINE_PARTS, m_spRenderer);
    }

    // The middle pixel (red, green, blue) of a marker with the tint lying just
    // over the floor display, seen from straight above.
    std::array<int, 3> DrawMarker(const CBuildPlacement::Tint& kTint)
    {
        std::unique_ptr<COrvaneSceneNode> pkFloor = CreateFlatQuad(40.0f, 40.0f);
        std::unique_ptr<COrvaneSceneNode> pkMarker = CreateFlatQuad(4.0f, 4.0f);
        if (!pkFloor || !pkMarker)
            return {-1, -1, -1};
        CBuildPlacement::ApplyTint(*pkMarker, kTint);
        // Flat quads lie across x and y once their scene root has turned them.
        pkMarker->GetSceneRoot()->SetTranslate(NiVec3(0.0f, 0.0f, 0.1f));
        NiRefPtr<NiNode> spRoot = new NiNode;
        spRoot->AttachChild(pkFloor->GetSceneRoot());
        spRoot->AttachChild(pkMarker->GetSceneRoot());
        auto* pkDaylight = new NiAmbientLight;
        pkDaylight->SetAmbientColor(NiColorRGB{DEMO_DAYLIGHT[0], DEMO_DAYLIGHT[1], DEMO_DAYLIGHT[2]});
        pkDaylight->SetDiffuseColor(NiColorRGB{0.0f, 0.0f, 0.0f});
        spRoot->AttachChild(pkDaylight);
        spRoot->AttachEffect(pkDaylight);
        spRoot->Update(0.0f);
        spRoot->UpdateProperties();
        spRoot->UpdateEffects();

        NiViewFrustum kFrustum;
        kFrustum.Set(-0.5f, 0.5f, 0.375f, -0.375f, 1.0f, 100.0f, false);
        m_spRenderer->SetCameraData(NiVec3(0.0f, 0.0f, 10.0f), NiVec3(0.0f, 0.0f, -1.0f), NiVec3(0.0f, 1.0f, 0.0f),
                                    NiVec3(1.0f, 0.0f, 0.0f), kFrustum, NiRect<float>(0.0f, 1.0f, 1.0f, 0.0f));
        EXPECT_TRUE(m_spRenderer->BeginScene());
        m_spRenderer->ClearBuffer(nullptr, NiRenderer::CLEAR_BACKBUFFER | NiRenderer::CLEAR_ZBUFFER);
        for (COrvaneSceneNode* pkNode : {pkFloor.get(), pkMarker.get()})
            if (auto* pkShape = NiDynamicCast<NiTriShape>(pkNode->GetRoot()->GetAt(0)))
                pkShape->RenderImmediate(m_spRenderer);
        m_spRenderer->EndScene();
        NiRefPtr<NiPixelData> spImage = m_spRenderer->CaptureBackBuffer(nullptr);
        spRoot->DetachChild(pkFloor->GetSceneRoot());
        spRoot->DetachChild(pkMarker->GetSceneRoot());
        if (spImage == nullptr)
            return {-1, -1, -1};
        const std::uint8_t* puc =
            spImage->GetPixels() + (std::size_t(HEIGHT / 2) * spImage->GetWidth() + WIDTH / 2) * 4;
        return {puc[2], puc[1], puc[0]};
    }

    NiDX9RendererPtr m_spRenderer;
};

// How far channel c stands above the larger of the other two.
int Lead(const std::array<int, 3>& kSeen, int c)
{
    return kSeen[c] - std::max(kSeen[(c + 1) % 3], kSeen[(c + 2) % 3]);
}
} // namespace

// Under the levels' soft ambient alone green and red came out dark olive and
// dark red; glowing, each leads its own channel by over a quarter of the range.
TEST_F(CBuildPlacementTintTest, AllowedDrawsClearlyGreenAndRefusedClearlyRedOverTheFloorDisplay)
{
    const std::array<int, 3> kGreen = DrawMarker(CBuildPlacement::VALID_TINT);
    const std::array<int, 3> kRed = DrawMarker(CBuildPlacement::INVALID_TINT);
    SCOPED_TRACE(testing::Message() << "green " << kGreen[0] << "," << kGreen[1] << "," << kGreen[2] << " red "
                                    << kRed[0] << "," << kRed[1] << "," << kRed[2]);
    EXPECT_GE(Lead(kGreen, 1), 64);
    EXPECT_GE(Lead(kRed, 0), 64);
    // Green as bright as the floor display's white under the light, or more.
    EXPECT_GE(kGreen[1], static_cast<int>(255.0f * DEMO_DAYLIGHT[1]));
}
