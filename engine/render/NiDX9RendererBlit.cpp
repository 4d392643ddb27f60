// Blits: a blit source's image copied straight into the current target.
#include "engine/render/NiDX9Renderer.h"
#include "engine/render/NiBltSource.h"
#include "engine/render/NiDX9BltSourceData.h"
#include "engine/render/NiDX9RenderTarget.h"

#include <algorithm>

void NiDX9Renderer::Blit(NiBltSource* pkSource, const NiRect<std::uint32_t>* pkRect, std::uint32_t uiX,
                         std::uint32_t uiY)
{
    if (pkSource == nullptr || m_pkD3DDevice9 == nullptr || m_pkCurrentTarget == nullptr)
        return;
    gfx::IDirect3DSurface9* pkDest = m_pkCurrentTarget->GetColorSurface();
    if (pkDest == nullptr)
        return;
    if (pkSource->GetRendererData() == nullptr)
        (void)CreateBltSourceData(pkSource);
    auto* pkData = dynamic_cast<NiDX9BltSourceData*>(pkSource->GetRendererData());
    if (pkData == nullptr || pkData->GetSurface() == nullptr)
        return;

    // Right and bottom are exclusive, as the device takes them.
    const std::uint32_t uiSourceWidth = pkData->GetWidth();
    const std::uint32_t uiSourceHeight = pkData->GetHeight();
    std::uint32_t uiLeft = 0;
    std::uint32_t uiTop = 0;
    std::uint32_t uiRight = uiSourceWidth;
    std::uint32_t uiBottom = uiSourceHeight;
    if (pkRect != nullptr)
    {
        uiLeft = std::min(pkRect->m_left, uiSourceWidth);
        uiRight = std::min(pkRect->m_right, uiSourceWidth);
        uiTop = std::min(pkRect->m_top, uiSourceHeight);
        uiBottom = std::min(pkRect->m_bottom, uiSourceHeight);
    }

    // What would land beyond the current target is cut off; a place outside
    // it takes nothing.
    const std::uint32_t uiTargetWidth = m_pkCurrentTarget->GetWidth();
    const std::uint32_t uiTargetHeight = m_pkCurrentTarget->GetHeight();
    if (uiX >= uiTargetWidth || uiY >= uiTargetHeight || uiLeft >= uiRight || uiTop >= uiBottom)
        return;
    uiRight = std::min(uiRight, uiLeft + (uiTargetWidth - uiX));
    uiBottom = std::min(uiBottom, uiTop + (uiTargetHeight - uiY));

    const gfx::RECT kSource{static_cast<std::int32_t>(uiLeft), static_cast<std::int32_t>(uiTop),
                            static_cast<std::int32_t>(uiRight), static_cast<std::int32_t>(uiBottom)};
    const gfx::POINT kPoint{static_cast<std::int32_t>(uiX), static_cast<std::int32_t>(uiY)};
    (void)m_pkD3DDevice9->UpdateSurface(pkData->GetSurface(), &kSource, pkDest, &kPoint);
}
