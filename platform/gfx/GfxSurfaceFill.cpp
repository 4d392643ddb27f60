// Clears of the memory surfaces the back ends share: every pixel of a frame's
// target and depth buffer each frame, so this file is compiled optimised in
// every configuration (a build without optimisation pays a call per pixel).
#include "platform/gfx/GfxBackendLocal.h"
#include "platform/gfx/GfxFormat.h"

#include <algorithm>
#include <cstring>
#include <vector>

namespace gfx {
namespace {
RECT Intersect(const RECT& a, const RECT& b) {
    return {std::max(a.left, b.left), std::max(a.top, b.top), std::min(a.right, b.right), std::min(a.bottom, b.bottom)};
}
} // namespace

void FillColorRects(IDirect3DSurface9& surface, const std::vector<RECT>& rects, D3DCOLOR color) {
    std::uint8_t pixel[4] = {};
    const std::uint32_t bytes = PackColor(surface.Format(), color, pixel);
    if (bytes == 0) return;
    for (const RECT& r : rects) {
        const RECT c = Intersect(r, RECT{0, 0, std::int32_t(surface.Width()), std::int32_t(surface.Height())});
        if (c.left >= c.right || c.top >= c.bottom) continue;
        // The first row's span by doubling copies, the other rows copied from it.
        const std::size_t span = std::size_t(c.right - c.left) * bytes;
        std::uint8_t* first = surface.Bytes() + std::size_t(c.top) * surface.Pitch() + std::size_t(c.left) * bytes;
        std::memcpy(first, pixel, bytes);
        for (std::size_t filled = bytes; filled < span;) {
            const std::size_t n = std::min(filled, span - filled);
            std::memcpy(first + filled, first, n);
            filled += n;
        }
        const std::size_t pitch = surface.Pitch();
        for (std::int32_t y = c.top + 1; y < c.bottom; ++y)
            std::memcpy(first + std::size_t(y - c.top) * pitch, first, span);
    }
}

namespace {
// Every pixel of the rectangles becomes (pixel & keep) | set, on pixels of
// type T. The surface is read and written only by the copies, whose ranges
// the address checks still see; the masking between them works on the
// function's own row and is left unchecked, so that it stays a vector loop
// in the sanitized builds.
template <typename T>
__attribute__((no_sanitize("address", "undefined"))) void MaskRects(IDirect3DSurface9& surface,
                                                                   const std::vector<RECT>& rects, T keep, T set) {
    for (const RECT& r : rects) {
        const RECT c = Intersect(r, RECT{0, 0, std::int32_t(surface.Width()), std::int32_t(surface.Height())});
        if (c.right <= c.left) continue;
        // A row at a time through a typed copy: a frame's clear touches every
        // pixel, and a call per pixel is what a build without optimisation
        // (and the sanitizers' checked copies) would pay.
        const std::size_t width = std::size_t(c.right - c.left);
        std::vector<T> line(width, set);
        std::uint8_t* const bytes = surface.Bytes();
        const std::size_t pitch = surface.Pitch();
        for (std::int32_t y = c.top; y < c.bottom; ++y) {
            std::uint8_t* row = bytes + std::size_t(y) * pitch + std::size_t(c.left) * sizeof(T);
            if (keep != 0) {
                // Some bits of each pixel stay (depth or stencil cleared alone).
                std::memcpy(line.data(), row, width * sizeof(T));
                T* pixel = line.data();
                for (std::size_t x = 0; x < width; ++x) pixel[x] = static_cast<T>((pixel[x] & keep) | set);
            }
            std::memcpy(row, line.data(), width * sizeof(T));
        }
    }
}
} // namespace

void FillDepthRects(IDirect3DSurface9& surface, const std::vector<RECT>& rects, std::uint32_t flags, float z,
                    std::uint32_t stencil) {
    const std::uint32_t bytes = FormatBitsPerPixel(surface.Format()) / 8;
    const bool depth = (flags & D3DCLEAR_ZBUFFER) != 0;
    const bool stencils = (flags & D3DCLEAR_STENCIL) != 0;
    if (bytes == 2 || bytes == 4) {
        // The packing only sets or keeps bits: packed once over all-zero and
        // all-one pixels it tells which, and a whole frame's clear is then a
        // mask per pixel instead of a conversion per pixel.
        std::uint8_t zeros[4] = {};
        std::uint8_t ones[4] = {0xFF, 0xFF, 0xFF, 0xFF};
        PackDepthStencil(surface.Format(), z, stencil, depth, stencils, zeros);
        PackDepthStencil(surface.Format(), z, stencil, depth, stencils, ones);
        std::uint32_t set = 0;
        std::uint32_t high = 0;
        std::memcpy(&set, zeros, 4);
        std::memcpy(&high, ones, 4);
        const std::uint32_t keep = high & ~set;
        if (bytes == 2)
            MaskRects<std::uint16_t>(surface, rects, static_cast<std::uint16_t>(keep), static_cast<std::uint16_t>(set));
        else
            MaskRects<std::uint32_t>(surface, rects, keep, set);
        return;
    }
    for (const RECT& r : rects) {
        const RECT c = Intersect(r, RECT{0, 0, std::int32_t(surface.Width()), std::int32_t(surface.Height())});
        for (std::int32_t y = c.top; y < c.bottom; ++y) {
            std::uint8_t* row = surface.Bytes() + std::size_t(y) * surface.Pitch();
            for (std::int32_t x = c.left; x < c.right; ++x)
                PackDepthStencil(surface.Format(), z, stencil, depth, stencils, row + std::size_t(x) * bytes);
        }
    }
}

} // namespace gfx
