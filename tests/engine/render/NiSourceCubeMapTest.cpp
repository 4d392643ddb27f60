#include "engine/render/NiSourceCubeMap.h"

#include "engine/core/NiFile.h"
#include "engine/render/image/NiImageFileConverter.h"
#include "tests/engine/render/TextureTestSupport.h"

#include <algorithm>
#include <filesystem>
#include <fstream>

using namespace texture_test;

namespace
{
constexpr std::uint32_t NONE = 0xFFFFFFFF;

class NiSourceCubeMapTest : public TextureTest
{
protected:
    static NiPixelDataPtr Face(std::uint8_t ucValue)
    {
        NiPixelDataPtr sp = new NiPixelData(4, 4, NiPixelFormat::RGBA32, 1);
        std::fill_n(sp->GetPixels(), sp->GetTotalSizeInBytes(), ucValue);
        return sp;
    }
    static NiRefPtr<NiSourceCubeMap> WithFaces()
    {
        NiRefPtr<NiSourceCubeMap> sp = new NiSourceCubeMap;
        for (std::uint32_t i = 0; i < NiSourceCubeMap::FACE_NUM; ++i)
            sp->SetFacePixelData(i, Face(static_cast<std::uint8_t>(10 + i)));
        return sp;
    }
};

// The cube map's record: unnamed object, external flag, names, links,
// default preferences, static.
Bytes CubeBody(std::uint8_t ucExternal, const std::vector<std::string>& kNames, const std::vector<std::uint32_t>& kLinks)
{
    Bytes k;
    k.Str("").U32(0).U32(NONE).U8(ucExternal);
    for (const std::string& kName : kNames)
        k.Str(kName);
    for (std::uint32_t ui : kLinks)
        k.U32(ui);
    return k.U32(6).U32(2).U32(3).U8(1);
}
} // namespace

TEST_F(NiSourceCubeMapTest, FacesRoundTrip)
{
    NiRefPtr<NiSourceCubeMap> sp = WithFaces();
    sp->SetFaceFileName(NiSourceCubeMap::FACE_NEG_Z, "sky_nz.tga");
    sp->SetStatic(false);
    auto* pk = NiDynamicCast<NiSourceCubeMap>(RoundTrip(sp));
    ASSERT_NE(pk, nullptr);
    for (std::uint32_t i = 0; i < NiSourceCubeMap::FACE_NUM; ++i)
        EXPECT_EQ(pk->GetFacePixelData(i)->GetPixels()[0], 10 + i);
    EXPECT_EQ(pk->GetFaceFileName(5), "sky_nz.tga");
    EXPECT_TRUE(pk->GetFileName().empty()) << "face 0 has no name to lend";
    EXPECT_EQ(ViewerLines(sp).back(), "--- NiSourceCubeMap ---");

    NiRefPtr<NiSourceCubeMap> spOther = WithFaces();
    spOther->SetFaceFileName(NiSourceCubeMap::FACE_NEG_Z, "sky_nz.tga");
    EXPECT_FALSE(spOther->IsEqual(sp)) << "static differs";
    spOther->SetStatic(false);
    EXPECT_TRUE(spOther->IsEqual(sp));
    spOther->SetFacePixelData(3, Face(99));
    EXPECT_FALSE(spOther->IsEqual(sp));
    spOther->SetFacePixelData(3, nullptr);
    EXPECT_FALSE(spOther->IsEqual(sp));
}

TEST_F(NiSourceCubeMapTest, RecordBytesAndFaceZeroNamesTheTexture)
{
    NiRefPtr<NiSourceCubeMap> sp = new NiSourceCubeMap;
    const std::vector<std::string> kNames = {"px.tga", "nx.tga", "py.tga", "ny.tga", "pz.tga", "nz.tga"};
    for (std::uint32_t i = 0; i < 6; ++i)
        sp->SetFaceFileName(i, kNames[i].c_str());
    const std::vector<std::uint8_t> kFile = BuildFile(
        NiObjectStream::CURRENT_VERSION, {{"NiSourceCubeMap", CubeBody(1, kNames, std::vector<std::uint32_t>(6, NONE))}},
        {0});
    EXPECT_EQ(Save({sp}), kFile);
    ASSERT_TRUE(Load(kFile));
    auto* pk = NiDynamicCast<NiSourceCubeMap>(m_kLoaded[0].Get());
    ASSERT_NE(pk, nullptr);
    EXPECT_EQ(pk->GetFileName(), "px.tga");
    EXPECT_EQ(pk->GetPlatformSpecificFileName(), "px.tga");
    EXPECT_EQ(pk->GetFacePlatformFileName(3), "ny.tga") << "missing files keep their names";
    EXPECT_EQ(pk->GetFacePixelData(3), nullptr);
    ExpectEveryTruncationFails(kFile);
    ExpectEveryTruncationFails(Save({WithFaces()}));
}

TEST_F(NiSourceCubeMapTest, ExternalFacesAreFoundBesideTheSceneAndLoaded)
{
    NiImageConverter::SetCurrent(new NiImageFileConverter);
    TempFolder kFolder;
    std::filesystem::create_directories(kFolder.Path() / "data" / "models");
    NiRefPtr<NiSourceCubeMap> sp = new NiSourceCubeMap;
    for (std::uint32_t i = 0; i < 6; ++i)
    {
        sp->SetFaceFileName(i, ("sky\\N" + std::to_string(i) + ".TGA").c_str());
        if (i == 5)
            continue; // face 5 has no file
        Bytes k; // a 2 x 2 24-bit top-down TGA
        k.U8(0).U8(0).U8(2).U16(0).U16(0).U8(0).U16(0).U16(0).U16(2).U16(2).U8(24).U8(0x20);
        for (int p = 0; p < 12; ++p)
            k.U8(static_cast<std::uint8_t>(i));
        std::ofstream(kFolder.Path() / "data" / "models" / ("n" + std::to_string(i) + ".tga"), std::ios::binary)
            .write(reinterpret_cast<const char*>(k.m_kBytes.data()), static_cast<std::streamsize>(k.Size()));
    }
    // No face holds pixel data: their null links keep the images read.
    NiObjectStream kStream;
    kStream.InsertTopObject(sp);
    const std::string kScene = (kFolder.Path() / "data" / "models" / "sky.nif").string();
    ASSERT_TRUE(kStream.SaveFile(kScene.c_str()));

    NiRefPtr<RecordingRenderer> spRenderer = new RecordingRenderer;
    ASSERT_TRUE(LoadPath(kScene));
    auto* pk = NiDynamicCast<NiSourceCubeMap>(m_kLoaded[0].Get());
    ASSERT_NE(pk, nullptr);
    for (std::uint32_t i = 0; i < 5; ++i)
    {
        SCOPED_TRACE(i);
        EXPECT_TRUE(NiFileAccessible(pk->GetFacePlatformFileName(i).c_str(), 0)) << pk->GetFacePlatformFileName(i);
        ASSERT_NE(pk->GetFacePixelData(i), nullptr);
        EXPECT_EQ(pk->GetFacePixelData(i)->GetWidth(), 2u);
    }
    EXPECT_EQ(pk->GetFacePixelData(5), nullptr);
    EXPECT_EQ(pk->GetFacePlatformFileName(5), "sky\\N5.TGA");
    EXPECT_EQ(spRenderer->m_kPrecachedCubeMaps, (std::vector<const void*>{pk}));
    EXPECT_TRUE(spRenderer->m_kPrecached.empty());
}

TEST_F(NiSourceCubeMapTest, CurrentFaceAndHostileLinks)
{
    NiRefPtr<NiSourceCubeMap> sp = WithFaces();
    sp->SetCurrentCubeFace(2);
    sp->SetCurrentCubeFace(9); // not a face: unchanged
    EXPECT_EQ(sp->GetCurrentCubeFace(), 2u);
    sp->LoadPixelData(); // no file name: nothing
    EXPECT_NE(sp->GetFacePixelData(2), nullptr);
    sp->DestroyAppPixelData();
    EXPECT_EQ(sp->GetFacePixelData(2), nullptr);
    EXPECT_NE(sp->GetFacePixelData(1), nullptr);

    std::vector<std::uint32_t> kLinks(6, NONE);
    for (std::uint32_t uiLink : {0u, 3u}) // the cube map itself; beyond the file
    {
        kLinks[4] = uiLink;
        const std::vector<std::string> kEmpty(6, "");
        EXPECT_FALSE(
            Load(BuildFile(NiObjectStream::CURRENT_VERSION, {{"NiSourceCubeMap", CubeBody(0, kEmpty, kLinks)}}, {0})));
        EXPECT_EQ(Stream().GetLastError(), NiObjectStream::ERROR_CORRUPT);
    }
}
