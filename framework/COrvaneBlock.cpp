#include "framework/COrvaneBlock.h"

#include "framework/COrvaneBlockGrid.h"
#include "framework/COrvaneFile.h"

#include <cstring>
#include <sstream>
#include <string>

COrvaneBlock::COrvaneBlock()
{
    Reset();
}

COrvaneBlock::~COrvaneBlock() = default;

void COrvaneBlock::Destroy()
{
    Reset();
}

void COrvaneBlock::Reset()
{
    m_iState = STATE_FREE;
    m_uiMark = 0;
    m_pkOccupant = nullptr;
    PassageChanged();
}

void COrvaneBlock::PassageChanged()
{
    if (m_kPassageLink.m_pkGrid)
        m_kPassageLink.m_pkGrid->ForgetPassage(m_kPassageLink.m_iCell);
}

int COrvaneBlock::OnOccupantSet()
{
    return 1;
}

int COrvaneBlock::OnOccupantCleared()
{
    return 1;
}

int COrvaneBlock::Save(COrvaneFile& kFile)
{
    std::ostringstream kOut;
    kOut << m_iState;
    kFile.WriteString(kOut.str().c_str());
    return 1;
}

int COrvaneBlock::Load(COrvaneFile& kFile)
{
    std::string kField;
    kFile.ReadUntil(kField, ",");
    std::istringstream kIn(kField);
    std::int32_t iState = 0;
    if (kIn >> iState)
        m_iState = iState;
    else
        m_iState = 0;
    PassageChanged();
    return 1;
}

int COrvaneBlock::SetOccupant(COrvaneBase* pkObject)
{
    m_pkOccupant = pkObject;
    return OnOccupantSet();
}

int COrvaneBlock::ClearOccupant()
{
    m_pkOccupant = nullptr;
    return OnOccupantCleared();
}

bool COrvaneBlock::IsClosedTowardNextColumn() const
{
    return false;
}

bool COrvaneBlock::IsClosedTowardPreviousColumn() const
{
    return false;
}

bool COrvaneBlock::IsClosedTowardNextRow() const
{
    return false;
}

bool COrvaneBlock::IsClosedTowardPreviousRow() const
{
    return false;
}

bool COrvaneBlock::IsOccupied(const char* pcFilter) const
{
    if (!m_pkOccupant)
        return false;
    if (!pcFilter)
        return true;
    const char* pcName = m_pkOccupant->GetName();
    return pcName && std::strstr(pcName, pcFilter) != nullptr;
}

bool COrvaneBlock::IsWalkable() const
{
    return m_iState < STATE_BLOCKING;
}

bool COrvaneBlock::IsSpecial() const
{
    return m_iState == STATE_SPECIAL_1 || m_iState == STATE_SPECIAL_2;
}

bool COrvaneBlock::IsSpecialKind2() const
{
    return m_iState == STATE_SPECIAL_2;
}

void COrvaneBlock::SetState(std::int32_t iState)
{
    m_iState = iState;
    PassageChanged();
}
