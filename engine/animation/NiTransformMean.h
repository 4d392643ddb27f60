#pragma once

#include "engine/animation/NiQuatTransform.h"
#include "engine/core/NiQuat.h"
#include "engine/core/NiVec3.h"

// Weighted mean of the parts of blended transforms. A part counts only where
// it is valid; the weight of an invalid translate or scale leaves that part's
// total, so the others are not drawn toward zero. Rotations are summed on the
// hemisphere of the first one and normalised.
class NiTransformMean
{
public:
    void Add(float fWeight, const NiQuatTransform& kPart);
    // An item that gave no transform at all.
    void Skip(float fWeight)
    {
        m_fTranslateTotal -= fWeight;
        m_fScaleTotal -= fWeight;
    }
    [[nodiscard]] bool Any() const { return m_bTranslate || m_bRotate || m_bScale; }
    // The mean of each part that had a valid one goes into kValue; the
    // others are left as they are.
    void WriteTo(NiQuatTransform& kValue);

private:
    NiVec3 m_kTranslateSum = NiVec3::ZERO;
    NiQuat m_kRotateSum{0.0f, 0.0f, 0.0f, 0.0f};
    float m_fScaleSum = 0.0f;
    float m_fTranslateTotal = 1.0f;
    float m_fScaleTotal = 1.0f;
    bool m_bTranslate = false;
    bool m_bRotate = false;
    bool m_bScale = false;
    bool m_bFirstRotation = true;
};

// Inline: a blend asks these for every bone of every frame.
inline void NiTransformMean::Add(float w, const NiQuatTransform& kPart)
{
    if (kPart.IsTranslateValid())
    {
        m_kTranslateSum += kPart.m_kTranslate * w;
        m_bTranslate = true;
    }
    else
    {
        m_fTranslateTotal -= w;
    }
    if (kPart.IsRotateValid())
    {
        NiQuat q = kPart.m_kRotate;
        if (!m_bFirstRotation && NiQuat::Dot(q, m_kRotateSum) < 0.0f)
            q = -q;
        m_bFirstRotation = false;
        m_kRotateSum = m_kRotateSum + q * w;
        m_bRotate = true;
    }
    if (kPart.IsScaleValid())
    {
        m_fScaleSum += kPart.m_fScale * w;
        m_bScale = true;
    }
    else
    {
        m_fScaleTotal -= w;
    }
}

inline void NiTransformMean::WriteTo(NiQuatTransform& kValue)
{
    if (m_bTranslate)
        kValue.m_kTranslate = m_kTranslateSum * (1.0f / m_fTranslateTotal);
    if (m_bRotate)
    {
        m_kRotateSum.Normalize();
        kValue.m_kRotate = m_kRotateSum;
    }
    if (m_bScale)
        kValue.m_fScale = m_fScaleSum * (1.0f / m_fScaleTotal);
}
