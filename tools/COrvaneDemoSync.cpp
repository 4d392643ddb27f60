#include "tools/COrvaneDemoSync.h"

#include "platform/os/OsFiles.h"

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <system_error>
#include <vector>

namespace
{
namespace fs = std::filesystem;

bool WriteReplacing(const std::string& kPath, const std::string& kBytes)
{
    // An uncommitted temporary file goes with its handle.
    os::TemporaryFile kTemporary = os::CreateTemporaryFor(kPath);
    return kTemporary.IsOpen() &&
           std::fwrite(kBytes.data(), 1, kBytes.size(), kTemporary.GetFile()) == kBytes.size() &&
           os::CommitFile(kTemporary, kPath);
}
} // namespace

bool IsDemoPlayerState(const std::string& kRelativePath)
{
    return kRelativePath == "setup.xml" || kRelativePath == "config.bin" || kRelativePath.rfind("maps/", 0) == 0;
}

bool SyncDemoFolder(const std::string& kFrom, const std::string& kTo)
{
    std::error_code kError;
    std::vector<fs::path> kEntries;
    for (fs::recursive_directory_iterator kIt(kFrom, kError), kEnd; !kError && kIt != kEnd; kIt.increment(kError))
        kEntries.push_back(kIt->path());
    if (kError)
    {
        std::fprintf(stderr, "demo data: cannot read %s: %s\n", kFrom.c_str(), kError.message().c_str());
        return false;
    }
    // Folders before what they hold; the same order on every run.
    std::sort(kEntries.begin(), kEntries.end());
    for (const fs::path& kEntry : kEntries)
    {
        const std::string kRelative = kEntry.lexically_relative(kFrom).generic_string();
        const std::string kTarget = kTo + "/" + kRelative;
        if (fs::is_directory(kEntry, kError))
        {
            if (!os::CreateFolderTree(kTarget))
            {
                std::fprintf(stderr, "demo data: cannot make the folder %s\n", kTarget.c_str());
                return false;
            }
            continue;
        }
        std::string kNew;
        if (!os::ReadWholeFile(kEntry.string(), kNew))
        {
            std::fprintf(stderr, "demo data: cannot read %s\n", kEntry.c_str());
            return false;
        }
        os::FileStatus kStatus;
        const bool bThere = os::GetFileStatus(kTarget, kStatus) && !kStatus.isFolder;
        if (bThere && IsDemoPlayerState(kRelative))
            continue;
        std::string kOld;
        if (bThere && kStatus.size == kNew.size() && os::ReadWholeFile(kTarget, kOld) && kOld == kNew)
            continue;
        if (!WriteReplacing(kTarget, kNew))
        {
            std::fprintf(stderr, "demo data: cannot write %s\n", kTarget.c_str());
            return false;
        }
    }
    return true;
}
