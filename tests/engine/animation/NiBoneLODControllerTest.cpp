#include "engine/animation/NiBoneLODController.h"

#include "engine/scene/NiSkinInstance.h"
#include "tests/engine/animation/AnimModelSupport.h"
#include "tests/engine/animation/AnimShapes.h"

#include <gtest/gtest.h>

using animtest::Bytes;
using animtest::NULL_LINK;

namespace
{
constexpr std::uint16_t SELECTIVE = 0x0002;
constexpr std::uint16_t CULLED = 0x0001;

class NiBoneLODControllerTest : public animtest::ModelTest
{
protected:
    void TearDown() override
    {
        NiBoneLODController::ResetBoneLODRequest();
        animtest::ModelTest::TearDown();
    }
};

// A skeleton root with bones 0-2 and shapes 0-1 under it; level 0 animates
// bones 0-2 and shows shape 0, level 1 animates bones 1-2 and shows shape 1.
struct Rig
{
    NiRefPtr<NiNode> m_spRoot;
    NiNode* m_apkBones[3] = {};
    NiRefPtr<NiTriShape> m_aspShapes[2];
    NiRefPtr<NiSkinInstance> m_aspSkins[2];
    NiBoneLODControllerPtr m_spController;

    Rig()
    {
        m_spRoot = animtest::MakeSkeleton("root", 3);
        for (std::uint32_t i = 0; i < 3; ++i)
            m_apkBones[i] = static_cast<NiNode*>(m_spRoot->GetAt(i));
        m_spController = new NiBoneLODController;
        m_spController->SetNumberOfBoneLODs(2);
        for (std::uint32_t i = 0; i < 2; ++i)
        {
            m_aspShapes[i] = animtest::MakeShape({{0, 0, 0}, {1, 0, 0}, {0, 1, 0}, {1, 1, 0}});
            m_aspShapes[i]->SetName(i == 0 ? "high" : "low");
            m_spRoot->AttachChild(m_aspShapes[i]);
            m_aspSkins[i] = new NiSkinInstance;
            m_aspSkins[i]->SetSkinData(new NiSkinData);
            m_spController->AddShape(m_aspShapes[i]);
            m_spController->AddSkin(i, m_aspShapes[i], m_aspSkins[i]);
        }
        for (NiNode* pkBone : m_apkBones)
            m_spController->AddBone(0, pkBone);
        m_spController->AddBone(1, m_apkBones[1]);
        m_spController->AddBone(1, m_apkBones[2]);
        m_spController->SetTarget(m_spRoot);
    }
    ~Rig() { m_spController->SetTarget(nullptr); }
};
} // namespace

TEST_F(NiBoneLODControllerTest, SwitchingLevelsShowsItsShapesAndAnimatesItsBones)
{
    Rig k;
    EXPECT_TRUE(k.m_spController->SetBoneLOD(0));
    EXPECT_EQ(k.m_aspShapes[0]->GetFlags() & (CULLED | SELECTIVE), SELECTIVE);
    EXPECT_EQ(k.m_aspShapes[1]->GetFlags() & CULLED, CULLED);
    EXPECT_EQ(k.m_aspShapes[0]->GetSkinInstance(), k.m_aspSkins[0]);
    for (NiNode* pk : k.m_apkBones)
        EXPECT_EQ(pk->GetFlags() & SELECTIVE, SELECTIVE);

    ASSERT_TRUE(k.m_spController->SetBoneLOD(1));
    EXPECT_EQ(k.m_aspShapes[0]->GetFlags() & (CULLED | SELECTIVE), CULLED);
    EXPECT_EQ(k.m_aspShapes[1]->GetFlags() & (CULLED | SELECTIVE), SELECTIVE);
    EXPECT_EQ(k.m_aspShapes[1]->GetSkinInstance(), k.m_aspSkins[1]);
    // Bone 0 is listed at level 0 only; bones 1 and 2 at levels 0 and 1,
    // and the last listing wins.
    EXPECT_EQ(k.m_apkBones[0]->GetFlags() & SELECTIVE, 0);
    EXPECT_EQ(k.m_apkBones[1]->GetFlags() & SELECTIVE, SELECTIVE);
    EXPECT_EQ(k.m_apkBones[2]->GetFlags() & SELECTIVE, SELECTIVE);

    // Refusals: the current level, beyond the levels, below -1.
    EXPECT_FALSE(k.m_spController->SetBoneLOD(1));
    EXPECT_FALSE(k.m_spController->SetBoneLOD(2));
    EXPECT_FALSE(k.m_spController->SetBoneLOD(-2));
    EXPECT_EQ(k.m_spController->GetBoneLOD(), 1);

    // -1 hides every shape and clears every bone.
    ASSERT_TRUE(k.m_spController->SetBoneLOD(-1));
    for (auto& sp : k.m_aspShapes)
        EXPECT_EQ(sp->GetFlags() & (CULLED | SELECTIVE), CULLED);
    for (NiNode* pk : k.m_apkBones)
        EXPECT_EQ(pk->GetFlags() & SELECTIVE, 0);

    // No levels: nothing is accepted.
    NiBoneLODControllerPtr spEmpty = new NiBoneLODController;
    for (std::int32_t i : {-1, 0, 1})
        EXPECT_FALSE(spEmpty->SetBoneLOD(i));
}

TEST_F(NiBoneLODControllerTest, AMissingSkinSetShowsNothing)
{
    Rig k;
    k.m_spController->SetNumberOfBoneLODs(3);
    ASSERT_TRUE(k.m_spController->SetBoneLOD(2));
    for (auto& sp : k.m_aspShapes)
        EXPECT_EQ(sp->GetFlags() & CULLED, CULLED);
    // Bones of sets 2 and later only: none are listed there.
    for (NiNode* pk : k.m_apkBones)
        EXPECT_EQ(pk->GetFlags() & SELECTIVE, 0);
}

TEST_F(NiBoneLODControllerTest, UpdateTakesTheRequestLoweredToTheLastLevel)
{
    Rig k;
    k.m_spController->Update(0.0f);
    EXPECT_EQ(k.m_spController->GetBoneLOD(), -1) << "no request";
    NiBoneLODController::SetBoneLODRequest(1);
    k.m_spController->Update(0.0f);
    EXPECT_EQ(k.m_spController->GetBoneLOD(), 1);
    NiBoneLODController::SetBoneLODRequest(7);
    ASSERT_TRUE(k.m_spController->SetBoneLOD(0));
    k.m_spController->Update(0.0f);
    EXPECT_EQ(k.m_spController->GetBoneLOD(), 1) << "lowered to n - 1";
    // n itself is not lowered, and the controller refuses it.
    ASSERT_TRUE(k.m_spController->SetBoneLOD(0));
    NiBoneLODController::SetBoneLODRequest(2);
    k.m_spController->Update(0.0f);
    EXPECT_EQ(k.m_spController->GetBoneLOD(), 0);
}

TEST_F(NiBoneLODControllerTest, RecordLoadsAppliesItsLevelAndClonesOntoTheCopy)
{
    Rig k;
    ASSERT_TRUE(k.m_spController->SetBoneLOD(1));
    const auto kFile = animtest::Save(k.m_spRoot);
    NiObjectPtr spLoaded = animtest::Load(kFile);
    auto* pkRoot = NiDynamicCast<NiNode>(spLoaded.Get());
    ASSERT_NE(pkRoot, nullptr);
    auto* pkController = NiDynamicCast<NiBoneLODController>(pkRoot->GetControllers());
    ASSERT_NE(pkController, nullptr);
    EXPECT_TRUE(pkController->IsEqual(k.m_spController));
    EXPECT_EQ(pkController->GetBoneLOD(), 1);
    ASSERT_EQ(pkController->GetSkinSets().size(), 2u);
    auto* pkLow = static_cast<NiTriShape*>(pkController->GetSkinSets()[1][0].m_pkGeometry);
    EXPECT_STREQ(pkLow->GetName(), "low");
    EXPECT_EQ(pkLow->GetSkinInstance(), pkController->GetSkinSets()[1][0].m_spSkinInstance.Get());
    EXPECT_EQ(pkLow->GetFlags() & CULLED, 0);
    EXPECT_EQ(animtest::Save(pkRoot), kFile);
    for (std::size_t n = 0; n < kFile.size(); n += 7)
        EXPECT_EQ(animtest::Load(kFile, n), nullptr) << n;

    // A clone points at the copies and shows the copy's level.
    NiRefPtr<NiNode> spCopy = static_cast<NiNode*>(k.m_spRoot->Clone());
    auto* pkCopy = NiDynamicCast<NiBoneLODController>(spCopy->GetControllers());
    ASSERT_NE(pkCopy, nullptr);
    EXPECT_EQ(pkCopy->GetBoneLOD(), 1);
    ASSERT_EQ(pkCopy->GetBoneSets().size(), 2u);
    EXPECT_EQ(pkCopy->GetBoneSets()[0][0], spCopy->GetAt(0));
    EXPECT_NE(pkCopy->GetShapes()[1], k.m_aspShapes[1].Get());
    EXPECT_EQ(pkCopy->GetShapes()[1], spCopy->GetAt(4));
    pkCopy->SetTarget(nullptr);
}

TEST_F(NiBoneLODControllerTest, HostileCountsAndWrongLinksFail)
{
    const Bytes kBase = animtest::TimeControllerRecord(0x0C).I32(0).U32(1);
    struct Case
    {
        const char* m_pcWhy;
        Bytes m_kTail;
    };
    const Case aCases[] = {
        {"bone sets", Bytes().U32(0x7FFFFFFF)},
        {"bones", Bytes().U32(1).U32(0x7FFFFFFF)},
        {"skin entries", Bytes().U32(0).U32(1).U32(0x20000000)},
        {"shapes", Bytes().U32(0).U32(0).U32(0xFFFFFFFF)},
        {"a bone that is no node", Bytes().U32(1).U32(1).U32(0).U32(0).U32(0)},
    };
    for (const Case& c : aCases)
    {
        SCOPED_TRACE(c.m_pcWhy);
        animtest::File kFile;
        Bytes kRecord = kBase;
        kRecord.Append(c.m_kTail);
        kFile.Add("NiBoneLODController", kRecord);
        kFile.Top(0);
        EXPECT_EQ(animtest::Load(kFile.Build()), nullptr);
    }
}
