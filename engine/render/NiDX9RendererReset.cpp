// Device loss, reset and mode change of the renderer, and the lists of code
// that wants to hear of them.
#include "engine/render/NiDX9Renderer.h"
#include "engine/render/NiDX9GeometryBufferGroup.h"
#include "engine/render/NiDX9RenderTarget.h"
#include "engine/render/NiDX9RenderedTextureData.h"
#include "engine/render/NiRenderedTexture.h"

#include "engine/shaders/framework/NiD3DShaderInterface.h"
#include "engine/shaders/framework/NiD3DShaderProgram.h"

#include <algorithm>
#include <vector>

// ---- notification lists ----

void NiDX9Renderer::AddLostDeviceNotifyFunc(LostDeviceNotifyFunc pfnNotify, void* pvData)
{
    if (pfnNotify != nullptr)
        m_kLostDeviceNotify.emplace_back(pfnNotify, pvData);
}

void NiDX9Renderer::RemoveLostDeviceNotifyFunc(LostDeviceNotifyFunc pfnNotify, void* pvData)
{
    auto kFound = std::find(m_kLostDeviceNotify.begin(), m_kLostDeviceNotify.end(), std::make_pair(pfnNotify, pvData));
    if (kFound != m_kLostDeviceNotify.end())
        m_kLostDeviceNotify.erase(kFound);
}

void NiDX9Renderer::AddResetNotifyFunc(ResetNotifyFunc pfnNotify, void* pvData)
{
    if (pfnNotify != nullptr)
        m_kResetNotify.emplace_back(pfnNotify, pvData);
}

void NiDX9Renderer::RemoveResetNotifyFunc(ResetNotifyFunc pfnNotify, void* pvData)
{
    auto kFound = std::find(m_kResetNotify.begin(), m_kResetNotify.end(), std::make_pair(pfnNotify, pvData));
    if (kFound != m_kResetNotify.end())
        m_kResetNotify.erase(kFound);
}

// ---- the device check ----

bool NiDX9Renderer::CheckDevice()
{
    if (m_pkD3DDevice9 == nullptr)
        return false;
    const gfx::HRESULT hr = m_pkD3DDevice9->TestCooperativeLevel();
    // A reset that failed on the renderer's side (a refusing reset function)
    // leaves a usable device with nothing of the default pool: it is tried
    // again like one the device still waits for.
    if (hr == gfx::D3DERR_DEVICENOTRESET || (hr == gfx::D3D_OK && m_bDeviceLost))
        return ResetDevice();
    if (hr == gfx::D3DERR_DEVICELOST)
    {
        if (!m_bDeviceLost)
        {
            m_bDeviceLost = true;
            // The list may change under a function that removes itself.
            const std::vector<std::pair<LostDeviceNotifyFunc, void*>> kFuncs = m_kLostDeviceNotify;
            for (const auto& kFunc : kFuncs)
            {
                if (kFunc.first != nullptr && !kFunc.first(kFunc.second))
                    break;
            }
        }
        return false;
    }
    return true;
}

// ---- the reset ----

namespace
{
bool CallResetFunctions(const std::vector<std::pair<NiDX9Renderer::ResetNotifyFunc, void*>>& kList, bool bBefore)
{
    const std::vector<std::pair<NiDX9Renderer::ResetNotifyFunc, void*>> kFuncs = kList;
    for (const auto& kFunc : kFuncs)
    {
        if (kFunc.first != nullptr && !kFunc.first(bBefore, kFunc.second))
            return false;
    }
    return true;
}
} // namespace

bool NiDX9Renderer::ResetDevice()
{
    // Until every step has run the device counts as lost: frame operations
    // keep trying.
    m_bDeviceLost = true;
    if (m_pkD3DDevice9 == nullptr || m_pkDefaultTarget == nullptr)
        return false;

    // 1. The default pool: lights, temporary indices, vertex buffers; the
    // extra render targets. A texture target still current is unbound from
    // index 0 now, while the back buffer can still take its place: its data
    // goes below, and a bound surface would outlive it on the device.
    if (m_spLightManager != nullptr)
        m_spLightManager->ReleaseAllLights();
    for (std::uint32_t uiStream = 0; uiStream < m_kD3DCaps9.MaxStreams; ++uiStream)
        m_pkD3DDevice9->SetStreamSource(uiStream, nullptr, 0, 0);
    m_pkD3DDevice9->SetIndices(nullptr);
    if (m_spIBManager != nullptr)
        m_spIBManager->ReleaseAllBuffers();
    if (m_spVBManager != nullptr)
        m_spVBManager->ReleaseAllBuffers();
    for (std::uint32_t uiIndex = 1; uiIndex < NiDX9RenderTarget::MAX_TARGETS; ++uiIndex)
        NiDX9RenderTarget::ClearRenderTarget(m_pkD3DDevice9, uiIndex);
    if (m_pkCurrentTarget != m_pkDefaultTarget && m_pkDefaultTarget->GetColorSurface() != nullptr)
        (void)m_pkDefaultTarget->SetRenderTarget(m_pkD3DDevice9, 0);
    m_pkCurrentTarget = m_pkDefaultTarget;

    // 2. The back buffers.
    for (auto& kEntry : m_kWindowTargets)
        kEntry.second->OnDeviceLost();

    // 3. Rendered textures and cube maps lose their data but stay listed.
    for (auto* pkMap : {&m_kRenderedTextures, &m_kRenderedCubeMaps})
    {
        for (auto& kEntry : *pkMap)
        {
            if (kEntry.second == nullptr)
                continue;
            // Cleared first, so the dying data leaves the key in place.
            kEntry.second = nullptr;
            kEntry.first->SetRendererData(nullptr);
        }
    }

    // 4. Shaders let go of what they keep on the device.
    for (const NiRefPtr<NiD3DShaderInterface>& spShader : std::vector<NiRefPtr<NiD3DShaderInterface>>(m_kD3DShaders))
        spShader->HandleLostDevice();

    // 5. The dynamic buffers.
    if (NiDX9GeometryBufferGroup* pkDynamic = NiDX9GeometryBufferGroup::GetDynamicInstance())
        pkDynamic->Purge();

    // 6. Other code's preparation.
    if (!CallResetFunctions(m_kResetNotify, true))
        return false;

    // 7. The device itself.
    gfx::D3DPRESENT_PARAMETERS& kParams = m_pkDefaultTarget->GetPresentParams();
    if (gfx::FAILED(m_pkD3DDevice9->Reset(&kParams)))
        return false;
    ++m_uiResetCounter;
    m_kD3DPresentParams = kParams;
    m_bInScene = false;

    // 8. The back buffers again; the default one is drawn into.
    for (auto& kEntry : m_kWindowTargets)
        kEntry.second->Recreate(m_pkD3DDevice9);
    m_pkCurrentTarget = m_pkDefaultTarget;
    (void)m_pkDefaultTarget->SetRenderTarget(m_pkD3DDevice9, 0);

    // 9. Formats and default images for the new back buffer.
    if (!RebuildDefaults())
        return false;

    // 10. Rendered textures and cube maps get new data.
    std::vector<NiTexture*> kTextures;
    for (const auto& kEntry : m_kRenderedTextures)
        kTextures.push_back(kEntry.first);
    for (NiTexture* pkTexture : kTextures)
        (void)CreateRenderedTextureData(static_cast<NiRenderedTexture*>(pkTexture));
    kTextures.clear();
    for (const auto& kEntry : m_kRenderedCubeMaps)
        kTextures.push_back(kEntry.first);
    for (NiTexture* pkTexture : kTextures)
        (void)CreateRenderedCubeMapData(static_cast<NiRenderedCubeMap*>(pkTexture));

    // 11. Shaders make their device objects again.
    for (const NiRefPtr<NiD3DShaderInterface>& spShader : std::vector<NiRefPtr<NiD3DShaderInterface>>(m_kD3DShaders))
        spShader->HandleResetDevice();

    // 12. The device came back with its own defaults: the caches say ours again.
    if (m_spRenderState != nullptr)
    {
        m_spRenderState->ResetToDefaults();
        if (m_kD3DPresentParams.MultiSampleType != gfx::D3DMULTISAMPLE_NONE)
            m_spRenderState->SetRenderState(gfx::D3DRS_MULTISAMPLEANTIALIAS, 1);
    }
    if (m_spLightManager != nullptr)
        m_spLightManager->Reset();

    // 13. Other code's own rebuilding.
    if (!CallResetFunctions(m_kResetNotify, false))
        return false;
    m_bDeviceLost = false;
    return true;
}

// ---- mode change ----

std::uint32_t NiDX9Renderer::Recreate(std::uint32_t uiWidth, std::uint32_t uiHeight, std::uint32_t uiUseFlags,
                                      gfx::WindowHandle kWndDevice, std::uint32_t eFBFormat,
                                      gfx::D3DFORMAT eDSFormat, std::uint32_t ePresentationInterval,
                                      std::uint32_t eSwapEffect, std::int32_t iFBMode,
                                      std::uint32_t uiBackBufferCount, std::uint32_t uiRefreshRate)
{
    if (m_pkD3DDevice9 == nullptr || m_pkDefaultTarget == nullptr)
        return RECREATE_FAILED;

    // 1. What to go back to.
    const gfx::D3DPRESENT_PARAMETERS kSavedParams = m_pkDefaultTarget->GetPresentParams();
    const CreationParameters kSavedCreation = m_kCreation;
    const gfx::WindowHandle kSavedWindow = m_kWndDevice;
    auto Restore = [&]() {
        m_pkDefaultTarget->GetPresentParams() = kSavedParams;
        m_kCreation = kSavedCreation;
        m_kWndDevice = kSavedWindow;
    };

    // 2. Formats and present parameters for the new mode.
    m_kCreation.m_uiWidth = uiWidth;
    m_kCreation.m_uiHeight = uiHeight;
    m_kCreation.m_uiUseFlags = uiUseFlags;
    m_kCreation.m_eFBFormat = eFBFormat;
    m_kCreation.m_eDSFormat = eDSFormat;
    m_kCreation.m_ePresentationInterval = ePresentationInterval;
    m_kCreation.m_eSwapEffect = eSwapEffect;
    m_kCreation.m_iFBMode = iFBMode;
    m_kCreation.m_uiBackBufferCount = uiBackBufferCount;
    m_kCreation.m_uiRefreshRate = uiRefreshRate;
    // 3. A window given becomes the device window.
    if (kWndDevice != nullptr)
    {
        m_kCreation.m_kWndDevice = kWndDevice;
        m_kWndDevice = kWndDevice;
    }
    gfx::D3DPRESENT_PARAMETERS kNew;
    if (!ChooseFormatsAndMode(kNew))
    {
        Restore();
        return RECREATE_FAILED;
    }
    m_pkDefaultTarget->GetPresentParams() = kNew;

    // 4. The reset in the new mode.
    if (ResetDevice())
    {
        MoveDefaultTargetTo(m_kWndDevice);
        return RECREATE_OK;
    }

    // 5. Back to the old mode.
    Restore();
    if (ResetDevice())
        return RECREATE_OLD_MODE;
    return RECREATE_FAILED;
}

void NiDX9Renderer::MoveDefaultTargetTo(gfx::WindowHandle kWindow)
{
    for (auto kIt = m_kWindowTargets.begin(); kIt != m_kWindowTargets.end(); ++kIt)
    {
        if (kIt->second.get() != m_pkDefaultTarget || kIt->first == kWindow)
            continue;
        std::unique_ptr<NiDX9BackBufferTarget> spTarget = std::move(kIt->second);
        m_kWindowTargets.erase(kIt);
        m_kWindowTargets[kWindow] = std::move(spTarget);
        return;
    }
}

// ---- the shader list ----

void NiDX9Renderer::RegisterD3DShader(NiD3DShaderInterface* pkShader)
{
    if (pkShader == nullptr)
        return;
    if (std::find(m_kD3DShaders.begin(), m_kD3DShaders.end(), pkShader) != m_kD3DShaders.end())
        return;
    m_kD3DShaders.insert(m_kD3DShaders.begin(), NiRefPtr<NiD3DShaderInterface>(pkShader));
}

void NiDX9Renderer::UnregisterD3DShader(NiD3DShaderInterface* pkShader)
{
    auto kFound = std::find(m_kD3DShaders.begin(), m_kD3DShaders.end(), pkShader);
    if (kFound == m_kD3DShaders.end())
        return;
    // Kept alive until it has let go of the device.
    NiRefPtr<NiD3DShaderInterface> spShader = *kFound;
    m_kD3DShaders.erase(kFound);
    spShader->SetRenderer(nullptr);
}

void NiDX9Renderer::PurgeD3DShader(NiD3DShaderInterface* pkShader)
{
    if (pkShader == nullptr)
        return;
    NiRefPtr<NiD3DShaderInterface> spShader = pkShader;
    spShader->ReleaseDeviceObjects();
    UnregisterD3DShader(pkShader);
}

void NiDX9Renderer::PurgeAllD3DShaders()
{
    while (!m_kD3DShaders.empty())
        PurgeD3DShader(m_kD3DShaders.front());
}

void NiDX9Renderer::PurgeVertexShader(NiD3DVertexShader* pkShader)
{
    if (pkShader == nullptr)
        return;
    if (m_spRenderState != nullptr && pkShader->GetVertexShader() != nullptr)
        m_spRenderState->ClearVertexShader(pkShader->GetVertexShader());
    pkShader->SetVertexShader(nullptr);
}

void NiDX9Renderer::PurgePixelShader(NiD3DPixelShader* pkShader)
{
    if (pkShader == nullptr)
        return;
    if (m_spRenderState != nullptr && pkShader->GetPixelShader() != nullptr)
        m_spRenderState->ClearPixelShader(pkShader->GetPixelShader());
    pkShader->SetPixelShader(nullptr);
}
