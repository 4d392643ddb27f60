#include "game/shell/ui/CBuildPanel.h"

#include "framework/COrvaneComposite.h"
#include "framework/COrvaneObjectTemplate.h"
#include "framework/COrvaneTagTree.h"
#include "game/shell/ui/CBuildPlacement.h"
#include "game/shell/ui/CBuildSubPanel.h"
#include "game/shell/ui/CInterface.h"
#include "game/simulation/objects/CDynamicObjectManager.h"
#include "game/simulation/objects/CPrisonStatistics.h"
#include "game/simulation/objects/CWorldObject.h"
#include "tests/game/shell/ui/PanelTestSupport.h"

#include <gtest/gtest.h>

namespace
{
// The demo menus. Grounds: cell blocks (small 20000 level 0, large 45000
// level 1), services (3), administration (1), grounds (fence, watchtower,
// balcony walk, wall). Inside, from the "CONTENTS" groups: cells (3), food
// (3), work (3), health (4), administration (planning 1, planning 2,
// clerical, execution room, guard room).
class CBuildPanelTest : public PanelTest
{
protected:
    void SetUp() override
    {
        PanelTest::SetUp();
        m_pkExternal = Ui().GetBuildPanel(false);
        m_pkInternal = Ui().GetBuildPanel(true);
        ASSERT_TRUE(m_pkExternal && m_pkInternal);
        ASSERT_NE(m_pkExternal->GetPage(), nullptr);
        ASSERT_NE(m_pkInternal->GetPage(), nullptr);
    }

    [[nodiscard]] static const COrvaneObjectTemplate* Held()
    {
        const CBuildPlacement* pkPlacement = CBuildPlacement::GetExisting();
        return pkPlacement != nullptr && pkPlacement->GetObject() != nullptr ? pkPlacement->GetTemplate() : nullptr;
    }

    CBuildPanel* m_pkExternal = nullptr;
    CBuildPanel* m_pkInternal = nullptr;
};

TEST_F(CBuildPanelTest, TheMenusComeFromTheDataWithTheirPlaces)
{
    CBuildSubPanel& kPage = *m_pkExternal->GetPage();
    ASSERT_EQ(kPage.GetCategories().size(), 4u);
    EXPECT_EQ(kPage.GetCategories()[3].m_kItems.size(), 4u);
    EXPECT_EQ(kPage.GetCategories()[0].m_kItems[1].m_kPicture, "images/panels/build/thumbs/cellblocks/cellblock_large.tga");
    EXPECT_EQ(kPage.GetGroupBase(), 0);
    EXPECT_EQ(m_pkInternal->GetPage()->GetCategories().size(), 5u);
    EXPECT_EQ(m_pkInternal->GetPage()->GetGroupBase(), 4); // "CONTENTS" groups follow the four "BUILDINGS" ones
    // Icon row at (x + 8, y + 40), page at (x, y + 78); the plate inside.
    EXPECT_EQ(m_pkExternal->GetChild(0)->GetX(), 8.0f);
    EXPECT_EQ(m_pkExternal->GetChild(0)->GetY(), 40.0f);
    EXPECT_EQ(kPage.GetY(), 78.0f);
    EXPECT_NE(dynamic_cast<CBuildPanelInternal*>(m_pkInternal)->GetPlate(), nullptr);

    // Items of saved objects are found by their model's file name.
    std::uint16_t usList = 0;
    std::uint16_t usEntry = 0;
    EXPECT_NE(Ui().AddBuildMenuItem(false, "prison1/grounds/watchtower.nif", usList, usEntry), nullptr);
    EXPECT_EQ(usList, Locale().FindList("PRISON1TEMPLATESBUILD_OBJECTSBUILDINGSCELLBLOCKS") + 3);
    EXPECT_EQ(usEntry, 1);
    EXPECT_EQ(Ui().AddBuildMenuItem(false, "prison1/grounds/moat.nif", usList, usEntry), nullptr);
    EXPECT_EQ(Ui().AddBuildMenuItem(true, "", usList, usEntry), nullptr);
}

TEST_F(CBuildPanelTest, AnIconClickSelectsItsCategoryAndPicksUpTheFirstItem)
{
    CBuildSubPanel& kPage = *m_pkExternal->GetPage();
    Ui().ShowPanel(CInterface::PANEL_BUILD_EXTERNAL, false);
    Click(*m_pkExternal->GetChild(0), 2);
    EXPECT_EQ(kPage.GetCurrentCategory(), 1);
    EXPECT_EQ(Held(), kPage.GetTemplate(1, 0));
    Click(*m_pkExternal->GetChild(0), 1);
    EXPECT_EQ(kPage.GetCurrentCategory(), 0);
    EXPECT_EQ(kPage.GetCurrentItemIndex(), 0);
    ASSERT_NE(Held(), nullptr);
    EXPECT_EQ(Held(), kPage.GetTemplate(0, 0));
    EXPECT_EQ(Ui().GetBuildItemPicture(false), kPage.GetCurrentPicture());

    // The large block needs level 1 and the secure one level 3: stepping
    // to them drops the held object (its thumbnail turns red); back again
    // picks up the small one.
    Click(kPage, CBuildSubPanel::WIDGET_FORWARD);
    EXPECT_EQ(kPage.GetCurrentItemIndex(), 1);
    EXPECT_EQ(Held(), nullptr);
    Click(kPage, CBuildSubPanel::WIDGET_FORWARD);
    EXPECT_EQ(kPage.GetCurrentItemIndex(), 2);
    EXPECT_EQ(Held(), nullptr);
    Click(kPage, CBuildSubPanel::WIDGET_FORWARD); // the last: nothing
    EXPECT_EQ(kPage.GetCurrentItemIndex(), 2);
    Click(kPage, CBuildSubPanel::WIDGET_BACK);
    Click(kPage, CBuildSubPanel::WIDGET_BACK);
    EXPECT_EQ(kPage.GetCurrentItemIndex(), 0);
    EXPECT_EQ(Held(), kPage.GetTemplate(0, 0));
    // Not enough money: nothing is held.
    Game().GetStatistics()->m_iStartingFunds = 0;
    Game().GetStatistics()->UpdateTotals();
    ASSERT_LT(Game().GetStatistics()->GetBalance(), 20000);
    m_pkExternal->RepeatItem();
    EXPECT_EQ(Held(), nullptr);

    // The demolish button brings out the marker; the page then shows the
    // demolish picture.
    Click(kPage, CBuildSubPanel::WIDGET_DEMOLISH);
    EXPECT_EQ(CBuildPlacement::GetExisting()->GetMode(), CBuildPlacement::MODE_MARKER);
    Frame(1.0f, 1.0f, false);
    EXPECT_TRUE(kPage.IsDemolishMode());
}

TEST_F(CBuildPanelTest, OnlyGroundsCategoryFiveMakesFencesAsBaseObjects)
{
    COrvaneObjectTemplate kFence;
    auto pkModel = std::make_unique<COrvaneComposite>();
    pkModel->SetName("garden_fence_01");
    kFence.m_kModels.push_back(std::make_shared<COrvaneModelEntry>(std::move(pkModel)));
    COrvaneObjectTemplate kBench;
    auto pkBench = std::make_unique<COrvaneComposite>();
    pkBench->SetName("bench");
    kBench.m_kModels.push_back(std::make_shared<COrvaneModelEntry>(std::move(pkBench)));
    const COrvaneObjectTemplate kNoModel;
    EXPECT_STREQ(CBuildSubPanelExternal::FactoryName(5, kFence), "BaseObjectFactory");
    EXPECT_STREQ(CBuildSubPanelExternal::FactoryName(5, kBench), "PathableObjectFactory");
    EXPECT_STREQ(CBuildSubPanelExternal::FactoryName(5, kNoModel), "PathableObjectFactory");
    EXPECT_STREQ(CBuildSubPanelExternal::FactoryName(3, kFence), "WorldObjectFactory");

    // Inside: by the category word, in order; 5 parameters or fewer: none.
    COrvaneObjectTemplate kInside;
    kInside.m_kParameters = {"2", "2", "100", "1", "0", "healthy food"};
    EXPECT_STREQ(CBuildSubPanelInternal::FactoryName(kInside), "FoodObjectFactory");
    kInside.m_kParameters[5] = "staffwork";
    EXPECT_STREQ(CBuildSubPanelInternal::FactoryName(kInside), "WorkObjectFactory");
    kInside.m_kParameters[5] = "visits";
    EXPECT_STREQ(CBuildSubPanelInternal::FactoryName(kInside), "PathableObjectFactory");
    kInside.m_kParameters.pop_back();
    EXPECT_EQ(CBuildSubPanelInternal::FactoryName(kInside), nullptr);
}

TEST_F(CBuildPanelTest, TheInsidePageStepsOnlyThroughItemsThatFitTheBuilding)
{
    // A building whose name holds two of the five administration words.
    CWorldObject kBuilding;
    kBuilding.SetName("planning and execution block");
    Game().SetSelectedBuilding(&kBuilding);
    auto& kPage = dynamic_cast<CBuildSubPanelInternal&>(*m_pkInternal->GetPage());
    kPage.SelectCategory(4);
    ASSERT_EQ(kPage.GetCurrentCategory(), 4);
    EXPECT_TRUE(kPage.Fits(0));
    EXPECT_TRUE(kPage.Fits(1));
    EXPECT_FALSE(kPage.Fits(2)); // clerical
    EXPECT_TRUE(kPage.Fits(3));
    kPage.StepItem(true);
    EXPECT_EQ(kPage.GetCurrentItemIndex(), 1);
    kPage.StepItem(true);
    EXPECT_EQ(kPage.GetCurrentItemIndex(), 3);
    kPage.StepItem(true); // the guard room does not fit: nothing
    EXPECT_EQ(kPage.GetCurrentItemIndex(), 3);
    kPage.StepItem(false);
    EXPECT_EQ(kPage.GetCurrentItemIndex(), 1);

    // A category none of whose items fits: the draw steps nowhere.
    kPage.SelectCategory(1);
    kPage.Draw();
    EXPECT_EQ(kPage.GetCurrentItemIndex(), 0);
    // Without a selected building nothing fits.
    Game().SetSelectedBuilding(nullptr);
    EXPECT_FALSE(kPage.Fits(0));
}

TEST_F(CBuildPanelTest, APageIsChosenByThePartOfTheNameAfterPrison)
{
    EXPECT_TRUE(m_pkExternal->SelectPageForBuilding("prison1/services/canteen_hall.nif"));
    EXPECT_EQ(m_pkExternal->GetPage()->GetCurrentCategory(), 1);
    EXPECT_FALSE(m_pkExternal->SelectPageForBuilding("prison1/nowhere/shed.nif"));
    EXPECT_EQ(m_pkExternal->GetPage()->GetCurrentCategory(), 1);
    // No "prison", or nothing after it.
    EXPECT_FALSE(m_pkExternal->SelectPageForBuilding("services/canteen_hall.nif"));
    EXPECT_FALSE(m_pkExternal->SelectPageForBuilding("prison1/"));
    EXPECT_FALSE(m_pkExternal->SelectPageForBuilding("prison"));
    EXPECT_FALSE(m_pkExternal->SelectPageForBuilding(""));
    EXPECT_TRUE(m_pkExternal->SelectPageForBuilding("old/prison1/grounds"));
    EXPECT_EQ(m_pkExternal->GetPage()->GetCurrentCategory(), 3);
}

TEST_F(CBuildPanelTest, MissingSectionsAndEmptyCategoriesPlaceNothing)
{
    WriteFileBytes("menu.xml", "<PRISON1>\r\n<BUILD_OBJECTS>\r\n<BUILDINGS>\r\n<panel>\r\n"
                               "images/panels/build/icons_ext.tga\r\nimages/panels/build/page.tga\r\n</panel>\r\n"
                               "<EMPTY>\r\n<plans>\r\n</plans>\r\n</EMPTY>\r\n<NO_PLANS>\r\n</NO_PLANS>\r\n"
                               "</BUILDINGS>\r\n<CONTENTS>\r\n<panel>\r\nimages/panels/build/icons_int.tga\r\n"
                               "images/panels/build/page.tga\r\n</panel>\r\n</CONTENTS>\r\n</BUILD_OBJECTS>\r\n"
                               "</PRISON1>\r\n");
    COrvaneTagTree kMenu;
    ASSERT_TRUE(kMenu.Load("menu.xml"));
    ASSERT_TRUE(m_pkExternal->Populate(&kMenu, true));
    CBuildSubPanel& kPage = *m_pkExternal->GetPage();
    ASSERT_EQ(kPage.GetCategories().size(), 2u);
    kPage.SelectCategory(0);
    kPage.SelectCategory(1);
    kPage.SelectCategory(7);
    kPage.SelectCategory(-1);
    kPage.StepItem(true);
    kPage.StepItem(false);
    kPage.PlaceItem();
    kPage.Draw();
    EXPECT_EQ(Held(), nullptr);
    EXPECT_EQ(m_pkExternal->GetItemPicture(), nullptr);
    std::uint16_t usList = 0;
    std::uint16_t usEntry = 0;
    EXPECT_EQ(m_pkExternal->FindItem("prison1/grounds/fence.nif", usList, usEntry), nullptr);

    // "CONTENTS" has no category after its panel: no page.
    EXPECT_FALSE(m_pkInternal->Populate(&kMenu, true));
    EXPECT_EQ(m_pkInternal->GetPage(), nullptr);
    m_pkInternal->RepeatItem();

    // Another level's prison is not in the document: no children at all.
    COrvaneTagTree kEmpty;
    EXPECT_FALSE(m_pkExternal->Populate(&kEmpty, true));
    EXPECT_EQ(m_pkExternal->GetChildCount(), 0);
    EXPECT_FALSE(m_pkExternal->Populate(nullptr, true));
    m_pkExternal->Draw();
    EXPECT_FALSE(m_pkExternal->SelectPageForBuilding("prison1/cellblocks/x"));
}
} // namespace
