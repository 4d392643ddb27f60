#include "engine/render/NiTexture.h"

#include "engine/core/NiInstanceList.h"
#include "engine/core/NiRecursiveLock.h"
#include "engine/core/NiSharedTextureTable.h"
#include "engine/core/NiViewerStrings.h"
#include "engine/render/NiSourceTexture.h"

#include <bit>
#include <cstring>
#include <strings.h>

NiImplementTypeInfo(NiTexture, NiObjectNET)

NiTexture* NiTexture::ms_pkHead = nullptr;
NiTexture* NiTexture::ms_pkTail = nullptr;
bool NiTexture::ms_bPrecacheOnCreation = true;
bool NiTexture::ms_bDestroyAfterPrecache = false;
bool NiTexture::ms_bDefaultMipmap = false;

namespace
{
NiTexture::FormatPrefs s_kDefaultPrefs;

// The replacement images: one per error index, made on first use.
struct Replacements
{
    NiPixelFormat m_kFormat = NiPixelFormat::RGBA32;
    NiPixelDataPtr m_aspImages[NiTexture::REPLACEMENT_COUNT];
    NiTexture::ReplacementHook m_pfnHook = nullptr;
};

Replacements& GetReplacements()
{
    static Replacements s_kReplacements;
    return s_kReplacements;
}

struct Rgba
{
    float r, g, b, a;
};

// Colours A (the top-left and bottom-right quarters) and B of each index.
constexpr Rgba MAGENTA{1, 0, 1, 1};
constexpr Rgba BLUE{0, 0, 1, 1};
constexpr Rgba YELLOW{1, 1, 0, 1};
constexpr Rgba GREEN{0, 1, 0, 1};
constexpr Rgba RED{1, 0, 0, 1};
constexpr Rgba CYAN{0, 1, 1, 1};
constexpr Rgba REPLACEMENT_COLORS[NiTexture::REPLACEMENT_COUNT][2] = {
    {MAGENTA, MAGENTA}, {BLUE, YELLOW}, {GREEN, RED}, {CYAN, YELLOW}, {RED, YELLOW}, {MAGENTA, MAGENTA}, {CYAN, CYAN},
};

// One pixel word of the format: each channel scaled to 0..255, moved to the
// channel's lowest bit and cut to its mask.
std::uint32_t PackPixel(const NiPixelFormat& kFormat, const Rgba& kColor)
{
    const float afChannels[4] = {kColor.r, kColor.g, kColor.b, kColor.a};
    std::uint32_t uiWord = 0;
    for (std::uint32_t c = 0; c < 4; ++c)
    {
        const std::uint32_t uiMask = kFormat.GetMask(c);
        if (uiMask == 0)
            continue;
        const auto uiValue = static_cast<std::uint32_t>(afChannels[c] * 255.0f);
        uiWord |= (uiValue << std::countr_zero(uiMask)) & uiMask;
    }
    return uiWord;
}

NiPixelDataPtr MakeReplacement(NiTexture*, std::uint32_t uiError)
{
    const std::uint32_t uiIndex = uiError & 0x7FFFFFFFu;
    if (uiIndex >= NiTexture::REPLACEMENT_COUNT)
        return nullptr;
    Replacements& kReplacements = GetReplacements();
    if (kReplacements.m_aspImages[uiIndex] != nullptr)
        return kReplacements.m_aspImages[uiIndex];

    const NiPixelFormat& kFormat = kReplacements.m_kFormat;
    constexpr std::uint32_t SIDE = NiTexture::REPLACEMENT_SIDE;
    NiPixelDataPtr spImage = new NiPixelData(SIDE, SIDE, kFormat, 1);
    std::uint8_t* pucPixels = spImage->GetPixels();
    if (pucPixels == nullptr)
        return nullptr;
    // Only whole-byte direct layouts can hold a packed colour word.
    const std::uint32_t uiBytes = kFormat.IsDirect() ? kFormat.GetBitsPerPixel() / 8 : 0;
    const std::uint32_t uiWordA = PackPixel(kFormat, REPLACEMENT_COLORS[uiIndex][0]);
    const std::uint32_t uiWordB = PackPixel(kFormat, REPLACEMENT_COLORS[uiIndex][1]);
    if (uiBytes > 0 && uiBytes <= 4 && spImage->GetSizeInBytes(0) >= SIDE * SIDE * uiBytes)
    {
        for (std::uint32_t r = 0; r < SIDE; ++r)
        {
            for (std::uint32_t c = 0; c < SIDE; ++c)
            {
                const std::uint32_t uiWord = (r / 4 == c / 4) ? uiWordA : uiWordB;
                std::uint8_t* puc = pucPixels + (r * SIDE + c) * uiBytes;
                for (std::uint32_t b = 0; b < uiBytes; ++b)
                    puc[b] = static_cast<std::uint8_t>(uiWord >> (8 * b));
            }
        }
    }
    kReplacements.m_aspImages[uiIndex] = spImage;
    return spImage;
}

char* ModeViewerString(const char* pcName, std::uint32_t uiMode, const char* const* ppcNames, std::uint32_t uiCount)
{
    if (uiMode >= uiCount)
    {
        char* pcEmpty = new char[1];
        pcEmpty[0] = '\0';
        return pcEmpty;
    }
    return NiViewerFormat("%s = %s", pcName ? pcName : "", ppcNames[uiMode]);
}
} // namespace

NiTexture::NiTexture() = default;

NiTexture::~NiTexture()
{
    m_spRendererData.reset();
    // Off the list already, unless deleted without counting.
    RemoveFromTextureList();
}

void NiTexture::DeleteThis()
{
    RemoveFromTextureList();
    delete this;
}

void NiTexture::AddToTextureList()
{
    NiRecursiveLockGuard kGuard(NiTextureListLock());
    if (ms_pkHead == this || m_pkPrev != nullptr)
        return;
    NiInstanceListAppend(ms_pkHead, ms_pkTail, this, &NiTexture::m_pkPrev, &NiTexture::m_pkNext);
}

void NiTexture::RemoveFromTextureList()
{
    NiRecursiveLockGuard kGuard(NiTextureListLock());
    NiInstanceListRemove(ms_pkHead, ms_pkTail, this, &NiTexture::m_pkPrev, &NiTexture::m_pkNext);
}

std::uint32_t NiTexture::GetListCount()
{
    NiRecursiveLockGuard kGuard(NiTextureListLock());
    return NiInstanceListCount(ms_pkHead, &NiTexture::m_pkNext);
}

NiTexture::FormatPrefs& NiTexture::GetDefaultFormatPrefs()
{
    return s_kDefaultPrefs;
}

void NiTexture::ResetDefaultFormatPrefs()
{
    s_kDefaultPrefs = FormatPrefs();
}

void NiTexture::ResetSettings()
{
    ms_bPrecacheOnCreation = true;
    ms_bDestroyAfterPrecache = false;
    ms_bDefaultMipmap = false;
}

NiPixelDataPtr NiTexture::GetReplacementPixelData(NiTexture* pkTexture, std::uint32_t uiError)
{
    if (static_cast<std::int32_t>(uiError) >= 0)
        return nullptr;
    Replacements& kReplacements = GetReplacements();
    if (kReplacements.m_pfnHook == nullptr)
        kReplacements.m_pfnHook = &MakeReplacement;
    return kReplacements.m_pfnHook(pkTexture, uiError);
}

void NiTexture::SetReplacementPixelFormat(const NiPixelFormat& kFormat)
{
    GetReplacements().m_kFormat = kFormat;
    ReleaseSolidColorTextures();
}

const NiPixelFormat& NiTexture::GetReplacementPixelFormat()
{
    return GetReplacements().m_kFormat;
}

void NiTexture::SetReplacementHook(ReplacementHook pfnHook)
{
    GetReplacements().m_pfnHook = pfnHook;
}

void NiTexture::ReleaseSolidColorTextures()
{
    for (NiPixelDataPtr& sp : GetReplacements().m_aspImages)
        sp.Clear();
}

void NiTexture::ResetReplacements()
{
    ReleaseSolidColorTextures();
    GetReplacements().m_kFormat = NiPixelFormat::RGBA32;
    GetReplacements().m_pfnHook = nullptr;
}

void NiTexture::StaticInit()
{
    SetReplacementPixelFormat(NiPixelFormat::RGBA32);
    NiSharedTextureTable::SetSearchAllFunction(&NiTexture::FindTextureByName);
}

void NiTexture::StaticShutdown()
{
    ReleaseSolidColorTextures();
    NiSharedTextureTable::SetSearchAllFunction(nullptr);
}

NiObjectPtr NiTexture::FindTextureByName(const char* pcName, const NiObject* pkLoading)
{
    if (pcName == nullptr)
        return nullptr;
    NiRecursiveLockGuard kGuard(NiTextureListLock());
    return NiInstanceListFind(ms_pkHead, &NiTexture::m_pkNext, [&](NiTexture& kTexture) {
        if (&kTexture == pkLoading)
            return false;
        auto* pkSource = NiDynamicCast<NiSourceTexture>(&kTexture);
        return pkSource != nullptr && !pkSource->GetFileName().empty() &&
               strcasecmp(pkSource->GetFileName().c_str(), pcName) == 0;
    });
}

void NiTexture::AppendViewerStrings(NiViewerStringArray& kStrings)
{
    NiObjectNET::AppendViewerStrings(kStrings);
    kStrings.AddTail(NiViewerHeader(NiTexture::TypeInfo()->GetName()));
}

char* GetClampModeViewerString(const char* pcName, std::uint32_t uiMode)
{
    static const char* const NAMES[] = {"CLAMP_S_CLAMP_T", "CLAMP_S_WRAP_T", "WRAP_S_CLAMP_T", "WRAP_S_WRAP_T"};
    return ModeViewerString(pcName, uiMode, NAMES, 4);
}

char* GetFilterModeViewerString(const char* pcName, std::uint32_t uiMode)
{
    static const char* const NAMES[] = {"FILTER_NEAREST",           "FILTER_BILERP",          "FILTER_TRILERP",
                                        "FILTER_NEAREST_MIPNEAREST", "FILTER_NEAREST_MIPLERP", "FILTER_BILERP_MIPNEAREST"};
    return ModeViewerString(pcName, uiMode, NAMES, 6);
}
