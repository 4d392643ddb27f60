#pragma once

#include "engine/scene/NiNode.h"

#include <cstdint>

// Turns itself toward the camera every time it is visited.
class NiBillboardNode : public NiNode
{
    NiDeclareTypeInfo()

public:
    enum FaceMode : std::uint16_t
    {
        ALWAYS_FACE_CAMERA = 0,
        ROTATE_ABOUT_UP = 1,
        RIGID_FACE_CAMERA = 2,
        ALWAYS_FACE_CENTER = 3,
        RIGID_FACE_CENTER = 4,
    };
    static constexpr std::uint16_t MODE_MASK = 0x0007;

    NiBillboardNode() = default;
    static NiObject* CreateObject() { return new NiBillboardNode; }

    [[nodiscard]] std::uint16_t GetMode() const { return m_usBillboardFlags & MODE_MASK; }
    void SetMode(std::uint16_t e)
    {
        m_usBillboardFlags = static_cast<std::uint16_t>((m_usBillboardFlags & ~MODE_MASK) | (e & MODE_MASK));
    }

    // The world rotation turned toward the camera, then the children
    // updated below it.
    void RotateToCamera(NiCamera* pkCamera);

    void UpdateDownwardPass(float fTime, bool bUpdateControllers) override;
    void UpdateSelectedDownwardPass(float fTime) override;
    void UpdateRigidDownwardPass(float fTime) override;
    void UpdateWorldBound() override;
    void OnVisible(NiCamera* pkCamera) override;

    NiObject* CreateClone(NiCloneContext& kCloning) override;
    void ReadFromStream(NiObjectStream& kStream) override;
    void WriteToStream(NiObjectStream& kStream) override;
    bool IsEqual(NiObject* pkOther) override;
    void AppendViewerStrings(NiViewerStringArray& kStrings) override;

private:
    std::uint16_t m_usBillboardFlags = ROTATE_ABOUT_UP;
    float m_fSavedTime = 0.0f;
    std::uint8_t m_bUpdateControllers = 1;
};
