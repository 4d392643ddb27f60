#include "engine/core/NiObject.h"

#include "engine/core/NiCloneContext.h"
#include "engine/core/NiListNodePool.h"
#include "engine/core/NiViewerStrings.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <regex>
#include <string>
#include <vector>

namespace
{
// A small class tree of its own:
//   NiObject -> TestShape -> TestBox -> TestCube
//   NiObject -> TestShape -> TestSphere
//   NiObject -> TestLink (holds shapes and a plain link to a peer)
// plus TestOther, a root of its own outside NiObject's tree.
class TestShape : public NiObject
{
    NiDeclareTypeInfo()
    NiDeclareClone(TestShape)

public:
    bool IsEqual(NiObject* pkOther) override
    {
        if (!NiObject::IsEqual(pkOther))
            return false;
        return static_cast<TestShape*>(pkOther)->m_iSize == m_iSize;
    }
    void AppendViewerStrings(NiViewerStringArray& kStrings) override
    {
        NiObject::AppendViewerStrings(kStrings);
        kStrings.AddTail(NiViewerHeader(TestShape::TypeInfo()->GetName()));
        kStrings.AddTail(NiViewerInt("m_iSize", m_iSize));
    }

    int m_iSize = 0;
};
NiImplementTypeInfo(TestShape, NiObject)
NiImplementCreateClone(TestShape)

void TestShape::CopyMembers(TestShape* pkDest, NiCloneContext& kCloning)
{
    NiObject::CopyMembers(pkDest, kCloning);
    pkDest->m_iSize = m_iSize;
}

class TestBox : public TestShape
{
    NiDeclareTypeInfo()
};
NiImplementTypeInfo(TestBox, TestShape)

class TestCube : public TestBox
{
    NiDeclareTypeInfo()
};
NiImplementTypeInfo(TestCube, TestBox)

class TestSphere : public TestShape
{
    NiDeclareTypeInfo()
};
NiImplementTypeInfo(TestSphere, TestShape)

class TestOther : public NiObject
{
    NiDeclareTypeInfo()
};
NiImplementTypeInfo(TestOther, NiObject)

// Same class name as TestShape but a different record: equality goes by
// name, kind-of tests by record.
class TestShapeTwin : public NiObject
{
public:
    static const NiTypeInfo* TypeInfo()
    {
        static const NiTypeInfo s_kInfo("TestShape", NiObject::TypeInfo());
        return &s_kInfo;
    }
    const NiTypeInfo* GetTypeInfo() const override { return TypeInfo(); }
};

// An object without a record.
class TestNoRecord : public NiObject
{
public:
    const NiTypeInfo* GetTypeInfo() const override { return nullptr; }
};

// Holds two counted shapes and a plain link to another TestLink. Like the
// engine's property and skin holders, it reuses a copy the clone already
// made of a shared shape; the peer link is re-pointed in the second pass.
class TestLink : public NiObject
{
    NiDeclareTypeInfo()
    NiDeclareClone(TestLink)

public:
    void FinishClone(NiCloneContext& kCloning) override
    {
        std::uint8_t ucDone = 0;
        if (kCloning.m_kProcessMap.GetAt(this, ucDone) && ucDone)
            return;
        NiObject::FinishClone(kCloning);
        ++ms_iFinishPasses;
        NiObject* pkCopy = nullptr;
        if (!kCloning.m_kCloneMap.GetAt(this, pkCopy))
            return;
        NiObject* pkPeerCopy = nullptr;
        if (m_pkPeer && kCloning.m_kCloneMap.GetAt(m_pkPeer, pkPeerCopy))
            static_cast<TestLink*>(pkCopy)->m_pkPeer = static_cast<TestLink*>(pkPeerCopy);
        for (NiRefPtr<NiObject>& spChild : m_aspChildren)
        {
            if (spChild)
                spChild->FinishClone(kCloning);
        }
    }

    NiRefPtr<NiObject> m_aspChildren[2];
    TestLink* m_pkPeer = nullptr;
    static int ms_iFinishPasses;
};
NiImplementTypeInfo(TestLink, NiObject)
NiImplementCreateClone(TestLink)
int TestLink::ms_iFinishPasses = 0;

void TestLink::CopyMembers(TestLink* pkDest, NiCloneContext& kCloning)
{
    NiObject::CopyMembers(pkDest, kCloning);
    for (int i = 0; i < 2; ++i)
    {
        NiObject* pkChild = m_aspChildren[i];
        if (pkChild == nullptr)
            continue;
        NiObject* pkMapped = nullptr;
        if (kCloning.m_kCloneMap.GetAt(pkChild, pkMapped))
            pkDest->m_aspChildren[i] = pkMapped;
        else
            pkDest->m_aspChildren[i] = pkChild->CreateClone(kCloning);
    }
    pkDest->m_pkPeer = m_pkPeer; // re-pointed by FinishClone
}

// Hex pointers in viewer strings differ per run.
std::string MaskPointers(const std::string& kText)
{
    static const std::regex s_kPointer("0x[0-9a-f]+|\\(nil\\)");
    return std::regex_replace(kText, s_kPointer, "%p");
}

std::vector<std::string> TakeStrings(NiViewerStringArray& kStrings)
{
    std::vector<std::string> kOut;
    for (std::uint32_t i = 0; i < kStrings.GetSize(); ++i)
    {
        char* pc = kStrings.GetAt(i);
        kOut.emplace_back(pc ? pc : "<null>");
        delete[] pc;
        kStrings.SetAt(i, nullptr);
    }
    return kOut;
}

class NiObjectTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        NiCloneContext::ResetDefaults();
        TestLink::ms_iFinishPasses = 0;
        m_uiLiveAtStart = NiRefObject::GetTotalObjectCount();
    }
    void TearDown() override
    {
        NiCloneContext::ResetDefaults();
        EXPECT_EQ(NiRefObject::GetTotalObjectCount(), m_uiLiveAtStart);
    }

    std::uint32_t m_uiLiveAtStart = 0;
};
} // namespace

TEST_F(NiObjectTest, KindOfWalksTheBaseChainByRecord)
{
    NiRefPtr<NiObject> spCube = new TestCube;
    NiRefPtr<NiObject> spSphere = new TestSphere;
    NiRefPtr<NiObject> spOther = new TestOther;

    struct Case
    {
        const char* pcWhat;
        NiObject* pkObject;
        const NiTypeInfo* pkType;
        bool bKind;
    };
    const Case akCases[] = {
        {"cube is a cube", spCube, TestCube::TypeInfo(), true},
        {"cube is a box", spCube, TestBox::TypeInfo(), true},
        {"cube is a shape", spCube, TestShape::TypeInfo(), true},
        {"cube is an object", spCube, NiObject::TypeInfo(), true},
        {"cube is no sphere", spCube, TestSphere::TypeInfo(), false},
        {"sphere is no box", spSphere, TestBox::TypeInfo(), false},
        {"sphere is a shape", spSphere, TestShape::TypeInfo(), true},
        {"other is no shape", spOther, TestShape::TypeInfo(), false},
        {"a base is not its derived class", spSphere, TestCube::TypeInfo(), false},
        {"a same-named record is another class", spCube, TestShapeTwin::TypeInfo(), false},
        {"null record matches nothing", spCube, nullptr, false},
    };
    for (const Case& kCase : akCases)
    {
        SCOPED_TRACE(kCase.pcWhat);
        EXPECT_EQ(NiIsKindOf(kCase.pkType, kCase.pkObject), kCase.bKind);
        EXPECT_EQ(NiDynamicCast(kCase.pkType, kCase.pkObject), kCase.bKind ? kCase.pkObject : nullptr);
    }

    EXPECT_EQ(NiDynamicCast<TestBox>(spCube.Get()), static_cast<TestBox*>(static_cast<NiObject*>(spCube)));
    EXPECT_EQ(NiDynamicCast<TestBox>(spSphere.Get()), nullptr);
    EXPECT_TRUE(NiIsExactKindOf(TestCube::TypeInfo(), spCube.Get()));
    EXPECT_FALSE(NiIsExactKindOf(TestBox::TypeInfo(), spCube.Get()));
}

TEST_F(NiObjectTest, KindOfOnNullOrRecordlessObjectsIsFalse)
{
    NiObject* pkNull = nullptr;
    EXPECT_EQ(NiDynamicCast(NiObject::TypeInfo(), pkNull), nullptr);
    EXPECT_FALSE(NiIsKindOf(NiObject::TypeInfo(), pkNull));
    EXPECT_EQ(NiDynamicCast<TestShape>(pkNull), nullptr);

    NiRefPtr<NiObject> spNoRecord = new TestNoRecord;
    EXPECT_FALSE(NiIsKindOf(NiObject::TypeInfo(), spNoRecord.Get()));
    EXPECT_EQ(NiDynamicCast(NiObject::TypeInfo(), spNoRecord.Get()), nullptr);
}

TEST_F(NiObjectTest, RecordsNameTheirClassAndBase)
{
    EXPECT_STREQ(NiObject::TypeInfo()->GetName(), "NiObject");
    EXPECT_EQ(NiObject::TypeInfo()->GetBaseTypeInfo(), nullptr);
    EXPECT_STREQ(TestCube::TypeInfo()->GetName(), "TestCube");
    EXPECT_EQ(TestCube::TypeInfo()->GetBaseTypeInfo(), TestBox::TypeInfo());
    // One record per class, however often it is asked for.
    EXPECT_EQ(TestBox::TypeInfo(), TestBox::TypeInfo());
    NiRefPtr<NiObject> spBox = new TestBox;
    EXPECT_EQ(spBox->GetTypeInfo(), TestBox::TypeInfo());
}

TEST_F(NiObjectTest, EqualityNeedsAnotherObjectOfTheSameClassName)
{
    NiRefPtr<TestShape> spA = new TestShape;
    NiRefPtr<TestShape> spB = new TestShape;
    NiRefPtr<NiObject> spTwin = new TestShapeTwin;
    NiRefPtr<NiObject> spOther = new TestOther;
    NiRefPtr<NiObject> spBase = new NiObject;
    NiRefPtr<NiObject> spBase2 = new NiObject;
    NiRefPtr<NiObject> spBox = new TestBox;

    EXPECT_FALSE(spA->IsEqual(nullptr));
    EXPECT_FALSE(spBase->IsEqual(nullptr));
    EXPECT_TRUE(spA->IsEqual(spB));
    EXPECT_TRUE(spA->IsEqual(spA));
    EXPECT_TRUE(spBase->IsEqual(spBase2));
    // Different classes are never equal, in either direction.
    EXPECT_FALSE(spBase->IsEqual(spOther));
    EXPECT_FALSE(spOther->IsEqual(spBase));
    EXPECT_FALSE(spA->IsEqual(spBox));
    EXPECT_FALSE(spBox->IsEqual(spA));
    // Names are compared as text, not records.
    EXPECT_TRUE(spTwin->IsEqual(spA));
    // A subclass compares its members after its base.
    spB->m_iSize = 3;
    EXPECT_FALSE(spA->IsEqual(spB));
}

TEST_F(NiObjectTest, BaseOperationsDoNothingVisible)
{
    NiRefPtr<NiObject> spObject = new NiObject;
    NiCloneContext kCloning;
    EXPECT_EQ(spObject->CreateClone(kCloning), spObject.Get());
    EXPECT_EQ(spObject->GetBlockAllocationSize(), 0u);
    EXPECT_EQ(spObject->GetBlockGroup(), nullptr);
    spObject->SetBlockGroup(nullptr);
    EXPECT_EQ(spObject->GetBlockGroup(), nullptr);

    std::uint8_t ucFlag = 0;
    EXPECT_FALSE(kCloning.m_kProcessMap.GetAt(spObject, ucFlag));
    spObject->FinishClone(kCloning);
    ASSERT_TRUE(kCloning.m_kProcessMap.GetAt(spObject, ucFlag));
    EXPECT_EQ(ucFlag, 1u);

    // The base returns itself: cloning a plain object makes nothing new.
    EXPECT_EQ(spObject->Clone(), spObject.Get());
}

TEST_F(NiObjectTest, CloneContextTakesTheProcessWideDefaults)
{
    {
        NiCloneContext kCloning;
        EXPECT_EQ(kCloning.m_uiCopyMode, 0u);
        EXPECT_EQ(kCloning.m_cAppendChar, '$');
        EXPECT_EQ(kCloning.m_kCloneMap.GetBucketCount(), 37u);
        EXPECT_EQ(kCloning.m_kProcessMap.GetBucketCount(), 37u);
    }
    NiCloneContext::ms_uiDefaultCopyMode = NiCloneContext::COPY_UNIQUE;
    NiCloneContext::ms_cDefaultAppendChar = '#';
    NiCloneContext kCloning;
    EXPECT_EQ(kCloning.m_uiCopyMode, 2u);
    EXPECT_EQ(kCloning.m_cAppendChar, '#');
}

TEST_F(NiObjectTest, CloneMakesOneCopyOfASharedShapeAndRepointsLinks)
{
    // root -> {left, right}; left and right share one shape; left's peer is
    // right.
    NiRefPtr<TestShape> spShared = new TestShape;
    spShared->m_iSize = 7;
    NiRefPtr<TestLink> spRoot = new TestLink;
    NiRefPtr<TestLink> spLeft = new TestLink;
    NiRefPtr<TestLink> spRight = new TestLink;
    spRoot->m_aspChildren[0] = spLeft.Get();
    spRoot->m_aspChildren[1] = spRight.Get();
    spLeft->m_aspChildren[0] = spShared.Get();
    spRight->m_aspChildren[1] = spShared.Get();
    spLeft->m_pkPeer = spRight;

    const std::uint32_t uiLiveBefore = NiRefObject::GetTotalObjectCount();
    NiRefPtr<NiObject> spCopy = spRoot->Clone();
    EXPECT_EQ(NiRefObject::GetTotalObjectCount() - uiLiveBefore, 4u) << "root, left, right, one shape";

    TestLink* pkRoot = NiDynamicCast<TestLink>(spCopy.Get());
    ASSERT_NE(pkRoot, nullptr);
    ASSERT_NE(pkRoot, spRoot.Get());
    auto* pkLeft = NiDynamicCast<TestLink>(pkRoot->m_aspChildren[0].Get());
    auto* pkRight = NiDynamicCast<TestLink>(pkRoot->m_aspChildren[1].Get());
    ASSERT_NE(pkLeft, nullptr);
    ASSERT_NE(pkRight, nullptr);
    EXPECT_NE(pkLeft, spLeft.Get());
    EXPECT_NE(pkRight, spRight.Get());

    NiObject* pkShape = pkLeft->m_aspChildren[0];
    ASSERT_NE(pkShape, nullptr);
    EXPECT_NE(pkShape, spShared.Get());
    EXPECT_EQ(pkRight->m_aspChildren[1].Get(), pkShape);
    EXPECT_EQ(pkShape->GetRefCount(), 2u);
    EXPECT_TRUE(pkShape->IsEqual(spShared));

    EXPECT_EQ(pkLeft->m_pkPeer, pkRight) << "link re-pointed at the copy";
    EXPECT_EQ(spLeft->m_pkPeer, spRight.Get()) << "source untouched";
    EXPECT_EQ(TestLink::ms_iFinishPasses, 3);

    // The source graph is unchanged and the copy owns nothing of it.
    EXPECT_EQ(spShared->GetRefCount(), 3u);
    spCopy.Clear();
    EXPECT_EQ(NiRefObject::GetTotalObjectCount(), uiLiveBefore);
    EXPECT_EQ(NiListNodePool::GetNodesInUse(), 0u) << "the context's maps gave their nodes back";
}

TEST_F(NiObjectTest, ObjectViewerStringsAreExact)
{
    NiRefPtr<NiObject> spObject = new NiObject;
    NiRefPtr<NiObject> spSecond = spObject;
    NiViewerStringArray kStrings;
    spObject->AppendViewerStrings(kStrings);
    ASSERT_EQ(kStrings.GetSize(), 3u);
    char acPointer[64];
    std::snprintf(acPointer, sizeof(acPointer), "this = %p", static_cast<void*>(spObject.Get()));
    EXPECT_STREQ(kStrings.GetAt(1), acPointer);

    std::vector<std::string> kText = TakeStrings(kStrings);
    for (std::string& kLine : kText)
        kLine = MaskPointers(kLine);
    EXPECT_EQ(kText, (std::vector<std::string>{"--- NiObject ---", "this = %p", "m_uiRefCount = 2"}));
}

TEST_F(NiObjectTest, SubclassViewerStringsFollowTheBaseStrings)
{
    NiRefPtr<TestShape> spShape = new TestShape;
    spShape->m_iSize = -12;
    NiViewerStringArray kStrings;
    kStrings.AddTail(NiViewerHeader("caller's own"));
    spShape->AppendViewerStrings(kStrings);

    std::vector<std::string> kText = TakeStrings(kStrings);
    for (std::string& kLine : kText)
        kLine = MaskPointers(kLine);
    EXPECT_EQ(kText, (std::vector<std::string>{"--- caller's own ---", "--- NiObject ---", "this = %p",
                                               "m_uiRefCount = 1", "--- TestShape ---", "m_iSize = -12"}));
}
