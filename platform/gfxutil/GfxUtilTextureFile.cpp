#include "platform/gfxutil/GfxUtilTextureFile.h"

#include "platform/os/OsFiles.h"

#include <png.h>
#include <jpeglib.h>

#include <algorithm>
#include <csetjmp>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>

namespace gfx {
namespace {

bool ReadFile(const char* path, std::vector<std::uint8_t>& out) {
    std::unique_ptr<std::FILE, int (*)(std::FILE*)> file(os::OpenFile(path, "rb"), &std::fclose);
    if (!file) return false;
    std::uint8_t chunk[65536];
    std::size_t got = 0;
    while ((got = std::fread(chunk, 1, sizeof(chunk), file.get())) > 0) {
        out.insert(out.end(), chunk, chunk + got);
        if (out.size() > (std::size_t(1) << 30)) return false;
    }
    return std::ferror(file.get()) == 0;
}

bool SizeAllowed(std::uint32_t w, std::uint32_t h) {
    return w && h && w <= D3DX_MAX_IMAGE_SIDE && h <= D3DX_MAX_IMAGE_SIDE &&
           std::uint64_t(w) * h <= D3DX_MAX_IMAGE_PIXELS;
}

// ---- PNG ---------------------------------------------------------------------

struct PngSource {
    const std::uint8_t* data;
    std::size_t size, at;
};

void PngRead(png_structp png, png_bytep out, png_size_t n) {
    auto* src = static_cast<PngSource*>(png_get_io_ptr(png));
    if (n > src->size - src->at) png_error(png, "file cut short");
    std::memcpy(out, src->data + src->at, n);
    src->at += n;
}

void PngWarning(png_structp, png_const_charp) {}
// Quietly back to the decoder's setjmp: a damaged file is a result, not a message.
[[noreturn]] void PngError(png_structp png, png_const_charp) { png_longjmp(png, 1); }

// No object with a destructor lives across the jump: the caller owns the
// pixel buffer, sized before any row is read.
bool DecodePng(const std::uint8_t* data, std::size_t size, std::uint32_t& width, std::uint32_t& height,
               std::vector<std::uint8_t>& rgba) {
    png_structp png = png_create_read_struct(PNG_LIBPNG_VER_STRING, nullptr, PngError, PngWarning);
    if (!png) return false;
    png_infop info = png_create_info_struct(png);
    if (!info) {
        png_destroy_read_struct(&png, nullptr, nullptr);
        return false;
    }
    PngSource source{data, size, 0};
    std::vector<png_bytep>* rows = new std::vector<png_bytep>();
    volatile bool ok = false;
    if (setjmp(png_jmpbuf(png)) == 0) {
        png_set_read_fn(png, &source, PngRead);
        png_set_user_limits(png, D3DX_MAX_IMAGE_SIDE, D3DX_MAX_IMAGE_SIDE);
        png_set_chunk_malloc_max(png, 64u << 20);
        png_read_info(png, info);
        const png_uint_32 w = png_get_image_width(png, info), h = png_get_image_height(png, info);
        if (SizeAllowed(w, h)) {
            png_set_expand(png);
            png_set_strip_16(png);
            png_set_gray_to_rgb(png);
            png_set_add_alpha(png, 0xFF, PNG_FILLER_AFTER);
            png_set_interlace_handling(png);
            png_read_update_info(png, info);
            if (png_get_rowbytes(png, info) == std::size_t(w) * 4) {
                rgba.assign(std::size_t(w) * h * 4, 0);
                rows->resize(h);
                for (png_uint_32 y = 0; y < h; ++y) (*rows)[y] = rgba.data() + std::size_t(y) * w * 4;
                png_read_image(png, rows->data());
                png_read_end(png, nullptr);
                width = w;
                height = h;
                ok = true;
            }
        }
    }
    delete rows;
    png_destroy_read_struct(&png, &info, nullptr);
    return ok;
}

// ---- JPEG ----------------------------------------------------------------------

struct JpegError {
    jpeg_error_mgr manager;
    std::jmp_buf jump;
};

void JpegFail(j_common_ptr info) { std::longjmp(reinterpret_cast<JpegError*>(info->err)->jump, 1); }
void JpegMessage(j_common_ptr) {}

bool DecodeJpeg(const std::uint8_t* data, std::size_t size, std::uint32_t& width, std::uint32_t& height,
                std::vector<std::uint8_t>& rgba) {
    jpeg_decompress_struct info{};
    JpegError error{};
    info.err = jpeg_std_error(&error.manager);
    error.manager.error_exit = JpegFail;
    error.manager.output_message = JpegMessage;
    std::vector<std::uint8_t>* line = new std::vector<std::uint8_t>();
    volatile bool ok = false;
    if (setjmp(error.jump) == 0) {
        jpeg_create_decompress(&info);
        jpeg_mem_src(&info, data, static_cast<unsigned long>(size));
        if (jpeg_read_header(&info, TRUE) == JPEG_HEADER_OK && SizeAllowed(info.image_width, info.image_height)) {
            info.out_color_space = JCS_RGB;
            jpeg_start_decompress(&info);
            const std::uint32_t w = info.output_width, h = info.output_height;
            if (info.output_components == 3 && SizeAllowed(w, h)) {
                rgba.assign(std::size_t(w) * h * 4, 0xFF);
                line->resize(std::size_t(w) * 3);
                while (info.output_scanline < h) {
                    const std::uint32_t y = info.output_scanline;
                    JSAMPROW row = line->data();
                    if (jpeg_read_scanlines(&info, &row, 1) != 1) break;
                    std::uint8_t* out = rgba.data() + std::size_t(y) * w * 4;
                    for (std::uint32_t x = 0; x < w; ++x) {
                        out[x * 4 + 0] = (*line)[x * 3 + 0];
                        out[x * 4 + 1] = (*line)[x * 3 + 1];
                        out[x * 4 + 2] = (*line)[x * 3 + 2];
                    }
                }
                // A cut or damaged stream only warns (and pads): refused here.
                if (info.output_scanline == h && error.manager.num_warnings == 0) {
                    jpeg_finish_decompress(&info);
                    ok = error.manager.num_warnings == 0;
                    width = w;
                    height = h;
                }
            }
        }
    }
    delete line;
    jpeg_destroy_decompress(&info);
    return ok;
}

// The next level of B, G, R, A rows: each texel the mean of up to 2 x 2.
std::vector<std::uint8_t> HalveLevel(const std::vector<std::uint8_t>& src, std::uint32_t w, std::uint32_t h) {
    const std::uint32_t nw = std::max(1u, w / 2), nh = std::max(1u, h / 2);
    std::vector<std::uint8_t> out(std::size_t(nw) * nh * 4);
    for (std::uint32_t y = 0; y < nh; ++y)
        for (std::uint32_t x = 0; x < nw; ++x) {
            const std::uint32_t x0 = std::min(x * 2, w - 1), x1 = std::min(x * 2 + 1, w - 1);
            const std::uint32_t y0 = std::min(y * 2, h - 1), y1 = std::min(y * 2 + 1, h - 1);
            for (std::uint32_t c = 0; c < 4; ++c) {
                const unsigned sum = src[(std::size_t(y0) * w + x0) * 4 + c] + src[(std::size_t(y0) * w + x1) * 4 + c] +
                                     src[(std::size_t(y1) * w + x0) * 4 + c] + src[(std::size_t(y1) * w + x1) * 4 + c];
                out[(std::size_t(y) * nw + x) * 4 + c] = static_cast<std::uint8_t>((sum + 2) / 4);
            }
        }
    return out;
}

std::uint32_t FullChain(std::uint32_t w, std::uint32_t h) {
    std::uint32_t levels = 1;
    while (w > 1 || h > 1) {
        w = std::max(1u, w / 2);
        h = std::max(1u, h / 2);
        ++levels;
    }
    return levels;
}

bool IsDds(const std::vector<std::uint8_t>& bytes) {
    return bytes.size() >= 4 && std::memcmp(bytes.data(), "DDS ", 4) == 0;
}

std::uint32_t Word(const std::vector<std::uint8_t>& bytes, std::size_t at) {
    return std::uint32_t(bytes[at]) | std::uint32_t(bytes[at + 1]) << 8 | std::uint32_t(bytes[at + 2]) << 16 |
           std::uint32_t(bytes[at + 3]) << 24;
}

} // namespace

bool DecodeImageFile(const void* data, std::uint32_t size, std::uint32_t& width, std::uint32_t& height,
                     std::vector<std::uint8_t>& bgra, std::uint32_t& fileFormat) {
    const auto* bytes = static_cast<const std::uint8_t*>(data);
    if (!bytes) return false;
    static const std::uint8_t kPng[8] = {0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A};
    bool ok = false;
    if (size >= 8 && std::memcmp(bytes, kPng, 8) == 0) {
        ok = DecodePng(bytes, size, width, height, bgra);
        fileFormat = D3DXIFF_PNG;
    } else if (size >= 3 && bytes[0] == 0xFF && bytes[1] == 0xD8 && bytes[2] == 0xFF) {
        ok = DecodeJpeg(bytes, size, width, height, bgra);
        fileFormat = D3DXIFF_JPG;
    }
    if (!ok) {
        bgra.clear();
        return false;
    }
    for (std::size_t i = 0; i + 3 < bgra.size(); i += 4) std::swap(bgra[i], bgra[i + 2]); // RGBA -> BGRA
    return true;
}

HRESULT D3DXCreateTextureFromFileExA(IDirect3DDevice9* device, const char* path, std::uint32_t, std::uint32_t,
                                     std::uint32_t mipLevels, std::uint32_t usage, D3DFORMAT format,
                                     std::uint32_t pool, std::uint32_t, std::uint32_t, D3DCOLOR,
                                     D3DXIMAGE_INFO* info, void*, IDirect3DTexture9** texture) {
    if (texture) *texture = nullptr;
    if (!device || !path || !texture) return D3DERR_INVALIDCALL;
    std::vector<std::uint8_t> bytes;
    if (!ReadFile(path, bytes)) return D3DERR_NOTFOUND;
    if (bytes.size() > 0xFFFFFFFFu) return D3DXERR_INVALIDDATA;
    const auto size = static_cast<std::uint32_t>(bytes.size());
    if (IsDds(bytes)) {
        if (info && FAILED(D3DXGetImageInfoFromFileInMemory(bytes.data(), size, info))) return D3DXERR_INVALIDDATA;
        return D3DXCreateTextureFromFileInMemory(device, bytes.data(), size, texture);
    }
    std::uint32_t w = 0, h = 0, kind = 0;
    std::vector<std::uint8_t> pixels;
    if (!DecodeImageFile(bytes.data(), size, w, h, pixels, kind)) return D3DXERR_INVALIDDATA;
    if (format != D3DFMT_UNKNOWN && format != D3DFMT_A8R8G8B8) return D3DERR_INVALIDCALL;
    const std::uint32_t chain = FullChain(w, h);
    const std::uint32_t levels = (mipLevels == 0 || mipLevels == D3DX_DEFAULT) ? chain : std::min(mipLevels, chain);
    IDirect3DTexture9* made = nullptr;
    HRESULT hr = device->CreateTexture(w, h, levels, usage, D3DFMT_A8R8G8B8, pool, &made, nullptr);
    if (FAILED(hr)) return hr;
    std::uint32_t lw = w, lh = h;
    for (std::uint32_t level = 0; level < levels; ++level) {
        if (level > 0) {
            pixels = HalveLevel(pixels, lw, lh);
            lw = std::max(1u, lw / 2);
            lh = std::max(1u, lh / 2);
        }
        D3DLOCKED_RECT locked;
        hr = made->LockRect(level, &locked, nullptr, 0);
        if (FAILED(hr)) {
            made->Release();
            return hr;
        }
        for (std::uint32_t y = 0; y < lh; ++y)
            std::memcpy(static_cast<std::uint8_t*>(locked.pBits) + std::size_t(y) * std::size_t(locked.Pitch),
                        pixels.data() + std::size_t(y) * lw * 4, std::size_t(lw) * 4);
        made->UnlockRect(level);
    }
    if (info) {
        *info = D3DXIMAGE_INFO{};
        info->Width = w;
        info->Height = h;
        info->Depth = 1;
        info->MipLevels = 1;
        info->Format = kind == D3DXIFF_JPG ? D3DFMT_X8R8G8B8 : D3DFMT_A8R8G8B8;
        info->ResourceType = D3DRTYPE_TEXTURE;
        info->ImageFileFormat = kind;
    }
    *texture = made;
    return D3D_OK;
}

namespace {
// A cube or volume file: only DDS holds those. Its bytes, and its description
// when asked for.
HRESULT ReadDdsFile(const char* path, D3DXIMAGE_INFO* info, std::vector<std::uint8_t>& bytes) {
    if (!ReadFile(path, bytes)) return D3DERR_NOTFOUND;
    if (!IsDds(bytes) || bytes.size() > 0xFFFFFFFFu) return D3DXERR_INVALIDDATA;
    const auto size = static_cast<std::uint32_t>(bytes.size());
    if (info && FAILED(D3DXGetImageInfoFromFileInMemory(bytes.data(), size, info))) return D3DXERR_INVALIDDATA;
    return D3D_OK;
}
} // namespace

HRESULT D3DXCreateCubeTextureFromFileExA(IDirect3DDevice9* device, const char* path, std::uint32_t, std::uint32_t,
                                         std::uint32_t, D3DFORMAT, std::uint32_t, std::uint32_t, std::uint32_t,
                                         D3DCOLOR, D3DXIMAGE_INFO* info, void*, IDirect3DCubeTexture9** texture) {
    if (texture) *texture = nullptr;
    if (!device || !path || !texture) return D3DERR_INVALIDCALL;
    std::vector<std::uint8_t> bytes;
    if (const HRESULT hr = ReadDdsFile(path, info, bytes); FAILED(hr)) return hr;
    return D3DXCreateCubeTextureFromFileInMemory(device, bytes.data(), std::uint32_t(bytes.size()), texture);
}

HRESULT D3DXCreateVolumeTextureFromFileExA(IDirect3DDevice9* device, const char* path, std::uint32_t, std::uint32_t,
                                           std::uint32_t, std::uint32_t mipLevels, std::uint32_t, D3DFORMAT,
                                           std::uint32_t, std::uint32_t, std::uint32_t, D3DCOLOR, D3DXIMAGE_INFO* info,
                                           void*, IDirect3DVolumeTexture9** texture) {
    if (texture) *texture = nullptr;
    if (!device || !path || !texture) return D3DERR_INVALIDCALL;
    std::vector<std::uint8_t> bytes;
    if (const HRESULT hr = ReadDdsFile(path, info, bytes); FAILED(hr)) return hr;
    // A volume file stores its levels one after the other (each with all its
    // slices), so the first n of them are the file with a smaller count in
    // its header.
    constexpr std::uint32_t kMipMapCountFlag = 0x20000;
    if (mipLevels != 0 && mipLevels != D3DX_DEFAULT && bytes.size() >= 32 && (Word(bytes, 8) & kMipMapCountFlag) != 0 &&
        Word(bytes, 28) > mipLevels)
        for (int i = 0; i < 4; ++i) bytes[28 + i] = static_cast<std::uint8_t>(mipLevels >> (8 * i));
    return D3DXCreateVolumeTextureFromFileInMemory(device, bytes.data(), std::uint32_t(bytes.size()), texture);
}

} // namespace gfx
