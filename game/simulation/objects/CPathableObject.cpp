#include "game/simulation/objects/CPathableObject.h"

#include "engine/scene/NiAVObject.h"
#include "engine/scene/NiNode.h"
#include "engine/core/NiRandom.h"
#include "framework/COrvaneAnimationSpline.h"
#include "framework/COrvaneBlock.h"
#include "framework/COrvaneBlockGrid.h"
#include "framework/COrvaneComposite.h"
#include "framework/COrvaneSceneLink.h"
#include "framework/COrvaneSceneNode.h"
#include "game/simulation/objects/CGameHost.h"
#include "game/simulation/objects/CWorld.h"
#include "game/simulation/objects/CBlock.h"
#include "game/simulation/objects/CBlockGrid.h"
#include "game/simulation/objects/CBlockGridManager.h"
#include "game/simulation/objects/CBlockGridStack.h"
#include "game/simulation/objects/CDynamicObjectManager.h"
#include "game/simulation/objects/CGridCharacter.h"
#include "game/simulation/objects/CPrisonStatistics.h"

#include <algorithm>
#include <cmath>
#include <cstring>

namespace
{
constexpr float NEAR_DOOR = 0.1f;
constexpr float HELD_ALPHA = 0.45f;

CPrisonStatistics* Ledger()
{
    CDynamicObjectManager* pkManager = CDynamicObjectManager::GetExisting();
    return pkManager ? pkManager->GetStatistics() : nullptr;
}

std::int32_t NearestCell(float fValue)
{
    return static_cast<std::int32_t>(NearestWhole(fValue));
}
} // namespace

float NearestWhole(float fValue)
{
    return std::round(fValue);
}

CUseSlot::CUseSlot() = default;

CUseSlotList::CUseSlotList() = default;

CUseSlotList::~CUseSlotList()
{
    RemoveMarker();
}

void CUseSlotList::RemoveMarker()
{
    if (!m_pkMarker)
        return;
    if (COrvaneWorld* pkWorld = m_pkMarker->GetWorld())
        DetachSceneNodeFromWorld(*m_pkMarker, *pkWorld);
    m_pkMarker.reset();
}

CUseSlot::~CUseSlot() = default;

CPathableObject::CPathableObject()
{
    CPathableObject::Reset();
}

CPathableObject::~CPathableObject()
{
    CPathableObject::Destroy();
}

void CPathableObject::Destroy()
{
    Unplace();
    DeleteLists();
    // The posts here are gone: whoever was posted here has no home.
    for (CGridCharacter* pkMember : m_kStaffMembers)
        if (pkMember)
            pkMember->OnPostLost(*this);
    m_kStaffMembers.clear();
    CBaseObject::Destroy();
}

void CPathableObject::DeleteLists()
{
    // A list's access cell is no longer held once the lists go.
    if (m_ucAccessOccupied)
        ClearFootprint();
    m_kLists.clear();
}

void CPathableObject::Reset()
{
    CBaseObject::Reset();
    m_ucOpen = 1;
    m_usCapacity = 0;
    m_usUsers = 0;
}

void CPathableObject::Update(float fDt)
{
    CBaseObject::Update(fDt);
    const CPrisonStatistics* pkLedger = Ledger();
    m_kRecord.m_usUpkeep =
        static_cast<std::uint16_t>(m_kRecord.m_usPrice / ((pkLedger ? pkLedger->m_usClericalLevel : 0) + 1));
    if (!m_ucPlaced)
        ColourMarkers();
}

void CPathableObject::ColourMarkers()
{
    const CBlockGridManager* pkGrids = CBlockGridManager::GetExisting();
    const CBlockGrid* pkCurrent = pkGrids ? pkGrids->GetPickGrid() : nullptr;
    if (!pkCurrent)
    {
        for (const std::unique_ptr<CUseSlotList>& pkList : m_kLists)
            if (pkList->m_pkMarker)
                pkList->m_pkMarker->SetSignalColor(1.0f, 0.0f, 0.0f, HELD_ALPHA);
        return;
    }
    const bool bValid = IsPlacementValid(true);
    for (std::size_t i = m_kLists.size(); i-- > 0;)
    {
        CUseSlotList& kList = *m_kLists[i];
        if (!kList.m_pkMarker)
            continue;
        const std::int32_t iAccess = GetAccessCell(static_cast<std::int32_t>(i));
        const std::int32_t iX = pkCurrent->CellX(iAccess, false);
        const std::int32_t iZ = pkCurrent->CellZ(iAccess, false);
        const NiVec3 kDoor = kList.m_pkDoor ? kList.m_pkDoor->GetWorldTransform().m_kTranslate : NiVec3();
        const NiVec3* pkOrigin = pkCurrent->GetOrigin();
        if (iX == -1 || iZ == -1 || !kList.m_pkDoor || pkCurrent->CellAt(kDoor) < 0)
        {
            kList.m_pkMarker->SetPosition(kDoor, false);
            kList.m_pkMarker->SetSignalColor(1.0f, 0.0f, 0.0f, HELD_ALPHA);
        }
        else
        {
            kList.m_pkMarker->SetPosition(NiVec3(static_cast<float>(iX), (pkOrigin ? pkOrigin->y : 0.0f) + 0.1f,
                                                 static_cast<float>(iZ)),
                                          false);
            if (bValid)
                kList.m_pkMarker->SetSignalColor(0.0f, 1.0f, 0.0f, HELD_ALPHA);
            else
                kList.m_pkMarker->SetSignalColor(1.0f, 0.0f, 0.0f, HELD_ALPHA);
        }
        kList.m_pkMarker->ApplyChanges();
    }
}

void CPathableObject::NotifyUsers()
{
    if (!m_ucPlaced)
        return;
    for (const std::unique_ptr<CUseSlotList>& pkList : m_kLists)
        for (const std::unique_ptr<CUseSlot>& pkSlot : pkList->m_kSlots)
            if (pkSlot->m_pkSpline)
                pkSlot->m_pkSpline->CreateDebugLines();
}

bool CPathableObject::IsOnSameBuilding(const COrvaneBlockGrid* pkGrid) const
{
    if (!pkGrid || !m_pkGrid)
        return false;
    if (pkGrid == m_pkGrid)
        return true;
    const auto* pkOwn = dynamic_cast<const CBlockGrid*>(m_pkGrid);
    const auto* pkOther = dynamic_cast<const CBlockGrid*>(pkGrid);
    return pkOwn && pkOther && pkOwn->GetStack() && pkOwn->GetStack() == pkOther->GetStack() &&
           pkOwn->GetStack()->GetOwner() != nullptr;
}

int CPathableObject::Create(COrvaneObjectDesc& kDesc)
{
    CBaseObject::Create(kDesc);
    m_kRecord.m_usPlaces = static_cast<std::uint16_t>(ReadIntParam(kDesc));
    m_kRecord.m_usRequiredLevel = static_cast<std::uint16_t>(ReadIntParam(kDesc));
    m_kStringParameter = ReadStringParam(kDesc);
    m_kRecord.m_sScoreValue = static_cast<std::int16_t>(ReadIntParam(kDesc));
    m_kRecord.m_usStaffCount = static_cast<std::uint16_t>(ReadIntParam(kDesc));
    const CPrisonStatistics* pkLedger = Ledger();
    m_kRecord.m_usUpkeep =
        static_cast<std::uint16_t>(m_kRecord.m_usPrice / ((pkLedger ? pkLedger->m_usClericalLevel : 0) + 1));
    return 1;
}

void CPathableObject::BuildUseSlots(COrvaneObjectDesc& kDesc)
{
    (void)kDesc;
    m_kLists.clear();
    m_usCapacity = 0;
    if (!m_pkModel)
        return;
    std::vector<NiNode*> kDoors;
    std::vector<NiNode*> kPlaces;
    m_pkModel->CollectNodes("door", kDoors, true);
    m_pkModel->CollectNodes("SP_", kPlaces, true);
    for (NiNode* pkDoor : kDoors)
    {
        auto pkList = std::make_unique<CUseSlotList>();
        const NiVec3& kP = pkDoor->GetTranslate();
        pkList->m_kEntrance = kP;
        pkList->m_pkDoor = pkDoor;
        pkList->m_fColumnOffset = NearestWhole((kP.x + (m_iWidth - 1) * 0.5f) * 0.5f);
        pkList->m_fRowOffset = NearestWhole((kP.z - (m_iDepth - 1) * 0.5f) * 0.5f);
        pkList->m_pkMarker = CreateFlatQuad(2.0f, 2.0f);
        if (pkList->m_pkMarker)
        {
            pkList->m_pkMarker->SetSignalColor(0.0f, 0.0f, 1.0f, 0.25f);
            const CGameHost* pkHost = CGameHost::Get();
            if (CWorld* pkWorld = pkHost ? pkHost->GetWorld() : nullptr)
                AttachSceneNodeToWorld(*pkList->m_pkMarker, *pkWorld, false);
        }
        for (NiNode* pkPlace : kPlaces)
        {
            const NiVec3& kQ = pkPlace->GetTranslate();
            if (std::fabs(kQ.x - kP.x) > NEAR_DOOR || std::fabs(kQ.z - kP.z) > NEAR_DOOR)
                continue;
            auto pkSlot = std::make_unique<CUseSlot>();
            pkSlot->m_pkSpline = std::make_unique<COrvaneAnimationSpline>();
            pkSlot->m_pkSpline->CreateFromFile(pkPlace, pkPlace->GetName());
            pkList->m_kSlots.push_back(std::move(pkSlot));
            ++m_usCapacity;
        }
        m_kLists.push_back(std::move(pkList));
    }
}

std::int32_t CPathableObject::GetAccessCell(std::int32_t iList) const
{
    if (iList == -1)
        iList = 0;
    if (iList < 0 || static_cast<std::size_t>(iList) >= m_kLists.size() || !m_pkGrid)
        return -1;
    const std::int32_t iSize = m_pkGrid->GetCellSize();
    // A grid whose cells are smaller than one unit has no access cells.
    if (iSize < 1)
        return -1;
    const std::int32_t iCell = m_iAnchor;
    const float fW = static_cast<float>(m_pkGrid->GetColumns());
    const float fA = static_cast<float>(GetWidth() / iSize - 1);
    const float fB = static_cast<float>(GetDepth() / iSize - 1);
    const float fC = m_kLists[static_cast<std::size_t>(iList)]->m_fColumnOffset;
    const float fR = m_kLists[static_cast<std::size_t>(iList)]->m_fRowOffset;
    const float fHeading = GetHeading();
    if (fHeading == 0.0f)
        return iCell + NearestCell(fW * fC - fR);
    if (fHeading == 90.0f)
        return iCell - NearestCell(fW * fR - fA + fC);
    if (fHeading == 180.0f)
        return iCell + NearestCell(fB + fW * (fA - fC) + fR);
    if (fHeading == 270.0f)
        return iCell + NearestCell(fW * (fB + fR) + fC);
    return -1;
}

int CPathableObject::OccupyFootprint()
{
    const int iResult = CBaseObject::OccupyFootprint();
    if (!m_pkGrid)
        return iResult;
    CDynamicObjectManager* pkManager = CDynamicObjectManager::GetExisting();
    for (std::size_t i = m_kLists.size(); i-- > 0;)
    {
        const std::int32_t iAccess = GetAccessCell(static_cast<std::int32_t>(i));
        if (!m_pkGrid->IsValidCell(iAccess, false))
            continue;
        if (pkManager)
        {
            for (std::uint32_t j = 0; COrvaneObject* pkObject = pkManager->GetObjectAt(j); ++j)
            {
                auto* pkCharacter = dynamic_cast<CGridCharacter*>(pkObject);
                auto* pkEntity = dynamic_cast<COrvaneGridEntity*>(pkObject);
                if (pkCharacter && pkEntity && pkEntity->GetGrid() == m_pkGrid &&
                    pkCharacter->IsAboutToStandOn(*m_pkGrid, iAccess))
                    pkCharacter->ForceRelocate();
            }
        }
        m_pkGrid->OccupyArea(iAccess, this, 1, 1, false);
        m_ucAccessOccupied = 1;
        m_kLists[i]->RemoveMarker();
    }
    return iResult;
}

int CPathableObject::ClearFootprint()
{
    if (m_pkGrid && m_ucAccessOccupied)
    {
        for (std::size_t i = 0; i < m_kLists.size(); ++i)
        {
            const std::int32_t iAccess = GetAccessCell(static_cast<std::int32_t>(i));
            if (m_pkGrid->IsValidCell(iAccess, false))
                m_pkGrid->ClearArea(iAccess, 1, 1, false, 0);
        }
    }
    m_ucAccessOccupied = 0;
    return CBaseObject::ClearFootprint();
}

void CPathableObject::Place()
{
    CBaseObject::Place();
    for (const std::unique_ptr<CUseSlotList>& pkList : m_kLists)
    {
        for (const std::unique_ptr<CUseSlot>& pkSlot : pkList->m_kSlots)
        {
            NiVec3 kEnd;
            if (pkSlot->m_pkSpline && pkSlot->m_pkSpline->GetEndPosition(kEnd))
                pkSlot->m_kPosition = kEnd;
            if (pkSlot->m_pkSpline)
                pkSlot->m_fHeading = pkSlot->m_pkSpline->GetEndHeading();
        }
    }
}

bool CPathableObject::IsPlacementValid(bool bWithBorder) const
{
    if (!m_pkGrid)
        return false;
    const CBlockGridManager* pkGrids = CBlockGridManager::GetExisting();
    const CBlockGrid* pkCurrent = pkGrids ? pkGrids->GetPickGrid() : nullptr;
    for (std::size_t i = m_kLists.size(); i-- > 0;)
    {
        const std::int32_t iAccess = GetAccessCell(static_cast<std::int32_t>(i));
        if (!m_pkGrid->IsValidCell(iAccess, false) || !m_pkGrid->IsAreaFree(iAccess, 1, 1, false))
            return false;
        const COrvaneBlock* pkBlock = m_pkGrid->GetBlock(iAccess);
        if (!pkBlock || pkBlock->GetState() == CBlock::STATE_CONNECTOR || pkBlock->GetState() == CBlock::STATE_DOOR)
            return false;
        const NiAVObject* pkDoor = m_kLists[i]->m_pkDoor;
        if (!pkCurrent || !pkDoor || pkCurrent->CellAt(pkDoor->GetWorldTransform().m_kTranslate) < 0)
            return false;
    }
    return CBaseObject::IsPlacementValid(bWithBorder);
}

bool CPathableObject::WantsUser() const
{
    return m_ucOpen && m_usUsers < m_usCapacity &&
           static_cast<int>(m_kRecord.m_usAttraction) > static_cast<int>(NiRand() % 25 + 25);
}

bool CPathableObject::IsUnattractive() const
{
    return m_ucOpen && static_cast<int>(m_kRecord.m_usAttraction) < static_cast<int>(NiRand() % 25 + 50);
}

bool CPathableObject::IsNotTower() const
{
    const char* pcName = GetName();
    return !pcName || !std::strstr(pcName, "tower");
}

void CPathableObject::DailyUpdate()
{
    if (m_ucPlaced)
        if (CPrisonStatistics* pkLedger = Ledger())
            pkLedger->m_iRunningCosts += m_kRecord.m_usUpkeep;
    // Whoever still believes to hold a slot loses it with the new day.
    for (const std::unique_ptr<CUseSlotList>& pkList : m_kLists)
        for (const std::unique_ptr<CUseSlot>& pkSlot : pkList->m_kSlots)
            pkSlot->m_pkUser = nullptr;
    m_usUsers = 0;
    m_ucOpen = 1;
    CBaseObject::DailyUpdate();
}

CUseSlot* CPathableObject::SlotAt(std::int32_t iList, std::int32_t iSlot) const
{
    if (iList < 0 || static_cast<std::size_t>(iList) >= m_kLists.size())
        return nullptr;
    const CUseSlotList& kList = *m_kLists[static_cast<std::size_t>(iList)];
    if (iSlot < 0 || static_cast<std::size_t>(iSlot) >= kList.m_kSlots.size())
        return nullptr;
    return kList.m_kSlots[static_cast<std::size_t>(iSlot)].get();
}

bool CPathableObject::AssignUser(CGridCharacter* pkUser, std::int32_t iList, std::int32_t iSlot)
{
    CUseSlot* pkSlot = SlotAt(iList, iSlot);
    if (!pkSlot || pkSlot->m_pkUser)
        return false;
    pkSlot->m_pkUser = pkUser;
    ++m_usUsers;
    return true;
}

bool CPathableObject::ReleaseUser(CGridCharacter* pkUser, std::int32_t iList, std::int32_t iSlot)
{
    if (iList < 0 || static_cast<std::size_t>(iList) >= m_kLists.size())
        return false;
    CUseSlot* pkSlot = SlotAt(iList, iSlot);
    if (!pkSlot || pkSlot->m_pkUser != pkUser)
    {
        pkSlot = nullptr;
        for (const std::unique_ptr<CUseSlotList>& pkList : m_kLists)
        {
            for (const std::unique_ptr<CUseSlot>& pkHeld : pkList->m_kSlots)
                if (pkHeld->m_pkUser == pkUser)
                {
                    pkSlot = pkHeld.get();
                    break;
                }
            if (pkSlot)
                break;
        }
    }
    if (!pkSlot || !pkUser)
        return false;
    pkSlot->m_pkUser = nullptr;
    if (m_usUsers > 0)
        --m_usUsers;
    return true;
}

bool CPathableObject::IsUserAt(const CGridCharacter* pkUser, std::int32_t iList, std::int32_t iSlot) const
{
    const CUseSlot* pkSlot = SlotAt(iList, iSlot);
    return pkSlot && pkSlot->m_pkUser == pkUser;
}

bool CPathableObject::FindFreeUseSlot(std::int32_t& iList, std::int32_t& iSlot) const
{
    if (m_usUsers >= m_usCapacity)
        return false;
    for (std::size_t i = 0; i < m_kLists.size(); ++i)
        for (std::size_t j = 0; j < m_kLists[i]->m_kSlots.size(); ++j)
            if (!m_kLists[i]->m_kSlots[j]->m_pkUser)
            {
                iList = static_cast<std::int32_t>(i);
                iSlot = static_cast<std::int32_t>(j);
                return true;
            }
    return false;
}

COrvaneAnimationSpline* CPathableObject::GetSlotSpline(std::int32_t iList, std::int32_t iSlot) const
{
    const CUseSlot* pkSlot = SlotAt(iList, iSlot);
    return pkSlot ? pkSlot->m_pkSpline.get() : nullptr;
}

const NiVec3* CPathableObject::GetSlotPosition(std::int32_t iList, std::int32_t iSlot) const
{
    const CUseSlot* pkSlot = SlotAt(iList, iSlot);
    return pkSlot ? &pkSlot->m_kPosition : nullptr;
}

float CPathableObject::GetSlotHeading(std::int32_t iList, std::int32_t iSlot) const
{
    const CUseSlot* pkSlot = SlotAt(iList, iSlot);
    return pkSlot ? pkSlot->m_fHeading : 0.0f;
}

void CPathableObject::AdjustAttraction(int iDelta)
{
    const int iValue = std::clamp(static_cast<int>(m_kRecord.m_usAttraction) + iDelta, 0, 100);
    m_kRecord.m_usAttraction = static_cast<std::uint16_t>(iValue);
}

void CPathableObject::RequestStaffUnit()
{
    if (CGameHost* pkHost = CGameHost::Get())
        pkHost->SpawnStaffForRoom(*this);
}

int CPathableObject::SpawnStaff()
{
    for (std::uint16_t i = 0; i < m_kRecord.m_usStaffCount; ++i)
        RequestStaffUnit();
    return m_kRecord.m_usStaffCount;
}

void CPathableObject::AddStaffMember(CGridCharacter* pkMember)
{
    if (pkMember && std::find(m_kStaffMembers.begin(), m_kStaffMembers.end(), pkMember) == m_kStaffMembers.end())
        m_kStaffMembers.push_back(pkMember);
}

void CPathableObject::RemoveStaffMember(CGridCharacter* pkMember)
{
    m_kStaffMembers.erase(std::remove(m_kStaffMembers.begin(), m_kStaffMembers.end(), pkMember),
                          m_kStaffMembers.end());
}
