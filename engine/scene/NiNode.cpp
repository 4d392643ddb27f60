#include "engine/scene/NiNode.h"

#include "engine/core/NiCloneContext.h"
#include "engine/core/NiObjectStream.h"
#include "engine/core/NiViewerStrings.h"
#include "engine/render/NiRenderer.h"
#include "engine/scene/NiCamera.h"
#include "engine/scene/NiDynamicEffect.h"

NiImplementTypeInfo(NiNode, NiAVObject)

NiNode::NiNode(std::uint32_t uiInitialChildren) : m_kChildren(uiInitialChildren, 1)
{
}

NiNode::~NiNode()
{
    if (m_ucStale & ON_DEMAND)
        CountOnDemand(false);
    DetachAllEffects();
    // Subtrees only this node holds are taken apart here, level by level,
    // instead of each node's destructor releasing the next: a deep tree
    // from a file must not exhaust the stack when it goes.
    std::vector<NiAVObjectPtr> kPending;
    TakeChildren(kPending);
    while (!kPending.empty())
    {
        NiAVObjectPtr spObject = std::move(kPending.back());
        kPending.pop_back();
        if (spObject->GetRefCount() == 1)
        {
            if (NiNode* pkNode = NiDynamicCast<NiNode>(spObject.Get()))
                pkNode->TakeChildren(kPending);
        }
    }
}

void NiNode::TakeChildren(std::vector<NiAVObjectPtr>& kInto)
{
    for (std::uint32_t i = 0; i < m_kChildren.GetSize(); ++i)
    {
        NiAVObjectPtr spChild = m_kChildren.GetAt(i);
        if (spChild == nullptr)
            continue;
        if (spChild->m_pkParent == this)
            spChild->m_pkParent = nullptr;
        kInto.push_back(std::move(spChild));
    }
    m_kChildren.RemoveAll();
    m_pkOnDemandOrder.reset();
}

NiObject* NiNode::CreateObject()
{
    return new NiNode(0);
}

// ---- Children ----

void NiNode::AttachChild(NiAVObject* pkChild, bool bFirstAvail)
{
    if (pkChild == nullptr)
        return;
    NiAVObjectPtr spChild = pkChild;
    KeepBoundBeforeChildChange();
    MarkOnDemandOrderDirty();
    pkChild->SetParent(this);
    if (bFirstAvail)
        m_kChildren.AddFirstEmpty(spChild);
    else
        m_kChildren.AddTail(spChild);
}

NiAVObjectPtr NiNode::DetachChild(NiAVObject* pkChild)
{
    if (pkChild == nullptr)
        return nullptr;
    for (std::uint32_t i = 0; i < m_kChildren.GetSize(); ++i)
    {
        if (m_kChildren.GetAt(i).Get() == pkChild)
        {
            KeepBoundBeforeChildChange();
            MarkOnDemandOrderDirty();
            pkChild->m_pkParent = nullptr;
            return m_kChildren.RemoveAt(i);
        }
    }
    return nullptr;
}

NiAVObjectPtr NiNode::DetachChildAt(std::uint32_t uiIndex)
{
    if (uiIndex >= m_kChildren.GetSize())
        return nullptr;
    NiAVObjectPtr spChild = m_kChildren.GetAt(uiIndex);
    if (spChild == nullptr)
        return nullptr;
    KeepBoundBeforeChildChange();
    MarkOnDemandOrderDirty();
    spChild->m_pkParent = nullptr;
    return m_kChildren.RemoveAt(uiIndex);
}

NiAVObjectPtr NiNode::SetAt(std::uint32_t uiIndex, NiAVObject* pkChild)
{
    NiAVObjectPtr spChild = pkChild;
    KeepBoundBeforeChildChange();
    MarkOnDemandOrderDirty();
    if (uiIndex >= m_kChildren.GetSize())
    {
        if (pkChild != nullptr)
            pkChild->SetParent(this);
        if (uiIndex >= m_kChildren.GetCapacity())
            m_kChildren.SetCapacity(uiIndex + m_kChildren.GetGrowBy());
        m_kChildren.SetAt(uiIndex, spChild);
        return nullptr;
    }
    NiAVObjectPtr spOld = m_kChildren.GetAt(uiIndex);
    if (spOld == spChild)
        return spOld;
    if (spOld != nullptr)
        spOld->m_pkParent = nullptr;
    if (pkChild != nullptr)
        pkChild->SetParent(this);
    m_kChildren.SetAt(uiIndex, spChild);
    return spOld;
}

void NiNode::KeepBoundBeforeChildChange()
{
    // The bound the last pass gave (or would have given) stays until the
    // next pass; a child joining or leaving must not change it, nor must the
    // leaving child lose the parent its world data came from.
    if (m_ucStale & (WORLD_STALE | BOUND_STALE))
        UpdateStaleWorldBound();
}

bool NiNode::HasStaleChildBound() const
{
    for (std::uint32_t i = 0; i < m_kChildren.GetSize(); ++i)
    {
        const NiAVObject* pkChild = m_kChildren.GetAt(i);
        if (pkChild != nullptr && (pkChild->m_ucStale & BOUND_STALE))
            return true;
    }
    return false;
}

void NiNode::UpdateUpwardPass()
{
    // A child whose bound waits makes this bound wait too, rather than
    // bringing every such child up to date now.
    if (HasStaleChildBound())
        m_ucStale |= BOUND_STALE;
    else
    {
        UpdateWorldBound();
        m_ucStale = static_cast<std::uint8_t>(m_ucStale & ~BOUND_STALE);
    }
    if (NiNode* pkParent = NiDynamicCast<NiNode>(m_pkParent))
        pkParent->UpdateUpwardPass();
}

void NiNode::CollectChildren(std::vector<NiAVObject*>& kChildren) const
{
    for (std::uint32_t i = 0; i < m_kChildren.GetSize(); ++i)
    {
        if (NiAVObject* pkChild = m_kChildren.GetAt(i))
            kChildren.push_back(pkChild);
    }
}

NiNode* NiNode::FindLoadRoot()
{
    NiNode* pkRoot = this;
    while (pkRoot->m_pkLoadRoot != nullptr)
        pkRoot = pkRoot->m_pkLoadRoot;
    // Path compression keeps a whole load's checks near linear.
    for (NiNode* pk = this; pk != pkRoot;)
    {
        NiNode* pkNext = pk->m_pkLoadRoot;
        pk->m_pkLoadRoot = pkRoot;
        pk = pkNext;
    }
    return pkRoot;
}

// ---- Effects ----

void NiNode::AttachEffect(NiDynamicEffect* pkEffect)
{
    if (pkEffect == nullptr || m_kEffectList.FindPos(pkEffect) != nullptr)
        return;
    m_kEffectList.AddHead(pkEffect);
    pkEffect->AttachAffectedNode(this);
}

void NiNode::DetachEffect(NiDynamicEffect* pkEffect)
{
    if (pkEffect == nullptr || !m_kEffectList.Remove(pkEffect))
        return;
    pkEffect->DetachAffectedNode(this);
}

void NiNode::DetachAllEffects()
{
    while (NiDynamicEffect* pkEffect = m_kEffectList.GetHead())
        DetachEffect(pkEffect);
}

NiPropertySetPtr NiNode::GetPropertyState()
{
    NiPropertySetPtr spParent;
    if (NiNode* pkParent = NiDynamicCast<NiNode>(m_pkParent))
        spParent = pkParent->GetPropertyState();
    else
        spParent = new NiPropertySet;
    return PushLocalProperties(spParent, true);
}

NiEffectSetPtr NiNode::GetEffectState()
{
    NiEffectSetPtr spParent;
    if (NiNode* pkParent = NiDynamicCast<NiNode>(m_pkParent))
        spParent = pkParent->GetEffectState();
    return PushLocalEffects(spParent, false);
}

NiEffectSetPtr NiNode::PushLocalEffects(NiEffectSet* pkParentEffects, bool bCopyOnChange)
{
    NiEffectSetPtr spResult = pkParentEffects;
    bool bCopied = false;
    if (pkParentEffects != nullptr)
    {
        pkParentEffects->ForEachEffect([&](NiDynamicEffect* pkEffect) {
            if (!pkEffect->IsUnaffectedNode(this))
                return;
            if (!bCopied)
            {
                spResult = pkParentEffects->Copy();
                bCopied = true;
            }
            spResult->RemoveEffect(pkEffect);
        });
    }
    if (!m_kEffectList.IsEmpty())
    {
        if (spResult == nullptr)
            spResult = new NiEffectSet;
        else if (bCopyOnChange && !bCopied)
            spResult = pkParentEffects->Copy();
        for (NiListPos kPos = m_kEffectList.GetHeadPos(); kPos != nullptr;)
            spResult->AddEffect(NiTList<NiDynamicEffect>::GetNext(kPos));
    }
    return spResult;
}

// ---- Update passes ----

void NiNode::MergeChildBound(const NiAVObject* pkChild)
{
    const NiBoundSphere& kChild = pkChild->GetWorldBound();
    if (kChild.m_fRadius == 0.0f)
        return;
    if (m_kWorldBound.m_fRadius == 0.0f)
        m_kWorldBound = kChild;
    else
        m_kWorldBound.Merge(kChild);
}

void NiNode::UpdateWorldBound()
{
    m_kWorldBound.m_fRadius = 0.0f;
    for (std::uint32_t i = 0; i < m_kChildren.GetSize(); ++i)
    {
        if (NiAVObject* pkChild = m_kChildren.GetAt(i))
            MergeChildBound(pkChild);
    }
}

void NiNode::UpdateControllers(float fTime)
{
    UpdateObjectControllers(fTime, true);
    for (std::uint32_t i = 0; i < m_kChildren.GetSize(); ++i)
    {
        if (NiAVObject* pkChild = m_kChildren.GetAt(i))
            pkChild->UpdateControllers(fTime);
    }
}

void NiNode::UpdateModelBound()
{
    for (std::uint32_t i = 0; i < m_kChildren.GetSize(); ++i)
    {
        if (NiAVObject* pkChild = m_kChildren.GetAt(i))
            pkChild->UpdateModelBound();
    }
    m_kModelBound.Transform(m_kWorldBound, m_kWorld.Invert());
}

void NiNode::ToChildSpace(const NiMatrix3x3& kRotate, const NiVec3& kTranslate, bool bOnLeft,
                          NiMatrix3x3& kChildRotate, NiVec3& kChildTranslate) const
{
    kChildRotate = kRotate;
    kChildTranslate = kTranslate;
    if (!bOnLeft)
        return;
    const NiMatrix3x3& R = m_kLocal.m_kRotate;
    const NiVec3& T = m_kLocal.m_kTranslate;
    kChildRotate = R.TransposeMultiply(kRotate).Multiply(R);
    kChildTranslate = R.TransposeMultiplyVector(kRotate.MultiplyVector(T) + kTranslate - T) / m_kLocal.m_fScale;
}

void NiNode::ApplyTransform(const NiMatrix3x3& kRotate, const NiVec3& kTranslate, bool bOnLeft)
{
    NiMatrix3x3 kChildRotate;
    NiVec3 kChildTranslate;
    ToChildSpace(kRotate, kTranslate, bOnLeft, kChildRotate, kChildTranslate);
    for (std::uint32_t i = 0; i < m_kChildren.GetSize(); ++i)
    {
        if (NiAVObject* pkChild = m_kChildren.GetAt(i))
            pkChild->ApplyTransform(kChildRotate, kChildTranslate, true);
    }
}

NiAVObject* NiNode::GetObjectByName(const char* pcName)
{
    if (NiAVObject* pkHit = NiAVObject::GetObjectByName(pcName))
        return pkHit;
    for (std::uint32_t i = 0; i < m_kChildren.GetSize(); ++i)
    {
        if (NiAVObject* pkChild = m_kChildren.GetAt(i))
        {
            if (NiAVObject* pkHit = pkChild->GetObjectByName(pcName))
                return pkHit;
        }
    }
    return nullptr;
}

void NiNode::ComputeSelectiveUpdateFlags(bool& bSelectiveUpdate, bool bSelectiveUpdateTransforms, bool& bRigid)
{
    bool bOwn = HasTransformController();
    bool bTransforms = bSelectiveUpdateTransforms || bOwn;
    bSelectiveUpdate = bTransforms;
    bRigid = true;
    for (std::uint32_t i = 0; i < m_kChildren.GetSize(); ++i)
    {
        NiAVObject* pkChild = m_kChildren.GetAt(i);
        if (pkChild == nullptr)
            continue;
        bool bChildSelective = false;
        bool bChildRigid = true;
        pkChild->ComputeSelectiveUpdateFlags(bChildSelective, bTransforms, bChildRigid);
        if (bChildSelective)
            bSelectiveUpdate = true;
        if (!bChildRigid)
            bRigid = false;
    }
    bool bProps = HasPropertyController();
    std::uint16_t uFlags =
        m_uFlags & ~(SELECTIVE_UPDATE | SELECTIVE_XFORMS | SELECTIVE_PROP_CONTROLLER | SELECTIVE_RIGID);
    if (bProps || GetControllers() != nullptr)
        bSelectiveUpdate = true;
    if (bSelectiveUpdate)
        uFlags |= SELECTIVE_UPDATE;
    if (bTransforms)
        uFlags |= SELECTIVE_XFORMS;
    if (bProps)
        uFlags |= SELECTIVE_PROP_CONTROLLER;
    if (bRigid)
        uFlags |= SELECTIVE_RIGID;
    m_uFlags = uFlags;
    if (bOwn)
        bRigid = false;
}

void NiNode::UpdateDownwardPass(float fTime, bool bUpdateControllers)
{
    if (bUpdateControllers)
        UpdateObjectControllers(fTime, true);
    UpdateWorldData();
    m_kWorldBound.m_fRadius = 0.0f;
    bool bStaleBound = false;
    for (std::uint32_t i = 0; i < m_kChildren.GetSize(); ++i)
    {
        if (NiAVObject* pkChild = m_kChildren.GetAt(i))
        {
            if (pkChild->m_ucStale & ON_DEMAND)
                static_cast<NiNode*>(pkChild)->UpdateOnDemandPass(fTime, bUpdateControllers);
            else
                pkChild->UpdateDownwardPass(fTime, bUpdateControllers);
            // Once one child's bound waits, the merge waits for a reader.
            if (pkChild->m_ucStale & BOUND_STALE)
                bStaleBound = true;
            else if (!bStaleBound)
                MergeChildBound(pkChild);
        }
    }
    m_ucStale = static_cast<std::uint8_t>((m_ucStale & ~(WORLD_STALE | BOUND_STALE)) | (bStaleBound ? BOUND_STALE : 0));
}

bool NiNode::CanDeferWorldData() const
{
    // Kinds derived from the node compute more than the product and the
    // merge.
    return GetTypeInfo() == TypeInfo() && m_spCollisionObject == nullptr;
}

void NiNode::SetWorldOnDemand(bool bOnDemand)
{
    if (!bOnDemand)
    {
        // Data already waiting stays right: readers still bring it up to date.
        if (m_ucStale & ON_DEMAND)
            CountOnDemand(false);
        m_ucStale = static_cast<std::uint8_t>(m_ucStale & ~(ON_DEMAND | ORDER_DIRTY));
        m_pkOnDemandOrder.reset();
        return;
    }
    if ((m_ucStale & ON_DEMAND) == 0)
        CountOnDemand(true);
    m_ucStale |= ON_DEMAND | ORDER_DIRTY;
}

void NiNode::CollectOnDemandOrder(NiAVObject* pkObject, std::vector<OnDemandStep>& kOrder)
{
    // Depth first in child order, as the full pass goes, so the controllers
    // run in the same order; a kind that cannot wait takes its whole
    // subtree's full pass at its place. A loop over a list of objects still
    // to visit, not a call per level: a deep chain must not exhaust the
    // stack.
    std::vector<NiAVObject*> kToVisit{pkObject};
    while (!kToVisit.empty())
    {
        NiAVObject* pkNext = kToVisit.back();
        kToVisit.pop_back();
        if (!pkNext->CanDeferWorldData())
        {
            kOrder.push_back({pkNext, true});
            continue;
        }
        kOrder.push_back({pkNext, false});
        if (auto* pkNode = NiDynamicCast<NiNode>(pkNext))
        {
            // Last child first onto the list, so the first comes off first.
            for (std::uint32_t i = pkNode->m_kChildren.GetSize(); i-- > 0;)
            {
                if (NiAVObject* pkChild = pkNode->m_kChildren.GetAt(i))
                    kToVisit.push_back(pkChild);
            }
        }
    }
}

bool NiNode::HasAnyControllers(const NiAVObject* pkObject)
{
    if (pkObject->GetControllers() != nullptr)
        return true;
    const NiRefList<NiProperty>& kProperties = pkObject->m_kPropertyList;
    for (NiListPos kPos = kProperties.GetHeadPos(); kPos != nullptr;)
    {
        if (NiRefList<NiProperty>::GetNext(kPos)->GetControllers() != nullptr)
            return true;
    }
    return false;
}

void NiNode::NoteOnDemandControllers()
{
    m_uiOrderEpoch = GetControllerListEpoch();
    for (OnDemandStep& kStep : *m_pkOnDemandOrder)
        kStep.m_bControllers = !kStep.m_bFullPass && HasAnyControllers(kStep.m_pkObject);
}

void NiNode::UpdateOnDemandPass(float fTime, bool bUpdateControllers)
{
    if ((m_ucStale & ORDER_DIRTY) || m_pkOnDemandOrder == nullptr)
    {
        if (m_pkOnDemandOrder == nullptr)
            m_pkOnDemandOrder = std::make_unique<std::vector<OnDemandStep>>();
        m_pkOnDemandOrder->clear();
        CollectOnDemandOrder(this, *m_pkOnDemandOrder);
        m_ucStale = static_cast<std::uint8_t>(m_ucStale & ~ORDER_DIRTY);
        NoteOnDemandControllers();
    }
    // Most objects of a person (shapes with their materials) have no
    // controller anywhere: only the others are called. Who has them is
    // noted once and noted again only after some controller list changed.
    else if (m_uiOrderEpoch != GetControllerListEpoch())
        NoteOnDemandControllers();
    const std::uint32_t uiStamp = CurrentPassStamp();
    for (const OnDemandStep& kStep : *m_pkOnDemandOrder)
    {
        NiAVObject* pkObject = kStep.m_pkObject;
        bool bCalled = kStep.m_bFullPass;
        if (bCalled)
            pkObject->UpdateDownwardPassNow(fTime, bUpdateControllers);
        else
        {
            if (bUpdateControllers && kStep.m_bControllers)
            {
                pkObject->UpdateObjectControllers(fTime, true);
                bCalled = true;
            }
            pkObject->m_ucStale |= WORLD_STALE | BOUND_STALE;
            pkObject->m_uiStaleStamp = uiStamp;
        }
        if (bCalled)
        {
            // Controllers do not change the graph's shape; should one ever
            // do, the order's objects may be gone: the rest waits for the
            // next pass. One that changes who has controllers has the rest
            // looked at again.
            if (m_ucStale & ORDER_DIRTY)
                break;
            if (m_uiOrderEpoch != GetControllerListEpoch())
                NoteOnDemandControllers();
        }
    }
}

void NiNode::UpdateSelectedDownwardPass(float fTime)
{
    UpdateObjectControllers(fTime, (m_uFlags & SELECTIVE_PROP_CONTROLLER) != 0);
    if (m_uFlags & SELECTIVE_XFORMS)
    {
        if (m_pkParent != nullptr && (m_pkParent->m_ucStale & WORLD_STALE))
            m_pkParent->UpdateStaleWorldTransform();
        UpdateWorldData();
        m_ucStale = static_cast<std::uint8_t>(m_ucStale & ~WORLD_STALE);
    }
    // The merge below brings each child's bound up to date.
    m_ucStale = static_cast<std::uint8_t>(m_ucStale & ~BOUND_STALE);
    m_kWorldBound.m_fRadius = 0.0f;
    for (std::uint32_t i = 0; i < m_kChildren.GetSize(); ++i)
    {
        NiAVObject* pkChild = m_kChildren.GetAt(i);
        if (pkChild == nullptr)
            continue;
        std::uint16_t uChild = pkChild->GetFlags();
        if (uChild & SELECTIVE_UPDATE)
        {
            if (uChild & SELECTIVE_RIGID)
                pkChild->UpdateRigidDownwardPass(fTime);
            else
                pkChild->UpdateSelectedDownwardPass(fTime);
        }
        MergeChildBound(pkChild);
    }
}

void NiNode::UpdateRigidDownwardPass(float fTime)
{
    UpdateObjectControllers(fTime, (m_uFlags & SELECTIVE_PROP_CONTROLLER) != 0);
    if (m_uFlags & SELECTIVE_XFORMS)
    {
        if (m_pkParent != nullptr && (m_pkParent->m_ucStale & WORLD_STALE))
            m_pkParent->UpdateStaleWorldTransform();
        UpdateWorldData();
        m_kWorldBound.Transform(m_kModelBound, m_kWorld);
        ClearWorldStale();
    }
    for (std::uint32_t i = 0; i < m_kChildren.GetSize(); ++i)
    {
        NiAVObject* pkChild = m_kChildren.GetAt(i);
        if (pkChild != nullptr && (pkChild->GetFlags() & SELECTIVE_UPDATE))
            pkChild->UpdateRigidDownwardPass(fTime);
    }
}

void NiNode::UpdatePropertiesDownward(NiPropertySet* pkParentState)
{
    NiPropertySetPtr spState = PushLocalProperties(pkParentState, true);
    for (std::uint32_t i = 0; i < m_kChildren.GetSize(); ++i)
    {
        if (NiAVObject* pkChild = m_kChildren.GetAt(i))
            pkChild->UpdatePropertiesDownward(spState);
    }
}

void NiNode::UpdateEffectsDownward(NiEffectSet* pkParentEffects)
{
    NiEffectSetPtr spEffects = PushLocalEffects(pkParentEffects, true);
    for (std::uint32_t i = 0; i < m_kChildren.GetSize(); ++i)
    {
        if (NiAVObject* pkChild = m_kChildren.GetAt(i))
            pkChild->UpdateEffectsDownward(spEffects);
    }
}

void NiNode::CullChild(NiAVObject* pkChild, NiCamera* pkCamera)
{
    if (pkChild == nullptr)
        return;
    if (pkCamera == nullptr)
    {
        std::uint32_t uiNoPlanes = 0;
        pkChild->Cull(pkCamera, nullptr, uiNoPlanes);
        return;
    }
    pkChild->Cull(pkCamera, pkCamera->GetWorldPlanes(), pkCamera->GetActivePlaneMask());
}

void NiNode::OnVisible(NiCamera* pkCamera)
{
    if (m_kWorldBound.m_fRadius == 0.0f || m_kChildren.GetEffectiveSize() == 0)
        return;
    for (std::uint32_t i = 0; i < m_kChildren.GetSize(); ++i)
        CullChild(m_kChildren.GetAt(i), pkCamera);
}

void NiNode::PurgeRendererData(NiRenderer* pkRenderer)
{
    NiAVObject::PurgeRendererData(pkRenderer);
    if (pkRenderer != nullptr)
    {
        for (NiListPos kPos = m_kEffectList.GetHeadPos(); kPos != nullptr;)
            pkRenderer->PurgeEffectRendererData(NiTList<NiDynamicEffect>::GetNext(kPos));
    }
    for (std::uint32_t i = 0; i < m_kChildren.GetSize(); ++i)
    {
        if (NiAVObject* pkChild = m_kChildren.GetAt(i))
            pkChild->PurgeRendererData(pkRenderer);
    }
}

// ---- Cloning ----

NiObject* NiNode::CreateClone(NiCloneContext& kCloning)
{
    auto* pkClone = new NiNode(m_kChildren.GetSize());
    CopyMembers(pkClone, kCloning);
    return pkClone;
}

void NiNode::CopyMembers(NiNode* pkDest, NiCloneContext& kCloning)
{
    NiAVObject::CopyMembers(pkDest, kCloning);
    for (std::uint32_t i = 0; i < m_kChildren.GetSize(); ++i)
    {
        if (NiAVObject* pkChild = m_kChildren.GetAt(i))
            (void)pkDest->SetAt(i, static_cast<NiAVObject*>(pkChild->CreateClone(kCloning)));
    }
}

void NiNode::FinishClone(NiCloneContext& kCloning)
{
    NiAVObject::FinishClone(kCloning);
    NiObject* pkCopy = nullptr;
    if (kCloning.m_kCloneMap.GetAt(this, pkCopy) && pkCopy != nullptr)
    {
        auto* pkClone = static_cast<NiNode*>(pkCopy);
        // Tail to head: each attach goes to the head, so the order holds.
        for (NiListPos kPos = m_kEffectList.GetTailPos(); kPos != nullptr; kPos = NiListBase::GetPrevPos(kPos))
        {
            NiDynamicEffect* pkEffect = NiTList<NiDynamicEffect>::Get(kPos);
            NiObject* pkEffectCopy = nullptr;
            if (kCloning.m_kCloneMap.GetAt(pkEffect, pkEffectCopy) && pkEffectCopy != nullptr)
                pkClone->AttachEffect(static_cast<NiDynamicEffect*>(pkEffectCopy));
            else
                pkClone->AttachEffect(pkEffect);
        }
    }
    for (std::uint32_t i = 0; i < m_kChildren.GetSize(); ++i)
    {
        if (NiAVObject* pkChild = m_kChildren.GetAt(i))
            pkChild->FinishClone(kCloning);
    }
}

// ---- Scene-file record ----

void NiNode::ReadFromStream(NiObjectStream& kStream)
{
    NiAVObject::ReadFromStream(kStream);
    m_pkLoadRoot = nullptr;
    kStream.ReadLinkIDList(); // children
    kStream.ReadLinkIDList(); // effects
}

void NiNode::ResolveLinks(NiObjectStream& kStream)
{
    NiAVObject::ResolveLinks(kStream);
    std::uint32_t uiCount = kStream.GetNextLinkCount();
    if (uiCount > m_kChildren.GetCapacity())
        m_kChildren.SetCapacity(uiCount);
    for (std::uint32_t i = 0; i < uiCount; ++i)
    {
        NiAVObject* pkChild = kStream.GetLinkedObjectAs<NiAVObject>();
        // A child that already hangs elsewhere in the file, or that would
        // make this node its own ancestor, is damage: the tree would lose
        // its shape or the passes would never end. Only a node can close a
        // loop, and a parentless one is the root of its own tree: the link
        // closes a loop exactly when it is this node's root.
        if (pkChild != nullptr)
        {
            NiNode* pkChildNode = NiDynamicCast<NiNode>(pkChild);
            if (pkChild->m_pkParent != nullptr || (pkChildNode != nullptr && FindLoadRoot() == pkChildNode))
            {
                kStream.SetCorrupt();
                pkChild = nullptr;
            }
            else if (pkChildNode != nullptr)
            {
                pkChildNode->m_pkLoadRoot = FindLoadRoot();
            }
        }
        // The node's own slot store: a derived node's edit rules (such as
        // a switch forgetting its active child) must not see a half-linked
        // array.
        (void)NiNode::SetAt(i, pkChild);
    }

    bool bToHead = kStream.GetFileVersion() >= NiStreamVersion(4, 1, 0, 8);
    std::uint32_t uiEffects = kStream.GetNextLinkCount();
    for (std::uint32_t i = 0; i < uiEffects; ++i)
    {
        NiDynamicEffect* pkEffect = kStream.GetLinkedObjectAs<NiDynamicEffect>();
        if (pkEffect == nullptr || m_kEffectList.FindPos(pkEffect) != nullptr)
            continue;
        if (bToHead)
            m_kEffectList.AddHead(pkEffect);
        else
            m_kEffectList.AddTail(pkEffect);
        pkEffect->AttachAffectedNode(this);
    }
}

bool NiNode::RegisterForSave(NiObjectStream& kStream)
{
    if (!NiAVObject::RegisterForSave(kStream))
        return false;
    for (std::uint32_t i = 0; i < m_kChildren.GetSize(); ++i)
    {
        if (NiAVObject* pkChild = m_kChildren.GetAt(i))
            pkChild->RegisterForSave(kStream);
    }
    for (NiListPos kPos = m_kEffectList.GetHeadPos(); kPos != nullptr;)
        NiTList<NiDynamicEffect>::GetNext(kPos)->RegisterForSave(kStream);
    return true;
}

void NiNode::WriteToStream(NiObjectStream& kStream)
{
    NiAVObject::WriteToStream(kStream);
    kStream.WriteLE(m_kChildren.GetSize());
    for (std::uint32_t i = 0; i < m_kChildren.GetSize(); ++i)
        kStream.WriteLinkID(m_kChildren.GetAt(i));
    kStream.WriteLE(m_kEffectList.GetSize());
    for (NiListPos kPos = m_kEffectList.GetHeadPos(); kPos != nullptr;)
        kStream.WriteLinkID(NiTList<NiDynamicEffect>::GetNext(kPos));
}

bool NiNode::IsEqual(NiObject* pkOther)
{
    if (!NiAVObject::IsEqual(pkOther))
        return false;
    auto* pkNode = static_cast<NiNode*>(pkOther);
    if (m_kChildren.GetSize() != pkNode->m_kChildren.GetSize())
        return false;
    for (std::uint32_t i = 0; i < m_kChildren.GetSize(); ++i)
    {
        NiAVObject* pkMine = m_kChildren.GetAt(i);
        NiAVObject* pkTheirs = pkNode->m_kChildren.GetAt(i);
        if ((pkMine == nullptr) != (pkTheirs == nullptr))
            return false;
        if (pkMine != nullptr && !pkMine->IsEqual(pkTheirs))
            return false;
    }
    if (m_kEffectList.GetSize() != pkNode->m_kEffectList.GetSize())
        return false;
    NiListPos kOther = pkNode->m_kEffectList.GetHeadPos();
    for (NiListPos kPos = m_kEffectList.GetHeadPos(); kPos != nullptr;)
    {
        NiDynamicEffect* pkMine = NiTList<NiDynamicEffect>::GetNext(kPos);
        NiDynamicEffect* pkTheirs = NiTList<NiDynamicEffect>::GetNext(kOther);
        if ((pkMine == nullptr) != (pkTheirs == nullptr))
            return false;
        if (pkMine != nullptr && !pkMine->IsEqual(pkTheirs))
            return false;
    }
    return true;
}

void NiNode::AppendViewerStrings(NiViewerStringArray& kStrings)
{
    NiAVObject::AppendViewerStrings(kStrings);
    kStrings.AddTail(NiViewerHeader(NiNode::TypeInfo()->GetName()));
    kStrings.AddTail(NiViewerBool("m_bVisual", m_kWorldBound.m_fRadius != 0.0f));
    int i = 0;
    for (NiListPos kPos = m_kEffectList.GetHeadPos(); kPos != nullptr; ++i)
        kStrings.AddTail(NiViewerFormat("effect[%d] = %p", i, static_cast<void*>(NiTList<NiDynamicEffect>::GetNext(kPos))));
}
