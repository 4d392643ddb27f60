#include "engine/animation/NiTransformMean.h"

void NiTransformMean::Add(float w, const NiQuatTransform& kPart)
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

void NiTransformMean::WriteTo(NiQuatTransform& kValue)
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
