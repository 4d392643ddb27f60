#pragma once

#include "engine/render/NiRenderer.h"
#include "platform/os/OsDefs.h"

#include <array>
#include <cstdint>
#include <string>
#include <vector>

// What a renderer is made with.
struct COrvaneRendererParams
{
    std::uint32_t m_uiWidth = 0;
    std::uint32_t m_uiHeight = 0;
    std::uint32_t m_uiFlags = 0; // FLAG_FULLSCREEN or 0
    os::WindowHandle m_pkDeviceWindow = nullptr;
    os::WindowHandle m_pkFocusWindow = nullptr;
    std::uint32_t m_uiAdapter = 0;
    std::array<std::uint32_t, 8> m_auiValues{}; // further creation values, passed through
};

// One display mode an adapter lists.
struct COrvaneModeDesc
{
    std::uint32_t m_uiWidth = 0;
    std::uint32_t m_uiHeight = 0;
    std::uint32_t m_uiBitsPerPixel = 0;
    std::uint32_t m_uiFormat = 0;
};

struct COrvaneAdapterDesc
{
    std::string m_kDescription;
    std::vector<COrvaneModeDesc> m_kModes;
};

// Makes the engine renderer and answers for the display adapters. The
// renderer holder reaches the renderer only through this and NiRenderer;
// whoever provides a real renderer installs its factory with Set.
class COrvaneRendererFactory
{
public:
    static constexpr std::uint32_t FLAG_FULLSCREEN = 4;

    virtual ~COrvaneRendererFactory() = default;

    // Null on failure; GetLastError then says why.
    [[nodiscard]] virtual NiRendererPtr Create(const COrvaneRendererParams& kParams) = 0;
    [[nodiscard]] virtual std::string GetLastError() const = 0;
    // The adapters in order, each with its display modes.
    [[nodiscard]] virtual const std::vector<COrvaneAdapterDesc>& GetSystemInfo() = 0;
    // Whether the adapter can really run that mode.
    [[nodiscard]] virtual bool FindMode(std::uint32_t uiAdapter, std::uint32_t uiFormat, std::uint32_t uiWidth,
                                        std::uint32_t uiHeight) = 0;
    // The creation flags of a renderer this factory made; 0 for others.
    [[nodiscard]] virtual std::uint32_t GetCreationFlags(const NiRenderer* pkRenderer) const = 0;
    // Whether each present of a renderer this factory made waits for the
    // display's retrace (such a device paces the frames it presents itself).
    [[nodiscard]] virtual bool WaitsForRetrace(const NiRenderer*) const { return false; }
    // The refresh rate, in Hz, of the display a renderer this factory made
    // shows on; 0 when unknown.
    [[nodiscard]] virtual std::int32_t GetRefreshRate(const NiRenderer*) const { return 0; }

    // The factory in use; never null (a default that makes no renderer).
    [[nodiscard]] static COrvaneRendererFactory& Get();
    // The caller keeps ownership; null restores the default.
    static void Set(COrvaneRendererFactory* pkFactory);
};
