#include "engine/scene/NiAlphaAccumulator.h"

#include "engine/scene/NiAlphaProperty.h"
#include "engine/scene/NiGeometry.h"
#include "engine/scene/NiPropertySet.h"

NiImplementTypeInfo(NiAlphaAccumulator, NiBackToFrontAccumulator)

NiObject* NiAlphaAccumulator::CreateObject()
{
    return new NiAlphaAccumulator;
}

NiImplementCreateClone(NiAlphaAccumulator)

void NiAlphaAccumulator::CopyMembers(NiAlphaAccumulator* pkDest, NiCloneContext& kCloning)
{
    NiBackToFrontAccumulator::CopyMembers(pkDest, kCloning);
    pkDest->m_bObserveNoSortHint = m_bObserveNoSortHint;
    pkDest->m_bSortByClosestPoint = m_bSortByClosestPoint;
}

bool NiAlphaAccumulator::RegisterGeometry(NiAVObject* pkObject)
{
    auto* pkGeometry = NiDynamicCast<NiGeometry>(pkObject);
    if (pkGeometry == nullptr)
        return false;
    // Geometry that has had no property pass holds no set: the default alpha
    // property (no blending) is in force for it.
    NiPropertySet* pkSet = pkGeometry->GetPropertyState();
    NiProperty* pkProperty =
        pkSet != nullptr ? pkSet->GetProperty(NiProperty::ALPHA) : NiPropertySet::GetDefault(NiProperty::ALPHA);
    auto* pkAlpha = NiDynamicCast<NiAlphaProperty>(pkProperty);
    if (pkAlpha == nullptr || !pkAlpha->GetAlphaBlending())
        return false;
    if (m_bObserveNoSortHint && pkAlpha->GetNoSorter())
        return false;
    return NiBackToFrontAccumulator::RegisterGeometry(pkGeometry);
}

float NiAlphaAccumulator::DepthOf(const NiGeometry* pkGeometry) const
{
    float fDepth = NiBackToFrontAccumulator::DepthOf(pkGeometry);
    if (m_bSortByClosestPoint)
        fDepth -= pkGeometry->GetWorldBound().m_fRadius;
    return fDepth;
}
