#pragma once

#include "engine/render/NiTexture.h"

#include <cstdint>

class NiRenderer;

// A texture the renderer draws into: made by application code with a size,
// it has no image of its own until something is drawn.
class NiRenderedTexture : public NiTexture
{
    NiDeclareTypeInfo()

public:
    // Null when the renderer cannot make a target of this size.
    [[nodiscard]] static NiRefPtr<NiRenderedTexture> Create(std::uint32_t uiWidth, std::uint32_t uiHeight,
                                                            NiRenderer* pkRenderer,
                                                            const FormatPrefs& kPrefs = FormatPrefs());
    ~NiRenderedTexture() override;

    [[nodiscard]] std::uint32_t GetWidth() const override { return m_uiWidth; }
    [[nodiscard]] std::uint32_t GetHeight() const override { return m_uiHeight; }

protected:
    NiRenderedTexture(std::uint32_t uiWidth, std::uint32_t uiHeight);

    std::uint32_t m_uiWidth;
    std::uint32_t m_uiHeight;
};

// Six square faces drawn one at a time: the current face is the one a
// target switch draws into.
class NiRenderedCubeMap : public NiRenderedTexture
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

    [[nodiscard]] static NiRefPtr<NiRenderedCubeMap> Create(std::uint32_t uiEdge, NiRenderer* pkRenderer,
                                                            const FormatPrefs& kPrefs = FormatPrefs());
    ~NiRenderedCubeMap() override;

    [[nodiscard]] std::uint32_t GetCurrentCubeFace() const { return m_uiCurrentFace; }
    void SetCurrentCubeFace(std::uint32_t uiFace) { m_uiCurrentFace = uiFace < FACE_NUM ? uiFace : m_uiCurrentFace; }

private:
    explicit NiRenderedCubeMap(std::uint32_t uiEdge);
    std::uint32_t m_uiCurrentFace = FACE_POS_X;
};
