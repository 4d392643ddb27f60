#include "engine/animation/NiFloatsExtraDataController.h"

#include "engine/animation/NiBlendFloatInterpolator.h"
#include "engine/animation/NiFloatData.h"
#include "engine/animation/NiFloatInterpolator.h"
#include "engine/core/NiObjectStream.h"
#include "engine/core/NiViewerStrings.h"
#include "engine/scene/NiFloatsExtraData.h"

NiImplementTypeInfo(NiFloatsExtraDataController, NiExtraDataController)
NiImplementCreateClone(NiFloatsExtraDataController)

NiFloatsExtraDataController::~NiFloatsExtraDataController()
{
    delete[] m_pcCtlrID;
}

NiObject* NiFloatsExtraDataController::CreateObject()
{
    return new NiFloatsExtraDataController;
}

void NiFloatsExtraDataController::CopyMembers(NiFloatsExtraDataController* pkDest, NiCloneContext& kCloning)
{
    NiExtraDataController::CopyMembers(pkDest, kCloning);
    pkDest->m_iFloatsExtraDataIndex = m_iFloatsExtraDataIndex;
}

void NiFloatsExtraDataController::SetFloatsExtraDataIndex(std::int32_t i)
{
    m_iFloatsExtraDataIndex = i;
    delete[] m_pcCtlrID;
    m_pcCtlrID = nullptr;
}

const char* NiFloatsExtraDataController::GetCtlrID()
{
    if (m_pcCtlrID == nullptr && m_pcExtraDataName != nullptr)
        m_pcCtlrID = NiViewerFormat("%s[%d]", m_pcExtraDataName, static_cast<int>(m_iFloatsExtraDataIndex));
    return m_pcCtlrID;
}

void NiFloatsExtraDataController::GetTargetValue(float& fValue) const
{
    if (auto* pkData = NiDynamicCast<NiFloatsExtraData>(m_spExtraData.Get()))
        fValue = pkData->GetValue(static_cast<std::uint32_t>(m_iFloatsExtraDataIndex));
}

void NiFloatsExtraDataController::Update(float fTime)
{
    const auto uiIndex = static_cast<std::uint32_t>(m_iFloatsExtraDataIndex);
    UpdateOwner(fTime, NiDynamicCast<NiFloatsExtraData>(m_spExtraData.Get()), 0.0f,
                [uiIndex](NiFloatsExtraData& kData, float fValue) { (void)kData.SetValue(uiIndex, fValue); });
}

void NiFloatsExtraDataController::ReadFromStream(NiObjectStream& kStream)
{
    NiExtraDataController::ReadFromStream(kStream);
    kStream.ReadLE(m_iFloatsExtraDataIndex);
    ReadOldKeyDataLink(kStream);
}

void NiFloatsExtraDataController::ResolveLinks(NiObjectStream& kStream)
{
    NiExtraDataController::ResolveLinks(kStream);
    ResolveOldKeyDataLink<NiFloatInterpolator, NiFloatData>(kStream);
}

void NiFloatsExtraDataController::WriteToStream(NiObjectStream& kStream)
{
    NiExtraDataController::WriteToStream(kStream);
    kStream.WriteLE(m_iFloatsExtraDataIndex);
}

bool NiFloatsExtraDataController::IsEqual(NiObject* pkOther)
{
    if (!NiExtraDataController::IsEqual(pkOther))
        return false;
    return m_iFloatsExtraDataIndex == static_cast<NiFloatsExtraDataController*>(pkOther)->m_iFloatsExtraDataIndex;
}

void NiFloatsExtraDataController::AppendViewerStrings(NiViewerStringArray& kStrings)
{
    NiExtraDataController::AppendViewerStrings(kStrings);
    kStrings.AddTail(NiViewerHeader(NiFloatsExtraDataController::TypeInfo()->GetName()));
    kStrings.AddTail(NiViewerInt("m_iFloatsExtraDataIndex", m_iFloatsExtraDataIndex));
}
