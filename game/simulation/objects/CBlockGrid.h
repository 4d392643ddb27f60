#pragma once

#include "framework/COrvaneBlockGrid.h"

#include <cstddef>
#include <cstdint>
#include <memory>
#include <utility>
#include <vector>

class CBlockGridStack;
class COrvaneBase;
class COrvaneGridEntity;

// The characters and placed objects of a floor, each kind grouped by the
// factory that made them, in the order they joined. Nothing is owned.
struct CGridMembers
{
    struct Group
    {
        const COrvaneBase* m_pkFactory = nullptr;
        std::vector<COrvaneGridEntity*> m_kMembers;
    };

    std::vector<Group> m_kCharacters;
    std::vector<Group> m_kObjects;
};

// A floor of the game: the framework grid plus the characters and objects
// standing on it, so a whole floor can be shown, hidden or cleared at once,
// its staff and prisoner counts, door cells and connectors. A connector is
// one of the grid's marker records; its owner is the grid it leads to, which
// answers its grid number as the key.
class CBlockGrid : public COrvaneBlockGrid, public COrvaneMarkerOwner
{
public:
    // A run of door cells by index in the unturned grid; -1 as the second
    // value makes it one cell.
    using DoorRun = std::pair<float, float>;

    CBlockGrid();
    ~CBlockGrid() override;

    // The characters are told the floor goes, then the members record and
    // the framework grid.
    void Destroy() override;
    void Reset() override;
    // A connector whose destination is an open outside area (numbered at
    // most upgrade level + 1) or a building floor (above the highest map
    // number); up to ten draws, null when none is accepted.
    [[nodiscard]] COrvaneGridMarker* RandomMarker() override;
    [[nodiscard]] COrvaneGridMarker* RandomConnector();
    // A connector's cell changed.
    void OnMarkerAdded(COrvaneGridMarker* pkMarker) override;
    // Characters on this floor whose way crosses the cell at the point plan
    // again.
    void OnCellChanged(const NiVec3& kPoint);
    [[nodiscard]] std::unique_ptr<COrvaneBlock> CreateBlock() override;
    // Cell borders, green without a selected building, blue with one.
    void DebugDraw() override;

    // The key a connector leading here answers: the grid number.
    [[nodiscard]] std::int32_t GetMarkerKey() const override { return GetId(); }

    using COrvaneBlockGrid::Setup;
    // The framework set-up with the first five, then the floor index, the
    // stack, an empty members record and the door cells turned with the
    // building.
    void Setup(std::int32_t iRows, std::int32_t iColumns, const NiVec3& kOrigin, std::int32_t iCellSize,
               std::int32_t iNumber, std::int32_t iFloorIndex, CBlockGridStack* pkStack,
               const std::vector<DoorRun>& kDoors, float fRotation);

    // False when a cell of the area is a connector or door cell, or the
    // area runs off the grid or wraps into the next row; an area of 0 rows
    // is placeable.
    [[nodiscard]] bool IsAreaPlaceable(std::int32_t iCell, std::int32_t iRows, std::int32_t iColumns) const;

    // A character (any grid entity that is not a placeable object) or a
    // placed object joins its factory's group; staff, prisoners and the
    // posts of objects that staff them are counted. False, counting
    // nothing, for null or a member already.
    bool AddMember(COrvaneGridEntity* pkEntity);
    // False, nothing changed, when it was not a member.
    bool RemoveMember(COrvaneGridEntity* pkEntity);
    [[nodiscard]] bool IsMember(const COrvaneGridEntity* pkEntity) const;
    // The member goes to the end of its factory's group, so that searches
    // asking the group in order spread over its members. False when it is
    // not a member.
    bool MoveMemberToEnd(COrvaneGridEntity* pkEntity);
    // The characters (or placed objects) a factory made on this floor, in
    // order; null when it has none here.
    [[nodiscard]] const std::vector<COrvaneGridEntity*>* FindGroup(const COrvaneBase* pkFactory,
                                                                    bool bCharacters) const;
    [[nodiscard]] std::size_t GetMemberCount() const;
    // Character models shown and objects added to the level's world.
    void ShowMembers();
    // Character models hidden and objects taken out of the world.
    void HideMembers();
    // Every character, then every object, is destroyed at once; the groups
    // go.
    void DestroyMembers();

    // The first connector leading to grid n; a negative n picks one at
    // random (RandomConnector); null when none.
    [[nodiscard]] COrvaneGridMarker* GetConnector(std::int32_t iNumber) { return FindMarker(iNumber); }

    [[nodiscard]] const CGridMembers* GetMembers() const { return m_pkMembers.get(); }
    [[nodiscard]] std::int32_t GetFloorIndex() const { return m_iFloorIndex; }
    [[nodiscard]] CBlockGridStack* GetStack() const { return m_pkStack; }
    [[nodiscard]] std::uint32_t GetStaffCount() const { return m_uiStaffCount; }
    [[nodiscard]] std::uint32_t GetPrisonerCount() const { return m_uiPrisonerCount; }

private:
    // The cell of the turned grid that an unturned cell index comes to
    // lie on; -1 off the grid.
    [[nodiscard]] std::int32_t TurnedCell(std::int64_t iCell, int iQuarterTurns) const;
    // Adds (+1) or takes off (-1) what the entity counts on the floor.
    void Count(COrvaneGridEntity* pkEntity, int iSign);
    // Tells every live character standing on this floor.
    template <typename Call> void TellCharacters(Call&& kCall);

    std::unique_ptr<CGridMembers> m_pkMembers;
    std::int32_t m_iFloorIndex = -1;
    CBlockGridStack* m_pkStack = nullptr; // link: the stack owns the grid
    std::uint32_t m_uiStaffCount = 0;
    std::uint32_t m_uiPrisonerCount = 0;
};
