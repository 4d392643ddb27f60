#include "framework/COrvaneGridEntity.h"

#include "framework/COrvaneBlockGrid.h"
#include "framework/COrvaneFile.h"

#include <sstream>

COrvaneGridEntity::COrvaneGridEntity()
{
    m_pkGrid = nullptr;
    m_iGridNumber = -1;
}

COrvaneGridEntity::~COrvaneGridEntity() = default;

void COrvaneGridEntity::Destroy()
{
    Reset();
}

void COrvaneGridEntity::Reset()
{
    m_pkGrid = nullptr;
    m_iGridNumber = -1;
}

bool COrvaneGridEntity::IsOnGrid(const COrvaneBlockGrid* pkGrid) const
{
    return pkGrid == m_pkGrid;
}

void COrvaneGridEntity::SetGrid(COrvaneBlockGrid* pkGrid)
{
    m_pkGrid = pkGrid;
}

int COrvaneGridEntity::SaveState(COrvaneFile& kFile)
{
    if (!COrvaneIOObject::SaveState(kFile))
        return 0;
    std::ostringstream kOut;
    if (m_pkGrid)
        kOut << static_cast<std::uint32_t>(m_pkGrid->GetId());
    else
        kOut << -1;
    kOut << "\r\n";
    return kFile.WriteString(kOut.str().c_str()) ? 1 : 0;
}

int COrvaneGridEntity::LoadState(COrvaneFile& kFile)
{
    if (!COrvaneIOObject::LoadState(kFile))
        return 0;
    long long llNumber = 0;
    if (!ReadInteger(kFile, llNumber))
        return 0;
    m_iGridNumber = static_cast<std::int32_t>(llNumber);
    return 1;
}
