#include "tests/platform/gfx/GfxBackendFixture.h"

#include <cstring>

using namespace gfx;
using gfxtest::BackendTest;
using gfxtest::Ref;

namespace {
class GfxStrictBuffers : public BackendTest {
public:
    void TearDown() override {
        ResetStrictBufferChecks();
        BackendTest::TearDown();
    }

    // A dynamic buffer of six XYZ vertices bound to stream 0.
    void DynamicStream(Ref<IDirect3DVertexBuffer9>& vb) {
        EXPECT_EQ(device->CreateVertexBuffer(72, D3DUSAGE_DYNAMIC | D3DUSAGE_WRITEONLY, D3DFVF_XYZ, D3DPOOL_DEFAULT,
                                             &vb, nullptr),
                  D3D_OK);
        device->SetFVF(D3DFVF_XYZ);
        device->SetStreamSource(0, vb.get(), 0, 12);
    }

    void Fill(IDirect3DVertexBuffer9* vb, std::uint32_t offset, std::uint32_t size, std::uint32_t flags) {
        void* p = nullptr;
        ASSERT_EQ(vb->Lock(offset, size, &p, flags), D3D_OK);
        std::memset(p, 0, size);
        vb->Unlock();
    }
};
GFX_BOTH_BACKENDS(GfxStrictBuffers);

TEST_P(GfxStrictBuffers, OffByDefaultAndKeepingContentsAsPublished) {
    Create();
    EXPECT_FALSE(StrictBufferChecks());
    Ref<IDirect3DVertexBuffer9> vb;
    DynamicStream(vb);
    void* p = nullptr;
    ASSERT_EQ(vb->Lock(0, 0, &p, D3DLOCK_DISCARD), D3D_OK);
    EXPECT_EQ(static_cast<std::uint8_t*>(p)[5], 0x00);
    std::memset(p, 0x11, 72);
    vb->Unlock();
    ASSERT_EQ(vb->Lock(36, 12, &p, D3DLOCK_NOOVERWRITE), D3D_OK);
    EXPECT_EQ(static_cast<std::uint8_t*>(p)[0], 0x11); // kept, without waiting
    vb->Unlock();
    EXPECT_EQ(device->DrawPrimitive(D3DPT_TRIANGLELIST, 3, 1), D3D_OK); // unwritten reads are not counted
    ASSERT_EQ(vb->Lock(0, 12, &p, D3DLOCK_NOOVERWRITE), D3D_OK);
    vb->Unlock();
    EXPECT_EQ(StrictBufferViolations(), 0u);
}

TEST_P(GfxStrictBuffers, CountsEachMisuse) {
    Create();
    SetStrictBufferChecks(true);
    Ref<IDirect3DVertexBuffer9> vb;
    DynamicStream(vb);
    void* p = nullptr;
    ASSERT_EQ(vb->Lock(0, 36, &p, D3DLOCK_DISCARD), D3D_OK);
    EXPECT_EQ(static_cast<std::uint8_t*>(p)[40 - 4], 0xCD); // fresh storage is marked
    std::memset(p, 0, 36);
    vb->Unlock();
    EXPECT_EQ(device->DrawPrimitive(D3DPT_TRIANGLELIST, 0, 1), D3D_OK); // written: fine
    EXPECT_EQ(StrictBufferViolations(), 0u);
    Fill(vb.get(), 36, 36, D3DLOCK_NOOVERWRITE); // beside what was drawn: fine
    EXPECT_EQ(StrictBufferViolations(), 0u);
    Fill(vb.get(), 24, 12, D3DLOCK_NOOVERWRITE); // over drawn bytes
    EXPECT_EQ(StrictBufferViolations(), 1u);

    Fill(vb.get(), 0, 12, D3DLOCK_DISCARD);
    EXPECT_EQ(device->DrawPrimitive(D3DPT_TRIANGLELIST, 0, 1), D3D_OK); // two of three vertices not written since
    EXPECT_EQ(StrictBufferViolations(), 2u);

    Ref<IDirect3DVertexBuffer9> managed;
    ASSERT_EQ(device->CreateVertexBuffer(36, D3DUSAGE_WRITEONLY, D3DFVF_XYZ, D3DPOOL_MANAGED, &managed, nullptr),
              D3D_OK);
    Fill(managed.get(), 0, 36, D3DLOCK_DISCARD);
    Fill(managed.get(), 0, 36, D3DLOCK_NOOVERWRITE);
    EXPECT_EQ(StrictBufferViolations(), 4u);
    Fill(managed.get(), 0, 36, 0);
    device->SetStreamSource(0, managed.get(), 0, 12);
    EXPECT_EQ(device->DrawPrimitive(D3DPT_TRIANGLELIST, 0, 1), D3D_OK);
    EXPECT_EQ(StrictBufferViolations(), 4u);

    ResetStrictBufferChecks();
    EXPECT_EQ(StrictBufferViolations(), 0u);
}

TEST_P(GfxStrictBuffers, AnyVertexFormatWordIsKeptAndDescribed) {
    Create();
    Ref<IDirect3DVertexBuffer9> vb;
    ASSERT_EQ(device->CreateVertexBuffer(64, D3DUSAGE_WRITEONLY, 0xC0000018u, D3DPOOL_MANAGED, &vb, nullptr), D3D_OK);
    D3DVERTEXBUFFER_DESC desc{};
    vb->GetDesc(&desc);
    EXPECT_EQ(desc.FVF, 0xC0000018u);
}
} // namespace
