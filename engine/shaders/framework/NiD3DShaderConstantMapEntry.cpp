#include "engine/shaders/framework/NiD3DShaderConstantMapEntry.h"

#include <cstring>

void NiD3DShaderConstantMapEntry::SetData(std::uint32_t uiSize, std::uint32_t uiStride, const void* pvData,
                                          bool bCopy)
{
    m_uiDataSize = uiSize;
    m_uiDataStride = uiStride;
    if (!bCopy)
    {
        m_spOwned.reset();
        m_pvData = pvData;
        return;
    }
    std::unique_ptr<std::uint8_t[]> spCopy;
    if (uiSize != 0 && pvData != nullptr)
    {
        spCopy = std::make_unique<std::uint8_t[]>(uiSize);
        std::memcpy(spCopy.get(), pvData, uiSize);
    }
    // Copied before the old copy goes: the source may be that copy.
    m_spOwned = std::move(spCopy);
    m_pvData = m_spOwned.get();
}
