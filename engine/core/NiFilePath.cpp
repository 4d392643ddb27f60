#include "engine/core/NiFilePath.h"

#include <cctype>

void NiFilePath::Split(const char* pcPath)
{
    m_kDir.clear();
    m_kDrive.clear();
    m_kExt.clear();
    m_kFname.clear();
    m_kPlatformSubDir.clear();
    if (pcPath == nullptr)
        return;
    std::string kPath(pcPath);
    if (kPath.size() >= 2 && kPath[1] == ':' && std::isalpha(static_cast<unsigned char>(kPath[0])))
    {
        m_kDrive = kPath.substr(0, 2);
        kPath.erase(0, 2);
    }
    const std::size_t uiSlash = kPath.find_last_of("/\\");
    std::string kName = kPath;
    if (uiSlash != std::string::npos)
    {
        m_kDir = kPath.substr(0, uiSlash + 1);
        kName = kPath.substr(uiSlash + 1);
    }
    const std::size_t uiDot = kName.find_last_of('.');
    if (uiDot != std::string::npos)
    {
        m_kExt = kName.substr(uiDot);
        kName.erase(uiDot);
    }
    m_kFname = kName;
}

std::string NiFilePath::GetFullPath() const
{
    std::string kDir = m_kDir;
    if (!m_kPlatformSubDir.empty())
    {
        if (!kDir.empty() && kDir.back() != '\\' && kDir.back() != '/')
            kDir += '\\';
        kDir += m_kPlatformSubDir;
    }
    if (!kDir.empty() && kDir.back() != '\\' && kDir.back() != '/')
        kDir += '\\';
    return m_kDrive + kDir + m_kFname + m_kExt;
}
