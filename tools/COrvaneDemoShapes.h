#pragma once

#include "engine/core/NiVec3.h"
#include "engine/scene/NiTriShape.h"

#include <cstdint>

// Lit boxes for the demo models and levels, shared so that each looks the
// same under the sun.

// An axis box from kMin to kMax; inward turns its faces to the inside. Each
// face carries its own normal, so the sun lights it (a box without normals
// only takes the ambient light). The caller's tree takes the box.
[[nodiscard]] NiTriShape* MakeDemoBox(const NiVec3& kMin, const NiVec3& kMax, bool bInward, const char* pcName);

// The same box facing out, with a material of the colour (red, green, blue)
// for both the ambient and the sun's light.
[[nodiscard]] NiTriShape* MakeDemoColouredBox(const NiVec3& kMin, const NiVec3& kMax,
                                              const std::uint8_t (&aucColour)[3], const char* pcName);
