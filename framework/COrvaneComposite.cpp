#include "framework/COrvaneComposite.h"

COrvaneComposite::COrvaneComposite()
{
    Reset();
}

COrvaneComposite::~COrvaneComposite() = default;

void COrvaneComposite::Destroy()
{
    Reset();
}

void COrvaneComposite::Reset()
{
    m_pkOwner = nullptr;
    m_fAccumulatedAngle = 0.0f;
    m_uiUserValue = 0;
}

int COrvaneComposite::SetUserValue(std::uint32_t uiValue)
{
    m_uiUserValue = uiValue;
    return 1;
}

std::uint32_t COrvaneComposite::GetUserValue() const
{
    return m_uiUserValue;
}

COrvaneObject* COrvaneComposite::GetOwner() const
{
    return m_pkOwner;
}

void COrvaneComposite::SetOwner(COrvaneObject* pkOwner)
{
    m_pkOwner = pkOwner;
}

void COrvaneComposite::SetPosition(const NiVec3& kPoint, int iMode)
{
    if (iMode == 0)
        m_kPendingPosition = kPoint;
    else
        m_kPendingPosition = (m_bPending ? m_kPendingPosition : m_kPosition) + kPoint;
    m_bPending = true;
}

void COrvaneComposite::Rotate(const NiVec3&, float fAngle, int iMode)
{
    if (iMode == 0)
        m_fAccumulatedAngle = fAngle;
    else
        m_fAccumulatedAngle += fAngle;
}

void COrvaneComposite::Hook()
{
}

void COrvaneComposite::Update(float)
{
    if (m_bPending)
    {
        m_kPosition = m_kPendingPosition;
        m_bPending = false;
    }
}

const NiVec3* COrvaneComposite::GetPosition() const
{
    return m_bPending ? &m_kPendingPosition : &m_kPosition;
}
