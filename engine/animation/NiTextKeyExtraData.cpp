#include "engine/animation/NiTextKeyExtraData.h"

#include "engine/animation/NiAnimText.h"
#include "engine/core/NiCloneContext.h"
#include "engine/core/NiObjectStream.h"
#include "engine/core/NiViewerStrings.h"


NiImplementLinkFreeTypeInfo(NiTextKeyExtraData, NiExtraData, NiExtraData::LINK_FREE_VERSION)
NiImplementCreateClone(NiTextKeyExtraData)

NiTextKey::NiTextKey(float fTime, const char* pcText) : m_fTime(fTime), m_spText(NiCopyText(pcText)) {}

NiTextKey::NiTextKey(const NiTextKey& kOther) : m_fTime(kOther.m_fTime), m_spText(NiCopyText(kOther.GetText())) {}

NiTextKey& NiTextKey::operator=(const NiTextKey& kOther)
{
    if (this != &kOther)
    {
        m_fTime = kOther.m_fTime;
        m_spText = NiCopyText(kOther.GetText());
    }
    return *this;
}

void NiTextKey::SetText(const char* pcText)
{
    m_spText = NiCopyText(pcText);
}

bool NiTextKey::operator!=(const NiTextKey& kOther) const
{
    if (m_fTime != kOther.m_fTime)
        return true;
    return !NiTextEqual(GetText(), kOther.GetText());
}

NiObject* NiTextKeyExtraData::CreateObject()
{
    return new NiTextKeyExtraData;
}

void NiTextKeyExtraData::SetKeys(std::unique_ptr<NiTextKey[]> spKeys, std::uint32_t uiNumKeys)
{
    m_pkKeys = std::move(spKeys);
    m_uiNumKeys = m_pkKeys ? uiNumKeys : 0;
}

void NiTextKeyExtraData::CopyMembers(NiTextKeyExtraData* pkDest, NiCloneContext& kCloning)
{
    NiExtraData::CopyMembers(pkDest, kCloning);
    // A subclass copies its own keys; a count without an array behind it
    // would be read past its end.
    if (GetTypeInfo() != NiTextKeyExtraData::TypeInfo() || !m_pkKeys)
    {
        pkDest->SetKeys(nullptr, 0);
        return;
    }
    auto spKeys = std::make_unique<NiTextKey[]>(m_uiNumKeys);
    for (std::uint32_t i = 0; i < m_uiNumKeys; ++i)
        spKeys[i] = m_pkKeys[i];
    pkDest->SetKeys(std::move(spKeys), m_uiNumKeys);
}

void NiTextKeyExtraData::ReadFromStream(NiObjectStream& kStream)
{
    NiExtraData::ReadFromStream(kStream);
    SetKeys(nullptr, 0);
    // Each key takes at least its time and a text length.
    std::uint32_t uiCount = 0;
    if (!kStream.ReadCount(uiCount, 8) || uiCount == 0)
        return;
    auto spKeys = std::make_unique<NiTextKey[]>(uiCount);
    for (std::uint32_t i = 0; i < uiCount; ++i)
    {
        float fTime = 0.0f;
        if (!kStream.ReadLE(fTime))
            return;
        std::unique_ptr<char[]> spText(kStream.ReadString());
        spKeys[i].SetTime(fTime);
        spKeys[i].SetText(spText.get());
    }
    SetKeys(std::move(spKeys), uiCount);
}

void NiTextKeyExtraData::WriteToStream(NiObjectStream& kStream)
{
    NiExtraData::WriteToStream(kStream);
    kStream.WriteLE(m_uiNumKeys);
    for (std::uint32_t i = 0; i < m_uiNumKeys; ++i)
    {
        kStream.WriteLE(m_pkKeys[i].GetTime());
        kStream.WriteString(m_pkKeys[i].GetText());
    }
}

bool NiTextKeyExtraData::IsEqual(NiObject* pkOther)
{
    if (!NiExtraData::IsEqual(pkOther))
        return false;
    auto* pkData = static_cast<NiTextKeyExtraData*>(pkOther);
    if (pkData->m_uiNumKeys != m_uiNumKeys)
        return false;
    for (std::uint32_t i = 0; i < m_uiNumKeys; ++i)
    {
        if (m_pkKeys[i] != pkData->m_pkKeys[i])
            return false;
    }
    return true;
}

void NiTextKeyExtraData::AppendViewerStrings(NiViewerStringArray& kStrings)
{
    NiExtraData::AppendViewerStrings(kStrings);
    kStrings.AddTail(NiViewerHeader(NiTextKeyExtraData::TypeInfo()->GetName()));
    kStrings.AddTail(NiViewerUInt("m_uiNumKeys", m_uiNumKeys));
    for (std::uint32_t i = 0; i < m_uiNumKeys; ++i)
    {
        const char* pcText = m_pkKeys[i].GetText();
        kStrings.AddTail(
            NiViewerFormat("TextKey = %g : %s", double(m_pkKeys[i].GetTime()), pcText != nullptr ? pcText : "(null)"));
    }
}
