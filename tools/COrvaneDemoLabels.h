#pragma once

#include "tools/COrvaneDemoImage.h"

#include <cstdint>
#include <string>
#include <vector>

// A label the builder draws into a panel picture just left of a figure the
// panel's code writes there: an icon from the font (or, for the prison's
// security levels, a square of the level's colour), with its word in
// English, German and French (Latin-1 bytes) as the hover text over it. The
// pictures serve every language, so they carry icons; the words come in the
// player's language.
struct DemoFigureLabel
{
    const char* pcBase;    // the layout's picture path without its extension
    std::uint32_t uiX;     // the figure's left edge and top, as the panel
    std::uint32_t uiY;     // draws it, in the picture's pixels
    std::u16string kIcon;  // empty: a square of kColour
    DemoRgba kColour;      // the square's colour
    bool bAbove;           // a column's heading above the figure
    const char* pcEnglish;
    const char* pcGerman;
    const char* pcFrench;
};

// Every figure label of the demo panels.
[[nodiscard]] const std::vector<DemoFigureLabel>& DemoFigureLabels();

// The labels of one layout.
[[nodiscard]] std::vector<DemoFigureLabel> DemoFigureLabelsOf(const std::string& kBase);

// Where a label lies: a square of the figure's line height ending two
// pixels before the figure (wider for an icon of two symbols).
[[nodiscard]] DemoRect DemoFigureLabelRect(const DemoFigureLabel& kLabel);

// The labels of the layout drawn into its picture; false (with the reason on
// standard error) when the font does not render.
[[nodiscard]] bool DrawDemoFigureLabels(COrvaneDemoImage& kPicture, const std::string& kBase);
