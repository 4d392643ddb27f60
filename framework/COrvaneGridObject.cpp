#include "framework/COrvaneGridObject.h"

#include "framework/COrvaneBlockGrid.h"
#include "framework/COrvaneFile.h"
#include "framework/COrvaneObjectTemplate.h"

#include <cstdint>
#include <sstream>
#include <string>
#include <vector>

namespace
{
// How far the anchor lies before the centre along an extent of n cells.
std::int32_t AnchorOffset(std::int32_t iCellSize, std::int32_t iExtent)
{
    return iExtent % 2 == 0 ? iCellSize * (iExtent / 2 - 1) : iCellSize * ((iExtent - 1) / 2);
}
} // namespace

COrvaneGridObject::COrvaneGridObject() = default;

COrvaneGridObject::~COrvaneGridObject() = default;

void COrvaneGridObject::Reset()
{
}

int COrvaneGridObject::Load(COrvaneObjectDesc& kDesc)
{
    COrvaneGridEntity::Load(kDesc);
    // Width and depth are the template's first two parameters.
    if (m_pkTemplate)
    {
        const std::vector<std::string>& kParameters = m_pkTemplate->m_kParameters;
        if (kParameters.size() > 0)
            std::istringstream(kParameters[0]) >> m_iWidth;
        if (kParameters.size() > 1)
            std::istringstream(kParameters[1]) >> m_iDepth;
    }
    m_usParameterCursor = static_cast<std::uint16_t>(m_usParameterCursor + 2);
    return 1;
}

int COrvaneGridObject::ComputeFootprint()
{
    std::int32_t iCellSize = m_pkGrid ? m_pkGrid->GetCellSize() : 0;
    if (iCellSize < 1)
    {
        m_iRows = m_iColumns = 0;
        return 1;
    }
    const std::uint32_t uiSize = static_cast<std::uint32_t>(iCellSize);
    const std::int32_t iAlong = static_cast<std::int32_t>(static_cast<std::uint32_t>(m_iWidth) / uiSize);
    const std::int32_t iAcross = static_cast<std::int32_t>(static_cast<std::uint32_t>(m_iDepth) / uiSize);
    const float fHeading = m_afAngles[1];
    if (fHeading == 0.0f || fHeading == 180.0f)
    {
        m_iRows = iAlong;
        m_iColumns = iAcross;
    }
    else
    {
        m_iRows = iAcross;
        m_iColumns = iAlong;
    }
    return 1;
}

bool COrvaneGridObject::PlaceAt(const NiVec3& kPosition, COrvaneBlockGrid* pkGrid)
{
    if (!pkGrid)
        return false;
    SetGrid(pkGrid);
    ComputeFootprint();
    m_kPlacedPosition = kPosition;
    m_iAnchor = -1;
    // An empty footprint has no anchor (its offset would run backwards).
    if (m_iRows < 1 || m_iColumns < 1)
        return false;
    const std::int32_t iCellSize = pkGrid->GetCellSize();
    NiVec3 kAnchor(kPosition.x - static_cast<float>(AnchorOffset(iCellSize, m_iRows)), kPosition.y,
                   kPosition.z + static_cast<float>(AnchorOffset(iCellSize, m_iColumns)));
    m_iAnchor = pkGrid->CellAt(kAnchor);
    return m_iAnchor != -1;
}

bool COrvaneGridObject::CanPlace() const
{
    return m_pkGrid && m_pkGrid->IsAreaValid(m_iAnchor, m_iRows, m_iColumns, false) &&
           m_pkGrid->IsAreaFree(m_iAnchor, m_iRows, m_iColumns, false);
}

int COrvaneGridObject::OccupyFootprint()
{
    if (!m_pkGrid)
        return 0;
    return m_pkGrid->OccupyArea(m_iAnchor, this, m_iRows, m_iColumns, true);
}

int COrvaneGridObject::Occupy()
{
    return OccupyFootprint();
}

int COrvaneGridObject::ClearFootprint()
{
    if (!m_pkGrid)
        return 0;
    return m_pkGrid->ClearArea(m_iAnchor, m_iRows, m_iColumns, true, 0);
}

std::int32_t COrvaneGridObject::GetRows() const
{
    return m_iRows;
}

std::int32_t COrvaneGridObject::GetColumns() const
{
    return m_iColumns;
}

std::int32_t COrvaneGridObject::GetWidth() const
{
    return m_iWidth;
}

std::int32_t COrvaneGridObject::GetDepth() const
{
    return m_iDepth;
}

int COrvaneGridObject::SaveState(COrvaneFile& kFile)
{
    if (!COrvaneGridEntity::SaveState(kFile))
        return 0;
    std::string kLine =
        std::to_string(m_iAnchor) + "," + std::to_string(m_iRows) + "," + std::to_string(m_iColumns) + "\r\n";
    return kFile.WriteString(kLine.c_str()) ? 1 : 0;
}

int COrvaneGridObject::LoadState(COrvaneFile& kFile)
{
    COrvaneGridObjectState kState;
    if (!COrvaneGridObject::ParseState(kFile, kState))
        return 0;
    COrvaneGridObject::ApplyState(kState);
    return 1;
}

std::unique_ptr<COrvaneIOState> COrvaneGridObject::NewState() const
{
    return std::make_unique<COrvaneGridObjectState>();
}

bool COrvaneGridObject::ParseState(COrvaneFile& kFile, COrvaneIOState& kState) const
{
    if (!COrvaneGridEntity::ParseState(kFile, kState))
        return false;
    std::string kLine;
    kFile.ReadLine(kLine);
    std::vector<long long> kValues;
    if (!SplitIntegers(kLine, kValues) || kValues.size() < 3)
        return false;
    for (std::size_t i = 0; i < 3; ++i)
        if (kValues[i] < INT32_MIN || kValues[i] > INT32_MAX)
            return false;
    auto& kObject = static_cast<COrvaneGridObjectState&>(kState);
    kObject.m_iAnchor = static_cast<std::int32_t>(kValues[0]);
    kObject.m_iRows = static_cast<std::int32_t>(kValues[1]);
    kObject.m_iColumns = static_cast<std::int32_t>(kValues[2]);
    return true;
}

void COrvaneGridObject::ApplyState(const COrvaneIOState& kState)
{
    COrvaneGridEntity::ApplyState(kState);
    const auto& kObject = static_cast<const COrvaneGridObjectState&>(kState);
    m_iAnchor = kObject.m_iAnchor;
    m_iRows = kObject.m_iRows;
    m_iColumns = kObject.m_iColumns;
}
