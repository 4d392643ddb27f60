#pragma once

#include <cstdint>
#include <string>
#include <vector>

class NiByteStream;
class NiD3DShaderDeclaration;
class NiDX9Renderer;

// The vertex layout a shader expects: which engine vertex component goes to
// which stream and input register, in which stored type, with which
// declaration method, usage and usage index.
class NSBPackingDef
{
public:
    // Inputs: engine vertex components; a value with the top bit set is an
    // extra-data array whose index is in the low 31 bits.
    enum Input : std::uint32_t
    {
        INPUT_POSITION = 0,
        INPUT_BLENDWEIGHT = 1,
        INPUT_BLENDINDICES = 2,
        INPUT_NORMAL = 3,
        INPUT_COLOR = 4,
        INPUT_TEXCOORD0 = 5,
        INPUT_TEXCOORD7 = 12,
        INPUT_TANGENT = 13,
        INPUT_BINORMAL = 14,
        INPUT_EXTRADATA = 0x80000000,
    };
    // Usage 14: none given, the declaration picks it.
    static constexpr std::uint32_t USAGE_NONE = 14;
    static constexpr std::uint32_t TYPE_UNSET = 0x7FFFFFFF;
    // Streams a declaration can have.
    static constexpr std::uint32_t MAX_STREAMS = 64;

    struct Entry
    {
        std::uint32_t m_uiStream = 0;
        std::uint32_t m_uiRegister = 0;
        std::int32_t m_iInput = -1;
        std::uint32_t m_uiType = TYPE_UNSET;
        std::uint32_t m_uiTesselator = 0;
        std::uint32_t m_uiUsage = 0;
        std::uint32_t m_uiUsageIndex = 0;
    };

    NSBPackingDef() = default;

    [[nodiscard]] const char* GetName() const { return m_kName.empty() ? nullptr : m_kName.c_str(); }
    void SetName(const char* pcName) { m_kName = pcName ? pcName : ""; }
    [[nodiscard]] bool GetFixedFunction() const { return m_bFixedFunction; }
    void SetFixedFunction(bool bOn) { m_bFixedFunction = bOn; }

    [[nodiscard]] static const char* GetParameterName(std::int32_t iInput);
    [[nodiscard]] static const char* GetParameterTypeName(std::uint32_t uiType);
    // The declaration type for a stored type; -1 when this renderer has none.
    [[nodiscard]] static std::int32_t ConvertPackingDefType(std::uint32_t uiType);

    [[nodiscard]] std::uint32_t GetEntryCount() const { return static_cast<std::uint32_t>(m_kEntries.size()); }
    [[nodiscard]] const Entry* GetEntry(std::uint32_t uiIndex) const
    {
        return uiIndex < m_kEntries.size() ? &m_kEntries[uiIndex] : nullptr;
    }
    const Entry* GetFirstEntry();
    const Entry* GetNextEntry();

    // An entry for an existing (stream, register) is overwritten in place
    // with two warnings; else appended.
    bool AddPackingEntry(std::uint32_t uiStream, std::uint32_t uiRegister, std::int32_t iInput, std::uint32_t uiType,
                         std::uint32_t uiTesselator, std::uint32_t uiUsage, std::uint32_t uiUsageIndex);

    // The number of streams used and the most entries one stream has.
    // False when a stream is 64 or above.
    bool GetStreamInfo(std::uint32_t& uiStreamCount, std::uint32_t& uiMaxEntriesPerStream) const;

    // The place each entry takes in its stream, in list order: every stream
    // numbers its own entries, so streams 0, 1, 0 give 0, 0, 1 and a stream
    // that comes back never overwrites its first entries.
    [[nodiscard]] std::vector<std::uint32_t> GetStreamEntryIndices() const;
    // A new declaration for the renderer with every entry, each stream
    // numbering its own entries; usage 14 lets the declaration choose the
    // usage. Null when a stream is 64 or above or the renderer refuses the
    // streams.
    [[nodiscard]] NiD3DShaderDeclaration* GetShaderDeclaration(NiDX9Renderer* pkRenderer) const;

    // Name, fixed-function flag (0/1), count, seven words per entry.
    bool SaveBinary(NiByteStream& kStream) const;
    // Entries are appended as read (no overwrite check).
    bool LoadBinary(NiByteStream& kStream);

    static constexpr std::uint32_t MIN_RECORD_BYTES = 12;
    static constexpr std::uint32_t ENTRY_BYTES = 28;

private:
    std::string m_kName;
    bool m_bFixedFunction = false;
    std::vector<Entry> m_kEntries;
    std::size_t m_uiIter = 0;
};
