#include "game/simulation/characters/CAIStaff.h"

CAIStaff::CAIStaff()
{
    CAIStaff::Reset();
}

CAIStaff::~CAIStaff()
{
    CAIStaff::Destroy();
}

void CAIStaff::Reset()
{
    m_aucDuty[0] = m_aucDuty[1] = m_aucDuty[2] = 0;
}

void CAIStaff::Destroy()
{
    CAIStaff::Reset();
    CGameCharacter::Destroy();
}

void CAIStaff::Release()
{
    CAIStaff::Destroy();
    CGameCharacter::Release();
}

void CAIStaff::OnPathEnd()
{
    const bool bWalksOn = GetQueuedPathCount() > 0;
    CGameCharacter::OnPathEnd();
    if (!bWalksOn && !m_aucDuty[0] && !m_aucDuty[1])
        PlayPauseAnimation();
}

bool CAIStaff::IsAvailable() const
{
    return GetUseSlot() < 0 && !GetPartner() && IsFree();
}

void CAIStaff::RequestDuty()
{
    if (IsAvailable())
        m_aucDuty[0] = 1;
}

CAISecurity::CAISecurity()
{
    CAISecurity::Reset();
}

CAISecurity::~CAISecurity() = default;

void CAISecurity::Reset()
{
    m_pkPrisoner = nullptr;
}

CAISupportStaff::CAISupportStaff()
{
    CAISupportStaff::Reset();
}

CAISupportStaff::~CAISupportStaff() = default;

void CAISupportStaff::Reset()
{
    m_ucSupportState = 0;
}

bool CAIMaintenance::PlayWorkAnimation()
{
    PlayAnimation("work", 1, 0.0f, 0, 1);
    return true;
}
