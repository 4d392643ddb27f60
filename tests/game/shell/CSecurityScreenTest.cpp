// The security-screen overlay on its own (texts, scan line, flicker) and in
// a started game (created with the level, gone with it), and the loading
// frame's text.

#include "game/shell/CSecurityScreen.h"

#include "engine/core/NiRandom.h"
#include "framework/COrvaneApplication.h"
#include "framework/COrvaneRendererFactory.h"
#include "game/shell/CGame.h"
#include "game/shell/CLocale.h"
#include "platform/os/OsDialog.h"
#include "tests/framework/FrameworkTestSupport.h"
#include "tests/framework/TestRenderer.h"
#include "tests/game/shell/GameTestFiles.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <string>
#include <vector>

namespace
{
// Every string drawn, with its font and place; every character 10 wide.
class RecordingLocale : public CLocale
{
public:
    std::vector<std::string> m_kDrawn;

protected:
    void DrawLine(std::int32_t iFont, float fX, float fY, const std::string& kText) override
    {
        m_kDrawn.push_back(std::to_string(iFont) + " " + std::to_string(static_cast<int>(fX)) + "," +
                           std::to_string(static_cast<int>(fY)) + " " + kText);
    }
    float ScreenWidth() const override { return 1000.0f; }
    float MeasureText(std::int32_t, const std::string& kText) const override
    {
        return 10.0f * static_cast<float>(kText.size());
    }
};

// "InGameMessages" entries 0..70 read "m<n>"; entry 66 is four letters.
std::string LanguageFile()
{
    std::string kText = "<LANGUAGE>\r\n<InGameMessages>\r\n";
    for (int i = 0; i <= 70; ++i)
        kText += "<" + std::to_string(i) + ">\r\n" + (i == 66 ? std::string("cam:") : "m" + std::to_string(i)) +
                 "\r\n</" + std::to_string(i) + ">\r\n";
    return kText + "</InGameMessages>\r\n</LANGUAGE>\r\n";
}

class CSecurityScreenTest : public FrameworkTest
{
protected:
    void SetUp() override
    {
        FrameworkTest::SetUp();
        WriteFileBytes("language.xml", LanguageFile());
        ASSERT_TRUE(m_kLocale.Load());
        NiSeedRandom(41);
    }

    RecordingLocale m_kLocale;
};

TEST_F(CSecurityScreenTest, TheLetterShowsOnlyOnTheFourExactCorners)
{
    const float fX = 12.5f, fZ = -40.25f, fWidth = 30.0f, fDepth = 22.5f;
    EXPECT_EQ(CSecurityScreen::CornerLetter(fX, fZ, fX, fZ, fWidth, fDepth), 'A');
    EXPECT_EQ(CSecurityScreen::CornerLetter(fX, fZ - fDepth, fX, fZ, fWidth, fDepth), 'B');
    EXPECT_EQ(CSecurityScreen::CornerLetter(fX + fWidth, fZ - fDepth, fX, fZ, fWidth, fDepth), 'C');
    EXPECT_EQ(CSecurityScreen::CornerLetter(fX + fWidth, fZ, fX, fZ, fWidth, fDepth), 'D');
    EXPECT_EQ(CSecurityScreen::CornerLetter(fX + 0.001f, fZ, fX, fZ, fWidth, fDepth), 0);
    EXPECT_EQ(CSecurityScreen::CornerLetter(fX + fWidth / 2.0f, fZ - fDepth / 2.0f, fX, fZ, fWidth, fDepth), 0);
    EXPECT_EQ(CSecurityScreen::Label(7, 'B'), "7B");
    EXPECT_EQ(CSecurityScreen::Label(12, 0), "12");
}

TEST_F(CSecurityScreenTest, TextsStandAtTheTopRightShiftedForTwoDigitNumbers)
{
    CSecurityScreen kScreen;
    kScreen.Create(&m_kLocale, nullptr);
    EXPECT_FALSE(kScreen.HasPictures()); // no camera: nothing to draw them through
    EXPECT_EQ(kScreen.GetMessageList(), 0u);
    CSecurityScreenView kView;
    kView.m_fScreenWidth = 1000.0f;
    kView.m_iGridNumber = 7;
    kView.m_cCorner = 'C';
    kView.m_kTime = "10:30";
    kView.m_kYear = "2005";
    kScreen.Draw(kView, &m_kLocale);
    // Messages end 80 from the right edge, the label 64 from it, the clock
    // 60 left of the camera text's width from the edge.
    EXPECT_EQ(m_kLocale.m_kDrawn, (std::vector<std::string>{"1 880,40 cam:", "1 936,40 7C", "1 890,62 m67",
                                                             "1 900,84 10:30", "1 900,106 2005"}));
    m_kLocale.m_kDrawn.clear();
    kView.m_iGridNumber = 12;
    kView.m_cCorner = 0;
    kScreen.Draw(kView, &m_kLocale);
    EXPECT_EQ(m_kLocale.m_kDrawn, (std::vector<std::string>{"1 862,40 cam:", "1 918,40 12", "1 872,62 m67",
                                                             "1 900,84 10:30", "1 900,106 2005"}));
}

TEST_F(CSecurityScreenTest, TheScanLineRunsDownAndTheFlickerShowsItOneFrameInThree)
{
    CSecurityScreen kScreen;
    kScreen.Create(&m_kLocale, nullptr);
    EXPECT_EQ(kScreen.GetFlicker(), 0);
    EXPECT_TRUE(kScreen.GetFlickerTimer() == 2.0f || kScreen.GetFlickerTimer() == 3.0f);
    CSecurityScreenView kView;
    kView.m_fScreenHeight = 100.0f;
    kView.m_fFrameTime = 0.25f;
    // 35 pixels a frame: 0, 35, 70, 105 (past the bottom), then back to 0.
    const float afExpected[] = {35.0f, 70.0f, 105.0f, 0.0f, 35.0f};
    for (const float fExpected : afExpected)
    {
        kScreen.Draw(kView, nullptr);
        EXPECT_FLOAT_EQ(kScreen.GetScanLine(), fExpected);
    }

    // Without flicker the line shows every frame; the decisions come every
    // 2 or 3 s, one in three turning the flicker on.
    int iDecisions = 0, iFlickering = 0, iShown = 0, iFlickerFrames = 0;
    kView.m_fFrameTime = 0.5f;
    for (int i = 0; i < 6000; ++i)
    {
        const std::int32_t iBefore = kScreen.GetFlicker();
        const float fTimer = kScreen.GetFlickerTimer();
        kScreen.Draw(kView, nullptr);
        if (iBefore == 0)
            EXPECT_TRUE(kScreen.DrewScanLine());
        else
        {
            ++iFlickerFrames;
            iShown += kScreen.DrewScanLine() ? 1 : 0;
        }
        if (fTimer - 0.5f < 0.0f)
        {
            ++iDecisions;
            iFlickering += kScreen.GetFlicker();
            EXPECT_TRUE(kScreen.GetFlickerTimer() == 2.0f || kScreen.GetFlickerTimer() == 3.0f);
        }
    }
    ASSERT_GT(iDecisions, 800);
    EXPECT_NEAR(static_cast<double>(iFlickering) / iDecisions, 1.0 / 3.0, 0.08);
    ASSERT_GT(iFlickerFrames, 200);
    EXPECT_NEAR(static_cast<double>(iShown) / iFlickerFrames, 1.0 / 3.0, 0.08);

    kScreen.Clear();
    EXPECT_EQ(kScreen.GetScanLine(), 0.0f);
    EXPECT_EQ(kScreen.GetFlicker(), 0);
    EXPECT_EQ(kScreen.GetFlickerTimer(), 0.0f);
}

// The whole game on the recording renderer.
class CSecurityScreenGameTest : public FrameworkTest
{
protected:
    void SetUp() override
    {
        FrameworkTest::SetUp();
        WriteFileBytes("cursor.tga", TinyTgaBytes());
        WriteFileBytes("language.xml", LanguageFile());
        WriteSetupFile(10, 20, 30, 255);
        COrvaneRendererFactory::Set(&m_kRenderers);
        os::SetMessageBoxHook([](os::WindowHandle, std::string_view, std::string_view, std::uint32_t) { return 1; });
    }
    void TearDown() override
    {
        COrvaneApplication::DestroyInstance();
        CGame::ResetStatics();
        FrameworkTest::TearDown();
    }

    TestRendererFactory m_kRenderers;
};

TEST_F(CSecurityScreenGameTest, TheLoadingFrameShowsItsTextAndTheLevelHasItsOverlay)
{
    CGameFactory kFactory;
    COrvaneApplication* pkApp = COrvaneApplication::Get();
    ASSERT_TRUE(pkApp->Init(nullptr, kFactory, 1024, 768));
    ASSERT_TRUE(pkApp->Start());
    auto* pkGame = dynamic_cast<CGame*>(pkApp->GetGame());
    ASSERT_NE(pkGame, nullptr);
    auto pkLocale = std::make_unique<RecordingLocale>();
    RecordingLocale* pkRecording = pkLocale.get();
    ASSERT_TRUE(pkRecording->Load());
    pkGame->SetLocale(std::move(pkLocale));
    pkGame->SetScreenSize(1000, 700);
    EXPECT_EQ(pkGame->GetSecurityScreen(), nullptr);

    // No loading picture: the frame still carries message 13, centred, 128
    // above the bottom.
    pkGame->ShowLoadingScreen();
    EXPECT_EQ(pkRecording->m_kDrawn, (std::vector<std::string>{"1 485,572 m13"}));

    pkGame->LoadLevelData();
    ASSERT_NE(pkGame->GetSecurityScreen(), nullptr);
    EXPECT_EQ(pkGame->GetSecurityScreen()->GetMessageList(), 0u);
    // Drawn only while a building is selected.
    pkRecording->m_kDrawn.clear();
    pkGame->Render();
    EXPECT_TRUE(std::none_of(pkRecording->m_kDrawn.begin(), pkRecording->m_kDrawn.end(),
                             [](const std::string& k) { return k.find("cam:") != std::string::npos; }));
    pkGame->ResetGame();
    EXPECT_EQ(pkGame->GetSecurityScreen(), nullptr);
}
} // namespace
