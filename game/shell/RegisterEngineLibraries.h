#pragma once

// Every engine library joins the registry's start-up and shut-down, in the
// order the engine starts them: the core first, then the scene, image and
// render steps the core runs, the animation library, the binary shader
// library, the shader libraries and last the device renderer's library. The
// program's entry calls this once before the application starts the engine;
// a second call only counts.
void RegisterEngineLibraries();
