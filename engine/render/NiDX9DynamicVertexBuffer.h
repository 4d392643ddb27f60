#pragma once

#include "platform/gfx/Gfx.h"

#include <cstdint>

// One default-pool vertex buffer written front to back: appended with
// NOOVERWRITE until full, then started again at 0 with DISCARD.
class NiDX9DynamicVertexBuffer
{
public:
    // Null when memory runs out. The capacity is rounded as reservations round.
    [[nodiscard]] static NiDX9DynamicVertexBuffer* Create(std::uint32_t uiInitialSize,
                                                          gfx::IDirect3DDevice9* pkDevice, std::uint32_t uiFVF);
    ~NiDX9DynamicVertexBuffer();
    NiDX9DynamicVertexBuffer(const NiDX9DynamicVertexBuffer&) = delete;
    NiDX9DynamicVertexBuffer& operator=(const NiDX9DynamicVertexBuffer&) = delete;

    // The device buffer to write uiSize bytes into, where and with which
    // lock flags; null when the buffer cannot be made.
    gfx::IDirect3DVertexBuffer9* ReserveBuffer(std::uint32_t uiSize, std::uint32_t& uiOffset,
                                               std::uint32_t& uiLockFlags, bool bDiscard, bool bSoftwareVP);
    // Lets the device buffer go (device reset); the object stays.
    void ReleaseBuffer();

    [[nodiscard]] std::uint32_t GetCapacity() const { return m_uiCapacity; }
    [[nodiscard]] std::uint32_t GetFVF() const { return m_uiFVF; }
    [[nodiscard]] gfx::IDirect3DVertexBuffer9* GetVB() const { return m_pkVB; }
    [[nodiscard]] std::uint32_t GetWritePosition() const { return m_uiWritePos; }

    [[nodiscard]] static std::uint32_t RoundCapacity(std::uint32_t uiSize)
    {
        return (uiSize % 16 == 0) ? uiSize : (uiSize & ~15u) + 32;
    }

private:
    NiDX9DynamicVertexBuffer() = default;

    std::uint32_t m_uiFVF = 0;
    std::uint32_t m_uiCapacity = 0;
    gfx::IDirect3DDevice9* m_pkDevice = nullptr; // one reference
    gfx::IDirect3DVertexBuffer9* m_pkVB = nullptr;
    std::uint32_t m_uiWritePos = 0;
};
