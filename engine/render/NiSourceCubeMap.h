#pragma once

#include "engine/render/NiSourceTexture.h"

#include <cstdint>
#include <string>

// A source texture of six faces, in the order of the device's cube faces:
// +X, -X, +Y, -Y, +Z, -Z.
class NiSourceCubeMap : public NiSourceTexture
{
    NiDeclareTypeInfo()

public:
    enum FaceID : std::uint32_t
    {
        FACE_POS_X = 0,
        FACE_NEG_X = 1,
        FACE_POS_Y = 2,
        FACE_NEG_Y = 3,
        FACE_POS_Z = 4,
        FACE_NEG_Z = 5,
        FACE_NUM = 6,
    };

    NiSourceCubeMap();
    ~NiSourceCubeMap() override;

    // The face LoadPixelData and DestroyAppPixelData work on.
    [[nodiscard]] std::uint32_t GetCurrentCubeFace() const { return m_uiCurrentFace; }
    void SetCurrentCubeFace(std::uint32_t uiFace) { m_uiCurrentFace = uiFace < FACE_NUM ? uiFace : m_uiCurrentFace; }

    [[nodiscard]] const std::string& GetFaceFileName(std::uint32_t uiFace) const { return m_akFaceNames[Face(uiFace)]; }
    [[nodiscard]] const std::string& GetFacePlatformFileName(std::uint32_t uiFace) const
    {
        return m_akFacePlatformNames[Face(uiFace)];
    }
    // Names a face's image file (and the name opened for it).
    void SetFaceFileName(std::uint32_t uiFace, const char* pcFileName);
    [[nodiscard]] NiPixelData* GetFacePixelData(std::uint32_t uiFace) const { return m_aspFacePixels[Face(uiFace)]; }
    void SetFacePixelData(std::uint32_t uiFace, NiPixelData* pkPixelData) { m_aspFacePixels[Face(uiFace)] = pkPixelData; }

    // The current face's image file becomes its pixel data and the
    // texture's.
    void LoadPixelData() override;
    // Releases the texture's and the current face's pixel data.
    void DestroyAppPixelData() override;
    // Asks the renderer for cube-map data instead of texture data.
    bool Precache() override;

    void ReadFromStream(NiObjectStream& kStream) override;
    void ResolveLinks(NiObjectStream& kStream) override;
    bool RegisterForSave(NiObjectStream& kStream) override;
    void WriteToStream(NiObjectStream& kStream) override;
    bool IsEqual(NiObject* pkOther) override;
    void AppendViewerStrings(NiViewerStringArray& kStrings) override;

    [[nodiscard]] static NiObject* CreateObject();

private:
    static std::uint32_t Face(std::uint32_t uiFace) { return uiFace < FACE_NUM ? uiFace : 0; }

    std::uint32_t m_uiCurrentFace = FACE_POS_X;
    std::string m_akFaceNames[FACE_NUM];
    std::string m_akFacePlatformNames[FACE_NUM];
    NiPixelDataPtr m_aspFacePixels[FACE_NUM];
};

using NiSourceCubeMapPtr = NiRefPtr<NiSourceCubeMap>;
