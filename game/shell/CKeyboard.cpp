#include "game/shell/CKeyboard.h"

bool CKeyboard::SetCallbacks(Handler kOnKey, Handler kOnKeyUp)
{
    if (!kOnKey || !kOnKeyUp)
        return false;
    m_kOnKey = std::move(kOnKey);
    m_kOnKeyUp = std::move(kOnKeyUp);
    return true;
}

bool CKeyboard::OnKeyDown(const COrvaneKeyEvent& kEvent)
{
    const bool bResult = CZelmarKeyboard::OnKeyDown(kEvent);
    if (m_kOnKey)
        m_kOnKey(kEvent);
    return bResult;
}

bool CKeyboard::OnKeyUp(const COrvaneKeyEvent& kEvent)
{
    const bool bResult = CZelmarKeyboard::OnKeyUp(kEvent);
    if (m_kOnKeyUp)
        m_kOnKeyUp(kEvent);
    return bResult;
}
