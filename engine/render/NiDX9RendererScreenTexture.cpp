// Screen textures: rectangles of one texture drawn over the scene in pixels
// of the current target, through the default shader with a private state.
#include "engine/render/NiDX9Renderer.h"
#include "engine/render/NiDX9GeometryBufferGroup.h"
#include "engine/render/NiDX9RenderTarget.h"
#include "engine/render/NiScreenTexture.h"
#include "engine/render/NiTexture.h"

#include "engine/core/NiXform.h"
#include "engine/scene/NiAlphaProperty.h"
#include "engine/scene/NiEffectSet.h"
#include "engine/core/NiBoundSphere.h"
#include "engine/scene/NiPropertySet.h"
#include "engine/scene/NiTexturingProperty.h"
#include "engine/scene/NiVertexColorProperty.h"
#include "engine/scene/NiZBufferProperty.h"
#include "engine/shaders/framework/NiD3DDefaultShader.h"

#include <cstdint>

namespace
{
// A pixel position brought into 0 .. size - 1 by whole turns of the size.
std::int32_t Wrap(std::int32_t iValue, std::int32_t iSize)
{
    if (iSize <= 0)
        return iValue;
    iValue %= iSize;
    return iValue < 0 ? iValue + iSize : iValue;
}
} // namespace

bool NiDX9Renderer::PackScreenTexture(NiScreenTexture* pkScreenTexture)
{
    auto* pkRecord = static_cast<NiDX9GeometryBufferData*>(pkScreenTexture->GetRendererData());
    const std::uint32_t uiRects = pkScreenTexture->GetNumScreenRects();
    // Four vertices a rectangle, addressed by 16-bit indices.
    if (pkRecord == nullptr || uiRects == 0 || uiRects > 0xFFFFu / 4)
        return false;
    const std::uint32_t uiVertices = 4 * uiRects;
    if (m_kScreenPositions.size() < 2 * std::size_t(uiVertices))
    {
        m_kScreenPositions.resize(2 * std::size_t(uiVertices));
        m_kScreenColors.resize(4 * std::size_t(uiVertices));
        m_kScreenTextures.resize(2 * std::size_t(uiVertices));
    }
    std::vector<std::uint16_t> kIndices(6 * std::size_t(uiRects));

    const std::int32_t iTargetWidth = static_cast<std::int32_t>(GetWidth());
    const std::int32_t iTargetHeight = static_cast<std::int32_t>(GetHeight());
    const NiTexture* pkTexture = pkScreenTexture->GetTexture();
    const float fTexWidth = pkTexture != nullptr && pkTexture->GetWidth() > 0 ? float(pkTexture->GetWidth()) : 1.0f;
    const float fTexHeight = pkTexture != nullptr && pkTexture->GetHeight() > 0 ? float(pkTexture->GetHeight()) : 1.0f;
    const NiScreenTexture::NiScreenRect* pkRects = pkScreenTexture->GetScreenRects();
    for (std::uint32_t uiRect = 0; uiRect < uiRects; ++uiRect)
    {
        const NiScreenTexture::NiScreenRect& kRect = pkRects[uiRect];
        const float fLeft = float(Wrap(kRect.m_sPixLeft, iTargetWidth)) - 0.5f;
        const float fTop = float(Wrap(kRect.m_sPixTop, iTargetHeight)) - 0.5f;
        const float fRight = fLeft + float(kRect.m_usPixWidth);
        const float fBottom = fTop + float(kRect.m_usPixHeight);
        const float fU0 = float(kRect.m_usTexLeft) / fTexWidth;
        const float fV0 = float(kRect.m_usTexTop) / fTexHeight;
        const float fU1 = float(kRect.m_usTexLeft + kRect.m_usPixWidth) / fTexWidth;
        const float fV1 = float(kRect.m_usTexTop + kRect.m_usPixHeight) / fTexHeight;
        // Corners: (left, top), (left, bottom), (right, top), (right, bottom).
        const float afCorners[4][4] = {
            {fLeft, fTop, fU0, fV0}, {fLeft, fBottom, fU0, fV1}, {fRight, fTop, fU1, fV0}, {fRight, fBottom, fU1, fV1}};
        for (std::uint32_t uiCorner = 0; uiCorner < 4; ++uiCorner)
        {
            const std::size_t uiVertex = 4 * std::size_t(uiRect) + uiCorner;
            m_kScreenPositions[2 * uiVertex] = afCorners[uiCorner][0];
            m_kScreenPositions[2 * uiVertex + 1] = afCorners[uiCorner][1];
            m_kScreenTextures[2 * uiVertex] = afCorners[uiCorner][2];
            m_kScreenTextures[2 * uiVertex + 1] = afCorners[uiCorner][3];
            m_kScreenColors[4 * uiVertex] = kRect.m_kColor.r;
            m_kScreenColors[4 * uiVertex + 1] = kRect.m_kColor.g;
            m_kScreenColors[4 * uiVertex + 2] = kRect.m_kColor.b;
            m_kScreenColors[4 * uiVertex + 3] = kRect.m_kColor.a;
        }
        const auto usBase = static_cast<std::uint16_t>(4 * uiRect);
        const std::uint16_t ausQuad[6] = {usBase, std::uint16_t(usBase + 1), std::uint16_t(usBase + 2),
                                          std::uint16_t(usBase + 2), std::uint16_t(usBase + 1),
                                          std::uint16_t(usBase + 3)};
        std::copy(ausQuad, ausQuad + 6, kIndices.begin() + 6 * std::ptrdiff_t(uiRect));
    }

    // A different count needs a new stream.
    NiDX9VertexBufferRange* pkStream = pkRecord->m_uiVertCount == uiVertices ? pkRecord->GetStream(0) : nullptr;
    if (m_spVBManager->PackScreenTextureVertices(pkRecord, static_cast<std::uint16_t>(uiVertices),
                                                 m_kScreenPositions.data(), m_kScreenColors.data(),
                                                 m_kScreenTextures.data(), 0x7, pkStream, nullptr) == nullptr)
        return false;
    gfx::IDirect3DIndexBuffer9* pkIB =
        m_spIBManager->PackBuffer(kIndices.data(), static_cast<std::uint32_t>(kIndices.size()), pkRecord->m_pkIB,
                                  pkRecord->m_uiIBSize, gfx::D3DPOOL_MANAGED, 0);
    if (pkIB == nullptr)
        return false;
    if (pkIB != pkRecord->m_pkIB)
    {
        pkRecord->ReleaseIndexBuffer();
        pkRecord->m_pkIB = pkIB;
    }
    pkRecord->m_uiVertCount = uiVertices;
    pkRecord->m_uiIndexCount = static_cast<std::uint32_t>(kIndices.size());
    pkRecord->m_uiType = gfx::D3DPT_TRIANGLELIST;
    pkRecord->m_uiPrimitiveCount = 2 * uiRects;
    pkRecord->m_uiStripCount = 0;
    pkRecord->m_kStripLengths.clear();
    pkRecord->m_uiBaseVertexIndex = 0;
    return true;
}

void NiDX9Renderer::RenderScreenTexture(NiScreenTexture* pkScreenTexture)
{
    if (!m_bInScene || pkScreenTexture == nullptr || pkScreenTexture->GetNumScreenRects() == 0 ||
        m_spGeometryManager == nullptr || m_spDefaultShader == nullptr)
        return;

    // 1. The private state, made once: vertex colours as the emissive colour
    //    without lighting, alpha blending, no depth test or write.
    if (m_spScreenTextureProperties == nullptr)
    {
        m_spScreenTextureProperties = new NiPropertySet;
        NiRefPtr<NiVertexColorProperty> spVertexColor = new NiVertexColorProperty;
        spVertexColor->SetSourceMode(NiVertexColorProperty::SOURCE_EMISSIVE);
        spVertexColor->SetLightingMode(NiVertexColorProperty::LIGHTING_E);
        m_spScreenTextureProperties->SetProperty(spVertexColor);
        NiRefPtr<NiAlphaProperty> spAlpha = new NiAlphaProperty;
        spAlpha->SetFlags(0xED);
        m_spScreenTextureProperties->SetProperty(spAlpha);
        NiRefPtr<NiZBufferProperty> spDepth = new NiZBufferProperty;
        spDepth->SetZBufferTest(false);
        spDepth->SetZBufferWrite(false);
        m_spScreenTextureProperties->SetProperty(spDepth);
    }

    // 2. The screen texture's texture, no effects; the caller's sets return after.
    NiRefPtr<NiPropertySet> spOldProperties = GetPropertyState();
    NiRefPtr<NiEffectSet> spOldEffects = GetEffectState();
    m_spScreenTextureProperties->SetProperty(pkScreenTexture->GetTexturingProperty());
    SetPropertyState(m_spScreenTextureProperties);
    SetEffectState(nullptr);

    // 3. The rectangles' vertices, written again when they changed.
    if (pkScreenTexture->GetRendererData() == nullptr)
        (void)m_spGeometryManager->CreateScreenTextureData(NiDX9GeometryBufferGroup::GetStaticInstance(),
                                                           pkScreenTexture, 0);
    auto* pkRecord = static_cast<NiDX9GeometryBufferData*>(pkScreenTexture->GetRendererData());
    bool bReady = pkRecord != nullptr;
    if (bReady && (pkScreenTexture->GetChangeFlags() != 0 || !pkRecord->HasAllStreams() || pkRecord->m_pkIB == nullptr))
        bReady = PackScreenTexture(pkScreenTexture);
    pkScreenTexture->ClearChangeFlags();

    // 4. Drawn in pixels of the target: the vertices are transformed already.
    if (bReady)
        DrawGeometry(nullptr, nullptr, pkRecord, m_spScreenTextureProperties, nullptr, NiXform(), NiBoundSphere(),
                     m_spDefaultShader);

    // 5. The default texturing back into the private set; the caller's sets.
    m_spScreenTextureProperties->SetProperty(NiPropertySet::GetDefault(NiProperty::TEXTURING));
    SetPropertyState(spOldProperties);
    SetEffectState(spOldEffects);
}
