#pragma once

#include "engine/core/NiRefObject.h"
#include "engine/core/NiRefPtr.h"
#include "engine/core/NiSparsePtrArray.h"
#include "engine/core/NiTypeInfo.h"

#include <cstdint>

class NiCloneContext;
class NiObjectStream;
struct NiBlockGroup;

// Viewer strings are heap strings collected in an array the caller owns.
using NiViewerStringArray = NiSparsePtrArray<char*>;

// Base of every streamable engine class: cloning, equality, viewer strings
// and the scene-file record. The virtual operations keep this order.
class NiObject : public NiRefObject
{
    NiDeclareRootTypeInfo()

public:
    NiObject() = default;
    ~NiObject() override = default;

    // Makes the copy of this object; concrete classes return a new object of
    // their own class filled by their copy-members routine.
    virtual NiObject* CreateClone(NiCloneContext& kCloning);
    // Reads/links/writes this class's part of the record (each class after
    // its base's part). The stream keeps any error.
    virtual void ReadFromStream(NiObjectStream& kStream);
    virtual void ResolveLinks(NiObjectStream& kStream);
    // False when the object was registered already; subclasses stop then.
    virtual bool RegisterForSave(NiObjectStream& kStream);
    virtual void WriteToStream(NiObjectStream& kStream);
    virtual bool IsEqual(NiObject* pkOther);
    virtual void AppendViewerStrings(NiViewerStringArray& kStrings);
    virtual void Reserved() {}
    virtual void FinishClone(NiCloneContext& kCloning);
    virtual void PostLink(NiObjectStream& kStream);
    virtual std::uint32_t GetBlockAllocationSize() const { return 0; }
    virtual NiBlockGroup* GetBlockGroup() const { return nullptr; }
    virtual void SetBlockGroup(NiBlockGroup*) {}
    // A failed load asks every object it created to let go of the counted
    // references it took while loading, before the stream lets go of its
    // own: links the file made between its records, even loops, then free
    // everything. Classes that take such references implement it.
    virtual void DropCountedLinks() {}

    // Two-pass clone: CreateClone, then FinishClone on this source.
    NiObject* Clone();
    // A copy made by saving this object to memory and loading it back; null
    // when either fails.
    [[nodiscard]] NiRefPtr<NiObject> DeepCopy();

protected:
    // Records (this -> copy) in the clone map. Each class's copy routine
    // calls its base's first, then copies its own members.
    void CopyMembers(NiObject* pkDest, NiCloneContext& kCloning);
};

using NiObjectPtr = NiRefPtr<NiObject>;

// Declares the pair a concrete class needs to clone itself.
#define NiDeclareClone(classname)                                                                                      \
public:                                                                                                                \
    NiObject* CreateClone(NiCloneContext& kCloning) override;                                                          \
                                                                                                                       \
protected:                                                                                                             \
    void CopyMembers(classname* pkDest, NiCloneContext& kCloning);                                                     \
                                                                                                                       \
public:

#define NiImplementCreateClone(classname)                                                                              \
    NiObject* classname::CreateClone(NiCloneContext& kCloning)                                                         \
    {                                                                                                                  \
        classname* pkClone = new classname;                                                                            \
        CopyMembers(pkClone, kCloning);                                                                                \
        return pkClone;                                                                                                \
    }
