#include "engine/animation/NiKeyframeManager.h"

#include "engine/core/NiCloneContext.h"
#include "engine/core/NiObjectStream.h"
#include "engine/core/NiViewerStrings.h"
#include "engine/scene/NiAVObject.h"

#include <algorithm>
#include <filesystem>
#include <memory>

NiImplementTypeInfo(NiKeyframeManager, NiTimeController)
NiImplementCreateClone(NiKeyframeManager)

namespace
{
constexpr std::uint32_t NEW_LAYOUT_FROM = NiStreamVersion(4, 1, 0, 3);

// The files whose reading is under way through keyframe managers: an entry
// naming one of them would load it again without end.
std::vector<std::string> s_kLoading;

std::string FileKey(const std::string& kPath)
{
    std::error_code kError;
    std::filesystem::path kFull = std::filesystem::weakly_canonical(kPath, kError);
    return kError ? kPath : kFull.string();
}

struct LoadingMark
{
    std::size_t m_uiDepth;
    explicit LoadingMark(std::vector<std::string> kAdd) : m_uiDepth(s_kLoading.size())
    {
        for (std::string& k : kAdd)
            s_kLoading.push_back(std::move(k));
    }
    ~LoadingMark() { s_kLoading.resize(m_uiDepth); }
    LoadingMark(const LoadingMark&) = delete;
    LoadingMark& operator=(const LoadingMark&) = delete;
};
} // namespace

NiObject* NiKeyframeManager::CreateObject()
{
    return new NiKeyframeManager;
}

void NiKeyframeManager::CopyMembers(NiKeyframeManager* pkDest, NiCloneContext& kCloning)
{
    NiTimeController::CopyMembers(pkDest, kCloning);
    pkDest->m_kSequences = m_kSequences;
}

bool NiKeyframeManager::IsTargetClassValid(NiObjectNET* pkTarget) const
{
    return NiIsKindOf<NiAVObject>(pkTarget);
}

void NiKeyframeManager::AddSequence(NiSequence* pkSequence)
{
    if (pkSequence == nullptr)
        return;
    const std::string kName = pkSequence->GetName() ? pkSequence->GetName() : "";
    for (auto& kEntry : m_kSequences)
    {
        if (kEntry.first == kName)
        {
            kEntry.second = pkSequence;
            return;
        }
    }
    m_kSequences.emplace_back(kName, pkSequence);
}

NiSequence* NiKeyframeManager::GetSequence(const char* pcName) const
{
    const std::string kName = pcName ? pcName : "";
    for (const auto& kEntry : m_kSequences)
    {
        if (kEntry.first == kName)
            return kEntry.second;
    }
    return nullptr;
}

// ---- Records ----

void NiKeyframeManager::ReadFileEntry(NiObjectStream& kStream, const char* pcName)
{
    std::unique_ptr<char[]> spFile(kStream.ReadString());
    std::uint32_t uiIndex = 0;
    if (!kStream.ReadLE(uiIndex) || !spFile)
        return;
    const std::string kFile = FileKey(spFile.get());
    const std::string kHere = kStream.GetFileName().empty() ? std::string() : FileKey(kStream.GetFileName());
    // A file already being read up the chain (this one included) would be
    // read again without end: the entry is skipped.
    if (kFile == kHere || std::find(s_kLoading.begin(), s_kLoading.end(), kFile) != s_kLoading.end())
        return;
    std::vector<std::string> kMarks = {kFile};
    if (!kHere.empty())
        kMarks.push_back(kHere);
    LoadingMark kMark(kMarks);
    NiSequencePtr spSequence = NiSequence::CreateFromFile(spFile.get(), uiIndex, pcName);
    if (spSequence)
        AddSequence(spSequence);
}

void NiKeyframeManager::ReadOldEmbeddedEntry(NiObjectStream& kStream, const char* pcName)
{
    OldEntry kEntry;
    kEntry.m_kName = pcName ? pcName : "";
    std::uint32_t uiStored = 0;
    kStream.ReadLE(uiStored);
    kStream.ReadLinkID(); // text keys
    std::uint32_t uiCount = 0;
    // Each pair holds at least a name length and a link.
    kStream.ReadCount(uiCount, 8);
    for (std::uint32_t i = 0; i < uiCount && !kStream.IsCorrupt(); ++i)
    {
        std::unique_ptr<char[]> spObject(kStream.ReadString());
        kStream.ReadLinkID();
        kEntry.m_kObjectNames.emplace_back(spObject ? spObject.get() : "");
    }
    kStream.QueueLinkCount(static_cast<std::uint32_t>(kEntry.m_kObjectNames.size()));
    m_kOldEntries.push_back(std::move(kEntry));
}

void NiKeyframeManager::ReadFromStream(NiObjectStream& kStream)
{
    NiTimeController::ReadFromStream(kStream);
    const bool bNew = kStream.GetFileVersion() >= NEW_LAYOUT_FROM;
    std::uint32_t uiCount = 0;
    // Each entry holds at least its flag byte.
    kStream.ReadCount(uiCount, 1);
    m_uiEmbeddedLinks = 0;
    for (std::uint32_t i = 0; i < uiCount && !kStream.IsCorrupt(); ++i)
    {
        std::uint8_t ucInFile = 0;
        if (!kStream.ReadLE(ucInFile))
            break;
        std::unique_ptr<char[]> spName;
        if (!bNew || ucInFile != 0)
            spName.reset(kStream.ReadString());
        if (ucInFile != 0)
            ReadFileEntry(kStream, spName.get());
        else if (bNew)
        {
            kStream.ReadLinkID();
            ++m_uiEmbeddedLinks;
        }
        else
            ReadOldEmbeddedEntry(kStream, spName.get());
    }
    if (bNew)
        kStream.QueueLinkCount(m_uiEmbeddedLinks);
}

void NiKeyframeManager::ResolveLinks(NiObjectStream& kStream)
{
    NiTimeController::ResolveLinks(kStream);
    if (kStream.GetFileVersion() >= NEW_LAYOUT_FROM)
    {
        const std::uint32_t uiCount = kStream.GetNextLinkCount();
        for (std::uint32_t i = 0; i < uiCount; ++i)
            AddSequence(kStream.GetLinkedObjectAs<NiSequence>());
        return;
    }
    // Every old embedded entry becomes a sequence of its own.
    for (const OldEntry& kEntry : m_kOldEntries)
    {
        NiSequencePtr spSequence = new NiSequence(kEntry.m_kName.c_str(), NiSequence::DEFAULT_SIZE,
                                                  NiSequence::DEFAULT_SIZE);
        spSequence->SetTextKeys(kStream.GetLinkedObjectAs<NiTextKeyExtraData>());
        const std::uint32_t uiCount = kStream.GetNextLinkCount();
        for (std::uint32_t i = 0; i < uiCount; ++i)
        {
            NiTimeController* pkController = kStream.GetLinkedObjectAs<NiTimeController>();
            const char* pcObject = i < kEntry.m_kObjectNames.size() ? kEntry.m_kObjectNames[i].c_str() : "";
            spSequence->AddNameAndController(pcObject, pkController);
        }
        AddSequence(spSequence);
    }
    m_kOldEntries.clear();
}

void NiKeyframeManager::PostLink(NiObjectStream& kStream)
{
    NiTimeController::PostLink(kStream);
    for (const auto& kEntry : m_kSequences)
    {
        for (std::uint32_t i = 0; i < kEntry.second->GetCount(); ++i)
        {
            std::uint32_t uiSteps = 0;
            for (NiTimeController* pk = kEntry.second->GetControllerAt(i); pk != nullptr; pk = pk->GetNext())
            {
                if (pk == this || ++uiSteps > kStream.GetFileObjectCount())
                {
                    kStream.SetCorrupt();
                    return;
                }
            }
        }
    }
}

void NiKeyframeManager::DropCountedLinks()
{
    NiTimeController::DropCountedLinks();
    m_kSequences.clear();
    m_kOldEntries.clear();
}

bool NiKeyframeManager::RegisterForSave(NiObjectStream& kStream)
{
    if (!NiTimeController::RegisterForSave(kStream))
        return false;
    for (const auto& kEntry : m_kSequences)
        kEntry.second->RegisterForSave(kStream);
    return true;
}

void NiKeyframeManager::WriteToStream(NiObjectStream& kStream)
{
    NiTimeController::WriteToStream(kStream);
    kStream.WriteLE(static_cast<std::uint32_t>(m_kSequences.size()));
    for (const auto& kEntry : m_kSequences)
    {
        kStream.WriteLE(static_cast<std::uint8_t>(0));
        kStream.WriteLinkID(kEntry.second);
    }
}

bool NiKeyframeManager::IsEqual(NiObject* pkOther)
{
    if (!NiTimeController::IsEqual(pkOther))
        return false;
    auto* pkManager = static_cast<NiKeyframeManager*>(pkOther);
    if (m_kSequences.size() != pkManager->m_kSequences.size())
        return false;
    for (std::size_t i = 0; i < m_kSequences.size(); ++i)
    {
        if (m_kSequences[i].first != pkManager->m_kSequences[i].first ||
            !m_kSequences[i].second->IsEqual(pkManager->m_kSequences[i].second))
            return false;
    }
    return true;
}

void NiKeyframeManager::AppendViewerStrings(NiViewerStringArray& kStrings)
{
    NiTimeController::AppendViewerStrings(kStrings);
    kStrings.AddTail(NiViewerHeader(NiKeyframeManager::TypeInfo()->GetName()));
}
