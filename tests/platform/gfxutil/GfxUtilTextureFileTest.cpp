#include "platform/gfxutil/GfxUtilTextureFile.h"

#include "tests/platform/gfx/GfxBackendFixture.h"
#include "tests/platform/gfxutil/DdsFixture.h"
#include "tests/support/TestPng.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <unistd.h>
#include <jpeglib.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

using namespace gfx;

namespace {

void WriteBytes(const std::filesystem::path& path, const std::vector<std::uint8_t>& bytes) {
    std::ofstream out(path, std::ios::binary);
    out.write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
}

std::vector<std::uint8_t> ReadBytes(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    return std::vector<std::uint8_t>(std::istreambuf_iterator<char>(in), {});
}

// A baseline JPEG of one colour, written by the library itself.
std::vector<std::uint8_t> SolidJpeg(std::uint32_t w, std::uint32_t h, std::uint8_t r, std::uint8_t g, std::uint8_t b) {
    jpeg_compress_struct info;
    jpeg_error_mgr error;
    info.err = jpeg_std_error(&error);
    jpeg_create_compress(&info);
    unsigned char* out = nullptr;
    unsigned long size = 0;
    jpeg_mem_dest(&info, &out, &size);
    info.image_width = w;
    info.image_height = h;
    info.input_components = 3;
    info.in_color_space = JCS_RGB;
    jpeg_set_defaults(&info);
    jpeg_set_quality(&info, 100, TRUE);
    jpeg_start_compress(&info, TRUE);
    std::vector<std::uint8_t> row(std::size_t(w) * 3);
    for (std::uint32_t x = 0; x < w; ++x) {
        row[x * 3] = r;
        row[x * 3 + 1] = g;
        row[x * 3 + 2] = b;
    }
    while (info.next_scanline < h) {
        JSAMPROW p = row.data();
        jpeg_write_scanlines(&info, &p, 1);
    }
    jpeg_finish_compress(&info);
    std::vector<std::uint8_t> bytes(out, out + size);
    jpeg_destroy_compress(&info);
    std::free(out);
    return bytes;
}

std::vector<std::uint8_t> LevelBytes(IDirect3DTexture9* texture, std::uint32_t level) {
    D3DSURFACE_DESC desc;
    EXPECT_EQ(texture->GetLevelDesc(level, &desc), D3D_OK);
    D3DLOCKED_RECT locked;
    EXPECT_EQ(texture->LockRect(level, &locked, nullptr, D3DLOCK_READONLY), D3D_OK);
    std::vector<std::uint8_t> out;
    for (std::uint32_t y = 0; y < desc.Height; ++y) {
        const auto* row = static_cast<const std::uint8_t*>(locked.pBits) + std::size_t(y) * locked.Pitch;
        out.insert(out.end(), row, row + desc.Width * 4);
    }
    texture->UnlockRect(level);
    return out;
}

} // namespace

class GfxUtilTextureFileTest : public gfxtest::BackendTest {
protected:
    void SetUp() override {
        gfxtest::BackendTest::SetUp();
        if (IsSkipped() || HasFatalFailure()) return;
        // One folder per test and process: ctest runs the tests side by side.
        std::string name = ::testing::UnitTest::GetInstance()->current_test_info()->name();
        for (char& c : name)
            if (c == '/') c = '_';
        dir = std::filesystem::temp_directory_path() /
              ("gfxutil_texfile_" + std::to_string(::getpid()) + "_" + name);
        std::filesystem::remove_all(dir);
        std::filesystem::create_directories(dir);
    }
    void TearDown() override {
        std::filesystem::remove_all(dir);
        gfxtest::BackendTest::TearDown();
    }
    HRESULT Load(const std::string& name, std::uint32_t levels, IDirect3DTexture9** texture,
                 D3DXIMAGE_INFO* info = nullptr) {
        return D3DXCreateTextureFromFileExA(device, (dir / name).c_str(), D3DX_DEFAULT, D3DX_DEFAULT, levels, 0,
                                            D3DFMT_UNKNOWN, D3DPOOL_MANAGED, D3DX_DEFAULT, D3DX_DEFAULT, 0, info,
                                            nullptr, texture);
    }
    std::filesystem::path dir;
};
INSTANTIATE_TEST_SUITE_P(, GfxUtilTextureFileTest, ::testing::Values(gfx::BackendKind::Null, gfx::BackendKind::Gl),
                         gfxtest::BackendParamName);

// PNG rows become B, G, R, A texels; each smaller level is the 2 x 2 mean.
TEST_P(GfxUtilTextureFileTest, PngIsDecodedWithABoxFilteredChain) {
    Create();
    const std::vector<std::uint8_t> rgb = {10, 20, 30, 50, 60, 70, 200, 0, 0,
                                           90, 100, 110, 130, 140, 150, 0, 255, 0};
    ASSERT_TRUE(test_png::WriteRgb((dir / "three.png").string(), 3, 2, rgb));
    IDirect3DTexture9* texture = nullptr;
    D3DXIMAGE_INFO info;
    ASSERT_EQ(Load("THREE.PNG", D3DX_DEFAULT, &texture, &info), D3D_OK);
    EXPECT_EQ(info.Width, 3u);
    EXPECT_EQ(info.Height, 2u);
    EXPECT_EQ(info.ImageFileFormat, D3DXIFF_PNG);
    EXPECT_EQ(texture->GetLevelCount(), 2u);
    D3DSURFACE_DESC desc;
    ASSERT_EQ(texture->GetLevelDesc(0, &desc), D3D_OK);
    EXPECT_EQ(desc.Format, D3DFMT_A8R8G8B8);
    EXPECT_EQ(desc.Pool, D3DPOOL_MANAGED);
    EXPECT_EQ(LevelBytes(texture, 0),
              (std::vector<std::uint8_t>{30, 20, 10, 255, 70, 60, 50, 255, 0, 0, 200, 255,
                                         110, 100, 90, 255, 150, 140, 130, 255, 0, 255, 0, 255}));
    // 1 x 1: texels (0,0) (1,0) (0,1) (1,1).
    EXPECT_EQ(LevelBytes(texture, 1), (std::vector<std::uint8_t>{
                                          (30 + 70 + 110 + 150 + 2) / 4, (20 + 60 + 100 + 140 + 2) / 4,
                                          (10 + 50 + 90 + 130 + 2) / 4, 255}));
    EXPECT_EQ(texture->Release(), 0u);
    ASSERT_EQ(Load("three.png", 1, &texture), D3D_OK);
    EXPECT_EQ(texture->GetLevelCount(), 1u);
    EXPECT_EQ(texture->Release(), 0u);
}

TEST_P(GfxUtilTextureFileTest, JpegAndDdsLoadAndOtherFilesAreRefused) {
    Create();
    WriteBytes(dir / "solid.jpg", SolidJpeg(16, 8, 200, 100, 50));
    IDirect3DTexture9* texture = nullptr;
    D3DXIMAGE_INFO info;
    ASSERT_EQ(Load("solid.jpg", D3DX_DEFAULT, &texture, &info), D3D_OK);
    EXPECT_EQ(info.ImageFileFormat, D3DXIFF_JPG);
    EXPECT_EQ(texture->GetLevelCount(), 5u);
    const std::vector<std::uint8_t> texels = LevelBytes(texture, 0);
    ASSERT_EQ(texels.size(), 16u * 8u * 4u);
    for (std::size_t i = 0; i < texels.size(); i += 4) {
        EXPECT_NEAR(texels[i], 50, 3);
        EXPECT_NEAR(texels[i + 1], 100, 3);
        EXPECT_NEAR(texels[i + 2], 200, 3);
        EXPECT_EQ(texels[i + 3], 255);
    }
    EXPECT_EQ(texture->Release(), 0u);

    // DDS: the levels as stored, through the in-memory creation.
    ddsfixture::Spec spec;
    spec.width = 8;
    spec.height = 4;
    spec.levels = 2;
    WriteBytes(dir / "stored.dds", ddsfixture::Build(spec));
    ASSERT_EQ(Load("stored.dds", D3DX_DEFAULT, &texture, &info), D3D_OK);
    EXPECT_EQ(info.ImageFileFormat, D3DXIFF_DDS);
    EXPECT_EQ(texture->GetLevelCount(), 2u);
    EXPECT_EQ(texture->Release(), 0u);

    // BMP and TGA are left to the engine's readers; no file, no texture.
    WriteBytes(dir / "picture.bmp", {'B', 'M', 0, 0, 0, 0});
    WriteBytes(dir / "picture.tga", std::vector<std::uint8_t>(18 + 4, 0));
    texture = reinterpret_cast<IDirect3DTexture9*>(1);
    EXPECT_EQ(Load("picture.bmp", D3DX_DEFAULT, &texture), D3DXERR_INVALIDDATA);
    EXPECT_EQ(texture, nullptr);
    EXPECT_EQ(Load("picture.tga", D3DX_DEFAULT, &texture), D3DXERR_INVALIDDATA);
    EXPECT_EQ(Load("missing.png", D3DX_DEFAULT, &texture), D3DERR_NOTFOUND);

    // Cubes only from cube DDS files, volumes only from volume ones.
    spec = {};
    spec.cube = true;
    WriteBytes(dir / "sky.dds", ddsfixture::Build(spec));
    IDirect3DCubeTexture9* cube = nullptr;
    ASSERT_EQ(D3DXCreateCubeTextureFromFileExA(device, (dir / "sky.dds").c_str(), D3DX_DEFAULT, D3DX_DEFAULT, 0,
                                               D3DFMT_UNKNOWN, D3DPOOL_MANAGED, D3DX_DEFAULT, D3DX_DEFAULT, 0,
                                               nullptr, nullptr, &cube),
              D3D_OK);
    EXPECT_EQ(cube->Release(), 0u);
    EXPECT_EQ(D3DXCreateCubeTextureFromFileExA(device, (dir / "solid.jpg").c_str(), D3DX_DEFAULT, D3DX_DEFAULT, 0,
                                               D3DFMT_UNKNOWN, D3DPOOL_MANAGED, D3DX_DEFAULT, D3DX_DEFAULT, 0,
                                               nullptr, nullptr, &cube),
              D3DXERR_INVALIDDATA);
    IDirect3DVolumeTexture9* volume = reinterpret_cast<IDirect3DVolumeTexture9*>(1);
    EXPECT_EQ(D3DXCreateVolumeTextureFromFileExA(device, (dir / "stored.dds").c_str(), D3DX_DEFAULT, D3DX_DEFAULT,
                                                 D3DX_DEFAULT, 1, 0, D3DFMT_UNKNOWN, D3DPOOL_MANAGED, D3DX_DEFAULT,
                                                 D3DX_DEFAULT, 0, nullptr, nullptr, &volume),
              D3DERR_INVALIDCALL);
    EXPECT_EQ(volume, nullptr);
    spec = {};
    spec.volume = true;
    spec.depth = 4;
    spec.levels = 3;
    WriteBytes(dir / "fog.dds", ddsfixture::Build(spec));
    ASSERT_EQ(D3DXCreateVolumeTextureFromFileExA(device, (dir / "FOG.DDS").c_str(), D3DX_DEFAULT, D3DX_DEFAULT,
                                                 D3DX_DEFAULT, 1, 0, D3DFMT_UNKNOWN, D3DPOOL_MANAGED, D3DX_DEFAULT,
                                                 D3DX_DEFAULT, 0, &info, nullptr, &volume),
              D3D_OK);
    EXPECT_EQ(info.ResourceType, D3DRTYPE_VOLUMETEXTURE);
    EXPECT_EQ(info.Depth, 4u);
    EXPECT_EQ(info.MipLevels, 3u);
    // One level asked for, one made, holding the file's first level.
    ASSERT_EQ(volume->GetLevelCount(), 1u);
    D3DLOCKED_BOX box{};
    ASSERT_EQ(volume->LockBox(0, &box, nullptr, D3DLOCK_READONLY), D3D_OK);
    const std::vector<std::uint8_t> fog = ReadBytes(dir / "fog.dds");
    for (std::uint32_t z = 0; z < 4; ++z)
        for (std::uint32_t y = 0; y < 4; ++y)
            EXPECT_EQ(std::memcmp(static_cast<const std::uint8_t*>(box.pBits) + z * box.SlicePitch + y * box.RowPitch,
                                  fog.data() + 128 + (z * 4 + y) * 16, 16),
                      0)
                << "slice " << z << " row " << y;
    volume->UnlockBox(0);
    EXPECT_EQ(volume->Release(), 0u);
    // No count, or more than the file holds: the file's levels.
    for (std::uint32_t levels : {0u, 3u, 5u, D3DX_DEFAULT}) {
        ASSERT_EQ(D3DXCreateVolumeTextureFromFileExA(device, (dir / "fog.dds").c_str(), D3DX_DEFAULT, D3DX_DEFAULT,
                                                     D3DX_DEFAULT, levels, 0, D3DFMT_UNKNOWN, D3DPOOL_MANAGED,
                                                     D3DX_DEFAULT, D3DX_DEFAULT, 0, nullptr, nullptr, &volume),
                  D3D_OK);
        EXPECT_EQ(volume->GetLevelCount(), 3u) << levels;
        EXPECT_EQ(volume->Release(), 0u);
    }
    ASSERT_EQ(D3DXCreateVolumeTextureFromFileExA(device, (dir / "fog.dds").c_str(), D3DX_DEFAULT, D3DX_DEFAULT,
                                                 D3DX_DEFAULT, 2, 0, D3DFMT_UNKNOWN, D3DPOOL_MANAGED, D3DX_DEFAULT,
                                                 D3DX_DEFAULT, 0, nullptr, nullptr, &volume),
              D3D_OK);
    EXPECT_EQ(volume->GetLevelCount(), 2u);
    EXPECT_EQ(volume->Release(), 0u);
    EXPECT_EQ(D3DXCreateVolumeTextureFromFileExA(device, (dir / "solid.jpg").c_str(), D3DX_DEFAULT, D3DX_DEFAULT,
                                                 D3DX_DEFAULT, 1, 0, D3DFMT_UNKNOWN, D3DPOOL_MANAGED, D3DX_DEFAULT,
                                                 D3DX_DEFAULT, 0, nullptr, nullptr, &volume),
              D3DXERR_INVALIDDATA);
    EXPECT_EQ(D3DXCreateVolumeTextureFromFileExA(device, (dir / "none.dds").c_str(), D3DX_DEFAULT, D3DX_DEFAULT,
                                                 D3DX_DEFAULT, 1, 0, D3DFMT_UNKNOWN, D3DPOOL_MANAGED, D3DX_DEFAULT,
                                                 D3DX_DEFAULT, 0, nullptr, nullptr, &volume),
              D3DERR_NOTFOUND);
}

// Cut and hostile files: refused, nothing made, nothing leaked (ASan).
TEST_P(GfxUtilTextureFileTest, CutAndHostileImagesAreRefused) {
    Create();
    std::vector<std::uint8_t> rgb(6 * 5 * 3, 77);
    ASSERT_TRUE(test_png::WriteRgb((dir / "whole.png").string(), 6, 5, rgb));
    const std::vector<std::uint8_t> png = ReadBytes(dir / "whole.png");
    const std::vector<std::uint8_t> jpeg = SolidJpeg(9, 9, 1, 2, 3);
    for (const auto* file : {&png, &jpeg}) {
        for (std::size_t cut = 1; cut < file->size(); cut += 7) {
            WriteBytes(dir / "cut.bin", std::vector<std::uint8_t>(file->begin(), file->begin() + std::ptrdiff_t(cut)));
            IDirect3DTexture9* texture = nullptr;
            const HRESULT hr = Load("cut.bin", D3DX_DEFAULT, &texture);
            EXPECT_EQ(hr, D3DXERR_INVALIDDATA) << cut;
            EXPECT_EQ(texture, nullptr);
            if (texture) texture->Release();
        }
    }
    // A header claiming 100000 x 100000.
    std::vector<std::uint8_t> huge = png;
    huge[16] = 0x00, huge[17] = 0x01, huge[18] = 0x86, huge[19] = 0xA0;
    huge[20] = 0x00, huge[21] = 0x01, huge[22] = 0x86, huge[23] = 0xA0;
    const std::uint32_t crc = test_png::Crc32(huge.data() + 12, 17) ^ 0xFFFFFFFFu;
    for (int i = 0; i < 4; ++i) huge[29 + i] = static_cast<std::uint8_t>(crc >> (8 * (3 - i)));
    WriteBytes(dir / "huge.png", huge);
    IDirect3DTexture9* texture = nullptr;
    EXPECT_EQ(Load("huge.png", D3DX_DEFAULT, &texture), D3DXERR_INVALIDDATA);
    EXPECT_EQ(texture, nullptr);
}
