#include "game/shell/ui/CInterface.h"

#include "framework/COrvaneImageTexture.h"
#include "framework/COrvaneWidget.h"
#include "game/shell/CConditions.h"
#include "game/shell/ui/CBasePanel.h"
#include "game/shell/ui/CConfirmPanel.h"
#include "game/shell/ui/CFloorChangePanel.h"
#include "game/shell/ui/CMainPanel.h"
#include "game/shell/ui/CMessageHistoryPanel.h"
#include "game/simulation/objects/CWorldObject.h"
#include "tests/game/shell/ui/PanelTestSupport.h"

#include <gtest/gtest.h>

#include <algorithm>

namespace
{
class CInterfaceTest : public PanelTest
{
protected:
    [[nodiscard]] float X(std::int16_t sPanel) { return Ui().GetPanel(sPanel)->GetX(); }
    [[nodiscard]] float Y(std::int16_t sPanel) { return Ui().GetPanel(sPanel)->GetY(); }
    // The panel's background size.
    [[nodiscard]] float W(std::int16_t sPanel) { return Ui().GetPanel(sPanel)->GetWidget(0)->GetRect().m_fWidth; }
    [[nodiscard]] float H(std::int16_t sPanel) { return Ui().GetPanel(sPanel)->GetWidget(0)->GetRect().m_fHeight; }
    [[nodiscard]] bool IsOpen(std::int16_t sPanel) { return Ui().IsCanvasOpen(Ui().GetPanel(sPanel), true); }

    // The first corner of the image's first tile, in screen units.
    static float FirstCorner(const COrvaneImage* pkImage)
    {
        const std::vector<COrvaneImageTexture::Tile>& kTiles = pkImage->GetTexture().GetTiles();
        return kTiles.empty() ? -1.0f : kTiles.front().m_spPolygon->GetVertices()[0].x;
    }
};

TEST_F(CInterfaceTest, PanelsStandWhereTheTableSaysAtBothScreenSizes)
{
    // Demo backgrounds: main 800 x 96, confirmation 184 x 140, the pop-ups
    // 300 wide; the others as their layouts are.
    for (const auto& [iWidth, iHeight] : {std::pair{1024, 768}, std::pair{1280, 1024}})
    {
        SCOPED_TRACE(iWidth);
        RebuildInterface(iWidth, iHeight);
        const float fW = static_cast<float>(iWidth);
        const float fH = static_cast<float>(iHeight);
        ASSERT_EQ(Ui().GetPanelCount(), CInterface::PANEL_COUNT);
        const float fMainTop = fH - 96.0f;
        EXPECT_EQ(Ui().GetMainPanel()->GetX(), 0.0f);
        EXPECT_EQ(Ui().GetMainPanel()->GetY(), fMainTop);
        EXPECT_EQ(Ui().GetMainPanel()->GetFloorPanel()->GetX(), 800.0f);
        EXPECT_EQ(Ui().GetMainPanel()->GetFloorPanel()->GetY(), fH - 96.0f);
        for (std::int16_t s : {CInterface::PANEL_BUILD_EXTERNAL, CInterface::PANEL_BUILD_INTERNAL,
                               CInterface::PANEL_MANAGEMENT})
        {
            EXPECT_EQ(X(s), 0.0f);
            EXPECT_EQ(Y(s), 0.0f);
        }
        const float fOptions = H(CInterface::PANEL_OPTIONS);
        ASSERT_GT(fOptions, 0.0f);
        EXPECT_EQ(Y(CInterface::PANEL_OPTIONS), fMainTop - fOptions + 16.0f);
        EXPECT_EQ(Y(CInterface::PANEL_LOAD), fMainTop - H(CInterface::PANEL_LOAD) - fOptions + 24.0f);
        EXPECT_EQ(Y(CInterface::PANEL_SAVE), fMainTop - H(CInterface::PANEL_SAVE) - fOptions + 24.0f);
        EXPECT_EQ(X(CInterface::PANEL_CONFIRM), fW / 2.0f - 92.0f);
        EXPECT_EQ(Y(CInterface::PANEL_CONFIRM), fH / 2.0f - 70.0f);
        for (std::int16_t s : {CInterface::PANEL_BUILDING, CInterface::PANEL_PRISONER, CInterface::PANEL_STAFF})
        {
            EXPECT_EQ(X(s), fW - 300.0f);
            EXPECT_EQ(Y(s), 0.0f);
        }
        for (std::int16_t s : {CInterface::PANEL_MESSAGES, CInterface::PANEL_DESK_TOP})
        {
            ASSERT_GT(W(s), 0.0f);
            EXPECT_EQ(X(s), fW / 2.0f - W(s) / 2.0f);
            EXPECT_EQ(Y(s), fH / 2.0f - H(s) / 2.0f);
        }
        // Made once: a second call adds nothing.
        EXPECT_TRUE(Ui().CreatePanels());
        EXPECT_EQ(Ui().GetPanelCount(), CInterface::PANEL_COUNT);
    }
}

TEST_F(CInterfaceTest, ABasePanelClosesTheOthersButTheConfirmationDoesNot)
{
    Ui().ShowPanel(CInterface::PANEL_MANAGEMENT, false);
    EXPECT_TRUE(IsOpen(CInterface::PANEL_MANAGEMENT));
    Ui().ShowPanel(CInterface::PANEL_OPTIONS, false);
    EXPECT_FALSE(IsOpen(CInterface::PANEL_MANAGEMENT));
    EXPECT_TRUE(IsOpen(CInterface::PANEL_OPTIONS));
    Ui().ShowPanel(CInterface::PANEL_CONFIRM, true);
    EXPECT_TRUE(IsOpen(CInterface::PANEL_OPTIONS));
    EXPECT_TRUE(IsOpen(CInterface::PANEL_CONFIRM));

    // Indices outside the list change nothing.
    const std::size_t uiModal = Ui().GetStack().GetModal().size();
    const std::size_t uiModeless = Ui().GetStack().GetModeless().size();
    Ui().ShowPanel(CInterface::PANEL_COUNT, true);
    Ui().ShowPanel(-1, false);
    Ui().OpenPanel(CInterface::PANEL_COUNT);
    Ui().OpenPanel(-3);
    Ui().ShowPopUp(CInterface::PANEL_OPTIONS, nullptr, nullptr);
    EXPECT_EQ(Ui().GetStack().GetModal().size(), uiModal);
    EXPECT_EQ(Ui().GetStack().GetModeless().size(), uiModeless);

    // Opening the load panel marks it; closing everything keeps the main
    // panel.
    Ui().OpenPanel(CInterface::PANEL_LOAD);
    EXPECT_TRUE(Ui().IsLoadPanelOpen());
    Ui().CloseAllPanels();
    for (std::int16_t s = 0; s < CInterface::PANEL_COUNT; ++s)
        EXPECT_FALSE(IsOpen(s)) << s;
    EXPECT_TRUE(Ui().IsCanvasOpen(Ui().GetMainPanel(), false));
}

TEST_F(CInterfaceTest, ASecondQuestionWhileOneIsOpenIsIgnored)
{
    int iFirst = 0;
    int iSecond = 0;
    Ui().ShowConfirm([&iFirst] { ++iFirst; }, 53, 0, false, "old");
    Ui().ShowConfirm([&iSecond] { ++iSecond; }, 52, 0, false, "new");
    EXPECT_EQ(Ui().GetConfirmPanel()->GetQuestion(), 53);
    ASSERT_TRUE(Ui().GetConfirmPanel()->GetExtraText().has_value());
    EXPECT_EQ(*Ui().GetConfirmPanel()->GetExtraText(), "old");
    EXPECT_TRUE(Ui().AnswerConfirmation(true));
    EXPECT_EQ(iFirst, 1);
    EXPECT_EQ(iSecond, 0);
    EXPECT_FALSE(Ui().IsConfirmationOpen());
    EXPECT_FALSE(Ui().AnswerConfirmation(true)); // nothing asked
    EXPECT_EQ(iFirst, 1);
}

TEST_F(CInterfaceTest, TheDeskTopShowsOnceAndNotOverAResult)
{
    COrvaneCanvas* pkDeskTop = Ui().GetPanel(CInterface::PANEL_DESK_TOP);
    Ui().ShowDeskTop(true);
    Ui().ShowDeskTop(true);
    const std::list<COrvaneCanvas*>& kModal = Ui().GetStack().GetModal();
    EXPECT_EQ(std::count(kModal.begin(), kModal.end(), pkDeskTop), 1);
    EXPECT_TRUE(Ui().IsDeskTopShown());
    EXPECT_FALSE(Ui().IsCanvasOpen(Ui().GetMainPanel(), false));

    Ui().ShowDeskTop(false);
    EXPECT_FALSE(Ui().IsDeskTopShown());
    EXPECT_FALSE(Ui().IsCanvasOpen(pkDeskTop, true));
    EXPECT_EQ(Ui().GetStack().GetModeless().front(), Ui().GetMainPanel());

    Game().GetConditions()->SetResults(0, CConditions::NO_RESULT);
    Ui().ShowDeskTop(true);
    EXPECT_FALSE(Ui().IsDeskTopShown());
    EXPECT_FALSE(Ui().IsCanvasOpen(pkDeskTop, true));
}

TEST_F(CInterfaceTest, IconNumbersPastTheirTablesDrawNothing)
{
    ASSERT_NE(Ui().GetStarSignIcon(11), nullptr);
    EXPECT_EQ(Ui().GetStarSignIcon(12), nullptr);
    EXPECT_EQ(Ui().GetSecurityLevelIcon(4), nullptr);
    EXPECT_EQ(Ui().GetGangIcon(2), nullptr);
    std::vector<float> kBefore;
    for (std::uint32_t i = 0; i < 12; ++i)
        kBefore.push_back(FirstCorner(Ui().GetStarSignIcon(i)));
    Ui().DrawStarSignIcon(12, 300.0f, 200.0f);
    Ui().DrawSecurityLevelIcon(4, 300.0f, 200.0f);
    Ui().DrawGangIcon(2, 300.0f, 200.0f);
    for (std::uint32_t i = 0; i < 12; ++i)
        EXPECT_EQ(FirstCorner(Ui().GetStarSignIcon(i)), kBefore[i]);
    Ui().DrawStarSignIcon(11, 300.0f, 200.0f);
    EXPECT_NE(FirstCorner(Ui().GetStarSignIcon(11)), kBefore[11]);
    Ui().DrawGangIcon(1, 300.0f, 200.0f);
    Ui().DrawSecurityLevelIcon(3, 300.0f, 200.0f);
}

TEST_F(CInterfaceTest, TheTooltipWaitsThenMovesLeftAtTheRightEdge)
{
    RebuildInterface(1024, 768);
    const std::int16_t sList = Locale().FindList("security_level_text");
    ASSERT_GE(sList, 0);
    // "Maximum": 70 pixels wide.
    auto Hover = [&](float fX, float fFrame) {
        Frame(fX, 300.0f, false, fFrame);
        Locale().m_kDrawn.clear();
        Ui().SetHoverText(sList, 3);
        Ui().Draw();
        EXPECT_EQ(Ui().GetHoverTextIndex(), -1); // set again every frame
    };
    Ui().Draw(); // nothing hovered yet: the delay starts
    Hover(1000.0f, 0.5f);
    EXPECT_FALSE(Locale().Drew("4 1018,292 Maximum")); // 0.1 s to go
    Hover(1000.0f, 0.5f);
    // 1000 + 70 + 8 passes 1024: x = 1024 - 10 - 70, drawn 8 further right
    // (so it ends 2 pixels before the edge).
    EXPECT_TRUE(Locale().Drew("4 952,292 Maximum")) << (Locale().m_kDrawn.empty() ? "" : Locale().m_kDrawn[0]);
    EXPECT_EQ(Ui().GetTooltipX(), 944.0f);

    // Nothing hovered: the delay starts again.
    Locale().m_kDrawn.clear();
    Ui().Draw();
    EXPECT_EQ(Ui().GetTooltipDelay(), CInterface::TOOLTIP_DELAY);
    for (const std::string& kLine : Locale().m_kDrawn)
        EXPECT_NE(kLine.rfind("4 ", 0), 0u) << kLine;
}

TEST_F(CInterfaceTest, TheLevelStartsWithItsTwoMessagesAndAnEmptyHistory)
{
    Ui().AddHistoryMessage(4, -1, 2);
    Ui().AddHistoryMessage(-1, -1, 2); // ignored
    ASSERT_EQ(Ui().GetMessageHistory()->GetMessages().size(), 1u);
    EXPECT_EQ(Ui().GetMessageHistory()->GetMessages()[0], (CHistoryMessage{-1, 4, 2}));
    Ui().PostMessage(9);
    ASSERT_TRUE(Ui().PrepareForLevel(Game().GetDataDocument()));
    EXPECT_TRUE(Ui().GetMessageHistory()->GetMessages().empty());
    EXPECT_EQ(Ui().GetMainPanel()->GetQueue(),
              (std::deque<CTickerMessage>{{CInterface::MESSAGE_LEVEL_FIRST, -1}, {CInterface::MESSAGE_LEVEL_SECOND, -1}}));
    EXPECT_TRUE(Ui().HasPendingMessages());
    // Once the front end is back, no panel is left on the stack.
    Ui().ShowPanel(CInterface::PANEL_MANAGEMENT, false);
    Ui().ResetForFrontEnd();
    EXPECT_TRUE(Ui().GetStack().IsEmpty());
}
// The game's click handler asks the interface whether a press is a panel's
// before the panels' pass has seen the pointer there (it may have come in
// the press's own frame): every button of every panel the interface shows,
// its children's and the floor panel's included, must answer yes.
TEST_F(CInterfaceTest, EveryButtonOfEveryPanelTakesAPressThePointerJustBrought)
{
    const auto ExpectButtonsTaken = [this](const COrvaneCanvas& kCanvas, const char* pcWhat) {
        for (std::int32_t i = 1; i < kCanvas.GetWidgetCount(); ++i)
        {
            const COrvaneWidgetRect& kRect = kCanvas.GetWidget(i)->GetRect();
            if (kRect.m_fWidth <= 0.0f || kRect.m_fHeight <= 0.0f)
                continue;
            float fX = 0.0f;
            float fY = 0.0f;
            WidgetCentre(kCanvas, i, fX, fY);
            EXPECT_TRUE(Ui().TakesPressAt(NiVec2(fX, fY), false)) << pcWhat << ", widget " << i;
        }
    };
    for (std::int16_t s = 0; s < CInterface::PANEL_COUNT; ++s)
    {
        SCOPED_TRACE(testing::Message() << "panel " << s);
        Ui().CloseAllPanels();
        switch (s)
        {
        case CInterface::PANEL_CONFIRM: Ui().ShowConfirmation(2, [] {}); break;
        case CInterface::PANEL_LOAD:
        case CInterface::PANEL_SAVE: Ui().OpenPanel(s); break;
        case CInterface::PANEL_BUILDING:
        case CInterface::PANEL_PRISONER:
        case CInterface::PANEL_STAFF: Ui().ShowPopUp(s, nullptr, nullptr); break;
        case CInterface::PANEL_MESSAGES: Ui().ShowPanel(s, true); break;
        case CInterface::PANEL_DESK_TOP: Ui().ShowDeskTop(true); break;
        default: Ui().ShowPanel(s, false); break;
        }
        const COrvaneCanvas& kPanel = *Ui().GetPanel(s);
        ASSERT_TRUE(Ui().IsCanvasOpen(&kPanel, true));
        ExpectButtonsTaken(kPanel, "the panel");
        if (const auto* pkBase = dynamic_cast<const CBasePanel*>(&kPanel))
            for (std::int32_t c = 0; c < pkBase->GetChildCount(); ++c)
                if (pkBase->GetChild(c)->IsActive())
                    ExpectButtonsTaken(*pkBase->GetChild(c), "a child");
        if (s == CInterface::PANEL_DESK_TOP)
            Ui().ShowDeskTop(false);
    }
    Ui().CloseAllPanels();
    // The floor panel's buttons are the main panel's while a building is
    // selected, and nobody's without one.
    const CFloorChangePanel& kFloors = *Ui().GetMainPanel()->GetFloorPanel();
    float fX = 0.0f;
    float fY = 0.0f;
    WidgetCentre(kFloors, CFloorChangePanel::WIDGET_DOWN, fX, fY);
    EXPECT_FALSE(Ui().TakesPressAt(NiVec2(fX, fY), false));
    CWorldObject kBuilding;
    Game().SetSelectedBuilding(&kBuilding);
    ExpectButtonsTaken(kFloors, "the floor panel");
    Game().SetSelectedBuilding(nullptr);
}

} // namespace
