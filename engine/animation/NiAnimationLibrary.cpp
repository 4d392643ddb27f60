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
#include "engine/animation/NiBoneLODController.h"
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
#include "engine/animation/NiFloatInterpolator.h"
#include "engine/animation/NiFloatsExtraDataController.h"
#include "engine/animation/NiGeomMorpherController.h"
#include "engine/animation/NiKeyframeManager.h"
#include "engine/animation/NiLookAtController.h"
#include "engine/animation/NiLookAtInterpolator.h"
#include "engine/animation/NiMaterialColorController.h"
#include "engine/animation/NiMorphData.h"
#include "engine/animation/NiMultiTargetTransformController.h"
#include "engine/animation/NiPathController.h"
#include "engine/animation/NiPathInterpolator.h"
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
#include "engine/scene/NiNode.h"

#include <vector>

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
    {"NiBoneLODController", &NiBoneLODController::CreateObject},
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
    {"NiGeomMorpherController", &NiGeomMorpherController::CreateObject},
    {"NiKeyframeController", &NiTransformController::CreateObject},
    {"NiKeyframeData", &NiTransformData::CreateObject},
    {"NiKeyframeManager", &NiKeyframeManager::CreateObject},
    {"NiLightColorController", &NiLightColorController::CreateObject},
    {"NiLookAtController", &NiLookAtController::CreateObject},
    {"NiLookAtInterpolator", &NiLookAtInterpolator::CreateObject},
    {"NiMaterialColorController", &NiMaterialColorController::CreateObject},
    {"NiMorphData", &NiMorphData::CreateObject},
    {"NiMultiTargetTransformController", &NiMultiTargetTransformController::CreateObject},
    {"NiPathController", &NiPathController::CreateObject},
    {"NiPathInterpolator", &NiPathInterpolator::CreateObject},
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
    NiObjectStream::RegisterPostLoadCallback(&NiAnimationLibrary::ConvertLegacyControllers);
}

void NiAnimationLibrary::Shutdown()
{
    if (!s_bInitialized)
        return;
    s_bInitialized = false;
    for (const ClassEntry& kEntry : CLASSES)
        NiObjectStream::UnregisterCreateFunction(kEntry.m_pcName);
    NiObjectStream::UnregisterPostLoadCallback(&NiAnimationLibrary::ConvertLegacyControllers);
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

// ---- Conversion of old controllers ----

namespace
{
constexpr std::uint32_t INTERPOLATORS_FROM = NiStreamVersion(10, 1, 0, 104);

NiTransformController* FindTransformController(NiObjectNET* pkTarget)
{
    return static_cast<NiTransformController*>(pkTarget->GetControllerOfType(NiTransformController::TypeInfo()));
}

void ConvertLookAt(NiAVObject* pkTarget, NiLookAtController* pkOld)
{
    NiTimeControllerPtr spKeep = pkOld;
    NiTransformControllerPtr spController = FindTransformController(pkTarget);
    const bool bNew = !spController;
    if (bNew)
    {
        spController = new NiTransformController;
        NiAnimationLibrary::CopyTimeControllerSettings(pkOld, spController);
    }
    const std::uint16_t usFlags = pkOld->GetLookAtFlags();
    NiLookAtInterpolatorPtr spLookAt = new NiLookAtInterpolator(
        pkOld->GetLookAt(),
        static_cast<NiLookAtInterpolator::Axis>((usFlags & NiLookAtInterpolator::AXIS_MASK) >>
                                                NiLookAtInterpolator::AXIS_POS),
        (usFlags & NiLookAtInterpolator::FLIP_MASK) != 0);

    // Keyed positions and scales move into the look-at's inputs.
    auto* pkTransform = NiDynamicCast<NiTransformInterpolator>(spController->GetInterpolator(0));
    NiTransformData* pkData = pkTransform ? pkTransform->GetTransformData() : nullptr;
    if (pkData != nullptr && pkData->GetNumPosKeys() > 0)
    {
        NiPosDataPtr spPos = new NiPosData;
        spPos->ReplaceKeys(pkData->GetPosKeys(), pkData->GetNumPosKeys(), pkData->GetPosType());
        pkData->SetPosKeys(nullptr, 0, 0);
        spLookAt->SetSub(NiLookAtInterpolator::TRANSLATE, new NiPoint3Interpolator(spPos));
    }
    if (pkData != nullptr && pkData->GetNumScaleKeys() > 0)
    {
        NiFloatDataPtr spScale = new NiFloatData;
        spScale->ReplaceKeys(pkData->GetScaleKeys(), pkData->GetNumScaleKeys(), pkData->GetScaleType());
        pkData->SetScaleKeys(nullptr, 0, 0);
        spLookAt->SetSub(NiLookAtInterpolator::SCALE, new NiFloatInterpolator(spScale));
    }
    spController->SetInterpolator(spLookAt, 0);
    spLookAt->Collapse();
    if (bNew)
        spController->SetTarget(pkTarget);
    pkTarget->RemoveController(pkOld);
}

void ConvertPath(NiAVObject* pkTarget, NiPathController* pkOld)
{
    NiTimeControllerPtr spKeep = pkOld;
    const NiPathCurve& kOld = pkOld->GetCurve();
    NiPathInterpolatorPtr spPath = new NiPathInterpolator(kOld.m_spPathData, kOld.m_spPercentData);
    NiPathCurve& kCurve = spPath->GetCurve();
    kCurve.CopySettingsFrom(kOld);
    kCurve.SetBit(NiPathCurve::CONSTANT_VELOCITY_MASK, false);
    kCurve.SetConstantVelocity(kOld.GetBit(NiPathCurve::CONSTANT_VELOCITY_MASK));

    NiTransformControllerPtr spController = FindTransformController(pkTarget);
    if (spController)
    {
        spController->SetInterpolator(spPath, 0);
    }
    else
    {
        spController = new NiTransformController;
        spController->SetInterpolator(spPath, 0);
        spController->SetTarget(pkTarget);
    }
    NiAnimationLibrary::CopyTimeControllerSettings(pkOld, spController);
    spPath->Collapse();
    pkTarget->RemoveController(pkOld);
}

void ConvertRoll(NiAVObject* pkTarget, NiRollController* pkOld)
{
    NiTimeControllerPtr spKeep = pkOld;
    NiTransformController* pkController = FindTransformController(pkTarget);
    auto* pkLookAt = pkController ? NiDynamicCast<NiLookAtInterpolator>(pkController->GetInterpolator(0)) : nullptr;
    if (pkLookAt != nullptr)
    {
        pkLookAt->SetSub(NiLookAtInterpolator::ROLL, new NiFloatInterpolator(pkOld->GetFloatData()));
        NiAnimationLibrary::CopyTimeControllerSettings(pkOld, pkController);
        float fBegin = 0.0f;
        float fEnd = 0.0f;
        pkLookAt->GetActiveTimeRange(fBegin, fEnd);
        pkLookAt->GuaranteeTimeRange(fBegin, fEnd);
        pkController->ResetTimeExtrema();
        pkLookAt->Collapse();
    }
    // Without a look-at to roll the controller has nothing left to drive.
    pkTarget->RemoveController(pkOld);
}
} // namespace

void NiAnimationLibrary::CopyTimeControllerSettings(const NiTimeController* pkFrom, NiTimeController* pkTo)
{
    constexpr std::uint16_t MASK = NiTimeController::ANIMTYPE_MASK | NiTimeController::CYCLETYPE_MASK |
                                   NiTimeController::DIRECTION_MASK | NiTimeController::ACTIVE_MASK;
    pkTo->SetFlags(static_cast<std::uint16_t>((pkTo->GetFlags() & ~MASK) | (pkFrom->GetFlags() & MASK)));
    pkTo->SetFrequency(pkFrom->GetFrequency());
    pkTo->SetPhase(pkFrom->GetPhase());
    pkTo->SetBeginKeyTime(pkFrom->GetBeginKeyTime());
    pkTo->SetEndKeyTime(pkFrom->GetEndKeyTime());
}

void NiAnimationLibrary::ConvertLegacyControllers(NiObjectStream& kStream, NiObject* pkTop)
{
    if (kStream.GetFileVersion() >= INTERPOLATORS_FROM || !NiIsKindOf<NiObjectNET>(pkTop))
        return;
    ConvertControllersOf(kStream, pkTop);
}

void NiAnimationLibrary::ConvertControllersOf(NiObjectStream&, NiObject* pkObject)
{
    // An explicit stack: scene trees may be deeper than the call stack.
    std::vector<NiRefPtr<NiAVObject>> kPending;
    if (auto* pkFirst = NiDynamicCast<NiAVObject>(pkObject))
        kPending.emplace_back(pkFirst);
    while (!kPending.empty())
    {
        NiRefPtr<NiAVObject> spObject = kPending.back();
        kPending.pop_back();

        std::vector<NiTimeControllerPtr> kChain;
        for (NiTimeController* pk = spObject->GetControllers(); pk != nullptr; pk = pk->GetNext())
            kChain.emplace_back(pk);
        // A roll joins the look-at interpolator, wherever it stands in the
        // chain: look-at and path controllers go first.
        for (const NiTimeControllerPtr& sp : kChain)
        {
            if (auto* pkLookAt = NiDynamicCast<NiLookAtController>(sp.Get()))
                ConvertLookAt(spObject, pkLookAt);
            else if (auto* pkPath = NiDynamicCast<NiPathController>(sp.Get()))
                ConvertPath(spObject, pkPath);
        }
        for (const NiTimeControllerPtr& sp : kChain)
        {
            if (auto* pkRoll = NiDynamicCast<NiRollController>(sp.Get()))
                ConvertRoll(spObject, pkRoll);
        }

        auto* pkNode = NiDynamicCast<NiNode>(spObject.Get());
        if (pkNode == nullptr)
            continue;
        for (std::uint32_t i = pkNode->GetArrayCount(); i > 0; --i)
        {
            if (NiAVObject* pkChild = pkNode->GetAt(i - 1))
                kPending.emplace_back(pkChild);
        }
    }
}
