// The memory a load's objects share: a part of a loaded scene kept after the
// rest is freed, and copies made of loaded objects, stay whole. Run under the
// sanitizers, a freed piece of the load's memory that is still used shows.

#include "engine/core/NiCloneContext.h"
#include "engine/core/NiLoadArena.h"
#include "engine/scene/NiIntegersExtraData.h"
#include "engine/scene/NiNode.h"
#include "engine/scene/NiStringExtraData.h"
#include "engine/scene/NiStringsExtraData.h"
#include "tests/engine/scene/SceneGraphTestSupport.h"

#include <gtest/gtest.h>

#include <string>

namespace scene_test
{
namespace
{
// A named node with a text, a list of texts and numbers, and named children.
NiNodePtr Branch(const std::string& kName, int iChildren)
{
    NiNodePtr sp = new NiNode;
    sp->SetName(kName.c_str());
    NiRefPtr<NiStringExtraData> spText = new NiStringExtraData(("text of " + kName).c_str());
    spText->SetName("a");
    sp->AddExtraData(spText);
    const char* apc[] = {"one", "two", kName.c_str()};
    NiRefPtr<NiStringsExtraData> spTexts = new NiStringsExtraData;
    spTexts->SetValue(3, apc);
    spTexts->SetName("b");
    sp->AddExtraData(spTexts);
    const std::int32_t ai[] = {4, 5, 6};
    NiRefPtr<NiIntegersExtraData> spNumbers = new NiIntegersExtraData;
    spNumbers->SetArray(3, ai);
    spNumbers->SetName("c");
    sp->AddExtraData(spNumbers);
    for (int i = 0; i < iChildren; ++i)
        sp->AttachChild(Branch(kName + "." + std::to_string(i), iChildren - 1));
    return sp;
}

void ExpectBranch(NiAVObject* pkObject, const std::string& kName, int iChildren)
{
    SCOPED_TRACE(kName);
    auto* pkNode = NiDynamicCast<NiNode>(pkObject);
    ASSERT_NE(pkNode, nullptr);
    EXPECT_EQ(std::string(pkNode->GetName()), kName);
    auto* pkText = NiDynamicCast<NiStringExtraData>(pkNode->GetExtraDataAt(0));
    ASSERT_NE(pkText, nullptr);
    EXPECT_EQ(std::string(pkText->GetValue()), "text of " + kName);
    auto* pkTexts = NiDynamicCast<NiStringsExtraData>(pkNode->GetExtraDataAt(1));
    ASSERT_NE(pkTexts, nullptr);
    EXPECT_EQ(std::string(pkTexts->GetValue(2)), kName);
    auto* pkNumbers = NiDynamicCast<NiIntegersExtraData>(pkNode->GetExtraDataAt(2));
    ASSERT_NE(pkNumbers, nullptr);
    EXPECT_EQ(pkNumbers->GetArray()[2], 6);
    ASSERT_EQ(pkNode->GetChildCount(), static_cast<std::uint32_t>(iChildren));
    for (int i = 0; i < iChildren; ++i)
        ExpectBranch(pkNode->GetAt(static_cast<std::uint32_t>(i)), kName + "." + std::to_string(i), iChildren - 1);
}
} // namespace

using NiLoadArenaSceneTest = SceneGraphTest;

TEST_F(NiLoadArenaSceneTest, ADetachedSubtreeOutlivesTheRestOfItsScene)
{
    NiNodePtr spRoot = Branch("root", 3);
    std::vector<std::uint8_t> kKeptBytes = Save({spRoot->GetAt(1)});
    ASSERT_TRUE(Load(Save({spRoot})));
    spRoot = nullptr;

    auto* pkLoaded = NiDynamicCast<NiNode>(m_kLoaded[0].Get());
    ASSERT_NE(pkLoaded, nullptr);
    NiLoadArena* pkArena = NiLoadArena::GetOwner(pkLoaded);
    ASSERT_NE(pkArena, nullptr);
    EXPECT_EQ(NiLoadArena::GetOwner(pkLoaded->GetName()), pkArena);

    NiAVObjectPtr spKept = pkLoaded->DetachChildAt(1);
    m_kLoaded.clear(); // the rest of the scene goes
    ExpectBranch(spKept, "root.1", 2);
    // The kept part still changes and saves as it was.
    spKept->SetName("renamed");
    spKept->SetName("root.1");
    spKept->Update(0.0f);
    EXPECT_EQ(Save({spKept}), kKeptBytes);
}

TEST_F(NiLoadArenaSceneTest, ACloneOutlivesTheLoadAndLivesOnTheHeap)
{
    ASSERT_TRUE(Load(Save({Branch("root", 2)})));
    NiCloneContext::ms_uiDefaultCopyMode = NiCloneContext::COPY_EXACT; // the fixture resets it
    NiObjectPtr spClone = m_kLoaded[0]->Clone();
    NiObjectPtr spCopy = m_kLoaded[0]->DeepCopy();
    m_kLoaded.clear();
    ExpectBranch(NiDynamicCast<NiAVObject>(spClone.Get()), "root", 2);
    EXPECT_EQ(NiLoadArena::GetOwner(spClone), nullptr);
    EXPECT_EQ(NiLoadArena::GetOwner(static_cast<NiNode*>(spClone.Get())->GetName()), nullptr);
    // A deep copy is itself a load: it has an arena of its own.
    ExpectBranch(NiDynamicCast<NiAVObject>(spCopy.Get()), "root", 2);
    EXPECT_NE(NiLoadArena::GetOwner(spCopy), nullptr);
}

TEST_F(NiLoadArenaSceneTest, EachLoadHasItsOwnArena)
{
    std::vector<std::uint8_t> kBytes = Save({Branch("root", 1)});
    ASSERT_TRUE(Load(kBytes));
    NiObjectPtr spFirst = m_kLoaded[0];
    ASSERT_TRUE(Load(kBytes));
    EXPECT_NE(NiLoadArena::GetOwner(spFirst), NiLoadArena::GetOwner(m_kLoaded[0]));
    // Freed in the other order from the one they were made in.
    m_kLoaded.clear();
    ExpectBranch(NiDynamicCast<NiAVObject>(spFirst.Get()), "root", 1);
}
} // namespace scene_test
