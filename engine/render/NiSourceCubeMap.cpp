#include "engine/render/NiSourceCubeMap.h"

#include "engine/core/NiFileSearchPath.h"
#include "engine/core/NiObjectStream.h"
#include "engine/core/NiViewerStrings.h"
#include "engine/render/NiRenderer.h"
#include "engine/render/NiTextureFileSearch.h"
#include "engine/render/image/NiImageConverter.h"

NiImplementTypeInfo(NiSourceCubeMap, NiSourceTexture)

NiSourceCubeMap::NiSourceCubeMap() = default;

NiSourceCubeMap::~NiSourceCubeMap() = default;

NiObject* NiSourceCubeMap::CreateObject()
{
    auto* pkCubeMap = new NiSourceCubeMap;
    pkCubeMap->AddToTextureList();
    return pkCubeMap;
}

void NiSourceCubeMap::SetFaceFileName(std::uint32_t uiFace, const char* pcFileName)
{
    const std::uint32_t ui = Face(uiFace);
    m_akFaceNames[ui] = pcFileName ? pcFileName : "";
    m_akFacePlatformNames[ui] = NiImageConverter::ConvertFilenameToPlatformSpecific(pcFileName);
}

void NiSourceCubeMap::LoadPixelData()
{
    const std::uint32_t ui = m_uiCurrentFace;
    if (m_akFaceNames[ui].empty())
        return;
    NiImageConverter* pkConverter = NiImageConverter::GetCurrent();
    if (pkConverter == nullptr)
        return;
    m_aspFacePixels[ui] = pkConverter->ReadImageFile(m_akFacePlatformNames[ui].c_str(), m_aspFacePixels[ui]);
    m_spSrcPixelData = m_aspFacePixels[ui];
}

void NiSourceCubeMap::DestroyAppPixelData()
{
    m_spSrcPixelData.Clear();
    m_aspFacePixels[m_uiCurrentFace].Clear();
}

bool NiSourceCubeMap::Precache()
{
    NiRenderer* pkRenderer = NiRenderer::GetRenderer();
    if (pkRenderer == nullptr)
        return true;
    if (!pkRenderer->PrecacheCubeMap(this))
        return false;
    if (GetDestroyAfterPrecache() && GetRendererData() != nullptr && m_bStatic)
        DestroyAppPixelData();
    return true;
}

// ---- Scene-file record ----

void NiSourceCubeMap::ReadFromStream(NiObjectStream& kStream)
{
    BeginRead(kStream);
    NiTexture::ReadFromStream(kStream);
    std::uint8_t ucExternal = 0;
    kStream.ReadLE(ucExternal);
    for (std::uint32_t i = 0; i < FACE_NUM; ++i)
    {
        char* pcName = kStream.ReadString();
        SetFaceFileName(i, pcName);
        delete[] pcName;
    }
    kStream.QueueLinkCount(FACE_NUM);
    for (std::uint32_t i = 0; i < FACE_NUM; ++i)
        kStream.ReadLinkID();

    if (ucExternal != 0 && !kStream.IsCorrupt())
    {
        NiFileSearchPath* pkSearch = kStream.GetSearchPath();
        for (std::uint32_t i = 0; i < FACE_NUM; ++i)
        {
            if (m_akFacePlatformNames[i].empty())
                continue;
            (void)NiFindTextureFile(*pkSearch, m_akFacePlatformNames[i], m_akFacePlatformNames[i]);
            m_uiCurrentFace = i;
            LoadPixelData();
        }
    }

    kStream.ReadLE(m_kFormatPrefs.m_ePixelLayout);
    kStream.ReadLE(m_kFormatPrefs.m_eMipMapped);
    kStream.ReadLE(m_kFormatPrefs.m_eAlphaFmt);
    std::uint8_t ucStatic = 1;
    kStream.ReadLE(ucStatic);
    m_bStatic = ucStatic != 0;
    // Face 0 names the texture once the rest is read: a name makes it
    // findable by other threads' searches.
    if (!m_akFaceNames[0].empty() && m_kFileName.empty())
        SetFileNames(m_akFaceNames[0].c_str());
}

void NiSourceCubeMap::ResolveLinks(NiObjectStream& kStream)
{
    if (!TakeOwnLinkPass(kStream))
        return;
    NiTexture::ResolveLinks(kStream);
    const std::uint32_t uiCount = kStream.GetNextLinkCount();
    for (std::uint32_t i = 0; i < uiCount; ++i)
    {
        // A face loaded from its file keeps that image where the file has
        // no pixel data for it.
        NiPixelData* pkPixels = kStream.GetLinkedObjectAs<NiPixelData>();
        if (uiCount == FACE_NUM && pkPixels != nullptr)
            m_aspFacePixels[i] = pkPixels;
    }
}

bool NiSourceCubeMap::RegisterForSave(NiObjectStream& kStream)
{
    if (!NiSourceTexture::RegisterForSave(kStream))
        return false;
    for (const NiPixelDataPtr& sp : m_aspFacePixels)
    {
        if (sp != nullptr)
            sp->RegisterForSave(kStream);
    }
    return true;
}

void NiSourceCubeMap::WriteToStream(NiObjectStream& kStream)
{
    NiTexture::WriteToStream(kStream);
    kStream.WriteLE(static_cast<std::uint8_t>(m_aspFacePixels[0] == nullptr ? 1 : 0));
    for (const std::string& kName : m_akFaceNames)
        kStream.WriteString(kName.empty() ? nullptr : kName.c_str());
    for (const NiPixelDataPtr& sp : m_aspFacePixels)
        kStream.WriteLinkID(sp);
    kStream.WriteLE(m_kFormatPrefs.m_ePixelLayout);
    kStream.WriteLE(m_kFormatPrefs.m_eMipMapped);
    kStream.WriteLE(m_kFormatPrefs.m_eAlphaFmt);
    kStream.WriteLE(static_cast<std::uint8_t>(m_bStatic ? 1 : 0));
}

bool NiSourceCubeMap::IsEqual(NiObject* pkOther)
{
    if (!NiTexture::IsEqual(pkOther))
        return false;
    auto* pkCube = static_cast<NiSourceCubeMap*>(pkOther);
    for (std::uint32_t i = 0; i < FACE_NUM; ++i)
    {
        if (m_akFaceNames[i] != pkCube->m_akFaceNames[i])
            return false;
        const NiPixelData* pkMine = m_aspFacePixels[i];
        NiPixelData* pkTheirs = pkCube->m_aspFacePixels[i];
        if ((pkMine == nullptr) != (pkTheirs == nullptr))
            return false;
        if (pkMine != nullptr && !m_aspFacePixels[i]->IsEqual(pkTheirs))
            return false;
    }
    return m_kFormatPrefs == pkCube->m_kFormatPrefs && m_bStatic == pkCube->m_bStatic;
}

void NiSourceCubeMap::AppendViewerStrings(NiViewerStringArray& kStrings)
{
    NiSourceTexture::AppendViewerStrings(kStrings);
    kStrings.AddTail(NiViewerHeader(NiSourceCubeMap::TypeInfo()->GetName()));
}
