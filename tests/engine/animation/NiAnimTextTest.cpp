#include "engine/animation/NiAnimText.h"

#include "engine/scene/NiNode.h"
#include "engine/scene/NiTriShape.h"

#include <gtest/gtest.h>

#include <cstring>

TEST(NiAnimText, CopiesAreOwnedAndNullStaysNull)
{
    char acSource[] = "morph:smile";
    std::unique_ptr<char[]> spCopy = NiCopyText(acSource);
    ASSERT_NE(spCopy, nullptr);
    EXPECT_NE(spCopy.get(), acSource);
    acSource[0] = 'X';
    EXPECT_STREQ(spCopy.get(), "morph:smile");
    EXPECT_EQ(NiCopyText(nullptr), nullptr);
    std::unique_ptr<char[]> spEmpty = NiCopyText("");
    ASSERT_NE(spEmpty, nullptr);
    EXPECT_EQ(spEmpty[0], '\0');

    EXPECT_TRUE(NiTextEqual("walk", "walk"));
    EXPECT_FALSE(NiTextEqual("walk", "Walk"));
    EXPECT_TRUE(NiTextEqual(nullptr, nullptr));
    EXPECT_FALSE(NiTextEqual("", nullptr));
    EXPECT_FALSE(NiTextEqual(nullptr, ""));
}

TEST(NiAnimText, ObjectsMatchByClassAndNameOnly)
{
    NiRefPtr<NiNode> spA = new NiNode;
    NiRefPtr<NiNode> spB = new NiNode;
    NiRefPtr<NiTriShape> spShape = new NiTriShape;
    spA->SetName("Bip01 Head");
    spB->SetName("Bip01 Head");
    spShape->SetName("Bip01 Head");
    // Different objects, same class and name: the same.
    EXPECT_TRUE(NiSameClassAndName(spA, spB));
    // Same name, another class.
    EXPECT_FALSE(NiSameClassAndName(spA, spShape));
    spB->SetName("Bip01 Neck");
    EXPECT_FALSE(NiSameClassAndName(spA, spB));
    // Unnamed objects of one class match; a name against none does not.
    NiRefPtr<NiNode> spC = new NiNode;
    NiRefPtr<NiNode> spD = new NiNode;
    EXPECT_TRUE(NiSameClassAndName(spC, spD));
    EXPECT_FALSE(NiSameClassAndName(spA, spC));
    EXPECT_TRUE(NiSameClassAndName(nullptr, nullptr));
    EXPECT_FALSE(NiSameClassAndName(spA, nullptr));
    EXPECT_FALSE(NiSameClassAndName(nullptr, spA));
}
