#include "engine/shaders/nsb/NSBLoader.h"

#include "engine/shaders/framework/NiD3DUtility.h"
#include "engine/shaders/nsb/NSBShader.h"
#include "engine/shaders/nsb/NSBShaderLib.h"
#include "platform/os/OsDefs.h"
#include "platform/os/OsFiles.h"

NSBLoader* NSBLoader::ms_pkLoader = nullptr;

NSBLoader* NSBLoader::GetInstance()
{
    if (ms_pkLoader == nullptr)
        ms_pkLoader = new NSBLoader;
    return ms_pkLoader;
}

void NSBLoader::Destroy()
{
    delete ms_pkLoader;
    ms_pkLoader = nullptr;
}

bool NSBLoader::ProcessFile(const char* pcPath, const char* pcExtension, std::vector<std::string>& kList)
{
    if (pcPath == nullptr || pcPath[0] == '\0' || pcExtension == nullptr)
        return false;
    std::string kDrive, kDirectory, kName, kExtension;
    NiD3DUtility::_splitpath(pcPath, kDrive, kDirectory, kName, kExtension);
    if (!os::EqualsIgnoreCase(kExtension, pcExtension))
        return false;
    NiD3DUtility::Log("        Found %s File %s\n", pcExtension, pcPath);
    kList.emplace_back(pcPath);
    return true;
}

std::uint32_t NSBLoader::FindFiles(const char* pcDirectory, const char* pcExtension, bool bRecurse,
                                   std::vector<std::string>& kList)
{
    if (pcDirectory == nullptr || pcDirectory[0] == '\0' || pcExtension == nullptr || pcExtension[0] == '\0')
        return 0;
    m_kWalked.clear();
    return Walk(pcDirectory, pcExtension, bRecurse, kList);
}

std::uint32_t NSBLoader::Walk(const std::string& kGiven, const char* pcExtension, bool bRecurse,
                              std::vector<std::string>& kList)
{
    std::string kDirectory = kGiven;
    if (kDirectory.back() != '\\' && kDirectory.back() != '/')
        kDirectory += '/';
    const std::string kReal = os::RealPath(kDirectory);
    if (kReal.empty() || !m_kWalked.insert(kReal).second)
        return 0;

    std::uint32_t uiCount = 0;
    os::FindData kEntry;
    const os::FindHandle hFind = os::FindFirst(kDirectory + "*", kEntry);
    if (hFind == -1)
        return 0;
    do
    {
        const std::string kPath = kDirectory + kEntry.name;
        if ((kEntry.attributes & os::ATTRIB_SUBDIR) != 0)
        {
            if (kEntry.name == "." || kEntry.name == ".." || !bRecurse)
                continue;
            NiD3DUtility::Log("    Recurse directory %s\n", (kPath + "/").c_str());
            uiCount += Walk(kPath, pcExtension, bRecurse, kList);
        }
        else if (ProcessFile(kPath.c_str(), pcExtension, kList))
        {
            ++uiCount;
        }
    } while (os::FindNext(hFind, kEntry) == 0);
    os::FindClose(hFind);
    return uiCount;
}

bool NSBLoader::LoadNSBShaders(NSBShaderLib* pkLibrary, const char* pcDirectory, bool bRecurse)
{
    m_kFiles.clear();
    FindFiles(pcDirectory, ".NSB", bRecurse, m_kFiles);
    std::uint32_t uiLoaded = 0;
    bool bFailed = false;
    for (const std::string& kPath : m_kFiles)
    {
        std::string kDrive, kDirectory, kName, kExtension;
        NiD3DUtility::_splitpath(kPath.c_str(), kDrive, kDirectory, kName, kExtension);
        if (pkLibrary->FindShader(kName.c_str()) != nullptr)
        {
            NiD3DUtility::Log("%s (%s) already loaded?\n", kName.c_str(), kPath.c_str());
            continue;
        }
        NiD3DUtility::Log("Attempting to load %s\n", kPath.c_str());
        NSBShaderPtr spShader = new NSBShader;
        if (!spShader->LoadFromFile(kPath.c_str()))
        {
            NiD3DUtility::Log("Failed to load %s\n", kPath.c_str());
            bFailed = true;
            continue;
        }
        NiD3DUtility::Log("Loaded %s\n", kPath.c_str());
        // Only a shader the library takes counts as loaded; a refused one
        // goes with its reference here.
        if (pkLibrary->InsertShader(spShader))
            ++uiLoaded;
    }
    if (uiLoaded > 0)
        return true;
    return !bFailed;
}
