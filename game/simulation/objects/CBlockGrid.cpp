#include "game/simulation/objects/CBlockGrid.h"

#include "framework/COrvaneGridEntity.h"

#include <algorithm>

CBlockGrid::CBlockGrid() = default;

CBlockGrid::~CBlockGrid() = default;

CBlockGrid::MemberGroup* CBlockGrid::GroupOf(const COrvaneGridEntity* pkEntity)
{
    for (MemberGroup& kGroup : m_kGroups)
        if (kGroup.m_pkFactory == pkEntity->GetTypeObject())
            return &kGroup;
    return nullptr;
}

bool CBlockGrid::AddMember(COrvaneGridEntity* pkEntity)
{
    if (!pkEntity)
        return false;
    MemberGroup* pkGroup = GroupOf(pkEntity);
    if (!pkGroup)
    {
        m_kGroups.push_back(MemberGroup{pkEntity->GetTypeObject(), {}});
        pkGroup = &m_kGroups.back();
    }
    pkGroup->m_kMembers.push_back(pkEntity);
    return true;
}

bool CBlockGrid::RemoveMember(COrvaneGridEntity* pkEntity)
{
    if (!pkEntity)
        return false;
    MemberGroup* pkGroup = GroupOf(pkEntity);
    if (!pkGroup)
        return false;
    auto kAt = std::find(pkGroup->m_kMembers.begin(), pkGroup->m_kMembers.end(), pkEntity);
    if (kAt == pkGroup->m_kMembers.end())
        return false;
    pkGroup->m_kMembers.erase(kAt);
    return true;
}

bool CBlockGrid::IsMember(const COrvaneGridEntity* pkEntity) const
{
    if (!pkEntity)
        return false;
    for (const MemberGroup& kGroup : m_kGroups)
        if (kGroup.m_pkFactory == pkEntity->GetTypeObject())
            return std::find(kGroup.m_kMembers.begin(), kGroup.m_kMembers.end(), pkEntity) != kGroup.m_kMembers.end();
    return false;
}

std::size_t CBlockGrid::GetMemberCount() const
{
    std::size_t uiCount = 0;
    for (const MemberGroup& kGroup : m_kGroups)
        uiCount += kGroup.m_kMembers.size();
    return uiCount;
}
