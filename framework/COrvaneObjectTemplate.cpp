#include "framework/COrvaneObjectTemplate.h"

#include "framework/COrvaneAnim.h"
#include "framework/COrvaneComposite.h"

#include <algorithm>

void COrvanePrerequisites::Reset()
{
    m_kOutstanding.clear();
    m_kAll.clear();
}

void COrvanePrerequisites::Add(std::int32_t iId)
{
    m_kOutstanding.push_back(iId);
    m_kAll.push_back(iId);
}

void COrvanePrerequisites::Remove(std::int32_t iId)
{
    auto kAt = std::find(m_kOutstanding.begin(), m_kOutstanding.end(), iId);
    if (kAt != m_kOutstanding.end())
        m_kOutstanding.erase(kAt);
}

void COrvanePrerequisites::Restore()
{
    m_kOutstanding = m_kAll;
}

bool COrvanePrerequisites::IsSatisfied() const
{
    return m_kOutstanding.empty();
}

COrvaneObjectTemplate::COrvaneObjectTemplate() : m_pkPrerequisites(std::make_unique<COrvanePrerequisites>())
{
}

COrvaneObjectTemplate::~COrvaneObjectTemplate() = default;
