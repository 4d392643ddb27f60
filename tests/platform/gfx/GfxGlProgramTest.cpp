// Vertex and pixel programs drawn on gl and read back, one small program per
// instruction family, each pixel worked out by hand from the published
// instruction behaviour (one step per channel either way).
#include "tests/platform/gfx/GfxProgramFixture.h"

using namespace gfx;
using gfxtest::kPassVertex;

namespace {

class GfxGlProgram : public gfxtest::GlProgramTest {};

TEST_P(GfxGlProgram, AVertexAndPixelProgramDrawTheirColour) {
    DrawWith(kPassVertex, "ps_2_0\ndef c0, 1.0f, 0.5, 0.25, 1\nmov oC0, c0\n");
    ExpectPixel(0, 0, 255, 127.5, 63.75);
    ExpectPixel(15, 15, 255, 127.5, 63.75);
}

} // namespace

INSTANTIATE_TEST_SUITE_P(, GfxGlProgram, ::testing::Bool(), gfxtest::GlReadBackParamName);
