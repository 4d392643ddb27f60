#pragma once

// What the game benchmarks share: the demo data in a temporary folder, and
// the process set up as the program's entry does it (engine libraries, the
// renderer factory), with message boxes answered and counted.

#include "game/shell/CDX9RendererFactory.h"

#include <filesystem>
#include <string>
#include <vector>

// SDL's offscreen video (OpenGL through EGL, no display), dummy audio and
// the `gl` back end, unless the caller chose other video or audio drivers.
void UseOffscreenDrivers();

// A copy of the demo data in a new temporary folder, the current folder
// while it lives; removed at the end.
class DemoFolder
{
public:
    DemoFolder() = default;
    ~DemoFolder();
    DemoFolder(const DemoFolder&) = delete;
    DemoFolder& operator=(const DemoFolder&) = delete;

    // False (with a line on standard error) when the copy fails.
    bool Create(const char* pcDemoData);
    [[nodiscard]] const std::filesystem::path& GetPath() const { return m_kFolder; }

private:
    std::filesystem::path m_kFolder;
    std::filesystem::path m_kPrevious;
};

// One fresh start's process state: every process-wide state of the layers
// back to the start, the engine libraries registered as the program's entry
// registers them, the game's renderer factory set and every message box
// answered "OK" and kept. The destructor undoes it all (the application
// too), so the next one starts afresh.
class FreshProcess
{
public:
    FreshProcess();
    ~FreshProcess();
    FreshProcess(const FreshProcess&) = delete;
    FreshProcess& operator=(const FreshProcess&) = delete;

    [[nodiscard]] const std::vector<std::string>& GetBoxes() const { return m_kBoxes; }

private:
    CDX9RendererFactory m_kRenderers;
    std::vector<std::string> m_kBoxes;
};
