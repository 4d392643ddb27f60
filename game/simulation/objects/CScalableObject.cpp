#include "game/simulation/objects/CScalableObject.h"

#include "framework/COrvaneBlockGrid.h"

#include <cstring>

CScalableObject::CScalableObject()
{
    CScalableObject::Reset();
}

CScalableObject::~CScalableObject() = default;

void CScalableObject::Reset()
{
    CBaseObject::Reset();
    m_fWidthScale = 1.0f;
    m_fHeightScale = 1.0f;
    m_fDepthScale = 1.0f;
}

std::int32_t CScalableObject::GetWidth() const
{
    return static_cast<std::int32_t>(static_cast<float>(m_iWidth) * m_fWidthScale);
}

std::int32_t CScalableObject::GetDepth() const
{
    return static_cast<std::int32_t>(static_cast<float>(m_iDepth) * m_fDepthScale);
}

int CScalableObject::ComputeFootprint()
{
    const std::int32_t iWidth = m_iWidth;
    const std::int32_t iDepth = m_iDepth;
    m_iWidth = GetWidth();
    m_iDepth = GetDepth();
    const int iResult = CBaseObject::ComputeFootprint();
    m_iWidth = iWidth;
    m_iDepth = iDepth;
    return iResult;
}

int CScalableObject::OccupyFootprint()
{
    if (m_pkGrid)
    {
        const char* pcName = GetName();
        const bool bBlocking = !pcName || !std::strstr(pcName, "balc");
        m_pkGrid->OccupyArea(m_iAnchor, this, m_iRows, m_iColumns, bBlocking);
    }
    return 1;
}

void CScalableObject::SetScale(float fWidth, float fHeight, float fDepth)
{
    m_fWidthScale = fWidth;
    m_fHeightScale = fHeight;
    m_fDepthScale = fDepth;
}
