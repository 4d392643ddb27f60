#include "game/simulation/characters/CAIStaff.h"

#include "engine/core/NiRandom.h"
#include "framework/COrvaneBlock.h"
#include "game/simulation/characters/CAIPrisoner.h"
#include "game/simulation/characters/CSpawnManager.h"
#include "game/simulation/objects/CBlockGrid.h"
#include "game/simulation/objects/CDynamicObjectManager.h"
#include "game/simulation/objects/CGameHost.h"
#include "game/simulation/objects/CObjectQuery.h"
#include "game/simulation/objects/CPathableObject.h"
#include "game/simulation/objects/CPrisonStatistics.h"
#include "game/simulation/objects/CWorldObject.h"

#include <cctype>
#include <cstring>
#include <string>

namespace
{
void PlaySample(int iSample)
{
    if (CGameHost* pkHost = CGameHost::Get())
        pkHost->PlaySample(iSample, 255);
}

void PlayBout(CGameCharacter& kMe, const std::string& kName)
{
    kMe.PlayAnimation(kName.c_str(), 1, 0.0f, 0, 1);
}

std::string Numbered(const char* pcStem, int iChoices)
{
    return pcStem + std::to_string(NiRand() % iChoices + 1) + "_a";
}

// The five factories a maintenance worker looks at, in order.
constexpr const char* SERVICED_FACTORIES[] = {
    "PathableObjectFactory", "WorkObjectFactory", "CellFactory", "FoodObjectFactory", "HospitalObjectFactory",
};
} // namespace

// ------------------------------------------------------------------ staff

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
    // At shut-down the registry may already have deleted the post.
    CDynamicObjectManager* pkManager = CDynamicObjectManager::GetExisting();
    if (pkManager && m_pkHome && pkManager->IsLive(m_pkHome))
        if (auto* pkPost = dynamic_cast<CPathableObject*>(m_pkHome))
            pkPost->RemoveStaffMember(this);
    // Counted off once, whichever destroy comes first.
    if (CPrisonStatistics* pkLedger = Ledger(); pkLedger && !m_aucDuty[2] && pkLedger->HoldsStaff(&m_kStats))
        pkLedger->RemoveStaff(&m_kStats, GetStaffCategory());
    m_aucDuty[2] = 1;
    CAIStaff::Reset();
    CGameCharacter::Destroy();
}

void CAIStaff::Release()
{
    Destroy();
    CGameCharacter::Release();
}

int CAIStaff::Load(COrvaneObjectDesc& kDesc)
{
    const int iResult = CGameCharacter::Load(kDesc);
    m_kStats.m_usArrivalYear = CurrentYear();
    return iResult;
}

void CAIStaff::Hire(std::uint16_t usWage)
{
    m_kStats.m_usWage = usWage;
    if (CPrisonStatistics* pkLedger = Ledger())
        pkLedger->RegisterStaff(&m_kStats, GetStaffCategory());
}

void CAIStaff::CountService(int iSample)
{
    if (CPrisonStatistics* pkLedger = Ledger())
        pkLedger->CountCategory(GetStaffCategory());
    ++m_kStats.m_usWorkCount;
    PlaySample(iSample);
}

void CAIStaff::UpdateAI(float fDt)
{
    if (m_aucDuty[0])
    {
        OnDropped(false);
        m_aucDuty[0] = 0;
        m_aucDuty[1] = 1;
    }
    CGameCharacter::UpdateAI(fDt);
    if (!IsNewYear())
        return;
    ++m_kStats.m_usTerm;
    if (m_kStats.m_usAge <= RETIREMENT_AGE)
        return;
    // A new person takes the post: a name of the same gender and an age
    // of 20..49. An empty name list gives the first name.
    const CGameHost* pkHost = CGameHost::Get();
    const CSpawnManager* pkSpawn = pkHost ? pkHost->GetSpawnManager() : nullptr;
    const std::size_t uiNames =
        pkSpawn ? (m_kStats.m_uiGender ? pkSpawn->m_kFemaleNames.size() : pkSpawn->m_kMaleNames.size()) : 0;
    m_kStats.m_usFirstName = uiNames == 0 ? 0 : static_cast<std::uint16_t>(static_cast<std::size_t>(NiRand()) % uiNames);
    m_kStats.m_usAge = static_cast<std::uint16_t>(NiRand() % 30 + 20);
}

int CAIStaff::CostOnHiringDay(std::uint16_t usWage)
{
    return 2 * static_cast<int>(usWage);
}

std::uint16_t CAIStaff::WageOf(const std::string& kFactory, const char* pcModel)
{
    if (kFactory == CSpawnManager::GUARD_FACTORY)
        return CAISecurity::WageOfGrade(CAISecurity::GradeOf(pcModel));
    if (kFactory == CSpawnManager::MEDICAL_FACTORY)
        return CAIMedical::WAGE;
    if (kFactory == CSpawnManager::SUPPORT_FACTORY)
        return CAISupportStaff::WAGE;
    if (kFactory == CSpawnManager::MAINTENANCE_FACTORY)
        return CAIMaintenance::WAGE;
    return 0;
}

bool CAIStaff::IsIdle() const
{
    return !GetPartner() && !GetTargetObject() && IsFree();
}

void CAIStaff::RequestRecall()
{
    if (IsIdle())
        m_aucDuty[0] = 1;
}

void CAIStaff::OnPathEnd()
{
    const bool bWalksOn = GetQueuedPathCount() > 0;
    CGameCharacter::OnPathEnd();
    if (!bWalksOn && !m_aucDuty[0] && !m_aucDuty[1])
        PlayPauseAnimation();
}

void CAIStaff::SetHome(CBaseObject* pkHome)
{
    if (m_pkHome || !pkHome)
        return;
    CGameCharacter::SetHome(pkHome);
    // Only a post the registry holds lists its staff: leaving the list at
    // destruction asks the registry whether the post still lives.
    CDynamicObjectManager* pkManager = CDynamicObjectManager::GetExisting();
    if (auto* pkPost = dynamic_cast<CPathableObject*>(pkHome); pkPost && pkManager && pkManager->IsLive(pkPost))
        pkPost->AddStaffMember(this);
}

void CAIStaff::FinishActivity()
{
    Relocate();
    SetTargetObject(nullptr);
    SetPreviousTarget(nullptr);
    SetPartner(nullptr);
    SetPreviousPartner(nullptr);
    SetConnector(nullptr);
    SetUseSlot(-1, -1);
    if (CPrisonStatistics* pkLedger = Ledger())
        pkLedger->m_iWages += m_kStats.m_usWage;
    const CWorldObject* pkBuilding = CWorldObject::FindOwnerOf(m_pkGrid);
    const char* pcName = pkBuilding ? pkBuilding->GetName() : nullptr;
    if (!pcName || !std::strstr(pcName, "staff") || pkBuilding->GetEntrances().empty())
        return;
    COrvaneBlockGrid* pkOutside = pkBuilding->GetGrid();
    const std::int32_t iCell = pkBuilding->GetEntrances().front()->m_iCell;
    const COrvaneBlock* pkBlock = pkOutside ? pkOutside->GetBlock(iCell) : nullptr;
    NiVec3 kAt;
    if (pkBlock && pkBlock->IsWalkable() && pkOutside->CellPosition(iCell, kAt, true))
        PlaceAt(kAt, pkOutside);
}

bool CAIStaff::ChooseWanderTarget()
{
    if (NiRand() % 2 != 0)
    {
        auto* pkFloor = dynamic_cast<CBlockGrid*>(m_pkGrid);
        const COrvaneGridMarker* pkConnector = pkFloor ? pkFloor->RandomConnector() : nullptr;
        const std::int32_t iCell = pkConnector ? pkFloor->CellAt(pkConnector->m_kPosition) : -1;
        const COrvaneBlock* pkBlock = pkConnector ? pkFloor->GetBlock(iCell) : nullptr;
        if (pkBlock && iCell != m_iCurrentCell && pkBlock->IsWalkable())
        {
            m_iDestination = iCell;
            return true;
        }
    }
    return CGameCharacter::ChooseWanderTarget();
}

bool CAIStaff::FallbackWander(int iConnectorOdds)
{
    if (NiRand() % iConnectorOdds == 0 && TargetRandomConnector())
        return true;
    return CAIStaff::ChooseWanderTarget();
}

bool CAIStaff::ServePrisoner()
{
    const bool bWider = m_aucDuty[1] != 0;
    const float fRange = GetServeRange() * (bWider ? GetWiderFactor() : 1.0f);
    CObjectQuery kQuery;
    kQuery.m_pkSkip = GetPreviousPartner();
    kQuery.m_pkSeeker = this;
    kQuery.m_fMaxDistanceSquared = fRange;
    CGameCharacter* pkFound = FindPartner("PrisonerFactory", kQuery, false);
    if (!pkFound && bWider)
    {
        // The recall's wider look: the nearest prisoner within reach, in
        // any mood.
        kQuery.m_ucNearestOnly = 1;
        kQuery.m_fBestDistance = fRange;
        pkFound = FindPartner("PrisonerFactory", kQuery, false);
    }
    m_aucDuty[1] = 0;
    if (!pkFound)
        return false;
    SetPartner(pkFound);
    m_iDestination = pkFound->GetCurrentCell();
    return true;
}

// ----------------------------------------------------------------- guards

CAISecurity::CAISecurity()
{
    CAISecurity::Reset();
}

CAISecurity::~CAISecurity()
{
    CAIStaff::Destroy();
}

void CAISecurity::Reset()
{
    m_pkPrisoner = nullptr;
}

std::uint16_t CAISecurity::WageOfGrade(int iGrade)
{
    return static_cast<std::uint16_t>(100 * iGrade);
}

int CAISecurity::GradeOf(const char* pcName)
{
    const char* pcDot = pcName ? std::strrchr(pcName, '.') : nullptr;
    if (!pcDot || pcDot == pcName || !std::isdigit(static_cast<unsigned char>(pcDot[-1])))
        return 0;
    return pcDot[-1] - '0';
}

int CAISecurity::Load(COrvaneObjectDesc& kDesc)
{
    const int iResult = CAIStaff::Load(kDesc);
    const int iGrade = GradeOf(GetName());
    // Grade 0 stays at the lowest level rather than wrapping to 65535.
    m_kStats.m_usSecurityLevel = static_cast<std::uint16_t>(iGrade > 0 ? iGrade - 1 : 0);
    Hire(WageOfGrade(iGrade));
    return iResult;
}

float CAISecurity::GetServeRange() const
{
    const float fReach = (static_cast<float>(m_kStats.m_usSecurityLevel) + 1.0f) * 10.0f;
    return fReach * fReach;
}

bool CAISecurity::FindCharacterToServe()
{
    return ServePrisoner();
}

bool CAISecurity::ChooseWanderTarget()
{
    if (CAIPrisoner* pkPrisoner = m_pkPrisoner)
    {
        m_pkPrisoner = nullptr;
        SetPartner(pkPrisoner);
        m_iDestination = pkPrisoner->GetCurrentCell();
        return true;
    }
    return FindCharacterToServe() || FallbackWander(4);
}

bool CAISecurity::Interact(CGameCharacter*)
{
    if (GetControllerTimer() <= 0.0f)
        SetControllerTimer(3.0f);
    if (GetControllerTimer() > 1.0f)
    {
        PlayBout(*this, Numbered("gfight", 2));
        return true;
    }
    PlayBout(*this, Numbered("gknockdown", 2));
    ++m_kStats.m_usKnockdowns;
    CountService(SAMPLE_KNOCKDOWN);
    return true;
}

void CAISecurity::PlayPauseAnimation()
{
    PlayAnimation(("pause" + std::to_string(NiRand() % 6 + 1)).c_str(), 0, 0.0f, 0, 1);
}

CGameCharacter* CAISecurity::IsCandidateFor(CObjectQuery& kQuery)
{
    const CGameCharacter* pkSeeker = SeekerOf(kQuery);
    if (!pkSeeker || pkSeeker == this || kQuery.m_pkSkip == this || pkSeeker->GetGrid() != m_pkGrid || !IsFree() ||
        !IsPositionValid())
        return nullptr;
    if (kQuery.m_fMaxDistanceSquared > 0.0f)
    {
        const NiVec3* pkMine = GetModelPosition();
        const NiVec3* pkTheirs = pkSeeker->GetModelPosition();
        if (!pkMine || !pkTheirs)
            return nullptr;
        const float fDx = pkMine->x - pkTheirs->x;
        const float fDz = pkMine->z - pkTheirs->z;
        const float fReach = (static_cast<float>(m_kStats.m_usSecurityLevel) + 1.0f) * kQuery.m_fMaxDistanceSquared;
        if (fDx * fDx + fDz * fDz > fReach)
            return nullptr;
    }
    return this;
}

void CAISecurity::OnCharacterRemoved(CGameCharacter* pkCharacter)
{
    if (pkCharacter && pkCharacter == m_pkPrisoner)
        m_pkPrisoner = nullptr;
    CAIStaff::OnCharacterRemoved(pkCharacter);
}

void CAISecurity::Summon(CAIPrisoner* pkPrisoner)
{
    ClearPath();
    ResetAIState();
    SetController("wander", true, true);
    m_pkPrisoner = pkPrisoner;
    m_kBlock.m_ucRequestedState = 2;
    m_kBlock.m_ucChangePending = 1;
    SetFree(true);
}

// ---------------------------------------------------------------- medical

CAIMedical::~CAIMedical()
{
    CAIStaff::Destroy();
}

int CAIMedical::Load(COrvaneObjectDesc& kDesc)
{
    const int iResult = CAIStaff::Load(kDesc);
    Hire(WAGE);
    return iResult;
}

bool CAIMedical::FindCharacterToServe()
{
    return ServePrisoner();
}

bool CAIMedical::ChooseWanderTarget()
{
    return FindCharacterToServe() || FallbackWander(4);
}

bool CAIMedical::Interact(CGameCharacter*)
{
    if (GetControllerTimer() <= 0.0f)
        SetControllerTimer(1.0f);
    PlayBout(*this, Numbered("heal", 3));
    CountService(SAMPLE_HEAL);
    return true;
}

// ---------------------------------------------------------------- support

CAISupportStaff::CAISupportStaff()
{
    CAISupportStaff::Reset();
}

CAISupportStaff::~CAISupportStaff()
{
    CAIStaff::Destroy();
}

void CAISupportStaff::Reset()
{
    m_ucChaplain = 0;
}

int CAISupportStaff::Load(COrvaneObjectDesc& kDesc)
{
    const int iResult = CAIStaff::Load(kDesc);
    const char* pcName = GetName();
    m_ucChaplain = pcName && std::strstr(pcName, "chaplain") ? 1 : 0;
    Hire(WAGE);
    return iResult;
}

bool CAISupportStaff::FindCharacterToServe()
{
    return ServePrisoner();
}

bool CAISupportStaff::ChooseWanderTarget()
{
    return FindCharacterToServe() || FallbackWander(4);
}

bool CAISupportStaff::Interact(CGameCharacter*)
{
    if (GetControllerTimer() <= 0.0f)
        SetControllerTimer(m_ucChaplain ? 1.0f : 3.0f);
    if (m_ucChaplain)
    {
        PlayBout(*this, Numbered("bless", 3));
        CountService(SAMPLE_COUNSEL);
        return true;
    }
    const bool bCounted = GetControllerTimer() >= 2.0f;
    PlayBout(*this, Numbered("talk", 3));
    if (bCounted)
        CountService(SAMPLE_COUNSEL);
    return true;
}

// ------------------------------------------------------------ maintenance

CAIMaintenance::~CAIMaintenance()
{
    CAIStaff::Destroy();
}

int CAIMaintenance::Load(COrvaneObjectDesc& kDesc)
{
    const int iResult = CAIStaff::Load(kDesc);
    Hire(WAGE);
    return iResult;
}

bool CAIMaintenance::FindObjectForMood()
{
    CObjectQuery kQuery;
    kQuery.m_pkSeeker = this;
    kQuery.m_fMaxDistanceSquared = 225.0f;
    kQuery.m_ucWantUnattractive = 1;
    if (m_aucDuty[1])
    {
        kQuery.m_pkSkip = dynamic_cast<const COrvaneObject*>(GetPreviousTarget());
        kQuery.m_fMaxDistanceSquared = 625.0f;
        kQuery.m_fBestDistance = 625.0f;
        kQuery.m_ucNearestOnly = 1;
        m_aucDuty[1] = 0;
    }
    auto* pkFloor = dynamic_cast<CBlockGrid*>(m_pkGrid);
    for (const char* pcFactory : SERVICED_FACTORIES)
    {
        CBaseObject* pkObject = FirstObjectOn(pkFloor, pcFactory, kQuery);
        if (!pkObject)
            continue;
        if (ReserveUseOf(pkObject))
            return true;
        SetPreviousTarget(pkObject);
        return false;
    }
    if (NiRand() % 2 == 0)
        return false;
    CObjectQuery kWide = kQuery;
    kWide.m_fMaxDistanceSquared = 625.0f;
    kWide.m_fBestDistance = 625.0f;
    kWide.m_ucNearestOnly = 1;
    CBaseObject* pkBest = nullptr;
    for (const char* pcFactory : SERVICED_FACTORIES)
        if (CBaseObject* pkFound = NearestObject(pcFactory, kWide, false))
            pkBest = pkFound;
    return ReserveUseOf(pkBest);
}

bool CAIMaintenance::ChooseWanderTarget()
{
    return FindObjectForMood() || FallbackWander(3);
}

void CAIMaintenance::OnPartnerTask()
{
    if (CPathableObject* pkObject = GetTargetPathable())
        pkObject->AdjustAttraction(100);
    CountService(SAMPLE_SERVICE);
}

bool CAIMaintenance::PlayWorkAnimation()
{
    PlayAnimation("work", 1, 0.0f, 0, 1);
    return true;
}
