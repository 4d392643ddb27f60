#include "engine/shaders/framework/NiD3DVertexShaderConstantMap.h"

#include "engine/render/NiDX9Renderer.h"
#include "engine/render/NiTextureTransform.h"
#include "engine/scene/NiAVObject.h"
#include "engine/scene/NiPropertySet.h"
#include "engine/scene/NiSkinData.h"
#include "engine/scene/NiSkinInstance.h"
#include "engine/scene/NiTexturingProperty.h"
#include "engine/shaders/framework/NiD3DShaderProgram.h"
#include "platform/gfx/Gfx.h"
#include "platform/gfxutil/GfxUtilMath.h"

#include <cmath>
#include <cstring>

namespace
{
using Entry = NiD3DShaderConstantMapEntry;
using Name = NiD3DVertexShaderConstantMap::PredefinedName;

const Name s_akNames[] = {
    {0, "Invalid"},
    {1, "Proj"},
    {1, "Projection"},
    {2, "InvProj"},
    {2, "InvProjection"},
    {3, "View"},
    {4, "InvView"},
    {5, "World"},
    {6, "InvWorld"},
    {7, "WorldView"},
    {8, "InvWorldView"},
    {9, "ViewProj"},
    {9, "ViewProjection"},
    {10, "InvViewProj"},
    {10, "InvViewProjection"},
    {11, "WorldViewProj"},
    {11, "WorldViewProjection"},
    {12, "InvWorldViewProj"},
    {12, "InvWorldViewProjection"},
    {13, "ProjTranspose"},
    {13, "ProjectionTranspose"},
    {14, "InvProjTranspose"},
    {14, "InvProjectionTranspose"},
    {15, "ViewTranspose"},
    {16, "InvViewTranspose"},
    {17, "WorldTranspose"},
    {18, "InvWorldTranspose"},
    {19, "WorldViewTranspose"},
    {20, "InvWorldViewTranspose"},
    {21, "ViewProjTranspose"},
    {21, "ViewProjectionTranspose"},
    {22, "InvViewProjTranspose"},
    {22, "InvViewProjectionTranspose"},
    {23, "WorldViewProjTranspose"},
    {23, "WorldViewProjectionTranspose"},
    {24, "InvWorldViewProjTranspose"},
    {24, "InvWorldViewProjectionTranspose"},
    {25, "SkinWorldView"},
    {26, "InvSkinWorldView"},
    {27, "SkinWorldViewTranspose"},
    {28, "InvSkinWorldViewTranspose"},
    {29, "SkinWorldViewProj"},
    {29, "SkinWorldViewProjection"},
    {30, "InvSkinWorldViewProj"},
    {30, "InvSkinWorldViewProjection"},
    {31, "SkinWorldViewProjTranspose"},
    {31, "SkinWorldViewProjectionTranspose"},
    {32, "InvSkinWorldViewProjTranspose"},
    {32, "InvSkinWorldViewProjectionTranspose"},
    {33, "BoneMatrix3"},
    {34, "BoneMatrix4"},
    {35, "SkinBoneMatrix3"},
    {36, "SkinBoneMatrix4"},
    {37, "TexTransformBase"},
    {38, "InvTexTransformBase"},
    {39, "TexTransformBaseTranspose"},
    {40, "InvTexTransformBaseTranspose"},
    {41, "TexTransformDark"},
    {42, "InvTexTransformDark"},
    {43, "TexTransformDarkTranspose"},
    {44, "InvTexTransformDarkTranspose"},
    {45, "TexTransformDetail"},
    {46, "InvTexTransformDetail"},
    {47, "TexTransformDetailTranspose"},
    {48, "InvTexTransformDetailTranspose"},
    {49, "TexTransformGloss"},
    {50, "InvTexTransformGloss"},
    {51, "TexTransformGlossTranspose"},
    {52, "InvTexTransformGlossTranspose"},
    {53, "TexTransformGlow"},
    {54, "InvTexTransformGlow"},
    {55, "TexTransformGlowTranspose"},
    {56, "InvTexTransformGlowTranspose"},
    {57, "TexTransformBump"},
    {58, "InvTexTransformBump"},
    {59, "TexTransformBumpTranspose"},
    {60, "InvTexTransformBumpTranspose"},
    {61, "TexTransformDecal"},
    {62, "InvTexTransformDecal"},
    {63, "TexTransformDecalTranspose"},
    {64, "InvTexTransformDecalTranspose"},
    {65, "TexTransformShader"},
    {66, "InvTexTransformShader"},
    {67, "TexTransformShaderTranspose"},
    {68, "InvTexTransformShaderTranspose"},
    {69, "LightPosWS"},
    {70, "LightDirWS"},
    {71, "LightPosOS"},
    {72, "LightDirOS"},
    {73, "MaterialDiffuse"},
    {73, "Diffuse"},
    {74, "MaterialAmbient"},
    {74, "Ambient"},
    {75, "MaterialSpecular"},
    {75, "Specular"},
    {76, "MaterialEmissive"},
    {77, "MaterialPower"},
    {77, "SpecularPower"},
    {78, "EyePos"},
    {79, "EyeDir"},
    {80, "TaylorSin"},
    {81, "TaylorCos"},
    {82, "time"},
    {83, "sin_time"},
    {84, "cos_time"},
    {85, "tan_time"},
    {86, "time_sin_cos_tan"},
};

// Compares the first uiLength characters of the key with a whole name.
bool EqualNoCase(const char* pcName, const char* pcKey, std::size_t uiLength)
{
    for (std::size_t ui = 0; ui < uiLength; ++ui, ++pcName, ++pcKey)
    {
        const int a = (*pcName >= 'A' && *pcName <= 'Z') ? *pcName - 'A' + 'a' : *pcName;
        const int b = (*pcKey >= 'A' && *pcKey <= 'Z') ? *pcKey - 'A' + 'a' : *pcKey;
        if (a != b || a == 0)
            return false;
    }
    return *pcName == 0;
}

void InvertOrIdentity(gfx::D3DMATRIX& kM)
{
    if (gfx::D3DXMatrixInverse(&kM, nullptr, &kM) == nullptr)
        gfx::D3DXMatrixIdentity(&kM);
}

float s_afValue[4];
gfx::D3DMATRIX s_kValue;
// Three-register palettes: each bone's first three columns as rows.
float s_afPalette3[NiD3DVertexShaderConstantMap::MAX_PALETTE_BONES * 12];
struct PaletteOrder
{
    std::uint16_t m_ausIndex[NiD3DVertexShaderConstantMap::MAX_PALETTE_BONES];
    PaletteOrder()
    {
        for (std::uint16_t us = 0; us < NiD3DVertexShaderConstantMap::MAX_PALETTE_BONES; ++us)
            m_ausIndex[us] = us;
    }
};
const PaletteOrder s_kPaletteOrder;
} // namespace

const NiD3DVertexShaderConstantMap::PredefinedName* NiD3DVertexShaderConstantMap::GetPredefinedNames(
    std::uint32_t& uiCount)
{
    uiCount = sizeof(s_akNames) / sizeof(s_akNames[0]);
    return s_akNames;
}

std::uint32_t NiD3DVertexShaderConstantMap::LookUpPredefinedMapping(const char* pcKey, std::uint32_t& uiCount)
{
    uiCount = 4;
    if (pcKey == nullptr)
        return 0;
    std::size_t uiLength = std::strlen(pcKey);
    if (const char* pcUnderscore = std::strchr(pcKey, '_');
        pcUnderscore != nullptr && pcUnderscore[1] >= '0' && pcUnderscore[1] <= '9' && pcUnderscore[2] == 0)
    {
        uiLength = static_cast<std::size_t>(pcUnderscore - pcKey);
        uiCount = static_cast<std::uint32_t>(pcUnderscore[1] - '0');
    }
    for (const PredefinedName& kName : s_akNames)
    {
        if (EqualNoCase(kName.m_pcName, pcKey, uiLength))
            return kName.m_uiMapping;
    }
    return 0;
}

std::uint32_t NiD3DVertexShaderConstantMap::SetupDefinedEntry(NiD3DShaderConstantMapEntry* pkEntry)
{
    std::uint32_t uiCount = 4;
    const std::uint32_t uiMapping = LookUpPredefinedMapping(pkEntry->GetKey(), uiCount);
    const std::uint32_t uiBones = pkEntry->GetExtra() >> 16;
    std::uint32_t uiType = Entry::SCME_TYPE_NONE;
    std::uint32_t uiRegisters = pkEntry->GetRegisterCount();
    if ((uiMapping >= 1 && uiMapping <= 24) || (uiMapping >= 37 && uiMapping <= 68))
    {
        uiType = uiCount == 3 ? Entry::SCME_TYPE_MATRIX3 : Entry::SCME_TYPE_MATRIX4;
        uiRegisters = uiCount;
    }
    else if (uiMapping >= 25 && uiMapping <= 32)
    {
        uiType = Entry::SCME_TYPE_MATRIX4;
        uiRegisters = 4;
    }
    else if (uiMapping == 33 || uiMapping == 35)
    {
        uiType = Entry::SCME_TYPE_MATRIX3;
        uiRegisters = 3 * uiBones;
    }
    else if (uiMapping == 34 || uiMapping == 36)
    {
        uiType = Entry::SCME_TYPE_MATRIX4;
        uiRegisters = 4 * uiBones;
    }
    else if (uiMapping >= 69 && uiMapping <= 86)
        uiType = Entry::SCME_TYPE_POINT4;
    pkEntry->SetValueType(uiType);
    if (uiMapping == 0)
        return SCM_ERR_INVALID_MAPPING;
    pkEntry->SetRegisterCount(uiRegisters);
    pkEntry->SetInternal(uiMapping);
    if (uiMapping == 80)
        pkEntry->SetData(16, 16, TAYLOR_SIN, false);
    else if (uiMapping == 81)
        pkEntry->SetData(16, 16, TAYLOR_COS, false);
    return SCM_OK;
}

NiD3DVertexShaderConstantMap::Formed NiD3DVertexShaderConstantMap::FormValue(
    const NiD3DShaderConstantMapEntry* pkEntry, const NiGeometry* pkGeometry, const NiSkinInstance* pkSkin,
    const NiPropertySet* pkState, float* pfVector, gfx::D3DMATRIX& kMatrix) const
{
    const std::uint32_t uiMapping = pkEntry->GetInternal();
    if (uiMapping >= 1 && uiMapping <= 32)
    {
        if (m_pkRenderer == nullptr)
            return Formed::NOTHING;
        // Copies: the renderer's matrices stay as they are.
        const gfx::D3DMATRIX kW = m_pkRenderer->GetD3DModel();
        const gfx::D3DMATRIX kV = m_pkRenderer->GetD3DView();
        const gfx::D3DMATRIX kP = m_pkRenderer->GetD3DProj();
        bool bInvert = false;
        bool bTranspose = false;
        if (uiMapping <= 24)
        {
            const std::uint32_t uiBase = ((uiMapping - 1) % 12) / 2;
            bInvert = (uiMapping % 2) == 0;
            bTranspose = uiMapping >= 13;
            switch (uiBase)
            {
            case 0: kMatrix = kP; break;
            case 1: kMatrix = kV; break;
            case 2: kMatrix = kW; break;
            case 3: gfx::D3DXMatrixMultiply(&kMatrix, &kW, &kV); break;
            case 4: gfx::D3DXMatrixMultiply(&kMatrix, &kV, &kP); break;
            default:
                gfx::D3DXMatrixMultiply(&kMatrix, &kW, &kV);
                gfx::D3DXMatrixMultiply(&kMatrix, &kMatrix, &kP);
                break;
            }
        }
        else
        {
            if (pkSkin == nullptr || pkSkin->GetSkinData() == nullptr)
                return Formed::NOTHING;
            // The skin's frame to world.
            NiXform kRootWorld;
            if (pkSkin->GetRootParent() != nullptr)
                kRootWorld = pkSkin->GetRootParent()->GetWorldTransform();
            const NiXform kSkinToWorld =
                kRootWorld.Multiply(pkSkin->GetSkinData()->GetRootParentToSkin().Invert());
            gfx::D3DMATRIX kS = NiDX9Renderer::XformToD3D(kSkinToWorld);
            // The one the bone matrices were made with, when kept.
            if (m_pkRenderer != nullptr)
                (void)m_pkRenderer->GetSkinMatrix(pkSkin, kS);
            gfx::D3DXMatrixMultiply(&kMatrix, &kS, &kV);
            if (uiMapping >= 29)
                gfx::D3DXMatrixMultiply(&kMatrix, &kMatrix, &kP);
            const std::uint32_t uiForm = (uiMapping - 25) % 4;
            bInvert = uiForm == 1 || uiForm == 3;
            bTranspose = uiForm >= 2;
        }
        if (bInvert)
            InvertOrIdentity(kMatrix);
        if (bTranspose)
            gfx::D3DXMatrixTranspose(&kMatrix, &kMatrix);
        return Formed::MATRIX;
    }
    if (uiMapping >= 37 && uiMapping <= 68)
    {
        const std::uint32_t uiBlock = (uiMapping - 37) / 4;
        const std::uint32_t uiForm = (uiMapping - 37) % 4;
        const auto* pkTexturing =
            pkState != nullptr ? NiDynamicCast<NiTexturingProperty>(pkState->GetProperty(NiProperty::TEXTURING))
                               : nullptr;
        const NiTextureMap* pkMap = nullptr;
        if (pkTexturing != nullptr)
        {
            if (uiBlock < 7)
            {
                const std::uint64_t uiSlot =
                    uiBlock < 6 ? uiBlock : std::uint64_t(NiTexturingProperty::DECAL_BASE) + pkEntry->GetExtra();
                if (uiSlot < pkTexturing->GetMapArrayCount())
                    pkMap = pkTexturing->GetMap(static_cast<std::uint32_t>(uiSlot));
            }
            else
                pkMap = pkTexturing->GetArrayMapAt(pkEntry->GetExtra());
        }
        kMatrix = TextureTransformMatrix(pkMap, uiForm == 1 || uiForm == 3);
        if (uiForm >= 2)
            gfx::D3DXMatrixTranspose(&kMatrix, &kMatrix);
        return Formed::MATRIX;
    }
    if (uiMapping >= 73 && uiMapping <= 77)
        return FormMaterialValue(pkState, uiMapping - 73, pfVector) ? Formed::VECTOR : Formed::NOTHING;
    if (uiMapping >= 82 && uiMapping <= 86)
        return FormTimeValue(pkGeometry, uiMapping - 82, pfVector) ? Formed::VECTOR : Formed::MISSING;
    return Formed::NOTHING;
}

std::uint32_t NiD3DVertexShaderConstantMap::SetBonePalette(NiD3DShaderProgram* pkProgram,
                                                           NiD3DShaderConstantMapEntry* pkEntry,
                                                           const NiSkinInstance* pkSkin, const Partition* pkPartition)
{
    if (pkSkin == nullptr || pkPartition == nullptr || m_pkRenderer == nullptr)
        return SCM_OK;
    std::uint32_t uiMatrices = 0;
    const gfx::D3DMATRIX* pkBones = m_pkRenderer->GetBoneMatrices(pkSkin, uiMatrices);
    const std::uint16_t* pusIndices = pkPartition->m_pusBones.get();
    std::uint32_t uiBones = pkPartition->m_usBones;
    if (pkBones == nullptr || pusIndices == nullptr || uiBones == 0)
        return SCM_OK;
    // Never past the registers the entry was given.
    const std::uint32_t uiLimit = pkEntry->GetExtra() >> 16;
    if (uiLimit != 0 && uiBones > uiLimit)
        uiBones = uiLimit;
    for (std::uint32_t ui = 0; ui < uiBones; ++ui)
    {
        if (pusIndices[ui] >= uiMatrices)
            return SCM_FAIL;
    }
    // A buffer the shader asked for in this matrix size goes as it is.
    std::uint32_t uiBuffered = 0;
    std::uint32_t uiRegisters = 0;
    const float* pfBuffer = m_pkRenderer->GetBoneMatrixBuffer(pkSkin, uiBuffered, uiRegisters);
    if (pfBuffer != nullptr && uiRegisters == (pkEntry->IsMatrix3() ? 3u : 4u) && uiBuffered == uiMatrices)
        return pkProgram != nullptr &&
                       pkProgram->SetVertexShaderConstantArray(pkEntry, pfBuffer, uiBones, uiRegisters, pusIndices)
                   ? SCM_OK
                   : SCM_ERR_FAILED_SET;
    if (!pkEntry->IsMatrix3())
        return pkProgram != nullptr &&
                       pkProgram->SetVertexShaderConstantArray(pkEntry, pkBones, uiBones, 4, pusIndices)
                   ? SCM_OK
                   : SCM_ERR_FAILED_SET;
    if (uiBones > MAX_PALETTE_BONES)
        uiBones = MAX_PALETTE_BONES;
    for (std::uint32_t ui = 0; ui < uiBones; ++ui)
    {
        const gfx::D3DMATRIX& kBone = pkBones[pusIndices[ui]];
        float* pf = s_afPalette3 + std::size_t(ui) * 12;
        for (int iCol = 0; iCol < 3; ++iCol)
            for (int iRow = 0; iRow < 4; ++iRow)
                pf[iCol * 4 + iRow] = kBone.m[iRow][iCol];
    }
    return pkProgram != nullptr && pkProgram->SetVertexShaderConstantArray(pkEntry, s_afPalette3, uiBones, 3,
                                                                            s_kPaletteOrder.m_ausIndex)
               ? SCM_OK
               : SCM_ERR_FAILED_SET;
}

std::uint32_t NiD3DVertexShaderConstantMap::SetDefinedConstant(NiD3DShaderProgram* pkProgram,
                                                               NiD3DShaderConstantMapEntry* pkEntry,
                                                               NiGeometry* pkGeometry, const NiSkinInstance* pkSkin,
                                                               const Partition* pkPartition,
                                                               NiDX9GeometryBufferData*, const NiPropertySet* pkState,
                                                               const NiEffectSet*, const NiXform&,
                                                               const NiBoundSphere&, std::uint32_t)
{
    const std::uint32_t uiMapping = pkEntry->GetInternal();
    if (uiMapping >= 33 && uiMapping <= 36)
        return SetBonePalette(pkProgram, pkEntry, pkSkin, pkPartition);
    if (uiMapping == 80 || uiMapping == 81)
        return SendConstant(pkProgram, pkEntry, nullptr, 0, 0) ? SCM_OK : SCM_ERR_FAILED_SET;
    switch (FormValue(pkEntry, pkGeometry, pkSkin, pkState, s_afValue, s_kValue))
    {
    case Formed::VECTOR: return SendConstant(pkProgram, pkEntry, s_afValue, 0, 1) ? SCM_OK : SCM_ERR_FAILED_SET;
    case Formed::MATRIX: return SendConstant(pkProgram, pkEntry, &s_kValue, 0, 4) ? SCM_OK : SCM_ERR_FAILED_SET;
    case Formed::MISSING: return SCM_ERR_ENTRY_NOT_FOUND;
    default: return SCM_OK;
    }
}

bool NiD3DVertexShaderConstantMap::SendConstant(NiD3DShaderProgram* pkProgram, NiD3DShaderConstantMapEntry* pkEntry,
                                                const void* pvValues, std::uint32_t uiCount,
                                                std::uint32_t uiValueRegisters)
{
    return pkProgram != nullptr && pkProgram->SetVertexShaderConstant(pkEntry, pvValues, uiCount, uiValueRegisters);
}

void NiD3DVertexShaderConstantMap::FillDefinedOperand(NiD3DShaderConstantMapEntry* pkEntry, NiGeometry* pkGeometry,
                                                      const NiSkinInstance* pkSkin, const NiPropertySet* pkState,
                                                      Operand& kSlot)
{
    gfx::D3DMATRIX kMatrix{};
    const std::uint32_t uiMapping = pkEntry->GetInternal();
    if ((uiMapping >= 33 && uiMapping <= 36) || uiMapping >= 78)
    {
        // Palettes, coefficients and the camera put nothing into a slot;
        // time does.
        if (uiMapping < 82)
            return;
    }
    switch (FormValue(pkEntry, pkGeometry, pkSkin, pkState, kSlot.m_afVector, kMatrix))
    {
    case Formed::MATRIX:
        std::memcpy(kSlot.m_afMatrix, &kMatrix, sizeof(kSlot.m_afMatrix));
        kSlot.m_uiType = pkEntry->GetValueType();
        break;
    case Formed::VECTOR: kSlot.m_uiType = pkEntry->GetValueType(); break;
    default: kSlot.m_uiType = Entry::SCME_TYPE_NONE; break;
    }
}

gfx::D3DMATRIX NiD3DVertexShaderConstantMap::TextureTransformMatrix(const NiTextureMap* pkMap, bool bInverse)
{
    gfx::D3DMATRIX kMatrix;
    gfx::D3DXMatrixIdentity(&kMatrix);
    const NiTextureTransform* pkTransform = pkMap != nullptr ? pkMap->GetTextureTransform() : nullptr;
    if (pkTransform == nullptr)
        return kMatrix;
    const NiMatrix3x3& kT = pkTransform->GetMatrix();
    float m0 = kT.GetEntry(0, 0), m1 = kT.GetEntry(0, 1), m2 = kT.GetEntry(0, 2);
    float m3 = kT.GetEntry(1, 0), m4 = kT.GetEntry(1, 1), m5 = kT.GetEntry(1, 2);
    if (bInverse)
    {
        // The inverse of the 2-D affine map (u, v) -> (m0 u + m1 v + m2,
        // m3 u + m4 v + m5), kept in the same layout; the 4x4 form
        // itself has a zero row and no inverse.
        const double fDet = double(m0) * m4 - double(m1) * m3;
        if (fDet == 0.0 || !std::isfinite(fDet))
            return kMatrix;
        const double a = m4 / fDet, b = -m1 / fDet, c = -m3 / fDet, d = m0 / fDet;
        const double e = -(a * m2 + b * m5), f = -(c * m2 + d * m5);
        m0 = float(a), m1 = float(b), m2 = float(e), m3 = float(c), m4 = float(d), m5 = float(f);
    }
    kMatrix = gfx::D3DMATRIX{};
    kMatrix.m[0][0] = m0;
    kMatrix.m[0][1] = m3;
    kMatrix.m[1][0] = m1;
    kMatrix.m[1][1] = m4;
    kMatrix.m[3][0] = m2;
    kMatrix.m[3][1] = m5;
    return kMatrix;
}
