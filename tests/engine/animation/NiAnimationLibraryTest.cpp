#include "engine/animation/NiAnimationLibrary.h"

#include "engine/animation/NiBlendAccumTransformInterpolator.h"
#include "engine/animation/NiBlendBoolInterpolator.h"
#include "engine/animation/NiBlendColorInterpolator.h"
#include "engine/animation/NiBlendFloatInterpolator.h"
#include "engine/animation/NiBlendPoint3Interpolator.h"
#include "engine/animation/NiBlendQuaternionInterpolator.h"
#include "engine/animation/NiBlendTransformInterpolator.h"
#include "engine/animation/NiBoolData.h"
#include "engine/animation/NiBoolTimelineInterpolator.h"
#include "engine/animation/NiColorData.h"
#include "engine/animation/NiColorInterpolator.h"
#include "engine/animation/NiControllerManager.h"
#include "engine/animation/NiExtraDataController.h"
#include "engine/animation/NiFloatController.h"
#include "engine/animation/NiFloatData.h"
#include "engine/animation/NiFloatInterpolator.h"
#include "engine/animation/NiMultiTargetTransformController.h"
#include "engine/animation/NiPoint3Interpolator.h"
#include "engine/animation/NiPosData.h"
#include "engine/animation/NiQuaternionInterpolator.h"
#include "engine/animation/NiRotData.h"
#include "engine/animation/NiSequence.h"
#include "engine/animation/NiSequenceStreamHelper.h"
#include "engine/animation/NiTimeController.h"
#include "engine/animation/NiTransformData.h"
#include "engine/animation/NiTransformController.h"
#include "engine/animation/NiTransformInterpolator.h"
#include "tests/engine/animation/AnimTestFile.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

namespace
{
class NiAnimationLibraryTest : public animtest::AnimTest
{
};

struct RecordCase
{
    const NiTypeInfo* m_pkInfo;
    const char* m_pcName;
    const char* m_pcBase;
};

// Every animation class built so far, with the base its record must name.
// Shared implementation classes in between (key data, single-channel
// interpolators) must not show up in these chains.
const RecordCase RECORDS[] = {
    {NiTimeController::TypeInfo(), "NiTimeController", "NiObject"},
    {NiInterpolator::TypeInfo(), "NiInterpolator", "NiObject"},
    {NiKeyBasedInterpolator::TypeInfo(), "NiKeyBasedInterpolator", "NiInterpolator"},
    {NiBlendInterpolator::TypeInfo(), "NiBlendInterpolator", "NiInterpolator"},
    {NiBoolInterpolator::TypeInfo(), "NiBoolInterpolator", "NiKeyBasedInterpolator"},
    {NiBoolTimelineInterpolator::TypeInfo(), "NiBoolTimelineInterpolator", "NiBoolInterpolator"},
    {NiColorInterpolator::TypeInfo(), "NiColorInterpolator", "NiKeyBasedInterpolator"},
    {NiFloatInterpolator::TypeInfo(), "NiFloatInterpolator", "NiKeyBasedInterpolator"},
    {NiPoint3Interpolator::TypeInfo(), "NiPoint3Interpolator", "NiKeyBasedInterpolator"},
    {NiQuaternionInterpolator::TypeInfo(), "NiQuaternionInterpolator", "NiKeyBasedInterpolator"},
    {NiTransformInterpolator::TypeInfo(), "NiTransformInterpolator", "NiKeyBasedInterpolator"},
    {NiBlendBoolInterpolator::TypeInfo(), "NiBlendBoolInterpolator", "NiBlendInterpolator"},
    {NiBlendColorInterpolator::TypeInfo(), "NiBlendColorInterpolator", "NiBlendInterpolator"},
    {NiBlendFloatInterpolator::TypeInfo(), "NiBlendFloatInterpolator", "NiBlendInterpolator"},
    {NiBlendPoint3Interpolator::TypeInfo(), "NiBlendPoint3Interpolator", "NiBlendInterpolator"},
    {NiBlendQuaternionInterpolator::TypeInfo(), "NiBlendQuaternionInterpolator", "NiBlendInterpolator"},
    {NiBlendTransformInterpolator::TypeInfo(), "NiBlendTransformInterpolator", "NiBlendInterpolator"},
    {NiBoolData::TypeInfo(), "NiBoolData", "NiObject"},
    {NiColorData::TypeInfo(), "NiColorData", "NiObject"},
    {NiFloatData::TypeInfo(), "NiFloatData", "NiObject"},
    {NiPosData::TypeInfo(), "NiPosData", "NiObject"},
    {NiRotData::TypeInfo(), "NiRotData", "NiObject"},
    {NiTransformData::TypeInfo(), "NiTransformData", "NiObject"},
    {NiBlendAccumTransformInterpolator::TypeInfo(), "NiBlendAccumTransformInterpolator", "NiBlendInterpolator"},
    {NiInterpController::TypeInfo(), "NiInterpController", "NiTimeController"},
    {NiSingleInterpController::TypeInfo(), "NiSingleInterpController", "NiInterpController"},
    {NiFloatInterpController::TypeInfo(), "NiFloatInterpController", "NiSingleInterpController"},
    {NiPoint3InterpController::TypeInfo(), "NiPoint3InterpController", "NiSingleInterpController"},
    {NiBoolInterpController::TypeInfo(), "NiBoolInterpController", "NiSingleInterpController"},
    {NiExtraDataController::TypeInfo(), "NiExtraDataController", "NiSingleInterpController"},
    {NiFloatController::TypeInfo(), "NiFloatController", "NiTimeController"},
    {NiTransformController::TypeInfo(), "NiTransformController", "NiSingleInterpController"},
    {NiMultiTargetTransformController::TypeInfo(), "NiMultiTargetTransformController", "NiInterpController"},
    {NiTextKeyExtraData::TypeInfo(), "NiTextKeyExtraData", "NiExtraData"},
    {NiSequenceStreamHelper::TypeInfo(), "NiSequenceStreamHelper", "NiObjectNET"},
    {NiStringPalette::TypeInfo(), "NiStringPalette", "NiObject"},
    {NiSequence::TypeInfo(), "NiSequence", "NiObject"},
    {NiControllerSequence::TypeInfo(), "NiControllerSequence", "NiObject"},
    {NiControllerManager::TypeInfo(), "NiControllerManager", "NiTimeController"},
};
} // namespace

TEST_F(NiAnimationLibraryTest, TypeRecordsNameTheirClassAndItsEngineBase)
{
    for (const RecordCase& c : RECORDS)
    {
        SCOPED_TRACE(c.m_pcName);
        ASSERT_NE(c.m_pkInfo, nullptr);
        EXPECT_STREQ(c.m_pkInfo->GetName(), c.m_pcName);
        ASSERT_NE(c.m_pkInfo->GetBaseTypeInfo(), nullptr);
        EXPECT_STREQ(c.m_pkInfo->GetBaseTypeInfo()->GetName(), c.m_pcBase);
        EXPECT_TRUE(c.m_pkInfo->IsKindOf(NiObject::TypeInfo()));
        // The chain ends at the one NiObject record.
        const NiTypeInfo* pkRoot = c.m_pkInfo;
        while (pkRoot->GetBaseTypeInfo() != nullptr)
            pkRoot = pkRoot->GetBaseTypeInfo();
        EXPECT_EQ(pkRoot, NiObject::TypeInfo());
    }
}

TEST_F(NiAnimationLibraryTest, EveryNameIsCreatableUntilShutDownAndCreatesItsClass)
{
    ASSERT_TRUE(NiAnimationLibrary::IsInitialized());
    ASSERT_GT(NiAnimationLibrary::GetClassNameCount(), 0u);
    EXPECT_EQ(NiAnimationLibrary::GetClassName(NiAnimationLibrary::GetClassNameCount()), nullptr);
    for (std::uint32_t i = 0; i < NiAnimationLibrary::GetClassNameCount(); ++i)
    {
        const char* pcName = NiAnimationLibrary::GetClassName(i);
        SCOPED_TRACE(pcName);
        NiCreateFunction pfnCreate = NiObjectStream::GetCreateFunction(pcName);
        ASSERT_NE(pfnCreate, nullptr);
        NiObjectPtr sp = pfnCreate();
        ASSERT_NE(sp, nullptr);
        // The three old names load into the current classes.
        const char* pcExpected = pcName;
        if (std::strcmp(pcName, "NiKeyframeData") == 0)
            pcExpected = "NiTransformData";
        else if (std::strcmp(pcName, "NiVisData") == 0)
            pcExpected = "NiBoolData";
        else if (std::strcmp(pcName, "NiKeyframeController") == 0)
            pcExpected = "NiTransformController";
        EXPECT_STREQ(sp->GetTypeInfo()->GetName(), pcExpected);
    }

    // A second start-up changes nothing; the shut-down removes every name.
    NiAnimationLibrary::Init();
    NiAnimationLibrary::Shutdown();
    EXPECT_FALSE(NiAnimationLibrary::IsInitialized());
    for (std::uint32_t i = 0; i < NiAnimationLibrary::GetClassNameCount(); ++i)
        EXPECT_EQ(NiObjectStream::GetCreateFunction(NiAnimationLibrary::GetClassName(i)), nullptr)
            << NiAnimationLibrary::GetClassName(i);
    // A shut-down without a start-up does nothing; the fixture starts again.
    NiAnimationLibrary::Shutdown();
    NiAnimationLibrary::Init();
    EXPECT_NE(NiObjectStream::GetCreateFunction("NiTransformInterpolator"), nullptr);
}
