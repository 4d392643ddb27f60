#pragma once

#include "game/simulation/objects/CPathableObject.h"

#include <cstdint>

// An administration room: a planning or a clerical room, numbered by the
// digit before the first "." of its model name, built in order and raising
// the prison's upgrade or clerical level. A room named for executions is
// counted as an execution room instead.
class CAdminRoom : public CPathableObject
{
public:
    static constexpr std::uint32_t KIND_OTHER = 0;
    static constexpr std::uint32_t KIND_PLANNING = 1;
    static constexpr std::uint32_t KIND_CLERICAL = 2;

    CAdminRoom();
    ~CAdminRoom() override;

    void Destroy() override;
    void Reset() override;
    int Create(COrvaneObjectDesc& kDesc) override;
    // A room numbered N needs its kind's level N - 1.
    [[nodiscard]] bool CanBuild() const override;
    void AddToStatistics() override;
    void RemoveFromStatistics() override;

    [[nodiscard]] std::uint32_t GetRoomKind() const { return m_uiRoomKind; }
    [[nodiscard]] std::uint16_t GetRoomNumber() const { return m_usRoomNumber; }

    // The digit just before the first "." of the name; 0 for a non-digit,
    // a name without "." or one beginning with it.
    [[nodiscard]] static std::uint16_t RoomNumberOf(const char* pcName);

private:
    [[nodiscard]] bool IsExecutionRoom() const;

    std::uint32_t m_uiRoomKind = KIND_OTHER;
    std::uint16_t m_usRoomNumber = 0;
};
