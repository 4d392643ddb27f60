#include "framework/COrvaneSceneFileLoader.h"

#include "engine/core/NiMessageBox.h"
#include "engine/core/NiObjectStream.h"

#include <string>

COrvaneSceneFileLoader::COrvaneSceneFileLoader() = default;

COrvaneSceneFileLoader::~COrvaneSceneFileLoader()
{
    Destroy();
}

void COrvaneSceneFileLoader::Destroy()
{
    if (m_pkStream)
        m_pkStream->RemoveAllTopObjects();
    m_pkStream.reset();
    m_pkCurrent = nullptr;
}

bool COrvaneSceneFileLoader::Load(const char* pcFileName, Callback pfnCallback)
{
    if (m_pkStream)
        m_pkStream->RemoveAllTopObjects();
    m_pkCurrent = nullptr;
    m_pkStream = std::make_unique<NiObjectStream>();
    if (pcFileName && m_pkStream->LoadFile(pcFileName))
    {
        SetName(pcFileName);
        m_pfnCallback = pfnCallback;
        return true;
    }
    if (NiGetMessageBoxFunction())
    {
        std::string kText = std::string("Error loading file - ") + (pcFileName ? pcFileName : "");
        NiMessageBox(kText.c_str(), "Error");
    }
    return false;
}

void COrvaneSceneFileLoader::ForEachTopObject(void* pvContext)
{
    if (!m_pkStream || !m_pfnCallback)
        return;
    for (std::uint32_t i = 0; i < m_pkStream->GetObjectCount(); ++i)
    {
        m_pkCurrent = m_pkStream->GetObjectAt(i);
        if (m_pkCurrent)
            m_pfnCallback(pvContext, *this);
    }
    m_pkCurrent = nullptr;
}
