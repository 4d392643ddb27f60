#include "engine/scene/NiTexturingProperty.h"

#include "engine/core/NiObjectStream.h"
#include "engine/core/NiViewerStrings.h"
#include "engine/render/NiSourceTexture.h"

NiImplementTypeInfo(NiTexturingProperty, NiProperty)

namespace
{
const char* const CLAMP_NAMES[] = {"CLAMP_S_CLAMP_T", "CLAMP_S_WRAP_T", "WRAP_S_CLAMP_T", "WRAP_S_WRAP_T"};
const char* const FILTER_NAMES[] = {"FILTER_NEAREST",           "FILTER_BILERP",          "FILTER_TRILERP",
                                    "FILTER_NEAREST_MIPNEAREST", "FILTER_NEAREST_MIPLERP", "FILTER_BILERP_MIPNEAREST"};
const char* const SLOT_HEADERS[] = {nullptr,
                                    "MultiTexture Dark Map",
                                    "MultiTexture Detail Map",
                                    "MultiTexture Gloss Map",
                                    "MultiTexture Glow Map",
                                    "MultiTexture Bump Map"};

bool ReadHasMap(NiObjectStream& kStream)
{
    if (kStream.GetFileVersion() >= NiStreamVersion(4, 1, 0, 0))
    {
        std::uint8_t uc = 0;
        kStream.ReadLE(uc);
        return uc != 0;
    }
    std::uint32_t ui = 0;
    kStream.ReadLE(ui);
    return ui != 0;
}
} // namespace

// ---- NiTextureMap ----

const char* NiTextureMap::GetClampModeName(std::uint32_t e)
{
    return e < 4 ? CLAMP_NAMES[e] : "UNKNOWN";
}

const char* NiTextureMap::GetFilterModeName(std::uint32_t e)
{
    return e < 6 ? FILTER_NAMES[e] : "UNKNOWN";
}

void NiTextureMap::LoadBinary(NiObjectStream& kStream)
{
    kStream.ReadLinkID();
    kStream.ReadLE(m_eClamp);
    kStream.ReadLE(m_eFilter);
    kStream.ReadLE(m_uiTexCoord);
    kStream.ReadLE(m_sL);
    kStream.ReadLE(m_sK);
    std::uint32_t uiVersion = kStream.GetFileVersion();
    if (uiVersion < NiStreamVersion(4, 1, 0, 16))
    {
        std::uint16_t usDropped = 0;
        kStream.ReadLE(usDropped);
    }
    if (uiVersion >= NiStreamVersion(10, 1, 0, 10))
    {
        std::uint8_t ucHasTransform = 0;
        kStream.ReadLE(ucHasTransform);
        if (ucHasTransform == 1)
        {
            m_spTransform = std::make_unique<NiTextureTransform>();
            m_spTransform->LoadBinary(kStream);
        }
    }
}

void NiTextureMap::SaveBinary(NiObjectStream& kStream) const
{
    kStream.WriteLinkID(m_spTexture);
    kStream.WriteLE(m_eClamp);
    kStream.WriteLE(m_eFilter);
    kStream.WriteLE(m_uiTexCoord);
    kStream.WriteLE(m_sL);
    kStream.WriteLE(m_sK);
    kStream.WriteLE(static_cast<std::uint8_t>(m_spTransform ? 1 : 0));
    if (m_spTransform)
        m_spTransform->SaveBinary(kStream);
}

void NiTextureMap::CopyInto(NiTextureMap& kDest) const
{
    kDest.m_spTexture = m_spTexture;
    kDest.m_eClamp = m_eClamp;
    kDest.m_eFilter = m_eFilter;
    kDest.m_uiTexCoord = m_uiTexCoord;
    kDest.m_sL = m_sL;
    kDest.m_sK = m_sK;
    kDest.m_spTransform = m_spTransform ? std::make_unique<NiTextureTransform>(*m_spTransform) : nullptr;
}

NiTextureMap* NiTextureMap::Copy() const
{
    auto* pkCopy = new NiTextureMap;
    CopyInto(*pkCopy);
    return pkCopy;
}

bool NiTextureMap::IsEqual(const NiTextureMap& kOther) const
{
    if (m_spTexture == nullptr || kOther.m_spTexture == nullptr)
    {
        if (m_spTexture != kOther.m_spTexture)
            return false;
    }
    else if (!m_spTexture->IsEqual(kOther.m_spTexture))
    {
        return false;
    }
    if (m_eClamp != kOther.m_eClamp || m_eFilter != kOther.m_eFilter || m_uiTexCoord != kOther.m_uiTexCoord ||
        m_sL != kOther.m_sL || m_sK != kOther.m_sK)
        return false;
    if ((m_spTransform == nullptr) != (kOther.m_spTransform == nullptr))
        return false;
    return m_spTransform == nullptr || *m_spTransform == *kOther.m_spTransform;
}

void NiTextureMap::AppendViewerStrings(NiViewerStringArray& kStrings) const
{
    kStrings.AddTail(NiViewerPointer("m_spTexture ", m_spTexture.Get()));
    kStrings.AddTail(NiViewerString("m_eClamp ", GetClampModeName(m_eClamp)));
    kStrings.AddTail(NiViewerString("m_eFilter ", GetFilterModeName(m_eFilter)));
    kStrings.AddTail(NiViewerUInt("m_uiTexCoord ", m_uiTexCoord));
    kStrings.AddTail(NiViewerShort("m_sL", m_sL));
    kStrings.AddTail(NiViewerShort("m_sK", m_sK));
}

// ---- NiBumpMap ----

void NiBumpMap::LoadBinary(NiObjectStream& kStream)
{
    NiTextureMap::LoadBinary(kStream);
    kStream.ReadLE(m_fLumaScale);
    kStream.ReadLE(m_fLumaOffset);
    kStream.ReadLE(m_fBumpMat00);
    kStream.ReadLE(m_fBumpMat01);
    kStream.ReadLE(m_fBumpMat10);
    kStream.ReadLE(m_fBumpMat11);
}

void NiBumpMap::SaveBumpValues(NiObjectStream& kStream, const NiTextureMap& kMap)
{
    static const NiBumpMap s_kDefaults;
    const auto* pkBump = dynamic_cast<const NiBumpMap*>(&kMap);
    const NiBumpMap& kValues = pkBump ? *pkBump : s_kDefaults;
    kStream.WriteLE(kValues.m_fLumaScale);
    kStream.WriteLE(kValues.m_fLumaOffset);
    kStream.WriteLE(kValues.m_fBumpMat00);
    kStream.WriteLE(kValues.m_fBumpMat01);
    kStream.WriteLE(kValues.m_fBumpMat10);
    kStream.WriteLE(kValues.m_fBumpMat11);
}

void NiBumpMap::SaveBinary(NiObjectStream& kStream) const
{
    NiTextureMap::SaveBinary(kStream);
    SaveBumpValues(kStream, *this);
}

NiTextureMap* NiBumpMap::Copy() const
{
    auto* pkCopy = new NiBumpMap;
    CopyInto(*pkCopy);
    pkCopy->m_fLumaScale = m_fLumaScale;
    pkCopy->m_fLumaOffset = m_fLumaOffset;
    pkCopy->m_fBumpMat00 = m_fBumpMat00;
    pkCopy->m_fBumpMat01 = m_fBumpMat01;
    pkCopy->m_fBumpMat10 = m_fBumpMat10;
    pkCopy->m_fBumpMat11 = m_fBumpMat11;
    return pkCopy;
}

bool NiBumpMap::IsEqual(const NiTextureMap& kOther) const
{
    const auto* pk = dynamic_cast<const NiBumpMap*>(&kOther);
    return pk != nullptr && NiTextureMap::IsEqual(kOther) && m_fLumaScale == pk->m_fLumaScale &&
           m_fLumaOffset == pk->m_fLumaOffset && m_fBumpMat00 == pk->m_fBumpMat00 &&
           m_fBumpMat01 == pk->m_fBumpMat01 && m_fBumpMat10 == pk->m_fBumpMat10 && m_fBumpMat11 == pk->m_fBumpMat11;
}

void NiBumpMap::AppendViewerStrings(NiViewerStringArray& kStrings) const
{
    kStrings.AddTail(NiViewerFloat("m_fLumaScale", m_fLumaScale));
    kStrings.AddTail(NiViewerFloat("m_fLumaOffset", m_fLumaOffset));
    kStrings.AddTail(NiViewerFloat("m_fBumpMat00", m_fBumpMat00));
    kStrings.AddTail(NiViewerFloat("m_fBumpMat01", m_fBumpMat01));
    kStrings.AddTail(NiViewerFloat("m_fBumpMat10", m_fBumpMat10));
    kStrings.AddTail(NiViewerFloat("m_fBumpMat11", m_fBumpMat11));
    NiTextureMap::AppendViewerStrings(kStrings);
}

// ---- NiShaderMap ----

void NiShaderMap::LoadBinary(NiObjectStream& kStream)
{
    NiTextureMap::LoadBinary(kStream);
    kStream.ReadLE(m_uiID);
}

void NiShaderMap::SaveBinary(NiObjectStream& kStream) const
{
    NiTextureMap::SaveBinary(kStream);
    kStream.WriteLE(m_uiID);
}

NiTextureMap* NiShaderMap::Copy() const
{
    auto* pkCopy = new NiShaderMap(m_uiID);
    CopyInto(*pkCopy);
    return pkCopy;
}

bool NiShaderMap::IsEqual(const NiTextureMap& kOther) const
{
    const auto* pk = dynamic_cast<const NiShaderMap*>(&kOther);
    return pk != nullptr && NiTextureMap::IsEqual(kOther) && m_uiID == pk->m_uiID;
}

void NiShaderMap::AppendViewerStrings(NiViewerStringArray& kStrings) const
{
    kStrings.AddTail(NiViewerUInt("m_uiID", m_uiID));
    NiTextureMap::AppendViewerStrings(kStrings);
}

// ---- NiTexturingProperty ----

NiTexturingProperty::NiTexturingProperty() = default;

NiTexturingProperty::NiTexturingProperty(const char* pcImageFile)
{
    NiTexturePtr spTexture = NiSourceTexture::CreateFromFile(pcImageFile, NiTexture::GetDefaultFormatPrefs());
    SetMap(BASE_INDEX, new NiTextureMap(spTexture));
}

NiTexturingProperty::NiTexturingProperty(NiPixelData* pkPixelData)
{
    NiTexturePtr spTexture = NiSourceTexture::CreateFromPixelData(pkPixelData, NiTexture::GetDefaultFormatPrefs());
    SetMap(BASE_INDEX, new NiTextureMap(spTexture));
}

NiTexturingProperty::~NiTexturingProperty()
{
    DeleteMaps();
}

void NiTexturingProperty::DeleteMaps()
{
    for (std::uint32_t i = 0; i < m_kMaps.GetSize(); ++i)
        delete m_kMaps.GetAt(i);
    m_kMaps.RemoveAll();
    if (m_spShaderMaps)
    {
        for (std::uint32_t i = 0; i < m_spShaderMaps->GetSize(); ++i)
            delete m_spShaderMaps->GetAt(i);
        m_spShaderMaps.reset();
    }
}

void NiTexturingProperty::SetMap(std::uint32_t uiSlot, NiTextureMap* pkMap)
{
    if (uiSlot >= m_kMaps.GetCapacity())
        m_kMaps.SetCapacity(uiSlot + 1);
    NiTextureMap* pkOld = m_kMaps.GetAt(uiSlot);
    if (pkOld != pkMap)
        delete pkOld;
    m_kMaps.SetAt(uiSlot, pkMap);
    UpdateMultiTexture();
}

NiShaderMap* NiTexturingProperty::GetArrayMapAt(std::uint32_t uiIndex) const
{
    if (!m_spShaderMaps || uiIndex >= m_spShaderMaps->GetSize())
        return nullptr;
    return m_spShaderMaps->GetAt(uiIndex);
}

std::uint32_t NiTexturingProperty::GetShaderMapCount() const
{
    return m_spShaderMaps ? m_spShaderMaps->GetSize() : 0;
}

void NiTexturingProperty::SetShaderMap(std::uint32_t uiIndex, NiShaderMap* pkMap)
{
    if (!m_spShaderMaps)
        m_spShaderMaps = std::make_unique<NiSparsePtrArray<NiShaderMap*>>(0, 1);
    if (uiIndex >= m_spShaderMaps->GetCapacity())
        m_spShaderMaps->SetCapacity(uiIndex + 1);
    NiShaderMap* pkOld = m_spShaderMaps->GetAt(uiIndex);
    if (pkOld != pkMap)
        delete pkOld;
    m_spShaderMaps->SetAt(uiIndex, pkMap);
}

void NiTexturingProperty::UpdateMultiTexture()
{
    m_bMultiTexture = 0;
    for (std::uint32_t i = 1; i < m_kMaps.GetSize(); ++i)
    {
        if (m_kMaps.GetAt(i) != nullptr)
            m_bMultiTexture = 1;
    }
}

// ---- Scene-file record ----

void NiTexturingProperty::ReadFromStream(NiObjectStream& kStream)
{
    NiProperty::ReadFromStream(kStream);
    DeleteMaps();
    std::uint32_t uiVersion = kStream.GetFileVersion();
    kStream.ReadLE(m_eApplyMode);

    // Every entry takes at least its has-map field.
    std::uint32_t uiEntryBytes = uiVersion >= NiStreamVersion(4, 1, 0, 0) ? 1 : 4;
    std::uint32_t uiCount = 0;
    if (!kStream.ReadCount(uiCount, uiEntryBytes))
        return;
    bool bNoBumpSlot = uiVersion < NiStreamVersion(3, 3, 0, 13);
    m_kMaps.SetCapacity(uiCount);
    for (std::uint32_t i = 0; i < uiCount; ++i)
    {
        // Old files have no bump slot: their entries from 5 on are decals.
        std::uint32_t uiSlot = (bNoBumpSlot && i >= BUMP_INDEX) ? i + 1 : i;
        NiTextureMap* pkMap = nullptr;
        if (ReadHasMap(kStream))
        {
            pkMap = (!bNoBumpSlot && i == BUMP_INDEX) ? new NiBumpMap : new NiTextureMap;
            pkMap->LoadBinary(kStream);
        }
        if (uiSlot >= m_kMaps.GetCapacity())
            m_kMaps.SetCapacity(uiSlot + 1);
        m_kMaps.SetAt(uiSlot, pkMap);
        if (kStream.IsCorrupt())
            return;
    }

    if (uiVersion >= NiStreamVersion(5, 0, 0, 17))
    {
        std::uint32_t uiShaderCount = 0;
        if (!kStream.ReadCount(uiShaderCount, 1))
            return;
        if (uiShaderCount != 0)
        {
            m_spShaderMaps = std::make_unique<NiSparsePtrArray<NiShaderMap*>>(uiShaderCount, 1);
            for (std::uint32_t i = 0; i < uiShaderCount; ++i)
            {
                NiShaderMap* pkMap = nullptr;
                std::uint8_t ucHas = 0;
                kStream.ReadLE(ucHas);
                if (ucHas != 0)
                {
                    pkMap = new NiShaderMap;
                    pkMap->LoadBinary(kStream);
                }
                m_spShaderMaps->SetAt(i, pkMap);
                if (kStream.IsCorrupt())
                    return;
            }
        }
    }
    m_bMultiTexture = 0;
    if (m_kMaps.GetSize() >= 2)
        UpdateMultiTexture();
}

void NiTexturingProperty::ResolveLinks(NiObjectStream& kStream)
{
    NiProperty::ResolveLinks(kStream);
    // Maps queued their texture links in slot order as they were read.
    m_uiDecalCount = 0;
    for (std::uint32_t i = 0; i < m_kMaps.GetSize(); ++i)
    {
        NiTextureMap* pkMap = m_kMaps.GetAt(i);
        if (pkMap == nullptr)
            continue;
        pkMap->SetTexture(kStream.GetLinkedObjectAs<NiTexture>());
        if (i >= DECAL_BASE)
            ++m_uiDecalCount;
    }
    if (kStream.GetFileVersion() >= NiStreamVersion(5, 0, 0, 17) && m_spShaderMaps)
    {
        for (std::uint32_t i = 0; i < m_spShaderMaps->GetSize(); ++i)
        {
            if (NiShaderMap* pkMap = m_spShaderMaps->GetAt(i))
                pkMap->SetTexture(kStream.GetLinkedObjectAs<NiTexture>());
        }
    }
}

bool NiTexturingProperty::RegisterForSave(NiObjectStream& kStream)
{
    if (!NiProperty::RegisterForSave(kStream))
        return false;
    for (std::uint32_t i = 0; i < m_kMaps.GetSize(); ++i)
    {
        NiTextureMap* pkMap = m_kMaps.GetAt(i);
        if (pkMap != nullptr && pkMap->GetTexture() != nullptr)
            pkMap->GetTexture()->RegisterForSave(kStream);
    }
    for (std::uint32_t i = 0; i < GetShaderMapCount(); ++i)
    {
        NiShaderMap* pkMap = m_spShaderMaps->GetAt(i);
        if (pkMap != nullptr && pkMap->GetTexture() != nullptr)
            pkMap->GetTexture()->RegisterForSave(kStream);
    }
    return true;
}

void NiTexturingProperty::WriteToStream(NiObjectStream& kStream)
{
    NiProperty::WriteToStream(kStream);
    kStream.WriteLE(m_eApplyMode);
    kStream.WriteLE(m_kMaps.GetSize());
    for (std::uint32_t i = 0; i < m_kMaps.GetSize(); ++i)
    {
        NiTextureMap* pkMap = m_kMaps.GetAt(i);
        kStream.WriteLE(static_cast<std::uint8_t>(pkMap ? 1 : 0));
        if (pkMap == nullptr)
            continue;
        if (i == BUMP_INDEX && dynamic_cast<NiBumpMap*>(pkMap) == nullptr)
        {
            // Readers take the bump slot as a bump map whatever it holds.
            pkMap->NiTextureMap::SaveBinary(kStream);
            NiBumpMap::SaveBumpValues(kStream, *pkMap);
        }
        else
        {
            pkMap->SaveBinary(kStream);
        }
    }
    std::uint32_t uiShaderCount = GetShaderMapCount();
    kStream.WriteLE(uiShaderCount);
    for (std::uint32_t i = 0; i < uiShaderCount; ++i)
    {
        NiShaderMap* pkMap = m_spShaderMaps->GetAt(i);
        kStream.WriteLE(static_cast<std::uint8_t>(pkMap ? 1 : 0));
        if (pkMap != nullptr)
            pkMap->SaveBinary(kStream);
    }
}

bool NiTexturingProperty::IsEqual(NiObject* pkOther)
{
    if (!NiProperty::IsEqual(pkOther))
        return false;
    auto* pk = static_cast<NiTexturingProperty*>(pkOther);
    if (m_eApplyMode != pk->m_eApplyMode || m_kMaps.GetSize() != pk->m_kMaps.GetSize())
        return false;
    for (std::uint32_t i = 0; i < m_kMaps.GetSize(); ++i)
    {
        NiTextureMap* pkMine = m_kMaps.GetAt(i);
        NiTextureMap* pkTheirs = pk->m_kMaps.GetAt(i);
        if ((pkMine == nullptr) != (pkTheirs == nullptr))
            return false;
        if (pkMine != nullptr && !pkMine->IsEqual(*pkTheirs))
            return false;
    }
    if ((m_spShaderMaps == nullptr) != (pk->m_spShaderMaps == nullptr))
        return false;
    if (!m_spShaderMaps)
        return true;
    if (m_spShaderMaps->GetSize() != pk->m_spShaderMaps->GetSize())
        return false;
    for (std::uint32_t i = 0; i < m_spShaderMaps->GetSize(); ++i)
    {
        NiShaderMap* pkMine = m_spShaderMaps->GetAt(i);
        NiShaderMap* pkTheirs = pk->m_spShaderMaps->GetAt(i);
        if ((pkMine == nullptr) != (pkTheirs == nullptr))
            return false;
        if (pkMine != nullptr && !pkMine->IsEqual(*pkTheirs))
            return false;
    }
    return true;
}

void NiTexturingProperty::AppendViewerStrings(NiViewerStringArray& kStrings)
{
    NiProperty::AppendViewerStrings(kStrings);
    kStrings.AddTail(NiViewerHeader(NiTexturingProperty::TypeInfo()->GetName()));
    for (std::uint32_t i = 0; i < m_kMaps.GetSize(); ++i)
    {
        NiTextureMap* pkMap = m_kMaps.GetAt(i);
        if (pkMap == nullptr)
            continue;
        const char* pcHeader = (i >= 1 && i <= BUMP_INDEX) ? SLOT_HEADERS[i] : "MultiTexture Decal Map";
        kStrings.AddTail(NiViewerHeader(pcHeader));
        pkMap->AppendViewerStrings(kStrings);
    }
    for (std::uint32_t i = 0; i < GetShaderMapCount(); ++i)
    {
        if (NiShaderMap* pkMap = m_spShaderMaps->GetAt(i))
        {
            kStrings.AddTail(NiViewerInt("Shader Map", static_cast<std::int32_t>(i)));
            pkMap->AppendViewerStrings(kStrings);
        }
    }
}

NiObject* NiTexturingProperty::CreateClone(NiCloneContext& kCloning)
{
    auto* pkClone = new NiTexturingProperty;
    NiProperty::CopyMembers(pkClone, kCloning);
    pkClone->m_eApplyMode = m_eApplyMode;
    pkClone->m_uiDecalCount = m_uiDecalCount;
    pkClone->m_bMultiTexture = m_bMultiTexture;
    if (m_kMaps.GetSize() > pkClone->m_kMaps.GetCapacity())
        pkClone->m_kMaps.SetCapacity(m_kMaps.GetSize());
    for (std::uint32_t i = 0; i < m_kMaps.GetSize(); ++i)
    {
        if (NiTextureMap* pkMap = m_kMaps.GetAt(i))
            pkClone->m_kMaps.SetAt(i, pkMap->Copy());
    }
    if (m_spShaderMaps)
    {
        pkClone->m_spShaderMaps = std::make_unique<NiSparsePtrArray<NiShaderMap*>>(m_spShaderMaps->GetSize(), 1);
        for (std::uint32_t i = 0; i < m_spShaderMaps->GetSize(); ++i)
        {
            if (NiShaderMap* pkMap = m_spShaderMaps->GetAt(i))
                pkClone->m_spShaderMaps->SetAt(i, static_cast<NiShaderMap*>(pkMap->Copy()));
        }
    }
    return pkClone;
}
