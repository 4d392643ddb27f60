#pragma once

#include "framework/COrvaneCanvas.h"

#include <cstdint>

// The block beside the main panel while a building is selected: the
// building's current floor, up, down, leave and the next camera view.
class CFloorChangePanel : public COrvaneCanvas
{
public:
    static constexpr std::int32_t WIDGET_UP = 1;
    static constexpr std::int32_t WIDGET_DOWN = 2;
    static constexpr std::int32_t WIDGET_LEAVE = 3;
    static constexpr std::int32_t WIDGET_NEXT_VIEW = 4;

    CFloorChangePanel() = default;
    ~CFloorChangePanel() override = default;

    void Reset() override {}
    void OnWidgetEvent(std::int32_t iIndex, std::int32_t iEvent) override;
    void Draw() override;
};
