#include "game/shell/ui/CDeskTopPanel.h"

#include "framework/COrvaneWidget.h"
#include "game/shell/CConditions.h"
#include "game/shell/ui/CInterface.h"
#include "game/shell/ui/CMainPanel.h"
#include "game/simulation/characters/CAIPrisoner.h"
#include "game/simulation/characters/CSpawnManager.h"
#include "game/simulation/objects/CDynamicObjectManager.h"
#include "game/simulation/objects/CPrisonStatistics.h"
#include "tests/game/shell/ui/PanelTestSupport.h"

#include <gtest/gtest.h>

#include <algorithm>

namespace
{
class CDeskTopPanelTest : public PanelTest
{
protected:
    CDeskTopPanel& Desk() { return *dynamic_cast<CDeskTopPanel*>(Ui().GetPanel(CInterface::PANEL_DESK_TOP)); }
    CSpawnManager& Spawn() { return *Game().GetSpawnManager(); }
    CAIPrisoner* Candidate(std::uint16_t usFirstName)
    {
        CAIPrisoner* pkPrisoner = Spawn().CreateArrivingPrisoner();
        EXPECT_NE(pkPrisoner, nullptr);
        CCharacterStats& kStats = pkPrisoner->GetStats();
        kStats.m_usStarSign = 4;
        kStats.m_usFirstName = usFirstName;
        kStats.m_usAge = 30;
        kStats.m_usWorkCount = 5;
        kStats.m_usKnockdowns = 1;
        kStats.m_usHealth = 100;
        Spawn().AddParoleCandidate(pkPrisoner);
        return pkPrisoner;
    }
    // A line drawn at the offset from the desk's corner.
    [[nodiscard]] std::string At(float fX, float fY, const std::string& kText)
    {
        return "2 " + std::to_string(static_cast<int>(Desk().GetX() + fX)) + "," +
               std::to_string(static_cast<int>(Desk().GetY() + fY)) + " " + kText;
    }
    std::vector<std::string> Drawn()
    {
        Locale().m_kDrawn.clear();
        Desk().Draw();
        return Locale().m_kDrawn;
    }
    // A pass with the pointer on the widget, the button up.
    bool Highlights(std::int32_t iWidget)
    {
        float fX = 0.0f;
        float fY = 0.0f;
        WidgetCentre(Desk(), iWidget, fX, fY);
        Frame(fX, fY, false);
        return Desk().GetWidget(iWidget)->IsVisible();
    }
};

TEST_F(CDeskTopPanelTest, GrantThenRefuseEmptiesTheListAndLeaveGivesTheSpeedBack)
{
    Spawn().ClearParoleCandidates();
    CAIPrisoner* pkFirst = Candidate(40);
    (void)Candidate(3);
    const std::uint16_t usReleased = Game().GetStatistics()->m_usPrisonersReleased;
    Game().SetGameSpeed(2.0f);
    Ui().ShowDeskTop(true);
    ASSERT_TRUE(Ui().IsCanvasOpen(&Desk(), true));
    EXPECT_EQ(Desk().GetCandidates(), &Spawn().GetParoleCandidates());
    EXPECT_FLOAT_EQ(Game().GetGameSpeed(), 0.0f);
    EXPECT_FLOAT_EQ(Game().GetSavedSpeed(), 2.0f);
    EXPECT_TRUE(Game().IsPanelPaused());

    // Star sign 4 is month 5; the day is the first-name index, 28 at most.
    const std::string kBirth = At(363.0f, 193.0f, "5/28/" + std::to_string(Game().GetGameClock().GetShownYear() - 30));
    std::vector<std::string> kDrawn = Drawn();
    EXPECT_NE(std::find(kDrawn.begin(), kDrawn.end(), kBirth), kDrawn.end());
    EXPECT_NE(std::find(kDrawn.begin(), kDrawn.end(), At(420.0f, 179.0f, "30")), kDrawn.end());
    EXPECT_TRUE(Highlights(CDeskTopPanel::WIDGET_GRANT));

    Click(Desk(), CDeskTopPanel::WIDGET_GRANT);
    EXPECT_EQ(Spawn().GetParoleCandidates().size(), 1u);
    EXPECT_TRUE(pkFirst->IsGone());
    EXPECT_EQ(Game().GetStatistics()->m_usPrisonersReleased, usReleased + 1);
    // Gone from the registry too: the desk never reads it again.
    CDynamicObjectManager::GetInstance()->DestroyObject(pkFirst, true);
    kDrawn = Drawn();
    EXPECT_NE(std::find(kDrawn.begin(), kDrawn.end(), At(363.0f, 193.0f, "5/3/" +
                            std::to_string(Game().GetGameClock().GetShownYear() - 30))), kDrawn.end());

    Click(Desk(), CDeskTopPanel::WIDGET_REFUSE);
    EXPECT_TRUE(Spawn().GetParoleCandidates().empty());
    kDrawn = Drawn();
    EXPECT_TRUE(std::none_of(kDrawn.begin(), kDrawn.end(), [this](const std::string& k) {
        return k.rfind(At(363.0f, 193.0f, ""), 0) == 0;
    }));
    // Only leave still reacts.
    EXPECT_FALSE(Highlights(CDeskTopPanel::WIDGET_GRANT));
    EXPECT_FALSE(Highlights(CDeskTopPanel::WIDGET_REFUSE));
    EXPECT_TRUE(Highlights(CDeskTopPanel::WIDGET_LEAVE));
    Click(Desk(), CDeskTopPanel::WIDGET_GRANT);
    EXPECT_EQ(Game().GetStatistics()->m_usPrisonersReleased, usReleased + 1);

    Click(Desk(), CDeskTopPanel::WIDGET_LEAVE);
    EXPECT_FALSE(Ui().IsCanvasOpen(&Desk(), true));
    EXPECT_FALSE(Ui().IsDeskTopShown());
    EXPECT_TRUE(Ui().IsCanvasOpen(Ui().GetMainPanel(), false));
    EXPECT_FLOAT_EQ(Game().GetGameSpeed(), 2.0f);
    EXPECT_FALSE(Game().IsPanelPaused());
}

TEST_F(CDeskTopPanelTest, ThePrisonSideShowsOrderAsPercentAndTheBriefOnlyInAScenario)
{
    Spawn().ClearParoleCandidates();
    Game().GetStatistics()->m_iOrder = 755;
    Game().GetStatistics()->m_usPrisonersNow = 12;
    Ui().ShowDeskTop(true);
    ASSERT_EQ(Game().GetScenarioNumber(), -1);
    std::vector<std::string> kDrawn = Drawn();
    EXPECT_NE(std::find(kDrawn.begin(), kDrawn.end(), At(639.0f, 234.0f, "75%")), kDrawn.end());
    EXPECT_NE(std::find(kDrawn.begin(), kDrawn.end(), At(782.0f, 217.0f, "12")), kDrawn.end());
    const std::string kBrief = "2 box " + std::to_string(static_cast<int>(Desk().GetX() + 566.0f)) + "," +
                               std::to_string(static_cast<int>(Desk().GetY() + 377.0f)) + " ";
    const auto HasBrief = [&kBrief](const std::vector<std::string>& kLines) {
        return std::any_of(kLines.begin(), kLines.end(),
                           [&kBrief](const std::string& k) { return k.rfind(kBrief, 0) == 0; });
    };
    EXPECT_FALSE(HasBrief(kDrawn));

    Game().GetConditions()->SetScenario(0);
    kDrawn = Drawn();
    const std::int16_t sBriefs = Locale().FindList("BRIEF_SCENARIOS");
    ASSERT_GE(sBriefs, 0);
    EXPECT_NE(std::find(kDrawn.begin(), kDrawn.end(), kBrief + Locale().GetEntryText(sBriefs, 0)), kDrawn.end());
}

TEST(CDeskTopBirthDate, MonthIsTheStarSignPlusOneAndTheDayAtMost28)
{
    EXPECT_EQ(CDeskTopPanel::FormatBirthDate(0, 28, 20, 2005), "1/28/1985");
    EXPECT_EQ(CDeskTopPanel::FormatBirthDate(11, 29, 0, 2006), "12/28/2006");
    EXPECT_EQ(CDeskTopPanel::FormatBirthDate(3, 0, 45, 2005), "4/0/1960");
}
} // namespace
