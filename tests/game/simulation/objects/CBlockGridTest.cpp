#include "game/simulation/objects/CBlockGrid.h"

#include "framework/COrvaneGridEntity.h"
#include "framework/COrvaneObjectDesc.h"

#include <gtest/gtest.h>

namespace
{

class Named : public COrvaneBase
{
public:
    explicit Named(const char* pcName) { SetName(pcName); }
};

class Person : public COrvaneGridEntity
{
public:
    explicit Person(COrvaneBase* pkFactory)
    {
        COrvaneObjectDesc kDesc;
        kDesc.m_pkType = pkFactory;
        Load(kDesc);
    }
    std::int32_t GetEntityKind() const override { return 1; }
};

TEST(CBlockGrid, MembersAreGroupedByTheirFactoryInJoiningOrder)
{
    Named kGuards("SecurityGuardFactory");
    Named kMedics("MedicalFactory");
    Person kA(&kGuards), kB(&kMedics), kC(&kGuards);
    CBlockGrid kFloor;
    EXPECT_TRUE(kFloor.AddMember(&kA));
    EXPECT_TRUE(kFloor.AddMember(&kB));
    EXPECT_TRUE(kFloor.AddMember(&kC));
    EXPECT_FALSE(kFloor.AddMember(nullptr));
    ASSERT_EQ(kFloor.GetMemberGroups().size(), 2u);
    EXPECT_EQ(kFloor.GetMemberGroups()[0].m_pkFactory, &kGuards);
    EXPECT_EQ(kFloor.GetMemberGroups()[0].m_kMembers, (std::vector<COrvaneGridEntity*>{&kA, &kC}));
    EXPECT_EQ(kFloor.GetMemberCount(), 3u);
    EXPECT_TRUE(kFloor.IsMember(&kB));

    EXPECT_TRUE(kFloor.RemoveMember(&kA));
    // Not a member (any more): false, nothing changed.
    EXPECT_FALSE(kFloor.RemoveMember(&kA));
    Person kStranger(&kMedics);
    EXPECT_FALSE(kFloor.RemoveMember(&kStranger));
    EXPECT_FALSE(kFloor.IsMember(&kA));
    EXPECT_EQ(kFloor.GetMemberCount(), 2u);
}

} // namespace
