#include "game/shell/ui/CFloorChangePanel.h"

#include "framework/COrvaneWidget.h"
#include "game/shell/CGame.h"
#include "game/shell/CLocale.h"
#include "game/shell/ui/CBuildPlacement.h"
#include "game/shell/ui/CInterface.h"
#include "game/shell/ui/PanelServices.h"
#include "game/simulation/objects/CWorld.h"
#include "game/simulation/objects/CWorldObject.h"

#include <string>

namespace
{
const NiColorRGBA WHITE(1.0f, 1.0f, 1.0f, 1.0f);
const NiColorRGBA GREEN(0.0f, 1.0f, 0.0f, 1.0f);

void UpdateWorldScene(CGame& kGame)
{
    if (CWorld* pkWorld = kGame.GetWorld())
        pkWorld->UpdateScene(0.0f);
}
} // namespace

void CFloorChangePanel::Draw()
{
    COrvaneCanvas::Draw();
    CLocale* pkLocale = panel::Locale();
    const CGame* pkGame = panel::Game();
    const CWorldObject* pkBuilding = pkGame != nullptr ? pkGame->GetSelectedBuilding() : nullptr;
    if (pkLocale == nullptr || pkBuilding == nullptr)
        return;
    pkLocale->BeginFont(1);
    pkLocale->DrawTextAt(1, m_fX + 51.0f, m_fY + 32.0f, std::to_string(pkBuilding->GetCurrentFloor()));
    pkLocale->FlushFont(1);
}

void CFloorChangePanel::OnWidgetEvent(std::int32_t iIndex, std::int32_t iEvent)
{
    COrvaneWidget* pkWidget = iIndex >= 1 && iIndex < m_iWidgetCount ? GetWidget(iIndex) : nullptr;
    if (pkWidget == nullptr)
        return;
    if (iEvent == EVENT_HOVER || iEvent == EVENT_NORMAL)
    {
        pkWidget->SetColor(WHITE);
        pkWidget->SetVisible(iEvent == EVENT_HOVER);
    }
    else if (iEvent == EVENT_PRESSED)
    {
        panel::ConsumeClick(true);
        pkWidget->SetColor(GREEN);
        pkWidget->SetVisible(true);
        CGame* pkGame = panel::Game();
        CWorldObject* pkBuilding = pkGame != nullptr ? pkGame->GetSelectedBuilding() : nullptr;
        switch (iIndex)
        {
        case WIDGET_UP:
            if (pkBuilding != nullptr)
            {
                (void)pkBuilding->GoUpFloor(true);
                UpdateWorldScene(*pkGame);
            }
            break;
        case WIDGET_DOWN:
            if (pkBuilding != nullptr)
            {
                (void)pkBuilding->GoDownFloor();
                UpdateWorldScene(*pkGame);
            }
            break;
        case WIDGET_LEAVE:
            if (pkGame != nullptr)
                pkGame->ActOnSelectedBuilding();
            break;
        case WIDGET_NEXT_VIEW:
            if (pkGame == nullptr)
                break;
            if (const CBuildPlacement* pkPlacement = CBuildPlacement::GetExisting();
                pkPlacement != nullptr && pkPlacement->IsPlacing())
            {
                pkGame->ChangeFloor(0);
                if (CInterface* pkInterface = panel::Interface())
                    pkInterface->CloseAllPanels();
            }
            pkGame->ChangeFloor(-1);
            break;
        default: break;
        }
    }
    // A held button acts once.
    m_ucPressed = 0;
    m_iPendingWidget = -1;
    m_iPendingEvent = EVENT_NORMAL;
}
