#pragma once

#include "engine/core/NiHashMap.h"
#include "engine/core/NiObject.h"
#include "engine/core/NiSparsePtrArray.h"

#include <cstdint>

class NiByteStream;
class NiObject;
class NiObjectStream;

using NiCreateFunction = NiObject* (*)();
using NiPostLoadCallback = void (*)(NiObjectStream& kStream, NiObject* pkTopObject);

// Allocation group of old files: a byte budget and a buffer.
struct NiBlockGroup
{
    std::uint32_t m_uiSize = 0;
    std::uint8_t* m_pucBuffer = nullptr;
    std::uint8_t* m_pucCursor = nullptr;
    std::uint32_t m_uiSpare = 0;
};

// Packs a.b.c.d into the 32-bit form files store and compare.
constexpr std::uint32_t NiStreamVersion(std::uint32_t a, std::uint32_t b, std::uint32_t c, std::uint32_t d)
{
    return (a << 24) | (b << 16) | (c << 8) | d;
}

// The binary scene-file stream.
class NiObjectStream
{
public:
    // The version every save writes.
    static constexpr std::uint32_t CURRENT_VERSION = NiStreamVersion(10, 2, 0, 0);
    static constexpr const char* CURRENT_VERSION_STRING = "10.2.0.0";
    static constexpr std::uint32_t NULL_LINK = 0xFFFFFFFF;
    static constexpr std::uint32_t CREATE_TABLE_BUCKETS = 59;

    NiObjectStream();
    virtual ~NiObjectStream();
    NiObjectStream(const NiObjectStream&) = delete;
    NiObjectStream& operator=(const NiObjectStream&) = delete;

    [[nodiscard]] std::uint32_t GetFileVersion() const { return m_uiFileVersion; }
    void SetFileVersion(std::uint32_t uiVersion) { m_uiFileVersion = uiVersion; }
    [[nodiscard]] NiByteStream* GetInStream() const { return m_pkIstr; }
    [[nodiscard]] NiByteStream* GetOutStream() const { return m_pkOstr; }

    // False when the object is registered already.
    virtual bool RegisterObject(NiObject* pkObject);
    [[nodiscard]] std::uint32_t GetLinkIndex(const NiObject* pkObject) const;
    // Group of a file's group index; index 0 and unknown indices give null.
    [[nodiscard]] NiBlockGroup* GetBlockGroup(std::uint32_t uiIndex) const;

    // Process-wide create-function table and post-load callback list, alive
    // from the core start-up to its shut-down.
    static void StaticInit();
    static void StaticShutdown();
    [[nodiscard]] static bool IsStaticInitialized();
    // The table keeps the caller's name pointer: names must outlive entries.
    static bool RegisterCreateFunction(const char* pcClassName, NiCreateFunction pfnCreate);
    static bool UnregisterCreateFunction(const char* pcClassName);
    [[nodiscard]] static NiCreateFunction GetCreateFunction(const char* pcClassName);
    [[nodiscard]] static NiObject* CreateObjectByName(const char* pcClassName);
    // Bucket of a class name in the create-function table.
    [[nodiscard]] static std::uint32_t GetCreateFunctionBucket(const char* pcClassName);
    static void RegisterPostLoadCallback(NiPostLoadCallback pfnCallback);
    static void UnregisterPostLoadCallback(NiPostLoadCallback pfnCallback);
    [[nodiscard]] static const NiSparsePtrArray<NiPostLoadCallback>* GetPostLoadCallbacks();

protected:
    std::uint32_t m_uiFileVersion = CURRENT_VERSION;
    std::uint32_t m_uiUserVersion = 0;
    NiByteStream* m_pkIstr = nullptr;
    NiByteStream* m_pkOstr = nullptr;
    NiSparsePtrArray<NiObject*> m_kObjects{0, 1024};
    NiTPointerMap<NiObject, void> m_kRegisterMap{37};
    NiSparsePtrArray<NiBlockGroup*> m_kGroups{0, 1};
};
