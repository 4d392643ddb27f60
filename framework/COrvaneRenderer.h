#pragma once

#include "engine/core/NiColor.h"
#include "engine/core/NiVec3.h"
#include "platform/os/OsDefs.h"

#include <cstdint>
#include <memory>
#include <string>

class COrvaneRendererImpl;
class NiAlphaAccumulator;
class NiPropertySet;
class NiRenderer;
class COrvaneTagTree;
struct COrvaneSceneLink;

// A display mode as the launcher lists it.
struct COrvaneDisplayModeRecord
{
    std::uint32_t m_uiWidth = 0;
    std::uint32_t m_uiHeight = 0;
    std::uint32_t m_uiBitsPerPixel = 0;
    std::uint8_t m_ucUsable = 0;
};

// Holds the engine renderer with its background colour, and answers the
// launcher's adapter and mode questions.
class COrvaneRenderer
{
public:
    // Every renderer starts at this size; the launcher's mode replaces it.
    static constexpr std::uint32_t DEFAULT_WIDTH = 1024;
    static constexpr std::uint32_t DEFAULT_HEIGHT = 768;

    COrvaneRenderer();
    ~COrvaneRenderer();
    COrvaneRenderer(const COrvaneRenderer&) = delete;
    COrvaneRenderer& operator=(const COrvaneRenderer&) = delete;

    // Makes the first renderer on the window and gives it the background
    // colour of the settings. False (after an error box, a debugger line
    // and the engine's shut-down) when no renderer can be made.
    [[nodiscard]] bool Create(os::WindowHandle pkWindow);
    void Destroy();
    // Re-creates the renderer in the chosen mode: full screen, or in a
    // window when the settings say "Application_Data" / "Windowed" 1. False, with
    // the renderer kept, when the indices name no mode; false after an
    // error box when the new renderer cannot be made.
    [[nodiscard]] bool Initialise(os::WindowHandle pkWindow, std::uint32_t uiAdapter, std::uint32_t uiMode);

    [[nodiscard]] std::uint32_t GetAdapterCount() const;
    bool GetAdapterName(std::uint32_t uiAdapter, std::string& kText) const;
    [[nodiscard]] std::uint32_t GetDisplayModeCount(std::uint32_t uiAdapter) const;
    bool GetDisplayMode(std::uint32_t uiAdapter, std::uint32_t uiMode, COrvaneDisplayModeRecord& kRecord) const;
    [[nodiscard]] std::uint32_t GetCreationFlags() const;

    void SetBackgroundColor(const NiColorRGBA& kColor);
    [[nodiscard]] const NiColorRGBA& GetBackgroundColor() const { return m_kBackground; }
    // The initial adapter index handed to the launcher.
    [[nodiscard]] std::uint32_t ReturnZero() const { return 0; }

    // Null while no renderer is held.
    [[nodiscard]] NiRenderer* GetRenderer() const;
    // The held renderer's alpha accumulator, and the holder's current
    // property set; null while no renderer was made.
    [[nodiscard]] NiAlphaAccumulator* GetAccumulator() const;
    [[nodiscard]] NiPropertySet* GetPropertySet() const;
    // Draws the lines of a flat grid at once, a little above the origin's
    // height: C columns and R rows of cells of side s from the corner
    // origin (rows going towards -z). Nothing without a renderer.
    void CreateGridLines(const NiVec3& kOrigin, std::int32_t iColumns, std::int32_t iRows, float fCellSize,
                         const NiColorRGBA& kColor) const;
    // Stores the renderer in the record's empty renderer field: true then.
    bool AttachTo(COrvaneSceneLink& kLink) const;

    // The background colour a settings document asks for: "Game_Data"
    // children "BGr", "BGg", "BGb", "BGa" (0..255), each read only when it
    // follows the one before; a channel that cannot be read keeps its
    // default (0, 0, 0, 1).
    [[nodiscard]] static NiColorRGBA ReadBackgroundColor(COrvaneTagTree& kSettings);
    // "Application_Data" / "Windowed" is 1 (absent: full screen).
    [[nodiscard]] static bool ReadWindowed(COrvaneTagTree& kSettings);

private:
    std::unique_ptr<COrvaneRendererImpl> m_pkImpl;
    NiColorRGBA m_kBackground;
};
