#include "engine/render/NiDX9ShaderConstantCache.h"

#include "engine/render/NiDX9RenderState.h"
#include "engine/render/NiDX9Renderer.h"

#include <algorithm>
#include <cstring>

namespace
{
// Vertex float registers a device processing vertices in software offers.
constexpr std::uint32_t SOFTWARE_VERTEX_FLOATS = 8192;

std::uint32_t Major(std::uint32_t uiVersion)
{
    return (uiVersion >> 8) & 0xFF;
}
} // namespace

void NiD3DShaderConstantCache::RegisterFile::Size(std::uint32_t uiCount, std::uint32_t uiWidth)
{
    m_uiCount = uiCount;
    m_uiWidth = uiWidth;
    m_kValues.assign(std::size_t(uiCount) * uiWidth, 0);
    m_kSaved.assign(std::size_t(uiCount) * uiWidth, 0);
    Clean();
}

bool NiD3DShaderConstantCache::Set(Kind eKind, Stage eStage, std::uint32_t uiFirst, const void* pvValues,
                                   std::uint32_t uiCount, bool bSave)
{
    RegisterFile& kFile = m_akFiles[eKind][eStage];
    // Compared without adding: a first register near 2^32 must not wrap
    // into range.
    if (uiFirst > kFile.m_uiCount || uiCount > kFile.m_uiCount - uiFirst)
        return false;
    if (uiCount == 0)
        return true;
    if (pvValues == nullptr)
        return false;
    const std::size_t uiStart = std::size_t(uiFirst) * kFile.m_uiWidth;
    const std::size_t uiWords = std::size_t(uiCount) * kFile.m_uiWidth;
    if (bSave)
        std::copy_n(kFile.m_kValues.begin() + std::ptrdiff_t(uiStart), uiWords,
                    kFile.m_kSaved.begin() + std::ptrdiff_t(uiStart));
    std::memcpy(kFile.m_kValues.data() + uiStart, pvValues, uiWords * sizeof(std::uint32_t));
    kFile.m_uiDirtyFirst = std::min(kFile.m_uiDirtyFirst, uiFirst);
    kFile.m_uiDirtyEnd = std::max(kFile.m_uiDirtyEnd, uiFirst + uiCount);
    return true;
}

bool NiD3DShaderConstantCache::SetVertexConstantsF(std::uint32_t uiFirst, const float* pfValues,
                                                   std::uint32_t uiCount, bool bSave)
{
    return Set(KIND_FLOAT, STAGE_VERTEX, uiFirst, pfValues, uiCount, bSave);
}

bool NiD3DShaderConstantCache::SetVertexConstantsI(std::uint32_t uiFirst, const std::int32_t* piValues,
                                                   std::uint32_t uiCount, bool bSave)
{
    return Set(KIND_INT, STAGE_VERTEX, uiFirst, piValues, uiCount, bSave);
}

bool NiD3DShaderConstantCache::SetVertexConstantsB(std::uint32_t uiFirst, const std::int32_t* piValues,
                                                   std::uint32_t uiCount, bool bSave)
{
    return Set(KIND_BOOL, STAGE_VERTEX, uiFirst, piValues, uiCount, bSave);
}

bool NiD3DShaderConstantCache::SetPixelConstantsF(std::uint32_t uiFirst, const float* pfValues,
                                                  std::uint32_t uiCount, bool bSave)
{
    return Set(KIND_FLOAT, STAGE_PIXEL, uiFirst, pfValues, uiCount, bSave);
}

bool NiD3DShaderConstantCache::SetPixelConstantsI(std::uint32_t uiFirst, const std::int32_t* piValues,
                                                  std::uint32_t uiCount, bool bSave)
{
    return Set(KIND_INT, STAGE_PIXEL, uiFirst, piValues, uiCount, bSave);
}

bool NiD3DShaderConstantCache::SetPixelConstantsB(std::uint32_t uiFirst, const std::int32_t* piValues,
                                                  std::uint32_t uiCount, bool bSave)
{
    return Set(KIND_BOOL, STAGE_PIXEL, uiFirst, piValues, uiCount, bSave);
}

NiDX9ShaderConstantCache::NiDX9ShaderConstantCache(NiDX9Renderer* pkRenderer, const gfx::D3DCAPS9& kCaps)
    : m_pkRenderer(pkRenderer)
{
    if (pkRenderer != nullptr)
        m_pkD3DDevice9 = pkRenderer->GetD3DDevice();
    if (m_pkD3DDevice9 != nullptr)
        m_pkD3DDevice9->AddRef();

    std::uint32_t uiVertexF = kCaps.MaxVertexShaderConst;
    if (uiVertexF == 0 && pkRenderer != nullptr && pkRenderer->GetSWVertexCapable())
    {
        uiVertexF = SOFTWARE_VERTEX_FLOATS;
        m_bSWVertexProcessing = 1;
    }
    std::uint32_t uiVertexI = 0, uiVertexB = 0;
    switch (Major(kCaps.VertexShaderVersion))
    {
    case 2:
        uiVertexI = 16;
        uiVertexB = kCaps.VS20Caps.DynamicFlowControlDepth > 0 ? 16 : 0;
        break;
    case 3:
        uiVertexI = 16;
        uiVertexB = 16;
        break;
    default: break;
    }
    std::uint32_t uiPixelF = 0, uiPixelI = 0, uiPixelB = 0;
    switch (Major(kCaps.PixelShaderVersion))
    {
    case 1: uiPixelF = 8; break;
    case 2:
        uiPixelF = 32;
        uiPixelI = 16;
        uiPixelB = kCaps.PS20Caps.DynamicFlowControlDepth > 0 ? 16 : 0;
        break;
    case 3:
        uiPixelF = 224;
        uiPixelI = 16;
        uiPixelB = 16;
        break;
    default: break;
    }
    m_akFiles[KIND_FLOAT][STAGE_VERTEX].Size(uiVertexF, 4);
    m_akFiles[KIND_FLOAT][STAGE_PIXEL].Size(uiPixelF, 4);
    m_akFiles[KIND_INT][STAGE_VERTEX].Size(uiVertexI, 4);
    m_akFiles[KIND_INT][STAGE_PIXEL].Size(uiPixelI, 4);
    m_akFiles[KIND_BOOL][STAGE_VERTEX].Size(uiVertexB, 1);
    m_akFiles[KIND_BOOL][STAGE_PIXEL].Size(uiPixelB, 1);
}

NiDX9ShaderConstantCache::~NiDX9ShaderConstantCache()
{
    if (m_pkD3DDevice9 != nullptr)
        m_pkD3DDevice9->Release();
}

void NiDX9ShaderConstantCache::CommitConstants()
{
    // Registers sized for software processing mean nothing to the device
    // while it processes vertices in hardware.
    if (m_bSWVertexProcessing != 0)
    {
        const NiDX9RenderState* pkState = m_pkRenderer != nullptr ? m_pkRenderer->GetRenderState() : nullptr;
        if (pkState == nullptr || !pkState->GetSoftwareVertexProcessing())
            m_akFiles[KIND_FLOAT][STAGE_VERTEX].Clean();
    }
    if (m_pkD3DDevice9 != nullptr)
    {
        auto F = [&](Kind eKind, Stage eStage) {
            const RegisterFile& k = m_akFiles[eKind][eStage];
            return reinterpret_cast<const float*>(k.m_kValues.data() + std::size_t(k.m_uiDirtyFirst) * k.m_uiWidth);
        };
        auto I = [&](Kind eKind, Stage eStage) {
            const RegisterFile& k = m_akFiles[eKind][eStage];
            return reinterpret_cast<const std::int32_t*>(k.m_kValues.data() +
                                                         std::size_t(k.m_uiDirtyFirst) * k.m_uiWidth);
        };
        auto Count = [&](Kind eKind, Stage eStage) {
            const RegisterFile& k = m_akFiles[eKind][eStage];
            return k.m_uiDirtyEnd - k.m_uiDirtyFirst;
        };
        auto Dirty = [&](Kind eKind, Stage eStage) { return !m_akFiles[eKind][eStage].Empty(); };
        if (Dirty(KIND_FLOAT, STAGE_VERTEX))
            m_pkD3DDevice9->SetVertexShaderConstantF(m_akFiles[KIND_FLOAT][STAGE_VERTEX].m_uiDirtyFirst,
                                                     F(KIND_FLOAT, STAGE_VERTEX), Count(KIND_FLOAT, STAGE_VERTEX));
        if (Dirty(KIND_FLOAT, STAGE_PIXEL))
            m_pkD3DDevice9->SetPixelShaderConstantF(m_akFiles[KIND_FLOAT][STAGE_PIXEL].m_uiDirtyFirst,
                                                    F(KIND_FLOAT, STAGE_PIXEL), Count(KIND_FLOAT, STAGE_PIXEL));
        if (Dirty(KIND_BOOL, STAGE_VERTEX))
            m_pkD3DDevice9->SetVertexShaderConstantB(m_akFiles[KIND_BOOL][STAGE_VERTEX].m_uiDirtyFirst,
                                                     I(KIND_BOOL, STAGE_VERTEX), Count(KIND_BOOL, STAGE_VERTEX));
        if (Dirty(KIND_BOOL, STAGE_PIXEL))
            m_pkD3DDevice9->SetPixelShaderConstantB(m_akFiles[KIND_BOOL][STAGE_PIXEL].m_uiDirtyFirst,
                                                    I(KIND_BOOL, STAGE_PIXEL), Count(KIND_BOOL, STAGE_PIXEL));
        if (Dirty(KIND_INT, STAGE_VERTEX))
            m_pkD3DDevice9->SetVertexShaderConstantI(m_akFiles[KIND_INT][STAGE_VERTEX].m_uiDirtyFirst,
                                                     I(KIND_INT, STAGE_VERTEX), Count(KIND_INT, STAGE_VERTEX));
        if (Dirty(KIND_INT, STAGE_PIXEL))
            m_pkD3DDevice9->SetPixelShaderConstantI(m_akFiles[KIND_INT][STAGE_PIXEL].m_uiDirtyFirst,
                                                    I(KIND_INT, STAGE_PIXEL), Count(KIND_INT, STAGE_PIXEL));
    }
    for (auto& akStage : m_akFiles)
        for (RegisterFile& kFile : akStage)
            kFile.Clean();
}
