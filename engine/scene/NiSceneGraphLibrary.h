#pragma once

// Joins the scene graph's classes (nodes, rendering and texturing
// properties, lights and texture effects, special nodes, palettes) to the
// core library's start-up: the twelve default properties and the create
// functions come and go with it. Calling again adds nothing.
void NiSceneGraphRegister();

// The twelve shared default properties made afresh, as the start-up makes
// them; for callers that need them without the whole start-up.
void NiSceneGraphSetDefaultProperties();

// The class names the scene graph makes creatable, in registration order.
inline constexpr unsigned NI_SCENE_GRAPH_CLASS_COUNT = 27;
extern const char* const NI_SCENE_GRAPH_CLASS_NAMES[NI_SCENE_GRAPH_CLASS_COUNT];
