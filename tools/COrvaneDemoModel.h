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
