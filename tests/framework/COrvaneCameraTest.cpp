#include "framework/COrvaneCamera.h"

#include "engine/render/image/NiFont.h"
#include "engine/scene/NiCamera.h"
#include "engine/scene/NiScreenSpaceCamera.h"
#include "framework/COrvaneRenderer.h"
#include "framework/COrvaneSceneLink.h"
#include "framework/COrvaneWindow.h"
#include "tests/framework/UiTestSupport.h"

#include <gtest/gtest.h>

namespace
{
class COrvaneCameraTest : public UiTest
{
protected:
    static void WriteClipPlanes(const char* pcBetween)
    {
        WriteFileBytes("setup.xml", std::string("<Game_Data>\r\n<NearClipPlane>\r\n2\r\n</NearClipPlane>\r\n") +
                                        pcBetween +
                                        "<FarClipPlane>\r\n5000\r\n</FarClipPlane>\r\n<FogClipPlane>\r\n900\r\n"
                                        "</FogClipPlane>\r\n</Game_Data>\r\n");
        COrvaneApplication::LoadSettings();
    }
};
} // namespace

TEST_F(COrvaneCameraTest, SettingsGiveTheFarPlaneOnlyRightAfterTheNearOne)
{
    WriteClipPlanes("");
    COrvaneCamera kCamera;
    EXPECT_EQ(kCamera.GetEngineCamera(), nullptr);
    ASSERT_TRUE(kCamera.LoadSettings(1024.0f, 768.0f, 1.0f));
    NiCamera* pkEngine = kCamera.GetEngineCamera();
    ASSERT_NE(pkEngine, nullptr);
    EXPECT_FLOAT_EQ(pkEngine->GetViewFrustum().m_fFar, 5000.0f);
    EXPECT_FLOAT_EQ(pkEngine->GetViewFrustum().m_fLeft, -0.25f);
    EXPECT_FLOAT_EQ(pkEngine->GetViewFrustum().m_fTop, 0.1875f);
    EXPECT_EQ(pkEngine->GetViewPort().m_top, 1.0f);
    EXPECT_FLOAT_EQ(kCamera.GetAngleC(), -1.5707964f);
    const NiVec3& kPosition = kCamera.GetWorldPosition();
    EXPECT_FLOAT_EQ(kPosition.x, -100.0f);
    EXPECT_FLOAT_EQ(kPosition.y, 0.0f);
    // A quarter turn about z: the view direction (column 0) points down y.
    EXPECT_NEAR(kCamera.GetViewDirection().x, 0.0f, 1e-6f);
    EXPECT_NEAR(std::abs(kCamera.GetViewDirection().y), 1.0f, 1e-6f);

    WriteClipPlanes("<Other>\r\n1\r\n</Other>\r\n");
    COrvaneCamera kSecond;
    ASSERT_TRUE(kSecond.LoadSettings(1024.0f, 768.0f, 1.0f));
    EXPECT_NE(kSecond.GetEngineCamera()->GetViewFrustum().m_fFar, 5000.0f);
}

TEST_F(COrvaneCameraTest, ProvideFillsOnlyEmptySlots)
{
    COrvaneCamera kCamera;
    ASSERT_TRUE(kCamera.LoadSettings(0.0f, 0.0f, 0.0f));
    NiCamera* pkSlot = nullptr;
    EXPECT_EQ(kCamera.ProvideCamera(pkSlot), 1);
    EXPECT_EQ(pkSlot, kCamera.GetEngineCamera());
    NiCamera kOther;
    pkSlot = &kOther;
    EXPECT_EQ(kCamera.ProvideCamera(pkSlot), 0);
    EXPECT_EQ(pkSlot, &kOther);

    COrvaneSceneLink kLink;
    NiScreenSpaceCamera kScreen;
    kLink.m_pkScreenCamera = &kScreen;
    EXPECT_EQ(kCamera.ProvideScene(kLink), 0);
    EXPECT_EQ(kLink.m_pkScreenCamera, &kScreen);
}

TEST_F(COrvaneCameraTest, TheScreenRootIsMadeOncePerProcessOnTheCamerasRenderer)
{
    EXPECT_FALSE(Camera().CreateScreenRoot()); // no engine camera yet
    EXPECT_EQ(Camera().GetScreenWidth(), 0u);
    StartRenderer();
    NiScreenSpaceCamera* pkScreen = Camera().GetScreenCamera();
    ASSERT_NE(pkScreen, nullptr);
    EXPECT_EQ(pkScreen->GetRenderer(), &Renderer());
    EXPECT_EQ(Camera().GetEngineCamera()->GetRenderer(), &Renderer());
    EXPECT_EQ(Camera().GetScreenWidth(), Renderer().GetWidth());
    EXPECT_EQ(Camera().GetScreenHeight(), Renderer().GetHeight());
    COrvaneSceneLink kLink;
    EXPECT_EQ(Camera().ProvideScene(kLink), 1);
    EXPECT_EQ(kLink.m_pkScreenCamera, pkScreen);

    CZelmarCamera kLater;
    ASSERT_TRUE(kLater.LoadSettings(0.0f, 0.0f, 0.0f));
    EXPECT_FALSE(kLater.CreateScreenRoot());
    EXPECT_EQ(kLater.GetScreenCamera(), nullptr);
    COrvaneCamera::ResetScreenRootFlag();
    EXPECT_TRUE(kLater.CreateScreenRoot());
}

TEST_F(COrvaneCameraTest, ACameraKeepsItsFirstRenderer)
{
    StartRenderer();
    COrvaneRenderer& kHolder = *COrvaneApplication::Get()->GetWindow()->GetRenderer();
    EXPECT_FALSE(AttachRendererToCamera(Camera(), kHolder));
    EXPECT_EQ(Camera().GetEngineCamera()->GetRenderer(), &Renderer());

    COrvaneCamera kEmpty;
    EXPECT_FALSE(AttachRendererToCamera(kEmpty, kHolder)); // nothing to bind

    COrvaneSceneLink kLink;
    NiCamera kCamera;
    kLink.m_pkRenderer = &Renderer();
    EXPECT_FALSE(kHolder.AttachTo(kLink));
    kLink.m_pkRenderer = nullptr;
    EXPECT_TRUE(kHolder.AttachTo(kLink));
    EXPECT_EQ(kLink.m_pkRenderer, &Renderer());

    NiRefPtr<NiFont> spFont;
    EXPECT_FALSE(LoadFont("missing.nff", spFont, kHolder));
    EXPECT_EQ(spFont, nullptr);
}

TEST_F(COrvaneCameraTest, ResetsClearTheControlFields)
{
    CZelmarCamera& kCamera = Camera();
    kCamera.m_uiMode = COrvaneCamera::MODE_MOVING;
    kCamera.m_kMove = NiVec3(1.0f, 2.0f, 3.0f);
    kCamera.m_fSpeed = 0.5f;
    kCamera.m_fMaxPitch = 3.0f;
    kCamera.Reset(); // the game-style reset: speed and limits only
    EXPECT_EQ(kCamera.m_fSpeed, 0.0f);
    EXPECT_EQ(kCamera.m_fMaxPitch, 1.5f);
    EXPECT_EQ(kCamera.m_fMinPitch, 0.1f);
    EXPECT_EQ(kCamera.m_uiMode, COrvaneCamera::MODE_MOVING);
    kCamera.COrvaneCamera::Reset();
    EXPECT_EQ(kCamera.m_uiMode, COrvaneCamera::MODE_IDLE);
    EXPECT_EQ(kCamera.m_kMove, NiVec3());
}
