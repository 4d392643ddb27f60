#pragma once

#include "engine/core/NiPlane.h"
#include "engine/core/NiSparsePtrArray.h"
#include "engine/render/NiRect.h"
#include "engine/render/NiRenderer.h"
#include "engine/render/NiScreenTexture.h"
#include "engine/scene/NiAVObject.h"
#include "engine/scene/NiScreenPolygon.h"

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

    void Set(float fLeft, float fRight, float fTop, float fBottom, float fNear, float fFar, bool bOrtho)
    {
        m_fLeft = fLeft;
        m_fRight = fRight;
        m_fTop = fTop;
        m_fBottom = fBottom;
        m_fNear = fNear;
        m_fFar = fFar;
        m_bOrtho = bOrtho;
    }
    void SetOrthographic(bool bOrtho) { m_bOrtho = bOrtho; }
};

// Viewer strings "%s = (N=%g,F=%g,L=%g,R=%g,T=%g,B=%g,O=%u)" and
// "%s = (L=%g,R=%g,T=%g,B=%g)"; new heap strings the caller frees.
[[nodiscard]] char* NiViewerFrustum(const char* pcName, const NiViewFrustum& kFrustum);
[[nodiscard]] char* NiViewerViewport(const char* pcName, const NiRect<float>& kPort);

// The positioned object a scene is viewed through: world viewing vectors
// from its world transform, the frustum and its six world planes that
// culling tests against, the renderer it draws with, and the factor
// level-of-detail data scale their distances by. It drives one frame of
// drawing and turns window pixels into world rays.
class NiCamera : public NiAVObject
{
    NiDeclareTypeInfo()
    NiDeclareClone(NiCamera)

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

    // Grow step and first capacity of the screen element arrays.
    static constexpr std::uint32_t SCREEN_ARRAY_GROW = 5;

    NiCamera();
    ~NiCamera() override;

    static NiObject* CreateObject();

    // Direction = column 0 of the world rotation, up = column 1, right =
    // column 2; then the world planes and the world-to-clip matrix.
    void UpdateWorldData() override;
    // The bound's centre follows the camera; its radius stays.
    void UpdateWorldBound() override;
    // Also drops the renderer's data for every screen element.
    void PurgeRendererData(NiRenderer* pkRenderer) override;

    // Camera data, the scene culled into the renderer's accumulator, the
    // screen polygons and textures, between BeginScene and EndScene.
    // Nothing without a renderer.
    virtual void RenderFrame();

    [[nodiscard]] const NiVec3& GetWorldLocation() const { return m_kWorld.m_kTranslate; }
    [[nodiscard]] const NiVec3& GetWorldDirection() const { return m_kWorldDir; }
    [[nodiscard]] const NiVec3& GetWorldUpVector() const { return m_kWorldUp; }
    [[nodiscard]] const NiVec3& GetWorldRightVector() const { return m_kWorldRight; }

    [[nodiscard]] const NiViewFrustum& GetViewFrustum() const { return m_kViewFrustum; }
    void SetViewFrustum(const NiViewFrustum& kFrustum);
    // Fractions of the render target, bottom 0 and top 1.
    [[nodiscard]] const NiRect<float>& GetViewPort() const { return m_kPort; }
    void SetViewPort(const NiRect<float>& kPort) { m_kPort = kPort; }

    // World to clip space: near maps to z 0 and far to z 1, the frustum's
    // sides to -1 and 1 in x and y. Rows.
    [[nodiscard]] const float (&GetWorldToCameraMatrix() const)[4][4] { return m_aafWorldToCam; }
    [[nodiscard]] float GetXScale() const { return m_fXScale; }
    [[nodiscard]] float GetYScale() const { return m_fYScale; }

    [[nodiscard]] const NiPlane* GetWorldPlanes() const { return m_akWorldPlanes; }
    [[nodiscard]] const NiPlane& GetWorldPlane(PlaneIndex e) const { return m_akWorldPlanes[e]; }
    // Bit i set: plane i is tested. Culling narrows it for a subtree and
    // restores it afterwards.
    [[nodiscard]] std::uint32_t& GetActivePlaneMask() { return m_uiActivePlanes; }

    [[nodiscard]] float GetLODAdjust() const { return m_fLODAdjust; }
    void SetLODAdjust(float fAdjust) { m_fLODAdjust = fAdjust; }
    [[nodiscard]] std::uint16_t GetCameraFlags() const { return m_usCameraFlags; }
    void SetCameraFlags(std::uint16_t us) { m_usCameraFlags = us; }

    [[nodiscard]] NiRenderer* GetRenderer() const { return m_spRenderer; }
    void SetRenderer(NiRenderer* pkRenderer) { m_spRenderer = pkRenderer; }
    [[nodiscard]] NiAVObject* GetScene() const { return m_spScene; }
    void SetScene(NiAVObject* pkScene) { m_spScene = pkScene; }

    // ---- Screen elements drawn over the scene ----
    // Used size: one past the highest entry ever used (holes included).
    [[nodiscard]] std::uint32_t GetScreenPolygonCount() const { return m_kScreenPolygons.GetSize(); }
    [[nodiscard]] NiScreenPolygon* GetScreenPolygon(std::uint32_t uiIndex) const;
    void AddScreenPolygon(NiScreenPolygon* pkPolygon);
    void RemoveScreenPolygon(NiScreenPolygon* pkPolygon);
    void RemoveAllScreenPolygons() { m_kScreenPolygons.RemoveAll(); }
    [[nodiscard]] std::uint32_t GetScreenTextureCount() const { return m_kScreenTextures.GetSize(); }
    [[nodiscard]] NiScreenTexture* GetScreenTexture(std::uint32_t uiIndex) const;
    void AddScreenTexture(NiScreenTexture* pkTexture);
    // Empties the entry holding the texture, leaving a hole.
    void RemoveScreenTexture(NiScreenTexture* pkTexture);
    void RemoveAllScreenTextures() { m_kScreenTextures.RemoveAll(); }
    // Sets flag bit 0 of every screen polygon: the renderer repacks them.
    void FlagScreenPolygons();

    // The renderer's clear of the camera's viewport (flags 1 colour, 2
    // depth, 4 stencil) and its present. Nothing without a renderer.
    void ClearViewport(std::uint32_t uiFlags);
    void DisplayFrame();

    // The world ray through a window pixel. False without a renderer, for a
    // pixel outside the viewport (its edges belong to it) or for a viewport
    // without area.
    [[nodiscard]] bool WindowPointToRay(std::int32_t iX, std::int32_t iY, NiVec3& kOrigin, NiVec3& kDir) const;
    // Turns the camera to look at the point with the given world up; false,
    // changing nothing, for a point at the camera or an up along the view
    // line.
    [[nodiscard]] bool LookAtWorldPoint(const NiVec3& kPoint, const NiVec3& kWorldUp);

    void ReadFromStream(NiObjectStream& kStream) override;
    void ResolveLinks(NiObjectStream& kStream) override;
    // A scene that holds the camera (the camera itself or a node above it)
    // would keep it alive forever: such a load is refused.
    void PostLink(NiObjectStream& kStream) override;
    void DropCountedLinks() override;
    bool RegisterForSave(NiObjectStream& kStream) override;
    void WriteToStream(NiObjectStream& kStream) override;
    bool IsEqual(NiObject* pkOther) override;
    void AppendViewerStrings(NiViewerStringArray& kStrings) override;
    void FinishClone(NiCloneContext& kCloning) override;

protected:
    // The world viewing vectors from the world rotation; the screen-space
    // camera reads its columns differently.
    virtual void UpdateWorldVectors();
    // Planes and matrix from the world position, vectors and frustum.
    void UpdateWorldPlanes();
    void UpdateWorldToCamera();
    void SetCameraDataOn(NiRenderer* pkRenderer);
    void DrawScreenElements(NiRenderer* pkRenderer);

    std::uint16_t m_usCameraFlags = 0;
    float m_aafWorldToCam[4][4] = {};
    float m_fXScale = 0.0f;
    float m_fYScale = 0.0f;
    NiVec3 m_kWorldDir{1.0f, 0.0f, 0.0f};
    NiVec3 m_kWorldUp{0.0f, 1.0f, 0.0f};
    NiVec3 m_kWorldRight{0.0f, 0.0f, 1.0f};
    NiViewFrustum m_kViewFrustum;
    NiRect<float> m_kPort{0.0f, 1.0f, 1.0f, 0.0f};
    NiAVObjectPtr m_spScene;
    NiSparsePtrArray<NiScreenPolygonPtr> m_kScreenPolygons{SCREEN_ARRAY_GROW, SCREEN_ARRAY_GROW};
    NiSparsePtrArray<NiScreenTexturePtr> m_kScreenTextures{SCREEN_ARRAY_GROW, SCREEN_ARRAY_GROW};
    NiRendererPtr m_spRenderer;
    NiPlane m_akWorldPlanes[MAX_PLANES];
    std::uint32_t m_uiActivePlanes = 63;
    float m_fLODAdjust = 1.0f;
};

using NiCameraPtr = NiRefPtr<NiCamera>;
