#pragma once

#include <cstdint>

// What one packing function is given: the source element, the destination
// element and how many vertices to convert.
struct NiDX9PackingRecord
{
    std::uint32_t m_uiType = 17;                 // destination declaration type
    std::uint32_t m_uiKind = 0;                  // source kind: 4 x group + components
    std::uint32_t m_uiVertexCount = 0;
    const std::uint16_t* m_pusVertexMap = nullptr; // vertex i reads source element map[i]
    const void* m_pvSource = nullptr;            // none: every element gets the fill value
    std::uint32_t m_uiSourceSize = 0;
    std::uint32_t m_uiSourceStride = 0;
    std::uint32_t m_uiDestSize = 0;
    std::uint32_t m_uiDestStride = 0;
    void* m_pvDest = nullptr;
    // Elements the source holds (0: not known); a mapped index at or past it
    // reads nothing and gets the fill value.
    std::uint32_t m_uiSourceCount = 0;
};

// Bytes written: vertex count x destination element size, or 0.
using NiDX9PackingFunction = std::uint32_t (*)(const NiDX9PackingRecord& kRecord);

// Per declaration type (0-17) and source kind (0-32), the function that
// converts the source into the element; filled once by the renderer
// library's start-up and emptied by its shut-down.
class NiDX9PackingRegistry
{
public:
    static constexpr std::uint32_t TYPE_COUNT = 17; // FLOAT1 to FLOAT16_4
    static constexpr std::uint32_t ENTRY_COUNT = 18; // plus the unused type
    static constexpr std::uint32_t KIND_COUNT = 33;
    static constexpr std::uint32_t TYPE_UNUSED = 17;
    static constexpr std::uint32_t TYPE_D3DCOLOR = 4;

    // Fills the sizes and every entry; nothing when it is already filled.
    static void Create();
    static void Destroy();
    [[nodiscard]] static bool IsCreated();
    // 0 for the unused type and out-of-range values.
    [[nodiscard]] static std::uint32_t GetTypeSize(std::uint32_t uiType);
    // Null outside the table, before Create or where no function exists.
    [[nodiscard]] static NiDX9PackingFunction GetFunction(std::uint32_t uiType, std::uint32_t uiKind);
    static void SetFunction(std::uint32_t uiType, std::uint32_t uiKind, NiDX9PackingFunction pfn);
};

// The shader framework's vertex declaration. For now only the choice of
// packing function per declaration type and source kind.
class NiD3DShaderDeclaration
{
public:
    // Stores the function for the pair in the packing registry: kind 0
    // writes nothing for every type; FLOAT1-4 and D3DCOLOR convert; the
    // integer types have none yet.
    static void InitPackingFunctions(std::uint32_t uiType, std::uint32_t uiKind);
};
