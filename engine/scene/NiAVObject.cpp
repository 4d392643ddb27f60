#include "engine/scene/NiAVObject.h"

#include "engine/core/NiCloneContext.h"
#include "engine/core/NiMatrix3x3.h"
#include "engine/core/NiObjectStream.h"
#include "engine/core/NiVec3.h"
#include "engine/core/NiViewerStrings.h"
#include "engine/scene/NiCollisionData.h"
#include "engine/scene/NiNode.h"

#include <atomic>
#include <cstring>
#include <unordered_set>

NiImplementTypeInfo(NiAVObject, NiObjectNET)

namespace
{
// The update pass running on this thread (depth of nested Update calls) and
// the stamp it gives the data it marks stale.
thread_local std::int32_t t_iPassDepth = 0;
thread_local std::uint32_t t_uiPassStamp = 0;
// How deep stale transform and bound reads are nested on this thread, and
// how deep they may go before the rest is done in a loop.
thread_local std::int32_t t_iTransformNesting = 0;
thread_local std::int32_t t_iBoundNesting = 0;
constexpr std::int32_t kMaxStaleNesting = 256;
// Scenes may be loaded on other threads than the one that updates them.
std::atomic<std::uint32_t> s_uiOnDemandCount{0};

class PassScope
{
public:
    PassScope()
    {
        if (t_iPassDepth++ == 0)
            ++t_uiPassStamp;
    }
    ~PassScope() { --t_iPassDepth; }
    PassScope(const PassScope&) = delete;
    PassScope& operator=(const PassScope&) = delete;
};
} // namespace

NiAVObject::~NiAVObject()
{
    m_kPropertyList.RemoveAll();
}

// ---- Update passes ----

void NiAVObject::UpdateControllers(float fTime)
{
    UpdateObjectControllers(fTime, true);
}

NiAVObject* NiAVObject::GetObjectByName(const char* pcName)
{
    if (pcName == nullptr || GetName() == nullptr)
        return nullptr;
    return std::strcmp(pcName, GetName()) == 0 ? this : nullptr;
}

void NiAVObject::ComputeSelectiveUpdateFlags(bool& bSelectiveUpdate, bool bSelectiveUpdateTransforms, bool& bRigid)
{
    bool bTransformController = HasTransformController();
    bool bNeedsTransforms = bSelectiveUpdateTransforms || bTransformController;
    bRigid = !bTransformController;
    bool bPropertyControllers = HasPropertyController();

    if (!bNeedsTransforms && !bPropertyControllers && GetControllers() == nullptr)
    {
        bSelectiveUpdate = false;
        m_uFlags = static_cast<std::uint16_t>(
            (m_uFlags & ~(SELECTIVE_UPDATE | SELECTIVE_XFORMS | SELECTIVE_PROP_CONTROLLER)) | SELECTIVE_RIGID);
        return;
    }
    bSelectiveUpdate = true;
    std::uint16_t uFlags = m_uFlags & ~(SELECTIVE_XFORMS | SELECTIVE_PROP_CONTROLLER);
    uFlags |= SELECTIVE_UPDATE | SELECTIVE_RIGID;
    if (bNeedsTransforms)
        uFlags |= SELECTIVE_XFORMS;
    if (bPropertyControllers)
        uFlags |= SELECTIVE_PROP_CONTROLLER;
    m_uFlags = uFlags;
}

void NiAVObject::UpdateDownwardPass(float fTime, bool bUpdateControllers)
{
    if (bUpdateControllers)
        UpdateObjectControllers(fTime, true);
    UpdateWorldData();
    UpdateWorldBound();
    ClearWorldStale();
}

void NiAVObject::UpdateDownwardPassNow(float fTime, bool bUpdateControllers)
{
    if (m_pkParent != nullptr && (m_pkParent->m_ucStale & WORLD_STALE))
        m_pkParent->UpdateStaleWorldTransform();
    UpdateDownwardPass(fTime, bUpdateControllers);
}

std::uint32_t NiAVObject::CurrentPassStamp()
{
    return t_uiPassStamp;
}

void NiAVObject::CountOnDemand(bool bAdded)
{
    if (bAdded)
        s_uiOnDemandCount.fetch_add(1, std::memory_order_relaxed);
    else
        s_uiOnDemandCount.fetch_sub(1, std::memory_order_relaxed);
}

void NiAVObject::MarkOnDemandOrderDirty()
{
    if (s_uiOnDemandCount.load(std::memory_order_relaxed) == 0)
        return;
    for (NiAVObject* pk = this; pk != nullptr; pk = pk->m_pkParent)
    {
        if (pk->m_ucStale & ON_DEMAND)
            pk->m_ucStale |= ORDER_DIRTY;
    }
}

void NiAVObject::UpdateStaleWorldTransform() const
{
    if ((m_ucStale & WORLD_STALE) == 0)
        return;
    // Objects are never made const: the data is a cache of the locals.
    auto* pkThis = const_cast<NiAVObject*>(this);
    // The parents first: a call per level, as deep as people go; below that
    // depth (a deep chain from a file) the rest is worked out in a loop, so
    // the stack is never exhausted.
    if (m_pkParent != nullptr && (m_pkParent->m_ucStale & WORLD_STALE))
    {
        if (t_iTransformNesting < kMaxStaleNesting)
        {
            ++t_iTransformNesting;
            m_pkParent->UpdateStaleWorldTransform();
            --t_iTransformNesting;
        }
        else
            UpdateStaleWorldChain(m_pkParent);
    }
    pkThis->UpdateWorldData();
    pkThis->m_ucStale = static_cast<std::uint8_t>(m_ucStale & ~WORLD_STALE);
}

void NiAVObject::UpdateStaleWorldChain(NiAVObject* pkObject)
{
    // The stale object and its stale parents, from the topmost down.
    std::vector<NiAVObject*> kChain;
    for (NiAVObject* pk = pkObject; pk != nullptr && (pk->m_ucStale & WORLD_STALE); pk = pk->m_pkParent)
        kChain.push_back(pk);
    while (!kChain.empty())
    {
        NiAVObject* pk = kChain.back();
        kChain.pop_back();
        pk->UpdateWorldData();
        pk->m_ucStale = static_cast<std::uint8_t>(pk->m_ucStale & ~WORLD_STALE);
    }
}

void NiAVObject::UpdateStaleWorldBound() const
{
    auto* pkThis = const_cast<NiAVObject*>(this);
    if (m_ucStale & WORLD_STALE)
        UpdateStaleWorldTransform();
    if ((m_ucStale & BOUND_STALE) == 0)
        return;
    // A node merges its children's bounds through GetWorldBound, which
    // brings each waiting one up to date in turn: a call per level, as deep
    // as people go. Below that depth (a deep chain from a file) the rest is
    // worked out in a loop instead, so the stack is never exhausted.
    if (t_iBoundNesting < kMaxStaleNesting)
    {
        ++t_iBoundNesting;
        pkThis->UpdateWorldBound();
        --t_iBoundNesting;
        pkThis->m_ucStale = static_cast<std::uint8_t>(m_ucStale & ~BOUND_STALE);
        return;
    }
    UpdateStaleWorldBoundInLoop(pkThis);
}

void NiAVObject::UpdateStaleWorldBoundInLoop(NiAVObject* pkObject)
{
    // Children's waiting bounds first, then their parent's, so each merge
    // finds its children's ready.
    struct Visit
    {
        NiAVObject* m_pkObject;
        bool m_bChildrenQueued;
    };
    std::vector<Visit> kStack{{pkObject, false}};
    std::vector<NiAVObject*> kChildren;
    while (!kStack.empty())
    {
        NiAVObject* pk = kStack.back().m_pkObject;
        if (!kStack.back().m_bChildrenQueued)
        {
            kStack.back().m_bChildrenQueued = true;
            if (pk->m_ucStale & WORLD_STALE)
                pk->UpdateStaleWorldTransform();
            kChildren.clear();
            pk->CollectChildren(kChildren);
            for (std::size_t i = kChildren.size(); i-- > 0;)
            {
                if (kChildren[i]->m_ucStale & BOUND_STALE)
                    kStack.push_back({kChildren[i], false});
            }
            continue;
        }
        kStack.pop_back();
        if (pk->m_ucStale & BOUND_STALE)
        {
            pk->UpdateWorldBound();
            pk->m_ucStale = static_cast<std::uint8_t>(pk->m_ucStale & ~BOUND_STALE);
        }
    }
}

void NiAVObject::KeepStaleWorld()
{
    if (t_iPassDepth == 0 || m_uiStaleStamp == t_uiPassStamp)
        UpdateStaleWorldTransform();
}

void NiAVObject::UpdateSelectedDownwardPass(float fTime)
{
    UpdateObjectControllers(fTime, (m_uFlags & SELECTIVE_PROP_CONTROLLER) != 0);
    if (m_uFlags & SELECTIVE_XFORMS)
    {
        if (m_pkParent != nullptr && (m_pkParent->m_ucStale & WORLD_STALE))
            m_pkParent->UpdateStaleWorldTransform();
        UpdateWorldData();
        UpdateWorldBound();
        ClearWorldStale();
    }
}

void NiAVObject::UpdateRigidDownwardPass(float fTime)
{
    NiAVObject::UpdateSelectedDownwardPass(fTime);
}

void NiAVObject::UpdateWorldData()
{
    if (m_pkParent != nullptr)
        m_kWorld = m_pkParent->m_kWorld.Multiply(m_kLocal);
    else
        m_kWorld = m_kLocal;
    if (m_spCollisionObject != nullptr)
        m_spCollisionObject->UpdateWorldData();
}

void NiAVObject::Update(float fTime, bool bUpdateControllers)
{
    PassScope kPass;
    UpdateDownwardPassNow(fTime, bUpdateControllers);
    if (NiNode* pkParent = NiDynamicCast<NiNode>(m_pkParent))
        pkParent->UpdateUpwardPass();
}

void NiAVObject::UpdateProperties()
{
    NiNode* pkParent = NiDynamicCast<NiNode>(m_pkParent);
    NiPropertySetPtr spState = pkParent ? pkParent->GetPropertyState() : NiPropertySetPtr(new NiPropertySet);
    UpdatePropertiesDownward(spState);
}

void NiAVObject::UpdateEffects()
{
    NiNode* pkParent = NiDynamicCast<NiNode>(m_pkParent);
    NiEffectSetPtr spEffects = pkParent ? pkParent->GetEffectState() : nullptr;
    UpdateEffectsDownward(spEffects);
}

void NiAVObject::SetParent(NiNode* pkParent)
{
    // The world data stays what it was under the old parent until the next
    // pass reaches the object.
    if (m_ucStale & (WORLD_STALE | BOUND_STALE))
        UpdateStaleWorldBound();
    if (NiNode* pkOld = NiDynamicCast<NiNode>(m_pkParent))
    {
        // The old parent's reference may be the only one: this object must
        // outlive its own move.
        NiAVObjectPtr spKeep = this;
        (void)pkOld->DetachChild(this);
    }
    m_pkParent = pkParent;
}

void NiAVObject::UpdateObjectControllers(float fTime, bool bProperties)
{
    if (bProperties)
    {
        for (NiListPos kPos = m_kPropertyList.GetHeadPos(); kPos != nullptr;)
        {
            NiProperty* pkProperty = NiRefList<NiProperty>::GetNext(kPos);
            if (pkProperty->GetControllers() != nullptr)
                pkProperty->UpdateControllers(fTime);
        }
    }
    for (NiTimeController* pk = GetControllers(); pk != nullptr; pk = pk->GetNext())
        pk->Update(fTime);
}

void NiAVObject::Cull(NiCamera* pkCamera, const NiPlane* pkPlanes, std::uint32_t& uiPlaneMask)
{
    if (m_uFlags & APP_CULLED)
        return;
    if (m_ucStale & BOUND_STALE)
        UpdateStaleWorldBound();
    if (uiPlaneMask == 0 || pkPlanes == nullptr)
    {
        OnVisible(pkCamera);
        return;
    }
    std::uint32_t uiSaved = uiPlaneMask;
    for (std::uint32_t i = 0; i < CULL_PLANES; ++i)
    {
        std::uint32_t uiBit = 1u << i;
        if ((uiPlaneMask & uiBit) == 0)
            continue;
        float fDistance = pkPlanes[i].Distance(m_kWorldBound.m_kCenter);
        if (fDistance <= -m_kWorldBound.m_fRadius)
        {
            uiPlaneMask = uiSaved;
            return;
        }
        if (fDistance >= m_kWorldBound.m_fRadius)
            uiPlaneMask &= ~uiBit;
    }
    OnVisible(pkCamera);
    uiPlaneMask = uiSaved;
}

// ---- Properties and collision ----

NiProperty* NiAVObject::GetProperty(int iType) const
{
    for (NiListPos kPos = m_kPropertyList.GetHeadPos(); kPos != nullptr;)
    {
        NiProperty* pkProperty = NiRefList<NiProperty>::GetNext(kPos);
        if (pkProperty->GetType() == iType)
            return pkProperty;
    }
    return nullptr;
}

void NiAVObject::AttachProperty(NiProperty* pkProperty)
{
    if (pkProperty != nullptr)
    {
        m_kPropertyList.AddHead(pkProperty);
        ControllerListsChanged();
    }
}

NiPropertyPtr NiAVObject::DetachProperty(NiProperty* pkProperty)
{
    NiPropertyPtr spProperty = pkProperty;
    NiListPos kPos = m_kPropertyList.FindPos(pkProperty);
    if (kPos != nullptr)
    {
        NiPropertyPtr spRemoved;
        m_kPropertyList.RemovePos(kPos, spRemoved);
        ControllerListsChanged();
    }
    return spProperty;
}

NiPropertyPtr NiAVObject::RemovePropertyOfType(int iType)
{
    NiProperty* pkProperty = GetProperty(iType);
    if (pkProperty == nullptr)
        return nullptr;
    return DetachProperty(pkProperty);
}

NiPropertySetPtr NiAVObject::PushLocalProperties(NiPropertySet* pkParentState, bool bCopyOnChange)
{
    if (m_kPropertyList.IsEmpty())
        return pkParentState;
    NiPropertySetPtr spState = pkParentState;
    if (bCopyOnChange)
        spState = pkParentState ? new NiPropertySet(*pkParentState) : new NiPropertySet;
    if (spState == nullptr)
        spState = new NiPropertySet;
    for (NiListPos kPos = m_kPropertyList.GetHeadPos(); kPos != nullptr;)
        spState->SetProperty(NiRefList<NiProperty>::GetNext(kPos));
    return spState;
}

void NiAVObject::SetCollisionObject(NiCollisionObject* pkCollision)
{
    // A collision object takes its world data with the transform's.
    if (m_ucStale & WORLD_STALE)
        UpdateStaleWorldTransform();
    MarkOnDemandOrderDirty();
    m_spCollisionObject = pkCollision;
    if (pkCollision != nullptr && pkCollision->GetSceneGraphObject() != this)
        pkCollision->SetSceneGraphObject(this);
}

bool NiAVObject::HasTransformController() const
{
    for (NiTimeController* pk = GetControllers(); pk != nullptr; pk = pk->GetNext())
    {
        if (pk->IsTransformController())
            return true;
    }
    return false;
}

bool NiAVObject::HasPropertyController() const
{
    for (NiListPos kPos = m_kPropertyList.GetHeadPos(); kPos != nullptr;)
    {
        if (NiRefList<NiProperty>::GetNext(kPos)->GetControllers() != nullptr)
            return true;
    }
    return false;
}

void NiAVObject::SetAppCulled(bool bCulled)
{
    m_uFlags = bCulled ? (m_uFlags | APP_CULLED) : (m_uFlags & ~APP_CULLED);
}

// ---- Scene-file record ----

void NiAVObject::ReadFromStream(NiObjectStream& kStream)
{
    NiObjectNET::ReadFromStream(kStream);
    std::uint32_t uiVersion = kStream.GetFileVersion();

    std::uint16_t usRaw = 0;
    kStream.ReadLE(usRaw);
    kStream.SetRawObjectFlags(usRaw);
    std::uint32_t uiFlags = usRaw;
    // Old files numbered the flag bits differently; each step moves them one
    // format further.
    if (uiVersion < NiStreamVersion(4, 1, 0, 11))
        uiFlags = ((uiFlags & 0xFFF8) << 1) | (uiFlags & 0x7);
    if (uiVersion < NiStreamVersion(4, 1, 0, 12))
        uiFlags = ((((uiFlags & 0xFFF7) | 0x7) << 4) | (uiFlags & 0xF)) & 0xFFFF;
    if (uiVersion < NiStreamVersion(5, 0, 0, 1))
        uiFlags = (((uiFlags & 0xFF00) << 1) | (uiFlags & 0xFF)) & 0xFFFF;

    float afTranslate[3] = {0.0f, 0.0f, 0.0f};
    float afRotate[9] = {1, 0, 0, 0, 1, 0, 0, 0, 1};
    float fScale = 1.0f;
    kStream.ReadLE(afTranslate, 3);
    kStream.ReadLE(afRotate, 9);
    kStream.ReadLE(fScale);
    m_kLocal.m_kTranslate = NiVec3(afTranslate[0], afTranslate[1], afTranslate[2]);
    for (int r = 0; r < 3; ++r)
    {
        for (int c = 0; c < 3; ++c)
            m_kLocal.m_kRotate.SetEntry(r, c, afRotate[3 * r + c]);
    }
    m_kLocal.m_fScale = fScale;

    // Before collision objects had records of their own, three flag bits
    // held how collisions propagate and a velocity followed the transform.
    bool bOld = uiVersion < NiStreamVersion(5, 0, 0, 19);
    std::uint32_t uiPropagation = 0;
    bool bMoving = false;
    if (bOld)
    {
        uiPropagation = ((uiFlags & 0xFF) >> 1) & 0x7;
        float afVelocity[3] = {0.0f, 0.0f, 0.0f};
        kStream.ReadLE(afVelocity, 3);
        bMoving = afVelocity[0] != 0.0f || afVelocity[1] != 0.0f || afVelocity[2] != 0.0f;
        uiFlags = ((uiFlags >> 3) & ~1u) | (uiFlags & 1u);
    }

    kStream.ReadLinkIDList();

    if (bOld)
    {
        bool bHasBound = false;
        if (uiVersion < NiStreamVersion(4, 1, 0, 0))
        {
            std::uint32_t uiHas = 0;
            kStream.ReadLE(uiHas);
            bHasBound = uiHas != 0;
        }
        else
        {
            std::uint8_t ucHas = 0;
            kStream.ReadLE(ucHas);
            bHasBound = ucHas != 0;
        }
        const char* pcClass = kStream.GetCurrentClassName();
        if (pcClass != nullptr && std::strcmp(pcClass, "NiCollisionSwitch") == 0 && (uiFlags & 0x8) == 0)
            uiPropagation = 4;
        // Only a still object without a volume in the default mode had
        // nothing to keep.
        if (bHasBound || bMoving || uiPropagation != 2)
            ReadOldCollisionData(kStream, uiPropagation, bHasBound);
    }
    else
    {
        kStream.ReadLinkID();
    }

    if (uiVersion < NiStreamVersion(10, 0, 1, 2))
    {
        kStream.SetSavedObjectFlags(static_cast<std::uint16_t>(uiFlags));
        uiFlags &= 0x3F;
    }
    m_uFlags = static_cast<std::uint16_t>(uiFlags);
    if (bOld && uiVersion < NiStreamVersion(10, 0, 1, 6) && m_spCollisionObject != nullptr)
        m_spCollisionObject->Convert(uiVersion, nullptr);
}

void NiAVObject::ReadOldCollisionData(NiObjectStream& kStream, std::uint32_t uiPropagation, bool bHasBound)
{
    NiObjectPtr spObject = NiObjectStream::CreateObjectByName("NiCollisionData");
    auto* pkData = NiDynamicCast<NiCollisionData>(spObject.Get());
    // Without the class the volume's bytes cannot be passed over.
    if (pkData == nullptr)
    {
        kStream.SetCorrupt();
        return;
    }
    SetCollisionObject(pkData);
    pkData->LoadOldFormat(this, uiPropagation, bHasBound, kStream);
}

void NiAVObject::ResolveLinks(NiObjectStream& kStream)
{
    NiObjectNET::ResolveLinks(kStream);
    std::uint32_t uiVersion = kStream.GetFileVersion();
    std::uint32_t uiCount = kStream.GetNextLinkCount();
    bool bControllers = false;
    // Properties are shared by many objects: while the load's objects are
    // its own alone, the list's reference is counted without a locked
    // instruction. That assumes no other thread can reach them before the
    // load ends: an instance list is the only way out (CountsPrivately is
    // false once anything of the load went onto one).
    const bool bPrivate = uiCount > 0 && kStream.CountsPrivately();
    for (std::uint32_t i = 0; i < uiCount; ++i)
    {
        NiProperty* pkProperty = kStream.GetLinkedObjectAs<NiProperty>();
        if (pkProperty == nullptr)
            continue;
        if (uiVersion >= NiStreamVersion(4, 1, 0, 8) && bPrivate)
        {
            pkProperty->IncRefCountPrivate();
            m_kPropertyList.AddHeadCounted(pkProperty);
        }
        else if (uiVersion >= NiStreamVersion(4, 1, 0, 8))
        {
            m_kPropertyList.AddHead(pkProperty);
        }
        else
        {
            m_kPropertyList.AddTail(pkProperty);
        }
        bControllers = bControllers || pkProperty->GetControllers() != nullptr;
    }
    // What a noted order knows of an object is whether it or its properties
    // have controllers: a property without any changes none of that, and a
    // property whose chain is linked later counts the change itself.
    if (bControllers)
        ControllerListsChanged();
    if (uiVersion >= NiStreamVersion(5, 0, 0, 19))
    {
        if (NiCollisionObject* pkCollision = kStream.GetLinkedObjectAs<NiCollisionObject>())
        {
            SetCollisionObject(pkCollision);
            pkCollision->Convert(uiVersion, nullptr);
        }
    }
}

bool NiAVObject::RegisterForSave(NiObjectStream& kStream)
{
    if (!NiObjectNET::RegisterForSave(kStream))
        return false;
    for (NiListPos kPos = m_kPropertyList.GetHeadPos(); kPos != nullptr;)
        NiRefList<NiProperty>::GetNext(kPos)->RegisterForSave(kStream);
    if (m_spCollisionObject != nullptr)
        m_spCollisionObject->RegisterForSave(kStream);
    return true;
}

void NiAVObject::WriteToStream(NiObjectStream& kStream)
{
    NiObjectNET::WriteToStream(kStream);
    kStream.WriteLE(m_uFlags);
    kStream.WriteLE(m_kLocal.m_kTranslate.x);
    kStream.WriteLE(m_kLocal.m_kTranslate.y);
    kStream.WriteLE(m_kLocal.m_kTranslate.z);
    KeepWorldBeforeLocalChange();
    m_kLocal.m_kRotate.SnapTinyToZero();
    for (int r = 0; r < 3; ++r)
    {
        for (int c = 0; c < 3; ++c)
            kStream.WriteLE(m_kLocal.m_kRotate.GetEntry(r, c));
    }
    kStream.WriteLE(m_kLocal.m_fScale);
    // Tail to head: readers add each at the head, which restores the order.
    kStream.WriteLE(m_kPropertyList.GetSize());
    for (NiListPos kPos = m_kPropertyList.GetTailPos(); kPos != nullptr; kPos = NiListBase::GetPrevPos(kPos))
        kStream.WriteLinkID(NiRefList<NiProperty>::Get(kPos));
    kStream.WriteLinkID(m_spCollisionObject);
}

bool NiAVObject::IsEqual(NiObject* pkOther)
{
    if (!NiObjectNET::IsEqual(pkOther))
        return false;
    auto* pkAV = static_cast<NiAVObject*>(pkOther);
    if ((m_uFlags & APP_CULLED) != (pkAV->m_uFlags & APP_CULLED))
        return false;
    if (m_kLocal != pkAV->m_kLocal)
        return false;
    if (m_kPropertyList.GetSize() != pkAV->m_kPropertyList.GetSize())
        return false;
    NiListPos kOther = pkAV->m_kPropertyList.GetHeadPos();
    for (NiListPos kPos = m_kPropertyList.GetHeadPos(); kPos != nullptr;)
    {
        NiProperty* pkMine = NiRefList<NiProperty>::GetNext(kPos);
        NiProperty* pkTheirs = NiRefList<NiProperty>::GetNext(kOther);
        if ((pkMine == nullptr) != (pkTheirs == nullptr))
            return false;
        if (pkMine != nullptr && !pkMine->IsEqual(pkTheirs))
            return false;
    }
    if ((m_spCollisionObject == nullptr) != (pkAV->m_spCollisionObject == nullptr))
        return false;
    return m_spCollisionObject == nullptr || m_spCollisionObject->IsEqual(pkAV->m_spCollisionObject);
}

void NiAVObject::AppendViewerStrings(NiViewerStringArray& kStrings)
{
    NiObjectNET::AppendViewerStrings(kStrings);
    kStrings.AddTail(NiViewerHeader(NiAVObject::TypeInfo()->GetName()));
    kStrings.AddTail(NiViewerBool("m_bAppCulled", GetAppCulled()));
    kStrings.AddTail(NiViewerVec3("m_localTranslate", m_kLocal.m_kTranslate));
    kStrings.AddTail(NiViewerMatrix3x3("m_localRotate", m_kLocal.m_kRotate));
    kStrings.AddTail(NiViewerFloat("m_fLocalScale", m_kLocal.m_fScale));
    UpdateStaleWorldData();
    kStrings.AddTail(NiViewerVec3("m_worldTranslate", m_kWorld.m_kTranslate));
    kStrings.AddTail(NiViewerMatrix3x3("m_worldRotate", m_kWorld.m_kRotate));
    kStrings.AddTail(NiViewerFloat("m_worldScale", m_kWorld.m_fScale));
    kStrings.AddTail(NiViewerBoundSphere("m_kWorldBound", m_kWorldBound));
    kStrings.AddTail(NiViewerBool("SelUpdate", (m_uFlags & SELECTIVE_UPDATE) != 0));
    kStrings.AddTail(NiViewerBool("SelUpdateTransforms", (m_uFlags & SELECTIVE_XFORMS) != 0));
    kStrings.AddTail(NiViewerBool("SelUpdateRigid", (m_uFlags & SELECTIVE_RIGID) != 0));
    kStrings.AddTail(NiViewerBool("SelUpdatePropControllers", (m_uFlags & SELECTIVE_PROP_CONTROLLER) != 0));
    for (NiListPos kPos = m_kPropertyList.GetHeadPos(); kPos != nullptr;)
    {
        NiProperty* pkProperty = NiRefList<NiProperty>::GetNext(kPos);
        kStrings.AddTail(NiViewerPointer(pkProperty->GetTypeInfo()->GetName(), pkProperty));
    }
    if (m_spCollisionObject != nullptr)
        kStrings.AddTail(NiViewerPointer("m_spCollisionObject", m_spCollisionObject.Get()));
}

// ---- Cloning ----

void NiAVObject::CopyMembers(NiAVObject* pkDest, NiCloneContext& kCloning)
{
    NiObjectNET::CopyMembers(pkDest, kCloning);
    pkDest->m_uFlags = m_uFlags;
    pkDest->m_kLocal = m_kLocal;
    for (NiListPos kPos = m_kPropertyList.GetHeadPos(); kPos != nullptr;)
    {
        NiProperty* pkProperty = NiRefList<NiProperty>::GetNext(kPos);
        NiObject* pkCopy = nullptr;
        if (!kCloning.m_kCloneMap.GetAt(pkProperty, pkCopy))
            pkCopy = pkProperty->CreateClone(kCloning);
        pkDest->m_kPropertyList.AddHead(static_cast<NiProperty*>(pkCopy));
    }
    ControllerListsChanged();
    if (m_spCollisionObject != nullptr)
        pkDest->SetCollisionObject(static_cast<NiCollisionObject*>(m_spCollisionObject->CreateClone(kCloning)));
}

void NiAVObject::FinishClone(NiCloneContext& kCloning)
{
    NiObjectNET::FinishClone(kCloning);
    for (NiListPos kPos = m_kPropertyList.GetHeadPos(); kPos != nullptr;)
    {
        NiProperty* pkProperty = NiRefList<NiProperty>::GetNext(kPos);
        std::uint8_t ucDone = 0;
        if (!kCloning.m_kProcessMap.GetAt(pkProperty, ucDone))
            pkProperty->FinishClone(kCloning);
    }
    if (m_spCollisionObject != nullptr)
        m_spCollisionObject->FinishClone(kCloning);
}

// ---- Old files ----

void NiAVObject::OldUpdateFlagFix(NiObjectStream& kStream, NiObject* pkObject)
{
    (void)kStream;
    NiAVObject* pkRoot = NiDynamicCast<NiAVObject>(pkObject);
    if (pkRoot == nullptr || pkRoot->m_pkParent != nullptr)
        return;
    // Iterative, and each object once: shared subtrees are not revisited.
    std::vector<NiAVObject*> kPending{pkRoot};
    std::unordered_set<const NiAVObject*> kSeen;
    while (!kPending.empty())
    {
        NiAVObject* pkAV = kPending.back();
        kPending.pop_back();
        if (pkAV == nullptr || !kSeen.insert(pkAV).second)
            continue;
        pkAV->m_uFlags = static_cast<std::uint16_t>(
            (pkAV->m_uFlags | SELECTIVE_UPDATE | SELECTIVE_XFORMS | SELECTIVE_PROP_CONTROLLER) & ~SELECTIVE_RIGID);
        pkAV->CollectChildren(kPending);
    }
}
