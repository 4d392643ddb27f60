#include "engine/animation/NiBlendBoolInterpolator.h"
#include "engine/animation/NiBlendColorInterpolator.h"
#include "engine/animation/NiBlendFloatInterpolator.h"
#include "engine/animation/NiBlendPoint3Interpolator.h"
#include "engine/animation/NiBlendQuaternionInterpolator.h"
#include "engine/animation/NiBlendTransformInterpolator.h"
#include "engine/animation/NiBoolInterpolator.h"
#include "engine/animation/NiBoolTimelineInterpolator.h"
#include "engine/animation/NiColorInterpolator.h"
#include "engine/animation/NiFloatInterpolator.h"
#include "engine/animation/NiPoint3Interpolator.h"
#include "engine/animation/NiQuaternionInterpolator.h"
#include "engine/core/NiViewerStrings.h"
#include "tests/engine/animation/AnimTestFile.h"

#include <gtest/gtest.h>

#include <cfloat>
#include <string>
#include <vector>

using animtest::Bytes;

// The record layout, viewer strings, clone and channel answers that every
// single-channel interpolator, its key data and the typed blends share.
namespace
{
class NiSingleChannelInterpolatorTest : public animtest::AnimTest
{
};

std::vector<std::string> Take(NiViewerStringArray& kStrings)
{
    std::vector<std::string> kLines;
    for (std::uint32_t i = 0; i < kStrings.GetSize(); ++i)
    {
        if (kStrings.GetAt(i) != nullptr)
            kLines.emplace_back(kStrings.GetAt(i));
        delete[] kStrings.GetAt(i);
    }
    kStrings.RemoveAll();
    return kLines;
}

std::vector<std::string> Lines(NiObject* pk)
{
    NiViewerStringArray kStrings;
    pk->AppendViewerStrings(kStrings);
    return Take(kStrings);
}

// The object part, then the given lines.
std::vector<std::string> Expected(NiObject* pk, std::initializer_list<char*> kLines)
{
    NiViewerStringArray kStrings;
    pk->NiObject::AppendViewerStrings(kStrings);
    for (char* pc : kLines)
        kStrings.AddTail(pc);
    return Take(kStrings);
}

// One key of each content at time 0 and 1, linear (step for bool).
template <class Key, class Data>
NiRefPtr<Data> MakeData(std::uint32_t uiContent, std::uint32_t uiType, void (*pfnSet)(Key&, int))
{
    std::uint8_t ucSize = NiAnimKeyTables::GetKeySize(uiContent, uiType);
    NiAnimKey* pk = NiAnimKeyTables::GetCreateFunction(uiContent, uiType)(2);
    for (int i = 0; i < 2; ++i)
    {
        auto* p = static_cast<Key*>(NiAnimKey::At(pk, static_cast<std::uint32_t>(i), ucSize));
        p->m_fTime = static_cast<float>(i);
        pfnSet(*p, i);
    }
    NiAnimKeyTables::GetFillDerivedFunction(uiContent, uiType)(pk, 2, ucSize);
    NiRefPtr<Data> sp = new Data;
    sp->ReplaceKeys(pk, 2, uiType);
    return sp;
}

struct Case
{
    NiRefPtr<NiKeyBasedInterpolator> m_spInterp;
    NiRefPtr<NiObject> m_spData;
    const char* m_pcClass;
    const char* m_pcDataClass;
    std::uint32_t m_uiContent;
    std::uint32_t m_uiType;
    Bytes m_kPose;
    Bytes m_kKeys; // after count and type
    std::vector<char*> m_kLines;
};

std::vector<Case> Cases()
{
    std::vector<Case> k;
    {
        auto sp = MakeData<NiFloatKey, NiFloatData>(NI_FLOATKEY, NI_LINKEY,
                                                     [](NiFloatKey& r, int i) { r.m_fValue = 3.0f + i; });
        NiRefPtr<NiFloatInterpolator> spI = new NiFloatInterpolator(1.5f);
        spI->SetData(sp);
        Case c{spI, sp, "NiFloatInterpolator", "NiFloatData", NI_FLOATKEY, NI_LINKEY, {}, {}, {}};
        c.m_kPose.F32(1.5f);
        c.m_kKeys.Floats({0, 3, 1, 4});
        c.m_kLines = {NiViewerHeader("NiFloatInterpolator"), NiViewerFloat("m_fFloatValue", 1.5f),
                      NiViewerPointer("m_spFloatData", sp.Get())};
        k.push_back(c);
    }
    {
        auto sp = MakeData<NiColorKey, NiColorData>(NI_COLORKEY, NI_LINKEY, [](NiColorKey& r, int i) {
            r.m_kColor = NiColorRGBA(0.1f * i, 0.2f, 0.3f, 0.4f);
        });
        NiColorRGBA kPose(0.5f, 0.25f, 0.125f, 1.0f);
        NiRefPtr<NiColorInterpolator> spI = new NiColorInterpolator(kPose);
        spI->SetData(sp);
        Case c{spI, sp, "NiColorInterpolator", "NiColorData", NI_COLORKEY, NI_LINKEY, {}, {}, {}};
        c.m_kPose.Floats({0.5f, 0.25f, 0.125f, 1.0f});
        c.m_kKeys.Floats({0, 0, 0.2f, 0.3f, 0.4f, 1, 0.1f, 0.2f, 0.3f, 0.4f});
        c.m_kLines = {NiViewerHeader("NiColorInterpolator"),
                      NiViewerFormat("m_kColorValue = (%g,%g,%g,%g)", 0.5, 0.25, 0.125, 1.0),
                      NiViewerPointer("m_spColorData", sp.Get())};
        k.push_back(c);
    }
    for (bool bTimeline : {false, true})
    {
        auto sp = MakeData<NiBoolKey, NiBoolData>(NI_BOOLKEY, NI_STEPKEY,
                                                   [](NiBoolKey& r, int i) { r.m_bValue = std::uint8_t(i); });
        NiRefPtr<NiBoolInterpolator> spI =
            bTimeline ? new NiBoolTimelineInterpolator(std::uint8_t(1)) : new NiBoolInterpolator(std::uint8_t(1));
        spI->SetData(sp);
        Case c{spI,
               sp,
               bTimeline ? "NiBoolTimelineInterpolator" : "NiBoolInterpolator",
               "NiBoolData",
               NI_BOOLKEY,
               NI_STEPKEY,
               {},
               {},
               {}};
        c.m_kPose.U8(1);
        c.m_kKeys.F32(0).U8(0).F32(1).U8(1);
        c.m_kLines = {NiViewerHeader("NiBoolInterpolator"), NiViewerUChar("m_bBoolValue", 1),
                      NiViewerPointer("m_spBoolData", sp.Get())};
        if (bTimeline)
            c.m_kLines.push_back(NiViewerHeader("NiBoolTimelineInterpolator"));
        k.push_back(c);
    }
    {
        auto sp = MakeData<NiPosKey, NiPosData>(NI_POSKEY, NI_LINKEY,
                                                 [](NiPosKey& r, int i) { r.m_kPos = NiVec3(1.0f * i, 2, 3); });
        NiRefPtr<NiPoint3Interpolator> spI = new NiPoint3Interpolator(NiVec3(7, 8, 9));
        spI->SetData(sp);
        Case c{spI, sp, "NiPoint3Interpolator", "NiPosData", NI_POSKEY, NI_LINKEY, {}, {}, {}};
        c.m_kPose.Floats({7, 8, 9});
        c.m_kKeys.Floats({0, 0, 2, 3, 1, 1, 2, 3});
        c.m_kLines = {NiViewerHeader("NiPoint3Interpolator"), NiViewerVec3("m_kPoint3Value", NiVec3(7, 8, 9)),
                      NiViewerPointer("m_spPoint3Data", sp.Get())};
        k.push_back(c);
    }
    {
        auto sp = MakeData<NiRotKey, NiRotData>(NI_ROTKEY, NI_LINKEY,
                                                 [](NiRotKey& r, int) { r.m_kQuat = NiQuat(1, 0, 0, 0); });
        NiQuat kPose(0.5f, 0.5f, 0.5f, 0.5f);
        NiRefPtr<NiQuaternionInterpolator> spI = new NiQuaternionInterpolator(kPose);
        spI->SetData(sp);
        Case c{spI, sp, "NiQuaternionInterpolator", "NiRotData", NI_ROTKEY, NI_LINKEY, {}, {}, {}};
        c.m_kPose.Floats({0.5f, 0.5f, 0.5f, 0.5f});
        c.m_kKeys.Floats({0, 1, 0, 0, 0, 1, 1, 0, 0, 0});
        c.m_kLines = {NiViewerHeader("NiQuaternionInterpolator"), NiViewerQuat("m_kQuaternionValue", kPose),
                      NiViewerPointer("m_spQuaternionData", sp.Get())};
        k.push_back(c);
    }
    return k;
}

void FreeLines(std::vector<char*>& kLines)
{
    for (char* pc : kLines)
        delete[] pc;
    kLines.clear();
}
} // namespace

TEST_F(NiSingleChannelInterpolatorTest, RecordsAreThePoseThenTheDataLink)
{
    for (Case& c : Cases())
    {
        SCOPED_TRACE(c.m_pcClass);
        Bytes kRecord;
        kRecord.Append(c.m_kPose).U32(1);
        Bytes kData;
        kData.U32(2).U32(c.m_uiType).Append(c.m_kKeys);
        animtest::File kFile;
        kFile.Top(kFile.Add(c.m_pcClass, kRecord));
        kFile.Add(c.m_pcDataClass, kData);
        std::vector<std::uint8_t> kExpected = kFile.Build();
        EXPECT_EQ(animtest::Save(c.m_spInterp), kExpected);

        NiObjectPtr spLoaded = animtest::Load(kExpected);
        ASSERT_NE(spLoaded, nullptr);
        EXPECT_EQ(std::string(spLoaded->GetTypeInfo()->GetName()), c.m_pcClass);
        EXPECT_TRUE(c.m_spInterp->IsEqual(spLoaded));
        EXPECT_EQ(animtest::Save(spLoaded), kExpected);

        // Without data the link is the null link and the pose stands alone.
        NiRefPtr<NiKeyBasedInterpolator> spBare = static_cast<NiKeyBasedInterpolator*>(c.m_spInterp->Clone());
        EXPECT_TRUE(spBare->IsEqual(c.m_spInterp));
        FreeLines(c.m_kLines);
    }
}

TEST_F(NiSingleChannelInterpolatorTest, ViewerStringsNameThePoseAndTheData)
{
    for (Case& c : Cases())
    {
        SCOPED_TRACE(c.m_pcClass);
        std::vector<char*> kAll{NiViewerHeader("NiInterpolator")};
        kAll.insert(kAll.end(), c.m_kLines.begin(), c.m_kLines.end());
        c.m_kLines.clear();
        NiViewerStringArray kStrings;
        c.m_spInterp->NiObject::AppendViewerStrings(kStrings);
        for (char* pc : kAll)
            kStrings.AddTail(pc);
        EXPECT_EQ(Lines(c.m_spInterp), Take(kStrings));

        EXPECT_EQ(Lines(c.m_spData),
                  Expected(c.m_spData, {NiViewerHeader(c.m_pcDataClass), NiViewerUInt("m_uiNumKeys", 2)}));
    }
}

TEST_F(NiSingleChannelInterpolatorTest, ChannelAnswersComeFromTheDataOrThePose)
{
    for (Case& c : Cases())
    {
        SCOPED_TRACE(c.m_pcClass);
        NiKeyBasedInterpolator* pk = c.m_spInterp;
        EXPECT_EQ(pk->GetKeyChannelCount(), 1u);
        EXPECT_EQ(pk->GetKeyCount(0), 2u);
        EXPECT_EQ(pk->GetKeyCount(1), 0u);
        EXPECT_EQ(pk->GetKeyType(0), c.m_uiType);
        EXPECT_EQ(pk->GetKeyContent(0), c.m_uiContent);
        EXPECT_EQ(pk->GetKeyStride(0), NiAnimKeyTables::GetKeySize(c.m_uiContent, c.m_uiType));
        EXPECT_NE(pk->GetKeyArray(0), nullptr);
        EXPECT_EQ(pk->GetKeyArray(1), nullptr);
        EXPECT_FALSE(pk->GetChannelPosed(0));
        float fBegin = 0, fEnd = 0;
        pk->GetActiveTimeRange(fBegin, fEnd);
        EXPECT_EQ(fBegin, 0.0f);
        EXPECT_EQ(fEnd, 1.0f);

        // A sequence copy holds its own data and keeps the class.
        NiRefPtr<NiInterpolator> spSeq = pk->GetSequenceInterpolator(0.5f, 1.0f);
        ASSERT_NE(spSeq, nullptr);
        EXPECT_EQ(spSeq->GetTypeInfo(), pk->GetTypeInfo());
        auto* pkSeq = static_cast<NiKeyBasedInterpolator*>(spSeq.Get());
        EXPECT_EQ(pkSeq->GetKeyCount(0), 1u);
        EXPECT_NE(pkSeq->GetKeyArray(0), pk->GetKeyArray(0));
        EXPECT_EQ(pk->GetKeyCount(0), 2u);

        // Boundary keys land in the data.
        pk->GuaranteeTimeRange(0.25f, 1.0f);
        EXPECT_EQ(pk->GetKeyCount(0), 3u);
        FreeLines(c.m_kLines);
    }
}

namespace
{
struct BlendCase
{
    NiRefPtr<NiBlendInterpolator> m_spBlend;
    Bytes m_kValue;
    std::vector<char*> m_kLines;
};
} // namespace

TEST_F(NiSingleChannelInterpolatorTest, TypedBlendsEndTheirRecordWithTheirValue)
{
    std::vector<BlendCase> kCases;
    {
        NiRefPtr<NiBlendFloatInterpolator> sp = new NiBlendFloatInterpolator;
        BlendCase c{sp, {}, {}};
        c.m_kValue.F32(-FLT_MAX);
        c.m_kLines = {NiViewerHeader("NiBlendFloatInterpolator"), NiViewerFloat("m_fFloatValue", -FLT_MAX)};
        kCases.push_back(c);
    }
    {
        NiRefPtr<NiBlendBoolInterpolator> sp = new NiBlendBoolInterpolator;
        BlendCase c{sp, {}, {}};
        c.m_kValue.U8(2);
        c.m_kLines = {NiViewerHeader("NiBlendBoolInterpolator"), NiViewerUChar("m_bBoolValue", 2)};
        kCases.push_back(c);
    }
    {
        NiRefPtr<NiBlendPoint3Interpolator> sp = new NiBlendPoint3Interpolator;
        BlendCase c{sp, {}, {}};
        c.m_kValue.Floats({-FLT_MAX, -FLT_MAX, -FLT_MAX});
        c.m_kLines = {NiViewerHeader("NiBlendPoint3Interpolator"),
                      NiViewerVec3("m_kPoint3Value", NiInterpolator::INVALID_POINT3)};
        kCases.push_back(c);
    }
    {
        NiRefPtr<NiBlendColorInterpolator> sp = new NiBlendColorInterpolator;
        BlendCase c{sp, {}, {}};
        c.m_kValue.Floats({-FLT_MAX, -FLT_MAX, -FLT_MAX, -FLT_MAX});
        double d = -FLT_MAX;
        c.m_kLines = {NiViewerHeader("NiBlendColorInterpolator"),
                      NiViewerFormat("m_kColorValue = (%g,%g,%g,%g)", d, d, d, d)};
        kCases.push_back(c);
    }
    {
        NiRefPtr<NiBlendQuaternionInterpolator> sp = new NiBlendQuaternionInterpolator;
        BlendCase c{sp, {}, {}};
        c.m_kValue.Floats({-FLT_MAX, -FLT_MAX, -FLT_MAX, -FLT_MAX});
        c.m_kLines = {NiViewerHeader("NiBlendQuaternionInterpolator"),
                      NiViewerQuat("m_kQuaternionValue", NiQuat::INVALID_QUATERNION)};
        kCases.push_back(c);
    }
    {
        NiRefPtr<NiBlendTransformInterpolator> sp = new NiBlendTransformInterpolator;
        BlendCase c{sp, {}, {}};
        c.m_kLines = {NiViewerHeader("NiBlendTransformInterpolator")};
        kCases.push_back(c);
    }
    for (BlendCase& c : kCases)
    {
        SCOPED_TRACE(c.m_spBlend->GetTypeInfo()->GetName());
        std::vector<std::uint8_t> kBytes = animtest::Save(c.m_spBlend);
        // The file ends with the top-object list (count and one link).
        ASSERT_GE(kBytes.size(), 8 + c.m_kValue.Size());
        std::vector<std::uint8_t> kTail(kBytes.end() - 8 - static_cast<std::ptrdiff_t>(c.m_kValue.Size()),
                                        kBytes.end() - 8);
        EXPECT_EQ(kTail, c.m_kValue.m);
        NiObjectPtr spLoaded = animtest::Load(kBytes);
        ASSERT_NE(spLoaded, nullptr);
        EXPECT_TRUE(c.m_spBlend->IsEqual(spLoaded));
        EXPECT_EQ(animtest::Save(spLoaded), kBytes);
        NiObjectPtr spClone = c.m_spBlend->Clone();
        EXPECT_TRUE(c.m_spBlend->IsEqual(spClone));

        std::vector<std::string> kLines = Lines(c.m_spBlend);
        NiViewerStringArray kStrings;
        for (char* pc : c.m_kLines)
            kStrings.AddTail(pc);
        std::vector<std::string> kExpected = Take(kStrings);
        ASSERT_GE(kLines.size(), kExpected.size());
        EXPECT_EQ(std::vector<std::string>(kLines.end() - static_cast<std::ptrdiff_t>(kExpected.size()), kLines.end()),
                  kExpected);
    }
}

TEST_F(NiSingleChannelInterpolatorTest, TypedBlendsKeepTheirLastValue)
{
    NiRefPtr<NiBlendColorInterpolator> spColor = new NiBlendColorInterpolator(false, 0.0f, 2);
    spColor->AddInterpInfo(new NiColorInterpolator(NiColorRGBA(0.2f, 0.4f, 0.6f, 0.5f)), 1.0f);
    NiColorRGBA kColor;
    ASSERT_TRUE(spColor->UpdateColor(0.0f, nullptr, kColor));
    EXPECT_EQ(kColor, NiColorRGBA(0.2f, 0.4f, 0.6f, 0.5f));
    NiRefPtr<NiBlendColorInterpolator> spColorClone = static_cast<NiBlendColorInterpolator*>(spColor->Clone());
    EXPECT_TRUE(spColor->IsEqual(spColorClone));

    NiRefPtr<NiBlendQuaternionInterpolator> spQuat = new NiBlendQuaternionInterpolator(false, 0.0f, 2);
    NiQuat q;
    EXPECT_FALSE(spQuat->UpdateQuaternion(0.0f, nullptr, q));
    EXPECT_EQ(spQuat->GetLastTime(), 0.0f);

    NiRefPtr<NiBlendBoolInterpolator> spBool = new NiBlendBoolInterpolator(false, 0.0f, 2);
    spBool->AddInterpInfo(new NiBoolInterpolator(std::uint8_t(2)), 1.0f);
    std::uint8_t b = 7;
    EXPECT_FALSE(spBool->UpdateBool(1.0f, nullptr, b));
    EXPECT_EQ(b, 0);
}

TEST_F(NiSingleChannelInterpolatorTest, OnlyKeysOfOneValueCollapseToThatValue)
{
    for (Case& c : Cases())
    {
        SCOPED_TRACE(c.m_pcClass);
        NiKeyBasedInterpolator* pk = c.m_spInterp;
        pk->Collapse();
        // Only the rotation keys hold one value twice.
        bool bCollapses = c.m_uiContent == NI_ROTKEY;
        EXPECT_EQ(pk->GetKeyCount(0) == 0, bCollapses);
        EXPECT_EQ(pk->GetChannelPosed(0), bCollapses);
        FreeLines(c.m_kLines);
    }
    NiRefPtr<NiQuaternionInterpolator> spQuat = new NiQuaternionInterpolator(
        MakeData<NiRotKey, NiRotData>(NI_ROTKEY, NI_STEPKEY, [](NiRotKey& r, int) { r.m_kQuat = NiQuat(0, 1, 0, 0); }));
    spQuat->Collapse();
    EXPECT_EQ(spQuat->GetData(), nullptr);
    EXPECT_EQ(spQuat->GetPoseValue(), NiQuat(0, 1, 0, 0));

    NiRefPtr<NiBoolInterpolator> spBool = new NiBoolInterpolator(
        MakeData<NiBoolKey, NiBoolData>(NI_BOOLKEY, NI_STEPKEY, [](NiBoolKey& r, int i) { r.m_bValue = 1 + i; }));
    spBool->Collapse();
    EXPECT_EQ(spBool->GetData(), nullptr);
    EXPECT_EQ(spBool->GetPoseValue(), 1);

    NiRefPtr<NiColorInterpolator> spColor = new NiColorInterpolator(MakeData<NiColorKey, NiColorData>(
        NI_COLORKEY, NI_LINKEY, [](NiColorKey& r, int) { r.m_kColor = NiColorRGBA(0.5f, 0.25f, 0, 1); }));
    spColor->Collapse();
    EXPECT_EQ(spColor->GetData(), nullptr);
    EXPECT_EQ(spColor->GetPoseValue(), NiColorRGBA(0.5f, 0.25f, 0, 1));
    NiColorRGBA k;
    EXPECT_TRUE(spColor->UpdateColor(3.0f, nullptr, k));
    EXPECT_EQ(k, NiColorRGBA(0.5f, 0.25f, 0, 1));
}
