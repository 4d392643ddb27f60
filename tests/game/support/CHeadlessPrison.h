#pragma once

// Building a prison in a game that runs without a window, renderer or
// mouse, as the player builds it: a plan picked up from its build-menu
// group, the cursor moved over the floor until the held object may stand,
// and committed (committed rooms hire their staff); prisoners admitted
// straight onto the yard. Shared by the day harness and the game
// benchmarks.

#include <cstdint>

class CBaseObject;
class CBlockGrid;
class CGame;

class CHeadlessPrison
{
public:
    // A plan: the factory that makes it and its template's name.
    struct Placed
    {
        const char* m_pcFactory;
        const char* m_pcTemplate;
    };

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

    // Prisoners made by the spawn manager, not walked down the arrival
    // road but put on the yard: into a free cell, else waiting in the
    // yard's middle. The number made.
    static int Admit(CGame& kGame, int iCount);
};
