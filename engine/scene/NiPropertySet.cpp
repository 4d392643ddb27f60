#include "engine/scene/NiPropertySet.h"

namespace
{
NiPropertyPtr& DefaultSlot(int iType)
{
    static NiPropertyPtr s_aspDefaults[NiProperty::MAX_TYPES];
    return s_aspDefaults[iType];
}

bool IsValidType(int iType)
{
    return iType >= 0 && iType < NiProperty::MAX_TYPES;
}
} // namespace

NiPropertySet::NiPropertySet()
{
    Reset();
}

NiPropertySet::NiPropertySet(const NiPropertySet& kOther) : NiRefObject()
{
    for (int i = 0; i < NiProperty::MAX_TYPES; ++i)
        m_aspProps[i] = kOther.m_aspProps[i];
}

NiPropertySet::~NiPropertySet()
{
    for (int i = NiProperty::MAX_TYPES - 1; i >= 0; --i)
        m_aspProps[i].Clear();
}

void NiPropertySet::Reset()
{
    for (int i = 0; i < NiProperty::MAX_TYPES; ++i)
        m_aspProps[i] = DefaultSlot(i);
}

void NiPropertySet::SetProperty(NiProperty* pkProperty)
{
    if (pkProperty == nullptr)
        return;
    int iType = pkProperty->GetType();
    if (IsValidType(iType))
        m_aspProps[iType] = pkProperty;
}

NiProperty* NiPropertySet::GetProperty(int iType) const
{
    return IsValidType(iType) ? m_aspProps[iType].Get() : nullptr;
}

void NiPropertySet::SetDefault(int iType, NiProperty* pkProperty)
{
    if (IsValidType(iType))
        DefaultSlot(iType) = pkProperty;
}

NiProperty* NiPropertySet::GetDefault(int iType)
{
    return IsValidType(iType) ? DefaultSlot(iType).Get() : nullptr;
}

void NiPropertySet::ResetDefaults()
{
    for (int i = 0; i < NiProperty::MAX_TYPES; ++i)
        DefaultSlot(i).Clear();
}
