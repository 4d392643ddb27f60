#include "engine/shaders/nsb/NSBStateConversion.h"

#include "engine/shaders/framework/NiD3DRenderStateGroup.h"
#include "engine/shaders/framework/NiD3DTextureStageGroup.h"
#include "engine/shaders/nsb/NSBStateGroup.h"
#include "platform/gfx/GfxTypes.h"

#include <array>
#include <iterator>
#include <utility>

namespace
{
using namespace gfx;

// The language numbers its render states 0-141; the device numbers of the
// same names, or 0 for the language's states of other platforms (the device
// has no render state 0, so 0 never names a real one).
constexpr std::pair<std::uint32_t, std::uint32_t> RENDER_STATES[] = {
    {0, D3DRS_ZFUNC},
    {1, D3DRS_ALPHAFUNC},
    {2, D3DRS_ALPHABLENDENABLE},
    {3, D3DRS_ALPHATESTENABLE},
    {4, D3DRS_ALPHAREF},
    {5, D3DRS_SRCBLEND},
    {6, D3DRS_DESTBLEND},
    {7, D3DRS_ZWRITEENABLE},
    {8, D3DRS_DITHERENABLE},
    {9, D3DRS_SHADEMODE},
    {10, D3DRS_COLORWRITEENABLE},
    {11, D3DRS_STENCILZFAIL},
    {12, D3DRS_STENCILPASS},
    {13, D3DRS_STENCILFUNC},
    {14, D3DRS_STENCILREF},
    {15, D3DRS_STENCILMASK},
    {16, D3DRS_STENCILWRITEMASK},
    {17, D3DRS_BLENDOP},
    {27, D3DRS_FOGENABLE},
    {28, D3DRS_FOGTABLEMODE},
    {29, D3DRS_FOGSTART},
    {30, D3DRS_FOGEND},
    {31, D3DRS_FOGDENSITY},
    {32, D3DRS_RANGEFOGENABLE},
    {33, D3DRS_WRAP0},
    {34, D3DRS_WRAP1},
    {35, D3DRS_WRAP2},
    {36, D3DRS_WRAP3},
    {37, D3DRS_WRAP4},
    {38, D3DRS_WRAP5},
    {39, D3DRS_WRAP6},
    {40, D3DRS_WRAP7},
    {41, D3DRS_LIGHTING},
    {42, D3DRS_SPECULARENABLE},
    {43, D3DRS_LOCALVIEWER},
    {44, D3DRS_COLORVERTEX},
    {49, D3DRS_SPECULARMATERIALSOURCE},
    {50, D3DRS_DIFFUSEMATERIALSOURCE},
    {51, D3DRS_AMBIENTMATERIALSOURCE},
    {52, D3DRS_EMISSIVEMATERIALSOURCE},
    {54, D3DRS_AMBIENT},
    {55, D3DRS_POINTSIZE},
    {56, D3DRS_POINTSIZE_MIN},
    {57, D3DRS_POINTSPRITEENABLE},
    {58, D3DRS_POINTSCALEENABLE},
    {59, D3DRS_POINTSCALE_A},
    {60, D3DRS_POINTSCALE_B},
    {61, D3DRS_POINTSCALE_C},
    {62, D3DRS_POINTSIZE_MAX},
    {63, D3DRS_PATCHEDGESTYLE},
    {67, D3DRS_VERTEXBLEND},
    {68, D3DRS_FOGCOLOR},
    {69, D3DRS_FILLMODE},
    {72, D3DRS_NORMALIZENORMALS},
    {73, D3DRS_ZENABLE},
    {74, D3DRS_STENCILENABLE},
    {75, D3DRS_STENCILFAIL},
    {77, D3DRS_CULLMODE},
    {78, D3DRS_TEXTUREFACTOR},
    {82, D3DRS_MULTISAMPLEANTIALIAS},
    {83, D3DRS_MULTISAMPLEMASK},
    {97, D3DRS_LASTPIXEL},
    {98, D3DRS_CLIPPING},
    {99, D3DRS_FOGVERTEXMODE},
    {100, D3DRS_CLIPPLANEENABLE},
    {102, D3DRS_DEBUGMONITORTOKEN},
    {103, D3DRS_INDEXEDVERTEXBLENDENABLE},
    {104, D3DRS_TWEENFACTOR},
    {107, D3DRS_POSITIONDEGREE},
    {108, D3DRS_NORMALDEGREE},
    {109, D3DRS_SCISSORTESTENABLE},
    {110, D3DRS_SLOPESCALEDEPTHBIAS},
    {111, D3DRS_ANTIALIASEDLINEENABLE},
    {112, D3DRS_MINTESSELLATIONLEVEL},
    {113, D3DRS_MAXTESSELLATIONLEVEL},
    {114, D3DRS_ADAPTIVETESS_X},
    {115, D3DRS_ADAPTIVETESS_Y},
    {116, D3DRS_ADAPTIVETESS_Z},
    {117, D3DRS_ADAPTIVETESS_W},
    {119, D3DRS_TWOSIDEDSTENCILMODE},
    {120, D3DRS_CCW_STENCILFAIL},
    {121, D3DRS_CCW_STENCILZFAIL},
    {122, D3DRS_CCW_STENCILPASS},
    {123, D3DRS_CCW_STENCILFUNC},
    {124, D3DRS_COLORWRITEENABLE1},
    {125, D3DRS_COLORWRITEENABLE2},
    {126, D3DRS_COLORWRITEENABLE3},
    {127, D3DRS_BLENDFACTOR},
    {128, D3DRS_SRGBWRITEENABLE},
    {129, D3DRS_DEPTHBIAS},
    {130, D3DRS_WRAP8},
    {131, D3DRS_WRAP9},
    {132, D3DRS_WRAP10},
    {133, D3DRS_WRAP11},
    {134, D3DRS_WRAP12},
    {135, D3DRS_WRAP13},
    {136, D3DRS_WRAP14},
    {137, D3DRS_WRAP15},
    {138, D3DRS_SEPARATEALPHABLENDENABLE},
    {139, D3DRS_SRCBLENDALPHA},
    {140, D3DRS_DESTBLENDALPHA},
    {141, D3DRS_BLENDOPALPHA},
};

constexpr std::array<std::uint32_t, NSBStateConversion::MAX_RENDER_STATE + 1> MakeRenderStateTable()
{
    std::array<std::uint32_t, NSBStateConversion::MAX_RENDER_STATE + 1> auiTable{};
    for (const auto& [uiState, uiD3DState] : RENDER_STATES)
        auiTable[uiState] = uiD3DState;
    return auiTable;
}
constexpr auto RENDER_STATE_TABLE = MakeRenderStateTable();

// Texture-stage states 0-17 of the language; 9 has no device counterpart.
constexpr std::uint32_t NO_STATE = 0;
constexpr std::uint32_t STAGE_STATE_TABLE[] = {
    D3DTSS_COLOROP,      D3DTSS_COLORARG0,     D3DTSS_COLORARG1,     D3DTSS_COLORARG2,
    D3DTSS_ALPHAOP,      D3DTSS_ALPHAARG0,     D3DTSS_ALPHAARG1,     D3DTSS_ALPHAARG2,
    D3DTSS_RESULTARG,    NO_STATE,             D3DTSS_BUMPENVMAT00,  D3DTSS_BUMPENVMAT01,
    D3DTSS_BUMPENVMAT10, D3DTSS_BUMPENVMAT11,  D3DTSS_BUMPENVLSCALE, D3DTSS_BUMPENVLOFFSET,
    D3DTSS_TEXCOORDINDEX, D3DTSS_TEXTURETRANSFORMFLAGS,
};

// Argument sources in the language's order.
constexpr std::uint32_t ARGUMENT_TABLE[] = {D3DTA_CURRENT,  D3DTA_DIFFUSE, D3DTA_SELECTMASK, D3DTA_SPECULAR,
                                            D3DTA_TEMP,     D3DTA_TEXTURE, D3DTA_TFACTOR};
constexpr std::uint32_t ARGUMENT_SOURCE_MASK = 0x0FFFFFFF;
constexpr std::uint32_t ARGUMENT_ALPHAREPLICATE = 0x40000000;
constexpr std::uint32_t ARGUMENT_COMPLEMENT = 0x80000000;
constexpr std::uint32_t INVALID_ARGUMENT = 0x7FFFFFFF;

constexpr std::uint32_t TCI_GENERATION[] = {D3DTSS_TCI_PASSTHRU, D3DTSS_TCI_CAMERASPACENORMAL,
                                            D3DTSS_TCI_CAMERASPACEPOSITION,
                                            D3DTSS_TCI_CAMERASPACEREFLECTIONVECTOR, D3DTSS_TCI_SPHEREMAP};

constexpr std::uint32_t FILTER_TABLE[] = {D3DTEXF_NONE,        D3DTEXF_POINT,         D3DTEXF_LINEAR,
                                          D3DTEXF_ANISOTROPIC, D3DTEXF_PYRAMIDALQUAD, D3DTEXF_GAUSSIANQUAD};

// A 0-based index into a list of uiCount device values that start at 1.
bool IndexPlusOne(std::uint32_t uiValue, std::uint32_t uiCount, std::uint32_t& uiOut)
{
    if (uiValue >= uiCount)
        return false;
    uiOut = uiValue + 1;
    return true;
}

bool Unchanged(std::uint32_t uiValue, std::uint32_t uiCount, std::uint32_t& uiOut)
{
    if (uiValue >= uiCount)
        return false;
    uiOut = uiValue;
    return true;
}
} // namespace

bool NSBStateConversion::ConvertRenderState(std::uint32_t uiState, std::uint32_t& uiD3DState)
{
    if (uiState > MAX_RENDER_STATE || RENDER_STATE_TABLE[uiState] == 0)
        return false;
    uiD3DState = RENDER_STATE_TABLE[uiState];
    return true;
}

bool NSBStateConversion::ConvertRenderStateValue(std::uint32_t uiState, std::uint32_t uiValue,
                                                 std::uint32_t& uiD3DValue)
{
    switch (uiState)
    {
    case 0: // ZFUNC
    case 1: // ALPHAFUNC
    case 13: // STENCILFUNC
    case 123: // CCW_STENCILFUNC
        return IndexPlusOne(uiValue, D3DCMP_ALWAYS, uiD3DValue);
    case 11: // STENCILZFAIL
    case 12: // STENCILPASS
    case 75: // STENCILFAIL
    case 120: // CCW_STENCILFAIL
    case 121: // CCW_STENCILZFAIL
    case 122: // CCW_STENCILPASS
        return IndexPlusOne(uiValue, D3DSTENCILOP_DECR, uiD3DValue);
    case 5: // SRCBLEND
    case 6: // DESTBLEND
    case 139: // SRCBLENDALPHA
    case 140: // DESTBLENDALPHA
        return IndexPlusOne(uiValue, D3DBLEND_BOTHINVSRCALPHA, uiD3DValue);
    case 17: // BLENDOP
    case 141: // BLENDOPALPHA
        return IndexPlusOne(uiValue, D3DBLENDOP_MAX, uiD3DValue);
    case 9: // SHADEMODE
    case 69: // FILLMODE
    case 77: // CULLMODE
        return IndexPlusOne(uiValue, 3, uiD3DValue);
    case 28: // FOGTABLEMODE
    case 99: // FOGVERTEXMODE
        return Unchanged(uiValue, D3DFOG_LINEAR + 1, uiD3DValue);
    case 33: case 34: case 35: case 36: case 37: case 38: case 39: case 40: // WRAP0-7
    case 130: case 131: case 132: case 133: case 134: case 135: case 136: case 137: // WRAP8-15
        // The language counts U and V together (3) before W alone (4); the
        // device's bits run the other way round.
        if (uiValue == 3)
            uiD3DValue = D3DWRAP_W;
        else if (uiValue == 4)
            uiD3DValue = D3DWRAP_U | D3DWRAP_V;
        else
            return Unchanged(uiValue, 8, uiD3DValue);
        return true;
    case 45: case 46: case 47: case 48: // back-face material sources
    case 49: case 50: case 51: case 52: // material sources
    case 73: // ZENABLE
        return Unchanged(uiValue, 3, uiD3DValue);
    case 63: // PATCHEDGESTYLE
    case 102: // DEBUGMONITORTOKEN
        return Unchanged(uiValue, 2, uiD3DValue);
    case 67: // VERTEXBLEND
        if (uiValue == 7)
            uiD3DValue = D3DVBF_TWEENING;
        else if (uiValue == 8)
            uiD3DValue = D3DVBF_0WEIGHTS;
        else
            return Unchanged(uiValue, D3DVBF_3WEIGHTS + 1, uiD3DValue);
        return true;
    case 107: // POSITIONDEGREE
    case 108: // NORMALDEGREE
        if (uiValue != D3DDEGREE_LINEAR && uiValue != D3DDEGREE_QUADRATIC && uiValue != D3DDEGREE_CUBIC &&
            uiValue != D3DDEGREE_QUINTIC)
            return false;
        uiD3DValue = uiValue;
        return true;
    default:
        // Booleans, references, masks, float bits and colours.
        uiD3DValue = uiValue;
        return true;
    }
}

bool NSBStateConversion::ConvertTextureStageState(std::uint32_t uiState, std::uint32_t& uiD3DState)
{
    if (uiState >= std::size(STAGE_STATE_TABLE) || STAGE_STATE_TABLE[uiState] == NO_STATE)
        return false;
    uiD3DState = STAGE_STATE_TABLE[uiState];
    return true;
}

bool NSBStateConversion::ConvertTextureStageValue(std::uint32_t uiState, std::uint32_t uiValue,
                                                  std::uint32_t& uiD3DValue)
{
    switch (uiState)
    {
    case 0: // COLOROP
    case 4: // ALPHAOP
        return IndexPlusOne(uiValue, D3DTOP_LERP, uiD3DValue);
    case 1: case 2: case 3: // COLORARG0-2
    case 5: case 6: case 7: // ALPHAARG0-2
    case 8: // RESULTARG
    {
        if (uiValue == INVALID_ARGUMENT)
            return false;
        // A source past the list would otherwise reach the device as
        // whatever the word happens to hold.
        const std::uint32_t uiSource = uiValue & ARGUMENT_SOURCE_MASK;
        if (uiSource >= std::size(ARGUMENT_TABLE))
            return false;
        std::uint32_t uiResult = ARGUMENT_TABLE[uiSource];
        if ((uiValue & ARGUMENT_ALPHAREPLICATE) != 0)
            uiResult |= D3DTA_ALPHAREPLICATE;
        if ((uiValue & ARGUMENT_COMPLEMENT) != 0)
            uiResult |= D3DTA_COMPLEMENT;
        uiD3DValue = uiResult;
        return true;
    }
    case 10: case 11: case 12: case 13: // BUMPENVMAT00-11
    case 14: case 15: // BUMPENVLSCALE, BUMPENVLOFFSET
        uiD3DValue = uiValue;
        return true;
    case 16: // TEXCOORDINDEX: generation mode in the top nibble, set index below
    {
        const std::uint32_t uiMode = uiValue >> 28;
        const std::uint32_t uiGeneration = uiMode < std::size(TCI_GENERATION) ? TCI_GENERATION[uiMode] : 0;
        uiD3DValue = uiGeneration | (uiValue & 0x0FFFFFFF);
        return true;
    }
    case 17: // TEXTURETRANSFORMFLAGS
        if ((uiValue & ~D3DTTFF_PROJECTED) > D3DTTFF_COUNT4)
            return false;
        uiD3DValue = uiValue;
        return true;
    default:
        return false;
    }
}

bool NSBStateConversion::ConvertSamplerValue(std::uint32_t uiState, std::uint32_t uiValue, std::uint32_t& uiD3DValue)
{
    switch (uiState)
    {
    case 0: case 1: case 2: // ADDRESSU, ADDRESSV, ADDRESSW
        return IndexPlusOne(uiValue, D3DTADDRESS_MIRRORONCE, uiD3DValue);
    case 4: case 5: case 6: // MAGFILTER, MINFILTER, MIPFILTER
        if (uiValue >= std::size(FILTER_TABLE))
            return false;
        uiD3DValue = FILTER_TABLE[uiValue];
        return true;
    case 3: // BORDERCOLOR
    case 7: case 8: case 9: // MIPMAPLODBIAS, MAXMIPLEVEL, MAXANISOTROPY
    case 10: case 11: case 12: // SRGBTEXTURE, ELEMENTINDEX, DMAPOFFSET
        uiD3DValue = uiValue;
        return true;
    default:
        return false;
    }
}

bool NSBStateConversion::SetupRenderStateGroup(NSBStateGroup& kGroup, NiD3DRenderStateGroup& kRSGroup)
{
    if (kGroup.GetStateCount() == 0)
        return false;
    for (NSBStateGroupEntry* pkEntry = kGroup.GetFirstState(); pkEntry != nullptr; pkEntry = kGroup.GetNextState())
    {
        if (pkEntry->IsIgnored())
            continue;
        std::uint32_t uiState = 0;
        std::uint32_t uiValue = 0;
        if (!ConvertRenderState(pkEntry->m_uiState, uiState) ||
            !ConvertRenderStateValue(pkEntry->m_uiState, pkEntry->m_uiValue, uiValue) || uiState == INVALID_STATE)
            continue;
        kRSGroup.SetRenderState(uiState, uiValue, pkEntry->UsesSave());
    }
    return true;
}

bool NSBStateConversion::SetupTextureStageGroup(NSBStateGroup& kGroup, NiD3DTextureStageGroup& kTSGroup)
{
    if (kGroup.GetStateCount() == 0)
        return false;
    for (NSBStateGroupEntry* pkEntry = kGroup.GetFirstState(); pkEntry != nullptr; pkEntry = kGroup.GetNextState())
    {
        if (pkEntry->IsIgnored())
            continue;
        std::uint32_t uiState = 0;
        std::uint32_t uiValue = 0;
        if (!ConvertTextureStageState(pkEntry->m_uiState, uiState) ||
            !ConvertTextureStageValue(pkEntry->m_uiState, pkEntry->m_uiValue, uiValue) || uiState == INVALID_STATE)
            continue;
        kTSGroup.SetStageState(uiState, uiValue, pkEntry->UsesSave());
    }
    return true;
}

bool NSBStateConversion::SetupSamplerGroup(NSBStateGroup& kGroup, NiD3DTextureStageGroup& kTSGroup)
{
    if (kGroup.GetStateCount() == 0)
        return false;
    for (NSBStateGroupEntry* pkEntry = kGroup.GetFirstState(); pkEntry != nullptr; pkEntry = kGroup.GetNextState())
    {
        if (pkEntry->IsIgnored())
            continue;
        std::uint32_t uiValue = 0;
        if (!ConvertSamplerValue(pkEntry->m_uiState, pkEntry->m_uiValue, uiValue) ||
            pkEntry->m_uiState == INVALID_STATE)
            continue;
        // The group maps the engine's sampler numbers to the device's itself.
        kTSGroup.SetSamplerState(pkEntry->m_uiState, uiValue, pkEntry->UsesSave());
    }
    return true;
}
