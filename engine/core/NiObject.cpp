#include "engine/core/NiObject.h"

#include "engine/core/NiCloneContext.h"
#include "engine/core/NiViewerStrings.h"

#include <cstring>

std::uint32_t NiCloneContext::ms_uiDefaultCopyMode = NiCloneContext::COPY_NONE;
char NiCloneContext::ms_cDefaultAppendChar = '$';

NiImplementRootTypeInfo(NiObject)

NiObject* NiObject::CreateClone(NiCloneContext&)
{
    return this;
}

void NiObject::ResolveLinks(NiObjectStream&)
{
}

void NiObject::WriteToStream(NiObjectStream&)
{
}

void NiObject::PostLink(NiObjectStream&)
{
}

bool NiObject::IsEqual(NiObject* pkOther)
{
    if (pkOther == nullptr)
        return false;
    const NiTypeInfo* pkMine = GetTypeInfo();
    const NiTypeInfo* pkTheirs = pkOther->GetTypeInfo();
    if (pkMine == nullptr || pkTheirs == nullptr)
        return pkMine == pkTheirs;
    return std::strcmp(pkMine->GetName(), pkTheirs->GetName()) == 0;
}

void NiObject::AppendViewerStrings(NiViewerStringArray& kStrings)
{
    kStrings.AddTail(NiViewerHeader(NiObject::TypeInfo()->GetName()));
    kStrings.AddTail(NiViewerPointer("this", this));
    kStrings.AddTail(NiViewerUInt("m_uiRefCount", GetRefCount()));
}

void NiObject::FinishClone(NiCloneContext& kCloning)
{
    kCloning.m_kProcessMap.SetAt(this, 1);
}

void NiObject::CopyMembers(NiObject* pkDest, NiCloneContext& kCloning)
{
    kCloning.m_kCloneMap.SetAt(this, pkDest);
}

NiObject* NiObject::Clone()
{
    NiCloneContext kCloning;
    NiObject* pkClone = CreateClone(kCloning);
    FinishClone(kCloning);
    return pkClone;
}
