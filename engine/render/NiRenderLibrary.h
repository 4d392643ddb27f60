#pragma once

// Joins the render library's start-up to the core's: the class names of the
// pixel data and palettes become creatable by the scene-file stream, and are
// removed again at shut-down. Safe to call more than once.
void NiRenderLibraryRegister();
