#include "framework/COrvaneDebugOptions.h"

#include "framework/COrvaneTagTree.h"
#include "platform/os/OsDialog.h"

#include <cstring>
#include <string>

namespace
{
// The note for a developer who started the game outside its data folder.
void ReportDataError(const char* pcMessage)
{
    std::string kText = "\n\n" + std::string(62, '/') + "\n";
    kText += "ORVANE ERROR\n";
    kText += pcMessage;
    kText += "Are your project settings correct - start in dir may be empty :)\n";
    kText += std::string(65, '/') + "\n\n";
    os::OutputDebugString(kText);
}
} // namespace

COrvaneDebugOptions::COrvaneDebugOptions()
{
    SetDefaults();
}

COrvaneDebugOptions& COrvaneDebugOptions::Get()
{
    static COrvaneDebugOptions s_kOptions;
    return s_kOptions;
}

void COrvaneDebugOptions::ResetInstance()
{
    Get().SetDefaults();
}

void COrvaneDebugOptions::SetDefaults()
{
    m_ucFullTrace = 0;
    m_ucClumpLoad = 1;
    m_ucAssetPool = 1;
    m_ucStreamChecking = 1;
    m_ucDebugTxtOnScreen = 1;
    m_ucHasStartupScreen = 1;
    m_ucReadTxd = 0;
    m_ucCameraCoords = 0;
}

bool COrvaneDebugOptions::Load()
{
    COrvaneTagTree kData;
    if (!kData.Load("./data.xml"))
    {
        ReportDataError("COULDN'T FIND data.xml - are you running in the right directory\n");
        return false;
    }
    if (!kData.SelectSection("DEBUG", true))
    {
        ReportDataError("COULDN'T FIND DEBUG TAG in data.xml - are you running in the right directory\n");
        return false;
    }
    if (!kData.FindChild(nullptr))
    {
        ReportDataError("COULDN'T FIND DEBUG CHILD in data.xml - are you running in the right directory\n");
        return false;
    }
    do
    {
        const std::vector<std::string>& kValues = kData.GetValues();
        const bool bValue = !kValues.empty() && !kValues.front().empty() && kValues.front()[0] == '1';
        const std::string& kName = kData.GetCursor()->GetName();
        // The switch is the name inside its angle brackets; a name too short
        // to have both brackets names nothing.
        if (kName.size() >= 2)
            SetOption(kName.substr(1, kName.size() - 2).c_str(), bValue);
    } while (kData.NextSibling(nullptr));
    return true;
}

void COrvaneDebugOptions::SetOption(const char* pcName, bool bValue)
{
    if (m_ucFullTrace != 0 || pcName == nullptr)
        return;
    struct Switch
    {
        const char* pcName;
        std::uint8_t* pucValue;
    };
    const Switch akSwitches[] = {
        {"fulltrace", &m_ucFullTrace},
        {"clumpload", &m_ucClumpLoad},
        {"assetpool", &m_ucAssetPool},
        {"streamchecking", &m_ucStreamChecking},
        {"debugtxtonscreen", &m_ucDebugTxtOnScreen},
        {"hasstartupscreen", &m_ucHasStartupScreen},
        {"readtxd", &m_ucReadTxd},
        {"cameracoords", &m_ucCameraCoords},
    };
    for (const Switch& kSwitch : akSwitches)
    {
        if (std::strcmp(kSwitch.pcName, pcName) == 0)
        {
            *kSwitch.pucValue = bValue ? 1 : 0;
            return;
        }
    }
}
