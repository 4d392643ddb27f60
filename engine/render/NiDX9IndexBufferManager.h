#pragma once

#include "engine/core/NiRefObject.h"
#include "engine/core/NiRefPtr.h"
#include "platform/gfx/Gfx.h"

#include <cstdint>

// Makes and fills 16-bit index buffers, and keeps the two temporary ones
// points (as quads) and line sets are drawn with.
class NiDX9IndexBufferManager : public NiRefObject
{
public:
    // Points beyond this make indices past 16 bits.
    static constexpr std::uint32_t MAX_TEMP_POINTS = 16384;
    static constexpr std::uint32_t MAX_TEMP_LINE_VERTICES = 65536;

    explicit NiDX9IndexBufferManager(gfx::IDirect3DDevice9* pkDevice);
    ~NiDX9IndexBufferManager() override;

    // The given buffer when its description still fits, else a new one
    // (uiSize then its bytes); the indices copied in. Null on failure.
    [[nodiscard]] gfx::IDirect3DIndexBuffer9* PackBuffer(const std::uint16_t* pusIndices, std::uint32_t uiCount,
                                                         gfx::IDirect3DIndexBuffer9* pkIB, std::uint32_t& uiSize,
                                                         std::uint32_t uiPool, std::uint32_t uiUsage);
    [[nodiscard]] gfx::IDirect3DIndexBuffer9* ResizeTempPointConnectivity(std::uint32_t uiPoints, bool bRefill,
                                                                          std::uint32_t uiUsage, std::uint32_t uiPool);
    [[nodiscard]] gfx::IDirect3DIndexBuffer9* ResizeTempLineConnectivity(std::uint32_t uiVertices,
                                                                         const std::uint8_t* pucFlags,
                                                                         std::uint32_t& uiIndexCount,
                                                                         std::uint32_t uiUsage, std::uint32_t uiPool);
    // Device reset: the temporary buffers go, and come back on the next draw.
    void ReleaseAllBuffers();

    [[nodiscard]] gfx::IDirect3DIndexBuffer9* GetTempPointBuffer() const { return m_pkPointIB; }
    [[nodiscard]] gfx::IDirect3DIndexBuffer9* GetTempLineBuffer() const { return m_pkLineIB; }

private:
    [[nodiscard]] bool Matches(gfx::IDirect3DIndexBuffer9* pkIB, std::uint32_t uiBytes, std::uint32_t uiUsage,
                               std::uint32_t uiPool) const;
    [[nodiscard]] gfx::IDirect3DIndexBuffer9* Create(std::uint32_t uiBytes, std::uint32_t uiUsage,
                                                     std::uint32_t uiPool);

    gfx::IDirect3DDevice9* m_pkDevice = nullptr; // one reference
    gfx::IDirect3DIndexBuffer9* m_pkPointIB = nullptr;
    std::uint32_t m_uiPointIBSize = 0;
    gfx::IDirect3DIndexBuffer9* m_pkLineIB = nullptr;
    std::uint32_t m_uiLineIBSize = 0;
};

using NiDX9IndexBufferManagerPtr = NiRefPtr<NiDX9IndexBufferManager>;
