#pragma once

// The device's vertex and pixel programs against hand-written GLSL in plain
// OpenGL: prints the two ratio lines with their goals. False when there is
// no OpenGL 3.3 core context. A smoke run measures a token.
bool RunProgramDrawBenchmarks(bool bSmoke);
