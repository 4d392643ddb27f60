#include "platform/gfx/GfxBackendLocal.h"

#include "platform/gfx/GfxFormat.h"

#include <algorithm>

// Where each element of a vertex sits: from an FVF code or a declaration.
namespace gfx {

int DeclTypeComponents(std::uint32_t type) {
    static constexpr int kComponents[17] = {1, 2, 3, 4, 4, 4, 2, 4, 4, 2, 4, 2, 4, 3, 3, 2, 4};
    return type < 17 ? kComponents[type] : 0;
}

namespace {
void AddElement(VertexLayout& l, std::uint32_t stream, std::uint32_t offset, std::uint32_t type, std::uint32_t usage,
                std::uint32_t index) {
    if (l.elementCount >= l.elements.size() || stream >= 16 || type >= D3DDECLTYPE_UNUSED) return;
    l.elements[l.elementCount++] = {std::uint8_t(stream), std::uint8_t(type), std::uint8_t(usage), std::uint8_t(index),
                                    std::uint16_t(offset)};
    l.streams |= std::uint16_t(1u << stream);
    l.extent[stream] = std::max(l.extent[stream], offset + kDeclTypeSize[type]);
}
} // namespace

VertexLayout LayoutFromFVF(std::uint32_t fvf) {
    VertexLayout l;
    std::uint32_t offset = 0;
    const std::uint32_t pos = fvf & D3DFVF_POSITION_MASK;
    switch (pos) {
    case D3DFVF_XYZ: l.position = 0; offset = 12; AddElement(l, 0, 0, D3DDECLTYPE_FLOAT3, D3DDECLUSAGE_POSITION, 0); break;
    case D3DFVF_XYZRHW:
        l.position = 0;
        l.pretransformed = true;
        offset = 16;
        AddElement(l, 0, 0, D3DDECLTYPE_FLOAT4, D3DDECLUSAGE_POSITIONT, 0);
        break;
    case D3DFVF_XYZW: l.position = 0; offset = 16; AddElement(l, 0, 0, D3DDECLTYPE_FLOAT4, D3DDECLUSAGE_POSITION, 0); break;
    case D3DFVF_XYZB1: case D3DFVF_XYZB2: case D3DFVF_XYZB3: case D3DFVF_XYZB4: case D3DFVF_XYZB5: {
        // Blend weights follow the position.
        l.position = 0;
        AddElement(l, 0, 0, D3DDECLTYPE_FLOAT3, D3DDECLUSAGE_POSITION, 0);
        const int betas = int((pos - D3DFVF_XYZRHW) / 2); // XYZB1 (6) one .. XYZB5 (0xE) five
        l.weightCount = betas;
        // A last beta holding matrix indices is no weight.
        const bool indices = (fvf & (D3DFVF_LASTBETA_UBYTE4 | D3DFVF_LASTBETA_D3DCOLOR)) != 0;
        if (indices) {
            --l.weightCount;
            l.blendIndices = 12 + 4 * l.weightCount;
            l.blendIndicesColor = (fvf & D3DFVF_LASTBETA_D3DCOLOR) != 0;
        }
        l.weights = 12;
        if (l.weightCount > 0 && l.weightCount <= 4)
            AddElement(l, 0, 12, D3DDECLTYPE_FLOAT1 + std::uint32_t(l.weightCount - 1), D3DDECLUSAGE_BLENDWEIGHT, 0);
        if (indices)
            AddElement(l, 0, 12 + 4 * std::uint32_t(l.weightCount),
                       (fvf & D3DFVF_LASTBETA_D3DCOLOR) ? D3DDECLTYPE_D3DCOLOR : D3DDECLTYPE_UBYTE4,
                       D3DDECLUSAGE_BLENDINDICES, 0);
        // Every beta takes its four bytes, the one holding indices too.
        offset = 12 + 4 * std::uint32_t(betas);
        break;
    }
    default: return l;
    }
    if (fvf & D3DFVF_NORMAL) {
        l.normal = int(offset);
        AddElement(l, 0, offset, D3DDECLTYPE_FLOAT3, D3DDECLUSAGE_NORMAL, 0);
        offset += 12;
    }
    if (fvf & D3DFVF_PSIZE) {
        AddElement(l, 0, offset, D3DDECLTYPE_FLOAT1, D3DDECLUSAGE_PSIZE, 0);
        offset += 4;
    }
    if (fvf & D3DFVF_DIFFUSE) {
        l.diffuse = int(offset);
        AddElement(l, 0, offset, D3DDECLTYPE_D3DCOLOR, D3DDECLUSAGE_COLOR, 0);
        offset += 4;
    }
    if (fvf & D3DFVF_SPECULAR) {
        l.specular = int(offset);
        AddElement(l, 0, offset, D3DDECLTYPE_D3DCOLOR, D3DDECLUSAGE_COLOR, 1);
        offset += 4;
    }
    const std::uint32_t sets = (fvf & D3DFVF_TEXCOUNT_MASK) >> D3DFVF_TEXCOUNT_SHIFT;
    if (sets > 8) return l;
    for (std::uint32_t i = 0; i < sets; ++i) {
        static constexpr int kSize[4] = {2, 3, 4, 1};
        const int n = kSize[(fvf >> (16 + 2 * i)) & 3];
        l.texcoord[i] = int(offset);
        l.texcoordSize[i] = n;
        AddElement(l, 0, offset, D3DDECLTYPE_FLOAT1 + std::uint32_t(n - 1), D3DDECLUSAGE_TEXCOORD, i);
        offset += 4 * std::uint32_t(n);
    }
    l.stride = offset;
    l.extent[0] = offset;
    l.valid = true;
    return l;
}

// The fixed-function fields name the elements the emulation reads, in
// whichever stream; the back end reads them through the element list.
VertexLayout LayoutFromDeclaration(const std::vector<D3DVERTEXELEMENT9>& elements) {
    VertexLayout l;
    l.declared = true;
    for (const D3DVERTEXELEMENT9& e : elements) {
        if (e.Type >= D3DDECLTYPE_UNUSED || e.Stream >= 16) continue;
        AddElement(l, e.Stream, e.Offset, e.Type, e.Usage, e.UsageIndex);
        const int off = e.Offset;
        const int components = DeclTypeComponents(e.Type);
        switch (e.Usage) {
        case D3DDECLUSAGE_POSITION:
            if (e.UsageIndex == 0 && components >= 3) l.position = off;
            break;
        case D3DDECLUSAGE_POSITIONT:
            if (e.Type == D3DDECLTYPE_FLOAT4) { l.position = off; l.pretransformed = true; }
            break;
        case D3DDECLUSAGE_BLENDWEIGHT:
            if (e.UsageIndex == 0) {
                l.weights = off;
                l.weightCount = components;
            }
            break;
        case D3DDECLUSAGE_BLENDINDICES:
            if (e.UsageIndex == 0 && (e.Type == D3DDECLTYPE_UBYTE4 || e.Type == D3DDECLTYPE_D3DCOLOR)) {
                l.blendIndices = off;
                l.blendIndicesColor = e.Type == D3DDECLTYPE_D3DCOLOR;
            }
            break;
        case D3DDECLUSAGE_NORMAL:
            if (e.UsageIndex == 0 && components >= 3) l.normal = off;
            break;
        case D3DDECLUSAGE_COLOR:
            if (e.UsageIndex <= 1) (e.UsageIndex == 0 ? l.diffuse : l.specular) = off;
            break;
        case D3DDECLUSAGE_TEXCOORD:
            if (e.UsageIndex < 8) {
                l.texcoord[e.UsageIndex] = off;
                l.texcoordSize[e.UsageIndex] = components;
            }
            break;
        default: break;
        }
    }
    l.stride = l.extent[0];
    // A program reads what it declares: a declaration without a position serves programs.
    l.valid = l.elementCount > 0;
    return l;
}

std::uint32_t VertexCountFor(std::uint32_t type, std::uint32_t count) {
    switch (type) {
    case D3DPT_POINTLIST: return count;
    case D3DPT_LINELIST: return count * 2;
    case D3DPT_LINESTRIP: return count + 1;
    case D3DPT_TRIANGLELIST: return count * 3;
    case D3DPT_TRIANGLESTRIP:
    case D3DPT_TRIANGLEFAN: return count + 2;
    default: return 0;
    }
}

} // namespace gfx
