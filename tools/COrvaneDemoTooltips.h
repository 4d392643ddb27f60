#pragma once

#include "tools/COrvaneDemoImage.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

// One hover text of a layout: the button it lies over (numbered from 1 as
// the layout's buttons are; 0: over its area instead, a figure's label) and
// its words in English, German and French (Latin-1 bytes).
struct DemoTooltip
{
    std::size_t uiButton;
    const char* pcEnglish;
    const char* pcGerman;
    const char* pcFrench;
    DemoRect kArea = {0, 0, 0, 0};
};

// The hover texts of one layout, by the layout's picture path without its
// extension ("images/panels/main/base/base"). Hot area k of the layout's
// "_h" map covers the button of text k, and the game finds the texts by the
// picture's file name ("base").
struct DemoTooltipLayout
{
    const char* pcBase;
    std::vector<DemoTooltip> kTips;
};

// Every layout with hover texts.
[[nodiscard]] const std::vector<DemoTooltipLayout>& DemoTooltipLayouts();

// The name of a layout's text list: the file name of its base.
[[nodiscard]] std::string DemoTooltipListName(const std::string& kBase);

// "<folder>/<base>_h.tga" for a layout that has hover texts: key colour k in
// row 0, then each text's button filled with its key colour. True without
// writing anything for a layout without texts; false (with the reason on
// standard error) when a text's button is not among the buttons or lies on
// row 0, or when the file cannot be written.
[[nodiscard]] bool WriteDemoHotAreas(const std::string& kFolder, const std::string& kBase, std::uint32_t uiWidth,
                                     std::uint32_t uiHeight, const std::vector<DemoRect>& kButtons);
