#pragma once

// Joins the render library's start-up to the core's: the class names of the
// pixel data, palettes, textures, blit sources and screen textures become
// creatable by the scene-file stream, and the texture statics are set up;
// shut-down undoes both. Safe to call more than once.
void NiRenderLibraryRegister();
