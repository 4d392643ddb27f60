// The per-draw values of predefined effect parameters: transforms from the
// renderer, skinning forms and bone palettes from the skin instance,
// texture transforms from the texturing property, material colours, the
// series constants and time.

#include "engine/render/NiDX9Renderer.h"
#include "engine/render/NiDX9TextureManager.h"
#include "engine/scene/NiFloatExtraData.h"
#include "engine/scene/NiGeometry.h"
#include "engine/scene/NiMaterialProperty.h"
#include "engine/scene/NiPropertySet.h"
#include "engine/scene/NiSkinData.h"
#include "engine/scene/NiSkinInstance.h"
#include "engine/scene/NiTexturingProperty.h"
#include "engine/shaders/effect/NiD3DXEffectParameter.h"
#include "engine/shaders/framework/NiD3DVertexShaderConstantMap.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <vector>

namespace
{
// The shared palette: grows to the largest array count met, never shrinks.
std::vector<gfx::D3DXMATRIX>* s_pkPalette = nullptr;

void InvertOrIdentity(gfx::D3DXMATRIX& kM)
{
    if (gfx::D3DXMatrixInverse(&kM, nullptr, &kM) == nullptr)
        gfx::D3DXMatrixIdentity(&kM);
}

// The skin's frame to world, as the skin instance places it.
gfx::D3DXMATRIX SkinWorld(const NiSkinInstance* pkSkin)
{
    NiXform kRootWorld;
    if (pkSkin->GetRootParent() != nullptr)
        kRootWorld = pkSkin->GetRootParent()->GetWorldTransform();
    return NiDX9Renderer::XformToD3D(kRootWorld.Multiply(pkSkin->GetSkinData()->GetRootParentToSkin().Invert()));
}

} // namespace

void NiD3DXEffectParameter::ReleaseBonePalette()
{
    delete s_pkPalette;
    s_pkPalette = nullptr;
}

std::uint32_t NiD3DXEffectParameter::GetBonePaletteSize()
{
    return s_pkPalette ? static_cast<std::uint32_t>(s_pkPalette->size()) : 0;
}

bool NiD3DXEffectParameter::SetParameter(gfx::ID3DXEffect* pkEffect, NiDX9Renderer* pkRenderer,
                                         const NiGeometry* pkGeometry, const NiSkinInstance* pkSkin,
                                         const NiSkinPartition::Partition* pkPartition, const NiPropertySet* pkState)
{
    if (pkEffect == nullptr)
        return true;
    const gfx::D3DXHANDLE h = GetHandle();
    const std::uint32_t uiNumber = m_uiPredefined;
    auto setMatrix = [&](const gfx::D3DXMATRIX& kM, bool bTranspose) {
        bTranspose ? pkEffect->SetMatrixTranspose(h, &kM) : pkEffect->SetMatrix(h, &kM);
    };

    if (uiNumber >= 1 && uiNumber <= 24)
    {
        if (pkRenderer == nullptr)
            return true;
        const gfx::D3DXMATRIX kW = pkRenderer->GetD3DModel(), kV = pkRenderer->GetD3DView(),
                              kP = pkRenderer->GetD3DProj();
        gfx::D3DXMATRIX kM;
        switch (((uiNumber - 1) % 12) / 2)
        {
        case 0: kM = kP; break;
        case 1: kM = kV; break;
        case 2: kM = kW; break;
        case 3: gfx::D3DXMatrixMultiply(&kM, &kW, &kV); break;
        case 4: gfx::D3DXMatrixMultiply(&kM, &kV, &kP); break;
        default:
            gfx::D3DXMatrixMultiply(&kM, &kW, &kV);
            gfx::D3DXMatrixMultiply(&kM, &kM, &kP);
            break;
        }
        if (uiNumber % 2 == 0)
            InvertOrIdentity(kM);
        setMatrix(kM, uiNumber >= 13);
        return true;
    }
    if (uiNumber >= 25 && uiNumber <= 32)
    {
        if (pkSkin == nullptr || pkSkin->GetSkinData() == nullptr || pkRenderer == nullptr)
            return true;
        const gfx::D3DXMATRIX kS = SkinWorld(pkSkin);
        const gfx::D3DXMATRIX kV = pkRenderer->GetD3DView(), kP = pkRenderer->GetD3DProj();
        gfx::D3DXMATRIX kM;
        gfx::D3DXMatrixMultiply(&kM, &kS, &kV);
        if (uiNumber >= 29)
            gfx::D3DXMatrixMultiply(&kM, &kM, &kP);
        const std::uint32_t uiForm = (uiNumber - 25) % 4;
        if (uiForm == 1 || uiForm == 3)
            InvertOrIdentity(kM);
        setMatrix(kM, uiForm >= 2);
        return true;
    }
    if (uiNumber >= 33 && uiNumber <= 36)
    {
        if (pkSkin == nullptr || pkPartition == nullptr || pkRenderer == nullptr || pkSkin->GetSkinData() == nullptr)
            return true;
        const std::uint16_t* pusIndices = pkPartition->m_pusBones.get();
        if (pusIndices == nullptr)
            return true;
        // The renderer's program buffer holds each bone as the rows of its
        // transposed matrix, 3 or 4 to a bone (the effect shader has it made
        // on pass 0). Without one, the same rows come from the 4 x 4 bones,
        // taken into world space for the BoneMatrix forms as the buffer is.
        std::uint32_t uiMatrices = 0, uiRegisters = 0;
        const float* pfBuffer = pkRenderer->GetBoneMatrixBuffer(pkSkin, uiMatrices, uiRegisters);
        const gfx::D3DMATRIX* pkBones = nullptr;
        gfx::D3DXMATRIX kSkinToWorld;
        gfx::D3DXMatrixIdentity(&kSkinToWorld);
        if (pfBuffer == nullptr)
        {
            pkBones = pkRenderer->GetBoneMatrices(pkSkin, uiMatrices);
            if (pkBones == nullptr)
                return true;
            if (uiNumber == 33 || uiNumber == 34)
                kSkinToWorld = SkinWorld(pkSkin);
        }
        if (s_pkPalette == nullptr)
            s_pkPalette = new std::vector<gfx::D3DXMATRIX>();
        // The palette grows to the larger of the array and the partition,
        // and is sent for at most the array's count.
        const std::uint32_t uiBones = pkPartition->m_usBones;
        const std::uint32_t uiNeed = std::max(m_uiArrayCount, uiBones);
        if (s_pkPalette->size() < uiNeed)
            s_pkPalette->resize(uiNeed);
        const std::uint32_t uiRows = uiNumber == 33 || uiNumber == 35 ? 3 : 4;
        for (std::uint32_t ui = 0; ui < uiBones; ++ui)
        {
            if (pusIndices[ui] >= uiMatrices)
                return true;
            // Rows not copied stay the identity's: the 3-row forms end in
            // (0, 0, 0, 1) whatever the source.
            gfx::D3DXMATRIX& kOut = (*s_pkPalette)[ui];
            gfx::D3DXMatrixIdentity(&kOut);
            if (pfBuffer != nullptr)
            {
                const float* pfBone = pfBuffer + std::size_t(pusIndices[ui]) * uiRegisters * 4;
                for (std::uint32_t r = 0; r < std::min(uiRows, uiRegisters); ++r)
                    for (std::uint32_t c = 0; c < 4; ++c)
                        kOut.m[r][c] = pfBone[r * 4 + c];
            }
            else
            {
                gfx::D3DXMATRIX kBone = pkBones[pusIndices[ui]];
                gfx::D3DXMatrixMultiply(&kBone, &kBone, &kSkinToWorld);
                for (std::uint32_t r = 0; r < uiRows; ++r)
                    for (std::uint32_t c = 0; c < 4; ++c)
                        kOut.m[r][c] = kBone.m[c][r];
            }
        }
        pkEffect->SetMatrixTransposeArray(h, s_pkPalette->data(), std::min(uiBones, m_uiArrayCount));
        return true;
    }
    if (uiNumber >= 37 && uiNumber <= 68)
    {
        const std::uint32_t uiBlock = (uiNumber - 37) / 4, uiForm = (uiNumber - 37) % 4;
        const auto* pkTexturing =
            pkState ? NiDynamicCast<NiTexturingProperty>(pkState->GetProperty(NiProperty::TEXTURING)) : nullptr;
        const NiTextureMap* pkMap = nullptr;
        if (pkTexturing != nullptr)
        {
            const auto uiIndex = static_cast<std::uint32_t>(std::max(m_iMapIndex, 0));
            if (uiBlock < 6 && uiBlock < pkTexturing->GetMapArrayCount())
                pkMap = pkTexturing->GetMap(uiBlock);
            else if (uiBlock == 6 && uiIndex < pkTexturing->GetDecalMapCount() &&
                     NiTexturingProperty::DECAL_BASE + uiIndex < pkTexturing->GetMapArrayCount())
                pkMap = pkTexturing->GetMap(NiTexturingProperty::DECAL_BASE + uiIndex);
            else if (uiBlock == 7 && uiIndex < pkTexturing->GetShaderMapCount())
                pkMap = pkTexturing->GetArrayMapAt(uiIndex);
        }
        setMatrix(NiD3DVertexShaderConstantMap::TextureTransformMatrix(pkMap, uiForm == 1 || uiForm == 3), uiForm >= 2);
        return true;
    }
    if (uiNumber >= 73 && uiNumber <= 77)
    {
        const auto* pkMaterial =
            pkState ? NiDynamicCast<NiMaterialProperty>(pkState->GetProperty(NiProperty::MATERIAL)) : nullptr;
        if (pkMaterial == nullptr)
            return true;
        if (uiNumber == 77)
        {
            pkEffect->SetFloat(h, pkMaterial->GetShineness());
            return true;
        }
        const NiColorRGB& kC = uiNumber == 73   ? pkMaterial->GetDiffuseColor()
                               : uiNumber == 74 ? pkMaterial->GetAmbientColor()
                               : uiNumber == 75 ? pkMaterial->GetSpecularColor()
                                                : pkMaterial->GetEmittance();
        const gfx::D3DXVECTOR4 kV = {kC.r, kC.g, kC.b, pkMaterial->GetAlpha()};
        pkEffect->SetVector(h, &kV);
        return true;
    }
    if (uiNumber == 80 || uiNumber == 81)
    {
        static const std::uint32_t s_auiSin[4] = {0x3F800000u, 0xBE257EB5u, 0x3C088865u, 0xB9500C47u};
        static const std::uint32_t s_auiCos[4] = {0xBF000000u, 0xBD2AAAAAu, 0xBAB60B61u, 0x37D00D01u};
        const std::uint32_t* puiBits = uiNumber == 80 ? s_auiSin : s_auiCos;
        const gfx::D3DXVECTOR4 kV = {std::bit_cast<float>(puiBits[0]), std::bit_cast<float>(puiBits[1]),
                                     std::bit_cast<float>(puiBits[2]), std::bit_cast<float>(puiBits[3])};
        pkEffect->SetVector(h, &kV);
        return true;
    }
    if (uiNumber >= 82 && uiNumber <= 86)
    {
        const NiExtraData* pkExtra = pkGeometry ? pkGeometry->GetExtraData("ZRB_UpdateTime") : nullptr;
        if (!NiIsExactKindOf(NiFloatExtraData::TypeInfo(), pkExtra))
            return false;
        const float fT = static_cast<const NiFloatExtraData*>(pkExtra)->GetValue();
        const float fSin = std::sin(fT), fCos = std::cos(fT), fTan = std::tan(fT);
        switch (uiNumber)
        {
        case 82: pkEffect->SetFloat(h, fT); break;
        case 83: pkEffect->SetFloat(h, fSin); break;
        case 84: pkEffect->SetFloat(h, fCos); break;
        case 85: pkEffect->SetFloat(h, fTan); break;
        default: {
            const gfx::D3DXVECTOR4 kV = {fSin, fCos, fTan, fT};
            pkEffect->SetVector(h, &kV);
            break;
        }
        }
        return true;
    }
    // Lights, the eye and unknown numbers set nothing.
    return true;
}

gfx::IDirect3DBaseTexture9* NiD3DXEffectParameter::GetTexture(NiDX9Renderer* pkRenderer, const NiPropertySet* pkState,
                                                              std::uint32_t uiMapCode)
{
    const auto* pkTexturing =
        pkState ? NiDynamicCast<NiTexturingProperty>(pkState->GetProperty(NiProperty::TEXTURING)) : nullptr;
    if (pkTexturing == nullptr || pkRenderer == nullptr || pkRenderer->GetTextureManager() == nullptr)
        return nullptr;
    const NiTextureMap* pkMap = nullptr;
    const std::uint32_t uiIndex = uiMapCode & 0xFFFF;
    if (uiMapCode >= MAP_BASE && uiMapCode <= MAP_BUMP && (uiMapCode & 0xFFFFF) == 0)
    {
        const std::uint32_t uiSlot = (uiMapCode >> 20) - 2;
        if (uiSlot < pkTexturing->GetMapArrayCount())
            pkMap = pkTexturing->GetMap(uiSlot);
    }
    else if ((uiMapCode & 0xFFFF0000u) == MAP_DECAL)
    {
        if (uiIndex < pkTexturing->GetDecalMapCount() &&
            NiTexturingProperty::DECAL_BASE + uiIndex < pkTexturing->GetMapArrayCount())
            pkMap = pkTexturing->GetMap(NiTexturingProperty::DECAL_BASE + uiIndex);
    }
    else if ((uiMapCode & 0xFFFF0000u) == MAP_SHADER)
    {
        if (uiIndex < pkTexturing->GetShaderMapCount())
            pkMap = pkTexturing->GetArrayMapAt(uiIndex);
    }
    if (pkMap == nullptr || pkMap->GetTexture() == nullptr)
        return nullptr;
    bool bChanged = false, bMipmapped = false;
    return pkRenderer->GetTextureManager()->GetD3DTextureForRendering(pkMap->GetTexture(), bChanged, bMipmapped);
}
