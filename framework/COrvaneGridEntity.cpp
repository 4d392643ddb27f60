#include "framework/COrvaneGridEntity.h"

#include "framework/COrvaneBlockGrid.h"
#include "framework/COrvaneFile.h"

#include <cstdint>
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
    COrvaneGridEntityState kState;
    if (!COrvaneGridEntity::ParseState(kFile, kState))
        return 0;
    COrvaneGridEntity::ApplyState(kState);
    return 1;
}

std::unique_ptr<COrvaneIOState> COrvaneGridEntity::NewState() const
{
    return std::make_unique<COrvaneGridEntityState>();
}

bool COrvaneGridEntity::ParseState(COrvaneFile& kFile, COrvaneIOState& kState) const
{
    if (!COrvaneIOObject::ParseState(kFile, kState))
        return false;
    long long llNumber = 0;
    if (!ReadInteger(kFile, llNumber) || llNumber < INT32_MIN || llNumber > INT32_MAX)
        return false;
    static_cast<COrvaneGridEntityState&>(kState).m_iGridNumber = static_cast<std::int32_t>(llNumber);
    return true;
}

void COrvaneGridEntity::ApplyState(const COrvaneIOState& kState)
{
    COrvaneIOObject::ApplyState(kState);
    m_iGridNumber = static_cast<const COrvaneGridEntityState&>(kState).m_iGridNumber;
}
