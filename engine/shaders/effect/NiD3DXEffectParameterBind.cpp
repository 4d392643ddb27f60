// The value of one effect parameter for one draw: predefined values, texture
// maps and files, global attributes and the geometry's own attributes.

#include "engine/scene/NiBooleanExtraData.h"
#include "engine/scene/NiColorExtraData.h"
#include "engine/scene/NiFloatExtraData.h"
#include "engine/scene/NiFloatsExtraData.h"
#include "engine/scene/NiGeometry.h"
#include "engine/scene/NiIntegerExtraData.h"
#include "engine/scene/NiUIntExtraData.h"
#include "engine/shaders/effect/NiD3DXEffectParameter.h"
#include "engine/shaders/framework/NiD3DShaderFactory.h"

#include <algorithm>
#include <cstring>

namespace
{
using Desc = NiD3DXEffectParameterDesc;

// A vector from up to four floats: what exists is copied over (0, 0, 0, 1).
bool VectorFrom(const float* pfSource, std::uint32_t uiCount, gfx::D3DXVECTOR4& kOut)
{
    if (pfSource == nullptr || uiCount == 0)
        return false;
    float af[4] = {0.0f, 0.0f, 0.0f, 1.0f};
    std::memcpy(af, pfSource, std::min<std::uint32_t>(uiCount, 4) * sizeof(float));
    kOut = gfx::D3DXVECTOR4{af[0], af[1], af[2], af[3]};
    return true;
}

// A 4 x 4 matrix from a source of floats and the parameter's shape: 16 are
// copied; 12 are either four rows of three or three rows of four; 9 fill a
// 3 x 3 parameter. Any other count cannot be read as a matrix.
bool MatrixFrom(const float* pfSource, std::uint32_t uiCount, std::uint32_t uiRows, std::uint32_t uiColumns,
                bool bRowsOfFour, gfx::D3DXMATRIX& kOut)
{
    if (pfSource == nullptr)
        return false;
    float af[4][4] = {};
    af[3][3] = 1.0f;
    if (uiCount == 16)
        std::memcpy(af, pfSource, sizeof(af));
    else if (uiCount == 12 && bRowsOfFour)
    {
        // A 3 x 3 global is kept as three rows of four floats.
        for (int r = 0; r < 3; ++r)
            for (int c = 0; c < 3; ++c)
                af[r][c] = pfSource[r * 4 + c];
    }
    else if (uiCount == 12 && uiRows == 3)
    {
        for (int r = 0; r < 3; ++r)
            for (int c = 0; c < 3; ++c)
                af[r][c] = pfSource[r * 3 + c];
        if (uiColumns != 3)
            for (int c = 0; c < 3; ++c)
                af[3][c] = pfSource[9 + c];
    }
    else if (uiCount == 12)
    {
        for (int i = 0; i < 12; ++i)
            af[i / 4][i % 4] = pfSource[i];
    }
    else if (uiCount == 9 && uiRows == 3 && uiColumns == 3)
    {
        for (int r = 0; r < 3; ++r)
            for (int c = 0; c < 3; ++c)
                af[r][c] = pfSource[r * 3 + c];
    }
    else
        return false;
    std::memcpy(kOut.m, af, sizeof(af));
    return true;
}

bool SetMatrix(gfx::ID3DXEffect* pkEffect, gfx::D3DXHANDLE hParameter, const float* pfSource, std::uint32_t uiCount,
               bool bRowsOfFour)
{
    gfx::D3DXPARAMETER_DESC kDesc;
    if (gfx::FAILED(pkEffect->GetParameterDesc(hParameter, &kDesc)))
        return false;
    gfx::D3DXMATRIX kMatrix;
    if (!MatrixFrom(pfSource, uiCount, kDesc.Rows, kDesc.Columns, bRowsOfFour, kMatrix))
        return false;
    const gfx::HRESULT hr = kDesc.Class == gfx::D3DXPC_MATRIX_COLUMNS ? pkEffect->SetMatrixTranspose(hParameter, &kMatrix)
                                                                      : pkEffect->SetMatrix(hParameter, &kMatrix);
    return gfx::SUCCEEDED(hr);
}
} // namespace

bool NiD3DXEffectParameter::BindValue(gfx::ID3DXEffect* pkEffect, NiDX9Renderer* pkRenderer, NiGeometry* pkGeometry,
                                      const NiSkinInstance* pkSkin, const NiSkinPartition::Partition* pkPartition,
                                      NiDX9GeometryBufferData*, const NiPropertySet* pkState, const NiEffectSet*,
                                      const NiXform&, const NiBoundSphere&, std::uint32_t)
{
    if (pkEffect == nullptr)
        return false;
    const gfx::D3DXHANDLE hParameter = GetHandle();
    if (m_uiKind == Desc::KIND_PREDEFINED)
        return SetParameter(pkEffect, pkRenderer, pkGeometry, pkSkin, pkPartition, pkState);
    if (m_uiKind == Desc::KIND_TEXTURE && m_uiTextureMap != 0)
    {
        gfx::IDirect3DBaseTexture9* pkTexture = GetTexture(pkRenderer, pkState, m_uiTextureMap);
        return pkTexture != nullptr && gfx::SUCCEEDED(pkEffect->SetTexture(hParameter, pkTexture));
    }
    if (m_uiKind == Desc::KIND_NONE)
        return false;
    if (m_uiKind == Desc::KIND_TEXTURE)
    {
        if (m_pkTexture == nullptr)
        {
            if (m_uiTextureType == Desc::TEXTURE_VOLUME)
                LoadVolumeTexture();
            else if (m_uiTextureType == Desc::TEXTURE_CUBE)
                LoadCubeTexture();
            else
                LoadTexture();
        }
        return m_pkTexture != nullptr && gfx::SUCCEEDED(pkEffect->SetTexture(hParameter, m_pkTexture));
    }
    if (pkGeometry == nullptr)
        return false;

    if (m_bGlobal)
    {
        std::uint32_t uiSize = 0;
        const void* pvData = nullptr;
        if (!NiD3DShaderFactory::RetrieveGlobalData(m_kName.c_str(), uiSize, pvData) || pvData == nullptr)
            return false;
        switch (m_uiKind)
        {
        case Desc::KIND_FLOAT: {
            if (uiSize != 4)
                return false;
            float f = 0.0f;
            std::memcpy(&f, pvData, 4);
            return gfx::SUCCEEDED(pkEffect->SetFloat(hParameter, f));
        }
        case Desc::KIND_INTEGER: {
            if (uiSize != 4)
                return false;
            std::int32_t i = 0;
            std::memcpy(&i, pvData, 4);
            return gfx::SUCCEEDED(pkEffect->SetInt(hParameter, i));
        }
        case Desc::KIND_BOOL:
            if (uiSize != 1)
                return false;
            return gfx::SUCCEEDED(pkEffect->SetBool(hParameter, *static_cast<const std::uint8_t*>(pvData) != 0));
        case Desc::KIND_VECTOR: {
            float af[4] = {};
            const std::uint32_t uiFloats = std::min<std::uint32_t>(uiSize / 4, 4);
            std::memcpy(af, pvData, uiFloats * sizeof(float));
            gfx::D3DXVECTOR4 kVector;
            return VectorFrom(af, uiFloats, kVector) && gfx::SUCCEEDED(pkEffect->SetVector(hParameter, &kVector));
        }
        case Desc::KIND_MATRIX: {
            if (uiSize != 64 && uiSize != 48)
                return false;
            float af[16] = {};
            std::memcpy(af, pvData, uiSize);
            return SetMatrix(pkEffect, hParameter, af, uiSize / 4, uiSize == 48);
        }
        default:
            return false;
        }
    }

    NiExtraData* pkExtra = pkGeometry->GetExtraData(m_kName.c_str());
    if (pkExtra == nullptr)
        return false;
    switch (m_uiKind)
    {
    case Desc::KIND_FLOAT: {
        auto* pkFloat = NiDynamicCast<NiFloatExtraData>(pkExtra);
        return pkFloat != nullptr && gfx::SUCCEEDED(pkEffect->SetFloat(hParameter, pkFloat->GetValue()));
    }
    case Desc::KIND_INTEGER: {
        if (auto* pkInteger = NiDynamicCast<NiIntegerExtraData>(pkExtra))
            return gfx::SUCCEEDED(pkEffect->SetInt(hParameter, pkInteger->GetValue()));
        // Run-time values report the base class's type record.
        if (auto* pkUInt = dynamic_cast<NiUIntExtraData*>(pkExtra))
            return gfx::SUCCEEDED(pkEffect->SetInt(hParameter, static_cast<std::int32_t>(pkUInt->GetValue())));
        return false;
    }
    case Desc::KIND_BOOL: {
        auto* pkBool = NiDynamicCast<NiBooleanExtraData>(pkExtra);
        return pkBool != nullptr && gfx::SUCCEEDED(pkEffect->SetBool(hParameter, pkBool->GetValue() ? 1 : 0));
    }
    case Desc::KIND_VECTOR: {
        gfx::D3DXVECTOR4 kVector;
        if (auto* pkFloats = NiDynamicCast<NiFloatsExtraData>(pkExtra))
        {
            if (!VectorFrom(pkFloats->GetArray(), pkFloats->GetSize(), kVector))
                return false;
        }
        else if (auto* pkColor = NiDynamicCast<NiColorExtraData>(pkExtra))
        {
            const NiColorRGBA& kColor = pkColor->GetValue();
            kVector = gfx::D3DXVECTOR4{kColor.r, kColor.g, kColor.b, m_uiElementCount == 3 ? 1.0f : kColor.a};
        }
        else
            return false;
        return gfx::SUCCEEDED(pkEffect->SetVector(hParameter, &kVector));
    }
    case Desc::KIND_MATRIX: {
        auto* pkFloats = NiDynamicCast<NiFloatsExtraData>(pkExtra);
        return pkFloats != nullptr && SetMatrix(pkEffect, hParameter, pkFloats->GetArray(), pkFloats->GetSize(), false);
    }
    default:
        return false;
    }
}
