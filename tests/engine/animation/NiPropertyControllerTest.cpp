#include "engine/animation/NiAlphaController.h"
#include "engine/animation/NiBlendFloatInterpolator.h"
#include "engine/animation/NiBoolInterpolator.h"
#include "engine/animation/NiColorExtraDataController.h"
#include "engine/animation/NiColorInterpolator.h"
#include "engine/animation/NiFlipController.h"
#include "engine/animation/NiFloatExtraDataController.h"
#include "engine/animation/NiFloatInterpolator.h"
#include "engine/animation/NiFloatsExtraDataController.h"
#include "engine/animation/NiMaterialColorController.h"
#include "engine/animation/NiPoint3Interpolator.h"
#include "engine/animation/NiRollController.h"
#include "engine/animation/NiTextureTransformController.h"
#include "engine/animation/NiUVController.h"
#include "engine/animation/NiVisController.h"
#include "engine/render/NiRenderLibrary.h"
#include "engine/render/image/NiRenderImageLibrary.h"
#include "engine/render/NiSourceTexture.h"
#include "engine/scene/NiColorExtraData.h"
#include "engine/scene/NiFloatExtraData.h"
#include "engine/scene/NiFloatsExtraData.h"
#include "engine/scene/NiLight.h"
#include "engine/scene/NiMaterialProperty.h"
#include "engine/scene/NiTexturingProperty.h"
#include "engine/scene/NiTriShape.h"
#include "tests/engine/animation/AnimModelSupport.h"
#include "tests/engine/animation/AnimShapes.h"
#include "tests/engine/animation/AnimTestFile.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

using animtest::Bytes;
using animtest::ExpectRoundTrip;
using animtest::FloatKeys;
using animtest::V;

namespace
{
constexpr std::uint32_t NONE = animtest::NULL_LINK;

class NiPropertyControllerTest : public animtest::ModelTest
{
};

// A key range wide enough that the scaled time is the time itself.
template <class T>
T* Ready(T* pkController)
{
    pkController->SetBeginKeyTime(0.0f);
    pkController->SetEndKeyTime(100.0f);
    return pkController;
}

// A four-vertex quad with uiSets texture sets, u = 0 or 1, v = 0 or 1.
NiRefPtr<NiTriShape> MakeQuad(std::uint16_t usSets)
{
    auto* pkVerts = new NiVec3[4]{{0, 0, 0}, {1, 0, 0}, {0, 1, 0}, {1, 1, 0}};
    NiVec2* pkUV = nullptr;
    if (usSets > 0)
    {
        pkUV = new NiVec2[4u * usSets];
        for (std::uint32_t s = 0; s < usSets; ++s)
        {
            pkUV[s * 4 + 0] = NiVec2(0, 0);
            pkUV[s * 4 + 1] = NiVec2(1, 0);
            pkUV[s * 4 + 2] = NiVec2(0, 1);
            pkUV[s * 4 + 3] = NiVec2(1, 1);
        }
    }
    auto* pusTris = new std::uint16_t[6]{0, 1, 2, 1, 3, 2};
    return new NiTriShape(4, pkVerts, nullptr, nullptr, pkUV, usSets, 0, 2, pusTris);
}

NiRefPtr<NiUVData> UVData(std::initializer_list<std::pair<float, float>> kUOffset,
                          std::initializer_list<std::pair<float, float>> kUTiling)
{
    NiRefPtr<NiUVData> sp = new NiUVData;
    if (kUOffset.size() > 0)
        sp->SetChannel(NiUVData::U_OFFSET, FloatKeys(NI_LINKEY, kUOffset), kUOffset.size(), NI_LINKEY);
    if (kUTiling.size() > 0)
        sp->SetChannel(NiUVData::U_TILING, FloatKeys(NI_LINKEY, kUTiling), kUTiling.size(), NI_LINKEY);
    return sp;
}
} // namespace

// ---- UV ----

TEST_F(NiPropertyControllerTest, UVOffsetMovesEveryCoordinateByTheNegatedChange)
{
    NiRefPtr<NiTriShape> spQuad = MakeQuad(1);
    NiRefPtr<NiUVController> sp = Ready(new NiUVController);
    sp->SetUVData(UVData({{0, 0.25f}, {1, 0.5f}}, {}));
    EXPECT_EQ(sp->GetBeginKeyTime(), 0.0f);
    EXPECT_EQ(sp->GetEndKeyTime(), 1.0f);
    sp->SetTarget(spQuad);

    sp->Update(0.0f);
    EXPECT_TRUE(sp->IsUpdatePending());
    spQuad->GetModelData()->SetDirtyFlags(0);
    sp->ApplyDeferredUpdate();
    EXPECT_FALSE(sp->IsUpdatePending());
    const NiVec2* pk = spQuad->GetModelData()->GetTextureSet(0);
    EXPECT_FLOAT_EQ(pk[0].x, -0.25f);
    EXPECT_FLOAT_EQ(pk[1].x, 0.75f);
    EXPECT_FLOAT_EQ(pk[2].y, 1.0f);
    EXPECT_EQ(spQuad->GetModelData()->GetDirtyFlags() & 0x8, 0x8);

    // From 0.25 to 0.5: a further -0.25.
    sp->Update(1.0f);
    sp->ApplyDeferredUpdate();
    EXPECT_FLOAT_EQ(pk[0].x, -0.5f);
    EXPECT_FLOAT_EQ(pk[1].x, 0.5f);
    EXPECT_FLOAT_EQ(sp->GetUVData()->m_afLastApplied[NiUVData::U_OFFSET], 0.5f);

    // A new target starts from the identity again.
    sp->SetTarget(spQuad);
    EXPECT_EQ(sp->GetUVData()->m_afLastApplied[NiUVData::U_OFFSET], 0.0f);
    EXPECT_EQ(sp->GetUVData()->m_afLastApplied[NiUVData::U_TILING], 1.0f);
}

TEST_F(NiPropertyControllerTest, UVTilingScalesAboutTheCentreAndZeroIsNotApplied)
{
    NiRefPtr<NiTriShape> spQuad = MakeQuad(2);
    NiRefPtr<NiUVController> sp = Ready(new NiUVController);
    sp->SetTextureSet(1);
    sp->SetUVData(UVData({}, {{0, 2.0f}, {1, 0.0f}}));
    sp->SetTarget(spQuad);
    sp->Update(0.0f);
    sp->ApplyDeferredUpdate();
    const NiVec2* pk0 = spQuad->GetModelData()->GetTextureSet(0);
    const NiVec2* pk1 = spQuad->GetModelData()->GetTextureSet(1);
    EXPECT_FLOAT_EQ(pk1[0].x, -0.5f);
    EXPECT_FLOAT_EQ(pk1[1].x, 1.5f);
    EXPECT_FLOAT_EQ(pk1[0].y, 0.0f);
    EXPECT_EQ(pk0[1].x, 1.0f) << "only the controller's set moves";

    // A tiling of 0 would make the next ratio infinite: that axis stays.
    sp->Update(1.0f);
    sp->ApplyDeferredUpdate();
    EXPECT_FLOAT_EQ(pk1[0].x, -0.5f);
    EXPECT_FLOAT_EQ(pk1[1].x, 1.5f);
    EXPECT_EQ(sp->GetUVData()->m_afLastApplied[NiUVData::U_TILING], 2.0f);
    for (std::uint32_t i = 0; i < 4; ++i)
        EXPECT_TRUE(std::isfinite(pk1[i].x));
}

TEST_F(NiPropertyControllerTest, UVWithTooFewTextureSetsKeepsItsPendingStep)
{
    NiRefPtr<NiTriShape> spQuad = MakeQuad(1);
    NiRefPtr<NiUVController> sp = Ready(new NiUVController);
    sp->SetTextureSet(1);
    sp->SetUVData(UVData({{0, 0.25f}}, {}));
    sp->SetTarget(spQuad);
    sp->Update(0.0f);
    sp->ApplyDeferredUpdate();
    EXPECT_TRUE(sp->IsUpdatePending());
    EXPECT_EQ(spQuad->GetModelData()->GetTextureSet(0)[1].x, 1.0f);

    // Clones share the data, and with it what was applied last.
    NiRefPtr<NiUVController> spClone = static_cast<NiUVController*>(sp->Clone());
    EXPECT_EQ(spClone->GetUVData(), sp->GetUVData());
    EXPECT_EQ(spClone->GetTextureSet(), 1);
}

TEST_F(NiPropertyControllerTest, UVRecordsRoundTripAndRefuseOtherKeyKinds)
{
    NiRefPtr<NiUVController> sp = Ready(new NiUVController);
    sp->SetTextureSet(3);
    NiRefPtr<NiUVData> spData = UVData({{0, 0.25f}, {2, 1.0f}}, {{0, 1}, {1, 3}});
    spData->SetChannel(NiUVData::V_OFFSET, FloatKeys(NI_STEPKEY, {{0.5f, 0.1f}}), 1, NI_STEPKEY);
    sp->SetUVData(spData);
    ExpectRoundTrip(sp);

    // A channel of a kind floats do not have (Euler) is refused.
    Bytes kBad;
    kBad.U32(1).U32(NI_EULERKEY).F32(0).F32(1).U32(0).U32(0).U32(0);
    animtest::File kFile;
    kFile.Add("NiUVData", kBad);
    kFile.Top(0);
    EXPECT_EQ(animtest::Load(kFile.Build()), nullptr);
    // A count beyond the file.
    Bytes kHuge;
    kHuge.U32(0x40000000).U32(NI_LINKEY).F32(0).F32(1);
    animtest::File kHugeFile;
    kHugeFile.Add("NiUVData", kHuge);
    kHugeFile.Top(0);
    EXPECT_EQ(animtest::Load(kHugeFile.Build()), nullptr);
    // A controller linking anything but UV data.
    animtest::File kWrong;
    kWrong.Add("NiUVController", animtest::TimeControllerRecord(0x0C).U16(0).U32(1));
    kWrong.Add("NiFloatData", Bytes().U32(0));
    kWrong.Top(0);
    EXPECT_EQ(animtest::Load(kWrong.Build()), nullptr);
}

// ---- Visibility and alpha ----

TEST_F(NiPropertyControllerTest, VisibilityFalseCullsTrueShows)
{
    NiRefPtr<NiNode> spNode = new NiNode;
    NiRefPtr<NiVisController> sp = Ready(new NiVisController);
    NiRefPtr<NiBoolInterpolator> spHidden = new NiBoolInterpolator(std::uint8_t(0));
    sp->SetInterpolator(spHidden);
    sp->SetTarget(spNode);
    sp->Update(0.0f);
    EXPECT_TRUE(spNode->GetAppCulled());
    bool bVisible = true;
    sp->GetTargetBoolValue(bVisible);
    EXPECT_FALSE(bVisible);
    sp->SetInterpolator(new NiBoolInterpolator(std::uint8_t(1)));
    sp->Update(1.0f);
    EXPECT_FALSE(spNode->GetAppCulled());
    sp->SetTarget(nullptr);
    ExpectRoundTrip(sp);
}

TEST_F(NiPropertyControllerTest, OldVisibilityAlphaAndExtraDataControllersWrapTheirKeyData)
{
    // 10.1.0.103: the data link follows the controller's own fields.
    Bytes kBoolKeys;
    kBoolKeys.U32(2).U32(NI_STEPKEY).F32(0).U8(1).F32(1).U8(0);
    Bytes kFloatKeys;
    kFloatKeys.U32(2).U32(NI_LINKEY).F32(0).F32(0.25f).F32(1).F32(0.75f);
    struct Case
    {
        const char* m_pcClass;
        Bytes m_kOwn;
        const char* m_pcData;
        const Bytes& m_kData;
    };
    Bytes kName;
    kName.U32(1).U8('x');
    Bytes kNameIndex = kName;
    kNameIndex.I32(2);
    const Case aCases[] = {
        {"NiVisController", Bytes(), "NiVisData", kBoolKeys},
        {"NiAlphaController", Bytes(), "NiFloatData", kFloatKeys},
        {"NiFloatExtraDataController", kName, "NiFloatData", kFloatKeys},
        {"NiFloatsExtraDataController", kNameIndex, "NiFloatData", kFloatKeys},
        {"NiTextureTransformController", Bytes().U8(0).U32(0).U32(0), "NiFloatData", kFloatKeys},
    };
    for (const Case& k : aCases)
    {
        SCOPED_TRACE(k.m_pcClass);
        animtest::File kFile(V(10, 1, 0, 103));
        Bytes kRecord = animtest::TimeControllerRecord(0x0C);
        kRecord.Append(k.m_kOwn).U32(1);
        kFile.Add(k.m_pcClass, kRecord);
        kFile.Add(k.m_pcData, k.m_kData);
        kFile.Top(0);
        NiObjectPtr sp = animtest::Load(kFile.Build());
        auto* pkController = NiDynamicCast<NiSingleInterpController>(sp.Get());
        ASSERT_NE(pkController, nullptr);
        auto* pkInterp = pkController->GetInterpolator(0);
        ASSERT_NE(pkInterp, nullptr);
        if (std::string(k.m_pcData) == "NiVisData")
        {
            std::uint8_t uc = 2;
            EXPECT_TRUE(pkInterp->UpdateBool(0.0f, nullptr, uc));
            EXPECT_EQ(uc, 1);
        }
        else
        {
            float f = 0;
            EXPECT_TRUE(pkInterp->UpdateFloat(0.5f, nullptr, f));
            EXPECT_FLOAT_EQ(f, 0.5f);
        }
        // The data link must be key data of its kind.
        animtest::File kWrong(V(10, 1, 0, 103));
        kWrong.Add(k.m_pcClass, kRecord);
        kWrong.Add("NiNode", Bytes());
        kWrong.Top(0);
        EXPECT_EQ(animtest::Load(kWrong.Build()), nullptr);
    }
}

TEST_F(NiPropertyControllerTest, AlphaSetsTheMaterialAndCountsARevision)
{
    NiRefPtr<NiMaterialProperty> spMaterial = new NiMaterialProperty;
    const std::uint32_t uiRev = spMaterial->GetRevisionID();
    NiRefPtr<NiAlphaController> sp = Ready(new NiAlphaController);
    sp->SetInterpolator(new NiFloatInterpolator(0.25f));
    sp->SetTarget(spMaterial);
    sp->Update(0.0f);
    EXPECT_EQ(spMaterial->GetAlpha(), 0.25f);
    EXPECT_EQ(spMaterial->GetRevisionID(), uiRev + 1);
    EXPECT_EQ(sp->GetCtlrID(), nullptr);
    sp->SetTarget(nullptr);
    ExpectRoundTrip(sp);
}

// ---- Flip ----

TEST_F(NiPropertyControllerTest, FlipIndexRoundsUpNearWholeNumbersAndClampsSafely)
{
    EXPECT_EQ(NiFlipController::TextureIndexFor(1.98f, 4), 1u);
    EXPECT_EQ(NiFlipController::TextureIndexFor(1.99f, 4), 2u);
    EXPECT_EQ(NiFlipController::TextureIndexFor(2.0f, 4), 2u);
    EXPECT_EQ(NiFlipController::TextureIndexFor(7.0f, 4), 3u);
    EXPECT_EQ(NiFlipController::TextureIndexFor(-1.01f, 4), 3u);
    EXPECT_EQ(NiFlipController::TextureIndexFor(-5.0f, 4), 3u);
    EXPECT_EQ(NiFlipController::TextureIndexFor(-0.5f, 4), 0u);
    EXPECT_EQ(NiFlipController::TextureIndexFor(std::numeric_limits<float>::quiet_NaN(), 4), 0u);
    EXPECT_EQ(NiFlipController::TextureIndexFor(std::numeric_limits<float>::infinity(), 4), 3u);
    EXPECT_EQ(NiFlipController::TextureIndexFor(-std::numeric_limits<float>::infinity(), 4), 3u);
    EXPECT_EQ(NiFlipController::TextureIndexFor(1e30f, 4), 3u);
}

TEST_F(NiPropertyControllerTest, FlipShowsTheSelectedTextureInItsMapOrShaderMap)
{
    NiRefPtr<NiTexturingProperty> spProperty = new NiTexturingProperty;
    spProperty->SetMap(NiTexturingProperty::BASE_INDEX, new NiTextureMap);
    spProperty->SetShaderMap(1, new NiShaderMap(7));
    NiRefPtr<NiTexture> aspTex[3] = {new NiSourceTexture, new NiSourceTexture, new NiSourceTexture};

    NiRefPtr<NiFlipController> sp = Ready(new NiFlipController);
    for (auto& spTex : aspTex)
        sp->AttachTexture(spTex);
    NiRefPtr<NiFloatInterpolator> spValue = new NiFloatInterpolator(1.995f);
    sp->SetInterpolator(spValue);
    sp->SetTarget(spProperty);
    sp->Update(0.0f);
    EXPECT_EQ(spProperty->GetMap(0)->GetTexture(), aspTex[2]);
    EXPECT_STREQ(sp->GetCtlrID(), "0");
    float f = 0;
    sp->GetTargetFloatValue(f);
    EXPECT_EQ(f, 2.0f);

    sp->SetAffectedMap(NiFlipController::SHADER_MAP_BASE + 1);
    spValue->SetPoseValue(1.0f);
    sp->Update(1.0f);
    EXPECT_EQ(spProperty->GetArrayMapAt(1)->GetTexture(), aspTex[1]);
    EXPECT_STREQ(sp->GetCtlrID(), "1025");

    // A map the property lacks: nothing changes.
    sp->SetAffectedMap(5);
    spValue->SetPoseValue(0.0f);
    sp->Update(2.0f);
    EXPECT_EQ(spProperty->GetMap(0)->GetTexture(), aspTex[2]);

    NiRefPtr<NiBlendInterpolator> spBlend = sp->CreateBlendInterpolator(0, true, false, 0.0f, 2);
    EXPECT_TRUE(spBlend->GetOnlyUseHighestWeight());
}

TEST_F(NiPropertyControllerTest, OldFlipBecomesStepKeysAndTakesItsLinksWithoutATarget)
{
    // 10.0.1.0: affected map, start 1.0, step 0.5, three (null) textures;
    // a float data object after it proves the links were all taken.
    animtest::File kFile(V(10, 0, 1, 0));
    kFile.Add("NiFlipController",
              animtest::TimeControllerRecord(0x0C).U32(0).F32(1.0f).F32(0.5f).U32(3).U32(NONE).U32(NONE).U32(NONE));
    kFile.Top(0);
    NiObjectPtr sp = animtest::Load(kFile.Build());
    auto* pkFlip = NiDynamicCast<NiFlipController>(sp.Get());
    ASSERT_NE(pkFlip, nullptr);
    EXPECT_EQ(pkFlip->GetTextureCount(), 3u);
    EXPECT_EQ(pkFlip->GetBeginKeyTime(), 1.0f);
    EXPECT_EQ(pkFlip->GetEndKeyTime(), 2.5f);
    auto* pkInterp = NiDynamicCast<NiFloatInterpolator>(pkFlip->GetInterpolator(0));
    ASSERT_NE(pkInterp, nullptr);
    ASSERT_NE(pkInterp->GetData(), nullptr);
    NiFloatData* pkData = pkInterp->GetData();
    ASSERT_EQ(pkData->GetNumKeys(), 4u);
    EXPECT_EQ(pkData->GetKeyType(), NI_STEPKEY);
    const float afTime[] = {1.0f, 1.5f, 2.0f, 2.5f};
    const float afValue[] = {0, 1, 2, 2};
    for (std::uint32_t i = 0; i < 4; ++i)
    {
        auto* pkKey = static_cast<NiFloatKey*>(NiAnimKey::At(pkData->GetKeys(), i, pkData->GetKeyStride()));
        EXPECT_EQ(pkKey->m_fTime, afTime[i]);
        EXPECT_EQ(pkKey->m_fValue, afValue[i]);
    }

    // The controller's links come off the queue even without a target, so
    // the next object's link is its own.
    animtest::File kTwo(V(10, 0, 1, 0));
    kTwo.Add("NiFlipController", animtest::TimeControllerRecord(0x0C).U32(0).F32(0).F32(1).U32(1).U32(NONE));
    kTwo.Add("NiUVController", animtest::TimeControllerRecord(0x0C).U16(0).U32(2));
    kTwo.Add("NiUVData", Bytes().U32(0).U32(0).U32(0).U32(0));
    kTwo.Top(0);
    kTwo.Top(1);
    NiObjectStream kStream;
    const auto kBytes = kTwo.Build();
    ASSERT_TRUE(kStream.LoadBuffer(kBytes.data(), static_cast<std::uint32_t>(kBytes.size())));
    auto* pkUV = NiDynamicCast<NiUVController>(kStream.GetObjectAt(1));
    ASSERT_NE(pkUV, nullptr);
    EXPECT_NE(pkUV->GetUVData(), nullptr);

    // A texture link to anything but a texture fails the load.
    animtest::File kWrong(V(10, 0, 1, 0));
    kWrong.Add("NiFlipController", animtest::TimeControllerRecord(0x0C).U32(0).F32(0).F32(1).U32(1).U32(1));
    kWrong.Add("NiUVData", Bytes().U32(0).U32(0).U32(0).U32(0));
    kWrong.Top(0);
    EXPECT_EQ(animtest::Load(kWrong.Build()), nullptr);
}

TEST_F(NiPropertyControllerTest, FlipRecordRoundTripsAndRefusesHostileCounts)
{
    NiRefPtr<NiFlipController> sp = Ready(new NiFlipController);
    sp->SetAffectedMap(4);
    sp->AttachTexture(nullptr);
    sp->SetInterpolator(new NiFloatInterpolator(1.0f));
    ExpectRoundTrip(sp);

    for (std::uint32_t uiVersion : {V(10, 0, 1, 0), V(10, 2, 0, 0)})
    {
        animtest::File kFile(uiVersion);
        Bytes kRecord = animtest::TimeControllerRecord(0x0C);
        if (uiVersion >= V(10, 1, 0, 104))
            kRecord.U32(NONE).U32(0).U32(0xFFFFFFF0);
        else
            kRecord.U32(0).F32(0).F32(1).U32(0xFFFFFFF0);
        kFile.Add("NiFlipController", kRecord);
        kFile.Top(0);
        EXPECT_EQ(animtest::Load(kFile.Build()), nullptr);
    }
}

// ---- Extra data ----

TEST_F(NiPropertyControllerTest, ExtraDataControllersWriteTheirNamedValue)
{
    NiRefPtr<NiNode> spNode = new NiNode;
    NiRefPtr<NiFloatExtraData> spFloat = new NiFloatExtraData(1.0f);
    spFloat->SetName("f");
    NiRefPtr<NiFloatsExtraData> spFloats = new NiFloatsExtraData;
    spFloats->SetName("fs");
    const float af[] = {0, 0, 0, 0};
    spFloats->SetArray(4, af);
    NiRefPtr<NiColorExtraData> spColor = new NiColorExtraData;
    spColor->SetName("c");
    spNode->AddExtraData(spFloat);
    spNode->AddExtraData(spFloats);
    spNode->AddExtraData(spColor);

    NiRefPtr<NiFloatExtraDataController> spF = Ready(new NiFloatExtraDataController);
    spF->SetExtraDataName("f");
    spF->SetInterpolator(new NiFloatInterpolator(0.5f));
    spF->SetTarget(spNode);
    spF->Update(0.0f);
    EXPECT_EQ(spFloat->GetValue(), 0.5f);
    EXPECT_STREQ(spF->GetCtlrID(), "f");

    NiRefPtr<NiFloatsExtraDataController> spFs = Ready(new NiFloatsExtraDataController);
    spFs->SetExtraDataName("fs");
    spFs->SetFloatsExtraDataIndex(3);
    spFs->SetInterpolator(new NiFloatInterpolator(2.5f));
    spFs->SetTarget(spNode);
    spFs->Update(0.0f);
    EXPECT_EQ(spFloats->GetValue(3), 2.5f);
    EXPECT_EQ(spFloats->GetValue(0), 0.0f);
    EXPECT_STREQ(spFs->GetCtlrID(), "fs[3]");
    // Out of range: nothing written, the value read is 0.
    spFs->SetFloatsExtraDataIndex(9);
    spFs->Update(1.0f);
    float fRead = -1;
    spFs->GetTargetValue(fRead);
    EXPECT_EQ(fRead, 0.0f);

    NiRefPtr<NiColorExtraDataController> spC = Ready(new NiColorExtraDataController);
    spC->SetExtraDataName("c");
    spC->SetInterpolator(new NiColorInterpolator(NiColorRGBA(0.1f, 0.2f, 0.3f, 0.4f)));
    spC->SetTarget(spNode);
    spC->Update(0.0f);
    EXPECT_EQ(spColor->GetValue().b, 0.3f);
    EXPECT_EQ(spColor->GetValue().a, 0.4f);
    EXPECT_TRUE(spC->InterpolatorIsCorrectType(spC->GetInterpolator(0), 0));
    NiInterpolatorPtr spWrongKind = new NiFloatInterpolator(1.0f);
    EXPECT_FALSE(spC->InterpolatorIsCorrectType(spWrongKind, 0));

    // Without extra data of its name a controller writes nothing.
    NiRefPtr<NiNode> spBare = new NiNode;
    NiRefPtr<NiFloatExtraDataController> spNone = Ready(new NiFloatExtraDataController);
    spNone->SetExtraDataName("f");
    spNone->SetInterpolator(new NiFloatInterpolator(9.0f));
    spNone->SetTarget(spBare);
    spNone->Update(0.0f);
    EXPECT_EQ(spFloat->GetValue(), 0.5f);

    spFs->SetTarget(nullptr);
    spF->SetTarget(nullptr);
    spC->SetTarget(nullptr);
    ExpectRoundTrip(spF);
    ExpectRoundTrip(spFs);
    ExpectRoundTrip(spC);
    spNone->SetTarget(nullptr);
}

// ---- Property controllers ----

TEST_F(NiPropertyControllerTest, TextureTransformSetsOneMemberAndMakesAMissingTransform)
{
    NiRefPtr<NiTexturingProperty> spProperty = new NiTexturingProperty;
    spProperty->SetMap(2, new NiTextureMap);
    NiRefPtr<NiTextureTransformController> sp = Ready(new NiTextureTransformController);
    sp->SetMap(false, 2, NiTextureTransformController::TT_SCALE_U);
    sp->SetInterpolator(new NiFloatInterpolator(2.0f));
    sp->SetTarget(spProperty);
    float f = -1;
    sp->GetTargetFloatValue(f);
    EXPECT_EQ(f, 0.0f) << "no transform yet";
    sp->Update(0.0f);
    const NiTextureTransform* pk = spProperty->GetMap(2)->GetTextureTransform();
    ASSERT_NE(pk, nullptr);
    EXPECT_EQ(pk->GetScale().x, 2.0f);
    EXPECT_EQ(pk->GetScale().y, 1.0f);
    EXPECT_EQ(pk->GetCenter().x, 0.5f);
    EXPECT_STREQ(sp->GetCtlrID(), "0-2-TT_SCALE_U");

    // Maps beyond the property's arrays are not found.
    NiRefPtr<NiTextureTransformController> spFar = Ready(new NiTextureTransformController);
    spFar->SetMap(false, 5000, NiTextureTransformController::TT_ROTATE);
    spFar->SetTarget(spProperty);
    EXPECT_FALSE(spFar->FindTextureMap());
    spFar->SetMap(true, 3, NiTextureTransformController::TT_ROTATE);
    EXPECT_FALSE(spFar->FindTextureMap());
    EXPECT_STREQ(spFar->GetCtlrID(), "1-3-TT_ROTATE");
    spFar->SetTarget(nullptr);
    EXPECT_FALSE(spFar->FindTextureMap());

    sp->SetTarget(nullptr);
    ExpectRoundTrip(sp);
    // A member beyond the five is refused.
    animtest::File kBad;
    kBad.Add("NiTextureTransformController", animtest::TimeControllerRecord(0x0C).U32(NONE).U8(0).U32(0).U32(5));
    kBad.Top(0);
    EXPECT_EQ(animtest::Load(kBad.Build()), nullptr);
}

TEST_F(NiPropertyControllerTest, MaterialColourIsClampedAndCountsARevision)
{
    NiRefPtr<NiMaterialProperty> spMaterial = new NiMaterialProperty;
    NiRefPtr<NiMaterialColorController> sp = Ready(new NiMaterialColorController);
    sp->SetType(NiMaterialColorController::SPEC);
    sp->SetInterpolator(new NiPoint3Interpolator(NiVec3(1.5f, -0.2f, 0.5f)));
    sp->SetTarget(spMaterial);
    const std::uint32_t uiRev = spMaterial->GetRevisionID();
    sp->Update(0.0f);
    EXPECT_EQ(spMaterial->GetSpecularColor().r, 1.0f);
    EXPECT_EQ(spMaterial->GetSpecularColor().g, 0.0f);
    EXPECT_EQ(spMaterial->GetSpecularColor().b, 0.5f);
    EXPECT_EQ(spMaterial->GetRevisionID(), uiRev + 1);
    const char* apcIDs[] = {"AMB", "DIFF", "SPEC", "SELF_ILLUM"};
    for (std::uint16_t us = 0; us < 4; ++us)
    {
        sp->SetType(us);
        EXPECT_STREQ(sp->GetCtlrID(), apcIDs[us]);
    }
    sp->SetType(5);
    EXPECT_EQ(sp->GetCtlrID(), nullptr);
    sp->Update(1.0f);
    EXPECT_EQ(spMaterial->GetRevisionID(), uiRev + 1) << "a selector above 3 changes nothing";
    sp->SetType(NiMaterialColorController::DIFF);
    sp->SetTarget(nullptr);
    ExpectRoundTrip(sp);
}

TEST_F(NiPropertyControllerTest, LightColourSelectorsAndThreeRevisions)
{
    NiRefPtr<NiPointLight> spLight = new NiPointLight;
    NiRefPtr<NiLightColorController> sp = Ready(new NiLightColorController);
    sp->SetAmbient(true);
    sp->SetInterpolator(new NiPoint3Interpolator(NiVec3(0.5f, 2.0f, 0.25f)));
    sp->SetTarget(spLight);
    const std::uint32_t uiRev = spLight->GetRevisionID();
    sp->Update(0.0f);
    EXPECT_EQ(spLight->GetAmbientColor().g, 1.0f);
    EXPECT_EQ(spLight->GetDiffuseColor().r, 0.0f);
    EXPECT_EQ(spLight->GetSpecularColor().r, 0.0f);
    EXPECT_EQ(spLight->GetRevisionID(), uiRev + 3);
    EXPECT_STREQ(sp->GetCtlrID(), "Ambient");

    sp->SetAmbient(false);
    sp->Update(1.0f);
    EXPECT_EQ(spLight->GetAmbientColor().g, 0.0f);
    EXPECT_EQ(spLight->GetDiffuseColor().r, 0.5f);
    EXPECT_EQ(spLight->GetSpecularColor().b, 0.25f);
    EXPECT_STREQ(sp->GetCtlrID(), "Diffuse");
    sp->SetTarget(nullptr);
    ExpectRoundTrip(sp);
}

TEST_F(NiPropertyControllerTest, OldSelectorsComeFromTheRawFlagsWord)
{
    // 10.0.1.1: no selector field; it sits in the flags word from bit 5.
    // That version's time controllers end with a play-backwards byte.
    struct Case
    {
        const char* m_pcClass;
        std::uint16_t m_usRaw;
        std::uint16_t m_usExpected;
    };
    const Case aCases[] = {
        {"NiMaterialColorController", static_cast<std::uint16_t>(0x0C | (3u << 5)), 3},
        {"NiMaterialColorController", static_cast<std::uint16_t>(0x0C | (0x102u << 5)), 2},
        {"NiLightColorController", static_cast<std::uint16_t>(0x0C | (1u << 5)), 1},
        {"NiLightColorController", static_cast<std::uint16_t>(0x0C | (0x40u << 5)), 0},
    };
    for (const Case& k : aCases)
    {
        SCOPED_TRACE(k.m_usRaw);
        animtest::File kFile(V(10, 0, 1, 1));
        kFile.Add(k.m_pcClass, animtest::TimeControllerRecord(k.m_usRaw).U8(0).U32(1));
        Bytes kPos;
        kPos.U32(1).U32(NI_LINKEY).F32(0).Floats({0.5f, 0.5f, 0.5f});
        kFile.Add("NiPosData", kPos);
        kFile.Top(0);
        NiObjectPtr sp = animtest::Load(kFile.Build());
        ASSERT_NE(sp, nullptr);
        if (auto* pkMaterial = NiDynamicCast<NiMaterialColorController>(sp.Get()))
            EXPECT_EQ(pkMaterial->GetType(), k.m_usExpected);
        else if (auto* pkLight = NiDynamicCast<NiLightColorController>(sp.Get()))
            EXPECT_EQ(pkLight->GetAmbient(), k.m_usExpected == 1);
        else
            ADD_FAILURE() << "wrong class";
        auto* pkController = static_cast<NiSingleInterpController*>(sp.Get());
        EXPECT_NE(NiDynamicCast<NiPoint3Interpolator>(pkController->GetInterpolator(0)), nullptr);
    }
}

TEST_F(NiPropertyControllerTest, RollTurnsAboutLocalZAndAccumulates)
{
    NiRefPtr<NiNode> spNode = new NiNode;
    NiRefPtr<NiRollController> sp = Ready(new NiRollController);
    NiFloatDataPtr spData = new NiFloatData;
    spData->ReplaceKeys(FloatKeys(NI_LINKEY, {{0, 0.5f}, {1, 0.5f}}), 2, NI_LINKEY);
    sp->SetFloatData(spData);
    sp->SetTarget(spNode);
    sp->Update(0.0f);
    NiMatrix3x3 kOne;
    kOne.MakeZRotation(-0.5f);
    for (int r = 0; r < 3; ++r)
        for (int c = 0; c < 3; ++c)
            EXPECT_NEAR(spNode->GetRotate().GetEntry(r, c), kOne.GetEntry(r, c), 1e-6f);
    sp->Update(0.5f);
    NiMatrix3x3 kTwo;
    kTwo.MakeZRotation(-1.0f);
    for (int r = 0; r < 3; ++r)
        for (int c = 0; c < 3; ++c)
            EXPECT_NEAR(spNode->GetRotate().GetEntry(r, c), kTwo.GetEntry(r, c), 1e-5f);
    EXPECT_TRUE(sp->IsTransformController());
    sp->SetTarget(nullptr);
    ExpectRoundTrip(sp);
}

TEST_F(NiPropertyControllerTest, AFlipTextureDrivenByItsOwnFlipIsRefusedAndFreed)
{
    // Textures load too.
    NiAnimationLibrary::Shutdown();
    NiMainLibrary::Reset();
    NiSceneLibraryRegister();
    NiSceneGraphRegister();
    NiRenderImageLibraryRegister();
    NiRenderLibraryRegister();
    NiMainLibrary::Init();
    NiAnimationLibrary::Init();
    // What the render library keeps for the process is no leak of this test.
    m_uiLive = NiRefObject::GetTotalObjectCount();
    // flip -> texture -> the texture's controllers -> the flip.
    NiRefPtr<NiSourceTexture> spTexture = NiSourceTexture::CreateFromFile("flip.tga", NiTexture::FormatPrefs());
    ASSERT_NE(spTexture, nullptr);
    NiRefPtr<NiFlipController> sp = new NiFlipController;
    sp->AttachTexture(spTexture);
    spTexture->PrependController(sp);
    const auto kFile = animtest::Save(sp);
    spTexture->RemoveController(sp);
    sp = nullptr;
    spTexture = nullptr;
    ASSERT_FALSE(kFile.empty());
    NiObjectStream kStream;
    EXPECT_FALSE(kStream.LoadBuffer(kFile.data(), static_cast<std::uint32_t>(kFile.size())));
    EXPECT_EQ(kStream.GetLastError(), NiObjectStream::ERROR_CORRUPT);
}
