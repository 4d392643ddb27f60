#include "game/shell/ui/CMessageHistoryPanel.h"

#include "framework/COrvaneWidget.h"
#include "game/shell/ui/CInterface.h"
#include "tests/game/shell/ui/PanelTestSupport.h"

#include <gtest/gtest.h>

namespace
{
class CMessageHistoryPanelTest : public PanelTest
{
protected:
    CMessageHistoryPanel& History() { return *Ui().GetMessageHistory(); }
    void Post(std::int32_t iCount)
    {
        for (std::int32_t i = 0; i < iCount; ++i)
            Ui().AddHistoryMessage(i, -1, -1);
    }
    void Open()
    {
        Ui().ShowPanel(CInterface::PANEL_MESSAGES, true);
        Frame(0.0f, 0.0f, false);
    }
    // The boxes one draw fills, as "entry at y" from the panel's top.
    std::vector<std::string> Page()
    {
        Locale().m_kDrawn.clear();
        History().Draw();
        std::vector<std::string> kPage;
        const std::int16_t sList = History().GetTextList();
        for (const std::string& kLine : Locale().m_kDrawn)
        {
            const std::string::size_type uiComma = kLine.find(',');
            const std::string::size_type uiText = kLine.find(' ', uiComma);
            const int iY = std::stoi(kLine.substr(uiComma + 1, uiText - uiComma - 1)) - static_cast<int>(History().GetY());
            std::string kText = kLine.substr(uiText + 1);
            for (std::int32_t iEntry = 0; iEntry < 83; ++iEntry)
                if (Locale().GetEntryText(sList, iEntry) == kText)
                    kText = std::to_string(iEntry);
            kPage.push_back(kText + "@" + std::to_string(iY));
        }
        return kPage;
    }
};

TEST_F(CMessageHistoryPanelTest, TwentyOneLineMessagesPageByEightAndStepSixAtATime)
{
    Post(20);
    Ui().AddHistoryMessage(-1, 0, 0);
    ASSERT_EQ(History().GetCount(), 20u);
    ASSERT_GE(History().GetTextList(), 0);
    EXPECT_NE(History().GetSeparator(), nullptr);
    Open();
    // Newest first, 22 pixels apart, eight of them.
    EXPECT_EQ(Page(), (std::vector<std::string>{"19@48", "18@70", "17@92", "16@114", "15@136", "14@158", "13@180",
                                                "12@202"}));
    Click(History(), CMessageHistoryPanel::WIDGET_OLDER);
    EXPECT_EQ(History().GetScroll(), 6u);
    EXPECT_EQ(Page().front(), "13@48");
    Click(History(), CMessageHistoryPanel::WIDGET_OLDER);
    Click(History(), CMessageHistoryPanel::WIDGET_OLDER);
    EXPECT_EQ(History().GetScroll(), 18u);
    EXPECT_EQ(Page(), (std::vector<std::string>{"1@48", "0@70"}));
    // No further: twenty is not more than 24.
    Click(History(), CMessageHistoryPanel::WIDGET_OLDER);
    EXPECT_EQ(History().GetScroll(), 18u);
    Click(History(), CMessageHistoryPanel::WIDGET_NEWER);
    EXPECT_EQ(History().GetScroll(), 12u);
    Click(History(), CMessageHistoryPanel::WIDGET_NEWER);
    Click(History(), CMessageHistoryPanel::WIDGET_NEWER);
    EXPECT_EQ(History().GetScroll(), 0u);
    Click(History(), CMessageHistoryPanel::WIDGET_NEWER);
    EXPECT_EQ(History().GetScroll(), 0u);
    Click(History(), CBasePanel::WIDGET_CLOSE);
    EXPECT_FALSE(Ui().IsCanvasOpen(&History(), true));
}

TEST_F(CMessageHistoryPanelTest, SixMessagesStayOnOnePageASeventhGivesASecond)
{
    Post(6);
    Open();
    Click(History(), CMessageHistoryPanel::WIDGET_OLDER);
    EXPECT_EQ(History().GetScroll(), 0u);
    EXPECT_EQ(Page().size(), 6u);
    Ui().AddHistoryMessage(6, -1, -1);
    Click(History(), CMessageHistoryPanel::WIDGET_OLDER);
    EXPECT_EQ(History().GetScroll(), 6u);
    EXPECT_EQ(Page(), (std::vector<std::string>{"0@48"}));
}

TEST_F(CMessageHistoryPanelTest, LongerMessagesAllowANinthLineAndNumbersShowAsNumberedTexts)
{
    Post(12);
    Locale().m_iBoxLines = 2;
    // Two lines each: 48 + 10 L + 12 M; the fifth starts at L = 8, the
    // sixth would at L = 10.
    EXPECT_EQ(Page(), (std::vector<std::string>{"11@48", "10@80", "9@112", "8@144", "7@176"}));
    Locale().m_iBoxLines = 1;

    History().ClearMessages();
    Ui().AddHistoryMessage(5, -1, 3);
    Ui().AddHistoryMessage(5, -1, 0);
    const std::int16_t sList = History().GetTextList();
    Locale().m_kDrawn.clear();
    History().Draw();
    ASSERT_EQ(Locale().m_kDrawn.size(), 2u);
    const std::string kBox = "0 box " + std::to_string(static_cast<int>(History().GetX()) + 32) + ",";
    EXPECT_EQ(Locale().m_kDrawn[0], kBox + std::to_string(static_cast<int>(History().GetY()) + 48) + " " +
                                        Locale().GetEntryText(sList, 5));
    const std::string kNumbered = kBox + std::to_string(static_cast<int>(History().GetY()) + 70) + " 3 ";
    EXPECT_EQ(Locale().m_kDrawn[1].rfind(kNumbered, 0), 0u) << Locale().m_kDrawn[1];
}
} // namespace
