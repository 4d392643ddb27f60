#include "game/simulation/characters/CAIPrisoner.h"

#include "engine/core/NiRandom.h"
#include "framework/COrvaneAICharacterController.h"
#include "framework/COrvaneBlock.h"
#include "framework/COrvaneObjectFactory.h"
#include "game/simulation/characters/CAIStaff.h"
#include "game/simulation/characters/CSpawnManager.h"
#include "game/simulation/objects/CBlockGrid.h"
#include "game/simulation/objects/CBlockGridStack.h"
#include "game/simulation/objects/CCell.h"
#include "game/simulation/objects/CDynamicObjectManager.h"
#include "game/simulation/objects/CGameHost.h"
#include "game/simulation/objects/CObjectQuery.h"
#include "game/simulation/objects/CPathableObject.h"
#include "game/simulation/objects/CPrisonStatistics.h"

#include <algorithm>
#include <cfloat>
#include <cstring>
#include <string>

namespace
{
CSpawnManager* Spawning()
{
    const CGameHost* pkHost = CGameHost::Get();
    return pkHost ? pkHost->GetSpawnManager() : nullptr;
}

bool IsMadeBy(const COrvaneGridEntity* pkObject, const char* pcFactory)
{
    const CDynamicObjectManager* pkManager = CDynamicObjectManager::GetExisting();
    return pkObject && pkManager && pkObject->GetTypeObject() &&
           pkObject->GetTypeObject() == pkManager->FactoryNamed(pcFactory);
}

// The cell whose footprint holds the block; null for any other block.
CCell* CellOfBlock(const COrvaneBlockGrid* pkGrid, std::int32_t iCell)
{
    const COrvaneBlock* pkBlock = pkGrid ? pkGrid->GetBlock(iCell) : nullptr;
    return pkBlock ? dynamic_cast<CCell*>(pkBlock->GetOccupant()) : nullptr;
}

void Play(CGameCharacter& kMe, const std::string& kName, bool bLoop)
{
    kMe.PlayAnimation(kName.c_str(), bLoop ? 1 : 0, 0.0f, 0, 1);
}

enum Choice
{
    CHOICE_WALK,
    CHOICE_CHARACTER,
    CHOICE_OBJECT,
    CHOICE_CONNECTOR,
    CHOICE_CELL,
};
} // namespace

CAIPrisoner::CAIPrisoner()
{
    CAIPrisoner::Reset();
}

CAIPrisoner::~CAIPrisoner()
{
    CAIPrisoner::Destroy();
}

void CAIPrisoner::Reset()
{
    m_fMoodTimer = 0.0f;
    m_ucEscaped = 0;
}

void CAIPrisoner::Destroy()
{
    CDynamicObjectManager* pkManager = CDynamicObjectManager::GetExisting();
    // At shut-down the registry may already have deleted the home.
    if (pkManager && m_pkHome && pkManager->IsLive(m_pkHome))
        if (auto* pkCell = dynamic_cast<CCell*>(m_pkHome))
            pkCell->RemovePrisoner(this);
    // Counted once: a second destroy (release, then the destructor) finds
    // the record gone.
    if (CPrisonStatistics* pkLedger = Ledger(); pkLedger && pkLedger->HoldsPrisoner(&m_kStats))
        pkLedger->RemovePrisoner(&m_kStats);
    // The waiting and parole lists only link their prisoners.
    if (CSpawnManager* pkSpawn = Spawning())
    {
        pkSpawn->m_kWaitingPrisoners.remove(this);
        pkSpawn->m_kParoleCandidates.remove(this);
    }
    CAIPrisoner::Reset();
    CGameCharacter::Destroy();
}

int CAIPrisoner::YearsServed() const
{
    return static_cast<int>(CurrentYear()) - static_cast<int>(m_kStats.m_usArrivalYear);
}

// ---------------------------------------------------------------- creation

int CAIPrisoner::Load(COrvaneObjectDesc& kDesc)
{
    const int iResult = CGameCharacter::Load(kDesc);
    const CPrisonStatistics* pkLedger = Ledger();
    const int iHighest = pkLedger ? pkLedger->m_usHighestCellLevel : 0;
    const int iLevel = NiRand() % (iHighest + 1);
    m_kStats.m_usSecurityLevel = static_cast<std::uint16_t>(iLevel);
    m_kStats.m_usArrivalYear = CurrentYear();
    m_kStats.m_uiMood = MOOD_INDIFFERENT;
    m_kStats.m_usMoodIntensity = 3;
    m_kStats.m_usTerm = static_cast<std::uint16_t>((NiRand() % 10 + 1) * (iLevel + 1));
    if (NiRand() % (iLevel + 2) != 0)
        m_kStats.m_uiGang = static_cast<std::uint32_t>(NiRand() % 3);
    if (iLevel == 3)
        SetPickable(false);
    return iResult;
}

void CAIPrisoner::ApplyState(const COrvaneIOState& kState)
{
    CGameCharacter::ApplyState(kState);
    if (CPrisonStatistics* pkLedger = Ledger(); pkLedger && !pkLedger->HoldsPrisoner(&m_kStats))
        pkLedger->RegisterPrisoner(&m_kStats);
}

void CAIPrisoner::ResolveReferences()
{
    CGameCharacter::ResolveReferences();
    if (!m_pkHome)
        if (CSpawnManager* pkSpawn = Spawning())
            pkSpawn->AddWaitingPrisoner(this);
}

void CAIPrisoner::SetStats(const CCharacterStats& kStats)
{
    CGameCharacter::SetStats(kStats);
    if (m_kStats.m_usSecurityLevel == 3)
        SetPickable(false);
}

// -------------------------------------------------------------------- mood

void CAIPrisoner::SetMood(std::uint32_t uiMood, bool bForced)
{
    const std::uint32_t uiNow = m_kStats.m_uiMood;
    if (!bForced && (uiNow == MOOD_HUNGRY || (uiNow == MOOD_INJURED && m_kStats.m_usHealth <= 49)))
        return;
    m_kStats.m_uiMood = uiMood;
    m_kStats.m_usMoodIntensity = uiMood == MOOD_INJURED ? 0 : 2;
}

void CAIPrisoner::UpdateHook()
{
    m_fMoodTimer += GetLastTimeStep();
    if (m_fMoodTimer < MOOD_DECAY_SECONDS)
        return;
    m_fMoodTimer = 0.0f;
    if (m_kStats.m_usMoodIntensity != 0)
    {
        --m_kStats.m_usMoodIntensity;
        return;
    }
    switch (m_kStats.m_uiMood)
    {
    case MOOD_HAPPY:
        SetMood(MOOD_INDIFFERENT, false);
        break;
    case MOOD_INDIFFERENT:
        SetMood(MOOD_BORED, false);
        break;
    case MOOD_BORED:
        SetMood(MOOD_ANGRY, false);
        break;
    default:
        break;
    }
}

void CAIPrisoner::Update(float fDt)
{
    CGameCharacter::Update(fDt);
    const CGameHost* pkHost = CGameHost::Get();
    if (!pkHost || IsGone())
        return;
    const CClockState kClock = pkHost->GetClock();
    const int iLevel = m_kStats.m_usSecurityLevel;
    if (kClock.HasHourBegun(12) && iLevel != 3)
        SetMood(MOOD_HUNGRY, false);
    CPrisonStatistics* pkLedger = Ledger();
    if (iLevel == 3 && pkLedger && pkLedger->m_usExecutionRooms > 0 && m_kStats.m_usTerm <= YearsServed() + 1)
        pkLedger->AnnounceExecution();
    if (kClock.HasHourChanged())
    {
        const int iOrder = pkLedger ? pkLedger->m_iOrder : 0;
        if (iOrder < NiRand() % 950 && NiRand() % (iLevel + 1) != 0)
            SetMood(MOOD_ANGRY, false);
    }
}

// ---------------------------------------------------------------- choices

bool CAIPrisoner::ChooseWanderTarget()
{
    Choice eChoice = CHOICE_WALK;
    if (m_kStats.m_usSecurityLevel == 3 && m_pkHome)
    {
        eChoice = CHOICE_CELL;
    }
    else
    {
        switch (m_kStats.m_uiMood)
        {
        case MOOD_HAPPY:
        case MOOD_BORED:
        case MOOD_HUNGRY:
        case MOOD_INJURED:
            eChoice = CHOICE_OBJECT;
            break;
        case MOOD_INDIFFERENT:
            eChoice = NiRand() % 2 != 0 ? CHOICE_OBJECT : static_cast<Choice>(NiRand() % 5);
            break;
        case MOOD_ANGRY:
            eChoice = FindNearbyGuard() ? CHOICE_WALK : CHOICE_CHARACTER;
            break;
        default:
            break;
        }
    }
    const COrvaneBlock* pkHere = m_pkGrid ? m_pkGrid->GetBlock(m_iCurrentCell) : nullptr;
    const bool bStandsWell = pkHere && pkHere->IsWalkable();
    if (GetFailedWalks() < 3)
    {
        switch (eChoice)
        {
        case CHOICE_CHARACTER:
            if (bStandsWell && FindCharacterToServe())
                return true;
            break;
        case CHOICE_OBJECT:
            if (bStandsWell && FindObjectForMood())
                return true;
            break;
        case CHOICE_CELL:
            if (auto* pkHome = dynamic_cast<CPathableObject*>(m_pkHome))
            {
                SetPreviousTarget(nullptr);
                if (ReserveUseOf(pkHome))
                    return true;
            }
            break;
        case CHOICE_CONNECTOR:
            if (TargetRandomConnector())
                return true;
            return CGameCharacter::ChooseWanderTarget();
        default:
            break;
        }
    }
    const auto* pkFloor = dynamic_cast<const CBlockGrid*>(m_pkGrid);
    const bool bInBuilding = pkFloor && pkFloor->GetStack() && pkFloor->GetStack()->GetOwner();
    if (!bInBuilding || NiRand() % 2 == 0)
        return CGameCharacter::ChooseWanderTarget();
    return TargetRandomConnector() || CGameCharacter::ChooseWanderTarget();
}

bool CAIPrisoner::FindObjectForMood()
{
    const std::uint32_t uiMood = m_kStats.m_uiMood;
    const char* pcFactory = uiMood == MOOD_HUNGRY    ? "FoodObjectFactory"
                            : uiMood == MOOD_HAPPY   ? "WorkObjectFactory"
                            : uiMood == MOOD_INJURED ? "HospitalObjectFactory"
                                                     : "PathableObjectFactory";
    CObjectQuery kQuery;
    kQuery.m_pkSkip = dynamic_cast<const COrvaneObject*>(GetPreviousTarget());
    kQuery.m_pkSeeker = this;
    kQuery.m_fMaxDistanceSquared = 225.0f;
    bool bFound = false;
    if (CBaseObject* pkObject = FirstObjectOn(dynamic_cast<CBlockGrid*>(m_pkGrid), pcFactory, kQuery))
    {
        bFound = ReserveUseOf(pkObject);
        if (!bFound)
        {
            SetPreviousTarget(pkObject);
            SetTargetObject(nullptr);
        }
    }
    else if (NiRand() % 4 != 0)
    {
        CObjectQuery kWide = kQuery;
        kWide.m_fMaxDistanceSquared = 0.0f;
        kWide.m_ucNearestOnly = 1;
        kWide.m_fBestDistance = FLT_MAX;
        bFound = ReserveUseOf(NearestObject(pcFactory, kWide, true));
    }
    if (bFound)
        return true;
    if (CPrisonStatistics* pkLedger = Ledger())
    {
        if (uiMood == MOOD_HUNGRY)
            pkLedger->ReportNoFood();
        else if (uiMood == MOOD_HAPPY)
            pkLedger->ReportNoWork();
        else if (uiMood == MOOD_INJURED)
            pkLedger->ReportNoHospital();
        else if (uiMood == MOOD_BORED)
            pkLedger->ReportShortage();
    }
    return false;
}

bool CAIPrisoner::FindCharacterToServe()
{
    CObjectQuery kQuery;
    kQuery.m_pkSkip = GetPreviousPartner();
    kQuery.m_pkSeeker = this;
    kQuery.m_fMaxDistanceSquared = 225.0f;
    CGameCharacter* pkFound = FindPartner("PrisonerFactory", kQuery, false);
    if (!pkFound)
        return false;
    SetPartner(pkFound);
    m_iDestination = pkFound->GetCurrentCell();
    return true;
}

namespace
{
// What a seeker is to a prisoner asked to answer it.
enum SeekerKind : std::int32_t
{
    SEEKER_OTHER,
    SEEKER_PRISONER,
    SEEKER_SECURITY,
    SEEKER_MEDICAL,
    SEEKER_SUPPORT,
};

SeekerKind KindOf(const CGameCharacter& kSeeker)
{
    if (dynamic_cast<const CAIPrisoner*>(&kSeeker))
        return SEEKER_PRISONER;
    if (dynamic_cast<const CAISecurity*>(&kSeeker))
        return SEEKER_SECURITY;
    if (dynamic_cast<const CAIMedical*>(&kSeeker))
        return SEEKER_MEDICAL;
    if (dynamic_cast<const CAISupportStaff*>(&kSeeker))
        return SEEKER_SUPPORT;
    return SEEKER_OTHER;
}
} // namespace

CGameCharacter* CAIPrisoner::IsCandidateFor(CObjectQuery& kQuery)
{
    const CGameCharacter* pkSeeker = SeekerOf(kQuery);
    if (!pkSeeker || pkSeeker->GetGrid() != m_pkGrid)
        return nullptr;
    if (kQuery.m_iSeekerKind < 0)
        kQuery.m_iSeekerKind = KindOf(*pkSeeker);
    const std::int32_t iKind = kQuery.m_iSeekerKind;
    if (iKind == SEEKER_PRISONER)
    {
        const auto* pkPrisoner = static_cast<const CAIPrisoner*>(pkSeeker);
        const std::uint32_t uiGang = m_kStats.m_uiGang;
        if (pkPrisoner->IsAngry() && uiGang != 0 && uiGang == pkPrisoner->m_kStats.m_uiGang)
            return nullptr;
    }
    else if (!kQuery.m_ucNearestOnly)
    {
        const std::uint32_t uiMood = m_kStats.m_uiMood;
        if ((iKind == SEEKER_SECURITY && uiMood != MOOD_ANGRY) || (iKind == SEEKER_MEDICAL && uiMood != MOOD_INJURED) ||
            (iKind == SEEKER_SUPPORT && uiMood != MOOD_BORED))
            return nullptr;
    }
    return CGameCharacter::IsCandidateFor(kQuery);
}

CAISecurity* CAIPrisoner::FindNearbyGuard()
{
    const CDynamicObjectManager* pkManager = CDynamicObjectManager::GetExisting();
    auto* pkFloor = dynamic_cast<CBlockGrid*>(m_pkGrid);
    const COrvaneBase* pkFactory = pkManager ? pkManager->FactoryNamed("SecurityGuardFactory") : nullptr;
    const std::vector<COrvaneGridEntity*>* pkGuards = pkFloor ? pkFloor->FindGroup(pkFactory, true) : nullptr;
    if (!pkGuards)
        return nullptr;
    CObjectQuery kQuery;
    kQuery.m_pkFactory = pkFactory;
    kQuery.m_pkSeeker = this;
    kQuery.m_fMaxDistanceSquared = 100.0f;
    for (COrvaneGridEntity* pkEntity : *pkGuards)
        if (auto* pkGuard = dynamic_cast<CAISecurity*>(pkEntity); pkGuard && !pkGuard->IsGone())
            if (pkGuard->IsCandidateFor(kQuery))
                return pkGuard;
    return nullptr;
}

bool CAIPrisoner::IsCellFree(const COrvaneBlockGrid* pkGrid, std::int32_t iCell) const
{
    const COrvaneBlock* pkBlock = pkGrid && pkGrid->IsValidCell(iCell, true) ? pkGrid->GetBlock(iCell) : nullptr;
    if (const CCell* pkCell = CellOfBlock(pkGrid, iCell); pkCell && pkBlock && pkBlock->IsWalkable() &&
                                                          pkCell->GetRequiredLevel() >= m_kStats.m_usSecurityLevel &&
                                                          pkCell->GetPrisoners().size() < pkCell->GetRecord().m_usPlaces)
        return true;
    return CGameCharacter::IsCellFree(pkGrid, iCell);
}

void CAIPrisoner::SetHome(CBaseObject* pkHome)
{
    if (m_pkHome || !pkHome)
        return;
    CGameCharacter::SetHome(pkHome);
    if (auto* pkCell = dynamic_cast<CCell*>(pkHome))
        pkCell->AddPrisoner(this);
}

void CAIPrisoner::OnDropped(bool bPlayPause)
{
    const NiVec3* pkAt = GetModelPosition();
    CCell* pkCell = pkAt && m_pkGrid ? CellOfBlock(m_pkGrid, m_pkGrid->CellAt(*pkAt)) : nullptr;
    if (pkCell && pkCell->GetRequiredLevel() >= m_kStats.m_usSecurityLevel &&
        pkCell->GetPrisoners().size() < pkCell->GetRecord().m_usPlaces)
    {
        NiVec3 kEntry;
        if (pkCell->GetGrid() && pkCell->GetGrid()->CellPosition(pkCell->GetAccessCell(0), kEntry, true))
            PlaceAt(kEntry, pkCell->GetGrid());
        if (auto* pkOld = dynamic_cast<CCell*>(m_pkHome))
            pkOld->RemovePrisoner(this);
        else if (CSpawnManager* pkSpawn = Spawning())
            pkSpawn->RemoveWaitingPrisoner(this);
        m_pkHome = nullptr;
        SetHome(pkCell);
        if (CGameHost* pkHost = CGameHost::Get())
            pkHost->PostMessage(MESSAGE_MOVED_TO_CELL);
    }
    CGameCharacter::OnDropped(bPlayPause);
}

// ------------------------------------------------------------ animations

void CAIPrisoner::PlayPauseAnimation()
{
    PlayAnimation(NiRand() % 2 == 0 ? "pause2" : "pause1", 0, 0.0f, 0, 1);
}

void CAIPrisoner::PlayWalkAnimation()
{
    const std::uint32_t uiMood = m_kStats.m_uiMood;
    if (uiMood == MOOD_HAPPY || uiMood == MOOD_INJURED)
    {
        m_fSpeed = 1.0f + 0.05f * static_cast<float>(NiRand() % 5);
        PlayAnimation(uiMood == MOOD_HAPPY ? "walk2" : "limp", 1, 0.0f, 0, 1);
        return;
    }
    m_fSpeed = 1.25f + 0.05f * static_cast<float>(NiRand() % 5);
    CGameCharacter::PlayWalkAnimation();
}

// ----------------------------------------------------------------- bouts

bool CAIPrisoner::Interact(CGameCharacter* pkPartner)
{
    if (GetControllerTimer() <= 0.0f)
        SetControllerTimer(5.0f);
    const float fTimer = GetControllerTimer();
    CGameHost* pkHost = CGameHost::Get();
    std::string kAnimation;
    if (IsAngry() && fTimer > 1.0f)
    {
        if (CAISecurity* pkGuard = FindNearbyGuard())
        {
            // A guard is near: no fight. A partner that lets go stands
            // and the guard comes over; one that does not is simply
            // dropped, and the bout is refused either way.
            const bool bReleased = pkPartner && pkPartner->ReleasePartner(this);
            if (bReleased)
                pkPartner->PlayPauseAnimation();
            ClearPath();
            ResetAIState();
            SetPartner(nullptr);
            SetController("wander", true, true);
            SetFree(true);
            if (bReleased)
                pkGuard->Summon(this);
            SetControllerTimer(0.0f);
            return false;
        }
        if (fTimer == 5.0f && pkHost)
            pkHost->PlaySample(SAMPLE_FIGHT, 255);
        kAnimation = "fight" + std::to_string(NiRand() % 3 + 1) + "_a";
    }
    else if (IsAngry())
    {
        kAnimation = "knockdown1_a";
        if (CPrisonStatistics* pkLedger = Ledger())
        {
            ++pkLedger->m_usKnockdowns;
            ++pkLedger->m_usTodayKnockdowns;
            pkLedger->AddOrder(-1);
        }
        ++m_kStats.m_usKnockdowns;
    }
    else
    {
        if (fTimer == 5.0f && pkHost)
            pkHost->PlaySample(SAMPLE_TALK, 255);
        kAnimation = "talk" + std::to_string(NiRand() % 4 + 1) + "_a";
    }
    Play(*this, kAnimation, true);
    return true;
}

void CAIPrisoner::Recover(CGameCharacter* pkUser)
{
    auto Hurt = [this](const char* pcAnimation) {
        const int iDamage = std::min(NiRand() % 25 + 10, static_cast<int>(m_kStats.m_usHealth));
        m_kStats.m_usHealth = static_cast<std::uint16_t>(m_kStats.m_usHealth - iDamage);
        PlayAnimation(pcAnimation, 0, 0.0f, 0, 1);
    };
    if (auto* pkPrisoner = dynamic_cast<CAIPrisoner*>(pkUser))
    {
        if (pkPrisoner->IsAngry())
        {
            Hurt("recover");
            if (m_kStats.m_usHealth < 50)
                SetMood(MOOD_INJURED, true);
            else
                SetMood(MOOD_ANGRY, false);
        }
    }
    else if (dynamic_cast<CAISecurity*>(pkUser))
    {
        Hurt("grecover");
        if (m_kStats.m_usHealth < 50)
            SetMood(MOOD_INJURED, true);
        else
            SetMood(MOOD_INDIFFERENT, false);
    }
    else if (dynamic_cast<CAIMedical*>(pkUser))
    {
        const int iGap = 100 - std::min<int>(m_kStats.m_usHealth, 100);
        int iHealth = m_kStats.m_usHealth;
        if (NiRand() % 25 + 25 < iGap)
            iHealth += iGap;
        else
            iHealth += NiRand() % 25 + 25;
        // Healing never lifts anyone above full health.
        m_kStats.m_usHealth = static_cast<std::uint16_t>(std::min(iHealth, 100));
        if (m_kStats.m_usHealth > 49)
            SetMood(MOOD_INDIFFERENT, true);
    }
    else if (pkUser)
    {
        SetMood(MOOD_HAPPY, false);
    }
    SetControllerTimer(0.0f);
}

void CAIPrisoner::OnPartnerTask()
{
    CPathableObject* pkObject = GetTargetPathable();
    if (!pkObject)
        return;
    const int iPrice = pkObject->GetRecord().m_usPrice;
    const int iP = iPrice / 100;
    CPrisonStatistics* pkLedger = Ledger();
    auto Wear = [this, pkObject] { pkObject->AdjustAttraction(-(static_cast<int>(m_kStats.m_usSecurityLevel) + 1)); };
    if (IsMadeBy(pkObject, "WorkObjectFactory"))
    {
        m_kStats.m_usWage = static_cast<std::uint16_t>(m_kStats.m_usWage + iP);
        ++m_kStats.m_usWorkCount;
        if (pkLedger)
        {
            pkLedger->m_iWorkIncome += iPrice / 5;
            pkLedger->AddOrder(1);
        }
        Wear();
        SetMood(iP > NiRand() % 100 ? MOOD_INDIFFERENT : MOOD_BORED, false);
    }
    else if (IsMadeBy(pkObject, "HospitalObjectFactory"))
    {
        m_kStats.m_usHealth = 100;
        Wear();
        SetMood(iP > NiRand() % 100 ? MOOD_INDIFFERENT : MOOD_BORED, true);
    }
    else if (IsMadeBy(pkObject, "FoodObjectFactory"))
    {
        if (pkLedger)
            pkLedger->m_iFoodCosts += NiRand() % 10 + 10;
        Wear();
        SetMood(MOOD_HAPPY, true);
    }
    else
    {
        Wear();
        SetMood(iP > NiRand() % 100 ? MOOD_HAPPY : MOOD_INDIFFERENT, false);
    }
}

// ------------------------------------------------------------ departures

void CAIPrisoner::Escape()
{
    if (m_ucEscaped || IsGone())
        return;
    ++m_kStats.m_usKnockdowns;
    m_ucEscaped = 1;
    SetGone();
    m_kStats.m_usWorkCount = 0;
    if (CPrisonStatistics* pkLedger = Ledger())
        pkLedger->RecordEscape();
}

void CAIPrisoner::ResolveSentenceEnd()
{
    if (IsGone())
        return;
    CPrisonStatistics* pkLedger = Ledger();
    SetGone();
    if (m_kStats.m_usSecurityLevel == 3 && pkLedger && pkLedger->m_usExecutionRooms > 0)
    {
        pkLedger->RecordPrisonerGone(CPrisonStatistics::GONE_EXECUTION);
        return;
    }
    if (m_kStats.m_usAge < 71 && (m_kStats.m_usWorkCount <= m_kStats.m_usKnockdowns || m_kStats.m_usHealth == 0))
    {
        if (CSpawnManager* pkSpawn = Spawning())
            pkSpawn->ReturnToRoster(this);
        if (pkLedger)
            ++pkLedger->m_usTodayCompleted;
        return;
    }
    if (pkLedger)
    {
        ++pkLedger->m_usPrisonersReleased;
        ++pkLedger->m_usTodayReleases;
        pkLedger->m_iOtherIncome += NiRand() % 10000 + 1;
        pkLedger->AddOrder(10);
        ++pkLedger->m_usTodayCompleted;
    }
}

void CAIPrisoner::FinishActivity()
{
    if (IsGone())
        return;
    const COrvaneAICharacterController* pkActive = GetActiveController();
    if (pkActive && pkActive->GetName() && std::strcmp(pkActive->GetName(), "objectUse") == 0)
        StopTargetAnimation();
    if (m_kStats.m_uiMood == MOOD_HUNGRY)
        SetMood(MOOD_ANGRY, true);
    else if (m_kStats.m_uiMood != MOOD_INJURED)
        SetMood(MOOD_INDIFFERENT, false);
    CPrisonStatistics* pkLedger = Ledger();
    if (m_kStats.m_usHealth == 0)
    {
        SetGone();
        if (pkLedger)
        {
            pkLedger->RecordPrisonerGone(CPrisonStatistics::GONE_DEATH);
            pkLedger->m_iIncidentCosts += NiRand() % 25000 + 1;
            pkLedger->AddOrder(-10);
        }
        return;
    }
    if (IsNewYear())
    {
        if (m_kStats.m_usTerm <= YearsServed())
        {
            ResolveSentenceEnd();
            return;
        }
        if (m_kStats.m_usAge > 75 && NiRand() % m_kStats.m_usAge != 75)
        {
            SetGone();
            if (pkLedger)
                pkLedger->RecordPrisonerGone(CPrisonStatistics::GONE_OTHER);
            return;
        }
    }
    const COrvaneBlock* pkHere = m_pkGrid ? m_pkGrid->GetBlock(m_iCurrentCell) : nullptr;
    const bool bAtHome = pkHere && m_pkHome && pkHere->GetOccupant() == m_pkHome;
    if (m_kStats.m_usSecurityLevel == 3 && m_pkHome && (bAtHome || !pkHere || !pkHere->IsWalkable()))
    {
        SetMood(MOOD_INDIFFERENT, true);
        SetPreviousPartner(nullptr);
    }
    else
    {
        Relocate();
        SetUseSlot(-1, -1);
        SetConnector(nullptr);
        SetPartner(nullptr);
        SetPreviousPartner(nullptr);
        SetTargetObject(nullptr);
        SetPreviousTarget(nullptr);
        const CPrisonStatistics::StaffGroup* pkGuards = pkLedger ? pkLedger->GetStaffGroup(0) : nullptr;
        if (NiRand() % 10 == 0 && pkGuards && pkGuards->m_usCount == 0)
        {
            Escape();
            if (CGameHost* pkHost = CGameHost::Get())
                pkHost->PostMessage(MESSAGE_ESCAPE);
        }
    }
    if (m_kStats.m_usSecurityLevel < 3 && !IsGone() && YearsServed() >= m_kStats.m_usTerm / 2)
        if (CSpawnManager* pkSpawn = Spawning())
            pkSpawn->ConsiderParole(this);
}
