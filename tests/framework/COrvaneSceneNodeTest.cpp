#include "framework/COrvaneSceneNode.h"

#include "engine/scene/NiAlphaProperty.h"
#include "engine/scene/NiMaterialProperty.h"
#include "engine/scene/NiNode.h"
#include "engine/scene/NiTexturingProperty.h"
#include "engine/scene/NiTriShape.h"
#include "framework/COrvaneSceneLink.h"
#include "tests/framework/FrameworkTestSupport.h"

#include <gtest/gtest.h>

#include <cmath>

namespace
{
class COrvaneSceneNodeTest : public EngineFrameworkTest
{
protected:
    // A unit quad; the shape takes the arrays.
    static void Build(COrvaneSceneNode& kNode, const char* pcTexture)
    {
        auto* pkVertex = new NiVec3[4]{{0, 0, 0}, {1, 0, 0}, {1, 1, 0}, {0, 1, 0}};
        auto* pusTriangles = new std::uint16_t[6]{0, 1, 2, 0, 2, 3};
        auto* pkTexture = new NiVec2[4]{{0, 0}, {1, 0}, {1, 1}, {0, 1}};
        if (pcTexture)
            kNode.BuildTexturedShape(4, pkVertex, nullptr, 2, pusTriangles, pcTexture, pkTexture, 1, nullptr);
        else
            kNode.BuildColouredShape(4, pkVertex, nullptr, 2, pusTriangles, NiColorRGBA(0.25f, 0.5f, 0.75f, 0.4f),
                                     pkTexture, 1, nullptr);
    }

    static void ExpectTurn(const NiMatrix3x3& kActual, const NiMatrix3x3& kExpected)
    {
        for (int r = 0; r < 3; ++r)
        {
            for (int c = 0; c < 3; ++c)
                EXPECT_NEAR(kActual.GetEntry(r, c), kExpected.GetEntry(r, c), 1e-5f) << r << "," << c;
        }
    }
};
} // namespace

TEST_F(COrvaneSceneNodeTest, TexturedBuildHangsTheShapeUnderRootUnderSceneRoot)
{
    COrvaneSceneNode kNode;
    EXPECT_EQ(kNode.GetSceneRoot(), nullptr);
    Build(kNode, "floor.tga");
    NiNode* pkSceneRoot = kNode.GetSceneRoot();
    ASSERT_NE(pkSceneRoot, nullptr);
    EXPECT_STREQ(pkSceneRoot->GetName(), "Scene Root");
    EXPECT_EQ(pkSceneRoot->GetAt(0), kNode.GetRoot());
    EXPECT_STREQ(kNode.GetRoot()->GetName(), "Root");
    auto* pkShape = NiDynamicCast<NiTriShape>(kNode.GetRoot()->GetAt(0));
    ASSERT_NE(pkShape, nullptr);
    NiMatrix3x3 kBack;
    kBack.MakeXRotation(-1.5707964f);
    ExpectTurn(pkSceneRoot->GetRotate(), kBack);
    auto* pkTexturing = static_cast<NiTexturingProperty*>(pkSceneRoot->GetProperty(NiProperty::TEXTURING));
    ASSERT_NE(pkTexturing, nullptr);
    EXPECT_EQ(pkTexturing->GetApplyMode(), 0u);
    EXPECT_EQ(pkTexturing->GetMap(0)->GetFilterMode(), 2u);
    EXPECT_EQ(pkSceneRoot->GetProperty(NiProperty::MATERIAL), nullptr);
    // No material: the colour changes nothing.
    kNode.SetMaterialColor(1, 1, 1, 1);
    EXPECT_EQ(pkSceneRoot->GetProperty(NiProperty::MATERIAL), nullptr);

    COrvaneSceneNode kPlain;
    Build(kPlain, "");
    EXPECT_EQ(kPlain.GetSceneRoot()->GetProperty(NiProperty::TEXTURING), nullptr);
}

TEST_F(COrvaneSceneNodeTest, ColouredBuildIsTranslucentAndRecoloured)
{
    COrvaneSceneNode kNode;
    Build(kNode, nullptr);
    NiNode* pkSceneRoot = kNode.GetSceneRoot();
    auto* pkAlpha = static_cast<NiAlphaProperty*>(pkSceneRoot->GetProperty(NiProperty::ALPHA));
    ASSERT_NE(pkAlpha, nullptr);
    EXPECT_EQ(pkAlpha->GetFlags(), 237);
    EXPECT_EQ(pkAlpha->GetTestRef(), 0);
    auto* pkMaterial = static_cast<NiMaterialProperty*>(pkSceneRoot->GetProperty(NiProperty::MATERIAL));
    ASSERT_NE(pkMaterial, nullptr);
    EXPECT_EQ(pkMaterial->GetAmbientColor(), NiColorRGB(0.25f, 0.5f, 0.75f));
    EXPECT_FLOAT_EQ(pkMaterial->GetAlpha(), 0.4f);
    std::uint32_t uiRevision = pkMaterial->GetRevisionID();
    kNode.SetMaterialColor(1.0f, 0.0f, 0.0f, 0.9f);
    EXPECT_EQ(pkMaterial->GetAmbientColor(), NiColorRGB(1.0f, 0.0f, 0.0f));
    EXPECT_FLOAT_EQ(pkMaterial->GetAlpha(), 0.9f);
    EXPECT_EQ(pkMaterial->GetRevisionID(), uiRevision + 2);

    // A signal's colour glows too, and follows each change: red, then blue.
    kNode.SetSignalColor(1.0f, 0.0f, 0.0f, 0.45f);
    EXPECT_EQ(pkMaterial->GetAmbientColor(), NiColorRGB(1.0f, 0.0f, 0.0f));
    EXPECT_EQ(pkMaterial->GetEmittance(), NiColorRGB(1.0f, 0.0f, 0.0f));
    EXPECT_FLOAT_EQ(pkMaterial->GetAlpha(), 0.45f);
    EXPECT_GT(pkMaterial->GetRevisionID(), uiRevision + 2);
    kNode.SetSignalColor(0.0f, 0.0f, 1.0f, 0.25f);
    EXPECT_EQ(pkMaterial->GetEmittance(), NiColorRGB(0.0f, 0.0f, 1.0f));

    kNode.SetVisible(false);
    EXPECT_NE(pkSceneRoot->GetFlags() & 1, 0);
    kNode.SetVisible(true);
    EXPECT_EQ(pkSceneRoot->GetFlags() & 1, 0);
    COrvaneSceneLink kRecord;
    EXPECT_EQ(kNode.ProvideNode(kRecord), 1);
    EXPECT_EQ(kRecord.m_pkNode, pkSceneRoot);
    EXPECT_EQ(kNode.ProvideNode(kRecord), 0);
}

TEST_F(COrvaneSceneNodeTest, TurnsAndMovesReachTheRootOnApply)
{
    COrvaneSceneNode kNode;
    Build(kNode, "");
    NiNode* pkRoot = kNode.GetRoot();
    kNode.SetRotation(NiVec3::UNIT_Y, 0.0f, 0);
    EXPECT_EQ(pkRoot->GetRotate(), NiMatrix3x3::IDENTITY); // pending
    kNode.ApplyChanges();
    NiMatrix3x3 kBack;
    kBack.MakeXRotation(-1.5707964f);
    ExpectTurn(pkRoot->GetRotate(), kBack);

    NiMatrix3x3 kY;
    kY.MakeAxisRotation(30.0f * 0.017453292f, NiVec3::UNIT_Y);
    kNode.SetRotation(NiVec3::UNIT_Y, 30.0f, 2);
    kNode.ApplyChanges();
    ExpectTurn(pkRoot->GetRotate(), kBack * kY);
    kNode.SetRotation(NiVec3::UNIT_Y, 30.0f, 1);
    kNode.ApplyChanges();
    ExpectTurn(pkRoot->GetRotate(), kY * kBack * kY);

    kNode.SetPosition(NiVec3(1.0f, 0.0f, 0.0f), true);
    kNode.SetPosition(NiVec3(0.0f, 2.0f, 0.0f), true);
    kNode.ApplyChanges();
    EXPECT_EQ(pkRoot->GetTranslate(), NiVec3(1.0f, 2.0f, 0.0f));
    // After an apply a relative move starts from where the root stands.
    kNode.SetPosition(NiVec3(0.0f, 0.0f, 3.0f), true);
    kNode.ApplyChanges();
    EXPECT_EQ(pkRoot->GetTranslate(), NiVec3(1.0f, 2.0f, 3.0f));
    EXPECT_EQ(kNode.GetSceneRoot()->GetTranslate(), NiVec3::ZERO);
    kNode.SetPosition(NiVec3(5.0f, 5.0f, 5.0f), false);
    kNode.ApplyChanges();
    EXPECT_EQ(pkRoot->GetTranslate(), NiVec3(5.0f, 5.0f, 5.0f));
    kNode.ApplyChanges(); // nothing pending
    EXPECT_EQ(pkRoot->GetTranslate(), NiVec3(5.0f, 5.0f, 5.0f));

    NiRefPtr<NiNode> spWorldNode = new NiNode;
    spWorldNode->AttachChild(kNode.GetSceneRoot());
    kNode.Release();
    EXPECT_EQ(spWorldNode->GetChildCount(), 0u);
    EXPECT_EQ(kNode.GetSceneRoot(), nullptr);
    kNode.SetPosition(NiVec3::ZERO, true); // released: nothing
    kNode.ApplyChanges();
}
