#pragma once

#include "game/simulation/objects/CBaseObject.h"

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

class CBlockGrid;
class CBlockGridStack;
class COrvaneBlockGrid;
class COrvaneSceneNode;
class COrvaneTrigger;
class NiAVObject;
class NiNodeAttachment;
struct CGridDesc;

// A way into a building from the outside map: the outside cell in front of
// it, the path node that leads in and the marker shown while the building is
// held for placing.
struct CBuildingEntrance
{
    CBuildingEntrance();
    ~CBuildingEntrance();
    CBuildingEntrance(const CBuildingEntrance&) = delete;
    CBuildingEntrance& operator=(const CBuildingEntrance&) = delete;

    // Out of the world's scene and deleted.
    void RemoveMarker();

    std::int32_t m_iCell = -1;
    std::unique_ptr<NiNodeAttachment> m_pkPath;
    std::unique_ptr<COrvaneSceneNode> m_pkMarker;
};

// A building's saved values: the base object's and the number of its ground
// floor's grid.
struct CWorldObjectState : CBaseObjectState
{
    std::int32_t m_iSavedGrid = 0;
};

// A building on the outside map: its model carries its floors and roof,
// the descriptions of its interior floors, its entrances and the paths in,
// out and between floors. Placing it lays out one grid per floor and links
// them with the outside map; afterwards the player looks into it floor by
// floor.
class CWorldObject : public CBaseObject
{
public:
    // The grid number a description gives when no saved number applies.
    static constexpr std::int32_t NO_FLOOR = -1;

    CWorldObject();
    ~CWorldObject() override;

    // Characters inside are sent out, the outside map forgets the ways in,
    // the floors go; then the base object.
    void Destroy() override;
    void Reset() override;
    // The trigger's per-node call: pass 1 lays out floors from "map" texts,
    // pass 2 makes connectors from "door" and "connector" texts. 1 when the
    // node was used.
    int HandleUserProp(const char* pcText, int iPass, NiAVObject* pkNode) override;
    int BuildNode(const char* pcText, int iPass, NiAVObject* pkNode);
    void Update(float fDt) override;
    int Create(COrvaneObjectDesc& kDesc) override;
    int SaveState(COrvaneFile& kFile) override;
    int LoadState(COrvaneFile& kFile) override;
    [[nodiscard]] std::unique_ptr<COrvaneIOState> NewState() const override;
    [[nodiscard]] bool ParseState(COrvaneFile& kFile, COrvaneIOState& kState) const override;
    void ApplyState(const COrvaneIOState& kState) override;
    // Lays out the floors, stands on the outside map and is complete at
    // once.
    void Place() override;
    [[nodiscard]] bool IsPlacementValid(bool bWithBorder) const override;
    // Only the building's own upkeep; its posts' wages are not paid here.
    void DailyUpdate() override;
    [[nodiscard]] bool MatchQuery(CObjectQuery& kQuery) const override;
    [[nodiscard]] bool IsBuilding() const override { return true; }

    // After a load: the floors laid out again (hidden, construction not
    // begun) and the building standing where it stood.
    void BuildFloors();
    // Shows the next floor; the building is complete once the roof shows.
    // With bAll every remaining step runs at once.
    void ConstructionStep(bool bAll);

    // One floor up, not past the roof (with bBelowRoof not onto it); true
    // when it moved.
    bool GoUpFloor(bool bBelowRoof);
    // One floor down, not below the first; true when it moved.
    bool GoDownFloor();
    void ShowAllFloors();
    // One floor down and the camera's movement bounds around the building.
    void FocusCamera();
    // The grid is the current floor of this building.
    [[nodiscard]] bool IsCurrentBuilding(const COrvaneBlockGrid* pkGrid) const;
    // Staff and prisoners on all of the building's floors.
    [[nodiscard]] std::uint32_t SumRoomCapacity() const;
    [[nodiscard]] std::uint32_t SumRoomOccupancy() const;
    // The building's kind word or name holds the text.
    [[nodiscard]] bool NameContains(const char* pcText) const;
    [[nodiscard]] bool HasInteriorFloors() const;
    // The number of the stack's first grid; 0 without one.
    [[nodiscard]] std::int32_t GetFirstGridNumber() const;

    // The building whose floors the grid is one of; null for an outside
    // area or a grid of no live building.
    [[nodiscard]] static CWorldObject* FindOwnerOf(const COrvaneBlockGrid* pkGrid);

    [[nodiscard]] const std::vector<NiAVObject*>& GetFloors() const { return m_kFloors; }
    // The index in the floor list of the highest floor shown; -1 before the
    // first.
    [[nodiscard]] std::int32_t GetCurrentFloor() const { return m_iCurrentFloor; }
    // The index of the roof, or -1 without one.
    [[nodiscard]] std::int32_t GetRoofIndex() const;
    [[nodiscard]] const std::vector<std::unique_ptr<NiNodeAttachment>>& GetPathNodes() const { return m_kPathNodes; }
    [[nodiscard]] const std::vector<std::unique_ptr<CBuildingEntrance>>& GetEntrances() const { return m_kEntrances; }
    [[nodiscard]] CBlockGridStack* GetStack() const { return m_pkStack; }
    [[nodiscard]] std::int32_t GetSavedGrid() const { return m_iSavedGrid; }
    [[nodiscard]] std::uint32_t GetExitCount() const { return m_uiExitCount; }
    [[nodiscard]] std::int32_t GetBuildingKind() const { return m_iBuildingKind; }
    [[nodiscard]] float GetConstructionTimer() const { return m_fConstructionTimer; }
    [[nodiscard]] bool IsComplete() const { return m_ucComplete != 0; }
    [[nodiscard]] const COrvaneSceneNode* GetGroundPlate() const { return m_pkGroundPlate.get(); }

private:
    // Walks the model with the trigger (both passes) and commits the stack;
    // the model's floor and roof nodes become the floor list.
    void LayOutFloors();
    void CollectFloors();
    // The numbers a saved building's floors take again; false (numbered as
    // a new building) when none is saved or one of them is in use.
    bool PlanSavedNumbers();
    void TakeEntranceCells();
    // The outside cell under the entrance's path node; -1 without one.
    [[nodiscard]] std::int32_t EntranceCell(const CBuildingEntrance& kEntrance) const;
    void RemoveGroundPlate();
    void RemoveStack();
    void SetFloorShown(std::int32_t iIndex, bool bShown);
    // The nearest filled floor slot above (below) the index, or -1.
    [[nodiscard]] std::int32_t NextFloorAbove(std::int32_t iIndex, std::int32_t iLimit) const;
    [[nodiscard]] std::int32_t NextFloorBelow(std::int32_t iIndex) const;
    [[nodiscard]] std::int32_t FirstFloor() const;
    // The highest filled slot under the roof.
    [[nodiscard]] std::int32_t TopFloor() const;
    void MoveCameraToCurrentGrid() const;
    void ColourEntranceMarkers();
    // The offset turned by the building's heading (multiples of 90 only).
    [[nodiscard]] NiVec3 TurnOffset(const NiVec3& kOffset) const;
    bool MakeGrid(const std::string& kText, const NiVec3& kOffset);
    bool MakeConnectors(const std::string& kText, const NiVec3& kOffset);

    std::vector<NiAVObject*> m_kFloors; // links: nodes of the model; null for a gap
    std::int32_t m_iCurrentFloor = -1;
    std::uint8_t m_ucHasRoof = 0;
    std::vector<std::unique_ptr<NiNodeAttachment>> m_kPathNodes;
    std::vector<std::unique_ptr<CBuildingEntrance>> m_kEntrances;
    std::unique_ptr<COrvaneTrigger> m_pkTrigger;
    CBlockGridStack* m_pkStack = nullptr; // link: the grid manager owns it
    std::int32_t m_iSavedGrid = 0;
    std::uint32_t m_uiExitCount = 0;
    std::int32_t m_iBuildingKind = -1;
    std::unique_ptr<COrvaneSceneNode> m_pkGroundPlate;
    float m_fConstructionTimer = 0.0f;
    std::uint8_t m_ucComplete = 0;
    // Saved numbering in force while the floors are laid out: the base
    // added to each description's own number.
    std::uint8_t m_ucUseSavedNumbers = 0;
    std::int64_t m_iSavedBase = 0;
};
