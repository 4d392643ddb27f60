#include "game/simulation/objects/CBlock.h"

CBlock::CBlock()
{
    CBlock::Reset();
}

CBlock::~CBlock() = default;

void CBlock::Reset()
{
    COrvaneBlock::Reset();
    m_pkOwner = nullptr;
}
