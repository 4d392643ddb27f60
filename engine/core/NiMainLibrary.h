#pragma once

#include "engine/core/NiLibraryRegistry.h"

#include <cstdint>

// Where a library's start-up work falls among the core start-up steps.
enum NiInitStep : int
{
    NI_INIT_DEFAULT_PROPERTIES = 100,
    NI_INIT_IMAGE_CONVERTER = 200,
    NI_INIT_STREAM_TABLES = 210,
    NI_INIT_SCREEN_GEOMETRY = 220,
    NI_INIT_TEXTURE_FORMAT = 230,
    NI_INIT_SQRT_TABLE = 240,
    NI_INIT_PROCESSOR = 300,
    NI_INIT_CREATE_FUNCTIONS = 400,
};

// Where its shut-down work falls; the shut-down is not simply the reverse.
enum NiShutdownStep : int
{
    NI_SHUTDOWN_CREATE_FUNCTIONS = 100,
    NI_SHUTDOWN_DEFAULT_PROPERTIES = 200,
    NI_SHUTDOWN_STREAM_TABLES = 210,
    NI_SHUTDOWN_CURRENT_RENDERER = 220,
    NI_SHUTDOWN_SCREEN_GEOMETRY = 230,
    NI_SHUTDOWN_SOLID_TEXTURES = 240,
    NI_SHUTDOWN_SQRT_TABLE = 250,
    NI_SHUTDOWN_LIST_POOL = 300,
};

// The core library ("NiMain"). The libraries that belong to it (scene,
// render, ...) join its start-up through ordered hooks added by their
// registration functions before Init runs.
class NiMainLibrary
{
public:
    static constexpr std::uint32_t CREATE_FUNCTION_NAME_COUNT = 71;
    // Every class name the core start-up must make creatable, in order.
    static const char* const CREATE_FUNCTION_NAMES[CREATE_FUNCTION_NAME_COUNT];

    // Registers Init/Shutdown as the main library on the first call only.
    static void RegisterOnce();

    // Once; a second call without Shutdown in between does nothing.
    static void Init();
    // Once after Init; without Init it does nothing.
    static void Shutdown();
    [[nodiscard]] static bool IsStarted();

    // Hooks with equal steps run in the order they were added. Adding the
    // same pair twice adds it once. Returns false for a duplicate.
    static bool AddModuleHook(int iInitStep, NiLibraryFunction pfnInit, int iShutdownStep, NiLibraryFunction pfnShutdown);
    [[nodiscard]] static std::uint32_t GetModuleHookCount();

    // Names of the list above still without a create function.
    [[nodiscard]] static std::uint32_t CountMissingCreateFunctions(bool bReport);

    // Back to the state before any registration (tests).
    static void Reset();
};
