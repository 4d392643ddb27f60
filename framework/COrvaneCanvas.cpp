#include "framework/COrvaneCanvas.h"

#include "framework/COrvaneApplication.h"
#include "framework/COrvaneCanvasLayout.h"
#include "framework/COrvaneGame.h"
#include "framework/COrvaneInterface.h"
#include "framework/COrvaneMouse.h"
#include "framework/COrvaneWidget.h"

#include <algorithm>

namespace
{
COrvaneGame* Game()
{
    COrvaneApplication* pkApp = COrvaneApplication::GetExisting();
    return pkApp != nullptr ? pkApp->GetGame() : nullptr;
}

const NiColorRGBA WHITE(1.0f, 1.0f, 1.0f, 1.0f);
const NiColorRGBA GREEN(0.0f, 1.0f, 0.0f, 1.0f);
} // namespace

COrvaneCanvas::COrvaneCanvas() : m_pkLayout(std::make_unique<COrvaneCanvasLayout>()) {}

COrvaneCanvas::~COrvaneCanvas()
{
    COrvaneCanvas::Destroy();
}

void COrvaneCanvas::Destroy()
{
    m_kWidgets.clear();
    m_kHotAreas.clear();
    COrvaneCanvas::Reset();
}

void COrvaneCanvas::Reset()
{
    m_iPendingEvent = EVENT_NORMAL;
    m_iPendingWidget = -1;
    m_fX = m_fY = 0.0f;
    m_ucPressed = 0;
    // Emptied by deleting: nothing else owns them.
    m_kWidgets.clear();
    m_iWidgetCount = 0;
    m_sHover = -1;
    m_sTextList = -1;
}

void COrvaneCanvas::OnWidgetEvent(std::int32_t iIndex, std::int32_t iEvent)
{
    if (iIndex < 1 || iIndex >= m_iWidgetCount || iIndex >= static_cast<std::int32_t>(m_kWidgets.size()))
        return;
    COrvaneWidget& kWidget = *m_kWidgets[static_cast<std::size_t>(iIndex)];
    switch (iEvent)
    {
    case EVENT_HOVER:
        kWidget.SetColor(WHITE);
        kWidget.SetVisible(true);
        break;
    case EVENT_NORMAL:
        kWidget.SetColor(WHITE);
        kWidget.SetVisible(false);
        break;
    case EVENT_PRESSED:
        kWidget.SetColor(GREEN);
        kWidget.SetVisible(true);
        break;
    default: break;
    }
}

void COrvaneCanvas::SetWidgetColor(const NiColorRGBA& kColor)
{
    for (const std::unique_ptr<COrvaneWidget>& pkWidget : m_kWidgets)
        pkWidget->SetColor(kColor);
}

void COrvaneCanvas::SetPosition(float fX, float fY, bool bAbsolute)
{
    if (bAbsolute)
    {
        m_fX = fX;
        m_fY = fY;
    }
    else
    {
        m_fX += fX;
        m_fY += fY;
    }
}

std::unique_ptr<COrvaneWidget> COrvaneCanvas::RemoveWidget(COrvaneWidget* pkWidget)
{
    auto it = std::find_if(m_kWidgets.begin(), m_kWidgets.end(),
                           [pkWidget](const std::unique_ptr<COrvaneWidget>& p) { return p.get() == pkWidget; });
    if (it == m_kWidgets.end())
        return nullptr;
    std::unique_ptr<COrvaneWidget> pkTaken = std::move(*it);
    m_kWidgets.erase(it);
    m_iWidgetCount = static_cast<std::int32_t>(m_kWidgets.size());
    return pkTaken;
}

void COrvaneCanvas::AddWidget(std::unique_ptr<COrvaneWidget> pkWidget)
{
    if (!pkWidget)
        return;
    m_kWidgets.push_back(std::move(pkWidget));
    m_iWidgetCount = static_cast<std::int32_t>(m_kWidgets.size());
}

void COrvaneCanvas::AddHotArea(std::unique_ptr<COrvaneWidget> pkArea)
{
    if (pkArea)
        m_kHotAreas.push_back(std::move(pkArea));
}

COrvaneWidget* COrvaneCanvas::GetWidget(std::int32_t iIndex) const
{
    return iIndex >= 0 && iIndex < static_cast<std::int32_t>(m_kWidgets.size())
               ? m_kWidgets[static_cast<std::size_t>(iIndex)].get()
               : nullptr;
}

COrvaneWidget* COrvaneCanvas::GetHotArea(std::int32_t iIndex) const
{
    return iIndex >= 0 && iIndex < static_cast<std::int32_t>(m_kHotAreas.size())
               ? m_kHotAreas[static_cast<std::size_t>(iIndex)].get()
               : nullptr;
}

void COrvaneCanvas::SetWidgetTextId(std::int32_t iIndex, std::int16_t sId)
{
    if (iIndex >= 0 && iIndex < m_iWidgetCount && sId >= 0)
        m_kWidgets[static_cast<std::size_t>(iIndex)]->SetTextId(sId);
}

const COrvaneWidgetRect* COrvaneCanvas::GetWidgetRect(std::int32_t iIndex) const
{
    const COrvaneWidget* pkWidget = iIndex < m_iWidgetCount ? GetWidget(iIndex) : nullptr;
    return pkWidget != nullptr ? &pkWidget->GetRect() : nullptr;
}

void COrvaneCanvas::UpdateHover()
{
    COrvaneGame* pkGame = Game();
    COrvaneMouse* pkMouse = pkGame != nullptr ? pkGame->GetMouse() : nullptr;
    if (pkMouse == nullptr)
        return;
    const NiVec2 kPoint(pkMouse->GetPosition().x - m_fX, pkMouse->GetPosition().y - m_fY);
    m_sHover = -1;
    for (std::size_t i = 0; i < m_kHotAreas.size(); ++i)
    {
        if (m_kHotAreas[i]->HitTest(&kPoint))
        {
            m_sHover = static_cast<std::int16_t>(i);
            pkMouse->SetOverInterface(true);
            break;
        }
    }
    const bool bPressedNow = pkMouse->GetLeft() == COrvaneMouse::BUTTON_PRESSED;
    if (!bPressedNow)
    {
        m_ucPressed = 0;
        m_iPendingWidget = -1;
        m_iPendingEvent = EVENT_NORMAL;
    }
    for (std::int32_t i = 0; i < static_cast<std::int32_t>(m_kWidgets.size()); ++i)
    {
        COrvaneWidget& kWidget = *m_kWidgets[static_cast<std::size_t>(i)];
        kWidget.UpdateText();
        const bool bHit = kWidget.HitTest(&kPoint);
        if (i == 0)
        {
            if (bHit)
                pkMouse->SetOverInterface(true);
            continue;
        }
        if (!bHit)
        {
            OnWidgetEvent(i, EVENT_NORMAL);
            continue;
        }
        pkMouse->SetOverInterface(true);
        if (m_ucPressed == 0 && bPressedNow)
        {
            m_iPendingWidget = i;
            m_iPendingEvent = EVENT_PRESSED;
            pkGame->OnWidgetPressed();
            m_ucPressed = 1;
            break;
        }
        OnWidgetEvent(i, EVENT_HOVER);
    }
    // While the press holds, its event goes out at the end of every pass.
    if (m_ucPressed != 0)
        OnWidgetEvent(m_iPendingWidget, m_iPendingEvent);
}

bool COrvaneCanvas::Covers(const NiVec2& kPoint) const
{
    const NiVec2 kLocal(kPoint.x - m_fX, kPoint.y - m_fY);
    const auto Hit = [&kLocal](const std::unique_ptr<COrvaneWidget>& pkWidget) { return pkWidget->HitTest(&kLocal); };
    return std::any_of(m_kHotAreas.begin(), m_kHotAreas.end(), Hit) ||
           std::any_of(m_kWidgets.begin(), m_kWidgets.end(), Hit);
}

void COrvaneCanvas::Draw()
{
    for (const std::unique_ptr<COrvaneWidget>& pkWidget : m_kWidgets)
        pkWidget->DrawIfVisible(m_fX, m_fY);
    if (m_sTextList >= 0 && m_sHover >= 0)
        ShowHoverText();
}

void COrvaneCanvas::ShowHoverText()
{
    COrvaneInterface* pkInterface = COrvaneInterface::GetActivePanel();
    if (pkInterface != nullptr && pkInterface->CanTakeInput(this))
        pkInterface->SetHoverText(m_sTextList, m_sHover);
}

void COrvaneCanvas::Create(const char* pcImageName, float fX, float fY, bool bScale)
{
    m_fX = fX;
    m_fY = fY;
    m_pkLayout->Build(pcImageName != nullptr ? pcImageName : "", fX, fY, bScale, m_kWidgets, m_kHotAreas, m_sTextList);
    m_iWidgetCount = static_cast<std::int32_t>(m_kWidgets.size());
}

// ---- The canvas stack ----

void COrvaneStack<COrvaneCanvas*>::Clear()
{
    m_kModal.clear();
    m_kModeless.clear();
}

bool COrvaneStack<COrvaneCanvas*>::IsTopModal(const COrvaneCanvas* pkCanvas) const
{
    return !m_kModal.empty() && m_kModal.front() == pkCanvas;
}

void COrvaneStack<COrvaneCanvas*>::RemoveModeless(COrvaneCanvas* pkCanvas)
{
    m_kModeless.remove(pkCanvas);
}

bool COrvaneStack<COrvaneCanvas*>::ClearRequests()
{
    m_ucCloseCurrent = 0;
    m_ucCloseTwo = 0;
    m_ucChanged = 0;
    return false;
}

void COrvaneStack<COrvaneCanvas*>::SetColorAll(const NiColorRGBA& kColor)
{
    for (COrvaneCanvas* pkCanvas : m_kModeless)
        pkCanvas->SetWidgetColor(kColor);
}

void COrvaneStack<COrvaneCanvas*>::Toggle(COrvaneCanvas* pkCanvas, bool bModal)
{
    m_ucChanged = 1;
    const std::list<COrvaneCanvas*>& kList = bModal ? m_kModal : m_kModeless;
    if (std::find(kList.begin(), kList.end(), pkCanvas) != kList.end())
        Remove(pkCanvas);
    else
        Push(pkCanvas, bModal);
}

void COrvaneStack<COrvaneCanvas*>::Push(COrvaneCanvas* pkCanvas, bool bModal)
{
    m_ucChanged = 1;
    (bModal ? m_kModal : m_kModeless).push_front(pkCanvas);
}

void COrvaneStack<COrvaneCanvas*>::Remove(COrvaneCanvas* pkCanvas)
{
    m_ucChanged = 1;
    if (!m_kModal.empty() && m_kModal.front() == pkCanvas)
        m_kModal.pop_front();
    else
        RemoveModeless(pkCanvas);
}

bool COrvaneStack<COrvaneCanvas*>::Contains(const COrvaneCanvas* pkCanvas, bool bModal) const
{
    if (bModal && std::find(m_kModal.begin(), m_kModal.end(), pkCanvas) != m_kModal.end())
        return true;
    return std::find(m_kModeless.begin(), m_kModeless.end(), pkCanvas) != m_kModeless.end();
}

void COrvaneStack<COrvaneCanvas*>::ProcessInput()
{
    if (!m_kModal.empty())
    {
        m_kModal.front()->UpdateHover();
        if (m_ucCloseCurrent != 0)
        {
            if (!m_kModal.empty())
                Remove(m_kModal.front());
            m_ucCloseCurrent = 0;
        }
        else if (m_ucCloseTwo != 0)
        {
            // Two canvases at most, and never the front of an empty list.
            for (int i = 0; i < 2 && !m_kModal.empty(); ++i)
                Remove(m_kModal.front());
            m_ucCloseTwo = 0;
        }
        return;
    }
    // A snapshot: a canvas's handling may change the list under the walk.
    const std::vector<COrvaneCanvas*> kWalk(m_kModeless.begin(), m_kModeless.end());
    for (COrvaneCanvas* pkCanvas : kWalk)
    {
        pkCanvas->UpdateHover();
        if (m_ucCloseCurrent != 0)
        {
            Remove(pkCanvas);
            m_ucCloseCurrent = 0;
            return;
        }
        if (m_ucChanged != 0)
        {
            m_ucChanged = 0;
            return;
        }
    }
}

bool COrvaneStack<COrvaneCanvas*>::Covers(const NiVec2& kPoint) const
{
    if (!m_kModal.empty())
        return m_kModal.front()->Covers(kPoint);
    return std::any_of(m_kModeless.begin(), m_kModeless.end(),
                       [&kPoint](const COrvaneCanvas* pkCanvas) { return pkCanvas->Covers(kPoint); });
}

void COrvaneStack<COrvaneCanvas*>::Draw()
{
    for (auto it = m_kModeless.rbegin(); it != m_kModeless.rend(); ++it)
        (*it)->Draw();
    for (auto it = m_kModal.rbegin(); it != m_kModal.rend(); ++it)
        (*it)->Draw();
}
