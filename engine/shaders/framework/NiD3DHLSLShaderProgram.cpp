#include "engine/shaders/framework/NiD3DHLSLShaderProgram.h"

#include "engine/shaders/framework/NiD3DShaderConstantMapEntry.h"
#include "engine/shaders/framework/NiD3DUtility.h"
#include "platform/gfxutil/GfxUtilConstantTable.h"

#include <algorithm>
#include <cstring>

namespace
{
using Entry = NiD3DShaderConstantMapEntry;

void Hold(gfx::ID3DXConstantTable*& pkSlot, gfx::ID3DXConstantTable* pkTable)
{
    if (pkTable == pkSlot)
        return;
    if (pkTable != nullptr)
        pkTable->AddRef();
    if (pkSlot != nullptr)
        pkSlot->Release();
    pkSlot = pkTable;
}

// The variable an entry names: its variable name, else its key; null when
// the table has no such constant (reported to the debug trace).
gfx::D3DXHANDLE FindVariable(gfx::ID3DXConstantTable* pkTable, const Entry* pkEntry, const char* pcOperation,
                             const char* pcProgram)
{
    const char* pcVariable = pkEntry->GetVariableName() != nullptr ? pkEntry->GetVariableName() : pkEntry->GetKey();
    gfx::D3DXHANDLE hConstant = pcVariable != nullptr ? pkTable->GetConstantByName(nullptr, pcVariable) : nullptr;
    if (hConstant == nullptr)
        NiD3DUtility::Log("%s - %s - variable %s not found\n", pcOperation, pcProgram ? pcProgram : "",
                          pcVariable ? pcVariable : "");
    return hConstant;
}

// At most `uiBytes` of the values into `pvOut` (`uiOutBytes` long), the
// rest zero: the values given may be shorter than the value type the table
// reads (a vector of two, a matrix of three registers), and are never read
// past.
void CopyValues(void* pvOut, std::size_t uiOutBytes, const void* pvValues, std::size_t uiBytes)
{
    std::memset(pvOut, 0, uiOutBytes);
    std::memcpy(pvOut, pvValues, std::min(uiOutBytes, uiBytes));
}

bool SetByName(gfx::ID3DXConstantTable* pkTable, gfx::IDirect3DDevice9* pkDevice, Entry* pkEntry,
               const void* pvValues, std::uint32_t uiValueRegisters, const char* pcOperation, const char* pcProgram)
{
    if (pkTable == nullptr || pkDevice == nullptr || pkEntry == nullptr)
        return false;
    const gfx::D3DXHANDLE hConstant = FindVariable(pkTable, pkEntry, pcOperation, pcProgram);
    if (hConstant == nullptr)
        return false;
    // What the values hold: the entry's own data, or whole registers (words
    // for booleans) of values the map widened.
    std::size_t uiBytes = 0;
    if (pvValues == nullptr)
    {
        pvValues = pkEntry->GetDataSource();
        uiBytes = pvValues != nullptr ? pkEntry->GetDataSize() : 0;
    }
    else
        uiBytes = std::size_t(uiValueRegisters) * (pkEntry->IsBool() ? 4 : 16);
    if (pvValues == nullptr || uiBytes == 0)
        return false;

    gfx::HRESULT hr = gfx::E_FAIL;
    switch (pkEntry->GetValueType())
    {
    case Entry::SCME_TYPE_MATRIX3:
    case Entry::SCME_TYPE_MATRIX4:
    {
        gfx::D3DXMATRIX kMatrix;
        CopyValues(&kMatrix, sizeof(kMatrix), pvValues, uiBytes);
        hr = pkTable->SetMatrix(pkDevice, hConstant, &kMatrix);
        break;
    }
    case Entry::SCME_TYPE_POINT2:
    case Entry::SCME_TYPE_POINT3:
    case Entry::SCME_TYPE_POINT4:
    case Entry::SCME_TYPE_COLOR:
    {
        gfx::D3DXVECTOR4 kVector;
        CopyValues(&kVector, sizeof(kVector), pvValues, uiBytes);
        hr = pkTable->SetVector(pkDevice, hConstant, &kVector);
        break;
    }
    case Entry::SCME_TYPE_FLOAT:
    {
        float fValue = 0.0f;
        CopyValues(&fValue, sizeof(fValue), pvValues, uiBytes);
        hr = pkTable->SetFloat(pkDevice, hConstant, fValue);
        break;
    }
    case Entry::SCME_TYPE_UNSIGNEDINT:
    case Entry::SCME_TYPE_BOOL:
    {
        std::int32_t iValue = 0;
        CopyValues(&iValue, sizeof(iValue), pvValues, uiBytes);
        hr = pkEntry->IsBool() ? pkTable->SetBool(pkDevice, hConstant, iValue)
                               : pkTable->SetInt(pkDevice, hConstant, iValue);
        break;
    }
    default: return false;
    }
    return gfx::SUCCEEDED(hr);
}

// Matrices of `uiRegistersPerElement` registers each; element i of the
// variable from the values' matrix puiIndices[i] (i itself without a list).
bool SetArrayByName(gfx::ID3DXConstantTable* pkTable, gfx::IDirect3DDevice9* pkDevice, Entry* pkEntry,
                    const void* pvValues, std::uint32_t uiElements, std::uint32_t uiRegistersPerElement,
                    const std::uint16_t* puiIndices, bool bTranspose, const char* pcOperation, const char* pcProgram)
{
    if (pkTable == nullptr || pkDevice == nullptr || pkEntry == nullptr ||
        !(pkEntry->IsMatrix3() || pkEntry->IsMatrix4()))
        return false;
    const gfx::D3DXHANDLE hConstant = FindVariable(pkTable, pkEntry, pcOperation, pcProgram);
    if (hConstant == nullptr || pvValues == nullptr)
        return false;
    if (puiIndices == nullptr && uiRegistersPerElement == 4)
    {
        const auto* pkMatrices = static_cast<const gfx::D3DXMATRIX*>(pvValues);
        return gfx::SUCCEEDED(bTranspose ? pkTable->SetMatrixTransposeArray(pkDevice, hConstant, pkMatrices, uiElements)
                                         : pkTable->SetMatrixArray(pkDevice, hConstant, pkMatrices, uiElements));
    }
    // Packed palettes of three registers a matrix are not whole matrices
    // apart: each element is copied out at its own stride, so the last one
    // is never read past.
    const float* pfValues = static_cast<const float*>(pvValues);
    const std::size_t uiStride = std::size_t(uiRegistersPerElement) * 4;
    const std::size_t uiBytes = std::min<std::size_t>(uiRegistersPerElement, 4) * 4 * sizeof(float);
    for (std::uint32_t ui = 0; ui < uiElements; ++ui)
    {
        const gfx::D3DXHANDLE hElement = pkTable->GetConstantElement(hConstant, ui);
        if (hElement == nullptr)
            return false;
        const std::size_t uiSource = puiIndices != nullptr ? puiIndices[ui] : ui;
        gfx::D3DXMATRIX kMatrix;
        CopyValues(&kMatrix, sizeof(kMatrix), pfValues + uiSource * uiStride, uiBytes);
        const gfx::HRESULT hr = bTranspose ? pkTable->SetMatrixTranspose(pkDevice, hElement, &kMatrix)
                                           : pkTable->SetMatrix(pkDevice, hElement, &kMatrix);
        if (gfx::FAILED(hr))
            return false;
    }
    return true;
}

// The bone palettes ("BoneMatrix3", "BoneMatrix4", "SkinBoneMatrix3",
// "SkinBoneMatrix4") hold each bone with its columns in registers.
bool IsBonePalette(const Entry* pkEntry)
{
    return pkEntry->IsDefined() && pkEntry->GetInternal() >= 33 && pkEntry->GetInternal() <= 36;
}
} // namespace

// ---- what both keep --------------------------------------------------------------

NiD3DHLSLProgramInfo::~NiD3DHLSLProgramInfo()
{
    Hold(m_pkConstantTable, nullptr);
}

void NiD3DHLSLProgramInfo::SetConstantTable(gfx::ID3DXConstantTable* pkTable)
{
    Hold(m_pkConstantTable, pkTable);
}

// ---- vertex programs -------------------------------------------------------------

void NiD3DHLSLVertexShader::DestroyRendererData()
{
    Hold(m_pkConstantTable, nullptr);
    NiD3DVertexShader::DestroyRendererData();
}

bool NiD3DHLSLVertexShader::RecreateRendererData()
{
    return NiD3DVertexShader::RecreateRendererData();
}

bool NiD3DHLSLVertexShader::SetVertexShaderConstant(NiD3DShaderConstantMapEntry* pkEntry, const void* pvValues,
                                                    std::uint32_t, std::uint32_t uiValueRegisters)
{
    return SetByName(m_pkConstantTable, m_pkDevice, pkEntry, pvValues, uiValueRegisters,
                     "NiD3DHLSLVertexShader::SetVertexShaderConstant", GetName());
}

bool NiD3DHLSLVertexShader::SetVertexShaderConstantArray(NiD3DShaderConstantMapEntry* pkEntry, const void* pvValues,
                                                         std::uint32_t uiElements,
                                                         std::uint32_t uiRegistersPerElement,
                                                         const std::uint16_t* puiIndices)
{
    return SetArrayByName(m_pkConstantTable, m_pkDevice, pkEntry, pvValues, uiElements, uiRegistersPerElement,
                          puiIndices, pkEntry != nullptr && IsBonePalette(pkEntry),
                          "NiD3DHLSLVertexShader::SetVertexShaderConstantArray", GetName());
}

// ---- pixel programs --------------------------------------------------------------

void NiD3DHLSLPixelShader::DestroyRendererData()
{
    Hold(m_pkConstantTable, nullptr);
    NiD3DPixelShader::DestroyRendererData();
}

bool NiD3DHLSLPixelShader::RecreateRendererData()
{
    return NiD3DPixelShader::RecreateRendererData();
}

bool NiD3DHLSLPixelShader::SetPixelShaderConstant(NiD3DShaderConstantMapEntry* pkEntry, const void* pvValues,
                                                  std::uint32_t, std::uint32_t uiValueRegisters)
{
    return SetByName(m_pkConstantTable, m_pkDevice, pkEntry, pvValues, uiValueRegisters,
                     "NiD3DHLSLPixelShader::SetPixelShaderConstant", GetName());
}

bool NiD3DHLSLPixelShader::SetPixelShaderConstantArray(NiD3DShaderConstantMapEntry* pkEntry, const void* pvValues,
                                                       std::uint32_t uiElements, std::uint32_t uiRegistersPerElement,
                                                       const std::uint16_t* puiIndices)
{
    return SetArrayByName(m_pkConstantTable, m_pkDevice, pkEntry, pvValues, uiElements, uiRegistersPerElement,
                          puiIndices, false, "NiD3DHLSLPixelShader::SetPixelShaderConstantArray", GetName());
}
