#include "engine/shaders/framework/NiD3DPixelShaderConstantMap.h"

#include "engine/shaders/framework/NiD3DShaderProgram.h"

#include <cstring>

namespace
{
using Entry = NiD3DShaderConstantMapEntry;

const NiD3DPixelShaderConstantMap::PredefinedName s_akNames[] = {
    {0, "Invalid"},
    {1, "TaylorSin"},
    {2, "TaylorCos"},
    {3, "time"},
    {4, "sin_time"},
    {5, "cos_time"},
    {6, "tan_time"},
    {7, "time_sin_cos_tan"},
    {8, "MaterialDiffuse"},
    {8, "Diffuse"},
    {9, "MaterialAmbient"},
    {9, "Ambient"},
    {10, "MaterialSpecular"},
    {10, "Specular"},
    {11, "MaterialEmissive"},
    {11, "Emissive"},
    {12, "MaterialPower"},
    {12, "SpecularPower"},
};

bool EqualNoCase(const char* pcA, const char* pcB)
{
    for (;; ++pcA, ++pcB)
    {
        const int a = (*pcA >= 'A' && *pcA <= 'Z') ? *pcA - 'A' + 'a' : *pcA;
        const int b = (*pcB >= 'A' && *pcB <= 'Z') ? *pcB - 'A' + 'a' : *pcB;
        if (a != b)
            return false;
        if (a == 0)
            return true;
    }
}

float s_afValue[4];
} // namespace

const NiD3DPixelShaderConstantMap::PredefinedName* NiD3DPixelShaderConstantMap::GetPredefinedNames(
    std::uint32_t& uiCount)
{
    uiCount = sizeof(s_akNames) / sizeof(s_akNames[0]);
    return s_akNames;
}

std::uint32_t NiD3DPixelShaderConstantMap::LookUpPredefinedMapping(const char* pcKey)
{
    if (pcKey == nullptr)
        return 0;
    for (const PredefinedName& kName : s_akNames)
    {
        if (EqualNoCase(kName.m_pcName, pcKey))
            return kName.m_uiMapping;
    }
    return 0;
}

std::uint32_t NiD3DPixelShaderConstantMap::SetupDefinedEntry(NiD3DShaderConstantMapEntry* pkEntry)
{
    const std::uint32_t uiMapping = LookUpPredefinedMapping(pkEntry->GetKey());
    if (uiMapping == 0)
        return SCM_ERR_INVALID_MAPPING;
    pkEntry->SetInternal(uiMapping);
    pkEntry->SetValueType(Entry::SCME_TYPE_POINT4);
    if (uiMapping == 1)
        pkEntry->SetData(16, 16, TAYLOR_SIN, false);
    else if (uiMapping == 2)
        pkEntry->SetData(16, 16, TAYLOR_COS, false);
    return SCM_OK;
}

std::uint32_t NiD3DPixelShaderConstantMap::SetDefinedConstant(NiD3DShaderProgram* pkProgram,
                                                              NiD3DShaderConstantMapEntry* pkEntry,
                                                              NiGeometry* pkGeometry, const NiSkinInstance*,
                                                              const Partition*, NiDX9GeometryBufferData*,
                                                              const NiPropertySet* pkState, const NiEffectSet*,
                                                              const NiXform&, const NiBoundSphere&, std::uint32_t)
{
    const std::uint32_t uiMapping = pkEntry->GetInternal();
    if (uiMapping == 1 || uiMapping == 2)
        return SendConstant(pkProgram, pkEntry, nullptr, 0, 0) ? SCM_OK : SCM_ERR_FAILED_SET;
    if (uiMapping >= 3 && uiMapping <= 7)
    {
        if (!FormTimeValue(pkGeometry, uiMapping - 3, s_afValue))
            return SCM_ERR_ENTRY_NOT_FOUND;
    }
    else if (uiMapping >= 8 && uiMapping <= 12)
    {
        if (!FormMaterialValue(pkState, uiMapping - 8, s_afValue))
            return SCM_OK;
    }
    else
        return SCM_OK;
    return SendConstant(pkProgram, pkEntry, s_afValue, 0, 1) ? SCM_OK : SCM_ERR_FAILED_SET;
}

bool NiD3DPixelShaderConstantMap::SendConstant(NiD3DShaderProgram* pkProgram, NiD3DShaderConstantMapEntry* pkEntry,
                                               const void* pvValues, std::uint32_t uiCount,
                                               std::uint32_t uiValueRegisters)
{
    return pkProgram != nullptr && pkProgram->SetPixelShaderConstant(pkEntry, pvValues, uiCount, uiValueRegisters);
}

void NiD3DPixelShaderConstantMap::FillDefinedOperand(NiD3DShaderConstantMapEntry* pkEntry, NiGeometry* pkGeometry,
                                                     const NiSkinInstance*, const NiPropertySet* pkState,
                                                     Operand& kSlot)
{
    const std::uint32_t uiMapping = pkEntry->GetInternal();
    bool bFormed = false;
    if (uiMapping >= 3 && uiMapping <= 7)
        bFormed = FormTimeValue(pkGeometry, uiMapping - 3, kSlot.m_afVector);
    else if (uiMapping >= 8 && uiMapping <= 12)
        bFormed = FormMaterialValue(pkState, uiMapping - 8, kSlot.m_afVector);
    kSlot.m_uiType = bFormed ? Entry::SCME_TYPE_POINT4 : Entry::SCME_TYPE_NONE;
}
