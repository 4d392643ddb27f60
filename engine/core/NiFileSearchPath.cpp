#include "engine/core/NiFileSearchPath.h"

#include "engine/core/NiFilePath.h"

namespace
{
bool IsSeparator(char c)
{
    return c == '\\' || c == '/';
}

// One backslash between the two unless the first is empty or ends in one.
std::string JoinFolders(const std::string& kFirst, const std::string& kSecond)
{
    if (kFirst.empty() || IsSeparator(kFirst.back()))
        return kFirst + kSecond;
    return kFirst + "\\" + kSecond;
}

std::string MakePath(const std::string& kFolder, const NiFilePath& kFile)
{
    return JoinFolders(kFolder, kFile.GetFname() + kFile.GetExt());
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
    const NiFilePath kParts(Clip(pcFilePath).c_str());
    m_kReferencePath = kParts.GetDrive() + kParts.GetDir();
}

bool NiFileSearchPath::GetNextPath(std::string& kPath)
{
    const NiFilePath kParts(m_kFilePath.c_str());
    switch (m_uiNextPath)
    {
    case 0:
        kPath = m_kFilePath;
        break;
    case 1:
        kPath = MakePath("", kParts);
        break;
    case 2:
        kPath = MakePath(JoinFolders(m_kReferencePath, kParts.GetDir()), kParts);
        break;
    case 3:
        kPath = MakePath(m_kReferencePath, kParts);
        break;
    default:
        return false;
    }
    ++m_uiNextPath;
    if (kPath.size() > MAX_PATH_CHARS)
        kPath.resize(MAX_PATH_CHARS);
    return true;
}
