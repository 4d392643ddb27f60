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

void RemoveDemoData()
{
    std::error_code kError;
    std::filesystem::remove_all(DemoFolder(), kError);
}
} // namespace

bool EnterDemoData(const char* pszName)
{
    if (!DemoFolder().empty())
        return true;
    const std::filesystem::path kFolder =
        std::filesystem::temp_directory_path() / ("orvane-fuzz-" + std::string(pszName) + "-" + std::to_string(getpid()));
    if (!BuildDemoData(kFolder.string()))
        return false;
    std::filesystem::current_path(kFolder);
    DemoFolder() = kFolder;
    std::atexit(&RemoveDemoData);
    return true;
}
