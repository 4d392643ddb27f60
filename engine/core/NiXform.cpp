#include "engine/core/NiXform.h"

#include "engine/core/NiEndian.h"

NiXform NiXform::Multiply(const NiXform& kOther) const
{
    NiXform kResult;
    kResult.m_kRotate = m_kRotate.Multiply(kOther.m_kRotate);
    kResult.m_kTranslate = m_kTranslate + m_kRotate.MultiplyVector(kOther.m_kTranslate) * m_fScale;
    kResult.m_fScale = m_fScale * kOther.m_fScale;
    return kResult;
}

NiXform NiXform::Invert() const
{
    NiXform kResult;
    kResult.m_kRotate = m_kRotate.Transpose();
    kResult.m_fScale = 1.0f / m_fScale;
    kResult.m_kTranslate = -(kResult.m_kRotate.MultiplyVector(m_kTranslate) * kResult.m_fScale);
    return kResult;
}

NiVec3 NiXform::TransformPoint(const NiVec3& kPoint) const
{
    return m_kRotate.MultiplyVector(kPoint) * m_fScale + m_kTranslate;
}

bool NiXform::ReadFromStream(NiByteStream& kStream)
{
    NiXform kRead;
    if (!kRead.m_kRotate.ReadFromStream(kStream) || !kRead.m_kTranslate.ReadFromStream(kStream) ||
        !NiReadLE(kStream, kRead.m_fScale))
        return false;
    *this = kRead;
    return true;
}

bool NiXform::WriteToStream(NiByteStream& kStream)
{
    return m_kRotate.WriteToStream(kStream) && m_kTranslate.WriteToStream(kStream) && NiWriteLE(kStream, m_fScale);
}
