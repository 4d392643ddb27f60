#include "game/shell/CMouse.h"

bool CMouse::SetCallback(Callback kCallback)
{
    if (!kCallback)
        return false;
    m_kCallback = std::move(kCallback);
    return true;
}

bool CMouse::OnLeftDown(const NiVec2& kPosition)
{
    const bool bResult = CZelmarMouse::OnLeftDown(kPosition);
    m_bFrameFlag = true;
    if (m_kCallback)
        m_kCallback();
    return bResult;
}

bool CMouse::OnRightDown(const NiVec2& kPosition)
{
    const bool bResult = CZelmarMouse::OnRightDown(kPosition);
    m_bFrameFlag = true;
    if (m_kCallback)
        m_kCallback();
    return bResult;
}
