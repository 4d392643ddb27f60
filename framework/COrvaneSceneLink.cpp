#include "framework/COrvaneSceneLink.h"

#include "engine/render/image/NiFont.h"
#include "engine/scene/NiCamera.h"
#include "framework/COrvaneCamera.h"
#include "framework/COrvaneRenderer.h"

bool AttachRendererToCamera(COrvaneCamera& kCamera, COrvaneRenderer& kRenderer)
{
    COrvaneSceneLink kLink;
    kCamera.ProvideCamera(kLink.m_pkCamera);
    kRenderer.AttachTo(kLink);
    if (kLink.m_pkCamera == nullptr || kLink.m_pkRenderer == nullptr)
        return false;
    if (kLink.m_pkCamera->GetRenderer() != nullptr)
        return false;
    kLink.m_pkCamera->SetRenderer(kLink.m_pkRenderer);
    return true;
}

bool LoadFont(const char* pcFileName, NiRefPtr<NiFont>& spSlot, COrvaneRenderer& kRenderer)
{
    COrvaneSceneLink kLink;
    kLink.m_pspFontSlot = &spSlot;
    kRenderer.AttachTo(kLink);
    if (kLink.m_pkRenderer == nullptr || pcFileName == nullptr)
        return false;
    *kLink.m_pspFontSlot = NiFont::Create(kLink.m_pkRenderer, pcFileName);
    return *kLink.m_pspFontSlot != nullptr;
}
