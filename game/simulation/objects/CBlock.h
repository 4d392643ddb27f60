#pragma once

#include "framework/COrvaneBlock.h"

class COrvaneBase;

// A cell of a game floor: the framework block plus the object whose
// footprint covers it.
class CBlock : public COrvaneBlock
{
public:
    // Cell states the game gives meaning to: no object may be placed on a
    // connector's cell or on a door cell.
    static constexpr std::int32_t STATE_CONNECTOR = 3;
    static constexpr std::int32_t STATE_DOOR = 5;

    CBlock();
    ~CBlock() override;

    void Reset() override;

    [[nodiscard]] COrvaneBase* GetOwner() const { return m_pkOwner; }
    void SetOwner(COrvaneBase* pkOwner) { m_pkOwner = pkOwner; }

private:
    COrvaneBase* m_pkOwner = nullptr; // link
};
