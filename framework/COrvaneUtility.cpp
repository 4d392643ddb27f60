#include "framework/COrvaneUtility.h"

#include "engine/core/NiFile.h"
#include "framework/COrvaneApplication.h"
#include "framework/COrvaneTagTree.h"
#include "platform/os/OsDefs.h"
#include "platform/os/OsDialog.h"
#include "platform/os/OsFiles.h"

void ShowErrorBox(const char* pcText)
{
    os::MessageBox(nullptr, pcText != nullptr ? pcText : "", "Application Error",
                   os::MB_ICONHAND | os::MB_TASKMODAL | os::MB_TOPMOST);
}

void GetWorkingDirectory(std::string& kText)
{
    kText = os::GetCurrentFolder();
}

std::string GetLastPathComponent(const std::string& kPath)
{
    std::string::size_type uiSlash = kPath.find_last_of("/\\");
    return uiSlash == std::string::npos ? kPath : kPath.substr(uiSlash + 1);
}

std::string GetWorkingDirectoryName()
{
    return GetLastPathComponent(os::GetCurrentFolder());
}

bool FileExistsNonEmpty(const char* pcName)
{
    return NiFileAccessible(pcName, 0) && NiGetFileSize(pcName) != 0;
}

std::string ReadDebugFileSetting()
{
    COrvaneTagTree* pkSettings = COrvaneApplication::GetSettings();
    if (pkSettings == nullptr || !pkSettings->SelectSection("Debug_Data", true) ||
        !pkSettings->FindChild("DebugFile") || pkSettings->GetValues().empty())
    {
        return {};
    }
    return pkSettings->GetValues().front();
}

void GetEmptyText(std::string& kText)
{
    kText.clear();
}
