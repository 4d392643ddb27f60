#pragma once

#include "engine/core/NiObject.h"
#include "engine/core/NiObjectStream.h"

#include <cstdint>

// A small named object carrying application data on a named object. The
// base class is itself usable: a name without payload.
class NiExtraData : public NiObject
{
    NiDeclareTypeInfo()

public:
    NiExtraData() = default;
    // A null or empty name leaves the object unnamed.
    explicit NiExtraData(const char* pcName);
    ~NiExtraData() override;

    void SetName(const char* pcName);
    [[nodiscard]] const char* GetName() const { return m_pcName; }

    // From files of 5.0.0.11 on, entries are named records of their own that
    // link to nothing (before, they chained to the next): the plain value
    // classes are link-free from then on. Their first owner in a load takes
    // over the load table's reference, and the table keeps an uncounted
    // pointer: no owner's link or post-link step may remove or replace an
    // entry before the load ends (NiObjectNET::ResolveLinks only adds).
    static constexpr std::uint32_t LINK_FREE_VERSION = NiStreamVersion(5, 0, 0, 11);

    // Whether the entry is written with its owner, and copied when the owner
    // is cloned.
    [[nodiscard]] virtual bool IsStreamable() const { return true; }
    [[nodiscard]] virtual bool IsCloneable() const { return true; }

    // Files before 5.0.0.11 chain an owner's entries; the owner collects
    // them after the link pass and clears the links. Only valid while a load
    // runs (the file's object table keeps the entries alive).
    [[nodiscard]] NiExtraData* GetOldNext() const { return m_pkOldNext; }
    void ClearOldNext() { m_pkOldNext = nullptr; }

    void ReadFromStream(NiObjectStream& kStream) override;
    void ResolveLinks(NiObjectStream& kStream) override;
    bool RegisterForSave(NiObjectStream& kStream) override;
    void WriteToStream(NiObjectStream& kStream) override;
    // Class names, then the names (both absent is equal).
    bool IsEqual(NiObject* pkOther) override;
    void AppendViewerStrings(NiViewerStringArray& kStrings) override;

protected:
    void CopyMembers(NiExtraData* pkDest, NiCloneContext& kCloning);
    // The payload test of the subclasses: the classes must match, the names
    // are not compared.
    bool IsEqualClass(NiObject* pkOther) { return NiObject::IsEqual(pkOther); }


    char* m_pcName = nullptr;
    NiExtraData* m_pkOldNext = nullptr;

private:
    // The rest of the record in files before 5.0.0.11: the link to the next
    // entry and the bytes of a plain entry.
    void ReadOldRecord(NiObjectStream& kStream);
};

// Every entry's record starts with this part, and a load reads entries by
// the ten thousand: inline in the entries' own reads.
inline void NiExtraData::ReadFromStream(NiObjectStream& kStream)
{
    kStream.ReadObjectPart(*this); // NiObject's part
    if (kStream.GetFileVersion() < LINK_FREE_VERSION)
    {
        ReadOldRecord(kStream);
        return;
    }
    char* pcName = kStream.ReadArenaString().release();
    if (m_pcName != nullptr)
        NiLoadArena::Free(m_pcName);
    m_pcName = pcName;
}

using NiExtraDataPtr = NiRefPtr<NiExtraData>;
