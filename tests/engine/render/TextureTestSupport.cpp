#include "tests/engine/render/TextureTestSupport.h"

#include "engine/render/NiRenderLibrary.h"
#include "engine/render/image/NiRenderImageLibrary.h"
#include "engine/scene/NiSceneLibrary.h"

#include <memory>

namespace texture_test
{
void TextureTest::SetUp()
{
    NiMainLibrary::Reset();
    NiRenderer::ResetRenderer();
    NiSceneLibraryRegister();
    NiRenderImageLibraryRegister();
    NiRenderLibraryRegister();
    NiMainLibrary::Init();
    m_uiLive = NiRefObject::GetTotalObjectCount();
}

void TextureTest::TearDown()
{
    m_kLoaded.clear();
    m_kStream.RemoveAllTopObjects();
    NiRenderer::ResetRenderer();
    EXPECT_EQ(NiRefObject::GetTotalObjectCount(), m_uiLive) << "objects leaked";
    NiMainLibrary::Reset();
}

std::vector<std::uint8_t> TextureTest::Save(const std::vector<NiObject*>& kTops)
{
    NiObjectStream kStream;
    for (NiObject* pk : kTops)
        kStream.InsertTopObject(pk);
    std::unique_ptr<std::uint8_t[]> spBuffer;
    std::uint32_t uiSize = 0;
    EXPECT_TRUE(kStream.SaveBuffer(spBuffer, uiSize));
    return std::vector<std::uint8_t>(spBuffer.get(), spBuffer.get() + uiSize);
}

bool TextureTest::Load(const std::vector<std::uint8_t>& kBytes)
{
    m_kLoaded.clear();
    const bool bResult = m_kStream.LoadBuffer(kBytes.data(), static_cast<std::uint32_t>(kBytes.size()));
    for (std::uint32_t i = 0; i < m_kStream.GetObjectCount(); ++i)
        m_kLoaded.emplace_back(m_kStream.GetObjectAt(i));
    m_kStream.RemoveAllTopObjects();
    return bResult;
}

bool TextureTest::LoadPath(const std::string& kPath)
{
    m_kLoaded.clear();
    const bool bResult = m_kStream.LoadFile(kPath.c_str());
    for (std::uint32_t i = 0; i < m_kStream.GetObjectCount(); ++i)
        m_kLoaded.emplace_back(m_kStream.GetObjectAt(i));
    m_kStream.RemoveAllTopObjects();
    return bResult;
}

NiObject* TextureTest::RoundTrip(NiObject* pkObject)
{
    const std::vector<std::uint8_t> kBytes = Save({pkObject});
    if (!Load(kBytes) || m_kLoaded.size() != 1 || m_kLoaded[0] == nullptr)
    {
        ADD_FAILURE() << "the saved object did not load";
        return nullptr;
    }
    EXPECT_TRUE(m_kLoaded[0]->IsEqual(pkObject));
    EXPECT_TRUE(pkObject->IsEqual(m_kLoaded[0]));
    EXPECT_EQ(Save({m_kLoaded[0]}), kBytes) << "saved again byte for byte";
    return m_kLoaded[0];
}

void ExpectEveryTruncationFails(const std::vector<std::uint8_t>& kFile)
{
    const std::uint32_t uiLive = NiRefObject::GetTotalObjectCount();
    for (std::size_t n = 0; n < kFile.size(); ++n)
    {
        SCOPED_TRACE(n);
        NiObjectStream kStream;
        EXPECT_FALSE(kStream.LoadBuffer(kFile.data(), static_cast<std::uint32_t>(n)));
        EXPECT_EQ(kStream.GetObjectCount(), 0u);
    }
    EXPECT_EQ(NiRefObject::GetTotalObjectCount(), uiLive);
}
} // namespace texture_test
