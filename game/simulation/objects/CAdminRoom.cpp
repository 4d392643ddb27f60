#include "game/simulation/objects/CAdminRoom.h"

#include "game/simulation/objects/CDynamicObjectManager.h"
#include "game/simulation/objects/CPrisonStatistics.h"
#include "game/simulation/objects/TextConvert.h"

#include <cstring>
#include <string>

namespace
{
CPrisonStatistics* Ledger()
{
    CDynamicObjectManager* pkManager = CDynamicObjectManager::GetExisting();
    return pkManager ? pkManager->GetStatistics() : nullptr;
}
} // namespace

CAdminRoom::CAdminRoom()
{
    CAdminRoom::Reset();
}

CAdminRoom::~CAdminRoom()
{
    CAdminRoom::RemoveFromStatistics();
}

void CAdminRoom::Destroy()
{
    CAdminRoom::RemoveFromStatistics();
    CPathableObject::Destroy();
}

void CAdminRoom::Reset()
{
    CPathableObject::Reset();
    m_uiRoomKind = KIND_OTHER;
    m_usRoomNumber = 0;
}

std::uint16_t CAdminRoom::RoomNumberOf(const char* pcName)
{
    if (!pcName)
        return 0;
    const char* pcDot = std::strchr(pcName, '.');
    if (!pcDot || pcDot == pcName)
        return 0;
    return FromString<unsigned short>(std::string(1, pcDot[-1]));
}

int CAdminRoom::Create(COrvaneObjectDesc& kDesc)
{
    const int iResult = CPathableObject::Create(kDesc);
    const char* pcName = GetName();
    m_uiRoomKind = KIND_OTHER;
    if (pcName && std::strstr(pcName, "planning"))
        m_uiRoomKind = KIND_PLANNING;
    else if (pcName && std::strstr(pcName, "clerical"))
        m_uiRoomKind = KIND_CLERICAL;
    m_usRoomNumber = RoomNumberOf(pcName);
    return iResult;
}

bool CAdminRoom::CanBuild() const
{
    const CPrisonStatistics* pkLedger = Ledger();
    if (pkLedger && m_uiRoomKind == KIND_PLANNING && pkLedger->m_usUpgradeLevel + 1 < m_usRoomNumber)
        return false;
    if (pkLedger && m_uiRoomKind == KIND_CLERICAL && pkLedger->m_usClericalLevel + 1 < m_usRoomNumber)
        return false;
    return CBaseObject::CanBuild();
}

bool CAdminRoom::IsExecutionRoom() const
{
    const char* pcName = GetName();
    return pcName && std::strstr(pcName, "execution");
}

void CAdminRoom::AddToStatistics()
{
    if (m_ucInStatistics)
        return;
    CPrisonStatistics* pkLedger = Ledger();
    if (!pkLedger)
        return;
    m_ucInStatistics = 1;
    if (IsExecutionRoom())
    {
        ++pkLedger->m_usExecutionRooms;
        pkLedger->AddObject(&m_kRecord);
    }
    else
        pkLedger->AddAdminRoom(&m_kRecord, static_cast<int>(m_uiRoomKind), m_usRoomNumber);
}

void CAdminRoom::RemoveFromStatistics()
{
    if (!m_ucInStatistics)
        return;
    m_ucInStatistics = 0;
    CPrisonStatistics* pkLedger = Ledger();
    if (!pkLedger)
        return;
    if (IsExecutionRoom())
    {
        if (pkLedger->m_usExecutionRooms > 0)
            --pkLedger->m_usExecutionRooms;
        pkLedger->RemoveObject(&m_kRecord);
    }
    else
        pkLedger->RemoveAdminRoom(&m_kRecord, static_cast<int>(m_uiRoomKind), m_usRoomNumber);
}
