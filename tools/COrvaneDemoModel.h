#pragma once

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
// "pause6", "work", "fight1_a" and "fight1_d". False (with the reason on
// standard error) when a file cannot be written.
[[nodiscard]] bool WriteDemoPerson(const std::string& kPath, int iHeads, int iBodies);

// The people's animations in the order the ".kf" file holds them.
inline constexpr const char* DEMO_PERSON_ANIMATIONS[] = {"walk",   "walk2",  "limp",   "pause",  "pause1",
                                                         "pause2", "pause3", "pause4", "pause5", "pause6",
                                                         "work",   "fight1_a", "fight1_d"};
