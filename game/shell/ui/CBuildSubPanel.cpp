#include "game/shell/ui/CBuildSubPanel.h"

#include "framework/COrvaneComposite.h"
#include "framework/COrvaneObjectTemplate.h"
#include "framework/COrvaneTagTree.h"
#include "framework/COrvaneWidget.h"
#include "game/shell/CGame.h"
#include "game/shell/CLocale.h"
#include "game/shell/ui/CBuildPanel.h"
#include "game/shell/ui/CBuildPlacement.h"
#include "game/shell/ui/CInterface.h"
#include "game/shell/ui/PanelServices.h"
#include "game/simulation/objects/CDynamicObjectManager.h"
#include "game/simulation/objects/CPrisonStatistics.h"
#include "game/simulation/objects/CWorld.h"
#include "game/simulation/objects/CWorldObject.h"

#include <cstdlib>

namespace
{
const NiColorRGBA WHITE(1.0f, 1.0f, 1.0f, 1.0f);
const NiColorRGBA RED(1.0f, 0.0f, 0.0f, 1.0f);

std::unique_ptr<COrvaneImage> MakeImage(const std::string& kPath)
{
    return panel::MakeImage(kPath);
}

COrvaneObjectFactory* FindFactory(const char* pcName)
{
    if (pcName == nullptr)
        return nullptr;
    CGame* pkGame = panel::Game();
    return CDynamicObjectManager::GetInstance()->FindFactory(pcName, pkGame != nullptr ? pkGame->GetWorld() : nullptr);
}

// The first child of the node whose name holds the text.
const COrvaneTagNode* ChildHolding(const COrvaneTagNode& kNode, const char* pcText)
{
    for (std::size_t i = 0; i < kNode.GetChildCount(); ++i)
        if (kNode.GetChild(i)->GetName().find(pcText) != std::string::npos)
            return kNode.GetChild(i);
    return nullptr;
}
} // namespace

CBuildSubPanel::CBuildSubPanel()
{
    CBuildSubPanel::Reset();
}

CBuildSubPanel::~CBuildSubPanel() = default;

void CBuildSubPanel::Destroy()
{
    m_kCategories.clear();
    m_pkDemolish.reset();
    CChildPanel::Destroy();
    CBuildSubPanel::Reset();
}

void CBuildSubPanel::Reset()
{
    CChildPanel::Reset();
    m_pkDemolish.reset();
    m_ucDemolish = 0;
    m_sSecurityList = 0;
    m_sExtraList = 0;
    m_kCategories.clear();
    m_iCategory = 0;
    m_iItem = 0;
    m_sDescriptionBase = 0;
    m_iGroupBase = 0;
    m_pkTemplate = nullptr;
}

void CBuildSubPanel::Create(const char* pcImageName, float fX, float fY, bool bScale)
{
    COrvaneCanvas::Create(pcImageName, fX, fY, bScale);
    m_pkDemolish = MakeImage(DEMOLISH_IMAGE);
    if (const CLocale* pkLocale = panel::Locale())
    {
        m_sSecurityList = pkLocale->FindList("security_level_text");
        m_sExtraList = pkLocale->FindList("build_panel_extra_text");
        m_sDescriptionBase = pkLocale->FindList(DescriptionListName().c_str());
    }
}

bool CBuildSubPanel::Populate(COrvaneTagTree* pkData)
{
    const COrvaneTagNode* pkCategory = pkData != nullptr ? pkData->GetCursor() : nullptr;
    const COrvaneTagNode* pkParent = pkCategory != nullptr ? pkCategory->GetParent() : nullptr;
    if (pkParent == nullptr)
        return false;
    std::size_t uiFirst = 0;
    while (uiFirst < pkParent->GetChildCount() && pkParent->GetChild(uiFirst) != pkCategory)
        ++uiFirst;
    for (std::size_t c = uiFirst; c < pkParent->GetChildCount(); ++c)
    {
        Category kCategory;
        if (const COrvaneTagNode* pkPlans = ChildHolding(*pkParent->GetChild(c), "plans"))
        {
            for (std::size_t i = 0; i < pkPlans->GetChildCount(); ++i)
            {
                const COrvaneTagNode* pkThumbnail = ChildHolding(*pkPlans->GetChild(i), "thumbnail");
                if (pkThumbnail == nullptr || pkThumbnail->GetValues().empty())
                    continue;
                Item kItem;
                kItem.m_kPicture = panel::Trimmed(pkThumbnail->GetValues()[0]);
                if (pkThumbnail->GetValues().size() > 1)
                    kItem.m_usNumber = static_cast<std::uint16_t>(
                        std::strtoul(panel::Trimmed(pkThumbnail->GetValues()[1]).c_str(), nullptr, 10));
                kItem.m_pkThumbnail = MakeImage(kItem.m_kPicture);
                kCategory.m_kItems.push_back(std::move(kItem));
            }
        }
        m_kCategories.push_back(std::move(kCategory));
    }
    return true;
}

std::int32_t CBuildSubPanel::ItemCount(std::int32_t iCategory) const
{
    if (iCategory < 0 || iCategory >= static_cast<std::int32_t>(m_kCategories.size()))
        return 0;
    return static_cast<std::int32_t>(m_kCategories[static_cast<std::size_t>(iCategory)].m_kItems.size());
}

const CBuildSubPanel::Item* CBuildSubPanel::GetCurrentItem() const
{
    if (m_iItem < 0 || m_iItem >= ItemCount(m_iCategory))
        return nullptr;
    return &m_kCategories[static_cast<std::size_t>(m_iCategory)].m_kItems[static_cast<std::size_t>(m_iItem)];
}

COrvaneImage* CBuildSubPanel::GetCurrentPicture() const
{
    const Item* pkItem = GetCurrentItem();
    return pkItem != nullptr ? pkItem->m_pkThumbnail.get() : nullptr;
}

std::uint16_t CBuildSubPanel::GetCurrentTextList() const
{
    return static_cast<std::uint16_t>(m_sDescriptionBase + m_iCategory);
}

COrvaneObjectTemplate* CBuildSubPanel::GetTemplate(std::int32_t iCategory, std::int32_t iItem) const
{
    const std::int32_t iGroup = m_iGroupBase + iCategory;
    if (iCategory < 0 || iItem < 0 || iGroup < 0 || iGroup > 0xFFFF || iItem > 0xFFFF)
        return nullptr;
    return CDynamicObjectManager::GetInstance()->GetTemplate(static_cast<std::uint16_t>(iGroup),
                                                             static_cast<std::uint16_t>(iItem));
}

bool CBuildSubPanel::IsEmptyTemplate(const COrvaneObjectTemplate* pkTemplate)
{
    return pkTemplate == nullptr || (pkTemplate->m_kModels.empty() && pkTemplate->m_kAnimations.empty());
}

std::int32_t CBuildSubPanel::IntParameter(const COrvaneObjectTemplate& kTemplate, std::size_t uiIndex)
{
    if (uiIndex >= kTemplate.m_kParameters.size())
        return 0;
    return static_cast<std::int32_t>(std::strtol(kTemplate.m_kParameters[uiIndex].c_str(), nullptr, 10));
}

void CBuildSubPanel::ColourCurrentThumbnail()
{
    COrvaneImage* pkThumbnail = GetCurrentPicture();
    if (pkThumbnail == nullptr)
        return;
    const CBuildPlacement* pkPlacement = CBuildPlacement::GetExisting();
    const bool bHolding = pkPlacement != nullptr && pkPlacement->GetObject() != nullptr &&
                          pkPlacement->GetMode() != CBuildPlacement::MODE_MARKER;
    pkThumbnail->SetColor(bHolding ? WHITE : RED);
}

void CBuildSubPanel::SelectCategory(std::int32_t iCategory)
{
    if (iCategory < 0 || ItemCount(iCategory) == 0)
        return;
    m_iItem = 0;
    m_iCategory = iCategory;
    PlaceItem();
}

void CBuildSubPanel::OnParentEvent(CBasePanel* pkParent, std::int32_t iValue, std::int32_t iEvent)
{
    if (pkParent != GetParent() || iEvent != EVENT_PRESSED)
        return;
    // Icon widgets start at 1.
    SelectCategory(iValue - 1);
    PlaceItem();
}

void CBuildSubPanel::OnWidgetEvent(std::int32_t iIndex, std::int32_t iEvent)
{
    COrvaneCanvas::OnWidgetEvent(iIndex, iEvent);
    if (iEvent != EVENT_PRESSED)
        return;
    // Once per click: a held button would otherwise make a new object
    // every frame.
    panel::ConsumeClick(true);
    if (iIndex == WIDGET_DEMOLISH)
        CBuildPlacement::GetInstance()->BeginMarker();
    else if (iIndex == WIDGET_FORWARD && m_iItem < ItemCount(m_iCategory) - 1)
        StepItem(true);
    else if (iIndex == WIDGET_BACK && m_iItem > 0)
        StepItem(false);
}

void CBuildSubPanel::UpdateHover()
{
    COrvaneCanvas::UpdateHover();
    const CBuildPlacement* pkPlacement = CBuildPlacement::GetExisting();
    m_ucDemolish = pkPlacement != nullptr && pkPlacement->GetMode() == CBuildPlacement::MODE_MARKER ? 1 : 0;
}

void CBuildSubPanel::Draw()
{
    COrvaneCanvas::Draw();
    const float fX = m_fX;
    const float fY = m_fY;
    if (m_ucDemolish != 0)
    {
        if (m_pkDemolish)
            m_pkDemolish->Draw(fX + 32.0f, fY + 16.0f);
        return;
    }
    COrvaneImage* pkThumbnail = GetCurrentPicture();
    if (pkThumbnail == nullptr)
        return;
    pkThumbnail->Draw(fX + 32.0f, fY + 16.0f);
    CLocale* pkLocale = panel::Locale();
    if (pkLocale == nullptr || IsEmptyTemplate(m_pkTemplate))
        return;
    const std::vector<std::string>& kParameters = m_pkTemplate->m_kParameters;
    pkLocale->BeginFont(0);
    if (kParameters.size() > PARAMETER_PRICE)
    {
        (void)pkLocale->DrawText(0, m_sExtraList, 0, fX + 146.0f, fY + 15.0f, 0, nullptr);
        pkLocale->DrawTextAt(0, fX + 181.0f, fY + 15.0f, panel::Trimmed(kParameters[PARAMETER_PRICE]));
    }
    if (GetLevelParameterIndex() < kParameters.size())
    {
        const auto usLevel = static_cast<std::uint16_t>(IntParameter(*m_pkTemplate, GetLevelParameterIndex()));
        if (CInterface* pkInterface = panel::Interface())
            pkInterface->DrawSecurityLevelIcon(usLevel, fX + 146.0f, fY + 33.0f);
        (void)pkLocale->DrawText(0, m_sSecurityList, usLevel, fX + 166.0f, fY + 34.0f, 0, nullptr);
    }
    COrvaneWidgetRect kBox;
    kBox.m_fX = fX + 146.0f;
    kBox.m_fY = fY + 52.0f;
    kBox.m_fWidth = 79.0f;
    kBox.m_fHeight = 100.0f;
    (void)pkLocale->DrawText(0, GetCurrentTextList(), m_iItem, kBox.m_fX, kBox.m_fY, 0, &kBox);
    pkLocale->FlushFont(0);
}

const CBuildSubPanel::Item* CBuildSubPanel::FindItem(const std::string& kModelPath, std::uint16_t& usList,
                                                     std::uint16_t& usEntry) const
{
    std::string kKey = kModelPath;
    if (const std::size_t uiSlash = kKey.find_last_of("/\\"); uiSlash != std::string::npos)
        kKey = kKey.substr(uiSlash + 1);
    if (const std::size_t uiDot = kKey.rfind('.'); uiDot != std::string::npos)
        kKey = kKey.substr(0, uiDot);
    if (kKey.empty())
        return nullptr;
    for (std::size_t c = 0; c < m_kCategories.size(); ++c)
    {
        const std::vector<Item>& kItems = m_kCategories[c].m_kItems;
        for (std::size_t i = 0; i < kItems.size(); ++i)
        {
            if (kItems[i].m_kPicture.find(kKey) == std::string::npos)
                continue;
            usList = static_cast<std::uint16_t>(m_sDescriptionBase + static_cast<std::int32_t>(c));
            usEntry = static_cast<std::uint16_t>(i);
            return &kItems[i];
        }
    }
    return nullptr;
}

std::int32_t CBuildSubPanel::FindCategoryForKey(const std::string& kKey) const
{
    for (std::size_t c = 0; c < m_kCategories.size(); ++c)
    {
        const std::vector<Item>& kItems = m_kCategories[c].m_kItems;
        if (!kItems.empty() && kItems.front().m_kPicture.find(kKey) != std::string::npos)
            return static_cast<std::int32_t>(c);
    }
    return -1;
}

// ---- The grounds page ----

std::string CBuildSubPanelExternal::DescriptionListName() const
{
    return CBuildPanel::PrisonSection() + "TEMPLATES" + "BUILD_OBJECTSBUILDINGSCELLBLOCKS";
}

const char* CBuildSubPanelExternal::FactoryName(std::int32_t iCategory, const COrvaneObjectTemplate& kTemplate)
{
    if (iCategory != 5)
        return "WorldObjectFactory";
    const COrvaneComposite* pkModel =
        !kTemplate.m_kModels.empty() && kTemplate.m_kModels.front() ? kTemplate.m_kModels.front()->Get() : nullptr;
    const char* pcName = pkModel != nullptr ? pkModel->GetName() : nullptr;
    return pcName != nullptr && std::string(pcName).find("fence") != std::string::npos ? "BaseObjectFactory"
                                                                                      : "PathableObjectFactory";
}

void CBuildSubPanelExternal::StepItem(bool bForward)
{
    if (!bForward && m_iItem > 0)
        --m_iItem;
    else if (bForward && m_iItem < ItemCount(m_iCategory) - 1)
        ++m_iItem;
    PlaceItem();
}

void CBuildSubPanelExternal::PlaceItem()
{
    if (GetCurrentItem() == nullptr)
        return;
    m_pkTemplate = GetTemplate(m_iCategory, m_iItem);
    if (IsEmptyTemplate(m_pkTemplate))
        return;
    COrvaneObjectFactory* pkFactory = FindFactory(FactoryName(m_iCategory, *m_pkTemplate));
    const std::int32_t iPrice = IntParameter(*m_pkTemplate, PARAMETER_PRICE);
    const std::int32_t iLevel = IntParameter(*m_pkTemplate, PARAMETER_LEVEL);
    CBuildPlacement* pkPlacement = CBuildPlacement::GetInstance();
    (void)pkPlacement->Clear();
    const CPrisonStatistics* pkStatistics = panel::Statistics();
    const std::int32_t iBalance = pkStatistics != nullptr ? pkStatistics->GetBalance() : 0;
    const std::int32_t iPrisonLevel = pkStatistics != nullptr ? pkStatistics->m_usPrisonLevel : 0;
    if (iPrice <= iBalance && iLevel <= iPrisonLevel)
        (void)pkPlacement->BeginPlacing(static_cast<std::uint16_t>(m_iCategory), static_cast<std::uint16_t>(m_iItem),
                                        pkFactory);
    ColourCurrentThumbnail();
}

// ---- The inside page ----

std::string CBuildSubPanelInternal::DescriptionListName() const
{
    return CBuildPanel::PrisonSection() + "TEMPLATES" + "BUILD_OBJECTSCONTENTSCELLBLOCKS";
}

void CBuildSubPanelInternal::Create(const char* pcImageName, float fX, float fY, bool bScale)
{
    CBuildSubPanel::Create(pcImageName, fX, fY, bScale);
    const CDynamicObjectManager* pkManager = CDynamicObjectManager::GetInstance();
    const int iContents = pkManager->FindTemplateGroup("CONTENTS");
    const int iBuildings = pkManager->FindTemplateGroup("BUILDINGS");
    m_iGroupBase = iContents >= 0 && iBuildings >= 0 ? iContents - iBuildings : 0;
}

const char* CBuildSubPanelInternal::FactoryName(const COrvaneObjectTemplate& kTemplate)
{
    if (kTemplate.m_kParameters.size() <= PARAMETER_CATEGORY_WORD)
        return nullptr;
    const std::string& kWord = kTemplate.m_kParameters[PARAMETER_CATEGORY_WORD];
    if (kWord.find("cell") != std::string::npos)
        return "CellFactory";
    if (kWord.find("work") != std::string::npos)
        return "WorkObjectFactory";
    if (kWord.find("food") != std::string::npos)
        return "FoodObjectFactory";
    if (kWord.find("health") != std::string::npos)
        return "HospitalObjectFactory";
    if (kWord.find("staff") != std::string::npos)
        return "AdminRoomFactory";
    return "PathableObjectFactory";
}

bool CBuildSubPanelInternal::Fits(std::int32_t iItem) const
{
    const COrvaneObjectTemplate* pkTemplate = GetTemplate(m_iCategory, iItem);
    if (pkTemplate == nullptr || pkTemplate->m_kParameters.size() <= PARAMETER_CATEGORY_WORD)
        return false;
    const CGame* pkGame = panel::Game();
    const CWorldObject* pkBuilding = pkGame != nullptr ? pkGame->GetSelectedBuilding() : nullptr;
    return pkBuilding != nullptr &&
           pkBuilding->NameContains(panel::Trimmed(pkTemplate->m_kParameters[PARAMETER_CATEGORY_WORD]).c_str());
}

void CBuildSubPanelInternal::StepItem(bool bForward)
{
    const std::int32_t iCount = ItemCount(m_iCategory);
    const std::int32_t iStep = bForward ? 1 : -1;
    for (std::int32_t i = m_iItem + iStep; i >= 0 && i < iCount; i += iStep)
    {
        if (Fits(i))
        {
            m_iItem = i;
            PlaceItem();
            return;
        }
    }
}

void CBuildSubPanelInternal::PlaceItem()
{
    if (GetCurrentItem() == nullptr)
        return;
    m_pkTemplate = GetTemplate(m_iCategory, m_iItem);
    if (IsEmptyTemplate(m_pkTemplate))
        return;
    CBuildPlacement* pkPlacement = CBuildPlacement::GetInstance();
    (void)pkPlacement->BeginPlacing(static_cast<std::uint16_t>(m_iGroupBase + m_iCategory),
                                    static_cast<std::uint16_t>(m_iItem), FindFactory(FactoryName(*m_pkTemplate)));
    if (!pkPlacement->CanPlace())
        (void)pkPlacement->Clear();
    ColourCurrentThumbnail();
}

void CBuildSubPanelInternal::UpdateHover()
{
    CBuildSubPanel::UpdateHover();
    if (GetCurrentItem() != nullptr && !Fits(m_iItem))
        StepItem(true);
}

void CBuildSubPanelInternal::Draw()
{
    if (GetCurrentItem() != nullptr && !Fits(m_iItem))
        StepItem(true);
    CBuildSubPanel::Draw();
}
