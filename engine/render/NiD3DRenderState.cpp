#include "engine/render/NiD3DRenderState.h"

#include "engine/core/NiColor.h"
#include "engine/core/NiXform.h"
#include "engine/render/NiDX9Renderer.h"
#include "engine/scene/NiAlphaProperty.h"
#include "engine/scene/NiFlagProperty.h"
#include "engine/scene/NiFogProperty.h"
#include "engine/scene/NiMaterialProperty.h"
#include "engine/scene/NiPropertySet.h"
#include "engine/scene/NiStencilProperty.h"
#include "engine/scene/NiZBufferProperty.h"
#include "engine/shaders/framework/NiD3DPass.h"

#include <algorithm>
#include <cmath>
#include <cstring>

using namespace gfx;

namespace
{
std::uint32_t FloatBits(float f)
{
    std::uint32_t ui;
    std::memcpy(&ui, &f, sizeof ui);
    return ui;
}

constexpr float ONE = 1.0f;
constexpr float SIXTY_FOUR = 64.0f;

// The state every render state takes at start; ZENABLE is adjusted by the
// creation options.
const std::vector<NiD3DRenderState::StateValue>& BaseDefaults()
{
    static const std::vector<NiD3DRenderState::StateValue> s_kDefaults = [] {
        const std::uint32_t uiOne = FloatBits(ONE);
        std::vector<NiD3DRenderState::StateValue> k = {
            {D3DRS_ZENABLE, 0},
            {D3DRS_FILLMODE, D3DFILL_SOLID},
            {D3DRS_SHADEMODE, D3DSHADE_GOURAUD},
            {D3DRS_ZWRITEENABLE, 1},
            {D3DRS_ALPHATESTENABLE, 0},
            {D3DRS_LASTPIXEL, 1},
            {D3DRS_SRCBLEND, D3DBLEND_ONE},
            {D3DRS_DESTBLEND, D3DBLEND_ZERO},
            {D3DRS_CULLMODE, D3DCULL_CCW},
            {D3DRS_ZFUNC, D3DCMP_LESSEQUAL},
            {D3DRS_ALPHAREF, 0},
            {D3DRS_ALPHAFUNC, D3DCMP_ALWAYS},
            {D3DRS_DITHERENABLE, 0},
            {D3DRS_ALPHABLENDENABLE, 0},
            {D3DRS_FOGENABLE, 0},
            {D3DRS_SPECULARENABLE, 0},
            {D3DRS_FOGCOLOR, 0},
            {D3DRS_FOGTABLEMODE, D3DFOG_NONE},
            {D3DRS_FOGSTART, FloatBits(0.0f)},
            {D3DRS_FOGEND, uiOne},
            {D3DRS_FOGDENSITY, uiOne},
            {D3DRS_RANGEFOGENABLE, 0},
            {D3DRS_STENCILENABLE, 0},
            {D3DRS_STENCILFAIL, D3DSTENCILOP_KEEP},
            {D3DRS_STENCILZFAIL, D3DSTENCILOP_KEEP},
            {D3DRS_STENCILPASS, D3DSTENCILOP_KEEP},
            {D3DRS_STENCILFUNC, D3DCMP_ALWAYS},
            {D3DRS_STENCILREF, 0},
            {D3DRS_STENCILMASK, 0xFFFFFFFF},
            {D3DRS_STENCILWRITEMASK, 0xFFFFFFFF},
            {D3DRS_TEXTUREFACTOR, 0xFFFFFFFF},
        };
        for (std::uint32_t ui = D3DRS_WRAP0; ui <= D3DRS_WRAP7; ++ui)
            k.push_back({ui, 0});
        const NiD3DRenderState::StateValue akRest[] = {
            {D3DRS_CLIPPING, 1},
            {D3DRS_LIGHTING, 1},
            {D3DRS_AMBIENT, 0},
            {D3DRS_FOGVERTEXMODE, D3DFOG_NONE},
            {D3DRS_COLORVERTEX, 1},
            {D3DRS_LOCALVIEWER, 1},
            {D3DRS_NORMALIZENORMALS, 0},
            {D3DRS_DIFFUSEMATERIALSOURCE, D3DMCS_COLOR1},
            {D3DRS_SPECULARMATERIALSOURCE, D3DMCS_COLOR2},
            {D3DRS_AMBIENTMATERIALSOURCE, D3DMCS_MATERIAL},
            {D3DRS_EMISSIVEMATERIALSOURCE, D3DMCS_MATERIAL},
            {D3DRS_VERTEXBLEND, D3DVBF_DISABLE},
            {D3DRS_CLIPPLANEENABLE, 0},
            {D3DRS_POINTSIZE, uiOne},
            {D3DRS_POINTSIZE_MIN, uiOne},
            {D3DRS_POINTSPRITEENABLE, 0},
            {D3DRS_POINTSCALEENABLE, 0},
            {D3DRS_POINTSCALE_A, uiOne},
            {D3DRS_POINTSCALE_B, 0},
            {D3DRS_POINTSCALE_C, 0},
            {D3DRS_MULTISAMPLEANTIALIAS, 1},
            {D3DRS_MULTISAMPLEMASK, 0xFFFFFFFF},
            {D3DRS_PATCHEDGESTYLE, 0},
            {D3DRS_DEBUGMONITORTOKEN, 0},
            {D3DRS_POINTSIZE_MAX, FloatBits(SIXTY_FOUR)},
            {D3DRS_INDEXEDVERTEXBLENDENABLE, 0},
            {D3DRS_COLORWRITEENABLE, 0xF},
            {D3DRS_TWEENFACTOR, 0},
            {D3DRS_BLENDOP, D3DBLENDOP_ADD},
            {D3DRS_POSITIONDEGREE, D3DDEGREE_CUBIC},
            {D3DRS_NORMALDEGREE, D3DDEGREE_LINEAR},
            {D3DRS_SCISSORTESTENABLE, 0},
            {D3DRS_SLOPESCALEDEPTHBIAS, 0},
            {D3DRS_ANTIALIASEDLINEENABLE, 0},
            {D3DRS_MINTESSELLATIONLEVEL, uiOne},
            {D3DRS_MAXTESSELLATIONLEVEL, uiOne},
            {D3DRS_ADAPTIVETESS_X, 0},
            {D3DRS_ADAPTIVETESS_Y, 0},
            {D3DRS_ADAPTIVETESS_Z, uiOne},
            {D3DRS_ADAPTIVETESS_W, 0},
            {D3DRS_ENABLEADAPTIVETESSELLATION, 0},
            {D3DRS_TWOSIDEDSTENCILMODE, 0},
            {D3DRS_CCW_STENCILFAIL, D3DSTENCILOP_KEEP},
            {D3DRS_CCW_STENCILZFAIL, D3DSTENCILOP_KEEP},
            {D3DRS_CCW_STENCILPASS, D3DSTENCILOP_KEEP},
            {D3DRS_CCW_STENCILFUNC, D3DCMP_ALWAYS},
            {D3DRS_COLORWRITEENABLE1, 0xF},
            {D3DRS_COLORWRITEENABLE2, 0xF},
            {D3DRS_COLORWRITEENABLE3, 0xF},
            {D3DRS_BLENDFACTOR, 0xFFFFFFFF},
            {D3DRS_SRGBWRITEENABLE, 0},
            {D3DRS_DEPTHBIAS, 0},
        };
        k.insert(k.end(), std::begin(akRest), std::end(akRest));
        for (std::uint32_t ui = D3DRS_WRAP8; ui <= D3DRS_WRAP15; ++ui)
            k.push_back({ui, 0});
        k.push_back({D3DRS_SEPARATEALPHABLENDENABLE, 0});
        k.push_back({D3DRS_SRCBLENDALPHA, D3DBLEND_ONE});
        k.push_back({D3DRS_DESTBLENDALPHA, D3DBLEND_ZERO});
        k.push_back({D3DRS_BLENDOPALPHA, D3DBLENDOP_ADD});
        return k;
    }();
    return s_kDefaults;
}

// Default texture-stage states; RESULTARG appears twice, as the table always had it.
constexpr NiD3DRenderState::StateValue STAGE_DEFAULTS[] = {
    {D3DTSS_COLOROP, D3DTOP_MODULATE},       {D3DTSS_COLORARG1, D3DTA_TEXTURE},
    {D3DTSS_COLORARG2, D3DTA_CURRENT},       {D3DTSS_ALPHAOP, D3DTOP_SELECTARG1},
    {D3DTSS_ALPHAARG1, D3DTA_TEXTURE},       {D3DTSS_ALPHAARG2, D3DTA_CURRENT},
    {D3DTSS_BUMPENVMAT00, 0},                {D3DTSS_BUMPENVMAT01, 0},
    {D3DTSS_BUMPENVMAT10, 0},                {D3DTSS_BUMPENVMAT11, 0},
    {D3DTSS_TEXCOORDINDEX, 0},               {D3DTSS_BUMPENVLSCALE, 0},
    {D3DTSS_BUMPENVLOFFSET, 0},              {D3DTSS_TEXTURETRANSFORMFLAGS, D3DTTFF_DISABLE},
    {D3DTSS_COLORARG0, D3DTA_CURRENT},       {D3DTSS_ALPHAARG0, D3DTA_CURRENT},
    {D3DTSS_RESULTARG, D3DTA_CURRENT},       {D3DTSS_RESULTARG, D3DTA_CURRENT},
};

// Default sampler states by engine index (device state = index + 1).
constexpr NiD3DRenderState::StateValue SAMPLER_DEFAULTS[] = {
    {0, D3DTADDRESS_WRAP}, {1, D3DTADDRESS_WRAP}, {2, D3DTADDRESS_WRAP}, {3, 0},  {4, D3DTEXF_POINT},
    {5, D3DTEXF_POINT},    {6, D3DTEXF_NONE},     {7, 0},                {8, 0},  {9, 1},
    {10, 0},               {11, 0},               {12, 256},
};

std::uint32_t PackColor(float r, float g, float b)
{
    return 0xFF000000u | (NiColorChannelTruncated(r) << 16) | (NiColorChannelTruncated(g) << 8) |
           NiColorChannelTruncated(b);
}

std::uint32_t StagesInUse()
{
    return std::min(NiD3DPass::GetMaxTextureBlendStages(), NiD3DRenderState::STAGES);
}
} // namespace

NiD3DRenderState::NiD3DRenderState(NiDX9Renderer* pkRenderer) : m_pkRenderer(pkRenderer)
{
    m_auiVertexBlend = {D3DVBF_DISABLE, D3DVBF_1WEIGHTS, D3DVBF_1WEIGHTS, D3DVBF_2WEIGHTS, D3DVBF_3WEIGHTS};
    m_auiAlphaBlendModes = {D3DBLEND_ONE,       D3DBLEND_ZERO,         D3DBLEND_SRCCOLOR, D3DBLEND_INVSRCCOLOR,
                            D3DBLEND_DESTCOLOR, D3DBLEND_INVDESTCOLOR, D3DBLEND_SRCALPHA, D3DBLEND_INVSRCALPHA,
                            D3DBLEND_DESTALPHA, D3DBLEND_INVDESTALPHA, D3DBLEND_SRCALPHASAT};
    m_auiAlphaTestModes = {D3DCMP_ALWAYS,  D3DCMP_LESS,     D3DCMP_EQUAL,        D3DCMP_LESSEQUAL,
                           D3DCMP_GREATER, D3DCMP_NOTEQUAL, D3DCMP_GREATEREQUAL, D3DCMP_NEVER};
    m_auiZBufferTestModes = m_auiAlphaTestModes;
    for (std::uint32_t ui = 0; ui < 8; ++ui)
        m_auiStencilTestModes[ui] = D3DCMP_NEVER + ui;
    for (std::uint32_t ui = 0; ui < 6; ++ui)
        m_auiStencilActions[ui] = D3DSTENCILOP_KEEP + ui;
    m_auiCullModes = {D3DCULL_CW, D3DCULL_CCW, D3DCULL_CW,   D3DCULL_CCW,
                      D3DCULL_CCW, D3DCULL_CW, D3DCULL_NONE, D3DCULL_NONE};
    m_spDisabledAlphaProperty = new NiAlphaProperty;
    m_spDisabledAlphaProperty->SetFlags(0x00EC);
    m_spDisabledAlphaProperty->SetTestRef(0);
    SetMaxFogValue(1.0f);
    m_uiFogColor = PackColor(m_fFogRed, m_fFogGreen, m_fFogBlue);
    m_kDefaultRenderStates = BaseDefaults();
    if (pkRenderer != nullptr)
        m_pkD3DDevice9 = pkRenderer->GetD3DDevice();
    if (m_pkD3DDevice9 != nullptr)
        m_pkD3DDevice9->AddRef();
}

NiD3DRenderState::~NiD3DRenderState()
{
    m_spDisabledAlphaProperty = nullptr;
    m_spConstantCache = nullptr;
    if (m_pkD3DDevice9 != nullptr)
        m_pkD3DDevice9->Release();
    m_pkD3DDevice9 = nullptr;
}

// ---- properties ----

void NiD3DRenderState::UpdateRenderState(const NiPropertySet* pkProperties)
{
    if (pkProperties == nullptr)
        return;
    ApplyWireframe(static_cast<const NiWireframeProperty*>(pkProperties->GetProperty(NiProperty::WIREFRAME)));
    ApplyShading(static_cast<const NiShadeProperty*>(pkProperties->GetProperty(NiProperty::SHADE)));
    ApplyAlpha(static_cast<const NiAlphaProperty*>(pkProperties->GetProperty(NiProperty::ALPHA)));
    ApplyZBuffer(static_cast<const NiZBufferProperty*>(pkProperties->GetProperty(NiProperty::ZBUFFER)));
    ApplyDither(static_cast<const NiDitherProperty*>(pkProperties->GetProperty(NiProperty::DITHER)));
    ApplySpecular(static_cast<const NiSpecularProperty*>(pkProperties->GetProperty(NiProperty::SPECULAR)));
    ApplyStencil(static_cast<const NiStencilProperty*>(pkProperties->GetProperty(NiProperty::STENCIL)));
    ApplyMaterial(static_cast<NiMaterialProperty*>(pkProperties->GetProperty(NiProperty::MATERIAL)));
    ApplyFog(static_cast<const NiFogProperty*>(pkProperties->GetProperty(NiProperty::FOG)));
}

void NiD3DRenderState::ApplyAlpha(const NiAlphaProperty* pkNew)
{
    if (pkNew == nullptr)
        return;
    const std::uint16_t uFlags = pkNew->GetFlags();
    if ((uFlags & 0x0001) != 0)
    {
        SetRenderState(D3DRS_ALPHABLENDENABLE, 1);
        // Four-bit fields can hold 11 to 15, which no device factor matches:
        // such a field leaves its factor as it was.
        const std::uint32_t uiSrc = (uFlags >> 1) & 15;
        const std::uint32_t uiDest = (uFlags >> 5) & 15;
        if (uiSrc < m_auiAlphaBlendModes.size())
            SetRenderState(D3DRS_SRCBLEND, m_auiAlphaBlendModes[uiSrc]);
        if (uiDest < m_auiAlphaBlendModes.size())
            SetRenderState(D3DRS_DESTBLEND, m_auiAlphaBlendModes[uiDest]);
    }
    else
    {
        SetRenderState(D3DRS_ALPHABLENDENABLE, 0);
    }
    if ((uFlags & 0x0200) != 0)
    {
        SetRenderState(D3DRS_ALPHATESTENABLE, 1);
        SetRenderState(D3DRS_ALPHAFUNC, m_auiAlphaTestModes[(uFlags >> 10) & 7]);
        SetRenderState(D3DRS_ALPHAREF, pkNew->GetTestRef());
    }
    else
    {
        SetRenderState(D3DRS_ALPHATESTENABLE, 0);
    }
}

void NiD3DRenderState::ApplyDither(const NiDitherProperty* pkNew)
{
    if (pkNew != nullptr)
        SetRenderState(D3DRS_DITHERENABLE, pkNew->GetFlags() & 1);
}

void NiD3DRenderState::ApplySpecular(const NiSpecularProperty* pkNew)
{
    if (pkNew != nullptr)
        SetRenderState(D3DRS_SPECULARENABLE, pkNew->GetFlags() & 1);
}

void NiD3DRenderState::ApplyShading(const NiShadeProperty* pkNew)
{
    if (pkNew != nullptr)
        SetRenderState(D3DRS_SHADEMODE, (pkNew->GetFlags() & 1) != 0 ? D3DSHADE_GOURAUD : D3DSHADE_FLAT);
}

void NiD3DRenderState::ApplyWireframe(const NiWireframeProperty* pkNew)
{
    if (pkNew != nullptr)
        SetRenderState(D3DRS_FILLMODE, (pkNew->GetFlags() & 1) != 0 ? D3DFILL_WIREFRAME : D3DFILL_SOLID);
}

void NiD3DRenderState::ApplyZBuffer(const NiZBufferProperty* pkNew)
{
    if (pkNew == nullptr)
        return;
    const std::uint16_t uFlags = pkNew->GetFlags();
    if ((uFlags & 1) != 0)
    {
        SetRenderState(D3DRS_ZENABLE, m_bUseWBuffer != 0 ? D3DZB_USEW : D3DZB_TRUE);
        const std::uint32_t uiTest = pkNew->GetTestFunction();
        if (uiTest < m_auiZBufferTestModes.size())
            SetRenderState(D3DRS_ZFUNC, m_auiZBufferTestModes[uiTest]);
    }
    else
    {
        SetRenderState(D3DRS_ZENABLE, D3DZB_FALSE);
    }
    SetRenderState(D3DRS_ZWRITEENABLE, (uFlags >> 1) & 1);
}

void NiD3DRenderState::ApplyStencil(const NiStencilProperty* pkNew)
{
    if (pkNew == nullptr)
        return;
    if (pkNew->GetStencilOn())
    {
        SetRenderState(D3DRS_STENCILENABLE, 1);
        if (pkNew->GetStencilFunction() < m_auiStencilTestModes.size())
            SetRenderState(D3DRS_STENCILFUNC, m_auiStencilTestModes[pkNew->GetStencilFunction()]);
        SetRenderState(D3DRS_STENCILREF, pkNew->GetStencilReference());
        SetRenderState(D3DRS_STENCILMASK, pkNew->GetStencilMask());
        if (pkNew->GetStencilFailAction() < m_auiStencilActions.size())
            SetRenderState(D3DRS_STENCILFAIL, m_auiStencilActions[pkNew->GetStencilFailAction()]);
        if (pkNew->GetStencilPassZFailAction() < m_auiStencilActions.size())
            SetRenderState(D3DRS_STENCILZFAIL, m_auiStencilActions[pkNew->GetStencilPassZFailAction()]);
        if (pkNew->GetStencilPassAction() < m_auiStencilActions.size())
            SetRenderState(D3DRS_STENCILPASS, m_auiStencilActions[pkNew->GetStencilPassAction()]);
    }
    else
    {
        SetRenderState(D3DRS_STENCILENABLE, 0);
    }
    // The stencil property also decides back-face culling.
    const std::uint64_t uiCull = std::uint64_t(pkNew->GetDrawMode()) * 2 + (m_bLeftRightSwap != 0 ? 1 : 0);
    if (uiCull < m_auiCullModes.size())
        SetRenderState(D3DRS_CULLMODE, m_auiCullModes[uiCull]);
}

void NiD3DRenderState::ApplyMaterial(NiMaterialProperty* pkNew)
{
    m_kMaterials.Update(pkNew);
    m_kMaterials.Commit(m_pkD3DDevice9);
}

void NiD3DRenderState::ApplyFog(const NiFogProperty* pkNew)
{
    if (pkNew == nullptr)
        return;
    if (!pkNew->GetFog())
    {
        SetRenderState(D3DRS_FOGENABLE, 0);
        return;
    }
    SetRenderState(D3DRS_FOGENABLE, 1);
    const float fSpan = m_fCameraDepthRange * pkNew->GetDepth();
    SetRenderState(D3DRS_FOGDENSITY, FloatBits(1.0f / fSpan));
    SetRenderState(D3DRS_FOGSTART, FloatBits(m_fCameraFar - fSpan));
    SetRenderState(D3DRS_FOGEND, FloatBits(m_fCameraFar + fSpan * m_fFogEndFactor));

    const bool bTable = (m_uiFlags & CAPS_TABLE_FOG) != 0;
    switch (pkNew->GetFogFunction())
    {
    case NiFogProperty::FOG_Z_LINEAR:
        if (bTable)
        {
            SetRenderState(D3DRS_FOGTABLEMODE, D3DFOG_LINEAR);
            SetRenderState(D3DRS_FOGVERTEXMODE, D3DFOG_NONE);
        }
        SetRenderState(D3DRS_RANGEFOGENABLE, 0);
        break;
    case NiFogProperty::FOG_RANGE_SQ:
        if (bTable)
        {
            SetRenderState(D3DRS_FOGTABLEMODE, D3DFOG_NONE);
            SetRenderState(D3DRS_FOGVERTEXMODE, D3DFOG_LINEAR);
        }
        SetRenderState(D3DRS_RANGEFOGENABLE, 1);
        break;
    default: SetRenderState(D3DRS_FOGENABLE, 0); break;
    }

    const NiColorRGB& kColor = pkNew->GetFogColor();
    // A component that is not a number never equals the cached one.
    if (!(kColor.r == m_fFogRed) || !(kColor.g == m_fFogGreen) || !(kColor.b == m_fFogBlue))
    {
        m_fFogRed = kColor.r;
        m_fFogGreen = kColor.g;
        m_fFogBlue = kColor.b;
        m_uiFogColor = PackColor(m_fFogRed, m_fFogGreen, m_fFogBlue);
    }
    SetRenderState(D3DRS_FOGCOLOR, m_uiFogColor);
}

void NiD3DRenderState::DisableAlpha()
{
    ApplyAlpha(m_spDisabledAlphaProperty);
}

void NiD3DRenderState::SetBoneCount(std::uint16_t usNumBones)
{
    if (usNumBones < m_auiVertexBlend.size())
        SetRenderState(D3DRS_VERTEXBLEND, m_auiVertexBlend[usNumBones]);
}

void NiD3DRenderState::UpdateNormalizeNormals(const NiXform& kXform)
{
    const float fScale = kXform.m_fScale;
    const bool bScaled = !(fScale >= 0.99f && fScale <= 1.01f); // NaN counts as scaled
    SetRenderState(D3DRS_NORMALIZENORMALS,
                   (bScaled || m_bForceNormalizeNormals != 0 || m_bInternalNormalizeNormals != 0) ? 1 : 0);
}

void NiD3DRenderState::SetUseWBuffer(bool bUseWBuffer)
{
    m_bUseWBuffer = (bUseWBuffer && (m_uiFlags & CAPS_WBUFFER) != 0) ? 1 : 0;
}

void NiD3DRenderState::SetMaxFogValue(float fFogVal)
{
    if (!(fFogVal > 0.0f))
        fFogVal = 0.00001f;
    m_fMaxFogValue = fFogVal;
    m_fFogEndFactor = 1.0f / fFogVal - 1.0f;
}

void NiD3DRenderState::SetCameraNearAndFar(float fNear, float fFar)
{
    m_fCameraNear = fNear;
    m_fCameraFar = fFar;
    m_fCameraDepthRange = fFar - fNear;
}

void NiD3DRenderState::PurgeMaterial(NiMaterialProperty* pkMaterial)
{
    m_kMaterials.Purge(pkMaterial);
}

// ---- render states ----

void NiD3DRenderState::InitRenderStates()
{
    for (const StateValue& k : m_kDefaultRenderStates)
    {
        m_akRenderStates[k.m_uiState] = {k.m_uiValue, k.m_uiValue};
        if (m_pkD3DDevice9 != nullptr)
            m_pkD3DDevice9->SetRenderState(k.m_uiState, k.m_uiValue);
    }
}

void NiD3DRenderState::SaveRenderStates()
{
    for (CachedState& k : m_akRenderStates)
        k.m_uiSaved = k.m_uiCurrent;
}

void NiD3DRenderState::RestoreRenderState(std::uint32_t uiState)
{
    if (uiState < RENDER_STATES)
        SetRenderState(uiState, m_akRenderStates[uiState].m_uiSaved, false);
}

void NiD3DRenderState::RestoreRenderStates()
{
    for (std::uint32_t ui = 0; ui < RENDER_STATES; ++ui)
        RestoreRenderState(ui);
}

void NiD3DRenderState::SetRenderState(std::uint32_t uiState, std::uint32_t uiValue, bool bSave)
{
    if (uiState >= RENDER_STATES)
        return;
    CachedState& k = m_akRenderStates[uiState];
    if (k.m_uiCurrent != uiValue && m_pkD3DDevice9 != nullptr)
        m_pkD3DDevice9->SetRenderState(uiState, uiValue);
    if (bSave)
        k.m_uiSaved = k.m_uiCurrent;
    k.m_uiCurrent = uiValue;
}

std::uint32_t NiD3DRenderState::GetRenderState(std::uint32_t uiState) const
{
    return uiState < RENDER_STATES ? m_akRenderStates[uiState].m_uiCurrent : 0;
}

std::uint32_t NiD3DRenderState::GetSavedRenderState(std::uint32_t uiState) const
{
    return uiState < RENDER_STATES ? m_akRenderStates[uiState].m_uiSaved : 0;
}

// ---- shaders ----

namespace
{
// The saved shader after InitShaderState: no real shader has it, so the next
// restore always reaches the device, and it is never handed to the device.
gfx::IDirect3DPixelShader9* const NO_PIXEL_SHADER = reinterpret_cast<gfx::IDirect3DPixelShader9*>(1);
} // namespace

void NiD3DRenderState::InitShaderState()
{
    m_pkCurrentVertexShader = nullptr;
    m_pkSavedVertexShader = reinterpret_cast<gfx::IDirect3DVertexShader9*>(1);
    m_pkCurrentPixelShader = nullptr;
    m_pkSavedPixelShader = NO_PIXEL_SHADER;
}

void NiD3DRenderState::SaveShaderState()
{
    m_pkSavedVertexShader = m_pkCurrentVertexShader;
    m_pkSavedPixelShader = m_pkCurrentPixelShader;
}

void NiD3DRenderState::RestoreShaderState()
{
    RestorePixelShader();
    RestoreVertexShader();
}

void NiD3DRenderState::SetPixelShader(gfx::IDirect3DPixelShader9* pkShader, bool bSave)
{
    ChangeShader(m_pkCurrentPixelShader, m_pkSavedPixelShader, pkShader, NO_PIXEL_SHADER, bSave,
                 &gfx::IDirect3DDevice9::SetPixelShader);
}

void NiD3DRenderState::RestorePixelShader()
{
    SetPixelShader(m_pkSavedPixelShader, false);
}

void NiD3DRenderState::ClearPixelShader(gfx::IDirect3DPixelShader9* pkShader)
{
    DropShader(m_pkCurrentPixelShader, m_pkSavedPixelShader, pkShader, &gfx::IDirect3DDevice9::SetPixelShader);
}

// ---- texture stages and samplers ----

void NiD3DRenderState::InitTextureStageStates()
{
    const std::uint32_t uiStages = StagesInUse();
    for (std::uint32_t uiStage = 0; uiStage < uiStages; ++uiStage)
    {
        for (const StateValue& k : STAGE_DEFAULTS)
        {
            std::uint32_t uiValue = k.m_uiValue;
            if (k.m_uiState == D3DTSS_TEXCOORDINDEX)
                uiValue = uiStage;
            else if (uiStage >= 1 && (k.m_uiState == D3DTSS_COLOROP || k.m_uiState == D3DTSS_ALPHAOP))
                uiValue = D3DTOP_DISABLE;
            m_akTextureStageStates[uiStage * STAGE_STATES + k.m_uiState] = {uiValue, uiValue};
            StageStatesChanged();
            if (m_pkD3DDevice9 != nullptr)
                m_pkD3DDevice9->SetTextureStageState(uiStage, k.m_uiState, uiValue);
        }
        for (const StateValue& k : SAMPLER_DEFAULTS)
        {
            // Marked as another value first, so the default reaches the
            // device through the cache.
            m_akSamplerStates[uiStage * SAMPLER_STATES + k.m_uiState] = {k.m_uiValue + 1, k.m_uiValue + 1};
            StageStatesChanged();
            SetSamplerState(uiStage, k.m_uiState, k.m_uiValue, false);
        }
    }
}

void NiD3DRenderState::SaveTextureStageStates()
{
    const std::uint32_t uiStages = StagesInUse();
    for (std::uint32_t uiStage = 0; uiStage < uiStages; ++uiStage)
    {
        for (std::uint32_t ui = 0; ui < STAGE_STATES; ++ui)
        {
            CachedState& k = m_akTextureStageStates[uiStage * STAGE_STATES + ui];
            k.m_uiSaved = k.m_uiCurrent;
        }
        for (std::uint32_t ui = 0; ui < SAMPLER_STATES; ++ui)
        {
            CachedState& k = m_akSamplerStates[uiStage * SAMPLER_STATES + ui];
            k.m_uiSaved = k.m_uiCurrent;
        }
    }
}

void NiD3DRenderState::RestoreTextureStageState(std::uint32_t uiStage, std::uint32_t uiState)
{
    if (uiStage < STAGES && uiState < STAGE_STATES)
        SetTextureStageState(uiStage, uiState, m_akTextureStageStates[uiStage * STAGE_STATES + uiState].m_uiSaved,
                             false);
}

void NiD3DRenderState::RestoreTextureStageStates()
{
    const std::uint32_t uiStages = StagesInUse();
    for (std::uint32_t uiStage = 0; uiStage < uiStages; ++uiStage)
    {
        for (std::uint32_t ui = 0; ui < STAGE_STATES; ++ui)
            RestoreTextureStageState(uiStage, ui);
        for (std::uint32_t ui = 0; ui < SAMPLER_STATES; ++ui)
            RestoreSamplerState(uiStage, ui);
    }
}

void NiD3DRenderState::SetTextureStageState(std::uint32_t uiStage, std::uint32_t uiState, std::uint32_t uiValue,
                                            bool bSave)
{
    if (uiStage >= STAGES || uiState >= STAGE_STATES)
        return;
    CachedState& k = m_akTextureStageStates[uiStage * STAGE_STATES + uiState];
    if (k.m_uiCurrent != uiValue && m_pkD3DDevice9 != nullptr)
        m_pkD3DDevice9->SetTextureStageState(uiStage, uiState, uiValue);
    if (bSave)
        k.m_uiSaved = k.m_uiCurrent;
    if (k.m_uiCurrent != uiValue)
        StageStatesChanged();
    k.m_uiCurrent = uiValue;
}

void NiD3DRenderState::SetProgramTexCoordStates(std::uint32_t uiStages)
{
    uiStages = std::min(uiStages, STAGES);
    // Effects ask it around every draw: with no stage state changed since
    // these stages were set so, there is nothing to look at.
    if (m_uiProgramTexCoordSerial == m_uiStageStateSerial && uiStages <= m_uiProgramTexCoordStages)
        return;
    for (std::uint32_t ui = 0; ui < uiStages; ++ui)
    {
        // Almost always already so: only a change costs a call.
        const CachedState* pkStage = &m_akTextureStageStates[ui * STAGE_STATES];
        if (pkStage[gfx::D3DTSS_TEXCOORDINDEX].m_uiCurrent != ui)
            SetTextureStageState(ui, gfx::D3DTSS_TEXCOORDINDEX, ui, false);
        if (pkStage[gfx::D3DTSS_TEXTURETRANSFORMFLAGS].m_uiCurrent != gfx::D3DTTFF_DISABLE)
            SetTextureStageState(ui, gfx::D3DTSS_TEXTURETRANSFORMFLAGS, gfx::D3DTTFF_DISABLE, false);
    }
    m_uiProgramTexCoordSerial = m_uiStageStateSerial;
    m_uiProgramTexCoordStages = uiStages;
}

std::uint32_t NiD3DRenderState::GetTextureStageState(std::uint32_t uiStage, std::uint32_t uiState) const
{
    if (uiStage >= STAGES || uiState >= STAGE_STATES)
        return 0;
    return m_akTextureStageStates[uiStage * STAGE_STATES + uiState].m_uiCurrent;
}

std::uint32_t NiD3DRenderState::GetSavedTextureStageState(std::uint32_t uiStage, std::uint32_t uiState) const
{
    if (uiStage >= STAGES || uiState >= STAGE_STATES)
        return 0;
    return m_akTextureStageStates[uiStage * STAGE_STATES + uiState].m_uiSaved;
}

std::uint32_t NiD3DRenderState::GetSavedSamplerState(std::uint32_t uiSampler, std::uint32_t uiState) const
{
    if (uiSampler >= SAMPLERS || uiState >= SAMPLER_STATES)
        return 0;
    return m_akSamplerStates[uiSampler * SAMPLER_STATES + uiState].m_uiSaved;
}

void NiD3DRenderState::ClearTextureCache()
{
    m_apkTextures.fill(nullptr);
}

void NiD3DRenderState::SetTexture(std::uint32_t uiStage, gfx::IDirect3DBaseTexture9* pkTexture)
{
    if (uiStage >= STAGES || m_apkTextures[uiStage] == pkTexture)
        return;
    if (m_pkD3DDevice9 != nullptr)
        m_pkD3DDevice9->SetTexture(uiStage, pkTexture);
    m_apkTextures[uiStage] = pkTexture;
}

gfx::IDirect3DBaseTexture9* NiD3DRenderState::GetTexture(std::uint32_t uiStage) const
{
    return uiStage < STAGES ? m_apkTextures[uiStage] : nullptr;
}

void NiD3DRenderState::ClearTexture(gfx::IDirect3DBaseTexture9* pkTexture)
{
    if (pkTexture == nullptr)
        return;
    for (std::uint32_t uiStage = 0; uiStage < STAGES; ++uiStage)
    {
        if (m_apkTextures[uiStage] != pkTexture)
            continue;
        m_apkTextures[uiStage] = nullptr;
        if (m_pkD3DDevice9 != nullptr)
            m_pkD3DDevice9->SetTexture(uiStage, nullptr);
    }
}

// ---- defaults ----

void NiD3DRenderState::ResetSharedDefaults(bool bMultisampleOff)
{
    InitRenderStates();
    InitShaderState();
    InitTextureStageStates();
    ClearTextureCache();
    m_kMaterials.Reset();
    SetRenderState(D3DRS_CULLMODE, D3DCULL_CW);
    if (bMultisampleOff)
        SetRenderState(D3DRS_MULTISAMPLEANTIALIAS, 0);
    SetRenderState(D3DRS_FILLMODE, D3DFILL_SOLID);
    SetRenderState(D3DRS_SHADEMODE, D3DSHADE_GOURAUD);
    SetRenderState(D3DRS_ALPHABLENDENABLE, 0);
    SetRenderState(D3DRS_SRCBLEND, m_auiAlphaBlendModes[6]);
    SetRenderState(D3DRS_DESTBLEND, m_auiAlphaBlendModes[7]);
    SetRenderState(D3DRS_ALPHATESTENABLE, 0);
    SetRenderState(D3DRS_ALPHAFUNC, D3DCMP_ALWAYS);
    SetRenderState(D3DRS_ALPHAREF, 0);
    SetRenderState(D3DRS_ZFUNC, D3DCMP_ALWAYS);
    SetRenderState(D3DRS_ZWRITEENABLE, 0);
    SetRenderState(D3DRS_DITHERENABLE, 0);
    SetRenderState(D3DRS_SPECULARENABLE, 0);
    SetRenderState(D3DRS_FOGENABLE, 0);
    SetRenderState(D3DRS_FOGTABLEMODE, (m_uiFlags & CAPS_TABLE_FOG) != 0 ? D3DFOG_LINEAR : D3DFOG_NONE);
}

void NiD3DRenderState::ResetToDefaults()
{
    ResetSharedDefaults(true);
    SetRenderState(D3DRS_RANGEFOGENABLE, 0);
    SetRenderState(D3DRS_FOGCOLOR, 0);
    SetRenderState(D3DRS_NORMALIZENORMALS, 1);
    SetRenderState(D3DRS_ZENABLE,
                   (m_bWBufferPreferred != 0 && (m_uiFlags & CAPS_WBUFFER) != 0) ? D3DZB_USEW : D3DZB_TRUE);
    SetRenderState(D3DRS_COLORVERTEX, 1);
}
