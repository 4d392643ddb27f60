#pragma once

#include "engine/core/NiRefPtr.h"
#include "engine/core/NiVec3.h"
#include "engine/scene/NiNode.h"

#include <cstdint>
#include <string>

// The demo levels "levels/demo01.nif" to "levels/demo03.nif" (Z up), one
// for each prison of the location screen, alike in their parts: "SkyBox" (a
// box seen from inside with a sky texture, the daylight under it),
// "collide" (empty slots, then the ground and two boxes), "splines" (route
// nodes moved by transform controllers: a plain route, the arrival road and
// a connector each way between the yard and the field), "objects" (two crate
// placeholders, a "spawn" one the framework declines, the yard and field map
// texts, the camera start and the protesters), "land" (the ground as it is
// drawn, a little under the picked one), the fence switch with one child
// per upgrade level and a detail node, plus the empty save folder "maps".
// Each lies where its level's start view looks and has land of its own
// colour and size, and shows the renderer's showcase on its stand with its
// sign between the start view and the yard.
[[nodiscard]] bool WriteDemoLevel(const std::string& kFolder);

// One demo level: its file, the prison's middle in the game's world (x, z;
// the ground at height 0), the ground's reach about that middle (in the
// game's world: west and east along x, north and south along z, all
// positive) and its colour.
struct DemoLevel
{
    const char* m_pcFile;
    float m_fPrisonX;
    float m_fPrisonZ;
    float m_fWest;
    float m_fEast;
    float m_fNorth; // towards -z
    float m_fSouth; // towards +z
    std::uint8_t m_aucGround[3]; // red, green, blue
    // Where the start view stands (the game's x and z).
    float m_fViewX;
    float m_fViewZ;
};

inline constexpr unsigned DEMO_LEVEL_COUNT = 3;

// The levels' soft ambient light (red, green, blue): what alone lights a
// shape without normals, such as the game's floor display over the yard.
inline constexpr float DEMO_DAYLIGHT[3] = {0.35f, 0.35f, 0.38f};

// The prison's middle lies where the game's start view of the level (the
// place the camera is put after each arrival: (104, 13, -30) heading 20
// degrees on level 0, (98, 29, 25) heading 153 on level 1, (67, 29, 36)
// heading 118 on level 2) looks at the ground, and the ground reaches back
// under each start view (on level 0 also under the scene's origin, where
// its arrival vehicle stops).
inline constexpr DemoLevel DEMO_LEVELS[DEMO_LEVEL_COUNT] = {
    {"levels/demo01.nif", 200.0f, -64.0f, 230.0f, 120.0f, 60.0f, 90.0f, {104, 124, 92}, 104.0f, -30.0f},
    {"levels/demo02.nif", -54.0f, -52.0f, 400.0f, 170.0f, 400.0f, 100.0f, {84, 128, 60}, 98.0f, 25.0f},
    {"levels/demo03.nif", -13.0f, -114.0f, 400.0f, 130.0f, 370.0f, 170.0f, {186, 160, 108}, 67.0f, 36.0f},
};

inline constexpr const char* DEMO_LEVEL_FILE = DEMO_LEVELS[0].m_pcFile;

// The first level's "programs" node: three pillars on the showcase's sand,
// along its eastern edge, one drawn by the demo material (programs), one by
// the demo effect's program technique, one by the demo's high-level material.
inline constexpr const char* DEMO_SHOWCASE_NODE = "programs";
inline constexpr const char* DEMO_SHOWCASE_MATERIAL = "showcase_material";
inline constexpr const char* DEMO_SHOWCASE_SIGNAL = "showcase_signal";
inline constexpr const char* DEMO_SHOWCASE_HLSL = "showcase_hlsl";
// The material pillar's texture, every texel this grey.
inline constexpr const char* DEMO_SHOWCASE_IMAGE = "levels/showcase.tga";
inline constexpr std::uint8_t DEMO_SHOWCASE_TEXEL = 200;
// Where the pillars stand in the level's file (Z up), about the prison's
// middle: x and y ranges, the material pillar south (-y) of the signal post
// and the high-level one south of both, DEMO_SHOWCASE_HEIGHT high from
// DEMO_SHOWCASE_BASE, which lies inside the stand under the sand. They keep
// south of the start view's line of sight to the prison's middle.
inline constexpr float DEMO_SHOWCASE_WEST = -52.0f, DEMO_SHOWCASE_EAST = -48.0f, DEMO_SHOWCASE_HEIGHT = 10.0f;
inline constexpr float DEMO_SHOWCASE_MATERIAL_Y = -30.0f, DEMO_SHOWCASE_SIGNAL_Y = -24.0f;
inline constexpr float DEMO_SHOWCASE_HLSL_Y = -36.0f;
inline constexpr float DEMO_SHOWCASE_BASE = 0.4f;

// Empty child slots at the head of the level's "collide" node, ahead of
// its ground and blocks: the world's object nodes take them.
inline constexpr unsigned DEMO_OBJECT_SLOTS = 16;

// The renderer's showcase (the first scene's turntable) stands between the
// start view and the yard, this far from the prison's middle (its sand
// clear of the yard), this much larger than in its own scene, its sand
// raised this high on a stand ("showcase_stand", a little lower and wider
// than the sand) that a sign ("showcase_sign") in front names as a
// demonstration: it is no building ground.
inline constexpr float DEMO_SHOWCASE_DISTANCE = 68.0f;
inline constexpr float DEMO_SHOWCASE_SCALE = 3.0f;
inline constexpr float DEMO_SHOWCASE_LIFT = 1.2f;
inline constexpr float DEMO_STAND_TOP = 0.9f;
inline constexpr const char* DEMO_SHOWCASE = "showcase";
inline constexpr const char* DEMO_SHOWCASE_STAND = "showcase_stand";
inline constexpr const char* DEMO_SHOWCASE_SIGN = "showcase_sign";
inline constexpr const char* DEMO_SHOWCASE_SIGN_IMAGE = "levels/showcase_sign.tga";
// The showcase's place in the level's file (Z up).
[[nodiscard]] NiVec3 DemoShowcasePlace(const DemoLevel& kLevel);

// Level 0's prison middle.
inline constexpr float DEMO_PRISON_X = DEMO_LEVELS[0].m_fPrisonX;
inline constexpr float DEMO_PRISON_Z = DEMO_LEVELS[0].m_fPrisonZ;

// The arrival road's ends in the level's file (Z up): it runs east into
// the yard and ends inside it near its western edge. The level's arrival
// vehicle drives along it.
[[nodiscard]] NiVec3 DemoRoadStart(const DemoLevel& kLevel);
[[nodiscard]] NiVec3 DemoRoadEnd(const DemoLevel& kLevel);

// A route node: a transform controller moves it from one point to another
// in four seconds (the level's splines and the places of use of objects).
[[nodiscard]] NiRefPtr<NiNode> MakeDemoRoute(const char* pcName, const NiVec3& kFrom, const NiVec3& kTo);
