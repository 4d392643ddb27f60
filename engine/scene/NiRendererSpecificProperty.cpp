#include "engine/scene/NiRendererSpecificProperty.h"

NiImplementTypeInfo(NiRendererSpecificProperty, NiProperty)
NiImplementCreateClone(NiRendererSpecificProperty)

void NiRendererSpecificProperty::CopyMembers(NiRendererSpecificProperty* pkDest, NiCloneContext& kCloning)
{
    NiProperty::CopyMembers(pkDest, kCloning);
    if (m_spRendererData != nullptr)
        pkDest->m_spRendererData = m_spRendererData->CreateClone(kCloning);
}
