#include "engine/render/NiSourceTexture.h"

#include "engine/core/NiFileSearchPath.h"
#include "engine/core/NiObjectStream.h"
#include "engine/core/NiRecursiveLock.h"
#include "engine/core/NiViewerStrings.h"
#include "engine/render/NiRenderer.h"
#include "engine/render/NiTextureFileSearch.h"
#include "engine/render/image/NiImageConverter.h"

#include <memory>

NiImplementTypeInfo(NiSourceTexture, NiTexture)

NiSourceTexture::NiSourceTexture() = default;

NiSourceTexture::~NiSourceTexture() = default;

NiObject* NiSourceTexture::CreateObject()
{
    auto* pkTexture = new NiSourceTexture;
    pkTexture->AddToTextureList();
    return pkTexture;
}

NiRefPtr<NiSourceTexture> NiSourceTexture::CreateFromFile(const char* pcFileName, const FormatPrefs& kPrefs,
                                                          bool bLoadDirectToRendererHint)
{
    if (pcFileName == nullptr || *pcFileName == '\0')
        return nullptr;
    NiRefPtr<NiSourceTexture> spTexture = new NiSourceTexture;
    spTexture->m_kFormatPrefs = kPrefs;
    spTexture->m_bLoadDirectToRendererHint = bLoadDirectToRendererHint;
    spTexture->SetFileNames(pcFileName);
    spTexture->AddToTextureList();
    if (GetPrecacheOnCreation() && !spTexture->Precache())
        return nullptr;
    return spTexture;
}

NiRefPtr<NiSourceTexture> NiSourceTexture::CreateFromPixelData(NiPixelData* pkPixelData, const FormatPrefs& kPrefs)
{
    if (pkPixelData == nullptr)
        return nullptr;
    NiRefPtr<NiSourceTexture> spTexture = new NiSourceTexture;
    spTexture->m_kFormatPrefs = kPrefs;
    spTexture->m_spSrcPixelData = pkPixelData;
    spTexture->AddToTextureList();
    if (GetPrecacheOnCreation() && !spTexture->Precache())
        return nullptr;
    return spTexture;
}

void NiSourceTexture::SetFileNames(const char* pcFileName)
{
    std::string kName = pcFileName ? pcFileName : "";
    std::string kPlatformName = NiImageConverter::ConvertFilenameToPlatformSpecific(pcFileName);
    NiRecursiveLockGuard kGuard(NiTextureListLock());
    m_kFileName.swap(kName);
    m_kPlatformFileName.swap(kPlatformName);
}

void NiSourceTexture::SetPlatformFileName(const std::string& kName)
{
    std::string kCopy = kName;
    NiRecursiveLockGuard kGuard(NiTextureListLock());
    m_kPlatformFileName.swap(kCopy);
}

std::uint32_t NiSourceTexture::GetWidth() const
{
    if (const RendererData* pkData = GetRendererData())
        return pkData->GetWidth();
    return m_spSrcPixelData != nullptr ? m_spSrcPixelData->GetWidth(0) : 0;
}

std::uint32_t NiSourceTexture::GetHeight() const
{
    if (const RendererData* pkData = GetRendererData())
        return pkData->GetHeight();
    return m_spSrcPixelData != nullptr ? m_spSrcPixelData->GetHeight(0) : 0;
}

void NiSourceTexture::LoadPixelData()
{
    if (m_kFileName.empty() || m_spSrcPixelData != nullptr)
        return;
    if (NiImageConverter* pkConverter = NiImageConverter::GetCurrent())
        m_spSrcPixelData = pkConverter->ReadImageFile(m_kPlatformFileName.c_str(), nullptr);
}

void NiSourceTexture::DestroyAppPixelData()
{
    m_spSrcPixelData.Clear();
}

bool NiSourceTexture::Precache()
{
    NiRenderer* pkRenderer = NiRenderer::GetRenderer();
    if (pkRenderer == nullptr)
        return true;
    if (!pkRenderer->PrecacheTexture(this))
        return false;
    if (GetDestroyAfterPrecache() && GetRendererData() != nullptr && m_bStatic)
        DestroyAppPixelData();
    return true;
}

// ---- Scene-file record ----

void NiSourceTexture::BeginRead(NiObjectStream& kStream)
{
    NiRecursiveLockGuard kGuard(NiTextureListLock());
    m_pkLinkStream = &kStream;
    m_pkPostLinkStream = &kStream;
}

bool NiSourceTexture::TakeOwnLinkPass(NiObjectStream& kStream)
{
    {
        NiRecursiveLockGuard kGuard(NiTextureListLock());
        if (m_pkLinkStream == &kStream)
        {
            m_pkLinkStream = nullptr;
            return true;
        }
    }
    // Only a source texture's record replaces itself by a texture found, so
    // one made to stand in for it takes exactly the links it queued.
    NiRefPtr<NiSourceTexture> spDropped = new NiSourceTexture;
    spDropped->m_pkLinkStream = &kStream;
    spDropped->ResolveLinks(kStream);
    return false;
}

bool NiSourceTexture::TakeOwnPostLinkPass(NiObjectStream& kStream)
{
    NiRecursiveLockGuard kGuard(NiTextureListLock());
    if (m_pkPostLinkStream != &kStream)
        return false;
    m_pkPostLinkStream = nullptr;
    return true;
}

void NiSourceTexture::ReadFromStream(NiObjectStream& kStream)
{
    // A hit in the shared-texture table replaces this object in the stream,
    // which may hold the only other reference to it.
    NiRefPtr<NiSourceTexture> spKeep = this;
    BeginRead(kStream);
    NiTexture::ReadFromStream(kStream);

    const std::uint32_t uiVersion = kStream.GetFileVersion();
    std::uint8_t ucExternal = 0;
    kStream.ReadLE(ucExternal);
    char* pcName = nullptr;
    if (uiVersion < NiStreamVersion(10, 0, 1, 4))
    {
        if (ucExternal != 0)
        {
            pcName = kStream.ReadString();
            m_spSrcPixelData.Clear();
            kStream.QueueLinkCount(0);
        }
        else
        {
            std::uint8_t ucHasPixels = 0;
            kStream.ReadLE(ucHasPixels);
            kStream.QueueLinkCount(ucHasPixels != 0 ? 1 : 0);
            if (ucHasPixels != 0)
                kStream.ReadLinkID();
        }
    }
    else
    {
        pcName = kStream.ReadString();
        kStream.QueueLinkCount(1);
        kStream.ReadLinkID();
    }
    // The name goes on last: from then on another thread's search can find
    // this texture, and everything it reads must be in place.
    const std::unique_ptr<char[]> spName(pcName);

    kStream.ReadLE(m_kFormatPrefs.m_ePixelLayout);
    kStream.ReadLE(m_kFormatPrefs.m_eMipMapped);
    kStream.ReadLE(m_kFormatPrefs.m_eAlphaFmt);
    // Old files numbered the layouts differently: their 4 (before 3.3.0.12)
    // and 5 (up to 5.0.0.0) meant the default.
    if (uiVersion < NiStreamVersion(3, 3, 0, 12) && m_kFormatPrefs.m_ePixelLayout == 4)
        m_kFormatPrefs.m_ePixelLayout = FormatPrefs::PIX_DEFAULT;
    else if (uiVersion >= NiStreamVersion(3, 3, 0, 12) && uiVersion <= NiStreamVersion(5, 0, 0, 0) &&
             m_kFormatPrefs.m_ePixelLayout == 5)
        m_kFormatPrefs.m_ePixelLayout = FormatPrefs::PIX_DEFAULT;

    std::uint8_t ucStatic = 1;
    kStream.ReadLE(ucStatic);
    m_bStatic = ucStatic != 0;
    if (uiVersion >= NiStreamVersion(10, 1, 0, 103))
    {
        std::uint8_t ucDirect = 0;
        kStream.ReadLE(ucDirect);
        m_bLoadDirectToRendererHint = ucDirect != 0;
    }

    if (spName != nullptr)
        SetFileNames(spName.get());
    // A texture without a name has nothing to look for.
    if (!kStream.IsCorrupt() && !m_kPlatformFileName.empty())
        FindOrShare(kStream, ucExternal != 0);
}

void NiSourceTexture::FindOrShare(NiObjectStream& kStream, bool bExternal)
{
    if (!bExternal)
    {
        const NiObjectPtr spFound = kStream.FindSharedTexture(m_kPlatformFileName.c_str(), this);
        auto* pkFound = NiDynamicCast<NiSourceTexture>(spFound.Get());
        if (pkFound != nullptr && pkFound != this)
            kStream.ReplaceCurrentObject(pkFound);
        else
            kStream.AddSharedTexture(m_kPlatformFileName.c_str(), this);
        return;
    }

    NiFileSearchPath* pkSearch = kStream.GetSearchPath();
    pkSearch->SetFilePath(m_kPlatformFileName.c_str());
    pkSearch->Reset();
    std::string kCandidate;
    while (pkSearch->GetNextPath(kCandidate))
    {
        const NiObjectPtr spFound = kStream.FindSharedTexture(kCandidate.c_str(), this);
        auto* pkFound = NiDynamicCast<NiSourceTexture>(spFound.Get());
        if (pkFound != nullptr && pkFound != this)
        {
            SetPlatformFileName(kCandidate);
            kStream.ReplaceCurrentObject(pkFound);
            return;
        }
    }
    std::string kFound;
    if (NiFindTextureFile(*pkSearch, m_kPlatformFileName, kFound))
    {
        SetPlatformFileName(kFound);
        kStream.AddSharedTexture(m_kPlatformFileName.c_str(), this);
    }
}

void NiSourceTexture::ResolveLinks(NiObjectStream& kStream)
{
    if (!TakeOwnLinkPass(kStream))
        return;
    NiTexture::ResolveLinks(kStream);
    if (kStream.GetNextLinkCount() != 0)
        m_spSrcPixelData = kStream.GetLinkedObjectAs<NiPixelData>();
}

void NiSourceTexture::PostLink(NiObjectStream& kStream)
{
    // A texture that also stands in for replaced readers is post-linked
    // once, for itself.
    if (!TakeOwnPostLinkPass(kStream))
        return;
    NiTexture::PostLink(kStream);
    if (GetPrecacheOnCreation())
    {
        NiRecursiveLockGuard kGuard(NiStreamLoadLock());
        (void)Precache();
    }
}

bool NiSourceTexture::RegisterForSave(NiObjectStream& kStream)
{
    if (!NiTexture::RegisterForSave(kStream))
        return false;
    if (m_spSrcPixelData != nullptr)
        m_spSrcPixelData->RegisterForSave(kStream);
    return true;
}

void NiSourceTexture::WriteToStream(NiObjectStream& kStream)
{
    NiTexture::WriteToStream(kStream);
    kStream.WriteLE(static_cast<std::uint8_t>(m_spSrcPixelData == nullptr ? 1 : 0));
    kStream.WriteString(m_kFileName.empty() ? nullptr : m_kFileName.c_str());
    kStream.WriteLinkID(m_spSrcPixelData);
    kStream.WriteLE(m_kFormatPrefs.m_ePixelLayout);
    kStream.WriteLE(m_kFormatPrefs.m_eMipMapped);
    kStream.WriteLE(m_kFormatPrefs.m_eAlphaFmt);
    kStream.WriteLE(static_cast<std::uint8_t>(m_bStatic ? 1 : 0));
    kStream.WriteLE(static_cast<std::uint8_t>(m_bLoadDirectToRendererHint ? 1 : 0));
}

bool NiSourceTexture::IsEqual(NiObject* pkOther)
{
    if (!NiTexture::IsEqual(pkOther))
        return false;
    auto* pkSource = static_cast<NiSourceTexture*>(pkOther);
    if (m_kFileName != pkSource->m_kFileName)
        return false;
    if ((m_spSrcPixelData == nullptr) != (pkSource->m_spSrcPixelData == nullptr))
        return false;
    if (m_spSrcPixelData != nullptr && !m_spSrcPixelData->IsEqual(pkSource->m_spSrcPixelData))
        return false;
    return m_kFormatPrefs == pkSource->m_kFormatPrefs && m_bStatic == pkSource->m_bStatic &&
           m_bLoadDirectToRendererHint == pkSource->m_bLoadDirectToRendererHint;
}

void NiSourceTexture::AppendViewerStrings(NiViewerStringArray& kStrings)
{
    NiTexture::AppendViewerStrings(kStrings);
    kStrings.AddTail(NiViewerHeader(NiSourceTexture::TypeInfo()->GetName()));
}
