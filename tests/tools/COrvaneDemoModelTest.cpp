#include "tools/COrvaneDemoModel.h"

#include "engine/animation/NiControllerManager.h"
#include "engine/animation/NiControllerSequence.h"
#include "engine/core/NiObjectStream.h"
#include "engine/scene/NiNode.h"
#include "tests/tools/DemoTestSupport.h"

#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <string>

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
