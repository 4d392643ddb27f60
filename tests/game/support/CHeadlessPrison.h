#pragma once

// Building a prison in a game that runs without a window, renderer or
// mouse, as the player builds it: a plan picked up from its build-menu
// group, the cursor moved over the floor until the held object may stand,
// and committed (committed rooms hire their staff); prisoners admitted
// straight onto the yard. Shared by the day harness and the game
// benchmarks.

#include <cstdint>
#include <functional>
#include <vector>

class CBaseObject;
class CBlockGrid;
class CGame;
class CWorldObject;

class CHeadlessPrison
{
public:
    // A plan: the factory that makes it and its template's name.
    struct Placed
    {
        const char* m_pcFactory;
        const char* m_pcTemplate;
    };

    // A building of the play-through's prison: where its search for a
    // place starts on the 40 x 40 yard, and the plans that go inside.
    struct Building
    {
        const char* m_pcTemplate;
        std::int32_t m_iRow;
        std::int32_t m_iColumn;
        std::vector<const char*> m_kInside;
    };

    // The play-through's prison, the one the play-through builds through
    // the window's input and the game benchmarks build headless: a cell
    // block with seven two-bed cells, a workshop with a workbench and the
    // repair room, a canteen with a serving counter, a table and a bench,
    // an infirmary with a sick bed and the medical room, an administration
    // block with the guard, planning and clerical rooms and the chapel.
    // Fourteen beds: the morning's parole hearing has candidates only once
    // ten prisoners or more are held.
    static const std::vector<Building>& PlayPrison();
    // The yard cell (row, column) the fence's search for a place starts
    // from, below the buildings.
    static constexpr std::int32_t FENCE_ROW = 36;
    static constexpr std::int32_t FENCE_COLUMN = 2;

    // The game started on the data in the current folder, its front end
    // skipped into level 0, random draws seeded.
    static bool EnterLevel(CGame& kGame, std::uint32_t uiSeed);

    // The cursor over the centre of a cell of the floor; false when the
    // pick lands elsewhere.
    static bool PointAt(const CBlockGrid& kFloor, std::int32_t iCell);

    // Picked up from its build-menu group, moved over the floor's cells
    // from iFrom on until it may stand, then committed. The cells run to
    // the last one; with bWrapAround on round to those before iFrom. The
    // object put down, or null (nothing is held afterwards).
    static CBaseObject* Commit(CGame& kGame, const Placed& kWhat, const CBlockGrid& kFloor, std::int32_t iFrom,
                               bool bWrapAround = false);

    // Inside the building each plan, from the ground floor up, on the first
    // floor where it may stand (each floor's cells searched as Commit
    // does), made by the factory the inside build page picks for the
    // plan's kind, put down by fnCommit (Commit when empty). The building
    // is selected meanwhile, then left on its top floor and unselected.
    // The number of plans no floor took (all of them when the building
    // has no floors or a plan is unknown).
    using Committer = std::function<CBaseObject*(const Placed&, const CBlockGrid&, std::int32_t)>;
    static int Furnish(CGame& kGame, CWorldObject& kBuilding, const std::vector<const char*>& kInside,
                       const Committer& fnCommit = {});

    // Prisoners made by the spawn manager, not walked down the arrival
    // road but put on the yard: into a free cell, else waiting in the
    // yard's middle. The number made.
    static int Admit(CGame& kGame, int iCount);
};
