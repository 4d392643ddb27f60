#pragma once

#include <cstdint>
#include <cstring>

// One record per engine class: its name and its base's record. Kind-of tests
// walk the base chain by record identity.
class NiTypeInfo
{
public:
    // No file version makes the class link-free.
    static constexpr std::uint32_t ALWAYS_LINKED = 0xFFFFFFFF;

    constexpr NiTypeInfo(const char* pcName, const NiTypeInfo* pkBase, std::uint32_t uiLinkFreeFrom = ALWAYS_LINKED)
        : m_pcName(pcName), m_pkBase(pkBase), m_uiLinkFreeFrom(uiLinkFreeFrom)
    {
    }

    [[nodiscard]] const char* GetName() const { return m_pcName; }
    [[nodiscard]] const NiTypeInfo* GetBaseTypeInfo() const { return m_pkBase; }

    // Whether objects of exactly this class, read from a file of this
    // (packed) version, have nothing to do in a load's link passes: their
    // records queue no links and take no references, and neither their
    // ResolveLinks, PostLink nor DropCountedLinks does anything. A scene
    // file's loader passes them by. The record says so for its own class
    // only: a derived class is linked unless its record says otherwise.
    // The loader's table then keeps such an object through an uncounted
    // pointer once an owner takes over the table's reference to it
    // (NiObjectStream::TakeOverTableReference): safe only while no link or
    // post-link step lets go of such an object before the load ends, so a
    // class whose link steps may drop or replace an owner's entries must
    // not declare its entries' classes link-free.
    [[nodiscard]] bool IsLinkFree(std::uint32_t uiFileVersion) const { return uiFileVersion >= m_uiLinkFreeFrom; }

    // True when this record is pkType or derives from it.
    [[nodiscard]] bool IsKindOf(const NiTypeInfo* pkType) const
    {
        for (const NiTypeInfo* p = this; p != nullptr; p = p->m_pkBase)
        {
            if (p == pkType)
                return true;
        }
        return false;
    }

private:
    const char* m_pcName;
    const NiTypeInfo* m_pkBase;
    std::uint32_t m_uiLinkFreeFrom;
};

// Declares the class's record (built on first use, so a base's record exists
// before any derived record points at it) and its GetTypeInfo override.
#define NiDeclareRootTypeInfo()                                                                                        \
public:                                                                                                                \
    static const NiTypeInfo* TypeInfo();                                                                               \
    virtual const NiTypeInfo* GetTypeInfo() const { return TypeInfo(); }

#define NiDeclareTypeInfo()                                                                                            \
public:                                                                                                                \
    static const NiTypeInfo* TypeInfo();                                                                               \
    const NiTypeInfo* GetTypeInfo() const override { return TypeInfo(); }

#define NiImplementRootTypeInfo(classname)                                                                             \
    const NiTypeInfo* classname::TypeInfo()                                                                            \
    {                                                                                                                  \
        static const NiTypeInfo s_kInfo(#classname, nullptr);                                                          \
        return &s_kInfo;                                                                                               \
    }

#define NiImplementTypeInfo(classname, basename)                                                                       \
    const NiTypeInfo* classname::TypeInfo()                                                                            \
    {                                                                                                                  \
        static const NiTypeInfo s_kInfo(#classname, basename::TypeInfo());                                             \
        return &s_kInfo;                                                                                               \
    }

// The same for a class whose objects are link-free (see
// NiTypeInfo::IsLinkFree) in files of version (packed) and later. A loaded
// object of it may be held by the load's table without a count once its
// owner takes the table's reference: no link or post-link step may let go
// of one before the load ends.
#define NiImplementLinkFreeTypeInfo(classname, basename, version)                                                      \
    const NiTypeInfo* classname::TypeInfo()                                                                            \
    {                                                                                                                  \
        static const NiTypeInfo s_kInfo(#classname, basename::TypeInfo(), version);                                    \
        return &s_kInfo;                                                                                               \
    }

// Kind-of test by record: the object when its class is pkType or derives from
// it, else null. A null object, or one without a record, gives null.
template <class T>
T* NiDynamicCast(const NiTypeInfo* pkType, T* pkObject)
{
    if (pkObject == nullptr)
        return nullptr;
    const NiTypeInfo* pkInfo = pkObject->GetTypeInfo();
    return (pkInfo != nullptr && pkInfo->IsKindOf(pkType)) ? pkObject : nullptr;
}

template <class T>
bool NiIsKindOf(const NiTypeInfo* pkType, const T* pkObject)
{
    return NiDynamicCast(pkType, pkObject) != nullptr;
}

// Typed form: NiDynamicCast<NiNode>(pkObject).
template <class To, class From>
To* NiDynamicCast(From* pkObject)
{
    return static_cast<To*>(NiDynamicCast(To::TypeInfo(), pkObject));
}

template <class To, class From>
bool NiIsKindOf(const From* pkObject)
{
    return NiDynamicCast(To::TypeInfo(), pkObject) != nullptr;
}

// Exact class test (no base walk).
template <class T>
bool NiIsExactKindOf(const NiTypeInfo* pkType, const T* pkObject)
{
    return pkObject != nullptr && pkObject->GetTypeInfo() == pkType;
}
