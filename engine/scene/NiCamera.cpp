#include "engine/scene/NiCamera.h"

NiImplementTypeInfo(NiCamera, NiAVObject)

namespace
{
NiVec3 Unit(NiVec3 k)
{
    k.Normalize();
    return k;
}
} // namespace

NiCamera::NiCamera()
{
    UpdateWorldData();
}

void NiCamera::SetViewFrustum(const NiViewFrustum& kFrustum)
{
    m_kViewFrustum = kFrustum;
    UpdateWorldPlanes();
}

void NiCamera::UpdateWorldData()
{
    NiAVObject::UpdateWorldData();
    m_kWorldDir = m_kWorld.m_kRotate.GetColumn(0);
    m_kWorldUp = m_kWorld.m_kRotate.GetColumn(1);
    m_kWorldRight = m_kWorld.m_kRotate.GetColumn(2);
    UpdateWorldPlanes();
}

void NiCamera::UpdateWorldPlanes()
{
    const NiVec3& P = m_kWorld.m_kTranslate;
    const NiVec3& D = m_kWorldDir;
    const NiVec3& U = m_kWorldUp;
    const NiVec3& R = m_kWorldRight;
    const NiViewFrustum& f = m_kViewFrustum;

    // Each plane keeps the inside on its positive side.
    m_akWorldPlanes[NEAR_PLANE] = NiPlane(D, P + D * f.m_fNear);
    m_akWorldPlanes[FAR_PLANE] = NiPlane(-D, P + D * f.m_fFar);
    if (f.m_bOrtho)
    {
        m_akWorldPlanes[LEFT_PLANE] = NiPlane(R, P + R * f.m_fLeft);
        m_akWorldPlanes[RIGHT_PLANE] = NiPlane(-R, P + R * f.m_fRight);
        m_akWorldPlanes[TOP_PLANE] = NiPlane(-U, P + U * f.m_fTop);
        m_akWorldPlanes[BOTTOM_PLANE] = NiPlane(U, P + U * f.m_fBottom);
    }
    else
    {
        m_akWorldPlanes[LEFT_PLANE] = NiPlane(Unit((D + R * f.m_fLeft).Cross(U)), P);
        m_akWorldPlanes[RIGHT_PLANE] = NiPlane(Unit(U.Cross(D + R * f.m_fRight)), P);
        m_akWorldPlanes[TOP_PLANE] = NiPlane(Unit((D + U * f.m_fTop).Cross(R)), P);
        m_akWorldPlanes[BOTTOM_PLANE] = NiPlane(Unit(R.Cross(D + U * f.m_fBottom)), P);
    }
}
