#include "engine/render/NiTextureTransform.h"

#include "engine/core/NiObjectStream.h"

#include <cmath>

namespace
{
// Built during static construction, before any map can ask for it.
const NiTextureTransform s_kDefault(NiVec2(0.0f, 0.0f), 0.0f, NiVec2(1.0f, 1.0f), NiVec2(0.5f, 0.5f), 0);
} // namespace

NiTextureTransform::NiTextureTransform(const NiVec2& kTranslate, float fRotate, const NiVec2& kScale,
                                       const NiVec2& kCenter, std::uint32_t uiMethod)
    : m_kTranslate(kTranslate), m_fRotate(fRotate), m_kScale(kScale), m_kCenter(kCenter), m_eMethod(uiMethod)
{
    UpdateMatrix();
}

const NiTextureTransform& NiTextureTransform::GetDefault()
{
    return s_kDefault;
}

const NiMatrix3x3& NiTextureTransform::GetMatrix() const
{
    if (m_bMatrixDirty)
        UpdateMatrix();
    return m_kMatrix;
}

void NiTextureTransform::UpdateMatrix() const
{
    const auto c = static_cast<float>(std::cos(static_cast<double>(m_fRotate)));
    const auto s = static_cast<float>(std::sin(static_cast<double>(m_fRotate)));
    const float tu = m_kTranslate.x;
    const float tv = m_kTranslate.y;
    const float su = m_kScale.x;
    const float sv = m_kScale.y;
    const float cu = m_kCenter.x;
    const float cv = m_kCenter.y;
    switch (m_eMethod)
    {
    case 0:
        m_kMatrix = NiMatrix3x3(c * su, -s * sv, (tu - cu) * c - (tv - cv) * s + cu, //
                                s * su, c * sv, (tu - cu) * s + (tv - cv) * c + cv,  //
                                0.0f, 0.0f, 1.0f);
        break;
    case 1:
        m_kMatrix = NiMatrix3x3(c * su, s * su, su * (-(cu + tu) * c + (tv - cv) * s) + cu, //
                                -s * sv, c * sv, sv * ((tv - cv) * c + (cu + tu) * s) + cv,  //
                                0.0f, 0.0f, 1.0f);
        break;
    default:
        break;
    }
    m_bMatrixDirty = false;
}

void NiTextureTransform::ReadFromStream(NiObjectStream& kStream)
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

void NiTextureTransform::WriteToStream(NiObjectStream& kStream) const
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

bool NiTextureTransform::IsEqual(const NiTextureTransform& k) const
{
    return m_fRotate == k.m_fRotate && m_kTranslate.x == k.m_kTranslate.x && m_kTranslate.y == k.m_kTranslate.y &&
           m_kScale.x == k.m_kScale.x && m_kScale.y == k.m_kScale.y && m_eMethod == k.m_eMethod &&
           m_kCenter.x == k.m_kCenter.x && m_kCenter.y == k.m_kCenter.y;
}
