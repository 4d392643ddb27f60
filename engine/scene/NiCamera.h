#pragma once

#include "engine/core/NiPlane.h"
#include "engine/render/NiRenderer.h"
#include "engine/scene/NiAVObject.h"

#include <cstdint>

// The frustum record: side slopes at unit distance (distances in world
// units when orthographic), near and far.
struct NiViewFrustum
{
    float m_fLeft = -0.5f;
    float m_fRight = 0.5f;
    float m_fTop = 0.5f;
    float m_fBottom = -0.5f;
    float m_fNear = 1.0f;
    float m_fFar = 2.0f;
    bool m_bOrtho = false;
};

// The positioned object a scene is viewed through: world viewing vectors
// from its world transform, the frustum and its six world planes that
// culling tests against, the renderer it draws with, and the factor
// level-of-detail data scale their distances by.
class NiCamera : public NiAVObject
{
    NiDeclareTypeInfo()

public:
    enum PlaneIndex : std::uint32_t
    {
        NEAR_PLANE = 0,
        FAR_PLANE,
        LEFT_PLANE,
        RIGHT_PLANE,
        TOP_PLANE,
        BOTTOM_PLANE,
        MAX_PLANES
    };

    NiCamera();
    ~NiCamera() override = default;

    // Direction = column 0 of the world rotation, up = column 1, right =
    // column 2; then the world planes.
    void UpdateWorldData() override;

    [[nodiscard]] const NiVec3& GetWorldLocation() const { return m_kWorld.m_kTranslate; }
    [[nodiscard]] const NiVec3& GetWorldDirection() const { return m_kWorldDir; }
    [[nodiscard]] const NiVec3& GetWorldUpVector() const { return m_kWorldUp; }
    [[nodiscard]] const NiVec3& GetWorldRightVector() const { return m_kWorldRight; }

    [[nodiscard]] const NiViewFrustum& GetViewFrustum() const { return m_kViewFrustum; }
    void SetViewFrustum(const NiViewFrustum& kFrustum);

    [[nodiscard]] const NiPlane* GetWorldPlanes() const { return m_akWorldPlanes; }
    // Bit i set: plane i is tested. Culling narrows it for a subtree and
    // restores it afterwards.
    [[nodiscard]] std::uint32_t& GetActivePlaneMask() { return m_uiActivePlanes; }

    [[nodiscard]] float GetLODAdjust() const { return m_fLODAdjust; }
    void SetLODAdjust(float fAdjust) { m_fLODAdjust = fAdjust; }

    [[nodiscard]] NiRenderer* GetRenderer() const { return m_spRenderer; }
    void SetRenderer(NiRenderer* pkRenderer) { m_spRenderer = pkRenderer; }

private:
    void UpdateWorldPlanes();

    NiVec3 m_kWorldDir{1.0f, 0.0f, 0.0f};
    NiVec3 m_kWorldUp{0.0f, 1.0f, 0.0f};
    NiVec3 m_kWorldRight{0.0f, 0.0f, 1.0f};
    NiViewFrustum m_kViewFrustum;
    NiRendererPtr m_spRenderer;
    NiPlane m_akWorldPlanes[MAX_PLANES];
    std::uint32_t m_uiActivePlanes = 63;
    float m_fLODAdjust = 1.0f;
};

using NiCameraPtr = NiRefPtr<NiCamera>;
