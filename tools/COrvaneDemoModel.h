#pragma once

#include "engine/core/NiVec3.h"

#include <cstdint>
#include <string>

// The demo data's animated model: "prisoner.nif", a skeleton of named
// bones, and "prisoner.kf" with its animations ("idle" and "walk"), written
// with the engine's own scene-file writer into the folder. False (with the
// reason on standard error) when a file cannot be written.
[[nodiscard]] bool WriteDemoModel(const std::string& kFolder);

// The bone names of the demo skeleton, root first.
inline constexpr const char* DEMO_MODEL_BONES[] = {"Prisoner", "Pelvis",   "Spine",   "Head",
                                                   "LeftArm",  "RightArm", "LeftLeg", "RightLeg"};

// A demo person at the path (".nif", with its ".kf" beside it): the demo
// skeleton with "head1".."headN" nodes under the head and "body1".."bodyM"
// nodes under the pelvis (texture variants the game picks by number), and
// the people's animations "walk", "walk2", "limp", "pause", "pause1" to
// "pause6", "work", and the bouts' pairs ("_a" for the one who acts, "_d"
// for the partner): fights, knockdowns, talks, the guards' fights and
// knockdowns, healing and blessing, with "recover" and "grecover". The
// model's top node is "Scene Root"; it draws as lit boxes: a head of its own
// skin tone under each head variant, a torso of a shade of the clothes'
// colour (red, green, blue) under each body variant (under the pelvis when
// there are none), and arms and legs. False (with the reason on standard
// error) when a file cannot be written.
// The turn about x (radians, the engine's sense) of the node that stands a
// demo person's bones, which lie along z, up along y.
inline constexpr float DEMO_PERSON_TURN = 1.5707964f;

[[nodiscard]] bool WriteDemoPerson(const std::string& kPath, int iHeads, int iBodies,
                                   const std::uint8_t (&aucClothes)[3]);

// The demo spawn vehicle at the path (".nif", with its ".kf" beside it):
// a body node named as the model, with a "camera" node behind and above it
// and a "bus03" node at its front that place and aim the camera while it
// is followed, and the animation "arrive" that drives the body in a
// straight line from one point to the other (the model's own coordinates,
// Z up) over DEMO_ARRIVE_LENGTH seconds and stops. False (with the reason
// on standard error) when a file cannot be written.
[[nodiscard]] bool WriteDemoVehicle(const std::string& kPath, const NiVec3& kFrom, const NiVec3& kTo);

inline constexpr float DEMO_ARRIVE_LENGTH = 4.0f;
// Where the vehicle's camera and target nodes sit on its body (Z up).
inline constexpr float DEMO_VEHICLE_CAMERA[3] = {-8.0f, 0.0f, 5.0f};
inline constexpr float DEMO_VEHICLE_TARGET[3] = {2.0f, 0.0f, 1.0f};

// The people's animations in the order the ".kf" file holds them.
inline constexpr const char* DEMO_PERSON_ANIMATIONS[] = {
    "walk",      "walk2",     "limp",         "pause",        "pause1",       "pause2",       "pause3",
    "pause4",    "pause5",    "pause6",       "work",         "fight1_a",     "fight1_d",     "fight2_a",
    "fight2_d",  "fight3_a",  "fight3_d",     "knockdown1_a", "knockdown1_d", "talk1_a",      "talk1_d",
    "talk2_a",   "talk2_d",   "talk3_a",      "talk3_d",      "talk4_a",      "talk4_d",      "recover",
    "gfight1_a", "gfight1_d", "gfight2_a",    "gfight2_d",    "gknockdown1_a", "gknockdown1_d", "gknockdown2_a",
    "gknockdown2_d", "grecover", "heal1_a",   "heal1_d",      "heal2_a",      "heal2_d",      "heal3_a",
    "heal3_d",   "bless1_a",  "bless1_d",     "bless2_a",     "bless2_d",     "bless3_a",     "bless3_d"};
