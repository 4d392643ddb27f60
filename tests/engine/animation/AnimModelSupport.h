#pragma once
// Test-side builders for animated models: keyed transform interpolators, a
// hand-built skeleton and a probe interpolator that records its calls.

#include "engine/animation/NiAnimKeyTables.h"
#include "engine/animation/NiControllerSequence.h"
#include "engine/animation/NiStringPalette.h"
#include "engine/animation/NiTextKeyExtraData.h"
#include "engine/animation/NiInterpolator.h"
#include "engine/animation/NiTransformData.h"
#include "engine/animation/NiTransformInterpolator.h"
#include "engine/animation/NiTimeController.h"
#include "engine/core/NiCloneContext.h"
#include "engine/core/NiMainLibrary.h"
#include "engine/core/NiRefObject.h"
#include "engine/scene/NiNode.h"
#include "engine/scene/NiSceneGraphLibrary.h"
#include "engine/scene/NiSceneLibrary.h"
#include "tests/engine/animation/AnimTestFile.h"

#include <cstdio>
#include <initializer_list>
#include <string>
#include <utility>
#include <vector>

namespace animtest
{
inline NiAnimKey* LinearPosKeys(std::initializer_list<std::pair<float, NiVec3>> kKeys)
{
    std::uint8_t ucSize = NiAnimKeyTables::GetKeySize(NI_POSKEY, NI_LINKEY);
    NiAnimKey* pk = NiAnimKeyTables::GetCreateFunction(NI_POSKEY, NI_LINKEY)(static_cast<std::uint32_t>(kKeys.size()));
    std::uint32_t i = 0;
    for (const auto& k : kKeys)
    {
        auto* p = static_cast<NiPosKey*>(NiAnimKey::At(pk, i++, ucSize));
        p->m_fTime = k.first;
        p->m_kPos = k.second;
    }
    NiAnimKeyTables::GetFillDerivedFunction(NI_POSKEY, NI_LINKEY)(pk, i, ucSize);
    return pk;
}

// Translation running linearly from (x0, 0, 0) at t0 to (x1, 0, 0) at t1;
// rotation and scale give no value.
inline NiTransformInterpolatorPtr MoveX(float x0, float x1, float t0 = 0.0f, float t1 = 1.0f)
{
    NiTransformDataPtr spData = new NiTransformData;
    spData->ReplacePosKeys(LinearPosKeys({{t0, NiVec3(x0, 0, 0)}, {t1, NiVec3(x1, 0, 0)}}), 2, NI_LINKEY);
    return new NiTransformInterpolator(spData);
}

// A root node named kRoot with uiBones child nodes "bone0", "bone1", ...
inline NiRefPtr<NiNode> MakeSkeleton(const std::string& kRoot, std::uint32_t uiBones)
{
    NiRefPtr<NiNode> spRoot = new NiNode;
    spRoot->SetName(kRoot.c_str());
    for (std::uint32_t i = 0; i < uiBones; ++i)
    {
        NiRefPtr<NiNode> spBone = new NiNode;
        spBone->SetName(("bone" + std::to_string(i)).c_str());
        spRoot->AttachChild(spBone);
    }
    return spRoot;
}

// A sequence built in code: its own palette, grow-by 4, one transform item
// per (object name, interpolator).
inline NiControllerSequencePtr MakeSequence(const char* pcName,
                                            const std::vector<std::pair<std::string, NiInterpolatorPtr>>& kItems,
                                            float fBegin = 0.0f, float fEnd = 1.0f,
                                            std::uint32_t uiCycle = NiControllerSequence::LOOP)
{
    NiControllerSequencePtr sp = new NiControllerSequence;
    sp->SetName(pcName);
    sp->SetStringPalette(new NiStringPalette(0));
    sp->SetArrayGrowBy(4);
    for (const auto& [kName, spInterp] : kItems)
    {
        NiControllerSequence::IDTag kTag;
        kTag.SetStrings(sp->GetStringPalette(), kName.c_str(), nullptr, "NiTransformController", nullptr, nullptr);
        EXPECT_GE(sp->AddItem(spInterp, kTag), 0);
    }
    sp->SetKeyRange(fBegin, fEnd);
    sp->SetCycleType(uiCycle);
    return sp;
}

inline NiTextKeyExtraDataPtr MakeTextKeys(std::initializer_list<std::pair<float, const char*>> kKeys)
{
    auto spKeys = std::make_unique<NiTextKey[]>(kKeys.size());
    std::uint32_t i = 0;
    for (const auto& k : kKeys)
        spKeys[i++] = NiTextKey(k.first, k.second);
    NiTextKeyExtraDataPtr sp = new NiTextKeyExtraData;
    sp->SetKeys(std::move(spKeys), i);
    return sp;
}

// Answers every kind with set values and records the times it is asked at.
class ProbeInterpolator : public NiInterpolator
{
    NiDeclareTypeInfo()

public:
    NiQuatTransform m_kTransform;
    float m_fFloat = 0.0f;
    bool m_bAlways = false;
    bool m_bFloatKind = false;
    std::vector<float> m_kTimes;

    bool UpdateTransform(float fTime, NiObjectNET*, NiQuatTransform& kValue) override
    {
        m_kTimes.push_back(fTime);
        kValue = m_kTransform;
        return true;
    }
    bool UpdateFloat(float fTime, NiObjectNET*, float& fValue) override
    {
        m_kTimes.push_back(fTime);
        fValue = m_fFloat;
        return true;
    }
    [[nodiscard]] bool IsTransformValueSupported() const override { return !m_bFloatKind; }
    [[nodiscard]] bool IsFloatValueSupported() const override { return m_bFloatKind; }
    [[nodiscard]] bool AlwaysUpdate() const override { return m_bAlways; }
};
inline NiImplementTypeInfo(ProbeInterpolator, NiInterpolator)

// Scene classes creatable as well (nodes, extra data, palettes); nothing
// may outlive a test.
class ModelTest : public AnimTest
{
protected:
    void SetUp() override
    {
        NiMainLibrary::Reset();
        NiSceneLibraryRegister();
        NiSceneGraphRegister();
        NiMainLibrary::Init();
        AnimTest::SetUp();
        NiTimeController::ResetScaledTimeCache();
        NiCloneContext::ResetDefaults();
        m_uiLive = NiRefObject::GetTotalObjectCount();
    }
    void TearDown() override
    {
        EXPECT_EQ(NiRefObject::GetTotalObjectCount(), m_uiLive) << "objects leaked";
        AnimTest::TearDown();
        NiMainLibrary::Reset();
    }

    std::uint32_t m_uiLive = 0;
};
} // namespace animtest
