#include "engine/shaders/nsb/NSBStateConversion.h"

#include "engine/render/NiD3DRenderState.h"
#include "engine/shaders/framework/NiD3DRenderStateGroup.h"
#include "engine/shaders/framework/NiD3DTextureStageGroup.h"
#include "engine/shaders/nsb/NSBStateGroup.h"
#include "tests/engine/shaders/framework/ShaderTestSupport.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <functional>
#include <map>
#include <optional>
#include <utility>
#include <vector>

// Expected device numbers are written as the published numbers, not
// through the engine's constants, so a wrong constant shows here too.
namespace
{
using Expect = std::function<std::optional<std::uint32_t>(std::uint32_t)>;

// Walks every value from 0 to uiLast through one conversion.
template <class F>
void ExpectValues(F fnConvert, std::uint32_t uiState, std::uint32_t uiLast, const Expect& fnExpect)
{
    for (std::uint32_t uiValue = 0; uiValue <= uiLast; ++uiValue)
    {
        SCOPED_TRACE(testing::Message() << "state " << uiState << " value " << uiValue);
        std::uint32_t uiOut = 0xDEADBEEF;
        const std::optional<std::uint32_t> kExpected = fnExpect(uiValue);
        ASSERT_EQ(fnConvert(uiState, uiValue, uiOut), kExpected.has_value());
        if (kExpected)
        {
            EXPECT_EQ(uiOut, *kExpected);
        }
    }
}

std::optional<std::uint32_t> PlusOneBelow(std::uint32_t uiValue, std::uint32_t uiCount)
{
    if (uiValue < uiCount)
        return uiValue + 1;
    return std::nullopt;
}

std::optional<std::uint32_t> SameBelow(std::uint32_t uiValue, std::uint32_t uiCount)
{
    if (uiValue < uiCount)
        return uiValue;
    return std::nullopt;
}

const std::map<std::uint32_t, std::uint32_t>& RenderStates()
{
    static const std::map<std::uint32_t, std::uint32_t> kStates = {
        {0, 23},    {1, 25},    {2, 27},    {3, 15},    {4, 24},    {5, 19},    {6, 20},    {7, 14},
        {8, 26},    {9, 9},     {10, 168},  {11, 54},   {12, 55},   {13, 56},   {14, 57},   {15, 58},
        {16, 59},   {17, 171},  {27, 28},   {28, 35},   {29, 36},   {30, 37},   {31, 38},   {32, 48},
        {33, 128},  {34, 129},  {35, 130},  {36, 131},  {37, 132},  {38, 133},  {39, 134},  {40, 135},
        {41, 137},  {42, 29},   {43, 142},  {44, 141},  {49, 146},  {50, 145},  {51, 147},  {52, 148},
        {54, 139},  {55, 154},  {56, 155},  {57, 156},  {58, 157},  {59, 158},  {60, 159},  {61, 160},
        {62, 166},  {63, 163},  {67, 151},  {68, 34},   {69, 8},    {72, 143},  {73, 7},    {74, 52},
        {75, 53},   {77, 22},   {78, 60},   {82, 161},  {83, 162},  {97, 16},   {98, 136},  {99, 140},
        {100, 152}, {102, 165}, {103, 167}, {104, 170}, {107, 172}, {108, 173}, {109, 174}, {110, 175},
        {111, 176}, {112, 178}, {113, 179}, {114, 180}, {115, 181}, {116, 182}, {117, 183}, {119, 185},
        {120, 186}, {121, 187}, {122, 188}, {123, 189}, {124, 190}, {125, 191}, {126, 192}, {127, 193},
        {128, 194}, {129, 195}, {130, 198}, {131, 199}, {132, 200}, {133, 201}, {134, 202}, {135, 203},
        {136, 204}, {137, 205}, {138, 206}, {139, 207}, {140, 208}, {141, 209},
    };
    return kStates;
}
} // namespace

TEST(NSBStateConversionTest, RenderStatesMapToTheDeviceStateOfTheSameNameAndForeignOnesFail)
{
    const auto& kStates = RenderStates();
    // Every other number up to 141 is a state of another platform.
    const std::vector<std::uint32_t> kForeign = {18, 19, 20, 21, 22, 23, 24, 25, 26, 45, 46, 47, 48, 53, 64, 65,
                                                 66, 70, 71, 76, 79, 80, 81, 84, 85, 86, 87, 88, 89, 90, 91, 92,
                                                 93, 94, 95, 96, 101, 105, 106, 118};
    ASSERT_EQ(kStates.size() + kForeign.size(), 142u);
    for (std::uint32_t uiState = 0; uiState <= 143; ++uiState)
    {
        SCOPED_TRACE(uiState);
        std::uint32_t uiOut = 0xDEADBEEF;
        const auto kIt = kStates.find(uiState);
        ASSERT_EQ(NSBStateConversion::ConvertRenderState(uiState, uiOut), kIt != kStates.end());
        if (kIt != kStates.end())
        {
            EXPECT_EQ(uiOut, kIt->second);
        }
        else
        {
            EXPECT_TRUE(uiState > 141 || std::find(kForeign.begin(), kForeign.end(), uiState) != kForeign.end());
        }
    }
    std::uint32_t uiOut = 0;
    EXPECT_FALSE(NSBStateConversion::ConvertRenderState(0x7FFFFFFF, uiOut));
    EXPECT_FALSE(NSBStateConversion::ConvertRenderState(0xFFFFFFFF, uiOut));
}

TEST(NSBStateConversionTest, RenderStateValuesFollowTheirStateFamily)
{
    const auto fn = &NSBStateConversion::ConvertRenderStateValue;
    struct Family
    {
        std::vector<std::uint32_t> m_kStates;
        std::uint32_t m_uiLast;
        Expect m_fnExpect;
    };
    const std::vector<Family> kFamilies = {
        // comparisons: NEVER 1 .. ALWAYS 8
        {{0, 1, 13, 123}, 9, [](std::uint32_t ui) { return PlusOneBelow(ui, 8); }},
        // stencil operations: KEEP 1 .. DECR 8
        {{11, 12, 75, 120, 121, 122}, 9, [](std::uint32_t ui) { return PlusOneBelow(ui, 8); }},
        // blend factors: ZERO 1 .. BOTHINVSRCALPHA 13, the alpha ones alike
        {{5, 6, 139, 140}, 14, [](std::uint32_t ui) { return PlusOneBelow(ui, 13); }},
        // blend operations: ADD 1 .. MAX 5
        {{17, 141}, 6, [](std::uint32_t ui) { return PlusOneBelow(ui, 5); }},
        // shade, fill and cull modes
        {{9, 69, 77}, 4, [](std::uint32_t ui) { return PlusOneBelow(ui, 3); }},
        // fog modes
        {{28, 99}, 5, [](std::uint32_t ui) { return SameBelow(ui, 4); }},
        // material sources and the depth buffer type
        {{49, 50, 51, 52, 73}, 4, [](std::uint32_t ui) { return SameBelow(ui, 3); }},
        {{63, 102}, 3, [](std::uint32_t ui) { return SameBelow(ui, 2); }},
        // wrap flags: U and V together come before W alone
        {{33, 34, 35, 36, 37, 38, 39, 40, 130, 131, 132, 133, 134, 135, 136, 137},
         9,
         [](std::uint32_t ui) -> std::optional<std::uint32_t> {
             constexpr std::uint32_t WRAP[] = {0, 1, 2, 4, 3, 5, 6, 7};
             if (ui < 8)
                 return WRAP[ui];
             return std::nullopt;
         }},
        // vertex blending: tweening 255, no weights 256
        {{67},
         10,
         [](std::uint32_t ui) -> std::optional<std::uint32_t> {
             if (ui <= 3)
                 return ui;
             if (ui == 7)
                 return 255;
             if (ui == 8)
                 return 256;
             return std::nullopt;
         }},
        // degrees: linear, quadratic, cubic, quintic
        {{107, 108},
         7,
         [](std::uint32_t ui) -> std::optional<std::uint32_t> {
             if (ui == 1 || ui == 2 || ui == 3 || ui == 5)
                 return ui;
             return std::nullopt;
         }},
    };
    std::vector<std::uint32_t> kCovered;
    for (const Family& kFamily : kFamilies)
    {
        for (std::uint32_t uiState : kFamily.m_kStates)
        {
            ExpectValues(fn, uiState, kFamily.m_uiLast, kFamily.m_fnExpect);
            kCovered.push_back(uiState);
        }
    }
    // Every other converted state passes its value unchanged, whatever it is.
    for (const auto& [uiState, uiD3DState] : RenderStates())
    {
        if (std::find(kCovered.begin(), kCovered.end(), uiState) != kCovered.end())
            continue;
        for (std::uint32_t uiValue : {0u, 1u, 7u, 0x3F800000u, 0x7FFFFFFFu, 0xFFFFFFFFu})
        {
            SCOPED_TRACE(testing::Message() << "state " << uiState << " value " << uiValue);
            std::uint32_t uiOut = 0;
            ASSERT_TRUE(fn(uiState, uiValue, uiOut));
            EXPECT_EQ(uiOut, uiValue);
        }
    }
}

TEST(NSBStateConversionTest, TextureStageStatesMapByTheirTable)
{
    const std::map<std::uint32_t, std::uint32_t> kStates = {
        {0, 1},  {1, 26}, {2, 2},  {3, 3},   {4, 4},   {5, 27},  {6, 5},   {7, 6},   {8, 28},
        {10, 7}, {11, 8}, {12, 9}, {13, 10}, {14, 22}, {15, 23}, {16, 11}, {17, 24},
    };
    for (std::uint32_t uiState = 0; uiState <= 19; ++uiState)
    {
        SCOPED_TRACE(uiState);
        std::uint32_t uiOut = 0xDEADBEEF;
        const auto kIt = kStates.find(uiState);
        ASSERT_EQ(NSBStateConversion::ConvertTextureStageState(uiState, uiOut), kIt != kStates.end());
        if (kIt != kStates.end())
        {
            EXPECT_EQ(uiOut, kIt->second);
        }
    }
    std::uint32_t uiOut = 0;
    EXPECT_FALSE(NSBStateConversion::ConvertTextureStageState(0x7FFFFFFF, uiOut));
}

TEST(NSBStateConversionTest, TextureStageValuesOperationsArgumentsCoordinatesAndTransforms)
{
    const auto fn = &NSBStateConversion::ConvertTextureStageValue;
    // Operations: DISABLE 1 .. LERP 26.
    for (std::uint32_t uiState : {0u, 4u})
        ExpectValues(fn, uiState, 27, [](std::uint32_t ui) { return PlusOneBelow(ui, 26); });

    // Arguments: CURRENT 1, DIFFUSE 0, SELECTMASK 0xF, SPECULAR 4, TEMP 5,
    // TEXTURE 2, TFACTOR 3; a source past the list fails.
    const Expect fnSource = [](std::uint32_t ui) -> std::optional<std::uint32_t> {
        constexpr std::uint32_t SOURCE[] = {1, 0, 0xF, 4, 5, 2, 3};
        if (ui < 7)
            return SOURCE[ui];
        return std::nullopt;
    };
    for (std::uint32_t uiState : {1u, 2u, 3u, 5u, 6u, 7u, 8u})
    {
        ExpectValues(fn, uiState, 8, fnSource);
        SCOPED_TRACE(uiState);
        std::uint32_t uiOut = 0;
        // Bit 30 adds alpha replicate 0x20, bit 31 complement 0x10.
        ASSERT_TRUE(fn(uiState, 5 | 0x40000000 | 0x80000000, uiOut));
        EXPECT_EQ(uiOut, 0x32u);
        ASSERT_TRUE(fn(uiState, 0 | 0x40000000, uiOut));
        EXPECT_EQ(uiOut, 0x21u);
        ASSERT_TRUE(fn(uiState, 1 | 0x80000000, uiOut));
        EXPECT_EQ(uiOut, 0x10u);
        // Bits 28 and 29 are neither source nor modifier.
        ASSERT_TRUE(fn(uiState, 0x30000006, uiOut));
        EXPECT_EQ(uiOut, 3u);
        // The unset marker, and sources 7 and beyond with modifiers, fail.
        EXPECT_FALSE(fn(uiState, 0x7FFFFFFF, uiOut));
        EXPECT_FALSE(fn(uiState, 7 | 0x40000000, uiOut));
        EXPECT_FALSE(fn(uiState, 0x0FFFFFFF | 0x80000000, uiOut));
    }

    // Bump matrix, scale and offset keep their float bits.
    for (std::uint32_t uiState = 10; uiState <= 15; ++uiState)
    {
        for (std::uint32_t uiValue : {0u, 0x3F800000u, 0xBF000000u, 0xFFFFFFFFu})
        {
            std::uint32_t uiOut = 0;
            ASSERT_TRUE(fn(uiState, uiValue, uiOut)) << uiState;
            EXPECT_EQ(uiOut, uiValue);
        }
    }

    // Coordinate index: generation mode from the top nibble, set kept.
    const std::uint32_t auiMode[] = {0, 0x10000, 0x20000, 0x30000, 0x40000, 0, 0, 0};
    for (std::uint32_t uiMode = 0; uiMode < 8; ++uiMode)
    {
        for (std::uint32_t uiSet : {0u, 1u, 7u})
        {
            std::uint32_t uiOut = 0xDEADBEEF;
            ASSERT_TRUE(fn(16, (uiMode << 28) | uiSet, uiOut)) << uiMode;
            EXPECT_EQ(uiOut, auiMode[uiMode] | uiSet) << uiMode;
        }
    }
    std::uint32_t uiOut = 0;
    ASSERT_TRUE(fn(16, 0x30000001, uiOut));
    EXPECT_EQ(uiOut, 0x30001u);

    // Transform flags: DISABLE, COUNT1-4, each with or without PROJECTED.
    ExpectValues(fn, 17, 6, [](std::uint32_t ui) { return SameBelow(ui, 5); });
    ExpectValues(fn, 17, 0x106, [](std::uint32_t ui) -> std::optional<std::uint32_t> {
        if (ui <= 4 || (ui >= 0x100 && ui <= 0x104))
            return ui;
        return std::nullopt;
    });
    EXPECT_FALSE(fn(17, 0x200, uiOut));
    EXPECT_FALSE(fn(17, 0x7FFFFFFF, uiOut));

    // No value translates for a state without a device counterpart.
    for (std::uint32_t uiState : {9u, 18u, 19u, 0x7FFFFFFFu})
        for (std::uint32_t uiValue : {0u, 1u, 5u})
            EXPECT_FALSE(fn(uiState, uiValue, uiOut)) << uiState;
}

TEST(NSBStateConversionTest, SamplerValuesByTheirStateNumber)
{
    const auto fn = &NSBStateConversion::ConvertSamplerValue;
    // Address modes: WRAP 1 .. MIRRORONCE 5.
    for (std::uint32_t uiState : {0u, 1u, 2u})
        ExpectValues(fn, uiState, 6, [](std::uint32_t ui) { return PlusOneBelow(ui, 5); });
    // Filters: NONE, POINT, LINEAR, ANISOTROPIC, PYRAMIDALQUAD 6, GAUSSIANQUAD 7.
    for (std::uint32_t uiState : {4u, 5u, 6u})
    {
        ExpectValues(fn, uiState, 7, [](std::uint32_t ui) -> std::optional<std::uint32_t> {
            constexpr std::uint32_t FILTER[] = {0, 1, 2, 3, 6, 7};
            if (ui < 6)
                return FILTER[ui];
            return std::nullopt;
        });
    }
    for (std::uint32_t uiState : {3u, 7u, 8u, 9u, 10u, 11u, 12u})
    {
        for (std::uint32_t uiValue : {0u, 9u, 0x3F800000u, 0xFFFFFFFFu})
        {
            std::uint32_t uiOut = 0;
            ASSERT_TRUE(fn(uiState, uiValue, uiOut)) << uiState;
            EXPECT_EQ(uiOut, uiValue);
        }
    }
    std::uint32_t uiOut = 0;
    for (std::uint32_t uiState : {13u, 14u, 15u, 16u, 17u, 0x7FFFFFFFu})
        for (std::uint32_t uiValue : {0u, 1u})
            EXPECT_FALSE(fn(uiState, uiValue, uiOut)) << uiState;
}

namespace shader_test
{
namespace
{
using Kind = gfx::StateCall::Kind;
using Call = std::array<std::uint32_t, 3>;

class NSBStateConversionGroupTest : public ShaderTest
{
protected:
    void SetUp() override
    {
        ShaderTest::SetUp();
        CreateRenderer();
        m_pkDevice = m_spRenderer->GetD3DDevice();
        m_pkCache = m_spRenderer->GetRenderState();
        m_pkDevice->ClearStateCalls();
        m_pkDevice->SetCallRecording(true);
    }
    // (state, value) of render-state calls, (stage, state, value) of the
    // others, since the last look.
    std::vector<Call> TakeCalls(Kind eKind)
    {
        std::vector<Call> kCalls;
        for (const gfx::StateCall& k : m_pkDevice->StateCalls())
        {
            if (k.kind != eKind)
                continue;
            if (eKind == Kind::SetRenderState)
                kCalls.push_back({k.index, k.value, 0});
            else
                kCalls.push_back({k.index, k.type, k.value});
        }
        m_pkDevice->ClearStateCalls();
        return kCalls;
    }
    static NSBStateGroupEntry* Add(NSBStateGroup& kGroup, std::uint32_t uiState, std::uint32_t uiValue,
                                   std::uint32_t uiFlags)
    {
        kGroup.SetState(uiState, uiValue, false);
        NSBStateGroupEntry* pkEntry = kGroup.FindState(uiState);
        pkEntry->m_uiFlags = uiFlags;
        return pkEntry;
    }
    gfx::IDirect3DDevice9* m_pkDevice = nullptr;
    NiD3DRenderState* m_pkCache = nullptr;
};
} // namespace

TEST_F(NSBStateConversionGroupTest, RenderStatesSkipIgnoredAndUntranslatableEntriesAndKeepTheSaveFlag)
{
    NSBStateGroup kGroup;
    Add(kGroup, 0, 3, 1);            // ZFUNC LESSEQUAL, saved
    Add(kGroup, 18, 5, 0);           // a foreign state: skipped
    Add(kGroup, 5, 4, 0);            // SRCBLEND SRCALPHA
    Add(kGroup, 2, 1, 2 | 1);        // never converted
    Add(kGroup, 0x7FFFFFFF, 1, 0);   // an unknown name
    Add(kGroup, 13, 8, 0);           // STENCILFUNC past ALWAYS
    Add(kGroup, 139, 4, 1);          // SRCBLENDALPHA SRCALPHA, saved
    Add(kGroup, 7, 0, 0);            // ZWRITEENABLE off, unchanged

    NiD3DRenderStateGroup* pkRS = NiD3DRenderStateGroup::CreateRenderStateGroup();
    ASSERT_NE(pkRS, nullptr);
    ASSERT_TRUE(NSBStateConversion::SetupRenderStateGroup(kGroup, *pkRS));
    EXPECT_EQ(pkRS->GetSavedCount(), 2u);
    EXPECT_EQ(pkRS->GetUnsavedCount(), 2u);
    std::uint32_t uiValue = 0;
    bool bSave = false;
    EXPECT_FALSE(pkRS->GetRenderState(27, uiValue, bSave)); // ALPHABLENDENABLE
    EXPECT_FALSE(pkRS->GetRenderState(56, uiValue, bSave)); // STENCILFUNC
    ASSERT_TRUE(pkRS->GetRenderState(23, uiValue, bSave));
    EXPECT_EQ(uiValue, 4u);
    EXPECT_TRUE(bSave);

    // Applied on the device and put back: only the saved ones return.
    m_pkCache->SetRenderState(23, 8);  // ZFUNC ALWAYS
    m_pkCache->SetRenderState(19, 2);  // SRCBLEND ONE
    m_pkCache->SetRenderState(207, 2); // SRCBLENDALPHA ONE
    m_pkCache->SetRenderState(14, 1);  // ZWRITEENABLE on
    TakeCalls(Kind::SetRenderState);
    pkRS->SetRenderStates();
    EXPECT_EQ(TakeCalls(Kind::SetRenderState),
              (std::vector<Call>{{14, 0, 0}, {19, 5, 0}, {207, 5, 0}, {23, 4, 0}}));
    pkRS->RestoreRenderStates();
    EXPECT_EQ(TakeCalls(Kind::SetRenderState), (std::vector<Call>{{207, 2, 0}, {23, 8, 0}}));
    NiD3DRenderStateGroup::DeleteRenderStateGroup(pkRS);
}

TEST_F(NSBStateConversionGroupTest, AnEmptyGroupFailsAndAGroupOfFailingEntriesSucceedsEmpty)
{
    NSBStateGroup kEmpty;
    NiD3DRenderStateGroup kRS;
    NiD3DTextureStageGroup kTS;
    EXPECT_FALSE(NSBStateConversion::SetupRenderStateGroup(kEmpty, kRS));
    EXPECT_FALSE(NSBStateConversion::SetupTextureStageGroup(kEmpty, kTS));
    EXPECT_FALSE(NSBStateConversion::SetupSamplerGroup(kEmpty, kTS));

    NSBStateGroup kFailing;
    Add(kFailing, 9, 7, 0);          // SHADEMODE past PHONG; stage state 9; sampler 9 passes
    Add(kFailing, 142, 0, 0);        // past the render states
    Add(kFailing, 0x7FFFFFFF, 0, 0); // unknown everywhere
    Add(kFailing, 0, 0, 2);          // ignored everywhere
    EXPECT_TRUE(NSBStateConversion::SetupRenderStateGroup(kFailing, kRS));
    EXPECT_EQ(kRS.GetSavedCount() + kRS.GetUnsavedCount(), 0u);
    EXPECT_TRUE(NSBStateConversion::SetupTextureStageGroup(kFailing, kTS));
    EXPECT_EQ(kTS.GetSavedStageStateCount() + kTS.GetUnsavedStageStateCount(), 0u);
    // Sampler 9 (maximum anisotropy) keeps any value; nothing else goes in.
    EXPECT_TRUE(NSBStateConversion::SetupSamplerGroup(kFailing, kTS));
    EXPECT_EQ(kTS.GetUnsavedSamplerStateCount(), 1u);
    EXPECT_EQ(kTS.GetSavedSamplerStateCount(), 0u);
    std::uint32_t uiValue = 0;
    bool bSave = true;
    ASSERT_TRUE(kTS.GetSamplerState(9, uiValue, bSave));
    EXPECT_EQ(uiValue, 7u);
    EXPECT_FALSE(kTS.GetSamplerState(0, uiValue, bSave));
}

TEST_F(NSBStateConversionGroupTest, StageAndSamplerStatesGoIntoOneGroupAndReachTheDevice)
{
    NSBStateGroup kStage;
    Add(kStage, 0, 3, 0);           // COLOROP MODULATE
    Add(kStage, 2, 5, 0);           // COLORARG1 TEXTURE
    Add(kStage, 6, 7, 0);           // ALPHAARG1 with no source: skipped
    Add(kStage, 9, 1, 0);           // no device state
    Add(kStage, 3, 1, 2);           // COLORARG2: never converted
    Add(kStage, 16, 0x30000001, 1); // reflection vector, set 1, saved
    Add(kStage, 17, 0x105, 0);      // COUNT5 does not exist
    Add(kStage, 4, 1, 1);           // ALPHAOP SELECTARG1, saved

    NSBStateGroup kSampler;
    Add(kSampler, 0, 2, 1);  // ADDRESSU CLAMP, saved
    Add(kSampler, 5, 4, 0);  // MINFILTER PYRAMIDALQUAD
    Add(kSampler, 4, 9, 0);  // MAGFILTER out of range
    Add(kSampler, 13, 1, 0); // beyond the sampler states
    Add(kSampler, 6, 2, 2);  // MIPFILTER: never converted

    NiD3DTextureStageGroup* pkTS = NiD3DTextureStageGroup::GetFreeGroup();
    ASSERT_NE(pkTS, nullptr);
    ASSERT_TRUE(NSBStateConversion::SetupTextureStageGroup(kStage, *pkTS));
    ASSERT_TRUE(NSBStateConversion::SetupSamplerGroup(kSampler, *pkTS));
    EXPECT_EQ(pkTS->GetUnsavedStageStateCount(), 2u);
    EXPECT_EQ(pkTS->GetSavedStageStateCount(), 2u);
    EXPECT_EQ(pkTS->GetUnsavedSamplerStateCount(), 1u);
    EXPECT_EQ(pkTS->GetSavedSamplerStateCount(), 1u);

    // Stage states ascending, then samplers (engine number + 1 on the device).
    const std::vector<Call> kStageCalls = {{0, 1, 4}, {0, 2, 2}, {0, 4, 2}, {0, 11, 0x30001}};
    const std::vector<Call> kSamplerCalls = {{0, 1, 3}, {0, 6, 6}};
    for (const Call& k : kStageCalls)
        m_pkCache->SetTextureStageState(0, k[1], 0x55);
    for (const Call& k : kSamplerCalls)
        m_pkCache->SetSamplerState(0, k[1] - 1, 0x55);
    m_pkDevice->ClearStateCalls();
    EXPECT_EQ(pkTS->SetToDevice(0), 0u);
    std::vector<Call> kStages;
    std::vector<Call> kSamplers;
    for (const gfx::StateCall& k : m_pkDevice->StateCalls())
    {
        if (k.kind == Kind::SetTextureStageState)
            kStages.push_back({k.index, k.type, k.value});
        else if (k.kind == Kind::SetSamplerState)
            kSamplers.push_back({k.index, k.type, k.value});
    }
    EXPECT_EQ(kStages, kStageCalls);
    EXPECT_EQ(kSamplers, kSamplerCalls);
    // ALPHAARG1, COLORARG2 and the transform flags were never set.
    std::uint32_t uiValue = 0;
    bool bSave = false;
    EXPECT_FALSE(pkTS->GetStageState(5, uiValue, bSave));
    EXPECT_FALSE(pkTS->GetStageState(3, uiValue, bSave));
    EXPECT_FALSE(pkTS->GetStageState(24, uiValue, bSave));
    EXPECT_FALSE(pkTS->GetSamplerState(4, uiValue, bSave));
    EXPECT_FALSE(pkTS->GetSamplerState(6, uiValue, bSave));
    NiD3DTextureStageGroup::ReleaseGroup(pkTS);
}
} // namespace shader_test
