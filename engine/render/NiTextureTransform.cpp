#include "engine/render/NiTextureTransform.h"

#include "engine/core/NiObjectStream.h"

void NiTextureTransform::LoadBinary(NiObjectStream& kStream)
{
    kStream.ReadLE(m_kTranslate.x);
    kStream.ReadLE(m_kTranslate.y);
    kStream.ReadLE(m_kScale.x);
    kStream.ReadLE(m_kScale.y);
    kStream.ReadLE(m_fRotate);
    kStream.ReadLE(m_eMethod);
    kStream.ReadLE(m_kCenter.x);
    kStream.ReadLE(m_kCenter.y);
    m_bMatrixDirty = true;
}

void NiTextureTransform::SaveBinary(NiObjectStream& kStream) const
{
    kStream.WriteLE(m_kTranslate.x);
    kStream.WriteLE(m_kTranslate.y);
    kStream.WriteLE(m_kScale.x);
    kStream.WriteLE(m_kScale.y);
    kStream.WriteLE(m_fRotate);
    kStream.WriteLE(m_eMethod);
    kStream.WriteLE(m_kCenter.x);
    kStream.WriteLE(m_kCenter.y);
}

bool NiTextureTransform::operator==(const NiTextureTransform& k) const
{
    return m_fRotate == k.m_fRotate && m_kTranslate.x == k.m_kTranslate.x && m_kTranslate.y == k.m_kTranslate.y &&
           m_kScale.x == k.m_kScale.x && m_kScale.y == k.m_kScale.y && m_kCenter.x == k.m_kCenter.x &&
           m_kCenter.y == k.m_kCenter.y && m_eMethod == k.m_eMethod;
}
