#include "engine/scene/NiStringExtraData.h"

#include "engine/core/NiCloneContext.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

// The string extra data font texts and scene files carry.
namespace
{
std::vector<std::string> Viewer(NiObject* pkObject)
{
    NiViewerStringArray kStrings;
    pkObject->AppendViewerStrings(kStrings);
    std::vector<std::string> k;
    for (std::uint32_t i = 0; i < kStrings.GetSize(); ++i)
    {
        k.emplace_back(kStrings.GetAt(i) ? kStrings.GetAt(i) : "");
        delete[] kStrings.GetAt(i);
    }
    return k;
}
} // namespace

TEST(NiStringExtraDataTest, EqualityOfNullAndPresentStrings)
{
    NiRefPtr<NiStringExtraData> spNullA = new NiStringExtraData;
    NiRefPtr<NiStringExtraData> spNullB = new NiStringExtraData;
    NiRefPtr<NiStringExtraData> spText = new NiStringExtraData("text");
    NiRefPtr<NiStringExtraData> spSame = new NiStringExtraData("text");
    NiRefPtr<NiStringExtraData> spOther = new NiStringExtraData("texT");
    EXPECT_TRUE(spNullA->IsEqual(spNullB));
    EXPECT_FALSE(spNullA->IsEqual(spText));
    EXPECT_FALSE(spText->IsEqual(spNullA));
    EXPECT_FALSE(spText->IsEqual(nullptr));
    EXPECT_TRUE(spText->IsEqual(spSame));
    EXPECT_FALSE(spText->IsEqual(spOther));
}

TEST(NiStringExtraDataTest, CloneCopiesTheString)
{
    NiRefPtr<NiStringExtraData> sp = new NiStringExtraData("hello");
    NiObjectPtr spClone = sp->Clone();
    auto* pkClone = NiDynamicCast<NiStringExtraData>(spClone.Get());
    ASSERT_NE(pkClone, nullptr);
    ASSERT_NE(pkClone->GetValue(), nullptr);
    EXPECT_NE(pkClone->GetValue(), sp->GetValue()) << "a copy of its own";
    EXPECT_STREQ(pkClone->GetValue(), "hello");
    sp->SetValue("changed");
    EXPECT_STREQ(pkClone->GetValue(), "hello");

    NiRefPtr<NiStringExtraData> spNull = new NiStringExtraData;
    NiObjectPtr spNullClone = spNull->Clone();
    EXPECT_EQ(static_cast<NiStringExtraData*>(spNullClone.Get())->GetValue(), nullptr);
}

TEST(NiStringExtraDataTest, ViewerShowsTheString)
{
    NiRefPtr<NiStringExtraData> sp = new NiStringExtraData("hello");
    std::vector<std::string> kLines = Viewer(sp);
    ASSERT_FALSE(kLines.empty());
    EXPECT_EQ(kLines.back(), "m_pString = hello");
}
