#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

class COrvaneWidget;
class NiPixelData;

// Builds a canvas from one image name and the files beside it: the
// background, hot areas from "<base>_h.tga", button overlays placed by
// "<base>_p.tga" (or, without one, numbered images in a row), and the
// tool-tip list named after the image.
class COrvaneCanvasLayout
{
public:
    COrvaneCanvasLayout() = default;
    virtual ~COrvaneCanvasLayout() = default;

    virtual void Build(const std::string& kImageName, float fX, float fY, bool bScale,
                       std::vector<std::unique_ptr<COrvaneWidget>>& kWidgets,
                       std::vector<std::unique_ptr<COrvaneWidget>>& kHotAreas, std::int16_t& sTextList);

    // A map's key colours and, per key, the first pixel of that colour from
    // the second row down with its run right and down; (-1, -1, 0, 0) for a
    // key that does not occur.
    struct KeyArea
    {
        std::int32_t m_iX = -1;
        std::int32_t m_iY = -1;
        std::int32_t m_iWidth = 0;
        std::int32_t m_iHeight = 0;
    };
    // False for a map that is missing, empty, unreadable or neither 24-
    // nor 32-bit: its step is skipped then.
    [[nodiscard]] static bool ReadKeyAreas(const std::string& kMapName, std::vector<KeyArea>& kAreas);
    // The first file of the folder matching the pattern whose name
    // contains one of the texts (none given: any); empty when none.
    [[nodiscard]] static std::string FindFile(const std::string& kPattern, const std::vector<std::string>& kMustHold);
};
