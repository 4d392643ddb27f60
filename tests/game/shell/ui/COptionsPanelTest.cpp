#include "game/shell/ui/COptionsPanel.h"

#include "framework/COrvaneWidget.h"
#include "game/shell/ui/CConfirmPanel.h"
#include "game/shell/ui/CInterface.h"
#include "game/shell/ui/CMainPanel.h"
#include "tests/game/shell/ui/PanelTestSupport.h"

#include <gtest/gtest.h>

namespace
{
class COptionsPanelTest : public PanelTest
{
protected:
    COptionsPanel& Options()
    {
        auto* pkOptions = dynamic_cast<COptionsPanel*>(Ui().GetPanel(CInterface::PANEL_OPTIONS));
        EXPECT_NE(pkOptions, nullptr);
        return *pkOptions;
    }
    void Open()
    {
        Ui().ShowPanel(CInterface::PANEL_OPTIONS, false);
        // A pass away from every widget settles the state images.
        Frame(1000.0f, 5.0f, false);
    }
    bool Shown(std::int32_t iWidget) { return Options().GetWidget(iWidget)->IsVisible(); }
};

TEST_F(COptionsPanelTest, EachToggleFlipsItsSettingAndItsStateImageShowsWhileItIsOff)
{
    COptionsPanel& kOptions = Options();
    const std::int32_t aiImages[] = {kOptions.GetDetailImage(), kOptions.GetSoundImage(), kOptions.GetMusicImage()};
    const std::int32_t aiButtons[] = {COptionsPanel::WIDGET_DETAIL, COptionsPanel::WIDGET_SOUND,
                                      COptionsPanel::WIDGET_MUSIC};
    for (std::size_t i = 0; i < 3; ++i)
    {
        // Appended after the layout's eight buttons, on their button, from
        // the layout's folder.
        ASSERT_GE(aiImages[i], 9);
        const COrvaneWidget* pkImage = kOptions.GetWidget(aiImages[i]);
        ASSERT_NE(pkImage, nullptr);
        EXPECT_EQ(pkImage->GetRect().m_fX, kOptions.GetWidget(aiButtons[i])->GetRect().m_fX);
        EXPECT_EQ(pkImage->GetRect().m_fY, kOptions.GetWidget(aiButtons[i])->GetRect().m_fY);
        EXPECT_GT(pkImage->GetRect().m_fWidth, 0.0f) << "the image did not load";
    }
    Open();
    ASSERT_TRUE(Game().IsMusicOn() && Game().IsSoundOn() && Game().IsDetailOn());
    for (std::int32_t iImage : aiImages)
        EXPECT_FALSE(Shown(iImage));

    Click(kOptions, COptionsPanel::WIDGET_MUSIC);
    EXPECT_FALSE(Game().IsMusicOn());
    EXPECT_TRUE(Game().IsSoundOn());
    Frame(1000.0f, 5.0f, false);
    EXPECT_TRUE(Shown(kOptions.GetMusicImage()));
    EXPECT_FALSE(Shown(kOptions.GetSoundImage()));
    EXPECT_FALSE(Shown(kOptions.GetDetailImage()));

    Click(kOptions, COptionsPanel::WIDGET_SOUND);
    Click(kOptions, COptionsPanel::WIDGET_DETAIL);
    Frame(1000.0f, 5.0f, false);
    EXPECT_FALSE(Game().IsSoundOn());
    EXPECT_FALSE(Game().IsDetailOn());
    for (std::int32_t iImage : aiImages)
        EXPECT_TRUE(Shown(iImage));

    // One click, one toggle: back on, hidden again.
    Click(kOptions, COptionsPanel::WIDGET_MUSIC);
    Frame(1000.0f, 5.0f, false);
    EXPECT_TRUE(Game().IsMusicOn());
    EXPECT_FALSE(Shown(kOptions.GetMusicImage()));
    EXPECT_TRUE(Ui().IsCanvasOpen(&kOptions, false));
}

TEST_F(COptionsPanelTest, LoadAndSavePauseForTheirPanelAndCloseLeavesTheStack)
{
    COptionsPanel& kOptions = Options();
    Game().SetGameSpeed(3.0f);
    Open();
    Click(kOptions, COptionsPanel::WIDGET_LOAD);
    EXPECT_FLOAT_EQ(Game().GetGameSpeed(), 0.0f);
    EXPECT_FLOAT_EQ(Game().GetSavedSpeed(), 3.0f);
    EXPECT_TRUE(Game().IsPanelPaused());
    EXPECT_TRUE(Ui().IsCanvasOpen(Ui().GetPanel(CInterface::PANEL_LOAD), true));
    Ui().GetStack().Remove(Ui().GetPanel(CInterface::PANEL_LOAD));

    Game().SetGameSpeed(2.0f);
    Game().SetPanelPause(false);
    Click(kOptions, COptionsPanel::WIDGET_SAVE);
    EXPECT_FLOAT_EQ(Game().GetGameSpeed(), 0.0f);
    EXPECT_FLOAT_EQ(Game().GetSavedSpeed(), 2.0f);
    EXPECT_TRUE(Game().IsPanelPaused());
    EXPECT_TRUE(Ui().IsCanvasOpen(Ui().GetPanel(CInterface::PANEL_SAVE), true));
    Ui().GetStack().Remove(Ui().GetPanel(CInterface::PANEL_SAVE));

    Click(kOptions, CBasePanel::WIDGET_CLOSE);
    EXPECT_FALSE(Ui().IsCanvasOpen(&kOptions, false));
    EXPECT_TRUE(Ui().IsCanvasOpen(Ui().GetMainPanel(), false));
}

TEST_F(COptionsPanelTest, QuitLeavesTheLevelOnlyOnYes)
{
    COptionsPanel& kOptions = Options();
    Open();
    Click(kOptions, COptionsPanel::WIDGET_QUIT);
    ASSERT_TRUE(Ui().IsConfirmationOpen());
    EXPECT_EQ(Ui().GetConfirmPanel()->GetQuestion(), COptionsPanel::QUESTION_QUIT);
    EXPECT_TRUE(Ui().AnswerConfirmation(false));
    EXPECT_EQ(Game().GetState(), CGame::STATE_IN_GAME);
    Click(kOptions, COptionsPanel::WIDGET_QUIT);
    EXPECT_TRUE(Ui().AnswerConfirmation(true));
    EXPECT_EQ(Game().GetState(), CGame::STATE_FRONT_END);
}
} // namespace
