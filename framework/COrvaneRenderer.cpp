#include "framework/COrvaneRenderer.h"

#include "engine/core/NiLibraryRegistry.h"
#include "engine/render/NiRenderer.h"
#include "engine/render/image/NiImageFileConverter.h"
#include "engine/scene/NiAlphaAccumulator.h"
#include "engine/scene/NiEffectSet.h"
#include "engine/scene/NiLines.h"
#include "engine/scene/NiVertexColorProperty.h"
#include "engine/scene/NiPropertySet.h"
#include "framework/COrvaneApplication.h"
#include "framework/COrvaneRendererFactory.h"
#include "framework/COrvaneSceneLink.h"
#include "framework/COrvaneSystem.h"
#include "framework/COrvaneTagTree.h"
#include "framework/COrvaneUtility.h"
#include "platform/os/OsDialog.h"
#include "platform/os/OsWindow.h"

#include <cstdlib>
#include <sstream>

// The holder is the renderer's owner: it makes it the current renderer and
// clears that pointer before letting it go.
class COrvaneRendererImpl
{
public:
    ~COrvaneRendererImpl()
    {
        m_spPropertySet = nullptr;
        SetRenderer(nullptr);
    }

    void SetRenderer(NiRenderer* pkRenderer)
    {
        if (m_spRenderer && NiRenderer::GetRenderer() == m_spRenderer.Get())
            NiRenderer::ResetRenderer();
        m_pkAccumulator = nullptr; // it went with the renderer that held it
        m_spRenderer = pkRenderer;
        if (m_spRenderer)
            NiRenderer::SetRenderer(m_spRenderer);
    }

    // Every renderer sorts its translucent geometry with a fresh alpha
    // accumulator; the renderer holds the counted reference.
    void NewAccumulator()
    {
        m_pkAccumulator = new NiAlphaAccumulator;
        m_spRenderer->SetAccumulator(m_pkAccumulator);
    }

    NiPropertySetPtr m_spPropertySet;
    NiRendererPtr m_spRenderer;
    NiAlphaAccumulator* m_pkAccumulator = nullptr;
};

namespace
{
constexpr const char* CREATION_ERROR = "Direct3D renderer creation error";
// 1/255 as the single-precision factor the colour keys are scaled by.
constexpr float CHANNEL_SCALE = 0.003921569f;

COrvaneRendererParams MakeParams(os::WindowHandle pkWindow, std::uint32_t uiWidth, std::uint32_t uiHeight,
                                 std::uint32_t uiFlags, std::uint32_t uiAdapter)
{
    COrvaneRendererParams kParams;
    kParams.m_uiWidth = uiWidth;
    kParams.m_uiHeight = uiHeight;
    kParams.m_uiFlags = uiFlags;
    kParams.m_pkDeviceWindow = pkWindow;
    kParams.m_pkFocusWindow = pkWindow;
    kParams.m_uiAdapter = uiAdapter;
    kParams.m_auiValues = {0, 0, 0, 1, 0, 0, 1, 0};
    return kParams;
}

// The window's client size; the default window's when the window cannot say.
void WindowSize(os::WindowHandle pkWindow, std::uint32_t& uiWidth, std::uint32_t& uiHeight)
{
    uiWidth = COrvaneRenderer::DEFAULT_WIDTH;
    uiHeight = COrvaneRenderer::DEFAULT_HEIGHT;
    os::Rect kClient;
    if (pkWindow == nullptr || !os::GetClientRect(pkWindow, kClient) || kClient.right <= kClient.left ||
        kClient.bottom <= kClient.top)
        return;
    uiWidth = static_cast<std::uint32_t>(kClient.right - kClient.left);
    uiHeight = static_cast<std::uint32_t>(kClient.bottom - kClient.top);
}

void ReportCreationFailure()
{
    ShowErrorBox(CREATION_ERROR);
    os::OutputDebugString(std::string(CREATION_ERROR) + ": " + COrvaneRendererFactory::Get().GetLastError() + "\n");
}

// The channel under the cursor, when the move there worked and its first
// value is a number 0..65535.
float ReadChannel(COrvaneTagTree& kSettings, bool bMoved, float fDefault)
{
    if (!bMoved || kSettings.GetValues().empty())
        return fDefault;
    std::istringstream kStream(kSettings.GetValues().front());
    long lValue = 0;
    if (!(kStream >> lValue) || lValue < 0 || lValue > 0xFFFF)
        return fDefault;
    return static_cast<float>(lValue) * CHANNEL_SCALE;
}
} // namespace

COrvaneRenderer::COrvaneRenderer() : m_kBackground(NiColorRGBA::BLACK)
{
}

COrvaneRenderer::~COrvaneRenderer() = default;

NiColorRGBA COrvaneRenderer::ReadBackgroundColor(COrvaneTagTree& kSettings)
{
    NiColorRGBA kColor = NiColorRGBA::BLACK;
    if (!kSettings.SelectSection("Game_Data", true))
        return kColor;
    kColor.r = ReadChannel(kSettings, kSettings.FindChild("BGr"), kColor.r);
    kColor.g = ReadChannel(kSettings, kSettings.NextSibling("BGg"), kColor.g);
    kColor.b = ReadChannel(kSettings, kSettings.NextSibling("BGb"), kColor.b);
    kColor.a = ReadChannel(kSettings, kSettings.NextSibling("BGa"), kColor.a);
    return kColor;
}

bool COrvaneRenderer::Create(os::WindowHandle pkWindow)
{
    m_pkImpl = std::make_unique<COrvaneRendererImpl>();
    NiImageConverter::SetCurrent(new NiImageFileConverter);

    m_pkImpl->SetRenderer(COrvaneRendererFactory::Get().Create(
        MakeParams(pkWindow, DEFAULT_WIDTH, DEFAULT_HEIGHT, 0, 0)));
    if (!m_pkImpl->m_spRenderer)
    {
        ReportCreationFailure();
        COrvaneApplication* pkApp = COrvaneApplication::GetExisting();
        if (pkApp != nullptr && pkApp->GetSystem() != nullptr)
            pkApp->GetSystem()->StopEngine();
        else
            NiLibraryRegistry::ShutdownLibraries();
        return false;
    }

    if (COrvaneTagTree* pkSettings = COrvaneApplication::GetSettings())
        m_kBackground = ReadBackgroundColor(*pkSettings);
    m_pkImpl->m_spRenderer->SetBackgroundColor(m_kBackground);
    m_pkImpl->NewAccumulator();
    m_pkImpl->m_spPropertySet = new NiPropertySet;
    return true;
}

void COrvaneRenderer::Destroy()
{
    m_pkImpl.reset();
}

bool COrvaneRenderer::Initialise(os::WindowHandle pkWindow, std::uint32_t uiAdapter, std::uint32_t uiMode)
{
    COrvaneRendererFactory& kFactory = COrvaneRendererFactory::Get();
    const std::vector<COrvaneAdapterDesc>& kAdapters = kFactory.GetSystemInfo();
    if (uiAdapter >= kAdapters.size() || uiMode >= kAdapters[uiAdapter].m_kModes.size())
    {
        std::ostringstream kNote;
        kNote << "Display mode " << uiMode << " of adapter " << uiAdapter << " does not exist\n";
        os::OutputDebugString(kNote.str());
        return false;
    }
    const COrvaneModeDesc kMode = kAdapters[uiAdapter].m_kModes[uiMode];
    COrvaneTagTree* pkSettings = COrvaneApplication::GetSettings();
    const bool bWindowed = pkSettings != nullptr && ReadWindowed(*pkSettings);

    if (!m_pkImpl)
        m_pkImpl = std::make_unique<COrvaneRendererImpl>();
    // The device must be gone before a new one takes the window.
    m_pkImpl->SetRenderer(nullptr);
    // A windowed game draws at its window's size, whatever mode the entry
    // names: the window entry falls back to the display's first mode when the
    // display lists no 1024 x 768, and a back buffer of the desktop's size
    // shrunk into the window would shrink the interface with it.
    std::uint32_t uiWidth = kMode.m_uiWidth;
    std::uint32_t uiHeight = kMode.m_uiHeight;
    if (bWindowed)
        WindowSize(pkWindow, uiWidth, uiHeight);
    m_pkImpl->SetRenderer(kFactory.Create(MakeParams(pkWindow, uiWidth, uiHeight,
                                                     bWindowed ? 0 : COrvaneRendererFactory::FLAG_FULLSCREEN,
                                                     uiAdapter)));
    if (!m_pkImpl->m_spRenderer)
    {
        ReportCreationFailure();
        return false;
    }
    m_pkImpl->m_spRenderer->SetBackgroundColor(m_kBackground);
    m_pkImpl->NewAccumulator();
    if (COrvaneApplication* pkApp = COrvaneApplication::GetExisting())
        pkApp->SetFullScreen(!bWindowed);
    return true;
}

bool COrvaneRenderer::ReadWindowed(COrvaneTagTree& kSettings)
{
    if (!kSettings.SelectSection("Application_Data", true) || !kSettings.FindChild("Windowed") ||
        kSettings.GetValues().empty())
        return false;
    return std::strtol(kSettings.GetValues().front().c_str(), nullptr, 10) == 1;
}

std::uint32_t COrvaneRenderer::GetAdapterCount() const
{
    return static_cast<std::uint32_t>(COrvaneRendererFactory::Get().GetSystemInfo().size());
}

bool COrvaneRenderer::GetAdapterName(std::uint32_t uiAdapter, std::string& kText) const
{
    const auto& kAdapters = COrvaneRendererFactory::Get().GetSystemInfo();
    if (uiAdapter >= kAdapters.size())
        return false;
    kText = kAdapters[uiAdapter].m_kDescription;
    return true;
}

std::uint32_t COrvaneRenderer::GetDisplayModeCount(std::uint32_t uiAdapter) const
{
    const auto& kAdapters = COrvaneRendererFactory::Get().GetSystemInfo();
    return uiAdapter < kAdapters.size() ? static_cast<std::uint32_t>(kAdapters[uiAdapter].m_kModes.size()) : 0;
}

bool COrvaneRenderer::GetDisplayMode(std::uint32_t uiAdapter, std::uint32_t uiMode,
                                     COrvaneDisplayModeRecord& kRecord) const
{
    COrvaneRendererFactory& kFactory = COrvaneRendererFactory::Get();
    const auto& kAdapters = kFactory.GetSystemInfo();
    if (uiAdapter >= kAdapters.size() || uiMode >= kAdapters[uiAdapter].m_kModes.size())
        return false;
    const COrvaneModeDesc& kMode = kAdapters[uiAdapter].m_kModes[uiMode];
    kRecord.m_uiWidth = kMode.m_uiWidth;
    kRecord.m_uiHeight = kMode.m_uiHeight;
    kRecord.m_uiBitsPerPixel = kMode.m_uiBitsPerPixel;
    kRecord.m_ucUsable = kFactory.FindMode(uiAdapter, kMode.m_uiFormat, kMode.m_uiWidth, kMode.m_uiHeight) ? 1 : 0;
    return true;
}

std::uint32_t COrvaneRenderer::GetCreationFlags() const
{
    if (!m_pkImpl || !m_pkImpl->m_spRenderer)
        return 0;
    return COrvaneRendererFactory::Get().GetCreationFlags(m_pkImpl->m_spRenderer);
}

void COrvaneRenderer::SetBackgroundColor(const NiColorRGBA& kColor)
{
    m_kBackground = kColor;
    if (m_pkImpl && m_pkImpl->m_spRenderer)
        m_pkImpl->m_spRenderer->SetBackgroundColor(kColor);
}

NiRenderer* COrvaneRenderer::GetRenderer() const
{
    return m_pkImpl ? m_pkImpl->m_spRenderer.Get() : nullptr;
}

NiAlphaAccumulator* COrvaneRenderer::GetAccumulator() const
{
    return m_pkImpl ? m_pkImpl->m_pkAccumulator : nullptr;
}

NiPropertySet* COrvaneRenderer::GetPropertySet() const
{
    return m_pkImpl ? m_pkImpl->m_spPropertySet.Get() : nullptr;
}

bool COrvaneRenderer::AttachTo(COrvaneSceneLink& kLink) const
{
    NiRenderer* pkRenderer = GetRenderer();
    if (kLink.m_pkRenderer != nullptr || pkRenderer == nullptr)
        return false;
    kLink.m_pkRenderer = pkRenderer;
    return true;
}

void COrvaneRenderer::CreateGridLines(const NiVec3& kOrigin, std::int32_t iColumns, std::int32_t iRows,
                                      float fCellSize, const NiColorRGBA& kColor) const
{
    NiRenderer* pkRenderer = GetRenderer();
    if (pkRenderer == nullptr || iColumns < 0 || iRows < 0)
        return;
    const std::int64_t iCount = 2 * (static_cast<std::int64_t>(iColumns) + iRows) + 4;
    // The line object counts its vertices in 16 bits.
    if (iCount > 0xFFFF)
        return;
    const auto usCount = static_cast<std::uint16_t>(iCount);
    auto* pkVertex = new NiVec3[usCount];
    auto* pkColor = new NiColorRGBA[usCount];
    auto* pucFlags = new std::uint8_t[usCount];
    const float fY = kOrigin.y + 0.1f;
    const float fRight = kOrigin.x + static_cast<float>(iColumns) * fCellSize;
    const float fFar = kOrigin.z - static_cast<float>(iRows) * fCellSize;
    std::uint16_t usAt = 0;
    for (std::int32_t k = 0; k <= iRows; ++k)
    {
        const float fZ = kOrigin.z - static_cast<float>(k) * fCellSize;
        pkVertex[usAt++] = NiVec3(kOrigin.x, fY, fZ);
        pkVertex[usAt++] = NiVec3(fRight, fY, fZ);
    }
    for (std::int32_t k = 0; k <= iColumns; ++k)
    {
        const float fX = kOrigin.x + static_cast<float>(k) * fCellSize;
        pkVertex[usAt++] = NiVec3(fX, fY, kOrigin.z);
        pkVertex[usAt++] = NiVec3(fX, fY, fFar);
    }
    for (std::uint16_t i = 0; i < usCount; ++i)
    {
        pkColor[i] = kColor;
        pucFlags[i] = (i % 2 == 0) ? 1 : 0;
    }
    NiRefPtr<NiLines> spLines = new NiLines(usCount, pkVertex, pkColor, nullptr, 0, 0, pucFlags);
    NiPropertySetPtr spProperties = new NiPropertySet;
    NiRefPtr<NiVertexColorProperty> spVertexColor = new NiVertexColorProperty;
    spVertexColor->SetSourceMode(1);
    spVertexColor->SetLightingMode(1);
    spProperties->SetProperty(spVertexColor);
    NiRefPtr<NiEffectSet> spEffects = new NiEffectSet;
    pkRenderer->DrawLines(spLines, spProperties, spEffects);
}
