#include "engine/render/NiDX9IndexBufferManager.h"

#include <cstring>

NiDX9IndexBufferManager::NiDX9IndexBufferManager(gfx::IDirect3DDevice9* pkDevice) : m_pkDevice(pkDevice)
{
    if (m_pkDevice)
        m_pkDevice->AddRef();
}

NiDX9IndexBufferManager::~NiDX9IndexBufferManager()
{
    if (m_pkDevice)
        m_pkDevice->SetIndices(nullptr);
    ReleaseAllBuffers();
    if (m_pkDevice)
        m_pkDevice->Release();
}

void NiDX9IndexBufferManager::ReleaseAllBuffers()
{
    if (m_pkPointIB)
        m_pkPointIB->Release();
    if (m_pkLineIB)
        m_pkLineIB->Release();
    m_pkPointIB = m_pkLineIB = nullptr;
    m_uiPointIBSize = m_uiLineIBSize = 0;
}

bool NiDX9IndexBufferManager::Matches(gfx::IDirect3DIndexBuffer9* pkIB, std::uint32_t uiBytes, std::uint32_t uiUsage,
                                      std::uint32_t uiPool) const
{
    gfx::D3DINDEXBUFFER_DESC kDesc{};
    return pkIB && gfx::SUCCEEDED(pkIB->GetDesc(&kDesc)) && kDesc.Format == gfx::D3DFMT_INDEX16 &&
           kDesc.Type == gfx::D3DRTYPE_INDEXBUFFER && kDesc.Usage == uiUsage && kDesc.Pool == uiPool &&
           kDesc.Size >= uiBytes;
}

gfx::IDirect3DIndexBuffer9* NiDX9IndexBufferManager::Create(std::uint32_t uiBytes, std::uint32_t uiUsage,
                                                            std::uint32_t uiPool)
{
    gfx::IDirect3DIndexBuffer9* pkIB = nullptr;
    if (gfx::FAILED(m_pkDevice->CreateIndexBuffer(uiBytes, uiUsage, gfx::D3DFMT_INDEX16, uiPool, &pkIB, nullptr)))
        return nullptr;
    return pkIB;
}

gfx::IDirect3DIndexBuffer9* NiDX9IndexBufferManager::PackBuffer(const std::uint16_t* pusIndices,
                                                                std::uint32_t uiCount,
                                                                gfx::IDirect3DIndexBuffer9* pkIB,
                                                                std::uint32_t& uiSize, std::uint32_t uiPool,
                                                                std::uint32_t uiUsage)
{
    if (!m_pkDevice || !pusIndices)
        return nullptr;
    const std::uint32_t uiBytes = uiCount * 2;
    const bool bMade = !Matches(pkIB, uiBytes, uiUsage, uiPool);
    if (bMade)
    {
        // A given buffer not reused stays the caller's.
        pkIB = Create(uiBytes, uiUsage, uiPool);
        if (!pkIB)
            return nullptr;
        uiSize = uiBytes;
    }
    void* pv = nullptr;
    if (gfx::FAILED(pkIB->Lock(0, uiBytes, &pv, 0)) || !pv)
    {
        pkIB->Unlock();
        if (bMade) // the caller's own buffer is the caller's to release
            pkIB->Release();
        return nullptr;
    }
    std::memcpy(pv, pusIndices, uiBytes);
    pkIB->Unlock();
    return pkIB;
}

gfx::IDirect3DIndexBuffer9* NiDX9IndexBufferManager::ResizeTempPointConnectivity(std::uint32_t uiPoints,
                                                                                  bool bRefill,
                                                                                  std::uint32_t uiUsage,
                                                                                  std::uint32_t uiPool)
{
    // Four vertices per point: more points than this would wrap 16-bit indices.
    if (!m_pkDevice || uiPoints == 0 || uiPoints > MAX_TEMP_POINTS)
        return nullptr;
    const std::uint32_t uiBytes = uiPoints * 12;
    if (Matches(m_pkPointIB, uiBytes, uiUsage, uiPool))
    {
        if (!bRefill)
            return m_pkPointIB;
    }
    else
    {
        if (m_pkPointIB)
            m_pkPointIB->Release();
        m_pkPointIB = Create(uiBytes, uiUsage, uiPool);
        m_uiPointIBSize = m_pkPointIB ? uiBytes : 0;
        if (!m_pkPointIB)
            return nullptr;
    }
    void* pv = nullptr;
    if (gfx::FAILED(m_pkPointIB->Lock(0, uiBytes, &pv, 0)) || !pv)
    {
        m_pkPointIB->Unlock();
        m_pkPointIB->Release();
        m_pkPointIB = nullptr;
        m_uiPointIBSize = 0;
        return nullptr;
    }
    auto* pus = static_cast<std::uint16_t*>(pv);
    for (std::uint32_t i = 0; i < uiPoints; ++i)
    {
        const auto us = static_cast<std::uint16_t>(4 * i);
        const std::uint16_t ausQuad[6] = {us, std::uint16_t(us + 1), std::uint16_t(us + 2),
                                          us, std::uint16_t(us + 2), std::uint16_t(us + 3)};
        std::memcpy(pus + 6 * std::size_t(i), ausQuad, sizeof(ausQuad));
    }
    m_pkPointIB->Unlock();
    return m_pkPointIB;
}

gfx::IDirect3DIndexBuffer9* NiDX9IndexBufferManager::ResizeTempLineConnectivity(std::uint32_t uiVertices,
                                                                                 const std::uint8_t* pucFlags,
                                                                                 std::uint32_t& uiIndexCount,
                                                                                 std::uint32_t uiUsage,
                                                                                 std::uint32_t uiPool)
{
    if (!m_pkDevice || uiVertices == 0 || !pucFlags || uiVertices > MAX_TEMP_LINE_VERTICES)
        return nullptr;
    const std::uint32_t uiBytes = uiVertices * 4 + 4;
    if (!Matches(m_pkLineIB, uiBytes, uiUsage, uiPool))
    {
        if (m_pkLineIB)
            m_pkLineIB->Release();
        m_pkLineIB = Create(uiBytes, uiUsage, uiPool);
        m_uiLineIBSize = m_pkLineIB ? uiBytes : 0;
        if (!m_pkLineIB)
            return nullptr;
    }
    void* pv = nullptr;
    if (gfx::FAILED(m_pkLineIB->Lock(0, uiBytes, &pv, 0)) || !pv)
    {
        m_pkLineIB->Unlock();
        m_pkLineIB->Release();
        m_pkLineIB = nullptr;
        m_uiLineIBSize = 0;
        return nullptr;
    }
    auto* pus = static_cast<std::uint16_t*>(pv);
    uiIndexCount = 0;
    for (std::uint32_t i = 0; i + 1 < uiVertices; ++i)
    {
        if (pucFlags[i])
        {
            pus[uiIndexCount++] = std::uint16_t(i);
            pus[uiIndexCount++] = std::uint16_t(i + 1);
        }
    }
    if (pucFlags[uiVertices - 1])
    {
        pus[uiIndexCount++] = std::uint16_t(uiVertices - 1);
        pus[uiIndexCount++] = 0;
    }
    m_pkLineIB->Unlock();
    return m_pkLineIB;
}
