#include "engine/scene/NiPropertySet.h"

#include "tests/engine/scene/SceneTestSupport.h"

using namespace scene_test;

namespace
{
class NiPropertySetTest : public SceneTest
{
protected:
    void SetUp() override
    {
        SceneTest::SetUp();
        for (int i = 0; i < NiProperty::MAX_TYPES; ++i)
        {
            NiRefPtr<TestProperty> sp = new TestProperty;
            sp->m_iType = i;
            m_aspDefaults[i] = sp;
            NiPropertySet::SetDefault(i, sp);
        }
    }
    void TearDown() override
    {
        NiPropertySet::ResetDefaults();
        for (auto& sp : m_aspDefaults)
            sp.Clear();
        SceneTest::TearDown();
    }
    NiRefPtr<TestProperty> m_aspDefaults[NiProperty::MAX_TYPES];
};
} // namespace

TEST_F(NiPropertySetTest, SlotsStartAtTheDefaultsAndResetToThem)
{
    NiPropertySetPtr spSet = new NiPropertySet;
    for (int i = 0; i < NiProperty::MAX_TYPES; ++i)
        EXPECT_EQ(spSet->GetProperty(i), m_aspDefaults[i].Get());
    EXPECT_EQ(spSet->GetProperty(12), nullptr);
    EXPECT_EQ(spSet->GetProperty(-1), nullptr);

    NiRefPtr<TestProperty> spAlpha = new TestProperty;
    spSet->SetProperty(spAlpha);
    spSet->SetProperty(nullptr);
    EXPECT_EQ(spSet->GetProperty(NiProperty::ALPHA), spAlpha.Get());
    for (int i = 1; i < NiProperty::MAX_TYPES; ++i)
        EXPECT_EQ(spSet->GetProperty(i), m_aspDefaults[i].Get());
    spSet->Reset();
    EXPECT_EQ(spSet->GetProperty(NiProperty::ALPHA), m_aspDefaults[0].Get());
}

TEST_F(NiPropertySetTest, CopiesShareTheirProperties)
{
    NiRefPtr<TestProperty> spFog = new TestProperty;
    spFog->m_iType = NiProperty::FOG;
    NiPropertySetPtr spSet = new NiPropertySet;
    spSet->SetProperty(spFog);
    std::uint32_t uiBefore = spFog->GetRefCount();
    NiPropertySetPtr spCopy = new NiPropertySet(*spSet);
    NiPropertySetPtr spCopy2 = new NiPropertySet(*spSet);
    EXPECT_EQ(spFog->GetRefCount(), uiBefore + 2);
    EXPECT_EQ(spCopy->GetProperty(NiProperty::FOG), spFog.Get());
    spCopy = nullptr;
    spCopy2 = nullptr;
    EXPECT_EQ(spFog->GetRefCount(), uiBefore);
}

TEST_F(NiPropertySetTest, OldFilesHandTheirFlagsToTheConcreteProperty)
{
    for (std::uint32_t v : {V(4, 2, 2, 0), V(10, 0, 1, 2)})
    {
        SCOPED_TRACE(v);
        Bytes kBody = NETBody(v, "p", {}, NONE);
        if (v < V(10, 0, 1, 2))
            kBody.U16(0x0001); // the property part's old flags
        else
            kBody.U16(0x0002); // the concrete class's own flags
        ASSERT_TRUE(Load(BuildFile(v, {{"TestProperty", kBody}}, {0})));
        auto* pk = static_cast<TestProperty*>(m_kLoaded[0].Get());
        if (v < V(10, 0, 1, 2))
        {
            EXPECT_EQ(m_kStream.GetSavedPropertyFlags(), 0x0001);
            EXPECT_EQ(pk->m_uFlags, 0x0001);
        }
        else
        {
            EXPECT_EQ(pk->m_uFlags, 0x0002);
        }
        EXPECT_STREQ(pk->GetName(), "p");
    }
}
