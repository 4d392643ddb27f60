#include "engine/core/NiObjectStream.h"

#include <gtest/gtest.h>

namespace
{
class Made : public NiObject
{
public:
    explicit Made(int iKind) : m_iKind(iKind) {}
    int m_iKind;
};

NiObject* CreateFirst()
{
    return new Made(1);
}
NiObject* CreateSecond()
{
    return new Made(2);
}

void CallbackA(NiObjectStream&, NiObject*)
{
}
void CallbackB(NiObjectStream&, NiObject*)
{
}
void CallbackC(NiObjectStream&, NiObject*)
{
}
void CallbackD(NiObjectStream&, NiObject*)
{
}

int MadeKind(const char* pcName)
{
    NiRefPtr<NiObject> spObject = NiObjectStream::CreateObjectByName(pcName);
    return spObject ? static_cast<Made*>(spObject.Get())->m_iKind : 0;
}

// The create-function table and post-load list of the scene-file stream are
// process-wide; each test starts and ends without them.
class NiObjectStreamTablesTest : public ::testing::Test
{
protected:
    void SetUp() override { NiObjectStream::StaticShutdown(); }
    void TearDown() override { NiObjectStream::StaticShutdown(); }
};
} // namespace

TEST_F(NiObjectStreamTablesTest, ClassNamesHashToTheirBuckets)
{
    EXPECT_EQ(NiObjectStream::GetCreateFunctionBucket("NiNode"), 54u);
    EXPECT_EQ(NiObjectStream::GetCreateFunctionBucket("NiExtraData"), 58u);
    EXPECT_EQ(NiObjectStream::GetCreateFunctionBucket("\xFF"), 50u) << "bytes count as signed";
    EXPECT_EQ(NiObjectStream::GetCreateFunctionBucket(""), 0u);
}

TEST_F(NiObjectStreamTablesTest, NothingIsCreatableWithoutTheTable)
{
    EXPECT_FALSE(NiObjectStream::IsStaticInitialized());
    EXPECT_FALSE(NiObjectStream::RegisterCreateFunction("NiNode", CreateFirst));
    EXPECT_EQ(NiObjectStream::GetCreateFunction("NiNode"), nullptr);
    EXPECT_EQ(NiObjectStream::CreateObjectByName("NiNode"), nullptr);
    EXPECT_FALSE(NiObjectStream::UnregisterCreateFunction("NiNode"));
    EXPECT_EQ(NiObjectStream::GetPostLoadCallbacks(), nullptr);
    NiObjectStream::RegisterPostLoadCallback(CallbackA); // ignored, no crash
}

TEST_F(NiObjectStreamTablesTest, CreatesByExactNameAndReRegisteringReplaces)
{
    NiObjectStream::StaticInit();
    ASSERT_TRUE(NiObjectStream::IsStaticInitialized());
    EXPECT_TRUE(NiObjectStream::RegisterCreateFunction("NiNode", CreateFirst));
    EXPECT_TRUE(NiObjectStream::RegisterCreateFunction("NiExtraData", CreateSecond));
    EXPECT_EQ(MadeKind("NiNode"), 1);
    EXPECT_EQ(MadeKind("NiExtraData"), 2);
    EXPECT_EQ(MadeKind("ninode"), 0) << "case-sensitive";
    EXPECT_EQ(MadeKind("NiNode "), 0);
    EXPECT_EQ(MadeKind(nullptr), 0);

    EXPECT_TRUE(NiObjectStream::RegisterCreateFunction("NiNode", CreateSecond));
    EXPECT_EQ(MadeKind("NiNode"), 2);

    EXPECT_TRUE(NiObjectStream::UnregisterCreateFunction("NiNode"));
    EXPECT_FALSE(NiObjectStream::UnregisterCreateFunction("NiNode"));
    EXPECT_EQ(MadeKind("NiNode"), 0);
    EXPECT_EQ(MadeKind("NiExtraData"), 2);

    NiObjectStream::StaticShutdown();
    EXPECT_EQ(MadeKind("NiExtraData"), 0);
    // A fresh table starts empty.
    NiObjectStream::StaticInit();
    EXPECT_EQ(MadeKind("NiExtraData"), 0);
}

TEST_F(NiObjectStreamTablesTest, PostLoadListGrowsByThreeAndReusesTheFirstFreeSlot)
{
    NiObjectStream::StaticInit();
    const NiSparsePtrArray<NiPostLoadCallback>* pkList = NiObjectStream::GetPostLoadCallbacks();
    ASSERT_NE(pkList, nullptr);
    EXPECT_EQ(pkList->GetGrowBy(), 3u);

    NiObjectStream::RegisterPostLoadCallback(CallbackA);
    EXPECT_EQ(pkList->GetCapacity(), 3u);
    NiObjectStream::RegisterPostLoadCallback(CallbackB);
    NiObjectStream::RegisterPostLoadCallback(CallbackC);
    EXPECT_EQ(pkList->GetCapacity(), 3u);
    NiObjectStream::RegisterPostLoadCallback(CallbackD);
    EXPECT_EQ(pkList->GetCapacity(), 6u);
    EXPECT_EQ(pkList->GetEffectiveSize(), 4u);

    NiObjectStream::UnregisterPostLoadCallback(CallbackB);
    NiObjectStream::UnregisterPostLoadCallback(CallbackA);
    EXPECT_EQ(pkList->GetAt(0), nullptr);
    EXPECT_EQ(pkList->GetAt(1), nullptr);
    EXPECT_EQ(pkList->GetEffectiveSize(), 2u);

    NiObjectStream::RegisterPostLoadCallback(CallbackB);
    EXPECT_EQ(pkList->GetAt(0), &CallbackB) << "first null slot";
    NiObjectStream::RegisterPostLoadCallback(CallbackA);
    EXPECT_EQ(pkList->GetAt(1), &CallbackA);
    EXPECT_EQ(pkList->GetAt(2), &CallbackC);
    EXPECT_EQ(pkList->GetAt(3), &CallbackD);
    EXPECT_EQ(pkList->GetSize(), 4u);
    EXPECT_EQ(pkList->GetCapacity(), 6u);
}
