#pragma once

#include "engine/render/NiDX9SourceTextureData.h"
#include "engine/render/NiSourceCubeMap.h"

#include <array>
#include <cstdint>

// The data of a source cube map: a managed cube texture filled face by face
// from the faces' files or pixel data. Faces that cannot be made turn the
// whole cube into replacement faces, so the six always agree.
class NiDX9SourceCubeMapData : public NiDX9SourceTextureData
{
public:
    // The data, attached to the cube map; null when the device has no cube
    // format at all or the cube texture cannot be made.
    static NiDX9SourceCubeMapData* Create(NiSourceCubeMap* pkCubeMap, NiDX9Renderer* pkRenderer);
    ~NiDX9SourceCubeMapData() override;

    [[nodiscard]] gfx::IDirect3DCubeTexture9* GetCubeTexture() const { return m_pkCubeTexture; }
    // Faces whose pixel data changed (every face when the palette did) are
    // converted and copied again.
    void Update() override;

    // Replacement code of each face when it was made (0: its own image).
    [[nodiscard]] std::uint32_t GetFaceError(std::uint32_t uiFace) const
    {
        return uiFace < m_auiFaceErrors.size() ? m_auiFaceErrors[uiFace] : 0;
    }
    [[nodiscard]] std::uint32_t GetFaceRevID(std::uint32_t uiFace) const
    {
        return uiFace < m_auiFaceRevIDs.size() ? m_auiFaceRevIDs[uiFace] : 0;
    }

private:
    NiDX9SourceCubeMapData(NiSourceCubeMap* pkCubeMap, NiDX9Renderer* pkRenderer);
    // Every level the cube holds of one face.
    void CopyFace(std::uint32_t uiFace, const NiPixelData& kImage);
    [[nodiscard]] NiSourceCubeMap* GetCubeMap() const { return static_cast<NiSourceCubeMap*>(m_pkTexture); }

    // The base's device texture, seen as a cube (not a second reference).
    gfx::IDirect3DCubeTexture9* m_pkCubeTexture = nullptr;
    std::array<std::uint32_t, NiSourceCubeMap::FACE_NUM> m_auiFaceRevIDs{};
    std::array<std::uint32_t, NiSourceCubeMap::FACE_NUM> m_auiFaceErrors{};
};
