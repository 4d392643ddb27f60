#pragma once

#include "engine/render/NiPixelData.h"
#include "engine/render/NiTexture.h"

#include <string>

// A texture made from an image file or from pixel data in memory.
class NiSourceTexture : public NiTexture
{
    NiDeclareTypeInfo()

public:
    NiSourceTexture();
    ~NiSourceTexture() override;

    // New textures, precached at once while the precache-on-creation
    // setting is on; null when the renderer refuses them (the texture is
    // gone then), or for a null or empty name or null pixel data.
    [[nodiscard]] static NiRefPtr<NiSourceTexture> CreateFromFile(const char* pcFileName, const FormatPrefs& kPrefs,
                                                                  bool bLoadDirectToRendererHint = true);
    [[nodiscard]] static NiRefPtr<NiSourceTexture> CreateFromPixelData(NiPixelData* pkPixelData,
                                                                       const FormatPrefs& kPrefs);

    // From the renderer data when it exists, else the pixel data's level 0,
    // else 0.
    [[nodiscard]] std::uint32_t GetWidth() const override;
    [[nodiscard]] std::uint32_t GetHeight() const override;

    // Reads the image file into memory, when the texture names a file and
    // holds no image yet.
    virtual void LoadPixelData();
    virtual void DestroyAppPixelData();
    // Has the current renderer make its data for the texture; false only
    // when the renderer refuses. Without a renderer nothing is made: true.
    virtual bool Precache();

    // Empty for textures made from pixel data.
    [[nodiscard]] const std::string& GetFileName() const { return m_kFileName; }
    // The name actually opened for the file.
    [[nodiscard]] const std::string& GetPlatformSpecificFileName() const { return m_kPlatformFileName; }
    [[nodiscard]] NiPixelData* GetSourcePixelData() const { return m_spSrcPixelData; }
    // Static textures are not refreshed from their pixel data while drawn.
    [[nodiscard]] bool GetStatic() const { return m_bStatic; }
    void SetStatic(bool bStatic) { m_bStatic = bStatic; }
    // The renderer may hand the file straight to the platform's loader.
    [[nodiscard]] bool GetLoadDirectToRendererHint() const { return m_bLoadDirectToRendererHint; }
    void SetLoadDirectToRendererHint(bool b) { m_bLoadDirectToRendererHint = b; }

    void ReadFromStream(NiObjectStream& kStream) override;
    void ResolveLinks(NiObjectStream& kStream) override;
    bool RegisterForSave(NiObjectStream& kStream) override;
    void WriteToStream(NiObjectStream& kStream) override;
    bool IsEqual(NiObject* pkOther) override;
    void AppendViewerStrings(NiViewerStringArray& kStrings) override;
    void PostLink(NiObjectStream& kStream) override;

    [[nodiscard]] static NiObject* CreateObject();

protected:
    // Both names from a file name (the platform name as the converter makes
    // it); null clears them. Other threads' searches read the names of a
    // listed texture, so they change under the texture-list lock.
    void SetFileNames(const char* pcFileName);
    void SetPlatformFileName(const std::string& kName);
    // Marks this texture as read by the stream: its own link and post-link
    // passes are still to come.
    void BeginRead(NiObjectStream& kStream);
    // True for this texture's own link pass. Otherwise the call stands for a
    // texture of the file that was replaced by this one while it was read:
    // the links that reader queued are taken and dropped here, so this
    // texture keeps its own links and the queue stays in step.
    bool TakeOwnLinkPass(NiObjectStream& kStream);
    // True for this texture's own post-link pass (once per read).
    bool TakeOwnPostLinkPass(NiObjectStream& kStream);

    std::string m_kFileName;
    std::string m_kPlatformFileName;
    NiPixelDataPtr m_spSrcPixelData;
    bool m_bStatic = true;
    bool m_bLoadDirectToRendererHint = false;

private:
    // Looks the texture up among the stream's (and, when asked, every live)
    // texture; a hit takes this reader's place in the stream.
    void FindOrShare(NiObjectStream& kStream, bool bExternal);

    // Which stream still owes this texture its link and post-link passes.
    // A texture found by another thread's stream gets that stream's passes
    // too, so these are read and written under the texture-list lock.
    const NiObjectStream* m_pkLinkStream = nullptr;
    const NiObjectStream* m_pkPostLinkStream = nullptr;
};

using NiSourceTexturePtr = NiRefPtr<NiSourceTexture>;
