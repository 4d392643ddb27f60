#include "engine/animation/NiGeomMorpherController.h"

#include "engine/animation/NiBlendFloatInterpolator.h"
#include "engine/animation/NiFloatInterpolator.h"
#include "engine/animation/NiMorphData.h"
#include "tests/engine/animation/AnimModelSupport.h"
#include "tests/engine/animation/AnimShapes.h"
#include "tests/engine/core/NiStreamFixture.h"

#include <gtest/gtest.h>

#include <cmath>

using animtest::Bytes;
using animtest::NULL_LINK;
using animtest::V;

namespace
{
class NiGeomMorpherControllerTest : public animtest::ModelTest
{
};

// Targets of four vertices: 0 the base square, 1 all moved +x by one, 2 all
// moved up by two.
NiRefPtr<NiMorphData> ThreeTargets(bool bRelative)
{
    NiRefPtr<NiMorphData> sp = new NiMorphData;
    sp->SetTargets(3, 4);
    sp->SetRelativeTargets(bRelative);
    const NiVec3 akBase[4] = {{0, 0, 0}, {1, 0, 0}, {0, 1, 0}, {1, 1, 0}};
    const char* apcNames[3] = {"Base", "Right", "Up"};
    for (std::uint32_t i = 0; i < 3; ++i)
    {
        sp->GetTarget(i)->SetName(apcNames[i]);
        for (std::uint32_t k = 0; k < 4; ++k)
        {
            NiVec3 kV = bRelative && i > 0 ? NiVec3::ZERO : akBase[k];
            if (i == 1)
                kV = kV + NiVec3(1, 0, 0);
            if (i == 2)
                kV = kV + NiVec3(0, 0, 2);
            sp->GetTarget(i)->GetTargetVerts()[k] = kV;
        }
    }
    return sp;
}
} // namespace

TEST_F(NiGeomMorpherControllerTest, WeightsBlendTargetsSkippingNearZero)
{
    NiRefPtr<NiTriShape> spShape = animtest::MakeShape({{9, 9, 9}, {9, 9, 9}, {9, 9, 9}, {9, 9, 9}});
    NiGeomMorpherControllerPtr sp = new NiGeomMorpherController;
    sp->SetMorphData(ThreeTargets(true));
    sp->SetTarget(spShape);
    ASSERT_EQ(sp->GetInterpolatorCount(), 3);
    // The relative base is applied at 1 whatever its interpolator says.
    sp->SetInterpolator(new NiFloatInterpolator(0.0f), 0);
    sp->SetInterpolator(new NiFloatInterpolator(0.0005f), 1);
    sp->SetInterpolator(new NiFloatInterpolator(-0.002f), 2);
    sp->SetBeginKeyTime(0);
    sp->SetEndKeyTime(10);
    sp->Update(1.0f);
    EXPECT_TRUE(sp->GetNeedsUpdate());
    spShape->GetModelData()->SetDirtyFlags(0);
    sp->ApplyDeferredUpdate();
    EXPECT_FALSE(sp->GetNeedsUpdate());
    const NiVec3* pk = spShape->GetModelData()->GetVertices();
    EXPECT_FLOAT_EQ(pk[1].x, 1.0f) << "0.0005 adds nothing";
    EXPECT_FLOAT_EQ(pk[1].z, -0.004f) << "-0.002 subtracts";
    EXPECT_FLOAT_EQ(pk[3].y, 1.0f);
    EXPECT_EQ(spShape->GetModelData()->GetDirtyFlags() & 1, 1);
    EXPECT_EQ(sp->GetMorphData()->GetTarget(0)->GetLegacyWeight(), 1.0f);
    EXPECT_EQ(sp->GetMorphData()->GetTarget(2)->GetLegacyWeight(), -0.002f);

    // Names find interpolators ignoring case; IDs are the names.
    EXPECT_EQ(sp->GetInterpolatorIndex("rIGHT"), 1);
    EXPECT_EQ(sp->GetInterpolatorIndex("nothing"), 0xFFFF);
    EXPECT_EQ(sp->GetInterpolatorIndex(nullptr), 0xFFFF);
    EXPECT_STREQ(sp->GetInterpolatorID(2), "Up");
    NiRefPtr<NiInterpolator> spPose = sp->CreatePoseInterpolator(2);
    float f = 0;
    EXPECT_TRUE(spPose->UpdateFloat(0, nullptr, f));
    EXPECT_EQ(f, -0.002f);
    NiInterpolatorPtr spBlend = sp->CreateBlendInterpolator(0, true, false, 0, 2);
    EXPECT_NE(NiDynamicCast<NiBlendFloatInterpolator>(spBlend.Get()), nullptr);

    // The same time again: skipped unless always updating.
    sp->Update(1.0f);
    EXPECT_FALSE(sp->GetNeedsUpdate());
    sp->SetAlwaysUpdate(true);
    sp->Update(1.0f);
    EXPECT_TRUE(sp->GetNeedsUpdate());
    sp->SetTarget(nullptr);
}

TEST_F(NiGeomMorpherControllerTest, AbsoluteTargetsNormalsBoundAndShortTargets)
{
    NiRefPtr<NiTriShape> spShape =
        animtest::MakeShape({{0, 0, 0}, {1, 0, 0}, {0, 1, 0}, {1, 1, 0}, {5, 5, 5}}, true);
    NiGeomMorpherControllerPtr sp = new NiGeomMorpherController;
    sp->SetMorpherFlags(NiGeomMorpherController::UPDATE_NORMALS_MASK);
    NiRefPtr<NiMorphData> spData = ThreeTargets(false);
    sp->SetMorphData(spData);
    sp->SetTarget(spShape);
    // The bound holds every target's vertices.
    const NiBoundSphere& kBound = spShape->GetModelData()->GetBound();
    for (std::uint32_t i = 0; i < 3; ++i)
        for (std::uint32_t v = 0; v < 4; ++v)
            EXPECT_LE((spData->GetTarget(i)->GetTargetVerts()[v] - kBound.m_kCenter).Length(),
                      kBound.m_fRadius + 1e-5f);
    EXPECT_GT(kBound.m_kCenter.z, 0.0f);

    sp->SetInterpolator(new NiFloatInterpolator(0.5f), 0);
    sp->SetInterpolator(new NiFloatInterpolator(0.5f), 2);
    sp->SetBeginKeyTime(0);
    sp->SetEndKeyTime(10);
    sp->Update(2.0f);
    sp->ApplyDeferredUpdate();
    const NiVec3* pk = spShape->GetModelData()->GetVertices();
    EXPECT_FLOAT_EQ(pk[3].x, 1.0f);
    EXPECT_FLOAT_EQ(pk[3].z, 1.0f);
    // Targets have four vertices, the shape five: the fifth is cleared only.
    EXPECT_EQ(pk[4], NiVec3::ZERO);
    // Normals were recomputed for the moved square.
    EXPECT_NEAR(std::fabs(spShape->GetModelData()->GetNormals()[0].z), 1.0f, 1e-4f);
    // A target without an interpolator keeps its stored weight.
    EXPECT_EQ(spData->GetTarget(1)->GetLegacyWeight(), 0.0f);
    sp->SetTarget(nullptr);
}

TEST_F(NiGeomMorpherControllerTest, MorphDataRecordsOldKeysAndNames)
{
    // No targets: nine bytes after the object part.
    NiRefPtr<NiMorphData> spEmpty = new NiMorphData;
    const auto kEmpty = animtest::Save(spEmpty);
    animtest::File kHand;
    kHand.Add("NiMorphData", Bytes().U32(0).U32(0).U8(0));
    kHand.Top(0);
    EXPECT_EQ(kEmpty, kHand.Build());
    animtest::ExpectRoundTrip(spEmpty);
    animtest::ExpectRoundTrip(ThreeTargets(true));

    // Names compare without regard to case.
    NiRefPtr<NiMorphData> spA = ThreeTargets(false);
    NiRefPtr<NiMorphData> spB = ThreeTargets(false);
    spB->GetTarget(1)->SetName("RIGHT");
    EXPECT_TRUE(spA->IsEqual(spB));
    spB->GetTarget(1)->SetName(nullptr);
    EXPECT_FALSE(spA->IsEqual(spB));
    spB->GetTarget(1)->SetName("Right");
    spB->GetTarget(1)->GetTargetVerts()[0].x = 0.5f;
    EXPECT_FALSE(spA->IsEqual(spB));

    // 10.1.0.103: per target float keys and the vertices; named "MT %d".
    animtest::File kOld(V(10, 1, 0, 103));
    Bytes kData;
    kData.U32(2).U32(1).U8(1);
    kData.U32(3).U32(NI_LINKEY).F32(0).F32(0).F32(1).F32(1).F32(2).F32(0.5f).Floats({1, 2, 3});
    kData.U32(0).U32(0).Floats({4, 5, 6});
    kOld.Add("NiMorphData", kData);
    kOld.Top(0);
    NiObjectPtr spLoaded = animtest::Load(kOld.Build());
    auto* pkData = NiDynamicCast<NiMorphData>(spLoaded.Get());
    ASSERT_NE(pkData, nullptr);
    ASSERT_EQ(pkData->GetNumTargets(), 2u);
    EXPECT_TRUE(pkData->GetRelativeTargets());
    EXPECT_STREQ(pkData->GetTarget(0)->GetName(), "MT 0");
    EXPECT_STREQ(pkData->GetTarget(1)->GetName(), "MT 1");
    EXPECT_EQ(pkData->GetTarget(1)->GetTargetVerts()[0].z, 6.0f);
    auto* pkInterp = NiDynamicCast<NiFloatInterpolator>(pkData->GetTarget(0)->GetInterpolator());
    ASSERT_NE(pkInterp, nullptr);
    float f = 0;
    EXPECT_TRUE(pkInterp->UpdateFloat(1.5f, nullptr, f));
    EXPECT_FLOAT_EQ(f, 0.75f);
    EXPECT_EQ(pkData->GetTarget(1)->GetInterpolator(), nullptr);

    // Hostile: counts beyond the file, key kinds floats lack, cuts.
    for (const Bytes& k : {Bytes().U32(0x10000000).U32(1).U8(0), Bytes().U32(1).U32(0x40000000).U8(0),
                           Bytes().U32(0xFFFFFFFF).U32(0xFFFFFFFF).U8(0)})
    {
        animtest::File kBad;
        kBad.Add("NiMorphData", k);
        kBad.Top(0);
        EXPECT_EQ(animtest::Load(kBad.Build()), nullptr);
    }
    animtest::File kEuler(V(10, 1, 0, 103));
    kEuler.Add("NiMorphData", Bytes().U32(1).U32(0).U8(0).U32(1).U32(NI_EULERKEY).F32(0).F32(0));
    kEuler.Top(0);
    EXPECT_EQ(animtest::Load(kEuler.Build()), nullptr);
    const auto kOldBytes = kOld.Build();
    for (std::size_t n = 0; n < kOldBytes.size(); ++n)
        EXPECT_EQ(animtest::Load(kOldBytes, n), nullptr) << n;
}

TEST_F(NiGeomMorpherControllerTest, ControllerRecordsAcrossVersions)
{
    NiGeomMorpherControllerPtr sp = new NiGeomMorpherController;
    sp->SetMorphData(ThreeTargets(false));
    sp->SetMorpherFlags(1);
    sp->SetAlwaysUpdate(true);
    sp->SetInterpolator(new NiFloatInterpolator(0.25f), 1);
    animtest::ExpectRoundTrip(sp);

    // 10.1.0.103: interpolators come from the morph data's targets.
    {
        animtest::File kFile(V(10, 1, 0, 103));
        kFile.Add("NiGeomMorpherController", animtest::TimeControllerRecord(0x0C, NULL_LINK, 0, 2).U16(1).U32(1).U8(0));
        Bytes kData;
        kData.U32(1).U32(1).U8(0).U32(2).U32(NI_LINKEY).F32(0).F32(0).F32(2).F32(1).Floats({1, 1, 1});
        kFile.Add("NiMorphData", kData);
        kFile.Top(0);
        NiObjectPtr spLoaded = animtest::Load(kFile.Build());
        auto* pk = NiDynamicCast<NiGeomMorpherController>(spLoaded.Get());
        ASSERT_NE(pk, nullptr);
        EXPECT_EQ(pk->GetMorpherFlags(), 1);
        ASSERT_EQ(pk->GetInterpolatorCount(), 1);
        EXPECT_EQ(pk->GetInterpolator(0), pk->GetMorphData()->GetTarget(0)->GetInterpolator());
        EXPECT_NE(pk->GetInterpolator(0), nullptr);
    }
    // 4.0.0.1: morpher flags in the flags word (bits 4-9 in files without
    // the direction bit, 5-10 once it is made room for), no
    // always-update byte; 4.1.0.12 and older guarantee the key range.
    {
        std::vector<stream_test::Record> kRecords;
        stream_test::Bytes kController;
        kController.U32(NULL_LINK).U16(static_cast<std::uint16_t>(0x0C | (0x21u << 4))).F32(1).F32(0).F32(0).F32(3);
        kController.U32(NULL_LINK).U32(1);
        kRecords.push_back({"NiGeomMorpherController", kController});
        stream_test::Bytes kData;
        kData.U32(1).U32(1).U8(0).U32(2).U32(NI_LINKEY).F32(1).F32(0).F32(2).F32(1).F32(1).F32(1).F32(1);
        kRecords.push_back({"NiMorphData", kData});
        auto kFile = stream_test::BuildFile(V(4, 0, 0, 1), kRecords, {0});
        NiObjectPtr spLoaded = animtest::Load(kFile);
        auto* pk = NiDynamicCast<NiGeomMorpherController>(spLoaded.Get());
        ASSERT_NE(pk, nullptr);
        EXPECT_EQ(pk->GetMorpherFlags(), 0x21);
        EXPECT_FALSE(pk->GetAlwaysUpdate());
        float fBegin = 0;
        float fEnd = 0;
        pk->GetInterpolator(0)->GetActiveTimeRange(fBegin, fEnd);
        EXPECT_EQ(fBegin, 0.0f);
        EXPECT_EQ(fEnd, 3.0f);
    }
    // More interpolators than targets: only as many as targets are kept;
    // a link to anything but an interpolator or morph data fails.
    {
        animtest::File kFile;
        kFile.Add("NiGeomMorpherController",
                  animtest::TimeControllerRecord(0x0C).U16(0).U32(1).U8(0).U32(3).U32(2).U32(2).U32(2));
        kFile.Add("NiMorphData", Bytes().U32(1).U32(0).U8(0).U32(0).F32(0));
        kFile.Add("NiFloatInterpolator", Bytes().F32(1.0f).U32(NULL_LINK));
        kFile.Top(0);
        NiObjectPtr spLoaded = animtest::Load(kFile.Build());
        auto* pk = NiDynamicCast<NiGeomMorpherController>(spLoaded.Get());
        ASSERT_NE(pk, nullptr);
        EXPECT_EQ(pk->GetInterpolatorCount(), 1);

        animtest::File kWrong;
        kWrong.Add("NiGeomMorpherController", animtest::TimeControllerRecord(0x0C).U16(0).U32(1).U8(0).U32(0));
        kWrong.Add("NiFloatData", Bytes().U32(0));
        kWrong.Top(0);
        EXPECT_EQ(animtest::Load(kWrong.Build()), nullptr);
        animtest::File kHuge;
        kHuge.Add("NiGeomMorpherController",
                  animtest::TimeControllerRecord(0x0C).U16(0).U32(NULL_LINK).U8(0).U32(0x7FFFFFFF));
        kHuge.Top(0);
        EXPECT_EQ(animtest::Load(kHuge.Build()), nullptr);
    }
}
