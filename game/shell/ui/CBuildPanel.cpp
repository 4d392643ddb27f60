#include "game/shell/ui/CBuildPanel.h"

#include "framework/COrvaneTagTree.h"
#include "framework/COrvaneWidget.h"
#include "game/shell/CGame.h"
#include "game/shell/ui/CBuildPlacement.h"
#include "game/shell/ui/CBuildSubPanel.h"
#include "game/shell/ui/CInterface.h"
#include "game/shell/ui/PanelServices.h"

namespace
{
const NiColorRGBA WHITE(1.0f, 1.0f, 1.0f, 1.0f);
const NiColorRGBA GREY(0.7f, 0.7f, 0.7f, 1.0f);
const NiColorRGBA GREEN(0.0f, 1.0f, 0.0f, 1.0f);
} // namespace

// ---- Icons ----

CBuildPanelIcons::CBuildPanelIcons()
{
    CBuildPanelIcons::Reset();
}

void CBuildPanelIcons::Reset()
{
    CChildPanel::Reset();
    m_iSelected = 1;
}

void CBuildPanelIcons::Create(const char* pcImageName, float fX, float fY, bool bScale)
{
    COrvaneCanvas::Create(pcImageName, fX, fY, bScale);
    if (COrvaneWidget* pkSelected = GetWidget(m_iSelected))
        pkSelected->SetColor(GREEN);
}

void CBuildPanelIcons::OnWidgetEvent(std::int32_t iIndex, std::int32_t iEvent)
{
    COrvaneWidget* pkWidget = iIndex >= 0 ? GetWidget(iIndex) : nullptr;
    if (pkWidget == nullptr)
        return;
    if (iEvent == EVENT_HOVER || iEvent == EVENT_NORMAL)
    {
        if (iIndex != m_iSelected)
            pkWidget->SetColor(iEvent == EVENT_HOVER ? GREY : WHITE);
        return;
    }
    if (iEvent != EVENT_PRESSED)
        return;
    panel::ConsumeClick(true);
    if (COrvaneWidget* pkOld = GetWidget(m_iSelected); pkOld != nullptr && m_iSelected != iIndex)
        pkOld->SetColor(WHITE);
    m_iSelected = iIndex;
    pkWidget->SetColor(GREEN);
    if (CBasePanel* pkParent = GetParent())
        pkParent->OnChildEvent(GetChildIndex(), iIndex, EVENT_PRESSED);
}

// ---- Build panels ----

std::string CBuildPanel::PrisonSection()
{
    const CGame* pkGame = panel::Game();
    return "PRISON" + std::to_string((pkGame != nullptr ? pkGame->GetLevelNumber() : 0) + 1);
}

CBuildSubPanel* CBuildPanel::GetPage() const
{
    return dynamic_cast<CBuildSubPanel*>(GetChild(1));
}

void CBuildPanel::Close()
{
    (void)CBuildPlacement::GetInstance()->Clear();
    CInterface* pkInterface = panel::Interface();
    CGame* pkGame = panel::Game();
    if (pkInterface != nullptr && pkGame != nullptr && pkInterface->IsCanvasOpen(this, true))
        pkGame->SetGameSpeed(pkGame->GetSavedSpeed());
}

void CBuildPanel::OnChildEvent(std::int32_t iChild, std::int32_t iValue, std::int32_t iEvent)
{
    if (iChild != 0)
        return;
    if (CBuildSubPanel* pkPage = GetPage())
        pkPage->OnParentEvent(this, iValue, iEvent);
}

bool CBuildPanel::Populate(COrvaneTagTree* pkData, bool bRecreate)
{
    if (bRecreate)
        DeleteChildren();
    if (pkData == nullptr || !pkData->SelectSection(PrisonSection().c_str(), true) ||
        !pkData->FindChild("BUILD_OBJECTS") || !pkData->FindChild(MenuName()) || !pkData->FindChild("panel"))
        return false;
    const std::vector<std::string> kLayouts = pkData->GetValues();
    if (!kLayouts.empty())
    {
        auto pkIcons = std::make_unique<CBuildPanelIcons>();
        pkIcons->Create(panel::Trimmed(kLayouts[0]).c_str(), 0.0f, 0.0f, false);
        pkIcons->SetPosition(m_fX + 8.0f, m_fY + 40.0f, true);
        pkIcons->Show();
        AttachChild(std::move(pkIcons));
    }
    if (kLayouts.size() > 1)
    {
        std::unique_ptr<CBuildSubPanel> pkPage = MakePage();
        pkPage->Create(panel::Trimmed(kLayouts[1]).c_str(), 0.0f, 0.0f, false);
        // The categories follow the "panel" node.
        if (!pkData->SelectParent() || !pkData->FindChild(nullptr) || !pkData->NextSibling(nullptr))
            return false;
        pkPage->SetPosition(m_fX, m_fY + 78.0f, true);
        pkPage->Show();
        AttachChild(std::move(pkPage));
    }
    MadeChildren();
    return CBasePanel::Populate(pkData, bRecreate);
}

COrvaneImage* CBuildPanel::GetItemPicture() const
{
    const CBuildSubPanel* pkPage = GetPage();
    return pkPage != nullptr ? pkPage->GetCurrentPicture() : nullptr;
}

std::uint16_t CBuildPanel::GetItemTextList() const
{
    const CBuildSubPanel* pkPage = GetPage();
    return pkPage != nullptr ? pkPage->GetCurrentTextList() : 0;
}

std::int32_t CBuildPanel::GetItemIndex() const
{
    const CBuildSubPanel* pkPage = GetPage();
    return pkPage != nullptr ? pkPage->GetCurrentItemIndex() : 0;
}

const void* CBuildPanel::FindItem(const std::string& kModelPath, std::uint16_t& usList, std::uint16_t& usEntry) const
{
    const CBuildSubPanel* pkPage = GetPage();
    const CBuildSubPanel::Item* pkItem = pkPage != nullptr ? pkPage->FindItem(kModelPath, usList, usEntry) : nullptr;
    return pkItem != nullptr ? pkItem->m_pkThumbnail.get() : nullptr;
}

bool CBuildPanel::SelectPageForBuilding(const std::string& kBuildingName)
{
    const std::size_t uiPrison = kBuildingName.find("prison");
    if (uiPrison == std::string::npos)
        return false;
    const std::size_t uiStart = uiPrison + 6 + 2;
    if (uiStart >= kBuildingName.size())
        return false;
    const std::string kKey = kBuildingName.substr(uiStart, kBuildingName.find('/', uiStart) - uiStart);
    const CBuildSubPanel* pkPage = GetPage();
    const std::int32_t iCategory = pkPage != nullptr && !kKey.empty() ? pkPage->FindCategoryForKey(kKey) : -1;
    if (iCategory < 0)
        return false;
    OnChildEvent(0, iCategory + 1, EVENT_PRESSED);
    return true;
}

void CBuildPanel::RepeatItem()
{
    if (CBuildSubPanel* pkPage = GetPage())
        pkPage->PlaceItem();
}

std::unique_ptr<CBuildSubPanel> CBuildPanelExternal::MakePage() const
{
    return std::make_unique<CBuildSubPanelExternal>();
}

// ---- The inside menu ----

CBuildPanelInternal::CBuildPanelInternal()
{
    CBuildPanelInternal::Reset();
}

CBuildPanelInternal::~CBuildPanelInternal() = default;

void CBuildPanelInternal::Destroy()
{
    m_pkPlate.reset();
    CBuildPanel::Destroy();
}

void CBuildPanelInternal::Reset()
{
    CBuildPanel::Reset();
    m_pkPlate.reset();
}

std::unique_ptr<CBuildSubPanel> CBuildPanelInternal::MakePage() const
{
    return std::make_unique<CBuildSubPanelInternal>();
}

void CBuildPanelInternal::MadeChildren()
{
    m_pkPlate = panel::MakeImage(PLATE_IMAGE);
}

void CBuildPanelInternal::Draw()
{
    if (m_pkPlate)
        m_pkPlate->Draw(m_fX + 24.0f, m_fY + 39.0f);
    CBuildPanel::Draw();
}

void CBuildPanelInternal::OnWidgetEvent(std::int32_t iIndex, std::int32_t iEvent)
{
    if (iIndex == WIDGET_CLOSE && iEvent == EVENT_PRESSED)
    {
        if (CGame* pkGame = panel::Game())
            pkGame->ChangeFloor(0);
    }
    CBuildPanel::OnWidgetEvent(iIndex, iEvent);
}
