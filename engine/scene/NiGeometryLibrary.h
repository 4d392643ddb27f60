#pragma once

// Joins the geometry classes (geometry data, triangle shapes and strips,
// screen geometry, particles, line data, skinning) to the core library's
// start-up: their create functions, the screen-element pool and the vertex
// controllers' volatile-data hook come and go with it. Calling again adds
// nothing.
void NiGeometryRegister();

// The class names the geometry makes creatable, old names included.
inline constexpr unsigned NI_GEOMETRY_CLASS_COUNT = 19;
extern const char* const NI_GEOMETRY_CLASS_NAMES[NI_GEOMETRY_CLASS_COUNT];
