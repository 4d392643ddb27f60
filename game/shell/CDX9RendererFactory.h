#pragma once

#include "framework/COrvaneRendererFactory.h"

#include <string>
#include <vector>

// Makes the game's renderer on the graphics device and answers the
// launcher's adapter and mode questions from the device's description of
// the machine. The program's entry installs it before the application starts.
class CDX9RendererFactory : public COrvaneRendererFactory
{
public:
    CDX9RendererFactory() = default;
    ~CDX9RendererFactory() override = default;

    [[nodiscard]] NiRendererPtr Create(const COrvaneRendererParams& kParams) override;
    [[nodiscard]] std::string GetLastError() const override;
    [[nodiscard]] const std::vector<COrvaneAdapterDesc>& GetSystemInfo() override;
    [[nodiscard]] bool FindMode(std::uint32_t uiAdapter, std::uint32_t uiFormat, std::uint32_t uiWidth,
                                std::uint32_t uiHeight) override;
    [[nodiscard]] std::uint32_t GetCreationFlags(const NiRenderer* pkRenderer) const override;
    // A full-screen device waits for the retrace; a window presents at once.
    [[nodiscard]] bool WaitsForRetrace(const NiRenderer* pkRenderer) const override;
    // The adapter's desktop mode's rate.
    [[nodiscard]] std::int32_t GetRefreshRate(const NiRenderer* pkRenderer) const override;

private:
    std::vector<COrvaneAdapterDesc> m_kAdapters;
    bool m_bDescribed = false;
};
