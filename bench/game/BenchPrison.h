#pragma once

// The prison the game benchmarks run, built into the game's level 0 as the
// player builds it: each object picked from its build-menu group, moved over
// the floor until it may stand, and committed (committed rooms hire their
// staff). Then people made through their factories.

#include <cstdint>

class CGame;

// The game started on the demo data in the current folder without a window,
// renderer or mouse, its front end skipped into level 0, random draws
// seeded. Needs the engine libraries up.
bool EnterHeadlessLevel(CGame& kGame, std::uint32_t uiSeed);

// The play-through's prison (CHeadlessPrison::PlayPrison) and its fence. False when a building or the fence could not be put down; inside
// items no floor of their building took are counted in iNotFitting.
bool BuildPrison(CGame& kGame, int& iNotFitting);

// Prisoners made by the spawn manager (the prisoner factory), put on the
// yard: into a free cell, else waiting in the yard's middle. The number made.
int AdmitPrisoners(CGame& kGame, int iCount);

// Staff of the four kinds in turn, made through their factories at free
// yard cells, until iTotal staff are in the registry (the rooms' own hires
// count). The number in the registry at the end.
int HireStaff(CGame& kGame, int iTotal);
