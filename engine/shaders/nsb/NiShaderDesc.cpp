#include "engine/shaders/nsb/NiShaderDesc.h"

#include <cstring>

void NiShaderDesc::SetImplementationDescription(std::uint32_t uiIndex, NiShaderRequirementDesc* pkDesc)
{
    if (uiIndex >= m_kImplementations.size())
        m_kImplementations.resize(static_cast<std::size_t>(uiIndex) + 1);
    m_kImplementations[uiIndex] = pkDesc;
}

void NiShaderDesc::AddAttribute(NSBAttributeDesc* pkAttribute)
{
    if (pkAttribute != nullptr)
        m_kAttributes.emplace_back(pkAttribute);
}

NSBAttributeDesc* NiShaderDesc::GetAttribute(const char* pcName) const
{
    if (pcName == nullptr)
        return nullptr;
    for (const NSBAttributeDescPtr& spAttribute : m_kAttributes)
    {
        const char* pcOther = spAttribute->GetName();
        if (pcOther != nullptr && std::strcmp(pcOther, pcName) == 0)
            return spAttribute.Get();
    }
    return nullptr;
}

NSBAttributeDesc* NiShaderDesc::GetFirstAttribute()
{
    m_uiIter = 0;
    return GetNextAttribute();
}

NSBAttributeDesc* NiShaderDesc::GetNextAttribute()
{
    if (m_uiIter >= m_kAttributes.size())
        return nullptr;
    return m_kAttributes[m_uiIter++].Get();
}
