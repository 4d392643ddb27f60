#include "engine/render/NiBltSource.h"

#include "engine/core/NiInstanceList.h"
#include "engine/core/NiObjectStream.h"
#include "engine/core/NiRecursiveLock.h"
#include "engine/core/NiViewerStrings.h"
#include "engine/render/NiRenderer.h"
#include "engine/render/NiTextureFileSearch.h"
#include "engine/render/image/NiImageConverter.h"

NiImplementTypeInfo(NiBltSource, NiObject)

NiBltSource* NiBltSource::ms_pkHead = nullptr;
NiBltSource* NiBltSource::ms_pkTail = nullptr;

NiBltSource::NiBltSource()
{
    AddToList();
}

NiBltSource::~NiBltSource()
{
    m_kFileName.clear();
    m_kPlatformFileName.clear();
    m_spRendererData.reset();
    RemoveFromList();
    m_spSrcPixelData.Clear();
}

void NiBltSource::DeleteThis()
{
    RemoveFromList();
    delete this;
}

NiObject* NiBltSource::CreateObject()
{
    return new NiBltSource;
}

void NiBltSource::AddToList()
{
    NiRecursiveLockGuard kGuard(NiBltSourceLock());
    NiInstanceListAppend(ms_pkHead, ms_pkTail, this, &NiBltSource::m_pkPrev, &NiBltSource::m_pkNext);
}

void NiBltSource::RemoveFromList()
{
    NiRecursiveLockGuard kGuard(NiBltSourceLock());
    NiInstanceListRemove(ms_pkHead, ms_pkTail, this, &NiBltSource::m_pkPrev, &NiBltSource::m_pkNext);
}

std::uint32_t NiBltSource::GetListCount()
{
    NiRecursiveLockGuard kGuard(NiBltSourceLock());
    return NiInstanceListCount(ms_pkHead, &NiBltSource::m_pkNext);
}

std::uint32_t NiBltSource::GetWidth() const
{
    if (m_spRendererData != nullptr)
        return m_spRendererData->GetWidth();
    return m_spSrcPixelData != nullptr ? m_spSrcPixelData->GetWidth(0) : 0;
}

std::uint32_t NiBltSource::GetHeight() const
{
    if (m_spRendererData != nullptr)
        return m_spRendererData->GetHeight();
    return m_spSrcPixelData != nullptr ? m_spSrcPixelData->GetHeight(0) : 0;
}

void NiBltSource::SetFileName(const char* pcFileName)
{
    m_kFileName = pcFileName ? pcFileName : "";
    m_kPlatformFileName = NiImageConverter::ConvertFilenameToPlatformSpecific(pcFileName);
}

// ---- Scene-file record ----

void NiBltSource::ReadFromStream(NiObjectStream& kStream)
{
    NiObject::ReadFromStream(kStream);
    std::uint8_t ucExternal = 0;
    kStream.ReadLE(ucExternal);
    if (ucExternal != 0)
    {
        char* pcName = kStream.ReadString();
        SetFileName(pcName);
        delete[] pcName;
        kStream.QueueLinkCount(0);
        if (m_kPlatformFileName.empty())
            return;
        (void)NiFindTextureFile(*kStream.GetSearchPath(), m_kPlatformFileName, m_kPlatformFileName);
        return;
    }
    std::uint8_t ucHasPixels = 0;
    kStream.ReadLE(ucHasPixels);
    if (ucHasPixels != 0)
    {
        kStream.QueueLinkCount(1);
        kStream.ReadLinkID();
    }
    else
    {
        kStream.QueueLinkCount(0);
    }
}

void NiBltSource::ResolveLinks(NiObjectStream& kStream)
{
    NiObject::ResolveLinks(kStream);
    if (kStream.GetNextLinkCount() != 0)
        m_spSrcPixelData = kStream.GetLinkedObjectAs<NiPixelData>();
    if (NiRenderer* pkRenderer = NiRenderer::GetRenderer())
        (void)pkRenderer->CreateBltSourceData(this);
}

bool NiBltSource::RegisterForSave(NiObjectStream& kStream)
{
    if (!NiObject::RegisterForSave(kStream))
        return false;
    if (m_spSrcPixelData != nullptr)
        m_spSrcPixelData->RegisterForSave(kStream);
    return true;
}

void NiBltSource::WriteToStream(NiObjectStream& kStream)
{
    NiObject::WriteToStream(kStream);
    if (!m_kFileName.empty())
    {
        kStream.WriteLE(static_cast<std::uint8_t>(1));
        kStream.WriteString(m_kFileName.c_str());
        return;
    }
    kStream.WriteLE(static_cast<std::uint8_t>(0));
    if (m_spSrcPixelData == nullptr)
    {
        kStream.WriteLE(static_cast<std::uint8_t>(0));
        return;
    }
    kStream.WriteLE(static_cast<std::uint8_t>(1));
    kStream.WriteLinkID(m_spSrcPixelData);
}

bool NiBltSource::IsEqual(NiObject* pkOther)
{
    if (!NiObject::IsEqual(pkOther))
        return false;
    auto* pkBlt = static_cast<NiBltSource*>(pkOther);
    if (m_kFileName != pkBlt->m_kFileName)
        return false;
    if (m_spSrcPixelData == nullptr || pkBlt->m_spSrcPixelData == nullptr)
        return m_spSrcPixelData == pkBlt->m_spSrcPixelData;
    return m_spSrcPixelData->IsEqual(pkBlt->m_spSrcPixelData);
}

void NiBltSource::AppendViewerStrings(NiViewerStringArray& kStrings)
{
    NiObject::AppendViewerStrings(kStrings);
    kStrings.AddTail(NiViewerHeader(NiBltSource::TypeInfo()->GetName()));
}
