#pragma once

// The demo data for tests that each want a fresh set: written once a process
// into a folder of its own, then copied into each test's folder. Writing the
// set compiles its programs and builds its models, seconds a time under the
// sanitizers; a copy is a small part of that, and the same bytes.

#include "tools/COrvaneDemoData.h"

#include <cstdlib>
#include <filesystem>
#include <string>
#include <system_error>

namespace demotest
{
// The written set, removed when the process ends.
class DemoDataOnce
{
public:
    static DemoDataOnce& Get()
    {
        static DemoDataOnce s_kOnce;
        return s_kOnce;
    }

    // The whole set in kFolder (made when missing; files of the set there
    // are replaced). False when the set could not be written or copied.
    bool CopyTo(const std::string& kFolder)
    {
        if (!m_bWritten)
        {
            std::error_code kError;
            std::string kTemplate = (std::filesystem::temp_directory_path(kError) / "orvane-demo-once-XXXXXX").string();
            if (kError || mkdtemp(kTemplate.data()) == nullptr)
                return false;
            m_kFolder = kTemplate;
            if (!BuildDemoData(m_kFolder.string()))
                return false;
            m_bWritten = true;
        }
        std::error_code kError;
        std::filesystem::create_directories(kFolder, kError);
        std::filesystem::copy(m_kFolder, kFolder,
                              std::filesystem::copy_options::recursive |
                                  std::filesystem::copy_options::overwrite_existing,
                              kError);
        return !kError;
    }

    ~DemoDataOnce()
    {
        if (!m_kFolder.empty())
        {
            std::error_code kError;
            std::filesystem::remove_all(m_kFolder, kError);
        }
    }

private:
    DemoDataOnce() = default;
    std::filesystem::path m_kFolder;
    bool m_bWritten = false;
};

// BuildDemoData's result in a folder no player has used, for a test that
// runs many times a process.
inline bool CopyDemoData(const std::string& kFolder)
{
    return DemoDataOnce::Get().CopyTo(kFolder);
}
} // namespace demotest
