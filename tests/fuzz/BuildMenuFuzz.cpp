// The build menus: the input is a data document read as the game's
// "./data.xml"; both build panels populate themselves from its
// "PRISON1" / "BUILD_OBJECTS" section, every category and item is chosen,
// stepped through, drawn and looked up by its picture's name.

#include "framework/COrvaneTagTree.h"
#include "game/shell/ui/CBuildPanel.h"
#include "game/shell/ui/CBuildSubPanel.h"
#include "tests/fuzz/FuzzDemoData.h"
#include "tests/fuzz/FuzzSupport.h"

#include <cstdint>
#include <cstdlib>
#include <fstream>

namespace
{
void Check(bool bHolds)
{
    if (!bHolds)
        std::abort();
}

void Exercise(CBuildPanel& kPanel, COrvaneTagTree& kData)
{
    const bool bPopulated = kPanel.Populate(&kData, true);
    if (!bPopulated)
        Check(kPanel.GetPage() == nullptr);
    CBuildSubPanel* pkPage = kPanel.GetPage();
    if (pkPage == nullptr)
    {
        kPanel.RepeatItem();
        Check(kPanel.GetItemPicture() == nullptr);
        return;
    }
    const auto iCategories = static_cast<std::int32_t>(pkPage->GetCategories().size());
    for (std::int32_t c = -1; c <= iCategories; ++c)
    {
        pkPage->SelectCategory(c);
        Check(pkPage->GetCurrentCategory() >= 0 && pkPage->GetCurrentCategory() < iCategories);
        pkPage->StepItem(true);
        pkPage->StepItem(false);
        pkPage->Draw();
    }
    for (const CBuildSubPanel::Category& kCategory : pkPage->GetCategories())
    {
        for (const CBuildSubPanel::Item& kItem : kCategory.m_kItems)
        {
            std::uint16_t usList = 0;
            std::uint16_t usEntry = 0;
            (void)kPanel.FindItem(kItem.m_kPicture, usList, usEntry);
            (void)kPanel.SelectPageForBuilding(kItem.m_kPicture);
        }
    }
}
} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* pucData, std::size_t uiSize)
{
    if (!EnterDemoData("build-menu"))
        return 0;
    {
        std::ofstream kOut("menu.xml", std::ios::binary | std::ios::trunc);
        kOut.write(reinterpret_cast<const char*>(pucData), static_cast<std::streamsize>(uiSize));
        if (!kOut)
            return 0;
    }
    COrvaneTagTree kData;
    (void)kData.Load("menu.xml");
    CBuildPanelExternal kGrounds;
    Exercise(kGrounds, kData);
    CBuildPanelInternal kInside;
    Exercise(kInside, kData);
    return 0;
}
