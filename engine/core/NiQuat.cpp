#include "engine/core/NiQuat.h"

#include "engine/core/NiEndian.h"
#include "engine/core/NiViewerStrings.h"
#include "engine/core/NiMatrix3x3.h"

#include <cmath>
#include <initializer_list>

void NiQuat::Normalize()
{
    float fLength = std::sqrt(Dot(*this, *this));
    if (fLength == 0.0f)
        return;
    float fInv = 1.0f / fLength;
    *this = ScaleBy(fInv);
}

void NiQuat::SnapTinyToZero()
{
    for (float* pf : {&w, &x, &y, &z})
        if (std::fabs(*pf) <= NI_SNAP_EPSILON)
            *pf = 0.0f;
}

void NiQuat::FromRotation(const NiMatrix3x3& kMatrix)
{
    const auto& m = kMatrix.m_afEntry;
    float fTrace = m[0][0] + m[1][1] + m[2][2];
    if (fTrace > 0.0f)
    {
        float r = std::sqrt(fTrace + 1.0f);
        w = 0.5f * r;
        float f = 0.5f / r;
        x = (m[2][1] - m[1][2]) * f;
        y = (m[0][2] - m[2][0]) * f;
        z = (m[1][0] - m[0][1]) * f;
        return;
    }

    // Work from the largest diagonal element, whose component is then the
    // largest and dividing by it is safe.
    static constexpr int s_aiNext[3] = {1, 2, 0};
    int i = (m[1][1] > m[0][0]) ? 1 : 0;
    if (m[2][2] > m[i][i])
        i = 2;
    int j = s_aiNext[i];
    int k = s_aiNext[j];
    float r = std::sqrt(m[i][i] - m[j][j] - m[k][k] + 1.0f);
    float* apfAxis[3] = {&x, &y, &z};
    *apfAxis[i] = 0.5f * r;
    float f = 0.5f / r;
    w = (m[k][j] - m[j][k]) * f;
    *apfAxis[j] = (m[i][j] + m[j][i]) * f;
    *apfAxis[k] = (m[i][k] + m[k][i]) * f;
}

void NiQuat::ToRotation(NiMatrix3x3& kMatrix) const
{
    float fX2 = 2.0f * x;
    float fY2 = 2.0f * y;
    float fZ2 = 2.0f * z;
    float fWX = w * fX2, fWY = w * fY2, fWZ = w * fZ2;
    float fXX = x * fX2, fXY = x * fY2, fXZ = x * fZ2;
    float fYY = y * fY2, fYZ = y * fZ2, fZZ = z * fZ2;
    kMatrix = NiMatrix3x3(1.0f - (fYY + fZZ), fXY - fWZ, fXZ + fWY, fXY + fWZ, 1.0f - (fXX + fZZ), fYZ - fWX,
                          fXZ - fWY, fYZ + fWX, 1.0f - (fXX + fYY));
}

NiQuat NiQuat::Log(const NiQuat& q)
{
    float fAngle = NiACos(q.w);
    float fSin = std::sin(fAngle);
    float f = (std::fabs(fSin) < 0.001f) ? 1.0f : fAngle / fSin;
    return {0.0f, f * q.x, f * q.y, f * q.z};
}

NiQuat NiQuat::Exp(const NiQuat& q)
{
    float fAngle = std::sqrt(q.x * q.x + q.y * q.y + q.z * q.z);
    float fSin = std::sin(fAngle);
    float f = (std::fabs(fSin) < 0.001f) ? 1.0f : fSin / fAngle;
    return {std::cos(fAngle), f * q.x, f * q.y, f * q.z};
}

NiQuat NiQuat::Intermediate(const NiQuat& kPrevious, const NiQuat& kCurrent, const NiQuat& kNext)
{
    NiQuat c = kCurrent.Conjugate();
    NiQuat kSum = Log(c * kNext) + Log(c * kPrevious);
    return kCurrent * Exp(kSum * -0.25f);
}

bool NiQuat::ReadFromStream(NiByteStream& kStream)
{
    float af[4];
    if (!NiReadLE(kStream, af, 4))
        return false;
    *this = NiQuat(af[0], af[1], af[2], af[3]);
    return true;
}

bool NiQuat::WriteToStream(NiByteStream& kStream)
{
    SnapTinyToZero();
    const float af[4] = {w, x, y, z};
    return NiWriteLE(kStream, af, 4);
}

char* NiViewerQuat(const char* pcName, const NiQuat& q)
{
    return NiViewerFormat("%s: (w=%g,x=%g,y=%g,z=%g)", pcName ? pcName : "", static_cast<double>(q.w),
                        static_cast<double>(q.x), static_cast<double>(q.y), static_cast<double>(q.z));
}
