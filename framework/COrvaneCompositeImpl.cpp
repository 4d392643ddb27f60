#include "framework/COrvaneCompositeImpl.h"

#include "engine/animation/NiBoneLODController.h"
#include "engine/animation/NiControllerManager.h"
#include "engine/animation/NiControllerSequence.h"
#include "engine/core/NiCloneContext.h"
#include "engine/render/NiSourceTexture.h"
#include "engine/scene/NiIntegerExtraData.h"
#include "engine/scene/NiNode.h"
#include "engine/scene/NiNodeAttachment.h"
#include "engine/scene/NiStringExtraData.h"
#include "engine/scene/NiTexturingProperty.h"
#include "framework/COrvaneAnim.h"
#include "framework/COrvaneCamera.h"
#include "framework/COrvaneComposite.h"
#include "framework/COrvaneGame.h"
#include "framework/COrvaneSceneLink.h"

#include <algorithm>
#include <cstring>
#include <string>

namespace
{
constexpr float RADIANS_PER_DEGREE = 0.017453292f;
constexpr std::uint16_t HIDDEN_BIT = 0x0001;
constexpr std::uint16_t CHANGED_BIT = 0x0004;
constexpr std::uint32_t BONE_ROOT_SLOTS = 256;

bool Contains(const char* pcName, const char* pcText)
{
    return pcName && pcText && std::strstr(pcName, pcText) != nullptr;
}

void SetHidden(NiAVObject& kObject, bool bHidden)
{
    std::uint16_t usFlags = kObject.GetFlags();
    kObject.SetFlags(bHidden ? static_cast<std::uint16_t>(usFlags | HIDDEN_BIT)
                             : static_cast<std::uint16_t>(usFlags & ~HIDDEN_BIT));
}

// The file name of the texture a texturing property's base map shows, when
// that is a source texture.
const char* BaseTextureFile(NiTexturingProperty* pkTexturing)
{
    if (!pkTexturing)
        return nullptr;
    NiTextureMap* pkMap = pkTexturing->GetMap(NiTexturingProperty::BASE_INDEX);
    auto* pkSource = pkMap ? NiDynamicCast<NiSourceTexture>(pkMap->GetTexture()) : nullptr;
    return pkSource ? pkSource->GetFileName().c_str() : nullptr;
}

NiTexturingProperty* TexturingOf(NiAVObject* pkObject)
{
    return pkObject ? static_cast<NiTexturingProperty*>(pkObject->GetProperty(NiProperty::TEXTURING)) : nullptr;
}
} // namespace

COrvaneCompositeImpl::COrvaneCompositeImpl()
{
    Reset();
}

COrvaneCompositeImpl::~COrvaneCompositeImpl()
{
    Destroy();
}

void COrvaneCompositeImpl::Reset()
{
    m_bPositionPending = false;
    m_bRotationPending = false;
    m_kPendingRotation = NiMatrix3x3::IDENTITY;
    m_kPendingPosition = NiVec3::ZERO;
    m_spManager = nullptr;
    m_pkActive = nullptr;
    m_pkBoneLOD = nullptr;
    m_bStill = false;
    m_spStilled = nullptr;
}

void COrvaneCompositeImpl::Destroy()
{
    // The manager leaves its target's list below: the list is the object's again first.
    WakeControllers();
    if (NiNode* pkRoot = GetRoot())
        pkRoot->RemoveAllExtraData();
    if (m_spManager)
    {
        m_spManager->RemoveAllSequences();
        m_spManager->SetTarget(nullptr);
        m_spManager = nullptr;
    }
    // Detaching from a world belongs to the world; a root still hung under
    // one is let go by its parent there.
    for (NiRefPtr<NiNode>& spRoot : m_kRoots)
    {
        if (NiAVObject* pkParent = spRoot->GetParent())
            static_cast<NiNode*>(pkParent)->DetachChild(spRoot);
    }
    m_kRoots.clear();
    m_pkModelObject = nullptr;
    Reset();
}

NiNode* COrvaneCompositeImpl::GetRoot() const
{
    return m_kRoots.empty() ? nullptr : m_kRoots.front().Get();
}

bool COrvaneCompositeImpl::GetLocalPosition(NiVec3& kOut) const
{
    if (m_kRoots.empty() || !m_pkModelObject)
        return false;
    kOut = m_bPositionPending ? m_kPendingPosition : m_pkModelObject->GetTranslate();
    return true;
}

NiControllerManager* COrvaneCompositeImpl::GetControllerManager() const
{
    return m_spManager;
}

NiBoneLODController* COrvaneCompositeImpl::FindBoneLOD(NiNode* pkRoot)
{
    NiNode* pkBones = NiDynamicCast<NiNode>(pkRoot->GetObjectByName("Root"));
    if (!pkBones)
        return nullptr;
    std::uint32_t uiSlots = std::min(pkBones->GetArrayCount(), BONE_ROOT_SLOTS);
    for (std::uint32_t i = 0; i < uiSlots; ++i)
    {
        NiAVObject* pkChild = pkBones->GetAt(i);
        if (!pkChild)
            continue;
        auto* pkText = NiDynamicCast<NiStringExtraData>(pkChild->GetExtraData("UserPropBuffer"));
        if (!pkText || !Contains(pkText->GetValue(), "NiBoneLOD#BoneRoot#"))
            continue;
        for (NiTimeController* pk = pkChild->GetControllers(); pk; pk = pk->GetNext())
        {
            if (auto* pkBoneLOD = NiDynamicCast<NiBoneLODController>(pk))
                return pkBoneLOD;
        }
        return nullptr;
    }
    return nullptr;
}

void COrvaneCompositeImpl::Load(const COrvaneModelSource& kSource, std::uint32_t uiOwnerValue)
{
    m_uiOwnerValue = uiOwnerValue;
    // A list taken off an earlier model object goes back to it.
    WakeControllers();
    if (!kSource.m_pkPrebuilt)
    {
        for (COrvaneComposite* pkEntry : kSource.m_kEntries)
        {
            // Without the clone flag there is nothing of the model's own to
            // add: an entry never shares its source's scene.
            if (!kSource.m_bClone || !pkEntry)
                continue;
            COrvaneSceneLink kRecord;
            pkEntry->ProvideRoot(kRecord);
            if (!kRecord.m_pkNode)
                continue;
            NiCloneContext::ms_uiDefaultCopyMode = NiCloneContext::COPY_EXACT;
            NiRefPtr<NiObject> spClone = kRecord.m_pkNode->Clone();
            NiNode* pkClone = NiDynamicCast<NiNode>(spClone.Get());
            if (!pkClone)
                continue;
            m_pkBoneLOD = FindBoneLOD(pkClone);
            m_kRoots.emplace_back(pkClone);
        }
    }
    else if (NiNode* pkNode = NiDynamicCast<NiNode>(kSource.m_pkPrebuilt))
    {
        m_kRoots.emplace_back(pkNode);
    }

    for (NiRefPtr<NiNode>& spRoot : m_kRoots)
        spRoot->SetWorldOnDemand(m_bWorldOnDemand);
    NiNode* pkRoot = GetRoot();
    if (!pkRoot)
        return;
    m_pkModelObject = pkRoot->GetArrayCount() > 0 ? pkRoot->GetAt(0) : nullptr;
    pkRoot->RemoveExtraData("Owner");
    NiIntegerExtraData* pkOwner = new NiIntegerExtraData(static_cast<std::int32_t>(uiOwnerValue));
    pkOwner->SetName("Owner");
    pkRoot->AddExtraData(pkOwner);

    if (kSource.m_pkPrebuilt && m_pkModelObject)
    {
        float fAngle = 0.0f;
        NiVec3 kAxis;
        m_pkModelObject->GetRotate().ExtractAngleAndAxis(fAngle, kAxis.x, kAxis.y, kAxis.z);
        NiMatrix3x3 kRotation;
        kRotation.MakeAxisRotation(fAngle, kAxis);
        pkRoot->SetRotate(kRotation);
        m_pkModelObject->SetRotate(NiMatrix3x3::IDENTITY);
    }
    if (m_bStill)
        StillControllers();
}

void COrvaneCompositeImpl::SetPosition(const NiVec3& kPoint, bool bRelative)
{
    if (m_kRoots.empty())
    {
        if (bRelative)
            m_kPendingPosition = (m_bPositionPending ? m_kPendingPosition : m_kBarePosition) + kPoint;
        else
            m_kPendingPosition = kPoint;
        m_bPositionPending = true;
        return;
    }
    if (bRelative)
    {
        NiVec3 kFrom = m_bPositionPending ? m_kPendingPosition
                       : m_pkModelObject ? m_pkModelObject->GetTranslate()
                                         : NiVec3::ZERO;
        m_kPendingPosition = kFrom + kPoint;
    }
    else
    {
        m_kPendingPosition = kPoint;
    }
    m_bPositionPending = true;
}

void COrvaneCompositeImpl::SetRotation(const NiVec3& kAxis, float fDegrees, int iMode)
{
    NiMatrix3x3 kNew;
    kNew.MakeAxisRotation(fDegrees * RADIANS_PER_DEGREE, kAxis);
    if (iMode == 0)
    {
        m_kPendingRotation = kNew;
    }
    else
    {
        NiMatrix3x3 kCurrent = m_bRotationPending ? m_kPendingRotation
                               : m_pkModelObject  ? m_pkModelObject->GetRotate()
                                                  : NiMatrix3x3::IDENTITY;
        m_kPendingRotation = iMode == 1 ? kNew * kCurrent : kCurrent * kNew;
    }
    m_bRotationPending = true;
}

std::int32_t COrvaneCompositeImpl::LevelForDepth(float fDepth)
{
    if (fDepth < NEAR_DEPTH)
        return 1;
    if (fDepth < MIDDLE_DEPTH)
        return 2;
    return 3;
}

void COrvaneCompositeImpl::ApplyChanges(float)
{
    if (!m_pkModelObject)
    {
        // Without a model only the bare position moves.
        if (m_kRoots.empty() && m_bPositionPending)
            m_kBarePosition = m_kPendingPosition;
        m_bPositionPending = false;
        m_bRotationPending = false;
        return;
    }
    if (m_bRotationPending || m_bPositionPending)
    {
        if (m_bRotationPending)
            m_pkModelObject->SetRotate(m_kPendingRotation);
        if (m_bPositionPending)
            m_pkModelObject->SetTranslate(m_kPendingPosition);
        m_pkModelObject->SetFlags(static_cast<std::uint16_t>(m_pkModelObject->GetFlags() | CHANGED_BIT));
        m_bRotationPending = false;
        m_bPositionPending = false;
    }
    else
    {
        m_pkModelObject->SetFlags(static_cast<std::uint16_t>(m_pkModelObject->GetFlags() & ~CHANGED_BIT));
    }

    std::int32_t iLevel = 0;
    COrvaneGame* pkGame = COrvaneComposite::GetGame();
    COrvaneCamera* pkCamera = pkGame ? pkGame->GetCamera() : nullptr;
    NiNode* pkRoot = GetRoot();
    if (pkRoot && pkCamera)
    {
        float fDepth = (pkRoot->GetTranslate() - pkCamera->GetWorldPosition()).Dot(pkCamera->GetViewDirection());
        iLevel = LevelForDepth(fDepth);
    }
    if (m_pkBoneLOD)
        m_pkBoneLOD->SetBoneLOD(std::min(iLevel, static_cast<std::int32_t>(m_pkBoneLOD->GetNumberOfBoneLODs())));
}

const NiVec3* COrvaneCompositeImpl::GetPosition()
{
    if (m_kRoots.empty())
        return m_bPositionPending ? &m_kPendingPosition : &m_kBarePosition;
    if (m_bPositionPending)
        m_kCachedPosition = m_kPendingPosition;
    else if (m_pkModelObject)
        m_kCachedPosition = m_pkModelObject->GetWorldTransform().m_kTranslate;
    else
        return nullptr;
    return &m_kCachedPosition;
}

void COrvaneCompositeImpl::SetVisible(bool bVisible)
{
    if (NiNode* pkRoot = GetRoot())
        SetHidden(*pkRoot, !bVisible);
}

bool COrvaneCompositeImpl::IsVisible() const
{
    NiNode* pkRoot = GetRoot();
    return pkRoot && (pkRoot->GetFlags() & HIDDEN_BIT) == 0;
}

int COrvaneCompositeImpl::ProvideRoot(COrvaneSceneLink& kRecord) const
{
    if (kRecord.m_pkNode)
        return 0;
    kRecord.m_pkNode = GetRoot();
    return kRecord.m_pkNode ? 1 : 0;
}

void COrvaneCompositeImpl::SetWorldOnDemand(bool bOnDemand)
{
    m_bWorldOnDemand = bOnDemand;
    for (NiRefPtr<NiNode>& spRoot : m_kRoots)
        spRoot->SetWorldOnDemand(bOnDemand);
}

void COrvaneCompositeImpl::SetAnimated(bool bAnimated)
{
    if (bAnimated)
    {
        WakeControllers();
        m_bStill = false;
        return;
    }
    // Controllers made while still are taken off where they are made.
    if (m_bStill)
        return;
    m_bStill = true;
    StillControllers();
}

void COrvaneCompositeImpl::StillControllers()
{
    // The whole list comes off the object, not each controller switched
    // off: the bones' controller answers no switch and would still visit
    // every bone each pass. Its blends keep their items and sequences, so
    // the list given back carries on as if it had run with nothing to ask.
    if (m_spStilled || m_pkModelObject == nullptr || m_pkModelObject->GetControllers() == nullptr)
        return;
    m_spStilled = m_pkModelObject->GetControllers();
    m_pkModelObject->SetControllers(nullptr);
}

void COrvaneCompositeImpl::WakeControllers()
{
    if (m_spStilled && m_pkModelObject != nullptr)
        m_pkModelObject->SetControllers(m_spStilled);
    m_spStilled = nullptr;
}

void COrvaneCompositeImpl::UpdateNode(float fTime)
{
    if (m_pkModelObject)
        m_pkModelObject->Update(fTime, false);
}

void COrvaneCompositeImpl::CreateControllerManager()
{
    // The old manager leaves, and the new one joins, the object's own list.
    WakeControllers();
    if (m_spManager)
    {
        m_spManager->RemoveAllSequences();
        m_spManager->SetTarget(nullptr);
    }
    m_pkActive = nullptr;
    m_spManager = m_pkModelObject ? new NiControllerManager(m_pkModelObject, false) : nullptr;
    if (m_bStill)
        StillControllers();
}

void COrvaneCompositeImpl::AddSequences(std::vector<COrvaneAnim*>& kAnimations)
{
    if (m_spManager)
    {
        // Binding looks for the bones' controller in the object's list.
        WakeControllers();
        for (COrvaneAnim* pkAnimation : kAnimations)
        {
            NiControllerSequence* pkSource = pkAnimation ? pkAnimation->GetSequence() : nullptr;
            if (!pkSource)
                continue;
            NiCloneContext::ms_uiDefaultCopyMode = NiCloneContext::COPY_EXACT;
            NiRefPtr<NiObject> spClone = pkSource->Clone();
            if (auto* pkSequence = NiDynamicCast<NiControllerSequence>(spClone.Get()))
                m_spManager->AddSequence(pkSequence, nullptr, true);
        }
        if (!kAnimations.empty())
            PlaySequence(kAnimations.front(), false);
        // Binding the sequences may have made the bones' controller.
        if (m_bStill)
            StillControllers();
    }
    kAnimations.clear();
}

void COrvaneCompositeImpl::PlaySequence(const COrvaneAnim* pkAnimation, bool bKeep)
{
    if (!bKeep && m_pkActive)
        m_pkActive->Deactivate(0.0f);
    const char* pcName = pkAnimation ? pkAnimation->GetName() : nullptr;
    if (pcName)
    {
        if (const char* pcSlash = std::strrchr(pcName, '/'))
            pcName = pcSlash + 1;
    }
    m_pkActive = (m_spManager && pcName) ? m_spManager->GetSequenceByName(pcName) : nullptr;
    if (m_pkActive)
        m_pkActive->Activate(0, false, 1.0f, 0.0f, nullptr);
}

void COrvaneCompositeImpl::StopSequence(const char* pcName)
{
    NiControllerSequence* pkSequence = (m_spManager && pcName) ? m_spManager->GetSequenceByName(pcName) : nullptr;
    if (!pkSequence)
        return;
    pkSequence->SetTimeOffset(UNSET_TIME);
    pkSequence->Deactivate(0.0f);
}

void COrvaneCompositeImpl::RestartSequence()
{
    if (m_pkActive)
        m_pkActive->Activate(0, false, 1.0f, 0.0f, nullptr);
}

void COrvaneCompositeImpl::ResetSequenceTime()
{
    if (m_pkActive)
        m_pkActive->SetTimeOffset(UNSET_TIME);
}

float COrvaneCompositeImpl::GetSequenceLength() const
{
    return m_pkActive ? m_pkActive->GetEndKeyTime() - m_pkActive->GetBeginKeyTime() : 0.0f;
}

void COrvaneCompositeImpl::UpdateAtSequenceEnd()
{
    NiNode* pkRoot = GetRoot();
    if (m_pkActive && pkRoot)
        pkRoot->Update(m_pkActive->GetEndKeyTime() - m_pkActive->GetLastTime(), true);
}

void COrvaneCompositeImpl::VisitNodes(NiNode* pkNode, const std::function<bool(NiNode&)>& kVisitor)
{
    if (!pkNode)
        return;
    for (std::uint32_t i = 0; i < pkNode->GetArrayCount(); ++i)
    {
        NiNode* pkChild = NiDynamicCast<NiNode>(pkNode->GetAt(i));
        if (pkChild && kVisitor(*pkChild))
            VisitNodes(pkChild, kVisitor);
    }
}

void COrvaneCompositeImpl::CollectNodes(const char* pcText, std::vector<NiNode*>& kOut, bool bHide)
{
    if (!pcText || !*pcText)
        return;
    VisitNodes(GetRoot(), [&](NiNode& kNode) {
        if (Contains(kNode.GetName(), pcText))
        {
            kOut.push_back(&kNode);
            if (bHide)
                SetHidden(kNode, true);
        }
        return true;
    });
}

void COrvaneCompositeImpl::CollectNodePositions(const char* pcText, std::vector<NiVec3>& kOut, bool bHide)
{
    if (!pcText || !*pcText)
        return;
    VisitNodes(GetRoot(), [&](NiNode& kNode) {
        if (Contains(kNode.GetName(), pcText))
        {
            kOut.push_back(kNode.GetTranslate());
            if (bHide)
                SetHidden(kNode, true);
        }
        return true;
    });
}

void COrvaneCompositeImpl::SelectVariant(const char* pcText, bool bKeep, int iIndex)
{
    if (!pcText || !*pcText)
        return;
    std::string kKey = iIndex > 0 ? std::string(pcText) + std::to_string(iIndex) : std::string();
    NiRefPtr<NiTexturingProperty> spCollected;
    if (!bKeep)
    {
        VisitNodes(GetRoot(), [&](NiNode& kNode) {
            if (!Contains(kNode.GetName(), pcText))
                return true;
            if (iIndex <= 0)
            {
                SetHidden(kNode, false);
                return true;
            }
            if (!Contains(kNode.GetName(), kKey.c_str()))
            {
                SetHidden(kNode, true);
                return true;
            }
            SetHidden(kNode, false);
            for (std::uint32_t i = 0; i < kNode.GetArrayCount() && !spCollected; ++i)
            {
                NiTexturingProperty* pkTexturing = TexturingOf(kNode.GetAt(i));
                const char* pcFile = BaseTextureFile(pkTexturing);
                if (Contains(pcFile, pcText) && Contains(pcFile, kKey.c_str()))
                    spCollected = pkTexturing;
            }
            return true;
        });
    }
    if (!spCollected)
        return;
    std::string kIndex = std::to_string(iIndex);
    VisitNodes(GetRoot(), [&](NiNode& kNode) {
        if (Contains(kNode.GetName(), pcText))
            return true;
        for (std::uint32_t i = 0; i < kNode.GetArrayCount(); ++i)
        {
            NiAVObject* pkChild = kNode.GetAt(i);
            NiTexturingProperty* pkTexturing = TexturingOf(pkChild);
            const char* pcFile = BaseTextureFile(pkTexturing);
            if (pkTexturing != spCollected && Contains(pcFile, pcText) && !Contains(pcFile, kIndex.c_str()))
            {
                pkChild->DetachProperty(pkTexturing);
                pkChild->AttachProperty(spCollected);
            }
        }
        return true;
    });
}

void COrvaneCompositeImpl::MakeAttachments(const std::vector<NiNode*>& kNodes,
                                           std::vector<std::unique_ptr<NiNodeAttachment>>& kOut)
{
    for (NiNode* pkNode : kNodes)
    {
        auto pkAttachment = std::make_unique<NiNodeAttachment>();
        pkAttachment->Set(pkNode);
        kOut.push_back(std::move(pkAttachment));
    }
}
