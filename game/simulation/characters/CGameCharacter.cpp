#include "game/simulation/characters/CGameCharacter.h"

#include "engine/core/NiRandom.h"
#include "framework/COrvaneAICharacterController.h"
#include "framework/COrvaneApplication.h"
#include "framework/COrvaneCastMemo.h"
#include "framework/COrvaneGame.h"
#include "framework/COrvaneLocale.h"
#include "framework/COrvaneText.h"
#include "framework/COrvaneAIControllerManager.h"
#include "framework/COrvaneAnim.h"
#include "framework/COrvaneBlock.h"
#include "framework/COrvaneComposite.h"
#include "framework/COrvaneFile.h"
#include "framework/COrvaneGridObject.h"
#include "framework/COrvaneObjectDesc.h"
#include "framework/COrvaneObjectFactory.h"
#include "framework/COrvaneObjectTemplate.h"
#include "framework/COrvanePathSpline.h"
#include "framework/COrvaneSplineBase.h"
#include "framework/COrvaneWidget.h"
#include "game/simulation/characters/CSpawnManager.h"
#include "game/simulation/objects/CBaseObject.h"
#include "game/simulation/objects/CBlockGrid.h"
#include "game/simulation/objects/CBlockGridManager.h"
#include "game/simulation/objects/CBlockGridStack.h"
#include "game/simulation/objects/CCell.h"
#include "game/simulation/objects/CConnector.h"
#include "game/simulation/objects/CDynamicObjectManager.h"
#include "game/simulation/objects/CGameHost.h"
#include "game/simulation/objects/CObjectQuery.h"
#include "game/simulation/objects/CPathableObject.h"
#include "game/simulation/objects/CWorldObject.h"

#include <algorithm>
#include <cstring>
#include <sstream>

namespace
{
// A whole line as one decimal integer (a sign allowed); nothing else.
bool ParseWhole(const std::string& kText, long long& llValue)
{
    if (kText.empty() || kText.size() > 12)
        return false;
    std::size_t i = kText[0] == '-' ? 1 : 0;
    if (i == kText.size())
        return false;
    for (std::size_t j = i; j < kText.size(); ++j)
        if (kText[j] < '0' || kText[j] > '9')
            return false;
    llValue = std::stoll(kText);
    return true;
}

CBlockGrid* GridNumbered(std::int32_t iNumber)
{
    CBlockGridManager* pkGrids = CBlockGridManager::GetExisting();
    return pkGrids ? pkGrids->FindGrid(iNumber) : nullptr;
}

COrvaneAIControllerManager* Controllers()
{
    const CGameHost* pkHost = CGameHost::Get();
    return pkHost ? pkHost->GetControllerManager() : nullptr;
}

// Where the debugger line is drawn on the screen.
constexpr float DEBUG_TEXT_X = 20.0f;
constexpr float DEBUG_TEXT_Y = 50.0f;

CSpawnManager* Spawning()
{
    const CGameHost* pkHost = CGameHost::Get();
    return pkHost ? pkHost->GetSpawnManager() : nullptr;
}

const char* ModelName(const COrvaneObjectTemplate* pkTemplate, const COrvaneComposite* pkModel)
{
    (void)pkTemplate;
    const char* pcName = pkModel ? pkModel->GetName() : nullptr;
    return pcName ? pcName : "";
}

// A draw of rand() % n, or 0 without a draw for an empty list.
std::uint16_t DrawIndex(std::size_t uiCount)
{
    return uiCount == 0 ? 0 : static_cast<std::uint16_t>(static_cast<std::size_t>(NiRand()) % uiCount);
}

template <typename Call> void ForEachFloor(bool bBuildingsOnly, Call&& kCall)
{
    const CBlockGridManager* pkGrids = CBlockGridManager::GetExisting();
    if (!pkGrids)
        return;
    for (const std::unique_ptr<CBlockGridStack>& pkStack : pkGrids->GetStacks())
    {
        if (!pkStack || (bBuildingsOnly && !pkStack->GetOwner()))
            continue;
        for (std::size_t i = 0; i < pkStack->GetFloorSlots(); ++i)
            if (CBlockGrid* pkFloor = pkStack->GetFloor(i))
                if (!kCall(*pkFloor))
                    return;
    }
}

const COrvaneBase* FactoryNamed(const char* pcName)
{
    const CDynamicObjectManager* pkManager = CDynamicObjectManager::GetExisting();
    return pkManager ? pkManager->FactoryNamed(pcName) : nullptr;
}

float DrawSpeed()
{
    return 1.25f + 0.05f * static_cast<float>(NiRand() % 5);
}
} // namespace

CGameCharacterState::CGameCharacterState() = default;

CPrisonStatistics* CGameCharacter::Ledger()
{
    CDynamicObjectManager* pkManager = CDynamicObjectManager::GetExisting();
    return pkManager ? pkManager->GetStatistics() : nullptr;
}

std::uint16_t CGameCharacter::CurrentYear()
{
    const CGameHost* pkHost = CGameHost::Get();
    if (!pkHost)
        return 0;
    const CClockState kClock = pkHost->GetClock();
    return static_cast<std::uint16_t>(kClock.m_usYear + kClock.m_sYearOffset);
}

bool CGameCharacter::IsNewYear()
{
    const CGameHost* pkHost = CGameHost::Get();
    if (!pkHost)
        return false;
    const CClockState kClock = pkHost->GetClock();
    return kClock.m_ucDayRolled && kClock.m_usDay == 0;
}

CBaseObject* CGameCharacter::FirstObjectOn(CBlockGrid* pkGrid, const char* pcFactory, CObjectQuery& kQuery)
{
    const COrvaneBase* pkFactory = FactoryNamed(pcFactory);
    const std::vector<COrvaneGridEntity*>* pkGroup = pkGrid ? pkGrid->FindGroup(pkFactory, false) : nullptr;
    if (!pkGroup)
        return nullptr;
    kQuery.m_pkFactory = pkFactory;
    for (COrvaneGridEntity* pkEntity : *pkGroup)
        if (auto* pkObject = dynamic_cast<CBaseObject*>(pkEntity); pkObject && pkObject->MatchQuery(kQuery))
            return pkObject;
    return nullptr;
}

CBaseObject* CGameCharacter::NearestObject(const char* pcFactory, CObjectQuery& kQuery, bool bBuildingsOnly)
{
    const COrvaneBase* pkFactory = FactoryNamed(pcFactory);
    if (!pkFactory)
        return nullptr;
    kQuery.m_pkFactory = pkFactory;
    CBaseObject* pkBest = nullptr;
    ForEachFloor(bBuildingsOnly, [&](CBlockGrid& kFloor) {
        if (const std::vector<COrvaneGridEntity*>* pkGroup = kFloor.FindGroup(pkFactory, false))
            for (COrvaneGridEntity* pkEntity : *pkGroup)
                if (auto* pkObject = dynamic_cast<CBaseObject*>(pkEntity); pkObject && pkObject->MatchQuery(kQuery))
                    pkBest = pkObject;
        return true;
    });
    return pkBest;
}

bool CGameCharacter::ReserveUseOf(CBaseObject* pkObject)
{
    auto* pkUsable = dynamic_cast<CPathableObject*>(pkObject);
    std::int32_t iList = -1;
    std::int32_t iSlot = -1;
    if (!pkUsable || !pkUsable->FindFreeUseSlot(iList, iSlot) || !pkUsable->AssignUser(this, iList, iSlot))
        return false;
    SetTargetObject(pkUsable);
    SetUseSlot(static_cast<std::int16_t>(iList), static_cast<std::int16_t>(iSlot));
    m_iDestination = pkUsable->GetGrid() == m_pkGrid ? pkUsable->GetAccessCell(iList) : m_iCurrentCell;
    if (auto* pkFloor = dynamic_cast<CBlockGrid*>(pkUsable->GetGrid()))
        pkFloor->MoveMemberToEnd(pkUsable);
    return true;
}

CGameCharacter* CGameCharacter::FindPartner(const char* pcFactory, CObjectQuery& kQuery, bool bOwnGridOnly)
{
    const COrvaneBase* pkFactory = FactoryNamed(pcFactory);
    if (!pkFactory)
        return nullptr;
    kQuery.m_pkFactory = pkFactory;
    CGameCharacter* pkFound = nullptr;
    CBlockGrid* pkFoundOn = nullptr;
    auto Ask = [&](CBlockGrid& kFloor) {
        const std::vector<COrvaneGridEntity*>* pkGroup = kFloor.FindGroup(pkFactory, true);
        if (!pkGroup)
            return true;
        for (COrvaneGridEntity* pkEntity : *pkGroup)
        {
            static thread_local COrvaneCastMemo<CGameCharacter> s_kCast;
            auto* pkOther = s_kCast.Cast(pkEntity);
            if (!pkOther || pkOther->IsGone())
                continue;
            if (CGameCharacter* pkAnswer = pkOther->IsCandidateFor(kQuery))
            {
                pkFound = pkAnswer;
                pkFoundOn = &kFloor;
                // A nearest search looks at everyone; the first answer
                // ends any other.
                if (!kQuery.m_ucNearestOnly)
                    return false;
            }
        }
        return true;
    };
    if (bOwnGridOnly)
    {
        if (auto* pkOwn = dynamic_cast<CBlockGrid*>(m_pkGrid))
            Ask(*pkOwn);
    }
    else
    {
        ForEachFloor(false, Ask);
    }
    return pkFound ? (pkFoundOn->MoveMemberToEnd(pkFound), pkFound) : nullptr;
}

void CGameCharacter::StopTargetAnimation()
{
    CPathableObject* pkObject = GetTargetPathable();
    const COrvaneAnim* pkPlaying = pkObject ? pkObject->GetCurrentAnimation() : nullptr;
    if (!pkPlaying)
        return;
    pkObject->ApplyToModel(0);
    if (pkObject->GetModel() && pkPlaying->GetName())
        pkObject->GetModel()->StopSequence(pkPlaying->GetName());
}

bool CGameCharacter::TargetRandomConnector()
{
    auto* pkFloor = dynamic_cast<CBlockGrid*>(m_pkGrid);
    COrvaneGridMarker* pkConnector = pkFloor ? pkFloor->RandomConnector() : nullptr;
    if (!pkConnector)
        return false;
    SetConnector(pkConnector);
    m_iDestination = pkFloor->CellAt(pkConnector->m_kPosition);
    return true;
}
CGameCharacterState::~CGameCharacterState() = default;

CGameCharacter::CGameCharacter()
{
    m_kStats.Reset();
    CGameCharacter::Reset();
}

CGameCharacter::~CGameCharacter()
{
    CGameCharacter::Destroy();
}

void CGameCharacter::Reset()
{
    m_pkPortrait = nullptr;
    m_pkHome = nullptr;
    m_ucSkipUpdate = 0;
    m_ucPickable = 1;
}

void CGameCharacter::Destroy()
{
    // The hand tool lets go of a character that goes.
    if (CSpawnManager* pkSpawn = Spawning(); pkSpawn && pkSpawn->GetCarried() == this)
        pkSpawn->ClearCarry();
    // Others are told only while the registry lists them: while it goes
    // itself, everything goes and no link is followed.
    if (CDynamicObjectManager* pkManager = CDynamicObjectManager::GetExisting())
    {
        for (std::uint32_t i = 0; COrvaneObject* pkObject = pkManager->GetObjectAt(i); ++i)
            if (auto* pkOther = dynamic_cast<CGameCharacter*>(pkObject); pkOther && pkOther != this)
                pkOther->OnCharacterRemoved(this);
        // Nothing may keep a link to a character that is gone.
        CPathableObject* pkTarget = GetTargetPathable();
        if (pkTarget && pkManager->IsLive(pkTarget))
            pkTarget->ReleaseUser(this, GetUseSlotList(), GetUseSlot());
        if (m_pkHome && pkManager->IsLive(m_pkHome))
        {
            if (auto* pkCell = dynamic_cast<CCell*>(m_pkHome))
                pkCell->RemovePrisoner(this);
            else if (auto* pkPost = dynamic_cast<CPathableObject*>(m_pkHome))
                pkPost->RemoveStaffMember(this);
        }
    }
    if (auto* pkFloor = dynamic_cast<CBlockGrid*>(m_pkGrid))
        pkFloor->RemoveMember(this);
    m_kObjectReferences.clear();
    m_kPersonReferences.clear();
    m_kStats.Reset();
    m_kBlock.m_pkReferenceA = nullptr;
    m_kBlock.m_pkReferenceB = nullptr;
    m_kBlock.m_pkReference3 = nullptr;
    m_kBlock.m_pkReference4 = nullptr;
    m_kBlock.m_pkReference5 = nullptr;
    CGameCharacter::Reset();
    COrvaneAICharacter::Destroy();
}

void CGameCharacter::Release()
{
    Destroy();
    COrvaneAICharacter::Release();
}

CGameCharacter* CGameCharacter::GetPartner() const
{
    return static_cast<CGameCharacter*>(m_kBlock.m_pkReference3);
}

CGameCharacter* CGameCharacter::GetPreviousPartner() const
{
    return static_cast<CGameCharacter*>(m_kBlock.m_pkReference4);
}

CPathableObject* CGameCharacter::GetTargetPathable() const
{
    return dynamic_cast<CPathableObject*>(m_kBlock.m_pkReferenceA);
}

void CGameCharacter::SetUseSlot(std::int16_t sList, std::int16_t sSlot)
{
    m_kBlock.m_asValues[2] = sList;
    m_kBlock.m_asValues[1] = sSlot;
}

// ---------------------------------------------------------------- creation

int CGameCharacter::Load(COrvaneObjectDesc& kDesc)
{
    COrvaneAICharacter::Load(kDesc);
    SwitchController(FindControllerByName("wander"));
    m_kStats.m_usHeadTexture = static_cast<std::uint16_t>(NiRand() % GetHeadVariantCount() + 1);
    ApplyHead();
    if (const int iBodies = GetBodyVariantCount(); iBodies > 0)
        SetBodyTexture(NiRand() % iBodies + 1);
    m_fSpeed = DrawSpeed();
    const std::string kModel = ModelName(m_pkTemplate, m_pkModel);
    m_kStats.m_uiGender = kModel.find("female") != std::string::npos ? 1 : 0;
    const CSpawnManager* pkSpawn = Spawning();
    const std::size_t uiFirstNames =
        pkSpawn ? (m_kStats.m_uiGender ? pkSpawn->m_kFemaleNames.size() : pkSpawn->m_kMaleNames.size()) : 0;
    m_kStats.m_usFirstName = DrawIndex(uiFirstNames);
    m_kStats.m_usSurname = DrawIndex(pkSpawn ? pkSpawn->m_kSurnames.size() : 0);
    m_kStats.m_usStarSign = static_cast<std::uint16_t>(NiRand() % 12);
    if (CGameHost* pkHost = CGameHost::Get())
        m_kStats.m_usPersonNumber = pkHost->TakePersonNumber();
    if (kModel.find("old") != std::string::npos)
        m_kStats.m_usAge = static_cast<std::uint16_t>(60 + NiRand() % 11);
    else
        m_kStats.m_usAge = static_cast<std::uint16_t>(20 + NiRand() % 30);
    return 1;
}

void CGameCharacter::ApplyHead()
{
    if (m_pkModel)
        m_pkModel->SelectVariant("head", false, m_kStats.m_usHeadTexture);
    // The head sets are named by model file and hold the pictures in
    // variant order; variant 0 has none. A loaded model's name adds its
    // root node after a "|".
    const CSpawnManager* pkSpawn = Spawning();
    std::string kModel = ModelName(m_pkTemplate, m_pkModel);
    kModel.resize(std::min(kModel.size(), kModel.find('|')));
    m_pkPortrait = pkSpawn && m_kStats.m_usHeadTexture > 0 && !kModel.empty()
                       ? pkSpawn->FindHeadImage(kModel.c_str(), m_kStats.m_usHeadTexture - 1u)
                       : nullptr;
}

void CGameCharacter::DrawPortrait(float fX, float fY) const
{
    if (m_pkPortrait)
        m_pkPortrait->DrawIfVisible(fX, fY);
}

void CGameCharacter::SetBodyTexture(int iVariant)
{
    if (m_pkModel)
        m_pkModel->SelectVariant("body", false, iVariant);
}

void CGameCharacter::SetStats(const CCharacterStats& kStats)
{
    m_kStats = kStats;
    ApplyHead();
    if (const int iBodies = GetBodyVariantCount(); iBodies > 0)
        SetBodyTexture(NiRand() % iBodies + 1);
    m_kStats.m_usArrivalYear = std::min(m_kStats.m_usArrivalYear, CurrentYear());
    m_fSpeed = DrawSpeed();
}

void CGameCharacter::SetMood(std::uint32_t uiMood, bool)
{
    m_kStats.m_uiMood = uiMood;
    m_kStats.m_usMoodIntensity = 2;
}

// ------------------------------------------------------------------ update

void CGameCharacter::Update(float fDt)
{
    if (!m_ucSkipUpdate)
        COrvaneAICharacter::Update(fDt);
    if (m_iWalkMode == MODE_FOLLOWING && m_pkModel)
        m_afAngles[1] = m_pkModel->GetAccumulatedAngle();
    if (const CGameHost* pkHost = CGameHost::Get())
    {
        const CClockState kClock = pkHost->GetClock();
        if (kClock.m_ucDayRolled && kClock.m_usDay == 0)
            ++m_kStats.m_usAge;
    }
    m_ucSkipUpdate = 0;
}

void CGameCharacter::OnPathEnd()
{
    if (GetQueuedPathCount() > 0)
    {
        NextQueuedPath();
        return;
    }
    m_iWalkMode = MODE_INTERACTING;
}

void CGameCharacter::DestroySelf()
{
    CDynamicObjectManager* pkManager = CDynamicObjectManager::GetExisting();
    if (pkManager && !pkManager->IsPending(this))
        pkManager->DestroyObject(this, false);
}

void CGameCharacter::CheckPathBlocked()
{
    if (IsNextPointWalkable())
        return;
    Settle();
}

void CGameCharacter::Settle()
{
    ClearPath();
    ResetAIState();
    SetController("wander", true, true);
}

int CGameCharacter::ResetAIState()
{
    if (CPathableObject* pkTarget = GetTargetPathable())
        pkTarget->ReleaseUser(this, GetUseSlotList(), GetUseSlot());
    SetUseSlot(-1, -1);
    return COrvaneAICharacter::ResetAIState();
}

// ------------------------------------------------------------- controllers

COrvaneAICharacterController* CGameCharacter::FindControllerByName(const char* pcName) const
{
    COrvaneAIControllerManager* pkManager = Controllers();
    return pkManager && pcName ? pkManager->FindController(pcName) : nullptr;
}

int CGameCharacter::SetControllerByName(const char* pcName, int iForce, int iNow)
{
    return SetController(pcName, iForce != 0, iNow != 0) ? 1 : 0;
}

bool CGameCharacter::SetController(const char* pcName, bool bForce, bool bNow)
{
    if (!pcName)
        return false;
    const char* pcForced = bForce ? nullptr : GetForcedController();
    COrvaneAICharacterController* pkController = FindControllerByName(pcForced ? pcForced : pcName);
    if (bNow)
    {
        if (!pkController)
            return false;
        SwitchController(pkController);
        return true;
    }
    // An unknown name leaves no pending controller: no switch follows.
    SetPendingController(pkController);
    return pkController != nullptr;
}

bool CGameCharacter::BeUsedByCharacter(COrvaneAICharacter* pkUser)
{
    if (!IsFree() || !pkUser)
        return false;
    ResetAIState();
    ClearPath();
    SetPartner(dynamic_cast<CGameCharacter*>(pkUser));
    SetController("usedByCharacter", true, false);
    SetFree(false);
    m_iWalkMode = MODE_INTERACTING;
    PlayAnimation(NiRand() % 2 == 0 ? "pause2" : "pause1", 0, 0.0f, 0, 1);
    return true;
}

bool CGameCharacter::ReleasePartner(COrvaneAICharacter* pkOther)
{
    auto* pkPartner = dynamic_cast<CGameCharacter*>(pkOther);
    if (IsFree() || !pkPartner || GetPartner() != pkPartner)
        return false;
    Recover(pkPartner);
    SetPreviousPartner(pkPartner);
    SetController("wander", true, false);
    SetFree(true);
    ClearPath();
    ResetAIState();
    return true;
}

bool CGameCharacter::StepOffBlockedCell()
{
    if (!m_pkGrid)
        return false;
    const NiVec3* pkAt = GetModelPosition();
    if (!m_pkGrid->IsValidCell(m_iCurrentCell, true) && pkAt)
    {
        // Just off the grid's edge: back onto the nearest cell.
        float fBest = 0.0f;
        std::int32_t iBest = -1;
        const std::int32_t iCells = m_pkGrid->GetRows() * m_pkGrid->GetColumns();
        for (std::int32_t i = 0; i < iCells; ++i)
        {
            NiVec3 kCentre;
            if (!m_pkGrid->CellPosition(i, kCentre, true))
                continue;
            const float fDx = kCentre.x - pkAt->x;
            const float fDz = kCentre.z - pkAt->z;
            if (iBest < 0 || fDx * fDx + fDz * fDz < fBest)
            {
                fBest = fDx * fDx + fDz * fDz;
                iBest = i;
            }
        }
        NiVec3 kCentre;
        if (iBest < 0 || !m_pkGrid->CellPosition(iBest, kCentre, true))
            return false;
        PlaceAt(kCentre, m_pkGrid);
        m_iCurrentCell = iBest;
    }
    if (!m_pkGrid->IsValidCell(m_iCurrentCell, true))
        return false;
    const COrvaneBlock* pkHere = m_pkGrid->GetBlock(m_iCurrentCell);
    if (pkHere && pkHere->IsWalkable())
        return true;
    const std::int32_t iColumn = m_pkGrid->ColumnOf(m_iCurrentCell, true);
    const std::int32_t iRow = m_pkGrid->RowOf(m_iCurrentCell, true);
    for (std::int32_t iReach = 1; iReach <= 2; ++iReach)
        for (std::int32_t iDr = -iReach; iDr <= iReach; ++iDr)
            for (std::int32_t iDc = -iReach; iDc <= iReach; ++iDc)
            {
                const std::int32_t iR = iRow + iDr;
                const std::int32_t iC = iColumn + iDc;
                if (iR < 0 || iC < 0 || iR >= m_pkGrid->GetRows() || iC >= m_pkGrid->GetColumns())
                    continue;
                const std::int32_t iCell = m_pkGrid->CellIndex(iR, iC, true);
                const COrvaneBlock* pkBlock = m_pkGrid->GetBlock(iCell);
                NiVec3 kAt;
                if (pkBlock && pkBlock->IsWalkable() && m_pkGrid->CellPosition(iCell, kAt, true))
                {
                    PlaceAt(kAt, m_pkGrid);
                    m_iCurrentCell = iCell;
                    return true;
                }
            }
    return false;
}

bool CGameCharacter::ChooseWanderTarget()
{
    if (!m_pkGrid)
        return false;
    // A walk that ended inside an object's footprint (a place whose way out
    // ends at its door) or just past the grid's edge would leave the
    // character choosing for ever.
    if (!StepOffBlockedCell())
        return false;
    std::int32_t aiCount[2] = {NiRand() % 5 + 1, NiRand() % 5 + 1};
    const int aiStep[2] = {NiRand() % 2 != 0 ? -1 : 1, NiRand() % 2 != 0 ? -1 : 1};
    int iAxis = NiRand() % 2 != 0 ? 0 : 1; // 0 the column, 1 the row
    if (!m_pkGrid->IsValidCell(m_iCurrentCell, true))
        return false;
    std::int32_t aiAt[2] = {m_pkGrid->ColumnOf(m_iCurrentCell, true), m_pkGrid->RowOf(m_iCurrentCell, true)};
    const std::int32_t aiLimit[2] = {m_pkGrid->GetColumns() - 1, m_pkGrid->GetRows() - 1};
    std::int32_t iResult = -1;
    std::int32_t iReached = m_iCurrentCell;
    auto Passable = [this](std::int32_t iCell) {
        const COrvaneBlock* pkBlock = m_pkGrid->GetBlock(iCell);
        return pkBlock && pkBlock->IsWalkable();
    };
    while (Passable(iReached) && aiCount[0] + aiCount[1] > 0)
    {
        if (aiCount[iAxis]-- > 0)
            aiAt[iAxis] += aiStep[iAxis];
        if (aiCount[1 - iAxis] > 0)
            iAxis = 1 - iAxis;
        for (int i = 0; i < 2; ++i)
            aiAt[i] = std::clamp(aiAt[i], 0, std::max(aiLimit[i], 0));
        iReached = m_pkGrid->CellIndex(aiAt[1], aiAt[0], true);
        if (!m_pkGrid->IsValidCell(iReached, true) || !Passable(iReached))
            break;
        iResult = iReached;
    }
    if (iResult < 0)
        return false;
    m_iDestination = iResult;
    return true;
}

// ---------------------------------------------------------------- placing

void CGameCharacter::PlaceAt(const NiVec3& kPosition, COrvaneBlockGrid* pkGrid)
{
    SetPosition(kPosition, 0);
    if (m_pkModel)
    {
        // Applying the move only sets the model's local placement; the cell
        // is read from its world placement, which the scene refreshes at its
        // next update. Refresh it here, or the character's cell stays the one
        // it left until then.
        m_pkModel->Update(0.0f);
        m_pkModel->UpdateNode(0.0f);
    }
    SetGrid(pkGrid);
}

void CGameCharacter::Relocate()
{
    // One held in an interaction by this character waits for it to let go,
    // which a character sent away never does: let go before forgetting it.
    if (CGameCharacter* pkPartner = GetPartner(); pkPartner && pkPartner->GetPartner() == this)
        (void)pkPartner->ReleasePartner(this);
    ClearPath();
    ResetAIState();
    SetPreviousPartner(nullptr);
    auto* pkHome = dynamic_cast<CPathableObject*>(m_pkHome);
    NiVec3 kAt;
    if (pkHome && pkHome->GetGrid() && pkHome->GetGrid()->CellPosition(pkHome->GetAccessCell(0), kAt, true))
    {
        SetTargetObject(pkHome);
        PlaceAt(kAt, pkHome->GetGrid());
    }
    else
    {
        CBlockGrid* pkOutside = GridNumbered(1);
        const CSpawnManager* pkSpawn = Spawning();
        bool bFound = false;
        if (pkSpawn && pkSpawn->m_pkArrivalPath && pkSpawn->m_pkArrivalPath->m_pkSpline)
            bFound = pkSpawn->m_pkArrivalPath->m_pkSpline->GetEndPosition(kAt);
        if (!bFound && pkOutside)
            bFound = pkOutside->CellPosition(0, kAt, true) != nullptr;
        // Without a road and without the outside grid there is nowhere to
        // go: the character stays where it is.
        if (bFound)
            PlaceAt(kAt, pkOutside);
    }
    SetController("wander", true, true);
    m_iWalkMode = MODE_INTERACTING;
}

void CGameCharacter::ReturnToCell(std::int32_t iGridNumber, std::int32_t iCell)
{
    if (CGameCharacter* pkPartner = GetPartner())
    {
        pkPartner->ClearPath();
        pkPartner->ResetAIState();
        pkPartner->SetController("wander", true, true);
    }
    CBlockGrid* pkGrid = GridNumbered(iGridNumber);
    SetGrid(pkGrid);
    if (pkGrid)
    {
        const COrvaneBlock* pkBlock = pkGrid->GetBlock(iCell);
        COrvaneBase* pkHolder = pkBlock ? pkBlock->GetOccupant() : nullptr;
        if (auto* pkObject = dynamic_cast<CBaseObject*>(pkHolder))
        {
            if (auto* pkBuilding = dynamic_cast<CWorldObject*>(pkObject))
                iCell = pkBuilding->GetEntrances().empty() ? -1 : pkBuilding->GetEntrances().front()->m_iCell;
            else if (auto* pkPathable = dynamic_cast<CPathableObject*>(pkObject))
                iCell = pkPathable->GetAccessCell(0);
        }
    }
    NiVec3 kAt;
    if (pkGrid && pkGrid->CellPosition(iCell, kAt, true))
        PlaceAt(kAt, pkGrid);
    else
        Relocate();
    PlayPauseAnimation();
    Settle();
}

void CGameCharacter::OnDropped(bool bPlayPause)
{
    if (bPlayPause)
        PlayPauseAnimation();
    Settle();
}

void CGameCharacter::PrepareForCarry()
{
    if (GetUseSlot() >= 0)
        if (CPathableObject* pkTarget = GetTargetPathable())
            pkTarget->ReleaseUser(this, GetUseSlotList(), GetUseSlot());
    if (CGameCharacter* pkPartner = GetPartner())
    {
        pkPartner->PlayPauseAnimation();
        pkPartner->ClearPath();
        pkPartner->ResetAIState();
        pkPartner->SetFree(true);
        pkPartner->SetController("wander", true, true);
        SetPartner(nullptr);
    }
    const COrvaneBlock* pkHere = m_pkGrid ? m_pkGrid->GetBlock(m_iCurrentCell) : nullptr;
    if (m_pkGrid && !(pkHere && pkHere->IsWalkable()))
    {
        std::int32_t iCell = -1;
        if (const COrvaneGridMarker* pkConnector = GetConnector())
            iCell = m_pkGrid->CellAt(pkConnector->m_kPosition);
        else if (CPathableObject* pkTarget = GetTargetPathable(); pkTarget && pkTarget->GetGrid() == m_pkGrid)
            iCell = pkTarget->GetAccessCell(GetUseSlotList());
        if (iCell >= 0)
            m_iCurrentCell = iCell;
    }
    PlayPauseAnimation();
    Settle();
}

bool CGameCharacter::IsCellFree(const COrvaneBlockGrid* pkGrid, std::int32_t iCell) const
{
    if (!pkGrid || !pkGrid->IsValidCell(iCell, true))
        return false;
    const COrvaneBlock* pkBlock = pkGrid->GetBlock(iCell);
    return pkBlock && pkBlock->IsWalkable();
}

bool CGameCharacter::CanDropOn(const COrvaneBlockGrid* pkGrid) const
{
    if (!pkGrid)
        return false;
    const CBlockGridManager* pkGrids = CBlockGridManager::GetExisting();
    return pkGrids && IsCellFree(pkGrid, pkGrid->CellAt(pkGrids->GetPickPoint()));
}

void CGameCharacter::SetHome(CBaseObject* pkHome)
{
    if (!m_pkHome)
        m_pkHome = pkHome;
}

void CGameCharacter::CopyHomeToTarget()
{
    SetTargetObject(m_pkHome);
}

void CGameCharacter::SetGrid(COrvaneBlockGrid* pkGrid)
{
    if (auto* pkOld = dynamic_cast<CBlockGrid*>(m_pkGrid); pkOld && pkOld != pkGrid && pkOld->IsMember(this))
    {
        pkOld->RemoveMember(this);
        SetModelHidden(true);
    }
    if (auto* pkNew = dynamic_cast<CBlockGrid*>(pkGrid))
    {
        if (!pkNew->IsMember(this))
            pkNew->AddMember(this);
        const CWorldObject* pkBuilding = CWorldObject::FindOwnerOf(pkNew);
        const CBlockGridStack* pkStack = pkNew->GetStack();
        const CGameHost* pkHost = CGameHost::Get();
        const COrvaneBlockGrid* pkViewed = pkStack ? pkStack->GetCurrentFloor() : nullptr;
        if (!pkBuilding || !pkBuilding->HasInteriorFloors() ||
            (pkHost && pkHost->GetSelectedBuilding() == pkBuilding && pkViewed && pkNew->GetId() <= pkViewed->GetId()))
            SetModelHidden(false);
    }
    COrvaneAICharacter::SetGrid(pkGrid);
}

bool CGameCharacter::StandsWhereALoadKeepsIt() const
{
    // A user standing in its object's place is where it belongs, though the
    // object's cells do not let walkers through. Only the object use's
    // record keeps the place (one on its way there gets it afresh).
    const CPathableObject* pkUsed = GetTargetPathable();
    const COrvaneAICharacterController* pkActive = GetActiveController();
    if (pkUsed && pkActive && pkActive == FindControllerByName("objectUse") &&
        pkUsed->IsUserAt(this, GetUseSlotList(), GetUseSlot()))
        return true;
    // The cell under the model, as a load finds it: the current cell is
    // the one of the last update, before that update's step.
    const NiVec3* pkAt = GetModelPosition();
    const std::int32_t iCell = m_pkGrid && pkAt ? m_pkGrid->CellAt(*pkAt) : m_iCurrentCell;
    const COrvaneBlock* pkHere = m_pkGrid ? m_pkGrid->GetBlock(iCell) : nullptr;
    return m_pkGrid && m_pkGrid->IsValidCell(iCell, true) && pkHere && pkHere->IsWalkable();
}

bool CGameCharacter::IsPositionValid() const
{
    const NiVec3* pkPosition = GetModelPosition();
    return m_pkGrid && pkPosition && m_pkGrid->IsValidCell(m_pkGrid->CellAt(*pkPosition), true);
}

bool CGameCharacter::IsTargetCellWalkable() const
{
    if (!m_pkGrid || m_iDestination < 0)
        return false;
    const COrvaneBlock* pkBlock = m_pkGrid->GetBlock(m_iDestination);
    return pkBlock && pkBlock->IsWalkable();
}

// ------------------------------------------------------------- animations

void CGameCharacter::PlayPauseAnimation()
{
    PlayAnimation("pause", 1, 0.0f, 0, 1);
}

void CGameCharacter::PlayWalkAnimation()
{
    PlayAnimation("walk", 1, 0.0f, 0, 1);
}

bool CGameCharacter::Interact(CGameCharacter*)
{
    if (!(m_kBlock.m_fControllerTimer > 0.0f))
        m_kBlock.m_fControllerTimer = 1.0f;
    PlayAnimation("fight1_a", 1, 0.0f, 0, 1);
    return true;
}

const CGameCharacter* CGameCharacter::SeekerOf(CObjectQuery& kQuery)
{
    if (kQuery.m_pkSeekerSeen != kQuery.m_pkSeeker)
    {
        kQuery.m_pkSeekerSeen = kQuery.m_pkSeeker;
        kQuery.m_pkSeekerPerson = dynamic_cast<const CGameCharacter*>(kQuery.m_pkSeeker);
        kQuery.m_iSeekerKind = -1;
    }
    return kQuery.m_pkSeekerPerson;
}

CGameCharacter* CGameCharacter::IsCandidateFor(CObjectQuery& kQuery)
{
    const CGameCharacter* pkAsker = SeekerOf(kQuery);
    if (this == pkAsker || this == kQuery.m_pkSkip || !IsFree() || !pkAsker ||
        pkAsker->GetGrid() != m_pkGrid || !IsPositionValid())
        return nullptr;
    const NiVec3* pkMine = GetModelPosition();
    const NiVec3* pkTheirs = pkAsker->GetModelPosition();
    if (!pkMine || !pkTheirs)
        return nullptr;
    const NiVec3 kDelta = *pkMine - *pkTheirs;
    if (kQuery.m_fMaxDistanceSquared > 0.0f)
    {
        const float fGround = kDelta.x * kDelta.x + kDelta.z * kDelta.z;
        if (fGround > kQuery.m_fMaxDistanceSquared || fGround < MIN_PARTNER_DISTANCE_SQUARED)
            return nullptr;
    }
    if (kQuery.m_ucNearestOnly)
    {
        const float fFull = kDelta.Dot(kDelta);
        if (!(fFull < kQuery.m_fBestDistance))
            return nullptr;
        kQuery.m_fBestDistance = fFull;
    }
    return this;
}

// ---------------------------------------------------------- vanishing things

void CGameCharacter::OnObjectRemoved(CBaseObject& kObject)
{
    COrvaneGridEntity* pkObject = &kObject;
    if (m_pkHome == &kObject)
        m_pkHome = nullptr;
    if (GetPreviousTarget() == pkObject)
        SetPreviousTarget(nullptr);
    if (GetTargetObject() != pkObject)
        return;
    ClearPath();
    ResetAIState();
    if (IsPositionValid())
    {
        SetController("wander", true, true);
        return;
    }
    SetSkipUpdate();
    Relocate();
}

void CGameCharacter::OnCharacterRemoved(CGameCharacter* pkCharacter)
{
    if (!pkCharacter)
        return;
    if (GetPreviousPartner() == pkCharacter)
        SetPreviousPartner(nullptr);
    if (GetPartner() != pkCharacter)
        return;
    ClearPath();
    ResetAIState();
    SetFree(true);
    PlayPauseAnimation();
    if (IsPositionValid())
    {
        SetController("wander", true, true);
        return;
    }
    SetSkipUpdate();
    Relocate();
}

void CGameCharacter::OnWorldObjectRemoved(CWorldObject& kBuilding)
{
    const NiVec3* pkAt = kBuilding.GetModelPosition();
    LeaveBuilding(static_cast<const void*>(&kBuilding), kBuilding.GetGrid(), pkAt ? *pkAt : NiVec3::ZERO);
}

void CGameCharacter::LeaveBuilding(const void* pkBuilding, COrvaneBlockGrid* pkStandsOn, const NiVec3& kAt)
{
    if (!pkBuilding)
        return;
    auto OwnedByIt = [pkBuilding](const COrvaneBlockGrid* pkGrid) {
        const auto* pkFloor = dynamic_cast<const CBlockGrid*>(pkGrid);
        return pkFloor && pkFloor->GetStack() && pkFloor->GetStack()->GetOwner() == pkBuilding;
    };
    const COrvaneGridMarker* pkConnector = GetConnector();
    if (!OwnedByIt(m_pkGrid) && !(pkConnector && OwnedByIt(CConnector::GetDestination(*pkConnector))))
        return;
    ResetAIState();
    ClearPath();
    PlaceAt(kAt, pkStandsOn);
    SetController("wander", true, true);
    SetSkipUpdate();
}

void CGameCharacter::OnGridRemoved(COrvaneBlockGrid* pkGrid)
{
    const COrvaneGridMarker* pkConnector = GetConnector();
    if (!pkGrid || !pkConnector)
        return;
    bool bOnIt = CConnector::GetDestination(*pkConnector) == pkGrid;
    for (const std::unique_ptr<COrvaneGridMarker>& pkHeld : pkGrid->GetMarkers())
        bOnIt = bOnIt || pkHeld.get() == pkConnector;
    if (!bOnIt)
        return;
    ResetAIState();
    ClearPath();
    SetController("wander", true, true);
    SetSkipUpdate();
}

void CGameCharacter::ForceRelocate()
{
    SetSkipUpdate();
    Relocate();
    AfterRelocate();
}

void CGameCharacter::OnGridDestroyed(CBlockGrid& kGrid)
{
    OnGridRemoved(&kGrid);
    if (m_pkGrid == &kGrid)
    {
        ClearPath();
        COrvaneAICharacter::SetGrid(nullptr);
    }
}

void CGameCharacter::OnGridCellChanged(CBlockGrid& kGrid, std::int32_t iCell)
{
    if (IsAboutToStandOn(kGrid, iCell) && GetSpline())
    {
        ClearPath();
        m_iWalkMode = MODE_INTERACTING;
        if (GetActiveController())
            SetController(GetActiveController()->GetName(), true, true);
    }
}

bool CGameCharacter::IsAboutToStandOn(const COrvaneBlockGrid& kGrid, std::int32_t iCell) const
{
    if (&kGrid != m_pkGrid || iCell < 0)
        return false;
    if (m_iCurrentCell == iCell || m_iDestination == iCell)
        return true;
    const auto* pkPath = dynamic_cast<const COrvanePathSpline*>(GetSpline());
    if (!pkPath || pkPath->GetPoints().empty())
        return false;
    const std::int32_t iIndex = pkPath->SegmentIndex(m_fT, m_bReversed);
    const std::int32_t iStep = m_bReversed ? -1 : 1;
    for (int i = 0; i < 2; ++i)
    {
        const std::int64_t iAt = static_cast<std::int64_t>(iIndex) + iStep * i;
        if (iAt >= 0 && iAt < static_cast<std::int64_t>(pkPath->GetPoints().size()) &&
            kGrid.CellAt(pkPath->GetPoints()[static_cast<std::size_t>(iAt)]) == iCell)
            return true;
    }
    return false;
}

void CGameCharacter::OnPostLost(CBaseObject& kObject)
{
    if (m_pkHome == &kObject)
        m_pkHome = nullptr;
}

CGameCharacter* CGameCharacter::FindCharacterByNumber(std::int32_t iNumber)
{
    CDynamicObjectManager* pkManager = CDynamicObjectManager::GetExisting();
    if (!pkManager || iNumber < 0)
        return nullptr;
    for (std::uint32_t i = 0; COrvaneObject* pkObject = pkManager->GetObjectAt(i); ++i)
        if (auto* pkCharacter = dynamic_cast<CGameCharacter*>(pkObject);
            pkCharacter && pkCharacter->m_kStats.m_usPersonNumber == iNumber)
            return pkCharacter;
    return nullptr;
}

// ----------------------------------------------------------- walk helpers

void CGameCharacter::AbandonTarget()
{
    m_iPathState = PATH_IDLE;
    ResetAIState();
    SetFailedWalks(static_cast<std::int16_t>(GetFailedWalks() + 1));
}

void CGameCharacter::FollowSpline(const COrvaneSplineBase* pkSpline, bool bWalk)
{
    SetSpline(pkSpline, bWalk);
}

void CGameCharacter::AppendSpline(const COrvaneSplineBase* pkSpline)
{
    if (!pkSpline)
        return;
    if (!m_pkSpline)
    {
        SetSpline(pkSpline, false);
        return;
    }
    // The connector's walk follows once the planned one ends, starting
    // where it ends.
    QueuePath(pkSpline, false, false);
    NiVec3 kStart;
    if (pkSpline->GetStartPosition(kStart))
        SetSplineEnd(kStart);
}

void CGameCharacter::FinishSpline()
{
    NiVec3 kEnd;
    const bool bAtStart = m_bReversed;
    if (m_pkSpline && (bAtStart ? m_pkSpline->GetStartPosition(kEnd) : m_pkSpline->GetEndPosition(kEnd)))
        SetPosition(kEnd, 0);
    const NiVec3* pkPosition = GetModelPosition();
    if (m_pkGrid && pkPosition)
        m_iCurrentCell = m_pkGrid->CellAt(*pkPosition);
}

// ------------------------------------------------------------ debug text

std::string CGameCharacter::FormatName() const
{
    const CSpawnManager* pkSpawn = Spawning();
    if (!pkSpawn)
        return std::string();
    const std::vector<std::string>& kFirst = m_kStats.m_uiGender ? pkSpawn->m_kFemaleNames : pkSpawn->m_kMaleNames;
    const std::string kSurname =
        m_kStats.m_usSurname < pkSpawn->m_kSurnames.size() ? pkSpawn->m_kSurnames[m_kStats.m_usSurname] : "";
    const std::string kFirstName = m_kStats.m_usFirstName < kFirst.size() ? kFirst[m_kStats.m_usFirstName] : "";
    return kSurname + ",\n" + kFirstName;
}

std::string CGameCharacter::DebugText() const
{
    const char* pcController = m_pkActiveController ? m_pkActiveController->GetName() : nullptr;
    const std::string kText = FormatName() + " : CONTROLLER = " + (pcController ? pcController : "") +
                              ": STATE = " + std::to_string(m_kBlock.m_ucCurrentState);
    const COrvaneApplication* pkApplication = COrvaneApplication::Get();
    const COrvaneGame* pkGame = pkApplication ? pkApplication->GetGame() : nullptr;
    const COrvaneLocale* pkLocale = pkGame ? pkGame->GetLocale() : nullptr;
    if (COrvaneText* pkDebug = pkLocale ? pkLocale->GetTextObject(0) : nullptr)
        pkDebug->Draw(kText.c_str(), DEBUG_TEXT_X, DEBUG_TEXT_Y, 0, nullptr);
    return kText;
}

// ------------------------------------------------------------ the record

int CGameCharacter::SaveNullReference(const COrvaneAICharacter* pkValue, COrvaneFile& kFile)
{
    return SaveCharacterReference(pkValue, kFile);
}

int CGameCharacter::SaveCharacterReference(const COrvaneAICharacter* pkCharacter, COrvaneFile& kFile)
{
    const auto* pkPerson = dynamic_cast<const CGameCharacter*>(pkCharacter);
    const std::string kLine = pkPerson ? std::to_string(pkPerson->m_kStats.m_usPersonNumber) : std::string("-1");
    return kFile.WriteString((kLine + "\r\n").c_str()) ? 1 : 0;
}

bool CGameCharacter::LoadReference(COrvaneFile& kFile, COrvaneAICharacterState& kState, int) const
{
    return LoadObjectReference(kFile, static_cast<CGameCharacterState&>(kState));
}

bool CGameCharacter::LoadNullReference(COrvaneFile& kFile, COrvaneAICharacterState& kState, int) const
{
    return LoadCharacterReference(kFile, static_cast<CGameCharacterState&>(kState));
}

bool CGameCharacter::LoadObjectReference(COrvaneFile& kFile, CGameCharacterState& kState) const
{
    std::string kLine;
    kFile.ReadLine(kLine);
    const std::size_t uiComma = kLine.find(',');
    long long llGrid = 0;
    long long llCell = -1;
    if (!ParseWhole(kLine.substr(0, uiComma), llGrid))
        return false;
    if (llGrid < 0)
    {
        kState.m_kObjectReferences.push_back({-1, -1});
        return true;
    }
    if (uiComma == std::string::npos || !ParseWhole(kLine.substr(uiComma + 1), llCell) || llGrid > 0xFFFF ||
        llCell < 0 || llCell > 0xFFFF)
        return false;
    kState.m_kObjectReferences.push_back({static_cast<std::int32_t>(llGrid), static_cast<std::int32_t>(llCell)});
    return true;
}

bool CGameCharacter::LoadCharacterReference(COrvaneFile& kFile, CGameCharacterState& kState) const
{
    std::string kLine;
    kFile.ReadLine(kLine);
    long long llNumber = 0;
    if (!ParseWhole(kLine, llNumber) || llNumber > 0xFFFF)
        return false;
    kState.m_kPersonReferences.push_back(llNumber < 0 ? -1 : static_cast<std::int32_t>(llNumber));
    return true;
}

int CGameCharacter::SaveState(COrvaneFile& kFile)
{
    if (!COrvaneAICharacter::SaveState(kFile))
        return 0;
    SaveReference(m_pkHome, kFile);
    return m_kStats.Save(kFile) ? 1 : 0;
}

std::unique_ptr<COrvaneIOState> CGameCharacter::NewState() const
{
    return std::make_unique<CGameCharacterState>();
}

bool CGameCharacter::ParseState(COrvaneFile& kFile, COrvaneIOState& kState) const
{
    auto& kOwn = static_cast<CGameCharacterState&>(kState);
    kOwn.m_kObjectReferences.clear();
    kOwn.m_kPersonReferences.clear();
    if (!COrvaneAICharacter::ParseState(kFile, kState) || kFile.IsEof() || !LoadObjectReference(kFile, kOwn) ||
        kFile.IsEof())
        return false;
    std::string kLine;
    kFile.ReadLine(kLine);
    // A short line keeps the fresh record's values past its end.
    CCharacterStats kStats;
    std::stringstream kIn(kLine);
    std::string kPiece;
    int iField = 0;
    while (std::getline(kIn, kPiece, ','))
    {
        if (kPiece.empty())
            continue;
        long long llValue = 0;
        if (iField >= CCharacterStats::FIELD_COUNT || !ParseWhole(kPiece, llValue) || llValue < 0 ||
            llValue > 0xFFFF)
            return false;
        kStats.SetField(iField++, static_cast<std::uint32_t>(llValue));
    }
    kOwn.m_kStats = kStats;
    return true;
}

int CGameCharacter::LoadState(COrvaneFile& kFile)
{
    CGameCharacterState kState;
    if (!CGameCharacter::ParseState(kFile, kState))
        return 0;
    CGameCharacter::ApplyState(kState);
    return 1;
}

void CGameCharacter::ApplyState(const COrvaneIOState& kState)
{
    const auto& kOwn = static_cast<const CGameCharacterState&>(kState);
    // The record's position first, then the controller's: one saved on its
    // way to an object, through a connector or in from the road resumes
    // where its controller stored.
    COrvaneAICharacter::ApplyState(kState);
    m_kObjectReferences = kOwn.m_kObjectReferences;
    m_kPersonReferences = kOwn.m_kPersonReferences;
    SetStats(kOwn.m_kStats);
}

void CGameCharacter::PlaceLoaded(const NiVec3& kPosition)
{
    SetPosition(kPosition, 0);
}

void CGameCharacter::ResolveReferences()
{
    auto ObjectAt = [](const std::array<std::int32_t, 2>& kReference) -> COrvaneGridObject* {
        CBlockGrid* pkGrid = kReference[0] < 0 ? nullptr : GridNumbered(kReference[0]);
        CDynamicObjectManager* pkManager = CDynamicObjectManager::GetExisting();
        if (!pkGrid || !pkManager)
            return nullptr;
        for (std::uint32_t i = 0; COrvaneObject* pkObject = pkManager->GetObjectAt(i); ++i)
            if (auto* pkPlaced = dynamic_cast<COrvaneGridObject*>(pkObject);
                pkPlaced && pkPlaced->GetGrid() == pkGrid && pkPlaced->GetAnchor() == kReference[1])
                return pkPlaced;
        return nullptr;
    };
    auto Reference = [this](std::size_t i) {
        return i < m_kObjectReferences.size() ? m_kObjectReferences[i] : std::array<std::int32_t, 2>{-1, -1};
    };
    SetTargetObject(ObjectAt(Reference(0)));
    SetPreviousTarget(ObjectAt(Reference(1)));
    SetHome(dynamic_cast<CPathableObject*>(ObjectAt(Reference(2))));
    SetGrid(GridNumbered(m_iGridNumber));
    auto Person = [this](std::size_t i) {
        return i < m_kPersonReferences.size() ? FindCharacterByNumber(m_kPersonReferences[i]) : nullptr;
    };
    CGameCharacter* pkPartner = Person(0);
    SetPartner(pkPartner != this ? pkPartner : nullptr);
    CGameCharacter* pkPrevious = Person(1);
    SetPreviousPartner(pkPrevious != this ? pkPrevious : nullptr);
    if (m_pkActiveController)
        m_pkActiveController->Restore(m_kBlock);
    if (!StandsWhereALoadKeepsIt())
        Relocate();
    m_kObjectReferences.clear();
    m_kPersonReferences.clear();
}
