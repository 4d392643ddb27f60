#include "framework/COrvaneComposite.h"

#include "engine/animation/NiBoneLODController.h"
#include "engine/animation/NiControllerManager.h"
#include "engine/animation/NiControllerSequence.h"
#include "engine/animation/NiMultiTargetTransformController.h"
#include "engine/core/NiObjectStream.h"
#include "engine/render/NiSourceTexture.h"
#include "engine/scene/NiCamera.h"
#include "engine/scene/NiIntegerExtraData.h"
#include "engine/scene/NiNode.h"
#include "engine/scene/NiNodeAttachment.h"
#include "engine/scene/NiStringExtraData.h"
#include "engine/scene/NiTexturingProperty.h"
#include "framework/COrvaneAnim.h"
#include "framework/COrvaneCamera.h"
#include "framework/COrvaneCompositeImpl.h"
#include "framework/COrvaneGame.h"
#include "framework/COrvaneSceneLink.h"
#include "framework/COrvaneUserPropScan.h"
#include "tests/framework/FrameworkTestSupport.h"
#include "tools/COrvaneDemoModel.h"

#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

namespace
{
NiRefPtr<NiNode> Node(const char* pcName, NiNode* pkParent = nullptr)
{
    NiRefPtr<NiNode> sp = new NiNode;
    sp->SetName(pcName);
    if (pkParent)
        pkParent->AttachChild(sp);
    return sp;
}

void AddText(NiAVObject& kObject, const char* pcName, const char* pcText)
{
    NiStringExtraData* pkText = new NiStringExtraData(pcText);
    pkText->SetName(pcName);
    kObject.AddExtraData(pkText);
}

std::int32_t OwnerOf(NiNode& kRoot)
{
    auto* pkOwner = NiDynamicCast<NiIntegerExtraData>(kRoot.GetExtraData("Owner"));
    return pkOwner ? pkOwner->GetValue() : -1;
}

class COrvaneCompositeTest : public EngineFrameworkTest
{
protected:
    // "Scene Root" > "Model" (turned 90 degrees about y, at (1, 2, 3)) >
    // "Root" with two bones, and "head1", "head2" each over a shape node.
    static NiRefPtr<NiNode> MakeModel()
    {
        NiRefPtr<NiNode> spRoot = Node("Scene Root");
        NiRefPtr<NiNode> spModel = Node("Model", spRoot);
        NiMatrix3x3 kTurn;
        kTurn.MakeYRotation(1.5707964f);
        spModel->SetRotate(kTurn);
        spModel->SetTranslate(NiVec3(1.0f, 2.0f, 3.0f));
        NiRefPtr<NiNode> spBones = Node("Root", spModel);
        Node("Pelvis", spBones);
        Node("Spine", spBones);
        for (int i = 1; i <= 2; ++i)
        {
            std::string kName = "head" + std::to_string(i);
            NiRefPtr<NiNode> spHead = Node(kName.c_str(), spModel);
            spHead->SetTranslate(NiVec3(static_cast<float>(i), 0.0f, 0.0f));
            NiRefPtr<NiNode> spShape = Node((kName + "_shape").c_str(), spHead);
            spShape->AttachProperty(new NiTexturingProperty(("head" + std::to_string(i) + ".tga").c_str()));
        }
        return spRoot;
    }

    static void LoadPrebuilt(COrvaneComposite& kModel, NiNode* pkNode, const char* pcName = "models/a.nif|Scene Root")
    {
        COrvaneModelSource kSource;
        kSource.m_kName = pcName;
        kSource.m_pkPrebuilt = pkNode;
        kModel.Load(kSource);
    }

    static void LoadClone(COrvaneComposite& kModel, COrvaneComposite& kSource, bool bClone = true)
    {
        COrvaneModelSource kFrom;
        kFrom.m_kName = kSource.GetName();
        kFrom.m_kEntries.push_back(&kSource);
        kFrom.m_bClone = bClone;
        kModel.Load(kFrom);
    }

    // The demo person written to the test folder and loaded into kSource
    // with its two animations ("idle", "walk"), kModel a clone of it.
    void LoadDemoPerson(COrvaneComposite& kSource, COrvaneComposite& kModel,
                        std::vector<std::unique_ptr<COrvaneAnim>>& kAnims)
    {
        ASSERT_TRUE(WriteDemoModel(Folder().string()));
        NiObjectStream kModelFile;
        ASSERT_TRUE(kModelFile.LoadFile("prisoner.nif"));
        NiRefPtr<NiNode> spRoot = Node("Scene Root");
        spRoot->AttachChild(NiDynamicCast<NiNode>(kModelFile.GetObjectAt(0)));
        NiObjectStream kAnimations;
        ASSERT_TRUE(kAnimations.LoadFile("prisoner.kf"));
        for (std::uint32_t i = 0; i < kAnimations.GetObjectCount(); ++i)
        {
            auto pkAnim = std::make_unique<COrvaneAnim>();
            COrvaneAnimDesc kDesc;
            kDesc.m_kName = std::string("people/") + NiDynamicCast<NiControllerSequence>(kAnimations.GetObjectAt(i))->GetName();
            kDesc.m_pkObject = kAnimations.GetObjectAt(i);
            pkAnim->Load(kDesc);
            kAnims.push_back(std::move(pkAnim));
        }
        ASSERT_EQ(kAnims.size(), 2u);
        LoadPrebuilt(kSource, spRoot, "models/prisoner.nif|Scene Root");
        LoadClone(kModel, kSource);
    }
};

class CameraGame : public COrvaneGame
{
public:
    // A camera at the origin looking down +x.
    CameraGame()
    {
        auto pkCamera = std::make_unique<COrvaneCamera>();
        EXPECT_TRUE(pkCamera->LoadSettings(0.0f, 0.0f, 0.0f));
        NiCamera* pkEngine = pkCamera->GetEngineCamera();
        pkEngine->SetRotate(NiMatrix3x3::IDENTITY);
        pkEngine->SetTranslate(NiVec3::ZERO);
        pkEngine->Update(0.0f);
        SetCamera(std::move(pkCamera));
    }
};
} // namespace

TEST_F(COrvaneCompositeTest, PrebuiltLoadMovesTheModelTurnOntoTheRootAndTagsTheOwner)
{
    NiRefPtr<NiNode> spNode = MakeModel();
    AddText(*spNode, "A", "kept");
    spNode->AddExtraData([] {
        auto* pk = new NiIntegerExtraData(77);
        pk->SetName("Owner");
        return pk;
    }());
    COrvaneComposite kModel;
    LoadPrebuilt(kModel, spNode);
    EXPECT_STREQ(kModel.GetName(), "models/a.nif|Scene Root");
    EXPECT_EQ(kModel.GetRoot(), spNode.Get());
    ASSERT_NE(kModel.GetModelObject(), nullptr);
    EXPECT_STREQ(kModel.GetModelObject()->GetName(), "Model");
    EXPECT_EQ(kModel.GetModelObject()->GetRotate(), NiMatrix3x3::IDENTITY);
    NiMatrix3x3 kTurn;
    kTurn.MakeYRotation(1.5707964f);
    NiVec3 kX = spNode->GetRotate() * NiVec3(1.0f, 0.0f, 0.0f);
    NiVec3 kWant = kTurn * NiVec3(1.0f, 0.0f, 0.0f);
    EXPECT_NEAR(kX.x, kWant.x, 1e-5f); // the quarter turn, now on the root
    EXPECT_NEAR(kX.z, kWant.z, 1e-5f);
    EXPECT_NEAR(std::fabs(kX.z), 1.0f, 1e-5f);
    // Only the old "Owner" went; the entry at index 0 stays.
    EXPECT_NE(spNode->GetExtraData("A"), nullptr);
    EXPECT_EQ(spNode->GetExtraDataSize(), 2u);
    EXPECT_EQ(static_cast<std::uint32_t>(OwnerOf(*spNode)), kModel.GetHandle());
    EXPECT_EQ(COrvaneComposite::FromHandle(kModel.GetHandle()), &kModel);
    EXPECT_EQ(kModel.GetBoneLODController(), nullptr);
}

TEST_F(COrvaneCompositeTest, ClonesAreOwnedByTheirNewCompositeAndHandlesDieWithIt)
{
    NiRefPtr<NiNode> spNode = MakeModel();
    COrvaneComposite kSource;
    LoadPrebuilt(kSource, spNode);
    std::uint32_t uiHandle = 0;
    {
        COrvaneComposite kCopy;
        LoadClone(kCopy, kSource);
        ASSERT_NE(kCopy.GetRoot(), nullptr);
        EXPECT_NE(kCopy.GetRoot(), spNode.Get());
        EXPECT_STREQ(kCopy.GetRoot()->GetName(), "Scene Root"); // names copied
        EXPECT_STREQ(kCopy.GetModelObject()->GetName(), "Model");
        uiHandle = kCopy.GetHandle();
        EXPECT_NE(uiHandle, kSource.GetHandle());
        EXPECT_EQ(static_cast<std::uint32_t>(OwnerOf(*kCopy.GetRoot())), uiHandle);
        EXPECT_EQ(kCopy.GetRoot()->GetExtraDataSize(), 1u);
        EXPECT_EQ(COrvaneComposite::FromHandle(uiHandle), &kCopy);
    }
    EXPECT_EQ(COrvaneComposite::FromHandle(uiHandle), nullptr);
    EXPECT_EQ(COrvaneComposite::FromHandle(kSource.GetHandle()), &kSource);
    EXPECT_EQ(COrvaneComposite::FromHandle(0), nullptr);
    EXPECT_EQ(COrvaneComposite::FromHandle(999), nullptr);

    // Without the clone flag nothing of the source is taken.
    COrvaneComposite kShared;
    LoadClone(kShared, kSource, false);
    EXPECT_EQ(kShared.GetRoot(), nullptr);
    EXPECT_EQ(kShared.GetModelObject(), nullptr);
    kShared.SetVisible(false);
    kShared.Update(0.0f);
    EXPECT_FALSE(kShared.IsVisible());
}

TEST_F(COrvaneCompositeTest, BoneLODControllerIsFoundOnlyOnTheFirstMarkedBone)
{
    NiRefPtr<NiNode> spNode = MakeModel();
    NiNode* pkBones = NiDynamicCast<NiNode>(spNode->GetObjectByName("Root"));
    ASSERT_NE(pkBones, nullptr);
    NiAVObject* pkPelvis = pkBones->GetAt(0);
    NiAVObject* pkSpine = pkBones->GetAt(1);
    AddText(*pkSpine, "UserPropBuffer", "x NiBoneLOD#BoneRoot# y");
    NiRefPtr<NiBoneLODController> spController = new NiBoneLODController;
    spController->SetNumberOfBoneLODs(3);
    spController->SetTarget(pkSpine);

    COrvaneComposite kSource;
    LoadPrebuilt(kSource, spNode);
    COrvaneComposite kCopy;
    LoadClone(kCopy, kSource);
    NiBoneLODController* pkFound = kCopy.GetBoneLODController();
    ASSERT_NE(pkFound, nullptr);
    EXPECT_NE(pkFound, spController.Get());

    // A marked bone before it without a controller ends the search.
    AddText(*pkPelvis, "UserPropBuffer", "NiBoneLOD#BoneRoot#");
    COrvaneComposite kSecond;
    LoadClone(kSecond, kSource);
    EXPECT_EQ(kSecond.GetBoneLODController(), nullptr);
}

TEST_F(COrvaneCompositeTest, BoneLevelFollowsTheDepthInFrontOfTheCamera)
{
    NiRefPtr<NiNode> spNode = MakeModel();
    NiNode* pkSpine = NiDynamicCast<NiNode>(spNode->GetObjectByName("Spine"));
    AddText(*pkSpine, "UserPropBuffer", "NiBoneLOD#BoneRoot#");
    NiRefPtr<NiBoneLODController> spController = new NiBoneLODController;
    spController->SetNumberOfBoneLODs(3);
    spController->SetTarget(pkSpine);
    COrvaneComposite kSource;
    LoadPrebuilt(kSource, spNode);
    COrvaneComposite kModel;
    LoadClone(kModel, kSource);
    NiBoneLODController* pkLOD = kModel.GetBoneLODController();
    ASSERT_NE(pkLOD, nullptr);

    // No game camera: level 0.
    kModel.Update(0.0f);
    EXPECT_EQ(pkLOD->GetBoneLOD(), 0);

    CameraGame kGame;
    COrvaneComposite::SetGame(&kGame);
    auto LevelAt = [&](float fX) {
        kModel.GetRoot()->SetTranslate(NiVec3(fX, 7.0f, -3.0f));
        kModel.Update(0.0f);
        return pkLOD->GetBoneLOD();
    };
    EXPECT_EQ(LevelAt(49.9f), 1);
    EXPECT_EQ(LevelAt(50.0f), 2);
    EXPECT_EQ(LevelAt(149.0f), 2);
    EXPECT_EQ(LevelAt(-20.0f), 1); // behind the camera
    // Level 3 equals the count: the controller keeps its level.
    EXPECT_EQ(LevelAt(150.0f), 1);
    EXPECT_EQ(COrvaneCompositeImpl::LevelForDepth(150.0f), 3);
}

TEST_F(COrvaneCompositeTest, RotationsAndPositionsWaitForTheUpdate)
{
    NiRefPtr<NiNode> spNode = MakeModel();
    COrvaneComposite kModel;
    LoadPrebuilt(kModel, spNode);
    NiAVObject* pkObject = kModel.GetModelObject();

    kModel.Rotate(NiVec3::UNIT_Y, 10.0f, 1);
    kModel.Rotate(NiVec3::UNIT_Y, 20.0f, 1);
    EXPECT_FLOAT_EQ(kModel.GetAccumulatedAngle(), 30.0f);
    kModel.Rotate(NiVec3::UNIT_Y, 5.0f, 0);
    EXPECT_FLOAT_EQ(kModel.GetAccumulatedAngle(), 5.0f);

    // Mode 1 puts the new turn before the pending one, mode 2 after it.
    kModel.Rotate(NiVec3::UNIT_X, 90.0f, 0);
    kModel.Rotate(NiVec3::UNIT_Z, 90.0f, 1);
    NiMatrix3x3 kX, kZ;
    kX.MakeAxisRotation(90.0f * 0.017453292f, NiVec3::UNIT_X);
    kZ.MakeAxisRotation(90.0f * 0.017453292f, NiVec3::UNIT_Z);
    EXPECT_EQ(pkObject->GetRotate(), NiMatrix3x3::IDENTITY); // still pending
    kModel.Update(0.0f);
    EXPECT_TRUE(pkObject->GetRotate() == kZ * kX);
    EXPECT_NE(pkObject->GetFlags() & 0x4, 0);
    kModel.Rotate(NiVec3::UNIT_Z, 90.0f, 2);
    kModel.Update(0.0f);
    EXPECT_TRUE(pkObject->GetRotate() == kZ * kX * kZ);

    // Relative moves start from the model object's place and add up.
    kModel.SetPosition(NiVec3(1.0f, 0.0f, 0.0f), 1);
    kModel.SetPosition(NiVec3(0.0f, 1.0f, 0.0f), 1);
    EXPECT_EQ(*kModel.GetPosition(), NiVec3(2.0f, 3.0f, 3.0f));
    kModel.Update(0.0f);
    EXPECT_EQ(pkObject->GetTranslate(), NiVec3(2.0f, 3.0f, 3.0f));
    kModel.SetPosition(NiVec3(0.0f, 0.0f, 1.0f), 1);
    kModel.Update(0.0f);
    EXPECT_EQ(pkObject->GetTranslate(), NiVec3(2.0f, 3.0f, 4.0f));
    // Nothing pending: bit 2 clears.
    kModel.Update(0.0f);
    EXPECT_EQ(pkObject->GetFlags() & 0x4, 0);
    kModel.SetPosition(NiVec3(9.0f, 9.0f, 9.0f), 0);
    kModel.Update(0.0f);
    spNode->Update(0.0f);
    EXPECT_EQ(*kModel.GetPosition(), pkObject->GetWorldTransform().m_kTranslate);
}

TEST_F(COrvaneCompositeTest, SequencesPlayByTheNameAfterTheLastSlash)
{
    COrvaneComposite kSource;
    COrvaneComposite kModel;
    std::vector<std::unique_ptr<COrvaneAnim>> kAnims;
    LoadDemoPerson(kSource, kModel, kAnims);
    if (HasFatalFailure())
        return;
    EXPECT_EQ(kModel.GetSequenceLength(), 0.0f);
    kModel.CreateControllerManager();
    std::vector<COrvaneAnim*> kList{kAnims[0].get(), kAnims[1].get()};
    kModel.AddSequences(kList);
    EXPECT_TRUE(kList.empty());
    NiControllerManager* pkManager = kModel.GetControllerManager();
    ASSERT_NE(pkManager, nullptr);
    ASSERT_EQ(pkManager->GetSequenceCount(), 2u);
    // Clones, not the pooled sequences.
    EXPECT_NE(pkManager->GetSequenceAt(0), kAnims[0]->GetSequence());
    NiControllerSequence* pkIdle = kModel.GetActiveSequence();
    ASSERT_NE(pkIdle, nullptr);
    EXPECT_STREQ(pkIdle->GetName(), "idle");
    EXPECT_NE(pkIdle->GetState(), NiControllerSequence::INACTIVE);
    EXPECT_FLOAT_EQ(kModel.GetSequenceLength(), 2.0f);

    kModel.PlaySequence(kAnims[1].get(), false);
    NiControllerSequence* pkWalk = kModel.GetActiveSequence();
    ASSERT_NE(pkWalk, nullptr);
    EXPECT_STREQ(pkWalk->GetName(), "walk");
    EXPECT_EQ(pkIdle->GetState(), NiControllerSequence::INACTIVE);
    EXPECT_FLOAT_EQ(kModel.GetSequenceLength(), 1.0f);
    kModel.UpdateNode(0.5f);

    // Kept: the walk plays on beside the idle.
    kModel.PlaySequence(kAnims[0].get(), true);
    EXPECT_NE(pkWalk->GetState(), NiControllerSequence::INACTIVE);
    kModel.StopSequence("walk");
    EXPECT_EQ(pkWalk->GetState(), NiControllerSequence::INACTIVE);
    EXPECT_EQ(pkWalk->GetTimeOffset(), COrvaneCompositeImpl::UNSET_TIME);
    EXPECT_EQ(kModel.GetActiveSequence(), pkIdle);
    kModel.ResetSequenceTime();
    EXPECT_EQ(pkIdle->GetTimeOffset(), COrvaneCompositeImpl::UNSET_TIME);

    COrvaneAnim kUnknown;
    kUnknown.SetName("people/run");
    kModel.PlaySequence(&kUnknown, false);
    EXPECT_EQ(kModel.GetActiveSequence(), nullptr);
    EXPECT_EQ(pkIdle->GetState(), NiControllerSequence::INACTIVE);
    EXPECT_EQ(kModel.GetSequenceLength(), 0.0f);
    kModel.RestartSequence();
    kModel.UpdateAtSequenceEnd();
}

TEST_F(COrvaneCompositeTest, NodeVisitsMatchBySubstringBelowTheRoot)
{
    NiRefPtr<NiNode> spNode = MakeModel();
    COrvaneComposite kModel;
    LoadPrebuilt(kModel, spNode);

    std::vector<NiNode*> kNodes;
    kModel.CollectNodes("Scene", kNodes, false);
    EXPECT_TRUE(kNodes.empty()); // the root itself is not offered
    kModel.CollectNodes("", kNodes, false);
    EXPECT_TRUE(kNodes.empty());
    kModel.CollectNodes("head", kNodes, true);
    ASSERT_EQ(kNodes.size(), 4u); // head1, its shape node, head2, its shape node
    EXPECT_STREQ(kNodes[0]->GetName(), "head1");
    EXPECT_STREQ(kNodes[1]->GetName(), "head1_shape");
    EXPECT_NE(kNodes[0]->GetFlags() & 1, 0);
    kNodes.clear();
    kModel.CollectNodes("HEAD", kNodes, false);
    EXPECT_TRUE(kNodes.empty());

    std::vector<NiVec3> kPoints;
    kModel.CollectNodePositions("head", kPoints, false);
    ASSERT_EQ(kPoints.size(), 4u);
    EXPECT_EQ(kPoints[2], NiVec3(2.0f, 0.0f, 0.0f));

    // Index 0 shows every match and re-textures nothing.
    kModel.SelectVariant("head", false, 0);
    NiAVObject* pkHead1 = spNode->GetObjectByName("head1");
    NiAVObject* pkHead2 = spNode->GetObjectByName("head2");
    EXPECT_EQ(pkHead1->GetFlags() & 1, 0);
    EXPECT_EQ(pkHead2->GetFlags() & 1, 0);
    // Index 2 hides head1 and shows head2.
    kModel.SelectVariant("head", false, 2);
    EXPECT_NE(pkHead1->GetFlags() & 1, 0);
    EXPECT_EQ(pkHead2->GetFlags() & 1, 0);

    kModel.SetVisible(false);
    EXPECT_FALSE(kModel.IsVisible());
    EXPECT_NE(spNode->GetFlags() & 1, 0);
    kModel.SetVisible(true);
    EXPECT_TRUE(kModel.IsVisible());

    COrvaneSceneLink kRecord;
    EXPECT_EQ(kModel.ProvideRoot(kRecord), 1);
    EXPECT_EQ(kRecord.m_pkNode, spNode.Get());
    EXPECT_EQ(kModel.ProvideRoot(kRecord), 0);
    EXPECT_EQ(kRecord.m_pkNode, spNode.Get());

    std::vector<std::unique_ptr<NiNodeAttachment>> kAttachments;
    std::vector<NiNode*> kHeads{NiDynamicCast<NiNode>(pkHead1)};
    kModel.MakeAttachments(kHeads, kAttachments);
    ASSERT_EQ(kAttachments.size(), 1u);
    EXPECT_EQ(kAttachments[0]->GetObject(), pkHead1);
    EXPECT_EQ(kAttachments[0]->GetNode(), kModel.GetModelObject());
}

TEST_F(COrvaneCompositeTest, VariantsShareTheChosenTextureWithOtherParts)
{
    NiRefPtr<NiNode> spNode = MakeModel();
    // A body part outside the heads wearing head texture 1.
    NiRefPtr<NiNode> spBody = Node("body", NiDynamicCast<NiNode>(spNode->GetAt(0)));
    NiRefPtr<NiNode> spSkin = Node("skin", spBody);
    spSkin->AttachProperty(new NiTexturingProperty("head1.tga"));
    COrvaneComposite kModel;
    LoadPrebuilt(kModel, spNode);
    auto* pkHead2Shape = spNode->GetObjectByName("head2_shape");
    NiProperty* pkChosen = pkHead2Shape->GetProperty(NiProperty::TEXTURING);
    ASSERT_NE(pkChosen, nullptr);
    kModel.SelectVariant("head", true, 2); // keep: nothing changes
    EXPECT_NE(spSkin->GetProperty(NiProperty::TEXTURING), pkChosen);
    kModel.SelectVariant("head", false, 2);
    EXPECT_EQ(spSkin->GetProperty(NiProperty::TEXTURING), pkChosen);
}

TEST_F(COrvaneCompositeTest, UserPropertyTextsComeChildrenFirstKindOneThenTwo)
{
    NiRefPtr<NiNode> spRoot = Node("Scene Root");
    NiRefPtr<NiNode> spModel = Node("Model", spRoot);
    NiRefPtr<NiNode> spA = Node("a", spModel);
    NiRefPtr<NiNode> spB = Node("b", spA);
    NiRefPtr<NiNode> spC = Node("c", spModel);
    NiRefPtr<NiNode> spD = Node("d", spModel);
    AddText(*spModel, "p", "model\r\nrest");
    AddText(*spA, "p", "door\r\nsecond line");
    AddText(*spA, "q", "later entry");
    AddText(*spB, "p", "bed\nno cr");
    AddText(*spC, "p", "\nleading line feed");
    AddText(*spD, "p", "plain");
    COrvaneComposite kModel;
    LoadPrebuilt(kModel, spRoot);

    std::vector<std::string> kSeen;
    COrvaneUserPropScan kScan;
    kScan.Scan(kModel, [&](const char* pcText, int iKind, NiAVObject* pkNode) {
        kSeen.push_back(std::to_string(iKind) + ":" + pkNode->GetName() + ":" + pcText);
        return pkNode != spB.Get();
    });
    std::vector<std::string> kExpected{"1:b:bed",   "1:a:door",   "1:c:\nleading line feed",
                                       "1:d:plain", "1:Model:model"};
    std::vector<std::string> kTwice = kExpected;
    for (const std::string& k : kExpected)
        kTwice.push_back("2" + k.substr(1));
    EXPECT_EQ(kSeen, kTwice);
    // Only the kind-2 refusal is kept.
    ASSERT_EQ(kScan.GetNodes().size(), 1u);
    EXPECT_EQ(kScan.GetNodes()[0]->GetObject(), spB.Get());
    kScan.Clear();
    EXPECT_TRUE(kScan.GetNodes().empty());

    std::string kText;
    EXPECT_FALSE(COrvaneUserPropScan::NodeText(*spRoot, kText)); // only an integer "Owner"
    NiRefPtr<NiNode> spE = Node("e");
    AddText(*spE, "p", "a.nif\n");
    ASSERT_TRUE(COrvaneUserPropScan::NodeText(*spE, kText));
    EXPECT_EQ(kText, "a.nif");
}

TEST_F(COrvaneCompositeTest, ModelWithoutSceneKeepsABarePosition)
{
    COrvaneComposite kModel;
    EXPECT_EQ(kModel.GetRoot(), nullptr);
    kModel.SetPosition(NiVec3(1.0f, 2.0f, 3.0f), 0);
    kModel.SetPosition(NiVec3(1.0f, 0.0f, 0.0f), 1);
    kModel.Update(0.0f);
    EXPECT_EQ(*kModel.GetPosition(), NiVec3(2.0f, 2.0f, 3.0f));
    EXPECT_FALSE(kModel.IsVisible());
    kModel.UpdateNode(0.0f);
    kModel.CreateControllerManager();
    EXPECT_EQ(kModel.GetControllerManager(), nullptr);
    EXPECT_EQ(kModel.GetSequenceLength(), 0.0f);
    EXPECT_EQ(kModel.Reset(), 0);
}

TEST_F(COrvaneCompositeTest, AStillModelKeepsItsPoseAndRunsOnWhenAnimatedAgain)
{
    std::vector<std::unique_ptr<COrvaneAnim>> kAnims;
    COrvaneComposite kSource;
    COrvaneComposite kModel;
    ASSERT_NO_FATAL_FAILURE(LoadDemoPerson(kSource, kModel, kAnims));
    NiNode* pkRoot = kModel.GetRoot();
    ASSERT_NE(pkRoot, nullptr);
    NiAVObject* pkArm = pkRoot->GetObjectByName("LeftArm");
    ASSERT_NE(pkArm, nullptr);
    // Still before its animations come: those made then stand too.
    kModel.SetAnimated(false);
    kModel.CreateControllerManager();
    std::vector<COrvaneAnim*> kBoth{kAnims[0].get(), kAnims[1].get()};
    kModel.AddSequences(kBoth);
    kModel.PlaySequence(kAnims[1].get(), false);
    NiControllerManager* pkManager = kModel.GetControllerManager();
    ASSERT_NE(pkManager, nullptr);
    // Still, the model object's list is off it: no pass visits the bones.
    EXPECT_EQ(kModel.GetModelObject()->GetControllers(), nullptr);
    kModel.SetAnimated(true);
    // Given back whole: the manager, then the one bones' controller the
    // binding made (not one more for a list it could not see).
    const auto ListOf = [&kModel] {
        std::vector<NiTimeController*> kList;
        for (NiTimeController* pk = kModel.GetModelObject()->GetControllers(); pk != nullptr; pk = pk->GetNext())
            kList.push_back(pk);
        return kList;
    };
    const std::vector<NiTimeController*> kList = ListOf();
    ASSERT_EQ(kList.size(), 2u);
    EXPECT_EQ(kList[0], pkManager);
    EXPECT_NE(NiDynamicCast<NiMultiTargetTransformController>(kList[1]), nullptr);
    EXPECT_TRUE(pkManager->GetActive());

    // The walk's clock starts at 0; a quarter of the way through the arm
    // swings furthest, half way through it hangs.
    pkRoot->Update(0.0f);
    pkRoot->Update(0.25f);
    const NiMatrix3x3 kQuarter = pkArm->GetRotate();
    kModel.SetAnimated(false);
    kModel.SetAnimated(false);
    EXPECT_EQ(kModel.GetModelObject()->GetControllers(), nullptr);
    pkRoot->Update(0.5f);
    EXPECT_EQ(pkArm->GetRotate(), kQuarter);

    kModel.SetAnimated(true);
    EXPECT_EQ(ListOf(), kList);
    pkRoot->Update(0.5f);
    EXPECT_NE(pkArm->GetRotate(), kQuarter);

    // A controller that was off before stays off.
    pkManager->SetActive(false);
    kModel.SetAnimated(false);
    kModel.SetAnimated(true);
    EXPECT_FALSE(pkManager->GetActive());

    // A manager made while still joins the list given back in front, as it
    // would had the model never been still (the old one cannot leave its
    // target).
    kModel.SetAnimated(false);
    kModel.CreateControllerManager();
    EXPECT_EQ(kModel.GetModelObject()->GetControllers(), nullptr);
    kModel.SetAnimated(true);
    std::vector<NiTimeController*> kAfter = ListOf();
    ASSERT_EQ(kAfter.size(), kList.size() + 1);
    EXPECT_EQ(kAfter[0], kModel.GetControllerManager());
    EXPECT_TRUE(std::equal(kList.begin(), kList.end(), kAfter.begin() + 1));
}

TEST_F(COrvaneCompositeTest, AModelWorkedOutOnDemandIsReadWhereTheLastPassPutIt)
{
    // Two people in two turned worlds, one worked out on demand (set before
    // its model is loaded: later roots take it too), one by every pass.
    NiMatrix3x3 kTurn;
    kTurn.MakeXRotation(-1.5707964f);
    NiRefPtr<NiNode> aspWorld[2] = {Node("World A"), Node("World B")};
    COrvaneComposite akModel[2];
    akModel[0].SetWorldOnDemand(true);
    for (int i = 0; i < 2; ++i)
    {
        aspWorld[i]->SetRotate(kTurn);
        LoadPrebuilt(akModel[i], MakeModel());
        aspWorld[i]->AttachChild(akModel[i].GetRoot());
    }
    ASSERT_TRUE(akModel[0].GetRoot()->IsWorldOnDemand());
    EXPECT_FALSE(akModel[1].GetRoot()->IsWorldOnDemand());

    for (int iStep = 0; iStep < 3; ++iStep)
    {
        for (int i = 0; i < 2; ++i)
        {
            akModel[i].SetPosition(NiVec3(0.5f, 0.0f, 1.25f), 1);
            akModel[i].Rotate(NiVec3::UNIT_Y, 30.0f, 1);
            akModel[i].Update(0.0f);
            aspWorld[i]->Update(0.1f * static_cast<float>(iStep));
        }
        EXPECT_TRUE(akModel[0].GetModelObject()->IsWorldTransformStale());
        ASSERT_NE(akModel[0].GetPosition(), nullptr);
        EXPECT_EQ(*akModel[0].GetPosition(), *akModel[1].GetPosition()) << iStep;
        EXPECT_FALSE(akModel[0].GetModelObject()->IsWorldTransformStale());
    }
    // A head's bound, read by no pass, comes out as the full pass's.
    std::vector<NiNode*> akHeads[2];
    for (int i = 0; i < 2; ++i)
        akModel[i].CollectNodes("head2_shape", akHeads[i], false);
    ASSERT_EQ(akHeads[0].size(), 1u);
    EXPECT_EQ(akHeads[0][0]->GetWorldTransform(), akHeads[1][0]->GetWorldTransform());

    // Off again: the next pass works everything out.
    akModel[0].SetWorldOnDemand(false);
    aspWorld[0]->Update(0.0f);
    EXPECT_FALSE(akHeads[0][0]->IsWorldTransformStale());
    for (int i = 0; i < 2; ++i)
        aspWorld[i]->DetachChild(akModel[i].GetRoot());
}
