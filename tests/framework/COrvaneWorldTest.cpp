#include "framework/COrvaneWorld.h"

#include "engine/core/NiObjectStream.h"
#include "engine/scene/NiCamera.h"
#include "engine/scene/NiFogProperty.h"
#include "engine/scene/NiNode.h"
#include "engine/scene/NiNodeAttachment.h"
#include "engine/scene/NiStringExtraData.h"
#include "engine/scene/NiSwitchNode.h"
#include "engine/scene/NiTriShape.h"
#include "engine/scene/NiZBufferProperty.h"
#include "framework/COrvaneAnimationSpline.h"
#include "framework/COrvaneCamera.h"
#include "framework/COrvaneLevelManager.h"
#include "framework/COrvaneObject.h"
#include "framework/COrvaneSceneLink.h"
#include "framework/COrvaneSceneNode.h"
#include "framework/COrvaneWorldPicker.h"
#include "engine/scene/NiIntegerExtraData.h"
#include <cfloat>
#include <cmath>
#include "tests/framework/UiTestSupport.h"

#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

namespace
{
// A flat square of the given half size in the XY plane (the level's ground:
// Z up in the file).
NiRefPtr<NiTriShape> Square(float fHalf, const char* pcName)
{
    auto* pkVertex = new NiVec3[4]{{-fHalf, -fHalf, 0}, {fHalf, -fHalf, 0}, {-fHalf, fHalf, 0}, {fHalf, fHalf, 0}};
    auto* pusList = new std::uint16_t[6]{0, 1, 2, 2, 1, 3};
    NiRefPtr<NiTriShape> sp = new NiTriShape(new NiTriShapeData(4, pkVertex, nullptr, nullptr, nullptr, 0, 0, 2, pusList));
    sp->SetName(pcName);
    return sp;
}

NiRefPtr<NiNode> Named(const char* pcName)
{
    NiRefPtr<NiNode> sp = new NiNode;
    sp->SetName(pcName);
    return sp;
}

// A model as the world hangs it: "Scene Root" carrying its owner's handle.
NiRefPtr<NiNode> Owned(std::int32_t iHandle)
{
    NiRefPtr<NiNode> spModel = Named("Scene Root");
    auto* pkOwner = new NiIntegerExtraData(iHandle);
    pkOwner->SetName("Owner");
    spModel->AddExtraData(pkOwner);
    return spModel;
}

// Raises the object fHeight above the level's ground, towards an eye above
// the level (the file's Z up becomes the world's y through the level's
// root, whichever way that turns it).
void LiftTowardsTheEye(COrvaneWorld& kWorld, NiAVObject& kObject, float fHeight)
{
    kObject.SetTranslate(NiVec3(0.0f, 0.0f, fHeight));
    kWorld.GetSceneRoot()->Update(0.0f);
    if (kObject.GetWorldTransform().m_kTranslate.y < 0.0f)
    {
        kObject.SetTranslate(NiVec3(0.0f, 0.0f, -fHeight));
        kWorld.GetSceneRoot()->Update(0.0f);
    }
}

NiRefPtr<NiNode> Placeholder(const char* pcName, const std::string& kText, const NiVec3& kAt)
{
    NiRefPtr<NiNode> sp = Named(pcName);
    if (!kText.empty())
        sp->AddExtraData(new NiStringExtraData(kText.c_str()));
    sp->SetTranslate(kAt);
    return sp;
}

// A level: sky box over a square, collision ground, one spline node, and
// the placeholders given.
void WriteLevel(const char* pcPath, const std::vector<NiRefPtr<NiNode>>& kPlaceholders,
                NiRefPtr<NiAVObject> spSky = nullptr)
{
    NiRefPtr<NiNode> spRoot = Named("Scene Root");
    if (spSky == nullptr)
    {
        NiRefPtr<NiNode> spBox = Named("SkyBox");
        spBox->AttachChild(Square(500.0f, "sky"));
        spSky = static_cast<NiNode*>(spBox);
    }
    spRoot->AttachChild(spSky);
    NiRefPtr<NiNode> spCollide = Named("collide");
    spCollide->AttachChild(Square(32.0f, "ground"));
    spRoot->AttachChild(spCollide);
    NiRefPtr<NiNode> spSplines = Named("splines");
    spSplines->AttachChild(Named("route"));
    spSplines->AttachChild(Square(1.0f, "not a node"));
    spRoot->AttachChild(spSplines);
    NiRefPtr<NiNode> spObjects = Named("objects");
    for (const NiRefPtr<NiNode>& sp : kPlaceholders)
        spObjects->AttachChild(sp);
    spObjects->AttachChild(Square(1.0f, "shape placeholder"));
    spRoot->AttachChild(spObjects);
    NiObjectStream kStream;
    kStream.InsertTopObject(spRoot);
    ASSERT_TRUE(kStream.SaveFile(pcPath));
}

// A world whose game layer takes the placeholders named in a list, in the
// given pass, and records every question.
class TestWorld : public COrvaneWorld
{
public:
    int BuildObjectFromNode(const char* pcText, int iPass, NiVec3* pkPosition) override
    {
        m_kAsked.emplace_back(pcText, iPass);
        if (m_kTake == pcText && iPass == m_iTakePass)
        {
            m_kTakenAt = *pkPosition;
            return 1;
        }
        return 0;
    }
    std::vector<std::pair<std::string, int>> m_kAsked;
    std::string m_kTake = "spawn";
    int m_iTakePass = 2;
    NiVec3 m_kTakenAt;
};

class COrvaneWorldTest : public UiTest
{
protected:
    static void WriteSettings(const char* pcFog)
    {
        WriteFileBytes("setup.xml", std::string("<Game_Data>\r\n<NearClipPlane>\r\n1\r\n</NearClipPlane>\r\n"
                                                "<FarClipPlane>\r\n1000\r\n</FarClipPlane>\r\n<FogClipPlane>\r\n") +
                                        pcFog + "\r\n</FogClipPlane>\r\n</Game_Data>\r\n");
        COrvaneApplication::LoadSettings();
    }
};

NiNode* Child(NiNode* pkRoot, const char* pcName)
{
    return NiDynamicCast<NiNode>(pkRoot->GetObjectByName(pcName));
}
} // namespace

TEST_F(COrvaneWorldTest, ALevelGivesItsSkyBoxCollisionSplinesAndPlaceholders)
{
    WriteLevel("level.nif", {Placeholder("a", "spawn\r\nsecond line", NiVec3(1, 2, 3)), Placeholder("b", "", {}),
                             Placeholder("c", "models/missing.nif\r\n", NiVec3(4, 5, 6))});
    TestWorld kWorld;
    ASSERT_TRUE(kWorld.LoadLevel("level.nif", nullptr));
    EXPECT_STREQ(kWorld.GetName(), "level.nif");
    NiNode* pkRoot = kWorld.GetSceneRoot();
    ASSERT_NE(pkRoot, nullptr);
    NiMatrix3x3 kTurn;
    kTurn.MakeXRotation(1.5707964f);
    EXPECT_TRUE(pkRoot->GetRotate() == kTurn);

    // The sky box leaves the scene and is turned the same way.
    ASSERT_NE(kWorld.GetSkyBox(), nullptr);
    EXPECT_EQ(kWorld.GetSkyBox()->GetParent(), nullptr);
    EXPECT_EQ(Child(pkRoot, "SkyBox"), nullptr);
    EXPECT_TRUE(kWorld.GetSkyBox()->GetRotate() == kTurn);
    ASSERT_NE(kWorld.GetCollisionNode(), nullptr);
    EXPECT_EQ(kWorld.GetCollisionNode()->GetParent(), pkRoot);
    ASSERT_EQ(kWorld.GetSplines().size(), 1u);
    EXPECT_STREQ(kWorld.GetSplines()[0]->GetName(), "route");

    // "spawn" is declined in pass 1, taken in pass 2 at its translation and
    // removed; the text-less node stays; the model placeholder is removed
    // (its file is missing).
    const std::vector<std::pair<std::string, int>> kAsked = {{"spawn", 1}, {"models/missing.nif", 1}, {"spawn", 2}};
    EXPECT_EQ(kWorld.m_kAsked, kAsked);
    EXPECT_EQ(kWorld.m_kTakenAt, NiVec3(1, 2, 3));
    NiNode* pkObjects = Child(pkRoot, "objects");
    ASSERT_NE(pkObjects, nullptr);
    EXPECT_EQ(Child(pkObjects, "a"), nullptr);
    EXPECT_NE(Child(pkObjects, "b"), nullptr);
    EXPECT_EQ(Child(pkObjects, "c"), nullptr);

    // A second load keeps the scene.
    ASSERT_TRUE(kWorld.LoadLevel("other.nif", nullptr));
    EXPECT_EQ(kWorld.GetSceneRoot(), pkRoot);
    kWorld.UpdateObjects(0.1f);
}

TEST_F(COrvaneWorldTest, PlaceholderTextsAreTheirFirstLine)
{
    const std::vector<std::pair<std::string, std::string>> kCases = {
        {"plain", "plain"}, {"crlf\r\nnext", "crlf"}, {"lf\nnext", "lf"}, {"\nfirst", ""}, {"\r\nfirst", ""},
        {"in\rside\n", "in\rside"}, {std::string(100000, 'x'), std::string(100000, 'x')}};
    std::vector<NiRefPtr<NiNode>> kNodes;
    for (std::size_t i = 0; i < kCases.size(); ++i)
        kNodes.push_back(Placeholder(("p" + std::to_string(i)).c_str(), kCases[i].first, {}));
    // Two texts: the lowest-index one counts.
    NiRefPtr<NiNode> spTwo = Named("two");
    spTwo->AddExtraData(new NiStringExtraData("second\r\n"));
    spTwo->GetExtraDataAt(0)->SetName("b");
    NiStringExtraData* pkFirst = new NiStringExtraData("first\r\n");
    pkFirst->SetName("a");
    spTwo->AddExtraData(pkFirst);
    kNodes.push_back(spTwo);
    WriteLevel("level.nif", kNodes);

    TestWorld kWorld;
    kWorld.m_kTake.clear();
    ASSERT_TRUE(kWorld.LoadLevel("level.nif", nullptr));
    std::vector<std::string> kPass1;
    for (const auto& [kText, iPass] : kWorld.m_kAsked)
        if (iPass == 1)
            kPass1.push_back(kText);
    std::vector<std::string> kExpected;
    for (const auto& [kIn, kOut] : kCases)
        if (!kOut.empty())
            kExpected.push_back(kOut);
    kExpected.push_back(std::string(spTwo->GetExtraDataAt(0)->GetName()) == "a" ? "first" : "second");
    EXPECT_EQ(kPass1, kExpected);
}

TEST_F(COrvaneWorldTest, MissingAndHostileLevels)
{
    TestWorld kMissing;
    EXPECT_FALSE(kMissing.LoadLevel("nowhere.nif", &Camera()));
    EXPECT_EQ(kMissing.GetSceneRoot(), nullptr);
    EXPECT_TRUE(kMissing.m_kAsked.empty());
    kMissing.UpdateObjects(0.1f);
    kMissing.UpdateScene(0.1f);
    EXPECT_EQ(kMissing.FindObjectByName("x"), nullptr);
    EXPECT_EQ(kMissing.SelectFloor(0), nullptr);

    // Without a file name the scene is an empty node.
    COrvaneWorld kEmpty;
    EXPECT_TRUE(kEmpty.LoadLevel(nullptr, nullptr));
    ASSERT_NE(kEmpty.GetSceneRoot(), nullptr);
    EXPECT_EQ(kEmpty.GetSceneRoot()->GetChildCount(), 0u);

    // A "SkyBox" that is a shape is no sky box; every cut of a level file
    // loads or fails without harm.
    WriteLevel("shape.nif", {Placeholder("a", "spawn\r\n", {})}, static_cast<NiTriShape*>(Square(5.0f, "SkyBox")));
    COrvaneWorld kShape;
    ASSERT_TRUE(kShape.LoadLevel("shape.nif", nullptr));
    EXPECT_EQ(kShape.GetSkyBox(), nullptr);
    const std::string kBytes = ReadFileBytes("shape.nif");
    for (std::size_t n = 0; n < kBytes.size(); n += 7)
    {
        WriteFileBytes("cut.nif", kBytes.substr(0, n));
        TestWorld kCut;
        (void)kCut.LoadLevel("cut.nif", nullptr);
        kCut.UpdateObjects(0.0f);
    }
}

TEST_F(COrvaneWorldTest, FogGoesOnTheRootOnceAndTheCameraViewsIt)
{
    WriteSettings("250");
    StartRenderer();
    WriteLevel("level.nif", {});
    COrvaneWorld kWorld;
    ASSERT_TRUE(kWorld.LoadLevel("level.nif", &Camera()));
    NiNode* pkRoot = kWorld.GetSceneRoot();
    NiCamera* pkCamera = Camera().GetEngineCamera();
    EXPECT_EQ(pkCamera->GetScene(), pkRoot);
    auto* pkFog = NiDynamicCast<NiFogProperty>(pkRoot->GetProperty(NiProperty::FOG));
    ASSERT_NE(pkFog, nullptr);
    EXPECT_TRUE(pkFog->GetFog());
    EXPECT_EQ(pkFog->GetFogFunction(), 0);
    const float fNear = pkCamera->GetViewFrustum().m_fNear;
    EXPECT_FLOAT_EQ(pkFog->GetDepth(), (1000.0f - 250.0f) / (1000.0f - fNear));
    EXPECT_EQ(pkRoot->GetPropertyList().GetSize(), 1u);
    EXPECT_FALSE(ApplyWorldFog(Camera(), kWorld)); // the camera views a scene already
    EXPECT_EQ(pkRoot->GetPropertyList().GetSize(), 1u);

    COrvaneWorld kOther;
    ASSERT_TRUE(kOther.LoadLevel(nullptr, nullptr));
    EXPECT_FALSE(DetachCameraFromWorld(Camera(), kOther));
    EXPECT_TRUE(DetachCameraFromWorld(Camera(), kWorld));
    EXPECT_EQ(pkCamera->GetScene(), nullptr);

    EXPECT_FLOAT_EQ(FogDepth(1000.0f, 10.0f, 10.0f), 1.0f);
    EXPECT_EQ(FogDepth(1000.0f, 10.0f, 2000.0f), 0.0f);
    EXPECT_EQ(FogDepth(10.0f, 10.0f, 5.0f), 0.0f);
    EXPECT_EQ(FogDepth(5.0f, 10.0f, 5.0f), 0.0f);
}

TEST_F(COrvaneWorldTest, TheSkyBoxIsDrawnAroundTheCameraWithoutDepth)
{
    StartRenderer();
    WriteLevel("level.nif", {});
    COrvaneWorld kWorld;
    ASSERT_TRUE(kWorld.LoadLevel("level.nif", nullptr));
    Camera().SetPosition(NiVec3(10.0f, 200.0f, -30.0f));
    kWorld.RenderFrame(Camera());
    const NiVec3& kAt = kWorld.GetSkyBox()->GetTranslate();
    EXPECT_FLOAT_EQ(kAt.x, 10.0f);
    EXPECT_FLOAT_EQ(kAt.y, 200.0f * 0.99925f);
    EXPECT_FLOAT_EQ(kAt.z, -30.0f);
    ASSERT_EQ(Renderer().m_kDrawn.size(), 1u);
    EXPECT_EQ(Renderer().m_kDrawn[0], kWorld.GetSkyBox()->GetAt(0));
    auto* pkDepth = NiDynamicCast<NiZBufferProperty>(Renderer().m_kDrawnProperties[0]->GetProperty(NiProperty::ZBUFFER));
    ASSERT_NE(pkDepth, nullptr);
    EXPECT_EQ(pkDepth->GetFlags() & 3u, 0u);
    EXPECT_EQ(pkDepth->GetTestFunction(), 3u);
    EXPECT_FALSE(Renderer().IsBatching());
}

TEST_F(COrvaneWorldTest, NodesAreFoundAndOnlySwitchNodesSelectFloors)
{
    WriteLevel("level.nif", {});
    COrvaneWorld kWorld;
    ASSERT_TRUE(kWorld.LoadLevel("level.nif", nullptr));
    std::vector<std::unique_ptr<NiNodeAttachment>> kFound;
    EXPECT_EQ(kWorld.FindNode("collide", kFound), 1);
    EXPECT_EQ(kWorld.FindNode("ground", kFound), 0); // a shape
    EXPECT_EQ(kWorld.FindNode("nothing", kFound), 0);
    ASSERT_EQ(kFound.size(), 1u);
    EXPECT_EQ(kFound[0]->GetObject(), kWorld.GetCollisionNode());

    NiRefPtr<NiSwitchNode> spFloors = new NiSwitchNode;
    spFloors->SetName("floors");
    spFloors->AttachChild(Named("f0"));
    spFloors->AttachChild(Named("f1"));
    kWorld.GetSceneRoot()->AttachChild(spFloors);
    EXPECT_EQ(kWorld.FindObjectByName("floors"), spFloors);
    EXPECT_EQ(kWorld.SelectFloor(1), spFloors);
    EXPECT_EQ(spFloors->GetIndex(), 1);
    EXPECT_EQ(kWorld.SelectFloor(-1), spFloors);
    EXPECT_EQ(spFloors->GetIndex(), -1);
    (void)kWorld.SelectFloor(2);
    EXPECT_EQ(spFloors->GetIndex(), -1);
    // A plain node has no active child: nothing changes, nothing breaks.
    EXPECT_NE(kWorld.FindObjectByName("collide"), nullptr);
    EXPECT_EQ(kWorld.SelectFloor(0), kWorld.GetCollisionNode());

    COrvaneSceneLink kLink;
    EXPECT_TRUE(kWorld.ProvideRoot(kLink, true));
    EXPECT_EQ(kLink.m_pkTarget, kWorld.GetCollisionNode());
    EXPECT_FALSE(kWorld.ProvideRoot(kLink, false));
    kLink.m_pkNode = spFloors;
    EXPECT_TRUE(DetachLinked(kLink));
    EXPECT_EQ(spFloors->GetParent(), nullptr);
    kLink.m_pkNode = nullptr;
    EXPECT_FALSE(DetachLinked(kLink));
}

TEST_F(COrvaneWorldTest, TheLevelManagerMapsNumbersToFiles)
{
    WriteLevel("one.nif", {});
    WriteFileBytes("setup.xml", "<Level_Data>\r\n<10>\r\nten.nif\r\n</10>\r\n<1>\r\none.nif\r\n</1>\r\n"
                                "<20>\r\ntwenty.nif\r\n</20>\r\n<0>\r\n\r\n</0>\r\n</Level_Data>\r\n");
    COrvaneApplication::LoadSettings();
    COrvaneTagTree& kSettings = *COrvaneApplication::GetSettings();
    std::string kFile;
    bool bHasFile = false;
    ASSERT_TRUE(COrvaneLevelManager::FindLevelFile(kSettings, 1, kFile, bHasFile));
    EXPECT_EQ(kFile, "one.nif");
    ASSERT_TRUE(COrvaneLevelManager::FindLevelFile(kSettings, 2, kFile, bHasFile));
    EXPECT_EQ(kFile, "twenty.nif"); // contains "2"
    ASSERT_TRUE(COrvaneLevelManager::FindLevelFile(kSettings, 7, kFile, bHasFile));
    EXPECT_FALSE(bHasFile); // the "0" entry, no file

    COrvaneLevelManager kManager;
    EXPECT_EQ(kManager.GetLevel(), 1u);
    ASSERT_TRUE(kManager.LoadLevel());
    ASSERT_NE(kManager.GetWorld(), nullptr);
    EXPECT_STREQ(kManager.GetWorld()->GetName(), "one.nif");
    kManager.UpdateWorld(0.1f);
    kManager.SetLevel(3);
    EXPECT_TRUE(kManager.DestroyWorld());
    EXPECT_EQ(kManager.GetWorld(), nullptr);
    EXPECT_TRUE(kManager.LoadLevel()); // "0": an empty scene
    kManager.Reset();
    EXPECT_EQ(kManager.GetLevel(), 1u);
    EXPECT_EQ(kManager.GetWorld(), nullptr);

    WriteFileBytes("setup.xml", "<Game_Data>\r\n</Game_Data>\r\n");
    COrvaneApplication::LoadSettings();
    EXPECT_FALSE(kManager.LoadLevel());
}

TEST_F(COrvaneWorldTest, PicksFindTheNearestHitAndItsOwner)
{
    StartRenderer();
    WriteLevel("level.nif", {});
    COrvaneWorld kWorld;
    ASSERT_TRUE(kWorld.LoadLevel("level.nif", nullptr));
    // An owned model above the ground: "Scene Root" with its handle over a
    // staff root over a small square.
    NiRefPtr<NiNode> spOwned = Owned(77);
    NiRefPtr<NiNode> spStaff = Named("Staff_Root");
    spOwned->AttachChild(spStaff);
    spStaff->AttachChild(Square(2.0f, "crate"));
    // The picker stops at the first object hit in child order: the model
    // goes before the ground.
    NiAVObjectPtr spGround = kWorld.GetCollisionNode()->DetachChildAt(0);
    kWorld.GetCollisionNode()->AttachChild(spOwned);
    kWorld.GetCollisionNode()->AttachChild(spGround);
    LiftTowardsTheEye(kWorld, *spOwned, 5.0f);

    Camera().SetPosition(NiVec3(0.0f, 500.0f, 0.5f));
    ASSERT_TRUE(Camera().LookAt(NiVec3(0.0f, 0.0f, 0.0f)));
    COrvaneWorldPicker kPicker;
    EXPECT_EQ(kPicker.GetBestDistance(), FLT_MAX);
    kPicker.Init(kWorld, Camera());
    const float afCentre[2] = {512.0f, 384.0f};
    COrvanePickQuery kQuery;
    kQuery.m_pfScreenPoint = afCentre;
    EXPECT_EQ(kPicker.Pick(kQuery), 77u);
    ASSERT_NE(kQuery.m_pfDistance, nullptr); // the answers point at the picker's fields
    EXPECT_EQ(*kQuery.m_pfDistance, kPicker.GetBestDistance());
    EXPECT_NEAR(kPicker.GetHitPoint().y, 5.0f, 1e-3f);
    EXPECT_NEAR(kPicker.GetBestDistance(), 495.0f, 0.01f);
    ASSERT_NE(kPicker.GetStaffAttachment(), nullptr);
    EXPECT_EQ(kPicker.GetStaffAttachment()->GetObject(), spStaff);

    // The ground beside the crate has no owner: the value stays as reset.
    kPicker.Reset();
    const float afBeside[2] = {512.0f + 100.0f, 384.0f};
    kQuery.m_pfScreenPoint = afBeside;
    EXPECT_EQ(kPicker.Pick(kQuery), 0u);
    EXPECT_NEAR(kPicker.GetHitPoint().y, 0.0f, 1e-3f);
    EXPECT_EQ(kPicker.GetStaffAttachment(), nullptr);

    // A miss keeps the value of the last hit.
    kPicker.Reset();
    kQuery.m_pfScreenPoint = afCentre;
    EXPECT_EQ(kPicker.Pick(kQuery), 77u);
    const float afCorner[2] = {0.0f, 0.0f};
    kQuery.m_pfScreenPoint = afCorner;
    EXPECT_EQ(kPicker.Pick(kQuery), 77u);

    // Without a collision node nothing is picked.
    COrvaneWorld kBare;
    ASSERT_TRUE(kBare.LoadLevel(nullptr, nullptr));
    COrvaneWorldPicker kNone;
    kNone.Init(kBare, Camera());
    kQuery.m_pfScreenPoint = afCentre;
    EXPECT_EQ(kNone.Pick(kQuery), 0u);
    EXPECT_EQ(kNone.GetBestDistance(), FLT_MAX);
}

// A floor hung under the collision node before a post that stands on it
// (a building and a room later put inside it): the first object met in the
// node's order is found, though the post lies nearer the eye; the post
// hung first is found.
TEST_F(COrvaneWorldTest, PicksFindTheFirstObjectMetInTheNodesOrder)
{
    StartRenderer();
    WriteLevel("level.nif", {});
    COrvaneWorld kWorld;
    ASSERT_TRUE(kWorld.LoadLevel("level.nif", nullptr));
    NiRefPtr<NiNode> spBuilding = Owned(11);
    spBuilding->AttachChild(Square(8.0f, "building floor"));
    NiRefPtr<NiNode> spRoom = Owned(22);
    NiRefPtr<NiNode> spPost = Named("Staff_Root01");
    spRoom->AttachChild(spPost);
    spPost->AttachChild(Square(1.0f, "post"));
    NiAVObjectPtr spGround = kWorld.GetCollisionNode()->DetachChildAt(0);
    kWorld.GetCollisionNode()->AttachChild(spBuilding);
    kWorld.GetCollisionNode()->AttachChild(spRoom);
    kWorld.GetCollisionNode()->AttachChild(spGround);
    // The post a little above the floor, towards the eye above the level.
    LiftTowardsTheEye(kWorld, *spRoom, 0.5f);

    Camera().SetPosition(NiVec3(0.0f, 500.0f, 0.5f));
    ASSERT_TRUE(Camera().LookAt(NiVec3(0.0f, 0.0f, 0.0f)));
    COrvaneWorldPicker kPicker;
    kPicker.Init(kWorld, Camera());
    const float afCentre[2] = {512.0f, 384.0f};
    COrvanePickQuery kQuery;
    kQuery.m_pfScreenPoint = afCentre;
    EXPECT_EQ(kPicker.Pick(kQuery), 11u);
    EXPECT_NEAR(kPicker.GetHitPoint().y, 0.0f, 1e-3f);
    EXPECT_EQ(kPicker.GetStaffAttachment(), nullptr);

    // The room hung before the building: its post is found, with the post's
    // staff root.
    ASSERT_NE(kWorld.GetCollisionNode()->DetachChild(spBuilding), nullptr);
    ASSERT_NE(kWorld.GetCollisionNode()->DetachChild(spRoom), nullptr);
    ASSERT_NE(kWorld.GetCollisionNode()->DetachChild(spGround), nullptr);
    kWorld.GetCollisionNode()->AttachChild(spRoom);
    kWorld.GetCollisionNode()->AttachChild(spBuilding);
    kWorld.GetCollisionNode()->AttachChild(spGround);
    kWorld.GetSceneRoot()->Update(0.0f);
    kPicker.Reset();
    EXPECT_EQ(kPicker.Pick(kQuery), 22u);
    EXPECT_NEAR(kPicker.GetHitPoint().y, 0.5f, 1e-3f);
    ASSERT_NE(kPicker.GetStaffAttachment(), nullptr);
    EXPECT_EQ(kPicker.GetStaffAttachment()->GetObject(), spPost);
}

// Asked for the nearest, the pick finds what lies nearest the eye whatever
// the node's order: a building's floor hung before a room raised over it
// gives way to the room, and an owned plate at the ground's own height
// hung before the ground stays found where both meet the ray. The mode
// outlives a new Init, and off again the first object met is found.
TEST_F(COrvaneWorldTest, ANearestFirstPickFindsWhatLiesNearestTheEye)
{
    StartRenderer();
    WriteLevel("level.nif", {});
    COrvaneWorld kWorld;
    ASSERT_TRUE(kWorld.LoadLevel("level.nif", nullptr));
    NiRefPtr<NiNode> spBuilding = Owned(11);
    spBuilding->AttachChild(Square(8.0f, "building floor"));
    NiRefPtr<NiNode> spRoom = Owned(22);
    spRoom->AttachChild(Square(1.0f, "room"));
    NiAVObjectPtr spGround = kWorld.GetCollisionNode()->DetachChildAt(0);
    kWorld.GetCollisionNode()->AttachChild(spBuilding);
    kWorld.GetCollisionNode()->AttachChild(spRoom);
    kWorld.GetCollisionNode()->AttachChild(spGround);
    LiftTowardsTheEye(kWorld, *spRoom, 0.5f);

    Camera().SetPosition(NiVec3(0.0f, 500.0f, 0.5f));
    ASSERT_TRUE(Camera().LookAt(NiVec3(0.0f, 0.0f, 0.0f)));
    COrvaneWorldPicker kPicker;
    kPicker.SetNearestFirst(true);
    kPicker.Init(kWorld, Camera());
    EXPECT_TRUE(kPicker.IsNearestFirst());
    const float afCentre[2] = {512.0f, 384.0f};
    COrvanePickQuery kQuery;
    kQuery.m_pfScreenPoint = afCentre;
    EXPECT_EQ(kPicker.Pick(kQuery), 22u);
    EXPECT_NEAR(kPicker.GetHitPoint().y, 0.5f, 1e-3f);
    EXPECT_NEAR(kPicker.GetBestDistance(), 499.5f, 0.01f);

    // Beside the room: the building's floor. Sunk under the ground by less
    // than a rounding's worth, it still counts as level with the ground
    // and, hung before it, is found; sunk clearly under it, the ground is
    // the nearer and names nobody.
    const float afBeside[2] = {512.0f + 20.0f, 384.0f};
    kQuery.m_pfScreenPoint = afBeside;
    const auto SinkBuilding = [&](float fDepth) {
        spBuilding->SetTranslate(NiVec3(0.0f, 0.0f, -fDepth));
        kWorld.GetSceneRoot()->Update(0.0f);
        if (spBuilding->GetWorldTransform().m_kTranslate.y > 0.0f)
        {
            spBuilding->SetTranslate(NiVec3(0.0f, 0.0f, fDepth));
            kWorld.GetSceneRoot()->Update(0.0f);
        }
    };
    SinkBuilding(0.0f);
    kPicker.Reset();
    EXPECT_EQ(kPicker.Pick(kQuery), 11u);
    EXPECT_NEAR(kPicker.GetHitPoint().y, 0.0f, 1e-3f);
    SinkBuilding(0.0004f);
    kPicker.Reset();
    EXPECT_EQ(kPicker.Pick(kQuery), 11u);
    SinkBuilding(0.05f);
    kPicker.Reset();
    EXPECT_EQ(kPicker.Pick(kQuery), 0u);
    EXPECT_NEAR(kPicker.GetHitPoint().y, 0.0f, 1e-3f);
    SinkBuilding(0.0f);

    // Off the building: the ground, which names nobody.
    kPicker.Reset();
    const float afOff[2] = {512.0f + 60.0f, 384.0f};
    kQuery.m_pfScreenPoint = afOff;
    EXPECT_EQ(kPicker.Pick(kQuery), 0u);
    EXPECT_LT(kPicker.GetBestDistance(), FLT_MAX);

    // The first met again.
    kPicker.SetNearestFirst(false);
    kPicker.Reset();
    kQuery.m_pfScreenPoint = afCentre;
    EXPECT_EQ(kPicker.Pick(kQuery), 11u);
    EXPECT_NEAR(kPicker.GetHitPoint().y, 0.0f, 1e-3f);
}

namespace
{
TEST_F(COrvaneWorldTest, ARestrictedPickLooksOnlyInTheSceneNodeAndNamesNoOwner)
{
    StartRenderer();
    WriteLevel("level.nif", {});
    COrvaneWorld kWorld;
    ASSERT_TRUE(kWorld.LoadLevel("level.nif", nullptr));
    // An owned crate on the ground under the collision node.
    NiRefPtr<NiNode> spOwned = Owned(77);
    spOwned->AttachChild(Square(2.0f, "crate"));
    NiAVObjectPtr spGround = kWorld.GetCollisionNode()->DetachChildAt(0);
    kWorld.GetCollisionNode()->AttachChild(spOwned);
    kWorld.GetCollisionNode()->AttachChild(spGround);
    kWorld.GetSceneRoot()->Update(0.0f);

    // A flat quad in the world's scene, raised above the crate; it carries an
    // owner handle of its own, which a restricted pick must not read.
    std::unique_ptr<COrvaneSceneNode> pkQuad = CreateFlatQuad(8.0f, 8.0f);
    ASSERT_NE(pkQuad, nullptr);
    auto* pkQuadOwner = new NiIntegerExtraData(99);
    pkQuadOwner->SetName("Owner");
    pkQuad->GetSceneRoot()->AddExtraData(pkQuadOwner);
    ASSERT_TRUE(AttachSceneNodeToWorld(*pkQuad, kWorld, false));
    pkQuad->SetPosition(NiVec3(0.0f, 20.0f, 0.0f), false);
    pkQuad->ApplyChanges();
    kWorld.GetSceneRoot()->Update(0.0f);
    const float fQuadHeight = pkQuad->GetRoot()->GetWorldTransform().m_kTranslate.y;
    ASSERT_GT(std::abs(fQuadHeight), 5.0f);

    Camera().SetPosition(NiVec3(0.0f, 500.0f, 0.5f));
    ASSERT_TRUE(Camera().LookAt(NiVec3(0.0f, 0.0f, 0.0f)));
    COrvaneWorldPicker kPicker;
    kPicker.Init(kWorld, Camera());
    const float afCentre[2] = {512.0f, 384.0f};
    COrvanePickQuery kQuery;
    kQuery.m_pfScreenPoint = afCentre;
    // Unrestricted: the collision geometry only, the crate's owner.
    EXPECT_EQ(kPicker.Pick(kQuery), 77u);
    EXPECT_NEAR(kPicker.GetHitPoint().y, 0.0f, 1e-3f);

    // Restricted: the quad is hit, the value stays, no staff attachment.
    kPicker.Reset();
    kQuery.m_pkRestrict = pkQuad.get();
    EXPECT_EQ(kPicker.Pick(kQuery), 0u);
    EXPECT_NEAR(kPicker.GetHitPoint().y, fQuadHeight, 1e-3f);
    EXPECT_NEAR(kPicker.GetBestDistance(), 500.0f - fQuadHeight, 0.01f);
    EXPECT_EQ(kPicker.GetStaffAttachment(), nullptr);

    // Beside the quad (the ground and crate are still under the ray's end):
    // a miss, nothing changes.
    kPicker.Reset();
    const float afBeside[2] = {512.0f + 200.0f, 384.0f};
    kQuery.m_pfScreenPoint = afBeside;
    EXPECT_EQ(kPicker.Pick(kQuery), 0u);
    EXPECT_EQ(kPicker.GetBestDistance(), FLT_MAX);

    ASSERT_TRUE(DetachSceneNodeFromWorld(*pkQuad, kWorld));
}
} // namespace

namespace
{
// An object whose model shares the given parts.
class PartsObject : public COrvaneObject
{
public:
    explicit PartsObject(std::initializer_list<NiAVObject*> kParts) { m_kSharedParts.assign(kParts); }
};

TEST_F(COrvaneWorldTest, SharedPartsAreUpdatedOncePerNameFamily)
{
    COrvaneWorld kWorld;
    ASSERT_TRUE(kWorld.LoadLevel(nullptr, nullptr));
    NiRefPtr<NiNode> spWheelA = Named("wheel01");
    NiRefPtr<NiNode> spWheelB = Named("wheel02");
    NiRefPtr<NiNode> spDoor = Named("door01");
    NiRefPtr<NiNode> spLamp = Named("lamp01");

    PartsObject kFirst{spWheelA, spLamp};
    PartsObject kSecond{spWheelB};
    PartsObject kThird{spDoor};
    PartsObject kNone{};
    PartsObject kNull{nullptr, spLamp};
    for (PartsObject* pkObject : {&kFirst, &kSecond, &kThird, &kNone, &kNull, &kFirst})
        kWorld.AttachSharedParts(*pkObject);
    // Only first parts join; "wheel02" is the family of "wheel01"; a null
    // first part or an empty list add nothing; a second call adds nothing.
    EXPECT_EQ(kWorld.GetSharedParts(), (std::list<NiAVObject*>{spWheelA, spDoor}));

    // Each listed part is updated with the world's objects.
    spWheelA->SetTranslate(NiVec3(1.0f, 2.0f, 3.0f));
    spLamp->SetTranslate(NiVec3(4.0f, 5.0f, 6.0f));
    kWorld.UpdateObjects(0.5f);
    EXPECT_EQ(spWheelA->GetWorldTransform().m_kTranslate, NiVec3(1.0f, 2.0f, 3.0f));
    EXPECT_EQ(spLamp->GetWorldTransform().m_kTranslate, NiVec3());
}
} // namespace

#include "framework/COrvaneComposite.h"

namespace
{
// The level's scene is turned to stand its Z-up file upright; a model hung
// there directly is placed in that turned frame, an upright one in the
// world's own axes, so its world position is its placement exactly.
TEST_F(COrvaneWorldTest, AnUprightModelStandsWhereItIsPlacedInTheTurnedLevel)
{
    WriteLevel("level.nif", {});
    COrvaneWorld kWorld;
    ASSERT_TRUE(kWorld.LoadLevel("level.nif", nullptr));
    const auto Load = [](COrvaneComposite& kModel) {
        NiRefPtr<NiNode> spRoot = Named("Scene Root");
        spRoot->AttachChild(Named("Model"));
        COrvaneModelSource kSource;
        kSource.m_kName = "models/a.nif|Scene Root";
        kSource.m_pkPrebuilt = spRoot;
        kModel.Load(kSource);
    };
    COrvaneComposite kTurned, kUpright, kCarried;
    Load(kTurned);
    Load(kUpright);
    Load(kCarried);
    ASSERT_TRUE(AttachModelToWorld(kTurned, kWorld, true));
    ASSERT_TRUE(AttachModelToWorld(kUpright, kWorld, true, true));
    ASSERT_TRUE(AttachModelToWorld(kCarried, kWorld, false, true));
    // One upright node under each parent, made once.
    NiNode* pkUnderCollision = kWorld.GetUprightNode(true);
    NiNode* pkUnderRoot = kWorld.GetUprightNode(false);
    ASSERT_NE(pkUnderCollision, nullptr);
    ASSERT_NE(pkUnderRoot, nullptr);
    EXPECT_NE(pkUnderCollision, pkUnderRoot);
    EXPECT_EQ(kWorld.GetUprightNode(true), pkUnderCollision);
    EXPECT_EQ(pkUnderCollision->GetParent(), kWorld.GetCollisionNode());
    EXPECT_EQ(pkUnderRoot->GetParent(), kWorld.GetSceneRoot());
    EXPECT_EQ(kUpright.GetRoot()->GetParent(), pkUnderCollision);
    EXPECT_EQ(kCarried.GetRoot()->GetParent(), pkUnderRoot);

    const NiVec3 kAt(3.0f, 0.0f, -7.0f);
    for (COrvaneComposite* pkModel : {&kTurned, &kUpright, &kCarried})
    {
        pkModel->SetPosition(kAt, 0);
        pkModel->Update(0.0f);
    }
    kWorld.UpdateScene(0.0f);
    // Exactly: the position goes into saves and back.
    EXPECT_EQ(*kUpright.GetPosition(), kAt);
    EXPECT_EQ(*kCarried.GetPosition(), kAt);
    EXPECT_EQ(kUpright.GetRoot()->GetWorldTransform().m_kRotate, NiMatrix3x3::IDENTITY);
    // The turned one shows depth as height.
    EXPECT_NEAR(std::fabs(kTurned.GetPosition()->y), 7.0f, 1e-4f);
    EXPECT_NEAR(kTurned.GetPosition()->z, 0.0f, 1e-4f);

    // Without a scene there is nothing to hang from.
    COrvaneWorld kEmpty;
    EXPECT_EQ(kEmpty.GetUprightNode(false), nullptr);
    COrvaneComposite kLost;
    Load(kLost);
    EXPECT_FALSE(AttachModelToWorld(kLost, kEmpty, false, true));
    for (COrvaneComposite* pkModel : {&kTurned, &kUpright, &kCarried})
        EXPECT_TRUE(DetachModelFromWorld(*pkModel));
}
} // namespace
