// The game object's full-screen pictures: the timed start-up screens, the
// loading screen and the security-screen overlay.
#include "game/shell/CGame.h"

#include "game/shell/CCamera.h"
#include "game/shell/CConditions.h"
#include "game/shell/CLocale.h"
#include "game/shell/CSecurityScreen.h"
#include "game/simulation/objects/CWorldObject.h"

#include "framework/COrvaneCamera.h"
#include "framework/COrvaneWidget.h"
#include "platform/os/OsDefs.h"
#include "platform/os/OsFiles.h"
#include "platform/os/OsTime.h"
#include "platform/os/OsWindow.h"

#include <algorithm>
#include <cstdio>
#include <memory>

namespace
{
// A picture counts as there when its file resolves and holds something.
bool PictureReadable(const char* pcPicture)
{
    if (pcPicture == nullptr || *pcPicture == '\0')
        return false;
    std::FILE* pkFile = os::OpenFile(pcPicture, "rb");
    if (pkFile == nullptr)
        return false;
    const bool bHasByte = std::fgetc(pkFile) != EOF;
    std::fclose(pkFile);
    return bHasByte;
}

bool EndsTheWait(std::uint32_t uiMessage)
{
    return uiMessage == os::WM_KEYDOWN || uiMessage == os::WM_LBUTTONDOWN ||
           uiMessage == os::WM_RBUTTONDOWN || uiMessage == os::WM_MBUTTONDOWN;
}
} // namespace

bool CGame::DrawScreenPicture(const char* pcPicture, bool bLoadingText)
{
    const bool bReadable = PictureReadable(pcPicture);
    // The loading frame shows its text even without its picture.
    if (!bReadable && !bLoadingText)
        return false;
    std::unique_ptr<COrvaneImage> pkImage;
    if (bReadable)
    {
        pkImage = std::make_unique<COrvaneImage>();
        CWidgetDesc kDesc;
        kDesc.m_kName = pcPicture;
        kDesc.m_fWidth = 1024.0f;
        kDesc.m_fHeight = 768.0f;
        kDesc.m_pkCamera = COrvaneGame::GetCamera();
        kDesc.m_ucScaleToScreen = 1;
        pkImage->Create(kDesc);
    }
    if (BeginCameraFrame())
    {
        if (pkImage != nullptr)
            pkImage->Draw(0.0f, 0.0f);
        CLocale* pkLocale = GetGameLocale();
        if (bLoadingText && pkLocale != nullptr)
        {
            pkLocale->BeginFont(LOADING_FONT);
            (void)pkLocale->DrawText(LOADING_FONT, pkLocale->FindList(CConditions::MESSAGES), LOADING_MESSAGE, 0.0f,
                                     static_cast<float>(GetScreenHeight()) - 128.0f, CLocale::ALIGN_CENTRE, nullptr);
            pkLocale->FlushFont(LOADING_FONT);
        }
        EndCameraFrame();
        (void)COrvaneGame::GetCamera()->DisplayFrame();
    }
    return bReadable;
}

bool CGame::WaitOnScreen(float fSeconds)
{
    const std::uint32_t uiStart = os::GetTickCount();
    const auto uiWait = static_cast<std::uint32_t>(std::max(fSeconds, 0.0f) * 1000.0f);
    for (;;)
    {
        // Every pass of the pump: the window stays alive, the music chains,
        // and a key or a click lets the player on at once.
        os::Message kMessage{};
        while (os::PeekMessage(kMessage, nullptr, 0, 0, os::PM_REMOVE))
        {
            if (kMessage.message == os::WM_QUIT)
            {
                // The main loop ends the program: hand the quit on.
                os::PostQuitMessage(static_cast<int>(kMessage.wParam));
                return false;
            }
            if (EndsTheWait(kMessage.message))
                return false;
            os::TranslateMessage(kMessage);
            os::DispatchMessage(kMessage);
        }
        const std::uint32_t uiPassed = os::GetTickCount() - uiStart;
        if (uiPassed >= uiWait)
            return true;
        (void)os::WaitMessage(std::min<std::uint32_t>(uiWait - uiPassed, 10));
    }
}

void CGame::ShowTimedScreen(const char* pcPicture, float fSeconds)
{
    m_kShownScreens.push_back({pcPicture != nullptr ? pcPicture : "", fSeconds});
    // A picture that is not there is neither shown nor waited for.
    if (!DrawScreenPicture(pcPicture))
        return;
    (void)WaitOnScreen(fSeconds);
}

void CGame::ShowLoadingScreen()
{
    m_kShownScreens.push_back({LOADING_SCREEN, 0.0f});
    (void)DrawScreenPicture(LOADING_SCREEN, true);
}

void CGame::DrawSecurityScreen()
{
    if (m_pkSecurityScreen == nullptr || m_pkSelectedBuilding == nullptr)
        return;
    CSecurityScreenView kView;
    kView.m_fFrameTime = m_fFrameTime;
    kView.m_fScreenWidth = static_cast<float>(GetScreenWidth());
    kView.m_fScreenHeight = static_cast<float>(GetScreenHeight());
    kView.m_iGridNumber = m_pkSelectedBuilding->GetFirstGridNumber();
    NiVec3 kOrigin;
    float fWidth = 0.0f, fDepth = 0.0f;
    if (const CCamera* pkCamera = GetGameCamera();
        pkCamera != nullptr && CCamera::GetBuildingCorner(1, kOrigin) && CCamera::GetBuildingExtents(fWidth, fDepth))
    {
        const NiVec3 kAt = pkCamera->GetPosition();
        kView.m_cCorner = CSecurityScreen::CornerLetter(kAt.x, kAt.z, kOrigin.x, kOrigin.z, fWidth, fDepth);
    }
    m_kClock.FormatTime(kView.m_kTime, kView.m_kYear);
    m_pkSecurityScreen->Draw(kView, GetGameLocale());
}
