#include "game/shell/SaveNames.h"

#include "framework/COrvaneTagTree.h"
#include "platform/os/OsFiles.h"

#include <cstdio>

namespace
{
constexpr std::size_t MAX_NAME = 32;
constexpr std::string_view FORBIDDEN = "/\\:*?\"<>|";
} // namespace

bool IsValidSaveName(std::string_view kName)
{
    if (kName.empty() || kName.size() > MAX_NAME || kName == "." || kName == "..")
        return false;
    for (const char c : kName)
    {
        const unsigned char uc = static_cast<unsigned char>(c);
        if (uc < 0x20 || uc > 0x7E || FORBIDDEN.find(c) != std::string_view::npos)
            return false;
    }
    const char cFirst = kName.front();
    const char cLast = kName.back();
    return cFirst != '.' && cFirst != ' ' && cLast != '.' && cLast != ' ';
}

std::string MakeSavePath(std::string_view kBrowseFolder, std::string_view kName, std::string_view kExtension)
{
    if (!IsValidSaveName(kName) || kBrowseFolder.empty() || kExtension.find_first_of("/\\") != std::string_view::npos)
        return {};
    const std::string kRoot = os::RealPath(SAVE_FOLDER);
    const std::string kFolder = os::RealPath(kBrowseFolder);
    if (kRoot.empty() || kFolder.empty())
        return {};
    if (kFolder != kRoot && kFolder.compare(0, kRoot.size() + 1, kRoot + "/") != 0)
        return {};
    std::string kPath(kBrowseFolder);
    if (kPath.back() != '/' && kPath.back() != '\\')
        kPath += '/';
    return kPath + std::string(kName) + std::string(kExtension);
}

bool SaveDocumentAtomically(const COrvaneTagTree& kDocument, const char* pcPath)
{
    os::TemporaryFile kTemp = os::CreateTemporaryFor(pcPath);
    if (!kTemp.IsOpen() || !kDocument.Save(kTemp.GetFile()))
    {
        std::fprintf(stderr, "Cannot write \"%s\": the file is left as it was.\n", pcPath);
        return false;
    }
    if (!os::CommitFile(kTemp, pcPath))
    {
        std::fprintf(stderr, "Cannot replace \"%s\": the file is left as it was.\n", pcPath);
        return false;
    }
    return true;
}
