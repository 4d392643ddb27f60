#include "tests/fuzz/FuzzSupport.h"

#include "engine/animation/NiAnimationLibrary.h"
#include "engine/core/NiLibraryRegistry.h"
#include "engine/core/NiMainLibrary.h"
#include "engine/render/NiRenderLibrary.h"
#include "engine/render/image/NiRenderImageLibrary.h"
#include "engine/scene/NiSceneLibrary.h"

#include <cstdio>
#include <filesystem>
#include <memory>

#include <unistd.h>

namespace fuzz
{
void StartEngine()
{
    static bool s_bStarted = false;
    if (s_bStarted)
        return;
    s_bStarted = true;
    // The same registrations as the game's entry, in its order, so loads
    // see the same create functions and start-up steps.
    NiMainLibrary::RegisterOnce();
    NiSceneLibraryRegister();
    NiRenderImageLibraryRegister();
    NiRenderLibraryRegister();
    NiAnimationLibrary::RegisterOnce();
    NiLibraryRegistry::InitLibraries();
}

ScratchFile::ScratchFile(const char* pcSuffix)
{
    // Memory, where the system has it: on a disk every input's create and
    // remove waits for the file system and the runs get ten times slower.
    std::filesystem::path kFolder = "/dev/shm";
    if (access(kFolder.c_str(), W_OK) != 0)
    {
        std::error_code kError;
        kFolder = std::filesystem::temp_directory_path(kError);
        if (kError)
            kFolder = "/tmp";
    }
    m_kPath = (kFolder / ("orvane_fuzz_" + std::to_string(getpid()) + pcSuffix)).string();
}

ScratchFile::~ScratchFile()
{
    std::remove(m_kPath.c_str());
}

bool ScratchFile::Write(const std::uint8_t* pucData, std::size_t uiSize) const
{
    std::unique_ptr<std::FILE, int (*)(std::FILE*)> spFile(std::fopen(m_kPath.c_str(), "wb"), &std::fclose);
    if (!spFile)
        return false;
    return uiSize == 0 || std::fwrite(pucData, 1, uiSize, spFile.get()) == uiSize;
}
} // namespace fuzz
