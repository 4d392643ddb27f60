#include "game/shell/ui/PanelServices.h"

#include "framework/COrvaneMouse.h"
#include "framework/COrvaneWidget.h"
#include "game/shell/CGame.h"
#include "game/shell/CLocale.h"
#include "game/shell/ui/CInterface.h"
#include "game/simulation/characters/CSpawnManager.h"

namespace panel
{
CGame* Game()
{
    return CGame::Get();
}

CLocale* Locale()
{
    CGame* pkGame = Game();
    return pkGame != nullptr ? pkGame->GetGameLocale() : nullptr;
}

CPrisonStatistics* Statistics()
{
    CGame* pkGame = Game();
    return pkGame != nullptr ? pkGame->GetStatistics() : nullptr;
}

COrvaneMouse* Mouse()
{
    CGame* pkGame = Game();
    return pkGame != nullptr ? pkGame->GetMouse() : nullptr;
}

CInterface* Interface()
{
    return CInterface::Get();
}

float ScreenWidth()
{
    CGame* pkGame = Game();
    return pkGame != nullptr && pkGame->GetScreenWidth() > 0 ? static_cast<float>(pkGame->GetScreenWidth()) : 1024.0f;
}

float ScreenHeight()
{
    CGame* pkGame = Game();
    return pkGame != nullptr && pkGame->GetScreenHeight() > 0 ? static_cast<float>(pkGame->GetScreenHeight()) : 768.0f;
}

void ConsumeClick(bool bReleaseButton)
{
    if (CInterface* pkInterface = Interface())
    {
        pkInterface->FinishClick(bReleaseButton);
        return;
    }
    if (COrvaneMouse* pkMouse = bReleaseButton ? Mouse() : nullptr)
        pkMouse->OnLeftUp(0);
}

void CancelCarry()
{
    CGame* pkGame = Game();
    if (CSpawnManager* pkSpawn = pkGame != nullptr ? pkGame->GetSpawnManager() : nullptr)
        pkSpawn->CancelCarry();
}

void PlaySample(std::int32_t iSample)
{
    if (CGame* pkGame = Game())
        pkGame->PlaySample(iSample, 255, false);
}

std::unique_ptr<COrvaneImage> MakeImage(const std::string& kPath, float fLength)
{
    CWidgetDesc kDesc;
    kDesc.m_kName = kPath;
    kDesc.m_fLength = fLength;
    CGame* pkGame = Game();
    kDesc.m_pkCamera = pkGame != nullptr ? pkGame->GetCamera() : nullptr;
    std::unique_ptr<COrvaneImage> pkImage = fLength > 0.0f ? std::make_unique<COrvaneBar>() : std::make_unique<COrvaneImage>();
    pkImage->Create(kDesc);
    return pkImage;
}

std::string Trimmed(const std::string& kValue)
{
    std::string kOut = kValue;
    while (!kOut.empty() && (kOut.back() == '\n' || kOut.back() == '\r'))
        kOut.pop_back();
    return kOut;
}
} // namespace panel
