#pragma once

#include "engine/core/NiRefObject.h"
#include "engine/core/NiRefPtr.h"
#include "engine/shaders/framework/NiD3DShaderConstantMapEntry.h"

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

class NiByteStream;
class NiD3DPixelShaderConstantMap;
class NiD3DShaderConstantMap;
class NiD3DVertexShaderConstantMap;
class NiDX9Renderer;
class NiShaderDesc;

// Shader-constant mappings of an implementation or pass, renderer
// independent: a list for every platform and one per platform bit.
class NSBConstantMap : public NiRefObject
{
public:
    // The stored mapping is the renderer's own entry record.
    using Entry = NiD3DShaderConstantMapEntry;

    // Program kinds.
    static constexpr std::uint32_t PROGRAM_NONE = 0;
    static constexpr std::uint32_t PROGRAM_PIXEL = 1;
    static constexpr std::uint32_t PROGRAM_VERTEX = 2;

    // Platform bits choosing the lists.
    static constexpr std::uint32_t PLATFORM_DX8 = 0x1;
    static constexpr std::uint32_t PLATFORM_DX9 = 0x2;
    static constexpr std::uint32_t PLATFORM_XBOX = 0x4;
    static constexpr std::uint32_t PLATFORM_XENON = 0x8; // reads the DX9 list

    NSBConstantMap() = default;
    ~NSBConstantMap() override = default;

    [[nodiscard]] std::uint32_t GetProgramType() const { return m_uiProgramType; }
    void SetProgramType(std::uint32_t uiType) { m_uiProgramType = uiType; }

    // Appended to the common list; a key already there (exact case) is
    // refused with an error report.
    virtual bool AddEntry(const char* pcKey, std::uint32_t uiFlags, std::uint32_t uiExtra, std::uint32_t uiRegister,
                          std::uint32_t uiRegisterCount, const char* pcVariableName, std::uint32_t uiDataSize,
                          std::uint32_t uiDataStride, const void* pvData, bool bCopyData);
    // Added to the DX8, DX9 and bit-4 lists the bits name, in that order;
    // a list already holding the key refuses silently. False when any
    // requested addition failed.
    virtual bool AddPlatformSpecificEntry(std::uint32_t uiPlatforms, const char* pcKey, std::uint32_t uiFlags,
                                          std::uint32_t uiExtra, std::uint32_t uiRegister,
                                          std::uint32_t uiRegisterCount, const char* pcVariableName,
                                          std::uint32_t uiDataSize, std::uint32_t uiDataStride, const void* pvData,
                                          bool bCopyData);

    // Common list, exact key; null or -1 when absent.
    [[nodiscard]] Entry* FindEntry(const char* pcKey) const;
    [[nodiscard]] std::int32_t GetEntryIndex(const char* pcKey) const;
    [[nodiscard]] std::uint32_t GetEntryCount() const { return GetListCount(LIST_COMMON); }
    Entry* GetFirstEntry() { return First(LIST_COMMON); }
    Entry* GetNextEntry() { return Next(LIST_COMMON); }
    // The list a platform selects: 1 DX8, 2 or 8 DX9, 4 the bit-4 list;
    // any other value none.
    [[nodiscard]] std::uint32_t GetPlatformEntryCount(std::uint32_t uiPlatform) const;
    Entry* GetFirstPlatformEntry(std::uint32_t uiPlatform);
    Entry* GetNextPlatformEntry(std::uint32_t uiPlatform);

    // A new renderer map of the common entries, then the DX9 ones; null
    // without a renderer, for another program kind or when every list is
    // empty. An entry that fails is reported and left out. Constant,
    // defined and operator entries lend their data, so this map must
    // outlive the result.
    virtual NiD3DPixelShaderConstantMap* GetD3DSCM_Pixel(NiDX9Renderer* pkRenderer, const NiShaderDesc* pkDesc);
    virtual NiD3DVertexShaderConstantMap* GetD3DSCM_Vertex(NiDX9Renderer* pkRenderer, const NiShaderDesc* pkDesc);

    // Program kind, then the four lists.
    virtual bool SaveRecord(NiByteStream& kStream);
    virtual bool LoadRecord(NiByteStream& kStream);
    // The four lists (the platform lists from version 0x00010004 on).
    virtual bool SaveBinary(NiByteStream& kStream);
    virtual bool LoadBinary(NiByteStream& kStream);

    // With the presence word: 0 for none, else 1 and the record. A map
    // that fails to read is released and the slot left empty.
    static bool SaveOptional(NiByteStream& kStream, NSBConstantMap* pkMap);
    static bool LoadOptional(NiByteStream& kStream, NiRefPtr<NSBConstantMap>& spMap);

    // The smallest entry record (no variable name, no data).
    static constexpr std::uint32_t MIN_ENTRY_BYTES = 32;

protected:
    enum List : std::uint32_t
    {
        LIST_COMMON,
        LIST_DX8,
        LIST_DX9,
        LIST_XBOX,
        LIST_COUNT,
        LIST_NONE = LIST_COUNT,
    };
    static List PlatformList(std::uint32_t uiPlatform);
    // Exact; an unset key is "".
    static bool SameKey(const Entry& kEntry, const char* pcKey);
    static bool WriteText(NiByteStream& kStream, const char* pcText);
    [[nodiscard]] std::uint32_t GetListCount(List eList) const
    {
        return eList < LIST_COUNT ? static_cast<std::uint32_t>(m_akLists[eList].size()) : 0;
    }
    [[nodiscard]] Entry* FindInList(List eList, const char* pcKey) const;
    Entry* First(List eList);
    Entry* Next(List eList);
    void Append(List eList, const char* pcKey, std::uint32_t uiFlags, std::uint32_t uiExtra, std::uint32_t uiRegister,
                std::uint32_t uiRegisterCount, const char* pcVariableName, std::uint32_t uiDataSize,
                std::uint32_t uiDataStride, const void* pvData, bool bCopyData);
    bool SaveList(NiByteStream& kStream, List eList) const;
    // One entry into the renderer map; the pixel side gives attribute
    // entries no extra.
    static bool ConvertEntry(NiD3DShaderConstantMap& kMap, const Entry& kEntry, const NiShaderDesc* pkDesc,
                             bool bPixel);
    void ConvertLists(NiD3DShaderConstantMap& kMap, const NiShaderDesc* pkDesc, bool bPixel, const char* pcCaller) const;
    bool LoadList(NiByteStream& kStream, List eList);

    std::uint32_t m_uiProgramType = PROGRAM_NONE;
    std::vector<NiD3DShaderConstantMapEntryPtr> m_akLists[LIST_COUNT];
    std::size_t m_auiIter[LIST_COUNT] = {};
};

using NSBConstantMapPtr = NiRefPtr<NSBConstantMap>;
