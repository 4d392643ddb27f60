#include "engine/animation/NiTransformInterpolator.h"

#include "engine/animation/NiAnimKeyTables.h"
#include "engine/animation/NiTransformData.h"
#include "tests/engine/animation/AnimTestFile.h"

#include <gtest/gtest.h>

#include <cfloat>

using animtest::Bytes;
using animtest::V;

namespace
{
class NiTransformInterpolatorTest : public animtest::AnimTest
{
};

NiAnimKey* PosKeys(std::uint32_t uiType, std::initializer_list<std::pair<float, NiVec3>> kKeys)
{
    std::uint8_t ucSize = NiAnimKeyTables::GetKeySize(NI_POSKEY, uiType);
    NiAnimKey* pk = NiAnimKeyTables::GetCreateFunction(NI_POSKEY, uiType)(static_cast<std::uint32_t>(kKeys.size()));
    std::uint32_t i = 0;
    for (const auto& k : kKeys)
    {
        auto* p = static_cast<NiPosKey*>(NiAnimKey::At(pk, i++, ucSize));
        p->m_fTime = k.first;
        p->m_kPos = k.second;
    }
    NiAnimKeyTables::GetFillDerivedFunction(NI_POSKEY, uiType)(pk, i, ucSize);
    return pk;
}

NiAnimKey* FloatKeys(std::uint32_t uiType, std::initializer_list<std::pair<float, float>> kKeys)
{
    std::uint8_t ucSize = NiAnimKeyTables::GetKeySize(NI_FLOATKEY, uiType);
    NiAnimKey* pk = NiAnimKeyTables::GetCreateFunction(NI_FLOATKEY, uiType)(static_cast<std::uint32_t>(kKeys.size()));
    std::uint32_t i = 0;
    for (const auto& k : kKeys)
    {
        auto* p = static_cast<NiFloatKey*>(NiAnimKey::At(pk, i++, ucSize));
        p->m_fTime = k.first;
        p->m_fValue = k.second;
    }
    NiAnimKeyTables::GetFillDerivedFunction(NI_FLOATKEY, uiType)(pk, i, ucSize);
    return pk;
}

NiAnimKey* RotKeys(std::uint32_t uiType, std::initializer_list<std::pair<float, NiQuat>> kKeys)
{
    std::uint8_t ucSize = NiAnimKeyTables::GetKeySize(NI_ROTKEY, uiType);
    NiAnimKey* pk = NiAnimKeyTables::GetCreateFunction(NI_ROTKEY, uiType)(static_cast<std::uint32_t>(kKeys.size()));
    std::uint32_t i = 0;
    for (const auto& k : kKeys)
    {
        auto* p = static_cast<NiRotKey*>(NiAnimKey::At(pk, i++, ucSize));
        p->m_fTime = k.first;
        p->m_kQuat = k.second;
    }
    NiAnimKeyTables::GetFillDerivedFunction(NI_ROTKEY, uiType)(pk, i, ucSize);
    return pk;
}

NiTransformDataPtr FullData()
{
    NiTransformDataPtr sp = new NiTransformData;
    sp->ReplaceRotKeys(RotKeys(NI_LINKEY, {{0, NiQuat::IDENTITY}, {2, NiQuat(0, 0, 0, 1)}}), 2, NI_LINKEY);
    NiAnimKey* pkPos = NiAnimKeyTables::GetCreateFunction(NI_POSKEY, NI_BEZKEY)(2);
    auto* b = static_cast<NiBezPosKey*>(pkPos);
    b[0].m_kPos = NiVec3(0, 0, 0);
    b[0].m_kOutTan = NiVec3(1, 0, 0);
    b[1].m_fTime = 2;
    b[1].m_kPos = NiVec3(4, 2, 0);
    b[1].m_kInTan = NiVec3(0, 1, 0);
    NiAnimKeyTables::GetFillDerivedFunction(NI_POSKEY, NI_BEZKEY)(pkPos, 2, 64);
    sp->ReplacePosKeys(pkPos, 2, NI_BEZKEY);
    sp->ReplaceScaleKeys(FloatKeys(NI_TCBKEY, {{0, 1}, {1, 2}, {2, 1}}), 3, NI_TCBKEY);
    return sp;
}
} // namespace

TEST_F(NiTransformInterpolatorTest, RecordsRoundTripByteForByte)
{
    NiTransformInterpolatorPtr sp = new NiTransformInterpolator(FullData());
    sp->SetPoseValue(NiQuatTransform(NiVec3(1, 2, 3), NiQuat::IDENTITY, 1.0f));
    std::vector<std::uint8_t> kBytes = animtest::Save(sp);
    ASSERT_FALSE(kBytes.empty());
    NiObjectPtr spLoaded = animtest::Load(kBytes);
    auto* pkLoaded = NiDynamicCast<NiTransformInterpolator>(spLoaded.Get());
    ASSERT_NE(pkLoaded, nullptr);
    EXPECT_TRUE(sp->IsEqual(pkLoaded));
    EXPECT_EQ(animtest::Save(pkLoaded), kBytes);
    ASSERT_NE(pkLoaded->GetTransformData(), nullptr);
    EXPECT_EQ(pkLoaded->GetTransformData()->GetNumScaleKeys(), 3u);

    // Derived values are rebuilt on load, so both evaluate the same.
    NiQuatTransform kA, kB;
    ASSERT_TRUE(sp->UpdateTransform(0.7f, nullptr, kA));
    ASSERT_TRUE(pkLoaded->UpdateTransform(0.7f, nullptr, kB));
    EXPECT_EQ(kA, kB);

    for (std::size_t n = 0; n < kBytes.size(); ++n)
    {
        SCOPED_TRACE(n);
        EXPECT_EQ(animtest::Load(kBytes, n), nullptr);
    }
}

TEST_F(NiTransformInterpolatorTest, EmptyDataRecordIsTwelveBytesAndOldNameLoadsIt)
{
    Bytes kRecord;
    kRecord.U32(0).U32(0).U32(0);
    ASSERT_EQ(kRecord.Size(), 12u);
    for (const char* pcName : {"NiTransformData", "NiKeyframeData"})
    {
        SCOPED_TRACE(pcName);
        animtest::File kFile;
        kFile.Top(kFile.Add(pcName, kRecord));
        NiObjectPtr sp = animtest::Load(kFile.Build());
        auto* pkData = NiDynamicCast<NiTransformData>(sp.Get());
        ASSERT_NE(pkData, nullptr);
        EXPECT_EQ(pkData->GetNumRotKeys() + pkData->GetNumPosKeys() + pkData->GetNumScaleKeys(), 0u);
        EXPECT_EQ(pkData->GetTypeInfo(), NiTransformData::TypeInfo());
    }
}

TEST_F(NiTransformInterpolatorTest, HostileKeyBlocksFailTheLoad)
{
    auto fnLoad = [](const Bytes& kRecord) {
        animtest::File kFile;
        kFile.Top(kFile.Add("NiTransformData", kRecord));
        return animtest::Load(kFile.Build());
    };
    Bytes kHuge;
    kHuge.U32(0).U32(0xFFFFFFFFu).U32(NI_LINKEY).Floats({0, 1, 2, 3}).U32(0);
    EXPECT_EQ(fnLoad(kHuge), nullptr);
    for (std::uint32_t uiType : {6u, 99u, std::uint32_t(NI_NOINTERP)})
    {
        SCOPED_TRACE(uiType);
        Bytes kBad;
        kBad.U32(0).U32(1).U32(uiType).Floats({0, 1, 2, 3}).U32(0);
        EXPECT_EQ(fnLoad(kBad), nullptr);
    }
    // Euler is a rotation type only.
    Bytes kEulerPos;
    kEulerPos.U32(0).U32(1).U32(NI_EULERKEY).U32(0).U32(0).U32(0).U32(0);
    EXPECT_EQ(fnLoad(kEulerPos), nullptr);
    // A well-formed record loads.
    Bytes kGood;
    kGood.U32(0).U32(1).U32(NI_LINKEY).Floats({0, 1, 2, 3}).U32(0);
    EXPECT_NE(fnLoad(kGood), nullptr);
}

TEST_F(NiTransformInterpolatorTest, InterpolatorRecordIsPosePlusLinkAndOldPoseHasValidityBytes)
{
    Bytes kRecord;
    kRecord.Floats({1, 2, 3, 1, 0, 0, 0, 2}).U32(0xFFFFFFFF);
    ASSERT_EQ(kRecord.Size(), 36u);
    animtest::File kFile;
    kFile.Top(kFile.Add("NiTransformInterpolator", kRecord));
    std::vector<std::uint8_t> kBytes = kFile.Build();
    NiObjectPtr sp = animtest::Load(kBytes);
    auto* pk = NiDynamicCast<NiTransformInterpolator>(sp.Get());
    ASSERT_NE(pk, nullptr);
    EXPECT_EQ(pk->GetPoseValue().m_kTranslate, NiVec3(1, 2, 3));
    EXPECT_EQ(pk->GetPoseValue().m_fScale, 2.0f);
    EXPECT_EQ(animtest::Save(pk), kBytes);

    Bytes kOld;
    kOld.Floats({1, 2, 3, 1, 0, 0, 0, 2}).U8(1).U8(0).U8(1).U32(0xFFFFFFFF);
    animtest::File kOldFile(V(10, 1, 0, 104));
    kOldFile.Top(kOldFile.Add("NiTransformInterpolator", kOld));
    sp = animtest::Load(kOldFile.Build());
    pk = NiDynamicCast<NiTransformInterpolator>(sp.Get());
    ASSERT_NE(pk, nullptr);
    EXPECT_TRUE(pk->GetPoseValue().IsTranslateValid());
    EXPECT_FALSE(pk->GetPoseValue().IsRotateValid());
    EXPECT_TRUE(pk->GetPoseValue().IsScaleValid());

    // A data link to an object of another class is refused.
    animtest::File kWrong;
    Bytes kSelf;
    kSelf.Floats({1, 2, 3, 1, 0, 0, 0, 2}).U32(0);
    kWrong.Top(kWrong.Add("NiTransformInterpolator", kSelf));
    EXPECT_EQ(animtest::Load(kWrong.Build()), nullptr);
}

TEST_F(NiTransformInterpolatorTest, SameTimeReusesTheCachedPose)
{
    NiTransformDataPtr spData = new NiTransformData;
    spData->ReplacePosKeys(PosKeys(NI_LINKEY, {{0, NiVec3(0, 0, 0)}, {1, NiVec3(10, 0, 0)}}), 2, NI_LINKEY);
    NiTransformInterpolatorPtr sp = new NiTransformInterpolator(spData);
    NiQuatTransform k;
    ASSERT_TRUE(sp->UpdateTransform(0.5f, nullptr, k));
    EXPECT_EQ(k.m_kTranslate, NiVec3(5, 0, 0));
    EXPECT_FALSE(k.IsRotateValid());
    EXPECT_EQ(sp->GetLastTime(), 0.5f);

    // Keys changed behind its back: the same time still answers from the
    // cache, a new time evaluates.
    static_cast<NiPosKey*>(NiAnimKey::At(spData->GetPosKeys(), 1, 16))->m_kPos = NiVec3(20, 0, 0);
    ASSERT_TRUE(sp->UpdateTransform(0.5f, nullptr, k));
    EXPECT_EQ(k.m_kTranslate, NiVec3(5, 0, 0));
    ASSERT_TRUE(sp->UpdateTransform(0.25f, nullptr, k));
    EXPECT_EQ(k.m_kTranslate, NiVec3(5, 0, 0));
    // After the last key: the last key's value.
    ASSERT_TRUE(sp->UpdateTransform(3.0f, nullptr, k));
    EXPECT_EQ(k.m_kTranslate, NiVec3(20, 0, 0));

    // Nothing valid: false and the last time stays.
    NiTransformInterpolatorPtr spEmpty = new NiTransformInterpolator;
    EXPECT_FALSE(spEmpty->UpdateTransform(1.0f, nullptr, k));
    EXPECT_EQ(spEmpty->GetLastTime(), -FLT_MAX);

    NiQuatTransform kPose;
    kPose.m_kTranslate = NiVec3(1, 1, 1);
    NiTransformInterpolatorPtr spPose = new NiTransformInterpolator(kPose);
    ASSERT_TRUE(spPose->UpdateTransform(1.0f, nullptr, k));
    EXPECT_FALSE(k.IsRotateValid());
    EXPECT_FALSE(k.IsScaleValid());
    EXPECT_TRUE(spPose->GetChannelPosed(NiTransformInterpolator::POSITION));
    EXPECT_FALSE(spPose->GetChannelPosed(NiTransformInterpolator::ROTATION));
    EXPECT_FALSE(spPose->GetChannelPosed(3));
    EXPECT_EQ(spPose->GetKeyContent(3), 6u);
}

TEST_F(NiTransformInterpolatorTest, CollapseReplacesOnlyConstantLinearOrSingleKeys)
{
    NiTransformDataPtr spData = new NiTransformData;
    spData->ReplacePosKeys(PosKeys(NI_LINKEY, {{0, NiVec3(1, 2, 3)}, {1, NiVec3(1, 2, 3)}, {2, NiVec3(1, 2, 3)}}),
                           3, NI_LINKEY);
    spData->ReplaceScaleKeys(FloatKeys(NI_BEZKEY, {{0, 2}, {1, 2}}), 2, NI_BEZKEY);
    NiTransformInterpolatorPtr sp = new NiTransformInterpolator(spData);
    sp->Collapse();
    EXPECT_EQ(sp->GetPoseValue().m_kTranslate, NiVec3(1, 2, 3));
    EXPECT_EQ(spData->GetNumPosKeys(), 0u);
    EXPECT_EQ(spData->GetNumScaleKeys(), 2u); // Bezier keys stay
    EXPECT_EQ(sp->GetTransformData(), spData.Get());

    spData->ReplacePosKeys(PosKeys(NI_LINKEY, {{0, NiVec3(1, 2, 3)}, {1, NiVec3(1, 2, 4)}}), 2, NI_LINKEY);
    sp->Collapse();
    EXPECT_EQ(spData->GetNumPosKeys(), 2u);

    // A single key collapses whatever its type; then no keys are left and
    // the data goes.
    spData->ReplacePosKeys(nullptr, 0, 0);
    spData->ReplaceScaleKeys(FloatKeys(NI_BEZKEY, {{0, 5}}), 1, NI_BEZKEY);
    sp->Collapse();
    EXPECT_EQ(sp->GetPoseValue().m_fScale, 5.0f);
    EXPECT_EQ(sp->GetTransformData(), nullptr);

    // One Euler key never collapses.
    NiTransformDataPtr spEuler = new NiTransformData;
    NiAnimKey* pkEuler = NiAnimKeyTables::GetCreateFunction(NI_ROTKEY, NI_EULERKEY)(1);
    auto* e = static_cast<NiEulerRotKey*>(pkEuler);
    e->m_apkKeys[0] = FloatKeys(NI_LINKEY, {{0.5f, 0}, {1.5f, 1}});
    e->m_uiNumKeys[0] = 2;
    e->m_eType[0] = NI_LINKEY;
    e->m_ucSizes[0] = 8;
    e->m_apkKeys[2] = FloatKeys(NI_LINKEY, {{-1.0f, 0}, {0.5f, 1}});
    e->m_uiNumKeys[2] = 2;
    e->m_eType[2] = NI_LINKEY;
    e->m_ucSizes[2] = 8;
    spEuler->ReplaceRotKeys(pkEuler, 1, NI_EULERKEY);
    NiTransformInterpolatorPtr spE = new NiTransformInterpolator(spEuler);
    spE->Collapse();
    EXPECT_EQ(spEuler->GetNumRotKeys(), 1u);
    EXPECT_EQ(spE->GetTransformData(), spEuler.Get());

    // The Euler axes count for the active range.
    float fBegin, fEnd;
    spE->GetActiveTimeRange(fBegin, fEnd);
    EXPECT_EQ(fBegin, -1.0f);
    EXPECT_EQ(fEnd, 1.5f);
}

TEST_F(NiTransformInterpolatorTest, ActiveRangeSpansAllChannels)
{
    NiTransformDataPtr spData = new NiTransformData;
    spData->ReplacePosKeys(PosKeys(NI_LINKEY, {{0, NiVec3()}, {2, NiVec3()}}), 2, NI_LINKEY);
    spData->ReplaceScaleKeys(FloatKeys(NI_LINKEY, {{1, 1}, {3, 1}}), 2, NI_LINKEY);
    NiTransformInterpolatorPtr sp = new NiTransformInterpolator(spData);
    float fBegin, fEnd;
    sp->GetActiveTimeRange(fBegin, fEnd);
    EXPECT_EQ(fBegin, 0.0f);
    EXPECT_EQ(fEnd, 3.0f);

    NiTransformDataPtr spOther = new NiTransformData;
    spOther->ReplacePosKeys(PosKeys(NI_LINKEY, {{0.5f, NiVec3()}, {2, NiVec3()}}), 2, NI_LINKEY);
    spOther->ReplaceRotKeys(RotKeys(NI_LINKEY, {{0, NiQuat::IDENTITY}, {1, NiQuat::IDENTITY}}), 2, NI_LINKEY);
    NiTransformInterpolatorPtr(new NiTransformInterpolator(spOther))->GetActiveTimeRange(fBegin, fEnd);
    EXPECT_EQ(fBegin, 0.0f);
    EXPECT_EQ(fEnd, 2.0f);

    NiTransformInterpolatorPtr spNone = new NiTransformInterpolator;
    spNone->GetActiveTimeRange(fBegin, fEnd);
    EXPECT_EQ(fBegin, 0.0f);
    EXPECT_EQ(fEnd, 0.0f);

    // Boundary keys, then a sequence copy over [1, 2] counted from 1.
    sp->GuaranteeTimeRange(0.5f, 2.5f);
    EXPECT_EQ(spData->GetNumPosKeys(), 4u); // 0, 0.5, 2, 2.5
    EXPECT_EQ(spData->GetNumScaleKeys(), 4u); // 0.5, 1, 2.5, 3
    NiRefPtr<NiInterpolator> spSeq = sp->GetSequenceInterpolator(1.0f, 2.0f);
    auto* pkSeq = NiDynamicCast<NiTransformInterpolator>(spSeq.Get());
    ASSERT_NE(pkSeq, nullptr);
    ASSERT_NE(pkSeq->GetTransformData(), spData.Get());
    EXPECT_EQ(pkSeq->GetKeyCount(NiTransformInterpolator::POSITION), 1u);
    pkSeq->GetActiveTimeRange(fBegin, fEnd);
    EXPECT_EQ(fBegin, 0.0f);
    EXPECT_EQ(fEnd, 1.0f);
}

TEST_F(NiTransformInterpolatorTest, DataEqualityComparesTypesAndReplaceEmptiesOneChannel)
{
    NiTransformDataPtr spA = FullData();
    NiTransformDataPtr spB = FullData();
    EXPECT_TRUE(spA->IsEqual(spB));
    spB->ReplaceRotKeys(RotKeys(NI_STEPKEY, {{0, NiQuat::IDENTITY}, {2, NiQuat(0, 0, 0, 1)}}), 2, NI_STEPKEY);
    EXPECT_FALSE(spA->IsEqual(spB));
    spA->ReplacePosKeys(nullptr, 0, NI_LINKEY);
    EXPECT_EQ(spA->GetNumPosKeys(), 0u);
    EXPECT_EQ(spA->GetPosType(), 0u);
    EXPECT_EQ(spA->GetNumRotKeys(), 2u);
    EXPECT_EQ(spA->GetNumScaleKeys(), 3u);
}
