// The animation library's registration of its 51 class names and its
// conversion of old look-at, path and roll controllers after a load.

#include "engine/animation/NiAnimationLibrary.h"

#include "engine/animation/NiFloatInterpolator.h"
#include "engine/animation/NiLookAtController.h"
#include "engine/animation/NiLookAtInterpolator.h"
#include "engine/animation/NiPathController.h"
#include "engine/animation/NiPathInterpolator.h"
#include "engine/animation/NiPoint3Interpolator.h"
#include "engine/animation/NiRollController.h"
#include "engine/animation/NiTransformController.h"
#include "engine/animation/NiTransformData.h"
#include "engine/animation/NiTransformInterpolator.h"
#include "tests/engine/animation/AnimModelSupport.h"
#include "tests/engine/animation/AnimShapes.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

using animtest::Bytes;
using animtest::NULL_LINK;
using animtest::V;

namespace
{
class NiLegacyConversionTest : public animtest::ModelTest
{
};

// A node record of the 10.x files: name, no extra data, the controller
// link, flags, transform, no properties or collision, children, no effects.
Bytes NodeRecord(const char* pcName, std::uint32_t uiController, std::initializer_list<std::uint32_t> kChildren = {})
{
    Bytes b;
    const std::string kName = pcName;
    b.U32(static_cast<std::uint32_t>(kName.size()));
    for (char c : kName)
        b.U8(static_cast<std::uint8_t>(c));
    b.U32(0).U32(uiController);
    b.U16(0x0E).Floats({0, 0, 0, 1, 0, 0, 0, 1, 0, 0, 0, 1, 1});
    b.U32(0).U32(NULL_LINK).U32(static_cast<std::uint32_t>(kChildren.size()));
    for (std::uint32_t u : kChildren)
        b.U32(u);
    b.U32(0);
    return b;
}

Bytes Controller(std::uint32_t uiNext, std::uint32_t uiTarget, float fFrequency = 1.0f)
{
    Bytes b;
    b.U32(uiNext).U16(0x0C).F32(fFrequency).F32(0.25f).F32(0).F32(2).U32(uiTarget);
    return b;
}

// An old tree: "a" with a look-at then a roll; "b" with a roll before its
// look-at; "c" on a path; "d" with a lone roll; "a" also had keyed
// positions in a transform controller.
std::vector<std::uint8_t> OldTree(std::uint32_t uiVersion)
{
    animtest::File k(uiVersion);
    k.Add("NiNode", NodeRecord("root", NULL_LINK, {1, 2, 5, 9, 12}));        // 0
    k.Add("NiNode", NodeRecord("a", 14));                                     // 1
    k.Add("NiNode", NodeRecord("target", NULL_LINK));                         // 2
    k.Add("NiLookAtController", Controller(4, 1, 2.0f).U16(1).U32(2));        // 3
    k.Add("NiRollController", Controller(NULL_LINK, 1).U32(6));               // 4
    k.Add("NiNode", NodeRecord("b", 7));                                      // 5
    k.Add("NiFloatData", Bytes().U32(2).U32(NI_LINKEY).F32(0).F32(0).F32(1).F32(1)); // 6
    k.Add("NiRollController", Controller(8, 5).U32(6));                       // 7
    k.Add("NiLookAtController", Controller(NULL_LINK, 5).U16(2).U32(2));      // 8
    k.Add("NiNode", NodeRecord("c", 10));                                     // 9
    k.Add("NiPathController",
          Controller(NULL_LINK, 9).U16(0x30).I32(-1).F32(0.5f).F32(0.1f).U16(1).U32(11).U32(6)); // 10
    Bytes kPath;
    kPath.U32(2).U32(NI_LINKEY).F32(0).Floats({0, 0, 0}).F32(1).Floats({10, 0, 0});
    k.Add("NiPosData", kPath);                                                // 11
    k.Add("NiNode", NodeRecord("d", 13));                                     // 12
    k.Add("NiRollController", Controller(NULL_LINK, 12).U32(6));              // 13
    k.Add("NiKeyframeController", Controller(3, 1).U32(15));                  // 14
    Bytes kKeys;
    kKeys.U32(0).U32(2).U32(NI_LINKEY).F32(0).Floats({0, 0, 1}).F32(1).Floats({0, 0, 2}).U32(0);
    k.Add("NiKeyframeData", kKeys);                                           // 15
    k.Top(0);
    return k.Build();
}

NiNode* Child(NiNode* pkRoot, const char* pcName)
{
    return NiDynamicCast<NiNode>(pkRoot->GetObjectByName(pcName));
}
} // namespace

TEST_F(NiLegacyConversionTest, OldLookAtPathAndRollControllersBecomeInterpolators)
{
    NiObjectPtr sp = animtest::Load(OldTree(V(10, 1, 0, 103)));
    auto* pkRoot = NiDynamicCast<NiNode>(sp.Get());
    ASSERT_NE(pkRoot, nullptr);
    NiNode* pkTarget = Child(pkRoot, "target");

    // a: its transform controller now holds the look-at, fed with the keyed
    // positions and rolled by the roll's keys.
    NiNode* pkA = Child(pkRoot, "a");
    ASSERT_EQ(pkA->GetControllers()->CountChain(), 1u);
    auto* pkAController = NiDynamicCast<NiTransformController>(pkA->GetControllers());
    ASSERT_NE(pkAController, nullptr);
    auto* pkALook = NiDynamicCast<NiLookAtInterpolator>(pkAController->GetInterpolator(0));
    ASSERT_NE(pkALook, nullptr);
    EXPECT_EQ(pkALook->GetLookAt(), pkTarget);
    EXPECT_TRUE(pkALook->GetFlip());
    EXPECT_NE(NiDynamicCast<NiPoint3Interpolator>(pkALook->GetSub(NiLookAtInterpolator::TRANSLATE)), nullptr);
    EXPECT_NE(NiDynamicCast<NiFloatInterpolator>(pkALook->GetSub(NiLookAtInterpolator::ROLL)), nullptr);

    // b: its roll came first in its chain and is joined all the same; the
    // new transform controller took the look-at's settings.
    NiNode* pkB = Child(pkRoot, "b");
    ASSERT_EQ(pkB->GetControllers()->CountChain(), 1u);
    auto* pkBController = NiDynamicCast<NiTransformController>(pkB->GetControllers());
    ASSERT_NE(pkBController, nullptr);
    auto* pkBLook = NiDynamicCast<NiLookAtInterpolator>(pkBController->GetInterpolator(0));
    ASSERT_NE(pkBLook, nullptr);
    EXPECT_EQ(pkBLook->GetAxis(), NiLookAtInterpolator::Y);
    EXPECT_NE(pkBLook->GetSub(NiLookAtInterpolator::ROLL), nullptr);
    EXPECT_EQ(pkBController->GetPhase(), 0.25f);
    EXPECT_EQ(pkBController->GetEndKeyTime(), 1.0f) << "time range from the look-at's inputs";

    // c: a path interpolator with the controller's settings.
    NiNode* pkC = Child(pkRoot, "c");
    auto* pkCController = NiDynamicCast<NiTransformController>(pkC->GetControllers());
    ASSERT_NE(pkCController, nullptr);
    auto* pkPath = NiDynamicCast<NiPathInterpolator>(pkCController->GetInterpolator(0));
    ASSERT_NE(pkPath, nullptr);
    const NiPathCurve& kCurve = pkPath->GetCurve();
    EXPECT_EQ(kCurve.GetFlags() & NiPathCurve::SETTINGS_MASK, 0x30);
    EXPECT_NEAR(kCurve.GetTotalLength(), 10.0f, 1e-4f) << "constant velocity set up";
    EXPECT_EQ(kCurve.m_iBankDir, -1);
    EXPECT_EQ(kCurve.m_fMaxBankAngle, 0.5f);
    EXPECT_EQ(kCurve.m_fSmoothing, 0.1f);
    EXPECT_EQ(kCurve.m_usFollowAxis, 1);

    // d: a roll with nothing to roll is gone.
    EXPECT_EQ(Child(pkRoot, "d")->GetControllers(), nullptr);

    // The converted scene plays (phase 0.25: key time 0.75): a from its
    // keyed place, c along its path.
    pkRoot->Update(0.5f);
    EXPECT_FLOAT_EQ(pkA->GetTranslate().z, 1.75f);
    EXPECT_NEAR(pkC->GetTranslate().x, 7.5f, 1e-3f);
}

TEST_F(NiLegacyConversionTest, CurrentFilesAndUnregisteredConversionKeepOldControllers)
{
    // 10.2.0.0 keeps the look-at controller as it is.
    NiRefPtr<NiNode> spRoot = new NiNode;
    NiRefPtr<NiNode> spObject = new NiNode;
    NiRefPtr<NiNode> spTarget = new NiNode;
    spRoot->AttachChild(spObject);
    spRoot->AttachChild(spTarget);
    NiLookAtControllerPtr spLook = new NiLookAtController;
    spLook->SetLookAt(spTarget);
    spLook->SetTarget(spObject);
    NiObjectPtr spLoaded = animtest::Load(animtest::Save(spRoot));
    auto* pkRoot = NiDynamicCast<NiNode>(spLoaded.Get());
    ASSERT_NE(pkRoot, nullptr);
    EXPECT_NE(NiDynamicCast<NiLookAtController>(static_cast<NiNode*>(pkRoot->GetAt(0))->GetControllers()), nullptr);
    spLook->SetTarget(nullptr);

    // Without the callback an old file keeps its old controllers.
    NiObjectStream::UnregisterPostLoadCallback(&NiAnimationLibrary::ConvertLegacyControllers);
    NiObjectPtr spOld = animtest::Load(OldTree(V(10, 1, 0, 103)));
    ASSERT_NE(spOld, nullptr);
    EXPECT_NE(NiDynamicCast<NiLookAtController>(Child(static_cast<NiNode*>(spOld.Get()), "b")->GetControllers()
                                                    ->GetNext()),
              nullptr);
    NiObjectStream::RegisterPostLoadCallback(&NiAnimationLibrary::ConvertLegacyControllers);
    NiAnimationLibrary::ConvertControllersOf(*std::make_unique<NiObjectStream>(), spOld);
    EXPECT_NE(NiDynamicCast<NiTransformController>(Child(static_cast<NiNode*>(spOld.Get()), "b")->GetControllers()),
              nullptr);

    // The settings copy: four flag fields and the times, nothing else.
    NiRefPtr<NiRollController> spFrom = new NiRollController;
    spFrom->SetFlags(0x1F);
    spFrom->SetFrequency(3.0f);
    spFrom->SetPhase(0.5f);
    spFrom->SetBeginKeyTime(1.0f);
    spFrom->SetEndKeyTime(4.0f);
    NiTransformControllerPtr spTo = new NiTransformController;
    spTo->SetFlags(NiTimeController::MANAGERCONTROLLED_MASK);
    NiAnimationLibrary::CopyTimeControllerSettings(spFrom, spTo);
    EXPECT_EQ(spTo->GetFlags(), 0x1F | NiTimeController::MANAGERCONTROLLED_MASK);
    EXPECT_EQ(spTo->GetFrequency(), 3.0f);
    EXPECT_EQ(spTo->GetPhase(), 0.5f);
    EXPECT_EQ(spTo->GetBeginKeyTime(), 1.0f);
    EXPECT_EQ(spTo->GetEndKeyTime(), 4.0f);
}

TEST_F(NiLegacyConversionTest, OneFileOfAll51NamesLoadsEachAsItsClass)
{
    const char* const apcNames[] = {
        "NiAlphaController", "NiBlendAccumTransformInterpolator", "NiBlendBoolInterpolator",
        "NiBlendColorInterpolator", "NiBlendFloatInterpolator", "NiBlendPoint3Interpolator",
        "NiBlendQuaternionInterpolator", "NiBlendTransformInterpolator", "NiBoneLODController", "NiBoolData",
        "NiBoolInterpolator", "NiBoolTimelineInterpolator", "NiColorData", "NiColorExtraDataController",
        "NiColorInterpolator", "NiControllerManager", "NiControllerSequence", "NiFlipController", "NiFloatData",
        "NiFloatExtraDataController", "NiFloatInterpolator", "NiFloatsExtraDataController", "NiGeomMorpherController",
        "NiKeyframeController", "NiKeyframeData", "NiKeyframeManager", "NiLightColorController",
        "NiLookAtController", "NiLookAtInterpolator", "NiMaterialColorController", "NiMorphData",
        "NiMultiTargetTransformController", "NiPathController", "NiPathInterpolator", "NiPoint3Interpolator",
        "NiPosData", "NiQuaternionInterpolator", "NiRollController", "NiRotData", "NiSequence",
        "NiSequenceStreamHelper", "NiStringPalette", "NiTextKeyExtraData", "NiTextureTransformController",
        "NiTransformController", "NiTransformData", "NiTransformInterpolator", "NiUVController", "NiUVData",
        "NiVisController", "NiVisData"};
    ASSERT_EQ(sizeof(apcNames) / sizeof(apcNames[0]), 51u);
    ASSERT_EQ(NiAnimationLibrary::GetClassNameCount(), 51u);
    for (std::uint32_t i = 0; i < 51; ++i)
        EXPECT_STREQ(NiAnimationLibrary::GetClassName(i), apcNames[i]);

    // Each record as the engine writes a new object of the class, put into
    // one file under the name.
    animtest::File kFile;
    std::vector<std::string> kClasses;
    for (const char* pcName : apcNames)
    {
        NiObjectPtr sp = NiObjectStream::CreateObjectByName(pcName);
        ASSERT_NE(sp, nullptr) << pcName;
        kClasses.emplace_back(sp->GetTypeInfo()->GetName());
        const auto kAlone = animtest::Save(sp);
        ASSERT_FALSE(kAlone.empty()) << pcName;
        const std::size_t uiHead = std::strlen(NiObjectStream::HEADER_LINE) + 4 + 4 + 4 + 2 + 4 +
                                   kClasses.back().size() + 2 + 4;
        ASSERT_GT(kAlone.size(), uiHead + 8) << pcName;
        Bytes kRecord;
        kRecord.m.assign(kAlone.begin() + static_cast<std::ptrdiff_t>(uiHead), kAlone.end() - 8);
        kFile.Top(kFile.Add(pcName, kRecord));
    }
    const auto kBytes = kFile.Build();
    {
        NiObjectStream kStream;
        ASSERT_TRUE(kStream.LoadBuffer(kBytes.data(), static_cast<std::uint32_t>(kBytes.size())))
            << kStream.GetLastErrorMessage();
        ASSERT_EQ(kStream.GetObjectCount(), 51u);
        for (std::uint32_t i = 0; i < 51; ++i)
            EXPECT_STREQ(kStream.GetObjectAt(i)->GetTypeInfo()->GetName(), kClasses[i].c_str()) << apcNames[i];
        EXPECT_STREQ(kClasses[50].c_str(), "NiBoolData");
        EXPECT_STREQ(kClasses[23].c_str(), "NiTransformController");
        kStream.RemoveAllTopObjects();
    }

    // A second start-up adds nothing; after the shut-down no name loads and
    // the conversion is gone.
    NiAnimationLibrary::Init();
    NiAnimationLibrary::Shutdown();
    {
        NiObjectStream kStream;
        EXPECT_FALSE(kStream.LoadBuffer(kBytes.data(), static_cast<std::uint32_t>(kBytes.size())));
        EXPECT_EQ(kStream.GetLastError(), NiObjectStream::ERROR_NO_CREATE_FUNCTION);
    }
    const auto* pkCallbacks = NiObjectStream::GetPostLoadCallbacks();
    for (std::uint32_t i = 0; pkCallbacks != nullptr && i < pkCallbacks->GetSize(); ++i)
        EXPECT_NE(pkCallbacks->GetAt(i), &NiAnimationLibrary::ConvertLegacyControllers);
    NiAnimationLibrary::Init();
}
