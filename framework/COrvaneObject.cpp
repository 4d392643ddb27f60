#include "framework/COrvaneObject.h"

#include "framework/COrvaneAnim.h"
#include "framework/COrvaneComposite.h"
#include "framework/COrvaneObjectDesc.h"
#include "framework/COrvaneObjectTemplate.h"
#include "framework/COrvaneSceneLink.h"
#include "framework/COrvaneWorld.h"

#include <cfloat>
#include <cmath>
#include <cstring>

COrvaneObject::COrvaneObject()
{
    Reset();
}

COrvaneObject::~COrvaneObject()
{
    Destroy();
}

void COrvaneObject::Destroy()
{
    RemoveFromWorld();
    // A shared model stays with its template entry; the counts taken by
    // Load are given back.
    if (m_spSharedModel)
    {
        if (m_spSharedModel->m_uiUseCount > 0)
            --m_spSharedModel->m_uiUseCount;
        if (m_pkModel && m_pkModel->GetOwner() == this)
            m_pkModel->SetOwner(nullptr);
        m_spSharedModel.reset();
    }
    m_pkModel = nullptr;
    m_pkOwnedModel.reset();
    for (COrvaneAnimEntryPtr& spEntry : m_kAnimations)
    {
        if (spEntry->m_uiUseCount > 0)
            --spEntry->m_uiUseCount;
    }
    m_kAnimations.clear();
    m_pkCurrentAnimation = nullptr;
    m_kSharedParts.clear();
}

void COrvaneObject::Reset()
{
    m_pkWorld = nullptr;
    m_pkTypeObject = nullptr;
    m_pkTemplate = nullptr;
    m_afAngles[0] = m_afAngles[1] = m_afAngles[2] = 0.0f;
    m_pkModel = nullptr;
    m_pkOwnedModel.reset();
    m_pkCurrentAnimation = nullptr;
    m_spSharedModel.reset();
    m_usParameterCursor = 0;
    m_ucPlayMode = 1;
    m_ucAnimationStarted = 0;
    m_fTimer = 10.0f;
    m_fLastTimeStep = 0.0f;
}

const char* COrvaneObject::GetName() const
{
    if (const char* pcName = COrvaneBase::GetName())
        return pcName;
    return m_pkModel ? m_pkModel->GetName() : nullptr;
}

int COrvaneObject::HandleUserProp(const char*, int, NiAVObject*)
{
    return 0;
}

bool COrvaneObject::HasModelData() const
{
    return false;
}

void COrvaneObject::SetModelValue(std::uint32_t uiValue)
{
    if (m_pkModel)
        m_pkModel->SetUserValue(uiValue);
}

bool COrvaneObject::AddToWorld(COrvaneWorld* pkWorld, bool bUseCollision)
{
    m_pkWorld = pkWorld;
    if (pkWorld == nullptr || m_pkModel == nullptr)
        return false;
    if (COrvaneSceneEvents* pkEvents = pkWorld->GetSceneEvents())
        pkEvents->m_kFirst.push_back(m_pkModel);
    return AttachModelToWorld(*m_pkModel, *pkWorld, bUseCollision, StandsUpright());
}

bool COrvaneObject::RemoveFromWorld()
{
    if (!m_pkWorld)
        return false;
    if (COrvaneSceneEvents* pkEvents = m_pkWorld->GetSceneEvents())
        pkEvents->m_kFirst.remove(m_pkModel);
    if (m_pkModel != nullptr)
        (void)DetachModelFromWorld(*m_pkModel);
    m_pkWorld = nullptr;
    return true;
}

void COrvaneObject::SetPosition(const NiVec3& kPosition, int iMode)
{
    if (m_pkModel)
        m_pkModel->SetPosition(kPosition, iMode);
}

void COrvaneObject::ApplyHeading()
{
    if (m_pkModel)
        m_pkModel->Rotate(NiVec3::UNIT_Y, m_afAngles[1], 0);
}

void COrvaneObject::FaceTowards(const NiVec3& kPoint)
{
    const NiVec3* pkPosition = GetModelPosition();
    if (!pkPosition)
        return;
    float fDx = kPoint.x - pkPosition->x;
    float fDz = kPoint.z - pkPosition->z;
    Rotate(NiVec3::UNIT_Y, std::atan2(fDx, fDz) * DEGREES_PER_RADIAN, false);
}

float COrvaneObject::DistanceSquaredTo(const NiVec3& kPoint) const
{
    const NiVec3* pkPosition = GetModelPosition();
    if (!pkPosition)
        return FLT_MAX;
    float fDx = std::fabs(kPoint.x - pkPosition->x);
    float fDy = std::fabs(kPoint.y - pkPosition->y);
    float fDz = std::fabs(kPoint.z - pkPosition->z);
    return fDx * fDx + fDy * fDy + fDz * fDz;
}

void COrvaneObject::Rotate(const NiVec3& kAxis, float fAngle, bool bRelative)
{
    if (!bRelative)
    {
        m_afAngles[1] = fAngle;
    }
    else
    {
        m_afAngles[1] += fAngle;
        if (m_afAngles[1] >= 360.0f)
            m_afAngles[1] -= 360.0f;
        else if (m_afAngles[1] < 0.0f)
            m_afAngles[1] += 360.0f;
    }
    if (m_pkModel)
        m_pkModel->Rotate(kAxis, fAngle, bRelative ? 1 : 0);
}

void COrvaneObject::Update(float fDt)
{
    if (m_fTimer >= 0.0f)
        m_fTimer -= fDt;
    if (m_pkModel)
        m_pkModel->Update(fDt);
    m_fLastTimeStep = fDt;
}

const NiVec3* COrvaneObject::GetModelPosition() const
{
    return m_pkModel ? m_pkModel->GetPosition() : nullptr;
}

const float* COrvaneObject::GetRotation() const
{
    return m_afAngles;
}

void COrvaneObject::ModelHook()
{
    if (m_pkModel)
        m_pkModel->Hook();
}

int COrvaneObject::Load(COrvaneObjectDesc& kDesc)
{
    m_pkTemplate = kDesc.m_pkTemplate;
    m_pkTypeObject = kDesc.m_pkType;
    COrvaneObjectTemplate* pkTemplate = m_pkTemplate;
    if (kDesc.m_ucMode == 0)
    {
        // An empty template has no model to share.
        if (pkTemplate && !pkTemplate->m_kModels.empty())
        {
            m_spSharedModel = pkTemplate->m_kModels.front();
            ++m_spSharedModel->m_uiUseCount;
            m_pkModel = m_spSharedModel->Get();
            m_pkModel->SetOwner(this);
        }
    }
    else
    {
        COrvaneModelSource kSource;
        kSource.m_bClone = kDesc.m_ucMode == 1;
        if (pkTemplate)
        {
            for (const COrvaneModelEntryPtr& spEntry : pkTemplate->m_kModels)
                kSource.m_kEntries.push_back(spEntry->Get());
        }
        const char* pcFirst = kSource.m_kEntries.empty() ? nullptr : kSource.m_kEntries.front()->GetName();
        kSource.m_kName = pcFirst ? pcFirst : kDesc.m_kName;
        m_pkOwnedModel = std::make_unique<COrvaneComposite>();
        m_pkModel = m_pkOwnedModel.get();
        if (kDesc.m_uiValueA != 0)
            m_pkModel->SetUserValue(kDesc.m_uiValueA);
        m_pkModel->Load(kSource);
        if (kSource.m_kName.empty())
            m_pkModel->ClearName();
        m_pkModel->SetOwner(this);
    }
    if (pkTemplate && !pkTemplate->m_kAnimations.empty() && m_pkModel)
    {
        std::vector<COrvaneAnim*> kList;
        for (const COrvaneAnimEntryPtr& spEntry : pkTemplate->m_kAnimations)
        {
            ++spEntry->m_uiUseCount;
            m_kAnimations.push_back(spEntry);
            kList.push_back(spEntry->Get());
        }
        m_pkCurrentAnimation = m_kAnimations.front()->Get();
        m_pkModel->CreateControllerManager();
        m_pkModel->AddSequences(kList);
    }
    return 1;
}

void COrvaneObject::PlayAnimation(const char* pcName, std::uint8_t ucMode, float fDuration, std::uint32_t uiFlags,
                                  std::int32_t iLengthFactor)
{
    m_ucPlayMode = ucMode;
    m_ucAnimationStarted = 0;
    if (!pcName)
        return;
    COrvaneAnim* pkFound = nullptr;
    for (const COrvaneAnimEntryPtr& spEntry : m_kAnimations)
    {
        const char* pcAnimation = spEntry->Get()->GetName();
        if (pcAnimation && std::strstr(pcAnimation, pcName))
        {
            pkFound = spEntry->Get();
            break;
        }
    }
    if (!pkFound)
        return;
    m_pkCurrentAnimation = pkFound;
    if (m_pkModel)
        m_pkModel->PlaySequence(pkFound, uiFlags != 0);
    float fLength = m_pkModel ? m_pkModel->GetSequenceLength() : 0.0f;
    m_fTimer = fDuration > 0.0f ? fDuration : fLength * static_cast<float>(iLengthFactor);
}

void COrvaneObject::SetModelHidden(bool bHidden)
{
    if (m_pkModel)
        m_pkModel->SetVisible(!bHidden);
}

bool COrvaneObject::IsModelVisible() const
{
    return m_pkModel != nullptr && m_pkModel->IsVisible();
}

void COrvaneObject::ResetModelAnimation()
{
    m_auiWords[0] = 0;
    if (m_pkModel)
        m_pkModel->ResetSequenceTime();
}

void COrvaneObject::ApplyToModel(std::uint32_t)
{
}
