#include "framework/COrvaneCamera.h"

#include "engine/render/image/NiFont.h"
#include "engine/scene/NiCamera.h"
#include "engine/scene/NiScreenSpaceCamera.h"
#include "framework/COrvaneRenderer.h"
#include "framework/COrvaneSceneLink.h"
#include "framework/COrvaneWindow.h"
#include "tests/framework/UiTestSupport.h"

#include <gtest/gtest.h>

#include <cmath>
#include <utility>

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

TEST_F(COrvaneCameraTest, NearPlaneFollowsTheFarOneAndAnUnreadFarKeepsTheDefault)
{
    WriteClipPlanes("");
    COrvaneCamera kCamera;
    ASSERT_TRUE(kCamera.LoadSettings(0.0f, 0.0f, 0.0f));
    EXPECT_FLOAT_EQ(kCamera.GetEngineCamera()->GetViewFrustum().m_fNear, 0.5f); // 5000 / 10000
    EXPECT_TRUE(kCamera.GetEngineCamera()->GetViewFrustum().m_bOrtho == false);

    WriteFileBytes("setup.xml", "<Game_Data>\r\n<NearClipPlane>\r\n1\r\n</NearClipPlane>\r\n</Game_Data>\r\n");
    COrvaneApplication::LoadSettings();
    COrvaneCamera kMissing;
    ASSERT_TRUE(kMissing.LoadSettings(0.0f, 0.0f, 0.0f));
    EXPECT_FLOAT_EQ(kMissing.GetEngineCamera()->GetViewFrustum().m_fFar, 2.0f);
    EXPECT_FLOAT_EQ(kMissing.GetEngineCamera()->GetViewFrustum().m_fNear, 0.1f);
}

TEST_F(COrvaneCameraTest, TurnsSetOrAddTheirAnglesAndKeepAPivotInPlace)
{
    COrvaneCamera kCamera;
    ASSERT_TRUE(kCamera.LoadSettings(0.0f, 0.0f, 0.0f));
    NiCamera* pkEngine = kCamera.GetEngineCamera();

    kCamera.RotateB(nullptr, 0.3f, 0);
    NiMatrix3x3 kExpected;
    kExpected.MakeYRotation(-0.3f);
    EXPECT_TRUE(pkEngine->GetRotate() == kExpected);
    EXPECT_FLOAT_EQ(kCamera.GetAngleB(), 0.3f);
    kCamera.RotateB(nullptr, 0.2f, 2);
    EXPECT_FLOAT_EQ(kCamera.GetAngleB(), 0.5f);
    NiMatrix3x3 kSecond;
    kSecond.MakeYRotation(-0.2f);
    kExpected = kExpected * kSecond;
    for (int r = 0; r < 3; ++r)
        for (int c = 0; c < 3; ++c)
            EXPECT_NEAR(pkEngine->GetRotate().GetEntry(r, c), kExpected.GetEntry(r, c), 1e-6f);

    // RotateA turns by the angle about the axis a quarter turn about y
    // carries x into: that axis stays, and a vector across it turns by 0.4.
    kCamera.RotateA(nullptr, 0.4f, 0);
    EXPECT_FLOAT_EQ(kCamera.GetAngleA(), 0.4f);
    NiMatrix3x3 kQuarter;
    kQuarter.MakeYRotation(1.5707964f);
    const NiVec3 kAxis = kQuarter * NiVec3(1.0f, 0.0f, 0.0f);
    const NiVec3 kKept = pkEngine->GetRotate() * kAxis;
    EXPECT_NEAR((kKept - kAxis).Length(), 0.0f, 1e-5f);
    const NiVec3 kAcross(0.0f, 1.0f, 0.0f);
    EXPECT_NEAR((pkEngine->GetRotate() * kAcross).Dot(kAcross), std::cos(0.4f), 1e-5f);

    const NiVec3 kPivot(10.0f, 0.0f, 5.0f);
    kCamera.RotateC(&kPivot, 1.0f, 0);
    const NiVec3 kWorldPivot = pkEngine->GetRotate() * kPivot + pkEngine->GetTranslate();
    EXPECT_NEAR(kWorldPivot.x, kPivot.x, 1e-4f);
    EXPECT_NEAR(kWorldPivot.y, kPivot.y, 1e-4f);
    EXPECT_NEAR(kWorldPivot.z, kPivot.z, 1e-4f);
    kCamera.ResetAngles();
    EXPECT_EQ(kCamera.GetAngleA(), 0.0f);
    EXPECT_EQ(kCamera.GetAngleC(), 0.0f);
}

TEST_F(COrvaneCameraTest, MovesFollowTheFlattenedViewAndAskTheValidator)
{
    COrvaneCamera kCamera;
    ASSERT_TRUE(kCamera.LoadSettings(0.0f, 0.0f, 0.0f));
    NiCamera* pkEngine = kCamera.GetEngineCamera();
    NiMatrix3x3 kIdentity;
    kIdentity.MakeIdentity();
    pkEngine->SetRotate(kIdentity);
    kCamera.SetPosition(NiVec3(0.0f, 10.0f, 0.0f));

    ASSERT_TRUE(kCamera.Move(NiVec3(1.0f, 2.0f, 3.0f), {}, true));
    EXPECT_EQ(pkEngine->GetTranslate(), NiVec3(1.0f, 12.0f, 3.0f));

    // Tilt the view so that its direction has a y part: the move stays flat.
    NiMatrix3x3 kTilt;
    kTilt.MakeZRotation(0.5f);
    pkEngine->SetRotate(kTilt);
    pkEngine->Update(0.0f);
    const NiVec3 kBefore = pkEngine->GetTranslate();
    ASSERT_TRUE(kCamera.Move(NiVec3(0.0f, 0.0f, 2.0f), {}, false));
    const NiVec3 kStep = pkEngine->GetTranslate() - kBefore;
    EXPECT_NEAR(kStep.y, 0.0f, 1e-6f);
    EXPECT_NEAR(kStep.Length(), 2.0f, 1e-5f);
    NiVec3 kFlat = pkEngine->GetWorldDirection();
    kFlat.y = 0.0f;
    kFlat.Normalize();
    EXPECT_NEAR(kStep.Dot(kFlat), 2.0f, 1e-5f);

    // Up moves are straight along y, the sign of the up vector's y.
    const NiVec3 kHigh = pkEngine->GetTranslate();
    ASSERT_TRUE(kCamera.Move(NiVec3(0.0f, 3.0f, 0.0f), {}, false));
    const float fSign = pkEngine->GetWorldUpVector().y > 0.0f ? 1.0f : -1.0f;
    EXPECT_NEAR(pkEngine->GetTranslate().y - kHigh.y, 3.0f * fSign, 1e-5f);
    EXPECT_NEAR(pkEngine->GetTranslate().x, kHigh.x, 1e-6f);

    NiVec3 kAsked;
    const NiVec3 kKept = pkEngine->GetTranslate();
    EXPECT_FALSE(kCamera.Move(NiVec3(5.0f, 0.0f, 0.0f),
                              [&kAsked](const NiVec3& k)
                              {
                                  kAsked = k;
                                  return false;
                              },
                              true));
    EXPECT_EQ(pkEngine->GetTranslate(), kKept);
    EXPECT_EQ(kAsked, kKept + NiVec3(5.0f, 0.0f, 0.0f));

    // A validator may also correct the destination.
    EXPECT_TRUE(kCamera.Move(NiVec3(5.0f, 0.0f, 0.0f),
                             [](NiVec3& k)
                             {
                                 k.x = 1.0f;
                                 return true;
                             },
                             true));
    EXPECT_EQ(pkEngine->GetTranslate(), NiVec3(1.0f, kKept.y, kKept.z));
}

TEST_F(COrvaneCameraTest, GameCameraUpdateTurnsRaisesAndRampsTheSpeed)
{
    struct Raising : CZelmarCamera
    {
        void MoveVertical(const NiVec3& k) override { m_kRaised.push_back(k); }
        std::vector<NiVec3> m_kRaised;
    } kCamera;
    ASSERT_TRUE(kCamera.LoadSettings(0.0f, 0.0f, 0.0f));

    // Pitch limits 0.1 .. 1.5; mode 16 refuses every turn.
    kCamera.ClampedRotateA(nullptr, 0.05f, 2);
    EXPECT_EQ(kCamera.GetAngleA(), 0.0f);
    kCamera.ClampedRotateA(nullptr, 1.0f, 2);
    EXPECT_FLOAT_EQ(kCamera.GetAngleA(), 1.0f);
    kCamera.ClampedRotateA(nullptr, 0.6f, 2);
    EXPECT_FLOAT_EQ(kCamera.GetAngleA(), 1.0f);
    kCamera.m_uiMode = COrvaneCamera::MODE_PITCH_LOCKED;
    kCamera.ClampedRotateA(nullptr, 0.2f, 2);
    EXPECT_FLOAT_EQ(kCamera.GetAngleA(), 1.0f);

    kCamera.m_uiMode = COrvaneCamera::MODE_TURNING;
    kCamera.m_kTurn = NiVec3(2.0f, 3.0f, 0.0f);
    kCamera.Update();
    EXPECT_FLOAT_EQ(kCamera.GetAngleA(), 1.2f);
    EXPECT_FLOAT_EQ(kCamera.GetAngleB(), -0.3f);
    EXPECT_EQ(kCamera.m_kTurn, NiVec3());

    kCamera.m_uiMode = COrvaneCamera::MODE_RAISING;
    kCamera.m_kMove = NiVec3(0.0f, 4.0f, 0.0f);
    kCamera.Update();
    ASSERT_EQ(kCamera.m_kRaised.size(), 1u);
    EXPECT_EQ(kCamera.m_kRaised[0], NiVec3(0.0f, -4.0f, 0.0f));
    EXPECT_EQ(kCamera.m_kMove, NiVec3()); // not held

    kCamera.m_uiMode = COrvaneCamera::MODE_MOVING;
    kCamera.m_ucHeld = 1;
    kCamera.m_kMove = NiVec3(0.0f, 0.0f, 1.0f);
    Game().Update(0.04f);
    int iAsked = 0;
    ASSERT_TRUE(kCamera.LoadSettings(
        [&iAsked](const NiVec3&)
        {
            ++iAsked;
            return true;
        }));
    const NiVec3 kStart = kCamera.GetEngineCamera()->GetTranslate();
    kCamera.Update();
    EXPECT_FLOAT_EQ(kCamera.m_fSpeed, 0.04f);
    EXPECT_NEAR((kCamera.GetEngineCamera()->GetTranslate() - kStart).Length(), 0.04f, 1e-5f);
    for (int i = 0; i < 40; ++i)
        kCamera.Update();
    EXPECT_EQ(kCamera.m_fSpeed, 1.0f);
    EXPECT_EQ(iAsked, 41);
    EXPECT_EQ(kCamera.m_kMove, NiVec3(0.0f, 0.0f, 1.0f)); // held
}

TEST_F(COrvaneCameraTest, FrameCallsReachTheRendererAndClearKindsPassTheirFlags)
{
    StartRenderer();
    Renderer().m_kCalls.clear();
    CZelmarCamera& kCamera = Camera();
    EXPECT_EQ(kCamera.BeginRender(), 1);
    EXPECT_EQ(kCamera.ClearViewport(0, 1), 1);
    EXPECT_EQ(kCamera.ClearViewport(0, 2), 1);
    EXPECT_EQ(kCamera.ClearViewport(0, 3), 1);
    EXPECT_EQ(kCamera.ClearViewport(0, 4), 1);
    EXPECT_EQ(kCamera.EndRender(), 1);
    EXPECT_EQ(kCamera.DisplayFrame(), 1);
    const std::vector<std::string> kExpected = {"BeginScene",     "ClearBuffer rect 1", "ClearBuffer rect 4",
                                                "ClearBuffer rect 5", "EndScene",       "DisplayFrame"};
    EXPECT_EQ(Renderer().m_kCalls, kExpected);
    // Kind 2 clears depth, kind 3 colour and depth, as the renderer numbers them.
    EXPECT_EQ(NiRenderer::CLEAR_ZBUFFER, 4u);
    EXPECT_EQ(NiRenderer::CLEAR_BACKBUFFER | NiRenderer::CLEAR_ZBUFFER, 5u);

    COrvaneCamera kBare;
    EXPECT_EQ(kBare.BeginRender(), 0);
    EXPECT_EQ(kBare.RenderScene(), 0);
    EXPECT_EQ(kBare.ClearViewport(0, 3), 0);
}

namespace
{
TEST_F(COrvaneCameraTest, AProjectionKeepsNearAndFarAndRefusesEmptyViews)
{
    COrvaneCamera kCamera;
    EXPECT_FALSE(kCamera.SetProjection(0.5f, 1.0f)); // no engine camera yet
    ASSERT_TRUE(kCamera.LoadSettings(0.0f, 0.0f, 0.0f));
    const NiViewFrustum kBefore = kCamera.GetEngineCamera()->GetViewFrustum();
    ASSERT_TRUE(kCamera.SetProjection(0.5f, 2.0f));
    const NiViewFrustum& kAfter = kCamera.GetEngineCamera()->GetViewFrustum();
    EXPECT_EQ(kAfter.m_fLeft, -1.0f);
    EXPECT_EQ(kAfter.m_fRight, 1.0f);
    EXPECT_EQ(kAfter.m_fTop, 0.5f);
    EXPECT_EQ(kAfter.m_fBottom, -0.5f);
    EXPECT_EQ(kAfter.m_fNear, kBefore.m_fNear);
    EXPECT_EQ(kAfter.m_fFar, kBefore.m_fFar);
    for (const auto& [fTan, fAspect] : {std::pair{0.0f, 1.0f}, std::pair{0.5f, -1.0f}, std::pair{NAN, 1.0f}})
    {
        EXPECT_FALSE(kCamera.SetProjection(fTan, fAspect));
        EXPECT_EQ(kCamera.GetEngineCamera()->GetViewFrustum().m_fTop, 0.5f);
    }
}
} // namespace
