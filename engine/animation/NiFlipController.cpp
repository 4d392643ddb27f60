#include "engine/animation/NiFlipController.h"

#include "engine/animation/NiAnimKeyTables.h"
#include "engine/animation/NiBlendFloatInterpolator.h"
#include "engine/animation/NiFloatData.h"
#include "engine/animation/NiFloatInterpolator.h"
#include "engine/core/NiObjectStream.h"
#include "engine/core/NiViewerStrings.h"
#include "engine/scene/NiTexturingProperty.h"

#include <cmath>
#include <cstdio>

NiImplementTypeInfo(NiFlipController, NiFloatInterpController)
NiImplementCreateClone(NiFlipController)

namespace
{
constexpr std::uint32_t INTERPOLATOR_LINK_FROM = NiStreamVersion(10, 1, 0, 104);

NiTextureMap* FindMap(NiTexturingProperty* pkProperty, std::uint32_t uiMap)
{
    if (uiMap < pkProperty->GetMapArrayCount())
    {
        if (NiTextureMap* pkMap = pkProperty->GetMap(uiMap))
            return pkMap;
    }
    if (uiMap < NiFlipController::SHADER_MAP_BASE)
        return nullptr;
    const std::uint32_t uiShader = uiMap - NiFlipController::SHADER_MAP_BASE;
    if (uiShader >= pkProperty->GetShaderMapCount())
        return nullptr;
    return pkProperty->GetArrayMapAt(uiShader);
}
} // namespace

NiFlipController::~NiFlipController()
{
    delete[] m_pcCtlrID;
}

NiObject* NiFlipController::CreateObject()
{
    return new NiFlipController;
}

void NiFlipController::CopyMembers(NiFlipController* pkDest, NiCloneContext& kCloning)
{
    NiFloatInterpController::CopyMembers(pkDest, kCloning);
    pkDest->m_kTextures = m_kTextures;
    pkDest->m_uiIndex = m_uiIndex;
    pkDest->m_uiAffectedMap = m_uiAffectedMap;
}

void NiFlipController::SetAffectedMap(std::uint32_t ui)
{
    m_uiAffectedMap = ui;
    delete[] m_pcCtlrID;
    m_pcCtlrID = nullptr;
}

const char* NiFlipController::GetCtlrID()
{
    if (m_pcCtlrID == nullptr)
        m_pcCtlrID = NiViewerFormat("%d", static_cast<int>(m_uiAffectedMap));
    return m_pcCtlrID;
}

bool NiFlipController::InterpTargetIsCorrectType(NiObjectNET* pkTarget) const
{
    return NiIsKindOf<NiTexturingProperty>(pkTarget);
}

void NiFlipController::GetTargetFloatValue(float& fValue)
{
    fValue = static_cast<float>(m_uiIndex);
}

NiBlendInterpolator* NiFlipController::CreateBlendInterpolator(std::uint16_t, bool bManagerControlled, bool,
                                                               float fWeightThreshold,
                                                               std::uint8_t ucArraySize) const
{
    auto* pkBlend = new NiBlendFloatInterpolator(bManagerControlled, fWeightThreshold, ucArraySize);
    pkBlend->SetOnlyUseHighestWeight(true);
    return pkBlend;
}

std::uint32_t NiFlipController::TextureIndexFor(float fValue, std::uint32_t uiCount)
{
    if (uiCount == 0 || std::isnan(fValue))
        return 0;
    // The small bias lets a value a hair below a whole number reach it.
    const float fBiased = fValue + 0.01f;
    if (fBiased <= -1.0f || fBiased >= static_cast<float>(uiCount))
        return uiCount - 1;
    if (fBiased < 0.0f)
        return 0;
    return static_cast<std::uint32_t>(fBiased);
}

void NiFlipController::Update(float fTime)
{
    if (!BeginUpdate(fTime) || m_kTextures.empty())
        return;
    float fValue = 0.0f;
    if (!m_spInterpolator->UpdateFloat(m_fScaledTime, m_pkTarget, fValue))
        return;
    m_uiIndex = TextureIndexFor(fValue, GetTextureCount());
    auto* pkProperty = NiDynamicCast<NiTexturingProperty>(m_pkTarget);
    NiTexture* pkTexture = m_kTextures[m_uiIndex];
    if (pkProperty == nullptr || pkTexture == nullptr)
        return;
    if (NiTextureMap* pkMap = FindMap(pkProperty, m_uiAffectedMap))
        pkMap->SetTexture(pkTexture);
}

// ---- Records ----

void NiFlipController::ReadFromStream(NiObjectStream& kStream)
{
    NiFloatInterpController::ReadFromStream(kStream);
    kStream.ReadLE(m_uiAffectedMap);
    if (kStream.GetFileVersion() >= INTERPOLATOR_LINK_FROM)
    {
        kStream.ReadLinkIDList();
        return;
    }

    float fStart = 0.0f;
    float fStep = 0.0f;
    std::uint32_t uiCount = 0;
    kStream.ReadLE(fStart);
    kStream.ReadLE(fStep);
    kStream.ReadCount(uiCount, 4);
    kStream.QueueLinkCount(uiCount);
    for (std::uint32_t i = 0; i < uiCount; ++i)
        kStream.ReadLinkID();
    if (uiCount == 0 || kStream.IsCorrupt())
        return;

    // One step key per texture and a closing key holding the last, so the
    // last texture shows for a full step.
    const std::uint8_t ucStride = NiAnimKeyTables::GetKeySize(NI_FLOATKEY, NI_STEPKEY);
    NiAnimKey* pkKeys = NiAnimKey::AllocateArray(uiCount + 1, ucStride);
    if (pkKeys == nullptr)
        return;
    for (std::uint32_t k = 0; k <= uiCount; ++k)
    {
        auto* pkKey = static_cast<NiFloatKey*>(NiAnimKey::At(pkKeys, k, ucStride));
        pkKey->m_fTime = fStart + static_cast<float>(k) * fStep;
        pkKey->m_fValue = static_cast<float>(k < uiCount ? k : uiCount - 1);
    }
    NiFloatDataPtr spData = new NiFloatData;
    spData->ReplaceKeys(pkKeys, uiCount + 1, NI_STEPKEY);
    m_fLoKeyTime = fStart;
    m_fHiKeyTime = fStart + static_cast<float>(uiCount) * fStep;
    m_spInterpolator = new NiFloatInterpolator(spData);
    m_spInterpolator->Collapse();
}

void NiFlipController::ResolveLinks(NiObjectStream& kStream)
{
    NiFloatInterpController::ResolveLinks(kStream);
    // Taken off the queue whether or not there is a target: leaving them
    // would hand every later object the wrong links.
    const std::uint32_t uiCount = kStream.GetNextLinkCount();
    m_kTextures.clear();
    m_kTextures.reserve(uiCount);
    for (std::uint32_t i = 0; i < uiCount; ++i)
        m_kTextures.emplace_back(kStream.GetLinkedObjectAs<NiTexture>());
}

void NiFlipController::PostLink(NiObjectStream& kStream)
{
    NiFloatInterpController::PostLink(kStream);
    for (const NiTexturePtr& spTexture : m_kTextures)
    {
        if (!spTexture)
            continue;
        std::uint32_t uiSteps = 0;
        for (NiTimeController* pk = spTexture->GetControllers(); pk != nullptr; pk = pk->GetNext())
        {
            if (pk == this || ++uiSteps > kStream.GetFileObjectCount())
            {
                kStream.SetCorrupt();
                return;
            }
        }
    }
}

void NiFlipController::DropCountedLinks()
{
    NiFloatInterpController::DropCountedLinks();
    m_kTextures.clear();
}

bool NiFlipController::RegisterForSave(NiObjectStream& kStream)
{
    if (!NiFloatInterpController::RegisterForSave(kStream))
        return false;
    for (const NiTexturePtr& spTexture : m_kTextures)
    {
        if (spTexture)
            spTexture->RegisterForSave(kStream);
    }
    return true;
}

void NiFlipController::WriteToStream(NiObjectStream& kStream)
{
    NiFloatInterpController::WriteToStream(kStream);
    kStream.WriteLE(m_uiAffectedMap);
    kStream.WriteLE(static_cast<std::uint32_t>(m_kTextures.size()));
    for (const NiTexturePtr& spTexture : m_kTextures)
        kStream.WriteLinkID(spTexture);
}

bool NiFlipController::IsEqual(NiObject* pkOther)
{
    if (!NiFloatInterpController::IsEqual(pkOther))
        return false;
    return m_uiAffectedMap == static_cast<NiFlipController*>(pkOther)->m_uiAffectedMap;
}

void NiFlipController::AppendViewerStrings(NiViewerStringArray& kStrings)
{
    NiFloatInterpController::AppendViewerStrings(kStrings);
    kStrings.AddTail(NiViewerHeader(NiFlipController::TypeInfo()->GetName()));
}
