#include "engine/animation/NiAnimationLibrary.h"

#include "engine/animation/NiAlphaController.h"
#include "engine/animation/NiAnimKeyTables.h"
#include "engine/animation/NiBlendAccumTransformInterpolator.h"
#include "engine/animation/NiBlendBoolInterpolator.h"
#include "engine/animation/NiBlendColorInterpolator.h"
#include "engine/animation/NiBlendFloatInterpolator.h"
#include "engine/animation/NiBlendPoint3Interpolator.h"
#include "engine/animation/NiBlendQuaternionInterpolator.h"
#include "engine/animation/NiBlendTransformInterpolator.h"
#include "engine/animation/NiBoolData.h"
#include "engine/animation/NiBoolInterpolator.h"
#include "engine/animation/NiBoolTimelineInterpolator.h"
#include "engine/animation/NiColorData.h"
#include "engine/animation/NiColorExtraDataController.h"
#include "engine/animation/NiColorInterpolator.h"
#include "engine/animation/NiControllerManager.h"
#include "engine/animation/NiControllerSequence.h"
#include "engine/animation/NiFlipController.h"
#include "engine/animation/NiFloatData.h"
#include "engine/animation/NiFloatExtraDataController.h"
#include "engine/animation/NiFloatsExtraDataController.h"
#include "engine/animation/NiFloatInterpolator.h"
#include "engine/animation/NiMaterialColorController.h"
#include "engine/animation/NiMultiTargetTransformController.h"
#include "engine/animation/NiPoint3Interpolator.h"
#include "engine/animation/NiPosData.h"
#include "engine/animation/NiQuaternionInterpolator.h"
#include "engine/animation/NiRollController.h"
#include "engine/animation/NiRotData.h"
#include "engine/animation/NiSequence.h"
#include "engine/animation/NiSequenceStreamHelper.h"
#include "engine/animation/NiStringPalette.h"
#include "engine/animation/NiTextKeyExtraData.h"
#include "engine/animation/NiTextureTransformController.h"
#include "engine/animation/NiTransformController.h"
#include "engine/animation/NiTransformData.h"
#include "engine/animation/NiTransformInterpolator.h"
#include "engine/animation/NiUVController.h"
#include "engine/animation/NiUVData.h"
#include "engine/animation/NiVisController.h"
#include "engine/core/NiObjectStream.h"

namespace
{
struct ClassEntry
{
    const char* m_pcName;
    NiCreateFunction m_pfnCreate;
};

// In the library's registration order. Old files name the transform data
// "NiKeyframeData", the visibility data "NiVisData" and the transform
// controller "NiKeyframeController"; they load into the current classes,
// which read the old layouts by version.
const ClassEntry CLASSES[] = {
    {"NiAlphaController", &NiAlphaController::CreateObject},
    {"NiBlendAccumTransformInterpolator", &NiBlendAccumTransformInterpolator::CreateObject},
    {"NiBlendBoolInterpolator", &NiBlendBoolInterpolator::CreateObject},
    {"NiBlendColorInterpolator", &NiBlendColorInterpolator::CreateObject},
    {"NiBlendFloatInterpolator", &NiBlendFloatInterpolator::CreateObject},
    {"NiBlendPoint3Interpolator", &NiBlendPoint3Interpolator::CreateObject},
    {"NiBlendQuaternionInterpolator", &NiBlendQuaternionInterpolator::CreateObject},
    {"NiBlendTransformInterpolator", &NiBlendTransformInterpolator::CreateObject},
    {"NiBoolData", &NiBoolData::CreateObject},
    {"NiBoolInterpolator", &NiBoolInterpolator::CreateObject},
    {"NiBoolTimelineInterpolator", &NiBoolTimelineInterpolator::CreateObject},
    {"NiColorData", &NiColorData::CreateObject},
    {"NiColorExtraDataController", &NiColorExtraDataController::CreateObject},
    {"NiColorInterpolator", &NiColorInterpolator::CreateObject},
    {"NiControllerManager", &NiControllerManager::CreateObject},
    {"NiControllerSequence", &NiControllerSequence::CreateObject},
    {"NiFlipController", &NiFlipController::CreateObject},
    {"NiFloatData", &NiFloatData::CreateObject},
    {"NiFloatExtraDataController", &NiFloatExtraDataController::CreateObject},
    {"NiFloatInterpolator", &NiFloatInterpolator::CreateObject},
    {"NiFloatsExtraDataController", &NiFloatsExtraDataController::CreateObject},
    {"NiKeyframeController", &NiTransformController::CreateObject},
    {"NiKeyframeData", &NiTransformData::CreateObject},
    {"NiLightColorController", &NiLightColorController::CreateObject},
    {"NiMaterialColorController", &NiMaterialColorController::CreateObject},
    {"NiMultiTargetTransformController", &NiMultiTargetTransformController::CreateObject},
    {"NiPoint3Interpolator", &NiPoint3Interpolator::CreateObject},
    {"NiPosData", &NiPosData::CreateObject},
    {"NiQuaternionInterpolator", &NiQuaternionInterpolator::CreateObject},
    {"NiRollController", &NiRollController::CreateObject},
    {"NiRotData", &NiRotData::CreateObject},
    {"NiSequence", &NiSequence::CreateObject},
    {"NiSequenceStreamHelper", &NiSequenceStreamHelper::CreateObject},
    {"NiStringPalette", &NiStringPalette::CreateObject},
    {"NiTextKeyExtraData", &NiTextKeyExtraData::CreateObject},
    {"NiTextureTransformController", &NiTextureTransformController::CreateObject},
    {"NiTransformController", &NiTransformController::CreateObject},
    {"NiTransformData", &NiTransformData::CreateObject},
    {"NiTransformInterpolator", &NiTransformInterpolator::CreateObject},
    {"NiUVController", &NiUVController::CreateObject},
    {"NiUVData", &NiUVData::CreateObject},
    {"NiVisController", &NiVisController::CreateObject},
    {"NiVisData", &NiBoolData::CreateObject},
};
constexpr std::uint32_t CLASS_COUNT = sizeof(CLASSES) / sizeof(CLASSES[0]);

NiLibraryRegistrationCounter s_kCounter;
bool s_bInitialized = false;

const NiAnimationLibrary::StaticRegister s_kStaticRegister;
} // namespace

void NiAnimationLibrary::RegisterOnce()
{
    if (s_kCounter.Count())
        NiLibraryRegistry::RegisterLibrary(&NiAnimationLibrary::Init, &NiAnimationLibrary::Shutdown);
}

void NiAnimationLibrary::Init()
{
    if (s_bInitialized)
        return;
    s_bInitialized = true;
    // Key tables are complete before the first file can name a key array.
    NiAnimKeyTables::RegisterAll();
    for (const ClassEntry& kEntry : CLASSES)
        NiObjectStream::RegisterCreateFunction(kEntry.m_pcName, kEntry.m_pfnCreate);
}

void NiAnimationLibrary::Shutdown()
{
    if (!s_bInitialized)
        return;
    s_bInitialized = false;
    for (const ClassEntry& kEntry : CLASSES)
        NiObjectStream::UnregisterCreateFunction(kEntry.m_pcName);
}

bool NiAnimationLibrary::IsInitialized()
{
    return s_bInitialized;
}

std::uint32_t NiAnimationLibrary::GetClassNameCount()
{
    return CLASS_COUNT;
}

const char* NiAnimationLibrary::GetClassName(std::uint32_t uiIndex)
{
    return uiIndex < CLASS_COUNT ? CLASSES[uiIndex].m_pcName : nullptr;
}

void NiAnimationLibrary::Reset()
{
    s_kCounter.Reset();
    s_bInitialized = false;
}
