#pragma once

#include "engine/core/NiObject.h"
#include "engine/core/NiRefPtr.h"
#include "engine/render/NiPixelData.h"
#include "engine/render/image/NiPixelFormat.h"
#include "engine/scene/NiObjectNET.h"

#include <cstdint>
#include <memory>

// Base of every engine texture: how its image should be laid out on the
// device, and the data the renderer makes for it. Every live texture made by
// the engine sits in one process-wide list from the moment it is whole until
// its last reference goes, so the renderer can walk them all (purges) and a
// loading scene can find a texture any other scene already loaded.
class NiTexture : public NiObjectNET
{
    NiDeclareTypeInfo()

public:
    // How a texture made from an image should be laid out in video memory.
    struct FormatPrefs
    {
        enum PixelLayout : std::uint32_t
        {
            PALETTIZED_8 = 0,
            HIGH_COLOR_16 = 1,
            TRUE_COLOR_32 = 2,
            COMPRESSED = 3,
            BUMPMAP = 4,
            PALETTIZED_4 = 5,
            PIX_DEFAULT = 6, // keep the source's kind
        };
        enum MipFlag : std::uint32_t
        {
            NO = 0,
            YES = 1,
            MIP_DEFAULT = 2, // the process-wide default mip-map flag
        };
        enum AlphaFormat : std::uint32_t
        {
            NONE = 0,
            BINARY = 1,
            SMOOTH = 2,
            ALPHA_DEFAULT = 3,
        };

        std::uint32_t m_ePixelLayout = PIX_DEFAULT;
        std::uint32_t m_eMipMapped = MIP_DEFAULT;
        std::uint32_t m_eAlphaFmt = ALPHA_DEFAULT;

        bool operator==(const FormatPrefs&) const = default;
    };

    // What the renderer keeps for a texture; deleted with the texture.
    class RendererData
    {
    public:
        virtual ~RendererData() = default;
        [[nodiscard]] virtual std::uint32_t GetWidth() const = 0;
        [[nodiscard]] virtual std::uint32_t GetHeight() const = 0;
    };

    // Makes the replacement image for a texture and an error code.
    using ReplacementHook = NiPixelDataPtr (*)(NiTexture* pkTexture, std::uint32_t uiError);

    // Error codes the renderer hands to the replacement images.
    static constexpr std::uint32_t REPLACE_CUBE_FORMAT = 0x80000002;  // faces differ in format; no cube format
    static constexpr std::uint32_t REPLACE_NO_FORMAT = 0x80000004;    // no device format; a face did not convert
    static constexpr std::uint32_t REPLACE_NO_IMAGE = 0x80000005;     // the image cannot be read
    static constexpr std::uint32_t REPLACE_BAD_SIZE = 0x80000006;     // not a power of two; mismatched faces
    static constexpr std::uint32_t REPLACEMENT_COUNT = 7;
    static constexpr std::uint32_t REPLACEMENT_SIDE = 8;

    NiTexture();
    ~NiTexture() override;

    [[nodiscard]] virtual std::uint32_t GetWidth() const = 0;
    [[nodiscard]] virtual std::uint32_t GetHeight() const = 0;

    [[nodiscard]] const FormatPrefs& GetFormatPreferences() const { return m_kFormatPrefs; }
    void SetFormatPreferences(const FormatPrefs& kPrefs) { m_kFormatPrefs = kPrefs; }

    [[nodiscard]] RendererData* GetRendererData() const { return m_spRendererData.get(); }
    void SetRendererData(std::unique_ptr<RendererData> spData) { m_spRendererData = std::move(spData); }

    // ---- The texture list: walked under NiTextureListLock() ----
    // Whoever makes a texture adds it once it is whole (the create
    // functions, the stream's create pass); from then on other threads can
    // find it. It leaves by itself when its last reference goes. Adding a
    // listed texture again does nothing.
    void AddToTextureList();
    [[nodiscard]] static NiTexture* GetListHead() { return ms_pkHead; }
    [[nodiscard]] static NiTexture* GetListTail() { return ms_pkTail; }
    [[nodiscard]] NiTexture* GetListNext() const { return m_pkNext; }
    [[nodiscard]] NiTexture* GetListPrev() const { return m_pkPrev; }
    [[nodiscard]] static std::uint32_t GetListCount();

    // ---- Process-wide settings ----
    // The one preferences record textures made from files and pixel data use.
    [[nodiscard]] static FormatPrefs& GetDefaultFormatPrefs();
    static void ResetDefaultFormatPrefs();
    // New textures are precached at once (and after loading) while set.
    [[nodiscard]] static bool GetPrecacheOnCreation() { return ms_bPrecacheOnCreation; }
    static void SetPrecacheOnCreation(bool b) { ms_bPrecacheOnCreation = b; }
    // A precached static texture drops its in-memory image while set.
    [[nodiscard]] static bool GetDestroyAfterPrecache() { return ms_bDestroyAfterPrecache; }
    static void SetDestroyAfterPrecache(bool b) { ms_bDestroyAfterPrecache = b; }
    // What mip-map mode 2 stands for.
    [[nodiscard]] static bool GetDefaultMipmap() { return ms_bDefaultMipmap; }
    static void SetDefaultMipmap(bool b) { ms_bDefaultMipmap = b; }
    // The three settings back to true, false, false (tests).
    static void ResetSettings();

    // ---- Replacement images for textures that cannot be made ----
    // Null for a code that is not negative as a signed 32-bit value.
    [[nodiscard]] static NiPixelDataPtr GetReplacementPixelData(NiTexture* pkTexture, std::uint32_t uiError);
    // Copies the format; every cached image goes.
    static void SetReplacementPixelFormat(const NiPixelFormat& kFormat);
    [[nodiscard]] static const NiPixelFormat& GetReplacementPixelFormat();
    // Null: the built-in maker on the next request.
    static void SetReplacementHook(ReplacementHook pfnHook);
    // Releases the cached images (engine shut-down).
    static void ReleaseSolidColorTextures();
    // Format RGBA32, no cache, the built-in maker (start-up and tests).
    static void ResetReplacements();

    // The engine start-up's texture step (the replacement format restored,
    // the shared-texture tables' search of every live texture installed),
    // and the shut-down's (cached images released, the search removed).
    static void StaticInit();
    static void StaticShutdown();

    // A live source texture whose file name equals pcName without regard to
    // case, other than pkLoading, with a reference held; walks the list under
    // its lock and skips a texture whose last reference is already gone.
    [[nodiscard]] static NiObjectPtr FindTextureByName(const char* pcName, const NiObject* pkLoading);

    void AppendViewerStrings(NiViewerStringArray& kStrings) override;

protected:
    // Leaves the texture list before any part of the texture is destroyed.
    void DeleteThis() override;

    FormatPrefs m_kFormatPrefs;

private:
    void RemoveFromTextureList();

    std::unique_ptr<RendererData> m_spRendererData;
    NiTexture* m_pkPrev = nullptr;
    NiTexture* m_pkNext = nullptr;

    static NiTexture* ms_pkHead;
    static NiTexture* ms_pkTail;
    static bool ms_bPrecacheOnCreation;
    static bool ms_bDestroyAfterPrecache;
    static bool ms_bDefaultMipmap;
};

using NiTexturePtr = NiRefPtr<NiTexture>;

// Viewer text of the texturing enumerations: "<name> = <mode's name>", or an
// empty string for a mode out of range. The caller frees it (delete[]).
[[nodiscard]] char* GetClampModeViewerString(const char* pcName, std::uint32_t uiMode);
[[nodiscard]] char* GetFilterModeViewerString(const char* pcName, std::uint32_t uiMode);
