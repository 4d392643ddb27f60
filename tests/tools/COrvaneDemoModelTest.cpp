#include "tools/COrvaneDemoModel.h"

#include "engine/animation/NiControllerManager.h"
#include "engine/animation/NiControllerSequence.h"
#include "engine/core/NiObjectStream.h"
#include "engine/scene/NiNode.h"
#include "framework/COrvaneAnim.h"
#include "framework/COrvaneComposite.h"
#include "tests/tools/DemoTestSupport.h"

#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <string>
#include <vector>

namespace
{
class COrvaneDemoModelTest : public demotest::EngineFolderTest
{
protected:
    COrvaneDemoModelTest() : EngineFolderTest("model", {}) {}
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
    ASSERT_TRUE(kModelFile.LoadFile(kPath.c_str()));
    NiRefPtr<NiNode> spFileRoot = NiDynamicCast<NiNode>(kModelFile.GetObjectAt(0));
    ASSERT_NE(spFileRoot, nullptr);
    COrvaneComposite kTemplate;
    COrvaneModelSource kPrebuilt;
    kPrebuilt.m_kName = "models/van.nif|Scene Root";
    kPrebuilt.m_pkPrebuilt = spFileRoot;
    kTemplate.Load(kPrebuilt);
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
