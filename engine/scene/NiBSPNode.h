#pragma once

#include "engine/core/NiPlane.h"
#include "engine/scene/NiNode.h"

// Visits its two children in the order a plane and the camera position give:
// the child on the camera's side first.
class NiBSPNode : public NiNode
{
    NiDeclareTypeInfo()

public:
    NiBSPNode() : NiNode(2) {}
    static NiObject* CreateObject() { return new NiBSPNode; }

    [[nodiscard]] const NiPlane& GetModelPlane() const { return m_kModelPlane; }
    void SetModelPlane(const NiPlane& k) { m_kModelPlane = k; }
    [[nodiscard]] const NiPlane& GetWorldPlane() const { return m_kWorldPlane; }

    // 1 above (n . p - c > 0), 2 below, 0 on the plane.
    [[nodiscard]] static int WhichSide(const NiPlane& kPlane, const NiVec3& kPoint);

    void ApplyTransform(const NiMatrix3x3& kRotate, const NiVec3& kTranslate, bool bOnLeft) override;
    void UpdateWorldData() override;
    void OnVisible(NiCamera* pkCamera) override;

    NiObject* CreateClone(NiCloneContext& kCloning) override;
    void ReadFromStream(NiObjectStream& kStream) override;
    void WriteToStream(NiObjectStream& kStream) override;
    bool IsEqual(NiObject* pkOther) override;
    void AppendViewerStrings(NiViewerStringArray& kStrings) override;

private:
    NiPlane m_kModelPlane{NiVec3(1.0f, 0.0f, 0.0f), 0.0f};
    NiPlane m_kWorldPlane{NiVec3(1.0f, 0.0f, 0.0f), 0.0f};
};
