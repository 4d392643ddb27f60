#pragma once

#include "engine/core/NiRefPtr.h"
#include "engine/core/NiVec3.h"
#include "engine/scene/NiNode.h"

#include <string>

// The demo level "levels/demo01.nif" (Z up): "SkyBox" (a box seen from
// inside with a sky texture), "collide" (empty slots, then the ground and
// two boxes),
// "splines" (route nodes moved by transform controllers: a plain route, the
// arrival road and a connector each way between the yard and the field),
// "objects" (two crate placeholders, a "spawn" one the framework declines,
// the yard and field map texts, the camera start and the protesters), the
// fence switch with one child per upgrade level and a detail node, plus the
// empty save folder "maps".
[[nodiscard]] bool WriteDemoLevel(const std::string& kFolder);

inline constexpr const char* DEMO_LEVEL_FILE = "levels/demo01.nif";

// Empty child slots at the head of the level's "collide" node, ahead of
// its ground and blocks: the world's object nodes take them.
inline constexpr unsigned DEMO_OBJECT_SLOTS = 16;

// The prison's middle in the game's world (x, z; the ground at height 0):
// in view of the place the game puts its camera after each arrival on levels
// numbered 0 (104, 13, -30, looking east-south-east and a little down).
inline constexpr float DEMO_PRISON_X = 200.0f;
inline constexpr float DEMO_PRISON_Z = -64.0f;

// A route node: a transform controller moves it from one point to another
// in four seconds (the level's splines and the places of use of objects).
[[nodiscard]] NiRefPtr<NiNode> MakeDemoRoute(const char* pcName, const NiVec3& kFrom, const NiVec3& kTo);
