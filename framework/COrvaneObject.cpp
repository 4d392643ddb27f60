#include "framework/COrvaneObject.h"

#include "framework/COrvaneComposite.h"
#include "framework/COrvaneObjectDesc.h"

#include <cfloat>
#include <cmath>

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
    // A shared model stays with its template entry.
    m_pkSharedModel = nullptr;
    m_pkModel = nullptr;
    m_pkOwnedModel.reset();
    m_kAnimations.clear();
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
    m_pkSharedModel = nullptr;
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

bool COrvaneObject::AddToWorld(COrvaneWorld* pkWorld, bool)
{
    m_pkWorld = pkWorld;
    return pkWorld != nullptr;
}

bool COrvaneObject::RemoveFromWorld()
{
    if (!m_pkWorld)
        return false;
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
    // Sharing the template's first model and the template's animation
    // entries come with the templates; an own model is made here.
    if (kDesc.m_ucMode != 0)
    {
        m_pkOwnedModel = std::make_unique<COrvaneComposite>();
        m_pkModel = m_pkOwnedModel.get();
        if (!kDesc.m_kName.empty())
            m_pkModel->SetName(kDesc.m_kName.c_str());
        m_pkModel->SetOwner(this);
    }
    return 1;
}

void COrvaneObject::PlayAnimation(const char*, std::uint8_t ucMode, float, std::uint32_t, std::int32_t)
{
    m_ucPlayMode = ucMode;
    m_ucAnimationStarted = 0;
    // Animation entries come from the template; without one no name
    // matches, and the timer and current animation stay as they were.
}

void COrvaneObject::SetModelHidden(bool)
{
}

bool COrvaneObject::IsModelVisible() const
{
    return m_pkModel != nullptr;
}

void COrvaneObject::ResetModelAnimation()
{
    m_auiWords[0] = 0;
}

void COrvaneObject::ApplyToModel(std::uint32_t)
{
}
