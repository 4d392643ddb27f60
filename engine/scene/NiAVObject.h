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
    // Whether a pass may leave this object's world data for a reader to
    // work out: only kinds whose transform is the parent's times the local
    // one and whose bound comes from that and the children's (not cameras,
    // lights, switches, skins or collision objects: they take the full pass).
    [[nodiscard]] virtual bool CanDeferWorldData() const { return false; }
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
    void RemoveAllProperties()
    {
        m_kPropertyList.RemoveAll();
        ControllerListsChanged();
    }
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

    // A local transform changed while the world data waits keeps the world
    // data the last update pass gave it (see KeepWorldBeforeLocalChange).
    [[nodiscard]] const NiXform& GetLocalTransform() const { return m_kLocal; }
    void SetLocalTransform(const NiXform& kXform)
    {
        KeepWorldBeforeLocalChange();
        m_kLocal = kXform;
    }
    [[nodiscard]] const NiMatrix3x3& GetRotate() const { return m_kLocal.m_kRotate; }
    void SetRotate(const NiMatrix3x3& kRotate)
    {
        KeepWorldBeforeLocalChange();
        m_kLocal.m_kRotate = kRotate;
    }
    [[nodiscard]] const NiVec3& GetTranslate() const { return m_kLocal.m_kTranslate; }
    void SetTranslate(const NiVec3& kTranslate)
    {
        KeepWorldBeforeLocalChange();
        m_kLocal.m_kTranslate = kTranslate;
    }
    [[nodiscard]] float GetScale() const { return m_kLocal.m_fScale; }
    void SetScale(float fScale)
    {
        KeepWorldBeforeLocalChange();
        m_kLocal.m_fScale = fScale;
    }
    // Both readers bring stale world data up to date first (the transform:
    // this object's and its parents'; the bound: also the subtree's).
    [[nodiscard]] const NiXform& GetWorldTransform() const
    {
        if (m_ucStale & WORLD_STALE)
            UpdateStaleWorldTransform();
        return m_kWorld;
    }
    [[nodiscard]] const NiBoundSphere& GetWorldBound() const
    {
        if (m_ucStale & BOUND_STALE)
            UpdateStaleWorldBound();
        return m_kWorldBound;
    }
    void SetWorldBound(const NiBoundSphere& kBound)
    {
        m_ucStale = static_cast<std::uint8_t>(m_ucStale & ~BOUND_STALE);
        m_kWorldBound = kBound;
    }

    // ---- World data on demand (see NiNode::SetWorldOnDemand) ----
    [[nodiscard]] bool IsWorldOnDemand() const { return (m_ucStale & ON_DEMAND) != 0; }
    // Whether the transform or the bound waits for a reader.
    [[nodiscard]] bool IsWorldTransformStale() const { return (m_ucStale & WORLD_STALE) != 0; }
    [[nodiscard]] bool IsWorldBoundStale() const { return (m_ucStale & BOUND_STALE) != 0; }
    // Brings the world transform and bound up to date, with the parents'
    // transforms and the subtree's data they depend on: the values the
    // update passes since the last computation would have left.
    void UpdateStaleWorldData() const { UpdateStaleWorldBound(); }

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

    // Runtime state bits of m_ucStale.
    static constexpr std::uint8_t WORLD_STALE = 0x01;
    static constexpr std::uint8_t BOUND_STALE = 0x02;
    static constexpr std::uint8_t ON_DEMAND = 0x04;
    // An on-demand root whose subtree changed shape since its pass order
    // was taken.
    static constexpr std::uint8_t ORDER_DIRTY = 0x08;

    void CopyMembers(NiAVObject* pkDest, NiCloneContext& kCloning);
    // The collision data old files hold inline, made by name and set as
    // the collision object.
    void ReadOldCollisionData(NiObjectStream& kStream, std::uint32_t uiPropagation, bool bHasBound);
    void UpdateStaleWorldTransform() const;
    void UpdateStaleWorldBound() const;
    static void UpdateStaleWorldChain(NiAVObject* pkObject);
    static void UpdateStaleWorldBoundInLoop(NiAVObject* pkObject);
    // Clears both stale bits once a full pass has computed the data.
    void ClearWorldStale()
    {
        m_ucStale = static_cast<std::uint8_t>(m_ucStale & ~(WORLD_STALE | BOUND_STALE));
    }
    // Tells the on-demand roots above (and at) this object that the subtree
    // changed shape or kind.
    void MarkOnDemandOrderDirty();
    // How many objects carry ON_DEMAND: with none alive, a change of shape
    // has nobody above to tell, and attaching under a deep chain stays cheap.
    static void CountOnDemand(bool bAdded);
    [[nodiscard]] static std::uint32_t CurrentPassStamp();
    // Before the local transform or the place in the graph changes, a stale
    // transform is computed from the values it was marked with: readers
    // then see what the last pass gave, as if it had computed it. Writes
    // that a running pass makes before reaching the object need nothing
    // (the pass marks it again); writes after it has passed do.
    void KeepWorldBeforeLocalChange()
    {
        if (m_ucStale & WORLD_STALE)
            KeepStaleWorld();
    }
    void KeepStaleWorld();
    // The full pass on this object (its world data computed now), after its
    // parent's stale transform has been brought up to date.
    void UpdateDownwardPassNow(float fTime, bool bUpdateControllers);

    std::uint16_t m_uFlags = SELECTIVE_RIGID;
    std::uint8_t m_ucStale = 0;
    // The pass that marked the data stale (see KeepWorldBeforeLocalChange).
    std::uint32_t m_uiStaleStamp = 0;
    NiAVObject* m_pkParent = nullptr;
    NiBoundSphere m_kWorldBound;
    NiXform m_kLocal;
    NiXform m_kWorld;
    NiRefList<NiProperty> m_kPropertyList;
    NiCollisionObjectPtr m_spCollisionObject;
};

using NiAVObjectPtr = NiRefPtr<NiAVObject>;
