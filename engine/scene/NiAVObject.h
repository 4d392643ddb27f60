#pragma once

#include "engine/core/NiBoundSphere.h"
#include "engine/core/NiPlane.h"
#include "engine/core/NiTList.h"
#include "engine/core/NiXform.h"
#include "engine/scene/NiCollisionObject.h"
#include "engine/scene/NiObjectNET.h"
#include "engine/scene/NiProperty.h"
#include "engine/scene/NiPropertySet.h"

#include <cstdint>
#include <vector>

class NiCamera;
class NiEffectSet;
class NiNode;
class NiRenderer;

// Everything with a place in the scene graph: a local transform relative to
// its parent, the world transform and bound computed from it, flags, a list
// of properties and an optional collision object.
class NiAVObject : public NiObjectNET
{
    NiDeclareTypeInfo()

public:
    // Flag bits; the others keep what was read.
    static constexpr std::uint16_t APP_CULLED = 0x0001;
    static constexpr std::uint16_t SELECTIVE_UPDATE = 0x0002;
    static constexpr std::uint16_t SELECTIVE_XFORMS = 0x0004;
    static constexpr std::uint16_t SELECTIVE_PROP_CONTROLLER = 0x0008;
    static constexpr std::uint16_t SELECTIVE_RIGID = 0x0010;
    static constexpr std::uint32_t CULL_PLANES = 6;

    NiAVObject() = default;
    ~NiAVObject() override;

    // ---- The update passes (nodes override the recursive ones) ----
    // The object's controllers and those of its properties.
    virtual void UpdateControllers(float fTime);
    virtual void UpdateModelBound() {}
    virtual void ApplyTransform(const NiMatrix3x3& kRotate, const NiVec3& kTranslate, bool bOnLeft)
    {
        (void)kRotate, (void)kTranslate, (void)bOnLeft;
    }
    // This object when the names are equal; null for a null name.
    [[nodiscard]] virtual NiAVObject* GetObjectByName(const char* pcName);
    virtual void ComputeSelectiveUpdateFlags(bool& bSelectiveUpdate, bool bSelectiveUpdateTransforms, bool& bRigid);
    virtual void UpdateDownwardPass(float fTime, bool bUpdateControllers);
    virtual void UpdateSelectedDownwardPass(float fTime);
    virtual void UpdateRigidDownwardPass(float fTime);
    virtual void UpdatePropertiesDownward(NiPropertySet* pkParentState) { (void)pkParentState; }
    virtual void UpdateEffectsDownward(NiEffectSet* pkParentEffects) { (void)pkParentEffects; }
    virtual void UpdateWorldData();
    virtual void UpdateWorldBound() {}
    // Called for objects that pass culling.
    virtual void OnVisible(NiCamera* pkCamera) { (void)pkCamera; }
    // Drops renderer data cached for this object's properties.
    virtual void PurgeRendererData(NiRenderer* pkRenderer) { (void)pkRenderer; }
    // The objects directly below this one (nodes fill it); used by walks
    // over a subtree.
    virtual void CollectChildren(std::vector<NiAVObject*>& kChildren) const { (void)kChildren; }

    // The downward pass, then the bounds from the parent up to the root.
    void Update(float fTime, bool bUpdateControllers = true);
    // The property and effect passes from the state in force at the parent
    // (the global defaults and no effects at a root).
    void UpdateProperties();
    void UpdateEffects();
    void UpdateObjectControllers(float fTime, bool bProperties);
    // Tests the world bound against the planes whose bits are set in the
    // mask: outside one (d <= -r) culls; wholly inside one (d >= r) clears
    // its bit for what OnVisible reaches. The mask is restored either way.
    void Cull(NiCamera* pkCamera, const NiPlane* pkPlanes, std::uint32_t& uiPlaneMask);

    // ---- Properties ----
    [[nodiscard]] NiProperty* GetProperty(int iType) const;
    void AttachProperty(NiProperty* pkProperty);
    // The property as given when it is not in the list.
    NiPropertyPtr DetachProperty(NiProperty* pkProperty);
    NiPropertyPtr RemovePropertyOfType(int iType);
    void RemoveAllProperties() { m_kPropertyList.RemoveAll(); }
    [[nodiscard]] const NiRefList<NiProperty>& GetPropertyList() const { return m_kPropertyList; }
    // The parent set itself when nothing here changes it; otherwise a set
    // (copied from the parent's when asked) with this object's properties in.
    [[nodiscard]] NiPropertySetPtr PushLocalProperties(NiPropertySet* pkParentState, bool bCopyOnChange);

    // ---- Collision ----
    [[nodiscard]] NiCollisionObject* GetCollisionObject() const { return m_spCollisionObject; }
    void SetCollisionObject(NiCollisionObject* pkCollision);

    [[nodiscard]] bool HasTransformController() const;
    [[nodiscard]] bool HasPropertyController() const;

    // ---- State ----
    [[nodiscard]] std::uint16_t GetFlags() const { return m_uFlags; }
    void SetFlags(std::uint16_t uFlags) { m_uFlags = uFlags; }
    [[nodiscard]] bool GetAppCulled() const { return (m_uFlags & APP_CULLED) != 0; }
    void SetAppCulled(bool bCulled);
    // The node that holds the object; null at a root.
    [[nodiscard]] NiAVObject* GetParent() const { return m_pkParent; }
    // An old parent lets the object go first (nodes call this as they take
    // a child).
    void SetParent(NiNode* pkParent);

    [[nodiscard]] const NiXform& GetLocalTransform() const { return m_kLocal; }
    void SetLocalTransform(const NiXform& kXform) { m_kLocal = kXform; }
    [[nodiscard]] const NiMatrix3x3& GetRotate() const { return m_kLocal.m_kRotate; }
    void SetRotate(const NiMatrix3x3& kRotate) { m_kLocal.m_kRotate = kRotate; }
    [[nodiscard]] const NiVec3& GetTranslate() const { return m_kLocal.m_kTranslate; }
    void SetTranslate(const NiVec3& kTranslate) { m_kLocal.m_kTranslate = kTranslate; }
    [[nodiscard]] float GetScale() const { return m_kLocal.m_fScale; }
    void SetScale(float fScale) { m_kLocal.m_fScale = fScale; }
    [[nodiscard]] const NiXform& GetWorldTransform() const { return m_kWorld; }
    [[nodiscard]] const NiBoundSphere& GetWorldBound() const { return m_kWorldBound; }
    void SetWorldBound(const NiBoundSphere& kBound) { m_kWorldBound = kBound; }

    void ReadFromStream(NiObjectStream& kStream) override;
    void ResolveLinks(NiObjectStream& kStream) override;
    bool RegisterForSave(NiObjectStream& kStream) override;
    void WriteToStream(NiObjectStream& kStream) override;
    bool IsEqual(NiObject* pkOther) override;
    void AppendViewerStrings(NiViewerStringArray& kStrings) override;
    void FinishClone(NiCloneContext& kCloning) override;

    // Resets the update flags of old files on every parentless positioned
    // object of a load and its subtree (set on the stream by the scene
    // library).
    static void OldUpdateFlagFix(NiObjectStream& kStream, NiObject* pkObject);

protected:
    friend class NiNode;

    void CopyMembers(NiAVObject* pkDest, NiCloneContext& kCloning);

    std::uint16_t m_uFlags = SELECTIVE_RIGID;
    NiAVObject* m_pkParent = nullptr;
    NiBoundSphere m_kWorldBound;
    NiXform m_kLocal;
    NiXform m_kWorld;
    NiRefList<NiProperty> m_kPropertyList;
    NiCollisionObjectPtr m_spCollisionObject;
};

using NiAVObjectPtr = NiRefPtr<NiAVObject>;
