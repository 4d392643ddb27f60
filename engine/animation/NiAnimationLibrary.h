#pragma once

#include "engine/core/NiLibraryRegistry.h"

#include <cstdint>

// The animation library's start-up and shut-down: its class names in the
// scene stream's class table. One registration object hands both to the
// engine's library registry.
class NiAnimationLibrary
{
public:
    // Registers Init/Shutdown with the library registry on the first call
    // only. A static object calls it before the program's entry; a program
    // that links the library without naming anything in that object file
    // calls it itself.
    static void RegisterOnce();

    // Once until Shutdown: enters the class names with their create
    // functions.
    static void Init();
    // Once after Init: removes every name Init entered.
    static void Shutdown();
    [[nodiscard]] static bool IsInitialized();

    // The names Init enters, in order.
    [[nodiscard]] static std::uint32_t GetClassNameCount();
    [[nodiscard]] static const char* GetClassName(std::uint32_t uiIndex);

    // Forgets the registration and the initialised flag (tests).
    static void Reset();

    // The registration object's type.
    class StaticRegister
    {
    public:
        StaticRegister() { RegisterOnce(); }
    };
};
