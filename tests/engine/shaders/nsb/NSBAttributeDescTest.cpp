#include "engine/shaders/nsb/NSBAttributeDesc.h"
#include "engine/shaders/nsb/NSBAttributeTable.h"

#include "tests/engine/shaders/nsb/NsbTestSupport.h"

#include <functional>

using namespace nsb_test;

using NSBAttributeDescTest = NsbTest;

namespace
{
std::uint32_t Bits(float f)
{
    std::uint32_t ui;
    std::memcpy(&ui, &f, 4);
    return ui;
}

struct TypeCase
{
    const char* m_pcName;
    std::function<void(NSBAttributeDesc&)> m_kFill;
    Bytes m_kValue; // the bytes after name, description, flags and type
};
} // namespace

// Every type, ranged and not: the value by type, the range only where the
// type has one (a string only its maximum).
TEST_F(NSBAttributeDescTest, EveryTypeWritesItsValueAndRangeAndReadsBack)
{
    const float af[16] = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16};
    const float afLo[4] = {-1, -2, -3, -4};
    auto Floats = [&](const float* pf, int n) {
        Bytes k;
        for (int i = 0; i < n; ++i)
            k = k + Words({Bits(pf[i])});
        return k;
    };
    const std::vector<TypeCase> kCases = {
        {"bool", [](NSBAttributeDesc& d) { d.SetValue_Bool(true); }, Words({1})},
        {"string", [](NSBAttributeDesc& d) { d.SetValue_String("abc"); d.SetRange_UnsignedInt(1, 40); },
         Text("abc") + Words({40})},
        {"uint", [](NSBAttributeDesc& d) { d.SetValue_UnsignedInt(9); d.SetRange_UnsignedInt(2, 12); },
         Words({9, 2, 12})},
        {"float", [](NSBAttributeDesc& d) { d.SetValue_Float(0.5f); d.SetRange_Float(0.0f, 1.0f); },
         Words({Bits(0.5f), Bits(0.0f), Bits(1.0f)})},
        {"point2", [&](NSBAttributeDesc& d) { d.SetValue_Point2(af); d.SetRange_Point2(afLo, af); },
         Floats(af, 2) + Floats(afLo, 2) + Floats(af, 2)},
        {"point3", [&](NSBAttributeDesc& d) { d.SetValue_Point3(af); d.SetRange_Point3(afLo, af); },
         Floats(af, 3) + Floats(afLo, 3) + Floats(af, 3)},
        {"point4", [&](NSBAttributeDesc& d) { d.SetValue_Point4(af); d.SetRange_Point4(afLo, af); },
         Floats(af, 4) + Floats(afLo, 4) + Floats(af, 4)},
        {"matrix3", [&](NSBAttributeDesc& d) { d.SetValue_Matrix3(af); }, Floats(af, 9)},
        {"matrix4", [&](NSBAttributeDesc& d) { d.SetValue_Matrix4(af); }, Floats(af, 16)},
        {"color", [&](NSBAttributeDesc& d) { d.SetValue_ColorA(af); d.SetRange_ColorA(afLo, af); },
         Floats(af, 4) + Floats(afLo, 4) + Floats(af, 4)},
        {"texture", [](NSBAttributeDesc& d) { d.SetValue_Texture(3, "diffuse.dds"); }, Words({3}) + Text("diffuse.dds")},
    };
    for (std::uint32_t uiType = 1; uiType <= kCases.size(); ++uiType)
    {
        const TypeCase& kCase = kCases[uiType - 1];
        for (bool bRanged : {false, true})
        {
            SCOPED_TRACE(std::string(kCase.m_pcName) + (bRanged ? " ranged" : ""));
            NSBAttributeDescPtr spDesc = new NSBAttributeDesc;
            spDesc->SetName(kCase.m_pcName);
            kCase.m_kFill(*spDesc);
            spDesc->SetRanged(bRanged);
            EXPECT_EQ(spDesc->GetType(), uiType);
            Bytes kValue = kCase.m_kValue;
            // Unranged: the value alone (its bytes stand before the range).
            static const std::size_t s_auiValueBytes[] = {0, 4, 7, 4, 4, 8, 12, 16, 36, 64, 16, 19};
            if (!bRanged)
                kValue.resize(s_auiValueBytes[uiType]);
            const Bytes kExpected = Text(kCase.m_pcName) + Words({0, bRanged ? 1u : 0u, uiType}) + kValue;
            const Bytes kBytes = Save(*spDesc);
            EXPECT_EQ(kBytes, kExpected);
            NSBAttributeDescPtr spRead = new NSBAttributeDesc;
            ASSERT_TRUE(Load(*spRead, kBytes));
            EXPECT_EQ(Save(*spRead), kBytes);
            for (std::size_t ui = 0; ui < kBytes.size(); ++ui)
            {
                NSBAttributeDescPtr spCut = new NSBAttributeDesc;
                EXPECT_FALSE(Load(*spCut, Bytes(kBytes.begin(), kBytes.begin() + static_cast<std::ptrdiff_t>(ui))));
            }
        }
    }
}

TEST_F(NSBAttributeDescTest, UnknownTypeHasNoValueAndGettersRefuseOtherTypes)
{
    const Bytes kBytes = Text("Odd") + Words({0, 0, 12});
    NSBAttributeDescPtr spDesc = new NSBAttributeDesc;
    ASSERT_TRUE(Load(*spDesc, kBytes));
    EXPECT_EQ(Save(*spDesc), kBytes);

    spDesc->SetValue_Float(2.0f);
    std::uint32_t ui = 77;
    EXPECT_FALSE(spDesc->GetValue_UnsignedInt(ui));
    EXPECT_EQ(ui, 77u);
    float af[9] = {};
    EXPECT_FALSE(spDesc->GetValue_Matrix3(af));
    EXPECT_FALSE(spDesc->SetRange_UnsignedInt(0, 1));
    float f = 0.0f;
    EXPECT_TRUE(spDesc->GetValue_Float(f));
    EXPECT_EQ(f, 2.0f);
}

TEST_F(NSBAttributeDescTest, ColourFromThreeFloatsGetsAlphaOneInValueAndBounds)
{
    NSBAttributeDescPtr spDesc = new NSBAttributeDesc;
    const float afRGB[3] = {0.1f, 0.2f, 0.3f};
    const float afLo[3] = {0, 0, 0};
    spDesc->SetValue_Color(afRGB);
    ASSERT_TRUE(spDesc->SetRange_Color(afLo, afRGB));
    float afValue[4], afMin[4], afMax[4];
    ASSERT_TRUE(spDesc->GetValue_Color(afValue));
    ASSERT_TRUE(spDesc->GetRange_Color(afMin, afMax));
    EXPECT_EQ(afValue[3], 1.0f);
    EXPECT_EQ(afMin[3], 1.0f);
    EXPECT_EQ(afMax[3], 1.0f);
    EXPECT_EQ(afValue[2], 0.3f);
}

TEST_F(NSBAttributeDescTest, CopyKeepsTypeFlagsValueAndRange)
{
    NSBAttributeDescPtr spSource = new NSBAttributeDesc;
    spSource->SetName("Gloss");
    spSource->SetDescription("Shine");
    spSource->SetValue_Float(0.5f);
    spSource->SetRange_Float(0.25f, 0.75f);
    spSource->SetRanged(true);
    spSource->SetHidden(true);
    NSBAttributeDescPtr spCopy = new NSBAttributeDesc;
    spCopy->CopyFrom(*spSource);
    EXPECT_EQ(Save(*spCopy), Save(*spSource));
}

TEST_F(NSBAttributeDescTest, TableKeepsADescriptorThatFailedAndReportsFailure)
{
    NSBAttributeTable kTable;
    NSBAttributeDescPtr spA = new NSBAttributeDesc;
    spA->SetName("A");
    spA->SetValue_UnsignedInt(1);
    kTable.AddAttribDesc(spA);
    EXPECT_FALSE(kTable.AddAttribDesc(nullptr));
    Bytes kBytes = Save(kTable);
    EXPECT_EQ(kBytes, Words({1}) + Text("A") + Words({0, 0, 3, 1}));
    // The count says two; the second descriptor is cut in its value.
    kBytes[0] = 2;
    kBytes = kBytes + Text("B") + Words({0, 0, 4});
    NSBAttributeTable kRead;
    EXPECT_FALSE(Load(kRead, kBytes));
    EXPECT_EQ(kRead.GetAttribCount(), 2u);
    EXPECT_NE(kRead.GetAttribDescByName("B"), nullptr);
    EXPECT_EQ(kRead.GetAttribDescByName("b"), nullptr);

    NSBAttributeTable kHostile;
    EXPECT_FALSE(Load(kHostile, Words({0xFFFFFFFF}) + kBytes));
    EXPECT_EQ(kHostile.GetAttribCount(), 0u);
}
