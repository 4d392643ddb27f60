// Effect parameters on a device: texture files loaded once, the shared bone
// palette from a skinned partition, and the effect files' device changes.

#include "engine/render/NiDX9Renderer.h"
#include "engine/render/image/NiImageFileConverter.h"
#include "engine/scene/NiNode.h"
#include "engine/scene/NiSkinData.h"
#include "engine/scene/NiSkinInstance.h"
#include "engine/scene/NiSkinPartition.h"
#include "engine/shaders/effect/NiD3DXEffectFile.h"
#include "engine/shaders/effect/NiD3DXEffectParameter.h"
#include "engine/shaders/effect/NiD3DXEffectShaderLib.h"
#include "engine/shaders/nsb/NSBAttributeTable.h"
#include "tests/engine/shaders/framework/ShaderTestSupport.h"
#include "tests/platform/gfxutil/DdsFixture.h"
#include "tests/support/TestPng.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <unistd.h>
#include <vector>

#include <jpeglib.h>

namespace fs = std::filesystem;

namespace
{
using Bytes = std::vector<std::uint8_t>;

void WriteBytes(const fs::path& kPath, const Bytes& kBytes)
{
    std::ofstream(kPath, std::ios::binary).write(reinterpret_cast<const char*>(kBytes.data()),
                                                 std::streamsize(kBytes.size()));
}

Bytes ReadBytes(const fs::path& kPath)
{
    std::ifstream kIn(kPath, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(kIn), {});
}

// An uncompressed, top-down 32-bit TGA of B, G, R, A pixels.
Bytes Tga(std::uint16_t usWidth, std::uint16_t usHeight, const Bytes& kBgra)
{
    Bytes k = {0, 0, 2, 0, 0, 0, 0, 0, 0, 0, 0, 0};
    for (std::uint16_t us : {usWidth, usHeight})
    {
        k.push_back(static_cast<std::uint8_t>(us));
        k.push_back(static_cast<std::uint8_t>(us >> 8));
    }
    k.push_back(32);
    k.push_back(0x28);
    k.insert(k.end(), kBgra.begin(), kBgra.end());
    return k;
}

// A baseline JPEG of one colour, written by the library.
Bytes SolidJpeg(std::uint32_t uiSide, std::uint8_t r, std::uint8_t g, std::uint8_t b)
{
    jpeg_compress_struct kInfo;
    jpeg_error_mgr kError;
    kInfo.err = jpeg_std_error(&kError);
    jpeg_create_compress(&kInfo);
    unsigned char* pucOut = nullptr;
    unsigned long ulSize = 0;
    jpeg_mem_dest(&kInfo, &pucOut, &ulSize);
    kInfo.image_width = uiSide;
    kInfo.image_height = uiSide;
    kInfo.input_components = 3;
    kInfo.in_color_space = JCS_RGB;
    jpeg_set_defaults(&kInfo);
    jpeg_set_quality(&kInfo, 100, TRUE);
    jpeg_start_compress(&kInfo, TRUE);
    Bytes kRow;
    for (std::uint32_t x = 0; x < uiSide; ++x)
        kRow.insert(kRow.end(), {r, g, b});
    while (kInfo.next_scanline < uiSide)
    {
        JSAMPROW p = kRow.data();
        jpeg_write_scanlines(&kInfo, &p, 1);
    }
    jpeg_finish_compress(&kInfo);
    Bytes kBytes(pucOut, pucOut + ulSize);
    jpeg_destroy_compress(&kInfo);
    std::free(pucOut);
    return kBytes;
}

// Level 0 of a plain texture as its rows hold it.
Bytes LevelZero(gfx::IDirect3DBaseTexture9* pkBase)
{
    auto* pkTexture = static_cast<gfx::IDirect3DTexture9*>(pkBase);
    gfx::D3DSURFACE_DESC kDesc;
    EXPECT_EQ(pkTexture->GetLevelDesc(0, &kDesc), gfx::D3D_OK);
    EXPECT_EQ(kDesc.Format, gfx::D3DFMT_A8R8G8B8);
    gfx::D3DLOCKED_RECT kLocked;
    if (pkTexture->LockRect(0, &kLocked, nullptr, gfx::D3DLOCK_READONLY) != gfx::D3D_OK)
        return {};
    Bytes kOut;
    for (std::uint32_t y = 0; y < kDesc.Height; ++y)
    {
        const auto* puc = static_cast<const std::uint8_t*>(kLocked.pBits) + std::size_t(y) * kLocked.Pitch;
        kOut.insert(kOut.end(), puc, puc + kDesc.Width * 4);
    }
    pkTexture->UnlockRect(0);
    return kOut;
}

class EffectDeviceTest : public shader_test::ShaderTest
{
protected:
    void SetUp() override
    {
        ShaderTest::SetUp();
        m_kRoot = fs::temp_directory_path() /
                  ("effect_device_" + std::to_string(::getpid()) + "_" +
                   ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::remove_all(m_kRoot);
        fs::create_directories(m_kRoot);
        // The game's converter: the engine's file readers.
        NiImageConverter::SetCurrent(new NiImageFileConverter);
    }
    void TearDown() override
    {
        NiImageConverter::ReleaseCurrent();
        m_kParameters.clear();
        if (m_pkEffect != nullptr)
            m_pkEffect->Release();
        NiD3DXEffectParameter::ReleaseBonePalette();
        NiD3DXEffectShaderLib::ReleaseEffectFileList();
        NiD3DXEffectFactory::Shutdown();
        fs::remove_all(m_kRoot);
        ShaderTest::TearDown();
    }
    // Every parameter of an effect text compiled on the renderer's device,
    // classified and linked as an effect file does.
    void Parse(const std::string& kText)
    {
        ASSERT_EQ(gfx::D3DXCreateEffect(m_spRenderer->GetD3DDevice(), kText.data(), std::uint32_t(kText.size()),
                                        nullptr, nullptr, 0, nullptr, &m_pkEffect, nullptr),
                  gfx::D3D_OK);
        std::uint32_t uiMap = 0;
        for (std::uint32_t ui = 0; m_pkEffect->GetParameter(nullptr, ui) != nullptr; ++ui)
        {
            NiD3DXEffectParameterDesc kDesc;
            ASSERT_TRUE(NiD3DXEffectParameter::DescribeParameter(m_pkEffect, m_pkEffect->GetParameter(nullptr, ui),
                                                                 uiMap, kDesc));
            auto spParameter = std::make_unique<NiD3DXEffectParameter>();
            ASSERT_TRUE(spParameter->Initialize(kDesc, m_kTable));
            spParameter->LinkHandle(m_pkEffect);
            m_kParameters.push_back(std::move(spParameter));
        }
    }
    NiD3DXEffectParameter* Find(const char* pcName)
    {
        for (const auto& sp : m_kParameters)
            if (std::string(sp->GetName()) == pcName)
                return sp.get();
        ADD_FAILURE() << "no parameter " << pcName;
        return nullptr;
    }
    // Loads onto the current renderer's device, as the effect shader does.
    static bool Load(NiD3DXEffectParameter* pkParameter)
    {
        switch (pkParameter->GetTextureType())
        {
        case NiD3DXEffectParameterDesc::TEXTURE_VOLUME: return pkParameter->LoadVolumeTexture();
        case NiD3DXEffectParameterDesc::TEXTURE_CUBE: return pkParameter->LoadCubeTexture();
        default: return pkParameter->LoadTexture();
        }
    }
    std::string Path(const char* pcName) const { return (m_kRoot / pcName).string(); }

    fs::path m_kRoot;
    gfx::ID3DXEffect* m_pkEffect = nullptr;
    NSBAttributeTable m_kTable;
    std::vector<std::unique_ptr<NiD3DXEffectParameter>> m_kParameters;
};
} // namespace

// Each kind of file reaches the device once: DDS as stored, PNG and JPEG
// decoded, a TGA through the engine's reader and texture manager, a cube DDS
// as a cube, a volume DDS as a volume.
TEST_F(EffectDeviceTest, TextureFilesLoadOnceByKind)
{
    CreateRenderer();
    ddsfixture::Spec kDds;
    kDds.levels = 3;
    WriteBytes(Path("plain.dds"), ddsfixture::Build(kDds));
    ASSERT_TRUE(test_png::WriteRgb(Path("two.png"), 2, 1, {10, 20, 30, 200, 100, 50}));
    WriteBytes(Path("solid.jpg"), SolidJpeg(8, 0, 0, 255));
    const Bytes kTgaPixels = {1, 2, 3, 255, 4, 5, 6, 128, 7, 8, 9, 64, 10, 11, 12, 0};
    WriteBytes(Path("four.tga"), Tga(2, 2, kTgaPixels));
    kDds.cube = true;
    kDds.levels = 1;
    WriteBytes(Path("cube.dds"), ddsfixture::Build(kDds));
    kDds.cube = false;
    kDds.volume = true;
    kDds.depth = 2;
    kDds.levels = 2;
    WriteBytes(Path("volume.dds"), ddsfixture::Build(kDds));
    Parse("texture Dds < string name = \"" + Path("plain.dds") + "\"; >;\n"
          "texture Png < string name = \"" + Path("two.png") + "\"; >;\n"
          "texture Jpg < string name = \"" + Path("solid.jpg") + "\"; >;\n"
          "texture Tga < string name = \"" + Path("four.tga") + "\"; int width = 64; >;\n"
          "textureCUBE Cube < string name = \"" + Path("cube.dds") + "\"; string type = \"cube\"; >;\n"
          "texture3D Volume < string name = \"" + Path("volume.dds") + "\"; string type = \"volume\"; >;\n"
          "texture Made < string function = \"Fill\"; >;\n"
          "technique T { pass { } }\n");
    ASSERT_EQ(m_kParameters.size(), 7u);

    NiD3DXEffectParameter* pkDds = Find("Dds");
    ASSERT_TRUE(Load(pkDds));
    gfx::IDirect3DBaseTexture9* pkTexture = pkDds->GetDeviceTexture();
    ASSERT_NE(pkTexture, nullptr);
    EXPECT_EQ(pkTexture->GetLevelCount(), 3u);
    const Bytes kDdsFile = ReadBytes(m_kRoot / "plain.dds");
    EXPECT_EQ(LevelZero(pkTexture), Bytes(kDdsFile.begin() + 128, kDdsFile.begin() + 128 + 64));
    // Once: a second call keeps the texture it has.
    EXPECT_TRUE(Load(pkDds));
    EXPECT_EQ(pkDds->GetDeviceTexture(), pkTexture);
    EXPECT_EQ(pkTexture->RefCount(), 1u);

    NiD3DXEffectParameter* pkPng = Find("Png");
    ASSERT_TRUE(Load(pkPng));
    EXPECT_EQ(pkPng->GetDeviceTexture()->GetLevelCount(), 2u);
    EXPECT_EQ(LevelZero(pkPng->GetDeviceTexture()), (Bytes{30, 20, 10, 255, 50, 100, 200, 255}));

    NiD3DXEffectParameter* pkJpg = Find("Jpg");
    ASSERT_TRUE(Load(pkJpg));
    EXPECT_EQ(pkJpg->GetDeviceTexture()->GetLevelCount(), 4u);
    const Bytes kBlue = LevelZero(pkJpg->GetDeviceTexture());
    ASSERT_EQ(kBlue.size(), 8u * 8u * 4u);
    EXPECT_GE(kBlue[0], 250);
    EXPECT_LE(kBlue[2], 4);

    // The file loader refuses TGA; the engine reads it, in its own size.
    NiD3DXEffectParameter* pkTga = Find("Tga");
    ASSERT_TRUE(Load(pkTga));
    gfx::IDirect3DBaseTexture9* pkTgaTexture = pkTga->GetDeviceTexture();
    EXPECT_EQ(LevelZero(pkTgaTexture), kTgaPixels);
    // Only the parameter holds it: the engine texture that made it is gone.
    EXPECT_EQ(pkTgaTexture->RefCount(), 1u);

    NiD3DXEffectParameter* pkCube = Find("Cube");
    ASSERT_TRUE(Load(pkCube));
    EXPECT_EQ(pkCube->GetDeviceTexture()->GetType(), gfx::D3DRTYPE_CUBETEXTURE);

    NiD3DXEffectParameter* pkVolume = Find("Volume");
    EXPECT_EQ(pkVolume->GetTextureType(), NiD3DXEffectParameterDesc::TEXTURE_VOLUME);
    ASSERT_TRUE(Load(pkVolume));
    gfx::IDirect3DBaseTexture9* pkVolumeTexture = pkVolume->GetDeviceTexture();
    ASSERT_NE(pkVolumeTexture, nullptr);
    EXPECT_EQ(pkVolumeTexture->GetType(), gfx::D3DRTYPE_VOLUMETEXTURE);
    // A volume parameter keeps the first of the file's two levels.
    EXPECT_EQ(pkVolumeTexture->GetLevelCount(), 1u);
    gfx::D3DVOLUME_DESC kVolumeDesc;
    ASSERT_EQ(static_cast<gfx::IDirect3DVolumeTexture9*>(pkVolumeTexture)->GetLevelDesc(0, &kVolumeDesc), gfx::D3D_OK);
    EXPECT_EQ(kVolumeDesc.Depth, 2u);
    // Kept: a second load makes nothing new, and only the parameter holds it.
    const std::size_t uiLive = m_spRenderer->GetD3DDevice()->LiveResources();
    EXPECT_TRUE(Load(pkVolume));
    EXPECT_EQ(pkVolume->GetDeviceTexture(), pkVolumeTexture);
    EXPECT_EQ(pkVolumeTexture->RefCount(), 1u);
    EXPECT_EQ(m_spRenderer->GetD3DDevice()->LiveResources(), uiLive);
    pkVolume->ReleaseDeviceObject();
    EXPECT_EQ(m_spRenderer->GetD3DDevice()->LiveResources(), uiLive - 1);

    // A procedural texture is not a file to load; nor is there a device
    // without a renderer.
    EXPECT_FALSE(Load(Find("Made")));
    pkDds->ReleaseDeviceObject();
    EXPECT_EQ(pkDds->GetDeviceTexture(), nullptr);
    NiRenderer::ClearRenderer();
    EXPECT_FALSE(Load(pkDds));
    NiRenderer::SetRenderer(m_spRenderer);
    // After the device objects went, the file loads again.
    EXPECT_TRUE(Load(pkDds));
}

// Float DDS files named by an effect keep their own format, plain, cube and
// volume alike, their levels byte for byte as the file stores them.
TEST_F(EffectDeviceTest, FloatTextureFilesKeepTheirFormat)
{
    CreateRenderer();
    ddsfixture::Spec kPlain;
    kPlain.format = gfx::D3DFMT_A16B16G16R16F;
    kPlain.levels = 3;
    ddsfixture::Spec kCube;
    kCube.format = gfx::D3DFMT_R32F;
    kCube.cube = true;
    ddsfixture::Spec kVolume;
    kVolume.format = gfx::D3DFMT_G16R16F;
    kVolume.volume = true;
    kVolume.depth = 2;
    WriteBytes(Path("half.dds"), ddsfixture::Build(kPlain));
    WriteBytes(Path("single.cube.dds"), ddsfixture::Build(kCube));
    WriteBytes(Path("pair.volume.dds"), ddsfixture::Build(kVolume));
    Parse("texture Half < string name = \"" + Path("half.dds") + "\"; >;\n"
          "textureCUBE Single < string name = \"" + Path("single.cube.dds") + "\"; string type = \"cube\"; >;\n"
          "texture3D Pair < string name = \"" + Path("pair.volume.dds") + "\"; string type = \"volume\"; >;\n"
          "technique T { pass { } }\n");
    ASSERT_EQ(m_kParameters.size(), 3u);

    NiD3DXEffectParameter* pkHalf = Find("Half");
    ASSERT_TRUE(Load(pkHalf));
    auto* pkPlain = static_cast<gfx::IDirect3DTexture9*>(pkHalf->GetDeviceTexture());
    ASSERT_EQ(pkPlain->GetLevelCount(), 3u);
    const Bytes kFile = ReadBytes(m_kRoot / "half.dds");
    for (std::uint32_t uiLevel = 0; uiLevel < 3; ++uiLevel)
    {
        gfx::D3DSURFACE_DESC kDesc;
        ASSERT_EQ(pkPlain->GetLevelDesc(uiLevel, &kDesc), gfx::D3D_OK);
        EXPECT_EQ(kDesc.Format, gfx::D3DFMT_A16B16G16R16F);
        gfx::D3DLOCKED_RECT kLocked;
        ASSERT_EQ(pkPlain->LockRect(uiLevel, &kLocked, nullptr, gfx::D3DLOCK_READONLY), gfx::D3D_OK);
        const std::size_t uiRow = std::size_t(kDesc.Width) * 8, uiAt = ddsfixture::LevelOffset(kPlain, 0, uiLevel);
        for (std::uint32_t y = 0; y < kDesc.Height; ++y)
        {
            const auto* puc = static_cast<const std::uint8_t*>(kLocked.pBits) + std::size_t(y) * kLocked.Pitch;
            EXPECT_EQ(Bytes(puc, puc + uiRow), Bytes(kFile.begin() + std::ptrdiff_t(uiAt + y * uiRow),
                                                      kFile.begin() + std::ptrdiff_t(uiAt + (y + 1) * uiRow)))
                << "level " << uiLevel << " row " << y;
        }
        pkPlain->UnlockRect(uiLevel);
    }

    NiD3DXEffectParameter* pkSingle = Find("Single");
    ASSERT_TRUE(Load(pkSingle));
    ASSERT_EQ(pkSingle->GetDeviceTexture()->GetType(), gfx::D3DRTYPE_CUBETEXTURE);
    EXPECT_EQ(pkSingle->GetDeviceTexture()->Format(), gfx::D3DFMT_R32F);

    NiD3DXEffectParameter* pkPair = Find("Pair");
    ASSERT_TRUE(Load(pkPair));
    ASSERT_EQ(pkPair->GetDeviceTexture()->GetType(), gfx::D3DRTYPE_VOLUMETEXTURE);
    gfx::D3DVOLUME_DESC kVolumeDesc;
    ASSERT_EQ(static_cast<gfx::IDirect3DVolumeTexture9*>(pkPair->GetDeviceTexture())->GetLevelDesc(0, &kVolumeDesc),
              gfx::D3D_OK);
    EXPECT_EQ(kVolumeDesc.Format, gfx::D3DFMT_G16R16F);
    EXPECT_EQ(kVolumeDesc.Depth, 2u);
}

// Damaged files load nothing and leave the parameter without a texture:
// cut files of every kind, a TGA promising more than it holds, a TGA the
// engine could only stand in for, and a file gone since the effect was read.
TEST_F(EffectDeviceTest, DamagedTextureFilesLoadNothing)
{
    CreateRenderer();
    ddsfixture::Spec kDds;
    Bytes kDdsBytes = ddsfixture::Build(kDds);
    kDdsBytes.resize(kDdsBytes.size() - 5);
    WriteBytes(Path("cut.dds"), kDdsBytes);
    ASSERT_TRUE(test_png::WriteRgb(Path("whole.png"), 4, 4, Bytes(48, 7)));
    Bytes kPng = ReadBytes(m_kRoot / "whole.png");
    kPng.resize(kPng.size() / 2);
    WriteBytes(Path("cut.png"), kPng);
    Bytes kJpg = SolidJpeg(16, 1, 2, 3);
    kJpg.resize(kJpg.size() / 2);
    WriteBytes(Path("cut.jpg"), kJpg);
    Bytes kTga = Tga(4, 4, Bytes(64, 9));
    kTga.resize(kTga.size() - 10);
    WriteBytes(Path("cut.tga"), kTga);
    WriteBytes(Path("huge.tga"), Tga(60000, 60000, Bytes(64, 9)));
    WriteBytes(Path("odd.tga"), Tga(3, 3, Bytes(36, 9)));
    WriteBytes(Path("noise.bmp"), Bytes{'B', 'M', 0xFF, 0xFF, 0xFF, 0xFF, 0, 0});
    WriteBytes(Path("gone.tga"), Tga(2, 2, Bytes(16, 9)));
    WriteBytes(Path("cut.cube.dds"), kDdsBytes);
    std::string kText;
    int iCount = 0;
    for (const char* pc : {"cut.dds", "cut.png", "cut.jpg", "cut.tga", "huge.tga", "odd.tga", "noise.bmp", "gone.tga"})
        kText += "texture T" + std::to_string(iCount++) + " < string name = \"" + Path(pc) + "\"; >;\n";
    kText += "textureCUBE C < string name = \"" + Path("cut.cube.dds") + "\"; string type = \"cube\"; >;\n";
    Parse(kText + "technique T { pass { } }\n");
    ASSERT_EQ(m_kParameters.size(), 9u);
    fs::remove(m_kRoot / "gone.tga");
    for (const auto& sp : m_kParameters)
    {
        ASSERT_FALSE(sp->GetFileName().empty()) << sp->GetName();
        EXPECT_FALSE(Load(sp.get())) << sp->GetFileName();
        EXPECT_EQ(sp->GetDeviceTexture(), nullptr) << sp->GetFileName();
    }
}

namespace
{
// A skin of three bones under a turned and moved root.
struct Skin
{
    Skin()
    {
        NiXform kRootLocal;
        kRootLocal.m_kRotate.MakeZRotation(0.3f);
        kRootLocal.m_kTranslate = NiVec3(1, 2, 3);
        m_spRoot->SetLocalTransform(kRootLocal);
        NiXform kRootToSkin;
        kRootToSkin.m_kRotate.MakeXRotation(0.5f);
        kRootToSkin.m_kTranslate = NiVec3(0, 1, 0);
        NiRefPtr<NiSkinData> spData = new NiSkinData;
        spData->SetRootParentToSkin(kRootToSkin);
        auto spBones = std::make_unique<NiSkinData::BoneData[]>(3);
        for (std::uint32_t ui = 0; ui < 3; ++ui)
            spBones[ui].m_kSkinToBone.m_kTranslate = NiVec3(0, float(ui), 0);
        spData->SetBones(3, std::move(spBones));
        m_spSkin->SetSkinData(spData);
        m_spSkin->SetRootParent(m_spRoot);
        for (std::uint32_t ui = 0; ui < 3; ++ui)
        {
            NiRefPtr<NiNode> spBone = new NiNode;
            NiXform kLocal;
            kLocal.m_kRotate.MakeYRotation(0.2f * float(ui + 1));
            kLocal.m_kTranslate = NiVec3(float(ui), 0, 1);
            spBone->SetLocalTransform(kLocal);
            m_spRoot->AttachChild(spBone);
            m_spSkin->SetBone(ui, spBone);
        }
        m_spRoot->Update(0.0f);
        // Bones 2, 0, 1 in the partition's order.
        m_kPartition.m_usBones = 3;
        m_kPartition.m_pusBones.reset(new std::uint16_t[3]{2, 0, 1});
    }
    NiRefPtr<NiNode> m_spRoot = new NiNode;
    NiRefPtr<NiSkinInstance> m_spSkin = new NiSkinInstance;
    NiSkinPartition::Partition m_kPartition;
};
} // namespace

// The palette grows to the larger of array and partition, never sends more
// than the array holds, reads the renderer's program buffer at the bone's
// stride, and gives the same rows when only the 4 x 4 bones exist.
TEST_F(EffectDeviceTest, TheBonePaletteFollowsThePartition)
{
    CreateRenderer();
    Parse("float4x4 Two[2] : SkinBoneMatrix4; float4x4 Eight[8] : BoneMatrix3; float4x4 Four[4] : BoneMatrix4;\n"
          "technique T { pass { } }\n");
    NiD3DXEffectParameter* pkTwo = Find("Two");
    NiD3DXEffectParameter* pkEight = Find("Eight");
    NiD3DXEffectParameter* pkFour = Find("Four");
    EXPECT_EQ(pkTwo->GetArrayCount(), 2u);
    EXPECT_EQ(pkEight->GetArrayCount(), 8u);
    Skin kSkin;
    auto set = [&](NiD3DXEffectParameter* pk) {
        return pk->SetParameter(m_pkEffect, m_spRenderer, nullptr, kSkin.m_spSkin, &kSkin.m_kPartition, nullptr);
    };
    auto read = [&](const char* pcName, std::uint32_t uiCount) {
        std::vector<gfx::D3DXMATRIX> k(uiCount);
        EXPECT_EQ(m_pkEffect->GetMatrixArray(pcName, k.data(), uiCount), gfx::D3D_OK);
        return k;
    };
    const std::vector<gfx::D3DXMATRIX> kUntouched = read("Two", 2);

    // Skin-space bones in four registers, as the effect shader has them made.
    m_spRenderer->CalculateBoneMatrices(kSkin.m_spSkin, NiXform(), true, 4, false);
    std::uint32_t uiBones = 0, uiRegisters = 0;
    const float* pfBuffer = m_spRenderer->GetBoneMatrixBuffer(kSkin.m_spSkin, uiBones, uiRegisters);
    ASSERT_NE(pfBuffer, nullptr);
    ASSERT_EQ(uiBones, 3u);
    ASSERT_EQ(uiRegisters, 4u);
    EXPECT_TRUE(set(pkTwo));
    EXPECT_EQ(NiD3DXEffectParameter::GetBonePaletteSize(), 3u); // the partition is larger than the array
    // Sent transposed: what reads back is the buffer's rows transposed.
    const std::vector<gfx::D3DXMATRIX> kTwo = read("Two", 2);
    for (std::uint32_t ui = 0; ui < 2; ++ui)
        for (std::uint32_t r = 0; r < 4; ++r)
            for (std::uint32_t c = 0; c < 4; ++c)
                EXPECT_EQ(kTwo[ui].m[c][r], pfBuffer[kSkin.m_kPartition.m_pusBones[ui] * 16 + r * 4 + c]);
    EXPECT_NE(std::memcmp(kTwo.data(), kUntouched.data(), sizeof(gfx::D3DXMATRIX) * 2), 0);

    // World-space bones in three registers: three rows at a 48-byte stride,
    // the fourth row (0, 0, 0, 1); the palette grows to the array.
    m_spRenderer->CalculateBoneMatrices(kSkin.m_spSkin, NiXform(), true, 3, true);
    pfBuffer = m_spRenderer->GetBoneMatrixBuffer(kSkin.m_spSkin, uiBones, uiRegisters);
    ASSERT_EQ(uiRegisters, 3u);
    EXPECT_TRUE(set(pkEight));
    EXPECT_EQ(NiD3DXEffectParameter::GetBonePaletteSize(), 8u);
    const std::vector<gfx::D3DXMATRIX> kEight = read("Eight", 8);
    for (std::uint32_t ui = 0; ui < 3; ++ui)
    {
        for (std::uint32_t r = 0; r < 3; ++r)
            for (std::uint32_t c = 0; c < 4; ++c)
                EXPECT_EQ(kEight[ui].m[c][r], pfBuffer[kSkin.m_kPartition.m_pusBones[ui] * 12 + r * 4 + c]);
        EXPECT_EQ(kEight[ui].m[0][3], 0.0f);
        EXPECT_EQ(kEight[ui].m[1][3], 0.0f);
        EXPECT_EQ(kEight[ui].m[2][3], 0.0f);
        EXPECT_EQ(kEight[ui].m[3][3], 1.0f);
    }
    // Beyond the partition's bones nothing was sent.
    EXPECT_EQ(kEight[3].m[0][0], 0.0f);
    EXPECT_EQ(NiD3DXEffectParameter::GetBonePaletteSize(), 8u);
    // A smaller array later does not shrink it.
    EXPECT_TRUE(set(pkTwo));
    EXPECT_EQ(NiD3DXEffectParameter::GetBonePaletteSize(), 8u);

    // A skin whose bones were made without a program buffer: the same
    // world-space rows from the 4 x 4 bones.
    m_spRenderer->CalculateBoneMatrices(kSkin.m_spSkin, NiXform(), true, 4, true);
    EXPECT_TRUE(set(pkFour));
    const std::vector<gfx::D3DXMATRIX> kFromBuffer = read("Four", 3);
    Skin kOther;
    m_spRenderer->CalculateBoneMatrices(kOther.m_spSkin, NiXform());
    ASSERT_EQ(m_spRenderer->GetBoneMatrixBuffer(kOther.m_spSkin, uiBones, uiRegisters), nullptr);
    EXPECT_TRUE(pkFour->SetParameter(m_pkEffect, m_spRenderer, nullptr, kOther.m_spSkin, &kOther.m_kPartition,
                                     nullptr));
    const std::vector<gfx::D3DXMATRIX> kFromBones = read("Four", 3);
    for (std::uint32_t ui = 0; ui < 3; ++ui)
        for (int i = 0; i < 16; ++i)
            EXPECT_NEAR(kFromBones[ui].m[i / 4][i % 4], kFromBuffer[ui].m[i / 4][i % 4], 1e-5) << ui << " " << i;

    // A partition naming a bone the skin lacks sends nothing.
    const std::vector<gfx::D3DXMATRIX> kBefore = read("Four", 3);
    kOther.m_kPartition.m_pusBones[1] = 7;
    m_spRenderer->CalculateBoneMatrices(kSkin.m_spSkin, NiXform(), true, 3, false);
    EXPECT_TRUE(pkFour->SetParameter(m_pkEffect, m_spRenderer, nullptr, kSkin.m_spSkin, &kOther.m_kPartition,
                                     nullptr));
    EXPECT_EQ(std::memcmp(read("Four", 3).data(), kBefore.data(), sizeof(gfx::D3DXMATRIX) * 3), 0);
    // The shader libraries' shut-down frees it.
    NiD3DXEffectParameter::ReleaseBonePalette();
    EXPECT_EQ(NiD3DXEffectParameter::GetBonePaletteSize(), 0u);
}

// A renderer change releases each compiled effect and the old device once;
// the same renderer again changes nothing; the file compiles on the new
// device at its next load. (The engine draws with one renderer at a time:
// the first is let go before the second is made.)
TEST_F(EffectDeviceTest, ARendererChangeReleasesEachEffectOnce)
{
    std::ofstream(m_kRoot / "one.fx") << "float4 C : Attribute;\ntechnique T { pass { TextureFactor = <C>; } }\n";
    CreateRenderer();
    gfx::IDirect3DDevice9* pkFirst = m_spRenderer->GetD3DDevice();
    pkFirst->AddRef(); // to watch it past its renderer
    const std::uint32_t uiFirst = pkFirst->RefCount();

    const std::string kRoot = m_kRoot.string();
    const char* apcDirectories[] = {kRoot.c_str()};
    NiD3DXEffectShaderLib* pkLibrary = NiD3DXEffectShaderLib::Create(m_spRenderer, 1, apcDirectories, false);
    ASSERT_NE(pkLibrary, nullptr);
    NiShaderLibraryBasePtr spKeep = pkLibrary;
    NiD3DXEffectFile* pkFile = pkLibrary->GetFileOfTechnique("T");
    ASSERT_NE(pkFile, nullptr);
    ASSERT_TRUE(pkFile->IsCreatedWithDevice());
    EXPECT_GT(pkFirst->RefCount(), uiFirst);
    gfx::ID3DXBaseEffect* pkEffect = pkFile->GetEffect();
    pkEffect->AddRef(); // to watch it
    const std::uint32_t uiEffect = pkEffect->RefCount();

    pkLibrary->SetRenderer(nullptr);
    EXPECT_EQ(pkFile->GetEffect(), nullptr);
    EXPECT_EQ(pkEffect->RefCount(), uiEffect - 1);
    pkLibrary->SetRenderer(nullptr);
    EXPECT_EQ(pkEffect->RefCount(), uiEffect - 1);
    EXPECT_EQ(pkEffect->Release(), 0u);
    // The factory's reference and the effect's are gone.
    EXPECT_EQ(pkFirst->RefCount(), uiFirst);

    m_spRenderer = nullptr;
    EXPECT_EQ(pkFirst->Release(), 0u);
    CreateRenderer();
    gfx::IDirect3DDevice9* pkSecond = m_spRenderer->GetD3DDevice();
    const std::uint32_t uiSecond = pkSecond->RefCount();
    pkLibrary->SetRenderer(m_spRenderer);
    pkLibrary->SetRenderer(m_spRenderer);
    NiD3DXEffectFactory::SetRenderer(m_spRenderer);
    EXPECT_EQ(pkSecond->RefCount(), uiSecond + 1);

    // Compiled again, on the second device.
    EXPECT_EQ(NiD3DXEffectFactory::LoadEffectFile(pkFile->GetName()), pkFile);
    ASSERT_TRUE(pkFile->IsCreatedWithDevice());
    EXPECT_NE(pkFile->GetTechnique("T", 0)->GetTechniqueHandle(), nullptr);
    EXPECT_EQ(pkSecond->RefCount(), uiSecond + 2);
    pkEffect = pkFile->GetEffect();
    pkEffect->AddRef();
    // A device change without a renderer change: one release again.
    NiD3DXEffectFactory::SetD3DDevice(nullptr);
    EXPECT_EQ(pkEffect->RefCount(), 1u);
    EXPECT_EQ(pkEffect->Release(), 0u);
    EXPECT_EQ(pkSecond->RefCount(), uiSecond);
    spKeep = nullptr;
}
