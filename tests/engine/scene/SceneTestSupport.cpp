#include "tests/engine/scene/SceneTestSupport.h"

#include "engine/core/NiListNodePool.h"

namespace scene_test
{
NiImplementTypeInfo(TestAVObject, NiAVObject)
NiImplementCreateClone(TestAVObject)

void TestAVObject::CopyMembers(TestAVObject* pkDest, NiCloneContext& kCloning)
{
    NiAVObject::CopyMembers(pkDest, kCloning);
}

NiImplementTypeInfo(TestProperty, NiProperty)
NiImplementCreateClone(TestProperty)

void TestProperty::CopyMembers(TestProperty* pkDest, NiCloneContext& kCloning)
{
    NiProperty::CopyMembers(pkDest, kCloning);
    pkDest->m_iType = m_iType;
    pkDest->m_uFlags = m_uFlags;
}

void TestProperty::ReadFromStream(NiObjectStream& kStream)
{
    NiProperty::ReadFromStream(kStream);
    if (kStream.GetFileVersion() >= NiStreamVersion(10, 0, 1, 2))
        kStream.ReadLE(m_uFlags);
    else
        m_uFlags = kStream.GetSavedPropertyFlags();
}

void TestProperty::WriteToStream(NiObjectStream& kStream)
{
    NiProperty::WriteToStream(kStream);
    kStream.WriteLE(m_uFlags);
}

bool TestProperty::IsEqual(NiObject* pkOther)
{
    return NiProperty::IsEqual(pkOther) && static_cast<TestProperty*>(pkOther)->m_uFlags == m_uFlags;
}

NiImplementTypeInfo(TestController, NiTimeController)
NiImplementCreateClone(TestController)

void TestController::CopyMembers(TestController* pkDest, NiCloneContext& kCloning)
{
    NiTimeController::CopyMembers(pkDest, kCloning);
    pkDest->m_bTransform = m_bTransform;
    pkDest->m_bStreamable = m_bStreamable;
}

void SceneTest::SetUp()
{
    NiMainLibrary::Reset();
    NiSceneLibraryRegister();
    NiMainLibrary::Init();
    NiObjectStream::RegisterCreateFunction("TestAVObject", +[]() -> NiObject* { return new TestAVObject; });
    NiObjectStream::RegisterCreateFunction("TestProperty", +[]() -> NiObject* { return new TestProperty; });
    NiObjectStream::RegisterCreateFunction("TestController", +[]() -> NiObject* { return new TestController; });
    NiPropertySet::ResetDefaults();
    NiCloneContext::ResetDefaults();
    m_uiLive = NiRefObject::GetTotalObjectCount();
}

void SceneTest::TearDown()
{
    m_kLoaded.clear();
    m_kStream.RemoveAllTopObjects();
    NiPropertySet::ResetDefaults();
    NiCloneContext::ResetDefaults();
    EXPECT_EQ(NiRefObject::GetTotalObjectCount(), m_uiLive) << "objects leaked";
    NiMainLibrary::Reset();
}

std::vector<std::uint8_t> SceneTest::Save(const std::vector<NiObject*>& kTops)
{
    return stream_test::SaveTops(kTops);
}

bool SceneTest::Load(const std::vector<std::uint8_t>& kBytes)
{
    m_kLoaded.clear();
    bool bResult = m_kStream.LoadBuffer(kBytes.data(), static_cast<std::uint32_t>(kBytes.size()));
    stream_test::TakeTopObjects(m_kStream, m_kLoaded);
    return bResult;
}
} // namespace scene_test
