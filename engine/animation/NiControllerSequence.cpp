#include "engine/animation/NiControllerSequence.h"

#include "engine/animation/NiAnimText.h"
#include "engine/animation/NiControllerManager.h"
#include "engine/animation/NiMultiTargetTransformController.h"
#include "engine/animation/NiTransformController.h"
#include "engine/core/NiCloneContext.h"
#include "engine/core/NiObjectStream.h"
#include "engine/scene/NiAVObject.h"
#include "engine/scene/NiAVObjectPalette.h"
#include "engine/scene/NiProperty.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <numeric>
#include <unordered_map>

NiImplementTypeInfo(NiControllerSequence, NiObject)
NiImplementCreateClone(NiControllerSequence)

namespace
{
constexpr std::uint32_t INTERPOLATOR_ITEMS_FROM = NiStreamVersion(10, 1, 0, 104);
constexpr std::uint32_t EXTRA_ITEM_FIELDS_BEFORE = NiStreamVersion(10, 1, 0, 111);
constexpr std::uint32_t PALETTE_TAGS_FROM = NiStreamVersion(10, 1, 0, 113);
constexpr std::uint32_t END_TIME_BYTE_BEFORE = NiStreamVersion(10, 1, 0, 107);
// An item of the current layout: two links, a palette link and five
// offsets. Older layouts are smaller; their readers check their own sizes.
constexpr std::uint32_t CURRENT_ITEM_BYTES = 32;
constexpr std::uint32_t STRING_TAG_ITEM_BYTES = 28;
constexpr std::uint32_t OLD_ITEM_BYTES = 8;
// No sequence grows past this many items, whatever grow-by it was given.
constexpr std::uint32_t MAX_ITEMS = 0xFFFF;
constexpr const char* MORPH_PREFIX = "morph:";
constexpr const char* TRANSFORM_CONTROLLER = "NiTransformController";

bool IsMorphKey(const NiTextKey& kKey)
{
    return kKey.GetText() != nullptr && std::strncmp(kKey.GetText(), MORPH_PREFIX, 6) == 0;
}

// Every "morph:" key of kFrom has a key of the same text in kIn; false when
// kFrom has none.
bool MorphKeysFoundIn(const NiTextKeyExtraData& kFrom, const NiTextKeyExtraData& kIn)
{
    bool bAny = false;
    for (std::uint32_t i = 0; i < kFrom.GetNumKeys(); ++i)
    {
        const NiTextKey& kKey = *kFrom.GetKeyAt(i);
        if (!IsMorphKey(kKey))
            continue;
        bAny = true;
        bool bFound = false;
        for (std::uint32_t j = 0; j < kIn.GetNumKeys() && !bFound; ++j)
            bFound = NiTextEqual(kIn.GetKeyAt(j)->GetText(), kKey.GetText());
        if (!bFound)
            return false;
    }
    return bAny;
}

// Moves a controller of the manager's target to just after the manager in
// the chain, so it runs once the sequences have set their values.
void PlaceAfterManager(NiControllerManager* pkManager, NiTimeController* pkController)
{
    NiObjectNET* pkTarget = pkManager->GetTarget();
    if (pkTarget == nullptr || pkController == pkManager || pkManager->GetNext() == pkController)
        return;
    NiTimeControllerPtr spKeep = pkController;
    pkTarget->RemoveController(pkController);
    // A manager outside its target's chain (files can put it anywhere) may
    // still have the controller after it: unlinked there too, or the
    // controller would come to follow itself.
    for (NiTimeController* pk = pkManager; pk->GetNext() != nullptr; pk = pk->GetNext())
    {
        if (pk->GetNext() == pkController)
        {
            pk->SetNext(pkController->GetNext());
            break;
        }
    }
    pkController->SetNext(pkManager->GetNext());
    pkManager->SetNext(pkController);
}
} // namespace

void NiControllerSequence::InterpArrayItem::ClearValues()
{
    m_spInterpolator = nullptr;
    m_spInterpCtlr = nullptr;
    m_pkBlendInterp = nullptr;
    m_ucBlendIdx = NiBlendInterpolator::INVALID_INDEX;
}

void NiControllerSequence::IDTag::ClearValues()
{
    m_uiAVObjectNameOffset = NO_STRING;
    m_uiPropertyTypeOffset = NO_STRING;
    m_uiCtlrTypeOffset = NO_STRING;
    m_uiCtlrIDOffset = NO_STRING;
    m_uiInterpolatorIDOffset = NO_STRING;
}

void NiControllerSequence::IDTag::SetStrings(NiStringPalette* pkPalette, const char* pcObject,
                                             const char* pcProperty, const char* pcCtlrType, const char* pcCtlrID,
                                             const char* pcInterpID)
{
    m_spPalette = pkPalette;
    m_uiAVObjectNameOffset = pkPalette->AddString(pcObject);
    m_uiPropertyTypeOffset = pkPalette->AddString(pcProperty);
    m_uiCtlrTypeOffset = pkPalette->AddString(pcCtlrType);
    m_uiCtlrIDOffset = pkPalette->AddString(pcCtlrID);
    m_uiInterpolatorIDOffset = pkPalette->AddString(pcInterpID);
}

void NiControllerSequence::SetName(const char* pcName)
{
    m_spName = NiCopyText(pcName);
}

void NiControllerSequence::SetAccumRootName(const char* pcName)
{
    m_spAccumRootName = NiCopyText(pcName);
}

// ---- Playing ----

bool NiControllerSequence::Activate(std::int32_t iPriority, bool bStartOver, float fWeight, float fEaseInTime,
                                    NiControllerSequence* pkTimeSyncSeq)
{
    if (m_eState != INACTIVE)
        return false;
    m_pkPartnerSequence = nullptr;
    if (pkTimeSyncSeq != nullptr)
    {
        // Following itself would update itself without end.
        if (pkTimeSyncSeq == this || pkTimeSyncSeq->m_pkPartnerSequence == this)
            return false;
        if (pkTimeSyncSeq->m_pkPartnerSequence != nullptr && !IsSyncCycleFree(pkTimeSyncSeq->m_pkPartnerSequence))
            return false;
        if (!VerifyMatchingMorphKeys(pkTimeSyncSeq))
            return false;
        m_pkPartnerSequence = pkTimeSyncSeq;
    }
    AttachToBlendInterpolators(iPriority);
    m_fSeqWeight = fWeight;
    if (fEaseInTime > 0.0f)
    {
        m_eState = EASINGIN;
        m_fEndTime = fEaseInTime;
        m_fStartTime = NI_MIN_FLOAT;
    }
    else
    {
        m_eState = ANIMATING;
    }
    if (bStartOver)
        m_fOffset = NI_MIN_FLOAT;
    return true;
}

bool NiControllerSequence::Deactivate(float fEaseOutTime)
{
    if (m_eState == INACTIVE)
        return false;
    if (fEaseOutTime > 0.0f)
    {
        m_eState = EASINGOUT;
        m_fEndTime = fEaseOutTime;
        m_fStartTime = NI_MIN_FLOAT;
        return true;
    }
    // Keeps the input time where the key time was, so a later activation
    // without start-over carries on from the clock. A frequency of 0 has no
    // such time: the offset stays.
    if (m_fLastTime != NI_MIN_FLOAT && m_fFrequency != 0.0f)
        m_fOffset = m_fWeightedLastTime / m_fFrequency - m_fLastTime + m_fOffset;
    m_eState = INACTIVE;
    m_pkPartnerSequence = nullptr;
    DetachFromBlendInterpolators();
    return true;
}

void NiControllerSequence::Update(float fTime, bool bUpdateInterpolators)
{
    if (m_eState != ANIMATING && m_eState != EASINGIN && m_eState != EASINGOUT)
        return;
    if (m_fOffset == NI_MIN_FLOAT)
        m_fOffset = -fTime;
    if (m_fStartTime == NI_MIN_FLOAT)
    {
        m_fStartTime = fTime;
        m_fEndTime = fTime + m_fEndTime;
    }

    float fEase = 1.0f;
    if (m_eState == EASINGIN)
    {
        if (fTime < m_fEndTime)
            fEase = (fTime - m_fStartTime) / (m_fEndTime - m_fStartTime);
        else
            m_eState = ANIMATING;
    }
    else if (m_eState == EASINGOUT)
    {
        if (fTime < m_fEndTime)
        {
            fEase = (m_fEndTime - fTime) / (m_fEndTime - m_fStartTime);
        }
        else
        {
            Deactivate(0.0f);
            return;
        }
    }
    if (!bUpdateInterpolators)
        return;

    float fInput = fTime + m_fOffset;
    if (NiControllerSequence* pkPartner = m_pkPartnerSequence)
    {
        // A partner that has not started has no offset yet: its input time
        // would look current at -FLT_MAX.
        float fPartnerInput = fTime + pkPartner->m_fOffset;
        if (pkPartner->m_fOffset == NI_MIN_FLOAT || pkPartner->m_fLastTime != fPartnerInput)
        {
            pkPartner->Update(fTime, true);
            fPartnerInput = fTime + pkPartner->m_fOffset;
        }
        float fMorph = FindCorrespondingMorphTime(pkPartner, fPartnerInput);
        if (m_fFrequency != 0.0f)
            fInput = (fMorph - m_fPhase) / m_fFrequency;
    }
    float fKeyTime = ComputeScaledTime(fInput, true);
    SetBlendValues(m_fSeqWeight, fEase, fKeyTime);
}

float NiControllerSequence::ComputeScaledTime(float fTime, bool bCommit)
{
    float fAccumulated = m_fLastTime == NI_MIN_FLOAT ? fTime * m_fFrequency
                                                     : (fTime - m_fLastTime) * m_fFrequency + m_fWeightedLastTime;
    float k = fAccumulated + m_fPhase;
    if (m_uiCycleType == LOOP)
    {
        float fSpan = m_fEndKeyTime - m_fBeginKeyTime;
        if (fSpan == 0.0f)
        {
            k = m_fBeginKeyTime;
        }
        else if (k != m_fEndKeyTime)
        {
            k = std::fmod(k - m_fBeginKeyTime, fSpan) + m_fBeginKeyTime;
            if (k < m_fBeginKeyTime)
                k += fSpan;
        }
    }
    if (k > m_fEndKeyTime)
        k = m_fEndKeyTime;
    else if (k < m_fBeginKeyTime)
        k = m_fBeginKeyTime;
    if (bCommit)
    {
        m_fLastScaledTime = k;
        m_fWeightedLastTime = fAccumulated;
        m_fLastTime = fTime;
    }
    return k;
}

bool NiControllerSequence::IsSyncCycleFree(const NiControllerSequence* pkOther) const
{
    if (pkOther == nullptr)
        return true;
    for (const NiControllerSequence* pk = pkOther->m_pkPartnerSequence; pk != nullptr; pk = pk->m_pkPartnerSequence)
    {
        if (pk == this)
            return false;
    }
    return true;
}

bool NiControllerSequence::VerifyMatchingMorphKeys(const NiControllerSequence* pkOther) const
{
    if (pkOther == nullptr || !m_spTextKeys || !pkOther->m_spTextKeys)
        return false;
    return MorphKeysFoundIn(*pkOther->m_spTextKeys, *m_spTextKeys) &&
           MorphKeysFoundIn(*m_spTextKeys, *pkOther->m_spTextKeys);
}

float NiControllerSequence::FindCorrespondingMorphTime(NiControllerSequence* pkPartner, float fPartnerTime)
{
    float pk = pkPartner->ComputeScaledTime(fPartnerTime, false);
    const NiTextKeyExtraData* pkKeys = pkPartner->m_spTextKeys;
    if (pkKeys == nullptr || !m_spTextKeys)
        return pk;
    const NiTextKey* pkFirst = nullptr;
    const NiTextKey* pkLast = nullptr;
    const NiTextKey* pkBefore = nullptr;
    const NiTextKey* pkAfter = nullptr;
    for (std::uint32_t i = 0; i < pkKeys->GetNumKeys(); ++i)
    {
        const NiTextKey* pkKey = pkKeys->GetKeyAt(i);
        if (!IsMorphKey(*pkKey))
            continue;
        if (pkFirst == nullptr)
            pkFirst = pkKey;
        pkLast = pkKey;
        if (pkKey->GetTime() < pk)
            pkBefore = pkKey;
        else if (pkAfter == nullptr)
            pkAfter = pkKey;
    }
    if (pkFirst == nullptr)
        return pk;
    float fBefore = pkBefore != nullptr ? pkBefore->GetTime() : 0.0f;
    float fAfter = pkAfter != nullptr ? pkAfter->GetTime() : 0.0f;
    const float fPartnerSpan = pkPartner->m_fEndKeyTime - pkPartner->m_fBeginKeyTime;
    if (pkAfter == nullptr)
    {
        pkAfter = pkFirst;
        fAfter = fPartnerSpan + pkFirst->GetTime();
    }
    else if (pkBefore == nullptr)
    {
        pkBefore = pkLast;
        fBefore = pkLast->GetTime() - fPartnerSpan;
    }
    // One morph key over an empty range puts both ends at one time.
    float fDenominator = fAfter - fBefore;
    float fFraction = fDenominator != 0.0f ? (pk - fBefore) / fDenominator : 0.0f;

    float fSb = 0.0f, fSa = 0.0f;
    bool bSb = false, bSa = false;
    for (std::uint32_t i = 0; i < m_spTextKeys->GetNumKeys() && !(bSb && bSa); ++i)
    {
        const NiTextKey* pkKey = m_spTextKeys->GetKeyAt(i);
        if (!bSb && NiTextEqual(pkKey->GetText(), pkBefore->GetText()))
        {
            fSb = pkKey->GetTime();
            bSb = true;
        }
        if (!bSa && NiTextEqual(pkKey->GetText(), pkAfter->GetText()))
        {
            fSa = pkKey->GetTime();
            bSa = true;
        }
    }
    const float fSpan = m_fEndKeyTime - m_fBeginKeyTime;
    if (fSb > fSa)
        fSa += fSpan;
    float r = fSb + fFraction * (fSa - fSb);
    if (r < m_fBeginKeyTime)
        r += fSpan;
    else if (r > m_fEndKeyTime)
        r -= fSpan;
    return r;
}

void NiControllerSequence::AttachToBlendInterpolators(std::int32_t iPriority)
{
    for (InterpArrayItem& kItem : m_kItems)
    {
        if (kItem.m_spInterpolator && kItem.m_pkBlendInterp != nullptr)
            kItem.m_ucBlendIdx = kItem.m_pkBlendInterp->AddInterpInfo(kItem.m_spInterpolator, 0.0f,
                                                                      static_cast<std::int8_t>(iPriority), 1.0f);
    }
}

void NiControllerSequence::DetachFromBlendInterpolators()
{
    for (InterpArrayItem& kItem : m_kItems)
    {
        if (kItem.m_pkBlendInterp == nullptr)
            continue;
        (void)kItem.m_pkBlendInterp->RemoveInterpInfo(kItem.m_ucBlendIdx);
        kItem.m_ucBlendIdx = NiBlendInterpolator::INVALID_INDEX;
    }
}

void NiControllerSequence::SetBlendValues(float fWeight, float fEaseSpinner, float fKeyTime)
{
    for (InterpArrayItem& kItem : m_kItems)
    {
        NiBlendInterpolator* B = kItem.m_pkBlendInterp;
        std::uint8_t i = kItem.m_ucBlendIdx;
        if (B == nullptr || i == NiBlendInterpolator::INVALID_INDEX)
            continue;
        bool bSingle = B->GetInterpCount() == 1 && B->GetSingleIdx() == i;
        if (!bSingle)
        {
            // Written only on change: each write makes the blend normalise
            // its weights again.
            if (B->GetWeight(i) != fWeight)
                B->SetWeight(fWeight, i);
            const NiBlendInterpolator::NiBlendInterpItem* pkItem = B->GetItem(i);
            if (pkItem != nullptr && pkItem->m_fEaseSpinner != fEaseSpinner)
                B->SetEaseSpinner(fEaseSpinner, i);
        }
        B->SetTime(fKeyTime, i);
    }
}

// ---- Items ----

std::int32_t NiControllerSequence::AddItem(NiInterpolator* pkInterpolator, const IDTag& kTag)
{
    std::uint32_t uiIndex = 0;
    while (uiIndex < m_kItems.size() && m_kItems[uiIndex].m_spInterpolator)
        ++uiIndex;
    if (uiIndex == m_kItems.size() && !GrowArrays())
        return -1;
    m_kItems[uiIndex].m_spInterpolator = pkInterpolator;
    m_kTags[uiIndex] = kTag;
    return static_cast<std::int32_t>(uiIndex);
}

bool NiControllerSequence::GrowArrays()
{
    if (m_uiArrayGrowBy == 0 || m_kItems.size() + m_uiArrayGrowBy > MAX_ITEMS)
        return false;
    std::size_t uiOld = m_kItems.size();
    m_kItems.resize(uiOld + m_uiArrayGrowBy);
    m_kTags.resize(uiOld + m_uiArrayGrowBy);
    for (std::size_t i = uiOld; i < m_kTags.size(); ++i)
        m_kTags[i].m_spPalette = m_spStringPalette;
    return true;
}

std::int32_t NiControllerSequence::FindItem(const char* pcObjectName) const
{
    for (std::size_t i = 0; i < m_kTags.size(); ++i)
    {
        if (pcObjectName != nullptr && NiTextEqual(m_kTags[i].GetAVObjectName(), pcObjectName))
            return static_cast<std::int32_t>(i);
    }
    return -1;
}

// ---- Binding ----

bool NiControllerSequence::BindMultiTargetTransforms(NiAVObject* pkRoot, NiAVObjectPalette* pkPalette)
{
    NiControllerManager* pkManager = m_pkOwner;
    bool bCreated = false;
    auto* pkMulti = static_cast<NiMultiTargetTransformController*>(
        pkRoot->GetControllerOfType(NiMultiTargetTransformController::TypeInfo()));
    std::uint32_t uiTransforms = 0;
    for (const IDTag& kTag : m_kTags)
    {
        if (NiTextEqual(kTag.GetCtlrType(), TRANSFORM_CONTROLLER))
            ++uiTransforms;
    }
    if (uiTransforms == 0)
        return false;
    if (pkMulti == nullptr)
    {
        NiMultiTargetTransformControllerPtr spMulti =
            new NiMultiTargetTransformController(static_cast<std::uint16_t>(std::min<std::uint32_t>(uiTransforms, MAX_ITEMS)));
        spMulti->SetTarget(pkRoot);
        spMulti->SetManagerControlled(true);
        if (pkRoot == pkManager->GetTarget())
            PlaceAfterManager(pkManager, spMulti);
        pkMulti = spMulti;
        bCreated = true;
    }

    for (std::size_t i = 0; i < m_kItems.size(); ++i)
    {
        const IDTag& kTag = m_kTags[i];
        if (!NiTextEqual(kTag.GetCtlrType(), TRANSFORM_CONTROLLER))
            continue;
        NiAVObject* pkObject = pkPalette->GetAVObject(kTag.GetAVObjectName());
        if (pkObject == nullptr)
            continue;
        // A cumulative manager's accumulation root keeps its own controller.
        if (pkManager->GetCumulative() && pkObject == m_pkAccumRoot)
            continue;
        std::uint16_t usIndex = pkMulti->FindTarget(pkObject);
        if (usIndex == NiInterpController::INVALID_INDEX)
        {
            usIndex = pkMulti->AddTarget(pkObject);
            // A controller sized for another sequence grows for this one.
            if (usIndex == NiInterpController::INVALID_INDEX && pkMulti->GrowTargets(1))
                usIndex = pkMulti->AddTarget(pkObject);
            if (usIndex == NiInterpController::INVALID_INDEX)
                continue;
        }
        if (NiTimeController* pkOwn = pkObject->GetControllerOfType(NiTransformController::TypeInfo()))
        {
            NiTimeControllerPtr spKeep = pkOwn;
            pkOwn->SetTarget(nullptr);
        }
        NiBlendTransformInterpolator* pkBlend = pkMulti->GetBlendInterpolator(usIndex);
        pkBlend->SetManagerControlled(true);
        m_kItems[i].m_spInterpCtlr = pkMulti;
        m_kItems[i].m_pkBlendInterp = pkBlend;
    }
    return bCreated;
}

bool NiControllerSequence::BindToTargets(NiAVObject* pkRoot)
{
    ConvertPendingLegacyItems();
    NiControllerManager* pkManager = m_pkOwner;
    if (pkManager == nullptr || pkRoot == nullptr)
        return false;
    NiAVObjectPalette* pkPalette = pkManager->GetObjectPalette();
    if (pkPalette == nullptr)
        return true;
    if (m_spAccumRootName)
        m_pkAccumRoot = pkPalette->GetAVObject(m_spAccumRootName.get());

    bool bFlagsChanged = BindMultiTargetTransforms(pkRoot, pkPalette);
    for (std::size_t i = 0; i < m_kItems.size(); ++i)
    {
        InterpArrayItem& kItem = m_kItems[i];
        const IDTag& kTag = m_kTags[i];
        if (!kItem.m_spInterpolator || kItem.m_pkBlendInterp != nullptr ||
            !kItem.m_spInterpolator->ResolveDependencies(pkPalette))
            continue;
        NiAVObject* pkObject = pkPalette->GetAVObject(kTag.GetAVObjectName());
        if (pkObject == nullptr)
            continue;
        NiObjectNET* pkTarget = pkObject;
        if (const char* pcProperty = kTag.GetPropertyType())
        {
            const NiRefList<NiProperty>& kList = pkObject->GetPropertyList();
            for (NiListPos kPos = kList.GetHeadPos(); kPos != nullptr;)
            {
                NiProperty* pkProperty = kList.GetNext(kPos);
                if (pkProperty != nullptr && std::strcmp(pkProperty->GetTypeInfo()->GetName(), pcProperty) == 0)
                {
                    pkTarget = pkProperty;
                    break;
                }
            }
        }

        NiInterpController* pkController = nullptr;
        const char* pcType = kTag.GetCtlrType();
        for (NiTimeController* pk = pkTarget->GetControllers(); pk != nullptr && pcType != nullptr; pk = pk->GetNext())
        {
            auto* pkInterp = NiDynamicCast<NiInterpController>(pk);
            if (pkInterp != nullptr && std::strcmp(pk->GetTypeInfo()->GetName(), pcType) == 0 &&
                NiTextEqual(pkInterp->GetCtlrID(), kTag.GetCtlrID()))
            {
                pkController = pkInterp;
                break;
            }
        }
        if (pkController == nullptr)
        {
            pkController = kItem.m_spInterpCtlr;
            if (pkController == nullptr)
                continue;
            pkController->SetTarget(pkTarget);
            bFlagsChanged = true;
            if (pkTarget == pkManager->GetTarget())
                PlaceAfterManager(pkManager, pkController);
        }

        std::uint16_t usIndex = pkController->GetInterpolatorIndex(kTag.GetInterpolatorID());
        if (usIndex == NiInterpController::INVALID_INDEX)
            continue;
        auto* pkBlend = NiDynamicCast<NiBlendInterpolator>(pkController->GetInterpolator(usIndex));
        if (pkBlend == nullptr)
        {
            bool bAccumulate = m_pkAccumRoot == pkTarget && pkManager->GetCumulative();
            NiBlendInterpolatorPtr spBlend =
                pkController->CreateBlendInterpolator(usIndex, true, bAccumulate, 0.0f, 2);
            if (!spBlend)
                continue;
            pkController->SetInterpolator(spBlend, usIndex);
            // Only a blend the controller holds may be pointed at.
            if (pkController->GetInterpolator(usIndex) != spBlend)
                continue;
            pkBlend = spBlend;
        }
        pkController->SetManagerControlled(true);
        kItem.m_spInterpCtlr = pkController;
        kItem.m_pkBlendInterp = pkBlend;
    }

    if (bFlagsChanged)
    {
        if (auto* pkTop = NiDynamicCast<NiAVObject>(pkManager->GetTarget()))
        {
            bool bSelective = false, bRigid = true;
            pkTop->ComputeSelectiveUpdateFlags(bSelective, false, bRigid);
        }
    }
    SortItemsByBlendInterpolator();
    return true;
}

void NiControllerSequence::SortItemsByBlendInterpolator()
{
    // Unbound items first, then the items of each blend together, the groups
    // in the order their first items had. Ordering by the blends' addresses
    // would let the heap decide the saved record and whether a model equals
    // its copy or itself reloaded.
    std::vector<std::size_t> kGroup(m_kItems.size(), 0);
    std::unordered_map<const NiBlendInterpolator*, std::size_t> kFirstItem;
    for (std::size_t i = 0; i < m_kItems.size(); ++i)
    {
        if (m_kItems[i].m_pkBlendInterp != nullptr)
            kGroup[i] = 1 + kFirstItem.try_emplace(m_kItems[i].m_pkBlendInterp, i).first->second;
    }
    std::vector<std::size_t> kOrder(m_kItems.size());
    std::iota(kOrder.begin(), kOrder.end(), 0);
    std::stable_sort(kOrder.begin(), kOrder.end(), [&](std::size_t a, std::size_t b) { return kGroup[a] < kGroup[b]; });
    std::vector<InterpArrayItem> kItems(m_kItems.size());
    std::vector<IDTag> kTags(m_kTags.size());
    for (std::size_t i = 0; i < kOrder.size(); ++i)
    {
        kItems[i] = std::move(m_kItems[kOrder[i]]);
        kTags[i] = std::move(m_kTags[kOrder[i]]);
    }
    m_kItems = std::move(kItems);
    m_kTags = std::move(kTags);
}

void NiControllerSequence::UnbindFromManager()
{
    for (InterpArrayItem& kItem : m_kItems)
    {
        kItem.m_spInterpCtlr = nullptr;
        kItem.m_pkBlendInterp = nullptr;
        kItem.m_ucBlendIdx = NiBlendInterpolator::INVALID_INDEX;
    }
}

bool NiControllerSequence::ConvertLegacyController(const char* pcObjectName, NiInterpController* pkController)
{
    if (pkController == nullptr)
        return true;
    // "Name\nPROP\nPropertyClass" names a property of the object.
    std::string kName = pcObjectName != nullptr ? pcObjectName : "";
    std::string kMarker, kProperty;
    std::size_t uiBreak = kName.find('\n');
    if (uiBreak != std::string::npos)
    {
        std::string kRest = kName.substr(uiBreak + 1);
        kName.resize(uiBreak);
        std::size_t uiSecond = kRest.find('\n');
        kMarker = kRest.substr(0, uiSecond);
        if (uiSecond != std::string::npos)
            kProperty = kRest.substr(uiSecond + 1);
    }
    if (!m_spStringPalette)
        m_spStringPalette = new NiStringPalette(0);
    for (std::uint16_t k = 0; k < pkController->GetInterpolatorCount(); ++k)
    {
        IDTag kTag;
        kTag.SetStrings(m_spStringPalette, pcObjectName != nullptr ? kName.c_str() : nullptr,
                        kMarker == "PROP" ? kProperty.c_str() : nullptr, pkController->GetTypeInfo()->GetName(),
                        pkController->GetCtlrID(), pkController->GetInterpolatorID(k));
        std::int32_t iIndex = AddItem(pkController->GetInterpolator(k), kTag);
        if (iIndex < 0)
            return false;
        m_kItems[iIndex].m_spInterpCtlr = pkController;
    }
    return true;
}

void NiControllerSequence::ConvertPendingLegacyItems()
{
    if (!m_bLegacyPending)
        return;
    m_bLegacyPending = false;

    float fBegin = -NI_MIN_FLOAT, fEnd = NI_MIN_FLOAT;
    bool bAny = false;
    for (const InterpArrayItem& kItem : m_kItems)
    {
        if (!kItem.m_spInterpCtlr)
            continue;
        bAny = true;
        fBegin = std::min(fBegin, kItem.m_spInterpCtlr->GetBeginKeyTime());
        fEnd = std::max(fEnd, kItem.m_spInterpCtlr->GetEndKeyTime());
    }
    m_fBeginKeyTime = bAny ? fBegin : 0.0f;
    m_fEndKeyTime = bAny ? fEnd : 0.0f;

    std::vector<std::pair<std::string, NiInterpControllerPtr>> kOld;
    bool bFirst = true;
    for (std::size_t i = 0; i < m_kItems.size(); ++i)
    {
        const char* pcName = m_kTags[i].GetAVObjectName();
        NiInterpControllerPtr spController = m_kItems[i].m_spInterpCtlr;
        if (spController && bFirst)
        {
            bFirst = false;
            std::uint32_t uiCycle = spController->GetCycleType();
            m_uiCycleType = uiCycle == NiTimeController::REVERSE ? LOOP : uiCycle;
            m_fFrequency = spController->GetFrequency();
            m_fPhase = spController->GetPhase();
        }
        if (spController)
            kOld.emplace_back(pcName != nullptr ? pcName : "", spController);
        m_kItems[i].ClearValues();
        m_kTags[i].ClearValues();
    }
    for (auto& [kName, spController] : kOld)
    {
        std::uint32_t uiCycle = m_uiCycleType == LOOP ? NiTimeController::LOOP : NiTimeController::CLAMP;
        spController->SetCycleType(static_cast<NiTimeController::CycleType>(uiCycle));
        spController->SetFrequency(m_fFrequency);
        spController->SetPhase(m_fPhase);
        spController->SetPlayBackwards(false);
        if (!ConvertLegacyController(kName.c_str(), spController))
            break;
    }
}

// ---- Cloning ----

void NiControllerSequence::CopyMembers(NiControllerSequence* pkDest, NiCloneContext& kCloning)
{
    NiObject::CopyMembers(pkDest, kCloning);
    ConvertPendingLegacyItems();
    pkDest->SetName(GetName());
    pkDest->m_uiArrayGrowBy = m_uiArrayGrowBy;
    pkDest->m_fSeqWeight = m_fSeqWeight;
    pkDest->m_spTextKeys = m_spTextKeys;
    pkDest->m_uiCycleType = m_uiCycleType;
    pkDest->m_fFrequency = m_fFrequency;
    pkDest->m_fPhase = m_fPhase;
    pkDest->m_fBeginKeyTime = m_fBeginKeyTime;
    pkDest->m_fEndKeyTime = m_fEndKeyTime;
    pkDest->SetAccumRootName(GetAccumRootName());
    pkDest->m_spStringPalette = m_spStringPalette;
    pkDest->m_kItems.resize(m_kItems.size());
    pkDest->m_kTags = m_kTags;
    for (std::size_t i = 0; i < m_kItems.size(); ++i)
    {
        const InterpArrayItem& kSrc = m_kItems[i];
        InterpArrayItem& kDst = pkDest->m_kItems[i];
        if (m_pkOwner != nullptr)
        {
            if (m_eState == INACTIVE && kSrc.m_spInterpolator)
                kDst.m_spInterpolator = static_cast<NiInterpolator*>(kSrc.m_spInterpolator->CreateClone(kCloning));
            kDst.m_ucBlendIdx = kSrc.m_ucBlendIdx;
        }
        else
        {
            if (kSrc.m_spInterpolator)
                kDst.m_spInterpolator = static_cast<NiInterpolator*>(kSrc.m_spInterpolator->CreateClone(kCloning));
            if (kSrc.m_spInterpCtlr)
                kDst.m_spInterpCtlr = static_cast<NiInterpController*>(kSrc.m_spInterpCtlr->CreateClone(kCloning));
        }
    }
}

void NiControllerSequence::FinishClone(NiCloneContext& kCloning)
{
    NiObject::FinishClone(kCloning);
    for (InterpArrayItem& kItem : m_kItems)
    {
        if (kItem.m_spInterpolator)
            kItem.m_spInterpolator->FinishClone(kCloning);
        if (kItem.m_spInterpCtlr && m_pkOwner == nullptr)
            kItem.m_spInterpCtlr->FinishClone(kCloning);
    }
    NiObject* pkCopy = nullptr;
    if (m_pkOwner == nullptr || !kCloning.m_kCloneMap.GetAt(this, pkCopy) || pkCopy == nullptr)
        return;
    auto* pkClone = static_cast<NiControllerSequence*>(pkCopy);
    auto Map = [&](NiObject* pkSource) -> NiObject* {
        NiObject* pkMapped = nullptr;
        if (pkSource != nullptr && kCloning.m_kCloneMap.GetAt(pkSource, pkMapped) && pkMapped != nullptr)
            return pkMapped;
        return pkSource;
    };
    for (std::size_t i = 0; i < m_kItems.size() && i < pkClone->m_kItems.size(); ++i)
    {
        pkClone->m_kItems[i].m_spInterpCtlr = NiDynamicCast<NiInterpController>(Map(m_kItems[i].m_spInterpCtlr));
        pkClone->m_kItems[i].m_pkBlendInterp = NiDynamicCast<NiBlendInterpolator>(Map(m_kItems[i].m_pkBlendInterp));
    }
    pkClone->m_pkOwner = NiDynamicCast<NiControllerManager>(Map(m_pkOwner));
    pkClone->m_pkPartnerSequence = NiDynamicCast<NiControllerSequence>(Map(m_pkPartnerSequence));
}

// ---- Records ----

void NiControllerSequence::ReadCurrentItems(NiObjectStream& kStream, std::uint32_t uiCount)
{
    for (std::uint32_t i = 0; i < uiCount && !kStream.IsCorrupt(); ++i)
    {
        NiObject* pkInterp = kStream.ReadObjectRef();
        NiObject* pkCtlr = kStream.ReadObjectRef();
        NiObject* pkPalette = kStream.ReadObjectRef();
        IDTag& kTag = m_kTags[i];
        m_kItems[i].m_spInterpolator = NiDynamicCast<NiInterpolator>(pkInterp);
        m_kItems[i].m_spInterpCtlr = NiDynamicCast<NiInterpController>(pkCtlr);
        kTag.m_spPalette = NiDynamicCast<NiStringPalette>(pkPalette);
        if ((pkInterp != nullptr && !m_kItems[i].m_spInterpolator) ||
            (pkCtlr != nullptr && !m_kItems[i].m_spInterpCtlr) || (pkPalette != nullptr && !kTag.m_spPalette))
        {
            kStream.SetCorrupt();
            return;
        }
        kStream.ReadLE(kTag.m_uiAVObjectNameOffset);
        kStream.ReadLE(kTag.m_uiPropertyTypeOffset);
        kStream.ReadLE(kTag.m_uiCtlrTypeOffset);
        kStream.ReadLE(kTag.m_uiCtlrIDOffset);
        kStream.ReadLE(kTag.m_uiInterpolatorIDOffset);
    }
}

void NiControllerSequence::ReadStringTagItems(NiObjectStream& kStream, std::uint32_t uiCount)
{
    m_spStringPalette = new NiStringPalette(uiCount * OLD_PALETTE_BYTES_PER_ITEM);
    const bool bExtra = kStream.GetFileVersion() < EXTRA_ITEM_FIELDS_BEFORE;
    for (std::uint32_t i = 0; i < uiCount && !kStream.IsCorrupt(); ++i)
    {
        NiObject* pkInterp = kStream.ReadObjectRef();
        NiObject* pkCtlr = kStream.ReadObjectRef();
        m_kItems[i].m_spInterpolator = NiDynamicCast<NiInterpolator>(pkInterp);
        m_kItems[i].m_spInterpCtlr = NiDynamicCast<NiInterpController>(pkCtlr);
        if ((pkInterp != nullptr && !m_kItems[i].m_spInterpolator) ||
            (pkCtlr != nullptr && !m_kItems[i].m_spInterpCtlr))
        {
            kStream.SetCorrupt();
            return;
        }
        if (bExtra)
        {
            (void)kStream.ReadObjectRef();
            std::uint8_t ucUnused = 0;
            kStream.ReadLE(ucUnused);
        }
        std::unique_ptr<char[]> aspText[5];
        for (auto& sp : aspText)
            sp.reset(kStream.ReadString());
        m_kTags[i].SetStrings(m_spStringPalette, aspText[0].get(), aspText[1].get(), aspText[2].get(),
                              aspText[3].get(), aspText[4].get());
    }
}

void NiControllerSequence::ReadOldLayout(NiObjectStream& kStream)
{
    m_spName.reset(kStream.ReadString());
    m_spAccumRootName.reset(kStream.ReadString());
    kStream.ReadLinkID();
    std::uint32_t uiCount = 0;
    if (!kStream.ReadCount(uiCount, OLD_ITEM_BYTES))
        return;
    kStream.QueueLinkCount(uiCount);
    m_uiArrayGrowBy = OLD_ARRAY_GROW_BY;
    m_spStringPalette = new NiStringPalette(uiCount * OLD_PALETTE_BYTES_PER_ITEM);
    m_kItems.assign(uiCount, InterpArrayItem());
    m_kTags.assign(uiCount, IDTag());
    for (std::uint32_t i = 0; i < uiCount && !kStream.IsCorrupt(); ++i)
    {
        std::unique_ptr<char[]> spName(kStream.ReadString());
        m_kTags[i].m_spPalette = m_spStringPalette;
        m_kTags[i].m_uiAVObjectNameOffset = m_spStringPalette->AddString(spName.get());
        kStream.ReadLinkID();
    }
    m_bLegacyPending = true;
}

void NiControllerSequence::ReadFromStream(NiObjectStream& kStream)
{
    NiObject::ReadFromStream(kStream);
    const std::uint32_t uiVersion = kStream.GetFileVersion();
    if (uiVersion < INTERPOLATOR_ITEMS_FROM)
    {
        ReadOldLayout(kStream);
        return;
    }
    m_spName.reset(kStream.ReadString());
    std::uint32_t uiCount = 0;
    const bool bPaletteTags = uiVersion >= PALETTE_TAGS_FROM;
    if (!kStream.ReadCount(uiCount, bPaletteTags ? CURRENT_ITEM_BYTES : STRING_TAG_ITEM_BYTES))
        return;
    kStream.ReadLE(m_uiArrayGrowBy);
    m_kItems.assign(uiCount, InterpArrayItem());
    m_kTags.assign(uiCount, IDTag());
    if (bPaletteTags)
        ReadCurrentItems(kStream, uiCount);
    else
        ReadStringTagItems(kStream, uiCount);
    if (kStream.IsCorrupt())
        return;

    kStream.ReadLE(m_fSeqWeight);
    kStream.ReadLinkID();
    kStream.ReadLE(m_uiCycleType);
    kStream.ReadLE(m_fFrequency);
    kStream.ReadLE(m_fPhase);
    kStream.ReadLE(m_fBeginKeyTime);
    kStream.ReadLE(m_fEndKeyTime);
    if (uiVersion < END_TIME_BYTE_BEFORE)
    {
        std::uint8_t ucUnused = 0;
        kStream.ReadLE(ucUnused);
    }
    kStream.ReadLinkID();
    m_spAccumRootName.reset(kStream.ReadString());
    if (bPaletteTags)
    {
        NiObject* pkPalette = kStream.ReadObjectRef();
        m_spStringPalette = NiDynamicCast<NiStringPalette>(pkPalette);
        if (pkPalette != nullptr && !m_spStringPalette)
            kStream.SetCorrupt();
    }
}

void NiControllerSequence::ResolveLinks(NiObjectStream& kStream)
{
    NiObject::ResolveLinks(kStream);
    m_spTextKeys = kStream.GetLinkedObjectAs<NiTextKeyExtraData>();
    if (kStream.GetFileVersion() < INTERPOLATOR_ITEMS_FROM)
    {
        std::uint32_t uiCount = kStream.GetNextLinkCount();
        for (std::uint32_t i = 0; i < uiCount && i < m_kItems.size() && !kStream.IsCorrupt(); ++i)
            m_kItems[i].m_spInterpCtlr = kStream.GetLinkedObjectAs<NiInterpController>();
        return;
    }
    // The manager link is checked for its class; the manager itself adopts
    // the sequences it lists, so no sequence points at a manager that does
    // not hold it.
    (void)kStream.GetLinkedObjectAs<NiControllerManager>();

    // Every offset must name a whole string of its palette (all palettes
    // are read by now).
    for (const IDTag& kTag : m_kTags)
    {
        const std::uint32_t auiOffsets[] = {kTag.m_uiAVObjectNameOffset, kTag.m_uiPropertyTypeOffset,
                                            kTag.m_uiCtlrTypeOffset, kTag.m_uiCtlrIDOffset,
                                            kTag.m_uiInterpolatorIDOffset};
        for (std::uint32_t uiOffset : auiOffsets)
        {
            if (uiOffset == NO_STRING)
                continue;
            if (!kTag.m_spPalette || !kTag.m_spPalette->IsValidOffset(uiOffset))
            {
                kStream.SetCorrupt();
                return;
            }
        }
    }
}

void NiControllerSequence::PostLink(NiObjectStream& kStream)
{
    NiObject::PostLink(kStream);
    ConvertPendingLegacyItems();
}

void NiControllerSequence::DropCountedLinks()
{
    NiObject::DropCountedLinks();
    for (InterpArrayItem& kItem : m_kItems)
        kItem.ClearValues();
    for (IDTag& kTag : m_kTags)
        kTag.m_spPalette = nullptr;
    m_spTextKeys = nullptr;
    m_spStringPalette = nullptr;
    m_bLegacyPending = false;
}

bool NiControllerSequence::RegisterForSave(NiObjectStream& kStream)
{
    if (!NiObject::RegisterForSave(kStream))
        return false;
    ConvertPendingLegacyItems();
    for (std::size_t i = 0; i < m_kItems.size(); ++i)
    {
        if (m_kItems[i].m_spInterpolator)
            m_kItems[i].m_spInterpolator->RegisterForSave(kStream);
        if (m_kItems[i].m_spInterpCtlr)
            m_kItems[i].m_spInterpCtlr->RegisterForSave(kStream);
        if (m_kTags[i].m_spPalette)
            m_kTags[i].m_spPalette->RegisterForSave(kStream);
    }
    if (m_spTextKeys)
        m_spTextKeys->RegisterForSave(kStream);
    if (m_spStringPalette)
        m_spStringPalette->RegisterForSave(kStream);
    return true;
}

void NiControllerSequence::WriteToStream(NiObjectStream& kStream)
{
    NiObject::WriteToStream(kStream);
    kStream.WriteString(GetName());
    kStream.WriteLE(GetArraySize());
    kStream.WriteLE(m_uiArrayGrowBy);
    for (std::size_t i = 0; i < m_kItems.size(); ++i)
    {
        const IDTag& kTag = m_kTags[i];
        kStream.WriteLinkID(m_kItems[i].m_spInterpolator);
        kStream.WriteLinkID(m_kItems[i].m_spInterpCtlr);
        kStream.WriteLinkID(kTag.m_spPalette);
        kStream.WriteLE(kTag.m_uiAVObjectNameOffset);
        kStream.WriteLE(kTag.m_uiPropertyTypeOffset);
        kStream.WriteLE(kTag.m_uiCtlrTypeOffset);
        kStream.WriteLE(kTag.m_uiCtlrIDOffset);
        kStream.WriteLE(kTag.m_uiInterpolatorIDOffset);
    }
    kStream.WriteLE(m_fSeqWeight);
    kStream.WriteLinkID(m_spTextKeys);
    kStream.WriteLE(m_uiCycleType);
    kStream.WriteLE(m_fFrequency);
    kStream.WriteLE(m_fPhase);
    kStream.WriteLE(m_fBeginKeyTime);
    kStream.WriteLE(m_fEndKeyTime);
    kStream.WriteLinkID(m_pkOwner);
    kStream.WriteString(GetAccumRootName());
    kStream.WriteLinkID(m_spStringPalette);
}

bool NiControllerSequence::IsEqual(NiObject* pkOther)
{
    if (!NiObject::IsEqual(pkOther))
        return false;
    auto* pkSeq = static_cast<NiControllerSequence*>(pkOther);
    if (!NiTextEqual(GetName(), pkSeq->GetName()) || m_kItems.size() != pkSeq->m_kItems.size() ||
        m_uiArrayGrowBy != pkSeq->m_uiArrayGrowBy)
        return false;
    auto EqualObjects = [](NiObject* a, NiObject* b) {
        if (a == nullptr || b == nullptr)
            return a == b;
        return a->IsEqual(b);
    };
    for (std::size_t i = 0; i < m_kItems.size(); ++i)
    {
        const InterpArrayItem& a = m_kItems[i];
        const InterpArrayItem& b = pkSeq->m_kItems[i];
        if (!EqualObjects(a.m_spInterpolator, b.m_spInterpolator) || !EqualObjects(a.m_spInterpCtlr, b.m_spInterpCtlr))
            return false;
        const IDTag& s = m_kTags[i];
        const IDTag& t = pkSeq->m_kTags[i];
        if (!EqualObjects(s.m_spPalette, t.m_spPalette) || s.m_uiAVObjectNameOffset != t.m_uiAVObjectNameOffset ||
            s.m_uiPropertyTypeOffset != t.m_uiPropertyTypeOffset || s.m_uiCtlrTypeOffset != t.m_uiCtlrTypeOffset ||
            s.m_uiCtlrIDOffset != t.m_uiCtlrIDOffset || s.m_uiInterpolatorIDOffset != t.m_uiInterpolatorIDOffset)
            return false;
    }
    // Managers by presence only: the manager's equality compares its
    // sequences, which would come back here.
    return m_fSeqWeight == pkSeq->m_fSeqWeight && EqualObjects(m_spTextKeys, pkSeq->m_spTextKeys) &&
           m_uiCycleType == pkSeq->m_uiCycleType && m_fFrequency == pkSeq->m_fFrequency &&
           m_fPhase == pkSeq->m_fPhase && m_fBeginKeyTime == pkSeq->m_fBeginKeyTime &&
           m_fEndKeyTime == pkSeq->m_fEndKeyTime && (m_pkOwner == nullptr) == (pkSeq->m_pkOwner == nullptr) &&
           NiTextEqual(GetAccumRootName(), pkSeq->GetAccumRootName()) &&
           EqualObjects(m_spStringPalette, pkSeq->m_spStringPalette);
}
