#pragma once

#include "engine/core/NiColor.h"
#include "engine/core/NiRefPtr.h"
#include "engine/core/NiVec3.h"

#include <cstdint>
#include <string>

class NiCamera;
class NiNode;

// The first scene a new user sees: "models/demo.nif" with its images beside
// it. A floor with a TGA base map (modulated), a box with a load-direct DXT1
// DDS, two bars of two bones bent 90 degrees (one skinned through a skin
// partition, one without), a glass pane drawn by the demo effect, a
// directional, a point and an ambient light and the camera, written with the engine's own writers. The values are public
// so a test can compute the picture by hand.
namespace demo_scene
{
inline constexpr const char* FILE_NAME = "models/demo.nif";
inline constexpr const char* FLOOR_IMAGE = "floor.tga";
inline constexpr const char* BOX_IMAGE = "box.dds";
// The node the game turns; the camera is outside it.
inline constexpr const char* TURNTABLE = "Turntable";
inline constexpr const char* BAR_PARTITIONED = "BarPartitioned";
inline constexpr const char* BAR_SOFTWARE = "BarSoftware";

// Floor: z = 0, x and y in [-FLOOR_HALF, FLOOR_HALF], normals up.
inline constexpr float FLOOR_HALF = 6.0f;
inline constexpr std::uint8_t FLOOR_TEXEL[3] = {200, 160, 120};
// Box: centred on BOX_CENTRE (x, y), from z = 0 to BOX_SIDE.
inline constexpr float BOX_SIDE = 1.5f;
inline const NiVec3 BOX_CENTRE{-2.5f, 2.0f, 0.0f};
// How far the box's foot sinks into the floor where the levels show it.
inline constexpr float SHOWCASE_BOX_SINK = 0.05f;
// R5G6B5 0x07FF: no red, full green and blue.
inline constexpr std::uint16_t BOX_TEXEL_565 = 0x07FF;
inline constexpr std::uint8_t BOX_TEXEL[3] = {0, 255, 255};
// Bars: flat at z = BAR_HEIGHT, along x from their origin, 2 long and 0.5
// wide (times BAR_SCALE), the second half turned 90 degrees about z.
inline constexpr float BAR_HEIGHT = 0.5f;
inline constexpr float BAR_SCALE = 1.5f;
// The two bars' origins differ by x only, so that the camera straight
// above sees one as the other moved by BAR_SHIFT_PIXELS at 1024 x 768.
inline const NiVec3 BAR_ORIGIN_PARTITIONED{-2.5f, -1.5f, BAR_HEIGHT};
inline constexpr int BAR_SHIFT_PIXELS = 250;
// 250 pixels of 1024 across the 9.5 units the camera sees at the bars' depth.
inline constexpr float BAR_SHIFT = 250.0f * 9.5f / 1024.0f;
// Materials (no emittance, no specular).
inline const NiColorRGB FLOOR_MATERIAL{1.0f, 1.0f, 1.0f};
inline const NiColorRGB BOX_MATERIAL{1.0f, 1.0f, 1.0f};
inline const NiColorRGB BAR_MATERIAL{0.9f, 0.5f, 0.2f};
// Lights: the directional one shines along DIRECTION; the ambient one adds
// AMBIENT to every material's ambient colour (material ambient = diffuse);
// the point light affects the box alone, from POINT_POSITION, with
// constant attenuation POINT_ATTENUATION.
inline const NiVec3 DIRECTION{0.0f, 0.6f, -0.8f};
inline const NiColorRGB DIRECTIONAL{0.6f, 0.6f, 0.6f};
inline const NiColorRGB AMBIENT{0.2f, 0.2f, 0.2f};
inline const NiColorRGB POINT{0.3f, 0.2f, 0.1f};
inline const NiVec3 POINT_POSITION{-2.5f, 2.0f, 3.5f};
inline constexpr float POINT_ATTENUATION = 1.25f;
// Camera: at CAMERA_POSITION looking straight down (-z), up +y, right +x;
// frustum (-0.5, 0.5) x (-0.375, 0.375) at unit distance, near 1, far 20.
inline const NiVec3 CAMERA_POSITION{0.0f, 0.0f, 10.0f};
inline constexpr float FRUSTUM_HALF_WIDTH = 0.5f;
inline constexpr float FRUSTUM_HALF_HEIGHT = 0.375f;

// The scene in memory: a top node holding the camera and the turntable.
[[nodiscard]] NiRefPtr<NiNode> Build();
// The first camera under the node; null when there is none.
[[nodiscard]] NiCamera* FindCamera(NiNode* pkRoot);
// Writes the floor's and the box's images into the folder, which must exist;
// false with the reason on standard error.
[[nodiscard]] bool WriteImages(const std::string& kFolder);
// The scene's objects that show the renderer at work (the turntable with its
// lights, textured floor and box, skinned bars and effect glass), without
// the camera, the box's foot sunk SHOWCASE_BOX_SINK into the floor: the
// demo levels place them where their start view sees them.
[[nodiscard]] NiRefPtr<NiNode> BuildShowcase();
// Writes FILE_NAME and both images into the folder (its "models" folder is
// made); false with the reason on standard error.
[[nodiscard]] bool Write(const std::string& kFolder);
} // namespace demo_scene
