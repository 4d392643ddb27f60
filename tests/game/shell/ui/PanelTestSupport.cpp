#include "tests/game/shell/ui/PanelTestSupport.h"

#include "engine/render/image/NiImageFileConverter.h"
#include "framework/COrvaneApplication.h"
#include "framework/COrvaneMouse.h"
#include "framework/COrvaneWidget.h"
#include "game/shell/CCamera.h"
#include "game/shell/CFrontEndScreens.h"
#include "game/shell/ui/CBuildPlacement.h"
#include "game/shell/ui/CInterface.h"
#include "game/simulation/objects/CDynamicObjectManager.h"
#include "game/simulation/objects/CPrisonStatistics.h"

#include <algorithm>
#include <filesystem>

bool PanelLocale::Drew(const std::string& kLine) const
{
    return std::find(m_kDrawn.begin(), m_kDrawn.end(), kLine) != m_kDrawn.end();
}

float PanelLocale::MeasureText(std::int32_t, const std::string& kText) const
{
    return 10.0f * static_cast<float>(kText.size());
}

void PanelLocale::DrawLine(std::int32_t iFont, float fX, float fY, const std::string& kText)
{
    m_kDrawn.push_back(std::to_string(iFont) + " " + std::to_string(static_cast<int>(fX)) + "," +
                       std::to_string(static_cast<int>(fY)) + " " + kText);
}

std::int32_t PanelLocale::DrawInBox(std::int32_t iFont, const COrvaneWidgetRect& kBox, const std::string& kText)
{
    m_kDrawn.push_back(std::to_string(iFont) + " box " + std::to_string(static_cast<int>(kBox.m_fX)) + "," +
                       std::to_string(static_cast<int>(kBox.m_fY)) + " " + kText);
    return m_iBoxLines;
}

void PanelTest::SetUp()
{
    EngineFrameworkTest::SetUp();
    CDynamicObjectManager::DestroyInstance();
    CBuildPlacement::Destroy();
    std::filesystem::copy(ORVANE_DEMO_DATA, Folder(), std::filesystem::copy_options::recursive);
    COrvaneApplication::LoadSettings();
    // The renderer's converter: the panels' pictures load.
    NiImageConverter::SetCurrent(new NiImageFileConverter);
    // The application holds the game: the canvases reach its mouse there.
    CGameFactory kFactory;
    ASSERT_TRUE(COrvaneApplication::Get()->Init(nullptr, kFactory, 1024, 768));
    m_pkGame = dynamic_cast<CGame*>(COrvaneApplication::Get()->GetGame());
    ASSERT_NE(m_pkGame, nullptr);
    auto pkLocale = std::make_unique<PanelLocale>();
    m_pkLocale = pkLocale.get();
    m_pkGame->SetLocale(std::move(pkLocale));
    ASSERT_TRUE(m_pkGame->Init("Orvane Game"));
    ASSERT_TRUE(m_pkLocale->Load());
    ASSERT_TRUE(m_pkGame->Start());
    // No renderer tells the size: the window's.
    m_pkGame->SetScreenSize(1024, 768);
    m_pkGame->GetFrontEndScreens()->m_bStartNewGame = false;
    m_pkGame->LoadLevelData();
    ASSERT_NE(CInterface::Get(), nullptr);
    ASSERT_NE(m_pkGame->GetStatistics(), nullptr);
    // The balance a first frame would total up.
    m_pkGame->GetStatistics()->UpdateTotals();
}

void PanelTest::TearDown()
{
    CBuildPlacement::Destroy();
    COrvaneApplication::DestroyInstance();
    m_pkGame = nullptr;
    COrvaneInterface::ReleaseActivePanel();
    COrvaneApplication::ResetSettings();
    CCamera::ResetCurrent();
    CGame::ResetStatics();
    CDynamicObjectManager::DestroyInstance();
    EngineFrameworkTest::TearDown();
}

CInterface& PanelTest::Ui()
{
    return *CInterface::Get();
}

void PanelTest::RebuildInterface(std::int32_t iWidth, std::int32_t iHeight)
{
    m_pkGame->SetScreenSize(iWidth, iHeight);
    CInterface* pkInterface = CInterface::Rebuild(m_pkGame->GetDataDocument(), true);
    ASSERT_NE(pkInterface, nullptr);
    ASSERT_TRUE(pkInterface->PrepareForLevel(m_pkGame->GetDataDocument()));
}

void PanelTest::Frame(float fX, float fY, bool bDown, float fFrameTime)
{
    COrvaneMouse* pkMouse = m_pkGame->GetMouse();
    (void)pkMouse->Update(NiVec2(fX, fY));
    // The window reports the button's changes only.
    if (bDown && !m_bHeld)
        (void)pkMouse->OnLeftDown(NiVec2(fX, fY));
    else if (!bDown && m_bHeld)
        (void)pkMouse->OnLeftUp(0);
    m_bHeld = bDown;
    Ui().SetInterfaceMode(fFrameTime);
    pkMouse->ClearMovement();
}

void PanelTest::WidgetCentre(const COrvaneCanvas& kCanvas, std::int32_t iWidget, float& fX, float& fY)
{
    const COrvaneWidget* pkWidget = kCanvas.GetWidget(iWidget);
    ASSERT_NE(pkWidget, nullptr) << "widget " << iWidget;
    const COrvaneWidgetRect& kRect = pkWidget->GetRect();
    fX = kCanvas.GetX() + kRect.m_fX + kRect.m_fWidth / 2.0f;
    fY = kCanvas.GetY() + kRect.m_fY + kRect.m_fHeight / 2.0f;
}

void PanelTest::Click(const COrvaneCanvas& kCanvas, std::int32_t iWidget)
{
    float fX = 0.0f;
    float fY = 0.0f;
    WidgetCentre(kCanvas, iWidget, fX, fY);
    // The pointer rests on it first, as the player's would (a stack that
    // just changed hands the mouse to its top canvas alone for a frame).
    Frame(fX, fY, false);
    Frame(fX, fY, false);
    Frame(fX, fY, true);
    Frame(fX, fY, false);
}
