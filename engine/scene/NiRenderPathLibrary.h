#pragma once

// Joins the render-path classes (cameras, accumulators, lines, screen
// polygons) to the core library's start-up: their create functions come and
// go with it. Calling again adds nothing.
void NiRenderPathRegister();

// The class names the render path makes creatable.
inline constexpr unsigned NI_RENDER_PATH_CLASS_COUNT = 6;
extern const char* const NI_RENDER_PATH_CLASS_NAMES[NI_RENDER_PATH_CLASS_COUNT];
