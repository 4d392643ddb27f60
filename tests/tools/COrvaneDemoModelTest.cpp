#include "tools/COrvaneDemoModel.h"

#include "engine/animation/NiControllerManager.h"
#include "engine/animation/NiControllerSequence.h"
#include "engine/core/NiObjectStream.h"
#include "engine/scene/NiNode.h"
#include "engine/scene/NiPicker.h"
#include "framework/COrvaneAnim.h"
#include "framework/COrvaneComposite.h"
#include "tests/tools/DemoTestSupport.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

namespace
{
class COrvaneDemoModelTest : public demotest::EngineFolderTest
{
protected:
    COrvaneDemoModelTest() : EngineFolderTest("model", {}) {}

    // The model file as the game loads a template's model: its top node in
    // a composite of the name. The stream keeps the file's objects.
    static ::testing::AssertionResult LoadModel(NiObjectStream& kFile, const std::string& kPath, const char* pcName,
                                                COrvaneComposite& kModel)
    {
        if (!kFile.LoadFile(kPath.c_str()))
            return ::testing::AssertionFailure() << "cannot load " << kPath;
        NiRefPtr<NiNode> spFileRoot = NiDynamicCast<NiNode>(kFile.GetObjectAt(0));
        if (spFileRoot == nullptr)
            return ::testing::AssertionFailure() << kPath << " has no node on top";
        COrvaneModelSource kSource;
        kSource.m_kName = pcName;
        kSource.m_pkPrebuilt = spFileRoot;
        kModel.Load(kSource);
        return ::testing::AssertionSuccess();
    }
};
} // namespace

TEST_F(COrvaneDemoModelTest, TheSkeletonLoadsAndPlaysItsAnimationsByName)
{
    ASSERT_TRUE(WriteDemoModel(m_kFolder.string()));
    NiObjectStream kModel;
    ASSERT_TRUE(kModel.LoadFile((m_kFolder / "prisoner.nif").c_str()));
    NiRefPtr<NiNode> spRoot = NiDynamicCast<NiNode>(kModel.GetObjectAt(0));
    ASSERT_NE(spRoot, nullptr);
    for (const char* pcBone : DEMO_MODEL_BONES)
        EXPECT_NE(spRoot->GetObjectByName(pcBone), nullptr) << pcBone;

    NiObjectStream kAnimations;
    ASSERT_TRUE(kAnimations.LoadFile((m_kFolder / "prisoner.kf").c_str()));
    ASSERT_EQ(kAnimations.GetObjectCount(), 2u);

    // As the framework plays it: a manager on the model, each sequence
    // cloned and added, then played by name.
    NiControllerManagerPtr spManager = new NiControllerManager(spRoot, false);
    for (std::uint32_t i = 0; i < kAnimations.GetObjectCount(); ++i)
    {
        auto* pkSeq = NiDynamicCast<NiControllerSequence>(kAnimations.GetObjectAt(i));
        ASSERT_NE(pkSeq, nullptr);
        NiControllerSequencePtr spCopy = static_cast<NiControllerSequence*>(pkSeq->Clone());
        ASSERT_TRUE(spManager->AddSequence(spCopy, nullptr, true));
    }
    NiControllerSequence* pkWalk = spManager->GetSequenceByName("walk");
    ASSERT_NE(pkWalk, nullptr);
    ASSERT_NE(spManager->GetSequenceByName("idle"), nullptr);
    EXPECT_EQ(pkWalk->GetEndKeyTime(), 1.0f);
    ASSERT_TRUE(pkWalk->Activate(0, false, 1.0f, 0.0f, nullptr));

    NiAVObject* pkLeg = spRoot->GetObjectByName("LeftLeg");
    spRoot->Update(0.0f);
    NiMatrix3x3 kStart = pkLeg->GetRotate();
    spRoot->Update(0.25f);
    EXPECT_NE(pkLeg->GetRotate(), kStart); // the leg swings
    spRoot->Update(1.0f);
    // One full cycle later it is back where it started.
    for (int r = 0; r < 3; ++r)
    {
        for (int c = 0; c < 3; ++c)
            EXPECT_NEAR(pkLeg->GetRotate().GetEntry(r, c), kStart.GetEntry(r, c), 1e-4f);
    }
    spManager->RemoveAllSequences();
}

TEST_F(COrvaneDemoModelTest, TheVehicleDrivesInAlongItsArrivalAndStopsAtItsEnd)
{
    const NiVec3 kFrom(-12.0f, 2.0f, 0.5f);
    const NiVec3 kTo(3.0f, -4.0f, 0.5f);
    const std::string kPath = (m_kFolder / "van.nif").string();
    ASSERT_TRUE(WriteDemoVehicle(kPath, kFrom, kTo));

    // As the game brings it in: the model file loaded as its template's
    // model, the object's own copy cloned from it, the ".kf" sequences
    // added to the copy's controller manager and "arrive" played.
    NiObjectStream kModelFile;
    COrvaneComposite kTemplate;
    ASSERT_TRUE(LoadModel(kModelFile, kPath, "models/van.nif|Scene Root", kTemplate));
    COrvaneComposite kVehicle;
    COrvaneModelSource kClone;
    kClone.m_kName = kTemplate.GetName();
    kClone.m_kEntries.push_back(&kTemplate);
    kClone.m_bClone = true;
    kVehicle.Load(kClone);
    ASSERT_NE(kVehicle.GetRoot(), nullptr);
    NiAVObject* pkBody = kVehicle.GetModelObject();
    ASSERT_NE(pkBody, nullptr);
    EXPECT_STREQ(pkBody->GetName(), "van");
    NiAVObject* pkCamera = kVehicle.GetRoot()->GetObjectByName("camera");
    ASSERT_NE(pkCamera, nullptr);

    NiObjectStream kAnimationFile;
    ASSERT_TRUE(kAnimationFile.LoadFile((m_kFolder / "van.kf").c_str()));
    ASSERT_EQ(kAnimationFile.GetObjectCount(), 1u);
    COrvaneAnim kArrive;
    COrvaneAnimDesc kDesc;
    kDesc.m_kName = "vehicles/arrive";
    kDesc.m_pkObject = kAnimationFile.GetObjectAt(0);
    kArrive.Load(kDesc);
    ASSERT_NE(kArrive.GetSequence(), nullptr);
    std::vector<COrvaneAnim*> kList{&kArrive};
    kVehicle.CreateControllerManager();
    kVehicle.AddSequences(kList);
    kVehicle.PlaySequence(&kArrive, false);
    ASSERT_NE(kVehicle.GetActiveSequence(), nullptr);
    EXPECT_STREQ(kVehicle.GetActiveSequence()->GetName(), "arrive");
    EXPECT_FLOAT_EQ(kVehicle.GetSequenceLength(), DEMO_ARRIVE_LENGTH);

    auto Near = [](const NiVec3& kA, const NiVec3& kB) {
        return std::fabs(kA.x - kB.x) < 1e-3f && std::fabs(kA.y - kB.y) < 1e-3f && std::fabs(kA.z - kB.z) < 1e-3f;
    };
    NiNode* pkRoot = kVehicle.GetRoot();
    pkRoot->Update(10.0f);
    const NiVec3 kStart = pkBody->GetWorldTransform().m_kTranslate;
    const NiVec3 kCameraStart = pkCamera->GetWorldTransform().m_kTranslate;
    EXPECT_TRUE(Near(kStart, kFrom)) << kStart.x << " " << kStart.y << " " << kStart.z;
    pkRoot->Update(10.0f + 0.25f * DEMO_ARRIVE_LENGTH);
    const NiVec3 kQuarter = pkBody->GetWorldTransform().m_kTranslate;
    const NiVec3 kWantQuarter = kFrom + (kTo - kFrom) * 0.25f;
    EXPECT_TRUE(Near(kQuarter, kWantQuarter)) << kQuarter.x << " " << kQuarter.y << " " << kQuarter.z;
    // The camera's node rides along with the body.
    const NiVec3 kCameraQuarter = pkCamera->GetWorldTransform().m_kTranslate;
    EXPECT_TRUE(Near(kCameraQuarter - kCameraStart, kQuarter - kStart));
    EXPECT_FALSE(Near(kCameraQuarter, kCameraStart));
    // Past its length the drive holds at its end.
    pkRoot->Update(10.0f + DEMO_ARRIVE_LENGTH + 3.0f);
    const NiVec3 kEnd = pkBody->GetWorldTransform().m_kTranslate;
    EXPECT_TRUE(Near(kEnd, kTo)) << kEnd.x << " " << kEnd.y << " " << kEnd.z;
}

namespace
{
// The nearest of a model's shapes a ray meets, and the node a click walks
// up to from it (the first whose name holds "Scene Root").
struct PersonHit
{
    NiAVObject* m_pkShape = nullptr;
    NiAVObject* m_pkSceneRoot = nullptr;
};

PersonHit PickPerson(NiNode* pkRoot, const NiVec3& kOrigin, const NiVec3& kDir)
{
    PersonHit kHit;
    NiPicker kPicker;
    kPicker.SetCoordinateType(NiPicker::WORLD_COORDINATES);
    kPicker.SetTarget(pkRoot);
    if (!kPicker.Pick(kOrigin, kDir) || kPicker.GetSize() == 0)
        return kHit;
    kHit.m_pkShape = kPicker.GetAt(0)->GetAVObject();
    for (NiAVObject* pk = kHit.m_pkShape; pk != nullptr; pk = pk->GetParent())
        if (pk->GetName() != nullptr && std::strstr(pk->GetName(), "Scene Root") != nullptr)
        {
            kHit.m_pkSceneRoot = pk;
            break;
        }
    return kHit;
}
} // namespace

TEST_F(COrvaneDemoModelTest, APersonStandsUpAlongYShowsTheChosenHeadAndAClickOnItFindsItsModel)
{
    static constexpr std::uint8_t CLOTHES[3] = {232, 120, 40};
    const std::string kPath = (m_kFolder / "thug.nif").string();
    ASSERT_TRUE(WriteDemoPerson(kPath, 3, 2, CLOTHES));
    EXPECT_TRUE(std::filesystem::exists(m_kFolder / "thug.kf"));

    // As the game holds a person: the file's model in a composite, which
    // writes its owner on the top node and places it by its first child.
    NiObjectStream kFile;
    COrvaneComposite kPerson;
    ASSERT_TRUE(LoadModel(kFile, kPath, "prison1/criminals/thug.nif|Scene Root", kPerson));
    NiNode* pkRoot = kPerson.GetRoot();
    ASSERT_NE(pkRoot, nullptr);
    ASSERT_NE(kPerson.GetModelObject(), nullptr);
    EXPECT_STREQ(kPerson.GetModelObject()->GetName(), "Figure");

    kPerson.SelectVariant("head", false, 2);
    kPerson.SelectVariant("body", false, 1);
    pkRoot->Update(0.0f);
    NiAVObject* pkHead1 = pkRoot->GetObjectByName("head1");
    NiAVObject* pkHead2 = pkRoot->GetObjectByName("head2");
    NiAVObject* pkBody2 = pkRoot->GetObjectByName("body2");
    ASSERT_NE(pkHead1, nullptr);
    ASSERT_NE(pkHead2, nullptr);
    ASSERT_NE(pkBody2, nullptr);
    EXPECT_TRUE(pkHead1->GetAppCulled());
    EXPECT_FALSE(pkHead2->GetAppCulled());
    EXPECT_TRUE(pkBody2->GetAppCulled());

    // Up is y: the head high over the feet, both over the model's origin.
    const NiVec3 kHead = pkHead2->GetWorldBound().m_kCenter;
    EXPECT_GT(kHead.y, 1.5f);
    EXPECT_LT(kHead.y, 2.1f);
    EXPECT_NEAR(kHead.x, 0.0f, 0.3f);
    EXPECT_NEAR(kHead.z, 0.0f, 0.3f);
    NiAVObject* pkLeg = pkRoot->GetObjectByName("LeftLeg");
    ASSERT_NE(pkLeg, nullptr);
    const NiBoundSphere& kLeg = pkLeg->GetWorldBound();
    EXPECT_LT(kLeg.m_kCenter.y - kLeg.m_fRadius, 0.2f);

    // A ray through the head meets the person; the walk up ends on the top
    // node, where the composite wrote its owner.
    const PersonHit kHit = PickPerson(pkRoot, NiVec3(0.0f, kHead.y, 5.0f), NiVec3(0.0f, 0.0f, -1.0f));
    ASSERT_NE(kHit.m_pkShape, nullptr);
    EXPECT_EQ(kHit.m_pkSceneRoot, pkRoot);
    EXPECT_NE(pkRoot->GetExtraData("Owner"), nullptr);
    // Above the head the ray meets nothing.
    EXPECT_EQ(PickPerson(pkRoot, NiVec3(0.0f, 2.5f, 5.0f), NiVec3(0.0f, 0.0f, -1.0f)).m_pkShape, nullptr);
}

TEST_F(COrvaneDemoModelTest, AStaffMemberWithoutBodyVariantsWearsTheTorsoOnThePelvis)
{
    static constexpr std::uint8_t NAVY[3] = {40, 56, 110};
    const std::string kPath = (m_kFolder / "guard1.nif").string();
    ASSERT_TRUE(WriteDemoPerson(kPath, 1, 0, NAVY));
    NiObjectStream kFile;
    ASSERT_TRUE(kFile.LoadFile(kPath.c_str()));
    NiRefPtr<NiNode> spRoot = NiDynamicCast<NiNode>(kFile.GetObjectAt(0));
    ASSERT_NE(spRoot, nullptr);
    EXPECT_EQ(spRoot->GetObjectByName("body1"), nullptr);
    auto* pkPelvis = NiDynamicCast<NiNode>(spRoot->GetObjectByName("Pelvis"));
    ASSERT_NE(pkPelvis, nullptr);
    bool bTorso = false;
    for (std::uint32_t i = 0; i < pkPelvis->GetArrayCount(); ++i)
        if (NiAVObject* pk = pkPelvis->GetAt(i); pk != nullptr && pk->GetName() != nullptr)
            bTorso = bTorso || std::string(pk->GetName()) == "torso";
    EXPECT_TRUE(bTorso);
    // A file that cannot be written is reported.
    EXPECT_FALSE(WriteDemoPerson((m_kFolder / "missing" / "guard1.nif").string(), 1, 0, NAVY));
}
