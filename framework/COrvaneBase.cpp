#include "framework/COrvaneBase.h"

const char* COrvaneBase::GetName() const
{
    return m_kName ? m_kName->c_str() : nullptr;
}

void COrvaneBase::SetName(const char* pcName)
{
    if (pcName == nullptr)
    {
        if (m_kName)
            ClearName();
        return;
    }
    m_kName = std::string(pcName);
}

void COrvaneBase::ClearName()
{
    m_kName.reset();
}

void COrvaneBase::Release()
{
    Destroy();
}
