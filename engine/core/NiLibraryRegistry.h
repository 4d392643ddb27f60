#pragma once

#include <cstdint>

using NiLibraryFunction = void (*)();

// Collects each engine library's start-up/shut-down pair. The main library
// has its own pair; up to 16 further libraries start in registration order
// and also shut down in that same order.
class NiLibraryRegistry
{
public:
    static constexpr std::uint32_t MAX_LIBRARIES = 16;

    static void RegisterMainLibrary(NiLibraryFunction pfnInit, NiLibraryFunction pfnShutdown);
    // False (and a line on standard error) once the table is full.
    static bool RegisterLibrary(NiLibraryFunction pfnInit, NiLibraryFunction pfnShutdown);
    // Log start-up, main library, then each library in registration order.
    static void InitLibraries();
    // Each library in registration order, then the main library, then the
    // log shut-down.
    static void ShutdownLibraries();

    [[nodiscard]] static std::uint32_t GetLibraryCount();
    // Forgets every registration (tests).
    static void Reset();
};

// One registration counter per library: only the first of a library's
// registration calls registers it.
class NiLibraryRegistrationCounter
{
public:
    // True for the first call only.
    bool Count() { return m_uiCount++ == 0; }
    [[nodiscard]] std::uint32_t Get() const { return m_uiCount; }
    void Reset() { m_uiCount = 0; }

private:
    std::uint32_t m_uiCount = 0;
};
