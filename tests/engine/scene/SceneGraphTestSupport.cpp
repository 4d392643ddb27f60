#include "tests/engine/scene/SceneGraphTestSupport.h"

#include "engine/render/NiTexture.h"
#include "engine/scene/NiDynamicEffect.h"
#include "engine/scene/NiLODNode.h"
#include "engine/scene/NiMaterialProperty.h"

namespace scene_test
{
NiImplementTypeInfo(TestTexture, NiTexture)

void TestTexture::ReadFromStream(NiObjectStream& kStream)
{
    NiObject::ReadFromStream(kStream);
    kStream.ReadLE(m_uiValue);
}

void TestTexture::ResolveLinks(NiObjectStream& kStream)
{
    NiObject::ResolveLinks(kStream);
}

void TestTexture::WriteToStream(NiObjectStream& kStream)
{
    NiObject::WriteToStream(kStream);
    kStream.WriteLE(m_uiValue);
}

bool TestTexture::IsEqual(NiObject* pkOther)
{
    return NiTexture::IsEqual(pkOther) && static_cast<TestTexture*>(pkOther)->m_uiValue == m_uiValue;
}

NiImplementTypeInfo(TestAccumulator, NiAccumulator)
NiImplementCreateClone(TestAccumulator)

void TestAccumulator::CopyMembers(TestAccumulator* pkDest, NiCloneContext& kCloning)
{
    NiObject::CopyMembers(pkDest, kCloning);
    pkDest->m_bRefuse = m_bRefuse;
}

bool TestAccumulator::StartAccumulating(NiCamera* pkCamera)
{
    if (m_bRefuse)
        return false;
    ++m_uiStarts;
    return NiAccumulator::StartAccumulating(pkCamera);
}

void TestAccumulator::FinishAccumulating()
{
    ++m_uiFinishes;
    NiAccumulator::FinishAccumulating();
}

void SceneGraphTest::SetUp()
{
    SceneTest::SetUp();
    NiObjectStream::RegisterCreateFunction("TestTexture", +[]() -> NiObject* { return new TestTexture; });
    NiObjectStream::RegisterCreateFunction("TestAccumulator", +[]() -> NiObject* { return new TestAccumulator; });
    NiRenderer::ResetRenderer();
    NiLODNode::SetGlobalLOD(-1);
    NiTexture::ResetDefaultFormatPrefs();
    // Nothing of the scene graph is alive here: the counters may restart.
    NiDynamicEffect::ResetIndexCounter();
    NiMaterialProperty::ResetIndexCounter();
}

void SceneGraphTest::TearDown()
{
    NiRenderer::ResetRenderer();
    NiLODNode::SetGlobalLOD(-1);
    SceneTest::TearDown();
}

bool SceneGraphTest::RoundTrip(const std::vector<NiObject*>& kTops)
{
    return Load(Save(kTops));
}

bool SceneGraphTest::LoadFile(std::uint32_t uiVersion, const std::vector<Record>& kRecords,
                              const std::vector<std::uint32_t>& kTops)
{
    return Load(BuildFile(uiVersion, kRecords, kTops));
}
} // namespace scene_test
