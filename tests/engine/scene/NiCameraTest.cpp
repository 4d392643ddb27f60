#include "engine/scene/NiCamera.h"

#include "engine/scene/NiAlphaAccumulator.h"
#include "engine/scene/NiAlphaProperty.h"
#include "engine/scene/NiScreenSpaceCamera.h"
#include "engine/scene/NiZBufferProperty.h"
#include "tests/engine/scene/RenderPathTestSupport.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <iterator>

namespace scene_test
{
namespace
{
class NiCameraTest : public RenderPathTest
{
protected:
    void TearDown() override
    {
        m_spRenderer = nullptr;
        RenderPathTest::TearDown();
    }

    FrameRenderer* Renderer(std::uint32_t uiWidth = 640, std::uint32_t uiHeight = 480)
    {
        m_spRenderer = new FrameRenderer;
        m_spRenderer->m_uiWidth = uiWidth;
        m_spRenderer->m_uiHeight = uiHeight;
        return m_spRenderer;
    }

    NiRefPtr<FrameRenderer> m_spRenderer;
};

// Row-vector product of the world-to-clip matrix with (p, 1), divided by w.
NiVec3 Clip(const NiCamera& kCamera, const NiVec3& kPoint)
{
    const float(&m)[4][4] = kCamera.GetWorldToCameraMatrix();
    float af[4];
    for (int r = 0; r < 4; ++r)
        af[r] = m[r][0] * kPoint.x + m[r][1] * kPoint.y + m[r][2] * kPoint.z + m[r][3];
    return NiVec3(af[0] / af[3], af[1] / af[3], af[2] / af[3]);
}

// Some turn and place away from the origin.
void Pose(NiCamera& kCamera)
{
    NiMatrix3x3 kTurn;
    kTurn.MakeAxisRotation(0.7f, NiVec3(1, 2, 2) / 3.0f);
    kCamera.SetRotate(kTurn);
    kCamera.SetTranslate(NiVec3(3, -4, 5));
    kCamera.Update(0.0f);
}

// The camera part of a record after the positioned object's.
Bytes CameraBody(std::uint32_t uiVersion, std::uint32_t uiScene, const std::vector<std::uint32_t>& kPolygons,
                 const std::vector<std::uint32_t>& kTextures, const std::vector<std::uint32_t>& kThird = {})
{
    Bytes k;
    if (uiVersion >= V(10, 0, 1, 2))
        k.U16(0x0123);
    k.F32(-0.25f).F32(0.75f).F32(0.5f).F32(-0.5f).F32(2).F32(50);
    if (uiVersion >= V(10, 0, 1, 5))
        k.U8(1);
    k.F32(0).F32(0.5f).F32(1).F32(0.25f).F32(1.5f);
    k.U32(uiScene);
    k.U32(static_cast<std::uint32_t>(kPolygons.size()));
    for (std::uint32_t ui : kPolygons)
        k.U32(ui);
    if (uiVersion >= V(4, 1, 0, 4))
    {
        k.U32(static_cast<std::uint32_t>(kTextures.size()));
        for (std::uint32_t ui : kTextures)
            k.U32(ui);
    }
    if (uiVersion >= V(10, 0, 1, 7) && uiVersion < V(10, 0, 1, 15))
    {
        k.U32(static_cast<std::uint32_t>(kThird.size()));
        for (std::uint32_t ui : kThird)
            k.U32(ui);
    }
    return k;
}

Bytes CameraRecord(std::uint32_t uiVersion, std::uint16_t usFlags, const Bytes& kBody)
{
    return NETBody(uiVersion, "camera", {}, NONE).Append(AVBody(uiVersion, usFlags, {})).Append(kBody);
}

// An empty screen polygon record: no vertices, no arrays, no properties.
Bytes EmptyPolygon(std::uint32_t uiVersion)
{
    Bytes k;
    k.U16(0);
    if (uiVersion >= V(4, 1, 0, 0))
        k.U8(0).U8(0);
    else
        k.U32(0).U32(0);
    return k.U32(0);
}

NiRefPtr<NiScreenPolygon> Triangle2D()
{
    const NiVec3 akVertex[3] = {{0, 0, 0}, {10, 0, 0}, {0, 10, 0}};
    return new NiScreenPolygon(3, akVertex, nullptr, nullptr);
}
} // namespace

TEST_F(NiCameraTest, DefaultsAndPlanes)
{
    NiCameraPtr sp = new NiCamera;
    const NiViewFrustum& f = sp->GetViewFrustum();
    EXPECT_EQ(f.m_fLeft, -0.5f);
    EXPECT_EQ(f.m_fRight, 0.5f);
    EXPECT_EQ(f.m_fTop, 0.5f);
    EXPECT_EQ(f.m_fBottom, -0.5f);
    EXPECT_EQ(f.m_fNear, 1.0f);
    EXPECT_EQ(f.m_fFar, 2.0f);
    EXPECT_FALSE(f.m_bOrtho);
    EXPECT_EQ(sp->GetViewPort().m_left, 0.0f);
    EXPECT_EQ(sp->GetViewPort().m_right, 1.0f);
    EXPECT_EQ(sp->GetViewPort().m_top, 1.0f);
    EXPECT_EQ(sp->GetViewPort().m_bottom, 0.0f);
    EXPECT_EQ(sp->GetActivePlaneMask(), 63u);
    EXPECT_EQ(sp->GetLODAdjust(), 1.0f);
    EXPECT_EQ(sp->GetCameraFlags(), 0);
    EXPECT_EQ(sp->GetScene(), nullptr);
    EXPECT_EQ(sp->GetRenderer(), nullptr);

    EXPECT_EQ(sp->GetWorldPlane(NiCamera::NEAR_PLANE), NiPlane(NiVec3(1, 0, 0), 1.0f));
    EXPECT_EQ(sp->GetWorldPlane(NiCamera::FAR_PLANE), NiPlane(NiVec3(-1, 0, 0), -2.0f));
    // Side planes lean outwards with the slopes and pass through the eye.
    const NiPlane& kLeft = sp->GetWorldPlane(NiCamera::LEFT_PLANE);
    EXPECT_EQ(kLeft.m_fConstant, 0.0f);
    EXPECT_NEAR(kLeft.Distance(NiVec3(1, 0, -0.5f)), 0.0f, 1e-6f);
    EXPECT_GT(kLeft.Distance(NiVec3(1, 0, 0)), 0.0f);
    EXPECT_GT(sp->GetWorldPlane(NiCamera::TOP_PLANE).Distance(NiVec3(1, 0, 0)), 0.0f);
    EXPECT_NEAR(sp->GetWorldPlane(NiCamera::TOP_PLANE).Distance(NiVec3(1, 0.5f, 0)), 0.0f, 1e-6f);

    NiViewerStringArray kStrings;
    sp->AppendViewerStrings(kStrings);
    bool bFrustum = false;
    for (std::uint32_t i = 0; i < kStrings.GetSize(); ++i)
    {
        const char* pcExpected = "m_kViewFrustum = (N=1,F=2,L=-0.5,R=0.5,T=0.5,B=-0.5,O=0)";
        bFrustum = bFrustum || std::strcmp(kStrings.GetAt(i), pcExpected) == 0;
        delete[] kStrings.GetAt(i);
    }
    EXPECT_TRUE(bFrustum);
}

TEST_F(NiCameraTest, ClipMatrixMapsNearFarAndCornersForBothKinds)
{
    for (bool bOrtho : {false, true})
    {
        SCOPED_TRACE(bOrtho);
        NiCameraPtr sp = new NiCamera;
        NiViewFrustum f;
        // An off-centre frustum: the shifts must land where they belong.
        f.Set(bOrtho ? 0.5f : -0.3f, bOrtho ? 64.5f : 0.7f, bOrtho ? 47.5f : 0.2f, bOrtho ? -0.5f : -0.6f, 2.0f,
              30.0f, bOrtho);
        sp->SetViewFrustum(f);
        Pose(*sp);
        const NiVec3 P = sp->GetWorldLocation();
        const NiVec3 D = sp->GetWorldDirection();
        const NiVec3 U = sp->GetWorldUpVector();
        const NiVec3 R = sp->GetWorldRightVector();
        for (float fDistance : {f.m_fNear, f.m_fFar})
        {
            const float fSide = bOrtho ? 1.0f : fDistance;
            const float fZ = fDistance == f.m_fNear ? 0.0f : 1.0f;
            ExpectNear(Clip(*sp, P + D * fDistance + (R * f.m_fLeft + U * f.m_fTop) * fSide), NiVec3(-1, 1, fZ), 1e-4f);
            ExpectNear(Clip(*sp, P + D * fDistance + (R * f.m_fRight + U * f.m_fBottom) * fSide), NiVec3(1, -1, fZ),
                       1e-4f);
        }
        EXPECT_FLOAT_EQ(sp->GetXScale(), 2.0f / (f.m_fRight - f.m_fLeft));
    }
}

TEST_F(NiCameraTest, WindowRaysThroughThePixelsOfTheViewport)
{
    NiCameraPtr sp = new NiCamera;
    NiVec3 kOrigin;
    NiVec3 kDir;
    EXPECT_FALSE(sp->WindowPointToRay(320, 240, kOrigin, kDir)); // no renderer
    sp->SetRenderer(Renderer(640, 480));
    sp->SetTranslate(NiVec3(1, 2, 3));
    sp->Update(0.0f);

    ASSERT_TRUE(sp->WindowPointToRay(320, 240, kOrigin, kDir));
    EXPECT_EQ(kOrigin, NiVec3(1, 2, 3));
    ExpectNear(kDir, NiVec3(1, 0, 0));
    // The right edge belongs to the viewport; one past it does not.
    ASSERT_TRUE(sp->WindowPointToRay(640, 0, kOrigin, kDir));
    ExpectNear(kDir, NiVec3(1, 0.5f, 0.5f) / std::sqrt(1.5f));
    EXPECT_FALSE(sp->WindowPointToRay(641, 0, kOrigin, kDir));
    EXPECT_FALSE(sp->WindowPointToRay(0, 481, kOrigin, kDir));
    EXPECT_FALSE(sp->WindowPointToRay(-1, 0, kOrigin, kDir));

    // The right half of the target only.
    sp->SetViewPort(NiRect<float>(0.5f, 1.0f, 1.0f, 0.0f));
    EXPECT_FALSE(sp->WindowPointToRay(100, 240, kOrigin, kDir));
    ASSERT_TRUE(sp->WindowPointToRay(320, 240, kOrigin, kDir));
    ExpectNear(kDir, NiVec3(1, 0, -0.5f) / std::sqrt(1.25f));
    sp->SetViewPort(NiRect<float>(0.5f, 0.5f, 1.0f, 0.0f));
    EXPECT_FALSE(sp->WindowPointToRay(320, 240, kOrigin, kDir)); // no width
}

TEST_F(NiCameraTest, ScreenSpaceCameraFitsTheTargetPixelForPixel)
{
    NiScreenSpaceCameraPtr sp = new NiScreenSpaceCamera;
    EXPECT_TRUE(sp->GetViewFrustum().m_bOrtho);
    ASSERT_NE(sp->GetScreenNode(), nullptr);
    EXPECT_EQ(sp->GetScreenNode()->GetTranslate(), NiVec3(0, 0, 1));
    EXPECT_FALSE(sp->FitToRenderer()); // no renderer
    sp->SetRenderer(Renderer(1024, 768));
    ASSERT_TRUE(sp->FitToRenderer());
    const NiViewFrustum& f = sp->GetViewFrustum();
    EXPECT_EQ(f.m_fLeft, 0.5f);
    EXPECT_EQ(f.m_fRight, 1024.5f);
    EXPECT_EQ(f.m_fTop, 767.5f);
    EXPECT_EQ(f.m_fBottom, -0.5f);
    EXPECT_EQ(f.m_fNear, 1.0f);
    EXPECT_EQ(f.m_fFar, 10000.0f);
    ASSERT_NE(sp->GetScreenNode(), nullptr);
    EXPECT_EQ(sp->GetScreenNode()->GetTranslate(), NiVec3(0, -768, 1));
    auto* pkZ = NiDynamicCast<NiZBufferProperty>(sp->GetScreenNode()->GetProperty(NiProperty::ZBUFFER));
    ASSERT_NE(pkZ, nullptr);
    EXPECT_FALSE(pkZ->GetZBufferTest());
    EXPECT_FALSE(pkZ->GetZBufferWrite());

    ExpectNear(sp->GetWorldRightVector(), NiVec3(1, 0, 0));
    ExpectNear(sp->GetWorldUpVector(), NiVec3(0, -1, 0));
    ExpectNear(sp->GetWorldDirection(), NiVec3(0, 0, 1));

    NiVec3 kOrigin;
    NiVec3 kDir;
    ASSERT_TRUE(sp->WindowPointToRay(100, 200, kOrigin, kDir));
    ExpectNear(kOrigin, NiVec3(100.5f, -567.5f, 0), 1e-3f);
    ExpectNear(kDir, NiVec3(0, 0, 1));
}

TEST_F(NiCameraTest, LookAtTurnsTowardsThePointOrChangesNothing)
{
    NiNodePtr spParent = new NiNode;
    NiMatrix3x3 kTurn;
    kTurn.MakeZRotation(0.5f);
    spParent->SetRotate(kTurn);
    NiCameraPtr sp = new NiCamera;
    spParent->AttachChild(sp);
    sp->SetTranslate(NiVec3(1, 0, 0));
    spParent->Update(0.0f);

    const NiVec3 kTarget(0, 0, -10);
    ASSERT_TRUE(sp->LookAtWorldPoint(kTarget, NiVec3(0, 1, 0)));
    NiVec3 kToward = kTarget - sp->GetWorldLocation();
    kToward.Normalize();
    ExpectNear(sp->GetWorldDirection(), kToward);
    EXPECT_NEAR(sp->GetWorldUpVector().Dot(kToward), 0.0f, 1e-5f);
    EXPECT_GT(sp->GetWorldUpVector().y, 0.0f);
    ExpectNear(sp->GetWorldRightVector(), sp->GetWorldDirection().Cross(sp->GetWorldUpVector()));

    const NiMatrix3x3 kBefore = sp->GetRotate();
    EXPECT_FALSE(sp->LookAtWorldPoint(sp->GetWorldLocation(), NiVec3(0, 1, 0)));
    EXPECT_FALSE(sp->LookAtWorldPoint(kTarget, kToward)); // up along the view line
    EXPECT_EQ(sp->GetRotate(), kBefore);
}

TEST_F(NiCameraTest, FrameOrderWithAndWithoutAnAccumulator)
{
    NiCameraPtr spCamera = new NiCamera;
    spCamera->RenderFrame(); // nothing without a renderer
    FrameRenderer* pkRenderer = Renderer();
    spCamera->SetRenderer(pkRenderer);
    NiViewFrustum f;
    f.Set(-1, 1, 1, -1, 1, 100, false);
    spCamera->SetViewFrustum(f);

    NiNodePtr spScene = new NiNode;
    NiRefPtr<NiAlphaProperty> spBlend = new NiAlphaProperty;
    spBlend->SetAlphaBlending(true);
    NiRefPtr<NiTriShape> spClear = NamedSquare("clear", NiVec3(10, 0, 0));
    spClear->AttachProperty(spBlend);
    spScene->AttachChild(spClear);
    spScene->AttachChild(NamedSquare("solid", NiVec3(20, 0, 0)));
    spScene->Update(0.0f);
    spScene->UpdateProperties();
    spCamera->SetScene(spScene);
    spCamera->AddScreenPolygon(Triangle2D());
    NiScreenTexturePtr spTexture = new NiScreenTexture(nullptr);
    spCamera->AddScreenTexture(spTexture);

    NiAlphaAccumulatorPtr spSorter = new NiAlphaAccumulator;
    pkRenderer->SetAccumulator(spSorter);
    spCamera->RenderFrame();
    EXPECT_EQ(pkRenderer->m_kCalls, (std::vector<std::string>{"camera", "begin", "shape:solid", "shape:clear",
                                                               "polygon", "texture", "end"}));
    EXPECT_EQ(pkRenderer->m_kAccumulators[2], spSorter.Get());
    EXPECT_EQ(pkRenderer->GetAccumulator(), spSorter.Get());
    EXPECT_EQ(spSorter->GetCamera(), nullptr);
    EXPECT_EQ(pkRenderer->m_kCameraDirection, NiVec3(1, 0, 0));
    EXPECT_EQ(pkRenderer->m_kCameraFrustum.m_fFar, 100.0f);

    // An accumulator busy with another pass is left alone: geometry draws as
    // culling meets it, and the accumulator is back afterwards.
    NiCameraPtr spOther = new NiCamera;
    ASSERT_TRUE(spSorter->StartAccumulating(spOther));
    pkRenderer->m_kCalls.clear();
    pkRenderer->m_kAccumulators.clear();
    spCamera->RenderFrame();
    EXPECT_EQ(pkRenderer->m_kCalls, (std::vector<std::string>{"camera", "begin", "shape:clear", "shape:solid",
                                                               "polygon", "texture", "end"}));
    EXPECT_EQ(pkRenderer->m_kAccumulators[2], nullptr);
    EXPECT_EQ(pkRenderer->GetAccumulator(), spSorter.Get());
    EXPECT_EQ(spSorter->GetCamera(), spOther.Get());
    spSorter->FinishAccumulating();

    // No accumulator at all.
    pkRenderer->SetAccumulator(nullptr);
    pkRenderer->m_kCalls.clear();
    spCamera->RenderFrame();
    EXPECT_EQ(pkRenderer->m_kCalls, (std::vector<std::string>{"camera", "begin", "shape:clear", "shape:solid",
                                                               "polygon", "texture", "end"}));

    // A scene without extent is not culled; holes in the screen lists are
    // skipped.
    spCamera->RemoveScreenTexture(spTexture);
    EXPECT_EQ(spCamera->GetScreenTextureCount(), 1u);
    spScene->SetWorldBound(NiBoundSphere(NiVec3(), 0.0f));
    pkRenderer->m_kCalls.clear();
    spCamera->RenderFrame();
    EXPECT_EQ(pkRenderer->m_kCalls, (std::vector<std::string>{"camera", "begin", "polygon", "end"}));
    pkRenderer->SetPropertyState(nullptr);
}

TEST_F(NiCameraTest, ScreenSpaceFrameUsesItsOwnAccumulator)
{
    NiScreenSpaceCameraPtr spCamera = new NiScreenSpaceCamera;
    FrameRenderer* pkRenderer = Renderer(1024, 768);
    spCamera->SetRenderer(pkRenderer);
    ASSERT_TRUE(spCamera->FitToRenderer());
    NiAlphaAccumulatorPtr spRenderers = new NiAlphaAccumulator;
    pkRenderer->SetAccumulator(spRenderers);

    // Two overlays at pixel depth: the farther one draws first.
    NiNode* pkNode = spCamera->GetScreenNode();
    pkNode->AttachChild(NamedSquare("front", NiVec3(100, 100, 1)));
    pkNode->AttachChild(NamedSquare("back", NiVec3(200, 100, 5)));
    pkNode->Update(0.0f);
    pkNode->UpdateProperties();
    spCamera->AddScreenPolygon(Triangle2D());
    spCamera->RenderFrame();
    EXPECT_EQ(pkRenderer->m_kCalls, (std::vector<std::string>{"camera", "begin", "camera", "shape:back",
                                                               "shape:front", "polygon", "end"}));
    EXPECT_EQ(pkRenderer->m_kAccumulators[3], spCamera->GetAccumulator());
    EXPECT_EQ(pkRenderer->GetAccumulator(), spRenderers.Get());

    // Its accumulator busy elsewhere: the overlays draw in culling order and
    // the other pass keeps nothing of this frame.
    NiCameraPtr spOther = new NiCamera;
    ASSERT_TRUE(spCamera->GetAccumulator()->StartAccumulating(spOther));
    pkRenderer->m_kCalls.clear();
    pkRenderer->m_kAccumulators.clear();
    spCamera->RenderFrame();
    EXPECT_EQ(pkRenderer->m_kCalls, (std::vector<std::string>{"camera", "begin", "camera", "shape:front",
                                                               "shape:back", "polygon", "end"}));
    EXPECT_EQ(pkRenderer->m_kAccumulators[3], nullptr);
    EXPECT_EQ(pkRenderer->GetAccumulator(), spRenderers.Get());
    EXPECT_EQ(spCamera->GetAccumulator()->GetCamera(), spOther.Get());
    spCamera->GetAccumulator()->FinishAccumulating();
    EXPECT_EQ(pkRenderer->m_kCalls.size(), 7u);

    // Without a scene the pass still opens and closes.
    spCamera->SetScene(nullptr);
    pkRenderer->m_kCalls.clear();
    spCamera->RenderFrame();
    spCamera->RenderFrame();
    EXPECT_EQ(pkRenderer->m_kCalls,
              (std::vector<std::string>{"camera", "begin", "polygon", "end", "camera", "begin", "polygon", "end"}));
    EXPECT_EQ(spCamera->GetAccumulator()->GetCamera(), nullptr);
    pkRenderer->SetPropertyState(nullptr);
    pkRenderer->SetAccumulator(nullptr);
}

TEST_F(NiCameraTest, RoundTripCloneAndEquality)
{
    NiCameraPtr sp = new NiCamera;
    NiViewFrustum f;
    f.Set(-0.25f, 0.75f, 0.5f, -0.5f, 2, 50, true);
    sp->SetViewFrustum(f);
    sp->SetViewPort(NiRect<float>(0, 0.5f, 1, 0.25f));
    sp->SetLODAdjust(1.5f);
    sp->SetCameraFlags(0x0123);
    NiNodePtr spScene = new NiNode;
    sp->SetScene(spScene);
    sp->SetRenderer(Renderer());

    ASSERT_TRUE(RoundTrip({sp}));
    auto* pkLoaded = NiDynamicCast<NiCamera>(m_kLoaded.at(0).Get());
    ASSERT_NE(pkLoaded, nullptr);
    EXPECT_TRUE(pkLoaded->IsEqual(sp));
    EXPECT_EQ(pkLoaded->GetCameraFlags(), 0x0123);
    EXPECT_TRUE(pkLoaded->GetViewFrustum().m_bOrtho);
    EXPECT_NE(NiDynamicCast<NiNode>(pkLoaded->GetScene()), nullptr);
    EXPECT_EQ(pkLoaded->GetRenderer(), nullptr);
    m_kLoaded.clear();

    // Screen elements come back in their slots (a loaded polygon holds
    // loaded properties, so it is not equal to the original by design).
    sp->AddScreenPolygon(Triangle2D());
    sp->AddScreenTexture(new NiScreenTexture(nullptr));
    ASSERT_TRUE(RoundTrip({sp})) << m_kStream.GetLastErrorMessage();
    pkLoaded = NiDynamicCast<NiCamera>(m_kLoaded.at(0).Get());
    ASSERT_NE(pkLoaded, nullptr);
    ASSERT_NE(pkLoaded->GetScreenPolygon(0), nullptr);
    EXPECT_EQ(pkLoaded->GetScreenPolygon(0)->GetVertices()[1], NiVec3(10, 0, 0));
    EXPECT_EQ(pkLoaded->GetScreenTextureCount(), 1u);
    EXPECT_NE(pkLoaded->GetScreenTexture(0), nullptr);
    m_kLoaded.clear();

    // The scene and the orthographic flag are not compared; the rest is.
    NiCameraPtr spCopy = NiDynamicCast<NiCamera>(sp->Clone());
    ASSERT_NE(spCopy, nullptr);
    EXPECT_EQ(spCopy->GetScene(), nullptr);
    EXPECT_EQ(spCopy->GetRenderer(), nullptr);
    ASSERT_NE(spCopy->GetScreenPolygon(0), nullptr);
    EXPECT_NE(spCopy->GetScreenPolygon(0), sp->GetScreenPolygon(0));
    EXPECT_TRUE(spCopy->IsEqual(sp));
    f.SetOrthographic(false);
    spCopy->SetViewFrustum(f);
    EXPECT_TRUE(spCopy->IsEqual(sp));
    spCopy->SetLODAdjust(2.0f);
    EXPECT_FALSE(spCopy->IsEqual(sp));
    spCopy->SetLODAdjust(1.5f);
    spCopy->RemoveScreenTexture(spCopy->GetScreenTexture(0));
    EXPECT_FALSE(spCopy->IsEqual(sp));

    // A screen-space camera's copy draws a copy of its screen node.
    NiScreenSpaceCameraPtr spScreen = new NiScreenSpaceCamera;
    spScreen->SetRenderer(m_spRenderer);
    NiScreenSpaceCameraPtr spScreenCopy = NiDynamicCast<NiScreenSpaceCamera>(spScreen->Clone());
    ASSERT_NE(spScreenCopy, nullptr);
    ASSERT_NE(spScreenCopy->GetScreenNode(), nullptr);
    EXPECT_NE(spScreenCopy->GetScreenNode(), spScreen->GetScreenNode());
    EXPECT_EQ(spScreenCopy->GetRenderer(), nullptr);
    EXPECT_NE(spScreenCopy->GetAccumulator(), spScreen->GetAccumulator());

    // Loaded, it draws the saved screen node, not the one it was made with.
    spScreen->GetScreenNode()->SetName("saved");
    ASSERT_TRUE(RoundTrip({spScreen})) << m_kStream.GetLastErrorMessage();
    auto* pkLoadedScreen = NiDynamicCast<NiScreenSpaceCamera>(m_kLoaded.at(0).Get());
    ASSERT_NE(pkLoadedScreen, nullptr);
    ASSERT_NE(pkLoadedScreen->GetScreenNode(), nullptr);
    EXPECT_STREQ(pkLoadedScreen->GetScreenNode()->GetName(), "saved");
    EXPECT_NE(pkLoadedScreen->GetScreenNode()->GetProperty(NiProperty::ZBUFFER), nullptr);
    EXPECT_TRUE(pkLoadedScreen->GetViewFrustum().m_bOrtho);
    EXPECT_TRUE(pkLoadedScreen->IsEqual(spScreen));
    m_kLoaded.clear();
}

TEST_F(NiCameraTest, ScreenElementsFlagsAndPurges)
{
    NiCameraPtr sp = new NiCamera;
    NiRefPtr<NiScreenPolygon> spA = Triangle2D();
    NiRefPtr<NiScreenPolygon> spB = Triangle2D();
    sp->AddScreenPolygon(spA);
    sp->AddScreenPolygon(spB);
    NiScreenTexturePtr spTexture = new NiScreenTexture(nullptr);
    sp->AddScreenTexture(spTexture);
    spA->SetRendererFlags(4);
    sp->FlagScreenPolygons();
    EXPECT_EQ(spA->GetRendererFlags(), 5);
    EXPECT_EQ(spB->GetRendererFlags(), 1);

    FrameRenderer* pkRenderer = Renderer();
    sp->PurgeRendererData(pkRenderer);
    EXPECT_EQ(pkRenderer->m_kPurgedPolygons, (std::vector<const void*>{spA.Get(), spB.Get()}));
    EXPECT_EQ(pkRenderer->m_kPurgedScreenTextures, std::vector<const void*>{spTexture.Get()});
    sp->RemoveScreenPolygon(spA);
    EXPECT_EQ(sp->GetScreenPolygon(0), nullptr);
    EXPECT_EQ(sp->GetScreenPolygon(1), spB.Get());

    sp->ClearViewport(NiRenderer::CLEAR_ALL); // no renderer: nothing
    sp->DisplayFrame();
    EXPECT_TRUE(pkRenderer->m_kCalls.empty());
    sp->SetRenderer(pkRenderer);
    sp->ClearViewport(NiRenderer::CLEAR_ZBUFFER);
    sp->DisplayFrame();
    EXPECT_EQ(pkRenderer->m_kCalls, (std::vector<std::string>{"clear", "display"}));
    EXPECT_EQ(pkRenderer->m_pkClearedPort, &sp->GetViewPort());
    EXPECT_EQ(pkRenderer->m_uiClearFlags, NiRenderer::CLEAR_ZBUFFER);
}

TEST_F(NiCameraTest, OldFilesReadTheirOwnLayouts)
{
    struct Case
    {
        std::uint32_t m_uiVersion;
        std::uint16_t m_usExpectedFlags;
        bool m_bOrtho;
        std::uint32_t m_uiTextures;
    };
    // 4.1.0.3: flags from the positioned object's converted word (raw 0x0040
    // becomes 0x020E there, whose bits 6-14 are 8), no screen textures, no
    // orthographic byte. 10.0.1.4: own flags, still perspective. 10.0.1.10:
    // the orthographic byte and a third list that is read and dropped.
    for (const Case& c : {Case{V(4, 1, 0, 3), 0x0008, false, 0}, Case{V(10, 0, 1, 4), 0x0123, false, 1},
                          Case{V(10, 0, 1, 10), 0x0123, true, 1}})
    {
        SCOPED_TRACE(c.m_uiVersion);
        ASSERT_TRUE(LoadFile(c.m_uiVersion,
                             {{"NiCamera",
                               CameraRecord(c.m_uiVersion, 0x0040, CameraBody(c.m_uiVersion, 1, {2}, {3}, {1, 2}))},
                              {"NiNode", NodeRecord(c.m_uiVersion, "scene", {})},
                              {"NiScreenPolygon", EmptyPolygon(c.m_uiVersion)},
                              {"NiScreenTexture", Bytes().U32(0).U32(NONE)}},
                             {0}))
            << m_kStream.GetLastErrorMessage();
        auto* pkCamera = NiDynamicCast<NiCamera>(m_kLoaded.at(0).Get());
        ASSERT_NE(pkCamera, nullptr);
        EXPECT_EQ(pkCamera->GetCameraFlags(), c.m_usExpectedFlags);
        EXPECT_EQ(pkCamera->GetViewFrustum().m_bOrtho, c.m_bOrtho);
        EXPECT_EQ(pkCamera->GetViewFrustum().m_fFar, 50.0f);
        EXPECT_EQ(pkCamera->GetViewPort().m_bottom, 0.25f);
        EXPECT_EQ(pkCamera->GetLODAdjust(), 1.5f);
        EXPECT_NE(pkCamera->GetScene(), nullptr);
        EXPECT_EQ(pkCamera->GetScreenPolygonCount(), 1u);
        EXPECT_NE(pkCamera->GetScreenPolygon(0), nullptr);
        EXPECT_EQ(pkCamera->GetScreenTextureCount(), c.m_uiTextures);
        m_kLoaded.clear();
    }
}

TEST_F(NiCameraTest, HostileFilesFailCleanly)
{
    const std::uint32_t v = V(10, 2, 0, 0);
    std::vector<std::uint8_t> kFile = BuildFile(v,
                                                {{"NiCamera", CameraRecord(v, 0, CameraBody(v, 1, {2}, {}))},
                                                 {"NiNode", NodeRecord(v, "scene", {})},
                                                 {"NiScreenPolygon", EmptyPolygon(v)}},
                                                {0});
    for (std::size_t n = 0; n < kFile.size(); ++n)
    {
        SCOPED_TRACE(n);
        EXPECT_FALSE(Load(std::vector<std::uint8_t>(kFile.begin(), kFile.begin() + static_cast<std::ptrdiff_t>(n))));
    }
    ASSERT_TRUE(Load(kFile));
    m_kLoaded.clear();

    // Each link slot takes only its own class.
    const Bytes kProperty = NETBody(v, "p", {}, NONE).Append(Bytes().U16(0));
    for (const Bytes& kBody : {CameraBody(v, 1, {}, {}), CameraBody(v, NONE, {1}, {}), CameraBody(v, NONE, {}, {1})})
    {
        EXPECT_FALSE(LoadFile(v, {{"NiCamera", CameraRecord(v, 0, kBody)}, {"TestProperty", kProperty}}, {0}));
        EXPECT_EQ(m_kStream.GetLastError(), NiObjectStream::ERROR_CORRUPT);
    }
    // A polygon count beyond the bytes left.
    Bytes kHuge = CameraBody(v, NONE, {}, {});
    Bytes kCut;
    kCut.m_kBytes.assign(kHuge.m_kBytes.begin(), kHuge.m_kBytes.end() - 8);
    kCut.U32(0x40000000);
    EXPECT_FALSE(LoadFile(v, {{"NiCamera", CameraRecord(v, 0, kCut)}}, {0}));
    EXPECT_EQ(m_kStream.GetLastError(), NiObjectStream::ERROR_CORRUPT);
}

// A default camera whose scene is the camera itself, as a save writes it.
const std::uint8_t SELF_SCENE_CAMERA[212] = {
    0x51, 0x75, 0x65, 0x6E, 0x74, 0x68, 0x61, 0x6C, 0x20, 0x46, 0x69, 0x6C, 0x65, 0x20, 0x46, 0x6F, 0x72, 0x6D,
    0x61, 0x74, 0x2C, 0x20, 0x56, 0x65, 0x72, 0x73, 0x69, 0x6F, 0x6E, 0x20, 0x31, 0x30, 0x2E, 0x32, 0x2E, 0x30,
    0x2E, 0x30, 0x0A, 0x00, 0x00, 0x02, 0x0A, 0x00, 0x00, 0x00, 0x00, 0x01, 0x00, 0x00, 0x00, 0x01, 0x00, 0x08,
    0x00, 0x00, 0x00, 0x4E, 0x69, 0x43, 0x61, 0x6D, 0x65, 0x72, 0x61, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00,
    0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0xFF, 0xFF, 0xFF, 0xFF, 0x10, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00,
    0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x80, 0x3F, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00,
    0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x80, 0x3F, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00,
    0x00, 0x00, 0x00, 0x00, 0x00, 0x80, 0x3F, 0x00, 0x00, 0x80, 0x3F, 0x00, 0x00, 0x00, 0x00, 0xFF, 0xFF, 0xFF,
    0xFF, 0x00, 0x00, 0x00, 0x00, 0x00, 0xBF, 0x00, 0x00, 0x00, 0x3F, 0x00, 0x00, 0x00, 0x3F, 0x00, 0x00, 0x00,
    0xBF, 0x00, 0x00, 0x80, 0x3F, 0x00, 0x00, 0x00, 0x40, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x80, 0x3F,
    0x00, 0x00, 0x80, 0x3F, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x80, 0x3F, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00,
    0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x01, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00,
};

TEST_F(NiCameraTest, ASceneThatHoldsTheCameraFailsTheLoad)
{
    EXPECT_FALSE(Load(std::vector<std::uint8_t>(std::begin(SELF_SCENE_CAMERA), std::end(SELF_SCENE_CAMERA))));
    EXPECT_EQ(m_kStream.GetLastError(), NiObjectStream::ERROR_CORRUPT);
    EXPECT_TRUE(m_kLoaded.empty());

    // The node above the camera, directly or further up.
    const std::uint32_t v = V(10, 2, 0, 0);
    EXPECT_FALSE(LoadFile(v, {{"NiNode", NodeRecord(v, "root", {1})}, {"NiCamera", CameraRecord(v, 0, CameraBody(v, 0, {}, {}))}}, {0}));
    EXPECT_EQ(m_kStream.GetLastError(), NiObjectStream::ERROR_CORRUPT);
    EXPECT_FALSE(LoadFile(v,
                          {{"NiNode", NodeRecord(v, "root", {1})},
                           {"NiNode", NodeRecord(v, "arm", {2})},
                           {"NiCamera", CameraRecord(v, 0, CameraBody(v, 0, {}, {}))}},
                          {0}));
    EXPECT_EQ(m_kStream.GetLastError(), NiObjectStream::ERROR_CORRUPT);

    // A scene beside the camera, or below a node the camera hangs from
    // without holding it, is fine.
    ASSERT_TRUE(LoadFile(v,
                         {{"NiNode", NodeRecord(v, "root", {1, 2})},
                          {"NiCamera", CameraRecord(v, 0, CameraBody(v, 2, {}, {}))},
                          {"NiNode", NodeRecord(v, "world", {})}},
                         {0}));
    auto* pkRoot = NiDynamicCast<NiNode>(m_kLoaded[0].Get());
    ASSERT_NE(pkRoot, nullptr);
    EXPECT_EQ(static_cast<NiCamera*>(pkRoot->GetAt(0))->GetScene(), pkRoot->GetAt(1));
    m_kLoaded.clear();

    // A camera whose scene holds it, in a file that fails before the check:
    // still freed (the fixture's leak check).
    EXPECT_FALSE(LoadFile(v,
                          {{"NiNode", NodeRecord(v, "root", {1})},
                           {"NiCamera", CameraRecord(v, 0, CameraBody(v, 0, {}, {}))},
                           {"NiNode", NodeRecord(v, "bad", {99})}},
                          {0}));
    EXPECT_EQ(m_kStream.GetLastError(), NiObjectStream::ERROR_CORRUPT);
}
// Found by fuzzing: a screen-space camera whose scene is the camera itself.
// It loaded, and cloning it copied its scene, itself, until the stack ran out.
const std::uint8_t SELF_SCENE_SCREEN_CAMERA[223] = {
    0x51, 0x75, 0x65, 0x6E, 0x74, 0x68, 0x61, 0x6C, 0x20, 0x46, 0x69, 0x6C, 0x65, 0x20, 0x46, 0x6F, 0x72, 0x6D,
    0x61, 0x74, 0x2C, 0x20, 0x56, 0x65, 0x72, 0x73, 0x69, 0x6F, 0x6E, 0x20, 0x31, 0x30, 0x2E, 0x32, 0x2E, 0x30,
    0x2E, 0x30, 0x0A, 0x00, 0x00, 0x02, 0x0A, 0x00, 0x00, 0x00, 0x00, 0x01, 0x00, 0x00, 0x00, 0x01, 0x00, 0x13,
    0x00, 0x00, 0x00, 0x4E, 0x69, 0x53, 0x63, 0x72, 0x65, 0x65, 0x6E, 0x53, 0x70, 0x61, 0x63, 0x65, 0x43, 0x61,
    0x6D, 0x65, 0x72, 0x61, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00,
    0xFF, 0xFF, 0xFF, 0xFF, 0x10, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00,
    0x00, 0x00, 0x80, 0x3F, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00,
    0x80, 0x3F, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x80, 0x3F,
    0x00, 0x00, 0x80, 0x3F, 0x00, 0x00, 0x00, 0x00, 0xFF, 0xFF, 0xFF, 0xFF, 0x00, 0x00, 0x00, 0x00, 0x00, 0xBF,
    0x00, 0x00, 0x00, 0x3F, 0x00, 0x00, 0x00, 0x3F, 0x00, 0x00, 0x00, 0xBF, 0x00, 0x00, 0x80, 0x3F, 0x00, 0x00,
    0x00, 0x40, 0x01, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x80, 0x3F, 0x00, 0x00, 0x80, 0x3F, 0x00, 0x00, 0x00,
    0x00, 0x00, 0x00, 0x80, 0x3F, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x01,
    0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00,
};

TEST_F(NiCameraTest, AScreenCameraWhoseSceneIsItselfFailsTheLoad)
{
    EXPECT_FALSE(Load(std::vector<std::uint8_t>(std::begin(SELF_SCENE_SCREEN_CAMERA), std::end(SELF_SCENE_SCREEN_CAMERA))));
    EXPECT_EQ(m_kStream.GetLastError(), NiObjectStream::ERROR_CORRUPT);
    EXPECT_TRUE(m_kLoaded.empty());
}
} // namespace scene_test
