#include "platform/gfxutil/GfxUtilImage.h"

#include "tests/platform/gfx/GfxBackendFixture.h"
#include "tests/platform/gfxutil/DdsFixture.h"

#include <gtest/gtest.h>

#include <cstring>
#include <vector>

using namespace gfx;
using ddsfixture::Spec;

namespace {

D3DXIMAGE_INFO InfoOf(const std::vector<std::uint8_t>& file, HRESULT expected = D3D_OK) {
    D3DXIMAGE_INFO info;
    EXPECT_EQ(D3DXGetImageInfoFromFileInMemory(file.data(), static_cast<std::uint32_t>(file.size()), &info),
              expected);
    return info;
}

Spec Make(D3DFORMAT format, std::uint32_t w, std::uint32_t h, std::uint32_t levels = 1) {
    Spec s;
    s.format = format;
    s.width = w;
    s.height = h;
    s.levels = levels;
    return s;
}

// A few bytes of the other image files the loaders are handed.
std::vector<std::uint8_t> BmpBytes() {
    std::vector<std::uint8_t> b(70, 0);
    b[0] = 'B';
    b[1] = 'M';
    b[2] = 70;
    b[10] = 54;
    b[14] = 40;
    b[18] = 2;
    b[22] = 2;
    b[26] = 1;
    b[28] = 24;
    return b;
}
std::vector<std::uint8_t> TgaBytes() {
    std::vector<std::uint8_t> b(18 + 4 * 4 * 4, 0x7F);
    std::memset(b.data(), 0, 18);
    b[2] = 2;
    b[12] = 4;
    b[14] = 4;
    b[16] = 32;
    return b;
}

} // namespace

TEST(GfxUtilImageInfoTest, DescribesEachKindOfFile) {
    struct Case {
        Spec spec;
        std::uint32_t type;
    };
    Spec cube = Make(D3DFMT_A8R8G8B8, 8, 8, 4);
    cube.cube = true;
    Spec volume = Make(D3DFMT_A8R8G8B8, 8, 4, 3);
    volume.volume = true;
    volume.depth = 2;
    const Case cases[] = {
        {Make(D3DFMT_DXT1, 16, 8), D3DRTYPE_TEXTURE},
        {Make(D3DFMT_DXT3, 16, 16, 5), D3DRTYPE_TEXTURE},
        {Make(D3DFMT_DXT5, 8, 32, 6), D3DRTYPE_TEXTURE},
        {Make(D3DFMT_R5G6B5, 4, 2), D3DRTYPE_TEXTURE},
        {Make(D3DFMT_A1R5G5B5, 2, 2, 2), D3DRTYPE_TEXTURE},
        {Make(D3DFMT_A4R4G4B4, 1, 1), D3DRTYPE_TEXTURE},
        {Make(D3DFMT_X1R5G5B5, 64, 1, 7), D3DRTYPE_TEXTURE},
        {Make(D3DFMT_A8R8G8B8, 256, 256, 9), D3DRTYPE_TEXTURE},
        {Make(D3DFMT_X8R8G8B8, 3, 5, 3), D3DRTYPE_TEXTURE},
        {Make(D3DFMT_R8G8B8, 4, 4), D3DRTYPE_TEXTURE},
        {Make(D3DFMT_P8, 4, 4), D3DRTYPE_TEXTURE},
        {Make(D3DFMT_V8U8, 4, 4), D3DRTYPE_TEXTURE},
        {Make(D3DFMT_L8, 4, 4), D3DRTYPE_TEXTURE},
        {Make(D3DFMT_A16B16G16R16, 2, 2), D3DRTYPE_TEXTURE},
        {cube, D3DRTYPE_CUBETEXTURE},
        {volume, D3DRTYPE_VOLUMETEXTURE},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << FormatName(c.spec.format) << " " << c.spec.width << "x" << c.spec.height);
        const D3DXIMAGE_INFO info = InfoOf(ddsfixture::Build(c.spec));
        EXPECT_EQ(info.Width, c.spec.width);
        EXPECT_EQ(info.Height, c.spec.height);
        EXPECT_EQ(info.Depth, c.spec.volume ? c.spec.depth : 1u);
        EXPECT_EQ(info.MipLevels, c.spec.levels);
        EXPECT_EQ(info.Format, c.spec.format);
        EXPECT_EQ(info.ResourceType, c.type);
        EXPECT_EQ(info.ImageFileFormat, D3DXIFF_DDS);
    }
}

TEST(GfxUtilImageInfoTest, ALevelCountOfZeroOrWithoutItsFlagIsOneLevel) {
    std::vector<std::uint8_t> file = ddsfixture::Build(Make(D3DFMT_A8R8G8B8, 4, 4));
    ddsfixture::Put(file, 28, 0);
    EXPECT_EQ(InfoOf(file).MipLevels, 1u);
    ddsfixture::Put(file, 28, 3);
    ddsfixture::Put(file, 8, 0x1007); // no level-count flag: the count is not read
    EXPECT_EQ(InfoOf(file).MipLevels, 1u);
}

TEST(GfxUtilImageInfoTest, RefusesOtherFilesAndHostileHeaders) {
    EXPECT_EQ(D3DXGetImageInfoFromFileInMemory(nullptr, 10, nullptr), D3DERR_INVALIDCALL);
    InfoOf(BmpBytes(), D3DXERR_INVALIDDATA);
    InfoOf(TgaBytes(), D3DXERR_INVALIDDATA);
    InfoOf({}, D3DERR_INVALIDCALL); // no bytes at all: no pointer
    const std::uint8_t one = 'D';
    D3DXIMAGE_INFO info;
    EXPECT_EQ(D3DXGetImageInfoFromFileInMemory(&one, 0, &info), D3DXERR_INVALIDDATA);
    EXPECT_EQ(D3DXGetImageInfoFromFileInMemory(&one, 1, &info), D3DXERR_INVALIDDATA);

    struct Hostile {
        const char* what;
        std::uint32_t offset;
        std::uint32_t value;
    };
    const Hostile cases[] = {
        {"magic", 0, 0x20534443},
        {"header size", 4, 128},
        {"pixel-format size", 76, 0},
        {"zero width", 16, 0},
        {"zero height", 12, 0},
        {"width above 16384", 16, 16385},
        {"height above 16384", 12, 0x80000000},
        {"more levels than halvings", 28, 4},
        {"huge level count", 28, 0xFFFFFFFF},
        {"unknown four-character code", 84, 0x31424742},
        {"a format without pixels", 84, D3DFMT_D24S8 + 1000},
    };
    Spec s = Make(D3DFMT_DXT1, 4, 4);
    for (const Hostile& h : cases) {
        SCOPED_TRACE(h.what);
        std::vector<std::uint8_t> file = ddsfixture::Build(s);
        ddsfixture::Put(file, h.offset, h.value);
        InfoOf(file, D3DXERR_INVALIDDATA);
    }

    // 16384 x 16384 is within the sides but over 2^26 pixels; 8192 x 8192 is
    // exactly 2^26 and only fails for want of bytes.
    std::vector<std::uint8_t> big = ddsfixture::Build(Make(D3DFMT_DXT1, 4, 4));
    ddsfixture::Put(big, 12, 16384);
    ddsfixture::Put(big, 16, 16384);
    InfoOf(big, D3DXERR_INVALIDDATA);
    Spec exact = Make(D3DFMT_DXT1, 8192, 8192);
    std::vector<std::uint8_t> whole = ddsfixture::Build(exact);
    EXPECT_EQ(InfoOf(whole).Width, 8192u);
    whole.pop_back();
    InfoOf(whole, D3DXERR_INVALIDDATA);

    // A cube lacking a face, or not square.
    Spec cube = Make(D3DFMT_A8R8G8B8, 4, 4);
    cube.cube = true;
    std::vector<std::uint8_t> file = ddsfixture::Build(cube);
    ddsfixture::Put(file, 112, 0xBE00);
    InfoOf(file, D3DXERR_INVALIDDATA);
    cube.height = 2;
    InfoOf(ddsfixture::Build(cube), D3DXERR_INVALIDDATA);
}

TEST(GfxUtilImageInfoTest, EveryCutOfAFileIsRefused) {
    Spec cube = Make(D3DFMT_DXT5, 8, 8, 4);
    cube.cube = true;
    Spec volume = Make(D3DFMT_R5G6B5, 4, 4, 3);
    volume.volume = true;
    volume.depth = 4;
    const Spec specs[] = {Make(D3DFMT_DXT1, 8, 8, 4), Make(D3DFMT_A8R8G8B8, 4, 2, 3), Make(D3DFMT_P8, 2, 2),
                          cube, volume};
    for (const Spec& s : specs) {
        SCOPED_TRACE(FormatName(s.format));
        const std::vector<std::uint8_t> file = ddsfixture::Build(s);
        InfoOf(file);
        for (std::size_t n = 1; n < file.size(); ++n) {
            // Each cut in its own allocation, so a read past it is caught.
            std::vector<std::uint8_t> cut(file.begin(), file.begin() + static_cast<std::ptrdiff_t>(n));
            D3DXIMAGE_INFO info;
            ASSERT_EQ(D3DXGetImageInfoFromFileInMemory(cut.data(), static_cast<std::uint32_t>(n), &info),
                      D3DXERR_INVALIDDATA)
                << "cut at " << n;
        }
    }
}

class GfxUtilImageTest : public gfxtest::BackendTest {
protected:
    // Each level of the texture holds the file's bytes row for row.
    void ExpectLevels(IDirect3DTexture9* texture, const Spec& s, const std::vector<std::uint8_t>& file) {
        ASSERT_NE(texture, nullptr);
        EXPECT_EQ(texture->GetLevelCount(), s.levels);
        EXPECT_EQ(texture->Pool(), D3DPOOL_MANAGED);
        EXPECT_EQ(texture->Format(), s.format);
        for (std::uint32_t level = 0; level < s.levels; ++level) {
            SCOPED_TRACE(testing::Message() << "level " << level);
            D3DSURFACE_DESC desc;
            ASSERT_EQ(texture->GetLevelDesc(level, &desc), D3D_OK);
            EXPECT_EQ(desc.Width, std::max(s.width >> level, 1u));
            EXPECT_EQ(desc.Height, std::max(s.height >> level, 1u));
            ExpectSurface(texture->Level(level), file.data() + ddsfixture::LevelOffset(s, 0, level), s.format);
        }
    }

    void ExpectSurface(IDirect3DSurface9* surface, const std::uint8_t* expected, D3DFORMAT format) {
        D3DLOCKED_RECT locked{};
        ASSERT_EQ(surface->LockRect(&locked, nullptr, D3DLOCK_READONLY), D3D_OK);
        const std::uint32_t rowBytes = FormatPitch(format, surface->Width());
        const std::uint32_t rows = FormatRows(format, surface->Height());
        for (std::uint32_t row = 0; row < rows; ++row)
            ASSERT_EQ(std::memcmp(static_cast<std::uint8_t*>(locked.pBits) + std::size_t(row) * locked.Pitch,
                                  expected + std::size_t(row) * rowBytes, rowBytes),
                      0)
                << "row " << row;
        surface->UnlockRect();
    }
};

TEST_P(GfxUtilImageTest, TexturesHoldEachLevelByteForByte) {
    Create();
    const Spec specs[] = {
        Make(D3DFMT_DXT1, 16, 8, 5), Make(D3DFMT_DXT3, 8, 8, 4),      Make(D3DFMT_DXT5, 4, 16, 5),
        Make(D3DFMT_DXT1, 2, 2),     Make(D3DFMT_R5G6B5, 8, 4, 4),    Make(D3DFMT_X1R5G5B5, 4, 4),
        Make(D3DFMT_A1R5G5B5, 2, 8, 2), Make(D3DFMT_A4R4G4B4, 4, 4, 3), Make(D3DFMT_A8R8G8B8, 32, 16, 6),
        Make(D3DFMT_X8R8G8B8, 5, 3, 3),
    };
    for (const Spec& s : specs) {
        SCOPED_TRACE(testing::Message() << FormatName(s.format) << " " << s.width << "x" << s.height);
        const std::vector<std::uint8_t> file = ddsfixture::Build(s);
        IDirect3DTexture9* texture = nullptr;
        ASSERT_EQ(D3DXCreateTextureFromFileInMemory(device, file.data(), static_cast<std::uint32_t>(file.size()),
                                                    &texture),
                  D3D_OK);
        ExpectLevels(texture, s, file);
        EXPECT_EQ(texture->Release(), 0u);
    }
}

// The loader's levels start on memory that is not cleared (here: that of a
// texture just let go, full of 0xAB); the file's bytes must cover all of it.
TEST_P(GfxUtilImageTest, LevelsOnReusedMemoryHoldOnlyTheFile) {
    Create();
    const Spec specs[] = {Make(D3DFMT_A8R8G8B8, 256, 256, 2), Make(D3DFMT_DXT1, 512, 512, 2),
                          Make(D3DFMT_R5G6B5, 256, 256, 3)};
    for (const Spec& s : specs) {
        SCOPED_TRACE(FormatName(s.format));
        IDirect3DTexture9* dirty = nullptr;
        ASSERT_EQ(device->CreateTexture(s.width, s.height, s.levels, 0, s.format, D3DPOOL_MANAGED, &dirty, nullptr),
                  D3D_OK);
        for (std::uint32_t level = 0; level < s.levels; ++level) {
            D3DLOCKED_RECT locked{};
            ASSERT_EQ(dirty->LockRect(level, &locked, nullptr, 0), D3D_OK);
            std::memset(locked.pBits, 0xAB, FormatLevelSize(s.format, std::max(s.width >> level, 1u),
                                                             std::max(s.height >> level, 1u)));
            dirty->UnlockRect(level);
        }
        dirty->Release();
        ASSERT_GT(device->SpareSurfaceBytes(), 0u);
        const std::vector<std::uint8_t> file = ddsfixture::Build(s);
        IDirect3DTexture9* texture = nullptr;
        ASSERT_EQ(D3DXCreateTextureFromFileInMemory(device, file.data(), static_cast<std::uint32_t>(file.size()),
                                                    &texture),
                  D3D_OK);
        ExpectLevels(texture, s, file);
        EXPECT_EQ(texture->Release(), 0u);
    }
}

TEST_P(GfxUtilImageTest, CubeFilesMakeCubeTexturesFaceByFace) {
    Create();
    Spec s = Make(D3DFMT_DXT1, 8, 8, 4);
    s.cube = true;
    const std::vector<std::uint8_t> file = ddsfixture::Build(s);
    const auto size = static_cast<std::uint32_t>(file.size());

    IDirect3DTexture9* plain = nullptr;
    EXPECT_EQ(D3DXCreateTextureFromFileInMemory(device, file.data(), size, &plain), D3DERR_INVALIDCALL);
    EXPECT_EQ(plain, nullptr);

    IDirect3DCubeTexture9* cube = nullptr;
    ASSERT_EQ(D3DXCreateCubeTextureFromFileInMemory(device, file.data(), size, &cube), D3D_OK);
    EXPECT_EQ(cube->GetLevelCount(), 4u);
    EXPECT_EQ(cube->Pool(), D3DPOOL_MANAGED);
    for (std::uint32_t face = 0; face < 6; ++face)
        for (std::uint32_t level = 0; level < 4; ++level) {
            SCOPED_TRACE(testing::Message() << "face " << face << " level " << level);
            ExpectSurface(cube->Face(face, level), file.data() + ddsfixture::LevelOffset(s, face, level), s.format);
        }
    EXPECT_EQ(cube->Release(), 0u);

    // A plain file is no cube.
    const std::vector<std::uint8_t> flat = ddsfixture::Build(Make(D3DFMT_DXT1, 8, 8));
    EXPECT_EQ(D3DXCreateCubeTextureFromFileInMemory(device, flat.data(), static_cast<std::uint32_t>(flat.size()),
                                                    &cube),
              D3DERR_INVALIDCALL);
    EXPECT_EQ(cube, nullptr);
}

TEST_P(GfxUtilImageTest, FormatsTheDeviceLacksVolumesAndOtherFilesFail) {
    Create();
    Spec volume = Make(D3DFMT_A8R8G8B8, 4, 4, 1);
    volume.volume = true;
    volume.depth = 4;
    const std::vector<std::vector<std::uint8_t>> files = {
        ddsfixture::Build(Make(D3DFMT_R8G8B8, 4, 4)), ddsfixture::Build(Make(D3DFMT_P8, 4, 4)),
        ddsfixture::Build(Make(D3DFMT_Q8W8V8U8, 4, 4)), ddsfixture::Build(Make(D3DFMT_L8, 4, 4)),
        ddsfixture::Build(volume),                    BmpBytes(),
        TgaBytes(),
    };
    for (std::size_t i = 0; i < files.size(); ++i) {
        SCOPED_TRACE(testing::Message() << "file " << i);
        IDirect3DTexture9* texture = nullptr;
        EXPECT_TRUE(FAILED(D3DXCreateTextureFromFileInMemory(device, files[i].data(),
                                                             static_cast<std::uint32_t>(files[i].size()), &texture)));
        EXPECT_EQ(texture, nullptr);
    }
    EXPECT_EQ(device->LiveDefaultPoolResources(), 0u);
    IDirect3DTexture9* texture = nullptr;
    EXPECT_EQ(D3DXCreateTextureFromFileInMemory(nullptr, files[0].data(), 10, &texture), D3DERR_INVALIDCALL);
}

// A volume file: every slice of every level where its level's box says,
// for the 32-bit, block and bump formats alike.
TEST_P(GfxUtilImageTest, VolumeFilesFillEveryLevelSliceBySlice) {
    Create();
    for (const D3DFORMAT format : {D3DFMT_A8R8G8B8, D3DFMT_DXT1, D3DFMT_DXT5, D3DFMT_V8U8}) {
        SCOPED_TRACE(FormatName(format));
        Spec s = Make(format, 8, 4, 3);
        s.volume = true;
        s.depth = 4;
        const std::vector<std::uint8_t> file = ddsfixture::Build(s);
        IDirect3DVolumeTexture9* volume = nullptr;
        ASSERT_EQ(D3DXCreateVolumeTextureFromFileInMemory(device, file.data(), static_cast<std::uint32_t>(file.size()),
                                                          &volume),
                  D3D_OK);
        ASSERT_EQ(volume->GetLevelCount(), 3u);
        EXPECT_EQ(volume->Format(), format);
        EXPECT_EQ(volume->Pool(), D3DPOOL_MANAGED);
        std::size_t at = 128;
        for (std::uint32_t level = 0; level < 3; ++level) {
            D3DVOLUME_DESC desc;
            ASSERT_EQ(volume->GetLevelDesc(level, &desc), D3D_OK);
            EXPECT_EQ(desc.Width, 8u >> level);
            EXPECT_EQ(desc.Height, std::max(4u >> level, 1u));
            EXPECT_EQ(desc.Depth, std::max(4u >> level, 1u));
            D3DLOCKED_BOX box;
            ASSERT_EQ(volume->LockBox(level, &box, nullptr, D3DLOCK_READONLY), D3D_OK);
            const std::size_t slice = FormatLevelSize(format, desc.Width, desc.Height);
            for (std::uint32_t z = 0; z < desc.Depth; ++z, at += slice)
                EXPECT_EQ(std::memcmp(static_cast<const std::uint8_t*>(box.pBits) + z * box.SlicePitch, file.data() + at,
                                      slice),
                          0)
                    << "level " << level << " slice " << z;
            volume->UnlockBox(level);
        }
        EXPECT_EQ(at, file.size());
        EXPECT_EQ(volume->Release(), 0u);
    }
    // Plain and cube files are no volumes; a format the device lacks makes none.
    const std::vector<std::uint8_t> flat = ddsfixture::Build(Make(D3DFMT_A8R8G8B8, 4, 4));
    IDirect3DVolumeTexture9* volume = nullptr;
    EXPECT_EQ(D3DXCreateVolumeTextureFromFileInMemory(device, flat.data(), static_cast<std::uint32_t>(flat.size()), &volume),
              D3DERR_INVALIDCALL);
    Spec l8 = Make(D3DFMT_L8, 4, 4);
    l8.volume = true;
    l8.depth = 2;
    const std::vector<std::uint8_t> lacking = ddsfixture::Build(l8);
    EXPECT_EQ(D3DXCreateVolumeTextureFromFileInMemory(device, lacking.data(), static_cast<std::uint32_t>(lacking.size()),
                                                      &volume),
              D3DERR_INVALIDCALL);
    EXPECT_EQ(volume, nullptr);
    EXPECT_EQ(device->LiveResources(), 0u);
}

TEST_P(GfxUtilImageTest, CutFilesMakeNoTexture) {
    Create();
    const std::vector<std::uint8_t> file = ddsfixture::Build(Make(D3DFMT_DXT3, 8, 4, 4));
    for (std::size_t n = 1; n < file.size(); n += 3) {
        std::vector<std::uint8_t> cut(file.begin(), file.begin() + static_cast<std::ptrdiff_t>(n));
        IDirect3DTexture9* texture = nullptr;
        ASSERT_EQ(D3DXCreateTextureFromFileInMemory(device, cut.data(), static_cast<std::uint32_t>(n), &texture),
                  D3DXERR_INVALIDDATA)
            << "cut at " << n;
        ASSERT_EQ(texture, nullptr);
    }
}

GFX_BOTH_BACKENDS(GfxUtilImageTest);
