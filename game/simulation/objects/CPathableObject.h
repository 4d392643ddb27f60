#pragma once

#include "engine/core/NiVec3.h"
#include "game/simulation/objects/CBaseObject.h"

#include <cstdint>
#include <memory>
#include <vector>

class CGridCharacter;
class COrvaneAnimationSpline;
class COrvaneSceneNode;
class NiAVObject;

// One place of use: who holds it and the walk into it.
struct CUseSlot
{
    CUseSlot();
    ~CUseSlot();
    CUseSlot(const CUseSlot&) = delete;
    CUseSlot& operator=(const CUseSlot&) = delete;

    CGridCharacter* m_pkUser = nullptr; // link
    std::unique_ptr<COrvaneAnimationSpline> m_pkSpline;
    float m_fHeading = 0.0f;
    NiVec3 m_kPosition;
};

// The places of use reached through one entrance.
struct CUseSlotList
{
    CUseSlotList();
    ~CUseSlotList();
    CUseSlotList(const CUseSlotList&) = delete;
    CUseSlotList& operator=(const CUseSlotList&) = delete;

    // Out of the world's scene and deleted.
    void RemoveMarker();

    std::vector<std::unique_ptr<CUseSlot>> m_kSlots;
    NiVec3 m_kEntrance;          // the door node's local translation
    float m_fColumnOffset = 0.0f; // whole numbers
    float m_fRowOffset = 0.0f;
    // Shows the access cell while the object is held for placing; goes
    // once the object stands.
    std::unique_ptr<COrvaneSceneNode> m_pkMarker;
    NiAVObject* m_pkDoor = nullptr; // link: a node of the model
};

// Rounds to the nearest whole number, halves away from zero.
[[nodiscard]] float NearestWhole(float fValue);

// An object characters walk to and use: rooms and furniture whose "door"
// nodes are entrances and whose "SP_" nodes are the places of use.
class CPathableObject : public CBaseObject
{
public:
    CPathableObject();
    ~CPathableObject() override;

    void Destroy() override;
    void Reset() override;
    // While held for placing, the access markers show where the entrances
    // would be and whether the object may stand there.
    void Update(float fDt) override;
    // Only while placed: every place's walk prepares its path.
    virtual void NotifyUsers();
    int Create(COrvaneObjectDesc& kDesc) override;
    void BuildUseSlots(COrvaneObjectDesc& kDesc) override;
    // The footprint, then each entrance's access cell without blocking it.
    int OccupyFootprint() override;
    int ClearFootprint() override;
    void Place() override;
    [[nodiscard]] bool IsPlacementValid(bool bWithBorder) const override;
    [[nodiscard]] bool WantsUser() const override;
    [[nodiscard]] bool IsUnattractive() const override;
    [[nodiscard]] bool IsNotTower() const override;
    [[nodiscard]] bool AddsPostsToFloorStaff() const override { return true; }
    void DailyUpdate() override;

    [[nodiscard]] virtual float GetUseRadius() const { return 30.0f; }
    virtual bool AssignUser(CGridCharacter* pkUser, std::int32_t iList, std::int32_t iSlot);
    virtual bool ReleaseUser(CGridCharacter* pkUser, std::int32_t iList, std::int32_t iSlot);
    [[nodiscard]] virtual bool IsUserAt(const CGridCharacter* pkUser, std::int32_t iList, std::int32_t iSlot) const;
    virtual bool FindFreeUseSlot(std::int32_t& iList, std::int32_t& iSlot) const;

    // The cell in front of the entrance (-1 for list 0); -1 off the four
    // headings, without lists or grid.
    [[nodiscard]] std::int32_t GetAccessCell(std::int32_t iList) const;
    [[nodiscard]] COrvaneAnimationSpline* GetSlotSpline(std::int32_t iList, std::int32_t iSlot) const;
    [[nodiscard]] const NiVec3* GetSlotPosition(std::int32_t iList, std::int32_t iSlot) const;
    [[nodiscard]] float GetSlotHeading(std::int32_t iList, std::int32_t iSlot) const;
    void AdjustAttraction(int iDelta);
    // The object stands on the grid, or both grids are floors of one
    // building.
    [[nodiscard]] bool IsOnSameBuilding(const COrvaneBlockGrid* pkGrid) const;
    // One request per unit of the staff count; answers the requests made.
    int SpawnStaff();
    void AddStaffMember(CGridCharacter* pkMember);
    void RemoveStaffMember(CGridCharacter* pkMember);

    [[nodiscard]] const std::vector<std::unique_ptr<CUseSlotList>>& GetUseSlotLists() const { return m_kLists; }
    [[nodiscard]] const std::vector<CGridCharacter*>& GetStaffMembers() const { return m_kStaffMembers; }
    [[nodiscard]] std::uint16_t GetCapacity() const { return m_usCapacity; }
    [[nodiscard]] std::uint16_t GetUsers() const { return m_usUsers; }
    [[nodiscard]] bool IsOpen() const { return m_ucOpen != 0; }
    void SetOpen(bool bOpen) { m_ucOpen = bOpen ? 1 : 0; }

protected:
    // Staff spawning asks the game for one staff member for this room.
    virtual void RequestStaffUnit();
    [[nodiscard]] CUseSlot* SlotAt(std::int32_t iList, std::int32_t iSlot) const;
    void DeleteLists();
    void ColourMarkers();

    std::vector<std::unique_ptr<CUseSlotList>> m_kLists;
    std::vector<CGridCharacter*> m_kStaffMembers; // links
    std::uint16_t m_usCapacity = 0;
    std::uint16_t m_usUsers = 0;
    std::uint8_t m_ucOpen = 1;
    std::uint8_t m_ucAccessOccupied = 0;
};
