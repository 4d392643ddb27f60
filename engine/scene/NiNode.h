#pragma once

#include "engine/core/NiSparsePtrArray.h"
#include "engine/core/NiTList.h"
#include "engine/scene/NiAVObject.h"
#include "engine/scene/NiEffectSet.h"

#include <cstdint>
#include <memory>
#include <vector>

class NiDynamicEffect;

// Interior object of the scene graph: an ordered array of children (holes
// allowed; the order is the order of every recursive pass) and the dynamic
// effects switched on for its subtree.
class NiNode : public NiAVObject
{
    NiDeclareTypeInfo()

public:
    explicit NiNode(std::uint32_t uiInitialChildren = 0);
    // Effects forget the node, children their parent.
    ~NiNode() override;

    static NiObject* CreateObject();

    // ---- Children ----
    // One past the highest used index (holes included).
    [[nodiscard]] std::uint32_t GetArrayCount() const { return m_kChildren.GetSize(); }
    [[nodiscard]] std::uint32_t GetChildCount() const { return m_kChildren.GetEffectiveSize(); }
    [[nodiscard]] NiAVObject* GetAt(std::uint32_t uiIndex) const { return m_kChildren.GetAt(uiIndex); }

    // A child held by another node moves here. With bFirstAvail the first
    // hole takes it; otherwise it goes after the last used entry.
    virtual void AttachChild(NiAVObject* pkChild, bool bFirstAvail = false);
    // Null when the child is not held here.
    virtual NiAVObjectPtr DetachChild(NiAVObject* pkChild);
    virtual NiAVObjectPtr DetachChildAt(std::uint32_t uiIndex);
    // Returns the child that was at the index.
    virtual NiAVObjectPtr SetAt(std::uint32_t uiIndex, NiAVObject* pkChild);
    // Bounds from here up to the root.
    virtual void UpdateUpwardPass();

    // ---- Effects ----
    void AttachEffect(NiDynamicEffect* pkEffect);
    void DetachEffect(NiDynamicEffect* pkEffect);
    void DetachAllEffects();
    [[nodiscard]] const NiTList<NiDynamicEffect>& GetEffectList() const { return m_kEffectList; }

    // ---- State in force here ----
    [[nodiscard]] NiPropertySetPtr GetPropertyState();
    [[nodiscard]] NiEffectSetPtr GetEffectState();
    // The parent set itself when nothing here changes it (or it may be
    // extended in place when bCopyOnChange is false).
    [[nodiscard]] NiEffectSetPtr PushLocalEffects(NiEffectSet* pkParentEffects, bool bCopyOnChange);

    [[nodiscard]] const NiBoundSphere& GetModelBound() const { return m_kModelBound; }

    // ---- Passes ----
    void UpdateControllers(float fTime) override;
    void UpdateModelBound() override;
    void ApplyTransform(const NiMatrix3x3& kRotate, const NiVec3& kTranslate, bool bOnLeft) override;
    [[nodiscard]] NiAVObject* GetObjectByName(const char* pcName) override;
    void ComputeSelectiveUpdateFlags(bool& bSelectiveUpdate, bool bSelectiveUpdateTransforms, bool& bRigid) override;
    void UpdateDownwardPass(float fTime, bool bUpdateControllers) override;
    [[nodiscard]] bool CanDeferWorldData() const override;
    void UpdateSelectedDownwardPass(float fTime) override;
    void UpdateRigidDownwardPass(float fTime) override;
    void UpdatePropertiesDownward(NiPropertySet* pkParentState) override;
    void UpdateEffectsDownward(NiEffectSet* pkParentEffects) override;
    void UpdateWorldBound() override;
    void OnVisible(NiCamera* pkCamera) override;
    void PurgeRendererData(NiRenderer* pkRenderer) override;
    void CollectChildren(std::vector<NiAVObject*>& kChildren) const override;

    // ---- World data on demand ----
    // The subtree's world transforms and bounds are worked out when
    // something reads them (the accessors, culling, picking), not by every
    // update pass that reaches this node; its controllers still run with
    // each pass, in the full pass's order. Not stored, not cloned.
    void SetWorldOnDemand(bool bOnDemand);

    // Has the object's own controllers visit and the cull test run for a
    // child (the camera's planes and mask).
    static void CullChild(NiAVObject* pkChild, NiCamera* pkCamera);

    NiObject* CreateClone(NiCloneContext& kCloning) override;
    void ReadFromStream(NiObjectStream& kStream) override;
    void ResolveLinks(NiObjectStream& kStream) override;
    bool RegisterForSave(NiObjectStream& kStream) override;
    void WriteToStream(NiObjectStream& kStream) override;
    bool IsEqual(NiObject* pkOther) override;
    void AppendViewerStrings(NiViewerStringArray& kStrings) override;
    void FinishClone(NiCloneContext& kCloning) override;

protected:
    void CopyMembers(NiNode* pkDest, NiCloneContext& kCloning);
    // Merges a child's world bound into the node's (radius-0 bounds are
    // empty subtrees and do not move it).
    void MergeChildBound(const NiAVObject* pkChild);
    // Before a child joins or leaves: stale world data brought up to date.
    void KeepBoundBeforeChildChange();
    [[nodiscard]] bool HasStaleChildBound() const;
    // Moves the children out (parent pointers cleared), leaving the array
    // empty.
    void TakeChildren(std::vector<NiAVObjectPtr>& kInto);
    // The root of this node's tree as far as a load has linked it.
    [[nodiscard]] NiNode* FindLoadRoot();
    // A transform applied to this node as the children see it: one given in
    // the parent's space (bOnLeft) is carried through the local transform.
    void ToChildSpace(const NiMatrix3x3& kRotate, const NiVec3& kTranslate, bool bOnLeft, NiMatrix3x3& kChildRotate,
                      NiVec3& kChildTranslate) const;

    // One object of an on-demand subtree in pass order: marked stale, or
    // (a kind that cannot wait) given its subtree's full pass.
    struct OnDemandStep
    {
        NiAVObject* m_pkObject;
        bool m_bFullPass;
        // The object or one of its properties has controllers (as of
        // m_uiOrderEpoch).
        bool m_bControllers = false;
    };
    // Whether the object or one of its properties has controllers.
    [[nodiscard]] static bool HasAnyControllers(const NiAVObject* pkObject);
    // Notes again who has controllers, as the controller lists are now.
    void NoteOnDemandControllers();
    static void CollectOnDemandOrder(NiAVObject* pkObject, std::vector<OnDemandStep>& kOrder);
    // The pass of an on-demand root: its subtree's controllers in order, and
    // the world data marked stale.
    void UpdateOnDemandPass(float fTime, bool bUpdateControllers);

    NiSparsePtrArray<NiAVObjectPtr> m_kChildren;
    NiTList<NiDynamicEffect> m_kEffectList;
    NiBoundSphere m_kModelBound;
    // Only while a file's links are resolved: a step toward the root of
    // the tree this node has been linked into (null at that root).
    NiNode* m_pkLoadRoot = nullptr;
    // The on-demand subtree in pass order (raw links: any change of shape
    // marks the order dirty before an object can go).
    std::unique_ptr<std::vector<OnDemandStep>> m_pkOnDemandOrder;
    // The controller-list epoch the order's controller notes were taken at.
    std::uint32_t m_uiOrderEpoch = 0;
};

using NiNodePtr = NiRefPtr<NiNode>;
