#include "engine/shaders/nsb/NSBAttributeTable.h"

#include "tests/engine/shaders/nsb/NsbTestSupport.h"

#include <cmath>
#include <limits>

using namespace nsb_test;

using NSBAttributeTableTest = NsbTest;

namespace
{
std::uint32_t Bits(float f)
{
    std::uint32_t ui;
    std::memcpy(&ui, &f, 4);
    return ui;
}

Bytes Floats(std::initializer_list<float> kFloats)
{
    Bytes k;
    for (float f : kFloats)
        k = k + Words({Bits(f)});
    return k;
}

// One descriptor record: name, empty description, flags, type.
Bytes Head(const std::string& kName, std::uint32_t uiFlags, std::uint32_t uiType)
{
    return Text(kName) + Words({0, uiFlags, uiType});
}
} // namespace

// Each creator, ranged and not, as the table writes it: the type, the
// hidden bit, the value and a range only where the rule of its type says.
TEST_F(NSBAttributeTableTest, EveryCreatorWritesItsTypeValueAndRangeRule)
{
    const float af[16] = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16};
    const float afLo[4] = {-1, -2, -3, -4};
    const float afZero[4] = {};
    const float afHalf[4] = {0.0f, 0.0f, 0.5f, 0.0f};

    NSBAttributeTable kTable;
    ASSERT_TRUE(kTable.AddAttribDesc_Bool("b", "ignored", true, true));
    ASSERT_TRUE(kTable.AddAttribDesc_UnsignedInt("u0", nullptr, false, 7, 3, 0));
    ASSERT_TRUE(kTable.AddAttribDesc_UnsignedInt("u1", nullptr, false, 7, 3, 9));
    ASSERT_TRUE(kTable.AddAttribDesc_Float("f0", nullptr, false, 0.5f, 0.0f, 0.0f));
    ASSERT_TRUE(kTable.AddAttribDesc_Float("f1", nullptr, true, 0.5f, 0.0f, 1.0f));
    ASSERT_TRUE(kTable.AddAttribDesc_Point2("p2", nullptr, false, af, afLo, afZero));
    ASSERT_TRUE(kTable.AddAttribDesc_Point3("p3", nullptr, false, af, afLo, afHalf));
    ASSERT_TRUE(kTable.AddAttribDesc_Point4("p4", nullptr, false, af, afLo, af));
    ASSERT_TRUE(kTable.AddAttribDesc_Matrix3("m3", nullptr, false, af));
    ASSERT_TRUE(kTable.AddAttribDesc_Matrix4("m4", nullptr, true, af));
    ASSERT_TRUE(kTable.AddAttribDesc_Color("c3", nullptr, false, af));
    ASSERT_TRUE(kTable.AddAttribDesc_Color("c3r", nullptr, false, af, afLo, afZero));
    ASSERT_TRUE(kTable.AddAttribDesc_ColorA("c4", nullptr, false, af));
    ASSERT_TRUE(kTable.AddAttribDesc_ColorA("c4r", nullptr, false, af, afLo, af));
    ASSERT_TRUE(kTable.AddAttribDesc_Texture("t", nullptr, false, 5, "base.dds"));

    const Bytes kExpected = Words({15}) +
        Head("b", 2, 1) + Words({1}) +
        Head("u0", 0, 3) + Words({7}) +
        Head("u1", 1, 3) + Words({7, 3, 9}) +
        Head("f0", 0, 4) + Floats({0.5f}) +
        Head("f1", 3, 4) + Floats({0.5f, 0.0f, 1.0f}) +
        Head("p2", 0, 5) + Floats({1, 2}) +
        Head("p3", 1, 6) + Floats({1, 2, 3, -1, -2, -3, 0, 0, 0.5f}) +
        Head("p4", 1, 7) + Floats({1, 2, 3, 4, -1, -2, -3, -4, 1, 2, 3, 4}) +
        Head("m3", 0, 8) + Floats({1, 2, 3, 4, 5, 6, 7, 8, 9}) +
        Head("m4", 2, 9) + Floats({1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16}) +
        Head("c3", 0, 10) + Floats({1, 2, 3, 1}) +
        // A colour given any maximum is ranged, even an all-zero one.
        Head("c3r", 1, 10) + Floats({1, 2, 3, 1, -1, -2, -3, 1, 0, 0, 0, 1}) +
        Head("c4", 0, 10) + Floats({1, 2, 3, 4}) +
        Head("c4r", 1, 10) + Floats({1, 2, 3, 4, -1, -2, -3, -4, 1, 2, 3, 4}) +
        Head("t", 0, 11) + Words({5}) + Text("base.dds");
    EXPECT_EQ(Save(kTable), kExpected);
    EXPECT_EQ(kTable.GetAttribDesc(0)->GetDescription(), nullptr);
}

// Names are unique ignoring case, for every creator; a refusal leaves the
// table as it was.
TEST_F(NSBAttributeTableTest, SecondNameDifferingOnlyInCaseIsRefused)
{
    const float af[16] = {};
    NSBAttributeTable kTable;
    ASSERT_TRUE(kTable.AddAttribDesc_Float("Gloss", nullptr, false, 0.25f, 0.0f, 0.0f));
    EXPECT_FALSE(kTable.AddAttribDesc_Bool("gloss", nullptr, false, true));
    EXPECT_FALSE(kTable.AddAttribDesc_UnsignedInt("GLOSS", nullptr, false, 1, 0, 0));
    EXPECT_FALSE(kTable.AddAttribDesc_Float("gLoss", nullptr, false, 1.0f, 0.0f, 0.0f));
    EXPECT_FALSE(kTable.AddAttribDesc_Point2("gloss", nullptr, false, af, af, af));
    EXPECT_FALSE(kTable.AddAttribDesc_Point3("gloss", nullptr, false, af, af, af));
    EXPECT_FALSE(kTable.AddAttribDesc_Point4("gloss", nullptr, false, af, af, af));
    EXPECT_FALSE(kTable.AddAttribDesc_Matrix3("gloss", nullptr, false, af));
    EXPECT_FALSE(kTable.AddAttribDesc_Matrix4("gloss", nullptr, false, af));
    EXPECT_FALSE(kTable.AddAttribDesc_Color("gloss", nullptr, false, af));
    EXPECT_FALSE(kTable.AddAttribDesc_ColorA("gloss", nullptr, false, af));
    EXPECT_FALSE(kTable.AddAttribDesc_Texture("gloss", nullptr, false, 0, "x"));
    ASSERT_EQ(kTable.GetAttribCount(), 1u);
    float fValue = 0.0f;
    ASSERT_TRUE(kTable.GetAttribDesc(0)->GetValue_Float(fValue));
    EXPECT_EQ(fValue, 0.25f);
    EXPECT_TRUE(kTable.AddAttribDesc_Float("Glossy", nullptr, false, 1.0f, 0.0f, 0.0f));
}

// A NaN maximum is not 0.0, so it makes the entry ranged; a point without
// any maximum is not ranged.
TEST_F(NSBAttributeTableTest, NanMaximumCountsAsRangedAndMissingBoundsDoNot)
{
    const float fNaN = std::numeric_limits<float>::quiet_NaN();
    const float afValue[2] = {1.0f, 2.0f};
    const float afNaN[2] = {0.0f, fNaN};
    NSBAttributeTable kTable;
    ASSERT_TRUE(kTable.AddAttribDesc_Float("f", nullptr, false, 1.0f, 0.0f, fNaN));
    ASSERT_TRUE(kTable.AddAttribDesc_Point2("p", nullptr, false, afValue, nullptr, afNaN));
    ASSERT_TRUE(kTable.AddAttribDesc_Point2("q", nullptr, false, afValue, nullptr, nullptr));
    float fMin = 1.0f, fMax = 0.0f;
    EXPECT_TRUE(kTable.GetAttribDesc(0)->IsRanged());
    ASSERT_TRUE(kTable.GetAttribDesc(0)->GetRange_Float(fMin, fMax));
    EXPECT_EQ(fMin, 0.0f);
    EXPECT_TRUE(std::isnan(fMax));
    float afMin[2] = {9, 9}, afMax[2] = {};
    EXPECT_TRUE(kTable.GetAttribDesc(1)->IsRanged());
    ASSERT_TRUE(kTable.GetAttribDesc(1)->GetRange_Point2(afMin, afMax));
    EXPECT_EQ(afMin[0], 0.0f);
    EXPECT_TRUE(std::isnan(afMax[1]));
    EXPECT_FALSE(kTable.GetAttribDesc(2)->IsRanged());
}
