#include "tests/fuzz/FuzzDemoData.h"

#include "tools/COrvaneDemoData.h"

#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <string>

namespace
{
std::filesystem::path& DemoFolder()
{
    static std::filesystem::path s_kFolder;
    return s_kFolder;
}

std::filesystem::path& StartFolder()
{
    static std::filesystem::path s_kFolder;
    return s_kFolder;
}

void RemoveDemoData()
{
    std::error_code kError;
    std::filesystem::remove_all(DemoFolder(), kError);
}
} // namespace

bool EnterDemoData(const char* pszName)
{
    if (!DemoFolder().empty())
    {
        std::error_code kError;
        std::filesystem::current_path(DemoFolder(), kError);
        return !kError;
    }
    StartFolder() = std::filesystem::current_path();
    const std::filesystem::path kFolder =
        std::filesystem::temp_directory_path() / ("orvane-fuzz-" + std::string(pszName) + "-" + std::to_string(getpid()));
    if (!BuildDemoData(kFolder.string()))
        return false;
    std::filesystem::current_path(kFolder);
    DemoFolder() = kFolder;
    std::atexit(&RemoveDemoData);
    return true;
}

void LeaveDemoData()
{
    std::error_code kError;
    if (!StartFolder().empty())
        std::filesystem::current_path(StartFolder(), kError);
}
