#include "framework/COrvaneMouse.h"

#include "framework/COrvaneApplication.h"
#include "framework/COrvaneCamera.h"
#include "framework/COrvaneGame.h"
#include "framework/COrvaneKeyboard.h"
#include "framework/COrvaneWidget.h"

#include <cmath>

namespace
{
COrvaneGame* Game()
{
    COrvaneApplication* pkApp = COrvaneApplication::GetExisting();
    return pkApp != nullptr ? pkApp->GetGame() : nullptr;
}

CZelmarCamera* GameCamera()
{
    COrvaneGame* pkGame = Game();
    return pkGame != nullptr ? dynamic_cast<CZelmarCamera*>(pkGame->GetCamera()) : nullptr;
}

// The clamp of one axis to 1..limit; the overshoot.
float Clamp(float& f, float fLimit)
{
    if (f < 1.0f)
    {
        const float fOver = f;
        f = 1.0f;
        return fOver;
    }
    if (f > fLimit)
    {
        const float fOver = f - fLimit;
        f = fLimit;
        return fOver;
    }
    return 0.0f;
}
} // namespace

COrvaneMouse::COrvaneMouse() = default;

COrvaneMouse::~COrvaneMouse() = default;

void COrvaneMouse::Destroy()
{
    m_pkCursorImage.reset();
    m_pkSecondImage.reset();
    m_pucMarker.reset();
    Reset();
}

bool COrvaneMouse::LoadCursor()
{
    if (m_pkCursorImage)
    {
        m_pucMarker = std::make_unique<std::uint8_t>(0);
        return true;
    }
    CWidgetDesc kDesc;
    kDesc.m_kName = "cursor.tga";
    const COrvaneGame* pkGame = Game();
    kDesc.m_pkCamera = pkGame != nullptr ? pkGame->GetCamera() : nullptr;
    m_pkCursorImage = std::make_unique<COrvaneImage>();
    m_pkCursorImage->Create(kDesc);
    m_bCursorScaled = false;
    return true;
}

void COrvaneMouse::DrawCursor()
{
    if (m_pkCursorImage && m_ucCursorShown != 0)
        m_pkCursorImage->Draw(static_cast<float>(m_iXInt), static_cast<float>(m_iYInt));
}

void COrvaneMouse::SetCursorScaled(bool bOn)
{
    if (!m_pkCursorImage || bOn == m_bCursorScaled)
        return;
    const float fX = COrvaneWidget::GetScreenScaleX();
    const float fY = COrvaneWidget::GetScreenScaleY();
    // A zero factor cannot be undone: leave the picture as it is.
    if (fX == 0.0f || fY == 0.0f)
        return;
    if (bOn)
        m_pkCursorImage->Scale(fX, fY);
    else
        m_pkCursorImage->Scale(1.0f / fX, 1.0f / fY);
    m_bCursorScaled = bOn;
}

void COrvaneMouse::Reset()
{
    m_bCursorScaled = false;
    m_ucCursorShown = 0;
    m_ucOverInterface = 0;
    m_fIdleTime = 0.0f;
    m_uiReserved = 0;
    m_iXInt = m_iYInt = 0;
    m_iCursorWidth = m_iCursorHeight = 0;
}

void COrvaneMouse::RefreshIntegers()
{
    m_iXInt = static_cast<std::int32_t>(m_kPosition.x);
    m_iYInt = static_cast<std::int32_t>(m_kPosition.y);
}

bool COrvaneMouse::TakePointerMotion(NiVec2& kMotion)
{
    const bool bGiven = m_bPointerMotion;
    kMotion = m_kPointerMotion;
    m_bPointerMotion = false;
    return bGiven;
}

bool COrvaneMouse::HoldRelease(ButtonIndex eButton)
{
    const std::uint32_t* apuiButtons[] = {&m_uiLeft, &m_uiMiddle, &m_uiRight};
    if (eButton > INDEX_RIGHT || m_aucPressedThisFrame[eButton] == 0 || *apuiButtons[eButton] != BUTTON_PRESSED)
        return false;
    m_aucReleaseDue[eButton] = 1;
    return true;
}

void COrvaneMouse::PlaceAt(const NiVec2& kPosition)
{
    m_kPosition = kPosition;
    const COrvaneGame* pkGame = Game();
    if (pkGame != nullptr && pkGame->GetScreenWidth() > 0 && pkGame->GetScreenHeight() > 0)
    {
        (void)Clamp(m_kPosition.x, static_cast<float>(pkGame->GetScreenWidth()));
        (void)Clamp(m_kPosition.y, static_cast<float>(pkGame->GetScreenHeight()));
    }
    RefreshIntegers();
}

const NiVec2& COrvaneMouse::Update(const NiVec2& kPosition)
{
    m_bPointerMotion = false; // this mouse holds no cursor: the position says it all
    m_kMovement = kPosition - m_kPosition;
    m_kPosition = kPosition;
    const COrvaneGame* pkGame = Game();
    const float fWidth = pkGame != nullptr ? static_cast<float>(pkGame->GetScreenWidth()) : 0.0f;
    const float fHeight = pkGame != nullptr ? static_cast<float>(pkGame->GetScreenHeight()) : 0.0f;
    const float fOverX = Clamp(m_kPosition.x, fWidth);
    const float fOverY = Clamp(m_kPosition.y, fHeight);
    if (fOverX != 0.0f || fOverY != 0.0f)
    {
        m_kMovement.x -= fOverX;
        m_kMovement.y -= fOverY;
    }
    m_fIdleTime = 0.0f;
    RefreshIntegers();
    if (m_pkCursorImage)
    {
        m_iCursorWidth = static_cast<std::int32_t>(m_pkCursorImage->GetRect().m_fWidth);
        m_iCursorHeight = static_cast<std::int32_t>(m_pkCursorImage->GetRect().m_fHeight);
    }
    return m_kPosition;
}

bool COrvaneMouse::OnLeftDown(const NiVec2&)
{
    m_uiLeft = BUTTON_PRESSED;
    m_aucPressedThisFrame[INDEX_LEFT] = 1;
    m_aucReleaseDue[INDEX_LEFT] = 0;
    return true;
}

bool COrvaneMouse::OnLeftUp(std::uint32_t)
{
    m_uiLeft = BUTTON_RELEASED;
    m_aucReleaseDue[INDEX_LEFT] = 0;
    return true;
}

bool COrvaneMouse::OnRightDown(const NiVec2&)
{
    m_uiRight = BUTTON_PRESSED;
    m_aucPressedThisFrame[INDEX_RIGHT] = 1;
    m_aucReleaseDue[INDEX_RIGHT] = 0;
    return true;
}

bool COrvaneMouse::OnRightUp(std::uint32_t)
{
    m_uiRight = BUTTON_RELEASED;
    m_aucReleaseDue[INDEX_RIGHT] = 0;
    return true;
}

bool COrvaneMouse::OnMiddleDown(const NiVec2&)
{
    m_uiMiddle = BUTTON_PRESSED;
    m_aucPressedThisFrame[INDEX_MIDDLE] = 1;
    m_aucReleaseDue[INDEX_MIDDLE] = 0;
    return true;
}

bool COrvaneMouse::OnMiddleUp(std::uint32_t)
{
    m_uiMiddle = BUTTON_RELEASED;
    m_aucReleaseDue[INDEX_MIDDLE] = 0;
    return true;
}

bool COrvaneMouse::OnWheel(std::int32_t iValue)
{
    m_iWheel = iValue;
    return true;
}

void COrvaneMouse::ClearMovement()
{
    m_kMovement = NiVec2();
    m_iWheel = 0;
    std::uint32_t* apuiButtons[] = {&m_uiLeft, &m_uiMiddle, &m_uiRight};
    bool abDue[3] = {false, false, false};
    for (std::size_t i = 0; i < 3; ++i)
    {
        // A release the game made itself meanwhile (a click used up) stands.
        abDue[i] = m_aucReleaseDue[i] != 0 && *apuiButtons[i] == BUTTON_PRESSED;
        if (*apuiButtons[i] == BUTTON_RELEASED)
            *apuiButtons[i] = BUTTON_IDLE;
        m_aucReleaseDue[i] = 0;
        m_aucPressedThisFrame[i] = 0;
    }
    // Delivered as the window would have: the next frame sees them released.
    if (abDue[INDEX_LEFT])
        (void)OnLeftUp(0);
    if (abDue[INDEX_MIDDLE])
        (void)OnMiddleUp(0);
    if (abDue[INDEX_RIGHT])
        (void)OnRightUp(0);
    if (const COrvaneGame* pkGame = Game())
        m_fIdleTime += pkGame->GetFrameTimes().m_fFrameTime;
}

const NiVec2& CZelmarMouse::Update(const NiVec2& kPosition)
{
    NiVec2 kPointerMotion;
    const bool bPointerMotion = TakePointerMotion(kPointerMotion);
    const NiVec2 kHeldAt = m_kPosition;
    COrvaneMouse::Update(kPosition);
    CZelmarCamera* pkCamera = GameCamera();
    const COrvaneGame* pkGame = Game();
    if (pkCamera == nullptr || pkGame == nullptr)
        return m_kPosition;
    const float fWidth = static_cast<float>(pkGame->GetScreenWidth());
    const float fHeight = static_cast<float>(pkGame->GetScreenHeight());
    const COrvaneKeyboard* pkKeyboard = pkGame->GetKeyboard();

    // While the cursor is held, the pointer's own travel moves the view:
    // the distance from the held cursor is that travel only where the
    // pointer really was put back after the last move.
    const NiVec2 kHeldMove = bPointerMotion ? kPointerMotion : m_kMovement;
    // A pixel turns the view by the same amount whether it comes in the
    // move that starts the turn or in a later one, and however the moves
    // fall into frames: the camera applies the frame's sum once and empties
    // it.
    const NiVec3 kTurn(kHeldMove.y * TURN_PER_PIXEL, kHeldMove.x * TURN_PER_PIXEL, 0.0f);
    if (pkCamera->m_uiMode == COrvaneCamera::MODE_TURNING)
    {
        pkCamera->m_kTurn = pkCamera->m_kTurn + kTurn;
        pkCamera->m_ucHeld = 0;
        // The cursor stays where the turn began.
        m_kMovement = kHeldMove;
        m_kPosition = kHeldAt;
        pkCamera->m_fSpeed = 0.0f;
    }
    else if (m_kPosition.x > SCROLL_MARGIN && m_kPosition.x <= fWidth - SCROLL_MARGIN &&
             m_kPosition.y > SCROLL_MARGIN && m_kPosition.y <= fHeight - SCROLL_MARGIN)
    {
        bool bHoldCursor = true;
        if (pkKeyboard != nullptr && pkKeyboard->IsCtrlDown())
        {
            pkCamera->m_uiMode = COrvaneCamera::MODE_TURNING;
            pkCamera->m_kTurn = kTurn;
        }
        else if (pkKeyboard != nullptr && pkKeyboard->IsShiftDown())
        {
            pkCamera->m_uiMode = COrvaneCamera::MODE_RAISING;
            pkCamera->m_kMove = NiVec3(0.0f, kHeldMove.y, 0.0f);
        }
        else
        {
            // A wheel turned earlier in this frame still raises or lowers
            // the view: a pointer moved in the same frame (a hand seldom
            // keeps the mouse still on the wheel) dropped the turn unseen.
            // The pointer itself moves on.
            const bool bWheel = m_iWheel != 0 && pkCamera->m_uiMode == COrvaneCamera::MODE_RAISING;
            pkCamera->m_uiMode = bWheel ? COrvaneCamera::MODE_RAISING : COrvaneCamera::MODE_IDLE;
            bHoldCursor = false;
        }
        pkCamera->m_ucHeld = 0;
        if (bHoldCursor)
        {
            m_kMovement = kHeldMove;
            m_kPosition = kHeldAt;
        }
        pkCamera->m_fSpeed = 0.0f;
    }
    else
    {
        pkCamera->m_uiMode = COrvaneCamera::MODE_MOVING;
        if (m_kPosition.x < SCROLL_MARGIN)
        {
            m_kPosition.x = SCROLL_MARGIN - 1.0f;
            pkCamera->m_kMove.x = 1.0f;
        }
        else if (m_kPosition.x > fWidth - SCROLL_MARGIN)
        {
            m_kPosition.x = fWidth - (SCROLL_MARGIN - 1.0f);
            pkCamera->m_kMove.x = -1.0f;
        }
        if (m_kPosition.y <= SCROLL_MARGIN)
        {
            m_kPosition.y = SCROLL_MARGIN - 1.0f;
            pkCamera->m_kMove.z = 1.0f;
        }
        else if (m_kPosition.y > fHeight - SCROLL_MARGIN)
        {
            m_kPosition.y = fHeight - (SCROLL_MARGIN - 1.0f);
            pkCamera->m_kMove.z = -1.0f;
        }
        m_kMovement = NiVec2();
        pkCamera->m_ucHeld = 1;
    }
    RefreshIntegers();
    return m_kPosition;
}

bool CZelmarMouse::OnLeftDown(const NiVec2& kPosition)
{
    COrvaneMouse::OnLeftDown(kPosition);
    if (CZelmarCamera* pkCamera = GameCamera())
    {
        pkCamera->m_uiMode =
            pkCamera->m_uiMode == COrvaneCamera::MODE_TURNING ? COrvaneCamera::MODE_RAISING : COrvaneCamera::MODE_IDLE;
    }
    return true;
}

bool CZelmarMouse::OnLeftUp(std::uint32_t uiUnused)
{
    COrvaneMouse::OnLeftUp(uiUnused);
    CZelmarCamera* pkCamera = GameCamera();
    if (pkCamera != nullptr && pkCamera->m_uiMode == COrvaneCamera::MODE_LEFT_BUTTON)
        pkCamera->m_uiMode = COrvaneCamera::MODE_IDLE;
    return true;
}

bool CZelmarMouse::OnMiddleDown(const NiVec2& kPosition)
{
    COrvaneMouse::OnMiddleDown(kPosition);
    if (CZelmarCamera* pkCamera = GameCamera())
        pkCamera->m_uiMode = COrvaneCamera::MODE_TURNING;
    return true;
}

bool CZelmarMouse::OnMiddleUp(std::uint32_t uiUnused)
{
    COrvaneMouse::OnMiddleUp(uiUnused);
    CZelmarCamera* pkCamera = GameCamera();
    if (pkCamera != nullptr && pkCamera->m_uiMode == COrvaneCamera::MODE_TURNING)
        pkCamera->m_uiMode = COrvaneCamera::MODE_IDLE;
    return true;
}

bool CZelmarMouse::OnWheel(std::int32_t iValue)
{
    COrvaneMouse::OnWheel(iValue);
    const float fAmount = static_cast<float>(iValue) * WHEEL_FACTOR;
    CZelmarCamera* pkCamera = GameCamera();
    if (fAmount != 0.0f && pkCamera != nullptr)
    {
        pkCamera->m_uiMode = COrvaneCamera::MODE_RAISING;
        pkCamera->m_kMove = NiVec3(0.0f, fAmount, 0.0f);
        pkCamera->m_ucHeld = 0;
    }
    m_kPosition = m_kPosition - m_kMovement;
    return true;
}
