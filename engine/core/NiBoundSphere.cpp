#include "engine/core/NiBoundSphere.h"

#include "engine/core/NiEndian.h"
#include "engine/core/NiViewerStrings.h"
#include "engine/core/NiXform.h"

#include <algorithm>
#include <cmath>

void NiBoundSphere::ComputeFromPoints(std::uint32_t uiCount, const NiVec3* pkPoints)
{
    if (uiCount < 1 || !pkPoints)
    {
        m_kCenter = NiVec3::ZERO;
        m_fRadius = 0.0f;
        return;
    }
    NiVec3 kMin = pkPoints[0];
    NiVec3 kMax = pkPoints[0];
    for (std::uint32_t i = 1; i < uiCount; ++i)
    {
        const NiVec3& k = pkPoints[i];
        kMin = NiVec3(std::min(kMin.x, k.x), std::min(kMin.y, k.y), std::min(kMin.z, k.z));
        kMax = NiVec3(std::max(kMax.x, k.x), std::max(kMax.y, k.y), std::max(kMax.z, k.z));
    }
    m_kCenter = (kMin + kMax) * 0.5f;
    float fMaxSquared = 0.0f;
    for (std::uint32_t i = 0; i < uiCount; ++i)
        fMaxSquared = std::max(fMaxSquared, (pkPoints[i] - m_kCenter).SqrLength());
    m_fRadius = std::sqrt(fMaxSquared);
}

void NiBoundSphere::Merge(const NiBoundSphere& kOther)
{
    NiVec3 kDiff = m_kCenter - kOther.m_kCenter;
    float fSquaredDistance = kDiff.SqrLength();
    if (!std::isfinite(fSquaredDistance))
    {
        // Too far apart for a float to measure (an object put away at the
        // end of the float range): the merge would be not-a-number, a bound
        // no ray or view ever meets, and everything under it would be lost
        // to picking and drawing. The sphere nearer the origin stays.
        if (kOther.m_kCenter.SqrLength() < m_kCenter.SqrLength())
            *this = kOther;
        return;
    }
    float fRadiusDiff = kOther.m_fRadius - m_fRadius;
    if (fRadiusDiff * fRadiusDiff >= fSquaredDistance)
    {
        // One sphere holds the other: keep the larger.
        if (fRadiusDiff >= 0.0f)
            *this = kOther;
        return;
    }
    float fDistance = std::sqrt(fSquaredDistance);
    if (fDistance > 1e-6f)
        m_kCenter = kOther.m_kCenter + kDiff * ((fDistance - fRadiusDiff) / (2.0f * fDistance));
    m_fRadius = (fDistance + m_fRadius + kOther.m_fRadius) * 0.5f;
}

void NiBoundSphere::Transform(const NiBoundSphere& kSphere, const NiXform& kXform)
{
    m_kCenter = kXform.TransformPoint(kSphere.m_kCenter);
    m_fRadius = kSphere.m_fRadius * kXform.m_fScale;
}

bool NiBoundSphere::ReadFromStream(NiByteStream& kStream)
{
    float af[4];
    if (!NiReadLE(kStream, af, 4))
        return false;
    m_kCenter = NiVec3(af[0], af[1], af[2]);
    m_fRadius = af[3];
    return true;
}

bool NiBoundSphere::WriteToStream(NiByteStream& kStream) const
{
    const float af[4] = {m_kCenter.x, m_kCenter.y, m_kCenter.z, m_fRadius};
    return NiWriteLE(kStream, af, 4);
}

char* NiViewerBoundSphere(const char* pcName, const NiBoundSphere& kValue)
{
    return NiViewerFormat("%s = (%g, %g, %g) , %g", pcName ? pcName : "", static_cast<double>(kValue.m_kCenter.x),
                        static_cast<double>(kValue.m_kCenter.y), static_cast<double>(kValue.m_kCenter.z),
                        static_cast<double>(kValue.m_fRadius));
}
