#include "engine/animation/NiInterpolator.h"

#include "engine/core/NiCloneContext.h"
#include "engine/core/NiViewerStrings.h"

NiImplementTypeInfo(NiInterpolator, NiObject)

const NiVec3 NiInterpolator::INVALID_POINT3{NI_MIN_FLOAT, NI_MIN_FLOAT, NI_MIN_FLOAT};
const NiColorRGBA NiInterpolator::INVALID_COLOR{NI_MIN_FLOAT, NI_MIN_FLOAT, NI_MIN_FLOAT, NI_MIN_FLOAT};

bool NiInterpolator::UpdateTransform(float, NiObjectNET*, NiQuatTransform&) { return false; }
bool NiInterpolator::UpdateColor(float, NiObjectNET*, NiColorRGBA&) { return false; }
bool NiInterpolator::UpdatePoint3(float, NiObjectNET*, NiVec3&) { return false; }
bool NiInterpolator::UpdateQuaternion(float, NiObjectNET*, NiQuat&) { return false; }
bool NiInterpolator::UpdateFloat(float, NiObjectNET*, float&) { return false; }
bool NiInterpolator::UpdateBool(float, NiObjectNET*, std::uint8_t&) { return false; }

void NiInterpolator::GetActiveTimeRange(float& fBegin, float& fEnd) const
{
    fBegin = 0.0f;
    fEnd = 0.0f;
}

NiInterpolator* NiInterpolator::GetSequenceInterpolator(float, float)
{
    auto* pkClone = static_cast<NiInterpolator*>(Clone());
    if (pkClone != nullptr)
        pkClone->SetUpDependencies();
    return pkClone;
}

bool NiInterpolator::IsEqual(NiObject* pkOther)
{
    return NiObject::IsEqual(pkOther);
}

void NiInterpolator::AppendViewerStrings(NiViewerStringArray& kStrings)
{
    NiObject::AppendViewerStrings(kStrings);
    kStrings.AddTail(NiViewerHeader(NiInterpolator::TypeInfo()->GetName()));
}

void NiInterpolator::CopyMembers(NiInterpolator* pkDest, NiCloneContext& kCloning)
{
    NiObject::CopyMembers(pkDest, kCloning);
}
