#pragma once
// Hand-built DirectDraw Surface files for tests, fuzz seeds and benchmarks:
// a header as the format lays it out, then every level of every face filled
// with a known byte pattern.

#include "platform/gfx/GfxFormat.h"
#include "platform/gfx/GfxTypes.h"

#include <algorithm>
#include <cstdint>
#include <vector>

namespace ddsfixture {

struct Spec {
    std::uint32_t width = 4;
    std::uint32_t height = 4;
    std::uint32_t levels = 1;
    std::uint32_t depth = 1;
    gfx::D3DFORMAT format = gfx::D3DFMT_A8R8G8B8;
    bool cube = false;
    bool volume = false;
};

inline void Put(std::vector<std::uint8_t>& bytes, std::uint32_t offset, std::uint32_t value) {
    for (int i = 0; i < 4; ++i) bytes[offset + i] = static_cast<std::uint8_t>(value >> (8 * i));
}

// Pixel-format flags and masks of the formats the fixtures use.
inline void PutPixelFormat(std::vector<std::uint8_t>& b, gfx::D3DFORMAT format) {
    Put(b, 76, 32);
    struct Rgb { gfx::D3DFORMAT f; std::uint32_t flags, bits, r, g, bl, a; };
    static constexpr Rgb RGB[] = {
        {gfx::D3DFMT_A8R8G8B8, 0x41, 32, 0xFF0000, 0xFF00, 0xFF, 0xFF000000},
        {gfx::D3DFMT_X8R8G8B8, 0x40, 32, 0xFF0000, 0xFF00, 0xFF, 0},
        {gfx::D3DFMT_R8G8B8, 0x40, 24, 0xFF0000, 0xFF00, 0xFF, 0},
        {gfx::D3DFMT_R5G6B5, 0x40, 16, 0xF800, 0x7E0, 0x1F, 0},
        {gfx::D3DFMT_X1R5G5B5, 0x40, 16, 0x7C00, 0x3E0, 0x1F, 0},
        {gfx::D3DFMT_A1R5G5B5, 0x41, 16, 0x7C00, 0x3E0, 0x1F, 0x8000},
        {gfx::D3DFMT_A4R4G4B4, 0x41, 16, 0xF00, 0xF0, 0xF, 0xF000},
        {gfx::D3DFMT_P8, 0x20, 8, 0, 0, 0, 0},
        {gfx::D3DFMT_V8U8, 0x80000, 16, 0xFF, 0xFF00, 0, 0},
        {gfx::D3DFMT_L8, 0x20000, 8, 0xFF, 0, 0, 0},
    };
    for (const Rgb& r : RGB) {
        if (r.f != format) continue;
        Put(b, 80, r.flags);
        Put(b, 88, r.bits);
        Put(b, 92, r.r);
        Put(b, 96, r.g);
        Put(b, 100, r.bl);
        Put(b, 104, r.a);
        return;
    }
    Put(b, 80, 0x4); // four-character code (DXTn, or a format's number)
    Put(b, 84, format);
}

// Bytes of one level as the file stores it (tightly packed rows).
inline std::size_t LevelBytes(gfx::D3DFORMAT format, std::uint32_t w, std::uint32_t h) {
    return gfx::FormatLevelSize(format, w, h);
}

// The pattern byte at an offset of the pixel data: differs from level to
// level and face to face, so a misplaced copy shows.
inline std::uint8_t Pattern(std::size_t offset) { return static_cast<std::uint8_t>((offset * 7 + offset / 251 + 3) & 0xFF); }

inline std::vector<std::uint8_t> Build(const Spec& s) {
    std::vector<std::uint8_t> b(128, 0);
    Put(b, 0, 0x20534444);
    Put(b, 4, 124);
    std::uint32_t flags = 0x1007 | 0x20000;
    if (s.volume) flags |= 0x800000;
    Put(b, 8, flags);
    Put(b, 12, s.height);
    Put(b, 16, s.width);
    Put(b, 24, s.volume ? s.depth : 0);
    Put(b, 28, s.levels);
    PutPixelFormat(b, s.format);
    Put(b, 108, 0x1000 | (s.levels > 1 ? 0x400008 : 0));
    Put(b, 112, s.cube ? 0xFE00 : s.volume ? 0x200000 : 0);
    if (s.format == gfx::D3DFMT_P8)
        for (int i = 0; i < 1024; ++i) b.push_back(0x40);
    const std::size_t start = b.size();
    const std::uint32_t faces = s.cube ? 6 : 1;
    for (std::uint32_t face = 0; face < faces; ++face)
        for (std::uint32_t level = 0; level < s.levels; ++level) {
            const std::uint32_t w = std::max(s.width >> level, 1u), h = std::max(s.height >> level, 1u);
            const std::uint32_t d = s.volume ? std::max(s.depth >> level, 1u) : 1u;
            const std::size_t n = LevelBytes(s.format, w, h) * d;
            for (std::size_t i = 0; i < n; ++i) b.push_back(Pattern(b.size() - start));
        }
    return b;
}

// Where a level of a face starts in a file made by Build.
inline std::size_t LevelOffset(const Spec& s, std::uint32_t face, std::uint32_t level) {
    std::size_t at = 128 + (s.format == gfx::D3DFMT_P8 ? 1024 : 0);
    for (std::uint32_t f = 0; f <= face; ++f)
        for (std::uint32_t l = 0; l < s.levels; ++l) {
            if (f == face && l == level) return at;
            at += LevelBytes(s.format, std::max(s.width >> l, 1u), std::max(s.height >> l, 1u));
        }
    return at;
}

} // namespace ddsfixture
