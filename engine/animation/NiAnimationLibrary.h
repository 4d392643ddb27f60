#pragma once

#include "engine/core/NiLibraryRegistry.h"

class NiObject;
class NiObjectNET;
class NiObjectStream;
class NiTimeController;

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
    // functions, then the conversion of old controllers after each load.
    static void Init();
    // Once after Init: removes every name and the conversion.
    static void Shutdown();
    [[nodiscard]] static bool IsInitialized();

    // The names Init enters, in order.
    [[nodiscard]] static std::uint32_t GetClassNameCount();
    [[nodiscard]] static const char* GetClassName(std::uint32_t uiIndex);

    // After a load of a file before 10.1.0.104: the old look-at, path and
    // roll controllers of every object under a top-level object become
    // interpolators of the objects' transform controllers.
    static void ConvertLegacyControllers(NiObjectStream& kStream, NiObject* pkTop);
    // Depth first, each object's controllers before its children: look-at
    // and path controllers first, then rolls (which need the look-at).
    static void ConvertControllersOf(NiObjectStream& kStream, NiObject* pkObject);
    // Anim type, cycle type, direction and active bits, frequency, phase
    // and key range.
    static void CopyTimeControllerSettings(const NiTimeController* pkFrom, NiTimeController* pkTo);

    // Forgets the registration and the initialised flag (tests).
    static void Reset();

    // The registration object's type.
    class StaticRegister
    {
    public:
        StaticRegister() { RegisterOnce(); }
    };
};
