#include "engine/scene/NiDefaultAVObjectPalette.h"

#include "engine/scene/NiLight.h"
#include "tests/engine/scene/SceneGraphTestSupport.h"

using namespace scene_test;

namespace
{
// A positioned object holding a counted link to any object (the way an
// animation manager holds its palette).
class LinkHolder : public NiAVObject
{
    NiDeclareTypeInfo()

public:
    NiObjectPtr m_spLink;

    void ReadFromStream(NiObjectStream& kStream) override
    {
        NiAVObject::ReadFromStream(kStream);
        kStream.ReadLinkID();
    }
    void ResolveLinks(NiObjectStream& kStream) override
    {
        NiAVObject::ResolveLinks(kStream);
        m_spLink = kStream.GetLinkedObject();
    }
    bool RegisterForSave(NiObjectStream& kStream) override
    {
        if (!NiAVObject::RegisterForSave(kStream))
            return false;
        if (m_spLink != nullptr)
            m_spLink->RegisterForSave(kStream);
        return true;
    }
};
NiImplementTypeInfo(LinkHolder, NiAVObject)

class NiDefaultAVObjectPaletteTest : public SceneGraphTest
{
protected:
    void SetUp() override
    {
        SceneGraphTest::SetUp();
        NiObjectStream::RegisterCreateFunction("LinkHolder", +[]() -> NiObject* { return new LinkHolder; });
    }

    static Bytes PaletteRecord(std::uint32_t uiScene, const std::vector<std::pair<std::string, std::uint32_t>>& kEntries)
    {
        Bytes k;
        k.U32(uiScene).U32(static_cast<std::uint32_t>(kEntries.size()));
        for (const auto& [kName, uiLink] : kEntries)
            k.Str(kName).U32(uiLink);
        return k;
    }
    static Bytes HolderRecord(const char* pcName, std::uint32_t uiLink)
    {
        const std::uint32_t uiVersion = NiObjectStream::CURRENT_VERSION;
        return NETBody(uiVersion, pcName, {}, NONE).Append(AVBody(uiVersion, 0, {})).U32(uiLink);
    }
    static constexpr std::uint32_t CURRENT = NiObjectStream::CURRENT_VERSION;
};

TEST_F(NiDefaultAVObjectPaletteTest, RecordDropsEntriesWithoutNameOrObject)
{
    ASSERT_TRUE(LoadFile(CURRENT,
                         {{"NiNode", NodeRecord(CURRENT, "root", {1, 2})},
                          {"NiNode", NodeRecord(CURRENT, "a", {})},
                          {"NiNode", NodeRecord(CURRENT, "b", {})},
                          {"NiDefaultAVObjectPalette", PaletteRecord(0, {{"a", 1}, {"b", 2}, {"gone", NONE}, {"", 1}})}},
                         {0, 3}))
        << m_kStream.GetLastErrorMessage();
    auto* pkRoot = NiDynamicCast<NiNode>(m_kLoaded.at(0).Get());
    auto* pkPalette = NiDynamicCast<NiDefaultAVObjectPalette>(m_kLoaded.at(1).Get());
    ASSERT_NE(pkPalette, nullptr);
    EXPECT_EQ(pkPalette->GetCount(), 2u);
    EXPECT_EQ(pkPalette->GetScene(), pkRoot);
    EXPECT_EQ(pkPalette->GetAVObject("b"), pkRoot->GetAt(1));
    EXPECT_EQ(pkPalette->GetAVObject("gone"), nullptr);
    EXPECT_EQ(pkRoot->GetAt(1)->GetRefCount(), 1u) << "entries reached from the scene are not held";

    // Save and load: equal (by names).
    NiObjectPtr spKeepRoot = pkRoot, spKeepPalette = pkPalette;
    ASSERT_TRUE(RoundTrip({pkRoot, pkPalette}));
    EXPECT_TRUE(pkPalette->IsEqual(m_kLoaded.at(1)));
}

TEST_F(NiDefaultAVObjectPaletteTest, ObjectsOnlyThePaletteNamesAreHeldAndCyclesFail)
{
    // The palette alone is top-level: its root and entry would die with the
    // stream's table.
    ASSERT_TRUE(LoadFile(CURRENT,
                         {{"NiDefaultAVObjectPalette", PaletteRecord(1, {{"lonely", 2}})},
                          {"NiNode", NodeRecord(CURRENT, "root", {})},
                          {"LinkHolder", HolderRecord("lonely", NONE)}},
                         {0}))
        << m_kStream.GetLastErrorMessage();
    auto* pkPalette = NiDynamicCast<NiDefaultAVObjectPalette>(m_kLoaded.at(0).Get());
    ASSERT_NE(pkPalette, nullptr);
    ASSERT_NE(pkPalette->GetAVObject("lonely"), nullptr);
    EXPECT_STREQ(pkPalette->GetAVObject("lonely")->GetName(), "lonely");
    ASSERT_NE(pkPalette->GetScene(), nullptr);
    EXPECT_STREQ(pkPalette->GetScene()->GetName(), "root");

    // A held entry that holds the palette would keep both alive forever.
    EXPECT_FALSE(LoadFile(CURRENT,
                          {{"NiDefaultAVObjectPalette", PaletteRecord(NONE, {{"loop", 1}})},
                           {"LinkHolder", HolderRecord("loop", 0)}},
                          {0}));
    EXPECT_EQ(m_kStream.GetLastError(), NiObjectStream::ERROR_CORRUPT);

    // The same entry reached from a top-level object is not held: no cycle.
    ASSERT_TRUE(LoadFile(CURRENT,
                         {{"NiDefaultAVObjectPalette", PaletteRecord(NONE, {{"owner", 1}})},
                          {"LinkHolder", HolderRecord("owner", 0)}},
                         {1}))
        << m_kStream.GetLastErrorMessage();
    auto* pkOwner = NiDynamicCast<LinkHolder>(m_kLoaded.at(0).Get());
    ASSERT_NE(pkOwner, nullptr);
    EXPECT_EQ(static_cast<NiDefaultAVObjectPalette*>(pkOwner->m_spLink.Get())->GetAVObject("owner"), pkOwner);
    pkOwner->m_spLink = nullptr;
}

TEST_F(NiDefaultAVObjectPaletteTest, AnEffectOnlyANodeSwitchesOnIsHeld)
{
    // A node's effect list does not keep its effects alive: a light that is
    // no node's child would go with the stream's table.
    Bytes kLight = NETBody(CURRENT, "light", {}, NONE).Append(AVBody(CURRENT, 0, {})).U8(1).U32(0);
    for (int i = 0; i < 10; ++i)
        kLight.F32(1.0f);
    ASSERT_TRUE(LoadFile(CURRENT,
                         {{"NiNode", NodeRecord(CURRENT, "root", {}, {2})},
                          {"NiDefaultAVObjectPalette", PaletteRecord(0, {{"light", 2}})},
                          {"NiAmbientLight", kLight}},
                         {0, 1}))
        << m_kStream.GetLastErrorMessage();
    auto* pkRoot = NiDynamicCast<NiNode>(m_kLoaded.at(0).Get());
    auto* pkPalette = NiDynamicCast<NiDefaultAVObjectPalette>(m_kLoaded.at(1).Get());
    ASSERT_NE(pkRoot, nullptr);
    ASSERT_NE(pkPalette, nullptr);
    NiAVObject* pkLight = pkPalette->GetAVObject("light");
    ASSERT_NE(pkLight, nullptr);
    EXPECT_STREQ(pkLight->GetName(), "light");
    EXPECT_EQ(static_cast<NiAVObject*>(pkRoot->GetEffectList().GetHead()), pkLight) << "still switched on where the file put it";
}

TEST_F(NiDefaultAVObjectPaletteTest, HostileRecordsFail)
{
    Record kProperty{"TestProperty", NETBody(CURRENT, "p", {}, NONE).U16(0)};
    const std::vector<std::vector<Record>> aFiles = {
        {{"NiDefaultAVObjectPalette", PaletteRecord(1, {})}, kProperty},
        {{"NiDefaultAVObjectPalette", PaletteRecord(NONE, {{"p", 1}})}, kProperty},
        {{"NiDefaultAVObjectPalette", Bytes().U32(NONE).U32(0xFFFFFFFF)}},
        {{"NiDefaultAVObjectPalette", PaletteRecord(9, {})}},
    };
    for (std::size_t i = 0; i < aFiles.size(); ++i)
    {
        SCOPED_TRACE(i);
        EXPECT_FALSE(LoadFile(CURRENT, aFiles[i], {0}));
        EXPECT_EQ(m_kStream.GetLastError(), NiObjectStream::ERROR_CORRUPT);
    }
}

TEST_F(NiDefaultAVObjectPaletteTest, CloneFollowsTheClonedSceneAndEqualityIsByName)
{
    NiNodePtr spRoot = new NiNode;
    NiNodePtr spChild = new NiNode;
    spRoot->AttachChild(spChild);
    NiRefPtr<NiDefaultAVObjectPalette> spPalette = new NiDefaultAVObjectPalette(spRoot);
    spPalette->SetAVObject("child", spChild);
    spPalette->SetAVObject("outside", spPalette->GetScene()); // also cloned: the root

    NiCloneContext kCloning;
    NiNodePtr spRootCopy = static_cast<NiNode*>(spRoot->CreateClone(kCloning));
    NiRefPtr<NiDefaultAVObjectPalette> spCopy =
        static_cast<NiDefaultAVObjectPalette*>(spPalette->CreateClone(kCloning));
    spRoot->FinishClone(kCloning);
    spPalette->FinishClone(kCloning);
    EXPECT_EQ(spCopy->GetScene(), spRootCopy.Get());
    EXPECT_EQ(spCopy->GetAVObject("child"), spRootCopy->GetAt(0));
    EXPECT_EQ(spCopy->GetAVObject("outside"), spRootCopy.Get());

    // Same names, other objects: equal. A missing name: not.
    EXPECT_TRUE(spPalette->IsEqual(spCopy));
    spCopy->SetAVObject("child", nullptr);
    EXPECT_FALSE(spPalette->IsEqual(spCopy));
}
} // namespace
