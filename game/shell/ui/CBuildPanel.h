#pragma once

#include "game/shell/ui/CBasePanel.h"

#include <cstdint>
#include <memory>
#include <string>

class CBuildSubPanel;
class COrvaneImage;
class COrvaneTagTree;

// The row of category icons of a build panel (icon widgets start at 1).
class CBuildPanelIcons : public CChildPanel
{
public:
    CBuildPanelIcons();
    void Reset() override;
    void Create(const char* pcImageName, float fX, float fY, bool bScale) override;
    void OnWidgetEvent(std::int32_t iIndex, std::int32_t iEvent) override;
    [[nodiscard]] std::int32_t GetSelected() const { return m_iSelected; }

private:
    std::int32_t m_iSelected = 1;
};

// A build menu: child 0 the category icons, child 1 the page. Its section
// of the data document is "PRISON"n / "BUILD_OBJECTS" / the menu's name.
class CBuildPanel : public CBasePanel
{
public:
    static constexpr const char* IMAGE = "images/panels/build/build.tga";

    // The held object goes; the game runs on at the speed it had before the
    // build panel paused it.
    void Close() override;
    void OnChildEvent(std::int32_t iChild, std::int32_t iValue, std::int32_t iEvent) override;
    bool Populate(COrvaneTagTree* pkData, bool bRecreate) override;

    [[nodiscard]] COrvaneImage* GetItemPicture() const;
    [[nodiscard]] std::uint16_t GetItemTextList() const;
    [[nodiscard]] std::int32_t GetItemIndex() const;
    // The item of a model; null when the menu has none.
    const void* FindItem(const std::string& kModelPath, std::uint16_t& usList, std::uint16_t& usEntry) const;
    // The page switches to the building's category: the part of its name
    // two characters past "prison", up to the next "/". False without
    // "prison", with nothing after it, or when no category matches.
    bool SelectPageForBuilding(const std::string& kBuildingName);
    // The page picks up its current item again.
    void RepeatItem();

    [[nodiscard]] CBuildSubPanel* GetPage() const;
    // "PRISON" and the current level's number + 1.
    [[nodiscard]] static std::string PrisonSection();

protected:
    [[nodiscard]] virtual const char* MenuName() const = 0;
    [[nodiscard]] virtual std::unique_ptr<CBuildSubPanel> MakePage() const = 0;
    // After the children are made.
    virtual void MadeChildren() {}
};

// The grounds menu.
class CBuildPanelExternal : public CBuildPanel
{
protected:
    [[nodiscard]] const char* MenuName() const override { return "BUILDINGS"; }
    [[nodiscard]] std::unique_ptr<CBuildSubPanel> MakePage() const override;
};

// The menu inside the selected building, drawn over a plate.
class CBuildPanelInternal : public CBuildPanel
{
public:
    static constexpr const char* PLATE_IMAGE = "images/panels/build/plate.tga";

    CBuildPanelInternal();
    ~CBuildPanelInternal() override;
    void Destroy() override;
    void Reset() override;
    void Draw() override;
    // The close button also turns the building camera to its top view.
    void OnWidgetEvent(std::int32_t iIndex, std::int32_t iEvent) override;
    [[nodiscard]] COrvaneImage* GetPlate() const { return m_pkPlate.get(); }

protected:
    [[nodiscard]] const char* MenuName() const override { return "CONTENTS"; }
    [[nodiscard]] std::unique_ptr<CBuildSubPanel> MakePage() const override;
    void MadeChildren() override;

private:
    std::unique_ptr<COrvaneImage> m_pkPlate;
};
