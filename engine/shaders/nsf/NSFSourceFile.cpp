#include "engine/shaders/nsf/NSFSourceFile.h"

#include "platform/os/OsFiles.h"

#include <memory>

NSFSourceFile* NSFSourceFile::ms_pkCurrent = nullptr;

int NSFSourceFile::Load(const char* pcPath)
{
    Release();
    if (pcPath == nullptr)
        return 1;
    std::unique_ptr<std::FILE, int (*)(std::FILE*)> spFile(os::OpenFile(pcPath, "rb"), &std::fclose);
    if (!spFile)
        return 1;
    std::vector<unsigned char> kText;
    unsigned char aucChunk[4096];
    for (;;)
    {
        const std::size_t uiRead = std::fread(aucChunk, 1, sizeof(aucChunk), spFile.get());
        kText.insert(kText.end(), aucChunk, aucChunk + uiRead);
        if (uiRead < sizeof(aucChunk))
            break;
    }
    if (std::ferror(spFile.get()) || kText.size() > UINT32_MAX)
        return 1;
    m_kPath = pcPath;
    m_kText = std::move(kText);
    m_uiPosition = 0;
    return 0;
}

void NSFSourceFile::Release()
{
    m_kPath.clear();
    m_kText.clear();
    m_kText.shrink_to_fit();
    m_uiPosition = 0;
}

std::size_t NSFSourceFile::Read(char* pcBuffer, std::size_t uiMax)
{
    std::size_t uiRead = 0;
    while (uiRead < uiMax && m_uiPosition < m_kText.size() && m_kText[m_uiPosition] != 0xFF)
        pcBuffer[uiRead++] = static_cast<char>(m_kText[m_uiPosition++]);
    return uiRead;
}
