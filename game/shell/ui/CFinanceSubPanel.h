#pragma once

#include "game/shell/ui/CBasePanel.h"

#include <cstdint>
#include <vector>

class CPrisonStatistics;

// The finance page of the management panel: the money the prison took in
// and spent, as totals or (button 2) as yearly averages.
class CFinanceSubPanel : public CChildPanel
{
public:
    static constexpr std::int32_t WIDGET_TOTALS = 1;
    static constexpr std::int32_t WIDGET_YEARLY = 2;

    // One figure on the page: its offset from the page and whether the
    // yearly view divides it.
    struct Figure
    {
        std::int32_t m_iValue;
        float m_fDx;
        float m_fDy;
        bool m_bYearly;
    };

    CFinanceSubPanel();
    ~CFinanceSubPanel() override = default;

    void Reset() override;
    void OnWidgetEvent(std::int32_t iIndex, std::int32_t iEvent) override;
    void Draw() override;
    bool Populate(COrvaneTagTree* pkData) override;

    // The twelve figures in drawing order, as the page shows them for the
    // year offset.
    [[nodiscard]] static std::vector<Figure> Figures(const CPrisonStatistics& kStatistics, bool bYearly,
                                                     std::int32_t iYearOffset);
    [[nodiscard]] bool IsYearly() const { return m_ucYearly != 0; }
    void SetYearly(bool bYearly) { m_ucYearly = bYearly ? 1 : 0; }

private:
    void HighlightActive(bool bColour);

    std::uint8_t m_ucYearly = 0;
};
