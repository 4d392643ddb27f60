#include "engine/core/NiFileSearchPath.h"

namespace
{
struct PathParts
{
    std::string m_kDrive;  // "X:" or empty
    std::string m_kFolder; // up to and with the last separator
    std::string m_kName;
    std::string m_kExtension; // from the last dot of the name, with it
};

bool IsSeparator(char c)
{
    return c == '\\' || c == '/';
}

PathParts Split(const std::string& kPath)
{
    PathParts kParts;
    std::string kRest = kPath;
    if (kRest.size() >= 2 && kRest[1] == ':')
    {
        kParts.m_kDrive = kRest.substr(0, 2);
        kRest.erase(0, 2);
    }
    std::string::size_type uiSep = kRest.find_last_of("\\/");
    if (uiSep != std::string::npos)
    {
        kParts.m_kFolder = kRest.substr(0, uiSep + 1);
        kRest.erase(0, uiSep + 1);
    }
    std::string::size_type uiDot = kRest.find_last_of('.');
    if (uiDot != std::string::npos)
    {
        kParts.m_kExtension = kRest.substr(uiDot);
        kRest.erase(uiDot);
    }
    kParts.m_kName = kRest;
    return kParts;
}

// One backslash between the two unless the first is empty or ends in one.
std::string JoinFolders(const std::string& kFirst, const std::string& kSecond)
{
    if (kFirst.empty() || IsSeparator(kFirst.back()))
        return kFirst + kSecond;
    return kFirst + "\\" + kSecond;
}

std::string MakePath(const std::string& kDrive, const std::string& kFolder, const PathParts& kFile)
{
    return kDrive + JoinFolders(kFolder, kFile.m_kName + kFile.m_kExtension);
}

std::string Clip(const char* pcPath)
{
    if (pcPath == nullptr)
        return {};
    std::string kPath(pcPath);
    if (kPath.size() > NiFileSearchPath::MAX_PATH_CHARS)
        kPath.resize(NiFileSearchPath::MAX_PATH_CHARS);
    return kPath;
}
} // namespace

void NiFileSearchPath::SetFilePath(const char* pcPath)
{
    m_kFilePath = Clip(pcPath);
}

void NiFileSearchPath::SetReferencePath(const char* pcFilePath)
{
    PathParts kParts = Split(Clip(pcFilePath));
    m_kReferencePath = kParts.m_kDrive + kParts.m_kFolder;
}

bool NiFileSearchPath::GetNextPath(std::string& kPath)
{
    PathParts kParts = Split(m_kFilePath);
    switch (m_uiNextPath)
    {
    case 0:
        kPath = m_kFilePath;
        break;
    case 1:
        kPath = MakePath("", "", kParts);
        break;
    case 2:
        kPath = MakePath("", JoinFolders(m_kReferencePath, kParts.m_kFolder), kParts);
        break;
    case 3:
        kPath = MakePath("", m_kReferencePath, kParts);
        break;
    default:
        return false;
    }
    ++m_uiNextPath;
    if (kPath.size() > MAX_PATH_CHARS)
        kPath.resize(MAX_PATH_CHARS);
    return true;
}
