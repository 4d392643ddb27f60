#include "game/shell/ui/COptionsPanel.h"

#include "framework/COrvaneWidget.h"
#include "game/shell/CGame.h"
#include "game/shell/ui/CInterface.h"
#include "game/shell/ui/PanelServices.h"

#include <string>

namespace
{
const NiColorRGBA WHITE(1.0f, 1.0f, 1.0f, 1.0f);
} // namespace

COptionsPanel::COptionsPanel() = default;

COptionsPanel::~COptionsPanel() = default;

void COptionsPanel::Create(const char* pcImageName, float fX, float fY, bool bScale)
{
    CBasePanel::Create(pcImageName, fX, fY, bScale);
    const std::string kImage = pcImageName != nullptr ? pcImageName : "";
    const std::string::size_type uiSlash = kImage.rfind('/');
    const std::string kFolder = uiSlash == std::string::npos ? std::string() : kImage.substr(0, uiSlash + 1);
    m_iMusicImage = AddStateImage(kFolder, MUSIC_OFF, WIDGET_MUSIC);
    m_iSoundImage = AddStateImage(kFolder, SOUND_OFF, WIDGET_SOUND);
    m_iDetailImage = AddStateImage(kFolder, DETAIL_LOW, WIDGET_DETAIL);
}

std::int32_t COptionsPanel::AddStateImage(const std::string& kFolder, const char* pcName, std::int32_t iButton)
{
    const COrvaneWidget* pkButton = GetWidget(iButton);
    if (pkButton == nullptr)
        return -1;
    CWidgetDesc kDesc;
    kDesc.m_kName = kFolder + pcName;
    kDesc.m_fX = pkButton->GetRect().m_fX;
    kDesc.m_fY = pkButton->GetRect().m_fY;
    const CGame* pkGame = panel::Game();
    kDesc.m_pkCamera = pkGame != nullptr ? pkGame->GetCamera() : nullptr;
    auto pkImage = std::make_unique<COrvaneImage>();
    pkImage->Create(kDesc);
    pkImage->SetVisible(false);
    AddWidget(std::move(pkImage));
    return GetWidgetCount() - 1;
}

void COptionsPanel::OpenFilePanel(std::int16_t sPanel)
{
    if (CGame* pkGame = panel::Game())
    {
        pkGame->SetSavedSpeed(pkGame->GetGameSpeed());
        pkGame->SetGameSpeed(0.0f);
        pkGame->SetPanelPause(true);
    }
    if (CInterface* pkInterface = panel::Interface())
        pkInterface->OpenPanel(sPanel);
}

void COptionsPanel::OnWidgetEvent(std::int32_t iIndex, std::int32_t iEvent)
{
    CGame* pkGame = panel::Game();
    COrvaneWidget* pkWidget = iIndex > 0 ? GetWidget(iIndex) : nullptr;
    if (pkWidget == nullptr)
        return;
    // The state images follow their settings on every pass, whatever the
    // pointer does.
    if (iIndex == m_iSoundImage || iIndex == m_iMusicImage || iIndex == m_iDetailImage)
    {
        bool bOff = false;
        if (pkGame != nullptr)
            bOff = iIndex == m_iSoundImage ? !pkGame->IsSoundOn()
                   : iIndex == m_iMusicImage ? !pkGame->IsMusicOn()
                                             : !pkGame->IsDetailOn();
        pkWidget->SetVisible(bOff);
        return;
    }
    if (iEvent == EVENT_HOVER)
        pkWidget->SetVisible(true);
    else if (iEvent == EVENT_NORMAL)
    {
        pkWidget->SetColor(WHITE);
        pkWidget->SetVisible(false);
    }
    else if (iEvent == EVENT_PRESSED && iIndex >= WIDGET_CLOSE && iIndex <= WIDGET_QUIT)
    {
        panel::ConsumeClick(true);
        CInterface* pkInterface = panel::Interface();
        switch (iIndex)
        {
        case WIDGET_CLOSE:
            if (pkInterface != nullptr)
                pkInterface->GetStack().RequestCloseCurrent();
            break;
        case WIDGET_LOAD: OpenFilePanel(CInterface::PANEL_LOAD); break;
        case WIDGET_SAVE: OpenFilePanel(CInterface::PANEL_SAVE); break;
        case WIDGET_DETAIL:
            if (pkGame != nullptr)
                pkGame->ToggleDetail();
            break;
        case WIDGET_SOUND:
            if (pkGame != nullptr)
                pkGame->ToggleSound();
            break;
        case WIDGET_MUSIC:
            if (pkGame != nullptr)
                pkGame->ToggleMusic();
            break;
        case WIDGET_QUIT:
            if (pkInterface != nullptr)
                pkInterface->ShowConfirmation(QUESTION_QUIT, [] {
                    if (CGame* pkRunning = panel::Game())
                        pkRunning->OnQuitConfirmed();
                });
            break;
        default: break;
        }
    }
    if (iIndex == WIDGET_TITLE)
        CBasePanel::OnWidgetEvent(iIndex, iEvent);
}
