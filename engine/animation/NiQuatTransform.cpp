#include "engine/animation/NiQuatTransform.h"

#include "engine/core/NiEndian.h"
#include "engine/core/NiMatrix3x3.h"
#include "engine/core/NiObjectStream.h"
#include "engine/core/NiViewerStrings.h"

namespace
{
constexpr std::uint32_t VALIDITY_BYTES_BEFORE = NiStreamVersion(10, 1, 0, 110);
}

const NiQuatTransform NiQuatTransform::INVALID{};

NiQuatTransform NiQuatTransform::Compose(const NiQuatTransform& kA, const NiQuatTransform& kB)
{
    NiQuatTransform kResult;
    bool bScales = kA.IsScaleValid() && kB.IsScaleValid();
    bool bRotations = kA.IsRotateValid() && kB.IsRotateValid();
    if (bScales)
        kResult.m_fScale = kA.m_fScale * kB.m_fScale;
    NiMatrix3x3 kRotation = NiMatrix3x3::IDENTITY;
    if (bRotations)
    {
        kResult.m_kRotate = kA.m_kRotate * kB.m_kRotate;
        kResult.m_kRotate.Normalize();
        kA.m_kRotate.ToRotation(kRotation);
    }
    if (kA.IsTranslateValid() && kB.IsTranslateValid())
    {
        float k = bScales ? kA.m_fScale * kB.m_fScale : 1.0f;
        kResult.m_kTranslate = kA.m_kTranslate + (kRotation * kB.m_kTranslate) * k;
    }
    return kResult;
}

NiQuatTransform NiQuatTransform::ComposeParts(const NiQuatTransform& kA, const NiQuatTransform& kB)
{
    NiQuatTransform kResult;
    if (kA.IsScaleValid() && kB.IsScaleValid())
        kResult.m_fScale = kA.m_fScale * kB.m_fScale;
    if (kA.IsRotateValid() && kB.IsRotateValid())
    {
        kResult.m_kRotate = kA.m_kRotate * kB.m_kRotate;
        kResult.m_kRotate.Normalize();
    }
    if (kA.IsTranslateValid() && kB.IsTranslateValid())
        kResult.m_kTranslate = kA.m_kTranslate + kB.m_kTranslate;
    return kResult;
}

NiQuatTransform NiQuatTransform::Invert() const
{
    NiQuatTransform kResult;
    float fInvScale = 1.0f;
    if (IsScaleValid())
    {
        fInvScale = 1.0f / m_fScale;
        kResult.m_fScale = fInvScale;
    }
    NiMatrix3x3 kRotation = NiMatrix3x3::IDENTITY;
    if (IsRotateValid())
    {
        kResult.m_kRotate = m_kRotate.Conjugate();
        kResult.m_kRotate.ToRotation(kRotation);
    }
    if (IsTranslateValid())
        kResult.m_kTranslate = (kRotation * (-m_kTranslate)) * fInvScale;
    return kResult;
}

NiQuatTransform NiQuatTransform::InvertParts() const
{
    NiQuatTransform kResult;
    if (IsScaleValid())
        kResult.m_fScale = 1.0f / m_fScale;
    if (IsRotateValid())
        kResult.m_kRotate = m_kRotate.Conjugate();
    if (IsTranslateValid())
        kResult.m_kTranslate = -m_kTranslate;
    return kResult;
}

bool NiQuatTransform::LoadBinary(NiByteStream& kStream, std::uint32_t uiVersion)
{
    float af[8];
    if (!NiReadLE(kStream, af, 8))
        return false;
    NiQuatTransform kRead(NiVec3(af[0], af[1], af[2]), NiQuat(af[3], af[4], af[5], af[6]), af[7]);
    if (uiVersion < VALIDITY_BYTES_BEFORE)
    {
        std::uint8_t aucValid[3];
        for (std::uint8_t& uc : aucValid)
        {
            if (!NiReadLE(kStream, uc))
                return false;
        }
        if (aucValid[0] == 0)
            kRead.MakeTranslateInvalid();
        if (aucValid[1] == 0)
            kRead.MakeRotateInvalid();
        if (aucValid[2] == 0)
            kRead.MakeScaleInvalid();
    }
    *this = kRead;
    return true;
}

bool NiQuatTransform::SaveBinary(NiByteStream& kStream) const
{
    const float af[8] = {m_kTranslate.x, m_kTranslate.y, m_kTranslate.z, m_kRotate.w,
                         m_kRotate.x,    m_kRotate.y,    m_kRotate.z,    m_fScale};
    return NiWriteLE(kStream, af, 8);
}

void NiQuatTransform::AppendViewerStrings(NiViewerStringArray& kStrings) const
{
    kStrings.AddTail(NiViewerHeader("NiQuatTransform"));
    kStrings.AddTail(NiViewerVec3("m_kTranslate", m_kTranslate));
    kStrings.AddTail(NiViewerQuat("m_kRotate", m_kRotate));
    kStrings.AddTail(NiViewerFloat("m_fScale", m_fScale));
}
