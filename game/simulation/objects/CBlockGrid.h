#pragma once

#include "framework/COrvaneBlockGrid.h"

#include <cstddef>
#include <vector>

class COrvaneBase;
class COrvaneGridEntity;

// A floor of the game: the framework grid plus the characters and objects
// standing on it, grouped by the factory that made them, so a whole floor
// can be shown, hidden or cleared at once.
class CBlockGrid : public COrvaneBlockGrid
{
public:
    // The members of one factory in the order they joined; not owned.
    struct MemberGroup
    {
        const COrvaneBase* m_pkFactory = nullptr;
        std::vector<COrvaneGridEntity*> m_kMembers;
    };

    CBlockGrid();
    ~CBlockGrid() override;

    // Adds the entity to its factory's group (made when none has it); the
    // callers add an entity once. False for null.
    bool AddMember(COrvaneGridEntity* pkEntity);
    // False, nothing changed, when it was not a member.
    bool RemoveMember(COrvaneGridEntity* pkEntity);
    [[nodiscard]] bool IsMember(const COrvaneGridEntity* pkEntity) const;
    [[nodiscard]] std::size_t GetMemberCount() const;
    [[nodiscard]] const std::vector<MemberGroup>& GetMemberGroups() const { return m_kGroups; }

private:
    [[nodiscard]] MemberGroup* GroupOf(const COrvaneGridEntity* pkEntity);

    std::vector<MemberGroup> m_kGroups;
};
