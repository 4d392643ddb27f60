#include "engine/render/NiDX9DynamicVertexBuffer.h"

#include <new>

NiDX9DynamicVertexBuffer* NiDX9DynamicVertexBuffer::Create(std::uint32_t uiInitialSize,
                                                           gfx::IDirect3DDevice9* pkDevice, std::uint32_t uiFVF)
{
    auto* pkBuffer = new (std::nothrow) NiDX9DynamicVertexBuffer();
    if (!pkBuffer)
        return nullptr;
    pkBuffer->m_uiFVF = uiFVF;
    pkBuffer->m_uiCapacity = RoundCapacity(uiInitialSize);
    pkBuffer->m_pkDevice = pkDevice;
    if (pkDevice)
        pkDevice->AddRef();
    return pkBuffer;
}

NiDX9DynamicVertexBuffer::~NiDX9DynamicVertexBuffer()
{
    ReleaseBuffer();
    if (m_pkDevice)
        m_pkDevice->Release();
}

void NiDX9DynamicVertexBuffer::ReleaseBuffer()
{
    if (m_pkVB)
        m_pkVB->Release();
    m_pkVB = nullptr;
}

gfx::IDirect3DVertexBuffer9* NiDX9DynamicVertexBuffer::ReserveBuffer(std::uint32_t uiSize, std::uint32_t& uiOffset,
                                                                     std::uint32_t& uiLockFlags, bool bDiscard,
                                                                     bool bSoftwareVP)
{
    if (m_uiCapacity < uiSize)
    {
        ReleaseBuffer();
        m_uiCapacity = RoundCapacity(uiSize);
    }
    if (!m_pkVB && m_pkDevice)
    {
        const std::uint32_t uiUsage = gfx::D3DUSAGE_DYNAMIC | gfx::D3DUSAGE_WRITEONLY |
                                      (bSoftwareVP ? gfx::D3DUSAGE_SOFTWAREPROCESSING : 0u);
        gfx::IDirect3DVertexBuffer9* pkVB = nullptr;
        if (gfx::SUCCEEDED(m_pkDevice->CreateVertexBuffer(m_uiCapacity, uiUsage, m_uiFVF, gfx::D3DPOOL_DEFAULT, &pkVB,
                                                     nullptr)))
        {
            m_pkVB = pkVB;
            m_uiWritePos = 0;
        }
    }
    if (!bDiscard && m_uiCapacity - m_uiWritePos >= uiSize && m_uiWritePos != 0)
    {
        uiOffset = m_uiWritePos;
        m_uiWritePos += uiSize;
        uiLockFlags = gfx::D3DLOCK_NOOVERWRITE;
    }
    else
    {
        // Offset 0 is always a fresh start.
        uiOffset = 0;
        m_uiWritePos = uiSize;
        uiLockFlags = gfx::D3DLOCK_DISCARD;
    }
    return m_pkVB;
}
