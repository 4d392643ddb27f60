#include "game/simulation/objects/CBlockGrid.h"

#include "engine/core/NiRandom.h"
#include "framework/COrvaneApplication.h"
#include "framework/COrvaneRenderer.h"
#include "framework/COrvaneWindow.h"
#include "game/simulation/objects/CBaseObject.h"
#include "game/simulation/objects/CBlock.h"
#include "game/simulation/objects/CBlockGridManager.h"
#include "game/simulation/objects/CBlockGridStack.h"
#include "game/simulation/objects/CConnector.h"
#include "game/simulation/objects/CDynamicObjectManager.h"
#include "game/simulation/objects/CGameHost.h"
#include "game/simulation/objects/CGridCharacter.h"
#include "game/simulation/objects/CWorld.h"

#include <algorithm>
#include <cmath>

namespace
{
constexpr int CONNECTOR_DRAWS = 10;

std::vector<CGridMembers::Group>* GroupsFor(CGridMembers& kMembers, const COrvaneGridEntity* pkEntity)
{
    return dynamic_cast<const CBaseObject*>(pkEntity) ? &kMembers.m_kObjects : &kMembers.m_kCharacters;
}

CWorld* LevelWorld()
{
    CGameHost* pkHost = CGameHost::Get();
    return pkHost ? pkHost->GetWorld() : nullptr;
}

// A door value as a cell index of the unturned grid; false for a value
// that names no whole number in range.
bool DoorCell(float fValue, std::int64_t& iCell)
{
    if (!std::isfinite(fValue) || std::fabs(fValue) > 1.0e9f)
        return false;
    iCell = static_cast<std::int64_t>(fValue);
    return true;
}
} // namespace

CBlockGrid::CBlockGrid()
{
    CBlockGrid::Reset();
}

CBlockGrid::~CBlockGrid()
{
    CBlockGrid::Destroy();
}

template <typename Call> void CBlockGrid::TellCharacters(Call&& kCall)
{
    CDynamicObjectManager* pkManager = CDynamicObjectManager::GetExisting();
    if (!pkManager)
        return;
    for (std::uint32_t i = 0; COrvaneObject* pkObject = pkManager->GetObjectAt(i); ++i)
        if (auto* pkCharacter = dynamic_cast<CGridCharacter*>(pkObject))
            kCall(*pkCharacter, *pkObject);
}

void CBlockGrid::Destroy()
{
    TellCharacters([this](CGridCharacter& kCharacter, COrvaneObject&) { kCharacter.OnGridDestroyed(*this); });
    // Nothing may stand on a grid that is gone.
    if (CDynamicObjectManager* pkManager = CDynamicObjectManager::GetExisting())
        for (std::uint32_t i = 0; COrvaneObject* pkObject = pkManager->GetObjectAt(i); ++i)
            if (auto* pkEntity = dynamic_cast<COrvaneGridEntity*>(pkObject); pkEntity && pkEntity->GetGrid() == this)
                pkEntity->SetGrid(nullptr);
    // Connectors leading here would lead nowhere.
    if (CBlockGridManager* pkGrids = CBlockGridManager::GetExisting())
    {
        auto Forget = [this](const CBlockGridStack& kStack)
        {
            for (std::size_t i = 0; i < kStack.GetFloorSlots(); ++i)
                if (CBlockGrid* pkFloor = kStack.GetFloor(i); pkFloor && pkFloor != this)
                    pkFloor->RemoveMarkersOfOwner(this);
        };
        for (const std::unique_ptr<CBlockGridStack>& pkStack : pkGrids->GetStacks())
            Forget(*pkStack);
        if (const CBlockGridStack* pkBuilding = pkGrids->GetStackUnderConstruction())
            Forget(*pkBuilding);
    }
    m_pkMembers.reset();
    COrvaneBlockGrid::Destroy();
}

void CBlockGrid::Reset()
{
    COrvaneBlockGrid::Reset();
    m_iFloorIndex = -1;
    m_pkMembers.reset();
    m_pkStack = nullptr;
    m_uiStaffCount = 0;
    m_uiPrisonerCount = 0;
}

COrvaneGridMarker* CBlockGrid::RandomMarker()
{
    return RandomConnector();
}

COrvaneGridMarker* CBlockGrid::RandomConnector()
{
    const auto& kConnectors = GetMarkers();
    if (kConnectors.empty())
        return nullptr;
    const CWorld* pkWorld = LevelWorld();
    const std::int64_t iOpen = static_cast<std::int64_t>(pkWorld ? pkWorld->GetUpgradeLevel() : 0) + 1;
    const std::int64_t iHighest = pkWorld ? pkWorld->GetHighestMapNumber() : 0;
    for (int i = 0; i < CONNECTOR_DRAWS; ++i)
    {
        COrvaneGridMarker* pkDrawn =
            kConnectors[static_cast<std::size_t>(NiRand()) % kConnectors.size()].get();
        const CBlockGrid* pkTo = CConnector::GetDestination(*pkDrawn);
        const std::int64_t iNumber = pkTo ? pkTo->GetId() : -1;
        if (pkTo && (iNumber <= iOpen || iNumber > iHighest))
            return pkDrawn;
    }
    return nullptr;
}

void CBlockGrid::OnMarkerAdded(COrvaneGridMarker* pkMarker)
{
    if (pkMarker)
        OnCellChanged(pkMarker->m_kPosition);
}

void CBlockGrid::OnCellChanged(const NiVec3& kPoint)
{
    const std::int32_t iCell = CellAt(kPoint);
    TellCharacters(
        [this, iCell](CGridCharacter& kCharacter, COrvaneObject& kObject)
        {
            auto* pkEntity = dynamic_cast<COrvaneGridEntity*>(&kObject);
            if (pkEntity && pkEntity->GetGrid() == this)
                kCharacter.OnGridCellChanged(*this, iCell);
        });
}

std::unique_ptr<COrvaneBlock> CBlockGrid::CreateBlock()
{
    return std::make_unique<CBlock>();
}

void CBlockGrid::DebugDraw()
{
    const COrvaneApplication* pkApplication = COrvaneApplication::GetExisting();
    const COrvaneWindow* pkWindow = pkApplication ? pkApplication->GetWindow() : nullptr;
    const COrvaneRenderer* pkHolder = pkWindow ? pkWindow->GetRenderer() : nullptr;
    if (!pkHolder)
        return;
    const CGameHost* pkHost = CGameHost::Get();
    const bool bSelected = pkHost && pkHost->GetSelectedBuilding();
    const NiVec3& kOrigin = *GetOrigin();
    const NiVec3 kCorner(kOrigin.x - GetExtentX() / 2.0f, kOrigin.y, kOrigin.z + GetExtentZ() / 2.0f);
    pkHolder->CreateGridLines(kCorner, GetColumns(), GetRows(), static_cast<float>(GetCellSize()),
                              bSelected ? NiColorRGBA(0.0f, 0.0f, 0.8f, 1.0f) : NiColorRGBA(0.0f, 0.8f, 0.0f, 1.0f));
}

void CBlockGrid::Setup(std::int32_t iRows, std::int32_t iColumns, const NiVec3& kOrigin, std::int32_t iCellSize,
                       std::int32_t iNumber, std::int32_t iFloorIndex, CBlockGridStack* pkStack,
                       const std::vector<DoorRun>& kDoors, float fRotation)
{
    COrvaneBlockGrid::Setup(iRows, iColumns, kOrigin, iCellSize, iNumber);
    m_iFloorIndex = iFloorIndex;
    m_pkStack = pkStack;
    m_pkMembers = std::make_unique<CGridMembers>();
    m_uiStaffCount = 0;
    m_uiPrisonerCount = 0;

    int iQuarterTurns = 0;
    if (std::isfinite(fRotation))
        iQuarterTurns = static_cast<int>(std::lround(std::fmod(fRotation, 360.0f) / 90.0f));
    iQuarterTurns = ((iQuarterTurns % 4) + 4) % 4;
    for (const DoorRun& kRun : kDoors)
    {
        std::int64_t iFirst = 0, iSecond = 0;
        if (!DoorCell(kRun.first, iFirst) || !DoorCell(kRun.second, iSecond))
            continue;
        if (iSecond == -1)
            iSecond = iFirst;
        const std::int32_t iFrom = TurnedCell(iFirst, iQuarterTurns);
        const std::int32_t iTo = TurnedCell(iSecond, iQuarterTurns);
        // A run with an end off the grid names no cells to mark.
        if (iFrom < 0 || iTo < 0)
            continue;
        SetRectangleState(iFrom, iTo, CBlock::STATE_DOOR, false);
    }
}

std::int32_t CBlockGrid::TurnedCell(std::int64_t iCell, int iQuarterTurns) const
{
    const std::int64_t iRows = GetRows(), iColumns = GetColumns();
    // The unturned building is the laid grid turned back: a quarter turn
    // swaps the counts.
    const bool bSwapped = (iQuarterTurns % 2) != 0;
    const std::int64_t iOwnRows = bSwapped ? iColumns : iRows;
    const std::int64_t iOwnColumns = bSwapped ? iRows : iColumns;
    if (iOwnColumns < 1 || iCell < 0 || iCell >= iOwnRows * iOwnColumns)
        return -1;
    // Twice the offset of the cell's centre from the grid's centre, so the
    // turn stays on whole numbers.
    const std::int64_t iX = 2 * (iCell / iOwnColumns) + 1 - iOwnRows;
    const std::int64_t iZ = 2 * (iCell % iOwnColumns) + 1 - iOwnColumns;
    std::int64_t iTurnedX = iX, iTurnedZ = iZ;
    switch (iQuarterTurns)
    {
    case 1: iTurnedX = -iZ; iTurnedZ = iX; break;
    case 2: iTurnedX = -iX; iTurnedZ = -iZ; break;
    case 3: iTurnedX = iZ; iTurnedZ = -iX; break;
    default: break;
    }
    const std::int64_t iRow = (iTurnedX + iRows - 1) / 2;
    const std::int64_t iColumn = (iTurnedZ + iColumns - 1) / 2;
    if (iRow < 0 || iRow >= iRows || iColumn < 0 || iColumn >= iColumns)
        return -1;
    return static_cast<std::int32_t>(iRow * iColumns + iColumn);
}

bool CBlockGrid::IsAreaPlaceable(std::int32_t iCell, std::int32_t iRows, std::int32_t iColumns) const
{
    if (iRows <= 0 || iColumns <= 0)
        return true;
    if (!IsAreaValid(iCell, iRows, iColumns, true))
        return false;
    for (std::int32_t i = 0; i < iRows; ++i)
    {
        for (std::int32_t j = 0; j < iColumns; ++j)
        {
            const std::int32_t iState = GetBlock(iCell + GetColumns() * i + j)->GetState();
            if (iState == CBlock::STATE_CONNECTOR || iState == CBlock::STATE_DOOR)
                return false;
        }
    }
    return true;
}

void CBlockGrid::Count(COrvaneGridEntity* pkEntity, int iSign)
{
    auto Apply = [iSign](std::uint32_t& uiCount, std::uint32_t uiBy)
    {
        if (iSign > 0)
            uiCount += uiBy;
        else
            uiCount = uiCount > uiBy ? uiCount - uiBy : 0;
    };
    if (const auto* pkObject = dynamic_cast<const CBaseObject*>(pkEntity))
    {
        if (pkObject->AddsPostsToFloorStaff())
            Apply(m_uiStaffCount, static_cast<std::uint32_t>(pkObject->GetPosts().size()));
        return;
    }
    if (const auto* pkCharacter = dynamic_cast<const CGridCharacter*>(pkEntity))
    {
        if (pkCharacter->GetFloorRole() == CGridCharacter::Role::Staff)
            Apply(m_uiStaffCount, 1);
        else if (pkCharacter->GetFloorRole() == CGridCharacter::Role::Prisoner)
            Apply(m_uiPrisonerCount, 1);
    }
}

bool CBlockGrid::AddMember(COrvaneGridEntity* pkEntity)
{
    if (!pkEntity || IsMember(pkEntity))
        return false;
    if (!m_pkMembers)
        m_pkMembers = std::make_unique<CGridMembers>();
    std::vector<CGridMembers::Group>& kGroups = *GroupsFor(*m_pkMembers, pkEntity);
    auto kGroup = std::find_if(kGroups.begin(), kGroups.end(), [pkEntity](const CGridMembers::Group& kAt)
                               { return kAt.m_pkFactory == pkEntity->GetTypeObject(); });
    if (kGroup == kGroups.end())
    {
        kGroups.push_back(CGridMembers::Group{pkEntity->GetTypeObject(), {}});
        kGroup = kGroups.end() - 1;
    }
    kGroup->m_kMembers.push_back(pkEntity);
    Count(pkEntity, 1);
    return true;
}

bool CBlockGrid::RemoveMember(COrvaneGridEntity* pkEntity)
{
    if (!pkEntity || !m_pkMembers)
        return false;
    for (CGridMembers::Group& kGroup : *GroupsFor(*m_pkMembers, pkEntity))
    {
        if (kGroup.m_pkFactory != pkEntity->GetTypeObject())
            continue;
        auto kAt = std::find(kGroup.m_kMembers.begin(), kGroup.m_kMembers.end(), pkEntity);
        if (kAt == kGroup.m_kMembers.end())
            return false;
        kGroup.m_kMembers.erase(kAt);
        Count(pkEntity, -1);
        return true;
    }
    return false;
}

bool CBlockGrid::IsMember(const COrvaneGridEntity* pkEntity) const
{
    if (!pkEntity || !m_pkMembers)
        return false;
    for (const CGridMembers::Group& kGroup : *GroupsFor(*m_pkMembers, pkEntity))
        if (kGroup.m_pkFactory == pkEntity->GetTypeObject())
            return std::find(kGroup.m_kMembers.begin(), kGroup.m_kMembers.end(), pkEntity) !=
                   kGroup.m_kMembers.end();
    return false;
}

bool CBlockGrid::MoveMemberToEnd(COrvaneGridEntity* pkEntity)
{
    if (!pkEntity || !m_pkMembers)
        return false;
    for (CGridMembers::Group& kGroup : *GroupsFor(*m_pkMembers, pkEntity))
    {
        if (kGroup.m_pkFactory != pkEntity->GetTypeObject())
            continue;
        auto kAt = std::find(kGroup.m_kMembers.begin(), kGroup.m_kMembers.end(), pkEntity);
        if (kAt == kGroup.m_kMembers.end())
            return false;
        std::rotate(kAt, kAt + 1, kGroup.m_kMembers.end());
        return true;
    }
    return false;
}

const std::vector<COrvaneGridEntity*>* CBlockGrid::FindGroup(const COrvaneBase* pkFactory, bool bCharacters) const
{
    if (!m_pkMembers || !pkFactory)
        return nullptr;
    for (const CGridMembers::Group& kGroup : bCharacters ? m_pkMembers->m_kCharacters : m_pkMembers->m_kObjects)
        if (kGroup.m_pkFactory == pkFactory)
            return &kGroup.m_kMembers;
    return nullptr;
}

std::size_t CBlockGrid::GetMemberCount() const
{
    std::size_t uiCount = 0;
    if (m_pkMembers)
    {
        for (const CGridMembers::Group& kGroup : m_pkMembers->m_kCharacters)
            uiCount += kGroup.m_kMembers.size();
        for (const CGridMembers::Group& kGroup : m_pkMembers->m_kObjects)
            uiCount += kGroup.m_kMembers.size();
    }
    return uiCount;
}

void CBlockGrid::ShowMembers()
{
    if (!m_pkMembers)
        return;
    for (const CGridMembers::Group& kGroup : m_pkMembers->m_kCharacters)
        for (COrvaneGridEntity* pkCharacter : kGroup.m_kMembers)
            pkCharacter->SetModelHidden(false);
    CWorld* pkWorld = LevelWorld();
    // An object already in the world is left there: a second add would
    // hang its model in the scene twice.
    for (const CGridMembers::Group& kGroup : m_pkMembers->m_kObjects)
        for (COrvaneGridEntity* pkObject : kGroup.m_kMembers)
            if (pkWorld && pkObject->GetWorld() != pkWorld)
                pkObject->AddToWorld(pkWorld, true);
}

void CBlockGrid::HideMembers()
{
    if (!m_pkMembers)
        return;
    for (const CGridMembers::Group& kGroup : m_pkMembers->m_kCharacters)
        for (COrvaneGridEntity* pkCharacter : kGroup.m_kMembers)
            pkCharacter->SetModelHidden(true);
    for (const CGridMembers::Group& kGroup : m_pkMembers->m_kObjects)
        for (COrvaneGridEntity* pkObject : kGroup.m_kMembers)
            pkObject->RemoveFromWorld();
}

void CBlockGrid::DestroyMembers()
{
    if (!m_pkMembers)
        return;
    // Each removal reaches back into the groups: walk copies.
    std::vector<COrvaneGridEntity*> kDoomed;
    for (const CGridMembers::Group& kGroup : m_pkMembers->m_kCharacters)
        kDoomed.insert(kDoomed.end(), kGroup.m_kMembers.begin(), kGroup.m_kMembers.end());
    for (const CGridMembers::Group& kGroup : m_pkMembers->m_kObjects)
        kDoomed.insert(kDoomed.end(), kGroup.m_kMembers.begin(), kGroup.m_kMembers.end());
    m_pkMembers->m_kCharacters.clear();
    m_pkMembers->m_kObjects.clear();
    m_uiStaffCount = 0;
    m_uiPrisonerCount = 0;
    CDynamicObjectManager* pkManager = CDynamicObjectManager::GetExisting();
    if (!pkManager)
        return;
    for (COrvaneGridEntity* pkMember : kDoomed)
        pkManager->DestroyObject(pkMember, true);
}
