#include "framework/COrvaneSplineBase.h"

#include "framework/COrvaneComposite.h"

#include <cmath>

bool COrvaneSplineBase::FacingYaw(const NiVec3& kFrom, const NiVec3& kTo, float fSpeed, float& fYaw)
{
    NiVec3 kV = kFrom - kTo;
    kV.y = 0.0f;
    kV.Normalize();
    if (kV == NiVec3::ZERO)
        return false;
    if (fSpeed < 0.0f)
        kV = -kV;
    float fC = -kV.z;
    if (fC <= -1.0f)
        fYaw = 180.0f;
    else if (fC >= 1.0f)
        fYaw = 0.0f;
    else
        fYaw = std::acos(fC) * DEGREES_PER_RADIAN;
    if (kV.x < 0.0f)
        fYaw = 360.0f - fYaw;
    return true;
}

void COrvaneSplineBase::FaceAndPlace(COrvaneComposite& kModel, const NiVec3& kTarget, float fSpeed)
{
    float fYaw = 0.0f;
    const NiVec3* pkPosition = kModel.GetPosition();
    if (pkPosition && FacingYaw(*pkPosition, kTarget, fSpeed, fYaw))
        kModel.Rotate(NiVec3::UNIT_Y, fYaw, 0);
    kModel.SetPosition(kTarget, 0);
}
