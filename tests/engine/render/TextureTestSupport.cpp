#include "tests/engine/render/TextureTestSupport.h"

#include "engine/render/NiRenderLibrary.h"
#include "engine/render/image/NiImageConverter.h"
#include "engine/render/image/NiRenderImageLibrary.h"
#include "engine/scene/NiSceneLibrary.h"

namespace texture_test
{
namespace
{
void ResetTextureState()
{
    NiRenderer::ResetRenderer();
    NiTexture::ResetSettings();
    NiTexture::ResetReplacements();
    NiTexture::ResetDefaultFormatPrefs();
}
} // namespace

void TextureTest::SetUp()
{
    NiMainLibrary::Reset();
    ResetTextureState();
    NiSceneLibraryRegister();
    NiRenderImageLibraryRegister();
    NiRenderLibraryRegister();
    NiMainLibrary::Init();
    m_uiLive = NiRefObject::GetTotalObjectCount();
    m_spStream = std::make_unique<NiObjectStream>();
}

void TextureTest::TearDown()
{
    m_kLoaded.clear();
    m_spStream.reset();
    ResetTextureState();
    NiImageConverter::CreateDefault(); // a test may have installed its own
    EXPECT_EQ(NiRefObject::GetTotalObjectCount(), m_uiLive) << "objects leaked";
    NiMainLibrary::Reset();
}

std::vector<std::uint8_t> TextureTest::Save(const std::vector<NiObject*>& kTops)
{
    return stream_test::SaveTops(kTops);
}

bool TextureTest::Load(const std::vector<std::uint8_t>& kBytes)
{
    m_kLoaded.clear();
    const bool bResult = m_spStream->LoadBuffer(kBytes.data(), static_cast<std::uint32_t>(kBytes.size()));
    stream_test::TakeTopObjects(*m_spStream, m_kLoaded);
    return bResult;
}

bool TextureTest::LoadPath(const std::string& kPath)
{
    m_kLoaded.clear();
    const bool bResult = m_spStream->LoadFile(kPath.c_str());
    stream_test::TakeTopObjects(*m_spStream, m_kLoaded);
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

std::vector<std::string> ViewerLines(NiObject* pkObject)
{
    NiViewerStringArray kStrings;
    pkObject->AppendViewerStrings(kStrings);
    std::vector<std::string> kLines;
    for (std::uint32_t i = 0; i < kStrings.GetSize(); ++i)
    {
        kLines.emplace_back(kStrings.GetAt(i) ? kStrings.GetAt(i) : "");
        delete[] kStrings.GetAt(i);
    }
    return kLines;
}
} // namespace texture_test
