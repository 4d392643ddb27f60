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

#include <string>
#include <vector>

namespace
{
// The demo menus. Grounds: cell blocks (small 20000 level 0, large 35000
// level 1, secure level 3), workshop, canteen, hospital, administration (one
// each), fences (fence, watchtower, balcony walk, wall). Inside, from the
// "CONTENTS" groups: cells (6) and the games table, food (3), work (3),
// health (4), administration (planning 1, planning 2, clerical, execution
// room, guard room).
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
    ASSERT_EQ(kPage.GetCategories().size(), 6u);
    EXPECT_EQ(kPage.GetCategories()[5].m_kItems.size(), 4u);
    EXPECT_EQ(kPage.GetCategories()[0].m_kItems[1].m_kPicture, "images/panels/build/thumbs/cellblocks/cellblock_large.tga");
    EXPECT_EQ(kPage.GetGroupBase(), 0);
    EXPECT_EQ(m_pkInternal->GetPage()->GetCategories().size(), 5u);
    EXPECT_EQ(m_pkInternal->GetPage()->GetGroupBase(), 6); // "CONTENTS" groups follow the six "BUILDINGS" ones
    // Icon row at (x + 8, y + 40), page at (x, y + 78); the plate inside.
    EXPECT_EQ(m_pkExternal->GetChild(0)->GetX(), 8.0f);
    EXPECT_EQ(m_pkExternal->GetChild(0)->GetY(), 40.0f);
    EXPECT_EQ(kPage.GetY(), 78.0f);
    EXPECT_NE(dynamic_cast<CBuildPanelInternal*>(m_pkInternal)->GetPlate(), nullptr);

    // Items of saved objects are found by their model's file name.
    std::uint16_t usList = 0;
    std::uint16_t usEntry = 0;
    EXPECT_NE(Ui().AddBuildMenuItem(false, "prison1/grounds/watchtower.nif", usList, usEntry), nullptr);
    EXPECT_EQ(usList, Locale().FindList("PRISON1TEMPLATESBUILD_OBJECTSBUILDINGSCELLBLOCKS") + 5);
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
    // A building whose name holds one of the two health words.
    CWorldObject kBuilding;
    kBuilding.SetName("health wing");
    Game().SetSelectedBuilding(&kBuilding);
    auto& kPage = dynamic_cast<CBuildSubPanelInternal&>(*m_pkInternal->GetPage());
    kPage.SelectCategory(3);
    ASSERT_EQ(kPage.GetCurrentCategory(), 3);
    EXPECT_TRUE(kPage.Fits(0));
    EXPECT_TRUE(kPage.Fits(1));
    EXPECT_TRUE(kPage.Fits(2));
    EXPECT_FALSE(kPage.Fits(3)); // counselling: "therapy"
    kPage.StepItem(true);
    EXPECT_EQ(kPage.GetCurrentItemIndex(), 1);
    kPage.StepItem(true);
    EXPECT_EQ(kPage.GetCurrentItemIndex(), 2);
    kPage.StepItem(true); // the counselling room does not fit: nothing
    EXPECT_EQ(kPage.GetCurrentItemIndex(), 2);
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

TEST_F(CBuildPanelTest, EveryInsideItemFitsOneOfTheFiveBuildings)
{
    // The buildings of grounds categories 0-4 by their model's name; the
    // fences (5) hold nothing.
    const CBuildSubPanel& kGrounds = *m_pkExternal->GetPage();
    std::vector<std::string> kBuildings;
    for (std::int32_t c = 0; c < 5; ++c)
        for (std::int32_t i = 0; i < static_cast<std::int32_t>(kGrounds.GetCategories()[static_cast<std::size_t>(c)].m_kItems.size()); ++i)
        {
            const COrvaneObjectTemplate* pkTemplate = kGrounds.GetTemplate(c, i);
            ASSERT_NE(pkTemplate, nullptr);
            ASSERT_FALSE(pkTemplate->m_kModels.empty());
            kBuildings.emplace_back(pkTemplate->m_kModels.front()->Get()->GetName());
        }
    ASSERT_GE(kBuildings.size(), 5u);
    auto& kPage = dynamic_cast<CBuildSubPanelInternal&>(*m_pkInternal->GetPage());
    CWorldObject kBuilding;
    std::vector<bool> kHoldsSomething(kBuildings.size(), false);
    for (std::int32_t c = 0; c < static_cast<std::int32_t>(kPage.GetCategories().size()); ++c)
    {
        kPage.SelectCategory(c);
        for (std::int32_t i = 0; i < static_cast<std::int32_t>(kPage.GetCategories()[static_cast<std::size_t>(c)].m_kItems.size()); ++i)
        {
            bool bFits = false;
            for (std::size_t b = 0; b < kBuildings.size(); ++b)
            {
                kBuilding.SetName(kBuildings[b].c_str());
                Game().SetSelectedBuilding(&kBuilding);
                if (kPage.Fits(i))
                {
                    bFits = true;
                    kHoldsSomething[b] = true;
                }
            }
            EXPECT_TRUE(bFits) << "inside category " << c << ", item " << i;
        }
    }
    Game().SetSelectedBuilding(nullptr);
    for (std::size_t b = 0; b < kBuildings.size(); ++b)
        EXPECT_TRUE(kHoldsSomething[b]) << kBuildings[b];
}

TEST_F(CBuildPanelTest, APageIsChosenByThePartOfTheNameAfterPrison)
{
    EXPECT_TRUE(m_pkExternal->SelectPageForBuilding("prison1/canteens/canteen_food.nif"));
    EXPECT_EQ(m_pkExternal->GetPage()->GetCurrentCategory(), 2);
    EXPECT_FALSE(m_pkExternal->SelectPageForBuilding("prison1/nowhere/shed.nif"));
    EXPECT_EQ(m_pkExternal->GetPage()->GetCurrentCategory(), 2);
    // Each building opens the inside page on the category of its rooms
    // (cells, food, work, health, administration).
    const char* const apcBuildings[] = {"prison1/cellblocks/cellblock_small.nif", "prison1/canteens/canteen_food.nif",
                                        "prison1/workshops/workshop_maint.nif", "prison1/hospitals/hospital_health_therapy.nif",
                                        "prison1/admin/admin_staff_security_indoor.nif"};
    for (std::int32_t c = 4; c >= 0; --c)
    {
        SCOPED_TRACE(apcBuildings[c]);
        EXPECT_TRUE(m_pkInternal->SelectPageForBuilding(apcBuildings[c]));
        EXPECT_EQ(m_pkInternal->GetPage()->GetCurrentCategory(), c);
    }
    // No "prison", or nothing after it.
    EXPECT_FALSE(m_pkExternal->SelectPageForBuilding("canteens/canteen_food.nif"));
    EXPECT_FALSE(m_pkExternal->SelectPageForBuilding("prison1/"));
    EXPECT_FALSE(m_pkExternal->SelectPageForBuilding("prison"));
    EXPECT_FALSE(m_pkExternal->SelectPageForBuilding(""));
    EXPECT_TRUE(m_pkExternal->SelectPageForBuilding("old/prison1/grounds"));
    EXPECT_EQ(m_pkExternal->GetPage()->GetCurrentCategory(), 5);
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
