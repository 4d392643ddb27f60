#pragma once

#include <cstdint>
#include <vector>

// The renderer library's place in the engine's start-up: the first call
// registers its start-up and shut-down with the library registry.
void NiDX9RendererLibraryInit();
// Once per process: the library's identifiers and the packing registry.
void NiDX9RendererLibraryStartup();
// Only after start-up: the packing registry, then the device top object,
// the machine's description and the identifiers.
void NiDX9RendererLibraryShutdown();

[[nodiscard]] bool NiDX9RendererLibraryIsStarted();
// The identifiers start-up added (each once).
[[nodiscard]] const std::vector<std::uint32_t>& NiDX9RendererLibraryIdentifiers();
// Back to a fresh process (tests).
void NiDX9RendererLibraryReset();
