#pragma once
// Draws batches through a shader in the renderer's order, on hand-built
// buffer data: one stream of FVF XYZ | DIFFUSE | TEX1 vertices.

#include "engine/core/NiBoundSphere.h"
#include "engine/core/NiXform.h"
#include "engine/render/NiDX9GeometryBufferGroup.h"
#include "engine/scene/NiGeometry.h"
#include "engine/shaders/framework/NiD3DShaderInterface.h"
#include "platform/gfx/Gfx.h"

#include <cstdint>
#include <cstring>
#include <vector>

namespace shader_test
{
struct QuadVertex
{
    float x, y, z;
    std::uint32_t uiColor;
    float u, v;
};

// A strip of four vertices in a managed vertex buffer of its own.
class QuadBuffers
{
public:
    static constexpr std::uint32_t FVF = gfx::D3DFVF_XYZ | gfx::D3DFVF_DIFFUSE | gfx::D3DFVF_TEX1;

    QuadBuffers(gfx::IDirect3DDevice9* pkDevice, const std::vector<QuadVertex>& kVertices)
    {
        const auto uiBytes = static_cast<std::uint32_t>(kVertices.size() * sizeof(QuadVertex));
        pkDevice->CreateVertexBuffer(uiBytes, gfx::D3DUSAGE_WRITEONLY, FVF, gfx::D3DPOOL_MANAGED, &m_pkVB, nullptr);
        void* pv = nullptr;
        if (m_pkVB != nullptr && m_pkVB->Lock(0, uiBytes, &pv, 0) == gfx::D3D_OK)
        {
            std::memcpy(pv, kVertices.data(), uiBytes);
            m_pkVB->Unlock();
        }
        m_kRange.m_pkVB = m_pkVB;
        m_kRange.m_uiSize = uiBytes;
        m_kData.SetStreamCount(1);
        m_kData.SetStream(0, &m_kRange);
        m_kData.SetStride(0, sizeof(QuadVertex));
        m_kData.m_uiFVF = FVF;
        m_kData.m_uiVertCount = static_cast<std::uint32_t>(kVertices.size());
        m_kData.m_uiType = gfx::D3DPT_TRIANGLESTRIP;
        m_kData.m_uiPrimitiveCount = static_cast<std::uint32_t>(kVertices.size()) - 2;
        m_kData.m_uiKey = 1u << NiDX9GeometryBufferData::KEY_SETS_SHIFT;
    }
    ~QuadBuffers()
    {
        m_kData.SetStream(0, nullptr);
        if (m_pkVB != nullptr)
            m_pkVB->Release();
    }
    QuadBuffers(const QuadBuffers&) = delete;
    QuadBuffers& operator=(const QuadBuffers&) = delete;

    NiDX9GeometryBufferData* Get() { return &m_kData; }

private:
    gfx::IDirect3DVertexBuffer9* m_pkVB = nullptr;
    NiDX9VertexBufferRange m_kRange;
    NiDX9GeometryBufferData m_kData;
};

// One batch of one geometry through the shader, as the renderer draws it
// (no draw calls without a device); the number of passes drawn.
inline std::uint32_t DrawBatch(NiD3DShaderInterface& kShader, gfx::IDirect3DDevice9* pkDevice, NiGeometry* pkGeometry,
                               NiDX9GeometryBufferData* pkBuffers, const NiPropertySet* pkState,
                               const NiEffectSet* pkEffects, const NiXform& kWorld = NiXform(),
                               const NiBoundSphere& kBound = NiBoundSphere())
{
    if (kShader.PreProcessPipeline(pkGeometry, nullptr, pkBuffers, pkState, pkEffects, kWorld, kBound) != 0)
        return 0;
    kShader.UpdatePipeline(pkGeometry, nullptr, pkBuffers, pkState, pkEffects, kWorld, kBound);
    std::uint32_t uiDrawn = 0;
    for (std::uint32_t uiLeft = kShader.FirstPass(); uiLeft != 0; uiLeft = kShader.NextPass())
    {
        kShader.SetupRenderingPass(pkGeometry, nullptr, pkBuffers, pkState, pkEffects, kWorld, kBound);
        kShader.SetupTransformations(pkGeometry, nullptr, nullptr, pkBuffers, pkState, pkEffects, kWorld, kBound);
        NiDX9GeometryBufferData* pkData = kShader.PrepareGeometryForRendering(pkGeometry, nullptr, pkBuffers, pkState);
        kShader.SetupShaderPrograms(pkGeometry, nullptr, nullptr, pkData, pkState, pkEffects, kWorld, kBound);
        if (pkData != nullptr && pkDevice != nullptr)
        {
            if (pkData->m_pkIB == nullptr)
            {
                pkDevice->DrawPrimitive(pkData->m_uiType, pkData->m_uiBaseVertexIndex, pkData->m_uiPrimitiveCount);
            }
            else
            {
                std::uint32_t uiStart = 0;
                for (std::uint16_t usLength : pkData->m_kStripLengths)
                {
                    pkDevice->DrawIndexedPrimitive(pkData->m_uiType, static_cast<std::int32_t>(pkData->m_uiBaseVertexIndex),
                                                   0, pkData->m_uiVertCount, uiStart, usLength - 2u);
                    uiStart += usLength;
                }
            }
        }
        kShader.PostRender(pkGeometry, nullptr, nullptr, pkData, pkState, pkEffects, kWorld, kBound);
        ++uiDrawn;
    }
    // The drawn data's change bits are cleared; its kind stays.
    if (pkGeometry != nullptr && pkGeometry->GetModelData() != nullptr)
    {
        NiGeometryData* pkModel = pkGeometry->GetModelData();
        pkModel->SetDirtyFlags(static_cast<std::uint16_t>(pkModel->GetDirtyFlags() & 0xF000));
    }
    kShader.PostProcessPipeline(pkGeometry, nullptr, pkBuffers, pkState, pkEffects, kWorld, kBound);
    return uiDrawn;
}
} // namespace shader_test
