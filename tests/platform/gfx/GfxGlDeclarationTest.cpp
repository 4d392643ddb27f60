// Vertex declarations on gl: every published element type read as the
// published API defines it, from a second stream, into a vertex program and
// into the fixed-function path; read back pixel by pixel.
#include "tests/platform/gfx/GfxProgramFixture.h"

#include <cstring>

using namespace gfx;
using gfxtest::Ref;

namespace {

struct TypeCase {
    const char* what;
    std::uint8_t type;
    std::vector<std::uint8_t> bytes; // one vertex's element
    double r, g, b;                  // the colour (x, y, z) or, with `w`, (x, y, w)
    bool w = false;
};

std::vector<std::uint8_t> Bytes(const void* p, std::size_t n) {
    const auto* b = static_cast<const std::uint8_t*>(p);
    return std::vector<std::uint8_t>(b, b + n);
}
template <class T> std::vector<std::uint8_t> Of(std::initializer_list<T> values) {
    std::vector<T> v(values);
    return Bytes(v.data(), v.size() * sizeof(T));
}

class GfxGlDeclaration : public gfxtest::GlProgramTest {
protected:
    // Stream 0: the quad's positions; stream 1: `element` for each vertex at `offset`, `stride` apart.
    void DrawStreams(IDirect3DVertexDeclaration9* decl, const std::vector<std::uint8_t>& element, std::uint32_t offset,
                     std::uint32_t stride) {
        const float positions[12] = {-1, 1, 0.5f, 1, 1, 0.5f, -1, -1, 0.5f, 1, -1, 0.5f};
        Ref<IDirect3DVertexBuffer9> vb0, vb1;
        ASSERT_EQ(device->CreateVertexBuffer(sizeof positions, 0, 0, D3DPOOL_MANAGED, &vb0, nullptr), D3D_OK);
        ASSERT_EQ(device->CreateVertexBuffer(offset + 4 * stride, 0, 0, D3DPOOL_MANAGED, &vb1, nullptr), D3D_OK);
        void* p = nullptr;
        ASSERT_EQ(vb0->Lock(0, 0, &p, 0), D3D_OK);
        std::memcpy(p, positions, sizeof positions);
        vb0->Unlock();
        ASSERT_EQ(vb1->Lock(0, 0, &p, 0), D3D_OK);
        std::memset(p, 0, offset + 4 * stride);
        for (int i = 0; i < 4; ++i)
            std::memcpy(static_cast<std::uint8_t*>(p) + offset + i * stride, element.data(), element.size());
        vb1->Unlock();
        ASSERT_EQ(device->SetVertexDeclaration(decl), D3D_OK);
        ASSERT_EQ(device->SetStreamSource(0, vb0.get(), 0, 12), D3D_OK);
        ASSERT_EQ(device->SetStreamSource(1, vb1.get(), 0, stride), D3D_OK);
        EXPECT_EQ(device->DrawPrimitive(D3DPT_TRIANGLESTRIP, 0, 2), D3D_OK);
        device->SetStreamSource(0, nullptr, 0, 0);
        device->SetStreamSource(1, nullptr, 0, 0);
        device->SetVertexDeclaration(nullptr);
    }
};

TEST_P(GfxGlDeclaration, EveryTypeReadsAsPublishedFromASecondStream) {
    // DEC3N: x 256 (about 0.5), y 511 (1), z 0, w bits 2; UDEC3: x 1, y 0, z 1, w bits 0.
    const std::uint32_t dec3n = 256u | (511u << 10) | (2u << 30);
    const std::uint32_t udec3 = 1u | (0u << 10) | (1u << 20);
    const std::vector<TypeCase> cases = {
        {"FLOAT1", D3DDECLTYPE_FLOAT1, Of<float>({0.5f}), 127.5, 0, 0},
        {"FLOAT2", D3DDECLTYPE_FLOAT2, Of<float>({0.5f, 0.25f}), 127.5, 63.75, 0},
        {"FLOAT3", D3DDECLTYPE_FLOAT3, Of<float>({0.5f, 0.25f, 1}), 127.5, 63.75, 255},
        {"FLOAT4 w", D3DDECLTYPE_FLOAT4, Of<float>({0.5f, 0.25f, 1, 0.75f}), 127.5, 63.75, 191.25, true},
        {"FLOAT3 w is 1", D3DDECLTYPE_FLOAT3, Of<float>({0.5f, 0.25f, 0}), 127.5, 63.75, 255, true},
        {"D3DCOLOR", D3DDECLTYPE_D3DCOLOR, Of<std::uint32_t>({0xFF4080C0u}), 64, 128, 192},
        {"UBYTE4", D3DDECLTYPE_UBYTE4, Of<std::uint8_t>({0, 1, 0, 1}), 0, 255, 0},
        {"SHORT2", D3DDECLTYPE_SHORT2, Of<std::int16_t>({1, 0}), 255, 0, 0},
        {"SHORT4", D3DDECLTYPE_SHORT4, Of<std::int16_t>({0, 0, 1, 3}), 0, 0, 255},
        {"UBYTE4N", D3DDECLTYPE_UBYTE4N, Of<std::uint8_t>({64, 128, 255, 255}), 64, 128, 255},
        {"SHORT2N", D3DDECLTYPE_SHORT2N, Of<std::int16_t>({16384, 8192}), 127.5, 63.75, 0},
        {"SHORT4N", D3DDECLTYPE_SHORT4N, Of<std::int16_t>({-32767, 32767, 16384, 0}), 0, 255, 127.5},
        {"USHORT2N", D3DDECLTYPE_USHORT2N, Of<std::uint16_t>({32768, 65535}), 127.5, 255, 0},
        {"USHORT4N", D3DDECLTYPE_USHORT4N, Of<std::uint16_t>({0, 16384, 65535, 0}), 0, 63.75, 255},
        {"UDEC3 w is 1", D3DDECLTYPE_UDEC3, Of<std::uint32_t>({udec3}), 255, 0, 255, true},
        {"DEC3N", D3DDECLTYPE_DEC3N, Of<std::uint32_t>({dec3n}), 127.75, 255, 0},
        {"DEC3N w is 1", D3DDECLTYPE_DEC3N, Of<std::uint32_t>({dec3n}), 127.75, 255, 255, true},
        // Half floats 0.5, 0.25 and 0.25, 0.5, 0.75, 1.
        {"FLOAT16_2", D3DDECLTYPE_FLOAT16_2, Of<std::uint16_t>({0x3800, 0x3400}), 127.5, 63.75, 0},
        {"FLOAT16_4", D3DDECLTYPE_FLOAT16_4, Of<std::uint16_t>({0x3400, 0x3800, 0x3A00, 0x3C00}), 63.75, 127.5, 191.25},
    };
    auto* plain = Vertex("vs_2_0\ndcl_position v0\ndcl_texcoord5 v3\nmov oPos, v0\nmov oD0, v3\n");
    auto* withW = Vertex("vs_2_0\ndcl_position v0\ndcl_texcoord5 v3\nmov oPos, v0\nmov r0, v3\nmov r0.z, v3.w\nmov oD0, r0\n");
    ASSERT_TRUE(plain && withW);
    for (const TypeCase& c : cases) {
        SCOPED_TRACE(c.what);
        // Stream 1 holds the element 8 bytes into a 24-byte vertex.
        const D3DVERTEXELEMENT9 elements[] = {
            {0, 0, D3DDECLTYPE_FLOAT3, D3DDECLMETHOD_DEFAULT, D3DDECLUSAGE_POSITION, 0},
            {1, 8, c.type, D3DDECLMETHOD_DEFAULT, D3DDECLUSAGE_TEXCOORD, 5},
            D3DDECL_END(),
        };
        Ref<IDirect3DVertexDeclaration9> decl;
        ASSERT_EQ(device->CreateVertexDeclaration(elements, &decl), D3D_OK);
        Clear();
        device->SetVertexShader(c.w ? withW : plain);
        DrawStreams(decl.get(), c.bytes, 8, 24);
        ExpectPixel(8, 8, c.r, c.g, c.b, c.what);
    }
}

TEST_P(GfxGlDeclaration, TheFixedFunctionPathReadsAnyStreamAndType) {
    // Position in stream 0, the diffuse colour as UBYTE4N in stream 1.
    const D3DVERTEXELEMENT9 elements[] = {
        {0, 0, D3DDECLTYPE_FLOAT3, D3DDECLMETHOD_DEFAULT, D3DDECLUSAGE_POSITION, 0},
        {1, 4, D3DDECLTYPE_UBYTE4N, D3DDECLMETHOD_DEFAULT, D3DDECLUSAGE_COLOR, 0},
        D3DDECL_END(),
    };
    Ref<IDirect3DVertexDeclaration9> decl;
    ASSERT_EQ(device->CreateVertexDeclaration(elements, &decl), D3D_OK);
    DrawStreams(decl.get(), Of<std::uint8_t>({255, 64, 0, 255}), 4, 8);
    ExpectPixel(8, 8, 255, 64, 0);
    // A stream the declaration reads with no buffer: the draw is refused.
    ASSERT_EQ(device->SetVertexDeclaration(decl.get()), D3D_OK);
    Ref<IDirect3DVertexBuffer9> vb;
    ASSERT_EQ(device->CreateVertexBuffer(48, 0, 0, D3DPOOL_MANAGED, &vb, nullptr), D3D_OK);
    ASSERT_EQ(device->SetStreamSource(0, vb.get(), 0, 12), D3D_OK);
    EXPECT_EQ(device->DrawPrimitive(D3DPT_TRIANGLESTRIP, 0, 2), D3DERR_INVALIDCALL);
    // A second stream too short for the vertices drawn: refused.
    Ref<IDirect3DVertexBuffer9> shortStream;
    ASSERT_EQ(device->CreateVertexBuffer(16, 0, 0, D3DPOOL_MANAGED, &shortStream, nullptr), D3D_OK);
    ASSERT_EQ(device->SetStreamSource(1, shortStream.get(), 0, 8), D3D_OK);
    EXPECT_EQ(device->DrawPrimitive(D3DPT_TRIANGLESTRIP, 0, 2), D3DERR_INVALIDCALL);
    EXPECT_EQ(device->DrawPrimitive(D3DPT_POINTLIST, 0, 2), D3D_OK);
    // User memory stands for stream 0 only.
    const float quad[12] = {};
    EXPECT_EQ(device->DrawPrimitiveUP(D3DPT_TRIANGLESTRIP, 2, quad, 12), D3DERR_INVALIDCALL);
    device->SetStreamSource(0, nullptr, 0, 0);
    device->SetStreamSource(1, nullptr, 0, 0);
    device->SetVertexDeclaration(nullptr);
}

// One buffer drawn again and again through programs: each draw reads the
// offset, stride, declaration and program it is given, whatever the draw
// before it set the buffer's attributes up from.
TEST_P(GfxGlDeclaration, ABufferDrawnAgainReadsWhatEachDrawSets) {
    // Two quads, position then colour (UBYTE4N): red, then blue; then the same
    // two colours, 16 bytes a vertex with the colour first.
    struct V {
        float x, y, z;
        std::uint8_t c[4];
    };
    struct W {
        std::uint8_t c[4];
        float x, y, z;
    };
    const float xy[4][2] = {{-1, 1}, {1, 1}, {-1, -1}, {1, -1}};
    V tight[8];
    W swapped[4];
    for (int i = 0; i < 8; ++i) {
        tight[i] = {xy[i % 4][0], xy[i % 4][1], 0.5f, {0, 0, 0, 255}};
        tight[i].c[i < 4 ? 0 : 2] = 255;
    }
    for (int i = 0; i < 4; ++i) swapped[i] = {{0, 255, 0, 255}, xy[i][0], xy[i][1], 0.5f};
    Ref<IDirect3DVertexBuffer9> vb;
    ASSERT_EQ(device->CreateVertexBuffer(sizeof tight + sizeof swapped, 0, 0, D3DPOOL_MANAGED, &vb, nullptr), D3D_OK);
    void* p = nullptr;
    ASSERT_EQ(vb->Lock(0, 0, &p, 0), D3D_OK);
    std::memcpy(p, tight, sizeof tight);
    std::memcpy(static_cast<std::uint8_t*>(p) + sizeof tight, swapped, sizeof swapped);
    vb->Unlock();
    const D3DVERTEXELEMENT9 colourAfter[] = {
        {0, 0, D3DDECLTYPE_FLOAT3, D3DDECLMETHOD_DEFAULT, D3DDECLUSAGE_POSITION, 0},
        {0, 12, D3DDECLTYPE_UBYTE4N, D3DDECLMETHOD_DEFAULT, D3DDECLUSAGE_COLOR, 0},
        D3DDECL_END(),
    };
    const D3DVERTEXELEMENT9 colourFirst[] = {
        {0, 4, D3DDECLTYPE_FLOAT3, D3DDECLMETHOD_DEFAULT, D3DDECLUSAGE_POSITION, 0},
        {0, 0, D3DDECLTYPE_UBYTE4N, D3DDECLMETHOD_DEFAULT, D3DDECLUSAGE_COLOR, 0},
        D3DDECL_END(),
    };
    Ref<IDirect3DVertexDeclaration9> after, first;
    ASSERT_EQ(device->CreateVertexDeclaration(colourAfter, &after), D3D_OK);
    ASSERT_EQ(device->CreateVertexDeclaration(colourFirst, &first), D3D_OK);
    IDirect3DVertexShader9* pass = Vertex("vs_2_0\ndcl_position v0\ndcl_color v1\nmov oPos, v0\nmov oD0, v1\n");
    // The colour arrives in another register: another attribute set-up.
    IDirect3DVertexShader9* other = Vertex("vs_2_0\ndcl_color v3\ndcl_position v5\nmov oPos, v5\nmov oD0, v3.zyxw\n");
    IDirect3DPixelShader9* colour = Pixel("ps_2_0\ndcl v0\nmov oC0, v0\n");
    ASSERT_TRUE(pass && other && colour);
    ASSERT_EQ(device->SetPixelShader(colour), D3D_OK);
    struct Step {
        const char* what;
        IDirect3DVertexDeclaration9* decl;
        IDirect3DVertexShader9* vs;
        std::uint32_t offset, stride;
        double r, g, b;
    };
    const Step steps[] = {
        {"first quad", after.get(), pass, 0, 16, 255, 0, 0},
        {"second quad by offset", after.get(), pass, 64, 16, 0, 0, 255},
        {"first quad again", after.get(), pass, 0, 16, 255, 0, 0},
        {"other program", after.get(), other, 0, 16, 0, 0, 255},
        {"other program, second quad", after.get(), other, 64, 16, 255, 0, 0},
        {"colour first", first.get(), pass, 128, 16, 0, 255, 0},
        {"back to the first layout", after.get(), pass, 64, 16, 0, 0, 255},
    };
    for (const Step& st : steps) {
        SCOPED_TRACE(st.what);
        Clear();
        ASSERT_EQ(device->SetVertexDeclaration(st.decl), D3D_OK);
        ASSERT_EQ(device->SetVertexShader(st.vs), D3D_OK);
        ASSERT_EQ(device->SetStreamSource(0, vb.get(), st.offset, st.stride), D3D_OK);
        EXPECT_EQ(device->DrawPrimitive(D3DPT_TRIANGLESTRIP, 0, 2), D3D_OK);
        ExpectPixel(8, 8, st.r, st.g, st.b, st.what);
    }
    device->SetStreamSource(0, nullptr, 0, 0);
    device->SetVertexDeclaration(nullptr);
    device->SetVertexShader(nullptr);
    device->SetPixelShader(nullptr);
}

INSTANTIATE_TEST_SUITE_P(, GfxGlDeclaration, ::testing::Bool(), gfxtest::GlReadBackParamName);

} // namespace
