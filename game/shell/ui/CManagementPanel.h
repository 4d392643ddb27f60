#pragma once

#include "game/shell/ui/CBasePanel.h"
#include "game/simulation/objects/CPrisonStatistics.h"

#include <array>
#include <cstdint>

// The prison's figures on four pages chosen by a row of icons: finance,
// staff, prisoners and the briefing of the running scenario. The pages
// only read; they change nothing.
class CManagementPanel : public CBasePanel
{
public:
    static constexpr const char* IMAGE = "images/panels/management/management.tga";
    static constexpr std::int32_t CHILD_ICONS = 0;
    static constexpr std::int32_t CHILD_FINANCE = 1;
    static constexpr std::int32_t CHILD_STAFF = 2;
    static constexpr std::int32_t CHILD_PRISONERS = 3;
    static constexpr std::int32_t CHILD_SCENARIO = 4;

    // Each child's layout and offset from the panel.
    struct ChildPlace
    {
        const char* pcImage;
        float fDx;
        float fDy;
    };
    static const std::array<ChildPlace, 5> CHILDREN;

    // With recreate the five children are made again, icons and finance
    // shown; then every child populates itself.
    bool Populate(COrvaneTagTree* pkData, bool bRecreate) override;
    // The icon row chose a page: it alone is shown of the pages.
    void OnChildEvent(std::int32_t iChild, std::int32_t iValue, std::int32_t iEvent) override;
};

// The row of four page icons; icon 4 (the briefing) is red and does
// nothing while the game runs no scenario.
class CManagementPanelIcons : public CChildPanel
{
public:
    static constexpr std::int32_t ICON_SCENARIO = 4;

    void Reset() override;
    void OnWidgetEvent(std::int32_t iIndex, std::int32_t iEvent) override;
    // Every icon shown in its resting colour.
    bool Populate(COrvaneTagTree* pkData) override;
    [[nodiscard]] std::int16_t GetSelected() const { return m_sSelected; }

private:
    // None until the first click.
    std::int16_t m_sSelected = -1;
};

// Staff per category: number, wages and services done, and their totals.
class CStaffSubPanel : public CChildPanel
{
public:
    static constexpr float COLUMN_COUNT = 95.0f;
    static constexpr float COLUMN_WAGES = 140.0f;
    static constexpr float COLUMN_SERVICES = 208.0f;
    // Rows by category, in the page's order, then the totals.
    static const std::array<std::int32_t, 4> ROW_CATEGORIES;
    static const std::array<float, 4> ROW_Y;
    static constexpr float TOTALS_Y = 112.0f;

    void Draw() override;
    void DrawNumber(std::int32_t iValue, float fDx, float fDy) const;
    // The totals row: each counter summed as a 16-bit value.
    [[nodiscard]] static CPrisonStatistics::StaffGroup Totals(const CPrisonStatistics& kStatistics);
};

// Prisoner figures of the statistics.
class CPrisonerSubPanel : public CChildPanel
{
public:
    void Draw() override;
};

// The running scenario's briefing.
class CScenarioSubPanel : public CChildPanel
{
public:
    CScenarioSubPanel();
    void Reset() override;
    void Draw() override;
    bool Populate(COrvaneTagTree* pkData) override;
    [[nodiscard]] std::int16_t GetBriefingList() const { return m_sBriefingList; }

private:
    std::int16_t m_sBriefingList = -1;
};
