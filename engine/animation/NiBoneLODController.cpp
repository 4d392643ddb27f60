#include "engine/animation/NiBoneLODController.h"

#include "engine/animation/NiAnimText.h"
#include "engine/core/NiCloneContext.h"
#include "engine/core/NiObjectStream.h"
#include "engine/core/NiViewerStrings.h"
#include "engine/scene/NiGeometry.h"
#include "engine/scene/NiNode.h"

NiImplementTypeInfo(NiBoneLODController, NiTimeController)
NiImplementCreateClone(NiBoneLODController)

std::int32_t NiBoneLODController::ms_iRequest = -1;

namespace
{
constexpr std::uint16_t APP_CULLED_BIT = 0x0001;
constexpr std::uint16_t SELECTIVE_UPDATE_BIT = 0x0002;

void SetFlagBits(NiAVObject* pkObject, std::uint16_t usSet, std::uint16_t usClear)
{
    pkObject->SetFlags(static_cast<std::uint16_t>((pkObject->GetFlags() & ~usClear) | usSet));
}

template <class T>
T* CloneOf(NiCloneContext& kCloning, T* pkSource)
{
    NiObject* pkCopy = nullptr;
    if (pkSource == nullptr || !kCloning.m_kCloneMap.GetAt(pkSource, pkCopy))
        return nullptr;
    return NiDynamicCast<T>(pkCopy);
}
} // namespace

NiObject* NiBoneLODController::CreateObject()
{
    return new NiBoneLODController;
}

void NiBoneLODController::CopyMembers(NiBoneLODController* pkDest, NiCloneContext& kCloning)
{
    NiTimeController::CopyMembers(pkDest, kCloning);
    pkDest->m_iLOD = m_iLOD;
    pkDest->m_uiNumLODs = m_uiNumLODs;
}

bool NiBoneLODController::IsTargetClassValid(NiObjectNET* pkTarget) const
{
    return NiIsKindOf<NiNode>(pkTarget);
}

void NiBoneLODController::AddBone(std::uint32_t uiSet, NiNode* pkBone)
{
    if (uiSet >= m_kBoneSets.size())
        m_kBoneSets.resize(uiSet + 1);
    m_kBoneSets[uiSet].push_back(pkBone);
}

void NiBoneLODController::AddSkin(std::uint32_t uiSet, NiGeometry* pkGeometry, NiSkinInstance* pkSkin)
{
    if (uiSet >= m_kSkinSets.size())
        m_kSkinSets.resize(uiSet + 1);
    m_kSkinSets[uiSet].push_back(SkinInfo{pkGeometry, pkSkin});
}

bool NiBoneLODController::SetBoneLOD(std::int32_t iLOD)
{
    if (m_uiNumLODs == 0 || iLOD == m_iLOD)
        return false;
    if (iLOD != -1 && (iLOD < 0 || static_cast<std::uint32_t>(iLOD) >= m_uiNumLODs))
        return false;

    // A bone listed in several sets ends with the last set's value.
    for (std::size_t i = 0; i < m_kBoneSets.size(); ++i)
    {
        const bool bOn = iLOD != -1 && i >= static_cast<std::size_t>(iLOD);
        for (NiNode* pkBone : m_kBoneSets[i])
        {
            if (pkBone != nullptr)
            {
                const std::uint16_t usSet = bOn ? SELECTIVE_UPDATE_BIT : 0;
                SetFlagBits(pkBone, usSet, static_cast<std::uint16_t>(SELECTIVE_UPDATE_BIT & ~usSet));
            }
        }
    }
    for (NiGeometry* pkShape : m_kShapes)
    {
        if (pkShape != nullptr)
            SetFlagBits(pkShape, APP_CULLED_BIT, SELECTIVE_UPDATE_BIT);
    }
    // A level without a stored skin set shows nothing.
    if (iLOD != -1 && static_cast<std::size_t>(iLOD) < m_kSkinSets.size())
    {
        for (const SkinInfo& kInfo : m_kSkinSets[iLOD])
        {
            if (kInfo.m_pkGeometry == nullptr)
                continue;
            SetFlagBits(kInfo.m_pkGeometry, SELECTIVE_UPDATE_BIT, APP_CULLED_BIT);
            kInfo.m_pkGeometry->SetSkinInstance(kInfo.m_spSkinInstance);
        }
    }
    m_iLOD = iLOD;
    return true;
}

void NiBoneLODController::Update(float)
{
    std::int32_t iRequest = ms_iRequest;
    if (iRequest == -1 || iRequest == m_iLOD)
        return;
    if (iRequest > static_cast<std::int64_t>(m_uiNumLODs))
        iRequest = static_cast<std::int32_t>(m_uiNumLODs) - 1;
    if (iRequest != m_iLOD)
        (void)SetBoneLOD(iRequest);
}

void NiBoneLODController::ApplyStoredLevel()
{
    const std::int32_t iLOD = m_iLOD;
    m_iLOD = -1;
    (void)SetBoneLOD(iLOD);
}

// ---- Cloning ----

void NiBoneLODController::FinishClone(NiCloneContext& kCloning)
{
    NiTimeController::FinishClone(kCloning);
    NiBoneLODController* pkClone = CloneOf(kCloning, this);
    if (pkClone == nullptr)
        return;
    // Members outside the cloned tree have no copy; their places stay empty
    // rather than reach into the source's scene.
    pkClone->m_kBoneSets.assign(m_kBoneSets.size(), {});
    for (std::size_t i = 0; i < m_kBoneSets.size(); ++i)
    {
        for (NiNode* pkBone : m_kBoneSets[i])
            pkClone->m_kBoneSets[i].push_back(CloneOf(kCloning, pkBone));
    }
    pkClone->m_kSkinSets.assign(m_kSkinSets.size(), {});
    for (std::size_t i = 0; i < m_kSkinSets.size(); ++i)
    {
        for (const SkinInfo& kInfo : m_kSkinSets[i])
        {
            NiSkinInstance* pkSkin = CloneOf(kCloning, kInfo.m_spSkinInstance.Get());
            pkClone->m_kSkinSets[i].push_back(
                SkinInfo{CloneOf(kCloning, kInfo.m_pkGeometry), pkSkin ? pkSkin : kInfo.m_spSkinInstance.Get()});
        }
    }
    pkClone->m_kShapes.clear();
    for (NiGeometry* pkShape : m_kShapes)
        pkClone->m_kShapes.push_back(CloneOf(kCloning, pkShape));
    pkClone->ApplyStoredLevel();
}

// ---- Records ----

void NiBoneLODController::ReadFromStream(NiObjectStream& kStream)
{
    NiTimeController::ReadFromStream(kStream);
    kStream.ReadLE(m_iLOD);
    kStream.ReadLE(m_uiNumLODs);

    // Every set holds at least its count word.
    std::uint32_t uiSets = 0;
    kStream.ReadCount(uiSets, 4);
    kStream.QueueLinkCount(uiSets);
    for (std::uint32_t i = 0; i < uiSets; ++i)
        kStream.ReadLinkIDList();

    kStream.ReadCount(uiSets, 4);
    kStream.QueueLinkCount(uiSets);
    for (std::uint32_t i = 0; i < uiSets; ++i)
    {
        std::uint32_t uiEntries = 0;
        kStream.ReadCount(uiEntries, 8);
        kStream.QueueLinkCount(uiEntries);
        for (std::uint32_t j = 0; j < uiEntries; ++j)
        {
            kStream.ReadLinkID();
            kStream.ReadLinkID();
        }
    }
    kStream.ReadLinkIDList();
}

void NiBoneLODController::ResolveLinks(NiObjectStream& kStream)
{
    NiTimeController::ResolveLinks(kStream);
    m_kBoneSets.assign(kStream.GetNextLinkCount(), {});
    for (std::vector<NiNode*>& kSet : m_kBoneSets)
    {
        const std::uint32_t uiCount = kStream.GetNextLinkCount();
        for (std::uint32_t j = 0; j < uiCount; ++j)
            kSet.push_back(kStream.GetLinkedObjectAs<NiNode>());
    }
    m_kSkinSets.assign(kStream.GetNextLinkCount(), {});
    for (std::vector<SkinInfo>& kSet : m_kSkinSets)
    {
        const std::uint32_t uiCount = kStream.GetNextLinkCount();
        for (std::uint32_t j = 0; j < uiCount; ++j)
        {
            NiGeometry* pkGeometry = kStream.GetLinkedObjectAs<NiGeometry>();
            NiSkinInstance* pkSkin = kStream.GetLinkedObjectAs<NiSkinInstance>();
            kSet.push_back(SkinInfo{pkGeometry, pkSkin});
        }
    }
    const std::uint32_t uiShapes = kStream.GetNextLinkCount();
    m_kShapes.clear();
    for (std::uint32_t i = 0; i < uiShapes; ++i)
        m_kShapes.push_back(kStream.GetLinkedObjectAs<NiGeometry>());
}

void NiBoneLODController::PostLink(NiObjectStream& kStream)
{
    NiTimeController::PostLink(kStream);
    ApplyStoredLevel();
}

void NiBoneLODController::DropCountedLinks()
{
    NiTimeController::DropCountedLinks();
    m_kSkinSets.clear();
}

bool NiBoneLODController::RegisterForSave(NiObjectStream& kStream)
{
    if (!NiTimeController::RegisterForSave(kStream))
        return false;
    for (const std::vector<SkinInfo>& kSet : m_kSkinSets)
    {
        for (const SkinInfo& kInfo : kSet)
        {
            if (kInfo.m_spSkinInstance)
                kInfo.m_spSkinInstance->RegisterForSave(kStream);
        }
    }
    return true;
}

void NiBoneLODController::WriteToStream(NiObjectStream& kStream)
{
    NiTimeController::WriteToStream(kStream);
    kStream.WriteLE(m_iLOD);
    kStream.WriteLE(m_uiNumLODs);
    kStream.WriteLE(static_cast<std::uint32_t>(m_kBoneSets.size()));
    for (const std::vector<NiNode*>& kSet : m_kBoneSets)
    {
        kStream.WriteLE(static_cast<std::uint32_t>(kSet.size()));
        for (NiNode* pkBone : kSet)
            kStream.WriteLinkID(pkBone);
    }
    kStream.WriteLE(static_cast<std::uint32_t>(m_kSkinSets.size()));
    for (const std::vector<SkinInfo>& kSet : m_kSkinSets)
    {
        kStream.WriteLE(static_cast<std::uint32_t>(kSet.size()));
        for (const SkinInfo& kInfo : kSet)
        {
            kStream.WriteLinkID(kInfo.m_pkGeometry);
            kStream.WriteLinkID(kInfo.m_spSkinInstance);
        }
    }
    kStream.WriteLE(static_cast<std::uint32_t>(m_kShapes.size()));
    for (NiGeometry* pkShape : m_kShapes)
        kStream.WriteLinkID(pkShape);
}

bool NiBoneLODController::IsEqual(NiObject* pkOther)
{
    if (!NiTimeController::IsEqual(pkOther))
        return false;
    auto* pkController = static_cast<NiBoneLODController*>(pkOther);
    if (m_iLOD != pkController->m_iLOD || m_uiNumLODs != pkController->m_uiNumLODs ||
        m_kBoneSets.size() != pkController->m_kBoneSets.size() ||
        m_kSkinSets.size() != pkController->m_kSkinSets.size() || m_kShapes.size() != pkController->m_kShapes.size())
        return false;
    for (std::size_t i = 0; i < m_kBoneSets.size(); ++i)
    {
        const auto& kMine = m_kBoneSets[i];
        const auto& kTheirs = pkController->m_kBoneSets[i];
        if (kMine.size() != kTheirs.size())
            return false;
        for (std::size_t j = 0; j < kMine.size(); ++j)
        {
            if (!NiSameClassAndName(kMine[j], kTheirs[j]))
                return false;
        }
    }
    for (std::size_t i = 0; i < m_kSkinSets.size(); ++i)
    {
        const auto& kMine = m_kSkinSets[i];
        const auto& kTheirs = pkController->m_kSkinSets[i];
        if (kMine.size() != kTheirs.size())
            return false;
        for (std::size_t j = 0; j < kMine.size(); ++j)
        {
            if (!NiSameClassAndName(kMine[j].m_pkGeometry, kTheirs[j].m_pkGeometry))
                return false;
            NiSkinInstance* pkA = kMine[j].m_spSkinInstance;
            NiSkinInstance* pkB = kTheirs[j].m_spSkinInstance;
            if ((pkA == nullptr) != (pkB == nullptr) || (pkA != nullptr && !pkA->IsEqual(pkB)))
                return false;
        }
    }
    for (std::size_t i = 0; i < m_kShapes.size(); ++i)
    {
        if (!NiSameClassAndName(m_kShapes[i], pkController->m_kShapes[i]))
            return false;
    }
    return true;
}

void NiBoneLODController::AppendViewerStrings(NiViewerStringArray& kStrings)
{
    NiTimeController::AppendViewerStrings(kStrings);
    kStrings.AddTail(NiViewerHeader(NiBoneLODController::TypeInfo()->GetName()));
    kStrings.AddTail(NiViewerInt("m_iLOD", m_iLOD));
    kStrings.AddTail(NiViewerUInt("m_uiNumLODs", m_uiNumLODs));
}
