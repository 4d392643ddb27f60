#include "engine/scene/NiDefaultAVObjectPalette.h"

#include "engine/core/NiCloneContext.h"
#include "engine/core/NiObjectStream.h"
#include "engine/core/NiViewerStrings.h"
#include "engine/scene/NiDynamicEffect.h"

#include <memory>

NiImplementTypeInfo(NiAVObjectPalette, NiObject)
NiImplementTypeInfo(NiDefaultAVObjectPalette, NiAVObjectPalette)

namespace
{
// Set while a load walks what the file's top-level objects hold through
// counted references: a palette's own links are not such references.
thread_local bool t_bCountedWalk = false;

class CountedWalk
{
public:
    CountedWalk() : m_bWas(t_bCountedWalk) { t_bCountedWalk = true; }
    ~CountedWalk() { t_bCountedWalk = m_bWas; }

private:
    bool m_bWas;
};
} // namespace

void NiAVObjectPalette::AppendViewerStrings(NiViewerStringArray& kStrings)
{
    NiObject::AppendViewerStrings(kStrings);
    kStrings.AddTail(NiViewerHeader(NiAVObjectPalette::TypeInfo()->GetName()));
}

NiAVObject* NiDefaultAVObjectPalette::GetAVObject(const char* pcName)
{
    NiAVObject* pkObject = nullptr;
    if (m_kHash.GetAt(pcName, pkObject))
        return pkObject;
    // An unmapped name is looked up under the scene root once and kept.
    if (pcName == nullptr || m_pkScene == nullptr)
        return nullptr;
    pkObject = m_pkScene->GetObjectByName(pcName);
    if (pkObject != nullptr)
        SetAVObject(pcName, pkObject);
    return pkObject;
}

void NiDefaultAVObjectPalette::SetAVObject(const char* pcName, NiAVObject* pkObject)
{
    if (pcName == nullptr)
        return;
    if (pkObject == nullptr)
        m_kHash.RemoveAt(pcName);
    else
        m_kHash.SetAt(pcName, pkObject);
}

// ---- Cloning ----

NiObject* NiDefaultAVObjectPalette::CreateClone(NiCloneContext& kCloning)
{
    auto* pkClone = new NiDefaultAVObjectPalette;
    CopyMembers(pkClone, kCloning);
    return pkClone;
}

void NiDefaultAVObjectPalette::FinishClone(NiCloneContext& kCloning)
{
    NiAVObjectPalette::FinishClone(kCloning);
    NiObject* pkCopy = nullptr;
    if (!kCloning.m_kCloneMap.GetAt(this, pkCopy) || pkCopy == nullptr)
        return;
    auto* pkClone = static_cast<NiDefaultAVObjectPalette*>(pkCopy);
    NiObject* pkSceneCopy = nullptr;
    if (m_pkScene != nullptr && kCloning.m_kCloneMap.GetAt(m_pkScene, pkSceneCopy))
        pkClone->SetScene(static_cast<NiAVObject*>(pkSceneCopy));
    for (NiHashMapPos kPos = m_kHash.GetFirstPos(); kPos != nullptr;)
    {
        const char* pcName = nullptr;
        NiAVObject* pkObject = nullptr;
        m_kHash.GetNext(kPos, pcName, pkObject);
        NiObject* pkObjectCopy = nullptr;
        if (kCloning.m_kCloneMap.GetAt(pkObject, pkObjectCopy) && pkObjectCopy != nullptr)
            pkClone->SetAVObject(pcName, static_cast<NiAVObject*>(pkObjectCopy));
    }
}

// ---- Scene-file record ----

void NiDefaultAVObjectPalette::ReadFromStream(NiObjectStream& kStream)
{
    NiAVObjectPalette::ReadFromStream(kStream);
    NiObject* pkScene = kStream.ReadObjectRef();
    m_pkScene = NiDynamicCast<NiAVObject>(pkScene);
    if (pkScene != nullptr && m_pkScene == nullptr)
        kStream.SetCorrupt();

    // Each entry takes at least a name length and a link.
    std::uint32_t uiCount = 0;
    if (!kStream.ReadCount(uiCount, 8))
        return;
    for (std::uint32_t i = 0; i < uiCount && !kStream.IsCorrupt(); ++i)
    {
        NiArenaString spName = kStream.ReadArenaString();
        NiObject* pkLinked = kStream.ReadObjectRef();
        NiAVObject* pkObject = NiDynamicCast<NiAVObject>(pkLinked);
        if (pkLinked != nullptr && pkObject == nullptr)
        {
            kStream.SetCorrupt();
            return;
        }
        if (spName != nullptr && pkObject != nullptr)
            SetAVObject(spName.get(), pkObject);
    }
}

void NiDefaultAVObjectPalette::PostLink(NiObjectStream& kStream)
{
    NiAVObjectPalette::PostLink(kStream);

    // What the file's top-level objects keep alive once the stream lets go.
    NiObjectStream kReached;
    {
        CountedWalk kWalk;
        for (std::uint32_t i = 0; i < kStream.GetObjectCount(); ++i)
        {
            if (NiObject* pkTop = kStream.GetObjectAt(i))
                pkTop->RegisterForSave(kReached);
        }
    }

    std::vector<NiAVObject*> kCandidates;
    if (m_pkScene != nullptr)
        kCandidates.push_back(m_pkScene);
    for (NiHashMapPos kPos = m_kHash.GetFirstPos(); kPos != nullptr;)
    {
        const char* pcName = nullptr;
        NiAVObject* pkObject = nullptr;
        m_kHash.GetNext(kPos, pcName, pkObject);
        kCandidates.push_back(pkObject);
    }
    for (NiAVObject* pkObject : kCandidates)
    {
        bool bReached = kReached.GetLinkIndex(pkObject) != NiObjectStream::NULL_LINK;
        // A node's effect list names its effects without holding them: an
        // effect that hangs from no node lives only as long as a top-level
        // slot holds it.
        if (bReached && pkObject->GetParent() == nullptr && NiIsKindOf<NiDynamicEffect>(pkObject))
        {
            bReached = false;
            for (std::uint32_t i = 0; i < kStream.GetObjectCount(); ++i)
                bReached = bReached || kStream.GetObjectAt(i) == pkObject;
        }
        if (bReached)
            continue;
        bool bHeld = false;
        for (const NiAVObjectPtr& sp : m_kHeld)
            bHeld = bHeld || sp == pkObject;
        if (bHeld)
            continue;
        // Only the stream holds it: without the palette's reference the
        // entry would point at a freed object after the load. One that
        // leads back to the palette would then keep itself alive forever.
        NiObjectStream kFromEntry;
        {
            CountedWalk kWalk;
            pkObject->RegisterForSave(kFromEntry);
        }
        if (kFromEntry.GetLinkIndex(this) != NiObjectStream::NULL_LINK)
        {
            kStream.SetCorrupt();
            return;
        }
        m_kHeld.emplace_back(pkObject);
    }
}

void NiDefaultAVObjectPalette::DropCountedLinks()
{
    NiAVObjectPalette::DropCountedLinks();
    m_kHeld.clear();
}

bool NiDefaultAVObjectPalette::RegisterForSave(NiObjectStream& kStream)
{
    if (!NiAVObjectPalette::RegisterForSave(kStream))
        return false;
    if (t_bCountedWalk)
        return true;
    if (m_pkScene != nullptr)
        m_pkScene->RegisterForSave(kStream);
    for (NiHashMapPos kPos = m_kHash.GetFirstPos(); kPos != nullptr;)
    {
        const char* pcName = nullptr;
        NiAVObject* pkObject = nullptr;
        m_kHash.GetNext(kPos, pcName, pkObject);
        pkObject->RegisterForSave(kStream);
    }
    return true;
}

void NiDefaultAVObjectPalette::WriteToStream(NiObjectStream& kStream)
{
    NiAVObjectPalette::WriteToStream(kStream);
    kStream.WriteLinkID(m_pkScene);
    kStream.WriteLE(m_kHash.GetCount());
    for (NiHashMapPos kPos = m_kHash.GetFirstPos(); kPos != nullptr;)
    {
        const char* pcName = nullptr;
        NiAVObject* pkObject = nullptr;
        m_kHash.GetNext(kPos, pcName, pkObject);
        kStream.WriteString(pcName);
        kStream.WriteLinkID(pkObject);
    }
}

bool NiDefaultAVObjectPalette::IsEqual(NiObject* pkOther)
{
    if (!NiAVObjectPalette::IsEqual(pkOther))
        return false;
    auto* pk = static_cast<NiDefaultAVObjectPalette*>(pkOther);
    if (m_kHash.GetCount() != pk->m_kHash.GetCount())
        return false;
    for (NiHashMapPos kPos = m_kHash.GetFirstPos(); kPos != nullptr;)
    {
        const char* pcName = nullptr;
        NiAVObject* pkObject = nullptr;
        m_kHash.GetNext(kPos, pcName, pkObject);
        if (pk->GetAVObject(pcName) == nullptr)
            return false;
    }
    return true;
}

void NiDefaultAVObjectPalette::AppendViewerStrings(NiViewerStringArray& kStrings)
{
    NiAVObjectPalette::AppendViewerStrings(kStrings);
    kStrings.AddTail(NiViewerHeader(NiDefaultAVObjectPalette::TypeInfo()->GetName()));
}
