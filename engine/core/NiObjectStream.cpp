#include "engine/core/NiObjectStream.h"

#include "engine/core/NiByteStream.h"
#include "engine/core/NiEndian.h"

namespace
{
// The table's bucket hash: h * 33 + c over the name's bytes taken as signed
// chars, in unsigned 32-bit arithmetic.
class NiCreateFunctionTable : public NiStringHashMap<void>
{
public:
    NiCreateFunctionTable() : NiStringHashMap<void>(NiObjectStream::CREATE_TABLE_BUCKETS, false) {}
};

NiCreateFunctionTable* s_pkCreateTable = nullptr;
NiSparsePtrArray<NiPostLoadCallback>* s_pkPostLoad = nullptr;
} // namespace

NiObjectStream::NiObjectStream() = default;

NiObjectStream::~NiObjectStream()
{
    for (std::uint32_t i = 0; i < m_kObjects.GetSize(); ++i)
    {
        if (NiObject* pkObject = m_kObjects.GetAt(i))
            pkObject->DecRefCount();
    }
    for (std::uint32_t i = 0; i < m_kGroups.GetSize(); ++i)
    {
        if (NiBlockGroup* pkGroup = m_kGroups.GetAt(i))
        {
            delete[] pkGroup->m_pucBuffer;
            delete pkGroup;
        }
    }
}

bool NiObjectStream::RegisterObject(NiObject* pkObject)
{
    if (pkObject == nullptr)
        return false;
    void* pvIndex = nullptr;
    if (m_kRegisterMap.GetAt(pkObject, pvIndex))
        return false;
    std::uint32_t uiIndex = m_kObjects.GetSize();
    m_kRegisterMap.SetAt(pkObject, reinterpret_cast<void*>(static_cast<std::uintptr_t>(uiIndex)));
    pkObject->IncRefCount();
    m_kObjects.AddTail(pkObject);
    return true;
}

std::uint32_t NiObjectStream::GetLinkIndex(const NiObject* pkObject) const
{
    void* pvIndex = nullptr;
    if (pkObject == nullptr || !m_kRegisterMap.GetAt(pkObject, pvIndex))
        return NULL_LINK;
    return static_cast<std::uint32_t>(reinterpret_cast<std::uintptr_t>(pvIndex));
}

NiBlockGroup* NiObjectStream::GetBlockGroup(std::uint32_t uiIndex) const
{
    if (uiIndex == 0)
        return nullptr;
    return m_kGroups.GetAt(uiIndex - 1);
}

void NiObjectStream::StaticInit()
{
    if (s_pkCreateTable == nullptr)
        s_pkCreateTable = new NiCreateFunctionTable;
    if (s_pkPostLoad == nullptr)
        s_pkPostLoad = new NiSparsePtrArray<NiPostLoadCallback>(0, 3);
}

void NiObjectStream::StaticShutdown()
{
    delete s_pkCreateTable;
    s_pkCreateTable = nullptr;
    delete s_pkPostLoad;
    s_pkPostLoad = nullptr;
}

bool NiObjectStream::IsStaticInitialized()
{
    return s_pkCreateTable != nullptr;
}

bool NiObjectStream::RegisterCreateFunction(const char* pcClassName, NiCreateFunction pfnCreate)
{
    if (s_pkCreateTable == nullptr || pcClassName == nullptr)
        return false;
    s_pkCreateTable->SetAt(pcClassName, reinterpret_cast<void*>(pfnCreate));
    return true;
}

bool NiObjectStream::UnregisterCreateFunction(const char* pcClassName)
{
    return s_pkCreateTable != nullptr && s_pkCreateTable->RemoveAt(pcClassName);
}

NiCreateFunction NiObjectStream::GetCreateFunction(const char* pcClassName)
{
    void* pv = nullptr;
    if (s_pkCreateTable == nullptr || !s_pkCreateTable->GetAt(pcClassName, pv))
        return nullptr;
    return reinterpret_cast<NiCreateFunction>(pv);
}

NiObject* NiObjectStream::CreateObjectByName(const char* pcClassName)
{
    NiCreateFunction pfnCreate = GetCreateFunction(pcClassName);
    return pfnCreate ? pfnCreate() : nullptr;
}

std::uint32_t NiObjectStream::GetCreateFunctionBucket(const char* pcClassName)
{
    std::uint32_t h = 0;
    for (const char* pc = pcClassName; pc && *pc; ++pc)
        h = h * 33u + static_cast<std::uint32_t>(static_cast<int>(static_cast<signed char>(*pc)));
    return h % CREATE_TABLE_BUCKETS;
}

void NiObjectStream::RegisterPostLoadCallback(NiPostLoadCallback pfnCallback)
{
    if (s_pkPostLoad != nullptr && pfnCallback != nullptr)
        s_pkPostLoad->AddFirstEmpty(pfnCallback);
}

void NiObjectStream::UnregisterPostLoadCallback(NiPostLoadCallback pfnCallback)
{
    if (s_pkPostLoad == nullptr)
        return;
    for (std::uint32_t i = 0; i < s_pkPostLoad->GetSize(); ++i)
    {
        if (s_pkPostLoad->GetAt(i) == pfnCallback)
        {
            s_pkPostLoad->RemoveAt(i);
            return;
        }
    }
}

const NiSparsePtrArray<NiPostLoadCallback>* NiObjectStream::GetPostLoadCallbacks()
{
    return s_pkPostLoad;
}

// NiObject's own record part: old files carry an allocation-group index.
void NiObject::ReadFromStream(NiObjectStream& kStream)
{
    std::uint32_t uiVersion = kStream.GetFileVersion();
    if (uiVersion >= NiStreamVersion(5, 0, 0, 6) && uiVersion < NiStreamVersion(10, 1, 0, 114))
    {
        std::uint32_t uiGroup = 0;
        NiByteStream* pkIn = kStream.GetInStream();
        if (pkIn != nullptr && NiReadLE(*pkIn, uiGroup))
            SetBlockGroup(kStream.GetBlockGroup(uiGroup));
    }
}

bool NiObject::RegisterForSave(NiObjectStream& kStream)
{
    return kStream.RegisterObject(this);
}
