#include "game/shell/ui/CBasePanel.h"

#include "framework/COrvaneMouse.h"
#include "framework/COrvaneWidget.h"
#include "game/shell/ui/CInterface.h"
#include "game/shell/ui/CMainPanel.h"
#include "game/shell/ui/PanelServices.h"

#include <algorithm>

namespace
{
const NiColorRGBA WHITE(1.0f, 1.0f, 1.0f, 1.0f);
const NiColorRGBA GREEN(0.0f, 1.0f, 0.0f, 1.0f);

float BackgroundHeight(const COrvaneCanvas& kCanvas)
{
    const COrvaneWidget* pkBackground = kCanvas.GetWidget(0);
    return pkBackground != nullptr ? pkBackground->GetRect().m_fHeight : 0.0f;
}

float BackgroundWidth(const COrvaneCanvas& kCanvas)
{
    const COrvaneWidget* pkBackground = kCanvas.GetWidget(0);
    return pkBackground != nullptr ? pkBackground->GetRect().m_fWidth : 0.0f;
}
} // namespace

CBasePanel::CBasePanel()
{
    CBasePanel::Reset();
}

CBasePanel::~CBasePanel()
{
    m_kChildren.clear();
}

void CBasePanel::Destroy()
{
    m_kChildren.clear();
    COrvaneCanvas::Destroy();
    CBasePanel::Reset();
}

void CBasePanel::Reset()
{
    m_ucChildrenInput = 1;
}

void CBasePanel::OnWidgetEvent(std::int32_t iIndex, std::int32_t iEvent)
{
    COrvaneWidget* pkWidget = iIndex > 0 && iIndex < m_iWidgetCount ? GetWidget(iIndex) : nullptr;
    if (pkWidget == nullptr)
        return;
    switch (iEvent)
    {
    case EVENT_HOVER:
        pkWidget->SetColor(WHITE);
        pkWidget->SetVisible(true);
        m_ucChildrenInput = 0;
        m_bScanHover = true;
        break;
    case EVENT_NORMAL:
        pkWidget->SetColor(WHITE);
        pkWidget->SetVisible(false);
        // In a scan the widgets after the hovered one must not open the
        // children again: the scan decides at its end.
        if (!m_bScanning)
            m_ucChildrenInput = 1;
        break;
    case EVENT_PRESSED:
        m_ucChildrenInput = 0;
        m_bScanHover = true;
        if (iIndex == WIDGET_TITLE)
        {
            pkWidget->SetColor(GREEN);
            pkWidget->SetVisible(true);
            panel::ConsumeClick(false);
            Drag();
        }
        else if (iIndex == WIDGET_CLOSE)
        {
            Close();
            panel::ConsumeClick(true);
            if (CInterface* pkInterface = panel::Interface())
                pkInterface->GetStack().Remove(this);
        }
        break;
    default: break;
    }
}

void CBasePanel::Drag()
{
    const COrvaneMouse* pkMouse = panel::Mouse();
    if (pkMouse == nullptr)
        return;
    float fDx = pkMouse->GetMovement().x;
    float fDy = pkMouse->GetMovement().y;
    if (m_fX + fDx < 0.0f)
        fDx = -m_fX;
    if (m_fY + fDy < 0.0f)
        fDy = -m_fY;
    const float fRight = panel::ScreenWidth() - BackgroundWidth(*this);
    if (m_fX + fDx > fRight)
        fDx = fRight - m_fX;
    float fBottom = panel::ScreenHeight() - BackgroundHeight(*this);
    if (const CInterface* pkInterface = panel::Interface(); pkInterface && pkInterface->GetMainPanel())
        fBottom -= BackgroundHeight(*pkInterface->GetMainPanel());
    if (!m_kChildren.empty())
        fBottom -= BackgroundHeight(*m_kChildren.back());
    // Down over the main panel: no vertical move on this frame.
    if (m_fY + fDy > fBottom)
        fDy = 0.0f;
    SetPosition(fDx, fDy, false);
    for (const std::unique_ptr<CChildPanel>& pkChild : m_kChildren)
        pkChild->SetPosition(fDx, fDy, false);
}

bool CBasePanel::OwnButtonAt(const NiVec2& kPoint) const
{
    const NiVec2 kLocal(kPoint.x - m_fX, kPoint.y - m_fY);
    for (std::int32_t i = 1; i < static_cast<std::int32_t>(m_kWidgets.size()); ++i)
        if (m_kWidgets[static_cast<std::size_t>(i)]->HitTest(&kLocal))
            return true;
    return false;
}

void CBasePanel::UpdateHover()
{
    // The pointer left the own buttons since the last pass (it may have come
    // straight onto a child with a press in this very frame): the children
    // have it again. A press held on an own button keeps them out.
    if (const COrvaneMouse* pkMouse = panel::Mouse();
        m_ucChildrenInput == 0 && m_ucPressed == 0 && pkMouse != nullptr && !OwnButtonAt(pkMouse->GetPosition()))
        m_ucChildrenInput = 1;
    if (m_ucChildrenInput != 0)
    {
        for (const std::unique_ptr<CChildPanel>& pkChild : m_kChildren)
            if (pkChild->IsActive())
                pkChild->UpdateHover();
    }
    m_bScanning = true;
    m_bScanHover = false;
    COrvaneCanvas::UpdateHover();
    m_bScanning = false;
    m_ucChildrenInput = m_bScanHover ? 0 : 1;
}

bool CBasePanel::Covers(const NiVec2& kPoint) const
{
    // A child may reach past the panel's own picture (the build panel's
    // page hangs below its icons).
    if (COrvaneCanvas::Covers(kPoint))
        return true;
    return std::any_of(m_kChildren.begin(), m_kChildren.end(), [&kPoint](const std::unique_ptr<CChildPanel>& pkChild) {
        return pkChild->IsActive() && pkChild->Covers(kPoint);
    });
}

void CBasePanel::Draw()
{
    COrvaneCanvas::Draw();
    for (const std::unique_ptr<CChildPanel>& pkChild : m_kChildren)
        if (pkChild->IsActive())
            pkChild->Draw();
}

bool CBasePanel::Populate(COrvaneTagTree* pkData, bool bRecreate)
{
    (void)bRecreate;
    for (const std::unique_ptr<CChildPanel>& pkChild : m_kChildren)
        (void)pkChild->Populate(pkData);
    return true;
}

void CBasePanel::OnChildEvent(std::int32_t iChild, std::int32_t iValue, std::int32_t iEvent)
{
    (void)iChild;
    (void)iValue;
    (void)iEvent;
}

CChildPanel* CBasePanel::AttachChild(std::unique_ptr<CChildPanel> pkChild)
{
    if (!pkChild)
        return nullptr;
    pkChild->Attach(this, static_cast<std::int32_t>(m_kChildren.size()));
    m_kChildren.push_back(std::move(pkChild));
    return m_kChildren.back().get();
}

void CBasePanel::DeleteChildren()
{
    m_kChildren.clear();
}

CChildPanel* CBasePanel::GetChild(std::int32_t iIndex) const
{
    return iIndex >= 0 && iIndex < GetChildCount() ? m_kChildren[static_cast<std::size_t>(iIndex)].get() : nullptr;
}

// ---- Child panels ----

CChildPanel::CChildPanel()
{
    CChildPanel::Reset();
}

CChildPanel::~CChildPanel() = default;

void CChildPanel::Destroy()
{
    COrvaneCanvas::Destroy();
    CChildPanel::Reset();
}

void CChildPanel::Reset()
{
    m_pkParent = nullptr;
    m_iChildIndex = 0;
    m_ucActive = 0;
}

void CChildPanel::OnParentEvent(CBasePanel* pkParent, std::int32_t iValue, std::int32_t iEvent)
{
    (void)pkParent;
    (void)iValue;
    (void)iEvent;
}

bool CChildPanel::Populate(COrvaneTagTree* pkData)
{
    (void)pkData;
    return true;
}

void CChildPanel::Attach(CBasePanel* pkParent, std::int32_t iIndex)
{
    m_pkParent = pkParent;
    m_iChildIndex = iIndex;
}
