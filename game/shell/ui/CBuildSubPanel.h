#pragma once

#include "game/shell/ui/CBasePanel.h"

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

class COrvaneImage;
class COrvaneObjectFactory;
class COrvaneObjectTemplate;
class COrvaneTagTree;

// The page of a build panel: one item of the current category at a time
// (picture, price, security level, description), arrows to step through the
// items and the demolish button. The current item is always the one the
// build placement holds.
class CBuildSubPanel : public CChildPanel
{
public:
    static constexpr const char* DEMOLISH_IMAGE = "images/panels/build/demolish.tga";
    static constexpr std::int32_t WIDGET_BACK = 1;
    static constexpr std::int32_t WIDGET_FORWARD = 2;
    static constexpr std::int32_t WIDGET_DEMOLISH = 3;
    // Template parameters.
    static constexpr std::size_t PARAMETER_PRICE = 2;
    static constexpr std::size_t PARAMETER_LEVEL = 3;
    static constexpr std::size_t PARAMETER_SECURITY = 4;
    static constexpr std::size_t PARAMETER_CATEGORY_WORD = 5;

    struct Item
    {
        std::uint16_t m_usNumber = 0;
        std::string m_kPicture; // the thumbnail's file
        std::unique_ptr<COrvaneImage> m_pkThumbnail;
    };
    struct Category
    {
        std::vector<Item> m_kItems;
    };

    CBuildSubPanel();
    ~CBuildSubPanel() override;

    void Destroy() override;
    void Reset() override;
    void OnWidgetEvent(std::int32_t iIndex, std::int32_t iEvent) override;
    void UpdateHover() override;
    void Draw() override;
    void Create(const char* pcImageName, float fX, float fY, bool bScale) override;
    void OnParentEvent(CBasePanel* pkParent, std::int32_t iValue, std::int32_t iEvent) override;
    // The categories from the cursor's node and its following siblings.
    bool Populate(COrvaneTagTree* pkData) override;

    virtual void StepItem(bool bForward) = 0;
    [[nodiscard]] virtual std::size_t GetLevelParameterIndex() const = 0;
    virtual void PlaceItem() = 0;

    // Ignored for a negative, unknown or empty category.
    void SelectCategory(std::int32_t iCategory);
    // The item whose picture's name holds the model's file name (no folder,
    // no extension); null when none does.
    const Item* FindItem(const std::string& kModelPath, std::uint16_t& usList, std::uint16_t& usEntry) const;
    // The first category whose first picture holds the key.
    [[nodiscard]] std::int32_t FindCategoryForKey(const std::string& kKey) const;

    // The template of (category, item) in this page's groups; null when
    // either is out of range.
    [[nodiscard]] COrvaneObjectTemplate* GetTemplate(std::int32_t iCategory, std::int32_t iItem) const;
    // Null when there is no such item (no categories, an empty one).
    [[nodiscard]] const Item* GetCurrentItem() const;
    [[nodiscard]] COrvaneImage* GetCurrentPicture() const;
    [[nodiscard]] std::uint16_t GetCurrentTextList() const;
    [[nodiscard]] std::int32_t GetCurrentCategory() const { return m_iCategory; }
    [[nodiscard]] std::int32_t GetCurrentItemIndex() const { return m_iItem; }
    [[nodiscard]] const std::vector<Category>& GetCategories() const { return m_kCategories; }
    [[nodiscard]] std::int32_t GetGroupBase() const { return m_iGroupBase; }
    [[nodiscard]] bool IsDemolishMode() const { return m_ucDemolish != 0; }
    [[nodiscard]] const COrvaneObjectTemplate* GetCurrentTemplate() const { return m_pkTemplate; }

    // Empty: neither models nor animations.
    [[nodiscard]] static bool IsEmptyTemplate(const COrvaneObjectTemplate* pkTemplate);
    [[nodiscard]] static std::int32_t IntParameter(const COrvaneObjectTemplate& kTemplate, std::size_t uiIndex);
    // The text a description list's name starts with for this page.
    [[nodiscard]] virtual std::string DescriptionListName() const = 0;

protected:
    // White, or red when nothing is held or the marker is out.
    void ColourCurrentThumbnail();
    [[nodiscard]] std::int32_t ItemCount(std::int32_t iCategory) const;

    std::unique_ptr<COrvaneImage> m_pkDemolish;
    std::uint8_t m_ucDemolish = 0;
    std::int16_t m_sSecurityList = 0;
    std::int16_t m_sExtraList = 0;
    std::vector<Category> m_kCategories;
    std::int32_t m_iCategory = 0;
    std::int32_t m_iItem = 0;
    std::int16_t m_sDescriptionBase = 0;
    std::int32_t m_iGroupBase = 0;
    COrvaneObjectTemplate* m_pkTemplate = nullptr; // link: the registry owns it
};

// The grounds page: buildings, fences and outdoor objects.
class CBuildSubPanelExternal : public CBuildSubPanel
{
public:
    void StepItem(bool bForward) override;
    [[nodiscard]] std::size_t GetLevelParameterIndex() const override { return PARAMETER_LEVEL; }
    void PlaceItem() override;
    [[nodiscard]] std::string DescriptionListName() const override;
    // The factory of a grounds item by its category.
    [[nodiscard]] static const char* FactoryName(std::int32_t iCategory, const COrvaneObjectTemplate& kTemplate);
};

// The inside page: what may go into the selected building.
class CBuildSubPanelInternal : public CBuildSubPanel
{
public:
    void Create(const char* pcImageName, float fX, float fY, bool bScale) override;
    void UpdateHover() override;
    void Draw() override;
    void StepItem(bool bForward) override;
    [[nodiscard]] std::size_t GetLevelParameterIndex() const override { return PARAMETER_SECURITY; }
    void PlaceItem() override;
    [[nodiscard]] std::string DescriptionListName() const override;
    // The factory of an inside item by its category word; null with 5 or
    // fewer parameters.
    [[nodiscard]] static const char* FactoryName(const COrvaneObjectTemplate& kTemplate);
    // The item's template names a category word the selected building's
    // name holds.
    [[nodiscard]] bool Fits(std::int32_t iItem) const;
};
