#pragma once

// Set-up shared by the tests of the demo-data writers.

#include "engine/animation/NiAnimationLibrary.h"
#include "engine/core/NiMainLibrary.h"
#include "engine/render/NiRenderLibrary.h"
#include "engine/render/image/NiRenderImageLibrary.h"
#include "engine/scene/NiSceneGraphLibrary.h"
#include "engine/scene/NiSceneLibrary.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <string>

namespace demotest
{
// A fresh folder "orvane-<pcName>-XXXXXX" under the system's temporary
// folder; empty when none could be made.
inline std::filesystem::path MakeTempFolder(const char* pcName)
{
    std::string kTemplate =
        (std::filesystem::temp_directory_path() / ("orvane-" + std::string(pcName) + "-XXXXXX")).string();
    if (mkdtemp(kTemplate.data()) == nullptr)
        return {};
    return kTemplate;
}

inline void RemoveFolder(const std::filesystem::path& kFolder)
{
    std::error_code kError;
    std::filesystem::remove_all(kFolder, kError);
}

// The engine's libraries as the demo files' loaders need them: the scene
// libraries and animation always, the render libraries where asked.
struct EngineLibraries
{
    bool m_bRenderImage = false;
    bool m_bRender = false;
};

inline void StartEngine(const EngineLibraries& kLibraries)
{
    NiMainLibrary::Reset();
    NiSceneLibraryRegister();
    NiSceneGraphRegister();
    if (kLibraries.m_bRenderImage)
        NiRenderImageLibraryRegister();
    if (kLibraries.m_bRender)
        NiRenderLibraryRegister();
    NiMainLibrary::Init();
    NiAnimationLibrary::Init();
}

inline void StopEngine()
{
    NiAnimationLibrary::Shutdown();
    NiMainLibrary::Reset();
}

// A test with the engine started as asked and a fresh temporary folder,
// both undone at the end.
class EngineFolderTest : public testing::Test
{
protected:
    EngineFolderTest(const char* pcName, const EngineLibraries& kLibraries)
        : m_pcName(pcName), m_kLibraries(kLibraries)
    {
    }
    void SetUp() override
    {
        StartEngine(m_kLibraries);
        m_kFolder = MakeTempFolder(m_pcName);
        ASSERT_FALSE(m_kFolder.empty());
    }
    void TearDown() override
    {
        StopEngine();
        RemoveFolder(m_kFolder);
    }

    std::filesystem::path m_kFolder;

private:
    const char* m_pcName;
    EngineLibraries m_kLibraries;
};
} // namespace demotest
