#include "engine/animation/NiTimeController.h"

#include "engine/core/NiCloneContext.h"
#include "engine/scene/NiObjectNET.h"
#include "tests/engine/animation/AnimTestFile.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cfloat>
#include <cmath>
#include <vector>

using animtest::Bytes;
using animtest::V;

namespace
{
// The smallest concrete controller.
class TestController : public NiTimeController
{
    NiDeclareTypeInfo()
    NiDeclareClone(TestController)

public:
    static NiObject* CreateObject() { return new TestController; }
    void Update(float) override {}
    [[nodiscard]] bool IsTargetClassValid(NiObjectNET*) const override { return true; }
    [[nodiscard]] bool IsVertexController() const override { return m_bVertex; }
    [[nodiscard]] bool IsStreamable() const override { return m_bStreamable; }
    bool m_bVertex = false;
    bool m_bStreamable = true;
};
NiImplementTypeInfo(TestController, NiTimeController)
NiImplementCreateClone(TestController)
void TestController::CopyMembers(TestController* pkDest, NiCloneContext& kCloning)
{
    NiTimeController::CopyMembers(pkDest, kCloning);
}

std::vector<NiObjectNET*> s_kMarked;
void RecordMark(NiObjectNET* pkTarget)
{
    s_kMarked.push_back(pkTarget);
}

class NiTimeControllerTest : public animtest::AnimTest
{
protected:
    void SetUp() override
    {
        animtest::AnimTest::SetUp();
        NiTimeController::ResetScaledTimeCache();
        NiTimeController::SetMarkDataVolatileFunction(nullptr);
        s_kMarked.clear();
        NiObjectStream::RegisterCreateFunction("TestController", &TestController::CreateObject);
    }
    void TearDown() override
    {
        NiObjectStream::UnregisterCreateFunction("TestController");
        NiTimeController::SetMarkDataVolatileFunction(nullptr);
        NiTimeController::ResetScaledTimeCache();
        animtest::AnimTest::TearDown();
    }
};

struct ScaleCase
{
    const char* m_pcName;
    NiTimeController::CycleType m_eCycle;
    NiTimeController::AnimType m_eAnim;
    float m_fLo, m_fHi, m_fFrequency;
    bool m_bBackwards;
    float m_fStart; // Start() time; NaN: never started
    std::vector<std::pair<float, float>> m_kSteps; // time -> key time
};

const ScaleCase SCALE_CASES[] = {
    {"LoopWrapsBelowRange", NiTimeController::LOOP, NiTimeController::APP_TIME, 2, 5, 1, false, NAN, {{1, 4}}},
    {"LoopInsideRange", NiTimeController::LOOP, NiTimeController::APP_TIME, 2, 5, 1, false, NAN, {{3, 3}, {7, 4}}},
    {"ReverseAbove", NiTimeController::REVERSE, NiTimeController::APP_TIME, 0, 2, 1, false, NAN, {{3, 1}}},
    {"ReverseNegative", NiTimeController::REVERSE, NiTimeController::APP_TIME, 0, 2, 1, false, NAN, {{-1, 1}}},
    {"ClampBackwards", NiTimeController::CLAMP, NiTimeController::APP_TIME, 0, 10, 1, true, NAN, {{3, 7}}},
    {"LoopEmptyRange", NiTimeController::LOOP, NiTimeController::APP_TIME, 5, 5, 1, false, NAN, {{1, 5}, {9, 5}}},
    {"ReverseEmptyRange", NiTimeController::REVERSE, NiTimeController::APP_TIME, 5, 5, 1, false, NAN, {{1, 5}}},
    {"NewControllerRange", NiTimeController::CLAMP, NiTimeController::APP_TIME, FLT_MAX, -FLT_MAX, 1, false, NAN,
     {{1, -FLT_MAX}, {50, -FLT_MAX}}},
    {"AppInitCountsFromStart", NiTimeController::CLAMP, NiTimeController::APP_INIT, 0, 10, 2, false, 100,
     {{100, 0}, {101, 2}}},
    {"AppTimeFollowsClock", NiTimeController::CLAMP, NiTimeController::APP_TIME, 0, 10, 2, false, 100,
     {{100, 10}, {101, 10}}},
};

class ScaledTime : public NiTimeControllerTest, public ::testing::WithParamInterface<ScaleCase>
{
};
} // namespace

TEST_P(ScaledTime, FoldsAndClampsAsTheCycleSays)
{
    const ScaleCase& c = GetParam();
    NiRefPtr<TestController> sp = new TestController;
    sp->SetCycleType(c.m_eCycle);
    sp->SetAnimType(c.m_eAnim);
    sp->SetBeginKeyTime(c.m_fLo);
    sp->SetEndKeyTime(c.m_fHi);
    sp->SetFrequency(c.m_fFrequency);
    sp->SetPlayBackwards(c.m_bBackwards);
    if (!std::isnan(c.m_fStart))
        sp->Start(c.m_fStart);
    for (const auto& kStep : c.m_kSteps)
    {
        SCOPED_TRACE(kStep.first);
        EXPECT_EQ(sp->ComputeScaledTime(kStep.first), kStep.second);
    }
}

INSTANTIATE_TEST_SUITE_P(NiTimeController, ScaledTime, ::testing::ValuesIn(SCALE_CASES),
                         [](const auto& kInfo) { return std::string(kInfo.param.m_pcName); });

TEST_F(NiTimeControllerTest, DefaultsAreClampActiveForwardsWithAnEmptyRange)
{
    NiRefPtr<TestController> sp = new TestController;
    EXPECT_EQ(sp->GetFlags(), 12);
    EXPECT_EQ(sp->GetCycleType(), NiTimeController::CLAMP);
    EXPECT_TRUE(sp->GetActive());
    EXPECT_EQ(sp->GetFrequency(), 1.0f);
    EXPECT_EQ(sp->GetPhase(), 0.0f);
    EXPECT_EQ(sp->GetBeginKeyTime(), FLT_MAX);
    EXPECT_EQ(sp->GetEndKeyTime(), -FLT_MAX);
    EXPECT_EQ(sp->GetStartTime(), -FLT_MAX);
    EXPECT_EQ(sp->GetLastTime(), -FLT_MAX);
    EXPECT_EQ(sp->GetScaledTime(), -FLT_MAX);
    EXPECT_EQ(sp->GetTarget(), nullptr);
}

TEST_F(NiTimeControllerTest, SharedCacheStillMirrorsPerController)
{
    NiRefPtr<TestController> spA = new TestController;
    NiRefPtr<TestController> spB = new TestController;
    for (TestController* p : {spA.Get(), spB.Get()})
    {
        p->SetCycleType(NiTimeController::LOOP);
        p->SetBeginKeyTime(0);
        p->SetEndKeyTime(4);
    }
    spB->SetPlayBackwards(true);
    EXPECT_EQ(spA->ComputeScaledTime(5.0f), 1.0f);
    EXPECT_EQ(spB->ComputeScaledTime(5.0f), 3.0f);
    EXPECT_EQ(spA->ComputeScaledTime(6.0f), 2.0f);

    // Frequency changes only later steps.
    spA->SetFrequency(2.0f);
    EXPECT_EQ(spA->ComputeScaledTime(6.5f), 3.0f);
    // Stop and start begin a fresh accumulation.
    spA->Stop();
    EXPECT_FALSE(spA->GetActive());
    spA->Start(0.0f);
    EXPECT_EQ(spA->ComputeScaledTime(0.5f), 1.0f);
}

TEST_F(NiTimeControllerTest, ShouldSkipUpdateWhenNothingChanged)
{
    NiRefPtr<TestController> sp = new TestController;
    sp->SetBeginKeyTime(0);
    sp->SetEndKeyTime(1);
    EXPECT_FALSE(sp->ShouldSkipUpdate(0.5f));
    EXPECT_EQ(sp->GetScaledTime(), 0.5f);
    EXPECT_TRUE(sp->ShouldSkipUpdate(0.5f));
    EXPECT_FALSE(sp->ShouldSkipUpdate(2.0f)); // clamps to 1
    EXPECT_TRUE(sp->ShouldSkipUpdate(3.0f));  // clamps to 1 again
    sp->SetForceUpdate(true);
    EXPECT_FALSE(sp->ShouldSkipUpdate(3.0f));
    EXPECT_FALSE(sp->GetForceUpdate());

    sp->SetComputeScaledTime(false);
    EXPECT_FALSE(sp->ShouldSkipUpdate(4.0f));
    EXPECT_EQ(sp->GetScaledTime(), 1.0f);
    sp->SetActive(false);
    EXPECT_TRUE(sp->ShouldSkipUpdate(5.0f));
}

TEST_F(NiTimeControllerTest, SetTargetMovesTheControllerToTheHeadOfTheNewChain)
{
    NiRefPtr<NiObjectNET> spA = new NiObjectNET;
    NiRefPtr<NiObjectNET> spB = new NiObjectNET;
    NiTimeController* pkFirst = new TestController;
    auto* pkSecond = new TestController;
    pkFirst->SetTarget(spA);
    pkSecond->SetTarget(spA);
    EXPECT_EQ(spA->GetControllers(), pkSecond);
    EXPECT_EQ(NiTimeController::CountChain(spA->GetControllers()), 2u);
    EXPECT_EQ(pkSecond->CountChain(), 2u);
    EXPECT_EQ(NiTimeController::CountChain(nullptr), 0u);

    // Setting the same target again changes nothing.
    pkSecond->SetTarget(spA);
    EXPECT_EQ(NiTimeController::CountChain(spA->GetControllers()), 2u);

    NiTimeController::SetMarkDataVolatileFunction(&RecordMark);
    pkSecond->m_bVertex = true;
    pkSecond->SetTarget(spB);
    EXPECT_EQ(spA->GetControllers(), pkFirst);
    EXPECT_EQ(spB->GetControllers(), pkSecond);
    EXPECT_EQ(pkSecond->GetTarget(), spB.Get());
    ASSERT_EQ(s_kMarked.size(), 1u);
    EXPECT_EQ(s_kMarked[0], spB.Get());
    EXPECT_EQ(NiTimeController::MakeVolatileConsistency(0x4123), 0x8123);
    EXPECT_EQ(NiTimeController::MakeVolatileConsistency(0x0FFF), 0x8FFF);

    // Leaving every target: the controller survives the move itself.
    NiTimeControllerPtr spKeep = pkSecond;
    pkSecond->SetTarget(nullptr);
    EXPECT_EQ(spB->GetControllers(), nullptr);
    EXPECT_EQ(spKeep->GetRefCount(), 1u);
}

namespace
{
// Controller record after the base object's part.
Bytes ControllerRecord(std::uint32_t uiNext, std::uint16_t usFlags, std::uint32_t uiTarget = 0xFFFFFFFF)
{
    Bytes b;
    b.U32(uiNext).U16(usFlags).Floats({2.0f, 0.5f, 1.0f, 3.0f}).U32(uiTarget);
    return b;
}

NiRefPtr<TestController> LoadController(std::uint32_t uiVersion, const Bytes& kRecord)
{
    animtest::File kFile(uiVersion);
    kFile.Top(kFile.Add("TestController", kRecord));
    NiObjectPtr sp = animtest::Load(kFile.Build());
    return NiRefPtr<TestController>(NiDynamicCast<TestController>(sp.Get()));
}
} // namespace

TEST_F(NiTimeControllerTest, RecordIsTwentySixBytesAndRoundTrips)
{
    Bytes kRecord = ControllerRecord(0xFFFFFFFF, 0x0036);
    ASSERT_EQ(kRecord.Size(), 26u);
    animtest::File kFile;
    kFile.Top(kFile.Add("TestController", kRecord));
    std::vector<std::uint8_t> kBytes = kFile.Build();
    NiObjectPtr sp = animtest::Load(kBytes);
    auto* pk = NiDynamicCast<TestController>(sp.Get());
    ASSERT_NE(pk, nullptr);
    EXPECT_EQ(pk->GetFlags(), 0x0036);
    EXPECT_EQ(pk->GetFrequency(), 2.0f);
    EXPECT_EQ(pk->GetPhase(), 0.5f);
    EXPECT_EQ(pk->GetBeginKeyTime(), 1.0f);
    EXPECT_EQ(pk->GetEndKeyTime(), 3.0f);
    EXPECT_EQ(animtest::Save(pk), kBytes);

    for (std::size_t n = 0; n < kBytes.size(); ++n)
    {
        SCOPED_TRACE(n);
        EXPECT_EQ(animtest::Load(kBytes, n), nullptr);
    }
}

TEST_F(NiTimeControllerTest, WritingLinksTheFirstStreamableNextController)
{
    NiRefPtr<TestController> spHead = new TestController;
    auto* pkHidden = new TestController;
    auto* pkKept = new TestController;
    pkHidden->m_bStreamable = false;
    spHead->SetNext(pkHidden);
    pkHidden->SetNext(pkKept);
    std::vector<std::uint8_t> kBytes = animtest::Save(spHead);
    NiObjectPtr sp = animtest::Load(kBytes);
    auto* pkLoaded = NiDynamicCast<TestController>(sp.Get());
    ASSERT_NE(pkLoaded, nullptr);
    EXPECT_EQ(pkLoaded->CountChain(), 2u);
}

TEST_F(NiTimeControllerTest, OldRecordsMoveAndDropFlagBits)
{
    // 10.0.1.1 alone carries the play-backwards byte.
    Bytes kWithByte = ControllerRecord(0xFFFFFFFF, 0x000C);
    kWithByte.U8(1);
    auto sp = LoadController(V(10, 0, 1, 1), kWithByte);
    ASSERT_NE(sp, nullptr);
    EXPECT_TRUE(sp->GetPlayBackwards());
    EXPECT_EQ(sp->GetFlags(), 0x001C);
    EXPECT_EQ(LoadController(V(10, 0, 1, 1), ControllerRecord(0xFFFFFFFF, 0x000C)), nullptr);

    // 10.0.1.0: bits 4 and up move up one, then only bits 0-4 stay.
    sp = LoadController(V(10, 0, 1, 0), ControllerRecord(0xFFFFFFFF, 0x001C));
    ASSERT_NE(sp, nullptr);
    EXPECT_EQ(sp->GetLegacyFlags(), 0x002C);
    EXPECT_EQ(sp->GetFlags(), 0x000C);

    // 10.0.1.2 keeps the word whole but before 10.1.0.109 the manager bit goes.
    sp = LoadController(V(10, 1, 0, 108), ControllerRecord(0xFFFFFFFF, 0x003C));
    ASSERT_NE(sp, nullptr);
    EXPECT_EQ(sp->GetFlags(), 0x001C);
    EXPECT_EQ(sp->GetLegacyFlags(), 0);
    sp = LoadController(V(10, 1, 0, 109), ControllerRecord(0xFFFFFFFF, 0x003C));
    ASSERT_NE(sp, nullptr);
    EXPECT_EQ(sp->GetFlags(), 0x003C);
    EXPECT_TRUE(sp->GetManagerControlled());
}

TEST_F(NiTimeControllerTest, ChainLinkedBackToItselfIsRefused)
{
    animtest::File kFile;
    kFile.Add("TestController", ControllerRecord(1, 12));
    kFile.Add("TestController", ControllerRecord(0, 12));
    kFile.Top(0);
    EXPECT_EQ(animtest::Load(kFile.Build()), nullptr);
}

TEST_F(NiTimeControllerTest, EqualityAndCloneCoverTheTimingFields)
{
    NiRefPtr<NiObjectNET> spTarget = new NiObjectNET;
    NiRefPtr<TestController> spA = new TestController;
    spA->SetFrequency(3.0f);
    spA->SetBeginKeyTime(1.0f);
    spA->SetEndKeyTime(2.0f);
    spA->SetTarget(spTarget);
    NiRefPtr<TestController> spB = static_cast<TestController*>(spA->Clone());
    EXPECT_EQ(spB->GetFrequency(), 3.0f);
    // The target was not cloned with it: the copy has none.
    EXPECT_EQ(spB->GetTarget(), nullptr);
    EXPECT_FALSE(spA->IsEqual(spB));
    spB->SetTarget(spTarget);
    EXPECT_TRUE(spA->IsEqual(spB));
    spB->SetPhase(0.25f);
    EXPECT_FALSE(spA->IsEqual(spB));
    spA->SetTarget(nullptr);
    spB->SetTarget(nullptr);
}

TEST_F(NiTimeControllerTest, ViewerStringsNameTheTimingState)
{
    NiRefPtr<TestController> sp = new TestController;
    sp->SetCycleType(NiTimeController::REVERSE);
    sp->SetAnimType(NiTimeController::APP_INIT);
    std::vector<std::string> kLines;
    {
        NiViewerStringArray kStrings;
        sp->AppendViewerStrings(kStrings);
        for (std::uint32_t i = 0; i < kStrings.GetSize(); ++i)
        {
            if (kStrings.GetAt(i) != nullptr)
                kLines.emplace_back(kStrings.GetAt(i));
        }
        for (std::uint32_t i = 0; i < kStrings.GetSize(); ++i)
            delete[] kStrings.GetAt(i);
    }
    auto fnHas = [&](const std::string& k) { return std::find(kLines.begin(), kLines.end(), k) != kLines.end(); };
    EXPECT_TRUE(fnHas("anim type = APP_INIT"));
    EXPECT_TRUE(fnHas("cycle type = REVERSE"));
    EXPECT_TRUE(fnHas("Active = true"));
    EXPECT_TRUE(fnHas("Play Backwards = false"));
    EXPECT_TRUE(fnHas("m_fFrequency = 1"));
}
