#pragma once

#include <cstdint>

class CAIPrisoner;
class CBaseObject;
class CBlockGrid;
class CWorldObject;
class COrvaneBlockGrid;

// What a floor asks of a character standing on it. The game's characters
// implement it; a grid entity that is not a placeable object counts as a
// character on a floor whether or not it does, but only one that does is
// counted as staff or prisoner and told of changes to its floor.
class CGridCharacter
{
public:
    // Whom a floor counts the character as.
    enum class Role
    {
        Other,
        Staff,
        Prisoner,
    };

    virtual ~CGridCharacter() = default;

    [[nodiscard]] virtual Role GetFloorRole() const = 0;
    // The floor is going away: the character must let go of it.
    virtual void OnGridDestroyed(CBlockGrid& kGrid) = 0;
    // A cell of the floor changed: a character whose current or next cell
    // it is, or whose planned path crosses it, plans again.
    virtual void OnGridCellChanged(CBlockGrid& kGrid, std::int32_t iCell) = 0;
    // True when the character stands on the cell of the grid, is headed
    // for it, or its unfinished path has it at the current waypoint or the
    // one after.
    [[nodiscard]] virtual bool IsAboutToStandOn(const COrvaneBlockGrid& kGrid, std::int32_t iCell) const = 0;
    // Moves the character off cells an object is being placed on.
    virtual void ForceRelocate() = 0;
    // A placed object went: the character must forget it.
    virtual void OnObjectRemoved(CBaseObject& kObject) = 0;
    // A building went: a character on one of its floors, or on its way
    // into one, must leave it.
    virtual void OnWorldObjectRemoved(CWorldObject& kBuilding) { (void)kBuilding; }
    // After a saved game is read and its objects stand again: the
    // character finds what its record names (objects, grid, partners).
    virtual void ResolveReferences() {}
    // The character's step at the start of a game day.
    virtual void FinishActivity() {}
    // The object this character was posted to is gone: it has no home.
    virtual void OnPostLost(CBaseObject& kObject) { (void)kObject; }
    // The prisoner this character is, for the lists of prisoners waiting
    // for a cell; null for anyone else.
    [[nodiscard]] virtual CAIPrisoner* AsPrisoner() { return nullptr; }
};
