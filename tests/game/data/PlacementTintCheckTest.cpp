// The placement marker's green and red read as green and red over every
// floor of the demo data: the marker's real material, lit as the levels
// light it, blended over each floor it can lie on.

#include "engine/scene/NiMaterialProperty.h"
#include "engine/scene/NiNode.h"
#include "framework/COrvaneSceneLink.h"
#include "framework/COrvaneSceneNode.h"
#include "game/shell/ui/CBuildPlacement.h"
#include "tools/COrvaneDemoLevel.h"
#include "tools/COrvaneDemoPrison.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <vector>

namespace
{
using Rgb = std::array<float, 3>; // 0..255

// How far the tint's own channel must stand above the other two once blended
// over a floor: a quarter of the range.
constexpr float CLEAR_MARGIN = 64.0f;
// How far the blended marker must lie from the bare floor it covers (the
// distance of the two colours): a red over a red-brown floor passed the
// margin above and still read as more of the same floor.
constexpr float APART = 90.0f;

// The marker's colour as the device's lighting gives it: emittance plus the
// ambient colour under the levels' ambient light (the quad has no normals:
// the sun adds nothing), and its alpha.
Rgb LitMarker(const CBuildPlacement::Tint& kTint, float& fAlpha)
{
    std::unique_ptr<COrvaneSceneNode> pkQuad = CreateFlatQuad(4.0f, 4.0f);
    EXPECT_NE(pkQuad, nullptr);
    CBuildPlacement::ApplyTint(*pkQuad, kTint);
    const auto* pkMaterial =
        static_cast<const NiMaterialProperty*>(pkQuad->GetSceneRoot()->GetProperty(NiProperty::MATERIAL));
    EXPECT_NE(pkMaterial, nullptr);
    fAlpha = pkMaterial->GetAlpha();
    const NiColorRGB& kEmit = pkMaterial->GetEmittance();
    const NiColorRGB& kAmbient = pkMaterial->GetAmbientColor();
    const float afEmit[3] = {kEmit.r, kEmit.g, kEmit.b};
    const float afAmbient[3] = {kAmbient.r, kAmbient.g, kAmbient.b};
    Rgb kLit{};
    for (int c = 0; c < 3; ++c)
        kLit[c] = 255.0f * std::clamp(afEmit[c] + afAmbient[c] * DEMO_DAYLIGHT[c], 0.0f, 1.0f);
    return kLit;
}

// Every floor a held building or room can lie over: the game's floor display
// over the yard (a white material under the ambient light alone), the
// buildings' floors and the rooms' tiles.
std::vector<Rgb> Floors()
{
    std::vector<Rgb> kFloors;
    kFloors.push_back({255.0f * DEMO_DAYLIGHT[0], 255.0f * DEMO_DAYLIGHT[1], 255.0f * DEMO_DAYLIGHT[2]});
    for (const DemoFloorColour& kColour : DemoFloorColours())
        kFloors.push_back({float(kColour.m_ucRed), float(kColour.m_ucGreen), float(kColour.m_ucBlue)});
    return kFloors;
}

// The levels' ground, past the yard's floor display: only an entrance's
// marker whose entrance lies off the grid stands there, and that one is red.
std::vector<Rgb> Grounds()
{
    std::vector<Rgb> kGrounds;
    for (const DemoLevel& kLevel : DEMO_LEVELS)
        kGrounds.push_back({float(kLevel.m_aucGround[0]), float(kLevel.m_aucGround[1]), float(kLevel.m_aucGround[2])});
    return kGrounds;
}

Rgb Blend(const Rgb& kTint, float fAlpha, const Rgb& kFloor)
{
    Rgb kSeen{};
    for (int i = 0; i < 3; ++i)
        kSeen[i] = fAlpha * kTint[i] + (1.0f - fAlpha) * kFloor[i];
    return kSeen;
}

// How far the floor seen through the marker lies from the bare floor.
float Apart(const Rgb& kTint, float fAlpha, const Rgb& kFloor)
{
    const Rgb kSeen = Blend(kTint, fAlpha, kFloor);
    float fSum = 0.0f;
    for (int i = 0; i < 3; ++i)
        fSum += (kSeen[i] - kFloor[i]) * (kSeen[i] - kFloor[i]);
    return std::sqrt(fSum);
}

// How far channel c of the blend stands above the larger of the other two.
float Lead(const Rgb& kTint, float fAlpha, const Rgb& kFloor, int c)
{
    const Rgb kSeen = Blend(kTint, fAlpha, kFloor);
    return kSeen[c] - std::max(kSeen[(c + 1) % 3], kSeen[(c + 2) % 3]);
}
} // namespace

TEST(PlacementTintCheck, AllowedIsClearlyGreenAndRefusedClearlyRedOverEveryDemoFloor)
{
    float fGreenAlpha = 0.0f;
    float fRedAlpha = 0.0f;
    const Rgb kGreen = LitMarker(CBuildPlacement::VALID_TINT, fGreenAlpha);
    const Rgb kRed = LitMarker(CBuildPlacement::INVALID_TINT, fRedAlpha);
    const std::vector<Rgb> kFloors = Floors();
    ASSERT_GE(kFloors.size(), 11u);
    for (const Rgb& kFloor : kFloors)
    {
        SCOPED_TRACE(testing::Message() << "floor " << kFloor[0] << ", " << kFloor[1] << ", " << kFloor[2]);
        EXPECT_GE(Lead(kGreen, fGreenAlpha, kFloor, 1), CLEAR_MARGIN);
        EXPECT_GE(Lead(kRed, fRedAlpha, kFloor, 0), CLEAR_MARGIN);
        EXPECT_GE(Apart(kGreen, fGreenAlpha, kFloor), APART);
        EXPECT_GE(Apart(kRed, fRedAlpha, kFloor), APART);
    }
    const std::vector<Rgb> kGrounds = Grounds();
    ASSERT_EQ(kGrounds.size(), std::size(DEMO_LEVELS));
    for (const Rgb& kGround : kGrounds)
    {
        SCOPED_TRACE(testing::Message() << "ground " << kGround[0] << ", " << kGround[1] << ", " << kGround[2]);
        EXPECT_GE(Lead(kGreen, fGreenAlpha, kGround, 1), CLEAR_MARGIN);
        EXPECT_GE(Lead(kRed, fRedAlpha, kGround, 0), CLEAR_MARGIN);
        EXPECT_GE(Apart(kRed, fRedAlpha, kGround), APART);
    }
}
